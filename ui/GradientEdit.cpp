// A gradient editor's rules: the strip's mapping and colours, stop hit tests and drags, the stop
// menu, the colour mode and the gradient files.
#include "ui/GradientEdit.h"

#include "ui/ShowFailure.h"


#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>

#include "engine/ColorSeries.h"
#include "engine/Errors.h"
#include "engine/Rounding.h"
#include "engine/Stream.h"
#include "hostapi/CheckFpuState.h"
#include "hostapi/Platform.h"
#include "render/BitmapCache.h"
#include "scene/EmitterObj.h"

namespace {

constexpr double HitRadius = 5;  // pixels around a marker's centre
constexpr double LineAt = 0.72;  // the markers' row, as a fraction of the strip's height from its top
constexpr const char* GradientFilter = "VNTX Color Gradients (*.vtg)";


}  // namespace

TGradientEdit::TGradientEdit(TSceneObjects& objects, TEditHistory& history, bool particleLife)
    : Objects_(objects), History_(history), ParticleLife_(particleLife) {}

TGradientEdit::~TGradientEdit() {
  if (InStep_) History_.End();
  if (View_) View_->ControllerGone();
}

TColorSeries* TGradientEdit::Gradient() const { return Ref_ ? Objects_.Gradient(*Ref_) : nullptr; }

int32_t* TGradientEdit::ModeField() const {
  TEmitter* slot = Ref_ ? Objects_.Slot(Ref_->Slot) : nullptr;
  if (!slot) return nullptr;
  return Ref_->Role == TGradientRole::Particle ? &slot->System.ParticleColorMode : &slot->System.SystemColorMode;
}

void TGradientEdit::Changed() {
  if (View_) View_->Changed();
}

template <typename Edit>
void TGradientEdit::Step(const char* name, Edit edit) {
  if (!Gradient()) return;
  {
    TEditScope step(History_, name, {{TRecordKind::Slot, Ref_->Slot}});
    edit(*Gradient());
  }
  Changed();
}

void TGradientEdit::EndDrag() {
  Dragging_ = false;
  if (InStep_) {
    InStep_ = false;
    History_.End();
  }
}

void TGradientEdit::ResetPointer() {
  EndDrag();
  Current_ = Selected_ = -1;
  Hand_ = false;
}

void TGradientEdit::ShowGradient(std::optional<TGradientRef> gradient) {
  ResetPointer();
  Ref_ = gradient;
  Changed();
}

void TGradientEdit::SceneChanged() {
  const TColorSeries* g = Gradient();
  if (!g) {
    ResetPointer();
  } else {
    if (Current_ >= g->Count()) Current_ = -1;
    if (Selected_ >= g->Count()) Selected_ = g->Count() - 1;
  }
  Changed();
}

std::string TGradientEdit::DialogFolder() const { return Folder_.empty() ? DataFolder() : Folder_; }

// ---- The strip ----------------------------------------------------------------------------------

void TGradientEdit::SetStripFrame(double left, double top, double width, double height) {
  Left_ = left, Top_ = top;
  Width_ = std::max(1.0, width), Height_ = std::max(1.0, height);
}

void TGradientEdit::Range(double& lo, double& hi) const {
  if (Dragging_ && InStep_) {
    // The axis follows the stops, but not under the mouse: a dragged end stop would run away.
    lo = DragLo_, hi = DragHi_;
    return;
  }
  const TColorSeries* g = Gradient();
  lo = hi = 1;
  if (g && g->Count() > 0) lo = g->Stop(0).Position, hi = g->LargestPosition();
  if (!(hi - lo > 1e-9)) lo -= 1, hi += 1;  // one position: its stops in the middle
}

// The stops span 1 % to 99 % of the strip's width.
double TGradientEdit::PixelX(double position) const {
  double lo, hi;
  Range(lo, hi);
  return Left_ + Width_ * (0.01 + 0.98 * (position - lo) / (hi - lo));
}

double TGradientEdit::PositionAt(double px) const {
  double lo, hi;
  Range(lo, hi);
  return lo + ((px - Left_) / Width_ - 0.01) / 0.98 * (hi - lo);
}

double TGradientEdit::LineY() const { return Top_ + Height_ * LineAt; }

