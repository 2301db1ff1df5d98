#!/usr/bin/env bash
# Runs every test. With --sanitizers it also runs the ThreadSanitizer build of the
# link and panel tests, the AddressSanitizer+UBSan build of all tests and the fuzzers.
set -euo pipefail
cd "$(dirname "$0")/.."
usage() {
  echo "usage: scripts/test.sh [--sanitizers]"
  echo "Builds and runs every test; --sanitizers adds the ThreadSanitizer, AddressSanitizer+UBSan"
  echo "and fuzz runs."
}
sanitizers=no
case "$#:${1:-}" in
  0:) ;;
  1:--sanitizers) sanitizers=yes ;;
  1:--help | 1:-h) usage; exit 0 ;;
  *) echo "scripts/test.sh: unknown argument(s): $*" >&2; usage >&2; exit 2 ;;
esac

bash scripts/deps.sh ${1:-}
# Each folder includes only what its README allows.
bash scripts/check-includes.sh
jobs=$(nproc)

build_dir() { [ "$1" = default ] && echo build || echo "build-$1"; }

run_preset() { # preset, then ctest arguments
  local preset=$1; shift
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  local log; log=$(mktemp)
  cmake --build "$(build_dir "$preset")" -j "$jobs" >"$log" 2>&1 || { cat "$log"; exit 1; }
  grep -E 'warning:' "$log" | sort -u | head -20 || true
  rm -f "$log"
  ctest --test-dir "$(build_dir "$preset")" --output-on-failure -j "$jobs" "$@"
}

if [ $sanitizers = yes ]; then
  export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp"
  # faketime preloads its library ahead of the ASan runtime in the QA workflow's children.
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:verify_asan_link_order=0"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  # The session's property test drives the session in one thread: nothing there for ThreadSanitizer
  # to find, and under it the test's four hundred sequences come near its time limit.
  run_preset tsan -L 'link|sim|mux|app|analysis' -E '^BenchSessionProperty[.]'
  run_preset asan -LE 'fuzz|e2e|package'
  echo "=== fuzz ==="
  cmake --preset fuzz >/dev/null
  cmake --build build-fuzz --target fuzzers -j "$jobs" >/dev/null
  fuzzlog=$(mktemp)
  ctest --test-dir build-fuzz -L fuzz --output-on-failure -V >"$fuzzlog" 2>&1 || { cat "$fuzzlog"; exit 1; }
  grep -E 'number_of_executed_units|Test +#' "$fuzzlog" || true
  rm -f "$fuzzlog"
fi
# The plain build runs last, so that its closing line is the run's last word.
run_preset default
