"""ValidationResult and ValidationDiagnostic: attributes, repr, dict and JSON forms."""

import gc
import json

import pytest

from _morvane import Morvane, Schema, ValidationDiagnostic, ValidationResult

RESULT_KEYS = [
    "is_valid",
    "errors",
    "syntax_errors",
    "semantic_errors",
    "warnings",
    "fixed_query",
    "diagnostics",
]
DIAGNOSTIC_KEYS = [
    "code",
    "code_name",
    "severity",
    "message",
    "suggestion_original",
    "suggestion_replacement",
    "suggestion_description",
    "position_line",
    "position_col",
]
SUGGESTION_KEYS = DIAGNOSTIC_KEYS[4:7]
POSITION_KEYS = DIAGNOSTIC_KEYS[7:]

PERSN_MESSAGE = "Unknown node label: :Persn, did you mean :Person?"
W201_MESSAGE = (
    "MATCH contains an unlabeled node with no WHERE clause; this will scan all nodes in the graph"
)


@pytest.fixture(scope="module")
def validator():
    return Morvane(
        Schema({"Person": ["name", "age"], "Movie": ["title"]}, {"ACTED_IN": ("Person", "Movie", ["role"])})
    )


def compact_sorted_json(result):
    """The JSON text to_json must write: members sorted, absent optional members left out."""
    data = result.to_dict()
    data["diagnostics"] = [
        {key: value for key, value in diagnostic.items() if value is not None}
        for diagnostic in data["diagnostics"]
    ]
    return json.dumps(data, sort_keys=True, separators=(",", ":"), ensure_ascii=False)


class TestClasses:
    @pytest.mark.parametrize("cls", [ValidationResult, ValidationDiagnostic])
    def test_not_instantiable(self, cls):
        with pytest.raises(TypeError):
            cls()
        with pytest.raises(TypeError):
            cls.__new__(cls)

    @pytest.mark.parametrize("name", RESULT_KEYS + ["other"])
    def test_result_attributes_read_only(self, validator, name):
        result = validator.validate("MATCH (p:Persn) RETURN p")
        with pytest.raises(AttributeError):
            setattr(result, name, None)
        with pytest.raises(AttributeError):
            delattr(result, name)
        assert result.fixed_query == "MATCH (p:Person) RETURN p"

    @pytest.mark.parametrize("name", DIAGNOSTIC_KEYS + ["other"])
    def test_diagnostic_attributes_read_only(self, validator, name):
        (diagnostic,) = validator.validate("MATCH (p:Persn) RETURN p").diagnostics
        with pytest.raises(AttributeError):
            setattr(diagnostic, name, "E999")
        with pytest.raises(AttributeError):
            delattr(diagnostic, name)
        assert diagnostic.code == "E201"

    @pytest.mark.parametrize(
        ("cls", "name", "doc"),
        [
            (ValidationResult, "is_valid", None),
            (ValidationResult, "errors", "All errors (syntax + semantic) combined."),
            (ValidationResult, "syntax_errors", "Parse/syntax errors only."),
            (ValidationResult, "semantic_errors", "Schema-level semantic errors only."),
            (
                ValidationResult,
                "warnings",
                "Advisory warnings (not errors \u2014 query still runs, but may be slow or incorrect).",
            ),
            (ValidationResult, "fixed_query", "Auto-corrected query when all errors are fixable, or None."),
            (
                ValidationResult,
                "diagnostics",
                "Structured diagnostics with error codes, suggestions, and positions.",
            ),
            (ValidationResult, "to_dict", "Return the result as a plain Python dict."),
            (ValidationResult, "to_json", "Return the result as a compact JSON string."),
            (ValidationDiagnostic, "code", 'Short error code (e.g. "E201").'),
            (ValidationDiagnostic, "code_name", 'Human-readable code name (e.g. "UnknownNodeLabel").'),
            (ValidationDiagnostic, "severity", '"error" or "warning".'),
            (ValidationDiagnostic, "message", "Full human-readable message."),
            (ValidationDiagnostic, "suggestion_original", "Original text fragment to replace, or None."),
            (ValidationDiagnostic, "suggestion_replacement", "Suggested replacement text, or None."),
            (
                ValidationDiagnostic,
                "suggestion_description",
                "Human-readable description of the suggestion, or None.",
            ),
            (ValidationDiagnostic, "position_line", "1-based line number (parse errors only), or None."),
            (ValidationDiagnostic, "position_col", "1-based column number (parse errors only), or None."),
            (ValidationDiagnostic, "to_dict", None),
        ],
    )
    def test_member_docstrings(self, cls, name, doc):
        assert cls.__dict__[name].__doc__ == doc

    @pytest.mark.parametrize(
        "method",
        [ValidationResult.to_dict, ValidationResult.to_json, ValidationDiagnostic.to_dict],
    )
    def test_method_signatures(self, method):
        assert method.__text_signature__ == "($self)"


