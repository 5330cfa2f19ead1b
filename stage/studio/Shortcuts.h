// The keyboard shortcuts of the studio and of the plug-in's windows, read from the actions of
// their menus, so that the Help list and the table in docs/keyboard.md say what the keys do now.
#pragma once

#include <QString>
#include <vector>

class QMainWindow;
class QWidget;

namespace stage::studio {

struct TShortcut {
  QString Window;  // "Studio", or the title of the plug-in's window
  QString Menu;    // the menu path, "File" or "File > Open Recent"
  QString Entry;   // the entry's text without its mnemonic
  QString Keys;    // "Ctrl+S", several joined by " or "
};

// Every menu entry with a shortcut, in menu order: the studio's, then those of the other main
// windows of the application (the plug-in's panel) in the order Qt lists them.
std::vector<TShortcut> Shortcuts(QMainWindow* studio);

// The shortcuts as a Markdown table: Window, Menu, Entry, Keys.
QString ShortcutTable(const std::vector<TShortcut>& shortcuts);

// Shows the shortcuts in a dialog of their own (object name "shortcutsDialog"); it closes
// itself and is deleted when closed.
QWidget* ShowShortcuts(QMainWindow* studio);

}  // namespace stage::studio
