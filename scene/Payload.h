// The blocks in which emitters and tools keep their data inside the host's scene file: an int32
// version, an int32 length, then that many bytes of one record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hostapi/TsxApi5.h"

struct TPayload {
  int32_t Version = 0;
  std::vector<uint8_t> Data;
  // What was wrong with the block, for the user; empty when nothing was (also for an object
  // that was saved without data at all).
  std::string Problem;
};

// Reads a payload block. False when the version is below 100, the length is 0 or less, or the
// file ends inside the header: the caller then creates nothing. A length beyond what the file
// holds reads what there is; memory grows with the bytes actually read, never with the claim.
bool ReadPayload(tsxFILE* file, TPayload& payload);

// The name the host shows for a scene object; empty for none.
std::string SceneObjectName(tsxSOBJ* obj);
// Tells the user, through the platform's message, that an object's stored data were not read
// as saved: "The emitter "Fountain" was not read as saved: <problems, joined by "; ">." Nothing
// when there are no problems.
void ReportUnreadData(const char* kind, tsxSOBJ* obj, const std::vector<std::string>& problems);
// Writes version, length and the bytes.
void WritePayload(tsxFILE* file, int32_t version, const std::vector<uint8_t>& data);
