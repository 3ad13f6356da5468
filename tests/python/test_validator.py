"""Morvane: construction, single validation and batch validation on the worker pool."""

import collections
import collections.abc
import gc
import os
import subprocess
import sys
import textwrap
import threading

from pathlib import Path

import pytest

import _morvane
from _morvane import Morvane, Schema, ValidationResult

linux_only = pytest.mark.skipif(
    not sys.platform.startswith("linux"), reason="counts threads through /proc/self/task"
)

NODES = {"Person": ["name", "age"], "Movie": ["title"]}
RELATIONSHIPS = {"ACTED_IN": ("Person", "Movie", ["role"])}

# Queries that between them reach every kind of result: valid, warnings only, syntax errors,
# fixable and unfixable schema errors, multi-line text, quotes in names, and inputs deep
# enough to test the recognizer's limits on a worker thread's smaller stack.
VARIED = [
    "MATCH (p:Person) RETURN p.name",
    "MATCH (p:Persn) RETURN p",
    "MATCH (n) RETURN n",
    "MATCH (n RETURN n",
    "",
    "MATCH (a:Persn), (b:Persn) RETURN a, b",
    "MATCH (p:Person {nme: 'x'}) RETURN p.agee",
    "MATCH (p:Person)-[:ACTED_IN]->(m:Movie) RETURN p.name, m.title",
    "MATCH (p:Person)-[:ACTD_IN]->(m:Movie) RETURN count(*)",
    "MATCH (m:Movie)-[:ACTED_IN]->(p:Person) RETURN m",
    "MATCH (p:Person) RETURN q",
    "RETURN foo(1)",
    "MATCH (p:Person) RETURN p LIMIT 'x'",
    "CREATE (p:Person {name: 'Ann'})\nRETURN p",
    "MATCH (p:Person)\nWHERE p.name = 'Zoë' RETURN p // trailing comment",
    'MATCH (n:`Per"son`) RETURN n',
    "RETURN " + "+".join(["1"] * 50_000),
    "RETURN " + "(" * 60 + "1" + ")" * 60,
    "RETURN " + "(" * 500 + "1" + ")" * 500,
]

# Run first by every subprocess script: a validator over the same schema, a batch of queries
# with their one-by-one results, and two helpers.
SCRIPT_PRELUDE = f"""
import os
import _morvane
schema = _morvane.Schema({NODES!r}, {RELATIONSHIPS!r})
validator = _morvane.Morvane(schema)
queries = {VARIED[:16]!r} * 50
expected = [validator.validate(q).to_json() for q in queries]
def threads():
    return len(os.listdir("/proc/self/task"))
def batch_ok():
    return [r.to_json() for r in validator.validate_batch(queries)] == expected
"""


@pytest.fixture
def schema():
    return Schema(NODES, RELATIONSHIPS)


@pytest.fixture
def validator(schema):
    return Morvane(schema)


def as_json(results):
    return [r.to_json() for r in results]


def run_python(script, *options, **env_overrides):
    """Runs `script` after SCRIPT_PRELUDE in a fresh interpreter that imports this _morvane."""
    env = {k: v for k, v in os.environ.items() if not k.startswith("RAYON_")}
    paths = [os.path.dirname(_morvane.__file__), os.environ.get("PYTHONPATH", "")]
    env["PYTHONPATH"] = os.pathsep.join(p for p in paths if p)
    env.update(env_overrides)
    code = SCRIPT_PRELUDE + textwrap.dedent(script)
    return subprocess.run(
        [sys.executable, *options, "-c", code],
        env=env,
        capture_output=True,
        text=True,
        timeout=300,
    )


def run_threads(*bodies):
    """Runs each body on its own thread, waits for all, and re-raises the first failure."""
    failures = []

    def guard(body):
        try:
            body()
        except BaseException as error:  # handed back to the test thread
            failures.append(error)

    threads = [threading.Thread(target=guard, args=(body,)) for body in bodies]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    if failures:
        raise failures[0]


