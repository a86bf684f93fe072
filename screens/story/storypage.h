// Story pages: the mark-up of the story texts (pages, links, pictures,
// modifications, pens) and the layout of one page in the story browser's
// scrolling requester, its words flowing round the page's pictures.
// The mark-up as written by the stories: docs/story-browser.md.
#pragma once
#include <cstdint>

struct QoERequester;
struct TextFont;

// The byte that opens every mark (the section sign, Latin-1).
constexpr char kStoryMark = '\xA7';
constexpr uint32_t kStoryLinkButtons = 6;
// Parameters of a mark are read from at most this many bytes after its opener.
constexpr uint32_t kStoryMarkParamBytes = 39;

// Link targets of the browser's six buttons.
enum : uint16_t {
  STORY_LINK_NONE = 0,       // the button does nothing
  STORY_LINK_BACK = 60,      // "<": the previous page
  STORY_LINK_NEXT = 62,      // ">": the next page
  STORY_LINK_END = 0xFFFF,   // -1: the story ends
  STORY_LINK_MAX_PAGE = 59,  // page numbers run from 1 to 59
};

// Page n (from 1) of a story: it starts after the (n - 1)-th "§§" and ends
// at the n-th. Returns its first byte and sets *length (the bytes before its
// "§§"); null when the story has fewer than n "§§" (no such page).
const char* FindStoryPage(const char* story, uint32_t page, uint32_t* length);
// The length of a page text up to its "§§" (or its terminator).
uint32_t StoryPageLength(const char* page);

// The link mark "§($n,v1,...,vn)" of a page (before its "§§"): count is the
// number of values read (at most 6), values as STORY_LINK_* or a page
// number; a value that is none of them reads as STORY_LINK_NONE. False when
// the page has no link mark.
struct StoryLinks {
  uint32_t count;
  uint16_t values[kStoryLinkButtons];
};
bool ParseStoryLinks(const char* page, StoryLinks* links);

// The six link buttons: released and pressed image of GAD1..GAD6 and their
// targets. StoryLinkButtonsFor sets the images and targets a page's links
// give (the rule of RizizOzezBrowserLinks, without drawing); false (nothing
// changed) when the page has no link mark.
struct StoryLinkButtons {
  uint16_t up[kStoryLinkButtons];
  uint16_t down[kStoryLinkButtons];
  uint16_t targets[kStoryLinkButtons];
};
enum : uint16_t {
  STORY_IMG_NEUTRAL = 294, STORY_IMG_NEUTRAL_DOWN = 295,
  STORY_IMG_BACK = 285, STORY_IMG_BACK_DOWN = 286,
  STORY_IMG_NEXT = 287, STORY_IMG_NEXT_DOWN = 288,
  STORY_IMG_CHOICE = 507,  // the j-th page link: 507 + 2j, pressed 508 + 2j
};
bool StoryLinkButtonsFor(uint32_t page, const char* text, StoryLinkButtons* buttons);

// A picture mark "§(#n,x,y,w,h)": valid when all five numbers parse and
// none is negative.
struct StoryPicture {
  int32_t number, x, y, w, h;
  bool valid;
};
// The picture marks of a page (before its "§§"), at most max of them;
// returns how many were written.
uint32_t ParseStoryPictures(const char* page, StoryPicture* pictures, uint32_t max);

// ---- the page requester --------------------------------------------------------
// The page's requester at x, y (window w x h, content width cw) with pens
// pen_a (background) and pen_b (text) and its slider, drawn by the layout
// hook; null (logged) when the page has no "§§" or memory runs out.
using StoryLayoutHook = uint32_t (*)(QoERequester* req, uint32_t arg);
QoERequester* InitRizizOzezRequester(uint32_t cw, TextFont* font, const char* page, int32_t x, int32_t y,
                                     uint32_t w, uint32_t h, uint32_t pen_a, uint32_t pen_b,
                                     StoryLayoutHook hook);
// The layout hook: pictures, then the words round them; the number of lines
// used, 0 on failure.
uint32_t RizizOzezBrowser(QoERequester* req, uint32_t arg);
// Draws the page's pictures 1 and 2 of ".\Data\RizizOzezPath" into the
// requester's bitmap in frames of pen 7; a mark with another number or
// outside the bitmap is skipped (logged). 1, or 0 when a picture cannot be
// opened.
int32_t RizizOzezBrowserLoadGfx(QoERequester* req, const char* page);
// A new copy (FreeVec) of the first length bytes of text without its marks
// (every byte from a "§" up to and including the next ")"); null without memory.
char* RizizOzezBrowserAllocBuffer(const char* text, uint32_t length);
// Lays the stripped words out round the pictures of page, drawing them into
// the requester's bitmap; returns the number of lines used.
uint32_t RizizOzezBrowserSetText(QoERequester* req, const char* page, const char* stripped);
// 1 when the rectangle (x0, y0)-(x1, y1) (bounds included) touches no
// picture box of the page, else 0. A picture's box runs from x - 2 (x when
// x is below 2) to x + w + 2 and from y to y + h.
int32_t CheckRizizOzezPicArea(const char* page, int32_t x0, int32_t y0, int32_t x1, int32_t y1);
