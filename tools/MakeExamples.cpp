// vantrel-examples: writes the bundled example scenes (examples/NAME/scene.json). The scenes
// are built through the stage's scene API and the plug-in's own controllers, and saved through
// the plug-in's payload callbacks, so every emitter and tool is stored exactly as the plug-in
// stores it, in the readable form the plug-in converts its payloads to.
#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "engine/AttractModifier.h"
#include "engine/DeflectorModifier.h"
#include "engine/FanModifier.h"
#include "plugin/VantrelPlugin.h"
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
    tsxSOBJ* obj = tsxObjectCreate(Plugin.EmitterType.SObjType());
    Stage().Scene.AddToScene(NodeOf(obj), parent);
    NodeOf(obj).Name = name;
    auto emitter = std::make_unique<TEmitterObject>();
    emitter->Name = name;
    emitter->SceneObject = obj;
    emitter->AddSystem();
    return Plugin.Main.Emitters.AddEmitter(std::move(emitter));
  }

  // A new tool of a kind at the top level of the scene.
  TToolObject& Tool(TToolKind kind, const std::string& name) {
    TToolObject& tool = Plugin.Main.NewTool(kind);
    tool.Name = name;
    NodeOf(tool.SceneObject()).Name = name;
    return tool;
  }

  void Save(const fs::path& folder) {
    fs::create_directories(folder);
    stage::SaveSceneFile(Stage(), folder / "scene.json");
    std::printf("wrote %s\n", (folder / "scene.json").c_str());
  }

  TVantrelPlugin Plugin;
};

// Every system of the examples shows its particles clearly: the glow at full alpha.
void Opaque(TParticleSystem& s, float alphaMaster = 1) { s.Maps.OptionsAt(0).AlphaMaster = alphaMaster; }

// A fountain: a narrow cone of water falling back onto a deflector that bounces it.
void Fountain(TExampleWriter& w, const fs::path& root) {
  w.Begin({0, -16, 5}, {0, 0, 2.2f}, 42, 640, 360, 96, {0.02f, 0.03f, 0.07f});
  TNode& floor = Mesh("Floor", stage::TPrimitive::Plane, {14, 14, 0});
  floor.Color = {0.25f, 0.27f, 0.3f};
  TNode& basin = Mesh("Basin", stage::TPrimitive::Box, {1.2f, 1.2f, 0.4f});
  basin.Position.Rest = {0, 0, 0.2f};
  basin.Color = {0.5f, 0.5f, 0.55f};

  TEmitterObject& e = w.Emitter("Fountain");
  NodeOf(e.SceneObject).Position.Rest = {0, 0, 0.45f};
  TEmitter& water = *e.Systems[0];
  water.Name = "Water";
  TParticleEmitter& em = water.Emitter;
  TParticleSystem& s = water.System;
  em.EmitterShape = ShapeSphere;
  em.EmitterRadius = 0.08f;
  Flat(em.Focus, 0.9);
  Flat(em.BaseSpeed, 0.27);
  Flat(em.BaseSpeedJitter, 0.1);
  Flat(em.BaseGravity, -0.009);
  Flat(em.Lifespan, 110);
  Flat(em.LifespanJitter, 0.15);
  Flat(em.BaseSize, 0.9);
  Flat(em.BaseSizeJitter, 0.3);
  Flat(em.BaseIntensityJitter, 0.1);
  Keys(s.Flow, {{0, 14}});
  Keys(s.Size, {{0, 0.6}, {20, 1}, {100, 1.6}});
  Keys(s.Alpha, {{0, 0.9}, {70, 0.8}, {100, 0}});
  Gradient(s.ParticleColors, {{1, Rgb(235, 248, 255)}, {35, Rgb(150, 205, 255)}, {100, Rgb(40, 90, 200)}});
  s.RenderMode = RenderPureAlpha;
  Opaque(s, 0.6f);

  TToolObject& deflector = w.Tool(ToolDeflector, "Pool");
  NodeOf(deflector.SceneObject()).Position.Rest = {0, 0, 0.05f};
  auto* d = static_cast<TPlaneDeflectorModifier*>(deflector.Modifier());
  d->Scale = 6;  // the deflector's 2 × 2 rectangle, six times: the whole floor
  Flat(d->Elasticity(), 35);
  w.Save(root / "fountain");
}

