// Windows bitmaps, bare device-independent bitmaps and icons/cursors. One reader for the whole
// family, since run-length encoded bitmaps, headerless DIBs and icon images (bitmap plus
// transparency mask) all need the header, palette and mask handling that plain bitmaps use.
// Bitmaps that embed a JPEG or PNG stream hand it to those decoders.
#include <algorithm>
#include <bit>
#include <vector>

#include "pictures/PictureFormats.h"

namespace {
constexpr uint64_t RlePixelsPerByte = 4096;

uint16_t Le16(TBytes d, size_t at) { return static_cast<uint16_t>(d[at] | (d[at + 1] << 8)); }
uint32_t Le32(TBytes d, size_t at) {
  return uint32_t{d[at]} | (uint32_t{d[at + 1]} << 8) | (uint32_t{d[at + 2]} << 16) | (uint32_t{d[at + 3]} << 24);
}

enum : uint32_t { BiRgb = 0, BiRle8 = 1, BiRle4 = 2, BiBitfields = 3, BiJpeg = 4, BiPng = 5, BiAlphaBitfields = 6 };

struct TBmpHeader {
  uint32_t HeaderSize = 0;
  int64_t Width = 0, Height = 0;  // Height as stored: negative for rows from the top
  unsigned Bits = 0;
  uint32_t Compression = BiRgb;
  uint32_t ImageSize = 0;
  uint32_t ColorsUsed = 0;
  uint32_t Masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
  size_t PaletteAt = 0;              // where the palette starts
  unsigned PaletteEntrySize = 4;
};

// Reads the info header that starts at `at`.
TBmpHeader ReadInfoHeader(TBytes d, size_t at) {
  TBmpHeader hd;
  if (at + 4 > d.size()) BadPicture();
  hd.HeaderSize = Le32(d, at);
  if (hd.HeaderSize == 12) {  // OS/2 1.x
    if (at + 12 > d.size()) BadPicture();
    hd.Width = Le16(d, at + 4);
    hd.Height = static_cast<int16_t>(Le16(d, at + 6));
    hd.Bits = Le16(d, at + 10);
    hd.PaletteEntrySize = 3;
    if (Le16(d, at + 8) != 1) BadPicture();  // planes
  } else if (hd.HeaderSize == 16 || hd.HeaderSize == 40 || hd.HeaderSize == 52 || hd.HeaderSize == 56 ||
             hd.HeaderSize == 64 || hd.HeaderSize == 108 || hd.HeaderSize == 124) {
    if (at + hd.HeaderSize > d.size()) BadPicture();
    hd.Width = static_cast<int32_t>(Le32(d, at + 4));
    hd.Height = static_cast<int32_t>(Le32(d, at + 8));
    if (Le16(d, at + 12) != 1) BadPicture();  // planes
    hd.Bits = Le16(d, at + 14);
    if (hd.HeaderSize >= 20) hd.Compression = Le32(d, at + 16);
    if (hd.HeaderSize >= 24) hd.ImageSize = Le32(d, at + 20);
    if (hd.HeaderSize >= 36) hd.ColorsUsed = Le32(d, at + 32);
    // Pixel densities that make a pixel a thousand times wider than high mark a damaged header.
    if (hd.HeaderSize >= 32) {
      const uint64_t dx = Le32(d, at + 24), dy = Le32(d, at + 28);
      if (dx && dy && (dx > 1000 * dy || dy > 1000 * dx)) BadPicture();
    }
    // OS/2 2.x headers number their compressions apart from the Windows ones.
    if ((hd.HeaderSize == 16 || hd.HeaderSize == 64) && hd.Compression > BiRle4) BadPicture();
  } else {
    BadPicture();
  }
  // A palette larger than the depth can index, or than the file, is damage.
  if (hd.Bits <= 8 && hd.ColorsUsed > (1u << std::min(hd.Bits, 8u))) BadPicture();
  if (hd.ColorsUsed > d.size() / 3) BadPicture();
  size_t next = at + hd.HeaderSize;
  if (hd.Compression == BiBitfields || hd.Compression == BiAlphaBitfields) {
    const unsigned n = hd.Compression == BiAlphaBitfields ? 4 : 3;
    if (hd.HeaderSize >= 52) {
      for (unsigned k = 0; k < n && 40 + 4 * k + 4 <= hd.HeaderSize; ++k) hd.Masks[k] = Le32(d, at + 40 + 4 * k);
      if (hd.HeaderSize >= 56) hd.Masks[3] = Le32(d, at + 52);
    } else {
      if (next + 4 * n > d.size()) BadPicture();
      for (unsigned k = 0; k < n; ++k) hd.Masks[k] = Le32(d, next + 4 * k);
      next += 4 * n;
    }
  } else if (hd.Bits == 16) {
    hd.Masks[0] = 0x7C00, hd.Masks[1] = 0x03E0, hd.Masks[2] = 0x001F;
  } else if (hd.Bits == 32) {
    hd.Masks[0] = 0xFF0000, hd.Masks[1] = 0xFF00, hd.Masks[2] = 0xFF, hd.Masks[3] = 0xFF000000u;
  }
  if (hd.Bits == 16 || hd.Bits == 32) {
    // Colour masks must each hold bits, within the pixel, without overlapping.
    const uint64_t limit = hd.Bits == 16 ? 0xFFFFu : 0xFFFFFFFFu;
    uint32_t seen = 0;
    for (unsigned k = 0; k < 4; ++k) {
      if ((k < 3 && hd.Masks[k] == 0) || hd.Masks[k] > limit || (seen & hd.Masks[k])) BadPicture();
      seen |= hd.Masks[k];
    }
  }
  hd.PaletteAt = next;
  return hd;
}

// One channel under a mask, scaled to 0..255.
struct TChannel {
  uint32_t Mask = 0;
  unsigned Shift = 0;
  uint64_t Max = 0;
  explicit TChannel(uint32_t mask) : Mask(mask) {
    if (!mask) return;
    Shift = static_cast<unsigned>(std::countr_zero(mask));
    Max = (uint64_t{mask} >> Shift);
  }
  uint8_t operator()(uint32_t v, uint8_t absent) const {
    if (!Mask) return absent;
    return static_cast<uint8_t>(((uint64_t{v & Mask} >> Shift) * 255 + Max / 2) / Max);
  }
};

// The palette's entries; an index at or past their count is damage.
std::vector<uint32_t> ReadPalette(TBytes d, const TBmpHeader& hd, size_t end) {
  if (hd.Bits > 8) return {};
  const uint32_t full = 1u << hd.Bits;
  const uint32_t count = hd.ColorsUsed == 0 || hd.ColorsUsed > full ? full : hd.ColorsUsed;
  const size_t available = end > hd.PaletteAt ? (end - hd.PaletteAt) / hd.PaletteEntrySize : 0;
  if (available == 0) BadPicture();
  std::vector<uint32_t> palette(std::min<size_t>(count, available));
  for (size_t k = 0; k < palette.size(); ++k) {
    const size_t at = hd.PaletteAt + k * hd.PaletteEntrySize;
    palette[k] = PackBgra(d[at], d[at + 1], d[at + 2], 255);
  }
  return palette;
}

// Run-length encoded pixels, 8 or 4 bits. Pixels the stream skips stay black. A move past a
// row's end or the image's top is damage, as is a stream that stops before its end marker or
// the last row.
void DecodeRle(TBytes d, size_t at, const TBmpHeader& hd, const std::vector<uint32_t>& palette, TBitmap32& image) {
  const int32_t w = image.Width, h = image.Height;
  int64_t x = 0, y = 0;  // y counts rows from the bottom
  const bool four = hd.Compression == BiRle4;
  // Some writers let a run spill past the row's end; those pixels are dropped.
  auto put = [&](unsigned index) {
    if (y >= h || index >= palette.size()) BadPicture();
    if (x < w) image.At(static_cast<int32_t>(x), static_cast<int32_t>(h - 1 - y)) = palette[index];
    ++x;
  };
  for (;;) {
    if (y >= h) return;
    if (at + 2 > d.size()) BadPicture();
    const unsigned count = d[at], value = d[at + 1];
    at += 2;
    if (count > 0) {
      for (unsigned k = 0; k < count; ++k) put(four ? ((k & 1) ? value & 0xF : value >> 4) : value);
      continue;
    }
    if (value == 0) {  // end of line
      x = 0, ++y;
    } else if (value == 1) {  // end of bitmap
      return;
    } else if (value == 2) {  // move right and up
      if (at + 2 > d.size()) BadPicture();
      x += d[at], y += d[at + 1];
      at += 2;
      if (x > w || y > h) BadPicture();
    } else {  // `value` pixels as they are, padded to a 16-bit boundary
      const size_t bytes = four ? (value + 1) / 2 : value;
      if (at + bytes > d.size()) BadPicture();
      for (unsigned k = 0; k < value; ++k) put(four ? ((k & 1) ? d[at + k / 2] & 0xF : d[at + k / 2] >> 4) : d[at + k]);
      at += (bytes + 1) & ~size_t{1};
    }
  }
}

// The pixels of a bitmap whose info header starts at `at` and whose pixels start at `bits`
// (0: right after the palette). rowsAbove > 0 for icons: the stored height counts the mask too.
TPicture DecodeDibAt(TBytes d, size_t at, size_t bits, bool icon) {
  TBmpHeader hd = ReadInfoHeader(d, at);
  const bool topDown = hd.Height < 0;
  int64_t h = topDown ? -hd.Height : hd.Height;
  if (icon) h /= 2;
  const int64_t w = hd.Width;

  if (hd.Compression == BiJpeg || hd.Compression == BiPng) {
    if (bits == 0 || bits >= d.size()) BadPicture();
    TBytes inner = d.subspan(bits);
    if (hd.ImageSize && hd.ImageSize < inner.size()) inner = inner.first(hd.ImageSize);
    return hd.Compression == BiJpeg ? DecodeJpeg(inner) : DecodePng(inner);
  }
  const unsigned b = hd.Bits;
  if (b != 1 && b != 2 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32) BadPicture();
  const bool rle = hd.Compression == BiRle8 || hd.Compression == BiRle4;
  if (rle && (topDown || (hd.Compression == BiRle8) != (b == 8) || (hd.Compression == BiRle4) != (b == 4))) BadPicture();
  if (!rle && hd.Compression != BiRgb) {
    if (hd.Compression != BiBitfields && hd.Compression != BiAlphaBitfields) BadPicture();
    if (b != 16 && b != 32) BadPicture();
  }
  CheckImageSize(w, h, d.size(), rle ? RlePixelsPerByte : 1);
  if (hd.ImageSize > d.size()) BadPicture();  // claims more pixel bytes than the file holds

  const size_t paletteEnd = b <= 8 ? hd.PaletteAt + size_t{hd.PaletteEntrySize} * ((hd.ColorsUsed && hd.ColorsUsed < (1u << b)) ? hd.ColorsUsed : (1u << b)) : hd.PaletteAt;
  if (bits == 0) bits = std::min(paletteEnd, d.size());
  if (bits >= d.size()) BadPicture();
  const std::vector<uint32_t> palette = ReadPalette(d, hd, std::min(bits > hd.PaletteAt ? bits : paletteEnd, d.size()));

  TPicture picture;
  picture.Image = NewImage(static_cast<int32_t>(w), static_cast<int32_t>(h));
  TBitmap32& image = picture.Image;
  if (rle) {
    for (uint32_t& p : image.Pixels) p = PackBgra(0, 0, 0, 255);
    DecodeRle(d, bits, hd, palette, image);
    return picture;
  }

  const uint64_t stride = ((static_cast<uint64_t>(w) * b + 31) / 32) * 4;
  if (bits + stride * static_cast<uint64_t>(h) > d.size()) BadPicture();
  const TChannel red(hd.Masks[0]), green(hd.Masks[1]), blue(hd.Masks[2]), alpha(hd.Masks[3]);
  for (int64_t row = 0; row < h; ++row) {
    const uint8_t* src = d.data() + bits + row * stride;
    const auto y = static_cast<int32_t>(topDown ? row : h - 1 - row);
    uint32_t* out = &image.At(0, y);
    for (int64_t x = 0; x < w; ++x) {
      if (b <= 8) {
        const uint64_t bit = static_cast<uint64_t>(x) * b;
        const unsigned index = (src[bit / 8] >> (8 - b - bit % 8)) & ((1u << b) - 1);
        if (index >= palette.size()) BadPicture();
        out[x] = palette[index];
      } else if (b == 24) {
        out[x] = PackBgra(src[3 * x], src[3 * x + 1], src[3 * x + 2], 255);
      } else {
        const uint32_t v = b == 16 ? Le16(d, bits + row * stride + 2 * x) : Le32(d, bits + row * stride + 4 * x);
        out[x] = PackBgra(blue(v, 0), green(v, 0), red(v, 0), alpha(v, 255));
      }
    }
  }
  // Many writers leave the fourth byte of 32-bit pixels at zero: that is no transparency.
  if (hd.Masks[3] && b >= 16) {
    picture.HasAlpha = std::any_of(image.Pixels.begin(), image.Pixels.end(), [](uint32_t p) { return AlphaOf(p) != 0; });
    if (!picture.HasAlpha)
      for (uint32_t& p : image.Pixels) p |= 0xFF000000u;
  }

  // An icon's transparency mask follows its pixels: one bit per pixel, 1 for transparent.
  if (icon && !picture.HasAlpha) {
    const uint64_t maskStride = ((static_cast<uint64_t>(w) + 31) / 32) * 4;
    const uint64_t maskAt = bits + stride * static_cast<uint64_t>(h);
    if (maskAt + maskStride * static_cast<uint64_t>(h) > d.size()) BadPicture();
    {
      for (int64_t row = 0; row < h; ++row) {
        const uint8_t* src = d.data() + maskAt + row * maskStride;
        uint32_t* out = &image.At(0, static_cast<int32_t>(h - 1 - row));
        for (int64_t x = 0; x < w; ++x)
          out[x] = (src[x / 8] >> (7 - x % 8)) & 1 ? out[x] & 0x00FFFFFFu : out[x] | 0xFF000000u;
      }
      picture.HasAlpha = true;
    }
  }
  return picture;
}
}  // namespace

