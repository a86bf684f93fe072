#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "tests/support/test_support.h"

namespace {

// A mail file as GetEMail stores it: server lines, our headers, the body.
std::string MailText(const char* date, const std::vector<uint8_t>& payload, const char* name = "00001234") {
  uint32_t size = 0;
  char* m = ComposeTurnMail("Gunter Kunz", "a@b.test", "c@d.test", name, payload.data(),
                            (uint32_t)payload.size(), &size);
  std::string s(m, size);
  FreeVec(m);
  size_t d = s.find("Date: ");
  size_t e = s.find('\n', d);
  if (date) s.replace(d, e - d, std::string("Date: ") + date);
  else s.erase(d, e - d + 1);
  return "Return-path: <a@b.test>\r\nReceived: from x by y\r\n" + s;
}

void Put(const std::string& path, const std::string& text) {
  ASSERT_TRUE(qoe_test::WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end())));
}

std::vector<EmailNode*> Nodes(ListHeader* l) {
  std::vector<EmailNode*> v;
  ListNode* n = l->first;
  for (uint32_t i = 0; i < l->count; i++, n = n->next) v.push_back(reinterpret_cast<EmailNode*>(n));
  return v;
}

}  // namespace

TEST(MailNames, NamesSubjectsAndPatterns) {
  char n[MAIL_NAME_SIZE];
  TurnMailName(1234, n);
  EXPECT_STREQ(n, "00001234");
  SignupMailName(765, n);
  EXPECT_STREQ(n, "I0000765");
  const char subj[] = "Quill of Elmor 00001234  \r";
  ASSERT_EQ(MailNameFromSubject(subj, sizeof subj - 1, n), 1);
  EXPECT_STREQ(n, "00001234");
  EXPECT_EQ(MailNameFromSubject("   ", 3, n), 0);
  EXPECT_EQ(MailNameFromSubject("a 0123456789abcdef", 18, n), 0);  // too long for a name

  EXPECT_EQ(MailNameMatches("00001234", "00001234.email"), 1);
  EXPECT_EQ(MailNameMatches("00001234", "00001234"), 1);
  EXPECT_EQ(MailNameMatches("00001235", "00001234"), 0);
  EXPECT_EQ(MailNameMatches("I0000765", "I       .email"), 1);
  EXPECT_EQ(MailNameMatches("00000765", "I       .email"), 0);
  EXPECT_EQ(MailNameMatches("XYZ00001", "XYZ"), 0);  // the log-in test's pattern matches nothing
  EXPECT_EQ(MailNameMatches("I000076", "I       "), 0);

  EXPECT_EQ(MailFileMatches("00001234.email", "00001234.email"), 1);
  EXPECT_EQ(MailFileMatches("00001234_2.email", "00001234.email"), 1);
  EXPECT_EQ(MailFileMatches("00001234_17.EMAIL", "00001234.email"), 1);
  EXPECT_EQ(MailFileMatches("00001234_.email", "00001234.email"), 0);
  EXPECT_EQ(MailFileMatches("00001234_x.email", "00001234.email"), 0);
  EXPECT_EQ(MailFileMatches("000012345.email", "00001234.email"), 0);
  EXPECT_EQ(MailFileMatches("00001234.qoe", "00001234.email"), 0);
  EXPECT_EQ(MailFileMatches("I1234567_3.email", "I       .email"), 1);
  EXPECT_EQ(MailFileMatches("GameChunk.qoe", "I       .email"), 0);

  mkdir("In", 0755);
  char path[140];
  ASSERT_EQ(MakeMailFileName(".\\In\\", "00001234", path, sizeof path), 1);
  EXPECT_STREQ(path, ".\\In\\00001234.email");
  Put("In/00001234.email", "x");
  ASSERT_EQ(MakeMailFileName(".\\in", "00001234", path, sizeof path), 1);
  EXPECT_STREQ(path, ".\\in\\00001234_2.email");
  Put("In/00001234_2.email", "x");
  ASSERT_EQ(MakeMailFileName(".\\In", "00001234", path, sizeof path), 1);
  EXPECT_STREQ(path, ".\\In\\00001234_3.email");
  EXPECT_EQ(MakeMailFileName(".\\In", "00001234", path, 10), 0);
}

TEST(MailDates, ScaleOnBothSidesOfTheWrap) {
  // 2033-08-17 06:28:16 UTC is 2^32 on the scale: the 32-bit value wraps there.
  EXPECT_EQ(MailDateScale(2033, 7, 17, 6, 28, 15), 0xFFFFFFFFull);
  EXPECT_EQ(MailDateScale(2033, 7, 17, 6, 28, 16), 0x100000000ull);
  uint64_t d = 0;
  ASSERT_EQ(ParseMailDate("Wed, 17 Aug 2033 08:28:16 +0200", 31, &d), 1);
  EXPECT_EQ(d, 0x100000000ull);
  ASSERT_EQ(ParseMailDate("17 Aug 2033 01:28:15 -0500 (EST)", 32, &d), 1);
  EXPECT_EQ(d, 0xFFFFFFFFull);
  ASSERT_EQ(ParseMailDate("Sun, 6 Dec 2026 20:57 GMT", 25, &d), 1);
  EXPECT_EQ(d, MailDateScale(2026, 11, 6, 20, 57, 0));
  ASSERT_EQ(ParseMailDate("Thu, 31 Dec 2026 23:30:00 -0100", 31, &d), 1);  // next year in UTC
  EXPECT_EQ(d, MailDateScale(2027, 0, 1, 0, 30, 0));
  for (const char* bad : {"", "Sun, 32 Dec 2026 10:00:00", "6 Foo 2026 10:00", "6 Dec 2026 25:00", "6 Dec 2026",
                          "6 Dec 2026 10:00 +2", "Sun,"})
    EXPECT_EQ(ParseMailDate(bad, std::strlen(bad), &d), 0) << bad;

  // Prefs field 31 keeps 32 bits: the comparison sees across the wrap.
  const uint64_t before = 0xFFFFFF00ull, after = 0x100000100ull;
  EXPECT_EQ(MailDateBefore(before, (uint32_t)after), 1);
  EXPECT_EQ(MailDateBefore(after, (uint32_t)before), 0);
  EXPECT_EQ(MailDateBefore(MailDateScale(2026, 0, 1, 0, 0, 0), (uint32_t)MailDateScale(2026, 0, 2, 0, 0, 0)), 1);
  EXPECT_EQ(MailDateBefore(MailDateScale(2026, 0, 2, 0, 0, 0), (uint32_t)MailDateScale(2026, 0, 2, 0, 0, 0)), 0);
  // Today is already above 2^31 on the scale.
  EXPECT_GT(MailDateNow(), 0x80000000ull);
  char text[64];
  FormatMailDate(text, sizeof text);
  ASSERT_EQ(ParseMailDate(text, std::strlen(text), &d), 1);
  EXPECT_LE(MailDateNow() - d, 2u);
}

