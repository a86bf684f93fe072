// Client connections of the mail side: POSIX sockets with a time-out on
// every wait, OpenSSL for TLS, and the module's state record.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "mail.h"
#include "mail_internal.h"
#include "platform/close.h"
#include "platform/log.h"
#include "platform/plainfile.h"
#include "routinen/system/files.h"
#include "routinen/system/sysrecords.h"

namespace {

InternetState g_state;

int64_t NowMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (int64_t)ts.tv_sec * 1000 + ts.tv_nsec / 1000000;
}

// Waits for the socket until the deadline; 1 ready, 0 time-out or error.
// The wait goes in slices: once the program's close was asked for, the
// next slice without an answer ends it, so a close never waits out the
// time-out.
int WaitFd(int fd, short events, int64_t deadline) {
  constexpr int64_t kSliceMs = 200;
  for (;;) {
    int64_t left = deadline - NowMs();
    if (left <= 0) return 0;
    struct pollfd p = {fd, events, 0};
    int r = poll(&p, 1, (int)(left > kSliceMs ? kSliceMs : left));
    if (r > 0) return 1;
    if (r < 0 && errno != EINTR) return 0;
    if (ProgramCloseRequested()) return 0;
  }
}

const char* SslReason() {
  unsigned long e = ERR_peek_last_error();
  static thread_local char text[160];
  if (!e) return "connection closed";
  ERR_error_string_n(e, text, sizeof text);
  return text;
}

// Accepts the endpoint file's certificate, whatever the store or the name
// check says about it.
int VerifyCallback(int preverify_ok, X509_STORE_CTX* store) {
  if (preverify_ok) return 1;
  SSL* ssl = static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  NetConn* c = ssl ? static_cast<NetConn*>(SSL_get_app_data(ssl)) : nullptr;
  X509* leaf = X509_STORE_CTX_get0_cert(store);
  if (c && c->pinned && leaf && X509_cmp(leaf, c->pinned) == 0) return 1;
  return 0;
}

X509* LoadPinned(const char* path) {
  if (!path || !*path) return nullptr;
  char disk[1024];
  // A program path (relative, through the resolver) or an absolute one.
  const char* use = path;
  if (path[0] != '/' && ResolvePath(path, disk, sizeof disk)) use = disk;
  // A link to the certificate is followed (the system's stores are links);
  // a FIFO or a device is refused at once, never waited on.
  FILE* f = OpenPlainStream(use, "r", true);
  if (!f) {
    DebugLog("NetStartTls: Zertifikat %s nicht lesbar\n", path);
    return nullptr;
  }
  X509* x = PEM_read_X509(f, nullptr, nullptr, nullptr);
  std::fclose(f);
  if (!x) DebugLog("NetStartTls: Zertifikat %s ungueltig\n", path);
  return x;
}

}  // namespace

InternetState* Internet() { return &g_state; }
void InternetStateReset() {
  FtpStateFree(g_state.ftp);
  g_state = InternetState{};
}
uint32_t NetTimeoutMs() {
  if (g_state.timeout_ms) return g_state.timeout_ms;
  uint32_t s = QoESystemPtr->Endpoints.NetTimeout;
  return (s ? s : 30) * 1000;
}

void MailSetImplicitTlsPort(uint16_t port) { g_state.implicit_tls_port = port; }
void MailSetTimeoutMs(uint32_t ms) { g_state.timeout_ms = ms; }
void MailSetMaxMailSize(uint32_t bytes) { g_state.max_mail_size = bytes; }

int NetFail(NetConn* c, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(c->error, sizeof c->error, fmt, ap);
  va_end(ap);
  NetClose(c);
  return 0;
}

