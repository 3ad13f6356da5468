import pytest

from _morvane import Schema

RENDERINGS = ["to_prompt", "to_markdown", "to_cypher_context"]

WORKED_PROMPT = (
    "Graph Schema\n"
    "============\n"
    "\n"
    "Nodes\n"
    "-----\n"
    "  :Movie" + " " * 21 + "  title\n"
    "  :Person" + " " * 20 + "  age, name\n"
    "  :Tag\n"
    "\n"
    "Relationships\n"
    "-------------\n"
    "  :ACTED_IN" + " " * 18 + "  (Person)-->(Movie)   role\n"
    "  :KNOWS" + " " * 21 + "  (Person)-->(Person)\n"
)

WORKED_MARKDOWN = (
    "### Nodes\n\n| Label | Properties |\n|---|---|\n"
    "| :Movie | title |\n| :Person | age, name |\n| :Tag | \u2014 |\n"
    "\n### Relationships\n\n| Type | Source \u2192 Target | Properties |\n|---|---|---|\n"
    "| :ACTED_IN | :Person \u2192 :Movie | role |\n| :KNOWS | :Person \u2192 :Person | \u2014 |\n"
)

WORKED_CYPHER = (
    "// Node labels and their properties\n(:Movie {title})\n(:Person {age, name})\n(:Tag)\n"
    "\n// Relationship types\n(:Person)-[:ACTED_IN {role}]->(:Movie)\n"
    "(:Person)-[:KNOWS]->(:Person)\n"
)

EMPTY_RENDERINGS = {
    "to_prompt": "Graph Schema\n============\n\nNodes\n-----\n\nRelationships\n-------------\n",
    "to_markdown": (
        "### Nodes\n\n| Label | Properties |\n|---|---|\n"
        "\n### Relationships\n\n| Type | Source \u2192 Target | Properties |\n|---|---|---|\n"
    ),
    "to_cypher_context": "// Node labels and their properties\n\n// Relationship types\n",
}


@pytest.mark.parametrize(
    "method, expected",
    [("to_prompt", WORKED_PROMPT), ("to_markdown", WORKED_MARKDOWN),
     ("to_cypher_context", WORKED_CYPHER)],
)
def test_worked_example(worked, method, expected):
    assert getattr(worked, method)() == expected


@pytest.mark.parametrize("method", RENDERINGS)
def test_empty_schema(method):
    assert getattr(Schema({}, {}), method)() == EMPTY_RENDERINGS[method]


def prompt_entries(schema):
    """The lines of to_prompt between the Nodes and Relationships headers, and after the latter."""
    text = schema.to_prompt()
    nodes, relationships = text.split("\n\nRelationships\n-------------\n")
    return nodes.split("Nodes\n-----\n")[1].splitlines(), relationships.splitlines()


@pytest.mark.parametrize(
    "nodes, relationships, node_lines, relationship_lines",
    [
        pytest.param({"Tag": []}, {"KNOWS": ("A", "B", [])},
                     ["  :Tag"], ["  :KNOWS" + " " * 21 + "  (A)-->(B)"],
                     id="no-properties"),
        pytest.param({"L" * 26: ["p"]}, {"T" * 26: ("A", "B", ["q"])},
                     ["  :" + "L" * 26 + "  p"], ["  :" + "T" * 26 + "  (A)-->(B)   q"],
                     id="26-characters"),
        pytest.param({"L" * 27: ["p"]}, {"T" * 27: ("A", "B", [])},
                     ["  :" + "L" * 27 + "  p"], ["  :" + "T" * 27 + "  (A)-->(B)"],
                     id="27-characters"),
        pytest.param({"L" * 40: []}, {}, ["  :" + "L" * 40], [], id="long-label-no-properties"),
        pytest.param({"Größe": ["x"]}, {"ÜBER": ("Größe", "😀", ["ä", "b"])},
                     ["  :Größe" + " " * 21 + "  x"],
                     ["  :ÜBER" + " " * 22 + "  (Größe)-->(😀)   b, ä"],
                     id="characters-not-bytes"),
        pytest.param({"😀" * 26: ["p"]}, {}, ["  :" + "😀" * 26 + "  p"], [],
                     id="26-four-byte-characters"),
        pytest.param({"": ["p"]}, {"": ("", "", [])},
                     ["  :" + " " * 26 + "  p"], ["  :" + " " * 26 + "  ()-->()"],
                     id="empty-names"),
    ],
)
def test_prompt_fill(nodes, relationships, node_lines, relationship_lines):
    assert prompt_entries(Schema(nodes, relationships)) == (node_lines, relationship_lines)


ODD_NODES = {"a|b": ["x y", "{z}"], "with space": [], "line\nfeed": ["p|q"], "{brace}": ["\t"]}
ODD_RELATIONSHIPS = {"R|S": ("a|b", "no such {label}", ["p q"]), "T U": ("x\ny", "", [])}


