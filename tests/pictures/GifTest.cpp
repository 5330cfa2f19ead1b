// The GIF decoder on small files written here: the LZW variants writers produce (no leading
// clear code, no end code, a full table kept or cleared), interlacing, transparency, images
// clipped by the screen, the first frame made of several images, and files cut or broken.
#include <gtest/gtest.h>

#include <map>
#include <utility>
#include <vector>

#include "engine/Errors.h"
#include "pictures/PictureLoader.h"

namespace {
struct TLzwOptions {
  bool LeadingClear = true;
  bool EndCode = true;
  bool ClearWhenFull = true;  // otherwise the full table is kept and codes stay 12 bits wide
};

// A plain GIF LZW encoder, so the decoder meets the codes a real writer sends, repeats included.
std::vector<uint8_t> Lzw(const std::vector<uint8_t>& pixels, int minCodeSize, TLzwOptions options) {
  const int clear = 1 << minCodeSize, end = clear + 1;
  int next = clear + 2, bits = minCodeSize + 1;
  std::map<std::pair<int, int>, int> strings;
  std::vector<uint8_t> out;
  uint32_t acc = 0;
  int have = 0;
  auto put = [&](int code) {
    acc |= static_cast<uint32_t>(code) << have, have += bits;
    while (have >= 8) out.push_back(static_cast<uint8_t>(acc)), acc >>= 8, have -= 8;
  };
  if (options.LeadingClear) put(clear);
  int current = -1;
  for (uint8_t p : pixels) {
    if (current < 0) {
      current = p;
      continue;
    }
    const auto found = strings.find({current, p});
    if (found != strings.end()) {
      current = found->second;
      continue;
    }
    put(current);
    if (next < 4096) {
      strings[{current, p}] = next++;
      if (next > (1 << bits) && bits < 12) ++bits;
      if (next == 4096 && options.ClearWhenFull) {
        put(clear);
        strings.clear(), next = clear + 2, bits = minCodeSize + 1;
      }
    }
    current = p;
  }
  if (current >= 0) put(current);
  if (options.EndCode) put(end);
  if (have > 0) out.push_back(static_cast<uint8_t>(acc));
  return out;
}

struct TGifImage {
  uint16_t Left = 0, Top = 0, Width = 0, Height = 0;
  std::vector<uint8_t> Pixels;  // colour indices in the order they are sent
  bool Interlaced = false;
  int Transparent = -1;
  int Delay = -1;  // with a graphic control block when >= 0 or when Transparent >= 0
  int MinCodeSize = 2;
  TLzwOptions Lzw;
};

TGifImage Image(uint16_t left, uint16_t top, uint16_t width, uint16_t height, std::vector<uint8_t> pixels) {
  TGifImage image;
  image.Left = left, image.Top = top, image.Width = width, image.Height = height, image.Pixels = std::move(pixels);
  return image;
}

// The test palette: index k is (k·40, 255 − k·40, k·10).
uint32_t Colour(unsigned k) { return PackBgra(uint8_t(k * 10), uint8_t(255 - k * 40), uint8_t(k * 40), 255); }

void Put16(std::vector<uint8_t>& v, unsigned x) { v.insert(v.end(), {uint8_t(x), uint8_t(x >> 8)}); }

std::vector<uint8_t> Gif(uint16_t width, uint16_t height, unsigned tableBits, const std::vector<TGifImage>& images) {
  std::vector<uint8_t> v = {'G', 'I', 'F', '8', '9', 'a'};
  Put16(v, width), Put16(v, height), v.insert(v.end(), {uint8_t(0x80 | (tableBits - 1)), 0, 0});
  for (unsigned k = 0; k < (1u << tableBits); ++k) v.insert(v.end(), {RedOf(Colour(k)), GreenOf(Colour(k)), BlueOf(Colour(k))});
  for (const TGifImage& image : images) {
    if (image.Delay >= 0 || image.Transparent >= 0) {
      v.insert(v.end(), {0x21, 0xF9, 4, uint8_t(image.Transparent >= 0 ? 1 : 0)});
      Put16(v, static_cast<unsigned>(std::max(image.Delay, 0)));
      v.insert(v.end(), {uint8_t(std::max(image.Transparent, 0)), 0});
    }
    v.push_back(0x2C), Put16(v, image.Left), Put16(v, image.Top), Put16(v, image.Width), Put16(v, image.Height);
    v.push_back(image.Interlaced ? 0x40 : 0);
    v.push_back(static_cast<uint8_t>(image.MinCodeSize));
    const std::vector<uint8_t> data = Lzw(image.Pixels, image.MinCodeSize, image.Lzw);
    for (size_t at = 0; at < data.size(); at += 255) {
      const size_t n = std::min<size_t>(255, data.size() - at);
      v.push_back(static_cast<uint8_t>(n));
      v.insert(v.end(), data.begin() + static_cast<ptrdiff_t>(at), data.begin() + static_cast<ptrdiff_t>(at + n));
    }
    v.push_back(0);
  }
  v.push_back(0x3B);
  return v;
}

bool Refused(const std::vector<uint8_t>& bytes) {
  try {
    DecodePicture(bytes, "test.gif");
  } catch (const EVantrelError& e) {
    EXPECT_STREQ(e.what(), "Cannot load image. Invalid or unexpected GIF image format.");
    return true;
  }
  return false;
}

// A 100 × 100 picture of 256 colours with little repetition: the table fills more than once.
std::vector<uint8_t> Noise() {
  std::vector<uint8_t> pixels(100 * 100);
  uint32_t state = 12345;
  for (uint8_t& p : pixels) state = state * 1103515245u + 12345u, p = static_cast<uint8_t>(state >> 16);
  for (size_t k = 0; k < 2000; ++k) pixels[k] = static_cast<uint8_t>(k / 700);  // long runs first
  return pixels;
}
}  // namespace

