// IRC sessions with their connection threads, and the IRC panel's thread.
// Lock order: the panel's "IRCPanel Semaphore", then a session's "IRC
// Semaphore"; neither is held while waiting on the network.
#include "irc.h"

#include <sys/socket.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "mail_internal.h"
#include "platform/events.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/timer.h"

// What only the connection thread and the calls of this file touch.
struct IrcSessionInternal {
  NetConn conn;                    // connection thread only (after InitIRC)
  QoeThread* thread = nullptr;
  ThreadFlags flags;
  std::atomic<int> registered{0};  // 1 welcomed or nick taken, -1 failed
  std::atomic<int> post{0};        // wake the game with app messages
  uint32_t timeout_ms = 30000;
  // Under the session's semaphore: lines to send, each with CR LF.
  char* send_buf = nullptr;
  uint32_t send_len = 0;
  // Under the session's semaphore. `wake`: an app message was posted and
  // the game has not taken the lines since (at most one waits per session).
  IRCQueueNode* tail = nullptr;
  uint32_t queued = 0;
  bool wake = false;
  uint16_t name_cap = 0;
  bool names_fresh = true;  // the next 353 starts a new table
  // Connection thread only: the lines of one read, queued together, and
  // the status bits they set.
  IRCQueueNode* batch_head = nullptr;
  IRCQueueNode* batch_tail = nullptr;
  uint32_t batch_count = 0;
  uint16_t batch_bits = 0;
  char line[IRC_MAX_LINE + 1];
  uint32_t line_len = 0;
  int64_t last_rx = 0;
  int64_t ping_sent = 0;
};

enum : uint32_t { kSendCap = 16384, kPollMs = 50 };

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? (char)(c + 32) : c; }

