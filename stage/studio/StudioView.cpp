// The studio's active view: cameras, navigation and drawing.
#include "stage/studio/StudioView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "stage/HostRender.h"
#include "stage/Stage.h"

namespace stage::studio {

namespace {

struct D3 {
  double x, y, z;
};
D3 Sub(const CtsxVector3f& a, const CtsxVector3f& b) { return {double(a.x) - b.x, double(a.y) - b.y, double(a.z) - b.z}; }
double Len(const D3& a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }

constexpr CtsxTxmx3f kIdentity{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}};
const QColor kBackground(58, 60, 66);

TCamera OrthoCamera(CtsxVector3f eye, CtsxVector3f up) {
  TCamera c;
  c.Eye = eye;
  c.Target = {0, 0, 0};
  c.Up = up;
  c.Projection = TProjection::Orthographic;
  c.Height = 12;
  return c;
}

// The segments of a line list as the stage's view clips and projects them.
void AddLines(const TView& view, const CtsxTxmx3f& m, const std::vector<CtsxVector3f>& points,
              const std::vector<int32_t>& list, QVector<QLineF>& out) {
  TView v;
  v.Camera = view.Camera;
  v.Width = view.Width;
  v.Height = view.Height;
  v.DrawLineList(m, points.data(), static_cast<int32_t>(points.size()), list.data());
  out.reserve(out.size() + static_cast<qsizetype>(v.Lines.size()));
  for (const TLineSegment& s : v.Lines) out.push_back(QLineF(s.X0, s.Y0, s.X1, s.Y1));
}

}  // namespace

QColor PenColor(int pen) {
  switch (pen) {
    case e_tsxPEN_BACKGROUND: return kBackground;
    case e_tsxPEN_GRID: return QColor(96, 98, 106);
    case e_tsxPEN_ACTIVE: return QColor(255, 255, 255);
    case e_tsxPEN_SCENE: return QColor(200, 200, 200);
    case e_tsxPEN_ACTIVESUB: return QColor(255, 220, 60);
    case e_tsxPEN_INACTIVESUB: return QColor(150, 130, 60);
    case e_tsxPEN_CONTROL: return QColor(80, 200, 220);
    case e_tsxPEN_ACTIVECONTROL: return QColor(160, 240, 255);
    case e_tsxPEN_RED: return QColor(235, 70, 60);
    case e_tsxPEN_GREEN: return QColor(70, 210, 90);
    case e_tsxPEN_BLUE: return QColor(80, 140, 255);
    default: return QColor(200, 200, 200);
  }
}

TStudioView::TStudioView(QWidget* parent) : QWidget(parent) {
  setMinimumSize(200, 150);
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  Ortho_[0] = OrthoCamera({0, 0, 100}, {0, 1, 0});
  Ortho_[1] = OrthoCamera({0, -100, 0}, {0, 0, 1});
  Ortho_[2] = OrthoCamera({100, 0, 0}, {0, 0, 1});
  ResetPerspective();
}

void TStudioView::SetKind(TViewKind kind) {
  Kind_ = kind;
  Refresh();
}

void TStudioView::SetShading(TShading shading) {
  Shading_ = shading;
  update();
}

void TStudioView::SetGridShown(bool shown) {
  Grid_ = shown;
  update();
}

void TStudioView::ResetPerspective() {
  Free_ = SceneCamera;
  Free_.Projection = TProjection::Perspective;
}

TCamera TStudioView::CurrentCamera() const {
  switch (Kind_) {
    case TViewKind::Perspective: return Free_;
    case TViewKind::Camera: return SceneCamera;
    case TViewKind::Top: return Ortho_[0];
    case TViewKind::Front: return Ortho_[1];
    case TViewKind::Side: return Ortho_[2];
  }
  return Free_;
}

TCamera& TStudioView::NavigatedCamera() {
  switch (Kind_) {
    case TViewKind::Camera: return SceneCamera;
    case TViewKind::Top: return Ortho_[0];
    case TViewKind::Front: return Ortho_[1];
    case TViewKind::Side: return Ortho_[2];
    default: return Free_;
  }
}

