// The fields of readable records: checked reading, writing as people read it, and curves.
#include "scene/SettingsFields.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>

#include "engine/CodePage.h"
#include "hostapi/JsonText.h"

namespace settings {

namespace {

const std::vector<std::string> AxisNames = {"life", "frames", "percent"};
const std::vector<std::string> ClampNames = {"none", "minimum", "maximum", "both"};

}  // namespace

[[noreturn]] void Fail(const std::string& path, const std::string& problem) { throw ESettingsError(path, problem); }

std::string Sub(const std::string& path, const std::string& key) { return path + "/" + key; }
std::string Sub(const std::string& path, size_t index) { return path + "/" + std::to_string(index); }

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string Listing(const std::vector<std::string>& names) {
  std::string out;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i) out += i + 1 == names.size() ? " or " : ", ";
    out += Quoted(names[i]);
  }
  return out;
}

// A number as people write it: up to six decimals, trailing zeros dropped.
std::string Shown(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  std::string s = buf;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

const json& Object(const json& j, const std::string& path) {
  if (!j.is_object()) Fail(path, "expected an object { ... }");
  return j;
}

// Refuses every key not among the known ones.
void OnlyKeys(const json& j, const std::string& path, const std::vector<std::string>& known) {
  for (auto it = j.begin(); it != j.end(); ++it) {
    bool ok = false;
    for (const std::string& k : known) ok = ok || it.key() == k;
    if (ok) continue;
    const std::string closest = ClosestKey(it.key(), known);
    Fail(Sub(path, it.key()), "unknown key" + (closest.empty() ? "" : "; did you mean " + Quoted(closest) + "?") +
                                  "; this object takes " + Listing(known));
  }
}

double Number(const json& j, const std::string& path, double least, double most) {
  if (!j.is_number()) Fail(path, "expected a number");
  const double v = j.get<double>();
  if (!std::isfinite(v) || v < least || v > most)
    Fail(path, Shown(v) + " is outside the allowed range " + Shown(least) + " to " + Shown(most));
  return v;
}

double AnyNumber(const json& j, const std::string& path) {
  return Number(j, path, -std::numeric_limits<double>::max(), std::numeric_limits<double>::max());
}

float Float(const json& j, const std::string& path, double least, double most) {
  return static_cast<float>(Number(j, path, least, most));
}

int32_t Integer(const json& j, const std::string& path, int64_t least, int64_t most) {
  if (!j.is_number_integer()) {
    if (j.is_number()) Fail(path, "expected a whole number, not " + Shown(j.get<double>()));
    Fail(path, "expected a whole number");
  }
  const int64_t v = j.is_number_unsigned() && j.get<uint64_t>() > static_cast<uint64_t>(INT64_MAX)
                        ? INT64_MAX
                        : j.get<int64_t>();
  if (v < least || v > most)
    Fail(path, std::to_string(v) + " is outside the allowed range " + std::to_string(least) + " to " +
                   std::to_string(most));
  return static_cast<int32_t>(v);
}

bool Boolean(const json& j, const std::string& path) {
  if (!j.is_boolean()) Fail(path, "expected true or false");
  return j.get<bool>();
}

std::string Text(const json& j, const std::string& path, size_t maxBytes) {
  if (!j.is_string()) Fail(path, "expected a text in double quotes");
  std::string s = j.get<std::string>();
  if (s.size() > maxBytes) Fail(path, "longer than " + std::to_string(maxBytes) + " characters");
  return s;
}

// A name the record keeps in code-page bytes: taken from UTF-8, counted in those bytes (one a
// character), refused when a character has no byte.
std::string Name(const json& j, const std::string& path, size_t maxBytes) {
  if (!j.is_string()) Fail(path, "expected a text in double quotes");
  std::string unstorable;
  const std::optional<std::string> bytes = Utf8ToCodePage(j.get_ref<const std::string&>(), &unstorable);
  if (!bytes)
    Fail(path, "the character \"" + unstorable +
                   "\" cannot be stored; names hold the characters of the Windows-1252 code page");
  if (bytes->size() > maxBytes)
    Fail(path, "longer than " + std::to_string(maxBytes) + " characters (" + std::to_string(bytes->size()) + ")");
  return *bytes;
}

json NameJson(const std::string& bytes) { return CodePageToUtf8(bytes); }

// One of the texts a panel's list shows; its position is the stored value.
int32_t Choice(const json& j, const std::string& path, const std::vector<std::string>& items) {
  if (!j.is_string()) Fail(path, "expected one of " + Listing(items));
  const std::string s = j.get<std::string>();
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i] == s) return static_cast<int32_t>(i);
  Fail(path, Quoted(s) + " is not one of " + Listing(items));
}

