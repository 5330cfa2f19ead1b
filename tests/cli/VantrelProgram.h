// The fixture of the tests that run the vantrel program as a user runs it: a temporary folder
// holding a small scene, the program run there with its output and exit code captured.
#pragma once

#include <gtest/gtest.h>

#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// A box in front of the camera on a blue-grey background, 32 × 24, frames 0 to 2.
inline constexpr const char* SmallScene = R"({
  "vantrelScene": 1,
  "camera": {"eye": [0, -10, 0], "target": [0, 0, 0], "fieldOfView": 40},
  "render": {"width": 32, "height": 24, "frames": [0, 2], "background": [0.2, 0.4, 0.6]},
  "nodes": [{"name": "Box", "type": "mesh", "mesh": {"primitive": "box", "size": [2, 2, 2]}},
            {"name": "Rig", "type": "group", "children": [{"name": "Cone", "type": "mesh",
              "mesh": {"primitive": "sphere", "radius": 0.5}, "position": [3, 0, 0]}]}]
})";

struct TRun {
  int Code = -1;
  std::string Out, Err;
};

// A file's bytes as they are on disk (empty when it cannot be read).
inline std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs a program in a folder with the arguments (shell-quoted by the caller where needed); its
// standard output and error are captured in files there.
inline TRun RunProgramIn(const std::filesystem::path& dir, const std::string& program, const std::string& args) {
  const std::string command = "cd '" + dir.string() + "' && '" + program + "' " + args + " >'" +
                              (dir / "stdout.txt").string() + "' 2>'" + (dir / "stderr.txt").string() + "'";
  const int status = std::system(command.c_str());
  TRun run;
  run.Code = WIFEXITED(status) ? WEXITSTATUS(status) : 1000;
  run.Out = ReadFile(dir / "stdout.txt");
  run.Err = ReadFile(dir / "stderr.txt");
  return run;
}

class VantrelProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = std::filesystem::temp_directory_path() /
          ("vantrel-cli-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(Dir);
    std::filesystem::create_directories(Dir / "shot");
    std::ofstream(Dir / "shot" / "scene.json") << SmallScene;
  }
  void TearDown() override { std::filesystem::remove_all(Dir); }

  // Runs the program in Dir with the arguments (shell-quoted by the caller where needed).
  TRun Run(const std::string& args, const std::string& program = VANTREL_PROGRAM) {
    return RunProgramIn(Dir, program, args);
  }
  static std::vector<uint8_t> ReadPng(const std::filesystem::path& p, int& w, int& h) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, p.c_str())) return {};
    png.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr)) return {};
    w = static_cast<int>(png.width);
    h = static_cast<int>(png.height);
    return rgb;
  }

  std::filesystem::path Dir;
  const std::string Fixture = "--plugin '" FIXTURE_PLUGIN "' ";
};
