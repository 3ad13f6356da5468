// Names in validation: a backticked name counts as the text between its backticks, a suggested
// name is written as a query must write it, and the corrected query changes the flagged names
// and nothing else.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "corpus.h"
#include "parser/recognizer.h"
#include "validate_test_util.h"

namespace morvane::validator::testing {
namespace {

// Person (name, age), Movie (title), Event (end, count); ACTED_IN from Person to Movie.
constexpr std::string_view kSchema =
    R"({"nodes":{"Person":["name","age"],"Movie":["title"],"Event":["end","count"]},)"
    R"("relationships":{"ACTED_IN":["Person","Movie",["role"]]}})";

const Finding kNme{"E303",
                   "Unknown property 'nme' on variable '`q`' with label :Person, did you mean "
                   ".name?",
                   "nme", "name"};

TEST(QuotedNames, CompareAsTheTextBetweenTheBackticks) {
  check_cases(
      kSchema,
      {
          // Labels, types and keys against the schema.
          {"MATCH (p:`Person`)-[r:`ACTED_IN` {`role`: 1}]->(m:`Movie`) RETURN p, r, m", {}},
          {"MATCH (e:Event {`end`: 1}) WHERE e.`count` > 1 RETURN e.`end`", {}},
          {"MATCH (p:Person) SET p:`Movie`, p.`age` = 1 REMOVE p:`Movie`", {}},
          // Bound variables: bindings, references, aliases, comprehension variables.
          {"MATCH (n:Person) RETURN `n`", {}},
          {"MATCH (`n`:Person) WITH n AS `q` RETURN `q`.nme", {kNme}, "MATCH (`n`:Person) "
                                                                      "WITH n AS `q` RETURN "
                                                                      "`q`.name"},
          {"UNWIND [1] AS `x` RETURN x, [`y` IN [x] | y]", {}},
          {"MATCH (a:Person), (`a`)-[:ACTED_IN]->(m) RETURN m", {}},
          // One label however it is written; messages show the first writing.
          {"MATCH (q:`Person`) MATCH (q:Person) RETURN q.nme",
           {{"E303",
             "Unknown property 'nme' on variable 'q' with label :`Person`, did you mean .name?",
             "nme", "name"}},
           "MATCH (q:`Person`) MATCH (q:Person) RETURN q.name"},
          {"MATCH (a:`Movie`)-[:`ACTED_IN`]->(m:Movie) RETURN a",
           {{"E401",
             "Relationship :`ACTED_IN` expects source label :Person, but node has label(s): "
             ":`Movie`"}}},
          // A quoted name that really is unknown: reported as written, and replaced by a quoted
          // name.
          {"MATCH (p:`Persn`) RETURN p",
           {{"E201", "Unknown node label: :`Persn`, did you mean :Person?", ":`Persn`",
             ":`Person`"}},
           "MATCH (p:`Person`) RETURN p"},
          {"MATCH (p:`person`)-[:`ACTED IN`]->(m:Movie) RETURN p.`nam`",
           {{"E201", "Unknown node label: :`person`, did you mean :Person?", ":`person`",
             ":`Person`"},
            {"E211", "Unknown relationship type: :`ACTED IN`, did you mean :ACTED_IN?",
             ":`ACTED IN`", ":`ACTED_IN`"}},
           "MATCH (p:`Person`)-[:`ACTED_IN`]->(m:Movie) RETURN p.`nam`"},
          {"MATCH (e:Event) RETURN e.`ends`",
           {{"E303", "Unknown property '`ends`' on variable 'e' with label :Event, did you mean "
                     ".end?",
             "`ends`", "`end`"}},
           "MATCH (e:Event) RETURN e.`end`"},
          {"MATCH (n:Person) RETURN `m`", {unbound("`m`")}},
          {"MATCH (n:Person) RETURN `n `", {unbound("`n `")}},
      });
}

// A flagged name written in backticks is replaced by its suggestion in backticks, in the
// suggestion as in the corrected query; a name written plain gets a plain one where it may.
TEST(QuotedNames, ACorrectionKeepsTheBackticksItFound) {
  check_cases(
      kSchema,
      {
          {"MATCH (p:`Person`)-[:`ACTED_I`]->(m:Movie) RETURN m",
           {{"E211", "Unknown relationship type: :`ACTED_I`, did you mean :ACTED_IN?",
             ":`ACTED_I`", ":`ACTED_IN`"}},
           "MATCH (p:`Person`)-[:`ACTED_IN`]->(m:Movie) RETURN m"},
          {"MATCH (p:Person {`nme`: 1}) SET p:`Movi` RETURN p.`agee`",
           {{"E301", "Unknown property '`nme`' for node label :Person, did you mean .name?",
             "`nme`", "`name`"},
            {"E202", "Unknown node label in SET: :`Movi`, did you mean :Movie?", ":`Movi`",
             ":`Movie`"},
            {"E303",
             "Unknown property '`agee`' on variable 'p' with label :Person, did you mean .age?",
             "`agee`", "`age`"}},
           "MATCH (p:Person {`name`: 1}) SET p:`Movie` RETURN p.`age`"},
          // One name, written both ways.
          {"MATCH (p:Persn), (q:`Persn`) RETURN p, q",
           {{"E201", "Unknown node label: :Persn, did you mean :Person?", ":Persn", ":Person"},
            {"E201", "Unknown node label: :`Persn`, did you mean :Person?", ":`Persn`",
             ":`Person`"},
            kCartesian},
           "MATCH (p:Person), (q:`Person`) RETURN p, q"},
      });
}

TEST(QuotedNames, SuggestedNamesAreWrittenAsAQueryMust) {
  constexpr std::string_view kOddNames =
      R"({"nodes":{"Big Co":[],"Order":["end","count","_x1","1st","Größe"],"Pe`rson":[]},)"
      R"("relationships":{"HAS ITEM":["Order","Order",[]]}})";
  check_cases(
      kOddNames,
      {
          {"MATCH (c:Big_Co) RETURN c",
           {{"E201", "Unknown node label: :Big_Co, did you mean :Big Co?", ":Big_Co",
             ":`Big Co`"}},
           "MATCH (c:`Big Co`) RETURN c"},
          // ORDER is a keyword but not a reserved word.
          {"MATCH (o:Ordr) RETURN o",
           {{"E201", "Unknown node label: :Ordr, did you mean :Order?", ":Ordr", ":Order"}},
           "MATCH (o:Order) RETURN o"},
          {"MATCH (o:Order {cont: 1}) RETURN o.ende",
           {{"E301", "Unknown property 'cont' for node label :Order, did you mean .count?",
             "cont", "`count`"},
            {"E303", "Unknown property 'ende' on variable 'o' with label :Order, did you mean "
                     ".end?",
             "ende", "`end`"}},
           "MATCH (o:Order {`count`: 1}) RETURN o.`end`"},
          {"MATCH (o:Order) RETURN o._x, o.`1s`, o.`Grösse`",
           {{"E303", "Unknown property '_x' on variable 'o' with label :Order, did you mean ._x1?",
             "_x", "_x1"},
            {"E303", "Unknown property '`1s`' on variable 'o' with label :Order, did you mean "
                     ".1st?",
             "`1s`", "`1st`"},
            {"E303", "Unknown property '`Grösse`' on variable 'o' with label :Order, did you "
                     "mean .Größe?",
             "`Grösse`", "`Größe`"}},
           "MATCH (o:Order) RETURN o._x1, o.`1st`, o.`Größe`"},
          {"MATCH (:Order)-[:HAS_ITEM]->(:Order) RETURN 1",
           {{"E211", "Unknown relationship type: :HAS_ITEM, did you mean :HAS ITEM?",
             ":HAS_ITEM", ":`HAS ITEM`"}},
           "MATCH (:Order)-[:`HAS ITEM`]->(:Order) RETURN 1"},
          // No query can write a name holding a backtick: the hint, but nothing to fix with.
          {"MATCH (p:Person) RETURN p", {{"E201", "Unknown node label: :Person, did you mean "
                                                  ":Pe`rson?"}}},
      });
}

