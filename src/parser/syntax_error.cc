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

// Characters before `offset`; "\r\n" is one line break, a lone "\r" an ordinary character.
LineColumn line_column(std::string_view input, std::uint32_t offset) {
  LineColumn at;
  for (std::uint32_t i = 0; i < offset;) {
    const char c = input[i];
    if (c == '\n') {
      ++at.line;
      at.column = 1;
      ++i;
    } else if (c == '\r' && i + 1 < offset && input[i + 1] == '\n') {
      ++i;  // the "\n" that follows makes the break
    } else {
      ++at.column;
      i += static_cast<std::uint32_t>(char_length(input, i));
    }
  }
  return at;
}

// The line holding `offset`, without its line-break characters.
std::string shown_line(std::string_view input, std::uint32_t offset) {
  const std::size_t last_break = offset == 0 ? std::string_view::npos
                                             : input.rfind('\n', offset - 1);
  const std::size_t begin = last_break == std::string_view::npos ? 0 : last_break + 1;
  const std::size_t end = std::min(input.find('\n', offset), input.size());
  const std::string_view raw = input.substr(begin, end - begin);
  std::string line;
  line.reserve(raw.size());
  for (std::size_t at = 0; at < raw.size();) {
    const std::size_t cr = std::min(raw.find('\r', at), raw.size());
    line.append(raw, at, cr - at);
    at = cr + 1;
  }
  return line;
}

// Appends blanks (tabs kept) under the first column - 1 characters of the shown line as
// displayed (a byte written as \x{hex} takes kEscapedByteWidth), then "^---".
void append_marker(std::string& out, std::string_view line, std::uint32_t column) {
  std::uint32_t chars = 0;
  for (std::size_t i = 0; i < line.size() && chars + 1 < column; ++chars) {
    if (utf8_sequence_length(line, i) == 0) {
      out.append(kEscapedByteWidth, ' ');
    } else {
      out += line[i] == '\t' ? '\t' : ' ';
    }
    i += char_length(line, i);
  }
  out += "^---";
}

std::string expected_message(const std::vector<Rule>& rules) {
  std::string out = "expected ";
  for (std::size_t i = 0; i < rules.size(); ++i) {
    if (i > 0) out += rules.size() == 2 ? " or " : (i + 1 == rules.size() ? ", or " : ", ");
    out += rule_name(rules[i]);
  }
  return out;
}

std::string limit_message(SyntaxError::Kind kind) {
  if (kind == SyntaxError::Kind::kTooDeep) {
    return "query nested deeper than " + std::to_string(kMaxRuleDepth) + " levels";
  }
  if (kind == SyntaxError::Kind::kTooLarge) return "query too large to recognize";
  if (kind == SyntaxError::Kind::kTooLong) {
    return "query longer than " + std::to_string(kMaxQueryBytes) + " bytes";
  }
  return "query too complex to recognize";
}

}  // namespace

SyntaxError make_syntax_error(std::string_view input, std::uint32_t offset, SyntaxError::Kind kind,
                              std::vector<Rule> expected) {
  SyntaxError error;
  error.kind = kind;
  error.offset = offset;
  const LineColumn at = line_column(input, offset);
  error.line = at.line;
  error.column = at.column;
  if (kind == SyntaxError::Kind::kExpected) {
    std::sort(expected.begin(), expected.end());
    expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
    error.expected = std::move(expected);
    error.message = expected_message(error.expected);
  } else {
    error.message = limit_message(kind);
  }

  char digits[2][std::numeric_limits<std::uint32_t>::digits10 + 1];
  const std::string_view line_number(digits[0],
                                     std::to_chars(std::begin(digits[0]), std::end(digits[0]),
                                                   at.line).ptr - digits[0]);
  const std::string_view column(digits[1],
                                std::to_chars(std::begin(digits[1]), std::end(digits[1]),
                                              at.column).ptr - digits[1]);
  const std::string line = shown_line(input, offset);
  std::string& d = error.display;
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
  return error;
}

}  // namespace morvane::parser
