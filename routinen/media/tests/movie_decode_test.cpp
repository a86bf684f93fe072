// The movie decoder against independent readers (Debian's ffmpeg, and a
// plain reference decoder written here from the format), round trips through
// the data kit's encoder, the decoder's edge cases and hostile files.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "movie_fixture.h"
#include "platform/log.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/memory.h"

using namespace movie_test;

namespace {

// ---- Reference decoder: IFF ANIM of ILBM frames, ANIM-5 deltas -------------
// Written from the format description, as plainly as possible: planes as
// separate arrays, frames kept as the last two planar pictures.
struct RefMovie {
  int w = 0, h = 0, planes = 0, compression = 0;
  std::vector<Frame> frames;
};

uint32_t Be32(const Bytes& b, size_t at) {
  return (uint32_t)b.at(at) << 24 | (uint32_t)b.at(at + 1) << 16 | (uint32_t)b.at(at + 2) << 8 | b.at(at + 3);
}
uint32_t Be16(const Bytes& b, size_t at) { return (uint32_t)b.at(at) << 8 | b.at(at + 1); }

using Planes = std::vector<Bytes>;  // 8 planes of rb x h bytes

Bytes PlanesToPens(const Planes& pl, int w, int h) {
  Bytes px((size_t)w * h);
  const int rb = w / 8;
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      int v = 0;
      for (int p = 0; p < 8; p++)
        if (pl[p][(size_t)y * rb + x / 8] & (0x80 >> (x % 8))) v |= 1 << p;
      px[(size_t)y * w + x] = (uint8_t)v;
    }
  return px;
}

RefMovie RefDecode(const Bytes& file) {
  RefMovie r;
  Planes buf[2];
  int newest = 0;
  Palette pal{};
  size_t pos = 12;
  while (pos + 8 <= file.size()) {
    const uint32_t flen = Be32(file, pos + 4);
    const size_t fend = pos + 8 + flen;
    size_t c = pos + 12;
    bool cmap_ok = true;
    while (c + 8 <= fend) {
      const uint32_t id = Be32(file, c), len = Be32(file, c + 4);
      const size_t d = c + 8;
      if (id == 0x424D4844) {  // BMHD
        r.w = (int)Be16(file, d);
        r.h = (int)Be16(file, d + 2);
        r.planes = file[d + 8];
        r.compression = file[d + 10];
        for (auto& b : buf) b.assign(8, Bytes((size_t)r.w / 8 * r.h, 0));
      } else if (id == 0x434D4150 && cmap_ok) {  // CMAP
        for (int i = 0; i < (1 << r.planes); i++) pal[i] = {file[d + 3 * i], file[d + 3 * i + 1], file[d + 3 * i + 2]};
      } else if (id == 0x4C524742) {  // LRGB
        cmap_ok = false;
        size_t g = d;
        while (g + 2 <= d + len && file[g] != 0) {
          const int n = file[g], first = file[g + 1];
          for (int i = 0; i < n; i++) pal[first + i] = {file[g + 2 + 3 * i], file[g + 3 + 3 * i], file[g + 4 + 3 * i]};
          g += 2 + 3 * (size_t)n;
        }
      } else if (id == 0x424F4459) {  // BODY, ByteRun1 per plane row
        const int rb = r.w / 8;
        size_t in = d;
        for (int y = 0; y < r.h; y++)
          for (int p = 0; p < r.planes; p++) {
            int o = 0;
            if (r.compression == 0) {
              for (; o < rb; o++) buf[0][p][(size_t)y * rb + o] = file[in++];
            }
            while (o < rb) {
              const int8_t n = (int8_t)file[in++];
              if (n >= 0) {
                for (int k = 0; k <= n; k++) buf[0][p][(size_t)y * rb + o++] = file[in++];
              } else if (n != -128) {
                const uint8_t v = file[in++];
                for (int k = 0; k < 1 - n; k++) buf[0][p][(size_t)y * rb + o++] = v;
              }
            }
          }
        buf[1] = buf[0];
        newest = 0;
      } else if (id == 0x444C5441) {  // DLTA into the older buffer
        const int target = 1 - newest, rb = r.w / 8;
        for (int p = 0; p < 8; p++) {
          const uint32_t off = Be32(file, d + 4 * p);
          if (!off) continue;
          size_t in = d + off;
          for (int col = 0; col < rb; col++) {
            int ops = file[in++], row = 0;
            while (ops--) {
              const int op = file[in++];
              if (op == 0) {
                const int n = file[in], v = file[in + 1];
                in += 2;
                for (int k = 0; k < n; k++) buf[target][p][(size_t)(row++) * rb + col] = (uint8_t)v;
              } else if (op < 128) {
                row += op;
              } else {
                for (int k = 0; k < op - 128; k++) buf[target][p][(size_t)(row++) * rb + col] = file[in++];
              }
            }
          }
        }
        newest = target;
      }
      c = d + len + (len & 1);
    }
    r.frames.push_back(Frame{PlanesToPens(buf[newest], r.w, r.h), pal});
    pos = fend + (flen & 1);
  }
  return r;
}

