#!/usr/bin/python3
"""Game-server double: speaks the game server's packet protocol on a port of
its choice, one connection after another, until it is killed.

  --port N             the TCP port (127.0.0.1)
  --turns DIR          turn mails served by +GET, in name order, each once
                       (moved to DIR/served/ once sent)
  --mailbox DIR        the player's mailbox (one file a mail, as the demo's
                       POP3 server keeps it): once a turn is handed out, and
                       once orders arrive (+PUT), the next turn waiting in
                       --turns is mailed there too, as a game server mails
                       each turn (DIR/<its name>, marked in TURNS/mailed/),
                       so the next turn waits in the mailbox whenever the
                       player starts again. A mailed turn that has left the
                       mailbox (the player fetched it by POP3) is not handed
                       out by +GET again; one handed out by +GET leaves the
                       mailbox.
  --store DIR          +PUT data as put_NNN.txt, +MSG data as msg_NNN.bin
  --letters DIR        letter files (*.smal) handed out by +MAL, then removed
  --transcript FILE    every line received and sent, prefixed "C:" / "S:"
  --fail CMD TEXT      answer command CMD (HEL SID GET PUT MSG MAL QUI, or
                       PUTDATA / MSGDATA for the data) with "-ERR TEXT"
  --drop-after N       cut the connection after N bytes were sent to the client
  --stall CMD          never answer command CMD
  --script FILE        read "fail CMD TEXT", "drop N", "stall CMD" lines from
                       FILE at every connection, in place of the options; a
                       line that starts with a number K ("2 fail MSG full")
                       holds only for the K-th connection since the double
                       started (counting those that send something), so
                       one run of a client can fail at its second letter

Protocol (lines end in CR LF): +HEL -> +VER 0.01; +SID <id> -> +ACK;
+GET -> +ACK <n> and n bytes (+ACK 0: none); +PUT <n> -> +ACK, n bytes ->
+ACK; +MSG <n> -> +ACK, n bytes -> +ACK; +MAL -> (+ACK <n>, n bytes)*, +ACK 0;
+QUI -> +ACK, close. Errors: -ERR <text>. A turn or the letters handed out
count as delivered (moved away) only when the client sends its next command.
"""
import argparse
import os
import shutil
import socket
import sys
import time

p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
p.add_argument("--port", type=int, required=True)
p.add_argument("--turns")
p.add_argument("--mailbox")
p.add_argument("--store")
p.add_argument("--letters")
p.add_argument("--transcript")
p.add_argument("--fail", nargs=2, action="append", default=[])
p.add_argument("--drop-after", type=int, default=-1)
p.add_argument("--stall", action="append", default=[])
p.add_argument("--script")
a = p.parse_args()
MAX_DATA = 64 << 20


def settings(connection):
    fails = {c: t for c, t in a.fail}
    drop, stall = a.drop_after, set(a.stall)
    if a.script and os.path.exists(a.script):
        fails, drop, stall = {}, -1, set()
        for line in open(a.script):
            line = line.rstrip("\n")
            first = line.split(" ", 1)
            if first[0].isdigit():
                if int(first[0]) != connection or len(first) < 2:
                    continue
                line = first[1]
            w = line.split(" ", 2)
            if w[0] == "fail" and len(w) == 3:
                fails[w[1]] = w[2]
            elif w[0] == "drop" and len(w) == 2:
                drop = int(w[1])
            elif w[0] == "stall" and len(w) == 2:
                stall.add(w[1])
    return fails, drop, stall


def log(direction, text):
    if a.transcript:
        with open(a.transcript, "a") as f:
            f.write(direction + text + "\n")


class Dropped(Exception):
    pass


class Client:
    def __init__(self, sock, drop):
        self.s, self.buf, self.sent, self.drop = sock, b"", 0, drop

    def send(self, data):
        if self.drop >= 0 and self.sent + len(data) > self.drop:
            self.s.sendall(data[: self.drop - self.sent])
            raise Dropped()
        self.s.sendall(data)
        self.sent += len(data)

    def line(self, text):
        log("S:", text)
        self.send(text.encode() + b"\r\n")

    def read_line(self):
        while b"\n" not in self.buf:
            d = self.s.recv(65536)
            if not d:
                return None
            self.buf += d
            if len(self.buf) > 4096:
                return None
        l, self.buf = self.buf.split(b"\n", 1)
        t = l.rstrip(b"\r").decode("latin-1")
        log("C:", t)
        return t

    def read_bytes(self, n):
        while len(self.buf) < n:
            d = self.s.recv(65536)
            if not d:
                return None
            self.buf += d
        d, self.buf = self.buf[:n], self.buf[n:]
        return d


def next_name(folder, prefix, ext):
    os.makedirs(folder, exist_ok=True)
    k = 1
    while os.path.exists(os.path.join(folder, "%s_%03d%s" % (prefix, k, ext))):
        k += 1
    return os.path.join(folder, "%s_%03d%s" % (prefix, k, ext))


def waiting_turns():
    return sorted(f for f in os.listdir(a.turns) if f.endswith(".email")) if a.turns else []


