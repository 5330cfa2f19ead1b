// Emitter manager: payload callbacks, emitter and system actions, settings files and the
// final-render stepping over EmitterList.
#include "ui/EmitterMan.h"

#include "ui/ShowFailure.h"

#include <algorithm>
#include <filesystem>
#include <string>

#include "engine/Errors.h"
#include "engine/RandomTables.h"
#include "engine/Stream.h"
#include "hostapi/Platform.h"
#include "render/BitmapCache.h"
#include "scene/Payload.h"
#include "ui/NameText.h"

namespace {

// Copies one emitter object into another through an emitter record.
void CopyEmitter(const TEmitterObject& from, TEmitterObject& to) {
  TMemoryStream buffer;
  from.WriteTo(buffer);
  buffer.Seek(0);
  to.ReadFrom(EmitterRecordVersion, buffer);
}


// A settings file that was read with problems: the action fails with them in its message.
void ThrowFileProblems(const std::string& fileName, const std::vector<std::string>& problems) {
  if (problems.empty()) return;
  std::string text = Format("The file %s was not read as saved: ", fileName.c_str());
  for (size_t i = 0; i < problems.size(); ++i) text += (i ? "; " : "") + problems[i];
  throw EVantrelError(text + ".");
}

// Reads the int32 version at the start of a settings file.
int32_t ReadFileVersion(TStream& s, const std::string& fileName) {
  int32_t version = 0;
  if (!ReadField(s, version)) throw EVantrelError(Format("The file %s is empty or damaged", fileName.c_str()));
  return version;
}

// Reads an emitter record as the reading rules say and notes, for the user, what did not read
// as saved: a newer version, data that end early (unless the caller already knows), data
// beyond the record, or a failure while reading.
void ReadEmitterRecord(TEmitterObject& emitter, int32_t version, TStream& s, std::vector<std::string>& problems,
                       bool noteShortData) {
  if (version != EmitterRecordVersion && version != OldEmitterRecordVersion)
    problems.push_back(Format("it was saved in a form this version cannot read (record version %d); it has "
                              "no particle systems",
                              version));
  try {
    emitter.ReadFrom(version, s);
  } catch (const std::exception& e) {
    problems.push_back(Format("its data could not be read (%s)", e.what()));
    return;
  }
  if (version != EmitterRecordVersion && version != OldEmitterRecordVersion) return;
  if (s.EndedEarly()) {
    if (noteShortData) problems.push_back("its data end early; what is missing keeps its defaults");
  } else if (s.Remaining() > 0) {
    problems.push_back(Format("%llu bytes after its settings are not an emitter's and were ignored",
                              static_cast<unsigned long long>(s.Remaining())));
  }
}

}  // namespace

TEmitterMan::~TEmitterMan() {
  if (View_) View_->ControllerGone();
}

void TEmitterMan::Changed() {
  // The system properties follow the selection, whichever way it moved.
  const TObjectId shown = CurrentSystem ? CurrentSystem->Id : NoObject;
  if (shown != ShownSystem_) {
    ShownSystem_ = shown;
    if (ShowSystem) ShowSystem(shown);
  }
  if (OnChanged)
    OnChanged();
  else if (View_)
    View_->Changed();
}

TEmitterObject* TEmitterMan::EmitterAt(int emitter) const {
  if (emitter < 0 || static_cast<size_t>(emitter) >= EmitterList.size()) return nullptr;
  return EmitterList[static_cast<size_t>(emitter)].get();
}

TEmitter* TEmitterMan::SystemAt(int emitter, int system) const {
  const TEmitterObject* e = EmitterAt(emitter);
  if (!e || system < 0 || static_cast<size_t>(system) >= e->Systems.size()) return nullptr;
  return e->Systems[static_cast<size_t>(system)].get();
}

void TEmitterMan::Edit(const char* stepName, const TEmitterObject& emitter, const std::function<void()>& edit) {
  if (EditStep)
    EditStep(stepName, emitter.Id, edit);
  else
    edit();
  Changed();
}

