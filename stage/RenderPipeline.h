// The render pipeline: how a host renders frames of its scene with the plug-in and writes them.
// `vantrel render` and the studio (Render Frame, Render Animation, Save Image) both go through
// it, so that a frame comes out of either the same, byte for byte:
//  - the host's animation render in its event order: render init and begin at the first frame
//    (where the plug-in catches up to it), every frame in increasing order (frames between two
//    wanted ones rendered at a one-pixel region, unwritten, so that the simulation passes them
//    as in a full render), render end, or abort when the host is interrupted, or error;
//  - one set of write options: PNG with an alpha channel (colours straight, as PNG has them)
//    whenever the scene's background is not fully opaque, EXR premultiplied with alpha and depth;
//  - the files written by the writer thread beside the render, each whole or absent;
//  - what the plug-in reports through the host (tsxHostShowMessage) fails the run: at render
//    begin before any frame is written, later once the frames are out.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "stage/FrameWriter.h"
#include "stage/ImageFiles.h"
#include "stage/ScreenBuffer.h"

namespace stage {

class TStage;

// How the frames of the stage's scene are written: an alpha channel in PNG files whenever the
// scene's background is not fully opaque; the default bits (8 for PNG, float for EXR).
TImageWriteOptions FrameWriteOptions(const TStage& stage);

// Writes one rendered frame of the stage's scene as a render writes it, the format by the file's
// extension (a single frame saved by hand). Throws std::runtime_error naming the file.
void SaveFrame(const TStage& stage, const std::filesystem::path& path, const TScreenBuffer& image);

// Wall-clock seconds of a render, for progress and benchmarks.
struct TRenderTimes {
  double Begin = 0;          // render begin: the plug-in's simulation up to the first frame
  double HostImage = 0;      // sums over the written frames
  double PostProcess = 0;
  double Write = 0;          // on the writer thread, beside the render
  double Total = 0;          // from render begin to the last file written
  long long Frames = 0;      // frames written
};

// One frame of a run, once it is rendered and handed to the writer.
struct TRenderedFrame {
  double Frame = 0;
  int Index = 0;                        // from 1
  int Count = 0;                        // frames in the run
  std::filesystem::path File;           // empty when the run writes no files
  std::string Status;                   // the plug-in's status text for the frame
  double Seconds = 0;                   // its render (and, when a write held it up, the wait)
  std::optional<double> SecondsLeft;    // the run's estimated time left
};

// What a host shows of a run while it goes. Called on the rendering thread; the defaults do nothing.
class TRenderObserver {
 public:
  virtual ~TRenderObserver() = default;
  // The plug-in's status text while it catches up to the first frame inside render begin, and
  // the seconds since render begin started.
  virtual void CatchingUp(double /*first*/, const std::string& /*status*/, double /*seconds*/) {}
  // Render begin returned after seconds.
  virtual void Began(double /*first*/, double /*seconds*/) {}
  // A message the plug-in showed through the host: a problem that fails the run.
  virtual void PluginMessage(const std::string& /*text*/) {}
  virtual void FrameStarted(double /*frame*/, int /*index*/, int /*count*/) {}
  // The finished image of a wanted frame, before it goes to the writer.
  virtual void FrameRendered(double /*frame*/, const TScreenBuffer& /*image*/) {}
  virtual void FrameDone(const TRenderedFrame& /*frame*/) {}
};

struct TRenderJob {
  std::vector<double> Frames;           // increasing, at least one
  // Where each frame goes; null for a run that writes no file (the host keeps the images
  // through FrameRendered).
  std::function<std::filesystem::path(double frame)> FileOf;
  TImageFormat Format = TImageFormat::Png;
  TImageWriteOptions Write;             // FrameWriteOptions of the scene, with a program's bits
  TFrameWriteHooks WriteHooks;          // told from the writer thread
};

enum class TRenderOutcome { Done, Interrupted, Failed };

struct TRenderResult {
  TRenderOutcome Outcome = TRenderOutcome::Done;
  // Failed: what went wrong ("Frame 12: ..."; the plug-in's problems before the first frame).
  // Interrupted: where ("before frame 12", "during frame 12 (not written)").
  // Done with messages: that the frames may lack particles.
  std::string Problem;
  int Messages = 0;                     // the plug-in's messages during the run
  std::string FirstFile, LastFile;      // of the frames written
  std::string LastStatus;               // the plug-in's last non-empty frame status
  TRenderTimes Times;                   // Times.Frames: frames written
  // The run did all it was asked and the plug-in reported nothing.
  bool Succeeded() const { return Outcome == TRenderOutcome::Done && Messages == 0; }
};

// Runs the job on the stage as it stands (scene, view, render settings). Throws nothing that the
// plug-in or a write throws: every failure is in the result.
TRenderResult RenderFrames(TStage& stage, const TRenderJob& job, TRenderObserver& observer);

// "1 frame", "2 frames".
std::string CountText(long long n, const char* one, const char* many);

}  // namespace stage
