#include "generator/generator.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "parser/names.h"

namespace morvane::generator {

namespace {

// Each name value carries its own double quotes.
constexpr std::string_view kNames[] = {"\"Alice\"", "\"Bob\"", "\"Carol\"", "\"Dave\""};
constexpr std::string_view kScalarNames[] = {"\"Alice\"", "\"Bob\"", "\"Carol\"", "\"Dave\"",
                                             "\"hello\""};
constexpr std::string_view kParameters[] = {"$name", "$id", "$value"};
constexpr std::string_view kScalarParameters[] = {"$name", "$id", "$value", "$limit"};

// The most keys a property map holds.
constexpr std::uint32_t kMaxMapKeys = 3;

// Room for every query whose names are short; longer ones grow the string once or twice.
constexpr std::size_t kQueryReserve = 96;

template <std::size_t N>
std::string_view pick(Rng& rng, const std::string_view (&list)[N]) {
  return list[rng.index(N)];
}

void append_decimal(std::string& out, std::uint64_t value) {
  char digits[20];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

std::uint32_t index_count(std::size_t size) { return static_cast<std::uint32_t>(size); }

}  // namespace

CypherGenerator::CypherGenerator(const schema::Schema& schema, Rng rng) : rng_(rng) {
  // The maps are ordered by bytes: the order of the schema's sorted lists.
  for (const auto& [label, properties] : schema.nodes) {
    std::optional<std::string> written = parser::written_name(label);
    if (!written) continue;
    node_labels_.push_back(std::move(*written));
    std::vector<std::string>& props = node_props_.emplace_back();
    for (const std::string& prop : properties) {
      if (std::optional<std::string> key = parser::written_name(prop)) {
        props.push_back(std::move(*key));
      }
    }
  }
  for (const auto& [type, relationship] : schema.relationships) {
    std::optional<std::string> written = parser::written_name(type);
    std::optional<std::string> source = parser::written_name(relationship.source);
    std::optional<std::string> target = parser::written_name(relationship.target);
    if (!written || !source || !target) continue;
    rel_types_.push_back(RelType{std::move(*written), std::move(*source), std::move(*target)});
  }
}

Result<CypherGenerator, OsRandomError> CypherGenerator::create(
    const schema::Schema& schema, std::optional<std::uint64_t> seed) {
  if (seed) return CypherGenerator(schema, Rng::seed_from_u64(*seed));
  Result<Rng, OsRandomError> rng = Rng::from_os_rng();
  if (!rng) return Err{std::move(rng).error()};
  return CypherGenerator(schema, *rng);
}

std::optional<QueryType> find_query_type(std::string_view name) {
  const auto found = std::find(kQueryTypeNames.begin(), kQueryTypeNames.end(), name);
  if (found == kQueryTypeNames.end()) return std::nullopt;
  return static_cast<QueryType>(found - kQueryTypeNames.begin());
}

Result<std::string, CypherError> CypherGenerator::generate(std::string_view query_type) {
  const std::optional<QueryType> type = find_query_type(query_type);
  if (!type) return Err{CypherError::Generator("Unknown query type: " + std::string(query_type))};
  return generate(*type);
}

std::uint32_t CypherGenerator::draw_label() {
  if (node_labels_.empty()) return kNodeLabel;
  return rng_.index(index_count(node_labels_.size()));
}

std::string_view CypherGenerator::label_name(std::uint32_t label) const {
  return label == kNodeLabel ? std::string_view("Node") : std::string_view(node_labels_[label]);
}

const std::string* CypherGenerator::pick_node_prop(std::uint32_t label) {
  if (label == kNodeLabel) return nullptr;
  const std::vector<std::string>& props = node_props_[label];
  if (props.empty()) return nullptr;
  return &props[rng_.index(index_count(props.size()))];
}

void CypherGenerator::gen_property_map(std::uint32_t label, std::string& out) {
  if (label == kNodeLabel) return;
  const std::vector<std::string>& props = node_props_[label];
  if (props.empty()) return;
  const std::uint32_t n = index_count(props.size());
  const std::uint32_t k = rng_.random_range_u32(1, std::min(n, kMaxMapKeys));
  std::array<std::uint32_t, kMaxMapKeys> chosen;
  rng_.sample(n, std::span(chosen.data(), k));
  out += " {";
  for (std::uint32_t i = 0; i < k; ++i) {
    if (i > 0) out += ", ";
    out += props[chosen[i]];
    out += ": ";
    gen_scalar_value(out);
  }
  out += '}';
}

void CypherGenerator::gen_scalar_value(std::string& out) {
  switch (rng_.top_two_bits()) {
    case 0:
      out += pick(rng_, kScalarNames);
      return;
    case 1:
      append_decimal(out, rng_.random_range_u64(1, 100));
      return;
    case 2:
      out += rng_.top_bit() == 0 ? "true" : "false";
      return;
    default:
      out += pick(rng_, kScalarParameters);
      return;
  }
}

void CypherGenerator::gen_string_value(std::string& out) {
  if (rng_.random_range_u32(0, 3) != 0) {
    out += pick(rng_, kNames);
  } else {
    out += pick(rng_, kParameters);
  }
}

void CypherGenerator::gen_limit(std::string& out) {
  if (rng_.random_range_u32(0, 3) != 0) return;
  out += " LIMIT ";
  append_decimal(out, rng_.random_range_u64(1, 50));
}

std::string CypherGenerator::generate(QueryType type) {
  std::string out;
  generate(type, out);
  return out;
}

void CypherGenerator::generate(QueryType type, std::string& out) {
  out.clear();
  out.reserve(kQueryReserve);
  // Appends "MATCH (n:{label})".
  const auto match_label = [&](std::uint32_t label) {
    out += "MATCH (n:";
    out += label_name(label);
    out += ')';
  };
  switch (type) {
    case QueryType::match_return: {
      match_label(draw_label());
      out += " RETURN n";
      gen_limit(out);
      break;
    }
    case QueryType::match_where_return: {
      const std::uint32_t label = draw_label();
      match_label(label);
      const std::string* prop = pick_node_prop(label);
      if (prop != nullptr) {
        out += " WHERE n.";
        out += *prop;
        out += " = ";
        gen_string_value(out);
        out += " RETURN n.";
        out += *prop;
      } else {
        out += " RETURN n";
      }
      gen_limit(out);
      break;
    }
    case QueryType::create:
    case QueryType::merge: {
      const std::uint32_t label = draw_label();
      out += type == QueryType::create ? "CREATE (n:" : "MERGE (n:";
      out += label_name(label);
      gen_property_map(label, out);
      out += ") RETURN n";
      break;
    }
    case QueryType::aggregation: {
      const std::uint32_t label = draw_label();
      match_label(label);
      const std::string* prop = pick_node_prop(label);
      if (prop != nullptr) {
        out += " RETURN count(n.";
        out += *prop;
        out += ") AS result";
      } else {
        out += " RETURN count(n) AS result";
      }
      break;
    }
    case QueryType::match_relationship:
    case QueryType::create_relationship: {
      if (rel_types_.empty()) {
        const std::uint32_t label = draw_label();
        if (type == QueryType::match_relationship) {
          match_label(label);
        } else {
          out += "CREATE (n:";
          out += label_name(label);
          out += ')';
        }
        out += " RETURN n";
        break;
      }
      const RelType& rel = rel_types_[rng_.index(index_count(rel_types_.size()))];
      if (type == QueryType::match_relationship) {
        if (rng_.top_two_bits() == 0) out += "OPTIONAL ";
        out += "MATCH (a:";
        out += rel.source;
        out += ")-[r:";
        out += rel.type;
        out += "]->(b:";
        out += rel.target;
        out += ") RETURN a, r, b";
      } else {
        out += "MATCH (a:";
        out += rel.source;
        out += "),(b:";
        out += rel.target;
        out += ") CREATE (a)-[r:";
        out += rel.type;
        out += "]->(b) RETURN r";
      }
      break;
    }
    case QueryType::match_set: {
      const std::uint32_t label = draw_label();
      match_label(label);
      const std::string* prop = pick_node_prop(label);
      if (prop != nullptr) {
        out += " SET n.";
        out += *prop;
        out += " = ";
        gen_string_value(out);
      }
      out += " RETURN n";
      break;
    }
    case QueryType::match_delete: {
      match_label(draw_label());
      out += " DETACH DELETE n";
      break;
    }
    case QueryType::with_chain: {
      const std::uint32_t label = draw_label();
      match_label(label);
      const std::string* prop = pick_node_prop(label);
      if (prop != nullptr) {
        out += " WITH n.";
        out += *prop;
      } else {
        out += " WITH n";
      }
      out += " AS val RETURN count(*)";
      break;
    }
    case QueryType::distinct_return: {
      const std::uint32_t label = draw_label();
      match_label(label);
      const std::string* prop = pick_node_prop(label);
      if (prop != nullptr) {
        out += " RETURN DISTINCT n.";
        out += *prop;
      } else {
        out += " RETURN DISTINCT n";
      }
      gen_limit(out);
      break;
    }
    case QueryType::order_by: {
      const std::uint32_t label = draw_label();
      match_label(label);
      const std::string* prop = pick_node_prop(label);
      out += " RETURN n ORDER BY n";
      // The direction is drawn with or without a property; the draws after it depend on that.
      const bool descending = rng_.top_bit() == 1;
      if (prop != nullptr) {
        out += '.';
        out += *prop;
        if (descending) out += " DESC";
      }
      gen_limit(out);
      break;
    }
    case QueryType::unwind: {
      const std::uint32_t label = draw_label();
      const std::string* prop = pick_node_prop(label);
      const std::uint32_t count = 2 + rng_.random_range_u32(0, 3);
      out += "UNWIND [";
      for (std::uint32_t i = 0; i < count; ++i) {
        if (i > 0) out += ", ";
        gen_scalar_value(out);
      }
      out += "] AS item RETURN item";
      // With a property the values were drawn all the same and are not shown.
      if (prop != nullptr) {
        out.clear();
        match_label(label);
        out += " UNWIND n.";
        out += *prop;
        out += " AS item RETURN item";
      }
      break;
    }
  }
}

}  // namespace morvane::generator