void ExpectSameFrames(const std::vector<Frame>& got, const std::vector<Frame>& want, int colours) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t f = 0; f < got.size(); f++) {
    ASSERT_EQ(got[f].pens, want[f].pens) << "frame " << f;
    for (int i = 0; i < colours; i++) ASSERT_EQ(got[f].palette[i], want[f].palette[i]) << "frame " << f << " colour " << i;
  }
}

// ffmpeg's frames of the file as rgb24, empty when it failed.
Bytes FfmpegFrames(const std::string& path) {
  const std::string out = qoe_test::TestDir() + "/ffmpeg.rgb";
  const std::string cmd = "ffmpeg -nostdin -v error -f iff -i '" + qoe_test::TestDir() + "/" + path +
                          "' -fps_mode passthrough -f rawvideo -pix_fmt rgb24 -y '" + out + "'";
  const int rc = std::system(cmd.c_str());
  EXPECT_TRUE(WIFEXITED(rc) && WEXITSTATUS(rc) == 0) << cmd;
  return qoe_test::ReadFileBytes(out);
}

void ExpectFfmpegAgrees(const std::string& path, int w, int h) {
  const std::vector<Frame> ours = DecodeWithPlayer(path);
  const Bytes theirs = FfmpegFrames(path);
  const size_t frame_bytes = (size_t)w * h * 3;
  ASSERT_FALSE(ours.empty());
  ASSERT_EQ(theirs.size(), ours.size() * frame_bytes) << path;
  for (size_t f = 0; f < ours.size(); f++)
    for (size_t i = 0; i < (size_t)w * h; i++) {
      const datakit::Rgb& c = ours[f].palette[ours[f].pens[i]];
      const uint8_t* t = theirs.data() + f * frame_bytes + 3 * i;
      ASSERT_TRUE(c[0] == t[0] && c[1] == t[1] && c[2] == t[2]) << path << " frame " << f << " pixel " << i;
    }
}

class MovieDecode : public ::testing::Test {
 protected:
  void SetUp() override { DebugLogSetStderr(0); }
  void TearDown() override { DebugLogSetStderr(1); }
};

TEST_F(MovieDecode, FfmpegReadsTheSameFramesForWidthsOfSixteen) {
  std::mt19937 rng(16);
  const int sizes[][2] = {{64, 48}, {320, 40}, {16, 300}, {128, 17}};
  for (auto& s : sizes) {
    datakit::AnimOptions o;
    o.width = s[0];
    o.height = s[1];
    const std::string name = "ff" + std::to_string(s[0]) + ".cban";
    WriteMovie(name, o, RandomFrames(rng, s[0], s[1], 8, 14, false));
    ExpectFfmpegAgrees(name, s[0], s[1]);
  }
  // The kit's water movie, as the data kit wrote it.
  const Bytes kit = qoe_test::ReadFileBytes(qoe_test::BinaryDir() + "/datakit/Anims/TestWasser.CBAN");
  ASSERT_FALSE(kit.empty());
  ASSERT_TRUE(qoe_test::WriteFileBytes(qoe_test::TestDir() + "/wasser.cban", kit));
  ExpectFfmpegAgrees("wasser.cban", 64, 48);
}

