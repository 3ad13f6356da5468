// The schema model and its JSON form: ordered accessors, the writer's exact text, the reader's
// accepted shapes and its refusals with their exact messages and positions.
#include "schema/schema.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "schema/schema_json.h"

namespace morvane::schema {
namespace {

using Names = std::vector<std::string_view>;

Schema movies() {
  Schema s;
  s.nodes["Person"] = {"name", "age"};
  s.nodes["Movie"] = {"title"};
  s.nodes["person"] = {};
  s.relationships["ACTED_IN"] = {"Person", "Movie", {"role", "billing"}};
  s.relationships["FOLLOWS"] = {"Ghost", "Person", {}};
  return s;
}

TEST(SchemaAccessors, ListsAreSortedByBytes) {
  Schema s;
  for (const char* label : {"b", "B", "a", "ab", "personal", "Person", "person", ""}) {
    s.nodes[label] = {};
  }
  EXPECT_EQ(s.node_labels(), (Names{"", "B", "Person", "a", "ab", "b", "person", "personal"}));

  Schema m = movies();
  EXPECT_EQ(m.rel_types(), (Names{"ACTED_IN", "FOLLOWS"}));
  EXPECT_EQ(m.node_properties("Person"), (Names{"age", "name"}));
  EXPECT_EQ(m.rel_properties("ACTED_IN"), (Names{"billing", "role"}));
}

TEST(SchemaAccessors, UndeclaredNamesGiveEmptyListsOrNothing) {
  Schema m = movies();
  for (std::string_view name : {"person ", "PERSON", "Ghost", "acted_in", ""}) {
    EXPECT_TRUE(m.rel_properties(name).empty()) << name;
    EXPECT_FALSE(m.rel_src_tgt(name).has_value()) << name;
    EXPECT_FALSE(m.has_rel_type(name)) << name;
  }
  for (std::string_view name : {"Persons", "PERSON", "Ghost", ""}) {
    EXPECT_TRUE(m.node_properties(name).empty()) << name;
    EXPECT_FALSE(m.has_node_label(name)) << name;
    EXPECT_FALSE(m.node_has_property(name, "name")) << name;
  }
  Schema empty;
  EXPECT_TRUE(empty.node_labels().empty());
  EXPECT_TRUE(empty.rel_types().empty());
}

TEST(SchemaAccessors, MembershipIsExact) {
  Schema m = movies();
  struct Row {
    std::string_view label, property;
    bool declared;
  };
  const Row nodes[] = {
      {"Person", "name", true},  {"Person", "Name", false}, {"person", "name", false},
      {"Movie", "title", true},  {"Movie", "name", false},  {"Person", "name ", false},
  };
  for (const Row& row : nodes) {
    EXPECT_EQ(m.node_has_property(row.label, row.property), row.declared)
        << row.label << "." << row.property;
  }
  EXPECT_TRUE(m.has_node_label("person"));
  EXPECT_TRUE(m.rel_has_property("ACTED_IN", "role"));
  EXPECT_FALSE(m.rel_has_property("ACTED_IN", "Role"));
  EXPECT_FALSE(m.rel_has_property("FOLLOWS", "role"));
  // Endpoints need not be declared labels.
  EXPECT_EQ(m.rel_src_tgt("FOLLOWS"), (std::pair<std::string_view, std::string_view>("Ghost",
                                                                                     "Person")));
}

TEST(SchemaAccessors, ViewsPointIntoTheSchema) {
  Schema m = movies();
  Names labels = m.node_labels();
  ASSERT_FALSE(labels.empty());
  EXPECT_EQ(labels.front().data(), m.nodes.begin()->first.data());
  auto ends = m.rel_src_tgt("ACTED_IN");
  ASSERT_TRUE(ends);
  EXPECT_EQ(ends->first.data(), m.relationships.at("ACTED_IN").source.data());
}

TEST(SchemaWrite, CompactTextInByteOrder) {
  struct Row {
    Schema schema;
    std::string_view json;
  };
  Schema escapes;
  escapes.nodes["a\"b\\c"] = {std::string("\x01\x1f\x7f", 3), "\b\f\n\r\t", "caf\xc3\xa9 /"};
  escapes.relationships[std::string("\0", 1)] = {"", "\xf0\x9f\x98\x80", {}};
  const Row rows[] = {
      {Schema{}, R"({"nodes":{},"relationships":{}})"},
      {movies(),
       R"({"nodes":{"Movie":["title"],"Person":["age","name"],"person":[]},)"
       R"("relationships":{"ACTED_IN":["Person","Movie",["billing","role"]],)"
       R"("FOLLOWS":["Ghost","Person",[]]}})"},
      {escapes,
       "{\"nodes\":{\"a\\\"b\\\\c\":[\"\\u0001\\u001f\x7f\",\"\\b\\f\\n\\r\\t\","
       "\"caf\xc3\xa9 /\"]},\"relationships\":{\"\\u0000\":[\"\",\"\xf0\x9f\x98\x80\",[]]}}"},
  };
  for (const Row& row : rows) {
    std::string written = serialize(row.schema);
    EXPECT_EQ(written, row.json);
    auto read = deserialize(written);
    ASSERT_TRUE(read) << written << "\n" << read.error().display();
    EXPECT_EQ(*read, row.schema) << written;
  }
}

TEST(SchemaRead, AcceptedTexts) {
  struct Row {
    std::string_view json;
    std::string_view rewritten;  // serialize of what was read
  };
  const Row rows[] = {
      {R"({"nodes":{},"relationships":{}})", R"({"nodes":{},"relationships":{}})"},
      {R"({"relationships":{},"nodes":{},"comment":[1,{"x":null}]})",
       R"({"nodes":{},"relationships":{}})"},
      {R"([{},{}])", R"({"nodes":{},"relationships":{}})"},
      {" \t\r\n[ {\"A\" : [ \"p\" ] } ,\n{ } ]\n ", R"({"nodes":{"A":["p"]},"relationships":{}})"},
      // Later duplicates inside the maps win; repeated property names collapse.
      {R"({"nodes":{"A":["p"],"A":["q"]},"relationships":{}})",
       R"({"nodes":{"A":["q"]},"relationships":{}})"},
      {R"({"nodes":{"A":["p","p"]},"relationships":{}})",
       R"({"nodes":{"A":["p"]},"relationships":{}})"},
      {R"({"nodes":{},"relationships":{"R":["X","Y",[]],"R":["A","B",["w"]]}})",
       R"({"nodes":{},"relationships":{"R":["A","B",["w"]]}})"},
      // Endpoints that are not declared labels, and empty names.
      {R"({"nodes":{"":[""]},"relationships":{"":["Nowhere","",["s","s"]]}})",
       R"({"nodes":{"":[""]},"relationships":{"":["Nowhere","",["s"]]}})"},
      // Escapes are decoded, member names too.
      {R"({"no\u0064es":{"caf\u00e9":["\ud83d\ude00","\"\\\/\b\f\n\r\t"]},"relationships":{}})",
       "{\"nodes\":{\"caf\xc3\xa9\":[\"\\\"\\\\/\\b\\f\\n\\r\\t\",\"\xf0\x9f\x98\x80\"]},"
       "\"relationships\":{}}"},
      // Skipped members may hold any well-formed value, numbers of any size included.
      {R"({"a":-0.5E+3,"b":[true,false,null,"\u0000\udc00"],"c":{"d":{}},"e":1e999,)"
       R"("nodes":{},"f":[[],[[]]],"relationships":{},"g":12345678901234567890123})",
       R"({"nodes":{},"relationships":{}})"},
      // Their strings are not decoded: unpaired surrogates and invalid UTF-8 pass.
      {"{\"x\":[\"\\ud800\xff\",{\"\xc0\":0}],\"nodes\":{},\"relationships\":{}}",
       R"({"nodes":{},"relationships":{}})"},
  };
  for (const Row& row : rows) {
    auto read = deserialize(row.json);
    ASSERT_TRUE(read) << row.json << "\n" << read.error().display();
    EXPECT_EQ(serialize(*read), row.rewritten) << row.json;
  }
}

