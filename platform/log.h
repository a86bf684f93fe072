// Debug log: one line per problem, "Name: message", appended to "Quill.dbg"
// in the working directory and written to stderr (the terminal). The file
// keeps the line's bytes (Latin-1 texts); the terminal gets them as UTF-8
// (a Latin-1 letter becomes its UTF-8 form, a well-formed UTF-8 sequence
// passes as it is). Thread-safe. When
// Quill.dbg reaches its limit it is renamed to "Quill.dbg.old" (replacing
// that) and a new one begins: the log never holds more than two files.
//
// A run of identical lines is cut short: within one second (of the virtual
// clock in a headless run) at most kDebugLogRepeatLimit of them are written;
// the rest are counted and one line says how many were left out (written when a different line comes,
// when one of them comes after the second has passed, or at DebugLogFlush
// and the process's end). Lines that differ from the one before are never
// left out.
#pragma once
#include <cstdarg>
#include <cstdint>

// Default size limit of Quill.dbg: 5 MB, so the last 10 MB are kept.
constexpr long kDebugLogFileLimit = 5L << 20;

// Identical consecutive lines written per second.
constexpr uint32_t kDebugLogRepeatLimit = 5;

// printf-style; a missing trailing newline is added.
void DebugLog(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void DebugLogV(const char* fmt, va_list ap);

// Tests: every finished line is also handed to the hook (null removes it).
using DebugLogHook = void (*)(const char* line, void* user);
void DebugLogSetHook(DebugLogHook hook, void* user);
// Tests and tools: 0 silences stderr (the file still gets every line).
void DebugLogSetStderr(int on);
// Tests: the size limit of Quill.dbg in bytes (0 restores the default).
void DebugLogSetFileLimit(long bytes);
// Writes the note of repeats left out, if any (the close; also at exit).
void DebugLogFlush();
// Tests: the clock of the repeat guard in milliseconds (null: monotonic).
void DebugLogSetClock(int64_t (*now_ms)());
