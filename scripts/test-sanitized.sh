#!/usr/bin/env bash
# scripts/test-sanitized.sh: build the extension with AddressSanitizer and
# UndefinedBehaviorSanitizer and run the test-suite under it. A sanitized extension
# in a normal interpreter needs the sanitizer runtime preloaded, leak detection off
# (the interpreter keeps memory at exit) and the system allocator for Python objects.
set -euo pipefail
cd "$(dirname "$0")/.."
py=$(scripts/find-pythons.sh | awk '{print $1}')
venv_py=$(scripts/venv.sh "$py" test)
numpy_include=$("$venv_py" -c 'import numpy; print(numpy.get_include())')
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DPython_EXECUTABLE="$py" -DVANTOREL_SANITIZE=ON \
  -DVANTOREL_NUMPY_INCLUDE="$numpy_include" -DVANTOREL_WERROR=ON >/dev/null
cmake --build build/asan -j2
asan=$(g++ -print-file-name=libasan.so)
ubsan=$(g++ -print-file-name=libubsan.so)
LD_PRELOAD="$asan:$ubsan" ASAN_OPTIONS=detect_leaks=0 PYTHONMALLOC=malloc \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 PYTHONPATH=build/asan \
  "$venv_py" -m pytest -q -p no:cacheprovider "$@"
