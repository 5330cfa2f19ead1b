// The curve editor's rules: fitting and zooming the view, hit tests, dragging, adding, deleting
// and editing keys, and the curve as drawn.
#include "ui/CurveEdit.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/Rounding.h"
#include "engine/VarSeries.h"
#include "hostapi/Platform.h"

namespace {

constexpr double ParkedMarker = -9000;
constexpr double DefaultTension = 0.3;
constexpr double LargestValue = 65000;  // SnapValue's cap
constexpr double HitRadius = 5;         // pixels around a key's marker
constexpr double SmallestBand = 4;      // pixels a zoom rectangle needs each way
constexpr double SmallestRange = 1e-6;  // a zoom never shrinks a range to nothing
constexpr const char* ClearQuestion =
    "About to delete all keyframes for this graph.\r\rAre you sure you want to delete keyframes?";

const char* AxisTitle(uint8_t xKind) {
  switch (xKind) {
    case XKindLifePercent: return "Lifespan of Particles by Percentage";
    case XKindFrames: return "Frame Number";
    default: return "";
  }
}

bool IsStepCurve(const TVarSeries& c) { return c.ValueStep == 1.0; }

}  // namespace

TCurveEdit::TCurveEdit(TSceneObjects& objects, TEditHistory& history) : Objects_(objects), History_(history) {}

TCurveEdit::~TCurveEdit() {
  if (InStep_) History_.End();
  if (View_) View_->ControllerGone();
}

TVarSeries* TCurveEdit::Curve() const { return Ref_ ? Objects_.Curve(*Ref_) : nullptr; }

void TCurveEdit::Changed() {
  if (View_) View_->Changed();
}

template <typename Edit>
void TCurveEdit::Step(const char* name, Edit edit) {
  if (!Curve()) return;
  {
    TEditScope step(History_, name, {TSceneObjects::RecordOf(*Ref_)});
    edit(*Curve());
  }
  Changed();
}

void TCurveEdit::ShowCurve(std::optional<TCurveRef> curve) {
  if (InStep_) {
    History_.End();
    InStep_ = false;
  }
  Ref_ = curve;
  GrabbedKey_ = MenuKey_ = SelectedKey_ = -1;
  Dragging_ = Banding_ = Hand_ = false;
  if (const TVarSeries* c = Curve()) Linear_ = c->Tension == 0;  // read, never written
  FitAxes();
  MarkerX_ = ParkedMarker;
  Changed();
}

void TCurveEdit::SetMarker(double x) {
  if (x == MarkerX_) return;
  MarkerX_ = x;
  Changed();
}

void TCurveEdit::SceneChanged() {
  const TVarSeries* c = Curve();
  if (!c) {
    if (InStep_) {
      History_.End();
      InStep_ = false;
    }
    GrabbedKey_ = MenuKey_ = SelectedKey_ = -1;
    Dragging_ = Banding_ = Hand_ = false;
  } else {
    if (SelectedKey_ >= c->KeyCount()) SelectedKey_ = c->KeyCount() - 1;
    if (MenuKey_ >= c->KeyCount()) MenuKey_ = -1;
    if (!InStep_) Linear_ = c->Tension == 0;
  }
  Changed();
}

// ---- The view ------------------------------------------------------------------------------

double TCurveEdit::FittedXMax() const {
  const TVarSeries* c = Curve();
  if (!c) return 120;
  if (IsPercentKind(c->XKind)) return 100;
  const int n = c->KeyCount();
  return n >= 2 ? std::max(120.0, c->KeyX(n - 2)) : 120.0;
}

int TCurveEdit::EndKeyIndex() const {
  const TVarSeries* c = Curve();
  if (!c || c->KeyCount() == 0) return -1;
  const double max = FittedXMax();
  for (int i = 0; i < c->KeyCount(); ++i)
    if (c->KeyX(i) >= max) return i;
  return c->KeyCount() - 1;
}

