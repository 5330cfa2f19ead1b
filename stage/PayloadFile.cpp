// Payload files for the object callbacks.
//
// Hostile input: a plug-in reads at most the bytes there are (an empty payload, which has no
// buffer at all, reads nothing) and writes at most a gigabyte in one call; a handle that is not
// open moves nothing. Nothing here can crash on a payload's contents.
#include "stage/PayloadFile.h"

#include <algorithm>
#include <cstring>

#include "stage/Node.h"
#include "stage/ObjectTypes.h"
#include "stage/Scene.h"

namespace stage {

class TPayloadFiles::TOpenFile {
 public:
  TOpenFile(std::vector<const tsxFILE*>& open, tsxFILE file) : Open_(open), File(file) {
    Open_.push_back(&File);
  }
  ~TOpenFile() { std::erase(Open_, &File); }
  TOpenFile(const TOpenFile&) = delete;
  TOpenFile& operator=(const TOpenFile&) = delete;

 private:
  std::vector<const tsxFILE*>& Open_;

 public:
  tsxFILE File;
};

bool TPayloadFiles::IsOpen(const tsxFILE* file) const {
  return file && std::find(Open_.begin(), Open_.end(), file) != Open_.end();
}

std::vector<uint8_t> TPayloadFiles::Write(TNode& node) {
  const TObjectType* type = Types_.Find(node.CustomType);
  if (!type) return node.StoredPayload;
  std::vector<uint8_t> bytes;
  if (type->Callbacks.onFile) {
    TOpenFile file(Open_, {&bytes, 0, true});
    type->Callbacks.onFile(TScene::Handle(&node), &file.File, 1, 0);
  }
  node.StoredPayload = bytes;
  return bytes;
}

void TPayloadFiles::Read(TNode& node, const std::vector<uint8_t>& bytes) {
  node.StoredPayload = bytes;
  const TObjectType* type = Types_.Find(node.CustomType);
  if (!type || !type->Callbacks.onFile) return;
  std::vector<uint8_t> copy = bytes;
  TOpenFile file(Open_, {&copy, 0, false});
  type->Callbacks.onFile(TScene::Handle(&node), &file.File, 0, 0);
}

size_t ReadFile(tsxFILE& file, void* buffer, size_t size, size_t count) {
  if (!buffer || size == 0 || count == 0 || file.Writing) return 0;
  const size_t remaining = file.Bytes->size() - file.Position;
  const size_t items = std::min(count, remaining / size);
  // An empty payload has no buffer at all: nothing to copy, and no null pointer to copy from.
  if (items == 0) return 0;
  std::memcpy(buffer, file.Bytes->data() + file.Position, items * size);
  file.Position += items * size;
  return items;
}

size_t WriteFile(tsxFILE& file, const void* buffer, size_t size, size_t count) {
  if (!buffer || size == 0 || count == 0 || !file.Writing) return 0;
  // Payloads are small; a request past a gigabyte is a caller's mistake, not data.
  if (count > (size_t{1} << 30) / size) return 0;
  const auto* p = static_cast<const uint8_t*>(buffer);
  file.Bytes->insert(file.Bytes->end(), p, p + size * count);
  file.Position = file.Bytes->size();
  return count;
}

}  // namespace stage