void TStudioView::SyncStageView() {
  TView& v = Stage().View;
  v.Camera = CurrentCamera();
  v.Width = std::max(1, width());
  v.Height = std::max(1, height());
}

void TStudioView::Refresh() {
  if (!StageViewLent_) {
    SyncStageView();
    Stage().RefreshView();  // the custom objects draw themselves; the refresh hook repaints
  }
  update();
}

void TStudioView::Orbit(double yaw, double pitch) {
  TCamera& c = NavigatedCamera();
  if (c.Projection == TProjection::Orthographic) return;  // the fixed views only pan and zoom
  D3 d = Sub(c.Eye, c.Target);
  const double r = Len(d);
  if (!(r > 1e-9)) return;
  double az = std::atan2(d.y, d.x), el = std::asin(std::clamp(d.z / r, -1.0, 1.0));
  az -= yaw * std::numbers::pi / 180;
  el = std::clamp(el + pitch * std::numbers::pi / 180, -1.55, 1.55);
  d = {r * std::cos(el) * std::cos(az), r * std::cos(el) * std::sin(az), r * std::sin(el)};
  c.Eye = {float(c.Target.x + d.x), float(c.Target.y + d.y), float(c.Target.z + d.z)};
  c.Up = {0, 0, 1};
  if (&c == &SceneCamera) emit SceneCameraChanged();
  Refresh();
}

void TStudioView::Pan(double dx, double dy) {
  TCamera& c = NavigatedCamera();
  TView v;
  v.Camera = c;
  const CtsxTxmx3f e2w = v.EyeToWorld();
  const double h = std::max(1, height());
  const double dist = Len(Sub(c.Target, c.Eye));
  const double visible = c.Projection == TProjection::Perspective
                             ? 2 * dist * std::tan(c.FieldOfView * std::numbers::pi / 360)
                             : c.Height;
  const double s = visible / h;
  // Dragging right moves the scene right: the camera goes left. Camera y points down.
  D3 move{0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    const double m = -dx * s * e2w.m[i][0] - dy * s * e2w.m[i][1];
    (i == 0 ? move.x : i == 1 ? move.y : move.z) = m;
  }
  c.Eye = {float(c.Eye.x + move.x), float(c.Eye.y + move.y), float(c.Eye.z + move.z)};
  c.Target = {float(c.Target.x + move.x), float(c.Target.y + move.y), float(c.Target.z + move.z)};
  if (&c == &SceneCamera) emit SceneCameraChanged();
  Refresh();
}

void TStudioView::Zoom(double factor) {
  if (!(factor > 0) || !std::isfinite(factor)) return;
  TCamera& c = NavigatedCamera();
  if (c.Projection == TProjection::Orthographic) {
    c.Height = float(std::clamp(c.Height * factor, 0.01, 1e5));
  } else {
    D3 d = Sub(c.Eye, c.Target);
    const double r = Len(d), nr = std::clamp(r * factor, 0.01, 1e5);
    if (!(r > 1e-9)) return;
    c.Eye = {float(c.Target.x + d.x / r * nr), float(c.Target.y + d.y / r * nr), float(c.Target.z + d.z / r * nr)};
  }
  if (&c == &SceneCamera) emit SceneCameraChanged();
  Refresh();
}

void TStudioView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Draw(painter);
}

void TStudioView::resizeEvent(QResizeEvent*) { Refresh(); }

void TStudioView::mousePressEvent(QMouseEvent* e) {
  LastMouse_ = e->position().toPoint();
  Dragging_ = e->buttons();
}