bool SameNoCase(const char* a, size_t an, const char* b, size_t bn) {
  if (an != bn) return false;
  for (size_t i = 0; i < an; i++)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

bool ContainsNoCase(const char* s, size_t n, const char* needle) {
  size_t k = std::strlen(needle);
  for (size_t i = 0; k <= n && i + k <= n; i++)
    if (SameNoCase(s + i, k, needle, k)) return true;
  return false;
}

void CopyN(char* out, size_t out_size, const char* s, size_t n) {
  if (!out_size) return;
  if (n >= out_size) n = out_size - 1;
  std::memcpy(out, s, n);
  out[n] = 0;
}

// A nickname or channel may not carry blanks, commas or control bytes.
bool PlainWord(const char* s) {
  if (!s || !*s || std::strlen(s) >= IRC_NAME) return false;
  for (; *s; s++)
    if ((unsigned char)*s <= ' ' || *s == ',' || *s == 127) return false;
  return true;
}

void Lock(IRCSession* s) { ObtainSemaphore(s->Semaphore); }
void Unlock(IRCSession* s) { ReleaseSemaphore(s->Semaphore); }

// Under the semaphore: wakes the game for the waiting lines unless a
// wake-up already waits. One the full game queue refused is posted again by
// the connection thread's next pass (FlushPosts).
void PostWakeLocked(IRCSession* s) {
  IrcSessionInternal* in = s->Internal;
  if (!in->post.load() || in->wake || !s->Queue) return;
  in->wake = PostAppMessage((uint64_t)(uintptr_t)s) == 1;
}

void FlushPosts(IRCSession* s) {
  Lock(s);
  PostWakeLocked(s);
  Unlock(s);
}

// Connection thread: keeps one received line as a block for the next flush.
void QueueLine(IRCSession* s, const char* line, size_t n) {
  IrcSessionInternal* in = s->Internal;
  IRCQueueNode* node = static_cast<IRCQueueNode*>(AllocVec(sizeof(IRCQueueNode), MEMF_PUBLIC | MEMF_CLEAR));
  char* text = static_cast<char*>(AllocVec((uint32_t)n + 1, MEMF_PUBLIC));
  if (!node || !text) {
    FreeVec(node);
    FreeVec(text);
    return;
  }
  std::memcpy(text, line, n);
  text[n] = 0;
  node->text = text;
  node->length = (uint32_t)n + 1;
  if (in->batch_tail)
    in->batch_tail->next = node;
  else
    in->batch_head = node;
  in->batch_tail = node;
  in->batch_count++;
}

// Connection thread: hands the lines read so far to the queue under one
// taking of the semaphore, then sets their status bits (a bit is seen only
// with its line queued).
void FlushBatch(IRCSession* s) {
  IrcSessionInternal* in = s->Internal;
  if (in->batch_count) {
    Lock(s);
    if (in->tail)
      in->tail->next = in->batch_head;
    else
      s->Queue = in->batch_head;
    in->tail = in->batch_tail;
    in->queued += in->batch_count;
    PostWakeLocked(s);
    Unlock(s);
  }
  in->batch_head = in->batch_tail = nullptr;
  in->batch_count = 0;
  if (in->batch_bits) s->Status.fetch_or(in->batch_bits);
  in->batch_bits = 0;
}

bool SendQueued(IRCSession* s);

// Connection thread, before it handles a line: while the queue and the
// lines not yet handed over fill IRC_MAX_QUEUED, it hands those over and
// waits for the game to take some (the server's further lines wait in the
// socket), still sending what the game queued. False when the session ends
// meanwhile (stopped or the connection failed).
bool WaitForRoom(IRCSession* s) {
  IrcSessionInternal* in = s->Internal;
  Lock(s);
  bool full = in->queued + in->batch_count >= IRC_MAX_QUEUED;
  Unlock(s);
  if (!full) return true;
  FlushBatch(s);
  DebugLog("IRC: Warteschlange voll, der Leser wartet\n");
  for (;;) {
    Lock(s);
    full = in->queued >= IRC_MAX_QUEUED;
    PostWakeLocked(s);
    Unlock(s);
    if (!full) return true;
    if (in->flags.quit.load() || in->conn.fd < 0 || !SendQueued(s)) return false;
    SleepMs(5);
  }
}

// Names table (caller holds the semaphore).
int FindName(IRCSession* s, const char* nick, size_t n) {
  for (int i = 0; i < s->NameCount; i++)
    if (SameNoCase(s->Names[i], std::strlen(s->Names[i]), nick, n)) return i;
  return -1;
}

void AddName(IRCSession* s, const char* nick, size_t n) {
  IrcSessionInternal* in = s->Internal;
  while (n && (*nick == '@' || *nick == '+' || *nick == '%' || *nick == '~' || *nick == '&')) nick++, n--;
  if (n == 0 || n >= IRC_NAME || FindName(s, nick, n) >= 0 || s->NameCount >= IRC_MAX_NAMES) return;
  if (s->NameCount == in->name_cap) {
    uint16_t cap = in->name_cap ? (uint16_t)(in->name_cap * 2) : 32;
    if (cap > IRC_MAX_NAMES) cap = IRC_MAX_NAMES;
    auto* more = static_cast<char(*)[IRC_NAME]>(AllocVec((uint32_t)cap * IRC_NAME, MEMF_PUBLIC | MEMF_CLEAR));
    if (!more) return;
    if (s->Names) std::memcpy(more, s->Names, (size_t)s->NameCount * IRC_NAME);
    FreeVec(s->Names);
    s->Names = more;
    in->name_cap = cap;
  }
  CopyN(s->Names[s->NameCount++], IRC_NAME, nick, n);
}

bool RemoveName(IRCSession* s, const char* nick, size_t n) {
  int i = FindName(s, nick, n);
  if (i < 0) return false;
  std::memmove(s->Names[i], s->Names[i + 1], (size_t)(s->NameCount - i - 1) * IRC_NAME);
  s->NameCount--;
  return true;
}

// Connection thread: appends a line to the send buffer (semaphore taken here).
bool QueueSend(IRCSession* s, const char* text) {
  IrcSessionInternal* in = s->Internal;
  size_t n = std::strlen(text);
  bool ok = false;
  Lock(s);
  if (in->send_len + n <= kSendCap) {
    if (!in->send_buf) in->send_buf = static_cast<char*>(AllocVec(kSendCap, MEMF_PUBLIC));
    if (in->send_buf) {
      std::memcpy(in->send_buf + in->send_len, text, n);
      in->send_len += (uint32_t)n;
      ok = true;
    }
  }
  Unlock(s);
  return ok;
}

void Failed(IRCSession* s, uint16_t bit, const char* fmt, const char* arg) {
  FlushBatch(s);  // the lines before the failure stay readable
  std::snprintf(s->Error, sizeof s->Error, fmt, arg);
  DebugLog("IRC: %s\n", s->Error);
  s->Socket.store(-1);
  NetClose(&s->Internal->conn);
  s->Status.fetch_or(bit);
  if (s->Internal->registered.load() == 0) s->Internal->registered.store(-1);
}

bool IsChannel(IRCSession* s, const char* p, size_t n) {
  return SameNoCase(p, n, s->Channel, std::strlen(s->Channel));
}

// Connection thread: one complete line from the server.
void HandleLine(IRCSession* s, const char* line, size_t n) {
  IrcSessionInternal* in = s->Internal;
  IrcMessage m{};
  if (!IrcParseLine(line, n, &m)) return;
  auto is = [&m](const char* cmd) { return SameNoCase(m.command, m.command_len, cmd, std::strlen(cmd)); };
  const char* who = m.prefix;
  size_t who_n = m.nick_len;
  if (is("PING")) {
    char pong[IRC_MAX_LINE + 8];
    std::snprintf(pong, sizeof pong, "PONG :%.*s\r\n", m.count ? (int)m.param_len[0] : 0, m.count ? m.param[0] : "");
    QueueSend(s, pong);
    return;
  }
  if (is("PONG")) return;
  if (is("ERROR")) {
    char t[200];
    CopyN(t, sizeof t, m.count ? m.param[0] : "", m.count ? m.param_len[0] : 0);
    Failed(s, IRC_STATUS_ERROR, "server ended the session: %s", t);
    return;
  }
  uint16_t bits = 0;
  // Only this thread writes Nick: reading it here needs no lock.
  bool self = who && SameNoCase(who, who_n, s->Nick, std::strlen(s->Nick));
  bool shared = is("001") || is("353") || is("366") || is("JOIN") || is("PART") || is("KICK") || is("QUIT") ||
                is("NICK");
  if (shared) Lock(s);
  if (is("001") && m.count >= 1) {
    CopyN(s->Nick, sizeof s->Nick, m.param[0], m.param_len[0]);
    char join[IRC_NAME + 16];
    std::snprintf(join, sizeof join, "JOIN %s\r\n", s->Channel);
    Unlock(s);
    QueueSend(s, join);
    Lock(s);
  } else if (is("433") || is("436")) {
    bits |= IRC_STATUS_NICK_TAKEN;
  } else if (is("353") && m.count >= 4 && IsChannel(s, m.param[2], m.param_len[2])) {
    if (in->names_fresh) s->NameCount = 0;
    in->names_fresh = false;
    const char* p = m.param[3];
    size_t left = m.param_len[3];
    while (left) {
      const char* sp = static_cast<const char*>(std::memchr(p, ' ', left));
      size_t k = sp ? (size_t)(sp - p) : left;
      AddName(s, p, k);
      p += k;
      left -= k;
      if (left) p++, left--;
    }
  } else if (is("366")) {
    in->names_fresh = true;
  } else if (is("JOIN") && m.count >= 1 && who && IsChannel(s, m.param[0], m.param_len[0])) {
    AddName(s, who, who_n);
    bits |= IRC_STATUS_JOINED;
  } else if (is("PART") && m.count >= 1 && who && IsChannel(s, m.param[0], m.param_len[0])) {
    if (self) s->NameCount = 0;
    else RemoveName(s, who, who_n);
    bits |= IRC_STATUS_LEFT;
  } else if (is("KICK") && m.count >= 2 && IsChannel(s, m.param[0], m.param_len[0])) {
    RemoveName(s, m.param[1], m.param_len[1]);
    bits |= IRC_STATUS_LEFT;
  } else if (is("QUIT") && who) {
    if (RemoveName(s, who, who_n)) bits |= IRC_STATUS_LEFT;
  } else if (is("NICK") && m.count >= 1 && who) {
    if (RemoveName(s, who, who_n)) AddName(s, m.param[0], m.param_len[0]);
    if (self) CopyN(s->Nick, sizeof s->Nick, m.param[0], m.param_len[0]);
  } else if (is("NOTICE") && m.count >= 2 && who && SameNoCase(who, who_n, "NickServ", 8) &&
             (ContainsNoCase(m.param[1], m.param_len[1], "is registered") ||
              ContainsNoCase(m.param[1], m.param_len[1], "identify"))) {
    bits |= IRC_STATUS_NICK_TAKEN;
  }
  if (shared) Unlock(s);
  QueueLine(s, line, n);
  in->batch_bits |= bits;
  if (is("001") || ((bits & IRC_STATUS_NICK_TAKEN) && in->registered.load() == 0)) {
    // InitIRC may go on: what came so far is queued first.
    FlushBatch(s);
    in->registered.store(1);
  }
}

// Connection thread: sends what was queued (outside the semaphore).
bool SendQueued(IRCSession* s) {
  IrcSessionInternal* in = s->Internal;
  char buf[kSendCap];
  uint32_t n;
  Lock(s);
  n = in->send_len;
  if (n) std::memcpy(buf, in->send_buf, n);
  in->send_len = 0;
  Unlock(s);
  if (n && !NetWrite(&in->conn, buf, n)) {
    Failed(s, IRC_STATUS_CLOSED, "%s", in->conn.error[0] ? in->conn.error : "cannot send");
    return false;
  }
  return true;
}

int ConnectionThread(void* arg) {
  IRCSession* s = static_cast<IRCSession*>(arg);
  IrcSessionInternal* in = s->Internal;
  char buf[16384];
  in->last_rx = NetNowMs();
  while (!in->flags.quit.load() && in->conn.fd >= 0) {
    if (!SendQueued(s)) break;
    FlushPosts(s);
    long r = NetReadSome(&in->conn, buf, sizeof buf, NetNowMs() + kPollMs);
    int64_t now = NetNowMs();
    if (r == -2) {
      // Quiet: after one time-out ask the server, after another give up.
      if (!in->ping_sent && now - in->last_rx > in->timeout_ms) {
        QueueSend(s, "PING :quill\r\n");
        in->ping_sent = now;
      } else if (in->ping_sent && now - in->ping_sent > in->timeout_ms) {
        Failed(s, IRC_STATUS_TIMEOUT, "no answer from %s (time-out)", in->conn.shown);
      }
      continue;
    }
    if (r <= 0) {
      if (!in->flags.quit.load())
        Failed(s, IRC_STATUS_CLOSED, r == 0 ? "connection to %s closed" : "connection to %s broken", in->conn.shown);
      break;
    }
    in->last_rx = now;
    in->ping_sent = 0;
    for (long i = 0; i < r && in->conn.fd >= 0; i++) {
      char ch = buf[i];
      if (ch == '\n') {
        uint32_t n = in->line_len;
        if (n && in->line[n - 1] == '\r') n--;
        in->line[n] = 0;
        in->line_len = 0;
        if (n && !WaitForRoom(s)) break;
        if (n) HandleLine(s, in->line, n);
        continue;
      }
      if (in->line_len >= IRC_MAX_LINE - 1) {
        Failed(s, IRC_STATUS_ERROR, "line longer than 512 bytes from %s", in->conn.shown);
        break;
      }
      in->line[in->line_len++] = ch;
    }
    FlushBatch(s);
  }
  if (in->conn.fd >= 0) {
    // Goodbye without waiting: whatever fits the socket now.
    SendQueued(s);
    send(in->conn.fd, "QUIT :Quill of Elmor\r\n", 22, MSG_NOSIGNAL | MSG_DONTWAIT);
    s->Socket.store(-1);
    NetClose(&in->conn);
  }
  FlushPosts(s);
  in->flags.finished.store(1);
  return 0;
}

void FreeSession(IRCSession* s) {
  IrcSessionInternal* in = s->Internal;
  if (in) {
    NetClose(&in->conn);
    FreeVec(in->send_buf);
    in->~IrcSessionInternal();
    FreeVec(in);
  }
  for (IRCQueueNode* n = s->Queue; n;) {
    IRCQueueNode* next = n->next;
    FreeVec(n->text);
    FreeVec(n);
    n = next;
  }
  FreeVec(s->Lines);
  FreeVec(s->Names);
  if (s->Semaphore) DeleteSemaphore(s->Semaphore);
  s->~IRCSession();
  FreeVec(s);
}

}  // namespace

