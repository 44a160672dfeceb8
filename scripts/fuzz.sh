#!/usr/bin/env bash
# Builds the fuzz targets (fuzz/) with clang into build-fuzz/ and runs one
# target, or with --all each in turn: first over its seeds (fuzz/corpus/TARGET),
# then for SECONDS more (600 by default). The inputs found on the way are kept
# in build-fuzz/corpus/TARGET for the next run; an input that crashes or
# hangs a target is written to build-fuzz/crashes/ and fails the run.
# With FUZZ_SEED and FUZZ_RUNS set (as CI does), each run is the same every
# time: that many inputs from that seed, a fresh corpus, SECONDS at most.
#   scripts/fuzz.sh TARGET [SECONDS]
#   scripts/fuzz.sh --all SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 TARGET [SECONDS] | --all SECONDS" >&2
  exit 2
fi
seconds=${2:-600}

bash scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVRIN_FUZZ=ON -DBUILD_TESTING=OFF \
  "-DTAVRIN_WERROR=${TAVRIN_WERROR:-OFF}" >/dev/null
targets=()
if [ "$1" = "--all" ]; then
  for seeds in fuzz/corpus/*/; do targets+=("$(basename "$seeds")"); done
else
  targets=("$1")
fi
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
mkdir -p build-fuzz/crashes
for target in "${targets[@]}"; do
  found=build-fuzz/corpus/$target
  repeatable=()
  if [ -n "${FUZZ_SEED:-}" ]; then
    repeatable=(-seed="$FUZZ_SEED" -runs="${FUZZ_RUNS:-1000}")
    rm -rf "$found"
  fi
  mkdir -p "$found"
  echo "== $target: ${seconds}s"
  # A hang is an input that takes more than 10 seconds.
  log=build-fuzz/$target.log
  status=0
  build-fuzz/fuzz/fuzz_"$target" "$found" "fuzz/corpus/$target" -max_total_time="$seconds" -timeout=10 \
    -artifact_prefix="build-fuzz/crashes/$target-" -print_final_stats=1 "${repeatable[@]}" >"$log" 2>&1 || status=$?
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log"
    exit "$status"
  fi
  grep -E "^stat::(number_of_executed_units|peak_rss_mb)" "$log"
done
