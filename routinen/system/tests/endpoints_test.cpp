#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "routinen/system/sysrecords.h"
#include "tests/support/test_support.h"

TEST(Endpoints, MissingFileIsWrittenWithLoopbackDefaultsAndReadsBackTheSame) {
  EndpointConfig e;
  ASSERT_EQ(LoadEndpoints(&e), 1);
  EXPECT_TRUE(qoe_test::FileExists("Endpoints.cfg"));
  EXPECT_STREQ(e.GameServer, "127.0.0.1:10000");
  EXPECT_STREQ(e.RegistrationMailbox, "anmeldung@localhost");
  EXPECT_STREQ(e.MailDomain, "localhost");
  EXPECT_STREQ(e.SharedMailboxPassword, "faltplanke");
  EXPECT_STREQ(e.WebHost, "127.0.0.1");
  EXPECT_STREQ(e.WebPath, "/");
  EXPECT_STREQ(e.IrcServer, "127.0.0.1:6667");
  EXPECT_EQ(e.MailTls, (uint32_t)TLS_AUTO);
  EXPECT_STREQ(e.TlsAcceptCert, "");
  EXPECT_EQ(e.NetTimeout, 30u);
  EndpointConfig again;
  ASSERT_EQ(LoadEndpoints(&again), 1);
  EXPECT_EQ(std::memcmp(&e, &again, sizeof e), 0);
}

TEST(Endpoints, KeysOverrideDefaultsAndBadLinesAreRefused) {
  std::string text =
      "# comment\r\n\n  WEB_HOST =  news.example:8080 \r\nweb_path=/qoe/\nmail_tls = Required\n"
      "tls_accept_cert = peers/cert.pem\nnet_timeout = 5\n"
      "unknown = 1\nno equals sign\nnet_timeout = 12x\nmail_tls = sometimes\n"
      "game_server = " + std::string(80, 'h') + "\n"
      "irc_server = irc.example:6697";  // last line without a line end
  EndpointConfig e;
  EndpointDefaults(&e);
  EXPECT_EQ(ParseEndpoints(&e, text.data(), (uint32_t)text.size()), 5u);
  EXPECT_STREQ(e.WebHost, "news.example:8080");
  EXPECT_STREQ(e.WebPath, "/qoe/");
  EXPECT_EQ(e.MailTls, (uint32_t)TLS_REQUIRED);
  EXPECT_STREQ(e.TlsAcceptCert, "peers/cert.pem");
  EXPECT_EQ(e.NetTimeout, 5u);
  EXPECT_STREQ(e.GameServer, "127.0.0.1:10000");  // the overlong value kept the default
  EXPECT_STREQ(e.IrcServer, "irc.example:6697");
  ASSERT_TRUE(qoe_test::WriteFileBytes("endpoints.CFG", std::vector<uint8_t>(text.begin(), text.end())));
  EndpointConfig f;
  ASSERT_EQ(LoadEndpoints(&f), 1);
  EXPECT_STREQ(f.WebHost, "news.example:8080");
}
