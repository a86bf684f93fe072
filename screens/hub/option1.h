// The internet page of the options (screen code 134, picture 134): the mail
// account (POP3 and SMTP servers, user names, passwords, the address for
// turns), the TCP/IP stack, the route of the turns and the IRC panel. The
// choices take effect at once; the typed fields only through OK, PREV or
// NEXT after the servers were tested. NEXT leads to the modem page (1141),
// PREV to the sound page (133); EXIT and OK to the main screen (the sign-up
// below account state 2). docs/options.md.
#pragma once
#include <cstdint>

#include "screens/hub/optionfields.h"

struct ScreenRegion;
struct TextCursor;
struct TextFont;

constexpr uint32_t kInternetFields = 7, kInternetMarks = 8;
// The fields in gadget order ST10..ST16.
enum : uint32_t {
  NETF_POP3_USER, NETF_POP3_PASSWORD, NETF_POP3_HOST, NETF_SMTP_HOST, NETF_EMAIL, NETF_SMTP_USER,
  NETF_SMTP_PASSWORD,
};

// The page's record for one visit.
struct Option1ScreenData {
  uint8_t bits;                        // working NetOptionBits
  uint32_t stack;                      // working TCP/IP stack choice 0..4
  ScreenRegion* region;                // Optionen1.dat
  TextFont* formFont;
  TextCursor* cursor;                  // the edited field's, null none
  int32_t active;                      // edited field 0..6, -1 none
  OptionField fields[kInternetFields]; // 1 and 6 hidden (their real text inside)
  uint8_t typed;                       // a key went into the form
  OptionLamps lamps;
};

// The player's side of the boxes, a seam for tests: answers a yes/no box
// (catalog ID) with 0 for yes, shows a message; null puts the real boxes
// back.
struct Option1Player {
  uint32_t (*ask)(void* user, uint32_t catalog);
  void (*say)(void* user, const char* text);
  void* user;
};
void SetOption1Player(const Option1Player* player);

// The domain test of the address against the POP3 host: 1 passes, 0 asks
// (box 1491), -1 fails silently (an address without "@"). The host's domain
// is the text after its first "." when it has two dots or more, else the
// whole host; the address's the text after its last "@"; it passes when the
// host contains the address's domain and both have the same length.
int32_t MailDomainsMatch(const char* pop3_host, const char* address);
// The INIT file's number after n: n + 1, past 9,999,998 back to 1.
uint32_t NextSignupNumber(uint32_t n);
// Account state 1 with a changed address: the form of prefs field 11 made
// anew with address as the INIT file of the next number, prefs field 11
// naming it and the old file removed, together; then mailed (message 87 when
// that fails or the form could not be saved).
void ResendSignupForm(const char* address);

// Runs the page: 2 (32 below account state 2), 133, 1141, or -1 when it
// cannot start.
int32_t Option1Screen(int32_t entry_code);
void DrawOption1Screen(Option1ScreenData* d);
void DrawOption1Marks(Option1ScreenData* d);
void ActivateOption1Field(Option1ScreenData* d);
// The typed fields into the options after the server test: 1 when taken.
int32_t UpdateOptionenPrefs(Option1ScreenData* d);
// The changed address recorded for the next upload: 1, or 0 when the player
// declined (the field then shows the options' address again).
int32_t ChangeEmailPostfach(Option1ScreenData* d);
// The servers tested with the typed account: 1 when they may be taken over.
int32_t CheckMailServers(Option1ScreenData* d);
