// The player's public calls: options, device choice, play handles, errors.
#include "tune.h"

#include <cstring>
#include <string>

#include "dmix.h"
#include "genplayer.h"
#include "platform/log.h"
#include "tune_internal.h"

// The song a play handle plays: its channels of the channel table.
struct ModulePlayRecord {
  uint32_t channels;
  PlayHandle* handle;
  uint32_t channel[32];
};

namespace {

const char* const kErrorText[TE_COUNT] = {
    "OK", "Undefined error", "Out of memory", "Heap corrupted", "Invalid memory block",
    "Out of EMS memory", "EMS memory heap corrupted", "Invalid EMS memory block",
    "Expanded Memory Manager failure", "Out of soundcard memory", "Soundcard memory heap corrupted",
    "Invalid soundcard memory block", "Out of sample handles", "Unable to open file",
    "Unable to read file", "Invalid module file", "Invalid instrument in module",
    "Invalid pattern data in module", "Invalid channel number", "Invalid sample handle",
    "Sound Device channels not open", "Sound Device hardware failure", "Invalid function arguments",
    "File does not exist", "Invalid file handle", "Access denied", "File exists",
    "Too many open files", "Disk full", "Unexpected end of file", "Invalid path",
    "Unable to write file", "Unable to lock Virtual DMA buffer", "Unable to use Virtual DMA Services",
    "Invalid Virtual DMA Service version", "DPMI failure", "Invalid segment descriptor",
    "Out of system resources", "Invalid device used", "Unsupported function used",
    "Device is not available", "Device is busy", "Unsupported output mode used",
    "Unable to lock memory", "DirectSound Window Handle not set", "Invalid ADPCM data",
    "Invalid sample type", "No module is being played", "Out of sound channels",
    "Couldn't load dsound.dll", "Bad WAVE file", "Unsupported sample data format"};

// The module player's one state record (tune_internal.h says who guards what).
TunePlayerState g_tune;

int32_t Fail(int32_t code) {
  g_tune.api.lastError = (uint32_t)code;
  return 0;
}

int32_t OpenPlayChannels(uint32_t count);
}  // namespace
int32_t TuneOpenPlayChannels(uint32_t count) { return OpenPlayChannels(count); }
namespace {
int32_t OpenPlayChannels(uint32_t count) {
  LockPlayer();
  int32_t err = g_tune.api.device->OpenChannels(count);
  if (!err) {
    g_tune.api.channelCount = count;
    g_tune.api.channelsOpen = 1;
    if (g_tune.api.channelTable) MemFree(g_tune.api.channelTable);
    g_tune.api.channelTable = nullptr;
    void* p = nullptr;
    err = MemAlloc(count * 4, &p);
    if (!err) {
      g_tune.api.channelTable = static_cast<uint32_t*>(p);
      std::memset(g_tune.api.channelTable, 0, count * 4);
      if (g_tune.api.amplification != 100) {
        uint32_t a = 0;
        g_tune.api.device->GetAmplification(&a);
        g_tune.api.device->SetAmplification(a * g_tune.api.amplification / 100);
      }
    }
  }
  UnlockPlayer();
  return err;
}

int32_t ClosePlayChannels() {
  LockPlayer();
  int32_t err = g_tune.api.device->CloseChannels();
  g_tune.api.channelsOpen = 0;
  g_tune.api.channelCount = 0;
  if (g_tune.api.channelTable) MemFree(g_tune.api.channelTable);
  g_tune.api.channelTable = nullptr;
  UnlockPlayer();
  return err;
}

uint32_t AllocPlayChannel() {
  LockPlayer();
  uint32_t r = 65535;
  if (!g_tune.api.channelsOpen || !g_tune.api.channelTable) {
    g_tune.api.lastError = TE_CHANNELS_NOT_OPEN;
  } else {
    for (uint32_t i = 0; i < g_tune.api.channelCount; i++)
      if (!g_tune.api.channelTable[i]) {
        g_tune.api.channelTable[i] = 1;
        r = i;
        break;
      }
    if (r == 65535) g_tune.api.lastError = TE_OUT_OF_CHANNELS;
  }
  UnlockPlayer();
  return r;
}

int32_t FreePlayChannel(uint32_t index) {
  LockPlayer();
  int32_t err = TE_OK;
  if (!g_tune.api.channelsOpen || !g_tune.api.channelTable) err = TE_CHANNELS_NOT_OPEN;
  else if (index < g_tune.api.channelCount) g_tune.api.channelTable[index] = 0;
  UnlockPlayer();
  return err;
}

// Stops the song of slot s; returns an error code.
int32_t StopSlot(uint32_t s) {
  ModulePlayRecord* r = g_tune.api.slots[s];
  g_tune.api.slots[s] = nullptr;
  int32_t err = PlayerStopSong(r->handle);
  g_tune.api.playing = 0;
  for (uint32_t i = 0; i < r->channels && !err; i++) {
    err = g_tune.api.device->StopSound(r->channel[i]);
    if (!err) err = g_tune.api.device->SetVolume(r->channel[i], 0);
    if (!err) err = FreePlayChannel(r->channel[i]);
  }
  if (!err && g_tune.api.openedByPlay) {
    err = ClosePlayChannels();
    g_tune.api.openedByPlay = 0;
  }
  MemFree(r);
  return err;
}

void DefaultHandler(const char* text) { DebugLog("%s\n", text); }

int32_t LoadFromBytes(const uint8_t* data, uint32_t size, ModuleRecord** module) {
  if (size < 48) return TE_EOF;
  if (std::memcmp(data, "Extended Module:", 16) == 0) return LoadXmModule(data, size, 1, nullptr, module);
  if (std::memcmp(data + 44, "SCRM", 4) == 0) return LoadS3mModule(data, size, 1, nullptr, module);
  if (std::memcmp(data, "IMPM", 4) == 0) return LoadItModule(data, size, 1, nullptr, module);
  return LoadModModule(data, size, 1, nullptr, module);
}

}  // namespace

