#!/usr/bin/python3
"""Scripted SMTP / POP3 peer for the tests: answers like a plain server, but
at a chosen step it answers with a given reply, an overlong line, or stalls.
Serves connections one after another until it is killed.

Steps, SMTP: greeting ehlo helo starttls auth auth-user auth-pass mail rcpt data
dot quit.  POP3: greeting capa user pass stat list top retr dele quit.

  --fail STEP CODE-AND-TEXT   answer this step with the line (e.g. "550 no relay")
  --overlong STEP             answer this step with a 20000-character line
  --stall STEP                never answer this step
  --no-ehlo                   answer EHLO with 502 (the client must use HELO)
  --auth MECHS                AUTH mechanisms to offer (e.g. "PLAIN LOGIN")
  --relay-needs FILE          refuse RCPT with 550 until FILE exists
  --touch-on-login FILE       POP3: create FILE after a good PASS
  --mail FILE                 POP3: the one mail in the mailbox
  --transcript FILE           append every received line
  --script FILE               read fail/overlong/stall lines ("fail STEP REPLY"
                              where a written \\r\\n splits the reply,
                              "overlong STEP", "stall STEP") from FILE at every
                              connection, in place of the options; a line may
                              begin with the number of the connection it is
                              for (counted from 1 since the start; the start
                              helper's readiness probe is connection 1, so a
                              client's first connection is 2), e.g.
                              "3 fail rcpt 535 5.7.8 Authentication required"
                              gives that refusal to the client's second only
"""
import argparse
import os
import socket
import threading
import time

p = argparse.ArgumentParser()
p.add_argument("--proto", required=True, choices=["smtp", "pop3"])
p.add_argument("--port", type=int, required=True)
p.add_argument("--fail", nargs=2, action="append", default=[])
p.add_argument("--overlong", action="append", default=[])
p.add_argument("--stall", action="append", default=[])
p.add_argument("--no-ehlo", action="store_true")
p.add_argument("--auth", default="")
p.add_argument("--relay-needs")
p.add_argument("--touch-on-login")
p.add_argument("--mail")
p.add_argument("--transcript")
p.add_argument("--script")
a = p.parse_args()
fails = {step: reply for step, reply in a.fail}


def load_script(connection):
    """Replaces the fault options by the script file's lines for this
    connection (lines without a number, and those naming it)."""
    global fails
    if not a.script:
        return
    fails, a.overlong, a.stall = {}, [], []
    try:
        with open(a.script) as f:
            for line in f:
                first, _, rest = line.partition(" ")
                if first.isdigit():
                    if int(first) != connection:
                        continue
                    line = rest
                w = line.rstrip("\n").split(" ", 2)
                if w[0] == "fail" and len(w) == 3:
                    fails[w[1]] = w[2].replace("\\r\\n", "\r\n")
                elif w[0] == "overlong" and len(w) >= 2:
                    a.overlong.append(w[1])
                elif w[0] == "stall" and len(w) >= 2:
                    a.stall.append(w[1])
    except FileNotFoundError:
        pass


class Closed(Exception):
    pass


def send(conn, step, normal):
    """Sends the step's reply: the scripted one if any, else normal."""
    if step in a.stall:
        time.sleep(3600)
    if step in a.overlong:
        conn.sendall(b"250 " + b"x" * 20000 + b"\r\n")
        return False
    if step in fails:
        conn.sendall(fails[step].encode() + b"\r\n")
        return False
    if isinstance(normal, str):
        normal = normal.encode()
    conn.sendall(normal)
    return True


def lines(conn):
    buf = b""
    while True:
        while b"\n" not in buf:
            d = conn.recv(65536)
            if not d:
                raise Closed()
            buf += d
        line, buf = buf.split(b"\n", 1)
        line = line.rstrip(b"\r")
        if a.transcript:
            with open(a.transcript, "ab") as t:
                t.write(line + b"\n")
        yield line