// Snow: a wide plane high above emits slow flakes of random sizes; a fan blows them sideways.
void Snow(TExampleWriter& w, const fs::path& root) {
  w.Begin({0, -18, 4}, {0, 0, 3.5f}, 45, 640, 360, 120, {0.06f, 0.07f, 0.11f});
  TNode& ground = Mesh("Ground", stage::TPrimitive::Plane, {30, 30, 0});
  ground.Color = {0.85f, 0.87f, 0.9f};
  TNode& house = Mesh("House", stage::TPrimitive::Box, {3, 2, 2.2f});
  house.Position.Rest = {2.5f, 3, 1.1f};
  house.Color = {0.45f, 0.3f, 0.25f};

  TEmitterObject& e = w.Emitter("Cloud");
  TNode& cloud = NodeOf(e.SceneObject);
  cloud.Position.Rest = {0, 2, 10};
  cloud.Rotation.Rest = {180, 0, 0};  // the emitter's axis points down
  TEmitter& flakes = *e.Systems[0];
  flakes.Name = "Flakes";
  TParticleEmitter& em = flakes.Emitter;
  TParticleSystem& s = flakes.System;
  em.EmitterShape = ShapePlane;
  em.EmitterRadius = 11;
  Flat(em.BaseSpeed, 0.07);
  Flat(em.BaseSpeedJitter, 0.35);
  Flat(em.BaseGravity, -0.0004);
  Flat(em.Lifespan, 180);
  Flat(em.BaseSize, 0.4);
  Flat(em.BaseSizeJitter, 0.7);
  Flat(em.RotationJitter, 1);
  Flat(em.BaseOrientationJitter, 1);
  Flat(em.Vortex, 0.02);
  Flat(em.VortexJitter, 1);
  Flat(em.BaseIntensityJitter, 0.15);
  Keys(s.Flow, {{0, 10}});
  s.SpatialDither = 0.3f;
  Opaque(s, 0.9f);

  TToolObject& fan = w.Tool(ToolFan, "Wind");
  TNode& fanNode = NodeOf(fan.SceneObject());
  fanNode.Position.Rest = {-12, 2, 4};
  fanNode.Rotation.Rest = {0, 90, 0};  // blowing along +X
  auto* f = static_cast<TPlaneFanModifier*>(fan.Modifier());
  f->Scale = 12;
  Keys(f->Power(), {{0, 1.5}, {60, 4}, {120, 1.5}});
  w.Save(root / "snow");
}

// Sparks: a moving emitter sprays short-lived particles that add light, white to orange to dark
// red over their life.
void Sparks(TExampleWriter& w, const fs::path& root) {
  w.Begin({0, -13, 3}, {0, 0, 1.5f}, 40, 640, 360, 72, {0.0f, 0.0f, 0.0f});
  TNode& floor = Mesh("Floor", stage::TPrimitive::Plane, {20, 20, 0});
  floor.Color = {0.12f, 0.12f, 0.13f};

  TEmitterObject& e = w.Emitter("Grinder");
  TNode& node = NodeOf(e.SceneObject);
  node.Position.SetKey(0, {-4, 0, 2});
  node.Position.SetKey(36, {4, 0, 3});
  node.Position.SetKey(72, {-4, 0, 2});
  TEmitter& sparks = *e.Systems[0];
  sparks.Name = "Sparks";
  TParticleEmitter& em = sparks.Emitter;
  TParticleSystem& s = sparks.System;
  em.EmitterShape = ShapePoint;
  Flat(em.Focus, 0.45);
  Flat(em.BaseSpeed, 0.22);
  Flat(em.BaseSpeedJitter, 0.6);
  Flat(em.BaseGravity, -0.009);
  Flat(em.Lifespan, 34);
  Flat(em.LifespanJitter, 0.5);
  Flat(em.BaseSize, 0.7);
  Flat(em.BaseSizeJitter, 0.5);
  Flat(em.BaseIntensity, 1.6);
  Keys(s.Flow, {{0, 24}});
  Keys(s.Size, {{0, 1}, {100, 0.3}});
  Gradient(s.ParticleColors, {{1, Rgb(255, 255, 255)}, {25, Rgb(255, 170, 40)}, {65, Rgb(200, 40, 5)},
                              {100, Rgb(40, 0, 0)}});
  s.RenderMode = RenderIlluminate;
  Opaque(s);

  TToolObject& floorDeflector = w.Tool(ToolDeflector, "Floor bounce");
  auto* d = static_cast<TPlaneDeflectorModifier*>(floorDeflector.Modifier());
  d->Scale = 10;
  Flat(d->Elasticity(), 25);
  w.Save(root / "sparks");
}

// A swarm: particles leave the surface of a sphere grouped with their emitter and are drawn
// along the animated path of a leader circling it.
void Swarm(TExampleWriter& w, const fs::path& root) {
  w.Begin({0, -15, 6}, {0, 0, 1.5f}, 45, 640, 360, 120, {0.01f, 0.02f, 0.04f});
  TNode& floor = Mesh("Floor", stage::TPrimitive::Plane, {20, 20, 0});
  floor.Color = {0.2f, 0.22f, 0.25f};
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
  Flat(em.BaseSize, 0.45);
  Flat(em.BaseSizeJitter, 0.4);
  Keys(s.Flow, {{0, 10}});
  Keys(s.Alpha, {{0, 0}, {10, 1}, {85, 1}, {100, 0}});
  Gradient(s.ParticleColors, {{1, Rgb(120, 255, 200)}, {60, Rgb(60, 170, 255)}, {100, Rgb(90, 60, 255)}});
  s.RenderMode = RenderIlluminate;
  Opaque(s, 0.8f);

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

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Writes the bundled example scenes (fountain, snow, sparks, swarm) as FOLDER/NAME/scene.json.",
               "vantrel-examples"};
  app.set_version_flag("--version", std::string("vantrel-examples ") + VANTREL_VERSION);
  std::string folder = "examples";
  app.add_option("FOLDER", folder, "where the scenes go (default: examples)");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    const int code = app.exit(e);
    return code == 0 ? 0 : 2;
  }
  const fs::path root = folder;
  try {
    TExampleWriter writer;
    Fountain(writer, root);
    Snow(writer, root);
    Sparks(writer, root);
    Swarm(writer, root);
    stage::Stage().Scene.Clear();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vantrel-examples: %s\n", e.what());
    return 1;
  }
  return 0;
}
