// The stage: the one host the plug-in sees. It owns the whole host state (custom object types,
// the scene, the active view, render settings, event subscriptions, registered shaders, the
// main window, the display image and the abort flags) in one object, reached through Stage().
// Programs and tests build scenes and drive the host through it; the host interface functions
// (libtsxapi's C exports) answer from it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hostapi/TsxApi5.h"
#include "stage/HostRender.h"
#include "stage/ObjectTypes.h"
#include "stage/PayloadFile.h"
#include "stage/Scene.h"
#include "stage/ScreenBuffer.h"
#include "stage/View.h"

namespace stage {

using TShaderFunc = void (*)(void);

class TStage {
 public:
  TStage();
  TStage(const TStage&) = delete;
  TStage& operator=(const TStage&) = delete;

  TObjectTypes Types;
  TScene Scene{Types};
  TView View;                      // the active (and only) view
  TRenderSettings Render;
  TPayloadFiles Files{Types};
  // Settings blocks plug-ins keep with the scene (tsxHostSetPluginSettings), by their key;
  // stored in scene files unread.
  std::map<std::string, std::string> PluginSettings;

  // ---- Host switches a program or test sets.
  bool MainWindowOpen = true;      // tsxGetMainViewHwnd answers null while false
  // Atomic (and lock-free) so that a program's signal handler may set them.
  std::atomic<bool> Interrupt{false};  // tsxRenderCheckInterrupt answers 1 while set
  int InterruptAfterChecks = -1;   // when ≥ 0: checks after that many answer 1
  int InterruptChecks = 0;         // calls of tsxRenderCheckInterrupt so far
  std::atomic<bool> Abort{false};      // tsxCheckAbort answers 1 while set
  static_assert(std::atomic<bool>::is_always_lock_free);
  bool RefuseShaders = false;      // tsxRegisterExternalShader answers 0 while set

  tsxHWND MainWindowHandle() const;
  tsxHWND ViewHandle() const {
    return ViewWindow ? ViewWindow : reinterpret_cast<tsxHWND>(const_cast<TView*>(&View));
  }
  bool CheckInterrupt();

  // ---- A desktop host's windows and hooks (the studio sets them; the command line leaves them
  // empty). WindowSystem names the toolkit whose windows the handles are ("qt": a QWidget*),
  // so that a plug-in may show its own windows owned by the host's; empty for no windows.
  std::string WindowSystem;
  tsxHWND MainWindow = nullptr;    // tsxGetMainViewHwnd's answer when set
  tsxHWND ViewWindow = nullptr;    // tsxAViewGetHwnd's answer when set
  // Called after every view refresh (the drawings are new), after every line the plug-in
  // displays in the render window (with its row), and at every interrupt check (a desktop host
  // lets its Cancel button be clicked there). Exceptions must not leave them.
  std::function<void()> OnViewRefreshed;
  std::function<void(int32_t y)> OnDisplayLine;
  std::function<void()> OnInterruptCheck;
  // Called at every abort check (tsxCheckAbort): a plug-in's long run (the preview) holds the
  // thread and draws in the view, so a desktop host stops its own playback, whose redraws
  // would erase that drawing. Exceptions must not leave it.
  std::function<void()> OnAbortCheck;
  // Called with the frame whenever the plug-in sets the scene's time (tsxAnimSetActiveTime,
  // tsxAnimSetActiveTimeScene), after the scene is posed there: a desktop host's timeline
  // follows a preview that carries the time along. Exceptions must not leave it.
  std::function<void(float frame)> OnTimeSet;
  // Called whenever the plug-in says it changed the scene (tsxHostSceneChanged): a desktop host
  // marks its document modified. Exceptions must not leave it.
  std::function<void()> OnPluginChanged;
  // Called whenever the plug-in changed what a scene file keeps through a host call: a custom
  // object created, added, deleted or renamed, an axes position set, a settings block changed.
  // A desktop host marks its document modified. Exceptions must not leave it.
  std::function<void()> OnSceneChanged;
  // Called after the scene's selection changed, whoever changed it, once the plug-ins have heard
  // of it: a desktop host shows a selection the plug-in made (tsxSelectSobj, tsxSelectUp) in its
  // outliner. Exceptions must not leave it.
  std::function<void()> OnSelectionChanged;
  void SceneChanged() const {
    if (OnSceneChanged) OnSceneChanged();
  }

