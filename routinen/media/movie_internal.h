// Internals of the movie player: the records of a movie base, a movie, its
// decoder and its file cache, the frame decoder, the renderer and the
// module's state record. See docs/movies.md.
#pragma once
#include <sys/time.h>

#include <atomic>
#include <cstdint>
#include <mutex>

#include "movie.h"

struct QoeFile;
struct QoeThread;
struct QoeSemaphore;
struct QoeSignal;
struct PaletteCopy;

// ---- Limits -----------------------------------------------------------------
constexpr uint32_t kMovieMaxWidth = 1016;   // 127 bytes per plane row (DLTA columns)
constexpr uint32_t kMovieMaxHeight = 4096;
constexpr uint32_t kRGBStructSize = 4100;   // LoadRGB32 table: 256 colours and headers
constexpr uint32_t kMovieBigFile = 50000000;  // reopened for sequential reading

// ---- Records copied from the file (fields in host order) --------------------
struct BitMapHeader {  // BMHD, 20 bytes on disk
  uint16_t width, height;
  int16_t x, y;
  uint8_t planes, masking, compression, pad;
  uint16_t transparent;
  uint8_t x_aspect, y_aspect;
  int16_t page_width, page_height;
};
struct AnimHeader {  // ANHD, 40 bytes on disk
  uint8_t operation, mask;
  uint16_t width, height;
  int16_t x, y;
  uint32_t abs_time, rel_time;
  uint8_t interleave, pad;
  uint32_t bits;
  uint8_t reserved[16];
};
constexpr uint32_t kBmhdSize = 20, kAnhdSize = 40;

// The colour table in the form LoadRGB32 reads: groups {u16 count, u16 first,
// count x 3 u32 with the component in the top byte} ended by a count of 0.
struct RGBStruct {
  uint8_t bytes[kRGBStructSize];
};

// The decoder of one movie: two planar buffers of width x height bytes (8
// planes of width x height / 8 bytes, plane p at p x width x height / 8).
// buffer_flag 0xFF: PBuffer1 holds the newest frame; 0: PBuffer2 does.
struct ANIM5Handle {
  uint32_t reserved;
  Movie* movie;
  uint8_t* pbuffer1;
  uint8_t* pbuffer2;
  uint8_t* spare[2];
  uint16_t width, height;
  uint8_t depth;
  uint8_t buffer_flag;
  uint8_t spare_byte;
};

// ---- File cache ---------------------------------------------------------------
enum : uint8_t { CACHE_FRAMES = 1, CACHE_SINGLE = 2, CACHE_NONE = 3 };
constexpr uint32_t kCacheSingleLimit = 1048576;

struct CacheFrame {
  uint32_t file_pos;
  uint32_t valid;
  QoeSemaphore* sem;  // "Frame Semaphore"
  CacheFrame* next;
  uint8_t* data;
};

// The reading side of one movie file; read only by the thread decoding the movie.
struct CacheHandle {
  uint32_t spare0;
  CacheFrame* first;
  MovieBase* base;
  QoeFile* file;
  uint32_t pos;
  uint32_t spare1;
  uint32_t frame_size;
  uint32_t frame_count;
  uint32_t file_size;
  uint32_t cached;     // bytes held in memory
  QoeSemaphore* sem;   // "CacheHandle Semaphore"
  uint8_t filled;
  uint8_t spare2;
  uint8_t mode;        // CACHE_*
};

CacheHandle* AFX_Open(const char* path, int32_t open_mode, MovieBase* base);
// Bytes copied into buffer (fewer at the end of the file, 0 past it).
int32_t AFX_Read(CacheHandle* handle, void* buffer, int32_t length);
// Modes -1 start, 0 current, 1 end; the new position is clamped to
// 0 .. size - 1. Returns the old position (-1 for a null handle).
int32_t AFX_Seek(CacheHandle* handle, int32_t offset, int32_t mode);
uint32_t AFX_FileSize(CacheHandle* handle);
int32_t AFX_Close(CacheHandle* handle);

// ---- Movie ----------------------------------------------------------------------
// MovieState.
enum : uint8_t { MS_DECODE = 1, MS_DUE = 2, MS_LOADED = 3, MS_REMOVE = 4 };

struct RenderTarget {  // 28 bytes (the file's room); the screen position
  uint16_t x, y;
  uint8_t reserved[24];
};

