#include "bindings/py_result.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bindings/boundary.h"
#include "validator/result_json.h"

namespace morvane::bindings {

using validator::DiagnosticView;
using validator::PackedResult;

PyValidationDiagnostic PyValidationDiagnostic::from_native(const DiagnosticView& diagnostic) {
  PyValidationDiagnostic flat;
  flat.code = diagnostics::code(diagnostic.code);
  flat.code_name = diagnostics::code_name(diagnostic.code);
  flat.severity = diagnostics::severity_text(diagnostic.severity);
  flat.message = std::string(diagnostic.message);
  if (diagnostic.suggestion) {
    flat.suggestion_original = std::string(diagnostic.suggestion->original);
    flat.suggestion_replacement = std::string(diagnostic.suggestion->replacement);
    flat.suggestion_description = std::string(diagnostic.suggestion->description);
  }
  if (diagnostic.position) {
    flat.position_line = diagnostic.position->line;
    flat.position_col = diagnostic.position->column;
  }
  return flat;
}

namespace {

PyObject* new_optional_u32(const std::optional<std::uint32_t>& value) {
  if (!value) return Py_NewRef(Py_None);
  return PyLong_FromUnsignedLong(*value);
}

// ---- ValidationDiagnostic ----

const PyValidationDiagnostic& self_diagnostic(PyObject* self) {
  return native<PyValidationDiagnostic>(self);
}

// The nine fields in their fixed order: the attribute names and the dict keys.
enum class Field { kCode, kCodeName, kSeverity, kMessage, kOriginal, kReplacement, kDescription,
                   kLine, kCol };
constexpr const char* kFieldNames[] = {
    "code", "code_name", "severity", "message", "suggestion_original", "suggestion_replacement",
    "suggestion_description", "position_line", "position_col",
};
static_assert(std::size(kFieldNames) == static_cast<std::size_t>(Field::kCol) + 1);

PyObject* field_value(const PyValidationDiagnostic& d, Field field) {
  switch (field) {
    case Field::kCode: return new_str(d.code);
    case Field::kCodeName: return new_str(d.code_name);
    case Field::kSeverity: return new_str(d.severity);
    case Field::kMessage: return new_str(d.message);
    case Field::kOriginal: return new_optional_str(d.suggestion_original);
    case Field::kReplacement: return new_optional_str(d.suggestion_replacement);
    case Field::kDescription: return new_optional_str(d.suggestion_description);
    case Field::kLine: return new_optional_u32(d.position_line);
    case Field::kCol: return new_optional_u32(d.position_col);
  }
  return nullptr;
}

PyObject* diagnostic_dict(const PyValidationDiagnostic& d) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return nullptr;
  for (std::size_t i = 0; i < std::size(kFieldNames); ++i) {
    Ref value = Ref::steal(field_value(d, static_cast<Field>(i)));
    if (!value || PyDict_SetItemString(dict.get(), kFieldNames[i], value.get()) < 0) {
      return nullptr;
    }
  }
  return dict.release();
}

PyObject* diagnostic_field(PyObject* self, void* closure) {
  return guarded<PyObject*>(nullptr, [&] {
    return field_value(self_diagnostic(self),
                       static_cast<Field>(reinterpret_cast<std::uintptr_t>(closure)));
  });
}

PyObject* diagnostic_to_dict(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    static constexpr Params kParams{"ValidationDiagnostic.to_dict", {}, 0, 0};
    if (!bind(kParams, args, nargs, kwnames, nullptr)) return nullptr;
    return diagnostic_dict(self_diagnostic(self));
  });
}

PyObject* diagnostic_repr(PyObject* self) {
  return guarded<PyObject*>(nullptr, [&] {
    const PyValidationDiagnostic& d = self_diagnostic(self);
    std::string text = "ValidationDiagnostic(code='" + d.code + "', severity='" + d.severity +
                       "', message='" + d.message + "'";
    if (d.suggestion_replacement) text += ", suggestion='" + *d.suggestion_replacement + "'";
    text += ')';
    return new_str(text);
  });
}

void* field_closure(Field field) {
  return reinterpret_cast<void*>(static_cast<std::uintptr_t>(field));
}

