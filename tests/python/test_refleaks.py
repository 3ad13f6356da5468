"""Repeated calls, succeeding and failing, must leave resident memory and references flat."""

import gc
import sys

import pytest

from _morvane import Schema

CALLS = 300_000
WARM_UP = 20_000
SLACK = 2 * 1024 * 1024
ROUNDS = 3

NODES = {"Person": ["name", "age"], "Movie": ["title"], "Tag": []}
RELATIONSHIPS = {"ACTED_IN": ("Person", "Movie", ["role"]), "KNOWS": ("Person", "Person", [])}
SCHEMA = Schema(NODES, RELATIONSHIPS)
OTHER = Schema({"Company": ["name"]}, {"KNOWS": ("Person", "Company", ["since"])})
FORM = SCHEMA.to_dict()
TEXT = SCHEMA.to_json()


class GrowsOnLen:
    """A property list whose __len__ adds an entry to the dict that holds it."""

    def __init__(self, target):
        self.target = target

    def __len__(self):
        self.target[f"added{len(self.target)}"] = []
        return 0

    def __getitem__(self, i):
        raise IndexError


def changed_while_read():
    nodes = {}
    nodes["A"] = GrowsOnLen(nodes)
    return Schema(nodes, {})


CASES = {
    "new": lambda: Schema(NODES, RELATIONSHIPS),
    "new-keywords": lambda: Schema(relationships=RELATIONSHIPS, nodes=NODES),
    "new-node-str": lambda: Schema({"Person": "name"}, {}),
    "new-node-bad-item": lambda: Schema({"Person": ["name", 1.5]}, {}),
    "new-rel-list": lambda: Schema({}, {"KNOWS": ["Person", "Person", []]}),
    "new-rel-surrogate": lambda: Schema({}, {"KNOWS": ("Person", "\ud800", [])}),
    "new-key-float": lambda: Schema({1.5: []}, {}),
    "new-key-surrogate": lambda: Schema({"Pers\udc00": []}, {}),
    "new-not-dict": lambda: Schema([("Person", [])], {}),
    "new-binding": lambda: Schema({}, {}, unknown=1),
    "new-dict-changed": changed_while_read,
    "from_dict": lambda: Schema.from_dict(FORM),
    "from_dict-missing": lambda: Schema.from_dict({"relationships": {}}),
    "from_dict-not-dict": lambda: Schema.from_dict({"nodes": [], "relationships": {}}),
    "from_dict-bad-node": lambda: Schema.from_dict({"nodes": {"A": {"x"}}, "relationships": {}}),
    "from_json": lambda: Schema.from_json(TEXT),
    "from_json-bad": lambda: Schema.from_json('{"nodes":{"A":["x"]},"relationships":{"R":[1]}}'),
    "from_json-syntax": lambda: Schema.from_json('{"nodes":'),
    "from_json-bytes": lambda: Schema.from_json(b"{}"),
    "from_json-surrogate": lambda: Schema.from_json('"\ud800"'),
    "to_dict": SCHEMA.to_dict,
    "to_json": SCHEMA.to_json,
    "merge": lambda: SCHEMA.merge(OTHER),
    "merge-self": lambda: SCHEMA.merge(other=SCHEMA),
    "merge-not-schema": lambda: SCHEMA.merge(FORM),
    "merge-binding": lambda: SCHEMA.merge(OTHER, OTHER),
    "node_labels": SCHEMA.node_labels,
    "rel_types": SCHEMA.rel_types,
    "has_node_label": lambda: SCHEMA.has_node_label("Person"),
    "has_rel_type": lambda: SCHEMA.has_rel_type(rel_type="KNOWS"),
    "node_properties": lambda: SCHEMA.node_properties("Person"),
    "node_properties-bad": lambda: SCHEMA.node_properties(["Person"]),
    "rel_properties": lambda: SCHEMA.rel_properties("ACTED_IN"),
    "rel_endpoints": lambda: SCHEMA.rel_endpoints("ACTED_IN"),
    "rel_endpoints-unknown": lambda: SCHEMA.rel_endpoints("LIKES"),
    "rel_endpoints-surrogate": lambda: SCHEMA.rel_endpoints("\udfff"),
    "repr": lambda: repr(SCHEMA),
    "to_prompt": SCHEMA.to_prompt,
    "to_markdown": SCHEMA.to_markdown,
    "to_cypher_context": SCHEMA.to_cypher_context,
    "to_prompt-binding": lambda: SCHEMA.to_prompt(1),
}


def sanitizer_loaded():
    # AddressSanitizer quarantines freed memory, so resident size says nothing about leaks.
    with open("/proc/self/maps") as maps:
        return "libasan" in maps.read()


def resident_bytes():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) * 1024
    raise AssertionError("no VmRSS in /proc/self/status")


def call_repeatedly(call, times):
    for _ in range(times):
        try:
            call()
        except BaseException:
            pass


def growth(call):
    gc.collect()
    before = resident_bytes()
    call_repeatedly(call, CALLS)
    gc.collect()
    return resident_bytes() - before


# Objects that every call reads; a reference kept by any call shows in their counts.
SHARED = [SCHEMA, OTHER, NODES, RELATIONSHIPS, FORM, TEXT, *NODES.values(),
          *RELATIONSHIPS.values()]


@pytest.mark.parametrize("call", CASES.values(), ids=CASES.keys())
def test_repeated_calls_keep_references_flat(call):
    call_repeatedly(call, WARM_UP)
    counts = [sys.getrefcount(o) for o in SHARED]
    call_repeatedly(call, WARM_UP)
    assert [sys.getrefcount(o) for o in SHARED] == counts


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc/self/status")
@pytest.mark.skipif(sys.platform.startswith("linux") and sanitizer_loaded(),
                    reason="AddressSanitizer keeps freed memory resident")
@pytest.mark.parametrize("call", CASES.values(), ids=CASES.keys())
def test_repeated_calls_leave_memory_flat(call):
    call_repeatedly(call, WARM_UP)
    # Allocator noise can grow one round; a leak grows every round.
    growths = []
    for _ in range(ROUNDS):
        growths.append(growth(call))
        if growths[-1] <= SLACK:
            break
    assert growths[-1] <= SLACK, f"resident memory grew by {growths} bytes"
