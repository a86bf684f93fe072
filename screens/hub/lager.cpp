// The update store. See lager.h and docs/tavern.md.
#include "lager.h"

#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "platform/display.h"
#include "platform/log.h"
#include "platform/threads.h"
#include "routinen/gui/chiefmessage.h"
#include "routinen/gui/layout.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/text.h"
#include "routinen/media/sound.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/graphics.h"
#include "routinen/system/input.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"
#include "routinen/system/version.h"
#include "screens/common/screenbase.h"

namespace {

constexpr uint32_t kPicture = 61, kNextCode = 59, kCdTrack = 3;
constexpr uint32_t kPenHead = 146, kPenText = 21, kPenBar = 72, kPenMessage = 7;
constexpr int32_t kColumnX1 = 144, kColumnX2 = 496, kHeadY = 100, kRuleY1 = 124, kFirstLineY = 148,
                  kLineStep = 12, kRuleY2 = 284, kLabelX = 172, kValueX = 380, kOwnY = 308, kServerY = 320,
                  kSizeY = 380;
// The parchment's writing space inside the requester's column.
constexpr int32_t kWritingMargin = 24, kWritingWidth = kColumnX2 - kColumnX1 - 2 * kWritingMargin;
constexpr uint32_t kTextServer = 3, kTextSorry1 = 4, kTextSorry2 = 5, kTextSorry3 = 6, kTextOwn = 7,
                   kTextOnServer = 8, kTextSize = 9, kTextFailed = 783, kTextDone = 785;
const char kRule[] = "---------------------------";
const char kTempFile[] = ".\\ftptemp.txt";

// The store's test seams (set by tests, read on the game thread).
struct LagerModuleState {
  std::atomic<void (*)(int32_t, const char*, void*)> printHook{nullptr};
  std::atomic<void*> printArg{nullptr};
  std::atomic<int32_t> lastBar{-1};
};
LagerModuleState g_lager;

bool Online() { return (QoESystemPtr->Status.load() & SYSSTATUS_ONLINE) != 0; }

void Lock() {
  if (QoeMutex* m = DisplayMutex()) ObtainMutex(m);
}
void Unlock() {
  if (QoeMutex* m = DisplayMutex()) ReleaseMutex(m);
}

// One line of a requester, centred in its column (centre 0: from x). A line
// wider than the scroll's writing space is cut there: nothing may be drawn
// outside the requester, whose background alone is put back.
void Line(int32_t x, int32_t y, const char* text, uint32_t pen, bool centre) {
  char cut[kLagerDescriptionMax + 1];
  std::snprintf(cut, sizeof cut, "%s", text);
  RastPort* rp = ScreenRastPort();
  const uint32_t room = (uint32_t)(centre ? kWritingWidth : kColumnX2 - kWritingMargin - x);
  uint32_t n = (uint32_t)std::strlen(cut);
  while (rp && n && TextLength(rp, cut, n) > room) --n;
  cut[n] = 0;
  if (auto hook = g_lager.printHook.load()) hook(y, cut, g_lager.printArg.load());
  if (centre) PrintTextOutlined(nullptr, kColumnX1, y, kColumnX2, y, cut, 0, pen, PTO_CENTRE | PTO_TOP);
  else PrintTextOutlined(nullptr, x, y, x, y, cut, 0, pen, PTO_TOP);
}

// The lines both requesters end with: the two versions and the size.
void VersionLines(const LagerScreenData* d, const char* server, uint64_t size) {
  char value[32];
  Line(kLabelX, kOwnY, GetCatalogStr(kTextOwn), kPenText, false);
  std::snprintf(value, sizeof value, ": V %4s", d->ownText);
  Line(kValueX, kOwnY, value, kPenText, false);
  Line(kLabelX, kServerY, GetCatalogStr(kTextOnServer), kPenText, false);
  std::snprintf(value, sizeof value, ": V %4s", server);
  Line(kValueX, kServerY, value, kPenText, false);
  char line[64];
  std::snprintf(line, sizeof line, "%-8s %6" PRIu64 " KB", GetCatalogStr(kTextSize), size / 1024);
  Line(kLabelX, kSizeY, line, kPenText, false);
}

// The requester's frame over the store: the screen under it saved, the
// torches paused, graphic 69 drawn. Null (logged) when either fails; what
// was done is undone.
BitMap* OpenRequester(LagerScreenData* d) {
  BitMap* under = SaveBackground(kLagerReqX, kLagerReqY, kLagerReqSize, kLagerReqSize);
  if (!under) {
    DebugLog("LagerScreen: Konnte Speicher f\xFCr Layer nicht allokieren !\n");
    return nullptr;
  }
  if (d->base) PauseScreenMovies(d->base, 1);
  if (OpenElmorGfx(".\\Data\\Path", kLagerRequesterGfx) != 1) {
    DebugLog("Konnte Requestergrafik nicht laden!\n");
    RestoreBackground(under, kLagerReqX, kLagerReqY, kLagerReqSize, kLagerReqSize);
    if (d->base) PauseScreenMovies(d->base, 0);
    return nullptr;
  }
  BlitObjekt(nullptr, kLagerRequesterGfx, kLagerReqX, kLagerReqY, kLagerReqSize, kLagerReqSize);
  CloseElmorGfx(kLagerRequesterGfx);
  return under;
}

void CloseRequester(LagerScreenData* d, BitMap* under) {
  RestoreBackground(under, kLagerReqX, kLagerReqY, kLagerReqSize, kLagerReqSize);
  if (d->base) PauseScreenMovies(d->base, 0);
}

// Waits for the requester's EXIT (also Escape) or OKOK; true for OKOK.
bool RequesterChoice(LagerScreenData* d) {
  RestoreMouseGadgets(nullptr, d->reqRegion);
  KeyScope keys;  // a key held from before the requester does not answer it
  for (;;) {
    const int32_t e = WaitEvent(WE_TICKS);
    if (WindowCloseRequested()) return false;
    Gadget* g = d->reqRegion ? HandleGadgetEvent(nullptr, d->reqRegion, static_cast<uint32_t>(e)) : nullptr;
    if (!g && e == WE_KEY_ESCAPE) return false;
    if (g && GadgetIs(g, "OKOK")) return true;
    if (g && GadgetIs(g, "EXIT")) return false;
  }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

void SetLagerPrintHook(void (*hook)(int32_t y, const char* text, void* arg), void* arg) {
  g_lager.printArg.store(arg);
  g_lager.printHook.store(hook);
  g_lager.lastBar.store(-1);
}

int32_t LagerLastBarWidth() { return g_lager.lastBar.load(); }

void ReadUpdateDescription(const char* data, uint32_t size, UpdateDescription* out) {
  std::memset(out, 0, sizeof *out);
  std::memcpy(out->versionText, "----", 5);
  if (!data) return;
  if (size > kLagerDescriptionMax) size = kLagerDescriptionMax;
  if (size >= 9 && IsDigit(data[5]) && IsDigit(data[6]) && IsDigit(data[7])) {
    out->found = 1;
    out->version = (uint32_t)(data[5] - '0') * 100 + (uint32_t)(data[6] - '0') * 10 + (uint32_t)(data[7] - '0');
    const char t[5] = {data[5], '.', data[6], data[7], 0};
    std::memcpy(out->versionText, t, 5);
  }
  if (size > 9) {
    out->text = data + 9;
    out->textLength = size - 9;
  }
}

int32_t NextDescriptionLine(const UpdateDescription* d, uint32_t* at, const char** line, uint32_t* length) {
  if (!d->text || *at >= d->textLength) return 0;
  const char* start = d->text + *at;
  const uint32_t left = d->textLength - *at;
  uint32_t n = 0;
  while (n < left && start[n] != '\n') ++n;
  *line = start;
  *length = n;
  *at += n < left ? n + 1 : n;
  return 1;
}

uint32_t GetClientVersion(LagerScreenData* d) {
  const char* v = std::strchr(kClientVersionString, 'V');
  // "$VER:" holds the first V; the version's is the one before a digit.
  while (v && !IsDigit(v[1])) v = std::strchr(v + 1, 'V');
  uint32_t digits[3] = {0, 0, 0}, n = 0;
  for (const char* p = v ? v + 1 : ""; *p && *p != ' ' && n < 3; ++p)
    if (IsDigit(*p)) digits[n++] = (uint32_t)(*p - '0');
  d->ownVersion = digits[0] * 100 + digits[1] * 10 + digits[2];
  std::snprintf(d->ownText, sizeof d->ownText, "%u.%u%u", digits[0], digits[1], digits[2]);
  return d->ownVersion;
}

uint32_t CollectUpdateFiles(LagerScreenData* d) {
  d->count = 0;
  const FtpListing* l = GetFTPListing();
  if (!l) return 0;
  for (uint32_t i = 0; i < l->Count && d->count < kLagerMaxCasks; ++i) {
    const FtpListEntry& e = l->Entries[i];
    if (!std::strstr(e.TextName, ".txt")) continue;
    if (!std::strstr(e.FileName, ".zip") && !std::strstr(e.FileName, ".exe")) continue;
    const uint32_t k = d->count++;
    std::snprintf(d->fileNames[k], FTP_NAME, "%s", e.FileName);
    std::snprintf(d->textNames[k], FTP_NAME, "%s", e.TextName);
    d->fileSizes[k] = e.FileSize;
    d->textSizes[k] = e.TextSize;
  }
  return d->count;
}

void DrawUpdateCasks(const ScreenRegion* casks, uint32_t count) {
  DebugLog("Anzahl %u\n", count);
  for (uint32_t i = 0; i < count; ++i) {
    const LayoutPoint* p = GetLayoutPoint(casks, i);
    if (!p) break;
    DebugLog("FassPos x %u y %u\n", p->x, p->y);
    BlitObjektMask(nullptr, kLagerCaskGfx, 0, p->x, p->y, 115, 95);
    if (i == 3) BlitObjektMask(nullptr, kLagerPieceGfx, 0, kLagerPieceX, kLagerPieceY, 48, 90);
  }
}

int32_t InitUpdateData(LagerScreenData* d, const ScreenRegion* casks) {
  if (!Online()) {
    DebugLog("InitUpdateData:ONLINE FLAG NICHT GESETZT!\n");
    return 0;
  }
  const EndpointConfig& ep = QoESystemPtr->Endpoints;
  const char* status = OpenFTP(ep.FtpHost, 21, ep.FtpUser, ep.FtpPassword, "/");
  std::snprintf(d->ftpStatus, sizeof d->ftpStatus, "%s", status ? status : "");
  if (std::strcmp(d->ftpStatus, "FTP OK") != 0) {
    DebugLog("InitUpdateData: 1. OpenFTP reported : %s\n", d->ftpStatus);
    return 0;
  }
  CollectUpdateFiles(d);
  DrawUpdateCasks(casks, d->count);
  return d->count > 0 ? 1 : 0;
}

int32_t FindUpdateCask(const ScreenRegion* casks, int32_t x, int32_t y, uint32_t count) {
  if (!Online()) return -1;
  for (uint32_t i = 0; i < count; ++i) {
    const LayoutPoint* p = GetLayoutPoint(casks, i);
    if (!p) break;
    if (x >= p->x + 2 && x <= p->x + 70 && y >= p->y + 26 && y <= p->y + 94) return (int32_t)i;
  }
  return -1;
}

int32_t FtpProgressBarWidth(uint64_t total, uint64_t done) {
  if (total < 1024) return -1;
  uint64_t w = (done / 10) * (uint64_t)kLagerBarWidth / (total / 10);
  if (w > (uint64_t)kLagerBarWidth) w = kLagerBarWidth;
  return (int32_t)w;
}

void DrawFtpProgressBar(uint64_t total, uint64_t done) {
  const int32_t w = FtpProgressBarWidth(total, done);
  if (w < 0) return;
  g_lager.lastBar.store(w);
  RastPort* rp = ScreenRastPort();
  if (!rp) return;
  Lock();
  SetAPen(rp, kPenBar);
  RectFill(rp, kLagerBarX, kLagerBarY1, kLagerBarX + w, kLagerBarY2);
  Unlock();
  ShowScreenRect(rp, kLagerBarX, kLagerBarY1, w + 1, kLagerBarY2 - kLagerBarY1 + 1);
}

int32_t Download2Ram(LagerScreenData* d, const char* local, uint32_t i) {
  if (i >= d->count) return 0;
  // The FTP client writes beside the target and replaces it only with the
  // whole file, so a broken download leaves an existing file as it was.
  if (!GetFTPData(d->fileNames[i], "/", d->fileSizes[i], local, DrawFtpProgressBar)) {
    DebugLog("Download2Ram:002 %s\n", FtpError());
    return 0;
  }
  return 1;
}

int32_t Load_Txt2Ram(LagerScreenData* d, uint32_t i) {
  if (i >= d->count) return 0;
  DeleteFileA(kTempFile);
  if (!GetFTPData(d->textNames[i], "/", d->textSizes[i], kTempFile, nullptr)) {
    DebugLog("Load_Txt2Ram: GetFTPData() failed!\n");
    return 0;
  }
  return 1;
}

int32_t PrintInfotext(LagerScreenData* d, uint64_t size) {
  FileHandle f = Open(kTempFile, MODE_READONLY);
  if (!f) {
    DebugLog("PrintInfotext: Konnte File nicht \xF6" "ffnen!!\n");
    return 0;
  }
  auto* buffer = static_cast<char*>(AllocVec(kLagerDescriptionMax + 1, MEMF_PUBLIC | MEMF_CLEAR));
  if (!buffer) {
    DebugLog("Kein Buffer f\xFCr Infodaten!\n");
    Close(f);
    return 0;
  }
  const int32_t got = Read(f, buffer, kLagerDescriptionMax);
  Close(f);
  UpdateDescription desc{};
  ReadUpdateDescription(buffer, got > 0 ? (uint32_t)got : 0, &desc);
  d->serverVersion = desc.version;
  std::memcpy(d->serverText, desc.versionText, sizeof d->serverText);

  Line(0, kHeadY, GetCatalogStr(kTextServer), kPenHead, true);
  Line(0, kRuleY1, kRule, kPenHead, true);
  RastPort* rp = ScreenRastPort();
  const int32_t height = rp && rp->TxHeight ? rp->TxHeight : kLineStep;
  int32_t y = kFirstLineY;
  uint32_t at = 0;
  const char* text = nullptr;
  uint32_t length = 0;
  char line[kLagerDescriptionMax + 1];
  while (NextDescriptionLine(&desc, &at, &text, &length)) {
    if (y + height > kRuleY2) break;  // the lines end above the rule
    while (length && text[length - 1] == '\r') --length;
    if (length) {
      std::memcpy(line, text, length);
      line[length] = 0;
      Line(0, y, line, kPenText, true);
    }
    y += kLineStep;
  }
  Line(0, kRuleY2, kRule, kPenHead, true);
  VersionLines(d, d->serverText, size);
  FreeVec(buffer);
  return 1;
}

void ShowUpdateServerMessage(LagerScreenData* d) {
  BitMap* under = OpenRequester(d);
  if (!under) return;
  Line(0, kHeadY, GetCatalogStr(kTextServer), kPenHead, true);
  Line(0, kRuleY1, kRule, kPenHead, true);
  Line(0, 136, GetCatalogStr(kTextSorry1), kPenText, true);
  Line(0, 148, GetCatalogStr(kTextSorry2), kPenText, true);
  Line(0, 160, GetCatalogStr(kTextSorry3), kPenText, true);
  Line(0, kRuleY2, kRule, kPenHead, true);
  VersionLines(d, "----", 0);
  RequesterChoice(d);
  CloseRequester(d, under);
}

int32_t ShowUpdateRequester(LagerScreenData* d, uint32_t i) {
  if (!Load_Txt2Ram(d, i)) {
    ShowUpdateServerMessage(d);
    return 0;
  }
  BitMap* under = OpenRequester(d);
  if (!under) return 0;
  int32_t outcome = 0;
  if (!PrintInfotext(d, d->fileSizes[i])) {
    // Nothing to read: the requester says so instead.
    CloseRequester(d, under);
    ShowUpdateServerMessage(d);
    return 0;
  }
  if (RequesterChoice(d)) {
    std::snprintf(d->localPath, sizeof d->localPath, ".\\%s", d->fileNames[i]);
    outcome = Download2Ram(d, d->localPath, i) ? 1 : -1;
  }
  CloseRequester(d, under);
  DebugLog("LagerScreen: Update %s %s\n", d->fileNames[i],
           outcome > 0 ? "geladen" : outcome < 0 ? "nicht geladen" : "nicht gew\xE4hlt");
  if (outcome != 0) {
    if (d->base) PauseScreenMovies(d->base, 1);
    ChiefMessage(66, 168, 180, 0, 0, 0, 0, GetCatalogStr(outcome > 0 ? kTextDone : kTextFailed), kPenMessage);
    if (d->base) PauseScreenMovies(d->base, 0);
  }
  return outcome;
}

int32_t LagerScreen(int32_t) {
  static const ScreenMovieSpec kTorches[] = {{".\\Anims\\LagerFackelLinks.CBAN", 80, 61, 68, 10},
                                             {".\\Anims\\LagerFackelRechts.CBAN", 432, 53, 68, 10}};
  ScreenBase base{};
  auto* d = static_cast<LagerScreenData*>(AllocVec(sizeof(LagerScreenData), MEMF_PUBLIC | MEMF_CLEAR));
  auto finish = [&](int32_t next) {
    DeleteFileA(kTempFile);
    if (d) {
      if (Online() && std::strcmp(d->ftpStatus, "FTP OK") == 0) {
        DebugLog("Schlie\xDF" "e FTP\n");
        CloseFTP();
        DebugLog("FTP geschlossen\n");
      }
      if (d->caskOpen) CloseElmorGfx(kLagerCaskGfx);
      if (d->pieceOpen) CloseElmorGfx(kLagerPieceGfx);
      if (d->reqRegion) FreeScreenRegion(d->reqRegion);
    }
    // Whatever the connection did, its listing goes with the visit.
    CloseFTP();
    FreeFTPListing();
    CloseScreenBase(&base, next == -1 ? 0 : next);
    FreeVec(d);
    return next;
  };
  auto fail = [&](uint32_t step, const char* line) {
    ScreenStartFailed(&base, step, line);
    return finish(-1);
  };
  if (!d) return fail(SCREEN_STEP_MEMORY, "LagerScreen: Konnte kein Speicher f\xFCr lokale Daten allokieren!\n");
  d->chosen = -1;
  d->base = &base;
  PlayScreenCdTrack(kCdTrack);
  if (!OpenScreenPicture(&base, kPicture, 1)) return fail(SCREEN_STEP_PICTURE, "LagerScreen: Konnte Pic nicht laden!\n");
  if (!OpenScreenLayout(&base, ".\\Data\\Screendat\\Lager.dat", 1027))
    return fail(SCREEN_STEP_LAYOUT, "LagerScreen: Kann TitelbarDaten nicht laden!\n");
  d->region = base.region;
  d->reqRegion = GetScreenRegion(".\\Data\\Screendat\\LagerReq.dat", 3);
  if (!d->reqRegion) return fail(SCREEN_STEP_LAYOUT, "LagerScreen: Kann TitelbarDaten nicht laden!\n");
  if (!OpenScreenFont(&base, "fonts\\ElmorC1.fnt"))
    return fail(SCREEN_STEP_FONT, "LagerScreen: Konnte Elmor-Font nicht \xF6" "ffnen !");
  d->font = base.font;
  d->caskOpen = OpenElmorGfx(".\\Data\\Path", kLagerCaskGfx) == 1;
  d->pieceOpen = OpenElmorGfx(".\\Data\\Path", kLagerPieceGfx) == 1;
  if (!d->caskOpen || !d->pieceOpen) return fail(SCREEN_STEP_GRAPHICS, "LagerScreen: Konnte Fassgrafik nicht laden!\n");
  d->ftpReady = (uint32_t)InitUpdateData(d, d->region);
  GetClientVersion(d);
  if (!OpenScreenMovies(&base, kTorches, 2))
    return fail(SCREEN_STEP_MOVIES, "LagerScreen: Kann Animationen nicht initalisieren!\n");
  if (!base.movies[0]) DebugLog("LagerScreen: Kann Animation 1 nicht laden!\n");
  if (!base.movies[1]) DebugLog("LagerScreen: Kann Animation 2 nicht laden!\n");
  ShowScreenBase(&base);

  int32_t next = -1;
  do {
    int32_t event = 0;
    Gadget* g = ScreenBaseEvent(&base, 6, &event);
    if (!g) continue;
    if (GadgetIs(g, "CH00")) {
      const int32_t cask = FindUpdateCask(d->region, GetMouseX(), GetMouseY(), d->count);
      d->chosen = (int16_t)cask;
      if (cask < 0) ShowUpdateServerMessage(d);
      else ShowUpdateRequester(d, (uint32_t)cask);
    } else if (GadgetIs(g, "EXIT")) {
      next = kNextCode;
    }
  } while (ScreenBaseStays(&next, kNextCode));
  return finish(next);
}
