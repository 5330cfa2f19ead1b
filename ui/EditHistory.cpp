// The undo history: taking and restoring records, and the two stacks of steps.
#include "ui/EditHistory.h"

#include <algorithm>
#include <memory>

#include "engine/GravitronModifier.h"
#include "engine/Stream.h"
#include "scene/EmitterObj.h"
#include "scene/ToolObj.h"
#include "ui/EmitterMan.h"

namespace {

template <typename Write>
std::vector<uint8_t> Bytes(Write write) {
  TMemoryStream s;
  write(s);
  return s.TakeData();
}

std::vector<uint8_t> SlotRecord(const TEmitter& slot) {
  return Bytes([&](TStream& s) { slot.WriteTo(s, false); });
}

void ReadSlot(TEmitter& slot, const std::vector<uint8_t>& record) {
  TMemoryStream s(record);
  slot.ReadFrom(EmitterRecordVersion, s);
}

}  // namespace

TRecordState CaptureState(const TSceneObjects& objects, TRecordRef ref) {
  TRecordState state;
  state.Ref = ref;
  switch (ref.Kind) {
    case TRecordKind::Emitter:
      if (const TEmitterObject* e = objects.Emitter(ref.Id)) {
        state.Present = true;
        state.Record = Bytes([&](TStream& s) { e->WriteHead(s); });
        for (const auto& slot : e->Systems) {
          state.SlotIds.push_back(slot->Id);
          state.SlotRecords.push_back(SlotRecord(*slot));
        }
      }
      break;
    case TRecordKind::Slot:
      if (const TEmitter* slot = objects.Slot(ref.Id)) {
        state.Present = true;
        state.Record = SlotRecord(*slot);
      }
      break;
    case TRecordKind::Tool:
      if (const TToolObject* tool = objects.Tool(ref.Id)) {
        state.Present = true;
        state.Record = Bytes([&](TStream& s) { tool->WriteTo(s, false); });
        if (const TParticleModifier* m = tool->Modifier()) {
          state.ToolLifespan = m->ToolLifespan;
          state.ToolLives = m->ToolLives;
          if (const auto* g = dynamic_cast<const TGravitronModifier*>(m)) state.Infinite = g->Infinite;
        }
      }
      break;
  }
  return state;
}

bool RestoreState(const TSceneObjects& objects, const TRecordState& state) {
  if (!state.Present) return false;
  switch (state.Ref.Kind) {
    case TRecordKind::Emitter: {
      TEmitterObject* e = objects.Emitter(state.Ref.Id);
      if (!e) return false;
      TMemoryStream head(state.Record);
      e->ReadHead(head);
      // Slots that stay keep their objects (and their particles); the ones the state lacks go,
      // and the ones it holds but the object lost come back under their own ids.
      std::vector<std::unique_ptr<TEmitter>> slots;
      slots.reserve(state.SlotIds.size());
      for (size_t i = 0; i < state.SlotIds.size(); ++i) {
        const auto live = std::find_if(e->Systems.begin(), e->Systems.end(),
                                       [&](const auto& s) { return s && s->Id == state.SlotIds[i]; });
        std::unique_ptr<TEmitter> slot;
        if (live != e->Systems.end()) {
          slot = std::move(*live);
        } else {
          slot = std::make_unique<TEmitter>(*e);
          slot->Id = state.SlotIds[i];
        }
        ReadSlot(*slot, state.SlotRecords[i]);
        slots.push_back(std::move(slot));
      }
      e->Systems = std::move(slots);
      objects.Emitters.ValidateSelection();
      return true;
    }
    case TRecordKind::Slot: {
      TEmitter* slot = objects.Slot(state.Ref.Id);
      if (!slot) return false;
      ReadSlot(*slot, state.Record);
      return true;
    }
    case TRecordKind::Tool: {
      TToolObject* tool = objects.Tool(state.Ref.Id);
      if (!tool) return false;
      TMemoryStream s(state.Record);
      tool->ReadFrom(s);
      if (TParticleModifier* m = tool->Modifier()) {
        m->ToolLifespan = state.ToolLifespan;
        m->ToolLives = state.ToolLives;
        if (auto* g = dynamic_cast<TGravitronModifier*>(m)) g->Infinite = state.Infinite;
      }
      return true;
    }
  }
  return false;
}

void TEditHistory::Begin(const std::string& name, const std::vector<TRecordRef>& records) {
  if (Depth_++ == 0) Open_ = TEditStep{name, {}, {}};
  for (const TRecordRef& r : records) Touch(r);
}

void TEditHistory::Touch(TRecordRef record) {
  if (Depth_ == 0) return;
  for (const TRecordState& s : Open_.Before)
    if (s.Ref == record) return;
  TRecordState before = CaptureState(Objects_, record);
  if (before.Present) Open_.Before.push_back(std::move(before));
}

bool TEditHistory::End() {
  if (Depth_ == 0 || --Depth_ > 0) return false;
  TEditStep step = std::move(Open_);
  Open_ = {};
  bool changed = false;
  for (const TRecordState& before : step.Before) {
    TRecordState after = CaptureState(Objects_, before.Ref);
    // An object deleted inside the step cannot be given back: the step is not kept.
    if (!after.Present) return false;
    changed = changed || !(after == before);
    step.After.push_back(std::move(after));
  }
  if (!changed) return false;
  Redo_.clear();
  Undo_.push_back(std::move(step));
  if (Undo_.size() > Limit) Undo_.pop_front();
  Changed();
  return true;
}

bool TEditHistory::Apply(std::deque<TEditStep>& from, std::deque<TEditStep>& to, bool undo) {
  if (from.empty() || Depth_ > 0) return false;
  TEditStep step = std::move(from.back());
  from.pop_back();
  const std::vector<TRecordState>& states = undo ? step.Before : step.After;
  bool whole = true;
  for (const TRecordState& s : states) whole = RestoreState(Objects_, s) && whole;
  if (whole) to.push_back(std::move(step));
  Changed();
  return whole;
}

bool TEditHistory::Undo() { return Apply(Undo_, Redo_, true); }
bool TEditHistory::Redo() { return Apply(Redo_, Undo_, false); }

void TEditHistory::Forget(TObjectId id) {
  const auto touches = [&](const TEditStep& step) {
    return std::any_of(step.Before.begin(), step.Before.end(), [&](const TRecordState& s) {
      return s.Ref.Id == id || std::find(s.SlotIds.begin(), s.SlotIds.end(), id) != s.SlotIds.end();
    }) || std::any_of(step.After.begin(), step.After.end(), [&](const TRecordState& s) {
      return std::find(s.SlotIds.begin(), s.SlotIds.end(), id) != s.SlotIds.end();
    });
  };
  std::erase_if(Undo_, touches);
  std::erase_if(Redo_, touches);
  std::erase_if(Open_.Before, [&](const TRecordState& s) { return s.Ref.Id == id; });
}

void TEditHistory::Clear() {
  Undo_.clear();
  Redo_.clear();
}

void TEditHistory::Changed() {
  if (OnChanged) OnChanged();
}
