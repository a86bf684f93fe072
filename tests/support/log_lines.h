// Collects the program's log lines while a test runs (header-only; the test
// program links the platform layer anyway).
#pragma once
#include <string>
#include <vector>

#include "platform/log.h"

namespace qoe_test {

struct LogLines {
  std::vector<std::string> lines;
  LogLines() {
    DebugLogSetHook([](const char* line, void* user) { static_cast<LogLines*>(user)->lines.push_back(line); },
                    this);
  }
  ~LogLines() { DebugLogSetHook(nullptr, nullptr); }
  LogLines(const LogLines&) = delete;
  LogLines& operator=(const LogLines&) = delete;
  // How many lines contain part.
  int Count(const std::string& part) const {
    int n = 0;
    for (const auto& l : lines) n += l.find(part) != std::string::npos;
    return n;
  }
  bool Has(const std::string& part) const { return Count(part) > 0; }
};

}  // namespace qoe_test
