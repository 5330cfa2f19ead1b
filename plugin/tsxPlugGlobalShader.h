// The external shader bridge: TTsxGlobalShader registers the plug-in with the host's renderer as
// a foreground, background or post-process shader, turns the host's shader calls into handler
// calls, and can run a scanline loop over the finished image for a per-line handler. Each kind
// forwards to the component that registered it last.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "hostapi/TsxApi5.h"

class TTsxGlobalShader {
 public:
  TTsxGlobalShader() = default;
  // Withdraws the kinds it has registered.
  ~TTsxGlobalShader();
  TTsxGlobalShader(const TTsxGlobalShader&) = delete;
  TTsxGlobalShader& operator=(const TTsxGlobalShader&) = delete;

  std::function<void()> OnForegroundInit, OnForegroundLoad, OnForegroundUnload;
  std::function<void(tssForegroundData&, tssACTION)> OnForegroundRender;
  std::function<void(tssBackgroundData&, tssACTION)> OnBackground;
  std::function<void(const tssPostProcessData&)> OnPostProcess;
  // (x0, x1, y, input line of 5 floats per pixel, output line of 4 floats per pixel): y is the
  // line of the host's buffer (0 is its first row), pixel 0 of each line is image column x0,
  // and x1 is the end column (one past the last).
  std::function<void(TTsxGlobalShader&, int32_t x0, int32_t x1, int32_t y, const float* inRGBAZ, float* outRGBA)>
      OnRenderScanline;
  std::function<void(TTsxGlobalShader&, int32_t width, int32_t height)> OnScanlinesStart;
  std::function<void(TTsxGlobalShader&)> OnScanlinesEnd;

  bool RenderScanlines = false;
  bool DisplayOff = false;

  // Registration: a change is sent to the host, and the new value taken only when the host
  // answers 1; equal values send nothing. Without the host's registration function nothing
  // can be registered.
  bool ForegroundActive() const { return Active_[0]; }
  bool BackgroundActive() const { return Active_[1]; }
  bool PostProcessActive() const { return Active_[2]; }
  void SetForegroundActive(bool active) { SetActive(0, active); }
  void SetBackgroundActive(bool active) { SetActive(1, active); }
  void SetPostProcessActive(bool active) { SetActive(2, active); }

  // Per-image state of the last post-process call.
  int32_t ImageWidth() const { return Width_; }
  int32_t ImageHeight() const { return Height_; }
  int32_t X0() const { return X0_; }
  int32_t X1() const { return X1_; }
  int32_t FirstRow() const { return FirstRow_; }
  int32_t RowCount() const { return RowCount_; }
  const std::vector<float>& InputLine() const { return In_; }
  const std::vector<float>& OutputLine() const { return Out_; }

  // What the host's callbacks run.
  void PostProcess(const tssPostProcessData& data);
  void Foreground(tssForegroundData& data, int action);
  void Background(tssBackgroundData& data, int action);

 private:
  void SetActive(int kind, bool active);
  void ScanlineLoop();

  bool Active_[3] = {false, false, false};
  tssSCREENBUFFER* Buffer_ = nullptr;
  int32_t Width_ = 0, Height_ = 0;
  int32_t X0_ = 0, X1_ = 0, FirstRow_ = 0, RowCount_ = 0;
  int32_t Top_ = 0;  // image row of the buffer's line 0
  // Grown to the widest image seen; never shrunk, so a line keeps what a handler left in it.
  std::vector<float> In_, Out_;
};
