// The Python class CypherGenerator: random queries of named shapes drawn from a copy of a
// schema, reproducibly for a seed. Its random state advances with every query drawn.
#pragma once

#include "bindings/python.h"
#include "generator/generator.h"

namespace morvane::bindings {

struct PyCypherGenerator {
  generator::CypherGenerator inner;
};

PyTypeObject* create_cypher_generator_type();

}  // namespace morvane::bindings
