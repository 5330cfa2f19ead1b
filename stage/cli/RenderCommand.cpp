// The command-line render: the host's side of an animation render.
#include "stage/cli/RenderCommand.h"

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

void ShowMessages(TPluginStatus& status, TProgress& progress, int& count) {
  for (const std::string& m : status.NewMessages()) {
    progress.Message("vantrel: the plug-in reports: " + m);
    ++count;
  }
}

// A new size keeps what the scene asked for in proportion: a region covers the same part of the
// image, and a view that had the render's size (the default) follows it, so the picture is not
// stretched.
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

void WriteFrame(const std::filesystem::path& path, const TScreenBuffer& image, TImageFormat format) {
  const std::filesystem::path folder = path.parent_path();
  if (!folder.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) throw std::runtime_error("Cannot create folder " + folder.string() + ": " + ec.message());
  }
  if (format == TImageFormat::Exr)
    WriteExr(path, image);
  else
    WritePng(path, image);
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

long long TFrameRange::Count() const { return static_cast<long long>(std::floor(Last - First)) + 1; }

TFrameRange ChooseFrames(const TRenderOptions& o, double sceneFirst, double sceneLast) {
  TFrameRange range{sceneFirst, sceneLast};
  if (o.Frame) range.First = range.Last = static_cast<double>(*o.Frame);
  if (o.Start) range.First = static_cast<double>(*o.Start);
  if (o.End) range.Last = static_cast<double>(*o.End);
  if (range.Last < range.First) {
    const std::string first = FrameText(range.First), last = FrameText(range.Last);
    if (o.Start && !o.End)
      throw EUsageError("Start frame " + first + " lies after the scene's last frame " + last +
                        ": give the last frame with -e");
    if (o.End && !o.Start)
      throw EUsageError("End frame " + last + " lies before the scene's first frame " + first +
                        ": give the first frame with -s");
    throw EUsageError("End frame " + last + " lies before start frame " + first);
  }
  return range;
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
  try {
    LoadPlugin(options.Plugin.empty() ? DefaultPluginPath() : options.Plugin);
  } catch (const std::exception& e) {
    ShowMessages(status, progress, messages);
    return fail(e.what(), ExitFailure);
  }
  ShowMessages(status, progress, messages);
  TStage& stage = Stage();
  try {
    for (const std::string& warning : LoadSceneFile(stage, options.Scene))
      progress.Message("vantrel: warning: " + warning);
  } catch (const std::exception& e) {
    ShowMessages(status, progress, messages);
    return fail(e.what(), ExitFailure);
  }
  ShowMessages(status, progress, messages);

  TFrameRange range;
  try {
    range = ChooseFrames(options, stage.Render.FirstFrame, stage.Render.LastFrame);
  } catch (const EUsageError& e) {
    return fail(e.what(), ExitUsage);
  }
  if (options.Size) ApplySize(stage, *options.Size);
  const long long count = range.Count();
  const bool several = count > 1;

  // ---- The render: the event order of the host's animation render.
  TInterruptHandler interrupt;
  status.TakeStatus();
  const float first = static_cast<float>(range.First);
  stage.Scene.SetTime(first);
  const TClock::time_point beginStart = TClock::now();
  stage.RaiseRenderEvent(RenderInit, first);
  stage.RaiseRenderEvent(RenderBegin, first);
  figures.Begin = Since(beginStart);
  ShowMessages(status, progress, messages);

  std::string firstFile, lastFile, lastStatus;
  for (long long i = 0; i < count; ++i) {
    const float frame = static_cast<float>(range.First + static_cast<double>(i));
    const int index = static_cast<int>(i + 1);
    if (stage.Interrupt) {
      stage.RaiseRenderEvent(RenderAbort, frame);
      return fail("Interrupted before frame " + FrameText(frame) + "; " + std::to_string(figures.Frames) +
                      " of " + std::to_string(count) + " frames written",
                  InterruptedExitCode);
    }
    progress.FrameStarted(frame, index, static_cast<int>(count));
    const TClock::time_point frameStart = TClock::now();
    const std::filesystem::path path = pattern->FramePath(static_cast<long long>(std::floor(frame)), several);
    try {
      const TScreenBuffer image = stage.RenderFrame(frame);
      figures.HostImage += stage.LastFrameTimes.HostImage;
      figures.PostProcess += stage.LastFrameTimes.PostProcess;
      ShowMessages(status, progress, messages);
      // The plug-in stops compositing when interrupted: that image is incomplete, not a frame.
      if (stage.Interrupt) {
        stage.RaiseRenderEvent(RenderAbort, frame);
        return fail("Interrupted during frame " + FrameText(frame) + " (not written); " +
                        std::to_string(figures.Frames) + " of " + std::to_string(count) + " frames written",
                    InterruptedExitCode);
      }
      const TClock::time_point writeStart = TClock::now();
      WriteFrame(path, image, pattern->Format());
      figures.Write += Since(writeStart);
    } catch (const std::exception& e) {
      stage.RaiseRenderEvent(RenderError, frame);
      ShowMessages(status, progress, messages);
      return fail("Frame " + FrameText(frame) + ": " + e.what(), ExitFailure);
    }
    ++figures.Frames;
    TFrameReport report;
    report.Frame = frame;
    report.Index = index;
    report.Count = static_cast<int>(count);
    report.Status = status.TakeStatus();
    report.Particles = ParseParticleCount(report.Status);
    report.Seconds = Since(frameStart);
    report.File = path.string();
    progress.FrameDone(report);
    if (firstFile.empty()) firstFile = report.File;
    lastFile = report.File;
    if (!report.Status.empty()) lastStatus = report.Status;
  }
  stage.RaiseRenderEvent(RenderEnd, static_cast<float>(range.Last));
  ShowMessages(status, progress, messages);
  progress.Finish();
  if (times) *times = figures;

  progress.Message("vantrel: wrote " + std::to_string(figures.Frames) + (figures.Frames == 1 ? " frame: " : " frames: ") +
                   firstFile + (figures.Frames > 1 ? " ... " + lastFile : std::string()) +
                   (lastStatus.empty() ? std::string() : " (last frame:" + lastStatus + ")"));
  if (messages > 0) {
    progress.Message("vantrel: the plug-in reported " + std::to_string(messages) +
                     (messages == 1 ? " problem" : " problems") + " (above); the frames may lack particles");
    return ExitFailure;
  }
  return ExitSuccess;
}

}  // namespace stage::cli
