// vantrel-bake: simulates a system or emitter settings file, or every emitter of a stage scene
// file with its tools acting, as a final render would and writes the particles of a frame (or of
// each frame of a range) as CSV, as a PLY point cloud, or both.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <regex>

#include "engine/Errors.h"
#include "engine/RandomTables.h"
#include "engine/WorkerPool.h"
#include "hostapi/TsxApi5.h"
#include "plugin/VantrelPlugin.h"
#include "tools/Bake.h"
#include "tools/StandardOutput.h"

namespace {

constexpr long long FrameLimit = 16777216;   // as vantrel render's: the host holds frames as floats

bool ParseFrame(const std::string& text, long long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(text.c_str(), &end, 10);
  return !text.empty() && *end == 0 && errno != ERANGE && value >= -FrameLimit && value <= FrameLimit;
}

// An output's check: "-" is standard output, one frame only; several frames need a '#'.
bool OutputUsable(const char* option, const std::string& name, bool severalFrames) {
  if (!severalFrames) return true;
  if (name == "-") {
    std::fprintf(stderr, "vantrel-bake: %s - writes one frame to standard output; use --frame F\n", option);
    return false;
  }
  if (name.find('#') == std::string::npos) {
    std::fprintf(stderr,
                 "vantrel-bake: --frames writes one file per frame, but the %s name \"%s\" has no # for the "
                 "frame number (e.g. parts.####%s)\n",
                 option, name.c_str(), option[2] == 'p' ? ".ply" : ".csv");
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Simulates particles as a final render does and writes them as CSV or PLY.", "vantrel-bake"};
  app.set_version_flag("--version", std::string("vantrel-bake ") + VANTREL_VERSION);
  std::string input, csv, ply, frameText, frames;
  app.add_option("INPUT", input, "system (.vts) or emitter (.vte) settings file, or a scene file (.json)")->required();
  auto* frameOption = app.add_option("--frame", frameText, "the frame to bake")->type_name("F");
  auto* framesOption = app.add_option("--frames", frames, "a range of frames A-B, one file each")->type_name("A-B");
  auto* csvOption = app.add_option("--csv", csv,
                                   "CSV output file; a run of # stands for the zero-padded frame number; "
                                   "- for standard output")->type_name("OUT");
  auto* plyOption = app.add_option("--ply", ply,
                                   "PLY point cloud output file (positions, colour, size, alpha, age, id); "
                                   "# and - as for --csv")->type_name("OUT");
  int threads = 0;
  auto* threadsOption =
      app.add_option("--threads", threads,
                     "threads that step the particles (default: VANTREL_THREADS, else every core); any "
                     "count gives the same particles")
          ->type_name("N")
          ->check(CLI::Range(1, MaxWorkerThreads));
  frameOption->excludes(framesOption);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  if (!*csvOption && !*plyOption) {
    std::fprintf(stderr, "vantrel-bake: give --csv OUT, --ply OUT or both\n");
    return 2;
  }
  if (*csvOption && *plyOption && csv == "-" && ply == "-") {
    std::fprintf(stderr, "vantrel-bake: only one of --csv and --ply can write to standard output\n");
    return 2;
  }

  long long first = 0, last = 0;
  if (*framesOption) {
    std::smatch m;
    if (!std::regex_match(frames, m, std::regex(R"((-?\d+)-(-?\d+))")) || !ParseFrame(m[1], first) ||
        !ParseFrame(m[2], last)) {
      std::fprintf(stderr, "vantrel-bake: --frames wants A-B, whole frames from %lld to %lld, got \"%s\"\n",
                   -FrameLimit, FrameLimit, frames.c_str());
      return 2;
    }
    if (last < first) {
      std::fprintf(stderr, "vantrel-bake: --frames %s ends before it starts\n", frames.c_str());
      return 2;
    }
  } else if (*frameOption) {
    if (!ParseFrame(frameText, first)) {
      std::fprintf(stderr, "vantrel-bake: --frame wants a whole frame from %lld to %lld, got \"%s\"\n", -FrameLimit,
                   FrameLimit, frameText.c_str());
      return 2;
    }
    last = first;
  } else {
    std::fprintf(stderr, "vantrel-bake: give --frame F or --frames A-B\n");
    return 2;
  }
  const bool several = framesOption->count() > 0;
  if ((*csvOption && !OutputUsable("--csv", csv, several)) || (*plyOption && !OutputUsable("--ply", ply, several)))
    return 2;

  // Start-up, as the plug-in's: the table from seed 0, the controllers and the object types.
  TVantrelPlugin plugin("");
  if (*threadsOption) plugin.Main.Workers.SetThreads(threads);
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

  // One render begin at the first frame, then each frame in turn, as a render of the range. The
  // ids of the PLY output follow every simulated frame.
  TBirthOrder ids;
  const bool wantIds = plyOption->count() > 0;
  tsxAnimSetActiveTime(static_cast<float>(first));
  manager.RenderBegin(wantIds ? std::function<void()>([&] { ids.Update(manager); }) : std::function<void()>());
  for (long long f = first; f <= last; ++f) {
    tsxAnimSetActiveTime(static_cast<float>(f));
    manager.RenderFrame(nullptr);
    if (wantIds) ids.Update(manager);
    try {
      if (*csvOption) {
        if (csv == "-") {
          WriteParticleCsv(manager, std::cout);
          if (!StandardOutputWritten("vantrel-bake")) return 1;  // said why; no use baking on
        }
        else
          WriteParticleCsv(manager, ExpandFramePattern(csv, static_cast<int>(f)));
      }
      if (*plyOption) {
        if (ply == "-") {
          WriteParticlePly(manager, ids, std::cout);
          if (!StandardOutputWritten("vantrel-bake")) return 1;
        }
        else
          WriteParticlePly(manager, ids, ExpandFramePattern(ply, static_cast<int>(f)));
      }
    } catch (const std::exception& e) {
      std::fprintf(stderr, "vantrel-bake: %s\n", e.what());
      return 1;
    }
  }
  return StandardOutputWritten("vantrel-bake") ? 0 : 1;
}
