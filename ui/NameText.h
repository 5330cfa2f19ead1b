// Names typed into the panels: an object's name is stored in a fixed field of 32 bytes, so a
// longer name is cut there, never inside a UTF-8 character.
#pragma once

#include <cstddef>
#include <string>

// The longest head of text that fits in limit bytes and ends on a character boundary.
inline std::string CutToBytes(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  // Step back over continuation bytes (10xxxxxx) to the start of the character cut in two.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}