bool TEmitterMan::ActionEnabled(TEmitterAction action) const {
  const bool alone = CurrentEmitter && !CurrentSystem;
  const bool system = CurrentEmitter && CurrentSystem;
  switch (action) {
    case TEmitterAction::NewEmitter:
      return true;
    case TEmitterAction::DeleteEmitter:
    case TEmitterAction::LoadEmitterSettings:
    case TEmitterAction::SaveEmitterSettings:
      return alone;
    case TEmitterAction::AddSystem:
      return CurrentEmitter != nullptr;
    case TEmitterAction::DeleteSystem:
      // An emitter keeps at least one system.
      return system && CurrentEmitter->Systems.size() > 1;
    case TEmitterAction::DuplicateSystem:
    case TEmitterAction::LoadSystemSettings:
    case TEmitterAction::SaveSystemSettings:
      return system;
  }
  return false;
}

TEmitterManagerState TEmitterMan::ManagerState() const {
  TEmitterManagerState s;
  s.Rows.reserve(EmitterList.size());
  for (size_t i = 0; i < EmitterList.size(); ++i) {
    const TEmitterObject& e = *EmitterList[i];
    TEmitterRow row{{e.Name, e.Enabled != 0}, {}};
    for (size_t k = 0; k < e.Systems.size(); ++k) {
      const TEmitter& slot = *e.Systems[k];
      row.Systems.push_back({slot.Name, slot.Enabled});
      if (&e == CurrentEmitter && &slot == CurrentSystem) s.SelectedSystem = static_cast<int>(k);
    }
    if (&e == CurrentEmitter) s.SelectedEmitter = static_cast<int>(i);
    s.Rows.push_back(std::move(row));
  }
  if (CurrentEmitter) {
    s.Page = CurrentSystem ? TEmitterPage::System : TEmitterPage::Emitter;
    s.FrameOffset = CurrentEmitter->FrameOffset;
    s.FreezeFrame = CurrentEmitter->FreezeFrame;
    s.WidthScaling = CurrentEmitter->WidthScaling;
    s.HeightScaling = CurrentEmitter->HeightScaling;
    s.Subject = CurrentEmitter->Name + (CurrentSystem ? " \u203A " + CurrentSystem->Name : std::string());
  }
  s.CurveOnVisibility = s.Page == TEmitterPage::Emitter;
  for (int a = 0; a < EmitterActionCount; ++a) s.ActionEnabled[a] = ActionEnabled(static_cast<TEmitterAction>(a));
  s.FoldExpanded = FoldExpanded;
  s.FoldHeight = FoldHeight;
  s.CueCardsVisible = CueCardsVisible ? CueCardsVisible() : true;
  return s;
}

void TEmitterMan::SelectNode(int emitter, int system) {
  TEmitterObject* e = EmitterAt(emitter);
  Select(e, system >= 0 ? SystemAt(emitter, system) : nullptr);
}

bool TEmitterMan::NodeAt(int emitter, int system, TEmitterObject*& e, TEmitter*& slot) const {
  e = EmitterAt(emitter);
  slot = system >= 0 ? SystemAt(emitter, system) : nullptr;
  return e && (system < 0 || slot);
}

void TEmitterMan::ToggleEnabled(int emitter, int system) {
  TEmitterObject* e;
  TEmitter* slot;
  if (!NodeAt(emitter, system, e, slot)) return;
  Edit("Enabled", *e, [&] {
    if (slot)
      slot->Enabled = !slot->Enabled;
    else
      e->Enabled = e->Enabled ? 0 : 1;
  });
}

void TEmitterMan::RenameNode(int emitter, int system, const std::string& name) {
  TEmitterObject* e;
  TEmitter* slot;
  if (!NodeAt(emitter, system, e, slot)) return;
  // The name field holds 32 bytes; a longer name is cut there on a character boundary.
  const std::string cut = CutToBytes(name, ObjectNameLength);
  Edit("Rename", *e, [&] { (slot ? slot->Name : e->Name) = cut; });
}

