// The studio's window wiring, driven as a user drives it, on Qt's offscreen platform with the
// real plug-in and the real stage: open a scene, select, set a key, render a frame into the
// render window (the same image as `vantrel render`), save and reload, cancel an animation
// render, the outliner's edits, the outliner and the plug-in's panel selecting each other, and
// the panel docked in the window.
#include <QDockWidget>
#include <QFile>
#include <QTextBlock>
#include <QTextBrowser>
#include <QSettings>
#include <QLineEdit>
#include <QMessageBox>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTabBar>
#include <QTreeWidgetItemIterator>
#include <QProgressDialog>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QDoubleSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <set>

#include "DifferingPixels.h"
#include "stage/Stage.h"
#include "stage/studio/MainWindow.h"
#include "stage/studio/Outliner.h"
#include "stage/studio/PluginHost.h"
#include "stage/studio/RenderWindow.h"
#include "stage/studio/StudioView.h"
#include "stage/studio/Timeline.h"
#include "stage/studio/TransformPanel.h"
#include "ui/qt/QtPlatform.h"

using namespace stage;
using namespace stage::studio;

namespace {

QString Example(const char* name) { return QString(EXAMPLES_DIR "/%1/scene.json").arg(name); }

// Clicks an outliner row as a user does.
void ClickItem(TOutliner* outliner, QTreeWidgetItem* item) {
  QVERIFY(item);
  const QRect r = outliner->visualItemRect(item);
  QTest::mouseClick(outliner->viewport(), Qt::LeftButton, {}, r.center());
}

}  // namespace

class TStudioTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TMainWindow> Window;
  QTemporaryDir Temp;

  // The plug-in's panel, shown as a user shows it: the plug-in's button.
  QMainWindow* ShownPanel() {
    auto* panel = Window->findChild<QMainWindow*>("VantrelMainPanel");
    if (panel && !panel->isVisible()) QTest::mouseClick(Window->PluginButton(), Qt::LeftButton);
    return panel && panel->isVisible() ? panel : nullptr;
  }

  // The entry of the panel's menus whose text starts with the given one.
  static QAction* MenuEntry(QMainWindow* panel, const QString& text) {
    for (QAction* menu : panel->menuBar()->actions())
      for (QAction* a : menu->menu()->actions())
        if (a->text().startsWith(text)) return a;
    return nullptr;
  }

 private slots:
  void initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    Window = std::make_unique<TMainWindow>();
    Window->SetPlugin(LoadStudioPlugin(REAL_PLUGIN));
    Window->show();
    QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
  }

  // The plug-in's button carries its title. Opening a scene gives the plug-in its first click
  // before the scene loads, as `vantrel render` does, so that final rendering is on from the
  // start (Render Frame shows the particles without the user clicking the button first) unless
  // the scene keeps it off; the opened scene is not modified by it. The render switches a scene
  // keeps (here all but their defaults) survive the first click and the button: the panel shows
  // them and the scene still holds them.
  void pluginButton() {
    QToolButton* button = Window->PluginButton();
    QVERIFY(button);
    QCOMPARE(button->text(), QString("Vantrel"));
    QVERIFY(!Stage().Shader(tssSHADER_POSTPROCESS));
    const auto sceneKeeping = [this](const std::string& switches) {
      const QString scene = Temp.filePath("switches.json");
      QFile file(scene);
      if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(scene));
      file.write(QString(R"({"vantrelScene": 1, "pluginSettings": {"Vantrel": "%1"}})")
                     .arg(QString::fromStdString(switches)).toUtf8());
      return scene;
    };
    const std::string switches = "enableRendering=0 depthDithering=1 softIntersections=1 softDistance=0.5";
    QVERIFY(Window->OpenScene(sceneKeeping(switches)));
    QVERIFY(!Stage().Shader(tssSHADER_POSTPROCESS));
    QVERIFY(!Window->Modified());
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!Stage().Shader(tssSHADER_POSTPROCESS));
    QCOMPARE(Stage().PluginSettings["Vantrel"], switches);
    QWidget* panel = Window->findChild<QWidget*>("VantrelMainPanel");
    QVERIFY(panel);
    QAction* dithering = nullptr;
    for (QAction* a : panel->findChildren<QAction*>())
      if (a->text() == "Depth Dithering") dithering = a;
    QVERIFY(dithering && dithering->isChecked());

    // A scene that keeps the default switches with rendering on; scenes that keep none (the
    // fountain) leave the panel's as they are, and later clicks leave rendering on.
    QVERIFY(Window->OpenScene(sceneKeeping("enableRendering=1 depthDithering=0 softIntersections=0 softDistance=1")));
    QVERIFY(Stage().Shader(tssSHADER_POSTPROCESS));
    QVERIFY(!dithering->isChecked());
    QVERIFY(Window->OpenScene(Example("fountain")));
    QVERIFY(Stage().Shader(tssSHADER_POSTPROCESS));
    QVERIFY(!Window->Modified());
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(Stage().Shader(tssSHADER_POSTPROCESS));
  }

  // Opening shows the scene's tree, and every custom object draws itself through the plug-in
  // with its pen; clicking a row selects the node, which then draws in the selected pen.
  void openAndSelect() {
    QVERIFY(Window->OpenScene(Example("fountain")));
    TOutliner* outliner = Window->Outliner();
    int nodes = 0;
    Stage().Scene.ForEach([&](TNode&) { ++nodes; });
    int items = 0;
    for (QTreeWidgetItemIterator it(outliner); *it; ++it) ++items;
    QCOMPARE(items, nodes);
    TNode* fountain = Stage().Scene.FindByName("Fountain");
    QVERIFY(fountain && fountain->Kind() == TNodeKind::Custom);
    auto pens = [] {
      std::set<int> p;
      for (const TLineSegment& s : Stage().View.Lines) p.insert(s.Pen);
      return p;
    };
    QVERIFY(pens().count(e_tsxPEN_RED));  // the emitter's wireframe pen
    QVERIFY(!pens().count(e_tsxPEN_ACTIVESUB));
    ClickItem(outliner, outliner->ItemOf(fountain));
    QCOMPARE(Stage().Scene.Selected(), fountain);
    QVERIFY(pens().count(e_tsxPEN_ACTIVESUB));
    // The plug-in selecting (tsxSelectUp) is followed by the outliner at the next refresh.
    TNode* floor = Stage().Scene.FindByName("Floor");
    tsxSelectSobj(reinterpret_cast<tsxSOBJ*>(TScene::Handle(floor)), 0, 0);
    tsxAViewRefresh();
    QCOMPARE(TOutliner::NodeOf(outliner->selectedItems().value(0)), floor);
  }

  // A frame typed into the timeline, a value typed into the panel, Set Key: the node is keyed
  // there and the timeline marks it; saved and opened again, the key is still there.
  void setKeySaveReload() {
    QVERIFY(Window->OpenScene(Example("fountain")));
    TNode* fountain = Stage().Scene.FindByName("Fountain");
    ClickItem(Window->Outliner(), Window->Outliner()->ItemOf(fountain));
    QSpinBox* frame = Window->Timeline()->FrameField();
    frame->setValue(12);
    QCOMPARE(Stage().Scene.Time(), 12.0f);
    QDoubleSpinBox* x = Window->TransformPanel()->Field(0, 0);
    x->setValue(3.5);
    QTest::mouseClick(Window->TransformPanel()->SetKeyButton(), Qt::LeftButton);
    auto keyAt12 = [](const TNode& n) {
      for (const TKey& k : n.Position.Keys())
        if (k.Frame == 12.0f) return k.Value.x;
      return -999.0f;
    };
    QCOMPARE(keyAt12(*fountain), 3.5f);
    QVERIFY(std::count(Window->Timeline()->Keys().begin(), Window->Timeline()->Keys().end(), 12.0f) > 0);
    QVERIFY(Window->Modified());

    const QString path = Temp.filePath("keyed.json");
    QVERIFY(Window->SaveScene(path));
    QVERIFY(!Window->Modified());
    QCOMPARE(Window->RecentFiles().value(0), QFileInfo(path).absoluteFilePath());
    QVERIFY(Window->OpenScene(Example("snow")));
    QVERIFY(!Stage().Scene.FindByName("Fountain"));
    QVERIFY(Window->OpenScene(path));
    TNode* again = Stage().Scene.FindByName("Fountain");
    QVERIFY(again);
    QCOMPARE(keyAt12(*again), 3.5f);
    // The emitter came back through the plug-in's read callback and draws itself.
    QVERIFY(std::any_of(Stage().View.Lines.begin(), Stage().View.Lines.end(),
                        [](const TLineSegment& s) { return s.Pen == e_tsxPEN_RED; }));
  }

  // Render Frame shows exactly the image `vantrel render` writes for that frame, and the plug-in
  // reported through the Qt platform (the status bar), not through the console platform.
  void renderFrame() {
    QVERIFY(Window->OpenScene(Example("fountain")));
    Window->Timeline()->FrameField()->setValue(30);
    // Whatever view the user looks through, renders go through the scene's camera.
    Window->View()->Orbit(40, 10);
    Window->View()->SetKind(TViewKind::Top);
    const size_t before = Stage().PluginMessages.size();
    QVERIFY(Window->RenderFrame());
    QCOMPARE(Stage().View.ViewMode(), 1);  // the top view is back after the render
    QCOMPARE(Stage().View.Width, Window->View()->width());
    QVERIFY(Window->RenderWindow()->isVisible());
    const QImage shown = Window->RenderWindow()->Image();
    QCOMPARE(shown.size(), QSize(Stage().Render.Width, Stage().Render.Height));
    QVERIFY2(Window->statusBar()->currentMessage().contains("Rendered"), qPrintable(Window->statusBar()->currentMessage()));
    QCOMPARE(Stage().PluginMessages.size(), before);
    QCOMPARE(Stage().Scene.Time(), 30.0f);  // the view stays at its frame

    const QString cli = Temp.filePath("cli.png");
    const QString command = QString("'%1' render '%2' -f 30 -o '%3' >/dev/null 2>&1").arg(VANTREL_PROGRAM, Example("fountain"), cli);
    QCOMPARE(std::system(command.toLocal8Bit().constData()), 0);
    const QImage expected = QImage(cli).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(expected.size(), shown.size());
    int differing = 0;
    for (int y = 0; y < shown.height(); ++y)
      for (int x = 0; x < shown.width(); ++x) differing += shown.pixel(x, y) != expected.pixel(x, y);
    QCOMPARE(differing, 0);
    const QString saved = Temp.filePath("saved.png");
    Window->RenderWindow()->SaveImage(saved);
    QCOMPARE(QImage(saved).convertToFormat(QImage::Format_RGB32), shown);
    // Particles are in it: it differs from the scene rendered without the plug-in's pass.
    const TShaderFunc pass = Stage().Shader(tssSHADER_POSTPROCESS);
    QVERIFY(pass);
    Stage().RegisterShader(tssSHADER_POSTPROCESS, pass, false);
    const bool renderedWithout = Window->RenderFrame();
    Stage().RegisterShader(tssSHADER_POSTPROCESS, pass, true);
    QVERIFY(renderedWithout);
    const QImage without = Window->RenderWindow()->Image();
    QVERIFY2(DifferingPixels(shown, without) > 1000, qPrintable(QString::number(DifferingPixels(shown, without))));
  }

  // Render Animation and Save Image of a scene over a transparent background write the bytes
  // `vantrel render` writes for it: PNG with alpha (colours straight), EXR premultiplied.
  void animationWritesWhatTheCommandLineWrites() {
    QFile example(Example("fountain"));
    QVERIFY(example.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(example.readAll());
    text.replace("\"backgroundAlpha\": 1", "\"backgroundAlpha\": 0");
    text.replace("\"width\": 640", "\"width\": 160").replace("\"height\": 360", "\"height\": 90");
    const QString scene = Temp.filePath("clear/scene.json");
    QVERIFY(QDir().mkpath(Temp.filePath("clear")));
    QFile out(scene);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(text.toUtf8());
    out.close();
    auto bytes = [](const QString& path) {
      QFile f(path);
      return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    for (const char* format : {"png", "exr"}) {
      QVERIFY(Window->OpenScene(scene));
      const QString studio = Temp.filePath(QString("clear/studio-%1/##.%1").arg(format));
      QCOMPARE(Window->RenderAnimation({8, 9, studio}), 2);
      const QString cli = Temp.filePath(QString("clear/cli-%1/##.%1").arg(format));
      const QString command = QString("'%1' render '%2' -s 8 -e 9 -o '%3' >/dev/null 2>&1").arg(VANTREL_PROGRAM, scene, cli);
      QCOMPARE(std::system(command.toLocal8Bit().constData()), 0);
      for (const char* frame : {"08", "09"}) {
        const QByteArray mine = bytes(QString(studio).replace("##", frame));
        QVERIFY2(!mine.isEmpty(), format);
        QVERIFY2(mine == bytes(QString(cli).replace("##", frame)), format);
      }
      // Save Image of the last frame writes it as the render did.
      const QString saved = Temp.filePath(QString("clear/saved.%1").arg(format));
      Window->RenderWindow()->SaveImage(saved);
      QVERIFY2(bytes(saved) == bytes(QString(cli).replace("##", "09")), format);
    }
    const QImage png(Temp.filePath("clear/studio-png/09.png"));
    QVERIFY(png.hasAlphaChannel());
    QVERIFY(qAlpha(png.pixel(0, 0)) == 0);  // the sky is clear
  }

  // A problem the plug-in reports during a render (a particle picture it cannot find) fails the
  // studio's run as it fails `vantrel render`: no frame written, and a message that says so.
  void pluginMessageFailsTheRun() {
    const QString scene = Temp.filePath("fire.json");
    const QString make = QString("'%1' new '%2' --preset fire >/dev/null 2>&1").arg(VANTREL_PROGRAM, scene);
    QCOMPARE(std::system(make.toLocal8Bit().constData()), 0);
    QFile file(scene);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString text = QString::fromUtf8(file.readAll());
    file.close();
    QVERIFY(text.contains("maps/flame.png"));
    text.replace("maps/flame.png", "maps/no-such-flame.png");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
    file.close();
    // Every box and dialog is answered as a user who does not look for the picture answers it.
    QStringList boxes;
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        boxes << box->text();
        box->close();
      } else if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && dialog != Window->Progress()) {
        dialog->reject();
      }
    });
    answer.start(20);
    QVERIFY(Window->OpenScene(scene));
    boxes.clear();
    const QString pattern = Temp.filePath("fire/####.png");
    const int written = Window->RenderAnimation({0, 3, pattern});
    answer.stop();
    QCOMPARE(written, 0);
    QVERIFY(!QFileInfo::exists(Temp.filePath("fire")));
    const QString failure = boxes.isEmpty() ? QString() : boxes.last();
    QVERIFY2(failure.contains("no-such-flame.png") && failure.contains("no frame written"), qPrintable(boxes.join(" | ")));
    QVERIFY2(Window->statusBar()->currentMessage().contains("Wrote 0 of 4"), qPrintable(Window->statusBar()->currentMessage()));
  }

  // While a render runs the view keeps its own picture: the render borrows the stage's view
  // (the scene's camera at its drawport) and the view repaints meanwhile. After another scene is
  // opened, neither the render window nor the status bar shows the old scene's render.
  void viewDuringRenderAndAfterOpen() {
    QVERIFY(Window->OpenScene(Example("fountain")));
    Window->View()->SetKind(TViewKind::Top);
    QApplication::processEvents();
    const QImage before = Window->View()->grab().toImage();
    QImage during;
    QTimer look;
    connect(&look, &QTimer::timeout, this, [&] {
      if (Window->Progress() && during.isNull()) during = Window->View()->grab().toImage();
    });
    look.start(5);
    QVERIFY(Window->RenderAnimation({0, 2, Temp.filePath("look/####.png")}) == 3);
    look.stop();
    QVERIFY(!during.isNull());
    QVERIFY2(DifferingPixels(before, during) < 50, qPrintable(QString::number(DifferingPixels(before, during))));

    Window->Timeline()->FrameField()->setValue(30);
    QVERIFY(Window->RenderFrame());
    QVERIFY(!Window->RenderWindow()->Image().isNull());
    QVERIFY(Window->RenderWindow()->SaveButton()->isEnabled());
    QVERIFY(Window->OpenScene(Example("snow")));
    QVERIFY(Window->RenderWindow()->Image().isNull());
    QVERIFY(!Window->RenderWindow()->SaveButton()->isEnabled());
    QVERIFY(!Stage().Display);
    QVERIFY2(!Window->statusBar()->currentMessage().contains("Rendered"), qPrintable(Window->statusBar()->currentMessage()));
  }

  // What the plug-in does through its host is part of the document: a new object, a deleted one
  // and a changed switch each mark the scene modified, so that quitting asks first.
  void pluginChangesMarkTheSceneModified() {
    TNode* fountain = nullptr;
    const int emitterType = Stage().Types.FindByName("VNTX_Emitter")->Number;
    const std::function<void()> changes[] = {
        [&] { tsxSceneAddObject(tsxObjectCreate(emitterType), 0); },
        [&] { tsxSobjDelete(reinterpret_cast<tsxSOBJ*>(TScene::Handle(fountain))); },
        [&] { tsxHostSetPluginSettings("Vantrel", "depthDithering=1"); },
        [&] { tsxGNodeSetName(TScene::Handle(fountain), "Spring"); },
    };
    for (const auto& change : changes) {
      QVERIFY(Window->OpenScene(Example("fountain")));
      fountain = Stage().Scene.FindByName("Fountain");
      QVERIFY(fountain);
      QVERIFY(!Window->Modified());
      change();
      QVERIFY(Window->Modified());
      QVERIFY(Window->windowTitle().contains("*"));
    }
    // Writing what a block already holds changes nothing.
    QVERIFY(Window->OpenScene(Example("fountain")));
    const std::string kept = Stage().PluginSettings["Vantrel"];
    tsxHostSetPluginSettings("Vantrel", kept.c_str());
    QVERIFY(!Window->Modified());
  }

  // Cancel in the progress dialog stops the animation render through tsxRenderCheckInterrupt:
  // fewer frames than asked are written, each of them whole.
  void cancelAnimation() {
    if (!Stage().Shader(tssSHADER_POSTPROCESS)) QTest::mouseClick(Window->PluginButton(), Qt::LeftButton);
    QVERIFY(Window->OpenScene(Example("fountain")));
    const QString pattern = Temp.filePath("anim/####.png");
    const int checksBefore = Stage().InterruptChecks;
    QTimer poll;
    bool cancelled = false;
    connect(&poll, &QTimer::timeout, this, [&] {
      if (Window->Progress() && QFileInfo::exists(Temp.filePath("anim/0001.png")) && !cancelled) {
        cancelled = true;
        QPushButton* cancel = Window->Progress()->findChild<QPushButton*>();
        QVERIFY(cancel);
        QTest::mouseClick(cancel, Qt::LeftButton);
      }
    });
    poll.start(5);
    const int written = Window->RenderAnimation({0, 60, pattern});
    poll.stop();
    QVERIFY(cancelled);
    QVERIFY2(written >= 2 && written < 61, qPrintable(QString::number(written)));
    QCOMPARE(int(QDir(Temp.filePath("anim")).entryList({"*.png"}, QDir::Files).size()), written);
    QVERIFY(Stage().InterruptChecks > checksBefore);
    QVERIFY(!Stage().Interrupt);  // cleared for the next render
    QVERIFY(!Window->Progress());
  }

  // Outliner edits: re-parenting into a group (never into a mesh or into itself), renaming,
  // deleting with the Delete key.
  void outlinerEdits() {
    Window->NewScene();
    TScene& scene = Stage().Scene;
    TNode& group = scene.AddGroup("Rig");
    Window->AddPrimitive(static_cast<int>(TPrimitive::Box));
    TNode* box = scene.FindByName("Box");
    QVERIFY(box);
    TOutliner* outliner = Window->Outliner();
    QVERIFY(outliner->MoveInto(*box, &group));
    QCOMPARE(box->Parent(), &group);
    QVERIFY(!outliner->MoveInto(group, box));      // a mesh holds no children
    QVERIFY(!scene.Reparent(group, &group));        // nor a group itself
    QVERIFY(outliner->MoveInto(*box, nullptr));
    QCOMPARE(box->Parent(), nullptr);

    QTreeWidgetItem* item = outliner->ItemOf(box);
    item->setText(0, "Crate");
    QCOMPARE(box->Name, std::string("Crate"));
    item->setText(0, "  ");
    QCOMPARE(box->Name, std::string("Crate"));      // an empty name is refused

    ClickItem(outliner, outliner->ItemOf(box));
    outliner->setFocus();
    QTest::keyClick(outliner, Qt::Key_Delete);
    QVERIFY(!scene.FindByName("Crate"));
    QVERIFY(!scene.Selected());
  }

  // The views: orbiting moves the free camera about its target at its distance; the Camera view
  // shows the scene's camera; the top view looks straight down.
  void viewNavigation() {
    QVERIFY(Window->OpenScene(Example("fountain")));
    TStudioView* view = Window->View();
    view->SetKind(TViewKind::Perspective);
    const TCamera before = view->CurrentCamera();
    view->Orbit(90, 0);
    const TCamera after = view->CurrentCamera();
    auto dist = [](const TCamera& c) {
      return std::hypot(c.Eye.x - c.Target.x, c.Eye.y - c.Target.y, c.Eye.z - c.Target.z);
    };
    QVERIFY(std::abs(dist(before) - dist(after)) < 1e-3);
    QVERIFY(std::abs(before.Eye.x - after.Eye.x) > 1);
    QVERIFY(!Window->Modified());                   // the free camera is not the scene's
    view->SetKind(TViewKind::Camera);
    QCOMPARE(Stage().View.Camera.Eye.y, -16.0f);
    view->SetKind(TViewKind::Top);
    QCOMPARE(Stage().View.ViewMode(), 1);
    QCOMPARE(Stage().View.Width, view->width());
  }

  // The Qt platform's drawing surface lies over the active view: what is drawn stays in its image
  // (right and bottom edges exclusive) until the view is refreshed. Escape's state and the key
  // hook follow the keyboard.
  void qtPlatform() {
    TQtPlatform platform;
    TDrawSurface* surface = platform.ViewSurface(Window->View());
    QVERIFY(surface);
    QCOMPARE(platform.ViewSurface(Window->View()), surface);  // one canvas per view
    auto* canvas = Window->View()->findChild<TQtViewCanvas*>("VantrelViewCanvas");
    QVERIFY(canvas);
    QCOMPARE(canvas->size(), Window->View()->size());
    surface->SetBrushColor(0x0000FF);  // red, as 0x00BBGGRR
    surface->FillRect(10, 10, 12, 12);
    QCOMPARE(canvas->Image().pixel(11, 11), qRgb(255, 0, 0));
    QCOMPARE(qAlpha(canvas->Image().pixel(12, 12)), 0);
    tsxAViewRefresh();
    QCOMPARE(qAlpha(canvas->Image().pixel(11, 11)), 0);

    std::vector<uint32_t> keys;
    QVERIFY(platform.HookKeys([&](uint32_t w, uint32_t) { keys.push_back(w); }));
    QVERIFY(!platform.HookKeys([](uint32_t, uint32_t) {}));  // installed once
    QTest::keyPress(Window.get(), Qt::Key_Escape);
    QVERIFY(platform.EscapePressed());
    QTest::keyRelease(Window.get(), Qt::Key_Escape);
    QVERIFY(!platform.EscapePressed());
    // A tap between two questions counts once; a tap long before the question not at all.
    QTest::keyClick(Window.get(), Qt::Key_Escape);
    QVERIFY(platform.EscapePressed());
    QVERIFY(!platform.EscapePressed());
    QTest::keyClick(Window.get(), Qt::Key_Escape);
    QTest::qWait(700);
    QVERIFY(!platform.EscapePressed());
    QVERIFY(std::count(keys.begin(), keys.end(), 0x1Bu) >= 2);

    // A help file that cannot be read: the platform answers false and shows nothing itself, so
    // that the user sees the panel's one message about it, not two.
    int boxes = 0;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&] {
      if (QWidget* modal = QApplication::activeModalWidget()) {
        ++boxes;
        modal->close();
      }
    });
    closer.start(20);
    QVERIFY(!platform.ShowHelp(Temp.filePath("no-such-help.md").toStdString()));
    QTest::qWait(100);
    closer.stop();
    QCOMPARE(boxes, 0);
  }

  // What the plug-in does is a change of the scene: a new emitter from the panel's File menu and
  // a key added on the curve page mark the document modified and show in the outliner, and the
  // panel's Edit menu takes the key back by name.
  void pluginEditsMarkTheSceneModified() {
    QVERIFY(Window->OpenScene(Example("fountain")));
    QVERIFY(!Window->Modified());
    QMainWindow* panel = ShownPanel();
    QVERIFY(panel);
    auto entry = [&](const QString& text) { return MenuEntry(panel, text); };
    int before = 0;
    Stage().Scene.ForEach([&](TNode&) { ++before; });
    entry("New Emitter")->trigger();
    int after = 0;
    Stage().Scene.ForEach([&](TNode&) { ++after; });
    QCOMPARE(after, before + 1);
    QVERIFY(Window->Modified());
    QVERIFY(Window->windowTitle().contains("*"));
    int items = 0;
    for (QTreeWidgetItemIterator it(Window->Outliner()); *it; ++it) ++items;
    QCOMPARE(items, after);

    const QString path = Temp.filePath("edited.json");
    QVERIFY(Window->SaveScene(path));
    QVERIFY(!Window->Modified());
    auto* tabs = panel->findChild<QTabBar*>("TabControl1");
    // The emitter page's chart (the tool properties panel has one of its own).
    auto* emitterPage = panel->findChild<QWidget*>("EmitterManagerPage");
    auto* chart = emitterPage ? emitterPage->findChild<QWidget*>("CurveChart") : nullptr;
    QVERIFY(tabs && chart);
    // The new emitter alone: its page's Visibility tab holds the curve editor.
    tabs->setCurrentIndex(0);
    auto* tree = panel->findChild<QTreeWidget*>("EmitterTree");
    auto* emitterTabs = panel->findChild<QTabWidget*>("EmitterTabs");
    QVERIFY(tree && emitterTabs && tree->topLevelItemCount() > 0);
    QTreeWidgetItem* newest = tree->topLevelItem(tree->topLevelItemCount() - 1);
    tree->scrollToItem(newest);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(newest).center());
    // Showing the panel folds its "Properties" away; open it.
    auto* fold = panel->findChild<QToolButton*>("PropertiesFoldButton");
    QVERIFY(fold);
    if (!fold->isChecked()) fold->click();
    emitterTabs->setCurrentIndex(1);
    QTest::qWait(20);
    QVERIFY(chart->isVisible());
    QTest::mouseDClick(chart, Qt::LeftButton, {}, QPoint(chart->width() / 2, chart->height() / 3));
    QVERIFY(Window->Modified());
    QAction* undo = entry("Undo");
    QCOMPARE(undo->text(), QString("Undo Add Key"));
    undo->trigger();
    QCOMPARE(entry("Redo")->text(), QString("Redo Add Key"));
    QVERIFY(!entry("Undo")->isEnabled());
  }

  // Force tools from the panel's Toolbox menu, tuned on the "Tools" page, come back from a save
  // and a reopen with their settings: the frame renders as it did before the reopen.
  void toolsTunedSavedAndReopenedRenderTheSame() {
    QVERIFY(Window->OpenScene(Example("fountain")));
    QMainWindow* panel = ShownPanel();
    QVERIFY(panel);
    auto entry = [&](const QString& text) { return MenuEntry(panel, text); };
    auto render = [&] {
      Window->Timeline()->FrameField()->setValue(40);
      const bool ok = Window->RenderFrame();
      Window->RenderWindow()->close();
      return ok ? Window->RenderWindow()->Image() : QImage();
    };
    const QImage plain = render();
    panel->findChild<QTabBar*>("TabControl1")->setCurrentIndex(1);
    auto* list = panel->findChild<QTreeWidget*>("ToolObjectsListView");
    auto* tree = panel->findChild<QTreeWidget*>("ToolPropsTree");
    QVERIFY(list && tree);
    auto choose = [&](QTreeWidget* view, int row) {
      view->scrollToItem(view->topLevelItem(row));
      QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualItemRect(view->topLevelItem(row)).center());
    };
    // The fountain has its pool's deflector already; the new ones come after it.
    const int before = list->topLevelItemCount();
    entry("New Fan")->trigger();
    entry("New Deflector")->trigger();
    QCOMPARE(list->topLevelItemCount(), before + 2);
    QVERIFY(Window->Modified());

    // The fan: Scale 6, falloff Linear, a lifespan of 30 frames twice.
    choose(list, before);
    auto* fanScale = panel->findChild<QDoubleSpinBox*>("FanScale");
    fanScale->setValue(6);
    auto* falloff = panel->findChild<QComboBox*>("FanFalloff");
    falloff->setFocus();
    QTest::keyClick(falloff, Qt::Key_Down);
    choose(tree, 3);
    panel->findChild<QDoubleSpinBox*>("LifespanField")->setValue(30);
    panel->findChild<QDoubleSpinBox*>("LivesField")->setValue(2);
    // The deflector absorbs.
    choose(list, before + 1);
    QVERIFY(Stage().Scene.Selected());  // the user's choice of a row selects its object
    panel->findChild<QCheckBox*>("AbsorbsBox")->click();
    panel->findChild<QDoubleSpinBox*>("DeflectorScale")->setValue(3);

    const QImage tuned = render();
    QVERIFY(!tuned.isNull());
    QVERIFY(tuned != plain);  // the tools act on the fountain
    const QString path = Temp.filePath("tools.json");
    QVERIFY(Window->SaveScene(path));
    QVERIFY(Window->OpenScene(Example("snow")));
    QVERIFY(Window->OpenScene(path));
    QCOMPARE(list->topLevelItemCount(), before + 2);
    QCOMPARE(list->topLevelItem(before)->text(1), QString("Fan"));
    choose(list, before);
    choose(tree, 3);
    QCOMPARE(panel->findChild<QDoubleSpinBox*>("LifespanField")->value(), 30.0);
    QCOMPARE(panel->findChild<QDoubleSpinBox*>("LivesField")->value(), 2.0);
    QCOMPARE(render(), tuned);
  }

  // An effect built from nothing in the panel: New Emitter, a second system, and an edit of each
  // kind the emitter and system pages offer, made with the mouse and keys. Each edit is one step
  // named in the panel's Edit menu and shows in the title as a modified scene; the saved scene,
  // opened again, holds exactly those edits (it saves to the same bytes) with the values set.
  void emitterBuiltFromNothingKeepsEveryEdit() {
    Window->NewScene();
    QMainWindow* panel = ShownPanel();
    QVERIFY(panel);
    panel->findChild<QTabBar*>("TabControl1")->setCurrentIndex(0);
    auto* tree = panel->findChild<QTreeWidget*>("EmitterTree");
    auto* fold = panel->findChild<QToolButton*>("PropertiesFoldButton");
    auto* props = panel->findChild<QTreeWidget*>("PropsTree");
    QVERIFY(tree && fold && props);
    const QString path = Temp.filePath("built.json");
    // Every edit starts from a saved scene, so that the title shows what that edit did.
    auto edit = [&](const QString& step, const std::function<void()>& act) {
      QVERIFY(Window->SaveScene(path));
      QVERIFY(!Window->windowTitle().contains("*"));
      act();
      QVERIFY2(Window->Modified() && Window->windowTitle().contains("*"), qPrintable(step));
      // A new emitter is a new scene object, the host's to take back, not a panel's step.
      if (step != "New Emitter") QCOMPARE(MenuEntry(panel, "Undo")->text(), "Undo " + step);
    };
    auto click = [](QTreeWidget* view, QTreeWidgetItem* item) {
      view->scrollToItem(item);
      QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualItemRect(item).center());
    };
    auto typeInto = [](QAbstractSpinBox* field, const QString& text) {
      field->setFocus();
      field->selectAll();
      QTest::keyClicks(field, text);
      QTest::keyClick(field, Qt::Key_Return);
    };
    auto choose = [](QComboBox* box, int steps) {
      box->setFocus();
      for (int i = 0; i < steps; ++i) QTest::keyClick(box, Qt::Key_Down);
    };
    auto emitterItem = [&] { return tree->topLevelItem(0); };

    edit("New Emitter", [&] { MenuEntry(panel, "New Emitter")->trigger(); });
    if (QTest::currentTestFailed()) return;
    QCOMPARE(tree->topLevelItemCount(), 1);
    if (!fold->isChecked()) fold->click();
    edit("Rename", [&] {
      // The new emitter is selected already (a click on it would start a slow-click rename).
      QCOMPARE(tree->currentItem(), emitterItem());
      tree->setFocus();
      QTest::keyClick(tree, Qt::Key_F2);
      auto* field = tree->findChild<QLineEdit*>();
      QVERIFY(field);
      field->selectAll();
      QTest::keyClicks(field, "Red Stream");
      QTest::keyClick(field, Qt::Key_Return);
      QApplication::processEvents();  // the edit ends after the key
    });
    if (QTest::currentTestFailed()) return;
    QCOMPARE(emitterItem()->text(0), QString("Red Stream"));
    edit("Frame Offset", [&] { typeInto(panel->findChild<QSpinBox*>("FrameOffsetEdit"), "5"); });
    edit("Freeze Frame", [&] { typeInto(panel->findChild<QSpinBox*>("FreezeFrameEdit"), "40"); });
    edit("Auto Scale", [&] {
      for (QCheckBox* box : panel->findChildren<QCheckBox*>())
        if (box->text() == "Faster particles") box->click();
    });
    edit("Add Particle System", [&] { MenuEntry(panel, "Add Particle System")->trigger(); });
    if (QTest::currentTestFailed()) return;
    QCOMPARE(emitterItem()->childCount(), 2);
    edit("Enabled", [&] {
      click(tree, emitterItem()->child(1));
      QTest::keyClick(tree, Qt::Key_Space);
    });
    // The first system: its shape, radius, counts and render mode, and a key on its Flow curve.
    click(tree, emitterItem()->child(0));
    QVERIFY(panel->findChild<QWidget*>("PropsForm")->isVisible());
    click(props, props->findItems("System", Qt::MatchExactly | Qt::MatchRecursive).value(0));
    edit("Emitter Shape", [&] { choose(panel->findChild<QComboBox*>("ShapeBox"), 1); });
    edit("Emitter Radius", [&] { typeInto(panel->findChild<QDoubleSpinBox*>("RadiusSpin"), "0.5"); });
    edit("Focus Shape", [&] { choose(panel->findChild<QComboBox*>("FocusShapeBox"), 1); });
    edit("System Lifespan", [&] { typeInto(panel->findChild<QSpinBox*>("LifespanSpin"), "90"); });
    edit("System Lives", [&] { typeInto(panel->findChild<QSpinBox*>("LivesSpin"), "2"); });
    QTreeWidgetItem* render = props->findItems("Render", Qt::MatchStartsWith | Qt::MatchRecursive).value(0);
    QVERIFY(render);
    click(props, render);
    edit("Render Mode", [&] { choose(panel->findChild<QComboBox*>("RenderModeBox"), 1); });
    click(props, props->findItems("Flow", Qt::MatchExactly | Qt::MatchRecursive).value(0));
    auto* chart = panel->findChild<QWidget*>("CurveHolder")->findChild<QWidget*>("CurveChart");
    QVERIFY(chart && chart->isVisible());
    edit("Add Key", [&] {
      QTest::mouseDClick(chart, Qt::LeftButton, {}, QPoint(chart->width() / 2, chart->height() / 4));
    });
    if (QTest::currentTestFailed()) return;

    // Saved, another scene opened, this one again: the same bytes, and the values set.
    QVERIFY(Window->SaveScene(path));
    QVERIFY(Window->OpenScene(Example("snow")));
    QVERIFY(Window->OpenScene(path));
    const QString again = Temp.filePath("built-again.json");
    QVERIFY(Window->SaveScene(again));
    QFile first(path), second(again);
    QVERIFY(first.open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly));
    const QByteArray saved = first.readAll();
    QCOMPARE(second.readAll(), saved);
    for (const char* set : {"\"Red Stream\"", "\"frameOffset\": 5", "\"freezeFrame\": 40", "\"systemLifespan\": 90",
                            "\"systemLives\": 2", "\"emitterRadius\": 0.5", "\"enabled\": false"})
      QVERIFY2(saved.contains(set), set);
    QCOMPARE(tree->topLevelItem(0)->childCount(), 2);
  }

  // The panel lives in a dock of the studio's window; where the user leaves it is where the next
  // start of the studio puts it (the window's layout is kept when it closes).
  void panelDockIsRemembered() {
    Window->NewScene();
    QVERIFY(ShownPanel());
    auto* dock = Window->findChild<QDockWidget*>("VantrelPanelDock");
    QVERIFY(dock && dock->isVisible());
    Window->addDockWidget(Qt::LeftDockWidgetArea, dock);
    QSettings().remove("dockState");  // nothing from an earlier run
    QVERIFY(Window->close());
    const QByteArray kept = QSettings().value("dockState").toByteArray();
    Window->addDockWidget(Qt::RightDockWidgetArea, dock);
    QVERIFY(Window->restoreState(kept));
    QCOMPARE(Window->dockWidgetArea(dock), Qt::LeftDockWidgetArea);
    Window->show();
  }

  // The panel's Help opens the user guide in the help viewer: the guide's text, with its
  // pictures, and its links followed to the pages beside it.
  void helpShowsTheGuideWithItsPictures() {
    QMainWindow* panel = ShownPanel();
    QVERIFY(panel);
    MenuEntry(panel, "Topics")->trigger();
    QTextBrowser* viewer = nullptr;
    QTRY_VERIFY((viewer = Window->findChild<QTextBrowser*>("helpViewer")) && viewer->isVisible());
    QVERIFY(viewer->toPlainText().startsWith("Vantrel user guide"));
    QTest::qWait(50);
    int pictures = 0;
    for (QTextBlock b = viewer->document()->begin(); b.isValid(); b = b.next())
      for (auto it = b.begin(); !it.atEnd(); ++it) {
        const QTextImageFormat image = it.fragment().charFormat().toImageFormat();
        if (!image.isValid()) continue;
        const QVariant loaded = viewer->document()->resource(QTextDocument::ImageResource, QUrl(image.name()));
        QVERIFY2(loaded.isValid() && !loaded.value<QImage>().isNull(), qPrintable(image.name()));
        ++pictures;
      }
    QVERIFY(pictures > 5);
    viewer->setSource(QUrl("settings.md"));
    QVERIFY(viewer->toPlainText().contains("frameOffset"));
    viewer->close();
  }

  // The outliner and the panel select each other: an emitter clicked in the outliner is the
  // selected row of the panel's tree, a tool clicked there the toolbox's current row, each with
  // its page in front; a row the user chooses in the tree or the toolbox is the outliner's
  // selection.
  void outlinerAndPanelSelectEachOther() {
    QVERIFY(Window->OpenScene(Example("fountain")));
    QMainWindow* panel = ShownPanel();
    QVERIFY(panel);
    auto entry = [&](const QString& text) { return MenuEntry(panel, text); };
    // A second emitter and a second tool (after the fountain and its pool's deflector), each
    // current in the panel when made.
    entry("New Emitter")->trigger();
    entry("New Fan")->trigger();
    TNode* fountain = Stage().Scene.FindByName("Fountain");
    TNode* pool = Stage().Scene.FindByName("Pool");
    TNode* emitter = Stage().Scene.FindByName("VNTX_Emitter");
    TNode* fan = Stage().Scene.FindByName("VNTX_Fan");
    QVERIFY(fountain && pool && emitter && fan);
    auto* tabs = panel->findChild<QTabBar*>("TabControl1");
    auto* tree = panel->findChild<QTreeWidget*>("EmitterTree");
    auto* list = panel->findChild<QTreeWidget*>("ToolObjectsListView");
    QVERIFY(tabs && tree && list);
    QCOMPARE(tree->topLevelItemCount(), 2);
    QCOMPARE(list->topLevelItemCount(), 2);
    QCOMPARE(tree->currentItem(), tree->topLevelItem(1));
    QCOMPARE(list->currentItem(), list->topLevelItem(1));
    auto selectedIn = [](QTreeWidget* view) { return view->selectedItems().value(0); };

    // The page of what the outliner selects comes to the front; a mesh leaves the page alone.
    TOutliner* outliner = Window->Outliner();
    ClickItem(outliner, outliner->ItemOf(fountain));
    QCOMPARE(selectedIn(tree), tree->topLevelItem(0));
    QCOMPARE(tabs->currentIndex(), 0);
    ClickItem(outliner, outliner->ItemOf(pool));
    QCOMPARE(selectedIn(list), list->topLevelItem(0));
    QCOMPARE(selectedIn(tree), tree->topLevelItem(0));  // a tool leaves the tree where it is
    QCOMPARE(tabs->currentIndex(), 1);
    ClickItem(outliner, outliner->ItemOf(Stage().Scene.FindByName("Floor")));
    QCOMPARE(tabs->currentIndex(), 1);
    QCOMPARE(selectedIn(list), list->topLevelItem(0));

    auto choose = [](QTreeWidget* view, QTreeWidgetItem* item) {
      view->scrollToItem(item);
      QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualItemRect(item).center());
    };
    tabs->setCurrentIndex(0);
    choose(tree, tree->topLevelItem(1));
    QCOMPARE(Stage().Scene.Selected(), emitter);
    QCOMPARE(TOutliner::NodeOf(selectedIn(outliner)), emitter);
    tabs->setCurrentIndex(1);
    choose(list, list->topLevelItem(1));
    QCOMPARE(Stage().Scene.Selected(), fan);
    QCOMPARE(TOutliner::NodeOf(selectedIn(outliner)), fan);
    QCOMPARE(selectedIn(tree), tree->topLevelItem(1));
  }

  void cleanupTestCase() {
    Window->NewScene();
    Window.reset();
  }
};

QTEST_MAIN(TStudioTest)
#include "StudioTest.moc"
