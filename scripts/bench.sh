#!/usr/bin/env bash
# Benchmarks of the shader pack: builds them if needed (Release, the
# project's floating-point flags kept), then prints
#   1. ns per sample of every shader and setting through the host, against the
#      same maths called directly, with every parameter connected, the binding
#      layer alone, and the allocations per sample (must be 0);
#   2. the swatch renderer's figure per sample for each grid kind and blend
#      (2048 x 2048, 1 sample per pixel, 1 thread, against a constant colour);
#   3. thread scaling of a gallery network at 1024 x 1024, 1 thread against
#      every core, and whether the two images agree bit for bit.
#
# usage: scripts/bench.sh [--quick] [build folder]   (default build-bench)
#   --quick  fewer repetitions and a smaller swatch, to see that it runs
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
quick=0
if [[ "${1:-}" == "--quick" ]]; then quick=1; shift; fi
build="${1:-$root/build-bench}"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target vek_bench vek_bench_render >/dev/null

if [[ $quick == 1 ]]; then
  reps=1 min_time=0.05 size=512 rounds=1 scale_size=256
else
  reps=5 min_time=0.2 size=2048 rounds=3 scale_size=1024
fi

echo "== cost per sample: through the host, directly, connected; binding layer; allocations"
"$build/bin/vek_bench" --benchmark_repetitions=$reps --benchmark_min_time=$min_time \
  --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
  --benchmark_format=console --benchmark_color=false > "$build/bench_detail.txt" || status=$?
sed -n '/^case /,$p' "$build/bench_detail.txt"
echo "(every run: $build/bench_detail.txt)"
echo
echo "== the swatch renderer, per sample"
"$build/bin/vek_bench_render" figures --size $size --rounds $rounds
echo
echo "== thread scaling"
"$build/bin/vek_bench_render" scaling --size $scale_size --rounds $rounds
exit "${status:-0}"
