// A small plug-in module for the command-line host's tests: the five exports and a post-process
// shader whose effects are known exactly. The first left click registers the shader; every
// post-process call paints image row 0, column 0 pure green unless the host asks to stop, and
// sets the status text " Rendered N particles in 00:00" with N = 100 × render begins seen +
// post-process calls, so a test reads from the count how often render begin was raised. Frame
// 13 shows an error message; frame 66 sends the program SIGINT as a user's Ctrl+C would, frame
// 77 SIGTERM as a job system would, frame 88 SIGHUP as a closed terminal does. A render beginning at frame 1000 or later takes a second to
// "catch up", reporting its progress in the status line as the real plug-in does.
// Built once more without tsxOnLeftClick (FIXTURE_WITHOUT_LEFT_CLICK) as a broken module.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "hostapi/TsxApi5.h"

namespace {

int RenderBegins = 0;
int PostProcessCalls = 0;

void OnRenderEvent(int group, const void* record) {
  int32_t code = 0;
  std::memcpy(&code, record, sizeof code);
  if (group == 0 && code == 1) {
    ++RenderBegins;
    if (tsxAnimGetActiveTime() >= 1000)
      for (int percent = 0; percent <= 100; percent += 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        char status[64];
        std::snprintf(status, sizeof status, "Preparing animation... %d%%", percent);
        tsxHostShowStatus(status);
      }
  }
}

[[maybe_unused]] void PostProcess(const tssPostProcessData* data) {
  ++PostProcessCalls;
  const float frame = tsxAnimGetActiveTime();
  if (frame == 66) std::raise(SIGINT);
  if (frame == 77) std::raise(SIGTERM);
  if (frame == 88) std::raise(SIGHUP);
  if (frame == 13) tsxHostShowMessage("Fixture error at frame 13");
  if (tsxRenderCheckInterrupt() != 1) {
    std::vector<float> line(static_cast<size_t>(data->width) * 5);
    tsxRENDERDATA render;
    tsxRenderGetData(&render);
    if (!render.regionFlag && tssScreenBufferGetScanLine(data->buffer, 0, tssLINE_RGBAZ, line.data())) {
      std::vector<float> out(static_cast<size_t>(data->width) * 4);
      for (int x = 0; x < data->width; ++x)
        for (int c = 0; c < 4; ++c) out[static_cast<size_t>(x) * 4 + c] = line[static_cast<size_t>(x) * 5 + c];
      out[0] = 0, out[1] = 1, out[2] = 0;
      tssScreenBufferSetScanLine(data->buffer, 0, tssLINE_RGBA, out.data());
    }
  }
  char status[64];
  std::snprintf(status, sizeof status, " Rendered %d particles in 00:00", 100 * RenderBegins + PostProcessCalls);
  tsxHostShowStatus(status);
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int tsxGetVersion(void) { return 430; }

__attribute__((visibility("default"))) void tsxGetData(tsxPLUGINDATA* data, int) {
  std::snprintf(data->title, sizeof data->title, "%s", "Fixture");
  std::snprintf(data->author, sizeof data->author, "%s", "Tests");
  data->bitmapId = 100;
  data->stringId = 0;
  tsxRegisterEventCallback(0, OnRenderEvent, 1);
}

#ifndef FIXTURE_WITHOUT_LEFT_CLICK
__attribute__((visibility("default"))) int tsxOnLeftClick(void) {
  return tsxRegisterExternalShader(tssSHADER_POSTPROCESS, reinterpret_cast<void (*)(void)>(PostProcess), 1) == 1
             ? 0
             : 1;
}
#endif

__attribute__((visibility("default"))) void tsxOnRightClick(void) {}
__attribute__((visibility("default"))) void tsxDeactivate(void) {}

}  // extern "C"
