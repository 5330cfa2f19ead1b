// The command-line render: the command's steps around the stage's render pipeline.
#include "stage/cli/RenderCommand.h"

#include <unistd.h>
#include <charconv>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "stage/PluginStatus.h"
#include "stage/RenderPipeline.h"
#include "stage/SceneFile.h"
#include "stage/Stage.h"
#include "stage/cli/ExitCodes.h"
#include "stage/cli/Interrupt.h"
#include "stage/cli/PluginLoader.h"

namespace stage::cli {

namespace {

std::string SecondsText(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f s", s);
  return text;
}

// A --jobs worker tells its parent how many frames it renders, each file it starts writing and
// each frame whose file it has written, a line at a time; a parent that has gone away is no reason to stop.
void ReportToParent(int fd, const std::string& line) {
  if (fd < 0) return;
  const std::string text = line + '\n';
  const ssize_t written = ::write(fd, text.data(), text.size());
  (void)written;
}

// A step that ends the command before the render: the exit code and what to say (nothing when
// the step has said it already, e.g. that there is nothing to render).
struct TStop {
  int Code = ExitFailure;
  std::string Message;
};

// The render's progress on the command line: the pipeline's reports, in the program's words.
class TCommandLineObserver : public TRenderObserver {
 public:
  TCommandLineObserver(TProgress& progress, const TStage& stage) : Progress_(progress), Stage_(stage) {}

  void CatchingUp(double first, const std::string& status, double seconds) override {
    const std::optional<int> percent = ParsePercent(status);
    if (!percent || seconds < 0.5) return;  // a short catch-up needs no display
    std::optional<double> left;
    if (*percent > 0) left = seconds * (100 - *percent) / *percent;
    Progress_.CatchUp(first, percent, seconds, left);
  }
  void Began(double first, double seconds) override {
    Progress_.Detail("vantrel: render begin (the plug-in's simulation up to frame " + FrameText(first) + ") took " +
                     SecondsText(seconds));
  }
  void PluginMessage(const std::string& text) override { Progress_.Message("vantrel: the plug-in reports: " + text); }
  void FrameStarted(double frame, int index, int count) override { Progress_.FrameStarted(frame, index, count); }
  void FrameDone(const TRenderedFrame& done) override {
    TFrameReport report;
    report.Frame = done.Frame;
    report.Index = done.Index;
    report.Count = done.Count;
    report.Status = done.Status;
    report.Particles = ParseParticleCount(done.Status);
    report.Seconds = done.Seconds;
    report.SecondsLeft = done.SecondsLeft;
    report.File = done.File.string();
    Progress_.FrameDone(report);
    Progress_.Detail("vantrel: frame " + FrameText(done.Frame) + ": host image " +
                     SecondsText(Stage_.LastFrameTimes.HostImage) + ", post-process " +
                     SecondsText(Stage_.LastFrameTimes.PostProcess));
  }

 private:
  TProgress& Progress_;
  const TStage& Stage_;
};

// The command, step by step. Each step either prepares the next or throws TStop.
class TRenderCommand {
 public:
  TRenderCommand(const TRenderOptions& options, TProgress& progress) : Options_(options), Progress_(progress) {}

  int Run(TRenderTimes* times) {
    try {
      DecideOutput();
      LoadPluginAndScene();
      ChooseFrames();
      ApplyCommandLine();
    } catch (const TStop& stop) {
      return Stopped(stop, times);
    }
    const TRenderResult result = Render();
    if (times) *times = result.Times;
    return Report(result);
  }

 private:
  // Everything the command line decides about the files, before anything is loaded.
  void DecideOutput() {
    try {
      Pattern_.emplace(Options_.Scene, Options_.Out, Options_.Format);
      if (Options_.Switches.Depth) CheckDepth(*Options_.Switches.Depth, Pattern_->Format());
    } catch (const EUsageError& e) {
      throw TStop{ExitUsage, e.what()};
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(Options_.Scene, ec))
      throw TStop{ExitFailure, "Cannot open scene file " + Options_.Scene.string() +
                                   (std::filesystem::exists(Options_.Scene, ec) ? " (not a file)" : " (no such file)")};
  }

