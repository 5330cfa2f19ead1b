// The program's one image cache: images decoded once per file name and shared by every system,
// the locate handler that finds missing files, the built-in image, and the data folder.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "pictures/Bitmap32.h"

// The image of the entry "Default" and of every file that cannot be found: a 128 × 128 white
// star-shaped glow fading to black, its alpha taken from its intensity. Built once.
TImageRef DefaultImage();

// Replaces every pixel's alpha by (61 × red + 174 × green + 21 × blue) shr 8, the rule for
// pictures that had no alpha of their own.
void AlphaFromIntensity(TBitmap32& image);
// The same for the pixels a mask leaves visible (alpha not 0); masked pixels stay clear.
void AlphaFromIntensityInMask(TBitmap32& image);

// Returns the name to use for a missing file ("Default" when there is none).
using TLocateHandler = std::function<std::string(const std::string&)>;

class TBitmap32Cache {
 public:
  // The image for a file name. A name that is cached gives its image. A relative name is a
  // file in the working folder or, when there is none, the same path under the data folder
  // (the name stays as written). A name with no file behind it goes through the locate handler
  // (when one is installed), which may change the name; the caller keeps the changed name. A
  // name the handler gives up on stays as it is and gives DefaultImage, remembered under that
  // name until Clear so that the handler is asked once. An existing file is decoded, its alpha made from
  // intensity unless the picture had an alpha channel (a transparent colour is no channel: it
  // stays clear and the rest takes alpha from intensity), and cached under the name. Otherwise
  // DefaultImage, which is not cached. Throws EVantrelError when the file cannot be decoded;
  // nothing is cached then.
  TImageRef GetImage(std::string& name);
  // Drops every cached image (images still held elsewhere live on), so files are read again.
  void Clear() { Images.clear(); }
  size_t Count() const { return Images.size(); }

  TLocateHandler LocateHandler;

 private:
  struct TNameLess {
    bool operator()(const std::string& a, const std::string& b) const;
  };
  std::map<std::string, TImageRef, TNameLess> Images;  // names compared without letter case
};

// The program's cache, created on first use and freed when the program ends.
TBitmap32Cache& BitmapCache();

// The folder the plug-in's own files lie in: the host's folder followed by "Vantrel/". Set once
// by the plug-in's entry point; empty until then (no data folder is searched).
void SetDataFolder(const std::string& folder);
const std::string& DataFolder();

// The folder the picture-open dialog of the image maps editor starts in; it follows the last
// file picked through it.
void SetPictureFolder(const std::string& folder);
const std::string& PictureFolder();

// The locate handler the main panel installs. "Default" stays "Default". A file of the same
// name in the data folder is used without a question. Otherwise the user is asked
// "Could not find the texture file: "<file>". Would you like to locate it manually?"; on Yes,
// the picture-open dialog starts with the file name preset and a picked file's full path is
// returned. Declining or cancelling gives "Default".
std::string LocateTexture(const std::string& name);
