// PNG through libpng, EXR through OpenEXR, each into a temporary file renamed at the end.
#include "stage/ImageFiles.h"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <Imath/half.h>

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfOutputFile.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace stage {

std::filesystem::path TempPathFor(const std::filesystem::path& path, long pid) {
  return std::filesystem::path(path.string() + "." + std::to_string(pid) + ".tmp-write");
}

std::filesystem::path TempPathFor(const std::filesystem::path& path) { return TempPathFor(path, getpid()); }

namespace {

// Puts the written data on the disk before the file is renamed into place, so that a crash of
// the machine leaves the old file or the whole new one, never a named but empty one. Answers
// errno of the failure, 0 when done.
int SyncToDisk(int fd) { return ::fsync(fd) == 0 ? 0 : errno; }

int SyncToDisk(const std::filesystem::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = SyncToDisk(fd);
  ::close(fd);
  return error;
}

void CommitTemp(const std::filesystem::path& temp, const std::filesystem::path& path) {
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) {
    const std::string why = ec.message();
    std::filesystem::remove(temp, ec);
    throw std::runtime_error(path.string() + ": cannot replace the file: " + why);
  }
}

uint8_t ToByte(float v) {
  if (!(v > 0)) return 0;  // NaN too
  if (v >= 1) return 255;
  return static_cast<uint8_t>(std::nearbyint(v * 255.0f));
}

uint16_t ToWord(float v) {
  if (!(v > 0)) return 0;
  if (v >= 1) return 65535;
  return static_cast<uint16_t>(std::nearbyint(v * 65535.0f));
}

struct TFileCloser {
  void operator()(FILE* f) const {
    if (f) std::fclose(f);
  }
};

}  // namespace

void WritePng(const std::filesystem::path& path, const TScreenBuffer& image, const TImageWriteOptions& options) {
  const int bits = options.Bits == 0 ? 8 : options.Bits;
  if (bits != 8 && bits != 16)
    throw std::invalid_argument(path.string() + ": PNG has 8 or 16 bits per channel, not " + std::to_string(bits));
  const std::filesystem::path temp = TempPathFor(path);
  const std::string name = path.string();
  std::unique_ptr<FILE, TFileCloser> file(std::fopen(temp.c_str(), "wb"));
  if (!file) throw std::runtime_error(name + ": cannot create the file: " + std::strerror(errno));

  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error(name + ": out of memory for the PNG writer");
  }
  const size_t channels = options.Alpha ? 4 : 3;
  const size_t bytes = static_cast<size_t>(bits / 8);
  std::vector<uint8_t> row(static_cast<size_t>(image.Width()) * channels * bytes);
  volatile bool failed = false;
  // libpng reports errors by longjmp; nothing with a destructor lives between here and there.
  if (setjmp(png_jmpbuf(png))) {
    failed = true;
  } else {
    png_init_io(png, file.get());
    if (options.Compression == TPngCompression::Fast) {
      // Rendered frames are mostly smooth: the Up filter with zlib's fastest level keeps most
      // of the gain at a fraction of the time of the adaptive filters at level 6.
      png_set_compression_level(png, 1);
      png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.Width()),
                 static_cast<png_uint_32>(image.Height()), bits,
                 options.Alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < image.Height(); ++y) {
      for (int32_t x = 0; x < image.Width(); ++x) {
        const TPixel& p = image.At(x, y);
        float v[4] = {p.R, p.G, p.B, p.A};
        if (options.Alpha && !options.StraightColors) {
          // PNG keeps colours straight: the buffer's premultiplied ones divided by alpha. Additive
          // light (fire, sparks) adds colour without coverage, which straight colour cannot hold:
          // alpha 0 would drop it. Its coverage is taken from its brightness, the brightest
          // channel, so that the file laid over black gives back exactly the rendered colour.
          const float light = std::max({v[0], v[1], v[2]});
          if (light > v[3]) v[3] = std::min(light, 1.0f);
          const float unit = v[3] > 0 ? 1 / v[3] : 0.0f;
          if (v[3] != 1)
            for (int c = 0; c < 3; ++c) v[c] = v[c] * unit;
        }
        uint8_t* out = row.data() + static_cast<size_t>(x) * channels * bytes;
        for (size_t c = 0; c < channels; ++c) {
          if (bytes == 1) {
            out[c] = ToByte(v[c]);
          } else {
            const uint16_t w = ToWord(v[c]);
            out[c * 2] = static_cast<uint8_t>(w >> 8);  // PNG stores 16-bit samples big-endian
            out[c * 2 + 1] = static_cast<uint8_t>(w & 0xFF);
          }
        }
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
  }
  png_destroy_write_struct(&png, &info);
  // The reason of a failed write (a full disk, a quota) as the system gave it.
  int error = failed ? errno : 0;
  if (!failed && (std::fflush(file.get()) != 0 || (error = SyncToDisk(fileno(file.get()))) != 0)) {
    failed = true;
    if (error == 0) error = errno;
  }
  const bool closeFailed = std::fclose(file.release()) != 0;
  if (closeFailed && error == 0) error = errno;
  if (failed || closeFailed) {
    std::error_code ec;
    std::filesystem::remove(temp, ec);
    throw std::runtime_error(name + ": cannot write the PNG file" + (error ? std::string(": ") + std::strerror(error) : ""));
  }
  CommitTemp(temp, path);
}