int NetSplitHost(const char* field, uint16_t default_port, char* host, size_t host_size, uint16_t* port) {
  if (!field || !host || host_size == 0) return 0;
  while (*field == ' ') field++;
  size_t n = std::strlen(field);
  while (n && field[n - 1] == ' ') n--;
  const char* h = field;
  size_t hl = n;
  const char* ps = nullptr;
  if (n && field[0] == '[') {
    const char* close = static_cast<const char*>(std::memchr(field, ']', n));
    if (!close) return 0;
    h = field + 1;
    hl = (size_t)(close - h);
    if (close + 1 < field + n) {
      if (close[1] != ':') return 0;
      ps = close + 2;
    }
  } else {
    const char* colon = static_cast<const char*>(std::memchr(field, ':', n));
    if (colon && std::memchr(colon + 1, ':', (size_t)(field + n - colon - 1))) colon = nullptr;  // bare IPv6
    if (colon) {
      hl = (size_t)(colon - field);
      ps = colon + 1;
    }
  }
  if (hl == 0 || hl >= host_size) return 0;
  uint32_t p = default_port;
  if (ps) {
    size_t pl = (size_t)(field + n - ps);
    if (pl == 0 || pl > 5) return 0;
    p = 0;
    for (size_t i = 0; i < pl; i++) {
      if (ps[i] < '0' || ps[i] > '9') return 0;
      p = p * 10 + (uint32_t)(ps[i] - '0');
    }
  }
  if (p == 0 || p > 65535) return 0;
  std::memcpy(host, h, hl);
  host[hl] = 0;
  *port = (uint16_t)p;
  return 1;
}

int NetOpen(NetConn* c, const char* host_field, uint16_t default_port, int* implicit_tls) {
  // TLS writes go through OpenSSL's plain write(): a peer that has gone must
  // give an error, not end the process (the shell ignores SIGPIPE too).
  struct sigaction old;
  if (sigaction(SIGPIPE, nullptr, &old) == 0 && old.sa_handler == SIG_DFL) signal(SIGPIPE, SIG_IGN);
  NetClose(c);
  c->error[0] = 0;
  c->head = c->tail = 0;
  c->timeout_ms = NetTimeoutMs();
  uint16_t port = 0;
  if (!NetSplitHost(host_field, default_port, c->host, sizeof c->host, &port))
    return NetFail(c, "invalid server name \"%s\"", host_field ? host_field : "");
  std::snprintf(c->shown, sizeof c->shown, "%s:%u", c->host, port);
  if (implicit_tls)
    *implicit_tls = port == 465 || port == 995 || (g_state.implicit_tls_port && port == g_state.implicit_tls_port);
  struct addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  struct addrinfo* res = nullptr;
  char ps[8];
  std::snprintf(ps, sizeof ps, "%u", port);
  int gr = getaddrinfo(c->host, ps, &hints, &res);
  if (gr != 0 || !res) return NetFail(c, "cannot find server %s (%s)", c->host, gai_strerror(gr));
  int64_t deadline = NowMs() + c->timeout_ms;
  int last_errno = 0;
  for (struct addrinfo* a = res; a && c->fd < 0; a = a->ai_next) {
    int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) {
      last_errno = errno;
      continue;
    }
    int r = connect(fd, a->ai_addr, a->ai_addrlen);
    if (r != 0 && errno == EINPROGRESS) {
      if (WaitFd(fd, POLLOUT, deadline)) {
        int err = 0;
        socklen_t el = sizeof err;
        getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &el);
        r = err ? -1 : 0;
        errno = err;
      } else {
        errno = ETIMEDOUT;
      }
    }
    if (r == 0) {
      int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      c->fd = fd;
    } else {
      last_errno = errno;
      close(fd);
    }
  }
  freeaddrinfo(res);
  if (c->fd < 0) return NetFail(c, "cannot connect to %s (%s)", c->shown, std::strerror(last_errno));
  return 1;
}

int NetIsTls(const NetConn* c) { return c->ssl != nullptr; }

