// The picture loader on a small picture written in every supported format (with the image
// libraries where they can write it, by hand where they cannot), cut short and damaged; the
// image cache, LocateTexture, DefaultImage and the images of map entries and particles.
#include <gtest/gtest.h>

#include <stb/stb_image_write.h>
#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "engine/Errors.h"
#include "engine/Particle.h"
#include "engine/Stream.h"
#include "hostapi/Platform.h"
#include "render/BitmapCache.h"
#include "render/ParticleImages.h"
#include "pictures/PictureLoader.h"

namespace fs = std::filesystem;

namespace {
constexpr int W = 5, H = 3;

// The test picture: red grows to the right, green downwards, a black pixel at the top left;
// alpha falls to the right.
uint8_t R(int x, int y) { return x == 0 && y == 0 ? 0 : static_cast<uint8_t>(x * 60); }
uint8_t G(int x, int y) { return x == 0 && y == 0 ? 0 : static_cast<uint8_t>(y * 100 + 20); }
uint8_t B(int x, int y) { return x == 0 && y == 0 ? 0 : static_cast<uint8_t>(200 - x * 40); }
uint8_t A(int x, int) { return static_cast<uint8_t>(255 - x * 50); }

std::vector<uint8_t> Rgb(bool alpha) {
  std::vector<uint8_t> v;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      v.insert(v.end(), {R(x, y), G(x, y), B(x, y)});
      if (alpha) v.push_back(A(x, y));
    }
  return v;
}

void Put16(std::vector<uint8_t>& v, unsigned x) { v.insert(v.end(), {uint8_t(x), uint8_t(x >> 8)}); }
void Put32(std::vector<uint8_t>& v, uint32_t x) { Put16(v, x & 0xFFFF), Put16(v, x >> 16); }
void PutBe16(std::vector<uint8_t>& v, unsigned x) { v.insert(v.end(), {uint8_t(x >> 8), uint8_t(x)}); }
void PutBe32(std::vector<uint8_t>& v, uint32_t x) { PutBe16(v, x >> 16), PutBe16(v, x & 0xFFFF); }

std::vector<uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
void WriteAll(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A palette of the picture's 15 colours, index = y * W + x.
std::vector<uint8_t> PaletteBgr0() {
  std::vector<uint8_t> p;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) p.insert(p.end(), {B(x, y), G(x, y), R(x, y), 0});
  p.resize(256 * 4, 0);
  return p;
}

// An 8-bit run-length encoded bitmap: each row as one absolute run of W indices, bottom row first.
std::vector<uint8_t> Rle8Bitmap() {
  std::vector<uint8_t> pixels;
  for (int y = H - 1; y >= 0; --y) {
    pixels.insert(pixels.end(), {0, W});
    for (int x = 0; x < W; ++x) pixels.push_back(static_cast<uint8_t>(y * W + x));
    if (W % 2) pixels.push_back(0);
    pixels.insert(pixels.end(), {0, 0});
  }
  pixels.back() = 1;  // the last end of line becomes the end of the bitmap
  const std::vector<uint8_t> palette = PaletteBgr0();
  std::vector<uint8_t> v = {'B', 'M'};
  Put32(v, static_cast<uint32_t>(14 + 40 + palette.size() + pixels.size()));
  Put32(v, 0), Put32(v, static_cast<uint32_t>(14 + 40 + palette.size()));
  Put32(v, 40), Put32(v, W), Put32(v, H), Put16(v, 1), Put16(v, 8), Put32(v, 1);
  Put32(v, static_cast<uint32_t>(pixels.size())), Put32(v, 2835), Put32(v, 2835), Put32(v, 256), Put32(v, 0);
  v.insert(v.end(), palette.begin(), palette.end());
  v.insert(v.end(), pixels.begin(), pixels.end());
  return v;
}

