// Bounded text assembly: printf-style pieces appended to a fixed buffer,
// cut at its end, always terminated (the buffer must be terminated empty or
// hold the text so far, len its length).
#pragma once
#include <cstdarg>
#include <cstdint>
#include <cstdio>

struct TextOut {
  char* out;
  uint32_t size, len;
  void Add(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
    if (!out || len + 1 >= size) return;
    va_list ap;
    va_start(ap, fmt);
    const int n = std::vsnprintf(out + len, size - len, fmt, ap);
    va_end(ap);
    if (n > 0) len += static_cast<uint32_t>(n) < size - len ? static_cast<uint32_t>(n) : size - len - 1;
  }
};
