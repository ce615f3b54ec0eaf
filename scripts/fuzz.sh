#!/usr/bin/env bash
# scripts/fuzz.sh [SECONDS]: coverage-guided fuzzing of the text parsers (Date, Tenor,
# Calendar, DayCounter, add_tenor) against their model in tests/fuzz/fuzz_parsers.py,
# for SECONDS (default 300), with the first Python found. The extension is built with
# Clang's coverage instrumentation, AddressSanitizer and UndefinedBehaviorSanitizer
# (Debian: apt-get install clang-16 libclang-rt-16-dev); libFuzzer and the sanitizer
# runtimes are preloaded as one library made from Clang's runtime archives (atheris,
# the `fuzz` extra, drives libFuzzer from Python). The corpus is kept in
# build/fuzz/corpus; a crash, a sanitizer report or a mismatch fails the run and
# leaves its input in build/fuzz/.
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
rt=$([ -n "$cxx" ] && "$cxx" -print-runtime-dir || true)
if [ -z "$cxx" ] || [ ! -f "$rt/libclang_rt.fuzzer_no_main-x86_64.a" ]; then
  echo "fuzz: needs Clang and its runtimes (Debian: apt-get install clang-16 libclang-rt-16-dev)" >&2
  exit 1
fi
py=$(scripts/find-pythons.sh | awk '{print $1}')
venv_py=$(scripts/venv.sh "$py" fuzz deps-only)  # the module comes from build/fuzz
CXX=$cxx cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE="$py" \
  -DVANTOREL_FUZZ=ON -DVANTOREL_SANITIZE=ON -DVANTOREL_ARRAYS=OFF >/dev/null
cmake --build build/fuzz -j2 >/dev/null
runtime=build/fuzz/asan_with_fuzzer.so
if [ ! -f "$runtime" ]; then
  # The ASan runtime as a shared library (without its executable-only pre-init part)
  # together with libFuzzer, so that the coverage callbacks are libFuzzer's.
  objects=$(mktemp -d)
  (cd "$objects" && ar x "$rt/libclang_rt.asan-x86_64.a" && rm -f asan_preinit.cpp.o)
  "$cxx" -shared -o "$runtime" "$objects"/*.o -Wl,--whole-archive "$rt/libclang_rt.fuzzer_no_main-x86_64.a" \
    "$rt/libclang_rt.asan_cxx-x86_64.a" -Wl,--no-whole-archive -lpthread -ldl -lrt -lm
  rm -rf "$objects"
fi
mkdir -p build/fuzz/corpus
log=build/fuzz/fuzz.log
# The target silences stderr while it calls the module (fatal-error diagnostics),
# so the sanitizers write their reports to files of their own.
rm -f build/fuzz/sanitizer.*
report=log_path=$PWD/build/fuzz/sanitizer
symbolizer=$(command -v llvm-symbolizer-16 || command -v llvm-symbolizer || true)
[ -n "$symbolizer" ] && export ASAN_SYMBOLIZER_PATH=$symbolizer
if ! LD_PRELOAD="$PWD/$runtime" ASAN_OPTIONS=detect_leaks=0:$report PYTHONMALLOC=malloc \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:$report PYTHONPATH=build/fuzz \
    "$venv_py" tests/fuzz/fuzz_parsers.py -max_total_time="$seconds" \
    -dict=tests/fuzz/parsers.dict -artifact_prefix=build/fuzz/ build/fuzz/corpus 2>"$log"; then
  tail -n 30 "$log"
  cat build/fuzz/sanitizer.* 2>/dev/null | head -n 40
  exit 1
fi
grep -E "^Done [0-9]+ runs" "$log"
