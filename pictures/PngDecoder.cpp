// PNG through libpng: every colour type and depth expanded to 8-bit blue, green, red, alpha.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <vector>

#include "pictures/PictureFormats.h"

namespace {
// Deflate turns at most about 1032 bytes into one; a 1-bit row packs 8 pixels in a byte.
constexpr uint64_t PngPixelsPerByte = 1032 * 8;

struct TPngInput {
  TBytes Data;
  size_t Pos = 0;
};

void ReadInput(png_structp png, png_bytep out, png_size_t n) {
  auto* in = static_cast<TPngInput*>(png_get_io_ptr(png));
  if (n > in->Data.size() - in->Pos) png_error(png, "truncated");
  std::copy_n(in->Data.data() + in->Pos, n, out);
  in->Pos += n;
}

void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

struct TPngState {
  png_structp Png = nullptr;
  png_infop Info = nullptr;
  TPngInput Input;
  TPicture Picture;
  std::vector<png_bytep> Rows;
  bool SizeOk = false;
};

// Everything that outlives a longjmp lives in state: no object with a destructor is created in
// this frame after setjmp.
bool Read(TPngState& st) {
  if (setjmp(png_jmpbuf(st.Png))) return false;
  png_set_user_limits(st.Png, MaxImageSide, MaxImageSide);
  png_set_read_fn(st.Png, &st.Input, ReadInput);
  png_read_info(st.Png, st.Info);
  png_uint_32 w = 0, h = 0;
  int depth = 0, colorType = 0, interlace = 0;
  png_get_IHDR(st.Png, st.Info, &w, &h, &depth, &colorType, &interlace, nullptr, nullptr);
  st.SizeOk = false;
  try {
    CheckImageSize(w, h, st.Input.Data.size(), PngPixelsPerByte);
    st.SizeOk = true;
  } catch (const TBadPicture&) {
  }
  if (!st.SizeOk) return false;
  st.Picture.HasAlpha = (colorType & PNG_COLOR_MASK_ALPHA) || png_get_valid(st.Png, st.Info, PNG_INFO_tRNS);
  png_set_expand(st.Png);
  png_set_scale_16(st.Png);
  png_set_gray_to_rgb(st.Png);
  png_set_bgr(st.Png);
  png_set_filler(st.Png, 0xFF, PNG_FILLER_AFTER);
  png_set_interlace_handling(st.Png);
  png_read_update_info(st.Png, st.Info);
  if (png_get_rowbytes(st.Png, st.Info) != static_cast<size_t>(w) * 4) return false;
  st.Picture.Image = NewImage(static_cast<int32_t>(w), static_cast<int32_t>(h));
  st.Rows.resize(h);
  for (png_uint_32 y = 0; y < h; ++y)
    st.Rows[y] = reinterpret_cast<png_bytep>(&st.Picture.Image.At(0, static_cast<int32_t>(y)));
  png_read_image(st.Png, st.Rows.data());
  // Reading to the end checks the checksums of what follows the image data.
  png_read_end(st.Png, nullptr);
  return true;
}
}  // namespace

TPicture DecodePng(TBytes data) {
  TPngState st;
  st.Input.Data = data;
  if (data.size() < 8 || png_sig_cmp(data.data(), 0, 8)) BadPicture();
  st.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
  if (!st.Png) BadPicture();
  st.Info = png_create_info_struct(st.Png);
  bool ok = false;
  try {
    ok = st.Info && Read(st);
  } catch (...) {  // out of memory for the pixels
    png_destroy_read_struct(&st.Png, &st.Info, nullptr);
    throw;
  }
  png_destroy_read_struct(&st.Png, &st.Info, nullptr);
  if (!ok) BadPicture();
  return std::move(st.Picture);
}
