// The picture manager's state record (pictures.cpp, pictures_gl.cpp).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "pictures.h"

struct IlbmPicture;
struct PathFile;
struct QoeThread;
struct RastPort;

// One picture index loaded from a file, by the path it was asked for with.
struct LoadedPictureIndex {
  char path[128];
  PathFile* index;
};

// The loaded graphics by ID (null while an ID is not loaded): the picture
// manager's own, read and written only under PictureManager().lock.
extern BitMap* GfxTable[kGfxSlots];

// The keeper bit of the displayed picture's hold of its slot.
constexpr uint8_t kGfxKeeperScreen = 0x80;

// Everything the picture manager keeps between calls. The shared records
// GfxTable (above) and MotionBusy (pictures.h) stay outside it under their
// own names.
struct PictureManagerState {
  // Loaded graphics, their open counts, caches and indexes: guarded by `lock`
  // (recursive; the game thread, the map's motion thread, the dungeon's
  // compass thread and the movie threads load, blit, open and close).
  std::recursive_mutex lock;
  uint32_t opens[kGfxSlots] = {};        // opens of each loaded graphic (0: not loaded)
  uint8_t keptBy[kGfxSlots] = {};        // keeper bits holding one of those opens
  const uint8_t* masks[kGfxSlots] = {};  // masks of loaded graphics (AllocVec)
  IlbmPicture* cache[kGfxSlots] = {};    // the graphics cache (decoded pictures)
  LoadedPictureIndex indexes[4] = {};    // indexes loaded from files, oldest first
  // The main index parsed from the system's image of it (LoadPaths), kept
  // while that image stays the same.
  PathFile* mainIndex = nullptr;
  const uint8_t* mainImage = nullptr;
  uint32_t mainImageSize = 0;
  uint8_t picPalette[256][3] = {};  // the displayed picture's palette
  uint16_t picColours = 0;

  // The displayed picture: game thread (OpenElmorPic, CloseElmorPic); the
  // transition and colour-cycle threads read the screen through it under the
  // display mutex "Titelscreen Mutex".
  TitelScreenData* titel = nullptr;
  bool openedScreenRastPort = false;  // OpenElmorPic opened the display's RastPort

  // The transition thread's handle and start time: game thread only. The
  // hurry flag (any thread) makes it finish without waiting.
  QoeThread* transition = nullptr;
  uint64_t transitionStart = 0;
  std::atomic<int> transitionHurry{0};

  // Any thread (atomics).
  std::atomic<uint32_t> sourceRow{0};  // SetBlitSourceRow
  std::atomic<bool> freeHooksSet{false};  // FreeCaches/FreePaths reach us
  // The 3D engine's calls in OpenGL mode (SetGLScreenHooks).
  std::atomic<int (*)(BitMap*, RastPort*)> glOpen{nullptr};
  std::atomic<void (*)()> glClose{nullptr};
};

PictureManagerState& PictureManager();
