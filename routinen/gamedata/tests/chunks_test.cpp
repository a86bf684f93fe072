#include "routinen/gamedata/chunks.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/prefs.h"
#include "tests/support/test_support.h"

using qoe_test::FileExists;
using qoe_test::ReadFileBytes;
using qoe_test::WriteFileBytes;
using Bytes = std::vector<uint8_t>;

namespace {

// Big-endian byte builder for hand-made expected files.
struct BE {
  Bytes b;
  BE& id(const char* s) {
    for (int i = 0; i < 4; i++) b.push_back((uint8_t)s[i]);
    return *this;
  }
  BE& u8(uint8_t v) { b.push_back(v); return *this; }
  BE& u16(uint16_t v) { b.push_back(v >> 8); b.push_back(v & 0xFF); return *this; }
  BE& u32(uint32_t v) { u16(v >> 16); return u16(v & 0xFFFF); }
  BE& zeros(size_t n) { b.insert(b.end(), n, 0); return *this; }
  BE& text(const char* s, size_t n) {
    size_t l = strlen(s);
    for (size_t i = 0; i < l; i++) b.push_back((uint8_t)s[i]);
    return zeros(n - l);
  }
};

Bytes Header(const char* id, uint32_t len) { return BE().id(id).id("V001").u32(len).b; }

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// Writes a single-chunk file, loads it, and saves it back: the bytes must be equal.
uint8_t* LoadRoundTrip(const Bytes& file, const char* id) {
  EXPECT_TRUE(WriteFileBytes("one.qoe", file));
  uint8_t* c = LoadChunk2Mem(id, ".\\one.qoe");
  EXPECT_NE(c, nullptr) << id;
  if (!c) return nullptr;
  EXPECT_EQ(SaveChunk2File(".\\two.qoe", c), 1);
  EXPECT_EQ(ReadFileBytes("two.qoe"), file) << id;
  return c;
}

Bytes Figur(uint32_t owner, uint16_t type, uint16_t nr, uint32_t x, uint32_t y, uint8_t st, uint8_t mp) {
  return BE().u32(owner).u16(type).u16(nr).u32(x).u32(y).u8(st).u8(mp).b;
}

}  // namespace

TEST(ChunkIds, TableOrderGivesMaskBits) {
  EXPECT_EQ(ChunkBit(CHUNK_KORN), 0x1000u);
  EXPECT_EQ(ChunkBit(CHUNK_LAND), 0x2000u);
  EXPECT_EQ(ChunkBit(CHUNK_TAXE), 0x20000u);
  EXPECT_EQ(ChunkBit(CHUNK_ARMY), 0x100000u);
  EXPECT_EQ(ChunkBit(CHUNK_KRIG), 0x800000u);
  EXPECT_EQ(ChunkBit(CHUNK_VERT), 0x1000000u);
  EXPECT_EQ(ChunkBit(CHUNK_SHIP), 0x2000000u);
  EXPECT_EQ(ChunkBit(CHUNK_SPEZ), 0x4000000u);
  EXPECT_EQ(ChunkBit(CHUNK_BMAP) | ChunkBit(CHUNK_IMAP) | ChunkBit(CHUNK_PMAP), 0x38u);
  EXPECT_EQ(ChunkIndexOf("HERB"), 27);
  EXPECT_EQ(ChunkIndexOf("XXXX"), -1);
}

TEST(Crc, KnownValue) {
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32("", 0), 0u);
  // Long runs (eight bytes a step) equal the same bytes fed in pieces.
  Bytes d(1000);
  for (size_t i = 0; i < d.size(); i++) d[i] = (uint8_t)(i * 7 + 3);
  uint32_t part = Crc32(d.data(), 3);
  part = Crc32(d.data() + 3, 500, part);
  part = Crc32(d.data() + 503, 497, part);
  EXPECT_EQ(Crc32(d.data(), 1000), part);
}

