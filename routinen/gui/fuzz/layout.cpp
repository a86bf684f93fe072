// Fuzz target: the layout file reader and the typed record accessors.
#include <cstddef>
#include <cstdint>

#include "routinen/gui/layout.h"
#include "platform/log.h"

namespace {

// Reads every record each accessor gives, one past the end included.
uint32_t TouchTypedRecords(const ScreenRegion* r) {
  uint32_t sum = 0;
  for (uint32_t i = 0; i <= r->types[LAYOUT_ENTRY].count; ++i)
    if (const EntryField* e = GetLayoutEntry(r, i)) sum += e->x1 + e->maxLength;
  for (uint32_t i = 0; i <= r->types[LAYOUT_SLIDER].count; ++i)
    if (const SliderTrack* s = GetLayoutSlider(r, i)) sum += s->x2;
  for (uint32_t i = 0; i <= r->types[LAYOUT_VALUE].count; ++i)
    if (const ValueField* v = GetLayoutValue(r, i)) sum += v->flags + v->textPen;
  for (uint32_t i = 0; i <= r->types[LAYOUT_MARK].count; ++i)
    if (const LayoutPoint* p = GetLayoutMark(r, i)) sum += p->y;
  for (uint32_t i = 0; i <= r->types[LAYOUT_LABEL].count; ++i)
    if (const TextArea* t = GetLayoutLabel(r, i)) sum += t->y2 + (t->text ? (uint8_t)t->text[0] : 0);
  for (uint32_t i = 0; i <= r->types[LAYOUT_POINT].count; ++i)
    if (const LayoutPoint* p = GetLayoutPoint(r, i)) sum += p->x;
  LayoutRect rect;
  for (uint32_t k = 0; GetLayoutRect(r, k, &rect); ++k) sum += rect.x1 + rect.y2;
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = (DebugLogSetStderr(0), true);
  (void)quiet;
  // The mask comes from the last byte, so the file's own bytes stay a layout.
  uint32_t mask = size ? (uint32_t)data[size - 1] << (data[size - 1] & 7) : 0;
  ScreenRegion* r = ParseScreenRegion(data, (uint32_t)size, mask);
  if (r) {
    for (uint32_t i = 0; GetRegionGadget(r, i); ++i) {
      Gadget* g = GetRegionGadget(r, i);
      if (g->textArea) (void)g->textArea->x1;
    }
    volatile uint32_t sink = TouchTypedRecords(r);
    (void)sink;
    FreeScreenRegion(r);
  }
  return 0;
}
