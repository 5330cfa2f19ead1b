// Our fax decoder against libtiff on pages libtiff writes itself (runs of every code length,
// both colours, both fill orders, Group 3 and modified Huffman), on rows of codes made by hand
// (without EOLs, with EOLs and fill, byte-aligned) and on damaged strips, which are refused.
#include <gtest/gtest.h>

#include <tiffio.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "pictures/FaxDecoder.h"
#include "pictures/PictureLoader.h"

namespace fs = std::filesystem;

namespace {
constexpr uint32_t White = PackBgra(255, 255, 255, 255), Black = PackBgra(0, 0, 0, 255);

// A page whose rows cut through a stream of runs: every terminating length, every make-up
// length plus a remainder, and a run longer than the longest make-up code, each in both colours.
constexpr uint32_t PageWidth = 5300;
std::vector<uint8_t> PageBits() {
  std::vector<uint32_t> lengths;
  for (uint32_t n = 1; n < 64; ++n) lengths.push_back(n);
  for (uint32_t m = 1; m <= 40; ++m) lengths.insert(lengths.end(), {64 * m, 64 * m + m});
  lengths.push_back(5200);
  std::vector<uint8_t> bits;
  for (int pass = 0; pass < 2; ++pass)
    for (uint32_t n : lengths) {
      bits.insert(bits.end(), n, static_cast<uint8_t>(pass));
      bits.insert(bits.end(), n, static_cast<uint8_t>(1 - pass));
    }
  for (uint32_t k = 0; k < PageWidth * 3; ++k) bits.push_back((k * 7919 % 13) < 5);  // short runs
  bits.resize((bits.size() + PageWidth - 1) / PageWidth * PageWidth, 0);
  return bits;
}

struct TFaxCase {
  const char* Name;
  uint16_t Compression, Photometric, FillOrder;
  uint32_t T4Options;
  bool WithoutEols;  // libtiff's own fax mode for writing rows without EOL codes
  uint32_t RowsPerStrip;
};

fs::path TempFile(const std::string& name) {
  return fs::temp_directory_path() / ("vantrel-fax-" + std::to_string(::getpid()) + "-" + name + ".tif");
}

void WritePage(const fs::path& file, const TFaxCase& c, const std::vector<uint8_t>& bits) {
  TIFF* t = TIFFOpen(file.c_str(), "w");
  ASSERT_NE(t, nullptr);
  const auto height = static_cast<uint32_t>(bits.size() / PageWidth);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, PageWidth), TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1), TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, c.Photometric), TIFFSetField(t, TIFFTAG_FILLORDER, c.FillOrder);
  TIFFSetField(t, TIFFTAG_COMPRESSION, c.Compression), TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, c.RowsPerStrip);
  if (c.Compression == COMPRESSION_CCITTFAX3) TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, c.T4Options);
  if (c.WithoutEols) TIFFSetField(t, TIFFTAG_FAXMODE, FAXMODE_CLASSF | FAXMODE_NOEOL);
  std::vector<uint8_t> row((PageWidth + 7) / 8);
  for (uint32_t y = 0; y < height; ++y) {
    std::fill(row.begin(), row.end(), 0);
    for (uint32_t x = 0; x < PageWidth; ++x)
      if (bits[y * PageWidth + x]) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    ASSERT_EQ(TIFFWriteScanline(t, row.data(), y, 0), 1);
  }
  TIFFClose(t);
}

