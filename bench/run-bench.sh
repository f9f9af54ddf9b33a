#!/usr/bin/env bash
# Release build, micro-benchmarks, then pelcrow-cli side by side with jdupes, rmlint, rdfind and
# fdupes and duff on generated trees (made once per size; BENCH_SIZES="200000 1000000" and
# BENCH_LARGE_MB size them, BENCH_COLD=1 adds runs after dropping the page cache, BENCH_SKIP=fdupes
# leaves tools out), on a copy of system folders (BENCH_NO_REAL=1 skips it), and on small-file
# trees of 200,000 and 1,000,000 files for the scale (BENCH_SCALE sizes them, "" skips),
# then the e-mail scan beside Python's mailbox on a generated Maildir (BENCH_MAIL_MESSAGES), then
# the results grid with a million rows (BENCH_GRID_ROWS), then scrolling picture rows with the
# preview open (BENCH_PREVIEW_ROWS), offscreen, then the similar-pictures mode on generated pictures
# (BENCH_PICTURES, made once in bench/out/pictures).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELCROW_BUILD_APP=ON -DPELCROW_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target pelcrow-cli pelcrow_bench pelcrow_grid_bench pelcrow_preview_bench pelcrow_picture_bench -j "${JOBS:-$(nproc)}"
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
# A real tree of many small files: a copy of system folders (headers, manuals, documentation,
# message catalogues), made once.
real=bench/out/real
if [ -z "${BENCH_NO_REAL:-}" ]; then
  if [ ! -e "$real/.params" ]; then
    rm -rf "$real"
    mkdir -p "$real"
    for d in /usr/include /usr/share/doc /usr/share/man /usr/share/locale; do
      [ -d "$d" ] && cp -a "$d" "$real/$(echo "${d#/}" | tr / -)"
    done
    echo "copy of /usr/include /usr/share/doc /usr/share/man /usr/share/locale" >"$real/.params"
  fi
  echo "== duplicate finders on a real tree ($real); load: $(uptime)"
  python3 bench/bench.py --cli "$build/pelcrow-cli" --tree "$real" --runs "${BENCH_RUNS:-3}" ${BENCH_COLD:+--cold}
  echo "load after: $(uptime)"
fi
# Scale: trees of small files (at most 4 KiB, so a million fit the page cache) of 200,000 and
# 1,000,000 files, made once; time and memory per file side by side. BENCH_SCALE="" skips them.
scale=${BENCH_SCALE-200000 1000000}
for files in $scale; do
  tree=bench/out/small-$files
  want="{\"files\": $files, \"large_mb\": 0, \"seed\": 1, \"small\": true}"
  if [ "$(cat "$tree/.params" 2>/dev/null)" != "$want" ]; then
    rm -rf "$tree"
    python3 bench/make_tree.py "$tree" --files "$files" --large-mb 0 --small
  fi
  echo "== scale: duplicate finders on $tree; load: $(uptime)"
  python3 bench/bench.py --cli "$build/pelcrow-cli" --tree "$tree" --runs "${BENCH_SCALE_RUNS:-1}" \
    ${BENCH_COLD:+--cold} --json "bench/out/scale-$files.json"
  echo "load after: $(uptime)"
done
if [ -n "$scale" ]; then
  echo "== scale of pelcrow (small-file trees)"
  python3 - $scale <<'PY'
import json, sys
rows = [json.load(open("bench/out/scale-%s.json" % n)) for n in sys.argv[1:]]
print("| files | warm (s) | us per file | x fastest peer | cached rescan (s) | peak RSS (MiB) | item bytes per file |")
print("|---|---|---|---|---|---|---|")
for r in rows:
    print("| %d | %.2f | %.2f | %.2fx | %s | %.0f | %.0f |" % (
        r["files"], r["warm"], r["warm"] / r["files"] * 1e6, r["warm"] / r["fastest_warm"] if r["fastest_warm"] else 0,
        "%.2f" % r["cached"] if r["cached"] is not None else "-", r["peak_mib"], r["item_bytes"]))
if len(rows) >= 2:
    a, b = rows[0], rows[-1]
    k = b["files"] / a["files"]
    print("time per file %.2fx, item memory per file %.2fx from %d to %d files (1.00x is linear)" % (
        (b["warm"] / b["files"]) / (a["warm"] / a["files"]), b["item_bytes"] / a["item_bytes"] if a["item_bytes"] else 0,
        a["files"], b["files"]))
PY
fi
echo "== duplicate e-mails; load: $(uptime)"
python3 bench/mail_bench.py --cli "$build/pelcrow-cli" --store bench/out/maildir --messages "${BENCH_MAIL_MESSAGES:-100000}" --runs "${BENCH_RUNS:-3}"
echo "== results grid; load: $(uptime)"
QT_QPA_PLATFORM=offscreen "$build/pelcrow_grid_bench" "${BENCH_GRID_ROWS:-1000000}"
echo "== preview panel while scrolling"
QT_QPA_PLATFORM=offscreen "$build/pelcrow_preview_bench" "${BENCH_PREVIEW_ROWS:-10000}"
echo "== similar pictures; load: $(uptime)"
"$build/pelcrow_picture_bench" bench/out/pictures "${BENCH_PICTURES:-20000}" "${BENCH_PICTURE_HASHES:-100000}"
