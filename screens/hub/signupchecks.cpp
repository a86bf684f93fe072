// The sign-up's checks and questions: the form's field table, the player
// number, the local checks of name and addresses, the forum check, the
// providers' presets, the account questions, the shared game mailbox and
// the reader of the answer file. See signup_internal.h and docs/signup.md.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/internetlowlevel/http.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/fieldtext.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/textentry.h"
#include "routinen/system/timer.h"
#include "screens/hub/signup_internal.h"

namespace {

constexpr uint32_t kBoxPen = 7;
constexpr uint32_t kOptionText = 40;  // the options' text fields

// The rows of the form: label y, label and help catalog IDs, chunk offset,
// size. Rows 10 to 13 are reserved.
struct FieldRow {
  uint16_t labelY, labelId, helpId, offset, size;
};
const FieldRow kRows[kSignupFields] = {
    {0, 0, 0, 0, 0},
    {40, 37, 623, INIT_FIRST_NAME, 40},    {60, 38, 624, INIT_LAST_NAME, 40},
    {80, 39, 625, INIT_STREET, 80},        {100, 40, 626, INIT_POSTCODE, 10},
    {120, 41, 627, INIT_TOWN, 40},         {140, 42, 628, INIT_COUNTRY, 40},
    {160, 43, 629, INIT_PHONE, 20},        {180, 44, 630, INIT_PLAYER_NAME, 40},
    {200, 45, 631, INIT_EMAIL, 40},
    {0, 0, 0, 0, 0},                       {0, 0, 0, 0, 0},
    {0, 0, 0, 0, 0},                       {0, 0, 0, 0, 0},
    {320, 1470, 1472, INIT_CONFIRM_EMAIL, 40}, {340, 1471, 1473, INIT_MOBILE, 40},
    {388, 46, 636, INIT_REMARK, 256},
};

SignupFieldDef MakeRow(uint32_t i) {
  SignupFieldDef f{};
  const FieldRow& r = kRows[i];
  if (!r.size) return f;
  f.labelX = 25;
  f.labelY = r.labelY;
  f.labelWidth = 309;
  f.labelHeight = 19;
  f.flag = 1;
  f.maxLength = r.size;
  f.lines = 1;
  f.boxX = 130;
  f.boxY = static_cast<uint16_t>(r.labelY - 2);
  f.boxWidth = i == 4 ? 104 : 204;
  f.boxHeight = 19;
  f.textX = 132;
  f.textY = static_cast<uint16_t>(r.labelY + 2);
  f.wrapWidth = static_cast<uint16_t>(f.boxWidth - 4);
  if (i == 16) {
    f.lines = 4;
    f.boxX = 23;
    f.boxY = 404;
    f.boxWidth = 311;
    f.boxHeight = 54;
    f.textX = 25;
    f.textY = 407;
    f.wrapWidth = 307;
  }
  f.offset = r.offset;
  f.labelId = r.labelId;
  f.helpId = r.helpId;
  return f;
}

struct FieldTable {
  SignupFieldDef rows[kSignupFields];
  FieldTable() {
    for (uint32_t i = 0; i < kSignupFields; ++i) rows[i] = MakeRow(i);
  }
};
const FieldTable kFieldTable;

// The module's state: the player's seam (null functions: the real boxes).
struct SignupModuleState {
  SignupPlayer player;
  void (*visitHook)(const SignupScreenData* d);
};
SignupModuleState g_signup;

uint32_t Say(uint32_t mode, const char* text) { return SignupSay(mode, text); }

// A text field of the chunk copied and ended (size bytes at most).
void FieldCopy(const uint8_t* chunk, uint32_t offset, uint32_t size, char* out) {
  std::memcpy(out, chunk + offset, size - 1);
  out[size - 1] = 0;
}

// Stores text into an options field: at most 39 bytes, zero-padded (the
// field's size in the prefs; a longer text keeps its start).
void StoreOption(char* field, const char* text) { CopyIntoField(field, kOptionText, text); }

int32_t SumSigned(const uint8_t* chunk, uint32_t offset, uint32_t size) {
  int32_t s = 0;
  for (uint32_t i = 0; i < size; ++i) s += static_cast<int8_t>(chunk[offset + i]);
  return s;
}

const char* const kTitles[] = {"Lord",   "Baron",  "Vicomte",  "Graf", "Marquis", "Herzog",    "Erzherzog", "K\xF6nig",
                               "Kaiser", "Viscount", "Earl", "Duke", "Arch duke", "King", "Emperor"};
// Providers whose mailboxes the game cannot use: no POP3 or SMTP access at
// all (1533), or a log-in the mail clients cannot do (1534).
const char* const kNoAccessMarkers[] = {"@protonmail", "@tutanota"};
const char* const kNoLoginMarkers[] = {"@outlook", "@hotmail"};

bool HasMarker(const char* text, const char* marker) { return strcasestr(text, marker) != nullptr; }

// "@" followed by the game's mail domain.
bool IsGameAddress(const char* address) {
  char marker[ENDPOINT_TEXT + 2];
  std::snprintf(marker, sizeof marker, "@%s", QoESystemPtr->Endpoints.MailDomain);
  return HasMarker(address, marker);
}

const MailProviderPreset kProviders[] = {
    {{"@gmx.de", "@gmx.net"}, "mail.gmx.net:465", "pop.gmx.net:995", 1},
    {{"@web.de", nullptr}, "smtp.web.de:465", "pop3.web.de:995", 1},
    {{"@t-online.de", nullptr}, "securesmtp.t-online.de:465", "securepop.t-online.de:995", 1},
    {{"@freenet.de", nullptr}, "mx.freenet.de:465", "mx.freenet.de:995", 1},
    {{"@yahoo", nullptr}, "smtp.mail.yahoo.com:465", "pop.mail.yahoo.com:995", 1},
    {{"@gmail", nullptr}, "smtp.gmail.com:465", "pop.gmail.com:995", 1},
    {{"@aol", nullptr}, "smtp.aol.com:465", "pop.aol.com:995", 1},
    {{"@arcor.de", nullptr}, "mail.arcor.de:465", "pop3.arcor.de:995", 0},
    {{"@1und1.de", nullptr}, "smtp.1und1.de:465", "pop.1und1.de:995", 0},
    {{"@mail.de", nullptr}, "smtp.mail.de:465", "pop.mail.de:995", 0},
    {{"@online.de", nullptr}, "smtp.online.de:465", "pop.online.de:995", 0},
    {{"@vodafone", nullptr}, "smtp.vodafonemail.de:465", "pop.vodafonemail.de:995", 0},
};

// Asks one account field with EingabeBox; 1 and the field stored on an
// answer, 0 on cancel (the field unchanged).
int32_t AskOption(char* field, uint32_t prompt, uint32_t help, uint32_t filter) {
  char buffer[kOptionText] = {};
  std::memcpy(buffer, field, kOptionText - 1);
  if (!SignupAsk(buffer, sizeof buffer, prompt, help, filter)) return 0;
  StoreOption(field, buffer);
  return 1;
}

}  // namespace

