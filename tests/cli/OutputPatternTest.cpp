// Frame file names, formats, sizes and frame ranges of `vantrel render`, and the particle count
// read from the plug-in's status text.
#include <gtest/gtest.h>

#include "stage/cli/FrameList.h"
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

}

TEST(FrameList, ListsRangesAndSteps) {
  auto spans = [](const std::string& text) {
    std::vector<std::pair<long long, long long>> out;
    for (const TFrameSpan& s : ParseFrameList(text)) out.emplace_back(s.First, s.Last);
    return out;
  };
  using P = std::vector<std::pair<long long, long long>>;
  EXPECT_EQ(spans("7"), (P{{7, 7}}));
  EXPECT_EQ(spans("1,5,10-20"), (P{{1, 1}, {5, 5}, {10, 20}}));
  EXPECT_EQ(spans(" -5--2 , 3 "), (P{{-5, -2}, {3, 3}}));
  EXPECT_EQ(spans("16777216"), (P{{16777216, 16777216}}));
  for (const char* bad : {"", ",", "1,", "1,,2", "a", "1-", "-", "5-2", "1.5", "1-2-3", "16777217", "99999999999999999999",
                          "1 2"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(ParseFrameList(bad), EUsageError);
  }

  TFrameRequest r;
  using F = std::vector<double>;
  EXPECT_EQ(ChooseFrames(r, 0, 4), (F{0, 1, 2, 3, 4}));
  EXPECT_EQ(ChooseFrames(r, 0.5, 3), (F{0.5, 1.5, 2.5}));
  r.Step = 2;
  EXPECT_EQ(ChooseFrames(r, 0, 4), (F{0, 2, 4}));
  EXPECT_EQ(ChooseFrames(r, 1, 4), (F{1, 3}));
  r.List = ParseFrameList("20,3,10-15,4,3");
  EXPECT_EQ(ChooseFrames(r, 0, 4), (F{3, 4, 10, 12, 14, 20})) << "sorted, once each, the step within ranges";
  r.Step = 1;
  EXPECT_EQ(ChooseFrames(r, 50, 60), (F{3, 4, 10, 11, 12, 13, 14, 15, 20})) << "outside the scene's range too";
  r.List = ParseFrameList("-16777216-16777216");
  EXPECT_THROW(ChooseFrames(r, 0, 4), EUsageError) << "too many frames to keep";
  r.List.clear();
  r.Step = 0;
  EXPECT_THROW(ChooseFrames(r, 0, 4), EUsageError);
  r.Step = 1;

  r.Start = 10;
  EXPECT_EQ(ChooseFrames(r, 0, 12), (F{10, 11, 12}));
  EXPECT_THROW(ChooseFrames(r, 0, 5), EUsageError);
  r.End = 3;
  EXPECT_THROW(ChooseFrames(r, 0, 48), EUsageError);
  r.Start.reset();
  EXPECT_EQ(ChooseFrames(r, 1, 48), (F{1, 2, 3}));
  EXPECT_THROW(ChooseFrames(r, 4, 48), EUsageError);
}

TEST(Progress, ParticleCountFromTheStatusText) {
  EXPECT_EQ(ParseParticleCount(" Rendered 1234 particles in 00:03"), 1234);
  EXPECT_EQ(ParseParticleCount(" Rendered 0 particles in 01:01"), 0);
  EXPECT_EQ(ParseParticleCount(" 77 parts in 00:00"), 77);
  EXPECT_FALSE(ParseParticleCount(""));
  EXPECT_FALSE(ParseParticleCount(" 1200 p - 30.0 fps - frame 012"));
  EXPECT_FALSE(ParseParticleCount("Rendering 40% Complete"));

  EXPECT_EQ(ParsePercent("Preparing animation... 42%"), 42);
  EXPECT_EQ(ParsePercent("Preparing animation... 100%"), 100);
  EXPECT_FALSE(ParsePercent("Preparing animation..."));
  EXPECT_FALSE(ParsePercent("%"));
  EXPECT_FALSE(ParsePercent("Preparing animation... 142%"));
  EXPECT_EQ(ClockText(7.4), "0:07");
  EXPECT_EQ(ClockText(750), "12:30");
  EXPECT_EQ(ClockText(3723), "1:02:03");
  EXPECT_EQ(ClockText(-1), "0:00");
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

  std::ostringstream quiet;
  TProgress none(quiet, false, TVerbosity::Quiet);
  none.CatchUp(100, 50, 2, 2);
  none.FrameStarted(12, 2, 4);
  none.FrameDone(r);
  none.Info("vantrel: wrote");
  none.Detail("vantrel: detail");
  none.Message("vantrel: an error");
  EXPECT_EQ(quiet.str(), "vantrel: an error\n");

  // The time left; the catch-up in tenths on a log.
  r.SecondsLeft = 65;
  std::ostringstream log;
  TProgress logged(log, false);
  for (int percent : {3, 12, 15, 27}) logged.CatchUp(5000, percent, percent / 10.0, 10);
  logged.FrameDone(r);
  logged.Detail("vantrel: detail");
  EXPECT_EQ(log.str(),
            "catching up to frame 5000: 3%, 0:00, 0:10 left\n"
            "catching up to frame 5000: 12%, 0:01, 0:10 left\n"
            "catching up to frame 5000: 27%, 0:03, 0:10 left\n"
            "frame 12 (2/4): 0.50 s, 1:05 left, out/a/0012.png -- Rendered 1234 particles in 00:00\n");
  r.SecondsLeft.reset();

  std::ostringstream tty;
  TProgress bar(tty, true);
  bar.FrameDone(r);
  bar.Message("vantrel: a message");
  bar.Finish();
  EXPECT_EQ(tty.str(),
            "[############------------] 2/4  frame 12  1234 particles, 0.50 s/frame"
            "\r\x1b[Kvantrel: a message\n");
}
