// Catalog lookup and the reader of German CTLG catalogs.
#include "catalog.h"
#include "catalog_internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "byteorder.h"
#include "files.h"
#include "iff.h"
#include "memory.h"
#include "platform/log.h"

struct Catalog {
  CatalogEntry* table;
  uint32_t count;
  char* texts;        // every replacement text, NUL-terminated, back to back
  uint32_t texts_size;
};

namespace {

// Walks the STRS chunk. With out == null it only validates and sums up the
// space the texts need; else it copies them and applies them to the table.
bool WalkStrings(const uint8_t* data, uint32_t size, uint32_t* need, char* out, CatalogEntry* table,
                 uint32_t count) {
  BoundedReader r = MakeReader(data, size);
  uint32_t used = 0;
  while (ReaderLeft(r) >= 8) {
    uint32_t id = ReadBE32(r);
    uint32_t len = ReadBE32(r);
    const uint8_t* text = ReadSpan(r, len);
    if (!text) return false;  // a text runs past its chunk
    size_t pad = (4 - (len & 3)) & 3;  // texts are padded to four bytes
    if (pad > ReaderLeft(r)) pad = ReaderLeft(r);
    ReaderSkip(r, pad);
    uint32_t n = 0;
    while (n < len && text[n]) ++n;
    if (!out) {
      if (*need > 0xFFFFFFFFu - n - 1) return false;
      *need += n + 1;
      continue;
    }
    char* dst = out + used;
    std::memcpy(dst, text, n);
    dst[n] = 0;
    used += n + 1;
    if (id >= 0x10000) continue;
    CatalogEntry* e = nullptr;
    if (id < count && table[id].id == id) {
      e = &table[id];
    } else {
      for (uint32_t k = 0; k < count; ++k)
        if (table[k].id == id) { e = &table[k]; break; }
    }
    if (e) e->override = dst;
  }
  return true;
}

// Checks the IFF structure; calls fn for every STRS chunk. False when the
// file is not a well-formed FORM CTLG with at least one STRS chunk.
template <typename Fn>
bool WalkForm(const uint8_t* data, uint32_t size, Fn fn) {
  uint32_t type = 0;
  BoundedReader body{};
  if (!data || !IffOpenForm(data, size, &type, &body) || type != IffId("CTLG")) return false;
  bool strs = false;
  IffChunk c{};
  int rc;
  while ((rc = IffNextChunk(&body, &c)) == 1) {
    if (c.id != IffId("STRS")) continue;
    if (!fn(c.data, c.size)) return false;
    strs = true;
  }
  return rc == 0 && strs;
}

}  // namespace

const char* GetCatalogEntryStr(const CatalogEntry* entry) {
  if (!entry) return "";
  if (entry->override) return entry->override;
  return entry->text ? entry->text : "";
}

const char* GetCatalogStr(uint32_t id) {
  if (id < CATALOG_STRING_COUNT && CatalogStrings[id].id == id) return GetCatalogEntryStr(&CatalogStrings[id]);
  DebugLog("GetCatalogStr: Unbekannte String-ID %u\n", id);
  return "";
}

int32_t CatalogLocaleIsGerman() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) return (v[0] == 'd' && v[1] == 'e') ? 1 : 0;
  }
  return 0;
}

Catalog* OpenCatalogFromMemory(const uint8_t* data, uint32_t size, CatalogEntry* table, uint32_t count) {
  if (!table && count) return nullptr;
  uint32_t need = 0;
  bool ok = WalkForm(data, size, [&](const uint8_t* p, uint32_t n) {
    return WalkStrings(p, n, &need, nullptr, nullptr, 0);
  });
  if (!ok) {
    DebugLog("OpenCatalog: Kein gueltiger IFF FORM CTLG Katalog\n");
    return nullptr;
  }
  Catalog* c = static_cast<Catalog*>(AllocVec(sizeof(Catalog), MEMF_PUBLIC | MEMF_CLEAR));
  char* texts = need ? static_cast<char*>(AllocVec(need, MEMF_PUBLIC | MEMF_CLEAR)) : nullptr;
  if (!c || (need && !texts)) {
    FreeVec(c);
    FreeVec(texts);
    return nullptr;
  }
  c->table = table;
  c->count = count;
  c->texts = texts;
  c->texts_size = need;
  uint32_t used = 0;
  WalkForm(data, size, [&](const uint8_t* p, uint32_t n) {
    uint32_t part = 0;
    WalkStrings(p, n, &part, nullptr, nullptr, 0);
    WalkStrings(p, n, nullptr, texts + used, table, count);
    used += part;
    return true;
  });
  return c;
}

Catalog* OpenCatalog(const char* name, CatalogEntry* table, uint32_t count) {
  if (!name || !CatalogLocaleIsGerman()) return nullptr;
  char path[300];
  std::snprintf(path, sizeof path, "Catalogs\\deutsch\\%s", name);
  uint32_t size = 0;
  uint8_t* data = static_cast<uint8_t*>(LoadFile2MemSize(path, MEMF_PUBLIC, &size));
  if (!data) {
    DebugLog("OpenCatalog: Konnte Katalog %s nicht laden\n", path);
    return nullptr;
  }
  Catalog* c = OpenCatalogFromMemory(data, size, table, count);
  FreeVec(data);
  return c;
}

void CloseCatalog(Catalog* catalog) {
  if (!catalog) return;
  const char* lo = catalog->texts;
  const char* hi = lo ? lo + catalog->texts_size : lo;
  for (uint32_t k = 0; k < catalog->count; ++k) {
    const char* o = catalog->table[k].override;
    if (o && o >= lo && o < hi) catalog->table[k].override = nullptr;
  }
  FreeVec(catalog->texts);
  FreeVec(catalog);
}

CatalogEntry** MakeRizizOzezTab() {
  CatalogEntry** tab =
      static_cast<CatalogEntry**>(AllocVec(STORY_STRING_COUNT * sizeof(CatalogEntry*), MEMF_PUBLIC | MEMF_CLEAR));
  if (!tab) return nullptr;
  for (uint32_t k = 0; k < STORY_STRING_COUNT; ++k) tab[k] = &StoryStrings[k];
  return tab;
}

namespace {
// The module's one state record (catalog_internal.h says who guards what).
CatalogModuleState g_catalog;
}  // namespace

CatalogModuleState& CatalogModule() { return g_catalog; }

void OpenProgramCatalog() {
  CloseProgramCatalog();
  g_catalog.program = OpenCatalog("QoEBrowser.catalog", CatalogStrings, CATALOG_STRING_COUNT);
}

void CloseProgramCatalog() {
  CloseCatalog(g_catalog.program);
  g_catalog.program = nullptr;
}

void ResetCatalogState() {
  CloseProgramCatalog();
  FreeVec(g_catalog.storyTable.exchange(nullptr));
}