def beside_batch(validator, make_queries, action):
    """Runs one batch on a thread and `action` on another, until `action` ran mid-batch.

    Forced switches between threads are pushed out of reach, so the other thread can only run
    while the batch thread gives the interpreter lock up of its own accord, and between
    `started` and `finished` the batch thread makes no blocking call except validate_batch.
    Batches grow until `action` ran while one was running. Returns whether it did, and the
    results of the last batch.
    """

    def attempt(size):
        queries = make_queries(size)
        started, finished = threading.Event(), threading.Event()
        ran, results = [], []

        def beside():
            started.wait()
            if not finished.is_set():
                ran.append(True)
                action()
            finished.wait()

        def batch():
            started.set()
            results.extend(validator.validate_batch(queries))
            finished.set()

        run_threads(beside, batch)
        assert len(results) == size
        return bool(ran), results

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1000.0)
    try:
        for size in (20_000, 100_000, 300_000):
            ran, results = attempt(size)
            if ran:
                break
    finally:
        sys.setswitchinterval(interval)
    return ran, results


class TestConstruction:
    def test_schema_by_position_and_by_keyword(self, schema):
        assert repr(Morvane(schema)) == "Morvane()"
        assert repr(Morvane(schema=schema)) == "Morvane()"

    @pytest.mark.parametrize(
        ("args", "kwargs", "message"),
        [
            ((), {}, "Morvane.__new__() missing 1 required positional argument: 'schema'"),
            ((3,), {}, "argument 'schema': 'int' object cannot be converted to 'Schema'"),
            (({},), {}, "argument 'schema': 'dict' object cannot be converted to 'Schema'"),
            ((None,), {}, "argument 'schema': 'NoneType' object cannot be converted to 'Schema'"),
            ((), {"nodes": {}}, "Morvane.__new__() got an unexpected keyword argument 'nodes'"),
        ],
    )
    def test_refused_arguments(self, args, kwargs, message):
        with pytest.raises(TypeError) as caught:
            Morvane(*args, **kwargs)
        assert str(caught.value) == message

    def test_extra_argument_refused(self, schema):
        with pytest.raises(TypeError, match=r"^Morvane\.__new__\(\) takes 1 positional argument"):
            Morvane(schema, schema)
        with pytest.raises(TypeError, match=r"got multiple values for argument 'schema'"):
            Morvane(schema, schema=schema)

    def test_validator_outlives_its_schema(self):
        merged = Schema({"A": ["x"]}, {}).merge(Schema({"B": []}, {"R": ("A", "B", ["w"])}))
        validator = Morvane(merged)
        del merged
        assert validator.validate("MATCH (a:A)-[r:R]->(b:B) RETURN a.x, r.w").is_valid
        assert not validator.validate("MATCH (c:C) RETURN c").is_valid


class TestSchemaAttribute:
    def test_each_read_is_a_new_object_with_the_constructor_content(self, schema, validator):
        first, second = validator.schema, validator.schema
        assert isinstance(first, Schema) and isinstance(second, Schema)
        assert first is not second and first is not schema
        assert first.to_dict() == second.to_dict() == schema.to_dict()
        assert first.node_labels() == ["Movie", "Person"]
        assert first.rel_endpoints("ACTED_IN") == ("Person", "Movie")
        assert first.node_properties("Person") == ["age", "name"]
        assert first.rel_properties("ACTED_IN") == ["role"]

    def test_schema_read_outlives_the_validator(self, schema):
        validator = Morvane(schema)
        read = validator.schema
        del validator
        gc.collect()
        assert read.to_dict() == schema.to_dict()

    def test_read_only(self, schema, validator):
        with pytest.raises(AttributeError):
            validator.schema = schema
        with pytest.raises(AttributeError):
            del validator.schema
        assert Morvane.schema.__doc__ == "The schema this validator was constructed with."


