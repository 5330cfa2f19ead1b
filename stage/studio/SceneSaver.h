// Saving a scene so that nothing is lost: the scene is written under a temporary name beside
// its file, flushed to the disk, and only then renamed over the old file, whose folder is then
// flushed too. A save that fails at any step (a full disk, a folder that became read-only)
// leaves the old file as it was and no temporary file behind, and says why in the system's words.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace stage {
class TStage;
}

namespace stage::studio {

// A save that failed; the message names the file and gives the reason.
class ESaveError : public std::runtime_error {
 public:
  explicit ESaveError(const std::string& message) : std::runtime_error(message) {}
};

// Writes the stage's scene to path as described above. Throws ESaveError on failure; the file
// at path is then untouched.
void SaveSceneSafely(TStage& stage, const std::filesystem::path& path);

}  // namespace stage::studio
