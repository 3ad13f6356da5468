"""CypherGenerator: seeded sequences, batches, argument checks and the validity of its output."""

import threading

import pytest

from _morvane import CypherGenerator, Morvane, Schema, parse_query

TYPES = [
    "match_return",
    "match_where_return",
    "create",
    "merge",
    "aggregation",
    "match_relationship",
    "create_relationship",
    "match_set",
    "match_delete",
    "with_chain",
    "distinct_return",
    "order_by",
    "unwind",
]

S_NODES = {"Person": ["name", "age"], "Movie": ["title", "year"]}
S_RELATIONSHIPS = {"ACTED_IN": ("Person", "Movie", ["role"])}


@pytest.fixture(scope="module")
def s():
    return Schema(S_NODES, S_RELATIONSHIPS)


@pytest.fixture(scope="module")
def empty():
    return Schema({}, {})


def drawn(generator, query_type, count):
    return [generator.generate(query_type) for _ in range(count)]


class TestSeededSequences:
    @pytest.mark.parametrize(
        ("seed", "query_type", "expected"),
        [
            (42, "match_return", ["MATCH (n:Person) RETURN n LIMIT 50", "MATCH (n:Person) RETURN n"]),
            (42, "order_by", ["MATCH (n:Person) RETURN n ORDER BY n.age DESC"]),
            (0, "order_by", ["MATCH (n:Movie) RETURN n ORDER BY n.title LIMIT 25"]),
            (1, "create", ['CREATE (n:Person {age: "Carol", name: $value}) RETURN n']),
            (42, "match_relationship", ["MATCH (a:Person)-[r:ACTED_IN]->(b:Movie) RETURN a, r, b"]),
        ],
    )
    def test_examples_on_s(self, s, seed, query_type, expected):
        assert drawn(CypherGenerator(s, seed), query_type, len(expected)) == expected
        assert CypherGenerator(s, seed).generate_batch(query_type, len(expected)) == expected

    @pytest.mark.parametrize(
        ("query_type", "expected"),
        [
            ("unwind", 'UNWIND [36, "Carol"] AS item RETURN item'),
            ("create", "CREATE (n:Node) RETURN n"),
            ("match_relationship", "MATCH (n:Node) RETURN n"),
            ("create_relationship", "CREATE (n:Node) RETURN n"),
            ("aggregation", "MATCH (n:Node) RETURN count(n) AS result"),
            ("match_delete", "MATCH (n:Node) DETACH DELETE n"),
        ],
    )
    def test_examples_on_empty_schema(self, empty, query_type, expected):
        assert CypherGenerator(empty, seed=0).generate(query_type) == expected

    def test_seed_by_keyword_or_position(self, s):
        by_keyword = CypherGenerator(s, seed=42)
        by_position = CypherGenerator(s, 42)
        all_keywords = CypherGenerator(schema=s, seed=42)
        for query_type in TYPES:
            expected = by_keyword.generate_batch(query_type, 5)
            assert by_position.generate_batch(query_type, 5) == expected
            assert drawn(all_keywords, query_type, 5) == expected

    def test_generator_keeps_its_own_schema(self):
        schema = Schema(S_NODES, S_RELATIONSHIPS)
        generator = CypherGenerator(schema, 42)
        del schema
        assert generator.generate("match_relationship") == (
            "MATCH (a:Person)-[r:ACTED_IN]->(b:Movie) RETURN a, r, b"
        )

    def test_unseeded_generators_differ(self, s):
        first = CypherGenerator(s).generate_batch("create", 30)
        second = CypherGenerator(s, None).generate_batch("create", 30)
        assert first != second


class TestSeedArgument:
    @pytest.mark.parametrize(
        ("seed", "error", "message"),
        [
            (-1, OverflowError, "can't convert negative int to unsigned"),
            (2**64, OverflowError, "int too big to convert"),
            (1.5, TypeError, "argument 'seed': 'float' object cannot be interpreted as an integer"),
            ("1", TypeError, "argument 'seed': 'str' object cannot be interpreted as an integer"),
        ],
    )
    def test_refused(self, s, seed, error, message):
        with pytest.raises(error) as caught:
            CypherGenerator(s, seed)
        assert str(caught.value) == message

    def test_largest_seed_accepted(self, s):
        first = CypherGenerator(s, 2**64 - 1).generate_batch("create", 10)
        assert CypherGenerator(s, seed=2**64 - 1).generate_batch("create", 10) == first
        assert first != CypherGenerator(s, 0).generate_batch("create", 10)

    def test_bool_and_index_protocol(self, s):
        class Seed:
            def __index__(self):
                return 42

        expected = CypherGenerator(s, 1).generate_batch("unwind", 10)
        assert CypherGenerator(s, True).generate_batch("unwind", 10) == expected
        assert CypherGenerator(s, Seed()).generate("match_return") == "MATCH (n:Person) RETURN n LIMIT 50"

    @pytest.mark.parametrize(
        ("args", "message"),
        [
            ((), "CypherGenerator.__new__() missing 1 required positional argument: 'schema'"),
            ((3,), "argument 'schema': 'int' object cannot be converted to 'Schema'"),
            ((S_NODES, 1), "argument 'schema': 'dict' object cannot be converted to 'Schema'"),
        ],
    )
    def test_schema_refused(self, args, message):
        with pytest.raises(TypeError) as caught:
            CypherGenerator(*args)
        assert str(caught.value) == message


