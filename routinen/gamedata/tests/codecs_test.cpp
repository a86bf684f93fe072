#include "routinen/gamedata/codecs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "routinen/gamedata/entities.h"
#include "tests/support/test_support.h"

namespace {

struct DocRow {
  uint32_t off;
  std::string type, name;
};
struct DocTable {
  uint32_t size = 0;
  std::vector<DocRow> rows;
};

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" `"), b = s.find_last_not_of(" `");
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// Every "### `Name` (N bytes)" section of the page with its first table.
std::map<std::string, DocTable> ReadDocTables(const std::string& path) {
  std::ifstream in(path);
  std::map<std::string, DocTable> out;
  std::string line, current;
  bool in_table = false;
  while (std::getline(in, line)) {
    char name[64];
    unsigned size;
    if (line.rfind("### ", 0) == 0) {
      current.clear();
      in_table = false;
      if (std::sscanf(line.c_str(), "### `%63[^`]` (%u bytes)", name, &size) == 2) {
        current = name;
        EXPECT_EQ(out.count(current), 0u) << "two sections for " << current;
        out[current].size = size;
      }
      continue;
    }
    if (current.empty()) continue;
    if (line.rfind("|", 0) != 0) {
      if (in_table) current.clear();  // only the first table belongs to the record
      continue;
    }
    in_table = true;
    std::vector<std::string> cells;
    std::stringstream ss(line.substr(1));
    std::string cell;
    while (std::getline(ss, cell, '|')) cells.push_back(Trim(cell));
    if (cells.size() < 3 || cells[0] == "off" || cells[0].rfind("---", 0) == 0) continue;
    out[current].rows.push_back({(uint32_t)std::stoul(cells[0]), cells[1], cells[2]});
  }
  return out;
}

std::string TypeText(const CodecField& f) {
  static const char* const kNames[] = {"u8", "i8", "u16", "i16", "u32", "i32", "char", "u8"};
  std::string base = f.type == CT_RECORD ? f.sub->name : kNames[f.type];
  bool array = f.type == CT_TEXT || f.type == CT_BYTES || f.count > 1;
  return array ? base + "[" + std::to_string(f.count) + "]" : base;
}

bool IsChunkPart(const RecordCodec& c) { return ChunkIndexOf(c.name) >= 0; }

}  // namespace

TEST(Codecs, TablesMatchDocs) {
  auto docs = ReadDocTables(qoe_test::SourceDir() + "/docs/chunks.md");
  ASSERT_FALSE(docs.empty());
  for (uint32_t i = 0; i < AllRecordCodecCount; i++) {
    const RecordCodec& c = *AllRecordCodecs[i];
    SCOPED_TRACE(c.name);
    ASSERT_EQ(docs.count(c.name), 1u) << "docs/chunks.md has no table for it";
    const DocTable& t = docs[c.name];
    EXPECT_EQ(t.size, c.size);
    ASSERT_EQ(t.rows.size(), c.nfields);
    // The fields tile the record: in order, no gap, no overlap, up to its size.
    uint32_t at = IsChunkPart(c) ? 12 : 0;
    for (uint32_t k = 0; k < c.nfields; k++) {
      const CodecField& f = c.fields[k];
      EXPECT_EQ(t.rows[k].off, f.off) << f.name;
      EXPECT_EQ(t.rows[k].type, TypeText(f)) << f.name;
      EXPECT_EQ(t.rows[k].name, f.name);
      EXPECT_EQ(f.off, at) << f.name << " does not follow the field before it";
      at = f.off + CodecFieldSize(f);
      EXPECT_EQ(FindCodecField(c, f.name), &f) << "name used twice: " << f.name;
    }
    EXPECT_EQ(at, c.size);
    docs.erase(c.name);
  }
  for (auto& d : docs) ADD_FAILURE() << "docs/chunks.md table without a codec: " << d.first;
}

TEST(Codecs, MembersFitTheirFields) {
  for (uint32_t i = 0; i < AllRecordCodecCount; i++) {
    const RecordCodec& c = *AllRecordCodecs[i];
    for (uint32_t k = 0; k < c.nfields; k++) {
      const CodecField& f = c.fields[k];
      if (f.mem == CODEC_NO_MEMBER) continue;
      ASSERT_NE(c.mem_size, 0u) << c.name;
      uint32_t want = f.type == CT_RECORD ? f.count * f.sub->mem_size : CodecFieldSize(f);
      EXPECT_EQ(f.mem_size, want) << c.name << "." << f.name;
      EXPECT_LE(f.mem + f.mem_size, c.mem_size) << c.name << "." << f.name;
    }
  }
  // The chunk layouts name the codecs the docs list, and the lookups find them.
  for (const ChunkLayout& l : ChunkLayouts) {
    if (l.head) {
      EXPECT_LE(l.head->size, l.min_size) << l.id;
    }
    if (l.rec) {
      EXPECT_EQ(FindRecordCodec(l.rec->name), l.rec) << l.id;
    }
    EXPECT_EQ(ChunkLayoutOf(l.id), &l);
  }
  EXPECT_EQ(FindRecordCodec("nothing"), nullptr);
  EXPECT_EQ(ChunkLayoutOf("XXXX"), nullptr);
}

TEST(Codecs, BigEndianAndHostOrderAgree) {
  // A record decoded from disk order equals the one decoded after the swap
  // to host order, and encodes back to the same bytes (texts zero-padded).
  Schiffseintrag a{}, b{};
  uint8_t disk[68], host[68], back[68];
  for (uint32_t i = 0; i < sizeof disk; i++) disk[i] = (uint8_t)(i * 37 + 5);
  std::memcpy(host, disk, sizeof disk);
  SwapRecord(SchiffseintragCodec, host, true);
  DecodeRecord(SchiffseintragCodec, disk, ORDER_BIG, &a);
  DecodeRecord(SchiffseintragCodec, host, ORDER_HOST, &b);
  EXPECT_EQ(0, std::memcmp(reinterpret_cast<uint8_t*>(&a) + sizeof(ListNode),
                           reinterpret_cast<uint8_t*>(&b) + sizeof(ListNode), sizeof a - sizeof(ListNode)));
  EXPECT_EQ(a.cargo[2].x, (uint32_t)disk[58] << 24 | disk[59] << 16 | disk[60] << 8 | disk[61]);
  EncodeRecord(SchiffseintragCodec, &a, back, ORDER_BIG);
  EXPECT_EQ(0, std::memcmp(back, disk, sizeof disk));
  SwapRecord(SchiffseintragCodec, host, false);
  EXPECT_EQ(0, std::memcmp(host, disk, sizeof disk));

  MapNameEintrag m{};
  uint8_t rec[88];
  std::memset(rec, 'a', sizeof rec);  // a name without its zero byte
  DecodeRecord(MapNameEintragCodec, rec, ORDER_BIG, &m);
  EXPECT_EQ(std::strlen(m.name), 79u);
  EncodeRecord(MapNameEintragCodec, &m, rec, ORDER_BIG);
  EXPECT_EQ(rec[4 + 79], 0);
}