TEST(SchemaRead, SkippedValuesNestAnyDepth) {
  constexpr std::size_t kDepth = 200000;
  std::string json = "{\"deep\":";
  for (std::size_t i = 0; i < kDepth; ++i) json += i % 2 ? "{\"k\":" : "[";
  json += "0";
  for (std::size_t i = kDepth; i-- > 0;) json += i % 2 ? "}" : "]";
  json += ",\"nodes\":{},\"relationships\":{}}";
  auto read = deserialize(json);
  ASSERT_TRUE(read) << read.error().display();
  EXPECT_EQ(*read, Schema{});

  json.resize(json.size() - std::string_view("],\"nodes\":{},\"relationships\":{}}").size());
  auto cut = deserialize(json);
  ASSERT_FALSE(cut);
  EXPECT_EQ(cut.error().message, "EOF while parsing a list");
}

struct Refused {
  std::string_view json;
  std::string_view display;
};

void expect_refused(const Refused& row) {
  auto read = deserialize(row.json);
  ASSERT_FALSE(read) << row.json;
  EXPECT_EQ(read.error().display(), row.display) << row.json;
}

TEST(SchemaRead, ShapeErrors) {
  const Refused rows[] = {
      {"{}", "missing field `nodes` at line 1 column 2"},
      {"{ }", "missing field `nodes` at line 1 column 3"},
      {R"({"relationships":{}})", "missing field `nodes` at line 1 column 20"},
      {R"({"nodes":{}})", "missing field `relationships` at line 1 column 12"},
      {R"({"nodes":{},"nodes":{}})", "duplicate field `nodes` at line 1 column 19"},
      // The position is where the reader stands after looking for the object's end.
      {R"({"nodes":{},"nodes" :{}})", "duplicate field `nodes` at line 1 column 20"},
      {R"({"nodes":{},"relationships":{},"relationships":{}})",
       "duplicate field `relationships` at line 1 column 46"},
      {"[]", "invalid length 0, expected struct Schema with 2 elements at line 1 column 2"},
      {"[{}]", "invalid length 1, expected struct Schema with 2 elements at line 1 column 4"},
      {"[{},{},{}]", "trailing characters at line 1 column 8"},
      {"[{},{},]", "trailing comma at line 1 column 8"},
      {"3", "invalid type: integer `3`, expected struct Schema at line 1 column 1"},
      {" -3 ", "invalid type: integer `-3`, expected struct Schema at line 1 column 3"},
      {"1.5", "invalid type: floating point `1.5`, expected struct Schema at line 1 column 3"},
      {"1e5",
       "invalid type: floating point `100000.0`, expected struct Schema at line 1 column 3"},
      {R"("x")", "invalid type: string \"x\", expected struct Schema at line 1 column 3"},
      {"true", "invalid type: boolean `true`, expected struct Schema at line 1 column 4"},
      {"false", "invalid type: boolean `false`, expected struct Schema at line 1 column 5"},
      {"null", "invalid type: null, expected struct Schema at line 1 column 4"},
      {R"({"nodes":[],"relationships":{}})",
       "invalid type: sequence, expected a map at line 1 column 9"},
      {R"({"nodes":{},"relationships":"R"})",
       "invalid type: string \"R\", expected a map at line 1 column 31"},
      {R"({"nodes":{"A":"p"},"relationships":{}})",
       "invalid type: string \"p\", expected a sequence at line 1 column 17"},
      {R"({"nodes":{"A":{}},"relationships":{}})",
       "invalid type: map, expected a sequence at line 1 column 14"},
      {R"({"nodes":{"A":[1]},"relationships":{}})",
       "invalid type: integer `1`, expected a string at line 1 column 16"},
      {R"({"nodes":{"A":["a",["b"]]},"relationships":{}})",
       "invalid type: sequence, expected a string at line 1 column 19"},
      {R"({"nodes":{},"relationships":{"R":{}}})",
       "invalid type: map, expected a tuple of size 3 at line 1 column 33"},
      {R"({"nodes":{},"relationships":{"R":true}})",
       "invalid type: boolean `true`, expected a tuple of size 3 at line 1 column 37"},
      {R"({"nodes":{},"relationships":{"R":[]}})",
       "invalid length 0, expected a tuple of size 3 at line 1 column 35"},
      {R"({"nodes":{},"relationships":{"R":["A"]}})",
       "invalid length 1, expected a tuple of size 3 at line 1 column 38"},
      {R"({"nodes":{},"relationships":{"R":["A","B"]}})",
       "invalid length 2, expected a tuple of size 3 at line 1 column 42"},
      {R"({"nodes":{},"relationships":{"R":["A","B",[],"x"]}})",
       "trailing characters at line 1 column 46"},
      {R"({"nodes":{},"relationships":{"R":["A",null,[]]}})",
       "invalid type: null, expected a string at line 1 column 42"},
      {R"({"nodes":{},"relationships":{"R":["A","B","p"]}})",
       "invalid type: string \"p\", expected a sequence at line 1 column 45"},
  };
  for (const Refused& row : rows) expect_refused(row);
}

