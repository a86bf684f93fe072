// Fuzz target: the story mark-up (pages, links, pictures, stripping, the
// picture area test) and the word layout of a page on a memory bitmap with
// a fixed-width font, over arbitrary text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/log.h"
#include "routinen/gui/requester.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"
#include "screens/story/storypage.h"

namespace {

// Every printable glyph a 5 x 8 block, advance 6.
TextFont* BlockFont() {
  std::vector<uint8_t> b;
  auto put = [&](const char* tag, const std::vector<uint8_t>& payload) {
    b.insert(b.end(), tag, tag + 4);
    uint8_t n[4];
    PutBE32(n, (uint32_t)payload.size());
    b.insert(b.end(), n, n + 4);
    b.insert(b.end(), payload.begin(), payload.end());
  };
  put("FONT", {32, 255, 0, 6, 0, 8, 0, 6});
  std::vector<uint8_t> chars;
  for (uint32_t i = 32; i <= 255; ++i) chars.insert(chars.end(), {6, 0, (uint8_t)(i == 32 ? 0 : 5), 0, 0, 0, 0, 0});
  for (uint32_t r = 0; r < 8; ++r) chars.push_back(0xF8);
  put("CHAR", chars);
  return OpenFontFromMemory(b.data(), (uint32_t)b.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TextFont* font = nullptr;
  if (!font) {
    DebugLogSetStderr(0);
    font = BlockFont();
  }
  if (size > 1024) size = 1024;
  std::vector<char> text(data, data + size);
  text.push_back(0);
  const char* story = text.data();

  StoryLinkButtons buttons{};
  for (uint32_t page = 1; page <= 4; ++page) {
    uint32_t length = 0;
    const char* p = FindStoryPage(story, page, &length);
    if (!p) break;
    StoryLinkButtonsFor(page, p, &buttons);
    StoryPicture pics[8];
    ParseStoryPictures(p, pics, 8);
    CheckRizizOzezPicArea(p, 10, 10, 40, 19);
  }
  // The layout of the first bytes as one page.
  char* stripped = RizizOzezBrowserAllocBuffer(story, (uint32_t)size);
  if (!stripped) return 0;
  BitMap* bm = AllocBitMap(160, 72, 8, BMF_CLEAR, nullptr);
  RastPort rp;
  InitRastPort(&rp);
  rp.Bitmap = bm;
  SetFont(&rp, font);
  QoERequester req{};
  req.rp = &rp;
  req.content = bm;
  req.contentWidth = req.width = 160;
  req.height = 72;
  req.lineHeight = 9;
  req.pens[1] = 7;
  RizizOzezBrowserSetText(&req, story, stripped);
  FreeVec(stripped);
  FreeBitMap(bm);
  return 0;
}
