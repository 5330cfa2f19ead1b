// The image cache, the data folder, and the search for missing texture files.
#include "render/BitmapCache.h"

#include <strings.h>

#include <filesystem>
#include <system_error>

#include "hostapi/Platform.h"
#include "engine/ParticleMapSource.h"
#include "pictures/PictureLoader.h"

namespace {
bool FileExists(const std::string& name) {
  std::error_code ec;
  return !name.empty() && std::filesystem::is_regular_file(name, ec);
}

std::string& DataFolderSetting() {
  static std::string folder;
  return folder;
}

std::string& PictureFolderSetting() {
  static std::string folder;
  return folder;
}
}  // namespace

void AlphaFromIntensity(TBitmap32& image) {
  for (uint32_t& p : image.Pixels) {
    const uint32_t a = (61u * RedOf(p) + 174u * GreenOf(p) + 21u * BlueOf(p)) >> 8;
    p = (p & 0x00FFFFFFu) | (a << 24);
  }
}

void AlphaFromIntensityInMask(TBitmap32& image) {
  for (uint32_t& p : image.Pixels) {
    if (AlphaOf(p) == 0) continue;
    const uint32_t a = (61u * RedOf(p) + 174u * GreenOf(p) + 21u * BlueOf(p)) >> 8;
    p = (p & 0x00FFFFFFu) | (a << 24);
  }
}

bool TBitmap32Cache::TNameLess::operator()(const std::string& a, const std::string& b) const {
  return strcasecmp(a.c_str(), b.c_str()) < 0;
}

namespace {
// The file a name reads: the name itself when it exists; else, for a relative name, the same
// relative path under the data folder, so that scenes and presets naming the shipped pictures
// ("maps/flame.png") render from any working folder and keep the name as written. Empty when
// there is neither.
std::string FileToRead(const std::string& name) {
  if (FileExists(name)) return name;
  if (DataFolder().empty() || name.empty() || std::filesystem::path(name).is_absolute()) return {};
  const std::string inData = DataFolder() + name;
  return FileExists(inData) ? inData : std::string();
}
}  // namespace

TImageRef TBitmap32Cache::GetImage(std::string& name) {
  if (auto it = Images.find(name); it != Images.end()) return it->second;
  std::string file = FileToRead(name);
  if (file.empty() && LocateHandler) {
    std::string located = LocateHandler(name);
    if (FileToRead(located).empty()) {
      // Given up: the name stays, so that a scene opened where the file is missing loses
      // nothing, and the built-in image stands in for it until the cache is cleared (the user
      // is asked once, not for every particle).
      if (name != DefaultImageName) Images.emplace(name, DefaultImage());
      return DefaultImage();
    }
    name = std::move(located);
    if (auto it = Images.find(name); it != Images.end()) return it->second;
    file = FileToRead(name);
  }
  if (file.empty()) return DefaultImage();
  TPicture picture = LoadPicture(file);
  if (!picture.HasAlpha) AlphaFromIntensity(picture.Image);
  else if (picture.AlphaIsMask) AlphaFromIntensityInMask(picture.Image);
  auto image = std::make_shared<const TBitmap32>(std::move(picture.Image));
  Images.emplace(name, image);
  return image;
}

TBitmap32Cache& BitmapCache() {
  static TBitmap32Cache cache;
  return cache;
}

void SetDataFolder(const std::string& folder) { DataFolderSetting() = folder; }
const std::string& DataFolder() { return DataFolderSetting(); }
void SetPictureFolder(const std::string& folder) { PictureFolderSetting() = folder; }
const std::string& PictureFolder() { return PictureFolderSetting(); }

std::string LocateTexture(const std::string& name) {
  if (name == DefaultImageName) return name;
  // Names saved on the host's own platform separate folders with "\".
  const size_t slash = name.find_last_of("/\\");
  const std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
  if (!DataFolder().empty()) {
    const std::string inData = DataFolder() + file;
    if (FileExists(inData)) return inData;
  }
  // Two line breaks between the sentences ("\r\r" where the host runs).
  const std::string question =
      "Could not find the texture file: \"" + file + "\".\n\nWould you like to locate it manually?";
  if (!Platform().Confirm(question)) return DefaultImageName;
  const std::vector<std::string> picked = Platform().OpenPictures(PictureFolder(), file, false);
  if (picked.empty()) return DefaultImageName;
  const std::string path = std::filesystem::absolute(picked.front()).string();
  SetPictureFolder(std::filesystem::path(path).parent_path().string());
  return path;
}