TEST(ChunkFormat, FixedChunksByteExact) {
  // LAND: 17 u32 from +14 (+12 and +13 are bytes), four u16, god byte, name.
  BE land;
  land.id("LAND").id("V001").u32(160).u8(1).u8(2);
  for (uint32_t i = 0; i < 17; i++) land.u32(0x01020300 + i);
  land.u16(0x0A0B).u16(2).u16(3).u16(4).u8(7).u8(0).text("Elmor", 80);
  uint8_t* c = LoadRoundTrip(land.b, "LAND");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ChunkLength(c), 160u);
  EXPECT_EQ(c[12], 1);
  EXPECT_EQ(ChunkGet32(c, 14), 0x01020300u);
  EXPECT_EQ(ChunkGet32(c, 78), 0x01020310u);
  EXPECT_EQ(ChunkGet16(c, 82), 0x0A0B);
  EXPECT_EQ(c[90], 7);
  EXPECT_STREQ(reinterpret_cast<char*>(c + 92), "Elmor");
  FreeChunk(c);

  BE korn;
  korn.id("KORN").id("V001").u32(52).u32(1234).u16(3).u32(5).u32(6).u32(7).u32(8).u16(9).u32(10)
      .u8(0xFE).u8(2).u32(11).u32(12).u16(13).u32(14).u32(15).u32(16);
  c = LoadRoundTrip(korn.b, "KORN");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ChunkGet32(c, 12), 1234u);
  EXPECT_EQ(ChunkGet16(c, 16), 3);
  EXPECT_EQ((int8_t)c[40], -2);
  EXPECT_EQ(ChunkGet16(c, 50), 13);
  EXPECT_EQ(ChunkGet32(c, 60), 16u);
  FreeChunk(c);

  BE taxe;
  taxe.id("TAXE").id("V001").u32(72).u32(50).u16(2).u32(3).u32(4).u32(5).u16(6).u16(7).u16(8)
      .u32(9).u32(10).u32(11).u32(12).u16(13).u32(14).u32(15).u32(16).u16(0x00F6).u32(17).u32(18)
      .u32(19).u32(20);
  ASSERT_EQ(taxe.b.size(), 84u);
  c = LoadRoundTrip(taxe.b, "TAXE");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ChunkGet32(c, 22), 4u);
  EXPECT_EQ(ChunkGet16(c, 22), 4);  // the market levy read as u16 on this host
  EXPECT_EQ(ChunkGet32(c, 58), 15u);
  EXPECT_EQ((int8_t)c[66], -10);
  EXPECT_EQ(ChunkGet32(c, 76), 19u);
  FreeChunk(c);

  BE fors;
  fors.id("FORS").id("V001").u32(16).u8(3).u8(1).u8(2).u8(0).u8(1).u8(2).u8(3).u8(4).u8(5).u8(6)
      .u32(777).u16(1);
  c = LoadRoundTrip(fors.b, "FORS");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c[16], 1);
  EXPECT_EQ(ChunkGet32(c, 22), 777u);
  FreeChunk(c);

  BE init;
  init.id("INIT").id("V001").u32(772).text("Anna", 40).zeros(640).u32(0x5F000000).u16(2).zeros(80)
      .u8(0).u8(0x11).u8(0x22).u8(0x33).u8(0x44).u8(0x55);
  ASSERT_EQ(init.b.size(), 784u);
  c = LoadRoundTrip(init.b, "INIT");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ChunkGet32(c, 692), 0x5F000000u);
  EXPECT_EQ(ChunkGet16(c, 696), 2);
  EXPECT_EQ(c[779], 0x11);
  FreeChunk(c);

  // PMAP's payload stays as it is.
  Bytes pmap = Cat({Header("PMAP", 6), {1, 2, 3, 4, 5, 6}});
  c = LoadRoundTrip(pmap, "PMAP");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c[12], 1);
  EXPECT_EQ(c[17], 6);
  FreeChunk(c);
}

TEST(ChunkFormat, RecordChunksByteExact) {
  Bytes move = Cat({Header("MOVE", 2 + 36), BE().u16(2).b, Figur(7, 14, 3, 12799, 6399, 7, 5),
                    Figur(0xFFFFFFFF, 1, 65535, 0, 1, 0, 0)});
  uint8_t* c = LoadRoundTrip(move, "MOVE");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ChunkGet16(c, 12), 2);
  EXPECT_EQ(ChunkGet32(c, 14), 7u);
  EXPECT_EQ(ChunkGet16(c, 18), 14);
  EXPECT_EQ(ChunkGet32(c, 22), 12799u);
  EXPECT_EQ(c[30], 7);
  EXPECT_EQ(ChunkGet16(c, 32 + 6), 65535);
  FreeChunk(c);

  Bytes ware = Cat({Header("WARE", 2 + 36), BE().u16(1).u16(5).u32(9).u32(50).u32(3).u32(100)
                                                .u32(999).u32(1).u32(2).u32(3).u16(0xBEEF).b});
  c = LoadRoundTrip(ware, "WARE");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ChunkGet16(c, 14), 5);
  EXPECT_EQ(ChunkGet32(c, 14 + 6), 50u);
  EXPECT_EQ(ChunkGet16(c, 14 + 34), 0xBEEF);
  FreeChunk(c);

  Bytes ship = Cat({Header("SHIP", 4 + 68), BE().u32(1).u16(3).u16(1).u16(15).u32(100).u32(200).b,
                    Figur(7, 2, 9, 100, 200, 7, 0), Bytes(18, 0), Figur(7, 10, 4, 100, 200, 7, 1)});
  c = LoadRoundTrip(ship, "SHIP");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ChunkGet32(c, 12), 1u);
  EXPECT_EQ(ChunkGet16(c, 16 + 4), 15);
  EXPECT_EQ(ChunkGet16(c, 16 + 14 + 6), 9);
  EXPECT_EQ(ChunkGet16(c, 16 + 50 + 4), 10);
  FreeChunk(c);

  Bytes krig = Cat({Header("KRIG", 4 + 72), BE().u32(1).u32(0).b, Figur(1, 2, 3, 4, 5, 0, 0),
                    Figur(6, 7, 8, 9, 10, 0, 0),
                    BE().u32(5).u16(1).u16(2).u16(3).u16(4).u32(11).u32(12).u32(13).u32(14).u32(15).b});
  c = LoadRoundTrip(krig, "KRIG");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ChunkGet16(c, 16 + 10), 3);
  EXPECT_EQ(ChunkGet32(c, 16 + 30), 9u);
  EXPECT_EQ(ChunkGet32(c, 16 + 40), 5u);
  EXPECT_EQ(ChunkGet32(c, 16 + 64), 14u);
  FreeChunk(c);

  Bytes vert = Cat({Header("VERT", 4 + 32), BE().u32(1).u16(2).u32(3).u32(0xFFFFFFFF).u32(5).u32(6)
                                                .u16(7).u16(8).u32(9).u32(10).u16(11).b});
  c = LoadRoundTrip(vert, "VERT");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ChunkGet32(c, 16 + 6), 0xFFFFFFFFu);
  EXPECT_EQ(ChunkGet16(c, 16 + 30), 11);
  FreeChunk(c);

  Bytes herb = Cat({Header("HERB", 4 + 12), BE().u32(1).u32(300).u32(400).u8(60).u8(2).u16(500).b});
  c = LoadRoundTrip(herb, "HERB");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c[16 + 8], 60);
  EXPECT_EQ(ChunkGet16(c, 16 + 10), 500);
  FreeChunk(c);

  Bytes spez = Cat({Header("SPEZ", 4 + 194), BE().u32(1).text("Bruder Tuck", 80).u32(12).u32(13)
                                                 .u32(14).u16(5).u8(0).u8(1).u8(2).u8(0).u8(1).u8(2)
                                                 .u8(3).u8(4).u8(5).u8(6).u16(0).u32(30).u32(7)
                                                 .zeros(80).b});
  c = LoadRoundTrip(spez, "SPEZ");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ChunkGet32(c, 16 + 80), 12u);
  EXPECT_EQ(ChunkGet16(c, 16 + 92), 5);
  EXPECT_EQ(ChunkGet32(c, 16 + 110), 7u);
  FreeChunk(c);

  Bytes antw = Cat({Header("ANTW", 4 + 84), BE().u32(1).u32(42).text("Harald", 80).b});
  c = LoadRoundTrip(antw, "ANTW");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ChunkGet32(c, 16), 42u);
  FreeChunk(c);

  Bytes geba = Cat({Header("GEBA", 6 + 16), BE().u32(900).u16(1).u16(55).u16(1200).u16(2).u16(0xFFFF)
                                                .u32(5000).u16(40).u16(3).b});
  c = LoadRoundTrip(geba, "GEBA");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ChunkGet32(c, 12), 900u);
  EXPECT_EQ(ChunkGet16(c, 18 + 6), 0xFFFF);
  EXPECT_EQ(ChunkGet16(c, 18 + 14), 3);
  FreeChunk(c);

  Bytes baue = Cat({Header("BAUE", 2 + 16), BE().u16(1).u16(55).u16(1200).u16(2).u16(4).u32(5000)
                                                .u16(40).u16(3).b});
  FreeChunk(LoadRoundTrip(baue, "BAUE"));

  // TOWN records are 92 bytes in V001 and 106 in later versions.
  Bytes town1 = Cat({Header("TOWN", 2 + 92), BE().u16(1).u32(5).text("Burg", 80).u32(10).u32(20).b});
  c = LoadRoundTrip(town1, "TOWN");
  ASSERT_NE(c, nullptr);
  EXPECT_STREQ(reinterpret_cast<char*>(c + 14 + 4), "Burg");
  EXPECT_EQ(ChunkGet32(c, 14 + 88), 20u);
  FreeChunk(c);
  Bytes town2 = Cat({BE().id("TOWN").id("V002").u32(2 + 106).u16(1).u32(5).text("Burg", 80).u32(10)
                         .u32(20).u32(30).u32(40).u32(50).u16(60).b});
  c = LoadRoundTrip(town2, "TOWN");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ChunkGet16(c, 14 + 104), 60);
  FreeChunk(c);
}

