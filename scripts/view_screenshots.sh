#!/usr/bin/env bash
# Takes the README's pictures: the station runs under a virtual X server
# against the device simulator, at the size a first start opens with, once
# per view; the window is saved as docs/view_<name>.png. With DIALOGS set,
# the main dialogs are opened from the menus (xdotool) and saved as
# docs/dialog_<name>.png.
#
#   BUILD_DIR=build VIEWS="state grid meter trend plant" DIALOGS="settings remote customer events log about" \
#     UI_LANGUAGE=en OUT=docs ./scripts/view_screenshots.sh [seconds-for-the-trend]
#
# SIM_ARGS replaces the simulator's options (default "--vary --baud 9600"),
# SUFFIX is added to each file name: the night of the solar day, for one,
#   SIM_ARGS="--solar-day --silent-at-night --clock-start 2026-06-21T21:40 --cloud-seed 0 --baud 9600" \
#     SUFFIX=_night VIEWS=state DIALOGS= ./scripts/view_screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
BIN="$PWD/$BUILD_DIR/bin"
TREND_SECONDS=${1:-90}
SCREEN_WIDTH=1600
SCREEN_HEIGHT=1000
UI_LANGUAGE=${UI_LANGUAGE:-en}
OUT=${OUT:-docs}
# The dialogs are opened in debug mode (no password asked); the views are
# shown as an operator sees them.
DEBUG_MODE=${DEBUG_MODE:-$([ -n "${DIALOGS-settings}" ] && echo 1 || echo 0)}
case $UI_LANGUAGE in en) LANGUAGE=2 ;; *) LANGUAGE=1 ;; esac
command -v xdotool >/dev/null || { echo "xdotool is needed (scripts/install-deps.sh)"; exit 1; }

WORK=$(mktemp -d)
SIM_PID=""
cleanup() {
  [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

# shellcheck disable=SC2086 # the options are words
"$BIN/vantoro-sim" ${SIM_ARGS:---vary --baud 9600 --devices 1:3K,2:3K,3:5K} >"$WORK/sim.out" &
SIM_PID=$!
for _ in $(seq 50); do
  grep -q '^PTY ' "$WORK/sim.out" && break
  sleep 0.1
done
PTY=$(sed -n 's/^PTY //p' "$WORK/sim.out" | head -1)
[ -n "$PTY" ] || { echo "the simulator did not start"; exit 1; }

prepare() { # view-mode name polling -> prints the home directory
  local mode=$1 name=$2 polling=$3
  local home="$WORK/home-$name" config="$WORK/config-$name"
  mkdir -p "$home" "$config/Vantoro"
  cp "$BIN"/{vantoro.db,VANTORO.INI,langcn.ini,langen.ini,PARAMS.INI} "$home/"
  [ -f "$BIN/manual.pdf" ] && cp "$BIN/manual.pdf" "$home/"
  # The chosen language and view, a poll every second, no alarm sound.
  sed -i "/^Language=/d" "$home/VANTORO.INI"
  printf 'Language=%s\r\n' "$LANGUAGE" >>"$home/VANTORO.INI"
  python3 - "$home/vantoro.db" "$mode" "$name" resources/demo-plant.sql <<'PY'
import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
db.execute("update sysset set viewmode=?, PauseSeconds=1, Soundenabled=0 where id=1", (sys.argv[2],))
# The plant view shows the run script's plant of three.
if sys.argv[3] == "plant":
    db.executescript(open(sys.argv[4]).read())
db.commit()
PY
  # No saved size: the window opens at its first-start size.
  cat >"$config/Vantoro/Vantoro.conf" <<CONF
[Settings]
Ports\\Com1=$PTY
AutoStartPolling=$polling
DebugMode=$DEBUG_MODE
MainLeft=300
MainTop=300
CONF
  echo "$home"
}

# Runs inside the virtual X server: waits, optionally opens a dialog with
# the keys given, and saves the newest window of the station.
SHOOT='
  "$BIN/vantoro" & APP=$!
  sleep "$SECONDS_TO_WAIT"
  MAIN=$(xdotool search --sync --onlyvisible --pid $APP | head -1)
  if [ -n "$KEYS" ]; then
    # The first word is where the menu title lies; the keys pick the entry.
    set -- $KEYS
    xdotool mousemove --window "$MAIN" "$1" 8 click 1
    sleep 1
    shift
    xdotool key --delay 200 "$@"
    sleep 2
  fi
  if [ -n "$CLICK" ]; then
    # A button inside the dialog, by its position there.
    DIALOG=$(xdotool search --onlyvisible --pid $APP | tail -1)
    xdotool mousemove --window "$DIALOG" $CLICK click 1
    sleep 3
  fi
  WINDOW=$(xdotool search --onlyvisible --pid $APP | tail -1)
  import -window "$WINDOW" "$PNG"
  kill $APP
'

shoot() { # view-mode name seconds png [keys] [click-x click-y]
  local mode=$1 name=$2 seconds=$3 png=$4 keys=${5:-} click=${6:-}
  local home
  # A dialog is shown with polling off, so its test owns the port.
  home=$(prepare "$mode" "$name" "$([ -n "$keys" ] && echo 0 || echo 1)")
  XDG_CONFIG_HOME="$WORK/config-$name" VANTORO_HOME="$home" BIN="$BIN" SECONDS_TO_WAIT="$seconds" \
    KEYS="$keys" CLICK="$click" PNG="$(realpath -m "$png")" \
    xvfb-run -a -s "-screen 0 ${SCREEN_WIDTH}x${SCREEN_HEIGHT}x24" bash -c "$SHOOT" || true
  echo "$png"
}

mkdir -p "$OUT"
suffix="${SUFFIX:-}"
[ "$UI_LANGUAGE" = en ] || suffix="${suffix}_$UI_LANGUAGE"
for view in ${VIEWS-state grid meter trend}; do
  case $view in
    state) shoot 0 state 8 "$OUT/view_state$suffix.png" ;;
    grid) shoot 1 grid 8 "$OUT/view_grid$suffix.png" ;;
    meter) shoot 2 meter 8 "$OUT/view_meter$suffix.png" ;;
    trend) shoot 3 trend "$TREND_SECONDS" "$OUT/view_trend$suffix.png" ;;
    plant) shoot 4 plant 10 "$OUT/view_plant$suffix.png" ;;
  esac
done
# Each dialog from its menu: the menu title's x position in the English
# menu bar, then the keys that choose the entry.
for dialog in ${DIALOGS-settings remote customer}; do
  case $dialog in
    # The settings dialog with the result of its connection test.
    settings) shoot 0 settings 6 "$OUT/dialog_settings$suffix.png" "30 Down Return" "281 255" ;;
    customer) shoot 0 customer 6 "$OUT/dialog_customer$suffix.png" "93 Down Return" ;;
    # The settings dialog's last page: the night's standby share.
    night) shoot 0 night 6 "$OUT/dialog_night$suffix.png" "30 Down Return" "431 24" ;;
    remote) shoot 0 remote 6 "$OUT/dialog_remote$suffix.png" "197 Down Down Return" ;;
    events) shoot 0 events 6 "$OUT/dialog_events$suffix.png" "146 Down Down Down Down Down Down Down Down Return" ;;
    log) shoot 0 log 6 "$OUT/dialog_log$suffix.png" "146 Down Down Down Down Down Down Down Down Down Return" ;;
    about) shoot 0 about 6 "$OUT/dialog_about$suffix.png" "327 Down Down Return" ;;
  esac
done