void TEmitterMan::SetFrameOffset(int frames) {
  if (!CurrentEmitter) return;
  TEmitterObject& e = *CurrentEmitter;
  Edit("Frame Offset", e, [&] { e.FrameOffset = std::clamp(frames, -8192, 8192); });
}

void TEmitterMan::SetFreezeFrame(int frame) {
  if (!CurrentEmitter) return;
  TEmitterObject& e = *CurrentEmitter;
  Edit("Freeze Frame", e, [&] { e.FreezeFrame = std::clamp(frame, 0, 8192); });
}

void TEmitterMan::SetAutoScale(uint8_t widthScaling, uint8_t heightScaling) {
  if (!CurrentEmitter) return;
  TEmitterObject& e = *CurrentEmitter;
  Edit("Auto Scale", e, [&] {
    e.WidthScaling = widthScaling & (WidthMoreParticles | WidthBiggerParticles);
    e.HeightScaling = heightScaling & (HeightFasterParticles | HeightOlderParticles | HeightStrongerGravity);
  });
}

void TEmitterMan::RunAction(TEmitterAction action) {
  if (!ActionEnabled(action)) return;
  // A failure is shown to the user; nothing is thrown into a view.
  ShowFailure([&] { RunEnabledAction(action); });
}

void TEmitterMan::RunEnabledAction(TEmitterAction action) {
  const char* step = EmitterActionText(action).Caption;
  switch (action) {
    case TEmitterAction::NewEmitter:
      if (NewEmitterHook) NewEmitterHook();
      return;
    case TEmitterAction::DeleteEmitter:
      DeleteEmitter();
      return;
    case TEmitterAction::SaveEmitterSettings:
      SaveEmitterSettingsFromDialog();
      return;
    case TEmitterAction::SaveSystemSettings:
      SaveSystemSettingsFromDialog();
      return;
    default:
      break;
  }
  // The rest change the current emitter object: one step each.
  Edit(step, *CurrentEmitter, [&] {
    switch (action) {
      case TEmitterAction::LoadEmitterSettings:
        LoadEmitterSettingsFromDialog();
        break;
      case TEmitterAction::AddSystem:
        AddSystem();
        break;
      case TEmitterAction::DeleteSystem:
        DeleteSystem();
        break;
      case TEmitterAction::DuplicateSystem:
        DuplicateSystem();
        break;
      case TEmitterAction::LoadSystemSettings:
        LoadSystemSettingsFromDialog();
        break;
      default:
        break;
    }
  });
}

void TEmitterMan::SetFoldExpanded(bool expanded) {
  if (expanded == FoldExpanded) return;
  FoldExpanded = expanded;
  if (OnFoldExpanded) OnFoldExpanded(expanded);
  Changed();
}

int TEmitterMan::MoveSplitter(int foldHeight) {
  // A folded panel keeps its height; an open one never gets smaller than its pages need.
  if (!FoldExpanded || foldHeight < MinFoldHeight || foldHeight == FoldHeight) return FoldHeight;
  FoldHeight = foldHeight;
  if (OnFoldHeight) OnFoldHeight(foldHeight);
  return FoldHeight;
}

void TEmitterMan::ValidateSelection() {
  const auto present = std::find_if(EmitterList.begin(), EmitterList.end(),
                                    [&](const auto& e) { return e.get() == CurrentEmitter; });
  if (present == EmitterList.end()) {
    CurrentEmitter = nullptr;
    CurrentSystem = nullptr;
    return;
  }
  const auto& slots = CurrentEmitter->Systems;
  if (std::none_of(slots.begin(), slots.end(), [&](const auto& s) { return s.get() == CurrentSystem; }))
    CurrentSystem = nullptr;
}

TEmitterObject* TEmitterMan::FindEmitter(tsxSOBJ* sceneObject) const {
  for (const auto& e : EmitterList)
    if (e->SceneObject == sceneObject) return e.get();
  return nullptr;
}

