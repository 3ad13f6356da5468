// A validation result laid out in one block of bytes, as a ValidationResult object keeps it.
//
// A batch's workers pack each result into storage of their own, and the object that shows it to
// Python copies the block into itself, so each result costs one allocation (the object's), made
// and freed by the threads that hold the interpreter lock, and no block is freed on another
// thread than the one that made it. A valid result without warnings is the header alone.
//
// Layout: a header (the validity flag, the diagnostic count, the fixed query's text), one
// fixed-size record per diagnostic in the order found, then the texts the header and the
// records refer to, each as an offset from the block's start and a size. Every field is read
// by copying its bytes, so a block may sit at any address; a block at a multiple of 8 has its
// texts at multiples of 8 too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "diagnostics/diagnostic.h"
#include "validator/morvane.h"

namespace morvane::validator {

// A suggestion of a packed diagnostic: views into the block.
struct SuggestionView {
  std::string_view original;
  std::string_view replacement;
  std::string_view description;
};

// One diagnostic of a packed result, its texts viewed in the block.
struct DiagnosticView {
  diagnostics::DiagnosticCode code;
  diagnostics::Severity severity;
  std::string_view message;
  std::optional<SuggestionView> suggestion;
  std::optional<diagnostics::Position> position;
};

class PackedResult {
 public:
  // The bytes the block of `result` takes. std::bad_alloc when its texts add up past what
  // 32-bit offsets reach.
  static std::size_t size_of(const PyValidationResult& result);
  // Writes the block of `result` into the size_of(result) bytes at `out`.
  static void pack(const PyValidationResult& result, char* out);
  // Whether `result` is valid with no diagnostics (so no fixed query either): every such result
  // has the same block, valid_block(), and needs none of its own.
  static bool is_plain(const PyValidationResult& result);
  static const char* valid_block();

  // A view of the block at `block`, which outlives the view.
  explicit PackedResult(const char* block) : block_(block) {}

  bool is_valid() const;
  std::optional<std::string_view> fixed_query() const;
  std::size_t diagnostic_count() const;
  DiagnosticView diagnostic(std::size_t index) const;

  // The messages, as PyValidationResult gives them: every error; the parse message alone; the
  // semantic errors alone; the warnings.
  std::vector<std::string_view> errors() const;
  std::vector<std::string_view> syntax_errors() const;
  std::vector<std::string_view> semantic_errors() const;
  std::vector<std::string_view> warnings() const;
  std::size_t error_count() const;

 private:
  const char* block_;
};

}  // namespace morvane::validator
