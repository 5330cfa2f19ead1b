// The studio from the keyboard: the main shortcuts pressed as keys do what their entries do, and
// the shortcuts the Help menu lists are the ones docs/keyboard.md shows and the actions have.
#include <QAbstractButton>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QDockWidget>
#include <QtTest>
#include <algorithm>
#include <functional>

#include "stage/Stage.h"
#include "stage/studio/MainWindow.h"
#include "stage/studio/Outliner.h"
#include "stage/studio/PluginHost.h"
#include "stage/studio/RenderWindow.h"
#include "stage/studio/Shortcuts.h"
#include "stage/studio/StudioView.h"
#include "stage/studio/Timeline.h"
#include "stage/studio/TransformPanel.h"

using namespace stage;
using namespace stage::studio;

namespace {

const QString kExample = EXAMPLES_DIR "/fountain/scene.json";
const QString kDoc = SOURCE_DIR "/docs/keyboard.md";
const QString kBegin = "<!-- shortcuts: made from the studio's menus by the studio_keyboard_tests -->\n";
const QString kEnd = "<!-- end of shortcuts -->";

// Answers the modal dialogs that open: message boxes with a button, file dialogs with a file.
struct TAnswerer {
  QMessageBox::StandardButton Button = QMessageBox::NoButton;
  QString File;
  int Answered = 0;
  QTimer Timer;
  TAnswerer() {
    QObject::connect(&Timer, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* box = qobject_cast<QMessageBox*>(modal); box && box->button(Button)) {
        ++Answered;
        box->button(Button)->click();
      } else if (auto* files = qobject_cast<QFileDialog*>(modal); files && !File.isEmpty()) {
        ++Answered;
        files->selectFile(File);
        QMetaObject::invokeMethod(files, "accept");
      }
    });
    Timer.start(10);
  }
};

int NodeCount() {
  int n = 0;
  Stage().Scene.ForEach([&](TNode&) { ++n; });
  return n;
}

}  // namespace

class TKeyboardTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TMainWindow> Window;
  QTemporaryDir Temp;

  // The plug-in's panel, shown as its button shows it (docked in the studio's window).
  QMainWindow* Panel() {
    auto* panel = Window->findChild<QMainWindow*>("VantrelMainPanel");
    if (panel && !panel->isVisible()) Window->PluginLeftClick();
    return panel && panel->isVisible() ? panel : nullptr;
  }

  // Presses keys with the focus on a widget, its window active (a window closed a moment ago
  // may hand the activation to another one late).
  void Press(QWidget* focus, QKeySequence keys) {
    QWidget* window = focus->window();
    for (int i = 0; i < 100 && (QApplication::activeWindow() != window || QApplication::focusWidget() != focus); ++i) {
      window->activateWindow();
      focus->setFocus();
      QTest::qWait(10);
    }
    QVERIFY2(QApplication::focusWidget() == focus, qPrintable(focus->objectName()));
    if (!keys.isEmpty()) QTest::keySequence(focus, keys);
  }

 private slots:
  void initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    qputenv("VANTREL_RECOVERY_SECONDS", "0");
    Window = std::make_unique<TMainWindow>();
    Window->SetPlugin(LoadStudioPlugin(REAL_PLUGIN));
    Window->show();
    QVERIFY(QTest::qWaitForWindowActive(Window.get()));
  }

  // The document keys: Ctrl+S saves to the scene's file, Ctrl+Shift+S to a file the dialog
  // names, Ctrl+O opens what the dialog names, Ctrl+N asks about unsaved changes and starts an
  // empty scene.
  void documentKeys() {
    const QString path = Temp.filePath("scene.json"), other = Temp.filePath("other.json");
    QVERIFY(QFile::copy(kExample, path));
    QVERIFY(Window->OpenScene(path));
    Window->AddPrimitive(static_cast<int>(TPrimitive::Box));
    const int nodes = NodeCount();
    QVERIFY(Window->Modified());
    Press(Window->View(), QKeySequence("Ctrl+S"));
    QVERIFY(!Window->Modified());
    {
      QFile saved(path);
      QVERIFY(saved.open(QIODevice::ReadOnly));
      QVERIFY(saved.readAll().contains("\"Box\""));
    }
    {
      TAnswerer answer;
      answer.File = other;
      Press(Window->View(), QKeySequence("Ctrl+Shift+S"));
      QCOMPARE(answer.Answered, 1);
    }
    QCOMPARE(Window->DocumentPath(), other);
    QVERIFY(QFile::exists(other));
    Window->AddPrimitive(static_cast<int>(TPrimitive::Sphere));
    {
      TAnswerer answer;
      answer.Button = QMessageBox::Discard;
      Press(Window->View(), QKeySequence("Ctrl+N"));
      QCOMPARE(answer.Answered, 1);
    }
    QCOMPARE(NodeCount(), 0);
    QVERIFY(Window->DocumentPath().isEmpty());
    {
      TAnswerer answer;
      answer.File = path;
      Press(Window->View(), QKeySequence("Ctrl+O"));
      QCOMPARE(answer.Answered, 1);
    }
    QCOMPARE(Window->DocumentPath(), path);
    QCOMPARE(NodeCount(), nodes);  // with the box Ctrl+S saved
  }

  // In the view, Space plays and stops the timeline and Home goes back to the first frame; in
  // the outliner F2 renames and Delete deletes; F12 renders the frame anywhere in the window.
  void viewOutlinerAndRenderKeys() {
    QVERIFY(Window->OpenScene(kExample));
    TStudioView* view = Window->View();
    Press(view, QKeySequence(Qt::Key_Space));
    QVERIFY(Window->Timeline()->Playing());
    QTest::qWait(120);
    QVERIFY(Window->Timeline()->Frame() > 0);
    Press(view, QKeySequence(Qt::Key_Space));
    QVERIFY(!Window->Timeline()->Playing());
    Press(view, QKeySequence(Qt::Key_Home));
    QCOMPARE(Window->Timeline()->Frame(), static_cast<int>(Stage().Render.FirstFrame));
    QCOMPARE(Stage().Scene.Time(), Stage().Render.FirstFrame);

    TOutliner* outliner = Window->Outliner();
    TNode* floor = Stage().Scene.FindByName("Floor");
    QVERIFY(floor);
    outliner->setCurrentItem(outliner->ItemOf(floor));
    Press(outliner, QKeySequence(Qt::Key_F2));
    QWidget* editor = QApplication::focusWidget();
    QVERIFY(qobject_cast<QLineEdit*>(editor) && outliner->isAncestorOf(editor));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    const int nodes = NodeCount();
    outliner->setCurrentItem(outliner->ItemOf(Stage().Scene.FindByName("Floor")));
    Press(outliner, QKeySequence(QKeySequence::Delete));
    QCOMPARE(NodeCount(), nodes - 1);
    QVERIFY(!Stage().Scene.FindByName("Floor"));

    Window->RenderWindow()->close();
    Press(outliner, QKeySequence(Qt::Key_F12));
    QVERIFY(Window->RenderWindow()->isVisible());
    QVERIFY(!Window->RenderWindow()->Image().isNull());
    Window->RenderWindow()->close();
  }

  // The plug-in's panel takes its edits back and forth with Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y: a
  // system's radius typed on its page.
  void undoRedoKeys() {
    QVERIFY(Window->OpenScene(kExample));
    QMainWindow* panel = Panel();
    QVERIFY(panel);
    auto* tree = panel->findChild<QTreeWidget*>("EmitterTree");
    QVERIFY(tree && tree->topLevelItemCount() > 0 && tree->topLevelItem(0)->childCount() > 0);
    tree->setCurrentItem(tree->topLevelItem(0)->child(0));
    auto* radius = panel->findChild<QDoubleSpinBox*>("RadiusSpin");
    QVERIFY(radius);
    const double before = radius->value(), after = before + 1.5;
    radius->setValue(after);
    const struct {
      const char* keys;
      double radius;
    } steps[] = {{"Ctrl+Z", before}, {"Ctrl+Shift+Z", after}, {"Ctrl+Z", before}, {"Ctrl+Y", after}};
    for (const auto& step : steps) {
      Press(tree, QKeySequence(step.keys));
      QVERIFY2(radius->value() == step.radius, step.keys);
    }
  }

  // Tab reaches every control shown in the studio's window and in each page of the panel, comes
  // back to where it started, and goes as the window reads: in the studio the outliner, the
  // transform panel, the view, the timeline from left to right; in the panel's one column from
  // top to bottom, each row from left to right.
  void tabOrder() {
    QVERIFY(Window->OpenScene(kExample));
    Stage().Scene.Select(Stage().Scene.FindByName("Floor"));
    tsxAViewRefresh();  // the transform panel shows the selection, its fields enabled
    QMainWindow* panel = Panel();
    QVERIFY(panel);
    // The studio's window walked alone, then the panel's pages in its dock floated as a window
    // of its own (docked, its controls come after the studio's in the window's walk).
    auto* dock = Window->findChild<QDockWidget*>("VantrelPanelDock");
    QVERIFY(dock);
    auto* tabs = panel->findChild<QTabBar*>("TabControl1");
    auto* fold = panel->findChild<QToolButton*>("PropertiesFoldButton");
    QVERIFY(tabs && fold);
    if (!fold->isChecked()) fold->click();
    const struct {
      const char* name;
      QWidget* window;
      std::function<void()> show;
    } pages[] = {
        {"studio", Window.get(), [&] { dock->hide(); }},
        {"emitters", dock, [&] { dock->setFloating(true); dock->show(); tabs->setCurrentIndex(0); }},
        {"tools", dock, [&] { tabs->setCurrentIndex(1); }},
    };
    for (const auto& page : pages) {
      page.show();
      QTest::qWait(20);
      QWidget* window = page.window;
      QList<QWidget*> controls;
      for (QWidget* w : window->findChildren<QWidget*>())
        if (w->window() == window && w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy())
          controls << w;
      QVERIFY(!controls.isEmpty());
      // The walk starts at the first control in reading order: the top row's leftmost.
      auto at = [&](QWidget* w) { return w->mapTo(window, QPoint()); };
      const int top = at(*std::min_element(controls.begin(), controls.end(), [&](QWidget* a, QWidget* b) { return at(a).y() < at(b).y(); })).y();
      QWidget* first = nullptr;
      for (QWidget* w : controls)
        if (at(w).y() <= top + 8 && (!first || at(w).x() < at(first).x())) first = w;
      controls.removeOne(first);
      controls.prepend(first);
      Press(controls.front(), QKeySequence());
      QList<QWidget*> visited;
      for (int i = 0; i < 400; ++i) {
        QWidget* at = QApplication::focusWidget();
        if (!visited.isEmpty() && at == visited.front()) break;
        visited << at;
        QTest::keyClick(at, Qt::Key_Tab);
      }
      QVERIFY2(QApplication::focusWidget() == visited.front(), page.name);
      QStringList missed;
      for (QWidget* w : controls)
        if (!visited.contains(w)) missed << QString("%1 (%2)").arg(w->objectName(), w->metaObject()->className());
      QVERIFY2(missed.isEmpty(), qPrintable(QString("%1: Tab misses %2").arg(page.name, missed.join(", "))));
      auto name = [&](QWidget* w) {
        const QPoint p = w->mapTo(window, QPoint());
        return QString("%1 (%2) at %3,%4").arg(w->objectName(), w->metaObject()->className()).arg(p.x()).arg(p.y());
      };
      if (window == Window.get()) {
        QWidget* expected[] = {Window->Outliner(), Window->TransformPanel()->Field(0, 0), Window->TransformPanel()->SetKeyButton(),
                               Window->View(), Window->Timeline()->PlayButton(), Window->Timeline()->FrameField(),
                               Window->Timeline()->Slider()};
        for (size_t i = 1; i < std::size(expected); ++i)
          QVERIFY2(visited.indexOf(expected[i - 1]) < visited.indexOf(expected[i]), qPrintable(name(expected[i])));
        continue;
      }
      for (qsizetype i = 1; i < visited.size(); ++i) {
        const QPoint a = visited[i - 1]->mapTo(window, QPoint()), b = visited[i]->mapTo(window, QPoint());
        const bool down = b.y() > a.y() + 8, sameRowRight = std::abs(b.y() - a.y()) <= 8 && b.x() > a.x();
        QVERIFY2(down || sameRowRight, qPrintable(QString("%1: %2 then %3").arg(page.name, name(visited[i - 1]), name(visited[i]))));
      }
    }
    dock->setFloating(false);
  }

  // Help > Keyboard Shortcuts lists every entry with a shortcut, the studio's and the panel's,
  // and docs/keyboard.md holds the same table. VANTREL_UPDATE_DOCS=1 writes the table there.
  void helpAndDocsListTheRealShortcuts() {
    QVERIFY(Window->OpenScene(kExample));  // an empty history: the panel's entries read "Undo", "Redo"
    QVERIFY(Panel());
    const std::vector<TShortcut> shortcuts = Shortcuts(Window.get());
    auto has = [&](const QString& entry, const QString& keys) {
      return std::any_of(shortcuts.begin(), shortcuts.end(), [&](const TShortcut& s) { return s.Entry == entry && s.Keys == keys; });
    };
    QVERIFY(has("Render Frame", "F12"));
    QVERIFY(has("Save As...", "Ctrl+Shift+S"));
    QVERIFY(has("Play/Stop", "Space"));
    QVERIFY(has("Redo", "Ctrl+Shift+Z or Ctrl+Y"));

    QAction* entry = nullptr;
    for (QAction* menu : Window->menuBar()->actions())
      for (QAction* a : menu->menu()->actions())
        if (a->text() == "&Keyboard Shortcuts") entry = a;
    QVERIFY(entry);
    entry->trigger();
    auto* dialog = Window->findChild<QDialog*>("shortcutsDialog");
    QVERIFY(dialog && dialog->isVisible());
    auto* table = dialog->findChild<QTableWidget*>("shortcutsTable");
    QCOMPARE(table->rowCount(), static_cast<int>(shortcuts.size()));
    for (int row = 0; row < table->rowCount(); ++row) {
      QCOMPARE(table->item(row, 2)->text(), shortcuts[row].Entry);
      QCOMPARE(table->item(row, 3)->text(), shortcuts[row].Keys);
    }
    dialog->grab().save(QString(SCREENSHOT_DIR "/shortcuts-dialog.png"));
    dialog->close();

    const QString table_ = ShortcutTable(shortcuts);
    QFile doc(kDoc);
    QVERIFY(doc.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(doc.readAll());
    doc.close();
    const qsizetype begin = text.indexOf(kBegin), end = text.indexOf(kEnd);
    QVERIFY2(begin >= 0 && end > begin, "docs/keyboard.md has lost its markers");
    const QString documented = text.mid(begin + kBegin.size(), end - begin - kBegin.size());
    if (documented != table_ && qEnvironmentVariableIsSet("VANTREL_UPDATE_DOCS")) {
      text.replace(begin + kBegin.size(), end - begin - kBegin.size(), table_);
      QVERIFY(doc.open(QIODevice::WriteOnly | QIODevice::Truncate));
      doc.write(text.toUtf8());
      return;
    }
    QVERIFY2(documented == table_, qPrintable("docs/keyboard.md differs from the studio's shortcuts; they are now:\n" + table_));
  }

  void cleanupTestCase() {
    Window->NewScene();
    Window.reset();
  }
};

QTEST_MAIN(TKeyboardTest)
#include "KeyboardTest.moc"