// ---- Readers ------------------------------------------------------------------------------

int32_t IrcParseLine(const char* line, size_t length, IrcMessage* m) {
  std::memset(m, 0, sizeof *m);
  if (!line || length == 0 || length > IRC_MAX_LINE) return 0;
  size_t i = 0;
  if (line[0] == ':') {
    i = 1;
    while (i < length && line[i] != ' ') i++;
    m->prefix = line + 1;
    m->prefix_len = i - 1;
    if (m->prefix_len == 0) return 0;
    size_t k = 0;
    while (k < m->prefix_len && m->prefix[k] != '!' && m->prefix[k] != '@') k++;
    m->nick_len = k;
    while (i < length && line[i] == ' ') i++;
  }
  size_t c = i;
  while (i < length && line[i] != ' ') i++;
  if (i == c) return 0;
  m->command = line + c;
  m->command_len = i - c;
  while (i < length && m->count < 15) {
    while (i < length && line[i] == ' ') i++;
    if (i >= length) break;
    if (line[i] == ':') {
      m->param[m->count] = line + i + 1;
      m->param_len[m->count++] = length - i - 1;
      break;
    }
    size_t p = i;
    while (i < length && line[i] != ' ') i++;
    m->param[m->count] = line + p;
    m->param_len[m->count++] = i - p;
  }
  return 1;
}

