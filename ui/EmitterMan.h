// The emitter manager's controller: the scene's emitter objects (EmitterList) and the selection,
// the host callbacks of the emitter object type, the emitter and system actions, the tree's and
// the emitter page's edits, the "Properties" fold, and the final-render stepping. Toolkit-free;
// a view reaches it through its seam (ui/EmitterManager.h), shows its state and forwards input.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hostapi/TsxApi5.h"
#include "scene/EmitterObj.h"
#include "ui/EmitterManager.h"

class TEmitterMan : public TEmitterManagerController {
 public:
  // The particle memory every emitter's systems share during a render; declared before the list
  // so that it outlives the systems drawing on it.
  TParticleBudget Budget;
  std::vector<std::unique_ptr<TEmitterObject>> EmitterList;
  TEmitterObject* CurrentEmitter = nullptr;
  TEmitter* CurrentSystem = nullptr;
  // The threads the systems step on (not owned; the main panel's). ShareWorkers hands it to
  // every system; the render and the preview do so before they step.
  TWorkerPool* Workers = nullptr;
  void ShareWorkers();
  // Every system draws on Budget (a render's stepping and the timeline's): a pool grown before is
  // counted in, and given back when a reset empties it. A budget never sized takes the size
  // VANTREL_PARTICLE_MEMORY asks for.
  void DrawOnBudget();

  // Called whenever the list or the selection changed, so that a view can refresh.
  std::function<void()> OnChanged;
  // Called when the host deletes an emitter object, before it goes (the undo history forgets it).
  std::function<void(const TEmitterObject&)> OnDeleting;
  // The curve editor's current-frame marker, called with a local frame of CurrentEmitter.
  std::function<void(float localFrame)> OnShowFrame;
  // An edit of an emitter object (its head or its slots) as one named undoable step; unset, the
  // edit simply runs.
  std::function<void(const char* stepName, TObjectId emitter, const std::function<void()>& edit)> EditStep;
  // "New Emitter": the main panel makes the emitter with its scene object.
  std::function<void()> NewEmitterHook;
  // The system properties show a slot (NoObject: none), whenever the selection changed.
  std::function<void(TObjectId slot)> ShowSystem;
  // The cue cards' state and their toggle, which are the main panel's.
  std::function<bool()> CueCardsVisible;
  std::function<void()> ToggleCues;
  // The "Properties" fold: the toolbox's fold and the main panel follow it.
  bool FoldExpanded = true;
  int FoldHeight = MinFoldHeight;
  std::function<void(bool expanded)> OnFoldExpanded;
  std::function<void(int height)> OnFoldHeight;

  // ---- The view's seam (ui/EmitterManager.h).
  void AttachView(TEmitterManagerView* view) override { View_ = view; }
  TEmitterManagerView* View() const { return View_; }
  TEmitterManagerState ManagerState() const override;
  void SelectNode(int emitter, int system) override;
  void ToggleEnabled(int emitter, int system) override;
  void RenameNode(int emitter, int system, const std::string& name) override;
  void SetFrameOffset(int frames) override;
  void SetFreezeFrame(int frame) override;
  void SetAutoScale(uint8_t widthScaling, uint8_t heightScaling) override;
  void RunAction(TEmitterAction action) override;
  void SetFoldExpanded(bool expanded) override;
  int MoveSplitter(int foldHeight) override;
  void ToggleCuesAction() override {
    if (ToggleCues) ToggleCues();
  }
  // Whether the action can run in the current selection (the File menu and the context menu).
  bool ActionEnabled(TEmitterAction action) const;
  // The view is told the controller goes.
  ~TEmitterMan() override;

  // ---- Host callbacks of the emitter object type ------------------------------------------
  // Writes the payload of the emitter bound to the scene object; nothing without one.
  void WritePayload(tsxSOBJ* sceneObject, tsxFILE* file);
  // Reads a payload into a new emitter object bound to the scene object, appended and made
  // current; a payload with a version below 100 or no data creates nothing.
  void ReadPayload(tsxSOBJ* sceneObject, tsxFILE* file);
  // The host duplicated an emitter's scene object: a new emitter bound to the clone, a copy of
  // the source's when it has one (else a default emitter without slots), appended and current.
  void CloneEmitter(tsxSOBJ* source, tsxSOBJ* clone);
  // The host deleted an emitter's scene object: its emitter object goes too.
  void EmitterDeleted(tsxSOBJ* sceneObject);

