// Payload blocks through the host's file operations.
//
// Hostile input: a payload's claimed length reserves nothing; memory grows in chunks with the
// bytes the host actually hands over, so time and memory are bounded by the payload's size. A
// block with a bad version or length, or cut inside its header, reads as no payload (false), and
// the records inside are read by readers that keep what is complete and never read past the end.
#include "scene/Payload.h"

#include <algorithm>

#include "engine/Errors.h"
#include "hostapi/Platform.h"

namespace {
constexpr int32_t OldestPayloadVersion = 100;
constexpr size_t ReadChunk = 64 * 1024;
}  // namespace

bool ReadPayload(tsxFILE* file, TPayload& payload) {
  payload.Problem.clear();
  int32_t version = 0, length = 0;
  const size_t versionBytes = tsxFILEread(&version, 1, sizeof version, file);
  if (versionBytes == 0) return false;  // saved without data
  if (versionBytes < sizeof version) {
    payload.Problem = "its data end inside their header";
    return false;
  }
  if (version < OldestPayloadVersion) {
    payload.Problem = Format("its data are of an unknown kind (version %d); it was left without settings", version);
    return false;
  }
  if (tsxFILEread(&length, sizeof length, 1, file) != 1) {
    payload.Problem = "its data end inside their header";
    return false;
  }
  if (length <= 0) {
    payload.Problem = Format("its data are empty (length %d); it was left without settings", length);
    return false;
  }
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
  if (payload.Data.size() < static_cast<size_t>(length))
    payload.Problem = Format("its data are cut short (%zu of %d bytes); what is missing keeps its defaults",
                             payload.Data.size(), length);
  return true;
}

void WritePayload(tsxFILE* file, int32_t version, const std::vector<uint8_t>& data) {
  const int32_t length = static_cast<int32_t>(data.size());
  tsxFILEwrite(&version, sizeof version, 1, file);
  tsxFILEwrite(&length, sizeof length, 1, file);
  if (!data.empty()) tsxFILEwrite(data.data(), 1, data.size(), file);
}

std::string SceneObjectName(tsxSOBJ* obj) {
  if (!obj) return {};
  char buffer[256] = {};
  tsxGNodeGetName(obj, buffer, sizeof buffer);
  return buffer;
}

void ReportUnreadData(const char* kind, tsxSOBJ* obj, const std::vector<std::string>& problems) {
  if (problems.empty()) return;
  std::string text = Format("The %s \"%s\" was not read as saved: ", kind, SceneObjectName(obj).c_str());
  for (size_t i = 0; i < problems.size(); ++i) text += (i ? "; " : "") + problems[i];
  Platform().ShowMessage(text + ".");
}
