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

// Window thread: one frame (clear, the map scene, the 2D objects) into the
// picture kept between frames, then copied to the back buffer. Only the
// queued rectangles of shown entries are drawn again, unless an entry came,
// went, moved, was shown or hidden, or the window was exposed (then all of
// it). 1 when it drew; 0 when nothing changed: nothing is drawn and the
// window keeps its picture (the loop does not swap).
uint32_t GLProcessObjektList();
// The 2D pass drawn whole into the bound framebuffer: uploads every entry's
// queued rectangles, then draws the visible entries as quads; the next frame
// is then drawn whole.
void DrawObjektList();
// The 3D map scene of the frame (after the frame was cleared): the part of
// the published map the map screen shows, as a landscape under the camera.
// Draws nothing until the engine has a scene and while no map is published.
void ProcessMapScene();
// Copies the published map for the coming frame under the map lock (tried
// once; while the game thread holds it the last copy stays); 1 when a map
// is published. ProcessMapScene takes the copy itself unless this ran
// before it in the same frame.
uint32_t TakeMapCopy();
// The cap of frames a second for the GL renderer of that name (GL_RENDERER):
// 30 for one that draws on the processor (Mesa's llvmpipe, softpipe), 0 (no
// cap below the display's refresh rate) for the others.
uint32_t GLFrameCapFor(const char* renderer);
// 1 when the last ProcessMapScene drew a landscape.
uint32_t MapSceneShowsLandscape();
// Window thread: 1 while another screen stands over the landscape: the
// coming ProcessMapScene draws it with its weather, smoke, fire and wind at
// rest (the frame clock stands still); 0: they move, one step a frame.
void SetMapSceneResting(uint32_t resting);
// Window thread: the coming ProcessMapScene (moving, not resting) moves its
// clock, weather and smoke by `steps` steps at once, the frames since the
// last landscape, so that a landscape drawn on every third frame keeps the
// pace of one drawn on each; then 1 again (at least 1).
void SetMapSceneSteps(uint32_t steps);
// Window thread: the landscape is no longer shown (hidden under an opaque
// screen): clicks find no cell until it is drawn again.
void ForgetMapLandscape();
// Any thread (the map screen's clicks): the cell of the last drawn
// landscape whose projected outline holds display pixel (x, y), the nearest
// to the eye where two do: 1 and its map column and row in the window of
// map parts; 0 when there is none.
int32_t MapScenePick(int32_t x, int32_t y, int32_t* column, int32_t* row);
// Any thread: the display pixel of the projected centre of the cell at map
// column and row (window of map parts) in the last drawn landscape: 1, or 0
// when that landscape did not draw it.
int32_t MapSceneCellPixel(int32_t column, int32_t row, int32_t* x, int32_t* y);
// Any thread (the map screen): the hex the player marked, by its map column
// and row in the window of map parts; (-1, -1) none. Every frame makes it
// the selected cell while it is visible (beside the focus cell).
void MarkMapSceneCell(int32_t column, int32_t row);
// Any thread: 1 while the engine is started with its map scene built (the
// map screen then opens its view on the landscape), with the scene window's
// columns and rows; 0 before the start and after the stop.
uint32_t MapSceneReady(uint16_t* columns, uint16_t* rows);
// The engine's aspect ratio, display width / height, set by every frame.
float GLAspectRatio();
// Frames so far (drawn, or found unchanged).
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
// A face of more points is a particle range: its texture number is a draw
// mode (4 points, 5 lines, 6 large points) and its texture is texture 0.
constexpr uint16_t kParticleFacePoints = 50;
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
// Ranges of one draw mode in order, gathered into one call where their
// primitives stay whole (the same picture as a call per range). In the
// blending modes without depth writes (2, 4, 5, 6) a primitive whose points
// all have alpha 0 (a faded particle) is left out: it would change nothing.
void DrawIndexRanges(const DrawRange* ranges, uint32_t count);
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

// ---------------------------------------------------------------------------
// 3D objects, matrices, model files and hexagon models (docs/gl3d-models.md).
// 3D units: a hex is 64 wide and 55.424 deep; y points up.