TEST(SchemaRead, ValueDescriptions) {
  // How a value of the wrong type is described: numbers in their shortest form, strings quoted
  // with escapes.
  const Refused rows[] = {
      {"0", "invalid type: integer `0`, expected struct Schema at line 1 column 1"},
      {"-0", "invalid type: floating point `-0.0`, expected struct Schema at line 1 column 2"},
      {"18446744073709551615",
       "invalid type: integer `18446744073709551615`, expected struct Schema at line 1 column 20"},
      {"18446744073709551616",
       "invalid type: floating point `1.8446744073709552e19`, expected struct Schema at line 1 "
       "column 20"},
      {"-9223372036854775808",
       "invalid type: integer `-9223372036854775808`, expected struct Schema at line 1 column 20"},
      {"-9223372036854775809",
       "invalid type: floating point `-9.223372036854776e18`, expected struct Schema at line 1 "
       "column 20"},
      {"1e15",
       "invalid type: floating point `1000000000000000.0`, expected struct Schema at line 1 "
       "column 4"},
      {"1e16", "invalid type: floating point `1e16`, expected struct Schema at line 1 column 4"},
      {"12.5e-1",
       "invalid type: floating point `1.25`, expected struct Schema at line 1 column 7"},
      {"0.00001",
       "invalid type: floating point `0.00001`, expected struct Schema at line 1 column 7"},
      {"0.000001",
       "invalid type: floating point `1e-6`, expected struct Schema at line 1 column 8"},
      {"-1.5E-7",
       "invalid type: floating point `-1.5e-7`, expected struct Schema at line 1 column 7"},
      {"123456789.125",
       "invalid type: floating point `123456789.125`, expected struct Schema at line 1 column 13"},
      {"1e-400", "invalid type: floating point `0.0`, expected struct Schema at line 1 column 6"},
      {"0e99999999999",
       "invalid type: floating point `0.0`, expected struct Schema at line 1 column 13"},
      {"2e-99999999999",
       "invalid type: floating point `0.0`, expected struct Schema at line 1 column 14"},
      {R"("a\"b\\c\td\u0000")",
       R"(invalid type: string "a\"b\\c\td\0", expected struct Schema at line 1 column 18)"},
      {"\"caf\\u00e9\\u0301\"",
       "invalid type: string \"caf\xc3\xa9\\u{301}\", expected struct Schema at line 1 column 17"},
  };
  for (const Refused& row : rows) expect_refused(row);
}

