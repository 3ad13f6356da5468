// CypherError: the one error value of parsing, building and query generation. It travels up
// unchanged from where it is made; only the Python bindings turn it into an exception.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace morvane {

class CypherError {
 public:
  enum class Kind : std::uint8_t { Parse, Semantic, Generator };

  CypherError(Kind kind, std::string message) : kind_(kind), message_(std::move(message)) {}
  static CypherError Parse(std::string message) { return {Kind::Parse, std::move(message)}; }
  static CypherError Semantic(std::string message) { return {Kind::Semantic, std::move(message)}; }
  static CypherError Generator(std::string message) {
    return {Kind::Generator, std::move(message)};
  }

  Kind kind() const { return kind_; }
  const std::string& message() const { return message_; }

  // "Parse error: {}", "Semantic error: {}" or "Generator error: {}".
  std::string display() const {
    constexpr const char* kPrefixes[] = {"Parse error: ", "Semantic error: ", "Generator error: "};
    static_assert(std::size(kPrefixes) == static_cast<std::size_t>(Kind::Generator) + 1);
    return kPrefixes[static_cast<std::size_t>(kind_)] + message_;
  }

  friend bool operator==(const CypherError&, const CypherError&) = default;

 private:
  Kind kind_;
  std::string message_;
};

}  // namespace morvane
