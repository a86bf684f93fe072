// The chat room's reading of received blocks on arbitrary bytes: nothing is
// read past the block, the next log line stays within the shown lines, and
// the status bits only lose the join and leave bits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "routinen/internetlowlevel/irc.h"
#include "screens/hub/chat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 1u << 16) return 0;
  static ChatLog* log = NewChatLog(nullptr, 0);
  static IRCSession s;
  if (!log) std::abort();
  std::strcpy(s.Channel, "#Quill");
  std::strcpy(s.Nick, "alice");
  s.Status = 0xFFFF;
  // The block in a buffer of its own size, so a read past it is caught.
  std::vector<char> block(data + 1, data + size);
  const uint32_t line = ChatShowReceived(&s, log, block.data(), (uint32_t)block.size(), data[0] % 20u);
  if (line > kChatShownLines && line != data[0] % 20u) std::abort();
  if ((s.Status.load() | IRC_STATUS_JOINED | IRC_STATUS_LEFT) != 0xFFFF) std::abort();
  return 0;
}