TEST(GifDecoder, LzwVariantsGiveThePixels) {
  const std::vector<uint8_t> pixels = Noise();
  const TLzwOptions cases[] = {
      {true, true, true}, {false, true, true}, {true, false, true}, {false, false, true}, {true, true, false}, {false, false, false},
  };
  for (const TLzwOptions& o : cases) {
    SCOPED_TRACE(testing::Message() << "clear first " << o.LeadingClear << ", end code " << o.EndCode
                                    << ", clear when full " << o.ClearWhenFull);
    TGifImage image = Image(0, 0, 100, 100, pixels);
    image.MinCodeSize = 8, image.Lzw = o;
    const TPicture p = DecodePicture(Gif(100, 100, 8, {image}), "noise.gif");
    ASSERT_EQ(p.Image.Width, 100);
    ASSERT_EQ(p.Image.Height, 100);
    EXPECT_FALSE(p.HasAlpha);
    for (size_t k = 0; k < pixels.size(); ++k) ASSERT_EQ(p.Image.Pixels[k], Colour(pixels[k])) << "pixel " << k;
  }
}

TEST(GifDecoder, InterlacedRowsLandInPlace) {
  // Rows are sent 0, 8, then 4, then 2, 6, 10, then the odd ones; each row's index is its number.
  const int h = 11;
  std::vector<uint8_t> sent;
  for (int row : {0, 8, 4, 2, 6, 10, 1, 3, 5, 7, 9})
    for (int x = 0; x < 3; ++x) sent.push_back(static_cast<uint8_t>(row));
  TGifImage image = Image(0, 0, 3, h, sent);
  image.Interlaced = true, image.MinCodeSize = 4;
  const TPicture p = DecodePicture(Gif(3, h, 4, {image}), "rows.gif");
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(p.Image.At(x, y), Colour(static_cast<unsigned>(y))) << x << "," << y;
}

TEST(GifDecoder, TransparencyUncoveredScreenAndClipping) {
  // A 4 × 3 screen; a 4 × 3 image at (2, 1) reaches past the right and bottom edges, and its
  // colour 1 is transparent.
  TGifImage image = Image(2, 1, 4, 3, {0, 1, 2, 3, 1, 2, 3, 0, 2, 2, 2, 2});
  image.Transparent = 1;
  const TPicture p = DecodePicture(Gif(4, 3, 2, {image}), "clip.gif");
  EXPECT_TRUE(p.HasAlpha);
  const uint32_t none = 0;
  const std::vector<uint32_t> want = {none, none, none,      none,       //
                                      none, none, Colour(0), none,       // (3, 1) is transparent
                                      none, none, none,      Colour(2)};  // (2, 2) too
  EXPECT_EQ(p.Image.Pixels, want);

  // An image wholly off the screen leaves it transparent; an opaque one covering it does not.
  const TGifImage outside = Image(9, 9, 2, 2, {3, 3, 3, 3});
  EXPECT_EQ(DecodePicture(Gif(2, 2, 2, {outside}), "out.gif").Image.Pixels, std::vector<uint32_t>(4, 0u));
  const TGifImage cover = Image(0, 0, 2, 2, {3, 3, 3, 3});
  const TPicture opaque = DecodePicture(Gif(2, 2, 2, {cover}), "in.gif");
  EXPECT_FALSE(opaque.HasAlpha);
  EXPECT_EQ(opaque.Image.Pixels, std::vector<uint32_t>(4, Colour(3)));
}

