import collections
import os
import subprocess
import sys
import textwrap

import pytest

import _morvane
from _morvane import Schema

NODE_ERROR = "Expected list[str] for node properties of label '{}'"
REL_ERROR = ("Expected (str, str, list[str]) for relationship '{}', "
             "e.g. ('Person', 'Movie', ['role'])")


class Name(str):
    pass


class Labels(dict):
    pass


class Props(tuple):
    pass


Rel = collections.namedtuple("Rel", "source target properties")


class OnlyGetitem:
    """A sequence known only through __len__ and __getitem__."""

    def __init__(self, *items):
        self.items = items

    def __len__(self):
        return len(self.items)

    def __getitem__(self, i):
        return self.items[i]


class BrokenSequence(OnlyGetitem):
    def __getitem__(self, i):
        raise ValueError("cannot read")


class LyingLength(OnlyGetitem):
    """Claims to be huge; iterating it yields its few items."""

    def __len__(self):
        return sys.maxsize


def empty_form():
    return {"nodes": {}, "relationships": {}}


def build_from_dict(nodes, relationships):
    return Schema.from_dict({"nodes": nodes, "relationships": relationships})


BUILDERS = pytest.mark.parametrize("build", [Schema, build_from_dict],
                                   ids=["constructor", "from_dict"])


# ---- Construction: accepted forms ----


@BUILDERS
@pytest.mark.parametrize(
    "nodes, relationships, expected",
    [
        pytest.param({}, {}, empty_form(), id="empty"),
        pytest.param({"A": ("b", "a", "b")}, {}, {"nodes": {"A": ["a", "b"]}, "relationships": {}},
                     id="tuple-with-repeats"),
        pytest.param({"A": ["p", "p"], "B": []}, {},
                     {"nodes": {"A": ["p"], "B": []}, "relationships": {}}, id="list-and-empty"),
        pytest.param({"A": OnlyGetitem("y", "x")}, {},
                     {"nodes": {"A": ["x", "y"]}, "relationships": {}}, id="other-sequence"),
        pytest.param({"A": LyingLength("y", "x")}, {},
                     {"nodes": {"A": ["x", "y"]}, "relationships": {}}, id="huge-length-claimed"),
        pytest.param({"A": collections.deque(["q"])}, {},
                     {"nodes": {"A": ["q"]}, "relationships": {}}, id="deque"),
        pytest.param(Labels({Name("A"): [Name("p")]}),
                     Labels({Name("R"): Rel(Name("A"), Name("B"), Props((Name("w"),)))}),
                     {"nodes": {"A": ["p"]}, "relationships": {"R": ("A", "B", ["w"])}},
                     id="subclasses-of-dict-str-tuple"),
        pytest.param({}, {"R": ("Nowhere", "Elsewhere", ("b", "a", "a"))},
                     {"nodes": {}, "relationships": {"R": ("Nowhere", "Elsewhere", ["a", "b"])}},
                     id="undeclared-endpoints-tuple-properties"),
        pytest.param({"": [""]}, {"": ("", "", [])},
                     {"nodes": {"": [""]}, "relationships": {"": ("", "", [])}},
                     id="empty-names"),
        pytest.param({"a\0b": ["x y", "Größe"]}, {"R|S": ("{A}", "B\nC", ["`p`"])},
                     {"nodes": {"a\0b": ["Größe", "x y"]},
                      "relationships": {"R|S": ("{A}", "B\nC", ["`p`"])}},
                     id="names-kept-exactly"),
    ],
)
def test_accepted_forms(build, nodes, relationships, expected):
    assert build(nodes, relationships).to_dict() == expected


def test_empty_schema():
    schema = Schema({}, {})
    assert schema.node_labels() == []
    assert schema.rel_types() == []
    assert schema.to_dict() == empty_form()
    assert repr(schema) == "Schema(nodes=[], relationships=[])"


# ---- Construction: refused forms ----


