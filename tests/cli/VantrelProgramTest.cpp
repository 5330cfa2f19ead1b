// The vantrel program itself, run as a user runs it: exit codes, messages, frames written and
// read back, the progress lines, an interruption. Everything happens in a temporary folder.
#include <gtest/gtest.h>

#include <OpenEXR/ImfChannelList.h>
#include <OpenEXR/ImfFrameBuffer.h>
#include <OpenEXR/ImfHeader.h>
#include <OpenEXR/ImfInputFile.h>
#include <png.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "VantrelProgram.h"

namespace fs = std::filesystem;

TEST_F(VantrelProgram, UsageErrorsAnswerTwo) {
  const char* cases[] = {
      "",                                               // no command
      "paint shot/scene.json",                          // unknown command
      "render",                                         // no scene
      "render shot/scene.json -f 1 -s 0",               // -f excludes -s
      "render shot/scene.json -f 1 -e 2",
      "render shot/scene.json -s x",
      "render shot/scene.json --size 0x10",
      "render shot/scene.json --size 640",
      "render shot/scene.json --format gif",
      "render shot/scene.json -o frames/a.jpg",
      "render shot/scene.json -o frames/a.png --format exr",
      "render shot/scene.json -f 1,,3",                 // frame lists
      "render shot/scene.json -f 5-2",
      "render shot/scene.json -f 1-x",
      "render shot/scene.json -f 99999999999",
      "render shot/scene.json --step 0",
      "render shot/scene.json -s 99999999999",
      "render shot/scene.json --quiet --verbose",
      "render shot/scene.json --png-compression best",
      "render shot/scene.json --samples 5",
      "render shot/scene.json --samples 0",
      "render shot/scene.json --depth 32",                  // PNG has 8 or 16
      "render shot/scene.json -o a.exr --depth 8",          // EXR has 16 or 32
      "render shot/scene.json --depth-dithering yes",
      "render shot/scene.json --soft-intersections -1",
      "render shot/scene.json --soft-intersections far",
      "render shot/scene.json --size 8000x100 --samples 3",  // 24000 pixels wide
      // Numbers beyond what they can mean are refused with a message, not wrapped or thrown.
      "render shot/scene.json -s 99999999999 -e 99999999999",
      "render shot/scene.json -f -99999999999",
      "render shot/scene.json -s 0 -e 16777217",
      "render shot/scene.json --size 99999999999x10",
      "render shot/scene.json --size 640x4294967936",
  };
  for (const char* args : cases) {
    SCOPED_TRACE(args);
    const TRun run = Run(Fixture + args);
    EXPECT_EQ(run.Code, 2) << run.Err;
    EXPECT_FALSE(run.Err.empty());
  }
  // Ranges the scene cannot hold are usage errors too, found once the scene is read.
  const TRun late = Run(Fixture + "render shot/scene.json -s 5");
  EXPECT_EQ(late.Code, 2) << late.Err;
  EXPECT_NE(late.Err.find("Start frame 5 lies after the scene's last frame 2"), std::string::npos) << late.Err;
  EXPECT_FALSE(fs::exists(Dir / "out"));
  EXPECT_EQ(Run("--help").Code, 0);

  // The messages name what went wrong.
  TRun run = Run(Fixture + "paint shot/scene.json");
  EXPECT_NE(run.Err.find("unknown command 'paint'"), std::string::npos) << run.Err;
  run = Run("render --help");
  EXPECT_EQ(run.Code, 0);
  EXPECT_NE(run.Out.find("Usage: vantrel render [OPTIONS] SCENE\n"), std::string::npos) << run.Out;
  run = Run("--version");
  EXPECT_EQ(run.Code, 0);
  EXPECT_EQ(run.Out.rfind("vantrel ", 0), 0u) << run.Out;
}

// The baking tool range-checks its numbers as the program does: a message and code 2, never an
// uncaught exception.
TEST_F(VantrelProgram, BakeRefusesFramesBeyondRange) {
  for (const char* args : {"--frames 0-99999999999", "--frames -99999999999-0", "--frame 99999999999",
                           "--frames 0-16777217"}) {
    SCOPED_TRACE(args);
    const TRun run = Run(std::string("shot/scene.json --csv out.csv ") + args, VANTREL_BAKE);
    EXPECT_EQ(run.Code, 2) << run.Err;
    EXPECT_NE(run.Err.find("16777216"), std::string::npos) << run.Err;
  }
}

TEST_F(VantrelProgram, UnreadableScenesAndMissingPluginsAnswerOne) {
  std::ofstream(Dir / "broken.json") << "{\"vantrelScene\": 1, \"render\": {\"width\": -3}}";
  std::ofstream(Dir / "cut.json") << "{\"vantrelScene\": 1, \"nodes\": [";

  TRun run = Run(Fixture + "render nowhere.json");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("Cannot open scene file nowhere.json (no such file)"), std::string::npos) << run.Err;

  run = Run(Fixture + "render broken.json");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("broken.json"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("/render/width"), std::string::npos) << run.Err;

  run = Run(Fixture + "info cut.json");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("cut.json"), std::string::npos) << run.Err;

  run = Run("--plugin nowhere/vantrel.tsx render shot/scene.json");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("Plug-in not found: nowhere/vantrel.tsx"), std::string::npos) << run.Err;
  EXPECT_FALSE(fs::exists(Dir / "out"));

  run = Run("--plugin '" BROKEN_PLUGIN "' render shot/scene.json");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("does not export tsxOnLeftClick"), std::string::npos) << run.Err;

  // Frames that cannot be written: a file stands where the folder should be.
  std::ofstream(Dir / "taken") << "a file";
  run = Run(Fixture + "render shot/scene.json -o taken/####.png");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("Frame 0: Cannot create folder taken"), std::string::npos) << run.Err;
}

