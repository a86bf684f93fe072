// Inside the sign-up screen: its record for one visit, the form's field
// table, and the companions the screen and its tests call (the checks of
// name and addresses, the forum check, the provider presets, the account
// questions, the shared game mailbox, the answer reader). The files and
// the tables are described in docs/signup.md.
#pragma once
#include <cstddef>
#include <cstdint>

#include "routinen/internetlowlevel/mail.h"

struct BitMap;
struct ChiefMessageBox;
struct ListHeader;
struct TextCursor;
struct TextFont;

// The INIT chunk (784 bytes with its header): offsets from its start.
enum : uint32_t {
  INIT_CHUNK_SIZE = 784,
  INIT_PAYLOAD = 772,
  INIT_FIRST_NAME = 12,
  INIT_LAST_NAME = 52,
  INIT_STREET = 92,
  INIT_POSTCODE = 172,
  INIT_TOWN = 182,
  INIT_COUNTRY = 222,
  INIT_PHONE = 262,
  INIT_PLAYER_NAME = 282,
  INIT_EMAIL = 322,
  INIT_REMARK = 366,
  INIT_SENT_TIME = 692,
  INIT_FORM_VERSION = 696,
  INIT_CONFIRM_EMAIL = 698,
  INIT_MOBILE = 738,
  INIT_MAC = 778,
};

constexpr uint32_t kSignupFields = 17;       // rows 0..16, row 0 empty
constexpr uint32_t kSignupNumberLimit = 9999999;  // numbers stay below it
constexpr uint32_t kSignupWidthBlock = 870;  // the width tables of all fields

// One row of the form: the label, the field's limits and its box.
struct SignupFieldDef {
  uint16_t labelX, labelY, labelWidth, labelHeight;
  const char* label;  // catalog, set when the screen opens
  uint16_t flag;      // 1 on every field of the form
  uint16_t zero;
  uint16_t maxLength;  // the field's size in the chunk
  uint16_t wrapWidth;  // pixels
  uint16_t lines;
  uint16_t boxX, boxY, boxWidth, boxHeight;
  uint16_t textX, textY;
  const char* help;  // catalog
  uint16_t offset;   // of the text in the INIT chunk
  uint16_t labelId, helpId;
};
// The 17 rows with their catalog IDs (texts not yet set).
const SignupFieldDef* SignupFieldTable();
// The field after field in Tab and Enter order (9 to 14, 16 to 1; the
// reserved rows 10 to 13 are skipped).
uint32_t NextSignupField(uint32_t field);

// The screen's record for one visit (allocated cleared).
struct SignupScreenData {
  uint16_t activeField;
  uint16_t reserved;
  uint32_t playerNumber;
  char* fieldText[kSignupFields];  // into chunk
  BitMap* savedBackground;
  TextCursor* cursor;
  uint8_t* widths;                 // kSignupWidthBlock bytes
  ChiefMessageBox* help;           // the open help or progress box
  MailJob job;
  ListHeader* mails;
  TextFont* formFont;
  uint8_t* chunk;                  // the INIT chunk, host order
  SignupFieldDef fields[kSignupFields];
  // The state of the screen: 0 nothing sent, 1 form sent, 2 installed.
  uint32_t state;
  int32_t next;                    // the code the screen returns
  uint32_t sharedMailbox;          // N, 1..51
  // Per registration: the dialogue's flags and the notes of the SMTP step.
  uint8_t again, popAsked, authAsked;
  uint8_t presetsApplied, smtpHostSetNow;
  uint8_t sentThisVisit;           // a registration went out in this visit
  uint8_t drawn;                   // 1: the screen is shown (fields redraw)
  // Test seam: the time of MakePlayerNumber (null: the clock).
  uint32_t (*now)();
};

// The player's side of the boxes, a seam for tests: input answers a
// question (prompt: its catalog ID) into buffer and returns 1, or 0 for
// cancel; message answers a box (mode 0 OK, 1 yes/no) with 0 for OK or yes.
struct SignupPlayer {
  int32_t (*input)(void* user, uint32_t prompt, char* buffer, uint32_t size);
  uint32_t (*message)(void* user, uint32_t mode, const char* text);
  void* user;
};
// Null puts the real boxes back (the module's state record's reset).
// A text box (TextBox) reaches message with mode 2.
void SetSignupPlayer(const SignupPlayer* player);
// Test seam: told of the screen's record when a visit of the screen ends,
// before it is freed (null: nobody).
void SetSignupVisitHook(void (*hook)(const SignupScreenData* d));
void SignupVisitEnds(const SignupScreenData* d);
// The boxes of the sign-up: a message (ChiefMessage at 168, 180) and an
// input (EingabeBox at 168, 180 with the help text), through the seam.
uint32_t SignupSay(uint32_t mode, const char* text);
void SignupText(const char* text);
int32_t SignupAsk(char* buffer, uint32_t size, uint32_t prompt, uint32_t help, uint32_t filter);

// Allocates the record's parts without a display: the chunk from
// .\Data\I%7.7u.qoe of prefs field 11 (or a fresh one), the field table with
// its catalog texts and the text pointers. 0 when memory is short.
SignupScreenData* NewSignupData();
void FreeSignupData(SignupScreenData* d);
// A fresh cleared INIT chunk with its header (FreeChunk).
uint8_t* NewInitChunk();
// The INIT chunk of .\Data\I%7.7u.qoe of number, or null (missing or
// unreadable: logged).
uint8_t* LoadInitChunk(uint32_t number);
// .\Data\I%7.7u.qoe of number into path (at least 24 bytes).
void SignupFilePath(uint32_t number, char* path, size_t size);