// A chunk of records whose count runs past its end gives its whole records
// (and is still damaged); a cut file gives nothing; a good one its count.
TEST(ChunkFormat, WholeRecordsOfAChunkWhoseCountRunsPastItsEnd) {
  auto record = [](uint32_t goods) {
    return BE().u16(5).u32(goods).u32(50).u32(3).u32(100).u32(0).u32(0).u32(0).u32(0).u16(0).b;
  };
  const Bytes good = Cat({Header("WARE", 2 + 2 * 36), BE().u16(2).b, record(23), record(11)});
  ASSERT_TRUE(qoe_test::WriteFileBytes("w.qoe", good));
  uint8_t* c = nullptr;
  uint32_t whole = 0;
  EXPECT_EQ(LoadChunkWholeRecords("WARE", "w.qoe", &c, &whole), CHUNK_GOOD);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(whole, 2u);
  FreeChunk(c);
  Bytes past = good;
  past[13] = 5;  // five promised, two there
  ASSERT_TRUE(qoe_test::WriteFileBytes("w.qoe", past));
  EXPECT_EQ(LoadChunkWholeRecords("WARE", "w.qoe", &c, &whole), CHUNK_DAMAGED);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(whole, 2u);
  EXPECT_EQ(ChunkGet16(c, 12), 2);
  EXPECT_EQ(ChunkGet32(c, 14 + 36 + 2), 11u);
  EXPECT_EQ(ChunkLength(c), 2u + 2u * 36u);
  FreeChunk(c);
  EXPECT_EQ(LoadChunkState("WARE", "w.qoe", &c), CHUNK_DAMAGED);  // never taken as whole
  EXPECT_EQ(c, nullptr);
  ASSERT_TRUE(qoe_test::WriteFileBytes("w.qoe", Bytes(good.begin(), good.begin() + 30)));
  EXPECT_EQ(LoadChunkWholeRecords("WARE", "w.qoe", &c, &whole), CHUNK_DAMAGED);
  EXPECT_EQ(c, nullptr);
  EXPECT_EQ(whole, 0u);
}

TEST(ChunkFormat, ArmyFramingAndLetters) {
  BE army;
  army.id("ARMY").id("V001").u32(0).u32(1);
  army.id("ARHD").u32(52).u32(10).u32(20).u32(7).u32(0).u32(50).u32(33).u32(1).u32(0).text("Garde", 20);
  army.id("AREN").u32(44).u32(2).u32(1).u32(3).u32(0).u32(16).u32(0).u32(0).u32(0).u32(4).u32(120).u32(1);
  army.id("SABO").u32(8).u32(99).u32(5);
  PutBE32(army.b.data() + 8, (uint32_t)army.b.size() - 12);
  uint8_t* c = LoadRoundTrip(army.b, "ARMY");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ChunkGet32(c, 12), 1u);
  EXPECT_EQ(ChunkGet32(c, 16 + 8 + 20), 33u);
  EXPECT_EQ(ChunkGet32(c, 76 + 8 + 36), 120u);
  EXPECT_EQ(ChunkGet32(c, 128 + 8 + 4), 5u);
  FreeChunk(c);

  BE smal;
  smal.id("SMAL").id("V001").u32(0).text("Anna", 40).text("Bert", 40).text("Hallo", 160)
      .text("01.02.2026 10:00:00", 24).u32(7).u32(8).u32(1000).u32(4).text("abc", 4);
  PutBE32(smal.b.data() + 8, (uint32_t)smal.b.size() - 12);
  ASSERT_EQ(smal.b.size(), 296u);
  c = LoadRoundTrip(smal.b, "SMAL");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ChunkGet32(c, 276), 7u);
  EXPECT_EQ(ChunkGet32(c, 280), 8u);
  FreeChunk(c);

  Bytes mail = Cat({Header("MAIL", 4 + 296), BE().u32(1).b, smal.b});
  c = LoadRoundTrip(mail, "MAIL");
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(ChunkGet32(c, 16 + 280), 8u);
  FreeChunk(c);
}

