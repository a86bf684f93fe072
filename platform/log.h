// Debug log: one line per problem, "Name: message", written to stderr and
// appended to "Quill.dbg" in the working directory. Thread-safe.
#pragma once
#include <cstdarg>

// printf-style; a missing trailing newline is added.
void DebugLog(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void DebugLogV(const char* fmt, va_list ap);

// Tests: every finished line is also handed to the hook (null removes it).
using DebugLogHook = void (*)(const char* line, void* user);
void DebugLogSetHook(DebugLogHook hook, void* user);
// Tests and tools: 0 silences stderr (the file still gets every line).
void DebugLogSetStderr(int on);
