// The sign-up screen. See signup.h, signup_internal.h and docs/signup.md.
#include "signup.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/display.h"
#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/gui/boxes.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/internetlowlevel/mac.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/internetlowlevel/packets.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/shell.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/textentry.h"
#include "routinen/system/timer.h"
#include "screens/common/screenbase.h"
#include "screens/hub/residenzdownload.h"
#include "screens/hub/signup_internal.h"

namespace {

constexpr uint32_t kPicture = 32, kButton = 106, kButtonPressed = 107;
constexpr uint32_t kBoxPen = 7, kFieldPen = 6, kTextPen = 7;
constexpr int32_t kCancelX = 474, kRegisterX = 336, kGetMailX = 196, kButtonY = 463;
constexpr char kPop3In[] = ".\\Data\\POP3In";

uint32_t Say(uint32_t mode, const char* text) { return SignupSay(mode, text); }

bool IsFormField(uint32_t f) { return f >= 1 && f <= 16 && !(f >= 10 && f <= 13); }

// The width table of a field inside the block.
uint8_t* FieldWidths(SignupScreenData* d, uint32_t field) {
  uint32_t off = 0;
  for (uint32_t i = 1; i < field; ++i) off += d->fields[i].maxLength;
  return d->widths + off;
}

void RebuildWidths(SignupScreenData* d, uint32_t field) {
  const SignupFieldDef& f = d->fields[field];
  RastPort* rp = ScreenRastPort();
  if (rp && d->formFont) SetFont(rp, d->formFont);
  GetCharWidths(rp, d->fieldText[field], d->fieldText[field], FieldWidths(d, field), f.maxLength);
}

// A button drawn pressed, then released (the click's answer on the screen).
void PressButton(int32_t x, uint32_t caption) {
  RastPort* rp = ScreenRastPort();
  if (!rp) return;
  BlitObjektText(rp, kButtonPressed, GetCatalogStr(caption), x, kButtonY);
  ShowScreenRect(rp, x, kButtonY, 80, 16);
  Delay(2);
  BlitObjektText(rp, kButton, GetCatalogStr(caption), x, kButtonY);
  ShowScreenRect(rp, x, kButtonY, 80, 16);
}

}  // namespace

void DrawGetMailButton() {
  RastPort* rp = ScreenRastPort();
  if (!rp) return;
  BlitObjektText(rp, kButton, GetCatalogStr(23), kGetMailX, kButtonY);
  ShowScreenRect(rp, kGetMailX, kButtonY, 80, 16);
}

