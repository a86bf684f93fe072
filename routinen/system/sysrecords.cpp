#include "sysrecords.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

#include "platform/display.h"
#include "platform/threads.h"
#include "files.h"
#include "graphics.h"
#include "platform/log.h"
#include "memory.h"
#include "platform/screenmode.h"

namespace {

DisplayRecord g_display;
QoESystem g_system;
OwnPlayer g_player;

struct SfxCacheSlot {
  void* data;
  uint32_t size;
};
// The system records' own state beside the shared records above: the sound
// cache (game thread; FreeCaches) and the hooks of upper layers and tests
// (atomics, filled at start-up).
struct SystemRecordsState {
  SfxCacheSlot sfxCache[SFX_CACHE_ENTRIES];
  std::atomic<void (*)()> freeGraphics{nullptr};
  std::atomic<void (*)()> freeGfxPaths{nullptr};
  std::atomic<uint64_t (*)(uint32_t)> memProbe{nullptr};
};
SystemRecordsState g_records;

uint64_t FreeMemory() {
  auto probe = g_records.memProbe.load();
  return probe ? probe(4) : AvailMem(4);
}

}  // namespace

QoESystem* const QoESystemPtr = &g_system;
OwnPlayer* const OwnPlayerPtr = &g_player;
std::atomic<const void*> MainWindow{nullptr};

// ---- Endpoint configuration ---------------------------------------------------

const char* const kEndpointFile = ".\\Endpoints.cfg";

namespace {

enum EndpointKind : uint8_t { EP_TEXT, EP_NUMBER, EP_TLS };
struct EndpointKey {
  const char* key;
  EndpointKind kind;
  uint16_t offset;
  uint16_t size;
  const char* value;  // default
  const char* note;   // comment line of the written file
};
#define EP(field, kind, key, value, note) \
  {key, kind, (uint16_t)offsetof(EndpointConfig, field), (uint16_t)sizeof(EndpointConfig::field), value, note}
// A new key: a field in EndpointConfig, a row here, a line in docs/endpoints.md.
const EndpointKey kEndpointKeys[] = {
    EP(GameServer, EP_TEXT, "game_server", "127.0.0.1:10000", "game server of the packet protocol, host:port"),
    EP(RegistrationMailbox, EP_TEXT, "registration_mailbox", "anmeldung@localhost", "where sign-up forms go"),
    EP(TurnMailbox, EP_TEXT, "turn_mailbox", "zuege@localhost", "where the turns (orders) go by mail"),
    EP(MailDomain, EP_TEXT, "mail_domain", "localhost", "the game's mail domain (shared mailboxes, their POP3 and SMTP host)"),
    EP(SharedMailboxPassword, EP_TEXT, "shared_mailbox_password", "faltplanke", "password and name stem of the shared mailboxes"),
    EP(WebHost, EP_TEXT, "web_host", "127.0.0.1", "host of the web pages, host[:port]"),
    EP(WebPath, EP_TEXT, "web_path", "/", "path prefix of the web pages"),
    EP(FtpHost, EP_TEXT, "ftp_host", "127.0.0.1", "update server, host[:port]"),
    EP(FtpUser, EP_TEXT, "ftp_user", "anonymous", "update server user"),
    EP(FtpPassword, EP_TEXT, "ftp_password", "Zwirn", "update server password"),
    EP(IrcServer, EP_TEXT, "irc_server", "127.0.0.1:6667", "tavern chat server, host:port"),
    EP(IrcChannel, EP_TEXT, "irc_channel", "#Quill", "channel of the IRC panel"),
    EP(MailTls, EP_TLS, "mail_tls", "auto", "off, auto (STARTTLS/STLS when offered) or required"),
    EP(TlsAcceptCert, EP_TEXT, "tls_accept_cert", "", "PEM certificate accepted as is (besides the system's store)"),
    EP(NetTimeout, EP_NUMBER, "net_timeout", "30", "seconds a network read may wait"),
};
#undef EP

bool SetEndpoint(EndpointConfig* e, const EndpointKey& k, const char* v, size_t n) {
  uint8_t* field = reinterpret_cast<uint8_t*>(e) + k.offset;
  switch (k.kind) {
    case EP_TEXT: {
      if (n >= k.size) return false;
      std::memset(field, 0, k.size);
      std::memcpy(field, v, n);
      return true;
    }
    case EP_NUMBER: {
      uint32_t x = 0;
      if (n == 0 || n > 6) return false;
      for (size_t i = 0; i < n; i++) {
        if (v[i] < '0' || v[i] > '9') return false;
        x = x * 10 + (uint32_t)(v[i] - '0');
      }
      std::memcpy(field, &x, sizeof x);
      return true;
    }
    case EP_TLS: {
      static const char* const kModes[] = {"off", "auto", "required"};
      for (uint32_t m = 0; m < 3; m++)
        if (std::strlen(kModes[m]) == n && strncasecmp(v, kModes[m], n) == 0) {
          std::memcpy(field, &m, sizeof m);
          return true;
        }
      return false;
    }
  }
  return false;
}

}  // namespace

