// Story pages: mark-up and the page layout. See storypage.h.
#include "storypage.h"

#include <cstdlib>
#include <cstring>

#include "platform/log.h"
#include "routinen/gui/pictures.h"
#include "routinen/gui/requester.h"
#include "routinen/gui/text.h"
#include "routinen/system/fonts.h"
#include "routinen/system/graphics.h"
#include "routinen/system/memory.h"

namespace {

constexpr char kStoryIndex[] = ".\\Data\\RizizOzezPath";
constexpr uint32_t kPictureFramePen = 7;
// Picture marks a page keeps clear of text; a page holds a few.
constexpr uint32_t kMaxPagePictures = 64;

bool IsPageEnd(const char* p) { return p[0] == kStoryMark && p[1] == kStoryMark; }

// The first "§" followed by c1 c2 in page[0..length), null when none.
const char* FindMark(const char* page, uint32_t length, char c1, char c2) {
  for (uint32_t i = 0; i + 2 < length; ++i)
    if (page[i] == kStoryMark && page[i + 1] == c1 && page[i + 2] == c2) return page + i;
  return nullptr;
}

// The parameter bytes of a mark: at most 39 after its three-byte opener.
void MarkParams(const char* mark, char* out) {
  uint32_t n = 0;
  for (const char* p = mark + 3; n < kStoryMarkParamBytes && *p; ++p) out[n++] = *p;
  out[n] = 0;
}

// A decimal number after optional blanks; false when there is none.
bool ReadNumber(const char** p, long* value) {
  const char* s = *p;
  while (*s == ' ') ++s;
  char* end = nullptr;
  const long v = std::strtol(s, &end, 10);
  if (end == s) return false;
  *value = v;
  *p = end;
  return true;
}

bool ReadComma(const char** p) {
  const char* s = *p;
  while (*s == ' ') ++s;
  if (*s != ',') return false;
  *p = s + 1;
  return true;
}

// The box a picture keeps free of text, bounds included.
struct Box {
  int32_t x0, y0, x1, y1;
};

Box PictureBox(const StoryPicture& p) {
  return {p.x < 2 ? p.x : p.x - 2, p.y, p.x + p.w + 2, p.y + p.h};
}

// Every valid picture mark of the page as a box; returns the count.
uint32_t PageBoxes(const char* page, Box* boxes) {
  StoryPicture pics[kMaxPagePictures]{};
  const uint32_t n = ParseStoryPictures(page, pics, kMaxPagePictures);
  uint32_t k = 0;
  for (uint32_t i = 0; i < n; ++i)
    if (pics[i].valid) boxes[k++] = PictureBox(pics[i]);
  return k;
}

// Whether the rectangle overlaps any box. An overlap, not only a corner
// inside: a word wider than a narrow picture must not run across it.
bool Collides(const Box* boxes, uint32_t n, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  for (uint32_t i = 0; i < n; ++i)
    if (x0 <= boxes[i].x1 && x1 >= boxes[i].x0 && y0 <= boxes[i].y1 && y1 >= boxes[i].y0) return true;
  return false;
}

// A pen mark "(!n)" at p: sets *pen and returns the byte after it, or null.
const char* PenMark(const char* p, uint32_t* pen) {
  if (p[0] != '(' || p[1] != '!') return nullptr;
  uint32_t v = 0, digits = 0;
  const char* s = p + 2;
  while (*s >= '0' && *s <= '9' && digits < 3) v = v * 10 + (uint32_t)(*s++ - '0'), ++digits;
  if (digits == 0 || *s != ')' || v > 255) return nullptr;
  *pen = v;
  return s + 1;
}

}  // namespace

// ---- mark-up ------------------------------------------------------------------------

uint32_t StoryPageLength(const char* page) {
  if (!page) return 0;
  uint32_t n = 0;
  while (page[n] && !IsPageEnd(page + n)) ++n;
  return n;
}

const char* FindStoryPage(const char* story, uint32_t page, uint32_t* length) {
  if (length) *length = 0;
  if (!story || page == 0) return nullptr;
  const char* p = story;
  for (uint32_t k = 1; k < page; ++k) {
    const char* end = std::strstr(p, "\xA7\xA7");
    if (!end) return nullptr;
    p = end + 2;
  }
  // The page exists only when its own "§§" follows.
  if (!std::strstr(p, "\xA7\xA7")) return nullptr;
  if (length) *length = StoryPageLength(p);
  return p;
}

