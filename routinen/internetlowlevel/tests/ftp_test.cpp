// The FTP client against a real pyftpdlib (log-in, listing pairs, refused
// names, downloads up to a sparse file past 4 GB) and the scripted double
// (drops mid-download, hostile listings), and the listing readers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "routinen/internetlowlevel/ftp.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/test_support.h"
#include "tools/testpeers/testpeers.h"

using namespace qoe_peers;
namespace fs = std::filesystem;

namespace {

std::vector<std::pair<uint64_t, uint64_t>> g_progress;
void Progress(uint64_t total, uint64_t done) { g_progress.push_back({total, done}); }

std::string Bytes(size_t n, uint32_t seed) {
  std::string s(n, 0);
  for (size_t i = 0; i < n; i++) s[i] = (char)((i * 131 + seed * 7 + (i >> 9)) & 255);
  return s;
}

// Files of the test's working folder whose names begin with prefix.
size_t FilesStartingWith(const std::string& prefix) {
  size_t n = 0;
  for (const auto& e : fs::directory_iterator("."))
    if (e.path().filename().string().rfind(prefix, 0) == 0) n++;
  return n;
}

std::set<std::string> Pairs() {
  std::set<std::string> s;
  const FtpListing* l = GetFTPListing();
  if (!l) return s;
  for (uint32_t i = 0; i < l->Count; i++)
    s.insert(std::string(l->Entries[i].FileName) + "|" + l->Entries[i].TextName + "|" +
             std::to_string(l->Entries[i].FileSize) + "|" + std::to_string(l->Entries[i].TextSize));
  return s;
}

class FtpReal : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_FALSE(dir.path.empty());
    std::string err;
    ASSERT_TRUE(StartFtpServer(dir.path, "quill", "Zwirn", &ftp, &err)) << err;
    EndpointDefaults(&QoESystemPtr->Endpoints);
    MailSetTimeoutMs(240000);  // a hang guard: minutes, however busy the machine
    g_progress.clear();
    const std::string& r = ftp.root;
    WriteText(r + "/qoe058.zip", Bytes(70000, 1));
    WriteText(r + "/qoe058.txt", "QoE V058\nBetter harbours.\n");
    WriteText(r + "/qoe059.exe", Bytes(3000, 2));
    WriteText(r + "/qoe059.txt", "QoE V059\n");
    WriteText(r + "/lonely.zip", "no description");
    WriteText(r + "/notes.txt", "a description without update");
    WriteText(r + "/..\\evil.zip", "outside");
    WriteText(r + "/..\\evil.txt", "QoE V999\n");
    WriteText(r + "/.hidden.zip", "hidden");
    WriteText(r + "/.hidden.txt", "QoE V998\n");
    fs::create_directories(r + "/sub.zip");
    fs::create_directories(r + "/eleven");
    for (int i = 0; i < 11; i++) {
      WriteText(r + "/eleven/u" + std::to_string(i) + ".zip", "z");
      WriteText(r + "/eleven/u" + std::to_string(i) + ".txt", "QoE V100\n");
    }
  }
  void TearDown() override {
    CloseFTP();
    FreeFTPListing();
    MailSetTimeoutMs(0);
  }
  std::string Host() { return "127.0.0.1:" + std::to_string(ftp.port); }
  PeerDir dir;
  FtpServer ftp;
};

