#!/usr/bin/env bash
# Configures and builds Quadrel into build/ (or the folder given):
#   bash tools/build.sh [--target NAME]... [BUILD_DIR] [CMAKE_ARGS...]
# Without --target everything is built (program, simulator, tests, benchmark).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
targets=()
while [[ ${1:-} == --target ]]; do targets+=(--target "$2"); shift 2; done
build=${1:-$root/build}
shift || true
export CCACHE_NOHASHDIR=1
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)" "${targets[@]}"
