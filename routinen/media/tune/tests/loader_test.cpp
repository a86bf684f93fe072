// Loaders: signatures, mappings, sample handling and hostile files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "routinen/media/tune/dmix.h"
#include "routinen/media/tune/genplayer.h"
#include "module_writer.h"
#include "platform/log.h"
#include "tests/support/test_support.h"
#include "tune_fixture.h"

using namespace modwriter;

namespace {

class Loader : public TuneTest {};

Song ModSong() {
  Song s;
  s.samples.push_back(Dc(100, 10));
  s.patterns[0].at(0, 0) = Cell{24, 1, -1, 0, 0};
  return s;
}

TEST_F(Loader, ModSignatures) {
  const struct { const char* sig; int channels; } cases[] = {
      {"M.K.", 4}, {"M!K!", 4}, {"FLT4", 4}, {"OCTA", 8}, {"6CHN", 6},
      {"8CHN", 8}, {"12CH", 12}, {"32CH", 32}, {"TDZ4", 4}, {"TDZ2", 2}};
  for (const auto& c : cases) {
    Song s = ModSong();
    s.channels = c.channels;
    s.modSignature = c.sig;
    ModuleRecord* m = Load(WriteMod(s));
    ASSERT_NE(m, nullptr) << c.sig;
    EXPECT_EQ(m->channels, c.channels) << c.sig;
    EXPECT_EQ(m->type, MT_MOD);
  }
  for (const char* bad : {"ABCD", "0CHN", "33CH", "TDZ0", "xxCH"}) {
    Song s = ModSong();
    s.modSignature = bad;
    EXPECT_EQ(Fails(WriteMod(s)), 15u) << bad;
  }
}

TEST_F(Loader, ModRecordValues) {
  Song s = ModSong();
  s.name = "Elmor theme";
  s.orders = {0, 1, 0};
  s.patterns.resize(2);
  s.restart = 1;
  s.patterns[1].at(5, 2) = Cell{0, 2, -1, 0x8, 200};   // octave 0: extended octaves; 8xx > 128 dropped
  s.patterns[1].at(6, 3) = Cell{kNoNote, 0, -1, 0x8, 164};
  s.samples.push_back(Dc(64, 20));
  s.samples.push_back(Dc(300, 30));  // never used: no data loaded
  ModuleRecord* m = Load(WriteMod(s));
  ASSERT_NE(m, nullptr);
  EXPECT_STREQ(m->name, "Elmor theme");
  EXPECT_EQ(m->songLength, 3u);
  EXPECT_EQ(m->restart, 1u);
  EXPECT_EQ(m->patternCount, 2u);
  EXPECT_EQ(m->instrumentCount, 31u);
  EXPECT_EQ(m->speed, 6);
  EXPECT_EQ(m->tempo, 125);
  EXPECT_EQ(m->flags & MF_EXT_OCTAVES, (uint32_t)MF_EXT_OCTAVES);
  EXPECT_EQ(m->panning[0], 0u);
  EXPECT_EQ(m->panning[1], 128u);
  EXPECT_EQ(m->panning[2], 128u);
  EXPECT_EQ(m->panning[3], 0u);
  EXPECT_NE(m->samples[0], nullptr);
  EXPECT_NE(m->samples[1], nullptr);
  EXPECT_EQ(m->samples[2], nullptr);
  EXPECT_EQ(m->instruments[2]->sampleCount, 0u);
  // row 5 of pattern 1: channel 2 has note C-0 and instrument 1, no command
  const PatternRecord* p = m->patterns[1];
  const uint8_t* d = p->data;
  for (int r = 0; r < 5; r++) while (*d++) {}
  EXPECT_EQ(d[0], 0x20 | 2);
  EXPECT_EQ(d[1], 0x00);
  EXPECT_EQ(d[2], 1);
  EXPECT_EQ(d[3], 0);
  d += 4;
  EXPECT_EQ(d[0], 0x80 | 3);  // surround panning kept
  EXPECT_EQ(d[1], 9);
  EXPECT_EQ(d[2], 164);
}

TEST_F(Loader, ModSampleCutAtLoopKeepsFilePosition) {
  Song s = ModSong();
  s.samples[0] = Dc(100, 10);
  s.samples[0].loopType = 1;
  s.samples[0].loopStart = 20;
  s.samples[0].loopLength = 40;  // loop end 60: cut, but 100 bytes stored
  Sample second = Dc(50, -20);
  s.samples.push_back(second);
  s.patterns[0].at(1, 0) = Cell{24, 2, -1, 0, 0};
  TUNEstartup();
  TUNEclose();
  // keep the data in the records to look at it
  std::vector<uint8_t> b = WriteMod(s);
  ModuleRecord* m = nullptr;
  ASSERT_EQ(LoadModModule(b.data(), (uint32_t)b.size(), 0, nullptr, &m), TE_OK);
  EXPECT_EQ(m->samples[0]->length, 60u);
  EXPECT_EQ(m->samples[0]->loopMode, 5);
  EXPECT_EQ(m->samples[0]->loopEnd, 60u);
  ASSERT_NE(m->samples[1]->data, nullptr);
  EXPECT_EQ(m->samples[1]->data[0], (uint8_t)(-20 + 128));
  EXPECT_EQ(m->samples[0]->data[0], (uint8_t)(10 + 128));
  EXPECT_EQ(m->samples[1]->loopMode, 4);
  PlayerFreeModule(m);
}

TEST_F(Loader, ModBadOrdersAndPatterns) {
  Song s = ModSong();
  s.modSongLengthOverride = 0;
  EXPECT_EQ(Fails(WriteMod(s)), 15u);
  s.modSongLengthOverride = 129;
  EXPECT_EQ(Fails(WriteMod(s)), 15u);
  s = ModSong();
  std::vector<uint8_t> b = WriteMod(s);
  b[1084 + 4 * 4 * 3] = 0xF0;  // instrument 0xF0 + ... above 31
  b[1084 + 4 * 4 * 3 + 2] = 0x10;
  EXPECT_EQ(Fails(b), 17u);
  b = WriteMod(s);
  b[1084] = 0x00;  // period 12: below the table
  b[1085] = 12;
  EXPECT_EQ(Fails(b), 17u);
}

TEST_F(Loader, TruncatedAndGarbageFiles) {
  Song s = ModSong();
  std::vector<uint8_t> b = WriteMod(s);
  for (size_t cut : {size_t(0), size_t(47), size_t(600), size_t(1083), size_t(1100), b.size() - 1}) {
    std::vector<uint8_t> t(b.begin(), b.begin() + cut);
    EXPECT_EQ(Load(t), nullptr) << cut;
  }
  Song q;
  q.samples.push_back(Dc(100, 10));
  q.patterns[0].at(0, 0) = Cell{48, 1, -1, 0, 0};
  std::vector<uint8_t> s3m = WriteS3m(q);
  for (size_t cut = 48; cut < s3m.size(); cut += 7) {
    std::vector<uint8_t> t(s3m.begin(), s3m.begin() + cut);
    EXPECT_EQ(Load(t), nullptr) << cut;
  }
  uint32_t x = 12345;
  for (int round = 0; round < 200; round++) {
    std::vector<uint8_t> g = round % 2 ? b : s3m;
    for (int k = 0; k < 20; k++) {
      x = x * 1103515245 + 12345;
      g[(x >> 8) % g.size()] = (uint8_t)(x >> 24);
    }
    ModuleRecord* m = Load(g);
    if (m) {
      EXPECT_LE(m->channels, 32);
      EXPECT_GE(m->channels, 1);
    }
  }
}

TEST_F(Loader, TuneLoadModuleFromFile) {
  Song s = ModSong();
  ASSERT_TRUE(qoe_test::WriteFileBytes("Mods/Test.MOD", {}) || true);
  std::filesystem::create_directories("Mods");
  ASSERT_TRUE(qoe_test::WriteFileBytes("Mods/test.mod", WriteMod(s)));
  ModuleRecord* m = TUNEloadModule(".\\Mods\\Test.MOD");
  ASSERT_NE(m, nullptr) << TUNEerrorText(TUNEgetLastError());
  loaded.push_back(m);
  EXPECT_NE(m->samples[0]->handle, 0u);
}

std::vector<std::string> g_log;
void LogHook(const char* line, void*) { g_log.push_back(line); }

TEST_F(Loader, S3mRecordValues) {
  Song s;
  s.channels = 3;
  s.samples.push_back(Dc(100, 10));
  s.samples.push_back(Dc(80, 1000, true));  // 16-bit: silent, with a log line
  s.samples.push_back(Dc(50, 5));
  s.samples[2].c2 = 0;
  s.orders = {0, 254, 0, 255, 255};
  s.s3mVersion = 0x1300;
  s.s3mFlags = 16;
  s.patterns[0].at(0, 0) = Cell{48, 1, 64, 'Q', 0x21};
  s.patterns[0].at(0, 1) = Cell{kNoteCut, 2, -1, 'W', 7};
  s.patterns[0].at(1, 2) = Cell{48, 3, -1, 'S', 0x84};
  g_log.clear();
  DebugLogSetHook(LogHook, nullptr);
  ModuleRecord* m = Load(WriteS3m(s));
  DebugLogSetHook(nullptr, nullptr);
  ASSERT_NE(m, nullptr) << TUNEgetLastError();
  EXPECT_EQ(m->type, MT_S3M);
  EXPECT_EQ(m->songLength, 3u);  // trailing 255 entries cut
  EXPECT_EQ(m->orders[1], ORDER_SKIP);
  EXPECT_EQ(m->channels, 3);
  EXPECT_EQ(m->flags, (uint32_t)(MF_AMIGA_LIMITS | MF_FAST_SLIDES));
  EXPECT_EQ(m->samples[1]->length, 0u);
  EXPECT_EQ(m->samples[1]->type, 0);
  ASSERT_FALSE(g_log.empty());
  EXPECT_NE(g_log[0].find("16-bit"), std::string::npos);
  EXPECT_EQ(m->samples[2]->relNote, 8363);
  const uint8_t* d = m->patterns[0]->data;
  EXPECT_EQ(d[0], 0xE0 | 0);
  EXPECT_EQ(d[1], 0x40);
  EXPECT_EQ(d[2], 0);
  EXPECT_EQ(d[3], 63);  // volume 64 -> 63
  EXPECT_EQ(d[4], 29);  // Q: retrigger with volume change
  EXPECT_EQ(d[6], 0xA0 | 1);
  EXPECT_EQ(d[7], NOTE_CUT);
  EXPECT_EQ(d[9], 30);  // W: sync
  EXPECT_EQ(d[10], 7);
  d += 12;
  EXPECT_EQ(d[0], 0xA0 | 2);
  EXPECT_EQ(d[3], 20);  // S8x: 4-bit panning
  EXPECT_EQ(d[4], 4);
}

TEST_F(Loader, S3mHostileValues) {
  Song s;
  s.samples.push_back(Dc(100, 10));
  s.orders = {255, 255};
  EXPECT_EQ(Fails(WriteS3m(s)), 15u);
  s.orders = {254, 254};
  EXPECT_EQ(Fails(WriteS3m(s)), 15u);
  s.orders = {0};
  s.patterns[0].at(0, 0) = Cell{200 / 16 * 12 + 8, 1, -1, 0, 0};
  std::vector<uint8_t> b = WriteS3m(s);
  ModuleRecord* m = Load(b);
  ASSERT_NE(m, nullptr);
  // sample parapointer past the end of the file
  std::vector<uint8_t> c = b;
  const uint32_t insPara = c[96 + 1] | (c[96 + 2] << 8);
  c[insPara * 16 + 13] = 0x7F;
  EXPECT_EQ(Fails(c), 29u);
  // instrument parapointer past the end
  c = b;
  c[96 + 1] = 0xFF;
  c[96 + 2] = 0xFF;
  EXPECT_EQ(Fails(c), 29u);
  // a packed length reaching past the end of the file: the rows are read
  c = b;
  const uint32_t lenAt = (c[96 + 3] | (c[96 + 4] << 8)) * 16;
  c[lenAt] = 0xFF;
  c[lenAt + 1] = 0xFF;
  m = Load(c);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->patterns[0]->rows, 64u);
  // a packed pattern shorter than its rows
  c = b;
  const uint32_t patPara = c[96 + 3] | (c[96 + 4] << 8);
  c[patPara * 16] = 3;
  c[patPara * 16 + 1] = 0;
  EXPECT_EQ(Fails(c), 17u);
  // a note value of 200 is no note
  Song n;
  n.samples.push_back(Dc(100, 10));
  n.patterns[0].at(0, 0) = Cell{kNoNote, 1, -1, 0, 0};
  std::vector<uint8_t> nb = WriteS3m(n);
  const uint32_t np = nb[96 + 3] | (nb[96 + 4] << 8);
  nb[np * 16 + 3] = 200;
  m = Load(nb);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->patterns[0]->data[1], 255);
}

TEST_F(Loader, ParapointerHighByte) {
  // A sample whose data lies beyond 1 MB needs the high byte of its parapointer.
  Song s;
  s.samples.push_back(Dc(16, 50));
  s.patterns[0].at(0, 0) = Cell{48, 1, -1, 0, 0};
  std::vector<uint8_t> b = WriteS3m(s);
  const uint32_t insPara = b[96 + 1] | (b[96 + 2] << 8);
  const size_t head = insPara * 16;
  std::vector<uint8_t> data(b.end() - 16, b.end());
  b.resize(0x100000 + 0x100);
  std::memcpy(&b[0x100000 + 0x80], data.data(), 16);
  const uint32_t para = (0x100000 + 0x80) / 16;
  b[head + 13] = (uint8_t)(para >> 16);
  b[head + 14] = (uint8_t)para;
  b[head + 15] = (uint8_t)(para >> 8);
  ModuleRecord* m = nullptr;
  ASSERT_EQ(LoadS3mModule(b.data(), (uint32_t)b.size(), 0, nullptr, &m), TE_OK);
  EXPECT_EQ(m->samples[0]->data[0], 50 + 128);
  PlayerFreeModule(m);
}

}  // namespace
