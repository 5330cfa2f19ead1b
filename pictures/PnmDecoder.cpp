// Portable bitmaps, grey maps and pixel maps (P1 to P6), plain and raw, any maxval up to 65535,
// samples scaled to 0..255. The first image of a file is read. Own code: stb reads only the raw
// grey and pixel maps and does not scale samples by maxval.
#include <cctype>
#include <vector>

#include "pictures/PictureFormats.h"

namespace {
struct TPnmReader {
  TBytes D;
  size_t At = 0;

  // White space and comments (from "#" to the end of the line) between header tokens.
  void SkipSeparators() {
    while (At < D.size()) {
      if (D[At] == '#') {
        while (At < D.size() && D[At] != '\n' && D[At] != '\r') ++At;
      } else if (std::isspace(D[At])) {
        ++At;
      } else {
        return;
      }
    }
  }
  // An unsigned decimal number no larger than limit.
  uint32_t Number(uint32_t limit) {
    SkipSeparators();
    if (At >= D.size() || !std::isdigit(D[At])) BadPicture();
    uint64_t v = 0;
    while (At < D.size() && std::isdigit(D[At])) {
      v = v * 10 + (D[At++] - '0');
      if (v > limit) BadPicture();
    }
    return static_cast<uint32_t>(v);
  }
};

uint8_t Scale(uint32_t v, uint32_t maxval) { return static_cast<uint8_t>((uint64_t{v} * 255 + maxval / 2) / maxval); }
}  // namespace

TPicture DecodePnm(TBytes d) {
  if (d.size() < 3 || d[0] != 'P' || d[1] < '1' || d[1] > '6') BadPicture();
  const int kind = d[1] - '0';
  const bool plain = kind <= 3;
  const int type = (kind - 1) % 3;  // 0 bitmap, 1 grey map, 2 pixel map
  TPnmReader r{d, 2};
  if (!std::isspace(d[2]) && d[2] != '#') BadPicture();
  const uint32_t w = r.Number(MaxImageSide), h = r.Number(MaxImageSide);
  const uint32_t maxval = type == 0 ? 1 : r.Number(65535);
  if (w == 0 || h == 0 || maxval == 0) BadPicture();
  const unsigned samples = type == 2 ? 3 : 1;
  const uint64_t count = uint64_t{w} * h * samples;
  TPicture picture;
  if (!plain) {
    // Exactly one white-space character separates the header from the raster.
    if (r.At >= d.size() || !std::isspace(d[r.At])) BadPicture();
    ++r.At;
    const uint64_t rowBytes = type == 0 ? (w + 7) / 8 : uint64_t{w} * samples * (maxval > 255 ? 2 : 1);
    if (r.At + rowBytes * h > d.size()) BadPicture();
    CheckImageSize(w, h, d.size(), 8);
    picture.Image = NewImage(static_cast<int32_t>(w), static_cast<int32_t>(h));
    const uint8_t* src = d.data() + r.At;
    for (uint32_t y = 0; y < h; ++y, src += rowBytes) {
      for (uint32_t x = 0; x < w; ++x) {
        uint8_t s[3];
        if (type == 0) {
          s[0] = (src[x / 8] >> (7 - x % 8)) & 1 ? 0 : 255;  // 1 is black
        } else {
          for (unsigned c = 0; c < samples; ++c) {
            const uint64_t k = uint64_t{x} * samples + c;
            const uint32_t v = maxval > 255 ? (uint32_t{src[2 * k]} << 8 | src[2 * k + 1]) : src[k];
            if (v > maxval) BadPicture();
            s[c] = Scale(v, maxval);
          }
        }
        if (samples == 1) s[1] = s[2] = s[0];
        picture.Image.At(static_cast<int32_t>(x), static_cast<int32_t>(y)) = PackBgra(s[2], s[1], s[0], 255);
      }
    }
    return picture;
  }
  // Plain: every sample takes at least one character (bitmaps may run their digits together).
  if (count > d.size() - r.At) BadPicture();
  CheckImageSize(w, h, d.size(), 1);
  picture.Image = NewImage(static_cast<int32_t>(w), static_cast<int32_t>(h));
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t s[3];
      for (unsigned c = 0; c < samples; ++c) {
        uint32_t v = 0;
        if (type == 0) {
          r.SkipSeparators();
          if (r.At >= d.size() || (d[r.At] != '0' && d[r.At] != '1')) BadPicture();
          v = d[r.At++] == '1' ? 0 : 1;  // 1 is black
        } else {
          v = r.Number(maxval);
        }
        s[c] = Scale(v, maxval);
      }
      if (samples == 1) s[1] = s[2] = s[0];
      picture.Image.At(static_cast<int32_t>(x), static_cast<int32_t>(y)) = PackBgra(s[2], s[1], s[0], 255);
    }
  }
  return picture;
}