void TEmitterMan::Select(TEmitterObject* emitter, TEmitter* system) {
  CurrentEmitter = emitter;
  CurrentSystem = system;
  ValidateSelection();
  if (CurrentEmitter && CurrentEmitter->SceneObject) {
    // The host tells of the new selection while it makes it: a slot chosen here stays chosen.
    SelectingInHost_ = true;
    tsxSelectSobj(CurrentEmitter->SceneObject, 0, 0);
    SelectingInHost_ = false;
  }
  Changed();
}

void TEmitterMan::HostSelected(tsxSOBJ* sceneObject) {
  if (SelectingInHost_ || !sceneObject) return;
  TEmitterObject* emitter = FindEmitter(sceneObject);
  if (!emitter || (emitter == CurrentEmitter && !CurrentSystem)) return;
  CurrentEmitter = emitter;
  CurrentSystem = nullptr;
  Changed();
}

void TEmitterMan::WritePayload(tsxSOBJ* sceneObject, tsxFILE* file) {
  const TEmitterObject* emitter = FindEmitter(sceneObject);
  if (!emitter) return;
  TMemoryStream record;
  emitter->WriteTo(record);
  ::WritePayload(file, EmitterRecordVersion, record.Data());
}

void TEmitterMan::ReadPayload(tsxSOBJ* sceneObject, tsxFILE* file) {
  auto emitter = std::make_unique<TEmitterObject>();
  emitter->SceneObject = sceneObject;
  TPayload payload;
  const bool present = ::ReadPayload(file, payload);
  std::vector<std::string> problems;
  if (!payload.Problem.empty()) problems.push_back(payload.Problem);
  if (present) {
    TMemoryStream record(std::move(payload.Data));
    ReadEmitterRecord(*emitter, payload.Version, record, problems, payload.Problem.empty());
    AddEmitter(std::move(emitter));
  }
  ReportUnreadData("emitter", sceneObject, problems);
}

void TEmitterMan::CloneEmitter(tsxSOBJ* source, tsxSOBJ* clone) {
  auto emitter = std::make_unique<TEmitterObject>();
  emitter->SceneObject = clone;
  if (const TEmitterObject* from = FindEmitter(source)) {
    CopyEmitter(*from, *emitter);
    emitter->SceneObject = clone;
  }
  AddEmitter(std::move(emitter));
}

void TEmitterMan::EmitterDeleted(tsxSOBJ* sceneObject) {
  const auto it = std::find_if(EmitterList.begin(), EmitterList.end(),
                               [&](const auto& e) { return e->SceneObject == sceneObject; });
  if (it == EmitterList.end()) return;
  if (OnDeleting) OnDeleting(**it);
  EmitterList.erase(it);
  ValidateSelection();
  Changed();
}

TEmitterObject& TEmitterMan::AddEmitter(std::unique_ptr<TEmitterObject> emitter) {
  EmitterList.push_back(std::move(emitter));
  CurrentEmitter = EmitterList.back().get();
  CurrentSystem = nullptr;
  Changed();
  return *CurrentEmitter;
}

void TEmitterMan::DeleteEmitter() {
  if (CurrentEmitter && CurrentEmitter->SceneObject) tsxSobjDelete(CurrentEmitter->SceneObject);
}

void TEmitterMan::AddSystem() {
  if (!CurrentEmitter) return;
  CurrentSystem = &CurrentEmitter->AddSystem();
  Changed();
}

void TEmitterMan::DeleteSystem() {
  if (!CurrentEmitter || !CurrentSystem || CurrentEmitter->Systems.size() < 2) return;
  CurrentEmitter->DeleteSystem(CurrentSystem);
  CurrentSystem = nullptr;
  Changed();
}

void TEmitterMan::DuplicateSystem() {
  if (!CurrentEmitter || !CurrentSystem) return;
  TMemoryStream record;
  CurrentSystem->WriteTo(record, true);
  record.Seek(0);
  TEmitter& copy = CurrentEmitter->AddSystem();
  copy.ReadFrom(EmitterRecordVersion, record);
  CurrentSystem = &copy;
  Changed();
}

