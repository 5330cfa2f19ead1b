// Command-line parsing of the vantrel program.
#include "stage/cli/CommandLine.h"

#include <CLI/CLI.hpp>

#include <cstdio>

#include "stage/cli/ExitCodes.h"
#include "stage/cli/InfoCommand.h"
#include "stage/cli/RenderCommand.h"

namespace stage::cli {

namespace {
constexpr long long kLargestFrame = 16777216;
}  // namespace

std::string TimingsText(const TRenderTimes& t) {
  const double n = t.Frames > 0 ? static_cast<double>(t.Frames) : 1.0;
  char text[512];
  std::snprintf(text, sizeof text,
                "vantrel: timings, %lld frames written: render begin (the plug-in's simulation up to the first "
                "frame) %.3f s; per frame: host image %.4f s, post-process (the plug-in's simulation step and "
                "compositing) %.4f s, writing %.4f s\n",
                t.Frames, t.Begin, t.HostImage / n, t.PostProcess / n, t.Write / n);
  return text;
}

int RunCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool errIsTerminal) {
  CLI::App app{"vantrel: the command-line host of the Vantrel particle plug-in"};
  app.require_subcommand(1);
  std::string plugin;
  app.add_option("--plugin", plugin, "The plug-in module (default: vantrel.tsx beside this program)")
      ->type_name("PATH");

  // ---- render
  CLI::App* render = app.add_subcommand("render", "Render a scene's frames to image files");
  std::string renderScene, out_, format, size;
  long long start = 0, end = 0, frame = 0;
  render->add_option("SCENE", renderScene, "The scene file (JSON)")->required();
  CLI::Option* startOpt = render->add_option("-s,--start", start, "First frame (default: the scene's)");
  CLI::Option* endOpt = render->add_option("-e,--end", end, "Last frame (default: the scene's)");
  CLI::Option* frameOpt = render->add_option("-f,--frame", frame, "Render this one frame only");
  frameOpt->excludes(startOpt)->excludes(endOpt);
  // Frames are times of the host, held as floats: beyond 2^24 a float no longer tells one whole
  // frame from the next.
  for (CLI::Option* o : {startOpt, endOpt, frameOpt}) o->check(CLI::Range(-kLargestFrame, kLargestFrame));
  render->add_option("-o,--output", out_,
                     "Output file; a run of # stands for the zero-padded frame number "
                     "(default: out/SCENE-NAME/####.png)")
      ->type_name("OUT");
  CLI::Option* formatOpt = render->add_option("--format", format, "png or exr (default: from OUT's extension)")
                               ->check(CLI::IsMember({"png", "exr"}, CLI::ignore_case));
  bool timings = false;
  render->add_flag("--timings", timings,
                   "At the end, print seconds per frame spent on the host's image, in the plug-in's "
                   "post-process shader and on writing");
  CLI::Option* sizeOpt = render->add_option("--size", size, "Image size WIDTHxHEIGHT (default: the scene's)")
                             ->type_name("WxH");

  // ---- info
  CLI::App* info = app.add_subcommand("info", "List a scene's nodes, emitters, tools and render settings");
  std::string infoScene;
  info->add_option("SCENE", infoScene, "The scene file (JSON)")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help(render->parsed() ? "render" : info->parsed() ? "info" : "");
    return ExitSuccess;
  } catch (const CLI::ParseError& e) {
    err << "vantrel: " << e.what() << "\nRun 'vantrel --help' (or 'vantrel render --help') for the options.\n";
    return ExitUsage;
  }

  if (info->parsed()) return RunInfo({infoScene, plugin}, out, err);

  TRenderOptions options;
  options.Scene = renderScene;
  options.Plugin = plugin;
  options.Out = out_;
  if (*startOpt) options.Start = start;
  if (*endOpt) options.End = end;
  if (*frameOpt) options.Frame = frame;
  TProgress progress(err, errIsTerminal);
  try {
    if (*formatOpt) options.Format = ParseFormat(format);
    if (*sizeOpt) options.Size = ParseSize(size);
  } catch (const EUsageError& e) {
    err << "vantrel: " << e.what() << '\n';
    return ExitUsage;
  }
  TRenderTimes times;
  const int code = RunRender(options, progress, &times);
  if (timings) err << TimingsText(times);
  return code;
}

}  // namespace stage::cli
