// The bounded edit distance behind name suggestions, and the searches built on it: the same
// answers as a plain full-matrix distance, at a cost bounded by the band and shared between
// candidates with a common prefix.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/suggest.h"

namespace morvane::diagnostics {
namespace {

constexpr std::size_t kBandWidth = 2 * kMaxSuggestionDistance + 1;

// The byte-level edit distance over the whole matrix: the plain definition to compare with.
std::size_t full_distance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                          d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
    }
  }
  return d[a.size()][b.size()];
}

std::optional<std::size_t> within(std::size_t distance, std::size_t bound) {
  if (distance > bound) return std::nullopt;
  return distance;
}

std::string ascii_lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return out;
}

// The closest candidate by the plain rules, for ASCII names: the first of the smallest
// full distances between lower-cased forms, if that is within kMaxSuggestionDistance.
std::optional<std::string_view> reference_closest(std::string_view target,
                                                  const std::vector<std::string>& candidates) {
  std::optional<std::string_view> best;
  std::size_t best_distance = kMaxSuggestionDistance + 1;
  for (const std::string& candidate : candidates) {
    std::size_t distance = full_distance(ascii_lower(target), ascii_lower(candidate));
    if (distance < best_distance) {
      best = candidate;
      best_distance = distance;
    }
  }
  return best;
}

// A fixed pseudo-random sequence (64-bit LCG), so every run checks the same cases.
// A target, its candidates and the closest of them: a plain search and a prepared list both
// find it.
struct ClosestCase {
  std::string_view target;
  std::vector<std::string_view> candidates;
  std::optional<std::string_view> best;
};

void expect_closest(const ClosestCase& row) {
  SCOPED_TRACE(row.target);
  EXPECT_EQ(closest_match(row.target, row.candidates), row.best);
  CandidateLists lists;
  lists.add(row.candidates);
  EXPECT_EQ(lists.closest(0, row.target), row.best);
}

class Draw {
 public:
  explicit Draw(std::uint64_t seed) : state_(seed) {}
  std::size_t below(std::size_t bound) {
    state_ = state_ * 6364136223846793005u + 1442695040888963407u;
    return static_cast<std::size_t>(state_ >> 33) % bound;
  }
  std::string text(std::string_view alphabet, std::size_t length) {
    std::string out;
    for (std::size_t i = 0; i < length; ++i) out += alphabet[below(alphabet.size())];
    return out;
  }
  // `text` after `edits` random insertions, deletions, substitutions and swaps of neighbours.
  std::string edited(std::string text, std::string_view alphabet, std::size_t edits) {
    for (std::size_t e = 0; e < edits; ++e) {
      const char byte = alphabet[below(alphabet.size())];
      const std::size_t kind = below(4);
      if (kind == 0) {
        text.insert(below(text.size() + 1), 1, byte);
      } else if (text.empty()) {
        continue;
      } else if (kind == 1) {
        text.erase(below(text.size()), 1);
      } else if (kind == 2) {
        text[below(text.size())] = byte;
      } else if (text.size() >= 2) {
        const std::size_t at = below(text.size() - 1);
        std::swap(text[at], text[at + 1]);
      }
    }
    return text;
  }

 private:
  std::uint64_t state_;
};

// ASCII alphabets first: the plain search lower-cases ASCII only.
constexpr std::string_view kAlphabets[] = {"ab", "abc", "abcdefgh", "aAbBcC019_",
                                           "abcdefghijklmnopqrstuvwxyz",
                                           "\xc3\xa9\xc3\xa8" "e"};
constexpr std::size_t kAsciiAlphabets = 5;

