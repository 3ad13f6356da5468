"""parse_query and QueryInfo: which names the walk reports, and how failures are shown."""

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from _morvane import Morvane, QueryInfo, Schema, parse_query

# (query, labels, relationship types, property keys)
WALKS = [
    pytest.param(
        "MATCH (p:Person)-[:ACTED_IN]->(m:Movie) RETURN p.name",
        ["Movie", "Person"], ["ACTED_IN"], ["name"],
        id="match pattern and return item",
    ),
    pytest.param(
        "MATCH (a:B)-[:R]->(c:B) RETURN a.x, c.x",
        ["B"], ["R"], ["x"],
        id="repeated names once",
    ),
    pytest.param(
        "MATCH (n:L:K)-[:T|:U]-(m) RETURN n",
        ["K", "L"], ["T", "U"], [],
        id="several labels and types",
    ),
    pytest.param(
        "CREATE (n:Person {name: 'x'})-[:KNOWS {since: 2020}]->(m)",
        ["Person"], ["KNOWS"], ["name"],
        id="create: node map keys, not relationship map keys",
    ),
    pytest.param(
        "MATCH (a)-[r:T {rp: a.v}]->(b) RETURN r",
        [], ["T"], [],
        id="relationship map values not walked",
    ),
    pytest.param(
        "CREATE (n:L {k: m.v, z: [m.w]})",
        ["L"], [], ["k", "v", "w", "z"],
        id="node map values walked",
    ),
    pytest.param(
        "MATCH (n:L $props) RETURN n",
        ["L"], [], [],
        id="node properties as parameter",
    ),
    pytest.param(
        "MERGE (n:L {k: 1})-[:T]->(m:M) ON CREATE SET n.z = 1 ON MATCH SET n.w = 2 RETURN n",
        ["L", "M"], ["T"], ["k"],
        id="merge pattern, not its SET actions",
    ),
    pytest.param(
        "MATCH (n:Person) WITH n.age AS a RETURN a",
        ["Person"], [], [],
        id="with items not walked",
    ),
    pytest.param(
        "MATCH (n:L) WITH n WHERE n.w > 1 RETURN n ORDER BY n.o SKIP n.s LIMIT n.l",
        ["L"], [], [],
        id="with where, order by, skip and limit not walked",
    ),
    pytest.param(
        "MATCH (n:L) WITH n ORDER BY n.o MATCH (n)-[:T]->(m:M) WHERE m.q = 1 "
        "CREATE (m)-[:U]->(:Z {zz: 1}) RETURN m.r",
        ["L", "M", "Z"], ["T", "U"], ["q", "r", "zz"],
        id="clauses after a with",
    ),
    pytest.param(
        "MATCH (n:Person) SET n.age = 1 RETURN n",
        ["Person"], [], [],
        id="set not walked",
    ),
    pytest.param(
        "MATCH (n:A) REMOVE n.x, n:B DELETE n.y FOREACH (x IN [n.z] | CREATE (:F {k: x}))",
        ["A"], [], [],
        id="remove, delete and foreach not walked",
    ),
    pytest.param(
        "MATCH (n) WHERE n.age > 1 RETURN n",
        [], [], ["age"],
        id="match where",
    ),
    pytest.param(
        "OPTIONAL MATCH (n:L) WHERE n.a = 1 RETURN n",
        ["L"], [], ["a"],
        id="optional match",
    ),
    pytest.param(
        "UNWIND [n.a] AS x RETURN x",
        [], [], [],
        id="unwind not walked",
    ),
    pytest.param(
        "CALL db.proc(n.k, {a: n.b}) YIELD label RETURN label",
        [], [], [],
        id="procedure call not walked",
    ),
    pytest.param(
        "MATCH (a:A) RETURN a.x UNION MATCH (b:B)-[:T]->() RETURN b.y "
        "UNION ALL MATCH (c:C) RETURN c.z",
        ["A", "B", "C"], ["T"], ["x", "y", "z"],
        id="every union arm",
    ),
    pytest.param(
        "CALL { MATCH (x:X)-[:T]->(y) RETURN x.k AS k UNION MATCH (w:W) RETURN w.j AS k } RETURN k",
        ["W", "X"], ["T"], ["j", "k"],
        id="call subquery with its union",
    ),
    pytest.param(
        "MATCH (n) RETURN COUNT { MATCH (n)-[:T]->(m:M) WHERE m.k > 1 } AS c",
        [], [], ["k"],
        id="count subquery keys only",
    ),
    pytest.param(
        "MATCH (n:L) RETURN COLLECT { MATCH (n)-[:T]->(m:M) RETURN m.v }",
        ["L"], [], ["v"],
        id="collect subquery keys only",
    ),
    pytest.param(
        "MATCH (n) WHERE EXISTS { (n)-[:KNOWS]->(:Person {k: 1}) } RETURN n",
        [], [], [],
        id="exists pattern not walked",
    ),
    pytest.param(
        "MATCH (n:L) RETURN [(n)-[:T]->(m:M {pk: 1}) WHERE m.w > 0 | m.p]",
        ["L"], [], ["p", "w"],
        id="pattern comprehension: where and projection only",
    ),
    pytest.param(
        "MATCH (n:L) RETURN reduce(s = 0, x IN n.list | s + x.v)",
        ["L"], [], [],
        id="reduce not walked",
    ),
    pytest.param(
        "MATCH (n:L) RETURN shortestPath((n)-[:T*]->(:B {k: 1}))",
        ["L"], [], [],
        id="shortestPath expression not walked",
    ),
    pytest.param(
        "MATCH p = shortestPath((a:A)-[:T*]->(b:B {k: 1})) RETURN p",
        ["A", "B"], ["T"], ["k"],
        id="shortestPath pattern in match",
    ),
    pytest.param(
        "RETURN {a: n.b, c: {d: n.e}}",
        [], [], ["b", "e"],
        id="map values, not map keys",
    ),
    pytest.param(
        "RETURN CASE n.a WHEN n.b THEN n.c ELSE n.d END, CASE WHEN n.f THEN n.g END",
        [], [], ["a", "b", "c", "d", "f", "g"],
        id="case",
    ),
    pytest.param(
        "RETURN [x IN n.l WHERE x.f | x.g], all(x IN n.a WHERE x.b), any(x IN n.c WHERE x.d), "
        "none(x IN n.e WHERE x.h), single(x IN n.i WHERE x.j)",
        [], [], ["a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "l"],
        id="list comprehension and quantifiers",
    ),
    pytest.param(
        "RETURN n.l[n.i], n.m[n.s..n.e], n.o[..n.p]",
        [], [], ["e", "i", "l", "m", "o", "p", "s"],
        id="subscript and slices",
    ),
    pytest.param(
        "RETURN n.a IS NULL, n.b IS NOT NULL, n.c IN [n.d], n.e STARTS WITH n.f, "
        "n.g ENDS WITH n.h, n.i CONTAINS n.j, n.k =~ n.l, NOT n.m, -n.o, n.p XOR n.q",
        [], [], ["a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m", "o", "p", "q"],
        id="predicates and unary operators",
    ),
    pytest.param(
        "RETURN n.a + n.b - n.c * n.d / n.e % n.f ^ n.g, n.h < n.i <= n.j <> n.k OR n.l AND n.m",
        [], [], ["a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l", "m"],
        id="arithmetic and comparison",
    ),
    pytest.param(
        "RETURN toUpper(n.a), count(*), n.b.c",
        [], [], ["a", "b", "c"],
        id="function arguments and nested property access",
    ),
    pytest.param(
        "MATCH (n:L) RETURN *",
        ["L"], [], [],
        id="return star",
    ),
    pytest.param(
        "MATCH (n:`My Label`)-[:`MY TYPE`]->() RETURN n.`my key` AS `alias key`",
        ["My Label"], ["MY TYPE"], ["my key"],
        id="back-quoted names are reported without their back-ticks",
    ),
    pytest.param(
        "MATCH (a:Person)-[:KNOWS]->(b:`Person`)-[:`KNOWS`]->() RETURN a.name, b.`name`",
        ["Person"], ["KNOWS"], ["name"],
        id="a name written plain and back-quoted is one name",
    ),
]


@pytest.mark.parametrize(("query", "labels", "types", "keys"), WALKS)
def test_reported_names(query, labels, types, keys):
    info = parse_query(query)
    assert info.errors == []
    assert info.is_valid is True and bool(info) is True
    assert (info.labels_used, info.rel_types_used, info.properties_used) == (labels, types, keys)


def test_byte_order():
    info = parse_query(
        "MATCH (:b)-[:t]->(:B)-[:`T`]->(:a1)-[:T]->(:A)-[:_x]->(:`é`)-[:Z]->(:_) "
        "RETURN n.b, n.B, n.`é`, n.`ä`, n.a_, n.a"
    )
    assert info.labels_used == ["A", "B", "_", "a1", "b", "é"]
    assert info.rel_types_used == ["T", "Z", "_x", "t"]
    assert info.properties_used == ["B", "a", "a_", "b", "ä", "é"]


def test_names_compare_with_the_schema():
    schema = Schema({"My Label": ["a b"], "Order": ["id"], "Person": []},
                    {"HAS IT": ("My Label", "Order", []), "KNOWS": ("Person", "Person", [])})
    info = parse_query(
        "MATCH (n:`My Label`)-[:`HAS IT`]->(o:`Order`), (p:Person)-[:KNOWS]->(:`Person`) "
        "RETURN n.`a b`, o.id"
    )
    assert info.labels_used == schema.node_labels()
    assert info.rel_types_used == schema.rel_types()
    assert info.properties_used == schema.node_properties("My Label") + schema.node_properties("Order")


def test_repr_example():
    info = parse_query("MATCH (p:Person)-[:ACTED_IN]->(m:Movie) RETURN p.name")
    assert repr(info) == (
        'QueryInfo(is_valid=true, labels=["Movie", "Person"], rel_types=["ACTED_IN"], '
        'properties=["name"], errors=[])'
    )


def test_repr_escapes_names():
    info = parse_query('MATCH (n:`a"b\\c`) RETURN n')
    assert info.labels_used == ['a"b\\c']
    assert repr(info) == (
        'QueryInfo(is_valid=true, labels=["a\\"b\\\\c"], rel_types=[], properties=[], errors=[])'
    )


@pytest.mark.parametrize("query", ["MATCH (n RETURN n", "", "   ", "RETURN 1 +", "MATCH (n:Person)\nRETURN n +"])
def test_failed_parse(query):
    info = parse_query(query)
    assert info.is_valid is False and bool(info) is False
    (error,) = info.errors
    assert error.startswith("Parse error: ")
    # validate reports the same recognizer text, without the prefix.
    assert error == "Parse error: " + Morvane(Schema({}, {})).validate(query).errors[0]
    assert (info.labels_used, info.rel_types_used, info.properties_used) == ([], [], [])
    escaped = error.replace("\n", "\\n")
    assert '"' not in error and "\\" not in error
    assert repr(info) == (
        f'QueryInfo(is_valid=false, labels=[], rel_types=[], properties=[], errors=["{escaped}"])'
    )


def test_lists_are_new_on_every_read():
    info = parse_query("MATCH (p:Person)-[:ACTED_IN]->(m:Movie) RETURN p.name")
    for name in ["errors", "labels_used", "rel_types_used", "properties_used"]:
        first = getattr(info, name)
        assert getattr(info, name) is not first
        first.append("extra")
        assert "extra" not in getattr(info, name)
    assert repr(info).startswith('QueryInfo(is_valid=true, labels=["Movie", "Person"]')


def test_query_info_is_read_only_and_not_instantiable():
    info = parse_query("RETURN 1")
    for name in ["is_valid", "errors", "labels_used", "rel_types_used", "properties_used", "other"]:
        with pytest.raises(AttributeError):
            setattr(info, name, [])
    with pytest.raises(TypeError):
        QueryInfo()


@pytest.mark.parametrize(
    ("name", "doc"),
    [
        ("is_valid", "True if the query is syntactically valid."),
        ("errors", "Syntax error messages (empty if valid)."),
        ("labels_used", "Node labels referenced in the query."),
        ("rel_types_used", "Relationship types referenced in the query."),
        ("properties_used", 'Property keys accessed in the query (e.g. ``["name", "age"]``).'),
    ],
)
def test_member_docstrings(name, doc):
    assert QueryInfo.__dict__[name].__doc__ == doc


def test_function_and_class_texts():
    assert QueryInfo.__doc__ == "Information extracted from a parsed query without a schema."
    assert parse_query.__text_signature__ == "(query)"
    assert parse_query.__doc__ == (
        "Parse a Cypher query and return structural information without requiring a schema.\n"
        "\n"
        "Example::\n"
        "\n"
        '    info = parse_query("MATCH (p:Person)-[:ACTED_IN]->(m:Movie) RETURN p.name")\n'
        "    info.is_valid         # True\n"
        '    info.labels_used      # ["Movie", "Person"]\n'
        '    info.rel_types_used   # ["ACTED_IN"]\n'
        '    info.properties_used  # ["name"]'
    )


@pytest.mark.parametrize(
    ("args", "kwargs", "error", "message"),
    [
        ((3,), {}, TypeError, "argument 'query': 'int' object cannot be converted to 'PyString'"),
        ((), {}, TypeError, "parse_query() missing 1 required positional argument: 'query'"),
        (("a", "b"), {}, TypeError, "parse_query() takes 1 positional argument but 2 were given"),
        ((), {"text": "RETURN 1"}, TypeError, "parse_query() got an unexpected keyword argument 'text'"),
    ],
)
def test_argument_errors(args, kwargs, error, message):
    with pytest.raises(error) as caught:
        parse_query(*args, **kwargs)
    assert str(caught.value) == message


def test_keyword_argument_and_surrogates():
    assert parse_query(query="MATCH (n:L) RETURN n").labels_used == ["L"]
    with pytest.raises(UnicodeEncodeError):
        parse_query("MATCH (n:L) RETURN '\ud800'")


@pytest.mark.parametrize(
    "query",
    [
        "RETURN " + "+".join(["1"] * 50_000),
        "RETURN " + "(" * 60 + "n.k" + ")" * 60,
        "MATCH (n:L {k: " + "[" * 60 + "n.v" + "]" * 60 + "}) RETURN n",
        "RETURN " + "(" * 5_000 + "1" + ")" * 5_000,
    ],
    ids=["50,000-term sum", "60 parentheses", "60 nested lists", "5,000 parentheses"],
)
def test_deep_inputs_return(query):
    info = parse_query(query)
    assert isinstance(info, QueryInfo)
    if info.is_valid:
        assert set(info.properties_used) <= {"k", "v"}
    else:
        assert info.errors[0].startswith("Parse error: ")


def test_moderately_deep_inputs_parse():
    assert parse_query("RETURN " + "(" * 60 + "n.k" + ")" * 60).properties_used == ["k"]
    assert parse_query("RETURN " + "+".join(["n.k"] * 50_000)).properties_used == ["k"]


NAMES = st.sampled_from(["A", "B", "a", "b", "_x", "Z9", "`q b`", "`é`", "`B`", "`a`"])


def name_of(written):
    """The name that a query writes as `written`: the text between its back-ticks, if any."""
    return written[1:-1] if written.startswith("`") else written


@st.composite
def expressions(draw, depth=2):
    """An expression text and the property keys that it accesses."""
    kind = draw(st.integers(0, 4 if depth else 1))
    if kind == 0:
        key = draw(NAMES)
        return f"{draw(st.sampled_from(['n', 'm']))}.{key}", {name_of(key)}
    if kind == 1:
        return draw(st.sampled_from(["1", "'x'", "$p", "n"])), set()
    (left, left_keys), (right, right_keys) = (draw(expressions(depth - 1)) for _ in range(2))
    text = [f"{left} + {right}", f"[{left}, {right}]", f"coalesce({left}, {right})"][kind - 2]
    return text, left_keys | right_keys


@st.composite
def nodes(draw):
    """A node pattern text with its labels and property keys."""
    labels = draw(st.lists(NAMES, max_size=2))
    entries = draw(st.lists(st.tuples(NAMES, expressions()), max_size=2))
    # A key written twice keeps only its later value.
    keys = set()
    for key, (_, value_keys) in dict(entries).items():
        keys |= {name_of(key)} | value_keys
    properties = " {" + ", ".join(f"{k}: {v}" for k, (v, _) in entries) + "}" if entries else ""
    variable = draw(st.sampled_from(["n", "m", ""]))
    text = f"({variable}{''.join(':' + label for label in labels)}{properties})"
    return text, {name_of(label) for label in labels}, keys


@st.composite
def queries(draw):
    """A query of MATCH, CREATE or MERGE arms with the names that parse_query must report."""
    labels, types, keys = set(), set(), set()
    arms = []
    for _ in range(draw(st.integers(1, 2))):
        clause = draw(st.sampled_from(["MATCH", "OPTIONAL MATCH", "CREATE", "MERGE"]))
        text, node_labels, node_keys = draw(nodes())
        labels |= node_labels
        keys |= node_keys
        for _ in range(draw(st.integers(0, 2))):
            rel_types = draw(st.lists(NAMES, min_size=1, max_size=2))
            types |= {name_of(rel_type) for rel_type in rel_types}
            # Relationship property maps are not walked.
            rel_map = draw(st.sampled_from(["", " {r: n.rk}"]))
            node_text, node_labels, node_keys = draw(nodes())
            labels |= node_labels
            keys |= node_keys
            text += f"-[:{'|'.join(rel_types)}{rel_map}]->{node_text}"
        text = f"{clause} {text}"
        if clause.endswith("MATCH") and draw(st.booleans()):
            condition, condition_keys = draw(expressions())
            text += f" WHERE {condition}"
            keys |= condition_keys
        items = draw(st.lists(expressions(), min_size=1, max_size=3))
        for _, item_keys in items:
            keys |= item_keys
        arms.append(text + " RETURN " + ", ".join(item for item, _ in items))
    return " UNION ".join(arms), sorted(labels), sorted(types), sorted(keys)


def by_bytes(names):
    return sorted(names, key=str.encode)


@settings(max_examples=300, deadline=None)
@given(queries())
def test_generated_queries_report_their_names(case):
    query, labels, types, keys = case
    info = parse_query(query)
    assert info.errors == []
    assert info.labels_used == by_bytes(labels)
    assert info.rel_types_used == by_bytes(types)
    assert info.properties_used == by_bytes(keys)


@settings(max_examples=300, deadline=None)
@given(
    st.one_of(
        st.text(),
        queries().map(lambda case: case[0]),
        queries().flatmap(lambda case: st.integers(0, len(case[0])).map(lambda cut: case[0][:cut])),
    )
)
def test_any_text_gives_a_query_info(text):
    info = parse_query(text)
    assert isinstance(info, QueryInfo)
    lists = [info.labels_used, info.rel_types_used, info.properties_used]
    if info.is_valid:
        assert info.errors == []
        for names in lists:
            encoded = [name.encode() for name in names]
            assert encoded == sorted(set(encoded))
    else:
        assert len(info.errors) == 1 and info.errors[0].startswith("Parse error: ")
        assert lists == [[], [], []]
