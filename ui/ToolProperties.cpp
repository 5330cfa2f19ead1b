// The tool properties panel's controller: tree entries by kind, pages, fields and curves.
#include "ui/ToolProperties.h"

#include <algorithm>
#include <cmath>

#include "engine/AttractModifier.h"
#include "engine/DeflectorModifier.h"
#include "engine/FanModifier.h"
#include "engine/GravitronModifier.h"
#include "hostapi/CheckFpuState.h"
#include "scene/ToolObj.h"

namespace {

// The kind's page, shown for its first tree entry.
TToolPage KindPage(TToolKind kind) {
  switch (kind) {
    case ToolDeflector: return TToolPage::Deflector;
    case ToolFan: return TToolPage::Fan;
    case ToolAttractor: return TToolPage::Attractor;
    case ToolRepulsor: return TToolPage::Repulsor;
    case ToolLeader: return TToolPage::Leader;
    case ToolGravitron: return TToolPage::Gravitron;
    default: return TToolPage::NoTool;
  }
}

std::vector<std::string> TreeEntries(TToolKind kind) {
  std::vector<std::string> entries;
  switch (kind) {
    case ToolDeflector: entries = {"Deflector", "Elasticity", "Elasticity Jitter"}; break;
    case ToolFan: entries = {"Fan", "Power", "Power Jitter"}; break;
    case ToolAttractor: entries = {"Attractor", "Power", "Power Jitter"}; break;
    case ToolRepulsor: entries = {"Repulsor", "Power", "Power Jitter"}; break;
    case ToolLeader: entries = {"Leader", "Tension", "Tension Jitter"}; break;
    case ToolGravitron: entries = {"Gravitron", "Power", "Power Jitter"}; break;
    default: break;
  }
  entries.push_back("Lifespan");
  return entries;
}

bool HasScaleField(TToolKind kind) { return kind == ToolDeflector || kind == ToolFan || kind == ToolGravitron; }

uint8_t* FalloffOf(TParticleModifier& m) {
  if (auto* f = dynamic_cast<TPlaneFanModifier*>(&m)) return &f->Falloff;
  if (auto* a = dynamic_cast<TAttractModifier*>(&m)) return &a->Falloff;
  return nullptr;
}

// A typed count as the lifespan fields store it: whole, within the field's range.
int32_t FieldCount(double value) {
  return static_cast<int32_t>(GuardedTrunc(static_cast<float>(std::clamp(value, 0.0, double{ToolLifespanMost}))));
}

}  // namespace

TToolProperties::TToolProperties(TSceneObjects& objects, TEditHistory& history)
    : Curves(objects, history), Objects_(objects), History_(history) {}

TToolProperties::~TToolProperties() {
  if (View_) View_->ControllerGone();
}

void TToolProperties::Changed() {
  if (View_) View_->Changed();
}

TToolKind TToolProperties::ShownKind() const {
  const TToolObject* tool = Objects_.Tool(ToolId_);
  return tool ? tool->Kind() : ToolNone;
}

void TToolProperties::ShowTool(TObjectId toolId) {
  const TToolObject* tool = Objects_.Tool(toolId);
  if (!tool) toolId = NoObject;
  const TToolKind kind = tool ? tool->Kind() : ToolNone;
  if (toolId == ToolId_ && kind == Kind_) {
    SceneChanged();
    return;
  }
  ToolId_ = toolId;
  Kind_ = kind;
  Entry_ = -1;
  if (Kind_ == ToolNone) {
    Curves.ShowCurve(std::nullopt);
    Changed();
    return;
  }
  ChooseEntry(0);
}

void TToolProperties::SceneChanged() {
  // A tool the host deleted needs nothing here: the toolbox's refresh shows another tool (or
  // none) at once, and until then the tool and its curves resolve to nothing.
  Curves.SceneChanged();
  Changed();
}

void TToolProperties::ChooseEntry(int index) {
  const int entries = static_cast<int>(TreeEntries(Kind_).size());
  if (index < 0 || index >= entries) return;
  Entry_ = index;
  std::optional<TCurveRef> curve;
  if (Kind_ != ToolNone && (index == 1 || index == 2)) curve = TCurveRef{TCurveSet::Tool, ToolId_, index - 1};
  if (curve != Curves.Shown()) Curves.ShowCurve(curve);
  Changed();
}

