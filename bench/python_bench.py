"""What the module's Python surface costs, measured from Python, beside the native figures.

Run with the built module on PYTHONPATH:

    PYTHONPATH=build-rel python3 bench/python_bench.py [--quick]

One run prints these sections:

1. The cost per call of the Schema, Morvane, parse_query and CypherGenerator entry points, on a
   schema of 20 labels of 10 properties and 30 relationship types of 3 properties (the same one
   bench/schema_bench.cc builds in C++).
2. Morvane.validate over every query of the corpus (corpus/queries.txt), on the schema
   bench/validate_bench.cc builds, against that program's BM_ValidateCorpus.
3. Morvane.validate_batch of corpus queries on 1, 2, 4 and 8 pool threads, each in a process of
   its own with RAYON_NUM_THREADS set (the pool is sized once, when first made), against a
   Python loop of validate over the same queries; then the same for batches of short queries of
   about 69 bytes, the kind a language model writes: a mix with 36% errors, valid ones only and
   ones with errors only.
4. ValidationResult.to_json and to_dict of a valid result, one with a suggestion and a syntax
   error.
5. The memory that one large batch takes, its results kept, in a process of its own: of corpus
   queries and of the mix of short queries. Then, each in a process of its own against the same
   results made by validate: one result kept from each of many one-query batches, and a
   pipeline of prompts giving 8 candidate queries each (5% invalid), validated as one batch,
   whose invalid results are kept.
6. Small batches: validate_batch of 1 to 4096 short queries (one in eight with errors) against a
   Python loop of validate over the same queries, per call.
7. parse_query over the corpus queries the parser accepts, against BM_ParseReusedCorpus of
   bench/parse_bench.cc (parse_query, too, keeps its recognizer from call to call).
8. CypherGenerator.generate_batch for each query type, on the wide schema of
   bench/generator_bench.cc, against that program's BM_GenerateWideSchema.

Python figures are medians of wall-clock timings: an operation runs in a loop long enough to take
20 ms, the loop being timed 15 times; a validation batch is timed alone 5 times, a generation
batch 9 times. The native figures come from the benchmark programs beside the module
(<module dir>/bench/...), run with --benchmark_format=json: the median of 9 repetitions, in
wall-clock time. When a program is absent, the command that gives its figure is printed instead.
--quick makes every section smaller, for a smoke run. Other work on the machine skews the
figures: the load average is printed before and after, and the quietest of a few runs is the one
to quote.
"""

import argparse
import json
import os
import platform
import random
import resource
import shlex
import statistics
import subprocess
import sys
import time
from itertools import cycle, islice, repeat

import _morvane
from _morvane import CypherGenerator, Morvane, Schema, parse_query

MODULE_DIR = os.path.dirname(os.path.abspath(_morvane.__file__))
CORPUS_PATH = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "corpus",
                           "queries.txt")

# Labels "Person", "Label01" ... "Label19", each with "property0" ... "property9"; types
# "TYPE_00" ... "TYPE_29", type i going from label i mod 20 to label (7i + 3) mod 20, each with
# "note", "since" and "weight".
LABELS = ["Person"] + [f"Label{i:02d}" for i in range(1, 20)]
NODES = {label: [f"property{j}" for j in range(10)] for label in LABELS}
RELATIONSHIPS = {
    f"TYPE_{i:02d}": (LABELS[i % 20], LABELS[(7 * i + 3) % 20], ["since", "weight", "note"])
    for i in range(30)
}

QUERY = (
    "MATCH (p:Person)-[r:TYPE_00]->(m:Label03) WHERE p.property1 = 'Ada' AND r.since > 2000 "
    "RETURN m.property2, r.weight LIMIT 10"
)
# The batch cycles through these: the typical query, a longer valid one, one with an unknown
# label and one that does not parse.
BATCH_QUERIES = [
    QUERY,
    "MATCH (a:Label05)-[:TYPE_05]->(b:Label18) RETURN a.property0, count(b) AS n ORDER BY n DESC",
    "MATCH (p:Persn) WHERE p.property4 IS NOT NULL RETURN p.property4",
    "MATCH (p:Person RETURN p",
]
BATCH_SIZE = 10_000

