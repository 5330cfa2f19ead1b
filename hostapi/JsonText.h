// Checks on JSON text that both the stage's scene reader and the plug-in's settings reader make
// before they trust a document: how deep it nests, whether an object gives a key twice, where a
// byte stands, and which known key a mistyped one meant; and the one layout both write for
// people. Shared as text (the layout as a template over the JSON library's document type) so
// that the stage, which includes no plug-in header, and the plug-in check and write alike.
#pragma once

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

// Lists and objects inside one another that a document may hold: enough for 256 levels of
// scene nodes with the settings of the deepest objects, few enough that no reader or writer of
// JSON runs out of stack.
constexpr int MaxJsonNesting = 600;

// "line L, column C" of a byte of text.
inline std::string LineAndColumn(const std::string& text, size_t at) {
  size_t line = 1, column = 1;
  for (size_t i = 0; i < at && i < text.size(); ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// The byte at which lists and objects first nest deeper than limit; npos when they never do.
// Texts are skipped, so brackets inside them do not count.
inline size_t TooDeeplyNestedAt(const std::string& text, int limit) {
  int depth = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      for (++i; i < text.size() && text[i] != '"'; ++i)
        if (text[i] == '\\') ++i;
    } else if (c == '{' || c == '[') {
      if (++depth > limit) return i;
    } else if (c == '}' || c == ']') {
      --depth;
    }
  }
  return std::string::npos;
}

// The first key given twice in one object of well-formed JSON text: its byte (the opening quote
// of the second one) and its JSON path; npos when every key is given once. The reader would keep
// only the last, so a duplicate is refused rather than silently dropping the first.
struct TDuplicateKey {
  size_t At = std::string::npos;
  std::string Path;
};

inline TDuplicateKey FindDuplicateKey(const std::string& text) {
  struct TLevel {
    bool Object;
    std::set<std::string> Keys;
    std::string Key;
    size_t Index = 0;
    bool ExpectKey = false;
  };
  std::vector<TLevel> levels;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"') {
      const size_t start = i;
      for (++i; i < text.size() && text[i] != '"'; ++i)
        if (text[i] == '\\') ++i;
      if (levels.empty() || !levels.back().Object || !levels.back().ExpectKey) continue;
      TLevel& object = levels.back();
      object.Key = text.substr(start + 1, i - start - 1);
      object.ExpectKey = false;
      if (!object.Keys.insert(object.Key).second) {
        TDuplicateKey found{start, {}};
        for (const TLevel& level : levels)
          found.Path += "/" + (level.Object ? level.Key : std::to_string(level.Index));
        return found;
      }
    } else if (c == '{' || c == '[') {
      levels.push_back({c == '{', {}, {}, 0, c == '{'});
    } else if ((c == '}' || c == ']') && !levels.empty()) {
      levels.pop_back();
    } else if (c == ',' && !levels.empty()) {
      if (levels.back().Object)
        levels.back().ExpectKey = true;
      else
        ++levels.back().Index;
    }
  }
  return {};
}

// The known key a mistyped one most likely meant: the closest by edits (a letter added, left
// out, changed or two swapped), if it is close enough to be a typing mistake; empty otherwise.
inline std::string ClosestKey(const std::string& key, const std::vector<std::string>& known) {
  std::string best;
  size_t bestDistance = std::max<size_t>(1, key.size() / 3) + 1;
  for (const std::string& k : known) {
    // Optimal string alignment distance over two rows and the one before.
    std::vector<size_t> before(k.size() + 1), previous(k.size() + 1), row(k.size() + 1);
    for (size_t j = 0; j <= k.size(); ++j) previous[j] = j;
    for (size_t i = 1; i <= key.size(); ++i) {
      row[0] = i;
      for (size_t j = 1; j <= k.size(); ++j) {
        const size_t cost = std::tolower(static_cast<unsigned char>(key[i - 1])) ==
                                    std::tolower(static_cast<unsigned char>(k[j - 1]))
                                ? 0
                                : 1;
        row[j] = std::min({previous[j] + 1, row[j - 1] + 1, previous[j - 1] + cost});
        if (i > 1 && j > 1 && key[i - 1] == k[j - 2] && key[i - 2] == k[j - 1]) row[j] = std::min(row[j], before[j - 2] + 1);
      }
      before.swap(previous);
      previous.swap(row);
    }
    if (previous[k.size()] < bestDistance) {
      bestDistance = previous[k.size()];
      best = k;
    }
  }
  return best;
}

// A plain JSON value as text; a whole number held as a double is written without ".0" (it reads
// back as the same double), except minus zero, which would read back as zero. Text that is not
// UTF-8 is written with replacement characters rather than refused.
template <class Json>
std::string JsonValueText(const Json& v) {
  if (v.is_number_float()) {
    const double d = v.template get<double>();
    if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 1e15 && !(d == 0 && std::signbit(d)))
      return std::to_string(static_cast<int64_t>(d));
  }
  return v.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Appends a document laid out the way people lay it out: arrays of plain values (vectors, curve
// keys, colour stops) on one line, everything else indented by two spaces a level.
template <class Json>
void LayOutJson(std::string& out, const Json& j, int indent = 0) {
  const std::string pad(static_cast<size_t>(indent) * 2, ' ');
  const std::string inner(static_cast<size_t>(indent + 1) * 2, ' ');
  if (j.is_object() && !j.empty()) {
    out += "{\n";
    size_t i = 0;
    for (auto it = j.begin(); it != j.end(); ++it, ++i) {
      out += inner + JsonValueText(Json(it.key())) + ": ";
      LayOutJson(out, it.value(), indent + 1);
      out += i + 1 < j.size() ? ",\n" : "\n";
    }
    out += pad + "}";
  } else if (j.is_array() && !std::all_of(j.begin(), j.end(), [](const Json& e) { return e.is_primitive(); })) {
    out += "[\n";
    for (size_t i = 0; i < j.size(); ++i) {
      out += inner;
      LayOutJson(out, j[i], indent + 1);
      out += i + 1 < j.size() ? ",\n" : "\n";
    }
    out += pad + "]";
  } else if (j.is_array()) {
    out += "[";
    for (size_t i = 0; i < j.size(); ++i) out += (i ? ", " : "") + JsonValueText(j[i]);
    out += "]";
  } else {
    out += JsonValueText(j);
  }
}