TEST_F(MovieDecode, ReferenceDecoderAgreesForOtherWidthsPlanesAndColourChunks) {
  std::mt19937 rng(7);
  const int sizes[][3] = {{8, 5, 1}, {24, 31, 3}, {72, 40, 8}, {200, 13, 5}, {1016, 6, 8}, {40, 260, 2}};
  int n = 0;
  for (auto& s : sizes) {
    for (bool lrgb : {false, true}) {
      datakit::AnimOptions o;
      o.width = s[0];
      o.height = s[1];
      o.planes = s[2];
      o.lrgb = lrgb;
      o.compress_body = (n % 3) != 2;
      const std::string name = "ref" + std::to_string(n++) + ".cban";
      WriteMovie(name, o, RandomFrames(rng, s[0], s[1], s[2], 9, true));
      const RefMovie ref = RefDecode(qoe_test::ReadFileBytes(qoe_test::TestDir() + "/" + name));
      ExpectSameFrames(DecodeWithPlayer(name), ref.frames, 1 << s[2]);
    }
  }
  for (const char* kit : {"TestFeuer.CBAN", "TestRad.CBAN", "TestWasser.CBAN"}) {
    const Bytes file = qoe_test::ReadFileBytes(qoe_test::BinaryDir() + "/datakit/Anims/" + kit);
    ASSERT_TRUE(qoe_test::WriteFileBytes(qoe_test::TestDir() + "/" + kit, file));
    const RefMovie ref = RefDecode(file);
    ExpectSameFrames(DecodeWithPlayer(kit), ref.frames, 1 << ref.planes);
  }
}

TEST_F(MovieDecode, EncoderRoundTripsRandomFrameSequences) {
  for (uint32_t seed = 1; seed <= 12; seed++) {
    std::mt19937 rng(seed);
    const int w = 8 * (1 + (int)(rng() % 40)), h = 1 + (int)(rng() % 90), planes = 1 + (int)(rng() % 8);
    datakit::AnimOptions o;
    o.width = w;
    o.height = h;
    o.planes = planes;
    o.lrgb = seed % 2;
    const auto frames = RandomFrames(rng, w, h, planes, 2 + (int)(rng() % 12), true);
    const std::string name = "rt" + std::to_string(seed) + ".cban";
    WriteMovie(name, o, frames);
    const std::vector<Frame> got = DecodeWithPlayer(name);
    ASSERT_EQ(got.size(), frames.size()) << "seed " << seed;
    std::vector<datakit::Rgb> colours;
    for (size_t f = 0; f < frames.size(); f++) {
      if (!frames[f].colours.empty()) colours = frames[f].colours;
      ASSERT_EQ(got[f].pens, frames[f].pixels) << "seed " << seed << " frame " << f;
      for (size_t i = 0; i < colours.size(); i++) ASSERT_EQ(got[f].palette[i], colours[i]);
    }
  }
  // A tall column alternating changed and unchanged rows needs more than 255
  // ops: the encoder falls back to one copied span.
  datakit::AnimOptions o;
  o.width = 16;
  o.height = 700;
  std::vector<datakit::AnimFrame> frames(3);
  std::mt19937 rng(3);
  frames[0].pixels.assign(16 * 700, 1);
  frames[0].colours = RandomColours(rng, 8);
  frames[1].pixels = frames[0].pixels;
  for (int y = 0; y < 700; y += 2) frames[1].pixels[y * 16] = (uint8_t)(y & 0xFF);
  frames[2].pixels = frames[1].pixels;
  WriteMovie("tall.cban", o, frames);
  const std::vector<Frame> got = DecodeWithPlayer("tall.cban");
  ASSERT_EQ(got.size(), 3u);
  for (int f = 0; f < 3; f++) EXPECT_EQ(got[f].pens, frames[f].pixels);
}

// ---- Hand-made chunks for the edge cases ------------------------------------------
Bytes Chunk(const char* id, const Bytes& data) {
  Bytes b(id, id + 4);
  for (int s = 24; s >= 0; s -= 8) b.push_back((uint8_t)(data.size() >> s));
  b.insert(b.end(), data.begin(), data.end());
  if (data.size() & 1) b.push_back(0);
  return b;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}
