// Writes the fuzz seed modules when QOE_WRITE_SEEDS is set (a tool run,
// not a check): tiny files of each format made by the module writer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "module_writer.h"
#include "tests/support/test_support.h"

using namespace modwriter;

TEST(FuzzSeeds, Write) {
  if (!std::getenv("QOE_WRITE_SEEDS")) GTEST_SKIP();
  const std::string dir = qoe_test::SourceDir() + "/routinen/media/tune/fuzz/corpus/tune_load/";
  Song s;
  s.channels = 2;
  s.modSignature = "2CHN";
  s.samples.push_back(Dc(32, 40));
  s.samples[0].loopType = 1;
  s.samples[0].loopStart = 8;
  s.samples[0].loopLength = 16;
  Pattern p;
  p.rows = 4;
  p.at(0, 0) = Cell{24, 1, -1, 0x4, 0x44};
  p.at(1, 1) = Cell{36, 1, -1, 0xA, 0x02};
  p.at(2, 0) = Cell{kNoNote, 0, -1, 0xE, 0x61};
  p.at(3, 1) = Cell{30, 1, -1, 0xD, 0x01};
  s.patterns = {p};
  EXPECT_TRUE(qoe_test::WriteFileBytes(dir + "seed.mod", WriteMod(s)));
  Song t = s;
  t.patterns[0].cells.clear();
  t.patterns[0].at(0, 0) = Cell{48, 1, 40, 'H', 0x44};
  t.patterns[0].at(1, 1) = Cell{60, 1, -1, 'Q', 0x63};
  t.patterns[0].at(2, 0) = Cell{kNoteCut, 0, -1, 'S', 0xB1};
  t.patterns[0].at(3, 1) = Cell{50, 1, -1, 'G', 0x10};
  EXPECT_TRUE(qoe_test::WriteFileBytes(dir + "seed.s3m", WriteS3m(t)));
  Song x = s;
  Instrument in;
  in.samples = {1};
  in.volEnv.on = true;
  in.volEnv.points = {{0, 64}, {3, 20}, {6, 40}};
  in.volEnv.sustain = 1;
  in.panEnv.on = true;
  in.panEnv.points = {{0, 0}, {4, 64}};
  in.panEnv.loopStart = 0;
  in.panEnv.loopEnd = 1;
  in.fadeout = 800;
  in.vibType = 2;
  in.vibDepth = 4;
  in.vibRate = 20;
  in.vibSweep = 2;
  x.instruments = {in};
  x.patterns[0].cells.clear();
  x.patterns[0].at(0, 0) = Cell{48, 1, 0x30, 0x4, 0x44};
  x.patterns[0].at(1, 1) = Cell{55, 1, 0x65, 0xA, 0x20};
  x.patterns[0].at(2, 0) = Cell{kKeyOff, 0, 0xC8, 0x19, 0x21};
  x.patterns[0].at(3, 1) = Cell{60, 1, 0xF3, 0x3, 0x08};
  EXPECT_TRUE(qoe_test::WriteFileBytes(dir + "seed.xm", WriteXm(x)));
  Song it = x;
  it.samples[0].sustainType = 2;
  it.samples[0].sustainStart = 4;
  it.samples[0].sustainLength = 8;
  it.itInstrumentMode = true;
  it.instruments[0].keymap.assign(120, 1);
  it.patterns[0].cells.clear();
  it.patterns[0].at(0, 0) = Cell{60, 1, 40, 'H', 0x44};
  it.patterns[0].at(1, 1) = Cell{67, 1, 140, 'D', 0x0F};
  it.patterns[0].at(2, 0) = Cell{kKeyOff, 0, -1, 'S', 0xB1};
  it.patterns[0].at(3, 1) = Cell{kNoteCut, 0, -1, 'X', 0x40};
  EXPECT_TRUE(qoe_test::WriteFileBytes(dir + "seed.it", WriteIt(it)));
}
