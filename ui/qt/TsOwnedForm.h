// TTsOwnedForm: the base of the plug-in's windows in a Qt host. Its window is owned by the host's
// main window (the answer of tsxGetMainViewHwnd, looked up by name at the first creation): it
// stays above that window, hides and shows with it, and goes when it goes. A host without a main
// window (or without tsxGetMainViewHwnd) leaves the form a window of its own.
//
// Freeing: when the owner's window is destroyed, Qt deletes its owned windows; the form then
// marks itself as freeing (Freeing()) before its members go, so code it calls back can tell.
// Deleting the form itself takes Qt's normal course.
#pragma once

#include <QWidget>

class TTsOwnedForm : public QWidget {
  Q_OBJECT
 public:
  explicit TTsOwnedForm(Qt::WindowFlags flags = Qt::Window);
  ~TTsOwnedForm() override;

  bool Freeing() const { return Freeing_; }

  // The host's main window as a widget, or null; valid only in a host whose window system is
  // "qt" (the only host that loads this module).
  static QWidget* HostMainWindow();

 private:
  bool Freeing_ = false;
};