// The page decoded strip by strip with our decoder; each strip also cut by its last byte,
// which must be refused.
TBitmap32 DecodeStrips(const fs::path& file, const TFaxCase& c) {
  TIFF* t = TIFFOpen(file.c_str(), "r");
  EXPECT_NE(t, nullptr);
  if (!t) return {};
  uint32_t w = 0, h = 0;
  TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w), TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h);
  TBitmap32 image = NewImage(static_cast<int32_t>(w), static_cast<int32_t>(h));
  TFaxCoding coding;
  coding.RowsByteAligned = c.Compression == COMPRESSION_CCITTRLE;
  coding.LsbFirst = c.FillOrder == FILLORDER_LSB2MSB;
  coding.MinIsWhite = c.Photometric == PHOTOMETRIC_MINISWHITE;
  for (uint32_t k = 0, row = 0; k < TIFFNumberOfStrips(t); ++k, row += c.RowsPerStrip) {
    std::vector<uint8_t> raw(static_cast<size_t>(TIFFRawStripSize(t, k)));
    EXPECT_EQ(TIFFReadRawStrip(t, k, raw.data(), static_cast<tmsize_t>(raw.size())), static_cast<tmsize_t>(raw.size()));
    const uint32_t rows = std::min(c.RowsPerStrip, h - row);
    DecodeFaxStrip(raw, coding, row, rows, image);
    TBitmap32 scratch = NewImage(static_cast<int32_t>(w), static_cast<int32_t>(h));
    EXPECT_THROW(DecodeFaxStrip(TBytes(raw).first(raw.size() - 1), coding, row, rows, scratch), TBadPicture)
        << "strip " << k << " cut by a byte";
  }
  TIFFClose(t);
  return image;
}
}  // namespace

TEST(FaxDecoder, MatchesLibtiffOnItsOwnPages) {
  const std::vector<uint8_t> bits = PageBits();
  const TFaxCase cases[] = {
      {"g3", COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISWHITE, FILLORDER_MSB2LSB, 0, false, 1000},
      {"g3-fill-lsb-black", COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISBLACK, FILLORDER_LSB2MSB,
       GROUP3OPT_FILLBITS, false, 7},
      {"mh", COMPRESSION_CCITTRLE, PHOTOMETRIC_MINISWHITE, FILLORDER_MSB2LSB, 0, false, 1000},
      {"mh-lsb-strips", COMPRESSION_CCITTRLE, PHOTOMETRIC_MINISBLACK, FILLORDER_LSB2MSB, 0, false, 10},
  };
  for (const TFaxCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const fs::path file = TempFile(c.Name);
    WritePage(file, c, bits);
    const TPicture byLibtiff = LoadPicture(file.string());
    const TBitmap32 ours = DecodeStrips(file, c);
    fs::remove(file);
    ASSERT_EQ(ours.Width, static_cast<int32_t>(PageWidth));
    ASSERT_EQ(ours.Height, byLibtiff.Image.Height);
    EXPECT_TRUE(ours.Pixels == byLibtiff.Image.Pixels);
    EXPECT_EQ(ours.At(0, 0), c.Photometric == PHOTOMETRIC_MINISWHITE ? White : Black);
  }
}

