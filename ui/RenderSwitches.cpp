// The render switches and the scene's copy of them.
#include "ui/RenderSwitches.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <utility>
#include <vector>

#include "engine/Errors.h"
#include "hostapi/Platform.h"
#include "render/Render.h"

void TRenderSwitches::EnableRenderingAction() {
  const bool wanted = !EnableRendering;
  EnableRendering = SwitchPostProcess ? SwitchPostProcess(wanted) : false;
  SceneSettingsChanged("enableRendering");
}

void TRenderSwitches::DepthDitheringAction() {
  DepthDithering = !DepthDithering;
  Renderer_.DepthDithering = DepthDithering;
  SceneSettingsChanged("depthDithering");
}

void TRenderSwitches::SoftIntersectionsAction() {
  SoftIntersections = !SoftIntersections;
  Renderer_.SoftDistance = SoftIntersections ? SoftDistance : 0.0f;
  SceneSettingsChanged("softIntersections");
}

void TRenderSwitches::SetSoftDistance(float distance) {
  if (!(distance > 0) || !std::isfinite(distance))
    throw EVantrelError("The soft intersection distance must be a number above 0");
  SoftDistance = distance;
  Renderer_.SoftDistance = SoftIntersections ? SoftDistance : 0.0f;
  SceneSettingsChanged("softDistance");
}

namespace {

// The "key=value" pairs of a settings text, in order.
std::vector<std::pair<std::string, std::string>> SettingsPairs(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> pairs;
  std::istringstream in(text);
  std::string pair;
  while (in >> pair) {
    const size_t eq = pair.find('=');
    pairs.emplace_back(pair.substr(0, eq), eq == std::string::npos ? std::string() : pair.substr(eq + 1));
  }
  return pairs;
}

}  // namespace

void TRenderSwitches::SceneSettingsChanged(const std::string& changed) {
  if (!WriteSceneSettings) return;
  // The scene's block may hold switches this panel has not seen (a scene loaded since, a host
  // that wrote them); only the switch that changed is taken from the panel, the rest from the
  // scene, keys of other versions kept.
  std::optional<std::string> scene = ReadSceneSettings ? ReadSceneSettings() : std::nullopt;
  if (!scene) {
    WriteSceneSettings(Text());
    return;
  }
  auto stored = SettingsPairs(*scene);
  std::string merged;
  for (const auto& [key, value] : SettingsPairs(Text())) {
    std::string taken = value;
    for (auto it = stored.begin(); it != stored.end(); ++it)
      if (it->first == key) {
        if (key != changed) taken = it->second;
        stored.erase(it);
        break;
      }
    merged += (merged.empty() ? "" : " ") + key + "=" + taken;
  }
  for (const auto& [key, value] : stored) merged += " " + key + (value.empty() ? "" : "=" + value);
  WriteSceneSettings(merged);
  // The panel follows what the scene now holds.
  try {
    Apply(merged);
  } catch (const std::exception& e) {
    Platform().ShowMessage(e.what());
  }
}

std::string TRenderSwitches::Text() const {
  char distance[32];
  std::snprintf(distance, sizeof distance, "%.9g", static_cast<double>(SoftDistance));
  return std::string("enableRendering=") + (EnableRendering ? "1" : "0") + " depthDithering=" +
         (DepthDithering ? "1" : "0") + " softIntersections=" + (SoftIntersections ? "1" : "0") +
         " softDistance=" + distance;
}

void TRenderSwitches::Apply(const std::string& text) {
  std::istringstream in(text);
  std::string pair;
  while (in >> pair) {
    const size_t eq = pair.find('=');
    const std::string key = pair.substr(0, eq);
    const std::string value = eq == std::string::npos ? std::string() : pair.substr(eq + 1);
    auto flag = [&](bool& into) {
      if (value != "0" && value != "1")
        throw EVantrelError("Render settings of the scene: " + key + " must be 0 or 1, not \"" + value + "\"");
      into = value == "1";
    };
    if (key == "enableRendering") {
      bool on = false;
      flag(on);
      if (on != EnableRendering) {
        EnableRendering = SwitchPostProcess ? SwitchPostProcess(on) : false;
      }
    } else if (key == "depthDithering") {
      flag(DepthDithering);
    } else if (key == "softIntersections") {
      flag(SoftIntersections);
    } else if (key == "softDistance") {
      char* end = nullptr;
      const float d = std::strtof(value.c_str(), &end);
      if (value.empty() || end != value.c_str() + value.size() || !(d > 0) || !std::isfinite(d))
        throw EVantrelError("Render settings of the scene: softDistance must be a number above 0, not \"" + value + "\"");
      SoftDistance = d;
    }
    Renderer_.DepthDithering = DepthDithering;
    Renderer_.SoftDistance = SoftIntersections ? SoftDistance : 0.0f;
  }
}

void TRenderSwitches::ShowRenderingAction() {
  ShowRendering = !ShowRendering;
  Renderer_.ShowRendering = ShowRendering;
}

void TRenderSwitches::ResetForScene(bool rendering) {
  Apply(std::string("enableRendering=") + (rendering ? "1" : "0") + " depthDithering=0 softIntersections=0 softDistance=1");
}

bool TRenderSwitches::ApplyScene() {
  const std::optional<std::string> settings = ReadSceneSettings ? ReadSceneSettings() : std::nullopt;
  if (!settings) return false;
  Apply(*settings);
  return true;
}
