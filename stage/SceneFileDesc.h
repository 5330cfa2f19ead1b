// The checked description of a scene file: what reading hands to building once the whole file
// has been read and checked, so that a damaged file changes nothing in the stage. Private to
// the scene file's units: reading and checking (SceneFileReader.cpp), building the scene
// (SceneFileBuilder.cpp) and writing (SceneFileWriter.cpp); stage/SceneFile.h is their face.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "stage/MeshSource.h"
#include "stage/Stage.h"

namespace stage::scenefile {

// Keys keep the order they were written in, so saved scenes read top down as documented.
using json = nlohmann::ordered_json;

constexpr int kFormatVersion = 1;

struct TNodeDesc {
  TNodeKind Kind = TNodeKind::Group;
  std::string Name;
  TChannel Position, Rotation, Scale{CtsxVector3f{1, 1, 1}};
  CtsxVector3f Color{0.8f, 0.8f, 0.8f};
  bool Visible = true;
  std::optional<TPolyhedron> Mesh;
  std::optional<TMeshSource> Source;
  std::string TypeName;
  std::vector<uint8_t> Payload;
  std::string Settings;  // readable settings kept as text for a type no plug-in defined
  std::string Path;  // where the node stands in the file, for messages
  std::vector<TNodeDesc> Children;
};

struct TSceneDesc {
  TCamera Camera;
  std::optional<int32_t> ViewWidth, ViewHeight;
  TRenderSettings Render;
  float Time = 0;
  std::map<std::string, std::string> PluginSettings;
  std::vector<TNodeDesc> Nodes;
};

// Reads and checks the whole scene file: its size, its JSON, every key and value, the objects'
// readable settings turned into payloads by their plug-ins. Throws ESceneFileError naming the
// file, the line and column and the JSON path; warnings receives what is read but ignored.
TSceneDesc ReadSceneFile(const std::filesystem::path& path, const TObjectTypes& types,
                         std::vector<std::string>& warnings);

// Runs a plug-in's payload converter; the pieces it hands back are joined into out.
bool ConvertPayload(tsxPAYLOADCONVERTFUNC convert, const std::string& typeName, const std::string& in,
                    std::string& out);

// A JSON path cut to something a person reads: a path through thousands of nested children
// keeps its start and its end.
std::string ShortPath(const std::string& path);

}  // namespace stage::scenefile