@BUILDERS
@pytest.mark.parametrize(
    "nodes, relationships, error, message",
    [
        pytest.param({"A": "name"}, {}, TypeError, NODE_ERROR.format("A"), id="node-str"),
        pytest.param({"A": Name("name")}, {}, TypeError, NODE_ERROR.format("A"),
                     id="node-str-subclass"),
        pytest.param({"A": {"name"}}, {}, TypeError, NODE_ERROR.format("A"), id="node-set"),
        pytest.param({"A": {"name": 1}}, {}, TypeError, NODE_ERROR.format("A"), id="node-dict"),
        pytest.param({"A": None}, {}, TypeError, NODE_ERROR.format("A"), id="node-none"),
        pytest.param({"A": b"ab"}, {}, TypeError, NODE_ERROR.format("A"), id="node-bytes"),
        pytest.param({"A": ["ok", 1]}, {}, TypeError, NODE_ERROR.format("A"), id="node-int-item"),
        pytest.param({"A": ["ok", "\ud800"]}, {}, TypeError, NODE_ERROR.format("A"),
                     id="node-surrogate-item"),
        pytest.param({"A": BrokenSequence("x")}, {}, TypeError, NODE_ERROR.format("A"),
                     id="node-sequence-raises"),
        pytest.param({"A": range(10**18)}, {}, TypeError, NODE_ERROR.format("A"),
                     id="node-huge-range"),
        pytest.param({"A": range(2**62)}, {}, TypeError, NODE_ERROR.format("A"),
                     id="node-range-beyond-any-vector"),
        pytest.param({"it's": 3}, {}, TypeError, NODE_ERROR.format("it's"), id="label-verbatim"),
        pytest.param({"a\0b": 3}, {}, TypeError, NODE_ERROR.format("a\0b"), id="label-with-nul"),
        pytest.param({"B": [], "Z": "x", "A": 1}, {}, TypeError, NODE_ERROR.format("Z"),
                     id="first-bad-entry-in-dict-order"),
        pytest.param({}, {"R": ["A", "B", []]}, TypeError, REL_ERROR.format("R"), id="rel-list"),
        pytest.param({}, {"R": ("A", "B")}, TypeError, REL_ERROR.format("R"), id="rel-2-tuple"),
        pytest.param({}, {"R": ("A", "B", [], [])}, TypeError, REL_ERROR.format("R"),
                     id="rel-4-tuple"),
        pytest.param({}, {"R": ("A", "B", "p")}, TypeError, REL_ERROR.format("R"),
                     id="rel-str-properties"),
        pytest.param({}, {"R": ("A", "B", {"p"})}, TypeError, REL_ERROR.format("R"),
                     id="rel-set-properties"),
        pytest.param({}, {"R": ("A", "B", [None])}, TypeError, REL_ERROR.format("R"),
                     id="rel-none-property"),
        pytest.param({}, {"R": (1, "B", [])}, TypeError, REL_ERROR.format("R"),
                     id="rel-int-source"),
        pytest.param({}, {"R": ("A", b"B", [])}, TypeError, REL_ERROR.format("R"),
                     id="rel-bytes-target"),
        pytest.param({}, {"R": ("\udc80", "B", [])}, TypeError, REL_ERROR.format("R"),
                     id="rel-surrogate-source"),
        pytest.param({}, {"R": ("A", "B", ["\ud800"])}, TypeError, REL_ERROR.format("R"),
                     id="rel-surrogate-property"),
        pytest.param({}, {"R": ("A", "B", BrokenSequence("p"))}, TypeError, REL_ERROR.format("R"),
                     id="rel-sequence-raises"),
        pytest.param({}, {"R": ("A", "B", range(2**62))}, TypeError, REL_ERROR.format("R"),
                     id="rel-huge-range"),
        pytest.param({}, {"R": None}, TypeError, REL_ERROR.format("R"), id="rel-none"),
        pytest.param({}, {"R\0S": None}, TypeError, REL_ERROR.format("R\0S"), id="type-with-nul"),
        pytest.param({"A": "x"}, {"R": None}, TypeError, NODE_ERROR.format("A"),
                     id="nodes-read-before-relationships"),
        pytest.param({"A": []}, {"Q": ("A", "A", []), "R": [], "S": 1}, TypeError,
                     REL_ERROR.format("R"), id="first-bad-relationship"),
        pytest.param({1: []}, {}, TypeError, "'int' object cannot be converted to 'PyString'",
                     id="int-label"),
        pytest.param({None: []}, {}, TypeError,
                     "'NoneType' object cannot be converted to 'PyString'", id="none-label"),
        pytest.param({b"A": []}, {}, TypeError, "'bytes' object cannot be converted to 'PyString'",
                     id="bytes-label"),
        pytest.param({}, {("A", "B"): ("A", "B", [])}, TypeError,
                     "'tuple' object cannot be converted to 'PyString'", id="tuple-type"),
        pytest.param({"A\ud800": []}, {}, UnicodeEncodeError, None, id="surrogate-label"),
        pytest.param({}, {"\udfff": ("A", "B", [])}, UnicodeEncodeError, None,
                     id="surrogate-type"),
    ],
)
def test_refused_forms(build, nodes, relationships, error, message):
    with pytest.raises(error) as caught:
        build(nodes, relationships)
    assert type(caught.value) is error
    if message is not None:
        assert str(caught.value) == message


