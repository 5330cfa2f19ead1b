// Chunks of a render's frame list.
#include "stage/cli/Chunk.h"

#include <charconv>

#include "stage/cli/OutputPattern.h"

namespace stage::cli {

namespace {
constexpr long long MaxChunks = 100000;

bool ParseWhole(std::string_view text, long long& value) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc{} && end == text.data() + text.size();
}
}  // namespace

TChunk ParseChunk(const std::string& text) {
  const size_t slash = text.find('/');
  TChunk chunk;
  if (slash == std::string::npos || !ParseWhole(std::string_view(text).substr(0, slash), chunk.Index) ||
      !ParseWhole(std::string_view(text).substr(slash + 1), chunk.Count))
    throw EUsageError("--chunk takes I/N, the I-th of N chunks (for example 2/8), not '" + text + "'");
  if (chunk.Count < 1 || chunk.Count > MaxChunks)
    throw EUsageError("--chunk " + text + ": the number of chunks must be 1 to " + std::to_string(MaxChunks));
  if (chunk.Index < 1 || chunk.Index > chunk.Count)
    throw EUsageError("--chunk " + text + ": the chunk must be 1 to " + std::to_string(chunk.Count));
  return chunk;
}

std::vector<double> ChunkFrames(const std::vector<double>& frames, const TChunk& chunk) {
  const long long total = static_cast<long long>(frames.size());
  const long long base = total / chunk.Count, extra = total % chunk.Count;
  const long long i = chunk.Index - 1;
  const long long first = i * base + (i < extra ? i : extra);
  const long long size = base + (i < extra ? 1 : 0);
  return {frames.begin() + first, frames.begin() + first + size};
}

}  // namespace stage::cli
