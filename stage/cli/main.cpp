// vantrel: the command-line host of the stage (render, info, new, studio).
#include <malloc.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "stage/cli/CommandLine.h"
#include "stage/cli/ExitCodes.h"

int main(int argc, char** argv) {
  // A render allocates and frees its frame buffers (tens of megabytes) every frame. Kept in the
  // heap rather than mapped and unmapped each time, they cost no page faults after the first
  // frame: about a tenth of a frame's time, more with several workers on one machine.
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  const int code = stage::cli::RunCommandLine(argc, argv, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
  // What went to standard output (info, new --list, help) must have reached it: a full disk or
  // a closed pipe fails the run.
  errno = 0;
  std::cout.flush();
  int error = errno;
  if (std::fflush(stdout) != 0 && error == 0) error = errno;
  if (std::cout.good() && !std::ferror(stdout)) return code;
  std::cerr << "vantrel: cannot write to standard output: "
            << (error ? std::strerror(error) : "the output did not reach it") << '\n';
  return code != 0 ? code : stage::cli::ExitFailure;
}
