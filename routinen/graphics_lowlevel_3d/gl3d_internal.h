// State of the GL frame and the object list; shared by the module's files.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "gl3d.h"
#include "platform/backend.h"

struct QoeSemaphore;

// The 3D engine's data: the thing store, the settings, the face batch.
// Window thread only (the tests and tools use it from their one thread).
// The frame's copy of the published map, taken under the map lock: the
// view, the scene window's terrain and owners, and the figure standing on
// each of its hexes. The frame reads only this copy.
constexpr uint32_t kMapCopyCells = 40 * 36;
struct MapFrameCopy {
  int present;                   // a map was published when the copy was taken
  int32_t world_x, world_y;      // the view's world column and row
  int32_t view_column, view_row; // in the window of map parts
  double pixel_column, pixel_row;  // the view's 3D position
  uint32_t own_player;
  uint16_t columns, rows;        // the scene window the copy covers
  uint8_t terrain[kMapCopyCells];
  uint32_t owner[kMapCopyCells];
  // The figure on each hex: type + 1 (0: none) and its state.
  uint16_t figure_type[kMapCopyCells];
  uint8_t figure_state[kMapCopyCells];
  // While the map screen picks a hex (its range flag and reach map set):
  // reach_on, and 1 for each hex within reach.
  int reach_on;
  uint8_t reach[kMapCopyCells];
};

// A drawn cell of the last landscape for the map screen's clicks: its map
// column and row, its projected centre, the six corners of its outline on
// the ground in order round it (x, y and depth, in GL's -1 .. 1 screen
// coordinates, as GL draws them) and their box on the screen.
struct MapPick {
  int32_t column, row;
  float x, y;
  float outline[6][3];
  float min_x, min_y, max_x, max_y;
};

// A triangle of a figure drawn on a cell of the last landscape, for the
// clicks: the map column and row of the hex the figure stands on, its three
// corners as GL draws them (x, y and depth in the -1 .. 1 screen
// coordinates) and their box on the screen.
struct MapPickFace {
  int32_t column, row;
  float corner[3][3];
  float min_x, min_y, max_x, max_y;
};

struct Engine3DState {
  // The thing store and the results of its last call.
  ThingSlot slots[kThingSlots];
  uint16_t used;
  uint16_t last_slot;
  uint32_t last_index, last_count, last_offset;

  EngineRecord engine;

  // Textures.
  uint8_t colour_key[3];     // MakeRGBA without alpha: this colour is clear
  int individual_textures;   // 0 while textures go into atlases
  int jpeg_logging;

  // The face batch.
  int32_t batch_indices;     // indices in TRIPINDEX3D
  uint32_t batch_texture;    // GL name bound for the batch
  uint32_t faces_tested, faces_culled, flushes;
  const uint32_t* cur_index; // the current face's indices
  uint32_t primitive;        // GL primitive of the render mode
  float point_size;
  // The opaque pass's faces grouped by texture, and the count per texture
  // name it is made with (scratch of DrawView).
  std::vector<uint32_t> opaque_order, opaque_counts;
  // The blended pass's faces in their order, and each texture name's rank
  // (scratch of DrawView).
  std::vector<uint32_t> blend_order, blend_rank;

  // Objects and hexagon models.
  SceneModelState scene;
  float hierarchy[4][16];    // the matrix of the latest object of each level
  // Store arrays as the kept pointers last saw them (RelinkIfMoved).
  const uint8_t* seen_data[10];

  // The view and the camera.
  OBJECT3D view;             // "VIEW"
  OBJECT3D last_view;        // the copy added last (LastViewObject)
  CameraRecord camera;
  uint16_t skip_face;        // VIEW face never drawn (kNoSkipFace)
  ViewPassInfo passes;
  uint16_t grid_pairs, grid_rows;  // the scene's column pairs and rows (20 x 36)

  // Frame state the map scene drives.
  int32_t frame_time;        // T: trunc(frame counter x 2)
  int hold;                  // animations drawn at local time 1 (a LAZING figure out of its phase)
  float wind[2];             // wind offsets x and z
  int scene_built;           // 1 after the scene set-up: perspective projection, factor 0.008

