// Fuzz target: scene files. Any bytes either load or are refused with ESceneFileError; a file
// that loads is saved, loaded again and saved again, and the two saves agree byte for byte.
#include <cstdint>

#include "FuzzUtil.h"
#include "stage/SceneFile.h"
#include "stage/Stage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  stage::ResetStage();
  const auto input = fuzz::WriteInput("scene.json", data, size);
  try {
    stage::LoadSceneFile(stage::Stage(), input);
  } catch (const stage::ESceneFileError&) {
    return 0;
  }
  const auto first = fuzz::WorkDir() / "first.json", second = fuzz::WorkDir() / "second.json";
  stage::SaveSceneFile(stage::Stage(), first);
  stage::ResetStage();
  try {
    stage::LoadSceneFile(stage::Stage(), first);
  } catch (const stage::ESceneFileError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    fuzz::Disagree("a saved scene does not load");
  }
  stage::SaveSceneFile(stage::Stage(), second);
  std::ifstream a(first, std::ios::binary), b(second, std::ios::binary);
  const std::string ta((std::istreambuf_iterator<char>(a)), {}), tb((std::istreambuf_iterator<char>(b)), {});
  if (ta != tb) fuzz::Disagree("the scene saved after loading its save differs");
  return 0;
}
