// The tool properties panel's controller: the tool it shows (by id, resolved on every use), the
// tree of its kind's entries followed by "Lifespan", the page chosen in it, the fields of the
// kind's page and of the lifespan page, and the panel's own curve editor for the strength and
// jitter curves. Showing a tool writes nothing; every field the user changes is one undoable
// step, written only for the kinds that have that field. Toolkit-free.
#pragma once

#include <functional>

#include "ui/CurveEdit.h"
#include "ui/EditHistory.h"
#include "ui/SceneObjects.h"
#include "ui/ToolboxPanel.h"

class TToolProperties : public TToolPropsController {
 public:
  TToolProperties(TSceneObjects& objects, TEditHistory& history);
  ~TToolProperties() override;
  TToolProperties(const TToolProperties&) = delete;
  TToolProperties& operator=(const TToolProperties&) = delete;

  // Shows a tool (NoObject: none). A tool other than the one shown starts at its first entry;
  // the one already shown keeps its entry and reads its values again.
  void ShowTool(TObjectId toolId);
  TObjectId ShownTool() const { return ToolId_; }
  // The scene changed (an edit, an undo, a deletion): the panel shows what is there now.
  void SceneChanged();
  // During a preview: the curve editor's current-frame line, on a curve over frames only.
  void MoveMarker(double frame);

  // The main panel's cue cards: whether they show, and "Hide Cue Cards".
  std::function<bool()> CueCardsShown;
  std::function<void()> OnHideCueCards;

  // ---- TToolPropsController.
  void AttachView(TToolPropsView* view) override { View_ = view; }
  TToolPropsState PropsState() const override;
  void ChooseEntry(int index) override;
  void SetScale(TToolPage page, double value) override;
  void SetAbsorbs(bool on) override;
  void SetFalloff(TToolPage page, int position) override;
  void SetInfinite(bool on) override;
  void SetToolLifespan(double value) override;
  void SetToolLives(double value) override;
  void HideCueCards() override;
  TCurveEditorController& CurveEditor() override { return Curves; }

  // The panel's own curve editor (the main panel's serves emitters and systems).
  TCurveEdit Curves;

 private:
  TToolKind ShownKind() const;
  // One undoable step of the shown tool around an edit; nothing without a tool.
  template <typename Edit>
  void Edit(const char* name, Edit edit);
  void Changed();

  TSceneObjects& Objects_;
  TEditHistory& History_;
  TToolPropsView* View_ = nullptr;
  TObjectId ToolId_ = NoObject;
  TToolKind Kind_ = ToolNone;
  int Entry_ = -1;
};
