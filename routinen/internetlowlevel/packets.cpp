// The game server's packet protocol and going online.
#include "packets.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "mail.h"
#include "mail_internal.h"
#include "platform/log.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"

namespace {

// The module's state for going online: the notice hook (game thread).
struct OnlineState {
  void (*notice)(const char* text) = nullptr;
};
OnlineState g_online;

NetConn* Conn(PacketCtx* ctx) { return static_cast<NetConn*>(ctx->Conn); }

int32_t Fail(PacketCtx* ctx, const char* what) {
  NetConn* c = Conn(ctx);
  std::snprintf(ctx->Error, sizeof ctx->Error, "%.80s%s%.200s", what, c && c->error[0] ? ": " : "", c ? c->error : "");
  DebugLog("Packet: %s\n", ctx->Error);
  ClosePacketCtx(ctx);
  return 0;
}

// What was received cannot be stored: the connection is closed without a
// further command, so the server does not count it as delivered.
int32_t StoreFailed(PacketCtx* ctx, const char* fmt) {
  std::snprintf(ctx->Error, sizeof ctx->Error, fmt, ctx->Folder);
  DebugLog("Packet: %s\n", ctx->Error);
  ClosePacketCtx(ctx);
  return 0;
}

// Reads one reply line; 1 with its kind and size.
bool Reply(PacketCtx* ctx, PacketReply* kind, uint32_t* size, int32_t* has_size) {
  char line[PACKET_MAX_LINE + 1];
  size_t len = 0;
  if (!NetReadLine(Conn(ctx), line, sizeof line, &len)) return false;
  *kind = ParsePacketReply(line, size, has_size);
  if (*kind == PACKET_ERR || *kind == PACKET_BAD) {
    std::snprintf(Conn(ctx)->error, sizeof Conn(ctx)->error, "server answered \"%.200s\"", line);
    return false;
  }
  return true;
}

// Sends a command and expects a plain "+ACK".
int32_t Command(PacketCtx* ctx, const char* text, const char* what) {
  if (!ctx->Conn) return Fail(ctx, "not connected");
  if (!NetWriteText(Conn(ctx), text)) return Fail(ctx, what);
  PacketReply k{};
  uint32_t n;
  int32_t has;
  if (!Reply(ctx, &k, &n, &has) || k != PACKET_ACK) return Fail(ctx, what);
  return 1;
}

// Sends a size line, waits for "+ACK", sends the data, waits for "+ACK".
int32_t SendData(PacketCtx* ctx, const char* cmd, const char* what) {
  if (!ctx->Data && ctx->Size) return Fail(ctx, "no data");
  char line[64];
  std::snprintf(line, sizeof line, "%s %u\r\n", cmd, ctx->Size);
  if (!Command(ctx, line, what)) return 0;
  if (ctx->Size && !NetWrite(Conn(ctx), ctx->Data, ctx->Size)) return Fail(ctx, what);
  PacketReply k{};
  uint32_t n;
  int32_t has;
  if (!Reply(ctx, &k, &n, &has) || k != PACKET_ACK) return Fail(ctx, what);
  return 1;
}

// Reads the size line of one announced block ("+ACK <n>"); *n 0 ends a list.
bool ReadBlockSize(PacketCtx* ctx, uint32_t* n) {
  PacketReply k{};
  int32_t has = 0;
  if (!Reply(ctx, &k, n, &has)) return false;
  if (k != PACKET_ACK || !has) {
    std::snprintf(Conn(ctx)->error, sizeof Conn(ctx)->error, "size line missing");
    return false;
  }
  if (*n > PACKET_MAX_DATA) {
    std::snprintf(Conn(ctx)->error, sizeof Conn(ctx)->error, "block of %u bytes is too large", *n);
    return false;
  }
  return true;
}

constexpr uint32_t kStreamBlock = 64u << 10;  // received data goes to its file in blocks of this size

// Reads n announced bytes into a new temporary file beside path, block by
// block as they arrive (nothing is reserved for what the size line claims).
// The first `keep` bytes are also copied to head. Returns the stream, or
// null (conn error set, or *write_failed when the file could not be written).
FileStream* ReceiveToFile(PacketCtx* ctx, const char* path, uint32_t n, uint8_t* head, uint32_t keep,
                          bool* write_failed) {
  *write_failed = false;
  FileStream* file = BeginFileStream(path);
  if (!file) {
    *write_failed = true;
    return nullptr;
  }
  std::vector<uint8_t> block(n < kStreamBlock ? n : kStreamBlock);
  for (uint32_t done = 0; done < n;) {
    const uint32_t piece = n - done < kStreamBlock ? n - done : kStreamBlock;
    if (!NetReadExact(Conn(ctx), block.data(), piece)) {
      AbortFileStream(file);
      return nullptr;
    }
    if (done < keep) std::memcpy(head + done, block.data(), keep - done < piece ? keep - done : piece);
    if (!FileStreamWrite(file, block.data(), piece)) {
      AbortFileStream(file);
      *write_failed = true;
      return nullptr;
    }
    done += piece;
  }
  return file;
}

// The first free "<folder>\E%7.7x_%2.2u.smal".
bool LetterPath(const char* folder, uint32_t sender, char* out, size_t size) {
  if (sender > 0x0FFFFFFF) return false;
  size_t fl = std::strlen(folder);
  const char* sep = fl && (folder[fl - 1] == '\\' || folder[fl - 1] == '/') ? "" : "\\";
  for (unsigned k = 0; k < 100; k++) {
    std::snprintf(out, size, "%s%sE%7.7x_%2.2u.smal", folder, sep, sender, k);
    if (GeFileSize(out) == 0) return true;
  }
  return false;
}

}  // namespace

