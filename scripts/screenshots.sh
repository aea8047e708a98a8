#!/usr/bin/env bash
# Builds the screenshot tool and renews docs/screenshots/: the real client against a demo
# server inside the tool, offscreen, driven through the main window, a detail page, the
# account window and the update panel.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
build=${VELNOX_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target velnox-screenshots
QT_QPA_PLATFORM=offscreen "$build/server/velnox-screenshots" --out docs/screenshots
