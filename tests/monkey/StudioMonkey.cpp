// A seeded random walk over the studio with the real plug-in, on Qt's offscreen platform: each
// step picks one thing a user could do (a click on an enabled control of the plug-in's panel, a
// row of its trees and lists, a tab, a value typed into a field, in range or far out of it, a
// combo box choice, clicks, double clicks and drags in the curve and gradient editors, a menu
// entry, undo and redo, Play/Stop/Rewind, the outliner selecting, the host deleting the selected
// object, a frame on the timeline, save and reopen) and does it. Every step is logged with its
// number, so that a failure is replayed with the same seed and length.
//
// What must hold: the process survives every step (built with the sanitizers, any report ends
// it); every saved scene opens again and renders. A second walk, of panel edits alone, ends by
// undoing every step the panel's Edit menu offers: the emitters' and tools' settings are then
// what they were before it. Host-side changes (deleting an object, also with the Delete key in
// the panel's lists, a new emitter or tool, which is a new scene object) and reopening a scene
// are not the panel's steps to take back, so that walk leaves them out; the render switches are
// the scene's, written through the host, and not compared.
//
//   studio_monkey [--seed N] [--steps N] [--undo-steps N]
#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "stage/Stage.h"
#include "stage/studio/MainWindow.h"
#include "stage/studio/Outliner.h"
#include "stage/studio/PluginHost.h"
#include "stage/studio/RenderWindow.h"
#include "stage/studio/Timeline.h"

using namespace stage;
using namespace stage::studio;

namespace {

QString Example(const char* name) { return QString(EXAMPLES_DIR "/%1/scene.json").arg(name); }

// What the walk is about to do, and what it counts.
struct TAction {
  const char* Name;
  int Weight;
  bool PanelOnly;  // an edit of the panel's, taken back by its Edit menu
  std::function<bool()> Run;  // false when there was nothing to act on
};

class TMonkey {
 public:
  TMonkey(unsigned seed) : Seed_(seed), Rng_(seed) {
    Window_ = std::make_unique<TMainWindow>();
    Window_->resize(1200, 800);
    Window_->SetPlugin(LoadStudioPlugin(REAL_PLUGIN));
    Window_->show();
    if (!QTest::qWaitForWindowExposed(Window_.get())) Fail("the studio window was not shown");
    // Modal dialogs (file choosers, questions, messages) and popup menus that an action opens are
    // answered with Cancel/Escape; a preview run is stopped after a short while.
    WatchDialogs(Guard_);
    Guard_.start(10);
  }

  ~TMonkey() {
    Guard_.stop();
    Window_->NewScene();
    Window_.reset();
  }

  // The walk with every action; false when something that must hold did not.
  bool Walk(int steps) {
    if (!Open(Example("fountain"))) return false;
    const std::vector<TAction> actions = Actions();
    for (int i = 0; i < steps && Ok_; ++i) RunOne(actions, false);
    return Ok_;
  }

  // The walk of panel edits alone, then undo until the panel has nothing left to undo.
  bool UndoWalk(int steps) {
    if (!Open(Example("fountain"))) return false;
    const QByteArray before = PluginState();
    if (before.isEmpty()) return Fail("the scene's plug-in settings could not be read");
    const std::vector<TAction> actions = Actions();
    for (int i = 0; i < steps && Ok_; ++i) RunOne(actions, true);
    if (!Ok_) return false;
    ++Step_;
    int undone = 0;
    for (QAction* undo = Entry("Undo"); undo && undo->isEnabled() && undone < 1000; ++undone) undo->trigger();
    Log(QString("undo all: %1 steps taken back").arg(undone));
    if (undone >= 100) Log("the walk made more steps than the panel keeps; the settings are not compared");
    if (undone >= 100) return true;
    const QByteArray after = PluginState();
    if (after != before) {
      Dump("undo-before.json", before);
      Dump("undo-after.json", after);
      return Fail(QString("after undoing every step the plug-in's settings differ from the first ones (%1 and %2 in %3)")
                      .arg("undo-before.json", "undo-after.json", QDir::currentPath()));
    }
    return Ok_;
  }

  int Steps() const { return Step_; }

 private:
  // ---- The walk.

