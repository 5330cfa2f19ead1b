// vantrel-qt.so: the plug-in's Qt part, a module of its own in the plug-in's data folder that the
// plug-in loads only in a host whose windowing system is Qt. It hands the plug-in its platform.
#include <QApplication>

#include "ui/qt/QtPlatform.h"

// A new platform owned by the caller, or null when the program runs no QApplication.
extern "C" __attribute__((visibility("default"))) TPlatform* vantrelCreateQtPlatform() {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
  try {
    return new TQtPlatform;
  } catch (...) {
    return nullptr;
  }
}
