// Sound effects: the sound index, the 38 slots and their platform buffers.
#include <cstring>

#include "platform/audio_sdl.h"
#include "platform/log.h"
#include "routinen/media/sound.h"
#include "routinen/media/sound_internal.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/sysrecords.h"

namespace {

int FindSlot(uint32_t id) {
  if (id == 0) return -1;
  SfxSlots& s = Sound().Sfx;
  for (uint32_t i = 0; i < SFX_SLOTS; i++)
    if (s.Id[i] == id) return static_cast<int>(i);
  return -1;
}

int SfxActive() { return (QoESystemPtr->SoundStatus.load() & SOUND_SOUNDFX) != 0; }

void Record(uint32_t call, uint32_t id) {
  if (auto hook = Sound().SfxRecorder.load()) hook(call, id);
}

}  // namespace

void MakeLocalSfxPath(char* path) {
  size_t n = std::strlen(path);
  for (size_t i = n; i-- > 0;) {
    if (path[i] == '/') {
      path[i] = '\\';
    } else if (path[i] == ':') {
      std::memmove(path, path + i + 1, n - i);  // with the NUL
      return;
    }
  }
}

int ReadSfxRecord(const uint8_t* image, uint32_t size, uint32_t id, SfxRecord* rec) {
  std::memset(rec, 0, sizeof *rec);
  if (!image || id == 0 || size < 36) return SFXREC_NO_RECORD;
  uint32_t count = GetBE32(image + 32);
  if (count < id) return SFXREC_NO_RECORD;
  uint64_t at = 36 + static_cast<uint64_t>(id - 1) * 20;
  if (at + 20 > size) return SFXREC_NO_RECORD;
  const uint8_t* r = image + at;
  rec->size = GetBE32(r + 4);
  rec->rate = GetBE32(r + 8);
  uint64_t p = 32 + static_cast<uint64_t>(GetBE32(r + 12));
  if (p >= size) return SFXREC_BAD_PATH;
  // At most 80 characters count; a shorter path must end inside the image.
  uint32_t n = 0;
  while (n < MUSIC_NAME_SIZE && p + n < size && image[p + n]) {
    rec->path[n] = static_cast<char>(image[p + n]);
    n++;
  }
  if (n < MUSIC_NAME_SIZE && p + n >= size) return SFXREC_BAD_PATH;
  MakeLocalSfxPath(rec->path);
  return SFXREC_OK;
}

void SetSfxRecordHook(SfxRecordHook hook) { Sound().SfxRecorder.store(hook); }