namespace {

void HideCursor(SignupScreenData* d) {
  StopTextCursor(d->cursor);
  d->cursor = nullptr;
}

// The decoded answer: the rejection, a missing map or the installed game.
void InstallFromAnswer(SignupScreenData* d, const EmailNode* mail) {
  uint32_t size = 0;
  char* text = static_cast<char*>(LoadFile2MemSize(mail->path, MEMF_PUBLIC, &size));
  if (!text) {
    DebugLog("InitScreen: Konnte Email nicht in den Speicher laden !\n");
    return;
  }
  char target[200];
  std::snprintf(target, sizeof target, "%s\\GameChunk.qoe", kPop3In);
  DebugLog("Folgender Chunk wird zur Einrichtung genommen : %s\n", target);
  const int32_t decoded = DecrunchOneEmail(text, size, target);
  FreeVec(text);
  if (!decoded) {
    // The mail stays: a damaged answer is not taken for a refusal.
    DebugLog("InitScreen: Konnte Email nicht entpacken !\n");
    return;
  }
  uint32_t answer_size = 0;
  auto* answer = static_cast<uint8_t*>(LoadFile2MemSize(target, MEMF_PUBLIC, &answer_size));
  SignupAnswerInfo info{};
  char* reason = static_cast<char*>(AllocVec(answer_size + 1u, MEMF_PUBLIC | MEMF_CLEAR));
  ReadSignupAnswer(answer, answer_size, &info, reason, reason ? answer_size + 1u : 0);
  FreeVec(answer);
  if (info.rejected) {
    Say(0, GetCatalogStr(77));
    SignupText(reason && reason[0] ? reason : "");
    DeleteFileA(target);
    DeleteFileA(mail->path);
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, ACCOUNT_NONE);
    d->state = 0;
  }
  FreeVec(reason);
  if (!IsChunkInFile(ChunkBit(CHUNK_BMAP) | ChunkBit(CHUNK_IMAP) | ChunkBit(CHUNK_PMAP), target)) {
    Say(0, GetCatalogStr(75));
    DeleteFileA(mail->path);
  } else {
    const bool deep = DisplayDepth() > 8;
    if (deep) KartenScreenSaveData();
    if (!InstallGame(target, static_cast<uint32_t>(mail->date))) {
      // Nothing is lost: the answer and the form stay for the next try.
      DebugLog("InitScreen: GameInit fehlgeschlagen, die Antwort bleibt\n");
      if (deep) KartenScreenNewSetup();
      Say(0, GetCatalogStr(75));
      return;
    }
    DeleteFileA(mail->path);
    d->state = 2;
    d->next = SCREEN_MAIN;
    if (deep) KartenScreenNewSetup();
    Say(0, GetCatalogStr(74));
    Say(0, GetCatalogStr(1419));
    NeuerSpielzug();
    ResidenzDownload(nullptr, nullptr);
  }
  d->playerNumber = CheckPrefs(PREFS_SIGNUP_NUMBER, 0, 0);
  char path[32];
  SignupFilePath(d->playerNumber, path, sizeof path);
  DeleteFileA(path);
  DeleteFileA(".\\Data\\POP3Out\\GameChunk.qoe");
}

// The quick route: a nickname, the shared game mailbox, the optional
// confirmation address and mobile number, then the registration.
void QuickRoute(SignupScreenData* d) {
  // An answer asked again until the form's checks take it; a cancel puts
  // the field back as it was. 1 when the field was taken.
  auto ask = [&](uint32_t field, uint32_t prompt, uint32_t help, uint32_t filter) {
    char* text = d->fieldText[field];
    char before[40];
    std::memcpy(before, text, 40);
    for (;;) {
      char buffer[40] = {};
      std::memcpy(buffer, text, 39);
      if (!SignupAsk(buffer, sizeof buffer, prompt, help, filter)) {
        std::memcpy(text, before, 40);
        RebuildWidths(d, field);
        if (d->drawn) DrawSignupField(d, field);
        return 0;
      }
      std::memset(text, 0, 40);
      std::memcpy(text, buffer, 39);
      RebuildWidths(d, field);
      if (d->drawn) DrawSignupField(d, field);
      if (CheckPlayername(d, 0)) return 1;
    }
  };
  if (!ask(8, 1465, 630, EINGABE_LETTERS)) return;
  SwitchFormToSharedMailbox(d, d->sharedMailbox);
  RebuildWidths(d, 9);
  if (Say(1, GetCatalogStr(1474)) == 0) ask(14, 1476, 1472, EINGABE_ALNUM | EINGABE_MAILCHARS);
  if (Say(1, GetCatalogStr(1475)) == 0) ask(15, 1477, 1473, EINGABE_DIGITS);
  SignupRegistration(d);
}

// The mail route instead of the game server's for the sign-up.
void PreferMailRoute() {
  uint8_t& bits = QoESystemPtr->Optionen.net_option_bits;
  if (bits & NET_SERVER_ROUTE) bits = static_cast<uint8_t>((bits & ~NET_SERVER_ROUTE) | NET_MAIL_ROUTE);
}

}  // namespace

void CloseSignupHelp(SignupScreenData* d) {
  if (!d->help) return;
  CloseChiefMessage(d->help);
  d->help = nullptr;
}