class TestUnknownType:
    @pytest.mark.parametrize(
        "query_type",
        ["MATCH_RETURN", "", "match_return ", " create", "bogus", "match", "bogus\x00tail"],
    )
    def test_refused_without_drawing(self, s, query_type):
        generator = CypherGenerator(s, 7)
        generator.generate("create")
        with pytest.raises(ValueError) as caught:
            generator.generate(query_type)
        assert str(caught.value) == f"Generator error: Unknown query type: {query_type}"
        with pytest.raises(ValueError) as caught:
            generator.generate_batch(query_type, 2)
        assert str(caught.value) == f"Generator error: Unknown query type: {query_type}"

        fresh = CypherGenerator(s, 7)
        fresh.generate("create")
        assert generator.generate_batch("unwind", 5) == fresh.generate_batch("unwind", 5)

    def test_query_type_must_be_str(self, s):
        generator = CypherGenerator(s, 7)
        with pytest.raises(TypeError) as caught:
            generator.generate(3)
        assert str(caught.value) == "argument 'query_type': 'int' object cannot be converted to 'PyString'"
        with pytest.raises(TypeError) as caught:
            generator.generate_batch(None, 1)
        assert str(caught.value) == (
            "argument 'query_type': 'NoneType' object cannot be converted to 'PyString'"
        )
        assert generator.generate("order_by") == CypherGenerator(s, 7).generate("order_by")


