// Custom object types: definition, the registry, creation and the host's callbacks.
#include "plugin/tsxExtObj.h"

#include <algorithm>

#include "hostapi/CheckFpuState.h"
#include "hostapi/Platform.h"
#include "engine/TsxHelper.h"
#include "plugin/tsxPlug.h"

namespace {

struct TRegistry {
  std::vector<TTsxExtObj*> Entries;
  int32_t First = 0;
  TTsxExtObj* Current = nullptr;
  std::vector<TTsxExtObj*> Components;  // every live component, to undefine them on a reset
};

TRegistry& Reg() {
  static TRegistry registry;
  return registry;
}

// Runs a callback's work; nothing escapes to the host and no floating-point flag stays raised.
template <typename Work>
int Guarded(Work work) {
  int result = 0;
  try {
    result = work();
  } catch (...) {
    result = 0;
  }
  ClearFpuExceptions();
  return result;
}

int DeleteCallback(tsxSOBJ* obj) {
  return Guarded([&] {
    if (!MainViewHwnd()) return 0;
    TTsxExtObj* c = TTsxExtObj::Lookup(obj);
    if (c && c->OnObjectDelete) c->OnObjectDelete(*c, obj);
    return 0;
  });
}

int CloneCallback(tsxSOBJ* obj, tsxSOBJ* clone) {
  return Guarded([&] {
    TTsxExtObj* c = TTsxExtObj::Lookup(obj);
    int32_t result = 0;
    if (c && c->OnObjectClone) c->OnObjectClone(*c, obj, clone, result);
    return static_cast<int>(result);
  });
}

int FileCallback(tsxSOBJ* obj, tsxFILE* file, int direction, int format) {
  return Guarded([&] {
    TTsxExtObj* c = TTsxExtObj::Lookup(obj);
    if (!c) return 0;
    const TTsxExtObj::TFileHandler& handler = direction == 0
                                                  ? (format == 0 ? c->OnReadBinary : c->OnReadAscii)
                                                  : (format == 0 ? c->OnWriteBinary : c->OnWriteAscii);
    return handler ? static_cast<int>(handler(obj, file)) : 0;
  });
}

int DrawCallback(tsxSOBJ* obj, int state, void* passOn) {
  return Guarded([&] {
    TTsxExtObj* c = TTsxExtObj::Lookup(obj);
    if (!c) return 0;
    switch (state) {
      case 1: tsxAViewSetPen(c->WirePen); break;
      case 2: tsxAViewSetPen(e_tsxPEN_ACTIVESUB); break;
      case 3: tsxAViewSetPen(e_tsxPEN_SCENE); break;
      case 4: tsxAViewSetPen(e_tsxPEN_INACTIVESUB); break;
      default: break;  // the view keeps its pen
    }
    CtsxTxmx3f transform{};
    tsxGNodeGetTransform(obj, &transform);
    static_assert(sizeof(TVec3f) == sizeof(CtsxVector3f));
    return tsxAViewDrawLinelist(&transform, reinterpret_cast<const CtsxVector3f*>(c->Points.data()),
                                static_cast<int32_t>(c->Points.size()), c->LineList.data(), passOn) != 0
               ? 1
               : 0;
  });
}

int TransformCallback(tsxSOBJ* obj, CtsxTxmx3f* transform, uint32_t flags) {
  return Guarded([&] {
    TTsxExtObj* c = TTsxExtObj::Lookup(obj);
    if (c && c->OnTransform && transform) {
      TMx3f m = FromHost(*transform);
      c->OnTransform(*c, obj, m, static_cast<uint16_t>(flags));
      static_assert(sizeof(TMx3f) == sizeof(CtsxTxmx3f));
      std::copy(&m.m[0][0], &m.m[0][0] + 12, &transform->m[0][0]);
    }
    return 0;
  });
}

int BoundingBoxCallback(tsxSOBJ* obj, float box[6], const CtsxTxmx3f* transform) {
  return Guarded([&] {
    if (!MainViewHwnd() || !box) return 0;
    TTsxExtObj* c = TTsxExtObj::Lookup(obj);
    if (!c) return 0;
    CtsxTxmx3f m{};
    if (transform)
      m = *transform;
    else
      tsxGNodeGetTransform(obj, &m);
    c->BoundingBox(m, box);
    return 0;
  });
}

int NothingCallback(void) { return 0; }

int ChangeCallback(tsxSOBJ* obj, int changeKind) {
  return Guarded([&] {
    TTsxExtObj* c = TTsxExtObj::Lookup(obj);
    if (c && c->OnGeometryChanged) c->OnGeometryChanged(*c, obj, static_cast<tsxOBJECT_CHANGE>(changeKind & 0xFF));
    return 0;
  });
}

const std::vector<TVec3f> CubePoints = {{-1, -1, -1}, {1, -1, -1}, {1, 1, -1}, {-1, 1, -1},
                                        {-1, -1, 1},  {1, -1, 1},  {1, 1, 1},  {-1, 1, 1}};
const std::vector<std::vector<int32_t>> CubeLines = {{0, 1, 2, 3, 0}, {4, 5, 6, 7, 4}, {0, 4},
                                                     {1, 5},          {2, 6},          {3, 7}};

}  // namespace