SignupScreenData* NewSignupData() {
  auto* d = static_cast<SignupScreenData*>(AllocVec(sizeof(SignupScreenData), MEMF_PUBLIC | MEMF_CLEAR));
  if (!d) return nullptr;
  d->next = -1;
  d->again = 1;
  const uint32_t number = CheckPrefs(PREFS_SIGNUP_NUMBER, 0, 0);
  d->playerNumber = number == 0xFFFFFFFFu ? 0 : number;
  if (d->playerNumber) {
    char path[32];
    SignupFilePath(d->playerNumber, path, sizeof path);
    DebugLog("Versuche folgenden Chunk aufzumachen : %s\n", path);
    d->chunk = LoadInitChunk(d->playerNumber);
  }
  if (!d->chunk) d->chunk = NewInitChunk();
  d->widths = static_cast<uint8_t*>(AllocVec(kSignupWidthBlock, MEMF_PUBLIC | MEMF_CLEAR));
  if (!d->chunk || !d->widths) {
    FreeSignupData(d);
    return nullptr;
  }
  const SignupFieldDef* table = SignupFieldTable();
  for (uint32_t i = 0; i < kSignupFields; ++i) {
    d->fields[i] = table[i];
    if (!d->fields[i].flag) continue;
    d->fields[i].label = GetCatalogStr(table[i].labelId);
    d->fields[i].help = GetCatalogStr(table[i].helpId);
    d->fieldText[i] = reinterpret_cast<char*>(d->chunk + table[i].offset);
    d->fieldText[i][table[i].maxLength - 1] = 0;  // a full field ends inside it
  }
  const uint32_t state = CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0);
  d->state = state > ACCOUNT_INSTALLED ? ACCOUNT_NONE : state;
  d->sharedMailbox = Zufall(50) + 1;
  return d;
}

void FreeSignupData(SignupScreenData* d) {
  if (!d) return;
  HideCursor(d);
  CloseSignupHelp(d);
  if (d->mails) DeleteList(d->mails, 1);
  if (d->savedBackground) FreeBitMap(d->savedBackground);
  FreeVec(d->widths);
  if (d->chunk) FreeChunk(d->chunk);
  FreeVec(d);
}

void DrawSignupField(SignupScreenData* d, uint32_t field) {
  RastPort* rp = ScreenRastPort();
  if (!rp || !IsFormField(field)) return;
  const SignupFieldDef& f = d->fields[field];
  if (d->formFont) SetFont(rp, d->formFont);
  SetAPen(rp, kFieldPen);
  RectFill(rp, f.boxX, f.boxY, f.boxX + f.boxWidth - 1, f.boxY + f.boxHeight - 1);
  PrintTextOutlined(rp, f.labelX, f.labelY, f.labelX + f.labelWidth - 1, f.labelY + f.labelHeight - 1,
                    f.label ? f.label : "", kFieldPen, kTextPen, PTO_BASELINE | PTO_VCENTRE | PTO_RAISE);
  SetAPen(rp, kTextPen);
  SetDrMd(rp, 0);
  if (f.lines > 1)
    PrintTextWrapped(rp, d->fieldText[field], f.textX, f.textY, f.maxLength - 1u, f.lines, f.wrapWidth);
  else
    PrintTextBlock(rp, d->fieldText[field], f.textX, f.textY, f.maxLength - 1u, f.lines, f.wrapWidth);
  SetDrMd(rp, 1);
  const int32_t top = f.labelY < f.boxY ? f.labelY : f.boxY;
  ShowScreenRect(rp, f.boxX < f.labelX ? f.boxX : f.labelX, top, 640 - 20, f.boxY + f.boxHeight - top);
}

void DrawSignupForm(SignupScreenData* d, uint32_t field, int32_t force) {
  if (!IsFormField(field)) field = 1;
  if (!force && d->activeField == field) return;
  HideCursor(d);
  d->activeField = static_cast<uint16_t>(field);
  CloseSignupHelp(d);
  const SignupFieldDef& f = d->fields[field];
  d->help = reinterpret_cast<ChiefMessageBox*>(
      ChiefMessage(66, 336, field == 16 ? 344 : f.boxY, 0, 0, 0, 2, f.help ? f.help : "", kBoxPen));
  RastPort* rp = ScreenRastPort();
  if (!rp) return;
  RebuildWidths(d, field);
  const uint8_t* widths = FieldWidths(d, field);
  int32_t x = f.textX, y = f.textY;
  if (f.lines > 1) {
    uint32_t lines = 0;
    const uint32_t last = TextPixelWidthLines(d->fieldText[field], widths, f.wrapWidth, &lines);
    x += static_cast<int32_t>(last);
    if (lines > 1) y += static_cast<int32_t>((lines - 1) * (rp->TxHeight + 1u));
  } else {
    x += static_cast<int32_t>(TextPixelWidth(d->fieldText[field], widths, 0));
  }
  d->cursor = SetTextCursor(x, y, rp->TxHeight, 2, kTextPen, rp);
}

