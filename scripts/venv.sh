#!/usr/bin/env bash
# scripts/venv.sh PYTHON [EXTRAS]: make .venv/<version> for PYTHON, install vantorel
# (built from this checkout) with the given extras, and print the venv's python.
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
"$venv/bin/python" -m pip install -q --disable-pip-version-check ".[$extras]" >&2
echo "$PWD/$venv/bin/python"
