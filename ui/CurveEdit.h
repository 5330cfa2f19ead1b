// The curve editor's controller: one property curve at a time, reached through its reference on
// every use, with the view ranges, the mouse and keyboard rules, the menus' actions and the
// "Edit Keyframe" numbers. Every change of a key is a step in the undo history; showing a curve
// writes nothing (its tension is left as it is). Whatever an edit does, the curve keeps the rules
// the readable-settings reader checks (KeepsCurveRules), so a saved scene always loads again.
#pragma once

#include <optional>

#include "ui/CurveEditor.h"
#include "ui/EditHistory.h"
#include "ui/SceneObjects.h"

class TVarSeries;

class TCurveEdit : public TCurveEditorController {
 public:
  TCurveEdit(TSceneObjects& objects, TEditHistory& history);
  ~TCurveEdit() override;
  TCurveEdit(const TCurveEdit&) = delete;
  TCurveEdit& operator=(const TCurveEdit&) = delete;

  // Shows a curve (none: nothing). The view is fitted to the curve and the current-frame line
  // parked at −9000; "Show Marks" keeps its state, "Linear" is read from the tension.
  void ShowCurve(std::optional<TCurveRef> curve);
  const std::optional<TCurveRef>& Shown() const { return Ref_; }
  // The current-frame line, moved by the owning panel during a preview.
  void SetMarker(double x);
  // The scene changed (an undo, a load, a deletion): the view redraws what is there now.
  void SceneChanged();

  // The horizontal maximum of the fitted view, which decides EndKeyIndex whatever the zoom.
  double FittedXMax() const;
  int EndKeyIndex() const;

  // ---- TCurveEditorController.
  void AttachView(TCurveEditorView* view) override { View_ = view; }
  TCurveEditorState EditorState() const override;
  std::vector<TCurvePoint> Polyline(const TPlotMapping& plot) const override;
  void SetPlotFrame(double left, double top, double width, double height) override;
  TPlotMapping Mapping() const override { return Plot_; }
  void MousePress(int button, double px, double py, int modifiers) override;
  void MouseMove(double px, double py, int buttonsHeld, int modifiers) override;
  TCurveMenu MouseRelease(int button, double px, double py, int modifiers) override;
  void DoubleClick(double px, double py, int modifiers) override;
  void KeyPress(TCurveKey key, int modifiers) override;
  TCurveMenu KeyboardMenu() override;
  void ClearAction() override;
  void UnzoomAction() override;
  void ZoomInYAction() override;
  void ZoomOutYAction() override;
  void ZoomInXAction() override;
  void ZoomOutXAction() override;
  void ShowMarksAction() override;
  void LinearAction() override;
  void DeleteKeyAction() override;
  bool KeyForEditing(TKeyValues& values) override;
  void ApplyKeyValues(double x, double y) override;

  // ---- The key rules, in curve units (public for tests and the dialog).
  // Moves a key in x: key 0 stays at 0, frame curves take whole frames, and the key stops at the
  // nearest place the rules allow (at least 1 from each neighbour, within 100 on percent curves).
  void SetKeyX(int index, double x);
  // Sets a key's value snapped to the curve's step and clamped; the key after it follows when it
  // is the last shown key.
  void SetKeyY(int index, double y);
  // Adds a key at (x rounded, y clamped); false where the rules leave no room.
  bool AddKeyAt(double x, double y);

 private:
  TVarSeries* Curve() const;
  void Changed();
  // One undoable step of this editor's curve around an edit.
  template <typename Edit>
  void Step(const char* name, Edit edit);
  int KeyAt(double px, double py) const;
  void FitAxes();
  void ZoomY(double factor, double centre);
  void ZoomX(double factor, double centre);
  void WidenTo(double x, double y);
  void Scroll(double px, double py);

  TSceneObjects& Objects_;
  TEditHistory& History_;
  TCurveEditorView* View_ = nullptr;
  std::optional<TCurveRef> Ref_;
  TPlotMapping Plot_;
  double MarkerX_ = -9000;
  bool ShowMarks_ = false;
  bool Linear_ = false;
  int GrabbedKey_ = -1;
  int MenuKey_ = -1;
  int SelectedKey_ = -1;
  bool Dragging_ = false;
  bool InStep_ = false;          // a drag's undo step is open
  bool Hand_ = false;
  bool Banding_ = false;
  TCurvePoint BandFrom_, BandTo_;
  double ScrollFromX_ = 0, ScrollFromY_ = 0;  // pixels of the last right-drag position
};
