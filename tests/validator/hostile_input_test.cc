// Hostile input through the whole pipeline: queries past the recognizer's bounds give one parse
// error placed where the bound fell, and bytes that are not UTF-8, wherever the query echoes
// them into a text, come out escaped, so that every message is UTF-8 and every result JSON
// reads back with a strict reader.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "error/utf8_escape.h"
#include "parser/recognizer.h"
#include "schema/schema_json.h"
#include "validate_test_util.h"
#include "validator/result_json.h"

namespace morvane::validator::testing {
namespace {

// Written from the Unicode table of well-formed byte sequences: no overlong form, no surrogate,
// nothing above U+10FFFF, nothing cut short.
bool is_strict_utf8(std::string_view text) {
  static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const int extra = lead < 0x80 ? 0 : lead < 0xC0 ? -1 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2
                      : lead < 0xF8 ? 3 : -1;
    if (extra < 0 || text.size() - i <= static_cast<std::size_t>(extra)) return false;
    char32_t code_point = extra == 0 ? lead : lead & (0x3F >> extra);
    for (int k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code_point = (code_point << 6) | (next & 0x3F);
    }
    if (code_point < kLeast[extra] || code_point > 0x10FFFF ||
        (code_point >= 0xD800 && code_point <= 0xDFFF)) {
      return false;
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

// The schema reader is strict about JSON syntax (escapes, control characters, structure) and
// reads a member it does not know, whatever its value, so it reads the result inside one.
std::string json_error(const std::string& json) {
  if (!is_strict_utf8(json)) return "not UTF-8";
  auto read = schema::deserialize(R"({"nodes":{},"relationships":{},"result":)" + json + "}");
  return read.ok() ? "" : read.error().display();
}

// Every text of the result that a caller reads as a message.
std::vector<std::string> messages(const PyValidationResult& result) {
  std::vector<std::string> out;
  for (const auto& list : {result.errors(), result.syntax_errors(), result.semantic_errors(),
                           result.warnings()}) {
    out.insert(out.end(), list.begin(), list.end());
  }
  for (const diagnostics::ValidationDiagnostic& diagnostic : result.diagnostics) {
    out.push_back(diagnostic.message);
    if (diagnostic.suggestion) out.push_back(diagnostic.suggestion->description);
  }
  return out;
}

std::string repeat(std::string_view piece, std::size_t count) {
  std::string out;
  out.reserve(piece.size() * count);
  for (std::size_t i = 0; i < count; ++i) out += piece;
  return out;
}

TEST(HostileInput, LimitsGiveOneParseErrorWhereTheyFell) {
  const std::string lines(parser::kMaxQueryBytes - 8, '\n');
  struct Row {
    std::string name;
    std::string query;
    std::string message;  // how the parse error's message ends
    std::uint32_t line;
    std::uint32_t least_column;  // the column is at least this, and below the query's length
  };
  const Row rows[] = {
      {"pairs", "RETURN [1" + repeat(",1", 4 << 20) + "]", "= query too large to recognize", 1,
       10},
      {"length", "RETURN 1" + lines + "x",
       "= query longer than " + std::to_string(parser::kMaxQueryBytes) + " bytes",
       static_cast<std::uint32_t>(lines.size()) + 1, 1},
  };
  const Morvane morvane(schema_from_json(kPipelineSchema));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const PyValidationResult result = morvane.validate(row.query);
    EXPECT_FALSE(result.is_valid);
    ASSERT_EQ(result.diagnostics.size(), 1u);
    const diagnostics::ValidationDiagnostic& error = result.diagnostics[0];
    EXPECT_EQ(error.code, diagnostics::DiagnosticCode::ParseError);
    EXPECT_TRUE(error.message.ends_with(row.message)) << error.message.substr(0, 200);
    ASSERT_TRUE(error.position.has_value());
    EXPECT_EQ(error.position->line, row.line);
    EXPECT_GE(error.position->column, row.least_column);
    EXPECT_LT(error.position->column, row.query.size());
    EXPECT_EQ(json_error(to_json(result)), "");
  }
}

TEST(HostileInput, InvalidUtf8IsEscapedInEveryText) {
  // A label a byte away from Person gets a suggestion.
  constexpr std::string_view kSchema =
      R"({"nodes":{"Person":["name"],"Movie":[]},)"
      R"("relationships":{"KNOWS":["Person","Person",["since"]]}})";
  struct Row {
    std::string query;
    std::string echo;  // must stand in the JSON text, as JSON writes it
  };
  const Row rows[] = {
      {"MATCH (n:`A\xff" "B`) RETURN n", R"(Unknown node label: :`A\\x{ff}B`)"},
      {"MATCH (n:`\xc0\xaf\xed\xa0\x80`) RETURN n",
       R"(:`\\x{c0}\\x{af}\\x{ed}\\x{a0}\\x{80}`)"},
      {"MATCH (n:Person) SET n:`A\xff` REMOVE n:`B\xff`",
       R"(Unknown node label in REMOVE: :`B\\x{ff}`)"},
      {"MATCH (:Person)-[:`T\xff`]->(:Person) RETURN 1",
       R"(Unknown relationship type: :`T\\x{ff}`)"},
      {"MATCH (:Movie:`X\xff`)-[:KNOWS]->(:Person) RETURN 1",
       R"(but node has label(s): :Movie, :`X\\x{ff}`)"},
      {"MATCH (n:Person {`a\xff`: 1}) RETURN n", R"(Unknown property '`a\\x{ff}`' for node)"},
      {"MATCH (n:Person) RETURN n.`a\xff`", R"(Unknown property '`a\\x{ff}`' on variable 'n')"},
      {"MATCH ()-[r:KNOWS]->() RETURN r.`s\xff`", R"(Unknown property '`s\\x{ff}`' on variable)"},
      {"MATCH (`n\xff`:Person) RETURN `n\xff`.b", R"(on variable '`n\\x{ff}`' with label)"},
      {"RETURN `v\xff`", R"(Variable '`v\\x{ff}`' is not bound)"},
      {"RETURN 1 AS `a\xff`, 2 AS `a\xff`", R"(Duplicate projection name '`a\\x{ff}`')"},
      {"RETURN `ns\xff`.f(1)", R"(Unknown function `ns\\x{ff}`.f())"},
      {"MATCH (n:`Perso\xff`) RETURN n",
       R"("suggestion_description":"Replace :`Perso\\x{ff}` with :`Person`",)"
       R"("suggestion_original":":`Perso\\x{ff}`")"},
      {"MATCH (n:Persn) WHERE n.name = '\xff' RETURN n",
       R"("fixed_query":"MATCH (n:Person) WHERE n.name = '\\x{ff}' RETURN n")"},
      // Syntax errors show the line of the error: a string, a comment, a character cut short.
      {"RETURN '\xff' +", R"(1 | RETURN '\\x{ff}' +\n  |                  ^---)"},
      {"RETURN 1 /* \xe2\x82 */ +", R"(1 | RETURN 1 /* \\x{e2}\\x{82} */ +\n)"},
      {"RETURN 1 +\xe2\x82", R"(1 | RETURN 1 +\\x{e2}\\x{82}\n  |           ^---)"},
      {"RETURN \x80 1", R"(1 | RETURN \\x{80} 1\n  |        ^---)"},
      // Valid UTF-8 is written as it is.
      {"MATCH (n:`\xc3\x84`) RETURN n", "Unknown node label: :`\xc3\x84`"},
      {"RETURN '\xe2\x82\xac' +",
       "1 | RETURN '\xe2\x82\xac' +\\n  | " + std::string(12, ' ') + "^---"},
  };
  const Morvane morvane(schema_from_json(kSchema));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.query);
    const PyValidationResult result = morvane.validate(row.query);
    for (const std::string& message : messages(result)) {
      EXPECT_TRUE(is_strict_utf8(message)) << message;
    }
    const std::string json = to_json(result);
    EXPECT_EQ(json_error(json), "") << json;
    EXPECT_NE(json.find(row.echo), std::string::npos) << json;
  }
}

// Exactly the bytes that schema::debug_quote shows as \x{hex}: those that begin no well-formed
// sequence, one at a time.
TEST(HostileInput, InvalidBytesAreEscapedAsDebugQuoteEscapesThem) {
  struct Row {
    std::string_view text;
    std::string_view escaped;
  };
  const Row rows[] = {
      {"plain", "plain"},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
      {"\xff", R"(\x{ff})"},
      {"a\x80z", R"(a\x{80}z)"},
      {"\xc0\xaf", R"(\x{c0}\x{af})"},                       // overlong "/"
      {"\xe0\x80\xaf", R"(\x{e0}\x{80}\x{af})"},             // overlong, three bytes
      {"\xed\xa0\x80", R"(\x{ed}\x{a0}\x{80})"},             // surrogate
      {"\xf4\x90\x80\x80", R"(\x{f4}\x{90}\x{80}\x{80})"},   // above U+10FFFF
      {"\xf5\x80\x80\x80", R"(\x{f5}\x{80}\x{80}\x{80})"},
      {"\xe2\x82z", R"(\x{e2}\x{82}z)"},                     // cut short
      {"\xf0\x9f\x98", R"(\x{f0}\x{9f}\x{98})"},             // cut short at the end
      {"\xc3\xa9\xc3", "\xc3\xa9\\x{c3}"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(escape_invalid_utf8(row.text), row.escaped) << row.text;
    EXPECT_EQ(schema::debug_quote(row.text), "\"" + std::string(row.escaped) + "\"") << row.text;
  }
}

}  // namespace
}  // namespace morvane::validator::testing
