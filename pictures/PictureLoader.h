// The picture loader: decodes an image file of any supported format into the plug-in's 32-bit
// image. Supported: Windows bitmaps (all bit depths, bit fields, 4- and 8-bit run-length
// encoded, embedded JPEG/PNG), headerless device-independent bitmaps (.dib), icons and cursors,
// JPEG, PNG, Truevision TGA, TIFF, Photoshop composites (bitmap, grey, indexed, RGB, duotone),
// PBM/PGM/PPM (plain and raw) and GIF (the first frame as a player shows it). The format is
// chosen by the file's signature, else by its extension.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "pictures/Bitmap32.h"

struct TPicture {
  TBitmap32 Image;
  // The source carried transparency of its own (an alpha channel, PNG transparency, an icon's
  // mask), which the image keeps. Otherwise alpha is 255 and the cache makes it from intensity.
  bool HasAlpha = false;
  // The transparency is only a mask (a GIF's transparent colour): alpha is 0 or 255, and the
  // picture has no alpha channel of its own, so the cache makes the visible pixels' alpha from
  // their intensity as for a picture without transparency.
  bool AlphaIsMask = false;
};

// Limits on what any file may ask for, checked before pixels are allocated.
constexpr int32_t MaxImageSide = 16384;
constexpr int64_t MaxImagePixels = int64_t{1} << 25;

// Reads and decodes a file. Throws EVantrelError "Cannot open file %s" when it cannot be read,
// and "Cannot load image. Invalid or unexpected %s image format." (with the format's name)
// when its contents cannot be decoded: truncated, corrupt, larger than the limits above, or a
// variant no decoder supports.
TPicture LoadPicture(const std::string& fileName);
// The same on bytes already in memory; fileName only supplies the extension.
TPicture DecodePicture(std::span<const uint8_t> data, const std::string& fileName);