class TestWorkedExample:
    QUERY = "MATCH (p:Persn) RETURN p"

    def test_to_json(self, validator):
        assert validator.validate(self.QUERY).to_json() == (
            '{"diagnostics":[{"code":"E201","code_name":"UnknownNodeLabel",'
            '"message":"Unknown node label: :Persn, did you mean :Person?","severity":"error",'
            '"suggestion_description":"Replace :Persn with :Person","suggestion_original":":Persn",'
            '"suggestion_replacement":":Person"}],'
            '"errors":["Unknown node label: :Persn, did you mean :Person?"],'
            '"fixed_query":"MATCH (p:Person) RETURN p","is_valid":false,'
            '"semantic_errors":["Unknown node label: :Persn, did you mean :Person?"],'
            '"syntax_errors":[],"warnings":[]}'
        )

    def test_reprs_truth_and_length(self, validator):
        result = validator.validate(self.QUERY)
        assert repr(result) == (
            'ValidationResult(is_valid=false, errors=["Unknown node label: :Persn, did you mean :Person?"])'
        )
        assert [repr(d) for d in result.diagnostics] == [
            "ValidationDiagnostic(code='E201', severity='error', "
            "message='Unknown node label: :Persn, did you mean :Person?', suggestion=':Person')"
        ]
        assert bool(result) is False
        assert len(result) == 1

    def test_to_dict(self, validator):
        assert validator.validate(self.QUERY).to_dict() == {
            "is_valid": False,
            "errors": [PERSN_MESSAGE],
            "syntax_errors": [],
            "semantic_errors": [PERSN_MESSAGE],
            "warnings": [],
            "fixed_query": "MATCH (p:Person) RETURN p",
            "diagnostics": [
                {
                    "code": "E201",
                    "code_name": "UnknownNodeLabel",
                    "severity": "error",
                    "message": PERSN_MESSAGE,
                    "suggestion_original": ":Persn",
                    "suggestion_replacement": ":Person",
                    "suggestion_description": "Replace :Persn with :Person",
                    "position_line": None,
                    "position_col": None,
                }
            ],
        }