TEST(BoundedEditDistance, PairsAtAndAroundTheBound) {
  struct Row {
    std::string_view a, b;
    std::optional<std::size_t> distance;  // for bound kMaxSuggestionDistance
  };
  const Row rows[] = {
      {"person", "person", 0},
      {"", "", 0},
      {"", "abc", 3},
      {"abcd", "", std::nullopt},
      {"xperson", "person", 1},    // insertion at the start
      {"perxson", "person", 1},    // in the middle
      {"personx", "person", 1},    // at the end
      {"qerson", "person", 1},     // substitution at the start
      {"persoq", "person", 1},     // at the end
      {"erson", "person", 1},      // deletion at the start
      {"pesron", "person", 2},     // a swap of neighbours is two edits
      {"abcdefgh", "abcdexyz", 3},
      {"abcdefgh", "abcdwxyz", std::nullopt},
      {"ab", "abcde", 3},
      {"ab", "abcdef", std::nullopt},  // lengths 4 apart
      {"xyzab", "ab", 3},
      {"abc", "xyz", 3},
      {"abcd", "wxyz", std::nullopt},
      {"kitten", "sitting", 3},
      {"caf\xc3\xa9", "cafe", 2},      // bytes: é is two of them
      {"caf\xc3\xa9", "caf\xc3\xa8", 1},
      {"\xe6\x97\xa5\xe6\x9c\xac", "\xe4\xb8\xad\xe5\x9b\xbd", std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.a) + " / " + std::string(row.b));
    EXPECT_EQ(bounded_edit_distance(row.a, row.b, kMaxSuggestionDistance), row.distance);
    EXPECT_EQ(bounded_edit_distance(row.b, row.a, kMaxSuggestionDistance), row.distance);
    for (std::size_t bound = 0; bound <= kMaxSuggestionDistance; ++bound) {
      EXPECT_EQ(bounded_edit_distance(row.a, row.b, bound),
                within(full_distance(row.a, row.b), bound))
          << "bound " << bound;
    }
  }
}

TEST(BoundedEditDistance, AgreesWithTheFullMatrix) {
  Draw draw(0x5eed);
  for (int round = 0; round < 20000; ++round) {
    const std::string_view alphabet = kAlphabets[draw.below(std::size(kAlphabets))];
    const std::string a = draw.text(alphabet, draw.below(13));
    const std::string b = draw.below(5) == 0 ? draw.text(alphabet, draw.below(13))
                                             : draw.edited(a, alphabet, draw.below(6));
    const std::size_t expected = full_distance(a, b);
    for (std::size_t bound = 0; bound <= kMaxSuggestionDistance; ++bound) {
      ASSERT_EQ(bounded_edit_distance(a, b, bound), within(expected, bound))
          << "'" << a << "' / '" << b << "' bound " << bound;
    }
  }
}

// Names tens of kilobytes long cost a band's width of cells per byte, however close they are.
TEST(BoundedEditDistance, LongNamesCostTheBandPerByte) {
  constexpr std::size_t kLength = 20000;
  const std::string name = Draw(7).text("abcdefghijklmnopqrstuvwxyz", kLength);
  auto with = [&](std::size_t at, std::string_view removed, std::string_view inserted) {
    std::string out = name;
    out.replace(at, removed.size(), inserted);
    return out;
  };
  const std::size_t middle = kLength / 2;
  struct Row {
    std::string other;
    std::optional<std::size_t> distance;
  };
  const Row rows[] = {
      {name, 0},
      {with(0, "", "!"), 1},
      {with(middle, name.substr(middle, 1), "!"), 1},
      {name + "!", 1},
      {with(middle, name.substr(middle, 2), std::string{name[middle + 1], name[middle]}),
       name[middle] == name[middle + 1] ? 0 : 2},
      {with(middle, name.substr(middle, 3), "!!!"), 3},
      {with(middle, name.substr(middle, 4), "!!!!"), std::nullopt},
      {with(0, "", "!!!!"), std::nullopt},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.distance ? std::to_string(*row.distance) : "none");
    SuggestStats stats;
    EXPECT_EQ(bounded_edit_distance(name, row.other, kMaxSuggestionDistance, &stats),
              row.distance);
    EXPECT_LE(stats.cells, kBandWidth * std::max(name.size(), row.other.size()));
  }

  // Four edits at the start: the rows go beyond the bound right there.
  SuggestStats stats;
  EXPECT_EQ(bounded_edit_distance(name, "!!!!" + name.substr(4), kMaxSuggestionDistance, &stats),
            std::nullopt);
  EXPECT_LE(stats.cells, kBandWidth * 8);
}