// An icon holding a 24-bit image and its mask; the mask hides the top row.
std::vector<uint8_t> Icon() {
  std::vector<uint8_t> dib;
  Put32(dib, 40), Put32(dib, W), Put32(dib, 2 * H), Put16(dib, 1), Put16(dib, 24), Put32(dib, 0);
  Put32(dib, 0), Put32(dib, 0), Put32(dib, 0), Put32(dib, 0), Put32(dib, 0);
  const int stride = (W * 3 + 3) & ~3;
  for (int y = H - 1; y >= 0; --y) {
    for (int x = 0; x < W; ++x) dib.insert(dib.end(), {B(x, y), G(x, y), R(x, y)});
    dib.resize(dib.size() + stride - W * 3, 0);
  }
  for (int y = H - 1; y >= 0; --y) dib.insert(dib.end(), {uint8_t(y == 0 ? 0xF8 : 0), 0, 0, 0});
  std::vector<uint8_t> v;
  Put16(v, 0), Put16(v, 1), Put16(v, 1);
  v.insert(v.end(), {W, H, 0, 0});
  Put16(v, 1), Put16(v, 24), Put32(v, static_cast<uint32_t>(dib.size())), Put32(v, 22);
  v.insert(v.end(), dib.begin(), dib.end());
  return v;
}

// A Photoshop file with a raw RGB composite.
std::vector<uint8_t> Psd() {
  std::vector<uint8_t> v = {'8', 'B', 'P', 'S'};
  PutBe16(v, 1), v.resize(v.size() + 6, 0), PutBe16(v, 3), PutBe32(v, H), PutBe32(v, W), PutBe16(v, 8), PutBe16(v, 3);
  PutBe32(v, 0), PutBe32(v, 0), PutBe32(v, 0), PutBe16(v, 0);
  for (auto channel : {R, G, B})
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) v.push_back(channel(x, y));
  return v;
}

// A GIF whose LZW stream sends a clear code before every pixel, so codes stay 5 bits wide.
// Pixel k shows colour k of a 16-entry table; with a transparent index, that colour is clear.
std::vector<uint8_t> Gif(int transparent = -1) {
  std::vector<uint8_t> v = {'G', 'I', 'F', '8', '9', 'a'};
  Put16(v, W), Put16(v, H), v.insert(v.end(), {0xF3, 0, 0});  // 16-entry global table
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) v.insert(v.end(), {R(x, y), G(x, y), B(x, y)});
  v.insert(v.end(), 3, 0);
  if (transparent >= 0) v.insert(v.end(), {0x21, 0xF9, 4, 1, 0, 0, static_cast<uint8_t>(transparent), 0});
  v.push_back(0x2C), Put16(v, 0), Put16(v, 0), Put16(v, W), Put16(v, H), v.push_back(0);
  v.push_back(4);  // minimum code size: clear 16, end 17, 5-bit codes
  std::vector<uint8_t> lzw;
  uint32_t acc = 0;
  int bits = 0;
  auto code = [&](unsigned c) {
    acc |= c << bits, bits += 5;
    while (bits >= 8) lzw.push_back(static_cast<uint8_t>(acc)), acc >>= 8, bits -= 8;
  };
  for (int k = 0; k < W * H; ++k) code(16), code(static_cast<unsigned>(k));
  code(17);
  if (bits) lzw.push_back(static_cast<uint8_t>(acc));
  v.push_back(static_cast<uint8_t>(lzw.size()));
  v.insert(v.end(), lzw.begin(), lzw.end());
  v.push_back(0), v.push_back(0x3B);
  return v;
}

void WriteTiff(const fs::path& p, bool alpha) {
  TIFF* t = TIFFOpen(p.c_str(), "w");
  ASSERT_NE(t, nullptr);
  const uint16_t spp = alpha ? 4 : 3;
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, W), TIFFSetField(t, TIFFTAG_IMAGELENGTH, H);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, spp), TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB), TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW), TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, H);
  if (alpha) {
    const uint16_t extra[] = {EXTRASAMPLE_ASSOCALPHA};
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
  }
  std::vector<uint8_t> rgb = Rgb(alpha);
  for (int y = 0; y < H; ++y) TIFFWriteScanline(t, rgb.data() + y * W * spp, static_cast<uint32_t>(y), 0);
  TIFFClose(t);
}

struct TFixture {
  const char* File;
  const char* Format;  // the name in the loader's message
  bool Lossless;
  bool HasAlpha;
};

