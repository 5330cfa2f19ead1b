// What makes vantrel.tsx a loaded module: the start-up hook the exports run at their first call
// (the module's objects are then made after every static object of the module, and go before
// them), and the platform of a host without a desktop: messages go to the standard error.
#include <cstdio>
#include <memory>

#include "host/Platform.h"
#include "host/VantrelPlugin.h"

namespace {

// A host without windows: what a message box would show is printed, and still recorded.
class TConsolePlatform : public THeadlessPlatform {
 public:
  void ShowMessage(const std::string& text) override {
    THeadlessPlatform::ShowMessage(text);
    std::fprintf(stderr, "Vantrel: %s\n", text.c_str());
  }
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
