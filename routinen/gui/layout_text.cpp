// Catalog texts of layout records.
#include "layout_internal.h"
#include "routinen/system/catalog.h"

const char* LayoutCatalogText(uint32_t id) {
  if (id == 0 || id == 0xFFFFFFFFu) return nullptr;
  return GetCatalogStr(id);
}
