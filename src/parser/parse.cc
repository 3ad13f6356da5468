#include "parser/parse.h"

#include <cstddef>

#include "parser/builder.h"

namespace morvane::parser {

namespace {

constexpr const char* kNoParseResult = "No parse result";

// What a thread's recognizer may keep between parses. Ordinary queries need a few KiB; the
// buffers a rare large query grew are given back rather than kept for the thread's life.
constexpr std::size_t kKeptRecognizerBytes = std::size_t{1} << 20;

// Runs `parse` with the calling thread's recognizer, whose buffers are reused from one call to
// the next.
template <typename Parse>
auto with_thread_recognizer(Parse parse) {
  thread_local Recognizer recognizer;
  auto result = parse(recognizer);
  if (recognizer.retained_bytes() > kKeptRecognizerBytes) recognizer = Recognizer();
  return result;
}

}  // namespace

Result<ast::CypherQuery, CypherError> parse(std::string_view query) {
  return with_thread_recognizer(
      [query](Recognizer& recognizer) { return parse(query, recognizer); });
}

Result<ast::CypherQuery, ParseErrorDetail> parse_with_detail(std::string_view query) {
  return with_thread_recognizer(
      [query](Recognizer& recognizer) { return parse_with_detail(query, recognizer); });
}

Result<ast::CypherQuery, CypherError> parse(std::string_view query, Recognizer& recognizer) {
  if (!recognizer.parse(query, Rule::cypher)) {
    return Err{CypherError::Parse(recognizer.error().display)};
  }
  if (recognizer.pairs().empty()) return Err{CypherError::Parse(kNoParseResult)};
  return builder::build_query(query, recognizer.pairs(), 0);
}

Result<ast::CypherQuery, ParseErrorDetail> parse_with_detail(std::string_view query,
                                                             Recognizer& recognizer) {
  if (!recognizer.parse(query, Rule::cypher)) {
    const SyntaxError& error = recognizer.error();
    return Err{ParseErrorDetail{error.display, ParseErrorDetail::Position{error.line, error.column}}};
  }
  if (recognizer.pairs().empty()) return Err{ParseErrorDetail{kNoParseResult, std::nullopt}};
  builder::Builder builder(query, recognizer.pairs());
  if (builder.build_query(0)) return builder.take_query();
  // The nesting error reads as the recognizer's own, position included.
  if (const SyntaxError* deep = builder.too_deep()) {
    return Err{ParseErrorDetail{deep->display,
                                ParseErrorDetail::Position{deep->line, deep->column}}};
  }
  return Err{ParseErrorDetail{builder.take_error().display(), std::nullopt}};
}

}  // namespace morvane::parser
