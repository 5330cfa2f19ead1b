// vantrel: the command-line host of the stage (render, info).
#include <unistd.h>

#include <iostream>

#include "stage/cli/CommandLine.h"

int main(int argc, char** argv) {
  return stage::cli::RunCommandLine(argc, argv, std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
