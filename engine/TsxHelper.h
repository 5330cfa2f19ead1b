// Polyhedron access: TPolyh wraps a host polyhedron so that emitters can emit from the surfaces
// of meshes near them. It reads vertices, faces and normals through the host interface, picks a
// random face and a random point on a face. Random draws come from the program-wide generator.
// SnapZero, MakeVec3 and the shared constants live in engine/VectorData.h.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "engine/VectorData.h"
#include "hostapi/TsxApi5.h"

// The host's records as the engine's types.
TVec3f FromHost(const CtsxVector3f& v);
TMx3f FromHost(const CtsxTxmx3f& m);
// A node's object-to-world transform at the host's current time; the identity for no node.
TMx3f ObjectTransform(tsxGNODE* node);

// One host scene object.
class TSObj {
 public:
  explicit TSObj(tsxSOBJ* handle) : Handle_(handle) {}
  virtual ~TSObj() = default;
  tsxSOBJ* Handle() const { return Handle_; }

 protected:
  tsxSOBJ* Handle_;
};

// A host polyhedron and what was read from it when the wrapper was made. The arrays belong to
// the host: the wrapper neither copies nor frees them and is valid only while the host's mesh is
// unchanged. Out-of-range indices answer the zero vector, null or 0, never a crash.
class TPolyh : public TSObj {
 public:
  explicit TPolyh(tsxPOLYHEDRON* polyh);

  int32_t VertexCount() const { return VertexCount_; }
  int32_t UVCount() const { return UVCount_; }
  const tsxUV* UVs() const { return UVs_; }
  int32_t FaceCount() const { return FaceCount_; }

  TVec3f Vertex(int32_t index) const;
  // Copies the host's current vertex transform (vertex space to world).
  void ReadVertexTransform(TMx3f& dst) const;
  // The transform read when the wrapper was made.
  const TMx3f& VertexTransform() const { return VertexTransform_; }
  const tsxFACE* Face(int32_t index) const;
  // The host's normal of the face, in vertex space.
  void FaceNormal(int32_t index, TVec3f& dst) const;
  void FaceNormal(const tsxFACE* face, TVec3f& dst) const;
  static int32_t CornerCount(const tsxFACE* face);
  TVec3f CornerVertex(const tsxFACE* face, int32_t k) const;

  // −1 without faces (no draw), else RandomInt(face count).
  int32_t RandomFaceIndex() const;
  // A point on the face, in vertex space; always yields one (failures of the alignment or of
  // the sampling fall back to the weighted average of the corners).
  void RandomPointOnFace(const tsxFACE* face, TVec3f& dst) const;
  void RandomPointOnFace(int32_t index, TVec3f& dst) const { RandomPointOnFace(Face(index), dst); }

 private:
  bool Align(const tsxFACE* face, TMx3f& p) const;
  void WeightedAverage(const tsxFACE* face, TVec3f& dst) const;

  int32_t VertexCount_ = 0;
  const CtsxVector3f* Vertices_ = nullptr;
  int32_t UVCount_ = 0;
  const tsxUV* UVs_ = nullptr;
  int32_t FaceCount_ = 0;
  tsxFACE* const* Faces_ = nullptr;
  TMx3f VertexTransform_ = IdentityMx3f;
};

// The sampling steps of RandomPointOnFace, exposed for testing.
namespace polyh_detail {
// Crossing-count test of (px, py) against the points' x and y; fewer than 3 points: outside.
bool InsidePointSet(std::span<const TVec3f> points, float px, float py);
// Up to 10 candidates inside the points' x/y bounds; false when a span is below 0.001 or none
// falls inside. On success out is (x, y, z of the first point).
bool SampleInside(std::span<const TVec3f> points, TVec3f& out);
}  // namespace polyh_detail
