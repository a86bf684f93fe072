// OpenGL mode: the object list of 2D bitmaps the window thread draws every
// frame as textured quads over the 3D map scene, the frame itself and the
// window's GL context. See docs/gl3d.md.
//
// Threads: the window thread makes the context and draws the frames; the
// game thread (and the transition and colour-cycle threads, through
// UpdateRectangle and palette changes) draws into the bitmaps and queues the
// changed rectangles. Locks, always taken in this order: the display mutex
// (the bitmaps' pixels), the "QoE GL Screen Access Semaphore" (the list's
// links), an entry's own semaphore (its fields and its dirty list).
#pragma once
#include <cstdint>

#include "routinen/system/lists.h"  // ObjektListEntry, DirtyRect

struct BitMap;
struct RastPort;

// Above this many queued rectangles an entry's queue becomes one rectangle
// over the whole bitmap.
constexpr uint32_t kMaxDirtyRects = 64;

// Window thread, before the window opens in OpenGL mode: makes the screen
// semaphore and the Objekt3D-Liste and registers the engine's calls with the
// picture manager, the display (dirty rectangles) and the window loop (the
// frame). 1, or 0 when memory runs out. Calling it again does nothing.
int InitGLObjektList();
// Window thread, after the last frame: deletes every texture (when a context
// exists), frees the list and its entries and unregisters the calls.
void FreeGLObjektList();
// The Objekt3D-Liste (null before InitGLObjektList).
ListHeader* Objekt3DListe();

// Makes the window's OpenGL context on the calling (window) thread: double
// buffer, 16-bit depth buffer, compatibility profile, colour_bits per pixel;
// kind, width and height are not used. 1 on success. On failure the window
// is destroyed, a box titled "ERROR" names the failed step, 0 is returned
// and the caller goes on with the 2D renderer.
uint32_t CreateGLContext(uint32_t kind, uint32_t width, uint32_t height, uint32_t colour_bits);
// 1 once CreateGLContext succeeded (until FreeGLObjektList).
int GLContextReady();
// Destroys the main window (and its context).
void KillGLWindow();

// Window thread: one frame (clear, the map scene, the 2D objects); 1.
uint32_t GLProcessObjektList();
// The 2D pass of the frame: uploads every entry's queued rectangles, then
// draws the visible entries as quads. Called by GLProcessObjektList only.
void DrawObjektList();
// The 3D map scene of the frame; draws nothing until the engine has a scene.
void ProcessMapScene();
// The engine's aspect ratio, display width / height, set by every frame.
float GLAspectRatio();
// Frames drawn so far.
uint64_t GLFrameCount();
// 1: every frame writes its log line (a verbose log; QOE_VERBOSE=1 sets it).
void SetGLFrameLogging(int on);

// A new entry for bitmap (32-bit RGBA, 32-bit 0x00RRGGBB or 8-bit pens) with
// its RastPort: hidden, at (0, 0), texture size the smallest power of two
// not below the bitmap's sides, a semaphore of that name (count 1, maximum
// 1), an empty dirty list; appended at the list's tail. Null on failure.
ObjektListEntry* AddObjektListEntry(BitMap* bitmap, RastPort* rastport, const char* semaphore_name);
// Unlinks an entry; the next frame deletes its texture and frees it.
void RemoveObjektListEntry(ObjektListEntry* entry);
// Under the entry's semaphore: stores its position (null: logged, then a
// one-second pause) or its visible flag (null: logged, nothing else).
void SetObjektPos3D(ObjektListEntry* entry, int32_t x, int32_t y);
void SetObjektVisible3D(ObjektListEntry* entry, uint32_t visible);
// Queues a changed rectangle of the entry's bitmap under its semaphore: a
// width or height of 0 stands for the whole width or height; the rectangle
// is clipped to the bitmap (nothing left: nothing queued); one overlapping
// the last queued merges with it; beyond kMaxDirtyRects the queue becomes
// one rectangle over the whole bitmap.
void AddObjektDirtyRect(ObjektListEntry* entry, int32_t x, int32_t y, int32_t width, int32_t height);
// The screen picture's entry (made by the OpenGL variant of OpenElmorPic),
// null when there is none. Only for tests and the frame's own thread.
ObjektListEntry* GLScreenObjekt();

// ---------------------------------------------------------------------------
// The 3D engine's data (window thread only; docs/gl3d-engine.md).