@pytest.mark.parametrize(
    "args, message",
    [
        (([], {}), "argument 'nodes': 'list' object cannot be converted to 'PyDict'"),
        (({}, None), "argument 'relationships': 'NoneType' object cannot be converted to 'PyDict'"),
        (([], None), "argument 'nodes': 'list' object cannot be converted to 'PyDict'"),
        (({}, collections.OrderedDict.fromkeys([]).keys()),
         "argument 'relationships': 'odict_keys' object cannot be converted to 'PyDict'"),
        ((collections.ChainMap({}), {}),
         "argument 'nodes': 'ChainMap' object cannot be converted to 'PyDict'"),
    ],
)
def test_constructor_arguments_must_be_dicts(args, message):
    with pytest.raises(TypeError) as caught:
        Schema(*args)
    assert str(caught.value) == message


class RaisingProperties(list):
    """The property names ["name"], whose method `failing` (__len__ or __iter__) raises
    `error`."""

    def __init__(self, failing, error):
        super().__init__(["name"])
        self.failing = failing
        self.error = error

    def __len__(self):
        if self.failing == "__len__":
            raise self.error
        return super().__len__()

    def __iter__(self):
        if self.failing == "__iter__":
            raise self.error
        return super().__iter__()


def place_properties(place, properties):
    """The two dicts with `properties` as the properties of a label or of a type."""
    if place == "node":
        return {"Person": properties}, {}
    return {}, {"KNOWS": ("Person", "Person", properties)}


@BUILDERS
@pytest.mark.parametrize("place", ["node", "relationship"])
@pytest.mark.parametrize("failing", ["__len__", "__iter__"])
@pytest.mark.parametrize("error", [KeyboardInterrupt(), SystemExit(3), MemoryError()],
                         ids=lambda error: type(error).__name__)
def test_interrupts_exits_and_memory_errors_reading_properties_reach_the_caller(
        build, place, failing, error):
    with pytest.raises(type(error)) as caught:
        build(*place_properties(place, RaisingProperties(failing, error)))
    assert caught.value is error


@BUILDERS
@pytest.mark.parametrize("place, message", [("node", NODE_ERROR.format("Person")),
                                            ("relationship", REL_ERROR.format("KNOWS"))])
@pytest.mark.parametrize("error", [ValueError("unreadable"), RecursionError("too deep")],
                         ids=lambda error: type(error).__name__)
def test_other_errors_reading_properties_give_the_shape_message(build, place, message, error):
    with pytest.raises(TypeError) as caught:
        build(*place_properties(place, RaisingProperties("__iter__", error)))
    assert str(caught.value) == message
    # Of the length, which only sizes the reading, they are passed over.
    schema = build(*place_properties(place, RaisingProperties("__len__", error)))
    assert schema.to_dict() == Schema(*place_properties(place, ["name"])).to_dict()


# ---- from_dict ----