  // The plug-in, then the scene (whose emitters and tools the plug-in reads). What the plug-in
  // says while it starts fails the run, as at render begin; what it says while it reads the
  // scene (an emitter or tool whose stored data were damaged, and which it loaded as best it
  // could) is a warning.
  void LoadPluginAndScene() {
    TPluginStatus status;
    int messages = 0;
    auto showMessages = [&] {
      for (const std::string& m : status.NewMessages()) {
        Progress_.Message("vantrel: the plug-in reports: " + m);
        ++messages;
      }
    };
    const std::filesystem::path pluginPath = Options_.Plugin.empty() ? DefaultPluginPath() : Options_.Plugin;
    try {
      LoadPlugin(pluginPath);
    } catch (const std::exception& e) {
      showMessages();
      throw TStop{ExitFailure, e.what()};
    }
    Progress_.Detail("vantrel: loaded the plug-in " + pluginPath.string());
    showMessages();
    TStage& stage = Stage();
    try {
      for (const std::string& warning : LoadSceneFile(stage, Options_.Scene))
        Progress_.Message("vantrel: warning: " + warning);
    } catch (const std::exception& e) {
      showMessages();
      throw TStop{ExitFailure, e.what()};
    }
    Progress_.Detail("vantrel: loaded the scene " + Options_.Scene.string() + " (" +
                     std::to_string(stage.Render.Width) + " x " + std::to_string(stage.Render.Height) + ", frames " +
                     FrameText(stage.Render.FirstFrame) + " to " + FrameText(stage.Render.LastFrame) + ")");
    for (const std::string& m : status.NewMessages())
      Progress_.Message("vantrel: warning: the plug-in reports: " + m);
    if (messages > 0)
      throw TStop{ExitFailure, "the plug-in reported " + CountText(messages, "problem", "problems") +
                                   " (above) before the first frame; no frame written"};
  }

  // The frames asked for, of them the chunk this run renders, without those whose file exists
  // when asked to skip them. Nothing left to render ends the command with success.
  void ChooseFrames() {
    const TRenderSettings& render = Stage().Render;
    try {
      Frames_ = cli::ChooseFrames(Options_.Frames, render.FirstFrame, render.LastFrame);
    } catch (const EUsageError& e) {
      throw TStop{ExitUsage, e.what()};
    }
    Several_ = Frames_.size() > 1;
    // A chunk is a part of the whole render: its files are named as the whole render names them.
    if (Options_.Chunk) {
      const TChunk& chunk = *Options_.Chunk;
      const size_t all = Frames_.size();
      Frames_ = ChunkFrames(Frames_, chunk);
      if (Frames_.empty()) {
        ReportToParent(Options_.ReportFd, "frames 0");
        Progress_.Info("vantrel: chunk " + std::to_string(chunk.Index) + "/" + std::to_string(chunk.Count) + " of " +
                       CountText(static_cast<long long>(all), "frame", "frames") + " holds none; nothing to render");
        throw TStop{ExitSuccess, {}};
      }
      Progress_.Detail("vantrel: chunk " + std::to_string(chunk.Index) + "/" + std::to_string(chunk.Count) +
                       ": frames " + FrameText(Frames_.front()) + " to " + FrameText(Frames_.back()));
    }
    if (Options_.SkipExisting) {
      std::error_code ec;
      const size_t before = Frames_.size();
      std::erase_if(Frames_, [&](double f) { return std::filesystem::exists(PathOf(f), ec); });
      const size_t skipped = before - Frames_.size();
      if (skipped > 0)
        Progress_.Info("vantrel: skipping " + CountText(static_cast<long long>(skipped), "frame", "frames") +
                       " whose file exists");
      if (Frames_.empty()) {
        ReportToParent(Options_.ReportFd, "frames 0");
        Progress_.Info("vantrel: every frame's file exists; nothing to render");
        throw TStop{ExitSuccess, {}};
      }
    }
  }

  // --size, --samples, the plug-in's switches and --depth.
  void ApplyCommandLine() {
    TStage& stage = Stage();
    if (Options_.Size) ApplySize(stage, *Options_.Size);
    try {
      ApplySwitches(stage, Options_.Switches);
    } catch (const EUsageError& e) {
      throw TStop{ExitUsage, e.what()};
    }
    Write_ = WriteOptions(stage, Options_.Switches);
    Write_.Compression = Options_.Compression;
    ReportToParent(Options_.ReportFd, "frames " + std::to_string(Frames_.size()));
  }

