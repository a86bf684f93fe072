// Options block: defaults, big-endian disk image, load and save.
#include "options.h"

#include <atomic>
#include <cstring>

#include "byteorder.h"
#include "files.h"
#include "memory.h"
#include "platform/log.h"

const char* const kOptionHostPlaceholder = "servername";
const char* const kOptionUserPlaceholder = "username";
const char* const kOptionPasswordPlaceholder = "zezavuri";
const char* const kOptionEmailPlaceholder = "username@servername";

namespace {

const char kPath[] = ".\\Data\\Optionen.prefs";

// The options module's state record.
struct OptionenModuleState {
  // The areas repaired by loads (OptionenRepair bits), taken by
  // TakeOptionenRepairs: any thread.
  std::atomic<uint32_t> repairs{0};
};
OptionenModuleState g_optionen;

// The fields of the disk image with a range, and the area that shows them.
enum FieldKind : uint8_t { K_SOUND, K_STACK, K_NETBITS, K_TEXT, K_HOST, K_ADDRESS, K_ANY, K_PERCENT, K_CURSOR };
struct OptionField {
  uint16_t offset, size;
  FieldKind kind;
  uint32_t area;
};
constexpr uint32_t S = OPTIONEN_REPAIR_SOUND, I = OPTIONEN_REPAIR_INTERNET, M = OPTIONEN_REPAIR_MODEM;
const OptionField kFields[] = {
    {0, 4, K_SOUND, S},   {4, 1, K_STACK, I},   {5, 1, K_NETBITS, I}, {6, 40, K_TEXT, S},
    {46, 2, K_ANY, S},    {48, 2, K_ANY, S},    {50, 4, K_ANY, S},    {54, 4, K_ANY, S},
    {58, 1, K_PERCENT, S}, {59, 1, K_PERCENT, S}, {60, 40, K_HOST, I}, {100, 40, K_HOST, I},
    {140, 40, K_TEXT, I}, {180, 40, K_TEXT, I}, {220, 40, K_ADDRESS, I}, {260, 40, K_TEXT, I},
    {300, 40, K_TEXT, I}, {566, 4, K_CURSOR, M},
};

bool IsText(FieldKind k) { return k == K_TEXT || k == K_HOST || k == K_ADDRESS; }

// A terminated text of its kind: no control character; a host (name or
// address, and a port) and a mail address are printable ASCII without
// blanks, and an address that is not empty has its "@".
bool TextInRange(FieldKind kind, const char* t) {
  for (const char* c = t; *c; ++c) {
    const uint8_t b = static_cast<uint8_t>(*c);
    if (b < 32 || b == 127) return false;
    if (kind != K_TEXT && (b == ' ' || b > 126)) return false;
  }
  return kind != K_ADDRESS || !t[0] || std::strchr(t, '@');
}

// A whole number field of the image in its range.
bool NumberInRange(const OptionField& f, const uint8_t* p) {
  switch (f.kind) {
    case K_SOUND: return GetBE32(p) <= 0xFF;
    case K_STACK: return p[0] <= 4;
    case K_NETBITS: {
      const uint8_t b = p[0];
      const bool mail = b & NET_MAIL_ROUTE, server = b & NET_SERVER_ROUTE;
      return (b & ~(NET_MAIL_ROUTE | NET_SERVER_ROUTE | NET_IRC_PANEL)) == 0 && mail != server;
    }
    case K_PERCENT: return p[0] <= 100;
    case K_CURSOR: return GetBE32(p) == 0 || GetBE32(p) == 0xFFFFFFFFu;
    default: return true;
  }
}

void SetText(char* dst, const char* src) {
  std::memset(dst, 0, 40);
  std::strncpy(dst, src, 39);
}

void PutText(uint8_t* out, const char* text) {
  std::memset(out, 0, 40);
  for (int i = 0; i < 39 && text[i]; ++i) out[i] = (uint8_t)text[i];
}

void GetText(const uint8_t* in, char* text) {
  std::memcpy(text, in, 39);
  text[39] = 0;
}

}  // namespace

