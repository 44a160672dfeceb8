#!/usr/bin/env bash
# Builds tavrin-recover, the window tavrin-repair and the tests: into build/;
# with --sanitize into build-sanitize/ with AddressSanitizer and
# UndefinedBehaviorSanitizer; with --thread-sanitize into build-tsan/ with
# ThreadSanitizer, without the window.
set -euo pipefail
cd "$(dirname "$0")/.."

folder=build
# TAVRIN_WERROR=ON in the environment (CI sets it) makes a warning an error.
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DTAVRIN_WERROR=${TAVRIN_WERROR:-OFF}")
case "${1:-}" in
  --sanitize) folder=build-sanitize; options+=(-DTAVRIN_SANITIZE=ON) ;;
  --thread-sanitize) folder=build-tsan; options+=(-DTAVRIN_THREAD_SANITIZE=ON -DTAVRIN_UI=OFF) ;;
  "") ;;
  *) echo "usage: $0 [--sanitize | --thread-sanitize]" >&2; exit 2 ;;
esac
cmake -S . -B "$folder" "${options[@]}" >/dev/null
cmake --build "$folder" -j "$(nproc)"
echo "$folder"
