#!/usr/bin/env bash
# Runs every test: the ASan+UBSan build of the whole suite, the TSan build of
# the thread and lock tests, and each libFuzzer target for a bounded time.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
JOBS="$(nproc)"
FUZZ_SECONDS="${QOE_FUZZ_SECONDS:-20}"
"$ROOT/scripts/deps.sh"
export SDL_VIDEODRIVER="${SDL_VIDEODRIVER:-offscreen}" SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"
export QOE_TEST_COMMAND=1
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

echo "== plain build (program, tools, benchmarks)"
cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$ROOT/build" -j"$JOBS"

echo "== ASan + UBSan: whole suite"
cmake -S "$ROOT" -B "$ROOT/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQOE_SANITIZE=address -DQOE_BENCH=OFF >/dev/null
cmake --build "$ROOT/build-asan" -j"$JOBS"
(cd "$ROOT/build-asan" && ctest --output-on-failure -j"$JOBS") | tee "$ROOT/build-asan/ctest.log"

echo "== TSan: thread and lock tests"
cmake -S "$ROOT" -B "$ROOT/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQOE_SANITIZE=thread -DQOE_BENCH=OFF >/dev/null
cmake --build "$ROOT/build-tsan" -j"$JOBS"
(cd "$ROOT/build-tsan" && TSAN_OPTIONS="halt_on_error=1" ctest --output-on-failure -j"$JOBS" -R 'Thread') | tee "$ROOT/build-tsan/ctest.log"

echo "== libFuzzer targets, ${FUZZ_SECONDS}s each"
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$ROOT/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOE_FUZZ=ON >/dev/null
cmake --build "$ROOT/build-fuzz" -j"$JOBS"
fuzz_total=0
while IFS='=' read -r target corpus; do
  [ -z "$target" ] && continue
  work="$(mktemp -d)"
  [ -d "$corpus" ] && cp -a "$corpus/." "$work/"
  echo "-- $target"
  "$ROOT/build-fuzz/$(find "$ROOT/build-fuzz" -name "$target" -type f -printf '%P\n' | head -1)" \
    -max_total_time="$FUZZ_SECONDS" -rss_limit_mb=2048 -timeout=10 "$work" 2>"$work.log" \
    || { tail -50 "$work.log"; echo "fuzz target $target failed"; exit 1; }
  rm -rf "$work" "$work.log"
  fuzz_total=$((fuzz_total + 1))
done < "$ROOT/build-fuzz/fuzz_targets.txt"
echo "fuzz: $fuzz_total targets ran clean"
count() { sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2 \1/p' "$1" | tail -1; }
read -r a_total a_failed < <(count "$ROOT/build-asan/ctest.log")
read -r t_total t_failed < <(count "$ROOT/build-tsan/ctest.log")
echo "total: $((a_total + t_total + fuzz_total - a_failed - t_failed)) passed, $((a_failed + t_failed)) failed"
