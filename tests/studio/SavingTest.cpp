// Nothing lost in the studio: a save that fails on a full disk or in a folder that became
// read-only leaves the old file whole and says why; a studio killed with unsaved changes leaves a
// recovery copy that the next one offers and restores with every edit; closing with unsaved
// changes asks to save, whichever panel made them.
//
// The full and the read-only disk are a small tmpfs mounted in a mount namespace of this test's
// own, so nothing stays mounted when it ends. The killed studio is this program again, started
// with --edit-until-copied.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDoubleSpinBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <functional>
#include <string>

#include "stage/SceneFile.h"
#include "stage/Stage.h"
#include "stage/studio/MainWindow.h"
#include "stage/studio/PluginHost.h"
#include "stage/studio/Recovery.h"
#include "stage/studio/TransformPanel.h"

using namespace stage;
using namespace stage::studio;

namespace {

const char* const kChildRole = "--edit-until-copied";
const QString kExample = EXAMPLES_DIR "/fountain/scene.json";

// Why this process has no mount namespace of its own; empty when it has one.
std::string MountsUnavailable;

// Makes the mounts of this process its own. Runs before any thread starts (user namespaces
// need a single thread).
std::string EnterMountNamespace() {
  auto fail = [](const char* what) { return std::string(what) + ": " + std::strerror(errno); };
  if (geteuid() == 0) {
    if (unshare(CLONE_NEWNS) != 0) return fail("unshare");
  } else {
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return fail("unshare");
    auto put = [](const char* file, const std::string& text) {
      const int fd = open(file, O_WRONLY);
      const bool ok = fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
      if (fd >= 0) close(fd);
      return ok;
    };
    if (!put("/proc/self/setgroups", "deny") || !put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
        !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n"))
      return fail("user namespace map");
  }
  if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return fail("private mounts");
  return {};
}

QByteArray Bytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The settings a scene file holds: every node with its payload, the plug-in's switches and the
// render settings (the camera and the time are the view's, not the user's edits).
QJsonObject Settings(const QString& path) {
  const QJsonObject all = QJsonDocument::fromJson(Bytes(path)).object();
  QJsonObject settings;
  for (const char* key : {"nodes", "pluginSettings", "render"}) settings[key] = all[key];
  return settings;
}

// Answers every message box that opens with the button given, and keeps their texts.
struct TAnswerer {
  QMessageBox::StandardButton Button;
  QStringList Texts;
  QTimer Timer;
  explicit TAnswerer(QMessageBox::StandardButton button) : Button(button) {
    QObject::connect(&Timer, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      Texts << box->text();
      if (QAbstractButton* b = box->button(Button)) b->click();
      else box->reject();
    });
    Timer.start(10);
  }
};

QMainWindow* Panel(TMainWindow& window) {
  auto* panel = window.findChild<QMainWindow*>("VantrelMainPanel");
  if (!panel) {
    QTest::mouseClick(window.PluginButton(), Qt::LeftButton);
    panel = window.findChild<QMainWindow*>("VantrelMainPanel");
  }
  return panel;
}

QAction* Entry(QMainWindow* panel, const QString& text) {
  for (QAction* menu : panel->menuBar()->actions())
    for (QAction* a : menu->menu()->actions())
      if (a->text() == text) return a;
  return nullptr;
}

// The fountain's system, chosen in the emitter tree as a user does: its values fill the
// system page. Answers the radius field of that page.
QDoubleSpinBox* FirstSystemRadius(QMainWindow* panel) {
  auto* tree = panel->findChild<QTreeWidget*>("EmitterTree");
  if (!tree || tree->topLevelItemCount() == 0) return nullptr;
  QTreeWidgetItem* emitter = tree->topLevelItem(0);
  tree->setCurrentItem(emitter->childCount() ? emitter->child(0) : emitter);
  return panel->findChild<QDoubleSpinBox*>("RadiusSpin");
}

// The edits the killed studio makes, each through another road: a system's value in the
// plug-in's panel, an object the plug-in creates, a switch of its menu, and the stage's own
// transform panel. Answers what went wrong, empty when all went through.
QString MakeEdits(TMainWindow& window) {
  QMainWindow* panel = Panel(window);
  if (!panel) return "no panel";
  QDoubleSpinBox* radius = FirstSystemRadius(panel);
  if (!radius) return "no radius field";
  radius->setValue(radius->value() + 1.25);
  if (!window.Modified()) return "the radius did not count as a change";
  Entry(panel, "New Emitter")->trigger();
  Entry(panel, "Depth Dithering")->trigger();
  window.AddPrimitive(static_cast<int>(TPrimitive::Box));
  window.TransformPanel()->Field(0, 0)->setValue(2.75);
  return {};
}

// The studio that is killed: opens dir/scene.json, edits, keeps what it holds in
// dir/expected.json, waits for a recovery copy written after the edits and says so in
// dir/ready, then runs until it is killed.
int EditUntilCopied(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString dir = argv[2];
  TMainWindow window;
  window.SetPlugin(LoadStudioPlugin(REAL_PLUGIN));
  window.show();
  if (!window.OpenScene(dir + "/scene.json")) return 2;
  if (const QString failed = MakeEdits(window); !failed.isEmpty()) {
    std::fprintf(stderr, "%s\n", qPrintable(failed));
    return 3;
  }
  SaveSceneFile(Stage(), (dir + "/expected.json").toStdString());
  const QString copy = TRecovery::CopyPath(window.DocumentPath());
  QFile::remove(copy);  // one written before the last edit would not do
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (QFile::exists(copy)) QFile(dir + "/ready").open(QIODevice::WriteOnly);
  });
  poll.start(50);
  return app.exec();
}

}  // namespace

class TSavingTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TMainWindow> Window;
  QTemporaryDir Temp;

  QString FreshScene(const QString& name) {
    const QString dir = Temp.filePath(name);
    QDir().mkpath(dir);
    QFile::remove(dir + "/scene.json");
    QFile::copy(kExample, dir + "/scene.json");
    return dir + "/scene.json";
  }

 private slots:
  void initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    qputenv("VANTREL_RECOVERY_SECONDS", "0");  // this studio writes copies only when told
    QDir(TRecovery::Folder()).removeRecursively();  // the test folder of an earlier run that stopped half-way
    Window = std::make_unique<TMainWindow>();
    Window->SetPlugin(LoadStudioPlugin(REAL_PLUGIN));
    Window->show();
    QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
  }

  // A full disk, then the folder's file system turned read-only: each save fails with the
  // system's reason, the old file keeps its bytes, no temporary file is left, and the scene
  // keeps its unsaved changes. With room again, the save goes through.
  void failedSavesKeepTheOldFile() {
    if (!MountsUnavailable.empty()) QSKIP(("no mount namespace: " + MountsUnavailable).c_str());
    const QString disk = Temp.filePath("disk");
    QDir().mkpath(disk);
    QVERIFY2(mount("vantrel-test", disk.toLocal8Bit().constData(), "tmpfs", 0, "size=256k") == 0, std::strerror(errno));
    struct TUnmount {
      QString Path;
      ~TUnmount() { umount2(Path.toLocal8Bit().constData(), MNT_DETACH); }
    } unmount{disk};
    const QString path = disk + "/scene.json";
    QVERIFY(QFile::copy(kExample, path));
    QVERIFY(Window->OpenScene(path));
    Window->AddPrimitive(static_cast<int>(TPrimitive::Box));
    QVERIFY(Window->Modified());
    const QByteArray before = Bytes(path);

    // Fill the disk to its last byte.
    {
      QFile filler(disk + "/filler");
      QVERIFY(filler.open(QIODevice::WriteOnly));
      const QByteArray block(4096, 'x');
      while (filler.write(block) == block.size() && filler.flush()) {
      }
    }
    struct TCase {
      const char* name;
      std::function<void()> before;
      const char* reason;
    } cases[] = {
        {"full disk", [] {}, "No space left on device"},
        {"read-only", [&] {
           QFile::remove(disk + "/filler");
           QVERIFY(mount("vantrel-test", disk.toLocal8Bit().constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=256k") == 0);
         }, "Read-only file system"},
    };
    for (const TCase& c : cases) {
      c.before();
      TAnswerer answerer(QMessageBox::Ok);
      QVERIFY2(!Window->SaveScene(path), c.name);
      QCOMPARE(answerer.Texts.size(), 1);
      QVERIFY2(answerer.Texts[0].contains(c.reason) && answerer.Texts[0].contains(path), qPrintable(answerer.Texts[0]));
      QCOMPARE(Bytes(path), before);
      const QStringList left = QDir(disk).entryList(QDir::Files | QDir::Hidden);
      QVERIFY2(left.size() == 1 || (left.size() == 2 && left.contains("filler")), qPrintable(left.join(", ")));
      QVERIFY(Window->Modified());
    }
    QVERIFY(mount("vantrel-test", disk.toLocal8Bit().constData(), "tmpfs", MS_REMOUNT, "size=256k") == 0);
    QVERIFY(Window->SaveScene(path));
    QVERIFY(Bytes(path) != before);
    QCOMPARE(QDir(disk).entryList(QDir::Files | QDir::Hidden), QStringList{"scene.json"});
    QVERIFY(Window->OpenScene(path));
    QVERIFY(Stage().Scene.FindByName("Box"));
  }

  // A studio killed after the interval with edits of every kind: its scene file is as it was,
  // the copy is offered when the scene is opened; declined, the scene opens as saved and the copy
  // stays; restored, every edit is back (the settings bytes match), the scene counts as changed,
  // and saving it removes the copy.
  void restoreAfterKill() {
    const QString path = FreshScene("killed");
    const QString dir = QFileInfo(path).absolutePath();
    const QByteArray saved = Bytes(path);
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VANTREL_RECOVERY_SECONDS", "1");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {kChildRole, dir});
    QVERIFY(child.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir + "/ready") || child.state() == QProcess::NotRunning, 120000);
    QVERIFY2(child.state() == QProcess::Running, "the edited studio ended by itself");
    child.kill();  // SIGKILL
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    QCOMPARE(Bytes(path), saved);
    const QString copy = path + ".recovery";
    QVERIFY(QFile::exists(copy));
    QCOMPARE(TRecovery::NewerCopy(QFileInfo(path).absoluteFilePath()), QFileInfo(copy).absoluteFilePath());
    {
      TAnswerer no(QMessageBox::No);
      QVERIFY(Window->OpenScene(path));
      QCOMPARE(no.Texts.size(), 1);
      QVERIFY2(no.Texts[0].contains("scene.json") && no.Texts[0].contains("recovery copy"), qPrintable(no.Texts[0]));
      QVERIFY(!Window->Modified());
      QVERIFY(!Stage().Scene.FindByName("Box"));
      QVERIFY(QFile::exists(copy));
    }
    {
      TAnswerer yes(QMessageBox::Yes);
      QVERIFY(Window->OpenScene(path));
      QCOMPARE(yes.Texts.size(), 1);
    }
    QVERIFY(Window->Modified());
    QCOMPARE(Window->DocumentPath(), QFileInfo(path).absoluteFilePath());
    SaveSceneFile(Stage(), (dir + "/restored.json").toStdString());
    const QJsonObject expected = Settings(dir + "/expected.json");
    QVERIFY(!expected["nodes"].toArray().isEmpty());
    QVERIFY(Settings(dir + "/expected.json") != Settings(path));  // the edits changed something
    QCOMPARE(Settings(dir + "/restored.json"), expected);
    QVERIFY(Window->SaveScene(path));
    QVERIFY(!QFile::exists(copy));
    QCOMPARE(Settings(path), expected);
  }

  // An untitled scene's copy lies in the recovery folder under the studio's process; a copy
  // left by a studio that has gone is offered at start-up, one of a running studio is not.
  // Discarding the changes removes the copy.
  void untitledCopies() {
    Window->NewScene();
    Window->AddPrimitive(static_cast<int>(TPrimitive::Sphere));
    QVERIFY(Window->Recovery()->WriteNow());
    const QString mine = TRecovery::CopyPath({});
    QVERIFY(QFile::exists(mine));
    QVERIFY(TRecovery::LeftUntitledCopy().isEmpty());  // this studio is running
    // A studio that has gone: a process number no process has.
    const QString gone = TRecovery::Folder() + "/untitled-2147483646.json.recovery";
    QVERIFY(QFile::copy(mine, gone));
    {
      TAnswerer discard(QMessageBox::Discard);
      QVERIFY(Window->MaybeSave());
    }
    Window->NewScene();
    QVERIFY(!QFile::exists(mine));
    QCOMPARE(TRecovery::LeftUntitledCopy(), gone);
    {
      TAnswerer yes(QMessageBox::Yes);
      QVERIFY(Window->OfferUntitledRecovery());
    }
    QVERIFY(Stage().Scene.FindByName("Sphere"));
    QVERIFY(Window->Modified());
    QVERIFY(Window->DocumentPath().isEmpty());
    // Saved, the adopted copy goes with the document's own.
    QVERIFY(Window->SaveScene(Temp.filePath("untitled-saved.json")));
    QVERIFY(!QFile::exists(gone));
  }

  // Closing with unsaved changes asks to save, whichever road the change came: a system's value
  // in the plug-in's panel, an object the plug-in creates, a switch of its menu, the stage's own
  // panels. Cancel keeps the studio open with its changes.
  void closingAsksAfterEveryKindOfChange() {
    const QString path = FreshScene("close");
    QMainWindow* panel = nullptr;
    const struct {
      const char* name;
      std::function<void()> change;
    } changes[] = {
        {"system value", [&] {
           QDoubleSpinBox* radius = FirstSystemRadius(panel);
           radius->setValue(radius->value() + 0.5);
         }},
        {"new emitter", [&] { Entry(panel, "New Emitter")->trigger(); }},
        {"switch", [&] { Entry(panel, "Depth Dithering")->trigger(); }},
        {"stage edit", [&] {
           for (QAction* a : Window->menuBar()->actions())
             for (QAction* entry : a->menu() ? a->menu()->actions() : QList<QAction*>())
               if (entry->text() == "&Box") entry->trigger();
         }},
    };
    for (const auto& c : changes) {
      QVERIFY(Window->OpenScene(path));
      panel = Panel(*Window);
      QVERIFY(panel);
      QVERIFY2(!Window->Modified(), c.name);
      c.change();
      QVERIFY2(Window->Modified(), c.name);
      TAnswerer cancel(QMessageBox::Cancel);
      QVERIFY(!Window->close());
      QCOMPARE(cancel.Texts, QStringList{"The scene has changed. Save it?"});
      QVERIFY(Window->isVisible());
      QVERIFY(Window->Modified());
    }
  }

  void cleanupTestCase() {
    Window->NewScene();
    Window.reset();
  }
};

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], kChildRole) == 0) return EditUntilCopied(argc, argv);
  MountsUnavailable = EnterMountNamespace();
  QApplication app(argc, argv);
  TSavingTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "SavingTest.moc"