@pytest.mark.parametrize(
    "d, error, message",
    [
        ({}, KeyError, "'nodes' key missing from dict"),
        ({"relationships": {}}, KeyError, "'nodes' key missing from dict"),
        ({"nodes": []}, TypeError, "'nodes' must be a dict"),
        ({"nodes": [], "relationships": []}, TypeError, "'nodes' must be a dict"),
        ({"nodes": None, "relationships": {}}, TypeError, "'nodes' must be a dict"),
        ({"nodes": {}}, KeyError, "'relationships' key missing from dict"),
        ({"nodes": {"A": "x"}}, KeyError, "'relationships' key missing from dict"),
        ({"nodes": {}, "relationships": ()}, TypeError, "'relationships' must be a dict"),
        ({"nodes": {"A": "x"}, "relationships": []}, TypeError, "'relationships' must be a dict"),
        ({"Nodes": {}, "relationships": {}}, KeyError, "'nodes' key missing from dict"),
        ({b"nodes": {}, "relationships": {}}, KeyError, "'nodes' key missing from dict"),
    ],
)
def test_from_dict_checks_in_order(d, error, message):
    with pytest.raises(error) as caught:
        Schema.from_dict(d)
    assert type(caught.value) is error
    assert caught.value.args == (message,)


def test_from_dict_argument_must_be_a_dict():
    with pytest.raises(TypeError) as caught:
        Schema.from_dict([("nodes", {}), ("relationships", {})])
    assert str(caught.value) == "argument 'd': 'list' object cannot be converted to 'PyDict'"


def test_from_dict_ignores_other_keys():
    d = {"comment": object(), "nodes": Labels({"A": []}), "relationships": {}, 7: None}
    assert Schema.from_dict(d).to_dict() == {"nodes": {"A": []}, "relationships": {}}


# Runs from_dict on a dict whose lookup of "relationships" runs code (the __eq__ of a key with the
# same hash) that removes "nodes" from the dict, and prints what happened in which order.
LOOKUP_MUTATION_SCRIPT = textwrap.dedent(
    """
    import _morvane
    events = []

    class Nodes(dict):
        def __del__(self):
            events.append("nodes freed")

    class Collider:
        armed = False
        def __init__(self, d):
            self.d = d
        def __hash__(self):
            return hash("relationships")
        def __eq__(self, other):
            if Collider.armed and "nodes" in self.d:
                del self.d["nodes"]
                events.append("nodes deleted")
            return False

    d = {"nodes": Nodes({"A": ["p"]})}
    d[Collider(d)] = 0
    d["relationships"] = {}
    Collider.armed = True
    schema = _morvane.Schema.from_dict(d)
    events.append(repr(schema.to_dict()))
    print(events)
    """
)


def test_from_dict_holds_the_nodes_value_while_looking_up_relationships():
    result = subprocess.run([sys.executable, "-c", LOOKUP_MUTATION_SCRIPT],
                            capture_output=True, text=True, env=os.environ.copy(), timeout=60)
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == str([
        "nodes deleted", "nodes freed", repr({"nodes": {"A": ["p"]}, "relationships": {}}),
    ])


# ---- from_json ----


@pytest.mark.parametrize(
    "text, expected",
    [
        ('{"nodes":{},"relationships":{}}', empty_form()),
        ('{"relationships":{},"nodes":{},"comment":[1,{"x":null}]}', empty_form()),
        ('[{},{}]', empty_form()),
        (' \t\r\n{ "nodes" : { } , "relationships" : { } }\n', empty_form()),
        ('{"nodes":{"A":["p"],"A":["q"]},"relationships":{}}',
         {"nodes": {"A": ["q"]}, "relationships": {}}),
        ('{"nodes":{"A":["p","p"]},"relationships":{}}',
         {"nodes": {"A": ["p"]}, "relationships": {}}),
        ('{"nodes":{},"relationships":{"R":["X","Y",["b","a"]]}}',
         {"nodes": {}, "relationships": {"R": ("X", "Y", ["a", "b"])}}),
        ('{"nodes":{"\\u00e9\\"\\\\\\n":["\\ud83d\\ude00","\\u0000"]},"relationships":{}}',
         {"nodes": {'é"\\\n': ["\0", "😀"]}, "relationships": {}}),
    ],
)
def test_from_json_accepts(text, expected):
    assert Schema.from_json(text).to_dict() == expected


