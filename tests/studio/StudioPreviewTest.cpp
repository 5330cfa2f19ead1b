// The preview in the studio as a user meets it: the real plug-in loaded by the studio makes its
// main panel (from its Qt module) at start-up; the plug-in's button shows it; Play runs the
// preview in the studio's view while the studio keeps handling input, and Stop, Escape, closing
// the panel or closing the studio's window end it; the studio's own playback stops under it.
// Qt's offscreen platform; the view is read back as the user would see it (the view with the
// drawing surface over it).
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <algorithm>
#include <cmath>
#include <functional>

#include "DifferingPixels.h"
#include "stage/Stage.h"
#include "stage/studio/MainWindow.h"
#include "stage/studio/PluginHost.h"
#include "stage/studio/StudioView.h"
#include "stage/studio/Timeline.h"

using namespace stage;
using namespace stage::studio;

namespace {

QString Example(const char* name) { return QString(EXAMPLES_DIR "/%1/scene.json").arg(name); }

}  // namespace

class TStudioPreviewTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TMainWindow> Window;
  QWidget* Panel = nullptr;

  template <typename T>
  T* Control(const char* name) {
    T* control = Panel ? Panel->findChild<T*>(name) : nullptr;
    if (!control) qWarning("the panel has no %s", name);
    return control;
  }
  QPushButton* PlayButton() { return Control<QPushButton>("PreviewButton"); }
  QString Status() { return Control<QLabel>("StatusBar")->text(); }
  QImage ViewImage() { return Window->View()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

  // Clicks Play and calls during every 20 ms while the run goes on, with the milliseconds since
  // Play, until it returns true (it should end the run). A run that does not end within 20
  // seconds is stopped with Play and fails the test. Answers how often during ran.
  int PlayUntil(const std::function<bool(int ms)>& during) {
    QElapsedTimer clock;
    int calls = 0;
    bool done = false, forced = false;
    QTimer tick;
    connect(&tick, &QTimer::timeout, this, [&] {
      if (done) {
        if (clock.elapsed() > 20000 && !forced) {
          forced = true;
          PlayButton()->click();
        }
        return;
      }
      ++calls;
      done = during(static_cast<int>(clock.elapsed()));
      if (!done && clock.elapsed() > 20000) {
        done = forced = true;
        PlayButton()->click();
      }
    });
    tick.start(20);
    clock.start();
    QTest::mouseClick(PlayButton(), Qt::LeftButton);  // returns when the run has ended
    tick.stop();
    if (forced) qWarning("the preview did not end; stopped with Play");
    return forced ? -1 : calls;
  }

 private slots:
  void initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    QSettings().remove("dockState");  // the docks where a fresh studio puts them
    Window = std::make_unique<TMainWindow>();
    Window->resize(1000, 700);
    Window->show();
    QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
    Window->SetPlugin(LoadStudioPlugin(REAL_PLUGIN));
    QVERIFY(Window->PluginButton());
  }

  // The panel comes from the plug-in at start-up, hidden, docked at the side of the studio's
  // main window (a dock the user can float, move and close); the plug-in's button shows it with
  // its shuttle hidden.
  void theButtonShowsThePanel() {
    Panel = Window->findChild<QWidget*>("VantrelMainPanel");
    QVERIFY(Panel);
    auto* dock = Window->findChild<QDockWidget*>("VantrelPanelDock");
    QVERIFY(dock);
    QCOMPARE(dock->widget(), Panel);
    QCOMPARE(Window->dockWidgetArea(dock), Qt::RightDockWidgetArea);
    QVERIFY(dock->features().testFlags(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable |
                                       QDockWidget::DockWidgetFloatable));
    QVERIFY(!Panel->isVisible());
    QTest::mouseClick(Window->PluginButton(), Qt::LeftButton);
    QVERIFY(Panel->isVisible());
    QVERIFY(dock->isVisible());
    QCOMPARE(Panel->windowTitle(), QString("VNTX 1.0"));
    QWidget* shuttle = Window->findChild<QWidget*>("VantrelShuttle");
    QVERIFY(shuttle && !shuttle->isVisible());
    QCOMPARE(PlayButton()->text(), QString("Play"));
    QVERIFY(Stage().Shader(tssSHADER_POSTPROCESS));  // the first click turned rendering on
  }

  // In every draw mode, Play draws the fountain's particles over the view and moves them: the
  // view changes from what it showed before Play and from one moment of the run to the next, the
  // status reports particles every 31 frames, and Stop ends the run with the last frame left in
  // the view.
  void playDrawsMovingParticlesInEveryDrawMode() {
    QVERIFY(Panel);
    QVERIFY(Window->OpenScene(Example("fountain")));
    Window->GoToFrame(0);
    auto* drawMode = Control<QComboBox>("DrawModeBox");
    QCOMPARE(drawMode->count(), 5);
    for (int mode = 0; mode < 5; ++mode) {
      drawMode->setCurrentIndex(mode);
      Window->View()->Refresh();
      QApplication::processEvents();
      const QImage before = ViewImage();
      QImage early, late;
      QString status, caption;
      const int calls = PlayUntil([&](int) {
        caption = PlayButton()->text();
        if (Status().contains(" fps - frame ")) {
          if (early.isNull()) {
            early = ViewImage();
          } else if (late.isNull() && Status().contains("frame 06")) {
            late = ViewImage();
            status = Status();
            PlayButton()->click();  // Stop
            return true;
          }
        }
        return false;
      });
      QVERIFY2(calls > 0, "the run did not end at Stop");
      QCOMPARE(caption, QString("Stop"));
      QCOMPARE(PlayButton()->text(), QString("Play"));
      QVERIFY2(!early.isNull() && !late.isNull(), qPrintable(Status()));
      const QRegularExpression report(R"(^ (\d+) p - \d+\.\d fps - frame (\d{3})$)");
      const QRegularExpressionMatch m = report.match(status);
      QVERIFY2(m.hasMatch(), qPrintable(status));
      QVERIFY2(m.captured(1).toInt() > 20, qPrintable(status));
      const int drawn = DifferingPixels(before, late);
      QVERIFY2(drawn > 100, qPrintable(QString("mode %1: %2 pixels differ").arg(mode).arg(drawn)));
      QVERIFY2(DifferingPixels(early, late) > 50, qPrintable(QString("mode %1: the particles did not move").arg(mode)));
      // The run has ended: nothing draws any more.
      const QImage after = ViewImage();
      QTest::qWait(150);
      QCOMPARE(DifferingPixels(after, ViewImage()), 0);
    }
  }

  // While the run holds the thread, the studio's window still repaints and the panel's Rewind
  // and the Escape key get through; input meant for the rest of the studio waits.
  void escapeAndRewindGetThrough() {
    QVERIFY(Panel);
    QVERIFY(Window->OpenScene(Example("fountain")));
    bool rewound = false, preparingAgain = false;
    int frameAtRewind = -1;
    const int calls = PlayUntil([&](int ms) {
      if (!rewound && Status().contains(" fps - frame ")) {
        frameAtRewind = Status().right(3).toInt();
        QTest::mouseClick(Control<QPushButton>("RewindButton"), Qt::LeftButton);
        rewound = true;
        return false;
      }
      if (rewound && !preparingAgain) {
        // The new run starts from the host's frame again: its first report shows frame 031.
        if (Status().endsWith("frame 031")) preparingAgain = true;
        return false;
      }
      if (preparingAgain) {
        QTest::keyClick(Panel, Qt::Key_Escape);
        return true;
      }
      return ms > 15000;
    });
    QVERIFY2(calls > 0, "Escape did not end the run");
    QVERIFY(rewound);
    QVERIFY2(frameAtRewind >= 31, qPrintable(QString::number(frameAtRewind)));
    QVERIFY2(preparingAgain, qPrintable(Status()));
    QCOMPARE(PlayButton()->text(), QString("Play"));
  }

  // With "Animate Objects" the preview carries the scene's time along and the timeline follows:
  // whenever the run lets events through, its frame field and slider show the scene's frame,
  // which moves on; when the run ends they show the frame the time went back to. Without it the
  // time and the timeline stay where they were.
  void theTimelineFollowsTheAnimatedTime() {
    QVERIFY(Panel);
    QVERIFY(Window->OpenScene(Example("fountain")));
    QAction* animate = nullptr;
    for (QAction* a : Panel->findChildren<QAction*>())
      if (a->text() == "Animate Objects") animate = a;
    QVERIFY(animate);
    TTimeline* timeline = Window->Timeline();
    for (const bool on : {true, false}) {
      if (animate->isChecked() != on) animate->trigger();
      QCOMPARE(animate->isChecked(), on);
      Window->GoToFrame(5);
      int lowest = 1 << 30, highest = -(1 << 30), mismatches = 0;
      QVERIFY(PlayUntil([&](int) {
                const int shown = timeline->Frame();
                lowest = std::min(lowest, shown);
                highest = std::max(highest, shown);
                mismatches += shown != static_cast<int>(std::floor(Stage().Scene.Time())) ||
                              timeline->Slider()->value() != shown;
                if (!Status().contains(" fps - frame 03")) return false;  // the first report
                PlayButton()->click();  // Stop
                return true;
              }) > 0);
      const QString what = QString("Animate Objects %1: frames %2 to %3 shown, %4 times not the scene's")
                               .arg(on ? "on" : "off").arg(lowest).arg(highest).arg(mismatches);
      QVERIFY2(mismatches == 0, qPrintable(what));
      if (on)
        QVERIFY2(lowest <= 5 && highest >= 35, qPrintable(what));
      else
        QVERIFY2(lowest == 5 && highest == 5, qPrintable(what));
      QCOMPARE(Stage().Scene.Time(), 5.0f);
      QCOMPARE(timeline->Frame(), 5);
      QCOMPARE(timeline->Slider()->value(), 5);
    }
  }

  // The studio's own playback stops when the preview starts: it would move the scene on and erase
  // the preview's drawing at every step. The timeline stays on its frame while the preview plays.
  void theTimelineStopsPlayingUnderThePreview() {
    QVERIFY(Panel);
    QVERIFY(Window->OpenScene(Example("fountain")));
    Window->GoToFrame(0);
    TTimeline* timeline = Window->Timeline();
    timeline->Play();
    QTest::qWait(100);
    QVERIFY(timeline->Playing());
    QVERIFY(timeline->Frame() > 0);
    int frame = -1, playing = 0, moved = 0;
    QVERIFY(PlayUntil([&](int ms) {
              if (ms < 100) return false;  // the run's first check
              if (frame < 0) frame = timeline->Frame();
              playing += timeline->Playing();
              moved += timeline->Frame() != frame;
              if (!Status().contains(" fps - frame ")) return false;
              PlayButton()->click();  // Stop
              return true;
            }) > 0);
    QCOMPARE(playing, 0);
    QCOMPARE(moved, 0);
    QVERIFY(!timeline->Playing());
    QCOMPARE(timeline->PlayButton()->text(), QString("Play"));
  }

  // Closing the panel ends the run; so does closing the studio's window, before the studio asks
  // its own questions.
  void closingEndsTheRun() {
    QVERIFY(Panel);
    QVERIFY(Window->OpenScene(Example("fountain")));
    QVERIFY(PlayUntil([&](int ms) {
              if (ms < 300) return false;
              Window->findChild<QDockWidget*>("VantrelPanelDock")->close();  // its close button
              return true;
            }) > 0);
    QVERIFY(!Panel->isVisible());
    QCOMPARE(PlayButton()->text(), QString("Play"));

    QTest::mouseClick(Window->PluginButton(), Qt::LeftButton);
    QVERIFY(Panel->isVisible());
    QVERIFY(PlayUntil([&](int ms) {
              if (ms < 300) return false;
              Window->close();
              return true;
            }) > 0);
    QVERIFY(!Window->isVisible());
    QCOMPARE(PlayButton()->text(), QString("Play"));
  }

  // The panel goes with the studio's window; the plug-in stays loaded without it.
  void cleanupTestCase() {
    QPointer<QWidget> panel = Panel;
    Window->NewScene();
    Window.reset();
    QVERIFY(!panel);
  }
};

QTEST_MAIN(TStudioPreviewTest)
#include "StudioPreviewTest.moc"
