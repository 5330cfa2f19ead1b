// The plug-in's start-up wiring and plug-in initialisation.
#include "plugin/VantrelPlugin.h"

#include "engine/RandomTables.h"
#include "hostapi/CheckFpuState.h"
#include "plugin/PayloadText.h"
#include "render/BitmapCache.h"

namespace {

// The key of the plug-in's render switches among the settings the host keeps with the scene.
constexpr const char* SettingsKey = "Vantrel";

constexpr TToolKind ToolOrder[6] = {ToolDeflector, ToolFan, ToolAttractor, ToolRepulsor, ToolLeader, ToolGravitron};

// The random table is filled once per program, before anything draws.
void FillRandomTableOnce() {
  static const bool filled = [] {
    RandomSeed = 0;
    InitRandomTable();
    return true;
  }();
  (void)filled;
}

}  // namespace

TVantrelPlugin::TVantrelPlugin(const std::string& dataFolder) {
  FillRandomTableOnce();
  ActiveModifiers.clear();
  SetDataFolder(dataFolder);
  HelpFile = dataFolder.empty() ? std::string() : dataFolder + HelpFileName;
  Main.HelpFile = HelpFile;  // "Topics && Contents" opens it

  // The emitter manager's type and the toolbox's six.
  InstallEmitterWireframe(EmitterType);
  EmitterType.OnObjectDelete = [this](TTsxExtObj&, tsxSOBJ* obj) { Main.Emitters.EmitterDeleted(obj); };
  EmitterType.OnObjectClone = [this](TTsxExtObj&, tsxSOBJ* obj, tsxSOBJ* clone, int32_t& result) {
    Main.Emitters.CloneEmitter(obj, clone);
    result = 1;
  };
  EmitterType.OnReadBinary = [this](tsxSOBJ* obj, tsxFILE* file) {
    Main.Emitters.ReadPayload(obj, file);
    return 1;
  };
  EmitterType.OnWriteBinary = [this](tsxSOBJ* obj, tsxFILE* file) {
    Main.Emitters.WritePayload(obj, file);
    return 1;
  };
  for (size_t i = 0; i < ToolTypes.size(); ++i) {
    TTsxExtObj& type = ToolTypes[i];
    InstallToolWireframe(type, ToolOrder[i]);
    type.OnObjectDelete = [this](TTsxExtObj&, tsxSOBJ* obj) { Main.Toolbox.ToolDeleted(obj); };
    type.OnObjectClone = [this](TTsxExtObj&, tsxSOBJ* obj, tsxSOBJ* clone, int32_t& result) {
      Main.Toolbox.CloneTool(obj, clone);
      result = 1;
    };
    type.OnReadBinary = [this](tsxSOBJ* obj, tsxFILE* file) {
      Main.Toolbox.ReadPayload(obj, file);
      return 1;
    };
    type.OnWriteBinary = [this](tsxSOBJ* obj, tsxFILE* file) {
      Main.Toolbox.WritePayload(obj, file);
      return 1;
    };
  }

  // The main panel's services.
  Main.CreateEmitterObject = [this] { return EmitterType.CreateObject(); };
  Main.CreateToolObject = [this](TToolKind kind) {
    return kind == ToolNone ? nullptr : ToolType(kind).CreateObject();
  };
  Main.Switches.SwitchPostProcess = [this](bool on) {
    Shader.SetPostProcessActive(on);
    return Shader.PostProcessActive();
  };
  Shader.OnPostProcess = [this](const tssPostProcessData& data) { Main.PostProcess(data); };

  // The host's optional extensions: the image's coverage, and the switches kept with the scene.
  Main.Renderer.CoverageQuery =
      reinterpret_cast<TParticleRenderer::TCoverageQuery>(LookUpHostFunction("tsxHostScreenBufferCoverage"));
  using TGetSettings = int (*)(const char*, char*, int32_t);
  using TSetSettings = int (*)(const char*, const char*);
  if (const auto get = reinterpret_cast<TGetSettings>(LookUpHostFunction("tsxHostGetPluginSettings"))) {
    Main.Switches.ReadSceneSettings = [get]() -> std::optional<std::string> {
      const int length = get(SettingsKey, nullptr, 0);
      if (length < 0) return std::nullopt;
      std::string text(static_cast<size_t>(length) + 1, '\0');
      if (get(SettingsKey, text.data(), static_cast<int32_t>(text.size())) != length) return std::nullopt;
      text.resize(static_cast<size_t>(length));
      return text;
    };
  }
  if (const auto set = reinterpret_cast<TSetSettings>(LookUpHostFunction("tsxHostSetPluginSettings")))
    Main.Switches.WriteSceneSettings = [set](const std::string& text) { set(SettingsKey, text.c_str()); };
  if (const auto changed = reinterpret_cast<void (*)()>(LookUpHostFunction("tsxHostSceneChanged")))
    Main.NotifyHost = [changed] { changed(); };
  // Render begin prepares the emitters; a loaded scene brings the render switches it keeps,
  // which the panel must show and keep rather than overwrite with its own.
  // The view's messages: a view drawn again shows the particles of the host's frame (not while a
  // render, which owns the systems, is under way).
  Events.SetEvents(static_cast<uint8_t>(peRender | peGeneral | peViewMsg));
  Events.OnRenderBegin = [this](const tsxEventRenderData&) { Main.RenderBegin(); };
  Events.OnRenderEnd = Events.OnRenderAbort = Events.OnRenderError = [this](const tsxEventRenderData&) {
    Main.RenderEnded();
  };
  Events.OnViewEvent = [this](const tsxEventViewMsgData& message) {
    if (message.code == tsxVIEWMSG_DRAWN) Main.ViewDrawn();
  };
  Events.OnSceneLoad = [this] { Main.SceneLoaded(); };
  // The panels follow the host's selection where the host tells of it and says what it is.
  if (const auto selected = reinterpret_cast<tsxSOBJ* (*)()>(LookUpHostFunction("tsxHostGetSelectedSobj")))
    Events.OnSelectionChange = [this, selected] { Main.HostSelectionChanged(selected()); };

  // Registration.
  Tsx.Title = "Vantrel";
  Tsx.Author = "Kestrune";
  Tsx.SetResBmpId(100);
  Tsx.SetResStringId(0);
  Tsx.ApiVersionNeeded = 430;
  Tsx.OnPlugInit = [this] { PlugInit(); };
  Tsx.OnLeftClick = [this] { return Main.LeftClick(); };
  Tsx.OnDeactivate = [] {};
  Tsx.Load();
  ClearFpuExceptions();
}

TVantrelPlugin::~TVantrelPlugin() {
  TPlugState& state = PlugState();
  state.ShuttingDown = true;
  state.OnPlugInit = nullptr;
  state.OnLeftClick = nullptr;
  state.OnRightClick = nullptr;
  state.OnDeactivate = nullptr;
}

void TVantrelPlugin::PlugInit() {
  EmitterType.Define();
  for (TTsxExtObj& type : ToolTypes) type.Define();
  // A host that keeps readable scene files takes the payload converters of the seven types.
  OfferPayloadText(EmitterType.ObjectTypeName);
  for (TTsxExtObj& type : ToolTypes) OfferPayloadText(type.ObjectTypeName);
  Events.SetActive(true);
}
