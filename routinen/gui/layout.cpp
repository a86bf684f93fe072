#include "layout.h"
#include "census.h"

#include <cstring>

#include "layout_internal.h"
#include "platform/log.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/iff.h"
#include "routinen/system/memory.h"

namespace {

const char kLoadError[] = "GetScreenRegion:Fehler beim Einlesen der Externen Daten!\n";

// "RT00".."RT21" -> record type, -1 for any other chunk.
int RecordTypeOf(uint32_t id) {
  if ((id >> 16) != (('R' << 8) | 'T')) return -1;
  int d1 = (int)((id >> 8) & 0xFF) - '0', d2 = (int)(id & 0xFF) - '0';
  if (d1 < 0 || d1 > 9 || d2 < 0 || d2 > 9) return -1;
  int t = d1 * 10 + d2;
  return t < (int)kLayoutRecordTypes ? t : -1;
}

// Record size in the file of a type with a typed record, 0 for a raw type.
uint16_t ExpectedSize(int type) {
  switch (type) {
    case LAYOUT_TEXTAREA: case LAYOUT_AREA: case LAYOUT_LABEL: return 12;
    case LAYOUT_GADGET: return 24;
    case LAYOUT_ENTRY: return 10;
    case LAYOUT_SLIDER: return 8;
    case LAYOUT_VALUE: return 14;
    case LAYOUT_MARK: case LAYOUT_POINT: return 4;
    case LAYOUT_U16LIST: return 2;
    default: return 0;
  }
}

bool IsTextType(int type) { return type == LAYOUT_TEXTAREA || type == LAYOUT_AREA || type == LAYOUT_LABEL; }

// count records of T, each filled by read; false when memory runs out.
template <typename T, typename Fn>
bool ReadRecords(ScreenRecordList& list, BoundedReader& r, uint32_t count, Fn read) {
  T* t = static_cast<T*>(AllocVec(count * (uint32_t)sizeof(T), MEMF_CLEAR));
  if (!t) return false;
  list.first = t;
  for (uint32_t i = 0; i < count; ++i) read(r, t[i]);
  return r.ok;
}

void ReadRect(BoundedReader& r, uint16_t& x1, uint16_t& y1, uint16_t& x2, uint16_t& y2) {
  x1 = ReadBE16(r);
  y1 = ReadBE16(r);
  x2 = ReadBE16(r);
  y2 = ReadBE16(r);
}

void ReadPoint(BoundedReader& r, LayoutPoint& p) {
  p.x = ReadBE16(r);
  p.y = ReadBE16(r);
}

void ReadTextArea(BoundedReader& r, TextArea& t) {
  t.x1 = ReadBE16(r);
  t.y1 = ReadBE16(r);
  t.x2 = ReadBE16(r);
  t.y2 = ReadBE16(r);
  t.textId = ReadBE32(r);
  t.text = LayoutCatalogText(t.textId);
}

void FreeRecords(ScreenRegion* region) {
  for (uint32_t t = 0; t < kLayoutRecordTypes; ++t) {
    if (ExpectedSize((int)t)) FreeVec(region->types[t].first);
    region->types[t].first = nullptr;
    region->types[t].count = 0;
  }
}

bool ParseChunk(ScreenRegion* region, int type, const uint8_t* p, uint32_t size) {
  BoundedReader r = MakeReader(p, size);
  uint16_t rec_size = ReadBE16(r);
  uint16_t count = ReadBE16(r);
  if (!r.ok || rec_size == 0) return false;
  if ((uint64_t)rec_size * count > ReaderLeft(r)) return false;
  uint16_t want = ExpectedSize(type);
  if (want && rec_size != want) return false;
  ScreenRecordList& list = region->types[type];
  list.size = rec_size;
  list.count = count;
  if (count == 0 && !IsTextType(type)) return true;
  switch (type) {
    case LAYOUT_TEXTAREA:
    case LAYOUT_AREA:
    case LAYOUT_LABEL: {
      // One zeroed record more ends the table (CheckTitleBar walks it so).
      TextArea* t = static_cast<TextArea*>(AllocVec((count + 1u) * (uint32_t)sizeof(TextArea), MEMF_CLEAR));
      if (!t) return false;
      list.first = t;
      for (uint32_t i = 0; i < count; ++i) ReadTextArea(r, t[i]);
      return r.ok;
    }
    case LAYOUT_GADGET: {
      Gadget* g = static_cast<Gadget*>(AllocVec(count * (uint32_t)sizeof(Gadget), MEMF_CLEAR));
      if (!g) return false;
      list.first = g;
      for (uint32_t i = 0; i < count; ++i) {
        g[i].imageReleased = ReadBE16(r);
        g[i].imagePressed = ReadBE16(r);
        g[i].imageHover = ReadBE16(r);
        g[i].flags = ReadBE16(r);
        g[i].x1 = ReadBE16(r);
        g[i].y1 = ReadBE16(r);
        g[i].x2 = ReadBE16(r);
        g[i].y2 = ReadBE16(r);
        ReadBytes(r, g[i].id, 4);
        g[i].textIndex = ReadBE32(r);
      }
      return r.ok;
    }
    case LAYOUT_U16LIST: {
      uint16_t* v = static_cast<uint16_t*>(AllocVec(count * 2u, MEMF_CLEAR));
      if (!v) return false;
      list.first = v;
      for (uint32_t i = 0; i < count; ++i) v[i] = ReadBE16(r);
      return r.ok;
    }
    case LAYOUT_ENTRY:
      return ReadRecords<EntryField>(list, r, count, [](BoundedReader& in, EntryField& e) {
        ReadRect(in, e.x1, e.y1, e.x2, e.y2);
        e.maxLength = ReadBE16(in);
      });
    case LAYOUT_SLIDER:
      return ReadRecords<SliderTrack>(list, r, count, [](BoundedReader& in, SliderTrack& s) {
        ReadRect(in, s.x1, s.y1, s.x2, s.y2);
      });
    case LAYOUT_VALUE:
      return ReadRecords<ValueField>(list, r, count, [](BoundedReader& in, ValueField& v) {
        v.textPen = ReadBE16(in);
        v.fillPen = ReadBE16(in);
        ReadRect(in, v.x1, v.y1, v.x2, v.y2);
        v.flags = ReadBE16(in);
      });
    case LAYOUT_MARK:
    case LAYOUT_POINT:
      return ReadRecords<LayoutPoint>(list, r, count, ReadPoint);
    default:
      // Types without a typed record stay big-endian in the file image.
      list.first = const_cast<uint8_t*>(r.data + r.pos);
      return true;
  }
}

}  // namespace

