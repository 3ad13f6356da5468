#include "validator/known_functions.h"

#include <algorithm>
#include <array>

namespace morvane::validator::semantic {
namespace {

constexpr std::optional<std::uint8_t> kNoMax = std::nullopt;

constexpr KnownFunction scalar(std::string_view name, std::uint8_t min, std::uint8_t max) {
  return {name, min, max, false, false};
}

// Sorted by name so that lookup is a binary search.
constexpr std::array kKnownFunctions = {
    scalar("abs", 1, 1),
    scalar("acos", 1, 1),
    scalar("asin", 1, 1),
    scalar("atan", 1, 1),
    scalar("atan2", 2, 2),
    KnownFunction{"avg", 1, 1, true, true},
    scalar("btrim", 1, 2),
    scalar("ceil", 1, 1),
    scalar("char_length", 1, 1),
    scalar("character_length", 1, 1),
    KnownFunction{"coalesce", 1, kNoMax, false, false},
    KnownFunction{"collect", 1, 1, true, false},
    scalar("cos", 1, 1),
    scalar("cot", 1, 1),
    KnownFunction{"count", 1, 1, true, false},
    scalar("date", 0, 1),
    scalar("date.realtime", 0, 1),
    scalar("date.statement", 0, 1),
    scalar("date.transaction", 0, 1),
    scalar("date.truncate", 2, 3),
    scalar("datetime", 0, 1),
    scalar("datetime.fromepoch", 2, 2),
    scalar("datetime.fromepochmillis", 1, 1),
    scalar("datetime.realtime", 0, 1),
    scalar("datetime.statement", 0, 1),
    scalar("datetime.transaction", 0, 1),
    scalar("datetime.truncate", 2, 3),
    scalar("degrees", 1, 1),
    scalar("distance", 2, 2),
    scalar("duration", 1, 1),
    scalar("duration.between", 2, 2),
    scalar("duration.indays", 2, 2),
    scalar("duration.inmonths", 2, 2),
    scalar("duration.inseconds", 2, 2),
    scalar("e", 0, 0),
    scalar("elementid", 1, 1),
    scalar("endnode", 1, 1),
    scalar("exists", 1, 1),
    scalar("exp", 1, 1),
    scalar("floor", 1, 1),
    scalar("haversin", 1, 1),
    scalar("head", 1, 1),
    scalar("id", 1, 1),
    scalar("isempty", 1, 1),
    scalar("isnan", 1, 1),
    scalar("keys", 1, 1),
    scalar("labels", 1, 1),
    scalar("last", 1, 1),
    scalar("left", 2, 2),
    scalar("length", 1, 1),
    scalar("localdatetime", 0, 1),
    scalar("localdatetime.realtime", 0, 1),
    scalar("localdatetime.statement", 0, 1),
    scalar("localdatetime.transaction", 0, 1),
    scalar("localdatetime.truncate", 2, 3),
    scalar("localtime", 0, 1),
    scalar("localtime.realtime", 0, 1),
    scalar("localtime.statement", 0, 1),
    scalar("localtime.transaction", 0, 1),
    scalar("localtime.truncate", 2, 3),
    scalar("log", 1, 1),
    scalar("log10", 1, 1),
    scalar("ltrim", 1, 1),
    KnownFunction{"max", 1, 1, true, false},
    KnownFunction{"min", 1, 1, true, false},
    scalar("nodes", 1, 1),
    scalar("normalize", 1, 2),
    KnownFunction{"percentilecont", 2, 2, true, true},
    KnownFunction{"percentiledisc", 2, 2, true, true},
    scalar("pi", 0, 0),
    scalar("point", 1, 1),
    scalar("point.distance", 2, 2),
    scalar("point.withinbbox", 3, 3),
    scalar("properties", 1, 1),
    scalar("radians", 1, 1),
    scalar("rand", 0, 0),
    scalar("randomuuid", 0, 0),
    scalar("range", 2, 3),
    scalar("relationships", 1, 1),
    scalar("replace", 3, 3),
    scalar("reverse", 1, 1),
    scalar("right", 2, 2),
    scalar("round", 1, 2),
    scalar("rtrim", 1, 1),
    scalar("sign", 1, 1),
    scalar("sin", 1, 1),
    scalar("size", 1, 1),
    scalar("split", 2, 2),
    scalar("sqrt", 1, 1),
    scalar("startnode", 1, 1),
    KnownFunction{"stdev", 1, 1, true, true},
    KnownFunction{"stdevp", 1, 1, true, true},
    scalar("substring", 2, 3),
    KnownFunction{"sum", 1, 1, true, true},
    scalar("tail", 1, 1),
    scalar("tan", 1, 1),
    scalar("time", 0, 1),
    scalar("time.realtime", 0, 1),
    scalar("time.statement", 0, 1),
    scalar("time.transaction", 0, 1),
    scalar("time.truncate", 2, 3),
    scalar("timestamp", 0, 0),
    scalar("toboolean", 1, 1),
    scalar("tobooleanlist", 1, 1),
    scalar("tobooleanornull", 1, 1),
    scalar("tofloat", 1, 1),
    scalar("tofloatlist", 1, 1),
    scalar("tofloatornull", 1, 1),
    scalar("tointeger", 1, 1),
    scalar("tointegerlist", 1, 1),
    scalar("tointegerornull", 1, 1),
    scalar("tolower", 1, 1),
    scalar("tostring", 1, 1),
    scalar("tostringlist", 1, 1),
    scalar("tostringornull", 1, 1),
    scalar("toupper", 1, 1),
    scalar("trim", 1, 1),
    scalar("type", 1, 1),
    scalar("valuetype", 1, 1),
    scalar("vector.similarity.cosine", 2, 2),
    scalar("vector.similarity.euclidean", 2, 2),
};
static_assert(kKnownFunctions.size() == 121);
static_assert(std::is_sorted(kKnownFunctions.begin(), kKnownFunctions.end(),
                             [](const KnownFunction& a, const KnownFunction& b) {
                               return a.name < b.name;
                             }));

// At least as long as every entry ("vector.similarity.euclidean" has 27 characters).
constexpr std::size_t kLongestName = 32;
static_assert(std::all_of(kKnownFunctions.begin(), kKnownFunctions.end(),
                          [](const KnownFunction& f) { return f.name.size() <= kLongestName; }));

}  // namespace

const KnownFunction* find_known_function(std::string_view name) {
  // The grammar writes function names in ASCII only, where ASCII folding is the whole of the
  // lower-casing; a longer name matches no entry.
  if (name.size() > kLongestName) return nullptr;
  char folded[kLongestName];
  for (std::size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    folded[i] = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  const std::string_view lower(folded, name.size());
  auto it = std::lower_bound(
      kKnownFunctions.begin(), kKnownFunctions.end(), lower,
      [](const KnownFunction& entry, std::string_view key) { return entry.name < key; });
  if (it == kKnownFunctions.end() || it->name != lower) return nullptr;
  return &*it;
}

std::string arity_text(const KnownFunction& function) {
  std::string min = std::to_string(function.min_args);
  if (!function.max_args) return "at least " + min;
  if (*function.max_args == function.min_args) return min;
  return min + "-" + std::to_string(*function.max_args);
}

}  // namespace morvane::validator::semantic
