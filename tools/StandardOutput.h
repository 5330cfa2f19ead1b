// The last check of a program that writes to standard output: what it wrote must have reached
// it (a full disk, a closed pipe), or the program fails rather than report success.
#pragma once

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

// True when everything written to standard output (streams and stdio) reached it; otherwise
// says so on standard error, with the system's reason, and answers false.
inline bool StandardOutputWritten(const char* program) {
  // A stream that already failed keeps the reason of its failed write in errno, if nothing since
  // changed it; callers check right after writing.
  if (!std::cout.good() || std::ferror(stdout)) {
    const int error = errno;
    std::fprintf(stderr, "%s: cannot write to standard output: %s\n", program,
                 error ? std::strerror(error) : "the output did not reach it");
    return false;
  }
  errno = 0;
  std::cout.flush();
  int error = errno;
  if (std::fflush(stdout) != 0 && error == 0) error = errno;
  if (std::cout.good() && !std::ferror(stdout)) return true;
  std::fprintf(stderr, "%s: cannot write to standard output: %s\n", program,
               error ? std::strerror(error) : "the output did not reach it");
  return false;
}
