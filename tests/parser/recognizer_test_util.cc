#include "recognizer_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "error/utf8_escape.h"

namespace morvane::parser::recognizer_test {
namespace {

void append_quoted(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  out += '"';
}

bool is_continuation(std::string_view input, std::uint32_t at) {
  return at < input.size() && (static_cast<unsigned char>(input[at]) & 0xC0) == 0x80;
}

// Rules that yield a pair without children, and rules that never yield a pair at all.
bool is_atomic(Rule rule) {
  switch (rule) {
    case Rule::procedure_name: case Rule::procedure_result_field: case Rule::label_name:
    case Rule::rel_type_name: case Rule::or_kw: case Rule::xor_kw: case Rule::and_kw:
    case Rule::not_kw: case Rule::null_check_op: case Rule::function_name: case Rule::namespace_:
    case Rule::integer_literal: case Rule::float_literal: case Rule::string_literal:
    case Rule::property_key_name: case Rule::parameter: case Rule::variable:
    case Rule::identifier: case Rule::backtick_identifier:
      return true;
    default:
      return false;
  }
}

bool never_reported(Rule rule) {
  return rule == Rule::WHITESPACE || rule == Rule::COMMENT || rule == Rule::identifier ||
         rule == Rule::backtick_identifier || rule == Rule::namespace_ || rule == Rule::keyword;
}

std::string describe(std::string_view input, const Pair& pair) {
  std::string out(rule_name(pair.rule));
  append_quoted(out, pair_text(input, pair));
  out += " at " + std::to_string(pair.begin);
  return out;
}

bool same_pairs(std::span<const Pair> a, std::span<const Pair> b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Pair& x, const Pair& y) {
    return x.begin == y.begin && x.end == y.end && x.next == y.next && x.rule == y.rule;
  });
}

bool same_error(const SyntaxError& a, const SyntaxError& b) {
  return a.kind == b.kind && a.offset == b.offset && a.line == b.line && a.column == b.column &&
         a.expected == b.expected && a.message == b.message && a.display == b.display;
}

// The bytes of the character at input[at]: a well-formed sequence, or one byte of anything else.
std::size_t char_length(std::string_view input, std::size_t at) {
  return std::max<std::size_t>(utf8_sequence_length(input, at), 1);
}

// Whether `at` falls inside a well-formed multi-byte character.
bool splits_character(std::string_view input, std::uint32_t at) {
  for (std::uint32_t k = 1; k <= 3 && k <= at; ++k) {
    if (at - k < input.size() && utf8_sequence_length(input, at - k) > k) return true;
  }
  return false;
}

// Line, column and shown line of a byte offset, as the error report defines them.
struct Place {
  std::uint32_t line = 1;
  std::uint32_t column = 1;
  std::string shown;
};

Place place_of(std::string_view input, std::uint32_t offset) {
  Place place;
  for (std::size_t i = 0; i < offset;) {
    if (input[i] == '\r' && i + 1 < offset && input[i + 1] == '\n') {
      ++place.line;
      place.column = 1;
      i += 2;
    } else if (input[i] == '\n') {
      ++place.line;
      place.column = 1;
      ++i;
    } else {
      ++place.column;
      i += char_length(input, i);
    }
  }
  std::size_t start = input.rfind('\n', offset == 0 ? std::string_view::npos : offset - 1);
  start = (offset == 0 || start == std::string_view::npos) ? 0 : start + 1;
  std::size_t end = input.find('\n', offset);
  end = end == std::string_view::npos ? input.size() : end + 1;
  for (char c : input.substr(start, end - start)) {
    if (c != '\r' && c != '\n') place.shown += c;
  }
  return place;
}

std::string marker_of(std::string_view shown, std::uint32_t column) {
  std::string marker;
  std::uint32_t count = 0;
  for (std::size_t i = 0; i < shown.size() && count + 1 < column; ++count) {
    if (utf8_sequence_length(shown, i) == 0) {
      marker += "      ";  // under \x{hex}
    } else {
      marker += shown[i] == '\t' ? '\t' : ' ';
    }
    i += char_length(shown, i);
  }
  return marker + "^---";
}

}  // namespace