const TFixture Fixtures[] = {
    {"pic.png", "PNG", true, true},     {"pic.jpg", "JPEG", false, false}, {"pic.bmp", "BMP", true, false},
    {"pic.rle", "BMP", true, false},    {"pic.dib", "DIB", true, false},   {"pic.ico", "ICO", true, true},
    {"pic.tga", "TGA", true, false},    {"pic.tif", "TIFF", true, false},  {"alpha.tif", "TIFF", true, true},
    {"pic.psd", "PSD", true, false},    {"pic.ppm", "PNM", true, false},   {"plain.ppm", "PNM", true, false},
    {"pic.gif", "GIF", true, false},
};

class PictureFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Dir = fs::temp_directory_path() / ("vantrel-pictures-" + std::to_string(::getpid()));
    fs::create_directories(Dir);
    const std::vector<uint8_t> rgb = Rgb(false), rgba = Rgb(true);
    stbi_write_png((Dir / "pic.png").c_str(), W, H, 4, rgba.data(), W * 4);
    stbi_write_png((Dir / "opaque.png").c_str(), W, H, 3, rgb.data(), W * 3);
    stbi_write_jpg((Dir / "pic.jpg").c_str(), W, H, 3, rgb.data(), 100);
    stbi_write_bmp((Dir / "pic.bmp").c_str(), W, H, 3, rgb.data());
    stbi_write_tga((Dir / "pic.tga").c_str(), W, H, 3, rgb.data());
    WriteTiff(Dir / "pic.tif", false);
    WriteTiff(Dir / "alpha.tif", true);
    const std::vector<uint8_t> bmp = ReadAll(Dir / "pic.bmp");
    WriteAll(Dir / "pic.dib", std::vector<uint8_t>(bmp.begin() + 14, bmp.end()));
    WriteAll(Dir / "pic.rle", Rle8Bitmap());
    WriteAll(Dir / "pic.ico", Icon());
    WriteAll(Dir / "pic.psd", Psd());
    WriteAll(Dir / "pic.gif", Gif());
    WriteAll(Dir / "keyed.gif", Gif(5));
    std::string ppm = "P6\n# made by the test\n" + std::to_string(W) + " " + std::to_string(H) + "\n255\n";
    ppm.append(rgb.begin(), rgb.end());
    WriteAll(Dir / "pic.ppm", {ppm.begin(), ppm.end()});
    std::string plain = "P3 " + std::to_string(W) + " " + std::to_string(H) + " 1000\n";
    for (uint8_t c : rgb) plain += std::to_string((c * 1000 + 127) / 255) + " ";
    WriteAll(Dir / "plain.ppm", {plain.begin(), plain.end()});
  }
  static void TearDownTestSuite() { fs::remove_all(Dir); }
  void SetUp() override {
    BitmapCache().Clear();
    BitmapCache().LocateHandler = LocateTexture;
    SetDataFolder("");
    InstallPlatform(nullptr);
  }
  void TearDown() override { BitmapCache().LocateHandler = nullptr; }

  static THeadlessPlatform& Headless() { return static_cast<THeadlessPlatform&>(Platform()); }
  static inline fs::path Dir;
};

std::string LoadError(const std::vector<uint8_t>& bytes, const std::string& name) {
  try {
    DecodePicture(bytes, name);
  } catch (const EVantrelError& e) {
    return e.what();
  }
  return {};
}
}  // namespace

TEST_F(PictureFiles, EveryFormatDecodes) {
  for (const TFixture& f : Fixtures) {
    SCOPED_TRACE(f.File);
    const TPicture p = LoadPicture((Dir / f.File).string());
    ASSERT_EQ(p.Image.Width, W);
    ASSERT_EQ(p.Image.Height, H);
    EXPECT_EQ(p.HasAlpha, f.HasAlpha);
    const int tolerance = f.Lossless ? 0 : 12;
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        const uint32_t px = p.Image.At(x, y);
        ASSERT_NEAR(RedOf(px), R(x, y), tolerance) << x << "," << y;
        ASSERT_NEAR(GreenOf(px), G(x, y), tolerance) << x << "," << y;
        ASSERT_NEAR(BlueOf(px), B(x, y), tolerance) << x << "," << y;
        uint8_t alpha = 255;
        if (std::string(f.File) == "pic.ico") alpha = y == 0 ? 0 : 255;
        else if (f.HasAlpha) alpha = A(x, y);
        ASSERT_EQ(AlphaOf(px), alpha) << x << "," << y;
      }
  }
}

