// The POP3 and SMTP reply parsers and the host-field splitter on arbitrary
// lines.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "routinen/internetlowlevel/mail_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string s(reinterpret_cast<const char*>(data), size);  // lines arrive terminated
  const char* line = s.c_str();
  Pop3ReplyOk(line);
  uint32_t a, b;
  Pop3ParseNumbers(line, &a, &b);
  Pop3HasCapability(s.data(), s.size(), "STLS");
  Pop3HasCapability(s.data(), s.size(), "STARTTLS");
  uint32_t code;
  int32_t more;
  const char* text;
  if (SmtpParseLine(line, &code, &more, &text) && (code < 200 || code > 599 || text < line || text > line + s.size()))
    __builtin_trap();
  char host[256];
  uint16_t port;
  if (NetSplitHost(line, 110, host, sizeof host, &port) && (port == 0 || std::strlen(host) == 0)) __builtin_trap();
  char b64[4 * ((256 + 2) / 3) + 1];
  Base64Text(data, size < 256 ? size : 256, b64);
  return 0;
}
