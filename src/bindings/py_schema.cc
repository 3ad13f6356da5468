#include "bindings/py_schema.h"

#include <string>
#include <string_view>
#include <utility>

#include "bindings/boundary.h"
#include "bindings/schema_render.h"
#include "schema/schema_json.h"

namespace morvane::bindings {
namespace {

using schema::PropertySet;
using schema::Schema;

// ---- Reading the dict forms ----

// Calls `entry(key, value)` for each item of `dict`, holding both under strong references, since
// reading a value may run code that changes the dict. A change of size, or more items than the
// dict had (keys replaced at equal size), is an internal fault, as iterating a dict in Python is
// an error then too.
template <class F>
bool for_each_item(PyObject* dict, F&& entry) {
  const Py_ssize_t size = PyDict_Size(dict);
  Py_ssize_t left = size;
  Py_ssize_t pos = 0;
  PyObject* key;
  PyObject* value;
  while (true) {
    if (PyDict_Size(dict) != size) {
      raise_fault("dictionary changed size during iteration");
      return false;
    }
    if (!PyDict_Next(dict, &pos, &key, &value)) return true;
    if (left-- == 0) {
      raise_fault("dictionary keys changed during iteration");
      return false;
    }
    Ref held_key = Ref::borrow(key), held_value = Ref::borrow(value);
    if (!entry(held_key.get(), held_value.get())) return false;
  }
}

// A dict key as text; a key that is not a str is a type mismatch, reported as it stands.
bool key_text(PyObject* key, std::string_view& out) {
  if (!PyUnicode_Check(key)) {
    std::string reason = cannot_convert(key, "PyString");
    raise_message(PyExc_TypeError, reason);
    return false;
  }
  Py_ssize_t size = 0;
  const char* text = PyUnicode_AsUTF8AndSize(key, &size);
  if (text == nullptr) return false;
  out = std::string_view(text, static_cast<std::size_t>(size));
  return true;
}

// A property list: a sequence of str that is not a str. False when the value is anything else
// or reading it fails, with the exception cleared unless it reaches the caller.
bool read_properties(PyObject* value, PropertySet& out) {
  TextList list;
  if (PyUnicode_Check(value) || !PySequence_Check(value) || !to_text_list(value, "", list)) {
    if (!exception_reaches_caller()) PyErr_Clear();
    return false;
  }
  for (std::string_view name : list.texts) out.emplace(name);
  return true;
}

bool read_text_item(PyObject* tuple, Py_ssize_t i, std::string& out) {
  PyObject* item = PyTuple_GetItem(tuple, i);
  Py_ssize_t size = 0;
  const char* text = PyUnicode_Check(item) ? PyUnicode_AsUTF8AndSize(item, &size) : nullptr;
  if (text == nullptr) return false;
  out.assign(text, static_cast<std::size_t>(size));
  return true;
}

// (source, target, properties) as a real tuple of three. False, as read_properties, when the
// value is anything else or reading it fails.
bool read_relationship(PyObject* value, schema::Relationship& out) {
  bool ok = PyTuple_Check(value) && PyTuple_Size(value) == 3 &&
            read_text_item(value, 0, out.source) && read_text_item(value, 1, out.target) &&
            read_properties(PyTuple_GetItem(value, 2), out.properties);
  if (!ok && !exception_reaches_caller()) PyErr_Clear();
  return ok;
}

bool read_nodes(PyObject* nodes, Schema& out) {
  return for_each_item(nodes, [&](PyObject* key, PyObject* value) {
    std::string_view label;
    if (!key_text(key, label)) return false;
    PropertySet properties;
    if (!read_properties(value, properties)) {
      if (PyErr_Occurred()) return false;
      std::string message =
          "Expected list[str] for node properties of label '" + std::string(label) + "'";
      raise_message(PyExc_TypeError, message);
      return false;
    }
    out.nodes.insert_or_assign(std::string(label), std::move(properties));
    return true;
  });
}

bool read_relationships(PyObject* relationships, Schema& out) {
  return for_each_item(relationships, [&](PyObject* key, PyObject* value) {
    std::string_view type;
    if (!key_text(key, type)) return false;
    schema::Relationship relationship;
    if (!read_relationship(value, relationship)) {
      if (PyErr_Occurred()) return false;
      std::string message = "Expected (str, str, list[str]) for relationship '" +
                            std::string(type) + "', e.g. ('Person', 'Movie', ['role'])";
      raise_message(PyExc_TypeError, message);
      return false;
    }
    out.relationships.insert_or_assign(std::string(type), std::move(relationship));
    return true;
  });
}

PyObject* schema_from_dicts(PyObject* nodes, PyObject* relationships) {
  Schema schema;
  if (!read_nodes(nodes, schema) || !read_relationships(relationships, schema)) return nullptr;
  return new_schema_object(std::move(schema));
}

// ---- Writing the dict form ----

PyObject* properties_list(const PropertySet& properties) { return new_str_list(properties); }

PyObject* nodes_dict(const Schema& schema) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return nullptr;
  for (const auto& [label, properties] : schema.nodes) {
    Ref key = Ref::steal(new_str(label)), list = Ref::steal(properties_list(properties));
    if (!key || !list || PyDict_SetItem(dict.get(), key.get(), list.get()) < 0) return nullptr;
  }
  return dict.release();
}

PyObject* relationships_dict(const Schema& schema) {
  Ref dict = Ref::steal(PyDict_New());
  if (!dict) return nullptr;
  for (const auto& [type, relationship] : schema.relationships) {
    Ref key = Ref::steal(new_str(type));
    Ref source = Ref::steal(new_str(relationship.source));
    Ref target = Ref::steal(new_str(relationship.target));
    Ref list = Ref::steal(properties_list(relationship.properties));
    if (!key || !source || !target || !list) return nullptr;
    Ref entry = Ref::steal(PyTuple_Pack(3, source.get(), target.get(), list.get()));
    if (!entry || PyDict_SetItem(dict.get(), key.get(), entry.get()) < 0) return nullptr;
  }
  return dict.release();
}

// ---- Methods ----

const Schema& self_schema(PyObject* self) { return native<PySchema>(self).inner; }

PyObject* schema_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    static constexpr Params kParams{"Schema.__new__", {"nodes", "relationships"}, 2, 2};
    PyObject* slots[2];
    PyObject* nodes;
    PyObject* relationships;
    if (!bind(kParams, args, kwargs, slots) || !to_dict(slots[0], "nodes", nodes) ||
        !to_dict(slots[1], "relationships", relationships)) {
      return nullptr;
    }
    return schema_from_dicts(nodes, relationships);
  });
}