TEST(SchemaRead, MalformedJson) {
  const Refused rows[] = {
      {"", "EOF while parsing a value at line 1 column 0"},
      {"   ", "EOF while parsing a value at line 1 column 3"},
      {"{", "EOF while parsing an object at line 1 column 1"},
      {"[", "EOF while parsing a list at line 1 column 1"},
      {"[{},", "EOF while parsing a value at line 1 column 4"},
      {R"({"nodes")", "EOF while parsing an object at line 1 column 8"},
      {R"({"nodes" 1)", "expected `:` at line 1 column 10"},
      {"{1:2}", "key must be a string at line 1 column 2"},
      {R"({"nodes":{},})", "trailing comma at line 1 column 13"},
      {R"({"nodes":{}, 7})", "key must be a string at line 1 column 14"},
      {R"({"nodes":{},)", "EOF while parsing a value at line 1 column 12"},
      {R"({"nodes":{} "relationships":{}})", "expected `,` or `}` at line 1 column 13"},
      {"[{} {}]", "expected `,` or `]` at line 1 column 5"},
      {R"({"nodes":{},"relationships":{}} x)", "trailing characters at line 1 column 33"},
      {R"({"nodes":{},"relationships":{}}{})", "trailing characters at line 1 column 32"},
      {"@", "expected value at line 1 column 1"},
      {"\xef\xbb\xbf{}", "expected value at line 1 column 1"},
      {"nope", "expected ident at line 1 column 2"},
      {R"({"x":tru})", "expected ident at line 1 column 9"},
      {R"({"x":nul)", "EOF while parsing a value at line 1 column 8"},
      {R"({"x":@})", "expected value at line 1 column 6"},
      {"-", "EOF while parsing a value at line 1 column 1"},
      {"-x", "invalid number at line 1 column 2"},
      {"01", "invalid number at line 1 column 2"},
      {"1.", "EOF while parsing a value at line 1 column 2"},
      {"1.e3", "invalid number at line 1 column 3"},
      {"1e", "EOF while parsing a value at line 1 column 2"},
      {"1e+x", "invalid number at line 1 column 4"},
      {"1e400", "number out of range at line 1 column 5"},
      {"-1e309", "number out of range at line 1 column 6"},
      {"1e99999999999", "number out of range at line 1 column 12"},
      {R"({"nodes":{"A":["\q"]}})", "invalid escape at line 1 column 18"},
      {R"({"nodes":{"\u12G4":[]}})", "invalid escape at line 1 column 17"},
      {R"({"nodes":{"\u12)", "EOF while parsing a string at line 1 column 15"},
      {R"({"nodes":{"ab)", "EOF while parsing a string at line 1 column 13"},
      {R"({"nodes":{"ab\)", "EOF while parsing a string at line 1 column 14"},
      {R"({"nodes":{"\udc00":[]}})", "lone leading surrogate in hex escape at line 1 column 17"},
      {R"({"nodes":{"\ud800\u0041":[]}})",
       "lone leading surrogate in hex escape at line 1 column 23"},
      {R"({"nodes":{"\ud800":[]}})", "unexpected end of hex escape at line 1 column 18"},
      {R"({"nodes":{"\ud800\n":[]}})", "unexpected end of hex escape at line 1 column 19"},
      {R"({"nodes":{"\ud800)", "EOF while parsing a string at line 1 column 17"},
      {"{\"nodes\":{\"a\tb\":[]}}",
       "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 13"},
      {"{\"nodes\":{\"\xff\":[]}}", "invalid unicode code point at line 1 column 13"},
      {"{\"nodes\":{\"\xed\xa0\x80\":[]}}", "invalid unicode code point at line 1 column 15"},
      {"{\"nodes\":{\"A\":[\"\xc0\xaf\"]}}", "invalid unicode code point at line 1 column 19"},
      // Lines count line feeds; the column restarts after each.
      {"{\n\"nodes\":{},\n\"x\" 1}", "expected `:` at line 3 column 5"},
      {"{\r\n  \"nodes\":{},\r\n  \"relationships\":{}\r\n", "EOF while parsing an object at "
                                                          "line 4 column 0"},
      {"[{}\n,\n", "EOF while parsing a value at line 3 column 0"},
      {"1.\n", "invalid number at line 2 column 0"},
  };
  for (const Refused& row : rows) expect_refused(row);
}