PlayHandle* TunePlayHandle(int32_t handle) {
  return handle >= 1 && handle <= 16 && g_tune.api.slots[handle - 1] ? g_tune.api.slots[handle - 1]->handle : nullptr;
}

intptr_t TuneOption(uint32_t option) { return option >= TUNE_OPT_MIXRATE && option <= TUNE_OPT_NOSOUND ? g_tune.api.options[option] : 0; }
SoundDevice* TuneCurrentDevice() { return g_tune.api.deviceInit ? g_tune.api.device : nullptr; }

void TuneFatal(const char* text) { (g_tune.errorHandler ? g_tune.errorHandler : DefaultHandler)(text); }
void TUNEsetErrorHandler(void (*handler)(const char*)) { g_tune.errorHandler = handler; }

const char* TUNEerrorText(uint32_t code) { return code < TE_COUNT ? kErrorText[code] : kErrorText[1]; }
uint32_t TUNEgetLastError() { return g_tune.api.lastError; }

int32_t TUNEstartup() {
  if (g_tune.api.channelTable) MemFree(g_tune.api.channelTable);
  uint32_t keepError = g_tune.api.lastError;
  g_tune.api = TuneInterfaceState{};
  g_tune.api.lastError = keepError;
  g_tune.api.amplification = 100;
  g_tune.api.deviceNumber = -1;
  for (int32_t& c : g_tune.api.config) c = -1;
  // options 1..13: rate, output mode, buffer ms, blocks, ring mode, window,
  // external sink, ring ms, convert 16-bit, filter, interpolation, separation, no sound
  static const intptr_t kDefaults[14] = {0, 44100, 0, 500, 16, 0, 0, 0, 100, 1, 3, 0, 64, 0};
  for (int i = 0; i <= (int)TUNE_OPT_NOSOUND; i++) g_tune.api.options[i] = kDefaults[i];
  return 1;
}

int32_t TUNEsetOption(uint32_t option, intptr_t value) {
  if (option == TUNE_OPT_INTERPOLATION && value != 1) value = 0;
  if (option >= TUNE_OPT_MIXRATE && option <= TUNE_OPT_NOSOUND) g_tune.api.options[option] = value;
  return 1;
}

