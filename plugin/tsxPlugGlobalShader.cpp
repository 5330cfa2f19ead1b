// The shader bridge: registration, the host's callbacks and the scanline loop.
#include "plugin/tsxPlugGlobalShader.h"

#include <algorithm>

#include "hostapi/CheckFpuState.h"
#include "plugin/tsxPlug.h"

namespace {

TTsxGlobalShader* Targets[3] = {nullptr, nullptr, nullptr};
constexpr int Kinds[3] = {tssSHADER_FOREGROUND, tssSHADER_BACKGROUND, tssSHADER_POSTPROCESS};

void PostProcessCallback(const tssPostProcessData* data) {
  try {
    if (Targets[2] && data) Targets[2]->PostProcess(*data);
  } catch (...) {
  }
  ClearFpuExceptions();
}

void ForegroundCallback(tssForegroundData* data, int action) {
  try {
    if (Targets[0] && data) Targets[0]->Foreground(*data, action);
  } catch (...) {
  }
  ClearFpuExceptions();
}

void BackgroundCallback(tssBackgroundData* data, int action) {
  try {
    if (Targets[1] && data) Targets[1]->Background(*data, action);
  } catch (...) {
  }
  ClearFpuExceptions();
}

using TAnyFunc = void (*)(void);
const TAnyFunc Callbacks[3] = {reinterpret_cast<TAnyFunc>(&ForegroundCallback),
                               reinterpret_cast<TAnyFunc>(&BackgroundCallback),
                               reinterpret_cast<TAnyFunc>(&PostProcessCallback)};

}  // namespace

TTsxGlobalShader::~TTsxGlobalShader() {
  for (int k = 0; k < 3; ++k) {
    if (Active_[k]) SetActive(k, false);
    if (Targets[k] == this) Targets[k] = nullptr;
  }
}

void TTsxGlobalShader::SetActive(int kind, bool active) {
  if (Active_[kind] == active) return;
  const TRegisterShaderFunc reg = RegisterShaderFunc();
  if (!reg || reg(Kinds[kind], Callbacks[kind], active ? 1 : 0) != 1) return;
  Active_[kind] = active;
  if (active) Targets[kind] = this;
}

void TTsxGlobalShader::PostProcess(const tssPostProcessData& data) {
  Width_ = data.width;
  Height_ = data.height;
  Buffer_ = data.buffer;
  tsxRENDERDATA render{};
  tsxRenderGetData(&render);
  // The host hands over a buffer of the rendered rectangle: line 0 is its first row, pixel 0
  // its first column.
  FirstRow_ = 0;
  Top_ = 0;
  if (render.regionFlag == 0) {
    X0_ = 0;
    X1_ = Width_;
    RowCount_ = Height_;
  } else {
    // Region bounds are inclusive image pixels, so the end column is right + 1.
    X0_ = render.regionLeft;
    X1_ = std::max<int32_t>(render.regionRight + 1, X0_);
    RowCount_ = std::max<int32_t>(render.regionBottom - render.regionTop + 1, 0);
    Top_ = render.regionTop;
  }
  if (OnPostProcess) OnPostProcess(data);
  if (RenderScanlines) ScanlineLoop();
}

void TTsxGlobalShader::ScanlineLoop() {
  if (OnScanlinesStart) OnScanlinesStart(*this, Width_, Height_);
  const size_t pixels = static_cast<size_t>(std::max<int32_t>({Width_, X1_ - X0_, 0}));
  if (In_.size() < pixels * 5) In_.resize(pixels * 5, 0.0f);
  if (Out_.size() < pixels * 4) Out_.resize(pixels * 4, 0.0f);
  for (int32_t y = FirstRow_; y < RowCount_ && pixels > 0; ++y) {
    tssScreenBufferGetScanLine(Buffer_, y, tssLINE_RGBAZ, In_.data());
    if (OnRenderScanline) OnRenderScanline(*this, X0_, X1_, y, In_.data(), Out_.data());
    tssScreenBufferSetScanLine(Buffer_, y, tssLINE_RGBA, Out_.data());
    if (!DisplayOff && X1_ > X0_) tsxRenderDisplayScanline(Out_.data(), X0_, X1_ - 1, Top_ + y, Top_ + RowCount_ - 1);
  }
  if (OnScanlinesEnd) OnScanlinesEnd(*this);
}

void TTsxGlobalShader::Foreground(tssForegroundData& data, int action) {
  switch (action) {
    case e_tssACTION_LOAD:
      if (OnForegroundLoad) OnForegroundLoad();
      break;
    case e_tssACTION_UNLOAD:
      if (OnForegroundUnload) OnForegroundUnload();
      break;
    case e_tssACTION_INIT:
      if (OnForegroundInit) OnForegroundInit();
      break;
    case e_tssACTION_SHADE:
    case e_tssACTION_PREVIEW:
      if (OnForegroundRender) OnForegroundRender(data, static_cast<tssACTION>(action));
      break;
    default:
      break;
  }
}

void TTsxGlobalShader::Background(tssBackgroundData& data, int action) {
  if (OnBackground) OnBackground(data, static_cast<tssACTION>(action));
}