def smtp(conn):
    if not send(conn, "greeting", "220 scripted ESMTP\r\n"):
        return
    rd = lines(conn)
    authed = False
    for line in rd:
        cmd = line.decode("latin-1").upper()
        if cmd.startswith("EHLO"):
            if a.no_ehlo:
                conn.sendall(b"502 5.5.1 EHLO not here\r\n")
                continue
            ext = "250-scripted\r\n250-PIPELINING\r\n250-SIZE 1000000\r\n"
            if a.auth:
                ext += "250-AUTH " + a.auth + "\r\n"
            send(conn, "ehlo", ext + "250 8BITMIME\r\n")
        elif cmd.startswith("HELO"):
            send(conn, "helo", "250 scripted\r\n")
        elif cmd.startswith("STARTTLS"):
            send(conn, "starttls", "454 4.7.0 TLS not available\r\n")
        elif cmd.startswith("AUTH PLAIN"):
            if send(conn, "auth", "235 2.7.0 ok\r\n"):
                authed = True
        elif cmd.startswith("AUTH LOGIN"):
            if not send(conn, "auth", "334 VXNlcm5hbWU6\r\n"):
                continue
            next(rd)
            if not send(conn, "auth-user", "334 UGFzc3dvcmQ6\r\n"):
                continue
            next(rd)
            if send(conn, "auth-pass", "235 2.7.0 ok\r\n"):
                authed = True
        elif cmd.startswith("MAIL FROM"):
            send(conn, "mail", "250 ok\r\n")
        elif cmd.startswith("RCPT TO"):
            if a.relay_needs and not os.path.exists(a.relay_needs) and not authed:
                conn.sendall(b"550 5.7.1 relaying denied, log in to your POP3 box first\r\n")
                continue
            send(conn, "rcpt", "250 ok\r\n")
        elif cmd.startswith("DATA"):
            if not send(conn, "data", "354 go ahead\r\n"):
                continue
            for body in rd:
                if body == b".":
                    break
            send(conn, "dot", "250 queued\r\n")
        elif cmd.startswith("QUIT"):
            send(conn, "quit", "221 bye\r\n")
            return
        else:
            conn.sendall(b"500 unknown\r\n")


def pop3(conn):
    mail = b""
    if a.mail:
        with open(a.mail, "rb") as f:
            mail = f.read().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    msgs = [mail] if mail else []

    def body(m, top=None):
        out = b""
        ls = m.split(b"\r\n")
        if ls and ls[-1] == b"":
            ls = ls[:-1]
        if top is not None:
            ls = ls[: ls.index(b"") + 1 + top] if b"" in ls else ls
        for l in ls:
            out += (b"." + l if l.startswith(b".") else l) + b"\r\n"
        return out + b".\r\n"

    if not send(conn, "greeting", "+OK scripted POP3\r\n"):
        return
    for line in lines(conn):
        cmd = line.decode("latin-1")
        up = cmd.upper()
        if up.startswith("CAPA"):
            send(conn, "capa", "+OK\r\nUSER\r\nTOP\r\n.\r\n")
        elif up.startswith("USER"):
            send(conn, "user", "+OK\r\n")
        elif up.startswith("PASS"):
            if send(conn, "pass", "+OK logged in\r\n") and a.touch_on_login:
                open(a.touch_on_login, "w").close()
        elif up.startswith("STAT"):
            send(conn, "stat", "+OK %d %d\r\n" % (len(msgs), sum(len(m) for m in msgs)))
        elif up.startswith("LIST"):
            send(conn, "list", "+OK\r\n" + "".join("%d %d\r\n" % (i + 1, len(m)) for i, m in enumerate(msgs)) + ".\r\n")
        elif up.startswith("TOP"):
            n = int(cmd.split()[1])
            send(conn, "top", b"+OK\r\n" + body(msgs[n - 1], 0))
        elif up.startswith("RETR"):
            n = int(cmd.split()[1])
            send(conn, "retr", b"+OK\r\n" + body(msgs[n - 1]))
        elif up.startswith("DELE"):
            send(conn, "dele", "+OK deleted\r\n")
        elif up.startswith("QUIT"):
            send(conn, "quit", "+OK bye\r\n")
            return
        else:
            conn.sendall(b"-ERR unknown\r\n")


def serve(c):
    try:
        (smtp if a.proto == "smtp" else pop3)(c)
    except (Closed, ConnectionError, StopIteration):
        pass
    finally:
        c.close()


srv = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
srv.bind(("127.0.0.1", a.port))
srv.listen(8)
connections = 0
while True:
    c, _ = srv.accept()
    connections += 1
    load_script(connections)
    # One thread per connection: a stalled one does not hold up the next.
    threading.Thread(target=serve, args=(c,), daemon=True).start()
