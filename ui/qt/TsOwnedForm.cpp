// Windows owned by the host's main window.
#include "ui/qt/TsOwnedForm.h"

#include <dlfcn.h>

namespace {

using TMainViewHwndFunc = void* (*)();

// Looked up by name once, as the host offers it.
TMainViewHwndFunc MainViewHwndFunc() {
  static const TMainViewHwndFunc f = reinterpret_cast<TMainViewHwndFunc>(dlsym(RTLD_DEFAULT, "tsxGetMainViewHwnd"));
  return f;
}

}  // namespace

QWidget* TTsOwnedForm::HostMainWindow() {
  const TMainViewHwndFunc f = MainViewHwndFunc();
  return f ? static_cast<QWidget*>(f()) : nullptr;
}

TTsOwnedForm::TTsOwnedForm(Qt::WindowFlags flags) : QWidget(HostMainWindow(), flags | Qt::Window) {}

TTsOwnedForm::~TTsOwnedForm() { Freeing_ = true; }
