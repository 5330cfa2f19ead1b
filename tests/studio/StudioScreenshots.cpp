// The studio in a real window: starts its own X server (Xvfb) on a free display, opens each
// example scene in the studio with the real plug-in, and takes a screenshot of the window as
// the X server shows it, plus one of the render window after Render Frame. Then the plug-in's
// panel plays the fountain's preview in each of the five draw modes: a screenshot of the studio
// with the panel beside it at the frame the preview stopped on, and the view alone beside the
// same frame rendered by `vantrel render` at the view's size through the same camera. The
// pictures land in the build's test output (SCREENSHOT_DIR) for a person to open and judge; the
// test checks that each shows the scene rather than an empty window, and that the preview drew.
// Before the preview, the fountain's timeline is scrubbed to frame 47 with its slider: the view
// shows that frame's particles, beside the render of the frame.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QTimer>
#include <QToolBar>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>
#include <set>

#include "DifferingPixels.h"
#include "stage/Stage.h"
#include "stage/studio/MainWindow.h"
#include "stage/studio/Outliner.h"
#include "stage/studio/PluginHost.h"
#include "stage/studio/RenderWindow.h"
#include "stage/studio/StudioView.h"
#include "stage/studio/Timeline.h"

namespace {

// An X server of our own for the life of the test.
class TXvfb {
 public:
  bool Start(QString& error) {
    int fds[2];
    if (pipe(fds) != 0) {
      error = "pipe failed";
      return false;
    }
    Pid_ = fork();
    if (Pid_ == 0) {
      close(fds[0]);
      // The server goes with the test, also when the test dies without running destructors,
      // and it keeps none of the test's other descriptors (a lock held around the test run
      // would otherwise stay held by an orphaned server).
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      for (int other = 3; other < 1024; ++other)
        if (other != fds[1]) close(other);
      const std::string fd = std::to_string(fds[1]);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, STDERR_FILENO);
      // Wide enough for the studio's window with the plug-in's panel beside it.
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1720x900x24", "-nolisten", "tcp",
             static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    if (Pid_ < 0) {
      error = "fork failed";
      return false;
    }
    // Xvfb writes its display number once it accepts clients.
    char buffer[32] = {};
    ssize_t n = 0, got;
    while (n < 31 && (got = read(fds[0], buffer + n, 31 - static_cast<size_t>(n))) > 0) {
      n += got;
      if (buffer[n - 1] == '\n') break;
    }
    close(fds[0]);
    if (n <= 0) {
      error = "Xvfb did not start (is it installed? scripts/install-deps installs it)";
      return false;
    }
    Display_ = ":" + QString::fromLatin1(buffer).trimmed();
    return true;
  }
  const QString& Display() const { return Display_; }
  ~TXvfb() {
    if (Pid_ > 0) {
      kill(Pid_, SIGTERM);
      waitpid(Pid_, nullptr, 0);
    }
  }

 private:
  pid_t Pid_ = -1;
  QString Display_;
};

// Distinct colours of a picture, to tell a scene from an empty window.
size_t Colours(const QImage& image) {
  std::set<QRgb> seen;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2) seen.insert(image.pixel(x, y));
  return seen.size();
}

void LetItPaint() {
  // Let the window manager-less server map the windows and Qt paint them.
  for (int i = 0; i < 20; ++i) {
    QCoreApplication::processEvents();
    QTest::qWait(20);
  }
}

QImage GrabWindow(QWidget& window) {
  LetItPaint();
  return window.screen()->grabWindow(window.winId()).toImage();
}

// The screen's rectangle around the studio's window and the panel beside it, as the X server
// shows it.
QImage GrabStudioAndPanel(QWidget& window, QWidget& panel) {
  LetItPaint();
  const QRect area = window.frameGeometry().united(panel.frameGeometry());
  return window.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
}


}  // namespace

