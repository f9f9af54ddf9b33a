#!/usr/bin/env bash
# Release build, micro-benchmarks, then pelcrow-cli side by side with jdupes, rmlint, rdfind and
# fdupes on a generated tree (bench/out/tree, made once per size; BENCH_FILES and BENCH_LARGE_MB size it),
# then the results grid with a million rows (BENCH_GRID_ROWS), offscreen.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELCROW_BUILD_APP=ON -DPELCROW_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target pelcrow-cli pelcrow_bench pelcrow_grid_bench -j "$(nproc)"
echo "== micro-benchmarks"
"$build/pelcrow_bench" --benchmark_min_time=0.2
tree=bench/out/tree
want="{\"files\": ${BENCH_FILES:-200000}, \"large_mb\": ${BENCH_LARGE_MB:-400}, \"seed\": 1}"
if [ "$(cat "$tree/.params" 2>/dev/null)" != "$want" ]; then
  rm -rf "$tree"
  python3 bench/make_tree.py "$tree" --files "${BENCH_FILES:-200000}" --large-mb "${BENCH_LARGE_MB:-400}"
fi
echo "== duplicate finders on $tree"
python3 bench/bench.py --cli "$build/pelcrow-cli" --tree "$tree" --runs "${BENCH_RUNS:-3}" ${BENCH_COLD:+--cold}
echo "== results grid"
QT_QPA_PLATFORM=offscreen "$build/pelcrow_grid_bench" "${BENCH_GRID_ROWS:-1000000}"
