// The program-wide host state and the host's render of frames.
#include "stage/Stage.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <string>

namespace stage {

namespace {

std::unique_ptr<TStage>& Instance() {
  static std::unique_ptr<TStage> stage = std::make_unique<TStage>();
  return stage;
}

int ShaderSlot(int kind) {
  switch (kind) {
    case tssSHADER_FOREGROUND:
      return 0;
    case tssSHADER_BACKGROUND:
      return 1;
    case tssSHADER_POSTPROCESS:
      return 2;
    default:
      return -1;
  }
}

}  // namespace

TStage& Stage() { return *Instance(); }

void ResetStage() { Instance() = std::make_unique<TStage>(); }

TStage::TStage() {
  // Plug-ins that follow the host's selection hear of every change, whoever made it.
  Scene.OnSelectionChanged = [this] {
    RaiseGeneralEvent(tsxGENERAL_SELECTION);
    if (OnSelectionChanged) OnSelectionChanged();
  };
}

tsxHWND TStage::MainWindowHandle() const {
  if (!MainWindowOpen) return nullptr;
  return MainWindow ? MainWindow : reinterpret_cast<tsxHWND>(const_cast<char*>(&MainWindow_));
}

bool TStage::CheckInterrupt() {
  ++InterruptChecks;
  if (OnInterruptCheck) OnInterruptCheck();
  return Interrupt || (InterruptAfterChecks >= 0 && InterruptChecks > InterruptAfterChecks);
}

bool TStage::Subscribe(int group, tsxEVENTCALLBACK callback, bool subscribe) {
  if (group < 0 || group > 3 || !callback) return false;
  auto& list = Subscribers_[static_cast<size_t>(group)];
  const auto it = std::find(list.begin(), list.end(), callback);
  if (subscribe) {
    if (it == list.end()) list.push_back(callback);
  } else if (it != list.end()) {
    list.erase(it);
  }
  return true;
}

bool TStage::Subscribed(int group, tsxEVENTCALLBACK callback) const {
  if (group < 0 || group > 3) return false;
  const auto& list = Subscribers_[static_cast<size_t>(group)];
  return std::find(list.begin(), list.end(), callback) != list.end();
}

void TStage::RaiseEvent(int group, const void* record) {
  if (group < 0 || group > 3 || !record) return;
  // A subscriber may subscribe or unsubscribe while it runs.
  const std::vector<tsxEVENTCALLBACK> list = Subscribers_[static_cast<size_t>(group)];
  for (tsxEVENTCALLBACK cb : list)
    if (Subscribed(group, cb)) cb(group, record);
}

void TStage::RaiseRenderEvent(int32_t code, float frame) {
  const tsxEventRenderData record{code, frame, Render.Width, Render.Height};
  RaiseEvent(tsxEVENTS_RENDER, &record);
}

void TStage::RaiseGeneralEvent(int32_t code) {
  const tsxEventGeneralData record{code};
  RaiseEvent(tsxEVENTS_GENERAL, &record);
}

bool TStage::RegisterShader(int kind, TShaderFunc callback, bool registerIt) {
  const int slot = ShaderSlot(kind);
  if (slot < 0 || RefuseShaders || (registerIt && !callback)) return false;
  const TShaderFunc previous = Shaders_[slot];
  Shaders_[slot] = registerIt ? callback : nullptr;
  // Foreground and background shaders hear when they come and go.
  auto tell = [&](TShaderFunc f, int action) {
    if (!f) return;
    tssShaderFrameData data{Render.Width, Render.Height, nullptr, Scene.Time()};
    if (kind == tssSHADER_FOREGROUND) reinterpret_cast<tssFOREGROUNDFUNC>(f)(&data, action);
    if (kind == tssSHADER_BACKGROUND) reinterpret_cast<tssBACKGROUNDFUNC>(f)(&data, action);
  };
  if (previous && previous != Shaders_[slot]) tell(previous, e_tssACTION_UNLOAD);
  if (Shaders_[slot] && previous != Shaders_[slot]) tell(Shaders_[slot], e_tssACTION_LOAD);
  return true;
}

TShaderFunc TStage::Shader(int kind) const {
  const int slot = ShaderSlot(kind);
  return slot < 0 ? nullptr : Shaders_[slot];
}

void TStage::NewScene() {
  if (!Scene.Empty()) RaiseGeneralEvent(2);
  Scene.Clear();
  Scene.SetTime(0);
  PluginSettings.clear();
  RaiseGeneralEvent(3);
}

void TStage::NotifyTransform(TNode& node, uint32_t flags) {
  if (!Scene.FromHandle(&node) || node.Kind() != TNodeKind::Custom) return;
  const TObjectType* t = Types.Find(node.CustomType);
  if (!t || !t->Callbacks.onTransform) return;
  CtsxTxmx3f m = Scene.WorldTransform(node);
  t->Callbacks.onTransform(TScene::Handle(&node), &m, flags);
}

void TStage::NotifyChange(TNode& node, int changeKind) {
  if (!Scene.FromHandle(&node) || node.Kind() != TNodeKind::Custom) return;
  const TObjectType* t = Types.Find(node.CustomType);
  if (t && t->Callbacks.onChange) t->Callbacks.onChange(TScene::Handle(&node), changeKind);
}

void TStage::RefreshView() {
  View.Lines.clear();
  ++View.RefreshCount;
  std::vector<TNode*> objects;
  Scene.ForEach([&](TNode& n) {
    if (n.Kind() == TNodeKind::Custom) objects.push_back(&n);
  });
  for (TNode* n : objects) {
    if (!Scene.FromHandle(n)) continue;  // an earlier callback deleted it
    const TObjectType* t = Types.Find(n->CustomType);
    if (t && t->Callbacks.onDraw)
      t->Callbacks.onDraw(TScene::Handle(n), Scene.Selected() == n ? 2 : 1, ViewHandle());
  }
  if (OnViewRefreshed) OnViewRefreshed();
  // Last, so that what a plug-in draws for the frame lies on top of everything else.
  const tsxEventViewMsgData drawn{tsxVIEWMSG_DRAWN, ViewHandle()};
  RaiseEvent(tsxEVENTS_VIEWMSG, &drawn);
}

tsxRENDERDATA TStage::RenderData() const {
  tsxRENDERDATA d{};
  d.frame = Active_ ? Frame_ : Scene.Time();
  d.width = Render.Width;
  d.height = Render.Height;
  d.pixelAspect = 1;
  if (Render.UseRegion) {
    const TRect r = RenderRect(Render);
    d.regionFlag = 1;
    d.regionLeft = static_cast<int16_t>(r.Left);
    d.regionTop = static_cast<int16_t>(r.Top);
    d.regionRight = static_cast<int16_t>(r.Right);
    d.regionBottom = static_cast<int16_t>(r.Bottom);
  }
  return d;
}

TScreenBuffer* TStage::ActiveBuffer(const void* handle) const {
  return handle && handle == static_cast<const void*>(Active_) ? Active_ : nullptr;
}

TScreenBuffer TStage::RenderFrame(float frame) {
  if (const std::string problem = FrameMemoryProblem(Render); !problem.empty()) throw std::invalid_argument(problem);
  if (Render.Samples > 1) {
    // The whole frame at n × n its size, the render settings saying so while it is made.
    const int32_t n = std::min<int32_t>(Render.Samples, 4);
    if (int64_t{Render.Width} * n > 16384 || int64_t{Render.Height} * n > 16384)
      throw std::invalid_argument("an image of " + std::to_string(Render.Width) + " x " +
                                  std::to_string(Render.Height) + " pixels cannot be rendered with " +
                                  std::to_string(n) + " x " + std::to_string(n) +
                                  " samples (at most 16384 pixels a side)");
    struct TRestore {
      TRenderSettings& Settings;
      const TRenderSettings Saved;
      ~TRestore() { Settings = Saved; }
    } restore{Render, Render};
    const TRect rect = RenderRect(Render);
    Render.Samples = 1;
    Render.Width *= n;
    Render.Height *= n;
    Render.RegionLeft = static_cast<int16_t>(rect.Left * n);
    Render.RegionTop = static_cast<int16_t>(rect.Top * n);
    Render.RegionRight = static_cast<int16_t>(rect.Right * n + n - 1);
    Render.RegionBottom = static_cast<int16_t>(rect.Bottom * n + n - 1);
    const TScreenBuffer big = RenderFrame(frame);
    if (Display && Display->Width() == big.Width() && Display->Height() == big.Height())
      Display = FilterDown(*Display, n);
    return FilterDown(big, n);
  }
  Scene.SetTime(frame);
  Frame_ = frame;
  RaiseRenderEvent(3, frame);
  using TClock = std::chrono::steady_clock;
  const TClock::time_point imageStart = TClock::now();
  LastFrameTimes = {};

  const TRect rect = RenderRect(Render);
  TScreenBuffer buffer(rect.Right - rect.Left + 1, rect.Bottom - rect.Top + 1, rect.Left, rect.Top);
  ClearToBackground(buffer, Render);
  tssShaderFrameData shaderData{Render.Width, Render.Height, buffer.Handle(), frame};
  Active_ = &buffer;
  // The active buffer is cleared on every way out, exceptions from shaders' host calls included.
  struct TClear {
    TScreenBuffer*& Active;
    ~TClear() { Active = nullptr; }
  } clear{Active_};

  if (TShaderFunc bg = Shader(tssSHADER_BACKGROUND)) {
    reinterpret_cast<tssBACKGROUNDFUNC>(bg)(&shaderData, e_tssACTION_INIT);
    reinterpret_cast<tssBACKGROUNDFUNC>(bg)(&shaderData, e_tssACTION_SHADE);
  }
  DrawPolyhedra(Scene, View, Render, buffer);
  if (TShaderFunc fg = Shader(tssSHADER_FOREGROUND)) {
    reinterpret_cast<tssFOREGROUNDFUNC>(fg)(&shaderData, e_tssACTION_INIT);
    reinterpret_cast<tssFOREGROUNDFUNC>(fg)(&shaderData, e_tssACTION_SHADE);
  }

  // The render window shows the host's image; the plug-in's display calls then land on it.
  const bool whole = rect.Left == 0 && rect.Top == 0 && buffer.Width() == Render.Width &&
                     buffer.Height() == Render.Height;
  auto paste = [&](TScreenBuffer& into) {
    for (int32_t y = 0; y < buffer.Height(); ++y)
      for (int32_t x = 0; x < buffer.Width(); ++x) into.At(x + rect.Left, y + rect.Top) = buffer.At(x, y);
  };
  if (whole) {
    Display = buffer;
  } else {
    if (!Display || Display->Width() != Render.Width || Display->Height() != Render.Height)
      Display.emplace(Render.Width, Render.Height);
    ClearToBackground(*Display, Render);
    paste(*Display);
  }

  const TClock::time_point postStart = TClock::now();
  LastFrameTimes.HostImage = std::chrono::duration<double>(postStart - imageStart).count();
  if (TShaderFunc pp = Shader(tssSHADER_POSTPROCESS)) {
    const tssPostProcessData data{Render.Width, Render.Height, buffer.Handle()};
    reinterpret_cast<tssPOSTPROCESSFUNC>(pp)(&data);
  }
  LastFrameTimes.PostProcess = std::chrono::duration<double>(TClock::now() - postStart).count();
  RaiseRenderEvent(4, frame);
  if (whole) return buffer;
  TScreenBuffer full(Render.Width, Render.Height);
  ClearToBackground(full, Render);
  paste(full);
  return full;
}

bool TStage::RenderSequence(float first, float last,
                            const std::function<void(float, const TScreenBuffer&)>& onFrame) {
  if (!std::isfinite(first) || !std::isfinite(last) || last < first) return false;
  Scene.SetTime(first);
  RaiseRenderEvent(0, first);
  RaiseRenderEvent(1, first);
  const double count = std::floor(static_cast<double>(last) - first) + 1;
  for (double i = 0; i < count; ++i) {
    const float frame = static_cast<float>(first + i);
    if (Interrupt) {
      RaiseRenderEvent(5, frame);
      return false;
    }
    try {
      const TScreenBuffer image = RenderFrame(frame);
      if (onFrame) onFrame(frame, image);
    } catch (...) {
      RaiseRenderEvent(6, frame);
      throw;
    }
  }
  RaiseRenderEvent(2, last);
  return true;
}

void TStage::DisplayScanline(const float* pixels, int32_t x0, int32_t x1, int32_t y) {
  ++DisplayCalls;
  if (!Display || !pixels || y < 0 || y >= Display->Height()) return;
  for (int32_t x = std::max(x0, 0); x <= x1 && x < Display->Width(); ++x) {
    const float* p = pixels + static_cast<size_t>(x - x0) * 4;
    TPixel& d = Display->At(x, y);
    d.R = p[0];
    d.G = p[1];
    d.B = p[2];
  }
  if (OnDisplayLine) OnDisplayLine(y);
}

}  // namespace stage
