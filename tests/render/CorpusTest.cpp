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
#include "render/PictureLoader.h"

namespace {
const std::filesystem::path Root = std::filesystem::path(VANTREL_SHARED_DIR) / "testdata" / "images";

struct TRow {
  std::string Path, Expected;
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
const std::map<std::string, std::string> KnownGaps = {
    {"pillow/12bit.cropped.tif", "12-bit grey TIFF: libtiff's RGBA reader has no 12-bit path"},
    {"libtiff/testfax3_bug54_1dnoEOL.tif", "G3 fax without EOL codes: libtiff refuses it"},
    {"psd-tools/colormodes/4x4_8bit_grayscale.psd", "grey Photoshop composite: stb reads RGB only"},
    {"psd-tools/colormodes/4x4_8bit_index_color.psd", "indexed Photoshop composite: stb reads RGB only"},
    {"psd-tools/descriptors/stroke-color-descriptors-gray.psd", "grey Photoshop composite: stb reads RGB only"},
    {"psd-tools/gray0.psd", "grey Photoshop composite: stb reads RGB only"},
    {"pillow/no_palette.gif", "GIF without any colour table: stb refuses it"},
    {"image-rs/images/gif/anim/oob.gif", "GIF frame outside the screen: stb refuses it"},
    {"image-rs/images/gif/simple/issue_1455_oversized.gif", "GIF frame larger than the screen: stb refuses it"},
    {"gif-test-suite/gifs/animated_transparent_loop_frames_out_of_bounds.gif", "GIF frame outside the screen"},
    {"pygif/image-overlap-bg.gif", "GIF frame outside the screen: stb refuses it"},
    {"pygif/image-outside-bg.gif", "GIF frame outside the screen: stb refuses it"},
    {"pygif/no-data.gif", "GIF with no image at all (a player shows the background)"},
    {"pygif/image-zero-width.gif", "GIF frame of zero size (a player shows the background)"},
    {"pygif/image-zero-height.gif", "GIF frame of zero size (a player shows the background)"},
    {"pygif/image-zero-size.gif", "GIF frame of zero size (a player shows the background)"},
    {"pygif/no-clear.gif", "LZW data without a leading clear code: stb refuses it"},
    {"pygif/no-clear-and-eoi.gif", "LZW data without clear and end codes: stb refuses it"},
    {"pygif/max-width.gif", "65535 pixels wide: beyond the loader's side limit of 16384"},
    {"pygif/max-height.gif", "65535 pixels high: beyond the loader's side limit of 16384"},
    {"pygif/invalid-colors.gif", "pixel indices past the colour table: stb shows them black"},
    {"pygif/plain-text.gif", "plain-text extension: stb skips it and shows the image"},
};

struct TCounts {
  int Decoded = 0, Rejected = 0;
};
}  // namespace

TEST(ImageCorpus, ExpectationsHold) {
  if (!std::filesystem::exists(Root / "expectations.tsv"))
    GTEST_SKIP() << "image corpora not found at " << Root << " (set VANTREL_SHARED_DIR)";
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
