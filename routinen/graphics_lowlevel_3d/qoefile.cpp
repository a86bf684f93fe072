// Model files (".qoe", magic "OPGL" or "FORM"): one bounded reader checks the
// whole file, then its items are appended to the stores with every
// cross-reference rebased onto the stores' counts. A file that fails a check,
// or a load that fails half-way, leaves every store as it was.
// Format: docs/gl3d-models.md.
#include <cstdio>
#include <cstring>

#include "gl3d_internal.h"
#include "platform/log.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"

namespace {

constexpr uint32_t kFileHeader = 20, kChunkHeader = 20, kMaxFileTextures = 512;
// New textures of one file together: more is taken as a damaged file.
constexpr uint64_t kMaxFileTextureBytes = 256ull << 20;
constexpr uint32_t kMaxTextureSide = 4096;

enum Kind : uint32_t { TXGL, POGL, FAGL, PIGL, VCGL, OBGL, ANGL, FRGL, ELGL, JPGL, BMGL, kKinds };
struct KindInfo {
  char id[5];
  uint32_t item;  // item size; 0: the data is one picture
};
constexpr KindInfo kKindInfo[kKinds] = {{"TXGL", 320}, {"POGL", 24},  {"FAGL", 12}, {"PIGL", 4},
                                        {"VCGL", 8},   {"OBGL", 204}, {"ANGL", 56}, {"FRGL", 116},
                                        {"ELGL", 124}, {"JPGL", 0},   {"BMGL", 0}};

struct Chunk {
  uint32_t kind;
  uint32_t data;        // offset of the data in the file
  uint32_t bytes;
  uint32_t count;       // items
  uint32_t first;       // the first item's number among all items of its kind
  uint16_t texture;     // JPGL, BMGL
  uint32_t partner;     // 32-bit JPGL: offset and size of the colour picture
  uint32_t partner_bytes;
};

struct FileTexture {
  uint16_t width, height, bits;
};

struct Plan {
  const uint8_t* file;
  uint32_t size;
  uint32_t version;         // 0 "OPGL", 1 "FORM"
  Chunk* chunks;            // AllocVec
  uint32_t chunk_count;
  uint32_t* order;          // per kind, its chunks' numbers in file order (AllocVec)
  uint32_t order_start[kKinds + 1];
  uint32_t total[kKinds];
  FileTexture textures[kMaxFileTextures];
  uint8_t pictured[kMaxFileTextures];  // a JPGL or BMGL chunk fills the texture
};

const uint8_t* Item(const Plan& p, const Chunk& c, uint32_t i) {
  return p.file + c.data + size_t(i) * kKindInfo[c.kind].item;
}

// Item number j of a kind (j below its total), found by binary search over
// the kind's chunks.
const uint8_t* ItemOf(const Plan& p, uint32_t kind, uint32_t j) {
  uint32_t lo = p.order_start[kind], hi = p.order_start[kind + 1];
  while (hi - lo > 1) {
    const uint32_t mid = (lo + hi) / 2;
    if (p.chunks[p.order[mid]].first <= j) lo = mid; else hi = mid;
  }
  const Chunk& c = p.chunks[p.order[lo]];
  return Item(p, c, j - c.first);
}

float F32(const uint8_t* p) {
  const uint32_t bits = GetLE32(p);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

void Floats(float* out, const uint8_t* p, uint32_t n) {
  for (uint32_t i = 0; i < n; i++) out[i] = F32(p + 4 * i);
}

// A text field of size bytes into dest (dest_size bytes), cut at the field's
// end when it holds no NUL.
void Text(char* dest, size_t dest_size, const uint8_t* field, size_t size) {
  size_t n = 0;
  while (n < size && n + 1 < dest_size && field[n]) n++;
  std::memcpy(dest, field, n);
  dest[n] = 0;
}

bool InRange(uint64_t first, uint64_t count, uint64_t total) { return first + count <= total; }

// Pass 1: the header and every chunk inside the file, item counts inside
// their data, the textures' definitions and the pictures' sizes.
const char* ScanChunks(Plan& p) {
  BoundedReader r = MakeReader(p.file, p.size);
  const uint8_t* header = ReadSpan(r, kFileHeader);
  if (!header) return "Kopf zu kurz";
  const uint32_t count = GetLE32(header + 12);
  if (count > (p.size - kFileHeader) / kChunkHeader) return "zu viele Chunks";
  p.chunks = static_cast<Chunk*>(AllocVec(uint32_t(sizeof(Chunk)) * (count ? count : 1), MEMF_PUBLIC | MEMF_CLEAR));
  if (!p.chunks) return "kein Speicher";
  uint64_t texture_bytes = 0;
  for (uint32_t i = 0; i < count; i++) {
    const uint8_t* h = ReadSpan(r, kChunkHeader);
    if (!h) return "Chunk-Kopf ausserhalb der Datei";
    Chunk& c = p.chunks[p.chunk_count];
    c.kind = kKinds;
    for (uint32_t k = 0; k < kKinds; k++)
      if (std::memcmp(h, kKindInfo[k].id, 4) == 0) c.kind = k;
    if (c.kind == kKinds) {
      DebugLog("LoadQoE: Unbekannten Chunk gefunden: <0x%x> \n", GetBE32(h));
      return nullptr;
    }
    c.texture = GetLE16(h + 8);
    c.count = GetLE32(h + 12);
    c.bytes = GetLE32(h + 16);
    c.data = uint32_t(r.pos);
    if (!ReaderSkip(r, c.bytes)) return "Chunk-Daten ausserhalb der Datei";
    const KindInfo& info = kKindInfo[c.kind];
    if (info.item) {
      if (uint64_t(c.count) * info.item > c.bytes) return "zu viele Eintraege im Chunk";
      c.first = p.total[c.kind];
      p.total[c.kind] += c.count;
    }
    if (c.kind == TXGL) {
      if (p.total[TXGL] > kMaxFileTextures) return "zu viele Texturen";
      for (uint32_t j = 0; j < c.count; j++) {
        const uint8_t* t = Item(p, c, j);
        FileTexture& ft = p.textures[c.first + j];
        ft = FileTexture{GetLE16(t + 304), GetLE16(t + 306), GetLE16(t + 308)};
        if (ft.bits != 8 && ft.bits != 24 && ft.bits != 32) return "Textur mit falscher Tiefe";
        if (ft.width == 0 || ft.height == 0 || ft.width > kMaxTextureSide || ft.height > kMaxTextureSide)
          return "Textur mit falscher Groesse";
        texture_bytes += uint64_t(ft.width) * ft.height * (ft.bits / 8u);
        if (texture_bytes > kMaxFileTextureBytes) return "Texturen zu gross";
      }
    }
    if (c.kind == JPGL || c.kind == BMGL) {
      // Pictures follow the definition of their texture.
      if (c.texture >= p.total[TXGL]) return "Bild ohne Textur";
      p.pictured[c.texture] = 1;
      const FileTexture& ft = p.textures[c.texture];
      if (c.kind == BMGL && uint64_t(c.bytes) != uint64_t(ft.width) * ft.height * (ft.bits / 8u))
        return "Bild mit falscher Groesse";
      if (c.kind == JPGL && ft.bits == 32) {
        // Alpha first, then the colour picture, which counts as a chunk.
        if (++i >= count) return "Farbbild fehlt";
        const uint8_t* h2 = ReadSpan(r, kChunkHeader);
        if (!h2) return "Chunk-Kopf ausserhalb der Datei";
        c.partner = uint32_t(r.pos);
        c.partner_bytes = GetLE32(h2 + 16);
        if (!ReaderSkip(r, c.partner_bytes)) return "Chunk-Daten ausserhalb der Datei";
      }
    }
    p.chunk_count++;
  }
  // Each kind's chunks in file order, for looking items up by number.
  p.order = static_cast<uint32_t*>(AllocVec(4 * (p.chunk_count ? p.chunk_count : 1), MEMF_PUBLIC));
  if (!p.order) return "kein Speicher";
  uint32_t n = 0;
  for (uint32_t k = 0; k < kKinds; k++) {
    p.order_start[k] = n;
    for (uint32_t i = 0; i < p.chunk_count; i++)
      if (p.chunks[i].kind == k) p.order[n++] = i;
  }
  p.order_start[kKinds] = n;
  return "";
}

// Pass 2: every range of faces, objects, animations, frames and elements
// inside the file's own arrays; every point index inside its object.
const char* CheckRanges(const Plan& p) {
  const uint32_t* total = p.total;
  for (uint32_t i = 0; i < p.chunk_count; i++) {
    const Chunk& c = p.chunks[i];
    // Points, indices, vertex changes and texture definitions hold no
    // references to check.
    if (c.kind != FAGL && c.kind != OBGL && c.kind != ANGL && c.kind != FRGL && c.kind != ELGL) continue;
    for (uint32_t j = 0; j < c.count; j++) {
      const uint8_t* it = Item(p, c, j);
      switch (c.kind) {
        case FAGL:
          if (GetLE16(it + 6) >= total[TXGL]) return "Flaeche mit falscher Textur";
          if (!InRange(GetLE32(it), GetLE16(it + 4), total[PIGL])) return "Flaeche ausserhalb der Indizes";
          break;
        case OBGL: {
          const uint32_t vc = GetLE32(it + 40), vcn = GetLE32(it + 44), pi = GetLE32(it + 56),
                         pin = GetLE32(it + 60), pt = GetLE32(it + 72), ptn = GetLE32(it + 76),
                         fa = GetLE32(it + 88), fan = GetLE32(it + 92);
          if (!InRange(vc, vcn, total[VCGL]) || !InRange(pi, pin, total[PIGL]) || !InRange(pt, ptn, total[POGL]) ||
              !InRange(fa, fan, total[FAGL]))
            return "Objekt ausserhalb der Daten";
          for (uint32_t k = 0; k < pin; k++)
            if (GetLE32(ItemOf(p, PIGL, pi + k)) >= ptn) return "Punktindex ausserhalb des Objekts";
          // A face's index numbers count within its object.
          const uint32_t numbers = pin ? pin : ptn;
          for (uint32_t k = 0; k < fan; k++) {
            const uint8_t* f = ItemOf(p, FAGL, fa + k);
            if (!InRange(GetLE32(f), GetLE16(f + 4), numbers)) return "Flaeche ausserhalb des Objekts";
          }
          break;
        }
        case ANGL:
          if (!InRange(GetLE32(it + 44), GetLE32(it + 48), total[FRGL])) return "Animation ausserhalb der Frames";
          break;
        case FRGL: {
          const uint16_t kind = GetLE16(it + 114);
          const uint32_t target = GetLE32(it + 4);
          uint32_t limit = 0;
          if (kind == 0 || kind == THING_OBJECT3D) limit = total[OBGL];
          else if (kind == THING_ANIMATION3D) limit = total[ANGL];
          else if (kind == THING_FRAME3D) limit = total[FRGL];
          else return "Frame mit falscher Zielart";
          if (target >= limit) return "Frame ausserhalb der Ziele";
          break;
        }
        case ELGL:
          if (GetLE32(it + 12) >= total[ANGL]) return "Element ohne Animation";
          break;
        default:
          break;
      }
    }
  }
  return "";
}

struct Bases {
  uint32_t object, face, point, texture, animation, frame, element, pindex, change;
};

Bases NoteBases() {
  return Bases{ThingCount(THING_OBJECT3D),    ThingCount(THING_FACE3D),    ThingCount(THING_POINT3D),
               ThingCount(THING_TEXTURE3D),   ThingCount(THING_ANIMATION3D), ThingCount(THING_FRAME3D),
               ThingCount(THING_ELEMENT3D),   ThingCount(THING_PINDEX3D),  ThingCount(THING_VERTEXCHANGE3D)};
}

// Puts every store back to the bases; frees the textures this load made.
void RollBack(const Bases& b) {
  for (uint32_t i = b.texture; i < ThingCount(THING_TEXTURE3D); i++) {
    auto* t = static_cast<TEXTURE3D*>(ThingAt(THING_TEXTURE3D, i));
    FreeTexture(t);
    FreeVec(t->pixels);
    t->pixels = nullptr;
  }
  TruncateThing(THING_TEXTURE3D, b.texture);
  TruncateThing(THING_OBJECT3D, b.object);
  TruncateThing(THING_FACE3D, b.face);
  TruncateThing(THING_POINT3D, b.point);
  TruncateThing(THING_ANIMATION3D, b.animation);
  TruncateThing(THING_FRAME3D, b.frame);
  TruncateThing(THING_ELEMENT3D, b.element);
  TruncateThing(THING_PINDEX3D, b.pindex);
  TruncateThing(THING_VERTEXCHANGE3D, b.change);
  RelinkEngineObjects();
}

// The frame fields an FRGL item and an ELGL item share: the matrix and
// rotation, scale, translation.
void FrameBlocks(FRAME3D* f, const uint8_t* matrix, const uint8_t* rst) {
  Floats(f->matrix, matrix, 16);
  Floats(f->rotation, rst, 3);
  Floats(f->scale, rst + 12, 3);
  Floats(f->translation, rst + 24, 3);
}

struct Loader {
  const Plan& p;
  Bases base;
  int32_t map[kMaxFileTextures];
  uint8_t reused[kMaxFileTextures];
  const char* path;
};

// The picture chunk's texture when it is to be filled (not reused, still
// of the file's size), else null.
TEXTURE3D* PictureTarget(const Loader& l, const Chunk& c) {
  if (l.reused[c.texture]) return nullptr;
  auto* t = static_cast<TEXTURE3D*>(ThingAt(THING_TEXTURE3D, uint32_t(l.map[c.texture])));
  const FileTexture& ft = l.p.textures[c.texture];
  if (!t || !t->pixels || t->width != ft.width || t->height != ft.height || t->depth != ft.bits) return nullptr;
  return t;
}

bool ApplyPicture(Loader& l, const Chunk& c) {
  const Plan& p = l.p;
  const FileTexture& ft = p.textures[c.texture];
  if (c.kind == BMGL) {
    TEXTURE3D* t = PictureTarget(l, c);
    if (!t) return true;
    std::memcpy(t->pixels, p.file + c.data, c.bytes);
    const uint32_t bpp = ft.bits / 8u;
    if (p.version == 0 && bpp >= 3) {
      // Stored blue, green, red.
      for (uint32_t i = 0; i < c.bytes; i += bpp) {
        const uint8_t b = t->pixels[i];
        t->pixels[i] = t->pixels[i + 2];
        t->pixels[i + 2] = b;
      }
    }
    if (ft.bits != 8) UploadTexture(t);
    return true;
  }
  if (ft.bits != 32) {
    DebugLog("LoadQOE: < JPEG> 8/24 Bit Texture! (%s, Textur %u)\n", l.path ? l.path : "", c.texture);
    TEXTURE3D* t = PictureTarget(l, c);
    if (!t) return true;
    // A failure throws the texture away with the rest of the load.
    if (!DecodeJpegInPlace(p.file + c.data, c.bytes, JpegImage{t->pixels, t->width, t->height, t->depth}))
      return false;
    UploadTexture(t);
    return true;
  }
  DebugLog("LoadQOE: < JPEG> 32 Bit Texture! (%s, Textur %u)\n", l.path ? l.path : "", c.texture);
  TEXTURE3D* t = PictureTarget(l, c);
  if (!t) return true;
  DebugLog("LoadQOE: < JPEG> 32 Bit Texture muss auch noch geladen werden.\n");
  const uint32_t n = uint32_t(t->width) * t->height;
  auto* grey = static_cast<uint8_t*>(AllocVec(n, MEMF_PUBLIC));
  auto* rgb = static_cast<uint8_t*>(AllocVec(n * 3, MEMF_PUBLIC));
  const bool ok = grey && rgb &&
                  DecodeJpegInPlace(p.file + c.data, c.bytes, JpegImage{grey, t->width, t->height, 8}) &&
                  DecodeJpegInPlace(p.file + c.partner, c.partner_bytes, JpegImage{rgb, t->width, t->height, 24});
  if (ok) MakeRGBA(t->pixels, rgb, grey, n);
  FreeVec(grey);
  FreeVec(rgb);
  if (ok) UploadTexture(t);
  return ok;
}

bool ApplyTextures(Loader& l, const Chunk& c) {
  for (uint32_t j = 0; j < c.count; j++) {
    const uint8_t* it = Item(l.p, c, j);
    const uint32_t n = c.first + j;
    const FileTexture& ft = l.p.textures[n];
    char name[40], file[256];
    Text(name, sizeof name, it, 40);
    Text(file, sizeof file, it + 40, 264);
    // A texture of the same file and depth is shared; the last one wins.
    int32_t found = -1;
    const uint32_t have = ThingCount(THING_TEXTURE3D);
    for (uint32_t i = 0; i < have; i++) {
      const auto* t = static_cast<const TEXTURE3D*>(ThingAt(THING_TEXTURE3D, i));
      if (t->depth == ft.bits && std::strcmp(t->file, file) == 0) found = int32_t(i);
    }
    l.reused[n] = found >= 0;
    if (found >= 0) {
      l.map[n] = found;
      continue;
    }
    auto* t = static_cast<TEXTURE3D*>(GetThing(THING_TEXTURE3D, kThingAppend));
    if (!t) return false;
    l.map[n] = int32_t(ThingLastIndex());
    *t = TEXTURE3D{};
    // A texture whose picture follows in the file skips the test pattern.
    InitializeTexture(t, file, ft.width, ft.height, ft.bits, name, !l.p.pictured[n]);
    if (!t->pixels) return false;
  }
  return true;
}

bool ApplyChunk(Loader& l, const Chunk& c) {
  const Plan& p = l.p;
  const Bases& b = l.base;
  switch (c.kind) {
    case TXGL:
      return ApplyTextures(l, c);
    case JPGL:
    case BMGL:
      return ApplyPicture(l, c);
    default:
      break;
  }
  if (c.count == 0) return true;
  static const uint16_t kKeys[kKinds] = {0, THING_POINT3D, THING_FACE3D, THING_PINDEX3D, THING_VERTEXCHANGE3D,
                                         THING_OBJECT3D, THING_ANIMATION3D, THING_FRAME3D, THING_ELEMENT3D};
  // The chunk's items in one run of the store.
  void* run = AppendThings(kKeys[c.kind], c.count);
  if (!run) return false;
  // The plentiful kinds in loops of their own, without a switch per item.
  const uint8_t* items = p.file + c.data;
  switch (c.kind) {
    case POGL: {
      POINT3D* pt = static_cast<POINT3D*>(run);
      for (uint32_t j = 0; j < c.count; j++, items += kKindInfo[POGL].item) {
        pt[j].u = F32(items);
        pt[j].v = F32(items + 4);
        std::memcpy(pt[j].rgba, items + 8, 4);
        pt[j].x = F32(items + 12);
        pt[j].y = F32(items + 16);
        pt[j].z = F32(items + 20);
      }
      return true;
    }
    case PIGL: {
      PINDEX3D* pi = static_cast<PINDEX3D*>(run);
      for (uint32_t j = 0; j < c.count; j++) pi[j] = GetLE32(items + size_t(kKindInfo[PIGL].item) * j);
      return true;
    }
    case VCGL: {
      VERTEXCHANGE3D* vc = static_cast<VERTEXCHANGE3D*>(run);
      for (uint32_t j = 0; j < c.count; j++, items += kKindInfo[VCGL].item)
        vc[j] = VERTEXCHANGE3D{GetLE16(items), GetLE16(items + 2), GetLE16(items + 4), GetLE16(items + 6)};
      return true;
    }
    case FAGL: {
      // The texture number stays file-local until the resolve step.
      FACE3D* f = static_cast<FACE3D*>(run);
      for (uint32_t j = 0; j < c.count; j++, items += kKindInfo[FAGL].item)
        f[j] = FACE3D{GetLE32(items), GetLE16(items + 4), GetLE16(items + 6), nullptr};
      return true;
    }
    default:
      break;
  }
  for (uint32_t j = 0; j < c.count; j++) {
    const uint8_t* it = Item(p, c, j);
    switch (c.kind) {
      case OBGL: {
        OBJECT3D* o = static_cast<OBJECT3D*>(run) + j;
        ClearObject(o);
        Text(o->name, sizeof o->name, it, 40);
        o->first_change = GetLE32(it + 40) + b.change;
        o->change_count = int32_t(GetLE32(it + 44));
        o->first_index = GetLE32(it + 56) + b.pindex;
        o->index_count = int32_t(GetLE32(it + 60));
        o->first_point = GetLE32(it + 72) + b.point;
        o->point_count = int32_t(GetLE32(it + 76));
        o->first_face = GetLE32(it + 88) + b.face;
        o->face_count = int32_t(GetLE32(it + 92));
        Floats(o->matrix, it + 112, 16);
        Floats(o->min, it + 176, 3);
        Floats(o->max, it + 188, 3);
        o->level = GetLE16(it + 200);
        o->spare = 0;
        break;
      }
      case ANGL: {
        ANIMATION3D* a = static_cast<ANIMATION3D*>(run) + j;
        *a = ANIMATION3D{};
        Text(a->name, sizeof a->name, it, 40);
        const uint32_t stored = GetLE32(it + 40);
        a->last_frame = stored ? stored - 1 : 0;
        a->first_frame = GetLE32(it + 44) + b.frame;
        a->frame_count = GetLE32(it + 48);
        a->kind = 2;
        break;
      }
      case FRGL: {
        FRAME3D* f = static_cast<FRAME3D*>(run) + j;
        *f = FRAME3D{};
        f->number = int32_t(GetLE32(it));
        uint16_t key = GetLE16(it + 114);
        if (key == 0) key = THING_OBJECT3D;
        const uint32_t base = key == THING_OBJECT3D ? b.object : key == THING_ANIMATION3D ? b.animation : b.frame;
        FrameBlocks(f, it + 12, it + 76);
        SetFrameUsage(f, GetLE32(it + 4) + base, key, 1);
        break;
      }
      case ELGL: {
        ELEMENT3D* e = static_cast<ELEMENT3D*>(run) + j;
        *e = ELEMENT3D{};
        e->frame.number = int32_t(GetLE32(it + 8));
        FrameBlocks(&e->frame, it + 20, it + 84);
        e->factor = 1.0f;
        SetFrameUsage(&e->frame, GetLE32(it + 12) + b.animation, THING_ANIMATION3D, 1);
        break;
      }
      default:
        break;
    }
  }
  return true;
}

// Pointers and byte sizes of the new records; faces' texture numbers onto
// the store's textures.
void Resolve(const Loader& l) {
  const Bases& b = l.base;
  const ThingSlot* faces = FindThingSlot(THING_FACE3D);
  const ThingSlot* textures = FindThingSlot(THING_TEXTURE3D);
  auto* f = reinterpret_cast<FACE3D*>(faces->data);
  auto* t = reinterpret_cast<TEXTURE3D*>(textures->data);
  for (uint32_t i = b.face; i < faces->count; i++) {
    // Checked: every file texture number has a texture in the store.
    f[i].texture_index = uint16_t(l.map[f[i].texture_index]);
    f[i].texture = f[i].texture_index < textures->count ? t + f[i].texture_index : nullptr;
  }
  for (uint32_t i = b.object; i < ThingCount(THING_OBJECT3D); i++) {
    auto* o = static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, i));
    o->face_bytes = GetThingSize(THING_FACE3D, uint32_t(o->face_count));
    o->point_bytes = GetThingSize(THING_POINT3D, uint32_t(o->point_count));
    o->index_bytes = GetThingSize(THING_PINDEX3D, uint32_t(o->index_count));
    o->change_bytes = GetThingSize(THING_VERTEXCHANGE3D, uint32_t(o->change_count));
    o->first_centre = 0;
    o->centre_count = 0;
    o->centre_bytes = 0;
    o->centres = nullptr;
  }
  for (uint32_t i = b.frame; i < ThingCount(THING_FRAME3D); i++) {
    auto* f = static_cast<FRAME3D*>(ThingAt(THING_FRAME3D, i));
    f->target = ThingAt(f->target_key, f->target_index);
  }
  for (uint32_t i = b.element; i < ThingCount(THING_ELEMENT3D); i++) {
    auto* e = static_cast<ELEMENT3D*>(ThingAt(THING_ELEMENT3D, i));
    e->frame.target = ThingAt(e->frame.target_key, e->frame.target_index);
  }
  // The objects' and animations' pointers, and every kept pointer of the
  // records before this file.
  RelinkEngineObjects();
  for (uint32_t i = b.object; i < ThingCount(THING_OBJECT3D); i++)
    static_cast<OBJECT3D*>(ThingAt(THING_OBJECT3D, i))->centres = nullptr;
}

}  // namespace

