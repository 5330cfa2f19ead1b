// The public image corpora: every file the suites call valid decodes, every file they call
// invalid is refused with the loader's message, and no file, whole or cut short, crashes or
// hangs the loader. A cut file must be refused or give exactly the image of the whole file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "engine/Errors.h"
#include "pictures/PictureLoader.h"

namespace {
const std::filesystem::path Root = std::filesystem::path(VANTREL_SHARED_DIR) / "testdata" / "images";

// Why a corpus test skips and how to run it: the corpora are not part of the repository.
std::string CorpusMissing() {
  return "skipped: the image corpora are not here (no " + (Root / "expectations.tsv").string() +
         "). They live outside the repository, in testdata/images of the shared folder. To run "
         "these tests, configure with -DVANTREL_SHARED_DIR=<the folder holding testdata/images> "
         "(by default the folder 'shared' beside the checkout), build, and run "
         "ctest --test-dir build -R ImageCorpus";
}

struct TRow {
  std::string Path, Expected, Reference;
};

std::vector<TRow> Expectations() {
  std::vector<TRow> rows;
  std::ifstream in(Root / "expectations.tsv");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    TRow r;
    std::getline(fields, r.Path, '\t');
    std::getline(fields, r.Expected, '\t');
    std::getline(fields, r.Reference, '\t');
    if (r.Reference == "-") r.Reference.clear();
    rows.push_back(r);
  }
  return rows;
}

std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string Family(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  if (!ext.empty()) ext.erase(0, 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  if (ext == "jpeg") return "jpg";
  if (ext == "tiff") return "tif";
  if (ext == "pgm" || ext == "ppm" || ext == "pbm" || ext == "pnm") return "pnm";
  if (ext == "cur") return "ico";
  return ext;
}

// Decodes; false with the message when the loader refuses. Any other exception fails the test.
bool TryDecode(const std::vector<uint8_t>& bytes, const std::string& name, TPicture& out, std::string& message) {
  try {
    out = DecodePicture(bytes, name);
    return true;
  } catch (const EVantrelError& e) {
    message = e.what();
    return false;
  }
}

// Files whose suite verdict the loader does not meet, and why. They are counted and listed in
// the output; anything else that misses its verdict fails the test.
const std::map<std::string, std::string> KnownGaps = {};

struct TCounts {
  int Decoded = 0, Rejected = 0;
};
}  // namespace

TEST(ImageCorpus, ExpectationsHold) {
  if (!std::filesystem::exists(Root / "expectations.tsv"))
    GTEST_SKIP() << CorpusMissing();
  std::map<std::string, std::map<std::string, TCounts>> counts;  // family → expected → counts
  std::map<std::string, TCounts> cuts;
  std::vector<std::string> wrong, cutWrong, gaps;
  for (const TRow& row : Expectations()) {
    const std::vector<uint8_t> bytes = ReadAll(Root / row.Path);
    TPicture picture;
    std::string message;
    const bool ok = TryDecode(bytes, row.Path, picture, message);
    if (!ok && message.rfind("Cannot load image. Invalid or unexpected ", 0) != 0)
      wrong.push_back(row.Path + ": unexpected message " + message);
    TCounts& c = counts[Family(row.Path)][row.Expected];
    (ok ? c.Decoded : c.Rejected)++;
    const bool missed = (row.Expected == "decode" && !ok) || (row.Expected == "reject" && ok);
    if (missed) {
      const auto gap = KnownGaps.find(row.Path);
      (gap != KnownGaps.end() ? gaps : wrong).push_back(row.Path + (ok ? ": decoded" : ": refused") +
                                                        (gap != KnownGaps.end() ? " (" + gap->second + ")" : ""));
    }
    if (!ok || row.Expected != "decode") continue;

    // Cut short at several lengths: refused, or the very image of the whole file.
    std::vector<size_t> lengths = {0, 1, 2, 8, 16, 32, 64, 128, 256, 512};
    for (size_t k = 1; k < 8; ++k) lengths.push_back(bytes.size() * k / 8);
    lengths.push_back(bytes.size() - 1);
    std::sort(lengths.begin(), lengths.end());
    lengths.erase(std::unique(lengths.begin(), lengths.end()), lengths.end());
    for (size_t n : lengths) {
      if (n >= bytes.size()) continue;
      const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(n));
      TPicture part;
      std::string cutMessage;
      TCounts& cc = cuts[Family(row.Path)];
      if (!TryDecode(cut, row.Path, part, cutMessage)) {
        cc.Rejected++;
        continue;
      }
      cc.Decoded++;
      if (part.Image.Pixels != picture.Image.Pixels || part.HasAlpha != picture.HasAlpha)
        cutWrong.push_back(row.Path + " cut at " + std::to_string(n));
    }
  }
  std::ostringstream report;
  for (const auto& [family, byExpected] : counts) {
    report << family << ":";
    for (const auto& [expected, c] : byExpected)
      report << "  " << expected << " " << c.Decoded << " decoded / " << c.Rejected << " refused;";
    report << "  cut copies " << cuts[family].Decoded << " decoded (same image) / " << cuts[family].Rejected
           << " refused\n";
  }
  report << gaps.size() << " known gaps:\n";
  for (const std::string& g : gaps) report << "  " << g << "\n";
  std::cout << report.str();
  for (const std::string& w : wrong) ADD_FAILURE() << w;
  for (const std::string& w : cutWrong) ADD_FAILURE() << "cut file decoded to a different image: " << w;
}

