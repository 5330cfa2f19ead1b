// `vantrel render`: works out the output files, loads the plug-in and a scene, chooses the frames
// (a chunk of them, those whose file is missing), applies the command line's sizes and switches,
// and renders them through the stage's render pipeline (stage/RenderPipeline.h), reporting
// progress, the plug-in's status and its messages, and answers the exit code.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "stage/ImageFiles.h"
#include "stage/RenderPipeline.h"
#include "stage/cli/Chunk.h"
#include "stage/cli/FrameList.h"
#include "stage/cli/OutputPattern.h"
#include "stage/cli/Progress.h"
#include "stage/cli/RenderSwitches.h"

namespace stage {
class TStage;
}

namespace stage::cli {

struct TImageSize {
  int Width = 0, Height = 0;
};

struct TRenderOptions {
  std::filesystem::path Scene;
  TFrameRequest Frames;                         // -s, -e, -f, --step
  std::string Out;                              // -o; empty for the default
  std::optional<TImageFormat> Format;           // --format
  std::optional<TImageSize> Size;               // --size
  std::filesystem::path Plugin;                 // --plugin; empty: beside the program
  bool SkipExisting = false;                    // --skip-existing
  TPngCompression Compression = TPngCompression::Fast;   // --png-compression
  TRenderSwitches Switches;                     // --samples, --depth, the plug-in's switches
  std::optional<TChunk> Chunk;                  // --chunk I/N: only that part of the frames
  int ReportFd = -1;                            // a --jobs worker's line to its parent: "frames N", "frame F"
};

// "WxH" with both sides 1..16384; throws EUsageError otherwise.
TImageSize ParseSize(const std::string& text);

// --size: a new size keeps what the scene asked for in proportion: a region covers the same part
// of the image, and a view that had the render's size (the default) follows it, so the picture
// is not stretched.
void ApplySize(TStage& stage, const TImageSize& size);

// Wall-clock seconds of a render, for benchmarks.
using stage::TRenderTimes;

// Runs the command on the program-wide stage; answers the exit code. Errors, warnings, the
// plug-in's messages and progress go through progress. times, when given, receives the figures.
int RunRender(const TRenderOptions& options, TProgress& progress, TRenderTimes* times = nullptr);

}  // namespace stage::cli
