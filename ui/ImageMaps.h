// The seam between the image maps editor's controller and its view (the view lives in the Qt
// module, which links nothing of the plug-in's layers). The controller owns the system's map
// list, its options and render settings, the two gradient editors, and computes the 128 × 128
// preview as pixels; the view shows the state it is handed and forwards every control's change.
// All-inline and abstract; nothing here throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/GradientEditor.h"

// The preview's side in pixels.
constexpr int MapPreviewSize = 128;

enum class TOriginMove { Center, Top, Left, Right, Bottom };

// What the editor shows, as plain values.
struct TImageMapsState {
  bool HasSystem = false;
  int ImageNumber = 0;       // the entry shown ("Current Image Number")
  int ImageCount = 1;
  std::string ImageName;     // the entry's file name, or "Default"
  // The entry's file could not be found: what the preview and the render stand in for.
  std::string MissingNote;
  int MapMode = 0;           // 0 "Fixed", 1 "Random", 2 "Cycle"
  int CycleTime = 1;         // as the spin shows it: 1 to 1024
  int Flip = 0;              // 0 "No Transform" … 3 "Flip Both"
  int AlphaMaster = 51;      // 0 to 255, the track bar and the spin alike
  float OriginX = 0.5f, OriginY = 0.5f;
  bool ShowTransparency = false;
  bool ShowOrigin = false;
  int MaxParticleSize = 2048;   // 256 to 8192
  double SpatialDither = 0.1;   // 0 to 1
};

class TImageMapsView {
 public:
  virtual ~TImageMapsView() = default;
  virtual void Changed() = 0;
  // The controller goes before the view.
  virtual void ControllerGone() = 0;
};

class TImageMapsController {
 public:
  virtual ~TImageMapsController() = default;
  virtual void AttachView(TImageMapsView* view) = 0;
  virtual TImageMapsState MapsState() const = 0;
  // The preview, MapPreviewSize rows of MapPreviewSize pixels from the top, each 0xFFRRGGBB.
  virtual std::vector<uint32_t> PreviewPixels() const = 0;
  // The gradient editors of the pages "Particle Color" and "System Color".
  virtual TGradientEditorController& ParticleColorEditor() = 0;
  virtual TGradientEditorController& SystemColorEditor() = 0;

  // ---- The "Image Maps" page.
  virtual void SetImageNumber(int index) = 0;
  virtual void AddAction() = 0;
  virtual void DeleteAction() = 0;
  virtual void ChooseImageAction() = 0;
  // A left click on the preview at preview pixels: with Ctrl it sets the origin, otherwise it is
  // "Choose Image...".
  virtual void PreviewClick(double x, double y, int modifiers) = 0;
  virtual void ShowTransparencyAction() = 0;
  virtual void ShowOriginAction() = 0;
  virtual void MoveOriginAction(TOriginMove move) = 0;
  virtual void SetFlip(int index) = 0;
  virtual void SetMapMode(int index) = 0;
  virtual void SetCycleTime(double value) = 0;
  // The track bar and the spin field both: 0 to 255.
  virtual void SetAlphaMaster(int value) = 0;
  // ---- The "Adv" page.
  virtual void SetMaxParticleSize(double value) = 0;
  virtual void SetSpatialDither(double value) = 0;
};
