// HTTP GET over a plain connection; the answer is read until the server
// closes (or its announced length is in), then checked and decoded.
#include "http.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "mail_internal.h"
#include "platform/log.h"
#include "routinen/system/memory.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Lower(char c) { return c >= 'A' && c <= 'Z' ? (char)(c + 32) : c; }

// Case-insensitive search of needle inside [s, s + n).
const char* FindNoCase(const char* s, size_t n, const char* needle) {
  size_t k = std::strlen(needle);
  for (size_t i = 0; k <= n && i <= n - k; i++) {
    size_t j = 0;
    while (j < k && Lower(s[i + j]) == Lower(needle[j])) j++;
    if (j == k) return s + i;
  }
  return nullptr;
}

const char* FindBytes(const char* s, size_t n, const char* needle) {
  size_t k = std::strlen(needle);
  if (k > n) return nullptr;
  for (size_t i = 0; i <= n - k; i++)
    if (s[i] == needle[0] && std::memcmp(s + i, needle, k) == 0) return s + i;
  return nullptr;
}

// What the header block says about the body.
struct HeaderInfo {
  bool chunked = false;
  bool has_length = false;
  uint64_t length = 0;
};

// Walks the header lines of [h, h + n) (the block after the status line,
// without the empty line). False for a malformed Content-Length.
bool ReadHeaders(const char* h, size_t n, HeaderInfo* info) {
  size_t i = 0;
  while (i < n) {
    const char* eol = FindBytes(h + i, n - i, "\r\n");
    size_t len = eol ? (size_t)(eol - (h + i)) : n - i;
    const char* line = h + i;
    const char* colon = static_cast<const char*>(std::memchr(line, ':', len));
    if (colon) {
      size_t name_len = (size_t)(colon - line);
      const char* v = colon + 1;
      size_t vl = len - name_len - 1;
      while (vl && (*v == ' ' || *v == '\t')) v++, vl--;
      while (vl && (v[vl - 1] == ' ' || v[vl - 1] == '\t')) vl--;
      if (name_len == 17 && FindNoCase(line, name_len, "transfer-encoding") == line) {
        if (FindNoCase(v, vl, "chunked")) info->chunked = true;
      } else if (name_len == 14 && FindNoCase(line, name_len, "content-length") == line) {
        if (vl == 0 || vl > 12) return false;
        uint64_t x = 0;
        for (size_t k = 0; k < vl; k++) {
          if (!IsDigit(v[k])) return false;
          x = x * 10 + (uint64_t)(v[k] - '0');
        }
        if (info->has_length && info->length != x) return false;
        info->has_length = true;
        info->length = x;
      }
    }
    i += len + 2;
  }
  return true;
}

// Decodes a chunked body [b, b + n) into out (capacity at least n; null only
// checks). Returns the decoded length, or -1 for a malformed or unfinished
// body.
long DecodeChunked(const char* b, size_t n, char* out) {
  size_t i = 0, o = 0;
  for (;;) {
    // Size line: hex digits, optional extension, CR LF.
    uint64_t sz = 0;
    size_t digits = 0;
    while (i < n) {
      char c = b[i];
      int v = IsDigit(c) ? c - '0' : (Lower(c) >= 'a' && Lower(c) <= 'f') ? Lower(c) - 'a' + 10 : -1;
      if (v < 0) break;
      if (++digits > 8) return -1;
      sz = sz * 16 + (uint64_t)v;
      i++;
    }
    if (digits == 0) return -1;
    const char* eol = FindBytes(b + i, n - i, "\r\n");
    if (!eol) return -1;
    for (const char* p = b + i; p < eol; p++)
      if (*p == '\n' || *p == '\r') return -1;
    i = (size_t)(eol - b) + 2;
    if (sz == 0) break;
    if (sz > n - i || n - i - sz < 2) return -1;
    if (out) std::memcpy(out + o, b + i, (size_t)sz);
    o += (size_t)sz;
    i += (size_t)sz;
    if (b[i] != '\r' || b[i + 1] != '\n') return -1;
    i += 2;
  }
  // Trailer lines up to an empty line.
  for (;;) {
    const char* eol = FindBytes(b + i, n - i, "\r\n");
    if (!eol) return -1;
    size_t len = (size_t)(eol - (b + i));
    i += len + 2;
    if (len == 0) break;
  }
  return (long)o;
}

