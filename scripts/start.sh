#!/usr/bin/env bash
# Builds the client and everything it shows and plays (the target
# quill_demo: pictures, layouts, movies, sound effects, music, fonts and the
# turn builder), installs that data into the demo's working folder and starts
# the client on the demo realm: its next turn waits in the download folder,
# and the game-server double runs on loopback with the turns after it for as
# long as the client runs. Tests and benchmarks are left to scripts/test.sh.
#
# QOE_START_PREBUILT=1 skips the dependency check and the build (the
# programs must be in QOE_BUILD_DIR, default build/); QOE_DEMO_DIR names
# the demo's working folder (default <build>/demo, its server's turns in
# <demo>-server). With QOE_HEADLESS_SCRIPT the client runs headless.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${QOE_BUILD_DIR:-$ROOT/build}"
if [ -z "${QOE_START_PREBUILT:-}" ]; then
  "$ROOT/scripts/deps.sh"
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOE_WERROR=OFF >/dev/null
  cmake --build "$BUILD" -j"$(nproc)" --target quill_demo
fi
DEMO="${QOE_DEMO_DIR:-$BUILD/demo}"
SERVER="$DEMO-server"
mkdir -p "$DEMO"
# The kit's output is the image of the working folder (Data/, Gfx/, Sfx/,
# Mods/, Anims/, fonts/ ...); without it the game would start blind and silent.
if [ ! -f "$BUILD/datakit/Data/SfxPath" ] || [ ! -f "$BUILD/datakit/Data/Path" ]; then
  echo "start: the game's data is not built in $BUILD/datakit (build the target quill_demo)"
  exit 1
fi
cp -a "$BUILD/datakit/." "$DEMO/"
# The demo realm, set up once as an installed game (kept across starts),
# with its next turn waiting and the later ones for the game server.
"$BUILD/tools/turnbuilder/turnbuilder" install "$ROOT/tools/turnbuilder/realms/demo.realm" --dir "$DEMO" \
  --demo-turns "$SERVER/turns"
if [ -z "${QOE_HEADLESS_SCRIPT:-}" ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "start: no display found (DISPLAY is not set)."
  echo "start: run it under a virtual display:  xvfb-run -a -s '-screen 0 1024x768x24' $0"
  exit 1
fi

# The game-server double on a free loopback port; the endpoint file tells
# the client where (the player's other settings in it stay).
PORT="$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
mkdir -p "$SERVER/turns" "$SERVER/received"
python3 "$ROOT/tools/gameserver/gameserver.py" --port "$PORT" --turns "$SERVER/turns" --store "$SERVER/received" \
  >"$SERVER/server.log" 2>&1 &
GAMESERVER=$!
# Stopped and waited for, so its port is closed when this script ends.
trap 'kill "$GAMESERVER" 2>/dev/null || true; wait "$GAMESERVER" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  if python3 -c "import socket,sys; socket.create_connection(('127.0.0.1', $PORT), 0.2)" 2>/dev/null; then break; fi
  if ! kill -0 "$GAMESERVER" 2>/dev/null; then echo "start: the game-server double did not start (see $SERVER/server.log)"; exit 1; fi
  sleep 0.05
done
CFG="$DEMO/Endpoints.cfg"
if [ -f "$CFG" ] && grep -qi '^[[:space:]]*game_server[[:space:]]*=' "$CFG"; then
  sed -i -E "s/^[[:space:]]*[Gg][Aa][Mm][Ee]_[Ss][Ee][Rr][Vv][Ee][Rr][[:space:]]*=.*/game_server = 127.0.0.1:$PORT/" "$CFG"
else
  printf '# the demo'\''s game-server double (scripts/start.sh)\ngame_server = 127.0.0.1:%s\n' "$PORT" >>"$CFG"
fi
echo "start: game-server double on 127.0.0.1:$PORT, turns in $SERVER/turns"
cd "$DEMO"
"$BUILD/quill"
