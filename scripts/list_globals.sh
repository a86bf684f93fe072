#!/usr/bin/env bash
# Lists the writable data objects of the program's libraries (object file,
# section, name): every global, file-scope and function-local static that sits
# in .bss/.data/.tbss/.tdata. Tests, benchmarks, fuzz targets and tools are
# left out. Usage: scripts/list_globals.sh [build-dir]   (default build-asan)
# With --count it prints the number of entries only.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
count=0
[ "${1:-}" = "--count" ] && { count=1; shift; }
B="${1:-$ROOT/build-asan}"
list() {
  find "$B" -name '*.o' -path '*CMakeFiles/qoe_*' \
    ! -path '*_tests.dir*' ! -path '*_bench*' ! -path '*fuzz*' ! -path '*testmain*' ! -path '*testpeers*' \
    ! -path '*fontgen*' ! -path '*turnbuilder*' ! -path '*datakit*' | sort | while read -r o; do
    objdump -t -C "$o" | awk -v f="$(basename "$o" .o)" '
      / O / || /\.t(bss|data)\t/ {
        sec = ""
        for (i = 1; i <= NF; i++) if ($i == "O") sec = $(i + 1)
        if (sec == "") for (i = 1; i <= NF; i++) if ($i ~ /^\.t(bss|data)/) { sec = $i; break }
        if (sec ~ /^\.(bss|data|tbss|tdata)(\.|$)/ && sec !~ /rel\.ro/) {
          n = $0; sub(/^.*\t[0-9a-f]+ +/, "", n); print f ": " sec ": " n
        }
      }'
  done | grep -v -E '__asan|odr_asan|__sancov|guard variable|vtable|typeinfo|__ubsan|_GLOBAL__|\.str|ioinit|DW\.ref' \
       | sed 's/(anonymous namespace):://g'
}
if [ "$count" = 1 ]; then list | wc -l; else list; fi
