// Views the tests build their stage scenes with.
#pragma once

#include "stage/Stage.h"

namespace stagetest {

// An orthographic view of the origin from −y whose square drawport is also the render image,
// one world unit per pixel: world (x, y, z) lands on pixel (c + x, c − z), c = (size − 1) / 2,
// at depth 1.
inline void SetOrthographicView(int32_t size, const CtsxVector3f& background = {0, 0, 0}) {
  stage::TStage& st = stage::Stage();
  st.View.Camera = stage::TCamera{};
  st.View.Camera.Eye = {0, -10, 0};
  st.View.Camera.Target = {0, 0, 0};
  st.View.Camera.Up = {0, 0, 1};
  st.View.Camera.Projection = stage::TProjection::Orthographic;
  st.View.Camera.Height = static_cast<float>(size - 1);
  st.View.Width = st.View.Height = size;
  st.Render.Width = st.Render.Height = size;
  st.Render.Background = background;
}

}  // namespace stagetest
