// Fuzz target for the recognizer: any bytes parse without a crash or a sanitizer report; a
// success is one cypher pair spanning the input; a failure has a six-line display and, for
// UTF-8 input, a line and column inside the input. Short inputs are also recognized in the
// exact mode, which must agree with the fast mode unless it ran out of work. Every input is
// also validated against a fixed schema: the result is valid exactly when it holds no error,
// and it has a corrected query exactly when it has errors that all carry a suggestion. Every
// accepted input builds a syntax tree (no builder guard fires on accepted text), and the tree
// dumps.
//
// recognizer.dict (keywords and punctuation) helps: recognizer_fuzzer -dict=recognizer.dict.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "parser/ast.h"
#include "parser/builder.h"
#include "parser/recognizer.h"
#include "schema/schema_json.h"
#include "validator/morvane.h"

namespace {

using morvane::parser::Pair;
using morvane::parser::Recognizer;
using morvane::parser::Rule;
using morvane::parser::SyntaxError;

// Inputs up to this size are also matched in the exact mode (whose work is bounded only by the
// work limit).
constexpr std::size_t kExactModeMaxSize = 512;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "recognizer_fuzzer: %s\n", what);
  __builtin_trap();
}

bool is_utf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3
                                      : (c >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    std::uint32_t code = length == 1 ? c : c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    static constexpr std::uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kMin[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

// Checks that line:column names a place of the text: lines break at "\n" (a "\r\n" is one
// break), and a column may stand one past the last character of its line.
bool inside(std::string_view text, std::uint32_t line, std::uint32_t column) {
  std::uint32_t current = 1;
  std::size_t start = 0;
  while (current < line) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) return false;
    start = nl + 1;
    ++current;
  }
  std::size_t nl = text.find('\n', start);
  std::string_view content = text.substr(start, nl == std::string_view::npos ? nl : nl - start);
  std::uint32_t characters = 0;
  for (char c : content) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return line >= 1 && column >= 1 && column <= characters + 1;
}

bool same(const Recognizer& a, const Recognizer& b, bool ok) {
  if (ok) {
    return std::equal(a.pairs().begin(), a.pairs().end(), b.pairs().begin(), b.pairs().end(),
                      [](const Pair& x, const Pair& y) {
                        return x.begin == y.begin && x.end == y.end && x.next == y.next &&
                               x.rule == y.rule;
                      });
  }
  const SyntaxError& x = a.error();
  const SyntaxError& y = b.error();
  return x.kind == y.kind && x.offset == y.offset && x.expected == y.expected &&
         x.display == y.display;
}

void check_validation(std::string_view input) {
  static const morvane::validator::Morvane validator(
      morvane::schema::deserialize(
          R"({"nodes":{"Person":["name","age"],"Movie":["title"]},)"
          R"("relationships":{"ACTED_IN":["Person","Movie",["role"]],"KNOWS":["Person","Person",[]]}})")
          .value());
  morvane::validator::PyValidationResult result = validator.validate(input);
  std::size_t errors = 0;
  bool all_fixable = true;
  for (const morvane::diagnostics::ValidationDiagnostic& diagnostic : result.diagnostics) {
    if (diagnostic.severity == morvane::diagnostics::Severity::Error) {
      ++errors;
      all_fixable = all_fixable && diagnostic.suggestion.has_value();
    } else if (diagnostic.suggestion) {
      fail("a warning with a suggestion");
    }
  }
  if (errors != result.errors().size()) fail("errors out of step with the diagnostics");
  if (result.is_valid != (errors == 0)) fail("is_valid disagrees with the errors");
  if (result.fixed_query.has_value() != (errors > 0 && all_fixable)) {
    fail("fixed_query present without every error fixable, or missing");
  }
  if (result.fixed_query && !validator.validate(*result.fixed_query).syntax_errors().empty()) {
    fail("a fixed query that does not parse");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  Recognizer fast;
  bool ok = fast.parse(input, Rule::cypher, Recognizer::Mode::kFast);
  if (ok) {
    if (fast.pairs().empty()) fail("success without pairs");
    const Pair& root = fast.pairs()[0];
    if (root.rule != Rule::cypher || root.begin != 0 || root.end != size ||
        root.next != fast.pairs().size()) {
      fail("the cypher pair does not span the input alone");
    }
    auto built = morvane::parser::builder::build_query(input, fast.pairs(), 0);
    if (!built) {
      std::fprintf(stderr, "%s\n", built.error().display().c_str());
      fail("accepted text did not build");
    }
    if (morvane::parser::ast::dump(built.value(), morvane::parser::ast::DumpStyle::kCompact)
            .empty()) {
      fail("empty dump");
    }
  } else {
    const SyntaxError& error = fast.error();
    if (error.offset > size) fail("error offset past the input");
    if (std::count(error.display.begin(), error.display.end(), '\n') != 5) {
      fail("display is not six lines");
    }
    if (is_utf8(input) && !inside(input, error.line, error.column)) {
      fail("line and column outside the input");
    }
  }
  if (size <= kExactModeMaxSize) {
    Recognizer exact;
    bool exact_ok = exact.parse(input, Rule::cypher, Recognizer::Mode::kExact);
    bool out_of_work = !exact_ok && exact.error().kind == SyntaxError::Kind::kTooMuchWork;
    if (!out_of_work && (exact_ok != ok || !same(fast, exact, ok))) {
      fail("fast and exact modes disagree");
    }
  }
  check_validation(input);
  return 0;
}