TEST_F(PictureFiles, CutAndDamagedFilesAreRefused) {
  for (const TFixture& f : Fixtures) {
    SCOPED_TRACE(f.File);
    const std::vector<uint8_t> bytes = ReadAll(Dir / f.File);
    const TPicture whole = DecodePicture(bytes, f.File);
    const std::string message = std::string("Cannot load image. Invalid or unexpected ") + f.Format + " image format.";
    for (size_t n = 0; n < bytes.size(); ++n) {
      const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(n));
      const std::string error = LoadError(cut, f.File);
      // A cut that loses only trailing padding may still give the same picture. A plain
      // (text) file cut inside its last number holds a smaller number, which is as valid.
      const bool inLastNumber = std::string(f.File) == "plain.ppm" && n + 5 >= bytes.size();
      if (error.empty() && !inLastNumber) {
        EXPECT_EQ(DecodePicture(cut, f.File).Image.Pixels, whole.Image.Pixels) << "cut at " << n;
      } else if (!error.empty()) {
        EXPECT_EQ(error, message) << "cut at " << n;
      }
    }
    // Every byte set to 0x00, 0x7F and 0xFF in turn: any outcome but a crash or another error.
    for (size_t k = 0; k < bytes.size(); ++k)
      for (uint8_t value : {0x00, 0x7F, 0xFF}) {
        std::vector<uint8_t> damaged = bytes;
        damaged[k] = value;
        const std::string error = LoadError(damaged, f.File);
        if (!error.empty()) {
          EXPECT_EQ(error.rfind("Cannot load image. Invalid or unexpected ", 0), 0u) << error;
        }
      }
  }
  EXPECT_EQ(LoadError({'x', 'y'}, "notes.xyz"), "Cannot load image. Invalid or unexpected XYZ image format.");
}

TEST_F(PictureFiles, AlphaKeptOrMadeFromBrightness) {
  std::string png = (Dir / "pic.png").string(), jpg = (Dir / "pic.jpg").string(), opaque = (Dir / "opaque.png").string();
  const TImageRef withAlpha = BitmapCache().GetImage(png);
  EXPECT_EQ(AlphaOf(withAlpha->At(4, 2)), A(4, 2));
  EXPECT_EQ(AlphaOf(withAlpha->At(0, 0)), 255);  // black but opaque: the file says so
  for (std::string* name : {&jpg, &opaque}) {
    const TImageRef image = BitmapCache().GetImage(*name);
    const uint32_t px = image->At(3, 1);
    EXPECT_EQ(AlphaOf(px), (61u * RedOf(px) + 174u * GreenOf(px) + 21u * BlueOf(px)) >> 8) << *name;
    EXPECT_LE(AlphaOf(image->At(0, 0)), 3) << *name;  // black turns transparent
  }
  // A transparent colour is a mask, not an alpha channel: clear there, from brightness elsewhere.
  std::string keyed = (Dir / "keyed.gif").string();
  const TImageRef gif = BitmapCache().GetImage(keyed);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const uint32_t px = gif->At(x, y);
      const uint32_t expected =
          y * W + x == 5 ? 0u : (61u * RedOf(px) + 174u * GreenOf(px) + 21u * BlueOf(px)) >> 8;
      EXPECT_EQ(AlphaOf(px), expected) << x << "," << y;
    }
}

