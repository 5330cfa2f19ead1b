// The host interface over the stage's scene: nodes, custom objects, selection, time and
// polyhedra. Unknown handles answer null, 0 or identity; nothing throws across the boundary.
#include <algorithm>
#include <cstring>
#include <new>

#include "hostapi/TsxApi5.h"
#include "stage/Stage.h"

using stage::Stage;
using stage::TNode;
using stage::TScene;

namespace {

TNode* NodeOf(const void* handle) { return Stage().Scene.FromHandle(handle); }

tsxGNODE* HandleOf(const TNode* node) { return node ? TScene::Handle(node) : nullptr; }

CtsxTxmx3f Identity() {
  CtsxTxmx3f m{};
  m.m[0][0] = m.m[1][1] = m.m[2][2] = 1;
  return m;
}

// Runs f, turning any exception into the fallback answer: the plug-in must never see one.
template <typename F, typename R>
R Guard(F&& f, R fallback) {
  try {
    return f();
  } catch (...) {
    return fallback;
  }
}

template <typename F>
void Guard(F&& f) {
  try {
    f();
  } catch (...) {
  }
}

// Poses the scene at the frame and tells the host's hook.
void SetSceneTime(float frame) {
  Guard([frame] {
    Stage().Scene.SetTime(frame);
    if (Stage().OnTimeSet) Stage().OnTimeSet(frame);
  });
}

}  // namespace

