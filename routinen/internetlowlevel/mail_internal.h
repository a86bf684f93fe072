// Internals of the mail side of the internet module.
#pragma once
#include <cstddef>
#include <cstdint>

// Field index of EmailNode's date in list type 20 (sort key).
enum : uint32_t { EMAILNODE_DATE_FIELD = 3 };

// A growing AllocVec text block, always terminated; ok turns false for good
// when memory runs out.
struct MailText {
  char* data = nullptr;
  size_t len = 0;
  size_t cap = 0;
  bool ok = true;
};
bool MailTextReserve(MailText* t, size_t more);
void MailTextAppendN(MailText* t, const char* s, size_t n);
void MailTextAppend(MailText* t, const char* s);
void MailTextFree(MailText* t);

// The unfolded value of the first header "name:" (any case) of a mail text,
// leading blanks dropped, cut to out_size - 1; its length (0 when missing).
// Only the header block (up to the first empty line) is searched.
size_t MailHeaderValue(const char* text, size_t size, const char* name, char* out, size_t out_size);