TEST_F(VantrelProgram, RendersEveryFrameOnceAfterOneRenderBegin) {
  const TRun run = Run(Fixture + "render shot/scene.json");
  ASSERT_EQ(run.Code, 0) << run.Err;
  // Render begin raised once (100), then one post-process call per frame.
  for (const char* line : {"frame 0 (1/3): ", "frame 1 (2/3): ", "frame 2 (3/3): "})
    EXPECT_NE(run.Err.find(line), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("out/shot/0000.png -- Rendered 101 particles in 00:00\n"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("out/shot/0002.png -- Rendered 103 particles in 00:00\n"), std::string::npos) << run.Err;
  EXPECT_EQ(run.Err.find('\r'), std::string::npos) << "no bar when stderr is not a terminal";
  EXPECT_TRUE(run.Out.empty());

  int w = 0, h = 0;
  const std::vector<uint8_t> rgb = ReadPng(Dir / "out/shot/0002.png", w, h);
  ASSERT_EQ(rgb.size(), 32u * 24 * 3);
  EXPECT_EQ(w, 32);
  EXPECT_EQ(h, 24);
  // The shader's pixel, the background in a corner, and the box lit in the middle.
  EXPECT_EQ(std::vector<int>(rgb.begin(), rgb.begin() + 3), (std::vector<int>{0, 255, 0}));
  const size_t corner = (23 * 32 + 31) * 3;
  EXPECT_EQ(std::vector<int>(rgb.begin() + corner, rgb.begin() + corner + 3), (std::vector<int>{51, 102, 153}));
  const size_t middle = (12 * 32 + 16) * 3;
  EXPECT_NE(std::vector<int>(rgb.begin() + middle, rgb.begin() + middle + 3), (std::vector<int>{51, 102, 153}));
  EXPECT_TRUE(fs::exists(Dir / "out/shot/0000.png"));
  EXPECT_TRUE(fs::exists(Dir / "out/shot/0001.png"));
  EXPECT_FALSE(fs::exists(Dir / "out/shot/0003.png"));
  for (const auto& entry : fs::directory_iterator(Dir / "out/shot"))
    EXPECT_EQ(entry.path().extension(), ".png") << "no temporary file left: " << entry.path();
}

TEST_F(VantrelProgram, ExrWithSizeAndOneFrame) {
  const TRun run = Run(Fixture + "render shot/scene.json -f 7 --size 64x48 --format exr -o 'exr/take_##'");
  ASSERT_EQ(run.Code, 0) << run.Err;
  const fs::path file = Dir / "exr/take_07.exr";
  ASSERT_TRUE(fs::exists(file)) << run.Err;
  Imf::InputFile exr(file.c_str());
  const Imath::Box2i box = exr.header().dataWindow();
  const int w = box.max.x - box.min.x + 1, h = box.max.y - box.min.y + 1;
  ASSERT_EQ(w, 64);
  ASSERT_EQ(h, 48);
  std::vector<float> g(static_cast<size_t>(w * h)), b(g.size()), z(g.size());
  Imf::FrameBuffer fb;
  fb.insert("G", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(g.data()), sizeof(float), sizeof(float) * w));
  fb.insert("B", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(b.data()), sizeof(float), sizeof(float) * w));
  fb.insert("Z", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(z.data()), sizeof(float), sizeof(float) * w));
  exr.setFrameBuffer(fb);
  exr.readPixels(box.min.y, box.max.y);
  EXPECT_EQ(g[0], 1.0f);
  EXPECT_EQ(b[0], 0.0f);
  EXPECT_FLOAT_EQ(b[static_cast<size_t>(w * h - 1)], 0.6f);
  EXPECT_TRUE(std::isinf(z[static_cast<size_t>(w * h - 1)]));
  // The box's front face lies 9 units from the eye; the view kept the new aspect.
  EXPECT_NEAR(z[static_cast<size_t>(24 * w + 32)], 9.0f, 1e-3);
}

TEST_F(VantrelProgram, PluginMessagesAreShownAndFailTheRun) {
  const TRun run = Run(Fixture + "render shot/scene.json -s 12 -e 14 -o 'm/####.png'");
  EXPECT_EQ(run.Code, 1) << run.Err;
  EXPECT_NE(run.Err.find("vantrel: the plug-in reports: Fixture error at frame 13\n"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("the plug-in reported 1 problem"), std::string::npos) << run.Err;
  EXPECT_TRUE(fs::exists(Dir / "m/0014.png")) << "the other frames are still written";
}

TEST_F(VantrelProgram, InterruptStopsTheFrameAndAnswers130) {
  const TRun run = Run(Fixture + "render shot/scene.json -s 64 -e 70 -o 'i/####.png'");
  EXPECT_EQ(run.Code, 130) << run.Err;
  EXPECT_NE(run.Err.find("Interrupted (Ctrl+C) during frame 66 (not written); 2 of 7 frames written"),
            std::string::npos)
      << run.Err;
  EXPECT_TRUE(fs::exists(Dir / "i/0065.png"));
  EXPECT_FALSE(fs::exists(Dir / "i/0066.png"));
  EXPECT_FALSE(fs::exists(Dir / "i/0067.png"));
}

// SIGTERM (a job system) and SIGHUP (the terminal closed) stop a render as Ctrl+C does: the
// frames before are on disk, the interrupted one and its temporary file are not.
TEST_F(VantrelProgram, SigtermAndSighupStopLikeCtrlC) {
  struct TCase {
    const char* Frames;
    int Code;
    const char* Says;
    int Written, Stopped;
  };
  for (const TCase& c : {TCase{"75-80", 143, "Interrupted (SIGTERM) during frame 77 (not written); 2 of 6 frames written", 76, 77},
                         TCase{"86-90", 129, "Interrupted (SIGHUP) during frame 88 (not written); 2 of 5 frames written", 87, 88}}) {
    SCOPED_TRACE(c.Frames);
    fs::remove_all(Dir / "t");
    const TRun run = Run(Fixture + "render shot/scene.json -f " + c.Frames + " -o 't/####.png'");
    EXPECT_EQ(run.Code, c.Code) << run.Err;
    EXPECT_NE(run.Err.find(c.Says), std::string::npos) << run.Err;
    char name[16];
    std::snprintf(name, sizeof name, "%04d.png", c.Written);
    EXPECT_TRUE(fs::exists(Dir / "t" / name));
    std::snprintf(name, sizeof name, "%04d.png", c.Stopped);
    EXPECT_FALSE(fs::exists(Dir / "t" / name));
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(Dir / "t", ec))
      EXPECT_EQ(entry.path().extension(), ".png") << "left behind: " << entry.path();
  }
}

