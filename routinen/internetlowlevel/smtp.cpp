// SMTP client: SendEMail and SendFileAsEmail (docs/mailclients.md).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "mail.h"
#include "mail_internal.h"
#include "platform/log.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/sysrecords.h"

namespace {

constexpr uint32_t kMaxReplyLines = 200;

struct Smtp {
  NetConn conn;
  char line[NET_MAX_LINE + 2];
  uint32_t code;
  char text[400];       // the reply's text, lines joined by blanks
  MailText caps;        // EHLO keywords, one per line
  char* status;
};

const char* SetStatus(Smtp* s, const char* fmt, const char* a = "", const char* b = "") {
  std::snprintf(s->status, sizeof Internet()->smtp_status, fmt, a, b);
  return s->status;
}

const char* ConnError(Smtp* s) {
  SetStatus(s, "SMTP: %s", s->conn.error);
  NetClose(&s->conn);
  return s->status;
}

// The server's reply as the caller sees it: the code first, then its text.
const char* Refused(Smtp* s) {
  std::snprintf(s->status, sizeof Internet()->smtp_status, "%03u %s", s->code, s->text);
  size_t n = std::strlen(s->status);
  while (n && s->status[n - 1] == ' ') s->status[--n] = 0;
  // Commands after a refusal only end the session politely.
  NetWriteText(&s->conn, "QUIT\r\n");
  NetClose(&s->conn);
  return s->status;
}

// Reads one (multi-line) reply; the EHLO keywords go to caps when asked.
int ReadReply(Smtp* s, bool keep_caps) {
  s->text[0] = 0;
  s->code = 0;
  if (keep_caps) {
    MailTextFree(&s->caps);
  }
  for (uint32_t i = 0; i < kMaxReplyLines; i++) {
    if (!NetReadLine(&s->conn, s->line, sizeof s->line, nullptr)) return 0;
    uint32_t code;
    int32_t more;
    const char* text;
    if (!SmtpParseLine(s->line, &code, &more, &text) || (i && code != s->code))
      return NetFail(&s->conn, "unreadable reply from %s: \"%.80s\"", s->conn.shown, s->line);
    s->code = code;
    size_t have = std::strlen(s->text);
    if (have + 2 < sizeof s->text)
      std::snprintf(s->text + have, sizeof s->text - have, "%s%s", have ? " " : "", text);
    if (keep_caps && i) {  // the first line of an EHLO answer is the greeting
      MailTextAppend(&s->caps, text);
      MailTextAppend(&s->caps, "\n");
    }
    if (!more) return 1;
  }
  return NetFail(&s->conn, "endless reply from %s", s->conn.shown);
}

// Sends a command line (with CRLF) and reads the reply; 0 on a connection error.
int Command(Smtp* s, const char* cmd, bool keep_caps = false) {
  char out[700];
  int n = std::snprintf(out, sizeof out, "%s\r\n", cmd);
  if (n < 0 || (size_t)n >= sizeof out) return NetFail(&s->conn, "command too long");
  return NetWrite(&s->conn, out, (size_t)n) && ReadReply(s, keep_caps);
}

bool Unsafe(const char* s) {
  return !s || !*s || std::strpbrk(s, "\r\n<>") != nullptr || std::strlen(s) > 254;
}

// The EHLO argument: our address as a literal.
void HeloName(Smtp* s, char* out, size_t size) {
  struct sockaddr_storage a{};
  socklen_t al = sizeof a;
  char ip[INET6_ADDRSTRLEN] = "127.0.0.1";
  bool v6 = false;
  if (getsockname(s->conn.fd, reinterpret_cast<sockaddr*>(&a), &al) == 0) {
    if (a.ss_family == AF_INET) {
      inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(&a)->sin_addr, ip, sizeof ip);
    } else if (a.ss_family == AF_INET6) {
      inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6*>(&a)->sin6_addr, ip, sizeof ip);
      v6 = true;
    }
  }
  std::snprintf(out, size, v6 ? "[IPv6:%s]" : "[%s]", ip);
}

