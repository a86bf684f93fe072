// Fuzz target: arbitrary bytes as a realm description, read fresh and as a
// change list on top of a small realm. Whatever the reader accepts must build
// a pool that passes the client's pool check and loads chunk by chunk.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace {

void Check(const Realm& r) {
  Bytes pool = BuildTurnPool(r);
  if (pool.empty() || VerifyChunkPool(pool.data(), (uint32_t)pool.size()) != 1) std::abort();
  for (uint32_t i = 0; i < CHUNK_TYPES; i++) FreeChunk(ChunkFromBuffer(ChunkIdTable[i], pool.data(), (uint32_t)pool.size()));
  if (!r.rejected) return;  // else the answer is the same pool
  Bytes answer = BuildSignupAnswer(r);
  if (answer.empty() || VerifyChunkPool(answer.data(), (uint32_t)answer.size()) != 1) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool init = false;
  if (!init) {
    DebugLogSetStderr(0);
    init = true;
  }
  if (size > 1 << 16) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);
  Realm r;
  std::string err;
  if (ParseRealm(text, "fuzz.realm", &r, &err)) Check(r);
  Realm base;
  if (!ParseRealm("player id=1 name=\"A\"\nturn year=1 quarter=0\nmap x=0 y=0 width=4 height=2\nrow .T.~\nrow ..~~\n"
                  "owner x=1 y=0 player=1\ntown town_id=1 name=\"B\" x=1 y=0\nfigure number=1 x=0 y=0\n",
                  "base.realm", &base, &err))
    std::abort();
  if (ParseRealm(text, "fuzz.changes", &base, &err, true)) Check(base);
  return 0;
}
