// TIFF through libtiff's RGBA interface: the first image of the file, any photometric
// interpretation and compression libtiff can turn into RGBA, top row first; grey of bit depths
// that interface does not read, through libtiff's scanlines; one-dimensional fax pages libtiff
// refuses, through our own fax decoder.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "pictures/FaxDecoder.h"
#include "pictures/PictureFormats.h"

namespace {
// Fax and LZW coding can describe a blank line in a few bits.
constexpr uint64_t TiffPixelsPerByte = 16384;
constexpr tmsize_t MaxSingleAlloc = 256 << 20;

struct TTiffInput {
  TBytes Data;
  uint64_t Pos = 0;
};

tmsize_t ReadProc(thandle_t h, void* buf, tmsize_t size) {
  auto* in = static_cast<TTiffInput*>(h);
  if (size <= 0 || in->Pos >= in->Data.size()) return 0;
  const uint64_t n = std::min<uint64_t>(static_cast<uint64_t>(size), in->Data.size() - in->Pos);
  std::memcpy(buf, in->Data.data() + in->Pos, n);
  in->Pos += n;
  return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return 0; }

toff_t SeekProc(thandle_t h, toff_t off, int whence) {
  auto* in = static_cast<TTiffInput*>(h);
  uint64_t base = 0;
  if (whence == SEEK_CUR) base = in->Pos;
  else if (whence == SEEK_END) base = in->Data.size();
  in->Pos = base + off;
  return in->Pos;
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t h) { return static_cast<TTiffInput*>(h)->Data.size(); }
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}
int Quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

uint64_t Field(TBytes d, uint64_t at, unsigned n, bool big) {
  uint64_t v = 0;
  for (unsigned k = 0; k < n; ++k) v |= uint64_t{d[at + k]} << (8 * (big ? n - 1 - k : k));
  return v;
}

// libtiff accepts a first directory whose tag data runs past the end of the file (it reads
// what is there); such a file has lost bytes.
void CheckFirstDirectory(TBytes d) {
  if (d.size() < 8) BadPicture();
  const bool big = d[0] == 'M';
  const bool bigTiff = Field(d, 2, 2, big) == 43;
  const unsigned countSize = bigTiff ? 8 : 2, entrySize = bigTiff ? 20 : 12, valueSize = bigTiff ? 8 : 4;
  const uint64_t ifd = bigTiff ? (d.size() >= 16 ? Field(d, 8, 8, big) : ~uint64_t{0}) : Field(d, 4, 4, big);
  if (ifd > d.size() || d.size() - ifd < countSize) BadPicture();
  const uint64_t n = Field(d, ifd, countSize, big);
  if (n > (d.size() - ifd - countSize) / entrySize) BadPicture();
  static constexpr unsigned TypeSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 0, 0, 8, 8, 8};
  for (uint64_t k = 0; k < n; ++k) {
    const uint64_t e = ifd + countSize + k * entrySize;
    const uint64_t type = Field(d, e + 2, 2, big);
    const uint64_t count = Field(d, e + 4, bigTiff ? 8 : 4, big);
    const unsigned size = type < std::size(TypeSizes) ? TypeSizes[type] : 0;
    if (size == 0 || count > d.size() / size) continue;  // unknown types are libtiff's to judge
    if (count * size <= valueSize) continue;
    const uint64_t at = Field(d, e + 4 + (bigTiff ? 8 : 4), valueSize, big);
    if (at > d.size() || count * size > d.size() - at) BadPicture();
  }
}

// Grey of a bit depth the RGBA interface has no path for (12 bits from scanners and medical
// cameras, or any other width up to 16), one sample per pixel in strips: read row by row and
// scaled to 8 bits. Returns false for anything else.
bool ReadOddGrey(TIFF* tif, uint32_t w, uint32_t h, TBitmap32& image) {
  uint16_t bits = 0, samples = 0, photometric = 0, planar = 0, format = 0;
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) return false;
  if (photometric != PHOTOMETRIC_MINISBLACK && photometric != PHOTOMETRIC_MINISWHITE) return false;
  if (bits < 1 || bits > 16 || samples != 1 || planar != PLANARCONFIG_CONTIG || format != SAMPLEFORMAT_UINT ||
      TIFFIsTiled(tif))
    return false;
  const tmsize_t lineBytes = TIFFScanlineSize(tif);
  if (lineBytes <= 0 || static_cast<uint64_t>(lineBytes) * 8 < uint64_t{w} * bits) return false;
  std::vector<uint8_t> line(static_cast<size_t>(lineBytes));
  const uint32_t maxValue = (1u << bits) - 1;
  image = NewImage(static_cast<int32_t>(w), static_cast<int32_t>(h));
  for (uint32_t y = 0; y < h; ++y) {
    if (TIFFReadScanline(tif, line.data(), y, 0) < 0) BadPicture();
    uint64_t bit = 0;
    for (uint32_t x = 0; x < w; ++x) {
      uint32_t v = 0;
      for (unsigned k = 0; k < bits; ++k, ++bit) v = (v << 1) | ((line[bit / 8] >> (7 - bit % 8)) & 1u);
      if (photometric == PHOTOMETRIC_MINISWHITE) v = maxValue - v;
      const auto grey = static_cast<uint8_t>((v * 255 + maxValue / 2) / maxValue);
      image.At(static_cast<int32_t>(x), static_cast<int32_t>(y)) = PackBgra(grey, grey, grey, 255);
    }
  }
  return true;
}

