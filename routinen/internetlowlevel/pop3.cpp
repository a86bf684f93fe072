// POP3 client: GetEMail (docs/mailclients.md).
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "mail.h"
#include "mail_internal.h"
#include "platform/log.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"

namespace {

constexpr size_t kHeaderLimit = 1u << 20;    // TOP n 0
constexpr uint32_t kMaxMessages = 100000;    // more than this in one mailbox is refused
constexpr uint32_t kDefaultMaxMail = 64u << 20;

constexpr size_t kStreamBlock = 64u << 10;  // a mail goes to its file in blocks of this size

struct Pop3 {
  NetConn conn;
  char line[NET_MAX_LINE + 2];
  char block[kStreamBlock];  // the part of a mail not yet written
  char* status;
};

bool HasBreak(const char* s) { return s && (std::strchr(s, '\r') || std::strchr(s, '\n')); }

const char* SetStatus(Pop3* p, const char* fmt, const char* a = "", const char* b = "") {
  // A server's line may be longer than the status field: the status keeps its
  // start, and "..." at its end shows the cut.
  const size_t size = sizeof Internet()->pop3_status;
  if (std::snprintf(p->status, size, fmt, a, b) >= (int)size) std::memcpy(p->status + size - 4, "...", 4);
  return p->status;
}

// Ends with the connection's own error text.
const char* ConnError(Pop3* p) {
  SetStatus(p, "POP3: %s", p->conn.error);
  NetClose(&p->conn);
  return p->status;
}

// Ends with the server's refusal line.
const char* Refused(Pop3* p) {
  SetStatus(p, "%s", p->line);
  NetClose(&p->conn);
  return p->status;
}

bool ReadReply(Pop3* p) { return NetReadLine(&p->conn, p->line, sizeof p->line, nullptr) != 0; }

// Sends one command and reads its status line; 1 "+OK", 0 "-ERR" (the line
// stays in p->line), -1 connection error.
int Command(Pop3* p, const char* cmd, const char* arg = nullptr) {
  char out[600];
  int n = arg ? std::snprintf(out, sizeof out, "%s %s\r\n", cmd, arg) : std::snprintf(out, sizeof out, "%s\r\n", cmd);
  if (n < 0 || (size_t)n >= sizeof out) return NetFail(&p->conn, "command too long"), -1;
  if (!NetWrite(&p->conn, out, (size_t)n) || !ReadReply(p)) return -1;
  return Pop3ReplyOk(p->line) > 0 ? 1 : 0;
}

// Ends after a file could not be written: QUIT commits only the earlier,
// complete mails.
const char* WriteFailed(Pop3* p, const char* path) {
  SetStatus(p, "POP3: cannot write %s", path);
  Command(p, "QUIT");
  NetClose(&p->conn);
  return p->status;
}

// Reads a multi-line answer up to its "." line, dot-stuffing undone, CRLF
// line ends; out may be null (the lines are skipped). 0 on a connection
// error or when the text passes limit bytes.
int ReadMulti(Pop3* p, MailText* out, size_t limit) {
  size_t total = 0;
  for (;;) {
    size_t n = 0;
    if (!NetReadLine(&p->conn, p->line, sizeof p->line, &n)) return 0;
    const char* s = p->line;
    if (s[0] == '.') {
      if (n == 1) return 1;
      s++;
      n--;
    }
    total += n + 2;
    if (total > limit) return NetFail(&p->conn, "answer of %s larger than %zu bytes", p->conn.shown, limit);
    if (out) {
      MailTextAppendN(out, s, n);
      MailTextAppendN(out, "\r\n", 2);
      if (!out->ok) return NetFail(&p->conn, "no memory for a mail of %zu bytes", total);
    }
  }
}

// Reads a multi-line answer (a mail) like ReadMulti, straight into the
// file stream in blocks, so memory stays bounded whatever the server sends.
// With head set, the header lines up to the blank line (at most head_limit
// bytes) are kept there as well. *size gets the bytes of the mail. 1 at the
// "." line; 0 on a connection error or when the text passes limit bytes;
// -1 when the file could not be written (the answer is read to its end).
int ReadMultiToFile(Pop3* p, FileStream* file, size_t limit, MailText* head, size_t head_limit, size_t* size) {
  size_t total = 0, used = 0;
  bool in_head = head != nullptr, write_ok = true;
  *size = 0;
  for (;;) {
    size_t n = 0;
    if (!NetReadLine(&p->conn, p->line, sizeof p->line, &n)) return 0;
    const char* s = p->line;
    if (s[0] == '.') {
      if (n == 1) break;
      s++;
      n--;
    }
    total += n + 2;
    if (total > limit) return NetFail(&p->conn, "answer of %s larger than %zu bytes", p->conn.shown, limit);
    if (in_head) {
      if (n == 0 || head->len + n + 2 > head_limit) in_head = false;
      if (n) MailTextAppendN(head, s, n);
      MailTextAppendN(head, "\r\n", 2);
      if (!head->ok) return NetFail(&p->conn, "no memory for the headers of a mail");
    }
    if (!write_ok) continue;
    if (used + n + 2 > sizeof p->block) {
      write_ok = FileStreamWrite(file, p->block, (uint32_t)used) != 0;
      used = 0;
    }
    std::memcpy(p->block + used, s, n);
    std::memcpy(p->block + used + n, "\r\n", 2);
    used += n + 2;
  }
  if (write_ok && used) write_ok = FileStreamWrite(file, p->block, (uint32_t)used) != 0;
  *size = total;
  return write_ok ? 1 : -1;
}

struct ListEntry {
  uint32_t number;
  uint32_t size;
};

}  // namespace

