#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite; then the same
# suite under AddressSanitizer and UndefinedBehaviorSanitizer, the connection tests under
# ThreadSanitizer, and a short run of every fuzz target.
#
#   scripts/test.sh            everything (what CI runs)
#   scripts/test.sh --quick    the plain build and its tests only
set -euo pipefail
cd "$(dirname "$0")/.."
quick=0
[[ "${1:-}" == "--quick" ]] && quick=1

./scripts/setup.sh
build=${VELNOX_BUILD_DIR:-build}
jobs=$(nproc)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELNOX_WERROR=ON
cmake --build "$build" -j"$jobs"
ctest --test-dir "$build" --output-on-failure -j"$jobs" --timeout 600
[[ $quick -eq 1 ]] && exit 0

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
./scripts/sanitize.sh address util net app views feed account e2e
echo "== ThreadSanitizer"
./scripts/sanitize.sh thread net
echo "== Fuzzing, ${VELNOX_FUZZ_SECONDS:-20} s a target"
./scripts/fuzz.sh "${VELNOX_FUZZ_SECONDS:-20}"
echo "All tests passed."
