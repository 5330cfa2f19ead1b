// The particles of the host's timeline: whenever the host draws its active view again (the user
// scrubbed, the timeline plays, the camera moved), every system is brought to the view's frame
// exactly as a render of that frame brings it, and the visible particles are drawn into the view.
//
// The run states of the frames a render or the timeline has stepped are kept in a bounded cache
// (scene/FrameCache.h). A frame not kept is stepped forward, frame by frame as a render steps,
// from the nearest kept frame before it (never backwards), or from the start when none is kept.
// Kept frames that no longer follow from the scene are dropped: an edit of the plug-in's data
// drops the frames from the first one it can change (EditFrame in
// scene/FrameCache.h), a host pose that differs from
// the one a kept frame was stepped with drops them all. Nothing here writes to the scene.
#pragma once

#include <cstdint>
#include <vector>

#include "scene/FrameCache.h"

class TEmitterMan;
class TEmitterObject;
class TParticleRenderer;

class TTimelineParticles {
 public:
  TTimelineParticles(TEmitterMan& emitters, TParticleRenderer& renderer);

  TFrameCache Cache;

  // Brings every system to scene frame `frame` as a render of that frame would; the host's time
  // is put back afterwards.
  void BringTo(int64_t frame);
  // The host drew its active view again: brings the systems to the host's current frame and draws
  // their visible particles into the view. Answers how many were drawn. Nothing while a render is
  // under way (the render owns the systems) or while it is already at work.
  int32_t ViewDrawn();

  // A render begins (before its rewind): once a view has been drawn, its frames are kept as it
  // steps them, one by one from frame 0 (a host without views keeps nothing, at no cost); a render that skips a frame keeps nothing more, its state being another than a
  // render of that frame alone.
  void RenderBegun();
  // The render stepped every object to the host's current frame.
  void RenderStepped();
  // The render ended (finished, aborted or failed).
  void RenderEnded() { Rendering_ = false; }
  bool Rendering() const { return Rendering_; }

 private:
  std::vector<TEmitterObject*> Objects() const;
  // Drops the kept frames the plug-in's data no longer gives.
  void CheckInputs(const std::vector<TEmitterObject*>& objects);
  void Keep(int64_t frame, const std::vector<TEmitterObject*>& objects);
  // The kept frame to go on from towards `frame` (its poses checked at the host), or −1.
  int64_t StartFor(int64_t frame, const std::vector<TEmitterObject*>& objects);
  // Every system reset, the generator reseeded, the scene's budget drawn on: a render's start.
  void StartOver(const std::vector<TEmitterObject*>& objects);

  TEmitterMan& Emitters_;
  TParticleRenderer& Renderer_;
  std::vector<uint8_t> Inputs_;  // what the kept frames were stepped from
  bool Rendering_ = false;
  int64_t RenderNext_ = -1;  // the frame a render keeps next; −1: it keeps no more
  bool Busy_ = false;
  bool ViewShown_ = false;  // a view was drawn: the host shows frames, and renders keep theirs
};
