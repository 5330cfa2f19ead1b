// Primitive meshes and OBJ files.
#include "stage/MeshSource.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <string>
#include <system_error>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace stage {

namespace {

void CheckSize(float v, const char* what) {
  if (!(v > 0) || !std::isfinite(v))
    throw std::invalid_argument(std::string(what) + " must be a positive number; expected a number above 0");
}

void CheckCount(int n, int least, const char* what) {
  if (n < least || n > 1024)
    throw std::invalid_argument(std::string(what) + " must be between " + std::to_string(least) +
                                " and 1024");
}

TPolyhedron Grid(float w, float d, int nx, int ny) {
  TPolyhedron p;
  for (int j = 0; j <= ny; ++j)
    for (int i = 0; i <= nx; ++i) {
      const float u = static_cast<float>(i) / static_cast<float>(nx);
      const float v = static_cast<float>(j) / static_cast<float>(ny);
      p.AddVertex({(u - 0.5f) * w, (v - 0.5f) * d, 0});
      p.AddUV({u, v});
    }
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      const int32_t a = j * (nx + 1) + i;
      const int32_t q[4] = {a, a + 1, a + nx + 2, a + nx + 1};
      p.AddFace(q, q);
    }
  return p;
}

TPolyhedron Box(float sx, float sy, float sz) {
  TPolyhedron p;
  const float x = sx / 2, y = sy / 2, z = sz / 2;
  const CtsxVector3f c[8] = {{-x, -y, -z}, {x, -y, -z}, {x, y, -z}, {-x, y, -z},
                             {-x, -y, z},  {x, -y, z},  {x, y, z},  {-x, y, z}};
  for (const CtsxVector3f& v : c) p.AddVertex(v);
  const int32_t faces[6][4] = {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4},
                               {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}};
  for (const auto& f : faces) p.AddFace(f);
  return p;
}

TPolyhedron Sphere(float r, int segments, int rings) {
  TPolyhedron p;
  const int32_t south = p.AddVertex({0, 0, -r});
  // Rings of vertices between the poles, from south to north.
  for (int k = 1; k < rings; ++k) {
    const double theta = std::numbers::pi * k / rings;  // from the south pole
    const double z = -std::cos(theta) * r, rr = std::sin(theta) * r;
    for (int s = 0; s < segments; ++s) {
      const double phi = 2 * std::numbers::pi * s / segments;
      p.AddVertex({static_cast<float>(rr * std::cos(phi)), static_cast<float>(rr * std::sin(phi)),
                   static_cast<float>(z)});
    }
  }
  const int32_t north = p.AddVertex({0, 0, r});
  auto at = [&](int ring, int s) { return 1 + (ring - 1) * segments + (s % segments); };
  for (int s = 0; s < segments; ++s) {
    const int32_t t[3] = {south, at(1, s + 1), at(1, s)};
    p.AddFace(t);
  }
  for (int k = 1; k + 1 < rings; ++k)
    for (int s = 0; s < segments; ++s) {
      const int32_t q[4] = {at(k, s), at(k, s + 1), at(k + 1, s + 1), at(k + 1, s)};
      p.AddFace(q);
    }
  for (int s = 0; s < segments; ++s) {
    const int32_t t[3] = {north, at(rings - 1, s), at(rings - 1, s + 1)};
    p.AddFace(t);
  }
  return p;
}

}  // namespace

TPolyhedron BuildPrimitive(const TMeshSource& source) {
  switch (source.Kind) {
    case TPrimitive::Plane:
      CheckSize(source.Size[0], "plane width");
      CheckSize(source.Size[1], "plane depth");
      return Grid(source.Size[0], source.Size[1], 1, 1);
    case TPrimitive::Grid:
      CheckSize(source.Size[0], "grid width");
      CheckSize(source.Size[1], "grid depth");
      CheckCount(source.DivisionsX, 1, "grid divisions");
      CheckCount(source.DivisionsY, 1, "grid divisions");
      return Grid(source.Size[0], source.Size[1], source.DivisionsX, source.DivisionsY);
    case TPrimitive::Box:
      CheckSize(source.Size[0], "box width");
      CheckSize(source.Size[1], "box depth");
      CheckSize(source.Size[2], "box height");
      return Box(source.Size[0], source.Size[1], source.Size[2]);
    case TPrimitive::Sphere:
      CheckSize(source.Radius, "sphere radius");
      CheckCount(source.Segments, 3, "sphere segments");
      CheckCount(source.Rings, 2, "sphere rings");
      return Sphere(source.Radius, source.Segments, source.Rings);
    case TPrimitive::ObjFile:
      break;
  }
  throw std::invalid_argument("not a primitive");
}

