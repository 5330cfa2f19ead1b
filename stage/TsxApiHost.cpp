// The host interface over the stage's view, renderer, screen buffers, payload files, events and
// shaders. Nothing throws across the boundary.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "hostapi/TsxApi5.h"
#include "stage/Stage.h"

using stage::Stage;

extern "C" {

tsxHWND tsxAViewGetHwnd(void) { return Stage().ViewHandle(); }

void tsxAViewGetDrawportSize(int32_t* width, int32_t* height) {
  if (width) *width = Stage().View.Width;
  if (height) *height = Stage().View.Height;
}

void tsxAViewGetWorld2VportTxmx(CtsxTxmx3f* worldToViewport) {
  if (worldToViewport) *worldToViewport = Stage().View.WorldToViewport();
}

void tsxAViewGetEye2WorldTxmx(CtsxTxmx3f* eyeToWorld) {
  if (eyeToWorld) *eyeToWorld = Stage().View.EyeToWorld();
}

void tsxAviewGetEyeToRenderTxmx(int32_t viewWidth, int32_t viewHeight, int32_t renderWidth,
                                int32_t renderHeight, float /*pixelAspect*/, float m[6]) {
  if (m) stage::EyeToRenderMatrix(viewWidth, viewHeight, renderWidth, renderHeight, m);
}

int tsxAViewGetViewMode(void) { return Stage().View.ViewMode(); }

void tsxAViewRefresh(void) {
  try {
    Stage().RefreshView();
  } catch (...) {
  }
}

void tsxAllViewsRefresh(void) { tsxAViewRefresh(); }

void tsxAViewSetPen(tsxPEN pen) {
  if (pen >= e_tsxPEN_BACKGROUND && pen <= e_tsxPEN_BLUE) Stage().View.Pen = pen;
}

int tsxAViewDrawLinelist(const CtsxTxmx3f* transform, const CtsxVector3f* points,
                         int32_t nbrPoints, const int32_t* lineList, void* /*passOn*/) {
  if (!transform) return 0;
  try {
    return Stage().View.DrawLineList(*transform, points, nbrPoints, lineList) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

void tsxRenderGetData(tsxRENDERDATA* data) {
  if (data) *data = Stage().RenderData();
}

int tssScreenBufferGetScanLine(tssSCREENBUFFER* buffer, int32_t line, int32_t format,
                               float* pixels) {
  const stage::TScreenBuffer* b = Stage().ActiveBuffer(buffer);
  return b && b->GetLine(line, format, pixels) ? 1 : 0;
}

int tssScreenBufferSetScanLine(tssSCREENBUFFER* buffer, int32_t line, int32_t format,
                               const float* pixels) {
  stage::TScreenBuffer* b = Stage().ActiveBuffer(buffer);
  return b && b->SetLine(line, format, pixels) ? 1 : 0;
}

void tsxRenderDisplayScanline(const float* pixels, int32_t x0, int32_t x1, int32_t y,
                              int32_t /*lastRow*/) {
  Stage().DisplayScanline(pixels, x0, x1, y);
}

int tsxRenderCheckInterrupt(void) { return Stage().CheckInterrupt() ? 1 : 0; }

int tsxCheckAbort(void) {
  stage::TStage& stage = Stage();
  if (stage.OnAbortCheck) stage.OnAbortCheck();
  return stage.Abort ? 1 : 0;
}

size_t tsxFILEread(void* buffer, size_t size, size_t count, tsxFILE* file) {
  if (!Stage().Files.IsOpen(file)) return 0;
  return stage::ReadFile(*file, buffer, size, count);
}

size_t tsxFILEwrite(const void* buffer, size_t size, size_t count, tsxFILE* file) {
  if (!Stage().Files.IsOpen(file)) return 0;
  try {
    return stage::WriteFile(*file, buffer, size, count);
  } catch (...) {
    return 0;
  }
}

int tsxRegisterEventCallback(int group, tsxEVENTCALLBACK callback, int subscribe) {
  try {
    return Stage().Subscribe(group, callback, subscribe != 0) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

tsxHWND tsxGetMainViewHwnd(void) { return Stage().MainWindowHandle(); }

int tsxRegisterExternalShader(int kind, void (*callback)(void), int registerIt) {
  return Stage().RegisterShader(kind, callback, registerIt != 0) ? 1 : 0;
}

void tsxHostShowStatus(const char* text) {
  try {
    Stage().PluginStatus = text ? text : "";
    if (Stage().OnPluginStatus) Stage().OnPluginStatus(Stage().PluginStatus);
  } catch (...) {
  }
}

void tsxHostSetPayloadText(const char* typeName, tsxPAYLOADCONVERTFUNC payloadToText,
                           tsxPAYLOADCONVERTFUNC textToPayload) {
  try {
    if (typeName) Stage().Types.SetPayloadText(typeName, payloadToText, textToPayload);
  } catch (...) {
  }
}

void tsxHostShowMessage(const char* text) {
  try {
    Stage().PluginMessages.emplace_back(text ? text : "");
  } catch (...) {
  }
}

int tsxHostScreenBufferCoverage(tssSCREENBUFFER* buffer) {
  return Stage().ActiveBuffer(buffer) != nullptr ? 1 : 0;
}

int tsxHostGetPluginSettings(const char* key, char* text, int32_t size) {
  if (!key) return -1;
  try {
    const auto& settings = Stage().PluginSettings;
    const auto it = settings.find(key);
    if (it == settings.end()) return -1;
    const std::string& value = it->second;
    if (text && size > 0 && value.size() < static_cast<size_t>(size)) std::memcpy(text, value.c_str(), value.size() + 1);
    return static_cast<int>(std::min<size_t>(value.size(), INT32_MAX));
  } catch (...) {
    return -1;
  }
}

int tsxHostSetPluginSettings(const char* key, const char* text) {
  if (!key || !*key) return 0;
  try {
    auto& settings = Stage().PluginSettings;
    const auto it = settings.find(key);
    if (text ? it == settings.end() || it->second != text : it != settings.end()) {
      if (text)
        settings[key] = text;
      else
        settings.erase(it);
      Stage().SceneChanged();
    }
    return 1;
  } catch (...) {
    return 0;
  }
}

const char* tsxHostWindowSystem(void) { return Stage().WindowSystem.c_str(); }

void tsxHostSceneChanged(void) {
  try {
    if (Stage().OnPluginChanged) Stage().OnPluginChanged();
  } catch (...) {
  }
}

}  // extern "C"
