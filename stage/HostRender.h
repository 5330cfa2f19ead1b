// The host's own image of a frame: the background colour, then every visible polyhedron,
// flat-shaded by Lambert's law with a light at the eye, through a z-buffer. Pixels get
// depth = (camera-space z)², empty ones keep +infinity. Projection follows the view's
// convention exactly (drawport pixel, then the eye-to-render matrix), so geometry lines up to
// the pixel with what the plug-in projects.
#pragma once

#include <cstdint>
#include <string>

#include "hostapi/TsxApi5.h"
#include "stage/Scene.h"
#include "stage/ScreenBuffer.h"
#include "stage/View.h"

namespace stage {

struct TRenderSettings {
  int32_t Width = 640;
  int32_t Height = 480;
  float FirstFrame = 0;
  float LastFrame = 0;
  CtsxVector3f Background{0, 0, 0};
  float BackgroundAlpha = 1;
  // Antialiasing: each frame is rendered at Samples × Samples its size and filtered down; 1 to 4.
  int32_t Samples = 1;
  // Inclusive image pixels; used when UseRegion is set.
  bool UseRegion = false;
  int16_t RegionLeft = 0, RegionTop = 0, RegionRight = 0, RegionBottom = 0;
};

// Memory a frame may take while it is rendered and written: the render at its sample size, the
// filtered image, the shown copy and the written copy. Larger frames are refused before anything
// is allocated.
constexpr uint64_t FrameMemoryLimit = uint64_t{4} << 30;
// Bytes a frame of the settings' size and samples takes, as counted against the limit.
uint64_t FrameMemory(const TRenderSettings& settings);
// Empty when the frame fits the limit; otherwise the words that say what is too large and how
// much memory it would need ("a frame of 16384 x 16384 pixels needs about 21.5 GB ...").
std::string FrameMemoryProblem(const TRenderSettings& settings);

// The image rectangle a render covers (the region, clamped to the image, or the whole image).
struct TRect {
  int32_t Left, Top, Right, Bottom;  // inclusive
};
TRect RenderRect(const TRenderSettings& settings);

// Fills the buffer with the background (depth +infinity), its colour premultiplied by its alpha.
// An opaque background keeps its colour exactly.
void ClearToBackground(TScreenBuffer& buffer, const TRenderSettings& settings);
// The image of a render made at samples × samples its size, filtered down: each pixel is the
// mean of its block's colours and alphas (premultiplied colours, so edges blend as coverage
// says) and the nearest of its depths. The big image's size must be a multiple of samples.
TScreenBuffer FilterDown(const TScreenBuffer& big, int32_t samples);

// Draws every visible polyhedron of the scene at its current pose into the buffer, which
// covers image pixels from (buffer.Left(), buffer.Top()) of an image of the settings' size.
void DrawPolyhedra(const TScene& scene, const TView& view, const TRenderSettings& settings,
                   TScreenBuffer& buffer);

}  // namespace stage