void TStudioView::mouseMoveEvent(QMouseEvent* e) {
  if (!Dragging_) return;
  const QPoint p = e->position().toPoint();
  const QPoint d = p - LastMouse_;
  LastMouse_ = p;
  if ((Dragging_ & Qt::MiddleButton) || ((Dragging_ & Qt::LeftButton) && (e->modifiers() & Qt::ShiftModifier)))
    Pan(d.x(), d.y());
  else if (Dragging_ & Qt::LeftButton)
    Orbit(d.x() * 0.4, d.y() * 0.4);
  else if (Dragging_ & Qt::RightButton)
    Zoom(std::pow(1.01, d.y()));
}

void TStudioView::mouseReleaseEvent(QMouseEvent* e) { Dragging_ = e->buttons(); }

void TStudioView::wheelEvent(QWheelEvent* e) {
  Zoom(std::pow(0.999, e->angleDelta().y()));
}

bool TStudioView::ShowsStageView() const {
  const TView& v = Stage().View;
  const TCamera c = CurrentCamera();
  auto same = [](const CtsxVector3f& a, const CtsxVector3f& b) { return a.x == b.x && a.y == b.y && a.z == b.z; };
  return v.Width == std::max(1, width()) && v.Height == std::max(1, height()) && same(v.Camera.Eye, c.Eye) &&
         same(v.Camera.Target, c.Target) && same(v.Camera.Up, c.Up) && v.Camera.Projection == c.Projection &&
         v.Camera.FieldOfView == c.FieldOfView && v.Camera.Height == c.Height;
}

void TStudioView::Draw(QPainter& painter) {
  // The widget draws its own camera at its own size. A render borrows the stage's view (the
  // scene's camera at the scene's drawport) and lets events through while it runs: drawn from
  // the borrowed view, the scene would appear a second time, smaller and from the render's
  // camera, over the view's own picture. The custom objects' lines are the stage view's only
  // while it is this widget's; otherwise those they last drew for it.
  TView view;
  view.Camera = CurrentCamera();
  view.Width = std::max(1, width());
  view.Height = std::max(1, height());
  if (ShowsStageView()) Lines_ = Stage().View.Lines;
  painter.fillRect(QRect(0, 0, view.Width, view.Height), kBackground);
  if (Grid_) DrawGrid(painter, view);
  if (Shading_ == TShading::Solid)
    DrawMeshesSolid(painter, view);
  else
    DrawMeshesWire(painter, view);

  // ---- The custom objects' drawings, pen by pen.
  QVector<QLineF> lines;
  for (int pen = e_tsxPEN_BACKGROUND; pen <= e_tsxPEN_BLUE; ++pen) {
    lines.clear();
    for (const TLineSegment& s : Lines_)
      if (s.Pen == pen) lines.push_back(QLineF(s.X0, s.Y0, s.X1, s.Y1));
    if (lines.empty()) continue;
    painter.setPen(QPen(PenColor(pen), pen == e_tsxPEN_ACTIVESUB ? 2 : 1));
    painter.drawLines(lines);
  }

  // ---- The view's name.
  static const char* const names[] = {"Perspective", "Camera", "Top", "Front", "Side"};
  painter.setPen(QColor(220, 220, 220));
  painter.drawText(QPoint(8, 18), QString::fromLatin1(names[static_cast<int>(Kind_)]));
}

void TStudioView::DrawGrid(QPainter& painter, const TView& view) {
  std::vector<CtsxVector3f> points;
  std::vector<int32_t> list;
  constexpr int n = 10;
  for (int i = -n; i <= n; ++i) {
    points.push_back({float(i), float(-n), 0});
    points.push_back({float(i), float(n), 0});
    points.push_back({float(-n), float(i), 0});
    points.push_back({float(n), float(i), 0});
  }
  for (int32_t k = 0; k < static_cast<int32_t>(points.size()); k += 2) {
    list.push_back(k);
    list.push_back(k + 1);
    list.push_back(-2);
  }
  list.push_back(-1);
  QVector<QLineF> lines;
  AddLines(view, kIdentity, points, list, lines);
  painter.setPen(QPen(PenColor(e_tsxPEN_GRID), 1));
  painter.drawLines(lines);
}

