#!/usr/bin/env bash
# Takes the README's history pictures from the device simulator: it plays
# 1-21 June 2026 in solar-day mode, the station's own poll cycle and history
# recorder store it in a private database (the 21st at 60 s steps with the
# link down 13:10-13:40, the days before at 10-minute steps for the yield),
# and the history window is saved offscreen at 1000 x 620:
# docs/history_day.png (AC current, DC voltage, module temperature), the
# same for the month (docs/history_month.png) and docs/history_yield.png (the
# month's daily yield). Takes about a minute.
#
#   BUILD_DIR=build OUT=docs ./scripts/history_screenshot.sh
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
OUT=${OUT:-docs}
[ -x "$BUILD_DIR/bin/vantoro-simday" ] || {
  echo "build it first: cmake --build $BUILD_DIR --target vantoro-simday"
  exit 1
}
mkdir -p "$OUT"
QT_QPA_PLATFORM=offscreen "$BUILD_DIR/bin/vantoro-simday" --day 2026-06-21 --days-before 20 --cloud-seed 2 \
  --gap 13:10-13:40 --codes IAC,VDC,TMOD --out "$OUT/history_day.png" --month-out "$OUT/history_month.png" \
  --yield-out "$OUT/history_yield.png"
