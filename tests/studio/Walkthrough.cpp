// The walk-through's steps. A control a step cannot find, or a dialog that does not come, stops
// the walk-through with the step's name, so that a renamed widget fails loudly instead of
// leaving a step out.
#include "Walkthrough.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>
#include <stdexcept>

#include "stage/Stage.h"
#include "stage/studio/MainWindow.h"
#include "stage/studio/Outliner.h"
#include "stage/studio/RenderWindow.h"
#include "stage/studio/TransformPanel.h"

using stage::studio::TMainWindow;

namespace {

struct TStepFailed : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const QString& what) { throw TStepFailed(what.toStdString()); }

template <class T>
T* Child(QObject* parent, const char* name) {
  T* found = parent ? parent->findChild<T*>(name) : nullptr;
  if (!found) Fail(QString("no control named %1").arg(name));
  return found;
}

// The entry of a menu bar whose text, without its & marks, starts with the given one.
QAction* MenuEntry(QMenuBar* bar, const QString& text) {
  for (QAction* menu : bar->actions())
    if (menu->menu())
      for (QAction* a : menu->menu()->actions())
        if (a->text().remove('&').startsWith(text)) return a;
  Fail(QString("no menu entry \"%1\"").arg(text));
}

void Click(QTreeWidget* view, QTreeWidgetItem* item) {
  if (!item) Fail(QString("%1 has no such row").arg(view->objectName()));
  view->scrollToItem(item);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualItemRect(item).center());
}

void ClickTab(QTabBar* bar, const QString& text) {
  for (int i = 0; i < bar->count(); ++i)
    if (bar->tabText(i) == text) {
      QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(i).center());
      return;
    }
  Fail(QString("no tab \"%1\"").arg(text));
}

void Type(QAbstractSpinBox* field, double value) {
  field->setFocus();
  field->selectAll();
  QTest::keyClicks(field, QString::number(value));
  QTest::keyClick(field, Qt::Key_Return);
}

// Answers the next modal dialog with answer, once it is up; the step that opens it runs after.
// A dialog that never comes fails the step, and so does any other dialog that comes after it
// (a message the step did not expect), which is closed with its text in the failure.
void AnswerDialog(const std::function<void(QWidget*)>& answer, const std::function<void()>& open) {
  QString failure = "no dialog opened";
  QWidget* answered = nullptr;
  QElapsedTimer since;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog && dialog == answered && since.elapsed() > 5000) {
      failure = QString("the dialog \"%1\" stayed open").arg(dialog->windowTitle());
      if (auto* d = qobject_cast<QDialog*>(dialog)) d->reject();
      return;
    }
    if (!dialog || dialog == answered) return;
    if (answered) {
      failure = QString("unexpected dialog \"%1\"").arg(dialog->windowTitle());
      if (auto* box = qobject_cast<QMessageBox*>(dialog)) failure += ": " + box->text();
      if (auto* d = qobject_cast<QDialog*>(dialog)) d->reject();
      return;
    }
    answered = dialog;
    since.start();
    try {
      answer(dialog);
      failure.clear();
    } catch (const TStepFailed& e) {
      failure = QString::fromStdString(e.what());
      if (auto* d = qobject_cast<QDialog*>(dialog)) d->reject();
    }
  });
  poll.start(10);
  open();
  poll.stop();
  if (!failure.isEmpty()) Fail(failure);
}

// Sets the first key of the curve the chart shows to value: the chart focused, Left until the
// first key is chosen, Enter for "Edit Keyframe", the value typed, Ok.
void SetFirstKey(QWidget* chart, double value) {
  if (!chart->isVisible()) Fail("the curve editor is not shown");
  chart->setFocus();
  QTest::keyClick(chart, Qt::Key_Right);
  for (int i = 0; i < 8; ++i) QTest::keyClick(chart, Qt::Key_Left);
  AnswerDialog(
      [&](QWidget* dialog) {
        Type(Child<QDoubleSpinBox>(dialog, "PropertySpin"), value);
        QTest::mouseClick(Child<QPushButton>(dialog, "OkButton"), Qt::LeftButton);
      },
      [&] { QTest::keyClick(chart, Qt::Key_Return); });
}

// The studio and its plug-in's panel, each step driven through them.
class TSteps {
 public:
  explicit TSteps(TMainWindow& window) : Window(window) {}

  TMainWindow& Window;

