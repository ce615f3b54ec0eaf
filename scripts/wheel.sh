#!/usr/bin/env bash
# scripts/wheel.sh: the sdist and one wheel per CPython >= 3.12 found, into dist/.
# Each wheel is repaired by auditwheel to the platform tag that `auditwheel show`
# reports; a wheel into which auditwheel would graft shared libraries is refused.
# Then the sdist is built into a wheel too, and scripts/wheel-check.sh installs and
# smoke-tests every wheel without a compiler.
set -euo pipefail
cd "$(dirname "$0")/.."
work=build/wheel
rm -rf dist "$work"
mkdir -p dist "$work"

tools_venv() {  # tools_venv PYTHON: a venv with the `wheel` dependency group; prints its python
  local py=$1 venv
  venv="$work/tools-$("$py" -c 'import sys; print("%d.%d" % sys.version_info[:2])')"
  "$py" -m venv "$venv" >&2
  "$venv/bin/python" -m pip install -q --disable-pip-version-check --upgrade pip 2>&1 | grep -v '^WARNING: Location' >&2 || true
  "$venv/bin/python" -m pip install -q --disable-pip-version-check --group wheel 2>&1 | grep -v '^WARNING: Location' >&2 || true
  "$venv/bin/python" -m auditwheel --version >/dev/null
  echo "$venv/bin/python"
}

first=""
for py in $(scripts/find-pythons.sh); do
  tpy=$(tools_venv "$py")
  [ -n "$first" ] || first=$tpy
  echo "=== wheel for $("$py" --version) ==="
  rm -rf "$work/raw" && mkdir -p "$work/raw"
  "$tpy" -m build --wheel --outdir "$work/raw" . >"$work/build.log" 2>&1 || { tail -40 "$work/build.log"; exit 1; }
  raw=$(ls "$work"/raw/*.whl)
  "$tpy" -m auditwheel show "$raw" | tee "$work/show.txt"
  plat=$(tr '\n' ' ' <"$work/show.txt" | sed -n 's/.*consistent with the *following platform tag: *"\([^"]*\)".*/\1/p')
  [ -n "$plat" ] || { echo "wheel: no platform tag in auditwheel show's report" >&2; exit 1; }
  PATH="$(dirname "$tpy"):$PATH" "$tpy" -m auditwheel repair --plat "$plat" --wheel-dir dist "$raw" >"$work/repair.log" 2>&1 \
    || { cat "$work/repair.log"; exit 1; }
  repaired=$(ls -t dist/*.whl | head -1)
  grafted=$("$tpy" -m zipfile -l "$repaired" | awk '{print $1}' | grep -E '\.libs/' || true)
  if [ -n "$grafted" ]; then
    echo "wheel: auditwheel bundled shared libraries into $repaired:" >&2
    echo "$grafted" >&2
    exit 1
  fi
  echo "-> $repaired"
done

echo "=== sdist ==="
"$first" -m build --sdist --outdir dist . >"$work/sdist.log" 2>&1 || { tail -40 "$work/sdist.log"; exit 1; }
sdist=$(ls dist/*.tar.gz)
echo "-> $sdist"
# The sdist must build on its own: pip wheel from it (a fresh build outside this tree).
"$first" -m pip wheel -q --disable-pip-version-check --no-deps --wheel-dir "$work/from-sdist" "$sdist" \
  >"$work/from-sdist.log" 2>&1 || { tail -40 "$work/from-sdist.log"; exit 1; }
echo "-> built $(ls "$work"/from-sdist/*.whl) from the sdist"

scripts/wheel-check.sh