void TStudioView::DrawMeshesWire(QPainter& painter, const TView& view) {
  const TScene& scene = Stage().Scene;
  QVector<QLineF> normal, selected;
  std::vector<CtsxVector3f> points;
  std::vector<int32_t> list;
  scene.ForEach([&](TNode& node) {
    if (!node.Visible || !node.Mesh) return;
    const TPolyhedron& mesh = *node.Mesh;
    points.assign(mesh.Vertices().begin(), mesh.Vertices().end());
    list.clear();
    for (int32_t f = 0; f < mesh.FaceCount(); ++f) {
      const tsxFACE& face = mesh.Face(f);
      if (face.nbrCorners < 2) continue;
      for (int16_t k = 0; k < face.nbrCorners; ++k) list.push_back(face.corners[k].vxIndex);
      list.push_back(face.corners[0].vxIndex);
      list.push_back(-2);
    }
    list.push_back(-1);
    AddLines(view, scene.WorldTransform(node), points, list, scene.Selected() == &node ? selected : normal);
  });
  painter.setPen(QPen(PenColor(e_tsxPEN_SCENE), 1));
  painter.drawLines(normal);
  painter.setPen(QPen(PenColor(e_tsxPEN_ACTIVESUB), 1));
  painter.drawLines(selected);
}

void TStudioView::DrawMeshesSolid(QPainter& painter, const TView& view) {
  const TScene& scene = Stage().Scene;
  bool any = false;
  scene.ForEach([&](TNode& n) { any = any || (n.Visible && n.Mesh && n.Mesh->FaceCount() > 0); });
  if (!any) return;
  // The host's own rasterizer, at the drawport's size: meshes shade and hide exactly as in a
  // render. Pixels no mesh covers stay transparent, so the grid shows through.
  TRenderSettings settings;
  settings.Width = view.Width;
  settings.Height = view.Height;
  if (!Buffer_ || Buffer_->Width() != view.Width || Buffer_->Height() != view.Height)
    Buffer_.emplace(view.Width, view.Height);
  else
    Buffer_->Fill(TPixel{});
  TScreenBuffer& buffer = *Buffer_;
  DrawPolyhedra(scene, view, settings, buffer);
  if (Solid_.width() != view.Width || Solid_.height() != view.Height)
    Solid_ = QImage(view.Width, view.Height, QImage::Format_ARGB32_Premultiplied);
  for (int32_t y = 0; y < view.Height; ++y) {
    auto* row = reinterpret_cast<QRgb*>(Solid_.scanLine(y));
    for (int32_t x = 0; x < view.Width; ++x) {
      const TPixel& p = buffer.At(x, y);
      if (std::isinf(p.Depth)) {
        row[x] = 0;
      } else {
        auto c = [](float v) { return static_cast<int>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f); };
        row[x] = qRgba(c(p.R), c(p.G), c(p.B), 255);
      }
    }
  }
  painter.drawImage(0, 0, Solid_);
  // The selected mesh's edges over its faces.
  if (const TNode* sel = scene.Selected(); sel && sel->Mesh) {
    std::vector<CtsxVector3f> points(sel->Mesh->Vertices().begin(), sel->Mesh->Vertices().end());
    std::vector<int32_t> list;
    for (int32_t f = 0; f < sel->Mesh->FaceCount(); ++f) {
      const tsxFACE& face = sel->Mesh->Face(f);
      for (int16_t k = 0; k < face.nbrCorners; ++k) list.push_back(face.corners[k].vxIndex);
      if (face.nbrCorners > 0) list.push_back(face.corners[0].vxIndex);
      list.push_back(-2);
    }
    list.push_back(-1);
    QVector<QLineF> lines;
    AddLines(view, scene.WorldTransform(*sel), points, list, lines);
    painter.setPen(QPen(PenColor(e_tsxPEN_ACTIVESUB), 1));
    painter.drawLines(lines);
  }
}

}  // namespace stage::studio
