"""Morvane.validate_batch: agreement with the core and with validate, thread safety, the size of
the worker pool, deep nesting on the pool's threads, and arbitrary text."""
import gc
import json
import os
import subprocess
import sys
import threading
from pathlib import Path

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import _morvane

ROOT = Path(__file__).resolve().parents[2]
CORPUS = ROOT / "corpus" / "queries.txt"
SEPARATOR = ";;;;"

# Names the corpus uses, some of them on purpose a letter away from the corpus's own (Moive,
# released_on, ACTS_IN), so that validation finds unknown names with suggestions and fixes.
CORPUS_NODES = {
    "Person": ["name", "age", "email", "city", "born", "nickname"],
    "User": ["email", "name", "visits"],
    "Moive": ["title", "released_on"],
    "City": ["name", "country"],
    "Product": ["sku", "name", "price"],
    "Order": ["id", "status", "total"],
    "Company": ["id", "name"],
    "Employee": ["name"],
    "Account": ["id"],
}
CORPUS_RELATIONSHIPS = {
    "KNOWS": ("Person", "Person", ["since"]),
    "ACTS_IN": ("Person", "Moive", ["role"]),
    "LIVES_IN": ("Person", "City", ["since"]),
    "WORKS_AT": ("Employee", "Company", []),
    "RATED": ("User", "Moive", ["stars"]),
    "TRANSFER": ("Account", "Account", ["amount"]),
}


def load_corpus(path):
    """The corpus's queries: each ends with a line holding exactly the separator (the last may
    end with the file instead); a query is its lines joined by newlines; empty ones are skipped."""
    text = path.read_bytes().decode("utf-8")
    lines = text.split("\n")
    if text.endswith("\n"):
        lines.pop()  # the final line break ends the last line; it starts no new one
    queries, current = [], []
    for line in lines:
        if line == SEPARATOR:
            queries.append("\n".join(current))
            current = []
        else:
            current.append(line)
    queries.append("\n".join(current))
    return [query for query in queries if query]


@pytest.fixture(scope="module")
def corpus():
    queries = load_corpus(CORPUS)
    assert len(queries) > 100
    return queries


@pytest.fixture(scope="module")
def corpus_schema():
    return _morvane.Schema(CORPUS_NODES, CORPUS_RELATIONSHIPS)


@pytest.fixture(scope="module")
def validator(corpus_schema):
    return _morvane.Morvane(corpus_schema)


@pytest.fixture(scope="module")
def expected(validator, corpus):
    """Each corpus query's to_json, validated one after another."""
    return [validator.validate(query).to_json() for query in corpus]


def cypher_dump():
    entries = os.environ.get("PYTHONPATH", "").split(os.pathsep)
    tool = Path(entries[0]) / "cypher-dump" if entries[0] else None
    if tool is None or not os.access(tool, os.X_OK):
        pytest.skip("cypher-dump is not beside the module on PYTHONPATH")
    return tool


