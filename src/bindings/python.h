// The one way the bindings include the interpreter's headers: the stable ABI of CPython 3.11 and
// later, so one build of the module loads on every interpreter from 3.11 on.
#pragma once

#ifndef Py_LIMITED_API
#error "the bindings are built against the stable ABI: define Py_LIMITED_API=0x030B0000"
#endif
#define PY_SSIZE_T_CLEAN
#include <Python.h>