TEST(ChunkFormat, HostileFilesGiveNull) {
  // Count larger than the payload.
  WriteFileBytes("a.qoe", Cat({Header("MOVE", 2 + 18), BE().u16(2).b, Figur(1, 1, 1, 1, 1, 0, 0)}));
  EXPECT_EQ(LoadChunk2Mem("MOVE", ".\\a.qoe"), nullptr);
  // Length past the end of the file.
  Bytes land = Cat({Header("LAND", 160), Bytes(100, 0)});
  WriteFileBytes("b.qoe", land);
  EXPECT_EQ(LoadChunk2Mem("LAND", ".\\b.qoe"), nullptr);
  // A fixed chunk shorter than its layout.
  WriteFileBytes("c.qoe", Cat({Header("LAND", 20), Bytes(20, 0)}));
  EXPECT_EQ(LoadChunk2Mem("LAND", ".\\c.qoe"), nullptr);
  // Army parts count larger than what follows; a wrong tag.
  BE army;
  army.id("ARMY").id("V001").u32(4 + 60).u32(1).id("ARHD").u32(52).zeros(24).u32(3).zeros(24);
  WriteFileBytes("d.qoe", army.b);
  EXPECT_EQ(LoadChunk2Mem("ARMY", ".\\d.qoe"), nullptr);
  // A letter whose text length passes its end.
  BE smal;
  smal.id("SMAL").id("V001").u32(284).zeros(264).u32(1).u32(2).u32(3).u32(100).zeros(4);
  WriteFileBytes("e.qoe", smal.b);
  EXPECT_EQ(LoadChunk2Mem("SMAL", ".\\e.qoe"), nullptr);
  // Truncated header, garbage, empty, missing.
  WriteFileBytes("f.qoe", {'M', 'O', 'V'});
  EXPECT_EQ(LoadChunk2Mem("MOVE", ".\\f.qoe"), nullptr);
  Bytes junk(777);
  for (size_t i = 0; i < junk.size(); i++) junk[i] = (uint8_t)(i * 131 + 7);
  WriteFileBytes("g.qoe", junk);
  EXPECT_EQ(LoadChunk2Mem("MOVE", ".\\g.qoe"), nullptr);
  WriteFileBytes("h.qoe", {});
  EXPECT_EQ(LoadChunk2Mem("MOVE", ".\\h.qoe"), nullptr);
  EXPECT_EQ(LoadChunk2Mem("MOVE", ".\\nothere.qoe"), nullptr);
  // Count 0xFFFF with a tiny payload in a record chunk of every kind.
  for (const char* id : {"WARE", "BAUE", "TOWN"}) {
    WriteFileBytes("i.qoe", Cat({Header(id, 2), BE().u16(0xFFFF).b}));
    EXPECT_EQ(LoadChunk2Mem(id, ".\\i.qoe"), nullptr) << id;
  }
  for (const char* id : {"SHIP", "HERB", "ANTW", "ANFR", "KRIG", "VERT", "SPEZ", "MAIL", "ARMY"}) {
    WriteFileBytes("i.qoe", Cat({Header(id, 4), BE().u32(0xFFFFFFFF).b}));
    EXPECT_EQ(LoadChunk2Mem(id, ".\\i.qoe"), nullptr) << id;
  }
}

TEST(ChunkFormat, SaveChunk2FileRefusesInvalid) {
  EXPECT_EQ(SaveChunk2File(".\\x.qoe", nullptr), 0);
  uint8_t* c = AllocChunk("LAND", "V001", 0);
  EXPECT_EQ(SaveChunk2File(".\\x.qoe", c), 0);
  FreeChunk(c);
  c = AllocChunk("LAND", "V001", 4);  // shorter than LAND's layout
  EXPECT_EQ(SaveChunk2File(".\\x.qoe", c), 0);
  FreeChunk(c);
  EXPECT_FALSE(FileExists("x.qoe"));
}

// ---- pools ----

namespace {
uint8_t* MakeKorn(uint32_t year) {
  uint8_t* c = AllocChunk("KORN", "V001", 52);
  ChunkPut32(c, 12, year);
  return c;
}
uint8_t* MakeHerb(uint32_t n) {
  uint8_t* c = AllocChunk("HERB", "V001", 4 + 12 * n);
  ChunkPut32(c, 12, n);
  for (uint32_t i = 0; i < n; i++) ChunkPut32(c, 16 + 12 * i, i + 1);
  return c;
}
uint32_t Mask(const char* path) {
  uint8_t* info = LoadChunk2Mem("INFO", path);
  if (!info) return 0;
  uint32_t m = ChunkGet32(info, INFO_CHUNK_MASK);
  FreeChunk(info);
  return m;
}
}  // namespace

