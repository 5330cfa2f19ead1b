// The payload files the host hands to custom object callbacks: a byte buffer with a position,
// open for reading or for writing while one callback runs. tsxFILEread / tsxFILEwrite work on
// them; a handle that is not open (closed, foreign, null) moves nothing.
#pragma once

#include <cstdint>
#include <vector>

#include "hostapi/TsxApi5.h"

struct tsxFILE {
  std::vector<uint8_t>* Bytes = nullptr;
  size_t Position = 0;
  bool Writing = false;
};

namespace stage {

class TNode;
class TObjectTypes;

class TPayloadFiles {
 public:
  explicit TPayloadFiles(const TObjectTypes& types) : Types_(types) {}

  // Runs the type's file callback (direction 1, binary) and answers the bytes it wrote (also
  // kept as the node's stored payload); empty when the type has no file callback. For an
  // object whose type is not defined, answers its stored payload unchanged.
  std::vector<uint8_t> Write(TNode& node);
  // Keeps the bytes as the node's stored payload and runs the type's file callback
  // (direction 0, binary) over them; the callback can read no further than their end.
  void Read(TNode& node, const std::vector<uint8_t>& bytes);

  // Whether a handle is a file open in a running callback.
  bool IsOpen(const tsxFILE* file) const;

 private:
  class TOpenFile;
  const TObjectTypes& Types_;
  std::vector<const tsxFILE*> Open_;  // callbacks may nest through other host calls
};

// fread / fwrite semantics over an open payload file.
size_t ReadFile(tsxFILE& file, void* buffer, size_t size, size_t count);
size_t WriteFile(tsxFILE& file, const void* buffer, size_t size, size_t count);

}  // namespace stage