// Starts a render of frames 0 to last (40) of the small scene at 1600 × 1200 into EXR files in out
// (slow writes), standard error to stderr.txt, with the options given; answers its process.
static pid_t StartSlowRender(const fs::path& dir, const fs::path& out, std::vector<std::string> options,
                             int last = 40) {
  const pid_t child = fork();
  if (child != 0) return child;
  if (!freopen((dir / "stderr.txt").c_str(), "w", stderr)) _exit(99);
  std::vector<std::string> args = {VANTREL_PROGRAM, "--plugin", FIXTURE_PLUGIN, "render", (dir / "shot/scene.json").string(),
                                   "-s", "0", "-e", std::to_string(last), "--size", "1600x1200", "-q", "-o", (out / "####.exr").string()};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  execv(VANTREL_PROGRAM, argv.data());
  _exit(98);
}

// Checks that every file in out is a whole EXR frame of the slow render (no temporary file left
// behind); answers how many there are.
static long long WholeFramesIn(const fs::path& out) {
  long long files = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(out, ec)) {
    EXPECT_EQ(entry.path().extension(), ".exr") << "left behind: " << entry.path();
    if (entry.path().extension() != ".exr") continue;
    Imf::InputFile exr(entry.path().c_str());
    EXPECT_EQ(exr.header().dataWindow().max.x, 1599) << entry.path();
    ++files;
  }
  return files;
}

// Two signals in quick succession at many moments of a render with slow writes (large EXR
// frames): whatever the moment, every frame file left is whole and no temporary file stays.
TEST_F(VantrelProgram, ASecondSignalNeverLeavesHalfWrittenFiles) {
  int killed = 0, files = 0;
  for (const int delayMs : {200, 500, 800, 1100, 1400, 1700, 2000}) {
    SCOPED_TRACE(delayMs);
    const fs::path out = Dir / ("s" + std::to_string(delayMs));
    const pid_t child = StartSlowRender(Dir, out, {});
    ASSERT_GE(child, 0);
    usleep(static_cast<useconds_t>(delayMs) * 1000);
    kill(child, SIGTERM);
    usleep(20000);
    kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    // Stopped by the first signal, or ended by the second as the signal's default action would.
    EXPECT_TRUE((WIFEXITED(status) && WEXITSTATUS(status) == 143) || (WIFSIGNALED(status) && WTERMSIG(status) == SIGINT))
        << status;
    if (WIFSIGNALED(status)) ++killed;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(out, ec)) {
      ASSERT_EQ(entry.path().extension(), ".exr") << "left behind: " << entry.path();
      ++files;
      Imf::InputFile exr(entry.path().c_str());
      const Imath::Box2i box = exr.header().dataWindow();
      std::vector<float> g(static_cast<size_t>(1600 * 1200));
      Imf::FrameBuffer fb;
      fb.insert("G", Imf::Slice(Imf::FLOAT, reinterpret_cast<char*>(g.data()), sizeof(float), sizeof(float) * 1600));
      exr.setFrameBuffer(fb);
      EXPECT_NO_THROW(exr.readPixels(box.min.y, box.max.y)) << entry.path();
    }
  }
  std::printf("(%d of the runs ended by the second signal, %d whole frames checked)\n", killed, files);
  EXPECT_GT(killed, 0) << "no run was ended by its second signal";
}

// Under --jobs a second Ctrl+C reaches the workers too and ends them at once; no temporary file
// stays and every frame left is whole.
TEST_F(VantrelProgram, ASecondSignalUnderJobsEndsTheWorkers) {
  const fs::path out = Dir / "j2";
  const pid_t child = StartSlowRender(Dir, out, {"--jobs", "2"});
  ASSERT_GE(child, 0);
  usleep(1500 * 1000);
  kill(child, SIGINT);
  usleep(20000);
  kill(child, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 130);
  const std::string err = ReadFile(Dir / "stderr.txt");
  EXPECT_NE(err.find("Interrupted (Ctrl+C), twice: the workers were ended at once"), std::string::npos) << err;
  const long long files = WholeFramesIn(out);
  // A frame counts as written once its file is on disk, not when it was queued for writing.
  EXPECT_NE(err.find("; " + std::to_string(files) + " frames written by the workers"), std::string::npos) << err;
}