TEST(ChunkPool, AddReplaceRemoveKeepOthers) {
  const char* pool = ".\\Out.qoe";
  SetGameDataOwner(4711, "Harald");
  uint8_t* korn = MakeKorn(1200);
  uint8_t* herb = MakeHerb(2);
  ASSERT_EQ(AddChunkPool(korn, pool), 1);
  ASSERT_EQ(AddChunkPool(herb, pool), 1);
  EXPECT_EQ(ChunkGet32(korn, 12), 1200u);  // caller's chunk stays in host order
  EXPECT_EQ(Mask(pool), ChunkBit(CHUNK_INFO) | ChunkBit(CHUNK_KORN) | ChunkBit(CHUNK_HERB));
  EXPECT_EQ(IsChunkInFile(ChunkBit(CHUNK_KORN) | ChunkBit(CHUNK_HERB), pool), 1);
  EXPECT_EQ(IsChunkInFile(ChunkBit(CHUNK_LAND), pool), 0);
  EXPECT_EQ(IsChunkInFile(ChunkBit(CHUNK_KORN), ".\\none.qoe"), 0);

  Bytes file = ReadFileBytes("Out.qoe");
  ASSERT_GE(file.size(), (size_t)INFO_CHUNK_SIZE);
  EXPECT_EQ(0, memcmp(file.data(), "INFOV001", 8));
  EXPECT_EQ(GetBE32(file.data() + INFO_PLAYER_ID), 4711u);
  EXPECT_EQ(GetBE32(file.data() + INFO_CHECKSUM),
            Crc32(file.data() + INFO_CHUNK_SIZE, (uint32_t)file.size() - INFO_CHUNK_SIZE));
  // KORN first, then HERB, right after INFO.
  EXPECT_EQ(0, memcmp(file.data() + INFO_CHUNK_SIZE, "KORN", 4));
  EXPECT_EQ(0, memcmp(file.data() + INFO_CHUNK_SIZE + 64, "HERB", 4));

  // Replace KORN in place with a different size.
  uint8_t* korn2 = AllocChunk("KORN", "V002", 60);
  ChunkPut32(korn2, 12, 1201);
  ASSERT_EQ(AddChunkPool(korn2, pool), 1);
  uint8_t* k = LoadChunk2Mem("KORN", pool);
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(ChunkGet32(k, 12), 1201u);
  EXPECT_EQ(ChunkLength(k), 60u);
  FreeChunk(k);
  uint8_t* h = LoadChunk2Mem("HERB", pool);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(0, memcmp(h, herb, 12 + 28));
  FreeChunk(h);
  file = ReadFileBytes("Out.qoe");
  EXPECT_EQ(0, memcmp(file.data() + INFO_CHUNK_SIZE, "KORN", 4));

  // Remove HERB: bit cleared, KORN kept, checksum right.
  ASSERT_EQ(RemChunkPool("HERB", pool), 1);
  EXPECT_EQ(Mask(pool), ChunkBit(CHUNK_INFO) | ChunkBit(CHUNK_KORN));
  EXPECT_EQ(LoadChunk2Mem("HERB", pool), nullptr);
  EXPECT_EQ(RemChunkPool("HERB", pool), 1);
  EXPECT_EQ(RemChunkPool("HERB", ".\\none.qoe"), 0);
  k = LoadChunk2Mem("KORN", pool);
  EXPECT_NE(k, nullptr);
  FreeChunk(k);
  EXPECT_FALSE(FileExists("Out.qoe.bak"));

  // An INFO chunk handed in keeps the pool's mask.
  uint8_t* info = AllocChunk("INFO", "V001", INFO_CHUNK_SIZE - 12);
  ChunkPut32(info, INFO_PLAYER_ID, 99);
  ChunkPut16(info, INFO_FLAGS, 1);
  info[INFO_DICE] = 200;
  ASSERT_EQ(AddChunkPool(info, pool), 1);
  uint8_t* got = LoadChunk2Mem("INFO", pool);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(ChunkGet32(got, INFO_PLAYER_ID), 99u);
  EXPECT_EQ(ChunkGet16(got, INFO_FLAGS), 1);
  EXPECT_EQ(got[INFO_DICE], 200);
  EXPECT_EQ(ChunkGet32(got, INFO_CHUNK_MASK), ChunkBit(CHUNK_INFO) | ChunkBit(CHUNK_KORN));
  FreeChunk(got);
  FreeChunk(info);
  FreeChunk(korn);
  FreeChunk(korn2);
  FreeChunk(herb);
  SetGameDataOwner(0, nullptr);
}

TEST(ChunkPool, CorruptPoolIsNeverUsed) {
  const char* pool = ".\\P.qoe";
  uint8_t* korn = MakeKorn(5);
  ASSERT_EQ(AddChunkPool(korn, pool), 1);
  Bytes file = ReadFileBytes("P.qoe");
  file.back() ^= 0x40;  // one flipped bit in the payload
  WriteFileBytes("P.qoe", file);
  EXPECT_EQ(LoadChunk2Mem("KORN", pool), nullptr);
  EXPECT_EQ(LoadChunk2Mem("INFO", pool), nullptr);
  EXPECT_EQ(IsChunkInFile(ChunkBit(CHUNK_KORN), pool), 0);
  EXPECT_EQ(AddChunkPool(korn, pool), 0);  // not rewritten on top of a corrupt pool
  EXPECT_EQ(ReadFileBytes("P.qoe"), file);
  EXPECT_EQ(RemChunkPool("KORN", pool), 0);
  FreeChunk(korn);
}

