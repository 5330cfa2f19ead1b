// TGA through stb_image. stb reads missing bytes as zeros and trusts header sizes, so the
// file's structure is walked here first: a file whose data stops short, or whose header asks
// for more than the file can hold, is refused before stb allocates anything.
#include <stb/stb_image.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "pictures/PictureFormats.h"

namespace {
uint16_t Le16(TBytes d, size_t at) { return static_cast<uint16_t>(d[at] | (d[at + 1] << 8)); }

struct TStbFree {
  void operator()(stbi_uc* p) const { stbi_image_free(p); }
};

// Decodes with stb into blue, green, red, alpha; the caller has checked the file's structure.
TPicture DecodeWithStb(TBytes data, int32_t expectW, int32_t expectH) {
  if (data.size() > static_cast<size_t>(INT32_MAX)) BadPicture();
  int w = 0, h = 0, comp = 0;
  std::unique_ptr<stbi_uc, TStbFree> pixels(
      stbi_load_from_memory(data.data(), static_cast<int>(data.size()), &w, &h, &comp, 4));
  if (!pixels || w != expectW || h != expectH) BadPicture();
  TPicture picture;
  picture.Image = NewImage(w, h);
  const stbi_uc* p = pixels.get();
  for (uint32_t& out : picture.Image.Pixels) {
    out = PackBgra(p[2], p[1], p[0], p[3]);
    p += 4;
  }
  return picture;
}

bool AnyAlpha(const TBitmap32& image) {
  return std::any_of(image.Pixels.begin(), image.Pixels.end(), [](uint32_t p) { return AlphaOf(p) != 0; });
}

void SetOpaque(TBitmap32& image) {
  for (uint32_t& p : image.Pixels) p |= 0xFF000000u;
}
}  // namespace

// --- TGA --------------------------------------------------------------------------------

TPicture DecodeTga(TBytes d) {
  constexpr uint64_t TgaRlePixelsPerByte = 64;  // 128 one-byte pixels in a two-byte packet
  if (d.size() < 18) BadPicture();
  const unsigned idLength = d[0], mapType = d[1], type = d[2];
  const unsigned mapLength = Le16(d, 5), mapBits = d[7];
  const int32_t w = Le16(d, 12), h = Le16(d, 14);
  const unsigned bits = d[16], descriptor = d[17];
  const unsigned base = type & ~8u;
  const bool rle = type & 8u;
  if (mapType > 1 || (base != 1 && base != 2 && base != 3) || type > 11) BadPicture();
  if (base == 1 && (mapType != 1 || (bits != 8 && bits != 16) || mapLength == 0)) BadPicture();
  if (base == 2 && bits != 15 && bits != 16 && bits != 24 && bits != 32) BadPicture();
  if (base == 3 && bits != 8 && bits != 16) BadPicture();
  if (mapType == 1 && mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32) BadPicture();
  CheckImageSize(w, h, d.size(), rle ? TgaRlePixelsPerByte : 1);

  // The pixel data must be all there: stb would read what is missing as zeros.
  const uint64_t pixelBytes = (bits + 7) / 8;
  uint64_t at = 18 + idLength + (mapType == 1 ? uint64_t{mapLength} * ((mapBits + 7) / 8) : 0);
  const uint64_t pixels = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
  if (!rle) {
    if (at + pixels * pixelBytes > d.size()) BadPicture();
  } else {
    for (uint64_t done = 0; done < pixels;) {
      if (at >= d.size()) BadPicture();
      const uint8_t header = d[at++];
      const uint64_t count = (header & 0x7Fu) + 1;
      at += (header & 0x80u) ? pixelBytes : count * pixelBytes;
      if (at > d.size()) BadPicture();
      done += count;
    }
  }

  // stb refuses a colour map beside true-colour pixels, which the pixels never use: drop it.
  std::vector<uint8_t> withoutMap;
  if (mapType == 1 && base != 1) {
    const size_t mapAt = 18 + idLength, mapBytes = size_t{mapLength} * ((mapBits + 7) / 8);
    withoutMap.assign(d.begin(), d.end());
    withoutMap.erase(withoutMap.begin() + static_cast<ptrdiff_t>(mapAt),
                     withoutMap.begin() + static_cast<ptrdiff_t>(mapAt + mapBytes));
    withoutMap[1] = 0;
    std::fill(withoutMap.begin() + 3, withoutMap.begin() + 8, uint8_t{0});
  }
  TPicture picture = DecodeWithStb(withoutMap.empty() ? d : TBytes(withoutMap), w, h);
  // Bit 4 of the descriptor puts the first pixel of a row at the right; stb ignores it.
  if (descriptor & 0x10u)
    for (int32_t y = 0; y < h; ++y) std::reverse(&picture.Image.At(0, y), &picture.Image.At(0, y) + w);
  // A fourth byte that is zero everywhere is padding, not transparency.
  const bool fourBytes = mapType == 1 ? mapBits == 32 : bits == 32;
  picture.HasAlpha = fourBytes && AnyAlpha(picture.Image);
  if (!picture.HasAlpha) SetOpaque(picture.Image);
  return picture;
}
