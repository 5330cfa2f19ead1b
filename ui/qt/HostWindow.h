// The host's main window, which the plug-in's windows and dialogs float above and go with.
#pragma once

class QWidget;

// The host's main window as a widget (the answer of tsxGetMainViewHwnd, looked up by name), or
// null in a host without one; valid only in a host whose window system is "qt", the only host
// that loads this module.
QWidget* HostMainWindow();