// The point record of POINT3D is the view's vertex layout.
using POINT3D = VERTEX3D;
// A point number relative to its object's first point.
using PINDEX3D = uint32_t;
// One byte per point of POINT3D, 1 when the point sways in the wind.
using SELECT3D = uint8_t;
// The centre of one transparent face.
struct CENTER3D {
  float x, y, z;
};
// A point's position quantised over its object's box: coordinate =
// q x (max - min) / 32767 + min. point is relative to the object's first point.
struct VERTEXCHANGE3D {
  uint16_t point, x, y, z;
};

// A named view into the shared stores. Every "bytes" field is its count
// times the store's element size; the pointers are re-read from the first
// indices whenever a store grows (RelinkEngineObjects).
struct OBJECT3D {
  char name[40];
  uint32_t first_face;
  int32_t face_count;
  uint32_t face_bytes;
  FACE3D* faces;
  uint32_t first_centre;
  int32_t centre_count;
  uint32_t centre_bytes;
  CENTER3D* centres;
  uint32_t first_point;  // also the object's first SELECT3D entry
  int32_t point_count;
  uint32_t point_bytes;
  POINT3D* points;
  uint32_t first_index;
  int32_t index_count;
  uint32_t index_bytes;
  PINDEX3D* indices;
  uint32_t first_change;
  int32_t change_count;
  uint32_t change_bytes;
  VERTEXCHANGE3D* changes;
  float matrix[16];  // own transform within the hierarchy
  float min[3], max[3];  // bounding box
  uint16_t level;    // hierarchy level 0 .. 3
  uint16_t spare;    // always 0
};

// A frame: a target (object, animation or frame) under its own transform.
struct FRAME3D {
  int32_t number;         // time stamp within the animation
  uint32_t target_index;
  void* target;           // the target's record, or null
  float matrix[16];       // MatrixRST of the next three
  float rotation[3], scale[3], translation[3];
  uint8_t flags;          // bit 0: in use
  uint16_t target_key;    // THING_OBJECT3D, THING_ANIMATION3D or THING_FRAME3D
};
struct ANIMATION3D {
  char name[40];
  uint32_t last_frame;    // the highest frame number (the length)
  uint32_t first_frame;   // index in FRAME3D
  uint32_t frame_count;
  FRAME3D* frames;
  uint16_t kind;          // 2: loaded from a model file
};
// A placed instance of an object or an animation.
struct ELEMENT3D {
  char name[40];
  FRAME3D frame;          // number: start time; target; matrix; bit 0 visible
  float factor;           // 1.0 from a model file
};

// One terrain type, indexed by terrain graphic number (kHexagonTypes of them).
constexpr uint32_t kHexagonTypes = 100;
struct HexagonType {
  uint8_t terrain;
  char name[40];
  uint8_t parameter;
  uint8_t rgba[4];
  char low_file[256];
  char high_file[256];
  uint16_t low_key, high_key;  // THING_OBJECT3D
  OBJECT3D* low;               // null: the type is not defined
  uint32_t low_index;
  OBJECT3D* high;
  uint32_t high_index;
};

// The scene state the object and model code reads (the scene set-up sets it).
struct SceneModelState {
  int loading;           // model names get the season folder
  int merge_hierarchy;   // hexagon models are merged into one object
  int share_models;      // types with equal file names share their models
  int centres_dirty;     // faces were added: MakeFaceCenters is due
  int objects_changed;   // a model file was loaded
  int elements_present;  // a model file brought elements
  HexagonType* hexagons; // kHexagonTypes records (AllocVec; freed by the reset) or null
  // Scene objects ApplyObjectColours leaves alone (-1: none).
  int32_t rain, snow, logo, authors, overlay, fire, smoke;
  int32_t water_objects; // objects the first water type added, minus one
  uint8_t night_colour[4];
  uint8_t water_colour[3][4];
  float hex_bonus;       // size bonus of the type being standardised
};
// The scene state of the engine (window thread).
SceneModelState* SceneModels();
// Frees the hexagon table and writes the start values (flags 0, slots -1,
// the water colours).
void ResetSceneModels();

