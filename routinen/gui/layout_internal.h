// Between the layout loader and the gadget drawing.
#pragma once
#include <cstdint>

struct ScreenRegion;

// The text of a catalog string ID, null for 0 and 0xFFFFFFFF.
const char* LayoutCatalogText(uint32_t id);
// Frees what the gadget drawing keeps in a region (hover background, images).
void LayoutReleaseDrawState(ScreenRegion* region);
// The mouse position the input layer keeps (game coordinates).
void GadgetMousePosition(int32_t* x, int32_t* y);
