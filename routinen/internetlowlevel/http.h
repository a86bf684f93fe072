// HTTP client of the news page and the player-name check: one GET per
// connection (HTTP/1.1 with Host and Connection: close). The answer comes
// back whole; the callers read their own status code from the start of the
// body, not from the status line. Rules and limits: docs/internetclients.md.
#pragma once
#include <cstddef>
#include <cstdint>

enum : uint32_t { HTTP_MAX_ANSWER = 1u << 20 };  // bytes received per answer

// GET of path (with its query, e.g. "/fetch_news.php?username=Ulf") from host
// ("name" or "name:port"; port 80). Returns the whole answer: headers, the
// empty line and the body (a chunked body decoded, a body cut at its
// Content-Length), in an AllocVec block with a 0 byte after it that the
// caller frees with FreeVec. Status codes are not judged: a 404 or a
// redirect comes back as it is (a redirect is not followed). Null, with
// HttpError() saying why, when the server cannot be reached, stalls past
// the endpoint file's time-out (for the whole answer), closes mid-answer,
// sends more than HTTP_MAX_ANSWER bytes, sends no HTTP status line or no
// empty line after its headers, or when path holds blanks or control
// characters (values go in percent-encoded: UrlEncode).
char* HttpGet(const char* host, const char* path);
// The same; *size gets the answer's length (without the 0 byte).
char* HttpGetSize(const char* host, const char* path, uint32_t* size);
// Why the last HttpGet failed ("" after a success).
const char* HttpError();

// The reader behind HttpGet: checks a raw answer (the bytes received until
// the server closed) and builds the answer HttpGet returns. Null with the
// reason in error when it is no complete HTTP answer.
char* HttpReadAnswer(const char* raw, size_t size, uint32_t* out_size, char* error, size_t error_size);

// The body of an answer (the bytes after the first "\r\n\r\n"), its length
// through *length; null when the answer has no empty line.
const char* HttpBody(const char* answer, uint32_t size, uint32_t* length);
// The decimal number at the start of the body (the callers' reply code,
// e.g. 200 or 409); -1 when the body does not begin with 1 to 9 digits.
int32_t HttpBodyCode(const char* answer, uint32_t size);

// Percent-encodes a value for a URL: ASCII letters and digits stay, every
// other byte becomes %XX. Writes at most out_size - 1 bytes and a 0 byte and
// returns the length the whole result needs (a longer one is cut at a whole
// character).
size_t UrlEncode(const char* value, char* out, size_t out_size);
