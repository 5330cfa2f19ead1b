// Local transforms and key ranges of scene nodes.
#include "stage/Node.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace stage {

int TNode::TypeCode() const {
  switch (Kind_) {
    case TNodeKind::Group:
      return tsxTYPE_GROUP;
    case TNodeKind::Polyhedron:
      return tsxTYPE_POLYHEDRON;
    case TNodeKind::Custom:
      return CustomType;
  }
  return tsxTYPE_NONE;
}

TNode* TNode::NextSibling() const {
  if (!Parent_) return nullptr;
  const auto& siblings = Parent_->Children_;
  for (size_t i = 0; i + 1 < siblings.size(); ++i)
    if (siblings[i].get() == this) return siblings[i + 1].get();
  return nullptr;
}

CtsxTxmx3f EulerRotation(const CtsxVector3f& degrees) {
  const double k = std::numbers::pi / 180.0;
  const double cx = std::cos(degrees.x * k), sx = std::sin(degrees.x * k);
  const double cy = std::cos(degrees.y * k), sy = std::sin(degrees.y * k);
  const double cz = std::cos(degrees.z * k), sz = std::sin(degrees.z * k);
  // Rz · Ry · Rx
  const double r[3][3] = {
      {cz * cy, cz * sy * sx - sz * cx, cz * sy * cx + sz * sx},
      {sz * cy, sz * sy * sx + cz * cx, sz * sy * cx - cz * sx},
      {-sy, cy * sx, cy * cx},
  };
  CtsxTxmx3f m{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m.m[i][j] = static_cast<float>(r[i][j]);
  return m;
}

CtsxTxmx3f TNode::LocalAt(float frame) const {
  const CtsxVector3f p = Position.At(frame), s = Scale.At(frame);
  CtsxTxmx3f m = EulerRotation(Rotation.At(frame));
  const float scale[3] = {s.x, s.y, s.z};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m.m[i][j] = static_cast<float>(static_cast<double>(m.m[i][j]) * scale[j]);
  m.m[0][3] = p.x;
  m.m[1][3] = p.y;
  m.m[2][3] = p.z;
  return m;
}

bool TNode::KeyRange(float& first, float& last) const {
  bool any = false;
  first = last = 0;
  for (const TChannel* c : {&Position, &Rotation, &Scale}) {
    for (const TKey& k : c->Keys()) {
      if (!any) {
        first = last = k.Frame;
        any = true;
      }
      first = std::min(first, k.Frame);
      last = std::max(last, k.Frame);
    }
  }
  return any;
}

}  // namespace stage
