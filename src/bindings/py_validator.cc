#include "bindings/py_validator.h"

#include <cstddef>
#include <exception>
#include <memory>
#include <string_view>
#include <vector>

#include "bindings/boundary.h"
#include "bindings/py_result.h"
#include "bindings/py_schema.h"
#include "bindings/result_chunk.h"
#include "bindings/worker_pool.h"
#include "parser/recognizer.h"
#include "validator/packed_result.h"

namespace morvane::bindings {
namespace {

using validator::PackedResult;
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
    return new_validation_result(self_validator(self).validate(query, locked_recognizer()));
  });
}

// What one thread of a batch keeps, owned by the batch: its recognizer, and the chunks of the
// results it made. A lane is used by its one thread while the batch runs; the calling thread
// drops it once the batch is over.
struct Lane {
  parser::Recognizer recognizer;
  ChunkWriter chunks;
};

// Validates every query on the worker pool, packing each result into a chunk of the thread
// that made it and recording where (plain valid results share one block and take no room).
// Runs without the interpreter lock: it touches no Python object, and `queries` are views of
// str objects the caller holds. A fault on any thread is caught here and handed back, to be
// raised once the lock is back.
std::exception_ptr validate_all(const validator::Morvane& validator, WorkerPool& pool,
                                const std::vector<std::string_view>& queries,
                                std::vector<Lane>& lanes,
                                ChunkWriter::Place* placed) noexcept {
  try {
    pool.parallel_for(queries.size(), [&](std::size_t lane, std::size_t begin, std::size_t end) {
      Lane& own = lanes[lane];
      for (std::size_t i = begin; i < end; ++i) {
        const PyValidationResult result = validator.validate(queries[i], own.recognizer);
        if (PackedResult::is_plain(result)) {
          placed[i] = {nullptr, nullptr};
        } else {
          placed[i] = own.chunks.reserve(PackedResult::size_of(result));
          PackedResult::pack(result, placed[i].block);
        }
      }
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
    const std::size_t n = queries.texts.size();
    std::vector<Lane> lanes(pool.lanes());
    // Filled by the workers: left uninitialised, so that its pages are first touched there.
    const std::unique_ptr<ChunkWriter::Place[]> placed =
        std::make_unique_for_overwrite<ChunkWriter::Place[]>(n);
    std::exception_ptr fault;
    Py_BEGIN_ALLOW_THREADS
    fault = validate_all(self_validator(self), pool, queries.texts, lanes, placed.get());
    Py_END_ALLOW_THREADS
    if (fault) std::rethrow_exception(fault);

    // With the lock held, only the objects are made, each pointing at its block.
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(n)));
    if (!list) return nullptr;
    const char* const valid = PackedResult::valid_block();
    for (std::size_t i = 0; i < n; ++i) {
      const ChunkWriter::Place& at = placed[i];
      PyObject* item = new_validation_result(at.chunk != nullptr ? at.block : valid, at.chunk);
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