void TCurveEdit::FitAxes() {
  const TVarSeries* c = Curve();
  if (!c) {
    Plot_.XMin = 0, Plot_.XMax = 120, Plot_.YMin = 0, Plot_.YMax = 20;
    return;
  }
  double lo = c->MinValue, hi = c->MaxValue;
  const bool boundsMin = c->ClampMode == ClampMin || c->ClampMode == ClampBoth;
  const bool boundsMax = c->ClampMode == ClampMax || c->ClampMode == ClampBoth;
  bool keyLow = false, keyHigh = false;  // an edge set by a key rather than the curve's range
  for (const TSplineKey& k : c->AllKeys()) {
    if (!boundsMin && k.y < lo) lo = k.y, keyLow = true;
    if (!boundsMax && k.y > hi) hi = k.y, keyHigh = true;
  }
  if (!(hi - lo > SmallestRange)) hi = lo + 1;  // a range of one value still needs a height
  // A key on the plot's edge would be drawn over the frame: a little room beyond it.
  const double room = (hi - lo) * 0.05;
  if (keyLow) lo -= room;
  if (keyHigh) hi += room;
  Plot_.YMin = lo, Plot_.YMax = hi;
  Plot_.XMin = 0, Plot_.XMax = FittedXMax();
}

void TCurveEdit::ZoomY(double factor, double centre) {
  const double half = std::max((Plot_.YMax - Plot_.YMin) * factor / 2, SmallestRange);
  Plot_.YMin = centre - half, Plot_.YMax = centre + half;
}

void TCurveEdit::ZoomX(double factor, double centre) {
  const double half = std::max((Plot_.XMax - Plot_.XMin) * factor / 2, SmallestRange);
  Plot_.XMin = std::max(0.0, centre - half), Plot_.XMax = centre + half;
}

void TCurveEdit::UnzoomAction() {
  if (!Curve()) return;
  FitAxes();
  Changed();
}
void TCurveEdit::ZoomInYAction() {
  if (!Curve()) return;
  ZoomY(0.5, (Plot_.YMin + Plot_.YMax) / 2);
  Changed();
}
void TCurveEdit::ZoomOutYAction() {
  if (!Curve()) return;
  ZoomY(2, (Plot_.YMin + Plot_.YMax) / 2);
  Changed();
}
void TCurveEdit::ZoomInXAction() {
  if (!Curve()) return;
  ZoomX(0.5, (Plot_.XMin + Plot_.XMax) / 2);
  Changed();
}
void TCurveEdit::ZoomOutXAction() {
  if (!Curve()) return;
  ZoomX(2, (Plot_.XMin + Plot_.XMax) / 2);
  Changed();
}

void TCurveEdit::WidenTo(double x, double y) {
  if (std::isfinite(x)) {
    if (x > Plot_.XMax) Plot_.XMax = x;
    if (x < Plot_.XMin) Plot_.XMin = std::max(0.0, x);
  }
  if (std::isfinite(y)) {
    if (y > Plot_.YMax) Plot_.YMax = y;
    if (y < Plot_.YMin) Plot_.YMin = y;
  }
}

void TCurveEdit::SetPlotFrame(double left, double top, double width, double height) {
  Plot_.Left = left, Plot_.Top = top;
  Plot_.Width = std::max(1.0, width), Plot_.Height = std::max(1.0, height);
}

void TCurveEdit::Scroll(double px, double py) {
  const double dx = Plot_.CurveX(px) - Plot_.CurveX(ScrollFromX_);
  const double dy = Plot_.CurveY(py) - Plot_.CurveY(ScrollFromY_);
  ScrollFromX_ = px, ScrollFromY_ = py;
  if (dx == 0 && dy == 0) return;
  // The content follows the mouse; the horizontal range never starts below 0.
  const double width = Plot_.XMax - Plot_.XMin;
  Plot_.XMin -= dx;
  if (Plot_.XMin < 0) Plot_.XMin = 0;
  Plot_.XMax = Plot_.XMin + width;
  Plot_.YMin -= dy, Plot_.YMax -= dy;
  MenuKey_ = -2;
  Changed();
}

// ---- State and drawing ------------------------------------------------------------------------

TCurveEditorState TCurveEdit::EditorState() const {
  TCurveEditorState s;
  s.XMin = Plot_.XMin, s.XMax = Plot_.XMax, s.YMin = Plot_.YMin, s.YMax = Plot_.YMax;
  s.ShowMarks = ShowMarks_;
  s.Linear = Linear_;
  s.MarkerX = MarkerX_;
  s.MenuKey = MenuKey_;
  s.GrabbedKey = GrabbedKey_;
  s.SelectedKey = SelectedKey_;
  s.HandCursor = Hand_;
  s.Dragging = Dragging_;
  s.Banding = Banding_;
  s.BandFrom = BandFrom_, s.BandTo = BandTo_;
  const TVarSeries* c = Curve();
  if (!c) return s;
  s.HasCurve = true;
  s.AxisTitle = AxisTitle(c->XKind);
  s.ValueStep = c->ValueStep;
  for (const TSplineKey& k : c->AllKeys()) s.Keys.push_back({k.x, k.y});
  s.EndKeyIndex = EndKeyIndex();
  s.DeleteKeyEnabled = MenuKey_ > 0 && MenuKey_ < s.EndKeyIndex;
  return s;
}

