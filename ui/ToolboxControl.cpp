// The toolbox's controller: rows, the current tool, check boxes, renaming and the fold.
#include "ui/ToolboxControl.h"

#include "engine/CodePage.h"
#include "engine/Errors.h"
#include "hostapi/Platform.h"
#include "scene/EmitterObj.h"
#include "scene/ToolObj.h"
#include "ui/NameText.h"

TToolboxControl::TToolboxControl(TToolbox& toolbox, TEditHistory& history, TToolProperties& properties)
    : Toolbox_(toolbox), History_(history), Properties_(properties) {}

TToolboxControl::~TToolboxControl() {
  if (View_) View_->ControllerGone();
}

void TToolboxControl::Changed() {
  if (View_) View_->Changed();
}

TToolObject* TToolboxControl::Row(int row) const {
  if (row < 0 || row >= static_cast<int>(Toolbox_.Tools.size())) return nullptr;
  return Toolbox_.Tools[static_cast<size_t>(row)].get();
}

void TToolboxControl::Refresh() {
  Toolbox_.KeepCurrentListed();
  Properties_.ShowTool(Toolbox_.CurrentTool ? Toolbox_.CurrentTool->Id : NoObject);
  Changed();
}

TToolboxState TToolboxControl::ToolboxState() const {
  TToolboxState s;
  for (size_t i = 0; i < Toolbox_.Tools.size(); ++i) {
    const TToolObject& tool = *Toolbox_.Tools[i];
    const TParticleModifier* m = tool.Modifier();
    s.Rows.push_back({CodePageToUtf8(tool.Name), m ? CodePageToUtf8(m->KindName) : std::string(), m && m->Active,
                      ToolIcon(tool.Kind())});
    if (&tool == Toolbox_.CurrentTool) s.CurrentRow = static_cast<int>(i);
  }
  s.FoldExpanded = EmitterFoldExpanded ? EmitterFoldExpanded() : FoldExpanded_;
  s.FoldHeight = FoldHeight_;
  return s;
}

void TToolboxControl::RowChosen(int row) {
  TToolObject* tool = Row(row);
  if (!tool) return;
  Toolbox_.CurrentTool = tool;
  Properties_.ShowTool(tool->Id);
  // Never while the host's delete is served, and not for a tool the host refused an object.
  if (!Toolbox_.Deleting && tool->SceneObject()) tsxSelectSobj(tool->SceneObject(), 0, 0);
  Changed();
}

void TToolboxControl::HostSelected(tsxSOBJ* sceneObject) {
  const int row = sceneObject ? Toolbox_.FindTool(sceneObject) : -1;
  if (row < 0 || Toolbox_.Tools[static_cast<size_t>(row)].get() == Toolbox_.CurrentTool) return;
  Toolbox_.CurrentTool = Toolbox_.Tools[static_cast<size_t>(row)].get();
  Properties_.ShowTool(Toolbox_.CurrentTool->Id);
  Changed();
}

void TToolboxControl::RowChecked(int row, bool checked) {
  TToolObject* tool = Row(row);
  if (!tool || !tool->Modifier()) return;
  {
    TEditScope step(History_, "Active", {{TRecordKind::Tool, tool->Id}});
    tool->Modifier()->Active = checked;
  }
  Changed();
}

void TToolboxControl::RowRenamed(int row, const std::string& name) {
  TToolObject* tool = Row(row);
  if (!tool) return;
  std::string unstorable;
  const std::optional<std::string> bytes = Utf8ToCodePage(name, &unstorable);
  if (!bytes) {
    Platform().ShowMessage(Format("A tool's name cannot hold \"%s\"; the name stays \"%s\".", unstorable.c_str(),
                                  CodePageToUtf8(tool->Name).c_str()));
    Changed();
    return;
  }
  {
    TEditScope step(History_, "Rename", {{TRecordKind::Tool, tool->Id}});
    // One byte a character in the stored field, so the cut never splits one.
    tool->Name = CutToBytes(*bytes, ObjectNameLength);
  }
  Changed();
}

void TToolboxControl::DeleteRow(int row) {
  // The host deletes the object and calls back; the list follows from there.
  if (TToolObject* tool = Row(row); tool && tool->SceneObject()) tsxSobjDelete(tool->SceneObject());
}

void TToolboxControl::NewTool(TToolKind kind) {
  if (OnNewTool) OnNewTool(kind);
}

void TToolboxControl::FoldHeaderClicked() {
  // This fold never folds by itself: it works the emitter manager's, which takes this one along.
  const bool expanded = EmitterFoldExpanded ? EmitterFoldExpanded() : FoldExpanded_;
  if (SetEmitterFoldExpanded) SetEmitterFoldExpanded(!expanded);
  FoldExpanded_ = !expanded;
  Changed();
}

void TToolboxControl::SetFoldHeight(int height) {
  if (height == FoldHeight_) return;
  FoldHeight_ = height;
  Changed();
}
