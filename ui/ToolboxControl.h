// The toolbox's controller on the main panel's "Tools" page: the rows of the scene's tools, the
// current tool shown in the tool properties panel, the rows' check boxes and names as undoable
// steps, the host's selection following the user's choice of a row (only the user's: a refresh
// after a load or a clone selects nothing in the host), and the "Properties" fold, which works
// the emitter manager's fold. Toolkit-free.
#pragma once

#include <functional>

#include "ui/EditHistory.h"
#include "ui/SceneObjects.h"
#include "ui/ToolProperties.h"
#include "ui/Toolbox.h"
#include "ui/ToolboxPanel.h"

class TToolboxControl : public TToolboxController {
 public:
  TToolboxControl(TToolbox& toolbox, TEditHistory& history, TToolProperties& properties);
  ~TToolboxControl() override;
  TToolboxControl(const TToolboxControl&) = delete;
  TToolboxControl& operator=(const TToolboxControl&) = delete;

  // The list changed (a tool added, loaded, cloned or deleted) or the scene did: the current
  // tool is the first one when it has gone, and the properties panel shows it. The host's
  // selection is left alone.
  void Refresh();
  // The host selected a scene object: a tool's row becomes current (the host is not asked to
  // select it again); any other object changes nothing.
  void HostSelected(tsxSOBJ* sceneObject);

  // The emitter manager's "Properties" fold, which this one follows (wired by the main panel).
  std::function<bool()> EmitterFoldExpanded;
  std::function<void(bool)> SetEmitterFoldExpanded;
  // The emitter manager's fold was given a new height after a splitter move.
  void SetFoldHeight(int height);
  // The six "New …" actions, served by the main panel (which asks the host for the object).
  std::function<void(TToolKind)> OnNewTool;

  // ---- TToolboxController.
  void AttachView(TToolboxView* view) override { View_ = view; }
  TToolboxState ToolboxState() const override;
  void RowChosen(int row) override;
  void RowChecked(int row, bool checked) override;
  void RowRenamed(int row, const std::string& name) override;
  void DeleteRow(int row) override;
  void NewTool(TToolKind kind) override;
  void FoldHeaderClicked() override;

 private:
  TToolObject* Row(int row) const;
  void Changed();

  TToolbox& Toolbox_;
  TEditHistory& History_;
  TToolProperties& Properties_;
  TToolboxView* View_ = nullptr;
  bool FoldExpanded_ = true;  // without an emitter manager's fold to follow
  int FoldHeight_ = ToolPropsFoldHeight;
};
