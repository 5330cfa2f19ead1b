// vantrel-examples: writes the bundled example scenes (examples/NAME/scene.json), starting
// their emitters from the readable presets of data/presets. The scenes
// are built through the stage's scene API and the plug-in's own controllers, and saved through
// the plug-in's payload callbacks, so every emitter and tool is stored exactly as the plug-in
// stores it, in the readable form the plug-in converts its payloads to.
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "engine/AttractModifier.h"
#include "engine/DeflectorModifier.h"
#include "engine/FanModifier.h"
#include "plugin/VantrelPlugin.h"
#include "scene/Settings.h"
#include "stage/SceneFile.h"
#include "stage/Stage.h"

namespace fs = std::filesystem;

namespace {

using stage::Stage;
using stage::TNode;

constexpr TColor Rgb(int r, int g, int b) {
  return static_cast<TColor>(r) | (static_cast<TColor>(g) << 8) | (static_cast<TColor>(b) << 16);
}

void Flat(TVarSeries& curve, double value) {
  curve.Clear();
  curve.AddKey(0, value);
  curve.AddKey(FarKeyX, value);
}

// A curve through (x, y) pairs, x from 0; the far key holds the last value.
void Keys(TVarSeries& curve, std::initializer_list<TSplineKey> keys) {
  curve.Clear();
  double last = 0;
  for (const TSplineKey& k : keys) {
    curve.AddKey(k.x, k.y);
    last = k.y;
  }
  curve.AddKey(FarKeyX, last);
}

void Gradient(TColorSeries& g, std::initializer_list<std::pair<double, TColor>> stops) {
  g.ResetGradient();
  g.DeleteStop(0);
  for (const auto& [position, color] : stops) g.AddStop(position, color);
}

TNode& Mesh(const std::string& name, stage::TPrimitive kind, std::array<float, 3> size, TNode* parent = nullptr) {
  stage::TMeshSource source;
  source.Kind = kind;
  source.Size = size;
  return Stage().Scene.AddPrimitive(name, source, parent);
}

TNode& NodeOf(tsxSOBJ* obj) { return *Stage().Scene.FromHandle(obj); }

class TExampleWriter {
 public:
  TExampleWriter() : Plugin("") {
    PlugState().PluginId = 1;
    Plugin.PlugInit();
  }

  // Clears the scene (the plug-in's objects go with their scene objects) and sets the camera
  // and the render settings.
  void Begin(CtsxVector3f eye, CtsxVector3f target, float fieldOfView, int width, int height, float lastFrame,
             CtsxVector3f background) {
    Stage().Scene.Clear();
    Stage().View.Camera = stage::TCamera{};
    Stage().View.Camera.Eye = eye;
    Stage().View.Camera.Target = target;
    Stage().View.Camera.FieldOfView = fieldOfView;
    Stage().View.Width = width;
    Stage().View.Height = height;
    Stage().Render = stage::TRenderSettings{};
    Stage().Render.Width = width;
    Stage().Render.Height = height;
    Stage().Render.FirstFrame = 0;
    Stage().Render.LastFrame = lastFrame;
    Stage().Render.Background = background;
    Stage().Scene.SetTime(0);
  }

  // A new emitter object with one system, its scene object under parent (top level for none).
  TEmitterObject& Emitter(const std::string& name, TNode* parent = nullptr) {
    TEmitterObject& emitter = BareEmitter(name, parent);
    emitter.AddSystem();
    return emitter;
  }

  // A new emitter object with the settings and systems of a preset (data/presets/NAME.json),
  // renamed; the examples then change what their scene needs.
  TEmitterObject& Preset(const std::string& preset, const std::string& name, TNode* parent = nullptr) {
    const fs::path file = PresetsFolder / (preset + ".json");
    std::ifstream in(file);
    if (!in) throw std::runtime_error("cannot read the preset " + file.string());
    std::stringstream text;
    text << in.rdbuf();
    TEmitterObject& emitter = BareEmitter(name, parent);
    EmitterFromSettings(ParseSettingsText(text.str()), emitter);
    emitter.Name = name;
    return emitter;
  }

  // A new tool of a kind at the top level of the scene.
  TToolObject& Tool(TToolKind kind, const std::string& name) {
    TToolObject& tool = Plugin.Main.NewTool(kind);
    tool.Name = name;
    NodeOf(tool.SceneObject()).Name = name;
    return tool;
  }

