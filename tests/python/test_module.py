import inspect
import os
import subprocess
import sys
import textwrap
import weakref

import pytest

import _morvane
from _morvane import Schema

PUBLIC_NAMES = [
    "Schema",
    "Morvane",
    "ValidationResult",
    "ValidationDiagnostic",
    "CypherGenerator",
    "QueryInfo",
    "parse_query",
]


def is_dunder(name):
    return name.startswith("__") and name.endswith("__")


# ---- The module object ----


def test_all_lists_the_seven_public_names_in_order():
    assert _morvane.__all__ == PUBLIC_NAMES


def test_module_name_and_empty_docstring():
    assert _morvane.__name__ == "_morvane"
    assert _morvane.__doc__ == ""


def test_module_has_only_the_registered_names_besides_dunders():
    public = [name for name in vars(_morvane) if not is_dunder(name)]
    assert type(_morvane.__all__) is list
    assert public == _morvane.__all__
    assert set(public) <= set(PUBLIC_NAMES)
    assert "Schema" in public
    assert not any(isinstance(value, type) and issubclass(value, BaseException)
                   for value in vars(_morvane).values())


# ---- Schema as a Python type ----


def test_schema_type_identity():
    assert Schema.__bases__ == (object,)
    assert Schema.__name__ == "Schema"
    assert Schema.__qualname__ == "Schema"
    assert Schema.__module__ == "_morvane"
    assert repr(Schema) == "<class '_morvane.Schema'>"
    assert Schema.__text_signature__ == "(nodes, relationships)"
    assert not Schema.__doc__


def test_schema_cannot_be_subclassed():
    with pytest.raises(TypeError):
        class Derived(Schema):
            pass


def test_schema_instances_have_no_dict_and_no_weakref(worked):
    assert not hasattr(worked, "__dict__")
    with pytest.raises(AttributeError):
        worked.colour = "red"
    with pytest.raises(AttributeError):
        worked.node_labels = None
    with pytest.raises(TypeError):
        weakref.ref(worked)


def test_schema_type_is_immutable():
    with pytest.raises(TypeError):
        Schema.extra = 1
    with pytest.raises(TypeError):
        Schema.node_labels = None


def test_schema_compares_and_hashes_by_identity(worked):
    twin = Schema.from_dict(worked.to_dict())
    assert worked == worked
    assert worked != twin
    assert hash(worked) == hash(worked)
    assert len({worked, twin}) == 2


def test_unbound_method_refuses_another_self():
    with pytest.raises(TypeError):
        Schema.node_labels(object())
    with pytest.raises(TypeError):
        Schema.has_node_label({"nodes": {}}, "Person")


# ---- Argument binding ----

EMPTY = Schema({}, {})


class Call:
    """A call written out for a parameter table: `target(*args, **kwargs)`."""

    def __init__(self, target, *args, **kwargs):
        self.target, self.args, self.kwargs = target, args, kwargs

    def __call__(self):
        return self.target(*self.args, **self.kwargs)

    def __repr__(self):
        return f"{self.target.__qualname__}{self.args!r}{self.kwargs!r}"


@pytest.mark.parametrize(
    "call, message",
    [
        (Call(Schema), "Schema.__new__() missing 2 required positional arguments: "
                       "'nodes' and 'relationships'"),
        (Call(Schema, {}), "Schema.__new__() missing 1 required positional argument: "
                           "'relationships'"),
        (Call(Schema, relationships={}), "Schema.__new__() missing 1 required positional "
                                         "argument: 'nodes'"),
        (Call(Schema, {}, {}, {}), "Schema.__new__() takes 2 positional arguments but 3 were "
                                   "given"),
        (Call(Schema, {}, {}, extra=1), "Schema.__new__() got an unexpected keyword argument "
                                        "'extra'"),
        (Call(Schema, {}, nodes={}), "Schema.__new__() got multiple values for argument "
                                     "'nodes'"),
        (Call(Schema.from_dict), "Schema.from_dict() missing 1 required positional argument: "
                                 "'d'"),
        (Call(Schema.from_dict, {}, {}), "Schema.from_dict() takes 1 positional argument but 2 "
                                         "were given"),
        (Call(Schema.from_json, json='{}'), "Schema.from_json() got an unexpected keyword "
                                            "argument 'json'"),
        (Call(EMPTY.node_labels, 1), "Schema.node_labels() takes 0 positional arguments but 1 "
                                     "was given"),
        (Call(EMPTY.to_cypher_context, 1, 2), "Schema.to_cypher_context() takes 0 positional "
                                              "arguments but 2 were given"),
        (Call(EMPTY.to_prompt, verbose=True), "Schema.to_prompt() got an unexpected keyword "
                                              "argument 'verbose'"),
        (Call(EMPTY.merge), "Schema.merge() missing 1 required positional argument: 'other'"),
        (Call(EMPTY.merge, EMPTY, EMPTY), "Schema.merge() takes 1 positional argument but 2 "
                                          "were given"),
        (Call(EMPTY.merge, EMPTY, other=EMPTY), "Schema.merge() got multiple values for "
                                                "argument 'other'"),
        (Call(EMPTY.has_rel_type, label="KNOWS"), "Schema.has_rel_type() got an unexpected "
                                                  "keyword argument 'label'"),
        (Call(EMPTY.rel_endpoints, "KNOWS", "x"), "Schema.rel_endpoints() takes 1 positional "
                                                  "argument but 2 were given"),
    ],
    ids=repr,
)
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message


