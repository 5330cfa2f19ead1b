// Readable settings as bytes: scene payloads and settings files turned into JSON and back
// through the objects' own record readers and writers, and the settings' text form.
#include "scene/Settings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <sstream>

#include "engine/ColorSeries.h"
#include "engine/Stream.h"

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

// A plain value; a whole number held as a double is written without ".0" (it reads back as the
// same double), except minus zero, which would read back as zero.
std::string Scalar(const json& j) {
  if (j.is_number_float()) {
    const double v = j.get<double>();
    if (std::isfinite(v) && v == std::trunc(v) && std::fabs(v) < 1e15 && !(v == 0 && std::signbit(v)))
      return std::to_string(static_cast<int64_t>(v));
  }
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

// Writes JSON the way people lay it out: arrays of plain values ([x, value] keys, colour stops,
// vectors) on one line, everything else indented.
void Print(std::ostringstream& out, const json& j, int indent) {
  const auto flat = [](const json& a) {
    return std::all_of(a.begin(), a.end(), [](const json& e) { return e.is_primitive(); });
  };
  const std::string pad(static_cast<size_t>(indent) * 2, ' ');
  const std::string inner(static_cast<size_t>(indent + 1) * 2, ' ');
  if (j.is_object()) {
    if (j.empty()) {
      out << "{}";
      return;
    }
    out << "{\n";
    size_t i = 0;
    for (auto it = j.begin(); it != j.end(); ++it, ++i) {
      out << inner << json(it.key()).dump() << ": ";
      Print(out, it.value(), indent + 1);
      out << (i + 1 < j.size() ? ",\n" : "\n");
    }
    out << pad << "}";
  } else if (j.is_array()) {
    if (j.empty() || flat(j)) {
      out << "[";
      for (size_t i = 0; i < j.size(); ++i) out << (i ? ", " : "") << Scalar(j[i]);
      out << "]";
      return;
    }
    out << "[\n";
    for (size_t i = 0; i < j.size(); ++i) {
      out << inner;
      Print(out, j[i], indent + 1);
      out << (i + 1 < j.size() ? ",\n" : "\n");
    }
    out << pad << "]";
  } else {
    out << Scalar(j);
  }
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
    return EmitterToSettings(emitter);
  }
  TToolObject tool;
  tool.ReadFrom(record);
  return ToolToSettings(tool);
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

TSettingsJson SettingsFileToJson(const std::string& fileName) {
  const std::string ext = Extension(fileName);
  if (ext != ".vte" && ext != ".vts" && ext != ".vtg")
    throw EVantrelError(fileName + ": not a settings file (.vte, .vts or .vtg)");
  TFileReadStream s(fileName);
  if (ext == ".vtg") {
    TColorSeries gradient;
    gradient.LoadFromStream(s);
    return GradientToSettings(gradient);
  }
  int32_t version = 0;
  ReadField(s, version);
  TEmitterObject emitter;
  if (ext == ".vte") {
    emitter.ReadFrom(version, s);
    return EmitterToSettings(emitter);
  }
  if (version != EmitterRecordVersion && version != OldEmitterRecordVersion)
    throw EVantrelError(fileName + ": a system file of version " + std::to_string(version) +
                        " (only 100 and 101 are read)");
  TEmitter& slot = emitter.AddSystem();
  slot.ReadFrom(version, s);
  return SystemToSettings(slot);
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
  std::ostringstream out;
  Print(out, j, 0);
  out << "\n";
  return out.str();
}

TSettingsJson ParseSettingsText(const std::string& text) {
  try {
    return json::parse(text);
  } catch (const json::parse_error& e) {
    // Line and column of the byte where parsing stopped.
    const size_t at = std::min(e.byte > 0 ? e.byte - 1 : 0, text.size());
    size_t line = 1, column = 1;
    for (size_t i = 0; i < at; ++i) {
      if (text[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    std::string what = e.what();
    const size_t colon = what.rfind(": ");
    if (colon != std::string::npos) what = what.substr(colon + 2);
    throw ESettingsError("", "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + what);
  }
}
