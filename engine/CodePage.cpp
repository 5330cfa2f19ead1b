// Windows-1252 <-> UTF-8. Bytes 0x00..0x7F and 0xA0..0xFF are the code points of the same
// number; 0x80..0x9F have the table below.
#include "engine/CodePage.h"

#include <array>
#include <cstdint>

namespace {

// The characters of bytes 0x80..0x9F; the undefined ones map to the control of the same number.
constexpr std::array<char32_t, 32> High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The next character of UTF-8 text at i (advanced past it); nothing for a broken sequence.
std::optional<char32_t> NextUtf8(std::string_view t, size_t& i) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(t[k]); };
  const uint8_t b = byte(i);
  size_t extra = 0;
  char32_t c = 0;
  if (b < 0x80) {
    ++i;
    return b;
  } else if ((b & 0xE0) == 0xC0) {
    extra = 1;
    c = b & 0x1F;
  } else if ((b & 0xF0) == 0xE0) {
    extra = 2;
    c = b & 0x0F;
  } else if ((b & 0xF8) == 0xF0) {
    extra = 3;
    c = b & 0x07;
  } else {
    return std::nullopt;
  }
  if (i + extra >= t.size()) return std::nullopt;
  for (size_t k = 1; k <= extra; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  i += extra + 1;
  return c;
}

}  // namespace

std::string CodePageToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto b = static_cast<uint8_t>(ch);
    AppendUtf8(out, b >= 0x80 && b < 0xA0 ? High[b - 0x80] : char32_t{b});
  }
  return out;
}

std::optional<std::string> Utf8ToCodePage(std::string_view text, std::string* unstorable) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t start = i;
    const std::optional<char32_t> c = NextUtf8(text, i);
    if (!c) {
      if (unstorable) *unstorable = std::string(text.substr(start, 1));
      return std::nullopt;
    }
    if (*c < 0x80 || (*c >= 0xA0 && *c <= 0xFF)) {
      out += static_cast<char>(*c);
      continue;
    }
    size_t k = 0;
    while (k < High.size() && High[k] != *c) ++k;
    if (k == High.size()) {
      if (unstorable) *unstorable = std::string(text.substr(start, i - start));
      return std::nullopt;
    }
    out += static_cast<char>(0x80 + k);
  }
  return out;
}
