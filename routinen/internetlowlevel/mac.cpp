// The adapters come from the kernel's network class folder: the first (by
// interface index) of type Ethernet with a non-zero address wins.
#include "mac.h"

#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/log.h"
#include "platform/plainfile.h"

namespace {

const char* g_net_root = "/sys/class/net";

bool ReadLine(const std::string& path, char* out, size_t size) {
  FILE* f = OpenPlainStream(path.c_str(), "r", true);
  if (!f) return false;
  bool ok = std::fgets(out, (int)size, f) != nullptr;
  std::fclose(f);
  return ok;
}

bool ParseMac(const char* text, uint8_t* mac) {
  unsigned v[6];
  if (std::sscanf(text, "%2x:%2x:%2x:%2x:%2x:%2x", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) != 6)
    return false;
  unsigned any = 0;
  for (int i = 0; i < 6; i++) { mac[i] = (uint8_t)v[i]; any |= v[i]; }
  return any != 0;
}

}  // namespace

// Tests: reads the adapters from another folder (null restores the default).
void MacSetNetRoot(const char* root) { g_net_root = root ? root : "/sys/class/net"; }

int32_t Mac(uint8_t* buffer, uint32_t* length) {
  if (!buffer) return 0;
  std::memset(buffer, 0, 6);
  if (length) *length = 6;
  DIR* dir = opendir(g_net_root);
  if (!dir) {
    DebugLog("Mac: Keine Netzwerkadapter gefunden\n");
    return 0;
  }
  long best_index = -1;
  uint8_t best[6] = {0};
  while (struct dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    std::string base = std::string(g_net_root) + "/" + e->d_name + "/";
    char line[64];
    if (!ReadLine(base + "type", line, sizeof line) || std::atoi(line) != 1) continue;  // 1: Ethernet
    uint8_t mac[6];
    if (!ReadLine(base + "address", line, sizeof line) || !ParseMac(line, mac)) continue;
    long index = ReadLine(base + "ifindex", line, sizeof line) ? std::atol(line) : 0x7FFFFFFF;
    if (best_index < 0 || index < best_index) {
      best_index = index;
      std::memcpy(best, mac, 6);
    }
  }
  closedir(dir);
  if (best_index < 0) {
    DebugLog("Mac: Kein Ethernet-Adapter gefunden\n");
    return 0;
  }
  std::memcpy(buffer, best, 6);
  return 1;
}