Bytes Bmhd(int w, int h, int planes, int compression = 1, int masking = 0) {
  return Bytes{(uint8_t)(w >> 8), (uint8_t)w, (uint8_t)(h >> 8), (uint8_t)h, 0, 0, 0, 0, (uint8_t)planes,
               (uint8_t)masking, (uint8_t)compression, 0, 0, 0, 1, 1, 0, 0, 0, 0};
}
Bytes FrameBody(const Bytes& chunks) { return Cat({Bytes{'I', 'L', 'B', 'M'}, chunks}); }
Bytes Delta(std::map<int, Bytes> planes) {
  Bytes d(64, 0);
  for (auto& [p, ops] : planes) {
    PutBE32(d.data() + 4 * p, (uint32_t)d.size());
    d.insert(d.end(), ops.begin(), ops.end());
  }
  return d;
}

// A movie record with a decoder for direct DecodeMovieFrame calls.
struct Harness {
  Movie* m;
  Harness() {
    std::mt19937 rng(1);
    datakit::AnimOptions o;
    o.width = 64;
    o.height = 48;
    WriteMovie("h.cban", o, RandomFrames(rng, 64, 48, 8, 2, false));
    m = MakeMovie(nullptr, "h.cban");
    if (m) {
      EXPECT_EQ(ReadNextMovieFrame(m), 1);  // the decoder is made at the first BMHD
    }
  }
  ~Harness() { FreeMovie(m); }
  int32_t Decode(const Bytes& body) { return DecodeMovieFrame(m, 0, 0, body.data(), (uint32_t)body.size(), 0); }
};

TEST_F(MovieDecode, FirstFrameFillsBothBuffersAndDeltasAlternate) {
  Harness h;
  ASSERT_TRUE(h.m);
  // 8 planes of 64 x 48: each plane row of 8 bytes as one repeat run.
  Bytes body;
  for (int y = 0; y < 48; y++)
    for (int p = 0; p < 8; p++) body.insert(body.end(), {(uint8_t)(int8_t)-7, (uint8_t)(y + p)});
  Bytes cmap(256 * 3);
  for (size_t i = 0; i < cmap.size(); i++) cmap[i] = (uint8_t)i;
  ASSERT_EQ(h.Decode(FrameBody(Cat({Chunk("BMHD", Bmhd(64, 48, 8)), Chunk("CMAP", cmap), Chunk("BODY", body)}))), 0);
  ANIM5Handle* d = h.m->decoder;
  ASSERT_TRUE(d);
  EXPECT_EQ(d->buffer_flag, 0xFF);
  EXPECT_EQ(0, std::memcmp(d->pbuffer1, d->pbuffer2, 64 * 48));
  EXPECT_EQ(d->pbuffer1[3 * 8 * 48 + 5 * 8], 3 + 5);  // plane 3, row 5
  // The colour table: one group of 256 colours, then the closing 0.
  uint16_t count, first;
  std::memcpy(&count, h.m->colours->bytes, 2);
  std::memcpy(&first, h.m->colours->bytes + 2, 2);
  EXPECT_EQ(count, 256);
  EXPECT_EQ(first, 0);
  uint32_t word;
  std::memcpy(&word, h.m->colours->bytes + 4 + 12 * 255 + 8, 4);
  EXPECT_EQ(word, (uint32_t)cmap[255 * 3 + 2] << 24);
  std::memcpy(&word, h.m->colours->bytes + 4 + 12 * 256, 4);
  EXPECT_EQ(word, 0u);

  // The first delta writes PBuffer2 only: plane 0, column 0, rows 0-2 := 0xAA.
  const Bytes before1(d->pbuffer1, d->pbuffer1 + 64 * 48);
  Bytes ops{1, 0, 3, 0xAA};
  for (int c = 1; c < 8; c++) ops.push_back(0);  // op count 0: the column stays
  const Bytes anhd(40, 0);
  ASSERT_EQ(h.Decode(FrameBody(Cat({Chunk("ANHD", anhd), Chunk("DLTA", Delta({{0, ops}}))}))), 0);
  EXPECT_EQ(d->buffer_flag, 0);
  EXPECT_EQ(Bytes(d->pbuffer1, d->pbuffer1 + 64 * 48), before1);
  EXPECT_EQ(d->pbuffer2[0], 0xAA);
  EXPECT_EQ(d->pbuffer2[16], 0xAA);
  EXPECT_EQ(d->pbuffer2[24], 3);  // row 3 untouched
  EXPECT_EQ(d->pbuffer2[1], 0);   // column 1 untouched

  // All plane offsets 0: nothing changes, the flag still flips.
  const Bytes b1(d->pbuffer1, d->pbuffer1 + 64 * 48), b2(d->pbuffer2, d->pbuffer2 + 64 * 48);
  ASSERT_EQ(h.Decode(FrameBody(Cat({Chunk("ANHD", anhd), Chunk("DLTA", Bytes(64, 0))}))), 0);
  EXPECT_EQ(d->buffer_flag, 0xFF);
  EXPECT_EQ(Bytes(d->pbuffer1, d->pbuffer1 + 64 * 48), b1);
  EXPECT_EQ(Bytes(d->pbuffer2, d->pbuffer2 + 64 * 48), b2);
}

