#include "bindings/py_parser.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bindings/boundary.h"
#include "bindings/query_info.h"

namespace morvane::bindings {
namespace {

using py_parser::PyQueryInfo;

const PyQueryInfo& self_info(PyObject* self) { return native<PyQueryInfo>(self); }

PyObject* parse_query(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                      PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    static constexpr Params kParams{"parse_query", {"query"}, 1, 1};
    PyObject* slots[1];
    std::string_view query;
    if (!bind(kParams, args, nargs, kwnames, slots) || !to_text(slots[0], "query", query)) {
      return nullptr;
    }
    return make_instance(state().query_info_type,
                         py_parser::parse_query(query, locked_recognizer()));
  });
}

PyObject* info_is_valid(PyObject* self, void*) {
  return new_bool(self_info(self).is_valid);
}

int info_bool(PyObject* self) { return self_info(self).is_valid ? 1 : 0; }

PyObject* info_repr(PyObject* self) {
  return guarded<PyObject*>(nullptr, [&] {
    const PyQueryInfo& info = self_info(self);
    std::string text = std::string("QueryInfo(is_valid=") + (info.is_valid ? "true" : "false") +
                       ", labels=" + quoted_list(info.labels_used) +
                       ", rel_types=" + quoted_list(info.rel_types_used) +
                       ", properties=" + quoted_list(info.properties_used) +
                       ", errors=" + quoted_list(info.errors) + ")";
    return new_str(text);
  });
}

PyGetSetDef kGetters[] = {
    {"is_valid", info_is_valid, nullptr, "True if the query is syntactically valid.", nullptr},
    {"errors", str_list_getter<&PyQueryInfo::errors>, nullptr,
     "Syntax error messages (empty if valid).", nullptr},
    {"labels_used", str_list_getter<&PyQueryInfo::labels_used>, nullptr,
     "Node labels referenced in the query.", nullptr},
    {"rel_types_used", str_list_getter<&PyQueryInfo::rel_types_used>, nullptr,
     "Relationship types referenced in the query.", nullptr},
    {"properties_used", str_list_getter<&PyQueryInfo::properties_used>, nullptr,
     "Property keys accessed in the query (e.g. ``[\"name\", \"age\"]``).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot kSlots[] = {
    {Py_tp_doc, const_cast<char*>("Information extracted from a parsed query without a schema.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_instance<PyQueryInfo>)},
    {Py_tp_repr, reinterpret_cast<void*>(info_repr)},
    {Py_nb_bool, reinterpret_cast<void*>(info_bool)},
    {Py_tp_getset, kGetters},
    {0, nullptr},
};

constexpr char kParseQueryDoc[] =
    "parse_query(query)\n--\n\n"
    "Parse a Cypher query and return structural information without requiring a schema.\n"
    "\n"
    "Example::\n"
    "\n"
    "    info = parse_query(\"MATCH (p:Person)-[:ACTED_IN]->(m:Movie) RETURN p.name\")\n"
    "    info.is_valid         # True\n"
    "    info.labels_used      # [\"Movie\", \"Person\"]\n"
    "    info.rel_types_used   # [\"ACTED_IN\"]\n"
    "    info.properties_used  # [\"name\"]";

}  // namespace

PyMethodDef kParseQueryDef = {"parse_query", method(parse_query), kFastcall, kParseQueryDoc};

PyTypeObject* create_query_info_type() {
  return make_type("_morvane.QueryInfo", sizeof(Instance<PyQueryInfo>), false, kSlots);
}

}  // namespace morvane::bindings
