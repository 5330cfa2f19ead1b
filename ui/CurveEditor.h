// The seam between the curve editor's controller and its view (the view lives in the Qt module,
// which links nothing of the plug-in's layers). The controller owns every rule: which keys move
// and how far, what a double click adds, which menu a right click opens, zoom and scroll. The view
// draws the state it is handed, in curve units mapped through TPlotMapping, and forwards mouse and
// keyboard input as pixel positions. All-inline and abstract; nothing here throws.
#pragma once

#include <string>
#include <vector>

struct TCurvePoint {
  double X = 0, Y = 0;
  friend bool operator==(const TCurvePoint&, const TCurvePoint&) = default;
};

// The plot's rectangle in widget pixels and the curve ranges it shows: one mapping for the view's
// drawing and the controller's hit tests. Pixel y grows downwards.
struct TPlotMapping {
  double Left = 0, Top = 0, Width = 1, Height = 1;
  double XMin = 0, XMax = 120, YMin = 0, YMax = 20;

  // Products before quotients, so that whole pixels of a plot whose width divides its range
  // evenly map to exact curve values.
  double PixelX(double x) const { return Left + (x - XMin) * Width / (XMax - XMin); }
  double PixelY(double y) const { return Top + Height - (y - YMin) * Height / (YMax - YMin); }
  double CurveX(double px) const { return XMin + (px - Left) * (XMax - XMin) / Width; }
  double CurveY(double py) const { return YMin + (Top + Height - py) * (YMax - YMin) / Height; }
};

enum class TCurveMenu { None, Key, Graph };

// Mouse buttons and modifier keys as the controller knows them.
enum TCurveButton : int { ButtonLeft = 1, ButtonRight = 2, ButtonMiddle = 4 };
enum TCurveModifier : int { ModShift = 1, ModCtrl = 2, ModAlt = 4 };
enum class TCurveKey { Left, Right, Up, Down, Delete };

// What the editor shows.
struct TCurveEditorState {
  bool HasCurve = false;
  std::string AxisTitle;      // of the horizontal axis
  std::vector<TCurvePoint> Keys;
  double XMin = 0, XMax = 120, YMin = 0, YMax = 20;
  double ValueStep = 0.01;    // the vertical axis's increment
  bool ShowMarks = false;     // key labels with x and value
  bool Linear = false;        // "Linear" is checked
  double MarkerX = -9000;     // the current-frame line
  int EndKeyIndex = -1;
  int MenuKey = -1;           // key under the mouse at the last press; -2 after a scroll
  int GrabbedKey = -1;
  int SelectedKey = -1;       // chosen with the keyboard (or the last key pressed)
  bool DeleteKeyEnabled = false;  // "Delete Keyframe" for the menu key
  bool HandCursor = false;
  bool Dragging = false;
  bool Banding = false;       // a Ctrl-drag rectangle is being drawn
  TCurvePoint BandFrom, BandTo;
};

// One key as the "Edit Keyframe" dialog shows it.
struct TKeyValues {
  double X = 0, Y = 0;
  bool XEditable = true;      // not for key 0
  double ValueStep = 0.01;
};

class TCurveEditorView {
 public:
  virtual ~TCurveEditorView() = default;
  // The state or the curve changed: redraw.
  virtual void Changed() = 0;
  // The controller goes before the view.
  virtual void ControllerGone() = 0;
};

class TCurveEditorController {
 public:
  virtual ~TCurveEditorController() = default;
  virtual void AttachView(TCurveEditorView* view) = 0;
  virtual TCurveEditorState EditorState() const = 0;
  // The curve as drawn for the mapping's plot: what it evaluates to across the visible range
  // (a step curve as its steps), in curve units.
  virtual std::vector<TCurvePoint> Polyline(const TPlotMapping& plot) const = 0;
  // The view's plot rectangle in pixels, for the mouse; the ranges come from the controller.
  virtual void SetPlotFrame(double left, double top, double width, double height) = 0;
  virtual TPlotMapping Mapping() const = 0;

  // ---- Mouse, at widget pixels. Release answers the menu to open there.
  virtual void MousePress(int button, double px, double py, int modifiers) = 0;
  virtual void MouseMove(double px, double py, int buttonsHeld, int modifiers) = 0;
  virtual TCurveMenu MouseRelease(int button, double px, double py, int modifiers) = 0;
  virtual void DoubleClick(double px, double py, int modifiers) = 0;
  // ---- Keyboard, with the graph focused.
  virtual void KeyPress(TCurveKey key, int modifiers) = 0;
  // The menu key opens the key menu for the selected key, else the graph menu.
  virtual TCurveMenu KeyboardMenu() = 0;

  // ---- Buttons and menu entries.
  virtual void ClearAction() = 0;
  virtual void UnzoomAction() = 0;
  virtual void ZoomInYAction() = 0;
  virtual void ZoomOutYAction() = 0;
  virtual void ZoomInXAction() = 0;
  virtual void ZoomOutXAction() = 0;
  virtual void ShowMarksAction() = 0;
  virtual void LinearAction() = 0;
  virtual void DeleteKeyAction() = 0;
  // "Edit Values": the key the menu (or the keyboard's Enter) is about; false when there is none.
  virtual bool KeyForEditing(TKeyValues& values) = 0;
  // The dialog's Ok: sets that key's x, then its value, as one step; a NaN (a field the user
  // left alone) leaves that one as it is.
  virtual void ApplyKeyValues(double x, double y) = 0;
};
