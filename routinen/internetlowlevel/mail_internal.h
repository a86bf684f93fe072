// Internals of the mail side of the internet module.
#pragma once
#include <cstddef>
#include <cstdint>

// Field index of EmailNode's date in list type 20 (sort key).
enum : uint32_t { EMAILNODE_DATE_FIELD = 3 };

// A growing AllocVec text block, always terminated; ok turns false for good
// when memory runs out.
struct MailText {
  char* data = nullptr;
  size_t len = 0;
  size_t cap = 0;
  bool ok = true;
};
bool MailTextReserve(MailText* t, size_t more);
void MailTextAppendN(MailText* t, const char* s, size_t n);
void MailTextAppend(MailText* t, const char* s);
void MailTextFree(MailText* t);

// The unfolded value of the first header "name:" (any case) of a mail text,
// leading blanks dropped, cut to out_size - 1; its length (0 when missing).
// Only the header block (up to the first empty line) is searched.
size_t MailHeaderValue(const char* text, size_t size, const char* name, char* out, size_t out_size);

struct FtpState;
struct IrcPanel;

// ---- Module state ---------------------------------------------------------------

// The mail clients' state. Everything runs on the game thread (the callers'
// screens); the tests set the settings before a client runs.
struct InternetState {
  // Status texts handed back by GetEMail and SendEMail / SendFileAsEmail;
  // valid until the next call of the same client.
  char pop3_status[512];
  char smtp_status[512];
  // Settings (0 = the endpoint file's value or the built-in limit).
  uint16_t implicit_tls_port;   // one more port that means TLS from the first byte
  uint32_t timeout_ms;          // per read or write
  uint32_t max_mail_size;       // largest mail fetched, bytes
  // HTTP (game thread): why the last HttpGet failed.
  char http_error[512];
  // FTP (game thread): OpenFTP's status text, why the last call failed, and
  // the connection with the last listing (an AllocVec block that lives while
  // the connection is open or a listing is kept).
  char ftp_status[512];
  char ftp_error[512];
  FtpState* ftp;
  // The IRC panel (irc.cpp): made by StartIrcPanel on the game thread, freed
  // by StopIrcPanel; its fields are guarded by its "IRCPanel Semaphore".
  IrcPanel* irc_panel;
};
InternetState* Internet();
// Closes the FTP connection of the state and frees it (ftp.cpp); null is ignored.
void FtpStateFree(FtpState* ftp);
void InternetStateReset();
uint32_t NetTimeoutMs();

// ---- Connections (net.cpp) ---------------------------------------------------

struct ssl_st;
struct ssl_ctx_st;
struct x509_st;
enum : size_t { NET_BUFFER = 16384, NET_MAX_LINE = 8192 };

// One client connection, plain or TLS, with its own read buffer. Every read
// and write waits at most timeout_ms; a line longer than NET_MAX_LINE is an
// error. After a failure `error` says why and the connection is closed.
struct NetConn {
  int fd = -1;
  ssl_ctx_st* ctx = nullptr;
  ssl_st* ssl = nullptr;
  x509_st* pinned = nullptr;    // the endpoint file's accepted certificate
  char host[256] = {0};         // the name the certificate must carry
  char shown[300] = {0};        // host:port for messages
  uint32_t timeout_ms = 30000;
  size_t head = 0, tail = 0;
  char buf[NET_BUFFER];
  char error[300] = {0};
};
// Splits "host", "host:port" or "[v6]:port"; 0 for a bad field.
int NetSplitHost(const char* field, uint16_t default_port, char* host, size_t host_size, uint16_t* port);
// Connects to the host field (default port when none is given); *implicit_tls
// is set when the port means TLS from the first byte (465, 995). 1 on success.
int NetOpen(NetConn* c, const char* host_field, uint16_t default_port, int* implicit_tls);
// TLS handshake as a client; the certificate must pass the system's store and
// carry the host's name, or be the endpoint file's accepted certificate.
int NetStartTls(NetConn* c);
int NetIsTls(const NetConn* c);
// One line without its line end into out (terminated); 1, or 0 on a time-out,
// a closed connection or a line longer than cap - 1 or NET_MAX_LINE.
int NetReadLine(NetConn* c, char* out, size_t cap, size_t* len);
// Exactly n bytes (the buffered ones first); 1, or 0 on a time-out or a
// closed connection.
int NetReadExact(NetConn* c, void* out, size_t n);
// What is there, buffered bytes first (at least one byte, at most n): >0
// bytes, 0 closed, -1 error, -2 nothing before deadline_ms (NetNowMs clock).
// The connection stays open either way.
long NetReadSome(NetConn* c, void* out, size_t n, int64_t deadline_ms);
int64_t NetNowMs();  // monotonic milliseconds
// 1 when a read would find data before deadline_ms, else 0.
int NetWaitReadable(NetConn* c, int64_t deadline_ms);
int NetWrite(NetConn* c, const void* data, size_t length);
int NetWriteText(NetConn* c, const char* text);
void NetClose(NetConn* c);
// Sets c->error (printf-style) and closes the connection; returns 0.
int NetFail(NetConn* c, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// Standard base64 of bytes (AUTH); out needs 4 * ((n + 2) / 3) + 1 bytes.
void Base64Text(const void* data, size_t n, char* out);

// ---- Reply parsers (pop3.cpp, smtp.cpp) ------------------------------------------

// 1 for a "+OK" line, -1 for "-ERR", 0 for anything else.
int32_t Pop3ReplyOk(const char* line);
// Two decimal numbers separated by blanks ("3 1200" of STAT, "1 620" of
// LIST); 1 when both are there and fit 32 bits.
int32_t Pop3ParseNumbers(const char* text, uint32_t* a, uint32_t* b);
// 1 when a CAPA or EHLO text (lines) holds the keyword name as a line's first word.
int32_t Pop3HasCapability(const char* caps, size_t size, const char* name);

// One SMTP reply line: "250-text" (more follow) or "250 text". 1 with the
// code and the text's start, 0 for a malformed line.
int32_t SmtpParseLine(const char* line, uint32_t* code, int32_t* more, const char** text);
