import json

from hypothesis import given, settings
from hypothesis import strategies as st

from _morvane import Schema

EXPECTED_ERRORS = (TypeError, KeyError, ValueError, UnicodeEncodeError)

# Text over every code point, lone surrogates included.
any_text = st.text(st.characters(blacklist_categories=()), max_size=8)
# Mostly ordinary names, so that accepted schemas are common.
names = st.one_of(st.sampled_from(["", "A", "B", "name", "Größe", 'q"', "😀"]), any_text)

scalars = st.one_of(any_text, st.integers(), st.none(), st.binary(max_size=4))
hashables = st.one_of(scalars, st.tuples(scalars, scalars))
values = st.recursive(
    scalars,
    lambda inner: st.one_of(
        st.lists(inner, max_size=4),
        st.lists(inner, max_size=4).map(tuple),
        st.frozensets(hashables, max_size=3),
        st.sets(hashables, max_size=3),
        st.dictionaries(hashables, inner, max_size=3),
    ),
    max_leaves=8,
)


def mostly(clean, *noisy):
    """Draws from `clean` seven times in eight and from one of `noisy` otherwise, so that
    accepted schemas are common and refused ones usually have a single bad part."""
    return st.integers(0, 7).flatmap(lambda k: clean if k else st.one_of(*noisy))


clean_properties = st.one_of(st.lists(names, max_size=4), st.lists(names, max_size=4).map(tuple))
property_lists = mostly(clean_properties, st.lists(st.one_of(names, values), max_size=3), values)
relationship_values = mostly(
    st.tuples(names, names, clean_properties),
    st.tuples(st.one_of(names, values), st.one_of(names, values), property_lists),
    st.lists(names, min_size=3, max_size=3),
    st.lists(st.one_of(names, values), max_size=4).map(tuple),
    values,
)
dict_keys = mostly(names, hashables)
node_dicts = mostly(st.dictionaries(dict_keys, property_lists, max_size=4), values)
relationship_dicts = mostly(st.dictionaries(dict_keys, relationship_values, max_size=4), values)
combined_dicts = mostly(
    st.fixed_dictionaries({"nodes": node_dicts, "relationships": relationship_dicts},
                          optional={"extra": values}),
    st.dictionaries(st.sampled_from(["nodes", "relationships", "other"]), values, max_size=3),
    values,
)

schema_texts = st.one_of(
    any_text,
    st.builds(lambda n, r: json.dumps({"nodes": n, "relationships": r}),
              st.dictionaries(names, st.lists(names, max_size=3), max_size=3),
              st.dictionaries(names, st.tuples(names, names, st.lists(names, max_size=3)),
                              max_size=3)),
    st.recursive(
        st.one_of(st.none(), st.booleans(), st.integers(), any_text),
        lambda inner: st.one_of(st.lists(inner, max_size=3),
                                st.dictionaries(st.one_of(any_text, st.sampled_from(
                                    ["nodes", "relationships"])), inner, max_size=3)),
        max_leaves=10,
    ).map(lambda value: json.dumps(value, ensure_ascii=False)),
)


def assert_round_trips(schema):
    form, text = schema.to_dict(), repr(schema)
    from_dict = Schema.from_dict(form)
    from_json = Schema.from_json(schema.to_json())
    for copy in (from_dict, from_json):
        assert copy.to_dict() == form
        assert repr(copy) == text
    assert form == {
        "nodes": {label: schema.node_properties(label) for label in schema.node_labels()},
        "relationships": {t: (*schema.rel_endpoints(t), schema.rel_properties(t))
                          for t in schema.rel_types()},
    }
    for label in schema.node_labels():
        assert schema.has_node_label(label)
    for rel_type in schema.rel_types():
        assert schema.has_rel_type(rel_type)


def build_or_refuse(build, *args):
    """Builds a schema; an accepted one must round-trip. Returns it, or None when refused."""
    try:
        schema = build(*args)
    except EXPECTED_ERRORS:
        return None
    assert type(schema) is Schema
    assert_round_trips(schema)
    return schema


def is_text(value):
    return isinstance(value, str) and not any(0xD800 <= ord(c) < 0xE000 for c in value)


def is_property_list(value):
    # The strategies make no sequence types besides list, tuple, str and bytes. Bytes are a
    # sequence of ints, so only an empty one is a (vacuous) sequence of str.
    if isinstance(value, bytes):
        return not value
    return isinstance(value, (list, tuple)) and all(is_text(item) for item in value)


@settings(max_examples=300, deadline=None)
@given(node_dicts, relationship_dicts)
def test_constructor_accepts_exactly_the_well_formed_dicts(nodes, relationships):
    well_formed = (
        isinstance(nodes, dict) and isinstance(relationships, dict)
        and all(is_text(k) and is_property_list(v) for k, v in nodes.items())
        and all(is_text(k) and isinstance(v, tuple) and len(v) == 3 and is_text(v[0])
                and is_text(v[1]) and is_property_list(v[2]) for k, v in relationships.items())
    )
    schema = build_or_refuse(Schema, nodes, relationships)
    assert (schema is not None) == well_formed
    if schema is not None:
        assert schema.to_dict() == {
            "nodes": {k: sorted(set(nodes[k])) for k in sorted(nodes)},
            "relationships": {k: (relationships[k][0], relationships[k][1],
                                  sorted(set(relationships[k][2])))
                              for k in sorted(relationships)},
        }


@settings(max_examples=300, deadline=None)
@given(combined_dicts)
def test_from_dict_gives_a_schema_or_an_expected_error(d):
    build_or_refuse(Schema.from_dict, d)


@settings(max_examples=300, deadline=None)
@given(schema_texts)
def test_from_json_gives_a_schema_or_an_expected_error(text):
    build_or_refuse(Schema.from_json, text)
