// Writing a rendered frame: PNG (8-bit red, green, blue, clamped to 0..1 and rounded) and
// OpenEXR (float red, green, blue, alpha and Z, Z holding the view depth, the square root of the
// buffer's squared depth, +infinity where nothing is). Both write a temporary file beside the
// target and rename it, so a failed write leaves an existing file whole.
#pragma once

#include <filesystem>

#include "stage/ScreenBuffer.h"

namespace stage {

// How hard PNG writing compresses: Fast (zlib level 1, one fixed row filter) writes several
// times faster for files about a sixth larger; Small is zlib's default with adaptive filters.
enum class TPngCompression { Fast, Small };

// Throw std::runtime_error naming the file when it cannot be written.
void WritePng(const std::filesystem::path& path, const TScreenBuffer& image,
              TPngCompression compression = TPngCompression::Fast);
void WriteExr(const std::filesystem::path& path, const TScreenBuffer& image);
// By extension: ".png" or ".exr" (any case); anything else throws std::runtime_error.
void WriteImage(const std::filesystem::path& path, const TScreenBuffer& image);
// The temporary name a file is written under before it is renamed to path.
std::filesystem::path TempPathFor(const std::filesystem::path& path);

}  // namespace stage
