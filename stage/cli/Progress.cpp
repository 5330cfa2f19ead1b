// Progress lines of the command-line renderer.
#include "stage/cli/Progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace stage::cli {

namespace {

constexpr int BarWidth = 24;

std::string Bar(int done, int count) {
  const int filled = count > 0 ? static_cast<int>(static_cast<long long>(done) * BarWidth / count) : BarWidth;
  return "[" + std::string(filled, '#') + std::string(BarWidth - filled, '-') + "]";
}

std::string Seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", s);
  return text;
}

}  // namespace

std::string ClockText(double seconds) {
  if (!(seconds >= 0)) seconds = 0;
  const long long s = static_cast<long long>(std::llround(std::min(seconds, 1e9)));
  char text[48];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
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

std::optional<int> ParsePercent(const std::string& status) {
  if (status.size() < 2 || status.back() != '%') return std::nullopt;
  size_t begin = status.size() - 1;
  while (begin > 0 && status[begin - 1] >= '0' && status[begin - 1] <= '9') --begin;
  const size_t digits = status.size() - 1 - begin;
  if (digits == 0 || digits > 3) return std::nullopt;
  const int percent = std::stoi(status.substr(begin, digits));
  if (percent > 100) return std::nullopt;
  return percent;
}

void TProgress::ClearLine() {
  if (Terminal_ && LineOpen_) Out_ << "\r\x1b[K";
  LineOpen_ = false;
}

void TProgress::CatchUp(double firstFrame, std::optional<int> percent, double seconds,
                        std::optional<double> secondsLeft) {
  if (Verbosity_ == TVerbosity::Quiet) return;
  std::string text = "catching up to frame " + FrameText(firstFrame);
  if (percent) text += ": " + std::to_string(*percent) + "%";
  text += ", " + ClockText(seconds);
  if (secondsLeft) text += ", " + ClockText(*secondsLeft) + " left";
  if (Terminal_) {
    ClearLine();
    Out_ << Bar(percent.value_or(0), 100) << ' ' << text << std::flush;
    LineOpen_ = true;
    return;
  }
  const int tenth = percent.value_or(0) / 10;
  if (tenth <= LastCatchUpTenth_) return;
  LastCatchUpTenth_ = tenth;
  Out_ << text << '\n' << std::flush;
}

void TProgress::FrameStarted(double frame, int index, int count) {
  if (!Terminal_ || Verbosity_ == TVerbosity::Quiet) return;
  ClearLine();
  Out_ << Bar(index - 1, count) << ' ' << index << '/' << count << "  frame " << FrameText(frame);
  if (!Last_.empty()) Out_ << "  (last: " << Last_ << ')';
  Out_ << std::flush;
  LineOpen_ = true;
}

void TProgress::FrameDone(const TFrameReport& r) {
  if (Verbosity_ == TVerbosity::Quiet) return;
  std::string figures = Seconds(r.Seconds) + "/frame";
  if (r.Particles) figures = std::to_string(*r.Particles) + " particles, " + figures;
  if (r.SecondsLeft) figures += ", " + ClockText(*r.SecondsLeft) + " left";
  if (Terminal_) {
    Last_ = figures;
    ClearLine();
    Out_ << Bar(r.Index, r.Count) << ' ' << r.Index << '/' << r.Count << "  frame "
         << FrameText(r.Frame) << "  " << figures << std::flush;
    LineOpen_ = true;
    return;
  }
  Out_ << "frame " << FrameText(r.Frame) << " (" << r.Index << '/' << r.Count << "): "
       << Seconds(r.Seconds);
  if (r.SecondsLeft) Out_ << ", " << ClockText(*r.SecondsLeft) << " left";
  Out_ << ", " << r.File;
  if (!r.Status.empty()) Out_ << " --" << r.Status;
  Out_ << '\n' << std::flush;
}

void TProgress::Message(const std::string& text) {
  ClearLine();
  Out_ << text << '\n' << std::flush;
}

void TProgress::Info(const std::string& text) {
  if (Verbosity_ != TVerbosity::Quiet) Message(text);
}

void TProgress::Detail(const std::string& text) {
  if (Verbosity_ == TVerbosity::Verbose) Message(text);
}

void TProgress::Finish() {
  if (Terminal_ && LineOpen_) Out_ << '\n' << std::flush;
  LineOpen_ = false;
}

}  // namespace stage::cli
