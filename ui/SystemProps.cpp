// The system properties panel's controller: the entry choice, the tabs, and the fields' steps.
#include "ui/SystemProps.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "hostapi/CheckFpuState.h"
#include "scene/EmitterObj.h"
#include "ui/Main.h"

namespace {

// The curves a tree entry chooses: the property curve and its jitter curve, each a place in
// the slot's particle system or in its emission part; Index -1 is none.
struct TEntryCurve {
  TCurveSet Set;
  int Index;
};
struct TEntryCurves {
  TEntryCurve Property, Jitter;
};

constexpr TEntryCurve None{TCurveSet::System, -1};
constexpr TEntryCurve E(int index) { return {TCurveSet::Emitter, index}; }
constexpr TEntryCurve S(int index) { return {TCurveSet::System, index}; }

// By tree position. The emission part's set: Focus 0, Lifespan 1, Base Size 2, Base Speed 3,
// Base Gravity 4, Base Orientation 5, Base Alpha 6, Base Intensity 7, Rotation 8, Vortex 9,
// Mass 10, then the jitter curves of all but Base Gravity from 11. The particle system's: Size
// 0 … Visibility 6, Flow 7, Flow jitter 8.
constexpr TEntryCurves EntryCurves[PropsEntryCount] = {
    {None, None},         // Render
    {None, None},         // System
    {E(0), E(11)},        // Focus
    {S(SystemFlowCurve), S(SystemFlowCurve + 1)},  // Flow
    {E(1), E(12)},        // Lifespan
    {E(2), E(13)},        // Base Size
    {E(3), E(14)},        // Base Speed
    {E(5), E(15)},        // Base Orientation
    {E(4), None},         // Base Gravity
    {E(6), E(16)},        // Base Alpha
    {E(7), E(17)},        // Base Intensity
    {E(8), E(18)},        // Rotation
    {E(9), E(19)},        // Vortex
    {E(10), E(20)},       // Mass
    {None, None},         // Particles
    {S(0), None},         // Size
    {S(1), None},         // Speed
    {S(2), None},         // Orientation
    {S(3), None},         // Gravity
    {S(4), None},         // Alpha
    {S(5), None},         // Intensity
    {S(6), None},         // Visibility
};

std::optional<TCurveRef> RefOf(TEntryCurve c, TObjectId slot) {
  if (c.Index < 0) return std::nullopt;
  return TCurveRef{c.Set, slot, c.Index};
}

// A count field's value as stored: truncated under the floating-point guard, within the field.
int32_t CountOf(double value) {
  const int64_t n = GuardedTrunc(static_cast<float>(value));
  return static_cast<int32_t>(std::clamp<int64_t>(n, 0, SystemLifespanMax));
}

}  // namespace

TSystemProps::TSystemProps(TMain& main) : Main_(main) {}

TSystemProps::~TSystemProps() {
  if (View_) View_->ControllerGone();
}

TEmitter* TSystemProps::Slot() const { return Shown_ == NoObject ? nullptr : Main_.Objects.Slot(Shown_); }

void TSystemProps::Changed() {
  if (View_) View_->Changed();
}

TSystemPropsState TSystemProps::PropsState() const {
  TSystemPropsState s;
  s.Entry = Entry_;
  s.Page = Page_;
  s.ActiveTab = Tab_;
  if (Page_ == TPropsPage::Curve) {
    s.PropertyTab = PropsEntries[Entry_].Text;
    s.JitterTab = s.PropertyTab + " Jitter";
  }
  s.JitterTabVisible = Jitter_.has_value();
  s.CueCardsVisible = Main_.CueCardsVisible;
  if (const TEmitter* slot = Slot()) {
    s.HasSystem = true;
    s.SystemLifespan = slot->System.SystemLifespan;
    s.SystemLives = slot->System.SystemLives;
    s.EmitterShape = slot->Emitter.EmitterShape;
    s.EmitterRadius = slot->Emitter.EmitterRadius;
    s.FocusShape = slot->Emitter.FocusShape;
    s.RenderMode = slot->System.RenderMode;
  }
  return s;
}

void TSystemProps::ShowSystem(TObjectId slotId) {
  Shown_ = Main_.Objects.Slot(slotId) ? slotId : NoObject;
  ChooseEntry();
  Changed();
  if (OnSystemShown) OnSystemShown(Shown_);
}

