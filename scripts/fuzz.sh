#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each fuzz/fuzz_*.cpp target for a given
# number of seconds (default 60), seeded from fuzz/corpus/<target>. New inputs go to a
# scratch copy under fuzz/corpus-work/<target>, crashes to fuzz/findings/<target>/.
#
#   scripts/fuzz.sh [seconds] [target...]
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
shift || true
build="${VELNOX_FUZZ_BUILD:-$root/build-fuzz}"
jobs="${VELNOX_FUZZ_JOBS:-2}"

if [[ $# -gt 0 ]]; then
  targets=("$@")
else
  targets=()
  for src in "$root"/fuzz/fuzz_*.cpp; do
    targets+=("$(basename "$src" .cpp)")
  done
fi

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELNOX_FUZZ=ON -DVELNOX_BUILD_TESTS=OFF -DVELNOX_BUILD_BENCH=OFF >/dev/null
# Build the targets one by one, so that one that does not build does not stop the others
# (it still fails the run).
status=0
built=()
for t in "${targets[@]}"; do
  if cmake --build "$build" -j"$jobs" --target "$t"; then
    built+=("$t")
  else
    echo "fuzz.sh: $t does not build, skipped" >&2
    status=1
  fi
done

for t in "${built[@]}"; do
  seeds="$root/fuzz/corpus/$t"
  work="$root/fuzz/corpus-work/$t"
  findings="$root/fuzz/findings/$t"
  mkdir -p "$seeds" "$work" "$findings"
  cp -n "$seeds"/* "$work"/ 2>/dev/null || true
  echo "== $t: ${seconds}s"
  if ! (cd "$findings" && "$build/fuzz/$t" "$work" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 2>&1 | tee "$findings/last-run.log" | grep -E "^(#[0-9]+.*DONE|stat::|==[0-9]+==ERROR|SUMMARY)" ); then
    :
  fi
  if grep -qE "==[0-9]+==ERROR|SUMMARY: libFuzzer|deadly signal" "$findings/last-run.log"; then
    echo "fuzz.sh: $t found a problem, see $findings" >&2
    status=1
  fi
done
exit $status
