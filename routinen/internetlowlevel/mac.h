// MAC address of the first Ethernet adapter.
#pragma once
#include <cstdint>

// Fills buffer (6 bytes) with the address of the first Ethernet adapter and
// sets *length (may be null) to 6. Returns 1, or 0 with six zero bytes when
// the machine has none.
int32_t Mac(uint8_t* buffer, uint32_t* length);
// Tests: reads the adapters from another folder laid out like
// /sys/class/net (null restores the default).
void MacSetNetRoot(const char* root);
