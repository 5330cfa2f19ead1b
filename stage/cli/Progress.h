// The progress display of `vantrel render` on stderr: on a terminal one line redrawn in place
// (a bar, the frame, the particle count, the time per frame and the time left), otherwise one
// plain line per finished frame, fit for logs. While the plug-in catches up to the first frame
// (its simulation of every frame before it, at render begin) the same line shows how far it got.
// Messages are printed on lines of their own above the bar. --quiet keeps only the messages;
// --verbose adds details (what was loaded, frames skipped, where each frame's time went).
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "stage/FrameWriter.h"

namespace stage::cli {

enum class TVerbosity { Quiet, Normal, Verbose };

struct TFrameReport {
  double Frame = 0;
  int Index = 0;                        // from 1
  int Count = 0;                        // frames in the render
  std::optional<long long> Particles;   // when the plug-in reported them
  double Seconds = 0;                   // the frame's render (and, when not written aside, write)
  std::optional<double> SecondsLeft;    // the render's estimated time left
  std::string File;
  std::string Status;                   // the plug-in's status text, as it gave it
};

class TProgress {
 public:
  TProgress(std::ostream& out, bool terminal, TVerbosity verbosity = TVerbosity::Normal)
      : Out_(out), Terminal_(terminal), Verbosity_(verbosity) {}

  // The plug-in's catch-up to the first frame: percent when it said, seconds since it began
  // and the estimated time left. On a terminal it redraws the line; otherwise a line every 10%.
  void CatchUp(double firstFrame, std::optional<int> percent, double seconds, std::optional<double> secondsLeft);
  void FrameStarted(double frame, int index, int count);
  void FrameDone(const TFrameReport& report);
  // Errors, warnings and the plug-in's messages: always shown.
  void Message(const std::string& text);
  // Summaries: not with --quiet.
  void Info(const std::string& text);
  // Details: only with --verbose.
  void Detail(const std::string& text);
  // Ends the bar's line on a terminal.
  void Finish();

  TVerbosity Verbosity() const { return Verbosity_; }

 private:
  void ClearLine();
  std::ostream& Out_;
  bool Terminal_;
  TVerbosity Verbosity_;
  bool LineOpen_ = false;
  std::string Last_;         // the previous frame's figures, kept on the bar while the next renders
  int LastCatchUpTenth_ = -1;
};

// The particle count of the plug-in's status text " Rendered %d particles in %.2d:%.2d" (or the
// short " %d parts in …"); none for any other text.
std::optional<long long> ParseParticleCount(const std::string& status);
// The percentage that ends a status text such as "Preparing animation... 42%"; none otherwise.
std::optional<int> ParsePercent(const std::string& status);

using stage::FrameText;
// A duration for people: "0:07", "12:30", "1:02:03".
std::string ClockText(double seconds);

}  // namespace stage::cli