  void RunOne(const std::vector<TAction>& actions, bool panelOnly) {
    ++Step_;
    UndoWalk_ = panelOnly;
    Stopped_ = false;
    // An action with nothing to act on (no field shown, nothing to undo) is drawn again.
    for (int tries = 0; tries < 50; ++tries)
      if (TryOne(actions, panelOnly)) return;
    Log("nothing to do");
  }

  bool TryOne(const std::vector<TAction>& actions, bool panelOnly) {
    int total = 0;
    for (const TAction& a : actions)
      if (!panelOnly || a.PanelOnly) total += a.Weight;
    int pick = Pick(total);
    for (const TAction& a : actions) {
      if (panelOnly && !a.PanelOnly) continue;
      if (pick < a.Weight) {
        ActionStart_.start();
        Panel();  // the panel stays shown: a control may hide it
        const bool acted = a.Run();
        QApplication::processEvents();
        return acted;
      }
      pick -= a.Weight;
    }
    return false;
  }

  std::vector<TAction> Actions() {
    return {
        {"click", 12, true, [this] { return ClickControl(); }},
        {"tree", 10, true, [this] { return TreeRow(); }},
        {"page", 6, true, [this] { return OpenPage(); }},
        {"list", 3, true, [this] { return ListRow(); }},
        {"tab", 5, true, [this] { return Tab(); }},
        {"type", 10, true, [this] { return TypeValue(); }},
        {"combo", 6, true, [this] { return Combo(); }},
        {"chart", 10, true, [this] { return Chart(); }},
        {"menu", 4, false, [this] { return MenuItem(); }},
        {"undo", 5, true, [this] { return UndoRedo("Undo"); }},
        {"redo", 3, true, [this] { return UndoRedo("Redo"); }},
        {"preview", 2, true, [this] { return Preview(); }},
        {"outliner", 4, true, [this] { return OutlinerSelect(); }},
        {"frame", 2, true, [this] { return Frame(); }},
        {"delete", 1, false, [this] { return HostDelete(); }},
        {"save", 1, false, [this] { return SaveAndReopen(); }},
    };
  }

  // Visible, enabled widgets of a kind inside the panel.
  template <typename T>
  std::vector<T*> Live(QWidget* in = nullptr) {
    std::vector<T*> live;
    QWidget* root = in ? in : Panel();
    if (!root) return live;
    for (T* w : root->template findChildren<T*>())
      if (w->isVisible() && w->isEnabled() && w->width() > 0 && w->height() > 0) live.push_back(w);
    return live;
  }

  bool ClickControl() {
    std::vector<QAbstractButton*> buttons = Live<QAbstractButton>();
    if (buttons.empty()) return false;
    QAbstractButton* b = buttons[Pick(int(buttons.size()))];
    Log(QString("click %1 \"%2\"").arg(Name(b), b->text()));
    QTest::mouseClick(b, Qt::LeftButton, {}, b->rect().center());
    return true;
  }