TEST(MailFiles, ScanListsDecodableMatchingMailsWithTheirDates) {
  mkdir("POP3In", 0755);
  std::vector<uint8_t> pool(300, 7);
  Put("POP3In/00001234.email", MailText("Mon, 07 Dec 2025 10:00:00 +0000", pool));
  Put("POP3In/00001234_2.email", MailText("Mon, 07 Dec 2025 18:00:00 +0000", pool));  // same day
  Put("POP3In/00001234_3.email", MailText("Tue, 01 Jan 2019 09:00:00 +0000", pool));  // old
  Put("POP3In/00001234_4.email", MailText(nullptr, pool));                               // undated
  std::string broken = MailText("Tue, 08 Dec 2025 10:00:00 +0000", pool);
  broken[broken.size() - 30] ^= 2;
  Put("POP3In/00001234_5.email", broken);                                                 // undecodable
  Put("POP3In/00009999.email", MailText("Mon, 07 Dec 2025 10:00:00 +0000", pool, "00009999"));
  Put("POP3In/GameChunk.qoe", "pool");

  ListHeader* l = CreateList(LIST_TURN_MAILS);
  uint64_t now = MailDateNow();
  EXPECT_EQ(ScanEmails2List(l, ".\\Data\\..\\POP3In", "00001234.email"), 4u);
  ASSERT_EQ(l->count, 4u);
  std::vector<uint64_t> dates;
  for (EmailNode* n : Nodes(l)) {
    EXPECT_STREQ(n->folder, ".\\Data\\..\\POP3In");
    EXPECT_EQ(n->size, qoe_test::ReadFileBytes(std::string("POP3In/") + (std::strrchr(n->path, 0x5c) + 1)).size());
    if (std::strstr(n->path, "_4.email")) {
      EXPECT_LE(n->date - now, 2u);  // undated: now
    }
    if (std::strstr(n->path, "_3.email")) {
      EXPECT_EQ(n->date, MailDateScale(2019, 0, 1, 9, 0, 0));
    }
  }
  // The sign-up keeps only the newest mail; the others go with their files.
  EXPECT_EQ(DeleteNotNeededNodes(l), 1u);
  EXPECT_NE(std::strstr(Nodes(l)[0]->path, "_4.email"), nullptr);
  EXPECT_TRUE(qoe_test::FileExists("POP3In/00001234_4.email"));
  EXPECT_FALSE(qoe_test::FileExists("POP3In/00001234.email"));
  EXPECT_FALSE(qoe_test::FileExists("POP3In/00001234_2.email"));
  EXPECT_FALSE(qoe_test::FileExists("POP3In/00001234_3.email"));
  EXPECT_TRUE(qoe_test::FileExists("POP3In/00001234_5.email"));  // never listed, left alone
  EXPECT_TRUE(qoe_test::FileExists("POP3In/00009999.email"));
  DeleteList(l, 1);

  // The sign-up template: an I and seven blanks.
  Put("POP3In/I0000765.email", MailText("Mon, 07 Dec 2025 10:00:00 +0000", pool, "I0000765"));
  l = CreateList(LIST_TURN_MAILS);
  EXPECT_EQ(ScanEmails2List(l, ".\\POP3In", "I       .email"), 1u);
  EXPECT_EQ(ScanEmails2List(l, ".\\Missing", "I       .email"), 0u);
  DeleteList(l, 1);
}

TEST(MailFiles, ComposedMailCarriesNameDateAndBody) {
  std::vector<uint8_t> pool = {0, 1, 2, 250, 251};
  uint32_t size = 0;
  char* m = ComposeTurnMail("J\xfcrgen M\xfcller", "j@x.test", "reg@y.test", "I0000765", pool.data(), 5, &size);
  ASSERT_NE(m, nullptr);
  std::string s(m, size);
  FreeVec(m);
  EXPECT_NE(s.find("\nSubject: Quill of Elmor I0000765\n"), std::string::npos);
  EXPECT_NE(s.find("From: =?ISO-8859-1?Q?J=FCrgen_M=FCller?= <j@x.test>\n"), std::string::npos);
  EXPECT_EQ(s.rfind("Date: ", 0), 0u);
  for (char c : s) EXPECT_LT((unsigned char)c, 128u);
  uint8_t* back = nullptr;
  uint32_t len = 0;
  ASSERT_EQ(VDecode(s.data(), s.size(), &back, &len), VDECODE_OK);
  EXPECT_EQ(std::vector<uint8_t>(back, back + len), pool);
  FreeVec(back);
}
