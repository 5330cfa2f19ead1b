// vantrel-bake, vantrel-examples and vantrel-pictures run as a user runs them: options,
// refusals, CSV on standard output, PLY point clouds read back with stable particle ids, the
// pictures of the data folder drawn again byte for byte.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

#include "VantrelProgram.h"

namespace fs = std::filesystem;

namespace {

class ToolPrograms : public ::testing::Test {
 protected:
  void SetUp() override {
    Dir = fs::temp_directory_path() / ("vantrel-tools-" + std::to_string(getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(Dir);
    fs::create_directories(Dir);
  }
  void TearDown() override { fs::remove_all(Dir); }

  TRun Run(const std::string& program, const std::string& args) { return RunProgramIn(Dir, program, args); }

  fs::path Dir;
  const std::string Scene = "'" EXAMPLES_DIR "/fountain/scene.json'";
};

// One particle of a PLY file: its id (emitter, slot, birth order) and age.
using TId = std::tuple<int, int, long>;
std::map<TId, float> PlyAges(const std::string& text, size_t& vertices) {
  std::istringstream in(text);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "ply");
  vertices = 0;
  int properties = 0;
  while (std::getline(in, line) && line != "end_header") {
    if (line.rfind("element vertex ", 0) == 0) vertices = std::stoul(line.substr(15));
    if (line.rfind("property ", 0) == 0) ++properties;
  }
  EXPECT_EQ(properties, 12);
  std::map<TId, float> ages;
  size_t rows = 0;
  while (std::getline(in, line)) {
    std::istringstream row(line);
    float x, y, z, size, alpha, age;
    int r, g, b, emitter, slot;
    long order;
    row >> x >> y >> z >> r >> g >> b >> size >> alpha >> age >> emitter >> slot >> order;
    EXPECT_TRUE(row) << line;
    EXPECT_TRUE(r >= 0 && r <= 255 && g >= 0 && g <= 255 && b >= 0 && b <= 255) << line;
    EXPECT_GE(age, 0) << line;
    EXPECT_TRUE(ages.emplace(TId{emitter, slot, order}, age).second) << "ids are unique: " << line;
    ++rows;
  }
  EXPECT_EQ(rows, vertices);
  return ages;
}

}  // namespace

TEST_F(ToolPrograms, BakeRefusesWhatWouldLoseFrames) {
  const std::pair<const char*, const char*> cases[] = {
      {"--frames 3-5 --csv parts.csv", "has no # for the frame number"},
      {"--frames 3-5 --ply cloud.ply", "has no # for the frame number"},
      {"--frames 3-5 --csv -", "standard output"},
      {"--frame 3 --csv - --ply -", "only one of"},
      {"--frames 0-99999999999 --csv 'p#.csv'", "--frames wants A-B"},
      {"--frame 3", "give --csv OUT, --ply OUT or both"},
      {"--csv x.csv", "give --frame F or --frames A-B"},
  };
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(args);
    const TRun run = Run(VANTREL_BAKE, Scene + " " + args);
    EXPECT_EQ(run.Code, 2) << run.Err;
    EXPECT_NE(run.Err.find(message), std::string::npos) << run.Err;
  }
  EXPECT_TRUE(fs::is_empty(Dir / "stdout.txt"));
  for (const auto& entry : fs::directory_iterator(Dir))
    EXPECT_EQ(entry.path().extension(), ".txt") << "nothing written: " << entry.path();
}