@pytest.mark.parametrize(
    "text, message",
    [
        ("{}", "missing field `nodes` at line 1 column 2"),
        ('{"nodes":{}}', "missing field `relationships` at line 1 column 12"),
        ('{"relationships":{}}', "missing field `nodes` at line 1 column 20"),
        ('{"nodes":{},"nodes":{},"relationships":{}}',
         "duplicate field `nodes` at line 1 column 19"),
        ("[]", "invalid length 0, expected struct Schema with 2 elements at line 1 column 2"),
        ("[{}]", "invalid length 1, expected struct Schema with 2 elements at line 1 column 4"),
        ("[{},{},{}]", "trailing characters at line 1 column 8"),
        ("", "EOF while parsing a value at line 1 column 0"),
        ("x", "expected value at line 1 column 1"),
        ("1", "invalid type: integer `1`, expected struct Schema at line 1 column 1"),
        ('{"nodes":[],"relationships":{}}',
         "invalid type: sequence, expected a map at line 1 column 9"),
        ('{"nodes":{"A":"x"},"relationships":{}}',
         'invalid type: string "x", expected a sequence at line 1 column 17'),
        ('{"nodes":{"A":[1]},"relationships":{}}',
         "invalid type: integer `1`, expected a string at line 1 column 16"),
        ('{"nodes":{},"relationships":{"R":["A","B"]}}',
         "invalid length 2, expected a tuple of size 3 at line 1 column 42"),
        ('{"nodes":{},"relationships":{}}\n{}', "trailing characters at line 2 column 1"),
    ],
)
def test_from_json_refuses(text, message):
    with pytest.raises(ValueError) as caught:
        Schema.from_json(text)
    assert type(caught.value) is ValueError
    assert str(caught.value) == "Invalid Schema JSON: " + message


@pytest.mark.parametrize(
    "text",
    [
        '{"nodes":{"\\ud800":[]},"relationships":{}}',
        '{"nodes":{},"relationships":{}',
        '{"nodes":{},"relationships":{"R":["A","B",[]],}}',
        "{'nodes':{},'relationships':{}}",
        '{"nodes":{"A":["p"]},"relationships":{"R":{"source":"A"}}}',
        "\0",
    ],
)
def test_from_json_errors_carry_the_prefix(text):
    with pytest.raises(ValueError, match=r"^Invalid Schema JSON: .+ at line \d+ column \d+$"):
        Schema.from_json(text)


@pytest.mark.parametrize(
    "value, error, message",
    [
        (b"{}", TypeError, "argument 'json_str': 'bytes' object cannot be converted to 'PyString'"),
        ({"nodes": {}, "relationships": {}}, TypeError,
         "argument 'json_str': 'dict' object cannot be converted to 'PyString'"),
        ('{"nodes":{"\ud800":[]},"relationships":{}}', UnicodeEncodeError, None),
    ],
)
def test_from_json_argument(value, error, message):
    with pytest.raises(error) as caught:
        Schema.from_json(value)
    assert type(caught.value) is error
    if message is not None:
        assert str(caught.value) == message


# ---- to_dict and round trips ----


def test_to_dict_is_sorted_by_bytes():
    schema = Schema(
        {"b": ["z", "Z", "é", "a"], "B": [], "a": [], "ab": [], "😀": [], "é": []},
        {"r": ("b", "a", ["y", "x"]), "R": ("B", "B", [])},
    )
    d = schema.to_dict()
    assert list(d) == ["nodes", "relationships"]
    assert list(d["nodes"]) == ["B", "a", "ab", "b", "é", "😀"]
    assert d["nodes"]["b"] == ["Z", "a", "z", "é"]
    assert list(d["relationships"]) == ["R", "r"]
    assert d["relationships"] == {"R": ("B", "B", []), "r": ("b", "a", ["x", "y"])}
    assert all(type(v) is tuple and type(v[2]) is list for v in d["relationships"].values())
    assert schema.node_labels() == list(d["nodes"])
    assert schema.rel_types() == list(d["relationships"])


def test_to_dict_returns_new_objects(worked):
    first = worked.to_dict()
    first["nodes"]["Person"].append("intruder")
    first["nodes"]["Ghost"] = []
    first["relationships"].clear()
    assert worked.to_dict() == {
        "nodes": {"Movie": ["title"], "Person": ["age", "name"], "Tag": []},
        "relationships": {"ACTED_IN": ("Person", "Movie", ["role"]),
                          "KNOWS": ("Person", "Person", [])},
    }
    assert worked.to_dict() is not worked.to_dict()