TEST(ClosestMatch, NamesWhoseLowerCaseHasAnotherLength) {
  const ClosestCase rows[] = {
      // The Kelvin sign (3 bytes) lowers to "k": 8 bytes against 6, then distance 0.
      {"\xe2\x84\xaa" "ELVIN", {"kelvinxyz", "Kelvin"}, "Kelvin"},
      // The Ohm sign (3 bytes) lowers to omega (2 bytes).
      {"\xe2\x84\xa6" "mega", {"\xcf\x89mega"}, "\xcf\x89mega"},
      // Two İ (4 bytes) lower to two i + U+0307 (6 bytes): 4 bytes longer than "ii".
      {"\xc4\xb0\xc4\xb0", {"ii"}, std::nullopt},
      {"\xc4\xb0stanbul", {"Istanbul", "istanbul"}, "Istanbul"},
      // ẞ (3 bytes) lowers to ß (2 bytes), which is two bytes from "ss".
      {"STRA\xe1\xba\x9e" "E", {"strasse"}, "strasse"},
      {"STRA\xe1\xba\x9e" "E", {"strasse", "stra\xc3\x9f" "e"}, "stra\xc3\x9f" "e"},
  };
  for (const ClosestCase& row : rows) expect_closest(row);
}

// Random lists, some sorted so that neighbours share prefixes, some not: both searches give the
// plain answer (the first of the closest, in the list's own case).
TEST(ClosestMatch, AgreesWithThePlainSearch) {
  Draw draw(0xc0ffee);
  for (int round = 0; round < 3000; ++round) {
    const std::string_view alphabet = kAlphabets[draw.below(kAsciiAlphabets)];
    const std::string target = draw.text(alphabet, 1 + draw.below(10));
    std::vector<std::string> candidates;
    const std::size_t count = draw.below(40);
    for (std::size_t i = 0; i < count; ++i) {
      candidates.push_back(draw.below(3) == 0 ? draw.text(alphabet, draw.below(12))
                                              : draw.edited(target, alphabet, draw.below(6)));
    }
    if (draw.below(2) == 0) std::sort(candidates.begin(), candidates.end());
    const std::vector<std::string_view> views(candidates.begin(), candidates.end());
    CandidateLists lists;
    lists.add({});
    const std::size_t list = lists.add(views);

    const std::optional<std::string_view> expected = reference_closest(target, candidates);
    SCOPED_TRACE("target '" + target + "'");
    const std::optional<std::string_view> plain = closest_match(target, candidates);
    const std::optional<std::string_view> prepared = lists.closest(list, target);
    ASSERT_EQ(plain, expected);
    ASSERT_EQ(prepared, expected);
    // The same candidate, not only the same text.
    if (expected) {
      ASSERT_EQ(plain->data(), expected->data());
    }
  }
}

TEST(CandidateLists, NumbersListsAndKeepsItsOwnCopies) {
  CandidateLists lists;
  {
    std::vector<std::string> labels = {"Movie", "Person"};
    std::vector<std::string> properties = {"age", "name"};
    EXPECT_EQ(lists.add(std::vector<std::string_view>(labels.begin(), labels.end())), 0u);
    EXPECT_EQ(lists.add({}), 1u);
    EXPECT_EQ(lists.add(std::vector<std::string_view>(properties.begin(), properties.end())), 2u);
  }
  EXPECT_EQ(lists.list_count(), 3u);
  EXPECT_EQ(lists.size(0), 2u);
  EXPECT_EQ(lists.size(1), 0u);
  EXPECT_EQ(lists.name(0, 1), "Person");
  EXPECT_EQ(lists.name(2, 0), "age");
  EXPECT_EQ(lists.closest(0, "PERSN"), "Person");
  EXPECT_EQ(lists.closest(1, "PERSN"), std::nullopt);
  EXPECT_EQ(lists.closest(2, "nme"), "name");
  EXPECT_EQ(lists.closest(2, "Persn"), std::nullopt);

  const CandidateLists copy = lists;
  lists = CandidateLists();
  EXPECT_EQ(copy.closest(0, "movi"), "Movie");
}