void OptionenPrefsDefault(OptionenPrefs* o) {
  std::memset(o, 0, sizeof *o);
  o->sound_optionen = 1 | 8 | 16 | 32;  // 16-bit sound, module music, effects, music
  o->tcpip_stack = kTcpIpStackLan;
  o->net_option_bits = NET_MAIL_ROUTE;
  o->audio3 = 0xFFFFFFFFu;
  o->audio4 = 22100;
  o->sfx_volume = 50;
  o->cd_volume = 50;
  SetText(o->pop3_host, kOptionHostPlaceholder);
  SetText(o->smtp_host, kOptionHostPlaceholder);
  SetText(o->pop3_user, kOptionUserPlaceholder);
  SetText(o->pop3_password, kOptionPasswordPlaceholder);
  SetText(o->email, kOptionEmailPlaceholder);
  SetText(o->smtp_user, kOptionUserPlaceholder);
  SetText(o->smtp_password, kOptionPasswordPlaceholder);
}

void OptionenPrefsEncode(const OptionenPrefs* o, uint8_t* out) {
  std::memset(out, 0, OPTIONEN_PREFS_SIZE);
  PutBE32(out + 0, o->sound_optionen);
  out[4] = o->tcpip_stack;
  out[5] = o->net_option_bits;
  PutText(out + 6, o->cd_device);
  PutBE16(out + 46, o->cd_unit);
  PutBE16(out + 48, o->audio2);
  PutBE32(out + 50, o->audio3);
  PutBE32(out + 54, o->audio4);
  out[58] = o->sfx_volume;
  out[59] = o->cd_volume;
  PutText(out + 60, o->pop3_host);
  PutText(out + 100, o->smtp_host);
  PutText(out + 140, o->pop3_user);
  PutText(out + 180, o->pop3_password);
  PutText(out + 220, o->email);
  PutText(out + 260, o->smtp_user);
  PutText(out + 300, o->smtp_password);
  std::memcpy(out + 340, o->reserved, sizeof o->reserved);
  PutBE32(out + 566, o->mouse_cursor);
}

void OptionenPrefsDecode(const uint8_t* in, OptionenPrefs* o) {
  o->sound_optionen = GetBE32(in + 0);
  o->tcpip_stack = in[4];
  o->net_option_bits = in[5];
  GetText(in + 6, o->cd_device);
  o->cd_unit = GetBE16(in + 46);
  o->audio2 = GetBE16(in + 48);
  o->audio3 = GetBE32(in + 50);
  o->audio4 = GetBE32(in + 54);
  o->sfx_volume = in[58];
  o->cd_volume = in[59];
  GetText(in + 60, o->pop3_host);
  GetText(in + 100, o->smtp_host);
  GetText(in + 140, o->pop3_user);
  GetText(in + 180, o->pop3_password);
  GetText(in + 220, o->email);
  GetText(in + 260, o->smtp_user);
  GetText(in + 300, o->smtp_password);
  std::memcpy(o->reserved, in + 340, sizeof o->reserved);
  o->mouse_cursor = GetBE32(in + 566);
}

uint32_t OptionenPrefsRead(const uint8_t* in, uint32_t got, OptionenPrefs* o) {
  if (!in) got = 0;
  if (got > OPTIONEN_PREFS_SIZE) got = OPTIONEN_PREFS_SIZE;
  uint8_t def[OPTIONEN_PREFS_SIZE], img[OPTIONEN_PREFS_SIZE];
  OptionenPrefsDefault(o);
  OptionenPrefsEncode(o, def);
  std::memcpy(img, def, sizeof img);
  if (got) std::memcpy(img, in, got);
  uint32_t repaired = 0;
  for (const OptionField& f : kFields) {
    uint8_t* p = img + f.offset;
    bool keep = (uint32_t)f.offset + f.size <= got;
    if (keep && IsText(f.kind)) {
      // A text ends within its field; one that runs to the field's end is
      // cut to 39 characters (and counted).
      if (!std::memchr(p, 0, f.size)) {
        p[f.size - 1] = 0;
        repaired |= f.area;
      }
      keep = TextInRange(f.kind, reinterpret_cast<const char*>(p));
    } else if (keep) {
      keep = NumberInRange(f, p);
    }
    if (keep) continue;
    std::memcpy(p, def + f.offset, f.size);
    repaired |= f.area;
  }
  OptionenPrefsDecode(img, o);
  return repaired;
}

