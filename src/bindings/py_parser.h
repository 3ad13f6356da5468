// parse_query and the Python class QueryInfo: the names a query uses, found without a schema.
#pragma once

#include "bindings/python.h"

namespace morvane::bindings {

PyTypeObject* create_query_info_type();

// The module function parse_query, for the module's method table.
extern PyMethodDef kParseQueryDef;

}  // namespace morvane::bindings
