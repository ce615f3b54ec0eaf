#!/usr/bin/env bash
# scripts/find-pythons.sh: print the CPython >= 3.12 interpreters to build and test with.
# VANTOREL_PYTHONS (space-separated paths) overrides the search; otherwise every
# pyenv-installed 3.12/3.13 is used, else python3.13/python3.12 from PATH.
set -euo pipefail
if [ -n "${VANTOREL_PYTHONS:-}" ]; then
  echo "$VANTOREL_PYTHONS"
  exit 0
fi
found=()
root=$(pyenv root 2>/dev/null || echo "$HOME/.pyenv")
for minor in 3.12 3.13; do
  best=""
  for dir in "$root"/versions/"$minor".*; do
    [ -x "$dir/bin/python" ] && best="$dir/bin/python"
  done
  if [ -z "$best" ] && command -v "python$minor" >/dev/null 2>&1; then
    best=$(command -v "python$minor")
  fi
  [ -n "$best" ] && found+=("$best")
done
if [ ${#found[@]} -eq 0 ]; then
  echo "find-pythons: no CPython 3.12 or 3.13 found (install one with pyenv)" >&2
  exit 1
fi
echo "${found[@]}"
