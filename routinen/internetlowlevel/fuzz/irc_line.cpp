// Fuzz target: bytes as one line from an IRC server; the split must stay
// inside the line and a channel text must fit its buffers.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "routinen/internetlowlevel/irc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* line = reinterpret_cast<const char*>(data);
  IrcMessage m;
  if (IrcParseLine(line, size, &m)) {
    if (m.command < line || m.command + m.command_len > line + size || m.count > 15) __builtin_trap();
    for (uint32_t i = 0; i < m.count; i++)
      if (m.param[i] < line || m.param[i] + m.param_len[i] > line + size) __builtin_trap();
    if (m.prefix && m.nick_len > m.prefix_len) __builtin_trap();
  }
  char nick[IRC_NAME], text[IRC_MAX_LINE];
  if (IrcChannelText("#Quill", line, size, nick, sizeof nick, text, sizeof text))
    if (std::strlen(nick) >= sizeof nick || std::strlen(text) >= sizeof text) __builtin_trap();
  char act[64];
  char typed[80];
  size_t k = size < sizeof typed - 1 ? size : sizeof typed - 1;
  std::memcpy(typed, data, k);
  typed[k] = 0;
  size_t n = IrcMakeAction(typed, act, sizeof act);
  if (n >= sizeof act || act[0] != 1 || act[n - 1] != 1) __builtin_trap();
  return 0;
}