PyObject* schema_from_dict(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    static constexpr Params kParams{"Schema.from_dict", {"d"}, 1, 1};
    PyObject* slots[1];
    PyObject* d;
    if (!bind(kParams, args, nargs, kwnames, slots) || !to_dict(slots[0], "d", d)) {
      return nullptr;
    }
    // Each value is held as soon as it is found: looking up the next key may run code (a
    // key's __eq__) that changes `d`.
    Ref parts[2];
    constexpr const char* kKeys[2] = {"nodes", "relationships"};
    for (int i = 0; i < 2; ++i) {
      Ref key = Ref::steal(PyUnicode_FromString(kKeys[i]));
      if (!key) return nullptr;
      parts[i] = Ref::borrow(PyDict_GetItemWithError(d, key.get()));
      if (!parts[i]) {
        if (PyErr_Occurred()) return nullptr;
        PyErr_Format(PyExc_KeyError, "'%s' key missing from dict", kKeys[i]);
        return nullptr;
      }
      if (!PyDict_Check(parts[i].get())) {
        PyErr_Format(PyExc_TypeError, "'%s' must be a dict", kKeys[i]);
        return nullptr;
      }
    }
    return schema_from_dicts(parts[0].get(), parts[1].get());
  });
}

PyObject* schema_from_json(PyObject*, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    static constexpr Params kParams{"Schema.from_json", {"json_str"}, 1, 1};
    PyObject* slots[1];
    std::string_view json;
    if (!bind(kParams, args, nargs, kwnames, slots) || !to_text(slots[0], "json_str", json)) {
      return nullptr;
    }
    auto schema = schema::deserialize(json);
    if (!schema) {
      std::string message = "Invalid Schema JSON: " + schema.error().display();
      raise_message(PyExc_ValueError, message);
      return nullptr;
    }
    return new_schema_object(std::move(schema).value());
  });
}

// The methods without parameters: bind (refusing any argument), then `body(schema)`.
template <class F>
PyObject* no_argument_method(const Params& params, PyObject* self, PyObject* const* args,
                             Py_ssize_t nargs, PyObject* kwnames, F&& body) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    if (!bind(params, args, nargs, kwnames, nullptr)) return nullptr;
    return body(self_schema(self));
  });
}

