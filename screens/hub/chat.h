// The tavern's chat room: a window over the tavern picture in which the
// lords present in the game's IRC channel talk. A scrolling log of the
// channel's lines (an off-screen bitmap whose top 16 lines show), an input
// box of 400 characters over 5 lines, the participant list, the join and
// leave lines, "/ME" actions and a nickname that someone else registered.
// The IRC client and its connection thread are routinen/internetlowlevel/
// irc.h; the rules of the room are in docs/tavern.md.
#pragma once
#include <cstdint>

struct IRCSession;
struct BitMap;
struct RastPort;
struct TextFont;

constexpr uint32_t kChatLogWidth = 448, kChatLogHeight = 324;   // the log bitmap
constexpr uint32_t kChatShownWidth = 434, kChatShownHeight = 192;  // its part on the screen
constexpr int32_t kChatShownX = 101, kChatShownY = 106;
constexpr uint32_t kChatLineHeight = 12, kChatShownLines = 16;
constexpr int32_t kChatTextX = 26;            // an entry's text column
constexpr uint32_t kChatWrapWidth = 407;       // its wrap width
constexpr uint32_t kChatEntryLines = 5;        // lines of one entry at most
constexpr uint32_t kChatInputMax = 400;        // characters of the input
constexpr int32_t kChatInputX1 = 83, kChatInputY1 = 374, kChatInputX2 = 491, kChatInputY2 = 433;
constexpr uint32_t kChatPenLog = 35, kChatPenReceived = 146, kChatPenOwn = 7;
constexpr uint32_t kChatSfx = 14;

// The log: its bitmap, a RastPort drawing into it in the chat's font, and
// whether ChatPrintLine copies it to the screen (0 for tests and benchmarks
// that look at the bitmap alone).
struct ChatLog {
  BitMap* bitmap;
  RastPort* rp;
  uint32_t toScreen;
};
// A cleared log (pen 35) in the display's depth with font; null when the
// bitmap or its RastPort cannot be had. FreeChatLog frees both (null ignored).
ChatLog* NewChatLog(TextFont* font, uint32_t to_screen);
void FreeChatLog(ChatLog* log);

// The chat room on channel under nickname: 1 when it ran, 0 when it could
// not be set up or the registration failed.
int32_t TaverneOnlineChat(const char* channel, const char* nickname);
// WaitEvent (flags); on an app message (and on a tick, for a wake-up that a
// box in between took) every received block waiting is taken into s->Lines
// as one block (IRCTakeAll; the last one freed). Returns the event.
int32_t TaverneWaitEventIRC(IRCSession* s, uint32_t flags);
// Prints the block's lines (length bytes, each ended by a 0 byte) that the
// room shows: the channel's messages and actions (sender and text), who
// enters and who leaves the channel; other lines (notices, private messages,
// server lines, lines beginning "Time") are not shown. Returns the next log
// line.
uint32_t ChatShowReceived(IRCSession* s, ChatLog* log, const char* block, uint32_t length, uint32_t line);
// Writes one entry at log line `line`: the label at x 0 and the text
// word-wrapped behind it (from x 26 at the least; a label wider than a
// quarter of the log on a line of its own), as many lines as it wraps to (at
// most 5); for a null text the picture of the input box (input_lines + 1
// lines of it). A log that is full scrolls up first. Plays sound 14 and
// shows the log. Returns the next line (at most 16).
uint32_t ChatPrintLine(ChatLog* log, const char* label, const char* text, uint32_t line, uint32_t input_lines,
                       uint32_t pen);
// The cursor's x offset behind a text of the width table (0-terminated):
// the widths added up, restarting at 0 where the sum would pass width.
uint32_t ChatCursorEndX(const uint8_t* widths, uint32_t width);
// The nickname and error bits of a connected session: a registered nickname
// asks for the password (sent to NickServ) or a new nickname; a failed
// connection shows its error. 0 when the chat must end.
int32_t NickServIdentify(IRCSession* s);
// Tab in the input: completes the word behind the last blank from the first
// name of names (count entries of 80 bytes) that begins with it. Writes the
// characters to add into out (size bytes); their count.
uint32_t ChatCompleteNick(const char* typed, const char (*names)[80], uint32_t count, char* out, uint32_t size);

// Test seam: called on the game thread before each wait of the chat's loop
// with the session (null: none). Tests time a second client by it.
void SetChatLoopHook(void (*hook)(IRCSession* s, void* arg), void* arg);
// Test seam: called with each entry ChatPrintLine writes (text null for an
// own entry).
void SetChatPrintHook(void (*hook)(const char* label, const char* text, void* arg), void* arg);