  bool TreeRow() {
    std::vector<QTreeWidget*> trees = Live<QTreeWidget>();
    if (trees.empty()) return false;
    QTreeWidget* tree = trees[Pick(int(trees.size()))];
    std::vector<QTreeWidgetItem*> rows;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
      bool shown = !(*it)->isHidden();
      for (QTreeWidgetItem* p = (*it)->parent(); p && shown; p = p->parent()) shown = p->isExpanded();
      if (shown) rows.push_back(*it);
    }
    if (rows.empty()) return false;
    const int row = Pick(int(rows.size()));
    QTreeWidgetItem* item = rows[row];
    tree->scrollToItem(item);
    const QPoint at = tree->visualItemRect(item).center();
    // The Delete key deletes the object of an emitter or tool row: a scene object, the host's.
    const int how = Pick(UndoWalk_ ? 6 : 8);
    static const char* const hows[] = {"click", "click", "click", "double click", "space", "F2 rename", "arrow key", "delete key"};
    Log(QString("tree %1 row %2 \"%3\": %4").arg(Name(tree)).arg(row).arg(item->text(0), hows[how]));
    switch (how) {
      case 3: QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at); break;
      case 4: tree->setCurrentItem(item); QTest::keyClick(tree, Qt::Key_Space); break;
      case 5: {
        tree->setCurrentItem(item);
        tree->setFocus();
        QTest::keyClick(tree, Qt::Key_F2);
        if (auto* field = tree->findChild<QLineEdit*>(); field && field->isVisible()) {
          field->selectAll();
          QTest::keyClicks(field, Texts()[Pick(int(Texts().size()))]);
          QTest::keyClick(field, Qt::Key_Return);
        }
        break;
      }
      case 7: tree->setCurrentItem(item); QTest::keyClick(tree, Qt::Key_Delete); break;
      case 6: {
        static const Qt::Key keys[] = {Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right};
        tree->setFocus();
        QTest::keyClick(tree, keys[Pick(4)]);
        break;
      }
      default: QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
    }
    return true;
  }

  // The pages deep in the panel (a system's curve, a tool's settings) are a few clicks away: the
  // row of an emitter or system, the properties unfolded, a row of the properties tree.
  bool OpenPage() {
    QMainWindow* panel = Panel();
    auto* tabs = panel ? panel->findChild<QTabBar*>("TabControl1") : nullptr;
    if (!tabs) return false;
    const int page = Pick(2);
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(page).center());
    auto* list = panel->findChild<QTreeWidget*>(page == 0 ? "EmitterTree" : "ToolObjectsListView");
    auto* props = panel->findChild<QTreeWidget*>(page == 0 ? "PropsTree" : "ToolPropsTree");
    if (!list || !props) return false;
    std::vector<QTreeWidgetItem*> rows;
    for (QTreeWidgetItemIterator it(list); *it; ++it) rows.push_back(*it);
    if (rows.empty()) return false;
    QTreeWidgetItem* row = rows[Pick(int(rows.size()))];
    list->setCurrentItem(row);
    if (page == 0) {
      auto* fold = panel->findChild<QToolButton*>("PropertiesFoldButton");
      if (fold && !fold->isChecked()) fold->click();
    } else if (auto* fold = panel->findChild<QWidget*>("ToolPropsFold"); fold && !fold->isVisible()) {
      if (auto* header = panel->findChild<QAbstractButton*>("ToolPropsFoldHeader")) header->click();
    }
    QApplication::processEvents();
    std::vector<QTreeWidgetItem*> pages;
    for (QTreeWidgetItemIterator it(props); *it; ++it) pages.push_back(*it);
    if (pages.empty() || !props->isVisible()) return false;
    QTreeWidgetItem* shown = pages[Pick(int(pages.size()))];
    for (QTreeWidgetItem* p = shown->parent(); p; p = p->parent()) p->setExpanded(true);
    props->scrollToItem(shown);
    Log(QString("page: %1 row \"%2\", properties \"%3\"").arg(Name(list), row->text(0), shown->text(0)));
    QTest::mouseClick(props->viewport(), Qt::LeftButton, {}, props->visualItemRect(shown).center());
    return true;
  }

  bool ListRow() {
    std::vector<QListWidget*> lists = Live<QListWidget>();
    if (lists.empty()) return false;
    QListWidget* list = lists[Pick(int(lists.size()))];
    if (list->count() == 0) return false;
    const int row = Pick(list->count());
    list->scrollToItem(list->item(row));
    const QPoint at = list->visualItemRect(list->item(row)).center();
    const bool twice = Pick(4) == 0;
    Log(QString("list %1 row %2%3").arg(Name(list)).arg(row).arg(twice ? " double click" : ""));
    if (twice) QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    else QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    return true;
  }

  bool Tab() {
    std::vector<QTabBar*> bars = Live<QTabBar>();
    if (bars.empty()) return false;
    QTabBar* bar = bars[Pick(int(bars.size()))];
    if (bar->count() == 0) return false;
    const int index = Pick(bar->count());
    Log(QString("tab %1 %2 \"%3\"").arg(Name(bar)).arg(index).arg(bar->tabText(index)));
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
    return true;
  }

  // Texts a user might type into a field: ordinary values, the edges, far out of range, junk.
  static const std::vector<QString>& Texts() {
    static const std::vector<QString> texts = {"0",   "1",     "5",     "0.5",  "-1",       "-0.001",     "100",
                                               "255", "99999", "-99999", "1e9", "123456789", "-2147483648", "3.75",
                                               "",    "abc",   "1,5",   "nan",  "inf",      "  7 ",       "0000000001"};
    return texts;
  }

  bool TypeValue() {
    std::vector<QAbstractSpinBox*> fields = Live<QAbstractSpinBox>();
    if (fields.empty()) return false;
    QAbstractSpinBox* field = fields[Pick(int(fields.size()))];
    const QString text = Texts()[Pick(int(Texts().size()))];
    const int how = Pick(4);  // Return, Tab away, arrow steps, page steps
    Log(QString("type into %1: \"%2\" then %3").arg(Name(field), text, QStringList{"Return", "Tab", "Up/Down", "PageUp"}[how]));
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, text);
    switch (how) {
      case 0: QTest::keyClick(field, Qt::Key_Return); break;
      case 1: QTest::keyClick(field, Qt::Key_Tab); break;
      case 2: for (int i = Pick(5); i >= 0; --i) QTest::keyClick(field, Pick(2) ? Qt::Key_Up : Qt::Key_Down); break;
      default: QTest::keyClick(field, Qt::Key_PageUp); QTest::keyClick(field, Qt::Key_Return);
    }
    return true;
  }

  bool Combo() {
    std::vector<QComboBox*> boxes = Live<QComboBox>();
    if (boxes.empty()) return false;
    QComboBox* box = boxes[Pick(int(boxes.size()))];
    const int steps = Pick(std::max(1, box->count()));
    const bool up = Pick(3) == 0;
    Log(QString("combo %1: %2 x%3 from %4").arg(Name(box), up ? "Up" : "Down").arg(steps).arg(box->currentIndex()));
    box->setFocus();
    for (int i = 0; i < steps; ++i) QTest::keyClick(box, up ? Qt::Key_Up : Qt::Key_Down);
    return true;
  }

  // The curve charts and gradient strips: clicks, double clicks (a new key or stop), drags.
  bool Chart() {
    std::vector<QWidget*> charts;
    for (QWidget* w : Live<QWidget>())
      if (w->objectName() == "CurveChart" || w->objectName() == "ColorStrip") charts.push_back(w);
    if (charts.empty()) return false;
    QWidget* chart = charts[Pick(int(charts.size()))];
    auto point = [&] { return QPoint(Pick(chart->width()), Pick(chart->height())); };
    const QPoint from = point(), to = point();
    const int how = Pick(5);
    static const char* const hows[] = {"click", "double click", "drag", "drag out", "right click"};
    Log(QString("chart %1 (%2): %3 at %4,%5 to %6,%7")
            .arg(chart->objectName(), Name(chart->parentWidget()), hows[how])
            .arg(from.x()).arg(from.y()).arg(to.x()).arg(to.y()));
    switch (how) {
      case 0: QTest::mouseClick(chart, Qt::LeftButton, {}, from); break;
      case 1: QTest::mouseDClick(chart, Qt::LeftButton, {}, from); break;
      case 2:
      case 3: {
        // Out of the widget too: a drag may leave the chart, far to either side.
        const QPoint end = how == 3 ? QPoint(to.x() * 5 - chart->width() * 2, to.y() * 5 - chart->height() * 2) : to;
        QTest::mousePress(chart, Qt::LeftButton, {}, from);
        for (int i = 1; i <= 4; ++i) QTest::mouseMove(chart, from + (end - from) * i / 4);
        QTest::mouseRelease(chart, Qt::LeftButton, {}, end);
        break;
      }
      default: QTest::mouseClick(chart, Qt::RightButton, {}, from);
    }
    return true;
  }

  // Every entry of the panel's menus (Undo and Redo have their own actions); the entries that
  // ask for a file get Cancel from the guard.
  bool MenuItem() {
    std::vector<QAction*> entries;
    QMainWindow* panel = Panel();
    if (!panel) return false;
    for (QAction* menu : panel->menuBar()->actions())
      for (QAction* a : menu->menu()->actions())
        if (!a->isSeparator() && a->isEnabled() && !a->menu() && !a->text().startsWith("Undo") &&
            !a->text().startsWith("Redo"))
          entries.push_back(a);
    if (entries.empty()) return false;
    QAction* a = entries[Pick(int(entries.size()))];
    Log(QString("menu \"%1\"").arg(a->text()));
    a->trigger();
    return true;
  }

  bool UndoRedo(const char* which) {
    QAction* a = Entry(which);
    if (!a || !a->isEnabled()) return false;
    Log(QString("%1 (\"%2\")").arg(which, a->text()));
    a->trigger();
    return true;
  }

  // Play, or the timeline's play, for a short run, or Rewind. The guard stops a run of the
  // panel's preview (Play returns only when the run has ended).
  bool Preview() {
    const int how = Pick(3);
    PreviewMs_ = 50 + Pick(400);
    if (how == 0) {
      auto* play = Panel() ? Panel()->findChild<QPushButton*>("PreviewButton") : nullptr;
      Log(QString("preview: Play for %1 ms").arg(PreviewMs_));
      if (play && play->isVisible() && play->isEnabled()) QTest::mouseClick(play, Qt::LeftButton);
    } else if (how == 1) {
      auto* rewind = Panel() ? Panel()->findChild<QPushButton*>("RewindButton") : nullptr;
      Log("preview: Rewind");
      if (rewind && rewind->isVisible() && rewind->isEnabled()) QTest::mouseClick(rewind, Qt::LeftButton);
    } else {
      Log(QString("timeline: Play for %1 ms").arg(PreviewMs_));
      QPushButton* play = Window_->Timeline()->PlayButton();
      QTest::mouseClick(play, Qt::LeftButton);
      QTest::qWait(PreviewMs_);
      if (Window_->Timeline()->Playing()) QTest::mouseClick(play, Qt::LeftButton);
    }
    return true;
  }

  bool OutlinerSelect() {
    TOutliner* outliner = Window_->Outliner();
    std::vector<QTreeWidgetItem*> rows;
    for (QTreeWidgetItemIterator it(outliner); *it; ++it) rows.push_back(*it);
    if (rows.empty()) return false;
    const int row = Pick(int(rows.size()));
    outliner->scrollToItem(rows[row]);
    Log(QString("outliner row %1 \"%2\"").arg(row).arg(rows[row]->text(0)));
    QTest::mouseClick(outliner->viewport(), Qt::LeftButton, {}, outliner->visualItemRect(rows[row]).center());
    return true;
  }

  bool Frame() {
    const int frame = Pick(130) - 10;
    Log(QString("timeline frame %1").arg(frame));
    Window_->Timeline()->FrameField()->setValue(frame);
    return true;
  }

  // The host deletes the selected object, as a script or the outliner's Delete would.
  bool HostDelete() {
    TNode* selected = Stage().Scene.Selected();
    if (!selected) return false;
    Log(QString("host deletes the selected object \"%1\"").arg(QString::fromStdString(selected->Name)));
    tsxSobjDelete(reinterpret_cast<tsxSOBJ*>(TScene::Handle(selected)));
    tsxAViewRefresh();
    return true;
  }

  // Saved, opened again, rendered: each must succeed.
  bool SaveAndReopen() {
    const QString path = Temp_.filePath(QString("step-%1.json").arg(Step_));
    Log("save " + path + ", reopen and render");
    if (!Window_->SaveScene(path)) return Fail("the scene could not be saved");
    if (!Open(path)) return false;
    Window_->Timeline()->FrameField()->setValue(Pick(60));
    if (!Window_->RenderFrame()) return Fail("the reopened scene did not render");
    Window_->RenderWindow()->close();
    ++Saves_;
    return true;
  }

  // ---- Helpers.

  bool Open(const QString& path) {
    if (!Window_->OpenScene(path)) return Fail("the scene " + path + " did not open");
    return true;
  }

  QMainWindow* Panel() {
    auto* panel = Window_->findChild<QMainWindow*>("VantrelMainPanel");
    if (panel && !panel->isVisible()) {
      if (auto* dock = Window_->findChild<QDockWidget*>("VantrelPanelDock")) dock->show();
      if (!panel->isVisible()) QTest::mouseClick(Window_->PluginButton(), Qt::LeftButton);
    }
    return panel;
  }

  QAction* Entry(const QString& text) {
    QMainWindow* panel = Panel();
    if (!panel) return nullptr;
    for (QAction* menu : panel->menuBar()->actions())
      for (QAction* a : menu->menu()->actions())
        if (a->text().startsWith(text)) return a;
    return nullptr;
  }

  // The emitters' and tools' settings with their names and types, as the saved scene holds them.
  // The render switches (the plug-in's settings of the scene) are scene switches the panel writes
  // through the host, not steps of its Edit menu, so they are not compared.
  QByteArray PluginState() {
    const QString path = Temp_.filePath("state.json");
    if (!Window_->SaveScene(path)) return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QJsonObject scene = QJsonDocument::fromJson(file.readAll()).object();
    QJsonArray objects;
    for (const QJsonValue& n : scene["nodes"].toArray()) {
      const QJsonObject node = n.toObject();
      if (node["type"].toString() == "object")
        objects.append(QJsonObject{{"name", node["name"]}, {"objectType", node["objectType"]}, {"settings", node["settings"]}});
    }
    return QJsonDocument(QJsonObject{{"objects", objects}}).toJson();
  }

  void Dump(const QString& name, const QByteArray& bytes) {
    QFile file(name);
    if (file.open(QIODevice::WriteOnly)) file.write(bytes);
  }

  int Pick(int n) { return n <= 1 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(Rng_); }

  static QString Name(const QObject* o) {
    if (!o) return "?";
    return o->objectName().isEmpty() ? QString("<%1>").arg(o->metaObject()->className()) : o->objectName();
  }

  void Log(const QString& what) {
    std::printf("seed %u step %d: %s\n", Seed_, Step_, qPrintable(what));
    std::fflush(stdout);
  }

  bool Fail(const QString& why) {
    std::printf("FAILED at seed %u step %d: %s\n", Seed_, Step_, qPrintable(why));
    std::fflush(stdout);
    Ok_ = false;
    return false;
  }

  // Answers what an action opened: a modal dialog or message box gets Escape (Cancel), a popup
  // menu closes, a preview run of the panel stops after its time.
  void WatchDialogs(QTimer& timer) {
    QObject::connect(&timer, &QTimer::timeout, [this] {
      if (QWidget* popup = QApplication::activePopupWidget()) {
        Log(QString("  closing popup %1").arg(Name(popup)));
        popup->close();
      } else if (QWidget* modal = QApplication::activeModalWidget()) {
        QString text = modal->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) text += ": " + box->text();
        Log(QString("  answering %1 \"%2\" with Cancel").arg(Name(modal), text.simplified().left(200)));
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
        else modal->close();
      }
      auto* play = Window_ && Window_->findChild<QMainWindow*>("VantrelMainPanel")
                       ? Window_->findChild<QMainWindow*>("VantrelMainPanel")->findChild<QPushButton*>("PreviewButton")
                       : nullptr;
      if (play && play->text() == "Stop" && !Stopped_ && ActionStart_.isValid() && ActionStart_.elapsed() > PreviewMs_) {
        Stopped_ = true;
        Log("  stopping the preview");
        play->click();
      }
    });
  }

  unsigned Seed_;
  std::mt19937 Rng_;
  std::unique_ptr<TMainWindow> Window_;
  QTemporaryDir Temp_;
  QTimer Guard_;
  QElapsedTimer ActionStart_;
  int PreviewMs_ = 200;
  int Step_ = 0;
  int Saves_ = 0;
  bool Ok_ = true;
  bool UndoWalk_ = false;
  bool Stopped_ = false;  // the guard has stopped this step's preview run
};

}  // namespace