TEST_F(FtpReal, LogInListingPairsAndDownload) {
  EXPECT_STREQ(OpenFTP(Host().c_str(), 21, "quill", "Zwirn", "/"), "FTP OK") << FtpError();
  EXPECT_EQ(Pairs(), (std::set<std::string>{"qoe058.zip|qoe058.txt|70000|26", "qoe059.exe|qoe059.txt|3000|9"}));

  ASSERT_TRUE(GetFTPData("qoe058.zip", "//", 70000, ".\\qoe058.zip", Progress)) << FtpError();
  EXPECT_EQ(ReadText("qoe058.zip"), Bytes(70000, 1));
  ASSERT_FALSE(g_progress.empty());
  EXPECT_EQ(g_progress.back().first, 70000u);
  EXPECT_EQ(g_progress.back().second, 70000u);
  for (size_t i = 1; i < g_progress.size(); i++) EXPECT_GT(g_progress[i].second, g_progress[i - 1].second);
  ASSERT_TRUE(GetFTPData("qoe058.txt", "/", 26, ".\\ftptemp.txt", nullptr)) << FtpError();
  EXPECT_EQ(ReadText("ftptemp.txt"), "QoE V058\nBetter harbours.\n");

  // Names that could leave the folder are refused before anything is sent.
  EXPECT_FALSE(GetFTPData("..\\evil.zip", "/", 7, ".\\evil.zip", nullptr));
  EXPECT_FALSE(GetFTPData("../qoe058.zip", "/", 0, ".\\x.zip", nullptr));
  EXPECT_FALSE(GetFTPData("qoe058.zip", "/", 0, "..\\outside.zip", nullptr));
  EXPECT_FALSE(qoe_test::FileExists("evil.zip"));
  // A size that does not match leaves nothing behind.
  EXPECT_FALSE(GetFTPData("qoe059.exe", "/", 5000, ".\\qoe059.exe", nullptr));
  EXPECT_NE(std::string(FtpError()).find("incomplete"), std::string::npos) << FtpError();
  EXPECT_FALSE(qoe_test::FileExists("qoe059.exe"));
  EXPECT_EQ(FilesStartingWith(".qoetmp-"), 0u);
  // The connection still works after that.
  EXPECT_TRUE(GetFTPData("qoe059.exe", "/", 3000, ".\\qoe059.exe", nullptr)) << FtpError();
  CloseFTP();
  EXPECT_NE(GetFTPListing(), nullptr);  // the listing outlives the connection
  FreeFTPListing();
  EXPECT_EQ(GetFTPListing(), nullptr);
  EXPECT_FALSE(GetFTPData("qoe059.exe", "/", 3000, ".\\again.exe", nullptr));
}

TEST_F(FtpReal, WriteFailureKeepsTheOldFile) {
  ASSERT_STREQ(OpenFTP(Host().c_str(), 21, "quill", "Zwirn", "/"), "FTP OK");
  WriteText("qoe058.zip", "the update of last week");
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = 20000;
  signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  int32_t ok = GetFTPData("qoe058.zip", "/", 70000, ".\\qoe058.zip", nullptr);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_FALSE(ok);
  EXPECT_NE(std::string(FtpError()).find("cannot write"), std::string::npos) << FtpError();
  EXPECT_EQ(ReadText("qoe058.zip"), "the update of last week");
  EXPECT_EQ(FilesStartingWith(".qoetmp-"), 0u);
  // The broken transfer's answer was read: the next download works.
  EXPECT_TRUE(GetFTPData("qoe058.zip", "/", 70000, ".\\qoe058.zip", nullptr)) << FtpError();
  EXPECT_EQ(ReadText("qoe058.zip"), Bytes(70000, 1));
}

TEST_F(FtpReal, ElevenPairsKeepTen) {
  EXPECT_STREQ(OpenFTP(Host().c_str(), 21, "quill", "Zwirn", "/eleven"), "FTP OK");
  ASSERT_NE(GetFTPListing(), nullptr);
  EXPECT_EQ(GetFTPListing()->Count, 10u);
}

TEST_F(FtpReal, RefusedLogInAndFolder) {
  std::string s = OpenFTP(Host().c_str(), 21, "quill", "wrong", "/");
  EXPECT_NE(s.find("530"), std::string::npos) << s;
  EXPECT_EQ(GetFTPListing(), nullptr);
  s = OpenFTP(Host().c_str(), 21, "quill", "Zwirn", "/nowhere");
  EXPECT_NE(s.find("CWD refused"), std::string::npos) << s;
  s = OpenFTP(("127.0.0.1:" + std::to_string(FreePort())).c_str(), 21, "quill", "Zwirn", "/");
  EXPECT_NE(s.find("cannot connect"), std::string::npos) << s;
  s = OpenFTP(Host().c_str(), 21, "quill\r\nDELE x", "Zwirn", "/");
  EXPECT_NE(s.find("refused FTP argument"), std::string::npos) << s;
}

