#!/usr/bin/python3
"""Scripted HTTP / FTP / IRC double for the tests of the internet clients:
what a real server will not do (exact answers, stalls, drops, floods).
Serves connections (each in its own thread) until it is killed.

HTTP (--proto http): reads the request head, appends its request line to the
transcript, then answers with the raw bytes of the file named by the first
--answer whose PATH-PREFIX starts the request path (bytes as they are: the
test writes status line, headers and body itself).
  --answer PREFIX FILE   raw answer for requests whose path starts so
  --stall                answer nothing and keep the connection open
  --drop-after N         send only N bytes of the answer, then close
  --keep-open            send the answer but do not close

IRC (--proto irc): registers NICK/USER with 001 (or 433 for the nicknames of
--taken), answers JOIN with the join line and 366, PING with PONG, then
sends the lines of --after-join (\\x01 written as \\\\1); PRIVMSG lines go to the
transcript. --flood N sends N channel lines after the join.
  --taken NICK           433 for this nickname
  --after-join FILE      lines sent after the JOIN (one per line)
  --overlong             a 2000-byte line after the join
  --drop-after N         close after N bytes sent
  --stall                after the join: send nothing, answer nothing

FTP (--proto ftp): a tiny server over --root: USER PASS TYPE CWD PWD PASV
LIST RETR QUIT. --list FILE gives the LIST text as it is;
--drop-after N closes the data connection of a RETR after N bytes and
answers 426.
"""
import argparse
import os
import socket
import threading
import time

p = argparse.ArgumentParser()
p.add_argument("--proto", required=True, choices=["http", "irc", "ftp"])
p.add_argument("--port", type=int, required=True)
p.add_argument("--answer", nargs=2, action="append", default=[])
p.add_argument("--stall", action="store_true")
p.add_argument("--drop-after", type=int, default=-1)
p.add_argument("--keep-open", action="store_true")
p.add_argument("--taken", action="append", default=[])
p.add_argument("--after-join")
p.add_argument("--overlong", action="store_true")
p.add_argument("--flood", type=int, default=0)
p.add_argument("--root", default=".")
p.add_argument("--list")
p.add_argument("--transcript")
a = p.parse_args()
lock = threading.Lock()


def log(line):
    if a.transcript:
        with lock, open(a.transcript, "a", encoding="latin-1") as f:
            f.write(line + "\n")


def send_limited(conn, data, state):
    """Sends data, closing once --drop-after bytes went out in total."""
    if a.drop_after >= 0:
        left = a.drop_after - state["sent"]
        if left <= 0:
            raise ConnectionError("dropped")
        if len(data) > left:
            conn.sendall(data[:left])
            state["sent"] += left
            raise ConnectionError("dropped")
    conn.sendall(data)
    state["sent"] += len(data)


def read_line(f):
    line = f.readline(70000)
    if not line:
        raise ConnectionError("closed")
    return line.decode("latin-1").rstrip("\r\n")


def hold(conn):
    """Answers nothing any more; what comes in still goes to the transcript."""
    try:
        while True:
            data = conn.recv(4096)
            if not data:
                return
            for line in data.decode("latin-1").splitlines():
                log(line)
    except OSError:
        pass


def serve_http(conn):
    f = conn.makefile("rb")
    first = read_line(f)
    while read_line(f):
        pass
    log(first)
    if a.stall:
        hold(conn)
        return
    path = first.split(" ")[1] if " " in first else ""
    data = b"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"
    for prefix, name in a.answer:
        if path.startswith(prefix):
            with open(name, "rb") as af:
                data = af.read()
            break
    send_limited(conn, data, {"sent": 0})
    if a.keep_open:
        hold(conn)


