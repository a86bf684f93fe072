// The sign-up's mail dialogue: the refusals of the player's SMTP server read
// and answered with the player's help (docs/signup.md, "The mail dialogue").
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gui/boxes.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/catalog.h"
#include "routinen/system/input.h"
#include "routinen/system/fieldtext.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/hub/signup_internal.h"

namespace {

constexpr uint32_t kOptionText = 40;
constexpr uint32_t kAnswerSize = 400;
const int32_t kAskedCodes[] = {421, 451, 501, 521, 530, 535, 550, 553, 554};

// An options field holds 39 characters; a longer text keeps its start.
void Store(char* field, const char* text) { CopyIntoField(field, kOptionText, text); }

bool IsOk(const char* answer) { return std::strncmp(answer, "ok", 2) == 0; }

// The form file of the record's number sent once with the options' account;
// the answer copied into answer.
void SendForm(SignupScreenData* d, char* answer) {
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  MailJob& j = d->job;
  std::snprintf(j.SmtpUser, sizeof j.SmtpUser, "%s", o.smtp_user);
  std::snprintf(j.SmtpPassword, sizeof j.SmtpPassword, "%s", o.smtp_password);
  char path[32];
  SignupFilePath(d->playerNumber, path, sizeof path);
  const char* a = SendFileAsEmail(path, &j, SENDFILE_POP_BEFORE_SMTP);
  std::snprintf(answer, kAnswerSize, "%s", a ? a : "");
  std::memset(j.SmtpPassword, 0, sizeof j.SmtpPassword);
  DebugLog("InitScreen: Antwort auf die Anmeldung <%s>\n", answer);
}

// The account, the form's field 9, the job's sender, the options' address
// and prefs field 8 become the shared mailbox N's, the form saved first.
// 0 (message 90, nothing changed) when the form cannot be saved.
int32_t SwitchToSharedMailbox(SignupScreenData* d) {
  char address[kSharedAddressSize];
  SharedMailboxAddress(d->sharedMailbox, address, sizeof address);
  uint8_t* copy = AllocChunk("INIT", "V001", INIT_PAYLOAD);
  if (!copy) return 0;
  std::memcpy(copy, d->chunk, INIT_CHUNK_SIZE);
  CopyIntoField(reinterpret_cast<char*>(copy + INIT_EMAIL), 40, address);  // the form's field: 39 characters
  char path[32];
  SignupFilePath(d->playerNumber, path, sizeof path);
  const int32_t saved = SaveChunk2File(path, copy);
  FreeChunk(copy);
  if (!saved) {
    DebugLog("InitScreen: Konnte %s mit dem Sammelpostfach nicht speichern\n", path);
    SignupSay(0, GetCatalogStr(90));
    return 0;
  }
  SwitchFormToSharedMailbox(d, d->sharedMailbox);
  std::snprintf(d->job.Sender, sizeof d->job.Sender, "%s", d->fieldText[9]);
  CheckPrefsStr(PREFS_EMAIL, 1, d->fieldText[9]);
  DebugLog("InitScreen: Sammelpostfach %u\n", d->sharedMailbox);
  return 1;
}

}  // namespace

int32_t SignupReplyCode(const char* answer) {
  if (!answer || answer[0] < '0' || answer[0] > '9') return -1;
  return static_cast<int32_t>(std::strtol(answer, nullptr, 10));
}

int32_t AskSmtpAuthLogin() {
  OptionenPrefs& o = QoESystemPtr->Optionen;
  SignupSay(0, GetCatalogStr(1307));
  char buffer[kOptionText] = {};
  const bool user_placeholder = std::strcmp(o.smtp_user, kOptionUserPlaceholder) == 0;
  std::memcpy(buffer, user_placeholder && OptionConfigured(o.pop3_user) ? o.pop3_user : o.smtp_user, kOptionText - 1);
  if (!SignupAsk(buffer, sizeof buffer, 1308, 1309, EINGABE_ALNUM | EINGABE_MAILCHARS)) return 0;
  Store(o.smtp_user, buffer);
  std::memset(buffer, 0, sizeof buffer);
  const bool password_placeholder = std::strcmp(o.smtp_password, kOptionPasswordPlaceholder) == 0;
  std::memcpy(buffer, password_placeholder && OptionConfigured(o.pop3_password) ? o.pop3_password : o.smtp_password,
              kOptionText - 1);
  const int32_t given = SignupAsk(buffer, sizeof buffer, 1310, 1311, EINGABE_NOBLANK);
  if (given) Store(o.smtp_password, buffer);
  std::memset(buffer, 0, sizeof buffer);
  return given;
}

