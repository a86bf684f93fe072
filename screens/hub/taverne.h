// The tavern (screen code 59, entered from the town view): the hub of the
// game's social side. From it the player reaches the chat room and the
// letters, the rune-stone game and the slide show, goes on- or offline,
// enters the update store (61) or goes back to the town (39). Rules:
// docs/tavern.md.
#pragma once
#include <cstdint>

// What the tavern calls, replaceable by tests (null members: the real ones),
// and how long it waits for its entrance sound.
struct TaverneHooks {
  int32_t (*onlineChat)(const char* channel, const char* nickname);  // TaverneOnlineChat
  int32_t (*offlineChat)();                                          // TaverneOfflineChat
  int32_t (*runeStone)();                                            // RuneStoneScreen
  int32_t (*slideShow)(uint32_t with_texts);                          // SlideShow
  int32_t (*sfxIdle)(uint32_t id);                                    // IsSfxPlaying: 0 while it plays
  uint32_t sfxWaitMs;                                                 // 0: kTaverneSfxWaitMs
};
constexpr uint32_t kTaverneSfxWaitMs = 10000;
// Sets the hooks (copied); null puts the real ones back.
void SetTaverneHooks(const TaverneHooks* hooks);

// The screen: 39, 61, the slide show's non-zero result, or -1 when it cannot
// start.
int32_t TaverneScreen(int32_t entry_code);
// Opens sound 4 and plays it once, opens sounds 2, 3 and 5, waits for sound
// 4 to end (at most the hooks' time, then it is stopped) and releases it. 0
// when sound 4 or one of the others cannot be opened (those opened are
// released), 1 otherwise.
int32_t LoadTaverneScreenSfx();
// Releases sounds 5, 3 and 2.
void CloseTaverneScreenSfx();
// The network gadget's title for the online bit: catalog 13 online, 12 offline.
uint32_t TaverneNetworkTitle();
