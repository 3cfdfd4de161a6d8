#!/usr/bin/env bash
# Takes the README's pictures of the four views: the station runs under a
# virtual X server against the device simulator, once per view, and the
# screen is saved as docs/view_<name>.png.
#
#   BUILD_DIR=build VIEWS="state grid meter trend" ./scripts/view_screenshots.sh [seconds-for-the-trend]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
BIN="$PWD/$BUILD_DIR/bin"
TREND_SECONDS=${1:-90}
WIDTH=1100
HEIGHT=800

WORK=$(mktemp -d)
SIM_PID=""
cleanup() {
  [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

"$BIN/vantoro-sim" --vary --baud 9600 >"$WORK/sim.out" &
SIM_PID=$!
for _ in $(seq 50); do
  grep -q '^PTY ' "$WORK/sim.out" && break
  sleep 0.1
done
PTY=$(sed -n 's/^PTY //p' "$WORK/sim.out" | head -1)
[ -n "$PTY" ] || { echo "the simulator did not start"; exit 1; }

shoot() { # view-mode name seconds
  local mode=$1 name=$2 seconds=$3
  local home="$WORK/home-$name" config="$WORK/config-$name"
  mkdir -p "$home" "$config/Vantoro"
  cp "$BIN"/{vantoro.db,VANTORO.INI,langcn.ini,langen.ini,PARAMS.INI} "$home/"
  # English captions, the chosen view, a poll every second, no alarm sound.
  sed -i 's/^Language=.*/Language=2/' "$home/VANTORO.INI"
  python3 - "$home/vantoro.db" "$mode" <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("update sysset set viewmode=?, PauseSeconds=1, Soundenabled=0 where id=1", (sys.argv[2],))
db.commit()
PY
  cat >"$config/Vantoro/Vantoro.conf" <<CONF
[Settings]
Ports\\Com1=$PTY
AutoStartPolling=1
DebugMode=1
MainLeft=0
MainTop=0
MainWidth=$((WIDTH * 15))
MainHeight=$((HEIGHT * 15))
CONF
  XDG_CONFIG_HOME="$config" VANTORO_HOME="$home" xvfb-run -a -s "-screen 0 ${WIDTH}x${HEIGHT}x24" \
    bash -c "\"$BIN/vantoro\" & APP=\$!; sleep $seconds; import -window root \"$PWD/docs/view_$name.png\"; kill \$APP" \
    || true
  echo "docs/view_$name.png"
}

mkdir -p docs
for view in ${VIEWS:-state grid meter trend}; do
  case $view in
    state) shoot 0 state 8 ;;
    grid) shoot 1 grid 8 ;;
    meter) shoot 2 meter 8 ;;
    trend) shoot 3 trend "$TREND_SECONDS" ;;
  esac
done