// The worker processes of a render, as the system lists the children of its process.
static std::vector<pid_t> ChildrenOf(pid_t parent) {
  std::ifstream in("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) + "/children");
  std::vector<pid_t> pids;
  for (pid_t pid; in >> pid;) pids.push_back(pid);
  return pids;
}

// A --jobs worker killed outright (out of memory, kill -9) at many moments of a render with
// slow writes: the parent says what ended it, removes the file it left half written and answers
// 1; every frame file left is whole.
TEST_F(VantrelProgram, AKilledWorkerLeavesNoTemporaryFile) {
  // The worker writing a temporary file when one first appears (slow writes leave it there long
  // enough), or -1 after a while without one.
  const auto writerOf = [](const fs::path& out, const std::vector<pid_t>& workers) -> pid_t {
    for (int tries = 0; tries < 30000; ++tries) {
      std::error_code ec;
      for (const auto& entry : fs::directory_iterator(out, ec))
        for (const pid_t worker : workers)
          if (entry.path().filename().string().find("." + std::to_string(worker) + ".tmp-write") !=
              std::string::npos)
            return worker;
      usleep(1000);
    }
    return -1;
  };
  int removed = 0;
  // Killed at fixed moments (0 = while it writes a file, however long the start takes).
  for (const int delayMs : {0, 600, 900, 1200, 1500, 1800}) {
    SCOPED_TRACE(delayMs);
    const fs::path out = Dir / ("k" + std::to_string(delayMs));
    const pid_t child = StartSlowRender(Dir, out, {"--jobs", "2"});
    ASSERT_GE(child, 0);
    usleep(static_cast<useconds_t>(delayMs == 0 ? 300 : delayMs) * 1000);
    const std::vector<pid_t> workers = ChildrenOf(child);
    ASSERT_FALSE(workers.empty());
    const pid_t writer = delayMs == 0 ? writerOf(out, workers) : workers.front();
    ASSERT_GT(writer, 0) << "no worker wrote a file";
    kill(writer, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string err = ReadFile(Dir / "stderr.txt");
    EXPECT_NE(err.find("was ended by signal 9 (Killed); stopping the others"), std::string::npos) << err;
    if (err.find("the unfinished file of a worker that ended") != std::string::npos) ++removed;
    WholeFramesIn(out);
  }
  EXPECT_GT(removed, 0) << "no worker was killed during a write";
}

// Two renders of the same frames into one folder at once (a resubmitted job beside the first):
// each writes under its own temporary names, so both succeed and every file is whole.
TEST_F(VantrelProgram, TwoRendersOfTheSameFramesDoNotShareTemporaryFiles) {
  const fs::path out = Dir / "same";
  const pid_t one = StartSlowRender(Dir, out, {}, 12);
  const pid_t two = StartSlowRender(Dir, out, {}, 12);
  for (const pid_t child : {one, two}) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  EXPECT_EQ(WholeFramesIn(out), 13);
}

// Frame lists and steps render the frames asked for, in increasing order; the frames between
// them still pass through the plug-in's post-process shader (the fixture counts its calls), so
// the simulation reaches every written frame as in a full render.
TEST_F(VantrelProgram, FrameListsStepsAndSkippedFiles) {
  TRun run = Run(Fixture + "render shot/scene.json -f 9,2,5-6 -o 'l/####.png'");
  ASSERT_EQ(run.Code, 0) << run.Err;
  for (const char* line : {"frame 2 (1/4): ", "frame 5 (2/4): ", "frame 6 (3/4): ", "frame 9 (4/4): "})
    EXPECT_NE(run.Err.find(line), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("l/0002.png -- Rendered 101 particles"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("l/0005.png -- Rendered 104 particles"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("l/0009.png -- Rendered 108 particles"), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("wrote 4 frames"), std::string::npos) << run.Err;
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(Dir / "l")) files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"0002.png", "0005.png", "0006.png", "0009.png"}));

  run = Run(Fixture + "render shot/scene.json -s 0 -e 7 --step 3 -o 'k/####.png'");
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_TRUE(fs::exists(Dir / "k/0000.png") && fs::exists(Dir / "k/0003.png") && fs::exists(Dir / "k/0006.png"));
  EXPECT_FALSE(fs::exists(Dir / "k/0001.png") || fs::exists(Dir / "k/0007.png"));
  EXPECT_NE(run.Err.find("k/0006.png -- Rendered 107 particles"), std::string::npos) << run.Err;

  // A resumed render: the files there stay as they are, the others are written.
  std::ofstream(Dir / "k/0003.png") << "kept";
  fs::remove(Dir / "k/0006.png");
  run = Run(Fixture + "render shot/scene.json -s 0 -e 7 --step 3 --skip-existing -o 'k/####.png'");
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Err.find("skipping 2 frames whose file exists"), std::string::npos) << run.Err;
  EXPECT_EQ(ReadFile(Dir / "k/0003.png"), "kept");
  EXPECT_NE(run.Err.find("k/0006.png -- Rendered 101 particles"), std::string::npos)
      << "render begin at the first frame to write" << run.Err;
  run = Run(Fixture + "render shot/scene.json -s 0 -e 7 --step 3 --skip-existing -o 'k/####.png'");
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Err.find("nothing to render"), std::string::npos) << run.Err;
}

TEST_F(VantrelProgram, QuietVerboseAndTheCatchUp) {
  TRun run = Run(Fixture + "render shot/scene.json -q -o 'q/####.png'");
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_EQ(run.Err, "");
  EXPECT_TRUE(fs::exists(Dir / "q/0002.png"));
  run = Run(Fixture + "render shot/scene.json -q -s 12 -e 13 -o 'q/####.png'");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("Fixture error at frame 13"), std::string::npos) << "messages stay: " << run.Err;

  run = Run(Fixture + "render shot/scene.json -v -o 'v/####.png'");
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Err.find("vantrel: loaded the plug-in "), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("vantrel: frame 1: host image "), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find("frame 0 (1/3): "), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find(" left, "), std::string::npos) << "the time left: " << run.Err;

  // The plug-in's catch-up to a late first frame shows in the log as it goes.
  run = Run(Fixture + "render shot/scene.json -f 5000 -o late.png");
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Err.find("catching up to frame 5000: 100%"), std::string::npos) << run.Err;
  EXPECT_LT(run.Err.find("catching up"), run.Err.find("frame 5000 (1/1)")) << run.Err;
}

TEST_F(VantrelProgram, PngCompressionChoices) {
  TRun run = Run(Fixture + "render shot/scene.json -f 1 --size 320x240 -o fast.png");
  ASSERT_EQ(run.Code, 0) << run.Err;
  run = Run(Fixture + "render shot/scene.json -f 1 --size 320x240 --png-compression small -o small.png");
  ASSERT_EQ(run.Code, 0) << run.Err;
  int w = 0, h = 0, w2 = 0, h2 = 0;
  EXPECT_EQ(ReadPng(Dir / "fast.png", w, h), ReadPng(Dir / "small.png", w2, h2)) << "the same pixels";
  EXPECT_LE(fs::file_size(Dir / "small.png"), fs::file_size(Dir / "fast.png"));
}

