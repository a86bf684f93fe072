// Text into a fixed-size field (a record's name, a file's text field): the
// cut the field's size makes is explicit, and the caller learns of it.
#pragma once
#include <cstddef>
#include <cstring>

// Copies text into a field of size bytes (size >= 1): at most size - 1 bytes,
// the rest zero (a null text leaves the field empty). 1 when the whole text
// is in the field, 0 when it was cut at the field's end.
inline int CopyIntoField(char* field, size_t size, const char* text) {
  std::memset(field, 0, size);
  if (!text) return 1;
  size_t n = 0;
  while (n + 1 < size && text[n]) ++n;
  std::memcpy(field, text, n);
  return text[n] == 0;
}