// The thing store: up to kThingSlots named, growable arrays of fixed-size
// elements, each found by a 16-bit key.
constexpr uint16_t kThingSlots = 30;
constexpr uint32_t kThingNameMax = 39;            // longer names are cut
constexpr uint32_t kThingNotFound = 0xFFFFFFFFu;  // FindThingByName: no match

// Keys of the engine's eighteen stores.
enum : uint16_t {
  THING_POINT3D = 30007, THING_OBJECT3D = 30008, THING_FACE3D = 30009, THING_TEXTURE3D = 30010,
  THING_ANIMATION3D = 30011, THING_FRAME3D = 30012, THING_ELEMENT3D = 30013, THING_VERTEXCHANGE3D = 30014,
  THING_VPOINT3D = 30015, THING_VFACE3D = 30016, THING_CENTER3D = 30017, THING_VCENTER3D = 30018,
  THING_SORT3D = 30019, THING_SORTTMP = 30020, THING_PINDEX3D = 30024, THING_VPINDEX3D = 30025,
  THING_TRIPINDEX3D = 30026, THING_SELECT3D = 30029,
};

// `ThingIndexCode`: the index argument of GetThing is an element number
// (0 .. count; count only to read the end position) or one of these.
enum ThingIndexCode : int32_t {
  kThingRewind = -1,          // current := 0; null
  kThingCurrent = 999921,     // the element last appended
  kThingAppend = 999922,      // appends (grows by half when full)
  kThingBase = 999923,        // the array's base (GetThingCount: the plain count)
  kThingFree = 999924,        // frees the data; null
  kThingReset = 999925,       // count 0, data kept
  kThingDropLast = 999926,    // drops the last element; the new last or null
  kThingBaseToo = 999927,     // as kThingBase
  kThingSecond = 999928,      // the slot's second index
};

struct ThingSlot {
  char name[kThingNameMax + 1];
  uint16_t key;
  uint8_t* data;          // null after kThingFree
  uint32_t element_size;
  uint32_t mark;          // where the base starts (0)
  uint32_t capacity;
  uint32_t count;
  int32_t current;        // last appended or dropped-to element, -1 none
  uint32_t second_index;
};

// Registers the next free slot; 1, or 0 (logged) on a capacity of 0, a full
// table or no memory.
uint32_t SetThing(const char* name, uint16_t key, uint32_t element_size, uint32_t capacity);
// Grows a slot by half (at least one element), copying its data; 1 or 0.
// Pointers into the old array are no longer valid.
uint32_t ReallocThing(uint16_t slot);
// An element, or the effect of a ThingIndexCode; null on a bad key or index.
void* GetThing(uint16_t key, int32_t index);
// GetThing with the same arguments; returns the slot's count before the call.
uint32_t GetThingCount(uint16_t key, int32_t index);
// n x element size (also kept as the last byte offset); 0 for an unknown key.
uint32_t GetThingSize(uint16_t key, uint32_t n);
// Index of the first element whose leading text equals name, or kThingNotFound.
uint32_t FindThingByName(uint16_t key, const char* name);
// The store's results of the last call: index, count before it, byte offset.
uint32_t ThingLastIndex();
uint32_t ThingLastCount();
uint32_t ThingLastOffset();
// The slot with that key (the last registered one), null when none.
const ThingSlot* FindThingSlot(uint16_t key);
// Registers the eighteen engine stores with the capacities of the engine
// record; 1, or 0 at the first failure.
uint32_t RegisterEngineThings();
// Frees every texture's pixels, then applies kThingFree or kThingReset to
// the eighteen stores.
void ClearThings(int32_t code);
// Frees every slot's data and empties the table (engine end, tests).
void FreeAllThings();

// ---------------------------------------------------------------------------
// The engine configuration ("qoe3d.cfg").

// A scene command of the configuration, recorded until the scene set-up
// uses it: SetCharacter and XSetCharacter (id, four texts, four numbers),
// SetHexagone (id, three texts, five integers), XSetHexagone (id, three
// texts, one u16 and four u8 integers).
enum SceneCommandKind : uint16_t { kSetCharacter = 1, kSetHexagone = 2, kXSetCharacter = 3, kXSetHexagone = 4 };
struct SceneCommand {
  uint16_t kind;
  uint16_t id;
  uint16_t text_count;     // 4 for characters, 3 for hexagons
  const char* text[4];     // inside `tokens`
  float number[5];         // the tokens after the texts as floats
  int32_t integer[5];      // ... and as integers
  char* tokens;            // AllocVec block of the nine tokens, NUL-separated
};