// A Group 3 page written without EOL codes, which libtiff will not read back, comes through the
// loader as the same image as that page written with them, with no alpha of its own.
TEST(FaxDecoder, PageWithoutEolsLoads) {
  const std::vector<uint8_t> bits = PageBits();
  const TFaxCase withEols = {"eol", COMPRESSION_CCITTFAX3, PHOTOMETRIC_MINISWHITE, FILLORDER_MSB2LSB, 0, false, 16};
  TFaxCase withoutEols = withEols;
  withoutEols.Name = "noeol", withoutEols.WithoutEols = true;
  const fs::path a = TempFile(withEols.Name), b = TempFile(withoutEols.Name);
  WritePage(a, withEols, bits);
  WritePage(b, withoutEols, bits);
  const TPicture expected = LoadPicture(a.string());
  const TPicture loaded = LoadPicture(b.string());
  // Cut inside its strips, the file is refused with the loader's message.
  std::vector<uint8_t> bytes;
  {
    std::ifstream in(b, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  fs::remove(a), fs::remove(b);
  EXPECT_FALSE(loaded.HasAlpha);
  EXPECT_TRUE(loaded.Image.Pixels == expected.Image.Pixels);
  EXPECT_EQ(loaded.Image.Width, expected.Image.Width);
  ASSERT_GT(bytes.size(), 100u);
  std::fill_n(bytes.begin() + static_cast<ptrdiff_t>(bytes.size() / 2), 4, 0);  // 32 zeros: no code
  try {
    DecodePicture(bytes, "damaged.tif");
    ADD_FAILURE() << "damaged strip decoded";
  } catch (const std::exception& e) {
    EXPECT_STREQ(e.what(), "Cannot load image. Invalid or unexpected TIFF image format.");
  }
}

namespace {
// Bits written as '0' and '1' (anything else ignored), first bit in the top of the first byte,
// the last byte padded with zeros.
std::vector<uint8_t> Pack(const std::string& text, bool lsbFirst = false) {
  std::vector<uint8_t> bytes;
  size_t n = 0;
  for (char ch : text) {
    if (ch != '0' && ch != '1') continue;
    if (n % 8 == 0) bytes.push_back(0);
    if (ch == '1') bytes.back() |= static_cast<uint8_t>(lsbFirst ? 1u << (n % 8) : 0x80u >> (n % 8));
    ++n;
  }
  return bytes;
}

// Width 20: white 3, black 2, white 10, black 5; then white 0 and black 20.
constexpr const char* Row1 = "1000 11 00111 0011";
constexpr const char* Row2 = "00110101 00001101000";
}  // namespace

TEST(FaxDecoder, HandMadeRows) {
  std::vector<uint32_t> expected;
  for (auto [n, colour] : {std::pair{3, White}, {2, Black}, {10, White}, {5, Black}, {20, Black}})
    expected.insert(expected.end(), static_cast<size_t>(n), colour);
  const std::string eol = "000000000001", fill = "0000000";
  struct TRow {
    const char* Name;
    std::string Bits;
    bool ByteAligned, LsbFirst;
  } rows[] = {
      {"no EOLs", std::string(Row1) + Row2, false, false},
      {"no EOLs, LSB first", std::string(Row1) + Row2, false, true},
      {"EOLs", eol + Row1 + eol + Row2 + eol + eol, false, false},
      {"EOLs after fill", fill + eol + Row1 + "000000" + eol + Row2, false, false},
      {"byte-aligned rows", std::string(Row1) + "0" + Row2, true, false},  // 15 bits, then a pad bit
  };
  for (const TRow& r : rows) {
    SCOPED_TRACE(r.Name);
    TBitmap32 image = NewImage(20, 2);
    DecodeFaxStrip(Pack(r.Bits, r.LsbFirst), {r.ByteAligned, r.LsbFirst, true}, 0, 2, image);
    EXPECT_EQ(image.Pixels, expected);
  }

  // Photometric 1: the same codes, colours swapped.
  TBitmap32 image = NewImage(20, 1);
  DecodeFaxStrip(Pack(Row1), {false, false, false}, 0, 1, image);
  EXPECT_EQ(image.At(0, 0), Black);
  EXPECT_EQ(image.At(3, 0), White);
}

TEST(FaxDecoder, DamagedRowsRefused) {
  const struct {
    const char* Name;
    std::string Bits;
    uint32_t Rows;
  } cases[] = {
      {"runs short of the width", "1000 11 00111 011 " + std::string(Row2), 2},
      {"runs past the width", "1000 11 00111 0010", 1},                        // black 6 ends at 21
      {"make-up past the width", "11011 00110101", 1},                          // white 64
      {"EOL inside a row", "1000 11 000000000001 00111 0011", 1},
      {"no code", "1000 11 0000000011 00111", 1},                               // no white code has 8 zeros
      {"a row missing", Row1, 2},
      {"ends in fill", std::string(Row1) + "000000000000000000000000", 2},
      {"ends inside a code", "1000 11 00111 00", 1},
      {"empty strip", "", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TBitmap32 image = NewImage(20, 2);
    EXPECT_THROW(DecodeFaxStrip(Pack(c.Bits), {}, 0, c.Rows, image), TBadPicture);
  }
  TBitmap32 image = NewImage(20, 2);
  EXPECT_THROW(DecodeFaxStrip(Pack(Row1), {}, 2, 1, image), TBadPicture);  // rows outside the image
}
