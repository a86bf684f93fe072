#!/usr/bin/env bash
# Builds the client and the data it starts on (data kit, fonts) and starts
# it on the demo data. Tests and benchmarks are left to scripts/test.sh.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
"$ROOT/scripts/deps.sh"
cmake -S "$ROOT" -B "$ROOT/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$ROOT/build" -j"$(nproc)" --target quill datakit_data qoe_fonts turnbuilder
DEMO="$ROOT/build/demo"
mkdir -p "$DEMO"
if [ -d "$ROOT/build/datakit" ]; then cp -a "$ROOT/build/datakit/." "$DEMO/"; fi
# The demo realm, set up once as an installed game (kept across starts).
"$ROOT/build/tools/turnbuilder/turnbuilder" install "$ROOT/tools/turnbuilder/realms/demo.realm" --dir "$DEMO"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "start: no display found (DISPLAY is not set)."
  echo "start: run it under a virtual display:  xvfb-run -a -s '-screen 0 1024x768x24' $0"
  exit 1
fi
cd "$DEMO"
exec "$ROOT/build/quill"