int TGradientEdit::StopAt(double px, double py) const {
  const TColorSeries* g = Gradient();
  if (!g || std::abs(py - LineY()) > HitRadius) return -1;
  int best = -1;
  double bestDistance = HitRadius;
  // The later of two stops at one place is drawn on top: it is the one under the mouse.
  for (int i = 0; i < g->Count(); ++i) {
    const double d = std::abs(PixelX(g->Stop(i).Position) - px);
    if (d <= bestDistance) best = i, bestDistance = d;
  }
  return best;
}

std::vector<uint32_t> TGradientEdit::StripColumns(int columns) const {
  std::vector<uint32_t> colors;
  const TColorSeries* g = Gradient();
  if (!g || columns <= 0) return colors;
  colors.reserve(static_cast<size_t>(columns));
  const double largest = g->LargestPosition();
  const int w = columns - 1;  // the last column is at the largest position
  for (int c = 0; c <= w; ++c) {
    TColorVector v;
    g->ColorAt(w > 0 ? largest * c / w : 0, v);
    TColor color = 0;
    VectorToColor(v, color);
    colors.push_back(color);
  }
  return colors;
}

TGradientEditorState TGradientEdit::EditorState() const {
  TGradientEditorState s;
  s.ParticleLife = ParticleLife_;
  s.LineY = LineY();
  s.CurrentStop = Current_;
  s.SelectedStop = Selected_;
  s.Dragging = Dragging_;
  s.HandCursor = Hand_;
  const TColorSeries* g = Gradient();
  if (!g) return s;
  s.HasGradient = true;
  if (const int32_t* mode = ModeField()) s.ColorMode = *mode;
  for (int i = 0; i < g->Count(); ++i)
    s.Stops.push_back({g->Stop(i).Position, g->Stop(i).Color, PixelX(g->Stop(i).Position), CanDrag(i)});
  s.DeleteEnabled = Current_ >= 0 && Current_ < g->Count() && g->Count() > 1;
  s.PickerEnabled = Current_ >= 0 && Current_ < g->Count();
  return s;
}

// ---- Stop rules ---------------------------------------------------------------------------------

bool TGradientEdit::CanDrag(int index) const {
  const TColorSeries* g = Gradient();
  if (!g || index <= 0 || index >= g->Count()) return false;
  return !(ParticleLife_ && index == g->Count() - 1);
}

bool TGradientEdit::MoveStop(int index, double x) {
  TColorSeries* g = Gradient();
  if (!g || index < 0 || index >= g->Count() || !std::isfinite(x)) return false;
  x = RoundHalfEven(x);
  if (!(x > 1) || (ParticleLife_ && !(x < 100))) return false;
  Current_ = Selected_ = g->SetStopPosition(index, x);
  return true;
}

double TGradientEdit::AddPosition() const {
  const TColorSeries* g = Gradient();
  return ParticleLife_ && g && g->LargestPosition() >= 100 ? 50 : 100;
}

void TGradientEdit::LoadFile(const std::string& fileName) {
  if (!Gradient()) return;
  TColorSeries read;
  {
    TFileReadStream s(fileName);
    read.LoadFromStream(s);
    // Taken as it stands, either would leave the system with fewer colours than the file meant.
    if (s.EndedEarly())
      throw EVantrelError(Format("The gradient file %s is cut short; the gradient was not changed", fileName.c_str()));
    if (read.Count() == 0)
      throw EVantrelError(
          Format("The gradient file %s holds no colour stops; the gradient was not changed", fileName.c_str()));
  }
  Step("Open Gradient", [&](TColorSeries& g) { g = read; });
  ResetPointer();
  Changed();
}

// ---- Mouse --------------------------------------------------------------------------------------

void TGradientEdit::MousePress(int button, double px, double py) {
  if (!Gradient() || button == ButtonRight) return;
  const int stop = StopAt(px, py);
  Current_ = CanDrag(stop) ? stop : -1;
  Hand_ = Current_ >= 0;
  if (Current_ >= 0) {
    Selected_ = Current_;
    Range(DragLo_, DragHi_);
    History_.Begin("Drag Stop", {{TRecordKind::Slot, Ref_->Slot}});
    InStep_ = true;
  }
  Dragging_ = true;
  Changed();
}

void TGradientEdit::MouseMove(double px, double py) {
  if (!Gradient()) return;
  if (!Dragging_) {
    const int stop = StopAt(px, py);
    const int hover = CanDrag(stop) ? stop : -1;
    if (hover != Current_ || Hand_ != (hover >= 0)) {
      Current_ = hover;
      Hand_ = hover >= 0;
      Changed();
    }
    return;
  }
  if (Current_ < 0) return;
  MoveStop(Current_, PositionAt(px));
  Changed();
}