struct Movie {
  Movie* next;  // in whichever list of the base holds it (guarded by the base semaphore)
  MovieBase* base;
  // Records, made by LoadMovie; written by the scheduler under `sem`.
  BitMapHeader* bmhd;
  uint8_t* part2;       // 20 bytes, not used
  AnimHeader* anhd;
  ANIM5Handle* decoder;  // made at the first BMHD
  RenderTarget* target;
  uint8_t* sound;       // 24 bytes, sound mode only
  CacheHandle* file;
  QoeSemaphore* sem;    // "Movie Semaphore": every field below
  timeval due, last_drawn, period;
  uint32_t width, height, depth;
  RGBStruct* colours;  // the colour chunk of the last frame that had one
  RGBStruct* palette;  // every colour the movie has set, one group from 0 (drawn with)
  uint32_t frame_counter;   // frames decoded since the start or the last loop
  uint32_t frame_pos;       // file position of the current frame's chunk
  uint32_t first_frame_pos;
  uint32_t form_length;
  uint32_t frames_drawn;
  uint16_t colour_count;
  uint16_t x, y;
  uint16_t scramble_start, scramble_state;
  uint8_t scrambled, shown, sound_option, palette_per_frame, not_drawn, loop, decoder_ready, untimed;
  // Also read by the scheduler's collect step under the base semaphore only.
  std::atomic<uint8_t> halted;
  std::atomic<uint8_t> state;   // MS_*
  // Set by StopMovie before it waits for the semaphore: a frame waiting in
  // the renderer is dropped.
  std::atomic<uint8_t> stop_requested;
  // Per-frame colour switch of DecodeMovieFrame: an LRGB forbids a CMAP.
  uint8_t cmap_allowed;
};

// ---- Movie base ------------------------------------------------------------------
struct MovieBase {
  TitelScreenData* display;
  PaletteCopy* palette_target;
  uint32_t display_words[2];
  // The three lists, guarded by `sem`.
  Movie* active;   // the scheduler's movies (changed only by the scheduler)
  Movie* fresh;    // loaded, not yet taken by the scheduler
  Movie* removed;  // waiting to be freed on the game thread
  // Scheduler thread: handle (game thread) and quit flag (cleared by the
  // thread as its last act).
  QoeThread* scheduler;
  std::atomic<uint32_t> scheduler_quit;
  QoeSemaphore* sem;            // "MovieBase Semaphore"
  QoeSignal* scheduler_event;   // "AFX_SchedulerEvent", auto-reset
  QoeSignal* main_wake;         // "AFX_MainWakeBit", auto-reset
  uint8_t display_flag;         // 4: OpenGL
  uint8_t option_flag;
  uint8_t thread_mode;          // AFX_NONE
  // On the headless virtual clock (and no test clock) the scheduler is a
  // clock thread: it sleeps on the platform clock, and every call that wakes
  // it sets `wake` first (the scheduler clears it when it wakes). Set before
  // the thread starts.
  bool clock_thread;
  std::atomic<int> wake;
};

