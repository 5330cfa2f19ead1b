// The render pipeline both hosts render through.
#include "stage/RenderPipeline.h"

#include <chrono>

#include "stage/PluginStatus.h"
#include "stage/Stage.h"

namespace stage {

namespace {

using TClock = std::chrono::steady_clock;

double Since(TClock::time_point start) { return std::chrono::duration<double>(TClock::now() - start).count(); }

// Render event codes of the host interface's render group.
enum : int32_t { RenderInit = 0, RenderBegin = 1, RenderEnd = 2, RenderAbort = 5, RenderError = 6 };

// Renders a frame that is not written, at a one-pixel region, so that the plug-in's systems step
// through it exactly as in a full render (the simulation does not depend on the image).
void PassFrame(TStage& stage, float frame) {
  TRenderSettings& r = stage.Render;
  const TRenderSettings kept = r;
  r.UseRegion = true;
  r.RegionLeft = r.RegionTop = r.RegionRight = r.RegionBottom = 0;
  struct TRestore {
    TRenderSettings& Render;
    const TRenderSettings& Kept;
    ~TRestore() { Render = Kept; }
  } restore{r, kept};
  stage.RenderFrame(frame);
}

// One run: the steps of the host's animation render, each a member, sharing the run's state.
class TRun {
 public:
  TRun(TStage& stage, const TRenderJob& job, TRenderObserver& observer)
      : Stage_(stage), Job_(job), Observer_(observer), Count_(static_cast<int>(job.Frames.size())) {
    if (Job_.FileOf) Writer_.emplace(Job_.Format, Job_.Write, Job_.WriteHooks);
  }

  TRenderResult Run() {
    if (Job_.Frames.empty()) return Result_;
    if (!Begin()) return Finish();
    for (int i = 0; i < Count_; ++i)
      if (!RenderOne(i)) return Finish();
    FinishWrites();
    if (Writer_ && Writer_->Failure()) {
      Fail(static_cast<float>(Job_.Frames.back()), *Writer_->Failure());
      return Result_;
    }
    Stage_.RaiseRenderEvent(RenderEnd, static_cast<float>(Job_.Frames.back()));
    TakeMessages();
    if (Result_.Messages > 0)
      Result_.Problem = "the plug-in reported " + CountText(Result_.Messages, "problem", "problems") +
                        " (above); the frames may lack particles";
    return Result_;
  }

 private:
  // Render init and begin at the first frame: the plug-in catches up to it, telling how far in
  // its status line. What it reports there (a particle picture it cannot find, a bad setting)
  // fails the run before any frame is written, so that a resubmission that skips existing files
  // cannot keep frames made without it.
  bool Begin() {
    Status_.TakeStatus();
    const float first = static_cast<float>(Job_.Frames.front());
    Stage_.Scene.SetTime(first);
    BeginStart_ = TClock::now();
    auto previous = std::move(Stage_.OnPluginStatus);
    Stage_.OnPluginStatus = [&](const std::string& text) { Observer_.CatchingUp(first, text, Since(BeginStart_)); };
    struct TRestore {
      TStage& Stage;
      std::function<void(const std::string&)>& Previous;
      ~TRestore() { Stage.OnPluginStatus = std::move(Previous); }
    } restore{Stage_, previous};
    Stage_.RaiseRenderEvent(RenderInit, first);
    Stage_.RaiseRenderEvent(RenderBegin, first);
    Result_.Times.Begin = Since(BeginStart_);
    TakeMessages();
    if (Result_.Messages > 0) {
      Stage_.RaiseRenderEvent(RenderAbort, first);
      Result_.Outcome = TRenderOutcome::Failed;
      Result_.Problem = "the plug-in reported " + CountText(Result_.Messages, "problem", "problems") +
                        " (above) before the first frame; no frame written";
      return false;
    }
    Observer_.Began(first, Result_.Times.Begin);
    LoopStart_ = TClock::now();
    return true;
  }