def serve_irc(conn):
    f = conn.makefile("rb")
    state = {"sent": 0}
    nick = "*"
    user = False
    welcomed = False

    def out(text):
        send_limited(conn, (text + "\r\n").encode("latin-1"), state)

    while True:
        line = read_line(f)
        log(line)
        w = line.split(" ")
        cmd = w[0].upper()
        if cmd == "NICK" and len(w) > 1:
            if w[1] in a.taken:
                out(":double 433 %s %s :Nickname already in use" % (nick, w[1]))
            else:
                old = nick
                nick = w[1]
                if welcomed:
                    out(":%s!u@h NICK :%s" % (old, nick))
                elif user:
                    welcomed = True
                    out(":double 001 %s :Welcome" % nick)
        elif cmd == "USER":
            user = True
            if nick != "*" and not welcomed:
                welcomed = True
                out(":double 001 %s :Welcome" % nick)
        elif cmd == "PING":
            out(":double PONG double :" + (w[1].lstrip(":") if len(w) > 1 else ""))
        elif cmd == "JOIN" and len(w) > 1:
            ch = w[1]
            out(":%s!u@127.0.0.1 JOIN :%s" % (nick, ch))
            out(":double 353 %s = %s :%s @op" % (nick, ch, nick))
            out(":double 366 %s %s :End of NAMES list" % (nick, ch))
            if a.after_join:
                with open(a.after_join, encoding="latin-1") as af:
                    for t in af.read().splitlines():
                        out(t.replace("\\1", "\x01"))
            if a.overlong:
                out(":op!u@h PRIVMSG %s :%s" % (ch, "x" * 2000))
            for i in range(a.flood):
                out(":op!u@h PRIVMSG %s :line %d" % (ch, i))
            if a.stall:
                hold(conn)
                return
        elif cmd == "QUIT":
            return


def serve_ftp(conn):
    f = conn.makefile("rb")
    state = {"sent": 0}
    pasv = None
    cwd = "/"

    def out(text):
        conn.sendall((text + "\r\n").encode("latin-1"))

    def data_conn():
        nonlocal pasv
        if not pasv:
            return None
        pasv.settimeout(5)
        d, _ = pasv.accept()
        pasv.close()
        pasv = None
        return d

    out("220 double ready")
    while True:
        line = read_line(f)
        log(line)
        cmd, _, arg = line.partition(" ")
        cmd = cmd.upper()
        if cmd == "USER":
            out("331 password please")
        elif cmd == "PASS":
            out("230 logged in")
        elif cmd in ("TYPE", "MODE", "STRU"):
            out("200 ok")
        elif cmd == "CWD":
            cwd = arg
            out("250 ok")
        elif cmd == "PWD":
            out('257 "%s"' % cwd)
        elif cmd == "PASV":
            pasv = socket.socket()
            pasv.bind(("127.0.0.1", 0))
            pasv.listen(1)
            port = pasv.getsockname()[1]
            out("227 Entering Passive Mode (127,0,0,1,%d,%d)." % (port >> 8, port & 255))
        elif cmd == "LIST":
            d = data_conn()
            out("150 listing")
            text = open(a.list, "rb").read() if a.list else b""
            d.sendall(text)
            d.close()
            out("226 done")
        elif cmd == "RETR":
            d = data_conn()
            path = os.path.join(a.root, os.path.basename(arg))
            if not os.path.isfile(path):
                d.close()
                out("550 no such file")
                continue
            out("150 sending")
            data = open(path, "rb").read()
            if 0 <= a.drop_after < len(data):
                d.sendall(data[:a.drop_after])
                d.close()
                out("426 transfer aborted")
                continue
            d.sendall(data)
            d.close()
            out("226 done")
        elif cmd == "QUIT":
            out("221 bye")
            return
        else:
            out("502 not here")


def serve(conn):
    try:
        {"http": serve_http, "irc": serve_irc, "ftp": serve_ftp}[a.proto](conn)
    except (ConnectionError, OSError, IndexError):
        pass
    finally:
        try:
            conn.close()
        except OSError:
            pass


s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", a.port))
s.listen(16)
while True:
    c, _ = s.accept()
    threading.Thread(target=serve, args=(c,), daemon=True).start()