# The schema of bench/validate_bench.cc: 20 labels and 30 relationship types, every one with the
# same 10 properties.
VALIDATE_LABELS = [
    "Person", "Movie", "Company", "Product", "Order", "Review", "Tag", "City", "Country",
    "Account", "Device", "Event", "Genre", "Studio", "Supplier", "Invoice", "Ticket", "Project",
    "Team", "Document",
]
VALIDATE_TYPES = [
    ("ACTED_IN", "Person", "Movie"), ("DIRECTED", "Person", "Movie"),
    ("KNOWS", "Person", "Person"), ("WORKS_AT", "Person", "Company"),
    ("PLACED", "Account", "Order"), ("INCLUDES", "Order", "Product"),
    ("REVIEWED", "Person", "Review"), ("TAGGED", "Document", "Tag"),
    ("LIVES_IN", "Person", "City"), ("LOCATED_IN", "City", "Country"),
    ("OWNS", "Account", "Device"), ("USES", "Person", "Device"),
    ("ATTENDED", "Person", "Event"), ("IN_GENRE", "Movie", "Genre"),
    ("PRODUCED", "Studio", "Movie"), ("SUPPLIES", "Supplier", "Product"),
    ("BILLED_TO", "Invoice", "Account"), ("OPENED", "Account", "Ticket"),
    ("ASSIGNED", "Ticket", "Person"), ("MEMBER_OF", "Person", "Team"),
    ("WROTE", "Person", "Document"), ("FOLLOWS", "Account", "Account"),
    ("PURCHASED", "Account", "Product"), ("RATED", "Person", "Movie"),
    ("MANAGES", "Person", "Project"), ("REPORTS_TO", "Person", "Person"),
    ("SHIPPED_TO", "Order", "City"), ("LINKED_TO", "Document", "Document"),
    ("MENTIONS", "Review", "Product"), ("BELONGS_TO", "Project", "Team"),
]
VALIDATE_PROPERTIES = [
    "id", "name", "title", "age", "year", "score", "status", "created_at", "role", "since",
]

# Typical results for to_json and to_dict, against the schema of bench/validate_bench.cc.
RESULT_QUERIES = [
    ("valid", "MATCH (p:Person)-[r:ACTED_IN]->(m:Movie) WHERE m.year > 2000 AND p.age < 40 "
              "RETURN p.name, m.title, r.role ORDER BY m.year DESC LIMIT 10"),
    ("with a suggestion", "MATCH (p:Persn)-[:ACTED_IN]->(m:Movie) RETURN p.name, m.title"),
    ("syntax error", "MATCH (p:Person RETURN p.name"),
]

# The wide schema of bench/generator_bench.cc.
WIDE_NODES = {
    "Person": ["name", "age", "email", "born", "city", "nickname"],
    "Company": ["name", "founded", "sector"],
    "Product": ["sku", "title", "price", "weight"],
    "Order": ["id", "placed_at", "total"],
    "Review": ["stars", "text"],
    "Tag": ["label"],
    "Warehouse": ["code", "region"],
    "Supplier": ["name", "country", "rating", "contact", "since"],
}
WIDE_RELATIONSHIPS = {
    "WORKS_AT": ("Person", "Company", ["since"]),
    "PLACED": ("Person", "Order", []),
    "CONTAINS": ("Order", "Product", ["quantity"]),
    "REVIEWED": ("Person", "Review", []),
    "STOCKED_IN": ("Product", "Warehouse", ["count"]),
    "SUPPLIES": ("Supplier", "Product", ["price", "lead_time"]),
}

BATCH_THREADS = [1, 2, 4, 8]

# Short queries over a small movie schema, valid and with errors (an unknown label, misspelt
# properties, an unknown type, a syntax error), all with suggestions but the last.
SHORT_NODES = {"Person": ["name", "age", "born"], "Movie": ["title", "year", "rating"],
               "Genre": ["name"]}
SHORT_RELATIONSHIPS = {"ACTED_IN": ("Person", "Movie", ["role"]),
                       "DIRECTED": ("Person", "Movie", []),
                       "IN_GENRE": ("Movie", "Genre", [])}
SHORT_VALID = [
    "MATCH (p:Person)-[:ACTED_IN]->(m:Movie) WHERE m.year > 2000 RETURN p.name",
    "MATCH (p:Person {name: 'Tom'})-[:ACTED_IN]->(m:Movie) RETURN m.title",
    "MATCH (m:Movie)-[:IN_GENRE]->(g:Genre) RETURN g.name, count(m) AS n",
    "MATCH (p:Person)-[:DIRECTED]->(m:Movie) RETURN p.name, m.title LIMIT 5",
]
SHORT_ERRORS = [
    "MATCH (p:Persn)-[:ACTED_IN]->(m:Movie) WHERE m.year > 2000 RETURN p.name",
    "MATCH (p:Person)-[:ACTED_IN]->(m:Movie) WHERE m.yeer > 2000 RETURN p.nam",
    "MATCH (p:Person)-[:DIRECTD]->(m:Movie) RETURN p.name, m.title LIMIT 5",
    "MATCH (p:Person)-[:ACTED_IN]->(m:Movie WHERE m.year > 2000 RETURN p.name",
]
# The mix: 9 of every 25 queries have errors, spread evenly.
SHORT_MIX_ERRORS = (9, 25)
SHORT_KINDS = {"mixed": "a mix, 36% with errors", "valid": "only valid ones",
               "errors": "only ones with errors"}

