// Which frames `vantrel render` writes: the scene's range or -s/-e, a list of frames and ranges
// (-f 1,5,10-20), every K-th frame (--step), in increasing order without repeats. The
// simulation only moves forward, so the order is always increasing whatever order the list had.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace stage::cli {

// Frames lie in -FrameLimit..FrameLimit, far beyond any animation: the host holds times as
// floats, which beyond 2^24 no longer tell one whole frame from the next.
constexpr long long FrameLimit = 16777216;
// At most this many frames in one render (the list is kept in memory).
constexpr long long MaxFrames = 10000000;

// One item of a frame list: a single frame (First == Last) or a range A-B.
struct TFrameSpan {
  long long First = 0, Last = 0;
};

// Parses "7", "1,5,10-20", "-5--2" (negative frames), spaces allowed around items. Frames lie in
// -1e9..1e9. Throws EUsageError naming the bad item.
std::vector<TFrameSpan> ParseFrameList(const std::string& text);

// What the command line says about frames.
struct TFrameRequest {
  std::optional<long long> Start, End;   // -s, -e
  std::vector<TFrameSpan> List;          // -f; empty when not given
  long long Step = 1;                    // --step, ≥ 1
};

// The frames to render, increasing and without repeats: the list's frames when one is given,
// else the range from Start (default: the scene's first frame) to End (default: the scene's
// last), every Step-th frame counted from the range's first. Throws EUsageError when a range
// ends before it starts (naming which end came from the scene), or when no frame is left.
std::vector<double> ChooseFrames(const TFrameRequest& request, double sceneFirst, double sceneLast);

}  // namespace stage::cli
