#!/usr/bin/env bash
# Builds the tests of the given labels with a sanitizer and runs them.
#
#   scripts/sanitize.sh <kind> <label...>
#
#   kind   thread     ThreadSanitizer, build folder build-tsan
#          address    AddressSanitizer with UndefinedBehaviorSanitizer, build folder build-asan
#   label  a test folder: util, net, app, views, feed, account, ...
#
# Only the test programs of those labels are built. The build folder can be moved with
# VELNOX_SANITIZE_BUILD, the number of jobs set with VELNOX_SANITIZE_JOBS (default: nproc).
# Any sanitizer report fails the test that produced it, and so the script.
set -euo pipefail

usage() {
  echo "usage: $0 thread|address <label...>" >&2
  exit 2
}

[[ $# -ge 2 ]] || usage
kind="$1"
shift
case "$kind" in
  thread)
    sanitizers="thread"
    folder="build-tsan"
    ;;
  address | asan)
    sanitizers="address,undefined"
    folder="build-asan"
    ;;
  *) usage ;;
esac

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${VELNOX_SANITIZE_BUILD:-$root/$folder}"
jobs="${VELNOX_SANITIZE_JOBS:-$(nproc)}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELNOX_WERROR=ON \
  -DVELNOX_SANITIZE="$sanitizers" -DVELNOX_BUILD_BENCH=OFF -DVELNOX_FUZZ=OFF >/dev/null

# The test programs of a label are named <label>_<file> after tests/<label>/*test_*.cpp.
targets=()
for label in "$@"; do
  [[ -d "$root/tests/$label" ]] || { echo "sanitize.sh: no tests/$label" >&2; exit 2; }
  for src in "$root/tests/$label"/test_*.cpp "$root/tests/$label"/gui_test_*.cpp; do
    [[ -e "$src" ]] && targets+=("${label}_$(basename "$src" .cpp)")
  done
done
[[ ${#targets[@]} -gt 0 ]] || { echo "sanitize.sh: no tests for $*" >&2; exit 2; }
cmake --build "$build" -j"$jobs" --target "${targets[@]}"

# Stop at the first report, with the stacks needed to read it.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
export ASAN_OPTIONS="detect_leaks=1 strict_string_checks=1 detect_stack_use_after_return=1 ${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="print_stacktrace=1 halt_on_error=1 ${UBSAN_OPTIONS:-}"

regex="^($(IFS='|'; echo "$*"))\$"
ctest --test-dir "$build" -L "$regex" --output-on-failure -j"$jobs" --timeout 600
