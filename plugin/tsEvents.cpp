// Host events: subscription in the host's group order and the dispatch table.
#include "plugin/tsEvents.h"

#include "hostapi/CheckFpuState.h"

namespace {

TTsEvents* EventTarget = nullptr;

// The order in which groups are subscribed and unsubscribed.
constexpr struct {
  TPlugEvent Member;
  int Group;
} GroupOrder[] = {{peGeneral, tsxEVENTS_GENERAL},
                  {peRender, tsxEVENTS_RENDER},
                  {peMouse, tsxEVENTS_MOUSE},
                  {peViewMsg, tsxEVENTS_VIEWMSG}};

template <typename Record, typename Handler>
void Call(const Handler& handler, const void* record) {
  if (handler) handler(*static_cast<const Record*>(record));
}

void Call(const std::function<void()>& handler) {
  if (handler) handler();
}

}  // namespace

TTsEvents::~TTsEvents() {
  SetActive(false);
  if (EventTarget == this) EventTarget = nullptr;
}

TTsEvents* TTsEvents::Target() { return EventTarget; }

void TTsEvents::SetActive(bool active) {
  if (active == Active_) return;
  if (active)
    Subscribe();
  else
    Unsubscribe();
}

void TTsEvents::SetEvents(TPlugEvents events) {
  Events_ = events;
  if (!Active_) return;
  Unsubscribe();
  Subscribe();
}

void TTsEvents::Subscribe() {
  Active_ = true;
  EventTarget = this;
  for (const auto& g : GroupOrder)
    if (Events_ & g.Member) tsxRegisterEventCallback(g.Group, &TTsEvents::HostCallback, 1);
}

void TTsEvents::Unsubscribe() {
  Active_ = false;
  for (const auto& g : GroupOrder) tsxRegisterEventCallback(g.Group, &TTsEvents::HostCallback, 0);
}

void TTsEvents::Dispatch(int group, const void* record) {
  if (!record) return;
  const int32_t code = *static_cast<const int32_t*>(record);
  switch (group) {
    case tsxEVENTS_RENDER: {
      const TRenderHandler* handlers[] = {&OnRenderInit,       &OnRenderBegin,    &OnRenderEnd,
                                          &OnRenderFrameStart, &OnRenderFrameEnd, &OnRenderAbort,
                                          &OnRenderError};
      if (code >= 0 && code < 7) Call<tsxEventRenderData>(*handlers[code], record);
      break;
    }
    case tsxEVENTS_MOUSE:
      if (code == 1) Call<tsxEventMouseData>(OnMouseMessage, record);
      if (code == 2) Call<tsxEventMouseData>(OnMouseEvent, record);
      if (code == 3) Call<tsxEventMouseData>(OnMouseDrag, record);
      break;
    case tsxEVENTS_VIEWMSG:
      Call<tsxEventViewMsgData>(OnViewEvent, record);
      break;
    case tsxEVENTS_GENERAL: {
      const std::function<void()>* handlers[] = {&OnAppStart, &OnAppClose,  &OnSceneClose,
                                                 &OnSceneNew, &OnSceneLoad, &OnSelectionChange};
      if (code >= 0 && code < 6) Call(*handlers[code]);
      break;
    }
    default:
      break;
  }
}

void TTsEvents::HostCallback(int group, const void* record) {
  // A handler's failure ends at the host's door; the handlers report their own errors.
  try {
    if (EventTarget) EventTarget->Dispatch(group, record);
  } catch (...) {
  }
  ClearFpuExceptions();
}