bool ParseStoryLinks(const char* page, StoryLinks* links) {
  *links = StoryLinks{};
  if (!page) return false;
  const char* mark = FindMark(page, StoryPageLength(page), '(', '$');
  if (!mark) return false;
  char params[kStoryMarkParamBytes + 1];
  MarkParams(mark, params);
  const char* p = params;
  long n = 0;
  if (!ReadNumber(&p, &n) || n <= 0) return true;  // a mark without values: every target 0
  const uint32_t count = n > (long)kStoryLinkButtons ? kStoryLinkButtons : (uint32_t)n;
  for (uint32_t i = 0; i < count; ++i) {
    if (!ReadComma(&p)) break;
    while (*p == ' ') ++p;
    uint16_t v = STORY_LINK_NONE;
    if (*p == '<') {
      v = STORY_LINK_BACK;
      ++p;
    } else if (*p == '>') {
      v = STORY_LINK_NEXT;
      ++p;
    } else {
      long value = 0;
      if (!ReadNumber(&p, &value)) break;
      if (value == -1) v = STORY_LINK_END;
      else if (value >= 1 && value <= STORY_LINK_MAX_PAGE) v = (uint16_t)value;
      else if (value != 0) DebugLog("RizizOzezBrowserLinks: Falscher Link %ld\n", value);
    }
    links->values[links->count++] = v;
  }
  return true;
}

bool StoryLinkButtonsFor(uint32_t page, const char* text, StoryLinkButtons* b) {
  StoryLinks links{};
  if (!ParseStoryLinks(text, &links)) return false;
  for (uint32_t i = 0; i < kStoryLinkButtons; ++i) b->targets[i] = i < links.count ? links.values[i] : 0;
  for (uint32_t i = 0; i < kStoryLinkButtons; ++i)
    if (b->up[i] != STORY_IMG_NEUTRAL) {
      b->up[i] = STORY_IMG_NEUTRAL;
      b->down[i] = STORY_IMG_NEUTRAL_DOWN;
    }
  bool story_end = false;
  uint32_t j = 0;
  for (uint32_t i = 0; i < links.count; ++i) {
    const uint16_t v = links.values[i];
    if (v == STORY_LINK_END) {
      story_end = true;
    } else if (v == STORY_LINK_BACK) {
      b->up[0] = STORY_IMG_BACK;
      b->down[0] = STORY_IMG_BACK_DOWN;
    } else if (v == STORY_LINK_NEXT) {
      b->up[5] = STORY_IMG_NEXT;
      b->down[5] = STORY_IMG_NEXT_DOWN;
    } else if (v >= 1 && v <= STORY_LINK_MAX_PAGE && j < 5) {
      b->up[j + 1] = (uint16_t)(STORY_IMG_CHOICE + 2 * j);
      b->down[j + 1] = (uint16_t)(STORY_IMG_CHOICE + 2 * j + 1);
      ++j;
    }
  }
  // Targets from what the buttons show; then the page links in their order.
  for (uint32_t i = 0; i < kStoryLinkButtons; ++i) {
    if (b->up[i] == STORY_IMG_BACK) b->targets[0] = (uint16_t)(page - 1);
    else if (b->up[i] == STORY_IMG_NEXT) b->targets[5] = (uint16_t)(page + 1);
    else if (b->up[i] == STORY_IMG_NEUTRAL) b->targets[i] = story_end ? (uint16_t)STORY_LINK_END : (uint16_t)(page + 1);
  }
  uint32_t t = 1;
  for (uint32_t i = 0; i < links.count && t < kStoryLinkButtons; ++i)
    if (links.values[i] >= 1 && links.values[i] <= STORY_LINK_MAX_PAGE) b->targets[t++] = links.values[i];
  return true;
}

uint32_t ParseStoryPictures(const char* page, StoryPicture* pictures, uint32_t max) {
  if (!page) return 0;
  const uint32_t length = StoryPageLength(page);
  uint32_t n = 0;
  for (uint32_t at = 0; n < max;) {
    const char* mark = FindMark(page + at, length - at, '(', '#');
    if (!mark) break;
    at = (uint32_t)(mark - page) + 3;
    char params[kStoryMarkParamBytes + 1];
    MarkParams(mark, params);
    const char* p = params;
    long v[5] = {};
    bool ok = true;
    for (int k = 0; k < 5 && ok; ++k) {
      ok = (k == 0 || ReadComma(&p)) && ReadNumber(&p, &v[k]) && v[k] >= 0 && v[k] <= 0xFFFF;
    }
    StoryPicture& pic = pictures[n++];
    pic = StoryPicture{};
    pic.valid = ok;
    if (ok) {
      pic.number = (int32_t)v[0];
      pic.x = (int32_t)v[1];
      pic.y = (int32_t)v[2];
      pic.w = (int32_t)v[3];
      pic.h = (int32_t)v[4];
    }
  }
  return n;
}

