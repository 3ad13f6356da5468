#include "bindings/boundary.h"

#include <algorithm>
#include <array>
#include <string>

#include "bindings/py_schema.h"
#include "schema/schema_json.h"

namespace morvane::bindings {

ModuleState& state() {
  static ModuleState module_state;
  return module_state;
}

void raise_message(PyObject* type, std::string_view message) {
  Ref text = Ref::steal(
      PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (text) PyErr_SetObject(type, text.get());
}

void raise_fault(std::string_view message) { raise_message(state().fault, message); }

bool enter() {
  if (parser::StackBound::of_current_thread(kEntryReserve).reached()) {
    PyErr_SetString(PyExc_RecursionError, "maximum recursion depth exceeded in _morvane");
    return false;
  }
  if (!make_exception_state()) {
    PyErr_NoMemory();
    return false;
  }
  return true;
}

parser::Recognizer& locked_recognizer() {
  // Never destroyed: a thread still inside a call at interpreter exit may be using it.
  static parser::Recognizer* const recognizer = new parser::Recognizer();
  return *recognizer;
}

void raise_cypher_error(const CypherError& error) {
  raise_message(PyExc_ValueError, error.display());
}

bool exception_reaches_caller() {
  PyObject* type = PyErr_Occurred();
  return type != nullptr && (!PyErr_GivenExceptionMatches(type, PyExc_Exception) ||
                             PyErr_GivenExceptionMatches(type, PyExc_MemoryError));
}

PyTypeObject* make_type(const char* name, int basicsize, bool instantiable, PyType_Slot* slots,
                        int itemsize) {
  unsigned flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
  if (!instantiable) flags |= Py_TPFLAGS_DISALLOW_INSTANTIATION;
  PyType_Spec shape = {name, basicsize, itemsize, flags, slots};
  return reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&shape));
}

// ---- Arguments ----

namespace {

std::string callable_name(const Params& params) { return std::string(params.callable) + "()"; }

bool too_many_positional(const Params& params, Py_ssize_t given) {
  const std::size_t total = params.count;
  std::string takes = params.required == total
                          ? std::to_string(total)
                          : "from " + std::to_string(params.required) + " to " +
                                std::to_string(total);
  std::string message = callable_name(params) + " takes " + takes + " positional argument" +
                        (total == 1 && params.required == total ? "" : "s") + " but " +
                        std::to_string(given) + (given == 1 ? " was" : " were") + " given";
  raise_message(PyExc_TypeError, message);
  return false;
}

bool missing_required(const Params& params, PyObject** slots) {
  std::vector<const char*> missing;
  for (std::size_t i = 0; i < params.required; ++i) {
    if (slots[i] == nullptr) missing.push_back(params.names[i]);
  }
  if (missing.empty()) return true;
  std::string list;
  for (std::size_t i = 0; i < missing.size(); ++i) {
    if (i > 0) list += missing.size() == 2 ? " and " : (i + 1 == missing.size() ? ", and " : ", ");
    list += "'" + std::string(missing[i]) + "'";
  }
  std::string message = callable_name(params) + " missing " + std::to_string(missing.size()) +
                        " required positional argument" + (missing.size() == 1 ? "" : "s") +
                        ": " + list;
  raise_message(PyExc_TypeError, message);
  return false;
}

// Places one keyword argument into its slot.
bool bind_keyword(const Params& params, PyObject* name, PyObject* value, PyObject** slots) {
  for (std::size_t i = 0; i < params.count; ++i) {
    const char* param = params.names[i];
    if (PyUnicode_CompareWithASCIIString(name, param) == 0) {
      if (slots[i] != nullptr) {
        std::string message =
            callable_name(params) + " got multiple values for argument '" + param + "'";
        raise_message(PyExc_TypeError, message);
        return false;
      }
      slots[i] = value;
      return true;
    }
  }
  // The name goes into the message as an object: it may hold text that has no UTF-8 form.
  const std::string callable = callable_name(params);
  PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'", callable.c_str(),
               name);
  return false;
}

}  // namespace

namespace {

// Fills the slots from the positional arguments; the rest start out empty.
bool place_positional(const Params& params, PyObject* const* args, Py_ssize_t nargs,
                      PyObject** slots) {
  const std::size_t total = params.count;
  if (static_cast<std::size_t>(nargs) > total) return too_many_positional(params, nargs);
  for (std::size_t i = 0; i < total; ++i) {
    slots[i] = i < static_cast<std::size_t>(nargs) ? args[i] : nullptr;
  }
  return true;
}

}  // namespace

bool bind_arguments(const Params& params, PyObject* const* args, Py_ssize_t nargs,
                    PyObject* kwnames, PyObject** slots) {
  if (!place_positional(params, args, nargs, slots)) return false;
  if (kwnames != nullptr) {
    const Py_ssize_t count = PyTuple_Size(kwnames);
    for (Py_ssize_t k = 0; k < count; ++k) {
      if (!bind_keyword(params, PyTuple_GetItem(kwnames, k), args[nargs + k], slots)) return false;
    }
  }
  return missing_required(params, slots);
}

bool bind(const Params& params, PyObject* args, PyObject* kwargs, PyObject** slots) {
  std::array<PyObject*, kMaxParams> positional{};
  const Py_ssize_t nargs = PyTuple_Size(args);
  if (static_cast<std::size_t>(nargs) > params.count) {
    return too_many_positional(params, nargs);
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) positional[i] = PyTuple_GetItem(args, i);
  if (!place_positional(params, positional.data(), nargs, slots)) return false;
  if (kwargs != nullptr) {
    Py_ssize_t pos = 0;
    PyObject* name;
    PyObject* value;
    while (PyDict_Next(kwargs, &pos, &name, &value)) {
      if (!bind_keyword(params, name, value, slots)) return false;
    }
  }
  return missing_required(params, slots);
}

