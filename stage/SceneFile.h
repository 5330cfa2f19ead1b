// Scene files: JSON documents holding the camera, the view, the render settings, the active
// time and the node tree with keys, meshes (primitive parameters, an OBJ path, or the vertices
// and faces of a mesh made in code) and, for custom objects, the type name and the payload the
// plug-in writes through its file callback, base64-encoded. docs/scene-files.md describes every
// key.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace stage {

class TStage;

// A scene file that cannot be read or written. The message names the file and, for a damaged
// file, the line and column or the JSON path of what is wrong.
class ESceneFileError : public std::runtime_error {
 public:
  explicit ESceneFileError(const std::string& message) : std::runtime_error(message) {}
};

// Replaces the stage's scene with the file's. The whole file is read and checked first; a
// damaged file throws ESceneFileError and leaves the stage as it was. Then the old scene is
// closed (general event "scene close", delete callbacks), the new one built, the read
// callbacks of its custom objects called in tree order, and "scene load" raised. Answers the
// warnings (unknown keys, custom objects of types no plug-in defined), each naming the file and
// the JSON path.
std::vector<std::string> LoadSceneFile(TStage& stage, const std::filesystem::path& path);

// Writes the stage's scene, calling the write callback of every custom object. The file is
// written beside the target under a temporary name and renamed over it. Throws ESceneFileError
// when it cannot be written (the old file is then untouched).
void SaveSceneFile(TStage& stage, const std::filesystem::path& path);

}  // namespace stage