int NetStartTls(NetConn* c) {
  if (c->fd < 0) return 0;
  c->head = c->tail = 0;  // nothing the server sent in clear counts after the switch
  c->ctx = SSL_CTX_new(TLS_client_method());
  if (!c->ctx) return NetFail(c, "TLS not available");
  SSL_CTX_set_min_proto_version(c->ctx, TLS1_2_VERSION);
  SSL_CTX_set_default_verify_paths(c->ctx);
  c->pinned = LoadPinned(QoESystemPtr->Endpoints.TlsAcceptCert);
  SSL_CTX_set_verify(c->ctx, SSL_VERIFY_PEER, VerifyCallback);
  c->ssl = SSL_new(c->ctx);
  if (!c->ssl) return NetFail(c, "TLS not available");
  SSL_set_app_data(c->ssl, c);
  SSL_set_fd(c->ssl, c->fd);
  struct in6_addr a6;
  struct in_addr a4;
  bool literal = inet_pton(AF_INET, c->host, &a4) == 1 || inet_pton(AF_INET6, c->host, &a6) == 1;
  if (literal) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(c->ssl), c->host);
  } else {
    SSL_set_tlsext_host_name(c->ssl, c->host);
    SSL_set1_host(c->ssl, c->host);
  }
  int64_t deadline = NowMs() + c->timeout_ms;
  ERR_clear_error();
  for (;;) {
    int r = SSL_connect(c->ssl);
    if (r == 1) break;
    int e = SSL_get_error(c->ssl, r);
    if (e == SSL_ERROR_WANT_READ && WaitFd(c->fd, POLLIN, deadline)) continue;
    if (e == SSL_ERROR_WANT_WRITE && WaitFd(c->fd, POLLOUT, deadline)) continue;
    // The verify result keeps errors the callback let pass: it names the
    // failure only when the handshake ended on the certificate.
    long v = SSL_get_verify_result(c->ssl);
    if (v != X509_V_OK && ERR_GET_REASON(ERR_peek_last_error()) == SSL_R_CERTIFICATE_VERIFY_FAILED)
      return NetFail(c, "TLS: certificate of %s not accepted (%s)", c->shown, X509_verify_cert_error_string(v));
    if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE)
      return NetFail(c, "TLS: no answer from %s", c->shown);
    return NetFail(c, "TLS: handshake with %s failed (%s)", c->shown, SslReason());
  }
  return 1;
}

namespace {

// Reads what is there (at least one byte); >0 bytes, 0 closed, -1 error.
long RawRead(NetConn* c, void* out, size_t n, int64_t deadline) {
  for (;;) {
    if (c->ssl) {
      ERR_clear_error();
      int r = SSL_read(c->ssl, out, (int)n);
      if (r > 0) return r;
      int e = SSL_get_error(c->ssl, r);
      if (e == SSL_ERROR_ZERO_RETURN) return 0;
      if (e == SSL_ERROR_WANT_READ) {
        if (!WaitFd(c->fd, POLLIN, deadline)) return -2;
        continue;
      }
      if (e == SSL_ERROR_WANT_WRITE) {
        if (!WaitFd(c->fd, POLLOUT, deadline)) return -2;
        continue;
      }
      return e == SSL_ERROR_SYSCALL && ERR_peek_error() == 0 ? 0 : -1;
    }
    long r = recv(c->fd, out, n, 0);
    if (r >= 0) return r;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    if (!WaitFd(c->fd, POLLIN, deadline)) return -2;
  }
}

}  // namespace

long NetReadSome(NetConn* c, void* out, size_t n, int64_t deadline_ms) {
  if (c->fd < 0 || n == 0) return -1;
  if (c->head < c->tail) {
    size_t k = c->tail - c->head < n ? c->tail - c->head : n;
    std::memcpy(out, c->buf + c->head, k);
    c->head += k;
    return (long)k;
  }
  return RawRead(c, out, n, deadline_ms);
}

int64_t NetNowMs() { return NowMs(); }

int NetWaitReadable(NetConn* c, int64_t deadline_ms) {
  if (c->fd < 0) return 0;
  if (c->head < c->tail || (c->ssl && SSL_pending(c->ssl) > 0)) return 1;
  return WaitFd(c->fd, POLLIN, deadline_ms);
}

int NetReadLine(NetConn* c, char* out, size_t cap, size_t* len) {
  if (len) *len = 0;
  if (cap) out[0] = 0;
  if (c->fd < 0) return 0;
  int64_t deadline = NowMs() + c->timeout_ms;
  size_t limit = cap - 1 < NET_MAX_LINE ? cap - 1 : NET_MAX_LINE;
  size_t n = 0;
  for (;;) {
    while (c->head < c->tail) {
      char ch = c->buf[c->head++];
      if (ch == '\n') {
        if (n && out[n - 1] == '\r') n--;
        out[n] = 0;
        if (len) *len = n;
        return 1;
      }
      if (n >= limit) return NetFail(c, "overlong line from %s", c->shown);
      out[n++] = ch;
    }
    c->head = c->tail = 0;
    long r = RawRead(c, c->buf, sizeof c->buf, deadline);
    if (r == -2) return NetFail(c, "no answer from %s (time-out)", c->shown);
    if (r == 0) return NetFail(c, "connection to %s closed", c->shown);
    if (r < 0) return NetFail(c, "connection to %s broken (%s)", c->shown, c->ssl ? SslReason() : std::strerror(errno));
    c->tail = (size_t)r;
  }
}

