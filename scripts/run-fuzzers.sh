#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UBSan) and runs each one for a
# fixed time over its corpus in tests/fuzz/corpus/<name>. Crashes are written to build-fuzz/crashes.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-20}
build=${FUZZ_BUILD_DIR:-build-fuzz}
shopt -s nullglob
targets=(tests/fuzz/fuzz_*.cpp)
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets"; exit 0
fi
if [ ! -f "$build/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPELCROW_FUZZ=ON -DPELCROW_BUILD_APP=OFF -DPELCROW_BUILD_TESTS=OFF -DPELCROW_BUILD_BENCH=OFF >/dev/null
fi
names=()
for t in "${targets[@]}"; do names+=("$(basename "$t" .cpp)"); done
cmake --build "$build" --target "${names[@]}" -j "$(nproc)"
mkdir -p "$build/crashes"
for n in "${names[@]}"; do
  corpus=tests/fuzz/corpus/$n
  work=$build/corpus/$n
  mkdir -p "$work"
  [ -d "$corpus" ] && cp -n "$corpus"/* "$work"/ 2>/dev/null || true
  echo "fuzzing $n for ${seconds}s"
  "$build/$n" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/crashes/$n-" "$work" \
    >"$build/$n.log" 2>&1 || { tail -50 "$build/$n.log"; echo "fuzzer $n failed"; exit 1; }
  grep -E '^Done|#[0-9]+.*DONE' "$build/$n.log" | tail -1 || true
done
echo "fuzzers passed"