PyGetSetDef kDiagnosticGetters[] = {
    {"code", diagnostic_field, nullptr, "Short error code (e.g. \"E201\").",
     field_closure(Field::kCode)},
    {"code_name", diagnostic_field, nullptr,
     "Human-readable code name (e.g. \"UnknownNodeLabel\").", field_closure(Field::kCodeName)},
    {"severity", diagnostic_field, nullptr, "\"error\" or \"warning\".",
     field_closure(Field::kSeverity)},
    {"message", diagnostic_field, nullptr, "Full human-readable message.",
     field_closure(Field::kMessage)},
    {"suggestion_original", diagnostic_field, nullptr,
     "Original text fragment to replace, or None.", field_closure(Field::kOriginal)},
    {"suggestion_replacement", diagnostic_field, nullptr, "Suggested replacement text, or None.",
     field_closure(Field::kReplacement)},
    {"suggestion_description", diagnostic_field, nullptr,
     "Human-readable description of the suggestion, or None.",
     field_closure(Field::kDescription)},
    {"position_line", diagnostic_field, nullptr,
     "1-based line number (parse errors only), or None.", field_closure(Field::kLine)},
    {"position_col", diagnostic_field, nullptr,
     "1-based column number (parse errors only), or None.", field_closure(Field::kCol)},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef kDiagnosticMethods[] = {
    {"to_dict", method(diagnostic_to_dict), kFastcall, "to_dict($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kDiagnosticSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_instance<PyValidationDiagnostic>)},
    {Py_tp_repr, reinterpret_cast<void*>(diagnostic_repr)},
    {Py_tp_getset, kDiagnosticGetters},
    {Py_tp_methods, kDiagnosticMethods},
    {0, nullptr},
};

PyObject* new_diagnostic(const DiagnosticView& diagnostic) {
  return make_instance(state().validation_diagnostic_type,
                       PyValidationDiagnostic::from_native(diagnostic));
}

// ---- ValidationResult ----

// A ValidationResult object shows one PackedResult block: its own, after the fields, Py_SIZE
// bytes long, or the shared block of plain valid results. Each object is one allocation: of the
// object allocator when it holds no block, of malloc when it does (those run to hundreds of
// bytes, the object allocator hands emptied arenas back to the system, so a loop keeping
// thousands of them would fault their pages in again on every round, and a batch's threads
// make them without the interpreter lock).
struct ResultObject {
  PyObject_VAR_HEAD
  const char* block;
};

PackedResult self_result(PyObject* self) {
  return PackedResult(reinterpret_cast<const ResultObject*>(self)->block);
}

void result_dealloc(PyObject* self) noexcept {
  PyTypeObject* type = Py_TYPE(self);
  if (Py_SIZE(self) > 0) {
    std::free(self);
  } else {
    PyObject_Free(self);
  }
  Py_DECREF(type);
}

PyObject* optional_view_str(const std::optional<std::string_view>& text) {
  if (!text) return Py_NewRef(Py_None);
  return new_str(*text);
}

PyObject* result_is_valid(PyObject* self, void*) {
  return new_bool(self_result(self).is_valid());
}

PyObject* result_fixed_query(PyObject* self, void*) {
  return guarded<PyObject*>(nullptr,
                            [&] { return optional_view_str(self_result(self).fixed_query()); });
}

// A new list of what `make` gives for each native diagnostic, in order.
template <class F>
PyObject* diagnostics_list(const PackedResult& result, F&& make) {
  const std::size_t count = result.diagnostic_count();
  Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(count)));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    PyObject* item = make(result.diagnostic(i));
    if (item == nullptr) return nullptr;
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list.release();
}

PyObject* result_diagnostics(PyObject* self, void*) {
  return guarded<PyObject*>(nullptr, [&] {
    return diagnostics_list(self_result(self), new_diagnostic);
  });
}

PyObject* result_to_dict(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    static constexpr Params kParams{"ValidationResult.to_dict", {}, 0, 0};
    if (!bind(kParams, args, nargs, kwnames, nullptr)) return nullptr;
    const PackedResult r = self_result(self);
    Ref dict = Ref::steal(PyDict_New());
    if (!dict) return nullptr;
    auto set = [&](const char* key, PyObject* value) {
      Ref held = Ref::steal(value);
      return held && PyDict_SetItemString(dict.get(), key, held.get()) == 0;
    };
    bool ok = set("is_valid", new_bool(r.is_valid())) &&
              set("errors", new_str_list(r.errors())) &&
              set("syntax_errors", new_str_list(r.syntax_errors())) &&
              set("semantic_errors", new_str_list(r.semantic_errors())) &&
              set("warnings", new_str_list(r.warnings())) &&
              set("fixed_query", optional_view_str(r.fixed_query())) &&
              set("diagnostics", diagnostics_list(r, [](const auto& diagnostic) {
                    return diagnostic_dict(PyValidationDiagnostic::from_native(diagnostic));
                  }));
    return ok ? dict.release() : nullptr;
  });
}