# The kept results and small batches of memory_section and small_batch_section: a schema of
# two labels and one type, a valid query and one with errors.
SMALL_NODES = {"Person": ["name", "age"], "Movie": ["title"]}
SMALL_RELATIONSHIPS = {"ACTED_IN": ("Person", "Movie", [])}
SMALL_GOOD = "MATCH (p:Person)-[:ACTED_IN]->(m:Movie) RETURN p.name, m.title"
SMALL_BAD = "MATCH (p:Persn)-[:ACTED_IN]->(m:Movie) RETURN p.nme"
SMALL_SIZES = [1, 2, 8, 64, 512, 4096]

# The goals, as ratios.
VALIDATE_OVERHEAD_GOAL = 1.15
KEEP_ONE_MEMORY_GOAL = 2.0  # batch / validate
PIPELINE_MEMORY_GOAL = 1.5  # batch / loop
# batch / loop of small_batch_section, by batch size.
SMALL_BATCH_GOALS = {1: 1.3, 2: 1.2, 8: 1.2, 64: 0.6, 512: 0.53, 4096: 0.23}
BATCH_SPEEDUP_GOAL = 6.0
SHORT_SPEEDUP_GOALS = {"mixed": 6.0, "valid": 7.0}  # on the most threads; on one, at least 1x
PARSE_OVERHEAD_GOAL = 1.25
GENERATE_OVERHEAD_GOAL = 2.0


class Plan:
    """How much each measurement does: the full run, or the smaller one of --quick."""

    def __init__(self, quick):
        self.repetitions = 3 if quick else 15
        self.min_loop_seconds = 0.005 if quick else 0.02
        self.batch_count = 10_000 if quick else 100_000
        self.batch_repetitions = 1 if quick else 5
        self.memory_count = 100_000 if quick else 1_000_000
        self.keep_count = 10_000 if quick else 100_000
        self.prompt_count = 10_000 if quick else 300_000
        self.small_work = 4_000 if quick else 40_000
        self.generate_count = 10_000 if quick else 100_000
        self.generate_repetitions = 1 if quick else 9
        types = CypherGenerator.supported_types()
        self.generate_types = [types[0], types[6], types[-1]] if quick else types
        self.native_repetitions = 1 if quick else 9
        self.native_min_time = 0.01 if quick else 0.1

    def loop_size(self, call, args):
        """The smallest power of two of calls whose loop takes min_loop_seconds."""
        n = 1
        while loop_seconds(call, args, n) < self.min_loop_seconds:
            n *= 2
        return n

    def per_call(self, call, *args):
        """Median seconds per call over `repetitions` timed loops."""
        n = self.loop_size(call, args)
        return statistics.median(loop_seconds(call, args, n) / n for _ in range(self.repetitions))


def loop_seconds(call, args, n):
    start = time.perf_counter()
    for _ in repeat(None, n):
        call(*args)
    return time.perf_counter() - start


def timed_once(call, *args):
    """Wall-clock and process CPU seconds of one call; its result is freed after the clocks stop."""
    cpu = time.process_time()
    start = time.perf_counter()
    result = call(*args)
    seconds = time.perf_counter() - start
    cpu = time.process_time() - cpu
    del result
    return seconds, cpu


def timed_calls(repetitions, call, *args):
    """The median wall-clock seconds of one call over `repetitions` calls timed alone, and the
    CPU seconds the process spent per wall-clock second over all of them."""
    timings = [timed_once(call, *args) for _ in range(repetitions)]
    wall = sum(seconds for seconds, _ in timings)
    cores = sum(cpu for _, cpu in timings) / wall
    return statistics.median(seconds for seconds, _ in timings), cores


def median_once(repetitions, call, *args):
    """Median wall-clock seconds of one call, over `repetitions` calls timed alone."""
    return timed_calls(repetitions, call, *args)[0]


def call_each(call, items):
    for item in items:
        call(item)


def collect(call, items):
    return [call(item) for item in items]


