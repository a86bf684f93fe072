#include "routinen/internetlowlevel/mac.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/test_support.h"

namespace {
void Adapter(const std::string& name, const char* type, const char* addr, const char* index) {
  mkdir("net", 0755);
  mkdir(("net/" + name).c_str(), 0755);
  auto put = [&](const char* f, const char* v) {
    std::string s = std::string(v) + "\n";
    qoe_test::WriteFileBytes("net/" + name + "/" + f, std::vector<uint8_t>(s.begin(), s.end()));
  };
  put("type", type);
  put("address", addr);
  put("ifindex", index);
}
}  // namespace

TEST(Mac, FirstEthernetAdapterByIndex) {
  Adapter("lo", "772", "00:00:00:00:00:00", "1");
  Adapter("wlan0", "1", "aa:bb:cc:dd:ee:02", "5");
  Adapter("eth0", "1", "00:11:22:33:44:55", "3");
  Adapter("dummy", "1", "00:00:00:00:00:00", "2");
  MacSetNetRoot("net");
  uint8_t mac[6];
  uint32_t n = 0;
  EXPECT_EQ(Mac(mac, &n), 1);
  MacSetNetRoot(nullptr);
  EXPECT_EQ(n, 6u);
  const uint8_t want[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
  EXPECT_EQ(0, memcmp(mac, want, 6));
}

TEST(Mac, NoAdapterGivesZeros) {
  Adapter("lo", "772", "00:00:00:00:00:00", "1");
  MacSetNetRoot("net");
  uint8_t mac[6] = {1, 2, 3, 4, 5, 6};
  uint32_t n = 0;
  EXPECT_EQ(Mac(mac, &n), 0);
  MacSetNetRoot("missing-folder");
  EXPECT_EQ(Mac(mac, nullptr), 0);
  MacSetNetRoot(nullptr);
  for (uint8_t b : mac) EXPECT_EQ(b, 0);
  EXPECT_EQ(n, 6u);
}
