"""The Python examples in the project's README run as written, and the values their comments
show are the values the expressions give."""
import ast
import io
import re
import tokenize
from pathlib import Path

import pytest

README = Path(__file__).resolve().parents[2] / "README.md"
BLOCKS = re.findall(
    r"^```python\n(.*?)^```$", README.read_text(encoding="utf-8"), flags=re.DOTALL | re.MULTILINE
)
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