void SendSignupForm(SignupScreenData* d) {
  if (GoOnline() == 1 && CheckPlayernameInForum(d)) SignupMailDialogue(d);
  Auflegen();
}

void FillSignupJob(SignupScreenData* d) {
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  MailJob& j = d->job;
  j = MailJob{};
  j.Length = INIT_CHUNK_SIZE;
  j.Kind = MAILJOB_SIGNUP;
  std::snprintf(j.Sender, sizeof j.Sender, "%s", d->fieldText[9]);
  std::snprintf(j.Recipient, sizeof j.Recipient, "%s", QoESystemPtr->Endpoints.RegistrationMailbox);
  std::snprintf(j.SmtpUser, sizeof j.SmtpUser, "%s", o.smtp_user);
  std::snprintf(j.SmtpPassword, sizeof j.SmtpPassword, "%s", o.smtp_password);
  std::snprintf(j.FirstName, sizeof j.FirstName, "%s", d->fieldText[1]);
  std::snprintf(j.LastName, sizeof j.LastName, "%s", d->fieldText[2]);
  j.PlayerNumber = d->playerNumber;
}

void SignupRegistration(SignupScreenData* d) {
  if (!CheckPlayername(d, 1)) return;
  CloseSignupHelp(d);
  if (d->sentThisVisit && Say(1, GetCatalogStr(1498)) != 0) return;
  Say(0, GetCatalogStr(1420));
  d->again = 1;
  d->popAsked = d->authAsked = 0;
  d->presetsApplied = d->smtpHostSetNow = 0;
  OptionenPrefs& o = QoESystemPtr->Optionen;
  if (!OptionConfigured(o.smtp_host)) {
    if (SetMailProviderPresets(d->fieldText[9], PRESETS_SMTP)) {
      d->presetsApplied = d->smtpHostSetNow = 1;
    } else {
      Say(0, GetCatalogStr(637));
      if (!AskSmtpServer()) {
        Say(0, GetCatalogStr(640));
        return;
      }
    }
  }
  // The new form, prefs field 11 naming it with the names and the address
  // it holds, and the removal of the form it replaces go together.
  const uint32_t old = CheckPrefs(PREFS_SIGNUP_NUMBER, 0, 0);
  const uint32_t now = d->now ? d->now() : static_cast<uint32_t>(std::time(nullptr));
  d->playerNumber = PlayerNumberOf(d->chunk, now);
  DebugLog("Generiere Checksumme_MW : %7.7u \n", d->playerNumber);
  if (d->playerNumber == 0) {
    Say(0, GetCatalogStr(72));
    return;
  }
  ChunkPut32(d->chunk, INIT_SENT_TIME, now);
  ChunkPut16(d->chunk, INIT_FORM_VERSION, 2);
  const uint32_t text_fields[4] = {PREFS_LORD_NAME, PREFS_FIRST_NAME, PREFS_LAST_NAME, PREFS_EMAIL};
  const char* const texts[4] = {d->fieldText[8], d->fieldText[1], d->fieldText[2], d->fieldText[9]};
  if (!CommitSignupForm(d->chunk, d->playerNumber, old, text_fields, texts, 4)) {
    Say(0, GetCatalogStr(90));
    d->playerNumber = 0;
    return;
  }
  FillSignupJob(d);
  SendSignupForm(d);
  d->playerNumber = 0;
}