int NetReadExact(NetConn* c, void* out, size_t n) {
  if (c->fd < 0) return 0;
  char* o = static_cast<char*>(out);
  int64_t deadline = NowMs() + c->timeout_ms;
  while (n > 0) {
    if (c->head < c->tail) {
      size_t k = c->tail - c->head < n ? c->tail - c->head : n;
      std::memcpy(o, c->buf + c->head, k);
      c->head += k;
      o += k;
      n -= k;
      continue;
    }
    c->head = c->tail = 0;
    long r = RawRead(c, c->buf, sizeof c->buf, deadline);
    if (r == -2) return NetFail(c, "no data from %s (time-out)", c->shown);
    if (r == 0) return NetFail(c, "connection to %s closed", c->shown);
    if (r < 0) return NetFail(c, "connection to %s broken (%s)", c->shown, c->ssl ? SslReason() : std::strerror(errno));
    c->tail = (size_t)r;
    deadline = NowMs() + c->timeout_ms;  // the time-out is per read, not per block
  }
  return 1;
}

int NetWrite(NetConn* c, const void* data, size_t length) {
  if (c->fd < 0) return 0;
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    int64_t deadline = NowMs() + c->timeout_ms;
    size_t chunk = length > 65536 ? 65536 : length;
    long r;
    if (c->ssl) {
      ERR_clear_error();
      int w = SSL_write(c->ssl, p, (int)chunk);
      if (w > 0) {
        r = w;
      } else {
        int e = SSL_get_error(c->ssl, w);
        if ((e == SSL_ERROR_WANT_WRITE && WaitFd(c->fd, POLLOUT, deadline)) ||
            (e == SSL_ERROR_WANT_READ && WaitFd(c->fd, POLLIN, deadline)))
          continue;
        return NetFail(c, "cannot send to %s (%s)", c->shown, SslReason());
      }
    } else {
      r = send(c->fd, p, chunk, MSG_NOSIGNAL);
      if (r < 0) {
        if (errno == EINTR) continue;
        if ((errno == EAGAIN || errno == EWOULDBLOCK) && WaitFd(c->fd, POLLOUT, deadline)) continue;
        return NetFail(c, "cannot send to %s (%s)", c->shown,
                       errno == EAGAIN ? "time-out" : std::strerror(errno));
      }
    }
    p += r;
    length -= (size_t)r;
  }
  return 1;
}

int NetWriteText(NetConn* c, const char* text) { return NetWrite(c, text, std::strlen(text)); }

void NetClose(NetConn* c) {
  if (c->ssl) {
    SSL_free(c->ssl);
    c->ssl = nullptr;
  }
  if (c->ctx) {
    SSL_CTX_free(c->ctx);
    c->ctx = nullptr;
  }
  if (c->pinned) {
    X509_free(c->pinned);
    c->pinned = nullptr;
  }
  if (c->fd >= 0) {
    close(c->fd);
    c->fd = -1;
  }
  c->head = c->tail = 0;
}

void Base64Text(const void* data, size_t n, char* out) {
  static const char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const uint8_t* s = static_cast<const uint8_t*>(data);
  size_t o = 0;
  for (size_t i = 0; i < n; i += 3) {
    uint32_t v = (uint32_t)s[i] << 16 | (i + 1 < n ? (uint32_t)s[i + 1] << 8 : 0) | (i + 2 < n ? s[i + 2] : 0);
    out[o++] = kB64[v >> 18];
    out[o++] = kB64[(v >> 12) & 63];
    out[o++] = i + 1 < n ? kB64[(v >> 6) & 63] : '=';
    out[o++] = i + 2 < n ? kB64[v & 63] : '=';
  }
  out[o] = 0;
}
