// The plug-in's start-up wiring and plug-in initialisation.
#include "plugin/VantrelPlugin.h"

#include "engine/RandomTables.h"
#include "hostapi/CheckFpuState.h"
#include "render/BitmapCache.h"

namespace {

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
  Main.SwitchPostProcess = [this](bool on) {
    Shader.SetPostProcessActive(on);
    return Shader.PostProcessActive();
  };
  Shader.OnPostProcess = [this](const tssPostProcessData& data) { Main.PostProcess(data); };
  Events.SetEvents(peRender);
  Events.OnRenderBegin = [this](const tsxEventRenderData&) { Main.RenderBegin(); };

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
  Events.SetActive(true);
}
