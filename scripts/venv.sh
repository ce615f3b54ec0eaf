#!/usr/bin/env bash
# scripts/venv.sh PYTHON [EXTRAS] [deps-only]: make .venv/<version> for PYTHON, install
# vantorel (built from this checkout) with the given extras, and print the venv's python.
# With deps-only, only the extras' requirements are installed (for a run that takes
# the module from a build directory of its own).
set -euo pipefail
cd "$(dirname "$0")/.."
py=$1
extras=${2:-test}
version=$("$py" -c 'import sys; print("%d.%d" % sys.version_info[:2])')
venv=".venv/$version"
if [ ! -x "$venv/bin/python" ]; then
  "$py" -m venv "$venv" >&2
fi
"$venv/bin/python" -m pip install -q --disable-pip-version-check --upgrade pip >&2
if [ "${3:-}" = deps-only ]; then
  # shellcheck disable=SC2046  # one requirement per word
  "$venv/bin/python" -m pip install -q --disable-pip-version-check $("$venv/bin/python" -c '
import sys, tomllib
extras = tomllib.load(open("pyproject.toml", "rb"))["project"]["optional-dependencies"]
print(" ".join(r for e in sys.argv[1].split(",") for r in extras[e]))' "$extras") >&2
else
  "$venv/bin/python" -m pip install -q --disable-pip-version-check ".[$extras]" >&2
fi
echo "$PWD/$venv/bin/python"
