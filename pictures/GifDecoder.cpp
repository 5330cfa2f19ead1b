// GIF (87a and 89a): the first frame as a player shows it. The images up to and including the
// first one shown for a while (a graphic control block with a delay) are composited onto a
// transparent logical screen; where no image covers the screen, and where an image's
// transparent colour is used, the pixel stays transparent. Own code: stb refuses frames that
// leave the screen, files without a colour table and LZW data without its clear or end code,
// all of which common writers produce.
//
// Strictness: any block cut short, an LZW code not yet defined, a pixel whose colour index is
// past the colour table and a plain-text block inside the first frame (text this loader cannot
// draw) refuse the file. A missing clear or end code is accepted, and so is data that fills
// only part of an image (the rest stays as it was).
//
// Hostile input: memory is the screen (its area checked against the data before it is
// allocated) and a few tables; time is bounded by the data's length plus a small multiple of
// the screen's pixels, however many images the first frame claims; later frames are never
// decoded. A fault refuses the file with the loader's GIF message.
#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "pictures/PictureFormats.h"

namespace {
// An LZW code of up to 12 bits can stand for 4096 pixels.
constexpr uint64_t GifPixelsPerByte = 4096;
constexpr int MaxCodeBits = 12;
constexpr int TableSize = 1 << MaxCodeBits;

struct TColorTable {
  std::array<uint32_t, 256> Colors{};
  unsigned Count = 0;
};

// What a graphic control block says about the image that follows it.
struct TControl {
  unsigned Disposal = 0;
  unsigned Delay = 0;
  int Transparent = -1;
};

struct TImageHeader {
  uint32_t Left = 0, Top = 0, Width = 0, Height = 0;
  bool Interlaced = false;
};

struct TGifReader {
  TBytes D;
  size_t At = 0;

  void Need(size_t n) const {
    if (D.size() - At < n) BadPicture();
  }
  uint8_t Byte() {
    Need(1);
    return D[At++];
  }
  uint16_t Le16() {
    Need(2);
    const uint16_t v = static_cast<uint16_t>(D[At] | (D[At + 1] << 8));
    At += 2;
    return v;
  }
  TColorTable Table(unsigned sizeBits) {
    TColorTable table;
    table.Count = 2u << sizeBits;
    Need(3 * size_t{table.Count});
    for (unsigned k = 0; k < table.Count; ++k, At += 3) table.Colors[k] = PackBgra(D[At + 2], D[At + 1], D[At], 255);
    return table;
  }
  // Walks a chain of sub-blocks to its terminator and returns where the chain starts; a chain
  // that the file cuts short refuses the file.
  size_t SkipSubBlocks() {
    const size_t start = At;
    for (;;) {
      const uint8_t n = Byte();
      if (n == 0) return start;
      Need(n);
      At += n;
    }
  }
};

// Reads the codes of LZW data spread over a chain of sub-blocks that SkipSubBlocks has checked.
class TCodeReader {
 public:
  TCodeReader(TBytes d, size_t at) : D(d), At(at) {}
  // The next code of `bits` bits, or -1 when the data ends.
  int Read(int bits) {
    while (Have < bits) {
      if (Left == 0) {
        if (Ended || D[At] == 0) {
          Ended = true;
          return -1;
        }
        Left = D[At++];
      }
      Acc |= uint32_t{D[At++]} << Have;
      Have += 8;
      --Left;
    }
    const int code = static_cast<int>(Acc & ((1u << bits) - 1));
    Acc >>= bits;
    Have -= bits;
    return code;
  }

 private:
  TBytes D;
  size_t At;
  size_t Left = 0;
  bool Ended = false;
  uint32_t Acc = 0;
  int Have = 0;
};

// The row of the image that the k-th row of its data fills: interlaced data sends every eighth
// row from row 0, every eighth from row 4, every fourth from row 2, then every second from 1.
uint32_t DataRowToImageRow(uint32_t k, uint32_t height, bool interlaced) {
  if (!interlaced) return k;
  const uint32_t pass1 = (height + 7) / 8, pass2 = (height + 3) / 8, pass3 = (height + 1) / 4;
  if (k < pass1) return 8 * k;
  k -= pass1;
  if (k < pass2) return 8 * k + 4;
  k -= pass2;
  if (k < pass3) return 4 * k + 2;
  return 2 * (k - pass3) + 1;
}

// Decodes one image's LZW data onto the screen, clipped to it.
class TImageDecoder {
 public:
  TImageDecoder(TBitmap32& screen, const TImageHeader& header, const TColorTable& table, int transparent)
      : Screen(screen), Header(header), Table(table), Transparent(transparent),
        Area(uint64_t{header.Width} * header.Height) {
    VisibleColumns = header.Left < static_cast<uint32_t>(screen.Width)
                         ? std::min<uint32_t>(header.Width, static_cast<uint32_t>(screen.Width) - header.Left)
                         : 0;
  }

