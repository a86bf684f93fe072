#!/usr/bin/env bash
# The demo's servers on loopback, run as the player (no root, no system
# service): the game-server double, a POP3 server holding the demo player's
# mailbox, an SMTP server that keeps what the game sends, and an IRC server
# for the tavern's chat. Everything lives in the server folder SERVER:
#
#   turns/     the game-server double's turns (served in name order; those
#              handed out in turns/served/, those mailed marked in
#              turns/mailed/)
#   received/  what the game sent to the double (orders, letters)
#   mailbox/   the player's mailbox: one file a mail, fetched and deleted
#              by the game's download; once the double takes orders or
#              hands a turn out, it mails the next one here, as a game
#              server mails turns
#   sent/      every mail the game sent by SMTP (mail_NNN.eml)
#   pids/      the process ID of each server (and of the game, start.sh)
#   ports      "NAME PORT" a line: gameserver, pop3, smtp, irc
#   *.log      each server's output; chat.log what was said in the tavern
#
#   demo-servers.sh start SERVER   ends what an earlier start left, starts
#                                  the four on free ports, writes ports
#   demo-servers.sh stop SERVER    ends every process named in pids/ that is
#                                  still the one started there (the game too)
#
# The mailbox's log-in is user "lord", password "elmor" (POP3 and SMTP-AUTH).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
MAIL_USER=lord
MAIL_PASSWORD=elmor

usage() {
  echo "usage: $0 start|stop SERVER" >&2
  exit 2
}
[ $# -eq 2 ] || usage
ACTION="$1"
mkdir -p "$2"
SERVER="$(cd "$2" && pwd -P)"
PIDS="$SERVER/pids"

# True when PID still runs the process that NAME's pid file was written for:
# a server has the server folder in its command line, the game runs in the
# demo folder beside it (so a PID used again by another program is spared).
ours() {
  local name="$1" pid="$2"
  [ -r "/proc/$pid/cmdline" ] || return 1
  # A zombie has ended already.
  [ "$(awk '/^State:/ {print $2}' "/proc/$pid/status" 2>/dev/null)" != Z ] || return 1
  if [ "$name" = quill ]; then
    local demo="${SERVER%-server}"
    [ "$(readlink "/proc/$pid/cwd" 2>/dev/null)" = "$demo" ] || return 1
    case "$(readlink "/proc/$pid/exe" 2>/dev/null)" in */quill*) return 0 ;; esac
    return 1
  fi
  tr '\0' '\n' <"/proc/$pid/cmdline" 2>/dev/null | grep -qF "$SERVER/"
}

# Ends one process by its pid file: SIGTERM, up to 10 s, then SIGKILL.
end_one() {
  local file="$1" name pid
  name="$(basename "$file" .pid)"
  pid="$(cat "$file" 2>/dev/null || true)"
  if [[ "$pid" =~ ^[0-9]+$ ]] && ours "$name" "$pid"; then
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 200); do
      ours "$name" "$pid" || break
      sleep 0.05
    done
    if ours "$name" "$pid"; then kill -KILL "$pid" 2>/dev/null || true; fi
  fi
  rm -f "$file"
}

stop_all() {
  [ -d "$PIDS" ] || return 0
  # The game first: it may still talk to the servers as it closes.
  [ -f "$PIDS/quill.pid" ] && end_one "$PIDS/quill.pid"
  local f
  for f in "$PIDS"/*.pid; do
    [ -e "$f" ] && end_one "$f"
  done
  rm -f "$SERVER/ports"
}

# Four loopback ports that were free a moment ago (all held at once, so
# they differ).
free_ports() {
  python3 -c 'import socket
s = [socket.socket() for _ in range(4)]
for x in s: x.bind(("127.0.0.1", 0))
print(" ".join(str(x.getsockname()[1]) for x in s))'
}

# Starts NAME on PORT (the command after them), keeps its PID and waits until
# the port takes a connection.
start_one() {
  local name="$1" port="$2"
  shift 2
  "$@" </dev/null >"$SERVER/$name.log" 2>&1 &
  local pid=$!
  echo "$pid" >"$PIDS/$name.pid"
  for _ in $(seq 200); do
    if (: <"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$name $port" >>"$SERVER/ports"
      return 0
    fi
    if ! kill -0 "$pid" 2>/dev/null; then break; fi
    sleep 0.05
  done
  echo "demo-servers: $name did not start (see $SERVER/$name.log)" >&2
  return 1
}

case "$ACTION" in
  stop)
    stop_all
    ;;
  start)
    stop_all
    mkdir -p "$PIDS" "$SERVER/turns" "$SERVER/received" "$SERVER/mailbox" "$SERVER/sent"
    rm -f "$SERVER/ports"
    peers="$ROOT/tools/testpeers"
    read -r game pop3 smtp irc < <(free_ports)
    if ! start_one gameserver "$game" python3 "$ROOT/tools/gameserver/gameserver.py" --port "$game" \
           --turns "$SERVER/turns" --mailbox "$SERVER/mailbox" --store "$SERVER/received" ||
       ! start_one pop3 "$pop3" python3 "$peers/scripted_peer.py" --proto pop3 --port "$pop3" \
           --mailbox "$SERVER/mailbox" --user "$MAIL_USER" --password "$MAIL_PASSWORD" ||
       ! start_one smtp "$smtp" python3 "$peers/scripted_peer.py" --proto smtp --port "$smtp" \
           --auth "PLAIN LOGIN" --user "$MAIL_USER" --password "$MAIL_PASSWORD" --store "$SERVER/sent" ||
       ! start_one irc "$irc" python3 "$peers/irc_room.py" --port "$irc" --transcript "$SERVER/chat.log"; then
      stop_all
      exit 1
    fi
    ;;
  *)
    usage
    ;;
esac
