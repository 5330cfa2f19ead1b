// Frame lists and ranges of the command-line renderer.
#include "stage/cli/FrameList.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "stage/cli/OutputPattern.h"
#include "stage/cli/Progress.h"

namespace stage::cli {

namespace {

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// A whole number at text[pos...]; advances pos. Answers false when there is none or it is too big.
bool ReadNumber(const std::string& text, size_t& pos, long long& value) {
  const char* begin = text.c_str() + pos;
  if (*begin != '-' && (*begin < '0' || *begin > '9')) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(begin, &end, 10);
  if (end == begin || errno == ERANGE || value < -FrameLimit || value > FrameLimit) return false;
  pos += static_cast<size_t>(end - begin);
  return true;
}

}  // namespace

std::vector<TFrameSpan> ParseFrameList(const std::string& text) {
  std::vector<TFrameSpan> spans;
  size_t from = 0;
  while (true) {
    const size_t comma = text.find(',', from);
    const std::string item = Trim(text.substr(from, comma == std::string::npos ? std::string::npos : comma - from));
    const std::string why = "frame list '" + text + "': ";
    if (item.empty()) throw EUsageError(why + "an empty item; give frames and ranges like 1,5,10-20");
    size_t pos = 0;
    TFrameSpan span;
    bool ok = ReadNumber(item, pos, span.First);
    span.Last = span.First;
    if (ok && pos < item.size()) ok = item[pos++] == '-' && ReadNumber(item, pos, span.Last) && pos == item.size();
    if (!ok)
      throw EUsageError(why + "'" + item + "' is not a frame or a range A-B of whole frames from " +
                        std::to_string(-FrameLimit) + " to " + std::to_string(FrameLimit));
    if (span.Last < span.First) throw EUsageError(why + "the range " + item + " ends before it starts");
    spans.push_back(span);
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  return spans;
}

std::vector<double> ChooseFrames(const TFrameRequest& r, double sceneFirst, double sceneLast) {
  if (r.Step < 1) throw EUsageError("--step must be 1 or more");
  std::vector<double> frames;
  if (!r.List.empty()) {
    for (const TFrameSpan& s : r.List) {
      if ((s.Last - s.First) / r.Step + 1 + static_cast<long long>(frames.size()) > MaxFrames)
        throw EUsageError("the frame list names more than " + std::to_string(MaxFrames) + " frames");
      for (long long f = s.First; f <= s.Last; f += r.Step) frames.push_back(static_cast<double>(f));
    }
    std::sort(frames.begin(), frames.end());
    frames.erase(std::unique(frames.begin(), frames.end()), frames.end());
    return frames;
  }
  const double first = r.Start ? static_cast<double>(*r.Start) : sceneFirst;
  const double last = r.End ? static_cast<double>(*r.End) : sceneLast;
  if (last < first) {
    const std::string a = FrameText(first), b = FrameText(last);
    if (r.Start && !r.End)
      throw EUsageError("Start frame " + a + " lies after the scene's last frame " + b + ": give the last frame with -e");
    if (r.End && !r.Start)
      throw EUsageError("End frame " + b + " lies before the scene's first frame " + a + ": give the first frame with -s");
    throw EUsageError("End frame " + b + " lies before start frame " + a);
  }
  const double count = std::floor((last - first) / static_cast<double>(r.Step)) + 1;
  if (count > static_cast<double>(MaxFrames))
    throw EUsageError("the range " + FrameText(first) + " to " + FrameText(last) + " holds more than " +
                      std::to_string(MaxFrames) + " frames");
  frames.reserve(static_cast<size_t>(count));
  for (long long i = 0; i < static_cast<long long>(count); ++i)
    frames.push_back(first + static_cast<double>(i * r.Step));
  return frames;
}

}  // namespace stage::cli
