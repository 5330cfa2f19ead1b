// The render options of `vantrel render` that reach the stage's settings and the plug-in's.
#include "stage/cli/RenderSwitches.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "stage/RenderPipeline.h"
#include "stage/Stage.h"

namespace stage::cli {

bool ParseOnOff(const std::string& option, const std::string& text) {
  if (text == "on") return true;
  if (text == "off") return false;
  throw EUsageError(option + " '" + text + "': give on or off");
}

float ParseSoftIntersections(const std::string& text) {
  if (text == "off") return 0;
  char* end = nullptr;
  const float d = std::strtof(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !(d > 0) || !std::isfinite(d))
    throw EUsageError("--soft-intersections '" + text +
                      "': give a distance in scene units above 0 (e.g. 0.5), or off");
  return d;
}

void CheckDepth(int bits, TImageFormat format) {
  if (format == TImageFormat::Png && bits != 8 && bits != 16)
    throw EUsageError("--depth " + std::to_string(bits) + ": PNG files have 8 or 16 bits per channel");
  if (format == TImageFormat::Exr && bits != 16 && bits != 32)
    throw EUsageError("--depth " + std::to_string(bits) +
                      ": EXR files have 16 (half) or 32 (float) bits per channel");
}

std::string WithSetting(const std::string& text, const std::string& key, const std::string& value) {
  std::istringstream in(text);
  std::string pair, out;
  bool replaced = false;
  while (in >> pair) {
    if (pair.compare(0, key.size() + 1, key + "=") == 0) {
      pair = key + "=" + value;
      replaced = true;
    }
    out += (out.empty() ? "" : " ") + pair;
  }
  if (!replaced) out += (out.empty() ? "" : " ") + key + "=" + value;
  return out;
}

void ApplySwitches(TStage& stage, const TRenderSwitches& s) {
  if (s.Samples) {
    const int n = *s.Samples;
    if (n < 1 || n > 4) throw EUsageError("--samples " + std::to_string(n) + ": give 1 to 4");
    stage.Render.Samples = n;
  }
  const int n = stage.Render.Samples;
  if (int64_t{stage.Render.Width} * n > 16384 || int64_t{stage.Render.Height} * n > 16384)
    throw EUsageError(std::to_string(n) + " x " + std::to_string(n) + " samples of a " +
                      std::to_string(stage.Render.Width) + " x " + std::to_string(stage.Render.Height) +
                      " image make it larger than 16384 pixels a side: use fewer samples or a smaller --size");
  if (const std::string problem = FrameMemoryProblem(stage.Render); !problem.empty()) throw EUsageError(problem);
  std::string& block = stage.PluginSettings[PluginSettingsKey];
  if (s.DepthDithering) block = WithSetting(block, "depthDithering", *s.DepthDithering ? "1" : "0");
  if (s.SoftIntersections) {
    block = WithSetting(block, "softIntersections", *s.SoftIntersections > 0 ? "1" : "0");
    if (*s.SoftIntersections > 0) {
      char distance[32];
      std::snprintf(distance, sizeof distance, "%.9g", static_cast<double>(*s.SoftIntersections));
      block = WithSetting(block, "softDistance", distance);
    }
  }
  if (block.empty()) stage.PluginSettings.erase(PluginSettingsKey);
}

TImageWriteOptions WriteOptions(const TStage& stage, const TRenderSwitches& s) {
  TImageWriteOptions o = FrameWriteOptions(stage);
  o.Bits = s.Depth.value_or(0);
  return o;
}

}  // namespace stage::cli