TEST_F(MovieDecode, LrgbBeforeCmapWinsWithinAFrameAndCmapCountsAgainLater) {
  Harness h;
  ASSERT_TRUE(h.m);
  const Bytes lrgb{2, 10, 1, 2, 3, 4, 5, 6, 0, 0};
  Bytes cmap(256 * 3, 9);
  Palette before{};
  ApplyTable(*h.m->colours, &before);
  ASSERT_EQ(h.Decode(FrameBody(Cat({Chunk("LRGB", lrgb), Chunk("CMAP", cmap)}))), 0);
  // The table holds the LRGB's own group and the closing 0: loaded over the
  // palette, it changes those colours only.
  uint16_t head[4];
  std::memcpy(head, h.m->colours->bytes, 4);
  std::memcpy(head + 2, h.m->colours->bytes + 4 + 2 * 12, 4);
  EXPECT_EQ(head[0], 2);
  EXPECT_EQ(head[1], 10);
  EXPECT_EQ(head[2], 0);
  EXPECT_EQ(head[3], 0);
  Palette pal = before;
  ApplyTable(*h.m->colours, &pal);
  EXPECT_EQ(pal[10], (datakit::Rgb{1, 2, 3}));
  EXPECT_EQ(pal[11], (datakit::Rgb{4, 5, 6}));
  EXPECT_EQ(pal[12], before[12]);
  ASSERT_EQ(h.Decode(FrameBody(Chunk("CMAP", cmap))), 0);
  ApplyTable(*h.m->colours, &pal);
  EXPECT_EQ(pal[10], (datakit::Rgb{9, 9, 9}));
}

// A first frame whose colours come as LRGB only: the table is its groups in
// order, each with its own header, then the closing header of 0 and 0.
TEST_F(MovieDecode, LrgbOnlyFirstFrameKeepsItsOwnGroups) {
  const Bytes lrgb{2, 10, 1, 2, 3, 4, 5, 6, 1, 200, 7, 8, 9, 0};
  Bytes body;
  for (int y = 0; y < 8; y++)
    for (int p = 0; p < 8; p++) body.insert(body.end(), {(uint8_t)(int8_t)-1, (uint8_t)(y * 8 + p)});
  const Bytes frame = FrameBody(Cat({Chunk("BMHD", Bmhd(16, 8, 8)), Chunk("LRGB", lrgb), Chunk("BODY", body)}));
  ASSERT_TRUE(qoe_test::WriteFileBytes(qoe_test::TestDir() + "/lrgb.cban",
                                       Cat({Bytes{'F', 'O', 'R', 'M', 0, 0, 0, 0, 'A', 'N', 'I', 'M'}, Chunk("FORM", frame)})));
  Movie* m = MakeMovie(nullptr, "lrgb.cban");
  ASSERT_TRUE(m);
  ASSERT_EQ(ReadNextMovieFrame(m), 1);
  Bytes want;
  auto u16 = [&](uint16_t v) { want.insert(want.end(), (uint8_t*)&v, (uint8_t*)&v + 2); };
  auto rgb = [&](uint8_t r, uint8_t g, uint8_t b) {
    for (uint8_t c : {r, g, b}) {
      const uint32_t v = (uint32_t)c << 24;
      want.insert(want.end(), (const uint8_t*)&v, (const uint8_t*)&v + 4);
    }
  };
  u16(2), u16(10), rgb(1, 2, 3), rgb(4, 5, 6);
  u16(1), u16(200), rgb(7, 8, 9);
  u16(0), u16(0);
  EXPECT_EQ(Bytes(m->colours->bytes, m->colours->bytes + want.size()), want);
  ASSERT_TRUE(m->decoder);
  EXPECT_EQ(m->decoder->buffer_flag, 0xFF);
  FreeMovie(m);
}

