// The Python classes ValidationResult and ValidationDiagnostic: a validation's outcome and its
// findings, read-only, with their dict, JSON and repr forms. Neither is instantiable from Python.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "bindings/python.h"
#include "bindings/result_chunk.h"
#include "diagnostics/diagnostic.h"
#include "validator/morvane.h"
#include "validator/packed_result.h"

namespace morvane::bindings {

// One finding, flattened to texts: what a ValidationDiagnostic object owns.
struct PyValidationDiagnostic {
  std::string code;
  std::string code_name;
  std::string severity;
  std::string message;
  std::optional<std::string> suggestion_original;
  std::optional<std::string> suggestion_replacement;
  std::optional<std::string> suggestion_description;
  std::optional<std::uint32_t> position_line;
  std::optional<std::uint32_t> position_col;

  static PyValidationDiagnostic from_native(const validator::DiagnosticView& diagnostic);
};

PyTypeObject* create_validation_result_type();
PyTypeObject* create_validation_diagnostic_type();

// A new ValidationResult object holding `result`, laid out as validator::PackedResult.
PyObject* new_validation_result(const validator::PyValidationResult& result);
// A new ValidationResult object showing the validator::PackedResult `block`, which lies in
// `chunk` (it takes a reference) or, when `chunk` is nullptr, lives as long as the process.
PyObject* new_validation_result(const char* block, ResultChunk* chunk);

}  // namespace morvane::bindings