PacketReply ParsePacketReply(const char* line, uint32_t* size, int32_t* has_size) {
  if (size) *size = 0;
  if (has_size) *has_size = 0;
  if (!line) return PACKET_BAD;
  if (!std::strncmp(line, "-ERR", 4) && (line[4] == 0 || line[4] == ' ')) return PACKET_ERR;
  if (!std::strncmp(line, "+VER ", 5) && line[5]) return PACKET_VER;
  if (std::strncmp(line, "+ACK", 4)) return PACKET_BAD;
  if (line[4] == 0) return PACKET_ACK;
  if (line[4] != ' ') return PACKET_BAD;
  const char* p = line + 5;
  if (*p < '0' || *p > '9') return PACKET_BAD;
  uint64_t v = 0;
  for (; *p >= '0' && *p <= '9'; p++) {
    v = v * 10 + (uint64_t)(*p - '0');
    if (v > 0xFFFFFFFFull) return PACKET_BAD;
  }
  if (*p) return PACKET_BAD;
  if (size) *size = (uint32_t)v;
  if (has_size) *has_size = 1;
  return PACKET_ACK;
}

void ClosePacketCtx(PacketCtx* ctx) {
  if (!ctx || !ctx->Conn) return;
  NetClose(Conn(ctx));
  delete Conn(ctx);
  ctx->Conn = nullptr;
}

int32_t SendPacketConnect(PacketCtx* ctx) {
  if (!ctx) return 0;
  ClosePacketCtx(ctx);
  ctx->Error[0] = 0;
  ctx->Conn = new (std::nothrow) NetConn;
  if (!ctx->Conn) return Fail(ctx, "out of memory");
  if (!NetOpen(Conn(ctx), ctx->Host, 10000, nullptr)) return Fail(ctx, "cannot reach the game server");
  if (!NetWriteText(Conn(ctx), "+HEL\r\n")) return Fail(ctx, "greeting failed");
  PacketReply k{};
  uint32_t n;
  int32_t has;
  if (!Reply(ctx, &k, &n, &has) || k != PACKET_VER) return Fail(ctx, "greeting failed");
  DebugLog("SendPacketConnect: verbunden mit %s\n", ctx->Host);
  return 1;
}

int32_t SendPacketSid(PacketCtx* ctx) {
  if (!ctx) return 0;
  char line[32];
  std::snprintf(line, sizeof line, "+SID %u\r\n", ctx->PlayerId);
  return Command(ctx, line, "player ID refused");
}

int32_t SendPacketGet(PacketCtx* ctx) {
  if (!ctx) return 0;
  if (!ctx->Conn) return Fail(ctx, "not connected");
  if (!NetWriteText(Conn(ctx), "+GET\r\n")) return Fail(ctx, "turn request failed");
  uint32_t n = 0;
  if (!ReadBlockSize(ctx, &n)) return Fail(ctx, "turn transfer failed");
  if (n == 0) {
    DebugLog("SendPacketGet: kein Spielzug wartet\n");
    return 1;
  }
  char name[MAIL_NAME_SIZE], path[400];
  TurnMailName(ctx->PlayerId, name);
  CreateDirPath(ctx->Folder);
  bool write_failed = true;
  FileStream* file = nullptr;
  if (MakeMailFileName(ctx->Folder, name, path, sizeof path))
    file = ReceiveToFile(ctx, path, n, nullptr, 0, &write_failed);
  if (!file && !write_failed) return Fail(ctx, "turn transfer failed");
  // The name is taken again at the end: it must still be free.
  bool stored = file && MakeMailFileName(ctx->Folder, name, path, sizeof path);
  if (stored) stored = CommitFileStream(file, path) != 0;
  else AbortFileStream(file);
  if (!stored) return StoreFailed(ctx, "cannot store the turn in %s");
  DebugLog("SendPacketGet: Spielzug %s (%u Bytes)\n", path, n);
  return 1;
}

int32_t SendPacketPut(PacketCtx* ctx) { return ctx ? SendData(ctx, "+PUT", "turn upload failed") : 0; }
int32_t SendPacketMsg(PacketCtx* ctx) { return ctx ? SendData(ctx, "+MSG", "letter upload failed") : 0; }

