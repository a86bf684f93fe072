// The internet page of the options. See option1.h.
#include "screens/hub/option1.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/internetlowlevel/irc.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/internetlowlevel/packets.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/shell.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/textentry.h"
#include "routinen/system/timer.h"
#include "screens/common/screenbase.h"
#include "screens/hub/option2.h"
#include "screens/hub/residenzupload.h"
#include "screens/hub/signup_internal.h"

namespace {

constexpr uint32_t kPicture = 134, kBoxPen = 7;
constexpr uint32_t kLastSignupNumber = 9999998;
const char* const kFieldIds[kInternetFields] = {"ST10", "ST11", "ST12", "ST13", "ST14", "ST15", "ST16"};
const char* const kStackIds[5] = {"BU10", "BU11", "BU12", "BU13", "BU14"};

struct Option1ModuleState {
  Option1Player player{};
  bool hooked = false;
};
Option1ModuleState& Module() {
  static Option1ModuleState s;
  return s;
}

uint32_t Ask(uint32_t catalog) {
  if (Module().hooked) return Module().player.ask(Module().player.user, catalog);
  return static_cast<uint32_t>(ChiefMessage(66, 168, 180, 0, 0, 0, 1, GetCatalogStr(catalog), kBoxPen));
}

void Say(const char* text) {
  if (Module().hooked) return Module().player.say(Module().player.user, text);
  ChiefMessage(66, 168, 180, 0, 0, 0, 0, text, kBoxPen);
}

// The options' text of field n (the real one for a password).
char* OptionText(uint32_t n) {
  OptionenPrefs& o = QoESystemPtr->Optionen;
  char* const table[kInternetFields] = {o.pop3_user, o.pop3_password, o.pop3_host, o.smtp_host,
                                        o.email,     o.smtp_user,     o.smtp_password};
  return table[n];
}

// The text the field stands for: the real one of a hidden field.
const char* FieldValue(const Option1ScreenData* d, uint32_t n) {
  return d->fields[n].hidden ? d->fields[n].real : d->fields[n].text;
}

void StoreText(char* option, const char* text) {
  std::memset(option, 0, 40);
  const size_t len = std::strlen(text);
  std::memcpy(option, text, len < kOptionFieldMax ? len : kOptionFieldMax);
}

void SetField(Option1ScreenData* d, uint32_t n, const char* text, bool draw) {
  const EntryField* area = GetLayoutEntry(d->region, n);
  SetOptionFieldText(&d->fields[n], area, d->formFont, text);
  if (draw) DrawOptionField(&d->fields[n], area, d->formFont);
}

// The address field as the options hold it (prefs field 8 while the
// options' address is empty).
void ResetAddressField(Option1ScreenData* d, bool draw) {
  const char* a = QoESystemPtr->Optionen.email;
  if (a[0]) return SetField(d, NETF_EMAIL, a, draw);
  char* prefs = CheckPrefsStr(PREFS_EMAIL, 0, nullptr);
  SetField(d, NETF_EMAIL, prefs ? prefs : "", draw);
  FreeVec(prefs);
}

void StopEditing(Option1ScreenData* d) {
  StopTextCursor(d->cursor);
  d->cursor = nullptr;
  d->active = -1;
}

// The stack, route and IRC choices of the record applied at once.
void ApplyChoices(Option1ScreenData* d) {
  OptionenPrefs& o = QoESystemPtr->Optionen;
  const bool panel_was = (o.net_option_bits & NET_IRC_PANEL) != 0;
  Quit_TCP_IP();
  o.tcpip_stack = static_cast<uint8_t>(d->stack);
  QoESystemPtr->TcpIpStack = static_cast<uint8_t>(d->stack);
  o.net_option_bits = d->bits;
  Start_TCP_IP();
  // The panel follows its bit at once: a set bit promises a connection the
  // tavern chat asks for.
  const bool panel_is = (d->bits & NET_IRC_PANEL) != 0;
  if (panel_is && !panel_was) StartIrcPanel();
  if (!panel_is && panel_was) StopIrcPanel();
}

}  // namespace

