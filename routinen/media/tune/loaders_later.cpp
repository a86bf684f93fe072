#include "genplayer.h"
int32_t LoadXmModule(const uint8_t*, uint32_t, int32_t, SampleCallback, ModuleRecord**) { return TE_INVALID_MODULE; }
int32_t LoadItModule(const uint8_t*, uint32_t, int32_t, SampleCallback, ModuleRecord**) { return TE_INVALID_MODULE; }