class TestKindsOfResult:
    def test_valid_without_warnings(self, validator):
        result = validator.validate("MATCH (p:Person) RETURN p.name")
        assert (bool(result), len(result), result.is_valid) == (True, 0, True)
        assert result.fixed_query is None
        assert result.diagnostics == [] and result.warnings == []
        assert repr(result) == "ValidationResult(is_valid=true, errors=[])"
        assert result.to_json() == (
            '{"diagnostics":[],"errors":[],"fixed_query":null,"is_valid":true,'
            '"semantic_errors":[],"syntax_errors":[],"warnings":[]}'
        )

    def test_warnings_only(self, validator):
        result = validator.validate("MATCH (n) RETURN n")
        assert (bool(result), len(result), result.is_valid) == (True, 0, True)
        assert result.warnings == [W201_MESSAGE]
        assert result.errors == [] and result.fixed_query is None
        (diagnostic,) = result.diagnostics
        assert (diagnostic.code, diagnostic.code_name, diagnostic.severity) == (
            "W201",
            "UnlabeledFullScan",
            "warning",
        )
        assert repr(result) == "ValidationResult(is_valid=true, errors=[])"
        assert result.to_json() == (
            '{"diagnostics":[{"code":"W201","code_name":"UnlabeledFullScan",'
            f'"message":"{W201_MESSAGE}","severity":"warning"}}],'
            '"errors":[],"fixed_query":null,"is_valid":true,"semantic_errors":[],'
            f'"syntax_errors":[],"warnings":["{W201_MESSAGE}"]}}'
        )

    def test_syntax_error(self, validator):
        result = validator.validate("MATCH (n:Person)\nRETURN n +")
        (message,) = result.errors
        assert message.count("\n") >= 3
        assert '"' not in message and "\\" not in message
        assert result.syntax_errors == [message]
        assert result.semantic_errors == [] and result.warnings == []
        assert (bool(result), len(result), result.fixed_query) == (False, 1, None)

        (diagnostic,) = result.diagnostics
        assert diagnostic.to_dict() == {
            "code": "E101",
            "code_name": "ParseError",
            "severity": "error",
            "message": message,
            "suggestion_original": None,
            "suggestion_replacement": None,
            "suggestion_description": None,
            "position_line": 2,
            "position_col": 11,
        }
        assert type(diagnostic.position_line) is int and type(diagnostic.position_col) is int

        escaped = json.dumps(message)
        assert "\\n" in escaped
        assert result.to_json() == (
            '{"diagnostics":[{"code":"E101","code_name":"ParseError",'
            f'"message":{escaped},"position_col":11,"position_line":2,"severity":"error"}}],'
            f'"errors":[{escaped}],"fixed_query":null,"is_valid":false,"semantic_errors":[],'
            f'"syntax_errors":[{escaped}],"warnings":[]}}'
        )
        assert repr(result) == f"ValidationResult(is_valid=false, errors={json.dumps([message])})"
        assert repr(diagnostic) == (
            f"ValidationDiagnostic(code='E101', severity='error', message='{message}')"
        )

    def test_escapes_in_json_and_repr(self, validator):
        # A back-quoted label reaches the message verbatim, control characters included.
        label = '`q"b\\s/t\tz\x01\x7fé€`'
        result = validator.validate(f"MATCH (n:{label}) RETURN n")
        message = f"Unknown node label: :{label}"
        assert result.errors == [message]
        json_message = '"Unknown node label: :`q\\"b\\\\s/t\\tz\\u0001\x7fé€`"'
        assert result.to_json() == (
            '{"diagnostics":[{"code":"E201","code_name":"UnknownNodeLabel",'
            f'"message":{json_message},"severity":"error"}}],"errors":[{json_message}],'
            f'"fixed_query":null,"is_valid":false,"semantic_errors":[{json_message}],'
            '"syntax_errors":[],"warnings":[]}'
        )
        assert repr(result) == (
            'ValidationResult(is_valid=false, errors=["Unknown node label: '
            ':`q\\"b\\\\s/t\\tz\\u{1}\\u{7f}é€`"])'
        )
        (diagnostic,) = result.diagnostics
        assert repr(diagnostic) == (
            f"ValidationDiagnostic(code='E201', severity='error', message='{message}')"
        )

    def test_fixable_errors_with_a_warning(self, validator):
        result = validator.validate("MATCH (a:Persn), (b:Persn) RETURN a, b")
        assert result.errors == result.semantic_errors == [PERSN_MESSAGE, PERSN_MESSAGE]
        assert len(result) == 2 and not result
        assert [d.code for d in result.diagnostics] == ["E201", "E201", "W101"]
        assert result.fixed_query == "MATCH (a:Person), (b:Person) RETURN a, b"


class TestDiagnosticRepr:
    @pytest.mark.parametrize(
        ("query", "code", "message"),
        [
            ("MATCH (p:Xyz) RETURN p", "E201", "Unknown node label: :Xyz"),
            ("MATCH (p:Person) RETURN q", "E501", "Variable 'q' is not bound in this scope"),
        ],
    )
    def test_three_field_repr_and_nine_keys(self, validator, query, code, message):
        (diagnostic,) = validator.validate(query).diagnostics
        assert repr(diagnostic) == (
            f"ValidationDiagnostic(code='{code}', severity='error', message='{message}')"
        )
        as_dict = diagnostic.to_dict()
        assert list(as_dict) == DIAGNOSTIC_KEYS
        assert [as_dict[key] for key in SUGGESTION_KEYS + POSITION_KEYS] == [None] * 5
        assert diagnostic.suggestion_original is None and diagnostic.position_line is None

    def test_quotes_in_message_are_not_escaped(self, validator):
        (diagnostic,) = validator.validate("MATCH (p:Person) RETURN p.nme").diagnostics
        assert repr(diagnostic) == (
            "ValidationDiagnostic(code='E303', severity='error', message='Unknown property "
            "'nme' on variable 'p' with label :Person, did you mean .name?', suggestion='name')"
        )