Outcome parse_checked(std::string_view query, Rule start) {
  Outcome fast;
  fast.input = std::string(query);
  Recognizer recognizer;
  fast.ok = recognizer.parse(fast.input, start, Recognizer::Mode::kFast);
  fast.pairs.assign(recognizer.pairs().begin(), recognizer.pairs().end());
  fast.error = recognizer.error();

  // The exact mode runs the grammar literally, so it may exhaust the work limit where the
  // fast mode does not; it has nothing to compare then.
  bool exact_ok = recognizer.parse(fast.input, start, Recognizer::Mode::kExact);
  if (exact_ok || recognizer.error().kind != SyntaxError::Kind::kTooMuchWork) {
    EXPECT_EQ(exact_ok, fast.ok) << "modes disagree on acceptance of: " << query;
    if (exact_ok && fast.ok) {
      EXPECT_TRUE(same_pairs(recognizer.pairs(), fast.pairs))
          << "modes disagree on the pairs of: " << query;
    } else if (!exact_ok && !fast.ok) {
      EXPECT_TRUE(same_error(recognizer.error(), fast.error))
          << "modes disagree on the error of: " << query << "\nfast:\n"
          << fast.error.display << "\nexact:\n" << recognizer.error().display;
    }
  }
  if (fast.ok) {
    std::string violation = tape_violation(fast.input, fast.pairs, start);
    EXPECT_EQ(violation, "") << "query: " << query;
  } else {
    std::string violation = error_violation(fast.input, fast.error);
    EXPECT_EQ(violation, "") << "query: " << query;
  }
  return fast;
}

std::string render(std::string_view input, std::span<const Pair> tape, std::uint32_t index,
                   int depth) {
  std::string out(rule_name(tape[index].rule));
  append_quoted(out, pair_text(input, tape[index]));
  if (depth != 0 && tape[index].next != index + 1) {
    out += '{';
    bool first = true;
    for (std::uint32_t child : children(tape, index)) {
      if (!first) out += ' ';
      first = false;
      out += render(input, tape, child, depth - 1);
    }
    out += '}';
  }
  return out;
}

std::string render_rule(const Outcome& outcome, Rule rule, int nth, int depth) {
  if (!outcome.ok) return "<error: " + outcome.error.message + ">";
  for (std::uint32_t i = 0; i < outcome.pairs.size(); ++i) {
    if (outcome.pairs[i].rule == rule && nth-- == 0) {
      return render(outcome.input, outcome.pairs, i, depth);
    }
  }
  return "<none>";
}

std::string render_shape(const Outcome& outcome) {
  if (!outcome.ok) return "<error: " + outcome.error.message + ">";
  std::string out;
  // Closing braces are owed at the `next` index of each open pair.
  std::vector<std::uint32_t> open;
  for (std::uint32_t i = 0; i < outcome.pairs.size(); ++i) {
    while (!open.empty() && open.back() == i) {
      out += '}';
      open.pop_back();
    }
    if (!out.empty() && out.back() != '{') out += ' ';
    out += rule_name(outcome.pairs[i].rule);
    if (outcome.pairs[i].next != i + 1) {
      out += '{';
      open.push_back(outcome.pairs[i].next);
    }
  }
  out.append(open.size(), '}');
  return out;
}

std::string tape_violation(std::string_view input, std::span<const Pair> tape, Rule start) {
  if (tape.empty()) return "empty tape";
  for (std::uint32_t i = 0; i < tape.size(); ++i) {
    const Pair& pair = tape[i];
    if (pair.begin > pair.end || pair.end > input.size()) return "bad span: " + describe(input, pair);
    if (pair.next <= i || pair.next > tape.size()) return "bad next: " + describe(input, pair);
    if (is_continuation(input, pair.begin) || is_continuation(input, pair.end)) {
      return "span splits a character: " + describe(input, pair);
    }
    if (never_reported(pair.rule)) return "rule that yields no pair: " + describe(input, pair);
    if (is_atomic(pair.rule) && pair.next != i + 1) {
      return "atomic pair with children: " + describe(input, pair);
    }
    std::string_view text = pair_text(input, pair);
    if (pair.rule != Rule::cypher && !text.empty() &&
        (text[0] == ' ' || text[0] == '\t' || text[0] == '\r' || text[0] == '\n' ||
         text.starts_with("//") || text.starts_with("/*"))) {
      return "text begins with skipped text: " + describe(input, pair);
    }
    std::uint32_t at = i + 1;
    std::uint32_t floor = pair.begin;
    while (at < pair.next) {
      const Pair& child = tape[at];
      if (child.begin < floor || child.end > pair.end) {
        return "child " + describe(input, child) + " outside or overlapping in " +
               describe(input, pair);
      }
      floor = child.end;
      if (child.next <= at) return "bad next: " + describe(input, child);
      at = child.next;
    }
    if (at != pair.next) return "children overrun the end of " + describe(input, pair);
  }
  std::uint32_t top = 0;
  std::uint32_t tops = 0;
  while (top < tape.size()) {
    ++tops;
    top = tape[top].next;
  }
  if (start == Rule::cypher) {
    if (tops != 1) return "cypher match with " + std::to_string(tops) + " top-level pairs";
    const Pair& root = tape[0];
    if (root.rule != Rule::cypher || root.begin != 0 || root.end != input.size()) {
      return "root is not a cypher pair over the whole input: " + describe(input, root);
    }
    const Pair& last = tape.back();
    if (last.rule != Rule::EOI || last.begin != input.size() || last.end != input.size()) {
      return "last pair is not EOI at the end: " + describe(input, last);
    }
  }
  return "";
}

