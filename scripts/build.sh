#!/usr/bin/env bash
# Configures and builds everything (plug-ins, stand-in host, swatch renderer,
# tests, benchmarks) into build/, or into the folder given as first argument.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
shift || true
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
