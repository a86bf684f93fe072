// The statistics file .\Data\Statistikdaten.qoe: one record of the realm's
// main figures per turn, appended after each evaluated turn mail and read by
// the statistics screen. Little-endian, unlike the chunk files; the layout
// and its rules are in docs/statistics.md.
#pragma once
#include <cstdint>

extern const char* const StatistikPath;  // ".\\Data\\Statistikdaten.qoe"

enum : uint32_t {
  STATISTIK_HEADER_SIZE = 10,
  STATISTIK_VALUES = 10,                          // u32 values per record
  STATISTIK_RECORD_SIZE = STATISTIK_VALUES * 4,   // 40 bytes
};

// Value order of a record (the statistics screen's categories).
enum StatistikValue : uint32_t {
  STAT_GRAIN, STAT_GOLD, STAT_INHABITANTS, STAT_IMMIGRANTS, STAT_EMIGRANTS,
  STAT_BORN, STAT_DIED, STAT_PLANT, STAT_ANIMAL, STAT_MINERAL,
};

// The file in memory.
struct StatistikDaten {
  uint32_t count;      // records
  uint16_t turnKey;    // quarter + 4 x year of the newest record (16 bits)
  uint32_t* values;    // count x STATISTIK_VALUES, oldest first (AllocVec; null when count is 0)
};

// Checks a file image: the empty file (10 zero bytes), or a header with
// 10 values per record and a count that equals (size - 10) / 40 exactly.
// Fills out (values in a new block) and returns 1; 0 for a damaged image
// (out cleared). The count never sizes memory before it matched the size.
int32_t ParseStatistikDaten(const uint8_t* data, uint32_t size, StatistikDaten* out);
// Reads the file: 1 with the records (a missing file gives 0 records), 0
// for an unreadable or damaged file (logged).
int32_t ReadStatistikDaten(StatistikDaten* out);
// The statistics screen's reading, which keeps what is whole: 1 for a whole
// file (or none); -1 for a damaged one, of which a header with 10 values per
// record keeps the records it promises as far as its bytes hold them whole
// (a count past the end, or a torn tail), and anything else keeps none.
// *promised (may be null) gets the header's count (0 without a header).
int32_t ReadStatistikDatenTeile(StatistikDaten* out, uint32_t* promised);
void FreeStatistikDaten(StatistikDaten* s);

// After an evaluated turn: one record from the received pool's KORN and LAND
// when the turn key (KORN quarter + 4 x year, compared in 16 bits) differs
// from the file's; the file is rewritten whole through a temporary file. 1
// on success (also when the turn is already recorded), 0 on any failure
// (logged; the file stays as it was).
int32_t SaveStatistikData();