// A stored list position as its text; a position no list has stays a number.
json ChoiceJson(int32_t value, const std::vector<std::string>& items) {
  if (value >= 0 && static_cast<size_t>(value) < items.size()) return items[static_cast<size_t>(value)];
  return value;
}

// A float as the shortest decimal that reads back as the same float.
json FloatJson(float v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::strtod(std::string(buf, r.ptr).c_str(), nullptr);
}

// An on/off byte: true or false, or the number itself when it is neither 0 nor 1 (any value but
// 0 counts as on, and such a byte is kept as it is).
json FlagJson(uint8_t v) {
  if (v <= 1) return v == 1;
  return v;
}

uint8_t Flag(const json& j, const std::string& path) {
  if (j.is_boolean()) return j.get<bool>() ? 1 : 0;
  if (j.is_number_integer()) return static_cast<uint8_t>(Integer(j, path, 0, 255));
  Fail(path, "expected true or false");
}

// ---- Curves.

bool SameCurve(const TVarSeries& a, const TVarSeries& b) {
  return a.Name == b.Name && a.XKind == b.XKind && a.MinValue == b.MinValue && a.MaxValue == b.MaxValue &&
         a.ClampMode == b.ClampMode && a.Tension == b.Tension && a.AllKeys() == b.AllKeys();
}

namespace {

// A flat curve as the set makes it: (0, v), (8192, v).
bool IsFlat(const TVarSeries& c) {
  return c.KeyCount() == 2 && c.KeyX(0) == 0 && c.KeyX(1) == FarKeyX && c.KeyY(0) == c.KeyY(1);
}

}  // namespace

json CurveJson(const TVarSeries& c, const TVarSeries& def) {
  const bool headerDefault = c.Name == def.Name && c.XKind == def.XKind && c.MinValue == def.MinValue &&
                             c.MaxValue == def.MaxValue && c.ClampMode == def.ClampMode;
  if (headerDefault && c.Tension == def.Tension && IsFlat(c)) return c.KeyY(0);
  json j = json::object();
  json keys = json::array();
  for (const TSplineKey& k : c.AllKeys()) keys.push_back(json::array({k.x, k.y}));
  j["keys"] = std::move(keys);
  if (c.Tension != def.Tension) j["tension"] = c.Tension;
  if (!c.Name.empty()) j["name"] = NameJson(c.Name);
  if (c.XKind != def.XKind) j["axis"] = ChoiceJson(c.XKind, AxisNames);
  if (c.MinValue != def.MinValue || c.MaxValue != def.MaxValue) j["range"] = json::array({c.MinValue, c.MaxValue});
  if (c.ClampMode != def.ClampMode) j["clamp"] = ChoiceJson(c.ClampMode, ClampNames);
  return j;
}

namespace {

// The bounds a key's value must keep, as the editor clamps it.
void CheckValue(const TVarSeries& c, double v, const std::string& path) {
  if (!ValueWithinClamp(c, v)) {
    const bool low = c.ClampMode == ClampMin || c.ClampMode == ClampBoth;
    const bool high = c.ClampMode == ClampMax || c.ClampMode == ClampBoth;
    const std::string range = low && high ? Shown(c.MinValue) + " to " + Shown(c.MaxValue)
                              : low       ? "at least " + Shown(c.MinValue)
                                          : "at most " + Shown(c.MaxValue);
    Fail(path, "value " + Shown(v) + " is outside the curve's range (" + range + ")");
  }
}

}  // namespace

