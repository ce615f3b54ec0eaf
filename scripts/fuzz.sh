#!/usr/bin/env bash
# scripts/fuzz.sh [SECONDS]: coverage-guided fuzzing of the text parsers (Date, Tenor,
# Calendar, DayCounter, add_tenor) against their model in tests/fuzz/fuzz_parsers.py,
# for SECONDS (default 300), with the first Python found. The extension is built with
# Clang's coverage instrumentation (Debian: apt-get install clang-16 libclang-rt-16-dev);
# libFuzzer comes with atheris (the `fuzz` extra). The corpus is kept in build/fuzz/corpus;
# a crash or a mismatch fails the run and leaves its input in build/fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
find_clang() { command -v clang++-16 || command -v clang++ || true; }
cxx=${VANTOREL_FUZZ_CXX:-$(find_clang)}
if [ -z "$cxx" ] && [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    clang-16 libclang-rt-16-dev >&2
  cxx=$(find_clang)
fi
if [ -z "$cxx" ]; then
  echo "fuzz: needs Clang (Debian: apt-get install clang-16 libclang-rt-16-dev)" >&2
  exit 1
fi
py=$(scripts/find-pythons.sh | awk '{print $1}')
venv_py=$(scripts/venv.sh "$py" fuzz deps-only)  # the module comes from build/fuzz
CXX=$cxx cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE="$py" -DVANTOREL_FUZZ=ON >/dev/null
cmake --build build/fuzz -j2 >/dev/null
mkdir -p build/fuzz/corpus
log=build/fuzz/fuzz.log
if ! PYTHONPATH=build/fuzz "$venv_py" tests/fuzz/fuzz_parsers.py -max_total_time="$seconds" \
    -dict=tests/fuzz/parsers.dict -artifact_prefix=build/fuzz/ build/fuzz/corpus 2>"$log"; then
  tail -n 30 "$log"
  exit 1
fi
grep -E "^Done [0-9]+ runs" "$log"