void WriteExr(const std::filesystem::path& path, const TScreenBuffer& image, const TImageWriteOptions& options) {
  const int bits = options.Bits == 0 ? 32 : options.Bits;
  if (bits != 16 && bits != 32)
    throw std::invalid_argument(path.string() + ": EXR has 16 (half) or 32 (float) bits per channel, not " +
                                std::to_string(bits));
  const std::filesystem::path temp = TempPathFor(path);
  const size_t w = static_cast<size_t>(image.Width()), h = static_cast<size_t>(image.Height());
  std::vector<float> planes[5];
  for (auto& p : planes) p.resize(w * h);
  for (size_t y = 0; y < h; ++y)
    for (size_t x = 0; x < w; ++x) {
      const TPixel& p = image.At(static_cast<int32_t>(x), static_cast<int32_t>(y));
      const size_t i = y * w + x;
      planes[0][i] = p.R;
      planes[1][i] = p.G;
      planes[2][i] = p.B;
      planes[3][i] = p.A;
      planes[4][i] = p.Depth >= 0 ? std::sqrt(p.Depth) : p.Depth;
    }
  try {
    Imf::Header header(image.Width(), image.Height());
    const char* names[5] = {"R", "G", "B", "A", "Z"};
    Imf::FrameBuffer fb;
    std::vector<half> halves[4];
    for (int c = 0; c < 5; ++c) {
      // Half colour and alpha where asked; Z stays float, as half cannot hold distances.
      const Imf::PixelType type = bits == 16 && c < 4 ? Imf::HALF : Imf::FLOAT;
      header.channels().insert(names[c], Imf::Channel(type));
      if (type == Imf::HALF) {
        halves[c].assign(planes[c].begin(), planes[c].end());
        fb.insert(names[c], Imf::Slice(Imf::HALF, reinterpret_cast<char*>(halves[c].data()), sizeof(half),
                                       sizeof(half) * w));
      } else {
        fb.insert(names[c], Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(planes[c].data()), sizeof(float),
                                       sizeof(float) * w));
      }
    }
    Imf::OutputFile out(temp.c_str(), header);
    out.setFrameBuffer(fb);
    out.writePixels(image.Height());
  } catch (const std::exception& e) {
    std::error_code ec;
    std::filesystem::remove(temp, ec);
    throw std::runtime_error(path.string() + ": cannot write the EXR file (" + e.what() + ")");
  }
  if (const int error = SyncToDisk(temp); error != 0) {
    std::error_code ec;
    std::filesystem::remove(temp, ec);
    throw std::runtime_error(path.string() + ": cannot write the EXR file: " + std::strerror(error));
  }
  CommitTemp(temp, path);
}

void WriteImage(const std::filesystem::path& path, const TScreenBuffer& image, const TImageWriteOptions& options) {
  std::string ext = path.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (ext == ".png") return WritePng(path, image, options);
  if (ext == ".exr") return WriteExr(path, image, options);
  throw std::runtime_error(path.string() + ": unknown image type (use .png or .exr)");
}

}  // namespace stage