TEST(Correction, ChangesOnlyTheFlaggedNames) {
  // Movie (title, runtime); Person (name) and Movie (title, nom), so that one key can have two
  // different suggestions.
  constexpr std::string_view kRuntimes =
      R"({"nodes":{"Movie":["title","runtime","nom"],"Person":["name"]},)"
      R"("relationships":{"ACTED_IN":["Person","Movie",[]]}})";
  const Finding runtim{"E303",
                       "Unknown property 'runtim' on variable 'm' with label :Movie, did you mean "
                       ".runtime?",
                       "runtim", "runtime"};
  check_cases(
      kRuntimes,
      {
          {"MATCH (m:Movie) WHERE m.runtime > 120 RETURN m.title, m.runtime ORDER BY m.runtim "
           "DESC",
           {runtim},
           "MATCH (m:Movie) WHERE m.runtime > 120 RETURN m.title, m.runtime ORDER BY m.runtime "
           "DESC"},
          // String literals, parameters, aliases and comments keep their text.
          {"MATCH (p:Person) WHERE p.name = 'nam' /* nam */ RETURN p.nam AS nam, $nam",
           {{"E303",
             "Unknown property 'nam' on variable 'p' with label :Person, did you mean .name?",
             "nam", "name"}},
           "MATCH (p:Person) WHERE p.name = 'nam' /* nam */ RETURN p.name AS nam, $nam"},
          // Blanks between the colon or dot and the name.
          {"MATCH (n : Persn)-[ : ACTED_IN|: ACTD_IN]->(m) RETURN n. nme",
           {{"E201", "Unknown node label: :Persn, did you mean :Person?", ":Persn", ":Person"},
            {"E211", "Unknown relationship type: :ACTD_IN, did you mean :ACTED_IN?", ":ACTD_IN",
             ":ACTED_IN"}},
           "MATCH (n : Person)-[ : ACTED_IN|: ACTED_IN]->(m) RETURN n. nme"},
          // A name that another finding also fixes, or another name holding it, stays.
          {"MATCH (p:Person {nme: 1}) RETURN p.nmeX, p.nme",
           {{"E301", "Unknown property 'nme' for node label :Person, did you mean .name?", "nme",
             "name"},
            {"E303", "Unknown property 'nmeX' on variable 'p' with label :Person, did you mean "
                     ".name?",
             "nmeX", "name"},
            {"E303",
             "Unknown property 'nme' on variable 'p' with label :Person, did you mean .name?",
             "nme", "name"}},
           "MATCH (p:Person {name: 1}) RETURN p.name, p.name"},
          // Two findings about one name with different replacements: the first one's wins.
          {"MATCH (p:Person:Movie {nme: 1}) RETURN p",
           {{"E301", "Unknown property 'nme' for node label :Person, did you mean .name?", "nme",
             "name"},
            {"E301", "Unknown property 'nme' for node label :Movie, did you mean .nom?", "nme",
             "nom"}},
           "MATCH (p:Person:Movie {name: 1}) RETURN p"},
          {"MATCH (p:Movie:Person) RETURN p.nme",
           {{"E303",
             "Unknown property 'nme' on variable 'p' with label :Movie, did you mean .nom?",
             "nme", "nom"},
            {"E303",
             "Unknown property 'nme' on variable 'p' with label :Person, did you mean .name?",
             "nme", "name"}},
           "MATCH (p:Movie:Person) RETURN p.nom"},
          // A fix is still given only when every error has one.
          {"MATCH (p:Persn) RETURN p, q",
           {{"E201", "Unknown node label: :Persn, did you mean :Person?", ":Persn", ":Person"},
            unbound("q")}},
      });
}

