"""Sphinx configuration: the user guide in reStructuredText, the API reference from the type stubs."""

from __future__ import annotations

import pathlib
import shutil
import tomllib

ROOT = pathlib.Path(__file__).resolve().parent.parent
PROJECT = tomllib.loads((ROOT / "pyproject.toml").read_text())["project"]

project = PROJECT["name"]
release = version = PROJECT["version"]
copyright = "the vantorel developers"  # noqa: A001 (Sphinx's name)

extensions = ["autoapi.extension"]
html_theme = "furo"
html_title = f"vantorel {release}"
exclude_patterns = ["_build"]
nitpicky = True
# The stubs' own typing names, their private type aliases (_Day, _Errors) and
# numpy's types (ufunc, datetime64, numpy.typing), which have no page of their own.
nitpick_ignore_regex = [
    ("py:class", r"(collections\.abc|typing|numpy)\..*"),
    ("py:class", r"_[A-Za-z]\w*"),
    ("py:exc", r"FatalError"),
]

# The API reference is read statically from the PEP 561 stub packages under stubs/:
# stubs/<module>-stubs is laid out as <module>/ so that the pages name the module
# users import. Every stub package found there gets its reference, and so does
# every package under python/ with inline stubs (its .pyi files alone).
API_SRC = ROOT / "build" / "docs-api-src"
shutil.rmtree(API_SRC, ignore_errors=True)
for stub_package in sorted((ROOT / "stubs").glob("*-stubs")):
    shutil.copytree(stub_package, API_SRC / stub_package.name.removesuffix("-stubs"))
for package in sorted(p.parent for p in (ROOT / "python").glob("*/__init__.pyi")):
    shutil.copytree(package, API_SRC / package.name, ignore=lambda _, names: [n for n in names if not n.endswith(".pyi")])

autoapi_type = "python"
autoapi_dirs = sorted(str(p) for p in API_SRC.iterdir())
autoapi_file_patterns = ["*.pyi"]
autoapi_root = "api"
autoapi_keep_files = False
autoapi_add_toctree_entry = False
autoapi_member_order = "bysource"
autoapi_python_class_content = "both"
autoapi_options = ["members", "undoc-members", "show-module-summary", "special-members", "imported-members"]


def _drop_generic_constructor_text(app, what, name, obj, options, lines):
    """A NamedTuple has no constructor docstring of its own: the one AutoAPI finds is
    object.__init__'s generic text, which says nothing, so it is left out."""
    generic = object.__init__.__doc__
    if what == "class" and generic in lines:
        lines.remove(generic)


def setup(app):
    app.connect("autodoc-process-docstring", _drop_generic_constructor_text)