  // ---- Actions ------------------------------------------------------------------------------
  // Adopts a new emitter object (made for a new scene object), appends it and makes it current.
  TEmitterObject& AddEmitter(std::unique_ptr<TEmitterObject> emitter);
  // Asks the host to delete the current emitter's scene object; the delete callback does the rest.
  void DeleteEmitter();
  void AddSystem();
  // Only with a current slot in an emitter that has at least two.
  void DeleteSystem();
  void DuplicateSystem();
  // Settings files. Failures are shown to the user ("Cannot open file %s", "Cannot create file
  // %s") and change nothing; they return false.
  bool LoadEmitterSettings(const std::string& fileName);
  // "Load Emitter Settings" with its open dialog (emitter files, *.vte), starting in
  // EmitterFolder: the data folder's presets/ until a file is picked, then that file's folder.
  // Loads the picked file into the current emitter; false without a current emitter, when the
  // dialog is cancelled or the file cannot be read (which is shown).
  bool LoadEmitterSettingsFromDialog();
  // The dialog's next starting folder; empty until a file was picked there.
  std::string EmitterFolder;
  // The other three dialogs, each starting in the data folder until a file was picked there.
  // False when cancelled, without the selection they need, or on a failure (which is shown).
  bool SaveEmitterSettingsFromDialog();
  bool LoadSystemSettingsFromDialog();
  bool SaveSystemSettingsFromDialog();
  std::string SaveEmitterFolder, LoadSystemFolder, SaveSystemFolder;
  bool SaveEmitterSettings(const std::string& fileName);
  bool LoadSystemSettings(const std::string& fileName);
  bool SaveSystemSettings(const std::string& fileName);

  // Selects an emitter (and optionally one of its slots), as the tree does, and its scene object
  // in the host.
  void Select(TEmitterObject* emitter, TEmitter* system = nullptr);
  // The host's selection changed to sceneObject (null: nothing). An emitter's object selects the
  // emitter's node (no system) and the pages follow, without asking the host to select anything.
  // Any other object, or none, leaves the tree and the pages as they are: the panel keeps the
  // emitter the user works on until another emitter is selected or it is deleted. Notices that
  // the manager's own selection in the host raises are not followed.
  void HostSelected(tsxSOBJ* sceneObject);
  TEmitterObject* FindEmitter(tsxSOBJ* sceneObject) const;
  // Drops the selection when its objects are gone.
  void ValidateSelection();

  // The preview reached a scene frame: with a current emitter, the marker moves to the
  // emitter's local frame (the editor shows it on curves over frames only).
  void ShowFrame(int32_t sceneFrame);

  // ---- Final render -------------------------------------------------------------------------
  // Render begin: reseeds the generator to 1513, sets the particle budget (VANTREL_PARTICLE_MEMORY
  // megabytes, else the default) for every system, and rewinds every emitter object, all
  // together frame by frame in list order, to the frame before the host's current one. onFrame,
  // when given, is called after each re-simulated frame.
  void RenderBegin(const std::function<void()>& onFrame = {});
  // One rendered frame: every emitter object in list order steps to the host's frame and hands
  // its stepped systems to submit.
  void RenderFrame(const std::function<void(TParticleSystem&)>& submit);

 private:
  void Changed();
  void RunEnabledAction(TEmitterAction action);
  // Runs an edit of an emitter object through EditStep.
  void Edit(const char* stepName, const TEmitterObject& emitter, const std::function<void()>& edit);
  // The object a tree node shows, or null.
  TEmitterObject* EmitterAt(int emitter) const;
  TEmitter* SystemAt(int emitter, int system) const;
  // The emitter object and, for a slot node (system >= 0), the slot; false when there is none.
  bool NodeAt(int emitter, int system, TEmitterObject*& e, TEmitter*& slot) const;
  TEmitterManagerView* View_ = nullptr;
  TObjectId ShownSystem_ = NoObject;  // what ShowSystem was last told
  bool SelectingInHost_ = false;      // inside Select's tsxSelectSobj
  // Shows the user, once per render, that particles were left out for want of memory.
  void ReportBudget();
  bool BudgetReported_ = false;
};
