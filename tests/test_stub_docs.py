"""The type stubs document every public name, and their examples run.

IDEs show the stubs' docstrings on hover and the API reference is generated from
them, so a name without one is a gap a user sees.
"""

from __future__ import annotations

import ast
import doctest
import importlib
import pathlib

import pytest

STUBS = pathlib.Path(__file__).resolve().parent.parent / "stubs"
STUB_FILES = sorted(STUBS.glob("*-stubs/**/*.pyi"))
# Names that are typing machinery rather than documented API.
UNDOCUMENTED = {"__all__", "__hash__"}
# Packages whose stubs carry usage examples, and how many at least.
MIN_EXAMPLES = {"vantorel": 10}


def module_name(path: pathlib.Path) -> str:
    parts = path.relative_to(STUBS).with_suffix("").parts
    parts = (parts[0].removesuffix("-stubs"), *parts[1:])
    return ".".join(parts[:-1] if parts[-1] == "__init__" else parts)


def documented(body: list[ast.stmt], prefix: str):
    """Yield (qualified name, docstring or None) for every definition in `body`."""
    for i, node in enumerate(body):
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            yield prefix + node.name, ast.get_docstring(node)
            if isinstance(node, ast.ClassDef):
                yield from documented(node.body, f"{prefix}{node.name}.")
        elif isinstance(node, ast.AnnAssign) and isinstance(node.target, ast.Name):
            if node.target.id in UNDOCUMENTED:
                continue
            after = body[i + 1] if i + 1 < len(body) else None
            doc = (
                after.value.value
                if isinstance(after, ast.Expr) and isinstance(after.value, ast.Constant)
                else None
            )
            yield prefix + node.target.id, doc


def test_stub_files_found():
    assert {module_name(p) for p in STUB_FILES} >= {"vantorel"}


@pytest.mark.parametrize("path", STUB_FILES, ids=module_name)
def test_every_public_name_has_a_docstring(path):
    module = importlib.import_module(module_name(path))
    tree = ast.parse(path.read_text())
    names = list(documented(tree.body, f"{module_name(path)}."))
    missing = [name for name, doc in names if not (doc and doc.strip())]
    assert ast.get_docstring(tree), "module docstring"
    # The walk sees every name the module exports, so a gap cannot hide from it.
    exported = {f"{module.__name__}.{name}" for name in module.__all__} - {f"{module.__name__}.__version__"}
    assert exported <= {name for name, _ in names}
    assert missing == [], f"{len(missing)} without a docstring: {missing}"


@pytest.mark.parametrize("path", STUB_FILES, ids=module_name)
def test_docstring_examples_run(path):
    module = importlib.import_module(module_name(path))
    tree = ast.parse(path.read_text())
    parser, runner = doctest.DocTestParser(), doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    examples = 0
    for name, doc in documented(tree.body, f"{module_name(path)}."):
        test = parser.get_doctest(doc or "", dict(vars(module)), name, str(path), 0)
        examples += len(test.examples)
        runner.run(test)
    result = runner.summarize(verbose=False)
    assert examples >= MIN_EXAMPLES.get(module.__name__, 0) and result.failed == 0, result
