#!/usr/bin/env bash
# Installs what is missing, builds the station and starts it on its embedded
# defaults (the database and INI files beside the built program, copied to a
# demonstration folder with two more devices) against the device simulator
# on a pseudo-terminal playing a plant of three, with polling switched on.
#
#   ./scripts/run.sh            station + simulated plant (private demo settings)
#   ./scripts/run.sh --device   station alone, with the user's own settings
#                               and port map (a real device)
set -euo pipefail
cd "$(dirname "$0")/.."
"$(dirname "$0")/install-deps.sh"
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j2
BIN="$BUILD_DIR/bin"

if [ "${1:-}" = "--device" ]; then
  exec "$BIN/vantoro"
fi

# The simulator plays the device; its first line names the pseudo-terminal.
SIM_OUT=$(mktemp)
"$BIN/vantoro-sim" --vary --baud 9600 --devices 1:3K,2:3K,3:5K >"$SIM_OUT" &
SIM_PID=$!
trap 'kill $SIM_PID 2>/dev/null || true; rm -f "$SIM_OUT"' EXIT
for _ in $(seq 50); do
  grep -q '^PTY ' "$SIM_OUT" && break
  sleep 0.1
done
PTY=$(sed -n 's/^PTY //p' "$SIM_OUT" | head -1)
[ -n "$PTY" ] || { echo "the simulator did not start"; exit 1; }
echo "Simulated plant of three devices on $PTY"

# The demonstration folder: the embedded defaults and a plant of three, made
# once; its history and events are kept from one run to the next.
DEMO_HOME="$PWD/$BUILD_DIR/demo-home"
if [ ! -f "$DEMO_HOME/vantoro.db" ]; then
  mkdir -p "$DEMO_HOME"
  for f in VANTORO.INI PARAMS.INI langcn.ini langen.ini manual.pdf; do
    if [ -f "$BIN/$f" ]; then cp "$BIN/$f" "$DEMO_HOME/"; fi
  done
  "$BIN/vantoro-mkdb" "$DEMO_HOME/vantoro.db" resources/schema.sql resources/sysset.sql resources/paraset.sql \
    resources/demo-plant.sql
fi
export VANTORO_HOME="$DEMO_HOME"

# Demo settings of their own, so the user's real port map stays untouched.
export XDG_CONFIG_HOME="$PWD/$BUILD_DIR/demo-config"
mkdir -p "$XDG_CONFIG_HOME/Vantoro"
cat >"$XDG_CONFIG_HOME/Vantoro/Vantoro.conf" <<CONF
[Settings]
Ports\\Com1=$PTY
AutoStartPolling=1
CONF
"$BIN/vantoro"