ROUND_TRIP_SCHEMAS = [
    pytest.param({}, {}, id="empty"),
    pytest.param({"Person": ["name", "age"], "Movie": ["title"], "Tag": []},
                 {"ACTED_IN": ("Person", "Movie", ["role"]), "KNOWS": ("Person", "Person", [])},
                 id="worked"),
    pytest.param({'q"uote': ["back\\slash"], "tab\t\r\n\0": ["\x01"], "": ["Größe", "😀"]},
                 {"\u200b": ("nowhere", "", ["\x7f"]), "a b": ("{", "|", [])},
                 id="odd-names"),
]


@pytest.mark.parametrize("nodes, relationships", ROUND_TRIP_SCHEMAS)
@pytest.mark.parametrize(
    "rebuild",
    [lambda s: Schema.from_dict(s.to_dict()), lambda s: Schema.from_json(s.to_json())],
    ids=["dict", "json"],
)
def test_round_trip(nodes, relationships, rebuild):
    original = Schema(nodes, relationships)
    copy = rebuild(original)
    assert copy is not original and copy != original
    assert repr(copy) == repr(original)
    assert copy.to_dict() == original.to_dict()
    for label in nodes:
        assert copy.node_properties(label) == original.node_properties(label)
    for rel_type in relationships:
        assert copy.rel_endpoints(rel_type) == original.rel_endpoints(rel_type)
        assert copy.rel_properties(rel_type) == original.rel_properties(rel_type)


def test_to_json_of_the_empty_schema():
    assert Schema({}, {}).to_json() == '{"nodes":{},"relationships":{}}'


# ---- merge ----

KNOWS_PERSON = Schema({"Person": ["name"]}, {"KNOWS": ("Person", "Person", ["a"])})
KNOWS_COMPANY = Schema({"Person": ["age"], "Company": []},
                       {"KNOWS": ("Person", "Company", ["since"]),
                        "OWNS": ("Person", "Company", [])})


@pytest.mark.parametrize(
    "left, right, expected",
    [
        pytest.param(KNOWS_PERSON, KNOWS_COMPANY,
                     {"nodes": {"Company": [], "Person": ["age", "name"]},
                      "relationships": {"KNOWS": ("Person", "Person", ["a", "since"]),
                                        "OWNS": ("Person", "Company", [])}},
                     id="self-endpoints-kept"),
        pytest.param(KNOWS_COMPANY, KNOWS_PERSON,
                     {"nodes": {"Company": [], "Person": ["age", "name"]},
                      "relationships": {"KNOWS": ("Person", "Company", ["a", "since"]),
                                        "OWNS": ("Person", "Company", [])}},
                     id="reversed"),
        pytest.param(KNOWS_PERSON, Schema({}, {}), KNOWS_PERSON.to_dict(), id="with-empty"),
        pytest.param(Schema({}, {}), KNOWS_PERSON, KNOWS_PERSON.to_dict(), id="empty-with"),
        pytest.param(KNOWS_COMPANY, KNOWS_COMPANY, KNOWS_COMPANY.to_dict(), id="self"),
    ],
)
def test_merge(left, right, expected):
    before = (left.to_dict(), right.to_dict())
    merged = left.merge(right)
    assert merged.to_dict() == expected
    assert merged is not left and merged is not right
    assert (left.to_dict(), right.to_dict()) == before


@pytest.mark.parametrize(
    "other, type_name",
    [(None, "NoneType"), ({"nodes": {}, "relationships": {}}, "dict"), (Schema, "type")],
)
def test_merge_needs_a_schema(worked, other, type_name):
    with pytest.raises(TypeError) as caught:
        worked.merge(other)
    assert str(caught.value) == (f"argument 'other': '{type_name}' object cannot be converted "
                                 "to 'Schema'")


# ---- __repr__ ----


