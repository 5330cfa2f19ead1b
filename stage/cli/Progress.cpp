// Progress lines of the command-line renderer.
#include "stage/cli/Progress.h"

#include <cmath>
#include <cstdio>

namespace stage::cli {

namespace {

constexpr int BarWidth = 24;

std::string Bar(int done, int count) {
  const int filled = count > 0 ? done * BarWidth / count : BarWidth;
  return "[" + std::string(filled, '#') + std::string(BarWidth - filled, '-') + "]";
}

std::string Seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", s);
  return text;
}

}  // namespace

std::string FrameText(double frame) {
  char text[48];
  if (frame == std::floor(frame) && std::fabs(frame) < 1e15)
    std::snprintf(text, sizeof text, "%.0f", frame);
  else
    std::snprintf(text, sizeof text, "%g", frame);
  return text;
}

std::optional<long long> ParseParticleCount(const std::string& status) {
  long long count = 0;
  int end = 0;
  if (std::sscanf(status.c_str(), " Rendered %lld particles in%n", &count, &end) == 1 && end > 0)
    return count;
  end = 0;
  if (std::sscanf(status.c_str(), " %lld parts in%n", &count, &end) == 1 && end > 0) return count;
  return std::nullopt;
}

void TProgress::ClearLine() {
  if (Terminal_ && LineOpen_) Out_ << "\r\x1b[K";
  LineOpen_ = false;
}

void TProgress::FrameStarted(double frame, int index, int count) {
  if (!Terminal_) return;
  ClearLine();
  Out_ << Bar(index - 1, count) << ' ' << index << '/' << count << "  frame " << FrameText(frame);
  if (!Last_.empty()) Out_ << "  (last: " << Last_ << ')';
  Out_ << std::flush;
  LineOpen_ = true;
}

void TProgress::FrameDone(const TFrameReport& r) {
  std::string figures = Seconds(r.Seconds) + "/frame";
  if (r.Particles) figures = std::to_string(*r.Particles) + " particles, " + figures;
  if (Terminal_) {
    Last_ = figures;
    ClearLine();
    Out_ << Bar(r.Index, r.Count) << ' ' << r.Index << '/' << r.Count << "  frame "
         << FrameText(r.Frame) << "  " << figures << std::flush;
    LineOpen_ = true;
    return;
  }
  Out_ << "frame " << FrameText(r.Frame) << " (" << r.Index << '/' << r.Count << "): "
       << Seconds(r.Seconds) << ", " << r.File;
  if (!r.Status.empty()) Out_ << " --" << r.Status;
  Out_ << '\n' << std::flush;
}

void TProgress::Message(const std::string& text) {
  ClearLine();
  Out_ << text << '\n' << std::flush;
}

void TProgress::Finish() {
  if (Terminal_ && LineOpen_) Out_ << '\n' << std::flush;
  LineOpen_ = false;
}

}  // namespace stage::cli