  // Characters: the table (kCharacterEntries records; AllocVec, allocated
  // and freed by the scene set-up) and its count; the entries of the bird
  // ("FID_BUSARD") and the shield ("FID_SHIELD"), -1 none.
  CharacterEntry* characters;
  uint16_t character_count;
  int32_t bird_entry, shield_entry;
  float bird_offset[3];      // the bird's circle: (50, 120, -30)

  // The map scene: presets, effect slots, tables and frame state.
  MapSceneState map_scene;
  // While the scene set-up reads the configuration: runs each scene command
  // as the reader meets it (null: the commands are only recorded).
  void (*scene_command)(const SceneCommand* command);

  // The per-frame map scene: its frame counter, the map copy, the grid
  // offset of the frame and whether the last frame drew a landscape.
  uint64_t frame_counter;
  MapFrameCopy map_copy;
  float grid_offset[3];
  int landscape_drawn;
  int copy_fresh;            // the copy was taken for the coming frame
  // Another screen stands over the landscape: its weather, smoke, fire and
  // wind rest (the frame clock stands still) and it is drawn again only when
  // what it shows changed. Window thread.
  int resting;
  // The steps the coming frame moves the clock and the weather by (the
  // frames since the last landscape; SetMapSceneSteps). Window thread.
  uint32_t steps = 1;
  // The frame's figures as drawn, for the clicks: nine floats a triangle
  // (its corners in world coordinates) and the cell it stands on (scratch
  // of the frame: DrawCell fills it, KeepPicks projects it).
  std::vector<float> figure_corners;
  std::vector<uint32_t> figure_cells;
  // The fire and smoke were moved at least once since the scene was made
  // (a landscape first drawn at rest moves them on first: WarmUpEffects).
  int warmed;
};

struct GL3DState {
  // Made by InitGLObjektList before the game thread starts, cleared by
  // FreeGLObjektList after it ended; constant in between.
  QoeSemaphore* screen_sem;  // "QoE GL Screen Access Semaphore"
  ListHeader* objekte;       // the Objekt3D-Liste (type 40)
  ListHeader* retired;       // unlinked entries whose textures still exist

  // Guarded by screen_sem: the links of both lists and the screen's entry.
  ObjektListEntry* screen;
  // The map screen's display-sized bitmap (OpenGL mode on a deeper
  // display): at the list's head, the screen's entry while drawn into.
  ObjektListEntry* map_entry;

  // Window thread only.
  int context;               // CreateGLContext succeeded
  GLContextInfo info;
  float aspect;              // display width / height
  // The picture kept between frames: a framebuffer object the frames draw
  // into (0: none could be made, each drawn frame is drawn whole into the
  // back buffer), its colour texture, its depth buffer (the landscape's
  // depth test needs one) and size.
  uint32_t picture_fbo, picture_texture, picture_depth, picture_w, picture_h;
  int picture_failed;        // making it failed once: not tried again
  // The resting landscape alone (before the 2D entries), for drawing a
  // changed rectangle again over it: a texture of the picture's size.
  uint32_t scene_texture, scene_w, scene_h;
  int scene_kept;            // it holds the last drawn landscape
  uint64_t scene_first_ms, scene_last_ms;  // platform time of the first and last landscape drawn
  // Display rectangles (x, y, width, height) drawn into the window's back
  // buffer alone while it kept the picture last shown: the kept picture
  // still lacks them (more than kBehindRects: it lacks all).
  static constexpr uint32_t kBehindRects = 64;
  int32_t behind_rects[kBehindRects][4];
  uint32_t behind_count;
  int behind_whole;
  // The pens' colours the 8-bit entries' textures were uploaded with.
  uint32_t shown_pens[256];
  int pens_known;
  // The last drawn frame: 1 once one was drawn, and a digest of what it
  // showed (each entry's place, size, visibility and texture, in order).
  int shown;
  uint64_t shown_digest;
  // The moving landscape (the map screen's own) while the camera rests: a
  // digest of what the last frame's landscape would show (the map's copy,
  // the camera, the marked hex, the switches), the frames in a row it stayed
  // the same, and the frames since the landscape was last drawn.
  uint64_t look_digest;
  uint32_t still_frames, frames_since_landscape;
  // The window that frame was shown in: its drawable's size and the place
  // of the scaled frame in it (framefit.h); another one is drawn whole.
  int32_t shown_fit[6];

