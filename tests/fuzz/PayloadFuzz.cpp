// Fuzz target: emitter and tool payload records. The first byte chooses the record (emitter of
// version 101, emitter of version 100, or tool); the rest is read, written, read again and
// written again, and the two writes agree byte for byte.
#include <cstdint>
#include <vector>

#include "FuzzUtil.h"
#include "engine/Errors.h"
#include "engine/Stream.h"
#include "scene/EmitterObj.h"
#include "scene/ToolObj.h"

namespace {

template <class Read, class Write>
void RoundTrip(const std::vector<uint8_t>& bytes, Read read, Write write) {
  TMemoryStream in(bytes);
  try {
    read(in);
  } catch (const EVantrelError&) {
    return;  // refused as damaged: nothing to compare
  }
  TMemoryStream first;
  write(first);
  TMemoryStream again(first.Data());
  read(again);
  TMemoryStream second;
  write(second);
  if (first.Data() != second.Data()) fuzz::Disagree("a written record reads back differently");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::vector<uint8_t> bytes(data + 1, data + size);
  switch (data[0] % 3) {
    case 0:
    case 1: {
      const int32_t version = data[0] % 3 == 0 ? EmitterRecordVersion : OldEmitterRecordVersion;
      TEmitterObject emitter;
      // A version-100 record is written as 101: the second read uses the current version.
      int32_t readVersion = version;
      RoundTrip(
          bytes,
          [&](TStream& s) {
            emitter.ReadFrom(readVersion, s);
            readVersion = EmitterRecordVersion;
          },
          [&](TStream& s) { emitter.WriteTo(s); });
      break;
    }
    default: {
      TToolObject tool;
      RoundTrip(bytes, [&](TStream& s) { tool.ReadFrom(s); }, [&](TStream& s) { tool.WriteTo(s); });
      break;
    }
  }
  return 0;
}