std::vector<TCurvePoint> TCurveEdit::Polyline(const TPlotMapping& plot) const {
  std::vector<TCurvePoint> points;
  const TVarSeries* c = Curve();
  if (!c || c->KeyCount() == 0 || !(plot.XMax > plot.XMin)) return points;
  const int n = c->KeyCount();
  const double lo = plot.XMin, hi = plot.XMax;
  if (IsStepCurve(*c)) {
    // Each value holds until the next key, then steps: what Evaluate gives.
    int first = 0;
    while (first + 1 < n && c->KeyX(first + 1) <= lo) ++first;
    points.push_back({std::max(lo, c->KeyX(first)), c->KeyY(first)});
    for (int i = first + 1; i < n; ++i) {
      if (c->KeyX(i) > hi) {
        points.push_back({hi, c->KeyY(i - 1)});
        return points;
      }
      points.push_back({c->KeyX(i), c->KeyY(i - 1)});
      points.push_back({c->KeyX(i), c->KeyY(i)});
    }
    if (c->KeyX(n - 1) < hi) points.push_back({hi, c->KeyY(n - 1)});
    return points;
  }
  // Every other curve through Evaluate, the tension-0 ease included: per segment, one vertex
  // every four pixels or so of its visible part.
  const double pixelsPerUnit = plot.Width / (hi - lo);
  for (int i = 0; i + 1 < n; ++i) {
    const double a = std::max(c->KeyX(i), lo), b = std::min(c->KeyX(i + 1), hi);
    if (!(b > a)) continue;
    const int steps = std::max(static_cast<int>(((b - a) * pixelsPerUnit + 3) / 4), 1);
    for (int k = points.empty() ? 0 : 1; k <= steps; ++k) {
      const double x = k == steps ? b : a + (b - a) * k / steps;
      points.push_back({x, c->Evaluate(x)});
    }
  }
  const double last = c->KeyX(n - 1);
  if (last < hi) {
    if (points.empty()) points.push_back({std::max(last, lo), c->KeyY(n - 1)});
    points.push_back({hi, c->KeyY(n - 1)});
  }
  return points;
}

int TCurveEdit::KeyAt(double px, double py) const {
  const TVarSeries* c = Curve();
  if (!c) return -1;
  int best = -1;
  double bestDistance = HitRadius;
  for (int i = 0; i < c->KeyCount(); ++i) {
    const double d = std::max(std::abs(Plot_.PixelX(c->KeyX(i)) - px), std::abs(Plot_.PixelY(c->KeyY(i)) - py));
    if (d <= bestDistance) best = i, bestDistance = d;
  }
  return best;
}

// ---- Key rules --------------------------------------------------------------------------------

void TCurveEdit::SetKeyX(int index, double x) {
  TVarSeries* c = Curve();
  if (!c || index < 0 || index >= c->KeyCount() || !std::isfinite(x)) return;
  const int n = c->KeyCount();
  if (index == 0) {
    x = 0;
  } else {
    if (c->XKind == XKindFrames) x = RoundHalfEven(x);
    // The nearest place the rules allow; a key boxed in by its neighbours stays.
    const double lo = c->KeyX(index - 1) + 1;
    double hi = index + 1 < n ? c->KeyX(index + 1) - 1 : std::numeric_limits<double>::infinity();
    if (IsPercentKind(c->XKind)) hi = std::min(hi, 100.0);
    if (lo > hi) return;
    x = std::clamp(x, lo, hi);
  }
  c->SetKey(index, x, c->KeyY(index));
  WidenTo(x, NAN);
}

void TCurveEdit::SetKeyY(int index, double y) {
  TVarSeries* c = Curve();
  if (!c || index < 0 || index >= c->KeyCount() || !std::isfinite(y)) return;
  c->SnapValue(y);
  c->SetKey(index, c->KeyX(index), y);
  WidenTo(NAN, y);
  // The curve stays flat after the last shown key.
  const int end = EndKeyIndex();
  if (end == index + 1) c->SetKey(end, c->KeyX(end), y);
}

