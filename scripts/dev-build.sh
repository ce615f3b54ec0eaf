#!/usr/bin/env bash
# scripts/dev-build.sh [cmake -D options]: quick incremental build of the extension into
# build/dev for the first Python found; use it with PYTHONPATH=build/dev.
set -euo pipefail
cd "$(dirname "$0")/.."
py=$(scripts/find-pythons.sh | awk '{print $1}')
cmake -S . -B build/dev -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE="$py" -DVANTOREL_WERROR=ON "$@" >/dev/null
cmake --build build/dev -j2