class TestAgreement:
    def test_corpus_loader_keeps_line_breaks_and_tabs(self, corpus):
        # The corpus holds queries that end with a line break and queries with tabs; a loader
        # that lost them would compare other texts than the core's.
        assert any(query.endswith("\n") for query in corpus)
        assert any("\t" in query for query in corpus)

    def test_results_cover_valid_invalid_and_fixed(self, validator, corpus):
        results = [validator.validate(query) for query in corpus]
        assert any(result.is_valid for result in results)
        assert any(result.syntax_errors for result in results)
        assert any(result.semantic_errors and result.fixed_query for result in results)
        assert any(result.warnings for result in results)
        fixed = [result.fixed_query for result in results if result.fixed_query is not None]
        assert [query for query in fixed if not _morvane.parse_query(query).is_valid] == []

    def test_validate_matches_the_core_tool(self, corpus_schema, validator, corpus, tmp_path):
        tool = cypher_dump()
        schema_file = tmp_path / "schema.json"
        schema_file.write_text(corpus_schema.to_json(), encoding="utf-8")
        # One process per query: an evenly spread sample of about 100 keeps this quick, with every
        # query whose bytes are easiest to lose on the way (line breaks, tabs, non-ASCII text).
        step = max(1, len(corpus) // 100)
        sample = [
            query
            for number, query in enumerate(corpus)
            if number % step == 0 or "\n" in query or "\t" in query or not query.isascii()
        ]
        for query in sample:
            done = subprocess.run(
                [tool, "validate", schema_file],
                input=query.encode("utf-8"),
                capture_output=True,
                check=True,
            )
            printed = done.stdout.decode("utf-8").removesuffix("\n")
            assert validator.validate(query).to_json() == printed, query

    def test_batch_of_the_corpus_equals_validate(self, validator, corpus, expected):
        results = validator.validate_batch(corpus)
        assert [result.to_json() for result in results] == expected
        # The results are full objects, not only their JSON.
        for result, query in zip(results, corpus):
            assert surface(result) == surface(validator.validate(query)), query

    def test_results_outlive_their_batch(self, validator, corpus, expected):
        # Results share storage with the others of their batch; a few kept alone must still
        # read the same once the rest are gone and later batches have run.
        repeats = 20
        batch = corpus * repeats
        kept = validator.validate_batch(batch)[::97]
        gc.collect()
        for _ in range(3):
            assert len(validator.validate_batch(batch)) == len(batch)
        for index, result in zip(range(0, len(batch), 97), kept):
            assert result.to_json() == expected[index % len(corpus)]
            assert surface(result) == surface(validator.validate(batch[index]))


def surface(result):
    """Everything a ValidationResult shows, its diagnostics' fields included."""
    diagnostics = [(repr(d), d.to_dict()) for d in result.diagnostics]
    return (repr(result), bool(result), len(result), result.errors, result.syntax_errors,
            result.semantic_errors, result.warnings, result.fixed_query, result.to_dict(),
            diagnostics)


def test_threads_mixing_validate_and_batch_agree_with_sequential(validator, corpus, expected):
    threads = 8
    rounds = 100
    barrier = threading.Barrier(threads)
    failures = []

    def work(worker):
        try:
            barrier.wait()
            for turn in range(rounds):
                # A batch of a slice of the corpus, then single queries from another place in it.
                start = (worker * 37 + turn * 61) % len(corpus)
                order = [(start + i) % len(corpus) for i in range(80)]
                got = validator.validate_batch([corpus[i] for i in order])
                if [result.to_json() for result in got] != [expected[i] for i in order]:
                    failures.append((worker, turn, "batch"))
                for i in range(turn, len(corpus), 50):
                    if validator.validate(corpus[i]).to_json() != expected[i]:
                        failures.append((worker, turn, corpus[i]))
        except Exception as error:  # noqa: BLE001 - reported below with the thread's number
            failures.append((worker, repr(error)))

    workers = [threading.Thread(target=work, args=(i,)) for i in range(threads)]
    for thread in workers:
        thread.start()
    for thread in workers:
        thread.join()
    assert failures == []


def cpu_quota_applies():
    """Whether a control-group CPU quota is set on this process's group or one above it."""
    try:
        groups = Path("/proc/self/cgroup").read_text().splitlines()
    except OSError:
        return True
    root = Path("/sys/fs/cgroup")
    for line in groups:
        _, controllers, path = line.split(":", 2)
        parts = [part for part in path.split("/") if part]
        if controllers == "":
            candidates = [(root, "cpu.max")]
        elif "cpu" in controllers.split(","):
            candidates = [(root / name, "cpu.cfs_quota_us") for name in ("cpu", "cpu,cpuacct")]
        else:
            continue
        for base, name in candidates:
            for depth in range(len(parts) + 1):
                quota_file = base.joinpath(*parts[:depth], name)
                try:
                    quota = quota_file.read_text().split()
                except OSError:
                    continue
                if quota and quota[0] not in ("max", "-1"):
                    return True
    return False


# Runs one batch and prints how many threads it started.
THREAD_COUNT_SCRIPT = """
import os, _morvane
validator = _morvane.Morvane(_morvane.Schema({"Person": ["name"]}, {}))
before = len(os.listdir("/proc/self/task"))
validator.validate_batch(["MATCH (p:Person) RETURN p.name"] * 64)
print(len(os.listdir("/proc/self/task")) - before)
"""

AVAILABLE = "available"


@pytest.mark.parametrize(
    "variables, size",
    [
        ({"RAYON_NUM_THREADS": "3"}, 3),
        ({"RAYON_NUM_THREADS": "+2"}, 2),
        ({"RAYON_NUM_THREADS": "0", "RAYON_RS_NUM_CPUS": "2"}, AVAILABLE),
        ({"RAYON_NUM_THREADS": "abc", "RAYON_RS_NUM_CPUS": "2"}, 2),
        ({"RAYON_NUM_THREADS": " 3", "RAYON_RS_NUM_CPUS": "+1"}, 1),
        ({"RAYON_NUM_THREADS": "3x", "RAYON_RS_NUM_CPUS": "-2"}, AVAILABLE),
        ({"RAYON_RS_NUM_CPUS": "0"}, AVAILABLE),
        ({}, AVAILABLE),
    ],
)
def test_pool_size_follows_the_environment(variables, size):
    env = {
        name: value
        for name, value in os.environ.items()
        if name not in ("RAYON_NUM_THREADS", "RAYON_RS_NUM_CPUS")
    }
    env.update(variables)
    done = subprocess.run(
        [sys.executable, "-c", THREAD_COUNT_SCRIPT],
        env=env,
        capture_output=True,
        text=True,
        check=True,
    )
    started = int(done.stdout)
    if size != AVAILABLE:
        assert started == size
    elif cpu_quota_applies():
        assert 1 <= started <= len(os.sched_getaffinity(0))
    else:
        assert started == len(os.sched_getaffinity(0))


# Shapes that nest: prefix, opening, innermost text, closing, suffix.
NESTING = {
    "foreach": ("", "FOREACH (x IN [1] | ", "CREATE (:Person {name: x})", ")", ""),
    "parentheses": ("MATCH (p:Person) RETURN ", "(", "p.name", ")", ""),
    "call": ("", "CALL { ", "MATCH (p:Person) RETURN p", " }", " RETURN 1"),
    "list_comprehension": ("MATCH (p:Person) RETURN ", "[x IN ", "[p.name]", " | x]", ""),
    "exists": ("MATCH (q) WHERE ", "EXISTS { (p:Person {name: ", "1", "}) }", " RETURN q"),
    "case": ("RETURN ", "CASE WHEN ", "true", " THEN 1 END", ""),
}


def nested(shape, levels):
    prefix, opening, inner, closing, suffix = NESTING[shape]
    return prefix + opening * levels + inner + closing * levels + suffix


def too_deep(result):
    return any("query nested deeper than 1000 levels" in error for error in result.syntax_errors)


@pytest.mark.parametrize("shape", NESTING)
def test_deepest_accepted_nesting_validates_on_pool_threads(shape):
    validator = _morvane.Morvane(_morvane.Schema({"Person": ["name"]}, {}))
    # Bisect for the deepest nesting the recognizer accepts; the limit counts rule calls, so no
    # shape gets past 1000 levels.
    accepted, refused = 1, 1001
    assert not validator.validate(nested(shape, accepted)).syntax_errors
    assert too_deep(validator.validate(nested(shape, refused)))
    while refused - accepted > 1:
        middle = (accepted + refused) // 2
        if too_deep(validator.validate(nested(shape, middle))):
            refused = middle
        else:
            accepted = middle
    deepest, deeper = nested(shape, accepted), nested(shape, refused)

    # Enough copies that the pool's workers, not only the calling thread, take some.
    results = validator.validate_batch([deepest, deeper] * 8)
    assert [r.to_json() for r in results[:2]] == [
        validator.validate(deepest).to_json(),
        validator.validate(deeper).to_json(),
    ]
    assert len({r.to_json() for r in results[::2]}) == 1
    assert len({r.to_json() for r in results[1::2]}) == 1
    assert not results[0].syntax_errors
    assert too_deep(results[1]) and not results[1].is_valid


# Text of every kind: any code point (NUL and lone surrogates among them), Cypher-looking
# fragments, and one fragment repeated thousands of times.
ANY_CHARACTER = st.characters(blacklist_categories=())
FRAGMENTS = st.sampled_from(
    ["(", ")", "[", "{", "MATCH (n:Person) ", "RETURN ", "'", "\\", "\x00", "\ud800", "é", "/*"]
)
TEXT = st.one_of(
    st.text(ANY_CHARACTER),
    st.lists(st.one_of(FRAGMENTS, st.text(ANY_CHARACTER, max_size=5)), max_size=30).map("".join),
    st.builds(
        lambda part, times: part * times,
        st.one_of(FRAGMENTS, st.text(ANY_CHARACTER, min_size=1, max_size=12)),
        st.integers(1000, 5000),
    ),
)


def outcome(validator, query):
    try:
        return validator.validate(query).to_json()
    except UnicodeEncodeError:
        return UnicodeEncodeError


@settings(max_examples=60, deadline=None)
@given(queries=st.lists(TEXT, max_size=8))
def test_arbitrary_text_gives_a_result_and_batches_agree(validator, queries):
    outcomes = [outcome(validator, query) for query in queries]
    for query, result in zip(queries, outcomes):
        has_surrogate = any(0xD800 <= ord(char) <= 0xDFFF for char in query)
        assert (result is UnicodeEncodeError) == has_surrogate
        if result is not UnicodeEncodeError:
            assert json.loads(result)["is_valid"] in (True, False)
    if UnicodeEncodeError in outcomes:
        with pytest.raises(UnicodeEncodeError):
            validator.validate_batch(queries)
    else:
        assert [r.to_json() for r in validator.validate_batch(queries)] == outcomes


# ---- The sequence's length ----


class ClaimedLength:
    """Three queries, with a __len__ that raises `error`."""

    def __init__(self, error):
        self.error = error

    def __len__(self):
        raise self.error

    def __getitem__(self, i):
        if i >= 3:
            raise IndexError(i)
        return "RETURN 1"


@pytest.mark.parametrize("error", [KeyboardInterrupt(), SystemExit(3), MemoryError()],
                         ids=lambda error: type(error).__name__)
def test_interrupt_exit_and_memory_errors_of_the_length_reach_the_caller(validator, error):
    with pytest.raises(type(error)) as caught:
        validator.validate_batch(ClaimedLength(error))
    assert caught.value is error


@pytest.mark.parametrize("error", [ValueError("no length"), TypeError("no length"),
                                   OverflowError("too long")],
                         ids=lambda error: type(error).__name__)
def test_other_errors_of_the_length_leave_the_items_to_count(validator, error):
    results = validator.validate_batch(ClaimedLength(error))
    assert [result.is_valid for result in results] == [True, True, True]


# ---- Interpreter exit ----

# A daemon thread runs batches while the interpreter exits; a finalizer keeps finalization busy
# long enough that the thread tries to take the lock back while it goes on, which ends the
# thread there. argv[1] says where the thread is then: "released" between the batch's work and
# taking the lock back, "called" in Python code that the batch calls to read its queries.
EXIT_SCRIPT = """
import gc, sys, threading, time, _morvane

validator = _morvane.Morvane(_morvane.Schema({}, {}))

class Queries:
    def __len__(self):
        return 50

    def __getitem__(self, i):
        if i >= 50:
            raise IndexError(i)
        time.sleep(0.001)
        return "MATCH (n) RETURN n"

queries = ["MATCH (n) RETURN n"] * 20_000 if sys.argv[1] == "released" else Queries()
started = threading.Event()

def run():
    while True:
        validator.validate_batch(queries)
        started.set()

threading.Thread(target=run, daemon=True).start()
started.wait()

class Slow:
    def __del__(self):
        time.sleep(1)

gc.set_threshold(10**9)
slow = Slow()
slow.cycle = slow
del slow
"""


@pytest.mark.parametrize("where", ["released", "called"])
def test_interpreter_exit_ends_a_thread_inside_a_batch_cleanly(where):
    done = subprocess.run([sys.executable, "-c", EXIT_SCRIPT, where], capture_output=True,
                          text=True, timeout=120)
    assert (done.returncode, done.stderr) == (0, "")


# ---- Small thread stacks ----

# Validates and parses every NESTING shape at several depths on threads with small stacks, and
# prints, per stack size, whether each result equals the main thread's or is the nesting error.
SMALL_STACK_SCRIPT = """
import json, sys, threading, _morvane
sys.path.insert(0, sys.argv[1])
from test_batch import NESTING, nested

validator = _morvane.Morvane(_morvane.Schema({"Person": ["name"]}, {}))
queries = [nested(shape, levels) for shape in NESTING for levels in (10, 60, 69, 200, 480)]
on_main = [validator.validate(q).to_json() for q in queries]
parsed_on_main = [_morvane.parse_query(q).is_valid for q in queries]

def outcome(result, expected):
    if result.to_json() == expected:
        return "same"
    (error,) = result.diagnostics
    assert error.code == "E101" and error.position_line is not None, result
    assert "query nested deeper than 1000 levels" in error.message, result
    return "too deep"

report = {}
for size in (32, 64, 128, 256):
    threading.stack_size(size * 1024)
    seen = []
    def run():
        for query, expected in zip(queries, on_main):
            seen.append(outcome(validator.validate(query), expected))
        batch = validator.validate_batch(queries)
        seen.extend(outcome(result, expected) for result, expected in zip(batch, on_main))
        for query, valid in zip(queries, parsed_on_main):
            info = _morvane.parse_query(query)
            seen.append("same" if info.is_valid == valid else
                        "too deep" if "query nested deeper" in info.errors[0] else "other")
    thread = threading.Thread(target=run)
    thread.start()
    thread.join()
    report[size] = sorted(set(seen))
print(json.dumps(report))
"""


def test_small_thread_stacks_get_the_nesting_error_not_a_crash():
    done = subprocess.run([sys.executable, "-c", SMALL_STACK_SCRIPT, str(Path(__file__).parent)],
                          capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stderr
    report = json.loads(done.stdout)
    assert set(report) == {"32", "64", "128", "256"}
    assert all(set(outcomes) <= {"same", "too deep"} for outcomes in report.values()), report
    assert "too deep" in report["32"]


# The same deep query many times in one batch, called from a thread with a small stack and
# from a main thread under a small stack limit: the calling thread, short of the room a worker
# has, leaves the work to the pool, so every copy gets the result the pool's threads give (the
# query fits their stacks), and so does a batch too small to wake a worker otherwise.
DEEP_BATCH_SCRIPT = """
import json, sys, threading, _morvane
validator = _morvane.Morvane(_morvane.Schema({"Person": ["name"]}, {}))
deep = "RETURN " + "(" * 69 + "1" + ")" * 69
seen = {}
def run():
    seen["large"] = sorted({r.to_json() for r in validator.validate_batch([deep] * 2000)})
    seen["small"] = sorted({r.to_json() for r in validator.validate_batch([deep, "RETURN 1"])})
if sys.argv[1] == "thread":
    threading.stack_size(128 * 1024)
    thread = threading.Thread(target=run)
    thread.start()
    thread.join()
else:
    run()
print(json.dumps(seen))
"""


def limit_main_stack():
    import resource
    resource.setrlimit(resource.RLIMIT_STACK, (128 << 10, resource.RLIM_INFINITY))


@pytest.mark.parametrize("caller", ["thread", "main"])
def test_a_caller_with_a_small_stack_gets_the_results_of_the_pool(caller):
    done = subprocess.run([sys.executable, "-c", DEEP_BATCH_SCRIPT, caller], capture_output=True,
                          text=True, timeout=300,
                          preexec_fn=limit_main_stack if caller == "main" else None)
    assert done.returncode == 0, done.stderr
    seen = json.loads(done.stdout)
    assert len(seen["large"]) == 1, seen
    assert json.loads(seen["large"][0])["is_valid"], seen
    assert len(seen["small"]) == 1 and json.loads(seen["small"][0])["is_valid"], seen


# Many one-query batches whose every result is kept, then a random half dropped, round after
# round, against the same results made by validate: a kept result holds its own memory and no
# mapping of the process, whatever the pattern of keeping.
CHURN_SCRIPT = """
import json, random, resource, sys, _morvane
validator = _morvane.Morvane(_morvane.Schema({"Person": ["name"]}, {}))
query = "MATCH (p:Persn) RETURN p.nme"
make = ((lambda: validator.validate_batch([query])[0]) if sys.argv[1] == "batch" else
        (lambda: validator.validate(query)))
def maps():
    with open("/proc/self/maps") as lines:
        return sum(1 for _ in lines)
make()
kept, rng, start = [], random.Random(1), maps()
for round in range(4):
    kept += [make() for _ in range(60_000)]
    rng.shuffle(kept)
    del kept[len(kept) // 2:]
print(json.dumps({"maps": maps() - start,
                  "rss": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024}))
"""


def test_results_kept_from_many_small_batches_hold_only_themselves():
    figures = {}
    for how in ("batch", "validate"):
        done = subprocess.run([sys.executable, "-c", CHURN_SCRIPT, how], capture_output=True,
                              text=True, timeout=300)
        assert done.returncode == 0, done.stderr
        figures[how] = json.loads(done.stdout)
    assert figures["batch"]["maps"] < 50, figures
    assert figures["batch"]["rss"] < 1.5 * figures["validate"]["rss"], figures


# Batches that need more and more memory under an address-space limit a little above what the
# process holds: each either gives its results or raises MemoryError. Prints the outcomes (the
# number of results, 0 for MemoryError). The pool is started first, as in a program whose pool
# lives on from batch to batch: a thread that the C library cannot even set up aborts in the
# C library, before any of the module's work.
MEMORY_LIMIT_SCRIPT = """
import resource, sys, _morvane
def vm_bytes():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmSize:"):
                return int(line.split()[1]) * 1024
validator = _morvane.Morvane(_morvane.Schema({"Person": ["name"]}, {}))
batches = [["MATCH (p:Persn) RETURN p.nme + " + " + ".join(["p.age"] * operands)] * 64
           for operands in (1_000, 20_000, 100_000, 300_000)]
validator.validate_batch(["RETURN 1"] * 64)
outcomes = []
resource.setrlimit(resource.RLIMIT_AS, (vm_bytes() + (40 << 20), resource.RLIM_INFINITY))
for batch in batches:
    try:
        outcomes.append(len(validator.validate_batch(batch)))
    except MemoryError:
        outcomes.append(0)
print(outcomes)
"""


def _under_address_sanitizer():
    return "libasan" in Path("/proc/self/maps").read_text()


@pytest.mark.skipif(
    _under_address_sanitizer(), reason="the sanitizer reserves terabytes of address space"
)
def test_memory_exhaustion_in_a_batch_raises_memory_error():
    for _ in range(3):
        done = subprocess.run(
            [sys.executable, "-c", MEMORY_LIMIT_SCRIPT], capture_output=True, text=True
        )
        assert done.returncode == 0, done.stderr
        outcomes = json.loads(done.stdout)
        assert outcomes[0] == 64
        assert 0 in outcomes
        assert set(outcomes) <= {0, 64}
