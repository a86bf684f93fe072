// The letter window of the tavern: the list of received letters (and the own
// copies), the reader, the editor, and the letters sent and fetched over the
// game server. The diplomacy screen opens the same editor over its own screen
// with a record it fills itself. Rules, sort orders and files: docs/letters.md.
#pragma once
#include <cstdint>

struct ScreenRegion;
struct TextFont;
struct TextCursor;
struct QoERequester;
struct ListHeader;
struct SmalListEntry;
struct BitMap;

// The editor's text: at most this many characters, at most that many lines.
constexpr uint32_t kMailTextMax = 10000;
constexpr uint32_t kMailTextLines = 50;
// Recipient ID of a letter to all lords.
constexpr uint32_t kMailToAll = 0xFFFFFFFF;
// Letters kept in .\Data\MailIn when the window closes (the newest by date).
constexpr uint32_t kMailKept = 51;

// One opening of the letter window (or one call of the editor by another
// screen). A caller of TaverneOfflineWriteMail fills region, headingFont,
// textFont, the pens, headerShown, recipientId and recipientName; the
// layout's area table gives, in order: the list or text box, the header
// line, the first and the second info line, the slider. Game thread only.
struct TaverneMailData {
  uint32_t headerShown;         // 1: the header line names the window's state
  uint16_t sortState;           // key field of the list's order: 0 date, 3 subject, 4 sender
  uint16_t selected;            // the marked line of the list, kNoEntry none
  uint8_t backPen;              // the boxes' background (35 in the tavern)
  uint8_t textPen;              // their text (7)
  // The editor.
  char* text;                   // kMailTextMax + 1 bytes of text, then as many widths
  uint8_t* widths;              // inside text's block
  uint32_t recipientId;         // kMailToAll for a letter to all lords
  const char* recipientName;    // given by a caller, null none
  TextCursor* cursor;
  // The window.
  char* lines;                  // the list's display lines (80 bytes each)
  ScreenRegion* region;
  TextFont* headingFont;        // the header and the title bar (fonts\ElmorC1.fnt)
  TextFont* textFont;           // lists and texts (fonts\TopaZ.fnt, fonts\Xen8.fnt)
  QoERequester* listReq;
  QoERequester* textReq;        // the reader's or the editor's box
  ListHeader* list;             // the letters (type 21), null outside the window
  SmalListEntry* current;       // the letter B000 reads and B001 answers, null none
  BitMap* background;           // the screen under the window
  BitMap* titleBackground;      // the tavern window's bar without its name, null elsewhere
};

// The mail window over the tavern at (66, 68); returns 0.
int32_t TaverneOfflineChat();
// The window's list and its buttons (TaverneOfflineChatInit first): 1 when
// the window is to close, 0 when its set-up failed.
int32_t TaverneOfflineChatInit(TaverneMailData* d);
int32_t TaverneOfflineChatHandleEvents(TaverneMailData* d);
// Shows one letter until the player closes it; 0 when its box cannot be made.
int32_t TaverneOfflineViewMail(TaverneMailData* d, SmalListEntry* node);
// The editor: a new letter to d->recipientId, or with a node the answer to
// that letter (its subject, to all lords). 0 only when the text box cannot
// be made or rebuilt.
int32_t TaverneOfflineWriteMail(TaverneMailData* d, SmalListEntry* answered);
// rescan 1: the list anew from .\Data\MailIn, newest first; 0: the next sort
// order (date, subject, sender). Rebuilds the list box; the list, or null on
// failure.
ListHeader* TaverneOfflineBuildNewReq(TaverneMailData* d, uint32_t rescan);
// Sends the letters of .\Data\MailOut over the game server (asked first);
// 1 when the last letter tried was sent. A sent letter leaves MailOut.
int32_t SendBotschaftPerTCPIP(TaverneMailData* d);
// Fetches the letters waiting on the game server into .\Data\MailIn (asked
// first); 1 when they were fetched.
int32_t HoleBotschaftPerTCPIP();

// The header line: header text index (0 received letters, 4 writing, 5
// reading) when the header is shown, on the background pen.
void DrawMailHeader(TaverneMailData* d, uint32_t index);
// True when the text holds a character other than a blank.
int32_t MailSubjectFilled(const char* text);
// The editor's box laid out anew for the text and scrolled so that line is
// its top row (up 0) or its bottom row (up 1); 0 when it cannot be rebuilt.
int32_t RebuildWriteMailRequester(TaverneMailData* d, uint32_t line, uint32_t up);
// Before a key that adds to the text: makes room in the box for the line it
// may open; 0 when the box cannot be rebuilt.
int32_t PreUpdateRequester(TaverneMailData* d, int32_t key);

// The letter window's files, for the tests and the tavern.
extern const char* const kMailWindowLayout;   // ".\Data\Screendat\TaverneOffchatReq.dat"
constexpr uint32_t kMailWindowLayoutMask = 519;
constexpr uint32_t kMailWindowPicture = 45;
constexpr int32_t kMailWindowX = 66, kMailWindowY = 68;
constexpr uint32_t kMailWindowWidth = 516, kMailWindowHeight = 390;