def load_corpus(path):
    """The queries of the corpus file, split as bench/corpus.h splits them: each one ends at a
    line that is exactly ";;;;", its lines are joined by "\\n", and empty queries are skipped."""
    with open(path, "rb") as file:
        text = file.read().decode("utf-8")
    lines = text.split("\n")
    if text.endswith("\n"):
        lines.pop()
    queries = []
    query = []
    for line in lines:
        if line == ";;;;":
            queries.append("\n".join(query))
            query = []
        else:
            query.append(line)
    queries.append("\n".join(query))
    return [query for query in queries if query]


def validate_bench_schema():
    nodes = {label: VALIDATE_PROPERTIES for label in VALIDATE_LABELS}
    relationships = {name: (source, target, VALIDATE_PROPERTIES)
                     for name, source, target in VALIDATE_TYPES}
    return Schema(nodes, relationships)


def corpus_batch(count):
    """`count` corpus queries, the corpus repeated as often as needed."""
    return list(islice(cycle(load_corpus(CORPUS_PATH)), count))


def short_batch(kind, count):
    """`count` short queries of `kind` (a key of SHORT_KINDS), the templates taken in turn."""
    if kind == "valid":
        return list(islice(cycle(SHORT_VALID), count))
    if kind == "errors":
        return list(islice(cycle(SHORT_ERRORS), count))
    errors, period = SHORT_MIX_ERRORS
    valid, wrong = cycle(SHORT_VALID), cycle(SHORT_ERRORS)
    return [next(wrong) if i * errors % period < errors else next(valid) for i in range(count)]


def batch_of(workload, count):
    """The validator and the `count` queries of a workload: "corpus" or a key of SHORT_KINDS."""
    if workload == "corpus":
        return Morvane(validate_bench_schema()), corpus_batch(count)
    return Morvane(Schema(SHORT_NODES, SHORT_RELATIONSHIPS)), short_batch(workload, count)


def show_time(seconds):
    if seconds < 1e-6:
        return f"{seconds * 1e9:.1f} ns"
    if seconds < 1e-3:
        return f"{seconds * 1e6:.2f} µs"
    if seconds < 1:
        return f"{seconds * 1e3:.2f} ms"
    return f"{seconds:.2f} s"


def verdict(met):
    return "met" if met else "NOT met"


def print_ratio_goal(label, ratio, limit, bench):
    """A Python / C++ ratio against its goal of at most `limit`; without a ratio (the C++ program
    is absent), the command that gives the C++ figure."""
    if ratio is None:
        print(f"{label}: not measured (goal: at most {limit:.2f}x); {bench.path} is absent, "
              f"run by hand: {shlex.join(bench.command)}")
    else:
        print(f"{label}: {ratio:.2f}x (goal: at most {limit:.2f}x): {verdict(ratio <= limit)}")


def print_table(title, header, rows):
    """A titled table: the first column left-aligned, the others right-aligned."""
    widths = [max(len(row[i]) for row in [header, *rows]) for i in range(len(header))]
    widths[1:] = [max(width, 13) for width in widths[1:]]

    def line(cells):
        first, *rest = cells
        return "  ".join([f"{first:<{widths[0]}}",
                          *(f"{cell:>{width}}" for cell, width in zip(rest, widths[1:]))])

    print()
    print(title)
    print(line(header))
    print(line(["-" * width for width in widths]))
    for row in rows:
        print(line(row))


class NativeBench:
    """A Google Benchmark program beside the module, and how it is run."""

    def __init__(self, plan, program, pattern):
        self.path = os.path.join(MODULE_DIR, "bench", program)
        self.command = [
            self.path,
            f"--benchmark_filter={pattern}",
            "--benchmark_format=json",
            f"--benchmark_repetitions={plan.native_repetitions}",
            "--benchmark_report_aggregates_only=true",
            f"--benchmark_min_time={plan.native_min_time}",
        ]

    def medians(self):
        """The median aggregate of each benchmark run, by run name; None when the program is
        absent."""
        if not os.access(self.path, os.X_OK):
            return None
        output = subprocess.run(self.command, capture_output=True, text=True, check=True).stdout
        runs = json.loads(output)["benchmarks"]
        # One repetition reports the run itself; more report aggregates.
        return {run["run_name"]: run for run in runs
                if run.get("aggregate_name", "median") == "median"}


def seconds_of(run, key="real_time"):
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[run["time_unit"]]
    return run[key] * scale


def native_per_query(run, count):
    """Wall-clock seconds per query of a per-query benchmark over `count` queries. The program's
    own count (its items per CPU second times the CPU seconds of one iteration) must agree."""
    native_count = round(run["items_per_second"] * seconds_of(run, "cpu_time"))
    if native_count != count:
        raise SystemExit(f"{run['run_name']} measured {native_count} queries, Python {count}: "
                         "the two read different corpora")
    return seconds_of(run) / count


