#!/usr/bin/env bash
# Installs what is needed, builds and runs every test; with --sanitize, in a
# build with AddressSanitizer and UndefinedBehaviorSanitizer; with
# --thread-sanitize, the tests of the session and of saving (those that run
# threads) under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
folder=$(bash scripts/build.sh "$@" | tail -n 1)
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1}
selection=()
if [ "${1:-}" = "--thread-sanitize" ]; then
  selection=(-R 'Session\.|SaveJob\.')
fi
ctest --test-dir "$folder" --output-on-failure -j "$(nproc)" "${selection[@]}"
