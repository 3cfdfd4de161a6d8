#!/usr/bin/env bash
# Builds the whole station and its tests with AddressSanitizer and
# UndefinedBehaviorSanitizer (g++) in build-asan and runs every test; any
# report stops its test and fails the run.
#
#   ./scripts/sanitize.sh [ctest arguments, e.g. -R poll]
set -euo pipefail
cd "$(dirname "$0")/.."
"$(dirname "$0")/install-deps.sh"
BUILD_DIR=${ASAN_BUILD_DIR:-build-asan}
FLAGS="-fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="$FLAGS" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$BUILD_DIR" -j2
cd "$BUILD_DIR"
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export QT_QPA_PLATFORM=offscreen VANTORO_NO_AUDIO=1
ctest --output-on-failure -j2 "$@"
