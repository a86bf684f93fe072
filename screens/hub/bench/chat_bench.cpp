// The chat room's cost per received line: ChatShowReceived with a full log
// (the scroll, the entry, the copy of the shown part to the screen) against
// the baseline of one copy of the shown log area (434 x 192) to the screen,
// in the same run, at depths 8 and 32. Goal: a line under 3 copies, so a
// flood never stalls the game thread.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/display.h"
#include "platform/headless.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gui/pictures.h"
#include "routinen/internetlowlevel/irc.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "screens/hub/chat.h"
#include "tests/support/bench_folder.h"

namespace {

// A headless display in mode 0 or 4 with the tavern picture, the chat's
// font and a log that copies to the screen; from the build's data kit.
struct ChatBench {
  TextFont* font = nullptr;
  ChatLog* log = nullptr;
  uint32_t mode = 99;
};

ChatBench& Bench(uint32_t mode) {
  static ChatBench b;
  static bool folder = false;
  if (!folder) {
    folder = true;
    DebugLogSetStderr(0);
    const std::string dir = qoe_bench::BenchFolder("/tmp", "qoe_chat_bench_");
    if (dir.empty() || chdir(dir.c_str()) != 0) return b;
    const std::string kit = std::string(QOE_BINARY_DIR) + "/datakit";
    for (const char* sub : {"Data", "Gfx", "Fonts", "fonts"})
      if (symlink((kit + "/" + (std::strcmp(sub, "Fonts") ? sub : "fonts")).c_str(), sub) != 0) return b;
  }
  if (b.mode == mode) return b;
  if (b.log) {
    FreeChatLog(b.log);
    CloseFont(b.font);
    CloseElmorPic(59, 0);
    HeadlessCloseDisplay();
    b = ChatBench{};
  }
  if (HeadlessOpenDisplay(mode) != 1 || OpenElmorPic(".\\Data\\Path", 59, 0) == -1) return b;
  WaitTransition();
  b.font = OpenDiskFont(".\\Fonts\\XHelvetica11.fnt");
  b.log = b.font ? NewChatLog(b.font, 1) : nullptr;
  b.mode = mode;
  return b;
}

void BM_CopyShownLog(benchmark::State& state) {
  ChatBench& b = Bench((uint32_t)state.range(0));
  RastPort* screen = ScreenRastPort();
  if (!b.log || !screen) {
    state.SkipWithError("no data kit or display");
    return;
  }
  for (auto _ : state) {
    if (QoeMutex* m = DisplayMutex()) ObtainMutex(m);
    BltBitMapRastPort(b.log->bitmap, 0, 0, screen, kChatShownX, kChatShownY, kChatShownWidth, kChatShownHeight);
    if (QoeMutex* m = DisplayMutex()) ReleaseMutex(m);
    ShowScreenRect(screen, kChatShownX, kChatShownY, kChatShownWidth, kChatShownHeight);
  }
}
BENCHMARK(BM_CopyShownLog)->Arg(0)->Arg(4);

void BM_ReceivedLine(benchmark::State& state) {
  ChatBench& b = Bench((uint32_t)state.range(0));
  if (!b.log || !ScreenRastPort()) {
    state.SkipWithError("no data kit or display");
    return;
  }
  static IRCSession s;
  std::strcpy(s.Channel, "#Quill");
  const std::string line = ":bob!u@host PRIVMSG #Quill :A round of ale for everyone in the tavern, innkeeper!";
  const std::string block = line + '\0';
  uint32_t at = kChatShownLines;  // a full log: every line scrolls
  for (auto _ : state) at = ChatShowReceived(&s, b.log, block.data(), (uint32_t)block.size(), at);
  benchmark::DoNotOptimize(at);
}
BENCHMARK(BM_ReceivedLine)->Arg(0)->Arg(4);

}  // namespace