// `vantrel studio` runs the studio beside the program; without one it says why and answers 1.
// The program itself links no Qt.
TEST_F(VantrelProgram, StudioIsAProgramApartAndMissingOneIsReported) {
  fs::copy_file(VANTREL_PROGRAM, Dir / "vantrel");
  const TRun run = Run("studio shot/scene.json", "./vantrel");
  EXPECT_EQ(run.Code, 1);
  const std::string& err = run.Err;
  EXPECT_NE(err.find("cannot run the studio " + (Dir / "vantrel-studio").string()), std::string::npos) << err;
  EXPECT_NE(err.find("build the target vantrel-studio"), std::string::npos) << err;

  const std::string ldd = "ldd '" VANTREL_PROGRAM "' | grep -c Qt6 >'" + (Dir / "qt.txt").string() + "'";
  std::system(ldd.c_str());
  EXPECT_EQ(ReadFile(Dir / "qt.txt"), "0\n");
}

// Without a display the studio says so and answers 1, rather than ending inside the toolkit:
// with no display named, and with one named that is not there.
TEST_F(VantrelProgram, StudioWithoutADisplaySaysSo) {
  const std::string studio = fs::path(VANTREL_PROGRAM).parent_path() / "vantrel-studio";
  if (!fs::exists(studio)) GTEST_SKIP() << "the studio is not built";
  for (const char* env : {"-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM",
                          "-u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:97",
                          "-u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb"}) {
    SCOPED_TRACE(env);
    const TRun run = Run(std::string(env) + " '" VANTREL_PROGRAM "' studio shot/scene.json", "env");
    EXPECT_EQ(run.Code, 1) << run.Err;
    EXPECT_NE(run.Err.find("there is no display to show the studio on"), std::string::npos) << run.Err;
  }
}

// A frame too large for memory is refused before anything is allocated, saying how much it
// would need: by its size, and by its samples.
TEST_F(VantrelProgram, FramesTooLargeForMemoryAreRefusedInWords) {
  TRun run = Run(Fixture + "render shot/scene.json -f 1 --size 16384x16384 -o big.png");
  EXPECT_EQ(run.Code, 2) << run.Err;
  EXPECT_NE(run.Err.find("a frame of 16384 x 16384 pixels needs about 12.0 GB of memory"), std::string::npos) << run.Err;
  EXPECT_EQ(run.Err.find("bad_alloc"), std::string::npos) << run.Err;
  run = Run(Fixture + "render shot/scene.json -f 1 --size 4096x4096 --samples 4 -o big.png");
  EXPECT_EQ(run.Code, 2) << run.Err;
  EXPECT_NE(run.Err.find("with 4 x 4 samples needs about"), std::string::npos) << run.Err;
  EXPECT_FALSE(fs::exists(Dir / "big.png"));
}

// A plug-in given by its bare file name is the one in the working folder.
TEST_F(VantrelProgram, APluginNamedByItsFileNameIsFoundInTheWorkingFolder) {
  fs::copy_file(FIXTURE_PLUGIN, Dir / "mine.tsx");
  for (const char* name : {"mine.tsx", "./mine.tsx"}) {
    SCOPED_TRACE(name);
    const TRun run = Run(std::string("--plugin ") + name + " info shot/scene.json");
    EXPECT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(run.Out.find("Plug-in: not loaded"), std::string::npos) << run.Out;
    EXPECT_EQ(run.Err, "");
  }
}

// A file that cannot be written is reported with the system's reason.
TEST_F(VantrelProgram, AFailedWriteSaysWhy) {
  const std::string name = std::string(250, 'n') + ".png";  // its temporary name is too long
  const TRun run = Run(Fixture + "render shot/scene.json -f 1 -o " + name);
  EXPECT_EQ(run.Code, 1) << run.Err;
  EXPECT_NE(run.Err.find(name + ": cannot create the file: File name too long"), std::string::npos) << run.Err;
}

TEST_F(VantrelProgram, InfoListsNodesAndSettingsEvenWithoutThePlugin) {
  TRun run = Run("--plugin nowhere.tsx info shot/scene.json");
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Err.find("Plug-in not found: nowhere.tsx"), std::string::npos) << run.Err;
  EXPECT_NE(run.Out.find("Plug-in: not loaded"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("Render: 32 x 24, frames 0 to 2"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("\n  Box  mesh, 8 vertices, 6 faces\n  Rig  group\n    Cone  mesh, "), std::string::npos)
      << run.Out;
  EXPECT_NE(run.Out.find("Emitters and tools:\n  (none)\n"), std::string::npos) << run.Out;

  run = Run(Fixture + "info shot/scene.json");
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Out.find("Plug-in: Fixture by Tests, host interface 430"), std::string::npos) << run.Out;

  // Counts agree in number.
  std::ofstream(Dir / "one.json") << R"({"vantrelScene": 1, "nodes": [{"name": "Tri", "type": "mesh",
      "mesh": {"vertices": [[0, 0, 0], [1, 0, 0], [0, 1, 0]], "faces": [[0, 1, 2]]}}]})";
  run = Run(Fixture + "info one.json");
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Out.find("Tri  mesh, 3 vertices, 1 face\n"), std::string::npos) << run.Out;
}

// ---- The real plug-in, end to end.

TEST_F(VantrelProgram, RealPluginRendersAStageSceneWithoutParticles) {
  if (!fs::exists(REAL_PLUGIN)) GTEST_SKIP() << "no plug-in built at " REAL_PLUGIN;
  const std::string real = "--plugin '" REAL_PLUGIN "' ";
  TRun run = Run(real + "info shot/scene.json");
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Out.find("Plug-in: Vantrel by Kestrune, host interface 430"), std::string::npos) << run.Out;

  // Without emitters the plug-in leaves the host's image as it is.
  run = Run(real + "render shot/scene.json -f 1 -o real.png");
  ASSERT_EQ(run.Code, 0) << run.Err;
  int w = 0, h = 0;
  const std::vector<uint8_t> withPlugin = ReadPng(Dir / "real.png", w, h);
  ASSERT_EQ(withPlugin.size(), 32u * 24 * 3);
  const size_t corner = (23 * 32 + 31) * 3;
  EXPECT_EQ(std::vector<int>(withPlugin.begin() + corner, withPlugin.begin() + corner + 3),
            (std::vector<int>{51, 102, 153}));
}

