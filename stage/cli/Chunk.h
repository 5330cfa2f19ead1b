// Chunks of a render: the frames one of N workers renders, so that a scheduler can split a
// range among processes or machines. Chunks are contiguous runs of the frame list, in order,
// their sizes differing by at most one frame (the first ones take the extra frames).
#pragma once

#include <string>
#include <vector>

namespace stage::cli {

struct TChunk {
  long long Index = 1;  // 1-based
  long long Count = 1;
};

// Parses "I/N" with 1 ≤ I ≤ N ≤ 100000. Throws EUsageError with a message naming the text.
TChunk ParseChunk(const std::string& text);

// The frames of chunk I of N. A chunk beyond the number of frames is empty.
std::vector<double> ChunkFrames(const std::vector<double>& frames, const TChunk& chunk);

}  // namespace stage::cli
