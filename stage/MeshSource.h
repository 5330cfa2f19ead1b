// Where a polyhedron comes from: a primitive with its parameters, or an OBJ file. The source is
// kept beside the mesh so that a scene file stores the recipe, not the triangles.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "stage/Polyhedron.h"

namespace stage {

enum class TPrimitive { Plane, Box, Sphere, Grid, ObjFile };

struct TMeshSource {
  TPrimitive Kind = TPrimitive::Box;
  // Plane and grid: width (x) and depth (y), in the z = 0 plane, facing +Z. Box: x, y, z sizes.
  std::array<float, 3> Size{1, 1, 1};
  float Radius = 1;                 // sphere
  int Segments = 16, Rings = 8;     // sphere: around Z, pole to pole
  int DivisionsX = 4, DivisionsY = 4;  // grid
  std::string ObjPath;              // as written in the scene; relative to the scene's folder
};

// Builds the polyhedron of a primitive, centred on the origin, faces counter-clockwise seen from
// outside. Throws std::invalid_argument for sizes, radii or counts out of range (sizes must be
// finite and positive, counts 1..1024 with at least 3 segments and 2 rings).
TPolyhedron BuildPrimitive(const TMeshSource& source);

// The memory the polyhedron of a primitive takes, counted before it is built; 0 for an OBJ file
// (whose memory follows its size).
uint64_t PrimitiveMemory(const TMeshSource& source);

// Reads an OBJ file (polygons kept as written, texture coordinates kept, materials ignored).
// Throws std::runtime_error naming the file when it cannot be read or is malformed.
TPolyhedron LoadObjFile(const std::filesystem::path& path);

// Either of the above; OBJ paths are resolved against baseDir when relative.
TPolyhedron BuildMesh(const TMeshSource& source, const std::filesystem::path& baseDir);

}  // namespace stage
