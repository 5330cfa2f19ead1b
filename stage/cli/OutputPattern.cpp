// Frame file names of `vantrel render`.
#include "stage/cli/OutputPattern.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace stage::cli {

namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

// The extension of the last path component, with its dot; empty when there is none.
std::string ExtensionOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t name = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot <= name) return {};  // ".hidden" has no extension
  return path.substr(dot);
}

}  // namespace

TImageFormat ParseFormat(const std::string& text) {
  const std::string f = Lower(text);
  if (f == "png") return TImageFormat::Png;
  if (f == "exr") return TImageFormat::Exr;
  throw EUsageError("Unknown image format '" + text + "': use png or exr");
}

const char* Extension(TImageFormat format) { return format == TImageFormat::Exr ? ".exr" : ".png"; }

std::string SceneName(const std::filesystem::path& scene) {
  const std::filesystem::path absolute = std::filesystem::absolute(scene).lexically_normal();
  if (absolute.filename() == "scene.json" && !absolute.parent_path().filename().empty())
    return absolute.parent_path().filename().string();
  return absolute.stem().string();
}

TOutputPattern::TOutputPattern(const std::filesystem::path& scene, const std::string& out,
                               std::optional<TImageFormat> format) {
  if (out.empty()) {
    Format_ = format.value_or(TImageFormat::Png);
    Pattern_ = (std::filesystem::path("out") / SceneName(scene) / "####").string() + Extension(Format_);
    return;
  }
  if (out.back() == '/' || std::filesystem::is_directory(out))
    throw EUsageError("OUT '" + out + "' is a folder: give a file name such as " + out +
                      (out.back() == '/' ? "" : "/") + "####.png");

  const std::string ext = Lower(ExtensionOf(out));
  std::optional<TImageFormat> byExtension;
  if (ext == ".png") byExtension = TImageFormat::Png;
  if (ext == ".exr") byExtension = TImageFormat::Exr;

  if (format) {
    if (byExtension && *byExtension != *format)
      throw EUsageError(std::string("--format ") + (Extension(*format) + 1) +
                        " contradicts the extension of OUT '" + out + "'");
    Format_ = *format;
    Pattern_ = byExtension ? out : out + Extension(*format);
    return;
  }
  if (!ext.empty() && !byExtension)
    throw EUsageError("Cannot tell the image format of OUT '" + out +
                      "': use the extension .png or .exr, or --format");
  Format_ = byExtension.value_or(TImageFormat::Png);
  Pattern_ = byExtension ? out : out + Extension(Format_);
}

std::filesystem::path TOutputPattern::FramePath(long long frame, bool severalFrames) const {
  const size_t slash = Pattern_.find_last_of('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const size_t last = Pattern_.find_last_of('#');

  std::string before, after;
  int width = 4;
  if (last != std::string::npos && last >= nameStart) {
    size_t first = last;
    while (first > nameStart && Pattern_[first - 1] == '#') --first;
    before = Pattern_.substr(0, first);
    after = Pattern_.substr(last + 1);
    width = static_cast<int>(last - first + 1);
  } else if (severalFrames) {
    const size_t extLength = ExtensionOf(Pattern_).size();
    before = Pattern_.substr(0, Pattern_.size() - extLength);
    after = Pattern_.substr(Pattern_.size() - extLength);
  } else {
    return Pattern_;
  }
  char number[32];
  std::snprintf(number, sizeof number, "%0*lld", width, frame);
  return before + number + after;
}

}  // namespace stage::cli
