// The seam between the system properties panel's controller and its view (the view lives in the
// Qt module, which links nothing of the plug-in's layers). The panel edits one system slot: a
// tree of its properties on the left, and on the right the page the chosen entry shows (the
// system's settings, the particle page, the render page, or the shared curve editor with the
// property's curve and, where there is one, its jitter curve). The texts, ranges and lists the
// view shows are here, so that the controller's tests and the view read the same ones.
// All-inline and abstract; nothing here throws.
#pragma once

#include <cstdint>
#include <string>

// The tree, fully expanded: each entry's text and the position of the entry it sits under
// (-1 at the top).
struct TPropsEntry {
  const char* Text;
  int Parent;
};

inline constexpr int PropsEntryCount = 22;
inline constexpr int PropsRenderEntry = 0, PropsSystemEntry = 1, PropsParticlesEntry = 14;
inline constexpr TPropsEntry PropsEntries[PropsEntryCount] = {
    {"Render", -1},
    {"System", -1},
    {"Focus", PropsSystemEntry},
    {"Flow", PropsSystemEntry},
    {"Lifespan", PropsSystemEntry},
    {"Base Size", PropsSystemEntry},
    {"Base Speed", PropsSystemEntry},
    {"Base Orientation", PropsSystemEntry},
    {"Base Gravity", PropsSystemEntry},
    {"Base Alpha", PropsSystemEntry},
    {"Base Intensity", PropsSystemEntry},
    {"Rotation", PropsSystemEntry},
    {"Vortex", PropsSystemEntry},
    {"Mass", PropsSystemEntry},
    {"Particles", -1},
    {"Size", PropsParticlesEntry},
    {"Speed", PropsParticlesEntry},
    {"Orientation", PropsParticlesEntry},
    {"Gravity", PropsParticlesEntry},
    {"Alpha", PropsParticlesEntry},
    {"Intensity", PropsParticlesEntry},
    {"Visibility", PropsParticlesEntry},
};

// The fields' ranges and the lists' choices, in list position order.
inline constexpr int SystemLifespanMax = 8192;  // "System Lifespan" and "System Lives": 0 .. this
inline constexpr double EmitterRadiusMax = 100, EmitterRadiusStep = 0.1;
inline constexpr int EmitterRadiusDecimals = 2;
inline constexpr const char* EmitterShapeNames[] = {"Point", "Plane", "Sphere", "Disc", "Surface"};
inline constexpr const char* FocusShapeNames[] = {"Sphere", "Disc"};
inline constexpr const char* RenderModeNames[] = {"Pure Alpha", "Illuminate", "Paint", "Color Alpha"};

// The pages on the right; one is shown at a time.
enum class TPropsPage : uint8_t { Render, System, Particle, Curve };

// What the panel shows, as one plain value. Without a system the page stays as it was and the
// fields show nothing.
struct TSystemPropsState {
  bool HasSystem = false;
  int Entry = 0;  // the selected tree entry
  TPropsPage Page = TPropsPage::Render;
  // The curve page's two tabs: the entry's text and that text + " Jitter"; the jitter tab only
  // where the property has a jitter curve. 0 is the property's tab, 1 the jitter's.
  std::string PropertyTab = "Property";
  std::string JitterTab = "Property Jitter";
  bool JitterTabVisible = true;
  int ActiveTab = 0;
  // The system's settings, as stored.
  int32_t SystemLifespan = 0;
  int32_t SystemLives = 0;
  int32_t EmitterShape = 0;
  double EmitterRadius = 0;
  int32_t FocusShape = 0;
  int32_t RenderMode = 0;
  bool CueCardsVisible = true;
};

class TSystemPropsView {
 public:
  virtual ~TSystemPropsView() = default;
  // The state changed: show it.
  virtual void Changed() = 0;
  // The controller goes before the view: the view must not call it again.
  virtual void ControllerGone() = 0;
};

class TSystemPropsController {
 public:
  virtual ~TSystemPropsController() = default;
  virtual void AttachView(TSystemPropsView* view) = 0;
  virtual TSystemPropsState PropsState() const = 0;

  // The tree's selection and the curve page's tabs.
  virtual void SelectEntry(int position) = 0;
  virtual void SelectTab(int tab) = 0;
  // The shared curve editor came back from a borrower: it shows this panel's curve again.
  virtual void TakeBackCurveEditor() = 0;

  // The fields, each one undoable step while a system is shown. The numbers are the fields'
  // values; a value outside the field's range is brought into it, a list position outside the
  // list is ignored.
  virtual void SetSystemLifespan(double value) = 0;
  virtual void SetSystemLives(double value) = 0;
  virtual void SetEmitterShape(int position) = 0;
  virtual void SetEmitterRadius(double value) = 0;
  virtual void SetFocusShape(int position) = 0;
  virtual void SetRenderMode(int position) = 0;
  // The cue cards' buttons: the main panel's "Toggle Cue Cards".
  virtual void ToggleCuesAction() = 0;
};