void TSystemProps::SceneChanged() {
  if (Shown_ != NoObject && !Slot()) {
    // Deleted, or replaced by loaded settings: nothing of it may be reached again.
    Shown_ = NoObject;
    ChooseEntry();
    Changed();
    if (OnSystemShown) OnSystemShown(NoObject);
    return;
  }
  Changed();
}

void TSystemProps::SelectEntry(int position) {
  if (position < 0 || position >= PropsEntryCount) return;
  Entry_ = position;
  ChooseEntry();
  Changed();
}

void TSystemProps::ChooseEntry() {
  ClearFpuExceptions();
  Property_.reset();
  Jitter_.reset();
  if (!Slot()) {
    // The page stays as it was; the editor lets go of a curve of a slot no longer shown.
    ReleaseCurveEditor();
    return;
  }
  Property_ = RefOf(EntryCurves[Entry_].Property, Shown_);
  Jitter_ = RefOf(EntryCurves[Entry_].Jitter, Shown_);
  switch (Entry_) {
    case PropsRenderEntry: Page_ = TPropsPage::Render; break;
    case PropsSystemEntry: Page_ = TPropsPage::System; break;
    case PropsParticlesEntry: Page_ = TPropsPage::Particle; break;
    default:
      Page_ = TPropsPage::Curve;
      Tab_ = 0;
      ShowTabCurve();
      return;
  }
  ReleaseCurveEditor();
}

void TSystemProps::SelectTab(int tab) {
  if (tab != 0 && tab != 1) return;
  if (tab == 1 && !Jitter_) return;  // a hidden tab cannot be chosen
  Tab_ = tab;
  if (Page_ == TPropsPage::Curve && Slot()) ShowTabCurve();
  Changed();
}

void TSystemProps::ShowTabCurve() {
  InEditor_ = Tab_ == 0 ? Property_ : Jitter_;
  Main_.Curves.ShowCurve(InEditor_);
}

void TSystemProps::ReleaseCurveEditor() {
  if (InEditor_ && Main_.Curves.Shown() == InEditor_) Main_.Curves.ShowCurve(std::nullopt);
  InEditor_.reset();
}

void TSystemProps::TakeBackCurveEditor() {
  if (Page_ == TPropsPage::Curve && Slot()) ShowTabCurve();
  Changed();
}

template <typename Edit>
void TSystemProps::Step(const char* name, Edit edit) {
  TEmitter* slot = Slot();
  if (!slot) return;
  {
    TEditScope step(Main_.History, name, {{TRecordKind::Slot, Shown_}});
    edit(*slot);
  }
  Changed();
}

void TSystemProps::SetSystemLifespan(double value) {
  Step("System Lifespan", [&](TEmitter& slot) { slot.System.SystemLifespan = CountOf(value); });
}

void TSystemProps::SetSystemLives(double value) {
  Step("System Lives", [&](TEmitter& slot) { slot.System.SystemLives = CountOf(value); });
}

void TSystemProps::SetEmitterRadius(double value) {
  if (std::isnan(value)) return;
  value = std::clamp(value, 0.0, EmitterRadiusMax);
  Step("Emitter Radius", [&](TEmitter& slot) { slot.Emitter.EmitterRadius = static_cast<float>(value); });
}

void TSystemProps::SetEmitterShape(int position) {
  if (position < 0 || position >= static_cast<int>(std::size(EmitterShapeNames))) return;
  Step("Emitter Shape", [&](TEmitter& slot) { slot.Emitter.EmitterShape = position; });
}

void TSystemProps::SetFocusShape(int position) {
  if (position < 0 || position >= static_cast<int>(std::size(FocusShapeNames))) return;
  Step("Focus Shape", [&](TEmitter& slot) { slot.Emitter.FocusShape = position; });
}

void TSystemProps::SetRenderMode(int position) {
  if (position < 0 || position >= static_cast<int>(std::size(RenderModeNames))) return;
  Step("Render Mode", [&](TEmitter& slot) { slot.System.RenderMode = position; });
}

void TSystemProps::ToggleCuesAction() { Main_.ToggleCuesAction(); }
