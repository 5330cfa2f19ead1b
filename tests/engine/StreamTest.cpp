// Streams and stored fields: short reads keep values, texts are length-prefixed and bounded,
// and a save only replaces its target when it completes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "engine/Errors.h"
#include "engine/Stream.h"

namespace fs = std::filesystem;

TEST(Stream, ShortReadsKeepTheTarget) {
  TMemoryStream s(std::vector<uint8_t>{1, 2, 3});
  int32_t v = 77;
  EXPECT_FALSE(ReadField(s, v));
  EXPECT_EQ(v, 77);
  EXPECT_EQ(s.Remaining(), 0u);
  s.Skip(100);  // past the end: harmless
  EXPECT_EQ(s.Position(), 3u);
}

TEST(Stream, TextFields) {
  TMemoryStream s;
  WriteText(s, 32, "Fountain");
  WriteText(s, 4, "much too long");
  ASSERT_EQ(s.Size(), 33u + 5u);
  EXPECT_EQ(s.Data()[0], 8);
  EXPECT_EQ(s.Data()[9], 0);  // unused bytes are zeros
  s.Seek(0);
  std::string a, b;
  EXPECT_TRUE(ReadText(s, 32, a));
  EXPECT_TRUE(ReadText(s, 4, b));
  EXPECT_EQ(a, "Fountain");
  EXPECT_EQ(b, "much");
  // A length byte above the field's capacity reads only the capacity.
  TMemoryStream bad(std::vector<uint8_t>{200, 'a', 'b'});
  std::string c = "kept";
  EXPECT_TRUE(ReadText(bad, 2, c));
  EXPECT_EQ(c, "ab");
}

TEST(Stream, FilesSaveAtomically) {
  const fs::path dir = fs::temp_directory_path() / ("vantrel-stream-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string target = (dir / "a.bin").string();
  {
    TFileWriteStream w(target);
    WriteField(w, int32_t{101});
    w.Commit();
  }
  {
    TFileWriteStream w(target);
    WriteField(w, int32_t{555});
    // destroyed without Commit: the old file stays
  }
  {
    TFileReadStream r(target);
    int32_t v = 0;
    EXPECT_TRUE(ReadField(r, v));
    EXPECT_EQ(v, 101);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  try {
    TFileReadStream r((dir / "missing.vte").string());
    FAIL();
  } catch (const EVantrelError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file " + (dir / "missing.vte").string());
  }
  EXPECT_THROW(TFileWriteStream((dir / "no" / "such" / "x.vts").string()), EVantrelError);
  fs::remove_all(dir);
}
