// JPEG through the libjpeg API (libjpeg-turbo): baseline, progressive and arithmetic-coded,
// grey, YCbCr, RGB, CMYK and YCCK, into blue, green, red and opaque alpha.
#include <cstdio>
#include <csetjmp>

#include <jpeglib.h>
#include <jerror.h>

#include "pictures/PictureFormats.h"

namespace {
// Huffman coding needs at least two bits per 8 × 8 block and component; arithmetic coding can
// go further, so it is allowed more.
constexpr uint64_t HuffmanPixelsPerByte = 512;
constexpr uint64_t ArithmeticPixelsPerByte = 8192;
// A progressive file can hold any number of scans; real ones have a dozen.
constexpr int MaxScans = 500;
constexpr long MaxDecoderMemory = 512L << 20;

struct TJpegError {
  jpeg_error_mgr Mgr;
  jmp_buf Jump;
};

void OnError(j_common_ptr cinfo) { longjmp(reinterpret_cast<TJpegError*>(cinfo->err)->Jump, 1); }

void OnMessage(j_common_ptr cinfo, int level) {
  // A file that ends early is padded by the library and reported only as a warning; here it
  // is a truncated file. Other warnings (extra bytes, odd markers) leave a good image.
  if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) OnError(cinfo);
}

void OnProgress(j_common_ptr cinfo) {
  if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > MaxScans)
    OnError(cinfo);
}

struct TJpegState {
  jpeg_decompress_struct Info{};
  TJpegError Err{};
  jpeg_progress_mgr Progress{};
  TBytes Data;
  TPicture Picture;
  std::vector<uint8_t> CmykRow;
};

bool Read(TJpegState& st) {
  j_decompress_ptr cinfo = &st.Info;
  if (setjmp(st.Err.Jump)) return false;
  jpeg_mem_src(cinfo, st.Data.data(), static_cast<unsigned long>(st.Data.size()));
  if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) return false;
  bool sizeOk = false;
  try {
    CheckImageSize(cinfo->image_width, cinfo->image_height, st.Data.size(),
                   cinfo->arith_code ? ArithmeticPixelsPerByte : HuffmanPixelsPerByte);
    sizeOk = true;
  } catch (const TBadPicture&) {
  }
  if (!sizeOk) return false;
  const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
  cinfo->out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  jpeg_start_decompress(cinfo);
  if (cinfo->output_components != 4) return false;
  const auto w = static_cast<int32_t>(cinfo->output_width), h = static_cast<int32_t>(cinfo->output_height);
  st.Picture.Image = NewImage(w, h);
  st.CmykRow.resize(static_cast<size_t>(w) * 4);
  // Adobe's files store CMYK inverted (0 is full ink); they are the ones with the Adobe marker.
  const bool inverted = cinfo->saw_Adobe_marker;
  while (cinfo->output_scanline < cinfo->output_height) {
    const auto y = static_cast<int32_t>(cinfo->output_scanline);
    JSAMPROW row = cmyk ? st.CmykRow.data() : reinterpret_cast<JSAMPROW>(&st.Picture.Image.At(0, y));
    if (jpeg_read_scanlines(cinfo, &row, 1) != 1) return false;
    if (!cmyk) continue;
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t* p = &st.CmykRow[static_cast<size_t>(x) * 4];
      unsigned c = p[0], m = p[1], ye = p[2], k = p[3];
      if (!inverted) c = 255 - c, m = 255 - m, ye = 255 - ye, k = 255 - k;
      // Here c, m, y and k are the amounts of paper left white by each ink.
      st.Picture.Image.At(x, y) = PackBgra(static_cast<uint8_t>((ye * k + 127) / 255),
                                           static_cast<uint8_t>((m * k + 127) / 255),
                                           static_cast<uint8_t>((c * k + 127) / 255), 255);
    }
  }
  jpeg_finish_decompress(cinfo);
  return true;
}
}  // namespace

TPicture DecodeJpeg(TBytes data) {
  if (data.size() < 4) BadPicture();
  TJpegState st;
  st.Data = data;
  st.Info.err = jpeg_std_error(&st.Err.Mgr);
  st.Err.Mgr.error_exit = OnError;
  st.Err.Mgr.emit_message = OnMessage;
  if (setjmp(st.Err.Jump)) BadPicture();  // jpeg_create_decompress can fail too
  jpeg_create_decompress(&st.Info);
  st.Info.mem->max_memory_to_use = MaxDecoderMemory;
  st.Progress.progress_monitor = OnProgress;
  st.Info.progress = &st.Progress;
  bool ok = false;
  try {
    ok = Read(st);
  } catch (...) {
    jpeg_destroy_decompress(&st.Info);
    throw;
  }
  jpeg_destroy_decompress(&st.Info);
  if (!ok) BadPicture();
  return std::move(st.Picture);
}