// The lookups: one text parameter named `param`, then `body(schema, text)`.
template <class F>
PyObject* lookup_method(const Params& params, PyObject* self, PyObject* const* args,
                        Py_ssize_t nargs, PyObject* kwnames, F&& body) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    PyObject* slots[1];
    std::string_view name;
    if (!bind(params, args, nargs, kwnames, slots) || !to_text(slots[0], params.names[0], name)) {
      return nullptr;
    }
    return body(self_schema(self), name);
  });
}

PyObject* schema_node_labels(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
  static constexpr Params kParams{"Schema.node_labels", {}, 0, 0};
  return no_argument_method(kParams, self, args, nargs, kwnames,
                            [](const Schema& s) { return new_str_list(s.node_labels()); });
}

PyObject* schema_rel_types(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
  static constexpr Params kParams{"Schema.rel_types", {}, 0, 0};
  return no_argument_method(kParams, self, args, nargs, kwnames,
                            [](const Schema& s) { return new_str_list(s.rel_types()); });
}

PyObject* schema_has_node_label(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) {
  static constexpr Params kParams{"Schema.has_node_label", {"label"}, 1, 1};
  return lookup_method(kParams, self, args, nargs, kwnames, [](const Schema& s, auto label) {
    return new_bool(s.has_node_label(label));
  });
}

PyObject* schema_has_rel_type(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                              PyObject* kwnames) {
  static constexpr Params kParams{"Schema.has_rel_type", {"rel_type"}, 1, 1};
  return lookup_method(kParams, self, args, nargs, kwnames, [](const Schema& s, auto type) {
    return new_bool(s.has_rel_type(type));
  });
}

PyObject* schema_node_properties(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                 PyObject* kwnames) {
  static constexpr Params kParams{"Schema.node_properties", {"label"}, 1, 1};
  return lookup_method(kParams, self, args, nargs, kwnames, [](const Schema& s, auto label) {
    return new_str_list(s.node_properties(label));
  });
}

PyObject* schema_rel_properties(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) {
  static constexpr Params kParams{"Schema.rel_properties", {"rel_type"}, 1, 1};
  return lookup_method(kParams, self, args, nargs, kwnames, [](const Schema& s, auto type) {
    return new_str_list(s.rel_properties(type));
  });
}

PyObject* schema_rel_endpoints(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                               PyObject* kwnames) {
  static constexpr Params kParams{"Schema.rel_endpoints", {"rel_type"}, 1, 1};
  return lookup_method(kParams, self, args, nargs, kwnames,
                       [](const Schema& s, auto type) -> PyObject* {
                         auto endpoints = s.rel_src_tgt(type);
                         if (!endpoints) return Py_NewRef(Py_None);
                         Ref source = Ref::steal(new_str(endpoints->first));
                         Ref target = Ref::steal(new_str(endpoints->second));
                         if (!source || !target) return nullptr;
                         return PyTuple_Pack(2, source.get(), target.get());
                       });
}

PyObject* schema_to_dict(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
  static constexpr Params kParams{"Schema.to_dict", {}, 0, 0};
  return no_argument_method(kParams, self, args, nargs, kwnames, [](const Schema& s) -> PyObject* {
    Ref result = Ref::steal(PyDict_New());
    Ref nodes = Ref::steal(nodes_dict(s));
    Ref relationships = Ref::steal(relationships_dict(s));
    if (!result || !nodes || !relationships ||
        PyDict_SetItemString(result.get(), "nodes", nodes.get()) < 0 ||
        PyDict_SetItemString(result.get(), "relationships", relationships.get()) < 0) {
      return nullptr;
    }
    return result.release();
  });
}

PyObject* schema_to_json(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
  // Writing a schema cannot fail, so "Schema serialisation failed: {}" is never raised.
  static constexpr Params kParams{"Schema.to_json", {}, 0, 0};
  return no_argument_method(kParams, self, args, nargs, kwnames,
                            [](const Schema& s) { return new_str(schema::serialize(s)); });
}

Schema merged(const Schema& self, const Schema& other) {
  Schema result = self;
  for (const auto& [label, properties] : other.nodes) {
    result.nodes[label].insert(properties.begin(), properties.end());
  }
  for (const auto& [type, relationship] : other.relationships) {
    auto [at, added] = result.relationships.try_emplace(type, relationship);
    if (!added) {
      at->second.properties.insert(relationship.properties.begin(),
                                   relationship.properties.end());
    }
  }
  return result;
}

