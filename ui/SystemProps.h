// The system properties panel's controller: which slot it shows (by id, resolved on every use),
// the tree entry and curve tab chosen, the settings fields written as undoable steps, and the
// shared curve editor told which of the slot's curves to show. Showing a slot reads it and
// writes nothing; a slot that is deleted or replaced while shown is let go, and nothing of it
// is touched again.
#pragma once

#include <functional>
#include <optional>

#include "scene/ObjectId.h"
#include "ui/SceneObjects.h"
#include "ui/SystemProperties.h"

class TEmitter;
class TMain;

class TSystemProps : public TSystemPropsController {
 public:
  // Lives inside main, after its edit layer; the tree starts on its first entry.
  explicit TSystemProps(TMain& main);
  ~TSystemProps() override;
  TSystemProps(const TSystemProps&) = delete;
  TSystemProps& operator=(const TSystemProps&) = delete;

  // Shows a slot (NoObject: none); the selected entry stays and is chosen again for it.
  void ShowSystem(TObjectId slotId);
  TObjectId ShownSystem() const { return Shown_; }
  // Called after the panel changed which slot it shows.
  std::function<void(TObjectId slotId)> OnSystemShown;

  // The scene changed (an undo, a load, a deletion): a shown slot that is gone is let go, and
  // the view shows what is there now.
  void SceneChanged();
  // The main panel's cue cards were shown or hidden.
  void CuesChanged() { Changed(); }

  // The curves an entry chooses for the shown slot (none without a slot or for a page entry).
  std::optional<TCurveRef> PropertyCurve() const { return Property_; }
  std::optional<TCurveRef> JitterCurve() const { return Jitter_; }

  // ---- TSystemPropsController.
  void AttachView(TSystemPropsView* view) override { View_ = view; }
  TSystemPropsState PropsState() const override;
  void SelectEntry(int position) override;
  void SelectTab(int tab) override;
  void TakeBackCurveEditor() override;
  void SetSystemLifespan(double value) override;
  void SetSystemLives(double value) override;
  void SetEmitterShape(int position) override;
  void SetEmitterRadius(double value) override;
  void SetFocusShape(int position) override;
  void SetRenderMode(int position) override;
  void ToggleCuesAction() override;

 private:
  TEmitter* Slot() const;
  void Changed();
  // Runs the entry choice for the selected entry: the page, the tabs and the curves.
  void ChooseEntry();
  // Shows the active tab's curve in the shared editor.
  void ShowTabCurve();
  // Lets the shared editor go when it still shows this panel's curve.
  void ReleaseCurveEditor();
  // One undoable step named after the field, around an edit of the shown slot.
  template <typename Edit>
  void Step(const char* name, Edit edit);

  TMain& Main_;
  TSystemPropsView* View_ = nullptr;
  TObjectId Shown_ = NoObject;
  int Entry_ = 0;
  TPropsPage Page_ = TPropsPage::Render;
  int Tab_ = 0;
  std::optional<TCurveRef> Property_, Jitter_;
  std::optional<TCurveRef> InEditor_;  // the curve this panel last gave the shared editor
};