// An emitter whose stored data are cut short: the user is warned which one, and the frame is
// still rendered (with what could be read).
TEST_F(VantrelProgram, RealPluginWarnsOfDamagedEmitterDataAndStillRenders) {
  if (!fs::exists(REAL_PLUGIN)) GTEST_SKIP() << "no plug-in built at " REAL_PLUGIN;
  // The fountain as scenes stored it before readable settings: its emitter as a base64 payload.
  std::string scene = ReadFile(fs::path(VANTREL_TEST_DATA) / "payload-scenes" / "fountain.json");
  const size_t name = scene.find("\"name\": \"Fountain\"");
  ASSERT_NE(name, std::string::npos);
  const size_t payload = scene.find("\"payload\": \"", name);
  ASSERT_NE(payload, std::string::npos);
  const size_t from = payload + 12, to = scene.find('"', from);
  ASSERT_GT(to - from, 1200u);
  scene.erase(from + 1200, to - from - 1200);  // the header still claims the whole record
  std::ofstream(Dir / "shot" / "cut.json") << scene;
  const TRun run = Run("--plugin '" REAL_PLUGIN "' render shot/cut.json -f 3 -o cut.png");
  EXPECT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Err.find("vantrel: warning: the plug-in reports: The emitter \"Fountain\" was not read as saved: "
                         "its data are cut short"),
            std::string::npos)
      << run.Err;
  EXPECT_TRUE(fs::exists(Dir / "cut.png"));
}

// Every bundled example: its last two frames render with particles in them, the same bytes
// again from a fresh start, and the last frame alone equals the last of the two (render begin
// simulates up to it exactly as the frame before did).
TEST_F(VantrelProgram, RealPluginRendersTheExamplesRepeatably) {
  if (!fs::exists(REAL_PLUGIN)) GTEST_SKIP() << "no plug-in built at " REAL_PLUGIN;
  std::vector<fs::path> scenes;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(EXAMPLES_DIR, ec))
    if (fs::exists(entry.path() / "scene.json")) scenes.push_back(entry.path() / "scene.json");
  if (scenes.empty()) GTEST_SKIP() << "no examples in " EXAMPLES_DIR;

  const std::string real = "--plugin '" REAL_PLUGIN "' ";
  for (const fs::path& scene : scenes) {
    SCOPED_TRACE(scene.string());
    TRun info = Run("--plugin '" FIXTURE_PLUGIN "' info '" + scene.string() + "'");
    ASSERT_EQ(info.Code, 0) << info.Err;
    const size_t at = info.Out.find(", frames ");
    ASSERT_NE(at, std::string::npos) << info.Out;
    const long long last = std::stoll(info.Out.substr(info.Out.find(" to ", at) + 4));
    const std::string frames = " -s " + std::to_string(last - 1) + " -e " + std::to_string(last);
    const std::string lastName = std::to_string(last) + ".png";

    TRun run = Run(real + "render '" + scene.string() + "'" + frames + " -o 'a/#.png'");
    ASSERT_EQ(run.Code, 0) << run.Err;
    run = Run(real + "render '" + scene.string() + "'" + frames + " -o 'b/#.png'");
    ASSERT_EQ(run.Code, 0) << run.Err;
    run = Run(real + "render '" + scene.string() + "' -f " + std::to_string(last) + " -o 'c/#.png'");
    ASSERT_EQ(run.Code, 0) << run.Err;
    // Frames skipped by a list pass through the simulation: the last frame comes out the same.
    run = Run(real + "render '" + scene.string() + "' -f " + std::to_string(last - 3) + "," + std::to_string(last) +
              " -o 'd/#.png'");
    ASSERT_EQ(run.Code, 0) << run.Err;
    // The host's image alone: the fixture defines no emitter type, so no particles.
    run = Run("--plugin '" FIXTURE_PLUGIN "' render '" + scene.string() + "' -f " + std::to_string(last) +
              " -o 'host/#.png'");
    ASSERT_EQ(run.Code, 0) << run.Err;

    const std::string a = ReadFile(Dir / "a" / lastName);
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, ReadFile(Dir / "b" / lastName)) << "same frames from a fresh start";
    EXPECT_EQ(ReadFile(Dir / "a" / (std::to_string(last - 1) + ".png")),
              ReadFile(Dir / "b" / (std::to_string(last - 1) + ".png")));
    EXPECT_EQ(a, ReadFile(Dir / "c" / lastName)) << "the last frame alone renders the same";
    EXPECT_TRUE(a == ReadFile(Dir / "d" / lastName)) << "after frames passed through, the same";

    int w = 0, h = 0, hw = 0, hh = 0;
    const std::vector<uint8_t> particles = ReadPng(Dir / "a" / lastName, w, h);
    const std::vector<uint8_t> host = ReadPng(Dir / "host" / lastName, hw, hh);
    ASSERT_EQ(particles.size(), host.size());
    size_t changed = 0;
    for (size_t i = 3; i < host.size(); i += 3)  // pixel 0 is the fixture's own
      if (particles[i] != host[i] || particles[i + 1] != host[i + 1] || particles[i + 2] != host[i + 2]) ++changed;
    EXPECT_GT(changed, 0u) << "particles composited over the host's image";
  }
}

// A particle picture that cannot be found is named as the scene writes it, with its system and
// emitter, before the first frame; the run fails and writes no frame, so that a resubmission
// with --skip-existing cannot keep frames drawn with the built-in picture in its place.
TEST_F(VantrelProgram, RealPluginWritesNoFrameWhenAPictureIsMissing) {
  if (!fs::exists(REAL_PLUGIN)) GTEST_SKIP() << "no plug-in built at " REAL_PLUGIN;
  ASSERT_EQ(Run("new fire.json --preset fire").Code, 0);
  std::string scene = ReadFile(Dir / "fire.json");
  const size_t at = scene.find("maps/flame.png");
  ASSERT_NE(at, std::string::npos);
  scene.replace(at, 14, "maps/no-such-flame.png");
  std::ofstream(Dir / "fire.json") << scene;
  const TRun run = Run("--plugin '" REAL_PLUGIN "' render fire.json -s 0 -e 3 --size 64x36 -o 'out/####.png'");
  EXPECT_EQ(run.Code, 1) << run.Err;
  EXPECT_NE(run.Err.find("The picture \"maps/no-such-flame.png\" of the system \"Flames\" of the emitter \"Fire\" "
                         "cannot be found"),
            std::string::npos)
      << run.Err;
  EXPECT_NE(run.Err.find("before the first frame; no frame written"), std::string::npos) << run.Err;
  EXPECT_FALSE(fs::exists(Dir / "out")) << "frames written by a run that fails";
}