int32_t SendPacketMal(PacketCtx* ctx) {
  if (!ctx) return 0;
  if (!ctx->Conn) return Fail(ctx, "not connected");
  if (!NetWriteText(Conn(ctx), "+MAL\r\n")) return Fail(ctx, "letter request failed");
  CreateDirPath(ctx->Folder);
  // Every letter into a temporary file first; none takes its name unless the
  // list ended properly.
  struct Letter {
    FileStream* file;
    uint32_t sender;
  };
  std::vector<Letter> letters;
  auto drop_all = [&letters] {
    for (Letter& l : letters) AbortFileStream(l.file);
    letters.clear();
  };
  char spare[400];
  std::snprintf(spare, sizeof spare, "%s%sletter.smal", ctx->Folder,
                ctx->Folder[0] && (ctx->Folder[std::strlen(ctx->Folder) - 1] == '\\' ||
                                   ctx->Folder[std::strlen(ctx->Folder) - 1] == '/') ? "" : "\\");
  uint64_t total = 0;
  for (;;) {
    uint32_t n = 0;
    if (!ReadBlockSize(ctx, &n)) {
      drop_all();
      return Fail(ctx, "letter transfer failed");
    }
    if (n == 0) break;
    if (n < 292) {
      drop_all();
      std::snprintf(Conn(ctx)->error, sizeof Conn(ctx)->error, "not a letter");
      return Fail(ctx, "letter transfer failed");
    }
    // All letters of one answer together within the limit of one block.
    total += n;
    if (letters.size() >= 1000 || total > PACKET_MAX_DATA) {
      drop_all();
      return Fail(ctx, "too many letters");
    }
    uint8_t head[292];
    bool write_failed = false;
    FileStream* file = ReceiveToFile(ctx, spare, n, head, sizeof head, &write_failed);
    if (!file) {
      drop_all();
      if (!write_failed) return Fail(ctx, "letter transfer failed");
      return StoreFailed(ctx, "cannot store a letter in %s");
    }
    if (std::memcmp(head, "SMAL", 4) || !FileStreamClose(file)) {
      const bool bad = std::memcmp(head, "SMAL", 4) != 0;
      AbortFileStream(file);
      drop_all();
      if (bad) {
        std::snprintf(Conn(ctx)->error, sizeof Conn(ctx)->error, "not a letter");
        return Fail(ctx, "letter transfer failed");
      }
      return StoreFailed(ctx, "cannot store a letter in %s");
    }
    const uint32_t sender = ((uint32_t)head[276] << 24) | ((uint32_t)head[277] << 16) | ((uint32_t)head[278] << 8) | head[279];
    letters.push_back(Letter{file, sender});
  }
  bool ok = true;
  for (Letter& l : letters) {
    char path[400];
    if (ok && LetterPath(ctx->Folder, l.sender, path, sizeof path)) {
      ok = CommitFileStream(l.file, path) != 0;
    } else {
      ok = false;
      AbortFileStream(l.file);
    }
  }
  letters.clear();
  if (!ok) return StoreFailed(ctx, "cannot store a letter in %s");
  return 1;
}

int32_t SendPacketQuit(PacketCtx* ctx) {
  if (!ctx) return 0;
  const int32_t ok = Command(ctx, "+QUI\r\n", "goodbye failed");
  ClosePacketCtx(ctx);
  return ok;
}

// ---- going online ----

void SetGoOnlineNotice(void (*notice)(const char* text)) { g_online.notice = notice; }

int32_t Start_TCP_IP() {
  const uint8_t stack = QoESystemPtr->TcpIpStack;
  if (stack == 0 || stack > 4) {
    DebugLog("Start_TCP_IP: Kein TCP/IP-Stack gew\xE4hlt!\n");
    return -1;
  }
  if (stack != 4) DebugLog("Start_TCP_IP: Stack %u waehlt sich ein; ohne Waehlverbindung wie ein LAN\n", stack);
  QoESystemPtr->Status.fetch_or(SYSSTATUS_ONLINE);
  return 1;
}

int32_t Quit_TCP_IP() {
  const uint8_t stack = QoESystemPtr->TcpIpStack;
  if (stack == 0 || stack > 4) {
    DebugLog("Quit_TCP_IP: Kein TCP/IP-Stack gew\xE4hlt!\n");
    return -1;
  }
  return 1;
}

int32_t GoOnline() {
  const uint8_t stack = QoESystemPtr->TcpIpStack;
  if (stack == 0 || stack > 4) {
    DebugLog("GoOnline: Kein TCP/IP-Stack gew\xE4hlt!\n");
    if (g_online.notice) g_online.notice("No network connection is chosen: choose one on the options screen.");
    QoESystemPtr->Status.fetch_and(~SYSSTATUS_ONLINE);
    return 0;
  }
  if (stack != 4) DebugLog("GoOnline: kein Waehlprogramm; Stack %u gilt als verbunden\n", stack);
  QoESystemPtr->Status.fetch_or(SYSSTATUS_ONLINE);
  return 1;
}

int32_t Auflegen() {
  // A permanent connection stays; a dial-up stack hangs up.
  if (QoESystemPtr->TcpIpStack != 4) QoESystemPtr->Status.fetch_and(~SYSSTATUS_ONLINE);
  return 1;
}