// Building objects. Each re-reads the kept pointers when a store grew.
// Appends a cleared object (identity matrix) named name at level; its
// index, or -1 when the store is full.
int32_t NewObject(const char* name, uint16_t level);
void ClearObject(OBJECT3D* o);  // all zero, identity matrix
// Adds a face with that texture to the last object; its FACE3D index or -1.
int32_t NewFace(uint16_t texture);
// Adds a point to the last object and its last face; mode 1: u, v from the
// pixel position (px / reduction) / width, else the floats u, v. Its POINT3D
// index or -1.
int32_t NewPoint(float x, float y, float z, uint32_t px, uint32_t py, float u, float v, uint32_t mode);
void SetPointXYZ(POINT3D* p, float x, float y, float z);
// Position of index number n (indices[n], or point n without indices),
// replaced by every vertex change of that point (the last one wins).
void PfromPINum(const OBJECT3D* o, uint32_t n, float xyz[3]);
void ObjectMinMax(const OBJECT3D* o, float min[3], float max[3]);
void FaceMinMax(const OBJECT3D* o, const FACE3D* f, float min[3], float max[3]);
// Box := ObjectMinMax; refused (logged) for an object with vertex changes.
void SetObjectBounds(OBJECT3D* o);
// Rebuilds CENTER3D: one centre per face whose texture has format 2.
void MakeFaceCenters();

// Changing objects.
// mode 1: the values are target sizes (0: the mean of the other factors);
// else factors.
void ResizeObject(OBJECT3D* o, float sx, float sy, float sz, uint32_t mode);
// vectors: the first x; count vectors stride bytes apart.
void ScaleV(void* vectors, uint32_t count, uint32_t stride, float sx, float sy, float sz);
void TranslateV(void* vectors, uint32_t count, uint32_t stride, float dx, float dy, float dz);
void CenterObject(OBJECT3D* o, uint32_t fx, uint32_t fy, uint32_t fz);
void TransalateObejct(OBJECT3D* o, float dx, float dy, float dz);
void TransformObject(OBJECT3D* o, const float m[16]);
void YRotateObject(OBJECT3D* o, float degrees);
// Marks the points of the object's 32-bit-textured faces in SELECT3D.
void SelectObjectTransPoints(OBJECT3D* o);
void SetObjectRGBA(OBJECT3D* o, const uint8_t rgba[4]);
void MixRGBA(uint8_t colour[4], const uint8_t other[4]);  // byte := (byte + other) / 2
// Merges the objects from first to the store's end into first through the
// hierarchy; 1, or 0 (logged) when there is nothing to merge or the objects'
// arrays do not follow each other.
int32_t MakeOneObject(uint32_t first);
// Re-reads every kept pointer (objects, faces' textures, animations, frames,
// elements, hexagon models) from its index.
void RelinkEngineObjects();

// Matrices: 16 floats; (x, y, z) becomes (x m0 + y m4 + z m8 + m12, x m1 +
// y m5 + z m9 + m13, x m2 + y m6 + z m10 + m14).
void SetMi(float m[16]);
void SetMr(float m[16], float degrees, uint32_t a, uint32_t b, uint32_t c, uint32_t d);
void SetMrx(float m[16], float degrees);
void SetMry(float m[16], float degrees);
void SetMrz(float m[16], float degrees);
void SetMt(float m[16], float x, float y, float z);
void SetMs(float m[16], float x, float y, float z);
// c := a b (applies a, then b); c may be a or b.
void MatrixMul(const float a[16], const float b[16], float c[16]);
// m := Rx Ry Rz S T (degrees).
void MatrixRST(float m[16], const float rotation[3], const float scale[3], const float translation[3]);
void TransformV(const float m[16], void* vectors, uint32_t count, uint32_t stride);
// Sets the hierarchy slot of level 0 .. 3 to a copy of matrix.
void UpdateHierachy(const float m[16], uint32_t level);
// Applies the slots of level 3, 2, 1 (up to level) and always 0.
void TransformHierarchyV(void* vectors, uint32_t count, uint32_t level, uint32_t stride);
// The four slots := identity.
void ResetHierarchy();

