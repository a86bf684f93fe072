// The thing store: the engine's named, growable arrays of fixed-size
// elements, addressed by a 16-bit key and an element index or index code.
#include <cstring>

#include "gl3d_internal.h"
#include "platform/log.h"
#include "routinen/system/memory.h"

namespace {

Engine3DState& S() { return GL3D().e3d; }

// The slot number of the last registered slot with the key, or -1.
int FindSlot(uint16_t key) {
  Engine3DState& s = S();
  int found = -1;
  for (int i = 0; i < s.used; i++)
    if (s.slots[i].key == key) found = i;
  return found;
}

uint8_t* At(const ThingSlot& t, uint32_t index) { return t.data + size_t(index) * t.element_size; }

void SetLast(uint32_t index, const ThingSlot& t) {
  Engine3DState& s = S();
  s.last_index = index;
  s.last_offset = index * t.element_size;
}

}  // namespace

uint32_t SetThing(const char* name, uint16_t key, uint32_t element_size, uint32_t capacity) {
  Engine3DState& s = S();
  if (capacity == 0 || element_size == 0 || uint64_t(capacity) * element_size > 0xFFFFFFFFull) {
    DebugLog("SetThing: Paramter \xdc" "bergabe Fehlerhaft.\n");
    return 0;
  }
  if (s.used >= kThingSlots) {
    DebugLog("SetThing: Kein Platz mehr im Array.\n");
    return 0;
  }
  ThingSlot& t = s.slots[s.used];
  t = ThingSlot{};
  t.key = key;
  if (name) {
    std::strncpy(t.name, name, kThingNameMax);
    t.name[kThingNameMax] = 0;
  }
  t.element_size = element_size;
  t.current = -1;
  t.capacity = capacity;
  t.data = static_cast<uint8_t*>(AllocVec(capacity * element_size, MEMF_PUBLIC | MEMF_CLEAR));
  if (!t.data) {
    DebugLog("SetThing: Kein Speicherplatz mehr vorhanden.\n");
    t = ThingSlot{};
    return 0;
  }
  s.used++;
  return 1;
}

uint32_t ReallocThing(uint16_t slot) {
  Engine3DState& s = S();
  if (slot >= kThingSlots || slot >= s.used) {
    DebugLog("ReallocThing: Parameter\xfc" "bergabe Fehlerhaft.\n");
    return 0;
  }
  ThingSlot& t = s.slots[slot];
  // Half again, and at least one element more (a capacity of 1 must grow).
  uint64_t grown = uint64_t(t.capacity) * 150 / 100;
  if (grown <= t.capacity) grown = uint64_t(t.capacity) + 1;
  if (grown * t.element_size > 0xFFFFFFFFull) {
    DebugLog("ReallocThing: Kein Speicher mehr vorhanden.\n");
    return 0;
  }
  auto* data = static_cast<uint8_t*>(AllocVec(uint32_t(grown * t.element_size), MEMF_PUBLIC | MEMF_CLEAR));
  if (!data) {
    DebugLog("ReallocThing: Kein Speicher mehr vorhanden.\n");
    return 0;
  }
  if (t.data) std::memcpy(data, t.data, size_t(t.capacity) * t.element_size);
  FreeVec(t.data);
  t.data = data;
  t.capacity = uint32_t(grown);
  return 1;
}