uint64_t PrimitiveMemory(const TMeshSource& source) {
  uint64_t vertices = 0, faces = 0, corners = 4;
  const auto count = [](int n) { return static_cast<uint64_t>(std::max(n, 0)); };
  switch (source.Kind) {
    case TPrimitive::Plane:
      vertices = 4;
      faces = 1;
      break;
    case TPrimitive::Grid:
      vertices = (count(source.DivisionsX) + 1) * (count(source.DivisionsY) + 1);
      faces = count(source.DivisionsX) * count(source.DivisionsY);
      break;
    case TPrimitive::Box:
      vertices = 8;
      faces = 6;
      break;
    case TPrimitive::Sphere:
      vertices = 2 + count(source.Rings) * count(source.Segments);
      faces = count(source.Segments) * count(source.Rings);
      break;
    case TPrimitive::ObjFile:
      return 0;
  }
  const uint64_t perVertex = sizeof(CtsxVector3f) + sizeof(tsxUV);
  const uint64_t perFace = sizeof(tsxFACE) + sizeof(tsxFACE*) + sizeof(size_t) + sizeof(CtsxVector3f) +
                           corners * sizeof(tsxCORNER);
  return vertices * perVertex + faces * perFace;
}

namespace {

constexpr std::uintmax_t kMaxObjBytes = std::uintmax_t{1} << 30;

// Blanks every skin-weight line ("vw ..."): the stage has no use for weights, and the mesh
// library converts their numbers to int without a range check (a float-to-int overflow for a
// large one). The line stays as an empty one, so that the library's line numbers still hold.
void WithoutSkinWeights(std::string& text) {
  size_t line = 0;
  while (line < text.size()) {
    size_t end = text.find('\n', line);
    if (end == std::string::npos) end = text.size();
    size_t at = line;
    while (at < end && (text[at] == ' ' || text[at] == '\t')) ++at;
    if (end - at >= 3 && text[at] == 'v' && text[at + 1] == 'w' && (text[at + 2] == ' ' || text[at + 2] == '\t'))
      std::fill(text.begin() + static_cast<std::ptrdiff_t>(line), text.begin() + static_cast<std::ptrdiff_t>(end), ' ');
    line = end + 1;
  }
}

}  // namespace

TPolyhedron LoadObjFile(const std::filesystem::path& path) {
  tinyobj::ObjReaderConfig config;
  config.triangulate = false;
  config.vertex_color = false;
  config.mtl_search_path = "";
  tinyobj::ObjReader reader;
  const std::string name = path.string();
  if (!std::filesystem::is_regular_file(path))
    throw std::runtime_error(name + ": cannot open the OBJ file");
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) throw std::runtime_error(name + ": cannot open the OBJ file");
  if (size > kMaxObjBytes) throw std::runtime_error(name + ": larger than an OBJ file can be (1 GB)");
  std::ifstream in(path, std::ios::binary);
  std::string text(static_cast<size_t>(size), '\0');
  in.read(text.data(), static_cast<std::streamsize>(size));
  if (!in) throw std::runtime_error(name + ": cannot read the OBJ file");
  WithoutSkinWeights(text);
  if (!reader.ParseFromString(text, "", config))
    throw std::runtime_error(name + ": " +
                             (reader.Error().empty() ? "not a readable OBJ file" : reader.Error()));

  const tinyobj::attrib_t& attrib = reader.GetAttrib();
  TPolyhedron p;
  for (size_t i = 0; i + 2 < attrib.vertices.size(); i += 3)
    p.AddVertex({attrib.vertices[i], attrib.vertices[i + 1], attrib.vertices[i + 2]});
  for (size_t i = 0; i + 1 < attrib.texcoords.size(); i += 2)
    p.AddUV({attrib.texcoords[i], attrib.texcoords[i + 1]});

  std::vector<int32_t> vx, uv;
  for (const tinyobj::shape_t& shape : reader.GetShapes()) {
    size_t offset = 0;
    for (size_t f = 0; f < shape.mesh.num_face_vertices.size(); ++f) {
      const size_t n = shape.mesh.num_face_vertices[f];
      if (offset + n > shape.mesh.indices.size())
        throw std::runtime_error(name + ": face " + std::to_string(f + 1) + " of '" + shape.name +
                                 "' runs past its index list");
      vx.clear();
      uv.clear();
      bool allUV = true;
      for (size_t k = 0; k < n; ++k) {
        const tinyobj::index_t& idx = shape.mesh.indices[offset + k];
        vx.push_back(idx.vertex_index);
        uv.push_back(idx.texcoord_index);
        allUV = allUV && idx.texcoord_index >= 0;
      }
      offset += n;
      try {
        p.AddFace(vx, allUV ? std::span<const int32_t>(uv) : std::span<const int32_t>());
      } catch (const std::invalid_argument& e) {
        throw std::runtime_error(name + ": face " + std::to_string(f + 1) + " of '" +
                                 shape.name + "': " + e.what());
      }
    }
  }
  return p;
}

TPolyhedron BuildMesh(const TMeshSource& source, const std::filesystem::path& baseDir) {
  if (source.Kind != TPrimitive::ObjFile) return BuildPrimitive(source);
  std::filesystem::path path(source.ObjPath);
  if (path.is_relative()) path = baseDir / path;
  return LoadObjFile(path);
}

}  // namespace stage
