#include "fast_matcher_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <vector>

#include "parser/recognizer.h"

namespace morvane::parser::fast_matcher_test {
namespace {

bool same_pairs(std::span<const Pair> a, std::span<const Pair> b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Pair& x, const Pair& y) {
    return x.begin == y.begin && x.end == y.end && x.next == y.next && x.rule == y.rule;
  });
}

}  // namespace

FastMatch::Result check_against_engine(std::string_view query) {
  std::vector<Pair> tape;
  std::string scratch;
  const FastMatch fast = fast_match(query, tape, scratch, StackBound::of_current_thread());
  Recognizer engine;
  const bool engine_ok = engine.parse(query, Rule::cypher, Recognizer::Mode::kEngine);
  switch (fast.result) {
    case FastMatch::Result::kAccepted:
      EXPECT_TRUE(engine_ok) << "matcher accepts what the engine refuses: " << query;
      if (engine_ok) {
        EXPECT_TRUE(same_pairs(std::span(tape.data(), fast.tape_size), engine.pairs()))
            << "matcher and engine disagree on the pairs of: " << query;
      }
      break;
    case FastMatch::Result::kRefused:
      EXPECT_FALSE(engine_ok) << "matcher refuses what the engine accepts: " << query;
      break;
    case FastMatch::Result::kGaveUp:
      break;
  }
  Recognizer front;
  const bool front_ok = front.parse(query, Rule::cypher, Recognizer::Mode::kFast);
  EXPECT_EQ(front_ok, engine_ok) << "modes disagree on: " << query;
  if (front_ok && engine_ok) {
    EXPECT_TRUE(same_pairs(front.pairs(), engine.pairs())) << "query: " << query;
  } else if (!front_ok && !engine_ok) {
    EXPECT_EQ(front.error().display, engine.error().display) << "query: " << query;
    EXPECT_EQ(front.error().kind, engine.error().kind) << "query: " << query;
  }
  return fast.result;
}

// SplitMix64.
std::uint64_t QueryGenerator::draw() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

void QueryGenerator::separator() {
  static constexpr std::string_view kSeparators[] = {
      " ", " ", " ", " ", "  ", "\n", "\t", "\r\n", " /* c */ ", "/**/", " // note\n",
  };
  out_ += kSeparators[pick(std::size(kSeparators))];
}

void QueryGenerator::token(std::string_view text) {
  if (!out_.empty()) separator();
  out_ += text;
}

