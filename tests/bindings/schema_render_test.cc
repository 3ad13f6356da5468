// The three schema renderings: whole texts byte for byte, and the 26-character name field of
// the plain-text form, which counts characters rather than bytes.
#include "bindings/schema_render.h"

#include <gtest/gtest.h>

#include <string>

#include "parser/recognizer.h"
#include "schema/schema_json.h"

namespace morvane::bindings {
namespace {

using schema::Schema;

// Built out of byte order on purpose: the renderings sort.
Schema worked_example() {
  Schema s;
  s.relationships["KNOWS"] = {"Person", "Person", {}};
  s.relationships["ACTED_IN"] = {"Person", "Movie", {"role"}};
  s.nodes["Tag"] = {};
  s.nodes["Person"] = {"name", "age"};
  s.nodes["Movie"] = {"title"};
  return s;
}

TEST(SchemaRender, WholeTextsAreExact) {
  Schema undeclared_endpoints;
  undeclared_endpoints.nodes["Person"] = {"name"};
  undeclared_endpoints.relationships["OWNS"] = {"Ghost", "Car", {"since"}};

  // Empty names and characters that mean something in Markdown or Cypher are written as they
  // are stored, except in the Cypher patterns, which quote them as a query must.
  Schema raw_names;
  raw_names.nodes[""] = {"a b"};
  raw_names.nodes["x\ny"] = {};
  raw_names.relationships["|"] = {"", "{", {}};

  struct Row {
    const char* name;
    Schema schema;
    std::string prompt, markdown, cypher;
  };
  const Row rows[] = {
      {"worked example", worked_example(),
       "Graph Schema\n"
       "============\n"
       "\n"
       "Nodes\n"
       "-----\n"
       "  :Movie                       title\n"
       "  :Person                      age, name\n"
       "  :Tag\n"
       "\n"
       "Relationships\n"
       "-------------\n"
       "  :ACTED_IN                    (Person)-->(Movie)   role\n"
       "  :KNOWS                       (Person)-->(Person)\n",
       "### Nodes\n\n| Label | Properties |\n|---|---|\n| :Movie | title |\n"
       "| :Person | age, name |\n| :Tag | — |\n\n### Relationships\n\n"
       "| Type | Source → Target | Properties |\n|---|---|---|\n"
       "| :ACTED_IN | :Person → :Movie | role |\n| :KNOWS | :Person → :Person | — |\n",
       "// Node labels and their properties\n(:Movie {title})\n(:Person {age, name})\n(:Tag)\n\n"
       "// Relationship types\n(:Person)-[:ACTED_IN {role}]->(:Movie)\n"
       "(:Person)-[:KNOWS]->(:Person)\n"},
      {"empty schema", Schema{},
       "Graph Schema\n============\n\nNodes\n-----\n\nRelationships\n-------------\n",
       "### Nodes\n\n| Label | Properties |\n|---|---|\n\n### Relationships\n\n"
       "| Type | Source → Target | Properties |\n|---|---|---|\n",
       "// Node labels and their properties\n\n// Relationship types\n"},
      {"endpoints that are not declared labels", undeclared_endpoints,
       "Graph Schema\n============\n\nNodes\n-----\n"
       "  :Person                      name\n"
       "\nRelationships\n-------------\n"
       "  :OWNS                        (Ghost)-->(Car)   since\n",
       "### Nodes\n\n| Label | Properties |\n|---|---|\n| :Person | name |\n\n"
       "### Relationships\n\n| Type | Source → Target | Properties |\n|---|---|---|\n"
       "| :OWNS | :Ghost → :Car | since |\n",
       "// Node labels and their properties\n(:Person {name})\n\n// Relationship types\n"
       "(:Ghost)-[:OWNS {since}]->(:Car)\n"},
      {"raw names", raw_names,
       "Graph Schema\n============\n\nNodes\n-----\n"
       "  :                            a b\n"
       "  :x\ny\n"
       "\nRelationships\n-------------\n"
       "  :|                           ()-->({)\n",
       "### Nodes\n\n| Label | Properties |\n|---|---|\n| : | a b |\n| :x\ny | — |\n\n"
       "### Relationships\n\n| Type | Source → Target | Properties |\n|---|---|---|\n"
       "| :| | : → :{ | — |\n",
       "// Node labels and their properties\n(:`` {`a b`})\n(:`x\ny`)\n\n// Relationship types\n"
       "(:``)-[:`|`]->(:`{`)\n"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(to_prompt(row.schema), row.prompt) << row.name;
    EXPECT_EQ(to_markdown(row.schema), row.markdown) << row.name;
    EXPECT_EQ(to_cypher_context(row.schema), row.cypher) << row.name;
  }
}

// The Cypher patterns write every name as a query writes it; the other renderings keep the
// names as stored.
TEST(SchemaRender, CypherContextQuotesNames) {
  Schema s;
  s.nodes["My Label"] = {"a b"};
  s.nodes["End"] = {"x"};
  s.nodes["Order"] = {"id"};
  s.nodes["Product"] = {};
  s.relationships["CONTAINS"] = {"Order", "Product", {}};
  EXPECT_EQ(to_cypher_context(s),
            "// Node labels and their properties\n(:`End` {x})\n(:`My Label` {`a b`})\n"
            "(:Order {id})\n(:Product)\n\n// Relationship types\n"
            "(:Order)-[:`CONTAINS`]->(:Product)\n");
  EXPECT_NE(to_prompt(s).find("  :My Label                    a b\n"), std::string::npos);
  EXPECT_NE(to_markdown(s).find("| :CONTAINS | :Order → :Product | — |\n"), std::string::npos);

  // One name in every place: label, property, type, source and target.
  struct Row {
    std::string name;
    std::string written;
  };
  const Row rows[] = {
      {"Person", "Person"},
      {"_x1", "_x1"},
      // The keyword rule commits to OR, which ORDER begins with, so Order is no reserved word.
      {"Order", "Order"},
      {"Orders", "Orders"},
      {"endx", "endx"},
      {"End", "`End`"},
      {"end", "`end`"},
      {"CONTAINS", "`CONTAINS`"},
      {"match", "`match`"},
      {"My Label", "`My Label`"},
      {"1x", "`1x`"},
      {"a-b", "`a-b`"},
      {"é", "`é`"},
      {"", "``"},
      // No query can write it; the pattern still shows it.
      {"a`b", "`a`b`"},
  };
  parser::Recognizer recognizer;
  for (const Row& row : rows) {
    Schema one;
    one.nodes[row.name] = {row.name};
    one.relationships[row.name] = {row.name, row.name, {row.name}};
    const std::string& w = row.written;
    EXPECT_EQ(to_cypher_context(one), "// Node labels and their properties\n(:" + w + " {" + w +
                                          "})\n\n// Relationship types\n(:" + w + ")-[:" + w +
                                          " {" + w + "}]->(:" + w + ")\n")
        << schema::debug_quote(row.name);
    // The written form is the one the grammar accepts in each of those places.
    const std::string query = "MATCH (n:" + w + ")-[:" + w + "]->(:" + w + ") RETURN n." + w;
    EXPECT_EQ(recognizer.parse(query), row.name.find('`') == std::string::npos) << query;
  }
}

// One label or one type per row, and the line to_prompt writes for it.
TEST(SchemaRender, PromptFillsNamesToTwentySixCharacters) {
  const std::string name26(26, 'L');
  const std::string name27(27, 'L');
  struct Row {
    bool is_type;
    std::string name;
    schema::PropertySet properties;
    std::string line;
  };
  const Row rows[] = {
      {false, "Tag", {}, "  :Tag"},  // a label without properties gets no fill
      {true, "KNOWS", {}, "  :KNOWS" + std::string(21, ' ') + "  (A)-->(B)"},
      {false, name26, {"p"}, "  :" + name26 + "  p"},
      {false, name27, {"p"}, "  :" + name27 + "  p"},
      {true, name26, {}, "  :" + name26 + "  (A)-->(B)"},
      {true, name27, {"p", "q"}, "  :" + name27 + "  (A)-->(B)   p, q"},
      // 5 characters in 7 bytes, 2 in 6, 1 in 4.
      {false, "Größe", {"p"}, "  :Größe" + std::string(21, ' ') + "  p"},
      {true, "関係", {"p"}, "  :関係" + std::string(24, ' ') + "  (A)-->(B)   p"},
      {false, "😀", {"p"}, "  :😀" + std::string(25, ' ') + "  p"},
      // 26 characters but 27 bytes: filled by characters, so no fill at all.
      {false, "é" + std::string(25, 'x'), {"p"}, "  :é" + std::string(25, 'x') + "  p"},
  };
  for (const Row& row : rows) {
    Schema s;
    std::string expected = "Graph Schema\n============\n\nNodes\n-----\n";
    if (row.is_type) {
      s.relationships[row.name] = {"A", "B", row.properties};
      expected += "\nRelationships\n-------------\n" + row.line + "\n";
    } else {
      s.nodes[row.name] = row.properties;
      expected += row.line + "\n\nRelationships\n-------------\n";
    }
    EXPECT_EQ(to_prompt(s), expected) << schema::debug_quote(row.name);
  }
}

}  // namespace
}  // namespace morvane::bindings
