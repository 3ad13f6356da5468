"""The Python examples in the project's README run as written, the values their comments show
are the values the expressions give, the queries of its limits table are refused and accepted as
it says, its nesting figures are the deepest that parse, and its table of diagnostic codes is the
module's."""
import ast
import io
import re
import tokenize
from pathlib import Path

import pytest

from _morvane import Morvane, Schema

ROOT = Path(__file__).resolve().parents[2]
README = ROOT / "README.md"
TEXT = README.read_text(encoding="utf-8")
BLOCKS = re.findall(r"^```python\n(.*?)^```$", TEXT, flags=re.DOTALL | re.MULTILINE)
CLOSING = {"[": "]", "(": ")", "{": "}"}
KEYWORD_LITERALS = ("True", "False", "None")


def test_readme_has_python_examples():
    assert BLOCKS


@pytest.mark.parametrize("block", BLOCKS, ids=[f"block{i + 1}" for i in range(len(BLOCKS))])
def test_readme_example_runs(block):
    exec(compile(block, str(README), "exec"), {"__name__": "readme_example"})


def leading_literal(comment):
    """The Python literal a comment starts with ("# False", "# ['a', 'b'] and more") as a
    one-item tuple, or () when it starts with prose. Reads no further than the literal, as prose
    past it need not tokenize."""
    text = comment.lstrip("# ")
    tokens = tokenize.generate_tokens(io.StringIO(text).readline)
    try:
        first = next(tokens)
        if first.type in (tokenize.STRING, tokenize.NUMBER) or first.string in KEYWORD_LITERALS:
            return (ast.literal_eval(first.string),)
        depth = 1 if first.string in CLOSING else 0
        for token in tokens if depth else ():
            if token.string in CLOSING:
                depth += 1
            elif token.string in CLOSING.values():
                depth -= 1
            if depth == 0:
                return (ast.literal_eval(text[: token.end[1]]),)
    except (tokenize.TokenError, SyntaxError, ValueError):
        pass  # prose in brackets, or with a bracket or quote left open
    return ()


def documented_values(block):
    """(expression statement, the literal its comment shows) for each top-level expression
    whose comment, on its last line or alone on the line right after it, starts with one."""
    comments = {
        token.start[0]: token.string
        for token in tokenize.generate_tokens(io.StringIO(block).readline)
        if token.type == tokenize.COMMENT
    }
    statements = ast.parse(block).body
    pairs = []
    for statement, following in zip(statements, statements[1:] + [None]):
        if not isinstance(statement, ast.Expr):
            continue
        line = statement.end_lineno
        comment = comments.get(line)
        if comment is None and (following is None or following.lineno > line + 1):
            comment = comments.get(line + 1)
        pairs.extend((statement, value) for value in leading_literal(comment or "#"))
    return pairs


def test_readme_shows_the_values_the_examples_give():
    checked = 0
    for block in BLOCKS:
        namespace = {"__name__": "readme_example"}
        exec(compile(block, str(README), "exec"), namespace)
        for statement, value in documented_values(block):
            expression = ast.Expression(statement.value)
            assert eval(compile(expression, str(README), "eval"), namespace) == value, (
                ast.unparse(statement)
            )
            checked += 1
    assert checked > 0


def table_rows(header):
    """The cells of each row of the Markdown table that starts with this header line."""
    lines = TEXT[TEXT.index(header):].splitlines()[2:]
    rows = []
    for line in lines:
        if not line.startswith("|"):
            break
        rows.append([cell.strip() for cell in re.split(r"(?<!\\)\|", line)[1:-1]])
    return rows


def code_spans(cell):
    """The texts of a table cell's code spans, read as CommonMark and GFM tables read them."""
    spans = []
    for match in re.finditer(r"(?<!`)(`+)(?!`)(.+?)(?<!`)\1(?!`)", cell.replace("\\|", "|")):
        text = match.group(2)
        if len(text) > 2 and text.startswith(" ") and text.endswith(" "):
            text = text[1:-1]
        spans.append(text)
    return spans


def limit_cases():
    """(query, whether the README says the grammar refuses it)."""
    cases = []
    for _, refused, accepted in table_rows("| Construct | Not accepted | Write instead |"):
        cases += [(query, True) for query in code_spans(refused)]
        cases += [(query, False) for query in code_spans(accepted)]
    words = re.search(r"The reserved words, in any letter case: ([A-Z\s]+)\.", TEXT).group(1)
    for word in words.split():
        cases += [(f"RETURN 1 AS {word}", True), (f"RETURN 1 AS {word.lower()}", True),
                  (f"RETURN 1 AS `{word}`", False)]
    calls = re.search(r"A function's own name may still be one \((.*?)\);", TEXT, flags=re.DOTALL)
    cases += [(f"RETURN {call}", False) for call in code_spans(calls.group(1))]
    return cases


LIMIT_CASES = limit_cases()


def test_readme_limits_table_has_both_kinds_of_example():
    assert {refused for _, refused in LIMIT_CASES} == {True, False}


@pytest.mark.parametrize("query, refused", LIMIT_CASES, ids=[q for q, _ in LIMIT_CASES])
def test_readme_limits_are_the_grammar_s(query, refused):
    # The grammar refuses a query exactly when validation gives a syntax error with a position;
    # a schema without names fails every name, but in other codes.
    syntax = [d for d in Morvane(Schema({}, {})).validate(query).diagnostics if d.code == "E101"]
    if refused:
        assert len(syntax) == 1 and syntax[0].position_line is not None
    else:
        assert syntax == []


def test_readme_reserved_schema_names_match_in_backticks():
    # The schema takes the names that a query can write only in backticks, and the backticked
    # names are the schema's.
    graph = Schema({"End": ["x"]}, {"CONTAINS": ("End", "End", [])})
    result = Morvane(graph).validate("MATCH (a:`End`)-[:`CONTAINS`]->(b:`End`) RETURN a.x")
    assert result.is_valid, result.errors


def nesting_figures():
    """(query nested n deep, n) for each nesting the README gives the deepest figure of."""
    figures = re.search(r"the most that parse are (\d+) levels of\s+parentheses around a RETURN "
                        r"item and (\d+) nested FOREACH clauses", TEXT)
    parentheses, foreach = (int(figure) for figure in figures.groups())
    return [(lambda n: "RETURN " + "(" * n + "1" + ")" * n, parentheses),
            (lambda n: "FOREACH (x IN [1] | " * n + "CREATE ()" + ")" * n, foreach)]


@pytest.mark.parametrize("nest, deepest", nesting_figures(), ids=["parentheses", "foreach"])
def test_readme_nesting_figures_are_the_deepest_that_parse(nest, deepest):
    # On the calling thread, the main one, which meets the depth limit before its stack runs short.
    message = re.search(r'"(query nested deeper than \d+ levels)"', TEXT).group(1)
    validator = Morvane(Schema({}, {}))
    assert validator.validate(nest(deepest)).syntax_errors == []
    deeper = validator.validate(nest(deepest + 1)).syntax_errors
    assert len(deeper) == 1 and deeper[0].endswith(message), deeper


def test_readme_code_table_is_the_module_s():
    table = [tuple(row[:3]) for row in table_rows("| Code | Name | Severity | Meaning |")]
    source = (ROOT / "src" / "diagnostics" / "diagnostic_codes.def").read_text()
    rows = re.findall(r'MORVANE_DIAGNOSTIC\((\w+), "(\w+)", (Error|Warning),', source)
    assert table == [(code, name, severity.lower()) for name, code, severity in rows]