// Sends the re-made form of the realm not yet there: the INIT file n + 1
// with the new address, prefs field 11 naming it and the old file's removal
// in one FileSet, mailed to the registration mailbox.
void ResendSignupForm(const char* address) {
  const uint32_t n = CheckPrefs(PREFS_SIGNUP_NUMBER, 0, 0);
  if (n == 0 || n == 0xFFFFFFFFu) return;
  char old_path[32], new_path[32];
  SignupFilePath(n, old_path, sizeof old_path);
  DebugLog("UpdateOptionenPrefs: Versuche folgenden Chunk aufzumachen : %s\n", old_path);
  uint8_t* chunk = LoadInitChunk(n);
  if (!chunk) return;
  std::memset(chunk + INIT_EMAIL, 0, 40);
  StoreText(reinterpret_cast<char*>(chunk + INIT_EMAIL), address);
  ChunkPut32(chunk, INIT_SENT_TIME, static_cast<uint32_t>(std::time(nullptr)));
  const uint32_t next = NextSignupNumber(n);
  SignupFilePath(next, new_path, sizeof new_path);
  if (!CommitSignupForm(chunk, next, n, nullptr, nullptr, 0)) {
    DebugLog("UpdateOptionenPrefs: Konnte %s nicht speichern\n", new_path);
    Say(GetCatalogStr(87));
    FreeChunk(chunk);
    return;
  }
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  MailJob job{};
  job.Kind = MAILJOB_SIGNUP;
  std::snprintf(job.Sender, sizeof job.Sender, "%s", address);
  std::snprintf(job.Recipient, sizeof job.Recipient, "%s", QoESystemPtr->Endpoints.RegistrationMailbox);
  std::snprintf(job.SmtpUser, sizeof job.SmtpUser, "%s", o.smtp_user);
  std::snprintf(job.SmtpPassword, sizeof job.SmtpPassword, "%s", o.smtp_password);
  std::snprintf(job.FirstName, sizeof job.FirstName, "%.39s", reinterpret_cast<const char*>(chunk + INIT_FIRST_NAME));
  std::snprintf(job.LastName, sizeof job.LastName, "%.39s", reinterpret_cast<const char*>(chunk + INIT_LAST_NAME));
  job.PlayerNumber = next;
  FreeChunk(chunk);
  bool sent = false;
  if (GoOnline() == 1) {
    const char* answer = SendFileAsEmail(new_path, &job, 0);
    sent = answer && std::strncmp(answer, "ok", 2) == 0;
    if (!sent) DebugLog("UpdateOptionenPrefs: Anmeldung nicht gesendet <%s>\n", answer ? answer : "");
  }
  Auflegen();
  std::memset(job.SmtpPassword, 0, sizeof job.SmtpPassword);
  if (!sent) Say(GetCatalogStr(87));
}

namespace {

// A server's refusal shown in the open box until the player clicks.
void ShowServerError(ChiefMessageBox* box, const char* format, const char* answer) {
  char text[400];
  std::snprintf(text, sizeof text, format, GetCatalogStr(795), answer ? answer : "");
  DebugLog("CheckMailServers: %s\n", text);
  if (Module().hooked) {
    Say(text);
    return;
  }
  SetChiefMessageText(box, text);
  ChiefMessageLoop(box);
}

}  // namespace

void SetOption1Player(const Option1Player* player) {
  Module().hooked = player != nullptr;
  Module().player = player ? *player : Option1Player{};
}

