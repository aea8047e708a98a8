#!/usr/bin/env bash
# Soak run of the real client: velnox, built with its product configuration, runs offscreen
# against tests/soak/soak_driver, which plays the service on the client's own ports (19760,
# 38817, 19761), sends a steady mix of messages and garbage frames and drops the connection
# every few seconds. The client's resident memory is sampled every 10 s into
# docs/soak/rss.csv and plotted to docs/soak/rss.png; docs/soak/summary.txt gets the figures.
#
#   scripts/soak.sh [minutes]     (default 10; build directory: $VELNOX_BUILD_DIR or build)
set -euo pipefail
cd "$(dirname "$0")/.."

minutes=${1:-10}
if ! [[ $minutes =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/soak.sh [minutes]" >&2
  exit 2
fi
build=${VELNOX_BUILD_DIR:-build}
out=docs/soak
interval=10
seconds=$((minutes * 60))

# The product's own addresses, whatever an earlier configuration of this build directory said.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELNOX_PRODUCTION_HOST=localhost \
  -DVELNOX_UPDATE_FEED_URL=http://127.0.0.1:19761/update \
  -DVELNOX_NOTICE_FEED_URL=http://127.0.0.1:19761/notice \
  -DVELNOX_SIGNUP_PAGE_URL=http://127.0.0.1:19761/signup >/dev/null
cmake --build "$build" --target velnox soak_driver -j"$(nproc)"

for port in 19760 19761 38817; do
  if ss -Hltn "sport = :$port" | grep -q .; then
    echo "soak: port $port is in use (a demo server?); stop it first" >&2
    exit 1
  fi
done

mkdir -p "$out"
work=$(mktemp -d)
driver_pid=
client_pid=
cleanup() {
  if [[ -n $client_pid ]]; then kill "$client_pid" 2>/dev/null || true; fi
  if [[ -n $driver_pid ]]; then kill "$driver_pid" 2>/dev/null || true; fi
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The driver outlives the sampling a little, so the last sample sees traffic too.
"$build/tests/soak/soak_driver" --seconds $((seconds + 2 * interval)) >"$work/driver.out" 2>"$work/driver.err" &
driver_pid=$!
for _ in $(seq 100); do
  grep -q '^ready' "$work/driver.out" 2>/dev/null && break
  kill -0 "$driver_pid" 2>/dev/null || { cat "$work/driver.err" >&2; exit 1; }
  sleep 0.1
done
grep -q '^ready' "$work/driver.out" || { echo "soak: the driver did not start" >&2; exit 1; }

QT_QPA_PLATFORM=offscreen "$build/velnox" >"$work/client.out" 2>&1 &
client_pid=$!
echo "soak: client $client_pid, driver $driver_pid, $minutes min, RSS every ${interval} s"

csv="$out/rss.csv"
echo "seconds,rss_kib" >"$csv"
start=$(date +%s)
status=ok
for ((t = interval; t <= seconds; t += interval)); do
  wait_for=$((start + t - $(date +%s)))
  if ((wait_for > 0)); then sleep "$wait_for"; fi
  if ! rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$client_pid/status" 2>/dev/null) || [[ -z $rss ]]; then
    echo "soak: the client ended after about $t s" >&2
    status=client-ended
    break
  fi
  echo "$t,$rss" >>"$csv"
done

kill "$client_pid" 2>/dev/null || true
wait "$client_pid" 2>/dev/null || true
client_pid=
kill -TERM "$driver_pid" 2>/dev/null || true
wait "$driver_pid" 2>/dev/null || true
driver_pid=

{
  echo "minutes=$minutes"
  echo "status=$status"
  grep -v '^ready' "$work/driver.out"
  python3 scripts/soak_plot.py "$csv" "$out/rss.png"
} | tee "$out/summary.txt"
[[ $status == ok ]]