bool TEmitterMan::LoadEmitterSettings(const std::string& fileName) {
  if (!CurrentEmitter) return false;
  const bool ok = ShowFailure([&] {
    TFileReadStream file(fileName);
    const int32_t version = ReadFileVersion(file, fileName);
    // A record of another version would empty the emitter of its systems: it keeps them.
    if (version != EmitterRecordVersion && version != OldEmitterRecordVersion)
      throw EVantrelError(Format("The file %s is not an emitter settings file this version can read (version %d); "
                                 "nothing was changed",
                                 fileName.c_str(), version));
    std::vector<std::string> problems;
    ReadEmitterRecord(*CurrentEmitter, version, file, problems, true);
    ThrowFileProblems(fileName, problems);
  });
  ValidateSelection();
  Changed();
  return ok;
}

namespace {

constexpr const char* EmitterFilter = "Vantrel Emitters (*.vte)";
constexpr const char* SystemFilter = "Vantrel Systems (*.vts)";

// Runs a file dialog starting in folder (or in start until a file was picked), and remembers the
// picked file's folder for next time; empty when cancelled.
std::string AskFile(bool save, const char* title, const char* filter, const char* ext, std::string& folder,
                    const std::string& start) {
  const std::string from = folder.empty() ? start : folder;
  const std::string file = save ? Platform().SaveFile(title, filter, from, std::string(), ext)
                                : Platform().OpenFile(title, filter, from, std::string(), ext);
  if (!file.empty()) folder = std::filesystem::path(file).parent_path().string() + "/";
  return file;
}

}  // namespace

bool TEmitterMan::LoadEmitterSettingsFromDialog() {
  if (!CurrentEmitter) return false;
  // The presets the data folder ships are where a new emitter's settings most often come from.
  const std::string file =
      AskFile(false, "Load Emitter Settings", EmitterFilter, "vte", EmitterFolder, DataFolder() + "presets/");
  return !file.empty() && LoadEmitterSettings(file);
}

bool TEmitterMan::SaveEmitterSettingsFromDialog() {
  if (!CurrentEmitter) return false;
  const std::string file = AskFile(true, "Save Emitter Settings", EmitterFilter, "vte", SaveEmitterFolder, DataFolder());
  return !file.empty() && SaveEmitterSettings(file);
}

bool TEmitterMan::LoadSystemSettingsFromDialog() {
  if (!CurrentEmitter || !CurrentSystem) return false;
  const std::string file = AskFile(false, "Load System Settings", SystemFilter, "vts", LoadSystemFolder, DataFolder());
  return !file.empty() && LoadSystemSettings(file);
}

bool TEmitterMan::SaveSystemSettingsFromDialog() {
  if (!CurrentEmitter || !CurrentSystem) return false;
  const std::string file = AskFile(true, "Save System Settings", SystemFilter, "vts", SaveSystemFolder, DataFolder());
  return !file.empty() && SaveSystemSettings(file);
}

bool TEmitterMan::SaveEmitterSettings(const std::string& fileName) {
  if (!CurrentEmitter) return false;
  return ShowFailure([&] {
    TFileWriteStream file(fileName);
    WriteField(file, EmitterRecordVersion);
    CurrentEmitter->WriteTo(file);
    file.Commit();
  });
}

bool TEmitterMan::LoadSystemSettings(const std::string& fileName) {
  if (!CurrentEmitter || !CurrentSystem) return false;
  const bool ok = ShowFailure([&] {
    TFileReadStream file(fileName);
    const int32_t version = ReadFileVersion(file, fileName);
    if (version != EmitterRecordVersion && version != OldEmitterRecordVersion)
      throw EVantrelError(Format("The file %s is not a system settings file this version can read (version %d); "
                                 "nothing was changed",
                                 fileName.c_str(), version));
    CurrentSystem->ReadFrom(version, file);
    std::vector<std::string> problems;
    if (file.EndedEarly())
      problems.push_back("it ends early; what is missing keeps its previous values");
    else if (file.Remaining() > 0)
      problems.push_back(Format("%llu bytes after the settings are not a system's and were ignored",
                                static_cast<unsigned long long>(file.Remaining())));
    ThrowFileProblems(fileName, problems);
  });
  Changed();
  return ok;
}

