// A node of the stage's scene tree: a group, a polyhedron or a custom object of a type the
// plug-in defined. Every node has a name, ordered children, keyframed position, rotation and
// scale, and the frame it is currently posed at. Its local transform is
// translate(position) · rotate(rotation) · scale(scale), the rotation being Euler angles in
// degrees applied about X, then Y, then Z (all right-handed).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hostapi/TsxApi5.h"
#include "stage/Channel.h"
#include "stage/MeshSource.h"
#include "stage/Polyhedron.h"

namespace stage {

enum class TNodeKind { Group, Polyhedron, Custom };

class TNode {
 public:
  TNode(TNodeKind kind, std::string name) : Name(std::move(name)), Kind_(kind) {}
  TNode(const TNode&) = delete;
  TNode& operator=(const TNode&) = delete;

  TNodeKind Kind() const { return Kind_; }
  // tsxTYPE_GROUP, tsxTYPE_POLYHEDRON, or the custom type number (0 when the type was not
  // defined by any plug-in, for an object read from a scene file).
  int TypeCode() const;

  TNode* Parent() const { return Parent_; }
  const std::vector<std::unique_ptr<TNode>>& Children() const { return Children_; }
  // The child after this one under the same parent, or null.
  TNode* NextSibling() const;

  // Local transform at a frame, and at the frame the node is posed at.
  CtsxTxmx3f LocalAt(float frame) const;
  CtsxTxmx3f Local() const { return LocalAt(PoseFrame); }
  // First and last key frame over all channels; false (and 0, 0) without keys.
  bool KeyRange(float& first, float& last) const;

  std::string Name;
  TChannel Position;
  TChannel Rotation;                         // degrees about X, Y, Z
  TChannel Scale{CtsxVector3f{1, 1, 1}};
  CtsxVector3f Color{0.8f, 0.8f, 0.8f};      // surface colour in the host's own render
  bool Visible = true;                       // drawn by the host's own render
  float PoseFrame = 0;

  // Polyhedra: the mesh and the recipe it was built from (none for meshes made in code).
  std::optional<TPolyhedron> Mesh;
  std::optional<TMeshSource> Source;

  // Custom objects: the type number, the type's name, and the payload bytes last read from or
  // written to a scene file (kept for objects whose type no plug-in defined).
  int CustomType = 0;
  std::string TypeName;
  std::vector<uint8_t> StoredPayload;
  // Readable settings (JSON text) a scene file gave an object whose type no plug-in defined;
  // saved back as they came.
  std::string StoredSettings;

 private:
  friend class TScene;
  TNodeKind Kind_;
  TNode* Parent_ = nullptr;
  std::vector<std::unique_ptr<TNode>> Children_;
};

// Euler angles in degrees (X first, then Y, then Z) to a rotation matrix.
CtsxTxmx3f EulerRotation(const CtsxVector3f& degrees);

}  // namespace stage
