// Fuzz target: image-map lists. Any bytes read as a list (entries cut short or damaged are
// dropped or defaulted); the list written, read and written again gives the same bytes.
#include <cstdint>
#include <vector>

#include "FuzzUtil.h"
#include "engine/Errors.h"
#include "engine/ParticleMapSource.h"
#include "engine/Stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    TParticleMapSource maps;
    TMemoryStream in(std::vector<uint8_t>(data, data + size));
    maps.LoadFromStream(in);
    TMemoryStream first;
    maps.SaveToStream(first);
    TParticleMapSource back;
    TMemoryStream again(first.Data());
    back.LoadFromStream(again);
    TMemoryStream second;
    back.SaveToStream(second);
    if (first.Data() != second.Data()) fuzz::Disagree("an image-map list reads back differently");
  } catch (const EVantrelError&) {
  }
  return 0;
}
