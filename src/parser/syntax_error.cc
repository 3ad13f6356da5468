#include "parser/syntax_error.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <limits>
#include <string>

#include "error/utf8_escape.h"

namespace morvane::parser {
namespace {

// The bytes of the character at input[at]: a well-formed UTF-8 sequence, or one byte that
// begins none (shown as \x{hex}, and counted as one character).
std::size_t char_length(std::string_view input, std::size_t at) {
  if (static_cast<unsigned char>(input[at]) < 0x80) return 1;
  return std::max<std::size_t>(utf8_sequence_length(input, at), 1);
}

struct LineColumn {
  std::uint32_t line = 1;
  std::uint32_t column = 1;
};

// Characters before `offset`; "\r\n" is one line break, a lone "\r" an ordinary character. (No
// "\r\n" stands inside the line up to `offset`, so each "\r" there is a character.)
LineColumn line_column(std::string_view input, std::uint32_t offset) {
  const std::string_view before = input.substr(0, offset);
  LineColumn at;
  at.line += static_cast<std::uint32_t>(std::count(before.begin(), before.end(), '\n'));
  const std::size_t last_break = before.rfind('\n');
  for (std::size_t i = last_break == std::string_view::npos ? 0 : last_break + 1; i < offset;) {
    ++at.column;
    i += char_length(input, i);
  }
  return at;
}

// The line holding `offset`, without its line-break characters: a view of the input, or, when
// the line holds a '\r', its text without them in `storage`.
std::string_view shown_line(std::string_view input, std::uint32_t offset, std::string& storage) {
  const std::size_t last_break = offset == 0 ? std::string_view::npos
                                             : input.rfind('\n', offset - 1);
  const std::size_t begin = last_break == std::string_view::npos ? 0 : last_break + 1;
  const std::size_t end = std::min(input.find('\n', offset), input.size());
  const std::string_view raw = input.substr(begin, end - begin);
  if (raw.find('\r') == std::string_view::npos) return raw;
  storage.clear();
  storage.reserve(raw.size());
  for (std::size_t at = 0; at < raw.size();) {
    const std::size_t cr = std::min(raw.find('\r', at), raw.size());
    storage.append(raw, at, cr - at);
    at = cr + 1;
  }
  return storage;
}

// Appends blanks (tabs kept) under the first column - 1 characters of the shown line as
// displayed (a byte written as \x{hex} takes kEscapedByteWidth), then "^---".
void append_marker(std::string& out, std::string_view line, std::uint32_t column) {
  const std::size_t chars = column - 1;
  std::size_t i = 0;
  for (std::size_t placed = 0; i < line.size() && placed < chars;) {
    // A run of ASCII characters other than tabs: a blank each.
    std::size_t run = i;
    const std::size_t run_limit = std::min(line.size(), i + (chars - placed));
    while (run < run_limit && static_cast<unsigned char>(line[run]) < 0x80 && line[run] != '\t') {
      ++run;
    }
    out.append(run - i, ' ');
    placed += run - i;
    i = run;
    if (i == line.size() || placed == chars) break;
    if (line[i] == '\t') {
      out += '\t';
    } else if (utf8_sequence_length(line, i) == 0) {
      out.append(kEscapedByteWidth, ' ');
    } else {
      out += ' ';
    }
    i += char_length(line, i);
    ++placed;
  }
  out += "^---";
}

void append_expected(std::string& out, const std::vector<Rule>& rules) {
  out += "expected ";
  for (std::size_t i = 0; i < rules.size(); ++i) {
    if (i > 0) out += rules.size() == 2 ? " or " : (i + 1 == rules.size() ? ", or " : ", ");
    out += rule_name(rules[i]);
  }
}

void append_limit(std::string& out, SyntaxError::Kind kind) {
  if (kind == SyntaxError::Kind::kTooDeep) {
    out += "query nested deeper than " + std::to_string(kMaxRuleDepth) + " levels";
  } else if (kind == SyntaxError::Kind::kTooLarge) {
    out += "query too large to recognize";
  } else if (kind == SyntaxError::Kind::kTooLong) {
    out += "query longer than " + std::to_string(kMaxQueryBytes) + " bytes";
  } else {
    out += "query too complex to recognize";
  }
}

}  // namespace

void make_syntax_error(std::string_view input, std::uint32_t offset, SyntaxError::Kind kind,
                       std::span<const Rule> expected, SyntaxError& error) {
  error.kind = kind;
  error.offset = offset;
  const LineColumn at = line_column(input, offset);
  error.line = at.line;
  error.column = at.column;
  error.expected.clear();
  error.message.clear();
  if (kind == SyntaxError::Kind::kExpected) {
    error.expected.assign(expected.begin(), expected.end());
    std::sort(error.expected.begin(), error.expected.end());
    error.expected.erase(std::unique(error.expected.begin(), error.expected.end()),
                         error.expected.end());
    append_expected(error.message, error.expected);
  } else {
    append_limit(error.message, kind);
  }

  char digits[2][std::numeric_limits<std::uint32_t>::digits10 + 1];
  const std::string_view line_number(digits[0],
                                     std::to_chars(std::begin(digits[0]), std::end(digits[0]),
                                                   at.line).ptr - digits[0]);
  const std::string_view column(digits[1],
                                std::to_chars(std::begin(digits[1]), std::end(digits[1]),
                                              at.column).ptr - digits[1]);
  std::string line_storage;
  const std::string_view line = shown_line(input, offset, line_storage);
  std::string& d = error.display;
  d.clear();
  d.reserve(2 * line.size() + 6 * line_number.size() + column.size() + error.message.size() + 32);
  const auto margin = [&d, &line_number](std::string_view rest) {
    d.append(line_number.size(), ' ');
    d += rest;
  };
  margin("--> ");
  d.append(line_number).append(":").append(column).append("\n");
  margin(" |\n");
  d.append(line_number).append(" | ");
  append_escaping_invalid_utf8(d, line);
  d += '\n';
  margin(" | ");
  append_marker(d, line, at.column);
  d += '\n';
  margin(" |\n");
  margin(" = ");
  d += error.message;
}

}  // namespace morvane::parser