// Model files (".qoe", "OPGL" or "FORM").
// dest := season folder + name while loading, else name (cut to size).
void MakeSeasonPath(char* dest, uint32_t size, const char* name);
// Loads a model file; the OBJECT3D index of its first object, or -1 (logged,
// every store as it was).
int32_t LoadQOE(const char* name);
// The same on a file in memory (path only for the log).
int32_t LoadQOEMemory(const uint8_t* data, uint32_t size, const char* path);
// frame's target := element index of the store key; use 1 sets bit 0, 0
// clears the flags.
void SetFrameUsage(FRAME3D* frame, uint32_t target, uint16_t key, uint32_t use);

// Hexagon models.
void SetHexagone(int32_t terrain, const char* name, const char* low_file, const char* high_file, uint32_t parameter,
                 uint8_t r, uint8_t g, uint8_t b, uint8_t a);
// SetHexagone, then the cull flag of every added face's texture is cleared.
void XSetHexagone(int32_t terrain, const char* name, const char* low_file, const char* high_file,
                  uint32_t parameter, uint8_t r, uint8_t g, uint8_t b, uint8_t a);
// Brings the objects from index to the store's end to the hex size and shape.
void StandarizeHexagone(int32_t index);
void ApplyObjectColours();

// ---------------------------------------------------------------------------
// The view, the camera and the draw passes (docs/gl3d-view.md).
//
// Each frame the engine copies what it shows into one collecting object,
// the VIEW, whose faces, points, point indices and centres live at the
// bases of VFACE3D, VPOINT3D, VPINDEX3D and VCENTER3D, and draws that
// through the camera: opaque faces, then transparent faces far to near, the
// sky, the particle ranges. Window thread only.

// A depth-sort entry: a VIEW face index and its key (projected depth).
struct SORT3D {
  uint32_t face;
  float key;
};
static_assert(sizeof(SORT3D) == 8);

// The camera: angles in degrees, the projection and the clip box of the
// visibility test.
struct CameraRecord {
  float rotation;        // about Y
  float flip;            // about X
  float factor;          // projection factor: scale x 0.008 (x 0.032 before the scene is built)
  float perspective;     // copy of Engine.Perspective
  float ratio;           // aspect-ratio factor (1.0 without Engine.CorrectRatio)
  float depth, half_depth;  // projection depth d and d / 2
  float clip_min[3], clip_max[3];  // strictly inside: (-0.999, -0.999, 0.001) .. (0.999, 0.999, 1.0)
  float distance[3];     // (0, 0, -332.544)
  float matrix[16];      // built each frame by BuildCameraMatrix
  int transform;         // DrawView applies the matrix
  int project;           // DrawView projects
};
constexpr float kCameraDistance = -332.544f;
// A face index that never matches: the engine's skip-face setting.
constexpr uint16_t kNoSkipFace = 65535;

// Counters of the draw passes, for tests and the log.
enum ViewPass : uint8_t { kPassOpaque = 1, kPassBlended = 2, kPassSky = 3, kPassParticles = 4 };
struct ViewPassInfo {
  uint32_t draws;            // DrawView calls
  uint32_t early_draws;      // draws forced by a full VIEW
  uint32_t opaque_faces, blended_faces, sky_faces;  // faces handed to the batch
  uint32_t particle_ranges;  // faces drawn with DrawIndexRange
  uint32_t skipped_faces;    // the skip face
  uint32_t untextured_faces; // faces without a texture, never drawn
  uint32_t refused_objects;  // AddObjectToView refused an object
  uint32_t offscreen_faces;  // faces wholly beside the screen, left out (GL only)
  // The passes of the last DrawView in order: pass and render mode.
  uint8_t pass[4];
  uint16_t pass_mode[4];
  uint32_t pass_count;
};

// The VIEW and the record of the copy added last (its pointers lead into
// the VIEW: changing it changes the copy, never the source).
OBJECT3D* ViewObject();
OBJECT3D* LastViewObject();
CameraRecord* Camera();
ViewPassInfo ViewPasses();
void ResetViewPasses();
// Start values of the view's state: the camera (angles 0, clip box,
// distance, identity matrix, both flags on), the skip face, the grid size
// 20 x 36, frame time, hold, wind and scene-built 0, no bird or shield
// entry and the bird's circling offset; InitEngineDefaults calls it.
void ResetViewState();

