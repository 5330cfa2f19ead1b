// Readable settings: the plug-in's stored records (emitters with their systems, tools,
// gradients) as JSON documents that people read, write and diff, and back. The JSON names what
// the panels show; fields left out keep the defaults a new object has, and the writer leaves
// out every field at its default, so a small system takes a few lines. docs/settings.md
// describes every key. Going record -> JSON -> record gives the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Errors.h"
#include "scene/EmitterObj.h"
#include "scene/ToolObj.h"

class TColorSeries;

using TSettingsJson = nlohmann::ordered_json;

// Settings that cannot be taken: an unknown key, a wrong type, a value outside what the panels
// allow, a curve whose keys break the editor's rules. Path is the JSON pointer of the offending
// value inside the document ("" for the document itself); what() reads "path: problem".
class ESettingsError : public EVantrelError {
 public:
  ESettingsError(std::string path, const std::string& problem)
      : EVantrelError((path.empty() ? std::string("/") : path) + ": " + problem),
        Path(std::move(path)),
        Problem(problem) {}
  std::string Path;
  std::string Problem;
};

// A record whose readable settings would not give it back byte for byte: another program wrote
// what the panels never make. Hosts keep such an object as its payload.
class ENotReadable : public EVantrelError {
 public:
  using EVantrelError::EVantrelError;
};

// ---- Objects <-> JSON. The readers fill an object made with its defaults (a new emitter
// object without slots, a new slot, a new tool of the kind, a new gradient) and throw
// ESettingsError before changing anything when the document is wrong; on an error the target
// may be partly filled and should be dropped.

TSettingsJson EmitterToSettings(const TEmitterObject& emitter);
void EmitterFromSettings(const TSettingsJson& j, TEmitterObject& emitter);

TSettingsJson SystemToSettings(const TEmitter& slot);
// path: the pointer of j in its document, for messages.
void SystemFromSettings(const TSettingsJson& j, TEmitter& slot, const std::string& path = "");

TSettingsJson ToolToSettings(const TToolObject& tool);
// The tool's kind comes from "kind"; a kind other than expected (ToolNone: any) is refused.
void ToolFromSettings(const TSettingsJson& j, TToolObject& tool, TToolKind expected = ToolNone);

// A gradient file's content: its stops (and a reserved block that is not all zeros).
TSettingsJson GradientToSettings(const TColorSeries& gradient);
void GradientFromSettings(const TSettingsJson& j, TColorSeries& gradient, const std::string& path = "");

// ---- Bytes <-> JSON: scene payloads (version, length, record) and settings files.

enum class TSettingsKind { Emitter, Tool };

// The settings a scene payload holds. Throws EVantrelError when the payload holds no object (a
// version below 100, a length of 0 or less, no header), and ENotReadable when the settings would
// not give back the same record: the host keeps such a payload as bytes.
TSettingsJson PayloadToSettings(TSettingsKind kind, const std::vector<uint8_t>& payload);
// The payload a host would store for the object those settings describe: emitters as version
// 101, tools as version 100. Throws ESettingsError.
std::vector<uint8_t> SettingsToPayload(TSettingsKind kind, const TSettingsJson& j,
                                       TToolKind expectedTool = ToolNone);

// A settings file the reading rules call damaged: empty, cut short, padded, of an unknown version.
class EDamagedFile : public EVantrelError {
 public:
  using EVantrelError::EVantrelError;
};

// Reads an emitter (.vte) or system (.vts, as the object's one system) settings file as the
// reading rules say; problems receives what did not read as saved (an empty file, an unknown
// version, data cut short, bytes left over), in words. Throws EVantrelError "Cannot open file".
void ReadEmitterSettingsFile(const std::string& fileName, TEmitterObject& emitter, std::vector<std::string>& problems);

// Settings files by extension: ".vte" (emitter), ".vts" (system), ".vtg" (gradient); anything
// else throws EVantrelError. Reading a file of version 100 gives what version 101 writes. A
// damaged file throws EDamagedFile saying what is wrong, unless force is set: then what could
// be read is converted, the rest at its defaults, and defaulted receives the problems. A file
// whose settings would not give back the same record throws ENotReadable.
TSettingsJson SettingsFileToJson(const std::string& fileName, bool force = false,
                                 std::vector<std::string>* defaulted = nullptr);
// Writes the file beside its target and renames it into place. Throws ESettingsError for bad
// settings (nothing is written) and EVantrelError "Cannot create file %s".
void JsonToSettingsFile(const TSettingsJson& j, const std::string& fileName);

// Text as the settings are shown and stored in scene files: two-space indents, curve keys and
// gradient stops on one line each.
std::string SettingsText(const TSettingsJson& j);
// Parses settings text; a syntax error throws ESettingsError naming the line and column.
TSettingsJson ParseSettingsText(const std::string& text);
