#!/usr/bin/env bash
# scripts/demo.sh: build and install vantorel, then run the demo on its sample data.
set -euo pipefail
cd "$(dirname "$0")/.."
py=$(scripts/find-pythons.sh | awk '{print $1}')
venv_py=$(scripts/venv.sh "$py" plot,dask)
exec "$venv_py" examples/demo.py "$@"
