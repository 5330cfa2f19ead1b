// vantrel: the command-line host of the stage (render, info, new, studio).
#include <malloc.h>
#include <unistd.h>

#include <iostream>

#include "stage/cli/CommandLine.h"

int main(int argc, char** argv) {
  // A render allocates and frees its frame buffers (tens of megabytes) every frame. Kept in the
  // heap rather than mapped and unmapped each time, they cost no page faults after the first
  // frame: about a tenth of a frame's time, more with several workers on one machine.
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  return stage::cli::RunCommandLine(argc, argv, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
