#include "bindings/py_validator.h"

#include <cstddef>
#include <exception>
#include <string_view>
#include <utility>
#include <vector>

#include "bindings/boundary.h"
#include "bindings/py_result.h"
#include "bindings/py_schema.h"
#include "bindings/worker_pool.h"

namespace morvane::bindings {
namespace {

using validator::PyValidationResult;

const validator::Morvane& self_validator(PyObject* self) { return native<PyMorvane>(self).inner; }

PyObject* morvane_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    static constexpr Params kParams{"Morvane.__new__", {"schema"}, 1, 1};
    PyObject* slots[1];
    const schema::Schema* schema;
    if (!bind(kParams, args, kwargs, slots) || !to_schema(slots[0], "schema", schema)) {
      return nullptr;
    }
    return make_instance(type, PyMorvane{validator::Morvane(*schema)});
  });
}

PyObject* morvane_schema(PyObject* self, void*) {
  return guarded<PyObject*>(nullptr, [&] { return new_schema_object(self_validator(self).schema()); });
}

PyObject* morvane_validate(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    static constexpr Params kParams{"Morvane.validate", {"query"}, 1, 1};
    PyObject* slots[1];
    std::string_view query;
    if (!bind(kParams, args, nargs, kwnames, slots) || !to_text(slots[0], "query", query)) {
      return nullptr;
    }
    return new_validation_result(self_validator(self).validate(query));
  });
}

// Validates every query into its own slot on the worker pool. Runs without the interpreter
// lock: it touches no Python object, and `queries` are views of str objects the caller holds.
// A fault on any thread is caught here and handed back, to be raised once the lock is back.
std::exception_ptr validate_all(const validator::Morvane& validator, WorkerPool& pool,
                                const std::vector<std::string_view>& queries,
                                std::vector<PyValidationResult>& results) noexcept {
  try {
    pool.parallel_for(queries.size(), [&](std::size_t begin, std::size_t end) {
      for (std::size_t i = begin; i < end; ++i) results[i] = validator.validate(queries[i]);
    });
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

PyObject* morvane_validate_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    static constexpr Params kParams{"Morvane.validate_batch", {"queries"}, 1, 1};
    PyObject* slots[1];
    TextList queries;
    if (!bind(kParams, args, nargs, kwnames, slots) ||
        !to_text_list(slots[0], "queries", queries)) {
      return nullptr;
    }
    WorkerPool& pool = process_pool();  // made or remade under the lock
    std::vector<PyValidationResult> results(queries.texts.size());
    std::exception_ptr fault;
    Py_BEGIN_ALLOW_THREADS
    fault = validate_all(self_validator(self), pool, queries.texts, results);
    Py_END_ALLOW_THREADS
    if (fault) std::rethrow_exception(fault);

    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(results.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < results.size(); ++i) {
      PyObject* item = new_validation_result(std::move(results[i]));
      if (item == nullptr) return nullptr;
      PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
  });
}

PyObject* morvane_repr(PyObject*) { return PyUnicode_FromString("Morvane()"); }

constexpr char kValidateBatchDoc[] =
    "validate_batch($self, queries)\n--\n\n"
    "Validate multiple queries at once and return one ``ValidationResult`` per query.\n"
    "\n"
    "Queries are validated in parallel (on a pool of worker threads) and the Python GIL is "
    "released\n"
    "for the duration of the batch, so other Python threads (e.g. asyncio event loop)\n"
    "are not blocked.";

PyGetSetDef kGetters[] = {
    {"schema", morvane_schema, nullptr, "The schema this validator was constructed with.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef kMethods[] = {
    {"validate", method(morvane_validate), kFastcall, "validate($self, query)\n--\n\n"},
    {"validate_batch", method(morvane_validate_batch), kFastcall, kValidateBatchDoc},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kSlots[] = {
    {Py_tp_doc, const_cast<char*>("Morvane(schema)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(morvane_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_instance<PyMorvane>)},
    {Py_tp_repr, reinterpret_cast<void*>(morvane_repr)},
    {Py_tp_getset, kGetters},
    {Py_tp_methods, kMethods},
    {0, nullptr},
};

}  // namespace

PyTypeObject* create_morvane_type() {
  return make_type("_morvane.Morvane", sizeof(Instance<PyMorvane>), true, kSlots);
}

}  // namespace morvane::bindings