void SignupGetMail(SignupScreenData* d) {
  CloseSignupHelp(d);
  if (d->drawn) PressButton(kGetMailX, 23);
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  if ((!OptionConfigured(o.pop3_host) || std::strcmp(o.pop3_password, kOptionPasswordPlaceholder) == 0) &&
      !AskPopBeforeSmtpLogin())
    return;
  d->mails = CreateList(LIST_TURN_MAILS);
  if (!d->mails) {
    DebugLog("kein Speicher f\xFCr ListHeader vorhanden...\n");
    d->next = SCREEN_TITLE;
    return;
  }
  bool found = false;
  if (GoOnline() == 1) {
    char name[MAIL_NAME_SIZE];
    SignupMailName(CheckPrefs(PREFS_SIGNUP_NUMBER, 0, 0), name);
    DebugLog("nach folgenden Mails wird gescannt : %s\n", name);
    auto* box = reinterpret_cast<ChiefMessageBox*>(ChiefMessage(66, 168, 180, 0, 0, 0, 2, GetCatalogStr(1511), kBoxPen));
    const char* answer = GetEMail(o.pop3_host, o.pop3_user, o.pop3_password, name, ".\\Data\\POP3In\\", 0, 1);
    CloseChiefMessage(box);
    if (!answer) answer = "";
    if (std::strcmp(answer, "ok") != 0) {
      char text[400];
      std::snprintf(text, sizeof text, "%s : %s", GetCatalogStr(688), answer);
      Say(0, text);
    } else {
      OptionenPrefsSave(&o);
      char pattern[MAIL_NAME_SIZE + 8];
      std::snprintf(pattern, sizeof pattern, "%s.email", name);
      if (ScanEmails2List(d->mails, kPop3In, pattern) > 0) {
        DeleteNotNeededNodes(d->mails);
        if (d->mails->first) {
          found = true;
          InstallFromAnswer(d, reinterpret_cast<const EmailNode*>(d->mails->first));
        }
      }
    }
  }
  Auflegen();
  DeleteList(d->mails, 1);
  d->mails = nullptr;
  if (!found) Say(0, GetCatalogStr(71));
}