  // Frame i of the job, after the frames between it and the previous one.
  bool RenderOne(int i) {
    const float frame = static_cast<float>(Job_.Frames[static_cast<size_t>(i)]);
    const int index = i + 1;
    Observer_.FrameStarted(frame, index, Count_);
    const TClock::time_point frameStart = TClock::now();
    std::filesystem::path file;
    try {
      for (double passed = Previous_ + 1; i > 0 && passed < frame; passed += 1) {
        if (Stage_.Interrupt) return Interrupted(static_cast<float>(passed), "before frame " + FrameText(frame));
        PassFrame(Stage_, static_cast<float>(passed));
        Status_.TakeStatus();
      }
      Previous_ = frame;
      if (Stage_.Interrupt) return Interrupted(frame, "before frame " + FrameText(frame));
      TScreenBuffer image = Stage_.RenderFrame(frame);
      Result_.Times.HostImage += Stage_.LastFrameTimes.HostImage;
      Result_.Times.PostProcess += Stage_.LastFrameTimes.PostProcess;
      TakeMessages();
      // The plug-in stops compositing when interrupted: that image is incomplete, not a frame.
      if (Stage_.Interrupt) return Interrupted(frame, "during frame " + FrameText(frame) + " (not written)");
      Observer_.FrameRendered(frame, image);
      if (Writer_) {
        file = Job_.FileOf(frame);
        if (!Writer_->Push(TFrameFile{frame, file, std::move(image)})) return Fail(frame, *Writer_->Failure());
      }
    } catch (const std::exception& e) {
      return Fail(frame, "Frame " + FrameText(frame) + ": " + e.what());
    }
    TRenderedFrame done;
    done.Frame = frame;
    done.Index = index;
    done.Count = Count_;
    done.File = file;
    done.Status = Status_.TakeStatus();
    done.Seconds = Since(frameStart);
    if (index < Count_) done.SecondsLeft = Since(LoopStart_) / index * (Count_ - index);
    Observer_.FrameDone(done);
    if (!file.empty()) {
      if (Result_.FirstFile.empty()) Result_.FirstFile = file.string();
      Result_.LastFile = file.string();
    }
    if (!done.Status.empty()) Result_.LastStatus = done.Status;
    return true;
  }

  bool Interrupted(float frame, const std::string& where) {
    Stage_.RaiseRenderEvent(RenderAbort, frame);
    Result_.Outcome = TRenderOutcome::Interrupted;
    Result_.Problem = where;
    return false;
  }

  bool Fail(float frame, const std::string& problem) {
    Stage_.RaiseRenderEvent(RenderError, frame);
    TakeMessages();
    Result_.Outcome = TRenderOutcome::Failed;
    Result_.Problem = problem;
    return false;
  }

  TRenderResult Finish() {
    FinishWrites();
    // A write that failed after the loop stopped for another reason is still news.
    if (Result_.Outcome == TRenderOutcome::Done && Writer_ && Writer_->Failure()) {
      Result_.Outcome = TRenderOutcome::Failed;
      Result_.Problem = *Writer_->Failure();
    }
    return Result_;
  }

  void FinishWrites() {
    if (Writer_) {
      Writer_->Drain();
      Result_.Times.Frames = Writer_->Written();
      Result_.Times.Write = Writer_->Seconds();
    }
    Result_.Times.Total = Since(BeginStart_);
  }

  void TakeMessages() {
    for (const std::string& m : Status_.NewMessages()) {
      Observer_.PluginMessage(m);
      ++Result_.Messages;
    }
  }

  TStage& Stage_;
  const TRenderJob& Job_;
  TRenderObserver& Observer_;
  const int Count_;
  TPluginStatus Status_;
  std::optional<TFrameWriter> Writer_;
  TRenderResult Result_;
  TClock::time_point BeginStart_ = TClock::now(), LoopStart_ = TClock::now();
  double Previous_ = 0;
};

}  // namespace

TImageWriteOptions FrameWriteOptions(const TStage& stage) {
  TImageWriteOptions o;
  o.Alpha = !(stage.Render.BackgroundAlpha >= 1);
  return o;
}

void SaveFrame(const TStage& stage, const std::filesystem::path& path, const TScreenBuffer& image) {
  WriteImage(path, image, FrameWriteOptions(stage));
}

TRenderResult RenderFrames(TStage& stage, const TRenderJob& job, TRenderObserver& observer) {
  return TRun(stage, job, observer).Run();
}

std::string CountText(long long n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace stage