int32_t IrcChannelText(const char* channel, const char* line, size_t length, char* nick, size_t nick_size,
                       char* text, size_t text_size) {
  if (nick && nick_size) nick[0] = 0;
  if (text && text_size) text[0] = 0;
  IrcMessage m{};
  if (!channel || !IrcParseLine(line, length, &m) || !m.prefix || m.nick_len == 0 || m.count < 2) return 0;
  if (!SameNoCase(m.command, m.command_len, "PRIVMSG", 7)) return 0;
  if (!SameNoCase(m.param[0], m.param_len[0], channel, std::strlen(channel))) return 0;
  const char* t = m.param[1];
  size_t n = m.param_len[1];
  const char* cr = static_cast<const char*>(std::memchr(t, '\r', n));
  if (cr) n = (size_t)(cr - t);
  if (n >= 8 && t[0] == 1 && std::memcmp(t + 1, "ACTION", 6) == 0) {
    t += 8;
    n -= 8;
    if (n && t[n - 1] == 1) n--;
  }
  CopyN(nick, nick_size, m.prefix, m.nick_len);
  CopyN(text, text_size, t, n);
  return 1;
}

size_t IrcMakeAction(const char* typed, char* out, size_t out_size) {
  if (!out || out_size < 10) return 0;
  const char* rest = typed && std::strncmp(typed, "/ME", 3) == 0 ? typed + 3 : (typed ? typed : "");
  int n = std::snprintf(out, out_size, " ACTION %s ", rest);
  size_t len = n < 0 ? 0 : ((size_t)n < out_size ? (size_t)n : out_size - 1);
  out[len] = 0;
  out[0] = 1;
  out[len - 1] = 1;
  return len;
}

