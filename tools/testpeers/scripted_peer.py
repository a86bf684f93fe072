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
  --mailbox DIR               POP3: a real little mailbox, every file of DIR
                              a mail (in name order); DELE marks, QUIT
                              removes the marked files
  --user NAME --password PW   the only log-in taken (POP3 PASS, SMTP AUTH);
                              without them any log-in passes
  --store DIR                 SMTP: every mail received, whole, as
                              DIR/mail_NNN.eml (Return-Path and Envelope-To
                              in front)
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
import base64
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
p.add_argument("--mailbox")
p.add_argument("--user")
p.add_argument("--password")
p.add_argument("--store")
a = p.parse_args()
mailbox_lock = threading.Lock()
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


def login_ok(user, password):
    return a.user is None or (user == a.user and password == (a.password or ""))


def b64(line):
    try:
        return base64.b64decode(line, validate=True).decode("latin-1")
    except (ValueError, UnicodeDecodeError):
        return None


def store(sender, recipients, lines_):
    """Writes a received mail whole into the store folder (temporary name,
    then the next free mail_NNN.eml)."""
    os.makedirs(a.store, exist_ok=True)
    head = "Return-Path: <%s>\nEnvelope-To: %s\n" % (sender, ", ".join(recipients))
    data = head.encode("latin-1") + b"".join(l + b"\n" for l in lines_)
    with mailbox_lock:
        n = 1
        while os.path.exists(os.path.join(a.store, "mail_%03d.eml" % n)):
            n += 1
        tmp = os.path.join(a.store, ".mail_%03d.tmp" % n)
        with open(tmp, "wb") as f:
            f.write(data)
        os.rename(tmp, os.path.join(a.store, "mail_%03d.eml" % n))


def smtp(conn):
    if not send(conn, "greeting", "220 scripted ESMTP\r\n"):
        return
    rd = lines(conn)
    authed = False
    sender, recipients = "", []
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
            given = line.decode("latin-1").split()[2:]
            if not given:
                conn.sendall(b"334 \r\n")
                given = [next(rd).decode("latin-1")]
            parts = (b64(given[0]) or "").split("\0")
            if len(parts) != 3 or not login_ok(parts[1], parts[2]):
                conn.sendall(b"535 5.7.8 Authentication credentials invalid\r\n")
                continue
            if send(conn, "auth", "235 2.7.0 ok\r\n"):
                authed = True
        elif cmd.startswith("AUTH LOGIN"):
            if not send(conn, "auth", "334 VXNlcm5hbWU6\r\n"):
                continue
            user = b64(next(rd).decode("latin-1"))
            if not send(conn, "auth-user", "334 UGFzc3dvcmQ6\r\n"):
                continue
            password = b64(next(rd).decode("latin-1"))
            if a.user is not None and not login_ok(user, password):
                conn.sendall(b"535 5.7.8 Authentication credentials invalid\r\n")
                continue
            if send(conn, "auth-pass", "235 2.7.0 ok\r\n"):
                authed = True
        elif cmd.startswith("MAIL FROM"):
            sender = line.decode("latin-1").split(":", 1)[1].strip().strip("<>")
            recipients = []
            send(conn, "mail", "250 ok\r\n")
        elif cmd.startswith("RCPT TO"):
            if a.relay_needs and not os.path.exists(a.relay_needs) and not authed:
                conn.sendall(b"550 5.7.1 relaying denied, log in to your POP3 box first\r\n")
                continue
            if send(conn, "rcpt", "250 ok\r\n"):
                recipients.append(line.decode("latin-1").split(":", 1)[1].strip().strip("<>"))
        elif cmd.startswith("DATA"):
            if not send(conn, "data", "354 go ahead\r\n"):
                continue
            body = []
            for text in rd:
                if text == b".":
                    break
                body.append(text[1:] if text.startswith(b".") else text)
            if send(conn, "dot", "250 queued\r\n") and a.store:
                store(sender, recipients, body)
        elif cmd.startswith("QUIT"):
            send(conn, "quit", "221 bye\r\n")
            return
        else:
            conn.sendall(b"500 unknown\r\n")