// The fire over a transparent background, for laying over footage: its additive light has no
// coverage of its own, yet the PNG must hold it (as alpha from its brightness), not come out
// empty above the floor.
TEST_F(VantrelProgram, RealPluginFireOverATransparentBackgroundIsInThePng) {
  if (!fs::exists(REAL_PLUGIN)) GTEST_SKIP() << "no plug-in built at " REAL_PLUGIN;
  ASSERT_EQ(Run("new fire.json --preset fire").Code, 0);
  std::string scene = ReadFile(Dir / "fire.json");
  const size_t at = scene.find("\"background\"");
  ASSERT_NE(at, std::string::npos);
  scene.insert(at, "\"backgroundAlpha\": 0, ");
  std::ofstream(Dir / "fire.json") << scene;
  const TRun run = Run("--plugin '" REAL_PLUGIN "' render fire.json -f 40 --size 160x90 -o fire.png");
  ASSERT_EQ(run.Code, 0) << run.Err;
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&png, (Dir / "fire.png").c_str()));
  png.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(png));
  ASSERT_TRUE(png_image_finish_read(&png, nullptr, rgba.data(), 0, nullptr));
  // Above the floor's horizon (the upper third) only the flames can cover anything.
  int flames = 0, bright = 0;
  for (size_t i = 0; i < rgba.size() / 3; i += 4)
    if (rgba[i + 3] > 0) {
      ++flames;
      bright += rgba[i] > 200;
    }
  EXPECT_GT(flames, 50) << "the flames are missing from the transparent PNG";
  EXPECT_GT(bright, 10) << "the flames lost their colour";
}

namespace {

// Bit depth and colour type of a PNG file, from its header.
std::pair<int, int> PngDepthAndType(const fs::path& p) {
  const std::string bytes = ReadFile(p);
  if (bytes.size() < 26) return {-1, -1};
  return {static_cast<unsigned char>(bytes[24]), static_cast<unsigned char>(bytes[25])};
}

TEST_F(VantrelProgram, AlphaDepthAndSamplesShapeTheFiles) {
  // A transparent background gives PNG files an alpha channel; an opaque one does not.
  std::string clear = SmallScene;
  clear.replace(clear.find("\"background\""), 0, "\"backgroundAlpha\": 0, \"samples\": 2, ");
  std::ofstream(Dir / "clear.json") << clear;
  const TRun info = Run(Fixture + "info clear.json");
  EXPECT_NE(info.Out.find(", 2 x 2 samples"), std::string::npos) << info.Out;
  struct Case {
    const char* args;
    const char* file;
    int depth, type;  // colour type 2 RGB, 6 RGBA
  };
  const Case cases[] = {
      {"render shot/scene.json -f 0 -o opaque.png", "opaque.png", 8, 2},
      {"render shot/scene.json -f 0 -o opaque16.png --depth 16", "opaque16.png", 16, 2},
      {"render clear.json -f 0 -o clear.png", "clear.png", 8, 6},
      {"render clear.json -f 0 -o clear16.png --depth 16", "clear16.png", 16, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const TRun run = Run(Fixture + c.args);
    ASSERT_EQ(run.Code, 0) << run.Err;
    EXPECT_EQ(PngDepthAndType(Dir / c.file), std::make_pair(c.depth, c.type));
  }

  // The scene's two samples smooth the box's edges over the transparent background: partial
  // coverage there, none in the corner, full on the box.
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&png, (Dir / "clear.png").c_str()));
  png.format = PNG_FORMAT_RGBA;
  std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(png));
  ASSERT_TRUE(png_image_finish_read(&png, nullptr, rgba.data(), 0, nullptr));
  int partial = 0;
  for (size_t i = 3; i < rgba.size(); i += 4) partial += rgba[i] > 0 && rgba[i] < 255;
  EXPECT_GT(partial, 4);
  EXPECT_EQ(rgba[(1 * 32 + 1) * 4 + 3], 0);
  EXPECT_EQ(rgba[(12 * 32 + 16) * 4 + 3], 255);
  // One sample on the command line is the scene's image without smoothing.
  ASSERT_EQ(Run(Fixture + "render clear.json -f 0 -o one.png --samples 1").Code, 0);
  ASSERT_TRUE(png_image_begin_read_from_file(&png, (Dir / "one.png").c_str()));
  png.format = PNG_FORMAT_RGBA;
  ASSERT_TRUE(png_image_finish_read(&png, nullptr, rgba.data(), 0, nullptr));
  partial = 0;
  for (size_t i = 3; i < rgba.size(); i += 4) partial += rgba[i] > 0 && rgba[i] < 255;
  EXPECT_EQ(partial, 0);

  // EXR in half.
  ASSERT_EQ(Run(Fixture + "render clear.json -f 0 -o half.exr --depth 16").Code, 0);
  Imf::InputFile exr((Dir / "half.exr").c_str());
  EXPECT_EQ(exr.header().channels().findChannel("A")->type, Imf::HALF);
  EXPECT_EQ(exr.header().channels().findChannel("Z")->type, Imf::FLOAT);
}

