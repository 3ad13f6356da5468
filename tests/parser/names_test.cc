// Names as a query writes them: how a name must be written (checked against the grammar
// itself), what a quoted name stands for, and where the tree says each name and text stands.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "parser/keywords.h"
#include "parser/names.h"
#include "parser/parse.h"

namespace morvane::parser {
namespace {

// The label of `MATCH (n:<written>) RETURN n`, as the tree holds it, or nothing when that does
// not parse.
std::optional<std::string> label_of(std::string_view written) {
  auto parsed = parse_with_detail("MATCH (n:" + std::string(written) + ") RETURN n");
  if (!parsed.ok()) return std::nullopt;
  const ast::CypherQuery& tree = parsed.value();
  const auto& query = std::get<ast::CypherQuery::Regular>(tree.root());
  const auto& part = std::get<ast::SingleQuery::SinglePart>(query.single_query.variant);
  const auto& match = std::get<ast::ReadingClause::Match>(tree[part.reading_clauses][0].variant);
  const ast::NodePattern& node = tree[match.pattern.parts][0].element.start;
  return std::string(tree.text(tree[node.labels][0]));
}

TEST(Names, AreWrittenSoThatTheyReadBackAsThemselves) {
  struct Row {
    std::string name;
    std::optional<std::string> written;
  };
  std::vector<Row> rows = {
      {"Person", "Person"}, {"_x1", "_x1"},         {"Big Co", "`Big Co`"},
      {"1st", "`1st`"},     {"Größe", "`Größe`"},   {"a-b", "`a-b`"},
      {"", "``"},           {"end", "`end`"},       {"Count", "`Count`"},
      {"Order", "Order"},   {"ascending", "ascending"}, {"Ends", "Ends"},
      {"endx", "endx"},     {"a`b", std::nullopt},  {"`", std::nullopt},
  };
  // Every word of the keyword rule, in both cases: reserved or not as the grammar decides.
  for (std::string_view word : kKeywordWords) {
    std::string lower(word);
    for (char& c : lower) c = static_cast<char>(c | 0x20);
    for (const std::string& name : {std::string(word), lower}) {
      rows.push_back({name, label_of(name) ? name : "`" + name + "`"});
    }
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::optional<std::string> written = written_name(row.name);
    EXPECT_EQ(written, row.written);
    if (!written) continue;
    // It parses, stands for the name, and is quoted only when the bare name does not parse.
    const std::optional<std::string> label = label_of(*written);
    ASSERT_TRUE(label.has_value());
    EXPECT_EQ(unquoted(*label), row.name);
    if (written->front() == '`') {
      EXPECT_NE(label_of(row.name), row.name);
    }
  }
}

TEST(Names, ThePlaceOfEachTextInTheQuery) {
  const std::string query =
      "MATCH (n :`Big Co`)-[r:KNOWS|LIKES]->(m {name: 'x'}) SET n.age = $a RETURN n. `end`";
  auto parsed = parse_with_detail(query);
  ASSERT_TRUE(parsed.ok());
  const ast::CypherQuery& tree = parsed.value();
  auto at = [&](ast::Str name) -> std::optional<std::string_view> {
    const std::optional<ast::Span> place = tree.place(name);
    if (!place) return std::nullopt;
    EXPECT_EQ(query.substr(place->begin, place->end - place->begin), tree.text(name));
    return std::string_view(query).substr(place->begin);
  };
  const auto& regular = std::get<ast::CypherQuery::Regular>(tree.root());
  const auto& part = std::get<ast::SingleQuery::SinglePart>(regular.single_query.variant);
  const auto& match = std::get<ast::ReadingClause::Match>(tree[part.reading_clauses][0].variant);
  const ast::PatternElement& element = tree[match.pattern.parts][0].element;
  EXPECT_EQ(at(*element.start.variable), query.substr(7));
  EXPECT_EQ(at(tree[element.start.labels][0]), query.substr(10));
  const ast::PatternStep& step = tree[element.chain][0];
  EXPECT_EQ(at(tree[step.relationship.rel_types][1]), query.substr(29));
  const auto& map = std::get<ast::MapOrParam::Map>(step.node.properties->variant);
  const ast::MapEntry& entry = tree[map.entries][0];
  EXPECT_EQ(at(entry.key), query.substr(41));
  // Other texts: a string between its quotes, a parameter's name after its "$".
  EXPECT_EQ(at(tree[entry.value].string()), query.substr(48));
  const auto& set = std::get<ast::UpdatingClause::Set>(tree[part.updating_clauses][0].variant);
  const auto& item = std::get<ast::SetItem::Property>(tree[set.items][0].variant);
  EXPECT_EQ(at(tree[item.property.keys][0]), query.substr(59));
  EXPECT_EQ(at(tree[item.value].name()), query.substr(66));
  EXPECT_EQ(tree.place(ast::Str{}), std::nullopt);
  const auto& items = std::get<ast::ReturnItems::Items>(tree[part.return_clause].items.variant);
  const ast::Expr& access = tree[tree[items][0].expr];
  EXPECT_EQ(at(access.property_access().key), query.substr(78));
}

}  // namespace
}  // namespace morvane::parser