TEST_F(ToolPrograms, BakeWritesCsvToStandardOutputAndPlyFiles) {
  TRun run = Run(VANTREL_BAKE, Scene + " --frame 20 --csv -");
  ASSERT_EQ(run.Code, 0) << run.Err;
  ASSERT_EQ(run.Out.rfind("emitter,slot,index,birth,", 0), 0u) << run.Out.substr(0, 200);
  const size_t csvRows = static_cast<size_t>(std::count(run.Out.begin(), run.Out.end(), '\n')) - 1;
  EXPECT_GT(csvRows, 0u);

  run = Run(VANTREL_BAKE, Scene + " --frames 19-20 --ply 'cloud_###.ply' --csv 'parts_###.csv'");
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_EQ(ReadFile(Dir / "parts_020.csv"), Run(VANTREL_BAKE, Scene + " --frame 20 --csv -").Out);
  size_t n19 = 0, n20 = 0;
  const auto a = PlyAges(ReadFile(Dir / "cloud_019.ply"), n19);
  const auto b = PlyAges(ReadFile(Dir / "cloud_020.ply"), n20);
  EXPECT_EQ(n20, csvRows);
  // The same particle keeps its id from frame to frame and is one frame older.
  size_t common = 0;
  for (const auto& [id, age] : a) {
    const auto it = b.find(id);
    if (it == b.end()) continue;
    ++common;
    EXPECT_FLOAT_EQ(it->second, age + 1);
  }
  EXPECT_GT(common, 0u);
  // The frame alone numbers its particles the same.
  size_t alone = 0;
  run = Run(VANTREL_BAKE, Scene + " --frame 20 --ply -");
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_EQ(PlyAges(run.Out, alone), b);
}

// Output lost on the way to standard output (a full disk) fails the run, with the reason.
TEST_F(ToolPrograms, OutputThatDoesNotReachStandardOutputFails) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::string scene = "'" EXAMPLES_DIR "/fountain/scene.json'";
  const struct {
    const char* Program;
    std::string Args;
  } cases[] = {
      {VANTREL_PROGRAM, "info " + scene},
      {VANTREL_PROGRAM, "new --list"},
      {VANTREL_PROGRAM, "--help"},
      {VANTREL_SETTINGS, "show " + scene},
      {VANTREL_BAKE, scene + " --frame 20 --csv -"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Program) + " " + c.Args);
    const std::string command =
        "'" + std::string(c.Program) + "' " + c.Args + " >/dev/full 2>'" + (Dir / "err.txt").string() + "'";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string err = ReadFile(Dir / "err.txt");
    EXPECT_NE(err.find("cannot write to standard output: No space left on device"), std::string::npos) << err;
  }
}

// vantrel-settings show reads scenes as vantrel does: what vantrel refuses it refuses with the
// same words (the file, the place, the word as written), no depth of nesting crashes it, and a
// payload not read as saved is said so rather than shown as null.
TEST_F(ToolPrograms, SettingsShowReadsScenesAsVantrelDoes) {
  std::string deep;
  for (int i = 0; i < 20000; ++i) deep += R"({"type": "group", "children": [)";
  for (int i = 0; i < 20000; ++i) deep += "]}";
  const struct {
    const char* Name;
    std::string Text;
    const char* Says;
  } refused[] = {
      {"nan.json", R"({"vantrelScene": 1, "time": NaN})", "nan.json: line 1, column 29"},
      {"huge.json", R"({"vantrelScene": 1, "time": 1e400})", "the number 1e400 is outside the range"},
      {"deep.json", R"({"vantrelScene": 1, "nodes": [)" + deep + "]}", "nested deeper"},
      {"bad.json",
       R"({"vantrelScene": 1, "nodes": [{"name": "Jet", "type": "object", "objectType": "VNTX_Emitter",
           "settings": {"systems": [{"lifespan": 0}]}}]})",
       "/nodes/0/settings/systems/0/lifespan: object \"Jet\""},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.Name);
    std::ofstream(Dir / c.Name) << c.Text;
    const TRun show = Run(VANTREL_SETTINGS, std::string("show ") + c.Name);
    const TRun info = Run(VANTREL_PROGRAM, std::string("--plugin '" REAL_PLUGIN "' info ") + c.Name);
    EXPECT_EQ(show.Code, 1) << show.Err;
    EXPECT_NE(show.Err.find(c.Says), std::string::npos) << show.Err.substr(0, 500);
    ASSERT_EQ(info.Err.rfind("vantrel: ", 0), 0u) << info.Err.substr(0, 500);
    EXPECT_EQ(show.Err.substr(std::string("vantrel-settings: ").size()), info.Err.substr(std::string("vantrel: ").size()));
  }

  // A payload that ends early: the plug-in's words on standard error, the settings it read shown.
  std::ofstream(Dir / "short.json") << R"({"vantrelScene": 1, "nodes": [{"name": "Cut", "type": "object",
      "objectType": "VNTX_Emitter", "payload": "ZQAAAP8AAAAFRW1pdHQ="}]})";
  const TRun run = Run(VANTREL_SETTINGS, "show short.json");
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Err.find("The emitter \"Cut\" was not read as saved"), std::string::npos) << run.Err;
  EXPECT_EQ(run.Out.find("null"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("# Cut (VNTX_Emitter) at /nodes/0\n{"), std::string::npos) << run.Out;
}