  // Any thread: the cells of the last whole landscape, under pick_lock:
  // `picks` points at one of the two lists, `pick_count` is its length. A
  // frame fills the other list (`back_picks`, window thread only, no lock)
  // while it draws and swaps the two under the lock once every cell is in,
  // so a click while a frame is drawn finds the hexes of the frame before.
  std::mutex pick_lock;
  MapPick pick_lists[2][kMapCopyCells];
  MapPick* picks = pick_lists[0];
  uint32_t pick_count;
  MapPick* back_picks = pick_lists[1];
  // The triangles of the figures of the same landscape, swapped with them.
  std::vector<MapPickFace> pick_face_lists[2];
  std::vector<MapPickFace>* pick_faces = &pick_face_lists[0];
  std::vector<MapPickFace>* back_pick_faces = &pick_face_lists[1];
  // The hex the map screen marked (map column and row in the window of map
  // parts, -1 none), also under pick_lock.
  int32_t marked_column, marked_row;
  // The scene window's columns << 16 | rows while the engine is started with
  // its scene built, else 0 (StartEngine and StopEngine set it).
  std::atomic<uint32_t> scene_window;

  // Any thread: frames asked for, frames that drew anything, frames that
  // drew a landscape.
  std::atomic<uint64_t> frames, frames_drawn, scenes_drawn;
  std::atomic<int> verbose;

  Engine3DState e3d;
};

GL3DState& GL3D();
// Resets the record to its start values (FreeGLObjektList, tests).
void ResetGL3DState();
// Frees an unlinked entry: its dirty list, semaphore and node (not the
// texture, which the caller deleted).
void FreeObjektListEntry(ObjektListEntry* entry);

// The engine's part of the state record.
inline Engine3DState& E3D() { return GL3D().e3d; }
// Element index of a store, or null when the index is not below its count
// (no log line).
void* ThingAt(uint16_t key, uint32_t index);
// A store's count (0 for an unknown key).
uint32_t ThingCount(uint16_t key);
// Appends n elements at once (growing by half as often as needed, in one
// copy); the first of them, or null (nothing appended).
void* AppendThings(uint16_t key, uint32_t n);
// Drops elements from a store's end down to count (nothing when it holds
// fewer).
void TruncateThing(uint16_t key, uint32_t count);
// RelinkEngineObjects when a store array moved since the last relink.
void RelinkIfMoved();
// AddObjectToView; true when the copy went into the VIEW (LastViewObject
// describes it), false when the object was refused (LastViewObject empty).
bool AddObjectCopy(OBJECT3D* o, float x, float y, float z, float scale);
// DecodeJpeg straight into image.pixels (bits 8 or 24, the exact size), no
// scratch copy: for callers that discard the buffer when it fails, since a
// failure may leave part of the picture in it. 1 or 0.
int32_t DecodeJpegInPlace(const uint8_t* data, uint32_t size, const JpegImage& image);
// InitializeT; with pattern 0 the buffer stays zeroed instead of holding the
// test pattern (the caller fills every pixel at once).
void InitializeTexture(TEXTURE3D* t, const char* file, uint16_t width, uint16_t height, uint16_t depth,
                       const char* name, int pattern);
// The raw pixels of a .tga, .bmp or headerless file after header bytes
// into the texture's buffer (rows flipped unless header is 18, B G R made
// R G B); 0 when the data is too short (the buffer stays as it was).
int ReadRawTexture(TEXTURE3D* t, const uint8_t* data, uint32_t size, uint32_t header);