// Bilevel pages in modified Huffman or one-dimensional Group 3 coding, read strip by strip with
// our own decoder: libtiff gives up on Group 3 pages written without EOL codes. Returns false
// for anything else, two-dimensional coding included.
bool ReadFax(TIFF* tif, TBytes data, uint32_t w, uint32_t h, TBitmap32& image) {
  uint16_t compression = 0, bits = 0, samples = 0, photometric = 0, fillOrder = 0;
  uint32_t rowsPerStrip = 0, t4Options = 0;
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  if (compression != COMPRESSION_CCITTRLE && compression != COMPRESSION_CCITTFAX3) return false;
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &fillOrder);
  TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
  if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) return false;
  if (compression == COMPRESSION_CCITTFAX3 && TIFFGetField(tif, TIFFTAG_GROUP3OPTIONS, &t4Options) &&
      (t4Options & (GROUP3OPT_2DENCODING | GROUP3OPT_UNCOMPRESSED)))
    return false;
  if (bits != 1 || samples != 1 || TIFFIsTiled(tif) || rowsPerStrip == 0 ||
      (photometric != PHOTOMETRIC_MINISWHITE && photometric != PHOTOMETRIC_MINISBLACK) ||
      (fillOrder != FILLORDER_MSB2LSB && fillOrder != FILLORDER_LSB2MSB))
    return false;
  TFaxCoding coding;
  coding.RowsByteAligned = compression == COMPRESSION_CCITTRLE;
  coding.LsbFirst = fillOrder == FILLORDER_LSB2MSB;
  coding.MinIsWhite = photometric == PHOTOMETRIC_MINISWHITE;
  image = NewImage(static_cast<int32_t>(w), static_cast<int32_t>(h));
  const uint32_t strips = TIFFNumberOfStrips(tif);
  uint32_t row = 0;
  for (uint32_t k = 0; k < strips && row < h; ++k) {
    int err = 0;
    const uint64_t offset = TIFFGetStrileOffsetWithErr(tif, k, &err);
    const uint64_t bytes = TIFFGetStrileByteCountWithErr(tif, k, &err);
    if (err || offset > data.size() || bytes > data.size() - offset) BadPicture();
    const uint32_t rows = std::min(rowsPerStrip, h - row);
    DecodeFaxStrip(data.subspan(static_cast<size_t>(offset), static_cast<size_t>(bytes)), coding, row, rows, image);
    row += rows;
  }
  if (row < h) BadPicture();
  return true;
}

struct TTiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};
struct TOptionsFree {
  void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};
}  // namespace

TPicture DecodeTiff(TBytes data) {
  CheckFirstDirectory(data);
  TTiffInput input{data, 0};
  std::unique_ptr<TIFFOpenOptions, TOptionsFree> options(TIFFOpenOptionsAlloc());
  if (!options) BadPicture();
  TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), MaxSingleAlloc);
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), Quiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), Quiet, nullptr);
  // "m": read through the procedures, never map the buffer.
  std::unique_ptr<TIFF, TTiffCloser> tif(TIFFClientOpenExt("image", "rm", &input, ReadProc, WriteProc, SeekProc,
                                                           CloseProc, SizeProc, MapProc, UnmapProc, options.get()));
  if (!tif) BadPicture();
  uint32_t w = 0, h = 0;
  if (!TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h)) BadPicture();
  CheckImageSize(w, h, data.size(), TiffPixelsPerByte);
  // Every strip or tile must lie inside the file: libtiff makes do with a short last one.
  const uint32_t strips = TIFFIsTiled(tif.get()) ? TIFFNumberOfTiles(tif.get()) : TIFFNumberOfStrips(tif.get());
  for (uint32_t k = 0; k < strips; ++k) {
    int err = 0;
    const uint64_t offset = TIFFGetStrileOffsetWithErr(tif.get(), k, &err);
    const uint64_t bytes = TIFFGetStrileByteCountWithErr(tif.get(), k, &err);
    if (err || offset > data.size() || bytes > data.size() - offset) BadPicture();
  }
  char message[1024];
  if (!TIFFRGBAImageOK(tif.get(), message)) {
    TPicture picture;
    if (!ReadOddGrey(tif.get(), w, h, picture.Image)) BadPicture();
    return picture;
  }

  uint16_t extraCount = 0;
  uint16_t* extraTypes = nullptr;
  bool hasAlpha = false, unassociated = false;
  if (TIFFGetFieldDefaulted(tif.get(), TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) && extraCount > 0 && extraTypes) {
    unassociated = extraTypes[0] == EXTRASAMPLE_UNASSALPHA;
    hasAlpha = unassociated || extraTypes[0] == EXTRASAMPLE_ASSOCALPHA;
  }

  std::vector<uint32_t> raster(static_cast<size_t>(w) * h);
  TPicture picture;
  if (!TIFFReadRGBAImageOriented(tif.get(), w, h, raster.data(), ORIENTATION_TOPLEFT, 1)) {
    raster = {};
    if (!ReadFax(tif.get(), data, w, h, picture.Image)) BadPicture();
    return picture;
  }
  picture.HasAlpha = hasAlpha;
  picture.Image.Width = static_cast<int32_t>(w);
  picture.Image.Height = static_cast<int32_t>(h);
  // libtiff packs red in the low byte; the image wants blue there. The library multiplies
  // unassociated alpha into the colours, which the file did not; that is undone.
  for (uint32_t& p : raster) {
    uint32_t r = TIFFGetR(p), g = TIFFGetG(p), b = TIFFGetB(p);
    const uint32_t a = hasAlpha ? TIFFGetA(p) : 255;
    if (unassociated && a > 0 && a < 255) {
      r = std::min<uint32_t>(255, (r * 255 + a / 2) / a);
      g = std::min<uint32_t>(255, (g * 255 + a / 2) / a);
      b = std::min<uint32_t>(255, (b * 255 + a / 2) / a);
    }
    p = PackBgra(static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r), static_cast<uint8_t>(a));
  }
  picture.Image.Pixels = std::move(raster);
  return picture;
}
