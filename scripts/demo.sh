#!/usr/bin/env bash
# Installs what is missing, builds, starts the demo server and runs the client against it;
# the server stops when the client exits. Without a display the client runs under Xvfb and
# the run writes screenshots of its windows instead of waiting for a person.
#
#   ./scripts/demo.sh [velnox-server options]     e.g. --newer-version, --drop-every 30
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

build=${VELNOX_BUILD_DIR:-build}
headless=0
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then headless=1; fi
targets=(velnox velnox-server)
if [ "$headless" -eq 1 ]; then targets+=(velnox-screenshots); fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

log="$build/velnox-server.log"
"$build/server/velnox-server" "$@" >"$log" 2>&1 &
server=$!
stop_server() {
  kill "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
}
trap stop_server EXIT

# The server is ready once its pages answer; it exits at once when a port is taken.
for _ in $(seq 100); do
  if ! kill -0 "$server" 2>/dev/null; then
    echo "The demo server did not start:" >&2
    cat "$log" >&2
    exit 1
  fi
  if (exec 3<>/dev/tcp/127.0.0.1/19761) 2>/dev/null; then break; fi
  sleep 0.1
done
echo "Demo server running (log: $log)."

if [ "$headless" -eq 0 ]; then
  echo "Starting the client. Demo account: demo / velnox; sign-up code: VX-2026."
  "$build/velnox"
else
  shots="$build/screenshots"
  echo "No display: running the client under Xvfb and writing screenshots to $shots"
  xvfb-run -a -s "-screen 0 1280x1024x24" "$build/server/velnox-screenshots" --external --out "$shots"
fi
