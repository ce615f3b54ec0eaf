#!/usr/bin/env bash
# scripts/dev-build.sh [cmake -D options]: quick incremental build of the extension into
# build/dev for the first Python found; use it with PYTHONPATH=build/dev.
set -euo pipefail
cd "$(dirname "$0")/.."
py=$(scripts/find-pythons.sh | awk '{print $1}')
# vantorel_np needs the numpy headers: from this Python, else from its venv, else it is left out.
arrays=(-DVANTOREL_ARRAYS=OFF)
for candidate in "$py" ".venv/$("$py" -c 'import sys; print("%d.%d" % sys.version_info[:2])')/bin/python"; do
  if include=$("$candidate" -c 'import numpy; print(numpy.get_include())' 2>/dev/null); then
    arrays=(-DVANTOREL_ARRAYS=ON -DVANTOREL_NUMPY_INCLUDE="$include")
    break
  fi
done
[ "${arrays[0]}" = -DVANTOREL_ARRAYS=OFF ] && echo "dev-build: no numpy for $py: vantorel_np is left out" >&2
cmake -S . -B build/dev -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE="$py" -DVANTOREL_WERROR=ON "${arrays[@]}" "$@" >/dev/null
cmake --build build/dev -j2
