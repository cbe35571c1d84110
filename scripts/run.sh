#!/usr/bin/env bash
# Sets up, builds and starts zorv-dla.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset release
cmake --build --preset release --target zorv-dla
exec ./build/release/app/zorv-dla "$@"