void EndpointDefaults(EndpointConfig* e) {
  std::memset(e, 0, sizeof *e);
  for (const EndpointKey& k : kEndpointKeys) SetEndpoint(e, k, k.value, std::strlen(k.value));
}

uint32_t ParseEndpoints(EndpointConfig* e, const char* text, uint32_t size) {
  uint32_t refused = 0;
  uint32_t line_no = 0;
  const char* p = text;
  const char* end = text ? text + size : text;
  while (p && p < end) {
    const char* eol = static_cast<const char*>(std::memchr(p, '\n', (size_t)(end - p)));
    const char* le = eol ? eol : end;
    line_no++;
    auto trim = [](const char*& a, const char*& b) {
      while (a < b && (*a == ' ' || *a == '\t' || *a == '\r')) a++;
      while (b > a && (b[-1] == ' ' || b[-1] == '\t' || b[-1] == '\r')) b--;
    };
    const char* a = p;
    const char* b = le;
    trim(a, b);
    p = eol ? eol + 1 : end;
    if (a == b || *a == '#') continue;
    const char* eq = static_cast<const char*>(std::memchr(a, '=', (size_t)(b - a)));
    const EndpointKey* key = nullptr;
    const char* ke = eq ? eq : b;
    const char* ks = a;
    trim(ks, ke);
    for (const EndpointKey& k : kEndpointKeys)
      if (std::strlen(k.key) == (size_t)(ke - ks) && strncasecmp(ks, k.key, (size_t)(ke - ks)) == 0) key = &k;
    const char* vs = eq ? eq + 1 : b;
    const char* ve = b;
    trim(vs, ve);
    if (!eq || !key || !SetEndpoint(e, *key, vs, (size_t)(ve - vs))) {
      DebugLog("LoadEndpoints: Zeile %u in %s nicht verstanden\n", line_no, kEndpointFile);
      refused++;
    }
  }
  return refused;
}

int LoadEndpoints(EndpointConfig* e) {
  EndpointDefaults(e);
  uint32_t size = 0;
  char* text = static_cast<char*>(LoadFile2MemSize(kEndpointFile, MEMF_PUBLIC, &size));
  if (text) {
    ParseEndpoints(e, text, size);
    FreeVec(text);
    return 1;
  }
  // A FIFO, a link or a folder in its place is neither read nor replaced:
  // the defaults hold, and the player is told.
  const int32_t kind = PathKind(kEndpointFile);
  if (kind == PATH_FOLDER || kind == PATH_NOT_PLAIN) {
    NoteNotPlainFile(kEndpointFile);
    return 0;
  }
  // A missing file is written with the defaults, for the player to edit.
  std::string out = "# Quill of Elmor: servers and mailboxes of the game (key = value).\n";
  for (const EndpointKey& k : kEndpointKeys) {
    out += "# ";
    out += k.note;
    out += "\n";
    out += k.key;
    out += " = ";
    out += k.value;
    out += "\n";
  }
  if (!SaveMem2File(kEndpointFile, out.data(), (uint32_t)out.size())) {
    DebugLog("LoadEndpoints: Konnte %s nicht anlegen\n", kEndpointFile);
    return 0;
  }
  DebugLog("LoadEndpoints: %s mit Vorgaben angelegt\n", kEndpointFile);
  return 1;
}

void FillDisplayRecord() {
  DisplayModeChoice mode{};
  CurrentDisplayMode(&mode);
  DisplayRecord* d = &g_display;
  // Filled again by every SetupSystem while helper threads read the record:
  // a field that has not changed is not written.
  auto set = [](auto& field, auto value) {
    if (field != value) field = value;
  };
  set(g_system.Display, d);
  set(d->ModeId, mode.mode_id);
  set(d->Width, static_cast<uint16_t>(DisplayWidth() ? DisplayWidth() : mode.width));
  set(d->Height, static_cast<uint16_t>(DisplayHeight() ? DisplayHeight() : mode.height));
  set(d->Depth, static_cast<uint16_t>(DisplayDepth() ? DisplayDepth() : mode.depth));
  set(d->PixelFormatCode, static_cast<uint16_t>(mode.pixel_format));
  set(d->Renderer, DisplayRenderer());
  set(d->FullScreen, mode.fullscreen);
}

