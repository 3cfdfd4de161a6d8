#!/usr/bin/env bash
# Installs what the build needs (Debian packages), configures, builds and runs
# every test through ctest. The fuzz corpora are replayed as ctest cases; the
# fuzzing itself needs a second, clang build of the core and is its own
# command (scripts/fuzz.sh), so this one stays within a quarter of an hour on
# a fresh machine.
set -euo pipefail
cd "$(dirname "$0")/.."
"$(dirname "$0")/install-deps.sh"
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" -j2
cd "$BUILD_DIR"
QT_QPA_PLATFORM=offscreen VANTORO_NO_AUDIO=1 ctest --output-on-failure -j2