ScreenRegion* ParseScreenRegion(const void* data, uint32_t size, uint32_t mask) {
  ScreenRegion* region = static_cast<ScreenRegion*>(AllocVec(sizeof(ScreenRegion), MEMF_CLEAR));
  if (!region) return nullptr;
  region->buttonUp = 1;
  region->data = size ? AllocVec(size, MEMF_PUBLIC) : nullptr;
  if (!region->data) {
    DebugLog("%s", kLoadError);
    FreeVec(region);
    return nullptr;
  }
  std::memcpy(region->data, data, size);
  region->dataSize = size;

  uint32_t form = 0;
  BoundedReader body{};
  bool ok = IffOpenForm(region->data, size, &form, &body) && form == IffId("SCRN");
  uint32_t present = 0;
  IffChunk c{};
  int rc = 0;
  while (ok && (rc = IffNextChunk(&body, &c)) == 1) {
    int type = RecordTypeOf(c.id);
    if (type < 0) continue;
    if (present & (1u << type)) { ok = false; break; }  // one chunk per type
    present |= 1u << type;
    ok = ParseChunk(region, type, c.data, c.size);
  }
  if (rc < 0) ok = false;
  if (ok && (mask & ~present & ((1u << kLayoutRecordTypes) - 1)) != 0) ok = false;
  if (!ok) {
    DebugLog("%s", kLoadError);
    FreeScreenRegion(region);
    return nullptr;
  }
  // Gadgets point at their text areas.
  ScreenRecordList& gl = region->types[LAYOUT_GADGET];
  ScreenRecordList& tl = region->types[LAYOUT_TEXTAREA];
  for (uint32_t i = 0; i < gl.count; ++i) {
    Gadget& g = static_cast<Gadget*>(gl.first)[i];
    if (g.textIndex >= 1 && g.textIndex <= tl.count) g.textArea = &static_cast<TextArea*>(tl.first)[g.textIndex - 1];
  }
  return region;
}

