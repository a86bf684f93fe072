// The gadget census: see census.h.
#include "census.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "layout.h"
#include "platform/log.h"
#include "requester.h"

namespace {

constexpr uint32_t kMaxLive = 32, kMaxEntries = 1024, kMaxTargets = 256;
// How many handling rounds back a region still counts as offered (a screen
// may handle two layouts for one event).
constexpr uint64_t kRecentRounds = 3;

struct LiveRegion {
  ScreenRegion* region;
  char name[40];
  uint64_t handled;  // serial of its last handling, 0 never
};

struct CensusEntry {
  char name[40];  // layout file or "Liste x,y wxh"
  uint32_t index;
  char id[5];
  uint8_t hit;
  int32_t x1, y1, x2, y2;  // where it was last offered
};

// Written by the game thread, read by the script's thread: under `lock`.
struct GadgetCensusState {
  std::atomic<bool> on{false};
  std::mutex lock;
  LiveRegion live[kMaxLive];
  QoERequester* boxes[kMaxLive];
  uint64_t serial = 0;
  CensusEntry entries[kMaxEntries];
  uint32_t count = 0;
  int32_t lastTargets[kMaxTargets];  // entry of each target of the last list
  uint32_t lastCount = 0;
  uint32_t waitingBoxes = 0;  // message boxes waiting for their answer
};
GadgetCensusState g_census;

const char* BaseName(const char* path) {
  const char* b = path;
  for (const char* p = path; *p; ++p)
    if (*p == '\\' || *p == '/') b = p + 1;
  return b;
}

// The entry of a gadget, made when first offered; -1 when the table is full.
int32_t EntryOf(const char* name, uint32_t index, const char* id) {
  for (uint32_t i = 0; i < g_census.count; ++i) {
    const CensusEntry& e = g_census.entries[i];
    if (e.index == index && std::strcmp(e.name, name) == 0) return (int32_t)i;
  }
  if (g_census.count >= kMaxEntries) return -1;
  CensusEntry& e = g_census.entries[g_census.count];
  std::snprintf(e.name, sizeof e.name, "%s", name);
  e.index = index;
  std::memcpy(e.id, id, 4);
  e.id[4] = 0;
  for (char& c : e.id)
    if (c && (c < 32 || c > 126)) c = '?';
  e.hit = 0;
  e.x1 = e.y1 = e.x2 = e.y2 = 0;
  return (int32_t)g_census.count++;
}

// A gadget a click can choose: a rectangle not wholly under an earlier
// gadget of its layout (the handling takes the first one under the mouse).
bool Clickable(ScreenRegion* r, uint32_t index, const Gadget* g) {
  if (g->x2 < g->x1 || g->y2 < g->y1) return false;
  for (uint32_t i = 0; i < index; ++i) {
    const Gadget* o = GetRegionGadget(r, i);
    if (o && o->x1 <= g->x1 && o->y1 <= g->y1 && o->x2 >= g->x2 && o->y2 >= g->y2) return false;
  }
  return true;
}

void BoxName(const QoERequester* r, char* out, size_t size) {
  std::snprintf(out, size, "Liste %d,%d %ux%u", r->x, r->y, r->width, r->height);
}

}  // namespace

void SetGadgetCensus(int32_t on) { g_census.on = on != 0; }

void CensusRegionLoaded(ScreenRegion* region, const char* path) {
  if (!g_census.on || !region) return;
  std::lock_guard<std::mutex> g(g_census.lock);
  for (LiveRegion& l : g_census.live) {
    if (l.region) continue;
    l.region = region;
    std::snprintf(l.name, sizeof l.name, "%s", path ? BaseName(path) : "?");
    l.handled = 0;
    return;
  }
}

void CensusRegionFreed(ScreenRegion* region) {
  if (!g_census.on || !region) return;
  std::lock_guard<std::mutex> g(g_census.lock);
  for (LiveRegion& l : g_census.live)
    if (l.region == region) l = LiveRegion{};
}

void CensusRegionHandled(ScreenRegion* region, const Gadget* chosen) {
  if (!g_census.on || !region) return;
  std::lock_guard<std::mutex> g(g_census.lock);
  for (LiveRegion& l : g_census.live) {
    if (l.region != region) continue;
    l.handled = ++g_census.serial;
    for (uint32_t i = 0;; ++i) {
      const Gadget* gad = GetRegionGadget(region, i);
      if (!gad) break;
      if (!Clickable(region, i, gad)) continue;
      const int32_t e = EntryOf(l.name, i, gad->id);
      if (e >= 0 && gad == chosen) g_census.entries[e].hit = 1;
    }
    return;
  }
}