bool Greet(Smtp* s) {
  char helo[80], cmd[100];
  HeloName(s, helo, sizeof helo);
  std::snprintf(cmd, sizeof cmd, "EHLO %s", helo);
  if (!Command(s, cmd, true)) return false;
  if (s->code == 250) return true;
  // An old server without EHLO: HELO, and no extensions.
  MailTextFree(&s->caps);
  std::snprintf(cmd, sizeof cmd, "HELO %s", helo);
  return Command(s, cmd);
}

bool HasAuthMechanism(const MailText& caps, const char* mech) {
  if (!caps.data) return false;
  const char* p = caps.data;
  while (*p) {
    const char* eol = std::strchr(p, '\n');
    size_t ll = eol ? (size_t)(eol - p) : std::strlen(p);
    // "AUTH PLAIN LOGIN" (also the old form "AUTH=PLAIN LOGIN")
    if (ll > 5 && strncasecmp(p, "AUTH", 4) == 0 && (p[4] == ' ' || p[4] == '=')) {
      size_t ml = std::strlen(mech);
      const char* w = p + 5;
      const char* le = p + ll;
      while (w < le) {
        while (w < le && *w == ' ') w++;
        const char* we = w;
        while (we < le && *we != ' ') we++;
        if ((size_t)(we - w) == ml && strncasecmp(w, mech, ml) == 0) return true;
        w = we;
      }
    }
    p = eol ? eol + 1 : p + ll;
  }
  return false;
}

// The message on the wire: CRLF line ends, a leading full stop doubled, our
// own Date: header when it has none, the final ".".
bool BuildData(const char* message, MailText* out) {
  size_t n = std::strlen(message);
  char value[8];
  if (!MailHeaderValue(message, n, "Date", value, sizeof value)) {
    char date[64];
    FormatMailDate(date, sizeof date);
    MailTextAppend(out, "Date: ");
    MailTextAppend(out, date);
    MailTextAppend(out, "\r\n");
  }
  MailTextReserve(out, n + n / 32 + 16);
  const char* p = message;
  const char* end = message + n;
  while (p < end) {
    const char* eol = static_cast<const char*>(std::memchr(p, '\n', (size_t)(end - p)));
    const char* le = eol ? eol : end;
    size_t ll = (size_t)(le - p);
    if (ll && p[ll - 1] == '\r') ll--;
    if (ll && p[0] == '.') MailTextAppendN(out, ".", 1);
    MailTextAppendN(out, p, ll);
    MailTextAppendN(out, "\r\n", 2);
    p = eol ? eol + 1 : end;
  }
  MailTextAppendN(out, ".\r\n", 3);
  return out->ok;
}

bool RetryAfterPopLogin(const char* status) {
  static const char* const kCodes[] = {"450", "451", "454", "530", "550", "553", "554"};
  for (const char* c : kCodes)
    if (std::strncmp(status, c, 3) == 0) return true;
  return false;
}

}  // namespace

