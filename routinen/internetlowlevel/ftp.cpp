// FTP over a plain control connection with passive-mode data connections.
// Names from the server are checked before they are used or offered, and a
// download reaches its target only when complete.
#include "ftp.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "mail_internal.h"
#include "platform/log.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"

struct FtpState {
  NetConn ctrl;       // the control connection (fd -1 when closed)
  bool open = false;  // logged in
  bool have_listing = false;
  FtpListing listing{};
};

namespace {

enum : uint32_t { kMaxReplyLines = 200, kDataBlock = 256 * 1024 };

FtpState* State(bool make) {
  InternetState* st = Internet();
  if (!st->ftp && make) {
    void* m = AllocVec(sizeof(FtpState), MEMF_PUBLIC | MEMF_CLEAR);
    if (m) st->ftp = new (m) FtpState();
  }
  return st->ftp;
}

// Frees the state once neither a connection nor a listing needs it.
void ReleaseIfIdle() {
  InternetState* st = Internet();
  if (st->ftp && !st->ftp->open && !st->ftp->have_listing && st->ftp->ctrl.fd < 0) {
    FtpStateFree(st->ftp);
    st->ftp = nullptr;
  }
}

int Fail(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
int Fail(const char* fmt, ...) {
  InternetState* st = Internet();
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(st->ftp_error, sizeof st->ftp_error, fmt, ap);
  va_end(ap);
  DebugLog("FTP: %s\n", st->ftp_error);
  return 0;
}

bool HasLineBreak(const char* s) {
  for (; s && *s; s++)
    if (*s == '\r' || *s == '\n') return true;
  return false;
}

// Reads one reply (all lines of a multi-line one); the code and the last
// line. 0 on a broken connection or a malformed reply (error set).
int ReadReply(NetConn* c, uint32_t* code, char* last, size_t last_size) {
  char line[1024];
  size_t len = 0;
  if (!NetReadLine(c, line, sizeof line, &len)) return Fail("%s", c->error);
  auto digits = [](const char* l, size_t n) {
    return n >= 3 && l[0] >= '1' && l[0] <= '5' && l[1] >= '0' && l[1] <= '9' && l[2] >= '0' && l[2] <= '9';
  };
  if (!digits(line, len)) {
    NetClose(c);
    return Fail("no FTP reply from %s: \"%.80s\"", c->shown, line);
  }
  *code = (uint32_t)((line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0'));
  if (len > 3 && line[3] == '-') {
    char want[5] = {line[0], line[1], line[2], ' ', 0};
    for (uint32_t n = 0;; n++) {
      if (n >= kMaxReplyLines) {
        NetClose(c);
        return Fail("FTP reply from %s without end", c->shown);
      }
      if (!NetReadLine(c, line, sizeof line, &len)) return Fail("%s", c->error);
      if (len >= 4 && std::memcmp(line, want, 4) == 0) break;
      if (len == 3 && std::memcmp(line, want, 3) == 0) break;
    }
  }
  std::snprintf(last, last_size, "%s", line);
  return 1;
}

// Sends a command line and reads the reply; 1 when its code's first digit
// is one of the wanted ones ("23" = 2xx or 3xx).
int Command(NetConn* c, const char* cmd, const char* arg, const char* wanted, uint32_t* code, char* reply,
            size_t reply_size) {
  char line[600];
  if (arg && (HasLineBreak(arg) || std::strlen(arg) > 500)) return Fail("refused FTP argument for %s", cmd);
  std::snprintf(line, sizeof line, arg ? "%s %s\r\n" : "%s\r\n", cmd, arg);
  if (!NetWriteText(c, line)) return Fail("%s", c->error);
  if (!ReadReply(c, code, reply, reply_size)) return 0;
  if (!std::strchr(wanted, (char)('0' + *code / 100))) return Fail("%s refused by the server: %s", cmd, reply);
  return 1;
}

// PASV and the data connection to the control connection's host (the
// address in the reply is not trusted, only its port).
int OpenData(FtpState* f, NetConn* data) {
  uint32_t code;
  char reply[1024];
  if (!Command(&f->ctrl, "PASV", nullptr, "2", &code, reply, sizeof reply)) return 0;
  uint16_t port = 0;
  if (code != 227 || !FtpParsePasv(reply, &port)) return Fail("no passive port from the server: %s", reply);
  char field[300];
  if (std::strchr(f->ctrl.host, ':'))
    std::snprintf(field, sizeof field, "[%s]:%u", f->ctrl.host, port);
  else
    std::snprintf(field, sizeof field, "%s:%u", f->ctrl.host, port);
  if (!NetOpen(data, field, port, nullptr)) return Fail("%s", data->error);
  data->timeout_ms = f->ctrl.timeout_ms;
  return 1;
}

// The start of a transfer: 125 or 150, else the reply as the error.
int StartTransfer(FtpState* f, const char* cmd, const char* arg) {
  uint32_t code;
  char reply[1024];
  if (!Command(&f->ctrl, cmd, arg, "1", &code, reply, sizeof reply)) return 0;
  return 1;
}

// The end of a transfer: 226 or 250.
int EndTransfer(FtpState* f, const char* what) {
  uint32_t code;
  char reply[1024];
  if (!ReadReply(&f->ctrl, &code, reply, sizeof reply)) return 0;
  if (code != 226 && code != 250) return Fail("%s not completed: %s", what, reply);
  return 1;
}

bool ContainsText(const char* s, const char* needle) { return std::strstr(s, needle) != nullptr; }

size_t StemLength(const char* name) {
  const char* dot = std::strrchr(name, '.');
  return dot ? (size_t)(dot - name) : std::strlen(name);
}

}  // namespace

void FtpStateFree(FtpState* f) {
  if (!f) return;
  NetClose(&f->ctrl);
  f->~FtpState();
  FreeVec(f);
}

// ---- Readers ---------------------------------------------------------------------------

int32_t FtpSafeName(const char* name, size_t length, char* out, size_t out_size) {
  if (out && out_size) out[0] = 0;
  if (!name) return 0;
  size_t start = 0;
  for (size_t i = 0; i < length; i++)
    if (name[i] == '/') start = i + 1;
  size_t n = length - start;
  const char* s = name + start;
  if (n == 0 || n >= FTP_NAME || n >= out_size || s[0] == '.') return 0;
  for (size_t i = 0; i < n; i++) {
    unsigned char ch = (unsigned char)s[i];
    if (ch < 32 || ch == 127 || ch == '\\' || ch == ':') return 0;
    if (ch == '.' && i + 1 < n && s[i + 1] == '.') return 0;
  }
  std::memcpy(out, s, n);
  out[n] = 0;
  return 1;
}

int32_t FtpParseListLine(const char* line, size_t length, char* name, size_t name_size, uint64_t* size) {
  while (length && (line[length - 1] == '\r' || line[length - 1] == '\n')) length--;
  if (length < 11 || line[0] != '-') return 0;
  // Eight blank-separated fields, then the name (blanks inside it stay).
  size_t i = 0;
  size_t field_start[8], field_len[8];
  for (int f = 0; f < 8; f++) {
    while (i < length && line[i] == ' ') i++;
    field_start[f] = i;
    while (i < length && line[i] != ' ') i++;
    field_len[f] = i - field_start[f];
    if (field_len[f] == 0) return 0;
  }
  if (i >= length || line[i] != ' ') return 0;
  while (i < length && line[i] == ' ') i++;
  if (i >= length || field_len[0] != 10) return 0;
  const char* sz = line + field_start[4];
  if (field_len[4] > 20) return 0;
  uint64_t v = 0;
  for (size_t k = 0; k < field_len[4]; k++) {
    if (sz[k] < '0' || sz[k] > '9') return 0;
    uint64_t d = (uint64_t)(sz[k] - '0');
    if (v > (UINT64_MAX - d) / 10) return 0;
    v = v * 10 + d;
  }
  if (!FtpSafeName(line + i, length - i, name, name_size)) return 0;
  *size = v;
  return 1;
}

uint32_t FtpPairListing(const char* text, size_t size, FtpListing* out) {
  std::memset(out, 0, sizeof *out);
  // Descriptions are looked up for each update in listing order.
  struct File {
    char name[FTP_NAME];
    uint64_t size;
  };
  size_t cap = 64, count = 0;
  File* files = static_cast<File*>(AllocVec((uint32_t)(cap * sizeof(File)), MEMF_PUBLIC));
  if (!files) return 0;
  size_t pos = 0;
  while (pos < size) {
    const char* nl = static_cast<const char*>(std::memchr(text + pos, '\n', size - pos));
    size_t len = nl ? (size_t)(nl - (text + pos)) : size - pos;
    File f{};
    if (FtpParseListLine(text + pos, len, f.name, sizeof f.name, &f.size)) {
      if (count == cap) {
        File* more = static_cast<File*>(AllocVec((uint32_t)(cap * 2 * sizeof(File)), MEMF_PUBLIC));
        if (!more) break;
        std::memcpy(more, files, cap * sizeof(File));
        FreeVec(files);
        files = more;
        cap *= 2;
      }
      files[count++] = f;
    }
    pos += len + 1;
  }
  uint32_t skipped = 0;
  for (size_t u = 0; u < count; u++) {
    const char* n = files[u].name;
    if (!ContainsText(n, ".zip") && !ContainsText(n, ".exe")) continue;
    size_t stem = StemLength(n);
    for (size_t t = 0; t < count; t++) {
      const char* d = files[t].name;
      if (t == u || !ContainsText(d, ".txt") || StemLength(d) != stem || std::strncmp(d, n, stem) != 0 ||
          std::strcmp(d + stem, ".txt") != 0)
        continue;
      if (out->Count < FTP_MAX_PAIRS) {
        FtpListEntry& e = out->Entries[out->Count++];
        std::snprintf(e.FileName, sizeof e.FileName, "%s", n);
        e.FileSize = files[u].size;
        std::snprintf(e.TextName, sizeof e.TextName, "%s", d);
        e.TextSize = files[t].size;
      } else {
        skipped++;
      }
      break;
    }
  }
  if (skipped) DebugLog("FTP: %u Update-Paare nicht aufgenommen (hoechstens %u)\n", skipped, (unsigned)FTP_MAX_PAIRS);
  FreeVec(files);
  return out->Count;
}

int32_t FtpParsePasv(const char* reply, uint16_t* port) {
  const char* p = reply ? std::strchr(reply, '(') : nullptr;
  if (!p) return 0;
  p++;
  uint32_t v[6];
  for (int k = 0; k < 6; k++) {
    uint32_t x = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9' && digits < 4) x = x * 10 + (uint32_t)(*p++ - '0'), digits++;
    if (digits == 0 || digits > 3 || x > 255) return 0;
    v[k] = x;
    if (k < 5 && *p++ != ',') return 0;
  }
  if (*p != ')') return 0;
  uint32_t pt = v[4] * 256 + v[5];
  if (pt == 0) return 0;
  *port = (uint16_t)pt;
  return 1;
}

// ---- The client --------------------------------------------------------------------------------

const char* FtpError() { return Internet()->ftp_error; }

const FtpListing* GetFTPListing() {
  FtpState* f = State(false);
  return f && f->have_listing ? &f->listing : nullptr;
}

void FreeFTPListing() {
  FtpState* f = State(false);
  if (!f) return;
  f->have_listing = false;
  std::memset(&f->listing, 0, sizeof f->listing);
  ReleaseIfIdle();
}

void CloseFTP() {
  FtpState* f = State(false);
  if (!f) return;
  if (f->ctrl.fd >= 0) {
    uint32_t code;
    char reply[256];
    // A short goodbye: the answer is not waited for long.
    f->ctrl.timeout_ms = f->ctrl.timeout_ms < 2000 ? f->ctrl.timeout_ms : 2000;
    if (NetWriteText(&f->ctrl, "QUIT\r\n")) ReadReply(&f->ctrl, &code, reply, sizeof reply);
  }
  NetClose(&f->ctrl);
  f->open = false;
  ReleaseIfIdle();
}

const char* OpenFTP(const char* host, uint16_t port, const char* user, const char* password, const char* folder) {
  InternetState* st = Internet();
  CloseFTP();
  FreeFTPListing();
  st->ftp_error[0] = 0;
  FtpState* f = State(true);
  auto status = [st](const char* text) {
    std::snprintf(st->ftp_status, sizeof st->ftp_status, "%s", text);
    return st->ftp_status;
  };
  if (!f) return status("out of memory");
  uint32_t code;
  char reply[1024];
  NetConn* c = &f->ctrl;
  char* raw = nullptr;
  bool ok = false;
  do {
    if (!NetOpen(c, host, port ? port : 21, nullptr)) {
      Fail("%s", c->error);
      break;
    }
    if (!ReadReply(c, &code, reply, sizeof reply)) break;
    if (code == 120 && !ReadReply(c, &code, reply, sizeof reply)) break;
    if (code != 220) {
      Fail("FTP server %s not ready: %s", c->shown, reply);
      break;
    }
    if (!Command(c, "USER", user && *user ? user : "anonymous", "23", &code, reply, sizeof reply)) break;
    if (code == 331 && !Command(c, "PASS", password ? password : "", "2", &code, reply, sizeof reply)) break;
    if (code != 230 && code != 202) {
      Fail("FTP log-in refused: %s", reply);
      break;
    }
    if (!Command(c, "TYPE", "I", "2", &code, reply, sizeof reply)) break;
    if (folder && *folder && !Command(c, "CWD", folder, "2", &code, reply, sizeof reply)) break;
    NetConn* data = static_cast<NetConn*>(AllocVec(sizeof(NetConn), MEMF_PUBLIC | MEMF_CLEAR));
    raw = static_cast<char*>(AllocVec(FTP_MAX_LISTING + 1, MEMF_PUBLIC));
    if (!data || !raw) {
      FreeVec(data);
      Fail("out of memory");
      break;
    }
    new (data) NetConn();
    size_t n = 0;
    bool got = OpenData(f, data) && StartTransfer(f, "LIST", nullptr);
    // The whole listing must come within one time-out.
    int64_t deadline = NetNowMs() + data->timeout_ms;
    while (got) {
      if (n > FTP_MAX_LISTING) {
        got = Fail("listing from %s larger than 1 MB", c->shown);
        break;
      }
      long r = NetReadSome(data, raw + n, FTP_MAX_LISTING + 1 - n, deadline);
      if (r == 0) break;
      if (r < 0) {
        got = Fail(r == -2 ? "listing from %s stalled (time-out)" : "listing from %s broken", c->shown);
        break;
      }
      n += (size_t)r;
    }
    NetClose(data);
    data->~NetConn();
    FreeVec(data);
    if (!got || !EndTransfer(f, "LIST")) break;
    FtpPairListing(raw, n, &f->listing);
    f->have_listing = true;
    f->open = true;
    ok = true;
  } while (false);
  FreeVec(raw);
  if (!ok) {
    NetClose(c);
    f->open = false;
    ReleaseIfIdle();
    return status(st->ftp_error);
  }
  DebugLog("OpenFTP: %s, %u Update-Paare\n", c->shown, f->listing.Count);
  return status("FTP OK");
}

int32_t GetFTPData(const char* remote, const char* folder, uint64_t size, const char* local, FtpProgress progress) {
  InternetState* st = Internet();
  st->ftp_error[0] = 0;
  FtpState* f = State(false);
  if (!f || !f->open || f->ctrl.fd < 0) return Fail("no FTP connection");
  char name[FTP_NAME];
  if (!remote || !FtpSafeName(remote, std::strlen(remote), name, sizeof name) || std::strchr(remote, '/'))
    return Fail("refused file name \"%.80s\"", remote ? remote : "");
  char target[1024];
  if (!local || !ResolvePath(local, target, sizeof target)) return Fail("refused local path \"%.80s\"", local ? local : "");
  uint32_t code;
  char reply[1024];
  if (folder && *folder && !Command(&f->ctrl, "CWD", folder, "2", &code, reply, sizeof reply)) return 0;

  // The temporary file beside the target, locked while it is written (a
  // leftover of a killed run is removed at the next start).
  std::string t(target);
  size_t slash = t.rfind('/');
  std::string dir = slash == std::string::npos ? std::string(".") : t.substr(0, slash);
  std::string base = slash == std::string::npos ? t : t.substr(slash + 1);
  std::string tmpl = dir + "/.qoetmp-" + base.substr(0, 200) + ".XXXXXX";
  std::string tmp(tmpl);
  int fd = mkostemp(&tmp[0], O_CLOEXEC);
  if (fd < 0) return Fail("cannot create a file beside %s (%s)", local, std::strerror(errno));
  fchmod(fd, 0644);
  flock(fd, LOCK_EX | LOCK_NB);

  NetConn* data = static_cast<NetConn*>(AllocVec(sizeof(NetConn), MEMF_PUBLIC | MEMF_CLEAR));
  char* block = static_cast<char*>(AllocVec(kDataBlock, MEMF_PUBLIC));
  static const char kZero[4096] = {0};
  bool ok = false;
  uint64_t done = 0;
  if (!data || !block) {
    Fail("out of memory");
  } else {
    new (data) NetConn();
    ok = OpenData(f, data) && StartTransfer(f, "RETR", name);
    while (ok) {
      long r = NetReadSome(data, block, kDataBlock, NetNowMs() + data->timeout_ms);
      if (r == 0) break;
      if (r < 0) {
        ok = Fail(r == -2 ? "download of %s stalled (time-out)" : "download of %s broken", name);
        break;
      }
      if (size && done + (uint64_t)r > size) {
        ok = Fail("%s: more data than its %llu bytes", name, (unsigned long long)size);
        break;
      }
      // Blocks of zeros become holes: a large sparse file stays sparse.
      bool zero = true;
      for (long k = 0; zero && k < r; k += (long)sizeof kZero) {
        long m = r - k < (long)sizeof kZero ? r - k : (long)sizeof kZero;
        zero = std::memcmp(block + k, kZero, (size_t)m) == 0;
      }
      if (zero) {
        if (lseek(fd, r, SEEK_CUR) < 0) ok = Fail("cannot write %s (%s)", local, std::strerror(errno));
      } else {
        for (long w = 0; ok && w < r;) {
          ssize_t k = write(fd, block + w, (size_t)(r - w));
          if (k < 0 && errno == EINTR) continue;
          if (k <= 0) ok = Fail("cannot write %s (%s)", local, std::strerror(k < 0 ? errno : ENOSPC));
          else w += k;
        }
      }
      if (!ok) break;
      done += (uint64_t)r;
      if (progress) progress(size, done);
    }
    NetClose(data);
    data->~NetConn();
    if (ok && size && done != size)
      ok = Fail("download of %s incomplete (%llu of %llu bytes)", name, (unsigned long long)done,
                (unsigned long long)size);
    if (ok) ok = EndTransfer(f, "RETR") != 0;
    else if (f->ctrl.fd >= 0) {
      // The server's answer to the broken transfer, if it comes soon.
      uint32_t saved = f->ctrl.timeout_ms;
      f->ctrl.timeout_ms = 1000;
      char e2[sizeof st->ftp_error];
      std::snprintf(e2, sizeof e2, "%s", st->ftp_error);
      if (!ReadReply(&f->ctrl, &code, reply, sizeof reply)) NetClose(&f->ctrl);
      f->ctrl.timeout_ms = saved;
      std::snprintf(st->ftp_error, sizeof st->ftp_error, "%s", e2);
    }
  }
  FreeVec(data);
  FreeVec(block);
  if (ok && (ftruncate(fd, (off_t)done) != 0 || fdatasync(fd) != 0))
    ok = Fail("cannot write %s (%s)", local, std::strerror(errno));
  if (close(fd) != 0 && ok) ok = Fail("cannot write %s (%s)", local, std::strerror(errno));
  if (ok && rename(tmp.c_str(), target) != 0) ok = Fail("cannot rename to %s (%s)", local, std::strerror(errno));
  if (!ok) {
    unlink(tmp.c_str());
    if (f->ctrl.fd < 0) f->open = false;
    return 0;
  }
  DebugLog("GetFTPData: %s (%llu Bytes) geladen\n", name, (unsigned long long)done);
  return 1;
}
