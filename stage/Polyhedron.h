// A host polyhedron: vertices, texture coordinates, faces of corners and their normals, laid
// out exactly as the host interface hands them to the plug-in (arrays of CtsxVector3f, of face
// pointers, of 20-byte corners). Faces point into the polyhedron's own corner array, so a copy
// rebuilds the pointers.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "hostapi/TsxApi5.h"

namespace stage {

class TPolyhedron {
 public:
  TPolyhedron() = default;
  TPolyhedron(const TPolyhedron& other);
  TPolyhedron& operator=(const TPolyhedron& other);
  TPolyhedron(TPolyhedron&&) noexcept = default;
  TPolyhedron& operator=(TPolyhedron&&) noexcept = default;

  // Appends a vertex or texture coordinate; answers its index.
  int32_t AddVertex(const CtsxVector3f& v);
  int32_t AddUV(const tsxUV& uv);
  // Appends a face through the given vertices (counter-clockwise seen from its front) with
  // optional texture coordinate indices (empty or one per corner). Throws std::invalid_argument
  // for fewer than one corner, more than 32767, or an index out of range. The corner normals
  // are the face normal.
  void AddFace(std::span<const int32_t> vertices, std::span<const int32_t> uvs = {});

  std::span<const CtsxVector3f> Vertices() const { return Vertices_; }
  std::span<const tsxUV> UVs() const { return UVs_; }
  int32_t FaceCount() const { return static_cast<int32_t>(Faces_.size()); }
  const tsxFACE& Face(int32_t index) const { return Faces_[static_cast<size_t>(index)]; }
  // Unit normal by Newell's method; the zero vector for a degenerate face.
  const CtsxVector3f& FaceNormal(int32_t index) const { return Normals_[static_cast<size_t>(index)]; }
  // The index of a face handed out through FacePointers, or −1.
  int32_t IndexOfFace(const tsxFACE* face) const;

  // The arrays as the host interface hands them out; valid until the polyhedron changes.
  CtsxVector3f* VertexArray() { return Vertices_.data(); }
  tsxUV* UVArray() { return UVs_.data(); }
  tsxFACE** FacePointers() { return FacePtrs_.data(); }

  // Object-space bounds; false when there are no vertices.
  bool Bounds(CtsxVector3f& min, CtsxVector3f& max) const;

 private:
  void Relink();

  std::vector<CtsxVector3f> Vertices_;
  std::vector<tsxUV> UVs_;
  std::vector<tsxCORNER> Corners_;
  std::vector<size_t> FaceStart_;  // first corner of each face
  std::vector<tsxFACE> Faces_;
  std::vector<tsxFACE*> FacePtrs_;
  std::vector<CtsxVector3f> Normals_;
};

}  // namespace stage