int32_t CheckRizizOzezPicArea(const char* page, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  Box boxes[kMaxPagePictures]{};
  const uint32_t n = PageBoxes(page, boxes);
  return Collides(boxes, n, x0, y0, x1, y1) ? 0 : 1;
}

char* RizizOzezBrowserAllocBuffer(const char* text, uint32_t length) {
  char* out = static_cast<char*>(AllocVec(length + 1, MEMF_PUBLIC | MEMF_CLEAR));
  if (!out) return nullptr;
  uint32_t n = 0;
  for (uint32_t i = 0; i < length && text[i]; ++i) {
    if (text[i] == kStoryMark) {
      while (i < length && text[i] && text[i] != ')') ++i;
      continue;  // the ")" itself is left out too
    }
    out[n++] = text[i];
  }
  out[n] = 0;
  return out;
}

// ---- the page requester ------------------------------------------------------------

int32_t RizizOzezBrowserLoadGfx(QoERequester* req, const char* page) {
  if (!req || !req->rp || !req->content) return 0;
  StoryPicture pics[kMaxPagePictures]{};
  const uint32_t n = ParseStoryPictures(page, pics, kMaxPagePictures);
  const int64_t width = req->content->Width, height = req->content->Height;
  for (uint32_t i = 0; i < n; ++i) {
    const StoryPicture& p = pics[i];
    if (p.valid && (p.number == 0 || p.number > 2)) {
      DebugLog("RizizOzezBrowserLoadGfx: Falsche Grafik-ID !\n");
      continue;
    }
    // Checked in both directions: nothing is drawn past the bitmap.
    if (!p.valid || p.w == 0 || p.h == 0 || (int64_t)p.x + p.w >= width || (int64_t)p.y + p.h > height) {
      DebugLog("RizizOzezBrowserLoadGfx: Grafik soll ausserhalb des allokierten Bereichs dargestellt werden !\n");
      continue;
    }
    RastPort* rp = req->rp;
    SetAPen(rp, kPictureFramePen);
    Move(rp, p.x, p.y);
    Draw(rp, p.x + p.w - 1, p.y);
    Draw(rp, p.x + p.w - 1, p.y + p.h - 1);
    Draw(rp, p.x, p.y + p.h - 1);
    Draw(rp, p.x, p.y);
    const uint32_t id = RizizOzezGfxID((uint32_t)p.number);
    if (OpenElmorGfx(kStoryIndex, id) != 1) {
      DebugLog("RizizOzezBrowserLoadGfx: Konnte Grafik nicht \xF6" "ffnen !\n");
      return 0;
    }
    BlitObjekt(rp, id, p.x, p.y, (uint32_t)p.w, (uint32_t)p.h);
    CloseElmorGfx(id);
  }
  return 1;
}