void SetSignupPlayer(const SignupPlayer* player) { g_signup.player = player ? *player : SignupPlayer{}; }

void SetSignupVisitHook(void (*hook)(const SignupScreenData* d)) { g_signup.visitHook = hook; }

void SignupVisitEnds(const SignupScreenData* d) {
  if (g_signup.visitHook && d) g_signup.visitHook(d);
}

void SignupText(const char* text) {
  if (g_signup.player.message) {
    g_signup.player.message(g_signup.player.user, 2, text);
    return;
  }
  TextBox(text);
}

uint32_t SignupSay(uint32_t mode, const char* text) {
  if (g_signup.player.message) return g_signup.player.message(g_signup.player.user, mode, text);
  return static_cast<uint32_t>(ChiefMessage(66, 168, 180, 0, 0, 0, mode, text, kBoxPen));
}

int32_t SignupAsk(char* buffer, uint32_t size, uint32_t prompt, uint32_t help, uint32_t filter) {
  if (g_signup.player.input) {
    if (!g_signup.player.input(g_signup.player.user, prompt, buffer, size)) return 0;
    // What the player types passes the box's filter, as in the box.
    size_t kept = 0;
    for (size_t i = 0; i < size && buffer[i]; ++i)
      if (EingabeFilterAdmits(filter, static_cast<uint8_t>(buffer[i])) && buffer[i] != 8) buffer[kept++] = buffer[i];
    if (kept < size) buffer[kept] = 0;
    return kept > 0 ? 1 : 0;
  }
  return EingabeBox(buffer, size, 168, 180, GetCatalogStr(prompt), GetCatalogStr(help), filter) ? 1 : 0;
}

