// Frame decoding of IFF ANIM movies: the chunk walk of one FORM ILBM frame,
// ByteRun1 bodies into the planar buffers, ANIM-5 (byte-vertical) deltas
// against the frame two steps back, and the colour chunks as LoadRGB32
// tables. Every length is checked against its chunk; a broken chunk drops
// its frame and never writes outside a buffer.
#include <cstring>

#include "movie_internal.h"
#include "platform/log.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/iff.h"
#include "routinen/system/memory.h"

namespace {

void PutHost16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }
void PutHost32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// One colour as three u32 with the component in the top byte.
uint8_t* PutColour(uint8_t* p, const uint8_t* rgb) {
  PutHost32(p, (uint32_t)rgb[0] << 24);
  PutHost32(p + 4, (uint32_t)rgb[1] << 24);
  PutHost32(p + 8, (uint32_t)rgb[2] << 24);
  return p + 12;
}

// Unpacks one ByteRun1 row of exactly n bytes. Returns the input position
// after it, or null when the input ends or a run passes the row.
const uint8_t* UnpackRow(const uint8_t* in, const uint8_t* end, uint8_t* out, uint32_t n) {
  uint32_t o = 0;
  while (o < n) {
    if (in >= end) return nullptr;
    int8_t c = (int8_t)*in++;
    if (c >= 0) {
      uint32_t count = (uint32_t)c + 1;
      if (count > n - o || count > (uint32_t)(end - in)) return nullptr;
      std::memcpy(out + o, in, count);
      in += count;
      o += count;
    } else if (c != -128) {
      uint32_t count = (uint32_t)(1 - c);
      if (count > n - o || in >= end) return nullptr;
      std::memset(out + o, *in++, count);
      o += count;
    }
  }
  return in;
}

}  // namespace

int32_t ReadBitMapHeader(const uint8_t* d, uint32_t length, BitMapHeader* out) {
  if (!d || length < kBmhdSize || !out) return 0;
  out->width = GetBE16(d);
  out->height = GetBE16(d + 2);
  out->x = (int16_t)GetBE16(d + 4);
  out->y = (int16_t)GetBE16(d + 6);
  out->planes = d[8];
  out->masking = d[9];
  out->compression = d[10];
  out->pad = d[11];
  out->transparent = GetBE16(d + 12);
  out->x_aspect = d[14];
  out->y_aspect = d[15];
  out->page_width = (int16_t)GetBE16(d + 16);
  out->page_height = (int16_t)GetBE16(d + 18);
  return 1;
}

int32_t CheckBitMapHeader(const BitMapHeader* b, const char* who, const char* path) {
  const char* why = nullptr;
  if (b->width == 0 || b->width % 8 || b->width > kMovieMaxWidth) why = "Breite";
  else if (b->height == 0 || b->height > kMovieMaxHeight) why = "H\xF6he";
  else if (b->planes < 1 || b->planes > 8) why = "Bitebenen";
  else if (b->masking == 1) why = "Maskenebene";
  else if (b->compression > 1) why = "Kompression";
  if (!why) return 1;
  DebugLog("%s: %s in %s nicht unterst\xFCtzt (%ux%u, %u Ebenen, Maske %u, Kompression %u)\n", who, why,
           path ? path : "?", b->width, b->height, b->planes, b->masking, b->compression);
  return 0;
}

int32_t InitANIM5Handle(ANIM5Handle* h, uint32_t, Movie* movie, uint16_t width, uint16_t height, uint8_t depth) {
  if (!h) return 0;
  DebugLog("InitANIM5Handle: Width %i Height %i Depth %i\n", (int)width, (int)height, (int)depth);
  *h = ANIM5Handle{};
  h->width = width;
  h->height = height;
  h->depth = depth;
  h->movie = movie;
  h->buffer_flag = 0;
  // Cleared, so the planes a picture of fewer than 8 planes leaves out read 0.
  const uint32_t size = (uint32_t)width * height;
  h->pbuffer1 = static_cast<uint8_t*>(AllocVec(size, MEMF_PUBLIC | MEMF_CLEAR));
  if (!h->pbuffer1) DebugLog("No PBuffer1!\n");
  h->pbuffer2 = static_cast<uint8_t*>(AllocVec(size, MEMF_PUBLIC | MEMF_CLEAR));
  if (!h->pbuffer2) DebugLog("No PBuffer2!\n");
  return h->pbuffer1 && h->pbuffer2;
}

