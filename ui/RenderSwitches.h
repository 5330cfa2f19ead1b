// The switches that steer final rendering ("Enable Rendering", "Depth Dithering", "Soft
// Intersections" with its distance, "Show Rendering (Slow)") and the scene's copy of them. The
// scene keeps them as a text, "enableRendering=1 depthDithering=0 softIntersections=0
// softDistance=1", pairs separated by spaces; a switch the user changes is merged into what the
// scene holds, so switches the panel has not seen are never overwritten by a stale copy.
#pragma once

#include <functional>
#include <optional>
#include <string>

class TParticleRenderer;

class TRenderSwitches {
 public:
  explicit TRenderSwitches(TParticleRenderer& renderer) : Renderer_(renderer) {}

  bool EnableRendering = false;
  bool DepthDithering = false;
  bool SoftIntersections = false;
  float SoftDistance = 1;  // scene units, above 0
  bool ShowRendering = false;

  // ---- Services of the host binding. Unset hooks act as a host that refuses.
  // Switches the post-process shader's registration and answers the state it ends in.
  std::function<bool(bool)> SwitchPostProcess;
  // The text the scene keeps: read (nothing when the scene holds none), and written whenever a
  // switch changes. Unset: the host keeps none.
  std::function<std::optional<std::string>()> ReadSceneSettings;
  std::function<void(const std::string&)> WriteSceneSettings;

  // ---- The user's actions; each writes the scene's copy.
  void EnableRenderingAction();
  void DepthDitheringAction();
  // "Soft Intersections": flips the switch; the distance is kept while it is off.
  void SoftIntersectionsAction();
  // The distance of "Soft Intersections" in scene units; throws EVantrelError unless it is a
  // finite number above 0.
  void SetSoftDistance(float distance);
  void ShowRenderingAction();

  // ---- The text. Applying sets the switches a text names (the others keep their state; unknown
  // keys are ignored) and switches rendering through the host as its action does; a value that
  // is not one of the key's values throws EVantrelError naming the key, after the valid pairs
  // before it took effect.
  std::string Text() const;
  void Apply(const std::string& text);
  // Takes the switches the scene keeps; false when it keeps none. Throws as Apply does.
  bool ApplyScene();
  // A scene that opens starts from the switches a fresh start has (rendering as the host's first
  // click left it), so that what it keeps no switch for never comes from the scene before it.
  void ResetForScene(bool rendering);

 private:
  // Writes the switch that changed into the scene's block, merged with what the block holds.
  void SceneSettingsChanged(const std::string& changed);

  TParticleRenderer& Renderer_;
};