int32_t OptionenPrefsLoad(OptionenPrefs* o) {
  if (!o) return 0;
  uint8_t img[OPTIONEN_PREFS_SIZE];
  OptionenPrefsDefault(o);
  OptionenPrefsEncode(o, img);
  FileHandle probe = Open(kPath, MODE_READONLY);
  if (!probe && PathKind(kPath) != PATH_ABSENT) {
    NoteNotPlainFile(kPath);  // a FIFO, a link, a folder: neither read nor replaced
    return 0;
  }
  if (!probe) {
    if (!SaveMem2File(kPath, img, OPTIONEN_PREFS_SIZE)) {
      DebugLog("OptionenPrefsLoad: Konnte Standard-Optionen nicht speichern!\n");
      return 0;
    }
    return 1;
  }
  Close(probe);
  uint32_t got = 0;
  uint8_t* data = static_cast<uint8_t*>(LoadFile2MemSize(kPath, MEMF_PUBLIC, &got));
  if (!data && GeFileSize(kPath) != 0) {
    DebugLog("OptionenPrefsLoad: Konnte %s nicht lesen!\n", kPath);
    return 0;
  }
  if (!data) got = 0;
  const uint32_t repaired = OptionenPrefsRead(data, got, o);
  // The bytes of the file as read where they were sound (the reserved ones
  // too), the repaired fields over them.
  if (data) std::memcpy(img, data, got < OPTIONEN_PREFS_SIZE ? got : OPTIONEN_PREFS_SIZE);
  FreeVec(data);
  if (got < OPTIONEN_PREFS_SIZE)
    DebugLog("OptionenPrefsLoad: %s ist zu kurz (%u Bytes), ergaenze Standardwerte\n", kPath, got);
  if (repaired) {
    DebugLog("OptionenPrefsLoad: %s hatte Werte ausserhalb ihres Bereichs oder abgeschnittene (Bereiche %u), "
             "auf Standardwerte gesetzt\n",
             kPath, repaired);
  }
  if (got < OPTIONEN_PREFS_SIZE || repaired) {
    uint8_t fixed[OPTIONEN_PREFS_SIZE];
    OptionenPrefsEncode(o, fixed);
    for (const OptionField& f : kFields) std::memcpy(img + f.offset, fixed + f.offset, f.size);
    if (!SaveMem2File(kPath, img, OPTIONEN_PREFS_SIZE)) DebugLog("OptionenPrefsLoad: Konnte Optionen nicht ergaenzen!\n");
    if (repaired) g_optionen.repairs.fetch_or(repaired);
  }
  return 1;
}

uint32_t TakeOptionenRepairs(void) { return g_optionen.repairs.exchange(0); }

int32_t OptionenPrefsSave(const OptionenPrefs* o) {
  if (!o) return 0;
  uint8_t img[OPTIONEN_PREFS_SIZE];
  OptionenPrefsEncode(o, img);
  if (!SaveMem2File(kPath, img, OPTIONEN_PREFS_SIZE)) {
    DebugLog("OptionenPrefsSave: Konnte %s nicht speichern!\n", kPath);
    return 0;
  }
  return 1;
}

int32_t OptionConfigured(const char* field) {
  if (!field || !field[0]) return 0;
  const char* const ph[] = {kOptionHostPlaceholder, kOptionUserPlaceholder, kOptionPasswordPlaceholder,
                            kOptionEmailPlaceholder};
  for (const char* p : ph)
    if (std::strcmp(field, p) == 0) return 0;
  return 1;
}
