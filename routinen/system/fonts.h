// Bitmap fonts from .fnt files (format: docs/fonts.md). A font covers the
// characters LoChar..HiChar; each glyph has an advance width and a 1-bit
// bitmap YSize rows high. Characters outside the range have no width.
#pragma once
#include <cstdint>

struct TextGlyph {
  uint8_t Width;        // advance in pixels
  int8_t XOffset;       // left edge of the bitmap relative to the pen
  uint8_t BitWidth;     // bitmap width in pixels (0 = nothing drawn)
  uint8_t BytesPerRow;  // (BitWidth + 7) / 8, most significant bit leftmost
  uint32_t DataOffset;  // first row in GlyphData
};

struct TextFont {
  uint8_t LoChar;
  uint8_t HiChar;
  uint16_t XSize;     // fixed width, 0 for a proportional font
  uint16_t YSize;     // height of every glyph and the line height
  uint16_t Baseline;  // glyph row that lies on the pen's y
  TextGlyph* Glyphs;  // HiChar - LoChar + 1 entries
  uint8_t* GlyphData;
  uint32_t GlyphDataSize;
};

// Loads a .fnt file; null when it is missing, truncated or malformed.
TextFont* OpenDiskFont(const char* path);
// The same from bytes in memory (the reader OpenDiskFont uses).
TextFont* OpenFontFromMemory(const void* data, uint32_t size);
// Frees a font with its tables; null ignored.
void CloseFont(TextFont* font);
// Advance width of one character (0 outside the font's range or for null).
uint32_t FontCharWidth(const TextFont* font, uint8_t c);
