// Three text forms of a schema, written for a language model's context or for documentation:
// an aligned plain-text listing, two Markdown tables, and one Cypher pattern per label and per
// relationship type.
//
// Each depends only on the schema's content: labels, types and property names come in byte
// order, so equal schemas render identically. The listing and the tables write names exactly
// as stored (nothing is escaped, quoted or trimmed); the Cypher patterns write them as a query
// does, a name that is no plain identifier or is a reserved word between backticks. A
// relationship's endpoints are written whether or not they are declared labels. Every line ends
// with a line feed, the last one included. None fails. Python-free; the module's Schema methods
// return these texts.
#pragma once

#include <string>

#include "schema/schema.h"

namespace morvane::bindings {

// "Graph Schema" and its sections; names are left-aligned in a field of 26 characters
// (Unicode scalar values; a name is assumed to be valid UTF-8), except a label without
// properties, which is written with no fill.
std::string to_prompt(const schema::Schema& schema);

// A "### Nodes" and a "### Relationships" table; an empty property list shows as "—".
std::string to_markdown(const schema::Schema& schema);

// "(:Label {props})" per label and "(:Src)-[:TYPE {props}]->(:Tgt)" per type, each under a
// comment line. A name holding a backtick, which no query can write, is still written between
// backticks, so that the pattern shows it.
std::string to_cypher_context(const schema::Schema& schema);

}  // namespace morvane::bindings
