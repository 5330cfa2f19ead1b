// Command-line parsing of the vantrel program.
#include "stage/cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "stage/cli/ExitCodes.h"
#include "stage/cli/InfoCommand.h"
#include "stage/cli/Jobs.h"
#include "stage/cli/NewCommand.h"
#include "stage/cli/PluginLoader.h"
#include "stage/cli/RenderCommand.h"

namespace stage::cli {

std::string TimingsText(const TRenderTimes& t) {
  const double n = t.Frames > 0 ? static_cast<double>(t.Frames) : 1.0;
  char text[640];
  std::snprintf(text, sizeof text,
                "vantrel: timings, %lld %s written: render begin (the plug-in's simulation up to the first "
                "frame) %.3f s; per frame: host image %.4f s, post-process (the plug-in's simulation step and "
                "compositing) %.4f s, writing %.4f s (on the writer thread, beside the render), end to end %.4f s\n",
                t.Frames, t.Frames == 1 ? "frame" : "frames", t.Begin, t.HostImage / n, t.PostProcess / n,
                t.Write / n, (t.Total - t.Begin) / n);
  return text;
}

namespace {

// CLI11 takes a word it does not know for a stray argument; name it as the command it was meant
// to be. Answers the first word that is neither an option nor --plugin's value.
std::string FirstWord(int argc, const char* const* argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--plugin") {
      ++i;
      continue;
    }
    if (!a.empty() && a[0] == '-') continue;
    return a;
  }
  return {};
}

}  // namespace

int RunStudio(const std::vector<std::string>& args, std::ostream& err) {
  std::filesystem::path program;
  try {
    program = ExecutableFolder() / "vantrel-studio";
  } catch (const std::exception& e) {
    err << "vantrel: " << e.what() << '\n';
    return ExitFailure;
  }
  std::vector<std::string> all{program.string()};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  err.flush();
  execv(program.c_str(), argv.data());
  // Only a failed exec comes back.
  const int error = errno;
  err << "vantrel: cannot run the studio " << program.string() << ": " << std::strerror(error)
      << (error == ENOENT ? " (build the target vantrel-studio)" : "") << '\n';
  return ExitFailure;
}

int RunCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool errIsTerminal) {
  CLI::App app{"vantrel: the command-line host of the Vantrel particle plug-in", "vantrel"};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("vantrel ") + VANTREL_VERSION);
  std::string plugin;
  app.add_option("--plugin", plugin, "The plug-in module (default: vantrel.tsx beside this program)")
      ->type_name("PATH");

  // ---- render
  CLI::App* render = app.add_subcommand("render", "Render a scene's frames to image files");
  std::string renderScene, out_, format, size, frameList, compression;
  long long start = 0, end = 0, step = 1;
  render->add_option("SCENE", renderScene, "The scene file (JSON)")->required();
  CLI::Option* startOpt = render->add_option("-s,--start", start, "First frame (default: the scene's)")
                                   ->check(CLI::Range(-FrameLimit, FrameLimit));
  CLI::Option* endOpt = render->add_option("-e,--end", end, "Last frame (default: the scene's)")
                                 ->check(CLI::Range(-FrameLimit, FrameLimit));
  CLI::Option* frameOpt =
      render->add_option("-f,--frame", frameList, "Render these frames only: a frame, or frames and ranges, e.g. 1,5,10-20")
          ->type_name("LIST");
  frameOpt->excludes(startOpt)->excludes(endOpt);
  render->add_option("--step", step, "Every K-th frame of the range (or of each range of -f), counted from its first")
      ->type_name("K")
      ->check(CLI::Range(1LL, FrameLimit));
  bool skipExisting = false, quiet = false, verbose = false;
  render->add_flag("--skip-existing", skipExisting,
                   "Write no frame whose file exists already (the simulation still passes through it), "
                   "so that an interrupted render resumes");
  render->add_option("-o,--output", out_,
                     "Output file; a run of # stands for the zero-padded frame number "
                     "(default: out/SCENE-NAME/####.png)")
      ->type_name("OUT");
  CLI::Option* formatOpt = render->add_option("--format", format, "png or exr (default: from OUT's extension)")
                               ->check(CLI::IsMember({"png", "exr"}, CLI::ignore_case));
  render->add_option("--png-compression", compression,
                     "fast (the default: quick to write) or small (smaller files, slower to write)")
      ->check(CLI::IsMember({"fast", "small"}, CLI::ignore_case));
  bool timings = false;
  render->add_flag("--timings", timings,
                   "At the end, print seconds per frame spent on the host's image, in the plug-in's "
                   "post-process shader and on writing");
  std::string chunkText;
  CLI::Option* chunkOpt =
      render->add_option("--chunk", chunkText,
                         "Render only the I-th of N contiguous parts of the frames, as a farm's task does "
                         "(the files are those of the whole render)")
          ->type_name("I/N");
  int jobs = 1;
  render->add_option("-j,--jobs", jobs, "Worker processes on this machine, each rendering a part of the frames")
      ->type_name("N")
      ->check(CLI::Range(1, MaxJobs))
      ->excludes(chunkOpt);
  int threads = 0;
  CLI::Option* threadsOpt =
      render->add_option("--threads", threads,
                         "Threads of the plug-in's stepping and compositing (default: VANTREL_THREADS, else "
                         "every core; with --jobs, the cores shared out); any count gives the same images")
          ->type_name("N")
          ->check(CLI::Range(1, 256));
  int reportFd = -1;
  render->add_option("--report-fd", reportFd, "A worker's report line to its parent (for --jobs)")
      ->group("");  // not for people
  CLI::Option* sizeOpt = render->add_option("--size", size, "Image size WIDTHxHEIGHT (default: the scene's)")
                             ->type_name("WxH");
  CLI::Option* quietOpt = render->add_flag("-q,--quiet", quiet, "Print only errors, warnings and the plug-in's messages");
  render->add_flag("-v,--verbose", verbose, "Also print what was loaded and where each frame's time went")
      ->excludes(quietOpt);
  TRenderSwitches switches;
  std::string ditherText, softText;
  int samples = 1, depth = 8;
  CLI::Option* samplesOpt =
      render->add_option("--samples", samples, "Antialiasing: render at N x N the size and filter down, 1 to 4 "
                                               "(default: the scene's, else 1)")
          ->type_name("N")
          ->check(CLI::Range(1, 4));
  CLI::Option* depthOpt = render->add_option("--depth", depth, "Bits per channel: PNG 8 or 16, EXR 16 (half) or 32 "
                                                               "(float) (default: 8 and 32)")
                              ->type_name("BITS");
  CLI::Option* ditherOpt = render->add_option("--depth-dithering", ditherText,
                                              "The plug-in's Depth Dithering, on or off (default: the scene's)")
                               ->type_name("on|off");
  CLI::Option* softOpt = render->add_option("--soft-intersections", softText,
                                            "The plug-in's Soft Intersections: fade sprites within DIST scene "
                                            "units in front of geometry, or off (default: the scene's)")
                             ->type_name("DIST|off");

  // ---- info
  CLI::App* info = app.add_subcommand("info", "List a scene's nodes, emitters, tools and render settings");
  std::string infoScene;
  info->add_option("SCENE", infoScene, "The scene file (JSON)")->required();

  // ---- new
  CLI::App* create = app.add_subcommand("new", "Write a ready-to-render scene from an emitter preset, or list the presets");
  TNewOptions newOptions;
  CLI::Option* newScene = create->add_option("SCENE", newOptions.Scene, "The scene file to write (JSON)");
  CLI::Option* newPreset = create->add_option("--preset", newOptions.Preset, "The preset (vantrel new --list shows them)")
                               ->type_name("NAME");
  CLI::Option* newForce = create->add_flag("--force", newOptions.Force, "Replace SCENE when it exists");
  create->add_flag("--list", newOptions.List, "List the presets, one per line: name, then description")
      ->excludes(newScene)
      ->excludes(newPreset)
      ->excludes(newForce);

  // ---- studio: the desktop host is a program of its own, so that this one links no Qt.
  CLI::App* studio = app.add_subcommand("studio", "Open the desktop studio (vantrel-studio), with a scene if given");
  std::string studioScene;
  studio->add_option("SCENE", studioScene, "A scene file to open");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << (render->parsed()   ? render->help("vantrel")
            : info->parsed()   ? info->help("vantrel")
            : create->parsed() ? create->help("vantrel")
            : studio->parsed() ? studio->help("vantrel")
                               : app.help());
    return ExitSuccess;
  } catch (const CLI::CallForVersion&) {
    out << "vantrel " << VANTREL_VERSION << '\n';
    return ExitSuccess;
  } catch (const CLI::ParseError& e) {
    const std::string word = FirstWord(argc, argv);
    if (!word.empty() && word != "render" && word != "info" && word != "new" && word != "studio")
      err << "vantrel: unknown command '" << word << "' (the commands are render, info, new and studio)";
    else
      err << "vantrel: " << e.what();
    err << "\nRun 'vantrel --help' (or 'vantrel render --help') for the options.\n";
    return ExitUsage;
  }

  if (info->parsed()) return RunInfo({infoScene, plugin}, out, err);
  if (create->parsed()) return RunNew(newOptions, out, err);
  if (studio->parsed()) {
    std::vector<std::string> args;
    if (!plugin.empty()) args.insert(args.end(), {"--plugin", plugin});
    if (!studioScene.empty()) args.push_back(studioScene);
    return RunStudio(args, err);
  }

  TRenderOptions options;
  options.Scene = renderScene;
  options.Plugin = plugin;
  options.Out = out_;
  if (*startOpt) options.Frames.Start = start;
  if (*endOpt) options.Frames.End = end;
  options.Frames.Step = step;
  options.SkipExisting = skipExisting;
  if (!compression.empty() && (compression[0] == 's' || compression[0] == 'S'))
    options.Compression = TPngCompression::Small;
  TProgress progress(err, errIsTerminal, quiet ? TVerbosity::Quiet : verbose ? TVerbosity::Verbose : TVerbosity::Normal);
  try {
    if (*frameOpt) options.Frames.List = ParseFrameList(frameList);
    if (*formatOpt) options.Format = ParseFormat(format);
    if (*sizeOpt) options.Size = ParseSize(size);
    if (*samplesOpt) switches.Samples = samples;
    if (*depthOpt) switches.Depth = depth;
    if (*ditherOpt) switches.DepthDithering = ParseOnOff("--depth-dithering", ditherText);
    if (*softOpt) switches.SoftIntersections = ParseSoftIntersections(softText);
    options.Switches = switches;
  } catch (const EUsageError& e) {
    err << "vantrel: " << e.what() << '\n';
    return ExitUsage;
  }
  if (*chunkOpt) {
    try {
      options.Chunk = ParseChunk(chunkText);
    } catch (const EUsageError& e) {
      err << "vantrel: " << e.what() << '\n';
      return ExitUsage;
    }
  }
  options.ReportFd = reportFd;
  // The plug-in takes its thread count from the environment, in this process and in the workers.
  if (*threadsOpt)
    setenv("VANTREL_THREADS", std::to_string(threads).c_str(), 1);
  else if (jobs > 1 && !std::getenv("VANTREL_THREADS"))
    setenv("VANTREL_THREADS", std::to_string(std::max(1u, std::thread::hardware_concurrency() / static_cast<unsigned>(jobs))).c_str(), 1);
  if (jobs > 1) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string self;
    try {
      self = std::filesystem::read_symlink("/proc/self/exe").string();
    } catch (const std::exception& e) {
      err << "vantrel: cannot find this program to start its workers: " << e.what() << '\n';
      return ExitFailure;
    }
    return RunJobs(self, WorkerArguments(args), jobs, progress);
  }
  TRenderTimes times;
  const int code = RunRender(options, progress, &times);
  if (timings) err << TimingsText(times);
  return code;
}

}  // namespace stage::cli