def surface_section(plan):
    """The cost per call of the entry points, on the schema of bench/schema_bench.cc."""
    schema = Schema(NODES, RELATIONSHIPS)
    json_text = schema.to_json()
    labels = {label: properties for label, properties in NODES.items()}
    validator = Morvane(schema)
    assert validator.validate(QUERY).is_valid, validator.validate(QUERY).errors
    batch = [BATCH_QUERIES[i % len(BATCH_QUERIES)] for i in range(BATCH_SIZE)]
    generator = CypherGenerator(schema, seed=42)

    rows = [
        ("Schema(nodes, relationships)", plan.per_call(Schema, NODES, RELATIONSHIPS)),
        ("Schema.to_json", plan.per_call(schema.to_json)),
        ("Schema.from_json", plan.per_call(Schema.from_json, json_text)),
        ("Schema.to_dict", plan.per_call(schema.to_dict)),
        ("Schema.to_prompt", plan.per_call(schema.to_prompt)),
        ("Schema.to_markdown", plan.per_call(schema.to_markdown)),
        ("Schema.to_cypher_context", plan.per_call(schema.to_cypher_context)),
    ]
    has_label = plan.per_call(schema.has_node_label, "Person")
    dict_get = plan.per_call(labels.get, "Person")
    rows += [
        ('schema.has_node_label("Person")', has_label),
        ('labels.get("Person") (dict)', dict_get),
        (f"Morvane.validate ({len(QUERY)}-byte query)", plan.per_call(validator.validate, QUERY)),
    ]
    batch_seconds = plan.per_call(validator.validate_batch, batch)
    rows += [
        (f"Morvane.validate_batch ({BATCH_SIZE:,} queries)", batch_seconds),
        ("parse_query", plan.per_call(parse_query, QUERY)),
        ('CypherGenerator.generate("match_where_return")',
         plan.per_call(generator.generate, "match_where_return")),
    ]
    print_table("Entry points (schema of bench/schema_bench.cc)", ["operation", "per call"],
                [(name, show_time(seconds)) for name, seconds in rows])
    print()
    print(f"has_node_label / dict.get: {has_label / dict_get:.2f}x (goal: at most 2x)")
    print(f"validate_batch: {BATCH_SIZE / batch_seconds:,.0f} queries/s")


def validate_section(plan, corpus):
    validator = Morvane(validate_bench_schema())
    python = plan.per_call(call_each, validator.validate, corpus) / len(corpus)
    bench = NativeBench(plan, "validate_bench", "^BM_ValidateCorpus$")
    runs = bench.medians()
    native = None if runs is None else native_per_query(runs["BM_ValidateCorpus"], len(corpus))
    ratio = None if native is None else python / native
    print_table(
        f"Morvane.validate over the corpus ({len(corpus)} queries, schema of "
        "bench/validate_bench.cc)",
        ["operation", "per query"],
        [("Python: Morvane.validate, result not read", show_time(python)),
         ("C++: Morvane::validate (BM_ValidateCorpus)",
          "n/a" if native is None else show_time(native))])
    print()
    print_ratio_goal("Python / C++", ratio, VALIDATE_OVERHEAD_GOAL, bench)


def run_child(arguments, extra_env):
    """Runs this script as a child with `arguments`, and returns what it reports."""
    env = dict(os.environ, **extra_env)
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [MODULE_DIR, env.get("PYTHONPATH")]))
    command = [sys.executable, os.path.abspath(__file__), *arguments]
    output = subprocess.run(command, env=env, capture_output=True, text=True, check=True).stdout
    return json.loads(output)


def child_batch(workload, count, repetitions):
    """Times validate_batch of `count` queries of `workload` (see batch_of), after one untimed
    batch that makes the pool: the median wall-clock seconds, and the CPU seconds per wall-clock
    second."""
    validator, batch = batch_of(workload, count)
    timed_once(validator.validate_batch, batch)
    seconds, cores = timed_calls(repetitions, validator.validate_batch, batch)
    return {"seconds": seconds, "cores": cores}


def status_bytes(field):
    """A memory figure of /proc/self/status, in bytes."""
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1]) * 1024
    raise LookupError(field)


def child_memory(workload, count):
    """The resident memory that one validate_batch of `count` queries of `workload` adds, at
    its peak and once it has returned with its results kept, over the process with its queries
    ready."""
    validator, batch = batch_of(workload, count)
    before = status_bytes("VmRSS")
    results = validator.validate_batch(batch)
    peak = status_bytes("VmHWM")
    kept = status_bytes("VmRSS")
    assert len(results) == count
    return {"peak": peak - before, "kept": kept - before}


