// The module _morvane: its six classes and parse_query, registered once per process.
#include "bindings/boundary.h"
#include "bindings/py_generator.h"
#include "bindings/py_parser.h"
#include "bindings/py_result.h"
#include "bindings/py_schema.h"
#include "bindings/py_validator.h"

namespace morvane::bindings {
namespace {

// m_size 0, not -1: an interpreter importing the module then always calls PyInit__morvane,
// which refuses any interpreter but the main one, where -1 would let the import machinery copy
// the first module's attributes into it unasked.
PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT, "_morvane", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

// The module made by the first initialisation. Single-phase initialisation keeps one module per
// process, and it belongs to the main interpreter: were a sub-interpreter to make it, the main
// interpreter could never import the module.
PyObject* g_module = nullptr;
constexpr std::int64_t kMainInterpreter = 0;  // the main interpreter's id

// Appends `name` to __all__, then sets the attribute; steals `value`.
bool add_public(PyObject* module, const char* name, PyObject* value) {
  Ref held = Ref::steal(value);
  if (!held) return false;
  PyObject* all = PyObject_GetAttrString(module, "__all__");
  Ref owned_all = Ref::steal(all);
  if (!all) {
    PyErr_Clear();
    owned_all = Ref::steal(PyList_New(0));
    if (!owned_all || PyModule_AddObjectRef(module, "__all__", owned_all.get()) < 0) return false;
  }
  Ref text = Ref::steal(PyUnicode_FromString(name));
  if (!text || PyList_Append(owned_all.get(), text.get()) < 0) return false;
  return PyModule_AddObjectRef(module, name, held.get()) == 0;
}

// Creates `type` once per process and registers it under `name`.
bool add_class(PyObject* module, const char* name, PyTypeObject*& type,
               PyTypeObject* (*create)()) {
  if (type == nullptr && (type = create()) == nullptr) return false;
  return add_public(module, name, Py_NewRef(reinterpret_cast<PyObject*>(type)));
}

PyObject* init_module() {
  const std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (interpreter < 0) return nullptr;
  if (interpreter != kMainInterpreter) {
    PyErr_SetString(PyExc_ImportError, "_morvane cannot be loaded into a sub-interpreter");
    return nullptr;
  }
  if (g_module != nullptr) return Py_NewRef(g_module);
  ModuleState& s = state();
  if (s.fault == nullptr) {
    s.fault = PyErr_NewExceptionWithDoc(
        "_morvane.InternalFault", "A broken invariant inside the _morvane module.",
        PyExc_BaseException, nullptr);
    if (s.fault == nullptr) return nullptr;
  }
  Ref module = Ref::steal(PyModule_Create(&kModule));
  Ref module_name = Ref::steal(PyUnicode_FromString("_morvane"));
  if (!module || !module_name) return nullptr;
  if (!add_class(module.get(), "Schema", s.schema_type, create_schema_type) ||
      !add_class(module.get(), "Morvane", s.morvane_type, create_morvane_type) ||
      !add_class(module.get(), "ValidationResult", s.validation_result_type,
                 create_validation_result_type) ||
      !add_class(module.get(), "ValidationDiagnostic", s.validation_diagnostic_type,
                 create_validation_diagnostic_type) ||
      !add_class(module.get(), "CypherGenerator", s.cypher_generator_type,
                 create_cypher_generator_type) ||
      !add_class(module.get(), "QueryInfo", s.query_info_type, create_query_info_type) ||
      !add_public(module.get(), "parse_query",
                  PyCFunction_NewEx(&kParseQueryDef, module.get(), module_name.get()))) {
    return nullptr;
  }
  g_module = Py_NewRef(module.get());
  return module.release();
}

}  // namespace
}  // namespace morvane::bindings

PyMODINIT_FUNC PyInit__morvane() {
  return morvane::bindings::guarded<PyObject*>(nullptr, morvane::bindings::init_module);
}