void* GetThing(uint16_t key, int32_t index) {
  Engine3DState& s = S();
  const int n = FindSlot(key);
  if (n < 0) {
    DebugLog("GetThing: Key nicht gefunden.\n");
    s.last_count = 0;
    return nullptr;
  }
  s.last_slot = uint16_t(n);
  ThingSlot& t = s.slots[n];
  s.last_count = t.count;
  switch (index) {
    case kThingRewind:
      t.current = 0;
      SetLast(0, t);
      return nullptr;
    case kThingCurrent:
      SetLast(uint32_t(t.current), t);
      // No element has been appended (or the array was emptied): none.
      if (!t.data || t.current < 0 || uint32_t(t.current) >= t.capacity) return nullptr;
      return At(t, uint32_t(t.current));
    case kThingAppend:
      if (!t.data) {
        DebugLog("GetThing: Fehelrhafte Parameter.\n");
        return nullptr;
      }
      if (t.count >= t.capacity) {
        DebugLog("GetThing: Zuviele Eintr\xe4ge, versuche Speicher um 50 %% zu erh\xf6hen.\n");
        if (!ReallocThing(uint16_t(n))) {
          DebugLog("GetThing: Realloc Fehlgeschlagen.\n");
          return nullptr;
        }
      }
      t.count++;
      t.current = int32_t(t.count - 1);
      SetLast(uint32_t(t.current), t);
      return At(t, uint32_t(t.current));
    case kThingBase:
    case kThingBaseToo:
      SetLast(t.mark, t);
      return t.data ? At(t, t.mark) : nullptr;
    case kThingFree:
      FreeVec(t.data);
      t.data = nullptr;
      SetLast(0, t);
      return nullptr;
    case kThingReset:
      t.mark = 0;
      t.count = 0;
      t.current = -1;
      SetLast(0xFFFFFFFFu, t);
      return t.data;
    case kThingDropLast:
      if (t.count == 0) return nullptr;
      t.count--;
      t.current = int32_t(t.count) - 1;
      SetLast(uint32_t(t.current), t);
      // Dropping the only element leaves no last element to return.
      return t.current < 0 || !t.data ? nullptr : At(t, uint32_t(t.current));
    case kThingSecond:
      SetLast(t.second_index, t);
      return t.data && t.second_index < t.capacity ? At(t, t.second_index) : nullptr;
    default:
      break;
  }
  if (index < 0 || uint32_t(index) > t.count || uint32_t(index) > t.capacity) {
    DebugLog("GetThing: Fehelrhafte Parameter.\n");
    return nullptr;
  }
  SetLast(uint32_t(index), t);
  // index == count is the end position: read it, never write through it.
  return t.data ? At(t, uint32_t(index)) : nullptr;
}

uint32_t GetThingCount(uint16_t key, int32_t index) {
  GetThing(key, index);
  return S().last_count;
}

uint32_t GetThingSize(uint16_t key, uint32_t n) {
  const int slot = FindSlot(key);
  if (slot < 0) {
    DebugLog("GetThingSize: Key nicht gefunden.\n");
    return 0;
  }
  const uint32_t size = n * S().slots[slot].element_size;
  S().last_offset = size;
  return size;
}

uint32_t FindThingByName(uint16_t key, const char* name) {
  const uint32_t count = GetThingCount(key, kThingBase);
  S().last_index = 0;
  const int slot = FindSlot(key);
  if (slot >= 0 && name) {
    const size_t len = std::strlen(name);
    const uint32_t size = S().slots[slot].element_size;
    for (uint32_t i = 0; i < count; i++) {
      auto* e = static_cast<const uint8_t*>(GetThing(key, int32_t(i)));
      // The element's leading text, NUL-terminated inside the element.
      if (e && len < size && std::memcmp(e, name, len) == 0 && e[len] == 0) return i;
    }
  }
  S().last_index = kThingNotFound;
  return kThingNotFound;
}

uint32_t ThingLastIndex() { return S().last_index; }
uint32_t ThingLastCount() { return S().last_count; }
uint32_t ThingLastOffset() { return S().last_offset; }

const ThingSlot* FindThingSlot(uint16_t key) {
  const int n = FindSlot(key);
  return n < 0 ? nullptr : &S().slots[n];
}

uint32_t RegisterEngineThings() {
  const EngineRecord& e = S().engine;
  struct Store {
    const char* name;
    uint16_t key;
    uint32_t size, capacity;
  } const stores[] = {
      {"FACE3D", THING_FACE3D, sizeof(FACE3D), e.cap_faces},
      {"POINT3D", THING_POINT3D, sizeof(VERTEX3D), e.cap_points},
      {"OBJECT3D", THING_OBJECT3D, sizeof(OBJECT3D), e.cap_objects},
      {"TEXTURE3D", THING_TEXTURE3D, sizeof(TEXTURE3D), e.cap_textures},
      {"ANIMATION3D", THING_ANIMATION3D, sizeof(ANIMATION3D), e.cap_textures},
      {"FRAME3D", THING_FRAME3D, sizeof(FRAME3D), e.cap_frames},
      {"ELEMENT3D", THING_ELEMENT3D, sizeof(ELEMENT3D), e.cap_textures},
      {"PINDEX3D", THING_PINDEX3D, sizeof(PINDEX3D), e.cap_point_indices},
      {"VERTEXCHANGE3D", THING_VERTEXCHANGE3D, sizeof(VERTEXCHANGE3D), e.cap_vertex_changes},
      {"VFACE3D", THING_VFACE3D, sizeof(FACE3D), e.cap_view_faces},
      {"VPOINT3D", THING_VPOINT3D, sizeof(VERTEX3D), e.cap_view_points},
      {"VPINDEX3D", THING_VPINDEX3D, 4, e.cap_view_point_indices},
      {"TRIPINDEX3D", THING_TRIPINDEX3D, 4, e.cap_triangle_indices},
      {"SELECT3D", THING_SELECT3D, 1, e.cap_points},
      {"CENTER3D", THING_CENTER3D, sizeof(CENTER3D), e.cap_centres},
      {"VCENTER3D", THING_VCENTER3D, 12, e.cap_view_centres},
      {"SORT3D", THING_SORT3D, 8, e.cap_view_centres},
      {"SORTTMP", THING_SORTTMP, 8, e.cap_view_centres},
  };
  for (const Store& st : stores)
    if (!SetThing(st.name, st.key, st.size, st.capacity)) return 0;
  return 1;
}

