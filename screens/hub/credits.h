// The credits (screen code 151, picture 151) and the slide show of the
// title screen: two small screens without game data.
#pragma once
#include <cstdint>

struct RastPort;

// Runs the credits: 2 at once with an installed game; else until Escape or
// a left button, then 32 (the sign-up; account state below 2) or -1 when
// the screen cannot be built.
int32_t CreditScreen(int32_t entry_code);
// Clears the lower half and prints credits lines index and index + 1
// (catalog 1035, one line per line break) at a random place; the next
// index, or 0 (nothing printed) when either line is missing.
uint32_t CreditsPrintText(RastPort* rp, uint32_t index);

// The 24 slides in order: picture and catalog text.
struct Slide {
  uint16_t picture;
  uint16_t text;
};
extern const Slide kSlides[24];
// Shows the 24 slides, each until a left click (with texts: the slide's text
// in a TextBox first, closed with the first click). Escape ends the show; a slide
// whose picture does not open is skipped. 0.
int32_t SlideShow(uint32_t with_texts);
