// Turn mails: the VEncode text encoding of mail bodies, the naming of turn
// and sign-up mails, the mail files of a download folder, and the POP3 and
// SMTP clients. Formats and rules: docs/vencode.md, docs/mailnames.md.
#pragma once
#include <cstddef>
#include <cstdint>

struct ListHeader;

// ---- VEncode ------------------------------------------------------------------

// Marker line that opens every VEncode body.
extern const char* const kVEncodeMarker;  // ";VEncode;"
enum : uint32_t { VENCODE_LINE = 76, VENCODE_MAX_PAYLOAD = 0x7FFFFFFF / 2 };

// Standard CRC-32 (the zip/PNG polynomial); crc chains calls.
uint32_t VCrc32(const void* data, size_t length, uint32_t crc = 0);
// Size of the encoded text of a payload of that length (marker to end line).
size_t VEncodeSize(uint32_t length);
// Writes the encoded text into out (VEncodeSize bytes); returns its size.
size_t VEncode(const void* data, uint32_t length, char* out);
// The encoded text in a new AllocVec block (size through *size), or null.
char* VEncodeAlloc(const void* data, uint32_t length, uint32_t* size);

// Results of the decoder.
enum VDecodeResult : int32_t {
  VDECODE_OK = 0,
  VDECODE_NO_MARKER = 1,   // no line ";VEncode;"
  VDECODE_BAD_HEADER = 2,  // header line missing or malformed
  VDECODE_BAD_LINE = 3,    // a data line of the wrong length or with a foreign byte
  VDECODE_TRUNCATED = 4,   // text ends before the end line
  VDECODE_BAD_CRC = 5,     // payload does not match its CRC
  VDECODE_NO_MEMORY = 6,
};
// Checks the VEncode body inside text (for example a whole mail file). With
// out non-null the payload goes into a new AllocVec block (*out; the caller
// frees it; null for length 0). *length gets the payload length. Nothing is
// handed out unless the whole body checked out.
VDecodeResult VDecode(const char* text, size_t size, uint8_t** out, uint32_t* length);
const char* VDecodeResultText(VDecodeResult r);

// Decodes the VEncode body of one mail into the file at target: the file is
// replaced (temporary file, then rename) only when the whole body checked
// out. Non-zero on success; a damaged body is logged and leaves the target.
int32_t DecrunchOneEmail(const char* text, uint32_t size, const char* target);

// ---- Mail names -----------------------------------------------------------------

enum : uint32_t { MAIL_NAME_SIZE = 16 };
// The name of a turn mail ("%8.8u" of the player ID) or of a sign-up mail and
// its answer ("I%7.7u" of the sign-up number).
void TurnMailName(uint32_t player_id, char out[MAIL_NAME_SIZE]);
void SignupMailName(uint32_t number, char out[MAIL_NAME_SIZE]);
// The Subject that carries a name: "Quill of Elmor <name>".
extern const char* const kMailSubjectPrefix;  // "Quill of Elmor "
// The name a Subject header value carries (its last blank-separated word, at
// most 15 characters); 1 when there is one.
int32_t MailNameFromSubject(const char* subject, size_t length, char out[MAIL_NAME_SIZE]);
// 1 when name matches the pattern: the same length, every pattern character
// equal or a blank (any character). A pattern ending in ".email" is compared
// without it.
int32_t MailNameMatches(const char* name, const char* pattern);
// 1 when a file name is a mail file of a name matching the pattern:
// "<name>.email" or "<name>_<n>.email".
int32_t MailFileMatches(const char* file_name, const char* pattern);
// The first free file name "<folder>\<name>.email", then "<name>_2.email",
// "<name>_3.email" ...; 1 on success (0 when out is too small or none free).
int32_t MakeMailFileName(const char* folder, const char* name, char* out, size_t out_size);

// ---- Mail dates ---------------------------------------------------------------------

// The mail-date scale (year of 12 months of 31 days, from 1900), in 64 bits:
// the 32-bit value wraps on 2033-08-17. Day number = date / 86400.
uint64_t MailDateScale(int year, int month0, int day, int hour, int minute, int second);
uint64_t MailDateNow();  // the current UTC time on that scale
// The date of an RFC 5322 date text ("Sun, 06 Dec 2026 20:57:54 +0100"),
// turned into UTC; 1 on success.
int32_t ParseMailDate(const char* text, size_t length, uint64_t* date);
// Prefs field 31 keeps the low 32 bits; this compares wrap-aware (the two
// dates lie less than 68 years apart): 1 when date is before stored.
int32_t MailDateBefore(uint64_t date, uint32_t stored);
// "Date: " header value for now, "Sun, 06 Dec 2026 20:57:54 +0000".
void FormatMailDate(char* out, size_t size);

