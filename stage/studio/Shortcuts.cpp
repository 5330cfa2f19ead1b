// The keyboard shortcuts of the studio and of the plug-in's windows.
#include "stage/studio/Shortcuts.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace stage::studio {

namespace {

// "Save &As..." -> "Save As...", "Topics && Contents" -> "Topics & Contents".
QString Plain(QString text) {
  text.replace("&&", QChar(0xE000));
  text.remove('&');
  text.replace(QChar(0xE000), "&");
  return text;
}

void Collect(const QString& window, const QString& path, QMenu* menu, std::vector<TShortcut>& out) {
  for (QAction* a : menu->actions()) {
    if (a->isSeparator()) continue;
    if (a->menu()) {
      Collect(window, path + " > " + Plain(a->menu()->title()), a->menu(), out);
      continue;
    }
    QStringList keys;
    for (const QKeySequence& k : a->shortcuts()) keys << k.toString(QKeySequence::PortableText);
    if (!keys.isEmpty()) out.push_back({window, path, Plain(a->text()), keys.join(" or ")});
  }
}

void CollectWindow(const QString& window, QMainWindow* w, std::vector<TShortcut>& out) {
  for (QAction* a : w->menuBar()->actions())
    if (a->menu()) Collect(window, Plain(a->menu()->title()), a->menu(), out);
}

}  // namespace

std::vector<TShortcut> Shortcuts(QMainWindow* studio) {
  std::vector<TShortcut> out;
  CollectWindow("Studio", studio, out);
  // The plug-in's windows: children of the studio (docked or floating) or windows of their own.
  QList<QMainWindow*> others = studio->findChildren<QMainWindow*>();
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* m = qobject_cast<QMainWindow*>(w); m && m != studio && !others.contains(m)) others << m;
  for (QMainWindow* m : others)
    if (m->menuBar() && !m->menuBar()->actions().isEmpty()) CollectWindow(m->windowTitle(), m, out);
  return out;
}

QString ShortcutTable(const std::vector<TShortcut>& shortcuts) {
  QString table = "| Window | Menu | Entry | Keys |\n|---|---|---|---|\n";
  for (const TShortcut& s : shortcuts) table += QString("| %1 | %2 | %3 | %4 |\n").arg(s.Window, s.Menu, s.Entry, s.Keys);
  return table;
}

QWidget* ShowShortcuts(QMainWindow* studio) {
  const std::vector<TShortcut> shortcuts = Shortcuts(studio);
  auto* dialog = new QDialog(studio);
  dialog->setObjectName("shortcutsDialog");
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(QObject::tr("Keyboard Shortcuts"));
  auto* layout = new QVBoxLayout(dialog);
  auto* table = new QTableWidget(static_cast<int>(shortcuts.size()), 4, dialog);
  table->setObjectName("shortcutsTable");
  table->setHorizontalHeaderLabels({QObject::tr("Window"), QObject::tr("Menu"), QObject::tr("Entry"), QObject::tr("Keys")});
  table->verticalHeader()->hide();
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  for (int row = 0; row < static_cast<int>(shortcuts.size()); ++row) {
    const TShortcut& s = shortcuts[row];
    const QString cells[] = {s.Window, s.Menu, s.Entry, s.Keys};
    for (int column = 0; column < 4; ++column) table->setItem(row, column, new QTableWidgetItem(cells[column]));
  }
  table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
  table->resizeColumnsToContents();
  table->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(table);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
  QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
  layout->addWidget(buttons);
  // Tall enough for every row where the screen allows.
  const int rows = table->verticalHeader()->defaultSectionSize() * table->rowCount() + table->horizontalHeader()->sizeHint().height();
  dialog->resize(560, std::min(rows + buttons->sizeHint().height() + 40, 760));
  dialog->show();
  return dialog;
}

}  // namespace stage::studio
