// Fuzz target: the .fnt reader behind OpenDiskFont, then text drawn with
// whatever font it accepted (every glyph's bitmap must lie inside the font).
#include <cstddef>
#include <cstdint>

#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  TextFont* font = OpenFontFromMemory(data, (uint32_t)size);
  if (!font) return 0;
  static BitMap* bm = AllocBitMap(64, 32, 8, 0, nullptr);
  RastPort rp;
  InitRastPort(&rp);
  rp.Bitmap = bm;
  SetFont(&rp, font);
  char text[256];
  for (int i = 0; i < 256; i++) text[i] = (char)i;
  Move(&rp, -8, font->Baseline);
  Text(&rp, text, 256);
  TextLength(&rp, text, 256);
  CloseFont(font);
  return 0;
}