PyObject* schema_merge(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                       PyObject* kwnames) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    static constexpr Params kParams{"Schema.merge", {"other"}, 1, 1};
    PyObject* slots[1];
    const Schema* other;
    if (!bind(kParams, args, nargs, kwnames, slots) || !to_schema(slots[0], "other", other)) {
      return nullptr;
    }
    return new_schema_object(merged(self_schema(self), *other));
  });
}

PyObject* schema_to_prompt(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                           PyObject* kwnames) {
  static constexpr Params kParams{"Schema.to_prompt", {}, 0, 0};
  return no_argument_method(kParams, self, args, nargs, kwnames,
                            [](const Schema& s) { return new_str(to_prompt(s)); });
}

PyObject* schema_to_markdown(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                             PyObject* kwnames) {
  static constexpr Params kParams{"Schema.to_markdown", {}, 0, 0};
  return no_argument_method(kParams, self, args, nargs, kwnames,
                            [](const Schema& s) { return new_str(to_markdown(s)); });
}

PyObject* schema_to_cypher_context(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                   PyObject* kwnames) {
  static constexpr Params kParams{"Schema.to_cypher_context", {}, 0, 0};
  return no_argument_method(kParams, self, args, nargs, kwnames,
                            [](const Schema& s) { return new_str(to_cypher_context(s)); });
}

PyObject* schema_repr(PyObject* self) {
  return guarded<PyObject*>(nullptr, [&]() -> PyObject* {
    const Schema& s = self_schema(self);
    std::string text = "Schema(nodes=" + quoted_list(s.node_labels()) +
                       ", relationships=" + quoted_list(s.rel_types()) + ")";
    return new_str(text);
  });
}

// ---- Texts ----

constexpr char kClassDoc[] = "Schema(nodes, relationships)\n--\n\n";

constexpr char kFromDictDoc[] =
    "from_dict(d)\n--\n\n"
    "Create a Schema from a plain Python dict (e.g. previously exported with ``to_dict()``).\n"
    "\n"
    "Example::\n"
    "\n"
    "    schema = Schema.from_dict({\n"
    "        \"nodes\": {\"Person\": [\"name\", \"age\"], \"Movie\": [\"title\"]},\n"
    "        \"relationships\": {\"ACTED_IN\": (\"Person\", \"Movie\", [\"role\"])},\n"
    "    })";

constexpr char kFromJsonDoc[] =
    "from_json(json_str)\n--\n\n"
    "Deserialise a Schema from a JSON string produced by ``to_json()``.\n"
    "\n"
    "Example::\n"
    "\n"
    "    json_str = schema.to_json()\n"
    "    restored = Schema.from_json(json_str)";

constexpr char kToJsonDoc[] =
    "to_json($self)\n--\n\n"
    "Serialise the schema to a JSON string.\n"
    "\n"
    "The result can be stored, transmitted, and later restored via\n"
    "``Schema.from_json()``.\n"
    "\n"
    "Example::\n"
    "\n"
    "    json_str = schema.to_json()\n"
    "    restored = Schema.from_json(json_str)\n"
    "    assert restored.to_dict() == schema.to_dict()  # safe round-trip";

constexpr char kMergeDoc[] =
    "merge($self, other)\n--\n\n"
    "Return a new Schema that is the union of *self* and *other*.\n"
    "\n"
    "* Node labels and relationship types from both schemas are combined.\n"
    "* When a label/type exists in both, the property sets are merged\n"
    "  (union), so no declared property is lost.\n"
    "* *self*'s endpoint labels are kept for relationship types that\n"
    "  appear in both schemas.\n"
    "\n"
    "Example::\n"
    "\n"
    "    s1 = Schema({\"Person\": [\"name\"]}, {\"KNOWS\": (\"Person\", \"Person\", [])})\n"
    "    s2 = Schema({\"Movie\": [\"title\"]}, {\"ACTED_IN\": (\"Person\", \"Movie\", [\"role\"])})\n"
    "    merged = s1.merge(s2)\n"
    "    # merged has Person, Movie, KNOWS, ACTED_IN";