TPicture DecodeBmp(TBytes d) {
  if (d.size() < 18 || d[0] != 'B' || d[1] != 'M') BadPicture();
  if (Le32(d, 2) >= (uint32_t{1} << 30)) BadPicture();  // a file size no bitmap has
  const uint32_t offBits = Le32(d, 10);
  // An offset of zero or inside the headers is common enough: the pixels then follow the palette.
  return DecodeDibAt(d, 14, offBits >= 14 + 12 && offBits < d.size() ? offBits : 0, false);
}

TPicture DecodeDib(TBytes d) { return DecodeDibAt(d, 0, 0, false); }

TPicture DecodeIcon(TBytes d) {
  if (d.size() < 6 || Le16(d, 0) != 0 || (Le16(d, 2) != 1 && Le16(d, 2) != 2)) BadPicture();
  const unsigned count = Le16(d, 4);
  if (count == 0 || 6 + 16 * uint64_t{count} > d.size()) BadPicture();
  // The largest image, and of those the deepest.
  unsigned best = 0;
  uint64_t bestScore = 0;
  for (unsigned k = 0; k < count; ++k) {
    const size_t e = 6 + 16 * k;
    const uint64_t w = d[e] ? d[e] : 256, h = d[e + 1] ? d[e + 1] : 256;
    const uint64_t score = (w * h) << 8 | std::min<unsigned>(Le16(d, e + 6), 255);
    if (score > bestScore) bestScore = score, best = k;
  }
  const size_t e = 6 + 16 * best;
  // A stored size too small for any image is common and ignored (the image's own header says
  // how far it runs); one beyond the file is damage.
  const uint32_t size = Le32(d, e + 8), offset = Le32(d, e + 12);
  if (offset >= d.size() || size > d.size() - offset) BadPicture();
  const TBytes image = size >= 40 ? d.subspan(offset, size) : d.subspan(offset);
  if (image.size() >= 8 && image[0] == 0x89 && image[1] == 'P' && image[2] == 'N' && image[3] == 'G')
    return DecodePng(image);
  return DecodeDibAt(image, 0, 0, true);
}