// A keyword in upper, lower or mixed case.
void QueryGenerator::word(std::string_view keyword) {
  if (!out_.empty()) separator();
  const int style = pick(4);
  for (std::size_t i = 0; i < keyword.size(); ++i) {
    char c = keyword[i];
    const bool lower = style == 1 || (style == 2 && i % 2 == 1) || (style == 3 && chance(50));
    if (lower && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    out_ += c;
  }
}

void QueryGenerator::name() {
  static constexpr std::string_view kNames[] = {
      "n", "m", "a", "b", "x", "person", "_tmp", "n1", "`weird name`", "``", "`end`", "asc",
      "ORDERS", "format", "ascending", "Desc_", "endsWith", "iso", "order",
  };
  token(kNames[pick(std::size(kNames))]);
}

std::string QueryGenerator::next_query() {
  out_.clear();
  if (chance(10)) out_ += "// leading\n";
  regular_query(0);
  if (chance(20)) token(";");
  if (chance(10)) separator();
  if (chance(6)) {
    // A deliberate fault: a byte cut out, or a stray token.
    static constexpr std::string_view kStray[] = {")", "]", ",", "WHERE", "=", "!", "'", "/*"};
    if (chance(50) && out_.size() > 2) {
      out_.erase(static_cast<std::size_t>(pick(static_cast<int>(out_.size()))), 1);
    } else {
      out_.insert(static_cast<std::size_t>(pick(static_cast<int>(out_.size()) + 1)),
                  kStray[pick(std::size(kStray))]);
    }
  }
  return out_;
}

void QueryGenerator::regular_query(int depth) {
  single_query(depth);
  while (chance(depth == 0 ? 12 : 5)) {
    word(chance(50) ? "UNION" : "UNION ALL");
    single_query(depth);
  }
}

void QueryGenerator::single_query(int depth) {
  const int parts = chance(35) ? 1 : 0;
  for (int p = 0; p <= parts; ++p) {
    const int reading = depth > 0 ? pick(2) : pick(3);
    for (int i = 0; i < reading; ++i) reading_clause(depth);
    const int updating = reading == 0 && p == parts && chance(30) ? 1 + pick(2) : pick(2);
    for (int i = 0; i < updating; ++i) updating_clause(depth);
    if (p < parts) {
      projection(depth, true);
    } else if (reading + updating == 0 || chance(80)) {
      projection(depth, false);
    }
  }
}

void QueryGenerator::reading_clause(int depth) {
  switch (pick(depth < 1 ? 5 : 3)) {
    case 0:
    case 1:
      if (chance(25)) {
        word(chance(20) ? "OPTIONALMATCH" : "OPTIONAL MATCH");
      } else {
        word("MATCH");
      }
      pattern(depth);
      if (chance(50)) {
        word("WHERE");
        expression(depth);
      }
      break;
    case 2:
      word("UNWIND");
      expression(depth);
      word("AS");
      name();
      break;
    case 3:
      word("CALL");
      token("{");
      regular_query(depth + 1);
      token("}");
      break;
    default:
      word("CALL");
      token(chance(50) ? "db.labels" : "`my`.proc.run");
      token("(");
      if (chance(50)) {
        expression(depth);
        if (chance(50)) {
          token(",");
          expression(depth);
        }
      }
      token(")");
      if (chance(50)) {
        word("YIELD");
        token("label");
        if (chance(50)) {
          word("AS");
          name();
        }
        if (chance(30)) {
          token(",");
          name();
        }
      }
  }
}

void QueryGenerator::updating_clause(int depth) {
  switch (pick(depth < 1 ? 6 : 5)) {
    case 0:
      word("CREATE");
      pattern(depth);
      break;
    case 1:
      word("MERGE");
      pattern_part(depth);
      while (chance(40)) {
        word(chance(50) ? "ON MATCH SET" : "ON CREATE SET");
        name();
        token(".");
        token("k");
        token("=");
        expression(depth);
      }
      break;
    case 2: {
      word("SET");
      const int items = 1 + pick(3);
      for (int i = 0; i < items; ++i) {
        if (i > 0) token(",");
        name();
        switch (pick(4)) {
          case 0:
            token(".");
            token("k");
            if (chance(30)) token(".j");
            token("=");
            expression(depth);
            break;
          case 1:
            token("=");
            expression(depth);
            break;
          case 2:
            token("+=");
            expression(depth);
            break;
          default:
            token(":L");
            if (chance(40)) token(":M");
        }
      }
      break;
    }
    case 3:
      word("REMOVE");
      name();
      token(chance(50) ? ":L" : ".k");
      if (chance(30)) {
        token(",");
        name();
        token(":A:B");
      }
      break;
    case 4:
      word(chance(40) ? (chance(30) ? "DETACHDELETE" : "DETACH DELETE") : "DELETE");
      expression(depth);
      if (chance(30)) {
        token(",");
        expression(depth);
      }
      break;
    default:
      word("FOREACH");
      token("(");
      name();
      word("IN");
      expression(depth + 1);
      token("|");
      updating_clause(depth + 1);
      if (chance(40)) updating_clause(depth + 1);
      token(")");
  }
}

void QueryGenerator::projection(int depth, bool with) {
  if (chance(8)) {
    out_ += with ? " WITHDISTINCT" : " RETURNDISTINCT";  // keywords glued to the next word
  } else {
    word(with ? "WITH" : "RETURN");
    if (chance(20)) word("DISTINCT");
  }
  if (chance(8)) {
    token("*");
  } else {
    const int items = 1 + pick(3);
    for (int i = 0; i < items; ++i) {
      if (i > 0) token(",");
      expression(depth);
      if (chance(35)) {
        word("AS");
        name();
      } else if (chance(5)) {
        out_ += " ASx";  // AS followed by the rest of the word as the alias
      }
    }
  }
  if (chance(25)) {
    word(chance(15) ? "ORDERBY" : "ORDER BY");
    expression(depth);
    static constexpr std::string_view kDirections[] = {"ASC", "DESC", "ASCENDING", "DESCENDING"};
    if (chance(50)) word(kDirections[pick(4)]);
    if (chance(30)) {
      token(",");
      expression(depth);
    }
  }
  if (chance(15)) {
    word("SKIP");
    expression(depth);
  }
  if (chance(15)) {
    word("LIMIT");
    expression(depth);
  }
  if (with && chance(25)) {
    word("WHERE");
    expression(depth);
  }
}

void QueryGenerator::pattern(int depth) {
  pattern_part(depth);
  while (chance(20)) {
    token(",");
    pattern_part(depth);
  }
}

void QueryGenerator::pattern_part(int depth) {
  if (chance(15)) {
    name();
    token("=");
  }
  pattern_element(depth);
}

void QueryGenerator::pattern_element(int depth) {
  if (chance(7)) {
    token(chance(50) ? "shortestPath" : "ALLSHORTESTPATHS");
    token("(");
    node_pattern(depth);
    relationship_pattern(depth);
    node_pattern(depth);
    token(")");
    return;
  }
  node_pattern(depth);
  const int steps = pick(3);
  for (int i = 0; i < steps; ++i) {
    relationship_pattern(depth);
    node_pattern(depth);
  }
}

void QueryGenerator::node_pattern(int depth) {
  token("(");
  if (chance(70)) name();
  if (chance(50)) {
    token(":Person");
    if (chance(20)) token(": `Odd Label`");
  }
  if (chance(25)) properties(depth);
  token(")");
}

void QueryGenerator::relationship_pattern(int depth) {
  const bool left = chance(30);
  const bool right = chance(50);
  if (left) token("<");
  if (chance(30)) {
    token("--");
  } else {
    token("-");
    token("[");
    if (chance(50)) name();
    if (chance(50)) {
      token(":KNOWS");
      if (chance(30)) token(chance(50) ? "|LIKES" : "|:LIKES");
    }
    if (chance(30)) {
      static constexpr std::string_view kRanges[] = {"*", "*2", "*1..3", "*2..", "*0x1 .. 0o7"};
      token(kRanges[pick(std::size(kRanges))]);
    }
    if (chance(20)) properties(depth);
    token("]");
    token("-");
  }
  if (right) token(">");
}

void QueryGenerator::properties(int depth) {
  if (chance(30)) {
    token("$props");
  } else {
    map(depth);
  }
}

void QueryGenerator::map(int depth) {
  token("{");
  const int entries = pick(3);
  for (int i = 0; i < entries; ++i) {
    if (i > 0) token(",");
    token(chance(80) ? "key" : "`odd key`");
    token(":");
    expression(depth + 1);
  }
  token("}");
}

void QueryGenerator::expression(int depth) {
  static constexpr std::string_view kOperators[] = {
      "OR", "XOR", "AND", "=", "<>", "<", ">", "<=", ">=", "=~", "IN", "STARTS WITH",
      "STARTS /* c */ WITH", "ENDSWITH", "CONTAINS", "+", "-", "*", "/", "%", "^",
  };
  const int operators = depth > 0 ? pick(2) / 2 + (chance(10) ? 1 : 0) : pick(3);
  if (chance(10)) word("NOT");
  operand(depth);
  for (int i = 0; i < operators; ++i) {
    const std::string_view op = kOperators[pick(std::size(kOperators))];
    if (op[0] >= 'A' && op[0] <= 'Z') {
      word(op);
    } else {
      token(op);
    }
    if (chance(8) && (op == "AND" || op == "OR" || op == "XOR")) word("NOT");
    operand(depth);
  }
}

void QueryGenerator::operand(int depth) {
  if (chance(10)) token("-");
  atom(depth);
  while (chance(20)) {
    switch (pick(6)) {
      case 0: token(chance(50) ? ".name" : ". `key`"); break;
      case 1: word(chance(50) ? "IS NULL" : "IS NOT NULL"); break;
      case 2:
        token("[");
        expression(depth + 1);
        token("]");
        break;
      case 3:
        token("[");
        if (chance(60)) expression(depth + 1);
        token("..");
        if (chance(60)) expression(depth + 1);
        token("]");
        break;
      case 4: token("[1 ..3]"); break;
      default: token(".k"); break;
    }
  }
}

void QueryGenerator::filter(int depth) {
  name();
  word("IN");
  expression(depth + 1);
  if (chance(40)) {
    word("WHERE");
    expression(depth + 1);
  }
}

void QueryGenerator::atom(int depth) {
  // The kinds are ordered by how much they nest; deeper down only the first ones are drawn.
  const int kinds = depth >= 2 ? 4 : depth == 1 ? 10 : 16;
  switch (pick(kinds)) {
    case 0: name(); break;
    case 1: literal(depth); break;
    case 2: token(chance(50) ? "$param" : "$1"); break;
    case 3: token(chance(50) ? "count(*)" : "COUNT ( * )"); break;
    case 4:
      token("(");
      expression(depth + 1);
      token(")");
      break;
    case 5:
      word("CASE");
      if (chance(50)) expression(depth + 1);
      word("WHEN");
      expression(depth + 1);
      word("THEN");
      expression(depth + 1);
      if (chance(40)) {
        word("ELSE");
        expression(depth + 1);
      }
      word("END");
      break;
    case 6:
      token("[");
      filter(depth);
      if (chance(50)) {
        token("|");
        expression(depth + 1);
      }
      token("]");
      break;
    case 7: {
      static constexpr std::string_view kQuantifiers[] = {"ALL", "ANY", "NONE", "SINGLE"};
      word(kQuantifiers[pick(4)]);
      token("(");
      filter(depth);
      token(")");
      break;
    }
    case 8: {
      static constexpr std::string_view kFunctions[] = {
          "f", "toUpper", "count", "exists", "a.b.join", "`ns`.fn", "any", "shortestPath",
      };
      token(kFunctions[pick(std::size(kFunctions))]);
      token("(");
      if (chance(20)) word("DISTINCT");
      const int arguments = pick(3);
      for (int i = 0; i < arguments; ++i) {
        if (i > 0) token(",");
        expression(depth + 1);
      }
      token(")");
      break;
    }
    case 9:
      if (chance(10)) {
        token(chance(50) ? "xs[1..2]" : "[1..2]");  // "1." then ".2": refused
      } else {
        token(chance(50) ? "xs[1 ..2]" : "[1., 2]");
      }
      break;
    case 10:
      token("[");
      pattern_element(depth + 1);
      if (chance(30)) {
        word("WHERE");
        expression(depth + 1);
      }
      token("|");
      expression(depth + 1);
      token("]");
      break;
    case 11:
      word("EXISTS");
      token("{");
      pattern(depth + 1);
      token("}");
      break;
    case 12:
      word(chance(50) ? "COUNT" : "COLLECT");
      token("{");
      regular_query(depth + 1);
      token("}");
      break;
    case 13:
      if (chance(80)) {  // rare: the matcher leaves REDUCE to the engine
        name();
        break;
      }
      word("REDUCE");
      token("(");
      name();
      token("=");
      expression(depth + 1);
      token(",");
      name();
      word("IN");
      expression(depth + 1);
      token("|");
      expression(depth + 1);
      token(")");
      break;
    case 14:
      token(chance(50) ? "shortestPath" : "allShortestPaths");
      token("(");
      node_pattern(depth + 1);
      relationship_pattern(depth + 1);
      node_pattern(depth + 1);
      token(")");
      break;
    default: literal(depth); break;
  }
}

void QueryGenerator::literal(int depth) {
  static constexpr std::string_view kScalars[] = {
      "1", "42", "0x1F", "0o17", "007", "1.5", "1.", "1.5e3", "2.E-4", "'text'", "\"dq 'x'\"",
      "'é'", "TRUE", "false", "Null", "''",
  };
  switch (pick(depth > 1 ? 1 : 4)) {
    case 0:
    case 1: token(kScalars[pick(std::size(kScalars))]); break;
    case 2: {
      token("[");
      const int items = pick(4);
      for (int i = 0; i < items; ++i) {
        if (i > 0) token(",");
        expression(depth + 1);
      }
      token("]");
      break;
    }
    default: map(depth);
  }
}

}  // namespace morvane::parser::fast_matcher_test
