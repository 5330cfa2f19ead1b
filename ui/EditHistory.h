// The panels' undo history. Every edit a panel makes is a named step: the records of the objects
// it touched (an emitter object's head with each of its slots by id, a slot, a tool, each with
// what the record does not hold) as they were before and as they are after. Undo puts the
// "before" back, redo the "after"; a slot an undo brings back gets its own id again, so steps
// further along still find it. Creating and deleting scene objects stays with the host: when
// the host deletes an object, the steps that touched it go.
//
// A step opens with Begin and closes with End; a drag or a typed field holds one step open from
// press to release. Begin inside an open step joins it. A step that changed nothing is not kept,
// so showing an object never leaves a trace.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/SceneObjects.h"

// One object's stored state.
struct TRecordState {
  TRecordRef Ref;
  bool Present = false;            // the object existed when it was taken
  std::vector<uint8_t> Record;     // emitter head, slot record or tool record
  // An emitter object's slots in order, by id, with their records.
  std::vector<TObjectId> SlotIds;
  std::vector<std::vector<uint8_t>> SlotRecords;
  // What a tool record does not hold.
  int32_t ToolLifespan = 0;
  int32_t ToolLives = 0;
  bool Infinite = false;
  friend bool operator==(const TRecordState&, const TRecordState&) = default;
};

// The object's state as it is now (Present false when it is gone).
TRecordState CaptureState(const TSceneObjects& objects, TRecordRef ref);
// Puts a state back into its live object; false when the object is gone.
bool RestoreState(const TSceneObjects& objects, const TRecordState& state);

struct TEditStep {
  std::string Name;
  std::vector<TRecordState> Before, After;
};

class TEditHistory {
 public:
  // The steps kept; the oldest goes when one more is recorded.
  static constexpr size_t Limit = 100;

  explicit TEditHistory(TSceneObjects& objects) : Objects_(objects) {}

  // Opens a step, or joins the open one (whose name stays), taking the records as they are.
  void Begin(const std::string& name, const std::vector<TRecordRef>& records);
  // Takes one more record into the open step, as it is now; nothing without an open step.
  void Touch(TRecordRef record);
  // Closes the step opened by the matching Begin. The outermost End records the step when its
  // records changed (the redo steps are then dropped); answers whether a step was recorded.
  bool End();
  bool IsOpen() const { return Depth_ > 0; }

  bool CanUndo() const { return !Undo_.empty(); }
  bool CanRedo() const { return !Redo_.empty(); }
  // The name of the step Undo or Redo would take; empty when there is none.
  std::string UndoName() const { return Undo_.empty() ? std::string() : Undo_.back().Name; }
  std::string RedoName() const { return Redo_.empty() ? std::string() : Redo_.back().Name; }
  // Take back the last step, or do again the last one taken back. A step whose objects are gone
  // is dropped. False when there was nothing to do (or it could not be done).
  bool Undo();
  bool Redo();

  // The host deleted an object: every step that touched it (or, for an emitter object, any of
  // its slots) goes.
  void Forget(TObjectId id);
  void Clear();
  size_t UndoCount() const { return Undo_.size(); }
  size_t RedoCount() const { return Redo_.size(); }

  // Called after a step was recorded, undone or redone: the scene changed. Forgetting and
  // clearing change no object and call nothing (their callers refresh what they show).
  std::function<void()> OnChanged;

 private:
  bool Apply(std::deque<TEditStep>& from, std::deque<TEditStep>& to, bool undo);
  void Changed();

  TSceneObjects& Objects_;
  std::deque<TEditStep> Undo_, Redo_;
  TEditStep Open_;
  int Depth_ = 0;
};

// A step held open for the life of a scope: Begin at construction, End at destruction, so an
// action that fails halfway still records what it changed.
class TEditScope {
 public:
  TEditScope(TEditHistory& history, const std::string& name, const std::vector<TRecordRef>& records)
      : History_(history) {
    History_.Begin(name, records);
  }
  ~TEditScope() { History_.End(); }
  TEditScope(const TEditScope&) = delete;
  TEditScope& operator=(const TEditScope&) = delete;

 private:
  TEditHistory& History_;
};
