// The vantrel program's command line: the subcommands `render`, `info`, `new` and `studio` with their options
// (CLI11), dispatched to RunRender, RunInfo and RunNew. Usage errors answer exit code 2 with CLI11's
// message; --help answers 0.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "stage/cli/RenderCommand.h"

namespace stage::cli {

// Runs the program on its arguments; answers the exit code. Output goes to out, errors and
// progress to err (progress as a bar when errIsTerminal).
int RunCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool errIsTerminal);

// `vantrel studio`: replaces this process with vantrel-studio beside the program, passing args
// on. Answers (exit code 1, with the reason on err) only when that program cannot be run.
int RunStudio(const std::vector<std::string>& args, std::ostream& err);

// The --timings line: render begin, then per written frame the host's image, the post-process
// shader and the write, in seconds.
std::string TimingsText(const TRenderTimes& times);

}  // namespace stage::cli
