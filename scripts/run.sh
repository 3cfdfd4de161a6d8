#!/usr/bin/env bash
# Installs what is missing, builds the station and starts it on its embedded
# defaults (the database and INI files placed beside the built program).
set -euo pipefail
cd "$(dirname "$0")/.."
"$(dirname "$0")/install-deps.sh"
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" -j2
exec "$BUILD_DIR/bin/vantoro" "$@"
