// The data kit's sounds and music as the program meets them: the sound index
// and its sample files in a working directory, the music modules in the
// module player, and the kit's reproducible output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "routinen/media/tune/dmix.h"
#include "routinen/media/tune/genplayer.h"
#include "routinen/media/tune/pcm_sink.h"
#include "routinen/media/tune/tune.h"
#include "routinen/media/tune/tune_internal.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using qoe_test::BinaryDir;
using qoe_test::ReadFileBytes;
using qoe_test::SourceDir;

namespace {

std::string Kit() { return BinaryDir() + "/datakit"; }

// The sound IDs the screens open, play or release.
std::set<uint32_t> IdsTheScreensUse() {
  std::set<uint32_t> ids = {1, 2, 3, 4, 5, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27,
                            49, 77, 78, 93, 100, 125, 163, 164, 165, 166, 167, 168, 169, 170, 171};
  auto range = [&](uint32_t a, uint32_t b) { for (uint32_t i = a; i <= b; ++i) ids.insert(i); };
  range(28, 34);    // residence ambience
  range(35, 48);    // scout voices, market, light infantry
  range(51, 57);    // barracks
  range(79, 92);    // infantry voices
  range(94, 98);    // battle
  range(101, 124);  // landscape, harbour, settlers
  range(126, 162);  // ships, artillery, cavalry
  range(172, 197);  // gods, dungeon
  return ids;
}

struct SfxRecord {
  uint32_t size = 0, rate = 0;
  std::string path;  // made local as the program does
};

// Reads record `id` of a sound index image the way the program does: the
// count at 32, record n at 36 + (n - 1) x 20, the path from byte 32 + offset,
// at most 80 characters, '/' -> '\' and everything up to the last ':' cut.
bool ReadRecord(const uint8_t* image, uint32_t size, uint32_t id, SfxRecord* out) {
  BoundedReader r = MakeReader(image, size);
  if (!ReaderSeek(r, 32)) return false;
  uint32_t count = ReadBE32(r);
  if (id == 0 || id > count || !ReaderSeek(r, 36 + (size_t)(id - 1) * 20)) return false;
  ReadBE32(r);
  out->size = ReadBE32(r);
  out->rate = ReadBE32(r);
  uint32_t off = ReadBE32(r);
  if (!r.ok || !ReaderSeek(r, 32 + (size_t)off)) return false;
  std::string p;
  while (ReaderHas(r, 1) && p.size() < 80) {
    char c = (char)ReadU8(r);
    if (!c) break;
    p += c;
  }
  for (size_t i = p.size(); i-- > 0;) {
    if (p[i] == '/') p[i] = '\\';
    if (p[i] == ':') { p = p.substr(i + 1); break; }
  }
  out->path = p;
  return true;
}

std::vector<int16_t> ReadSamples(const std::string& program_path, uint32_t size) {
  std::vector<int16_t> s;
  FileHandle f = Open(program_path.c_str(), MODE_READONLY);
  if (!f) return s;
  std::vector<uint8_t> b(size);
  int32_t got = Read(f, b.data(), (int32_t)size);
  Close(f);
  if (got != (int32_t)size) return s;
  for (uint32_t i = 0; i + 1 < size; i += 2) s.push_back((int16_t)GetBE16(&b[i]));
  return s;
}

double RmsDb(const std::vector<int16_t>& s, size_t from, size_t to) {
  double sum = 0;
  for (size_t i = from; i < to; ++i) sum += (double)s[i] * s[i];
  double rms = std::sqrt(sum / (double)std::max<size_t>(1, to - from)) / 32768.0;
  return rms > 0 ? 20 * std::log10(rms) : -200;
}

// Loudest 50-ms window's RMS.
double LoudestWindowDb(const std::vector<int16_t>& s, uint32_t rate) {
  double best = -200;
  size_t w = rate / 20;
  for (size_t i = 0; i + w <= s.size(); i += w) best = std::max(best, RmsDb(s, i, i + w));
  return best;
}

// A working directory holding the kit's sound index and samples.
void CopySoundsHere() {
  fs::create_directories("Data");
  fs::copy_file(Kit() + "/Data/SfxPath", "Data/SfxPath", fs::copy_options::overwrite_existing);
  fs::copy(Kit() + "/Sfx", "Sfx", fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

TEST(DataKitSounds, EverySoundTheScreensUseHasItsRecordAndSampleAndIsHeard) {
  CopySoundsHere();
  uint32_t size = 0;
  auto* image = static_cast<uint8_t*>(LoadFile2MemSize(".\\Data\\SfxPath", MEMF_PUBLIC | MEMF_CLEAR, &size));
  ASSERT_NE(image, nullptr);
  ASSERT_GE(size, 36u);
  EXPECT_EQ(GetBE32(image + 32), 197u);
  std::vector<double> loudness;
  for (uint32_t id : IdsTheScreensUse()) {
    SCOPED_TRACE("sound " + std::to_string(id));
    SfxRecord rec;
    ASSERT_TRUE(ReadRecord(image, size, id, &rec));
    EXPECT_EQ(rec.rate, 22050u);
    EXPECT_EQ(rec.size % 2, 0u);
    EXPECT_GE(rec.size, 22050u * 2 / 20);  // at least 50 ms
    EXPECT_EQ(rec.path.rfind("Sfx\\", 0), 0u) << rec.path;
    EXPECT_EQ(GeFileSize(rec.path.c_str()), rec.size) << rec.path;
    std::vector<int16_t> s = ReadSamples(rec.path, rec.size);
    ASSERT_EQ(s.size(), rec.size / 2);
    EXPECT_GT(RmsDb(s, 0, s.size()), -30.0);  // no silence
    int peak = 0;
    for (int16_t v : s) peak = std::max(peak, std::abs((int)v));
    EXPECT_LT(peak, 32767);  // no clipping
    loudness.push_back(LoudestWindowDb(s, rec.rate));
  }
  // Even loudness: the loudest moments of all sounds within 12 dB.
  auto [lo, hi] = std::minmax_element(loudness.begin(), loudness.end());
  EXPECT_LT(*hi - *lo, 12.0) << *lo << " .. " << *hi;
  FreeVec(image);
}

TEST(DataKitSounds, IdsNoScreenUsesHaveEmptyRecords) {
  CopySoundsHere();
  std::vector<uint8_t> image = ReadFileBytes("Data/SfxPath");
  auto used = IdsTheScreensUse();
  for (uint32_t id = 1; id <= 197; ++id) {
    if (used.count(id)) continue;
    SfxRecord rec;
    ASSERT_TRUE(ReadRecord(image.data(), (uint32_t)image.size(), id, &rec));
    EXPECT_EQ(rec.size, 0u) << id;
    EXPECT_EQ(rec.path, "") << id;
  }
  SfxRecord rec;
  EXPECT_FALSE(ReadRecord(image.data(), (uint32_t)image.size(), 198, &rec));
}

// A sound a screen plays to its end before the player may act keeps the
// player waiting for its whole length: it is short.
TEST(DataKitSounds, TheSoundsAScreenWaitsForAreShort) {
  struct Waited {
    uint32_t id;
    double most_seconds;
    const char* who_waits;
  };
  const Waited waited[] = {
      {4, 0.5, "the tavern plays its door sound to its end before it opens, on every visit"},
  };
  const std::vector<uint8_t> image = ReadFileBytes(Kit() + "/Data/SfxPath");
  ASSERT_GE(image.size(), 36u);
  for (const Waited& w : waited) {
    SfxRecord rec;
    ASSERT_TRUE(ReadRecord(image.data(), (uint32_t)image.size(), w.id, &rec)) << w.id;
    ASSERT_GT(rec.rate, 0u) << w.id;
    const double seconds = rec.size / 2.0 / rec.rate;  // 16-bit mono
    EXPECT_GT(seconds, 0.1) << "sound " << w.id << ": too short to be heard";
    EXPECT_LE(seconds, w.most_seconds) << "sound " << w.id << " lasts " << seconds << " s: " << w.who_waits;
  }
}

TEST(DataKitSounds, TheDocsTableListsEverySound) {
  std::ifstream f(SourceDir() + "/docs/sounds.md");
  ASSERT_TRUE(f);
  std::set<uint32_t> listed;
  std::string line;
  std::regex row(R"(^\| (\d+) \| \w+ \| [0-9.]+ \| (yes)? \| .+ \|$)");
  std::smatch m;
  while (std::getline(f, line))
    if (std::regex_match(line, m, row)) listed.insert((uint32_t)std::stoul(m[1]));
  EXPECT_EQ(listed, IdsTheScreensUse());
}

// ---- Music -------------------------------------------------------------

struct Rendering {
  bool loaded = false;
  double seconds = 0;         // one pass of the song
  std::set<uint32_t> sounding;  // channels that played a note
  std::vector<int16_t> pcm;   // interleaved, as mixed
  PcmFormat format{};
  int errors = 0;
};

int g_player_errors = 0;
void CountError(const char*) { ++g_player_errors; }

// Plays a module from the working directory once through (or for at most
// `limit_s` seconds), mixed at 22050 Hz into the capturing sink, noting every
// channel that sounds.
Rendering RenderModule(const std::string& program_path, double limit_s) {
  Rendering out;
  CaptureSink cap;
  CaptureSinkInit(&cap);
  TuneSetPcmSink(&cap.sink);
  g_player_errors = 0;
  TUNEsetErrorHandler(CountError);
  TUNEstartup();
  TUNEsetOption(TUNE_OPT_MIXRATE, 22050);
  EXPECT_EQ(TUNEinit(), 1);
  ModuleRecord* m = TUNEloadModule(program_path.c_str());
  out.loaded = m != nullptr;
  if (m) {
    int32_t h = TUNEplayModule(m, 1);
    EXPECT_NE(h, 0);
    PlayHandle* ph = TunePlayHandle(h);
    const size_t limit = (size_t)(22050.0 * 4.0 * limit_s);
    while (ph && ph->loopCounter == 0 && cap.captured.size() < limit) {
      PollPlayer();
      for (uint32_t c = 0; c < ph->channels; ++c) {
        DmixChannel* d = dmixChannel(ph->ch[c].soundChannel);
        if (d && d->status == CH_PLAYING && d->volume > 0) out.sounding.insert(c);
      }
    }
    out.format = cap.format;
    const double bytes_per_second = (double)cap.format.rate * cap.format.channels * (cap.format.bits / 8);
    out.seconds = (double)cap.captured.size() / bytes_per_second;
    if (cap.format.bits == 16)
      for (size_t i = 0; i + 1 < cap.captured.size(); i += 2) {
        int16_t v;
        std::memcpy(&v, &cap.captured[i], 2);
        out.pcm.push_back(v);
      }
    TUNEstopModule(h);
    TUNEfreeModule(m);
  }
  TUNEclose();
  TUNEsetErrorHandler(nullptr);
  TuneSetPcmSink(nullptr);
  out.errors = g_player_errors;
  return out;
}

// QOE_MUSIC_WAV=<folder> keeps each rendering as a WAV file for listening.
void KeepWav(const std::string& name, const Rendering& r) {
  const char* dir = std::getenv("QOE_MUSIC_WAV");
  if (!dir || r.pcm.empty()) return;
  std::vector<uint8_t> b;
  auto p32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back((uint8_t)(v >> (8 * i))); };
  auto p16 = [&](uint32_t v) { b.push_back((uint8_t)v); b.push_back((uint8_t)(v >> 8)); };
  const uint32_t data = (uint32_t)r.pcm.size() * 2;
  b.insert(b.end(), {'R', 'I', 'F', 'F'});
  p32(36 + data);
  b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  p32(16); p16(1); p16(r.format.channels); p32(r.format.rate);
  p32(r.format.rate * r.format.channels * 2); p16(r.format.channels * 2); p16(16);
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  p32(data);
  for (int16_t v : r.pcm) p16((uint16_t)v);
  qoe_test::WriteFileBytes(std::string(dir) + "/" + name + ".wav", b);
}

TEST(DataKitMusic, EveryModulePlaysThroughItsWholeLengthOnSeveralChannels) {
  fs::copy(Kit() + "/Mods", "Mods", fs::copy_options::recursive);
  for (const char* name : {"QoEMain.XM", "QoEMain2.XM", "Secret.XM"}) {
    SCOPED_TRACE(name);
    Rendering r = RenderModule(std::string(".\\Mods\\") + name, 600);
    ASSERT_TRUE(r.loaded) << TUNEerrorText(TUNEgetLastError());
    EXPECT_EQ(r.errors, 0);
    EXPECT_GE(r.seconds, 100.0);
    EXPECT_LE(r.seconds, 300.0);
    EXPECT_GE(r.sounding.size(), 4u);
    ASSERT_EQ(r.format.bits, 16u);
    // Heard, not clipping: RMS and the share of full-scale samples.
    double sum = 0;
    size_t full = 0;
    for (int16_t v : r.pcm) {
      sum += (double)v * v;
      if (v >= 32767 || v <= -32767) ++full;
    }
    double rms_db = 20 * std::log10(std::sqrt(sum / (double)r.pcm.size()) / 32768.0);
    EXPECT_GT(rms_db, -30.0);
    EXPECT_LT(rms_db, -8.0);
    EXPECT_LT((double)full / (double)r.pcm.size(), 1e-4);
    KeepWav(name, r);
  }
}

// The modules played after a save game is loaded: XM data under another
// name, which the player takes by its content.
TEST(DataKitMusic, TheDbmFilesHoldTheXmModules) {
  fs::copy(Kit() + "/Mods", "Mods", fs::copy_options::recursive);
  for (const char* name : {"QoEMain", "QoEMain2"}) {
    SCOPED_TRACE(name);
    Rendering r = RenderModule(std::string(".\\Mods\\") + name + ".DBM", 20);
    ASSERT_TRUE(r.loaded) << TUNEerrorText(TUNEgetLastError());
    EXPECT_EQ(r.errors, 0);
    EXPECT_GE(r.sounding.size(), 4u);
    auto xm = ReadFileBytes(Kit() + "/Mods/" + name + ".XM");
    ASSERT_GT(xm.size(), 1000u);
    EXPECT_EQ(std::string(xm.begin(), xm.begin() + 17), "Extended Module: ");
    EXPECT_EQ(ReadFileBytes(Kit() + "/Mods/" + name + ".DBM"), xm);
  }
}

// ---- The kit ----------------------------------------------------------------

// Runs the kit's sound generator into a fresh folder twice over: the same
// bytes as the build's, file for file.
TEST(DataKitBuild, TheSoundKitWritesTheSameBytesOnEveryBuild) {
  const std::string tool = BinaryDir() + "/tools/datakit/datakit_sound";
  const std::string src = SourceDir() + "/tools/datakit/sound";
  ASSERT_TRUE(qoe_test::FileExists(tool));
  ASSERT_EQ(std::system(("'" + tool + "' '" + src + "' again").c_str()), 0);
  size_t compared = 0;
  for (const char* dir : {"Sfx", "Mods"})
    for (const auto& de : fs::directory_iterator(Kit() + "/" + dir)) {
      const std::string rel = std::string(dir) + "/" + de.path().filename().string();
      EXPECT_EQ(ReadFileBytes("again/" + rel), ReadFileBytes(de.path().string())) << rel;
      ++compared;
    }
  EXPECT_EQ(ReadFileBytes("again/Data/SfxPath"), ReadFileBytes(Kit() + "/Data/SfxPath"));
  EXPECT_GT(compared, 172u);
  // The docs carry the kit's current table of sounds.
  ASSERT_EQ(std::system(("'" + tool + "' --table '" + src + "' > table.md").c_str()), 0);
  std::vector<uint8_t> raw_table = ReadFileBytes("table.md");
  std::string table(raw_table.begin(), raw_table.end());
  std::vector<uint8_t> docs = ReadFileBytes(SourceDir() + "/docs/sounds.md");
  std::string doc(docs.begin(), docs.end());
  ASSERT_GT(table.size(), 1000u);
  EXPECT_NE(doc.find(table), std::string::npos) << "docs/sounds.md: paste the output of datakit_sound --table";
  // A bad source is refused with its file and line.
  std::ofstream("bad.txt") << "sound 1 Click 0.1 \"click\"\n  tone f=abc\n";
  fs::create_directories("badsrc/music");
  fs::copy_file("bad.txt", "badsrc/sounds.txt");
  EXPECT_NE(std::system(("'" + tool + "' badsrc badout 2>err.txt").c_str()), 0);
  std::ifstream err("err.txt");
  std::string msg((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
  EXPECT_NE(msg.find("sounds.txt:2"), std::string::npos) << msg;
}

}  // namespace