int main(int argc, char** argv) {
  TXvfb xvfb;
  QString error;
  if (!xvfb.Start(error)) {
    std::fprintf(stderr, "studio_screenshots: %s\n", qPrintable(error));
    return 1;
  }
  qputenv("DISPLAY", xvfb.Display().toLatin1());
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication app(argc, argv);
  QStandardPaths::setTestModeEnabled(true);
  QDir().mkpath(SCREENSHOT_DIR);

  int failures = 0;
  auto check = [&](bool ok, const QString& what) {
    if (!ok) {
      std::fprintf(stderr, "studio_screenshots: FAILED: %s\n", qPrintable(what));
      ++failures;
    }
  };

  auto window = std::make_unique<stage::studio::TMainWindow>();
  window->SetPlugin(stage::studio::LoadStudioPlugin(REAL_PLUGIN));
  window->resize(1280, 800);
  window->move(0, 0);
  window->show();
  check(QTest::qWaitForWindowExposed(window.get()), "the main window is not shown");
  window->PluginButton()->click();  // rendering on

  for (const char* name : {"fountain", "snow", "sparks", "swarm"}) {
    const QString scene = QString(EXAMPLES_DIR "/%1/scene.json").arg(name);
    check(window->OpenScene(scene), "cannot open " + scene);
    window->GoToFrame(static_cast<int>(stage::Stage().Render.LastFrame / 2));
    // The first emitter or tool selected, as a user would click it in the outliner.
    stage::TNode* custom = nullptr;
    stage::Stage().Scene.ForEach([&](stage::TNode& n) {
      if (!custom && n.Kind() == stage::TNodeKind::Custom) custom = &n;
    });
    if (custom) window->Outliner()->setCurrentItem(window->Outliner()->ItemOf(custom));
    const QImage shot = GrabWindow(*window);
    const QString path = QString(SCREENSHOT_DIR "/studio-%1.png").arg(name);
    check(shot.save(path), "cannot write " + path);
    check(shot.width() >= 1200 && Colours(shot) > 50, QString("the %1 screenshot looks empty").arg(name));
    std::printf("studio_screenshots: %s\n", qPrintable(path));
  }

  // The render window after Render Frame of the fountain.
  window->OpenScene(QString(EXAMPLES_DIR "/fountain/scene.json"));
  window->GoToFrame(48);
  check(window->RenderFrame(), "Render Frame failed");
  stage::studio::TRenderWindow* render = window->RenderWindow();
  render->move(100, 60);
  const QImage shot = GrabWindow(*render);
  const QString path = SCREENSHOT_DIR "/studio-render-fountain.png";
  check(shot.save(path), "cannot write " + path);
  check(Colours(shot) > 50, "the render window looks empty");
  std::printf("studio_screenshots: %s\n", qPrintable(path));

  // ---- The studio while Render Animation runs: the view keeps its own picture when it repaints.
  // The render borrows the stage's view (the scene's camera at the scene's drawport) and lets
  // events through; the render window and the progress dialog stand aside, right of the view.
  {
    render->move(1290, 0);
    window->OpenScene(QString(EXAMPLES_DIR "/fountain/scene.json"));
    const QImage before = GrabWindow(*window);
    const QString frames = SCREENSHOT_DIR "/while-rendering";
    QDir(frames).removeRecursively();  // a file of an earlier run is no sign of this one's progress
    QImage during;
    bool repainted = false;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
      QWidget* progress = window->Progress();
      if (!progress || !during.isNull()) return;
      if (progress->pos() != QPoint(1290, 620)) {
        progress->move(1290, 620);
        return;
      }
      // Anything may ask the view to repaint meanwhile (the plug-in refreshing the views, the
      // user resizing the window): here the test asks, once the first frame is out.
      if (!repainted && QFileInfo::exists(frames + "/0000.png")) {
        window->View()->update();
        repainted = true;
        return;
      }
      if (repainted && QFileInfo::exists(frames + "/0002.png")) during = window->screen()->grabWindow(window->winId()).toImage();
    });
    look.start(10);
    check(window->RenderAnimation({0, 5, frames + "/####.png"}) == 6, "Render Animation failed");
    look.stop();
    check(!during.isNull(), "no screenshot while rendering");
    const QString path = SCREENSHOT_DIR "/studio-while-rendering.png";
    check(during.save(path), "cannot write " + path);
    std::printf("studio_screenshots: %s\n", qPrintable(path));
    const QRect view(window->View()->mapTo(window.get(), QPoint(0, 0)), window->View()->size());
    const int ghost = DifferingPixels(before.copy(view), during.copy(view));
    check(ghost < 200, QString("the view changed in %1 pixels while rendering").arg(ghost));
  }

  // ---- Scrubbing: the timeline's slider dragged along the fountain's frames, through the
  // scene's camera; the view shows each frame's particles (as a render of the frame has them),
  // and the scene stays unmodified. The view at frame 47 lies beside the render of frame 47.
  render->close();
  {
    window->OpenScene(QString(EXAMPLES_DIR "/fountain/scene.json"));
    for (QAction* a : window->findChild<QToolBar*>("viewBar")->actions())
      if (a->text() == "&Camera") a->trigger();
    QSlider* slider = window->Timeline()->Slider();
    slider->setValue(0);
    LetItPaint();
    const QImage start = window->View()->grab().toImage();
    for (int f = 1; f <= 47; ++f) {
      slider->setValue(f);
      QCoreApplication::processEvents();
    }
    LetItPaint();
    const QImage scrubbed = window->View()->grab().toImage();
    check(stage::Stage().Scene.Time() == 47, "the slider did not move the scene to frame 47");
    check(DifferingPixels(start, scrubbed) > 500, "the scrubbed frame shows no particles in the view");
    check(!window->Modified(), "scrubbing modified the scene");
    // Back to an earlier frame: the kept frame is drawn again.
    slider->setValue(30);
    LetItPaint();
    const QImage earlier = window->View()->grab().toImage();
    check(DifferingPixels(earlier, scrubbed) > 100, "going back to frame 30 did not change the particles");
    slider->setValue(47);
    LetItPaint();
    check(DifferingPixels(window->View()->grab().toImage(), scrubbed) == 0, "frame 47 drawn again differs");
    const QString shotPath = SCREENSHOT_DIR "/studio-scrubbed-47.png";
    check(GrabWindow(*window).save(shotPath), "cannot write " + shotPath);
    const QString viewPath = SCREENSHOT_DIR "/fountain-scrubbed-47.png";
    check(scrubbed.save(viewPath), "cannot write " + viewPath);
    const QString rendered = SCREENSHOT_DIR "/fountain-scrubbed-render-47.png";
    QProcess renderIt;
    renderIt.start(VANTREL_PROGRAM, {"render", EXAMPLES_DIR "/fountain/scene.json", "-f", "47", "--size",
                                     QString("%1x%2").arg(scrubbed.width()).arg(scrubbed.height()), "-o", rendered});
    check(renderIt.waitForFinished(120000) && renderIt.exitCode() == 0, "vantrel render failed");
    std::printf("studio_screenshots: %s\nstudio_screenshots: %s\nstudio_screenshots: %s\n", qPrintable(shotPath),
                qPrintable(viewPath), qPrintable(rendered));
  }

  // ---- The preview: the panel beside the studio, the fountain through the scene's camera.
  QWidget* panel = window->findChild<QWidget*>("VantrelMainPanel");
  check(panel && panel->isVisible(), "the plug-in's button did not show its panel");
  if (panel) {
    auto* play = panel->findChild<QPushButton*>("PreviewButton");
    auto* drawMode = panel->findChild<QComboBox*>("DrawModeBox");
    auto* status = panel->findChild<QLabel*>("StatusBar");
    check(play && drawMode && status, "the panel lacks its controls");
    const char* const modes[5] = {"dots", "wire-boxes", "wire-circles", "solid-boxes", "solid-circles"};
    for (int mode = 0; play && drawMode && status && mode < 5; ++mode) {
      window->OpenScene(QString(EXAMPLES_DIR "/fountain/scene.json"));
      // The scene's camera, chosen on the toolbar as a user chooses it.
      for (QAction* a : window->findChild<QToolBar*>("viewBar")->actions())
        if (a->text() == "&Camera") a->trigger();
      // The run catches up to frame 17 and reports its first frame rate 31 frames later, after
      // drawing frame 47: it stops there.
      window->GoToFrame(17);
      drawMode->setCurrentIndex(mode);
      LetItPaint();
      const QImage before = window->View()->grab().toImage();
      QTimer stopAtReport;
      QObject::connect(&stopAtReport, &QTimer::timeout, [&] {
        if (status->text().contains("fps - frame")) play->click();
      });
      stopAtReport.start(5);
      QTest::mouseClick(play, Qt::LeftButton);  // returns when the run has ended
      stopAtReport.stop();
      std::printf("studio_screenshots: %s:%s\n", modes[mode], qPrintable(status->text()));
      const QImage shot = GrabStudioAndPanel(*window, *panel);
      const QString path = QString(SCREENSHOT_DIR "/studio-preview-%1.png").arg(modes[mode]);
      check(shot.save(path), "cannot write " + path);
      std::printf("studio_screenshots: %s\n", qPrintable(path));
      const QImage view = window->View()->grab().toImage();
      check(DifferingPixels(before, view) > 500, QString("the %1 preview drew nothing in the view").arg(modes[mode]));
      if (mode != 2) continue;
      // The README's pair: the view as the preview left it, and the render of that frame at the
      // view's size through the same camera.
      const QString previewPath = SCREENSHOT_DIR "/fountain-preview.png";
      check(view.save(previewPath), "cannot write " + previewPath);
      const QString rendered = SCREENSHOT_DIR "/fountain-render-47.png";
      QProcess render;
      render.start(VANTREL_PROGRAM, {"render", EXAMPLES_DIR "/fountain/scene.json", "-f", "47", "--size",
                                     QString("%1x%2").arg(view.width()).arg(view.height()), "-o", rendered});
      check(render.waitForFinished(120000) && render.exitCode() == 0, "vantrel render failed");
      std::printf("studio_screenshots: %s\nstudio_screenshots: %s\n", qPrintable(previewPath), qPrintable(rendered));
    }
  }

  // The emitter page's Visibility tab while the fountain plays: the curve editor with the
  // emitter's Visibility curve and the current-frame line where the preview stopped.
  if (panel) {
    auto* play = panel->findChild<QPushButton*>("PreviewButton");
    auto* status = panel->findChild<QLabel*>("StatusBar");
    auto* fold = panel->findChild<QToolButton*>("PropertiesFoldButton");
    auto* emitterTabs = panel->findChild<QTabWidget*>("EmitterTabs");
    // The emitter page's chart (the tool properties panel has one of its own).
    auto* emitterPage = panel->findChild<QWidget*>("EmitterManagerPage");
    auto* chart = emitterPage ? emitterPage->findChild<QWidget*>("CurveChart") : nullptr;
    check(fold && emitterTabs && chart, "the panel has no emitter page with the curve editor");
    if (play && status && fold && emitterTabs && chart) {
      window->OpenScene(QString(EXAMPLES_DIR "/fountain/scene.json"));
      window->GoToFrame(17);
      if (!fold->isChecked()) fold->click();
      emitterTabs->setCurrentIndex(1);
      panel->resize(panel->width(), 760);
      LetItPaint();
      const QImage before = chart->grab().toImage();
      QTimer stopAtReport;
      QObject::connect(&stopAtReport, &QTimer::timeout, [&] {
        if (status->text().contains("fps - frame")) play->click();
      });
      stopAtReport.start(5);
      QTest::mouseClick(play, Qt::LeftButton);
      stopAtReport.stop();
      const QImage shot = GrabStudioAndPanel(*window, *panel);
      const QString path = SCREENSHOT_DIR "/studio-curve-preview.png";
      check(shot.save(path), "cannot write " + path);
      check(DifferingPixels(before, chart->grab().toImage()) > 20, "the current-frame line did not move");
      std::printf("studio_screenshots: %s\n", qPrintable(path));
    }
  }

  // The fountain's system chosen in the emitter tree: the system properties panel on its curve
  // page ("Flow") and on its render page with the image maps editor docked in it.
  if (panel) {
    window->OpenScene(QString(EXAMPLES_DIR "/fountain/scene.json"));
    window->GoToFrame(40);
    auto* tabs = panel->findChild<QTabBar*>("TabControl1");
    auto* emitters = panel->findChild<QTreeWidget*>("EmitterTree");
    auto* fold = panel->findChild<QToolButton*>("PropertiesFoldButton");
    auto* props = panel->findChild<QTreeWidget*>("PropsTree");
    check(tabs && emitters && fold && props && emitters->topLevelItemCount() > 0 &&
              emitters->topLevelItem(0)->childCount() > 0,
          "the panel has no emitter tree with a system and no system properties");
    if (tabs && emitters && fold && props && emitters->topLevelItemCount() > 0 &&
        emitters->topLevelItem(0)->childCount() > 0) {
      tabs->setCurrentIndex(0);
      if (!fold->isChecked()) fold->click();
      QTreeWidgetItem* system = emitters->topLevelItem(0)->child(0);
      emitters->scrollToItem(system);
      QTest::mouseClick(emitters->viewport(), Qt::LeftButton, {}, emitters->visualItemRect(system).center());
      const struct {
        const char* entry;
        const char* file;
      } pages[] = {{"Flow", "studio-system-flow.png"}, {"Render", "studio-system-render.png"}};
      for (const auto& page : pages) {
        const QList<QTreeWidgetItem*> found = props->findItems(page.entry, Qt::MatchExactly | Qt::MatchRecursive);
        check(!found.isEmpty(), QString("no \"%1\" entry").arg(page.entry));
        if (found.isEmpty()) continue;
        props->scrollToItem(found.front());
        QTest::mouseClick(props->viewport(), Qt::LeftButton, {}, props->visualItemRect(found.front()).center());
        const QImage shot = GrabStudioAndPanel(*window, *panel);
        const QString path = QString(SCREENSHOT_DIR "/") + page.file;
        check(shot.save(path), "cannot write " + path);
        std::printf("studio_screenshots: %s\n", qPrintable(path));
      }
    }
  }

  // The "Tools" page: a tool of each kind added to the fountain from the panel's Toolbox menu,
  // each chosen in the list (so selected in the view) with its page shown; then the lifespan page.
  if (panel) {
    window->OpenScene(QString(EXAMPLES_DIR "/fountain/scene.json"));
    window->GoToFrame(24);
    auto* tabs = panel->findChild<QTabBar*>("TabControl1");
    auto* list = panel->findChild<QTreeWidget*>("ToolObjectsListView");
    auto* tree = panel->findChild<QTreeWidget*>("ToolPropsTree");
    check(tabs && list && tree, "the panel has no tools page");
    auto click = [](QTreeWidget* view, int row) {
      view->scrollToItem(view->topLevelItem(row));
      QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualItemRect(view->topLevelItem(row)).center());
    };
    const char* const kinds[6] = {"Deflector", "Fan", "Attractor", "Repulsor", "Leader", "Gravitron"};
    for (int k = 0; tabs && list && tree && k < 6; ++k) {
      tabs->setCurrentIndex(1);
      for (QAction* a : panel->findChildren<QAction*>())
        if (a->text() == QString("New %1").arg(kinds[k])) {
          a->trigger();
          break;
        }
      click(list, list->topLevelItemCount() - 1);
      const QString lower = QString(kinds[k]).toLower();
      const QImage shot = GrabStudioAndPanel(*window, *panel);
      const QString path = QString(SCREENSHOT_DIR "/toolbox-%1.png").arg(lower);
      check(shot.save(path), "cannot write " + path);
      std::printf("studio_screenshots: %s\n", qPrintable(path));
    }
    if (list && tree && list->topLevelItemCount() > 1) {
      click(list, 2);  // the fan (after the pool's deflector and the new one)
      click(tree, 2);  // "Power Jitter"
      QImage shot = GrabStudioAndPanel(*window, *panel);
      QString path = SCREENSHOT_DIR "/toolbox-fan-power-jitter.png";
      check(shot.save(path), "cannot write " + path);
      click(tree, 3);  // "Lifespan"
      shot = GrabStudioAndPanel(*window, *panel);
      path = SCREENSHOT_DIR "/toolbox-lifespan.png";
      check(shot.save(path), "cannot write " + path);
      std::printf("studio_screenshots: %s\n", qPrintable(path));
    }
  }

  window.reset();
  return failures == 0 ? 0 : 1;
}