struct EngineRecord {
  char banner[40];                           // "Quill Of Elmor - 3D Engine v140"
  uint16_t mode_width, mode_height, mode_depth;
  // Camera and its limits.
  float rotation, flip, scale, scale_min, scale_max, flip_min, flip_max;
  float key_speed_scale_min, key_speed_scale_max, mouse_speed_scale_min, mouse_speed_scale_max;
  // Textures and drawing (booleans 0/1).
  uint32_t mipmapping, antialias, filtering, half_textures, regroup_textures, correct_ratio, faces_culling;
  // Fog: mode 0 none, 1 linear, 2 exp, 3 exp2 (above 3: none).
  uint16_t fog_mode;
  float fog_start, fog_density;
  uint8_t fog_rgba[4];
  float perspective, aspect_ratio;
  // Store capacities.
  uint32_t cap_faces, cap_points, cap_objects, cap_textures, cap_frames, cap_point_indices, cap_vertex_changes,
      cap_view_faces, cap_view_points, cap_view_point_indices, cap_triangle_indices, cap_centres, cap_view_centres;
  // Map options.
  uint16_t season;  // SPRING 1, SUMMER 2, 3, WINTER 4, OLD 5, QOE 6, ANIM 7
  uint32_t old_look_2d, show_infos, snow_on, rain_on, night_on, sky_on, wind_on, use_qoe_maps, use_animations,
      use_high_poly, show_particles, show_barriers;
  float high_poly_scale, high_wave_scale, snow_speed, rain_speed, rain_high;
  int32_t owner_null, owner_user;
  uint8_t colours[6][4];
  uint32_t started;
  // The view's fog (copied after the file is read) and far distance.
  float view_fog_start, view_fog_density, view_far;
  // Scene commands in file order (AllocVec array).
  SceneCommand* commands;
  uint32_t command_count, command_capacity;
};

// The engine's settings record.
EngineRecord* Engine();
// Writes every default (frees recorded scene commands); engine not started.
void InitEngineDefaults();
// Reads the configuration file (see docs/gl3d-engine.md); 0 when it cannot
// be opened (the settings stay), else 1.
int32_t ReadEngineConfig(const char* path);
// The same on text in memory (length bytes; no NUL needed).
void ParseEngineConfig(const char* text, uint32_t length);
// Frees the recorded scene commands.
void FreeSceneCommands();

// ---------------------------------------------------------------------------
// JPEG pictures (libjpeg, IJG 6b interface).

// pixels set: the caller's buffer of width x height x bits / 8 bytes (bits
// 8 decodes grey, 24 colour); null: the decoder allocates (AllocVec, the
// caller frees) and fills in the size and bits (8 grey, 24 colour).
struct JpegImage {
  uint8_t* pixels;
  uint16_t width, height, bits;
};
// Decodes a JPEG file; 1 or 0. A failure leaves the caller's buffer as it was.
int32_t LoadJpegFile(const char* path, JpegImage* image);
// Decodes a JPEG in memory; 1 or 0, the buffer untouched on failure.
int32_t DecodeJpeg(const uint8_t* data, uint32_t size, JpegImage* image);
// Tests: 1 writes the decoder's progress lines to the log.
void SetJpegLogging(int on);

// ---------------------------------------------------------------------------
// Textures.

struct TEXTURE3D {
  char name[40];
  char file[256];          // the colour file
  uint8_t* pixels;         // rows top to bottom, bytes R G B (A); AllocVec
  uint32_t gl_name;        // 0 when none
  uint16_t width, height;
  uint16_t depth;          // 8, 24 or 32
  uint16_t format;         // 1 opaque (24), 2 blended (32), 3 sky
  uint8_t reduction;       // product of the reductions
  uint8_t uploaded, cull, mipmapped;
};

// Appends a texture, sets it up and, for a non-empty colour file, loads the
// files and uploads it; its index, or -1 when the store is full.
int32_t CreateTexture(const char* colour_file, const char* alpha_file, uint16_t width, uint16_t height,
                      uint16_t depth, const char* name, void* unused);