int32_t MailDomainsMatch(const char* pop3_host, const char* address) {
  const char* at = address ? std::strrchr(address, '@') : nullptr;
  if (!at) return -1;
  const char* domain = at + 1;
  // The host's name without its port ("pop.example.org:995").
  char name[64];
  std::snprintf(name, sizeof name, "%s", pop3_host ? pop3_host : "");
  char* colon = std::strchr(name, ':');
  if (colon && name[0] != '[' && !std::strchr(colon + 1, ':')) *colon = 0;
  const char* host = name;
  uint32_t dots = 0;
  for (const char* p = host; *p; ++p) dots += *p == '.';
  const char* host_domain = dots >= 2 ? std::strchr(host, '.') + 1 : host;
  return std::strstr(host, domain) && std::strlen(host_domain) == std::strlen(domain) ? 1 : 0;
}

uint32_t NextSignupNumber(uint32_t n) { return n >= kLastSignupNumber ? 1 : n + 1; }

void DrawOption1Marks(Option1ScreenData* d) {
  for (uint32_t k = 0; k < 5; ++k) DrawOptionLamp(d->region, k, d->stack == k);
  DrawOptionLamp(d->region, 5, (d->bits & NET_MAIL_ROUTE) != 0);
  DrawOptionLamp(d->region, 6, (d->bits & NET_SERVER_ROUTE) != 0);
  DrawOptionLamp(d->region, 7, (d->bits & NET_IRC_PANEL) != 0);
}

void DrawOption1Screen(Option1ScreenData* d) {
  DrawOptionLabels(d->region);
  for (uint32_t n = 0; n < kInternetFields; ++n) {
    if (n == NETF_EMAIL) ResetAddressField(d, false);
    else SetField(d, n, OptionText(n), false);
    DrawOptionField(&d->fields[n], GetLayoutEntry(d->region, n), d->formFont);
  }
  DrawOption1Marks(d);
}

void ActivateOption1Field(Option1ScreenData* d) {
  if (d->active < 0 || d->active >= static_cast<int32_t>(kInternetFields)) return;
  const auto n = static_cast<uint32_t>(d->active);
  d->cursor = ActivateOptionField(&d->fields[n], GetLayoutEntry(d->region, n), d->formFont, d->cursor);
}

int32_t CheckMailServers(Option1ScreenData* d) {
  const char* address = FieldValue(d, NETF_EMAIL);
  const char* pop3 = FieldValue(d, NETF_POP3_HOST);
  const int32_t domains = MailDomainsMatch(pop3, address);
  if (domains < 0) return 0;
  if (domains == 0 && Ask(1491) != 0) return 0;
  if (GoOnline() != 1) {
    Auflegen();
    return 1;
  }
  auto* box = Module().hooked ? nullptr
                              : reinterpret_cast<ChiefMessageBox*>(
                                    ChiefMessage(66, 168, 180, 0, 0, 0, 2, GetCatalogStr(1489), kBoxPen));
  int32_t ok = 1;
  const char* answer = GetEMail(pop3, FieldValue(d, NETF_POP3_USER), FieldValue(d, NETF_POP3_PASSWORD), "XYZ",
                                ".\\Data\\POP3In\\", 0, 0);
  if (!answer || std::strcmp(answer, "ok") != 0) {
    ShowServerError(box, "%s : %s", answer);
    ok = 0;
  } else {
    if (box) SetChiefMessageText(box, GetCatalogStr(1490));
    Delay(50);
    // The SMTP-AUTH block: a zero byte, the user, a zero byte, the password.
    char auth[2 + 2 * 40] = {};
    const char* user = FieldValue(d, NETF_SMTP_USER);
    const char* password = FieldValue(d, NETF_SMTP_PASSWORD);
    const size_t ul = std::strlen(user) < 39 ? std::strlen(user) : 39;
    std::memcpy(auth + 1, user, ul);
    std::memcpy(auth + 2 + ul, password, std::strlen(password) < 39 ? std::strlen(password) : 39);
    answer = SendEMail(FieldValue(d, NETF_SMTP_HOST), address, address, nullptr, auth);
    std::memset(auth, 0, sizeof auth);
    if (!answer || std::strcmp(answer, "ok") != 0) {
      ShowServerError(box, "%s: %s", answer);
      ok = 0;
    }
  }
  CloseChiefMessage(box);
  Auflegen();
  return ok;
}

