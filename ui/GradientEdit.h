// A gradient editor's controller: one colour gradient of a system at a time (its particle or its
// system gradient), reached through its reference on every use, with the stop rules, the mouse
// and keyboard, the stop menu, the colour mode and the gradient files. Every change is a step in
// the undo history; showing a gradient writes nothing.
#pragma once

#include <optional>
#include <string>

#include "ui/EditHistory.h"
#include "ui/GradientEditor.h"
#include "ui/SceneObjects.h"

class TColorSeries;

class TGradientEdit : public TGradientEditorController {
 public:
  // particleLife: positions are percent of a particle's life, kept between 1 and 100.
  TGradientEdit(TSceneObjects& objects, TEditHistory& history, bool particleLife);
  ~TGradientEdit() override;
  TGradientEdit(const TGradientEdit&) = delete;
  TGradientEdit& operator=(const TGradientEdit&) = delete;

  // Shows a gradient (none: nothing); the mode box follows the system's colour mode.
  void ShowGradient(std::optional<TGradientRef> gradient);
  const std::optional<TGradientRef>& Shown() const { return Ref_; }
  // The scene changed (an undo, a load, a deletion): the view shows what is there now.
  void SceneChanged();
  bool ParticleLife() const { return ParticleLife_; }
  // The folder the gradient dialogs start in: the data folder until a file is picked.
  std::string DialogFolder() const;

  // ---- The stop rules (public for tests).
  bool CanDrag(int index) const;
  // Moves a stop to x rounded; refused (false) at 1 or below and, over a particle's life, at 100
  // or beyond. The moved stop becomes the current one.
  bool MoveStop(int index, double x);
  // Where "Add" puts a new stop.
  double AddPosition() const;
  // Reads a gradient file into the shown gradient as one step. A file that cannot be opened,
  // holds no stops or is cut short leaves the gradient as it was and throws EVantrelError naming
  // the file.
  void LoadFile(const std::string& fileName);

  // ---- TGradientEditorController.
  void AttachView(TGradientEditorView* view) override { View_ = view; }
  TGradientEditorState EditorState() const override;
  void SetStripFrame(double left, double top, double width, double height) override;
  std::vector<uint32_t> StripColumns(int columns) const override;
  void MousePress(int button, double px, double py) override;
  void MouseMove(double px, double py) override;
  bool MouseRelease(int button, double px, double py) override;
  void DoubleClick(double px, double py) override;
  void KeyPress(TGradientKey key, int modifiers) override;
  bool KeyboardMenu() override;
  void AddAction() override;
  void ClearAction() override;
  void SetColorMode(int index) override;
  void OpenAction() override;
  void SaveAction() override;
  void DeleteStopAction() override;
  void PickColorAction() override;

 private:
  TColorSeries* Gradient() const;
  int32_t* ModeField() const;
  void Changed();
  // One undoable step of this editor's system around an edit.
  template <typename Edit>
  void Step(const char* name, Edit edit);
  void EndDrag();
  void ResetPointer();
  // The stops' horizontal range on the strip (frozen while a stop is dragged).
  void Range(double& lo, double& hi) const;
  double PixelX(double position) const;
  double PositionAt(double px) const;
  double LineY() const;
  int StopAt(double px, double py) const;

  TSceneObjects& Objects_;
  TEditHistory& History_;
  const bool ParticleLife_;
  TGradientEditorView* View_ = nullptr;
  std::optional<TGradientRef> Ref_;
  double Left_ = 0, Top_ = 0, Width_ = 1, Height_ = 1;
  int Current_ = -1;
  int Selected_ = -1;
  bool Dragging_ = false;
  bool InStep_ = false;  // a drag's undo step is open
  bool Hand_ = false;
  double DragLo_ = 0, DragHi_ = 0;  // the range the drag started with
  std::string Folder_;
};
