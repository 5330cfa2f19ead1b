// Toolbox: tool payloads, clones and deletions.
#include "ui/Toolbox.h"

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
  if (!::ReadPayload(file, payload)) return;
  auto tool = std::make_unique<TToolObject>();
  TMemoryStream record(std::move(payload.Data));
  tool->ReadFrom(record);
  tool->Modifier()->SceneObject = sceneObject;
  AddTool(std::move(tool));
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
  if (CurrentTool == Tools[static_cast<size_t>(index)].get()) CurrentTool = nullptr;
  Tools.erase(Tools.begin() + index);
  Changed();
  Deleting = false;
}

TToolObject& TToolbox::AddTool(std::unique_ptr<TToolObject> tool) {
  Tools.push_back(std::move(tool));
  CurrentTool = Tools.back().get();
  Changed();
  return *CurrentTool;
}
