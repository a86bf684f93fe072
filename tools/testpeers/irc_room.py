#!/usr/bin/python3
"""A small IRC server for a few players on loopback: nicknames, channels and
what is said in them, nothing more. Serves until it is killed.

  --port N           the TCP port (127.0.0.1)
  --name NAME        the server's name in its lines (default quill.room)
  --transcript FILE  every line received, prefixed with the sender's nick

NICK and USER register (001 to 004, 375/372/376, 433 for a taken nickname);
JOIN answers with the join line to every member, 353 and 366; PART, QUIT and
a closed connection tell the others; PRIVMSG and NOTICE to a channel go to
its other members, to a nickname to that player; NAMES, TOPIC (331), MODE
(324), WHO (315), PING (PONG) and PONG are answered; anything else gets 421.
"""
import argparse
import socket
import threading

p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
p.add_argument("--port", type=int, required=True)
p.add_argument("--name", default="quill.room")
p.add_argument("--transcript")
a = p.parse_args()
lock = threading.Lock()
clients = {}   # lower-case nick -> Client
channels = {}  # lower-case channel -> {"name": str, "members": set of Client}


class Client:
    def __init__(self, conn):
        self.conn = conn
        self.nick = None
        self.user = None
        self.registered = False

    def prefix(self):
        return "%s!%s@127.0.0.1" % (self.nick, self.user or "player")

    def send(self, line):
        try:
            self.conn.sendall((line + "\r\n").encode("latin-1", "replace"))
        except OSError:
            pass

    def numeric(self, code, text):
        self.send(":%s %s %s %s" % (a.name, code, self.nick or "*", text))


def log(who, line):
    if a.transcript:
        with lock, open(a.transcript, "a", encoding="latin-1") as f:
            f.write("%s: %s\n" % (who, line))


def names(c, chan):
    members = " ".join(m.nick for m in chan["members"])
    c.numeric("353", "= %s :%s" % (chan["name"], members))
    c.numeric("366", "%s :End of /NAMES list." % chan["name"])


def leave(c, chan_key, line):
    """Takes c out of one channel; line goes to everybody in it first."""
    chan = channels.get(chan_key)
    if not chan or c not in chan["members"]:
        return
    for m in list(chan["members"]):
        m.send(line)
    chan["members"].discard(c)
    if not chan["members"]:
        del channels[chan_key]


def gone(c, reason):
    with lock:
        if c.nick and clients.get(c.nick.lower()) is c:
            del clients[c.nick.lower()]
        told = set()
        for key in list(channels):
            chan = channels[key]
            if c in chan["members"]:
                chan["members"].discard(c)
                for m in chan["members"]:
                    if m not in told:
                        m.send(":%s QUIT :%s" % (c.prefix(), reason))
                        told.add(m)
                if not chan["members"]:
                    del channels[key]


def welcome(c):
    c.registered = True
    c.numeric("001", ":Welcome to the tavern, %s" % c.prefix())
    c.numeric("002", ":Your host is %s" % a.name)
    c.numeric("003", ":This server runs on loopback")
    c.numeric("004", "%s room o o" % a.name)
    c.numeric("375", ":- %s Message of the day -" % a.name)
    c.numeric("372", ":- The tavern of Elmor is open.")
    c.numeric("376", ":End of /MOTD command.")


def command(c, line):
    if line.startswith(":"):
        line = line.split(" ", 1)[1] if " " in line else ""
    text = None
    if " :" in line:
        line, text = line.split(" :", 1)
    w = line.split()
    if not w:
        return
    if text is not None:
        w.append(text)
    cmd, args = w[0].upper(), w[1:]
    if cmd == "NICK" and args:
        nick = args[0][:30]
        with lock:
            other = clients.get(nick.lower())
            if other is not None and other is not c:
                c.numeric("433", "%s :Nickname is already in use" % nick)
                return
            old = c.prefix() if c.nick else None
            if c.nick:
                clients.pop(c.nick.lower(), None)
            c.nick = nick
            clients[nick.lower()] = c
            if old and c.registered:
                told = {c}
                c.send(":%s NICK :%s" % (old, nick))
                for chan in channels.values():
                    if c in chan["members"]:
                        for m in chan["members"] - told:
                            m.send(":%s NICK :%s" % (old, nick))
                            told.add(m)
        if not c.registered and c.user:
            welcome(c)
    elif cmd == "USER" and args:
        c.user = args[0][:20]
        if c.nick and not c.registered:
            welcome(c)
    elif cmd == "PING":
        c.send(":%s PONG %s :%s" % (a.name, a.name, args[0] if args else ""))
    elif cmd == "PONG":
        pass
    elif cmd == "QUIT":
        raise ConnectionError("quit")
    elif not c.registered:
        c.numeric("451", ":You have not registered")
    elif cmd == "JOIN" and args:
        for name in args[0].split(","):
            if not name.startswith("#"):
                c.numeric("403", "%s :No such channel" % name)
                continue
            with lock:
                chan = channels.setdefault(name.lower(), {"name": name, "members": set()})
                if c in chan["members"]:
                    continue
                chan["members"].add(c)
                for m in chan["members"]:
                    m.send(":%s JOIN :%s" % (c.prefix(), chan["name"]))
                c.numeric("331", "%s :No topic is set" % chan["name"])
                names(c, chan)
    elif cmd == "PART" and args:
        with lock:
            for name in args[0].split(","):
                leave(c, name.lower(), ":%s PART %s :%s" % (c.prefix(), name, args[1] if len(args) > 1 else ""))
    elif cmd in ("PRIVMSG", "NOTICE") and len(args) >= 2:
        target, said = args[0], args[1]
        with lock:
            if target.startswith("#"):
                chan = channels.get(target.lower())
                if not chan:
                    c.numeric("403", "%s :No such channel" % target)
                    return
                for m in chan["members"]:
                    if m is not c:
                        m.send(":%s %s %s :%s" % (c.prefix(), cmd, chan["name"], said))
            else:
                other = clients.get(target.lower())
                if other is None:
                    c.numeric("401", "%s :No such nick" % target)
                    return
                other.send(":%s %s %s :%s" % (c.prefix(), cmd, other.nick, said))
    elif cmd == "NAMES" and args:
        with lock:
            chan = channels.get(args[0].lower())
            if chan:
                names(c, chan)
            else:
                c.numeric("366", "%s :End of /NAMES list." % args[0])
    elif cmd == "TOPIC" and args:
        c.numeric("331", "%s :No topic is set" % args[0])
    elif cmd == "MODE" and args:
        if args[0].startswith("#"):
            c.numeric("324", "%s +" % args[0])
        else:
            c.numeric("221", "+")
    elif cmd == "WHO":
        c.numeric("315", "%s :End of /WHO list." % (args[0] if args else "*"))
    else:
        c.numeric("421", "%s :Unknown command" % cmd)


def serve(conn):
    c = Client(conn)
    reason = "Connection closed"
    try:
        f = conn.makefile("rb")
        while True:
            raw = f.readline(4096)
            if not raw:
                break
            line = raw.decode("latin-1").rstrip("\r\n")
            log(c.nick or "*", line)
            if line.upper().startswith("QUIT"):
                reason = line.split(":", 1)[1] if ":" in line else "Quit"
                break
            command(c, line)
    except (ConnectionError, OSError):
        pass
    finally:
        gone(c, reason)
        try:
            conn.close()
        except OSError:
            pass


s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", a.port))
s.listen(16)
while True:
    conn, _ = s.accept()
    threading.Thread(target=serve, args=(conn,), daemon=True).start()
