#!/usr/bin/env bash
# scripts/bench.sh [case filter]: time vantorel against its peers in one run and print ratios.
set -euo pipefail
cd "$(dirname "$0")/.."
py=$(scripts/find-pythons.sh | awk '{print $1}')
venv_py=$(scripts/venv.sh "$py" bench)
for peer in QuantLib voltic fast-vollib py_lets_be_rational; do
  "$venv_py" -m pip install -q --disable-pip-version-check "$peer" >/dev/null 2>&1 || echo "($peer did not install: its columns are skipped)"
done
"$venv_py" bench/run.py "$@"
# Implied volatility: accuracy against mpmath prices and speed beside other solvers
# (the reference prices are computed once, a few minutes, and cached under build/).
if [[ "implied_vol" == *"${1:-}"* ]]; then
  "$venv_py" bench/implied_vol.py
fi
# American options and cash dividends beside QuantLib's engines (100,000 options, a few minutes).
if [[ "american" == *"${1:-}"* ]]; then
  "$venv_py" bench/american.py
fi