int32_t UpdateOptionenPrefs(Option1ScreenData* d) {
  if (!CheckMailServers(d)) return 0;
  OptionenPrefs& o = QoESystemPtr->Optionen;
  o.tcpip_stack = static_cast<uint8_t>(d->stack);
  for (uint32_t n = 0; n < kInternetFields; ++n) StoreText(OptionText(n), FieldValue(d, n));
  CheckPrefsStr(PREFS_EMAIL, 1, o.email);
  const uint32_t state = CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0);
  if (state == ACCOUNT_SIGNUP_SENT) ResendSignupForm(o.email);
  if (state == ACCOUNT_INSTALLED && !ResidenzUpload())
    DebugLog("UpdateOptionenPrefs: Upload fehlgeschlagen <%s>\n", ResidenzUploadStatus());
  return 1;
}

int32_t ChangeEmailPostfach(Option1ScreenData* d) {
  if (Ask(793) != 0) {
    ResetAddressField(d, true);
    return 0;
  }
  DebugLog("User m\xF6" "chte seine Email-Adresse \xE4ndern ?\n");
  const char* address = FieldValue(d, NETF_EMAIL);
  const int32_t domains = MailDomainsMatch(FieldValue(d, NETF_POP3_HOST), address);
  if (domains < 0 || (domains == 0 && Ask(1491) != 0)) {
    ResetAddressField(d, true);
    return 0;
  }
  uint8_t* chunk = NewInitChunk();
  if (!chunk) {
    DebugLog("ChangeEmailPostfach : Konnte Speicher nicht allokieren...\n");
    return 0;
  }
  StoreText(reinterpret_cast<char*>(chunk + INIT_EMAIL), address);
  StoreText(QoESystemPtr->Optionen.email, address);
  CheckPrefsStr(PREFS_EMAIL, 1, QoESystemPtr->Optionen.email);
  DebugLog("CHANGEEMAILPOSTFACH:%s\n", QoESystemPtr->Optionen.email);
  if (!AddChunkPool(chunk, ".\\Data\\POP3Out\\GameChunk.qoe"))
    DebugLog("ChangeEmailPostfach : Konnte den Chunk nicht ablegen\n");
  FreeChunk(chunk);
  return 1;
}

