// The Cypher grammar: one function per rule, in the order of the Rule enumeration's groups,
// each with its grammar line above it. `~` is Seq, `|` is Choice, `?` `*` `+` are Opt, Star
// and Plus, `&` `!` are And and Not; ^"..." is ILit.
#include "parser/grammar.h"

#include <array>

#include "parser/engine.h"

namespace morvane::parser::grammar {

using namespace engine;

namespace {

// Forward declarations: rules refer to each other freely.
bool EOI(State&);
bool WHITESPACE(State&);
bool COMMENT(State&);
bool cypher(State&);
bool statement(State&);
bool regular_query(State&);
bool union_clause(State&);
bool single_query(State&);
bool single_part_query(State&);
bool multi_part_query(State&);
bool reading_clause(State&);
bool call_subquery(State&);
bool match_clause(State&);
bool unwind_clause(State&);
bool in_query_call(State&);
bool standalone_call(State&);
bool explicit_procedure_invocation(State&);
bool procedure_name(State&);
bool yield_items(State&);
bool yield_item(State&);
bool procedure_result_field(State&);
bool updating_clause(State&);
bool foreach_clause(State&);
bool create_clause(State&);
bool merge_clause(State&);
bool on_match_or_create(State&);
bool set_clause(State&);
bool set_item(State&);
bool remove_clause(State&);
bool remove_item(State&);
bool delete_clause(State&);
bool with_clause(State&);
bool return_clause(State&);
bool return_body(State&);
bool return_items(State&);
bool return_item(State&);
bool order_clause(State&);
bool sort_item(State&);
bool skip_clause(State&);
bool limit_clause(State&);
bool where_clause(State&);
bool pattern(State&);
bool pattern_part(State&);
bool pattern_element(State&);
bool node_pattern(State&);
bool node_labels(State&);
bool label_name(State&);
bool relationship_pattern(State&);
bool left_arrow(State&);
bool right_arrow(State&);
bool rel_types(State&);
bool rel_type_name(State&);
bool range_literal(State&);
bool properties(State&);
bool expression(State&);
bool or_kw(State&);
bool xor_kw(State&);
bool and_kw(State&);
bool not_kw(State&);
bool or_expr(State&);
bool xor_expr(State&);
bool and_expr(State&);
bool not_expr(State&);
bool comparison_expr(State&);
bool comparison_op(State&);
bool add_sub_expr(State&);
bool mul_div_expr(State&);
bool mod_expr(State&);
bool power_expr(State&);
bool unary_expr(State&);
bool postfix_expr(State&);
bool null_check_op(State&);
bool postfix_op(State&);
bool property_lookup(State&);
bool subscript_op(State&);
bool list_slice_op(State&);
bool atom(State&);
bool parenthesized_expr(State&);
bool count_star(State&);
bool function_invocation(State&);
bool function_name(State&);
bool namespace_(State&);
bool reduce_expression(State&);
bool shortest_path_call(State&);
bool case_expression(State&);
bool list_comprehension(State&);
bool filter_expression(State&);
bool id_in_coll(State&);
bool quantifier_expression(State&);
bool exists_subquery(State&);
bool pattern_comprehension(State&);
bool count_subquery(State&);
bool collect_subquery(State&);
bool literal(State&);
bool integer_literal(State&);
bool float_literal(State&);
bool string_literal(State&);
bool boolean_literal(State&);
bool null_literal(State&);
bool list_literal(State&);
bool map_literal(State&);
bool property_key_value_pair(State&);
bool property_key_name(State&);
bool property_expression(State&);
bool parameter(State&);
bool variable(State&);
bool identifier(State&);
bool backtick_identifier(State&);
bool keyword(State&);

// !(ASCII_ALPHANUMERIC | "_"): the word-boundary test after a keyword.
using WordChar = Choice<AsciiAlphanumeric, Lit<"_">>;
using Boundary = Not<WordChar>;
// (ASCII_ALPHA | "_") ~ (ASCII_ALPHANUMERIC | "_")*, the shape of a plain name (atomic use only).
using PlainName = Seq<Choice<AsciiAlpha, Lit<"_">>, Star<WordChar>>;

// --- Lexical rules ---------------------------------------------------------------------------

// EOI: succeeds only at the end of the input.
struct EndOfInput {
  static bool match(State& s) { return s.at_end(); }
  static constexpr FirstSet first() { return FirstSet::empty_match(); }
};
bool EOI(State& s) { return normal<Rule::EOI, EndOfInput>(s); }

// WHITESPACE = _{ " " | "\t" | "\r" | "\n" }
bool WHITESPACE(State& s) { return silent_atomic<Class<kWhitespace>>(s); }

// COMMENT = _{ "//" ~ (!"\n" ~ ANY)* ~ "\n"? | "/*" ~ (!"*/" ~ ANY)* ~ "*/" }
struct BlockCommentBody {  // (!"*/" ~ ANY)* ~ "*/", found by searching for "*/"
  static bool match(State& s) {
    std::string_view rest(s.here(), s.remaining());
    const std::size_t close = rest.find("*/");
    if (close == std::string_view::npos) return false;
    s.advance(static_cast<std::uint32_t>(close + 2));
    return true;
  }
  static constexpr FirstSet first() { return FirstSet::any(); }
};
using CommentBody = Choice<Seq<Lit<"//">, Until<'\n'>, Opt<Lit<"\n">>>,
                           Seq<Lit<"/*">, BlockCommentBody>>;
bool COMMENT(State& s) { return silent_atomic<CommentBody>(s); }

// identifier = @{ !keyword ~ (ASCII_ALPHA | "_") ~ (ASCII_ALPHANUMERIC | "_")* | backtick_identifier }
bool identifier(State& s) {
  return atomic<Rule::identifier,
                Choice<Seq<Not<R<keyword>>, PlainName>, R<backtick_identifier>>>(s);
}

// backtick_identifier = @{ "`" ~ (!"`" ~ ANY)* ~ "`" }
bool backtick_identifier(State& s) {
  return atomic<Rule::backtick_identifier, Seq<Lit<"`">, Until<'`'>, Lit<"`">>>(s);
}

// The reserved words, in the order `keyword` tries them. It commits to the first word whose
// letters match, so a word that another word begins (ASC after AS) is never reserved.
constexpr std::array<std::string_view, 56> kKeywords = {
    "ALL",      "AND",    "ANY",     "AS",       "ASC",      "ASCENDING", "BY",     "CALL",
    "CASE",     "CONTAINS", "COUNT", "CREATE",   "DELETE",   "DESC",      "DESCENDING",
    "DETACH",   "DISTINCT", "DO",    "DROP",     "ELSE",     "END",       "ENDS",   "EXISTS",
    "FALSE",    "FOREACH", "FOR",    "FROM",     "IN",       "IS",        "LIMIT",  "MATCH",
    "MERGE",    "NEW",    "NONE",    "NOT",      "NULL",     "ON",        "OPTIONAL", "OR",
    "ORDER",    "REDUCE", "REMOVE",  "RETURN",   "SET",      "SINGLE",    "SKIP",   "STARTS",
    "THEN",     "TRUE",   "UNION",   "UNWIND",   "WHEN",     "WHERE",     "WITH",   "XOR",
    "YIELD"};

// The keywords grouped by first letter, each group in list order, so a lookup tries only the
// words that can match.
struct KeywordIndex {
  std::array<std::uint8_t, 27> start{};  // group of letter i: order[start[i], start[i + 1])
  std::array<std::uint8_t, kKeywords.size()> order{};
};
constexpr KeywordIndex make_keyword_index() {
  KeywordIndex index;
  std::size_t n = 0;
  for (int letter = 0; letter < 26; ++letter) {
    index.start[letter] = static_cast<std::uint8_t>(n);
    for (std::size_t k = 0; k < kKeywords.size(); ++k) {
      if (kKeywords[k][0] == 'A' + letter) index.order[n++] = static_cast<std::uint8_t>(k);
    }
  }
  index.start[26] = static_cast<std::uint8_t>(n);
  return index;
}
constexpr KeywordIndex kKeywordIndex = make_keyword_index();
static_assert(kKeywordIndex.start[26] == kKeywords.size(), "every keyword starts with A-Z");

// (^"ALL" | ^"AND" | ... | ^"YIELD"): the first listed word whose letters match, in any case.
struct KeywordWord {
  static bool match(State& s) {
    if (s.at_end()) return false;
    const unsigned char first = s.peek() | 0x20;
    if (first < 'a' || first > 'z') return false;
    const int letter = first - 'a';
    for (int i = kKeywordIndex.start[letter]; i < kKeywordIndex.start[letter + 1]; ++i) {
      const std::string_view word = kKeywords[kKeywordIndex.order[i]];
      if (s.remaining() < word.size()) continue;
      const char* p = s.here();
      std::size_t j = 1;
      while (j < word.size() && (p[j] | 0x20) == (word[j] | 0x20)) ++j;
      if (j == word.size()) {
        s.advance(static_cast<std::uint32_t>(word.size()));
        return true;
      }
    }
    return false;
  }
  static constexpr FirstSet first() { return AsciiAlpha::first(); }
};

// keyword = { (^"ALL" | ^"AND" | ... | ^"YIELD") ~ !(ASCII_ALPHANUMERIC | "_") }
bool keyword(State& s) { return normal<Rule::keyword, Seq<KeywordWord, Boundary>>(s); }

// variable = @{ identifier }
bool variable(State& s) { return atomic<Rule::variable, R<identifier>>(s); }
// label_name = @{ identifier }
bool label_name(State& s) { return atomic<Rule::label_name, R<identifier>>(s); }
// rel_type_name = @{ identifier }
bool rel_type_name(State& s) { return atomic<Rule::rel_type_name, R<identifier>>(s); }
// property_key_name = @{ identifier }
bool property_key_name(State& s) { return atomic<Rule::property_key_name, R<identifier>>(s); }
// procedure_result_field = @{ identifier }
bool procedure_result_field(State& s) {
  return atomic<Rule::procedure_result_field, R<identifier>>(s);
}

// procedure_name = @{ identifier ~ ("." ~ identifier)* }
bool procedure_name(State& s) {
  return atomic<Rule::procedure_name,
                Seq<R<identifier>, Star<Seq<Lit<".">, R<identifier>>>>>(s);
}

// namespace = @{ (identifier ~ ".")+ }
bool namespace_(State& s) {
  return atomic<Rule::namespace_, Plus<Seq<R<identifier>, Lit<".">>>>(s);
}

// function_name = @{ namespace? ~ (ASCII_ALPHA | "_") ~ (ASCII_ALPHANUMERIC | "_")* }
bool function_name(State& s) {
  return atomic<Rule::function_name, Seq<Opt<R<namespace_>>, PlainName>>(s);
}

// parameter = @{ "$" ~ ((ASCII_ALPHA | "_") ~ (ASCII_ALPHANUMERIC | "_")* | ASCII_DIGIT+) }
bool parameter(State& s) {
  return atomic<Rule::parameter, Seq<Lit<"$">, Choice<PlainName, Plus<AsciiDigit>>>>(s);
}

// literal = { float_literal | integer_literal | string_literal | boolean_literal
//           | null_literal | list_literal | map_literal }
bool literal(State& s) {
  return normal<Rule::literal,
                Choice<R<float_literal>, R<integer_literal>, R<string_literal>,
                       R<boolean_literal>, R<null_literal>, R<list_literal>, R<map_literal>>>(s);
}

// integer_literal = @{ "0x" ~ ASCII_HEX_DIGIT+ | "0o" ~ ('0'..'7')+ | ASCII_DIGIT+ }
bool integer_literal(State& s) {
  return atomic<Rule::integer_literal,
                Choice<Seq<Lit<"0x">, Plus<AsciiHexDigit>>, Seq<Lit<"0o">, Plus<Class<kOctal>>>,
                       Plus<AsciiDigit>>>(s);
}

// float_literal = @{ ASCII_DIGIT+ ~ "." ~ ASCII_DIGIT* ~ (("e" | "E") ~ ("+" | "-")? ~ ASCII_DIGIT+)? }
bool float_literal(State& s) {
  return atomic<Rule::float_literal,
                Seq<Plus<AsciiDigit>, Lit<".">, Star<AsciiDigit>,
                    Opt<Seq<Choice<Lit<"e">, Lit<"E">>, Opt<Choice<Lit<"+">, Lit<"-">>>,
                            Plus<AsciiDigit>>>>>(s);
}

// string_literal = @{ "\"" ~ (!"\"" ~ ANY)* ~ "\"" | "'" ~ (!"'" ~ ANY)* ~ "'" }
bool string_literal(State& s) {
  return atomic<Rule::string_literal,
                Choice<Seq<Lit<"\"">, Until<'"'>, Lit<"\"">>,
                       Seq<Lit<"'">, Until<'\''>, Lit<"'">>>>(s);
}

// boolean_literal = { ^"TRUE" | ^"FALSE" }
bool boolean_literal(State& s) {
  return normal<Rule::boolean_literal, Choice<ILit<"TRUE">, ILit<"FALSE">>>(s);
}

// null_literal = { ^"NULL" }
bool null_literal(State& s) { return normal<Rule::null_literal, ILit<"NULL">>(s); }

// list_literal = { "[" ~ (expression ~ ("," ~ expression)*)? ~ "]" }
bool list_literal(State& s) {
  return normal<Rule::list_literal,
                Seq<Lit<"[">, Opt<Seq<R<expression>, Star<Seq<Lit<",">, R<expression>>>>>,
                    Lit<"]">>>(s);
}

// map_literal = { "{" ~ (property_key_value_pair ~ ("," ~ property_key_value_pair)*)? ~ "}" }
bool map_literal(State& s) {
  return normal<Rule::map_literal,
                Seq<Lit<"{">,
                    Opt<Seq<R<property_key_value_pair>,
                            Star<Seq<Lit<",">, R<property_key_value_pair>>>>>,
                    Lit<"}">>>(s);
}

// property_key_value_pair = { property_key_name ~ ":" ~ expression }
bool property_key_value_pair(State& s) {
  return normal<Rule::property_key_value_pair,
                Seq<R<property_key_name>, Lit<":">, R<expression>>>(s);
}

// --- Patterns --------------------------------------------------------------------------------

// pattern = { pattern_part ~ ("," ~ pattern_part)* }
bool pattern(State& s) {
  return normal<Rule::pattern, Seq<R<pattern_part>, Star<Seq<Lit<",">, R<pattern_part>>>>>(s);
}

// pattern_part = { (variable ~ "=")? ~ pattern_element }
bool pattern_part(State& s) {
  return normal<Rule::pattern_part,
                Seq<Opt<Seq<R<variable>, Lit<"=">>>, R<pattern_element>>>(s);
}

// pattern_element = { shortest_path_call | node_pattern ~ (relationship_pattern ~ node_pattern)* }
bool pattern_element(State& s) {
  return normal<Rule::pattern_element,
                Choice<R<shortest_path_call>,
                       Seq<R<node_pattern>,
                           Star<Seq<R<relationship_pattern>, R<node_pattern>>>>>>(s);
}

// node_pattern = { "(" ~ variable? ~ node_labels? ~ properties? ~ ")" }
bool node_pattern(State& s) {
  return normal<Rule::node_pattern,
                Seq<Lit<"(">, Opt<R<variable>>, Opt<R<node_labels>>, Opt<R<properties>>,
                    Lit<")">>>(s);
}

// node_labels = { (":" ~ label_name)+ }
bool node_labels(State& s) {
  return normal<Rule::node_labels, Plus<Seq<Lit<":">, R<label_name>>>>(s);
}

// relationship_pattern = { left_arrow? ~ ("-" ~ "[" ~ variable? ~ rel_types? ~ range_literal?
//                          ~ properties? ~ "]" ~ "-" | "--") ~ right_arrow? }
bool relationship_pattern(State& s) {
  return normal<Rule::relationship_pattern,
                Seq<Opt<R<left_arrow>>,
                    Choice<Seq<Lit<"-">, Lit<"[">, Opt<R<variable>>, Opt<R<rel_types>>,
                               Opt<R<range_literal>>, Opt<R<properties>>, Lit<"]">, Lit<"-">>,
                           Lit<"--">>,
                    Opt<R<right_arrow>>>>(s);
}

// left_arrow = { "<" }
bool left_arrow(State& s) { return normal<Rule::left_arrow, Lit<"<">>(s); }
// right_arrow = { ">" }
bool right_arrow(State& s) { return normal<Rule::right_arrow, Lit<">">>(s); }

// rel_types = { ":" ~ rel_type_name ~ ("|" ~ ":"? ~ rel_type_name)* }
bool rel_types(State& s) {
  return normal<Rule::rel_types,
                Seq<Lit<":">, R<rel_type_name>,
                    Star<Seq<Lit<"|">, Opt<Lit<":">>, R<rel_type_name>>>>>(s);
}

// range_literal = { "*" ~ (integer_literal ~ (".." ~ integer_literal?)?)? }
bool range_literal(State& s) {
  return normal<Rule::range_literal,
                Seq<Lit<"*">,
                    Opt<Seq<R<integer_literal>, Opt<Seq<Lit<"..">, Opt<R<integer_literal>>>>>>>>(
      s);
}

// properties = { map_literal | parameter }
bool properties(State& s) {
  return normal<Rule::properties, Choice<R<map_literal>, R<parameter>>>(s);
}

// --- Query structure and projections ---------------------------------------------------------

// cypher = { SOI ~ statement ~ ";"? ~ EOI }
bool cypher(State& s) {
  return normal<Rule::cypher, Seq<Soi, R<statement>, Opt<Lit<";">>, R<EOI>>>(s);
}

// statement = { regular_query | standalone_call }
bool statement(State& s) {
  return normal<Rule::statement, Choice<R<regular_query>, R<standalone_call>>>(s);
}

// regular_query = { single_query ~ union_clause* }
bool regular_query(State& s) {
  return normal<Rule::regular_query, Seq<R<single_query>, Star<R<union_clause>>>>(s);
}

// union_clause = { ^"UNION" ~ ^"ALL"? ~ single_query }
bool union_clause(State& s) {
  return normal<Rule::union_clause, Seq<ILit<"UNION">, Opt<ILit<"ALL">>, R<single_query>>>(s);
}

// single_query = { multi_part_query | single_part_query }
bool single_query(State& s) {
  return normal<Rule::single_query, Choice<R<multi_part_query>, R<single_part_query>>>(s);
}

// single_part_query = { reading_clause+ ~ updating_clause* ~ return_clause?
//                     | updating_clause+ ~ return_clause? | return_clause }
bool single_part_query(State& s) {
  return normal<Rule::single_part_query,
                Choice<Seq<Plus<R<reading_clause>>, Star<R<updating_clause>>,
                           Opt<R<return_clause>>>,
                       Seq<Plus<R<updating_clause>>, Opt<R<return_clause>>>, R<return_clause>>>(
      s);
}

// multi_part_query = { (reading_clause* ~ updating_clause* ~ with_clause)+ ~ reading_clause*
//                    ~ updating_clause* ~ return_clause? }
bool multi_part_query(State& s) {
  return normal<Rule::multi_part_query,
                Seq<Plus<Seq<Star<R<reading_clause>>, Star<R<updating_clause>>, R<with_clause>>>,
                    Star<R<reading_clause>>, Star<R<updating_clause>>, Opt<R<return_clause>>>>(
      s);
}

// with_clause = { ^"WITH" ~ ^"DISTINCT"? ~ return_body ~ where_clause? }
bool with_clause(State& s) {
  return normal<Rule::with_clause,
                Seq<ILit<"WITH">, Opt<ILit<"DISTINCT">>, R<return_body>, Opt<R<where_clause>>>>(
      s);
}

// return_clause = { ^"RETURN" ~ ^"DISTINCT"? ~ return_body }
bool return_clause(State& s) {
  return normal<Rule::return_clause,
                Seq<ILit<"RETURN">, Opt<ILit<"DISTINCT">>, R<return_body>>>(s);
}

// return_body = { return_items ~ order_clause? ~ skip_clause? ~ limit_clause? }
bool return_body(State& s) {
  return normal<Rule::return_body,
                Seq<R<return_items>, Opt<R<order_clause>>, Opt<R<skip_clause>>,
                    Opt<R<limit_clause>>>>(s);
}

// return_items = { "*" | return_item ~ ("," ~ return_item)* }
bool return_items(State& s) {
  return normal<Rule::return_items,
                Choice<Lit<"*">, Seq<R<return_item>, Star<Seq<Lit<",">, R<return_item>>>>>>(s);
}

// return_item = { expression ~ (^"AS" ~ variable)? }
bool return_item(State& s) {
  return normal<Rule::return_item, Seq<R<expression>, Opt<Seq<ILit<"AS">, R<variable>>>>>(s);
}

// order_clause = { ^"ORDER" ~ ^"BY" ~ sort_item ~ ("," ~ sort_item)* }
bool order_clause(State& s) {
  return normal<Rule::order_clause,
                Seq<ILit<"ORDER">, ILit<"BY">, R<sort_item>, Star<Seq<Lit<",">, R<sort_item>>>>>(
      s);
}

// sort_item = { expression ~ (^"ASCENDING" | ^"ASC" | ^"DESCENDING" | ^"DESC")? }
bool sort_item(State& s) {
  return normal<Rule::sort_item,
                Seq<R<expression>, Opt<Choice<ILit<"ASCENDING">, ILit<"ASC">,
                                              ILit<"DESCENDING">, ILit<"DESC">>>>>(s);
}

// skip_clause = { ^"SKIP" ~ expression }
bool skip_clause(State& s) {
  return normal<Rule::skip_clause, Seq<ILit<"SKIP">, R<expression>>>(s);
}

// limit_clause = { ^"LIMIT" ~ expression }
bool limit_clause(State& s) {
  return normal<Rule::limit_clause, Seq<ILit<"LIMIT">, R<expression>>>(s);
}

// where_clause = { ^"WHERE" ~ expression }
bool where_clause(State& s) {
  return normal<Rule::where_clause, Seq<ILit<"WHERE">, R<expression>>>(s);
}

// --- Operator expressions --------------------------------------------------------------------

// expression = { or_expr }
bool expression(State& s) { return normal<Rule::expression, R<or_expr>>(s); }

// or_kw = @{ ^"OR" ~ !(ASCII_ALPHANUMERIC | "_") }
bool or_kw(State& s) { return atomic<Rule::or_kw, Seq<ILit<"OR">, Boundary>>(s); }
// xor_kw = @{ ^"XOR" ~ !(ASCII_ALPHANUMERIC | "_") }
bool xor_kw(State& s) { return atomic<Rule::xor_kw, Seq<ILit<"XOR">, Boundary>>(s); }
// and_kw = @{ ^"AND" ~ !(ASCII_ALPHANUMERIC | "_") }
bool and_kw(State& s) { return atomic<Rule::and_kw, Seq<ILit<"AND">, Boundary>>(s); }
// not_kw = @{ ^"NOT" ~ !(ASCII_ALPHANUMERIC | "_") }
bool not_kw(State& s) { return atomic<Rule::not_kw, Seq<ILit<"NOT">, Boundary>>(s); }

// or_expr = { xor_expr ~ (or_kw ~ xor_expr)* }
bool or_expr(State& s) {
  return normal<Rule::or_expr, Seq<R<xor_expr>, Star<Seq<R<or_kw>, R<xor_expr>>>>>(s);
}
// xor_expr = { and_expr ~ (xor_kw ~ and_expr)* }
bool xor_expr(State& s) {
  return normal<Rule::xor_expr, Seq<R<and_expr>, Star<Seq<R<xor_kw>, R<and_expr>>>>>(s);
}
// and_expr = { not_expr ~ (and_kw ~ not_expr)* }
bool and_expr(State& s) {
  return normal<Rule::and_expr, Seq<R<not_expr>, Star<Seq<R<and_kw>, R<not_expr>>>>>(s);
}
// not_expr = { not_kw* ~ comparison_expr }
bool not_expr(State& s) {
  return normal<Rule::not_expr, Seq<Star<R<not_kw>>, R<comparison_expr>>>(s);
}

// comparison_expr = { add_sub_expr ~ (comparison_op ~ add_sub_expr)* }
bool comparison_expr(State& s) {
  return normal<Rule::comparison_expr,
                Seq<R<add_sub_expr>, Star<Seq<R<comparison_op>, R<add_sub_expr>>>>>(s);
}

// The boundary test directly after a keyword operator, with no skip before it: a sequence of
// two elements with no `~` between them.
template <class Word>
struct Tight {
  static bool match(State& s) {
    const Mark m = s.mark();
    if (Word::match(s) && Boundary::match(s)) return true;
    s.reset(m);
    return false;
  }
  static constexpr FirstSet first() { return Word::first(); }
};

// comparison_op = { "<=" | ">=" | "<>" | "<" | ">" | "=~" | "="
//                 | ^"IN" ~ !(ASCII_ALPHANUMERIC | "_")
//                 | ^"STARTS" ~ ^"WITH" ~ !(ASCII_ALPHANUMERIC | "_")
//                 | ^"ENDS" ~ ^"WITH" ~ !(ASCII_ALPHANUMERIC | "_")
//                 | ^"CONTAINS" ~ !(ASCII_ALPHANUMERIC | "_") }
// (no skip stands between a keyword and its boundary test)
bool comparison_op(State& s) {
  return normal<Rule::comparison_op,
                Choice<Lit<"<=">, Lit<">=">, Lit<"<>">, Lit<"<">, Lit<">">, Lit<"=~">, Lit<"=">,
                       Tight<ILit<"IN">>, Seq<ILit<"STARTS">, Tight<ILit<"WITH">>>,
                       Seq<ILit<"ENDS">, Tight<ILit<"WITH">>>, Tight<ILit<"CONTAINS">>>>(s);
}

// add_sub_expr = { mul_div_expr ~ (("+" | "-") ~ mul_div_expr)* }
bool add_sub_expr(State& s) {
  return normal<Rule::add_sub_expr,
                Seq<R<mul_div_expr>, Star<Seq<Choice<Lit<"+">, Lit<"-">>, R<mul_div_expr>>>>>(s);
}
// mul_div_expr = { mod_expr ~ (("*" | "/") ~ mod_expr)* }
bool mul_div_expr(State& s) {
  return normal<Rule::mul_div_expr,
                Seq<R<mod_expr>, Star<Seq<Choice<Lit<"*">, Lit<"/">>, R<mod_expr>>>>>(s);
}
// mod_expr = { power_expr ~ ("%" ~ power_expr)* }
bool mod_expr(State& s) {
  return normal<Rule::mod_expr, Seq<R<power_expr>, Star<Seq<Lit<"%">, R<power_expr>>>>>(s);
}
// power_expr = { unary_expr ~ ("^" ~ unary_expr)* }
bool power_expr(State& s) {
  return normal<Rule::power_expr, Seq<R<unary_expr>, Star<Seq<Lit<"^">, R<unary_expr>>>>>(s);
}
// unary_expr = { "-"? ~ postfix_expr }
bool unary_expr(State& s) {
  return normal<Rule::unary_expr, Seq<Opt<Lit<"-">>, R<postfix_expr>>>(s);
}
// postfix_expr = { atom ~ postfix_op* }
bool postfix_expr(State& s) {
  return normal<Rule::postfix_expr, Seq<R<atom>, Star<R<postfix_op>>>>(s);
}

// null_check_op = @{ ^"IS" ~ WHITESPACE+ ~ (^"NOT" ~ WHITESPACE+ ~ ^"NULL" ~ !(ASCII_ALPHANUMERIC | "_")
//                  | ^"NULL" ~ !(ASCII_ALPHANUMERIC | "_")) }
bool null_check_op(State& s) {
  using Spaces = Plus<R<WHITESPACE>>;
  return atomic<Rule::null_check_op,
                Seq<ILit<"IS">, Spaces,
                    Choice<Seq<ILit<"NOT">, Spaces, ILit<"NULL">, Boundary>,
                           Seq<ILit<"NULL">, Boundary>>>>(s);
}

// postfix_op = { null_check_op | property_lookup | subscript_op | list_slice_op }
bool postfix_op(State& s) {
  return normal<Rule::postfix_op,
                Choice<R<null_check_op>, R<property_lookup>, R<subscript_op>, R<list_slice_op>>>(
      s);
}

// property_lookup = { "." ~ property_key_name }
bool property_lookup(State& s) {
  return normal<Rule::property_lookup, Seq<Lit<".">, R<property_key_name>>>(s);
}
// subscript_op = { "[" ~ expression ~ "]" }
bool subscript_op(State& s) {
  return normal<Rule::subscript_op, Seq<Lit<"[">, R<expression>, Lit<"]">>>(s);
}
// list_slice_op = { "[" ~ expression? ~ ".." ~ expression? ~ "]" }
bool list_slice_op(State& s) {
  return normal<Rule::list_slice_op,
                Seq<Lit<"[">, Opt<R<expression>>, Lit<"..">, Opt<R<expression>>, Lit<"]">>>(s);
}

// --- Atoms -----------------------------------------------------------------------------------

// atom = { reduce_expression | shortest_path_call | list_comprehension | literal | parameter
//        | case_expression | pattern_comprehension | quantifier_expression | exists_subquery
//        | count_subquery | collect_subquery | count_star | function_invocation | variable
//        | parenthesized_expr }
bool atom(State& s) {
  return normal<Rule::atom,
                Choice<R<reduce_expression>, R<shortest_path_call>, R<list_comprehension>,
                       R<literal>, R<parameter>, R<case_expression>, R<pattern_comprehension>,
                       R<quantifier_expression>, R<exists_subquery>, R<count_subquery>,
                       R<collect_subquery>, R<count_star>, R<function_invocation>, R<variable>,
                       R<parenthesized_expr>>>(s);
}

// parenthesized_expr = { "(" ~ expression ~ ")" }
bool parenthesized_expr(State& s) {
  return normal<Rule::parenthesized_expr, Seq<Lit<"(">, R<expression>, Lit<")">>>(s);
}

// count_star = { ^"COUNT" ~ "(" ~ "*" ~ ")" }
bool count_star(State& s) {
  return normal<Rule::count_star, Seq<ILit<"COUNT">, Lit<"(">, Lit<"*">, Lit<")">>>(s);
}

// function_invocation = { function_name ~ "(" ~ ^"DISTINCT"? ~ (expression ~ ("," ~ expression)*)? ~ ")" }
bool function_invocation(State& s) {
  return normal<Rule::function_invocation,
                Seq<R<function_name>, Lit<"(">, Opt<ILit<"DISTINCT">>,
                    Opt<Seq<R<expression>, Star<Seq<Lit<",">, R<expression>>>>>, Lit<")">>>(s);
}

// reduce_expression = { ^"REDUCE" ~ "(" ~ variable ~ "=" ~ expression ~ "," ~ variable ~ ^"IN"
//                     ~ expression ~ "|" ~ expression ~ ")" }
bool reduce_expression(State& s) {
  return normal<Rule::reduce_expression,
                Seq<ILit<"REDUCE">, Lit<"(">, R<variable>, Lit<"=">, R<expression>, Lit<",">,
                    R<variable>, ILit<"IN">, R<expression>, Lit<"|">, R<expression>, Lit<")">>>(
      s);
}

// shortest_path_call = { (^"allShortestPaths" | ^"shortestPath") ~ "(" ~ node_pattern
//                      ~ (relationship_pattern ~ node_pattern)* ~ ")" }
bool shortest_path_call(State& s) {
  return normal<Rule::shortest_path_call,
                Seq<Choice<ILit<"allShortestPaths">, ILit<"shortestPath">>, Lit<"(">,
                    R<node_pattern>, Star<Seq<R<relationship_pattern>, R<node_pattern>>>,
                    Lit<")">>>(s);
}

// case_expression = { ^"CASE" ~ expression? ~ (^"WHEN" ~ expression ~ ^"THEN" ~ expression)+
//                   ~ (^"ELSE" ~ expression)? ~ ^"END" }
bool case_expression(State& s) {
  return normal<Rule::case_expression,
                Seq<ILit<"CASE">, Opt<R<expression>>,
                    Plus<Seq<ILit<"WHEN">, R<expression>, ILit<"THEN">, R<expression>>>,
                    Opt<Seq<ILit<"ELSE">, R<expression>>>, ILit<"END">>>(s);
}

// list_comprehension = { "[" ~ filter_expression ~ ("|" ~ expression)? ~ "]" }
bool list_comprehension(State& s) {
  return normal<Rule::list_comprehension,
                Seq<Lit<"[">, R<filter_expression>, Opt<Seq<Lit<"|">, R<expression>>>,
                    Lit<"]">>>(s);
}

// filter_expression = { id_in_coll ~ (^"WHERE" ~ expression)? }
bool filter_expression(State& s) {
  return normal<Rule::filter_expression,
                Seq<R<id_in_coll>, Opt<Seq<ILit<"WHERE">, R<expression>>>>>(s);
}

// id_in_coll = { variable ~ ^"IN" ~ expression }
bool id_in_coll(State& s) {
  return normal<Rule::id_in_coll, Seq<R<variable>, ILit<"IN">, R<expression>>>(s);
}

// quantifier_expression = { (^"ALL" | ^"ANY" | ^"NONE" | ^"SINGLE") ~ "(" ~ filter_expression ~ ")" }
bool quantifier_expression(State& s) {
  return normal<Rule::quantifier_expression,
                Seq<Choice<ILit<"ALL">, ILit<"ANY">, ILit<"NONE">, ILit<"SINGLE">>, Lit<"(">,
                    R<filter_expression>, Lit<")">>>(s);
}

// exists_subquery = { ^"EXISTS" ~ "{" ~ pattern ~ "}" }
bool exists_subquery(State& s) {
  return normal<Rule::exists_subquery, Seq<ILit<"EXISTS">, Lit<"{">, R<pattern>, Lit<"}">>>(s);
}

// pattern_comprehension = { "[" ~ pattern_element ~ (^"WHERE" ~ expression)? ~ "|" ~ expression ~ "]" }
bool pattern_comprehension(State& s) {
  return normal<Rule::pattern_comprehension,
                Seq<Lit<"[">, R<pattern_element>, Opt<Seq<ILit<"WHERE">, R<expression>>>,
                    Lit<"|">, R<expression>, Lit<"]">>>(s);
}

// count_subquery = { ^"COUNT" ~ "{" ~ regular_query ~ "}" }
bool count_subquery(State& s) {
  return normal<Rule::count_subquery,
                Seq<ILit<"COUNT">, Lit<"{">, R<regular_query>, Lit<"}">>>(s);
}

// collect_subquery = { ^"COLLECT" ~ "{" ~ regular_query ~ "}" }
bool collect_subquery(State& s) {
  return normal<Rule::collect_subquery,
                Seq<ILit<"COLLECT">, Lit<"{">, R<regular_query>, Lit<"}">>>(s);
}

// --- Reading and updating clauses ------------------------------------------------------------

// A rule that single_query tries twice at the same place (once inside multi_part_query, once
// inside single_part_query): its result is kept and reused when the memo is on.
template <Rule Name, RuleFn Fn>
bool memoized(State& s) {
  Memo* memo = s.memo();
  if (memo == nullptr || s.atomic() || s.lookahead() != Lookahead::kNone) return Fn(s);
  return memo->call(s, Name, Fn);
}

// reading_clause = { match_clause | unwind_clause | call_subquery | in_query_call }
bool reading_clause_body(State& s) {
  return normal<Rule::reading_clause,
                Choice<R<match_clause>, R<unwind_clause>, R<call_subquery>, R<in_query_call>>>(s);
}
bool reading_clause(State& s) { return memoized<Rule::reading_clause, reading_clause_body>(s); }

// call_subquery = { ^"CALL" ~ "{" ~ regular_query ~ "}" }
bool call_subquery(State& s) {
  return normal<Rule::call_subquery, Seq<ILit<"CALL">, Lit<"{">, R<regular_query>, Lit<"}">>>(s);
}

// match_clause = { ^"OPTIONAL"? ~ ^"MATCH" ~ pattern ~ where_clause? }
bool match_clause(State& s) {
  return normal<Rule::match_clause,
                Seq<Opt<ILit<"OPTIONAL">>, ILit<"MATCH">, R<pattern>, Opt<R<where_clause>>>>(s);
}

// unwind_clause = { ^"UNWIND" ~ expression ~ ^"AS" ~ variable }
bool unwind_clause(State& s) {
  return normal<Rule::unwind_clause, Seq<ILit<"UNWIND">, R<expression>, ILit<"AS">, R<variable>>>(
      s);
}

// in_query_call = { ^"CALL" ~ explicit_procedure_invocation ~ (^"YIELD" ~ yield_items)? }
bool in_query_call(State& s) {
  return normal<Rule::in_query_call,
                Seq<ILit<"CALL">, R<explicit_procedure_invocation>,
                    Opt<Seq<ILit<"YIELD">, R<yield_items>>>>>(s);
}

// standalone_call = { ^"CALL" ~ explicit_procedure_invocation ~ (^"YIELD" ~ yield_items)? }
bool standalone_call(State& s) {
  return normal<Rule::standalone_call,
                Seq<ILit<"CALL">, R<explicit_procedure_invocation>,
                    Opt<Seq<ILit<"YIELD">, R<yield_items>>>>>(s);
}

// explicit_procedure_invocation = { procedure_name ~ "(" ~ (expression ~ ("," ~ expression)*)? ~ ")" }
bool explicit_procedure_invocation(State& s) {
  return normal<Rule::explicit_procedure_invocation,
                Seq<R<procedure_name>, Lit<"(">,
                    Opt<Seq<R<expression>, Star<Seq<Lit<",">, R<expression>>>>>, Lit<")">>>(s);
}

// yield_items = { yield_item ~ ("," ~ yield_item)* }
bool yield_items(State& s) {
  return normal<Rule::yield_items, Seq<R<yield_item>, Star<Seq<Lit<",">, R<yield_item>>>>>(s);
}

// yield_item = { (procedure_result_field ~ ^"AS")? ~ variable }
bool yield_item(State& s) {
  return normal<Rule::yield_item,
                Seq<Opt<Seq<R<procedure_result_field>, ILit<"AS">>>, R<variable>>>(s);
}

// updating_clause = { create_clause | merge_clause | foreach_clause | set_clause
//                   | remove_clause | delete_clause }
bool updating_clause_body(State& s) {
  return normal<Rule::updating_clause,
                Choice<R<create_clause>, R<merge_clause>, R<foreach_clause>, R<set_clause>,
                       R<remove_clause>, R<delete_clause>>>(s);
}
bool updating_clause(State& s) {
  return memoized<Rule::updating_clause, updating_clause_body>(s);
}

// foreach_clause = { ^"FOREACH" ~ "(" ~ variable ~ ^"IN" ~ expression ~ "|" ~ updating_clause+ ~ ")" }
bool foreach_clause(State& s) {
  return normal<Rule::foreach_clause,
                Seq<ILit<"FOREACH">, Lit<"(">, R<variable>, ILit<"IN">, R<expression>, Lit<"|">,
                    Plus<R<updating_clause>>, Lit<")">>>(s);
}

// create_clause = { ^"CREATE" ~ pattern }
bool create_clause(State& s) {
  return normal<Rule::create_clause, Seq<ILit<"CREATE">, R<pattern>>>(s);
}

// merge_clause = { ^"MERGE" ~ pattern_part ~ on_match_or_create* }
bool merge_clause(State& s) {
  return normal<Rule::merge_clause,
                Seq<ILit<"MERGE">, R<pattern_part>, Star<R<on_match_or_create>>>>(s);
}

// on_match_or_create = { ^"ON" ~ (^"MATCH" ~ set_clause | ^"CREATE" ~ set_clause) }
bool on_match_or_create(State& s) {
  return normal<Rule::on_match_or_create,
                Seq<ILit<"ON">, Choice<Seq<ILit<"MATCH">, R<set_clause>>,
                                       Seq<ILit<"CREATE">, R<set_clause>>>>>(s);
}

// set_clause = { ^"SET" ~ set_item ~ ("," ~ set_item)* }
bool set_clause(State& s) {
  return normal<Rule::set_clause,
                Seq<ILit<"SET">, R<set_item>, Star<Seq<Lit<",">, R<set_item>>>>>(s);
}

// set_item = { property_expression ~ "=" ~ expression | variable ~ "=" ~ expression
//            | variable ~ "+=" ~ expression | variable ~ node_labels }
bool set_item(State& s) {
  return normal<Rule::set_item,
                Choice<Seq<R<property_expression>, Lit<"=">, R<expression>>,
                       Seq<R<variable>, Lit<"=">, R<expression>>,
                       Seq<R<variable>, Lit<"+=">, R<expression>>,
                       Seq<R<variable>, R<node_labels>>>>(s);
}

// remove_clause = { ^"REMOVE" ~ remove_item ~ ("," ~ remove_item)* }
bool remove_clause(State& s) {
  return normal<Rule::remove_clause,
                Seq<ILit<"REMOVE">, R<remove_item>, Star<Seq<Lit<",">, R<remove_item>>>>>(s);
}

// remove_item = { variable ~ node_labels | property_expression }
bool remove_item(State& s) {
  return normal<Rule::remove_item,
                Choice<Seq<R<variable>, R<node_labels>>, R<property_expression>>>(s);
}

// delete_clause = { ^"DETACH"? ~ ^"DELETE" ~ expression ~ ("," ~ expression)* }
bool delete_clause(State& s) {
  return normal<Rule::delete_clause,
                Seq<Opt<ILit<"DETACH">>, ILit<"DELETE">, R<expression>,
                    Star<Seq<Lit<",">, R<expression>>>>>(s);
}

// property_expression = { variable ~ property_lookup+ }
bool property_expression(State& s) {
  return normal<Rule::property_expression, Seq<R<variable>, Plus<R<property_lookup>>>>(s);
}

// Every rule, by value, for starting a match at any of them.
struct RuleEntry {
  Rule rule;
  RuleFn fn;
};
constexpr RuleEntry kRuleTable[] = {
    {Rule::EOI, EOI},
    {Rule::WHITESPACE, WHITESPACE},
    {Rule::COMMENT, COMMENT},
    {Rule::cypher, cypher},
    {Rule::statement, statement},
    {Rule::regular_query, regular_query},
    {Rule::union_clause, union_clause},
    {Rule::single_query, single_query},
    {Rule::single_part_query, single_part_query},
    {Rule::multi_part_query, multi_part_query},
    {Rule::reading_clause, reading_clause},
    {Rule::call_subquery, call_subquery},
    {Rule::match_clause, match_clause},
    {Rule::unwind_clause, unwind_clause},
    {Rule::in_query_call, in_query_call},
    {Rule::standalone_call, standalone_call},
    {Rule::explicit_procedure_invocation, explicit_procedure_invocation},
    {Rule::procedure_name, procedure_name},
    {Rule::yield_items, yield_items},
    {Rule::yield_item, yield_item},
    {Rule::procedure_result_field, procedure_result_field},
    {Rule::updating_clause, updating_clause},
    {Rule::foreach_clause, foreach_clause},
    {Rule::create_clause, create_clause},
    {Rule::merge_clause, merge_clause},
    {Rule::on_match_or_create, on_match_or_create},
    {Rule::set_clause, set_clause},
    {Rule::set_item, set_item},
    {Rule::remove_clause, remove_clause},
    {Rule::remove_item, remove_item},
    {Rule::delete_clause, delete_clause},
    {Rule::with_clause, with_clause},
    {Rule::return_clause, return_clause},
    {Rule::return_body, return_body},
    {Rule::return_items, return_items},
    {Rule::return_item, return_item},
    {Rule::order_clause, order_clause},
    {Rule::sort_item, sort_item},
    {Rule::skip_clause, skip_clause},
    {Rule::limit_clause, limit_clause},
    {Rule::where_clause, where_clause},
    {Rule::pattern, pattern},
    {Rule::pattern_part, pattern_part},
    {Rule::pattern_element, pattern_element},
    {Rule::node_pattern, node_pattern},
    {Rule::node_labels, node_labels},
    {Rule::label_name, label_name},
    {Rule::relationship_pattern, relationship_pattern},
    {Rule::left_arrow, left_arrow},
    {Rule::right_arrow, right_arrow},
    {Rule::rel_types, rel_types},
    {Rule::rel_type_name, rel_type_name},
    {Rule::range_literal, range_literal},
    {Rule::properties, properties},
    {Rule::expression, expression},
    {Rule::or_kw, or_kw},
    {Rule::xor_kw, xor_kw},
    {Rule::and_kw, and_kw},
    {Rule::not_kw, not_kw},
    {Rule::or_expr, or_expr},
    {Rule::xor_expr, xor_expr},
    {Rule::and_expr, and_expr},
    {Rule::not_expr, not_expr},
    {Rule::comparison_expr, comparison_expr},
    {Rule::comparison_op, comparison_op},
    {Rule::add_sub_expr, add_sub_expr},
    {Rule::mul_div_expr, mul_div_expr},
    {Rule::mod_expr, mod_expr},
    {Rule::power_expr, power_expr},
    {Rule::unary_expr, unary_expr},
    {Rule::postfix_expr, postfix_expr},
    {Rule::null_check_op, null_check_op},
    {Rule::postfix_op, postfix_op},
    {Rule::property_lookup, property_lookup},
    {Rule::subscript_op, subscript_op},
    {Rule::list_slice_op, list_slice_op},
    {Rule::atom, atom},
    {Rule::parenthesized_expr, parenthesized_expr},
    {Rule::count_star, count_star},
    {Rule::function_invocation, function_invocation},
    {Rule::function_name, function_name},
    {Rule::namespace_, namespace_},
    {Rule::reduce_expression, reduce_expression},
    {Rule::shortest_path_call, shortest_path_call},
    {Rule::case_expression, case_expression},
    {Rule::list_comprehension, list_comprehension},
    {Rule::filter_expression, filter_expression},
    {Rule::id_in_coll, id_in_coll},
    {Rule::quantifier_expression, quantifier_expression},
    {Rule::exists_subquery, exists_subquery},
    {Rule::pattern_comprehension, pattern_comprehension},
    {Rule::count_subquery, count_subquery},
    {Rule::collect_subquery, collect_subquery},
    {Rule::literal, literal},
    {Rule::integer_literal, integer_literal},
    {Rule::float_literal, float_literal},
    {Rule::string_literal, string_literal},
    {Rule::boolean_literal, boolean_literal},
    {Rule::null_literal, null_literal},
    {Rule::list_literal, list_literal},
    {Rule::map_literal, map_literal},
    {Rule::property_key_value_pair, property_key_value_pair},
    {Rule::property_key_name, property_key_name},
    {Rule::property_expression, property_expression},
    {Rule::parameter, parameter},
    {Rule::variable, variable},
    {Rule::identifier, identifier},
    {Rule::backtick_identifier, backtick_identifier},
    {Rule::keyword, keyword},
};
constexpr bool table_in_rule_order() {
  for (std::size_t i = 0; i < std::size(kRuleTable); ++i) {
    if (static_cast<std::size_t>(kRuleTable[i].rule) != i) return false;
  }
  return std::size(kRuleTable) == kRuleCount;
}
static_assert(table_in_rule_order(), "one entry per rule, in rule order");

}  // namespace

bool match(Rule start, State& s) { return kRuleTable[static_cast<std::size_t>(start)].fn(s); }

}  // namespace morvane::parser::grammar

namespace morvane::parser::engine {

void State::skip_whitespace_and_comments() {
  for (;;) {
    while (pos_ < n_ && kWhitespace.member[static_cast<unsigned char>(in_[pos_])]) ++pos_;
    if (pos_ + 1 >= n_ || in_[pos_] != '/') return;
    const char second = in_[pos_ + 1];
    if (second == '/') {
      const std::size_t eol = in_.find('\n', pos_ + 2);
      pos_ = eol == std::string_view::npos ? n_ : static_cast<std::uint32_t>(eol + 1);
    } else if (second == '*') {
      const std::size_t close = in_.find("*/", pos_ + 2);
      if (close == std::string_view::npos) return;  // an unclosed comment is no comment
      pos_ = static_cast<std::uint32_t>(close + 2);
    } else {
      return;
    }
  }
}

}  // namespace morvane::parser::engine
