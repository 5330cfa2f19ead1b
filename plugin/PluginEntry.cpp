// What makes vantrel.tsx a loaded module: the start-up hook the exports run at their first call
// (the module's objects are then made after every static object of the module, and go before
// them), and the platform of a host without a desktop: messages go to the standard error.
#include <dlfcn.h>

#include <cstdio>
#include <memory>

#include "hostapi/Platform.h"
#include "plugin/VantrelPlugin.h"

namespace {

using THostText = void (*)(const char*);

THostText HostFunction(const char* name) {
  return reinterpret_cast<THostText>(dlsym(RTLD_DEFAULT, name));
}

// A host without windows: the status line and the messages go to the host when it takes them
// (the stage's command line shows them with its progress), else messages are printed. Both are
// still recorded.
class TConsolePlatform : public THeadlessPlatform {
 public:
  void ShowMessage(const std::string& text) override {
    THeadlessPlatform::ShowMessage(text);
    if (ShowHostMessage)
      ShowHostMessage(text.c_str());
    else
      std::fprintf(stderr, "Vantrel: %s\n", text.c_str());
  }
  void SetStatusText(const std::string& text) override {
    THeadlessPlatform::SetStatusText(text);
    if (ShowHostStatus) ShowHostStatus(text.c_str());
  }

 private:
  THostText ShowHostMessage = HostFunction("tsxHostShowMessage");
  THostText ShowHostStatus = HostFunction("tsxHostShowStatus");
};

void StartUp() {
  InstallPlatform(std::make_unique<TConsolePlatform>());
  static TVantrelPlugin plugin(DataFolderOf(HostFolder()));
}

const bool Installed = [] {
  PlugState().StartUp = &StartUp;
  return true;
}();

}  // namespace

// Referenced by the link so that this unit is part of every build of the module.
extern "C" int vantrelPluginEntryInstalled() { return Installed ? 1 : 0; }
