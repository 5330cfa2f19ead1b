// The frame writer thread of the render pipeline.
#include "stage/FrameWriter.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <system_error>

namespace stage {

std::string FrameText(double frame) {
  char text[48];
  if (frame == std::floor(frame) && std::fabs(frame) < 1e15)
    std::snprintf(text, sizeof text, "%.0f", frame);
  else
    std::snprintf(text, sizeof text, "%g", frame);
  return text;
}

void WriteFrameFile(const std::filesystem::path& path, const TScreenBuffer& image, TImageFormat format,
                    const TImageWriteOptions& options) {
  const std::filesystem::path folder = path.parent_path();
  if (!folder.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) throw std::runtime_error("Cannot create folder " + folder.string() + ": " + ec.message());
  }
  if (format == TImageFormat::Exr)
    WriteExr(path, image, options);
  else
    WritePng(path, image, options);
}

TFrameWriter::TFrameWriter(TImageFormat format, const TImageWriteOptions& options, TFrameWriteHooks hooks,
                           size_t capacity)
    : Format_(format), Options_(options), Hooks_(std::move(hooks)), Capacity_(capacity < 1 ? 1 : capacity), Thread_([this] { Run(); }) {}

TFrameWriter::~TFrameWriter() {
  {
    std::lock_guard lock(Mutex_);
    Stop_ = true;
  }
  Changed_.notify_all();
  Thread_.join();
}

bool TFrameWriter::Push(TFrameFile frame) {
  std::unique_lock lock(Mutex_);
  Changed_.wait(lock, [&] { return Failure_ || Queue_.size() < Capacity_; });
  if (Failure_) return false;
  Queue_.push_back(std::move(frame));
  Changed_.notify_all();
  return true;
}

void TFrameWriter::Drain() {
  std::unique_lock lock(Mutex_);
  Changed_.wait(lock, [&] { return Failure_ || (Queue_.empty() && !Busy_); });
}

std::optional<std::string> TFrameWriter::Failure() const {
  std::lock_guard lock(Mutex_);
  return Failure_;
}

long long TFrameWriter::Written() const {
  std::lock_guard lock(Mutex_);
  return Written_;
}

double TFrameWriter::Seconds() const {
  std::lock_guard lock(Mutex_);
  return Seconds_;
}

void TFrameWriter::Run() {
  std::unique_lock lock(Mutex_);
  while (true) {
    Changed_.wait(lock, [&] { return Stop_ || !Queue_.empty(); });
    if (Queue_.empty() || Failure_) {
      Queue_.clear();
      if (Stop_) return;
      continue;
    }
    TFrameFile frame = std::move(Queue_.front());
    Queue_.pop_front();
    Busy_ = true;
    lock.unlock();
    Changed_.notify_all();  // room in the queue

    const auto start = std::chrono::steady_clock::now();
    std::optional<std::string> failure;
    if (Hooks_.Starting) Hooks_.Starting(frame);
    try {
      WriteFrameFile(frame.Path, frame.Image, Format_, Options_);
    } catch (const std::exception& e) {
      failure = "Frame " + FrameText(frame.Frame) + ": " + e.what();
    }
    if (!failure && Hooks_.Written) Hooks_.Written(frame);
    if (Hooks_.Ended) Hooks_.Ended(frame);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    lock.lock();
    Busy_ = false;
    Seconds_ += seconds;
    if (failure)
      Failure_ = failure;
    else
      ++Written_;
    Changed_.notify_all();
  }
}

}  // namespace stage
