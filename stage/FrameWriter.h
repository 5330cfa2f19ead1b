// Writing frames beside the render: a writer thread takes finished images from a small bounded
// queue and writes them in order, while the next frame renders. A failed write is kept and
// reported to the render loop, which then stops; the frames queued after it are not written.
// Both hosts write their frames through it (the render pipeline owns one per run).
#pragma once

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "stage/ImageFiles.h"
#include "stage/ScreenBuffer.h"

namespace stage {

struct TFrameFile {
  double Frame = 0;
  std::filesystem::path Path;
  TScreenBuffer Image;
};

// Told from the writer thread when a frame's file is about to be written, once it is on disk,
// and after every attempt, whether it succeeded or not (a program that must not end in the
// middle of a write brackets it with Starting and Ended).
struct TFrameWriteHooks {
  std::function<void(const TFrameFile&)> Starting;
  std::function<void(const TFrameFile&)> Written;
  std::function<void(const TFrameFile&)> Ended;
};

class TFrameWriter {
 public:
  // capacity: how many finished frames may wait (at least 1); more only costs memory.
  TFrameWriter(TImageFormat format, const TImageWriteOptions& options, TFrameWriteHooks hooks = {},
               size_t capacity = 2);
  // Writes what is queued, then stops the thread.
  ~TFrameWriter();
  TFrameWriter(const TFrameWriter&) = delete;
  TFrameWriter& operator=(const TFrameWriter&) = delete;

  // Queues a frame; waits while the queue is full. Answers false, queueing nothing, once a
  // write has failed.
  bool Push(TFrameFile frame);
  // Waits until everything queued is written (or a write failed).
  void Drain();

  // The first failure, "Frame F: <reason>", once one happened.
  std::optional<std::string> Failure() const;
  // Frames written completely so far, and seconds spent writing them.
  long long Written() const;
  double Seconds() const;

 private:
  void Run();

  const TImageFormat Format_;
  const TImageWriteOptions Options_;
  const TFrameWriteHooks Hooks_;
  const size_t Capacity_;
  mutable std::mutex Mutex_;
  std::condition_variable Changed_;
  std::deque<TFrameFile> Queue_;
  bool Busy_ = false;        // a frame is being written
  bool Stop_ = false;
  std::optional<std::string> Failure_;
  long long Written_ = 0;
  double Seconds_ = 0;
  std::thread Thread_;       // last: starts once everything above is ready
};

// Writes one frame now: creates missing folders, then the file by format.
void WriteFrameFile(const std::filesystem::path& path, const TScreenBuffer& image, TImageFormat format,
                    const TImageWriteOptions& options);

// "12" for whole frames, "12.5" otherwise: frame numbers in messages and file names.
std::string FrameText(double frame);

}  // namespace stage
