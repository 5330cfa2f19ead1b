// The image map list model and its stream; the images themselves come from the renderer's
// image cache (render/ParticleImages.h).
#include "engine/ParticleMapSource.h"

#include <algorithm>
#include <stdexcept>
#include <strings.h>

#include "engine/Stream.h"

void TParticleMapOptions::Read(TStream& s) {
  (void)(ReadField(s, AlphaMaster) && ReadField(s, Flip) && ReadField(s, OriginX) && ReadField(s, OriginY));
  // The last entry of a stream may end right after OriginY.
  s.Skip(ReservedSize);
}

void TParticleMapOptions::Write(TStream& s) const {
  WriteField(s, AlphaMaster);
  WriteField(s, Flip);
  WriteField(s, OriginX);
  WriteField(s, OriginY);
  WriteZeros(s, ReservedSize);
}

TParticleMapSource::TParticleMapSource() { Entries.push_back({DefaultImageName, {}}); }

size_t TParticleMapSource::Clamp(int index) const {
  return index < 0 || static_cast<size_t>(index) >= Entries.size() ? 0 : static_cast<size_t>(index);
}

TParticleMapOptions& TParticleMapSource::OptionsAt(int index) {
  if (Entries.empty()) {
    Fallback = TParticleMapOptions{};
    return Fallback;
  }
  return Entries[Clamp(index)].Options;
}

const TParticleMapOptions& TParticleMapSource::OptionsAt(int index) const {
  static const TParticleMapOptions defaults{};
  return Entries.empty() ? defaults : Entries[Clamp(index)].Options;
}

int TParticleMapSource::AddImage(const std::string& name) {
  std::erase_if(Entries, [&](const TEntry& e) { return strcasecmp(e.Name.c_str(), name.c_str()) == 0; });
  Entries.push_back({name, {}});
  return static_cast<int>(Entries.size()) - 1;
}

void TParticleMapSource::DeleteImage(int index) {
  Entries.at(static_cast<size_t>(index));  // range check
  Entries.erase(Entries.begin() + index);
}

void TParticleMapSource::SetImageName(int index, const std::string& name) {
  Entries.at(static_cast<size_t>(index)).Name = name;
}

void TParticleMapSource::LoadFromStream(TStream& s) {
  int32_t length = 0;
  if (!ReadField(s, length)) return;
  // The text can be no longer than what the stream still holds.
  const size_t n = static_cast<size_t>(std::clamp<int64_t>(length, 0, static_cast<int64_t>(s.Remaining())));
  std::string text(n, '\0');
  text.resize(s.Read(text.data(), n));
  std::vector<TEntry> entries;
  for (std::string& name : CommaTextToNames(text)) entries.push_back({std::move(name), {}});
  for (TEntry& e : entries) e.Options.Read(s);
  Entries = std::move(entries);
}

void TParticleMapSource::SaveToStream(TStream& s) const {
  std::vector<std::string> names;
  for (const TEntry& e : Entries) names.push_back(e.Name);
  const std::string text = NamesToCommaText(names);
  WriteField(s, static_cast<int32_t>(text.size()));
  s.Write(text.data(), text.size());
  for (const TEntry& e : Entries) e.Options.Write(s);
}

namespace {
bool NeedsQuotes(const std::string& name) {
  // An empty name is quoted too: left bare at the end of the list it would read back as no
  // name at all, and every later options record would be read one entry off.
  if (name.empty()) return true;
  return std::any_of(name.begin(), name.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 32 || c == '"' || c == ',';
  });
}

bool IsBlank(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}
}  // namespace

std::string NamesToCommaText(const std::vector<std::string>& names) {
  std::string text;
  for (size_t k = 0; k < names.size(); ++k) {
    if (k) text += ',';
    const std::string& name = names[k];
    if (!NeedsQuotes(name)) {
      text += name;
      continue;
    }
    text += '"';
    for (char c : name) {
      if (c == '"') text += '"';
      text += c;
    }
    text += '"';
  }
  return text;
}

std::vector<std::string> CommaTextToNames(const std::string& text) {
  std::vector<std::string> names;
  // The text ends at its first zero character, as the stored lists were always read.
  const size_t end = std::min(text.find('\0'), text.size());
  size_t p = 0;
  while (p < end && IsBlank(text[p])) ++p;
  while (p < end) {
    std::string name;
    if (text[p] == '"') {
      ++p;
      while (p < end) {
        if (text[p] == '"') {
          if (p + 1 < end && text[p + 1] == '"') {
            name += '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        name += text[p++];
      }
    } else {
      const size_t start = p;
      while (p < end && static_cast<unsigned char>(text[p]) > 32 && text[p] != ',') ++p;
      name.assign(text, start, p - start);
    }
    names.push_back(std::move(name));
    while (p < end && IsBlank(text[p])) ++p;
    if (p < end && text[p] == ',') {
      ++p;
      while (p < end && IsBlank(text[p])) ++p;
    }
  }
  return names;
}