TEST(GifDecoder, FirstFrameEndsWithTheFirstImageShownForAWhile) {
  // Two halves without a delay make the first frame with the third image, which is shown for a
  // tenth of a second; the fourth image belongs to the next frame.
  const TGifImage left = Image(0, 0, 1, 2, {1, 1});
  TGifImage right = Image(1, 0, 1, 2, {2, 2}), corner = Image(0, 0, 1, 1, {3}), next = Image(0, 0, 2, 2, {0, 0, 0, 0});
  right.Delay = 0, corner.Delay = 10, next.Delay = 10;
  const TPicture p = DecodePicture(Gif(2, 2, 2, {left, right, corner, next}), "frames.gif");
  EXPECT_EQ(p.Image.Pixels, (std::vector<uint32_t>{Colour(3), Colour(2), Colour(1), Colour(2)}));
}

// Thousands of images without a delay, each covering a large screen and restoring it after
// itself, cost a bounded multiple of the screen's pixels: the images past that budget are left
// out and the picture shows those drawn before. Later frames are not decoded at all.
TEST(GifDecoder, ManyImagesCostABoundedMultipleOfTheScreen) {
  constexpr uint16_t side = 2048;
  TGifImage first = Image(0, 0, 2, 1, {1, 2});
  first.Delay = 0;
  std::vector<TGifImage> images = {first};
  // Each restoring image sends one pixel and keeps the rest as it was (disposal: restore).
  TGifImage cover = Image(0, 0, side, side, {3});
  cover.Delay = 0;
  for (int k = 0; k < 3000; ++k) images.push_back(cover);
  std::vector<uint8_t> bytes = Gif(side, side, 2, images);
  // The graphic control blocks of the covering images ask for disposal 3 (restore).
  int blocks = 0;
  for (size_t at = 0; at + 3 < bytes.size(); ++at)
    if (bytes[at] == 0x21 && bytes[at + 1] == 0xF9 && bytes[at + 2] == 4 && blocks++ > 0) bytes[at + 3] = 3 << 2;
  ASSERT_EQ(blocks, 3001);
  const TPicture p = DecodePicture(bytes, "many.gif");
  EXPECT_EQ(p.Image.At(0, 0), Colour(1));
  EXPECT_EQ(p.Image.At(1, 0), Colour(2));
  EXPECT_EQ(p.Image.At(5, 5), 0u);
}

TEST(GifDecoder, CutOrBrokenFilesAreRefused) {
  TGifImage image = Image(0, 0, 100, 100, Noise());
  image.MinCodeSize = 8;
  const std::vector<uint8_t> whole = Gif(100, 100, 8, {image});
  // Cut anywhere, even just before the trailer, the file is refused: without the trailer
  // nothing says that no other image belongs to the first frame.
  for (size_t n = 0; n < whole.size(); ++n) {
    const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(n));
    EXPECT_TRUE(Refused(cut)) << "cut at " << n;
  }

  const TGifImage small = Image(0, 0, 2, 1, {1, 2});
  std::vector<uint8_t> bad = Gif(2, 1, 2, {small});
  const size_t codeSizeAt = bad.size() - 6;  // code size, block length, 2 data bytes, 0, trailer
  ASSERT_EQ(bad[codeSizeAt], 2);
  struct TCase {
    const char* What;
    std::vector<uint8_t> Bytes;
  };
  std::vector<TCase> cases;
  cases.push_back({"no pixels on the screen", bad});
  cases.back().Bytes[6] = 0;
  cases.push_back({"a code size of 12", bad});
  cases.back().Bytes[codeSizeAt] = 12;
  cases.push_back({"a code before it is defined", bad});
  cases.back().Bytes[codeSizeAt + 2] = 0x3C;  // clear (4), then code 7 while the table ends at 6
  cases.push_back({"a colour index past the table", Gif(2, 1, 1, {small})});
  std::vector<uint8_t> text = bad;
  const std::vector<uint8_t> plainText = {0x21, 0x01, 12, 0, 0, 0, 0, 2, 0, 1, 0, 1, 1, 1, 0, 2, 'h', 'i', 0};
  text.insert(text.begin() + 13 + 12, plainText.begin(), plainText.end());
  cases.push_back({"text to draw in the first frame", text});
  cases.push_back({"a screen of more pixels than the loader takes", bad});
  cases.back().Bytes[6] = cases.back().Bytes[7] = cases.back().Bytes[8] = cases.back().Bytes[9] = 0xFF;
  for (const TCase& c : cases) EXPECT_TRUE(Refused(c.Bytes)) << c.What;
  EXPECT_FALSE(Refused(bad));  // the cases above break a file that is fine
}
