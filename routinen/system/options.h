// The options block OptionenPrefs: 570 bytes, kept in the system record and
// stored big-endian as .\Data\Optionen.prefs (layout in docs/prefs.md).
#pragma once
#include <cstdint>

enum : uint32_t { OPTIONEN_PREFS_SIZE = 570 };

enum NetOptionBits : uint8_t {
  NET_MAIL_ROUTE = 1,     // turns over the mail servers
  NET_SERVER_ROUTE = 4,   // turns and letters over the game-server protocol
  NET_IRC_PANEL = 16,     // IRC panel enabled
};

// TCP/IP stack choice 4: the machine is on a LAN (the default).
constexpr uint8_t kTcpIpStackLan = 4;

struct OptionenPrefs {
  uint32_t sound_optionen;    // +0   wanted SoundMaskeFlags
  uint8_t tcpip_stack;        // +4   TCP/IP stack choice 0..4, default 4 (LAN)
  uint8_t net_option_bits;    // +5   NetOptionBits
  char cd_device[40];         // +6
  uint16_t cd_unit;           // +46
  uint16_t audio2;            // +48  second audio value
  uint32_t audio3;            // +50  third audio value
  uint32_t audio4;            // +54  fourth audio value
  uint8_t sfx_volume;         // +58  percent
  uint8_t cd_volume;          // +59  percent
  char pop3_host[40];         // +60
  char smtp_host[40];         // +100
  char pop3_user[40];         // +140
  char pop3_password[40];     // +180
  char email[40];             // +220
  char smtp_user[40];         // +260
  char smtp_password[40];     // +300
  uint8_t reserved[226];      // +340 kept as read
  uint32_t mouse_cursor;      // +566 0 cursor 103, else cursor 110
};

// Placeholders of the defaults; a field that still holds one is not set up.
extern const char* const kOptionHostPlaceholder;
extern const char* const kOptionUserPlaceholder;      // "username"
extern const char* const kOptionPasswordPlaceholder;  // "zezavuri"
extern const char* const kOptionEmailPlaceholder;

// The mail account's text fields in the disk image: POP3 host to SMTP
// password.
enum : uint32_t { OPTIONEN_ACCOUNT_BEGIN = 60, OPTIONEN_ACCOUNT_END = 340 };

// The areas of the options, by the options page that shows them.
enum OptionenRepair : uint32_t {
  OPTIONEN_REPAIR_SOUND = 1,     // the sound page: sound wish, CD device and unit, audio values, volumes
  OPTIONEN_REPAIR_INTERNET = 2,  // the internet page: TCP/IP stack, route and IRC bits, the mail account
  OPTIONEN_REPAIR_MODEM = 4,     // the modem page: the mouse cursor
};

// Fills the block with the defaults and placeholders.
void OptionenPrefsDefault(OptionenPrefs* o);
// The block of a disk image of got bytes (got below 570: a file cut short),
// every field checked: a field the image does not hold whole, or one out of
// its range, takes its default. Ranges: the sound wish the eight switches'
// bits (0..255); the TCP/IP stack 0..4; the net bits one route (1 or 4) and
// the IRC bit 16, nothing else; the volumes 0..100; the mouse cursor 0 or
// 0xFFFFFFFF (the modem page's two choices); a text no control character
// before its end, a host (name or address, and a port) and the mail address
// printable ASCII without blanks, the address with its "@" unless empty. A
// text without a terminating zero within its 40 bytes is cut to 39
// characters. The audio values and the CD unit take any value;
// the reserved bytes are kept as read (zero where cut). Returns the areas
// (OPTIONEN_REPAIR_*) of the fields cut short, out of range or cut to 39
// characters; 0 when every field was whole and in range.
uint32_t OptionenPrefsRead(const uint8_t* img, uint32_t got, OptionenPrefs* o);
// Reads .\Data\Optionen.prefs into o through OptionenPrefsRead. A missing
// file is written with the defaults; a short one, or one with a field out
// of its range, is written back repaired, logged and noted (by area) for
// TakeOptionenRepairs. 1 on success, 0 when no file could be read or made
// (o then holds defaults); a file that is no plain file (a FIFO, a link, a
// folder) is neither read nor replaced (NoteNotPlainFile, files.h): 0.
int32_t OptionenPrefsLoad(OptionenPrefs* o);
// The areas the loads since the last call repaired (OPTIONEN_REPAIR_*; the
// note is then taken), 0 when none: the caller tells the player.
uint32_t TakeOptionenRepairs(void);
// Writes the block to .\Data\Optionen.prefs; 0 on failure.
int32_t OptionenPrefsSave(const OptionenPrefs* o);
// 1 when a host, user, password or address field holds a real setting
// (not empty, not a placeholder).
int32_t OptionConfigured(const char* field);

// The disk image (570 bytes, big-endian) of a block and back, byte for
// byte and unchecked (OptionenPrefsRead checks). Text fields are always
// terminated after decoding.
void OptionenPrefsEncode(const OptionenPrefs* o, uint8_t* out);
void OptionenPrefsDecode(const uint8_t* in, OptionenPrefs* o);
