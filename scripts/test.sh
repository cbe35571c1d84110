#!/usr/bin/env bash
# Sets up, builds and runs every test. With --sanitize, does the same in the
# AddressSanitizer and UndefinedBehaviorSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=release
[ "${1:-}" = "--sanitize" ] && preset=sanitize
./scripts/setup.sh
cmake --preset "$preset"
cmake --build --preset "$preset"
ctest --preset "$preset"