TEST_F(MovieDecode, BrokenChunksDropTheFrameAndNeverWriteOutside) {
  Harness h;
  ASSERT_TRUE(h.m);
  ANIM5Handle* d = h.m->decoder;
  ASSERT_TRUE(d);
  const Bytes anhd(40, 0);
  const uint8_t flag = d->buffer_flag;
  auto frame_with_delta = [&](const Bytes& delta) { return FrameBody(Cat({Chunk("ANHD", anhd), Chunk("DLTA", delta)})); };
  Bytes past_height{1, 0, 49, 7};  // a run of 49 rows in a plane of 48
  Bytes copy_past{1, 128 + 40, 0};  // 40 bytes announced, none there
  Bytes skip_past{1, 100};
  Bytes short_lists{1, 1};  // column 1's list is missing
  Bytes far(64, 0);
  PutBE32(far.data(), 5000);  // offset outside the chunk
  const Bytes cases[] = {frame_with_delta(Delta({{0, past_height}})), frame_with_delta(Delta({{2, copy_past}})),
                         frame_with_delta(Delta({{7, skip_past}})), frame_with_delta(Delta({{0, short_lists}})),
                         frame_with_delta(far), frame_with_delta(Bytes(10, 0))};
  for (const Bytes& c : cases) {
    h.Decode(c);
    EXPECT_EQ(d->buffer_flag, flag);
  }
  // A chunk longer than its frame, an ANHD or BMHD too short, a later BMHD of
  // another size: the frame is dropped.
  Bytes longer = FrameBody(Chunk("DLTA", Bytes(64, 0)));
  longer[11] = 200;
  EXPECT_EQ(h.Decode(longer), -1);
  EXPECT_EQ(h.Decode(FrameBody(Cat({Chunk("ANHD", Bytes(39, 0)), Chunk("DLTA", Bytes(64, 0))}))), -1);
  EXPECT_EQ(h.Decode(FrameBody(Chunk("BMHD", Bytes(19, 0)))), -1);
  EXPECT_EQ(h.Decode(FrameBody(Chunk("BMHD", Bmhd(128, 48, 8)))), -1);
  EXPECT_EQ(d->buffer_flag, flag);
  // A ByteRun1 run past its row leaves the buffers alone.
  const Bytes b1(d->pbuffer1, d->pbuffer1 + 64 * 48);
  Bytes body{(uint8_t)(int8_t)-8, 1};  // 9 bytes into a row of 8
  h.Decode(FrameBody(Chunk("BODY", body)));
  EXPECT_EQ(Bytes(d->pbuffer1, d->pbuffer1 + 64 * 48), b1);
  // LRGB groups past colour 255 and a CMAP too short leave the colours.
  const RGBStruct before = *h.m->colours;
  h.Decode(FrameBody(Chunk("LRGB", Bytes{2, 255, 1, 2, 3, 4, 5, 6, 0, 0})));
  h.Decode(FrameBody(Chunk("LRGB", Bytes{3, 0, 1, 2, 3})));
  Bytes crowded;  // 300 groups of one colour: more than the table holds
  for (int i = 0; i < 300; i++) crowded.insert(crowded.end(), {1, (uint8_t)i, 7, 7, 7});
  crowded.push_back(0);
  h.Decode(FrameBody(Chunk("LRGB", crowded)));
  h.Decode(FrameBody(Chunk("CMAP", Bytes(100, 1))));
  EXPECT_EQ(0, std::memcmp(before.bytes, h.m->colours->bytes, sizeof before.bytes));
}

