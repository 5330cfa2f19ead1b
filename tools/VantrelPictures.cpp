// vantrel-pictures: draws the particle pictures of the plug-in's data folder (FOLDER/NAME.png)
// and, when asked, a contact sheet of them. The same program writes the same bytes every run;
// the committed pictures in data/maps are its output.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "stage/ImageFiles.h"
#include "tools/ParticlePictures.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  CLI::App app{"Draws the particle pictures (soft blob, smoke puff, flame, ...) as FOLDER/NAME.png.",
               "vantrel-pictures"};
  app.set_version_flag("--version", std::string("vantrel-pictures ") + VANTREL_VERSION);
  std::string folder = "data/maps", sheet;
  bool list = false;
  app.add_option("FOLDER", folder, "where the pictures go (default: data/maps)");
  app.add_option("--sheet", sheet, "also write a contact sheet of every picture to this PNG file")->type_name("FILE");
  app.add_flag("--list", list, "list the pictures, one per line: file name and description; write nothing");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  if (list) {
    for (const TPictureRecipe& recipe : ParticlePictures())
      std::printf("%s.png\t%s\n", recipe.Name.c_str(), recipe.Description.c_str());
    return 0;
  }
  try {
    fs::create_directories(folder);
    // Straight colours, alpha, and zlib's default compression with adaptive filters: these are
    // files kept in the repository, written once.
    stage::TImageWriteOptions options;
    options.Alpha = true;
    options.StraightColors = true;
    options.Compression = stage::TPngCompression::Small;
    std::vector<stage::TScreenBuffer> drawn;
    for (const TPictureRecipe& recipe : ParticlePictures()) {
      drawn.push_back(DrawPicture(recipe));
      stage::WritePng(fs::path(folder) / (recipe.Name + ".png"), drawn.back(), options);
    }
    if (!sheet.empty()) {
      if (fs::path(sheet).has_parent_path()) fs::create_directories(fs::path(sheet).parent_path());
      stage::TImageWriteOptions opaque;
      opaque.Compression = stage::TPngCompression::Small;
      stage::WritePng(sheet, ContactSheet(drawn), opaque);
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vantrel-pictures: %s\n", e.what());
    return 1;
  }
  return 0;
}
