// Saving a scene so that nothing is lost.
#include "stage/studio/SceneSaver.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "stage/SceneFile.h"

namespace stage::studio {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void Fail(const fs::path& path, const std::string& what, int error) {
  std::string message = "Cannot save " + path.string() + ": " + what;
  if (error) message += ": " + std::string(std::strerror(error));
  throw ESaveError(message + ". The file on disk is as it was.");
}

// Flushes a file or a folder to the disk; answers errno, 0 when done.
int Sync(const fs::path& path, int flags) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
  if (fd < 0) return errno;
  const int error = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return error;
}

}  // namespace

void SaveSceneSafely(TStage& stage, const fs::path& path) {
  const fs::path folder = path.has_parent_path() ? path.parent_path() : fs::path(".");
  // A hidden name of this process: a second studio saving the same scene does not write into it.
  const fs::path temp = folder / ("." + path.filename().string() + "." + std::to_string(getpid()) + ".saving");
  struct TCleanUp {
    const fs::path& Temp;
    bool Armed = true;
    ~TCleanUp() {
      std::error_code ec;
      if (Armed) fs::remove(Temp, ec);
    }
  } cleanUp{temp};

  // ---- The scene's text, under the temporary name.
  errno = 0;
  try {
    SaveSceneFile(stage, temp);
  } catch (const ESceneFileError& e) {
    const int error = errno;
    const std::string message = e.what();
    // The writer's own file failures come with the system's reason in errno; anything else (a
    // plug-in's object that cannot be written) says what it is itself.
    if (message.find("the scene file") != std::string::npos) Fail(path, "the file cannot be written", error);
    Fail(path, message, 0);
  }
  // ---- On the disk before it takes the old file's name.
  if (const int error = Sync(temp, 0)) Fail(path, "the file cannot be flushed to the disk", error);
  if (::rename(temp.c_str(), path.c_str()) != 0) Fail(path, "the old file cannot be replaced", errno);
  cleanUp.Armed = false;
  // The rename itself lasts only once the folder is on the disk; a file system that cannot flush
  // folders (EINVAL) keeps it all the same.
  if (const int error = Sync(folder, O_DIRECTORY); error && error != EINVAL)
    throw ESaveError("Saved " + path.string() + ", but its folder cannot be flushed to the disk: " + std::strerror(error));
}

}  // namespace stage::studio