ScreenRegion* GetScreenRegion(const char* path, uint32_t mask) {
  uint32_t size = 0;
  void* data = path ? LoadFile2MemSize(path, MEMF_PUBLIC, &size) : nullptr;
  if (!data) {
    DebugLog("%s", kLoadError);
    return nullptr;
  }
  ScreenRegion* region = ParseScreenRegion(data, size, mask);
  FreeVec(data);
  CensusRegionLoaded(region, path);
  return region;
}

void FreeScreenRegion(ScreenRegion* region) {
  if (!region) return;
  CensusRegionFreed(region);
  LayoutReleaseDrawState(region);
  FreeRecords(region);
  FreeVec(region->data);
  FreeVec(region);
}

namespace {

// Record n of a typed list, null when it is not there (see layout.h).
template <typename T>
const T* TypedRecord(const ScreenRegion* region, int type, uint32_t n) {
  if (!region) return nullptr;
  const ScreenRecordList& list = region->types[type];
  if (!list.first || n >= list.count || list.size != ExpectedSize(type)) return nullptr;
  return &static_cast<const T*>(list.first)[n];
}

}  // namespace

const EntryField* GetLayoutEntry(const ScreenRegion* region, uint32_t n) {
  return TypedRecord<EntryField>(region, LAYOUT_ENTRY, n);
}
const SliderTrack* GetLayoutSlider(const ScreenRegion* region, uint32_t n) {
  return TypedRecord<SliderTrack>(region, LAYOUT_SLIDER, n);
}
const ValueField* GetLayoutValue(const ScreenRegion* region, uint32_t n) {
  return TypedRecord<ValueField>(region, LAYOUT_VALUE, n);
}
const LayoutPoint* GetLayoutMark(const ScreenRegion* region, uint32_t n) {
  return TypedRecord<LayoutPoint>(region, LAYOUT_MARK, n);
}
const TextArea* GetLayoutLabel(const ScreenRegion* region, uint32_t n) {
  return TypedRecord<TextArea>(region, LAYOUT_LABEL, n);
}
const LayoutPoint* GetLayoutPoint(const ScreenRegion* region, uint32_t n) {
  return TypedRecord<LayoutPoint>(region, LAYOUT_POINT, n);
}

int32_t GetLayoutRect(const ScreenRegion* region, uint32_t k, LayoutRect* out) {
  if (!region || !out) return 0;
  const ScreenRecordList& list = region->types[LAYOUT_U16LIST];
  if (!list.first || list.size != 2 || k >= list.count / 4) return 0;
  const uint16_t* v = static_cast<const uint16_t*>(list.first) + 4 * k;
  *out = {v[0], v[1], v[2], v[3]};
  return 1;
}

Gadget* GetRegionGadget(ScreenRegion* region, uint32_t n) {
  if (!region || n >= region->types[LAYOUT_GADGET].count) return nullptr;
  return &static_cast<Gadget*>(region->types[LAYOUT_GADGET].first)[n];
}

bool GadgetIs(const Gadget* gadget, const char* id) {
  return gadget && id && std::strlen(id) >= 4 && std::memcmp(gadget->id, id, 4) == 0;
}

Gadget* FindGadget(ScreenRegion* region, const char* id) {
  if (!region) return nullptr;
  for (uint32_t i = 0; i < region->types[LAYOUT_GADGET].count; ++i) {
    Gadget* g = GetRegionGadget(region, i);
    if (GadgetIs(g, id)) return g;
  }
  return nullptr;
}
