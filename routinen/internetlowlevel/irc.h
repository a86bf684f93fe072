// IRC client of the tavern chat and the IRC panel. A session has its own
// connection thread: it reads the socket, answers PING, keeps the channel's
// names table, sets the status bits, queues every received line as one
// block under the "IRC Semaphore" and (when asked) wakes the game with an
// app message (WaitEvent 65533) when lines wait, at most one message waiting
// per session until the game takes the lines. The game thread never waits
// on the socket: it queues what to send and takes blocks. Rules:
// docs/internetclients.md.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

struct QoeSemaphore;
struct IrcSessionInternal;

enum : uint16_t {
  IRC_STATUS_CLOSED = 0x02,      // the connection was closed or broke
  IRC_STATUS_TIMEOUT = 0x40,     // the server stopped answering
  IRC_STATUS_LEFT = 0x80,        // somebody left the channel (PART, QUIT, KICK)
  IRC_STATUS_NICK_TAKEN = 0x100, // the nickname belongs to somebody else (433, NickServ)
  IRC_STATUS_JOINED = 0x200,     // somebody joined the channel
  IRC_STATUS_ERROR = 0x1000,     // the server's ERROR, an overlong line, a flood
  IRC_STATUS_FAILED = IRC_STATUS_CLOSED | IRC_STATUS_TIMEOUT | IRC_STATUS_ERROR,
};
enum : uint32_t {
  IRC_MAX_LINE = 512,      // bytes of a line with its CR LF
  IRC_NAME = 80,           // a nickname or channel with its 0 byte
  IRC_MAX_NAMES = 2000,    // entries of the names table
  IRC_MAX_QUEUED = 16384,  // received blocks waiting (at most 8.5 MB); then the reader waits
};
// Kinds of SendIRC.
enum : int32_t { IRC_SEND_CHANNEL = 2, IRC_SEND_NICK = 4, IRC_SEND_PRIVATE = 5 };

// One received block: lines without their CR LF, each followed by a 0 byte;
// length counts every byte. Today one line per block.
struct IRCQueueNode {
  IRCQueueNode* next;
  char* text;
  uint32_t length;
};

struct IRCSession {
  // Set by the connection thread, read and cleared by the game thread.
  std::atomic<uint16_t> Status{0};
  // The block IRCTakeBlock or IRCTakeAll took last (game thread; freed by
  // the next take and by ExitIRC).
  char* Lines = nullptr;
  uint32_t LinesLength = 0;
  // Under Semaphore: the received blocks, oldest first; the channel's names
  // (NameCount entries of IRC_NAME bytes); the own nickname.
  IRCQueueNode* Queue = nullptr;
  uint16_t NameCount = 0;
  char (*Names)[IRC_NAME] = nullptr;
  char Nick[IRC_NAME] = {0};
  char Channel[IRC_NAME] = {0};  // fixed at InitIRC
  // Why the connection failed: written before a failure bit is set.
  char Error[300] = {0};
  std::atomic<int> Socket{-1};   // -1 when not connected
  QoeSemaphore* Semaphore = nullptr;  // "IRC Semaphore"
  IrcSessionInternal* Internal = nullptr;
};

// Connects to server ("host[:port]", port 6667), registers nick and joins
// channel; waits (at most the endpoint file's time-out) until the server
// welcomed the nickname or refused it as taken (IRC_STATUS_NICK_TAKEN; a
// new NICK then completes the log-in and the join). post_events: wake the
// game with app messages (see IRCPostEvents). Returns a new session, null only without
// memory; its Socket is -1 (and Error says why) when it failed.
IRCSession* InitIRC(const char* server, const char* channel, const char* nick, int32_t post_events);
// Says QUIT, stops the thread (within a second) and frees the session with
// every queued block. Null is ignored. A session the panel handed over goes
// back with IRCPanelControl(4), never through ExitIRC.
void ExitIRC(IRCSession* s);
// Queues a request for the connection thread: IRC_SEND_CHANNEL a PRIVMSG of
// text to the channel, IRC_SEND_NICK a NICK to target, IRC_SEND_PRIVATE a
// PRIVMSG of text to the nickname target. A text beginning with "/ME" goes
// as a CTCP ACTION (IrcMakeAction). CR, LF and 0 end a text; texts are cut
// to fit one line. 1 when queued; 0 for a closed session, a bad target or a
// full send queue.
int32_t SendIRC(IRCSession* s, const char* text, const char* target, int32_t kind);
// Under the semaphore: frees the block taken before and takes the oldest
// queued one into Lines / LinesLength. 1 when one was taken (never waits
// on the network). A take that leaves the queue empty ends the wake-up.
int32_t IRCTakeBlock(IRCSession* s);
// What the game does on the session's app message: frees the block taken
// before and takes every queued block, joined into one block (their lines in
// order) in Lines / LinesLength; the wake-up is then over, so lines that come
// later post the next one. 1 when anything was taken. Without the memory to
// join them it takes the oldest block and wakes the game again for the rest.
int32_t IRCTakeAll(IRCSession* s);
// Copies the names table under the semaphore: at most max names into out;
// returns how many.
uint32_t IRCCopyNames(IRCSession* s, char (*out)[IRC_NAME], uint32_t max);
// Turns on or off the app messages: while on, an app message is posted
// whenever blocks wait and none is waiting already (on: one at once for the
// blocks already waiting). A full session queue holds the connection thread
// back (it stops reading the socket) until the game takes lines; no line is
// dropped.
void IRCPostEvents(IRCSession* s, int32_t on);

// ---- Readers ------------------------------------------------------------------------------

// One IRC line split up: optional prefix (without ':'), its nick (up to '!'),
// the command and up to 15 parameters (the trailing one without ':').
struct IrcMessage {
  const char* prefix;
  size_t prefix_len;
  size_t nick_len;  // of prefix, up to '!' or '@'
  const char* command;
  size_t command_len;
  const char* param[15];
  size_t param_len[15];
  uint32_t count;
};
// 1 when line (length bytes, no CR LF) is a well-formed message.
int32_t IrcParseLine(const char* line, size_t length, IrcMessage* m);
// The text of a channel message in a received line: a PRIVMSG to exactly
// channel (any letter case, whole name), its sender's nick and text (cut at
// CR); a CTCP ACTION loses its first 8 bytes and its last. 1 when it was one.
int32_t IrcChannelText(const char* channel, const char* line, size_t length, char* nick, size_t nick_size,
                       char* text, size_t text_size);
// The CTCP ACTION of a typed "/ME" line: " ACTION %s " of the text after
// "/ME", its first and last byte replaced by byte 1. Returns its length.
size_t IrcMakeAction(const char* typed, char* out, size_t out_size);

// ---- The IRC panel --------------------------------------------------------------------

// Started by the shell when NetOptionBits 16 is set: the panel's thread keeps
// one connection to the endpoint file's IRC server and channel under the own
// player's name, drains its blocks (it shows nothing yet) and reconnects
// after a failure. Stop ends it and its connection.
void StartIrcPanel();
void StopIrcPanel();
// 2 pauses the panel (its blocks wait), 1 resumes it, 3 hands its connection
// to the caller (returned; null without a panel; waits for a connection
// still being made, at most the time-out) with app messages on, 4 takes it
// back. Returns the session for 3, else null.
IRCSession* IRCPanelControl(int32_t mode);
