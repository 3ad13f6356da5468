"""Memory or stack running out inside a call: the call raises MemoryError or RecursionError (or
gives the nesting error), the process lives on, and the next call works."""

import ctypes
import json
import os
import subprocess
import sys
import threading
from pathlib import Path

import pytest

import _morvane

# ---- The C++ runtime's exception state ----

# glibc's request for the calling thread's block of a library's thread-local storage, which
# gives null while that block is not allocated (<dlfcn.h>).
RTLD_DI_TLS_DATA = 10
_dlinfo = ctypes.CDLL(None).dlinfo
_dlinfo.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_void_p]
_cxx_runtime = ctypes.CDLL("libstdc++.so.6", mode=os.RTLD_NOLOAD | os.RTLD_LAZY)


def _exception_state_made():
    """Whether the calling thread has the C++ runtime's thread-local block, where a throw finds
    the thread's exception state."""
    block = ctypes.c_void_p()
    assert _dlinfo(_cxx_runtime._handle, RTLD_DI_TLS_DATA, ctypes.byref(block)) == 0
    return block.value is not None


def _on_new_thread(call):
    """Runs `call` on a new thread and returns what it returned."""
    returned = []
    thread = threading.Thread(target=lambda: returned.append(call()))
    thread.start()
    thread.join()
    (value,) = returned
    return value


@pytest.fixture(scope="module")
def exception_state_made():
    if _on_new_thread(_exception_state_made):
        pytest.skip("the C++ runtime's thread-local storage is made with every thread here")
    return _exception_state_made


# One call of each kind that gives a result and throws nothing.
ENTRIES = {
    "validate": lambda validator: validator.validate("MATCH (p:Persn) RETURN p.nme"),
    "validate_batch": lambda validator: validator.validate_batch(["RETURN 1"] * 100),
    "parse_query": lambda validator: _morvane.parse_query("MATCH (n) RETURN n"),
    "Schema": lambda validator: _morvane.Schema({"Person": ["name"]}, {}),
    "schema attribute": lambda validator: validator.schema,
}


@pytest.mark.parametrize("entry", ENTRIES)
def test_a_call_makes_the_calling_threads_exception_state(exception_state_made, entry):
    validator = _morvane.Morvane(_morvane.Schema({"Person": ["name"]}, {}))

    def call():
        ENTRIES[entry](validator)
        return exception_state_made()

    assert _on_new_thread(call)


# ---- Threads refused memory ----

REFUSING_MALLOC = os.environ.get("MORVANE_REFUSING_MALLOC")
needs_refusing_malloc = pytest.mark.skipif(
    REFUSING_MALLOC is None, reason="the refusing allocator comes with builds without sanitizers")