// Empties the VIEW (its arrays at the bases of the four view stores).
void InitView();
// Copies the object into the VIEW at (x, y, z) and scale; LastViewObject
// then describes the copy. A full VIEW is drawn first.
void AddObjectToView(OBJECT3D* o, float x, float y, float z, float scale);
// Scales (unless 1) and moves the points and centres (not for an object
// with vertex changes) and always the box.
void SizeTranslateObject(OBJECT3D* o, float x, float y, float z, float scale);
// vectors: the first x; count vectors stride bytes apart; each component
// := component x scale + offset (scale 1: component + offset).
void ResizeTranslateV(void* vectors, uint32_t count, float x, float y, float z, float scale, uint32_t stride);
// Transforms (flag), projects (flag), sorts and draws the VIEW, then
// empties it.
void DrawView();
// ProjectV over the VIEW's points and centres.
void ProjectView();
// Projects count vectors (stride bytes apart, the first x at vectors).
void ProjectV(void* vectors, uint32_t count, uint32_t stride);
// The VIEW's transparent faces by depth, ascending; *count their number.
SORT3D* SortFaceCenters(uint32_t* count);
// Bottom-up merge sort by key, ascending; the later of equal keys first.
// Returns the buffer (entries or temporary) holding the result.
SORT3D* MergeSortKeys(SORT3D* entries, SORT3D* temporary, uint32_t count);
// mode 1 sets, 2 adds. Rotation: 360 or more becomes 0. Flip and scale
// clamp to their limits; scale sets the projection factor and the fog.
void SetViewRotation(float angle, uint32_t mode);
void SetViewFlip(float angle, uint32_t mode);
void SetViewScale(float scale, uint32_t mode);
// A 4-component vector: mode 1 sets, 2 adds; then UpdateFog.
void SetPostion(float v[4], float x, float y, float z, float w, uint32_t mode);
void SetV(float v[3], float x, float y, float z);
// Fog start and density from the view's settings, clamped to 0 .. 1, into
// the engine record; SetFog and the clear colour (with a GL context).
void UpdateFog();
// The frame's camera matrix: Ry(rotation) Rx(flip), then the camera
// distance once the scene is built.
void BuildCameraMatrix();
// The frame's display width / height; stored as the ratio only with
// Engine.CorrectRatio (else 1.0).
void SetViewAspect(float ratio);

// ---------------------------------------------------------------------------
// Characters: the figures of the map as models under "qoe-anims/".

enum CharacterState : uint8_t {
  kCharacterNone = 0, kCharacterLazing = 1, kCharacterGuarding = 2, kCharacterAttack = 3,
  kCharacterWalk = 4, kCharacterDeath = 5, kCharacterAnnex = 6,
};
constexpr uint32_t kCharacterEntries = 150;
constexpr uint16_t kCharacterFigureTypes = 2003;  // figure types below this
constexpr uint32_t kNoElement = 0xFFFFFFFFu;      // element index of a model that did not load

struct CharacterEntry {
  uint16_t figure_type;  // FigurType
  char name[40];         // "FID_BUSARD", ...
  uint8_t state;         // CharacterState
  char state_name[40];
  char low_path[255];    // "qoe-anims/" + file
  char high_path[256];
  ELEMENT3D* low;        // null when none
  uint32_t low_index;
  ELEMENT3D* high;
  uint32_t high_index;
};

// The character table (kCharacterEntries records, allocated by the scene
// set-up) and its count live in Engine3DState. Scene commands:
void SetCharacter(uint16_t figure_type, const char* name, const char* state_name, const char* low_file,
                  const char* high_file, float x, float y, float z, float scale);
// SetCharacter, then the cull flag of every added face's texture is cleared.
void XSetCharacter(uint16_t figure_type, const char* name, const char* state_name, const char* low_file,
                   const char* high_file, float x, float y, float z, float scale);
