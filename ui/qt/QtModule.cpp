// vantrel-qt.so: the plug-in's Qt part, a module of its own in the plug-in's data folder that the
// plug-in loads only in a host whose windowing system is Qt. It hands the plug-in its platform
// and makes the main panel's view over the controller the plug-in hands it.
#include <QApplication>

#include "ui/qt/MainForm.h"
#include "ui/qt/QtPlatform.h"
#include "ui/qt/HostWindow.h"

namespace {

bool QtRuns() { return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr; }

}  // namespace

// A new platform owned by the caller, or null when the program runs no QApplication.
extern "C" __attribute__((visibility("default"))) TPlatform* vantrelCreateQtPlatform() {
  if (!QtRuns()) return nullptr;
  try {
    return new TQtPlatform;
  } catch (...) {
    return nullptr;
  }
}

// The main panel (with its shuttle) over the controller, hidden, owned by the host's main window
// and freed with it (or a window of its own in a host without one). It attaches itself to the
// controller as its view, and detaches when it goes. Answers the view, or null when the program
// runs no QApplication or the panel cannot be made.
extern "C" __attribute__((visibility("default"))) TMainPanelView* vantrelCreateMainPanel(
    TMainPanelController* controller) {
  if (!QtRuns() || !controller) return nullptr;
  try {
    return CreateMainPanel(*controller, HostMainWindow()).release();
  } catch (...) {
    return nullptr;
  }
}
