// Result<T, E>: a value or an error value, the way fallible operations return inside the core.
#pragma once

#include <cassert>
#include <utility>
#include <variant>

namespace morvane {

// Wraps an error so that Result<T, E> can be built from it when T and E could be confused.
template <class E>
struct Err {
  E error;
};
template <class E>
Err(E) -> Err<E>;

template <class T, class E>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
  template <class F>
  Result(Err<F> err) : v_(std::in_place_index<1>, std::move(err.error)) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { assert(ok()); return std::get<0>(v_); }
  const T& value() const& { assert(ok()); return std::get<0>(v_); }
  T&& value() && { assert(ok()); return std::get<0>(std::move(v_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  E& error() & { assert(!ok()); return std::get<1>(v_); }
  const E& error() const& { assert(!ok()); return std::get<1>(v_); }
  E&& error() && { assert(!ok()); return std::get<1>(std::move(v_)); }

 private:
  std::variant<T, E> v_;
};

}  // namespace morvane
