// The six tool object types defined on the stage with the given callbacks, and a host service
// that makes a new scene object of a kind's type, as the plug-in's binding does.
#pragma once

#include <functional>
#include <vector>

#include "hostapi/TsxApi5.h"
#include "scene/ToolKind.h"
#include "stage/Stage.h"

// The type numbers in kind order (deflector first).
inline std::vector<int> DefineToolTypes(const tsxSOBJCALLBACKS& callbacks) {
  std::vector<int> types;
  for (const char* type : {"VNTX_Deflector", "VNTX_Fan", "VNTX_Attractor", "VNTX_Repulsor", "VNTX_Leader",
                           "VNTX_Gravitron"})
    types.push_back(tsxObjectDefine(1, type, &callbacks, 0));
  return types;
}

// A new scene object of the kind's type, added to the scene.
inline tsxSOBJ* NewToolObject(const std::vector<int>& types, TToolKind kind) {
  stage::TNode* node = stage::Stage().Scene.CreateCustom(types[static_cast<size_t>(kind) - 1]);
  stage::Stage().Scene.AddToScene(*node);
  return reinterpret_cast<tsxSOBJ*>(stage::TScene::Handle(node));
}