int32_t Option1Screen(int32_t) {
  OptionenPrefs& o = QoESystemPtr->Optionen;
  ScreenBase base{};
  if (!OpenScreenPicture(&base, kPicture, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "Option1Screen: Konnte Pic nicht laden!\n");
    return -1;
  }
  auto* d = static_cast<Option1ScreenData*>(AllocVec(sizeof(Option1ScreenData), MEMF_PUBLIC | MEMF_CLEAR));
  auto finish = [&](int32_t next) {
    if (d) {
      StopTextCursor(d->cursor);
      CloseOptionLamps(&d->lamps);
      if (d->formFont) CloseFont(d->formFont);
      std::memset(d->fields, 0, sizeof d->fields);
    }
    FreeVec(d);
    CloseScreenBase(&base, next == -1 ? 0 : 1);
    return next;
  };
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    return finish(-1);
  };
  if (!d) return fail(SCREEN_STEP_MEMORY, "Option1Screen: Kein Speicher f\xFCr locale Daten!\n");
  d->active = -1;
  d->fields[NETF_POP3_PASSWORD].hidden = d->fields[NETF_SMTP_PASSWORD].hidden = 1;
  d->formFont = OpenDiskFont("fonts\\XHelvetica11.fnt");
  if (!d->formFont) return fail(SCREEN_STEP_FONT, "Option1Screen: Konnte Font nicht laden!\n");
  if (!OpenScreenFont(&base, "fonts\\ElmorC1.fnt"))
    return fail(SCREEN_STEP_FONT, "Option1Screen: Konnte Elmor-Font nicht \xF6" "ffnen !");
  if (const uint32_t step = OpenOptionPage(&base, &d->lamps, "Option1Screen", "OptionenScreen",
                                           ".\\Data\\Screendat\\Optionen1.dat", 411))
    return fail(step, nullptr);
  d->region = base.region;
  d->bits = o.net_option_bits;
  d->stack = o.tcpip_stack > 4 ? kTcpIpStackLan : o.tcpip_stack;
  DrawOption1Screen(d);
  ShowScreenBase(&base);

  // The typed fields leave only after the server test.
  auto leave_typed = [&]() { return !d->typed || UpdateOptionenPrefs(d); };
  int32_t next = -1;
  do {
    int32_t event = 0;
    Gadget* g = ScreenBaseEvent(&base, 6, &event);
    if (!g) continue;
    int32_t stack = -1, field = -1;
    for (uint32_t k = 0; k < 5; ++k)
      if (GadgetIs(g, kStackIds[k])) stack = static_cast<int32_t>(k);
    for (uint32_t n = 0; n < kInternetFields; ++n)
      if (GadgetIs(g, kFieldIds[n])) field = static_cast<int32_t>(n);
    if (stack >= 0) {
      if (d->stack == static_cast<uint32_t>(stack)) continue;
      d->stack = static_cast<uint32_t>(stack);
      DrawOption1Marks(d);
      ApplyChoices(d);
    } else if (GadgetIs(g, "BU18") || GadgetIs(g, "BU19")) {
      const uint8_t want = GadgetIs(g, "BU18") ? NET_MAIL_ROUTE : NET_SERVER_ROUTE;
      if (d->bits & want) continue;
      d->bits = static_cast<uint8_t>((d->bits & ~(NET_MAIL_ROUTE | NET_SERVER_ROUTE)) | want);
      DrawOption1Marks(d);
      ApplyChoices(d);
    } else if (GadgetIs(g, "IRCP")) {
      d->bits ^= NET_IRC_PANEL;
      DrawOption1Marks(d);
      ApplyChoices(d);
    } else if (field >= 0) {
      d->active = field;
      ActivateOption1Field(d);
    } else if (GadgetIs(g, "KEY!")) {
      const int32_t key = g->keyCode;
      if (d->active < 0) continue;
      d->typed = 1;
      // Leaving the address field with a changed address: recorded for the
      // next upload, or put back.
      if ((key == EK_ENTER || key == '\t') && d->active == static_cast<int32_t>(NETF_EMAIL) &&
          std::strcmp(FieldValue(d, NETF_EMAIL), o.email) != 0) {
        StopTextCursor(d->cursor);
        d->cursor = nullptr;
        ChangeEmailPostfach(d);
      }
      OptionFormKey(d->fields, kInternetFields, d->region, d->formFont, &d->cursor, &d->active, key);
    } else if (GadgetIs(g, "INFO")) {
      StopEditing(d);
      TextBox(GetCatalogStr(794));
    } else if (GadgetIs(g, "OKOK")) {
      StopEditing(d);
      if (!leave_typed()) continue;
      next = SCREEN_MAIN;
      if (!OptionenPrefsSave(&o)) DebugLog("OptionScreen: Fehler beim Speichern der OptionenPrefs!\n");
    } else if (GadgetIs(g, "PREV") || GadgetIs(g, "NEXT")) {
      StopEditing(d);
      if (leave_typed()) next = GadgetIs(g, "PREV") ? 133 : 1141;
    } else if (GadgetIs(g, "EXIT")) {
      StopEditing(d);
      next = SCREEN_MAIN;
    }
  } while (ScreenBaseStays(&next, SCREEN_MAIN));
  return OptionPagesNext(finish(next));
}
