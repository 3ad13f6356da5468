// The boundary between Python values and the core's values, shared by every class and function
// of the module: the module's type objects, instances that own one native value, the argument
// binder, one converter per declared parameter type, the conversions of results, and the one
// place where C++ exceptions and the core's error values become Python exceptions.
//
// Every function that CPython calls runs its body under `guarded`, so no C++ exception reaches
// an interpreter frame, with one exception that must: once the interpreter is finalizing, a
// thread taking the lock back (after a batch, or in Python code that a call runs) is ended with
// pthread_exit, which unwinds its stack with abi::__forced_unwind. That unwind has to pass
// every frame up to the thread's start, so nothing catches it for good and no frame on its way
// is noexcept: these functions are not, and only dealloc_instance, which runs no Python code,
// is. Nothing on that way touches a Python object, the thread not holding the lock (Ref).
// Before the body runs, `guarded` checks that the calling thread may enter at all (`enter`):
// room left on its stack, and its exception state made. Functions returning a PyObject*
// return nullptr exactly when a Python exception is set; converters and the binder return
// false exactly then.
#pragma once

#include <cxxabi.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bindings/exception_state.h"
#include "bindings/py_ref.h"
#include "bindings/python.h"
#include "error/cypher_error.h"
#include "parser/recognizer.h"
#include "parser/stack_bound.h"

namespace morvane::schema {
struct Schema;
}

