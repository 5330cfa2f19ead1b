// The seam between the emitter manager's controller and its view (the view lives in the Qt
// module, which links nothing of the plug-in's layers). The controller holds the emitter list,
// the selection, the pages and every rule; the view shows the plain state it is handed and
// forwards clicks, edits and menu choices. All-inline and abstract; nothing here throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The emitter and system actions, in the order the tree's context menu lists them.
enum class TEmitterAction : int {
  NewEmitter,
  DeleteEmitter,
  LoadEmitterSettings,
  SaveEmitterSettings,
  AddSystem,
  DeleteSystem,
  DuplicateSystem,
  LoadSystemSettings,
  SaveSystemSettings,
};
constexpr int EmitterActionCount = 9;

struct TEmitterActionText {
  const char* Caption;
  const char* Hint;
  bool SeparatorBefore;  // in the context menu and the File menu
};

inline const TEmitterActionText& EmitterActionText(TEmitterAction action) {
  static const TEmitterActionText texts[EmitterActionCount] = {
      {"New Emitter", "Add a new emitter to the scene", false},
      {"Delete Emitter", "", false},
      {"Load Emitter Settings", "", true},
      {"Save Emitter Settings", "", false},
      {"Add Particle System", "Add a new particle system to the selected emitter", true},
      {"Delete Particle System", "Delete the selected system", false},
      {"Duplicate Particle System", "Duplicate the selected particle system", false},
      {"Load System Settings", "Load settings from a file into the selected particle system", true},
      {"Save System Settings", "Save settings from the selected particle system to a file ", false},
  };
  return texts[static_cast<int>(action)];
}

// The page below the tree.
enum class TEmitterPage { Blank, Emitter, System };

inline constexpr const char* BlankPageText = "Load an emitter object, or use the File menu to create an emitter.";

// One node of the tree: an emitter object, or one of its slots.
struct TEmitterNode {
  std::string Name;
  bool Enabled = true;
  friend bool operator==(const TEmitterNode&, const TEmitterNode&) = default;
};

struct TEmitterRow {
  TEmitterNode Emitter;
  std::vector<TEmitterNode> Systems;
  friend bool operator==(const TEmitterRow&, const TEmitterRow&) = default;
};

// The "Properties" fold's smallest height while the splitter moves it.
constexpr int MinFoldHeight = 300;

// Everything the emitter manager shows, as one plain value.
struct TEmitterManagerState {
  std::vector<TEmitterRow> Rows;  // in the emitter list's order
  int SelectedEmitter = -1;       // -1: nothing selected
  int SelectedSystem = -1;        // -1: the emitter alone (or nothing)
  // The emitter whose node was just created: the view expands it. -1 when none.
  int NewEmitter = -1;
  TEmitterPage Page = TEmitterPage::Blank;
  // The emitter page's fields (the current emitter's; zero without one).
  int FrameOffset = 0;
  int FreezeFrame = 0;
  uint8_t WidthScaling = 0;   // 1 "More particles", 2 "Bigger particles"
  uint8_t HeightScaling = 0;  // 1 "Faster particles", 2 "Older particles", 4 "Stronger gravity"
  bool ActionEnabled[EmitterActionCount] = {};
  // The shared curve editor sits on the Visibility tab (an emitter alone is selected).
  bool CurveOnVisibility = false;
  bool FoldExpanded = true;
  int FoldHeight = MinFoldHeight;
  bool CueCardsVisible = true;
  // What the panel acts on, for its header: "Emitter 1" or "Emitter 1 › Particles"; empty
  // without a selection.
  std::string Subject;
};

class TEmitterManagerView {
 public:
  virtual ~TEmitterManagerView() = default;
  // The list, the selection or a shown value changed.
  virtual void Changed() = 0;
  // The controller goes before the view.
  virtual void ControllerGone() = 0;
};

class TEmitterManagerController {
 public:
  virtual ~TEmitterManagerController() = default;
  virtual void AttachView(TEmitterManagerView* view) = 0;
  virtual TEmitterManagerState ManagerState() const = 0;

  // The tree's selection moved to a node (system -1: the emitter node).
  virtual void SelectNode(int emitter, int system) = 0;
  // A click on a node's state icon: flips that object's Enabled, the selection stays.
  virtual void ToggleEnabled(int emitter, int system) = 0;
  // A node's caption was edited in place; the name is cut to what its field holds.
  virtual void RenameNode(int emitter, int system, const std::string& name) = 0;
  // The emitter page's fields, for the current emitter.
  virtual void SetFrameOffset(int frames) = 0;
  virtual void SetFreezeFrame(int frame) = 0;
  virtual void SetAutoScale(uint8_t widthScaling, uint8_t heightScaling) = 0;
  // A menu entry or the context menu; an action that is not enabled does nothing.
  virtual void RunAction(TEmitterAction action) = 0;
  // The "Properties" fold: collapse or expand it, and the splitter's proposed height, which is
  // answered with the height the fold keeps (at least MinFoldHeight; unchanged while folded).
  virtual void SetFoldExpanded(bool expanded) = 0;
  virtual int MoveSplitter(int foldHeight) = 0;
  // The cue card's button: every cue card of the panels shows or hides.
  virtual void ToggleCuesAction() = 0;
};