  // Writes folder/scene.json; with a payload folder, also the scene's twin there, NAME.json, with
  // every object's data as the base64 payload the plug-in writes instead of readable settings.
  void Save(const fs::path& folder) {
    fs::create_directories(folder);
    stage::SaveSceneFile(Stage(), folder / "scene.json");
    std::printf("wrote %s\n", (folder / "scene.json").c_str());
    if (PayloadFolder.empty()) return;
    std::vector<stage::TObjectType> kept = Stage().Types.All();
    for (const stage::TObjectType& type : kept) Stage().Types.SetPayloadText(type.Name, nullptr, nullptr);
    fs::create_directories(PayloadFolder);
    const fs::path twin = PayloadFolder / (folder.filename().string() + ".json");
    stage::SaveSceneFile(Stage(), twin);
    for (const stage::TObjectType& type : kept)
      Stage().Types.SetPayloadText(type.Name, type.PayloadToText, type.TextToPayload);
    std::printf("wrote %s\n", twin.c_str());
  }

  TVantrelPlugin Plugin;
  fs::path PresetsFolder;
  fs::path PayloadFolder;  // empty: no twins

 private:
  TEmitterObject& BareEmitter(const std::string& name, TNode* parent) {
    tsxSOBJ* obj = tsxObjectCreate(Plugin.EmitterType.SObjType());
    Stage().Scene.AddToScene(NodeOf(obj), parent);
    NodeOf(obj).Name = name;
    auto emitter = std::make_unique<TEmitterObject>();
    emitter->Name = name;
    emitter->SceneObject = obj;
    return Plugin.Main.Emitters.AddEmitter(std::move(emitter));
  }
};

// A fountain: the fountain preset's jet, a little wider, arcs over and splashes into a wide
// basin, whose water surface is a deflector that bounces the drops.
void Fountain(TExampleWriter& w, const fs::path& root) {
  w.Begin({0, -16, 5}, {0, 0, 2.2f}, 42, 640, 360, 96, {0.02f, 0.03f, 0.07f});
  TNode& floor = Mesh("Floor", stage::TPrimitive::Plane, {20, 20, 0});
  floor.Color = {0.45f, 0.45f, 0.5f};
  TNode& basin = Mesh("Basin", stage::TPrimitive::Box, {6, 6, 0.35f});
  basin.Position.Rest = {0, 0, 0.175f};
  basin.Color = {0.25f, 0.35f, 0.5f};
  TNode& column = Mesh("Column", stage::TPrimitive::Box, {0.5f, 0.5f, 0.5f});
  column.Position.Rest = {0, 0, 0.25f};
  column.Color = {0.6f, 0.6f, 0.62f};

  TEmitterObject& e = w.Preset("fountain", "Fountain");
  NodeOf(e.SceneObject).Position.Rest = {0, 0, 0.45f};
  TEmitter& water = *e.Systems[0];
  Flat(water.Emitter.Focus, 0.88);
  Flat(water.Emitter.BaseSpeed, 0.22);

  TToolObject& deflector = w.Tool(ToolDeflector, "Pool");
  NodeOf(deflector.SceneObject()).Position.Rest = {0, 0, 0.35f};
  auto* d = static_cast<TPlaneDeflectorModifier*>(deflector.Modifier());
  d->Scale = 3;  // the deflector's 2 × 2 rectangle, three times: the basin's water
  Flat(d->Elasticity(), 35);
  w.Save(root / "fountain");
}

// Snow: the snow preset falls from a wide plane high above; a fan blows the flakes sideways,
// stronger and weaker, so they drift.
void Snow(TExampleWriter& w, const fs::path& root) {
  w.Begin({0, -18, 4}, {0, 0, 3.5f}, 45, 640, 360, 120, {0.06f, 0.07f, 0.11f});
  TNode& ground = Mesh("Ground", stage::TPrimitive::Plane, {30, 30, 0});
  ground.Color = {0.85f, 0.87f, 0.9f};
  TNode& house = Mesh("House", stage::TPrimitive::Box, {3, 2, 2.2f});
  house.Position.Rest = {2.5f, 3, 1.1f};
  house.Color = {0.45f, 0.3f, 0.25f};

  TEmitterObject& e = w.Preset("snow", "Cloud");
  TNode& cloud = NodeOf(e.SceneObject);
  cloud.Position.Rest = {0, 2, 10};
  cloud.Rotation.Rest = {180, 0, 0};  // the plane faces down
  TParticleEmitter& flakes = e.Systems[0]->Emitter;
  flakes.EmitterRadius = 11;
  // From this high up the flakes start falling at once, so that they reach the ground early on.
  Flat(flakes.BaseSpeed, 0.06);
  Flat(flakes.BaseSpeedJitter, 0.3);

  TToolObject& fan = w.Tool(ToolFan, "Wind");
  TNode& fanNode = NodeOf(fan.SceneObject());
  fanNode.Position.Rest = {-12, 2, 4};
  fanNode.Rotation.Rest = {0, 90, 0};  // blowing along +X
  auto* f = static_cast<TPlaneFanModifier*>(fan.Modifier());
  f->Scale = 12;
  Keys(f->Power(), {{0, 1.5}, {60, 4}, {120, 1.5}});
  w.Save(root / "snow");
}

// Sparks: the sparks preset on a moving emitter leaves a trail of streaks that bounce off the
// floor and cool from white through orange to dark red.
void Sparks(TExampleWriter& w, const fs::path& root) {
  w.Begin({0, -13, 3}, {0, 0, 1.5f}, 40, 640, 360, 72, {0.0f, 0.0f, 0.0f});
  TNode& floor = Mesh("Floor", stage::TPrimitive::Plane, {20, 20, 0});
  floor.Color = {0.3f, 0.3f, 0.32f};

  TEmitterObject& e = w.Preset("sparks", "Grinder");
  TNode& node = NodeOf(e.SceneObject);
  node.Position.SetKey(0, {-4, 0, 2});
  node.Position.SetKey(36, {4, 0, 3});
  node.Position.SetKey(72, {-4, 0, 2});
  Flat(e.Systems[0]->System.Flow, 30);

  TToolObject& floorDeflector = w.Tool(ToolDeflector, "Floor bounce");
  auto* d = static_cast<TPlaneDeflectorModifier*>(floorDeflector.Modifier());
  d->Scale = 10;
  Flat(d->Elasticity(), 25);
  w.Save(root / "sparks");
}

// A swarm: glowing specks leave the surface of a sphere grouped with their emitter and are
// drawn along the animated path of a leader circling it.
void Swarm(TExampleWriter& w, const fs::path& root) {
  w.Begin({0, -15, 6}, {0, 0, 1.5f}, 45, 640, 360, 120, {0.01f, 0.02f, 0.04f});
  TNode& floor = Mesh("Floor", stage::TPrimitive::Plane, {20, 20, 0});
  floor.Color = {0.3f, 0.32f, 0.36f};
  TNode& group = Stage().Scene.AddGroup("Hive");
  group.Position.Rest = {0, 0, 1.6f};
  stage::TMeshSource sphere;
  sphere.Kind = stage::TPrimitive::Sphere;
  sphere.Radius = 1.2f;
  sphere.Segments = 24;
  sphere.Rings = 12;
  TNode& ball = Stage().Scene.AddPrimitive("Ball", sphere, &group);
  ball.Color = {0.35f, 0.3f, 0.5f};

  TEmitterObject& e = w.Emitter("Surface", &group);
  TEmitter& swarm = *e.Systems[0];
  swarm.Name = "Swarm";
  TParticleEmitter& em = swarm.Emitter;
  TParticleSystem& s = swarm.System;
  em.EmitterShape = ShapeSurface;
  Flat(em.BaseSpeed, 0.03);
  Flat(em.BaseGravity, 0);
  Flat(em.Lifespan, 120);
  Flat(em.LifespanJitter, 0.2);
  Flat(em.BaseSize, 0.3);
  Flat(em.BaseSizeJitter, 0.4);
  Flat(em.BaseIntensity, 1.5);
  Keys(s.Flow, {{0, 10}});
  Keys(s.Alpha, {{0, 0}, {10, 1}, {85, 1}, {100, 0}});
  Gradient(s.ParticleColors, {{1, Rgb(120, 255, 200)}, {60, Rgb(60, 170, 255)}, {100, Rgb(90, 60, 255)}});
  s.RenderMode = RenderIlluminate;
  s.Maps.SetImageName(0, "maps/soft-glow.png");
  s.Maps.OptionsAt(0).AlphaMaster = 0.9f;

  TToolObject& leader = w.Tool(ToolLeader, "Guide");
  TNode& guide = NodeOf(leader.SceneObject());
  const float r = 4.5f;
  for (int k = 0; k <= 8; ++k) {
    const float a = static_cast<float>(k) * 3.14159265f / 4;
    guide.Position.SetKey(static_cast<float>(k * 15), {r * std::cos(a), r * std::sin(a), 2.5f + (k % 2 ? 1.2f : -0.6f)});
  }
  auto* l = static_cast<TPathingModifier*>(leader.Modifier());
  Flat(l->Tension(), 14);
  w.Save(root / "swarm");
}

// A campfire: the fire, smoke and sparks presets in one group over a few logs, the smoke and
// the sparks starting above the flames.
void Campfire(TExampleWriter& w, const fs::path& root) {
  w.Begin({0, -9, 2.6f}, {0, 0, 1.6f}, 45, 640, 360, 96, {0.03f, 0.04f, 0.08f});
  TNode& ground = Mesh("Ground", stage::TPrimitive::Plane, {30, 30, 0});
  ground.Color = {0.35f, 0.3f, 0.25f};
  TNode& group = Stage().Scene.AddGroup("Campfire");
  for (int k = 0; k < 4; ++k) {
    TNode& log = Mesh("Log " + std::to_string(k + 1), stage::TPrimitive::Box, {1.4f, 0.22f, 0.22f}, &group);
    log.Position.Rest = {0, 0, 0.11f + 0.2f * static_cast<float>(k / 2)};
    log.Rotation.Rest = {0, 0, 45.0f * static_cast<float>(k)};
    log.Color = {0.3f, 0.18f, 0.1f};
  }

  TEmitterObject& fire = w.Preset("fire", "Fire", &group);
  NodeOf(fire.SceneObject).Position.Rest = {0, 0, 0.25f};
  TEmitterObject& smoke = w.Preset("smoke", "Smoke", &group);
  NodeOf(smoke.SceneObject).Position.Rest = {0, 0, 1.6f};
  Flat(smoke.Systems[0]->System.Flow, 3);
  TEmitterObject& sparks = w.Preset("sparks", "Embers", &group);
  NodeOf(sparks.SceneObject).Position.Rest = {0, 0, 0.5f};
  TEmitter& embers = *sparks.Systems[0];
  Flat(embers.System.Flow, 2);
  Flat(embers.Emitter.Focus, 0.8);
  Flat(embers.Emitter.BaseSpeed, 0.09);
  Flat(embers.Emitter.BaseGravity, 0.0005);  // the heat carries them up
  Flat(embers.Emitter.Lifespan, 50);
  Flat(embers.Emitter.BaseSize, 0.2);
  w.Save(root / "campfire");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Writes the bundled example scenes (fountain, snow, sparks, swarm, campfire) as FOLDER/NAME/scene.json.",
               "vantrel-examples"};
  app.set_version_flag("--version", std::string("vantrel-examples ") + VANTREL_VERSION);
  std::string folder = "examples";
  app.add_option("FOLDER", folder, "where the scenes go (default: examples)");
  std::string presets = VANTREL_PRESETS_DIR, payloads;
  app.add_option("--presets", presets, "the readable emitter presets the scenes start from (default: the checkout's data/presets)")
      ->type_name("DIR");
  app.add_option("--payload-twins", payloads,
                 "also write each scene as DIR/NAME.json with every object's data as a base64 payload "
                 "(the twins tests/data/payload-scenes holds)")
      ->type_name("DIR");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  const fs::path root = folder;
  try {
    TExampleWriter writer;
    writer.PresetsFolder = presets;
    writer.PayloadFolder = payloads;
    Fountain(writer, root);
    Snow(writer, root);
    Sparks(writer, root);
    Swarm(writer, root);
    Campfire(writer, root);
    stage::Stage().Scene.Clear();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vantrel-examples: %s\n", e.what());
    return 1;
  }
  return 0;
}
