// Toolbox: tool payloads, clones and deletions.
#include "ui/Toolbox.h"

#include "engine/Errors.h"
#include "engine/Stream.h"
#include "scene/Payload.h"

void TToolbox::Changed() {
  if (OnChanged) OnChanged();
}

int TToolbox::FindTool(tsxSOBJ* sceneObject) const {
  for (size_t i = 0; i < Tools.size(); ++i)
    if (Tools[i]->SceneObject() == sceneObject) return static_cast<int>(i);
  return -1;
}

void TToolbox::WritePayload(tsxSOBJ* sceneObject, tsxFILE* file) {
  const int index = FindTool(sceneObject);
  if (index < 0) return;
  TMemoryStream record;
  Tools[static_cast<size_t>(index)]->WriteTo(record);
  ::WritePayload(file, ToolRecordVersion, record.Data());
}

void TToolbox::ReadPayload(tsxSOBJ* sceneObject, tsxFILE* file) {
  TPayload payload;
  const bool present = ::ReadPayload(file, payload);
  std::vector<std::string> problems;
  if (!payload.Problem.empty()) problems.push_back(payload.Problem);
  if (present) {
    // The version is not examined further: a newer record is read as far as it goes.
    if (payload.Version > ToolRecordVersion)
      problems.push_back(Format("it was saved by a newer version (record version %d) and was read as far as "
                                "this version understands it",
                                payload.Version));
    auto tool = std::make_unique<TToolObject>();
    TMemoryStream record(std::move(payload.Data));
    try {
      tool->ReadFrom(record);
    } catch (const std::exception& e) {
      problems.push_back(Format("its data could not be read (%s)", e.what()));
    }
    if (!tool->Modifier()) {
      ReportUnreadData("tool", sceneObject, problems);  // nothing could be made of it
      return;
    }
    const std::string& kind = tool->StoredKindName;
    if (!KnownKindName(kind))
      problems.push_back(Format("its data name no tool kind this version knows (\"%s\"); it acts as a leader",
                                kind.c_str()));
    if (payload.Problem.empty()) {
      if (record.EndedEarly())
        problems.push_back("its data end early; what is missing keeps its defaults");
      else if (record.Remaining() > 0)
        problems.push_back(Format("%llu bytes after its settings are not a tool's and were ignored",
                                  static_cast<unsigned long long>(record.Remaining())));
    }
    tool->Modifier()->SceneObject = sceneObject;
    AddTool(std::move(tool));
  }
  ReportUnreadData("tool", sceneObject, problems);
}

void TToolbox::CloneTool(tsxSOBJ* source, tsxSOBJ* clone) {
  const int index = FindTool(source);
  if (index < 0) return;
  TMemoryStream record;
  Tools[static_cast<size_t>(index)]->WriteTo(record);
  record.Seek(0);
  auto tool = std::make_unique<TToolObject>();
  tool->ReadFrom(record);
  tool->Modifier()->SceneObject = clone;
  AddTool(std::move(tool));
}

void TToolbox::ToolDeleted(tsxSOBJ* sceneObject) {
  const int index = FindTool(sceneObject);
  if (index < 0) return;
  Deleting = true;
  if (OnDeleting) OnDeleting(*Tools[static_cast<size_t>(index)]);
  Tools.erase(Tools.begin() + index);
  KeepCurrentListed();
  Changed();
  Deleting = false;
}

void TToolbox::KeepCurrentListed() {
  for (const auto& tool : Tools)
    if (tool.get() == CurrentTool) return;
  CurrentTool = Tools.empty() ? nullptr : Tools.front().get();
}

TToolObject& TToolbox::AddTool(std::unique_ptr<TToolObject> tool) {
  Tools.push_back(std::move(tool));
  CurrentTool = Tools.back().get();
  Changed();
  return *CurrentTool;
}
