#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a bounded time, side by side.
# Usage: fuzz.sh <build-fuzz folder> [seconds]
#
# As many targets run at once as there are processors, and no more than the
# memory holds at each target's RSS limit, with one limit's worth left for the
# rest of the machine. Each runs for its full time on a copy of its corpus;
# after all have ended, each failing target's output is printed here (its
# whole log and crash input stay in <build>/fuzz-runs/). The last line reads
# "fuzz: N passed, N failed"; the exit status is 0 only when none failed.
# QOE_FUZZ_CPUS and QOE_FUZZ_MEM_MB stand in for the machine's (for tests).
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
SECONDS_EACH="${2:-20}"
RSS_MB=2048
cpus="${QOE_FUZZ_CPUS:-$(nproc)}"
mem_mb="${QOE_FUZZ_MEM_MB:-$(awk '/^MemTotal:/ { print int($2 / 1024) }' /proc/meminfo)}"
jobs=$((mem_mb / RSS_MB - 1))
[ "$jobs" -gt "$cpus" ] && jobs="$cpus"
[ "$jobs" -lt 1 ] && jobs=1
echo "fuzz: ${SECONDS_EACH}s each, $jobs at once (${RSS_MB} MB RSS limit each)"
OUT="$BUILD/fuzz-runs"
rm -rf "$OUT"
mkdir -p "$OUT"

# One target on a copy of its corpus; its result goes to <target>.result.
run_one() {
  local target="$1" corpus="$2" work bin
  work="$(mktemp -d)"
  [ -d "$corpus" ] && cp -a "$corpus/." "$work/"
  bin="$(find "$BUILD" -name "$target" -type f -printf '%P\n' | head -1)"
  if [ -n "$bin" ] && "$BUILD/$bin" -max_total_time="$SECONDS_EACH" -rss_limit_mb="$RSS_MB" -timeout=10 \
      -artifact_prefix="$OUT/$target-" "$work" >"$OUT/$target.log" 2>&1; then
    echo passed >"$OUT/$target.result"
  else
    [ -z "$bin" ] && echo "no program $target in $BUILD" >>"$OUT/$target.log"
    echo failed >"$OUT/$target.result"
  fi
  rm -rf "$work"
}

targets=()
running=0
while IFS='=' read -r target corpus; do
  [ -z "$target" ] && continue
  targets+=("$target")
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  run_one "$target" "$corpus" &
  running=$((running + 1))
done <"$BUILD/fuzz_targets.txt"
wait

passed=0
failed=0
for target in "${targets[@]}"; do
  if [ "$(cat "$OUT/$target.result" 2>/dev/null)" = passed ]; then
    passed=$((passed + 1))
    rm -f "$OUT/$target.log" "$OUT/$target.result"
  else
    failed=$((failed + 1))
    echo "-- fuzz target $target failed (its log and crash input: $OUT/$target*)"
    tail -200 "$OUT/$target.log" 2>/dev/null || true
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
