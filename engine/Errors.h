// The exception type the plug-in raises inside itself, and printf-style formatting for the
// system's quoted messages ("Cannot open file %s"). Exceptions never cross into the host.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>

class EVantrelError : public std::runtime_error {
 public:
  explicit EVantrelError(const std::string& message) : std::runtime_error(message) {}
};

// Formats like printf into a std::string; the text is never truncated.
template <typename... Args>
std::string Format(const char* format, Args... args) {
  const int n = std::snprintf(nullptr, 0, format, args...);
  if (n <= 0) return {};
  std::string s(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(s.data(), s.size(), format, args...);
  s.resize(static_cast<size_t>(n));
  return s;
}