namespace {
// A reference rendering as blue, green, red, alpha: raw 8-bit RGBA (the size comes from the
// decoded image) or a PNG read by the loader itself. False when it cannot be read.
bool LoadReference(const std::string& path, int32_t width, int32_t height, std::vector<uint32_t>& out) {
  const std::vector<uint8_t> bytes = ReadAll(Root / path);
  if (path.ends_with(".rgba")) {
    if (bytes.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4) return false;
    out.clear();
    for (size_t k = 0; k < bytes.size(); k += 4) out.push_back(PackBgra(bytes[k + 2], bytes[k + 1], bytes[k], bytes[k + 3]));
    return true;
  }
  TPicture picture;
  std::string message;
  if (!TryDecode(bytes, path, picture, message) || picture.Image.Width != width || picture.Image.Height != height)
    return false;
  out = picture.Image.Pixels;
  return true;
}

// First frames that differ from the suite's rendering on purpose. The suite's own notes call
// these files wrongly encoded animations that players show image by image ("force-animation");
// read by the rules of the format, the images without a delay all make up the first frame.
const std::map<std::string, std::string> GifReferenceExceptions = {
    {"pygif/animation-no-delays.gif", "images without delays: composited as one frame"},
    {"pygif/animation-zero-delays.gif", "images with zero delays: composited as one frame"},
    {"pygif/gif87a-animation.gif", "images without delays: composited as one frame"},
};
}  // namespace

// GIF is decoded by own code, so its first frames are held to the suites' renderings: equal
// colours where the reference is opaque, transparency where it is transparent.
TEST(ImageCorpus, GifFirstFramesMatchReferences) {
  if (!std::filesystem::exists(Root / "expectations.tsv"))
    GTEST_SKIP() << CorpusMissing();
  int compared = 0;
  for (const TRow& row : Expectations()) {
    if (Family(row.Path) != "gif" || row.Expected != "decode" || row.Reference.empty()) continue;
    SCOPED_TRACE(row.Path);
    TPicture picture;
    std::string message;
    ASSERT_TRUE(TryDecode(ReadAll(Root / row.Path), row.Path, picture, message)) << message;
    std::vector<uint32_t> reference;
    ASSERT_TRUE(LoadReference(row.Reference, picture.Image.Width, picture.Image.Height, reference)) << row.Reference;
    size_t differing = 0, firstAt = 0;
    for (size_t k = 0; k < reference.size(); ++k) {
      const uint32_t want = reference[k], got = picture.Image.Pixels[k];
      const bool same = AlphaOf(want) == 0 ? AlphaOf(got) == 0 : want == got;
      if (!same && differing++ == 0) firstAt = k;
    }
    ++compared;
    if (GifReferenceExceptions.count(row.Path)) {
      EXPECT_NE(differing, 0u) << "matches its reference now: drop it from the exceptions";
      continue;
    }
    EXPECT_EQ(differing, 0u) << "first at pixel " << firstAt << ": " << std::hex << picture.Image.Pixels[firstAt]
                             << " instead of " << reference[firstAt];
  }
  EXPECT_GT(compared, 90);
}
