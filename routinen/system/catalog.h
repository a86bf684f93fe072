// The string catalog: the built-in English tables CatalogStrings (IDs 0 to
// 1999) and StoryStrings (IDs 0 to 44), and German overrides read from an
// IFF FORM CTLG file (format in docs/catalog.md). Texts are Latin-1.
#pragma once
#include <cstdint>

struct CatalogEntry {
  uint16_t id;
  const char* text;      // built-in English text
  const char* override;  // text of an open catalog, or null
};

enum : uint32_t { CATALOG_STRING_COUNT = 2000, STORY_STRING_COUNT = 45 };

extern CatalogEntry CatalogStrings[CATALOG_STRING_COUNT];  // entry k has ID k
extern CatalogEntry StoryStrings[STORY_STRING_COUNT];      // entry 0 is the title

// The entry's current text: the catalog's when one replaced it, else the
// English one; "" for a null entry.
const char* GetCatalogEntryStr(const CatalogEntry* entry);
// The same for the CatalogStrings entry of that ID; "" (logged) when unknown.
const char* GetCatalogStr(uint32_t id);

struct Catalog;
// 1 when the first set of LC_ALL, LC_MESSAGES, LANG begins with "de".
int32_t CatalogLocaleIsGerman();
// Opens "Catalogs\deutsch\<name>" when the locale is German and replaces the
// texts of the table's entries whose IDs the catalog holds. Null (nothing
// replaced) when the locale is not German or the file is missing or corrupt.
Catalog* OpenCatalog(const char* name, CatalogEntry* table, uint32_t count);
// Puts the English texts back and frees the catalog; null is ignored.
void CloseCatalog(Catalog* catalog);

// Parses a CTLG image and applies it to the table (no locale test, no file);
// the building block of OpenCatalog, also used by the fuzz target.
Catalog* OpenCatalogFromMemory(const uint8_t* data, uint32_t size, CatalogEntry* table, uint32_t count);

// The catalog module's state record back to its start: the program's catalog
// closed (English texts everywhere) and the story table freed.
void ResetCatalogState();

// The 45 pointers to StoryStrings entries 0..44 (FreeVec the array); null
// when memory runs out.
CatalogEntry** MakeRizizOzezTab();