int main(int argc, char** argv) {
  unsigned seed = 1;
  int steps = 300, undoSteps = -1;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string arg = argv[i];
    if (arg == "--seed") seed = static_cast<unsigned>(std::strtoul(argv[i + 1], nullptr, 10));
    else if (arg == "--steps") steps = std::atoi(argv[i + 1]);
    else if (arg == "--undo-steps") undoSteps = std::atoi(argv[i + 1]);
    else {
      std::fprintf(stderr, "usage: studio_monkey [--seed N] [--steps N] [--undo-steps N]\n");
      return 2;
    }
  }
  if (undoSteps < 0) undoSteps = std::max(50, steps / 3);  // in walks of up to 150 actions
  qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
  QApplication app(argc, argv);
  QStandardPaths::setTestModeEnabled(true);
  bool ok = false;
  int done = 0;
  {
    TMonkey monkey(seed);
    // The panel keeps its last 100 steps: each undo walk is short enough to stay within them.
    ok = monkey.Walk(steps);
    for (int walked = 0; ok && walked < undoSteps; walked += 150) ok = monkey.UndoWalk(std::min(150, undoSteps - walked));
    done = monkey.Steps();
  }
  std::printf("%s: seed %u, %d steps\n", ok ? "passed" : "FAILED", seed, done);
  return ok ? 0 : 1;
}