// Bytes of a texture's buffer: the image, and a third more when mip-mapped.
uint32_t TextureBytes(const TEXTURE3D* t);
// Sets up a texture record: sizes, flags, a buffer with a test pattern.
void InitializeT(TEXTURE3D* t, const char* file, uint16_t width, uint16_t height, uint16_t depth, const char* name);
// Loads the colour file (and for 32 bits the alpha file or the colour key) and uploads.
void LoadTextureFiles(TEXTURE3D* t, const char* alpha_file);
// Reads the texture's file (.jpg, .tga, .bmp, raw) into its buffer.
void LoadOneTextureFile(TEXTURE3D* t);
// Decodes base + ".jpg" (and at 32 bits base + "_alpha.jpg") into the buffer.
void LoadJpegTexture(TEXTURE3D* t, const char* base);
// Interleaves count RGB pixels and alpha bytes (null: the colour key gives
// 0, else 255) into target; target may equal rgb - count (in place).
void MakeRGBA(uint8_t* target, const uint8_t* rgb, const uint8_t* alpha, uint32_t count);
void SetColorKey(uint8_t r, uint8_t g, uint8_t b);
// Every pixel becomes (old[i0], old[i1], old[i2], old[i3] at 32 bits).
void RGBAorderTexture(TEXTURE3D* t, uint16_t i0, uint16_t i1, uint16_t i2, uint16_t i3);
void FlipBitmap(uint8_t* buffer, uint16_t width, uint16_t height, uint16_t depth);  // rows upside down
void FlipTexture(TEXTURE3D* t);
// Shrinks the texture by factor (block averages); multiplies its reduction.
void ReduceTexture(TEXTURE3D* t, uint32_t factor);
// target (width / factor x height / factor) := averages of factor x factor blocks.
void ReduceBitmap(const uint8_t* source, uint8_t* target, uint32_t width, uint32_t height, uint16_t depth,
                  uint32_t factor);
// Softens the alpha of inner non-transparent pixels (32 bits only).
void SmoothAlphaTexture(TEXTURE3D* t);
// The average R, G, B, A (A 255 below 32 bits) of rows x width pixels.
void AverageColor(const uint8_t* buffer, uint32_t width, uint32_t rows, uint16_t depth, uint32_t skip,
                  uint8_t colour[4]);
// Packs every 24- and 32-bit texture into two atlases and maps the texture
// coordinates of the points onto them (only with Engine.RegroupTextures);
// 1, or 0 when refused (sizes differ, too many textures, no memory).
int32_t RemapTextures();
// Points every face of FACE3D and VFACE3D at its texture again (after the
// texture store grew or was rebuilt).
void RelinkFaceTextures();

// ---------------------------------------------------------------------------
// GL low level.

// A view vertex in GL's interleaved T2F_C4UB_V3F layout (24 bytes).
struct VERTEX3D {
  float u, v;
  uint8_t rgba[4];
  float x, y, z;
};
// A face: first index into the point-index array, point count (3 to 50,
// more for particle ranges), texture index and record.
struct FACE3D {
  uint32_t first;
  uint16_t points;
  uint16_t texture_index;
  TEXTURE3D* texture;
};
struct DrawRange {
  uint32_t first;
  uint16_t count;
  uint16_t mode;
};
// Indices the face batch holds before it draws.
constexpr int32_t kBatchFlushIndices = 49856;

uint32_t UploadTexture(TEXTURE3D* t);   // makes the GL texture (levels, filters); 0
void RefreshTexture(TEXTURE3D* t);      // re-sends the whole buffer
void FreeTexture(TEXTURE3D* t);         // deletes the GL texture
void OSSetmode(uint16_t mode);          // render modes 1 .. 7
void SetViewArrays();                   // declares the view's vertex array
void AddFaceToBatch(const FACE3D* face);
void FlushFaceBatch();
// 1 when the face is to be drawn (3 to 50 points; back faces when culling).
int32_t PolyVisible(const uint32_t* indices, int32_t count, int32_t test);
void DrawIndexRange(const DrawRange* range);
void SetFog();
void SetClearColor(uint8_t r, uint8_t g, uint8_t b, uint8_t a);

// The face batch's counters and state, for tests.
struct BatchInfo {
  int32_t indices;
  uint32_t bound_texture;
  uint32_t faces_tested, faces_culled, flushes;
  float point_size;
  uint32_t primitive;
};
BatchInfo FaceBatchInfo();
// 0 while textures are gathered into atlases (no texture per record).
void SetIndividualTextures(int on);