  void Decode(TBytes d, size_t dataAt, unsigned minCodeSize) {
    const int clear = 1 << minCodeSize, end = clear + 1;
    for (int k = 0; k < clear; ++k) {
      Suffix[k] = static_cast<uint16_t>(k);
      Prefix[k] = -1;
      Length[k] = 1;
      First[k] = static_cast<uint16_t>(k);
      Highest[k] = static_cast<uint16_t>(k);
    }
    TCodeReader codes(d, dataAt);
    int bits = static_cast<int>(minCodeSize) + 1;
    int next = clear + 2;
    int previous = -1;  // no code since the start or the last clear code
    while (Position < Area) {
      const int code = codes.Read(bits);
      if (code < 0 || code == end) return;
      if (code == clear) {
        bits = static_cast<int>(minCodeSize) + 1;
        next = clear + 2;
        previous = -1;
        continue;
      }
      if (previous < 0) {
        if (code >= clear) BadPicture();
        Emit(code);
        previous = code;
        continue;
      }
      // A code one past the table repeats the previous string plus its own first pixel.
      if (code > next || (code == next && next >= TableSize)) BadPicture();
      if (next < TableSize) {
        const uint16_t first = code == next ? First[previous] : First[code];
        Prefix[next] = static_cast<int16_t>(previous);
        Suffix[next] = first;
        Length[next] = static_cast<uint16_t>(Length[previous] + 1);
        First[next] = First[previous];
        Highest[next] = std::max(Highest[previous], first);
        ++next;
        // The table full, codes stay 12 bits wide until the writer sends a clear code.
        if (next == (1 << bits) && bits < MaxCodeBits) ++bits;
      }
      Emit(code);
      previous = code;
    }
  }

 private:
  // Whether any of `count` pixels from data position `at` lands on the screen.
  bool AnyVisible(uint64_t at, uint64_t count) const {
    if (VisibleColumns == 0) return false;
    const uint64_t last = at + count - 1;
    for (uint64_t row = at / Header.Width; row <= last / Header.Width; ++row) {
      const uint64_t y = uint64_t{Header.Top} + DataRowToImageRow(static_cast<uint32_t>(row), Header.Height, Header.Interlaced);
      if (y >= static_cast<uint64_t>(Screen.Height)) continue;
      const uint64_t from = std::max(at, row * Header.Width) - row * Header.Width;
      if (from < VisibleColumns) return true;
    }
    return false;
  }

  bool ValidIndex(unsigned index) const { return index < Table.Count || static_cast<int>(index) == Transparent; }

  void Emit(int code) {
    const uint64_t count = std::min<uint64_t>(Length[code], Area - Position);
    // A string wholly off the screen is only checked, through its highest index; when that
    // is past the table only a walk tells the transparent index from a bad one.
    if (count == Length[code] && Highest[code] < Table.Count && !AnyVisible(Position, count)) {
      Position += count;
      return;
    }
    WalkAndDraw(code, count);
  }

  // Writes the first `count` pixels of a code's string.
  void WalkAndDraw(int code, uint64_t count) {
    std::array<uint16_t, TableSize> pixels;
    const unsigned length = Length[code];
    for (int c = code, k = static_cast<int>(length) - 1; k >= 0; c = Prefix[c], --k) pixels[k] = Suffix[c];
    for (uint64_t k = 0; k < count; ++k, ++Position) {
      const unsigned index = pixels[k];
      if (!ValidIndex(index)) BadPicture();
      if (static_cast<int>(index) == Transparent) continue;
      const uint64_t row = Position / Header.Width, column = Position % Header.Width;
      if (column >= VisibleColumns) continue;
      const uint64_t y = uint64_t{Header.Top} + DataRowToImageRow(static_cast<uint32_t>(row), Header.Height, Header.Interlaced);
      if (y >= static_cast<uint64_t>(Screen.Height)) continue;
      Screen.At(static_cast<int32_t>(Header.Left + column), static_cast<int32_t>(y)) = Table.Colors[index];
    }
  }

  TBitmap32& Screen;
  TImageHeader Header;
  const TColorTable& Table;
  int Transparent;
  uint64_t Area;
  uint64_t Position = 0;
  uint32_t VisibleColumns = 0;
  std::array<int16_t, TableSize> Prefix{};
  // Per code: the previous code of its string, its last and first pixel, its length and the
  // highest colour index it holds (pixel indices reach 2047 with the widest code size).
  std::array<uint16_t, TableSize> Suffix{};
  std::array<uint16_t, TableSize> Length{};
  std::array<uint16_t, TableSize> First{};
  std::array<uint16_t, TableSize> Highest{};
};

// The part of the screen an image covers.
struct TRect {
  int32_t X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;
};

TRect OnScreen(const TImageHeader& h, const TBitmap32& screen) {
  TRect r;
  r.X0 = static_cast<int32_t>(std::min<uint32_t>(h.Left, static_cast<uint32_t>(screen.Width)));
  r.Y0 = static_cast<int32_t>(std::min<uint32_t>(h.Top, static_cast<uint32_t>(screen.Height)));
  r.X1 = static_cast<int32_t>(std::min<uint64_t>(uint64_t{h.Left} + h.Width, static_cast<uint64_t>(screen.Width)));
  r.Y1 = static_cast<int32_t>(std::min<uint64_t>(uint64_t{h.Top} + h.Height, static_cast<uint64_t>(screen.Height)));
  return r;
}
}  // namespace