class TestGenerateBatch:
    @pytest.mark.parametrize("query_type", TYPES)
    def test_equals_successive_generate_calls(self, s, empty, query_type):
        for schema in (s, empty):
            for seed in (0, 42, 2**63 + 5):
                batched = CypherGenerator(schema, seed)
                single = CypherGenerator(schema, seed)
                assert batched.generate_batch(query_type, 3) == drawn(single, query_type, 3)
                # A batch continues from where the previous call left off.
                assert batched.generate_batch(query_type, 4) + [batched.generate(query_type)] == (
                    drawn(single, query_type, 5)
                )

    @pytest.mark.parametrize("query_type", TYPES + ["bogus", ""])
    def test_zero_queries(self, s, query_type):
        generator = CypherGenerator(s, 3)
        result = generator.generate_batch(query_type, 0)
        assert result == [] and type(result) is list
        assert generator.generate("unwind") == CypherGenerator(s, 3).generate("unwind")

    @pytest.mark.parametrize(
        ("n", "error", "message"),
        [
            (-1, OverflowError, "can't convert negative int to unsigned"),
            (2**64, OverflowError, "int too big to convert"),
            (1.5, TypeError, "argument 'n': 'float' object cannot be interpreted as an integer"),
            ("2", TypeError, "argument 'n': 'str' object cannot be interpreted as an integer"),
            (None, TypeError, "argument 'n': 'NoneType' object cannot be interpreted as an integer"),
        ],
    )
    def test_count_refused(self, s, n, error, message):
        generator = CypherGenerator(s, 3)
        with pytest.raises(error) as caught:
            generator.generate_batch("create", n)
        assert str(caught.value) == message
        assert generator.generate("create") == CypherGenerator(s, 3).generate("create")

    @pytest.mark.parametrize("n", [2**62, 2**64 - 1])
    def test_count_too_large_for_memory(self, s, n):
        generator = CypherGenerator(s, 3)
        with pytest.raises(MemoryError):
            generator.generate_batch("create", n)
        assert generator.generate_batch("create", 2) == CypherGenerator(s, 3).generate_batch("create", 2)

    def test_bool_count_and_keywords(self, s):
        generator = CypherGenerator(s, 42)
        assert generator.generate_batch(query_type="match_return", n=True) == [
            "MATCH (n:Person) RETURN n LIMIT 50"
        ]
        assert generator.generate_batch("match_return", n=False) == []
        with pytest.raises(TypeError) as caught:
            generator.generate_batch("match_return")
        assert str(caught.value) == (
            "CypherGenerator.generate_batch() missing 1 required positional argument: 'n'"
        )
        assert generator.generate(query_type="match_return") == "MATCH (n:Person) RETURN n"

    def test_calls_from_threads_do_not_interleave(self, s):
        # Each call holds the generator for its whole run, so every batch is one contiguous
        # stretch of the sequence a single thread would draw.
        generator = CypherGenerator(s, 11)
        size, rounds = 50, 40
        batches = []
        barrier = threading.Barrier(2)

        def work():
            barrier.wait()
            for _ in range(rounds):
                batches.append(tuple(generator.generate_batch("unwind", size)))

        threads = [threading.Thread(target=work) for _ in range(2)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        sequence = CypherGenerator(s, 11).generate_batch("unwind", 2 * rounds * size)
        expected = [tuple(sequence[i : i + size]) for i in range(0, len(sequence), size)]
        assert sorted(batches) == sorted(expected)

    def test_docstring(self):
        assert CypherGenerator.generate_batch.__text_signature__ == "($self, query_type, n)"
        doc = CypherGenerator.generate_batch.__doc__
        lines = doc.split("\n")
        assert lines[0] == "Generate *n* queries of the given type in a single call."
        assert lines[1] == ""
        intro = " ".join(lines[2 : lines.index("", 2)])
        assert ":meth:`generate` *n* times" in intro and "per-call Python overhead" in intro

        headings = [
            (i, lines[i]) for i in range(len(lines) - 1) if set(lines[i + 1]) == {"-"}
        ]
        assert [name for _, name in headings] == ["Parameters", "Returns", "Raises"]
        for i, name in headings:
            assert lines[i + 1] == "-" * len(name)
            assert lines[i - 1] == ""
        bounds = [i for i, _ in headings] + [len(lines)]
        parameters, returns, raises = (
            "\n".join(lines[start + 2 : end]) for start, end in zip(bounds, bounds[1:])
        )
        assert "query_type" in parameters and ":meth:`supported_types`" in parameters
        assert "\nn" in parameters
        assert "list[str]" in returns
        assert "ValueError" in raises and "*query_type* is not supported" in raises


class TestSupportedTypesAndRepr:
    def test_supported_types(self, s):
        first = CypherGenerator.supported_types()
        assert first == TYPES
        first.append("bogus")
        first[0] = "changed"
        second = CypherGenerator(s, 1).supported_types()
        assert second == TYPES and second is not first
        assert CypherGenerator.supported_types.__text_signature__ == "()"
        with pytest.raises(TypeError):
            CypherGenerator.supported_types(s)

    @pytest.mark.parametrize("seed", [None, 0, 42])
    def test_repr(self, s, empty, seed):
        generator = CypherGenerator(s, seed)
        assert repr(generator) == "CypherGenerator()"
        generator.generate_batch("create", 3)
        assert repr(generator) == "CypherGenerator()"
        assert repr(CypherGenerator(empty, seed)) == "CypherGenerator()"


def generation_failures(nodes, relationships, seeds, per_type):
    """The generated queries, `per_type` of each type for each seed, that fail to validate
    without errors against their own schema, or that parse_query reads as using a name the
    schema lacks."""
    schema = Schema(nodes, relationships)
    validator = Morvane(schema)
    labels = set(nodes)
    properties = {key for keys in nodes.values() for key in keys}
    failures = []
    for seed in seeds:
        generator = CypherGenerator(schema, seed)
        for query_type in TYPES:
            for query in generator.generate_batch(query_type, per_type):
                result = validator.validate(query)
                info = parse_query(query)
                if (
                    result.errors
                    or not info.is_valid
                    or not set(info.labels_used) <= labels
                    or not set(info.rel_types_used) <= set(relationships)
                    or not set(info.properties_used) <= properties
                ):
                    failures.append((seed, query_type, query, result.errors, repr(info)))
    return failures


def test_output_validates_against_its_schema():
    assert generation_failures(S_NODES, S_RELATIONSHIPS, range(200), 1) == []


QUOTED_NODES = {"My Label": ["a b"], "End": ["x"], "Order": ["id"], "Product": []}
QUOTED_RELATIONSHIPS = {"CONTAINS": ("Order", "Product", [])}


def test_names_needing_backticks_are_written_with_them():
    assert generation_failures(QUOTED_NODES, QUOTED_RELATIONSHIPS, range(50), 20) == []
    schema = Schema(QUOTED_NODES, QUOTED_RELATIONSHIPS)
    generator = CypherGenerator(schema, 3)
    assert generator.generate("match_relationship") == (
        "MATCH (a:Order)-[r:`CONTAINS`]->(b:Product) RETURN a, r, b"
    )
    assert "MATCH (n:`My Label`) RETURN count(n.`a b`) AS result" in (
        CypherGenerator(schema, 0).generate_batch("aggregation", 20)
    )


def test_names_holding_a_backtick_are_left_out(s):
    with_unwritable = Schema(
        {**S_NODES, "Per`son": ["name"], "Movie": ["title", "year", "ye`ar"]},
        {**S_RELATIONSHIPS, "LI`KES": ("Person", "Movie", []), "WATCHED": ("Person", "Per`son", [])},
    )
    for query_type in TYPES:
        assert (CypherGenerator(with_unwritable, 9).generate_batch(query_type, 30)
                == CypherGenerator(s, 9).generate_batch(query_type, 30))