TEST(SchemaRead, MalformedSkippedValues) {
  // A skipped member's value is only checked for well-formedness; the messages are those of
  // the same mistake elsewhere, except where noted.
  const Refused rows[] = {
      {R"({"x":[1 2]})", "expected `,` or `]` at line 1 column 9"},
      {R"({"x":{"a":1 "b":2}})", "expected `,` or `}` at line 1 column 13"},
      {R"({"x":{"a" 1}})", "expected `:` at line 1 column 11"},
      {R"({"x":{"a")", "EOF while parsing an object at line 1 column 9"},
      {R"({"x":{1:1}})", "key must be a string at line 1 column 7"},
      {R"({"x":{,}})", "key must be a string at line 1 column 7"},
      // A trailing comma reads as a missing element or key.
      {R"({"x":[1,]})", "expected value at line 1 column 9"},
      {R"({"x":{"a":1,}})", "key must be a string at line 1 column 13"},
      {R"({"x":[)", "EOF while parsing a list at line 1 column 6"},
      {R"({"x":[1)", "EOF while parsing a list at line 1 column 7"},
      {R"({"x":{)", "EOF while parsing an object at line 1 column 6"},
      {R"({"x":{"a":1)", "EOF while parsing an object at line 1 column 11"},
      {R"({"x":{"a":1,)", "EOF while parsing an object at line 1 column 12"},
      {R"({"x":[1,)", "EOF while parsing a value at line 1 column 8"},
      {R"({"x":[[]]]})", "expected `,` or `}` at line 1 column 10"},
      {R"({"x":)", "EOF while parsing a value at line 1 column 5"},
      {R"({"x":falsy})", "expected ident at line 1 column 10"},
      {R"({"x":-})", "invalid number at line 1 column 7"},
      {R"({"x":-)", "invalid number at line 1 column 6"},
      {R"({"x":01})", "invalid number at line 1 column 7"},
      {R"({"x":1.})", "invalid number at line 1 column 8"},
      {R"({"x":1.)", "invalid number at line 1 column 7"},
      {R"({"x":1e})", "invalid number at line 1 column 8"},
      {R"({"x":"\q"})", "invalid escape at line 1 column 8"},
      {R"({"x":"\u00g0"})", "invalid escape at line 1 column 12"},
      {R"({"x":"ab)", "EOF while parsing a string at line 1 column 8"},
      {"{\"x\":\"a\n\"}",
       "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 7"},
  };
  for (const Refused& row : rows) expect_refused(row);
}

