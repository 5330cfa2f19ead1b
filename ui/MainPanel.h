// The seam between the main panel's controller and a view of it that lives in another module.
// The Qt views are built into vantrel-qt.so, which links nothing of the plug-in's layers: the
// controller's state and code stay once, in the plug-in. So the view reaches the controller only
// through the virtual members of TMainPanelController, and the controller tells the view about
// changes through TMainPanelView. Both are abstract and all-inline; neither needs a symbol of
// the other module.
#pragma once

#include <string>

#include "scene/ToolKind.h"
#include "ui/CurveEditor.h"
#include "ui/EmitterManager.h"
#include "ui/SystemProperties.h"
#include "ui/ImageMaps.h"
#include "ui/ToolboxPanel.h"

struct TProgressRow {
  int Position = 0;  // 0 to 100
  std::string Caption;
};

// Everything the main panel and the shuttle show, as one plain value.
struct TMainPanelState {
  bool PlayShowsStop = false;  // both Play buttons show "Stop" in the Stop colours
  std::string StatusText;
  std::string ShuttleStatusText;
  TProgressRow MainProgress;
  TProgressRow ShuttleProgress;
  int DrawMode = 1;
  bool EnableRendering = false;
  bool DepthDithering = false;
  bool ShowRendering = false;
  bool AnimateObjects = false;
  bool WireframeAlphaHints = false;
  bool CueCardsVisible = true;
  bool CanLoadEmitterSettings = false;  // an emitter is selected alone
  // The steps Undo and Redo would take ("Drag Key"); empty when there is none.
  std::string UndoName;
  std::string RedoName;
};

// The main panel's pages, in the order of its tabs.
enum class TMainPage { Emitters, Tools };

// The view's side: the controller calls these when what the view shows may have changed.
class TMainPanelView {
 public:
  virtual ~TMainPanelView() = default;
  // A status text, a progress row, a switch, the scene or the undo history changed.
  virtual void Refresh() = 0;
  // A preview run started or ended (PlayShowsStop changed).
  virtual void PreviewChanged() = 0;
  // The plug-in's button: show the main panel, or restore the shuttle when that is the one shown.
  virtual void ShowPanel() = 0;
  // The host selected an emitter or a tool: the page that shows it comes to the front.
  virtual void ShowPage(TMainPage page) = 0;
  // The controller goes before the view: the view must not call it again.
  virtual void ControllerGone() = 0;
};

// The controller's side: what a view of the main panel asks for. Every member reports its own
// failures to the user; none throws.
class TMainPanelController {
 public:
  virtual ~TMainPanelController() = default;
  virtual TMainPanelState PanelState() const = 0;
  // The view that shows this controller, or null; one at a time. A view attaches itself when it
  // is made and detaches (null) when it goes.
  virtual void AttachView(TMainPanelView* view) = 0;

  // Play on either form: starts a run, or ends the one under way. Returns when the run it
  // started has ended; events are handled meanwhile.
  virtual void PlayClicked() = 0;
  virtual void RewindClicked() = 0;
  // Ends a run under way (closing the panel, closing the host's window).
  virtual void StopAnimateAction() = 0;
  virtual void SetDrawMode(int index) = 0;
  virtual void EnableRenderingAction() = 0;
  virtual void DepthDitheringAction() = 0;
  virtual void ShowRenderingAction() = 0;
  virtual void AnimateObjectsAction() = 0;
  virtual void WireframeAlphaHintsAction() = 0;
  virtual void ToggleCuesAction() = 0;
  virtual void HelpTopicsAction() = 0;
  // The File menu's emitter and system entries, and the Toolbox menu's six.
  virtual void NewEmitterAction() = 0;
  virtual void DeleteEmitterAction() = 0;
  virtual void AddSystemAction() = 0;
  virtual void DeleteSystemAction() = 0;
  virtual void DuplicateSystemAction() = 0;
  virtual void LoadEmitterSettingsAction() = 0;
  virtual void NewToolAction(TToolKind kind) = 0;
  // The Edit menu: take back the last edit of a panel, or do again the last one taken back.
  virtual void UndoAction() = 0;
  virtual void RedoAction() = 0;

  // ---- The panels docked in the main panel, each a controller of its own; they live as long as
  // this controller and tell their views when they go.
  virtual TCurveEditorController& CurveEditor() = 0;
  virtual TEmitterManagerController& EmitterManager() = 0;
  virtual TSystemPropsController& SystemProperties() = 0;
  // The image maps editor, with its two gradient editors.
  virtual TImageMapsController& ImageMaps() = 0;
  // The "Tools" page: the toolbox and, in its "Properties" fold, the tool properties panel.
  virtual TToolboxController& ToolboxPanel() = 0;
  virtual TToolPropsController& ToolProperties() = 0;
};
