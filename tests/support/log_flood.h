// Finds a flood in a program's log (header-only): a line written more than
// five times in a row, or the log's own note that it left repeats of a line
// out (the log writes five of a run a second and then that note, so a screen
// that logs on every frame leaves notes, not long runs).
#pragma once
#include <sstream>
#include <string>

namespace qoe_test {

// The note the log writes for the repeats it left out.
constexpr char kLogRepeatNote[] = "DebugLog: vorige Zeile noch ";

// Empty when the log has no flood; else what floods: the line, and how.
inline std::string LogFlood(const std::string& log) {
  std::istringstream in(log);
  std::string line, previous;
  size_t run = 0;
  while (std::getline(in, line)) {
    if (line.rfind(kLogRepeatNote, 0) == 0) return "\"" + previous + "\" floods the log (" + line + ")";
    run = line == previous ? run + 1 : 1;
    if (run > 5) return "\"" + line + "\" is written " + std::to_string(run) + " times in a row";
    previous = line;
  }
  return "";
}

}  // namespace qoe_test
