"""The type stub src/_morvane.pyi against the built module, as typed code sees it, and as pip
installs it."""

import ast
import inspect
import os
import subprocess
import sys
from pathlib import Path

import pytest

import _morvane

SOURCE_ROOT = Path(__file__).resolve().parents[2]
STUB = SOURCE_ROOT / "src" / "_morvane.pyi"

# CPython's type flag for a class that only the module itself creates.
DISALLOW_INSTANTIATION = 1 << 7


def child_environment():
    # The children run elsewhere (mypy leaves its cache in their working directory), so the
    # relative entries of PYTHONPATH are resolved here.
    paths = os.environ.get("PYTHONPATH", "").split(os.pathsep)
    pythonpath = os.pathsep.join(os.path.abspath(p) for p in paths if p)
    return dict(os.environ, MYPYPATH=str(STUB.parent), PYTHONPATH=pythonpath)


def mypy_importable():
    # Tried in a child: a mypy built for another interpreter can be on the path and fail while
    # importing with errors other than ImportError.
    probe = [sys.executable, "-c", "import mypy.api, mypy.stubtest"]
    return subprocess.run(probe, env=child_environment(), capture_output=True).returncode == 0


needs_mypy = pytest.mark.skipif(not mypy_importable(),
                                reason="mypy cannot be imported by this interpreter")


def run_mypy(tmp_path, *args, python=sys.executable, env=None):
    return subprocess.run([python, "-m", *args], cwd=tmp_path, env=env or child_environment(),
                          capture_output=True, text=True)


@needs_mypy
def test_stubtest_finds_no_difference(tmp_path):
    done = run_mypy(tmp_path, "mypy.stubtest", "_morvane")
    assert done.returncode == 0, done.stdout + done.stderr


def stub_classes():
    tree = ast.parse(STUB.read_text())
    return [node for node in tree.body if isinstance(node, ast.ClassDef)
            and not node.name.startswith("_")]


def decorated(function, name):
    return any(isinstance(d, ast.Name) and d.id == name for d in function.decorator_list)


# stubtest reads a type's __new__ as (*args, **kwargs) and does not compare properties with
# plain attributes or look for __bool__ and __len__; these are checked here instead.
@pytest.mark.parametrize("node", stub_classes(), ids=lambda node: node.name)
def test_stub_class_matches_runtime_where_stubtest_does_not_look(node):
    runtime = getattr(_morvane, node.name)
    functions = {f.name: f for f in node.body if isinstance(f, ast.FunctionDef)}
    attributes = [a for a in node.body if isinstance(a, ast.AnnAssign)]
    assert attributes == []

    properties = {name for name, f in functions.items() if decorated(f, "property")}
    getters = {name for name, value in vars(runtime).items() if inspect.isgetsetdescriptor(value)}
    assert properties == getters

    protocols = {"__bool__", "__len__"}
    assert protocols & functions.keys() == protocols & vars(runtime).keys()

    if runtime.__flags__ & DISALLOW_INSTANTIATION:
        assert "__new__" not in functions
        return
    new = functions["__new__"].args
    params = new.args[1:]
    defaults = [None] * (len(params) - len(new.defaults)) + new.defaults
    stub_signature = [(p.arg, ast.literal_eval(d) if d else inspect.Parameter.empty)
                      for p, d in zip(params, defaults)]
    runtime_params = inspect.signature(runtime).parameters.values()
    runtime_signature = [(p.name, p.default) for p in runtime_params]
    assert stub_signature == runtime_signature
    assert not new.kwonlyargs and not new.posonlyargs and new.vararg is None


