// Fuzz target: the picture loader over every format. The first byte chooses the extension the
// loader is told (the format is found by signature first, by extension else); the rest is the
// file. Any bytes either decode within the loader's limits or are refused with EVantrelError.
#include <cstdint>
#include <span>
#include <string>

#include "engine/Errors.h"
#include "pictures/PictureLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const char* const names[] = {"a.bmp", "a.dib", "a.ico", "a.cur", "a.jpg", "a.png", "a.tga",
                                      "a.tif", "a.psd", "a.pbm", "a.pgm", "a.ppm", "a.gif", "a.xyz"};
  const std::string name = names[data[0] % (sizeof names / sizeof names[0])];
  try {
    const TPicture p = DecodePicture(std::span<const uint8_t>(data + 1, size - 1), name);
    if (p.Image.Width <= 0 || p.Image.Height <= 0 ||
        p.Image.Pixels.size() != static_cast<size_t>(p.Image.Width) * static_cast<size_t>(p.Image.Height) ||
        static_cast<int64_t>(p.Image.Pixels.size()) > MaxImagePixels)
      __builtin_trap();
  } catch (const EVantrelError&) {
  }
  return 0;
}