void CensusRequesterShown(QoERequester* req) {
  if (!g_census.on || !req) return;
  std::lock_guard<std::mutex> g(g_census.lock);
  for (QoERequester*& b : g_census.boxes)
    if (b == req) return;
  for (QoERequester*& b : g_census.boxes) {
    if (b) continue;
    b = req;
    char name[40];
    BoxName(req, name, sizeof name);
    EntryOf(name, 0, "LIST");
    return;
  }
}

void CensusMessageBoxWaiting(int32_t waiting) {
  if (!g_census.on) return;
  std::lock_guard<std::mutex> g(g_census.lock);
  if (waiting) g_census.waitingBoxes++;
  else if (g_census.waitingBoxes > 0) g_census.waitingBoxes--;
}

int32_t CensusMessageBoxWaits() {
  std::lock_guard<std::mutex> g(g_census.lock);
  return g_census.waitingBoxes > 0 ? 1 : 0;
}

void CensusRequesterFreed(QoERequester* req) {
  if (!g_census.on || !req) return;
  std::lock_guard<std::mutex> g(g_census.lock);
  for (QoERequester*& b : g_census.boxes)
    if (b == req) b = nullptr;
}

uint32_t CensusTargets(CensusTarget* out, uint32_t max) {
  std::lock_guard<std::mutex> g(g_census.lock);
  if (max > kMaxTargets) max = kMaxTargets;
  uint32_t n = 0;
  for (const LiveRegion& l : g_census.live) {
    if (!l.region || !l.handled || l.handled + kRecentRounds < g_census.serial) continue;
    for (uint32_t i = 0; n < max; ++i) {
      const Gadget* gad = GetRegionGadget(l.region, i);
      if (!gad) break;
      if (!Clickable(l.region, i, gad)) continue;
      const int32_t e = EntryOf(l.name, i, gad->id);
      if (e < 0) continue;
      CensusEntry& entry = g_census.entries[e];
      entry.x1 = gad->x1 + l.region->offsetX;
      entry.y1 = gad->y1 + l.region->offsetY;
      entry.x2 = gad->x2 + l.region->offsetX;
      entry.y2 = gad->y2 + l.region->offsetY;
      out[n] = {gad->x1 + l.region->offsetX, gad->y1 + l.region->offsetY, gad->x2 + l.region->offsetX,
                gad->y2 + l.region->offsetY, g_census.entries[e].hit, {}, static_cast<uint32_t>(g_census.serial - l.handled)};
      std::memcpy(out[n].id, entry.id, sizeof out[n].id);
      g_census.lastTargets[n++] = e;
    }
  }
  for (QoERequester* b : g_census.boxes) {
    if (!b || !b->drawn || !b->width || !b->height || n >= max) continue;
    char name[40];
    BoxName(b, name, sizeof name);
    const int32_t e = EntryOf(name, 0, "LIST");
    if (e < 0) continue;
    out[n] = {b->x, b->y, b->x + (int32_t)b->width - 1, b->y + (int32_t)b->height - 1, g_census.entries[e].hit, "LIST", 0};
    g_census.lastTargets[n++] = e;
  }
  g_census.lastCount = n;
  return n;
}

void CensusClicked(uint32_t index) {
  std::lock_guard<std::mutex> g(g_census.lock);
  if (index >= g_census.lastCount) return;
  CensusEntry& e = g_census.entries[g_census.lastTargets[index]];
  if (std::strcmp(e.id, "LIST") == 0 && std::strncmp(e.name, "Liste ", 6) == 0) e.hit = 1;
}

void LogGadgetCensus(uint64_t seed) {
  std::lock_guard<std::mutex> g(g_census.lock);
  uint32_t hit = 0;
  for (uint32_t i = 0; i < g_census.count; ++i) {
    const CensusEntry& e = g_census.entries[i];
    hit += e.hit;
    DebugLog("Gadgets: %s #%u %s (%d,%d-%d,%d) %s\n", e.name, e.index, e.id, e.x1, e.y1, e.x2, e.y2,
             e.hit ? "getroffen" : "nicht getroffen");
  }
  DebugLog("Gadgets: Gang %llu traf %u von %u Gadgets\n", (unsigned long long)seed, hit, g_census.count);
}
