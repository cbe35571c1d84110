#!/usr/bin/env bash
# Sets up, builds and runs every test, then builds everything again with
# clang (build/clang), so that both compilers keep taking the code. With
# --sanitize, builds and runs the tests in the AddressSanitizer and
# UndefinedBehaviorSanitizer build; with --tsan, runs the tests of growth on
# several threads in the ThreadSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=release
case "${1:-}" in
--sanitize) preset=sanitize ;;
--tsan) preset=tsan ;;
esac
./scripts/setup.sh
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
if [ "$preset" = release ]; then
  cmake --preset clang
  cmake --build --preset clang
fi