uint32_t RizizOzezBrowserSetText(QoERequester* req, const char* page, const char* text) {
  if (!req || !req->rp || !req->content || !text) return 0;
  RastPort* rp = req->rp;
  Box boxes[kMaxPagePictures]{};
  const uint32_t nb = PageBoxes(page, boxes);
  const int32_t lh = (int32_t)req->lineHeight;
  const int32_t W = (int32_t)req->contentWidth, H = (int32_t)req->content->Height;
  const int32_t sw = (int32_t)TextLength(rp, " ", 1);
  const int32_t baseline = rp->TxBaseline;
  SetDrMd(rp, 0);
  SetAPen(rp, req->pens[1]);
  int32_t x = 0, y = 0;
  const char* p = text;
  for (;;) {
    // 1. The further blanks of a run: from the first free spot for one.
    if (*p == ' ') {
      uint32_t run = 0;
      while (p[run] == ' ') ++run;
      bool found = false;
      for (int32_t yy = y; yy <= H - lh && !found; ++yy)
        for (int32_t xx = x; xx + sw < W; ++xx)
          if (!Collides(boxes, nb, xx, yy, xx + sw, yy + lh)) {
            x = xx;
            y = yy;
            found = true;
            break;
          }
      x += (int32_t)run * sw;
      p += run;
    }
    // 3. Newlines at the position.
    while (*p == '\n') {
      y += lh;
      x = 0;
      ++p;
    }
    // 4. Pen marks.
    uint32_t pen = 0;
    while (const char* after = PenMark(p, &pen)) {
      SetAPen(rp, pen);
      p = after;
    }
    // 5. The next word and what ends it: a newline ends its line (2.).
    if (!*p) break;
    const char* word = p;
    while (*p && *p != ' ' && *p != '\n') ++p;
    const uint32_t len = (uint32_t)(p - word);
    const bool line_break = *p == '\n';
    if (*p) ++p;
    // 6. The first place from the cursor where the word touches no picture.
    const int32_t w = (int32_t)TextLength(rp, word, len);
    bool placed = false;
    while (!placed && y <= H - lh) {
      for (int32_t xx = x;; ++xx) {
        const bool past = xx + w >= W;
        if (past && xx > 0) break;  // a word longer than a line stays at 0
        if (!Collides(boxes, nb, xx, y, xx + w, y + lh)) {
          Move(rp, xx, y + baseline);
          Text(rp, word, len);
          x = xx + w + sw;
          placed = true;
          break;
        }
        if (past) break;
      }
      if (!placed) {
        y += lh;
        x = 0;
      }
    }
    // 7. No room left: nothing more can be drawn.
    if (!placed) break;
    if (line_break || x >= W) {
      y += lh;
      x = 0;
    }
  }
  return (uint32_t)((y + lh) / lh);
}

uint32_t RizizOzezBrowser(QoERequester* req, uint32_t) {
  if (!req || !req->text) return 0;
  const uint32_t length = (uint32_t)std::strlen(req->text);
  char* stripped = RizizOzezBrowserAllocBuffer(req->text, length);
  if (!stripped) {
    DebugLog("RizizOzezBrowser: Konnte den Text nicht strippen. Exit...\n");
    return 0;
  }
  if (!RizizOzezBrowserLoadGfx(req, req->text)) {
    DebugLog("RizizOzezBrowser: Konnte Grafik nicht laden...\n");
    FreeVec(stripped);
    return 0;
  }
  const uint32_t lines = RizizOzezBrowserSetText(req, req->text, stripped);
  FreeVec(stripped);
  return lines;
}

QoERequester* InitRizizOzezRequester(uint32_t cw, TextFont* font, const char* page, int32_t x, int32_t y,
                                     uint32_t w, uint32_t h, uint32_t pen_a, uint32_t pen_b,
                                     StoryLayoutHook hook) {
  const char* end = page ? std::strstr(page, "\xA7\xA7") : nullptr;
  if (!end) {
    DebugLog("InitRizizOzezRequester: Konnte das Ende der Story-Seite nicht finden. Exit...\n");
    return nullptr;
  }
  const uint32_t length = (uint32_t)(end - page);
  DebugLog("InitRizizOzezRequester: Gesamtlaenge_MW %u\n", length);
  char* copy = static_cast<char*>(AllocVec(length + 1, MEMF_PUBLIC | MEMF_CLEAR));
  if (!copy) {
    DebugLog("InitRizizOzezRequester: Konnte Speicher f\xFCr Buffer nicht allokieren. Exit...\n");
    return nullptr;
  }
  std::memcpy(copy, page, length);
  QoERequester* r = InitRequesterTextBox_Init(cw, font, copy, x, y, w, h, pen_a, pen_b);
  if (!r) {
    DebugLog("InitRizizOzezRequester: Konnte Speicher f\xFCr Struktur nicht allokieren 001 \n");
    FreeVec(copy);
    return nullptr;
  }
  r->textHook = hook;
  // Room for twice the lines the plain text would take: pictures push words down.
  r->lines = (CountWrappedLines(r->rp, copy, 0, 0, 65535, 65535, cw) + 1) * 2;
  r->totalHeight = 0;
  if (!InitRequesterTextBox_Bitmap(r)) {
    DebugLog("InitRizizOzezRequester: Konnte BitMap f\xFCr Requester nicht allokieren 001 \n");
    FreeRequesterBox(r);
    FreeVec(copy);
    return nullptr;
  }
  const uint32_t lines = hook ? hook(r, 0) : 0;
  r->lines = lines;
  r->totalHeight = lines * r->lineHeight;
  BlitRequesterTextBox(r);
  InitSlider(r, 14, 224, 26, 22, 25, 24, 524, 105);
  FreeVec(copy);
  return r;
}
