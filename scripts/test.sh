#!/usr/bin/env bash
# Installs what the build needs (Debian packages), configures, builds and runs
# every test through ctest; the packages only the tests need are installed
# beside the build. The fuzz corpora are replayed as ctest cases; the
# fuzzing itself needs a second, clang build of the core and is its own
# command (scripts/fuzz.sh), so this one stays within a quarter of an hour on
# a fresh machine.
set -euo pipefail
cd "$(dirname "$0")/.."
"$(dirname "$0")/install-deps.sh" build
BUILD_DIR=${BUILD_DIR:-build}
mkdir -p "$BUILD_DIR"
# The packages only the tests use are installed while the build runs: on a
# fresh machine that is minutes of downloading beside minutes of compiling.
"$(dirname "$0")/install-deps.sh" test >"$BUILD_DIR/install-test-deps.log" 2>&1 &
test_deps=$!
if ! { cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo && cmake --build "$BUILD_DIR" -j2; }; then
  wait "$test_deps" || true
  exit 1
fi
if ! wait "$test_deps"; then
  echo "Installing the test packages failed:"
  tail -20 "$BUILD_DIR/install-test-deps.log"
  exit 1
fi
cd "$BUILD_DIR"
QT_QPA_PLATFORM=offscreen VANTORO_NO_AUDIO=1 ctest --output-on-failure -j2