namespace morvane::bindings {

// Owned references made once, when the module is first initialised, and only read afterwards.
struct ModuleState {
  PyTypeObject* schema_type = nullptr;
  PyTypeObject* morvane_type = nullptr;
  PyTypeObject* validation_result_type = nullptr;
  PyTypeObject* validation_diagnostic_type = nullptr;
  PyTypeObject* cypher_generator_type = nullptr;
  PyTypeObject* query_info_type = nullptr;
  // The internal-fault exception: derives from BaseException, not Exception, so a broad
  // `except Exception` in the caller does not swallow a broken invariant.
  PyObject* fault = nullptr;
};
ModuleState& state();

// The recognizer of the calls that parse with the interpreter lock held (validate,
// parse_query): the lock makes each use exclusive, and its buffers are kept from call to call.
// Made on first use; std::bad_alloc when it cannot be.
parser::Recognizer& locked_recognizer();

// ---- Failures ----

// Sets the exception `type` with `message`, every byte of it: a message may quote user text,
// which may hold NUL characters. A byte sequence that is not UTF-8 shows as U+FFFD.
void raise_message(PyObject* type, std::string_view message);
// Sets the internal-fault exception with `message`.
void raise_fault(std::string_view message);
// ValueError with the error's display text ("Parse error: ...", "Generator error: ...").
void raise_cypher_error(const CypherError& error);
// Whether the exception set is one that every reading of an input hands to its caller
// unchanged: one not deriving from Exception (an interrupt, an exit), or MemoryError. Another
// may give way to the message of the reading that met it. False when none is set.
bool exception_reaches_caller();

// The stack a call from Python needs free below its entry: room for converting its arguments,
// for a first batch starting the pool, and for the nesting error of the core, whose own bound
// (parser::kStackReserve) may be reached from the start. That takes about 4 KiB in a release
// build and 11 KiB in a sanitized one. Below the core's reserve, so that a thread with a small
// stack still gets the nesting error rather than RecursionError.
inline constexpr std::size_t kEntryReserve = std::size_t{16} << 10;

// Whether the calling thread may run a call's body: its stack has kEntryReserve free (else
// RecursionError, as the interpreter raises where its own stack runs short), and its exception
// state is made, so that a throw cannot end the process (else MemoryError). False with the
// exception set.
bool enter();

// Runs `body` and returns its result once `enter` allows it; a C++ exception escaping it
// becomes MemoryError (std::bad_alloc) or the internal fault (anything else), and `on_error` is
// returned. The unwind of a thread the interpreter ends goes on untouched. That unwind carries
// no C++ object, so its handler binds a reference to null, which the sanitizer's null check
// would report: the check is off here.
template <class R, class F>
__attribute__((no_sanitize("null"))) R guarded(R on_error, F&& body) {
  if (!enter()) return on_error;
  try {
    return body();
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    raise_fault(e.what());
  } catch (...) {
    raise_fault("unknown internal fault");
  }
  return on_error;
}

// ---- Instances ----

// The layout of every instance: the object header, then the one native value it owns.
template <class T>
struct Instance {
  PyObject_HEAD
  T value;
};

template <class T>
T& native(PyObject* self) {
  return reinterpret_cast<Instance<T>*>(self)->value;
}

// A new instance of `type` owning `value`; nullptr with MemoryError set when allocation fails.
template <class T>
PyObject* make_instance(PyTypeObject* type, T value) {
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* self = alloc(type, 0);
  if (self == nullptr) return nullptr;
  new (&native<T>(self)) T(std::move(value));
  return self;
}

// The tp_dealloc of every type: destroys the native value, frees the object, drops the type.
template <class T>
void dealloc_instance(PyObject* self) noexcept {
  PyTypeObject* type = Py_TYPE(self);
  native<T>(self).~T();
  auto free = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free(self);
  Py_DECREF(type);
}

// A heap type that cannot be subclassed, has no __dict__ and no weak references; `instantiable`
// false marks a type that only the module's own operations create. `name` is "_morvane." and the
// class name: __name__ and __qualname__ are the bare class name, and __module__ is "_morvane".
// (A name without the prefix would leave the type without __module__, which the interpreter
// reports with a DeprecationWarning at import, an error under -W error.) A type whose instances
// differ in size gives the size of each of their items in `itemsize`.
PyTypeObject* make_type(const char* name, int basicsize, bool instantiable, PyType_Slot* slots,
                        int itemsize = 0);

// ---- Methods ----

// Every method takes its arguments the vectorcall way and binds them with `bind` below.
inline constexpr int kFastcall = METH_FASTCALL | METH_KEYWORDS;

// A METH_FASTCALL | METH_KEYWORDS function as the PyCFunction that a PyMethodDef holds.
template <class F>
PyCFunction method(F* function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// ---- Arguments ----

// At most this many parameters per callable.
inline constexpr std::size_t kMaxParams = 4;

// The parameters of one callable: all positional-or-keyword; the first `required` are required.
struct Params {
  const char* callable;  // "Schema.__new__", "Morvane.validate", "parse_query"
  std::array<const char*, kMaxParams> names;  // the first `count` are used
  std::size_t count;
  std::size_t required;
};

// Binds a vectorcall argument list to `params`: on success slots[i] holds the borrowed argument
// of parameter i, or nullptr for an omitted optional one. TypeError for too many positional
// arguments, an unknown keyword, a parameter given twice, or a missing required one.
bool bind_arguments(const Params& params, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** slots);
// Every argument given by position, the common call, is bound without a search.
inline bool bind(const Params& params, PyObject* const* args, Py_ssize_t nargs,
                 PyObject* kwnames, PyObject** slots) {
  if (kwnames == nullptr && static_cast<std::size_t>(nargs) == params.count) {
    for (std::size_t i = 0; i < params.count; ++i) slots[i] = args[i];
    return true;
  }
  return bind_arguments(params, args, nargs, kwnames, slots);
}
// The same for a tuple and a dict (a type's __new__).
bool bind(const Params& params, PyObject* args, PyObject* kwargs, PyObject** slots);

// The converters: each reads one argument, named `param` in its error messages.
// A `str` (or subclass) as its UTF-8 text; the view lives as long as the object.
bool to_text(PyObject* object, const char* param, std::string_view& out);
// A sequence of `str` (not a `str` itself), as views held under strong references.
struct TextList {
  std::vector<Ref> objects;
  std::vector<std::string_view> texts;
};
bool to_text_list(PyObject* object, const char* param, TextList& out);
// A `dict` (or subclass), borrowed.
bool to_dict(PyObject* object, const char* param, PyObject*& out);
// A Schema instance's native schema, borrowed.
bool to_schema(PyObject* object, const char* param, const schema::Schema*& out);
// An int (or an object with __index__) from 0 to 2**64 - 1; OverflowError outside.
bool to_u64(PyObject* object, const char* param, std::uint64_t& out);

// The reason text "'{type}' object cannot be converted to '{target}'".
std::string cannot_convert(PyObject* object, std::string_view target);

// ---- Results ----

PyObject* new_str(std::string_view text);
PyObject* new_bool(bool value);
PyObject* new_optional_str(const std::optional<std::string>& text);  // None when absent
template <class Strings>
PyObject* new_str_list(const Strings& texts) {
  Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(std::size(texts))));
  if (!list) return nullptr;
  Py_ssize_t i = 0;
  for (const auto& text : texts) {
    PyObject* item = new_str(text);
    if (item == nullptr) return nullptr;
    PyList_SetItem(list.get(), i++, item);
  }
  return list.release();
}

template <class T, class M>
T member_owner(M T::*);

// The getter of a list of texts of the native value an instance owns, a field or what a member
// function returns: a new list on every read, so changing it changes nothing else.
template <auto Field>
PyObject* str_list_getter(PyObject* self, void*) {
  using T = decltype(member_owner(Field));
  return guarded<PyObject*>(nullptr,
                            [&] { return new_str_list(std::invoke(Field, native<T>(self))); });
}

// `texts` written as ["a", "b"], each in double quotes with the escapes of debug_quote.
std::string quoted_list(std::span<const std::string> texts);
std::string quoted_list(std::span<const std::string_view> texts);

}  // namespace morvane::bindings
