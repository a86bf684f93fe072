// The mail header scanner: header values, the Subject's name and the date.
#include <cstddef>
#include <cstdint>

#include "routinen/internetlowlevel/mail.h"
#include "routinen/internetlowlevel/mail_internal.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  char value[256];
  size_t n = MailHeaderValue(text, size, "Date", value, sizeof value);
  uint64_t date;
  ParseMailDate(value, n, &date);
  ParseMailDate(text, size, &date);
  n = MailHeaderValue(text, size, "Subject", value, sizeof value);
  char name[MAIL_NAME_SIZE];
  if (MailNameFromSubject(value, n, name)) {
    MailNameMatches(name, "00001234.email");
    MailNameMatches(name, "I       .email");
  }
  return 0;
}