const SignupFieldDef* SignupFieldTable() { return kFieldTable.rows; }

uint32_t NextSignupField(uint32_t field) {
  if (field == 9) return 14;
  if (field >= 16 || field == 0) return 1;
  if (field >= 10 && field <= 13) return 14;
  return field + 1;
}

void SignupFilePath(uint32_t number, char* path, size_t size) {
  std::snprintf(path, size, ".\\Data\\I%7.7u.qoe", number);
}

int32_t CommitSignupForm(const uint8_t* chunk, uint32_t number, uint32_t old_number, const uint32_t* text_fields,
                         const char* const* texts, uint32_t text_count) {
  static const char kPrefsFile[] = ".\\Data\\Prefs.qoe";
  if (!chunk) return 0;
  char path[32];
  SignupFilePath(number, path, sizeof path);
  // The form as SaveChunk2File writes it: big-endian on disk.
  const uint32_t size = 12 + ChunkLength(chunk);
  uint8_t* disk = static_cast<uint8_t*>(AllocVec(size, MEMF_PUBLIC));
  const uint32_t number_field = PREFS_SIGNUP_NUMBER;
  uint32_t prefs_size = 0;
  uint8_t* prefs =
      PrefsImageWithTexts(kPrefsFile, &number_field, &number, 1, text_fields, texts, text_count, &prefs_size);
  FileSet* set = disk && prefs ? BeginFileSet() : nullptr;
  int32_t ok = set != nullptr;
  if (ok) {
    std::memcpy(disk, chunk, size);
    ok = SwapByteOrderInChunk(disk, size, 0);
  }
  ok = ok && FileSetWrite(set, path, disk, size);
  ok = ok && FileSetWrite(set, kPrefsFile, prefs, prefs_size);
  if (ok && old_number != number && old_number != 0 && old_number != 0xFFFFFFFFu) {
    char old_path[32];
    SignupFilePath(old_number, old_path, sizeof old_path);
    ok = FileSetRemove(set, old_path);
  }
  FreeVec(disk);
  FreeVec(prefs);
  if (set) {
    if (ok) ok = CommitFileSet(set);
    else AbortFileSet(set);
  }
  if (!ok) DebugLog("InitScreen: Konnte %s und die Prefs nicht speichern\n", path);
  return ok;
}

uint8_t* NewInitChunk() { return AllocChunk("INIT", "V001", INIT_PAYLOAD); }

uint8_t* LoadInitChunk(uint32_t number) {
  char path[32];
  SignupFilePath(number, path, sizeof path);
  uint8_t* c = LoadChunk2Mem("INIT", path);
  if (c && ChunkLength(c) != INIT_PAYLOAD) {
    DebugLog("InitScreen: %s hat die falsche L\xE4nge\n", path);
    FreeChunk(c);
    c = nullptr;
  }
  if (!c) DebugLog("InitScreen: Konnte %s nicht lesen, leeres Formular\n", path);
  return c;
}

