// Writes the seed corpora of the fuzz targets: the example scenes, the emitter and tool
// records inside them (as payload, settings-file and map-list seeds), the pictures of the
// shared test corpus and a few OBJ meshes. Usage: fuzz-seeds OUT EXAMPLES SHARED_TESTDATA.
#include <nlohmann/json.hpp>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/ParticleMapSource.h"
#include "engine/Stream.h"
#include "scene/EmitterObj.h"
#include "stage/Base64.h"

namespace fs = std::filesystem;

namespace {

void Put(const fs::path& dir, const std::string& name, uint8_t selector, const std::vector<uint8_t>& bytes,
         bool withSelector = true) {
  fs::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
  if (withSelector) out.put(static_cast<char>(selector));
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

// The records of the scene's objects, found by their type names.
void FromScene(const fs::path& out, const fs::path& scene, int& count) {
  std::ifstream in(scene);
  const nlohmann::json root = nlohmann::json::parse(in, nullptr, false);
  if (root.is_discarded()) return;
  std::vector<const nlohmann::json*> todo;
  if (root.contains("nodes")) todo.push_back(&root["nodes"]);
  while (!todo.empty()) {
    const nlohmann::json& nodes = *todo.back();
    todo.pop_back();
    if (!nodes.is_array()) continue;
    for (const auto& n : nodes) {
      if (n.contains("children")) todo.push_back(&n["children"]);
      if (!n.contains("payload") || !n["payload"].is_string()) continue;
      const auto payload = stage::DecodeBase64(n["payload"].get<std::string>());
      if (!payload || payload->size() < 8) continue;
      const std::vector<uint8_t> record(payload->begin() + 8, payload->end());
      const std::vector<uint8_t> versioned(payload->begin(), payload->begin() + 4);
      const std::string name = std::to_string(count++);
      const bool emitter = n.value("objectType", "") == "VNTX_Emitter";
      if (!emitter) {
        Put(out / "payload", name, 2, record);
        continue;
      }
      Put(out / "payload", name, 0, record);
      std::vector<uint8_t> settings = versioned;
      settings.insert(settings.end(), record.begin(), record.end());
      Put(out / "settings", name, 0, settings);
      // Each slot as a system settings file, and its map list.
      TEmitterObject object;
      TMemoryStream s(record);
      int32_t version = 0;
      std::memcpy(&version, payload->data(), 4);
      object.ReadFrom(version, s);
      for (size_t k = 0; k < object.Systems.size(); ++k) {
        TMemoryStream slot;
        WriteField(slot, EmitterRecordVersion);
        object.Systems[k]->WriteTo(slot, true);
        Put(out / "settings", name + "-" + std::to_string(k), 1, slot.Data());
        TMemoryStream maps;
        object.Systems[k]->System.Maps.SaveToStream(maps);
        Put(out / "maps", name + "-" + std::to_string(k), 0, maps.Data(), false);
      }
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: fuzz-seeds OUT SCENE_FOLDER... SHARED_TESTDATA\n");
    return 2;
  }
  const fs::path out = argv[1], shared = argv[argc - 1];
  int count = 0;
  std::error_code ec;
  // Scene folders: the examples (readable settings) and scenes whose objects hold base64 payloads,
  // the source of the payload and settings-file seeds.
  for (int a = 2; a < argc - 1; ++a)
    for (const auto& e : fs::recursive_directory_iterator(argv[a], ec)) {
      if (e.path().extension() != ".json") continue;
      fs::create_directories(out / "scene");
      fs::copy_file(e.path(), out / "scene" / (std::to_string(count++) + ".json"), fs::copy_options::overwrite_existing);
      FromScene(out, e.path(), count);
    }
  // Small scenes reaching the reader's other branches.
  const char* scenes[] = {
      R"({"vantrelScene": 1, "nodes": [{"type": "mesh", "mesh": {"vertices": [[0,0,0],[1,0,0],[0,1,0]], "faces": [[0,1,2]]}}]})",
      R"({"vantrelScene": 1, "render": {"width": 10, "height": 10, "region": [1, 1, 5, 5], "frames": [0, 3]},
          "nodes": [{"type": "group", "children": [{"type": "object", "objectType": "X", "payload": "AQID"}]}]})",
      R"({"vantrelScene": 1, "camera": {"projection": "orthographic", "height": 4}, "nodes": [{"type": "mesh",
          "mesh": {"primitive": "grid", "size": [2, 2], "divisions": [2, 2]},
          "position": [{"frame": 5, "value": [1, 2, 3]}, {"frame": 1, "value": [0, 0, 0]}]}]})",
  };
  for (const char* s : scenes) Put(out / "scene", "hand-" + std::to_string(count++), 0, Bytes(s), false);
  // A default map list, and one with a second entry.
  Put(out / "maps", "default", 0, [] {
    TMemoryStream s;
    TParticleMapSource().SaveToStream(s);
    return s.Data();
  }(), false);

  // Pictures: each file of the shared corpus, with the selector of its extension.
  const std::vector<std::string> extensions = {".bmp", ".dib", ".ico", ".cur", ".jpg", ".png", ".tga",
                                               ".tif", ".psd", ".pbm", ".pgm", ".ppm", ".gif"};
  for (const auto& e : fs::recursive_directory_iterator(shared, ec)) {
    if (!e.is_regular_file() || e.file_size() > 256 * 1024) continue;
    std::string ext = e.path().extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".jpeg") ext = ".jpg";
    if (ext == ".tiff") ext = ".tif";
    size_t k = 0;
    while (k < extensions.size() && extensions[k] != ext) ++k;
    if (k == extensions.size()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    Put(out / "picture", std::to_string(count++) + ext, static_cast<uint8_t>(k), bytes);
  }

  // OBJ meshes: polygons with texture and normal indices, negative indices, groups, weights.
  const char* meshes[] = {
      "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nf 1/1 2/2 3/3 4/4\n",
      "o a\ng b\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nf -3//1 -2//1 -1//1\nl 1 2\n",
      "v 0 0 0 1\nv 1 0 0 1\nv 0 1 0 1\nvw 0 1 1.0\nf 1 2 3\n",
  };
  for (const char* m : meshes) Put(out / "obj", std::to_string(count++) + ".obj", 0, Bytes(m), false);
  std::printf("fuzz-seeds: %d seeds in %s\n", count, out.c_str());
  return 0;
}
