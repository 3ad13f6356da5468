"""Validation keeps no memory behind: once a first round has warmed the allocators, further
rounds of the same work leave the resident set where it was.

Each measurement runs this file as a script in a fresh interpreter whose worker pool has two
threads. Threads that allocate at once get malloc arenas of their own, so with a worker per
processor freed memory spreads over many heaps and the resident set steps up and down by
megabytes from round to round without any leak; with two workers it holds within a fraction of
a megabyte."""
import ctypes
import ctypes.util
import gc
import os
import subprocess
import sys
from pathlib import Path

import pytest

import _morvane

# The growth the rounds after the first may leave.
SLACK = 8 << 20
ROUNDS = 5

QUERIES = [
    "MATCH (p:Person {name: 'Alice'})-[:KNOWS]->(f:Person) WHERE f.age > 30 RETURN f.name",
    "MATCH (p:Persn)-[:KNOWZ]->(m:Movie) RETURN p.nmae, m.titel",
    "MATCH (p:Person) WITH p, count(*) AS c WHERE c > 1 RETURN p.name ORDER BY c DESC LIMIT 5",
    "UNWIND $rows AS row MERGE (p:Person {name: row.name}) SET p.age = row.age RETURN p",
    "MATCH (n RETURN n",
    "RETURN [x IN range(1, 10) WHERE x % 2 = 0 | x * x] AS squares, 'é\\u00e9' AS text",
    "MATCH (a:Person), (b:Movie) CREATE (a)-[:ACTED_IN {role: 'x', year: 1}]->(b) RETURN a, b",
]


def resident_bytes():
    for line in Path("/proc/self/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1]) * 1024
    raise RuntimeError("/proc/self/status has no VmRSS")


def settled_resident_bytes():
    """The resident set once Python's garbage is collected and free heap pages are returned."""
    gc.collect()
    libc = ctypes.util.find_library("c")
    trim = getattr(ctypes.CDLL(libc), "malloc_trim", None) if libc else None
    if trim is not None:
        trim(0)
    return resident_bytes()


def growth_after_first_round(work):
    """How far the resident set stands, after the last two rounds, above its level after the
    first. A leak raises it after every round; the heaps' ups and downs under a loaded machine
    (a few MiB now and then) rarely stand high after two rounds in a row, so the lower of the
    two is the measure."""
    work()
    baseline = settled_resident_bytes()
    levels = []
    for _ in range(ROUNDS - 1):
        work()
        levels.append(settled_resident_bytes())
    return min(levels[-2:]) - baseline


def make_validator():
    schema = _morvane.Schema(
        {"Person": ["name", "age"], "Movie": ["title"]},
        {"ACTED_IN": ("Person", "Movie", ["role"]), "KNOWS": ("Person", "Person", [])},
    )
    return _morvane.Morvane(schema)


def batches():
    validator = make_validator()
    queries = [QUERIES[i % len(QUERIES)] for i in range(100_000)]

    def round_of_batches():
        assert len(validator.validate_batch(queries)) == len(queries)

    return round_of_batches


def reads():
    validator = make_validator()

    def round_of_reads():
        for _ in range(6_000):
            for query in QUERIES:
                result = validator.validate(query)
                for diagnostic in result.diagnostics:
                    diagnostic.to_dict()
                    diagnostic.message
                result.to_dict()
                result.to_json()
                result.errors
                result.fixed_query

    return round_of_reads


WORKLOADS = {"batches": batches, "reads": reads}


def _under_address_sanitizer():
    return "libasan" in Path("/proc/self/maps").read_text()


@pytest.mark.skipif(
    _under_address_sanitizer(),
    # Its allocator keeps freed blocks in a quarantine of hundreds of megabytes and maps shadow
    # memory beside the heap; its own leak checks run in the C++ suites.
    reason="under AddressSanitizer the resident set is the sanitizer's",
)
@pytest.mark.parametrize("workload", WORKLOADS)
def test_repeated_rounds_leave_resident_memory_flat(workload):
    env = dict(os.environ, RAYON_NUM_THREADS="2")
    done = subprocess.run(
        [sys.executable, __file__, workload], env=env, capture_output=True, text=True, check=True
    )
    assert int(done.stdout) < SLACK


if __name__ == "__main__":
    print(growth_after_first_round(WORKLOADS[sys.argv[1]]()))