bool TGradientEdit::MouseRelease(int button, double px, double py) {
  EndDrag();
  Hand_ = false;
  if (!Gradient()) return false;
  // The stop menu opens anywhere on the strip, for any stop, stop 0 too.
  if (button == ButtonRight) Current_ = StopAt(px, py);
  Changed();
  return button == ButtonRight;
}

void TGradientEdit::DoubleClick(double px, double py) {
  if (!Gradient()) return;
  EndDrag();
  Current_ = StopAt(px, py);
  if (Current_ >= 0) Selected_ = Current_;
  PickColorAction();
  Changed();
}

// ---- Keyboard -----------------------------------------------------------------------------------

void TGradientEdit::KeyPress(TGradientKey key, int modifiers) {
  const TColorSeries* g = Gradient();
  if (!g || g->Count() == 0 || Dragging_) return;
  const int n = g->Count();
  switch (key) {
    case TGradientKey::Left:
    case TGradientKey::Right: {
      const int dir = key == TGradientKey::Left ? -1 : 1;
      if (modifiers & ModShift) {
        const int sel = Selected_;
        if (!CanDrag(sel)) return;
        Step("Move Stop", [&](TColorSeries& gradient) { MoveStop(sel, gradient.Stop(sel).Position + dir); });
        return;
      }
      Selected_ = Selected_ < 0 ? (dir < 0 ? n - 1 : 0) : std::clamp(Selected_ + dir, 0, n - 1);
      Current_ = Selected_;
      break;
    }
    case TGradientKey::Enter:
      Current_ = Selected_;
      PickColorAction();
      break;
    case TGradientKey::Delete:
      Current_ = Selected_;
      DeleteStopAction();
      break;
  }
  Changed();
}

bool TGradientEdit::KeyboardMenu() {
  if (!Gradient()) return false;
  Current_ = Selected_;
  Changed();
  return true;
}

// ---- The top bar and the stop menu --------------------------------------------------------------

void TGradientEdit::AddAction() {
  const double at = AddPosition();
  Step("Add Color", [at](TColorSeries& g) { g.AddStop(at, ColorWhite); });
}

void TGradientEdit::ClearAction() {
  if (!Gradient()) return;
  Step("Clear", [](TColorSeries& g) { g.ResetGradient(); });
  ResetPointer();
  Changed();
}

void TGradientEdit::SetColorMode(int index) {
  int32_t* mode = ModeField();
  if (!mode || index < 0 || index > 1 || *mode == index) return;
  {
    TEditScope step(History_, "Color Mode", {{TRecordKind::Slot, Ref_->Slot}});
    *mode = index;
  }
  Changed();
}

void TGradientEdit::OpenAction() {
  if (!Gradient()) return;
  const std::string file = Platform().OpenFile("Open Gradient", GradientFilter, DialogFolder(), {}, "vtg");
  if (file.empty()) return;
  Folder_ = std::filesystem::path(file).parent_path().string() + "/";
  ShowFailure([&] { LoadFile(file); });
}

void TGradientEdit::SaveAction() {
  if (!Gradient()) return;
  const std::string file = Platform().SaveFile("Save Gradient", GradientFilter, DialogFolder(), {}, "vtg");
  if (file.empty()) return;
  Folder_ = std::filesystem::path(file).parent_path().string() + "/";
  ShowFailure([&] {
    if (const TColorSeries* g = Gradient()) g->SaveToFile(file);
  });
}

void TGradientEdit::DeleteStopAction() {
  const TColorSeries* g = Gradient();
  const int stop = Current_;
  if (!g || stop < 0 || stop >= g->Count() || g->Count() < 2) return;
  Step("Delete Color", [stop](TColorSeries& gradient) { gradient.DeleteStop(stop); });
  Current_ = -1;
  if (Selected_ >= Gradient()->Count()) Selected_ = Gradient()->Count() - 1;
  Changed();
}

void TGradientEdit::PickColorAction() {
  const TColorSeries* g = Gradient();
  const int stop = Current_;
  if (!g || stop < 0 || stop >= g->Count()) return;
  uint32_t color = g->Stop(stop).Color;
  if (!Platform().PickColor(color)) return;
  // The dialog was modal: the stop may have gone meanwhile.
  const TColorSeries* after = Gradient();
  if (!after || stop >= after->Count()) return;
  Step("Stop Color", [&](TColorSeries& gradient) { gradient.SetStopColor(stop, color & 0xFFFFFFu); });
}