USAGE = '''
from typing import Any, assert_type

from _morvane import (
    CypherGenerator,
    Morvane,
    QueryInfo,
    Schema,
    ValidationDiagnostic,
    ValidationResult,
    parse_query,
)

nodes: dict[str, list[str]] = {"Person": ["name", "age"], "Movie": ["title"]}
relationships: dict[str, tuple[str, str, list[str]]] = {"ACTED_IN": ("Person", "Movie", ["role"])}
schema = Schema(nodes=nodes, relationships=relationships)
other = Schema({"City": ("name",)}, {"LIVES_IN": ("Person", "City", ())})
assert_type(schema.merge(other=other), Schema)
assert_type(Schema.from_json(json_str=schema.to_json()), Schema)
exported = schema.to_dict()
assert_type(exported["nodes"], dict[str, list[str]])
assert_type(exported["relationships"], dict[str, tuple[str, str, list[str]]])
assert_type(Schema.from_dict(d=exported), Schema)
loose: dict[str, Any] = {"nodes": {}, "relationships": {}}
assert_type(Schema.from_dict(loose), Schema)
assert_type(schema.node_labels(), list[str])
assert_type(schema.rel_types(), list[str])
assert_type(schema.has_node_label(label="Person"), bool)
assert_type(schema.has_rel_type(rel_type="ACTED_IN"), bool)
assert_type(schema.node_properties(label="Person"), list[str])
assert_type(schema.rel_properties(rel_type="ACTED_IN"), list[str])
assert_type(schema.rel_endpoints(rel_type="ACTED_IN"), tuple[str, str] | None)
assert_type(schema.to_prompt() + schema.to_markdown() + schema.to_cypher_context(), str)

validator = Morvane(schema=schema)
assert_type(validator.schema, Schema)
result = validator.validate(query="MATCH (p:Person) RETURN p.name")
assert_type(result, ValidationResult)
assert_type(validator.validate_batch(queries=("RETURN 1",)), list[ValidationResult])
assert_type(bool(result) and result.is_valid, bool)
assert_type(len(result), int)
assert_type(result.errors + result.syntax_errors + result.semantic_errors + result.warnings,
            list[str])
assert_type(result.fixed_query, str | None)
assert_type(result.to_json(), str)
summary = result.to_dict()
assert_type(summary["is_valid"], bool)
assert_type(summary["fixed_query"], str | None)
assert_type(summary["diagnostics"][0]["position_line"], int | None)

for diagnostic in result.diagnostics:
    assert_type(diagnostic, ValidationDiagnostic)
    assert_type(diagnostic.code + diagnostic.code_name + diagnostic.severity + diagnostic.message,
                str)
    assert_type(diagnostic.suggestion_original, str | None)
    assert_type(diagnostic.suggestion_replacement, str | None)
    assert_type(diagnostic.suggestion_description, str | None)
    assert_type(diagnostic.position_line, int | None)
    assert_type(diagnostic.position_col, int | None)
    assert_type(diagnostic.to_dict()["code"], str)

generator = CypherGenerator(schema, seed=7)
unseeded = CypherGenerator(schema=schema)
assert_type(generator.generate(query_type="match"), str)
assert_type(unseeded.generate_batch(query_type="match", n=3), list[str])
assert_type(CypherGenerator.supported_types(), list[str])

info = parse_query(query="MATCH (p:Person) RETURN p.name")
assert_type(info, QueryInfo)
assert_type(bool(info) and info.is_valid, bool)
assert_type(info.errors + info.labels_used + info.rel_types_used + info.properties_used,
            list[str])
'''


@needs_mypy
def test_stub_types_typical_use_under_strict_mypy(tmp_path):
    done = run_mypy(tmp_path, "mypy", "--strict", "--no-incremental", "-c", USAGE)
    assert done.returncode == 0, done.stdout + done.stderr


# Set for one run of the suite only, as each install builds the module anew.
PIP_INSTALL = os.environ.get("MORVANE_PIP_INSTALL") == "1"


def user_environment():
    # What a user's shell has: neither the build tree nor the source stub on any search path.
    return {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "MYPYPATH")}


@pytest.fixture(scope="module")
def installed_python(tmp_path_factory):
    """A virtual environment's interpreter, the module installed into it with pip as a user
    installs it."""
    if not PIP_INSTALL:
        pytest.skip("MORVANE_PIP_INSTALL is not 1")
    venv = tmp_path_factory.mktemp("venv")
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", venv], check=True)
    python = venv / "bin" / "python"
    done = subprocess.run([python, "-m", "pip", "install", "--quiet", "--no-build-isolation",
                           "--no-index", SOURCE_ROOT],
                          env=user_environment(), capture_output=True, text=True)
    assert done.returncode == 0, done.stdout + done.stderr
    return python


def installed_output(python, code):
    return subprocess.run([python, "-c", code], env=user_environment(), check=True,
                          capture_output=True, text=True).stdout.strip()


def test_pip_install_puts_the_stub_beside_the_module_and_in_a_stub_package(installed_python):
    site = Path(installed_output(installed_python,
                                 "import sysconfig; print(sysconfig.get_path('platlib'))"))
    for name in ("_morvane.pyi", "_morvane-stubs/__init__.pyi"):
        assert (site / name).read_bytes() == STUB.read_bytes(), name


def test_pip_install_declares_the_licence(installed_python):
    licence = installed_output(installed_python, "from importlib.metadata import metadata; "
                                                 "print(metadata('morvane')['License'])")
    assert licence == "MIT"


# mypy reads no stub that lies beside a module of one file; this finds the one pip installs.
@needs_mypy
def test_installed_stub_types_typical_use_under_strict_mypy(installed_python, tmp_path):
    done = run_mypy(tmp_path, "mypy", "--strict", "--no-incremental", "-c", USAGE,
                    python=installed_python, env=user_environment())
    assert done.returncode == 0, done.stdout + done.stderr