// How many times over the screen's pixels the images of the first frame may cover it.
constexpr uint64_t WorkPerPixel = 8;

TPicture DecodeGif(TBytes d) {
  TGifReader r{d};
  r.Need(13);
  if (std::memcmp(d.data(), "GIF87a", 6) != 0 && std::memcmp(d.data(), "GIF89a", 6) != 0) BadPicture();
  r.At = 6;
  const uint32_t width = r.Le16(), height = r.Le16();
  const uint8_t flags = r.Byte();
  r.At += 2;  // background colour and aspect ratio: the screen's background shows as transparent

  // The screen's sides fit in 16 bits; what needs limiting is its area. A long thin strip is
  // small, and a large screen must be backed by data that could fill it.
  const uint64_t area = uint64_t{width} * height;
  constexpr uint64_t Floor = uint64_t{1} << 22;
  if (area == 0 || area > static_cast<uint64_t>(MaxImagePixels)) BadPicture();
  if (area > Floor && area / GifPixelsPerByte > d.size()) BadPicture();

  TColorTable global;
  const bool hasGlobal = flags & 0x80u;
  if (hasGlobal) global = r.Table(flags & 7u);
  // Without any colour table a decoder chooses its own: indices as grey levels.
  TColorTable grey;
  grey.Count = 256;
  for (unsigned k = 0; k < 256; ++k) grey.Colors[k] = PackBgra(uint8_t(k), uint8_t(k), uint8_t(k), 255);

  TPicture picture;
  picture.Image.Width = static_cast<int32_t>(width);
  picture.Image.Height = static_cast<int32_t>(height);
  picture.Image.Pixels.assign(area, 0u);
  TBitmap32& screen = picture.Image;

  // The images of the first frame may each cover the whole screen, and each is decoded, saved
  // and restored over the part it covers: a few kilobytes of tiny images over a large screen
  // would cost minutes. The work is bounded by a small multiple of the screen's pixels; past
  // it, the frame is what the images so far have drawn.
  uint64_t budget = WorkPerPixel * area;

  TControl control;
  for (bool frameShown = false; !frameShown;) {
    const uint8_t block = r.Byte();
    if (block == 0x3B) break;  // the trailer
    if (block == 0x21) {
      const uint8_t label = r.Byte();
      if (label == 0x01) BadPicture();  // plain text to be drawn into the frame
      const size_t chain = r.SkipSubBlocks();
      if (label == 0xF9 && d[chain] >= 4) {
        control.Disposal = (d[chain + 1] >> 2) & 7u;
        control.Delay = d[chain + 2] | (d[chain + 3] << 8);
        control.Transparent = (d[chain + 1] & 1u) ? d[chain + 4] : -1;
      }
      continue;
    }
    if (block != 0x2C) BadPicture();

    TImageHeader image;
    image.Left = r.Le16(), image.Top = r.Le16(), image.Width = r.Le16(), image.Height = r.Le16();
    const uint8_t imageFlags = r.Byte();
    image.Interlaced = imageFlags & 0x40u;
    // An image without pixels ends what can be read: writers of one leave out its colour
    // table and data, so nothing after it lines up.
    if (image.Width == 0 || image.Height == 0) break;
    TColorTable local;
    if (imageFlags & 0x80u) local = r.Table(imageFlags & 7u);
    const TColorTable& table = (imageFlags & 0x80u) ? local : hasGlobal ? global : grey;
    const unsigned minCodeSize = r.Byte();
    if (minCodeSize < 1 || minCodeSize >= MaxCodeBits) BadPicture();
    const size_t dataAt = r.SkipSubBlocks();

    // Shown for a while, this image completes the first frame; otherwise the next is drawn
    // over it at once, after this one's disposal.
    frameShown = control.Delay > 0;
    const TRect rect = OnScreen(image, screen);
    const uint64_t covered = uint64_t(rect.X1 - rect.X0) * uint64_t(rect.Y1 - rect.Y0);
    if (covered > budget) break;
    budget -= covered;
    std::vector<uint32_t> saved;
    if (!frameShown && control.Disposal == 3)
      for (int32_t y = rect.Y0; y < rect.Y1; ++y)
        saved.insert(saved.end(), &screen.At(rect.X0, y), &screen.At(rect.X0, y) + (rect.X1 - rect.X0));
    const int transparent = control.Transparent;
    std::make_unique<TImageDecoder>(screen, image, table, transparent)->Decode(d, dataAt, minCodeSize);
    if (!frameShown && (control.Disposal == 2 || control.Disposal == 3)) {
      auto from = saved.begin();
      for (int32_t y = rect.Y0; y < rect.Y1; ++y)
        for (int32_t x = rect.X0; x < rect.X1; ++x) screen.At(x, y) = control.Disposal == 2 ? 0u : *from++;
    }
    control = TControl{};
  }
  picture.HasAlpha = std::any_of(screen.Pixels.begin(), screen.Pixels.end(), [](uint32_t p) { return AlphaOf(p) == 0; });
  picture.AlphaIsMask = picture.HasAlpha;
  return picture;
}
