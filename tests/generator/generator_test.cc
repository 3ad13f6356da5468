#include "generator/generator.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "parser/recognizer.h"
#include "validator/morvane.h"

namespace morvane::generator {
namespace {

// Two labels and one relationship type between them.
schema::Schema movie_schema() {
  schema::Schema s;
  s.nodes["Person"] = {"name", "age"};
  s.nodes["Movie"] = {"title", "year"};
  s.relationships["ACTED_IN"] = {"Person", "Movie", {"role"}};
  return s;
}

CypherGenerator seeded(schema::Schema schema, std::uint64_t seed) {
  return CypherGenerator(std::move(schema), Rng::seed_from_u64(seed));
}

std::string generate_ok(CypherGenerator& gen, std::string_view type) {
  Result<std::string, CypherError> query = gen.generate(type);
  if (!query) {
    ADD_FAILURE() << type << ": " << query.error().display();
    return {};
  }
  return std::move(query).value();
}

// Known outputs of a fresh generator: each row's types are generated in turn and must give the
// row's queries.
TEST(CypherGenerator, KnownSequences) {
  struct Row {
    const char* name;
    schema::Schema schema;
    std::uint64_t seed;
    std::vector<std::string_view> types;
    std::vector<std::string_view> expected;
  };
  const Row rows[] = {
      {"S seed 42 match_return twice", movie_schema(), 42,
       {"match_return", "match_return"},
       {"MATCH (n:Person) RETURN n LIMIT 50", "MATCH (n:Person) RETURN n"}},
      {"S seed 42 order_by", movie_schema(), 42, {"order_by"},
       {"MATCH (n:Person) RETURN n ORDER BY n.age DESC"}},
      {"S seed 0 order_by", movie_schema(), 0, {"order_by"},
       {"MATCH (n:Movie) RETURN n ORDER BY n.title LIMIT 25"}},
      {"S seed 1 create", movie_schema(), 1, {"create"},
       {"CREATE (n:Person {age: \"Carol\", name: $value}) RETURN n"}},
      {"S seed 42 match_relationship", movie_schema(), 42, {"match_relationship"},
       {"MATCH (a:Person)-[r:ACTED_IN]->(b:Movie) RETURN a, r, b"}},
      {"empty seed 0 unwind", {}, 0, {"unwind"}, {"UNWIND [36, \"Carol\"] AS item RETURN item"}},
      {"empty schema, label-only types", {}, 7,
       {"create", "match_relationship", "aggregation", "create_relationship", "match_delete",
        "with_chain", "match_set"},
       {"CREATE (n:Node) RETURN n", "MATCH (n:Node) RETURN n",
        "MATCH (n:Node) RETURN count(n) AS result", "CREATE (n:Node) RETURN n",
        "MATCH (n:Node) DETACH DELETE n", "MATCH (n:Node) WITH n AS val RETURN count(*)",
        "MATCH (n:Node) RETURN n"}},
  };
  for (const Row& row : rows) {
    CypherGenerator gen = seeded(row.schema, row.seed);
    std::vector<std::string> got;
    for (std::string_view type : row.types) got.push_back(generate_ok(gen, type));
    EXPECT_EQ(got, std::vector<std::string>(row.expected.begin(), row.expected.end())) << row.name;
  }
}

// Types that draw nothing on a schema without labels or types leave the state as it was; the
// others still make their draws.
TEST(CypherGenerator, EmptySchemaDraws) {
  struct Row {
    std::string_view type;
    bool draws;
  };
  const Row rows[] = {
      {"create", false},
      {"merge", false},
      {"match_delete", false},
      {"aggregation", false},
      {"with_chain", false},
      {"match_set", false},
      {"match_relationship", false},
      {"create_relationship", false},
      {"match_return", true},        // the limit
      {"match_where_return", true},  // the limit
      {"distinct_return", true},     // the limit
      {"order_by", true},            // the direction and the limit
      {"unwind", true},              // the count and the values
  };
  for (const Row& row : rows) {
    CypherGenerator gen = seeded({}, 3);
    const Rng before = gen.rng();
    generate_ok(gen, row.type);
    EXPECT_EQ(gen.rng() != before, row.draws) << row.type;
  }
}

// A schema with one label and one property: the label's index draw still consumes an output,
// and every map holds that one property.
TEST(CypherGenerator, SingleLabelStillDraws) {
  schema::Schema s;
  s.nodes["Only"] = {"p"};
  for (std::uint64_t seed = 0; seed < 50; ++seed) {
    CypherGenerator gen = seeded(s, seed);
    Rng expected = Rng::seed_from_u64(seed);
    generate_ok(gen, "match_delete");
    expected.next_u64();
    EXPECT_EQ(gen.rng(), expected) << "seed " << seed;
    const std::string created = generate_ok(gen, "create");
    EXPECT_EQ(created.rfind("CREATE (n:Only {p: ", 0), 0u) << created;
    EXPECT_EQ(created.find(", "), std::string::npos) << created;
  }
}

// With five properties a map holds one to three distinct keys, and over many seeds every count
// and every key shows up.
TEST(CypherGenerator, PropertyMapKeys) {
  schema::Schema s;
  s.nodes["L"] = {"a", "b", "c", "d", "e"};
  std::vector<int> counts(4, 0);
  std::string keys_seen;
  for (std::uint64_t seed = 0; seed < 300; ++seed) {
    CypherGenerator gen = seeded(s, seed);
    const std::string query = generate_ok(gen, "merge");
    const std::string_view prefix = "MERGE (n:L {";
    const std::string_view suffix = "}) RETURN n";
    ASSERT_EQ(query.rfind(prefix, 0), 0u) << query;
    ASSERT_GT(query.size(), prefix.size() + suffix.size()) << query;
    ASSERT_EQ(query.substr(query.size() - suffix.size()), suffix) << query;
    std::string keys;
    std::size_t at = prefix.size();
    while (true) {
      keys += query[at];
      EXPECT_EQ(query.substr(at + 1, 2), ": ") << query;
      // Values never hold a comma, so the next entry starts after the next ", ".
      const std::size_t next = query.find(", ", at);
      if (next == std::string::npos || next > query.size() - suffix.size()) break;
      at = next + 2;
    }
    ASSERT_GE(keys.size(), 1u) << query;
    ASSERT_LE(keys.size(), 3u) << query;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      EXPECT_EQ(keys.find(keys[i]), i) << "repeated key in " << query;
      if (keys_seen.find(keys[i]) == std::string::npos) keys_seen += keys[i];
    }
    ++counts[keys.size()];
  }
  EXPECT_GT(counts[1], 0);
  EXPECT_GT(counts[2], 0);
  EXPECT_GT(counts[3], 0);
  EXPECT_EQ(keys_seen.size(), 5u) << keys_seen;
}

// A relationship type whose endpoints are not declared labels is used with its endpoints
// (From is a reserved word, so it is written quoted).
TEST(CypherGenerator, RelationshipEndpoints) {
  schema::Schema s;
  s.relationships["LINKS"] = {"From", "To", {}};
  CypherGenerator gen = seeded(s, 5);
  EXPECT_EQ(generate_ok(gen, "create_relationship"),
            "MATCH (a:`From`),(b:To) CREATE (a)-[r:LINKS]->(b) RETURN r");
  for (int i = 0; i < 40; ++i) {
    const std::string query = generate_ok(gen, "match_relationship");
    EXPECT_TRUE(query == "MATCH (a:`From`)-[r:LINKS]->(b:To) RETURN a, r, b" ||
                query == "OPTIONAL MATCH (a:`From`)-[r:LINKS]->(b:To) RETURN a, r, b")
        << query;
  }
}

TEST(CypherGenerator, UnknownTypeFailsWithoutDrawing) {
  const std::string_view bad_types[] = {"MATCH_RETURN", "", "match_return ", "bogus", "unwind\n"};
  for (std::string_view bad : bad_types) {
    CypherGenerator gen = seeded(movie_schema(), 42);
    const Rng before = gen.rng();
    Result<std::string, CypherError> query = gen.generate(bad);
    ASSERT_FALSE(query.ok()) << bad;
    EXPECT_EQ(query.error().kind(), CypherError::Kind::Generator) << bad;
    EXPECT_EQ(query.error().display(), "Generator error: Unknown query type: " + std::string(bad))
        << bad;
    EXPECT_EQ(gen.rng(), before) << bad;
    // The next query is the one a fresh generator gives first.
    EXPECT_EQ(generate_ok(gen, "match_return"), "MATCH (n:Person) RETURN n LIMIT 50") << bad;
  }
}

TEST(CypherGenerator, SameSeedSameSequence) {
  for (std::uint64_t seed : {0u, 1u, 99u, 123456789u}) {
    CypherGenerator a = seeded(movie_schema(), seed);
    Result<CypherGenerator, OsRandomError> b = CypherGenerator::create(movie_schema(), seed);
    ASSERT_TRUE(b.ok());
    for (int round = 0; round < 5; ++round) {
      for (std::string_view type : kQueryTypeNames) {
        EXPECT_EQ(generate_ok(a, type), generate_ok(*b, type)) << "seed " << seed << " " << type;
      }
    }
  }
  Result<CypherGenerator, OsRandomError> unseeded = CypherGenerator::create(movie_schema(), {});
  ASSERT_TRUE(unseeded.ok()) << unseeded.error().message;
  EXPECT_FALSE(generate_ok(*unseeded, "match_return").empty());
}

// Every query of every type, over several schemas and many seeds, is accepted by the grammar.
TEST(CypherGenerator, EveryQueryIsRecognized) {
  schema::Schema wide;
  wide.nodes["Person"] = {"name", "age", "email", "born", "city"};
  wide.nodes["Company"] = {"name"};
  wide.nodes["Tag"] = {};
  wide.relationships["WORKS_AT"] = {"Person", "Company", {"since"}};
  wide.relationships["KNOWS"] = {"Person", "Person", {}};
  wide.relationships["TAGGED"] = {"Company", "Tag", {}};
  struct Row {
    const char* name;
    schema::Schema schema;
  };
  const Row rows[] = {{"S", movie_schema()}, {"empty", {}}, {"wide", wide}};
  parser::Recognizer recognizer;
  for (const Row& row : rows) {
    for (std::uint64_t seed = 0; seed < 200; ++seed) {
      CypherGenerator gen = seeded(row.schema, seed);
      for (std::string_view type : kQueryTypeNames) {
        const std::string query = generate_ok(gen, type);
        EXPECT_TRUE(recognizer.parse(query))
            << row.name << " seed " << seed << " " << type << ": " << query << "\n"
            << recognizer.error().display;
      }
    }
  }
}

// Names that need quoting, and names near them that do not.
schema::Schema quoted_schema() {
  schema::Schema s;
  s.nodes["My Label"] = {"a b"};
  s.nodes["End"] = {"x"};
  s.nodes["Order"] = {"id"};
  s.nodes["Product"] = {};
  s.relationships["CONTAINS"] = {"Order", "Product", {}};
  return s;
}

// A name in every place a query writes one: a label, its property (also as a map key) and a
// relationship type between two nodes of that label. Labels and types that a query can write
// only quoted are quoted; plain names are written as they are.
TEST(CypherGenerator, NamesAreWrittenAsAQueryWritesThem) {
  struct Row {
    std::string name;
    std::string written;
  };
  const Row rows[] = {
      {"Person", "Person"},
      {"_x1", "_x1"},
      {"Order", "Order"},  // the keyword rule commits to OR, so ORDER is not reserved here
      {"Orders", "Orders"},
      {"endx", "endx"},
      {"End", "`End`"},
      {"end", "`end`"},
      {"CONTAINS", "`CONTAINS`"},
      {"match", "`match`"},
      {"My Label", "`My Label`"},
      {"a b", "`a b`"},
      {"1x", "`1x`"},
      {"é", "`é`"},
      {"", "``"},
  };
  for (const Row& row : rows) {
    schema::Schema s;
    s.nodes[row.name] = {row.name};
    s.relationships[row.name] = {row.name, row.name, {}};
    const std::string& w = row.written;
    CypherGenerator gen = seeded(s, 11);
    EXPECT_EQ(generate_ok(gen, "aggregation"), "MATCH (n:" + w + ") RETURN count(n." + w +
                                                   ") AS result")
        << row.name;
    EXPECT_EQ(generate_ok(gen, "create_relationship"),
              "MATCH (a:" + w + "),(b:" + w + ") CREATE (a)-[r:" + w + "]->(b) RETURN r")
        << row.name;
    EXPECT_EQ(generate_ok(gen, "create").rfind("CREATE (n:" + w + " {" + w + ": ", 0), 0u)
        << row.name;
  }
}

// A name holding a backtick cannot be written in any query: the generator draws as if the
// schema lacked it, together with the types that have such a label at one end.
TEST(CypherGenerator, LeavesOutNamesNoQueryCanWrite) {
  schema::Schema with = movie_schema();
  with.nodes["Person"].insert("a`ge");
  with.nodes["Mo`vie"] = {"title"};
  with.relationships["LI`KES"] = {"Person", "Movie", {}};
  with.relationships["WATCHED"] = {"Person", "Mo`vie", {}};
  with.relationships["RATED"] = {"`", "Movie", {}};
  schema::Schema only_unwritable;
  only_unwritable.nodes["`"] = {"x"};
  only_unwritable.relationships["`R`"] = {"A", "B", {}};
  struct Row {
    const char* name;
    schema::Schema schema;
    schema::Schema same_as;
  };
  const Row rows[] = {
      {"movie schema and unwritable names", with, movie_schema()},
      {"unwritable names only", only_unwritable, {}},
  };
  for (const Row& row : rows) {
    for (std::uint64_t seed = 0; seed < 40; ++seed) {
      CypherGenerator gen = seeded(row.schema, seed);
      CypherGenerator expected = seeded(row.same_as, seed);
      for (int round = 0; round < 2; ++round) {
        for (std::string_view type : kQueryTypeNames) {
          EXPECT_EQ(generate_ok(gen, type), generate_ok(expected, type))
              << row.name << " seed " << seed << " " << type;
        }
      }
    }
  }
}

// Every query of every type validates against the schema it was drawn from: no parse error and
// no semantic error (warnings are allowed), whatever names the schema has.
TEST(CypherGenerator, EveryQueryValidatesAgainstItsSchema) {
  schema::Schema near_misses;
  near_misses.nodes["end"] = {"match", "Orders", "1x"};
  near_misses.nodes["é"] = {"", "_"};
  near_misses.nodes["Order"] = {"return", "a-b"};
  near_misses.nodes["x`y"] = {"p"};
  near_misses.relationships["HAS IT"] = {"end", "é", {"w"}};
  near_misses.relationships["WHERE"] = {"Order", "end", {}};
  near_misses.relationships["IN`TO"] = {"Order", "é", {}};
  struct Row {
    const char* name;
    schema::Schema schema;
  };
  const Row rows[] = {{"S", movie_schema()}, {"quoted", quoted_schema()},
                      {"near misses", near_misses}};
  for (const Row& row : rows) {
    const validator::Morvane morvane(row.schema);
    for (std::uint64_t seed = 0; seed < 150; ++seed) {
      CypherGenerator gen = seeded(row.schema, seed);
      for (int round = 0; round < 2; ++round) {
        for (std::string_view type : kQueryTypeNames) {
          const std::string query = generate_ok(gen, type);
          const validator::PyValidationResult result = morvane.validate(query);
          EXPECT_TRUE(result.is_valid)
              << row.name << " seed " << seed << " " << type << ": " << query << "\n"
              << (result.errors().empty() ? "" : result.errors().front());
        }
      }
    }
  }
}

}  // namespace
}  // namespace morvane::generator
