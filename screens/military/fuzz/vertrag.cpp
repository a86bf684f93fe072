// Fuzz target: fuzzed VERT records in the received and outgoing pools and a
// fuzzed player list (.\Data\SpielerList.qoe) through the line lists of the
// four modes, every record's document, every record the lord can make and
// the cancel flow, with selections and answers the input chooses; then the
// write-back of the received pool.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/lists.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "tests/support/fuzz_workdir.h"
#include "screens/military/diplomat.h"

namespace {

const uint8_t* g_answers;
size_t g_answer_count, g_answer_at;
uint32_t Answer(uint32_t, const char*) {
  return g_answer_count ? g_answers[g_answer_at++ % g_answer_count] & 1 : 0;
}

// A one-chunk image (disk order) of id with the payload.
std::vector<uint8_t> Chunk(const char* id, const uint8_t* payload, size_t n) {
  std::vector<uint8_t> c(12 + n);
  std::memcpy(c.data(), id, 4);
  std::memcpy(c.data() + 4, "V001", 4);
  PutBE32(c.data() + 8, static_cast<uint32_t>(n));
  if (n) std::memcpy(c.data() + 12, payload, n);
  return c;
}

// A pool: INFO marking VERT present, then the chunk.
void WritePool(const char* path, const std::vector<uint8_t>& vert) {
  std::vector<uint8_t> pool(INFO_CHUNK_SIZE, 0);
  std::memcpy(pool.data(), "INFOV001", 8);
  PutBE32(pool.data() + 8, INFO_CHUNK_SIZE - 12);
  PutBE32(pool.data() + INFO_PLAYER_ID, 9);
  PutBE32(pool.data() + INFO_CHUNK_MASK, ChunkBit(CHUNK_VERT));
  pool.insert(pool.end(), vert.begin(), vert.end());
  PutBE32(pool.data() + INFO_CHECKSUM, Crc32(pool.data() + INFO_CHUNK_SIZE, static_cast<uint32_t>(vert.size())));
  SaveMem2File(path, pool.data(), static_cast<uint32_t>(pool.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool init = false;
  if (!init) {
    if (!EnterFuzzWorkDir("vertrag")) return 0;
    CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
    SetGameDataOwner(9, "Fuzz");
    SetDiplomatMessageHook(Answer);
    SetVertragClock([]() -> uint32_t { return 77; });
    init = true;
  }
  // 16 control bytes, then the received VERT, the outgoing VERT and the
  // player list's ANTW payloads, split by the first control bytes.
  if (size < 16 || size > (1 << 16)) return 0;
  const uint8_t* ctl = data;
  const uint8_t* body = data + 16;
  const size_t n = size - 16;
  const size_t a = n ? (ctl[0] | (ctl[1] << 8)) % (n + 1) : 0;
  const size_t b = n - a ? (ctl[2] | (ctl[3] << 8)) % (n - a + 1) : 0;
  WritePool(ReceivedPoolPath, Chunk("VERT", body, a));
  if (ctl[4] & 1) WritePool(OutgoingPoolPath, Chunk("VERT", body + a, b));
  else DeleteFileA(OutgoingPoolPath);
  const std::vector<uint8_t> antw = Chunk("ANTW", body + a + b, n - a - b);
  if (ctl[4] & 2) SaveMem2File(".\\Data\\SpielerList.qoe", antw.data(), static_cast<uint32_t>(antw.size()));
  else DeleteFileA(".\\Data\\SpielerList.qoe");
  g_answers = ctl + 8;
  g_answer_count = 8;
  g_answer_at = 0;

  DiplomatScreenData d{};
  d.selPlayer = d.selGoods = -1;
  AllocSpielerList(&d);
  for (uint32_t mode = VLIST_VIEW; mode <= VLIST_CANCEL; ++mode)
    if (!AllocVertragList(&d, mode)) break;
  if (d.contractList) {
    static char doc[kDiplomatDocSize];
    for (uint32_t i = 0; i < d.contractList->count && i < 64; ++i)
      VertragDokument(reinterpret_cast<const VertragsEintrag*>(VertragNodeAt(&d, i)), 9, "Fuzz", doc, sizeof doc);
    d.corn = ctl[5] * 100u;
    d.turns = ctl[6] % 9;
    d.amount = ctl[7] * 0x01010101u;
    d.price = ctl[5];
    d.selPlayer = static_cast<int16_t>(static_cast<int8_t>(ctl[8]));
    d.selGoods = static_cast<int16_t>(static_cast<int8_t>(ctl[9]));
    d.mode = ctl[10] & 1 ? ~0u : 0;
    uint32_t count = 0;
    FreeVec(VassalDokLines(&d, &count));
    AllocVertragList(&d, VLIST_OFFERS);
    d.selOffer = VertragNodeAt(&d, ctl[11] % 8);
    for (uint32_t kind : {0u, 2u, 3u, 6u, 7u, 5u, 10u, 4u}) {
      if (kind == 5 || kind == 10) d.selOffer = VertragNodeAt(&d, ctl[12] % 8);
      SendVertrag(&d, kind);
    }
    AllocVertragList(&d, VLIST_CANCEL);
    d.selPlayer = static_cast<int16_t>(ctl[13] % 8);
    DiplomatScreenDeleteContracts_SendCancel(&d);
  }
  FreeVertragList(&d);
  FreeSpielerList(&d);
  FreeVec(d.offerLines);  // an acceptance shows the sender's remaining offers
  return 0;
}
