// Shared by the map screen's actions and person events.
#pragma once
#include <cstdint>

#include "map_internal.h"
#include "mapaction.h"
#include "routinen/gamedata/entities.h"

// The player's boxes of the actions and events, each replaceable by a test:
// a notice (mode 0, returns 0) or a question (mode 1, 0 when confirmed), the
// herb choice (index or -1), the ship name (the buffer, or null: cancelled
// or empty), the town dialogue (1..n, 0 none) and the text box.
struct MapActionSeams {
  uint32_t (*message)(uint32_t mode, const char* text);
  int32_t (*choose)(uint32_t count, const char* lines);
  char* (*input)(char* buffer, uint32_t size);
  uint32_t (*switchBox)(uint32_t n, const char* texts);
  int32_t (*textBox)(const char* text);
};
// Copies the seams (null: the real boxes).
void SetMapActionSeams(const MapActionSeams* seams);

namespace mapaction {

// A notice (catalog text or text) and a yes/no question, at the place of the
// map screen's message boxes (picture 66, pen 7).
void Notice(uint32_t catalog_id);
void NoticeText(const char* text);
bool Ask(const char* text);
void ShowTextBox(const char* text);
uint32_t ChooseTownAction(uint32_t n, const char* texts);
// Tells the player that the figure file is damaged (fault
// FIGURE_FILE_DAMAGED: catalog 1682 with the file) or missing (any other
// fault: 1930 with the file) and left as it is, and what the map goes
// without (1796); logged.
void TellFigureFileDamaged(uint32_t fault);

inline FigurRecord RecordOf(const MapFigur* f) {
  return FigurRecord{f->Besitzer, f->Typ, f->Nummer, f->X, f->Y, f->Status, f->Punkte};
}
// The window cell of a world position (the view's window cell plus the
// shortest offset from the view's corner).
void WindowCellOf(const QoEMapInfo* map, uint32_t x, uint32_t y, int32_t* column, int32_t* row);
// The view hex of the clicked position as a world position, wrapped.
void ClickedWorld(const KartenScreenRecord* d, int32_t* x, int32_t* y);
// Redraws the map (SetPos 0, 0) under the motion lock.
void Redraw(KartenScreenRecord* d);

}  // namespace mapaction
