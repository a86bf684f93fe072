// Fuzz target: bytes as the LIST answer of an FTP server; every pair kept
// must carry plain names and its update must name a ".zip" or ".exe" file.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "routinen/internetlowlevel/ftp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > FTP_MAX_LISTING) return 0;
  static FtpListing l;
  uint32_t n = FtpPairListing(reinterpret_cast<const char*>(data), size, &l);
  if (n > FTP_MAX_PAIRS || n != l.Count) __builtin_trap();
  for (uint32_t i = 0; i < n; i++) {
    const FtpListEntry& e = l.Entries[i];
    char out[FTP_NAME];
    if (!FtpSafeName(e.FileName, std::strlen(e.FileName), out, sizeof out) || std::strcmp(out, e.FileName) != 0 ||
        !FtpSafeName(e.TextName, std::strlen(e.TextName), out, sizeof out) || std::strchr(e.FileName, '/'))
      __builtin_trap();
    if (!std::strstr(e.FileName, ".zip") && !std::strstr(e.FileName, ".exe")) __builtin_trap();
  }
  uint16_t port;
  char line[64];
  size_t k = size < sizeof line - 1 ? size : sizeof line - 1;
  std::memcpy(line, data, k);
  line[k] = 0;
  FtpParsePasv(line, &port);
  return 0;
}
