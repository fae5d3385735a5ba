#!/bin/sh
# The speed table of the scene path in one go, on one machine: terrain build against
# gdal_translate, frame against the GL floor, the hill-shade command and the shading after
# preparation against gdaldem, and the memory the benchmarks report.
#
#   bench/speed_table.sh [BUILD_DIR] [RUNS]      (defaults: build, 5)
#
# Each figure is taken RUNS times; the summary gives the minimum and the median of each ratio.
# Run it on a quiet machine: the figures are ratios of times taken in the same run, but a busy
# machine widens their spread. The raw outputs are kept in $TMPDIR/t3d-speed-table/.
set -eu
build=${1:-build}
runs=${2:-5}
out=${TMPDIR:-/tmp}/t3d-speed-table
mkdir -p "$out"
rm -f "$out"/*.txt

echo "== terrain build against gdal_translate -ot Float64 ($runs runs each, taking turns)"
"$build/terrain_build_bench" 4096 16384 --runs "$runs" | tee "$out/build.txt"

echo
echo "== frame against the GL floor (1024 x 768; $runs runs of 40 frames)"
run=1
while [ "$run" -le "$runs" ]; do
  "$build/frame_bench" 1024 4096 16384 --frames 40 > "$out/frame-$run.txt"
  run=$((run + 1))
done
cat "$out"/frame-*.txt | awk '
  $1 ~ /^[0-9]+$/ && $2 ~ /^[0-9]$/ {
    key = $1 " q" $2; ratios[key] = ratios[key] " " $8; triangles[key] = $4
    if (!(key in order)) { order[key] = ++n; keys[n] = key }
  }
  /resident memory/ { memory[$1] = $0 }
  function median(list,   a, m, i, j, t) {
    m = split(list, a, " ")
    for (i = 1; i <= m; i++) for (j = i + 1; j <= m; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
    minimum = a[1]
    return (m % 2) ? a[(m + 1) / 2] : (a[m / 2] + a[m / 2 + 1]) / 2
  }
  END {
    printf "%-10s %10s %14s %8s\n", "side", "triangles", "ratio min", "median"
    for (i = 1; i <= n; i++) {
      med = median(ratios[keys[i]])
      printf "%-10s %10s %14.2f %8.2f\n", keys[i], triangles[keys[i]], minimum, med
    }
    for (side in memory) print memory[side]
  }' | tee "$out/frame-summary.txt"

echo
echo "== hill shade of an 8000 x 8000 grid against gdaldem ($runs rounds)"
"$build/hill_shade_bench" --side 8000 --rounds "$runs" --benchmark_repetitions="$runs" \
  --benchmark_filter='HillShadeNodeExact|GdalDem' 2>&1 | tee "$out/hillshade.txt" | tail -n 6
