// State of the GL frame and the object list; shared by the module's files.
#pragma once
#include <atomic>
#include <cstdint>

#include "gl3d.h"
#include "platform/backend.h"

struct QoeSemaphore;

struct GL3DState {
  // Made by InitGLObjektList before the game thread starts, cleared by
  // FreeGLObjektList after it ended; constant in between.
  QoeSemaphore* screen_sem;  // "QoE GL Screen Access Semaphore"
  ListHeader* objekte;       // the Objekt3D-Liste (type 40)
  ListHeader* retired;       // unlinked entries whose textures still exist

  // Guarded by screen_sem: the links of both lists and the screen's entry.
  ObjektListEntry* screen;

  // Window thread only.
  int context;               // CreateGLContext succeeded
  GLContextInfo info;
  float aspect;              // display width / height

  // Any thread.
  std::atomic<uint64_t> frames;
  std::atomic<int> verbose;
};

GL3DState& GL3D();
// Resets the record to its start values (FreeGLObjektList, tests).
void ResetGL3DState();
// Frees an unlinked entry: its dirty list, semaphore and node (not the
// texture, which the caller deleted).
void FreeObjektListEntry(ObjektListEntry* entry);
