// The player's luxury allocations, `.\Data\Luxus.dat`: 19 u32 in entry
// order (0..2 the raw materials animal, plant, mineral = goods types 1..3;
// 3..18 the luxury goods 82..97), little-endian, exactly 76 bytes. The
// luxury goods screen writes it with the market switch (prefs field 5); the
// LAND pass reads the raw materials' entries. Format: docs/chunks.md ("Side
// files").
#pragma once
#include <cstdint>

enum : uint32_t { LUXUS_FILE_ENTRIES = 19, LUXUS_FILE_SIZE = 76 };

// The goods type of entry 0..18 (1..3, 82..97); 0 outside.
uint32_t LuxusEntryType(uint32_t entry);
// The allocations of a file's bytes: 1 when size is exactly 76, else 0
// with out all zeros.
int32_t DecodeLuxusDaten(const uint8_t* data, uint32_t size, uint32_t out[LUXUS_FILE_ENTRIES]);
void EncodeLuxusDaten(const uint32_t in[LUXUS_FILE_ENTRIES], uint8_t out[LUXUS_FILE_SIZE]);
// Reads .\Data\Luxus.dat (inside a game-data stage: as the stage sees it):
// 1 with the allocations; 0 with zeros when it is absent or not 76 bytes
// long (logged).
int32_t ReadLuxusDaten(uint32_t out[LUXUS_FILE_ENTRIES]);
// The luxury screen's reading of .\Data\Luxus.dat: 1 whole; 0 absent (all
// zeros); -1 damaged (not 76 bytes long): the entries its bytes hold whole
// are read (a cut file's first ones, a long file's 19), the others are 0.
// *whole (may be null) gets the number of entries read.
int32_t ReadLuxusDatenTeile(uint32_t out[LUXUS_FILE_ENTRIES], uint32_t* whole);
// Writes the allocations and prefs field 5 (1 when market_switch is not 0,
// else 0) through one file set: 1 when both are in place, 0 (logged) when
// anything failed (then neither changed).
int32_t SaveLuxusDaten(const uint32_t alloc[LUXUS_FILE_ENTRIES], uint32_t market_switch);