// Exact lookups: bytes as added, in the one list asked about, the first place of a repeated
// name; still right after the table grew over many lists, and in a copy.
TEST(CandidateLists, FindsExactNamesInTheirOwnList) {
  CandidateLists lists;
  const std::vector<std::string_view> labels = {"Movie", "Person", "", "Person", "Mov"};
  lists.add(labels);
  lists.add({});
  std::vector<std::string> numbered;
  for (int i = 0; i < 300; ++i) numbered.push_back("p" + std::to_string(i));
  for (const std::string& name : numbered) {
    const std::string_view one = name;
    lists.add(std::span(&one, 1));  // one list per name: lists 2 .. 301
  }
  struct Row {
    std::size_t list;
    std::string_view name;
    std::optional<std::size_t> at;
  };
  const Row rows[] = {
      {0, "Movie", 0},      {0, "Person", 1},          {0, "", 2},
      {0, "Mov", 4},        {0, "movie", std::nullopt}, {0, "Movies", std::nullopt},
      {0, "Mo", std::nullopt}, {1, "Movie", std::nullopt}, {1, "", std::nullopt},
      {2, "p0", 0},         {301, "p299", 0},          {301, "p0", std::nullopt},
      {2, "Movie", std::nullopt},
  };
  const CandidateLists copy = lists;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.list) + " " + std::string(row.name));
    EXPECT_EQ(lists.find(row.list, row.name), row.at);
    EXPECT_EQ(copy.find(row.list, row.name), row.at);
  }
  for (std::size_t i = 0; i < numbered.size(); ++i) {
    EXPECT_EQ(lists.find(2 + i, numbered[i]), 0u);
    EXPECT_EQ(lists.find(2 + (i + 1) % numbered.size(), numbered[i]), std::nullopt);
  }
  EXPECT_EQ(CandidateLists().find(0, "x"), std::nullopt);
}

// The cheap tests applied before a distance (lengths, and the letters one name has and the
// other lacks) reject nothing that is within the bound, also once a find has lowered it.
TEST(ClosestMatch, CheapTestsKeepEverythingWithinTheBound) {
  const ClosestCase rows[] = {
      {"abc", {"xyz"}, "xyz"},  // three letters each side lacks, three edits
      {"abcd", {"wxyz"}, std::nullopt},
      {"ab", {"abcde"}, "abcde"},
      {"ab12", {"ab34", "xy12"}, "ab34"},
      {"abc", {"abx", "xbc", "abc"}, "abc"},
      {"abc", {"xyz", "abx", "xbc"}, "abx"},
      {"abcdef", {"abcxyz", "abcdxy", "uvwdef"}, "abcdxy"},
  };
  for (const ClosestCase& row : rows) expect_closest(row);
}

// Candidates the cheap tests rule out cost no distance at all.
TEST(ClosestMatch, SkipsCandidatesWithoutADistance) {
  std::vector<std::string> other_letters;
  for (int i = 0; i < 1000; ++i) other_letters.push_back("xyz" + std::to_string(5000 + i));
  struct Row {
    std::string target;
    std::vector<std::string> candidates;
  };
  const Row rows[] = {
      {"ab", {"abcdefg", "abcdefgh", "abcdefghi"}},  // lengths too far apart
      {"abc1234", other_letters},                    // the right lengths, other letters
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.target);
    CandidateLists lists;
    lists.add(std::vector<std::string_view>(row.candidates.begin(), row.candidates.end()));
    SuggestStats plain;
    SuggestStats prepared;
    EXPECT_EQ(closest_match(row.target, row.candidates, &plain), std::nullopt);
    EXPECT_EQ(lists.closest(0, row.target, &prepared), std::nullopt);
    for (const SuggestStats& stats : {plain, prepared}) {
      EXPECT_EQ(stats.searches, 1u);
      EXPECT_EQ(stats.distances, 0u);
      EXPECT_EQ(stats.cells, 0u);
    }
  }
}

// 2,000 names of 5 KB after one 5 KB prefix, in order: the prefix's rows are made once, so
// each name costs the rows of its own ending, not a band over its whole length.
TEST(ClosestMatch, SortedNamesShareTheRowsOfTheirPrefix) {
  const std::string prefix = Draw(11).text("abcdefghijklmnopqrstuvwxyz", 5000);
  std::vector<std::string> names;
  for (int i = 0; i < 2000; ++i) names.push_back(prefix + std::to_string(100000 + i));
  CandidateLists lists;
  lists.add(std::vector<std::string_view>(names.begin(), names.end()));
  // One substitution away from 101230 .. 101239: the first of them wins.
  const std::string target = prefix + "10123x";
  const std::size_t max_cells = kBandWidth * (prefix.size() + names.size() * 6);

  SuggestStats plain;
  EXPECT_EQ(closest_match(target, names, &plain), names[1230]);
  EXPECT_LE(plain.cells, max_cells);
  SuggestStats prepared;
  EXPECT_EQ(lists.closest(0, target, &prepared), names[1230]);
  EXPECT_LE(prepared.cells, max_cells);
}

}  // namespace
}  // namespace morvane::diagnostics
