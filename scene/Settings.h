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
// version below 100, a length of 0 or less, no header): the host keeps such a payload as bytes.
TSettingsJson PayloadToSettings(TSettingsKind kind, const std::vector<uint8_t>& payload);
// The payload a host would store for the object those settings describe: emitters as version
// 101, tools as version 100. Throws ESettingsError.
std::vector<uint8_t> SettingsToPayload(TSettingsKind kind, const TSettingsJson& j,
                                       TToolKind expectedTool = ToolNone);

// Settings files by extension: ".vte" (emitter), ".vts" (system), ".vtg" (gradient); anything
// else throws EVantrelError. Reading a file of version 100 gives what version 101 writes.
TSettingsJson SettingsFileToJson(const std::string& fileName);
// Writes the file beside its target and renames it into place. Throws ESettingsError for bad
// settings (nothing is written) and EVantrelError "Cannot create file %s".
void JsonToSettingsFile(const TSettingsJson& j, const std::string& fileName);

// Text as the settings are shown and stored in scene files: two-space indents, curve keys and
// gradient stops on one line each.
std::string SettingsText(const TSettingsJson& j);
// Parses settings text; a syntax error throws ESettingsError naming the line and column.
TSettingsJson ParseSettingsText(const std::string& text);