// A curve: a number for a flat one, or {"keys": [[x, value], ...], "tension": t, ...}.
void CurveFrom(const json& j, TVarSeries& c, const std::string& path) {
  if (j.is_number()) {
    const double v = AnyNumber(j, path);
    CheckValue(c, v, path);
    c.Clear();
    c.AddKey(0, v);
    c.AddKey(FarKeyX, v);
    return;
  }
  if (!j.is_object()) Fail(path, "expected a number (a flat curve) or an object with \"keys\"");
  OnlyKeys(j, path, {"keys", "tension", "name", "axis", "range", "clamp"});
  if (j.contains("name")) c.Name = Name(j["name"], Sub(path, "name"), CurveNameLength);
  if (j.contains("axis")) c.XKind = static_cast<uint8_t>(Choice(j["axis"], Sub(path, "axis"), AxisNames));
  if (j.contains("clamp")) c.ClampMode = static_cast<uint8_t>(Choice(j["clamp"], Sub(path, "clamp"), ClampNames));
  if (j.contains("range")) {
    const json& r = j["range"];
    const std::string p = Sub(path, "range");
    if (!r.is_array() || r.size() != 2) Fail(p, "expected [lowest, highest]");
    const double lo = AnyNumber(r[0], Sub(p, 0)), hi = AnyNumber(r[1], Sub(p, 1));
    if (lo > hi) Fail(p, "the lowest value is above the highest");
    c.SetRange(lo, hi);
  }
  if (j.contains("tension")) c.Tension = AnyNumber(j["tension"], Sub(path, "tension"));
  if (!j.contains("keys")) Fail(path, "a curve object needs \"keys\": [[x, value], ...]");

  const json& keys = j["keys"];
  const std::string kp = Sub(path, "keys");
  if (!keys.is_array()) Fail(kp, "expected a list of [x, value] pairs");
  if (keys.size() < 2) Fail(kp, "a curve needs at least two keys: the first at x 0 and one after it");
  std::vector<TSplineKey> read;
  for (size_t i = 0; i < keys.size(); ++i) {
    const std::string p = Sub(kp, i);
    if (!keys[i].is_array() || keys[i].size() != 2) Fail(p, "expected a key [x, value]");
    TSplineKey k{AnyNumber(keys[i][0], Sub(p, 0)), AnyNumber(keys[i][1], Sub(p, 1))};
    // The editor's own rules (one predicate for both), each said in words.
    switch (KeyFault(c, i ? &read.back() : nullptr, k, i + 1 == keys.size())) {
      case TKeyFault::None: break;
      case TKeyFault::NotFinite: Fail(p, "a key needs finite numbers"); break;
      case TKeyFault::FirstNotAtZero: Fail(Sub(p, 0), "the first key must lie at x 0, not " + Shown(k.x)); break;
      case TKeyFault::TooClose:
        Fail(Sub(p, 0), "keys must go in order of x, each at least 1 after the one before (" + Shown(read.back().x) +
                            " then " + Shown(k.x) + ")");
        break;
      case TKeyFault::BeyondPercent:
        Fail(Sub(p, 0), "x " + Shown(k.x) + " is beyond 100 percent; only a last key may lie further, at 8192");
        break;
      case TKeyFault::ValueOutside: CheckValue(c, k.y, Sub(p, 1)); break;
    }
    read.push_back(k);
  }
  c.Clear();
  for (const TSplineKey& k : read) c.AddKey(k.x, k.y);
}

void CurvesToJson(json& j, const TVariableSystem& set, const TVariableSystem& def, const std::vector<TCurveName>& names) {
  for (const TCurveName& n : names) {
    const TVarSeries& c = set.Variable(n.Index);
    const TVarSeries& d = def.Variable(n.Index);
    if (!SameCurve(c, d)) j[n.Key] = CurveJson(c, d);
  }
}

void CurvesFromJson(const json& j, TVariableSystem& set, const std::vector<TCurveName>& names, const std::string& path) {
  for (const TCurveName& n : names)
    if (j.contains(n.Key)) CurveFrom(j[n.Key], set.Variable(n.Index), Sub(path, n.Key));
}

}  // namespace settings
