#!/usr/bin/env bash
# scripts/test.sh: build and install vantorel for each CPython >= 3.12 found, then run
# the whole test-suite and the stub check against the installed module.
set -euo pipefail
cd "$(dirname "$0")/.."
# The installed build treats warnings as errors here, so that CI fails on them.
export VANTOREL_WERROR=ON
status=0
echo "=== native core ==="
cmake -S . -B build/core -DCMAKE_BUILD_TYPE=Release -DVANTOREL_PYTHON_MODULE=OFF \
  -DVANTOREL_CORE_TESTS=ON -DVANTOREL_WERROR=ON >/dev/null
cmake --build build/core -j2 >/dev/null
build/core/vantorel_core_tests || status=1
build/core/vantorel_instruments_tests || status=1
for py in $(scripts/find-pythons.sh); do
  echo "=== $("$py" --version) ==="
  venv_py=$(scripts/venv.sh "$py" test)
  # pytest exits 5 when it collects no test: that fails the run like any other error.
  "$venv_py" -m pytest -q -p no:cacheprovider "$@" || status=1
  "$venv_py" -m mypy.stubtest vantorel vantorel_np vantorel_rates || status=1
  "$venv_py" -m mypy --strict --no-incremental tests/typing/usage.py || status=1
  "$(dirname "$venv_py")/pyright" --pythonpath "$venv_py" tests/typing/usage.py || status=1
done
exit $status