def _run_refused(script, *args):
    """Runs `script` with the refusing allocator loaded; returns what it printed, as JSON."""
    environment = dict(os.environ, LD_PRELOAD=REFUSING_MALLOC)
    done = subprocess.run([sys.executable, "-c", script, *args], env=environment,
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    return json.loads(done.stdout)


REFUSING_PRELUDE = """
import ctypes, json, os, sys, threading, _morvane
refuse = ctypes.CDLL(os.environ["LD_PRELOAD"]).refuse_other_threads
validator = _morvane.Morvane(_morvane.Schema({"Person": ["name"]}, {}))
queries = ["MATCH (p:Persn) RETURN p.nme"] * 20_000
"""

# Batches run while the pool's threads get no memory; each gives its results (the number) or
# MemoryError. argv[1] says when the pool starts: "before" refusal, or "refused" (its threads
# cannot even make their exception state). Then a batch with memory for all.
REFUSED_POOL_SCRIPT = REFUSING_PRELUDE + """
if sys.argv[1] == "before":
    validator.validate_batch(["RETURN 1"] * 100)
outcomes = []
for _ in range(10):
    refuse(1)
    try:
        outcomes.append(len(validator.validate_batch(queries)))
    except MemoryError:
        outcomes.append("MemoryError")
    finally:
        refuse(0)
print(json.dumps([outcomes, len(validator.validate_batch(queries))]))
"""


@needs_refusing_malloc
def test_pool_threads_out_of_memory_make_a_batch_raise_memory_error():
    outcomes, after = _run_refused(REFUSED_POOL_SCRIPT, "before")
    assert set(outcomes) <= {"MemoryError", 20_000} and "MemoryError" in outcomes
    assert after == 20_000


@needs_refusing_malloc
def test_pool_threads_that_start_without_memory_leave_the_batch_to_the_calling_thread():
    outcomes, after = _run_refused(REFUSED_POOL_SCRIPT, "refused")
    assert outcomes == [20_000] * 10
    assert after == 20_000


# A new thread makes its first call into the module while it gets no memory, then, with memory
# back, calls again. Memory is refused only once the thread waits, past its own start.
REFUSED_CALLER_SCRIPT = REFUSING_PRELUDE + """
waiting, go, done = threading.Lock(), threading.Lock(), threading.Lock()
for lock in (waiting, go, done):
    lock.acquire()
outcomes = [None, None]
def run():
    waiting.release()
    go.acquire()
    try:
        outcomes[0] = validator.validate(queries[0]).is_valid
    except MemoryError:
        outcomes[0] = "MemoryError"
    done.release()
    go.acquire()
    outcomes[1] = validator.validate(queries[0]).is_valid
thread = threading.Thread(target=run)
thread.start()
waiting.acquire()
refuse(1); go.release(); done.acquire(); refuse(0); go.release()
thread.join()
print(json.dumps(outcomes))
"""


@needs_refusing_malloc
def test_a_first_call_without_memory_raises_memory_error_and_the_next_works():
    assert _run_refused(REFUSED_CALLER_SCRIPT) == ["MemoryError", False]


# ---- Address space capped ----

# Batches of growing size under an address-space limit 64 MiB above what the process holds; each
# gives its results or MemoryError. argv[1] says when the pool starts: "before" the limit, or
# "under" it. Prints the outcomes (the number of results, 0 for MemoryError).
CAPPED_SCRIPT = """
import json, resource, sys, _morvane
validator = _morvane.Morvane(_morvane.Schema(
    {"Person": ["name", "age"]}, {"KNOWS": ("Person", "Person", ["since"])}))
if sys.argv[1] == "before":
    validator.validate_batch(["RETURN 1"] * 100)
with open("/proc/self/status") as status:
    vm = next(int(line.split()[1]) * 1024 for line in status if line.startswith("VmSize"))
resource.setrlimit(resource.RLIMIT_AS,
                   (vm + (64 << 20), resource.getrlimit(resource.RLIMIT_AS)[1]))
queries = (["MATCH (p:Persn)-[:KNOWS]->(q:Person) RETURN p.nme, q.agee"] * 1000 +
           ["MATCH (n RETURN n"] * 1000)
outcomes = []
for size in [int(size) for size in sys.argv[2:]]:
    try:
        outcomes.append(len(validator.validate_batch(queries * size)))
    except MemoryError:
        outcomes.append(0)
print(json.dumps(outcomes))
"""


def _under_address_sanitizer():
    return "libasan" in Path("/proc/self/maps").read_text()


@pytest.mark.skipif(
    _under_address_sanitizer(), reason="the sanitizer reserves terabytes of address space"
)
@pytest.mark.parametrize("pool, sizes, runs", [
    ("before", (1, 10, 100, 1000, 100, 1000), 5),
    # Under the limit the threads' allocations are slow: fewer and smaller batches.
    ("under", (1, 10, 100), 1),
])
def test_batches_under_an_address_space_limit_give_results_or_memory_error(pool, sizes, runs):
    for _ in range(runs):
        done = subprocess.run(
            [sys.executable, "-c", CAPPED_SCRIPT, pool, *map(str, sizes)],
            capture_output=True, text=True, timeout=300)
        assert done.returncode == 0, done.stderr
        outcomes = json.loads(done.stdout)
        assert all(outcome in (0, 2000 * size) for outcome, size in zip(outcomes, sizes))
        assert outcomes[0] == 2000 and 0 in outcomes


# ---- A nearly full stack ----

# On threads with small stacks, validate_batch and Schema are re-entered from the iteration of
# their input, level after level, and at every level each kind of call is made. Prints, per
# stack size, the outcomes seen: a call gives the result it gives on the main thread, the
# nesting error, or RecursionError; the outermost call gives its result or RecursionError, or,
# for Schema, the TypeError that a property list failing to be read gives.
REENTRY_SCRIPT = """
import json, threading, _morvane
validator = _morvane.Morvane(_morvane.Schema({"Person": ["name"]}, {}))
query = "MATCH (p:Person) RETURN " + "(" * 200 + "p.name" + ")" * 200
expected = validator.validate(query).to_json()

def outcome(call):
    try:
        return call()
    except RecursionError as error:
        assert str(error).startswith("maximum recursion depth exceeded"), error
        return "RecursionError"
    except TypeError as error:
        assert str(error) == "Expected list[str] for node properties of label 'Person'", error
        return "TypeError"

def validated(result):
    if result.to_json() == expected:
        return "same"
    assert any("query nested deeper" in error for error in result.syntax_errors), result
    return "too deep"

def parsed(info):
    if info.is_valid:
        return "same"
    assert "query nested deeper" in info.errors[0], info
    return "too deep"

CALLS = [
    lambda: validated(validator.validate(query)),
    lambda: validated(validator.validate_batch([query])[0]),
    lambda: parsed(_morvane.parse_query(query)),
    lambda: _morvane.Schema({"Person": ["name"]}, {}).node_labels() == ["Person"] and "same",
]

class Queries(list):
    def __init__(self, level):
        super().__init__(["RETURN 1"])
        self.level = level

    def __iter__(self):
        seen.update(outcome(call) for call in CALLS)
        if self.level < 60:
            validator.validate_batch(Queries(self.level + 1))
        return super().__iter__()

class Properties(list):
    def __init__(self, level):
        super().__init__(["name"])
        self.level = level

    def __iter__(self):
        seen.update(outcome(call) for call in CALLS)
        if self.level < 60:
            _morvane.Schema({"Person": Properties(self.level + 1)}, {})
        return super().__iter__()

OUTERMOST = {
    "validate_batch": lambda: len(validator.validate_batch(Queries(0))) == 1 and "same",
    "Schema": lambda: _morvane.Schema({"Person": Properties(0)}, {}).node_labels() == ["Person"]
                      and "same",
}

report = {}
for size in (32, 64, 128):
    threading.stack_size(size * 1024)
    for entry, call in OUTERMOST.items():
        seen = set()
        thread = threading.Thread(target=lambda: seen.add("outermost " + outcome(call)))
        thread.start()
        thread.join()
        report[f"{entry} {size}"] = sorted(seen)
print(json.dumps(report))
"""


def test_calls_re_entered_on_a_small_stack_raise_recursion_error_not_crash():
    done = subprocess.run([sys.executable, "-c", REENTRY_SCRIPT], capture_output=True,
                          text=True, timeout=600)
    assert done.returncode == 0, done.stderr
    report = json.loads(done.stdout)
    outcomes = {"same", "too deep", "RecursionError"}
    outermost = {"outermost same", "outermost RecursionError"}
    for size in (32, 64, 128):
        assert set(report[f"validate_batch {size}"]) <= outcomes | outermost, report
        assert set(report[f"Schema {size}"]) <= outcomes | outermost | {"outermost TypeError"}
    assert "outermost RecursionError" in report["validate_batch 64"], report
    assert "RecursionError" in report["Schema 64"], report
