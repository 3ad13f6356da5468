#include "validator/packed_result.h"

#include <cstring>
#include <limits>
#include <new>

namespace morvane::validator {
namespace {

struct Span {
  std::uint32_t offset;
  std::uint32_t size;
};

struct Header {
  std::uint32_t diagnostic_count;
  std::uint8_t is_valid;
  std::uint8_t has_fixed_query;
  Span fixed_query;
};

struct Record {
  diagnostics::DiagnosticCode code;
  diagnostics::Severity severity;
  std::uint8_t has_suggestion;
  std::uint8_t has_position;
  std::uint32_t line;
  std::uint32_t column;
  Span message;
  Span original;
  Span replacement;
  Span description;
};

template <class T>
T read(const char* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <class T>
void write(char* at, const T& value) {
  std::memcpy(at, &value, sizeof value);
}

Header header_of(const char* block) { return read<Header>(block); }

Record record_of(const char* block, std::size_t index) {
  return read<Record>(block + sizeof(Header) + index * sizeof(Record));
}

std::string_view text_of(const char* block, Span span) { return {block + span.offset, span.size}; }

// Each text starts at a multiple of this from the block's start: the interpreter decodes text
// whose start is aligned to a machine word a word at a time, and other text byte by byte.
constexpr std::size_t kTextAlignment = 8;

std::size_t aligned(std::size_t at) {
  return (at + kTextAlignment - 1) / kTextAlignment * kTextAlignment;
}

// Places texts after the records, handing out their spans in order. With `block` nullptr it
// only counts: end() is then the block's size.
class TextWriter {
 public:
  TextWriter(char* block, std::size_t at) : block_(block), at_(at) {}

  Span add(std::string_view text) {
    const std::size_t start = aligned(at_);
    if (block_ != nullptr) {
      std::memset(block_ + at_, 0, start - at_);
      if (!text.empty()) std::memcpy(block_ + start, text.data(), text.size());
    }
    at_ = start + text.size();
    return Span{static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(text.size())};
  }

  std::size_t end() const { return at_; }

 private:
  char* block_;
  std::size_t at_;
};

// Calls add(text) on each text of `result`, in the order the block keeps them.
template <class Add>
void for_each_text(const PyValidationResult& result, Add&& add) {
  if (result.fixed_query) add(*result.fixed_query);
  for (const diagnostics::ValidationDiagnostic& diagnostic : result.diagnostics) {
    add(diagnostic.message);
    if (diagnostic.suggestion) {
      add(diagnostic.suggestion->original);
      add(diagnostic.suggestion->replacement);
      add(diagnostic.suggestion->description);
    }
  }
}

bool is_error(diagnostics::Severity severity) { return severity == diagnostics::Severity::Error; }

template <class Keep>
std::vector<std::string_view> messages_of(const char* block, Keep keep) {
  std::vector<std::string_view> out;
  const std::size_t count = header_of(block).diagnostic_count;
  for (std::size_t i = 0; i < count; ++i) {
    const Record record = record_of(block, i);
    if (keep(record)) out.push_back(text_of(block, record.message));
  }
  return out;
}

bool is_syntax_error(const Record& record) {
  return record.code == diagnostics::DiagnosticCode::ParseError;
}

}  // namespace

std::size_t PackedResult::size_of(const PyValidationResult& result) {
  TextWriter texts(nullptr, sizeof(Header) + result.diagnostics.size() * sizeof(Record));
  for_each_text(result, [&](std::string_view text) { texts.add(text); });
  if (texts.end() > std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();
  return texts.end();
}

void PackedResult::pack(const PyValidationResult& result, char* out) {
  const std::size_t count = result.diagnostics.size();
  TextWriter texts(out, sizeof(Header) + count * sizeof(Record));
  Header header{static_cast<std::uint32_t>(count), result.is_valid,
                result.fixed_query.has_value(), Span{0, 0}};
  if (result.fixed_query) header.fixed_query = texts.add(*result.fixed_query);
  write(out, header);
  for (std::size_t i = 0; i < count; ++i) {
    const diagnostics::ValidationDiagnostic& diagnostic = result.diagnostics[i];
    Record record{diagnostic.code, diagnostic.severity, diagnostic.suggestion.has_value(),
                  diagnostic.position.has_value(), 0, 0, texts.add(diagnostic.message),
                  Span{0, 0}, Span{0, 0}, Span{0, 0}};
    if (diagnostic.position) {
      record.line = diagnostic.position->line;
      record.column = diagnostic.position->column;
    }
    if (diagnostic.suggestion) {
      record.original = texts.add(diagnostic.suggestion->original);
      record.replacement = texts.add(diagnostic.suggestion->replacement);
      record.description = texts.add(diagnostic.suggestion->description);
    }
    write(out + sizeof(Header) + i * sizeof(Record), record);
  }
}

bool PackedResult::is_plain(const PyValidationResult& result) {
  return result.is_valid && result.diagnostics.empty() && !result.fixed_query;
}

const char* PackedResult::valid_block() {
  static constexpr Header kValid{0, 1, 0, Span{0, 0}};
  return reinterpret_cast<const char*>(&kValid);
}

bool PackedResult::is_valid() const { return header_of(block_).is_valid != 0; }

std::optional<std::string_view> PackedResult::fixed_query() const {
  const Header header = header_of(block_);
  if (header.has_fixed_query == 0) return std::nullopt;
  return text_of(block_, header.fixed_query);
}

std::size_t PackedResult::diagnostic_count() const { return header_of(block_).diagnostic_count; }

DiagnosticView PackedResult::diagnostic(std::size_t index) const {
  const Record record = record_of(block_, index);
  DiagnosticView view{record.code, record.severity, text_of(block_, record.message), std::nullopt,
                      std::nullopt};
  if (record.has_suggestion != 0) {
    view.suggestion = SuggestionView{text_of(block_, record.original),
                                     text_of(block_, record.replacement),
                                     text_of(block_, record.description)};
  }
  if (record.has_position != 0) view.position = diagnostics::Position{record.line, record.column};
  return view;
}

std::vector<std::string_view> PackedResult::errors() const {
  return messages_of(block_, [](const Record& record) { return is_error(record.severity); });
}

std::vector<std::string_view> PackedResult::syntax_errors() const {
  return messages_of(block_, is_syntax_error);
}

std::vector<std::string_view> PackedResult::semantic_errors() const {
  return messages_of(block_, [](const Record& record) {
    return is_error(record.severity) && !is_syntax_error(record);
  });
}

std::vector<std::string_view> PackedResult::warnings() const {
  return messages_of(block_, [](const Record& record) {
    return record.severity == diagnostics::Severity::Warning;
  });
}

std::size_t PackedResult::error_count() const {
  std::size_t count = 0;
  const std::size_t total = header_of(block_).diagnostic_count;
  for (std::size_t i = 0; i < total; ++i) count += is_error(record_of(block_, i).severity);
  return count;
}

}  // namespace morvane::validator
