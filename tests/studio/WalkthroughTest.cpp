// The user guide's walk-through taken in the studio (offscreen, the real plug-in): the red
// stream onto a deflecting cube, and the campfire from the presets. Each is saved, and the saved
// scene must hold exactly what the steps set (every other value as a new object or the preset
// had it), and render with `vantrel render` showing the particles.
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <functional>
#include <map>

#include "Walkthrough.h"
#include "stage/studio/MainWindow.h"
#include "stage/studio/PluginHost.h"

using stage::studio::TMainWindow;

namespace {

QJsonObject ReadJson(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QJsonDocument::fromJson(f.readAll()).object();
}

// The scene's nodes, children included, by name.
QJsonObject Node(const QJsonObject& scene, const QString& name) {
  std::function<QJsonObject(const QJsonArray&)> find = [&](const QJsonArray& nodes) {
    for (const QJsonValue& n : nodes) {
      if (n["name"].toString() == name) return n.toObject();
      const QJsonObject inChild = find(n["children"].toArray());
      if (!inChild.isEmpty()) return inChild;
    }
    return QJsonObject();
  };
  return find(scene["nodes"].toArray());
}

// Where two JSON values differ ("systems/0/flow: 5 against 8"), or empty; numbers within the
// float precision the settings are kept in.
QString Difference(const QJsonValue& got, const QJsonValue& want, const QString& at = "") {
  if (got.isDouble() && want.isDouble()) {
    const double g = got.toDouble(), w = want.toDouble();
    if (std::abs(g - w) <= 1e-6 * std::max(1.0, std::abs(w))) return {};
  } else if (got.isObject() && want.isObject()) {
    const QJsonObject g = got.toObject(), w = want.toObject();
    for (const QString& key : g.keys())
      if (!w.contains(key)) return at + key + ": not expected, saved as " + QJsonDocument(QJsonArray{g[key]}).toJson(QJsonDocument::Compact);
    for (const QString& key : w.keys()) {
      if (!g.contains(key)) return at + key + ": missing";
      const QString d = Difference(g[key], w[key], at + key + "/");
      if (!d.isEmpty()) return d;
    }
    return {};
  } else if (got.isArray() && want.isArray()) {
    const QJsonArray g = got.toArray(), w = want.toArray();
    if (g.size() != w.size()) return at + QString(": %1 items, not %2").arg(g.size()).arg(w.size());
    for (int i = 0; i < g.size(); ++i) {
      const QString d = Difference(g[i], w[i], at + QString::number(i) + "/");
      if (!d.isEmpty()) return d;
    }
    return {};
  } else if (got == want) {
    return {};
  }
  const auto text = [](const QJsonValue& v) { return QString(QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact)); };
  return at + ": saved " + text(got) + ", expected " + text(want);
}

#define COMPARE_JSON(got, want)                                   \
  do {                                                            \
    const QString d_ = Difference((got), (want));                 \
    QVERIFY2(d_.isEmpty(), qPrintable(d_));                       \
  } while (0)

QJsonValue Parse(const char* json) { return QJsonDocument::fromJson(json).object(); }

// Renders one frame of a saved scene with the command-line renderer.
QImage RenderWithCli(const QString& scene, int frame, const QString& out) {
  QProcess render;
  render.start(VANTREL_PROGRAM, {"render", scene, "-f", QString::number(frame), "-o", out});
  if (!render.waitForFinished(180000) || render.exitStatus() != QProcess::NormalExit || render.exitCode() != 0) {
    qWarning("%s", render.readAllStandardError().constData());
    return {};
  }
  return QImage(out).convertToFormat(QImage::Format_RGB32);
}

int PixelsWhere(const QImage& image, const std::function<bool(int, int, int)>& colour) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      n += colour(qRed(p), qGreen(p), qBlue(p));
    }
  return n;
}

}  // namespace

class TWalkthroughTest : public QObject {
  Q_OBJECT
  std::unique_ptr<TMainWindow> Window;
  QTemporaryDir Temp;

 private slots:
  void initTestCase() {
    QStandardPaths::setTestModeEnabled(true);
    Window = std::make_unique<TMainWindow>();
    Window->SetPlugin(stage::studio::LoadStudioPlugin(REAL_PLUGIN));
    Window->resize(1280, 800);
    Window->show();
    QVERIFY(QTest::qWaitForWindowExposed(Window.get()));
  }