@pytest.mark.parametrize(
    "call",
    [Call(EMPTY.merge, **{"\ud800": 1}), Call(Schema, {}, {}, **{"x\udc00": 1})],
    ids=repr,
)
def test_unexpected_keyword_with_lone_surrogate_is_a_type_error(call):
    with pytest.raises(TypeError, match="got an unexpected keyword argument"):
        call()


def test_too_many_arguments_leave_the_instance_unchanged(worked):
    before = (repr(worked), worked.to_dict(), worked.to_json())
    with pytest.raises(TypeError):
        worked.merge(worked, worked)
    with pytest.raises(TypeError):
        worked.node_properties("Person", "Movie")
    assert (repr(worked), worked.to_dict(), worked.to_json()) == before


NODES = {"Person": ["name", "age"], "Movie": ["title"]}
RELATIONSHIPS = {"ACTED_IN": ("Person", "Movie", ["role"])}
SAMPLE = Schema(NODES, RELATIONSHIPS)
SAMPLE_JSON = SAMPLE.to_json()
OTHER = Schema({"Tag": []}, {"KNOWS": ("Person", "Person", ["since"])})


def dict_form(value):
    return value.to_dict() if isinstance(value, Schema) else value


@pytest.mark.parametrize(
    "positional, keyword",
    [
        (Call(Schema, NODES, RELATIONSHIPS),
         Call(Schema, nodes=NODES, relationships=RELATIONSHIPS)),
        (Call(Schema, NODES, RELATIONSHIPS),
         Call(Schema, relationships=RELATIONSHIPS, nodes=NODES)),
        (Call(Schema, NODES, RELATIONSHIPS), Call(Schema, NODES, relationships=RELATIONSHIPS)),
        (Call(Schema.from_dict, SAMPLE.to_dict()), Call(Schema.from_dict, d=SAMPLE.to_dict())),
        (Call(Schema.from_json, SAMPLE_JSON), Call(Schema.from_json, json_str=SAMPLE_JSON)),
        (Call(SAMPLE.merge, OTHER), Call(SAMPLE.merge, other=OTHER)),
        (Call(SAMPLE.node_properties, "Person"), Call(SAMPLE.node_properties, label="Person")),
        (Call(SAMPLE.has_node_label, "Movie"), Call(SAMPLE.has_node_label, label="Movie")),
        (Call(SAMPLE.rel_endpoints, "ACTED_IN"), Call(SAMPLE.rel_endpoints, rel_type="ACTED_IN")),
        (Call(SAMPLE.rel_properties, "ACTED_IN"), Call(SAMPLE.rel_properties, rel_type="ACTED_IN")),
        (Call(SAMPLE.has_rel_type, "ACTED_IN"), Call(SAMPLE.has_rel_type, rel_type="ACTED_IN")),
    ],
    ids=repr,
)
def test_keyword_and_positional_forms_agree(positional, keyword):
    first, second = positional(), keyword()
    assert dict_form(first) == dict_form(second)
    assert repr(first) == repr(second)


# ---- Signatures ----

