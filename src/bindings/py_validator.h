// The Python class Morvane: a validator over its own copy of a schema, for one query at a time
// or for a batch validated on the process's worker pool with the interpreter lock released.
#pragma once

#include "bindings/python.h"
#include "validator/morvane.h"

namespace morvane::bindings {

struct PyMorvane {
  validator::Morvane inner;
};

PyTypeObject* create_morvane_type();

}  // namespace morvane::bindings
