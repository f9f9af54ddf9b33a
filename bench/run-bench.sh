#!/usr/bin/env bash
# Release build, micro-benchmarks, then pelcrow-cli side by side with jdupes, rmlint, rdfind and
# fdupes and duff on generated trees (made once per size; BENCH_SIZES="200000 1000000" and
# BENCH_LARGE_MB size them, BENCH_COLD=1 adds runs after dropping the page cache, BENCH_SKIP=fdupes
# leaves tools out),
# then the e-mail scan beside Python's mailbox on a generated Maildir (BENCH_MAIL_MESSAGES), then
# the results grid with a million rows (BENCH_GRID_ROWS), offscreen.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELCROW_BUILD_APP=ON -DPELCROW_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target pelcrow-cli pelcrow_bench pelcrow_grid_bench -j "${JOBS:-$(nproc)}"
echo "== micro-benchmarks"
"$build/pelcrow_bench" --benchmark_min_time=0.2
# BENCH_SIZES: the trees to run on, by file count (each made once: bench/out/tree, tree-N).
for files in ${BENCH_SIZES:-${BENCH_FILES:-200000}}; do
  tree=bench/out/tree
  [ "$files" = 200000 ] || tree=bench/out/tree-$files
  large=${BENCH_LARGE_MB:-400}
  want="{\"files\": $files, \"large_mb\": $large, \"seed\": 1}"
  if [ "$(cat "$tree/.params" 2>/dev/null)" != "$want" ]; then
    rm -rf "$tree"
    python3 bench/make_tree.py "$tree" --files "$files" --large-mb "$large"
  fi
  echo "== duplicate finders on $tree; load: $(uptime)"
  python3 bench/bench.py --cli "$build/pelcrow-cli" --tree "$tree" --runs "${BENCH_RUNS:-3}" ${BENCH_COLD:+--cold}
  echo "load after: $(uptime)"
done
echo "== duplicate e-mails; load: $(uptime)"
python3 bench/mail_bench.py --cli "$build/pelcrow-cli" --store bench/out/maildir --messages "${BENCH_MAIL_MESSAGES:-100000}" --runs "${BENCH_RUNS:-3}"
echo "== results grid; load: $(uptime)"
QT_QPA_PLATFORM=offscreen "$build/pelcrow_grid_bench" "${BENCH_GRID_ROWS:-1000000}"