int SetError(char* error, size_t error_size, const char* text) {
  if (error && error_size) std::snprintf(error, error_size, "%s", text);
  return 0;
}

// 1 when the raw bytes so far hold the whole answer (the server may keep the
// connection open although asked to close it).
bool AnswerComplete(const char* raw, size_t n) {
  const char* end = FindBytes(raw, n, "\r\n\r\n");
  if (!end) return false;
  size_t head = (size_t)(end - raw) + 4;
  HeaderInfo info;
  const char* first = FindBytes(raw, n, "\r\n");
  if (!ReadHeaders(first + 2, (size_t)(end - first - 2 + 2), &info)) return false;
  if (info.chunked)
    return n - head >= 5 && std::memcmp(raw + n - 4, "\r\n\r\n", 4) == 0 &&
           DecodeChunked(raw + head, n - head, nullptr) >= 0;
  return info.has_length && n - head >= info.length;
}

}  // namespace

char* HttpReadAnswer(const char* raw, size_t size, uint32_t* out_size, char* error, size_t error_size) {
  if (out_size) *out_size = 0;
  if (error && error_size) error[0] = 0;
  if (!raw || size == 0) return SetError(error, error_size, "empty answer"), nullptr;
  if (size > HTTP_MAX_ANSWER) return SetError(error, error_size, "answer larger than 1 MB"), nullptr;
  if (size < 12 || std::memcmp(raw, "HTTP/", 5) != 0)
    return SetError(error, error_size, "no HTTP status line"), nullptr;
  const char* first = FindBytes(raw, size, "\r\n");
  const char* end = FindBytes(raw, size, "\r\n\r\n");
  if (!first || !end) return SetError(error, error_size, "answer without an empty line after its headers"), nullptr;
  // "HTTP/x.y DDD": three digits after the first blank.
  const char* sp = static_cast<const char*>(std::memchr(raw, ' ', (size_t)(first - raw)));
  if (!sp || first - sp < 4 || !IsDigit(sp[1]) || !IsDigit(sp[2]) || !IsDigit(sp[3]))
    return SetError(error, error_size, "no HTTP status line"), nullptr;
  size_t head = (size_t)(end - raw) + 4;
  HeaderInfo info;
  if (!ReadHeaders(first + 2, (size_t)(end + 2 - (first + 2)), &info))
    return SetError(error, error_size, "malformed Content-Length"), nullptr;
  const char* body = raw + head;
  size_t body_len = size - head;
  char* out = static_cast<char*>(AllocVec((uint32_t)(head + body_len + 1), MEMF_PUBLIC));
  if (!out) return SetError(error, error_size, "out of memory"), nullptr;
  std::memcpy(out, raw, head);
  size_t n;
  if (info.chunked) {
    long d = DecodeChunked(body, body_len, out + head);
    if (d < 0) {
      FreeVec(out);
      return SetError(error, error_size, "broken chunked body"), nullptr;
    }
    n = (size_t)d;
  } else if (info.has_length) {
    if (info.length > body_len) {
      FreeVec(out);
      return SetError(error, error_size, "answer shorter than its Content-Length"), nullptr;
    }
    n = (size_t)info.length;
    std::memcpy(out + head, body, n);
  } else {
    n = body_len;
    std::memcpy(out + head, body, n);
  }
  out[head + n] = 0;
  if (out_size) *out_size = (uint32_t)(head + n);
  return out;
}

const char* HttpError() { return Internet()->http_error; }

