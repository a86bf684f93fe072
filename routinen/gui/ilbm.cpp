#include "ilbm.h"

#include <cstring>

#include "routinen/system/iff.h"
#include "routinen/system/memory.h"
#include "platform/log.h"

namespace {

// Unpacks ByteRun1 until `out_size` bytes (one row) are written. Returns
// false when the input ends first or a run passes the end of the row: such a
// picture is broken, and decoding on would only show it garbled.
bool UnpackByteRun1(BoundedReader& in, uint8_t* out, uint32_t out_size) {
  uint32_t o = 0;
  while (o < out_size) {
    if (!ReaderHas(in, 1)) return false;
    int8_t n = (int8_t)ReadU8(in);
    if (n >= 0) {
      uint32_t count = (uint32_t)n + 1;
      if (count > out_size - o) return false;
      const uint8_t* p = ReadSpan(in, count);
      if (!p) return false;
      std::memcpy(out + o, p, count);
      o += count;
    } else if (n != -128) {
      uint32_t count = (uint32_t)(1 - n);
      if (!ReaderHas(in, 1)) return false;
      uint8_t v = ReadU8(in);
      if (count > out_size - o) return false;
      std::memset(out + o, v, count);
      o += count;
    }
  }
  return true;
}

int Fail(const char* why) {
  DebugLog("DecodeIlbm: %s\n", why);
  return -1;
}

// Byte b of a plane row spread over eight pixels: pixel k (in memory order)
// holds bit 7 - k of b. Shifted by the plane number and or-ed, the planes of
// eight pixels become their pens in one step.
struct PlaneSpread {
  uint64_t t[256];
  PlaneSpread() {
    for (uint32_t b = 0; b < 256; ++b) {
      uint8_t px[8];
      for (uint32_t k = 0; k < 8; ++k) px[k] = (uint8_t)((b >> (7 - k)) & 1);
      std::memcpy(&t[b], px, 8);
    }
  }
};

// One decoded row of planes to pens (and the mask plane, masking 1).
void RowToPens(const uint8_t* row, uint32_t row_bytes, uint32_t planes, uint32_t w, bool mask_plane, uint8_t* dst,
               uint8_t* mask) {
  static const PlaneSpread spread;
  for (uint32_t x = 0, byte = 0; x < w; x += 8, ++byte) {
    uint64_t v = 0;
    for (uint32_t p = 0; p < planes; ++p) v |= spread.t[row[p * row_bytes + byte]] << p;
    const uint32_t n = w - x < 8 ? w - x : 8;
    std::memcpy(dst + x, &v, n);
    if (mask_plane) std::memcpy(mask + x, &spread.t[row[planes * row_bytes + byte]], n);
  }
}

}  // namespace

void FreeIlbm(IlbmPicture* picture) {
  if (!picture) return;
  FreeVec(picture->pixels);
  FreeVec(picture->mask);
  picture->pixels = nullptr;
  picture->mask = nullptr;
}

