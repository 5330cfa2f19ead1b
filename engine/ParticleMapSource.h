// A particle system's image map list: image file names in the order they were added, each
// with its render options, and the map list stream that the slot record embeds: the names as
// one comma text (int32 length, then the characters), then per entry AlphaMaster (float32),
// Flip (byte), OriginX, OriginY (float32) and 32 reserved bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>
#include <utility>

class TStream;

enum TMapFlip : uint8_t { FlipNone = 0, FlipHorizontal = 1, FlipVertical = 2, FlipBoth = 3 };

struct TParticleMapOptions {
  static constexpr size_t FieldsSize = 13;
  static constexpr size_t ReservedSize = 32;

  float AlphaMaster = 0.2f;  // multiplies the particle's alpha in the final render
  uint8_t Flip = FlipNone;
  float OriginX = 0.5f;  // point of the image on the particle, fraction of the width from the left
  float OriginY = 0.5f;  // the same, fraction of the height from the top

  // Reads the fields; each field the stream no longer holds keeps its value. Skips the
  // reserved bytes that are there.
  void Read(TStream& s);
  // Writes the fields and 32 zero bytes.
  void Write(TStream& s) const;
  friend bool operator==(const TParticleMapOptions&, const TParticleMapOptions&) = default;
};

constexpr const char* DefaultImageName = "Default";

class TParticleMapSource {
 public:
  struct TEntry {
    std::string Name;  // a full path as chosen by the user, or "Default"
    TParticleMapOptions Options;
  };

  // One entry, "Default" with default options.
  TParticleMapSource();

  int ImageCount() const { return static_cast<int>(Entries.size()); }
  // The entry's name; throws std::out_of_range for an index outside the list.
  const std::string& NameAt(int index) const { return Entries.at(static_cast<size_t>(index)).Name; }

  // The entry an index selects: an index outside the list uses entry 0 (the list must not be
  // empty). The image of an entry comes from the renderer's image cache (ImageAt, in
  // render/ParticleImages.h).
  bool Empty() const { return Entries.empty(); }
  size_t Clamp(int index) const;
  TEntry& Entry(int index) { return Entries[Clamp(index)]; }

  // The options of an entry, clamped like Entry. On a list with no entries: default
  // options, and what is written into them is not kept.
  TParticleMapOptions& OptionsAt(int index);
  const TParticleMapOptions& OptionsAt(int index) const;

  // Removes an entry of that name (letter case aside, as the cache compares names), then
  // appends (name, default options); returns its index.
  int AddImage(const std::string& name);
  // The later entries move up by one; throws std::out_of_range for an index outside the list.
  void DeleteImage(int index);
  // Replaces the name and keeps the options; throws std::out_of_range likewise.
  void SetImageName(int index, const std::string& name);

  // Replaces the list by these entries as they stand (names as given, duplicates kept), as a
  // stream holding them would.
  void Assign(std::vector<TEntry> entries) { Entries = std::move(entries); }

  // Replaces the list. A stream that ends early keeps the option fields read so far (the
  // others stay at their defaults); a name length beyond the stream reads the bytes there are;
  // a stream that ends before the length changes nothing.
  void LoadFromStream(TStream& s);
  void SaveToStream(TStream& s) const;

 private:
  std::vector<TEntry> Entries;
  TParticleMapOptions Fallback;  // handed out for a list with no entries
};

// The names joined by commas; a name holding a character of code 32 or below, a double quote
// or a comma, and an empty name, is written in double quotes with inner quotes doubled.
std::string NamesToCommaText(const std::vector<std::string>& names);
// The reverse: a quoted name runs to its closing quote (a doubled quote is one quote), any other
// name to the next comma or character of code 32 or below; two commas in a row give an empty
// name, and a text of only spaces none.
std::vector<std::string> CommaTextToNames(const std::string& text);