class TestOwnership:
    QUERY = "MATCH (a:Persn), (b:Persn) RETURN a, b.nme"

    def test_diagnostics_are_new_objects_on_every_read(self, validator):
        result = validator.validate(self.QUERY)
        first, second = result.diagnostics, result.diagnostics
        assert first is not second
        assert len(first) == len(second) == 3
        for one, other in zip(first, second):
            assert one is not other
            assert one.to_dict() == other.to_dict()

    @pytest.mark.parametrize(
        "name", ["errors", "syntax_errors", "semantic_errors", "warnings", "diagnostics"]
    )
    def test_mutating_a_list_read_changes_nothing(self, validator, name):
        result = validator.validate(self.QUERY)
        before = result.to_json()
        first = getattr(result, name)
        assert getattr(result, name) is not first
        first.append("extra")
        first.reverse()
        assert result.to_json() == before
        assert len(result) == 2

    def test_mutating_dicts_changes_nothing(self, validator):
        result = validator.validate(self.QUERY)
        before = result.to_json()
        data = result.to_dict()
        data["errors"].clear()
        data["diagnostics"][0]["code"] = "E999"
        data["is_valid"] = True
        result.diagnostics[0].to_dict()["message"] = "changed"
        assert result.to_json() == before
        assert result.to_dict() is not result.to_dict()

    def test_diagnostics_outlive_their_result(self, validator):
        result = validator.validate("MATCH (p:Persn) RETURN p")
        diagnostics = result.diagnostics
        errors = result.errors
        del result
        gc.collect()
        validator.validate_batch(["MATCH (x:Other) RETURN x"] * 50)
        (diagnostic,) = diagnostics
        assert (diagnostic.code, diagnostic.message, diagnostic.suggestion_replacement) == (
            "E201",
            PERSN_MESSAGE,
            ":Person",
        )
        assert diagnostic.to_dict()["suggestion_original"] == ":Persn"
        assert errors == [PERSN_MESSAGE]


class TestDictAndJsonForms:
    def test_key_orders(self, validator):
        result = validator.validate("MATCH (p:Persn) RETURN p")
        as_dict = result.to_dict()
        assert list(as_dict) == RESULT_KEYS
        assert [list(d) for d in as_dict["diagnostics"]] == [DIAGNOSTIC_KEYS]
        assert list(result.diagnostics[0].to_dict()) == DIAGNOSTIC_KEYS
        members = list(json.loads(result.to_json()))
        assert members == sorted(RESULT_KEYS)

    @pytest.mark.parametrize(
        "query",
        [
            "MATCH (p:Person) RETURN p.name",
            "MATCH (n) RETURN n",
            "MATCH (n RETURN n",
            "",
            "RETURN 'é', ",
            "MATCH (p:Person {nme: 'x'}) RETURN p.agee",
            "MATCH (p:Person) RETURN p.nme, q",
            "MATCH (m:Movie)-[:ACTED_IN]->(p:Person) RETURN m",
            "MATCH (p:Person)-[:ACTD_IN*]->(m) RETURN count(*) AS c, count(*) AS c",
            "MATCH (p:Person) RETURN p SKIP true LIMIT 1.5",
            "MATCH (p:Person) WHERE count(p) > 1 RETURN foo(p), toUpper(DISTINCT p.name)",
            "MATCH (p:Person)\r\nWHERE p.name = 'tab\there' RETURN p",
        ],
    )
    def test_forms_agree(self, validator, query):
        result = validator.validate(query)
        assert bool(result) is result.is_valid is (result.errors == [])
        assert len(result) == len(result.errors)
        assert result.errors == result.syntax_errors + result.semantic_errors
        diagnostics = result.diagnostics
        assert [d.message for d in diagnostics if d.severity == "error"] == result.errors
        assert [d.message for d in diagnostics if d.severity == "warning"] == result.warnings
        for diagnostic in diagnostics:
            as_dict = diagnostic.to_dict()
            assert as_dict == {key: getattr(diagnostic, key) for key in DIAGNOSTIC_KEYS}
            assert len({as_dict[key] is None for key in SUGGESTION_KEYS}) == 1
            assert len({as_dict[key] is None for key in POSITION_KEYS}) == 1
            assert diagnostic.severity == "error" or as_dict["suggestion_original"] is None

        as_dict = result.to_dict()
        assert as_dict == {
            **{key: getattr(result, key) for key in RESULT_KEYS[:-1]},
            "diagnostics": [d.to_dict() for d in diagnostics],
        }
        assert result.to_json() == compact_sorted_json(result)