int32_t TUNEinit() {
  InitPlayerLock();
  if (g_tune.api.options[TUNE_OPT_NOSOUND]) g_tune.api.deviceNumber = 2;
  SoundDevice* dev = nullptr;
  if (g_tune.api.deviceNumber >= 0) {
    dev = TuneDeviceTable((uint32_t)g_tune.api.deviceNumber);
    if (!dev) return Fail(TE_INVALID_DEVICE);
    if (g_tune.api.config[0] == -1 && g_tune.api.config[1] == -1 && g_tune.api.config[2] == -1 && g_tune.api.config[3] == -1) {
      int32_t found = 0;
      if (int32_t err = dev->Detect(&found)) return Fail(err);
    }
  } else {
    for (uint32_t i = 0; (dev = TuneDeviceTable(i)) != nullptr; i++) {
      int32_t found = 0;
      if (int32_t err = dev->Detect(&found)) return Fail(err);
      if (found) break;
    }
    if (!dev) return Fail(TE_HARDWARE);
  }
  if (g_tune.api.config[0] != -1) dev->port = g_tune.api.config[0];
  if (g_tune.api.config[1] != -1) dev->irq = g_tune.api.config[1];
  if (g_tune.api.config[2] != -1) dev->dma = g_tune.api.config[2];
  if (g_tune.api.config[3] != -1) dev->cardType = g_tune.api.config[3];
  g_tune.api.device = dev;
  if (int32_t err = dev->Init((uint32_t)g_tune.api.options[TUNE_OPT_MIXRATE], (uint32_t)g_tune.api.options[TUNE_OPT_OUTPUTMODE])) return Fail(err);
  g_tune.api.deviceInit = 1;
  if (int32_t err = PlayerInit(dev)) return Fail(err);
  g_tune.api.playerInit = 1;
  g_tune.api.samplesInit = 1;
  g_tune.api.streamsInit = 1;
  return 1;
}

int32_t TUNEstartBackgroundPlay(uint32_t pollRate) {
  uint32_t delay = pollRate ? (1000 / pollRate) / 2 : 20;
  StartPlayThread(delay);
  g_tune.api.background = PlayThreadRunning();
  return 1;
}

int32_t TUNEstopBackgroundPlay() {
  StopPlayThread();
  g_tune.api.background = 0;
  return 1;
}

ModuleRecord* TUNEloadModule(const char* fileName) {
  TuneFile* f = nullptr;
  uint8_t head[48];
  int32_t err = FileOpen(fileName, 1, &f);
  if (err) { Fail(err); return nullptr; }
  err = FileRead(f, head, 48);
  FileClose(f);
  if (err) { Fail(err); return nullptr; }
  uint8_t* data = nullptr;
  uint32_t size = 0;
  if ((err = FileLoad(fileName, &data, &size))) { Fail(err); return nullptr; }
  ModuleRecord* m = nullptr;
  err = LoadFromBytes(data, size, &m);
  MemFree(data);
  if (err) { Fail(err); return nullptr; }
  return m;
}

ModuleRecord* TUNEloadModuleMem(const uint8_t* data, uint32_t size) {
  if (!data) { Fail(TE_INVALID_ARGS); return nullptr; }
  ModuleRecord* m = nullptr;
  int32_t err = LoadFromBytes(data, size, &m);
  if (err) { Fail(err); return nullptr; }
  return m;
}

int32_t TUNEplayModuleSection(ModuleRecord* module, int32_t startPos, int32_t endPos,
                              int32_t restartPos, int32_t loop) {
  if (!module || !g_tune.api.deviceInit || !g_tune.api.playerInit) return Fail(TE_INVALID_ARGS);
  LockPlayer();
  int32_t result = 0;
  int slot = -1;
  for (int i = 0; i < 16 && slot < 0; i++)
    if (!g_tune.api.slots[i]) slot = i;
  uint32_t n = module->channels;
  if (slot < 0) {
    Fail(TE_RESOURCES);
  } else if (n == 0 || n > 32) {
    Fail(TE_INVALID_MODULE);
  } else {
    int32_t err = TE_OK;
    if (!g_tune.api.channelsOpen) {
      err = OpenPlayChannels(n);
      g_tune.api.openedByPlay = err ? 0 : 1;
    } else {
      g_tune.api.openedByPlay = 0;
    }
    void* p = nullptr;
    if (!err) err = MemAlloc(sizeof(ModulePlayRecord), &p);
    if (err) {
      Fail(err);
    } else {
      ModulePlayRecord* r = static_cast<ModulePlayRecord*>(p);
      std::memset(r, 0, sizeof *r);
      r->channels = n;
      g_tune.api.slots[slot] = r;
      uint32_t got = 0;
      for (; got < n; got++) {
        uint32_t c = AllocPlayChannel();
        if (c == 65535) break;
        r->channel[got] = c;
      }
      if (got < n) {
        for (uint32_t i = 0; i < got; i++) FreePlayChannel(r->channel[i]);
        MemFree(r);
        g_tune.api.slots[slot] = nullptr;
        Fail(TE_OUT_OF_CHANNELS);
      } else if ((err = PlayerStartSong(module, startPos, endPos, restartPos, loop, (int32_t)n,
                                        r->channel, &r->handle))) {
        for (uint32_t i = 0; i < n; i++) FreePlayChannel(r->channel[i]);
        MemFree(r);
        g_tune.api.slots[slot] = nullptr;
        Fail(err);
      } else {
        g_tune.api.playing = 1;
        result = slot + 1;
      }
    }
  }
  UnlockPlayer();
  return result;
}

