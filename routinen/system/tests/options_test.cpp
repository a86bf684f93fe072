#include "routinen/system/options.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "routinen/system/byteorder.h"
#include "tests/support/test_support.h"

namespace {

const char kDisk[] = "Data/Optionen.prefs";

std::string TextAt(const std::vector<uint8_t>& img, size_t off) {
  return std::string(reinterpret_cast<const char*>(&img[off]), strnlen(reinterpret_cast<const char*>(&img[off]), 40));
}

// Bytes of a seed (the same on every run).
std::vector<uint8_t> RandomBytes(uint32_t seed, size_t n) {
  std::vector<uint8_t> b(n);
  for (uint8_t& x : b) x = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
  return b;
}

// The disk image of a block of the defaults with the demo's mail account.
std::vector<uint8_t> GoodImage() {
  OptionenPrefs o;
  OptionenPrefsDefault(&o);
  o.net_option_bits = NET_SERVER_ROUTE | NET_IRC_PANEL;
  o.tcpip_stack = 2;
  o.cd_volume = 100;
  o.mouse_cursor = 0xFFFFFFFFu;
  std::strcpy(o.pop3_host, "localhost:11110");
  std::strcpy(o.pop3_user, "lord");
  std::strcpy(o.pop3_password, "elmor");
  std::strcpy(o.cd_device, "/dev/cdrom");
  std::vector<uint8_t> img(OPTIONEN_PREFS_SIZE);
  OptionenPrefsEncode(&o, img.data());
  img[400] = 0x77;  // the modem settings are kept as read
  return img;
}

// Every field of a block in its range.
void ExpectInRange(const OptionenPrefs& o) {
  EXPECT_LE(o.sound_optionen, 0xFFu);
  EXPECT_LE(o.tcpip_stack, 4);
  const uint8_t b = o.net_option_bits;
  EXPECT_EQ(b & ~(NET_MAIL_ROUTE | NET_SERVER_ROUTE | NET_IRC_PANEL), 0) << (int)b;
  EXPECT_NE((b & NET_MAIL_ROUTE) != 0, (b & NET_SERVER_ROUTE) != 0) << (int)b;
  EXPECT_LE(o.sfx_volume, 100);
  EXPECT_LE(o.cd_volume, 100);
  EXPECT_TRUE(o.mouse_cursor == 0 || o.mouse_cursor == 0xFFFFFFFFu) << o.mouse_cursor;
  for (const char* t : {o.cd_device, o.pop3_host, o.smtp_host, o.pop3_user, o.pop3_password, o.email, o.smtp_user,
                        o.smtp_password}) {
    ASSERT_LE(strnlen(t, 40), 39u);
    for (const char* c = t; *c; ++c) EXPECT_TRUE((uint8_t)*c >= 32 && *c != 127) << t;
  }
  for (const char* t : {o.pop3_host, o.smtp_host, o.email})
    for (const char* c = t; *c; ++c) EXPECT_TRUE(*c > 32 && *c < 127) << t;
  EXPECT_TRUE(!o.email[0] || std::strchr(o.email, '@')) << o.email;
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
  o.sound_optionen = 0xA5;
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
  EXPECT_EQ(GetBE32(&img[0]), 0xA5u);
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
  TakeOptionenRepairs();
  ASSERT_EQ(OptionenPrefsLoad(&back), 1);
  EXPECT_EQ(TakeOptionenRepairs(), 0u);  // every field in its range
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

// Each field with a range out of it: the field takes its default, every
// other byte stays, and the page that shows it is noted. A text without its
// end within its 40 bytes is cut to 39 characters, one holding a control
// character (a line break would end a mail command early) takes its default.
TEST(Options, AFieldOutOfItsRangeTakesItsDefaultAndIsNotedByItsPage) {
  std::filesystem::create_directory("Data");
  const std::vector<uint8_t> good = GoodImage();
  OptionenPrefs def;
  OptionenPrefsDefault(&def);
  const struct Row {
    const char* name;
    size_t at;
    std::vector<uint8_t> bytes;
    uint32_t area;
    std::function<void(const OptionenPrefs&)> check;
  } rows[] = {
      {"stack 179", 4, {179}, OPTIONEN_REPAIR_INTERNET, [](const OptionenPrefs& o) { EXPECT_EQ(o.tcpip_stack, 4); }},
      {"stack 5", 4, {5}, OPTIONEN_REPAIR_INTERNET, [](const OptionenPrefs& o) { EXPECT_EQ(o.tcpip_stack, 4); }},
      {"both routes", 5, {NET_MAIL_ROUTE | NET_SERVER_ROUTE}, OPTIONEN_REPAIR_INTERNET,
       [](const OptionenPrefs& o) { EXPECT_EQ(o.net_option_bits, NET_MAIL_ROUTE); }},
      {"no route", 5, {NET_IRC_PANEL}, OPTIONEN_REPAIR_INTERNET,
       [](const OptionenPrefs& o) { EXPECT_EQ(o.net_option_bits, NET_MAIL_ROUTE); }},
      {"an unknown bit", 5, {NET_SERVER_ROUTE | 2}, OPTIONEN_REPAIR_INTERNET,
       [](const OptionenPrefs& o) { EXPECT_EQ(o.net_option_bits, NET_MAIL_ROUTE); }},
      {"sound bit 256", 0, {0, 0, 1, 0}, OPTIONEN_REPAIR_SOUND,
       [](const OptionenPrefs& o) { EXPECT_EQ(o.sound_optionen, 57u); }},
      {"effects volume 101", 58, {101}, OPTIONEN_REPAIR_SOUND, [](const OptionenPrefs& o) { EXPECT_EQ(o.sfx_volume, 50); }},
      {"CD volume 255", 59, {255}, OPTIONEN_REPAIR_SOUND, [](const OptionenPrefs& o) { EXPECT_EQ(o.cd_volume, 50); }},
      {"CD device without its end", 6, std::vector<uint8_t>(40, 'd'), OPTIONEN_REPAIR_SOUND,
       [](const OptionenPrefs& o) { EXPECT_EQ(std::string(o.cd_device), std::string(39, 'd')); }},
      {"mouse cursor 0x12345678", 566, {0x12, 0x34, 0x56, 0x78}, OPTIONEN_REPAIR_MODEM,
       [](const OptionenPrefs& o) { EXPECT_EQ(o.mouse_cursor, 0u); }},
      {"POP3 host without its end", 60, std::vector<uint8_t>(40, 'h'), OPTIONEN_REPAIR_INTERNET,
       [](const OptionenPrefs& o) { EXPECT_EQ(std::string(o.pop3_host), std::string(39, 'h')); }},
      {"SMTP password without its end", 300, std::vector<uint8_t>(40, 0xE4), OPTIONEN_REPAIR_INTERNET,
       [](const OptionenPrefs& o) { EXPECT_EQ(std::string(o.smtp_password), std::string(39, '\xE4')); }},
      {"SMTP host with a blank", 100, {'s', 'm', ' ', 't', 'p', 0}, OPTIONEN_REPAIR_INTERNET,
       [](const OptionenPrefs& o) { EXPECT_STREQ(o.smtp_host, "servername"); }},
      {"POP3 host with an umlaut", 60, {'p', 0xF6, 'p', 0}, OPTIONEN_REPAIR_INTERNET,
       [](const OptionenPrefs& o) { EXPECT_STREQ(o.pop3_host, "servername"); }},
      {"an address without its @", 220, {'l', 'o', 'r', 'd', 0}, OPTIONEN_REPAIR_INTERNET,
       [](const OptionenPrefs& o) { EXPECT_STREQ(o.email, "username@servername"); }},
      {"POP3 user with a line break", 140, {'l', 'o', '\r', '\n', 'Q', 'U', 'I', 'T', 0}, OPTIONEN_REPAIR_INTERNET,
       [](const OptionenPrefs& o) { EXPECT_STREQ(o.pop3_user, "username"); }},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<uint8_t> bytes = good;
    std::copy(r.bytes.begin(), r.bytes.end(), bytes.begin() + r.at);
    ASSERT_TRUE(qoe_test::WriteFileBytes(kDisk, bytes));
    OptionenPrefs o;
    TakeOptionenRepairs();
    ASSERT_EQ(OptionenPrefsLoad(&o), 1);
    EXPECT_EQ(TakeOptionenRepairs(), r.area);
    r.check(o);
    ExpectInRange(o);
    // The file holds the repaired field and every other byte as it was.
    const auto disk = qoe_test::ReadFileBytes(kDisk);
    ASSERT_EQ(disk.size(), OPTIONEN_PREFS_SIZE);
    uint8_t want[OPTIONEN_PREFS_SIZE];
    OptionenPrefsEncode(&o, want);
    const bool text = r.at == 6 || (r.at >= 60 && r.at < 340);
    const size_t size = text ? 40 : r.bytes.size();
    for (size_t i = 0; i < OPTIONEN_PREFS_SIZE; ++i) {
      const bool field = i >= r.at && i < r.at + size;
      EXPECT_EQ(disk[i], field ? want[i] : good[i]) << i;
    }
    EXPECT_EQ(disk[400], 0x77);
    OptionenPrefs again;
    ASSERT_EQ(OptionenPrefsLoad(&again), 1);
    EXPECT_EQ(TakeOptionenRepairs(), 0u);  // whole now: told once
  }
}

// Random bytes: every field in its range after the load, the stack among
// them (179 left the network dead without a word), each page noted.
TEST(Options, RandomBytesLoadInRangeAndAreNoted) {
  std::filesystem::create_directory("Data");
  for (uint32_t seed : {1u, 2u, 95u, 3504101453u, 0xC0FFEEu}) {
    SCOPED_TRACE(seed);
    const std::vector<uint8_t> bytes = RandomBytes(seed, OPTIONEN_PREFS_SIZE);
    ASSERT_GT(bytes[4], 4);  // the stack out of its range
    ASSERT_TRUE(qoe_test::WriteFileBytes(kDisk, bytes));
    OptionenPrefs o;
    TakeOptionenRepairs();
    ASSERT_EQ(OptionenPrefsLoad(&o), 1);
    EXPECT_EQ(TakeOptionenRepairs(), OPTIONEN_REPAIR_SOUND | OPTIONEN_REPAIR_INTERNET | OPTIONEN_REPAIR_MODEM);
    ExpectInRange(o);
    EXPECT_EQ(o.tcpip_stack, kTcpIpStackLan);
    const auto disk = qoe_test::ReadFileBytes(kDisk);
    EXPECT_TRUE(std::equal(bytes.begin() + 340, bytes.begin() + 566, disk.begin() + 340));  // modem bytes kept
    OptionenPrefs again;
    ASSERT_EQ(OptionenPrefsLoad(&again), 1);
    EXPECT_EQ(TakeOptionenRepairs(), 0u);
    EXPECT_EQ(qoe_test::ReadFileBytes(kDisk), disk);
  }
}

// A file cut short keeps the fields it holds whole; a field cut in its
// middle and those after the cut take their defaults, and their pages are
// noted (the mouse cursor, last, is lost by every cut).
TEST(Options, ACutFileKeepsItsWholeFieldsAndNotesThePagesOfTheRest) {
  std::filesystem::create_directory("Data");
  const std::vector<uint8_t> good = GoodImage();
  constexpr uint32_t kAll = OPTIONEN_REPAIR_SOUND | OPTIONEN_REPAIR_INTERNET | OPTIONEN_REPAIR_MODEM;
  const struct Row {
    uint32_t cut, area;
    uint8_t stack;
    const char* cd;
    const char* host;
    const char* user;
    uint8_t cd_volume;
  } rows[] = {
      {0, kAll, 4, "", "servername", "username", 50},
      {3, kAll, 4, "", "servername", "username", 50},
      {5, kAll, 2, "", "servername", "username", 50},
      {9, kAll, 2, "", "servername", "username", 50},  // "/de" of the CD device
      {59, kAll, 2, "/dev/cdrom", "servername", "username", 50},
      {70, OPTIONEN_REPAIR_INTERNET | OPTIONEN_REPAIR_MODEM, 2, "/dev/cdrom", "servername", "username", 100},
      {143, OPTIONEN_REPAIR_INTERNET | OPTIONEN_REPAIR_MODEM, 2, "/dev/cdrom", "localhost:11110", "username", 100},
      {340, OPTIONEN_REPAIR_MODEM, 2, "/dev/cdrom", "localhost:11110", "lord", 100},
      {569, OPTIONEN_REPAIR_MODEM, 2, "/dev/cdrom", "localhost:11110", "lord", 100},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.cut);
    ASSERT_TRUE(qoe_test::WriteFileBytes(kDisk, std::vector<uint8_t>(good.begin(), good.begin() + r.cut)));
    OptionenPrefs o;
    TakeOptionenRepairs();
    ASSERT_EQ(OptionenPrefsLoad(&o), 1);
    EXPECT_EQ(TakeOptionenRepairs(), r.area);
    EXPECT_EQ(o.tcpip_stack, r.stack);
    EXPECT_STREQ(o.cd_device, r.cd);
    EXPECT_STREQ(o.pop3_host, r.host);
    EXPECT_STREQ(o.pop3_user, r.user);
    EXPECT_EQ(o.cd_volume, r.cd_volume);
    EXPECT_EQ(o.mouse_cursor, 0u);
    ExpectInRange(o);
    EXPECT_EQ(qoe_test::ReadFileBytes(kDisk).size(), OPTIONEN_PREFS_SIZE);
    ASSERT_EQ(OptionenPrefsLoad(&o), 1);
    EXPECT_EQ(TakeOptionenRepairs(), 0u);
  }
}
