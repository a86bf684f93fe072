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
