#!/usr/bin/env bash
# Installs the Debian packages the station needs to build, run and test,
# only when some are missing.
set -euo pipefail
PACKAGES=(
  build-essential cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6sql6-sqlite qt6-charts-dev libqt6opengl6-dev
  qt6-multimedia-dev qt6-svg-dev libqt6svg6 libgl1-mesa-dev
  fonts-wqy-zenhei
  qt6-translations-l10n  # Qt's own texts (Yes/No, Cancel) in Chinese
  xdotool xvfb imagemagick  # scripts/view_screenshots.sh: a virtual display, its dialogs, the pictures
  # the web server, and the real collector, browser and client its tests use
  qt6-httpserver-dev qt6-websockets-dev prometheus chromium curl
  # The Debian package, its manual pages and its checks (tests/package).
  dpkg-dev appstream desktop-file-utils python3 help2man lintian systemd
  # the private bus on which the unattended station's power-off is tried
  dbus-daemon
  # MQTT publishing, and the broker and clients its tests start
  libmosquitto-dev mosquitto mosquitto-clients openssl
  libcurl4-openssl-dev python3-aiosmtpd
  python3-jinja2  # renders the discovery templates as Home Assistant would (tests/mqtt)
)
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
