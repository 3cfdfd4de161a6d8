#!/usr/bin/env bash
# Installs what the build needs (Debian packages), configures, builds and runs
# every test through ctest. With clang installed, each fuzz target first runs
# for a few seconds (scripts/fuzz.sh); FUZZ_SECONDS=0 leaves that out.
set -euo pipefail
cd "$(dirname "$0")/.."
"$(dirname "$0")/install-deps.sh"
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" -j2
# Before ctest, so ctest's summary stays the last thing printed.
FUZZ_SECONDS=${FUZZ_SECONDS:-5}
if [ "$FUZZ_SECONDS" -gt 0 ] && command -v clang++ >/dev/null; then
  JOBS=2 "$(dirname "$0")/fuzz.sh" "$FUZZ_SECONDS"
fi
cd "$BUILD_DIR"
QT_QPA_PLATFORM=offscreen VANTORO_NO_AUDIO=1 ctest --output-on-failure -j2