TEST_F(FtpReal, ProgressCountsPastFourGigabytes) {
  const uint64_t size = (1ull << 32) + 70000;
  fs::create_directories(ftp.root + "/big");
  {
    std::string p = ftp.root + "/big/huge.zip";
    FILE* f = std::fopen(p.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("PK", f);
    std::fclose(f);
    fs::resize_file(p, size);  // sparse: holes after the first two bytes
    WriteText(ftp.root + "/big/huge.txt", "QoE V060\n");
  }
  ASSERT_STREQ(OpenFTP(Host().c_str(), 21, "quill", "Zwirn", "/big"), "FTP OK");
  ASSERT_EQ(Pairs(), (std::set<std::string>{"huge.zip|huge.txt|" + std::to_string(size) + "|9"}));
  ASSERT_TRUE(GetFTPData("huge.zip", "", size, ".\\huge.zip", Progress)) << FtpError();
  EXPECT_EQ(g_progress.back().first, size);
  EXPECT_EQ(g_progress.back().second, size);
  struct stat st;
  ASSERT_EQ(stat("huge.zip", &st), 0);
  EXPECT_EQ((uint64_t)st.st_size, size);
  EXPECT_LT((uint64_t)st.st_blocks * 512, 64ull << 20);  // the holes stay holes
  FILE* f = std::fopen("huge.zip", "rb");
  char head[3] = {0};
  ASSERT_EQ(std::fread(head, 1, 2, f), 2u);
  std::fclose(f);
  EXPECT_STREQ(head, "PK");
}

class FtpDouble : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_FALSE(dir.path.empty());
    EndpointDefaults(&QoESystemPtr->Endpoints);
    MailSetTimeoutMs(240000);  // a hang guard: minutes, however busy the machine
    fs::create_directories(dir.path + "/root");
    WriteText(dir.path + "/root/qoe070.zip", Bytes(5000, 3));
  }
  void TearDown() override {
    CloseFTP();
    FreeFTPListing();
    MailSetTimeoutMs(0);
  }
  void Start(const std::string& listing, std::vector<std::string> extra = {}) {
    WriteText(dir.path + "/list", listing);
    std::vector<std::string> o = {"--root", dir.path + "/root", "--list", dir.path + "/list"};
    o.insert(o.end(), extra.begin(), extra.end());
    std::string err;
    ASSERT_TRUE(StartNetDouble(dir.path, "ftp", o, &peer, &err)) << err;
  }
  std::string Host() { return "127.0.0.1:" + std::to_string(peer.port); }
  PeerDir dir;
  NetDouble peer;
};

TEST_F(FtpDouble, DropMidDownloadLeavesNoFile) {
  Start("-rw-r--r-- 1 o g 5000 Dec  6 12:00 qoe070.zip\r\n-rw-r--r-- 1 o g 9 Dec  6 12:00 qoe070.txt\r\n",
        {"--drop-after", "1200"});
  ASSERT_STREQ(OpenFTP(Host().c_str(), 21, "u", "p", "/"), "FTP OK") << FtpError();
  EXPECT_EQ(Pairs(), (std::set<std::string>{"qoe070.zip|qoe070.txt|5000|9"}));
  WriteText("qoe070.zip", "the old update");
  EXPECT_FALSE(GetFTPData("qoe070.zip", "/", 5000, ".\\qoe070.zip", nullptr));
  EXPECT_NE(std::string(FtpError()).find("incomplete"), std::string::npos) << FtpError();
  EXPECT_EQ(ReadText("qoe070.zip"), "the old update");
  EXPECT_EQ(FilesStartingWith(".qoetmp-"), 0u);
  // Size 0 (unknown): the server's 426 still refuses the file.
  EXPECT_FALSE(GetFTPData("qoe070.zip", "/", 0, ".\\other.zip", nullptr));
  EXPECT_FALSE(qoe_test::FileExists("other.zip"));
  EXPECT_EQ(FilesStartingWith(".qoetmp-"), 0u);
}

