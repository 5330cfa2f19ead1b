// `vantrel render --jobs N`: N worker processes of this program on this machine, each rendering
// one chunk of the frames (`--chunk I/N`), behind one progress display and one exit code.
// A worker's failure stops the others and is reported; Ctrl+C, SIGTERM or SIGHUP stops them all
// (each worker ends its frame cleanly, so no partial file is left) and answers 130, 143 or 129.
// A worker killed during a write leaves its temporary file, which the parent removes.
#pragma once

#include <string>
#include <vector>

#include "stage/cli/Progress.h"

namespace stage::cli {

// The most workers one render starts.
constexpr int MaxJobs = 64;

// The arguments of a worker: the render's own, without --jobs and its value, and without
// --verbose and --timings (the parent reports for all); the worker's chunk and report line are
// added by RunJobs.
std::vector<std::string> WorkerArguments(const std::vector<std::string>& args);

// Runs jobs workers of program with the given arguments (WorkerArguments) and waits for them.
// Answers the exit code: 0 when every worker succeeded, the first failing worker's code (1 for
// a worker ended by a signal), or 128 + the signal's number after an interrupt.
int RunJobs(const std::string& program, const std::vector<std::string>& args, int jobs, TProgress& progress);

}  // namespace stage::cli