// ---- Converters ----

namespace {

// Re-raises a TypeError from converting `param` as "argument '{param}': {reason}"; any other
// exception passes through unchanged.
bool argument_error(const char* param) {
  if (!PyErr_ExceptionMatches(PyExc_TypeError)) return false;
  PyObject* type;
  PyObject* value;
  PyObject* traceback;
  PyErr_Fetch(&type, &value, &traceback);
  Ref owned_type = Ref::steal(type), owned_value = Ref::steal(value);
  Ref owned_traceback = Ref::steal(traceback);
  Ref reason = Ref::steal(value != nullptr ? PyObject_Str(value) : PyUnicode_FromString(""));
  if (!reason) return false;
  PyErr_Format(PyExc_TypeError, "argument '%s': %U", param, reason.get());
  return false;
}

bool argument_type_error(const char* param, PyObject* object, std::string_view target) {
  std::string reason = cannot_convert(object, target);
  raise_message(PyExc_TypeError, reason);
  return argument_error(param);
}

}  // namespace

std::string cannot_convert(PyObject* object, std::string_view target) {
  Ref name = Ref::steal(PyType_GetName(Py_TYPE(object)));
  Py_ssize_t size = 0;
  const char* text = name ? PyUnicode_AsUTF8AndSize(name.get(), &size) : nullptr;
  if (text == nullptr) {
    PyErr_Clear();
    text = "?";
    size = 1;
  }
  return "'" + std::string(text, static_cast<std::size_t>(size)) + "' object cannot be converted to '" +
         std::string(target) + "'";
}

bool to_text(PyObject* object, const char* param, std::string_view& out) {
  // An exact str is told apart without asking for the type's flags, which the stable ABI does
  // through a call.
  if (!Py_IS_TYPE(object, &PyUnicode_Type) && !PyUnicode_Check(object)) {
    return argument_type_error(param, object, "PyString");
  }
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(object, &size);
  if (text == nullptr) return argument_error(param);
  out = std::string_view(text, static_cast<std::size_t>(size));
  return true;
}

bool to_text_list(PyObject* object, const char* param, TextList& out) {
  if (PyUnicode_Check(object)) {
    PyErr_SetString(PyExc_TypeError, "Can't extract `str` to `Vec`");
    return argument_error(param);
  }
  if (!PySequence_Check(object)) return argument_type_error(param, object, "Sequence");
  // The length only sizes the first allocation: a sequence may claim any length, and what
  // counts is the items it gives. So an error in finding the length is passed over, unless it
  // is no error of the sequence's but an interrupt, an exit or exhausted memory, which goes to
  // the caller.
  constexpr Py_ssize_t kMaxReserve = 1 << 16;
  const Py_ssize_t hint = PySequence_Size(object);
  if (hint < 0) {
    if (exception_reaches_caller()) return false;
    PyErr_Clear();
  }
  const std::size_t reserve = static_cast<std::size_t>(std::clamp<Py_ssize_t>(hint, 0, kMaxReserve));
  out.objects.reserve(reserve);
  out.texts.reserve(reserve);
  Ref iterator = Ref::steal(PyObject_GetIter(object));
  if (!iterator) return argument_error(param);
  while (Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
    if (!PyUnicode_Check(item.get())) return argument_type_error(param, item.get(), "PyString");
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(item.get(), &size);
    if (data == nullptr) return argument_error(param);
    out.texts.emplace_back(data, static_cast<std::size_t>(size));
    out.objects.push_back(std::move(item));
  }
  if (PyErr_Occurred()) return argument_error(param);
  return true;
}

bool to_dict(PyObject* object, const char* param, PyObject*& out) {
  if (!PyDict_Check(object)) return argument_type_error(param, object, "PyDict");
  out = object;
  return true;
}

bool to_schema(PyObject* object, const char* param, const schema::Schema*& out) {
  if (!PyObject_TypeCheck(object, state().schema_type)) {
    return argument_type_error(param, object, "Schema");
  }
  out = &native<PySchema>(object).inner;
  return true;
}

bool to_u64(PyObject* object, const char* param, std::uint64_t& out) {
  Ref index = Ref::steal(PyNumber_Index(object));
  if (!index) return argument_error(param);
  const unsigned long long value = PyLong_AsUnsignedLongLong(index.get());
  if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
    return argument_error(param);
  }
  out = value;
  return true;
}

// ---- Results ----

PyObject* new_str(std::string_view text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

PyObject* new_bool(bool value) { return Py_NewRef(value ? Py_True : Py_False); }

PyObject* new_optional_str(const std::optional<std::string>& text) {
  if (!text) return Py_NewRef(Py_None);
  return new_str(*text);
}

namespace {

template <class Texts>
std::string quoted(const Texts& texts) {
  std::string out = "[";
  bool first = true;
  for (std::string_view text : texts) {
    if (!first) out += ", ";
    first = false;
    out += schema::debug_quote(text);
  }
  out += ']';
  return out;
}

}  // namespace

std::string quoted_list(std::span<const std::string> texts) { return quoted(texts); }
std::string quoted_list(std::span<const std::string_view> texts) { return quoted(texts); }

}  // namespace morvane::bindings