def mailed_mark(name):
    return os.path.join(a.turns, "mailed", name)


def retire_turn(name):
    """The turn is the player's: it moves to served/, its mail and mark go."""
    served = os.path.join(a.turns, "served", name)
    os.makedirs(os.path.dirname(served), exist_ok=True)
    os.rename(os.path.join(a.turns, name), served)
    if a.mailbox:
        for path in (os.path.join(a.mailbox, name), mailed_mark(name)):
            if os.path.exists(path):
                os.remove(path)


def mail_next_turn():
    """Mails the first waiting turn the player does not have yet into the
    player's mailbox, once. The mail is there before its mark: a kill
    between the two leaves a turn the player may fetch twice, never one
    that is lost."""
    name = turn_to_hand_out()
    if not a.mailbox or not name or os.path.exists(mailed_mark(name)):
        return
    os.makedirs(a.mailbox, exist_ok=True)
    tmp = os.path.join(a.mailbox, "." + name + ".tmp")  # the POP3 server skips dot files
    shutil.copyfile(os.path.join(a.turns, name), tmp)
    os.rename(tmp, os.path.join(a.mailbox, name))
    os.makedirs(os.path.dirname(mailed_mark(name)), exist_ok=True)
    open(mailed_mark(name), "w").close()


def turn_to_hand_out():
    """The first waiting turn the player does not have yet: a mailed turn
    whose mail has left the mailbox was fetched by POP3."""
    files = waiting_turns()
    while files and a.mailbox and os.path.exists(mailed_mark(files[0])) and \
            not os.path.exists(os.path.join(a.mailbox, files[0])):
        retire_turn(files[0])
        files = waiting_turns()
    return files[0] if files else None


def serve(c, fails, stall):
    # What was handed out counts as delivered only once the client goes on
    # with its next command: a drop mid-transfer keeps it for the next try.
    delivered, turn = [], None
    while True:
        t = c.read_line()
        if t is None:
            return
        for src, dst in delivered:
            if dst:
                os.makedirs(os.path.dirname(dst), exist_ok=True)
                os.rename(src, dst)
            else:
                os.remove(src)
        if turn:
            retire_turn(turn)
            mail_next_turn()
        delivered, turn = [], None
        cmd = t[1:4] if t.startswith("+") else t

        def answer(ok_text):
            if cmd in stall:
                time.sleep(3600)
            if cmd in fails:
                c.line("-ERR " + fails[cmd])
                return False
            if ok_text is not None:
                c.line(ok_text)
            return True

        if t == "+HEL":
            answer("+VER 0.01")
        elif t.startswith("+SID "):
            answer("+ACK")
        elif t == "+GET":
            if not answer(None):
                continue
            name = turn_to_hand_out()
            if not name:
                c.line("+ACK 0")
                continue
            data = open(os.path.join(a.turns, name), "rb").read()
            c.line("+ACK %d" % len(data))
            log("S:", "<%d bytes>" % len(data))
            c.send(data)
            turn = name
        elif t.startswith("+PUT ") or t.startswith("+MSG "):
            try:
                n = int(t[5:])
            except ValueError:
                c.line("-ERR bad size")
                continue
            if n < 0 or n > MAX_DATA:
                c.line("-ERR size")
                continue
            if not answer("+ACK"):
                continue
            data = c.read_bytes(n)
            if data is None:
                return
            log("C:", "<%d bytes>" % n)
            if cmd + "DATA" in stall:
                time.sleep(3600)
            if cmd + "DATA" in fails:
                c.line("-ERR " + fails[cmd + "DATA"])
                continue
            if a.store:
                target = next_name(a.store, "put" if cmd == "PUT" else "msg", ".txt" if cmd == "PUT" else ".bin")
                with open(target + ".tmp", "wb") as f:
                    f.write(data)
                os.rename(target + ".tmp", target)
            # The orders are in: the next turn goes to the mailbox, as a
            # game server mails the turn it evaluates from them.
            if cmd == "PUT":
                mail_next_turn()
            c.line("+ACK")
        elif t == "+MAL":
            if not answer(None):
                continue
            files = sorted(f for f in os.listdir(a.letters) if f.endswith(".smal")) if a.letters else []
            for f in files:
                data = open(os.path.join(a.letters, f), "rb").read()
                c.line("+ACK %d" % len(data))
                c.send(data)
            c.line("+ACK 0")
            delivered += [(os.path.join(a.letters, f), None) for f in files]
        elif t == "+QUI":
            answer("+ACK")
            return
        else:
            c.line("-ERR unknown command")


srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
srv.bind(("127.0.0.1", a.port))
srv.listen(8)
connections = 0
while True:
    conn, _ = srv.accept()
    # A connection that closes without a word (a test's probe whether the
    # port is open) is not counted.
    try:
        said = conn.recv(1, socket.MSG_PEEK)
    except OSError:
        said = b""
    if not said:
        conn.close()
        continue
    connections += 1
    fails, drop, stall = settings(connections)
    try:
        serve(Client(conn, drop), fails, stall)
    except (Dropped, OSError):
        pass
    finally:
        conn.close()
