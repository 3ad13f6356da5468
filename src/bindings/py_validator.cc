#include "bindings/py_validator.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "bindings/boundary.h"
#include "bindings/py_result.h"
#include "bindings/py_schema.h"
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

// The work of a batch, counted in bytes of query: each query costs its length and about
// kQueryWork more. A batch gets one helper thread per kHelperWork of it (a worker's wake-up
// costs about as much as validating that), so a small one runs on the calling thread alone.
constexpr std::size_t kQueryWork = 64;
constexpr std::size_t kHelperWork = 2048;

std::size_t helpers_for(const std::vector<std::string_view>& queries) {
  std::size_t work = 0;
  for (std::string_view query : queries) work += query.size() + kQueryWork;
  return work / kHelperWork;
}

// Recognizers for the threads of batches, kept between batches so that each thread starts
// with warm buffers; taken and given back under the interpreter lock, and never destroyed, like
// the locked recognizer. No more are kept than the pool has lanes, and none grown past
// kKeptRecognizerBytes (by a huge query).
constexpr std::size_t kKeptRecognizerBytes = std::size_t{1} << 20;

struct SpareRecognizers {
  std::vector<std::unique_ptr<parser::Recognizer>> idle;
  std::size_t most = 1;  // the lanes of the pool, once a batch has used it
};

SpareRecognizers& spare_recognizers() {
  static auto* const spare = new SpareRecognizers();
  return *spare;
}

// The recognizers of one batch, a lane each, taken from the spares and given back at the end.
class BatchRecognizers {
 public:
  explicit BatchRecognizers(std::size_t lanes) {
    std::vector<std::unique_ptr<parser::Recognizer>>& idle = spare_recognizers().idle;
    lanes_.reserve(lanes);
    while (lanes_.size() < lanes && !idle.empty()) {
      lanes_.push_back(std::move(idle.back()));
      idle.pop_back();
    }
    while (lanes_.size() < lanes) lanes_.push_back(std::make_unique<parser::Recognizer>());
  }
  ~BatchRecognizers() {
    SpareRecognizers& spare = spare_recognizers();
    for (std::unique_ptr<parser::Recognizer>& recognizer : lanes_) {
      if (spare.idle.size() >= spare.most) break;
      if (recognizer->retained_bytes() > kKeptRecognizerBytes) continue;
      try {
        spare.idle.push_back(std::move(recognizer));
      } catch (const std::bad_alloc&) {
        break;
      }
    }
  }
  BatchRecognizers(const BatchRecognizers&) = delete;
  BatchRecognizers& operator=(const BatchRecognizers&) = delete;

  parser::Recognizer& lane(std::size_t lane) { return *lanes_[lane]; }

 private:
  std::vector<std::unique_ptr<parser::Recognizer>> lanes_;
};

// Where a batch's threads put each result: the memory of its object, with its block packed
// (nullptr for a plain valid result, which needs none). Memory no object has adopted is freed
// with the batch.
struct Placed {
  void* memory;
  std::size_t block_size;
};

class PlacedResults {
 public:
  // Zeroed by calloc: a large array comes as fresh pages, first touched by the threads that
  // fill it, and a batch cut short leaves nullptr where it placed nothing.
  explicit PlacedResults(std::size_t n)
      : n_(n), placed_(static_cast<Placed*>(std::calloc(std::max<std::size_t>(n, 1),
                                                        sizeof(Placed)))) {
    if (placed_ == nullptr) throw std::bad_alloc();
  }
  ~PlacedResults() {
    for (std::size_t i = adopted_; i < n_; ++i) std::free(placed_[i].memory);
    std::free(placed_);
  }
  PlacedResults(const PlacedResults&) = delete;
  PlacedResults& operator=(const PlacedResults&) = delete;

  Placed* get() { return placed_; }
  // Entry `i` made into an object, and every one before it.
  void adopted(std::size_t i) { adopted_ = i + 1; }

 private:
  std::size_t n_;
  Placed* placed_;
  std::size_t adopted_ = 0;
};

// Validates every query, on the calling thread alone when `pool` is nullptr, else with up to
// `helpers` of its workers, packing each result with findings into memory of its own on the
// thread that made it. Runs without the interpreter lock: it touches no Python object, and
// `queries` are views of str objects the caller holds. A fault on any thread is caught here and
// handed back, to be raised once the lock is back; memory placed before it is then freed with
// `placed`.
std::exception_ptr validate_all(const validator::Morvane& validator, WorkerPool* pool,
                                std::size_t helpers, const std::vector<std::string_view>& queries,
                                BatchRecognizers& recognizers, Placed* placed) noexcept {
  const auto work = [&](std::size_t lane, std::size_t begin, std::size_t end) {
    parser::Recognizer& recognizer = recognizers.lane(lane);
    for (std::size_t i = begin; i < end; ++i) {
      const PyValidationResult result = validator.validate(queries[i], recognizer);
      if (PackedResult::is_plain(result)) continue;
      const std::size_t size = PackedResult::size_of(result);
      void* memory = new_result_memory(size);
      if (memory == nullptr) throw std::bad_alloc();
      PackedResult::pack(result, result_block(memory));
      placed[i] = {memory, size};
    }
  };
  try {
    if (pool == nullptr) {
      work(0, 0, queries.size());
    } else {
      pool->parallel_for(queries.size(), work, helpers);
    }
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
    const std::size_t n = queries.texts.size();
    // A batch too small to pay for waking a worker runs on the calling thread, unless that
    // thread's stack is smaller than a worker's; then the pool takes it all (see parallel_for).
    std::size_t helpers = helpers_for(queries.texts);
    WorkerPool* pool = nullptr;
    std::size_t lanes = 1;
    if (helpers > 0 || !has_worker_room()) {
      pool = &process_pool();  // made or remade under the lock
      helpers = std::min(helpers, pool->threads());
      lanes = std::max<std::size_t>(helpers, 1) + 1;
      spare_recognizers().most = pool->lanes();
    }
    BatchRecognizers recognizers(lanes);
    PlacedResults placed(n);
    std::exception_ptr fault;
    Py_BEGIN_ALLOW_THREADS
    fault = validate_all(self_validator(self), pool, helpers, queries.texts, recognizers,
                         placed.get());
    Py_END_ALLOW_THREADS
    if (fault) std::rethrow_exception(fault);

    // With the lock held, only the objects are made.
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(n)));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < n; ++i) {
      const Placed& at = placed.get()[i];
      PyObject* item = at.memory != nullptr ? adopt_validation_result(at.memory, at.block_size)
                                            : new_plain_validation_result();
      placed.adopted(i);
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