def small_validator():
    return Morvane(Schema(SMALL_NODES, SMALL_RELATIONSHIPS))


def max_rss():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024


def maps_count():
    with open("/proc/self/maps") as maps:
        return sum(1 for _ in maps)


def child_keep(mode, count):
    """The peak resident memory and the mappings of a process that keeps one result of each of
    `count` validations of a query with errors: each from a batch of its own, or from validate."""
    validator = small_validator()
    if mode == "batch":
        kept = [validator.validate_batch([SMALL_BAD])[0] for _ in range(count)]
    else:
        kept = [validator.validate(SMALL_BAD) for _ in range(count)]
    assert len(kept) == count
    return {"rss": max_rss(), "maps": maps_count()}


def child_pipeline(mode, count):
    """`count` prompts of 8 candidate queries, each invalid with chance 5%, validated as one
    batch or in a loop of validate; the invalid results are kept. The peak resident memory and
    the seconds taken."""
    validator = small_validator()
    rng, report = random.Random(2), []
    start = time.perf_counter()
    for _ in range(count):
        queries = [SMALL_BAD if rng.random() < 0.05 else SMALL_GOOD for _ in range(8)]
        results = (validator.validate_batch(queries) if mode == "batch" else
                   [validator.validate(query) for query in queries])
        report += [result for result in results if not result.is_valid]
    return {"rss": max_rss(), "seconds": time.perf_counter() - start, "kept": len(report)}


def batch_section(plan):
    count = plan.batch_count
    validator = Morvane(validate_bench_schema())
    batch = corpus_batch(count)
    loop, loop_cores = timed_calls(plan.batch_repetitions, collect, validator.validate, batch)
    rows = [("Python loop of Morvane.validate", show_time(loop), f"{count / loop:,.0f}",
             "1.00x", f"{loop_cores:.1f}")]
    speedups = {}
    for threads in BATCH_THREADS:
        child = run_child(["--batch-child", "corpus", str(count), str(plan.batch_repetitions)],
                          {"RAYON_NUM_THREADS": str(threads)})
        speedups[threads] = loop / child["seconds"]
        rows.append((f"validate_batch, RAYON_NUM_THREADS={threads}", show_time(child["seconds"]),
                     f"{count / child['seconds']:,.0f}", f"{speedups[threads]:.2f}x",
                     f"{child['cores']:.1f}"))
    print_table(f"Morvane.validate_batch of {count:,} corpus queries, results kept",
                ["operation", "per batch", "queries/s", "speed-up", "CPU s / s"], rows)
    print()
    best = speedups[BATCH_THREADS[-1]]
    print(f"speed-up on {BATCH_THREADS[-1]} pool threads: {best:.2f}x "
          f"(goal: at least {BATCH_SPEEDUP_GOAL:.0f}x): {verdict(best >= BATCH_SPEEDUP_GOAL)}")


def short_batch_section(plan):
    count = plan.batch_count
    rows = []
    speedups = {}
    for kind, title in SHORT_KINDS.items():
        validator, batch = batch_of(kind, count)
        size = sum(map(len, batch)) / count
        loop, loop_cores = timed_calls(plan.batch_repetitions, collect, validator.validate, batch)
        rows.append((f"{title} ({size:.0f} B): Python loop of validate", show_time(loop),
                     f"{count / loop:,.0f}", "1.00x", f"{loop_cores:.1f}"))
        for threads in BATCH_THREADS:
            child = run_child(["--batch-child", kind, str(count), str(plan.batch_repetitions)],
                              {"RAYON_NUM_THREADS": str(threads)})
            speedups[kind, threads] = loop / child["seconds"]
            rows.append((f"{title}: validate_batch, {threads} thread(s)",
                         show_time(child["seconds"]), f"{count / child['seconds']:,.0f}",
                         f"{speedups[kind, threads]:.2f}x", f"{child['cores']:.1f}"))
    print_table(f"Morvane.validate_batch of {count:,} short queries, results kept",
                ["operation", "per batch", "queries/s", "speed-up", "CPU s / s"], rows)
    print()
    most = BATCH_THREADS[-1]
    for kind, goal in SHORT_SPEEDUP_GOALS.items():
        print(f"{SHORT_KINDS[kind]}, {most} threads: {speedups[kind, most]:.2f}x "
              f"(goal: at least {goal:.0f}x): {verdict(speedups[kind, most] >= goal)}")
    for kind, title in SHORT_KINDS.items():
        print(f"{title}, 1 thread: {speedups[kind, 1]:.2f}x (goal: at least 1x): "
              f"{verdict(speedups[kind, 1] >= 1)}")


