// Writes the fuzz seed modules when QOE_WRITE_SEEDS is set (a tool run,
// not a check): tiny files of each format made by the module writer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "module_writer.h"
#include "test_support.h"

using namespace modwriter;

TEST(FuzzSeeds, Write) {
  if (!std::getenv("QOE_WRITE_SEEDS")) GTEST_SKIP();
  const std::string dir = qoe_test::SourceDir() + "/routinen/media/tune/fuzz/corpus/tune_load/";
  Song s;
  s.channels = 2;
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
}
