#include "parser/parse.h"

#include <cstddef>

#include "parser/builder.h"

namespace morvane::parser {

namespace {

constexpr const char* kNoParseResult = "No parse result";

// What a recognizer kept from call to call may hold between parses. Ordinary queries need a
// few KiB; the buffers a rare large query grew are given back rather than kept.
constexpr std::size_t kKeptRecognizerBytes = std::size_t{1} << 20;

void trim(Recognizer& recognizer) {
  if (recognizer.retained_bytes() > kKeptRecognizerBytes) recognizer = Recognizer();
}

// The tree of a recognized query, or the builder's failure; a nesting error reads as the
// recognizer's own, position included.
Result<ast::CypherQuery, ParseErrorDetail> build_with_detail(std::string_view query,
                                                             std::span<const Pair> pairs) {
  builder::Builder builder(query, pairs);
  if (builder.build_query(0)) return builder.take_query();
  if (const SyntaxError* deep = builder.too_deep()) {
    return Err{ParseErrorDetail{deep->display,
                                ParseErrorDetail::Position{deep->line, deep->column}}};
  }
  return Err{ParseErrorDetail{builder.take_error().display(), std::nullopt}};
}

}  // namespace

Result<ast::CypherQuery, CypherError> parse(std::string_view query) {
  Recognizer recognizer;
  return parse(query, recognizer);
}

Result<ast::CypherQuery, ParseErrorDetail> parse_with_detail(std::string_view query) {
  Recognizer recognizer;
  return parse_with_detail(query, recognizer);
}

Result<ast::CypherQuery, CypherError> parse(std::string_view query, Recognizer& recognizer) {
  if (!recognizer.parse(query, Rule::cypher)) {
    Err failure{CypherError::Parse(recognizer.error().display)};
    trim(recognizer);
    return failure;
  }
  if (recognizer.pairs().empty()) return Err{CypherError::Parse(kNoParseResult)};
  Result<ast::CypherQuery, CypherError> built = builder::build_query(query, recognizer.pairs(), 0);
  trim(recognizer);
  return built;
}

Result<ast::CypherQuery, ParseErrorDetail> parse_with_detail(std::string_view query,
                                                             Recognizer& recognizer) {
  if (!recognizer.parse(query, Rule::cypher)) {
    const SyntaxError& error = recognizer.error();
    Err failure{
        ParseErrorDetail{error.display, ParseErrorDetail::Position{error.line, error.column}}};
    trim(recognizer);
    return failure;
  }
  if (recognizer.pairs().empty()) return Err{ParseErrorDetail{kNoParseResult, std::nullopt}};
  Result<ast::CypherQuery, ParseErrorDetail> built = build_with_detail(query, recognizer.pairs());
  trim(recognizer);
  return built;
}

}  // namespace morvane::parser
