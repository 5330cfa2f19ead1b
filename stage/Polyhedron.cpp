// Polyhedron storage: faces are kept as runs of a shared corner array and relinked whenever
// that array may have moved.
#include "stage/Polyhedron.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace stage {

TPolyhedron::TPolyhedron(const TPolyhedron& other)
    : Vertices_(other.Vertices_),
      UVs_(other.UVs_),
      Corners_(other.Corners_),
      FaceStart_(other.FaceStart_),
      Faces_(other.Faces_),
      Normals_(other.Normals_) {
  Relink();
}

TPolyhedron& TPolyhedron::operator=(const TPolyhedron& other) {
  if (this != &other) {
    TPolyhedron copy(other);
    *this = std::move(copy);
  }
  return *this;
}

int32_t TPolyhedron::AddVertex(const CtsxVector3f& v) {
  Vertices_.push_back(v);
  return static_cast<int32_t>(Vertices_.size() - 1);
}

int32_t TPolyhedron::AddUV(const tsxUV& uv) {
  UVs_.push_back(uv);
  return static_cast<int32_t>(UVs_.size() - 1);
}

void TPolyhedron::AddFace(std::span<const int32_t> vertices, std::span<const int32_t> uvs) {
  if (vertices.empty() || vertices.size() > 32767)
    throw std::invalid_argument("a face needs 1 to 32767 corners, not " +
                                std::to_string(vertices.size()));
  if (!uvs.empty() && uvs.size() != vertices.size())
    throw std::invalid_argument("a face needs one texture coordinate per corner or none");
  for (int32_t v : vertices)
    if (v < 0 || static_cast<size_t>(v) >= Vertices_.size())
      throw std::invalid_argument("face vertex index " + std::to_string(v) + " out of range");
  for (int32_t t : uvs)
    if (t < -1 || (t >= 0 && static_cast<size_t>(t) >= UVs_.size()))
      throw std::invalid_argument("face texture index " + std::to_string(t) + " out of range");

  // Newell's normal works for any planar polygon and degrades gracefully otherwise.
  double nx = 0, ny = 0, nz = 0;
  for (size_t i = 0; i < vertices.size(); ++i) {
    const CtsxVector3f& a = Vertices_[static_cast<size_t>(vertices[i])];
    const CtsxVector3f& b = Vertices_[static_cast<size_t>(vertices[(i + 1) % vertices.size()])];
    nx += (static_cast<double>(a.y) - b.y) * (static_cast<double>(a.z) + b.z);
    ny += (static_cast<double>(a.z) - b.z) * (static_cast<double>(a.x) + b.x);
    nz += (static_cast<double>(a.x) - b.x) * (static_cast<double>(a.y) + b.y);
  }
  const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
  CtsxVector3f n{0, 0, 0};
  if (len > 0 && std::isfinite(len))
    n = {static_cast<float>(nx / len), static_cast<float>(ny / len), static_cast<float>(nz / len)};

  // Relink everything only when an array moved; otherwise link the new face alone.
  const tsxCORNER* oldCorners = Corners_.data();
  const tsxFACE* oldFaces = Faces_.data();
  FaceStart_.push_back(Corners_.size());
  for (size_t i = 0; i < vertices.size(); ++i)
    Corners_.push_back({vertices[i], uvs.empty() ? -1 : uvs[i], n});
  Faces_.push_back({static_cast<int16_t>(vertices.size()), 0, nullptr});
  Normals_.push_back(n);
  if (Corners_.data() != oldCorners || Faces_.data() != oldFaces) {
    Relink();
  } else {
    Faces_.back().corners = Corners_.data() + FaceStart_.back();
    FacePtrs_.push_back(&Faces_.back());
  }
}

int32_t TPolyhedron::IndexOfFace(const tsxFACE* face) const {
  if (Faces_.empty() || face < Faces_.data() || face >= Faces_.data() + Faces_.size()) return -1;
  return static_cast<int32_t>(face - Faces_.data());
}

bool TPolyhedron::Bounds(CtsxVector3f& min, CtsxVector3f& max) const {
  if (Vertices_.empty()) return false;
  min = max = Vertices_.front();
  for (const CtsxVector3f& v : Vertices_) {
    min = {std::fmin(min.x, v.x), std::fmin(min.y, v.y), std::fmin(min.z, v.z)};
    max = {std::fmax(max.x, v.x), std::fmax(max.y, v.y), std::fmax(max.z, v.z)};
  }
  return true;
}

void TPolyhedron::Relink() {
  FacePtrs_.resize(Faces_.size());
  for (size_t f = 0; f < Faces_.size(); ++f) {
    Faces_[f].corners = Corners_.data() + FaceStart_[f];
    FacePtrs_[f] = &Faces_[f];
  }
}

}  // namespace stage