def result_section(plan):
    validator = Morvane(validate_bench_schema())
    rows = []
    for name, query in RESULT_QUERIES:
        result = validator.validate(query)
        rows.append((f"{name}: to_json ({len(result.to_json())} bytes)",
                     show_time(plan.per_call(result.to_json))))
        rows.append((f"{name}: to_dict ({len(result.diagnostics)} diagnostics)",
                     show_time(plan.per_call(result.to_dict))))
    print_table("ValidationResult.to_json and to_dict", ["operation", "per call"], rows)


def memory_section(plan):
    count = plan.memory_count
    rows = []
    for workload, title in [("corpus", "corpus queries"), ("mixed", "short queries, 36% errors")]:
        child = run_child(["--memory-child", workload, str(count)], {})
        rows += [(f"{title}: peak during the call (VmHWM)", f"{child['peak']:,}",
                  f"{child['peak'] / count:,.0f} B"),
                 (f"{title}: kept once it returned (VmRSS)", f"{child['kept']:,}",
                  f"{child['kept'] / count:,.0f} B")]
    print_table(f"Memory of one validate_batch of {count:,} queries, results kept "
                "(resident, over the process with its query list ready)",
                ["figure", "bytes", "per query"], rows)


def kept_results_section(plan):
    rows = []
    keep = {mode: run_child(["--keep-child", mode, str(plan.keep_count)], {})
            for mode in ("batch", "validate")}
    for mode, title in [("batch", "validate_batch([query])[0]"), ("validate", "validate(query)")]:
        rows.append((f"one result of {title}, {plan.keep_count:,} kept",
                     f"{keep[mode]['rss'] / 2**20:.0f} MB", f"{keep[mode]['maps']}", ""))
    pipeline = {mode: run_child(["--pipeline-child", mode, str(plan.prompt_count)], {})
                for mode in ("batch", "loop")}
    for mode, title in [("batch", "validate_batch(8 queries)"), ("loop", "loop of validate")]:
        rows.append((f"{plan.prompt_count:,} prompts, {title}, invalid kept "
                     f"({pipeline[mode]['kept']:,})", f"{pipeline[mode]['rss'] / 2**20:.0f} MB",
                     "", show_time(pipeline[mode]["seconds"])))
    print_table("Results kept from many small batches, against validate (peak resident memory)",
                ["workload", "memory", "mappings", "time"], rows)
    print()
    ratio = keep["batch"]["rss"] / keep["validate"]["rss"]
    print(f"one kept per batch, batch / validate memory: {ratio:.2f}x "
          f"(goal: at most {KEEP_ONE_MEMORY_GOAL:.1f}x): {verdict(ratio <= KEEP_ONE_MEMORY_GOAL)}")
    ratio = pipeline["batch"]["rss"] / pipeline["loop"]["rss"]
    print(f"pipeline, batch / loop memory: {ratio:.2f}x "
          f"(goal: at most {PIPELINE_MEMORY_GOAL:.1f}x): {verdict(ratio <= PIPELINE_MEMORY_GOAL)}")