int DecodeIlbm(const void* data, uint32_t size, IlbmPicture* out) {
  std::memset(out, 0, sizeof *out);
  uint32_t type = 0;
  BoundedReader body{};
  if (!IffOpenForm(data, size, &type, &body)) return Fail("Kein vollstaendiges IFF FORM.");
  if (type != IffId("ILBM")) return Fail("Kein ILBM.");

  IffChunk bmhd{}, cmap{}, bdy{};
  bool have_bmhd = false, have_cmap = false, have_body = false;
  IffChunk c{};
  int rc;
  while ((rc = IffNextChunk(&body, &c)) == 1) {
    if (c.id == IffId("BMHD") && !have_bmhd) { bmhd = c; have_bmhd = true; }
    else if (c.id == IffId("CMAP") && !have_cmap) { cmap = c; have_cmap = true; }
    else if (c.id == IffId("BODY") && !have_body) { bdy = c; have_body = true; }
  }
  if (rc < 0) return Fail("Chunk geht ueber das Dateiende.");
  if (!have_bmhd || bmhd.size < 20) return Fail("BMHD fehlt.");
  if (!have_body) return Fail("BODY fehlt.");

  BoundedReader h = MakeReader(bmhd.data, bmhd.size);
  uint16_t w = ReadBE16(h), ht = ReadBE16(h);
  ReadBE16(h);  // x
  ReadBE16(h);  // y
  uint8_t planes = ReadU8(h), masking = ReadU8(h), compression = ReadU8(h);
  ReadU8(h);
  uint16_t transparent = ReadBE16(h);
  if (w == 0 || ht == 0 || w > kIlbmMaxSide || ht > kIlbmMaxSide) return Fail("Ungueltige Groesse.");
  if (planes < 1 || planes > 8) return Fail("Nur 1 bis 8 Bitplanes.");
  if (masking > 3) return Fail("Unbekannte Maskierung.");
  if (compression > 1) return Fail("Unbekannte Kompression.");

  const uint32_t row_bytes = ((w + 15u) / 16u) * 2u;
  const uint32_t rows_planes = planes + (masking == ILBM_MASK_PLANE ? 1u : 0u);
  const uint32_t row_total = row_bytes * rows_planes;

  uint8_t* row = static_cast<uint8_t*>(AllocVec(row_total, MEMF_CLEAR));
  out->pixels = static_cast<uint8_t*>(AllocVec((uint32_t)w * ht, MEMF_CLEAR));
  if (masking == ILBM_MASK_PLANE || masking == ILBM_MASK_TRANSPARENT)
    out->mask = static_cast<uint8_t*>(AllocVec((uint32_t)w * ht, MEMF_CLEAR));
  if (!row || !out->pixels || ((masking == 1 || masking == 2) && !out->mask)) {
    FreeVec(row);
    FreeIlbm(out);
    return 0;
  }

  BoundedReader in = MakeReader(bdy.data, bdy.size);
  for (uint32_t y = 0; y < ht; ++y) {
    bool ok = compression ? UnpackByteRun1(in, row, row_total) : ReadBytes(in, row, row_total);
    if (!ok) {
      FreeVec(row);
      FreeIlbm(out);
      return Fail("BODY ist zu kurz oder beschaedigt.");
    }
    uint8_t* dst = out->pixels + (size_t)y * w;
    uint8_t* mask = out->mask ? out->mask + (size_t)y * w : nullptr;
    RowToPens(row, row_bytes, planes, w, masking == ILBM_MASK_PLANE, dst, mask);
    if (masking == ILBM_MASK_TRANSPARENT)
      for (uint32_t x = 0; x < w; ++x) mask[x] = dst[x] != transparent;
  }
  FreeVec(row);

  if (have_cmap) {
    uint32_t n = cmap.size / 3;
    if (n > 256) n = 256;
    for (uint32_t i = 0; i < n; ++i) {
      out->palette[i][0] = cmap.data[i * 3];
      out->palette[i][1] = cmap.data[i * 3 + 1];
      out->palette[i][2] = cmap.data[i * 3 + 2];
    }
    out->colours = (uint16_t)n;
  }
  out->width = w;
  out->height = ht;
  out->planes = planes;
  out->masking = masking;
  out->transparent = transparent;
  return 1;
}

// ---- the writer ----------------------------------------------------------------

namespace {

// ByteRun1 of one plane row into out (room for n + n / 128 + 1 bytes);
// returns the bytes written.
uint32_t PackRow(const uint8_t* in, uint32_t n, uint8_t* out) {
  uint32_t i = 0, o = 0;
  while (i < n) {
    uint32_t run = 1;
    while (i + run < n && run < 128 && in[i + run] == in[i]) ++run;
    if (run >= 3) {
      out[o++] = static_cast<uint8_t>(257 - run);
      out[o++] = in[i];
      i += run;
      continue;
    }
    // A literal stretch up to the next run of three or more, so the row
    // grows by at most one byte in 128.
    uint32_t lit = 1;
    while (i + lit < n && lit < 128 &&
           !(i + lit + 2 < n && in[i + lit] == in[i + lit + 1] && in[i + lit] == in[i + lit + 2]))
      ++lit;
    out[o++] = static_cast<uint8_t>(lit - 1);
    std::memcpy(out + o, in + i, lit);
    o += lit;
    i += lit;
  }
  return o;
}

void PutChunkHeader(BoundedWriter& w, const char (&id)[5], uint32_t size) {
  WriteBE32(w, IffId(id));
  WriteBE32(w, size);
}

}  // namespace

