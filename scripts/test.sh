#!/usr/bin/env bash
# Runs every test: the ASan+UBSan build of the whole suite, the TSan build of
# every test that starts the game thread (CTest label gamethread) and of the
# thread and lock tests, and each libFuzzer target for a bounded time
# (scripts/fuzz.sh, side by side). A failing suite does not stop the others;
# the last line counts every test and target, and the exit status is 0 only
# when none failed. With QOE_PRUNE_OBJECTS=1 (set by CI, whose clone is thrown
# away) each tree's object files go once it is linked, and a tree whose tests
# have run goes but for its log, so the run needs little disk. With
# QOE_WERROR=1 (set by CI) a compiler warning fails every build.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
JOBS="$(nproc)"
FUZZ_SECONDS="${QOE_FUZZ_SECONDS:-20}"
"$ROOT/scripts/deps.sh" --tests
export SDL_VIDEODRIVER="${SDL_VIDEODRIVER:-offscreen}" SDL_AUDIODRIVER="${SDL_AUDIODRIVER:-dummy}"
export QOE_TEST_COMMAND=1
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
PRUNE="${QOE_PRUNE_OBJECTS:-0}"
WERROR=OFF
[ "${QOE_WERROR:-0}" = 1 ] && WERROR=ON
# Object files are not needed once the tree is linked.
prune_objects() { if [ "$PRUNE" = 1 ]; then find "$1" -name '*.o' -delete; fi; }
# A tree whose tests have run: only its log is read again.
prune_tree() { if [ "$PRUNE" = 1 ]; then find "$1" -mindepth 1 ! -name "$2" -delete 2>/dev/null || true; fi; }
[ "$PRUNE" = 1 ] && df -h "$ROOT" /tmp

echo "== plain build (program, tools, benchmarks)"
# (QOE_TESTS=ON: the start command configures this tree without the tests.)
cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOE_TESTS=ON -DQOE_WERROR=$WERROR >/dev/null
cmake --build "$ROOT/build" -j"$JOBS"
prune_objects "$ROOT/build"

echo "== ASan + UBSan: whole suite"
cmake -S "$ROOT" -B "$ROOT/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQOE_SANITIZE=address -DQOE_BENCH=OFF -DQOE_WERROR=$WERROR >/dev/null
cmake --build "$ROOT/build-asan" -j"$JOBS"
prune_objects "$ROOT/build-asan"
(cd "$ROOT/build-asan" && ctest --output-on-failure -j"$JOBS") | tee "$ROOT/build-asan/ctest.log" || true
prune_tree "$ROOT/build-asan" ctest.log

echo "== TSan: every test that starts the game thread, and the thread and lock tests"
cmake -S "$ROOT" -B "$ROOT/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQOE_SANITIZE=thread -DQOE_BENCH=OFF -DQOE_WERROR=$WERROR >/dev/null
cmake --build "$ROOT/build-tsan" -j"$JOBS"
prune_objects "$ROOT/build-tsan"
# Left out under TSan: the SDL twins of the close table (the headless rows
# run the same screens' ends), the play table (ASan plays it whole; each
# screen's own visits run here) and the screen graph (where each screen
# leads; the close table's headless rows start every screen here), which
# would take the run past its budget. The program's random walks stay: they
# meet the threads of every screen they pass, in OpenGL mode as well.
TSAN_SKIP='^Sdl/CloseTable|/PlayTable\.|/ScreenGraph\.'
tsan_start=$SECONDS
(cd "$ROOT/build-tsan" && export TSAN_OPTIONS="halt_on_error=1 suppressions=$ROOT/tests/tsan.supp" &&
  { ctest --output-on-failure -j"$JOBS" -L gamethread -E "$TSAN_SKIP" || true
    ctest --output-on-failure -j"$JOBS" -R 'Thread' -LE gamethread; }) | tee "$ROOT/build-tsan/ctest.log" || true
echo "TSan tests: $((SECONDS - tsan_start)) s"
prune_tree "$ROOT/build-tsan" ctest.log

echo "== libFuzzer targets, ${FUZZ_SECONDS}s each, side by side"
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$ROOT/build-fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOE_FUZZ=ON -DQOE_WERROR=$WERROR >/dev/null
cmake --build "$ROOT/build-fuzz" -j"$JOBS"
prune_objects "$ROOT/build-fuzz"
"$ROOT/scripts/fuzz.sh" "$ROOT/build-fuzz" "$FUZZ_SECONDS" | tee "$ROOT/build-fuzz/fuzz.log" || true
# Sums the totals and failures of every ctest run in a log.
count() { sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2 \1/p' "$1" |
  awk '{t += $1; f += $2} END {print t + 0, f + 0}'; }
read -r a_total a_failed < <(count "$ROOT/build-asan/ctest.log")
read -r t_total t_failed < <(count "$ROOT/build-tsan/ctest.log")
read -r f_passed f_failed < <(sed -n 's/^fuzz: \([0-9]*\) passed, \([0-9]*\) failed$/\1 \2/p' "$ROOT/build-fuzz/fuzz.log")
# The names of failed tests come last, so the tail of a CI log shows them.
for log in "$ROOT/build-asan/ctest.log" "$ROOT/build-tsan/ctest.log"; do
  tree="$(basename "$(dirname "$log")")"
  grep -A4 -E ': Failure$|^SUMMARY: ' "$log" | head -60 | sed "s|^|$tree: |" || true
  sed -n '/The following tests FAILED:/,/^$/p' "$log" | sed "s|^|$tree: |"
done
grep '^-- fuzz target' "$ROOT/build-fuzz/fuzz.log" || true
echo "total: $((a_total + t_total + f_passed - a_failed - t_failed)) passed, $((a_failed + t_failed + f_failed)) failed"
[ $((a_failed + t_failed + f_failed)) -eq 0 ]