class TestValidate:
    def test_returns_a_new_result_each_call(self, validator):
        first = validator.validate("MATCH (p:Persn) RETURN p")
        second = validator.validate(query="MATCH (p:Persn) RETURN p")
        assert isinstance(first, ValidationResult)
        assert first is not second
        assert first.to_json() == second.to_json()
        assert first.fixed_query == "MATCH (p:Person) RETURN p"

    def test_str_subclass_accepted(self, validator):
        class Query(str):
            pass

        assert validator.validate(Query("MATCH (p:Person) RETURN p.name")).is_valid

    @pytest.mark.parametrize(
        ("args", "kwargs", "message"),
        [
            ((3,), {}, "argument 'query': 'int' object cannot be converted to 'PyString'"),
            ((None,), {}, "argument 'query': 'NoneType' object cannot be converted to 'PyString'"),
            ((b"RETURN 1",), {}, "argument 'query': 'bytes' object cannot be converted to 'PyString'"),
            ((["RETURN 1"],), {}, "argument 'query': 'list' object cannot be converted to 'PyString'"),
            ((), {}, "Morvane.validate() missing 1 required positional argument: 'query'"),
            (("RETURN 1", "RETURN 2"), {}, "Morvane.validate() takes 1 positional argument but 2 were given"),
            ((), {"q": "RETURN 1"}, "Morvane.validate() got an unexpected keyword argument 'q'"),
        ],
    )
    def test_refused_arguments(self, validator, args, kwargs, message):
        with pytest.raises(TypeError) as caught:
            validator.validate(*args, **kwargs)
        assert str(caught.value) == message

    def test_self_must_be_a_validator(self):
        with pytest.raises(TypeError):
            Morvane.validate(object(), "RETURN 1")

    @pytest.mark.parametrize("query", ["\ud800", "MATCH (n:Person) RETURN '\udfff'"])
    def test_lone_surrogate_raises_unicode_encode_error(self, validator, query):
        with pytest.raises(UnicodeEncodeError):
            validator.validate(query)
        with pytest.raises(UnicodeEncodeError):
            validator.validate_batch(["RETURN 1", query])

    def test_repr(self, validator):
        assert repr(validator) == "Morvane()"
        assert repr(Morvane(Schema({}, {}))) == "Morvane()"