// The form chunk saved as the file of number, prefs field 11 set to number
// with the given text fields of the prefs, and the file of old_number
// removed (when it is another, real number): one FileSet, so a kill or a
// failure leaves either all of it or none. 1, or 0 (logged; nothing changed).
int32_t CommitSignupForm(const uint8_t* chunk, uint32_t number, uint32_t old_number, const uint32_t* text_fields,
                         const char* const* texts, uint32_t text_count);

// Sets d->playerNumber from the chunk's fields and the time (below
// kSignupNumberLimit; 0 is possible and refused by the caller).
void MakePlayerNumber(SignupScreenData* d);
// The number for a given time and chunk (the steps of MakePlayerNumber).
uint32_t PlayerNumberOf(const uint8_t* chunk, uint32_t now);

// The local checks of the form: 1 when it passes, else 0 after one message.
int32_t CheckPlayername(SignupScreenData* d, int32_t mail_checks);
// What CheckPlayername would say (the message text, or null when the form
// passes); buffer holds built texts.
const char* SignupCheckMessage(const uint8_t* chunk, int32_t mail_checks, char* buffer, size_t size);
// The player left field 9: offers the shared game mailbox.
void OfferTemporaryAddress(SignupScreenData* d);
// The player name against the web forum: 1 when it may be used.
int32_t CheckPlayernameInForum(SignupScreenData* d);
// The reply code of a forum answer (the number at the start of the body),
// -1 for no answer or a body without a number.
int32_t ForumReplyCode(const char* answer, uint32_t size);
// The known providers' servers for the address: mode 1 the SMTP host, 0 the
// POP3 host (and for some the user and the placeholder password). 1 when a
// provider matched.
enum : int32_t { PRESETS_POP3 = 0, PRESETS_SMTP = 1 };
int32_t SetMailProviderPresets(const char* address, int32_t mode);
// The table behind it (12 rows), for the tests and docs.
struct MailProviderPreset {
  const char* markers[2];  // the second may be null
  const char* smtpHost;
  const char* pop3Host;
  uint8_t writesUser;      // POP3 mode also writes user and placeholder password
};
const MailProviderPreset* MailProviderTable(uint32_t* count);

// The questions of the account (EingabeBox at 168, 180): 1 when every
// answer was given, else 0; an answer is stored with at most 39 bytes.
int32_t AskSmtpServer();
int32_t AskPopBeforeSmtpLogin();
// Message 1307, then the SMTP-AUTH user and password (prefilled from the
// POP3 account while the SMTP ones are placeholders).
int32_t AskSmtpAuthLogin();

// The shared game mailbox n as the account: the six account fields of the
// options. The address is written into address (at least 40 bytes; with
// kSharedAddressSize the whole address fits: the endpoints' password and
// domain of up to 79 characters each, the number and the '@').
constexpr size_t kSharedAddressSize = 2 * 80 + 12;
void SharedMailboxAddress(uint32_t n, char* address, size_t size);
void UseSharedMailbox(uint32_t n);
// The field 9 of the form set to the shared mailbox n (the account too) and
// redrawn; the options' e-mail address follows field 9.
void SwitchFormToSharedMailbox(SignupScreenData* d, uint32_t n);

// The answer file (the decoded answer mail): whether it holds an EROR chunk
// and its text, bounded by the chunk's real length in the file and ended
// with a zero byte (text null: only the test).
struct SignupAnswerInfo {
  uint8_t rejected;   // an EROR chunk is there
  uint8_t hasMaps;    // BMAP, IMAP and PMAP are there
  uint32_t textLength;
};
void ReadSignupAnswer(const uint8_t* data, uint32_t size, SignupAnswerInfo* info, char* text, size_t text_size);

// The actions of the form (registration, get mail) and the drawing.
void SignupRegistration(SignupScreenData* d);
void SignupGetMail(SignupScreenData* d);
void DrawSignupForm(SignupScreenData* d, uint32_t field, int32_t force);
void DrawSignupField(SignupScreenData* d, uint32_t field);
// Closes the open help or progress box.
void CloseSignupHelp(SignupScreenData* d);
// The "get mail" button at (196, 463), once the form was sent.
void DrawGetMailButton();

// The mail job of the form of d->playerNumber: sender field 9, the
// registration mailbox, the options' SMTP account, the names.
void FillSignupJob(SignupScreenData* d);
// The send of the form (step 8 of the registration): GoOnline, the forum
// check, the mail dialogue, Auflegen.
void SendSignupForm(SignupScreenData* d);
// The mail dialogue: sends the form file of d->playerNumber, reads each
// refusal and asks the player for what the server wants (a POP3 log-in, an
// SMTP-AUTH log-in, another SMTP server), sends again, and as the last
// resort moves the account to the shared game mailbox. Every send after the
// first follows an answer of the player. Ends with account state 1 and the
// options saved, or account state 0 and message 87.
void SignupMailDialogue(SignupScreenData* d);
// The reply code of a send's answer: the decimal number at its start, -1
// when it does not begin with a digit (the clients' own texts).
int32_t SignupReplyCode(const char* answer);