TEST_F(PictureFiles, CacheSharesNamesInAnyLetterCase) {
  fs::copy_file(Dir / "pic.png", Dir / "Shared.png", fs::copy_options::overwrite_existing);
  std::string a = (Dir / "Shared.png").string(), b = (Dir / "SHARED.PNG").string();
  const TImageRef first = BitmapCache().GetImage(a);
  const TImageRef second = BitmapCache().GetImage(b);
  EXPECT_EQ(first.get(), second.get());
  EXPECT_EQ(BitmapCache().Count(), 1u);
  EXPECT_EQ(b, (Dir / "SHARED.PNG").string());
  BitmapCache().Clear();
  EXPECT_EQ(BitmapCache().Count(), 0u);
  EXPECT_EQ(first->Width, W);  // an image in use outlives Clear
  EXPECT_NE(BitmapCache().GetImage(a).get(), first.get());
}

TEST_F(PictureFiles, MissingFiles) {
  // Found in the data folder without a question.
  SetDataFolder((Dir / "").string());
  TParticleMapSource maps;
  maps.AddImage("C:\\Textures\\pic.tga");
  EXPECT_EQ(ImageAt(maps, 1)->Width, W);
  EXPECT_EQ(maps.NameAt(1), (Dir / "pic.tga").string());
  EXPECT_TRUE(Headless().Confirmations.empty());

  // Not found anywhere: the headless user declines, the built-in image stands in and the entry
  // keeps its name (a scene opened where the file is missing loses nothing); the user is asked
  // once until the cache is cleared.
  maps.AddImage("/nowhere/spark.png");
  EXPECT_EQ(ImageAt(maps, 2).get(), DefaultImage().get());
  EXPECT_EQ(maps.NameAt(2), "/nowhere/spark.png");
  EXPECT_EQ(ImageAt(maps, 2).get(), DefaultImage().get());
  ASSERT_EQ(Headless().Confirmations.size(), 1u);
  EXPECT_EQ(Headless().Confirmations[0],
            "Could not find the texture file: \"spark.png\".\n\nWould you like to locate it manually?");
  EXPECT_TRUE(Headless().PictureDialogs.empty());
  // "Default" itself asks nothing.
  EXPECT_EQ(ImageAt(maps, 0).get(), DefaultImage().get());
  EXPECT_EQ(Headless().Confirmations.size(), 1u);
  EXPECT_EQ(BitmapCache().Count(), 2u);  // the found file, and the name given up on

  // A relative name is also a path under the data folder, and keeps its name: the shipped
  // pictures ("maps/flame.png") are found wherever the host runs.
  fs::create_directories(Dir / "maps");
  fs::copy_file(Dir / "pic.png", Dir / "maps" / "in-maps.png", fs::copy_options::overwrite_existing);
  const int relative = maps.AddImage("maps/in-maps.png");
  EXPECT_EQ(ImageAt(maps, relative)->Width, W);
  EXPECT_EQ(maps.NameAt(relative), "maps/in-maps.png");
  EXPECT_EQ(Headless().Confirmations.size(), 1u);  // no new question
}

TEST_F(PictureFiles, UndecodableFileKeepsItsName) {
  const std::string bad = (Dir / "broken.png").string();
  WriteAll(bad, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13});
  TParticleMapSource maps;
  maps.SetImageName(0, bad);
  try {
    ImageAt(maps, 0);
    FAIL() << "decoded";
  } catch (const EVantrelError& e) {
    EXPECT_STREQ(e.what(), "Cannot load image. Invalid or unexpected PNG image format.");
  }
  EXPECT_EQ(maps.NameAt(0), bad);
  EXPECT_EQ(BitmapCache().Count(), 0u);
}

TEST_F(PictureFiles, ImagesOfEntriesAndParticles) {
  TParticleSystem s;
  const std::string png = (Dir / "pic.png").string();
  s.Maps.AddImage(png);
  s.Particles.resize(1);
  s.Particles[0].MapIndex = 1;
  EXPECT_EQ(ImageOf(s, 0)->Width, W);
  s.Particles[0].MapIndex = 9;  // beyond the list: entry 0
  EXPECT_EQ(ImageOf(s, 0).get(), DefaultImage().get());
  EXPECT_EQ(&s.Maps.OptionsAt(9), &s.Maps.OptionsAt(0));

  TMemoryStream empty;
  WriteField(empty, int32_t{0});
  empty.Seek(0);
  s.Maps.LoadFromStream(empty);
  EXPECT_EQ(ImageAt(s.Maps, 0).get(), DefaultImage().get());
}

