#!/usr/bin/env bash
# The whole suite: installs what is missing, then builds and runs the tests in
# three build folders of their own: a plain build, one under AddressSanitizer
# with UndefinedBehaviorSanitizer, and the concurrency tests under
# ThreadSanitizer; then the Windows plug-ins under wine when that script exists.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

"$root/scripts/setup.sh"

step() { printf '\n==== %s\n' "$*"; }

step "plain build"
"$root/scripts/build.sh" "$root/build"
ctest --test-dir "$root/build" --output-on-failure -j"$jobs"

step "AddressSanitizer + UndefinedBehaviorSanitizer"
"$root/scripts/build.sh" "$root/build-asan" -DVEK_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build-asan" --output-on-failure -j"$jobs"

step "ThreadSanitizer (concurrency tests)"
"$root/scripts/build.sh" "$root/build-tsan" -DVEK_SANITIZE=thread -DVEK_BUILD_STAND_IN=OFF
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir "$root/build-tsan" --output-on-failure -R Concurrent

if [[ -x "$root/scripts/windows-tests.sh" ]]; then
  step "Windows plug-ins under wine"
  "$root/scripts/windows-tests.sh"
fi
