// CypherGenerator: random Cypher queries of thirteen fixed shapes that use the labels,
// relationship types, endpoints and property names of a schema.
//
// The generator keeps the schema's names as a query writes them, and its own random state. Every
// choice is a draw from that state in a fixed order, and every list drawn from is sorted by
// bytes, so a seed reproduces the same queries, call for call, in every process. A generator
// serves one call at a time.
//
// A name that is no plain identifier, or is a reserved word, is written between backticks, so
// every query parses; plain names are written as they are. A name holding a backtick cannot be
// written in any query: the generator leaves it out, as if the schema lacked it (a relationship
// type goes with it when one of its endpoints is such a label). Schemas without such names are
// drawn from exactly as they are.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error/cypher_error.h"
#include "error/result.h"
#include "generator/random.h"
#include "schema/schema.h"

namespace morvane::generator {

// The query shapes, in the order the module lists them (listed once, in query_types.def).
enum class QueryType : std::uint8_t {
#define MORVANE_QUERY_TYPE(name) name,
#include "generator/query_types.def"
};

// The name of each query type, as callers spell it (case-sensitive), indexed by QueryType.
inline constexpr auto kQueryTypeNames = std::to_array<std::string_view>({
#define MORVANE_QUERY_TYPE(name) #name,
#include "generator/query_types.def"
});
static_assert(kQueryTypeNames.size() == 13, "query_types.def lists the thirteen query types");

// The type of that name (exact, case-sensitive), or nothing.
std::optional<QueryType> find_query_type(std::string_view name);

class CypherGenerator {
 public:
  // Takes the names of `schema` and starts from `rng`; draws nothing.
  CypherGenerator(const schema::Schema& schema, Rng rng);
  // Seeded by seed_from_u64(seed), or from the operating system when there is no seed; fails
  // only when the operating system's random source does.
  static Result<CypherGenerator, OsRandomError> create(const schema::Schema& schema,
                                                       std::optional<std::uint64_t> seed);

  // One query of the named type, advancing the random state by that type's draws. A name outside
  // kQueryTypeNames gives CypherError::Generator "Unknown query type: {}" and draws nothing.
  Result<std::string, CypherError> generate(std::string_view query_type);
  // The same for a type already resolved; never fails.
  std::string generate(QueryType type);
  // The same, written into `out` in place of what it held: a caller drawing many queries
  // reuses one buffer.
  void generate(QueryType type, std::string& out);

  const Rng& rng() const { return rng_; }

 private:
  // A drawn label: an index into node_labels_, or kNodeLabel ("Node") when there are none.
  static constexpr std::uint32_t kNodeLabel = UINT32_MAX;

  std::uint32_t draw_label();
  std::string_view label_name(std::uint32_t label) const;
  // One of the label's property names, or nullptr (drawing nothing) when it has none.
  const std::string* pick_node_prop(std::uint32_t label);
  // These append their text to `out`.
  void gen_property_map(std::uint32_t label, std::string& out);
  void gen_scalar_value(std::string& out);
  void gen_string_value(std::string& out);
  void gen_limit(std::string& out);

  // A relationship type with its source and target labels.
  struct RelType {
    std::string type;
    std::string source;
    std::string target;
  };

  // Every name as a query writes it; each list in the byte order of the schema's names.
  std::vector<std::string> node_labels_;
  std::vector<RelType> rel_types_;
  // node_props_[i]: the property names of node_labels_[i].
  std::vector<std::vector<std::string>> node_props_;
  Rng rng_;
};

}  // namespace morvane::generator
