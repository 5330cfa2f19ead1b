// Choosing a decoder for a file and turning its failures into the user's message.
//
// Hostile input: no file crashes the loader. Sizes are checked against MaxImageSide and
// MaxImagePixels, and where a format allows, against the bytes the file holds, before pixels are
// allocated, so memory stays bounded by those limits; the time of a decode is bounded by the
// file's length plus a small multiple of the picture's pixels (a GIF decodes its first frame
// only, and at most a few screens' worth of its images). Every failure, whatever the decoder
// (our own or a library's), is the one message "Cannot load image. Invalid or unexpected %s
// image format.". The fuzz target tests/fuzz/PictureFuzz.cpp holds the loader to this.
#include "pictures/PictureLoader.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <vector>

#include "engine/Errors.h"
#include "engine/Stream.h"
#include "pictures/PictureFormats.h"

namespace {
enum class TFormat { Unknown, Bmp, Dib, Icon, Jpeg, Png, Tga, Tiff, Psd, Pnm, Gif };

struct TFormatInfo {
  TFormat Format;
  const char* Name;
  TPicture (*Decode)(TBytes);
};

constexpr TFormatInfo Formats[] = {
    {TFormat::Bmp, "BMP", DecodeBmp},   {TFormat::Dib, "DIB", DecodeDib},
    {TFormat::Icon, "ICO", DecodeIcon}, {TFormat::Jpeg, "JPEG", DecodeJpeg},
    {TFormat::Png, "PNG", DecodePng},   {TFormat::Tga, "TGA", DecodeTga},
    {TFormat::Tiff, "TIFF", DecodeTiff}, {TFormat::Psd, "PSD", DecodePsd},
    {TFormat::Pnm, "PNM", DecodePnm},   {TFormat::Gif, "GIF", DecodeGif},
};

struct TExtension {
  const char* Ext;
  TFormat Format;
};

constexpr TExtension Extensions[] = {
    {"bmp", TFormat::Bmp},  {"rle", TFormat::Bmp},   {"dib", TFormat::Dib},  {"ico", TFormat::Icon},
    {"cur", TFormat::Icon}, {"jpg", TFormat::Jpeg},  {"jpeg", TFormat::Jpeg}, {"jpe", TFormat::Jpeg},
    {"jfif", TFormat::Jpeg}, {"png", TFormat::Png},  {"tga", TFormat::Tga},  {"vda", TFormat::Tga},
    {"icb", TFormat::Tga},  {"vst", TFormat::Tga},   {"win", TFormat::Tga},  {"tif", TFormat::Tiff},
    {"tiff", TFormat::Tiff}, {"fax", TFormat::Tiff}, {"psd", TFormat::Psd},  {"pdd", TFormat::Psd},
    {"pbm", TFormat::Pnm},  {"pgm", TFormat::Pnm},   {"ppm", TFormat::Pnm},  {"pnm", TFormat::Pnm},
    {"gif", TFormat::Gif},
};

std::string LowerExtension(const std::string& fileName) {
  std::string ext = std::filesystem::path(fileName).extension().string();
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

bool StartsWith(TBytes data, const char* magic, size_t n) {
  return data.size() >= n && std::memcmp(data.data(), magic, n) == 0;
}

// Formats with a signature strong enough to trust over the file's extension.
TFormat Sniff(TBytes data) {
  if (StartsWith(data, "\x89PNG\r\n\x1a\n", 8)) return TFormat::Png;
  if (StartsWith(data, "\xFF\xD8\xFF", 3)) return TFormat::Jpeg;
  if (StartsWith(data, "GIF87a", 6) || StartsWith(data, "GIF89a", 6)) return TFormat::Gif;
  if (StartsWith(data, "II*\0", 4) || StartsWith(data, "MM\0*", 4)) return TFormat::Tiff;
  if (StartsWith(data, "8BPS", 4)) return TFormat::Psd;
  if (StartsWith(data, "BM", 2) && data.size() >= 18) return TFormat::Bmp;
  if (data.size() >= 3 && data[0] == 'P' && data[1] >= '1' && data[1] <= '6' && std::isspace(data[2]))
    return TFormat::Pnm;
  return TFormat::Unknown;
}
}  // namespace

void CheckImageSize(int64_t width, int64_t height, uint64_t fileBytes, uint64_t maxPixelsPerByte) {
  constexpr uint64_t Floor = uint64_t{1} << 22;  // 4M pixels, 16 MB of image
  if (width < 1 || height < 1 || width > MaxImageSide || height > MaxImageSide) BadPicture();
  const auto pixels = static_cast<uint64_t>(width * height);
  if (pixels > static_cast<uint64_t>(MaxImagePixels)) BadPicture();
  if (pixels > Floor && pixels / maxPixelsPerByte > fileBytes) BadPicture();
}

TBitmap32 NewImage(int32_t width, int32_t height) {
  TBitmap32 image;
  image.Width = width;
  image.Height = height;
  image.Pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), PackBgra(0, 0, 0, 255));
  return image;
}

TPicture DecodePicture(TBytes data, const std::string& fileName) {
  const std::string ext = LowerExtension(fileName);
  TFormat format = TFormat::Unknown;
  for (const TExtension& e : Extensions)
    if (ext == e.Ext) format = e.Format;
  // Icons have no signature to speak of; elsewhere the contents decide.
  if (format != TFormat::Icon) {
    const TFormat sniffed = Sniff(data);
    if (sniffed != TFormat::Unknown) format = sniffed;
  }
  // A ".dib" that carries a file header is an ordinary bitmap.
  if (format == TFormat::Dib && StartsWith(data, "BM", 2)) format = TFormat::Bmp;

  const TFormatInfo* info = nullptr;
  for (const TFormatInfo& f : Formats)
    if (f.Format == format) info = &f;
  std::string name = info ? info->Name : ext;
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
  try {
    if (!info) BadPicture();
    TPicture picture = info->Decode(data);
    if (picture.Image.Width < 1 || picture.Image.Height < 1 ||
        picture.Image.Pixels.size() != static_cast<size_t>(picture.Image.Width) * static_cast<size_t>(picture.Image.Height))
      BadPicture();
    return picture;
  } catch (const TBadPicture&) {
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  throw EVantrelError(Format("Cannot load image. Invalid or unexpected %s image format.", name.c_str()));
}

TPicture LoadPicture(const std::string& fileName) {
  TFileReadStream s(fileName);
  // No picture a particle could use is this large; decoding no bytes fails with the format's name.
  if (s.Size() > (uint64_t{1} << 30)) return DecodePicture({}, fileName);
  std::vector<uint8_t> bytes(static_cast<size_t>(s.Size()));
  if (s.Read(bytes.data(), bytes.size()) != bytes.size())
    throw EVantrelError(Format("Cannot open file %s", fileName.c_str()));
  return DecodePicture(bytes, fileName);
}