def crlf(data):
    return data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")


def pop3(conn):
    # The mailbox as it stands at the log-in: (file, CRLF text) per mail.
    msgs, names, deleted = [], [], set()
    if a.mail:
        with open(a.mail, "rb") as f:
            mail = crlf(f.read())
        if mail:
            msgs, names = [mail], [None]
    user = None
    logged_in = False

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

    def number(cmd):
        """The mail a command names (1-based), None when there is none."""
        try:
            n = int(cmd.split()[1])
        except (IndexError, ValueError):
            return None
        return n if 1 <= n <= len(msgs) and n not in deleted else None

    if not send(conn, "greeting", "+OK scripted POP3\r\n"):
        return
    for line in lines(conn):
        cmd = line.decode("latin-1")
        up = cmd.upper()
        if up.startswith("CAPA"):
            send(conn, "capa", "+OK\r\nUSER\r\nTOP\r\nUIDL\r\n.\r\n")
        elif up.startswith("USER"):
            user = cmd[5:]
            send(conn, "user", "+OK\r\n")
        elif up.startswith("PASS"):
            if not login_ok(user, cmd[5:]):
                conn.sendall(b"-ERR [AUTH] Authentication failed.\r\n")
                continue
            if a.mailbox:
                with mailbox_lock:
                    names = sorted(f for f in os.listdir(a.mailbox) if not f.startswith("."))
                    msgs = []
                    for f in names:
                        with open(os.path.join(a.mailbox, f), "rb") as mf:
                            msgs.append(crlf(mf.read()))
            logged_in = True
            if send(conn, "pass", "+OK logged in\r\n") and a.touch_on_login:
                open(a.touch_on_login, "w").close()
        elif not logged_in and a.mailbox and not up.startswith("QUIT"):
            conn.sendall(b"-ERR log in first\r\n")
        elif up.startswith("STAT"):
            live = [m for i, m in enumerate(msgs) if i + 1 not in deleted]
            send(conn, "stat", "+OK %d %d\r\n" % (len(live), sum(len(m) for m in live)))
        elif up.startswith("LIST"):
            send(conn, "list", "+OK\r\n" + "".join("%d %d\r\n" % (i + 1, len(m)) for i, m in enumerate(msgs)
                                                    if i + 1 not in deleted) + ".\r\n")
        elif up.startswith("UIDL"):
            conn.sendall(("+OK\r\n" + "".join("%d %s\r\n" % (i + 1, names[i] or "mail%d" % (i + 1))
                                               for i in range(len(msgs)) if i + 1 not in deleted) + ".\r\n").encode())
        elif up.startswith("TOP"):
            n = number(cmd)
            if n is None:
                conn.sendall(b"-ERR no such message\r\n")
                continue
            send(conn, "top", b"+OK\r\n" + body(msgs[n - 1], 0))
        elif up.startswith("RETR"):
            n = number(cmd)
            if n is None:
                conn.sendall(b"-ERR no such message\r\n")
                continue
            send(conn, "retr", b"+OK\r\n" + body(msgs[n - 1]))
        elif up.startswith("DELE"):
            n = number(cmd)
            if n is None:
                conn.sendall(b"-ERR no such message\r\n")
                continue
            if send(conn, "dele", "+OK deleted\r\n"):
                deleted.add(n)
        elif up.startswith("RSET"):
            deleted.clear()
            conn.sendall(b"+OK\r\n")
        elif up.startswith("NOOP"):
            conn.sendall(b"+OK\r\n")
        elif up.startswith("QUIT"):
            # Only a session that ends with QUIT removes what it deleted.
            if a.mailbox:
                with mailbox_lock:
                    for n in deleted:
                        try:
                            os.unlink(os.path.join(a.mailbox, names[n - 1]))
                        except FileNotFoundError:
                            pass
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
