#!/usr/bin/env bash
# Builds the client and everything it shows and plays (the target
# quill_demo: pictures, layouts, movies, sound effects, music, fonts and the
# turn builder), installs that data into the demo's working folder and starts
# the client on the demo realm, with the demo's servers on loopback for as
# long as the client runs (scripts/demo-servers.sh): the game-server double
# with the turns after the waiting one, the player's mailbox (POP3) holding
# the waiting turn as a mail, an SMTP server that keeps what the game sends,
# and an IRC server for the tavern's chat. Runs as the player; tests and
# benchmarks are left to scripts/test.sh.
#
# QOE_BUILD_JOBS: jobs of the build (default: every processor).
# QOE_START_PREBUILT=1 skips the dependency check and the build (the
# programs must be in QOE_BUILD_DIR, default build/); QOE_DEMO_DIR names
# the demo's working folder (default <build>/demo, its servers' folder
# <demo>-server). With QOE_HEADLESS_SCRIPT the client runs headless.
#
# A SIGTERM or SIGINT ends the game (as its window's close does) and then the
# servers; a start after a killed one ends what that one left running.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${QOE_BUILD_DIR:-$ROOT/build}"
JOBS="${QOE_BUILD_JOBS:-$(nproc)}"
if ! [[ "$JOBS" =~ ^[1-9][0-9]*$ ]]; then
  echo "start: QOE_BUILD_JOBS must be a number of jobs (is '$JOBS')"
  exit 2
fi
# Without a display the game cannot open its window: said before the build,
# not after minutes of it.
if [ -z "${QOE_HEADLESS_SCRIPT:-}" ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] &&
   [ "${SDL_VIDEODRIVER:-}" != offscreen ]; then
  echo "start: no display found (DISPLAY is not set)."
  echo "start: run it under a virtual display:  xvfb-run -a -s '-screen 0 1024x768x24' $0"
  exit 1
fi
if [ -z "${QOE_START_PREBUILT:-}" ]; then
  "$ROOT/scripts/deps.sh"
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQOE_TESTS=OFF -DQOE_WERROR=OFF >/dev/null
  cmake --build "$BUILD" -j"$JOBS" --target quill_demo
fi
DEMO="${QOE_DEMO_DIR:-$BUILD/demo}"
mkdir -p "$DEMO"
DEMO="$(cd "$DEMO" && pwd -P)"
SERVER="$DEMO-server"
# The kit's output is the image of the working folder (Data/, Gfx/, Sfx/,
# Mods/, Anims/, fonts/ ...); without it the game would start blind and silent.
if [ ! -f "$BUILD/datakit/Data/SfxPath" ] || [ ! -f "$BUILD/datakit/Data/Path" ]; then
  echo "start: the game's data is not built in $BUILD/datakit (build the target quill_demo)"
  exit 1
fi

# What a killed start left running (its game, its servers) ends first: two
# games on one folder would spoil each other's files.
"$ROOT/scripts/demo-servers.sh" stop "$SERVER"

cp -a "$BUILD/datakit/." "$DEMO/"
# The demo realm, set up once as an installed game (kept across starts),
# with its next turn waiting and the later ones for the game server.
"$BUILD/tools/turnbuilder/turnbuilder" install "$ROOT/tools/turnbuilder/realms/demo.realm" --dir "$DEMO" \
  --demo-turns "$SERVER/turns"
# A turn mail waiting in the download folder goes back into the player's
# mailbox: the download fetches it from there as a real player's does.
mkdir -p "$SERVER/mailbox"
for mail in "$DEMO"/Data/POP3In/*.email; do
  [ -e "$mail" ] && mv -f "$mail" "$SERVER/mailbox/"
done

stop_servers() { "$ROOT/scripts/demo-servers.sh" stop "$SERVER" || true; }
GAME=""
# A signal ends the game the way its window's close does, then the servers.
on_signal() {
  trap - TERM INT HUP
  if [ -n "$GAME" ]; then
    kill -TERM "$GAME" 2>/dev/null || true
    wait "$GAME" 2>/dev/null || true
  fi
  stop_servers
  exit 143
}
trap stop_servers EXIT
trap on_signal TERM INT HUP
"$ROOT/scripts/demo-servers.sh" start "$SERVER"
port() { awk -v n="$1" '$1 == n {print $2}' "$SERVER/ports"; }

# The endpoint file tells the client where the game server and the chat
# are (the player's other settings in it stay).
CFG="$DEMO/Endpoints.cfg"
set_endpoint() {
  local key="$1" value="$2"
  if [ -f "$CFG" ] && grep -qi "^[[:space:]]*$key[[:space:]]*=" "$CFG"; then
    local tmp="$CFG.tmp"
    awk -v k="$key" -v v="$value" '
      { line = $0; sub(/^[ \t]*/, "", line); split(line, w, /[ \t]*=/)
        if (tolower(w[1]) == k) print k " = " v; else print $0 }' "$CFG" >"$tmp"
    mv -f "$tmp" "$CFG"
  else
    printf '# the demo'\''s server on loopback (scripts/start.sh)\n%s = %s\n' "$key" "$value" >>"$CFG"
  fi
}
set_endpoint game_server "127.0.0.1:$(port gameserver)"
set_endpoint irc_server "127.0.0.1:$(port irc)"
# The options' mail account: the mailbox of the demo's POP3 and SMTP servers
# (named "localhost", the address's own domain, so that the options page
# finds the servers' domain and the address's alike).
"$BUILD/tools/turnbuilder/turnbuilder" account --dir "$DEMO" --pop3 "localhost:$(port pop3)" \
  --smtp "localhost:$(port smtp)" --user lord --password elmor --address lord@localhost
echo "start: game-server double on 127.0.0.1:$(port gameserver), turns in $SERVER/turns"
echo "start: mailbox (POP3) on 127.0.0.1:$(port pop3), mail sent (SMTP) on 127.0.0.1:$(port smtp)," \
  "chat (IRC) on 127.0.0.1:$(port irc)"

cd "$DEMO"
"$BUILD/quill" &
GAME=$!
echo "$GAME" >"$SERVER/pids/quill.pid"
status=0
wait "$GAME" || status=$?
GAME=""
rm -f "$SERVER/pids/quill.pid"
exit "$status"
