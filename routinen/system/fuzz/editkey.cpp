// Fuzz target: a key sequence into EditKey on a memory RastPort. The first
// bytes choose the box (width, buffer length, lines), the rest are keys
// (bytes 1..8 stand for the extended keys and backspace). The text must stay
// terminated within its buffer, the width table in step with it.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/textentry.h"

namespace {

struct Fixture {
  TextFont font{};
  TextGlyph glyphs[224];
  BitMap* bm = nullptr;
  RastPort rp{};
  Fixture() {
    font.LoChar = 32;
    font.HiChar = 255;
    font.YSize = 8;
    font.Baseline = 6;
    for (int i = 0; i < 224; i++) glyphs[i] = TextGlyph{static_cast<uint8_t>(3 + i % 9), 0, 0, 0, 0};
    font.Glyphs = glyphs;
    bm = AllocBitMap(320, 240, 8, 0, nullptr);
    InitRastPort(&rp);
    rp.Bitmap = bm;
    SetFont(&rp, &font);
  }
};

const int32_t kMapped[9] = {0, EK_LEFT, EK_RIGHT, EK_UP, EK_DOWN, EK_INSERT, EK_DELETE, EK_BACKSPACE, EK_ENTER};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Fixture f;
  if (size < 3) return 0;
  uint32_t width = data[0] + 1u;
  uint32_t max_len = data[1] % 200;
  uint32_t lines = data[2] % 8 + 1;
  char text[256];
  uint8_t widths[256];
  std::memset(text, 0x7E, sizeof text);
  std::memset(widths, 0x7E, sizeof widths);
  GetCharWidths(&f.rp, "", text, widths, 1);
  TextCursor* c = SetTextCursor(5, 5, 8, 2, 3, &f.rp);
  for (size_t i = 3; i < size; i++) {
    int32_t key = data[i] <= 8 ? kMapped[data[i]] : data[i];
    int32_t pos = EditKey(key, text, widths, c, 5, 5, width, max_len, lines, 1, 0);
    size_t n = strnlen(text, max_len + 1);
    if (n > max_len || pos < 0 || static_cast<size_t>(pos) > n) std::abort();
    for (size_t k = 0; k < n; k++) {
      uint32_t want = text[k] == '\n' ? 0 : FontCharWidth(&f.font, static_cast<uint8_t>(text[k]));
      if (widths[k] != want) std::abort();
    }
  }
  for (size_t k = max_len + 1; k < sizeof text; k++)
    if (static_cast<uint8_t>(text[k]) != 0x7E || widths[k] != 0x7E) std::abort();
  StopTextCursor(c);
  return 0;
}
