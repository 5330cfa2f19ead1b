// The command-line render: the host's side of an animation render.
#include "stage/cli/RenderCommand.h"

#include <unistd.h>
#include <charconv>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "stage/ImageFiles.h"
#include "stage/SceneFile.h"
#include "stage/Stage.h"
#include "stage/cli/ExitCodes.h"
#include "stage/cli/FrameWriter.h"
#include "stage/cli/Interrupt.h"
#include "stage/cli/PluginLoader.h"
#include "stage/cli/PluginStatus.h"

namespace stage::cli {

namespace {

using TClock = std::chrono::steady_clock;

double Since(TClock::time_point start) {
  return std::chrono::duration<double>(TClock::now() - start).count();
}

// Render event codes of the host interface's render group.
enum : int32_t { RenderInit = 0, RenderBegin = 1, RenderEnd = 2, RenderAbort = 5, RenderError = 6 };

std::string SecondsText(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.4f s", s);
  return text;
}

std::string Count(long long n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// A --jobs worker tells its parent how many frames it renders, each file it starts writing and
// each frame whose file it has written, a line at a time; a parent that has gone away is no reason to stop.
void ReportToParent(int fd, const std::string& line) {
  if (fd < 0) return;
  const std::string text = line + '\n';
  const ssize_t written = ::write(fd, text.data(), text.size());
  (void)written;
}

void ShowMessages(TPluginStatus& status, TProgress& progress, int& count) {
  for (const std::string& m : status.NewMessages()) {
    progress.Message("vantrel: the plug-in reports: " + m);
    ++count;
  }
}

// What the plug-in says while it reads the scene (an emitter or tool whose stored data were
// damaged, and which it loaded as best it could) does not stop the render.
void ShowWarnings(TPluginStatus& status, TProgress& progress) {
  for (const std::string& m : status.NewMessages()) progress.Message("vantrel: warning: the plug-in reports: " + m);
}

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

namespace {

// Renders a frame that is not written, at a one-pixel region, so that the plug-in's systems step
// through it exactly as in a full render (the simulation does not depend on the image).
void PassFrame(TStage& stage, float frame) {
  TRenderSettings& r = stage.Render;
  const TRenderSettings kept = r;
  r.UseRegion = true;
  r.RegionLeft = r.RegionTop = r.RegionRight = r.RegionBottom = 0;
  struct TRestore {
    TRenderSettings& Render;
    const TRenderSettings& Kept;
    ~TRestore() { Render = Kept; }
  } restore{r, kept};
  stage.RenderFrame(frame);
}

}  // namespace

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
  return {w, h};
}

int RunRender(const TRenderOptions& options, TProgress& progress, TRenderTimes* times) {
  TRenderTimes figures;
  auto fail = [&](const std::string& message, int code) {
    progress.Finish();
    progress.Message("vantrel: " + message);
    if (times) *times = figures;
    return code;
  };

  // ---- Everything the command line decides, before anything is loaded.
  std::optional<TOutputPattern> pattern;
  try {
    pattern.emplace(options.Scene, options.Out, options.Format);
    if (options.Switches.Depth) CheckDepth(*options.Switches.Depth, pattern->Format());
  } catch (const EUsageError& e) {
    return fail(e.what(), ExitUsage);
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(options.Scene, ec))
    return fail("Cannot open scene file " + options.Scene.string() +
                    (std::filesystem::exists(options.Scene, ec) ? " (not a file)" : " (no such file)"),
                ExitFailure);

  // ---- The plug-in, then the scene (whose emitters and tools the plug-in reads).
  TPluginStatus status;
  int messages = 0;
  const std::filesystem::path pluginPath = options.Plugin.empty() ? DefaultPluginPath() : options.Plugin;
  try {
    LoadPlugin(pluginPath);
  } catch (const std::exception& e) {
    ShowMessages(status, progress, messages);
    return fail(e.what(), ExitFailure);
  }
  progress.Detail("vantrel: loaded the plug-in " + pluginPath.string());
  ShowMessages(status, progress, messages);
  TStage& stage = Stage();
  try {
    for (const std::string& warning : LoadSceneFile(stage, options.Scene))
      progress.Message("vantrel: warning: " + warning);
  } catch (const std::exception& e) {
    ShowMessages(status, progress, messages);
    return fail(e.what(), ExitFailure);
  }
  progress.Detail("vantrel: loaded the scene " + options.Scene.string() + " (" +
                  std::to_string(stage.Render.Width) + " x " + std::to_string(stage.Render.Height) + ", frames " +
                  FrameText(stage.Render.FirstFrame) + " to " + FrameText(stage.Render.LastFrame) + ")");
  ShowWarnings(status, progress);

  std::vector<double> frames;
  try {
    frames = ChooseFrames(options.Frames, stage.Render.FirstFrame, stage.Render.LastFrame);
  } catch (const EUsageError& e) {
    return fail(e.what(), ExitUsage);
  }
  const bool several = frames.size() > 1;
  auto pathOf = [&](double frame) { return pattern->FramePath(static_cast<long long>(std::floor(frame)), several); };
  // A chunk is a part of the whole render: its files are named as the whole render names them.
  if (options.Chunk) {
    const TChunk& chunk = *options.Chunk;
    const size_t all = frames.size();
    frames = ChunkFrames(frames, chunk);
    if (frames.empty()) {
      ReportToParent(options.ReportFd, "frames 0");
      progress.Info("vantrel: chunk " + std::to_string(chunk.Index) + "/" + std::to_string(chunk.Count) + " of " +
                    Count(static_cast<long long>(all), "frame", "frames") + " holds none; nothing to render");
      return ExitSuccess;
    }
    progress.Detail("vantrel: chunk " + std::to_string(chunk.Index) + "/" + std::to_string(chunk.Count) +
                    ": frames " + FrameText(frames.front()) + " to " + FrameText(frames.back()));
  }
  if (options.SkipExisting) {
    const size_t before = frames.size();
    std::erase_if(frames, [&](double f) { return std::filesystem::exists(pathOf(f), ec); });
    const size_t skipped = before - frames.size();
    if (skipped > 0)
      progress.Info("vantrel: skipping " + Count(static_cast<long long>(skipped), "frame", "frames") +
                    " whose file exists");
    if (frames.empty()) {
      ReportToParent(options.ReportFd, "frames 0");
      progress.Info("vantrel: every frame's file exists; nothing to render");
      return ExitSuccess;
    }
  }
  if (options.Size) ApplySize(stage, *options.Size);
  try {
    ApplySwitches(stage, options.Switches);
  } catch (const EUsageError& e) {
    return fail(e.what(), ExitUsage);
  }
  TImageWriteOptions writeOptions = WriteOptions(stage, options.Switches);
  writeOptions.Compression = options.Compression;
  const int count = static_cast<int>(frames.size());
  ReportToParent(options.ReportFd, "frames " + std::to_string(count));

  // ---- The render: the event order of the host's animation render.
  TInterruptHandler interrupt;
  // A --jobs parent hears of a file before it is written, so that it can remove what a worker
  // that dies during the write leaves, and of each frame once its file is on disk.
  TFrameWriteHooks hooks;
  if (options.ReportFd >= 0) {
    hooks.Starting = [&](const TFrameFile& f) { ReportToParent(options.ReportFd, "writing " + f.Path.string()); };
    hooks.Written = [&](const TFrameFile& f) {
      ReportToParent(options.ReportFd, "frame " + FrameText(f.Frame) + " " + f.Path.string());
    };
  }
  TFrameWriter writer(pattern->Format(), writeOptions, std::move(hooks));
  status.TakeStatus();
  const float first = static_cast<float>(frames.front());
  stage.Scene.SetTime(first);
  const TClock::time_point beginStart = TClock::now();
  // The plug-in catches up to the first frame inside render begin; its status line tells how far.
  stage.OnPluginStatus = [&](const std::string& text) {
    const std::optional<int> percent = ParsePercent(text);
    if (!percent) return;
    const double seconds = Since(beginStart);
    if (seconds < 0.5) return;  // a short catch-up needs no display
    std::optional<double> left;
    if (*percent > 0) left = seconds * (100 - *percent) / *percent;
    progress.CatchUp(first, percent, seconds, left);
  };
  struct TUnhook {
    TStage& Stage;
    ~TUnhook() { Stage.OnPluginStatus = nullptr; }
  } unhook{stage};
  stage.RaiseRenderEvent(RenderInit, first);
  stage.RaiseRenderEvent(RenderBegin, first);
  stage.OnPluginStatus = nullptr;
  figures.Begin = Since(beginStart);
  ShowMessages(status, progress, messages);
  // What the plug-in reports at render begin (a particle picture it cannot find, a bad setting)
  // fails the run whatever the frames hold: none is written, so that a resubmission with
  // --skip-existing cannot keep frames made without it.
  if (messages > 0) {
    stage.RaiseRenderEvent(RenderAbort, first);
    return fail("the plug-in reported " + Count(messages, "problem", "problems") +
                    " (above) before the first frame; no frame written",
                ExitFailure);
  }
  progress.Detail("vantrel: render begin (the plug-in's simulation up to frame " + FrameText(first) + ") took " +
                  SecondsText(figures.Begin));

  const TClock::time_point loopStart = TClock::now();
  std::string firstFile, lastFile, lastStatus;
  auto finishWrites = [&] {
    writer.Drain();
    figures.Frames = writer.Written();
    figures.Write = writer.Seconds();
    figures.Total = Since(beginStart);
  };
  auto interrupted = [&](const std::string& where) {
    finishWrites();
    return fail(std::string("Interrupted (") + TInterruptHandler::SignalName() + ") " + where + "; " +
                    std::to_string(figures.Frames) + " of " + std::to_string(count) + " frames written",
                TInterruptHandler::ExitCode());
  };
  auto writeFailed = [&](float frame) {
    stage.RaiseRenderEvent(RenderError, frame);
    ShowMessages(status, progress, messages);
    finishWrites();
    return fail(*writer.Failure(), ExitFailure);
  };
  double previous = frames.front();
  for (int i = 0; i < count; ++i) {
    const float frame = static_cast<float>(frames[static_cast<size_t>(i)]);
    const int index = i + 1;
    const std::filesystem::path path = pathOf(frame);
    progress.FrameStarted(frame, index, count);
    const TClock::time_point frameStart = TClock::now();
    try {
      // The frames between the previous written one and this one.
      for (double passed = previous + 1; i > 0 && passed < frame; passed += 1) {
        if (stage.Interrupt) {
          stage.RaiseRenderEvent(RenderAbort, static_cast<float>(passed));
          return interrupted("before frame " + FrameText(frame));
        }
        PassFrame(stage, static_cast<float>(passed));
        status.TakeStatus();
      }
      previous = frame;
      if (stage.Interrupt) {
        stage.RaiseRenderEvent(RenderAbort, frame);
        return interrupted("before frame " + FrameText(frame));
      }
      TScreenBuffer image = stage.RenderFrame(frame);
      figures.HostImage += stage.LastFrameTimes.HostImage;
      figures.PostProcess += stage.LastFrameTimes.PostProcess;
      ShowMessages(status, progress, messages);
      // The plug-in stops compositing when interrupted: that image is incomplete, not a frame.
      if (stage.Interrupt) {
        stage.RaiseRenderEvent(RenderAbort, frame);
        return interrupted("during frame " + FrameText(frame) + " (not written)");
      }
      if (!writer.Push(TFrameFile{frame, path, std::move(image)})) return writeFailed(frame);
    } catch (const std::exception& e) {
      stage.RaiseRenderEvent(RenderError, frame);
      ShowMessages(status, progress, messages);
      finishWrites();
      return fail("Frame " + FrameText(frame) + ": " + e.what(), ExitFailure);
    }
    TFrameReport report;
    report.Frame = frame;
    report.Index = index;
    report.Count = count;
    report.Status = status.TakeStatus();
    report.Particles = ParseParticleCount(report.Status);
    report.Seconds = Since(frameStart);
    if (index < count) report.SecondsLeft = Since(loopStart) / index * (count - index);
    report.File = path.string();
    progress.FrameDone(report);
    progress.Detail("vantrel: frame " + FrameText(frame) + ": host image " +
                    SecondsText(stage.LastFrameTimes.HostImage) + ", post-process " +
                    SecondsText(stage.LastFrameTimes.PostProcess));
    if (firstFile.empty()) firstFile = report.File;
    lastFile = report.File;
    if (!report.Status.empty()) lastStatus = report.Status;
  }
  finishWrites();
  if (writer.Failure()) return writeFailed(static_cast<float>(frames.back()));
  stage.RaiseRenderEvent(RenderEnd, static_cast<float>(frames.back()));
  ShowMessages(status, progress, messages);
  progress.Finish();
  if (times) *times = figures;

  progress.Info("vantrel: wrote " + Count(figures.Frames, "frame", "frames") + ": " + firstFile +
                (figures.Frames > 1 ? " ... " + lastFile : std::string()) +
                (lastStatus.empty() ? std::string() : " (last frame:" + lastStatus + ")"));
  if (messages > 0) {
    progress.Message("vantrel: the plug-in reported " + Count(messages, "problem", "problems") +
                     " (above); the frames may lack particles");
    return ExitFailure;
  }
  return ExitSuccess;
}

}  // namespace stage::cli
