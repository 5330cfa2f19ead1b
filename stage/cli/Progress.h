// The progress display of `vantrel render` on stderr: on a terminal one line redrawn in place
// (a bar, the frame, the particle count and the time per frame), otherwise one plain line per
// finished frame, fit for logs. Messages are printed on lines of their own above the bar.
#pragma once

#include <optional>
#include <ostream>
#include <string>

namespace stage::cli {

struct TFrameReport {
  double Frame = 0;
  int Index = 0;                        // from 1
  int Count = 0;                        // frames in the render
  std::optional<long long> Particles;   // when the plug-in reported them
  double Seconds = 0;                   // the frame's render and write
  std::string File;
  std::string Status;                   // the plug-in's status text, as it gave it
};

class TProgress {
 public:
  TProgress(std::ostream& out, bool terminal) : Out_(out), Terminal_(terminal) {}

  void FrameStarted(double frame, int index, int count);
  void FrameDone(const TFrameReport& report);
  void Message(const std::string& text);
  // Ends the bar's line on a terminal.
  void Finish();

 private:
  void ClearLine();
  std::ostream& Out_;
  bool Terminal_;
  bool LineOpen_ = false;
  std::string Last_;   // the previous frame's figures, kept on the bar while the next renders
};

// The particle count of the plug-in's status text " Rendered %d particles in %.2d:%.2d" (or the
// short " %d parts in …"); none for any other text.
std::optional<long long> ParseParticleCount(const std::string& status);

// "12" for whole frames, "12.5" otherwise.
std::string FrameText(double frame);

}  // namespace stage::cli
