// The blocks in which emitters and tools keep their data inside the host's scene file: an int32
// version, an int32 length, then that many bytes of one record.
#pragma once

#include <cstdint>
#include <vector>

#include "hostapi/TsxApi5.h"

struct TPayload {
  int32_t Version = 0;
  std::vector<uint8_t> Data;
};

// Reads a payload block. False when the version is below 100, the length is 0 or less, or the
// file ends inside the header: the caller then creates nothing. A length beyond what the file
// holds reads what there is; memory grows with the bytes actually read, never with the claim.
bool ReadPayload(tsxFILE* file, TPayload& payload);
// Writes version, length and the bytes.
void WritePayload(tsxFILE* file, int32_t version, const std::vector<uint8_t>& data);