@pytest.mark.parametrize(
    "nodes, relationships, expected",
    [
        ({}, {}, 'Schema(nodes=[], relationships=[])'),
        ({"Person": ["never", "shown"], "Movie": []}, {"KNOWS": ("A", "B", ["hidden"])},
         'Schema(nodes=["Movie", "Person"], relationships=["KNOWS"])'),
        ({'say "hi"': [], "line\nfeed": []}, {},
         'Schema(nodes=["line\\nfeed", "say \\"hi\\""], relationships=[])'),
        ({"t\tr\rz\0": []}, {"back\\slash": ("", "", [])},
         'Schema(nodes=["t\\tr\\rz\\0"], relationships=["back\\\\slash"])'),
        ({"\x01": [], "\x7f": [], "\u200b": [], "\x1b[": []}, {},
         'Schema(nodes=["\\u{1}", "\\u{1b}[", "\\u{7f}", "\\u{200b}"], relationships=[])'),
        ({"\U000e0001": [], "\ufeff": []}, {},
         'Schema(nodes=["\\u{feff}", "\\u{e0001}"], relationships=[])'),
        ({"Größe": [], "it's": [], "😀": [], "": []}, {},
         'Schema(nodes=["", "Größe", "it\'s", "😀"], relationships=[])'),
    ],
)
def test_repr(nodes, relationships, expected):
    assert repr(Schema(nodes, relationships)) == expected


# ---- Lookups ----


@pytest.mark.parametrize(
    "method, argument, expected",
    [
        ("has_node_label", "Person", True),
        ("has_node_label", "person", False),
        ("has_node_label", "Person ", False),
        ("has_node_label", "", False),
        ("has_node_label", "KNOWS", False),
        ("has_node_label", "Tag", True),
        ("has_rel_type", "KNOWS", True),
        ("has_rel_type", "knows", False),
        ("has_rel_type", "Person", False),
        ("node_properties", "Person", ["age", "name"]),
        ("node_properties", "Tag", []),
        ("node_properties", "person", []),
        ("node_properties", "ACTED_IN", []),
        ("rel_properties", "ACTED_IN", ["role"]),
        ("rel_properties", "KNOWS", []),
        ("rel_properties", "Person", []),
        ("rel_endpoints", "ACTED_IN", ("Person", "Movie")),
        ("rel_endpoints", "KNOWS", ("Person", "Person")),
        ("rel_endpoints", "acted_in", None),
        ("rel_endpoints", "Movie", None),
    ],
)
def test_lookups(worked, method, argument, expected):
    result = getattr(worked, method)(argument)
    assert result == expected
    assert type(result) is type(expected)
    assert getattr(worked, method)(Name(argument)) == expected


def test_label_and_type_lists(worked):
    assert worked.node_labels() == ["Movie", "Person", "Tag"]
    assert worked.rel_types() == ["ACTED_IN", "KNOWS"]
    listed = worked.node_labels()
    listed.append("Ghost")
    worked.node_properties("Person").append("ghost")
    assert worked.node_labels() == ["Movie", "Person", "Tag"]
    assert worked.node_properties("Person") == ["age", "name"]


@pytest.mark.parametrize(
    "method, param",
    [
        ("has_node_label", "label"),
        ("node_properties", "label"),
        ("has_rel_type", "rel_type"),
        ("rel_properties", "rel_type"),
        ("rel_endpoints", "rel_type"),
    ],
)
@pytest.mark.parametrize(
    "argument, error, reason",
    [
        (None, TypeError, "'NoneType' object cannot be converted to 'PyString'"),
        (b"Person", TypeError, "'bytes' object cannot be converted to 'PyString'"),
        (["Person"], TypeError, "'list' object cannot be converted to 'PyString'"),
        ("Pers\ud800", UnicodeEncodeError, None),
    ],
)
def test_lookup_arguments(worked, method, param, argument, error, reason):
    with pytest.raises(error) as caught:
        getattr(worked, method)(argument)
    assert type(caught.value) is error
    if reason is not None:
        assert str(caught.value) == f"argument '{param}': {reason}"


# ---- Docstrings ----

MERGE_DOC = (
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
    '    s1 = Schema({"Person": ["name"]}, {"KNOWS": ("Person", "Person", [])})\n'
    '    s2 = Schema({"Movie": ["title"]}, {"ACTED_IN": ("Person", "Movie", ["role"])})\n'
    "    merged = s1.merge(s2)\n"
    "    # merged has Person, Movie, KNOWS, ACTED_IN"
)


@pytest.mark.parametrize(
    "method, doc",
    [
        ("node_properties", "Return the list of properties declared for a node label."),
        ("rel_properties", "Return the list of properties declared for a relationship type."),
        ("rel_endpoints",
         "Return `(src_label, tgt_label)` for a relationship type, or None if unknown."),
        ("to_dict",
         "Export the schema as a plain Python dict compatible with the Schema constructor."),
        ("merge", MERGE_DOC),
    ],
)
def test_exact_docstrings(method, doc):
    assert getattr(Schema, method).__doc__ == doc


