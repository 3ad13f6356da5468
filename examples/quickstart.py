"""Builds a schema, shows it as a model would see it, and checks a model's query against it."""
from _morvane import CypherGenerator, Morvane, Schema, parse_query

schema = Schema(
    {"Person": ["name", "age"], "Movie": ["title", "released"]},
    {"ACTED_IN": ("Person", "Movie", ["roles"]), "KNOWS": ("Person", "Person", [])},
)
print(schema.to_cypher_context())

validator = Morvane(schema)
query = "MATCH (p:Persn)-[:ACTED_IN]->(m:Movie) WHERE p.name = $name RETURN m.titel"
result = validator.validate(query)
print("query:", query)
print("valid:", result.is_valid)
for diagnostic in result.diagnostics:
    print(f"  {diagnostic.code} {diagnostic.code_name}: {diagnostic.message}")
print("fixed:", result.fixed_query)

batch = validator.validate_batch([query, result.fixed_query, "MATCH (n RETURN n"])
print("batch valid:", [r.is_valid for r in batch])
print("names used:", parse_query(query).labels_used)
print("generated:", CypherGenerator(schema, seed=42).generate("match_relationship"))
