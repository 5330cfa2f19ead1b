// The seam between a gradient editor's controller and its view (the view lives in the Qt module,
// which links nothing of the plug-in's layers). The controller owns every rule: where stops sit
// on the strip, which stops drag and where to, what the menu may do, the strip's colours. The
// view paints the state it is handed and forwards mouse and keyboard input as pixel positions.
// All-inline and abstract; nothing here throws.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/CurveEditor.h"  // the mouse buttons and modifier keys

// One stop as the strip shows it.
struct TGradientMarker {
  double Position = 0;
  uint32_t Color = 0;  // 0x00BBGGRR
  double PixelX = 0;   // the marker's centre in widget pixels
  bool Draggable = false;
  friend bool operator==(const TGradientMarker&, const TGradientMarker&) = default;
};

struct TGradientEditorState {
  bool HasGradient = false;
  bool ParticleLife = false;  // positions are percent of a particle's life (1..100)
  int ColorMode = 0;          // 0 "Gradient Color", 1 "Random Color"
  std::vector<TGradientMarker> Stops;
  double LineY = 0;           // the markers' row in widget pixels
  int CurrentStop = -1;       // dragged, hovered, or the one the menu and the picker act on
  int SelectedStop = -1;      // chosen with the keyboard
  bool Dragging = false;
  bool HandCursor = false;
  // The stop menu's entries for CurrentStop.
  bool DeleteEnabled = false;
  bool PickerEnabled = false;
};

enum class TGradientKey { Left, Right, Enter, Delete };

class TGradientEditorView {
 public:
  virtual ~TGradientEditorView() = default;
  virtual void Changed() = 0;
  // The controller goes before the view.
  virtual void ControllerGone() = 0;
};

class TGradientEditorController {
 public:
  virtual ~TGradientEditorController() = default;
  virtual void AttachView(TGradientEditorView* view) = 0;
  virtual TGradientEditorState EditorState() const = 0;
  // The strip's plotting area in widget pixels; the markers and the hit tests use it.
  virtual void SetStripFrame(double left, double top, double width, double height) = 0;
  // The colour (0x00BBGGRR) of each pixel column of the plotting area, left to right, for a
  // plotting area that many pixels wide. Empty without a gradient.
  virtual std::vector<uint32_t> StripColumns(int columns) const = 0;

  // ---- Mouse on the strip, at widget pixels. A release answers whether the stop menu opens there.
  virtual void MousePress(int button, double px, double py) = 0;
  virtual void MouseMove(double px, double py) = 0;
  virtual bool MouseRelease(int button, double px, double py) = 0;
  // The second press of a double click: the colour picker for the stop there.
  virtual void DoubleClick(double px, double py) = 0;
  // ---- Keyboard, with the strip focused: Left/Right choose a stop, with Shift they move it.
  virtual void KeyPress(TGradientKey key, int modifiers) = 0;
  // The menu key: the stop menu for the chosen stop; false when there is nothing to act on.
  virtual bool KeyboardMenu() = 0;

  // ---- The top bar and the stop menu.
  virtual void AddAction() = 0;
  virtual void ClearAction() = 0;
  virtual void SetColorMode(int index) = 0;
  virtual void OpenAction() = 0;
  virtual void SaveAction() = 0;
  virtual void DeleteStopAction() = 0;
  virtual void PickColorAction() = 0;
};