constexpr char kToPromptDoc[] =
    "to_prompt($self)\n--\n\n"
    "Return a human-readable, LLM-friendly representation of the schema.\n"
    "\n"
    "Suitable for injecting into an LLM system prompt to tell the model which\n"
    "labels, relationship types, and properties exist in the graph.\n"
    "\n"
    "Example::\n"
    "\n"
    "    print(schema.to_prompt())\n"
    "    # Graph Schema\n"
    "    # ============\n"
    "    #\n"
    "    # Nodes\n"
    "    # -----\n"
    "    #   :Company                     founded, name\n"
    "    #   :Person                      age, email, name\n"
    "    #\n"
    "    # Relationships\n"
    "    # -------------\n"
    "    #   :LIVES_IN                    (Person)-->(City)\n"
    "    #   :WORKS_FOR                   (Person)-->(Company)   role, since";

constexpr char kToMarkdownDoc[] =
    "to_markdown($self)\n--\n\n"
    "Return the schema formatted as a Markdown table.\n"
    "\n"
    "Useful for LLM contexts that render Markdown, documentation, or\n"
    "README sections.\n"
    "\n"
    "Example::\n"
    "\n"
    "    print(schema.to_markdown())\n"
    "    # ### Nodes\n"
    "    #\n"
    "    # | Label | Properties |\n"
    "    # |---|---|\n"
    "    # | :Person | age, email, name |\n"
    "    # ...";

constexpr char kToCypherContextDoc[] =
    "to_cypher_context($self)\n--\n\n"
    "Return the schema as inline Cypher patterns.\n"
    "\n"
    "This format is often the most natural for LLMs that already know Cypher,\n"
    "since it mirrors the query syntax they will generate.\n"
    "\n"
    "Example::\n"
    "\n"
    "    print(schema.to_cypher_context())\n"
    "    # // Node labels and their properties\n"
    "    # (:Company {founded, name})\n"
    "    # (:Person {age, email, name})\n"
    "    #\n"
    "    # // Relationship types\n"
    "    # (:Person)-[:LIVES_IN]->(:City)\n"
    "    # (:Person)-[:WORKS_FOR {role, since}]->(:Company)";

PyMethodDef kMethods[] = {
    {"from_dict", method(schema_from_dict), kFastcall | METH_STATIC, kFromDictDoc},
    {"from_json", method(schema_from_json), kFastcall | METH_STATIC, kFromJsonDoc},
    {"node_labels", method(schema_node_labels), kFastcall, "node_labels($self)\n--\n\n"},
    {"rel_types", method(schema_rel_types), kFastcall, "rel_types($self)\n--\n\n"},
    {"has_node_label", method(schema_has_node_label), kFastcall,
     "has_node_label($self, label)\n--\n\n"},
    {"has_rel_type", method(schema_has_rel_type), kFastcall,
     "has_rel_type($self, rel_type)\n--\n\n"},
    {"node_properties", method(schema_node_properties), kFastcall,
     "node_properties($self, label)\n--\n\nReturn the list of properties declared for a node "
     "label."},
    {"rel_properties", method(schema_rel_properties), kFastcall,
     "rel_properties($self, rel_type)\n--\n\nReturn the list of properties declared for a "
     "relationship type."},
    {"rel_endpoints", method(schema_rel_endpoints), kFastcall,
     "rel_endpoints($self, rel_type)\n--\n\nReturn `(src_label, tgt_label)` for a relationship "
     "type, or None if unknown."},
    {"to_dict", method(schema_to_dict), kFastcall,
     "to_dict($self)\n--\n\nExport the schema as a plain Python dict compatible with the Schema "
     "constructor."},
    {"to_json", method(schema_to_json), kFastcall, kToJsonDoc},
    {"merge", method(schema_merge), kFastcall, kMergeDoc},
    {"to_prompt", method(schema_to_prompt), kFastcall, kToPromptDoc},
    {"to_markdown", method(schema_to_markdown), kFastcall, kToMarkdownDoc},
    {"to_cypher_context", method(schema_to_cypher_context), kFastcall, kToCypherContextDoc},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kSlots[] = {
    {Py_tp_doc, const_cast<char*>(kClassDoc)},
    {Py_tp_new, reinterpret_cast<void*>(schema_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_instance<PySchema>)},
    {Py_tp_repr, reinterpret_cast<void*>(schema_repr)},
    {Py_tp_methods, kMethods},
    {0, nullptr},
};

}  // namespace

PyTypeObject* create_schema_type() {
  return make_type("_morvane.Schema", sizeof(Instance<PySchema>), true, kSlots);
}

PyObject* new_schema_object(schema::Schema schema) {
  return make_instance(state().schema_type, PySchema{std::move(schema)});
}

}  // namespace morvane::bindings
