#!/usr/bin/env bash
# Installs what is missing, builds, starts the demo server and runs the client against it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
build=${VELNOX_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target velnox velnox-server
echo "Built $build/velnox and $build/velnox-server. The demo content is not ready yet."