uint32_t PlayerNumberOf(const uint8_t* chunk, uint32_t now) {
  uint32_t n = now;
  n += static_cast<uint32_t>(SumSigned(chunk, INIT_FIRST_NAME, 40));
  n *= 16;
  n += static_cast<uint32_t>(SumSigned(chunk, INIT_LAST_NAME, 40));
  n *= 8;
  n += static_cast<uint32_t>(SumSigned(chunk, INIT_STREET, 80));
  n *= 4;
  n += static_cast<uint32_t>(SumSigned(chunk, INIT_PHONE, 20));
  n *= 2;
  n += static_cast<uint32_t>(SumSigned(chunk, INIT_EMAIL, 40));
  return n % kSignupNumberLimit;
}

void MakePlayerNumber(SignupScreenData* d) {
  const uint32_t now = d->now ? d->now() : static_cast<uint32_t>(std::time(nullptr));
  d->playerNumber = PlayerNumberOf(d->chunk, now);
}

const char* SignupCheckMessage(const uint8_t* chunk, int32_t mail_checks, char* buffer, size_t size) {
  char name[40], email[40], confirm[40], mobile[40];
  FieldCopy(chunk, INIT_PLAYER_NAME, 40, name);
  FieldCopy(chunk, INIT_EMAIL, 40, email);
  FieldCopy(chunk, INIT_CONFIRM_EMAIL, 40, confirm);
  FieldCopy(chunk, INIT_MOBILE, 40, mobile);
  for (const char* t : kTitles)
    if (std::strstr(name, t)) return GetCatalogStr(1494);
  if (!name[0]) return GetCatalogStr(1818);  // enter a player name
  if (std::strlen(name) < 3) return GetCatalogStr(1819);  // at least 3 letters
  for (const char* p = name; *p; ++p) {
    const char c = *p;
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) {
      std::snprintf(buffer, size, "%s %s", GetCatalogStr(1334), name);
      return buffer;
    }
  }
  if (mail_checks) {
    if (!email[0] || email[0] == '@' || email[0] == '.') return GetCatalogStr(1495);
    for (const char* m : kNoAccessMarkers)
      if (HasMarker(email, m)) return GetCatalogStr(1533);
    for (const char* m : kNoLoginMarkers)
      if (HasMarker(email, m)) return GetCatalogStr(1534);
  }
  if (confirm[0] && IsGameAddress(confirm)) {
    std::snprintf(buffer, size, "%s", GetCatalogStr(1478));
    return buffer;
  }
  for (const char* p = mobile; *p; ++p)
    if (*p < '0' || *p > '9') return GetCatalogStr(1479);
  return nullptr;
}

int32_t CheckPlayername(SignupScreenData* d, int32_t mail_checks) {
  char buffer[160];
  const char* m = SignupCheckMessage(d->chunk, mail_checks, buffer, sizeof buffer);
  if (!m) return 1;
  CloseSignupHelp(d);
  Say(0, m);
  return 0;
}

void SharedMailboxAddress(uint32_t n, char* address, size_t size) {
  const EndpointConfig& e = QoESystemPtr->Endpoints;
  std::snprintf(address, size, "%s%u@%s", e.SharedMailboxPassword, n, e.MailDomain);
}

void UseSharedMailbox(uint32_t n) {
  OptionenPrefs& o = QoESystemPtr->Optionen;
  const EndpointConfig& e = QoESystemPtr->Endpoints;
  char address[kSharedAddressSize];
  SharedMailboxAddress(n, address, sizeof address);
  StoreOption(o.smtp_host, e.MailDomain);
  StoreOption(o.pop3_host, e.MailDomain);
  StoreOption(o.smtp_user, address);
  StoreOption(o.pop3_user, address);
  StoreOption(o.smtp_password, e.SharedMailboxPassword);
  StoreOption(o.pop3_password, e.SharedMailboxPassword);
}

