// Shared set-up of the renderer tests: the stage with a known view, renders through the stage's
// post-process shader (the only time its screen buffer can be reached), images and particles.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "engine/Particle.h"
#include "pictures/Bitmap32.h"
#include "render/Projection.h"
#include "render/ParticleSubmit.h"
#include "render/Render.h"
#include "stage/ImageFiles.h"
#include "stage/Stage.h"
#include "tests/StageViews.h"

namespace rendertest {

// An orthographic view whose 129 × 129 drawport is also the render image, with one world unit
// per pixel: world (x, y, z) lands on pixel (64 + x, 64 − z) at depth 1, exactly.
constexpr int OrthoSize = 129;

inline void SetOrthoStage(const CtsxVector3f& background = {0.2f, 0.3f, 0.4f}) {
  stage::ResetStage();
  stagetest::SetOrthographicView(OrthoSize, background);
  MarkProjectionStale();
}

// The body runs inside the stage's post-process shader with the host's record and its buffer.
using TPostBody = std::function<void(const tssPostProcessData&, stage::TScreenBuffer&)>;

inline TPostBody& CurrentBody() {
  static TPostBody body;
  return body;
}

inline void PostProcessShader(const tssPostProcessData* data) {
  if (CurrentBody()) CurrentBody()(*data, *stage::Stage().ActiveBuffer(data->buffer));
}

// Renders a frame of the stage with body as its post-process; answers the full image.
inline stage::TScreenBuffer RenderThroughStage(const TPostBody& body, float frame = 0) {
  stage::TStage& st = stage::Stage();
  st.RegisterShader(tssSHADER_POSTPROCESS, reinterpret_cast<void (*)(void)>(&PostProcessShader), true);
  CurrentBody() = body;
  stage::TScreenBuffer image = st.RenderFrame(frame);
  CurrentBody() = nullptr;
  return image;
}

inline std::shared_ptr<TBitmap32> SolidImage(int32_t width, int32_t height, uint32_t bgra) {
  auto image = std::make_shared<TBitmap32>();
  image->Width = width;
  image->Height = height;
  image->Pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), bgra);
  return image;
}

// A particle at a world point, its ScreenPos projected into render pixels.
inline TParticle ParticleAt(float x, float y, float z, const TColorVector& color = {1, 1, 1, 0}) {
  TParticle p;
  p.Alive = true;
  p.RenderPosition = {x, y, z};
  p.Color = color;
  WorldToRender(p.RenderPosition, p.ScreenPos, true);
  return p;
}

inline TRenderAttributes Attributes(float size, float alpha = 1, const TColorVector& color = {1, 1, 1, 0}) {
  TRenderAttributes a;
  a.Size = size;
  a.Alpha = alpha;
  a.Color = color;
  return a;
}

inline bool SamePixel(const stage::TPixel& a, const stage::TPixel& b) {
  return a.R == b.R && a.G == b.G && a.B == b.B && a.Depth == b.Depth;
}

// Pixels that differ between two images of the same size.
inline int DifferingPixels(const stage::TScreenBuffer& a, const stage::TScreenBuffer& b) {
  int n = 0;
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x) n += !SamePixel(a.At(x, y), b.At(x, y));
  return n;
}

// A folder for pictures the tests write, outside the source tree.
inline std::filesystem::path TestOutputDir() {
  const char* env = std::getenv("VANTREL_TEST_OUTPUT");
  std::filesystem::path dir = env && *env ? std::filesystem::path(env)
                                          : std::filesystem::temp_directory_path() / "vantrel-test-output";
  std::filesystem::create_directories(dir / "render");
  return dir / "render";
}

}  // namespace rendertest
