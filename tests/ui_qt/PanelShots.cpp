// Pictures to look at: the main panel and the shuttle in real windows (run under Xvfb), over a
// plain QMainWindow standing in for the host, and a preview frame of an example scene in each
// of the five draw modes, as the preview draws it (particles on the headless view surface, with
// the scene objects' wireframes under them).
//
// Given the data folder, also the image maps editor's four pages in a window of their own over
// the fire preset's flames, its picture and gradients.
//
//   vantrel-panel-shots EXAMPLES_DIR OUT_DIR [DATA_DIR]
//
// Exit code 0 when every picture was written, 1 otherwise.
#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QMainWindow>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <cstdio>
#include <filesystem>

#include "hostapi/Platform.h"
#include "plugin/VantrelPlugin.h"
#include "render/BitmapCache.h"
#include "stage/SceneFile.h"
#include "stage/Stage.h"
#include "ui/qt/ColorButton.h"
#include "ui/qt/EmitterManForm.h"
#include "ui/qt/MainForm.h"
#include "ui/qt/PropsForm.h"
#include "ui/qt/ParticleMapsForm.h"
#include "ui/qt/ShuttleForm.h"
#include "ui/qt/VarChartForm.h"
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// The view as the user sees it: the scene's wireframes, then the particles drawn on top.
QImage ViewImage(const THeadlessDrawSurface& s) {
  QImage image(s.Width(), s.Height(), QImage::Format_RGB32);
  image.fill(QColor(40, 40, 48));
  QPainter p(&image);
  p.setPen(QColor(110, 110, 130));
  for (const stage::TLineSegment& l : stage::Stage().View.Lines) p.drawLine(QPointF(l.X0, l.Y0), QPointF(l.X1, l.Y1));
  p.end();
  for (int y = 0; y < s.Height(); ++y)
    for (int x = 0; x < s.Width(); ++x)
      if (const uint32_t c = s.At(x, y)) image.setPixel(x, y, qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
  return image;
}

bool Save(const QImage& image, const std::filesystem::path& file) {
  const bool ok = !image.isNull() && image.save(QString::fromStdString(file.string()));
  std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "cannot write", file.string().c_str());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: vantrel-panel-shots EXAMPLES_DIR OUT_DIR [DATA_DIR]\n");
    return 2;
  }
  const std::filesystem::path examples = argv[1], out = argv[2];
  std::filesystem::create_directories(out);

  auto owned = std::make_unique<THeadlessPlatform>();
  THeadlessPlatform& platform = *owned;
  platform.OnProcessEvents = [] { QApplication::processEvents(); };
  InstallPlatform(std::move(owned));

  stage::ResetStage();
  TVantrelPlugin plugin("");
  PlugState().PluginId = 1;
  plugin.PlugInit();
  TMain& main = plugin.Main;
  try {
    stage::LoadSceneFile(stage::Stage(), examples / "fountain" / "scene.json");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  platform.Surface.Resize(stage::Stage().View.Width, stage::Stage().View.Height);

  QMainWindow host;
  host.setWindowTitle("host");
  host.resize(700, 560);
  host.move(0, 0);
  host.show();
  auto form = CreateMainPanel(main, &host);
  form->move(20, 20);
  main.LeftClick();  // the plug-in's button: rendering on, the panel shown

  bool ok = true;
  // Each preview run stops after a number of frames; the last frame's view is kept.
  QImage frame;
  int frames = 0, stopAfter = 0;
  std::function<void()> atFrame;
  main.Toolbox.OnShowFrame = [&](int32_t) {
    frame = ViewImage(platform.Surface);
    platform.Surface.Clear();  // the next frame's erase, on a surface the stage cannot refresh
    if (atFrame) atFrame();
    if (++frames == stopAfter) main.PlayClicked();
  };

  // The panel while the fountain plays, in real windows.
  stage::Stage().Scene.SetTime(30);
  stopAfter = 40;
  atFrame = [&] {
    if (frames != 35) return;
    QApplication::processEvents();
    ok &= Save(form->grab().toImage(), out / "panel.png");
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen) ok &= Save(screen->grabWindow(0).toImage(), out / "desktop.png");
  };
  QTest::mouseClick(form->PreviewButton, Qt::LeftButton);
  atFrame = nullptr;

  form->Shrink();
  QApplication::processEvents();
  ok &= Save(form->Shuttle->grab().toImage(), out / "shuttle.png");
  form->Grow();

  // One frame of each draw mode.
  const char* modes[] = {"dots", "wire-boxes", "wire-circles", "solid-boxes", "solid-circles"};
  for (int mode = 0; mode < 5; ++mode) {
    form->DrawModeBox->setCurrentIndex(mode);
    stage::Stage().Scene.SetTime(90);
    frames = 0;
    stopAfter = 2;
    QTest::mouseClick(form->PreviewButton, Qt::LeftButton);
    ok &= Save(frame, out / (std::string("preview-") + modes[mode] + ".png"));
  }
  // The emitter manager with its properties open: the tree over the emitter page, its Settings
  // tab, then its Visibility tab with the curve editor.
  main.Emitters.SetFoldExpanded(true);
  form->resize(form->width(), 760);
  main.Emitters.SelectNode(0, -1);
  form->EmitterMan->EmitterTabs->setCurrentIndex(0);
  QApplication::processEvents();
  ok &= Save(form->grab().toImage(), out / "emman-settings.png");
  form->EmitterMan->EmitterTabs->setCurrentIndex(1);
  QApplication::processEvents();
  ok &= Save(form->grab().toImage(), out / "emman-visibility.png");
  main.Emitters.SelectNode(0, 0);
  QApplication::processEvents();
  ok &= Save(form->grab().toImage(), out / "emman-system.png");
  main.Emitters.SelectNode(0, -1);

  // The curve editor (on the Visibility tab): a percent curve of the fountain's first system
  // with marks shown, then its Flow curve while the preview plays, with the current-frame line.
  TEmitter& slot = *main.Emitters.CurrentEmitter->Systems.front();
  TVarSeries& size = slot.System.Variable(0);
  size.Clear();
  for (const TSplineKey& k : std::vector<TSplineKey>{{0, 0.4}, {20, 1.6}, {65, 1.1}, {100, 0.2}, {8192, 0.2}})
    size.AddKey(k.x, k.y);
  main.Curves.ShowCurve(TCurveRef{TCurveSet::System, slot.Id, 0});
  main.Curves.ShowMarksAction();
  QApplication::processEvents();
  ok &= Save(form->grab().toImage(), out / "curve-percent-marks.png");
  main.Curves.ShowMarksAction();
  main.Curves.ShowCurve(TCurveRef{TCurveSet::System, slot.Id, SystemFlowCurve});
  stage::Stage().Scene.SetTime(30);
  frames = 0;
  stopAfter = 40;
  atFrame = [&] {
    if (frames != 35) return;
    QApplication::processEvents();
    ok &= Save(form->grab().toImage(), out / "curve-flow-preview.png");
  };
  QTest::mouseClick(form->PreviewButton, Qt::LeftButton);
  atFrame = nullptr;

  // The system properties panel over the fountain's first system, in a window of the size the
  // emitter manager's fold gives it: the system page, a curve page on its jitter tab, and the
  // render page.
  {
    QWidget window;
    window.setWindowTitle("System Properties");
    window.setFont(form->font());  // as inside the main panel
    auto* column = new QVBoxLayout(&window);
    column->setContentsMargins(2, 2, 2, 2);
    auto* props = new TPropsForm(main.Properties, &window);
    column->addWidget(props);
    props->AdoptCurveEditor(new TVarChartForm(main.Curves, nullptr));
    window.resize(400, 340);
    window.move(740, 20);
    window.show();
    slot.Emitter.LifespanJitter.Clear();
    for (const TSplineKey& k : std::vector<TSplineKey>{{0, 0.2}, {45, 0.6}, {90, 0.35}, {8192, 0.35}})
      slot.Emitter.LifespanJitter.AddKey(k.x, k.y);
    main.Properties.ShowSystem(slot.Id);
    const auto shot = [&](int entry, int tab, const char* name) {
      main.Properties.SelectEntry(entry);
      main.Properties.SelectTab(tab);
      QApplication::processEvents();
      ok &= Save(window.grab().toImage(), out / name);
    };
    shot(PropsSystemEntry, 0, "sysprops-system.png");
    shot(4, 1, "sysprops-curve-jitter.png");
    shot(PropsRenderEntry, 0, "sysprops-render.png");
  }

  // The image maps editor over the fire preset's flames: each page, and the preview once more
  // with its transparency and origin shown.
  if (argc == 4) {
    const std::filesystem::path data = argv[3];
    SetDataFolder((data / "").string());
    if (!main.Emitters.LoadEmitterSettings((data / "presets" / "fire.vte").string())) return 1;
    main.Maps.ShowSystem(main.Emitters.CurrentEmitter->Systems.front()->Id);
    TParticleMapsForm maps(main.Maps, nullptr);
    maps.setWindowTitle("Image Maps");
    maps.resize(440, 300);
    maps.move(40, 40);
    maps.show();
    const char* pages[] = {"image-maps", "particle-color", "system-color", "adv"};
    for (int page = 0; page < 4; ++page) {
      maps.Pages->setCurrentIndex(page);
      QApplication::processEvents();
      ok &= Save(maps.grab().toImage(), out / (std::string("maps-") + pages[page] + ".png"));
    }
    maps.Pages->setCurrentIndex(0);
    main.Maps.ShowTransparencyAction();
    main.Maps.ShowOriginAction();
    QApplication::processEvents();
    ok &= Save(maps.grab().toImage(), out / "maps-image-maps-transparency.png");
  }

  form.reset();
  stage::Stage().Scene.Clear();
  return ok ? 0 : 1;
}