void SwitchFormToSharedMailbox(SignupScreenData* d, uint32_t n) {
  UseSharedMailbox(n);
  char address[kSharedAddressSize];
  SharedMailboxAddress(n, address, sizeof address);
  char* field = reinterpret_cast<char*>(d->chunk + INIT_EMAIL);
  CopyIntoField(field, 40, address);  // the form's field holds 39 characters
  StoreOption(QoESystemPtr->Optionen.email, field);
  if (d->drawn) DrawSignupField(d, 9);
}

void OfferTemporaryAddress(SignupScreenData* d) {
  const char* field = reinterpret_cast<const char*>(d->chunk + INIT_EMAIL);
  char email[40];
  FieldCopy(d->chunk, INIT_EMAIL, 40, email);
  if (!email[0] || IsGameAddress(email)) return;
  StopTextCursor(d->cursor);
  d->cursor = nullptr;
  SignupText(GetCatalogStr(1496));
  CloseSignupHelp(d);
  if (Say(1, GetCatalogStr(1497)) == 0) SwitchFormToSharedMailbox(d, Zufall(50) + 1);
  StoreOption(QoESystemPtr->Optionen.email, field);
}

int32_t ForumReplyCode(const char* answer, uint32_t size) {
  if (!answer) return -1;
  return HttpBodyCode(answer, size);
}

namespace {

// The forum page's answer to one request: its code (-1: none), logged.
int32_t AskForum(const char* name, const char* address, const char* password) {
  const EndpointConfig& e = QoESystemPtr->Endpoints;
  char n[3 * 40 + 1], a[3 * 40 + 1], p[3 * 40 + 1];
  UrlEncode(name, n, sizeof n);
  UrlEncode(address, a, sizeof a);
  char path[ENDPOINT_TEXT + 3 * 3 * 40 + 64];
  if (password) {
    UrlEncode(password, p, sizeof p);
    std::snprintf(path, sizeof path, "%scheck_user.php?username=%s&email=%s&password=%s", e.WebPath, n, a, p);
  } else {
    std::snprintf(path, sizeof path, "%scheck_user.php?username=%s&email=%s", e.WebPath, n, a);
  }
  uint32_t size = 0;
  char* answer = HttpGetSize(e.WebHost, path, &size);
  if (!answer) {
    DebugLog("InitScreen: Keine Antwort vom Forum (%s)\n", HttpError());
    return -1;
  }
  uint32_t body_length = 0;
  const char* body = HttpBody(answer, size, &body_length);
  DebugLog("InitScreen: ReturnString <%.*s>\n", static_cast<int>(body ? (body_length > 200 ? 200 : body_length) : 0),
           body ? body : "");
  const int32_t code = ForumReplyCode(answer, size);
  FreeVec(answer);
  return code;
}

}  // namespace

int32_t CheckPlayernameInForum(SignupScreenData* d) {
  char name[40], confirm[40], email[40];
  FieldCopy(d->chunk, INIT_PLAYER_NAME, 40, name);
  FieldCopy(d->chunk, INIT_CONFIRM_EMAIL, 40, confirm);
  FieldCopy(d->chunk, INIT_EMAIL, 40, email);
  const char* address = confirm[0] ? confirm : email;
  CloseSignupHelp(d);
  auto* box = reinterpret_cast<ChiefMessageBox*>(ChiefMessage(66, 168, 180, 0, 0, 0, 2, GetCatalogStr(1518), kBoxPen));
  if (!box) return 0;
  const int32_t code = AskForum(name, address, nullptr);
  CloseChiefMessage(box);
  switch (code) {
    case -1:
      return 0;
    case 200:
      return 1;
    case 401: {
      if (Say(1, GetCatalogStr(1512)) != 0) return 0;
      char password[40] = {};
      if (!SignupAsk(password, sizeof password, 1513, 1514, EINGABE_NOBLANK)) return 0;
      const int32_t second = AskForum(name, address, password);
      std::memset(password, 0, sizeof password);
      if (second == 202) return 1;
      if (second == 401) {
        Say(0, GetCatalogStr(1515));
      } else if (second != 400 && second != 0 && second != -1) {
        Say(0, GetCatalogStr(1516));
        DebugLog("CheckPlayernameInForum: Fehler 2 aus dem Forum %d\n", second);
      }
      return 0;
    }
    case 403:
      Say(0, GetCatalogStr(1820));  // the name is not welcome
      return 0;
    case 409:
      Say(0, GetCatalogStr(1517));
      return 0;
    default:
      Say(0, GetCatalogStr(1516));
      DebugLog("CheckPlayernameInForum: Fehler 1 aus dem Forum %d\n", code);
      return 0;
  }
}