int OpenScreenRastPort() {
  CloseScreenRastPort();
  // OpenGL mode: the window thread shows the screen from a bitmap of its own,
  // in the display's depth (8-bit pens, or 32-bit bytes R, G, B, A).
  BitMap* bm = nullptr;
  if (DisplayRenderer() == 1) {
    uint32_t depth = DisplayDepth() == 8 ? 8 : 32;
    uint32_t flags = depth == 32 ? uint32_t{BMF_RGBA} : 0u;
    if (DisplayDepth() != 0) bm = AllocBitMap(kGameAreaWidth, kGameAreaHeight, depth, flags, nullptr);
  } else {
    bm = AllocSurfaceBitMap(DisplayBackSurface());
  }
  if (!bm) {
    g_system.Display = &g_display;
    return 0;
  }
  // The movie threads fetch the screen's RastPort under the display mutex
  // for every frame they copy into its bitmap (OpenGL mode).
  QoeMutex* m = DisplayMutex();
  if (m) ObtainMutex(m);
  static RastPort rp;
  InitRastPort(&rp);
  rp.Bitmap = bm;
  g_system.Display = &g_display;
  g_display.ScreenRastPort = &rp;
  if (m) ReleaseMutex(m);
  return 1;
}

void CloseScreenRastPort() {
  QoeMutex* m = DisplayMutex();
  if (m) ObtainMutex(m);
  if (RastPort* rp = g_display.ScreenRastPort) {
    g_display.ScreenRastPort = nullptr;
    FreeBitMap(rp->Bitmap);
    rp->Bitmap = nullptr;
  }
  if (m) ReleaseMutex(m);
}

int LoadPaths() {
  FreePaths();
  uint32_t size = 0;
  g_system.PicPath = static_cast<uint8_t*>(LoadFile2MemSize(".\\Data\\Path", MEMF_PUBLIC | MEMF_CLEAR, &size));
  g_system.PicPathSize = g_system.PicPath ? size : 0;
  if (!g_system.PicPath) DebugLog("SetupSystem: Konnte .\\Data\\Path nicht laden\n");
  size = 0;
  g_system.SfxPathImage = static_cast<uint8_t*>(LoadFile2MemSize(".\\Data\\SfxPath", MEMF_PUBLIC | MEMF_CLEAR, &size));
  g_system.SfxPathSize = g_system.SfxPathImage ? size : 0;
  if (!g_system.SfxPathImage) DebugLog("SetupSystem: Konnte .\\Data\\SfxPath nicht laden\n");
  g_system.PathsLoaded = (g_system.PicPath || g_system.SfxPathImage) ? 1 : 0;
  return g_system.PicPath && g_system.SfxPathImage ? 1 : 0;
}

void FreePaths() {
  if (auto hook = g_records.freeGfxPaths.load()) hook();
  FreeVec(g_system.PicPath);
  FreeVec(g_system.SfxPathImage);
  g_system.PicPath = nullptr;
  g_system.SfxPathImage = nullptr;
  g_system.PicPathSize = 0;
  g_system.SfxPathSize = 0;
  g_system.PathsLoaded = 0;
}

// ---- Sound-sample cache -----------------------------------------------------

int Copy2SfxCache(uint32_t id, uint32_t size, const void* data) {
  if (id == 1 || !data || size == 0) return 0;
  if (id >= SFX_CACHE_ENTRIES) return 0;
  if (g_records.sfxCache[id].data) return 0;  // one copy per sound
  uint64_t avail = FreeMemory();  // 70 % of it at most 5,000,000: no copy
  if (avail <= UINT64_MAX / 7 && avail * 7 <= 50000000) return 0;
  DebugLog("Copy Sfx ID %u Size %u Address %x\n", id, size,
           static_cast<unsigned>(reinterpret_cast<uintptr_t>(data)));
  void* copy = AllocVec(size, MEMF_PUBLIC);
  if (!copy) {
    DebugLog("Copy2SfxCache: Kein Speicher fuer Sfx ID %u (%u Bytes)\n", id, size);
    return 1;
  }
  CopyMem(data, copy, size);
  g_records.sfxCache[id].data = copy;
  g_records.sfxCache[id].size = size;
  return 0;
}

const void* SfxCacheEntry(uint32_t id, uint32_t* size) {
  if (id >= SFX_CACHE_ENTRIES || !g_records.sfxCache[id].data) {
    if (size) *size = 0;
    return nullptr;
  }
  if (size) *size = g_records.sfxCache[id].size;
  return g_records.sfxCache[id].data;
}

void FreeCaches(uint32_t bits) {
  if (bits & 1) {
    if (auto hook = g_records.freeGraphics.load()) hook();
  }
  if (bits & 2) {
    for (auto& e : g_records.sfxCache) {
      FreeVec(e.data);
      e.data = nullptr;
      e.size = 0;
    }
  }
}

void SetGraphicsCacheFreeHook(void (*hook)()) { g_records.freeGraphics.store(hook); }
void SetGraphicsPathsFreeHook(void (*hook)()) { g_records.freeGfxPaths.store(hook); }
void SetSfxCacheMemoryProbe(uint64_t (*probe)(uint32_t)) { g_records.memProbe.store(probe); }