  // The red stream: the emitter holds its shape, flow, lifespan, speed and red colour and nothing
  // else; the cube, the emitter and the deflector stand where the transform panel put them; the
  // rendered frame shows red drops.
  void streamSavesWhatItsStepsSet() {
    TWalkthrough walk(*Window, PRESETS_DIR);
    QVERIFY2(walk.BuildStream([](const QString&) {}), qPrintable(walk.Error()));
    const QString path = Temp.filePath("stream.json");
    QVERIFY(Window->SaveScene(path));
    const QJsonObject scene = ReadJson(path);

    const QJsonObject cube = Node(scene, "Box");
    COMPARE_JSON(cube["position"], QJsonArray({0, 0, 1}));
    COMPARE_JSON(cube["scale"], QJsonArray({2, 2, 2}));
    COMPARE_JSON(Node(scene, "Plane")["scale"], QJsonArray({3, 3, 1}));
    const QJsonObject emitter = Node(scene, "VNTX_Emitter");
    COMPARE_JSON(emitter["position"], QJsonArray({0, 0, 6}));
    COMPARE_JSON(emitter["rotation"], QJsonArray({180, 0, 0}));
    COMPARE_JSON(emitter["settings"], Parse(R"({
      "name": "Emitter",
      "systems": [{
        "name": "Particles",
        "emitterShape": "Point", "flow": 8, "lifespan": 90, "baseSpeed": 0.05,
        "systemColor": {"stops": [[1, "#ff1a1a"]]}
      }]})"));
    const QJsonObject deflector = Node(scene, "VNTX_Deflector");
    COMPARE_JSON(deflector["position"], QJsonArray({0, 0, 2}));
    COMPARE_JSON(deflector["settings"], Parse(R"({"name": "Deflector", "kind": "Deflector", "elasticity": 80})"));

    const QImage frame = RenderWithCli(path, 60, Temp.filePath("stream.png"));
    QVERIFY(!frame.isNull());
    const int red = PixelsWhere(frame, [](int r, int g, int b) { return r > 120 && g < r / 3 && b < r / 3; });
    QVERIFY2(red > 300, qPrintable(QString("%1 red pixels").arg(red)));
  }

  // The campfire: each emitter holds its preset's settings with only the steps' changes (the
  // flame's lifespan, the smoke's speed); the fan stands beside the fire, turned, and scaled; the
  // rendered frame shows the fire.
  void campfireSavesWhatItsStepsSet() {
    TWalkthrough walk(*Window, PRESETS_DIR);
    QVERIFY2(walk.BuildCampfire([](const QString&) {}), qPrintable(walk.Error()));
    const QString path = Temp.filePath("campfire.json");
    QVERIFY(Window->SaveScene(path));
    const QJsonObject scene = ReadJson(path);

    // A preset as the plug-in writes it (its defaults left out): through an emitter file and back.
    const auto preset = [&](const char* name, const std::function<void(QJsonObject&)>& change) {
      const QString vte = Temp.filePath(QString("%1.vte").arg(name)), json = Temp.filePath(QString("%1.json").arg(name));
      for (const QStringList& args : {QStringList{"convert", QString(PRESET_SOURCES "/%1.json").arg(name), vte},
                                      QStringList{"convert", vte, json}})
        if (QProcess::execute(VANTREL_SETTINGS, args) != 0) return QJsonObject();
      QJsonObject settings = ReadJson(json);
      QJsonArray systems = settings["systems"].toArray();
      QJsonObject system = systems[0].toObject();
      change(system);
      systems[0] = system;
      settings["systems"] = systems;
      return settings;
    };
    std::map<QString, QJsonObject> emitters;
    std::function<void(const QJsonArray&)> collect = [&](const QJsonArray& nodes) {
      for (const QJsonValue& n : nodes) {
        if (n["objectType"].toString() == "VNTX_Emitter") emitters[n["settings"]["name"].toString()] = n.toObject();
        collect(n["children"].toArray());
      }
    };
    collect(scene["nodes"].toArray());
    QCOMPARE(emitters.size(), size_t(3));
    COMPARE_JSON(emitters["Fire"]["settings"], preset("fire", [](QJsonObject& s) { s["lifespan"] = 42; }));
    COMPARE_JSON(emitters["Smoke"]["settings"], preset("smoke", [](QJsonObject& s) { s["baseSpeed"] = 0.02; }));
    COMPARE_JSON(emitters["Sparks"]["settings"], preset("sparks", [](QJsonObject&) {}));
    const QJsonObject fan = Node(scene, "VNTX_Fan");
    COMPARE_JSON(fan["position"], QJsonArray({-3, 0, 2.5}));
    COMPARE_JSON(fan["rotation"], QJsonArray({0, 90, 0}));
    COMPARE_JSON(fan["settings"], Parse(R"({"name": "Fan", "kind": "Fan", "scale": 4})"));

    const QImage frame = RenderWithCli(path, 40, Temp.filePath("campfire.png"));
    QVERIFY(!frame.isNull());
    const int flame = PixelsWhere(frame, [](int r, int g, int b) { return r > 180 && g > 60 && b < 120 && r > g + 40; });
    QVERIFY2(flame > 100, qPrintable(QString("%1 flame pixels").arg(flame)));
  }

  void cleanupTestCase() {
    Window->NewScene();
    Window.reset();
  }
};

QTEST_MAIN(TWalkthroughTest)
#include "WalkthroughTest.moc"
