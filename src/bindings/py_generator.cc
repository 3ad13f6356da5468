#include "bindings/py_generator.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "bindings/boundary.h"

namespace morvane::bindings {
namespace {

using generator::CypherGenerator;

// Generating holds the instance exclusively; no Python code runs meanwhile (the lock is held
// and nothing calls back), so no other call can reach it.
CypherGenerator& self_generator(PyObject* self) { return native<PyCypherGenerator>(self).inner; }

PyObject* generator_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    static constexpr Params kParams{"CypherGenerator.__new__", {"schema", "seed"}, 2, 1};
    PyObject* slots[2];
    const schema::Schema* schema;
    if (!bind(kParams, args, kwargs, slots) || !to_schema(slots[0], "schema", schema)) {
      return nullptr;
    }
    // Converting the seed can run Python code (__index__): the schema is read only after it,
    // while the call's arguments keep the schema object alive.
    std::optional<std::uint64_t> seed;
    if (slots[1] != nullptr && slots[1] != Py_None) {
      std::uint64_t value;
      if (!to_u64(slots[1], "seed", value)) return nullptr;
      seed = value;
    }
    auto made = CypherGenerator::create(*schema, seed);
    if (!made) {
      raise_fault(made.error().message);
      return nullptr;
    }
    return make_instance(type, PyCypherGenerator{std::move(made).value()});
  });
}

PyObject* generator_generate(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    static constexpr Params kParams{"CypherGenerator.generate", {"query_type"}, 1, 1};
    PyObject* slots[1];
    std::string_view query_type;
    if (!bind(kParams, args, nargs, kwnames, slots) ||
        !to_text(slots[0], "query_type", query_type)) {
      return nullptr;
    }
    auto query = self_generator(self).generate(query_type);
    if (!query) {
      raise_cypher_error(query.error());
      return nullptr;
    }
    return new_str(*query);
  });
}

PyObject* generator_generate_batch(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    static constexpr Params kParams{"CypherGenerator.generate_batch", {"query_type", "n"}, 2, 2};
    PyObject* slots[2];
    std::string_view query_type;
    std::uint64_t n;
    if (!bind(kParams, args, nargs, kwnames, slots) ||
        !to_text(slots[0], "query_type", query_type) || !to_u64(slots[1], "n", n)) {
      return nullptr;
    }
    // A count that no list can hold is refused before anything is drawn.
    if (n > static_cast<std::uint64_t>(PY_SSIZE_T_MAX) / sizeof(PyObject*)) {
      return PyErr_NoMemory();
    }
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(n)));
    if (!list) return nullptr;
    CypherGenerator& inner = self_generator(self);
    if (n == 0) return list.release();
    // The name is matched once; an unknown one fails as the first generate call would, drawing
    // nothing. Every query is then written into one reused buffer.
    const std::optional<generator::QueryType> type = generator::find_query_type(query_type);
    if (!type) {
      raise_cypher_error(inner.generate(query_type).error());
      return nullptr;
    }
    std::string query;
    for (std::uint64_t i = 0; i < n; ++i) {
      inner.generate(*type, query);
      PyObject* text = new_str(query);
      if (text == nullptr) return nullptr;
      PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), text);
    }
    return list.release();
  });
}

PyObject* generator_supported_types(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                                    PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    static constexpr Params kParams{"CypherGenerator.supported_types", {}, 0, 0};
    if (!bind(kParams, args, nargs, kwnames, nullptr)) return nullptr;
    return new_str_list(generator::kQueryTypeNames);
  });
}

PyObject* generator_repr(PyObject*) { return PyUnicode_FromString("CypherGenerator()"); }

constexpr char kGenerateBatchDoc[] =
    "generate_batch($self, query_type, n)\n--\n\n"
    "Generate *n* queries of the given type in a single call.\n"
    "\n"
    "This is equivalent to calling :meth:`generate` *n* times but avoids the\n"
    "per-call Python overhead.\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "query_type : str\n"
    "    One of the types returned by :meth:`supported_types`.\n"
    "n : int\n"
    "    Number of queries to generate.\n"
    "\n"
    "Returns\n"
    "-------\n"
    "list[str]\n"
    "    The generated Cypher query strings.\n"
    "\n"
    "Raises\n"
    "------\n"
    "ValueError\n"
    "    If *query_type* is not supported.";

PyMethodDef kMethods[] = {
    {"generate", method(generator_generate), kFastcall, "generate($self, query_type)\n--\n\n"},
    {"generate_batch", method(generator_generate_batch), kFastcall, kGenerateBatchDoc},
    {"supported_types", method(generator_supported_types), kFastcall | METH_STATIC,
     "supported_types()\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kSlots[] = {
    {Py_tp_doc, const_cast<char*>("CypherGenerator(schema, seed=None)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(generator_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_instance<PyCypherGenerator>)},
    {Py_tp_repr, reinterpret_cast<void*>(generator_repr)},
    {Py_tp_methods, kMethods},
    {0, nullptr},
};

}  // namespace

PyTypeObject* create_cypher_generator_type() {
  return make_type("_morvane.CypherGenerator", sizeof(Instance<PyCypherGenerator>), true, kSlots);
}

}  // namespace morvane::bindings
