// What `vantrel render` changes about how a frame is made and stored, beyond the frames and the
// file names: antialiasing (--samples), the bit depth of the files (--depth), and the plug-in's
// render switches the scene keeps (--depth-dithering, --soft-intersections), which reach the
// plug-in through the settings the stage keeps with the scene.
#pragma once

#include <optional>
#include <string>

#include "stage/ImageFiles.h"
#include "stage/cli/OutputPattern.h"

namespace stage {
class TStage;
}

namespace stage::cli {

struct TRenderSwitches {
  std::optional<int> Samples;              // --samples, 1 to 4
  std::optional<int> Depth;                // --depth: bits per channel
  std::optional<bool> DepthDithering;      // --depth-dithering on|off
  std::optional<float> SoftIntersections;  // --soft-intersections DIST|off; 0 is off
};

// The key under which the stage keeps the Vantrel plug-in's settings with the scene.
constexpr const char* PluginSettingsKey = "Vantrel";

// "on" or "off"; throws EUsageError naming the option otherwise.
bool ParseOnOff(const std::string& option, const std::string& text);
// A distance above 0 in scene units, or "off" (answered as 0); throws EUsageError otherwise.
float ParseSoftIntersections(const std::string& text);
// Throws EUsageError for a bit depth the format does not have (PNG 8 or 16, EXR 16 or 32).
void CheckDepth(int bits, TImageFormat format);

// In a text of space-separated key=value pairs, sets key to value (replacing the pair or adding
// one at the end).
std::string WithSetting(const std::string& text, const std::string& key, const std::string& value);

// Puts the switches into the stage: the samples into the render settings, the plug-in's
// switches into its settings block. Throws EUsageError when the samples make an image larger
// than 16384 pixels a side.
void ApplySwitches(TStage& stage, const TRenderSwitches& switches);

// How the frames of the stage's scene are written: the render pipeline's options
// (FrameWriteOptions) with the bits --depth asks for.
TImageWriteOptions WriteOptions(const TStage& stage, const TRenderSwitches& switches);

}  // namespace stage::cli
