#!/usr/bin/env bash
# scripts/docs.sh: build the documentation into build/docs/html; any warning fails it.
# The demo's figures are drawn first, with the module built from this checkout.
set -euo pipefail
cd "$(dirname "$0")/.."
py=$(scripts/find-pythons.sh | awk '{print $1}')
venv_py=$(scripts/venv.sh "$py" docs)
rm -rf docs/_generated
mkdir -p build
"$venv_py" examples/demo.py docs/_generated/figures >build/docs-demo.log 2>&1 || { cat build/docs-demo.log; exit 1; }
"$venv_py" -m sphinx -W --keep-going -q -b html docs build/docs/html
echo "Documentation in $PWD/build/docs/html/index.html"
