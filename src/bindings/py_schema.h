// The Python class Schema: one native schema, built from dicts or JSON, exported back to them,
// merged, looked up and rendered for prompts. A Schema object never changes after it is made.
#pragma once

#include "bindings/python.h"
#include "schema/schema.h"

namespace morvane::bindings {

struct PySchema {
  schema::Schema inner;
};

// The type object, made once when the module is initialised.
PyTypeObject* create_schema_type();

// A new Schema object owning `schema`.
PyObject* new_schema_object(schema::Schema schema);

}  // namespace morvane::bindings
