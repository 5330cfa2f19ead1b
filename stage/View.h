// A view of the scene: a camera and a drawport, the matrices the host interface hands out for
// it, the plug-in's projection of points onto drawport pixels, and the line drawings the
// plug-in makes in it (kept as segments in drawport pixels so a program can draw them and a
// test can read them).
//
// The matrices are asked for once per particle while the plug-in previews, so the view keeps the
// last ones it made together with the camera and drawport they were made from, and makes them
// again whenever either differs (compared bit for bit at every read). Camera, Width and Height
// stay plain fields that anyone may write: no edit can leave the matrices stale. The view's
// matrices depend on nothing else (the camera is no scene node: neither the scene's time nor an
// object's transform moves it).
//
// Camera space has z along target − eye, x to the right and y downwards on the screen. For a
// drawport of W × H pixels (aspect a = W / H) the world-to-viewport transform maps a point to
//   perspective:  p = (x_c / (a·tan(θ/2)), y_c / tan(θ/2), z_c)   (θ the vertical field of view)
//   orthographic: p = (x_c / (a·h/2),      y_c / (h/2),      z_c)   (h the visible height)
// and its drawport pixel is (cx + (p.x / p.z)·cx, cy + (p.y / p.z)·cy) with p.z taken as 1 in
// orthographic views, cx = (W − 1) / 2, cy = (H − 1) / 2.
#pragma once

#include <cstdint>
#include <vector>

#include "hostapi/TsxApi5.h"

namespace stage {

enum class TProjection { Perspective = 0, Orthographic = 1 };

struct TCamera {
  CtsxVector3f Eye{0, -10, 0};
  CtsxVector3f Target{0, 0, 0};
  CtsxVector3f Up{0, 0, 1};
  TProjection Projection = TProjection::Perspective;
  float FieldOfView = 45;   // degrees, vertical; perspective
  float Height = 10;        // visible height in world units; orthographic
};

struct TLineSegment {
  float X0, Y0, X1, Y1;     // drawport pixels
  tsxPEN Pen;
};

struct TProjected {
  float X, Y;               // drawport pixels
  float Depth;              // camera-space z (1 in orthographic views, as the plug-in sees it)
};

class TView {
 public:
  TCamera Camera;
  int32_t Width = 640;      // drawport
  int32_t Height = 480;

  // Eye to world: columns are the camera's x, y, z axes in world space, translation the eye.
  // A degenerate camera (eye on the target, or up along the view) falls back to a sane frame.
  CtsxTxmx3f EyeToWorld() const { return Matrices().EyeToWorld; }
  CtsxTxmx3f WorldToViewport() const { return Matrices().WorldToViewport; }
  int ViewMode() const { return static_cast<int>(Camera.Projection); }
  // The plug-in's projection of a world point.
  TProjected Project(const CtsxVector3f& world) const;
  // Drawport pixels to render-image pixels for a render of renderWidth × renderHeight.
  void EyeToRender(int32_t renderWidth, int32_t renderHeight, float m[6]) const;

  // ---- Drawings. Refresh erases them (the host then redraws its objects).
  tsxPEN Pen = e_tsxPEN_SCENE;
  std::vector<TLineSegment> Lines;
  int RefreshCount = 0;
  // Draws the polylines of lineList (−2 separates polylines, −1 or the end of nbrPoints-bounded
  // indices ends the list) through points mapped by transform. Segments behind the eye of a
  // perspective view are clipped at the near distance. Indices outside the points end the list.
  // Answers true when it drew at least one segment.
  bool DrawLineList(const CtsxTxmx3f& transform, const CtsxVector3f* points, int32_t nbrPoints,
                    const int32_t* lineList);

 private:
  struct TMatrices {
    TCamera Camera;           // what they were made from
    int32_t Width = 0, Height = 0;
    bool Made = false;
    CtsxTxmx3f EyeToWorld{};
    CtsxTxmx3f WorldToViewport{};
  };
  // The matrices of the current camera and drawport, made again when either changed. The
  // reference is valid until the next call.
  const TMatrices& Matrices() const;
  mutable TMatrices Matrices_;
};

// EyeToRender of any drawport size, as the host interface computes it.
void EyeToRenderMatrix(int32_t viewWidth, int32_t viewHeight, int32_t renderWidth,
                       int32_t renderHeight, float m[6]);

}  // namespace stage