int32_t Pop3ReplyOk(const char* line) {
  if (!line) return 0;
  if (std::strncmp(line, "+OK", 3) == 0 && (line[3] == 0 || line[3] == ' ')) return 1;
  if (std::strncmp(line, "-ERR", 4) == 0 && (line[4] == 0 || line[4] == ' ')) return -1;
  return 0;
}

int32_t Pop3ParseNumbers(const char* text, uint32_t* a, uint32_t* b) {
  if (!text) return 0;
  const char* p = text;
  uint32_t v[2] = {0, 0};
  for (int k = 0; k < 2; k++) {
    while (*p == ' ') p++;
    if (*p < '0' || *p > '9') return 0;
    uint64_t x = 0;
    while (*p >= '0' && *p <= '9') {
      x = x * 10 + (uint64_t)(*p++ - '0');
      if (x > 0xFFFFFFFFu) return 0;
    }
    v[k] = (uint32_t)x;
    if (*p != ' ' && *p != 0) return 0;
  }
  *a = v[0];
  *b = v[1];
  return 1;
}

int32_t Pop3HasCapability(const char* caps, size_t size, const char* name) {
  size_t nl = std::strlen(name);
  const char* p = caps;
  const char* end = caps + size;
  while (p < end) {
    const char* eol = static_cast<const char*>(std::memchr(p, '\n', (size_t)(end - p)));
    const char* le = eol ? eol : end;
    size_t ll = (size_t)(le - p);
    if (ll && p[ll - 1] == '\r') ll--;
    if (ll >= nl && strncasecmp(p, name, nl) == 0 && (ll == nl || p[nl] == ' ')) return 1;
    p = eol ? eol + 1 : end;
  }
  return 0;
}