TEST(ChunkPool, FailedRewriteKeepsThePoolAndNoStaleBackupIsEverUsed) {
  const char* pool = ".\\Q.qoe";
  uint8_t* korn = MakeKorn(5);
  uint8_t* herb = MakeHerb(3);
  ASSERT_EQ(AddChunkPool(korn, pool), 1);
  Bytes before = ReadFileBytes("Q.qoe");

  // A rewrite that fails half-way leaves the old pool whole and nothing else.
  FileFailWritesAfter((int64_t)before.size());
  EXPECT_EQ(AddChunkPool(herb, pool), 0);
  FileFailWritesAfter(-1);
  EXPECT_EQ(ReadFileBytes("Q.qoe"), before);
  EXPECT_FALSE(FileExists("Q.qoe.bak"));
  EXPECT_EQ(LoadChunk2Mem("HERB", pool), nullptr);

  // An old backup lies about (left by an earlier version); the pool is then
  // replaced by newer data and found damaged: that is reported, and the
  // realm never goes back to the backup's older data.
  WriteFileBytes("Q.qoe.bak", before);
  uint8_t* newer = MakeKorn(6);
  ASSERT_EQ(AddChunkPool(newer, pool), 1);
  EXPECT_FALSE(FileExists("Q.qoe.bak"));  // a successful rewrite drops it
  WriteFileBytes("Q.qoe.bak", before);
  Bytes damaged = ReadFileBytes("Q.qoe");
  damaged.back() ^= 1;
  WriteFileBytes("Q.qoe", damaged);
  EXPECT_EQ(AddChunkPool(herb, pool), 0);
  EXPECT_EQ(RemChunkPool("KORN", pool), 0);
  EXPECT_EQ(ReadFileBytes("Q.qoe"), damaged);
  EXPECT_EQ(LoadChunk2Mem("KORN", pool), nullptr);
  // Gone altogether: a new pool, again not the backup.
  remove("Q.qoe");
  ASSERT_EQ(AddChunkPool(herb, pool), 1);
  EXPECT_EQ(Mask(pool), ChunkBit(CHUNK_INFO) | ChunkBit(CHUNK_HERB));
  EXPECT_EQ(LoadChunk2Mem("KORN", pool), nullptr);
  FreeChunk(newer);
  // An empty pool file is damaged, not missing.
  WriteFileBytes("E.qoe", {});
  EXPECT_EQ(AddChunkPool(korn, ".\\E.qoe"), 0);
  EXPECT_EQ(ReadFileBytes("E.qoe"), Bytes{});
  ASSERT_EQ(AddChunkPool(korn, pool), 1);

  // File-size limit: the rewrite fails, the old pool is whole.
  before = ReadFileBytes("Q.qoe");
  uint8_t* big = MakeHerb(5000);
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit old_lim, lim;
  getrlimit(RLIMIT_FSIZE, &old_lim);
  lim = old_lim;
  lim.rlim_cur = 4096;
  setrlimit(RLIMIT_FSIZE, &lim);
  int32_t ok = AddChunkPool(big, pool);
  setrlimit(RLIMIT_FSIZE, &old_lim);
  EXPECT_EQ(ok, 0);
  EXPECT_EQ(ReadFileBytes("Q.qoe"), before);
  uint8_t* h = LoadChunk2Mem("HERB", pool);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(ChunkGet32(h, 12), 3u);
  FreeChunk(h);
  FreeChunk(big);
  FreeChunk(korn);
  FreeChunk(herb);
}

// A pool file must hold a valid INFO chunk and pass its checksum whatever
// its first bytes say; other files stay plain chunk files.
TEST(ChunkPool, PoolFileWithDamagedFirstBytesNeverLoads) {
  std::filesystem::create_directories("Data/POP3In");
  const char* pool = ".\\Data\\POP3In\\GameChunk.qoe";
  uint8_t* korn = MakeKorn(7);
  ASSERT_EQ(AddChunkPool(korn, pool), 1);
  FreeChunk(korn);
  const Bytes good = ReadFileBytes("Data/POP3In/GameChunk.qoe");
  uint8_t* k = LoadChunk2Mem("KORN", ".\\data\\pop3in\\gamechunk.QOE");
  ASSERT_NE(k, nullptr);
  FreeChunk(k);
  // Every single bit of the INFO ID, and bits all over the checksummed part.
  std::vector<size_t> bits;
  for (size_t b = 0; b < 32; b++) bits.push_back(b);
  for (size_t b = INFO_CHUNK_SIZE * 8; b < good.size() * 8; b += 7) bits.push_back(b);
  for (size_t bit : bits) {
    Bytes bad = good;
    bad[bit / 8] ^= (uint8_t)(1u << (bit % 8));
    WriteFileBytes("Data/POP3In/GameChunk.qoe", bad);
    for (uint32_t i = 0; i < CHUNK_TYPES; i++) {
      uint8_t* c = LoadChunk2Mem(ChunkIdTable[i], pool);
      EXPECT_EQ(c, nullptr) << bit << " " << ChunkIdTable[i];
      FreeChunk(c);
    }
    EXPECT_EQ(IsChunkInFile(ChunkBit(CHUNK_KORN), pool), 0) << bit;
  }
  // The same bytes under another name are a plain file: the renamed first
  // chunk is no INFO, and KORN loads.
  Bytes renamed = good;
  renamed[3] ^= 1;
  WriteFileBytes("Plain.qoe", renamed);
  k = LoadChunk2Mem("KORN", ".\\Plain.qoe");
  EXPECT_NE(k, nullptr);
  FreeChunk(k);
  EXPECT_EQ(IsPoolPath(".\\Data\\POP3Out\\GAMECHUNK.qoe"), 1);
  EXPECT_EQ(IsPoolPath("GameChunk.qoe.bak"), 0);
}