@pytest.mark.parametrize(
    "method, first_line, fragments",
    [
        ("from_dict",
         "Create a Schema from a plain Python dict (e.g. previously exported with ``to_dict()``).",
         ["\n\nExample::\n\n    ", "Schema.from_dict(", '"Person": ["name", "age"]',
          '"Movie": ["title"]', '"ACTED_IN": ("Person", "Movie", ["role"])']),
        ("from_json", "Deserialise a Schema from a JSON string produced by ``to_json()``.",
         ["Example::", ".to_json()", "Schema.from_json("]),
        ("to_json", "Serialise the schema to a JSON string.",
         ["\n\nThe result can be stored, transmitted, and later restored via\n"
          "``Schema.from_json()``.\n\nExample::\n\n",
          "assert restored.to_dict() == schema.to_dict()  # safe round-trip"]),
    ],
)
def test_docstring_openings(method, first_line, fragments):
    doc = getattr(Schema, method).__doc__
    assert doc.split("\n")[0] == first_line
    for fragment in fragments:
        assert fragment in doc


@pytest.mark.parametrize("method", ["node_labels", "rel_types", "has_node_label", "has_rel_type"])
def test_methods_without_docstring_text(method):
    assert not getattr(Schema, method).__doc__


# ---- Dicts changed while they are read ----


class GrowsOnLen:
    """A one-item property list whose __len__ adds an entry to `target`."""

    def __init__(self, target, value):
        self.target, self.value = target, value

    def __len__(self):
        self.target[f"added{len(self.target)}"] = self.value
        return 1

    def __getitem__(self, i):
        if i:
            raise IndexError
        return "p"


class ShrinksOnRead(GrowsOnLen):
    """An empty property list whose reading removes the key `victim` from `target`."""

    def __len__(self):
        self.target.pop(self.value, None)
        return 0

    def __getitem__(self, i):
        raise IndexError


class ReplacesItself(GrowsOnLen):
    """An empty property list whose reading swaps its own key in `target` for a new one."""

    def __len__(self):
        if self.value in self.target:
            del self.target[self.value]
            self.target["replacement"] = []
        return 0

    def __getitem__(self, i):
        raise IndexError


def grown_nodes():
    nodes = {"A": []}
    nodes["B"] = GrowsOnLen(nodes, [])
    nodes["C"] = []
    return nodes, {}


def shrunk_nodes():
    nodes = {}
    nodes["A"] = ShrinksOnRead(nodes, "B")
    nodes["B"] = []
    return nodes, {}


def replaced_node():
    nodes = {}
    nodes["A"] = ReplacesItself(nodes, "A")
    nodes["B"] = []
    return nodes, {}


def grown_relationships():
    relationships = {}
    relationships["R"] = ("A", "B", GrowsOnLen(relationships, ("A", "B", [])))
    return {}, relationships


def replaced_relationship():
    relationships = {"Q": ("A", "B", [])}
    relationships["R"] = ("A", "B", ReplacesItself(relationships, "Q"))
    return {"A": []}, relationships


SIZE_CHANGED = "dictionary changed size during iteration"
KEYS_CHANGED = "dictionary keys changed during iteration"


@BUILDERS
@pytest.mark.parametrize(
    "make, message",
    [
        (grown_nodes, SIZE_CHANGED),
        (shrunk_nodes, SIZE_CHANGED),
        (replaced_node, KEYS_CHANGED),
        (grown_relationships, SIZE_CHANGED),
        (replaced_relationship, KEYS_CHANGED),
    ],
)
def test_dict_changed_while_read_raises_the_internal_fault(build, make, message):
    nodes, relationships = make()
    try:
        build(nodes, relationships)
    except Exception as error:
        pytest.fail(f"caught as an Exception: {error!r}")
    except BaseException as error:
        fault = error
    else:
        pytest.fail("no exception")
    assert isinstance(fault, BaseException) and not isinstance(fault, Exception)
    assert not isinstance(fault, (KeyboardInterrupt, SystemExit, GeneratorExit))
    assert fault.args == (message,)
    assert type(fault) not in vars(_morvane).values()

