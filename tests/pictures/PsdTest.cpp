// Photoshop composites beyond RGB, written here: grey with alpha in PackBits rows (the colours
// matted with white, as Photoshop stores them), an indexed picture with its palette, bitmap
// mode, and rows whose runs do not make the row.
#include <gtest/gtest.h>

#include <vector>

#include "engine/Errors.h"
#include "pictures/PictureLoader.h"

namespace {
void PutBe16(std::vector<uint8_t>& v, unsigned x) { v.insert(v.end(), {uint8_t(x >> 8), uint8_t(x)}); }
void PutBe32(std::vector<uint8_t>& v, uint32_t x) { PutBe16(v, x >> 16), PutBe16(v, x & 0xFFFF); }

std::vector<uint8_t> Psd(unsigned channels, uint32_t w, uint32_t h, unsigned depth, unsigned mode,
                         const std::vector<uint8_t>& colourData, unsigned compression, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> v = {'8', 'B', 'P', 'S'};
  PutBe16(v, 1), v.resize(v.size() + 6, 0), PutBe16(v, channels), PutBe32(v, h), PutBe32(v, w), PutBe16(v, depth), PutBe16(v, mode);
  PutBe32(v, static_cast<uint32_t>(colourData.size()));
  v.insert(v.end(), colourData.begin(), colourData.end());
  PutBe32(v, 0), PutBe32(v, 0), PutBe16(v, compression);
  v.insert(v.end(), data.begin(), data.end());
  return v;
}
}  // namespace

TEST(PsdComposite, GreyWithAlphaInPackBitsRows) {
  // 3 × 1, grey then alpha: grey rows "repeat 200 three times", alpha rows "255, 0, 128" as
  // literals. Half-transparent 200 over white was 255 − (255 − v)·128/255, so v = 145.
  std::vector<uint8_t> data;
  PutBe16(data, 2), PutBe16(data, 4);
  data.insert(data.end(), {uint8_t(-2), 200, 2, 255, 0, 128});
  const TPicture p = DecodePicture(Psd(2, 3, 1, 8, 1, {}, 1, data), "grey.psd");
  EXPECT_TRUE(p.HasAlpha);
  EXPECT_EQ(p.Image.Pixels, (std::vector<uint32_t>{PackBgra(200, 200, 200, 255), PackBgra(200, 200, 200, 0),
                                                   PackBgra(145, 145, 145, 128)}));
  // A row whose runs make more or fewer bytes than the row holds is refused.
  for (uint8_t run : {uint8_t(-3), uint8_t(-1)}) {
    std::vector<uint8_t> bad = data;
    bad[4] = run;
    EXPECT_THROW(DecodePicture(Psd(2, 3, 1, 8, 1, {}, 1, bad), "grey.psd"), EVantrelError);
  }
}

TEST(PsdComposite, IndexedAndBitmapModes) {
  std::vector<uint8_t> palette(768, 0);
  palette[5] = 10, palette[256 + 5] = 20, palette[512 + 5] = 30;  // index 5: red 10, green 20, blue 30
  const TPicture indexed = DecodePicture(Psd(1, 2, 1, 8, 2, palette, 0, {5, 0}), "indexed.psd");
  EXPECT_FALSE(indexed.HasAlpha);
  EXPECT_EQ(indexed.Image.Pixels, (std::vector<uint32_t>{PackBgra(30, 20, 10, 255), PackBgra(0, 0, 0, 255)}));
  EXPECT_THROW(DecodePicture(Psd(1, 2, 1, 8, 2, {}, 0, {5, 0}), "indexed.psd"), EVantrelError);  // no palette

  // Bitmap mode: a set bit is black; rows are padded to whole bytes.
  const TPicture bitmap = DecodePicture(Psd(1, 3, 2, 1, 0, {}, 0, {0xA0, 0x40}), "bits.psd");
  const uint32_t k = PackBgra(0, 0, 0, 255), o = PackBgra(255, 255, 255, 255);
  EXPECT_EQ(bitmap.Image.Pixels, (std::vector<uint32_t>{k, o, k, o, k, o}));
}