// ---- Sessions --------------------------------------------------------------------------

IRCSession* InitIRC(const char* server, const char* channel, const char* nick, int32_t post_events) {
  void* m = AllocVec(sizeof(IRCSession), MEMF_PUBLIC | MEMF_CLEAR);
  void* mi = AllocVec(sizeof(IrcSessionInternal), MEMF_PUBLIC | MEMF_CLEAR);
  if (!m || !mi) {
    FreeVec(m);
    FreeVec(mi);
    return nullptr;
  }
  IRCSession* s = new (m) IRCSession();
  IrcSessionInternal* in = new (mi) IrcSessionInternal();
  s->Internal = in;
  s->Semaphore = CreateNamedSemaphore("IRC Semaphore", 1, 1);
  in->post.store(post_events ? 1 : 0);
  CopyN(s->Channel, sizeof s->Channel, channel ? channel : "", channel ? std::strlen(channel) : 0);
  CopyN(s->Nick, sizeof s->Nick, nick ? nick : "", nick ? std::strlen(nick) : 0);
  if (!s->Semaphore) {
    std::snprintf(s->Error, sizeof s->Error, "out of memory");
    return s;
  }
  if (!PlainWord(channel) || !PlainWord(nick)) {
    std::snprintf(s->Error, sizeof s->Error, "invalid channel or nickname");
    s->Status.fetch_or(IRC_STATUS_ERROR);
    return s;
  }
  in->timeout_ms = NetTimeoutMs();
  if (!NetOpen(&in->conn, server, 6667, nullptr)) {
    std::snprintf(s->Error, sizeof s->Error, "%s", in->conn.error);
    DebugLog("InitIRC: %s\n", s->Error);
    s->Status.fetch_or(IRC_STATUS_CLOSED);
    return s;
  }
  // Writes of the thread wait at most half a second: a stuck server cannot
  // hold it.
  if (in->conn.timeout_ms > 500) in->conn.timeout_ms = 500;
  char reg[2 * IRC_NAME + 64];
  std::snprintf(reg, sizeof reg, "NICK %s\r\nUSER quill 0 * :Quill of Elmor\r\n", s->Nick);
  if (!NetWriteText(&in->conn, reg)) {
    std::snprintf(s->Error, sizeof s->Error, "%s", in->conn.error);
    s->Status.fetch_or(IRC_STATUS_CLOSED);
    return s;
  }
  s->Socket.store(in->conn.fd);
  in->thread = StartThread("IRC", ConnectionThread, s);
  if (!in->thread) {
    NetClose(&in->conn);
    s->Socket.store(-1);
    std::snprintf(s->Error, sizeof s->Error, "cannot start the IRC thread");
    return s;
  }
  int64_t deadline = NetNowMs() + in->timeout_ms;
  while (in->registered.load() == 0 && NetNowMs() < deadline) SleepMs(5);
  if (in->registered.load() != 1) {
    StopThreadByFlag(in->thread, &in->flags, -1);
    in->thread = nullptr;
    if (in->registered.load() == 0) {
      // host:port is at most 259 characters (a host name's 253): the text fits;
      // a longer one would keep its start and end in "...".
      if (std::snprintf(s->Error, sizeof s->Error, "no welcome from %s (time-out)", in->conn.shown) >= (int)sizeof s->Error)
        std::memcpy(s->Error + sizeof s->Error - 4, "...", 4);
      s->Status.fetch_or(IRC_STATUS_TIMEOUT);
    }
    s->Socket.store(-1);
    DebugLog("InitIRC: %s\n", s->Error);
  }
  return s;
}

