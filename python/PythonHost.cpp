// The Python module's host: the plug-in started in-process over the stage library.
#include "python/PythonHost.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <system_error>

#include "engine/Errors.h"
#include "hostapi/Platform.h"
#include "plugin/tsxPlug.h"
#include "stage/Stage.h"

namespace {

// A host without windows, as the command-line host's: what the plug-in shows goes to the stage,
// where the module reads it after each call, and a question is answered No, and said, so that a
// result made without what was asked about is not taken for a good one.
class TScriptPlatform : public THeadlessPlatform {
 public:
  void ShowMessage(const std::string& text) override {
    THeadlessPlatform::ShowMessage(text);
    tsxHostShowMessage(text.c_str());
  }
  bool Confirm(const std::string& text) override {
    THeadlessPlatform::Confirm(text);
    ShowMessage(text + " No: there is no one to answer here.");
    return false;
  }
  void SetStatusText(const std::string& text) override {
    THeadlessPlatform::SetStatusText(text);
    tsxHostShowStatus(text.c_str());
  }
};

}  // namespace

std::string FindDataFolder(const std::filesystem::path& modulePath) {
  std::error_code ec;
  const std::filesystem::path beside = modulePath.parent_path() / "Vantrel";
  if (std::filesystem::is_directory(beside, ec)) return beside.string() + "/";
#ifdef VANTREL_BUILD_DATA_DIR
  if (std::filesystem::is_directory(VANTREL_BUILD_DATA_DIR, ec)) return std::string(VANTREL_BUILD_DATA_DIR) + "/";
#endif
  return {};
}

TPythonHost& TPythonHost::Get() {
  // Made on first use and kept until the program ends, as the command-line host keeps the
  // loaded plug-in.
  static TPythonHost host;
  return host;
}

TPythonHost::TPythonHost() {
  Dl_info info{};
  std::string modulePath;
  if (dladdr(reinterpret_cast<void*>(&FindDataFolder), &info) && info.dli_fname) modulePath = info.dli_fname;
  DataFolder_ = FindDataFolder(modulePath);
  if (DataFolder_.empty())
    throw EVantrelError("The plug-in's data folder (Vantrel/ beside the module " + modulePath +
                        ") is missing: build the target vantrel_python, or install the module with cmake --install");

  std::string pattern = (std::filesystem::temp_directory_path() / "vantrel-python-XXXXXX").string();
  if (!mkdtemp(pattern.data()))
    throw EVantrelError("Cannot make a temporary folder for scenes: " + std::string(std::strerror(errno)));
  SpareFolder_ = pattern;

  // The start-up of the loaded module, then the host's calls at load: version, data (which
  // defines the object types and subscribes the render events) and the first click (which
  // registers the post-process shader and switches final rendering on).
  InstallPlatform(std::make_unique<TScriptPlatform>());
  Plugin_ = std::make_unique<TVantrelPlugin>(DataFolder_);
  tsxGetVersion();
  tsxPLUGINDATA record;
  std::memset(&record, 0, sizeof record);
  tsxGetData(&record, 1);
  tsxOnLeftClick();
  MessagesSeen_ = stage::Stage().PluginMessages.size();
}

TPythonHost::~TPythonHost() {
  std::error_code ec;
  std::filesystem::remove_all(SpareFolder_, ec);
}

void TPythonHost::ResetRenderSwitches() {
  TMain& main = Plugin_->Main;
  main.Switches.DepthDithering = false;
  main.Switches.SoftIntersections = false;
  main.Switches.SoftDistance = 1;
  // The renderer takes them when a scene's switches are applied, which a scene without any skips.
  main.Renderer.DepthDithering = false;
  main.Renderer.SoftDistance = 0;
  if (!main.Switches.EnableRendering && main.Switches.SwitchPostProcess) main.Switches.EnableRendering = main.Switches.SwitchPostProcess(true);
}

std::vector<std::string> TPythonHost::TakeMessages() {
  const auto& all = stage::Stage().PluginMessages;
  if (MessagesSeen_ > all.size()) MessagesSeen_ = 0;
  std::vector<std::string> fresh(all.begin() + static_cast<long>(MessagesSeen_), all.end());
  MessagesSeen_ = all.size();
  return fresh;
}
