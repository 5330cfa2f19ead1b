// The studio's active view: a widget that shows the stage's scene through one of five cameras
// (a free perspective, the scene's camera, top, front, side), with the ground grid, meshes in
// wireframe or solid shading, and the lines every custom object draws through its type's draw
// callback. The mouse orbits (left button), pans (middle button, or left with Shift) and zooms
// (wheel, or right button dragged up and down).
//
// The stage's view (Stage().View) is this widget's drawport while the studio runs: its camera
// and size follow the widget, so the plug-in's projections land on the widget's pixels.
#pragma once

#include <QImage>
#include <QWidget>

#include <optional>

#include "stage/ScreenBuffer.h"
#include "stage/View.h"

namespace stage::studio {

enum class TViewKind { Perspective, Camera, Top, Front, Side };
enum class TShading { Wireframe, Solid };

class TStudioView : public QWidget {
  Q_OBJECT
 public:
  explicit TStudioView(QWidget* parent = nullptr);

  TViewKind Kind() const { return Kind_; }
  void SetKind(TViewKind kind);
  TShading Shading() const { return Shading_; }
  void SetShading(TShading shading);
  bool GridShown() const { return Grid_; }
  void SetGridShown(bool shown);

  // The scene's own camera: what the Camera view shows, what renders use and files store.
  TCamera SceneCamera;
  // Starts the free perspective camera from the scene's camera (after a scene is loaded).
  void ResetPerspective();

  // Makes the stage's view this widget's (camera, drawport), has every custom object draw itself
  // (a view refresh) and repaints.
  void Refresh();
  // The camera the view shows now.
  TCamera CurrentCamera() const;
  // While a render has borrowed the stage's view (the scene's camera at the scene's drawport), a
  // refresh of this widget (a resize as the window lays itself out anew, say) must not take it
  // back: the render's later frames would come out through this widget's camera.
  void SetStageViewLent(bool lent) { StageViewLent_ = lent; }
  // Orbits the free or scene camera about its target by degrees of yaw and pitch; pans by
  // drawport pixels; zooms by a factor (below 1: closer). For the benchmark and the tests as
  // for the mouse.
  void Orbit(double yawDegrees, double pitchDegrees);
  void Pan(double dx, double dy);
  void Zoom(double factor);

  // Draws the view into painter's device (the widget's paint, benchmarks, screenshots).
  void Draw(QPainter& painter);

 signals:
  // The scene camera moved (the Camera view was navigated): the scene is modified.
  void SceneCameraChanged();

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void wheelEvent(QWheelEvent*) override;

 private:
  TCamera& NavigatedCamera();
  void SyncStageView();
  bool StageViewLent_ = false;
  // Whether the stage's view is this widget's now (no render has borrowed it).
  bool ShowsStageView() const;
  void DrawGrid(QPainter& painter, const TView& view);
  void DrawMeshesWire(QPainter& painter, const TView& view);
  void DrawMeshesSolid(QPainter& painter, const TView& view);

  TViewKind Kind_ = TViewKind::Perspective;
  TShading Shading_ = TShading::Solid;
  bool Grid_ = true;
  TCamera Free_;
  TCamera Ortho_[3];  // top, front, side
  QPoint LastMouse_;
  Qt::MouseButtons Dragging_;
  QImage Solid_;      // the solid shading's image, reused between paints
  std::optional<TScreenBuffer> Buffer_;  // the rasterizer's, likewise
  std::vector<TLineSegment> Lines_;       // the custom objects' drawing in this view, as last seen
};

// The colour each pen of tsxPEN draws with in the studio's views.
QColor PenColor(int pen);

}  // namespace stage::studio
