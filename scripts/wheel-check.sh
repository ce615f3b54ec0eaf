#!/usr/bin/env bash
# scripts/wheel-check.sh: install each wheel in dist/ into a fresh virtual environment with
# no compiler on PATH (binary packages only), import every top-level module the wheel
# carries, and run the demo's smoke test (tests/test_demo.py) against the installed copy.
set -euo pipefail
cd "$(dirname "$0")/.."
shopt -s nullglob
wheels=(dist/*.whl)
[ ${#wheels[@]} -gt 0 ] || { echo "wheel-check: no wheel in dist/ (make wheel)" >&2; exit 1; }
status=0
for py in $(scripts/find-pythons.sh); do
  tag=$("$py" -c 'import sys; print("cp%d%d" % sys.version_info[:2])')
  for wheel in dist/*-"$tag"-*.whl; do
    echo "=== $wheel ==="
    tmp=$(mktemp -d)
    "$py" -m venv "$tmp/venv"
    # PATH holds the venv alone: no cc, c++, gcc, g++, ld or make can be found.
    env_=(env -i HOME="$tmp" PATH="$tmp/venv/bin" LANG=C.UTF-8 MPLBACKEND=Agg)
    for tool in cc c++ gcc g++ clang ld make cmake; do
      if "${env_[@]}" bash -c "command -v $tool" >/dev/null 2>&1; then
        echo "wheel-check: $tool is on the check's PATH" >&2; exit 1
      fi
    done
    "${env_[@]}" "$tmp/venv/bin/python" -m pip install -q --disable-pip-version-check --only-binary=:all: \
      "$wheel[plot,dask]" pytest
    modules=$("$py" - "$wheel" <<'PY'
import sys, zipfile
names = zipfile.ZipFile(sys.argv[1]).namelist()
tops = {n.split("/")[0] for n in names}
mods = {t.split(".")[0] for t in tops if not t.endswith((".dist-info", ".libs", "-stubs"))}
print(" ".join(sorted(mods)))
PY
)
    for module in $modules; do
      "${env_[@]}" "$tmp/venv/bin/python" -c "
import $module, sys
assert '$tmp' in $module.__file__, $module.__file__
print('import $module:', getattr($module, '__version__', ''), $module.__file__)" || status=1
    done
    "${env_[@]}" "$tmp/venv/bin/python" -m pytest -q -p no:cacheprovider tests/test_demo.py || status=1
    rm -rf "$tmp"
  done
done
exit $status