extern "C" {

tsxGNODE* tsxGNodeGetRoot(tsxGNODE* node) {
  TNode* n = NodeOf(node);
  return n ? HandleOf(Stage().Scene.RootOf(*n)) : nullptr;
}

tsxGNODE* tsxGNodeGetParent(tsxGNODE* node) {
  TNode* n = NodeOf(node);
  return n ? HandleOf(n->Parent()) : nullptr;
}

tsxGNODE* tsxGNodeGetFirstChild(tsxGNODE* node) {
  TNode* n = NodeOf(node);
  return n && !n->Children().empty() ? HandleOf(n->Children().front().get()) : nullptr;
}

tsxGNODE* tsxGNodeGetNext(tsxGNODE* node) {
  TNode* n = NodeOf(node);
  if (!n) return nullptr;
  if (n->Parent()) return HandleOf(n->NextSibling());
  // Top-level nodes are siblings under the scene.
  const auto& roots = Stage().Scene.Roots();
  for (size_t i = 0; i + 1 < roots.size(); ++i)
    if (roots[i].get() == n) return HandleOf(roots[i + 1].get());
  return nullptr;
}

void tsxGNodeGetTransform(tsxGNODE* node, CtsxTxmx3f* objectToWorld) {
  if (!objectToWorld) return;
  TNode* n = NodeOf(node);
  *objectToWorld = n ? Stage().Scene.WorldTransform(*n) : Identity();
}

void tsxGNodeGetSize(tsxGNODE* node, CtsxVector3f* size) {
  if (!size) return;
  TNode* n = NodeOf(node);
  *size = n ? Guard([&] { return Stage().Scene.Size(*n); }, CtsxVector3f{0, 0, 0}) : CtsxVector3f{0, 0, 0};
}

void tsxGNodeSetName(tsxGNODE* node, const char* name) {
  TNode* n = NodeOf(node);
  if (n && name && n->Name != name) Guard([&] {
      n->Name = name;
      Stage().SceneChanged();
    });
}

int tsxGNodeGetName(tsxGNODE* node, char* buffer, int size) {
  TNode* n = NodeOf(node);
  const std::string name = n ? n->Name : std::string();
  if (buffer && size > 0) {
    const size_t k = std::min(name.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, name.data(), k);
    buffer[k] = 0;
  }
  return static_cast<int>(std::min<size_t>(name.size(), INT32_MAX));
}

int tsxSobjGetType(tsxSOBJ* obj) {
  TNode* n = NodeOf(obj);
  return n ? n->TypeCode() : tsxTYPE_NONE;
}

int tsxSobjGetMinMaxTime(tsxSOBJ* obj, float* first, float* last) {
  float f = 0, l = 0;
  TNode* n = NodeOf(obj);
  const bool keyed = n && n->KeyRange(f, l);
  if (first) *first = f;
  if (last) *last = l;
  return keyed ? 1 : 0;
}

void tsxSobjDelete(tsxSOBJ* obj) {
  if (TNode* n = NodeOf(obj)) Guard([&] {
      Stage().Scene.Delete(*n);
      Stage().SceneChanged();
    });
}

void tsxSelectSobj(tsxSOBJ* obj, int /*mode*/, int /*flags*/) {
  if (TNode* n = NodeOf(obj)) Stage().Scene.Select(n);
}

void tsxSelectUp(void) { Stage().Scene.SelectUp(); }

tsxSOBJ* tsxHostGetSelectedSobj(void) { return TScene::Handle(Stage().Scene.Selected()); }

int tsxObjectDefine(int pluginId, const char* typeName, const tsxSOBJCALLBACKS* callbacks,
                    int /*flags*/) {
  if (!typeName) return 0;
  return Guard([&] { return Stage().Types.Define(pluginId, typeName, callbacks); }, 0);
}

tsxSOBJ* tsxObjectCreate(int type) {
  return Guard(
      [&] {
        tsxSOBJ* made = HandleOf(Stage().Scene.CreateCustom(type));
        if (made) Stage().SceneChanged();
        return made;
      },
      static_cast<tsxSOBJ*>(nullptr));
}

int tsxSceneAddObject(tsxSOBJ* obj, int /*flags*/) {
  TNode* n = NodeOf(obj);
  return n && Guard(
                   [&] {
                     const bool added = Stage().Scene.AddToScene(*n);
                     if (added) Stage().SceneChanged();
                     return added;
                   },
                   false)
             ? 1
             : 0;
}

void tsxMNodeSetAxesPosition(tsxMNODE* node, const CtsxVector3f* position) {
  TNode* n = NodeOf(node);
  if (n && position) Guard([&] {
      n->Position.Set(n->PoseFrame, *position);
      Stage().SceneChanged();
    });
}

float tsxAnimGetActiveTime(void) { return Stage().Scene.Time(); }

void tsxAnimSetActiveTime(float frame) { SetSceneTime(frame); }

void tsxAnimSetActiveTimeScene(float frame) { SetSceneTime(frame); }

void tsxAnimSetActiveTimeObject(tsxSOBJ* obj, float frame) {
  if (TNode* n = NodeOf(obj)) Stage().Scene.PoseObject(*n, frame);
}

int tsxPolyhGetNbrVxs(tsxPOLYHEDRON* polyh) {
  TNode* n = NodeOf(polyh);
  return n && n->Mesh ? static_cast<int>(n->Mesh->Vertices().size()) : 0;
}

CtsxVector3f* tsxPolyhGetVxArray(tsxPOLYHEDRON* polyh) {
  TNode* n = NodeOf(polyh);
  return n && n->Mesh ? n->Mesh->VertexArray() : nullptr;
}

int tsxPolyhGetNbrUV(tsxPOLYHEDRON* polyh) {
  TNode* n = NodeOf(polyh);
  return n && n->Mesh ? static_cast<int>(n->Mesh->UVs().size()) : 0;
}

tsxUV* tsxPolyhGetUVArray(tsxPOLYHEDRON* polyh) {
  TNode* n = NodeOf(polyh);
  return n && n->Mesh ? n->Mesh->UVArray() : nullptr;
}

int tsxPolyhGetNbrFaces(tsxPOLYHEDRON* polyh) {
  TNode* n = NodeOf(polyh);
  return n && n->Mesh ? n->Mesh->FaceCount() : 0;
}

tsxFACE** tsxPolyhGetFaceptrArray(tsxPOLYHEDRON* polyh) {
  TNode* n = NodeOf(polyh);
  return n && n->Mesh ? n->Mesh->FacePointers() : nullptr;
}

void tsxPolyhGetVxTxmx(tsxPOLYHEDRON* polyh, CtsxTxmx3f* transform) {
  if (!transform) return;
  TNode* n = NodeOf(polyh);
  *transform = n && n->Mesh ? Stage().Scene.WorldTransform(*n) : Identity();
}

int tsxPolyhGetFaceNormal(tsxPOLYHEDRON* polyh, const tsxFACE* face, CtsxVector3f* normal) {
  CtsxVector3f result{0, 0, 0};
  int ok = 0;
  TNode* n = NodeOf(polyh);
  if (n && n->Mesh) {
    const int32_t index = n->Mesh->IndexOfFace(face);
    if (index >= 0) {
      result = n->Mesh->FaceNormal(index);
      ok = 1;
    }
  }
  if (normal) *normal = result;
  return ok;
}

}  // extern "C"
