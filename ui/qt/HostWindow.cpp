// The host's main window, looked up by name once, as the host offers it.
#include "ui/qt/HostWindow.h"

#include <dlfcn.h>

#include <QWidget>

QWidget* HostMainWindow() {
  using TMainViewHwndFunc = void* (*)();
  static const auto f = reinterpret_cast<TMainViewHwndFunc>(dlsym(RTLD_DEFAULT, "tsxGetMainViewHwnd"));
  return f ? static_cast<QWidget*>(f()) : nullptr;
}
