// HttpGet against a real nginx (plain, chunked, large bodies, 404, redirect)
// and the scripted double (exact answers, stalls, drops, floods), and the
// answer reader's rules on hand-made answers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "routinen/internetlowlevel/http.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"
#include "tests/support/test_support.h"
#include "tools/testpeers/testpeers.h"

using namespace qoe_peers;

namespace {

// A socket's time-out in these tests (but the stall's): ten minutes, so that
// a busy machine's slow double never runs into it.
constexpr uint32_t kNetTimeoutMs = 600000;

std::string Get(const std::string& host, const std::string& path, bool* ok = nullptr) {
  uint32_t n = 0;
  char* a = HttpGetSize(host.c_str(), path.c_str(), &n);
  if (ok) *ok = a != nullptr;
  if (!a) return std::string();
  EXPECT_EQ(a[n], 0);
  std::string s(a, n);
  FreeVec(a);
  return s;
}

std::string Body(const std::string& answer) {
  size_t p = answer.find("\r\n\r\n");
  return p == std::string::npos ? std::string("<none>") : answer.substr(p + 4);
}

class HttpNginx : public ::testing::Test {
 public:
  static void SetUpTestSuite() {
    dir = new PeerDir;
    nginx = new Nginx;
    std::string err;
    started = StartNginx(dir->path, nginx, &err);
    start_error = err;
    if (!started) return;
    WriteText(nginx->root + "/fetch_news.php", "200 ok\r\nNews of the realm: the harbour is open.\r\n");
    WriteText(nginx->root + "/check_user.php", "409");
    WriteText(nginx->root + "/chunked/news.txt", big_text);
    WriteText(nginx->root + "/large.bin", std::string(900 * 1024, 'L'));
    WriteText(nginx->root + "/huge.bin", std::string(1100 * 1024, 'H'));
  }
  static void TearDownTestSuite() {
    delete nginx;
    delete dir;
  }
  void SetUp() override {
    ASSERT_TRUE(started) << start_error;
    EndpointDefaults(&QoESystemPtr->Endpoints);
    MailSetTimeoutMs(kNetTimeoutMs);
  }
  void TearDown() override { MailSetTimeoutMs(0); }
  static std::string Host() { return "127.0.0.1:" + std::to_string(nginx->port); }
  static PeerDir* dir;
  static Nginx* nginx;
  static bool started;
  static std::string start_error;
  static std::string big_text;
};
PeerDir* HttpNginx::dir;
Nginx* HttpNginx::nginx;
bool HttpNginx::started;
std::string HttpNginx::start_error;
std::string HttpNginx::big_text = [] {
  std::string s;
  for (int i = 0; i < 20000; i++) s += "line " + std::to_string(i) + " of the chronicle\n";
  return s;
}();

TEST_F(HttpNginx, PlainChunkedLargeAndStatusCodes) {
  std::string a = Get(Host(), "/fetch_news.php?username=Ulf%20der%20Kühne");
  ASSERT_EQ(a.compare(0, 13, "HTTP/1.1 200 "), 0) << a;
  EXPECT_NE(a.find("Content-Length: 49\r\n"), std::string::npos);
  EXPECT_EQ(Body(a), "200 ok\r\nNews of the realm: the harbour is open.\r\n");
  EXPECT_EQ(HttpBodyCode(a.data(), (uint32_t)a.size()), 200);

  // The body's code counts, not the status line's.
  a = Get(Host(), "/check_user.php?username=Ulf&email=a%40b");
  EXPECT_EQ(Body(a), "409");
  EXPECT_EQ(HttpBodyCode(a.data(), (uint32_t)a.size()), 409);

  // nginx sends the ssi file chunked; the body comes back decoded.
  a = Get(Host(), "/chunked/news.txt");
  EXPECT_NE(a.find("Transfer-Encoding: chunked"), std::string::npos);
  EXPECT_EQ(Body(a), big_text);

  a = Get(Host(), "/large.bin");
  EXPECT_EQ(Body(a).size(), 900u * 1024);

  bool ok = true;
  Get(Host(), "/huge.bin", &ok);
  EXPECT_FALSE(ok);
  EXPECT_NE(std::string(HttpError()).find("larger than 1 MB"), std::string::npos) << HttpError();

  // A 404 and a redirect come back as they are.
  a = Get(Host(), "/missing.php");
  EXPECT_EQ(a.compare(0, 12, "HTTP/1.1 404"), 0);
  a = Get(Host(), "/chunked");
  EXPECT_EQ(a.compare(0, 12, "HTTP/1.1 301"), 0);
  EXPECT_NE(a.find("Location:"), std::string::npos);

  // The request nginx saw: Host with port, the path as given.
  std::string log = ReadText(dir->path + "/nginx/access.log");
  EXPECT_NE(log.find("GET /fetch_news.php?username=Ulf%20der%20K"), std::string::npos) << log;
}

TEST_F(HttpNginx, RefusedPathsAndDeadServer) {
  bool ok = true;
  Get(Host(), "/check_user.php?username=Ulf der\r\nX: y", &ok);
  EXPECT_FALSE(ok);
  uint16_t dead = FreePort();
  Get("127.0.0.1:" + std::to_string(dead), "/", &ok);
  EXPECT_FALSE(ok);
  EXPECT_NE(std::string(HttpError()).find("cannot connect"), std::string::npos) << HttpError();
}

class HttpDouble : public ::testing::Test {
 public:
  void SetUp() override {
    ASSERT_FALSE(dir.path.empty());
    EndpointDefaults(&QoESystemPtr->Endpoints);
    MailSetTimeoutMs(kNetTimeoutMs);
  }
  void TearDown() override { MailSetTimeoutMs(0); }
  // Starts the double with one raw answer for every path.
  void Start(const std::string& raw, std::vector<std::string> extra = {}) {
    WriteText(dir.path + "/answer", raw);
    std::vector<std::string> opts = {"--answer", "/", dir.path + "/answer", "--transcript", dir.path + "/t"};
    opts.insert(opts.end(), extra.begin(), extra.end());
    std::string err;
    ASSERT_TRUE(StartNetDouble(dir.path, "http", opts, &peer, &err)) << err;
  }
  std::string Host() { return "127.0.0.1:" + std::to_string(peer.port); }
  PeerDir dir;
  NetDouble peer;
};

TEST_F(HttpDouble, NameCheckCodesAndExactChunks) {
  Start("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\n401\r\n1;x=y\r\n \r\nA\r\nname taken\r\n0\r\n\r\n",
        {"--keep-open"});
  std::string a = Get(Host(), "/check_user.php?username=Ulf&email=u%40x");
  EXPECT_EQ(Body(a), "401 name taken");
  EXPECT_EQ(HttpBodyCode(a.data(), (uint32_t)a.size()), 401);
  EXPECT_EQ(ReadText(dir.path + "/t"), "GET /check_user.php?username=Ulf&email=u%40x HTTP/1.1\n");
}

TEST_F(HttpDouble, EveryNameCheckCode) {
  // One answer per query; the status line always says 200.
  std::vector<std::string> opts = {"--transcript", dir.path + "/t"};
  const char* codes[] = {"200", "202", "400", "401", "403", "409", "500"};
  for (const char* c : codes) {
    WriteText(dir.path + "/a" + c, std::string("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n") + c + "\n");
    for (const char* k : {"/check_user.php?username=U", "/check_user.php?username=P"}) {
      opts.push_back("--answer");
      opts.push_back(k + std::string(c));
      opts.push_back(dir.path + "/a" + c);
    }
  }
  std::string err;
  ASSERT_TRUE(StartNetDouble(dir.path, "http", opts, &peer, &err)) << err;
  for (const char* c : codes) {
    char user[32];
    UrlEncode((std::string("U") + c + " der K\xfchne").c_str(), user, sizeof user);
    std::string a = Get(Host(), std::string("/check_user.php?username=") + user + "&email=u%40x");
    EXPECT_EQ(HttpBodyCode(a.data(), (uint32_t)a.size()), std::atoi(c)) << a;
    a = Get(Host(), std::string("/check_user.php?username=P") + c + "&email=u%40x&password=geheim%21");
    EXPECT_EQ(HttpBodyCode(a.data(), (uint32_t)a.size()), std::atoi(c)) << a;
  }
  EXPECT_NE(ReadText(dir.path + "/t").find("GET /check_user.php?username=U409%20der%20K%FChne&email=u%40x HTTP/1.1"),
            std::string::npos);
}

TEST_F(HttpDouble, BodyShorterThanTheCallersRead) {
  // No Content-Length: the body runs to the close; "200" alone is intact.
  Start("HTTP/1.0 200 OK\r\n\r\n200");
  std::string a = Get(Host(), "/fetch_news.php");
  EXPECT_EQ(Body(a), "200");
  uint32_t n = 0;
  EXPECT_NE(HttpBody(a.data(), (uint32_t)a.size(), &n), nullptr);
  EXPECT_EQ(n, 3u);
}

TEST_F(HttpDouble, NoEmptyLineIsRefused) {
  Start("HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n200 news");
  bool ok = true;
  Get(Host(), "/", &ok);
  EXPECT_FALSE(ok);
  EXPECT_NE(std::string(HttpError()).find("empty line"), std::string::npos) << HttpError();
}

TEST_F(HttpDouble, StallEndsWithinTheTimeOut) {
  Start("", {"--stall"});
  MailSetTimeoutMs(700);
  // Ended by the 0.7 s time-out (without one the request would wait for
  // ever; four minutes tell the two apart on a busy machine).
  bool ok = true;
  EXPECT_TRUE(qoe_test::EndsWithin(
      240000, [&] { Get(Host(), "/", &ok); }, [&] { peer.server.Stop(); }))
      << "the stall did not end by the time-out";
  EXPECT_FALSE(ok);
  EXPECT_NE(std::string(HttpError()).find("time-out"), std::string::npos) << HttpError();
}

TEST_F(HttpDouble, DropMidBodyIsAnError) {
  Start("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n200 " + std::string(96, 'n'), {"--drop-after", "60"});
  bool ok = true;
  Get(Host(), "/", &ok);
  EXPECT_FALSE(ok);
  EXPECT_NE(std::string(HttpError()).find("shorter than its Content-Length"), std::string::npos) << HttpError();
}

TEST_F(HttpDouble, FloodWithoutLengthIsRefused) {
  Start("HTTP/1.1 200 OK\r\n\r\n" + std::string(1200 * 1024, 'f'));
  bool ok = true;
  Get(Host(), "/", &ok);
  EXPECT_FALSE(ok);
  EXPECT_NE(std::string(HttpError()).find("larger than 1 MB"), std::string::npos) << HttpError();
}

TEST(HttpReader, HostileAnswers) {
  struct Case {
    std::string raw;
    bool ok;
    std::string body;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\n\r\n", true, ""},
      {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n200 extra", true, "20"},
      {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\n200", false, ""},
      {"HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n200", false, ""},
      {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999\r\n\r\n200", false, ""},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n20", false, ""},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFF\r\n", false, ""},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\n200XX0\r\n\r\n", false, ""},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\nX-T: 1\r\n\r\n", true, ""},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", false, ""},
      {"ICY 200 OK\r\n\r\n200", false, ""},
      {"HTTP/1.1 2x0 OK\r\n\r\n200", false, ""},
      {"HTTP/1.1 200 OK", false, ""},
  };
  for (const Case& c : cases) {
    uint32_t n = 0;
    char err[200];
    char* a = HttpReadAnswer(c.raw.data(), c.raw.size(), &n, err, sizeof err);
    EXPECT_EQ(a != nullptr, c.ok) << c.raw;
    if (a) EXPECT_EQ(Body(std::string(a, n)), c.body) << c.raw;
    else EXPECT_NE(err[0], 0);
    FreeVec(a);
  }
  EXPECT_EQ(HttpBodyCode("HTTP/1.1 200 OK\r\n\r\n", 19), -1);
  EXPECT_EQ(HttpBodyCode("HTTP/1.1 200 OK\r\n\r\n 200", 23), -1);
  EXPECT_EQ(HttpBodyCode("HTTP/1.1 200 OK", 15), -1);
}

TEST(HttpReader, UrlEncoding) {
  char out[64];
  EXPECT_EQ(UrlEncode("Ulf der K\xfchne&x=1/..", out, sizeof out), 36u);
  EXPECT_STREQ(out, "Ulf%20der%20K%FChne%26x%3D1%2F%2E%2E");
  // Cut at a whole character, always terminated.
  char small[6];
  EXPECT_EQ(UrlEncode("ab&cd", small, sizeof small), 7u);
  EXPECT_STREQ(small, "ab%26");
}

}  // namespace
