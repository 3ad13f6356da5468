#include "diagnostics/suggest.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <memory>

#include "error/utf8_escape.h"

namespace morvane::diagnostics {
namespace {

// `text` lower-cased into `out` (replacing its contents): ASCII by table, anything else through
// ICU's full, locale-independent lower-casing.
void lower_into(std::string_view text, std::string& out) {
  out.clear();
  bool ascii = std::all_of(text.begin(), text.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii) {
    out.resize(text.size());
    std::transform(text.begin(), text.end(), out.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return;
  }
  icu::UnicodeString wide = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
  wide.toLower(icu::Locale::getRoot());
  wide.toUTF8String(out);
}

std::size_t difference(std::size_t a, std::size_t b) { return a > b ? a - b : b - a; }

// The length of the longest common prefix of `a` and `b`.
std::size_t common_prefix(std::string_view a, std::string_view b) {
  const std::size_t shorter = std::min(a.size(), b.size());
  return static_cast<std::size_t>(
      std::mismatch(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(shorter), b.begin())
          .first -
      a.begin());
}

// The group of each byte: one each for the lower-case letters, the digits and '_' (what names are
// mostly made of), the other bytes shared out over the remaining groups.
constexpr std::array<std::uint8_t, 256> kByteGroup = [] {
  std::array<std::uint8_t, 256> groups{};
  for (int byte = 0; byte < 256; ++byte) {
    int group;
    if (byte >= 'a' && byte <= 'z') {
      group = byte - 'a';
    } else if (byte >= '0' && byte <= '9') {
      group = 26 + (byte - '0');
    } else if (byte == '_') {
      group = 36;
    } else if (byte < 0x80) {
      group = 37 + byte % 11;
    } else {
      group = 48 + byte % 16;
    }
    groups[byte] = static_cast<std::uint8_t>(group);
  }
  return groups;
}();

// The set of groups the bytes of `text` fall in. Each edit touches at most one byte of either
// side, so two texts are at least as far apart as the number of groups one of them has and the
// other lacks: a cheap proof that most far-off candidates need no distance at all.
std::uint64_t byte_groups(std::string_view text) {
  std::uint64_t groups = 0;
  for (char c : text) groups |= std::uint64_t{1} << kByteGroup[static_cast<unsigned char>(c)];
  return groups;
}

// Whether `from` has more than `count` (at most kMaxSuggestionDistance) groups that `in` lacks:
// whether any is left once the lowest `count` are cleared. Unrolled, without branches.
bool lacks_more_than(std::uint64_t from, std::uint64_t in, std::size_t count) {
  static_assert(kMaxSuggestionDistance == 3);
  std::uint64_t missing = from & ~in;
  missing &= count >= 1 ? missing - 1 : ~std::uint64_t{0};
  missing &= count >= 2 ? missing - 1 : ~std::uint64_t{0};
  missing &= count >= 3 ? missing - 1 : ~std::uint64_t{0};
  return missing != 0;
}

// A row of the band below as one vector of bytes, so that each step of a row is a handful of
// vector instructions.
constexpr std::size_t kVectorLanes = 16;
using Row = std::uint8_t __attribute__((vector_size(kVectorLanes)));

constexpr Row kLaneNumbers = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

Row splat(std::uint8_t value) { return Row{} + value; }
template <class Mask>
bool any(Mask mask) {
  std::uint64_t halves[2];
  std::memcpy(halves, &mask, sizeof halves);
  return (halves[0] | halves[1]) != 0;
}
Row load(const std::uint8_t* bytes) {
  Row row;
  std::memcpy(&row, bytes, sizeof row);
  return row;
}
// The lanes of `value` where `mask` (a comparison's result) holds, zero elsewhere.
template <class Mask>
Row where(Mask mask, Row value) {
  return reinterpret_cast<Row>(mask) & value;
}
Row min(Row a, Row b) { return a < b ? a : b; }
// Lane l takes lane l + 1; the last lane takes `fill`. (Shifts with zeros in, which SSE2 has.)
Row from_next(Row row, std::uint8_t fill) {
  const Row shifted = __builtin_shufflevector(row, Row{}, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12,
                                              13, 14, 15, 16);
  return shifted | where(kLaneNumbers == splat(kVectorLanes - 1), splat(fill));
}
// Lane l takes lane l - k; the first k lanes take `fill`.
template <int k>
Row from_previous(Row row, std::uint8_t fill) {
  constexpr int z = kVectorLanes;
  const Row shifted = __builtin_shufflevector(
      row, Row{}, 0 >= k ? 0 - k : z, 1 >= k ? 1 - k : z, 2 >= k ? 2 - k : z, 3 >= k ? 3 - k : z,
      4 >= k ? 4 - k : z, 5 >= k ? 5 - k : z, 6 >= k ? 6 - k : z, 7 >= k ? 7 - k : z,
      8 >= k ? 8 - k : z, 9 >= k ? 9 - k : z, 10 >= k ? 10 - k : z, 11 >= k ? 11 - k : z,
      12 >= k ? 12 - k : z, 13 >= k ? 13 - k : z, 14 >= k ? 14 - k : z, 15 >= k ? 15 - k : z);
  return shifted | where(kLaneNumbers < splat(k), splat(fill));
}

// The lanes `mask` of a row that hold `cells`.
struct BandEdge {
  std::array<std::uint8_t, kVectorLanes> mask{};
  std::array<std::uint8_t, kVectorLanes> cells{};
};

// For each row i up to `band`: column 0 (lane band - i) costs i, the lanes before it are outside
// the matrix and cost `cap`.
template <std::size_t band, std::uint8_t cap>
constexpr std::array<BandEdge, band + 1> band_edges() {
  std::array<BandEdge, band + 1> edges{};
  for (std::size_t i = 1; i <= band; ++i) {
    for (std::size_t lane = 0; lane <= band - i; ++lane) {
      edges[i].mask[lane] = 0xFF;
      edges[i].cells[lane] = lane < band - i ? cap : static_cast<std::uint8_t>(i);
    }
  }
  return edges;
}

// The edit-distance matrix of one target (the columns) against candidates offered one after
// another (the rows, one per byte of the candidate), kept only within kBand of the diagonal.
//
// Row i is kept for the columns j = i - kBand .. i + kBand, column j in lane j - i + kBand, so
// the cell diagonally above a cell is in the same lane of the row before, the one above in the
// next lane, the one to the left in the previous lane; lane kLanes is a guard. The band is
// always that wide, whatever the bound: a smaller bound only stops the rows sooner. Cells are
// capped at kCap, which stands for every cost above the largest bound. Columns past the end of
// the target are computed as if it went on with bytes that match nothing, which changes no cell
// up to its last column.
//
// A row depends only on the candidate's bytes before it, so the rows of the candidate before are
// kept, and a candidate reuses those of the prefix it shares with it: over a sorted list each
// candidate costs about a row per byte of its own ending, and one whose shared prefix already
// ran out of the bound costs nothing.
class Band {
 public:
  explicit Band(std::string_view target)
      : width_(target.size() + 3 * kBand + kVectorLanes + 1),
        // A candidate offered is at most kBand longer than the target.
        row_capacity_(target.size() + kBand + 1),
        target_size_(target.size()) {
    // Names are short: for a target of up to 50 bytes the rows and columns fit the inline
    // buffer, and a search allocates nothing.
    const std::size_t bytes = row_capacity_ * sizeof(Row) + 2 * width_;
    std::uint8_t* storage = inline_;
    if (bytes > sizeof inline_) {
      heap_ = std::make_unique<Row[]>((bytes + sizeof(Row) - 1) / sizeof(Row));
      storage = reinterpret_cast<std::uint8_t*>(heap_.get());
    }
    rows_ = reinterpret_cast<Row*>(storage);
    columns_ = storage + row_capacity_ * sizeof(Row);
    std::memset(columns_, 0, width_);
    std::memset(columns_ + width_, 1, width_);
    for (std::size_t j = 1; j <= target.size(); ++j) {
      columns_[j + kBand] = static_cast<std::uint8_t>(target[j - 1]);
      columns_[width_ + j + kBand] = 0;
    }
    Row first = splat(kCap);
    // Row 0: column j costs j; the columns before 0 are outside the matrix.
    for (std::size_t lane = kBand; lane < kLanes; ++lane) {
      first[lane] = static_cast<std::uint8_t>(lane - kBand);
    }
    rows_[0] = first;
  }
  Band(const Band&) = delete;
  Band& operator=(const Band&) = delete;

  // The distance of `candidate` from the target when at most `bound` (<= kBand), else nothing.
  // `shared` is the length of a prefix it has in common with the candidate offered before it.
  std::optional<std::size_t> distance(std::string_view candidate, std::size_t shared,
                                      std::size_t bound, SuggestStats& stats) {
    assert(bound <= kBand);
    kept_ = std::min(kept_, shared);
    const std::size_t n = candidate.size();
    if (difference(n, target_size_) > bound) return std::nullopt;
    ++stats.distances;
    // A path from a lane to the last cell crosses one diagonal per edit; a row in which every
    // cell plus that many edits exceeds the bound has nothing that can still end within it.
    // Costs never fall along a path, and every path crosses every row.
    const std::size_t last_lane = target_size_ + kBand - n;
    const Row to = splat(static_cast<std::uint8_t>(last_lane));
    // Lanes past the band get a cost no bound reaches.
    const Row to_last = (kLaneNumbers > to ? kLaneNumbers - to : to - kLaneNumbers) |
                        where(kLaneNumbers >= splat(kLanes), splat(2 * kCap));
    const Row within = splat(static_cast<std::uint8_t>(bound));
    auto hopeless = [&](const Row& row) { return !any(row + to_last <= within); };
    if (hopeless(rows_[kept_])) return std::nullopt;
    assert(n < row_capacity_);
    while (kept_ < n) {
      const std::size_t i = kept_ + 1;
      rows_[i] = next_row(rows_[i - 1], i, static_cast<std::uint8_t>(candidate[i - 1]));
      kept_ = i;
      stats.cells += kLanes;
      if (hopeless(rows_[i])) return std::nullopt;
    }
    const std::size_t last = rows_[n][last_lane];
    if (last > bound) return std::nullopt;
    return last;
  }

 private:
  static constexpr std::size_t kBand = kMaxSuggestionDistance;
  static constexpr std::size_t kLanes = 2 * kBand + 1;
  static constexpr std::uint8_t kCap = kBand + 1;
  // Lanes 0 .. kLanes - 1 of a Row are in use; the rest are held at kCap (the guard lane
  // kLanes among them).
  static_assert(kLanes < kVectorLanes);
  // The left edge of row i (1 .. kBand): the lanes of column 0 and of the columns before it,
  // and what they hold, as the band keeps them.
  static constexpr std::array<BandEdge, kBand + 1> kEdges = band_edges<kBand, kCap>();
  // Row i (for candidate byte `byte`) from row i - 1.
  Row next_row(Row above, std::size_t i, std::uint8_t byte) const {
    // Column j = i + lane - kBand is columns_[i + lane].
    const Row differs = where(load(columns_ + i) != splat(byte), splat(1)) |
                        load(columns_ + width_ + i);
    // Diagonal and vertical steps; the lanes do not depend on each other.
    Row row = min(above + differs, from_next(above, kCap) + 1);
    if (i <= kBand) {
      // Column 0 costs i; the columns before it are outside the matrix.
      const BandEdge& edge = kEdges[i];
      row = (row & ~load(edge.mask.data())) | load(edge.cells.data());
    }
    // Horizontal steps: each lane takes the least of every lane to its left plus the distance,
    // in three doubling steps (no cost exceeds kCap, so 2 * kCap + 4 fits a byte).
    row = min(row, from_previous<1>(row, kCap) + 1);
    row = min(row, from_previous<2>(row, kCap) + 2);
    row = min(row, from_previous<4>(row, kCap) + 4);
    return min(row, splat(kCap));
  }

  std::size_t width_;
  std::size_t row_capacity_;
  std::size_t target_size_;
  // rows_[i] is row i of the candidate last offered, for i <= kept_.
  Row* rows_;
  // The target's byte of column j at j + kBand; then, from width_ on, 1 at the same places
  // where the target has no column. Rows and columns are in inline_, or in heap_ for a long
  // target.
  std::uint8_t* columns_;
  static constexpr std::size_t kInlineBytes = 1024;
  alignas(Row) std::uint8_t inline_[kInlineBytes];
  std::unique_ptr<Row[]> heap_;
  std::size_t kept_ = 0;
};

// The closest candidate so far. A later one replaces it only when strictly closer (of equally
// close candidates the first wins), so each find lowers the bound for the ones after it.
class Closest {
 public:
  explicit Closest(std::string_view target) : band_(target) {}

  // The largest distance that could still replace the best.
  std::size_t bound() const { return limit_ - 1; }
  // A best at distance 0 cannot be beaten.
  bool settled() const { return limit_ == 0; }
  // Whether a candidate of `size` bytes falling in `groups` may be within the bound of a target
  // of `target_size` bytes falling in `target_groups`; when not, it needs no distance.
  bool may_be_within(std::size_t target_size, std::uint64_t target_groups, std::size_t size,
                     std::uint64_t groups) const {
    return difference(target_size, size) <= bound() &&
           !lacks_more_than(target_groups, groups, bound()) &&
           !lacks_more_than(groups, target_groups, bound());
  }
  // Candidate `index`, lower-cased; `shared` as for Band::distance.
  void offer(std::size_t index, std::string_view lowered, std::size_t shared,
             SuggestStats& stats) {
    if (std::optional<std::size_t> distance = band_.distance(lowered, shared, bound(), stats)) {
      best_ = index;
      limit_ = *distance;
    }
  }
  std::optional<std::size_t> best() const { return best_; }

 private:
  Band band_;
  std::size_t limit_ = kMaxSuggestionDistance + 1;  // a candidate must be closer than this
  std::optional<std::size_t> best_;
};

// A one-off search: the candidates made into a list of their own.
template <class Name>
std::optional<std::string_view> closest_in(std::string_view target,
                                           std::span<const Name> candidates,
                                           SuggestStats* stats) {
  const std::vector<std::string_view> names(candidates.begin(), candidates.end());
  CandidateLists lists;
  const std::size_t list = lists.add(names);
  const std::optional<std::size_t> best = lists.closest_index(list, target, stats);
  if (!best) return std::nullopt;
  return std::string_view(candidates[*best]);
}

}  // namespace

std::optional<std::size_t> bounded_edit_distance(std::string_view a, std::string_view b,
                                                 std::size_t bound, SuggestStats* stats) {
  SuggestStats counted;
  std::optional<std::size_t> distance = Band(a).distance(b, 0, bound, counted);
  if (stats != nullptr) *stats += counted;
  return distance;
}

std::optional<std::string_view> closest_match(std::string_view target,
                                              std::span<const std::string_view> candidates,
                                              SuggestStats* stats) {
  return closest_in(target, candidates, stats);
}

std::optional<std::string_view> closest_match(std::string_view target,
                                              std::span<const std::string> candidates,
                                              SuggestStats* stats) {
  return closest_in(target, candidates, stats);
}

std::size_t CandidateLists::add(std::span<const std::string_view> names) {
  const std::size_t list = list_ends_.size();
  const std::size_t first = entries_.size();
  std::string lowered;
  for (std::string_view name : names) {
    lower_into(name, lowered);
    Entry entry;
    entry.name = text_.size();
    entry.name_size = name.size();
    text_.append(name);
    if (lowered == name) {
      entry.lowered = entry.name;
    } else {
      entry.lowered = text_.size();
      text_.append(lowered);
    }
    entries_.push_back(entry);
    probes_.push_back(Probe{lowered.size(), byte_groups(lowered)});
  }
  list_ends_.push_back(entries_.size());

  if (slots_.size() < 2 * entries_.size()) {
    std::size_t size = 16;
    while (size < 2 * entries_.size()) size *= 2;
    slots_.assign(size, 0);
    for (std::size_t l = 0; l < list; ++l) {
      for (std::size_t entry = begin(l); entry < end(l); ++entry) index(l, entry);
    }
  }
  for (std::size_t entry = first; entry < entries_.size(); ++entry) index(list, entry);
  return list;
}

std::string_view CandidateLists::name_at(std::size_t entry) const {
  return std::string_view(text_).substr(entries_[entry].name, entries_[entry].name_size);
}

std::string_view CandidateLists::name(std::size_t list, std::size_t i) const {
  return name_at(begin(list) + i);
}

std::size_t CandidateLists::slot_of(std::size_t list, std::string_view name) const {
  // Eight bytes at a time (the last word padded with zeros, the length mixed in), each word
  // folded in by a multiply; the high half of the final product picks the slot.
  constexpr std::uint64_t kMultiplier = 0x9e3779b97f4a7c15u;
  std::uint64_t hash = (list + 1) * kMultiplier ^ name.size();
  std::size_t at = 0;
  for (; at + 8 <= name.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, name.data() + at, 8);
    hash = (hash ^ word) * kMultiplier;
    hash ^= hash >> 29;
  }
  std::uint64_t last = 0;
  std::memcpy(&last, name.data() + at, name.size() - at);
  hash = (hash ^ last) * kMultiplier;
  hash ^= hash >> 32;
  return static_cast<std::size_t>(hash * kMultiplier >> 32) & (slots_.size() - 1);
}

void CandidateLists::index(std::size_t list, std::size_t entry) {
  const std::string_view name = name_at(entry);
  for (std::size_t slot = slot_of(list, name);; slot = (slot + 1) & (slots_.size() - 1)) {
    const std::size_t held = slots_[slot];
    if (held == 0) {
      slots_[slot] = entry + 1;
      return;
    }
    if (held - 1 >= begin(list) && name_at(held - 1) == name) return;
  }
}

std::optional<std::size_t> CandidateLists::find(std::size_t list, std::string_view name) const {
  if (slots_.empty()) return std::nullopt;
  for (std::size_t slot = slot_of(list, name);; slot = (slot + 1) & (slots_.size() - 1)) {
    const std::size_t held = slots_[slot];
    if (held == 0) return std::nullopt;
    const std::size_t entry = held - 1;
    if (entry >= begin(list) && entry < end(list) && name_at(entry) == name) {
      return entry - begin(list);
    }
  }
}

std::optional<std::string_view> CandidateLists::closest(std::size_t list, std::string_view target,
                                                        SuggestStats* stats) const {
  const std::optional<std::size_t> best = closest_index(list, target, stats);
  if (!best) return std::nullopt;
  return name(list, *best);
}

std::optional<std::size_t> CandidateLists::closest_index(std::size_t list,
                                                         std::string_view target,
                                                         SuggestStats* stats) const {
  SuggestStats counted{.searches = 1};
  std::string lowered_target;
  lower_into(target, lowered_target);
  const std::uint64_t target_groups = byte_groups(lowered_target);
  const std::string_view text(text_);
  Closest closest(lowered_target);
  std::string_view offered;  // the last candidate offered
  for (std::size_t i = begin(list); i < end(list) && !closest.settled(); ++i) {
    const Probe& probe = probes_[i];
    if (!closest.may_be_within(lowered_target.size(), target_groups, probe.lowered_size,
                               probe.byte_groups)) {
      continue;
    }
    const std::string_view lowered = text.substr(entries_[i].lowered, probe.lowered_size);
    closest.offer(i, lowered, common_prefix(lowered, offered), counted);
    offered = lowered;
  }
  if (stats != nullptr) *stats += counted;
  if (!closest.best()) return std::nullopt;
  return *closest.best() - begin(list);
}

std::optional<Suggestion> label_replacement(std::string_view label,
                                            std::optional<std::string_view> best) {
  if (!best) return std::nullopt;
  std::string original;
  original.reserve(1 + label.size());
  original.append(1, ':').append(label);
  std::string replacement;
  replacement.reserve(1 + best->size());
  replacement.append(1, ':').append(*best);
  // Escaped piece by piece as the whole text would be: the pieces meet at ASCII, so no UTF-8
  // sequence spans a seam.
  std::string description;
  description.reserve(14 + original.size() + replacement.size());
  description.append("Replace ");
  append_escaping_invalid_utf8(description, original);
  description.append(" with ");
  append_escaping_invalid_utf8(description, replacement);
  return Suggestion{std::move(original), std::move(replacement), std::move(description)};
}

std::optional<Suggestion> property_replacement(std::string_view property,
                                               std::optional<std::string_view> best) {
  if (!best) return std::nullopt;
  std::string description;
  description.reserve(27 + property.size() + best->size());
  description.append("Replace property '");
  append_escaping_invalid_utf8(description, property);
  description.append("' with '");
  append_escaping_invalid_utf8(description, *best);
  description += '\'';
  return Suggestion{std::string(property), std::string(*best), std::move(description)};
}

std::optional<Suggestion> label_suggestion(std::string_view label,
                                           std::span<const std::string_view> candidates) {
  return label_replacement(label, closest_match(label, candidates));
}

std::optional<Suggestion> label_suggestion(std::string_view label,
                                           std::span<const std::string> candidates) {
  return label_replacement(label, closest_match(label, candidates));
}

std::optional<Suggestion> property_suggestion(std::string_view property,
                                              std::span<const std::string_view> candidates) {
  return property_replacement(property, closest_match(property, candidates));
}

std::optional<Suggestion> property_suggestion(std::string_view property,
                                              std::span<const std::string> candidates) {
  return property_replacement(property, closest_match(property, candidates));
}

std::string suggestion_hint(std::string_view prefix, std::optional<std::string_view> best) {
  if (!best) return {};
  std::string hint;
  hint.reserve(16 + prefix.size() + best->size());
  hint.append(", did you mean ").append(prefix);
  hint.append(*best);
  hint += '?';
  return hint;
}

}  // namespace morvane::diagnostics