  // ---- Events. Subscribers of a group are called in subscription order.
  bool Subscribe(int group, tsxEVENTCALLBACK callback, bool subscribe);
  bool Subscribed(int group, tsxEVENTCALLBACK callback) const;
  // record must begin with the event's 32-bit code; unknown groups call nothing. The scene's
  // selection changing raises the general event "selection changed" (tsxGENERAL_SELECTION).
  void RaiseEvent(int group, const void* record);
  void RaiseRenderEvent(int32_t code, float frame);
  void RaiseGeneralEvent(int32_t code);

  // ---- External shaders, one per kind.
  bool RegisterShader(int kind, TShaderFunc callback, bool registerIt);
  TShaderFunc Shader(int kind) const;

  // ---- Scene actions of the host's own user interface.
  // Closes the scene (general event "scene close" when it held anything, delete callbacks) and
  // starts an empty one at frame 0 ("scene new").
  void NewScene();
  // Tells a custom object's type that the user transformed the object (transform callback with
  // the object's world transform) or changed it (change callback). Nothing for other nodes.
  void NotifyTransform(TNode& node, uint32_t flags);
  void NotifyChange(TNode& node, int changeKind);

  // ---- Views. Refresh erases the view's drawings and lets every custom object draw itself
  // through its type's draw callback (state 2 when selected, else 1); then OnViewRefreshed runs
  // and the view message tsxVIEWMSG_DRAWN goes to the plug-ins.
  void RefreshView();

  // ---- Rendering.
  tsxRENDERDATA RenderData() const;
  // The buffer handed to shaders during the frame being rendered, or null.
  TScreenBuffer* ActiveBuffer(const void* handle) const;
  // Renders one frame: poses the scene at the frame, raises frame start, draws the host's
  // image (background, background shader, polyhedra, foreground shader), calls the
  // post-process shader with the buffer, raises frame end. Answers the finished image at full
  // size (outside a region: the background). With Render.Samples N above 1 the frame is made
  // N × N times its size (the render data, the buffer and the region say so; the view keeps
  // its drawport, so particles follow the render size) and filtered down: colours and alpha
  // are the mean of each N × N block, depth its nearest value. Colours are premultiplied by
  // alpha. Throws std::invalid_argument when the enlarged image exceeds 16384 pixels a side.
  TScreenBuffer RenderFrame(float frame);
  // Renders frames first..last (whole steps): sets the time to the first frame, raises render
  // init and begin, renders each frame and hands it to onFrame, raises end, or abort when the
  // host is interrupted between frames (then answers false). An exception from onFrame raises
  // render error and passes on.
  bool RenderSequence(float first, float last,
                      const std::function<void(float frame, const TScreenBuffer& image)>& onFrame);
  // Wall-clock seconds the last RenderFrame spent on the host's own image (background, shaders
  // before it, polyhedra) and inside the post-process shader; for progress and benchmarks.
  struct TFrameTimes {
    double HostImage = 0;
    double PostProcess = 0;
  };
  TFrameTimes LastFrameTimes;
  // What the render window shows: the host's image of the last frame, with the lines the
  // plug-in displayed (tsxRenderDisplayScanline) over it. Empty before the first render.
  std::optional<TScreenBuffer> Display;
  int DisplayCalls = 0;
  // What the plug-in reported through tsxHostShowStatus and tsxHostShowMessage: its status
  // line as last set, and every message it showed, in order.
  std::string PluginStatus;
  std::vector<std::string> PluginMessages;
  // Called with each status text as the plug-in sets it, when set: a program shows the
  // plug-in's progress through it while a long call (render begin) has not returned yet.
  std::function<void(const std::string&)> OnPluginStatus;
  void DisplayScanline(const float* pixels, int32_t x0, int32_t x1, int32_t y);

 private:
  std::array<std::vector<tsxEVENTCALLBACK>, 4> Subscribers_;
  TShaderFunc Shaders_[3] = {nullptr, nullptr, nullptr};
  TScreenBuffer* Active_ = nullptr;
  float Frame_ = 0;
  char MainWindow_ = 0;            // its address is the main window handle
};

// The program-wide stage.
TStage& Stage();
// Replaces it with a new, empty one (types, scene, subscriptions and shaders are gone; no
// callbacks are called). For programs that start over and for tests.
void ResetStage();

}  // namespace stage
