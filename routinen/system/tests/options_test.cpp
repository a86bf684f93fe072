#include "routinen/system/options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "routinen/system/byteorder.h"
#include "tests/support/test_support.h"

namespace {

const char kDisk[] = "Data/Optionen.prefs";

std::string TextAt(const std::vector<uint8_t>& img, size_t off) {
  return std::string(reinterpret_cast<const char*>(&img[off]), strnlen(reinterpret_cast<const char*>(&img[off]), 40));
}

}  // namespace

TEST(Options, MissingFileIsWrittenWithDefaultsAtTheDocumentedOffsetsAndPlaceholders) {
  std::filesystem::create_directory("Data");
  OptionenPrefs o;
  ASSERT_EQ(OptionenPrefsLoad(&o), 1);
  auto img = qoe_test::ReadFileBytes(kDisk);
  ASSERT_EQ(img.size(), OPTIONEN_PREFS_SIZE);
  EXPECT_EQ(img[4], kTcpIpStackLan);  // LAN: a fresh install has its network
  EXPECT_EQ(o.tcpip_stack, 4);
  EXPECT_EQ(img[5], NET_MAIL_ROUTE);
  EXPECT_EQ(GetBE16(&img[48]), 0);
  EXPECT_EQ(GetBE32(&img[50]), 0xFFFFFFFFu);
  EXPECT_EQ(GetBE32(&img[54]), 22100u);
  EXPECT_EQ(img[58], 50);
  EXPECT_EQ(img[59], 50);
  EXPECT_EQ(TextAt(img, 140), "username");
  EXPECT_EQ(TextAt(img, 180), "zezavuri");
  EXPECT_EQ(TextAt(img, 260), "username");
  EXPECT_EQ(TextAt(img, 300), "zezavuri");
  EXPECT_EQ(GetBE32(&img[566]), 0u);
  // The default account texts are placeholders, not a configured account.
  for (const char* f : {o.pop3_host, o.smtp_host, o.pop3_user, o.pop3_password, o.email, o.smtp_user,
                        o.smtp_password})
    EXPECT_EQ(OptionConfigured(f), 0) << f;
  EXPECT_EQ(OptionConfigured(""), 0);
  EXPECT_EQ(OptionConfigured(nullptr), 0);
  EXPECT_EQ(OptionConfigured("pop.example"), 1);
  EXPECT_EQ(OptionConfigured("zezavurix"), 1);
}

TEST(Options, EveryFieldRoundTripsByteExactly) {
  std::filesystem::create_directory("Data");
  OptionenPrefs o;
  OptionenPrefsDefault(&o);
  o.sound_optionen = 0x11223344;
  o.tcpip_stack = 4;
  o.net_option_bits = NET_SERVER_ROUTE | NET_IRC_PANEL;
  std::strcpy(o.cd_device, "cdrom0");
  o.cd_unit = 0x0102;
  o.audio2 = 0x0304;
  o.audio3 = 0x05060708;
  o.audio4 = 44100;
  o.sfx_volume = 7;
  o.cd_volume = 100;
  const char* texts[7] = {"pop.host", "smtp.host", "popuser", "poppass", "me@host", "smtpuser", "smtppass"};
  char* fields[7] = {o.pop3_host, o.smtp_host, o.pop3_user, o.pop3_password, o.email, o.smtp_user, o.smtp_password};
  for (int i = 0; i < 7; ++i) std::strcpy(fields[i], texts[i]);
  o.reserved[0] = 0x5A;
  o.reserved[225] = 0xA5;
  o.mouse_cursor = 0xFFFFFFFFu;
  ASSERT_EQ(OptionenPrefsSave(&o), 1);
  auto img = qoe_test::ReadFileBytes(kDisk);
  ASSERT_EQ(img.size(), OPTIONEN_PREFS_SIZE);
  EXPECT_EQ(GetBE32(&img[0]), 0x11223344u);
  EXPECT_EQ(img[4], 4);
  EXPECT_EQ(img[5], 20);
  EXPECT_EQ(TextAt(img, 6), "cdrom0");
  EXPECT_EQ(GetBE16(&img[46]), 0x0102);
  EXPECT_EQ(GetBE16(&img[48]), 0x0304);
  EXPECT_EQ(GetBE32(&img[50]), 0x05060708u);
  EXPECT_EQ(GetBE32(&img[54]), 44100u);
  EXPECT_EQ(img[58], 7);
  EXPECT_EQ(img[59], 100);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(TextAt(img, 60 + 40 * i), texts[i]) << i;
  EXPECT_EQ(img[340], 0x5A);
  EXPECT_EQ(img[565], 0xA5);
  EXPECT_EQ(GetBE32(&img[566]), 0xFFFFFFFFu);

  OptionenPrefs back;
  ASSERT_EQ(OptionenPrefsLoad(&back), 1);
  uint8_t again[OPTIONEN_PREFS_SIZE];
  OptionenPrefsEncode(&back, again);
  EXPECT_EQ(std::vector<uint8_t>(again, again + OPTIONEN_PREFS_SIZE), img);
}

TEST(Options, LongTextsAreCutAndShortFilesExtended) {
  std::filesystem::create_directory("Data");
  OptionenPrefs o;
  OptionenPrefsDefault(&o);
  std::memset(o.email, 'e', 40);  // no terminator in memory
  uint8_t img[OPTIONEN_PREFS_SIZE];
  OptionenPrefsEncode(&o, img);
  EXPECT_EQ(img[220 + 38], 'e');
  EXPECT_EQ(img[220 + 39], 0);

  std::vector<uint8_t> part(img, img + 100);
  part[5] = NET_SERVER_ROUTE;
  qoe_test::WriteFileBytes(kDisk, part);
  OptionenPrefs got;
  ASSERT_EQ(OptionenPrefsLoad(&got), 1);
  EXPECT_EQ(got.net_option_bits, NET_SERVER_ROUTE);  // kept
  EXPECT_STREQ(got.pop3_user, "username");          // default for the missing rest
  auto disk = qoe_test::ReadFileBytes(kDisk);
  ASSERT_EQ(disk.size(), OPTIONEN_PREFS_SIZE);
  EXPECT_TRUE(std::equal(part.begin(), part.end(), disk.begin()));

  std::vector<uint8_t> garbage(OPTIONEN_PREFS_SIZE, 0xFF);
  qoe_test::WriteFileBytes(kDisk, garbage);
  ASSERT_EQ(OptionenPrefsLoad(&got), 1);
  EXPECT_EQ(std::strlen(got.smtp_password), 39u);  // always terminated
}

TEST(Options, SaveFailsWithoutDataFolder) {
  OptionenPrefs o;
  OptionenPrefsDefault(&o);
  EXPECT_EQ(OptionenPrefsSave(&o), 0);
  EXPECT_EQ(OptionenPrefsLoad(&o), 0);
  EXPECT_STREQ(o.pop3_password, "zezavuri");
  EXPECT_EQ(OptionenPrefsSave(nullptr), 0);
}