void FreeANIM5Handle(ANIM5Handle* h) {
  if (!h) return;
  FreeVec(h->pbuffer1);
  FreeVec(h->pbuffer2);
  FreeVec(h->spare[0]);
  FreeVec(h->spare[1]);
  FreeVec(h);
}

const uint8_t* ANIM5NewestFrame(const ANIM5Handle* h) {
  if (!h) return nullptr;
  return h->buffer_flag == 0xFF ? h->pbuffer1 : h->pbuffer2;
}

int32_t ConvertANIM5Planes(uint8_t* buffer, const uint8_t* body, uint32_t length, const BitMapHeader* bmhd) {
  if (!buffer || !body || !bmhd) return 0;
  const uint32_t rb = bmhd->width / 8u, stride = rb * bmhd->height;
  const uint8_t* in = body;
  const uint8_t* end = body + length;
  for (uint32_t y = 0; y < bmhd->height; y++) {
    for (uint32_t p = 0; p < bmhd->planes && p < 8; p++) {
      uint8_t* row = buffer + p * stride + y * rb;
      if (bmhd->compression == 0) {
        if ((uint32_t)(end - in) < rb) return 0;
        std::memcpy(row, in, rb);
        in += rb;
      } else {
        in = UnpackRow(in, end, row, rb);
        if (!in) return 0;
      }
    }
  }
  return 1;
}

int32_t DecodeILBMBody(ANIM5Handle* h, const BitMapHeader* bmhd, const uint8_t* body, uint32_t length) {
  if (!h || !h->pbuffer1 || !h->pbuffer2 || !bmhd) return 0;
  if (bmhd->width != h->width || bmhd->height != h->height) return 0;
  if (!ConvertANIM5Planes(h->pbuffer1, body, length, bmhd)) {
    DebugLog("DecodeILBMBody: BODY zu kurz oder fehlerhaft\n");
    return 0;
  }
  std::memcpy(h->pbuffer2, h->pbuffer1, (size_t)h->width * h->height);
  h->buffer_flag = 0xFF;
  return 1;
}

int32_t DecodeVDelta(uint8_t* const planes[8], uint16_t width, uint16_t height, const uint8_t* delta,
                     uint32_t length) {
  if (!delta || length < 64) return 0;
  const uint32_t rb = width / 8u;
  const uint8_t* end = delta + length;
  for (uint32_t p = 0; p < 8; p++) {
    const uint32_t off = GetBE32(delta + 4 * p);
    if (off == 0) continue;
    if (off >= length || !planes[p]) return 0;
    const uint8_t* in = delta + off;
    for (uint32_t col = 0; col < rb; col++) {
      if (in >= end) return 0;
      uint32_t ops = *in++;
      uint8_t* dst = planes[p] + col;
      uint32_t row = 0;
      while (ops--) {
        if (in >= end) return 0;
        const uint32_t op = *in++;
        if (op == 0) {
          if (end - in < 2) return 0;
          const uint32_t count = in[0];
          const uint8_t value = in[1];
          in += 2;
          if (count > height - row) return 0;
          for (uint32_t i = 0; i < count; i++, dst += rb) *dst = value;
          row += count;
        } else if (op < 128) {
          if (op > height - row) return 0;
          dst += op * rb;
          row += op;
        } else {
          const uint32_t count = op - 128;
          if (count > (uint32_t)(end - in) || count > height - row) return 0;
          for (uint32_t i = 0; i < count; i++, dst += rb) *dst = *in++;
          row += count;
        }
      }
    }
  }
  return 1;
}

