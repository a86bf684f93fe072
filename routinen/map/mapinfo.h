// The map screen's information panel, the names overlay and the figure
// voices: what the panel says about the clicked hex or the selected figure
// (a scrolling text, and on deeper displays a terrain line, the three
// resource values and a picture of the tile or figure), the town and map
// names printed over the map, and the voice a figure answers with
// (docs/map-screen.md "Info box, names and voices").
#pragma once
#include <cstdint>

struct KartenScreenRecord;
struct MapScreenHooks;

// The panel's text for the record's clicked hex or selected figure: the
// 8-bit form (deep 0) or the deeper displays' (deep 1), cut to size - 1
// characters. The 8-bit form is empty while the figure lists show.
void InfoBoxText(KartenScreenRecord* d, int32_t deep, char* out, uint32_t size);
// Fills the panel: the info requester with the text (made on first use),
// and on deeper displays the terrain line, the resource values and the
// tile or figure picture. Returns 1.
int32_t UpdateInfoBox(KartenScreenRecord* d);

// The voices of a figure type (mode 0 walking, 1 selected): their count
// (0 for types without voices) and the sound IDs in *ids.
uint32_t FigurVoices(uint16_t type, uint32_t mode, const uint16_t** ids);
// The selected figure answers: the hex marker in pen 6, then (unless a
// carried figure, or its last voice still plays) a random voice of its type.
void PlayFigurSfx(KartenScreenRecord* d, uint32_t mode);

// The anchor of the label of view hex (column, row).
void MapNameAnchor(int32_t column, int32_t row, int32_t deep, int32_t* x, int32_t* y);
// The names overlay into screen buffer `buffer`: the own towns' names and
// the map-name list's entries on their hexes (off: the map is redrawn).
void PrintMapNames(KartenScreenRecord* d, uint32_t buffer);
// Forgets the town names and the owner name the panel keeps (the overlay
// was switched on, the towns or the players changed, the screen closed).
void ForgetMapInfoCache();

// The players list made from the record's players chunk (kept until the
// chunk changes; null without one).
struct ListHeader;
ListHeader* MapPlayersList(const KartenScreenRecord* d);
// A ship figure's name from the ship add-on list (ship number = figure
// number), null when it has none.
struct MapFigur;
const char* MapShipName(const KartenScreenRecord* d, const MapFigur* f);

// Fills the slots of this part of the screen.
void FillMapInfoHooks(MapScreenHooks* hooks);
