// The Python classes ValidationResult and ValidationDiagnostic: a validation's outcome and its
// findings, read-only, with their dict, JSON and repr forms. Neither is instantiable from Python.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "bindings/python.h"
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
// A new ValidationResult object of a valid result without diagnostics.
PyObject* new_plain_validation_result();

// The memory of a ValidationResult object whose block is made before the object, on any
// thread and without the interpreter lock: malloc'd room for the object's fields and, after
// them, `block_size` bytes at result_block(memory). nullptr when out of memory. Until
// adopt_validation_result takes it, std::free releases it.
void* new_result_memory(std::size_t block_size);
char* result_block(void* memory);
// The ValidationResult object in `memory` from new_result_memory(block_size), its block
// written: made under the interpreter lock, it owns the memory from then on.
PyObject* adopt_validation_result(void* memory, std::size_t block_size);

}  // namespace morvane::bindings