void ClearThings(int32_t code) {
  if (const ThingSlot* tex = FindThingSlot(THING_TEXTURE3D); tex && tex->data) {
    auto* t = reinterpret_cast<TEXTURE3D*>(tex->data);
    for (uint32_t i = 0; i < tex->count; i++) {
      FreeVec(t[i].pixels);
      t[i].pixels = nullptr;
    }
  }
  const uint16_t keys[] = {THING_TEXTURE3D,     THING_OBJECT3D,   THING_FACE3D,      THING_POINT3D,
                           THING_PINDEX3D,      THING_VERTEXCHANGE3D, THING_ANIMATION3D, THING_FRAME3D,
                           THING_ELEMENT3D,     THING_VFACE3D,    THING_VPOINT3D,    THING_VPINDEX3D,
                           THING_TRIPINDEX3D,   THING_CENTER3D,   THING_VCENTER3D,   THING_SORT3D,
                           THING_SORTTMP,       THING_SELECT3D};
  for (uint16_t k : keys)
    if (FindThingSlot(k)) GetThing(k, code);
}

void FreeAllThings() {
  Engine3DState& s = S();
  if (const ThingSlot* tex = FindThingSlot(THING_TEXTURE3D); tex && tex->data) {
    auto* t = reinterpret_cast<TEXTURE3D*>(tex->data);
    for (uint32_t i = 0; i < tex->count; i++) FreeVec(t[i].pixels);
  }
  for (int i = 0; i < s.used; i++) FreeVec(s.slots[i].data);
  for (ThingSlot& t : s.slots) t = ThingSlot{};
  s.used = 0;
  s.last_slot = 0;
  s.last_index = s.last_count = s.last_offset = 0;
}

void* ThingAt(uint16_t key, uint32_t index) {
  const ThingSlot* t = FindThingSlot(key);
  if (!t || !t->data || index >= t->count) return nullptr;
  return t->data + size_t(index) * t->element_size;
}

uint32_t ThingCount(uint16_t key) {
  const ThingSlot* t = FindThingSlot(key);
  return t ? t->count : 0;
}

void TruncateThing(uint16_t key, uint32_t count) {
  const int n = FindSlot(key);
  if (n < 0) return;
  ThingSlot& t = S().slots[n];
  if (t.count <= count) return;
  t.count = count;
  t.current = int32_t(count) - 1;
}

void* AppendThings(uint16_t key, uint32_t n) {
  const int slot = FindSlot(key);
  if (slot < 0 || n == 0) return nullptr;
  ThingSlot& t = S().slots[slot];
  if (!t.data) return nullptr;
  if (uint64_t(t.count) + n > t.capacity) {
    // Grows by half at a time, in one step, to the first capacity that fits.
    uint64_t grown = t.capacity;
    while (grown < uint64_t(t.count) + n) grown = grown * 150 / 100 > grown ? grown * 150 / 100 : grown + 1;
    if (grown * t.element_size > 0xFFFFFFFFull) return nullptr;
    auto* data = static_cast<uint8_t*>(AllocVec(uint32_t(grown * t.element_size), MEMF_PUBLIC | MEMF_CLEAR));
    if (!data) {
      DebugLog("GetThing: Realloc Fehlgeschlagen.\n");
      return nullptr;
    }
    std::memcpy(data, t.data, size_t(t.count) * t.element_size);
    FreeVec(t.data);
    t.data = data;
    t.capacity = uint32_t(grown);
  }
  uint8_t* first = At(t, t.count);
  t.count += n;
  t.current = int32_t(t.count - 1);
  return first;
}