  QMainWindow* Panel() {
    auto* panel = Window.findChild<QMainWindow*>("VantrelMainPanel");
    if (!panel || !panel->isVisible()) QTest::mouseClick(Window.PluginButton(), Qt::LeftButton);
    panel = Window.findChild<QMainWindow*>("VantrelMainPanel");
    if (!panel || !panel->isVisible()) Fail("the plug-in's button shows no panel");
    return panel;
  }
  void Studio(const QString& entry) { MenuEntry(Window.menuBar(), entry)->trigger(); }
  void PanelMenu(const QString& entry) { MenuEntry(Panel()->menuBar(), entry)->trigger(); }
  QTreeWidget* Tree() { return Child<QTreeWidget>(Panel(), "EmitterTree"); }

  // The transform panel's field of the selected object: channel 0 position, 1 rotation, 2 scale.
  void Transform(int channel, int axis, double value, const char* selected) {
    const stage::TNode* node = stage::Stage().Scene.Selected();
    if (!node || !QString::fromStdString(node->Name).startsWith(selected))
      Fail(QString("the transform panel shows %1, not %2").arg(node ? node->Name.c_str() : "nothing", selected));
    Type(Window.TransformPanel()->Field(channel, axis), value);
  }

  // The emitters page in front with the properties unfolded.
  void EmittersPage() {
    ClickTab(Child<QTabBar>(Panel(), "TabControl1"), "Emitters");
    auto* fold = Child<QToolButton>(Panel(), "PropertiesFoldButton");
    if (!fold->isChecked()) QTest::mouseClick(fold, Qt::LeftButton);
  }
  QTreeWidgetItem* Emitter(const QString& name) {
    const QList<QTreeWidgetItem*> found = Tree()->findItems(name, Qt::MatchExactly);
    if (found.isEmpty()) Fail(QString("no emitter \"%1\" in the tree").arg(name));
    return found.front();
  }
  QTreeWidgetItem* Newest() {
    if (Tree()->topLevelItemCount() == 0) Fail("the tree has no emitter");
    return Tree()->topLevelItem(Tree()->topLevelItemCount() - 1);
  }
  // The emitter's row clicked (its object selected in the scene), by way of its first system so
  // that the click never lands on the current row (a slow second click renames).
  void SelectEmitter(QTreeWidgetItem* emitter) {
    EmittersPage();
    Click(Tree(), emitter->child(0));
    Click(Tree(), emitter);
  }
  void SelectSystem(QTreeWidgetItem* emitter) {
    EmittersPage();
    if (Tree()->currentItem() != emitter->child(0)) Click(Tree(), emitter->child(0));
    if (!Child<QWidget>(Panel(), "PropsForm")->isVisible()) Fail("the system properties are not shown");
  }
  void PropsEntry(const QString& entry) {
    auto* props = Child<QTreeWidget>(Panel(), "PropsTree");
    Click(props, props->findItems(entry, Qt::MatchExactly | Qt::MatchRecursive).value(0));
  }
  // A system curve's first key, from its entry in the properties tree.
  void SystemCurve(const QString& entry, double value) {
    PropsEntry(entry);
    SetFirstKey(Child<QWidget>(Child<QWidget>(Panel(), "CurveHolder"), "CurveChart"), value);
  }

  // The tools page with the tool made last current and its object selected.
  QTreeWidget* NewTool(const QString& kind) {
    PanelMenu("New " + kind);
    ClickTab(Child<QTabBar>(Panel(), "TabControl1"), "Tools");
    auto* list = Child<QTreeWidget>(Panel(), "ToolObjectsListView");
    Click(list, list->topLevelItem(list->topLevelItemCount() - 1));
    return list;
  }
  void ToolEntry(int row) {
    auto* tree = Child<QTreeWidget>(Panel(), "ToolPropsTree");
    Click(tree, tree->topLevelItem(row));
  }

  // New Emitter, then "Load Emitter Settings" with the preset file typed into the dialog.
  void EmitterFromPreset(const QString& file) {
    EmittersPage();
    PanelMenu("New Emitter");
    AnswerDialog(
        [&](QWidget* dialog) {
          if (!qobject_cast<QFileDialog*>(dialog)) Fail("Load Emitter Settings opened no file dialog");
          auto* files = static_cast<QFileDialog*>(dialog);
          files->selectFile(file);
          static_cast<QDialog*>(files)->accept();
        },
        [&] { PanelMenu("Load Emitter Settings"); });
  }
};

}  // namespace

