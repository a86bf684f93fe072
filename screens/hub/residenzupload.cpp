// The upload of the orders.
#include "residenzupload.h"

#include <dirent.h>
#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/turns.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/internetlowlevel/packets.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/catalog.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"

namespace {

const char kUpload[] = ".\\Data\\POP3Out\\Upload.qoe";
const char kGoodsFile[] = ".\\Data\\WarenChunk.qoe";
const char kPrefsFile[] = ".\\Data\\Prefs.qoe";

// The upload's state: the last status text (game thread).
struct UploadState {
  char status[400] = "";
  const char* damaged = nullptr;  // the file the turn could not be built from, null none
  uint32_t fault = 0;             // why (FIGURE_FILE_DAMAGED or FIGURE_FILE_MISSING)
};
UploadState g_upload;

void Status(const char* fmt, const char* detail) {
  std::snprintf(g_upload.status, sizeof g_upload.status, fmt, detail ? detail : "");
  DebugLog("ResidenzUpload: %s\n", g_upload.status);
}

// Letter files of .\Data\MailOut, in name order.
std::vector<std::string> Letters() {
  std::vector<std::string> out;
  char disk[1024];
  if (!ResolvePath(".\\Data\\MailOut", disk, sizeof disk)) return out;
  DIR* d = opendir(disk);
  if (!d) return out;
  while (dirent* e = readdir(d)) {
    const size_t n = std::strlen(e->d_name);
    if (n > 5 && !strcasecmp(e->d_name + n - 5, ".smal") && e->d_name[0] != '.') out.push_back(e->d_name);
  }
  closedir(d);
  std::sort(out.begin(), out.end());
  return out;
}

// Chunk types of the turn the server wants every turn: the received state of
// whatever the player did not change.
const char* const kCarried[] = {"KORN", "TAXE", "FORS", "BAUE", "WARE", "ARMY", "SHIP", "SPEZ"};

// Own sale offers (kind 0) of a goods type may not add up to more than the
// store holds of it (kind 5 of .\Data\WarenChunk.qoe); offers of nothing or
// for nothing go. *dropped: the number of records dropped or cut. False
// (nothing changed) when the store cannot be read: a damaged store is not
// an empty one.
bool CheckGoods(uint8_t* ware, uint32_t* dropped) {
  *dropped = 0;
  const uint32_t len = ChunkLength(ware);
  if (len < 2) return true;
  uint32_t n = ChunkGet16(ware, 12);
  if ((uint64_t)n * 36 > len - 2) return true;
  std::map<uint32_t, uint64_t> store;
  uint8_t* own = nullptr;
  if (LoadChunkState("WARE", kGoodsFile, &own) == CHUNK_DAMAGED) return false;
  if (own) {
    const uint32_t m = ChunkLength(own) >= 2 ? ChunkGet16(own, 12) : 0;
    for (uint32_t i = 0; i < m && 14 + 36 * (i + 1) <= 12 + ChunkLength(own); i++) {
      const uint8_t* r = own + 14 + 36 * i;
      if (ChunkGet16(r, 0) == 5) store[ChunkGet32(r, 6)] += ChunkGet32(r, 10);
    }
    FreeChunk(own);
  }
  uint32_t changed = 0, kept = 0;
  std::map<uint32_t, uint64_t> offered;
  for (uint32_t i = 0; i < n; i++) {
    uint8_t* r = ware + 14 + 36 * i;
    if (ChunkGet16(r, 0) == 0) {
      const uint32_t goods = ChunkGet32(r, 6);
      uint64_t q = ChunkGet32(r, 10);
      const uint64_t left = store[goods] > offered[goods] ? store[goods] - offered[goods] : 0;
      if (q > left) {
        q = left;
        changed++;
      }
      if (q == 0 || ChunkGet32(r, 14) == 0) {
        DebugLog("ResidenzUpload: Angebot von Ware %u entfernt\n", goods);
        if (q) changed++;
        continue;
      }
      ChunkPut32(r, 10, (uint32_t)q);
      offered[goods] += q;
    }
    if (kept != i) std::memmove(ware + 14 + 36 * kept, r, 36);
    kept++;
  }
  ChunkPut16(ware, 12, (uint16_t)kept);
  ChunkPut32(ware, 8, 2 + 36 * kept);
  *dropped = changed + (n - kept);
  return true;
}

// CreateMailChunk; the letter files it took (only those) in *taken.
int32_t GatherMail(const char* pool, std::vector<std::string>* taken) {
  if (taken) taken->clear();
  // The letters the pool's MAIL chunk carries already went out with an
  // earlier upload of this turn, and a new upload replaces that one at the
  // server: they travel again, the new letters after them.
  uint8_t* old = nullptr;
  if (LoadChunkState("MAIL", pool, &old) == CHUNK_DAMAGED) return -1;
  std::vector<uint8_t> body;
  uint32_t count = 0;
  if (old) {
    const uint32_t len = ChunkLength(old);
    count = len >= 4 ? ChunkGet32(old, 12) : 0;
    if (len > 4) body.assign(old + 16, old + 12 + len);
    FreeChunk(old);
  }
  const std::vector<std::string> files = Letters();
  const size_t carried = body.size();
  for (const std::string& f : files) {
    const std::string path = std::string(".\\Data\\MailOut\\") + f;
    uint32_t size = 0;
    uint8_t* d = static_cast<uint8_t*>(LoadFile2MemSize(path.c_str(), 0, &size));
    // A letter file is one SMAL chunk; anything else stays behind.
    if (d && size >= 292 && !std::memcmp(d, "SMAL", 4) && GetBE32(d + 8) + 12 == size) {
      body.insert(body.end(), d, d + size);
      count++;
      if (taken) taken->push_back(f);
    } else {
      DebugLog("CreateMailChunk: %s ist kein Brief\n", f.c_str());
    }
    if (d) FreeVec(d);
  }
  if (count == 0) return RemChunkPool("MAIL", pool) ? 0 : -1;
  uint8_t* c = AllocChunk("MAIL", "V001", 4 + (uint32_t)body.size());
  if (!c) return -1;
  ChunkPut32(c, 12, count);
  std::memcpy(c + 16, body.data(), body.size());
  // The new letters are in disk order; the chunk in host order holds them as
  // the pool loader gives them (the carried ones already are), so swap them
  // to host order in place.
  for (uint32_t off = 16 + (uint32_t)carried; off < 16 + body.size();) {
    const uint32_t len = GetBE32(c + off + 8);
    SwapByteOrderInChunk(c + off, 12 + len, 1);
    off += 12 + len;
  }
  const int32_t ok = AddChunkPool(c, pool);
  FreeChunk(c);
  return ok ? (int32_t)count : -1;
}

// Builds the upload image; the letter files it carries in *letters, and in
// *goods_local whether its WARE is the goods file's. 1 or 0.
bool BuildUpload(std::vector<std::string>* letters, bool* goods_local) {
  DeleteFileA(kUpload);
  if (uint32_t size = GeFileSize(OutgoingPoolPath)) {
    void* img = LoadFile2MemSize(OutgoingPoolPath, 0, &size);
    const bool copied = img && SaveMem2File(kUpload, img, size);
    if (img) FreeVec(img);
    if (!copied) return false;
  }
  // A chunk that cannot be read is never sent as if it were not there. The
  // goods go as the player's own goods file holds them: the market, the
  // barracks and the shipyard write their orders (offers, bids, what left
  // the store for them) there, never into the orders' pool.
  *goods_local = false;
  for (const char* id : kCarried) {
    if (IsChunkInFile(1u << ChunkIndexOf(id), kUpload)) continue;
    uint8_t* c = nullptr;
    if (!std::strcmp(id, "WARE")) {
      if (LoadChunkState(id, kGoodsFile, &c) == CHUNK_DAMAGED) return false;
      *goods_local = c != nullptr;
    }
    if (!c && LoadChunkState(id, ReceivedPoolPath, &c) == CHUNK_DAMAGED) return false;
    if (c) {
      const int32_t ok = AddChunkPool(c, kUpload);
      FreeChunk(c);
      if (!ok) return false;
    }
  }
  // Offers that did not come from the goods file are checked against its
  // store; those of the file already left the store when they were made.
  uint8_t* w = *goods_local ? nullptr : LoadChunk2Mem("WARE", kUpload);
  if (w) {
    uint32_t dropped = 0;
    const int32_t ok = CheckGoods(w, &dropped) && (!dropped || AddChunkPool(w, kUpload));
    FreeChunk(w);
    if (!ok) return false;
  }
  // The figures as the map left them.
  uint8_t* move = nullptr;
  // Damaged, or missing in an installed game: a turn without its figures
  // would tell the server they are all gone.
  if (const uint32_t fault = LoadFigureFile(MapPrefsPath, &move)) {
    g_upload.damaged = MapPrefsPath;
    g_upload.fault = fault;
    return false;
  }
  if (move) {
    const int32_t ok = AddChunkPool(move, kUpload);
    FreeChunk(move);
    if (!ok) return false;
  }
  if (GatherMail(kUpload, letters) < 0 || GeFileSize(kUpload) == 0) return false;
  char damaged[5];
  if (FileChunksState(kUpload, damaged) != CHUNK_GOOD) {
    DebugLog("ResidenzUpload: Chunk %s des Spielzugs ist beschaedigt\n", damaged[0] ? damaged : "?");
    return false;
  }
  return true;
}

}  // namespace