// ---- Mail files -----------------------------------------------------------------------

// Node of list type 20 (the system layer's EmailNode).
// Adds one node per mail file of the folder that matches the pattern (see
// MailFileMatches) and whose VEncode body checks out; the date comes from the
// mail's "Date: " header (now when it has none). Returns the number added.
uint32_t ScanEmails2List(ListHeader* list, const char* folder, const char* pattern);
// Sorts the list newest first and deletes every node but the first, with its
// file. Returns the number of nodes left.
uint32_t DeleteNotNeededNodes(ListHeader* list);

// A complete mail text (headers with LF line ends, an empty line, the VEncode
// body of data) named by name; in a new AllocVec block, size through *size.
// sender_name may be null or empty. Null when memory is short.
char* ComposeTurnMail(const char* sender_name, const char* sender, const char* recipient,
                      const char* name, const void* data, uint32_t length, uint32_t* size);

// ---- POP3 and SMTP ---------------------------------------------------------------------
// Hosts are "host" or "host:port" (POP3 110, SMTP 25 by default; 995 and 465
// mean TLS from the first byte). STLS / STARTTLS are used whenever the server
// offers them, as the endpoint file's mail_tls says (docs/mailclients.md).
// The status texts returned stay valid until the next call of the same client.

// Logs in (USER/PASS), fetches every mail whose Subject names a name matching
// the pattern into the folder as "<name>[_n].email" (see MakeMailFileName),
// and with remove set deletes each one on the server once its file is
// complete on disk (committed by QUIT). A pattern no mail has only tests the
// log-in. Returns "ok", the server's refusal ("-ERR ...") or an error text.
// reserved is 0.
const char* GetEMail(const char* host, const char* user, const char* password, const char* pattern,
                     const char* folder, uint32_t reserved, uint32_t remove);

// Sends one mail: message is the whole mail text (headers, empty line, body;
// LF or CRLF line ends) or null for a short test mail to the recipient. auth
// is null or the block: a zero byte, the user, a zero byte, the password
// (AUTH PLAIN, else AUTH LOGIN, when the server offers AUTH). Returns "ok",
// the server's reply with its three-digit code first, or an error text.
const char* SendEMail(const char* host, const char* sender, const char* recipient, const char* message,
                      const char* auth);

enum : uint32_t { MAILJOB_TEXT = 80 };
enum MailJobKind : uint16_t { MAILJOB_SIGNUP = 0, MAILJOB_TURN = 1 };
// What a caller hands to SendFileAsEmail.
struct MailJob {
  uint32_t Length;                     // bytes of the file (set from the file)
  uint16_t Kind;                       // MailJobKind: names the mail I%7.7u or %8.8u
  char Sender[MAILJOB_TEXT];           // the player's address
  char Recipient[MAILJOB_TEXT];        // the registration mailbox or the game's turn mailbox
  char SmtpUser[MAILJOB_TEXT];
  char SmtpPassword[MAILJOB_TEXT];
  char FirstName[MAILJOB_TEXT];
  char LastName[MAILJOB_TEXT];
  uint32_t PlayerNumber;               // sign-up number or player ID
  uint16_t Flag2;                      // 0
  const uint8_t* Data;                 // the file while it is being sent, else null
};
enum : uint32_t { SENDFILE_POP_BEFORE_SMTP = 1 };
// Sends the file as a VEncode mail over the options' SMTP host. With mode
// SENDFILE_POP_BEFORE_SMTP a refusal of the sender or recipient is followed
// by a POP3 log-in with the options' account and a second try. Returns a text
// beginning with "ok", the server's reply (code first) or an error text.
const char* SendFileAsEmail(const char* path, MailJob* job, uint32_t mode);

// Tests: one more port that means TLS from the first byte (0 none), the time
// a read or write may wait (0: the endpoint file's net_timeout), the largest
// mail fetched (0: 64 MB).
void MailSetImplicitTlsPort(uint16_t port);
void MailSetTimeoutMs(uint32_t ms);
void MailSetMaxMailSize(uint32_t bytes);