void MakeSeasonPath(char* dest, uint32_t size, const char* name) {
  if (!dest || size == 0) return;
  static const char* const kFolders[] = {"", "qoe-spring/", "qoe-summer/", "qoe-autumn/", "qoe-winter/", "qoe-old/"};
  const uint16_t season = E3D().engine.season;
  const char* folder = E3D().scene.loading && season >= 1 && season <= 5 ? kFolders[season] : "";
  std::snprintf(dest, size, "%s%s", folder, name ? name : "");
}

void SetFrameUsage(FRAME3D* frame, uint32_t target, uint16_t key, uint32_t use) {
  if (!frame) {
    DebugLog("SetFrameUsage: Fehlerhafte Paramter\xfc" "bergabe.\n");
    return;
  }
  frame->target_key = key;
  frame->target_index = target;
  frame->target = ThingAt(key, target);
  if (use == 1) frame->flags |= 1;
  if (use == 0) frame->flags = 0;
}

int32_t LoadQOEMemory(const uint8_t* data, uint32_t size, const char* path) {
  if (!path) path = "";
  if (!data || size < 4) {
    DebugLog("LoadQOE: Unebkanntes Fileformat.\n");
    return -1;
  }
  Plan* p = static_cast<Plan*>(AllocVec(sizeof(Plan), MEMF_PUBLIC | MEMF_CLEAR));
  if (!p) return -1;
  p->file = data;
  p->size = size;
  int32_t result = -1;
  const char* fault = nullptr;
  if (std::memcmp(data, "OPGL", 4) == 0) {
    p->version = 0;
  } else if (std::memcmp(data, "FORM", 4) == 0) {
    p->version = 1;
  } else {
    DebugLog("LoadQOE: Unebkanntes Fileformat.\n");
    goto done;
  }
  fault = ScanChunks(*p);
  if (fault && !*fault) fault = CheckRanges(*p);
  if (!fault) goto done;  // logged by the scan
  if (*fault) {
    DebugLog("LoadQOE: Datei <%s> ist fehlerhaft (%s).\n", path, fault);
    goto done;
  }
  {
    Loader l{*p, NoteBases(), {}, {}, path};
    bool ok = true;
    for (uint32_t i = 0; ok && i < p->chunk_count; i++) ok = ApplyChunk(l, p->chunks[i]);
    if (ok) {
      Resolve(l);
      SceneModelState& s = E3D().scene;
      if (p->total[ELGL]) s.elements_present = 1;
      s.objects_changed = 1;
      result = int32_t(l.base.object);
    } else {
      DebugLog("LoadQOE: Datei <%s> konnte nicht geladen werden.\n", path);
      RollBack(l.base);
    }
  }
done:
  FreeVec(p->chunks);
  FreeVec(p->order);
  FreeVec(p);
  return result;
}

int32_t LoadQOE(const char* name) {
  if (!name) {
    DebugLog("LoadQOE: Fehlerhafte Parameter\xfc" "bergabe.\n");
    return -1;
  }
  char path[512];
  MakeSeasonPath(path, sizeof path, name);
  DebugLog("LoadQOE: Loading %s\n", path);
  uint32_t size = 0;
  auto* data = static_cast<uint8_t*>(LoadFile2MemSize(path, MEMF_PUBLIC | MEMF_CLEAR, &size));
  if (!data) {
    DebugLog("LoadQOE: Konnte Datei <%s> nicht laden.\n", path);
    return -1;
  }
  const int32_t index = LoadQOEMemory(data, size, path);
  FreeVec(data);
  return index;
}
