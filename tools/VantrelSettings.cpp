// vantrel-settings: shows the readable settings of a scene file's emitters and tools, and
// converts settings files (.vte emitters, .vts systems, .vtg gradients) to JSON and back.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "engine/Errors.h"
#include "engine/Stream.h"
#include "tools/SettingsShow.h"
#include "tools/StandardOutput.h"
#include "scene/Settings.h"

namespace {

std::string ReadWholeFile(const std::string& fileName) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw EVantrelError(Format("Cannot open file %s", fileName.c_str()));
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool IsJson(const std::string& fileName) {
  return fileName.size() >= 5 && fileName.compare(fileName.size() - 5, 5, ".json") == 0;
}

int Convert(const std::string& in, const std::string& out, bool force) {
  if (IsJson(in) == IsJson(out)) {
    std::fprintf(stderr, "vantrel-settings: convert turns a .vte, .vts or .vtg file into .json or back; "
                         "exactly one of \"%s\" and \"%s\" must end in .json\n",
                 in.c_str(), out.c_str());
    return 2;
  }
  try {
    if (IsJson(out)) {
      std::vector<std::string> defaulted;
      const std::string text = SettingsText(SettingsFileToJson(in, force, &defaulted));
      for (const std::string& problem : defaulted)
        std::fprintf(stderr, "vantrel-settings: warning: %s: %s; converted with defaults for what is missing\n",
                     in.c_str(), problem.c_str());
      TFileWriteStream s(out);
      s.Write(text.data(), text.size());
      s.Commit();
    } else {
      TSettingsJson j;
      try {
        j = ParseSettingsText(ReadWholeFile(in));
        JsonToSettingsFile(j, out);
      } catch (const ESettingsError& e) {
        // A fault in the text has no JSON path; its line and column are in the problem.
        throw EVantrelError(in + ": " + (e.Path.empty() ? e.Problem : std::string(e.what())));
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vantrel-settings: %s\n", e.what());
    return 1;
  }
  return 0;
}

}  // namespace

int Run(int argc, char** argv) {
  CLI::App app{"Readable settings of Vantrel emitters, systems, tools and gradients."};
  app.require_subcommand(1);
  std::string scene, node, in, out;
  CLI::App* show = app.add_subcommand("show", "print the settings of a scene file's emitters and tools as JSON");
  show->add_option("SCENE", scene, "a scene file (.json)")->required();
  show->add_option("NODE", node, "only the object of this name");
  CLI::App* convert = app.add_subcommand(
      "convert", "turn a settings file into JSON or back; the extensions say which (.vte, .vts, .vtg, .json)");
  convert->add_option("IN", in, "the file to read")->required();
  convert->add_option("OUT", out, "the file to write")->required();
  bool force = false;
  convert->add_flag("--force", force,
                    "convert a damaged settings file: what can be read, the rest at its defaults (each named)");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }

  if (*convert) return Convert(in, out, force);
  try {
    std::vector<std::string> warnings;
    const std::vector<TShownObject> objects = SceneSettings(scene, warnings);
    for (const std::string& warning : warnings) std::fprintf(stderr, "vantrel-settings: warning: %s\n", warning.c_str());
    if (!node.empty()) {
      for (const TShownObject& o : objects)
        if (o.Name == node) {
          if (o.Settings.is_null()) {
            std::fprintf(stderr, "vantrel-settings: %s: \"%s\" (%s) at %s: %s\n", scene.c_str(), o.Name.c_str(),
                         o.TypeName.c_str(), o.Path.c_str(), o.Note.c_str());
            return 1;
          }
          std::fputs(SettingsText(o.Settings).c_str(), stdout);
          return 0;
        }
      std::fprintf(stderr, "vantrel-settings: %s: no emitter or tool named \"%s\"\n", scene.c_str(), node.c_str());
      return 1;
    }
    for (size_t i = 0; i < objects.size(); ++i) {
      const TShownObject& o = objects[i];
      std::printf("%s# %s (%s) at %s\n", i ? "\n" : "", o.Name.c_str(), o.TypeName.c_str(), o.Path.c_str());
      if (o.Settings.is_null())
        std::printf("# %s\n", o.Note.c_str());
      else
        std::fputs(SettingsText(o.Settings).c_str(), stdout);
    }
    if (objects.empty()) std::printf("# %s holds no emitters or tools\n", scene.c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vantrel-settings: %s\n", e.what());
    return 1;
  }
  return 0;
}

int main(int argc, char** argv) {
  const int code = Run(argc, argv);
  // Settings shown into a full disk or a closed pipe are not shown.
  return StandardOutputWritten("vantrel-settings") || code != 0 ? code : 1;
}