TEST_F(MovieDecode, HostileFilesAreRefusedOrEndEarly) {
  std::mt19937 rng(5);
  datakit::AnimOptions o;
  o.width = 32;
  o.height = 20;
  WriteMovie("good.cban", o, RandomFrames(rng, 32, 20, 8, 6, true));
  const Bytes good = qoe_test::ReadFileBytes(qoe_test::TestDir() + "/good.cban");
  // Every truncation either is refused or decodes fewer frames, never more.
  for (size_t n = 0; n < good.size(); n += 7) {
    qoe_test::WriteFileBytes(qoe_test::TestDir() + "/cut.cban", Bytes(good.begin(), good.begin() + n));
    EXPECT_LE(DecodeWithPlayer("cut.cban").size(), 6u);
  }
  auto refused = [](const Bytes& file) {
    qoe_test::WriteFileBytes(qoe_test::TestDir() + "/bad.cban", file);
    Movie* m = MakeMovie(nullptr, "bad.cban");
    FreeMovie(m);
    return m == nullptr;
  };
  auto with_bmhd = [](const Bytes& bmhd) {
    Bytes frame = Chunk("FORM", FrameBody(Chunk("BMHD", bmhd)));
    return Cat({Bytes{'F', 'O', 'R', 'M', 0, 0, 0, 0, 'A', 'N', 'I', 'M'}, frame});
  };
  EXPECT_FALSE(refused(with_bmhd(Bmhd(32, 20, 8))));
  EXPECT_TRUE(refused(with_bmhd(Bmhd(30, 20, 8))));     // width not a multiple of 8
  EXPECT_TRUE(refused(with_bmhd(Bmhd(1024, 20, 8))));   // above 1016
  EXPECT_TRUE(refused(with_bmhd(Bmhd(32, 20, 0))));
  EXPECT_TRUE(refused(with_bmhd(Bmhd(32, 20, 9))));
  EXPECT_TRUE(refused(with_bmhd(Bmhd(32, 20, 8, 2))));  // unknown compression
  EXPECT_TRUE(refused(with_bmhd(Bmhd(32, 20, 8, 1, 1))));  // mask plane
  EXPECT_TRUE(refused(with_bmhd(Bytes(12, 0))));
  Bytes ilbm = good;
  std::memcpy(ilbm.data() + 8, "ILBM", 4);
  EXPECT_TRUE(refused(ilbm));  // neither ANIM nor QUIL
  Bytes quil = good;
  std::memcpy(quil.data() + 8, "QUIL", 4);
  EXPECT_FALSE(refused(quil));  // read like ANIM
  std::vector<std::string> lines;
  DebugLogSetHook([](const char* line, void* u) { static_cast<std::vector<std::string>*>(u)->push_back(line); }, &lines);
  Bytes scrambled = quil;
  scrambled[12] ^= 0x5A;  // the first inner chunk is no FORM: scrambled
  EXPECT_TRUE(refused(scrambled));
  DebugLogSetHook(nullptr, nullptr);
  bool said = false;
  for (const auto& l : lines) said |= l.find("seems to be encrypted! Use correct key.") != std::string::npos;
  EXPECT_TRUE(said);
  EXPECT_TRUE(refused(Bytes{'F', 'O', 'R', 'M'}));
  EXPECT_TRUE(refused(Bytes{}));
}

// The decoder's handle is set whole by its Init, whatever it held before
// (a pattern in every byte).
TEST(Anim5Handle, InitSetsEveryField) {
  ANIM5Handle h;
  std::memset(static_cast<void*>(&h), 0xA5, sizeof h);
  ASSERT_EQ(InitANIM5Handle(&h, 0, nullptr, 6, 4, 5), 1);
  EXPECT_EQ(h.reserved, 0u);
  EXPECT_EQ(h.movie, nullptr);
  EXPECT_NE(h.pbuffer1, nullptr);
  EXPECT_NE(h.pbuffer2, nullptr);
  EXPECT_EQ(h.spare[0], nullptr);
  EXPECT_EQ(h.spare[1], nullptr);
  EXPECT_EQ(h.width, 6);
  EXPECT_EQ(h.height, 4);
  EXPECT_EQ(h.depth, 5);
  EXPECT_EQ(h.buffer_flag, 0);
  EXPECT_EQ(h.spare_byte, 0);
  FreeVec(h.pbuffer1);
  FreeVec(h.pbuffer2);
}

}  // namespace
