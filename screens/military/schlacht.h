// The battle picture of the news screen: a full-screen picture of one fight
// with both sides' names, their armour or ship classes, depletion or damage,
// the dead and the survivors counted up tick by tick, and the verdict, with
// the sounds of the fight. The timeline runs on game ticks and draws through
// a small table of functions, so tests record what is drawn at which tick.
// Rules: docs/battle-reports.md ("The battle picture").
#pragma once
#include <cstdint>

#include "routinen/gamedata/entities.h"

struct TextFont;

// The battle sounds: the din (looped) and four cries.
enum : uint32_t { kSchlachtSfxFirst = 94, kSchlachtSfxLoop = 94, kSchlachtSfxCount = 5 };

// What the timeline draws with: a text box (pen pair 0..3, framed or plain)
// and a sound (looped or once). The screen's table draws with
// DrawSchlachtText and plays through the sound module.
struct SchlachtDrawer {
  void* user;
  void (*text)(void* user, uint32_t pens, int32_t x, int32_t y, uint32_t w, uint32_t h, const char* text,
               int32_t framed);
  void (*sound)(void* user, uint32_t id, int32_t loop);
};

// One showing of the battle picture.
struct SchlachtTimeline {
  KriegsEintrag fight;
  uint32_t picture;      // 498, 472, 499 or 837
  uint32_t pens;         // the pen pair of the right boxes; the left ones use pens + 1
  uint8_t sea;           // sea mode (kinds 5 and 6)
  uint32_t t;            // step counter
  uint32_t second;       // ticks since the last cry
  uint32_t period;       // ticks between the cries
  uint32_t dead[2], deadStep[2], deadTarget[2];
  uint32_t alive[2], aliveStep[2], aliveTarget[2];
  char names[2][80];     // attacker, defender
};

// Catalog texts of the timeline (the screen passes GetCatalogStr).
typedef const char* (*SchlachtTextFn)(uint32_t id);

// The picture of a fight by its kind and side (own: the attacker is the own
// lord): own attack kind 0 498, kinds 1, 2 472; attacked kind 0 472, kinds 1,
// 2 498; kinds 3, 4 499; 5, 6 837. 0 for the pirates' kinds (no picture).
uint32_t SchlachtPicture(uint32_t kind, bool own);
// Sets up the timeline of the fight (names of the attacker and the
// defender given), draws the names and starts the din.
void StartSchlacht(SchlachtTimeline* s, const KriegsEintrag& fight, bool own, const char* attacker,
                   const char* defender, SchlachtTextFn text, const SchlachtDrawer* drawer);
// One timer tick: a cry now and then, the next step of the timeline.
void SchlachtTick(SchlachtTimeline* s, SchlachtTextFn text, const SchlachtDrawer* drawer);

// Pen pair k (0..3) of the boxes: the frame's and the box's pen.
void SchlachtPens(uint32_t k, uint32_t* frame, uint32_t* fill);
// A box of the battle picture on the screen: framed, the rectangle in the
// pair's frame pen, from 2 pixels in pen 0, from 3 pixels in the fill pen;
// the text centred and outlined 3 pixels in, in pen 162 on the fill pen.
// Plain: only the text (its ground refilled).
void DrawSchlachtText(uint32_t pens, int32_t x, int32_t y, uint32_t w, uint32_t h, TextFont* font,
                      const char* text, int32_t framed);
// Opens the five battle sounds: 1 when all opened (those that did are
// closed again otherwise). CloseSchlachtSfx closes them.
int32_t ShowSchlachtLoadSfx();
void CloseSchlachtSfx();
