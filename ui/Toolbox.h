// The toolbox's controller: the scene's tool objects in creation order, the current tool, and
// the host callbacks of the six tool object types. Toolkit-free.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "hostapi/TsxApi5.h"
#include "scene/ToolObj.h"

class TToolbox {
 public:
  std::vector<std::unique_ptr<TToolObject>> Tools;
  TToolObject* CurrentTool = nullptr;
  // Set while the host's delete callback for a tool is served: the view then does not ask the
  // host to select the tool's scene object.
  bool Deleting = false;

  std::function<void()> OnChanged;
  // Called when the host deletes a tool, before it goes (the undo history forgets it).
  std::function<void(const TToolObject&)> OnDeleting;
  // The tool properties' curve editor marker, called with a scene frame.
  std::function<void(int32_t frame)> OnShowFrame;

  // The preview reached a scene frame.
  void ShowFrame(int32_t frame) {
    if (OnShowFrame) OnShowFrame(frame);
  }

  void WritePayload(tsxSOBJ* sceneObject, tsxFILE* file);
  // A payload with a version below 100 or no data creates no tool.
  void ReadPayload(tsxSOBJ* sceneObject, tsxFILE* file);
  void CloneTool(tsxSOBJ* source, tsxSOBJ* clone);
  void ToolDeleted(tsxSOBJ* sceneObject);

  // The refresh rule: a current tool that is no longer listed gives way to the first tool (none
  // when the list is empty).
  void KeepCurrentListed();
  // Appends a tool and makes it current.
  TToolObject& AddTool(std::unique_ptr<TToolObject> tool);
  // The position of the first tool bound to the scene object, or −1.
  int FindTool(tsxSOBJ* sceneObject) const;

 private:
  void Changed();
};