  // The pipeline, under the signal handler. A --jobs parent hears of a file before it is
  // written, so that it can remove what a worker that dies during the write leaves, and of each
  // frame once its file is on disk.
  TRenderResult Render() {
    TInterruptHandler interrupt;
    TRenderJob job;
    job.Frames = Frames_;
    job.FileOf = [this](double frame) { return PathOf(frame); };
    job.Format = Pattern_->Format();
    job.Write = Write_;
    const int fd = Options_.ReportFd;
    job.WriteHooks.Starting = [fd](const TFrameFile& f) {
      TInterruptHandler::BeginWrite();
      if (fd >= 0) ReportToParent(fd, "writing " + f.Path.string());
    };
    if (fd >= 0)
      job.WriteHooks.Written = [fd](const TFrameFile& f) {
        ReportToParent(fd, "frame " + FrameText(f.Frame) + " " + f.Path.string());
      };
    job.WriteHooks.Ended = [](const TFrameFile&) { TInterruptHandler::EndWrite(); };
    TCommandLineObserver observer(Progress_, Stage());
    return RenderFrames(Stage(), job, observer);
  }

  // What the run came to, and the exit code.
  int Report(const TRenderResult& result) {
    Progress_.Finish();
    switch (result.Outcome) {
      case TRenderOutcome::Interrupted:
        Progress_.Message(std::string("vantrel: Interrupted (") + TInterruptHandler::SignalName() + ") " +
                          result.Problem + "; " + std::to_string(result.Times.Frames) + " of " +
                          std::to_string(Frames_.size()) + " frames written");
        return TInterruptHandler::ExitCode();
      case TRenderOutcome::Failed:
        Progress_.Message("vantrel: " + result.Problem);
        return ExitFailure;
      case TRenderOutcome::Done:
        break;
    }
    const long long written = result.Times.Frames;
    Progress_.Info("vantrel: wrote " + CountText(written, "frame", "frames") + ": " + result.FirstFile +
                   (written > 1 ? " ... " + result.LastFile : std::string()) +
                   (result.LastStatus.empty() ? std::string() : " (last frame:" + result.LastStatus + ")"));
    if (!result.Succeeded()) {
      Progress_.Message("vantrel: " + result.Problem);
      return ExitFailure;
    }
    return ExitSuccess;
  }

  int Stopped(const TStop& stop, TRenderTimes* times) {
    if (times) *times = {};
    if (!stop.Message.empty()) {
      Progress_.Finish();
      Progress_.Message("vantrel: " + stop.Message);
    }
    return stop.Code;
  }

  std::filesystem::path PathOf(double frame) const {
    return Pattern_->FramePath(static_cast<long long>(std::floor(frame)), Several_);
  }

  const TRenderOptions& Options_;
  TProgress& Progress_;
  std::optional<TOutputPattern> Pattern_;
  std::vector<double> Frames_;
  bool Several_ = false;
  TImageWriteOptions Write_;
};

}  // namespace

void ApplySize(TStage& stage, const TImageSize& size) {
  TRenderSettings& r = stage.Render;
  if (stage.View.Width == r.Width && stage.View.Height == r.Height) {
    stage.View.Width = size.Width;
    stage.View.Height = size.Height;
  }
  if (r.UseRegion) {
    auto scale = [](int v, int to, int from) { return static_cast<int>(static_cast<long long>(v) * to / from); };
    r.RegionLeft = static_cast<int16_t>(scale(r.RegionLeft, size.Width, r.Width));
    r.RegionTop = static_cast<int16_t>(scale(r.RegionTop, size.Height, r.Height));
    r.RegionRight = static_cast<int16_t>(std::max<int>(r.RegionLeft, scale(r.RegionRight + 1, size.Width, r.Width) - 1));
    r.RegionBottom = static_cast<int16_t>(std::max<int>(r.RegionTop, scale(r.RegionBottom + 1, size.Height, r.Height) - 1));
  }
  r.Width = size.Width;
  r.Height = size.Height;
}

TImageSize ParseSize(const std::string& text) {
  // from_chars, not scanf: a number too large for an int is refused, not undefined.
  int w = 0, h = 0;
  const char* p = text.data();
  const char* const last = text.data() + text.size();
  auto [afterW, ecW] = std::from_chars(p, last, w);
  bool ok = ecW == std::errc() && afterW < last && (*afterW == 'x' || *afterW == 'X');
  if (ok) {
    auto [afterH, ecH] = std::from_chars(afterW + 1, last, h);
    ok = ecH == std::errc() && afterH == last;
  }
  if (!ok || w < 1 || h < 1 || w > 16384 || h > 16384)
    throw EUsageError("--size '" + text + "': give WIDTHxHEIGHT, each 1 to 16384 (e.g. 1280x720)");
  return {w, h};}

int RunRender(const TRenderOptions& options, TProgress& progress, TRenderTimes* times) {
  return TRenderCommand(options, progress).Run(times);
}

}  // namespace stage::cli