bool TWalkthrough::BuildStream(const TShot& shot) {
  TSteps s(Window_);
  QString step;
  try {
    step = "the floor and the cube";
    Window_.NewScene();
    s.Studio("Plane");
    s.Transform(2, 0, 3, "Plane");  // 4 × 4 scaled to 12 × 12
    s.Transform(2, 1, 3, "Plane");
    s.Studio("Box");
    s.Transform(2, 0, 2, "Box");  // 2 × 2 × 2, standing on the floor: its top at 2
    s.Transform(2, 1, 2, "Box");
    s.Transform(2, 2, 2, "Box");
    s.Transform(0, 2, 1, "Box");
    shot("stream-1-scene");

    step = "New Emitter";
    s.EmittersPage();
    s.PanelMenu("New Emitter");
    s.SelectEmitter(s.Newest());
    s.Transform(0, 2, 6, "VNTX_Emitter");    // 6 units up
    s.Transform(1, 0, 180, "VNTX_Emitter");  // turned over: it emits along its Z axis, now down
    shot("stream-2-emitter");

    step = "Emitter Shape";
    s.SelectSystem(s.Newest());
    s.PropsEntry("System");
    auto* shape = Child<QComboBox>(s.Panel(), "ShapeBox");
    shape->setFocus();
    QTest::keyClick(shape, Qt::Key_Home);  // "Point", the first
    shot("stream-3-shape");

    step = "Flow";
    s.SystemCurve("Flow", 8);
    shot("stream-4-flow");
    step = "Lifespan";
    s.SystemCurve("Lifespan", 90);
    step = "Base Speed";
    s.SystemCurve("Base Speed", 0.05);
    shot("stream-5-speed");

    step = "System Color";
    s.PropsEntry("Render");
    auto* maps = Child<QTabWidget>(s.Panel(), "MapsPages");
    ClickTab(maps->tabBar(), "System Color");
    QWidget* strip = Child<QWidget>(maps->currentWidget(), "ColorStrip");
    strip->setFocus();
    QTest::keyClick(strip, Qt::Key_Right);  // the first stop
    AnswerDialog(
        [&](QWidget* dialog) {
          auto* picker = qobject_cast<QColorDialog*>(dialog);
          if (!picker) Fail("Enter on the stop opened no colour picker");
          picker->setCurrentColor(QColor("#ff1a1a"));
          picker->accept();
        },
        [&] { QTest::keyClick(strip, Qt::Key_Return); });
    shot("stream-6-color");

    step = "the deflector";
    s.NewTool("Deflector");
    s.Transform(0, 2, 2, "VNTX_Deflector");  // on the cube's top
    s.ToolEntry(1);        // "Elasticity"
    SetFirstKey(Child<QWidget>(Child<QWidget>(s.Panel(), "ToolPropsForm"), "CurveChart"), 80);
    shot("stream-7-deflector");
  } catch (const TStepFailed& e) {
    Error_ = step + ": " + QString::fromStdString(e.what());
    return false;
  }
  return true;
}

bool TWalkthrough::BuildCampfire(const TShot& shot) {
  TSteps s(Window_);
  QString step;
  try {
    step = "the ground";
    Window_.NewScene();
    s.Studio("Plane");
    s.Transform(2, 0, 3, "Plane");
    s.Transform(2, 1, 3, "Plane");

    step = "fire";
    s.EmitterFromPreset(Presets_ + "/fire.vte");
    shot("campfire-1-fire");
    step = "smoke";
    s.EmitterFromPreset(Presets_ + "/smoke.vte");
    step = "sparks";
    s.EmitterFromPreset(Presets_ + "/sparks.vte");
    shot("campfire-2-presets");

    step = "a taller flame";
    s.SelectSystem(s.Emitter("Fire"));
    s.SystemCurve("Lifespan", 42);
    shot("campfire-3-flame");
    step = "slower smoke";
    s.SelectSystem(s.Emitter("Smoke"));
    s.SystemCurve("Base Speed", 0.02);
    shot("campfire-4-smoke");

    step = "a fan for wind";
    s.NewTool("Fan");
    s.Transform(0, 0, -3, "VNTX_Fan");  // beside the fire, at the smoke's height
    s.Transform(0, 2, 2.5, "VNTX_Fan");
    s.Transform(1, 1, 90, "VNTX_Fan");  // its axis turned from up to along X: it blows sideways
    s.ToolEntry(0);
    Type(Child<QDoubleSpinBox>(s.Panel(), "FanScale"), 4);
    shot("campfire-5-fan");
  } catch (const TStepFailed& e) {
    Error_ = step + ": " + QString::fromStdString(e.what());
    return false;
  }
  return true;
}

bool TWalkthrough::RenderFrame(int frame) {
  Window_.GoToFrame(frame);
  try {
    MenuEntry(Window_.menuBar(), "Render Frame")->trigger();
    if (!Window_.RenderWindow()->isVisible()) Fail("Render Frame showed no picture");
  } catch (const TStepFailed& e) {
    Error_ = QString::fromStdString(e.what());
    return false;
  }
  return true;
}
