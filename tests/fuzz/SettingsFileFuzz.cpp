// Fuzz target: system (.vts) and emitter (.vte) settings files, read through a memory stream as
// the bake tool reads them from disk: an int32 version, then a slot or an emitter record. The
// first byte chooses the kind. A record that reads is written, read and written again: the two
// writes agree.
#include <cstdint>
#include <vector>

#include "FuzzUtil.h"
#include "engine/Errors.h"
#include "engine/Stream.h"
#include "scene/EmitterObj.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool system = data[0] & 1u;
  TMemoryStream in(std::vector<uint8_t>(data + 1, data + size));
  int32_t version = 0;
  if (!ReadField(in, version)) return 0;
  if (version != EmitterRecordVersion && version != OldEmitterRecordVersion) return 0;
  try {
    TEmitterObject emitter;
    TEmitter* slot = system ? &emitter.AddSystem() : nullptr;
    auto read = [&](TStream& s, int32_t v) { system ? slot->ReadFrom(v, s) : emitter.ReadFrom(v, s); };
    auto write = [&](TStream& s) { system ? slot->WriteTo(s, true) : emitter.WriteTo(s); };
    read(in, version);
    TMemoryStream first;
    write(first);
    TMemoryStream again(first.Data());
    read(again, EmitterRecordVersion);
    TMemoryStream second;
    write(second);
    if (first.Data() != second.Data()) fuzz::Disagree("a settings record reads back differently");
  } catch (const EVantrelError&) {
  }
  return 0;
}
