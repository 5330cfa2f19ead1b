// The seam between the toolbox's and the tool properties panel's controllers and their views in
// the Qt module (which links nothing of the plug-in's layers). The controllers hold every rule;
// the views show the plain state they are handed and forward what the user does. All-inline and
// abstract; nothing here throws.
#pragma once

#include <string>
#include <vector>

#include "scene/ToolKind.h"
#include "ui/CurveEditor.h"

// One row of the toolbox's list. Texts are UTF-8.
struct TToolRow {
  std::string Name;      // "Tool" column, editable in place
  std::string KindName;  // "Kind" column
  bool Active = true;    // the check box
  int Icon = 0;          // in the main panel's image list
  friend bool operator==(const TToolRow&, const TToolRow&) = default;
};

// The "Properties" fold's height when expanded.
constexpr int ToolPropsFoldHeight = 303;

struct TToolboxState {
  std::vector<TToolRow> Rows;
  int CurrentRow = -1;        // the current tool's row, −1 for none
  bool FoldExpanded = true;   // follows the emitter manager's fold
  int FoldHeight = ToolPropsFoldHeight;
};

class TToolboxView {
 public:
  virtual ~TToolboxView() = default;
  // The list, the current row or the fold changed.
  virtual void Changed() = 0;
  virtual void ControllerGone() = 0;
};

// The six "New …" actions, in the order the Toolbox menu shows them.
struct TNewToolAction {
  TToolKind Kind;
  const char* Caption;
  int Icon;
};
inline constexpr TNewToolAction NewToolActions[] = {
    {ToolDeflector, "New Deflector", 11}, {ToolFan, "New Fan", 12},         {ToolAttractor, "New Attractor", 14},
    {ToolRepulsor, "New Repulsor", 15},   {ToolLeader, "New Leader", 13},   {ToolGravitron, "New Gravitron", 22}};

// The icon of a kind code in the main panel's image list.
inline int ToolIcon(TToolKind kind) {
  for (const TNewToolAction& a : NewToolActions)
    if (a.Kind == kind) return a.Icon;
  return 0;
}

class TToolboxController {
 public:
  virtual ~TToolboxController() = default;
  virtual void AttachView(TToolboxView* view) = 0;
  virtual TToolboxState ToolboxState() const = 0;
  // The user chose a row (click or arrows): its tool becomes current, is shown, and its scene
  // object becomes the host's selection.
  virtual void RowChosen(int row) = 0;
  // The row's check box: the tool's Active.
  virtual void RowChecked(int row, bool checked) = 0;
  // The row's caption edited in place (UTF-8); cut to what the name field holds.
  virtual void RowRenamed(int row, const std::string& name) = 0;
  // Delete on a row: asks the host to delete the tool's scene object.
  virtual void DeleteRow(int row) = 0;
  virtual void NewTool(TToolKind kind) = 0;
  // The "Properties" header was clicked.
  virtual void FoldHeaderClicked() = 0;
};

// ---- The tool properties panel.

enum class TToolPage { NoTool, Deflector, Fan, Attractor, Repulsor, Leader, Gravitron, Lifespan, Curve };

// The most frames the lifespan fields take.
constexpr int ToolLifespanMost = 8192;

struct TToolPropsState {
  TToolKind Kind = ToolNone;
  std::vector<std::string> TreeEntries;  // the kind's entries, then "Lifespan"
  int TreeIndex = -1;
  TToolPage Page = TToolPage::NoTool;
  // The fields of the kind's page and of the lifespan page.
  double Scale = 1;
  bool Absorbs = false;
  int Falloff = 0;  // "None", "Linear", "Squared"
  bool Infinite = false;
  int ToolLifespan = 0;
  int ToolLives = 0;
  bool CueCardsVisible = true;
};

// The page header and the least Scale of a kind's page.
inline const char* ToolPageHeader(TToolPage page) {
  switch (page) {
    case TToolPage::Deflector: return "Deflector Properties";
    case TToolPage::Fan: return "Fan Properties";
    case TToolPage::Attractor: return "Attractor Properties";
    case TToolPage::Repulsor: return "Repulsor Properties";
    case TToolPage::Leader: return "Leader Properties";
    case TToolPage::Gravitron: return "Gravitron Properties";
    case TToolPage::Lifespan: return "Lifespan";
    default: return "";
  }
}

class TToolPropsView {
 public:
  virtual ~TToolPropsView() = default;
  // The tool shown, the tree, the page or a field changed.
  virtual void Changed() = 0;
  virtual void ControllerGone() = 0;
};

class TToolPropsController {
 public:
  virtual ~TToolPropsController() = default;
  virtual void AttachView(TToolPropsView* view) = 0;
  virtual TToolPropsState PropsState() const = 0;
  // A tree entry was chosen (click, right click or arrows).
  virtual void ChooseEntry(int index) = 0;
  // The fields; each writes only for the kinds that have it, and only when the value differs.
  // Scale and Falloff sit on several pages: page is the one whose control changed.
  virtual void SetScale(TToolPage page, double value) = 0;
  virtual void SetAbsorbs(bool on) = 0;
  virtual void SetFalloff(TToolPage page, int position) = 0;
  virtual void SetInfinite(bool on) = 0;
  virtual void SetToolLifespan(double value) = 0;
  virtual void SetToolLives(double value) = 0;
  // "Hide Cue Cards" on the curve page.
  virtual void HideCueCards() = 0;
  // The panel's own curve editor.
  virtual TCurveEditorController& CurveEditor() = 0;
};