char* HttpGetSize(const char* host, const char* path, uint32_t* size) {
  InternetState* st = Internet();
  st->http_error[0] = 0;
  if (size) *size = 0;
  if (!path || !*path) path = "/";
  for (const char* p = path; *p; p++) {
    if ((unsigned char)*p <= ' ' || *p == 127) {
      std::snprintf(st->http_error, sizeof st->http_error, "invalid path for HTTP (blank or control character)");
      DebugLog("HttpGet: %s\n", st->http_error);
      return nullptr;
    }
  }
  NetConn* c = static_cast<NetConn*>(AllocVec(sizeof(NetConn), MEMF_PUBLIC | MEMF_CLEAR));
  char* raw = static_cast<char*>(AllocVec(HTTP_MAX_ANSWER + 1, MEMF_PUBLIC));
  char* result = nullptr;
  if (!c || !raw) {
    std::snprintf(st->http_error, sizeof st->http_error, "out of memory");
  } else {
    new (c) NetConn();
    if (!NetOpen(c, host, 80, nullptr)) {
      std::snprintf(st->http_error, sizeof st->http_error, "%s", c->error);
    } else {
      uint16_t port = 80;
      char name[256];
      NetSplitHost(host, 80, name, sizeof name, &port);
      char request[2400];
      int rl;
      // An IPv6 literal goes into Host in brackets.
      bool v6 = std::strchr(name, ':') != nullptr;
      char shown[300];
      if (port == 80)
        std::snprintf(shown, sizeof shown, v6 ? "[%s]" : "%s", name);
      else
        std::snprintf(shown, sizeof shown, v6 ? "[%s]:%u" : "%s:%u", name, port);
      rl = std::snprintf(request, sizeof request, "GET %s%s HTTP/1.1\r\nHost: %s\r\n", path[0] == '/' ? "" : "/",
                         path, shown);
      if (rl < 0 || (size_t)rl + 100 >= sizeof request) {
        std::snprintf(st->http_error, sizeof st->http_error, "path too long for HTTP");
      } else {
        std::snprintf(request + rl, sizeof request - (size_t)rl,
                      "User-Agent: QoE-Client/0.57\r\nAccept: */*\r\nConnection: close\r\n\r\n");
        if (!NetWriteText(c, request)) {
          std::snprintf(st->http_error, sizeof st->http_error, "%s", c->error);
        } else {
          // The whole answer must come within one time-out.
          int64_t deadline = NetNowMs() + c->timeout_ms;
          size_t n = 0;
          bool failed = false;
          for (;;) {
            if (n > HTTP_MAX_ANSWER) {
              std::snprintf(st->http_error, sizeof st->http_error, "answer from %s larger than 1 MB", c->shown);
              failed = true;
              break;
            }
            long r = NetReadSome(c, raw + n, HTTP_MAX_ANSWER + 1 - n, deadline);
            if (r == 0) break;
            if (r == -2) {
              std::snprintf(st->http_error, sizeof st->http_error, "no answer from %s (time-out)", c->shown);
              failed = true;
              break;
            }
            if (r < 0) {
              std::snprintf(st->http_error, sizeof st->http_error, "connection to %s broken", c->shown);
              failed = true;
              break;
            }
            n += (size_t)r;
            if (n <= HTTP_MAX_ANSWER && AnswerComplete(raw, n)) break;
          }
          if (!failed) {
            char why[200];
            uint32_t out_size = 0;
            result = HttpReadAnswer(raw, n, &out_size, why, sizeof why);
            if (!result)
              std::snprintf(st->http_error, sizeof st->http_error, "%s from %s", why, c->shown);
            else if (size)
              *size = out_size;
          }
        }
      }
      NetClose(c);
    }
  }
  if (c) c->~NetConn();
  FreeVec(c);
  FreeVec(raw);
  if (!result) DebugLog("HttpGet: %s\n", st->http_error);
  return result;
}

char* HttpGet(const char* host, const char* path) { return HttpGetSize(host, path, nullptr); }

const char* HttpBody(const char* answer, uint32_t size, uint32_t* length) {
  if (length) *length = 0;
  if (!answer) return nullptr;
  const char* end = FindBytes(answer, size, "\r\n\r\n");
  if (!end) return nullptr;
  if (length) *length = (uint32_t)(answer + size - end - 4);
  return end + 4;
}

int32_t HttpBodyCode(const char* answer, uint32_t size) {
  uint32_t n = 0;
  const char* b = HttpBody(answer, size, &n);
  if (!b) return -1;
  int32_t code = 0;
  uint32_t i = 0;
  while (i < n && i < 9 && IsDigit(b[i])) code = code * 10 + (b[i++] - '0');
  return i == 0 ? -1 : code;
}

size_t UrlEncode(const char* value, char* out, size_t out_size) {
  static const char kHex[] = "0123456789ABCDEF";
  size_t need = 0, o = 0;
  bool room = out && out_size > 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(value ? value : ""); *p; p++) {
    bool plain = (*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z') || (*p >= '0' && *p <= '9');
    size_t k = plain ? 1 : 3;
    if (room && o + k < out_size) {
      if (plain) {
        out[o++] = (char)*p;
      } else {
        out[o++] = '%';
        out[o++] = kHex[*p >> 4];
        out[o++] = kHex[*p & 15];
      }
    } else {
      room = false;
    }
    need += k;
  }
  if (out && out_size) out[o] = 0;
  return need;
}
