#include "parser/builder.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "parser/rule.h"
#include "parser/syntax_error.h"

namespace morvane::parser::builder {

namespace {

// Tree offsets are 32-bit and kAbsent is reserved; a tree that would outgrow them cannot be
// represented, which is reported like any other exhausted memory.
constexpr std::size_t kMaxStore = ast::kAbsent - 1;

// The message text of each guard, by Guard value.
constexpr std::string_view kGuardTexts[] = {
#define MORVANE_GUARD(name, text) text,
#include "parser/builder_guards.def"
};

}  // namespace

Result<ast::CypherQuery, CypherError> build_query(std::string_view input,
                                                  std::span<const Pair> tape, std::uint32_t root) {
  Builder builder(input, tape);
  if (!builder.build_query(root)) return Err{builder.take_error()};
  return builder.take_query();
}

Builder::Builder(std::string_view input, std::span<const Pair> tape)
    : input_(input), tape_(tape) {
  // Most queries need a few bytes of tree per pair plus their names; one buffer of that size
  // usually holds the whole tree.
  query_.store_.resize(std::min(kMaxStore, 64 + input.size() + 8 * tape.size()));
  pending_.reserve(64);
}

ast::CypherQuery Builder::take_query() {
  query_.store_.resize(used_);
  return std::move(query_);
}

CypherError Builder::take_error() {
  assert(error_.has_value());
  return std::move(*error_);
}

std::uint32_t Builder::find_child(std::uint32_t pair, Rule wanted) const {
  for (const std::uint32_t c : children(pair)) {
    if (rule(c) == wanted) return c;
  }
  return kNoPair;
}

void Builder::grow(std::size_t needed) {
  if (needed > kMaxStore) throw std::bad_alloc();
  auto& store = query_.store_;
  store.resize(std::min(kMaxStore, std::max(needed, 2 * store.size())));
}

ast::Str Builder::copy_text(std::string_view text) {
  assert(text.data() >= input_.data() &&
         text.data() + text.size() <= input_.data() + input_.size());
  const auto begin = static_cast<std::uint32_t>(text.data() - input_.data());
  const std::uint32_t at = allocate(sizeof begin + text.size(), 1) + sizeof begin;
  std::byte* store = query_.store_.data();
  std::memcpy(store + at - sizeof begin, &begin, sizeof begin);
  std::copy(text.begin(), text.end(), reinterpret_cast<char*>(store + at));
  return {at, static_cast<std::uint32_t>(text.size())};
}

ast::List<ast::Str> Builder::copy_child_texts(std::uint32_t pair, Rule wanted) {
  const auto texts = open_list<ast::Str>();
  for (const std::uint32_t c : children(pair)) {
    if (rule(c) == wanted) push(texts, add(copy_text(c)));
  }
  return take_list(texts);
}

ast::ExprId Builder::add_null(ast::Span span) {
  return add_expr(ast::Expr::make_empty(ast::ExprKind::Null, span));
}

bool Builder::fail(Guard guard, std::string_view detail) {
  std::string message(kGuardTexts[static_cast<std::size_t>(guard)]);
  message += detail;
  error_.emplace(CypherError::Parse(std::move(message)));
  return false;
}

bool Builder::fail_too_deep(std::uint32_t pair) {
  make_syntax_error(input_, tape_[pair].begin, SyntaxError::Kind::kTooDeep, {},
                    too_deep_.emplace());
  error_.emplace(CypherError::Parse(too_deep_->display));
  return false;
}

bool Builder::fail_rule(Guard guard, std::uint32_t pair) {
  return fail(guard, rule_name(rule(pair)));
}

}  // namespace morvane::parser::builder
