// Catalog texts of layout records.
#include "layout_internal.h"

const char* LayoutCatalogText(uint32_t id) {
  if (id == 0 || id == 0xFFFFFFFFu) return nullptr;
  return nullptr;  // replaced by the catalog lookup once the catalog is in
}