// The entry for a figure: same type and state, else the type's first
// entry, else 0 (no character).
uint32_t FindCharacter(uint16_t figure_type, uint8_t state);
// Loads a model file as a new element placed at (x, y, z) x scale; its
// index, or -1.
int32_t LoadQOEasElement(const char* path, float x, float y, float z, float scale);
// Adds the element's pose at the frame time to the VIEW at (x, y, z).
void AddElementToView(ELEMENT3D* e, float x, float y, float z);
// Appends an animation ("Animation<n>" without a name); its index or -1.
int32_t AddAnimation(const char* name);
// Appends a frame to the last animation; its index or -1 (store full).
int32_t AddFrame(int32_t number);
void ClearFrame(FRAME3D* f);
// mode 1 sets number, rotation, translation and scale; else adds them.
void SetFramePos(FRAME3D* f, int32_t number, float rx, float ry, float rz, float tx, float ty, float tz, float scale,
                 uint32_t mode);
// The 40-frame rocking of a ship about X over the object; the animation's
// index or -1.
int32_t MakeShipAnim(uint32_t object);

// Scene effects, the engine's start and the map scene's set-up
// (docs/gl3d-scene.md).

// The fire's heat buffer and texture are kFireSide x kFireSide.
constexpr uint32_t kFireSide = 128;
// A TEXTURE3D index slot with nothing in it.
constexpr uint16_t kNoTexture = 0xFFFF;

// One hex of the scene's window (20 column pairs, an even and an odd hex
// column each, by 36 rows). Cell k of row r is entry r x 2 x pairs + k.
struct MapCell3D {
  uint8_t terrain;       // terrain graphic number, 0 nothing to draw
  uint8_t barriers[6];   // per hex edge: bit 0 first barrier set, bit 1 second
  uint8_t character;     // index into the character table, 0 none
  uint8_t visibility;    // 0 hidden, 1 in view, 2 next to a visible cell
  uint8_t selected;      // 1 for the focus cell of the frame
  uint8_t reach;         // 1 within reach while the map screen picks a hex
  float x, y, z;         // the cell's centre within the grid
  uint32_t owner;
  uint32_t model_index;
  OBJECT3D* model;       // the terrain model of this frame
};
// An entry of the map scene's depth sort.
struct MapSortEntry {
  uint32_t cell;
  float depth;
};

// The map scene's presets, slots, tables and frame state (window thread).
struct MapSceneState {
  // Presets (InitViewPresets; the grid size and the bird's circle are the
  // view's).
  float wind_direction[3];
  float origin_preset[3];
  float fire_offset[3];
  float overlay_position[3];
  float overlay_scale;
  float barrier_offsets[6][3];
  float smoke_centre[3], smoke_box[3];
  float weather_centre[3], weather_box[3];  // rain and snow spawn
  float sky_position[3];
  float sky_width, sky_height;
  uint32_t time_of_day;
  uint8_t rain_head[4], rain_tail[4], highlight[4], snow[4], smoke[4];
  // The hexes within reach while a target is picked: their terrain's
  // colours times this one (alpha kept).
  uint8_t reach[4];

  // Scene slots not kept by SceneModelState (-1 / kNoTexture until made).
  int32_t barriers;          // the first of the twelve barrier objects
  int32_t sky;
  uint16_t fire_texture;     // "Fire_tex", rewritten every frame
  uint16_t fire_palette;     // "FireModel_tex": column 11 is the heat palette
  uint16_t gui_texture;      // "Gui_tex"
  uint16_t logo_texture;     // "QoeLogo_tex": row 154 is the night palette
  uint32_t textures_not_regrouped;

  // Tables (MapAlloc; null before and after a failed allocation).
  MapCell3D* cells;          // column pairs x rows x 2 records
  float (*centres)[3];       // the cell-centre scratch
  MapSortEntry* sort[2];     // the depth sort and its second buffer
  uint8_t* heat;             // kFireSide x kFireSide bytes
  MapCell3D selected_cell;   // copy of the selected cell
  MapCell3D* focus;          // the focus cell (null: none)
  int32_t focus_column, focus_row;
  int32_t selected_column, selected_row;

  // Frame state the per-frame scene drives.
  float origin[3];           // X0, Y0, Z0: the ground is at origin[1]
  int overlay_on;            // the overlay frame is drawn
  int busy;