TEST(DefaultImage, GlowWithAlphaFromIntensity) {
  const TImageRef image = DefaultImage();
  ASSERT_EQ(image->Width, 128);
  ASSERT_EQ(image->Height, 128);
  EXPECT_EQ(image.get(), DefaultImage().get());
  for (uint32_t p : image->Pixels) {
    ASSERT_EQ(RedOf(p), GreenOf(p));  // white light
    ASSERT_EQ(RedOf(p), BlueOf(p));
    ASSERT_EQ(AlphaOf(p), (61u * RedOf(p) + 174u * GreenOf(p) + 21u * BlueOf(p)) >> 8);
  }
  EXPECT_GE(RedOf(image->At(64, 64)), 250);
  EXPECT_EQ(image->At(0, 0), 0u);
  EXPECT_EQ(image->At(127, 127), 0u);
  // A star: brighter along its rays than between them at the same distance.
  EXPECT_GT(RedOf(image->At(64 + 40, 64)), RedOf(image->At(64 + 28, 64 + 28)));
  EXPECT_EQ(image->At(64 + 40, 64), image->At(63 - 40, 63));  // symmetric about the centre
}

// The pictures the data folder ships, read through the image cache as a render reads them: a
// square of 128 or 256 pixels whose own alpha is kept, clear along the whole border (no square
// edge shows), visible at the centre, and colours straight: a faint pixel is as light as a
// strong one, not darkened by its alpha (which the renderer multiplies in when it blends).
TEST(ShippedPictures, AlphaClearAtTheBorderVisibleAtTheCentreColoursStraight) {
  BitmapCache().Clear();
  int pictures = 0;
  for (const auto& entry : fs::directory_iterator(VANTREL_MAPS_DIR)) {
    std::string name = entry.path().string();
    SCOPED_TRACE(name);
    ++pictures;
    ASSERT_TRUE(LoadPicture(name).HasAlpha);
    const TImageRef image = BitmapCache().GetImage(name);
    const int n = image->Width;
    ASSERT_TRUE(n == 128 || n == 256);
    ASSERT_EQ(image->Height, n);
    for (int k = 0; k < n; ++k)
      for (const auto& [x, y] : {std::pair{k, 0}, {k, n - 1}, {0, k}, {n - 1, k}})
        ASSERT_EQ(AlphaOf(image->At(x, y)), 0) << x << "," << y;
    EXPECT_GT(AlphaOf(image->At(n / 2, n / 2)), 0);
    int faint = 0;
    for (uint32_t p : image->Pixels) {
      if (AlphaOf(p) == 0 || AlphaOf(p) > 32) continue;
      ++faint;
      ASSERT_GE(std::max({RedOf(p), GreenOf(p), BlueOf(p)}), 180) << std::hex << p;
    }
    EXPECT_GT(faint, 0);
  }
  EXPECT_GE(pictures, 9);
  BitmapCache().Clear();
}

// Grey of a bit depth libtiff's RGBA reader has no path for comes through its scanlines.
TEST(TiffGrey, TwelveBitsScaledToEight) {
  const fs::path file = fs::temp_directory_path() / ("vantrel-grey12-" + std::to_string(::getpid()) + ".tif");
  TIFF* t = TIFFOpen(file.c_str(), "w");
  ASSERT_NE(t, nullptr);
  TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 3), TIFFSetField(t, TIFFTAG_IMAGELENGTH, 1);
  TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1), TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 12);
  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK), TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 1);
  uint8_t row[5] = {0x00, 0x08, 0x00, 0xFF, 0xF0};  // 0, 2048, 4095 packed in 12 bits each
  TIFFWriteScanline(t, row, 0, 0);
  TIFFClose(t);
  const TPicture p = LoadPicture(file.string());
  fs::remove(file);
  EXPECT_FALSE(p.HasAlpha);
  EXPECT_EQ(p.Image.Pixels, (std::vector<uint32_t>{PackBgra(0, 0, 0, 255), PackBgra(128, 128, 128, 255), PackBgra(255, 255, 255, 255)}));
}