PyObject* result_to_json(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    static constexpr Params kParams{"ValidationResult.to_json", {}, 0, 0};
    if (!bind(kParams, args, nargs, kwnames, nullptr)) return nullptr;
    return new_str(validator::to_json(self_result(self)));
  });
}

int result_bool(PyObject* self) { return self_result(self).is_valid() ? 1 : 0; }

Py_ssize_t result_len(PyObject* self) {
  return static_cast<Py_ssize_t>(self_result(self).error_count());
}

template <auto Messages>
PyObject* messages_getter(PyObject* self, void*) {
  return guarded<PyObject*>(nullptr, [&] { return new_str_list((self_result(self).*Messages)()); });
}

PyObject* result_repr(PyObject* self) {
  return guarded<PyObject*>(nullptr, [&] {
    const PackedResult r = self_result(self);
    std::string text = std::string("ValidationResult(is_valid=") +
                       (r.is_valid() ? "true" : "false") + ", errors=" +
                       quoted_list(r.errors()) + ")";
    return new_str(text);
  });
}

PyGetSetDef kResultGetters[] = {
    {"is_valid", result_is_valid, nullptr, nullptr, nullptr},
    {"errors", messages_getter<&PackedResult::errors>, nullptr,
     "All errors (syntax + semantic) combined.", nullptr},
    {"syntax_errors", messages_getter<&PackedResult::syntax_errors>, nullptr,
     "Parse/syntax errors only.", nullptr},
    {"semantic_errors", messages_getter<&PackedResult::semantic_errors>, nullptr,
     "Schema-level semantic errors only.", nullptr},
    {"warnings", messages_getter<&PackedResult::warnings>, nullptr,
     "Advisory warnings (not errors \u2014 query still runs, but may be slow or incorrect).",
     nullptr},
    {"fixed_query", result_fixed_query, nullptr,
     "Auto-corrected query when all errors are fixable, or None.", nullptr},
    {"diagnostics", result_diagnostics, nullptr,
     "Structured diagnostics with error codes, suggestions, and positions.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef kResultMethods[] = {
    {"to_dict", method(result_to_dict), kFastcall,
     "to_dict($self)\n--\n\nReturn the result as a plain Python dict."},
    {"to_json", method(result_to_json), kFastcall,
     "to_json($self)\n--\n\nReturn the result as a compact JSON string."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kResultSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(result_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(result_repr)},
    {Py_nb_bool, reinterpret_cast<void*>(result_bool)},
    {Py_sq_length, reinterpret_cast<void*>(result_len)},
    {Py_tp_getset, kResultGetters},
    {Py_tp_methods, kResultMethods},
    {0, nullptr},
};

}  // namespace

PyTypeObject* create_validation_result_type() {
  return make_type("_morvane.ValidationResult", static_cast<int>(sizeof(ResultObject)), false,
                   kResultSlots, 1);
}

PyTypeObject* create_validation_diagnostic_type() {
  return make_type("_morvane.ValidationDiagnostic", sizeof(Instance<PyValidationDiagnostic>),
                   false, kDiagnosticSlots);
}

void* new_result_memory(std::size_t block_size) {
  return std::malloc(sizeof(ResultObject) + block_size);
}

char* result_block(void* memory) {
  return reinterpret_cast<char*>(static_cast<ResultObject*>(memory) + 1);
}

PyObject* adopt_validation_result(void* memory, std::size_t block_size) {
  auto* self = reinterpret_cast<ResultObject*>(
      PyObject_InitVar(static_cast<PyVarObject*>(memory), state().validation_result_type,
                       static_cast<Py_ssize_t>(block_size)));
  self->block = result_block(memory);
  return reinterpret_cast<PyObject*>(self);
}

PyObject* new_plain_validation_result() {
  void* memory = PyObject_Malloc(sizeof(ResultObject));
  if (memory == nullptr) return PyErr_NoMemory();
  auto* self = reinterpret_cast<ResultObject*>(PyObject_InitVar(
      static_cast<PyVarObject*>(memory), state().validation_result_type, 0));
  self->block = PackedResult::valid_block();
  return reinterpret_cast<PyObject*>(self);
}

PyObject* new_validation_result(const validator::PyValidationResult& result) {
  if (PackedResult::is_plain(result)) return new_plain_validation_result();
  const std::size_t size = PackedResult::size_of(result);
  void* memory = new_result_memory(size);
  if (memory == nullptr) return PyErr_NoMemory();
  PackedResult::pack(result, result_block(memory));
  return adopt_validation_result(memory, size);
}

}  // namespace morvane::bindings