uint8_t* EncodeIlbm(const IlbmPicture* pic, const IlbmExtraChunk* extra, uint32_t extra_count, uint32_t* size) {
  *size = 0;
  if (!pic || !pic->pixels || pic->width == 0 || pic->height == 0 || pic->width > kIlbmMaxSide ||
      pic->height > kIlbmMaxSide)
    return nullptr;
  const uint32_t w = pic->width, h = pic->height, row_bytes = (w + 15) / 16 * 2;
  // Worst case of the packed body: every plane row a literal stream.
  const uint32_t packed_row = row_bytes + row_bytes / 128 + 2;
  uint64_t body_max = static_cast<uint64_t>(packed_row) * 8 * h;
  uint64_t total = 12 + 8 + 20 + 8 + 768 + 8 + body_max + 1;
  for (uint32_t i = 0; i < extra_count; ++i) total += 8 + extra[i].size + 1;
  if (total > 0x7FFFFFFF) return nullptr;
  auto* out = static_cast<uint8_t*>(AllocVec(static_cast<uint32_t>(total), MEMF_CLEAR));
  auto* plane = static_cast<uint8_t*>(AllocVec(row_bytes + packed_row, MEMF_CLEAR));
  if (!out || !plane) {
    FreeVec(out);
    FreeVec(plane);
    return nullptr;
  }
  BoundedWriter wr = MakeWriter(out, total);
  PutChunkHeader(wr, "FORM", 0);  // length patched below
  WriteBE32(wr, IffId("ILBM"));
  PutChunkHeader(wr, "BMHD", 20);
  WriteBE16(wr, static_cast<uint16_t>(w));
  WriteBE16(wr, static_cast<uint16_t>(h));
  WriteBE32(wr, 0);  // x, y
  WriteU8(wr, 8);    // planes
  WriteU8(wr, pic->masking == ILBM_MASK_TRANSPARENT ? ILBM_MASK_TRANSPARENT : ILBM_MASK_NONE);
  WriteU8(wr, 1);    // ByteRun1
  WriteU8(wr, 0);
  WriteBE16(wr, pic->masking == ILBM_MASK_TRANSPARENT ? pic->transparent : 0);
  WriteU8(wr, 1);
  WriteU8(wr, 1);
  WriteBE16(wr, static_cast<uint16_t>(w));
  WriteBE16(wr, static_cast<uint16_t>(h));
  PutChunkHeader(wr, "CMAP", 768);
  WriteBytes(wr, pic->palette, 768);
  PutChunkHeader(wr, "BODY", 0);
  const size_t body_at = wr.pos;
  for (uint32_t y = 0; y < h; ++y) {
    const uint8_t* row = pic->pixels + static_cast<size_t>(y) * w;
    for (uint32_t p = 0; p < 8; ++p) {
      std::memset(plane, 0, row_bytes);
      for (uint32_t x = 0; x < w; ++x)
        if (row[x] >> p & 1) plane[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
      uint8_t* packed = plane + row_bytes;
      WriteBytes(wr, packed, PackRow(plane, row_bytes, packed));
    }
  }
  const uint32_t body_size = static_cast<uint32_t>(wr.pos - body_at);
  PutBE32(out + body_at - 4, body_size);
  if (body_size & 1) WriteU8(wr, 0);
  for (uint32_t i = 0; i < extra_count; ++i) {
    WriteBE32(wr, extra[i].id);
    WriteBE32(wr, extra[i].size);
    WriteBytes(wr, extra[i].data, extra[i].size);
    if (extra[i].size & 1) WriteU8(wr, 0);
  }
  FreeVec(plane);
  if (!wr.ok) {
    FreeVec(out);
    return nullptr;
  }
  PutBE32(out + 4, static_cast<uint32_t>(wr.pos - 8));
  *size = static_cast<uint32_t>(wr.pos);
  return out;
}