  // The effects' own random numbers (seeded; see SceneRandom).
  uint32_t random;
};
// The map scene's record.
MapSceneState* MapScene();

// Random numbers of the particles and the fire: uniform in [0, 1) in steps
// of 1/32768, from the engine's own seeded generator (reproducible frames,
// nothing shared with the game thread).
void SeedSceneRandom(uint32_t seed);
float SceneRandom();

// Flat textured quads. Positions in units, texture rectangles in pixels of
// the texture's full-size picture (before any reduction).
// A quad face on the last object: (x, y), (x + w, y), (x + w, y - h),
// (x, y - h) at z 0; a width or height of 0 takes pw or ph.
void AddQuad(float x, float y, float w, float h, uint16_t texture, uint32_t px, uint32_t py, uint32_t pw,
             uint32_t ph);
// A new object with one such quad; its index or -1.
int32_t MakeFlatObject(const char* name, float x, float y, float w, float h, uint16_t texture, uint32_t px,
                       uint32_t py, uint32_t pw, uint32_t ph);
// A pw x ph rectangle face on the last object at depth z, (x, y) its first
// corner, the picture upright.
void AddGuiRect(float x, float y, float z, uint16_t texture, uint32_t px, uint32_t py, uint32_t pw, uint32_t ph);

// Particle systems: one object with a single face whose points are the
// particles and whose texture number is the draw mode (4 points, 5 lines,
// 6 large points). The object's index or -1.
int32_t MakeParticles(const char* name, uint32_t count, float x, float y, float z, uint16_t mode);
// Places a point at random in the box of size around centre, with colour.
void RespawnParticle(POINT3D* point, const float centre[3], const float size[3], const uint8_t colour[4]);
// Per frame, on the particles of the object (null: nothing).
void AnimateSmoke(OBJECT3D* object);
void AnimateRain(OBJECT3D* object);
void AnimateSnow(OBJECT3D* object);

// The town fire: six quads in a ring on "Fire_tex"; the object's index.
int32_t MakeFire();
// One step of the fire: the heat buffer (width x height bytes) rises and
// cools, pixels (the fire texture, 4 bytes a pixel) take the heat palette.
void AnimateFireBitmap(uint32_t height, uint32_t width, uint8_t* pixels, uint8_t* heat);
// The overlay frame `Gui` (and "Gui2"); the index of `Gui` or -1.
int32_t MakeGui();
// The cloud sky "Sky"; its index or -1.
int32_t MakeClouds();
// The twelve "Barrier" objects on "transp_parts"; the first one's index.
int32_t MakeBarriers();

// The engine's start and the scene set-up (window thread, with the GL
// context current).
// Starts the engine once: defaults, stores, tables and the whole scene,
// without waiting for the game; the engine stays unstarted when the stores
// or tables cannot be had.
void StartEngine();
// Frees the scene's tables and the engine's stores; the engine unstarted.
void StopEngine();
void InitViewPresets();
void ResetScene();
// Allocates the map scene's tables; 1, or 0 (logged, nothing kept).
uint32_t MapAlloc();
// Frees the map scene's tables.
void MapFree();
// Parts of the frame. The cells from the frame's copy of the map: terrain
// (low byte), owner, the character of the figure on the hex, no barriers.
void SyncMapCells();
// Barrier values between neighbouring cells of different owners.
void MarkBarriers();
// Hidden cells next to a visible one become visibility 2; still hidden
// cells lose their barriers.
void MarkBorderCells();
// Marks the cell selected, keeps a copy and its map column and row.
void SelectMapCell(MapCell3D* cell, int32_t column, int32_t row);
// The wind offsets at time t (radians).
void SetWind(float t);
// Builds the scene; view_column and view_row are the map's view column and
// row (the first selected hex; the frame follows the map afterwards).
void BuildMapScene(int32_t view_column, int32_t view_row);
void LoadWaterObjects();
void LoadKIDTable();
// Runs one scene command of the configuration file.
void RunSceneCommand(const SceneCommand* command);
// Row 154 of the logo texture, the night colours' palette (256 pixels of
// R G B A); null before the scene is built.
const uint8_t* NightPalette();