int32_t TUNEplayModule(ModuleRecord* module, int32_t loop) {
  return TUNEplayModuleSection(module, -1, -1, -1, loop);
}

int32_t TUNEstopModule(int32_t handle) {
  if (handle < 1 || handle > 16) return Fail(TE_INVALID_ARGS);
  LockPlayer();
  int32_t err = g_tune.api.slots[handle - 1] ? StopSlot((uint32_t)handle - 1) : TE_INVALID_ARGS;
  UnlockPlayer();
  return err ? Fail(err) : 1;
}

int32_t TUNEsetMusicVolume(int32_t handle, int32_t volume) {
  if (handle < 1 || handle > 16) return Fail(TE_INVALID_ARGS);
  LockPlayer();
  int32_t err = g_tune.api.slots[handle - 1] ? PlayerSetMusicVolume(g_tune.api.slots[handle - 1]->handle, (uint32_t)volume & 0xFF)
                                    : TE_INVALID_ARGS;
  UnlockPlayer();
  return err ? Fail(err) : 1;
}

int32_t TUNEfreeModule(ModuleRecord* module) {
  if (!module) return Fail(TE_INVALID_ARGS);
  LockPlayer();
  // A song still playing the module is stopped first: the player must never
  // tick over a freed record.
  int32_t err = TE_OK;
  for (uint32_t s = 0; s < 16 && !err; s++)
    if (g_tune.api.slots[s] && g_tune.api.slots[s]->handle && g_tune.api.slots[s]->handle->module == module) err = StopSlot(s);
  if (!err) err = PlayerFreeModule(module);
  UnlockPlayer();
  return err ? Fail(err) : 1;
}

int32_t TUNEclose() {
  if (g_tune.api.background) TUNEstopBackgroundPlay();
  g_tune.api.streamsInit = 0;
  g_tune.api.samplesInit = 0;
  for (uint32_t s = 0; s < 16; s++)
    if (g_tune.api.slots[s] && !TUNEstopModule((int32_t)s + 1)) return 0;
  if (g_tune.api.playerInit) {
    if (int32_t err = PlayerClose()) return Fail(err);
    g_tune.api.playerInit = 0;
  }
  if (g_tune.api.channelsOpen) {
    g_tune.api.openedByPlay = 0;
    if (int32_t err = ClosePlayChannels()) return Fail(err);
  }
  if (g_tune.api.deviceInit) {
    int32_t err = g_tune.api.device->Close();
    g_tune.api.deviceInit = 0;
    g_tune.api.device = nullptr;
    if (err) return Fail(err);
  }
  FreePlayerLock();
  return 1;
}

void ReportPlayerError(int32_t code) {
  LockPlayer();
  std::string fail;
  auto note = [&fail](int32_t e) {
    if (e && fail.empty()) fail = std::string("FATAL TUNE uninitialization failure: ") + TUNEerrorText((uint32_t)e);
  };
  for (uint32_t s = 0; s < 16; s++)
    if (g_tune.api.slots[s]) note(StopSlot(s));
  if (g_tune.api.playerInit) { note(PlayerClose()); g_tune.api.playerInit = 0; }
  if (g_tune.api.channelsOpen) {
    g_tune.api.openedByPlay = 0;
    note(ClosePlayChannels());
  }
  if (g_tune.api.deviceInit) { note(g_tune.api.device->Close()); g_tune.api.deviceInit = 0; }
  g_tune.api.lastError = (uint32_t)code;
  UnlockPlayer();
  if (!fail.empty()) TuneFatal(fail.c_str());
  TuneFatal((std::string("TUNE Error: ") + TUNEerrorText((uint32_t)code)).c_str());
}

TunePlayerState& TunePlayer() { return g_tune; }

void ResetTunePlayerState() {
  TUNEclose();
  StopPlayThread();
  FreePlayerLock();
  TUNEstartup();
  g_tune.api.lastError = 0;
  g_tune.errorHandler = nullptr;
  g_tune.player.tempoHook = nullptr;
  g_tune.poll.delayMs = 20;
  g_tune.poll.clock = nullptr;
  g_tune.sink = nullptr;
}