// The plug-in's render switches come from the scene and from the command line.
TEST_F(VantrelProgram, RealPluginTakesItsSwitchesFromTheSceneAndTheCommandLine) {
  if (!fs::exists(REAL_PLUGIN)) GTEST_SKIP() << "no plug-in built at " REAL_PLUGIN;
  // The fountain as it was before the presets: drops of the built-in picture bouncing off the
  // floor, where the depth switches show at frame 60.
  const fs::path fountain = fs::path(VANTREL_TEST_DATA) / "fountain-default-image.json";
  const std::string real = "--plugin '" REAL_PLUGIN "' ";
  const std::string frame = "render '" + fountain.string() + "' -f 60 ";
  ASSERT_EQ(Run(real + frame + "-o hard.png").Code, 0);
  TRun run = Run(real + frame + "-o soft.png --soft-intersections 1.5");
  ASSERT_EQ(run.Code, 0) << run.Err;
  ASSERT_EQ(Run(real + frame + "-o soft-off.png --soft-intersections off").Code, 0);
  EXPECT_NE(ReadFile(Dir / "hard.png"), ReadFile(Dir / "soft.png"));
  EXPECT_EQ(ReadFile(Dir / "hard.png"), ReadFile(Dir / "soft-off.png"));
  ASSERT_EQ(Run(real + frame + "-o dither.png --depth-dithering on").Code, 0);
  EXPECT_NE(ReadFile(Dir / "hard.png"), ReadFile(Dir / "dither.png"));

  // A scene that keeps rendering off: the host's image alone.
  std::string text = ReadFile(fountain);
  const size_t at = text.find("\"render\"");
  ASSERT_NE(at, std::string::npos);
  text.insert(at, "\"pluginSettings\": {\"Vantrel\": \"enableRendering=0 softIntersections=1\"},\n  ");
  std::ofstream(Dir / "off.json") << text;
  ASSERT_EQ(Run(real + "render off.json -f 60 -o off.png").Code, 0);
  ASSERT_EQ(Run("--plugin '" FIXTURE_PLUGIN "' render off.json -f 60 -o host.png").Code, 0);
  int w = 0, h = 0;
  const std::vector<uint8_t> off = ReadPng(Dir / "off.png", w, h), host = ReadPng(Dir / "host.png", w, h);
  ASSERT_EQ(off.size(), host.size());
  EXPECT_TRUE(std::equal(off.begin() + 3, off.end(), host.begin() + 3)) << "no particles";  // pixel 0 is the fixture's
  // A damaged value is the plug-in's message at render begin: the run fails before writing a
  // frame made without what the scene asked for.
  text = ReadFile(Dir / "off.json");
  text.replace(text.find("enableRendering=0"), 17, "enableRendering=x");
  std::ofstream(Dir / "bad.json") << text;
  run = Run(real + "render bad.json -f 60 -o bad.png");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("enableRendering must be 0 or 1"), std::string::npos) << run.Err;
  EXPECT_FALSE(fs::exists(Dir / "bad.png"));
}

}  // namespace

// The guide's scene with the real plug-in: info points to vantrel-settings for each object; a
// bad value in its settings stops the render with exit status 1 and the place of the fault.
TEST_F(VantrelProgram, ReadableSettingsInfoAndRefusal) {
  if (!fs::exists(REAL_PLUGIN)) GTEST_SKIP() << "no plug-in built at " REAL_PLUGIN;
  const std::string real = "--plugin '" REAL_PLUGIN "' ";
  const fs::path guide = fs::path(EXAMPLES_DIR) / "guide" / "scene.json";
  fs::copy_file(guide, Dir / "guide.json");
  TRun run = Run(real + "info guide.json");
  ASSERT_EQ(run.Code, 0) << run.Err;
  EXPECT_NE(run.Out.find("vantrel-settings show guide.json Stream\n"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("vantrel-settings show guide.json Bounce\n"), std::string::npos) << run.Out;

  std::string text = ReadFile(guide);
  const std::string good = "\"lifespan\": 90";
  ASSERT_NE(text.find(good), std::string::npos);
  text.replace(text.find(good), good.size(), "\"lifespan\": 0");
  std::ofstream(Dir / "bad.json") << text;
  run = Run(real + "render bad.json -f 1 -o bad-####.png");
  EXPECT_EQ(run.Code, 1);
  EXPECT_NE(run.Err.find("bad.json: line "), std::string::npos) << run.Err;
  EXPECT_NE(run.Err.find(": /nodes/2/settings/systems/0/lifespan: object \"Stream\""), std::string::npos)
      << run.Err;
  EXPECT_FALSE(fs::exists(Dir / "bad-0001.png"));
}

// --jobs: workers render the parts and one exit code answers for all; a failing worker (the
// fixture's message at frame 13) stops the render with its code.
TEST_F(VantrelProgram, JobsRenderThePartsAndReportAFailingWorker) {
  const TRun ok = Run(Fixture + "render shot/scene.json -s 0 -e 11 -o 'j/####.png' --jobs 3");
  EXPECT_EQ(ok.Code, 0) << ok.Err;
  for (int f = 0; f <= 11; ++f) {
    char name[16];
    std::snprintf(name, sizeof name, "%04d.png", f);
    EXPECT_TRUE(fs::exists(Dir / "j" / name)) << f;
  }
  EXPECT_NE(ok.Err.find("3 workers wrote 12 frames"), std::string::npos) << ok.Err;

  const TRun bad = Run(Fixture + "render shot/scene.json -s 0 -e 20 -o 'k/####.png' --jobs 2");
  EXPECT_EQ(bad.Code, 1) << bad.Err;
  EXPECT_NE(bad.Err.find("worker 2 of 2 (chunk 2/2) failed with exit code 1"), std::string::npos) << bad.Err;
  EXPECT_NE(bad.Err.find("Fixture error at frame 13"), std::string::npos) << bad.Err;

  EXPECT_EQ(Run(Fixture + "render shot/scene.json --jobs 0").Code, 2);
  EXPECT_EQ(Run(Fixture + "render shot/scene.json --jobs 2 --chunk 1/2").Code, 2);

  // Short options bundled: -q and -j 2 in one.
  const TRun bundled = Run(Fixture + "render shot/scene.json -s 0 -e 3 -o 'b/####.png' -qj2");
  EXPECT_EQ(bundled.Code, 0) << bundled.Err;
  EXPECT_TRUE(fs::exists(Dir / "b" / "0003.png"));
}
