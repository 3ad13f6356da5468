// The Cypher grammar: one function per rule, in the order of the Rule enumeration's groups,
// each with its grammar line above it. `~` is Seq, `|` is Choice, `?` `*` `+` are Opt, Star
// and Plus, `&` `!` are And and Not; ^"..." is ILit.
#include "parser/grammar.h"

#include <array>

#include "parser/engine.h"
#include "parser/keywords.h"
#include "parser/skip.h"

namespace morvane::parser::grammar {

using namespace engine;

namespace {

// Every rule is a type; they refer to each other freely.
#define MORVANE_RULE(name) struct name;
#include "parser/rules.def"

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
struct EOI : Normal<Rule::EOI, EndOfInput> {};

// WHITESPACE = _{ " " | "\t" | "\r" | "\n" }
struct WHITESPACE : Silent<Class<kSkipWhitespace>> {};

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
struct COMMENT : Silent<CommentBody> {};

// identifier = @{ !keyword ~ (ASCII_ALPHA | "_") ~ (ASCII_ALPHANUMERIC | "_")* | backtick_identifier }
struct identifier : Atomic<Rule::identifier, Choice<Seq<Not<keyword>, PlainName>, backtick_identifier>> {};

// backtick_identifier = @{ "`" ~ (!"`" ~ ANY)* ~ "`" }
struct backtick_identifier : Atomic<Rule::backtick_identifier, Seq<Lit<"`">, Until<'`'>, Lit<"`">>> {};

// (^"ALL" | ^"AND" | ... | ^"YIELD"): the first listed word whose letters match, in any case.
struct KeywordWord {
  static bool match(State& s) {
    if (s.at_end()) return false;
    const unsigned char first = s.peek() | 0x20;
    if (first < 'a' || first > 'z') return false;
    const int letter = first - 'a';
    for (int i = kKeywordIndex.start[letter]; i < kKeywordIndex.start[letter + 1]; ++i) {
      const std::string_view word = kKeywordWords[kKeywordIndex.order[i]];
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
struct keyword : Normal<Rule::keyword, Seq<KeywordWord, Boundary>> {};

// variable = @{ identifier }
struct variable : Atomic<Rule::variable, identifier> {};
// label_name = @{ identifier }
struct label_name : Atomic<Rule::label_name, identifier> {};
// rel_type_name = @{ identifier }
struct rel_type_name : Atomic<Rule::rel_type_name, identifier> {};
// property_key_name = @{ identifier }
struct property_key_name : Atomic<Rule::property_key_name, identifier> {};
// procedure_result_field = @{ identifier }
struct procedure_result_field : Atomic<Rule::procedure_result_field, identifier> {};

// procedure_name = @{ identifier ~ ("." ~ identifier)* }
struct procedure_name : Atomic<Rule::procedure_name, Seq<identifier, Star<Seq<Lit<".">, identifier>>>> {};

// namespace = @{ (identifier ~ ".")+ }
struct namespace_ : Atomic<Rule::namespace_, Plus<Seq<identifier, Lit<".">>>> {};

// function_name = @{ namespace? ~ (ASCII_ALPHA | "_") ~ (ASCII_ALPHANUMERIC | "_")* }
struct function_name : Atomic<Rule::function_name, Seq<Opt<namespace_>, PlainName>> {};

// parameter = @{ "$" ~ ((ASCII_ALPHA | "_") ~ (ASCII_ALPHANUMERIC | "_")* | ASCII_DIGIT+) }
struct parameter : Atomic<Rule::parameter, Seq<Lit<"$">, Choice<PlainName, Plus<AsciiDigit>>>> {};

// literal = { float_literal | integer_literal | string_literal | boolean_literal
//           | null_literal | list_literal | map_literal }
struct literal : Normal<Rule::literal, Choice<float_literal, integer_literal, string_literal, boolean_literal, null_literal, list_literal, map_literal>> {};

// integer_literal = @{ "0x" ~ ASCII_HEX_DIGIT+ | "0o" ~ ('0'..'7')+ | ASCII_DIGIT+ }
struct integer_literal : Atomic<Rule::integer_literal, Choice<Seq<Lit<"0x">, Plus<AsciiHexDigit>>, Seq<Lit<"0o">, Plus<Class<kOctal>>>, Plus<AsciiDigit>>> {};

// float_literal = @{ ASCII_DIGIT+ ~ "." ~ ASCII_DIGIT* ~ (("e" | "E") ~ ("+" | "-")? ~ ASCII_DIGIT+)? }
struct float_literal : Atomic<Rule::float_literal, Seq<Plus<AsciiDigit>, Lit<".">, Star<AsciiDigit>, Opt<Seq<Choice<Lit<"e">, Lit<"E">>, Opt<Choice<Lit<"+">, Lit<"-">>>, Plus<AsciiDigit>>>>> {};

// string_literal = @{ "\"" ~ (!"\"" ~ ANY)* ~ "\"" | "'" ~ (!"'" ~ ANY)* ~ "'" }
struct string_literal : Atomic<Rule::string_literal, Choice<Seq<Lit<"\"">, Until<'"'>, Lit<"\"">>, Seq<Lit<"'">, Until<'\''>, Lit<"'">>>> {};

// boolean_literal = { ^"TRUE" | ^"FALSE" }
struct boolean_literal : Normal<Rule::boolean_literal, Choice<ILit<"TRUE">, ILit<"FALSE">>> {};

// null_literal = { ^"NULL" }
struct null_literal : Normal<Rule::null_literal, ILit<"NULL">> {};

// list_literal = { "[" ~ (expression ~ ("," ~ expression)*)? ~ "]" }
struct list_literal : Normal<Rule::list_literal, Seq<Lit<"[">, Opt<Seq<expression, Star<Seq<Lit<",">, expression>>>>, Lit<"]">>> {};

// map_literal = { "{" ~ (property_key_value_pair ~ ("," ~ property_key_value_pair)*)? ~ "}" }
struct map_literal : Normal<Rule::map_literal, Seq<Lit<"{">, Opt<Seq<property_key_value_pair, Star<Seq<Lit<",">, property_key_value_pair>>>>, Lit<"}">>> {};

// property_key_value_pair = { property_key_name ~ ":" ~ expression }
struct property_key_value_pair : Normal<Rule::property_key_value_pair, Seq<property_key_name, Lit<":">, expression>> {};

// --- Patterns --------------------------------------------------------------------------------

// pattern = { pattern_part ~ ("," ~ pattern_part)* }
struct pattern : Normal<Rule::pattern, Seq<pattern_part, Star<Seq<Lit<",">, pattern_part>>>> {};

// pattern_part = { (variable ~ "=")? ~ pattern_element }
struct pattern_part : Normal<Rule::pattern_part, Seq<Opt<Seq<variable, Lit<"=">>>, pattern_element>> {};

// pattern_element = { shortest_path_call | node_pattern ~ (relationship_pattern ~ node_pattern)* }
struct pattern_element : Normal<Rule::pattern_element, Choice<shortest_path_call, Seq<node_pattern, Star<Seq<relationship_pattern, node_pattern>>>>> {};

// node_pattern = { "(" ~ variable? ~ node_labels? ~ properties? ~ ")" }
struct node_pattern : Normal<Rule::node_pattern, Seq<Lit<"(">, Opt<variable>, Opt<node_labels>, Opt<properties>, Lit<")">>> {};

// node_labels = { (":" ~ label_name)+ }
struct node_labels : Normal<Rule::node_labels, Plus<Seq<Lit<":">, label_name>>> {};

// relationship_pattern = { left_arrow? ~ ("-" ~ "[" ~ variable? ~ rel_types? ~ range_literal?
//                          ~ properties? ~ "]" ~ "-" | "--") ~ right_arrow? }
struct relationship_pattern : Normal<Rule::relationship_pattern, Seq<Opt<left_arrow>, Choice<Seq<Lit<"-">, Lit<"[">, Opt<variable>, Opt<rel_types>, Opt<range_literal>, Opt<properties>, Lit<"]">, Lit<"-">>, Lit<"--">>, Opt<right_arrow>>> {};

// left_arrow = { "<" }
struct left_arrow : Normal<Rule::left_arrow, Lit<"<">> {};
// right_arrow = { ">" }
struct right_arrow : Normal<Rule::right_arrow, Lit<">">> {};

// rel_types = { ":" ~ rel_type_name ~ ("|" ~ ":"? ~ rel_type_name)* }
struct rel_types : Normal<Rule::rel_types, Seq<Lit<":">, rel_type_name, Star<Seq<Lit<"|">, Opt<Lit<":">>, rel_type_name>>>> {};

// range_literal = { "*" ~ (integer_literal ~ (".." ~ integer_literal?)?)? }
struct range_literal : Normal<Rule::range_literal, Seq<Lit<"*">, Opt<Seq<integer_literal, Opt<Seq<Lit<"..">, Opt<integer_literal>>>>>>> {};

// properties = { map_literal | parameter }
struct properties : Normal<Rule::properties, Choice<map_literal, parameter>> {};

// --- Query structure and projections ---------------------------------------------------------

// cypher = { SOI ~ statement ~ ";"? ~ EOI }
struct cypher : Normal<Rule::cypher, Seq<Soi, statement, Opt<Lit<";">>, EOI>> {};

// statement = { regular_query | standalone_call }
struct statement : Normal<Rule::statement, Choice<regular_query, standalone_call>> {};

// regular_query = { single_query ~ union_clause* }
struct regular_query : Normal<Rule::regular_query, Seq<single_query, Star<union_clause>>> {};

// union_clause = { ^"UNION" ~ ^"ALL"? ~ single_query }
struct union_clause : Normal<Rule::union_clause, Seq<ILit<"UNION">, Opt<ILit<"ALL">>, single_query>> {};

// single_query = { multi_part_query | single_part_query }
struct single_query : Normal<Rule::single_query, Choice<multi_part_query, single_part_query>> {};

// single_part_query = { reading_clause+ ~ updating_clause* ~ return_clause?
//                     | updating_clause+ ~ return_clause? | return_clause }
struct single_part_query : Normal<Rule::single_part_query, Choice<Seq<Plus<reading_clause>, Star<updating_clause>, Opt<return_clause>>, Seq<Plus<updating_clause>, Opt<return_clause>>, return_clause>> {};

// multi_part_query = { (reading_clause* ~ updating_clause* ~ with_clause)+ ~ reading_clause*
//                    ~ updating_clause* ~ return_clause? }
struct multi_part_query : Normal<Rule::multi_part_query, Seq<Plus<Seq<Star<reading_clause>, Star<updating_clause>, with_clause>>, Star<reading_clause>, Star<updating_clause>, Opt<return_clause>>> {};

// with_clause = { ^"WITH" ~ ^"DISTINCT"? ~ return_body ~ where_clause? }
struct with_clause : Normal<Rule::with_clause, Seq<ILit<"WITH">, Opt<ILit<"DISTINCT">>, return_body, Opt<where_clause>>> {};

// return_clause = { ^"RETURN" ~ ^"DISTINCT"? ~ return_body }
struct return_clause : Normal<Rule::return_clause, Seq<ILit<"RETURN">, Opt<ILit<"DISTINCT">>, return_body>> {};

// return_body = { return_items ~ order_clause? ~ skip_clause? ~ limit_clause? }
struct return_body : Normal<Rule::return_body, Seq<return_items, Opt<order_clause>, Opt<skip_clause>, Opt<limit_clause>>> {};

// return_items = { "*" | return_item ~ ("," ~ return_item)* }
struct return_items : Normal<Rule::return_items, Choice<Lit<"*">, Seq<return_item, Star<Seq<Lit<",">, return_item>>>>> {};

// return_item = { expression ~ (^"AS" ~ variable)? }
struct return_item : Normal<Rule::return_item, Seq<expression, Opt<Seq<ILit<"AS">, variable>>>> {};

// order_clause = { ^"ORDER" ~ ^"BY" ~ sort_item ~ ("," ~ sort_item)* }
struct order_clause : Normal<Rule::order_clause, Seq<ILit<"ORDER">, ILit<"BY">, sort_item, Star<Seq<Lit<",">, sort_item>>>> {};

// sort_item = { expression ~ (^"ASCENDING" | ^"ASC" | ^"DESCENDING" | ^"DESC")? }
struct sort_item : Normal<Rule::sort_item, Seq<expression, Opt<Choice<ILit<"ASCENDING">, ILit<"ASC">, ILit<"DESCENDING">, ILit<"DESC">>>>> {};

// skip_clause = { ^"SKIP" ~ expression }
struct skip_clause : Normal<Rule::skip_clause, Seq<ILit<"SKIP">, expression>> {};

// limit_clause = { ^"LIMIT" ~ expression }
struct limit_clause : Normal<Rule::limit_clause, Seq<ILit<"LIMIT">, expression>> {};

// where_clause = { ^"WHERE" ~ expression }
struct where_clause : Normal<Rule::where_clause, Seq<ILit<"WHERE">, expression>> {};

// --- Operator expressions --------------------------------------------------------------------

// expression = { or_expr }
struct expression : Normal<Rule::expression, or_expr> {};

// or_kw = @{ ^"OR" ~ !(ASCII_ALPHANUMERIC | "_") }
struct or_kw : Atomic<Rule::or_kw, Seq<ILit<"OR">, Boundary>> {};
// xor_kw = @{ ^"XOR" ~ !(ASCII_ALPHANUMERIC | "_") }
struct xor_kw : Atomic<Rule::xor_kw, Seq<ILit<"XOR">, Boundary>> {};
// and_kw = @{ ^"AND" ~ !(ASCII_ALPHANUMERIC | "_") }
struct and_kw : Atomic<Rule::and_kw, Seq<ILit<"AND">, Boundary>> {};
// not_kw = @{ ^"NOT" ~ !(ASCII_ALPHANUMERIC | "_") }
struct not_kw : Atomic<Rule::not_kw, Seq<ILit<"NOT">, Boundary>> {};

// or_expr = { xor_expr ~ (or_kw ~ xor_expr)* }
struct or_expr : Normal<Rule::or_expr, Seq<xor_expr, Star<Seq<or_kw, xor_expr>>>> {};
// xor_expr = { and_expr ~ (xor_kw ~ and_expr)* }
struct xor_expr : Normal<Rule::xor_expr, Seq<and_expr, Star<Seq<xor_kw, and_expr>>>> {};
// and_expr = { not_expr ~ (and_kw ~ not_expr)* }
struct and_expr : Normal<Rule::and_expr, Seq<not_expr, Star<Seq<and_kw, not_expr>>>> {};
// not_expr = { not_kw* ~ comparison_expr }
struct not_expr : Normal<Rule::not_expr, Seq<Star<not_kw>, comparison_expr>> {};

// comparison_expr = { add_sub_expr ~ (comparison_op ~ add_sub_expr)* }
struct comparison_expr : Normal<Rule::comparison_expr, Seq<add_sub_expr, Star<Seq<comparison_op, add_sub_expr>>>> {};

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
struct comparison_op : Normal<Rule::comparison_op, Choice<Lit<"<=">, Lit<">=">, Lit<"<>">, Lit<"<">, Lit<">">, Lit<"=~">, Lit<"=">, Tight<ILit<"IN">>, Seq<ILit<"STARTS">, Tight<ILit<"WITH">>>, Seq<ILit<"ENDS">, Tight<ILit<"WITH">>>, Tight<ILit<"CONTAINS">>>> {};

// add_sub_expr = { mul_div_expr ~ (("+" | "-") ~ mul_div_expr)* }
struct add_sub_expr : Normal<Rule::add_sub_expr, Seq<mul_div_expr, Star<Seq<Choice<Lit<"+">, Lit<"-">>, mul_div_expr>>>> {};
// mul_div_expr = { mod_expr ~ (("*" | "/") ~ mod_expr)* }
struct mul_div_expr : Normal<Rule::mul_div_expr, Seq<mod_expr, Star<Seq<Choice<Lit<"*">, Lit<"/">>, mod_expr>>>> {};
// mod_expr = { power_expr ~ ("%" ~ power_expr)* }
struct mod_expr : Normal<Rule::mod_expr, Seq<power_expr, Star<Seq<Lit<"%">, power_expr>>>> {};
// power_expr = { unary_expr ~ ("^" ~ unary_expr)* }
struct power_expr : Normal<Rule::power_expr, Seq<unary_expr, Star<Seq<Lit<"^">, unary_expr>>>> {};
// unary_expr = { "-"? ~ postfix_expr }
struct unary_expr : Normal<Rule::unary_expr, Seq<Opt<Lit<"-">>, postfix_expr>> {};
// postfix_expr = { atom ~ postfix_op* }
struct postfix_expr : Normal<Rule::postfix_expr, Seq<atom, Star<postfix_op>>> {};

// null_check_op = @{ ^"IS" ~ WHITESPACE+ ~ (^"NOT" ~ WHITESPACE+ ~ ^"NULL" ~ !(ASCII_ALPHANUMERIC | "_")
//                  | ^"NULL" ~ !(ASCII_ALPHANUMERIC | "_")) }
using Spaces = Plus<WHITESPACE>;
struct null_check_op : Atomic<Rule::null_check_op, Seq<ILit<"IS">, Spaces, Choice<Seq<ILit<"NOT">, Spaces, ILit<"NULL">, Boundary>, Seq<ILit<"NULL">, Boundary>>>> {};

// postfix_op = { null_check_op | property_lookup | subscript_op | list_slice_op }
struct postfix_op : Normal<Rule::postfix_op, Choice<null_check_op, property_lookup, subscript_op, list_slice_op>> {};

// property_lookup = { "." ~ property_key_name }
struct property_lookup : Normal<Rule::property_lookup, Seq<Lit<".">, property_key_name>> {};
// subscript_op = { "[" ~ expression ~ "]" }
struct subscript_op : Normal<Rule::subscript_op, Seq<Lit<"[">, expression, Lit<"]">>> {};
// list_slice_op = { "[" ~ expression? ~ ".." ~ expression? ~ "]" }
struct list_slice_op : Normal<Rule::list_slice_op, Seq<Lit<"[">, Opt<expression>, Lit<"..">, Opt<expression>, Lit<"]">>> {};

// --- Atoms -----------------------------------------------------------------------------------

// atom = { reduce_expression | shortest_path_call | list_comprehension | literal | parameter
//        | case_expression | pattern_comprehension | quantifier_expression | exists_subquery
//        | count_subquery | collect_subquery | count_star | function_invocation | variable
//        | parenthesized_expr }
// An operand is read again when the alternative that read it fails later on (a list
// comprehension that turns out to be a list, a quantifier that is a function call), and so is
// every operand inside it: without the memo, nesting would cost exponential time.
struct atom : Memoized<Rule::atom, Memo::Keep::kWhenRevisited, Choice<reduce_expression, shortest_path_call, list_comprehension, literal, parameter, case_expression, pattern_comprehension, quantifier_expression, exists_subquery, count_subquery, collect_subquery, count_star, function_invocation, variable, parenthesized_expr>> {};

// parenthesized_expr = { "(" ~ expression ~ ")" }
struct parenthesized_expr : Normal<Rule::parenthesized_expr, Seq<Lit<"(">, expression, Lit<")">>> {};

// count_star = { ^"COUNT" ~ "(" ~ "*" ~ ")" }
struct count_star : Normal<Rule::count_star, Seq<ILit<"COUNT">, Lit<"(">, Lit<"*">, Lit<")">>> {};

// function_invocation = { function_name ~ "(" ~ ^"DISTINCT"? ~ (expression ~ ("," ~ expression)*)? ~ ")" }
struct function_invocation : Normal<Rule::function_invocation, Seq<function_name, Lit<"(">, Opt<ILit<"DISTINCT">>, Opt<Seq<expression, Star<Seq<Lit<",">, expression>>>>, Lit<")">>> {};

// reduce_expression = { ^"REDUCE" ~ "(" ~ variable ~ "=" ~ expression ~ "," ~ variable ~ ^"IN"
//                     ~ expression ~ "|" ~ expression ~ ")" }
struct reduce_expression : Normal<Rule::reduce_expression, Seq<ILit<"REDUCE">, Lit<"(">, variable, Lit<"=">, expression, Lit<",">, variable, ILit<"IN">, expression, Lit<"|">, expression, Lit<")">>> {};

// shortest_path_call = { (^"allShortestPaths" | ^"shortestPath") ~ "(" ~ node_pattern
//                      ~ (relationship_pattern ~ node_pattern)* ~ ")" }
struct shortest_path_call : Normal<Rule::shortest_path_call, Seq<Choice<ILit<"allShortestPaths">, ILit<"shortestPath">>, Lit<"(">, node_pattern, Star<Seq<relationship_pattern, node_pattern>>, Lit<")">>> {};

// case_expression = { ^"CASE" ~ expression? ~ (^"WHEN" ~ expression ~ ^"THEN" ~ expression)+
//                   ~ (^"ELSE" ~ expression)? ~ ^"END" }
struct case_expression : Normal<Rule::case_expression, Seq<ILit<"CASE">, Opt<expression>, Plus<Seq<ILit<"WHEN">, expression, ILit<"THEN">, expression>>, Opt<Seq<ILit<"ELSE">, expression>>, ILit<"END">>> {};

// list_comprehension = { "[" ~ filter_expression ~ ("|" ~ expression)? ~ "]" }
struct list_comprehension : Normal<Rule::list_comprehension, Seq<Lit<"[">, filter_expression, Opt<Seq<Lit<"|">, expression>>, Lit<"]">>> {};

// filter_expression = { id_in_coll ~ (^"WHERE" ~ expression)? }
struct filter_expression : Normal<Rule::filter_expression, Seq<id_in_coll, Opt<Seq<ILit<"WHERE">, expression>>>> {};

// id_in_coll = { variable ~ ^"IN" ~ expression }
struct id_in_coll : Normal<Rule::id_in_coll, Seq<variable, ILit<"IN">, expression>> {};

// quantifier_expression = { (^"ALL" | ^"ANY" | ^"NONE" | ^"SINGLE") ~ "(" ~ filter_expression ~ ")" }
struct quantifier_expression : Normal<Rule::quantifier_expression, Seq<Choice<ILit<"ALL">, ILit<"ANY">, ILit<"NONE">, ILit<"SINGLE">>, Lit<"(">, filter_expression, Lit<")">>> {};

// exists_subquery = { ^"EXISTS" ~ "{" ~ pattern ~ "}" }
struct exists_subquery : Normal<Rule::exists_subquery, Seq<ILit<"EXISTS">, Lit<"{">, pattern, Lit<"}">>> {};

// pattern_comprehension = { "[" ~ pattern_element ~ (^"WHERE" ~ expression)? ~ "|" ~ expression ~ "]" }
struct pattern_comprehension : Normal<Rule::pattern_comprehension, Seq<Lit<"[">, pattern_element, Opt<Seq<ILit<"WHERE">, expression>>, Lit<"|">, expression, Lit<"]">>> {};

// count_subquery = { ^"COUNT" ~ "{" ~ regular_query ~ "}" }
struct count_subquery : Normal<Rule::count_subquery, Seq<ILit<"COUNT">, Lit<"{">, regular_query, Lit<"}">>> {};

// collect_subquery = { ^"COLLECT" ~ "{" ~ regular_query ~ "}" }
struct collect_subquery : Normal<Rule::collect_subquery, Seq<ILit<"COLLECT">, Lit<"{">, regular_query, Lit<"}">>> {};

// --- Reading and updating clauses ------------------------------------------------------------

// reading_clause = { match_clause | unwind_clause | call_subquery | in_query_call }
// single_query tries every clause twice, inside multi_part_query and then single_part_query.
struct reading_clause : Memoized<Rule::reading_clause, Memo::Keep::kAlways, Choice<match_clause, unwind_clause, call_subquery, in_query_call>> {};

// call_subquery = { ^"CALL" ~ "{" ~ regular_query ~ "}" }
struct call_subquery : Normal<Rule::call_subquery, Seq<ILit<"CALL">, Lit<"{">, regular_query, Lit<"}">>> {};

// match_clause = { ^"OPTIONAL"? ~ ^"MATCH" ~ pattern ~ where_clause? }
struct match_clause : Normal<Rule::match_clause, Seq<Opt<ILit<"OPTIONAL">>, ILit<"MATCH">, pattern, Opt<where_clause>>> {};

// unwind_clause = { ^"UNWIND" ~ expression ~ ^"AS" ~ variable }
struct unwind_clause : Normal<Rule::unwind_clause, Seq<ILit<"UNWIND">, expression, ILit<"AS">, variable>> {};

// in_query_call = { ^"CALL" ~ explicit_procedure_invocation ~ (^"YIELD" ~ yield_items)? }
struct in_query_call : Normal<Rule::in_query_call, Seq<ILit<"CALL">, explicit_procedure_invocation, Opt<Seq<ILit<"YIELD">, yield_items>>>> {};

// standalone_call = { ^"CALL" ~ explicit_procedure_invocation ~ (^"YIELD" ~ yield_items)? }
struct standalone_call : Normal<Rule::standalone_call, Seq<ILit<"CALL">, explicit_procedure_invocation, Opt<Seq<ILit<"YIELD">, yield_items>>>> {};

// explicit_procedure_invocation = { procedure_name ~ "(" ~ (expression ~ ("," ~ expression)*)? ~ ")" }
struct explicit_procedure_invocation : Normal<Rule::explicit_procedure_invocation, Seq<procedure_name, Lit<"(">, Opt<Seq<expression, Star<Seq<Lit<",">, expression>>>>, Lit<")">>> {};

// yield_items = { yield_item ~ ("," ~ yield_item)* }
struct yield_items : Normal<Rule::yield_items, Seq<yield_item, Star<Seq<Lit<",">, yield_item>>>> {};

// yield_item = { (procedure_result_field ~ ^"AS")? ~ variable }
struct yield_item : Normal<Rule::yield_item, Seq<Opt<Seq<procedure_result_field, ILit<"AS">>>, variable>> {};

// updating_clause = { create_clause | merge_clause | foreach_clause | set_clause
//                   | remove_clause | delete_clause }
struct updating_clause : Memoized<Rule::updating_clause, Memo::Keep::kAlways, Choice<create_clause, merge_clause, foreach_clause, set_clause, remove_clause, delete_clause>> {};

// foreach_clause = { ^"FOREACH" ~ "(" ~ variable ~ ^"IN" ~ expression ~ "|" ~ updating_clause+ ~ ")" }
struct foreach_clause : Normal<Rule::foreach_clause, Seq<ILit<"FOREACH">, Lit<"(">, variable, ILit<"IN">, expression, Lit<"|">, Plus<updating_clause>, Lit<")">>> {};

// create_clause = { ^"CREATE" ~ pattern }
struct create_clause : Normal<Rule::create_clause, Seq<ILit<"CREATE">, pattern>> {};

// merge_clause = { ^"MERGE" ~ pattern_part ~ on_match_or_create* }
struct merge_clause : Normal<Rule::merge_clause, Seq<ILit<"MERGE">, pattern_part, Star<on_match_or_create>>> {};

// on_match_or_create = { ^"ON" ~ (^"MATCH" ~ set_clause | ^"CREATE" ~ set_clause) }
struct on_match_or_create : Normal<Rule::on_match_or_create, Seq<ILit<"ON">, Choice<Seq<ILit<"MATCH">, set_clause>, Seq<ILit<"CREATE">, set_clause>>>> {};

// set_clause = { ^"SET" ~ set_item ~ ("," ~ set_item)* }
struct set_clause : Normal<Rule::set_clause, Seq<ILit<"SET">, set_item, Star<Seq<Lit<",">, set_item>>>> {};

// set_item = { property_expression ~ "=" ~ expression | variable ~ "=" ~ expression
//            | variable ~ "+=" ~ expression | variable ~ node_labels }
struct set_item : Normal<Rule::set_item, Choice<Seq<property_expression, Lit<"=">, expression>, Seq<variable, Lit<"=">, expression>, Seq<variable, Lit<"+=">, expression>, Seq<variable, node_labels>>> {};

// remove_clause = { ^"REMOVE" ~ remove_item ~ ("," ~ remove_item)* }
struct remove_clause : Normal<Rule::remove_clause, Seq<ILit<"REMOVE">, remove_item, Star<Seq<Lit<",">, remove_item>>>> {};

// remove_item = { variable ~ node_labels | property_expression }
struct remove_item : Normal<Rule::remove_item, Choice<Seq<variable, node_labels>, property_expression>> {};

// delete_clause = { ^"DETACH"? ~ ^"DELETE" ~ expression ~ ("," ~ expression)* }
struct delete_clause : Normal<Rule::delete_clause, Seq<Opt<ILit<"DETACH">>, ILit<"DELETE">, expression, Star<Seq<Lit<",">, expression>>>> {};

// property_expression = { variable ~ property_lookup+ }
struct property_expression : Normal<Rule::property_expression, Seq<variable, Plus<property_lookup>>> {};

// Every rule's match, by rule value, for starting a match at any of them.
constexpr RuleFn kRuleMatches[] = {
#define MORVANE_RULE(name) &name::match,
#include "parser/rules.def"
};

}  // namespace

bool match(Rule start, State& s) { return kRuleMatches[static_cast<std::size_t>(start)](s); }

}  // namespace morvane::parser::grammar

namespace morvane::parser::engine {

void State::skip_whitespace_and_comments() {
  pos_ = static_cast<std::uint32_t>(skip_implicit(in_, pos_));
}

}  // namespace morvane::parser::engine
