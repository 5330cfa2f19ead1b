// `vantrel info`: what a scene file holds: the node tree with each node's kind, the emitters and
// tools (custom objects, grouped by type name) and the render settings. The plug-in is loaded
// first so that emitter and tool data are read as in a render; without it the nodes are still
// listed, with a note.
#pragma once

#include <filesystem>
#include <ostream>

namespace stage::cli {

struct TInfoOptions {
  std::filesystem::path Scene;
  std::filesystem::path Plugin;   // empty: beside the program
};

// Lists to out; errors, warnings and the plug-in's messages to err. Answers the exit code:
// 1 when the scene cannot be read (a missing plug-in alone is not a failure here).
int RunInfo(const TInfoOptions& options, std::ostream& out, std::ostream& err);

}  // namespace stage::cli