void ExitIRC(IRCSession* s) {
  if (!s) return;
  IrcSessionInternal* in = s->Internal;
  if (in && in->thread) {
    // The thread waits at most 50 ms for data and half a second for a write.
    StopThreadByFlag(in->thread, &in->flags, -1);
    in->thread = nullptr;
  }
  FreeSession(s);
}

int32_t SendIRC(IRCSession* s, const char* text, const char* target, int32_t kind) {
  if (!s || !s->Internal || s->Socket.load() < 0) return 0;
  char body[IRC_MAX_LINE];
  size_t n = 0;
  if (text) {
    while (text[n] && text[n] != '\r' && text[n] != '\n') n++;
  }
  char clean[IRC_MAX_LINE];
  CopyN(clean, sizeof clean, text ? text : "", n);
  if (std::strncmp(clean, "/ME", 3) == 0) IrcMakeAction(clean, body, sizeof body);
  else std::snprintf(body, sizeof body, "%s", clean);
  char line[IRC_MAX_LINE + 1];
  switch (kind) {
    case IRC_SEND_CHANNEL:
      std::snprintf(line, sizeof line, "PRIVMSG %s :%.*s", s->Channel, 400, body);
      break;
    case IRC_SEND_PRIVATE:
      if (!PlainWord(target)) return 0;
      std::snprintf(line, sizeof line, "PRIVMSG %s :%.*s", target, 400, body);
      break;
    case IRC_SEND_NICK:
      if (!PlainWord(target)) return 0;
      std::snprintf(line, sizeof line, "NICK %s", target);
      break;
    default:
      return 0;
  }
  // A cut ACTION keeps its closing byte 1.
  size_t len = std::strlen(line);
  if (len > IRC_MAX_LINE - 3) len = IRC_MAX_LINE - 3;
  if (body[0] == 1 && line[len - 1] != 1) line[len - 1] = 1;
  line[len] = '\r';
  line[len + 1] = '\n';
  line[len + 2] = 0;
  return QueueSend(s, line) ? 1 : 0;
}