const char* GetEMail(const char* host, const char* user, const char* password, const char* pattern,
                     const char* folder, uint32_t reserved, uint32_t remove) {
  InternetState* st = Internet();
  Pop3* p = static_cast<Pop3*>(AllocVec(sizeof(Pop3), MEMF_PUBLIC | MEMF_CLEAR));
  if (!p) {
    std::snprintf(st->pop3_status, sizeof st->pop3_status, "POP3: no memory");
    return st->pop3_status;
  }
  new (&p->conn) NetConn();
  p->status = st->pop3_status;
  p->status[0] = 0;
  const char* result = nullptr;
  FileStream* stream = nullptr;  // the mail being received
  ListEntry* list = nullptr;
  uint32_t count = 0, fetched = 0;
  uint32_t max_mail = st->max_mail_size ? st->max_mail_size : kDefaultMaxMail;
  uint32_t tls_mode = QoESystemPtr->Endpoints.MailTls;
  int implicit = 0;

  if (!host || !user || !password || !pattern || !folder || HasBreak(user) || HasBreak(password) || !*user) {
    result = SetStatus(p, "POP3: no host, user name or password (or one holds a line break)");
    goto done;
  }
  {
    // The download folder is made when missing.
    char dir[200];
    std::snprintf(dir, sizeof dir, "%s", folder);
    size_t dl = std::strlen(dir);
    while (dl > 1 && (dir[dl - 1] == '/' || dir[dl - 1] == '\\')) dir[--dl] = 0;
    UnLock(CreateDir(dir));
  }
  DebugLog("GetEMail: Verbinde mit %s als %s, Muster '%s'\n", host, user, pattern);
  if (!NetOpen(&p->conn, host, 110, &implicit)) { result = ConnError(p); goto done; }
  if (implicit && !NetStartTls(&p->conn)) { result = ConnError(p); goto done; }
  if (!ReadReply(p)) { result = ConnError(p); goto done; }
  if (Pop3ReplyOk(p->line) <= 0) { result = Refused(p); goto done; }

  if (!NetIsTls(&p->conn) && tls_mode != TLS_OFF) {
    int r = Command(p, "CAPA");
    if (r < 0) { result = ConnError(p); goto done; }
    bool stls = false;
    if (r > 0) {
      MailText caps{};
      if (!ReadMulti(p, &caps, 65536)) {
        MailTextFree(&caps);
        result = ConnError(p);
        goto done;
      }
      stls = caps.data && Pop3HasCapability(caps.data, caps.len, "STLS");
      MailTextFree(&caps);
    }
    if (stls) {
      r = Command(p, "STLS");
      if (r < 0) { result = ConnError(p); goto done; }
      if (r > 0 && !NetStartTls(&p->conn)) { result = ConnError(p); goto done; }
    }
  }
  if (!NetIsTls(&p->conn) && tls_mode == TLS_REQUIRED) {
    NetClose(&p->conn);
    result = SetStatus(p, "POP3: %s offers no TLS, and the endpoint file requires it", host);
    goto done;
  }

  {
    int r = Command(p, "USER", user);
    if (r < 0) { result = ConnError(p); goto done; }
    if (r == 0) { result = Refused(p); goto done; }
    r = Command(p, "PASS", password);
    if (r < 0) { result = ConnError(p); goto done; }
    if (r == 0) { result = Refused(p); goto done; }
    r = Command(p, "STAT");
    if (r < 0) { result = ConnError(p); goto done; }
    uint32_t octets = 0;
    if (r == 0) { result = Refused(p); goto done; }
    if (!Pop3ParseNumbers(p->line + 3, &count, &octets) || count > kMaxMessages) {
      SetStatus(p, "POP3: unreadable STAT answer \"%s\"", p->line);
      NetClose(&p->conn);
      result = p->status;
      goto done;
    }
  }
  if (count) {
    list = static_cast<ListEntry*>(AllocVec(count * (uint32_t)sizeof(ListEntry), MEMF_PUBLIC | MEMF_CLEAR));
    if (!list) { result = SetStatus(p, "POP3: no memory"); NetClose(&p->conn); goto done; }
    int r = Command(p, "LIST");
    if (r < 0) { result = ConnError(p); goto done; }
    if (r == 0) { result = Refused(p); goto done; }
    uint32_t seen = 0;
    for (;;) {
      if (!NetReadLine(&p->conn, p->line, sizeof p->line, nullptr)) { result = ConnError(p); goto done; }
      if (std::strcmp(p->line, ".") == 0) break;
      uint32_t num, size;
      if (!Pop3ParseNumbers(p->line, &num, &size) || seen >= count) {
        SetStatus(p, "POP3: unreadable LIST line \"%s\"", p->line);
        NetClose(&p->conn);
        result = p->status;
        goto done;
      }
      list[seen].number = num;
      list[seen].size = size;
      seen++;
    }
    count = seen;
  }

  for (uint32_t i = 0; i < count; i++) {
    char num[16];
    std::snprintf(num, sizeof num, "%u", list[i].number);
    // The mail is written to a temporary file in the folder as it arrives
    // and takes its name only when it is whole.
    char spare[200];
    std::snprintf(spare, sizeof spare, "%s%s%s.email", folder,
                  *folder && (folder[std::strlen(folder) - 1] == '\\' || folder[std::strlen(folder) - 1] == '/') ? "" : "\\",
                  num);
    // The name stands in the Subject: the headers come first (TOP n 0).
    char top[32];
    std::snprintf(top, sizeof top, "%s 0", num);
    MailText head{};
    size_t mail_size = 0;
    int r = Command(p, "TOP", top);
    if (r < 0) { MailTextFree(&head); result = ConnError(p); goto done; }
    bool retrieved = false;
    if (r > 0) {
      if (!ReadMulti(p, &head, kHeaderLimit)) { MailTextFree(&head); result = ConnError(p); goto done; }
    } else {
      // A server without TOP: the whole mail, when it is not too big.
      if (list[i].size > max_mail) { MailTextFree(&head); continue; }
      r = Command(p, "RETR", num);
      if (r < 0) { MailTextFree(&head); result = ConnError(p); goto done; }
      if (r == 0) { MailTextFree(&head); result = Refused(p); goto done; }
      if (!(stream = BeginFileStream(spare))) {
        MailTextFree(&head);
        SetStatus(p, "POP3: cannot write %s", spare);
        NetClose(&p->conn);
        result = p->status;
        goto done;
      }
      r = ReadMultiToFile(p, stream, max_mail, &head, kHeaderLimit, &mail_size);
      if (r == 0) { MailTextFree(&head); result = ConnError(p); goto done; }
      if (r < 0) { MailTextFree(&head); result = WriteFailed(p, spare); goto done; }
      retrieved = true;
    }
    char subject[256];
    char name[MAIL_NAME_SIZE];
    size_t sl = head.data ? MailHeaderValue(head.data, head.len, "Subject", subject, sizeof subject) : 0;
    bool ours = sl && MailNameFromSubject(subject, sl, name) && MailNameMatches(name, pattern);
    MailTextFree(&head);
    if (!ours) {
      AbortFileStream(stream);
      stream = nullptr;
      continue;
    }
    if (list[i].size > max_mail) {
      char sz[16];
      std::snprintf(sz, sizeof sz, "%u", list[i].size);
      SetStatus(p, "POP3: mail %s of %s bytes is larger than allowed", num, sz);
      Command(p, "QUIT");  // earlier deletions are complete on disk: commit them
      NetClose(&p->conn);
      result = p->status;
      goto done;
    }
    if (!retrieved) {
      r = Command(p, "RETR", num);
      if (r < 0) { result = ConnError(p); goto done; }
      if (r == 0) { result = Refused(p); goto done; }
      if (!(stream = BeginFileStream(spare))) {
        SetStatus(p, "POP3: cannot write %s", spare);
        NetClose(&p->conn);
        result = p->status;
        goto done;
      }
      r = ReadMultiToFile(p, stream, max_mail, nullptr, 0, &mail_size);
      if (r == 0) { result = ConnError(p); goto done; }
      if (r < 0) { result = WriteFailed(p, spare); goto done; }
    }
    // The file first; the deletion only once it is complete on disk.
    char path[200];
    if (!MakeMailFileName(folder, name, path, sizeof path)) {
      SetStatus(p, "POP3: no free file name for %s in %s", name, folder);
      NetClose(&p->conn);
      result = p->status;
      goto done;
    }
    r = CommitFileStream(stream, path);
    stream = nullptr;
    if (!r) { result = WriteFailed(p, path); goto done; }
    DebugLog("GetEMail: Email %s gespeichert als %s (%u Bytes)\n", num, path, (uint32_t)mail_size);
    fetched++;
    if (remove) {
      r = Command(p, "DELE", num);
      if (r < 0) { result = ConnError(p); goto done; }
      if (r == 0) { result = Refused(p); goto done; }
    }
  }
  {
    // The deletions become real only with the server's answer to QUIT.
    int r = Command(p, "QUIT");
    if (r < 0) {
      SetStatus(p, "POP3: no answer to QUIT from %s (the mails may stay on the server)", host);
      NetClose(&p->conn);
      result = p->status;
      goto done;
    }
    if (r == 0) { result = Refused(p); goto done; }
  }
  NetClose(&p->conn);
  DebugLog("GetEMail: %u Email(s) abgeholt\n", fetched);
  result = SetStatus(p, "ok");

done:
  if (result != p->status) SetStatus(p, "%s", result);
  if (std::strcmp(p->status, "ok") != 0) DebugLog("GetEMail: %s\n", p->status);
  AbortFileStream(stream);
  FreeVec(list);
  NetClose(&p->conn);
  p->conn.~NetConn();
  FreeVec(p);
  return st->pop3_status;
}