int32_t ApplyDLTA(ANIM5Handle* h, const uint8_t* delta, uint32_t length) {
  if (!h || !h->pbuffer1 || !h->pbuffer2) return 0;
  uint8_t* target = h->buffer_flag == 0 ? h->pbuffer1 : h->pbuffer2;
  const uint32_t stride = (uint32_t)h->width * h->height / 8u;
  uint8_t* planes[8];
  for (uint32_t p = 0; p < 8; p++) planes[p] = target + p * stride;
  if (!DecodeVDelta(planes, h->width, h->height, delta, length)) {
    DebugLog("ApplyDLTA: DLTA fehlerhaft, Bild verworfen\n");
    return 0;
  }
  h->buffer_flag = (uint8_t)~h->buffer_flag;
  return 1;
}

void MakeRGB32Table(RGBStruct* table, const uint8_t* cmap, uint16_t count) {
  if (!table || !cmap) return;
  if (count > 256) count = 256;
  uint8_t* p = table->bytes;
  PutHost16(p, count);
  PutHost16(p + 2, 0);
  p += 4;
  for (uint32_t i = 0; i < count; i++) p = PutColour(p, cmap + 3 * i);
  PutHost32(p, 0);
}

void MergeRGBTable(RGBStruct* whole, const RGBStruct* groups) {
  if (!whole || !groups) return;
  uint8_t rgb[256][3] = {};
  uint32_t count = 0;
  // Reads the groups of one table into rgb (the highest colour + 1 in count).
  auto read = [&](const RGBStruct* table) {
    const uint8_t* t = table->bytes;
    const uint8_t* const t_end = table->bytes + kRGBStructSize - 4;
    for (;;) {
      uint16_t n, first;
      std::memcpy(&n, t, 2);
      std::memcpy(&first, t + 2, 2);
      t += 4;
      if (n == 0 || first + n > 256 || 12u * n > (uint32_t)(t_end - t)) return;
      for (uint32_t i = 0; i < n; i++, t += 12) {
        uint32_t c[3];
        std::memcpy(c, t, 12);
        for (int k = 0; k < 3; k++) rgb[first + i][k] = (uint8_t)(c[k] >> 24);
      }
      if (first + n > count) count = first + n;
    }
  };
  read(whole);
  read(groups);
  MakeRGB32Table(whole, rgb[0], (uint16_t)count);
}

int32_t ConvertLRGB(const uint8_t* lrgb, uint32_t length, RGBStruct* table) {
  if (!lrgb || !table) return 0;
  // The whole chunk is checked first: every group inside the chunk and the
  // palette, and all of them with the closing header inside the table.
  uint32_t pos = 0, bytes = 4;
  while (pos + 2 <= length && lrgb[pos] != 0) {
    const uint32_t n = lrgb[pos], first = lrgb[pos + 1];
    if (first + n > 256 || 3 * n > length - pos - 2) {
      DebugLog("ConvertLRGB: Farbgruppe %u+%u au\xDF" "erhalb der Tabelle\n", first, n);
      return 0;
    }
    bytes += 4 + 12 * n;
    if (bytes > kRGBStructSize) {
      DebugLog("ConvertLRGB: zu viele Farbgruppen f\xFCr die Farbtabelle\n");
      return 0;
    }
    pos += 2 + 3 * n;
  }
  // Each group as its own header (count, first index) and colours, then the
  // closing header of count 0 and first index 0.
  uint8_t* t = table->bytes;
  for (pos = 0; pos + 2 <= length && lrgb[pos] != 0;) {
    const uint32_t n = lrgb[pos], first = lrgb[pos + 1];
    PutHost16(t, (uint16_t)n);
    PutHost16(t + 2, (uint16_t)first);
    t += 4;
    for (uint32_t i = 0; i < n; i++) t = PutColour(t, lrgb + pos + 2 + 3 * i);
    pos += 2 + 3 * n;
  }
  PutHost16(t, 0);
  PutHost16(t + 2, 0);
  return 1;
}

