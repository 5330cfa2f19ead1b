// What the picture loader's format decoders share: their entry points, the failure they raise
// and the size checks every decoder makes before it allocates pixels.
#pragma once

#include <cstdint>
#include <span>

#include "pictures/PictureLoader.h"

using TBytes = std::span<const uint8_t>;

// Thrown by a decoder for data it cannot decode; the loader turns it into the user's message.
struct TBadPicture {};

[[noreturn]] inline void BadPicture() { throw TBadPicture{}; }

// Checks a header's dimensions before allocation: both sides within 1..MaxImageSide, the area
// within MaxImagePixels, and no more pixels than maxPixelsPerByte × the file's bytes can
// encode (with a floor that lets any small image through).
void CheckImageSize(int64_t width, int64_t height, uint64_t fileBytes, uint64_t maxPixelsPerByte);
// An image of that size, every pixel opaque black.
TBitmap32 NewImage(int32_t width, int32_t height);

TPicture DecodePng(TBytes data);
TPicture DecodeJpeg(TBytes data);
TPicture DecodeTiff(TBytes data);
TPicture DecodeBmp(TBytes data);   // with the file header "BM"
TPicture DecodeDib(TBytes data);   // a bare info header, palette and pixels
TPicture DecodeIcon(TBytes data);  // icons and cursors
TPicture DecodePnm(TBytes data);
TPicture DecodeTga(TBytes data);
TPicture DecodePsd(TBytes data);
TPicture DecodeGif(TBytes data);