bool TCurveEdit::AddKeyAt(double x, double y) {
  TVarSeries* c = Curve();
  if (!c || c->KeyCount() == 0 || !std::isfinite(x) || !std::isfinite(y)) return false;
  x = RoundHalfEven(x);
  if (x < 0) return false;  // left of key 0
  const bool percent = IsPercentKind(c->XKind);
  if (percent) x = std::min(x, 100.0);
  c->ClampValue(y);
  y = std::min(y, LargestValue);
  if (!ValueWithinClamp(*c, y)) return false;  // a range the curve cannot hold
  int place = 0;
  while (place < c->KeyCount() && c->KeyX(place) <= x) ++place;
  if (place == 0) return false;
  const double lo = c->KeyX(place - 1) + 1;
  double hi = place < c->KeyCount() ? c->KeyX(place) - 1 : std::numeric_limits<double>::infinity();
  if (percent) hi = std::min(hi, 100.0);
  if (lo > hi) return false;  // no room left there
  x = std::clamp(x, lo, hi);
  c->AddKey(x, y);
  WidenTo(x, y);
  return true;
}

// ---- Mouse ------------------------------------------------------------------------------------

void TCurveEdit::MousePress(int button, double px, double py, int modifiers) {
  if (!Curve()) return;
  MenuKey_ = GrabbedKey_ = KeyAt(px, py);
  if (button == ButtonRight) {
    ScrollFromX_ = px, ScrollFromY_ = py;
    return;
  }
  if (button == ButtonLeft && (modifiers & ModCtrl)) {
    // The rectangle zoom.
    GrabbedKey_ = -1;
    Banding_ = true;
    BandFrom_ = BandTo_ = {Plot_.CurveX(px), Plot_.CurveY(py)};
    Changed();
    return;
  }
  Dragging_ = true;
  Hand_ = GrabbedKey_ >= 0;
  if (GrabbedKey_ >= 0) {
    SelectedKey_ = GrabbedKey_;
    History_.Begin("Drag Key", {TSceneObjects::RecordOf(*Ref_)});
    InStep_ = true;
  }
  Changed();
}

void TCurveEdit::MouseMove(double px, double py, int buttonsHeld, int modifiers) {
  (void)modifiers;
  if (!Curve()) return;
  if (Banding_) {
    BandTo_ = {Plot_.CurveX(px), Plot_.CurveY(py)};
    Changed();
    return;
  }
  if (Dragging_) {
    if (buttonsHeld & ButtonRight) {
      GrabbedKey_ = -1;  // both buttons: the drag is abandoned
      return;
    }
    if (GrabbedKey_ < 0) return;
    SetKeyY(GrabbedKey_, Plot_.CurveY(py));
    if (GrabbedKey_ != 0) SetKeyX(GrabbedKey_, Plot_.CurveX(px));
    Changed();
    return;
  }
  if (buttonsHeld & ButtonRight) {
    Scroll(px, py);
    return;
  }
  const bool hand = KeyAt(px, py) >= 0;
  if (hand != Hand_) {
    Hand_ = hand;
    Changed();
  }
}

TCurveMenu TCurveEdit::MouseRelease(int button, double px, double py, int modifiers) {
  if (!Curve()) return TCurveMenu::None;
  Hand_ = false;
  if (button == ButtonRight) {
    Changed();
    if (MenuKey_ == -2) return TCurveMenu::None;  // the view was scrolled
    return MenuKey_ >= 0 && MenuKey_ <= EndKeyIndex() ? TCurveMenu::Key : TCurveMenu::Graph;
  }
  Dragging_ = false;
  GrabbedKey_ = -1;
  if (InStep_) {
    InStep_ = false;
    History_.End();
  }
  if (Banding_) {
    Banding_ = false;
    BandTo_ = {Plot_.CurveX(px), Plot_.CurveY(py)};
    const double x0 = Plot_.PixelX(BandFrom_.X), y0 = Plot_.PixelY(BandFrom_.Y);
    if (std::abs(px - x0) >= SmallestBand && std::abs(py - y0) >= SmallestBand) {
      Plot_.XMin = std::max(0.0, std::min(BandFrom_.X, BandTo_.X));
      Plot_.XMax = std::max(BandFrom_.X, BandTo_.X);
      Plot_.YMin = std::min(BandFrom_.Y, BandTo_.Y);
      Plot_.YMax = std::max(BandFrom_.Y, BandTo_.Y);
      if (!(Plot_.XMax - Plot_.XMin > SmallestRange)) Plot_.XMax = Plot_.XMin + 1;
    }
  } else if (modifiers & ModAlt) {
    ZoomY(0.5, Plot_.CurveY(py));
    ZoomX(0.5, Plot_.CurveX(px));
  }
  Changed();
  return TCurveMenu::None;
}