int32_t DecodeMovieFrame(Movie* m, uint32_t, uint32_t, const uint8_t* frame, uint32_t length, uint32_t) {
  if (!m || !frame || length < 4) return -1;
  uint32_t pos = 4;  // after the frame's type
  m->cmap_allowed = 1;
  while (length - pos >= 8) {
    const uint32_t id = GetBE32(frame + pos), len = GetBE32(frame + pos + 4);
    pos += 8;
    if (len == 0) break;
    if (len > length - pos) {
      DebugLog("DecodeMovieFrame: Chunk %08x reicht \xFC" "ber das Bild hinaus, Bild verworfen\n", id);
      return -1;
    }
    const uint8_t* data = frame + pos;
    if (id == IffId("BMHD")) {
      BitMapHeader b{};
      if (!ReadBitMapHeader(data, len, &b)) {
        DebugLog("DecodeMovieFrame: BMHD zu kurz, Bild verworfen\n");
        return -1;
      }
      if (!m->decoder) {
        if (!CheckBitMapHeader(&b, "DecodeMovieFrame", nullptr)) return -1;
        m->decoder = static_cast<ANIM5Handle*>(AllocVec(sizeof(ANIM5Handle), MEMF_PUBLIC | MEMF_CLEAR));
        if (!m->decoder) return -1;
        InitANIM5Handle(m->decoder, 0, m, b.width, b.height, b.planes);
        m->width = b.width;
        m->height = b.height;
        m->depth = b.planes;
        m->colour_count = (uint16_t)(1u << b.planes);
        m->frames_drawn = 0;
        m->decoder_ready = 1;
      } else if (b.width != m->decoder->width || b.height != m->decoder->height || !CheckBitMapHeader(&b, "DecodeMovieFrame", nullptr)) {
        DebugLog("DecodeMovieFrame: BMHD mit anderer Gr\xF6\xDF" "e, Bild verworfen\n");
        return -1;
      }
      if (m->bmhd) *m->bmhd = b;
    } else if (id == IffId("CMAP")) {
      if (m->cmap_allowed && m->colours && m->depth) {
        const uint32_t n = 1u << m->depth;
        if (len < 3 * n) DebugLog("DecodeMovieFrame: CMAP zu kurz, Farben \xFC" "bergangen\n");
        else {
          MakeRGB32Table(m->colours, data, (uint16_t)n);
          MergeRGBTable(m->palette, m->colours);
        }
      }
    } else if (id == IffId("LRGB")) {
      if (m->colours && ConvertLRGB(data, len, m->colours)) MergeRGBTable(m->palette, m->colours);
      m->cmap_allowed = 0;
    } else if (id == IffId("ANHD")) {
      if (len < kAnhdSize) {
        DebugLog("DecodeMovieFrame: ANHD zu kurz, Bild verworfen\n");
        return -1;
      }
      if (m->anhd) {
        AnimHeader& a = *m->anhd;
        a.operation = data[0];
        a.mask = data[1];
        a.width = GetBE16(data + 2);
        a.height = GetBE16(data + 4);
        a.x = (int16_t)GetBE16(data + 6);
        a.y = (int16_t)GetBE16(data + 8);
        a.abs_time = GetBE32(data + 10);
        a.rel_time = GetBE32(data + 14);
        a.interleave = data[18];
        a.pad = data[19];
        a.bits = GetBE32(data + 20);
        std::memcpy(a.reserved, data + 24, 16);
      }
    } else if (id == IffId("BODY")) {
      if (m->decoder && m->bmhd) DecodeILBMBody(m->decoder, m->bmhd, data, len);
    } else if (id == IffId("DLTA")) {
      if (m->decoder) ApplyDLTA(m->decoder, data, len);
    }
    pos += len;
    if ((len & 1) && pos < length) pos++;
  }
  return 0;
}
