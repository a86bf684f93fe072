// Shell pieces of the whole-program tests under a virtual X server.
#pragma once
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

// Starts Xvfb with -displayfd, so that tests side by side each get a free
// display, waits for its number (however long a busy machine takes, two
// minutes at most; exit 97 without one) and exports DISPLAY. The server's
// process ID is in $xpid, its messages in xvfb.txt.
#define QOE_XVFB_START_SH                                                                              \
  "rm -f display.txt\n"                                                                                \
  "Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>display.txt 2>xvfb.txt &\n"               \
  "xpid=$!\n"                                                                                          \
  "i=0\n"                                                                                              \
  "until [ -s display.txt ]; do\n"                                                                     \
  "  kill -0 $xpid 2>/dev/null && [ $i -lt 1200 ] || { echo \"no display\" >>xvfb.txt; kill $xpid; exit 97; }\n" \
  "  i=$((i + 1))\n"                                                                                   \
  "  sleep 0.1\n"                                                                                      \
  "done\n"                                                                                             \
  "export DISPLAY=\":$(cat display.txt)\"\n"

namespace qoe_test {

// $1: the program. Runs it on a display of its own (stdout in out.txt,
// stderr in err.txt), ends the server after and exits with its code.
inline constexpr char kXvfbRunScript[] =
    "#!/bin/sh\n"
    "unset SDL_VIDEODRIVER SDL_RENDER_DRIVER\n" QOE_XVFB_START_SH
    "\"$1\" >out.txt 2>err.txt\n"
    "code=$?\n"
    "kill $xpid\n"
    "wait $xpid 2>/dev/null\n"
    "exit $code\n";

// The command that plays run.txt in the program bin, killed after 400 s:
// headless (stdout in out.txt, stderr in err.txt), or with gl under a
// virtual X server of its own through xrun.sh, written here (exit 97: no
// server). env: more settings, "NAME=value " each. Empty when xrun.sh could
// not be written.
inline std::string ProgramRunCommand(const std::string& bin, const std::string& env, bool gl) {
  if (!gl) return "timeout -s KILL 400 env QOE_HEADLESS_SCRIPT=run.txt " + env + bin + " >out.txt 2>err.txt";
  if (!WriteFileBytes("xrun.sh", std::vector<uint8_t>(kXvfbRunScript, kXvfbRunScript + std::strlen(kXvfbRunScript))))
    return "";
  // libGL and the X libraries keep memory to the end; the program's own
  // blocks are counted in its log instead.
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::string asan_options = std::string(asan && *asan ? std::string(asan) + ":" : "") + "detect_leaks=0";
  return "timeout -s KILL 400 env ASAN_OPTIONS=" + asan_options + " SDL_AUDIODRIVER=dummy QOE_SDL_SCRIPT=run.txt " +
         env + "sh xrun.sh " + bin;
}

}  // namespace qoe_test