// ---- Decoder (anim5.cpp) ---------------------------------------------------------
// Walks the chunks of one frame (the body of its FORM, starting with the
// type). Returns 0; a frame with a broken chunk is dropped (-1).
int32_t DecodeMovieFrame(Movie* movie, uint32_t, uint32_t, const uint8_t* frame, uint32_t length, uint32_t);
// Fills the handle and allocates both buffers (cleared). 1, or 0 when memory runs out.
int32_t InitANIM5Handle(ANIM5Handle* handle, uint32_t, Movie* movie, uint16_t width, uint16_t height, uint8_t depth);
// BODY into PBuffer1, copied to PBuffer2; 1, or 0 for a broken body (nothing changed).
int32_t DecodeILBMBody(ANIM5Handle* handle, const BitMapHeader* bmhd, const uint8_t* body, uint32_t length);
// BODY into one planar buffer; 0 when the body runs short or a run passes its row.
int32_t ConvertANIM5Planes(uint8_t* buffer, const uint8_t* body, uint32_t length, const BitMapHeader* bmhd);
// A method-5 delta into the buffer two frames back; flips the buffer flag.
// 1, or 0 for a broken delta (the flag stays).
int32_t ApplyDLTA(ANIM5Handle* handle, const uint8_t* delta, uint32_t length);
// Decodes the delta into 8 planes of width x height / 8 bytes. 1, or 0 when
// an offset or op list passes the delta or the plane.
int32_t DecodeVDelta(uint8_t* const planes[8], uint16_t width, uint16_t height, const uint8_t* delta, uint32_t length);
// CMAP of count colours (3 bytes each) into a one-group table.
void MakeRGB32Table(RGBStruct* table, const uint8_t* cmap, uint16_t count);
// LRGB groups {u8 count, u8 first, count x RGB} until a count of 0, written
// as the table's groups in order followed by a closing count 0, first 0; 0
// when a group passes the chunk or colour 255 or the groups do not fit the
// table (the table is not changed).
int32_t ConvertLRGB(const uint8_t* lrgb, uint32_t length, RGBStruct* table);
// The colours of groups over those whole holds, written back into whole as
// one group from colour 0 (the movie's palette: loaded before a frame, it
// gives the movie all its colours, not only the ones the frame changed).
void MergeRGBTable(RGBStruct* whole, const RGBStruct* groups);
void FreeANIM5Handle(ANIM5Handle* handle);
// The planar buffer holding the newest frame.
const uint8_t* ANIM5NewestFrame(const ANIM5Handle* handle);
// Reads a BMHD (at least 20 bytes) into host order; 0 when too short.
int32_t ReadBitMapHeader(const uint8_t* data, uint32_t length, BitMapHeader* out);
// 1 when the frame header describes a picture the decoder takes: width a
// multiple of 8 from 8 to 1016, height 1 to 4096, 1 to 8 planes, no mask
// plane, compression 0 or 1. Logs why not under `who`.
int32_t CheckBitMapHeader(const BitMapHeader* bmhd, const char* who, const char* path);

// ---- Renderer (movierender.cpp) --------------------------------------------------
struct PlanarDescription {
  const uint8_t* planes[8];
  uint8_t* dest;        // first pixel of the first row
  uint32_t pitch;       // bytes from one destination row to the next
  uint32_t width;       // pixels, a multiple of 8
  uint32_t height;
  uint32_t row_stride;  // bytes from one plane row to the next (width / 8)
  uint32_t bytes_per_pixel;  // 1: pens as they are; 4: pixels through `pens`
  const uint32_t* pens;      // bytes_per_pixel 4: the display pixel of each pen
};
// Any width: whole 8-pixel columns through the nibble table, the rest of a
// row pixel by pixel.
void PlanarToChunky(const PlanarDescription* d);
// Draws the decoder's newest frame at (x, y) of the game area (target 0).
void RenderANIM5Direct(ANIM5Handle* decoder, TitelScreenData* display, uint8_t target, uint16_t x, uint16_t y);

// ---- Module state ------------------------------------------------------------------
// The clock and wait of the scheduler (by default the platform clock, which a
// headless run makes virtual; tests may drive their own) and an observer of
// drawn frames.
struct MovieClock {
  void (*now)(timeval* tv);
  int (*wait)(QoeSignal* event, int timeout_ms);  // 1 when signalled
  void (*drawn)(Movie* movie, uint32_t frame, const timeval* when);  // may be null
};

struct MovieModuleState {
  // Written by AllocMovieBase/FreeMovieBase on the game thread, read by the
  // shut-down on the window thread.
  std::atomic<MovieBase*> current_base{nullptr};
  // Set before any base is made (tests); read by the scheduler threads.
  MovieClock clock{};
};
MovieModuleState& MovieState();
// Back to the real clock (tests); the current base is left alone.
void ResetMovieState();
// Replaces the clock (null fields: the real ones). Only while no base runs.
void SetMovieClock(const MovieClock* clock);

// A movie record over a file, checked like LoadMovie does, in no list and
// halted (LoadMovie; tests, the fuzz target and the benchmark decode with it
// directly). Null when the file cannot be played. FreeMovie frees it.
Movie* MakeMovie(MovieBase* base, const char* path);
void FreeMovie(Movie* movie);
// Reads the frame chunk at the movie's file position and decodes it; used by
// the scheduler and the fuzz target. 1 decoded, 0 at the end of the file.
int32_t ReadNextMovieFrame(Movie* movie);

// The file name (Latin-1, "Luxus\" before the luxury goods) of a building's
// or goods type's animation row, as AnimateGebaeude and AnimateWare load it;
// null when the ID has no row.
const char* BuildingAnimFile(uint16_t building_id);
const char* GoodsAnimFile(uint16_t goods_id);
