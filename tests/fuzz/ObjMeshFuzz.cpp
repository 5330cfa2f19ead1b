// Fuzz target: OBJ meshes as the stage reads them for a mesh node. Any bytes either give a
// polyhedron whose faces index its vertices or are refused with an exception.
#include <cstdint>
#include <exception>

#include "FuzzUtil.h"
#include "stage/MeshSource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto path = fuzz::WriteInput("mesh.obj", data, size);
  try {
    const stage::TPolyhedron mesh = stage::LoadObjFile(path);
    for (int32_t f = 0; f < mesh.FaceCount(); ++f) {
      const tsxFACE& face = mesh.Face(f);
      for (int16_t k = 0; k < face.nbrCorners; ++k)
        if (face.corners[k].vxIndex < 0 || face.corners[k].vxIndex >= static_cast<int32_t>(mesh.Vertices().size()))
          fuzz::Disagree("a face corner outside the vertices");
    }
  } catch (const std::exception&) {
  }
  return 0;
}
