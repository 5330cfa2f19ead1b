// EXR reading through OpenEXR.
#include "python/ExrFile.h"

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfInputFile.h>

#include <limits>

#include "engine/Errors.h"

TExrImage ReadExr(const std::filesystem::path& path) {
  TExrImage image;
  try {
    Imf::InputFile file(path.c_str());
    const Imath::Box2i box = file.header().dataWindow();
    image.Width = box.max.x - box.min.x + 1;
    image.Height = box.max.y - box.min.y + 1;
    const size_t w = static_cast<size_t>(image.Width), n = w * static_cast<size_t>(image.Height);
    image.Rgba.assign(4 * n, 0.0f);
    image.Depth.assign(n, std::numeric_limits<float>::infinity());
    Imf::FrameBuffer fb;
    // Slices address pixels from the data window's origin.
    const auto origin = static_cast<std::ptrdiff_t>(box.min.x) + static_cast<std::ptrdiff_t>(box.min.y) * static_cast<std::ptrdiff_t>(w);
    const char* names[4] = {"R", "G", "B", "A"};
    for (int c = 0; c < 4; ++c)
      fb.insert(names[c], Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(image.Rgba.data() + c - 4 * origin),
                                     4 * sizeof(float), 4 * sizeof(float) * w, 1, 1, c == 3 ? 1.0 : 0.0));
    fb.insert("Z", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(image.Depth.data() - origin), sizeof(float),
                              sizeof(float) * w, 1, 1, std::numeric_limits<double>::infinity()));
    file.setFrameBuffer(fb);
    file.readPixels(box.min.y, box.max.y);
  } catch (const std::exception& e) {
    throw EVantrelError(path.string() + ": cannot read the EXR file (" + e.what() + ")");
  }
  return image;
}
