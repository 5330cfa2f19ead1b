// Payload blocks through the host's file operations.
//
// Hostile input: a payload's claimed length reserves nothing; memory grows in chunks with the
// bytes the host actually hands over, so time and memory are bounded by the payload's size. A
// block with a bad version or length, or cut inside its header, reads as no payload (false), and
// the records inside are read by readers that keep what is complete and never read past the end.
#include "scene/Payload.h"

#include <algorithm>

namespace {
constexpr int32_t OldestPayloadVersion = 100;
constexpr size_t ReadChunk = 64 * 1024;
}  // namespace

bool ReadPayload(tsxFILE* file, TPayload& payload) {
  int32_t version = 0, length = 0;
  if (tsxFILEread(&version, sizeof version, 1, file) != 1) return false;
  if (version < OldestPayloadVersion) return false;
  if (tsxFILEread(&length, sizeof length, 1, file) != 1) return false;
  if (length <= 0) return false;
  payload.Version = version;
  payload.Data.clear();
  size_t left = static_cast<size_t>(length);
  while (left > 0) {
    const size_t want = std::min(left, ReadChunk);
    const size_t at = payload.Data.size();
    payload.Data.resize(at + want);
    const size_t got = tsxFILEread(payload.Data.data() + at, 1, want, file);
    payload.Data.resize(at + got);
    if (got < want) break;
    left -= got;
  }
  return true;
}

void WritePayload(tsxFILE* file, int32_t version, const std::vector<uint8_t>& data) {
  const int32_t length = static_cast<int32_t>(data.size());
  tsxFILEwrite(&version, sizeof version, 1, file);
  tsxFILEwrite(&length, sizeof length, 1, file);
  if (!data.empty()) tsxFILEwrite(data.data(), 1, data.size(), file);
}