TEST(ChunkPool, OwnerFromPrefsWhenNotSet) {
  mkdir("Data", 0755);
  SetGameDataOwner(0, nullptr);
  CheckPrefs(PREFS_PLAYER_ID, 1, 1234);
  CheckPrefsStr(PREFS_LORD_NAME, 1, "Ulrich");
  EXPECT_EQ(GameDataOwnerID(), 1234u);
  EXPECT_STREQ(GameDataOwnerName(), "Ulrich");
  SetGameDataOwner(5, "Fuenf");
  EXPECT_EQ(GameDataOwnerID(), 5u);
  EXPECT_STREQ(GameDataOwnerName(), "Fuenf");
  SetGameDataOwner(0, nullptr);
  uint8_t* korn = MakeKorn(1);
  ASSERT_EQ(AddChunkPool(korn, ".\\R.qoe"), 1);
  FreeChunk(korn);
  EXPECT_EQ(GetBE32(ReadFileBytes("R.qoe").data() + INFO_PLAYER_ID), 1234u);
}

TEST(ChunkPool, RemoveKeepsOldPoolOnFailedWrite) {
  const char* pool = ".\\S.qoe";
  uint8_t* korn = MakeKorn(9);
  uint8_t* herb = MakeHerb(2);
  ASSERT_EQ(AddChunkPool(korn, pool), 1);
  ASSERT_EQ(AddChunkPool(herb, pool), 1);
  Bytes before = ReadFileBytes("S.qoe");
  FileFailWritesAfter(10);  // the new pool fails part-way
  EXPECT_EQ(RemChunkPool("HERB", pool), 0);
  FileFailWritesAfter(-1);
  EXPECT_EQ(ReadFileBytes("S.qoe"), before);
  EXPECT_FALSE(FileExists("S.qoe.bak"));
  FileFailWritesAfter(0);  // not a byte
  EXPECT_EQ(RemChunkPool("HERB", pool), 0);
  FileFailWritesAfter(-1);
  EXPECT_EQ(ReadFileBytes("S.qoe"), before);
  EXPECT_EQ(IsChunkInFile(ChunkBit(CHUNK_HERB) | ChunkBit(CHUNK_KORN), pool), 1);
  ASSERT_EQ(RemChunkPool("HERB", pool), 1);
  EXPECT_EQ(IsChunkInFile(ChunkBit(CHUNK_HERB), pool), 0);
  EXPECT_FALSE(FileExists("S.qoe.bak"));
  FreeChunk(korn);
  FreeChunk(herb);
}

TEST(ChunkPool, CorruptPoolIsReportedNotRebuiltFromABackup) {
  const char* pool = ".\\T.qoe";
  uint8_t* korn = MakeKorn(3);
  uint8_t* herb = MakeHerb(1);
  ASSERT_EQ(AddChunkPool(korn, pool), 1);
  Bytes good = ReadFileBytes("T.qoe");
  WriteFileBytes("T.qoe.bak", good);
  Bytes bad = good;
  bad[bad.size() - 5] ^= 1;
  WriteFileBytes("T.qoe", bad);
  EXPECT_EQ(LoadChunk2Mem("KORN", pool), nullptr);  // readers never use a corrupt pool
  EXPECT_EQ(AddChunkPool(herb, pool), 0);           // nor do writers, backup or not
  EXPECT_EQ(RemChunkPool("KORN", pool), 0);
  EXPECT_EQ(ReadFileBytes("T.qoe"), bad);
  // An INFO chunk shorter than its layout makes the file corrupt.
  Bytes shortinfo = Cat({Header("INFO", 8), Bytes(8, 0)});
  WriteFileBytes("U.qoe", shortinfo);
  EXPECT_EQ(LoadChunk2Mem("INFO", ".\\U.qoe"), nullptr);
  EXPECT_EQ(IsChunkInFile(ChunkBit(CHUNK_INFO), ".\\U.qoe"), 0);
  FreeChunk(korn);
  FreeChunk(herb);
}

// ---- one image of the pool for a change of several files ----

namespace {
Bytes Image(const char* path, std::initializer_list<PoolChange> changes) {
  std::vector<PoolChange> v(changes);
  uint32_t size = 0;
  uint8_t* img = ChangedPoolImage(path, v.data(), (uint32_t)v.size(), &size);
  if (!img) return {};
  Bytes out(img, img + size);
  FreeVec(img);
  return out;
}
// Temporary files of unfinished writes anywhere below the working folder.
size_t TempFiles() {
  size_t n = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator("."))
    if (e.path().filename().string().find(".qoetmp-") != std::string::npos) ++n;
  return n;
}
}  // namespace

