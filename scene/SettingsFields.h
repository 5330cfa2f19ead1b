// The fields every readable record is made of: taking a value from a settings document checked
// against what the panels allow (with its JSON path for the message), writing a value as people
// read it, and curves either way. Private to the readable settings' units (Settings.cpp, the
// tool mapping in ToolSettings.cpp); scene/Settings.h is their face.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/VarSeries.h"
#include "scene/Settings.h"

namespace settings {

using json = TSettingsJson;

// ---- Reading: every value is checked where it is taken, with its path; a fault throws
// ESettingsError.

[[noreturn]] void Fail(const std::string& path, const std::string& problem);

std::string Sub(const std::string& path, const std::string& key);
std::string Sub(const std::string& path, size_t index);

std::string Quoted(const std::string& s);
// "a", "b" or "c".
std::string Listing(const std::vector<std::string>& names);
// A number as people write it: up to six decimals, trailing zeros dropped.
std::string Shown(double v);

const json& Object(const json& j, const std::string& path);
// Refuses every key not among the known ones, suggesting the closest.
void OnlyKeys(const json& j, const std::string& path, const std::vector<std::string>& known);
double Number(const json& j, const std::string& path, double least, double most);
double AnyNumber(const json& j, const std::string& path);
float Float(const json& j, const std::string& path, double least, double most);
int32_t Integer(const json& j, const std::string& path, int64_t least, int64_t most);
bool Boolean(const json& j, const std::string& path);
std::string Text(const json& j, const std::string& path, size_t maxBytes);
// A name the record keeps in code-page bytes: taken from UTF-8, counted in those bytes (one a
// character), refused when a character has no byte.
std::string Name(const json& j, const std::string& path, size_t maxBytes);
// One of the texts a panel's list shows; its position is the stored value.
int32_t Choice(const json& j, const std::string& path, const std::vector<std::string>& items);
// An on/off byte: true or false, or a whole number 0 to 255 kept as it is.
uint8_t Flag(const json& j, const std::string& path);

// ---- Writing.

json NameJson(const std::string& bytes);
// A stored list position as its text; a position no list has stays a number.
json ChoiceJson(int32_t value, const std::vector<std::string>& items);
// A float as the shortest decimal that reads back as the same float.
json FloatJson(float v);
// An on/off byte: true or false, or the number itself when it is neither 0 nor 1 (any value but
// 0 counts as on, and such a byte is kept as it is).
json FlagJson(uint8_t v);

// ---- Curves: a number for a flat one, or {"keys": [[x, value], ...], "tension": t, ...}.

bool SameCurve(const TVarSeries& a, const TVarSeries& b);
// The curve as it differs from def (its header and tension left out where they are def's).
json CurveJson(const TVarSeries& c, const TVarSeries& def);
// Reads a curve into c, checking the editor's rules for its keys.
void CurveFrom(const json& j, TVarSeries& c, const std::string& path);

// The curves of a variable set under their names; writing leaves out those at their default.
struct TCurveName {
  const char* Key;
  int Index;  // in the set's stored order
};
void CurvesToJson(json& j, const TVariableSystem& set, const TVariableSystem& def, const std::vector<TCurveName>& names);
void CurvesFromJson(const json& j, TVariableSystem& set, const std::vector<TCurveName>& names, const std::string& path);

}  // namespace settings