class TestValidateBatch:
    def test_validate_batch_docstring(self):
        assert Morvane.validate_batch.__text_signature__ == "($self, queries)"
        assert Morvane.validate_batch.__doc__ == (
            "Validate multiple queries at once and return one ``ValidationResult`` per query.\n"
            "\n"
            "Queries are validated in parallel (on a pool of worker threads) and the Python GIL"
            " is released\n"
            "for the duration of the batch, so other Python threads (e.g. asyncio event loop)\n"
            "are not blocked."
        )

    def test_empty_list(self, validator):
        assert validator.validate_batch([]) == []
        assert validator.validate_batch(queries=()) == []

    def test_same_query_twice_gives_distinct_equal_results(self, validator):
        first, second = validator.validate_batch(["MATCH (p:Persn) RETURN p"] * 2)
        assert first is not second
        assert first.to_json() == second.to_json()
        assert first.errors == ["Unknown node label: :Persn, did you mean :Person?"]

    def test_thousand_queries_keep_their_positions(self, validator):
        # Even positions break the schema and odd ones do not; each query carries its index so
        # a result that lands in the wrong slot shows.
        queries = [
            f"MATCH (p:Person) WHERE p.agee > {i} RETURN p"
            if i % 2 == 0
            else f"MATCH (p:Person) WHERE p.age > {i} RETURN p"
            for i in range(1000)
        ]
        results = validator.validate_batch(queries)
        assert len(results) == 1000
        assert [r.is_valid for r in results] == [i % 2 == 1 for i in range(1000)]
        assert [r.fixed_query for r in results[::2]] == [
            f"MATCH (p:Person) WHERE p.age > {i} RETURN p" for i in range(0, 1000, 2)
        ]

    @pytest.mark.parametrize(
        "container",
        [list, tuple, collections.UserList],
        ids=["list", "tuple", "UserList"],
    )
    def test_sequences_accepted(self, validator, container):
        queries = ["MATCH (p:Person) RETURN p", "MATCH (p:Persn) RETURN p"]
        results = validator.validate_batch(container(queries))
        assert as_json(results) == [validator.validate(q).to_json() for q in queries]

    @pytest.mark.parametrize(
        ("queries", "reason"),
        [
            ("MATCH (n) RETURN n", "Can't extract `str` to `Vec`"),
            ((q for q in ["RETURN 1"]), "'generator' object cannot be converted to 'Sequence'"),
            (["RETURN 1", None, "RETURN 2"], "'NoneType' object cannot be converted to 'PyString'"),
            (["RETURN 1", b"RETURN 2"], "'bytes' object cannot be converted to 'PyString'"),
            ({"RETURN 1": 1}, "'dict' object cannot be converted to 'Sequence'"),
            ({"RETURN 1"}, "'set' object cannot be converted to 'Sequence'"),
            (None, "'NoneType' object cannot be converted to 'Sequence'"),
            (b"RETURN 1", "'int' object cannot be converted to 'PyString'"),
        ],
        ids=["str", "generator", "None item", "bytes item", "dict", "set", "None", "bytes"],
    )
    def test_refused_arguments(self, validator, queries, reason):
        with pytest.raises(TypeError) as caught:
            validator.validate_batch(queries)
        assert str(caught.value) == f"argument 'queries': {reason}"

    def test_errors_raised_by_the_sequence(self, validator):
        class Faulty(collections.abc.Sequence):
            def __init__(self, error):
                self.error = error

            def __len__(self):
                return 3

            def __getitem__(self, index):
                if index == 1:
                    raise self.error
                if index >= 3:
                    raise IndexError(index)
                return "RETURN 1"

        with pytest.raises(ValueError, match="^boom$"):
            validator.validate_batch(Faulty(ValueError("boom")))
        with pytest.raises(TypeError) as caught:
            validator.validate_batch(Faulty(TypeError("no item here")))
        assert str(caught.value) == "argument 'queries': no item here"

    def test_batch_equals_one_by_one(self, validator):
        queries = VARIED * 20
        expected = [validator.validate(q).to_json() for q in queries]
        assert as_json(validator.validate_batch(queries)) == expected

    def test_interpreter_lock_released_during_batch(self, validator):
        ran, results = beside_batch(validator, lambda size: [VARIED[7]] * size, lambda: None)
        assert ran, "no other thread ran while the batches ran"
        assert {r.to_json() for r in results} == {validator.validate(VARIED[7]).to_json()}

    def test_changing_the_caller_list_during_batch(self, validator):
        # Every text is its own object held only by the list, so clearing the list while the
        # batch runs would free texts the batch still reads unless it holds them itself.
        def make(size):
            return [f"MATCH (p:Person) WHERE p.agee > {i} RETURN p" for i in range(size)]

        batches, filler = [], []

        def change():
            batches[-1][:] = ["RETURN 1"] * 10
            gc.collect()
            # Other texts move into the memory that the cleared ones gave back.
            filler.extend(f"MATCH (x:Other) RETURN x.k{i}" for i in range(50_000))

        def make_and_keep(size):
            batches.append(make(size))
            return batches[-1]

        ran, results = beside_batch(validator, make_and_keep, change)
        assert ran, "no other thread ran while the batches ran"
        assert [r.fixed_query for r in results] == [
            q.replace("agee", "age") for q in make(len(results))
        ]

    @pytest.mark.parametrize("shared", [True, False], ids=["same validator", "two validators"])
    def test_concurrent_batches_and_validate(self, schema, shared):
        first = Morvane(schema)
        second = first if shared else Morvane(Schema({"Person": ["name"], "Film": []}, {}))
        queries = VARIED[:16] * 300
        expected_first = [first.validate(q).to_json() for q in queries]
        expected_second = [second.validate(q).to_json() for q in queries]
        assert shared or expected_first != expected_second

        barrier = threading.Barrier(3)
        done = [threading.Event(), threading.Event()]
        results = {}
        single_checks = []

        def batch(slot, validator):
            def body():
                barrier.wait()
                try:
                    results[slot] = as_json(validator.validate_batch(queries))
                finally:
                    done[slot].set()

            return body

        def singles():
            barrier.wait()
            query = "MATCH (p:Persn) RETURN p.nme"
            expected = first.validate(query).to_json()
            while True:
                single_checks.append(first.validate(query).to_json() == expected)
                if all(event.is_set() for event in done):
                    break

        run_threads(batch(0, first), batch(1, second), singles)
        assert results[0] == expected_first
        assert results[1] == expected_second
        assert single_checks and all(single_checks)


