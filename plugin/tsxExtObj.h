// Custom scene object types: TTsxExtObj defines one type with the host, creates its instances,
// draws them as a wireframe, reports their bounding boxes and turns the host's per-object
// callbacks into handler calls. All components share one callback table; a module-wide
// registry indexed by (type number − first type number) finds the component of an object at
// every callback. The seven wireframes of the plug-in's types are installed by name.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/VectorData.h"
#include "hostapi/TsxApi5.h"
#include "scene/ToolObj.h"

class TTsxExtObj {
 public:
  TTsxExtObj();
  // Leaves an empty entry in the registry, so that late callbacks find nothing.
  ~TTsxExtObj();
  TTsxExtObj(const TTsxExtObj&) = delete;
  TTsxExtObj& operator=(const TTsxExtObj&) = delete;

  std::string ObjectTypeName;
  tsxPEN WirePen = e_tsxPEN_RED;
  int32_t SObjType() const { return SObjType_; }

  std::function<void(TTsxExtObj&, tsxSOBJ*, tsxOBJECT_CHANGE)> OnGeometryChanged;
  std::function<void(TTsxExtObj&, tsxSOBJ*, TMx3f&, uint16_t flags)> OnTransform;
  std::function<void(TTsxExtObj&, tsxSOBJ*)> OnObjectDelete;
  std::function<void(TTsxExtObj&, tsxSOBJ*, tsxSOBJ* clone, int32_t& result)> OnObjectClone;
  using TFileHandler = std::function<int32_t(tsxSOBJ*, tsxFILE*)>;
  TFileHandler OnReadBinary, OnWriteBinary, OnReadAscii, OnWriteAscii;

  // The wireframe: points and a line list of indices into them, −2 ending a polyline, −1 the
  // list. The default cube with corners at ±1 at creation.
  std::vector<TVec3f> Points;
  std::vector<int32_t> LineList;
  // Replaces the wireframe by points and polylines (the list is built from them).
  void SetWireframe(std::vector<TVec3f> points, const std::vector<std::vector<int32_t>>& polylines);

  // Defines the type with the host once (the plug-in id of the plug-in state); a refused
  // definition leaves the component undefined.
  void Define();
  // A new instance in the scene, at the origin, named ObjectTypeName; null (and a beep) when
  // the host refuses.
  tsxSOBJ* CreateObject();

  // ---- Module-wide state.
  // The component of an object's type, or null; a found one becomes the current component.
  static TTsxExtObj* Lookup(tsxSOBJ* obj);
  static TTsxExtObj* Current();
  // The registry as it stands: null for empty entries.
  static const std::vector<TTsxExtObj*>& Registry();
  static int32_t FirstTypeNumber();
  // Forgets every definition (programs that start over with a new host, tests); components
  // become undefined.
  static void ResetRegistry();
  // The table handed to the host.
  static const tsxSOBJCALLBACKS& CallbackTable();

  // The box of the wireframe under a transform (snapped toward zero first): minimum x, y, z,
  // then maximum.
  void BoundingBox(const CtsxTxmx3f& transform, float box[6]) const;

 private:
  int32_t SObjType_ = 0;
};

// The wireframes and pens of the plug-in's seven types.
void InstallEmitterWireframe(TTsxExtObj& type);
void InstallToolWireframe(TTsxExtObj& type, TToolKind kind);
// The scene type name of a tool kind ("VNTX_Deflector" …); empty for ToolNone.
const char* ToolTypeName(TToolKind kind);
