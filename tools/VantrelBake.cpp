// vantrel-bake: simulates a system or emitter settings file, or every emitter of a stage scene
// file with its tools acting, as a final render would and writes the particles of a frame (or of
// each frame of a range) as CSV.
#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdio>
#include <optional>
#include <regex>

#include "engine/Errors.h"
#include "engine/RandomTables.h"
#include "hostapi/TsxApi5.h"
#include "plugin/VantrelPlugin.h"
#include "tools/Bake.h"

namespace {

// Frames are host times held as floats: beyond 2^24 a float no longer tells one whole frame
// from the next.
constexpr int kLargestFrame = 16777216;

// A frame number of a range, or nothing when it is not one or lies beyond the frames there are.
std::optional<int> FrameNumber(const std::string& text) {
  long long v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < -kLargestFrame || v > kLargestFrame)
    return std::nullopt;
  return static_cast<int>(v);
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Simulates particles as a final render does and writes them as CSV."};
  std::string input, csv, frames;
  int frame = 0;
  app.add_option("INPUT", input, "system (.vts) or emitter (.vte) settings file, or a scene file (.json)")->required();
  auto* frameOption = app.add_option("--frame", frame, "the frame to bake")
                          ->check(CLI::Range(-kLargestFrame, kLargestFrame));
  auto* framesOption = app.add_option("--frames", frames, "a range of frames A-B, one CSV file each");
  app.add_option("--csv", csv, "output file; #### stands for the zero-padded frame number")->required();
  frameOption->excludes(framesOption);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }

  int first = frame, last = frame;
  if (*framesOption) {
    std::smatch m;
    if (!std::regex_match(frames, m, std::regex(R"((-?\d+)-(-?\d+))"))) {
      std::fprintf(stderr, "vantrel-bake: --frames wants A-B, got \"%s\"\n", frames.c_str());
      return 2;
    }
    const auto a = FrameNumber(m[1]), b = FrameNumber(m[2]);
    if (!a || !b) {
      std::fprintf(stderr, "vantrel-bake: --frames %s: each frame must lie from %d to %d\n", frames.c_str(),
                   -kLargestFrame, kLargestFrame);
      return 2;
    }
    first = *a;
    last = *b;
    if (last < first) {
      std::fprintf(stderr, "vantrel-bake: --frames %s ends before it starts\n", frames.c_str());
      return 2;
    }
  } else if (!*frameOption) {
    std::fprintf(stderr, "vantrel-bake: give --frame F or --frames A-B\n");
    return 2;
  }

  // Start-up, as the plug-in's: the table from seed 0, the controllers and the object types.
  TVantrelPlugin plugin("");
  TEmitterMan& manager = plugin.Main.Emitters;
  try {
    if (IsSceneFile(input)) {
      for (const std::string& warning : LoadBakeScene(plugin, input))
        std::fprintf(stderr, "vantrel-bake: warning: %s\n", warning.c_str());
    } else {
      LoadBakeInput(manager, input);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vantrel-bake: %s\n", e.what());
    return 1;
  }

  // One render begin at the first frame, then each frame in turn, as a render of the range.
  tsxAnimSetActiveTime(static_cast<float>(first));
  manager.RenderBegin();
  for (int f = first; f <= last; ++f) {
    tsxAnimSetActiveTime(static_cast<float>(f));
    manager.RenderFrame(nullptr);
    const std::string out = *framesOption ? ExpandFramePattern(csv, f) : csv;
    try {
      WriteParticleCsv(manager, out);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "vantrel-bake: %s\n", e.what());
      return 1;
    }
  }
  return 0;
}
