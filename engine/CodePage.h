// Texts in stored records are bytes of the host's 8-bit code page, Windows-1252; readable
// settings are UTF-8. These convert between the two without losing a byte.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Every byte has a character: the five bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F,
// 0x90, 0x9D) become the control characters of the same number, as the host's own conversion
// does, so any stored name comes back unchanged.
std::string CodePageToUtf8(std::string_view bytes);

// The code-page bytes of a UTF-8 text; nothing when it holds a character the code page has no
// byte for (or is not UTF-8). unstorable then receives that character as UTF-8.
std::optional<std::string> Utf8ToCodePage(std::string_view text, std::string* unstorable = nullptr);