TEST(DebugQuote, EscapesWhatIsNotPrintable) {
  struct Row {
    std::string_view text, quoted;
  };
  const Row rows[] = {
      {"", R"("")"},
      {"Person", R"("Person")"},
      {"a\"b\\c'd", R"("a\"b\\c'd")"},
      {std::string_view("\t\r\n\0", 4), R"("\t\r\n\0")"},
      {"\x01\x1f\x7f", R"("\u{1}\u{1f}\u{7f}")"},
      {"caf\xc3\xa9 \xf0\x9f\x98\x80", "\"caf\xc3\xa9 \xf0\x9f\x98\x80\""},
      {"a\xc2\xa0" "b", R"("a\u{a0}b")"},            // no-break space
      {"e\xcc\x81", R"("e\u{301}")"},                // combining acute accent
      {"\xe2\x80\x8b", R"("\u{200b}")"},             // zero width space (format)
      {"\xe2\x80\xa8", R"("\u{2028}")"},             // line separator
      {"\xee\x80\x80", R"("\u{e000}")"},             // private use
      {"\xff" "a\xc3", R"("\x{ff}a\x{c3}")"},        // not UTF-8
  };
  for (const Row& row : rows) EXPECT_EQ(debug_quote(row.text), row.quoted) << row.quoted;
}

}  // namespace
}  // namespace morvane::schema
