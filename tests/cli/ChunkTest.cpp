// Chunks of a frame list and the arguments of --jobs workers.
#include <gtest/gtest.h>

#include "stage/cli/Chunk.h"
#include "stage/cli/Jobs.h"
#include "stage/cli/OutputPattern.h"

using namespace stage::cli;

TEST(Chunk, PartsAreContiguousInOrderAndDifferByAtMostOneFrame) {
  struct Case {
    int frames, chunks;
    std::vector<size_t> sizes;
  };
  const Case cases[] = {
      {10, 3, {4, 3, 3}}, {9, 3, {3, 3, 3}}, {2, 4, {1, 1, 0, 0}}, {97, 4, {25, 24, 24, 24}}, {1, 1, {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.frames) + " frames in " + std::to_string(c.chunks));
    std::vector<double> frames;
    for (int f = 0; f < c.frames; ++f) frames.push_back(100 + 2 * f);
    std::vector<double> joined;
    for (int i = 1; i <= c.chunks; ++i) {
      const std::vector<double> part = ChunkFrames(frames, {i, c.chunks});
      EXPECT_EQ(part.size(), c.sizes[static_cast<size_t>(i - 1)]) << "chunk " << i;
      joined.insert(joined.end(), part.begin(), part.end());
    }
    EXPECT_EQ(joined, frames);
  }
}

TEST(Chunk, ParsesIOfNAndRefusesTheRest) {
  const TChunk c = ParseChunk("3/8");
  EXPECT_EQ(c.Index, 3);
  EXPECT_EQ(c.Count, 8);
  for (const char* bad : {"", "3", "3/", "/8", "0/8", "9/8", "-1/8", "1/0", "a/b", "1/8x", "1/100001", "1/99999999999999999999"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(ParseChunk(bad), EUsageError);
  }
}

TEST(Jobs, WorkersLeaveOutJobsAndWhatTheParentReports) {
  const std::vector<std::string> args{"--plugin", "p.tsx", "render", "s.json", "--jobs", "2", "-o", "out/####.png",
                                      "-j3",      "-v",    "--timings", "--jobs=4", "-s", "5"};
  EXPECT_EQ(WorkerArguments(args),
            (std::vector<std::string>{"--plugin", "p.tsx", "render", "s.json", "-o", "out/####.png", "-s", "5"}));
  // Short options bundled as the parser takes them.
  const std::vector<std::string> bundled{"render", "s.json", "-qj2", "-vo", "-j.png", "-qvs3", "-e7"};
  EXPECT_EQ(WorkerArguments(bundled),
            (std::vector<std::string>{"render", "s.json", "-q", "-o", "-j.png", "-q", "-s", "3", "-e", "7"}));
}