void TCurveEdit::DoubleClick(double px, double py, int modifiers) {
  if (modifiers & ModAlt) return;
  Step("Add Key", [&](TVarSeries&) { AddKeyAt(Plot_.CurveX(px), Plot_.CurveY(py)); });
}

// ---- Keyboard ---------------------------------------------------------------------------------

void TCurveEdit::KeyPress(TCurveKey key, int modifiers) {
  const TVarSeries* c = Curve();
  if (!c || c->KeyCount() == 0) return;
  const int n = c->KeyCount();
  const int sel = SelectedKey_;
  switch (key) {
    case TCurveKey::Left:
    case TCurveKey::Right: {
      const int dir = key == TCurveKey::Left ? -1 : 1;
      if ((modifiers & ModCtrl) && sel > 0) {
        Step("Move Key", [&](TVarSeries& curve) { SetKeyX(sel, curve.KeyX(sel) + dir); });
        return;
      }
      SelectedKey_ = sel < 0 ? (dir < 0 ? n - 1 : 0) : std::clamp(sel + dir, 0, n - 1);
      MenuKey_ = SelectedKey_;
      break;
    }
    case TCurveKey::Up:
    case TCurveKey::Down: {
      if (sel < 0) return;
      const double step = c->ValueStep * ((modifiers & ModShift) ? 10 : 1) * (key == TCurveKey::Up ? 1 : -1);
      Step("Move Key", [&](TVarSeries& curve) { SetKeyY(sel, curve.KeyY(sel) + step); });
      return;
    }
    case TCurveKey::Delete:
      if (sel > 0 && sel < EndKeyIndex()) {
        Step("Delete Key", [&](TVarSeries& curve) { curve.DeleteKey(sel); });
        SelectedKey_ = MenuKey_ = sel - 1;
      }
      break;
  }
  Changed();
}

TCurveMenu TCurveEdit::KeyboardMenu() {
  if (!Curve()) return TCurveMenu::None;
  MenuKey_ = SelectedKey_;
  return MenuKey_ >= 0 && MenuKey_ <= EndKeyIndex() ? TCurveMenu::Key : TCurveMenu::Graph;
}

// ---- Buttons and menus ------------------------------------------------------------------------

void TCurveEdit::ClearAction() {
  const TVarSeries* c = Curve();
  if (!c || c->KeyCount() == 0) return;
  if (!Platform().Confirm(ClearQuestion)) return;
  Step("Clear Keys", [](TVarSeries& curve) {
    const double first = curve.KeyY(0);
    curve.Clear();
    curve.AddKey(0, first);
    curve.AddKey(FarKeyX, first);
  });
  GrabbedKey_ = MenuKey_ = SelectedKey_ = -1;
  Changed();
}

void TCurveEdit::ShowMarksAction() {
  ShowMarks_ = !ShowMarks_;
  Changed();
}

void TCurveEdit::LinearAction() {
  if (!Curve()) return;
  Linear_ = !Linear_;
  const bool linear = Linear_;
  Step(linear ? "Linear Curve" : "Spline Curve",
       [linear](TVarSeries& curve) { curve.Tension = linear ? 0 : DefaultTension; });
}

void TCurveEdit::DeleteKeyAction() {
  const int key = MenuKey_;
  if (!Curve() || !(key > 0 && key < EndKeyIndex())) return;
  Step("Delete Key", [key](TVarSeries& curve) { curve.DeleteKey(key); });
  MenuKey_ = SelectedKey_ = -1;
  Changed();
}

bool TCurveEdit::KeyForEditing(TKeyValues& values) {
  const TVarSeries* c = Curve();
  const int key = MenuKey_ >= 0 ? MenuKey_ : SelectedKey_;
  if (!c || key < 0 || key >= c->KeyCount()) return false;
  MenuKey_ = key;
  values.X = c->KeyX(key);
  values.Y = c->KeyY(key);
  values.XEditable = key != 0;
  values.ValueStep = c->ValueStep;
  return true;
}

void TCurveEdit::ApplyKeyValues(double x, double y) {
  const int key = MenuKey_;
  const TVarSeries* c = Curve();
  if (!c || key < 0 || key >= c->KeyCount()) return;
  Step("Edit Key", [&](TVarSeries&) {
    SetKeyX(key, x);
    SetKeyY(key, y);
  });
}