TEST_F(FtpDouble, HostileListing) {
  std::string l =
      "total 12\r\n"
      "drwxr-xr-x 2 o g 4096 Dec  6 12:00 dir.zip\r\n"
      "lrwxrwxrwx 1 o g 9 Dec  6 12:00 link.zip -> /etc/passwd\r\n"
      "-rw-r--r-- 1 o g 10 Dec  6 12:00 ../../etc/cron.zip\r\n"
      "-rw-r--r-- 1 o g 10 Dec  6 12:00 ../../etc/cron.txt\r\n"
      "-rw-r--r-- 1 o g 10 Dec  6 12:00 a\x01.zip\r\n"
      "-rw-r--r-- 1 o g 10 Dec  6 12:00 a\x01.txt\r\n"
      "-rw-r--r-- 1 o g 99999999999999999999 Dec  6 12:00 big.zip\r\n"
      "-rw-r--r-- 1 o g 5 Dec  6 12:00 big.txt\r\n"
      "-rw-r--r-- 1 o g 7 Dec  6 12:00 with blank.zip\r\n"
      "-rw-r--r-- 1 o g 8 Dec  6 12:00 with blank.txt\r\n"
      "-rw-r--r-- 1 o g 8\r\n"
      "garbage line\n";
  Start(l);
  ASSERT_STREQ(OpenFTP(Host().c_str(), 21, "u", "p", "/"), "FTP OK") << FtpError();
  EXPECT_EQ(Pairs(), (std::set<std::string>{"cron.zip|cron.txt|10|10", "with blank.zip|with blank.txt|7|8"}));
}

TEST_F(FtpDouble, OversizedListingIsRefused) {
  std::string l;
  while (l.size() <= FTP_MAX_LISTING) l += "-rw-r--r-- 1 o g 10 Dec  6 12:00 filler-name-filler-name.zip\r\n";
  Start(l);
  std::string s = OpenFTP(Host().c_str(), 21, "u", "p", "/");
  EXPECT_NE(s.find("larger than 1 MB"), std::string::npos) << s;
  EXPECT_EQ(GetFTPListing(), nullptr);
}

TEST(FtpReaders, ListLinesNamesAndPassiveReplies) {
  char name[FTP_NAME];
  uint64_t size = 0;
  std::string l = "-rw-r--r--    1 ftp      ftp         70000 Dec 06 12:00 qoe058.zip";
  ASSERT_TRUE(FtpParseListLine(l.data(), l.size(), name, sizeof name, &size));
  EXPECT_STREQ(name, "qoe058.zip");
  EXPECT_EQ(size, 70000u);
  l = "-rw-r--r-- 1 o g 18446744073709551615 Dec 06 2009 x.zip";
  ASSERT_TRUE(FtpParseListLine(l.data(), l.size(), name, sizeof name, &size));
  EXPECT_EQ(size, 18446744073709551615ull);
  for (const char* bad : {"-rw-r--r-- 1 o g 1 Dec 06 12:00 .x.zip", "-rw-r--r-- 1 o g 1 Dec 06 12:00 a..b.zip",
                          "-rw-r--r-- 1 o g 1 Dec 06 12:00 c:x.zip", "-rw-r--r-- 1 o g 1 Dec 06 12:00 dir/",
                          "-rw-r--r-- 1 o g 1x Dec 06 12:00 x.zip", "-rw-r--r-- 1 o g 1 Dec 06 12:00 ",
                          "-rw-r--r-- 1 o g 1 Dec", "-rw 1 o g 1 Dec 06 12:00 x.zip"})
    EXPECT_FALSE(FtpParseListLine(bad, std::strlen(bad), name, sizeof name, &size)) << bad;
  std::string longname(300, 'n');
  l = "-rw-r--r-- 1 o g 1 Dec 06 12:00 " + longname;
  EXPECT_FALSE(FtpParseListLine(l.data(), l.size(), name, sizeof name, &size));

  uint16_t port = 0;
  EXPECT_TRUE(FtpParsePasv("227 Entering Passive Mode (127,0,0,1,195,80).", &port));
  EXPECT_EQ(port, 195 * 256 + 80);
  for (const char* bad : {"227 Entering Passive Mode (127,0,0,1,0,0)", "227 (127,0,0,1,256,1)", "227 (1,2,3,4,5)",
                          "227 no parentheses", "227 (1,2,3,4,5,6", "227 (1,2,3,4,5,0006)"})
    EXPECT_FALSE(FtpParsePasv(bad, &port)) << bad;
}

}  // namespace
