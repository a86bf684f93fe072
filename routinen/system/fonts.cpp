// Bitmap fonts: the .fnt reader (chunks "FONT" then "CHAR", big-endian) and
// the font record. The whole font lives in one AllocVec block.
#include "fonts.h"

#include <cstring>

#include "byteorder.h"
#include "files.h"
#include "graphics.h"
#include "memory.h"
#include "sysrecords.h"
#include "platform/log.h"

namespace {

const uint32_t kGlyphEntryBytes = 8;

bool ReadTag(BoundedReader& r, const char* tag, uint32_t* length) {
  const uint8_t* t = ReadSpan(r, 4);
  if (!t || std::memcmp(t, tag, 4) != 0) return false;
  *length = ReadBE32(r);
  return r.ok && *length <= ReaderLeft(r);
}

size_t Align8(size_t n) { return (n + 7) & ~(size_t)7; }

}  // namespace

TextFont* OpenFontFromMemory(const void* data, uint32_t size) {
  BoundedReader r = MakeReader(data, size);
  uint32_t head_len;
  if (!ReadTag(r, "FONT", &head_len) || head_len < 8) return nullptr;
  size_t head_end = r.pos + head_len;
  uint8_t lo = ReadU8(r), hi = ReadU8(r);
  uint16_t xsize = ReadBE16(r), ysize = ReadBE16(r), baseline = ReadBE16(r);
  if (!r.ok || lo > hi || ysize == 0 || ysize > 255 || baseline >= ysize) return nullptr;
  if (!ReaderSeek(r, head_end)) return nullptr;

  uint32_t char_len;
  if (!ReadTag(r, "CHAR", &char_len)) return nullptr;
  uint32_t count = (uint32_t)hi - lo + 1;
  if (char_len < count * kGlyphEntryBytes) return nullptr;
  const uint8_t* table = ReadSpan(r, count * kGlyphEntryBytes);
  uint32_t data_size = char_len - count * kGlyphEntryBytes;
  const uint8_t* glyph_data = ReadSpan(r, data_size);
  if (!table || !r.ok) return nullptr;

  size_t glyph_off = Align8(sizeof(TextFont));
  size_t data_off = glyph_off + Align8(count * sizeof(TextGlyph));
  size_t total = data_off + data_size;
  if (total > 0xFFFFFFFFu) return nullptr;
  uint8_t* block = static_cast<uint8_t*>(AllocVec((uint32_t)total, MEMF_PUBLIC | MEMF_CLEAR));
  if (!block) return nullptr;
  TextFont* font = reinterpret_cast<TextFont*>(block);
  font->LoChar = lo;
  font->HiChar = hi;
  font->XSize = xsize;
  font->YSize = ysize;
  font->Baseline = baseline;
  font->Glyphs = reinterpret_cast<TextGlyph*>(block + glyph_off);
  font->GlyphData = block + data_off;
  font->GlyphDataSize = data_size;
  if (data_size) std::memcpy(font->GlyphData, glyph_data, data_size);

  for (uint32_t i = 0; i < count; i++) {
    const uint8_t* e = table + i * kGlyphEntryBytes;
    TextGlyph& g = font->Glyphs[i];
    g.Width = e[0];
    g.XOffset = (int8_t)e[1];
    g.BitWidth = e[2];
    g.BytesPerRow = (uint8_t)((e[2] + 7) / 8);
    g.DataOffset = GetBE32(e + 4);
    uint64_t need = (uint64_t)ysize * g.BytesPerRow;
    if (g.BitWidth && (uint64_t)g.DataOffset + need > data_size) {
      FreeVec(block);
      return nullptr;
    }
    if (!g.BitWidth) g.DataOffset = 0;
  }
  return font;
}

TextFont* OpenDiskFont(const char* path) {
  uint32_t size = 0;
  void* data = LoadFile2MemSize(path, MEMF_PUBLIC, &size);
  if (!data) {
    DebugLog("OpenDiskFont: Konnte Font %s nicht laden.\n", path ? path : "(null)");
    return nullptr;
  }
  TextFont* font = OpenFontFromMemory(data, size);
  FreeVec(data);
  if (!font) DebugLog("OpenDiskFont: Font %s ist fehlerhaft.\n", path);
  return font;
}

void CloseFont(TextFont* font) {
  if (!font) return;
  // The screen's RastPort never keeps a closed font: the next screen saves
  // and restores whatever font it finds there.
  const DisplayRecord* d = QoESystemPtr->Display;
  if (d && d->ScreenRastPort && d->ScreenRastPort->Font == font) d->ScreenRastPort->Font = nullptr;
  FreeVec(font);
}

uint32_t FontCharWidth(const TextFont* font, uint8_t c) {
  if (!font || c < font->LoChar || c > font->HiChar) return 0;
  return font->Glyphs[c - font->LoChar].Width;
}