std::string error_violation(std::string_view input, const SyntaxError& error) {
  if (error.offset > input.size() || splits_character(input, error.offset)) {
    return "offset " + std::to_string(error.offset) + " not a character boundary of the input";
  }
  // A query past the length bound is reported as far as the bound only.
  Place place = place_of(error.kind == SyntaxError::Kind::kTooLong ? input.substr(0, error.offset)
                                                                   : input,
                         error.offset);
  if (error.line != place.line || error.column != place.column) {
    return "position " + std::to_string(error.line) + ":" + std::to_string(error.column) +
           " for offset " + std::to_string(error.offset) + ", expected " +
           std::to_string(place.line) + ":" + std::to_string(place.column);
  }
  std::string message;
  switch (error.kind) {
    case SyntaxError::Kind::kExpected: {
      if (error.expected.empty()) return "empty expected list";
      for (std::size_t i = 0; i < error.expected.size(); ++i) {
        if (never_reported(error.expected[i])) return "expected list names a hidden rule";
        if (i > 0 && error.expected[i - 1] >= error.expected[i]) {
          return "expected list not sorted or not unique";
        }
      }
      message = "expected ";
      for (std::size_t i = 0; i < error.expected.size(); ++i) {
        if (i > 0) {
          if (error.expected.size() == 2) message += " or ";
          else message += i + 1 == error.expected.size() ? ", or " : ", ";
        }
        message += rule_name(error.expected[i]);
      }
      break;
    }
    case SyntaxError::Kind::kTooDeep:
      message = "query nested deeper than " + std::to_string(kMaxRuleDepth) + " levels";
      break;
    case SyntaxError::Kind::kTooMuchWork:
      message = "query too complex to recognize";
      break;
    case SyntaxError::Kind::kTooLarge:
      message = "query too large to recognize";
      break;
    case SyntaxError::Kind::kTooLong:
      message = "query longer than " + std::to_string(kMaxQueryBytes) + " bytes";
      break;
  }
  if (error.message != message) return "message \"" + error.message + "\", expected \"" + message + "\"";
  std::string line = std::to_string(place.line);
  std::string s(line.size(), ' ');
  std::string display = s + "--> " + line + ":" + std::to_string(place.column) + "\n" + s +
                        " |\n" + line + " | " + escape_invalid_utf8(place.shown) + "\n" + s +
                        " | " + marker_of(place.shown, place.column) + "\n" + s + " |\n" + s +
                        " = " + message;
  if (error.display != display) {
    return "display:\n" + error.display + "\nexpected:\n" + display;
  }
  return "";
}

void expect_accepted(std::span<const std::string_view> queries) {
  for (std::string_view query : queries) {
    Outcome outcome = parse_checked(query);
    EXPECT_TRUE(outcome.ok) << "query: " << query << "\n" << outcome.error.display;
  }
}

void expect_refused(std::span<const std::string_view> queries) {
  for (std::string_view query : queries) {
    EXPECT_FALSE(parse_checked(query).ok) << "query: " << query;
  }
}

void expect_errors(std::span<const ErrorRow> rows) {
  for (const ErrorRow& row : rows) {
    Outcome outcome = parse_checked(row.query);
    if (outcome.ok) {
      ADD_FAILURE() << "accepted: " << row.query;
      continue;
    }
    EXPECT_EQ(outcome.error.line, row.line) << "query: " << row.query;
    EXPECT_EQ(outcome.error.column, row.column) << "query: " << row.query;
    if (!row.message.empty()) {
      EXPECT_EQ(outcome.error.message, row.message) << "query: " << row.query;
    }
  }
}

void expect_trees(std::span<const TreeRow> rows) {
  for (const TreeRow& row : rows) {
    Outcome outcome = parse_checked(row.query);
    EXPECT_EQ(render_rule(outcome, row.rule, row.nth, row.depth), row.expected)
        << "query: " << row.query;
  }
}

}  // namespace morvane::parser::recognizer_test