uint32_t OpenElmorSfx(const char* path, uint32_t id) {
  Record(SFX_CALL_OPEN, id);
  if (!SfxActive()) return 1;
  id &= 0xFFFF;
  if (id == 0 || !path) {
    DebugLog("OpenElmorSfx:000\n");
    return 0;
  }
  QoESystem* sys = QoESystemPtr;
  const uint8_t* image = nullptr;
  uint32_t imageSize = 0;
  void* loaded = nullptr;
  if (sys->PathsLoaded && sys->SfxPathImage) {
    image = sys->SfxPathImage;
    imageSize = sys->SfxPathSize;
  } else {
    loaded = LoadFile2MemSize(path, MEMF_PUBLIC | MEMF_CLEAR, &imageSize);
    if (!loaded) {
      DebugLog("OpenElmorSfx: Konnte Daten nicht einlesen !\n");
      return 0;
    }
    image = static_cast<const uint8_t*>(loaded);
  }
  SfxRecord rec{};
  int r = ReadSfxRecord(image, imageSize, id, &rec);
  FreeVec(loaded);  // the record is copied out
  if (r == SFXREC_NO_RECORD) {
    DebugLog("OpenElmorSfx:003\n");
    return 0;
  }
  SfxSlots& s = Sound().Sfx;
  int slot = -1;
  for (uint32_t i = 0; i < SFX_SLOTS && slot < 0; i++)
    if (s.Id[i] == 0) slot = static_cast<int>(i);
  if (slot < 0) {
    DebugLog("OpenElmorSfx:004\n");
    return 0;
  }
  FileHandle f = r == SFXREC_OK ? Open(rec.path, MODE_READONLY) : nullptr;
  if (!f) {
    DebugLog("OpenElmorSfx:008 %s\n", rec.path);
    return 0;
  }
  AudioBuffer* b = AudioBufferCreate(rec.rate, rec.size);
  if (!b) {
    DebugLog("OpenElmorSfx:009\n");
    Close(f);
    return 0;
  }
  s.Buffer[slot] = b;
  uint32_t bytes = 0;
  int16_t* data = AudioBufferData(b, &bytes);
  uint32_t cachedSize = 0;
  const void* cached = SfxCacheEntry(id, &cachedSize);
  if (cached) {
    std::memcpy(data, cached, cachedSize < bytes ? cachedSize : bytes);
    DebugLog("OpenElmorSfx: Sound aus dem Cache geladen...\n");
  } else {
    int32_t got = Read(f, data, static_cast<int32_t>(bytes));
    if (got < 0) got = 0;
    if (static_cast<uint32_t>(got) < bytes) {
      // The buffer starts silent: the missing end stays silence.
      DebugLog("OpenElmorSfx: Sample %s zu kurz (%d von %u Bytes)\n", rec.path, got, bytes);
    }
    uint8_t* p = reinterpret_cast<uint8_t*>(data);
    for (uint32_t i = 0; i + 1 < static_cast<uint32_t>(got); i += 2) {
      int16_t v = static_cast<int16_t>(GetBE16(p + i));
      std::memcpy(p + i, &v, 2);
    }
  }
  s.Id[slot] = id;
  s.Size[slot] = rec.size;
  Close(f);
  return 1;
}

int32_t SfxPlayer000(uint32_t id, uint32_t frequency, uint32_t loop) {
  Record(loop ? SFX_CALL_LOOP : SFX_CALL_PLAY, id);
  if (!SfxActive() || id == 0) return 0;
  int i = FindSlot(id);
  if (i < 0) {
    DebugLog("SfxPlayer000: %d nicht gefunden\n", static_cast<int>(id));
    return 0;
  }
  AudioBuffer* b = Sound().Sfx.Buffer[i];
  if (frequency) AudioBufferSetRate(b, frequency);
  return AudioBufferPlay(b, loop ? 1 : 0);
}

int32_t StopSfx(uint32_t id) {
  Record(SFX_CALL_STOP, id);
  if (!SfxActive() || id == 0) return 0;
  int i = FindSlot(id);
  if (i < 0) {
    DebugLog("StopSfx: %d nicht gefunden\n", static_cast<int>(id));
    return 0;
  }
  return AudioBufferStop(Sound().Sfx.Buffer[i]);
}

int32_t IsSfxPlaying(uint32_t id) {
  int i = FindSlot(id);
  if (i < 0) return 1;
  return AudioBufferPlaying(Sound().Sfx.Buffer[i]) ? 0 : 1;
}

int32_t IsSfxIdle(uint32_t id) { return IsSfxPlaying(id); }

void CloseElmorSfx000(uint32_t id) {
  Record(SFX_CALL_CLOSE, id);
  if (id == 0) return;
  int i = FindSlot(id);
  if (i < 0) {
    // With effects off (a game without sound output) the open loaded
    // nothing: its close has nothing to do and is no fault.
    if (SfxActive()) DebugLog("CloseElmorSfx000: %d nicht gefunden\n", static_cast<int>(id));
    return;
  }
  SfxSlots& s = Sound().Sfx;
  AudioBuffer* b = s.Buffer[i];
  uint32_t cachedSize = 0;
  if (b && !SfxCacheEntry(id, &cachedSize)) {
    uint32_t bytes = 0;
    const int16_t* data = AudioBufferData(b, &bytes);
    uint32_t size = s.Size[i] < bytes ? s.Size[i] : bytes;
    Copy2SfxCache(id, size, data);
  }
  AudioBufferRelease(b);
  s.Buffer[i] = nullptr;
  s.Id[i] = 0;
}

void SetSfxVolume(uint32_t) {}

void ClickSound() { SfxPlayer000(1, 0, 0); }