int32_t IRCTakeBlock(IRCSession* s) {
  if (!s || !s->Semaphore) return 0;
  IRCQueueNode* node = nullptr;
  Lock(s);
  FreeVec(s->Lines);
  s->Lines = nullptr;
  s->LinesLength = 0;
  node = s->Queue;
  if (node) {
    s->Queue = node->next;
    if (!s->Queue) s->Internal->tail = nullptr;
    s->Internal->queued--;
    s->Lines = node->text;
    s->LinesLength = node->length;
  }
  if (!s->Queue) s->Internal->wake = false;
  Unlock(s);
  FreeVec(node);
  return node ? 1 : 0;
}

int32_t IRCTakeAll(IRCSession* s) {
  if (!s || !s->Semaphore) return 0;
  IrcSessionInternal* in = s->Internal;
  FreeVec(s->Lines);
  s->Lines = nullptr;
  s->LinesLength = 0;
  // Only this thread takes: the chain stays whole once detached.
  Lock(s);
  IRCQueueNode* head = s->Queue;
  IRCQueueNode* last = in->tail;
  const uint32_t count = in->queued;
  s->Queue = nullptr;
  in->tail = nullptr;
  in->queued = 0;
  in->wake = false;
  Unlock(s);
  if (!head) return 0;
  uint64_t total = 0;
  for (IRCQueueNode* n = head; n; n = n->next) total += n->length;
  char* joined = head->next ? static_cast<char*>(AllocVec((uint32_t)total, MEMF_PUBLIC)) : nullptr;
  if (head->next && !joined) {
    // Without the memory for all: the oldest block; the rest goes back in
    // front of what came since, with a wake-up.
    DebugLog("IRCTakeAll: kein Speicher für %llu Bytes, nur eine Zeile\n", (unsigned long long)total);
    Lock(s);
    last->next = s->Queue;
    if (!s->Queue) in->tail = last;
    s->Queue = head->next;
    in->queued += count - 1;
    PostWakeLocked(s);
    Unlock(s);
    head->next = nullptr;
  }
  if (!joined) {
    s->Lines = head->text;
    s->LinesLength = head->length;
    FreeVec(head);
    return 1;
  }
  uint32_t at = 0;
  for (IRCQueueNode* n = head; n;) {
    IRCQueueNode* next = n->next;
    std::memcpy(joined + at, n->text, n->length);
    at += n->length;
    FreeVec(n->text);
    FreeVec(n);
    n = next;
  }
  s->Lines = joined;
  s->LinesLength = at;
  return 1;
}

uint32_t IRCCopyNames(IRCSession* s, char (*out)[IRC_NAME], uint32_t max) {
  if (!s || !s->Semaphore) return 0;
  Lock(s);
  uint32_t n = s->NameCount < max ? s->NameCount : max;
  if (n) std::memcpy(out, s->Names, (size_t)n * IRC_NAME);
  Unlock(s);
  return n;
}

void IRCPostEvents(IRCSession* s, int32_t on) {
  if (!s || !s->Internal) return;
  IrcSessionInternal* in = s->Internal;
  Lock(s);
  in->post.store(on ? 1 : 0);
  in->wake = false;
  PostWakeLocked(s);
  Unlock(s);
}

// ---- The IRC panel --------------------------------------------------------------------

struct IrcPanel {
  QoeThread* thread = nullptr;
  ThreadFlags flags;
  QoeSemaphore* lock = nullptr;  // "IRCPanel Semaphore": the fields below
  IRCSession* session = nullptr;
  bool connecting = true;
  bool paused = false;
  bool handed = false;
  char server[ENDPOINT_TEXT] = {0};
  char channel[ENDPOINT_TEXT] = {0};
  char nick[IRC_NAME] = {0};
};

