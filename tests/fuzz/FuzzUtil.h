// Helpers shared by the fuzz targets: a private temporary file for readers that take a path, and
// a stop that libFuzzer reports as a finding when a round trip does not agree.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fuzz {

// A folder of this process's own under the system's temporary folder, made once.
inline std::filesystem::path WorkDir() {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() / ("vantrel-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

inline std::filesystem::path WriteInput(const std::string& name, const uint8_t* data, size_t size) {
  const auto path = WorkDir() / name;
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                 static_cast<std::streamsize>(size));
  return path;
}

// A round trip that does not agree is a fault: abort, so that libFuzzer keeps the input.
[[noreturn]] inline void Disagree(const char* what) {
  std::fprintf(stderr, "fuzz: round trip disagrees: %s\n", what);
  std::abort();
}

}  // namespace fuzz
