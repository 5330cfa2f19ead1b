// Where `vantrel render` writes its frames: the OUT argument with its run of '#' standing for the
// zero-padded frame number, the default name out/SCENE-NAME/####.png, and the image format taken
// from the extension unless --format names it.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "stage/ImageFiles.h"

namespace stage::cli {

using stage::TImageFormat;

// A usage error: the command line asks for something that cannot be done. Exit code 2.
class EUsageError : public std::runtime_error {
 public:
  explicit EUsageError(const std::string& message) : std::runtime_error(message) {}
};

class TOutputPattern {
 public:
  // out: the OUT argument (empty: out/SCENE-NAME/####.<format>); format: --format.
  // With a format, OUT keeps a matching .png/.exr extension and any other name gets the
  // format's extension added; without one, OUT's extension decides and a name without an
  // extension becomes PNG. Throws EUsageError for an unknown extension, a --format that
  // contradicts the extension, or an OUT that names a folder.
  TOutputPattern(const std::filesystem::path& scene, const std::string& out,
                 std::optional<TImageFormat> format);

  // The file of one frame: the last run of '#' in the file name replaced by the frame number,
  // zero-padded to the run's length (a minus sign counts towards it). When the name holds no '#'
  // and several frames are rendered, the number (four digits) goes before the extension so that
  // frames do not overwrite each other; a single frame is written to OUT as given.
  std::filesystem::path FramePath(long long frame, bool severalFrames) const;

  TImageFormat Format() const { return Format_; }
  const std::string& Pattern() const { return Pattern_; }

 private:
  std::string Pattern_;
  TImageFormat Format_ = TImageFormat::Png;
};

// The scene's name for default output folders: the file's stem, or its folder's name when the
// file is called scene.json.
std::string SceneName(const std::filesystem::path& scene);

// "png" or "exr" (any case); anything else throws EUsageError.
TImageFormat ParseFormat(const std::string& text);
const char* Extension(TImageFormat format);

}  // namespace stage::cli