namespace {

enum : int64_t { kReconnectMs = 30000 };

int PanelThread(void* arg) {
  IrcPanel* p = static_cast<IrcPanel*>(arg);
  int64_t last_try = 0;
  while (!p->flags.quit.load()) {
    ObtainSemaphore(p->lock);
    IRCSession* s = p->session;
    bool dead = !s || s->Socket.load() < 0;
    bool reconnect = !p->handed && dead && (last_try == 0 || NetNowMs() - last_try > kReconnectMs);
    if (reconnect) {
      p->connecting = true;
      p->session = nullptr;
    } else if (s && !p->handed && !p->paused) {
      while (IRCTakeBlock(s)) {
      }  // the panel shows nothing yet
    }
    ReleaseSemaphore(p->lock);
    if (reconnect) {
      ExitIRC(s);
      last_try = NetNowMs();
      IRCSession* fresh = InitIRC(p->server, p->channel, p->nick, 0);
      ObtainSemaphore(p->lock);
      p->session = fresh;
      p->connecting = false;
      ReleaseSemaphore(p->lock);
      continue;
    }
    SleepMs(kPollMs);
  }
  p->flags.finished.store(1);
  return 0;
}

// The own player's name as a nickname: letters, digits, '-' and '_', a
// letter first; "Quill" and four digits when nothing is left.
void PanelNick(char* out, size_t out_size) {
  size_t o = 0;
  for (const char* c = OwnPlayerPtr->LordName; *c && o + 1 < out_size && o < 30; c++) {
    bool letter = (*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z');
    bool other = (*c >= '0' && *c <= '9') || *c == '-' || *c == '_';
    if (letter || (o > 0 && other)) out[o++] = *c;
  }
  out[o] = 0;
  if (o == 0) std::snprintf(out, out_size, "Quill%04u", (unsigned)Zufall(9999));
}

}  // namespace

void StartIrcPanel() {
  InternetState* st = Internet();
  if (st->irc_panel) return;
  void* m = AllocVec(sizeof(IrcPanel), MEMF_PUBLIC | MEMF_CLEAR);
  if (!m) return;
  IrcPanel* p = new (m) IrcPanel();
  const EndpointConfig& e = QoESystemPtr->Endpoints;
  std::snprintf(p->server, sizeof p->server, "%s", e.IrcServer);
  std::snprintf(p->channel, sizeof p->channel, "%s", e.IrcChannel[0] ? e.IrcChannel : "#Quill");
  PanelNick(p->nick, sizeof p->nick);
  p->lock = CreateNamedSemaphore("IRCPanel Semaphore", 1, 1);
  if (p->lock) p->thread = StartThread("IRCPanel", PanelThread, p);
  if (!p->thread) {
    DebugLog("StartIrcPanel: Konnte IRC-Panel nicht starten\n");
    if (p->lock) DeleteSemaphore(p->lock);
    p->~IrcPanel();
    FreeVec(p);
    return;
  }
  st->irc_panel = p;
}

void StopIrcPanel() {
  InternetState* st = Internet();
  IrcPanel* p = st->irc_panel;
  if (!p) return;
  StopThreadByFlag(p->thread, &p->flags, -1);
  ExitIRC(p->session);
  DeleteSemaphore(p->lock);
  p->~IrcPanel();
  FreeVec(p);
  st->irc_panel = nullptr;
}

IRCSession* IRCPanelControl(int32_t mode) {
  IrcPanel* p = Internet()->irc_panel;
  if (!p) return nullptr;
  IRCSession* out = nullptr;
  if (mode == 3) {
    // A connection still being made is waited for, at most the time-out.
    int64_t deadline = NetNowMs() + NetTimeoutMs();
    for (;;) {
      ObtainSemaphore(p->lock);
      if (!p->connecting || NetNowMs() > deadline) break;
      ReleaseSemaphore(p->lock);
      SleepMs(10);
    }
    out = p->session;
    if (out) {
      p->handed = true;
      IRCPostEvents(out, 1);
    }
    ReleaseSemaphore(p->lock);
    return out;
  }
  ObtainSemaphore(p->lock);
  switch (mode) {
    case 1: p->paused = false; break;
    case 2: p->paused = true; break;
    case 4:
      if (p->handed && p->session) IRCPostEvents(p->session, 0);
      p->handed = false;
      break;
    default: break;
  }
  ReleaseSemaphore(p->lock);
  return nullptr;
}
