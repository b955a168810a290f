#!/usr/bin/env bash
# Builds everything and runs all tests headless, twice: in build/ with warnings as errors,
# then in build-sanitize/ under AddressSanitizer and UndefinedBehaviorSanitizer.
# Arguments go to both ctest runs (for example -L net or -R Login).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
# A sanitizer finding stops the test with its stack. LeakSanitizer stays on: the suite
# leaks nothing, Qt and fontconfig included.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

run_suite() {
  local dir=$1
  echo "== $dir: build"
  cmake --build "$dir" -j2
  echo "== $dir: tests"
  (cd "$dir" && ctest --output-on-failure -j2 "${ctest_args[@]}")
}
ctest_args=("$@")

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARVEL_WERROR=ON >/dev/null
run_suite build

# Warnings are checked above: GCC's sanitizer instrumentation can raise warnings of its own.
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZARVEL_SANITIZE=address,undefined >/dev/null
run_suite build-sanitize
