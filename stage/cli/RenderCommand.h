// `vantrel render`: loads the plug-in and a scene, raises render begin once, then renders every
// frame of the range in increasing order (the host's image, then the post-process shader) and
// writes each to its file, reporting progress, the plug-in's status and its messages.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "stage/cli/OutputPattern.h"
#include "stage/cli/Progress.h"
#include "stage/cli/RenderSwitches.h"

namespace stage::cli {

struct TImageSize {
  int Width = 0, Height = 0;
};

struct TRenderOptions {
  std::filesystem::path Scene;
  std::optional<long long> Start, End, Frame;   // -s, -e, -f
  std::string Out;                              // -o; empty for the default
  std::optional<TImageFormat> Format;           // --format
  std::optional<TImageSize> Size;               // --size
  std::filesystem::path Plugin;                 // --plugin; empty: beside the program
  TRenderSwitches Switches;                     // --samples, --depth, the plug-in's switches
};

// "WxH" with both sides 1..16384; throws EUsageError otherwise.
TImageSize ParseSize(const std::string& text);

// The frames to render: the scene's range unless -s, -e or -f say otherwise. Throws EUsageError
// when the end comes before the start.
struct TFrameRange {
  double First = 0, Last = 0;
  long long Count() const;
};
TFrameRange ChooseFrames(const TRenderOptions& options, double sceneFirst, double sceneLast);

// Wall-clock seconds of a render, for benchmarks.
struct TRenderTimes {
  double Begin = 0;          // render begin: the plug-in's simulation up to the first frame
  double HostImage = 0;      // sums over the frames
  double PostProcess = 0;
  double Write = 0;
  long long Frames = 0;       // frames written
};

// Runs the command on the program-wide stage; answers the exit code. Errors, warnings, the
// plug-in's messages and progress go through progress. times, when given, receives the figures.
int RunRender(const TRenderOptions& options, TProgress& progress, TRenderTimes* times = nullptr);

}  // namespace stage::cli