TToolPropsState TToolProperties::PropsState() const {
  TToolPropsState s;
  s.CueCardsVisible = !CueCardsShown || CueCardsShown();
  const TToolObject* tool = Objects_.Tool(ToolId_);
  s.Kind = tool ? Kind_ : ToolNone;
  s.TreeEntries = TreeEntries(s.Kind);
  s.TreeIndex = Entry_;
  if (!tool || !tool->Modifier()) return s;  // the no-tool page, whatever entry is chosen
  TParticleModifier& m = *tool->Modifier();
  switch (Entry_) {
    case 0: s.Page = KindPage(s.Kind); break;
    case 1:
    case 2: s.Page = TToolPage::Curve; break;
    case 3: s.Page = TToolPage::Lifespan; break;
    default: break;
  }
  if (const auto* b = dynamic_cast<const TBasicModifier*>(&m)) s.Scale = b->Scale;
  if (const auto* d = dynamic_cast<const TPlaneDeflectorModifier*>(&m)) s.Absorbs = d->Absorbs != 0;
  if (const uint8_t* falloff = FalloffOf(m)) s.Falloff = *falloff;
  if (const auto* g = dynamic_cast<const TGravitronModifier*>(&m)) s.Infinite = g->Infinite;
  s.ToolLifespan = m.ToolLifespan;
  s.ToolLives = m.ToolLives;
  return s;
}

template <typename EditFn>
void TToolProperties::Edit(const char* name, EditFn edit) {
  TToolObject* tool = Objects_.Tool(ToolId_);
  if (!tool || !tool->Modifier()) return;
  {
    TEditScope step(History_, name, {{TRecordKind::Tool, ToolId_}});
    edit(*tool->Modifier());
  }
  Changed();
}

void TToolProperties::SetScale(TToolPage page, double value) {
  const TToolKind kind = ShownKind();
  if (page != KindPage(kind) || !HasScaleField(kind) || std::isnan(value)) return;
  const double least = kind == ToolDeflector ? 0 : 1;
  const float scale = static_cast<float>(GuardedTrunc(static_cast<float>(std::clamp(value, least, 100.0))));
  Edit("Scale", [&](TParticleModifier& m) {
    auto& b = dynamic_cast<TBasicModifier&>(m);
    if (b.Scale != scale) b.Scale = scale;
  });
}

void TToolProperties::SetAbsorbs(bool on) {
  Edit("Absorbs Particles", [&](TParticleModifier& m) {
    auto* d = dynamic_cast<TPlaneDeflectorModifier*>(&m);
    if (d && (d->Absorbs != 0) != on) d->Absorbs = on ? 1 : 0;
  });
}

void TToolProperties::SetFalloff(TToolPage page, int position) {
  if (page != KindPage(ShownKind()) || position < FalloffNone || position > FalloffSquared) return;
  Edit("Falloff", [&](TParticleModifier& m) {
    if (uint8_t* falloff = FalloffOf(m)) *falloff = static_cast<uint8_t>(position);
  });
}

void TToolProperties::SetInfinite(bool on) {
  Edit("Infinite", [&](TParticleModifier& m) {
    if (auto* g = dynamic_cast<TGravitronModifier*>(&m)) g->Infinite = on;
  });
}

void TToolProperties::SetToolLifespan(double value) {
  if (std::isnan(value)) return;
  Edit("Tool Lifespan", [&](TParticleModifier& m) { m.ToolLifespan = FieldCount(value); });
}

void TToolProperties::SetToolLives(double value) {
  if (std::isnan(value)) return;
  Edit("Tool Lives", [&](TParticleModifier& m) { m.ToolLives = FieldCount(value); });
}

void TToolProperties::HideCueCards() {
  if (OnHideCueCards) OnHideCueCards();
  Changed();
}

void TToolProperties::MoveMarker(double frame) {
  const TVarSeries* curve = Curves.Shown() ? Objects_.Curve(*Curves.Shown()) : nullptr;
  if (curve && curve->XKind == XKindFrames) Curves.SetMarker(frame);
}