const char* ResidenzUploadStatus() { return g_upload.status; }

int32_t CreateMailChunk(const char* pool) { return GatherMail(pool, nullptr); }


int32_t ResidenzUpload() {
  g_upload.status[0] = 0;
  g_upload.damaged = nullptr;
  g_upload.fault = 0;
  if (CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0) != 2) {
    Status("%sno game is installed", nullptr);
    return 0;
  }
  std::vector<std::string> letters;
  bool goods_local = false;
  if (!BuildUpload(&letters, &goods_local)) {
    DeleteFileA(kUpload);
    if (g_upload.damaged) {
      // The catalog's words for a damaged file (1682) or a missing one
      // (1930), with its name.
      const std::string frame = GetCatalogStr(g_upload.fault == FIGURE_FILE_DAMAGED ? 1682 : 1930),
                        name = g_upload.damaged + 2;
      const size_t at = frame.find("%s");
      Status("%s", (at == std::string::npos ? frame : frame.substr(0, at) + name + frame.substr(at + 2)).c_str());
    } else {
      Status("%scannot build the turn file", nullptr);
    }
    return 0;
  }
  if (!GoOnline()) {
    DeleteFileA(kUpload);
    Status("%snot online", nullptr);
    return 0;
  }
  const uint32_t player = CheckPrefs(PREFS_PLAYER_ID, 0, 0);
  const OptionenPrefs& o = QoESystemPtr->Optionen;
  bool sent = false;
  if (o.net_option_bits & NET_SERVER_ROUTE) {
    uint32_t size = 0;
    uint8_t* pool = static_cast<uint8_t*>(LoadFile2MemSize(kUpload, 0, &size));
    char name[MAIL_NAME_SIZE];
    TurnMailName(player, name);
    uint32_t msize = 0;
    char* mail = pool ? ComposeTurnMail(OwnPlayerPtr->LordName, o.email, QoESystemPtr->Endpoints.TurnMailbox, name, pool,
                                        size, &msize)
                      : nullptr;
    PacketCtx ctx{};
    std::snprintf(ctx.Host, sizeof ctx.Host, "%s", QoESystemPtr->Endpoints.GameServer);
    ctx.PlayerId = player;
    ctx.Data = reinterpret_cast<const uint8_t*>(mail);
    ctx.Size = msize;
    sent = mail && SendPacketConnect(&ctx) && SendPacketSid(&ctx) && SendPacketPut(&ctx);
    // The turn counts once the server acknowledged the data; the goodbye
    // after it may fail without losing it.
    if (sent) SendPacketQuit(&ctx);
    else Status("game server: %s", ctx.Error);
    ClosePacketCtx(&ctx);
    if (mail) FreeVec(mail);
    if (pool) FreeVec(pool);
  } else {
    MailJob job{};
    job.Kind = MAILJOB_TURN;
    job.PlayerNumber = player;
    std::snprintf(job.Sender, sizeof job.Sender, "%s", o.email);
    std::snprintf(job.Recipient, sizeof job.Recipient, "%s", QoESystemPtr->Endpoints.TurnMailbox);
    std::snprintf(job.SmtpUser, sizeof job.SmtpUser, "%s", o.smtp_user);
    std::snprintf(job.SmtpPassword, sizeof job.SmtpPassword, "%s", o.smtp_password);
    const char* r = SendFileAsEmail(kUpload, &job, SENDFILE_POP_BEFORE_SMTP);
    sent = r && !std::strncmp(r, "ok", 2);
    if (!sent) Status("mail: %s", r ? r : "no answer");
  }
  Auflegen();
  if (!sent) {
    DeleteFileA(kUpload);
    return 0;
  }
  // Sent: the turn as sent becomes the outgoing pool, its letters leave and
  // the upload is counted, all in one set: a kill or a failed write leaves
  // all of it as before (the turn then goes out again whole next time) or
  // all of it done.
  // The goods file stays the goods' only home: a WARE taken from it is not
  // kept in the orders, where it would hide the file's later changes.
  const bool goods_out = !goods_local || RemChunkPool("WARE", kUpload);
  const uint32_t uploads = CheckPrefs(PREFS_UPLOADS, 0, 0);
  const uint32_t field = PREFS_UPLOADS, value = uploads >= 255 ? 255 : uploads + 1;
  uint32_t size = 0, prefs_size = 0;
  void* image = LoadFile2MemSize(kUpload, 0, &size);
  uint8_t* prefs = PrefsImageWithFields(kPrefsFile, &field, &value, 1, &prefs_size);
  FileSet* set = goods_out && image && prefs ? BeginFileSet() : nullptr;
  bool kept = set && FileSetWrite(set, OutgoingPoolPath, image, size) && FileSetWrite(set, kPrefsFile, prefs, prefs_size);
  for (const std::string& f : letters)
    kept = kept && FileSetRemove(set, (std::string(".\\Data\\MailOut\\") + f).c_str());
  const int32_t done = set ? CommitFileSet(set) : 0;
  kept = done && kept;
  if (image) FreeVec(image);
  if (prefs) FreeVec(prefs);
  DeleteFileA(kUpload);
  if (!kept) {
    DebugLog("ResidenzUpload: Spielzug gesendet, aber nicht als gesendet vermerkt\n");
    Status("%s", GetCatalogStr(1676));
  } else if (done == FILESET_PART) {
    TakePartSaveNotice();  // told here, in the status line
    Status("%s", CommitPartText());
  } else {
    Status("%sok", nullptr);
  }
  return 1;
}
