// The studio's renders through the stage's render pipeline.
#include "stage/studio/StudioRender.h"

#include <QCoreApplication>
#include <QProgressDialog>

#include "stage/Stage.h"
#include "stage/studio/RenderWindow.h"

namespace stage::studio {

namespace {

QString Text(const std::string& s) { return QString::fromStdString(s); }

// Shows a run in the studio: each frame in the render window, the progress dialog's value and
// text (and its Cancel clicks, between frames), the plug-in's messages kept for the report.
class TStudioObserver : public TRenderObserver {
 public:
  TStudioObserver(TRenderWindow& window, QProgressDialog* progress, const TImageWriteOptions& write)
      : Window_(window), Progress_(progress), Write_(write) {}

  void PluginMessage(const std::string& text) override { Messages.push_back(Text(text)); }
  void FrameStarted(double frame, int index, int count) override {
    if (!Progress_) return;
    Progress_->setValue(index - 1);
    Progress_->setLabelText(QCoreApplication::translate("TMainWindow", "Rendering frame %1 (%2 of %3)")
                                .arg(Text(FrameText(frame)))
                                .arg(index)
                                .arg(count));
    QCoreApplication::processEvents();
    if (Progress_->wasCanceled()) Stage().Interrupt = true;
  }
  void FrameRendered(double frame, const TScreenBuffer& image) override { Window_.ShowFrame(image, Write_, frame); }
  void FrameDone(const TRenderedFrame& done) override {
    if (!done.Status.empty()) LastStatus = Text(done.Status).trimmed();
  }

  QStringList Messages;
  QString LastStatus;

 private:
  TRenderWindow& Window_;
  QProgressDialog* Progress_;
  const TImageWriteOptions& Write_;
};

TStudioRenderReport Run(TRenderJob& job, TRenderWindow& window, QProgressDialog* progress) {
  TStage& stage = Stage();
  job.Write = FrameWriteOptions(stage);
  stage.Interrupt = false;
  TStudioObserver observer(window, progress, job.Write);
  TStudioRenderReport report;
  report.Run = RenderFrames(stage, job, observer);
  stage.Interrupt = false;  // for the next render
  report.Messages = observer.Messages;
  const TRenderResult& run = report.Run;
  const qsizetype count = static_cast<qsizetype>(job.Frames.size());
  if (run.Outcome == TRenderOutcome::Interrupted) {
    report.Status = QCoreApplication::translate("TMainWindow", "Cancelled %1; %2 of %3 frames written")
                        .arg(Text(run.Problem))
                        .arg(run.Times.Frames)
                        .arg(count);
  } else if (job.FileOf) {
    report.Status = QCoreApplication::translate("TMainWindow", "Wrote %1 of %2 frames").arg(run.Times.Frames).arg(count);
  } else {
    report.Status = observer.LastStatus;
  }
  if (!run.Succeeded() && run.Outcome != TRenderOutcome::Interrupted) {
    // The plug-in's own words first: the pipeline's summary refers to them as "above".
    report.Failure = report.Messages.join("\n\n");
    if (!report.Failure.isEmpty()) report.Failure += "\n\n";
    QString problem = Text(run.Problem);
    if (!problem.isEmpty()) problem[0] = problem[0].toUpper();
    report.Failure += problem;
  }
  return report;
}

}  // namespace

TStudioRenderReport RenderStudioFrame(float frame, TRenderWindow& window) {
  TRenderJob job;
  job.Frames = {frame};
  return Run(job, window, nullptr);
}

TStudioRenderReport RenderStudioAnimation(int first, int last,
                                          const std::function<std::filesystem::path(double)>& fileOf,
                                          TImageFormat format, TRenderWindow& window, QProgressDialog& progress) {
  TRenderJob job;
  for (long long f = first; f <= last; ++f) job.Frames.push_back(static_cast<double>(f));
  job.FileOf = fileOf;
  job.Format = format;
  return Run(job, window, &progress);
}

}  // namespace stage::studio
