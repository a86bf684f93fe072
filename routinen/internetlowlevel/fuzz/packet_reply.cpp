// Fuzz target: bytes as one reply line of the game server.
#include <cstddef>
#include <cstdint>
#include <string>

#include "routinen/internetlowlevel/packets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > PACKET_MAX_LINE) return 0;
  std::string line(reinterpret_cast<const char*>(data), size);
  uint32_t n = 0;
  int32_t has = 0;
  const PacketReply r = ParsePacketReply(line.c_str(), &n, &has);
  if (r != PACKET_ACK && has) __builtin_trap();  // a size only with +ACK
  return 0;
}