const tsxSOBJCALLBACKS& TTsxExtObj::CallbackTable() {
  static const tsxSOBJCALLBACKS table = {3,
                                         &DeleteCallback,
                                         &CloneCallback,
                                         &FileCallback,
                                         &DrawCallback,
                                         &TransformCallback,
                                         &BoundingBoxCallback,
                                         nullptr,
                                         &NothingCallback,
                                         &ChangeCallback,
                                         &NothingCallback};
  return table;
}

TTsxExtObj::TTsxExtObj() {
  SetWireframe(CubePoints, CubeLines);
  Reg().Components.push_back(this);
}

TTsxExtObj::~TTsxExtObj() {
  TRegistry& r = Reg();
  std::replace(r.Entries.begin(), r.Entries.end(), this, static_cast<TTsxExtObj*>(nullptr));
  if (r.Current == this) r.Current = nullptr;
  r.Components.erase(std::remove(r.Components.begin(), r.Components.end(), this), r.Components.end());
}

void TTsxExtObj::SetWireframe(std::vector<TVec3f> points, const std::vector<std::vector<int32_t>>& polylines) {
  Points = std::move(points);
  LineList.clear();
  for (size_t i = 0; i < polylines.size(); ++i) {
    if (i > 0) LineList.push_back(-2);
    LineList.insert(LineList.end(), polylines[i].begin(), polylines[i].end());
  }
  LineList.push_back(-1);
}

void TTsxExtObj::Define() {
  if (SObjType_ != 0) return;
  SObjType_ = tsxObjectDefine(PlugState().PluginId, ObjectTypeName.c_str(), &CallbackTable(), 0);
  if (SObjType_ == 0) return;
  TRegistry& r = Reg();
  if (r.First == 0) r.First = SObjType_;
  const int32_t index = SObjType_ - r.First;
  // A number below the first one cannot be indexed; the type stays defined but is not found.
  if (index < 0) return;
  if (static_cast<size_t>(index) < r.Entries.size()) {
    r.Entries[static_cast<size_t>(index)] = this;
    return;
  }
  r.Entries.resize(static_cast<size_t>(index), nullptr);
  r.Entries.push_back(this);
}

tsxSOBJ* TTsxExtObj::CreateObject() {
  tsxSOBJ* obj = tsxObjectCreate(SObjType_);
  if (!obj) {
    Platform().Beep();
    return nullptr;
  }
  const CtsxVector3f origin{0, 0, 0};
  tsxMNodeSetAxesPosition(obj, &origin);
  tsxSceneAddObject(obj, 0);
  tsxGNodeSetName(obj, ObjectTypeName.c_str());
  return obj;
}

TTsxExtObj* TTsxExtObj::Lookup(tsxSOBJ* obj) {
  TRegistry& r = Reg();
  if (!obj || r.First == 0) return nullptr;
  const int64_t index = static_cast<int64_t>(tsxSobjGetType(obj)) - r.First;
  if (index < 0 || index >= static_cast<int64_t>(r.Entries.size())) return nullptr;
  TTsxExtObj* found = r.Entries[static_cast<size_t>(index)];
  if (found) r.Current = found;
  return found;
}

TTsxExtObj* TTsxExtObj::Current() { return Reg().Current; }
const std::vector<TTsxExtObj*>& TTsxExtObj::Registry() { return Reg().Entries; }
int32_t TTsxExtObj::FirstTypeNumber() { return Reg().First; }

void TTsxExtObj::ResetRegistry() {
  TRegistry& r = Reg();
  r.Entries.clear();
  r.First = 0;
  r.Current = nullptr;
  for (TTsxExtObj* c : r.Components) c->SObjType_ = 0;
}

void TTsxExtObj::BoundingBox(const CtsxTxmx3f& transform, float box[6]) const {
  const TMx3f m = SnapZero(FromHost(transform));
  ClearFpuExceptions();
  float lo[3] = {9999, 9999, 9999}, hi[3] = {-9999, -9999, -9999};
  for (const TVec3f& p : Points) {
    TVec3f q;
    TransformVect3f(p, q, m);
    const float v[3] = {q.x, q.y, q.z};
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], v[a]);
      hi[a] = std::max(hi[a], v[a]);
    }
  }
  std::copy(lo, lo + 3, box);
  std::copy(hi, hi + 3, box + 3);
}