const MailProviderPreset* MailProviderTable(uint32_t* count) {
  *count = sizeof kProviders / sizeof kProviders[0];
  return kProviders;
}

int32_t SetMailProviderPresets(const char* address, int32_t mode) {
  if (!address) return 0;
  OptionenPrefs& o = QoESystemPtr->Optionen;
  int32_t found = 0;
  for (const MailProviderPreset& p : kProviders) {
    bool match = false;
    for (const char* m : p.markers) match = match || (m && HasMarker(address, m));
    if (!match) continue;
    found = 1;
    if (mode == PRESETS_SMTP) {
      StoreOption(o.smtp_host, p.smtpHost);
    } else {
      StoreOption(o.pop3_host, p.pop3Host);
      if (p.writesUser) {
        StoreOption(o.pop3_user, address);
        StoreOption(o.pop3_password, kOptionPasswordPlaceholder);
      }
    }
  }
  return found;
}

int32_t AskSmtpServer() {
  return AskOption(QoESystemPtr->Optionen.smtp_host, 638, 639, kEingabeServerFilter);
}

int32_t AskPopBeforeSmtpLogin() {
  OptionenPrefs& o = QoESystemPtr->Optionen;
  Say(0, GetCatalogStr(641));
  if (!AskOption(o.pop3_host, 642, 643, kEingabeServerFilter)) {
    Say(0, GetCatalogStr(640));
    return 0;
  }
  if (!AskOption(o.pop3_user, 644, 645, EINGABE_ALNUM | EINGABE_MAILCHARS) ||
      !AskOption(o.pop3_password, 646, 647, EINGABE_NOBLANK)) {
    Say(0, GetCatalogStr(648));
    return 0;
  }
  return 1;
}

void ReadSignupAnswer(const uint8_t* data, uint32_t size, SignupAnswerInfo* info, char* text, size_t text_size) {
  *info = SignupAnswerInfo{};
  if (text && text_size) text[0] = 0;
  uint32_t maps = 0;
  uint64_t off = 0;
  while (data && off + 12 <= size) {
    const uint8_t* c = data + off;
    const uint64_t promised = GetBE32(c + 8);
    const uint64_t there = size - off - 12;
    const uint32_t length = static_cast<uint32_t>(promised < there ? promised : there);
    if (!info->rejected && std::memcmp(c, "EROR", 4) == 0) {
      info->rejected = 1;
      uint32_t n = length;
      if (text && text_size) {
        if (n > text_size - 1) n = static_cast<uint32_t>(text_size - 1);
        std::memcpy(text, c + 12, n);
        text[n] = 0;
        n = static_cast<uint32_t>(strnlen(text, n));
      }
      info->textLength = n;
    }
    if (std::memcmp(c, "BMAP", 4) == 0) maps |= 1;
    if (std::memcmp(c, "IMAP", 4) == 0) maps |= 2;
    if (std::memcmp(c, "PMAP", 4) == 0) maps |= 4;
    off += 12 + promised;
  }
  info->hasMaps = maps == 7;
}