// Over the corpus against the golden file's first schema: in each query that validates without
// errors, each label, type and property key in turn loses its last character. Whenever every
// error's suggestion names the name as it was written, correcting gives the query back byte for
// byte.
TEST(Correction, RepairingOneMisspeltNameGivesTheQueryBack) {
  std::vector<std::string> queries;
  ASSERT_TRUE(bench::load_corpus(MORVANE_CORPUS_PATH, queries));
  std::ifstream golden(MORVANE_CORPUS_GOLDEN_PATH);
  std::string schema_line;
  ASSERT_TRUE(std::getline(golden, schema_line));
  const Morvane morvane(schema_from_json(std::string_view(schema_line).substr(7)));

  parser::Recognizer recognizer;
  std::size_t repaired = 0;
  for (const std::string& query : queries) {
    if (!morvane.validate(query).is_valid) continue;
    ASSERT_TRUE(recognizer.parse(query)) << query;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> names;
    for (const parser::Pair& pair : recognizer.pairs()) {
      if (pair.rule == parser::Rule::label_name || pair.rule == parser::Rule::rel_type_name ||
          pair.rule == parser::Rule::property_key_name) {
        names.emplace_back(pair.begin, pair.end);
      }
    }
    for (auto [begin, end] : names) {
      const std::string_view name = std::string_view(query).substr(begin, end - begin);
      // The last character, before the closing backtick of a quoted name.
      std::size_t cut = name.front() == '`' ? end - 1 : end;
      std::size_t from = cut - 1;
      while (from > begin && (static_cast<unsigned char>(query[from]) & 0xC0) == 0x80) --from;
      if (from <= begin + (name.front() == '`' ? 1 : 0)) continue;
      const std::string misspelt = query.substr(0, from) + query.substr(cut);
      SCOPED_TRACE(misspelt);
      const PyValidationResult result = morvane.validate(misspelt);
      expect_fixed_query_parses(result);
      if (!result.fixed_query) continue;
      bool names_the_original = true;
      for (const diagnostics::ValidationDiagnostic& diagnostic : result.diagnostics) {
        if (diagnostic.severity != diagnostics::Severity::Error) continue;
        const std::string& replacement = diagnostic.suggestion->replacement;
        names_the_original = names_the_original &&
                             (replacement == name || replacement == ":" + std::string(name));
      }
      if (!names_the_original) continue;
      EXPECT_EQ(*result.fixed_query, query);
      ++repaired;
    }
  }
  EXPECT_GT(repaired, 200u);
}

}  // namespace
}  // namespace morvane::validator::testing