TEST(ChunkPool, ChangedImageIsWhatTheSingleWritesLeave) {
  SetGameDataOwner(4711, "Harald");
  uint8_t* korn = MakeKorn(1200);
  uint8_t* korn2 = AllocChunk("KORN", "V002", 60);
  ChunkPut32(korn2, 12, 1201);
  uint8_t* herb = MakeHerb(3);
  uint8_t* info = AllocChunk("INFO", "V001", INFO_CHUNK_SIZE - 12);
  ChunkPut16(info, INFO_FLAGS, 1);
  // A missing pool: built from a new INFO, the file is not made.
  Bytes img = Image(".\\A.qoe", {{korn, nullptr}, {herb, nullptr}, {nullptr, "KORN"}, {korn2, nullptr}});
  EXPECT_FALSE(FileExists("A.qoe"));
  ASSERT_EQ(AddChunkPool(korn, ".\\B.qoe"), 1);
  ASSERT_EQ(AddChunkPool(herb, ".\\B.qoe"), 1);
  ASSERT_EQ(RemChunkPool("KORN", ".\\B.qoe"), 1);
  ASSERT_EQ(AddChunkPool(korn2, ".\\B.qoe"), 1);
  EXPECT_EQ(img, ReadFileBytes("B.qoe"));
  EXPECT_EQ(Image(".\\A.qoe", {}), Image(".\\C.qoe", {{nullptr, "HERB"}}));
  // An existing pool: replace in place, a new INFO, remove, add.
  Bytes before = ReadFileBytes("B.qoe");
  img = Image(".\\B.qoe", {{korn, nullptr}, {info, nullptr}, {nullptr, "HERB"}, {herb, nullptr}});
  EXPECT_EQ(ReadFileBytes("B.qoe"), before);
  ASSERT_EQ(AddChunkPool(korn, ".\\B.qoe"), 1);
  ASSERT_EQ(AddChunkPool(info, ".\\B.qoe"), 1);
  ASSERT_EQ(RemChunkPool("HERB", ".\\B.qoe"), 1);
  ASSERT_EQ(AddChunkPool(herb, ".\\B.qoe"), 1);
  EXPECT_EQ(img, ReadFileBytes("B.qoe"));
  EXPECT_EQ(VerifyChunkPool(img.data(), (uint32_t)img.size()), 1);
  // Refused: INFO or a short ID removed, a chunk that does not fit, a damaged pool.
  uint32_t size = 7;
  PoolChange bad[] = {{nullptr, "INFO"}, {nullptr, "KO"}, {nullptr, nullptr}};
  for (const PoolChange& c : bad) EXPECT_EQ(ChangedPoolImage(".\\B.qoe", &c, 1, &size), nullptr);
  uint8_t* shortHerb = AllocChunk("HERB", "V001", 8);
  ChunkPut32(shortHerb, 12, 50);  // 50 records in 4 bytes
  PoolChange tooShort = {shortHerb, nullptr};
  EXPECT_EQ(ChangedPoolImage(".\\B.qoe", &tooShort, 1, &size), nullptr);
  Bytes damaged = before;
  damaged.back() ^= 1;
  WriteFileBytes("B.qoe", damaged);
  EXPECT_EQ(Image(".\\B.qoe", {{korn, nullptr}}), Bytes{});
  EXPECT_EQ(size, 7u);
  for (uint8_t* c : {korn, korn2, herb, info, shortHerb}) FreeChunk(c);
  SetGameDataOwner(0, nullptr);
}

TEST(ChunkPool, AFailedWriteOfThePoolAndItsSideFilesChangesNone) {
  // A screen's visit: the outgoing pool, the goods file and the map prefs in one set.
  const char* pool = ".\\Data\\POP3Out\\GameChunk.qoe";
  const char* goods = ".\\Data\\WarenChunk.qoe";
  const char* prefs = ".\\Data\\MapPrefs.qoe";
  ASSERT_EQ(CreateDirPath(".\\Data\\POP3Out"), 1);
  uint8_t* korn = MakeKorn(1200);
  uint8_t* herb = MakeHerb(4);
  ASSERT_EQ(AddChunkPool(korn, pool), 1);
  ASSERT_EQ(SaveChunk2File(goods, herb), 1);
  ASSERT_TRUE(WriteFileBytes("Data/MapPrefs.qoe", Bytes(40, 3)));
  const Bytes old_pool = ReadFileBytes("Data/POP3Out/GameChunk.qoe"), old_goods = ReadFileBytes("Data/WarenChunk.qoe"),
              old_prefs = ReadFileBytes("Data/MapPrefs.qoe");
  uint8_t* korn2 = MakeKorn(1201);
  uint8_t* herb2 = MakeHerb(5);
  Bytes new_goods(herb2, herb2 + 12 + ChunkLength(herb2));
  ASSERT_EQ(SwapByteOrderInChunk(new_goods.data(), (uint32_t)new_goods.size(), 0), 1);
  const Bytes new_prefs(40, 4);
  PoolChange changes[] = {{korn2, nullptr}, {herb2, nullptr}};
  auto visit = [&]() {
    uint32_t size = 0;
    uint8_t* image = ChangedPoolImage(pool, changes, 2, &size);
    FileSet* set = image ? BeginFileSet() : nullptr;
    int32_t ok = set && FileSetWrite(set, pool, image, size) &&
                 FileSetWrite(set, goods, new_goods.data(), (uint32_t)new_goods.size()) &&
                 FileSetWrite(set, prefs, new_prefs.data(), (uint32_t)new_prefs.size());
    if (set) ok = CommitFileSet(set) && ok;
    FreeVec(image);
    return ok;
  };
  uint32_t size = 0;
  uint8_t* expected = ChangedPoolImage(pool, changes, 2, &size);
  ASSERT_NE(expected, nullptr);
  const Bytes new_pool(expected, expected + size);
  FreeVec(expected);
  const int64_t total = (int64_t)(new_pool.size() + new_goods.size() + new_prefs.size());
  for (int64_t n = 0; n < total; ++n) {
    FileFailWritesAfter(n);
    EXPECT_EQ(visit(), 0) << n;
    FileFailWritesAfter(-1);
    EXPECT_EQ(ReadFileBytes("Data/POP3Out/GameChunk.qoe"), old_pool) << n;
    EXPECT_EQ(ReadFileBytes("Data/WarenChunk.qoe"), old_goods) << n;
    EXPECT_EQ(ReadFileBytes("Data/MapPrefs.qoe"), old_prefs) << n;
    EXPECT_EQ(TempFiles(), 0u) << n;
  }
  FileFailWritesAfter(total);
  EXPECT_EQ(visit(), 1);
  FileFailWritesAfter(-1);
  EXPECT_EQ(ReadFileBytes("Data/POP3Out/GameChunk.qoe"), new_pool);
  EXPECT_EQ(ReadFileBytes("Data/WarenChunk.qoe"), new_goods);
  EXPECT_EQ(ReadFileBytes("Data/MapPrefs.qoe"), new_prefs);
  for (uint8_t* c : {korn, herb, korn2, herb2}) FreeChunk(c);
}