def test_odd_names_written_as_stored_and_quoted_in_patterns():
    schema = Schema(ODD_NODES, ODD_RELATIONSHIPS)
    assert schema.to_prompt() == (
        "Graph Schema\n============\n\nNodes\n-----\n"
        "  :a|b" + " " * 23 + "  x y, {z}\n"
        "  :line\nfeed" + " " * 17 + "  p|q\n"
        "  :with space\n"
        "  :{brace}" + " " * 19 + "  \t\n"
        "\nRelationships\n-------------\n"
        "  :R|S" + " " * 23 + "  (a|b)-->(no such {label})   p q\n"
        "  :T U" + " " * 23 + "  (x\ny)-->()\n"
    )
    assert schema.to_markdown() == (
        "### Nodes\n\n| Label | Properties |\n|---|---|\n"
        "| :a|b | x y, {z} |\n| :line\nfeed | p|q |\n| :with space | \u2014 |\n"
        "| :{brace} | \t |\n"
        "\n### Relationships\n\n| Type | Source \u2192 Target | Properties |\n|---|---|---|\n"
        "| :R|S | :a|b \u2192 :no such {label} | p q |\n| :T U | :x\ny \u2192 : | \u2014 |\n"
    )
    assert schema.to_cypher_context() == (
        "// Node labels and their properties\n"
        "(:`a|b` {`x y`, `{z}`})\n(:`line\nfeed` {`p|q`})\n(:`with space`)\n(:`{brace}` {`\t`})\n"
        "\n// Relationship types\n"
        "(:`a|b`)-[:`R|S` {`p q`}]->(:`no such {label}`)\n(:`x\ny`)-[:`T U`]->(:``)\n"
    )


def test_undeclared_endpoints_are_rendered():
    schema = Schema({}, {"LIVES_IN": ("Person", "City", ["since"])})
    assert "  :LIVES_IN" + " " * 18 + "  (Person)-->(City)   since\n" in schema.to_prompt()
    assert "| :LIVES_IN | :Person \u2192 :City | since |\n" in schema.to_markdown()
    assert "(:Person)-[:LIVES_IN {since}]->(:City)\n" in schema.to_cypher_context()


@pytest.mark.parametrize("method", RENDERINGS)
def test_equal_content_renders_identically(worked, method):
    reordered = Schema(
        {"Tag": (), "Movie": ("title",), "Person": ("age", "name", "age")},
        {"KNOWS": ("Person", "Person", ()), "ACTED_IN": ("Person", "Movie", ("role",))},
    )
    from_json = Schema.from_json(
        '{"relationships":{"KNOWS":["Person","Person",[]],"ACTED_IN":["Person","Movie",["role"]]},'
        '"nodes":{"Tag":[],"Person":["name","age"],"Movie":["title"]}}'
    )
    merged = Schema({"Person": ["name"]}, {"KNOWS": ("Person", "Person", [])}).merge(
        Schema({"Tag": [], "Movie": ["title"], "Person": ["age"]},
               {"ACTED_IN": ("Person", "Movie", ["role"])}))
    expected = getattr(worked, method)()
    for other in (reordered, from_json, merged, Schema.from_dict(worked.to_dict())):
        assert getattr(other, method)() == expected


def test_sorting_is_by_bytes():
    schema = Schema({"b": ["é", "z", "Z"], "B": [], "é": []}, {})
    assert schema.to_cypher_context() == (
        "// Node labels and their properties\n(:B)\n(:b {Z, z, `é`})\n(:`é`)\n"
        "\n// Relationship types\n"
    )


def test_cypher_context_quotes_names_that_need_it():
    schema = Schema({"My Label": ["a b"], "End": ["x"], "Order": ["id"], "Product": []},
                    {"CONTAINS": ("Order", "Product", [])})
    assert schema.to_cypher_context() == (
        "// Node labels and their properties\n"
        "(:`End` {x})\n(:`My Label` {`a b`})\n(:Order {id})\n(:Product)\n"
        "\n// Relationship types\n(:Order)-[:`CONTAINS`]->(:Product)\n"
    )
    # The other renderings keep the names as stored.
    assert "  :My Label" + " " * 18 + "  a b\n" in schema.to_prompt()
    assert "| :End | x |\n" in schema.to_markdown()


@pytest.mark.parametrize(
    "method, first_line, paragraph, example",
    [
        ("to_prompt", "Return a human-readable, LLM-friendly representation of the schema.",
         "Suitable for injecting into an LLM system prompt to tell the model which\n"
         "labels, relationship types, and properties exist in the graph.",
         ["print(schema.to_prompt())", "#   :Company" + " " * 19 + "  founded, name",
          "#   :Person" + " " * 20 + "  age, email, name",
          "#   :LIVES_IN" + " " * 18 + "  (Person)-->(City)\n",
          "#   :WORKS_FOR" + " " * 17 + "  (Person)-->(Company)   role, since"]),
        ("to_markdown", "Return the schema formatted as a Markdown table.",
         "Useful for LLM contexts that render Markdown, documentation, or\nREADME sections.",
         ["print(schema.to_markdown())", "# ### Nodes\n", "# | Label | Properties |\n",
          "# |---|---|\n", "# | :Person | age, email, name |\n", "# ..."]),
        ("to_cypher_context", "Return the schema as inline Cypher patterns.",
         "This format is often the most natural for LLMs that already know Cypher,\n"
         "since it mirrors the query syntax they will generate.",
         ["print(schema.to_cypher_context())", "# (:Company {founded, name})\n",
          "# (:Person {age, email, name})\n", "# (:Person)-[:LIVES_IN]->(:City)\n",
          "# (:Person)-[:WORKS_FOR {role, since}]->(:Company)"]),
    ],
)
def test_docstrings(method, first_line, paragraph, example):
    doc = getattr(Schema, method).__doc__
    assert doc.startswith(first_line + "\n\n" + paragraph + "\n\nExample::\n\n")
    for fragment in example:
        assert fragment in doc
