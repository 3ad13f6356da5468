// Ref: one owned reference to a Python object, dropped when the Ref goes. Borrowed references
// are never stored; a Ref is made from a new reference (steal) or by taking one (borrow).
//
// Once the interpreter is finalizing a Ref keeps its reference: a thread that the interpreter
// ends then unwinds through Refs without holding the lock (see boundary.h), and dropping a
// reference there would race the finalizing thread. What a Ref keeps then goes with the process.
#pragma once

#include <utility>

#include "bindings/python.h"

namespace morvane::bindings {

class Ref {
 public:
  Ref() = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  Ref& operator=(Ref&& other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~Ref() {
    if (object_ != nullptr && Py_IsInitialized()) Py_DECREF(object_);
  }

  // Takes over a new reference; nullptr (a failed call) gives an empty Ref.
  static Ref steal(PyObject* object) {
    Ref ref;
    ref.object_ = object;
    return ref;
  }
  static Ref borrow(PyObject* object) {
    Py_XINCREF(object);
    return steal(object);
  }

  PyObject* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // Hands the reference to the caller (a function returning a new reference).
  PyObject* release() { return std::exchange(object_, nullptr); }

 private:
  PyObject* object_ = nullptr;
};

}  // namespace morvane::bindings
