// The image maps editor's rules: showing a system and an entry, the list's actions, the entry's
// options, the system's map and render settings, and the preview.
#include "ui/ImageMapsEdit.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <filesystem>

#include "engine/Particle.h"
#include "engine/ParticleMapSource.h"
#include "hostapi/CheckFpuState.h"
#include "hostapi/Platform.h"
#include "render/BitmapCache.h"
#include "scene/EmitterObj.h"
#include "ui/MapPreview.h"

namespace {

constexpr int LargestCycleTime = 1024;
constexpr int SmallestParticleSize = 256, LargestParticleSize = 8192;

// A stored value as a whole number for a spin field, within its range (NaN: the low end).
int InRange(double value, int lo, int hi) {
  if (!(value >= lo)) return lo;
  return value >= hi ? hi : static_cast<int>(std::trunc(value));
}

int ShownAlpha(float alphaMaster) { return InRange(static_cast<double>(alphaMaster) * 255, 0, 255); }

std::string FileNameOf(const std::string& name) {
  const size_t slash = name.find_last_of("/\\");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace

TImageMapsEdit::TImageMapsEdit(TSceneObjects& objects, TEditHistory& history)
    : ParticleColors(objects, history, true), SystemColors(objects, history, false), Objects_(objects),
      History_(history) {}

TImageMapsEdit::~TImageMapsEdit() {
  if (View_) View_->ControllerGone();
}

TParticleSystem* TImageMapsEdit::System() const {
  TEmitter* slot = Objects_.Slot(Slot_);
  return slot ? &slot->System : nullptr;
}

int TImageMapsEdit::ShownIndex() const {
  const TParticleSystem* s = System();
  if (!s || s->Maps.Empty()) return 0;
  return std::clamp(s->MapIndex, 0, s->Maps.ImageCount() - 1);
}

void TImageMapsEdit::Changed() {
  if (View_) View_->Changed();
}

template <typename Edit>
void TImageMapsEdit::Step(const char* name, Edit edit) {
  TParticleSystem* s = System();
  if (!s) return;
  {
    TEditScope step(History_, name, {{TRecordKind::Slot, Slot_}});
    edit(*s);
  }
  Changed();
}

std::string TImageMapsEdit::PictureDialogFolder() {
  return PictureFolder().empty() ? DataFolder() + "maps/" : PictureFolder();
}

std::vector<std::string> TImageMapsEdit::PickPictures(bool several) {
  std::vector<std::string> picked = Platform().OpenPictures(PictureDialogFolder(), {}, several);
  if (!picked.empty()) SetPictureFolder(std::filesystem::path(picked.back()).parent_path().string() + "/");
  return picked;
}

void TImageMapsEdit::ShowSystem(TObjectId slotId) {
  Slot_ = slotId;
  // Files edited since they were last read are read again.
  BitmapCache().Clear();
  const bool shown = System() != nullptr;
  ParticleColors.ShowGradient(shown ? std::optional<TGradientRef>({slotId, TGradientRole::Particle}) : std::nullopt);
  SystemColors.ShowGradient(shown ? std::optional<TGradientRef>({slotId, TGradientRole::System}) : std::nullopt);
  LoadImage();
  Changed();
}

void TImageMapsEdit::SceneChanged() {
  const TParticleSystem* s = System();
  if (!s) {
    Image_.reset();
    ImageName_.clear();
    ImageIndex_ = -1;
    MissingNote_.clear();
  } else if (s->Maps.Empty() || ShownIndex() != ImageIndex_ || s->Maps.NameAt(ShownIndex()) != ImageName_) {
    LoadImage();
  }
  ParticleColors.SceneChanged();
  SystemColors.SceneChanged();
  Changed();
}

void TImageMapsEdit::LoadImage() {
  MissingNote_.clear();
  TParticleSystem* s = System();
  if (!s || s->Maps.Empty()) {
    Image_ = s ? DefaultImage() : nullptr;
    ImageName_.clear();
    ImageIndex_ = -1;
    return;
  }
  const int index = ShownIndex();
  const std::string original = s->Maps.NameAt(index);
  ImageIndex_ = index;
  ImageName_ = original;
  std::string name = original;
  try {
    Image_ = BitmapCache().GetImage(name);
  } catch (const std::exception& e) {
    // A file that cannot be decoded keeps its name; the preview shows the built-in image.
    ClearFpuExceptions();
    Image_ = DefaultImage();
    MissingNote_ = e.what();
    Platform().ShowMessage(e.what());
    return;
  }
  // The locate dialog is modal: the system may have gone meanwhile.
  s = System();
  if (!s || index >= s->Maps.ImageCount()) return;
  if (name != original && name != DefaultImageName) {
    // The user located the file: the entry names it from now on.
    Step("Locate Image", [&](TParticleSystem& sys) { sys.Maps.SetImageName(index, name); });
    ImageName_ = name;
  } else if (original != DefaultImageName && Image_ == DefaultImage()) {
    // Given up: the entry keeps its name, so a scene opened where the file is missing loses
    // nothing, and the built-in image stands in.
    MissingNote_ = "Missing picture \"" + FileNameOf(original) + "\": the built-in image stands in";
  }
}

TImageMapsState TImageMapsEdit::MapsState() const {
  TImageMapsState st;
  const TParticleSystem* s = System();
  st.ShowTransparency = ShowTransparency_;
  st.ShowOrigin = ShowOrigin_;
  if (!s) return st;
  st.HasSystem = true;
  const int index = ShownIndex();
  st.ImageNumber = index;
  st.ImageCount = s->Maps.ImageCount();
  st.ImageName = s->Maps.Empty() ? std::string(DefaultImageName) : s->Maps.NameAt(index);
  st.MissingNote = MissingNote_;
  st.MapMode = std::clamp(s->MapMode, 0, 2);
  st.CycleTime = InRange(s->MapCycleTime, 1, LargestCycleTime);
  const TParticleMapOptions& o = s->Maps.OptionsAt(index);
  st.Flip = std::min<int>(o.Flip, 3);
  st.AlphaMaster = ShownAlpha(o.AlphaMaster);
  st.OriginX = o.OriginX;
  st.OriginY = o.OriginY;
  st.MaxParticleSize = InRange(s->MaxParticleSize, SmallestParticleSize, LargestParticleSize);
  st.SpatialDither = s->SpatialDither;
  return st;
}

std::vector<uint32_t> TImageMapsEdit::PreviewPixels() const {
  const TImageMapsState st = MapsState();
  TMapPreviewOptions o;
  o.Flip = static_cast<uint8_t>(st.Flip);
  o.Transparency = ShowTransparency_;
  o.AlphaMaster = st.AlphaMaster;
  o.ShowOrigin = ShowOrigin_ && st.HasSystem;
  o.OriginX = st.OriginX;
  o.OriginY = st.OriginY;
  static const TBitmap32 none;
  return MapPreview(st.HasSystem && Image_ ? *Image_ : none, o, MapPreviewSize);
}

// ---- The list -----------------------------------------------------------------------------------

void TImageMapsEdit::SetImageNumber(int index) {
  const TParticleSystem* s = System();
  if (!s || s->Maps.Empty()) return;
  index = std::clamp(index, 0, s->Maps.ImageCount() - 1);
  if (index != s->MapIndex) Step("Image Number", [index](TParticleSystem& sys) { sys.MapIndex = index; });
  LoadImage();
  Changed();
}

void TImageMapsEdit::AddAction() {
  if (!System()) return;
  const std::vector<std::string> files = PickPictures(true);
  if (files.empty()) return;
  Step("Add Image", [&](TParticleSystem& sys) {
    for (const std::string& f : files) sys.Maps.AddImage(f);
    sys.MapIndex = sys.Maps.ImageCount() - 1;
  });
  BitmapCache().Clear();
  LoadImage();
  Changed();
}

void TImageMapsEdit::DeleteAction() {
  const TParticleSystem* s = System();
  if (!s || s->Maps.ImageCount() < 2) return;
  const int index = ShownIndex();
  Step("Delete Image", [index](TParticleSystem& sys) {
    sys.Maps.DeleteImage(index);
    sys.MapIndex = std::min(index, sys.Maps.ImageCount() - 1);
  });
  LoadImage();
  Changed();
}

void TImageMapsEdit::ChooseImageAction() {
  if (!System() || System()->Maps.Empty()) return;
  const std::vector<std::string> files = PickPictures(false);
  if (files.empty() || !System() || System()->Maps.Empty()) return;
  const int index = ShownIndex();
  Step("Choose Image", [&](TParticleSystem& sys) { sys.Maps.SetImageName(index, files.front()); });
  BitmapCache().Clear();
  LoadImage();
  Changed();
}

// ---- The entry's options ------------------------------------------------------------------------

void TImageMapsEdit::PreviewClick(double x, double y, int modifiers) {
  if (!(modifiers & ModCtrl)) {
    ChooseImageAction();
    return;
  }
  const TParticleSystem* s = System();
  if (!s || s->Maps.Empty() || !std::isfinite(x) || !std::isfinite(y)) return;
  const int index = ShownIndex();
  const float ox = static_cast<float>(std::clamp(x / MapPreviewSize, 0.0, 1.0));
  const float oy = static_cast<float>(std::clamp(y / MapPreviewSize, 0.0, 1.0));
  Step("Move Origin", [&](TParticleSystem& sys) {
    sys.Maps.OptionsAt(index).OriginX = ox;
    sys.Maps.OptionsAt(index).OriginY = oy;
  });
}

void TImageMapsEdit::ShowTransparencyAction() {
  ShowTransparency_ = !ShowTransparency_;
  Changed();
}

void TImageMapsEdit::ShowOriginAction() {
  ShowOrigin_ = !ShowOrigin_;
  Changed();
}

void TImageMapsEdit::MoveOriginAction(TOriginMove move) {
  const TParticleSystem* s = System();
  if (!s || s->Maps.Empty()) return;
  const int index = ShownIndex();
  Step("Move Origin", [&](TParticleSystem& sys) {
    TParticleMapOptions& o = sys.Maps.OptionsAt(index);
    switch (move) {
      case TOriginMove::Center: o.OriginX = o.OriginY = 0.5f; break;
      case TOriginMove::Top: o.OriginY = 0; break;
      case TOriginMove::Left: o.OriginX = 0; break;
      case TOriginMove::Right: o.OriginX = 1; break;
      case TOriginMove::Bottom: o.OriginY = 1; break;
    }
  });
}

void TImageMapsEdit::SetFlip(int index) {
  const TParticleSystem* s = System();
  if (!s || s->Maps.Empty() || index < 0 || index > 3) return;
  const int entry = ShownIndex();
  Step("Flip", [&](TParticleSystem& sys) { sys.Maps.OptionsAt(entry).Flip = static_cast<uint8_t>(index); });
}

void TImageMapsEdit::SetAlphaMaster(int value) {
  const TParticleSystem* s = System();
  if (!s || s->Maps.Empty()) return;
  value = std::clamp(value, 0, 255);
  const int entry = ShownIndex();
  // The value shown is a whole step of 1/255; writing it back unchanged would round the stored one.
  if (value == ShownAlpha(s->Maps.OptionsAt(entry).AlphaMaster)) return;
  Step("Alpha Master", [&](TParticleSystem& sys) { sys.Maps.OptionsAt(entry).AlphaMaster = value / 255.0f; });
}

// ---- The system's settings ----------------------------------------------------------------------

void TImageMapsEdit::SetMapMode(int index) {
  const TParticleSystem* s = System();
  if (!s || index < 0 || index > 2 || index == s->MapMode) return;
  Step("Map Mode", [index](TParticleSystem& sys) { sys.MapMode = index; });
}

void TImageMapsEdit::SetCycleTime(double value) {
  const TParticleSystem* s = System();
  if (!s || !std::isfinite(value)) return;
  const int frames = InRange(value, 1, LargestCycleTime);
  // A stored 0 shows as 1; the spin landing there changes nothing.
  if (frames == InRange(s->MapCycleTime, 1, LargestCycleTime)) return;
  Step("Cycle Time", [frames](TParticleSystem& sys) { sys.MapCycleTime = frames; });
}

void TImageMapsEdit::SetMaxParticleSize(double value) {
  const TParticleSystem* s = System();
  if (!s || !std::isfinite(value)) return;
  const int size = InRange(value, SmallestParticleSize, LargestParticleSize);
  if (size == InRange(s->MaxParticleSize, SmallestParticleSize, LargestParticleSize)) return;
  Step("Max Rendered Particle Size", [size](TParticleSystem& sys) { sys.MaxParticleSize = size; });
}

void TImageMapsEdit::SetSpatialDither(double value) {
  const TParticleSystem* s = System();
  if (!s || !std::isfinite(value)) return;
  const float dither = static_cast<float>(std::clamp(value, 0.0, 1.0));
  if (dither == s->SpatialDither) return;
  Step("Spatial Dither", [dither](TParticleSystem& sys) { sys.SpatialDither = dither; });
}
