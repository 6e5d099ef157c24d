#!/usr/bin/env bash
# The Windows plug-ins: cross-builds them and their tests with mingw-w64 into
# build-windows/, runs the tests under wine in a wine prefix of their own, then
# compares the Windows results of a fixed set of cases with a Linux build's
# (build-winlinux/). Quiet and bounded; stops its wine server whatever happens.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VEK_WINDOWS_BUILD:-$root/build-windows}
linux_build=${VEK_WINLINUX_BUILD:-$root/build-winlinux}
jobs=$(nproc)

"$root/scripts/setup.sh" --windows

cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$jobs"

# A prefix of its own, no display, no prompts to install extra runtimes.
export WINEPREFIX="$build/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

stop_wine() { wineserver -k </dev/null >/dev/null 2>&1 || true; }
trap stop_wine EXIT

# The server gets no output attached, else it holds the test runner's pipe
# open; persistent, so that each test program does not start it anew.
mkdir -p "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
timeout 300 wine wineboot </dev/null >/dev/null 2>&1

results="$build/cross_platform_results.txt"
rm -f "$results"
timeout 1200 ctest --test-dir "$build" --output-on-failure -j"$jobs" --timeout 300 </dev/null

# The comparison runs on Linux, against the results the Windows run just wrote.
[[ -s "$results" ]] || { echo "windows-tests: no results file $results" >&2; exit 1; }
cmake -S "$root" -B "$linux_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEK_BUILD_STAND_IN=OFF \
  -DVEK_WINDOWS_RESULTS="$results" >/dev/null
cmake --build "$linux_build" -j"$jobs" --target cross_platform_test
timeout 300 ctest --test-dir "$linux_build" --output-on-failure -R CrossPlatformResults </dev/null
