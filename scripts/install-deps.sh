#!/usr/bin/env bash
# Installs the Debian packages the station needs to build, run and test,
# only when some are missing.
#
#   scripts/install-deps.sh [build|test]
#
# "build" installs what configuring and compiling need; "test" the servers,
# browser and checkers only the tests start, which scripts/test.sh installs
# while the build runs. Without an argument, both.
set -euo pipefail
BUILD_PACKAGES=(
  build-essential cmake pkg-config python3
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6sql6-sqlite qt6-charts-dev libqt6opengl6-dev
  qt6-multimedia-dev qt6-svg-dev libqt6svg6 libgl1-mesa-dev
  fonts-wqy-zenhei  # the manual is typeset at build time, in Chinese too
  qt6-httpserver-dev qt6-websockets-dev  # the web server
  libmosquitto-dev  # MQTT publishing
  libcurl4-openssl-dev  # mail
  help2man  # the package's manual pages, made at build time
)
TEST_PACKAGES=(
  qt6-translations-l10n  # Qt's own texts (Yes/No, Cancel) in Chinese
  xdotool xvfb imagemagick  # scripts/view_screenshots.sh: a virtual display, its dialogs, the pictures
  # the real collector, browser and client the web server's tests use
  prometheus chromium curl
  # The Debian package and its checks (tests/package).
  dpkg-dev appstream desktop-file-utils lintian systemd
  # the private bus on which the unattended station's power-off is tried
  dbus-daemon
  # the broker and clients the MQTT tests start
  mosquitto mosquitto-clients openssl
  python3-aiosmtpd  # the SMTP server of the mail tests
  apprise  # sends the notices (tests/notices); the package recommends it
  python3-jinja2  # renders the discovery templates as Home Assistant would (tests/mqtt)
)
case ${1:-all} in
  build) PACKAGES=("${BUILD_PACKAGES[@]}") ;;
  test) PACKAGES=("${TEST_PACKAGES[@]}") ;;
  all) PACKAGES=("${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}") ;;
  *) echo "usage: $0 [build|test]" >&2; exit 2 ;;
esac
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
