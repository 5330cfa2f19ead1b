// Photoshop documents: the composite image stored at the end of the file, raw or PackBits run-
// length encoded, in bitmap, grey, indexed, RGB and duotone mode (duotone shown as its grey
// ink values) at 1, 8 or 16 bits per channel. RGB with a fourth channel and grey with a second
// one carry alpha, against which Photoshop mattes the colours with white; that matte is taken
// off again. CMYK, Lab, multichannel, 32-bit float and large-document (PSB) files are refused.
// Own code: stb reads only RGB composites.
#include <algorithm>
#include <vector>

#include "pictures/PictureFormats.h"

namespace {
uint16_t Be16(TBytes d, size_t at) { return static_cast<uint16_t>((d[at] << 8) | d[at + 1]); }
uint32_t Be32(TBytes d, size_t at) {
  return (uint32_t{d[at]} << 24) | (uint32_t{d[at + 1]} << 16) | (uint32_t{d[at + 2]} << 8) | d[at + 3];
}

enum : unsigned { Bitmap = 0, Grey = 1, Indexed = 2, Rgb = 3, Duotone = 8 };

// Unpacks one PackBits row of exactly out.size() bytes from in; false when the row's bytes do
// not make exactly that.
bool UnpackRow(TBytes in, std::span<uint8_t> out) {
  size_t i = 0, o = 0;
  while (o < out.size()) {
    if (i >= in.size()) return false;
    const int n = static_cast<int8_t>(in[i++]);
    if (n >= 0) {
      const size_t count = static_cast<size_t>(n) + 1;
      if (in.size() - i < count || out.size() - o < count) return false;
      std::copy_n(in.begin() + static_cast<ptrdiff_t>(i), count, out.begin() + static_cast<ptrdiff_t>(o));
      i += count, o += count;
    } else if (n != -128) {
      const size_t count = static_cast<size_t>(1 - n);
      if (i >= in.size() || out.size() - o < count) return false;
      std::fill_n(out.begin() + static_cast<ptrdiff_t>(o), count, in[i++]);
      o += count;
    }
  }
  return true;
}

// Photoshop stores colours with partial alpha blended over white.
uint8_t Unmatte(uint8_t value, uint8_t alpha) {
  if (alpha == 0 || alpha == 255) return value;
  const int v = 255 - ((255 - value) * 255 + alpha / 2) / alpha;
  return static_cast<uint8_t>(std::clamp(v, 0, 255));
}
}  // namespace

TPicture DecodePsd(TBytes d) {
  if (d.size() < 26 || Be32(d, 0) != 0x38425053u || Be16(d, 4) != 1) BadPicture();
  const unsigned channels = Be16(d, 12);
  const uint32_t h = Be32(d, 14), w = Be32(d, 18);
  const unsigned depth = Be16(d, 22), mode = Be16(d, 24);
  if (channels < 1 || channels > 56) BadPicture();
  if (mode == Bitmap ? depth != 1 : (mode != Grey && mode != Indexed && mode != Rgb && mode != Duotone)) BadPicture();
  if (mode != Bitmap && depth != 8 && (depth != 16 || mode == Indexed)) BadPicture();
  // The channels the picture is made of, with alpha as the last one when there is one.
  const bool alpha = (mode == Rgb && channels >= 4) || ((mode == Grey || mode == Duotone) && channels >= 2);
  const unsigned colourChannels = mode == Rgb ? 3 : 1;
  const unsigned used = colourChannels + (alpha ? 1 : 0);
  if (channels < used) BadPicture();
  CheckImageSize(w, h, d.size(), depth == 1 ? 512 : 64);

  // Colour mode data (the palette of an indexed picture), image resources, layers.
  uint64_t at = 26;
  TBytes palette;
  for (int section = 0; section < 3; ++section) {
    if (at + 4 > d.size()) BadPicture();
    const uint64_t length = Be32(d, at);
    if (at + 4 + length > d.size()) BadPicture();
    if (section == 0) palette = d.subspan(static_cast<size_t>(at + 4), static_cast<size_t>(length));
    at += 4 + length;
  }
  if (mode == Indexed && palette.size() < 768) BadPicture();
  if (at + 2 > d.size()) BadPicture();
  const unsigned compression = Be16(d, at);
  at += 2;

  // Each used channel as a plane of rows of rowBytes.
  const uint64_t rowBytes = depth == 1 ? (uint64_t{w} + 7) / 8 : uint64_t{w} * (depth / 8);
  std::vector<std::vector<uint8_t>> planes(used);
  if (compression == 0) {
    if (at + rowBytes * h * used > d.size()) BadPicture();
    for (unsigned c = 0; c < used; ++c) {
      const auto from = d.begin() + static_cast<ptrdiff_t>(at + rowBytes * h * c);
      planes[c].assign(from, from + static_cast<ptrdiff_t>(rowBytes * h));
    }
  } else if (compression == 1) {
    // A byte count for every row of every channel, then the rows in that order.
    const uint64_t rows = uint64_t{h} * channels;
    if (at + 2 * rows > d.size()) BadPicture();
    uint64_t from = at + 2 * rows;
    for (unsigned c = 0; c < used; ++c) {
      planes[c].resize(static_cast<size_t>(rowBytes * h));
      for (uint32_t y = 0; y < h; ++y) {
        const uint64_t count = Be16(d, static_cast<size_t>(at + 2 * (uint64_t{c} * h + y)));
        if (from + count > d.size()) BadPicture();
        const TBytes in = d.subspan(static_cast<size_t>(from), static_cast<size_t>(count));
        if (!UnpackRow(in, std::span<uint8_t>(planes[c]).subspan(static_cast<size_t>(rowBytes * y), static_cast<size_t>(rowBytes))))
          BadPicture();
        from += count;
      }
    }
  } else {
    BadPicture();  // ZIP-compressed composites are not read
  }

  // A channel's value at a pixel as 8 bits (the high byte of 16-bit samples).
  const size_t sampleBytes = depth == 16 ? 2 : 1;
  auto sample = [&](unsigned c, uint32_t x, uint32_t y) -> uint8_t {
    return planes[c][static_cast<size_t>(rowBytes * y) + x * sampleBytes];
  };
  TPicture picture;
  picture.Image = NewImage(static_cast<int32_t>(w), static_cast<int32_t>(h));
  picture.HasAlpha = alpha;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t r, g, b, a = alpha ? sample(used - 1, x, y) : 255;
      if (mode == Bitmap) {
        r = g = b = ((planes[0][static_cast<size_t>(rowBytes * y) + x / 8] >> (7 - x % 8)) & 1) ? 0 : 255;
      } else if (mode == Indexed) {
        const uint8_t k = sample(0, x, y);
        r = palette[k], g = palette[256 + k], b = palette[512 + k];
      } else if (mode == Rgb) {
        r = Unmatte(sample(0, x, y), a), g = Unmatte(sample(1, x, y), a), b = Unmatte(sample(2, x, y), a);
      } else {
        r = g = b = Unmatte(sample(0, x, y), a);
      }
      picture.Image.At(static_cast<int32_t>(x), static_cast<int32_t>(y)) = PackBgra(b, g, r, a);
    }
  return picture;
}