void SignupMailDialogue(SignupScreenData* d) {
  OptionenPrefs& o = QoESystemPtr->Optionen;
  char answer[kAnswerSize];
  SendForm(d, answer);
  if (d->presetsApplied) SetMailProviderPresets(d->fieldText[9], PRESETS_POP3);
  // Switches to the shared mailbox and sends there; a failed save ends the
  // dialogue as a failed send.
  auto shared = [&] {
    if (SwitchToSharedMailbox(d)) {
      SendForm(d, answer);
      return;
    }
    std::snprintf(answer, kAnswerSize, "SMTP: the form could not be saved");
    d->again = 0;
    d->popAsked = d->authAsked = 1;
  };
  while (d->again || !d->popAsked || !d->authAsked) {
    if (IsOk(answer)) {
      CheckPrefs(PREFS_ACCOUNT_STATE, 1, ACCOUNT_SIGNUP_SENT);
      d->state = 1;
      DrawGetMailButton();
      SignupSay(0, GetCatalogStr(76));
      d->again = 0;
      d->popAsked = d->authAsked = 1;
      break;
    }
    // After the window's close every box answers at once without asking the
    // player: a pass would only repeat itself, so the dialogue ends here.
    if (WindowCloseRequested()) {
      DebugLog("InitScreen: Programmende, der Mail-Dialog endet\n");
      break;
    }
    const int32_t code = SignupReplyCode(answer);
    bool listed = false;
    for (int32_t c : kAskedCodes) listed = listed || c == code;
    if (listed) {
      DebugLog("InitScreen: Der Server lehnt ab (%d)\n", code);
      if (std::strlen(answer) > 3) {
        char text[kAnswerSize + 80];
        std::snprintf(text, sizeof text, "%s : %s", GetCatalogStr(687), answer);
        SignupSay(0, text);
      }
      const bool wants_auth = std::strstr(answer, "AUTH") || std::strstr(answer, "auth");
      if (!wants_auth && !d->popAsked) {
        d->again = static_cast<uint8_t>(AskPopBeforeSmtpLogin());
        d->popAsked = 1;
      } else {
        d->again = static_cast<uint8_t>(AskSmtpAuthLogin());
        d->authAsked = 1;
        // The server asked for AUTH: a POP3 log-in would not help, so a
        // cancelled SMTP-AUTH question ends the dialogue.
        if (!d->again && wants_auth) d->popAsked = 1;
      }
      if (!d->again) continue;
      SendForm(d, answer);
      if (!IsOk(answer) && d->presetsApplied) {
        if (AskSmtpServer()) std::snprintf(answer, kAnswerSize, "421");
        else shared();
      }
      continue;
    }
    DebugLog("InitScreen: Unbekannte Antwort des Servers (%d)\n", code);
    char text[kAnswerSize + 400];
    std::snprintf(text, sizeof text, "%s : %s  - %s", GetCatalogStr(687), answer, GetCatalogStr(1460));
    if (SignupSay(1, text) == 0) {
      std::snprintf(answer, kAnswerSize, "421");
      d->popAsked = d->authAsked = 0;
    } else {
      shared();
    }
  }
  if (!IsOk(answer)) {
    if (d->smtpHostSetNow) Store(o.smtp_host, kOptionHostPlaceholder);
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, ACCOUNT_NONE);
    d->state = 0;
    SignupSay(0, GetCatalogStr(87));
  }
  if (d->state == 1) {
    Store(o.email, d->fieldText[9]);
    if (!OptionenPrefsSave(&o)) DebugLog("InitScreen: Konnte Optionen nicht speichern\n");
    d->sentThisVisit = 1;
  }
}