int32_t InitScreen(int32_t) {
  ScreenBase base{};
  if (!OpenScreenPicture(&base, kPicture, 1)) {
    ScreenStartFailed(&base, SCREEN_STEP_PICTURE, "InitScreen: Konnte Pic nicht laden!\n");
    return -1;
  }
  SignupScreenData* d = nullptr;
  auto finish = [&](int32_t next) {
    if (d && d->formFont) CloseFont(d->formFont);
    if (d) d->formFont = nullptr;
    FreeSignupData(d);
    CloseScreenBase(&base, next);
    return next;
  };
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    return finish(-1);
  };
  if (!OpenScreenFont(&base, "fonts\\ElmorC1.fnt"))
    return fail(SCREEN_STEP_FONT, "InitScreen: Konnte Elmor-Font nicht \xF6" "ffnen !");
  d = NewSignupData();
  if (!d) return fail(SCREEN_STEP_MEMORY, "InitScreen: Konnte loakle Daten nicht allokieren!\n");
  d->formFont = OpenDiskFont("fonts\\XHelvetica11.fnt");
  if (!d->formFont) return fail(SCREEN_STEP_FONT, "InitScreen: Konnte 2.Elmor-Font nicht \xF6" "ffnen !");
  d->savedBackground = SaveBackground(20, 218, 300, 100);
  if (!d->savedBackground) return fail(SCREEN_STEP_MEMORY, "InitScreen: Konnte Bitmap nicht retten!\n");

  RastPort* rp = ScreenRastPort();
  SetFont(rp, base.font);
  PrintTextOutlined(rp, 200, 11, 442, 27, GetCatalogStr(21), kFieldPen, kTextPen,
                    PTO_CENTRE | PTO_BASELINE | PTO_VCENTRE);
  BlitObjektText(rp, kButton, GetCatalogStr(22), kCancelX, kButtonY);
  BlitObjektText(rp, kButton, GetCatalogStr(21), kRegisterX, kButtonY);
  OptionenPrefs& o = QoESystemPtr->Optionen;
  if (d->state != ACCOUNT_NONE) {
    BlitObjektText(rp, kButton, GetCatalogStr(23), kGetMailX, kButtonY);
  } else if (OptionConfigured(o.email)) {
    std::memset(d->fieldText[9], 0, 40);
    std::memcpy(d->fieldText[9], o.email, 39);
  }
  Mac(d->chunk + INIT_MAC, nullptr);
  for (uint32_t f = 1; f < kSignupFields; ++f) {
    if (!IsFormField(f)) continue;
    RebuildWidths(d, f);
    DrawSignupField(d, f);
  }
  ShowScreenBase(&base);
  WaitTransition();
  d->drawn = 1;

  if (d->state == ACCOUNT_NONE) {
    SignupText(GetCatalogStr(622));
    SignupText(GetCatalogStr(1539));
    if (Say(1, GetCatalogStr(1464)) != 0) {
      PreferMailRoute();
      DrawSignupForm(d, 1, 1);
    } else {
      DrawSignupForm(d, 1, 1);
      QuickRoute(d);
    }
  } else {
    DrawSignupForm(d, 1, 1);
    if (d->state == ACCOUNT_SIGNUP_SENT) SignupGetMail(d);
  }

  auto leave_field9 = [&](uint32_t to) {
    if (d->activeField == 9 && to != 9) OfferTemporaryAddress(d);
  };
  // The form stays until the player leaves or the game was installed in
  // this visit (which sets the way to the main screen).
  while (d->next == -1) {
    if (WindowCloseRequested()) {
      d->next = SCREEN_TITLE;
      break;
    }
    if (!d->cursor && !d->help) DrawSignupForm(d, d->activeField, 1);
    const int32_t ev = WaitEvent(0);
    if (WindowCloseRequested() || ev == WE_KEY_ESCAPE) {
      CloseSignupHelp(d);
      d->next = SCREEN_TITLE;
      break;
    }
    if (ev == WE_LEFT_UP) {
      if (MouseInRect(474, 615, 461, 479)) {
        CloseSignupHelp(d);
        PressButton(kCancelX, 22);
        d->next = SCREEN_TITLE;
        break;
      }
      bool on_field = false;
      for (uint32_t f = 1; f < kSignupFields && !on_field; ++f) {
        const SignupFieldDef& def = d->fields[f];
        if (!IsFormField(f) ||
            !MouseInRect(def.labelX, def.labelX + def.labelWidth, def.labelY, def.boxY + def.boxHeight))
          continue;
        on_field = true;
        leave_field9(f);
        DrawSignupForm(d, f, d->cursor == nullptr);
      }
      if (on_field) continue;
      if (MouseInRect(336, 480, 461, 479)) {
        HideCursor(d);
        PressButton(kRegisterX, 21);
        SignupRegistration(d);
        if (d->next == -1) DrawSignupForm(d, d->activeField, 1);
      } else if (d->state != ACCOUNT_NONE && MouseInRect(198, 339, 461, 479)) {
        HideCursor(d);
        SignupGetMail(d);
        if (d->next == -1) DrawSignupForm(d, d->activeField, 1);
      }
      continue;
    }
    if (ev == WE_KEY_ENTER || ev == 9) {
      const uint32_t to = NextSignupField(d->activeField);
      leave_field9(to);
      DrawSignupForm(d, to, d->cursor == nullptr);
      continue;
    }
    if (ev > 0 && ev < 256 && IsFormField(d->activeField) && d->cursor) {
      const SignupFieldDef& f = d->fields[d->activeField];
      if (rp && d->formFont) SetFont(rp, d->formFont);
      EditKey(ev, d->fieldText[d->activeField], FieldWidths(d, d->activeField), d->cursor, f.textX, f.textY,
              f.wrapWidth, f.maxLength - 1u, f.lines, kTextPen, kFieldPen);
    }
  }
  const int32_t next = d->next == -1 ? SCREEN_TITLE : d->next;
  SignupVisitEnds(d);
  return finish(next);
}