// A damaged settings file is not converted without --force; with it, what was defaulted is
// named and the JSON converts back.
TEST_F(ToolPrograms, SettingsConvertRefusesDamagedFiles) {
  std::ofstream(Dir / "empty.vte").flush();
  TRun run = Run(VANTREL_SETTINGS, "convert empty.vte empty.json");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("empty.vte: damaged: the file is empty; nothing was converted"), std::string::npos) << run.Err;
  EXPECT_FALSE(fs::exists(Dir / "empty.json"));
  run = Run(VANTREL_SETTINGS, "convert --force empty.vte empty.json");
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Err.find("warning: empty.vte: the file is empty; converted with defaults"), std::string::npos) << run.Err;
  run = Run(VANTREL_SETTINGS, "convert empty.json again.vte");
  EXPECT_EQ(run.Code, 0) << run.Err;
  // Text that is not JSON: the file, where, and the word as written.
  std::ofstream(Dir / "nan.json") << R"({"name": NaN})";
  run = Run(VANTREL_SETTINGS, "convert nan.json nan.vte");
  EXPECT_EQ(run.Code, 1);
  EXPECT_EQ(run.Err, "vantrel-settings: nan.json: line 1, column 10: syntax error while parsing value - invalid literal, "
                     "found 'NaN'\n");
  run = Run(VANTREL_BAKE, "empty.vte --frame 1 --csv -");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("empty.vte: damaged: the file is empty"), std::string::npos) << run.Err;
}

TEST_F(ToolPrograms, VersionsAndUsage) {
  for (const char* program : {VANTREL_PROGRAM, VANTREL_BAKE, VANTREL_EXAMPLES, VANTREL_PICTURES}) {
    SCOPED_TRACE(program);
    const TRun run = Run(program, "--version");
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_NE(run.Out.find(" " VANTREL_VERSION "\n"), std::string::npos) << run.Out;
  }
  TRun run = Run(VANTREL_EXAMPLES, "--help");
  EXPECT_EQ(run.Code, 0);
  EXPECT_NE(run.Out.find("Usage: vantrel-examples"), std::string::npos) << run.Out;
  EXPECT_FALSE(fs::exists(Dir / "examples")) << "--help writes nothing";
  run = Run(VANTREL_EXAMPLES, "--bogus");
  EXPECT_EQ(run.Code, 2);
  EXPECT_NE(run.Err.find("--bogus"), std::string::npos) << run.Err;
  EXPECT_FALSE(fs::exists(Dir / "examples"));
  run = Run(VANTREL_EXAMPLES, "scenes");
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_TRUE(fs::exists(Dir / "scenes/fountain/scene.json"));
}

// The pictures kept in data/maps and the contact sheet in the docs are what vantrel-pictures
// draws: drawn again, every file has the same bytes, and no picture is missing on either side.
TEST_F(ToolPrograms, PicturesAreDrawnAgainByteForByte) {
  const TRun run = Run(VANTREL_PICTURES, "maps --sheet sheet.png");
  ASSERT_EQ(run.Code, 0) << run.Err;
  const fs::path committed = fs::path(SOURCE_DIR) / "data" / "maps";
  std::vector<std::string> drawn, kept;
  for (const auto& entry : fs::directory_iterator(Dir / "maps")) drawn.push_back(entry.path().filename().string());
  for (const auto& entry : fs::directory_iterator(committed)) kept.push_back(entry.path().filename().string());
  std::sort(drawn.begin(), drawn.end());
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(drawn, kept);
  EXPECT_GE(drawn.size(), 9u);
  for (const std::string& name : drawn) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(ReadFile(Dir / "maps" / name) == ReadFile(committed / name)) << "run vantrel-pictures data/maps --sheet docs/images/pictures.png";
  }
  EXPECT_TRUE(ReadFile(Dir / "sheet.png") == ReadFile(fs::path(SOURCE_DIR) / "docs" / "images" / "pictures.png"));
}