METHOD_SIGNATURES = [
    ("from_dict", "(d)"),
    ("from_json", "(json_str)"),
    ("node_labels", "($self)"),
    ("rel_types", "($self)"),
    ("has_node_label", "($self, label)"),
    ("has_rel_type", "($self, rel_type)"),
    ("node_properties", "($self, label)"),
    ("rel_properties", "($self, rel_type)"),
    ("rel_endpoints", "($self, rel_type)"),
    ("to_dict", "($self)"),
    ("to_json", "($self)"),
    ("merge", "($self, other)"),
    ("to_prompt", "($self)"),
    ("to_markdown", "($self)"),
    ("to_cypher_context", "($self)"),
]


def test_methods_are_registered_in_order():
    assert [name for name in vars(Schema) if not is_dunder(name)] == [
        name for name, _ in METHOD_SIGNATURES
    ]


def test_static_methods():
    assert isinstance(vars(Schema)["from_dict"], staticmethod)
    assert isinstance(vars(Schema)["from_json"], staticmethod)
    assert not isinstance(vars(Schema)["to_dict"], staticmethod)


def test_class_signature():
    parameters = inspect.signature(Schema).parameters
    assert list(parameters) == ["nodes", "relationships"]
    assert all(p.kind is p.POSITIONAL_OR_KEYWORD and p.default is p.empty
               for p in parameters.values())


@pytest.mark.parametrize("name, text_signature", METHOD_SIGNATURES)
def test_method_signature(worked, name, text_signature):
    assert getattr(Schema, name).__text_signature__ == text_signature
    parameters = inspect.signature(getattr(worked, name)).parameters
    names = text_signature.strip("()").split(", ")
    assert list(parameters) == [n for n in names if n and n != "$self"]
    assert all(p.kind is p.POSITIONAL_OR_KEYWORD and p.default is p.empty
               for p in parameters.values())


# ---- Sub-interpreters ----

# Imports _morvane in a sub-interpreter made with the settings named by argv[1] ("shared": those
# of the main interpreter, the only kind on 3.11; "isolated": its own GIL and module state) and
# in the main interpreter, in the order argv[2] names, and prints what each import did.
SUBINTERPRETER_SCRIPT = textwrap.dedent(
    """
    import sys

    if sys.argv[2] == "main-first":
        import _morvane

    CODE = '''
    import os
    try:
        import _morvane
        outcome = "imported"
    except ImportError as error:
        outcome = "ImportError: " + str(error)
    os.write(1, outcome.encode() + b"\\\\n")
    '''

    isolated = sys.argv[1] == "isolated"
    try:
        import _interpreters
    except ImportError:
        import _xxsubinterpreters
        if sys.version_info >= (3, 12):
            interpreter = _xxsubinterpreters.create(isolated=isolated)
        else:
            interpreter = _xxsubinterpreters.create()
        _xxsubinterpreters.run_string(interpreter, CODE)
        _xxsubinterpreters.destroy(interpreter)
    else:
        interpreter = _interpreters.create("isolated" if isolated else "legacy")
        _interpreters.exec(interpreter, CODE)
        _interpreters.destroy(interpreter)

    import _morvane
    print("main:", _morvane.Morvane(_morvane.Schema({}, {})).validate("RETURN 1").is_valid)
    """
)


def has_subinterpreters():
    for name in ("_xxsubinterpreters", "_interpreters"):
        try:
            __import__(name)
            return True
        except ImportError:
            pass
    return False


@pytest.mark.skipif(not has_subinterpreters(), reason="no sub-interpreter module")
@pytest.mark.parametrize(
    "settings",
    [
        pytest.param("shared"),
        pytest.param("isolated", marks=pytest.mark.skipif(
            sys.version_info < (3, 12), reason="no isolated sub-interpreters before 3.12")),
    ],
)
@pytest.mark.parametrize("order", ["main-first", "sub-first"])
def test_import_in_a_sub_interpreter_is_refused(settings, order):
    result = subprocess.run(
        [sys.executable, "-c", SUBINTERPRETER_SCRIPT, settings, order],
        capture_output=True, text=True, env=os.environ.copy(), timeout=60,
    )
    assert result.returncode == 0, result.stderr
    # An isolated interpreter is refused by the import machinery, with its own message.
    sub_outcome, main_outcome = result.stdout.splitlines()
    assert sub_outcome.startswith("ImportError: "), result.stdout
    assert main_outcome == "main: True"
