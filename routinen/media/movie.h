// The movie player ("AFX"): IFF ANIM movies (.CBAN files in .\Anims\, frames
// as FORM ILBM, the first one whole, every later one an ANIM-5 delta) drawn
// onto the screen by one scheduler thread per MovieBase, each movie at its own
// frame rate. Screens: AllocMovieBase, LoadMovie + StartMovie per animation,
// SetMovieMode around requesters, StopMovie per movie, FreeMovieBase.
// Movies play only on the 2D display: in OpenGL mode LoadMovie gives null.
// Format and internals: docs/movies.md.
#pragma once
#include <cstdint>

struct MovieBase;
struct Movie;
struct TitelScreenData;
struct RastPort;

// Thread modes of AllocMovieBase. AFX_SOUND (movies with a sound track) is
// not built: such a base is refused.
enum : uint8_t { AFX_NONE = 0, AFX_SOUND = 1 };

// Options of StartMovie (each bit sets one option; 1, 2, 4 and 16 also clear
// theirs when not given, 8 only clears the shown flag). 64 (descrambling)
// means nothing here: scrambled files are refused by LoadMovie.
enum : uint8_t {
  SMF_PALETTE = 1,    // load the movie's colours before each frame is drawn
  SMF_NOT_DRAWN = 2,  // decoded and paced, never drawn
  SMF_LOOP = 4,       // at the end of the file play again from the first frame
  SMF_HIDE = 8,       // clears the shown flag: decoded once, then left alone
  SMF_SOUND = 16,
  SMF_SCRAMBLED = 64,
};

// 4 when the display runs the OpenGL renderer, else 0.
uint8_t GetAFXDisplayFlag();
// Always 0.
uint8_t GetAFXOptionFlag();

// A movie base for a screen over its displayed picture (null display: null);
// starts the scheduler thread. Also becomes CurrentMovieBase.
MovieBase* AllocMovieBase(TitelScreenData* display, uint8_t display_flag, uint8_t option_flag, uint8_t thread_mode);
// Halts and frees every movie, ends the scheduler and frees the base (null ignored).
void FreeMovieBase(MovieBase* base);
// Loads path (an IFF ANIM) halted; null when it cannot be played.
Movie* LoadMovie(MovieBase* base, const char* path, uint32_t unused1, uint32_t unused2);
// Starts the movie at (x, y) of the 640 x 480 area with the options and fps
// frames per second (0: every frame as soon as it is decoded). 1; null base
// or movie does nothing (0).
int32_t StartMovie(MovieBase* base, Movie* movie, uint16_t x, uint16_t y, uint8_t flags, uint16_t fps);
// 1 pauses the movie, 0 lets it run on from its next frame (null ignored).
void SetMovieMode(Movie* movie, uint8_t halted);
// Stops the movie; it is freed by a later StopMovie or FreeMovieBase. A null
// movie only frees the movies already stopped.
void StopMovie(MovieBase* base, Movie* movie);

// The base made last and not yet freed (null when none).
MovieBase* CurrentMovieBase();
// Frees CurrentMovieBase when a screen left one (the shell's shut-down hook).
void FreeCurrentMovieBase();

// Building and goods animations: stop the previous movie (may be null), clear
// its area (220 x 200 or 160 x 120 at x, y) and start the animation of the
// building or goods type there; the new movie, or null when there is none.
Movie* AnimateGebaeude(MovieBase* base, Movie* previous, uint16_t building_id, uint16_t x, uint16_t y);
Movie* AnimateWare(MovieBase* base, Movie* previous, uint16_t goods_id, uint16_t x, uint16_t y);
// Draws frame `frame` (frames stacked vertically, each `height` rows) of
// graphic id masked at (x, y) of target (null: the screen), first copying
// the background from (sx, sy) of source when source is another RastPort
// (null source: the target). Width or height 0: the graphic's own. 1, or 0
// when the graphic cannot be loaded.
int32_t AnimObjektMask(RastPort* source, uint16_t sx, uint16_t sy, RastPort* target, uint16_t x, uint16_t y,
                       uint16_t id, uint32_t unused, uint16_t frame, uint16_t width, uint16_t height);
