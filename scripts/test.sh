#!/usr/bin/env bash
# Checks the C++ layout (scripts/check-format.sh), then builds everything and runs all tests
# headless, twice: in build/ with warnings as errors, then in build-sanitize/ under
# AddressSanitizer and UndefinedBehaviorSanitizer; then the net, ftp and app suites, whose
# sessions run on worker threads, in build-tsan/ under ThreadSanitizer. Arguments go to every
# ctest run (for example -R Login).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --tests

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

echo "== format"
bash scripts/check-format.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARVEL_WERROR=ON >/dev/null
run_suite build

# Warnings are checked above: GCC's sanitizer instrumentation can raise warnings of its own.
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZARVEL_SANITIZE=address,undefined >/dev/null
run_suite build-sanitize

# Only the three suites' programs are built: a ThreadSanitizer build of the whole tree would
# double the run's time. A finding fails its test (ThreadSanitizer's exit code).
# die_after_fork=0: QProcess forks the test servers and ftpput from a process with threads.
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:die_after_fork=0}
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARVEL_SANITIZE=thread >/dev/null
echo "== build-tsan: build"
cmake --build build-tsan -j2 --target net_tests ftp_tests app_tests
echo "== build-tsan: tests"
(cd build-tsan && ctest --output-on-failure -j2 -L 'net|ftp' "${ctest_args[@]}")
# The app suite's window hands work to its stations through Qt's queued events, whose memory
# Qt (not instrumented) allocates on one thread and frees on the other: only accesses made by
# our own code count. Its real-server fixture starts a process from a threaded program.
(cd build-tsan && TSAN_OPTIONS="$TSAN_OPTIONS:ignore_noninstrumented_modules=1:die_after_fork=0" \
  ctest --output-on-failure -j2 -L app "${ctest_args[@]}")
