// The studio in a real window: starts its own X server (Xvfb) on a free display, opens each
// example scene in the studio with the real plug-in, and takes a screenshot of the window as
// the X server shows it, plus one of the render window after Render Frame. The pictures land
// in the build's test output (SCREENSHOT_DIR) for a person to open and judge; the test checks
// that each shows the scene rather than an empty window.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QStandardPaths>
#include <QToolButton>
#include <QtTest>
#include <set>

#include "stage/Stage.h"
#include "stage/studio/MainWindow.h"
#include "stage/studio/Outliner.h"
#include "stage/studio/PluginHost.h"
#include "stage/studio/RenderWindow.h"

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
      const std::string fd = std::to_string(fds[1]);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, STDERR_FILENO);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1400x900x24", "-nolisten", "tcp",
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

QImage GrabWindow(QWidget& window) {
  // Let the window manager-less server map it and Qt paint it.
  for (int i = 0; i < 20; ++i) {
    QCoreApplication::processEvents();
    QTest::qWait(20);
  }
  return window.screen()->grabWindow(window.winId()).toImage();
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

  window.reset();
  return failures == 0 ? 0 : 1;
}
