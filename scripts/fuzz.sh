#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer in build-fuzz and runs each
# one for the given time, starting from its checked-in corpus.
#
#   ./scripts/fuzz.sh [seconds-per-target]     (default 10)
#
# New inputs found during a run stay in build-fuzz/corpus/<target>; a crash
# leaves its input in build-fuzz/findings/<target>/ and ends the script with
# a failure. JOBS=2 runs two targets at a time.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-10}
BUILD_DIR=${FUZZ_BUILD_DIR:-build-fuzz}
JOBS=${JOBS:-1}
TARGETS=(reply profile_file params_file number_format query_params mbap)

command -v clang++ >/dev/null || { echo "fuzz.sh: clang++ is not installed"; exit 1; }
# libFuzzer and the sanitizer runtimes come with clang's runtime package.
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
printf '#include <cstddef>\n#include <cstdint>\nextern "C" int LLVMFuzzerTestOneInput(const uint8_t *, size_t) { return 0; }\n' >"$probe/p.cpp"
if ! clang++ -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" 2>/dev/null; then
  version=$(clang++ --version | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -1)
  echo "Installing libFuzzer for clang $version"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    "libclang-rt-$version-dev" "libclang-common-$version-dev"
fi

CC=clang CXX=clang++ cmake -S . -B "$BUILD_DIR" -DVANTORO_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j2 --target fuzz_targets

run_target() {
  local target=$1 work="$BUILD_DIR/corpus/$1" findings="$BUILD_DIR/findings/$1"
  mkdir -p "$work" "$findings"
  # The first corpus directory takes new inputs; the checked-in one stays as it is.
  if ! ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
      QT_QPA_PLATFORM=offscreen \
      "$BUILD_DIR/bin/fuzz_$target" "$work" "fuzz/corpus/$target" \
      -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
      -artifact_prefix="$findings/" -print_final_stats=1 >"$BUILD_DIR/fuzz-$target.log" 2>&1; then
    echo "fuzz_$target: FINDING (see $BUILD_DIR/fuzz-$target.log and $findings/)"
    tail -40 "$BUILD_DIR/fuzz-$target.log"
    return 1
  fi
  local runs cov
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$BUILD_DIR/fuzz-$target.log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$BUILD_DIR/fuzz-$target.log" | tail -1)
  echo "fuzz_$target: ${SECONDS_PER_TARGET} s, ${runs:-?} executions, ${cov:-cov: ?}, no findings"
}

failed=0
pids=()
for target in "${TARGETS[@]}"; do
  run_target "$target" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$JOBS" ]; then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do
  wait "$pid" || failed=1
done
exit $failed
