// Writing a rendered frame: PNG (red, green, blue and, when asked, alpha, 8 or 16 bits, clamped
// to 0..1 and rounded; colours straight, as PNG has them: divided by alpha, where additive light
// brighter than its coverage is given its brightest channel as alpha) and OpenEXR (red,
// green, blue and alpha as float or half, premultiplied as the buffer holds them, as EXR has
// them; and Z, always float, the view depth: the square root of the buffer's squared depth,
// +infinity where nothing is). Both write a temporary file beside the target and rename it, so
// a failed write leaves an existing file whole.
#pragma once

#include <filesystem>

#include "stage/ScreenBuffer.h"

namespace stage {

enum class TImageFormat { Png, Exr };

// How hard PNG writing compresses: Fast (zlib level 1, one fixed row filter) writes several
// times faster for files about a sixth larger; Small is zlib's default with adaptive filters.
enum class TPngCompression { Fast, Small };

struct TImageWriteOptions {
  bool Alpha = false;  // PNG: write an alpha channel (EXR always has one)
  int Bits = 0;        // bits per channel: PNG 8 or 16, EXR 16 (half) or 32 (float); 0: 8 and 32
  TPngCompression Compression = TPngCompression::Fast;
  // PNG with alpha: the buffer's colours are straight already (a picture drawn for use as a
  // particle image), written as they are; otherwise they are premultiplied, as a rendered frame
  // holds them, and divided by alpha. Straight colours keep their value where alpha is 0, which
  // matters to pictures that are later filtered: a clear pixel next to a visible one blends in.
  bool StraightColors = false;
};

// Throw std::runtime_error naming the file when it cannot be written, std::invalid_argument for
// a bit depth the format does not have.
void WritePng(const std::filesystem::path& path, const TScreenBuffer& image, const TImageWriteOptions& options = {});
void WriteExr(const std::filesystem::path& path, const TScreenBuffer& image, const TImageWriteOptions& options = {});
// By extension: ".png" or ".exr" (any case); anything else throws std::runtime_error.
void WriteImage(const std::filesystem::path& path, const TScreenBuffer& image, const TImageWriteOptions& options = {});
// The temporary name a file is written under by the process pid before it is renamed to path:
// "<path>.<pid>.tmp-write". Per process, so that two programs writing the same file (two renders
// of overlapping frames) never write into one temporary file, and a parent can tell which file
// a worker it saw die had left unfinished.
std::filesystem::path TempPathFor(const std::filesystem::path& path, long pid);
// The same for this process.
std::filesystem::path TempPathFor(const std::filesystem::path& path);

}  // namespace stage
