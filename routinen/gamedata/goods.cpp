// The goods table, the goods names and the price rule.
#include "routinen/gamedata/goods.h"

#include "routinen/system/catalog.h"

static_assert(sizeof(WarenZeile) == 13 * sizeof(int32_t), "a goods row is thirteen values");

// divisor, {W1, W2, W3}, {L0..L6}, base price, picture
const WarenZeile WarenTabelle[WAREN_ANZAHL] = {
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 500},  // 0 corn
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 936},  // 1 animal units
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 937},  // 2 plant units
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 938},  // 3 mineral units
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 0},  // 4 infantry soldiers
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 0},  // 5 cavalry soldiers
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 0},  // 6 artillery soldiers
    {2500, {0, 1, 0}, {0, 0, 2, 1, 0, 1, 0}, 150, 390},  // 7 ballista, small
    {5000, {0, 1, 1}, {0, 0, 3, 2, 0, 2, 0}, 300, 391},  // 8 ballista, big
    {10000, {0, 1, 1}, {1, 0, 5, 3, 0, 3, 0}, 650, 404},  // 9 catapult
    {100, {0, 0, 1}, {0, 0, 1, 0, 0, 0, 0}, 5, 402},  // 10 helmet
    {200, {1, 1, 0}, {0, 0, 0, 1, 0, 0, 0}, 10, 420},  // 11 leather armour
    {300, {1, 1, 0}, {0, 0, 1, 2, 0, 0, 0}, 15, 421},  // 12 tunic
    {400, {0, 0, 1}, {1, 0, 2, 0, 0, 0, 0}, 35, 405},  // 13 chain-mail
    {600, {0, 0, 1}, {2, 0, 3, 0, 0, 1, 0}, 45, 406},  // 14 chain-armour
    {800, {0, 0, 1}, {3, 0, 4, 0, 0, 2, 0}, 60, 429},  // 15 scale-armour
    {1000, {0, 0, 1}, {4, 0, 6, 0, 0, 3, 0}, 120, 425},  // 16 plate-armour
    {100, {0, 1, 1}, {0, 0, 0, 0, 0, 0, 0}, 5, 434},  // 17 tarke
    {400, {0, 1, 0}, {0, 0, 0, 2, 0, 0, 0}, 10, 504},  // 18 wooden shield
    {600, {0, 0, 1}, {1, 0, 2, 0, 0, 0, 0}, 20, 403},  // 19 battle shield
    {800, {0, 0, 1}, {2, 0, 4, 0, 0, 2, 0}, 50, 414},  // 20 war shield
    {100, {0, 0, 1}, {0, 0, 0, 0, 0, 0, 0}, 1, 395},  // 21 dagger
    {200, {0, 1, 1}, {1, 0, 1, 0, 0, 1, 0}, 2, 397},  // 22 axe
    {200, {0, 0, 1}, {1, 0, 1, 0, 0, 1, 0}, 5, 417},  // 23 short sword
    {300, {0, 0, 1}, {1, 0, 2, 0, 0, 1, 0}, 10, 393},  // 24 broadsword
    {1000, {0, 0, 1}, {2, 0, 4, 0, 0, 2, 0}, 40, 564},  // 25 bastard sword
    {400, {0, 0, 1}, {1, 0, 3, 0, 0, 1, 0}, 20, 419},  // 26 longsword
    {800, {0, 0, 1}, {2, 0, 4, 0, 0, 2, 0}, 50, 394},  // 27 claymore
    {600, {0, 0, 1}, {1, 0, 3, 0, 0, 2, 0}, 15, 408},  // 28 war axe
    {600, {0, 1, 1}, {1, 0, 2, 0, 0, 2, 0}, 12, 409},  // 29 war hammer
    {400, {0, 0, 1}, {1, 0, 2, 0, 0, 3, 0}, 8, 423},  // 30 cudgel, small
    {600, {0, 0, 1}, {2, 0, 4, 0, 0, 4, 0}, 18, 422},  // 31 cudgel, big
    {100, {0, 0, 1}, {0, 0, 1, 0, 0, 0, 0}, 3, 428},  // 32 sabre/saber
    {200, {0, 0, 1}, {1, 0, 2, 0, 0, 1, 0}, 13, 431},  // 33 battle axe
    {200, {0, 1, 1}, {0, 0, 1, 0, 0, 1, 0}, 7, 432},  // 34 mace
    {300, {0, 0, 1}, {1, 0, 1, 0, 0, 1, 0}, 5, 433},  // 35 club
    {800, {0, 0, 1}, {2, 0, 4, 0, 0, 2, 0}, 15, 401},  // 36 halberd
    {400, {0, 0, 1}, {1, 0, 3, 0, 0, 3, 0}, 50, 501},  // 37 lance, short
    {800, {0, 0, 1}, {2, 0, 4, 0, 0, 4, 0}, 100, 502},  // 38 lance, medium
    {1200, {0, 0, 1}, {3, 0, 5, 0, 0, 5, 0}, 150, 503},  // 39 lance, long
    {50, {0, 1, 1}, {0, 0, 0, 0, 0, 0, 0}, 1, 415},  // 40 war scythe
    {100, {0, 1, 1}, {0, 0, 1, 0, 0, 0, 0}, 2, 430},  // 41 spear
    {400, {1, 1, 1}, {0, 1, 2, 1, 0, 0, 0}, 20, 387},  // 42 crossbow, small
    {800, {1, 1, 1}, {0, 2, 3, 2, 0, 0, 0}, 40, 388},  // 43 crossbow, big
    {200, {0, 1, 0}, {0, 0, 0, 1, 0, 1, 0}, 10, 416},  // 44 shortbow
    {400, {0, 1, 0}, {0, 0, 1, 2, 0, 2, 0}, 25, 418},  // 45 longbow
    {900, {0, 1, 0}, {0, 0, 2, 3, 0, 4, 0}, 45, 407},  // 46 compound bow
    {50, {1, 1, 0}, {0, 0, 0, 0, 0, 0, 0}, 1, 436},  // 47 sling
    {200, {0, 0, 1}, {0, 0, 0, 0, 0, 1, 0}, 2, 435},  // 48 dart
    {300, {0, 1, 1}, {0, 0, 1, 0, 0, 2, 0}, 3, 437},  // 49 javelin
    {20000, {1, 1, 1}, {3, 3, 1, 3, 2, 3, 1}, 40000, 399},  // 50 small trade ship
    {40000, {1, 1, 1}, {4, 4, 2, 4, 3, 4, 2}, 100000, 400},  // 51 medium trade ship
    {100000, {1, 1, 1}, {5, 5, 3, 5, 4, 5, 3}, 500000, 398},  // 52 big trade ship
    {40000, {1, 1, 1}, {3, 3, 3, 3, 2, 3, 1}, 70000, 412},  // 53 small war ship
    {80000, {1, 1, 1}, {4, 4, 4, 4, 3, 4, 2}, 250000, 413},  // 54 medium war ship
    {200000, {1, 1, 1}, {5, 5, 5, 5, 4, 5, 3}, 680000, 411},  // 55 big war ship
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 1104},  // 56 Aloe
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 1105},  // 57 Arfandas
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 1106},  // 58 Kelventari
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 1107},  // 59 Gefnul
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 1108},  // 60 Oiolosse
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 1109},  // 61 Pargen
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 1110},  // 62 Olvar
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 1111},  // 63 Aldaka
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 1112},  // 64 Berterin
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 1113},  // 65 Breldiar
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 1114},  // 66 Gylvir
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 1115},  // 67 Klagul
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 1116},  // 68 Megillos
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 1117},  // 69 Lestagil
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 1118},  // 70 Angurth
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 1119},  // 71 Bukandas
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 1120},  // 72 Jegga
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 1121},  // 73 Tayanga
    {250, {0, 0, 1}, {1, 0, 1, 0, 0, 3, 0}, 2, 389},  // 74 army sword
    {500, {0, 0, 1}, {2, 0, 2, 0, 0, 4, 0}, 10, 424},  // 75 northern sword
    {5000, {0, 0, 1}, {3, 0, 5, 0, 0, 3, 0}, 150, 392},  // 76 barbarian sword
    {750, {0, 0, 1}, {3, 0, 3, 0, 0, 2, 0}, 40, 438},  // 77 two handed sword
    {50, {0, 1, 1}, {0, 0, 0, 0, 0, 0, 0}, 1, 396},  // 78 trident
    {100, {0, 1, 1}, {0, 0, 0, 0, 0, 0, 0}, 2, 427},  // 79 horse-breaker
    {700, {1, 0, 1}, {3, 0, 3, 0, 0, 2, 0}, 50, 426},  // 80 ring-armour
    {22000, {1, 1, 1}, {2, 0, 6, 4, 0, 4, 0}, 1500, 410},  // 81 war catapult
    {0, {1, 1, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 920},  // 82 Balm
    {0, {0, 1, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 921},  // 83 Amber
    {0, {0, 1, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 922},  // 84 Brocade
    {0, {0, 0, 1}, {0, 0, 0, 0, 0, 0, 0}, 0, 923},  // 85 Gems
    {0, {1, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 924},  // 86 Ivory
    {0, {0, 1, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 925},  // 87 Spices
    {0, {0, 0, 1}, {0, 0, 0, 0, 0, 0, 0}, 0, 926},  // 88 Marble
    {0, {0, 1, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 927},  // 89 Myrrh
    {0, {0, 1, 1}, {0, 0, 0, 0, 0, 0, 0}, 0, 928},  // 90 Oil
    {0, {1, 1, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 929},  // 91 Parchment
    {0, {1, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 930},  // 92 Furs
    {0, {0, 0, 1}, {0, 0, 0, 0, 0, 0, 0}, 0, 931},  // 93 Jewellery
    {0, {1, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 932},  // 94 Silk
    {0, {1, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 933},  // 95 Carpets
    {0, {0, 1, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 934},  // 96 Incense
    {0, {0, 1, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 935},  // 97 Sugar
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 937},  // 98 wood
    {0, {0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 938},  // 99 stone
    {50000, {0, 0, 1}, {6, 1, 5, 1, 1, 3, 1}, 35, 1122},  // 100 Gundhalm
    {25000, {0, 0, 1}, {5, 3, 6, 3, 3, 4, 3}, 75, 1123},  // 101 Velgrin
    {0, {1, 1, 1}, {8, 8, 8, 8, 8, 8, 8}, 175, 1124},  // 102 Dragon Axe
    {0, {1, 1, 1}, {8, 8, 8, 8, 8, 8, 8}, 200, 1125},  // 103 Elven helmet
    {0, {1, 1, 1}, {8, 8, 8, 8, 8, 8, 8}, 300, 1126},  // 104 Elven shield
    {0, {1, 1, 1}, {8, 8, 8, 8, 8, 8, 8}, 250, 1127},  // 105 Elven sword
    {30000, {0, 0, 1}, {5, 2, 6, 2, 3, 3, 2}, 50, 1128},  // 106 Frog's helmet
    {60000, {0, 0, 1}, {7, 2, 6, 2, 2, 4, 2}, 85, 1129},  // 107 Hand of God
    {75000, {0, 0, 1}, {6, 3, 7, 3, 4, 5, 3}, 75, 1130},  // 108 War helmet
    {100000, {0, 0, 1}, {5, 3, 7, 3, 3, 4, 3}, 120, 1131},  // 109 Knight's helmet
    {100000, {0, 0, 1}, {5, 3, 7, 3, 3, 4, 3}, 150, 1132},  // 110 Knight's armour
    {40000, {0, 0, 1}, {4, 3, 5, 3, 3, 3, 3}, 60, 1133},  // 111 Torvik's helmet
    {60000, {1, 0, 1}, {5, 3, 6, 4, 4, 4, 3}, 150, 1134},  // 112 Turney helmet
    {0, {1, 1, 1}, {8, 8, 8, 8, 8, 8, 8}, 200, 1135},  // 113 Dwarven helmet
    {0, {1, 1, 1}, {8, 8, 8, 8, 8, 8, 8}, 750, 1136},  // 114 Dwarven armour
    {0, {1, 1, 1}, {8, 8, 8, 8, 8, 8, 8}, 250, 1137},  // 115 Dwarven sword
};

// Types 0..55 are entries 817..872, the herbs 56..73 are 881..898, types
// 74..81 are 873..880, the luxury goods 82..97 are 1291..1306, wood and
// stone 1336 and 1337, the special items 100..115 are 1431..1446.
const CatalogEntry* const WarenNamen[WAREN_ANZAHL] = {
    &CatalogStrings[817], &CatalogStrings[818], &CatalogStrings[819], &CatalogStrings[820], &CatalogStrings[821], &CatalogStrings[822],
    &CatalogStrings[823], &CatalogStrings[824], &CatalogStrings[825], &CatalogStrings[826], &CatalogStrings[827], &CatalogStrings[828],
    &CatalogStrings[829], &CatalogStrings[830], &CatalogStrings[831], &CatalogStrings[832], &CatalogStrings[833], &CatalogStrings[834],
    &CatalogStrings[835], &CatalogStrings[836], &CatalogStrings[837], &CatalogStrings[838], &CatalogStrings[839], &CatalogStrings[840],
    &CatalogStrings[841], &CatalogStrings[842], &CatalogStrings[843], &CatalogStrings[844], &CatalogStrings[845], &CatalogStrings[846],
    &CatalogStrings[847], &CatalogStrings[848], &CatalogStrings[849], &CatalogStrings[850], &CatalogStrings[851], &CatalogStrings[852],
    &CatalogStrings[853], &CatalogStrings[854], &CatalogStrings[855], &CatalogStrings[856], &CatalogStrings[857], &CatalogStrings[858],
    &CatalogStrings[859], &CatalogStrings[860], &CatalogStrings[861], &CatalogStrings[862], &CatalogStrings[863], &CatalogStrings[864],
    &CatalogStrings[865], &CatalogStrings[866], &CatalogStrings[867], &CatalogStrings[868], &CatalogStrings[869], &CatalogStrings[870],
    &CatalogStrings[871], &CatalogStrings[872], &CatalogStrings[881], &CatalogStrings[882], &CatalogStrings[883], &CatalogStrings[884],
    &CatalogStrings[885], &CatalogStrings[886], &CatalogStrings[887], &CatalogStrings[888], &CatalogStrings[889], &CatalogStrings[890],
    &CatalogStrings[891], &CatalogStrings[892], &CatalogStrings[893], &CatalogStrings[894], &CatalogStrings[895], &CatalogStrings[896],
    &CatalogStrings[897], &CatalogStrings[898], &CatalogStrings[873], &CatalogStrings[874], &CatalogStrings[875], &CatalogStrings[876],
    &CatalogStrings[877], &CatalogStrings[878], &CatalogStrings[879], &CatalogStrings[880], &CatalogStrings[1291], &CatalogStrings[1292],
    &CatalogStrings[1293], &CatalogStrings[1294], &CatalogStrings[1295], &CatalogStrings[1296], &CatalogStrings[1297], &CatalogStrings[1298],
    &CatalogStrings[1299], &CatalogStrings[1300], &CatalogStrings[1301], &CatalogStrings[1302], &CatalogStrings[1303], &CatalogStrings[1304],
    &CatalogStrings[1305], &CatalogStrings[1306], &CatalogStrings[1336], &CatalogStrings[1337], &CatalogStrings[1431], &CatalogStrings[1432],
    &CatalogStrings[1433], &CatalogStrings[1434], &CatalogStrings[1435], &CatalogStrings[1436], &CatalogStrings[1437], &CatalogStrings[1438],
    &CatalogStrings[1439], &CatalogStrings[1440], &CatalogStrings[1441], &CatalogStrings[1442], &CatalogStrings[1443], &CatalogStrings[1444],
    &CatalogStrings[1445], &CatalogStrings[1446],
};

int32_t IsWarenTyp(uint32_t type) { return type < WAREN_ANZAHL ? 1 : 0; }

const WarenZeile* GetWarenZeile(uint32_t type) {
  return type < WAREN_ANZAHL ? &WarenTabelle[type] : nullptr;
}

const char* GetWarenName(uint32_t type) {
  if (type >= WAREN_ANZAHL) return "unknown good";
  return GetCatalogEntryStr(WarenNamen[type]);
}

uint32_t CalcWarePreis(uint32_t type, uint32_t base, int32_t a, int32_t b, int32_t c) {
  const WarenZeile* row = GetWarenZeile(type);
  if (!row) return 0;
  // 64 bits: the weighted sum of large resource values must not wrap before the clamp.
  int64_t w = int64_t(a) * row->weight[0] + int64_t(b) * row->weight[1] + 2 * int64_t(c) * row->weight[2];
  if (w < -90) w = -90;
  if (w > 90) w = 90;
  uint64_t p;
  if (w > 0)
    p = uint64_t(base) * uint64_t(100 - w) / 100;
  else
    p = uint64_t(base) + uint64_t(base) * uint64_t(w + 100) / 100;
  if (type >= 82 && type <= 97) {
    if (type == 90)
      p /= 8;
    else if (type == 92)
      p = p / 2 / 5;
    else
      p /= 2;
  }
  if (p > 0xFFFFFFFFu) p = 0xFFFFFFFFu;
  return p == 0 ? 1 : uint32_t(p);
}
