// Frame file names, formats, sizes and frame ranges of `vantrel render`, and the particle count
// read from the plug-in's status text.
#include <gtest/gtest.h>

#include "stage/cli/OutputPattern.h"
#include "stage/cli/Progress.h"
#include "stage/cli/RenderCommand.h"

using namespace stage::cli;

namespace {

struct TPatternCase {
  const char* Scene;
  const char* Out;
  std::optional<TImageFormat> Format;
  long long Frame;
  bool Several;
  const char* Expected;
  TImageFormat ExpectedFormat;
};

}  // namespace

TEST(OutputPattern, ExpandsRunsDefaultsAndExtensions) {
  const auto png = TImageFormat::Png, exr = TImageFormat::Exr;
  const TPatternCase cases[] = {
      {"shots/a.json", "", std::nullopt, 7, true, "out/a/0007.png", png},
      {"examples/fountain/scene.json", "", exr, 7, true, "out/fountain/0007.exr", exr},
      {"s.json", "r/f_##.exr", std::nullopt, 7, true, "r/f_07.exr", exr},
      {"s.json", "r/f_#.png", std::nullopt, 123, true, "r/f_123.png", png},     // wider than the run
      {"s.json", "r/f_###.PNG", std::nullopt, -5, true, "r/f_-05.PNG", png},    // sign counts
      {"s.json", "r/##_a_####.png", std::nullopt, 3, true, "r/##_a_0003.png", png},  // the last run
      {"s.json", "r/a##/b.png", std::nullopt, 7, true, "r/a##/b0007.png", png},  // not in folders
      {"s.json", "r/shot.png", std::nullopt, 7, false, "r/shot.png", png},
      {"s.json", "r/shot.png", std::nullopt, 7, true, "r/shot0007.png", png},   // frames kept apart
      {"s.json", "r/frame", std::nullopt, 1, false, "r/frame.png", png},
      {"s.json", "r/frame", exr, 1, false, "r/frame.exr", exr},
      {"s.json", "r/f.EXR", exr, 1, false, "r/f.EXR", exr},
      {"s.json", "r/take.v2", png, 1, false, "r/take.v2.png", png},
  };
  for (const TPatternCase& c : cases) {
    SCOPED_TRACE(std::string(c.Scene) + " -o '" + c.Out + "' frame " + std::to_string(c.Frame));
    const TOutputPattern pattern(c.Scene, c.Out, c.Format);
    EXPECT_EQ(pattern.FramePath(c.Frame, c.Several).string(), c.Expected);
    EXPECT_EQ(pattern.Format(), c.ExpectedFormat);
  }
}

TEST(OutputPattern, RefusesWhatCannotBeWritten) {
  const std::pair<const char*, std::optional<TImageFormat>> cases[] = {
      {"r/x.jpg", std::nullopt},             // unknown extension, no --format
      {"r/x.png", TImageFormat::Exr},        // contradiction
      {"r/", std::nullopt},                  // a folder
  };
  for (const auto& [out, format] : cases) {
    SCOPED_TRACE(out);
    EXPECT_THROW(TOutputPattern("s.json", out, format), EUsageError);
  }
  EXPECT_THROW(ParseFormat("gif"), EUsageError);
  EXPECT_EQ(ParseFormat("EXR"), TImageFormat::Exr);
}

TEST(RenderOptions, SizesAndFrameRanges) {
  EXPECT_EQ(ParseSize("1280x720").Width, 1280);
  EXPECT_EQ(ParseSize("1280X720").Height, 720);
  for (const char* bad : {"0x10", "10x0", "16385x10", "10x", "x10", "10x10x", "abc", "-5x5", "10 x 10"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(ParseSize(bad), EUsageError);
  }

  TRenderOptions o;
  auto range = [&](double first, double last) {
    const TFrameRange r = ChooseFrames(o, first, last);
    return std::make_pair(r.First, r.Last);
  };
  EXPECT_EQ(range(0, 48), std::make_pair(0.0, 48.0));
  o.Frame = 5;
  EXPECT_EQ(range(0, 48), std::make_pair(5.0, 5.0));
  EXPECT_EQ(range(10, 20), std::make_pair(5.0, 5.0));  // a frame outside the scene's range is allowed
  o.Frame.reset();
  o.Start = 10;
  EXPECT_EQ(range(0, 48), std::make_pair(10.0, 48.0));
  EXPECT_THROW(range(0, 5), EUsageError);
  o.End = 3;
  EXPECT_THROW(range(0, 48), EUsageError);
  o.Start.reset();
  EXPECT_EQ(range(0, 48), std::make_pair(0.0, 3.0));
  EXPECT_THROW(range(4, 48), EUsageError);
  EXPECT_EQ((TFrameRange{0.5, 3}).Count(), 3);  // 0.5, 1.5, 2.5
}

TEST(Progress, ParticleCountFromTheStatusText) {
  EXPECT_EQ(ParseParticleCount(" Rendered 1234 particles in 00:03"), 1234);
  EXPECT_EQ(ParseParticleCount(" Rendered 0 particles in 01:01"), 0);
  EXPECT_EQ(ParseParticleCount(" 77 parts in 00:00"), 77);
  EXPECT_FALSE(ParseParticleCount(""));
  EXPECT_FALSE(ParseParticleCount(" 1200 p - 30.0 fps - frame 012"));
  EXPECT_FALSE(ParseParticleCount("Rendering 40% Complete"));
}

TEST(Progress, PlainLinesAndTheTerminalBar) {
  TFrameReport r;
  r.Frame = 12;
  r.Index = 2;
  r.Count = 4;
  r.Particles = 1234;
  r.Seconds = 0.5;
  r.File = "out/a/0012.png";
  r.Status = " Rendered 1234 particles in 00:00";

  std::ostringstream plain;
  TProgress lines(plain, false);
  lines.FrameStarted(12, 2, 4);
  lines.FrameDone(r);
  lines.Finish();
  EXPECT_EQ(plain.str(), "frame 12 (2/4): 0.50 s, out/a/0012.png -- Rendered 1234 particles in 00:00\n");

  std::ostringstream tty;
  TProgress bar(tty, true);
  bar.FrameDone(r);
  bar.Message("vantrel: a message");
  bar.Finish();
  EXPECT_EQ(tty.str(),
            "[############------------] 2/4  frame 12  1234 particles, 0.50 s/frame"
            "\r\x1b[Kvantrel: a message\n");
}