int32_t SmtpParseLine(const char* line, uint32_t* code, int32_t* more, const char** text) {
  if (!line) return 0;
  for (int i = 0; i < 3; i++)
    if (line[i] < '0' || line[i] > '9') return 0;
  if (line[0] < '2' || line[0] > '5') return 0;
  char sep = line[3];
  if (sep != ' ' && sep != '-' && sep != 0) return 0;
  *code = (uint32_t)((line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0'));
  *more = sep == '-' ? 1 : 0;
  *text = sep ? line + 4 : line + 3;
  return 1;
}

const char* SendEMail(const char* host, const char* sender, const char* recipient, const char* message,
                      const char* auth) {
  InternetState* st = Internet();
  Smtp* s = static_cast<Smtp*>(AllocVec(sizeof(Smtp), MEMF_PUBLIC | MEMF_CLEAR));
  if (!s) {
    std::snprintf(st->smtp_status, sizeof st->smtp_status, "SMTP: no memory");
    return st->smtp_status;
  }
  new (&s->conn) NetConn();
  new (&s->caps) MailText();
  s->status = st->smtp_status;
  s->status[0] = 0;
  uint32_t tls_mode = QoESystemPtr->Endpoints.MailTls;
  int implicit = 0;
  MailText data{};
  char cmd[600];
  const char* user = auth ? auth + 1 : nullptr;
  const char* password = user ? user + std::strlen(user) + 1 : nullptr;

  if (!host || Unsafe(sender) || Unsafe(recipient) || (user && (std::strpbrk(user, "\r\n") || std::strpbrk(password, "\r\n")))) {
    SetStatus(s, "SMTP: no server, or a sender, recipient or log-in that cannot be sent");
    goto done;
  }
  DebugLog("SendEMail: Verbinde mit %s, von %s an %s\n", host, sender, recipient);
  if (!NetOpen(&s->conn, host, 25, &implicit) || (implicit && !NetStartTls(&s->conn)) || !ReadReply(s, false)) {
    ConnError(s);
    goto done;
  }
  if (s->code != 220) { Refused(s); goto done; }
  if (!Greet(s)) { ConnError(s); goto done; }
  if (s->code != 250) { Refused(s); goto done; }
  if (!NetIsTls(&s->conn) && tls_mode != TLS_OFF && s->caps.data && Pop3HasCapability(s->caps.data, s->caps.len, "STARTTLS")) {
    if (!Command(s, "STARTTLS")) { ConnError(s); goto done; }
    if (s->code == 220) {
      if (!NetStartTls(&s->conn) || !Greet(s)) { ConnError(s); goto done; }
      if (s->code != 250) { Refused(s); goto done; }
    }
  }
  if (!NetIsTls(&s->conn) && tls_mode == TLS_REQUIRED) {
    SetStatus(s, "SMTP: %s offers no TLS, and the endpoint file requires it", host);
    NetWriteText(&s->conn, "QUIT\r\n");
    NetClose(&s->conn);
    goto done;
  }
  if (user && *user) {
    if (HasAuthMechanism(s->caps, "PLAIN")) {
      size_t ul = std::strlen(user), pl = std::strlen(password);
      char block[400];
      char b64[540];
      if (ul + pl + 2 > sizeof block) { SetStatus(s, "SMTP: user name or password too long"); goto done; }
      block[0] = 0;
      std::memcpy(block + 1, user, ul + 1);
      std::memcpy(block + ul + 2, password, pl);
      Base64Text(block, ul + pl + 2, b64);
      std::snprintf(cmd, sizeof cmd, "AUTH PLAIN %s", b64);
      if (!Command(s, cmd)) { ConnError(s); goto done; }
      if (s->code != 235) { Refused(s); goto done; }
    } else if (HasAuthMechanism(s->caps, "LOGIN")) {
      char b64[400];
      if (std::strlen(user) > 250 || std::strlen(password) > 250) { SetStatus(s, "SMTP: user name or password too long"); goto done; }
      if (!Command(s, "AUTH LOGIN")) { ConnError(s); goto done; }
      if (s->code != 334) { Refused(s); goto done; }
      Base64Text(user, std::strlen(user), b64);
      if (!Command(s, b64)) { ConnError(s); goto done; }
      if (s->code != 334) { Refused(s); goto done; }
      Base64Text(password, std::strlen(password), b64);
      if (!Command(s, b64)) { ConnError(s); goto done; }
      if (s->code != 235) { Refused(s); goto done; }
    }
    // No AUTH offered: the server decides at MAIL or RCPT.
  }
  std::snprintf(cmd, sizeof cmd, "MAIL FROM:<%s>", sender);
  if (!Command(s, cmd)) { ConnError(s); goto done; }
  if (s->code != 250) { Refused(s); goto done; }
  std::snprintf(cmd, sizeof cmd, "RCPT TO:<%s>", recipient);
  if (!Command(s, cmd)) { ConnError(s); goto done; }
  if (s->code != 250 && s->code != 251) { Refused(s); goto done; }
  if (!Command(s, "DATA")) { ConnError(s); goto done; }
  if (s->code != 354) { Refused(s); goto done; }
  {
    char test[400];
    if (!message) {
      std::snprintf(test, sizeof test,
                    "From: <%s>\nTo: <%s>\nSubject: Quill of Elmor mail test\n\n"
                    "Quill of Elmor checked its SMTP settings with this mail.\n",
                    sender, recipient);
      message = test;
    }
    if (!BuildData(message, &data)) { SetStatus(s, "SMTP: no memory"); NetClose(&s->conn); goto done; }
    if (!NetWrite(&s->conn, data.data, data.len) || !ReadReply(s, false)) { ConnError(s); goto done; }
  }
  if (s->code != 250) { Refused(s); goto done; }
  // The mail is the server's now; the answer to QUIT changes nothing.
  Command(s, "QUIT");
  NetClose(&s->conn);
  SetStatus(s, "ok");

done:
  if (std::strcmp(s->status, "ok") != 0) DebugLog("SendEMail: %s\n", s->status);
  MailTextFree(&data);
  MailTextFree(&s->caps);
  NetClose(&s->conn);
  s->conn.~NetConn();
  FreeVec(s);
  return st->smtp_status;
}

const char* SendFileAsEmail(const char* path, MailJob* job, uint32_t mode) {
  InternetState* st = Internet();
  char* status = st->smtp_status;
  if (!path || !job) {
    std::snprintf(status, sizeof st->smtp_status, "SMTP: nothing to send");
    return status;
  }
  uint32_t size = 0;
  uint8_t* data = static_cast<uint8_t*>(LoadFile2MemSize(path, MEMF_PUBLIC, &size));
  if (!data) {
    std::snprintf(status, sizeof st->smtp_status, "SMTP: cannot read %s", path);
    DebugLog("SendFileAsEmail: Konnte %s nicht laden\n", path);
    return status;
  }
  job->Data = data;
  job->Length = size;
  char name[MAIL_NAME_SIZE];
  if (job->Kind == MAILJOB_TURN) TurnMailName(job->PlayerNumber, name);
  else SignupMailName(job->PlayerNumber, name);
  char who[2 * MAILJOB_TEXT + 2];
  std::snprintf(who, sizeof who, "%.*s%s%.*s", (int)strnlen(job->FirstName, MAILJOB_TEXT - 1), job->FirstName,
                job->FirstName[0] && job->LastName[0] ? " " : "", (int)strnlen(job->LastName, MAILJOB_TEXT - 1),
                job->LastName);
  uint32_t msize = 0;
  char* message = ComposeTurnMail(who, job->Sender, job->Recipient, name, data, size, &msize);
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  if (!message) {
    std::snprintf(status, sizeof st->smtp_status, "SMTP: no memory");
  } else if (!OptionConfigured(o.smtp_host)) {
    std::snprintf(status, sizeof st->smtp_status, "SMTP: no SMTP server set up");
  } else {
    char auth[2 * MAILJOB_TEXT + 3] = {0};
    const char* use_auth = nullptr;
    if (OptionConfigured(job->SmtpUser)) {
      size_t ul = strnlen(job->SmtpUser, MAILJOB_TEXT - 1);
      std::memcpy(auth + 1, job->SmtpUser, ul);
      std::memcpy(auth + ul + 2, job->SmtpPassword, strnlen(job->SmtpPassword, MAILJOB_TEXT - 1));
      use_auth = auth;
    }
    DebugLog("SendFileAsEmail: Sende %s als %s (%u Bytes)\n", path, name, size);
    SendEMail(o.smtp_host, job->Sender, job->Recipient, message, use_auth);
    // POP-before-SMTP: a server that refuses the sender or recipient may
    // take the mail after a log-in to the mailbox.
    if ((mode & SENDFILE_POP_BEFORE_SMTP) && RetryAfterPopLogin(status) && OptionConfigured(o.pop3_host) &&
        OptionConfigured(o.pop3_user) && OptionConfigured(o.pop3_password)) {
      char first[sizeof st->smtp_status];
      std::memcpy(first, status, sizeof first);
      DebugLog("SendFileAsEmail: POP3-Anmeldung vor dem zweiten Versuch\n");
      const char* pop = GetEMail(o.pop3_host, o.pop3_user, o.pop3_password, "XYZ", ".\\Data\\POP3In\\", 0, 0);
      if (std::strcmp(pop, "ok") == 0) SendEMail(o.smtp_host, job->Sender, job->Recipient, message, use_auth);
      else std::memcpy(status, first, sizeof first);
    }
    std::memset(auth, 0, sizeof auth);
  }
  FreeVec(message);
  FreeVec(data);
  job->Data = nullptr;
  return status;
}