bool TEmitterMan::SaveSystemSettings(const std::string& fileName) {
  if (!CurrentEmitter || !CurrentSystem) return false;
  return ShowFailure([&] {
    TFileWriteStream file(fileName);
    WriteField(file, EmitterRecordVersion);
    CurrentSystem->WriteTo(file, true);
    file.Commit();
  });
}

void TEmitterMan::RenderBegin(const std::function<void()>& onFrame) {
  RandomSeed = RunSeed;
  std::string badSetting;
  Budget.Limit = ParticleSlotsForMB(ParticleMemoryMBFromEnvironment(&badSetting));
  Budget.Reached = Budget.AllocationFailed = false;
  BudgetReported_ = false;
  if (!badSetting.empty()) Platform().ShowMessage(badSetting);
  // Every system draws on the one budget; a pool grown before (in the preview) is counted in,
  // and given back when the rewind resets it.
  ShareWorkers();
  DrawOnBudget();
  std::vector<TEmitterObject*> objects;
  objects.reserve(EmitterList.size());
  for (auto& emitter : EmitterList) objects.push_back(emitter.get());
  // The catch-up to a late first frame can take minutes: its progress goes to the status line
  // whenever the percentage changes, and the line is cleared at the end.
  const int64_t total = objects.empty() ? 0 : RewindFrameCount();
  int64_t done = 0;
  int shown = -1;
  auto report = [&] {
    if (onFrame) onFrame();
    const int percent = static_cast<int>(++done * 100 / total);
    if (percent == shown) return;
    shown = percent;
    Platform().SetStatusText(Format("Preparing animation... %d%%", percent));
  };
  ::RewindForRender(objects, report);
  if (shown >= 0) Platform().SetStatusText("");
  ReportBudget();
}

void TEmitterMan::DrawOnBudget() {
  if (Budget.Limit == 0) Budget.Limit = ParticleSlotsForMB(ParticleMemoryMBFromEnvironment(nullptr));
  for (auto& emitter : EmitterList)
    for (auto& slot : emitter->Systems)
      if (slot->System.Budget != &Budget) {
        slot->System.Budget = &Budget;
        Budget.Used += slot->System.Particles.size();
      }
}

void TEmitterMan::ShareWorkers() {
  for (auto& emitter : EmitterList)
    for (auto& slot : emitter->Systems) slot->System.Workers = Workers;
}

void TEmitterMan::RenderFrame(const std::function<void(TParticleSystem&)>& submit) {
  ShareWorkers();
  for (auto& emitter : EmitterList) emitter->RenderFrame(submit);
  ReportBudget();
}

void TEmitterMan::ReportBudget() {
  if (BudgetReported_ || !(Budget.Reached || Budget.AllocationFailed)) return;
  BudgetReported_ = true;
  const size_t mb = (Budget.Limit * sizeof(TParticle) + (size_t{1} << 19)) >> 20;  // as set, give or take a record
  Platform().ShowMessage(Budget.AllocationFailed
                             ? "Out of memory for particles: some particles of this render were left out."
                             : "The particle memory of the scene (" + std::to_string(mb) + " MB, " +
                                   std::to_string(Budget.Limit) +
                                   " particles) is used up: some particles of this render were left out. "
                                   "Lower the flows, or set " + ParticleMemoryVariable + " (megabytes).");
}

void TEmitterMan::ShowFrame(int32_t sceneFrame) {
  if (CurrentEmitter && OnShowFrame) OnShowFrame(CurrentEmitter->ToLocalFrame(static_cast<float>(sceneFrame)));
}
