#!/usr/bin/env bash
# Builds tavrin-recover and the tests: into build/, or with --sanitize into
# build-sanitize/ with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

folder=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  folder=build-sanitize
  options+=(-DTAVRIN_SANITIZE=ON)
fi
cmake -S . -B "$folder" "${options[@]}" >/dev/null
cmake --build "$folder" -j "$(nproc)"
echo "$folder"
