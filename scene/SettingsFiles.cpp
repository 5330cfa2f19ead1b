// Readable settings as bytes: scene payloads and settings files turned into JSON and back
// through the objects' own record readers and writers, and the settings' text form.
#include "scene/Settings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <functional>
#include <set>

#include "engine/ColorSeries.h"
#include "engine/Stream.h"
#include "hostapi/JsonText.h"

namespace {

using json = TSettingsJson;

int32_t ReadInt(const std::vector<uint8_t>& bytes, size_t at) {
  int32_t v = 0;
  std::memcpy(&v, bytes.data() + at, sizeof v);
  return v;
}

void AppendInt(std::vector<uint8_t>& out, int32_t v) {
  const auto* p = reinterpret_cast<const uint8_t*>(&v);
  out.insert(out.end(), p, p + sizeof v);
}

std::string Extension(const std::string& fileName) {
  const size_t dot = fileName.rfind('.');
  const size_t slash = fileName.find_last_of("/\\");
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string ext = fileName.substr(dot);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

// Settings that hold a record whole: they must go through their text and back into the very
// record the object writes. Records other programs wrote may hold what the panels never make (a
// frame offset of 9000, a curve of one key, a name in bytes no text holds); their settings would
// be refused, or would come back as something else. read fills an object from settings and
// writes its record.
TSettingsJson Exact(TSettingsJson j, const TMemoryStream& record,
                    const std::function<void(const TSettingsJson&, TMemoryStream&)>& read) {
  TMemoryStream back;
  try {
    read(ParseSettingsText(SettingsText(j)), back);
  } catch (const ESettingsError& e) {
    throw ENotReadable(std::string("readable settings cannot hold it: ") + e.what());
  }
  if (back.Data() != record.Data())
    throw ENotReadable("readable settings cannot hold it: they would not give back the same record");
  return j;
}

TSettingsJson ExactEmitterSettings(const TEmitterObject& emitter) {
  TMemoryStream record;
  emitter.WriteTo(record);
  return Exact(EmitterToSettings(emitter), record, [](const TSettingsJson& j, TMemoryStream& out) {
    TEmitterObject back;
    EmitterFromSettings(j, back);
    back.WriteTo(out);
  });
}

TSettingsJson ExactToolSettings(const TToolObject& tool) {
  TMemoryStream record;
  tool.WriteTo(record);
  return Exact(ToolToSettings(tool), record, [&](const TSettingsJson& j, TMemoryStream& out) {
    TToolObject back;
    ToolFromSettings(j, back, tool.Kind());
    back.WriteTo(out);
  });
}

}  // namespace

TSettingsJson PayloadToSettings(TSettingsKind kind, const std::vector<uint8_t>& payload) {
  if (payload.size() < 8) throw EVantrelError("the payload holds no object");
  const int32_t version = ReadInt(payload, 0);
  const int32_t length = ReadInt(payload, 4);
  if (version < 100 || length <= 0) throw EVantrelError("the payload holds no object");
  const size_t n = std::min(static_cast<size_t>(length), payload.size() - 8);
  TMemoryStream record(std::vector<uint8_t>(payload.begin() + 8, payload.begin() + 8 + static_cast<std::ptrdiff_t>(n)));
  if (kind == TSettingsKind::Emitter) {
    TEmitterObject emitter;
    emitter.ReadFrom(version, record);
    return ExactEmitterSettings(emitter);
  }
  TToolObject tool;
  tool.ReadFrom(record);
  return ExactToolSettings(tool);
}

std::vector<uint8_t> SettingsToPayload(TSettingsKind kind, const TSettingsJson& j, TToolKind expectedTool) {
  TMemoryStream record;
  int32_t version = 0;
  if (kind == TSettingsKind::Emitter) {
    TEmitterObject emitter;
    EmitterFromSettings(j, emitter);
    emitter.WriteTo(record);
    version = EmitterRecordVersion;
  } else {
    TToolObject tool;
    ToolFromSettings(j, tool, expectedTool);
    tool.WriteTo(record);
    version = ToolRecordVersion;
  }
  std::vector<uint8_t> out;
  AppendInt(out, version);
  AppendInt(out, static_cast<int32_t>(record.Data().size()));
  out.insert(out.end(), record.Data().begin(), record.Data().end());
  return out;
}

namespace {

// The last problem of a settings file read to its end: a record cut short, or bytes after it.
void NoteEnd(const TStream& s, const char* kind, std::vector<std::string>& problems) {
  if (s.EndedEarly())
    problems.push_back("it ends early; what is missing has its defaults");
  else if (s.Remaining() > 0)
    problems.push_back(Format("%llu bytes after the settings are not %s and were ignored",
                              static_cast<unsigned long long>(s.Remaining()), kind));
}

// A damaged file is refused before anything is converted, unless forced.
void CheckDamage(const std::string& fileName, const std::vector<std::string>& problems, bool force) {
  if (problems.empty() || force) return;
  std::string text = fileName + ": damaged: ";
  for (size_t i = 0; i < problems.size(); ++i) text += (i ? "; " : "") + problems[i];
  throw EDamagedFile(text + "; nothing was converted");
}

TSettingsJson SettingsFileContent(const std::string& fileName, std::vector<std::string>& problems, bool force) {
  const std::string ext = Extension(fileName);
  if (ext != ".vte" && ext != ".vts" && ext != ".vtg")
    throw EVantrelError(fileName + ": not a settings file (.vte, .vts or .vtg)");
  if (ext == ".vtg") {
    TFileReadStream s(fileName);
    TColorSeries gradient;
    if (s.Size() == 0) problems.push_back("the file is empty");
    if (const size_t dropped = gradient.LoadFromStream(s))
      problems.push_back(Format("%zu colour stops at no position were dropped", dropped));
    if (s.Size() > 0) NoteEnd(s, "a gradient's", problems);
    CheckDamage(fileName, problems, force);
    TMemoryStream record;
    gradient.SaveToStream(record);
    return Exact(GradientToSettings(gradient), record, [](const TSettingsJson& j, TMemoryStream& out) {
      TColorSeries back;
      GradientFromSettings(j, back);
      back.SaveToStream(out);
    });
  }
  TEmitterObject emitter;
  ReadEmitterSettingsFile(fileName, emitter, problems);
  CheckDamage(fileName, problems, force);
  if (ext == ".vte") return ExactEmitterSettings(emitter);
  if (emitter.Systems.empty()) emitter.AddSystem();
  const TEmitter& slot = *emitter.Systems.front();
  TMemoryStream record;
  slot.WriteTo(record, true);
  return Exact(SystemToSettings(slot), record, [](const TSettingsJson& j, TMemoryStream& out) {
    TEmitterObject owner;
    TEmitter& back = owner.AddSystem();
    SystemFromSettings(j, back);
    back.WriteTo(out, true);
  });
}

}  // namespace

void ReadEmitterSettingsFile(const std::string& fileName, TEmitterObject& emitter, std::vector<std::string>& problems) {
  const bool system = Extension(fileName) == ".vts";
  TFileReadStream s(fileName);
  int32_t version = 0;
  if (!ReadField(s, version)) {
    problems.push_back(s.Size() == 0 ? "the file is empty" : "it ends inside its version number");
    return;
  }
  if (version != EmitterRecordVersion && version != OldEmitterRecordVersion) {
    problems.push_back(Format("it was saved in a form this version cannot read (record version %d)", version));
    return;
  }
  try {
    if (system)
      emitter.AddSystem().ReadFrom(version, s);
    else
      emitter.ReadFrom(version, s);
  } catch (const std::exception& e) {
    problems.push_back(Format("its data could not be read (%s)", e.what()));
    return;
  }
  NoteEnd(s, system ? "a system's" : "an emitter's", problems);
}

TSettingsJson SettingsFileToJson(const std::string& fileName, bool force, std::vector<std::string>* defaulted) {
  std::vector<std::string> problems;
  TSettingsJson j;
  try {
    j = SettingsFileContent(fileName, problems, force);
  } catch (const ENotReadable& e) {
    throw ENotReadable(fileName + ": " + e.what());
  }
  if (defaulted) *defaulted = problems;
  return j;
}

void JsonToSettingsFile(const TSettingsJson& j, const std::string& fileName) {
  const std::string ext = Extension(fileName);
  if (ext != ".vte" && ext != ".vts" && ext != ".vtg")
    throw EVantrelError(fileName + ": not a settings file (.vte, .vts or .vtg)");
  // Every check runs before the file is touched.
  TMemoryStream bytes;
  if (ext == ".vtg") {
    TColorSeries gradient;
    GradientFromSettings(j, gradient);
    gradient.SaveToStream(bytes);
  } else {
    TEmitterObject emitter;
    WriteField(bytes, EmitterRecordVersion);
    if (ext == ".vte") {
      EmitterFromSettings(j, emitter);
      emitter.WriteTo(bytes);
    } else {
      TEmitter& slot = emitter.AddSystem();
      SystemFromSettings(j, slot);
      slot.WriteTo(bytes, true);
    }
  }
  TFileWriteStream out(fileName);
  out.Write(bytes.Data().data(), bytes.Data().size());
  out.Commit();
}

std::string SettingsText(const TSettingsJson& j) {
  std::string out;
  LayOutJson(out, j);
  out += "\n";
  return out;
}

TSettingsJson ParseSettingsText(const std::string& text) {
  // Lists and objects nest a few levels in settings; the limit is the scene reader's, and keeps
  // every reader and writer of the document within its stack.
  if (const size_t deep = TooDeeplyNestedAt(text, MaxJsonNesting); deep != std::string::npos)
    throw ESettingsError("", LineAndColumn(text, deep) + ": lists and objects nested deeper than " +
                                 std::to_string(MaxJsonNesting) + " levels");
  try {
    json j = json::parse(text);
    if (const TDuplicateKey d = FindDuplicateKey(text); d.At != std::string::npos)
      throw ESettingsError(d.Path, LineAndColumn(text, d.At) + ": this key is given twice in one object; give each key once");
    return j;
  } catch (const json::parse_error& e) {
    // The library says what it was parsing and what it expected; the word at the fault (an
    // invalid literal such as NaN, a number) is named as it stands in the text, and the line and
    // column are where it starts.
    const size_t at = std::min(e.byte > 0 ? e.byte - 1 : 0, text.size());
    const auto wordChar = [](char c) {
      return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '+' || c == '-' || c == '_';
    };
    size_t start = at, end = at;
    while (start > 0 && wordChar(text[start - 1])) --start;
    while (end < text.size() && wordChar(text[end])) ++end;
    std::string what = e.what();
    const size_t column = what.find(": ", what.find("column"));
    if (column != std::string::npos) what = what.substr(column + 2);
    const size_t lastRead = what.find("; last read:");
    if (lastRead != std::string::npos) what.resize(lastRead);
    if (end > start) what += ", found '" + text.substr(start, std::min<size_t>(end - start, 40)) + "'";
    throw ESettingsError("", LineAndColumn(text, end > start ? start : at) + ": " + what);
  } catch (const json::out_of_range& e) {
    // A number beyond what a double holds; the library names it but not where it is.
    std::string number = e.what();
    const size_t open = number.find('\'');
    number = open == std::string::npos ? std::string() : number.substr(open + 1, number.rfind('\'') - open - 1);
    const size_t at = number.empty() ? std::string::npos : text.find(number);
    throw ESettingsError("", (at == std::string::npos ? std::string() : LineAndColumn(text, at) + ": ") + "the number " +
                                 number + " is outside the range of numbers; expected a number from -1.7e308 to 1.7e308");
  }
}