@linux_only
class TestWorkerPoolProcess:
    def test_refused_batch_starts_no_work(self):
        proc = run_python(
            """
            refused = 0
            for bad in ["RETURN 1", (q for q in queries), queries[:3] + [None]]:
                try:
                    validator.validate_batch(bad)
                except TypeError:
                    refused += 1
            print(refused, threads())
            print(batch_ok(), threads())
            """,
            RAYON_NUM_THREADS="2",
        )
        assert (proc.returncode, proc.stderr) == (0, "")
        assert proc.stdout == "3 1\nTrue 3\n"

    @pytest.mark.parametrize("parent_busy", [
        pytest.param(False, id="parent idle"),
        pytest.param(True, id="parent busy", marks=pytest.mark.skipif(
            "libasan" in Path("/proc/self/maps").read_text(),
            reason="the sanitizer's allocator is not fork-safe: a child forked while another "
                   "thread allocates can deadlock inside it")),
    ])
    def test_batch_in_forked_child(self, parent_busy):
        # A child that deadlocks ends on SIGALRM instead of hanging the test.
        proc = run_python(
            f"""
            import signal, threading
            assert batch_ok()
            stop = threading.Event()
            def keep_busy():
                while not stop.is_set():
                    validator.validate_batch(queries)
            busy = threading.Thread(target=keep_busy)
            if {parent_busy}:
                busy.start()
            pid = os.fork()
            if pid == 0:
                signal.alarm(120)
                os._exit(0 if batch_ok() and batch_ok() else 3)
            _, status = os.waitpid(pid, 0)
            stop.set()
            if busy.is_alive():
                busy.join()
            print(os.waitstatus_to_exitcode(status), batch_ok())
            """,
            "-W",
            "ignore::DeprecationWarning",
        )
        assert (proc.returncode, proc.stderr) == (0, "")
        assert proc.stdout == "0 True\n"

    @pytest.fixture(scope="class")
    def default_workers(self):
        proc = run_python("before = threads(); assert batch_ok(); print(threads() - before)")
        assert (proc.returncode, proc.stderr) == (0, "")
        return int(proc.stdout)

    @pytest.mark.parametrize(
        ("env", "workers"),
        [
            ({"RAYON_NUM_THREADS": "1"}, 1),
            ({"RAYON_NUM_THREADS": "+2"}, 2),
            ({"RAYON_NUM_THREADS": "3", "RAYON_RS_NUM_CPUS": "2"}, 3),
            ({"RAYON_NUM_THREADS": "0"}, None),
            ({"RAYON_NUM_THREADS": "0", "RAYON_RS_NUM_CPUS": "2"}, None),
            ({"RAYON_NUM_THREADS": "abc"}, None),
            ({"RAYON_NUM_THREADS": "abc", "RAYON_RS_NUM_CPUS": "3"}, 3),
            ({"RAYON_NUM_THREADS": " 2", "RAYON_RS_NUM_CPUS": "+3"}, 3),
            ({"RAYON_NUM_THREADS": "-1"}, None),
            ({"RAYON_NUM_THREADS": ""}, None),
            ({"RAYON_RS_NUM_CPUS": "2"}, 2),
            ({"RAYON_RS_NUM_CPUS": "0"}, None),
            ({"RAYON_RS_NUM_CPUS": "x"}, None),
        ],
        ids=lambda value: repr(value) if isinstance(value, dict) else None,
    )
    def test_pool_size_from_environment(self, default_workers, env, workers):
        # None: the number of processors available to the process, as with neither variable.
        proc = run_python(
            "before = threads(); print(batch_ok(), batch_ok(), threads() - before)", **env
        )
        assert (proc.returncode, proc.stderr) == (0, "")
        expected = default_workers if workers is None else workers
        assert proc.stdout == f"True True {expected}\n"

    def test_clean_exit_with_idle_pool(self):
        proc = run_python("print(batch_ok())")
        assert (proc.returncode, proc.stderr, proc.stdout) == (0, "", "True\n")

    def test_clean_exit_with_pool_never_started(self):
        proc = run_python(
            """
            assert [validator.validate(q).to_json() for q in queries] == expected
            print(threads())
            """
        )
        assert (proc.returncode, proc.stderr, proc.stdout) == (0, "", "1\n")