def small_batch_section(plan):
    validator = small_validator()
    rows = []
    for n in SMALL_SIZES:
        queries = [SMALL_BAD if i % 8 == 0 else SMALL_GOOD for i in range(n)]
        calls = max(1, plan.small_work // n)
        batch = statistics.median(
            loop_seconds(validator.validate_batch, (queries,), calls) / calls
            for _ in range(plan.repetitions))
        loop = statistics.median(
            loop_seconds(collect, (validator.validate, queries), calls) / calls
            for _ in range(plan.repetitions))
        goal = SMALL_BATCH_GOALS[n]
        rows.append((f"{n}", show_time(batch), show_time(loop), f"{batch / loop:.2f}",
                     f"at most {goal:.2f}: {verdict(batch / loop <= goal)}"))
    print_table("Small batches (one query in eight with errors), per call",
                ["queries", "validate_batch", "loop of validate", "batch / loop", "goal"], rows)


def parse_section(plan, corpus):
    accepted = [query for query in corpus if parse_query(query).is_valid]
    python = plan.per_call(call_each, parse_query, accepted) / len(accepted)
    bench = NativeBench(plan, "parse_bench", "^BM_ParseReusedCorpus$")
    runs = bench.medians()
    native = None if runs is None else native_per_query(runs["BM_ParseReusedCorpus"],
                                                           len(accepted))
    ratio = None if native is None else python / native
    print_table(f"parse_query over the {len(accepted)} corpus queries the parser accepts",
                ["operation", "per query"],
                [("Python: parse_query (parse, walk, QueryInfo)", show_time(python)),
                 ("C++: parser::parse (BM_ParseReusedCorpus of parse_bench)",
                  "n/a" if native is None else show_time(native))])
    print()
    print_ratio_goal("Python / C++", ratio, PARSE_OVERHEAD_GOAL, bench)


def generate_section(plan):
    count = plan.generate_count
    generator = CypherGenerator(Schema(WIDE_NODES, WIDE_RELATIONSHIPS), seed=42)
    types = CypherGenerator.supported_types()
    indices = "|".join(str(types.index(name)) for name in plan.generate_types)
    bench = NativeBench(plan, "generator_bench", f"^BM_GenerateWideSchema/({indices})$")
    runs = bench.medians()
    rows = []
    ratios = []
    for name in plan.generate_types:
        python = median_once(plan.generate_repetitions, generator.generate_batch, name,
                             count) / count
        size = sum(map(len, generator.generate_batch(name, 1000))) / 1000
        cells = [name, show_time(python), f"{size:.0f}"]
        if runs is None:
            cells += ["n/a", "n/a", "n/a"]
        else:
            run = runs[f"BM_GenerateWideSchema/{types.index(name)}"]
            native = seconds_of(run)
            ratios.append(python / native)
            cells += [show_time(native), f"{run['bytes_per_second'] / run['items_per_second']:.0f}",
                      f"{python / native:.2f}x"]
        rows.append(cells)
    print_table(f"CypherGenerator.generate_batch(type, {count:,}) per query, wide schema of "
                "bench/generator_bench.cc",
                ["query type", "Python", "Python bytes", "C++", "C++ bytes", "Python / C++"], rows)
    print()
    print_ratio_goal("largest Python / C++", max(ratios) if ratios else None,
                     GENERATE_OVERHEAD_GOAL, bench)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    parser.add_argument("--quick", action="store_true",
                        help="a fast smoke run: fewer repetitions and smaller batches")
    # The children that the batch sections and memory_section run: COUNT queries of WORKLOAD
    # (see batch_of), REPETITIONS times.
    parser.add_argument("--batch-child", nargs=3, metavar=("WORKLOAD", "COUNT", "REPETITIONS"),
                        help=argparse.SUPPRESS)
    parser.add_argument("--memory-child", nargs=2, metavar=("WORKLOAD", "COUNT"),
                        help=argparse.SUPPRESS)
    # The children of kept_results_section: MODE is "batch" or the other way of validating.
    parser.add_argument("--keep-child", nargs=2, metavar=("MODE", "COUNT"),
                        help=argparse.SUPPRESS)
    parser.add_argument("--pipeline-child", nargs=2, metavar=("MODE", "COUNT"),
                        help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.batch_child:
        workload, count, repetitions = args.batch_child
        print(json.dumps(child_batch(workload, int(count), int(repetitions))))
        return
    if args.memory_child:
        workload, count = args.memory_child
        print(json.dumps(child_memory(workload, int(count))))
        return
    if args.keep_child:
        mode, count = args.keep_child
        print(json.dumps(child_keep(mode, int(count))))
        return
    if args.pipeline_child:
        mode, count = args.pipeline_child
        print(json.dumps(child_pipeline(mode, int(count))))
        return

    plan = Plan(args.quick)
    corpus = load_corpus(CORPUS_PATH)
    print(f"Python {sys.version.split()[0]} ({platform.python_implementation()}) at "
          f"{sys.executable}, {platform.machine()}, os.cpu_count() = {os.cpu_count()}")
    print(f"module: {_morvane.__file__}")
    print(f"build dir: {MODULE_DIR} (C++ benchmarks looked for in its bench/)")
    print("load average: {:.2f} {:.2f} {:.2f}".format(*os.getloadavg()))
    print(f"{'quick run: ' if args.quick else ''}Python: median of {plan.repetitions} timed loops "
          f"of at least {plan.min_loop_seconds * 1e3:.0f} ms each, validation batches: median "
          f"of {plan.batch_repetitions}, generation batches: median of "
          f"{plan.generate_repetitions}; C++: median of {plan.native_repetitions} repetitions")
    surface_section(plan)
    validate_section(plan, corpus)
    batch_section(plan)
    short_batch_section(plan)
    result_section(plan)
    memory_section(plan)
    kept_results_section(plan)
    small_batch_section(plan)
    parse_section(plan, corpus)
    generate_section(plan)
    print()
    print("load average: {:.2f} {:.2f} {:.2f}".format(*os.getloadavg()))


if __name__ == "__main__":
    main()
