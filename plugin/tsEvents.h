// Host events: TTsEvents subscribes to chosen groups of the host's event callbacks and turns
// each announcement into a handler call. All components share one callback; it forwards to the
// component activated last.
#pragma once

#include <cstdint>
#include <functional>

#include "hostapi/TsxApi5.h"

enum TPlugEvent : uint8_t { peRender = 1, peMouse = 2, peViewMsg = 4, peGeneral = 8 };
using TPlugEvents = uint8_t;  // a set of TPlugEvent bits

class TTsEvents {
 public:
  TTsEvents() = default;
  // An active component unsubscribes as it goes.
  ~TTsEvents();
  TTsEvents(const TTsEvents&) = delete;
  TTsEvents& operator=(const TTsEvents&) = delete;

  bool Active() const { return Active_; }
  // true subscribes (general, render, mouse, view message: the groups in Events), false
  // unsubscribes all four groups in that order. Setting the current value does nothing.
  void SetActive(bool active);
  TPlugEvents Events() const { return Events_; }
  // While active: unsubscribes, then subscribes again with the new set.
  void SetEvents(TPlugEvents events);

  using TRenderHandler = std::function<void(const tsxEventRenderData&)>;
  using TMouseHandler = std::function<void(const tsxEventMouseData&)>;
  TRenderHandler OnRenderInit, OnRenderBegin, OnRenderEnd, OnRenderFrameStart, OnRenderFrameEnd,
      OnRenderAbort, OnRenderError;
  TMouseHandler OnMouseMessage, OnMouseEvent, OnMouseDrag;
  std::function<void(const tsxEventViewMsgData&)> OnViewEvent;
  std::function<void()> OnAppStart, OnAppClose, OnSceneNew, OnSceneLoad, OnSceneClose;
  // The host's selected object changed (general code 5); the host answers which it is now.
  std::function<void()> OnSelectionChange;

  // Calls the handler for (group, record), if it is set; other groups and codes call nothing.
  void Dispatch(int group, const void* record);

  // The callback handed to the host; forwards to the target. Never throws.
  static void HostCallback(int group, const void* record);
  // The component that receives the host's events: the one activated last, or null.
  static TTsEvents* Target();

 private:
  void Subscribe();
  void Unsubscribe();

  bool Active_ = false;
  TPlugEvents Events_ = 0;
};
