// The system records: the one static QoESystem (options, sound masks, the
// display record, the index images), the own player's record, the main
// window, and the sound-sample cache. The effect slots and the music
// controls belong to the sound module (routinen/media/sound.h).
#pragma once
#include <atomic>
#include <cstdint>

#include "options.h"

struct RastPort;

// SoundMaskeFlags: which kinds of sound the machine offers / are in force.
enum SoundMaskeFlags : uint32_t {
  SOUND_16BIT = 1,
  SOUND_WAVETABLE = 2,
  SOUND_CDROM = 4,
  SOUND_FASTTRACKER = 8,
  SOUND_SOUNDFX = 16,
  SOUND_MUSIC = 32,
  // The sound page's two volume switches: wishes kept in the options'
  // SoundOptionen, never offered by the machine. SOUND_CDVOLUME is the name
  // the sound report gives 128.
  SOUND_CD_VOLUME = 64,
  SOUND_SFX_VOLUME = 128,
  SOUND_CDVOLUME = 128,
};

// QoESystem status bits.
enum : uint32_t { SYSSTATUS_ONLINE = 2 };

// The chosen display mode and the screen's drawing context.
struct DisplayRecord {
  uint16_t PicKind;       // kind of the displayed picture (3 = paged display)
  uint16_t PicId;         // ID of the displayed full-screen picture (3 = map)
  uint16_t Width;
  uint16_t Height;
  uint16_t Depth;         // 8 = the 640 x 480 palette mode
  uint32_t ModeId;        // row of ScreenModeTable
  uint16_t PixelFormatCode;
  uint32_t Renderer;      // 0 2D, 1 OpenGL
  uint32_t FullScreen;
  std::atomic<uint32_t> Busy{1};  // 0 while the map data are rebuilt
  uint32_t Flip;
  RastPort* ScreenRastPort;       // drawing calls given 0 use this
};

// The endpoint configuration: the servers and mailboxes of the game, read
// from the text file .\Endpoints.cfg (docs/endpoints.md) by SetupSystem and
// read-only afterwards. Hosts may carry a port ("host:port").
enum : uint32_t { ENDPOINT_TEXT = 80, ENDPOINT_PATH = 160 };
enum EndpointTlsMode : uint32_t { TLS_OFF = 0, TLS_AUTO = 1, TLS_REQUIRED = 2 };
struct EndpointConfig {
  char GameServer[ENDPOINT_TEXT];           // game_server
  char RegistrationMailbox[ENDPOINT_TEXT];  // registration_mailbox
  char TurnMailbox[ENDPOINT_TEXT];          // turn_mailbox
  char MailDomain[ENDPOINT_TEXT];           // mail_domain
  char SharedMailboxPassword[ENDPOINT_TEXT];// shared_mailbox_password
  char WebHost[ENDPOINT_TEXT];              // web_host
  char WebPath[ENDPOINT_TEXT];              // web_path
  char FtpHost[ENDPOINT_TEXT];              // ftp_host
  char FtpUser[ENDPOINT_TEXT];              // ftp_user
  char FtpPassword[ENDPOINT_TEXT];          // ftp_password
  char IrcServer[ENDPOINT_TEXT];            // irc_server
  char IrcChannel[ENDPOINT_TEXT];           // irc_channel
  uint32_t MailTls;                         // mail_tls: EndpointTlsMode
  char TlsAcceptCert[ENDPOINT_PATH];        // tls_accept_cert: PEM file trusted as is
  uint32_t NetTimeout;                      // net_timeout: seconds per network read
};
extern const char* const kEndpointFile;  // ".\Endpoints.cfg"
// Fills e with the defaults (all loopback), then reads the file over them; a
// missing file is written with the defaults. Unknown keys and bad values are
// logged and skipped. 1 when the file was read or written; 0 (the defaults
// kept) when it could not be, and when it is no plain file (a FIFO, a link,
// a folder), which is neither read nor replaced (NoteNotPlainFile, files.h).
int LoadEndpoints(EndpointConfig* e);
void EndpointDefaults(EndpointConfig* e);
// Reads "key = value" lines of a text over e; returns the number of lines
// refused (logged).
uint32_t ParseEndpoints(EndpointConfig* e, const char* text, uint32_t size);

struct QoESystem {
  EndpointConfig Endpoints;   // .\Endpoints.cfg
  uint8_t TcpIpStack;         // copy of the options' stack choice
  OptionenPrefs Optionen;     // .\Data\Optionen.prefs
  std::atomic<uint32_t> SoundCapabilities{0};  // SoundMaskeFlags offered
  std::atomic<uint32_t> SoundStatus{0};        // SoundMaskeFlags in force
  std::atomic<uint32_t> Status{0};             // SYSSTATUS_* bits
  DisplayRecord* Display;
  uint32_t PathsLoaded;       // 1 while the index images below are loaded
  uint8_t* PicPath;           // image of .\Data\Path
  uint32_t PicPathSize;
  uint8_t* SfxPathImage;      // image of .\Data\SfxPath
  uint32_t SfxPathSize;
  uint64_t MemoryAtStart;     // free physical memory seen by CheckSystem
  uint32_t Processors;        // processors seen by CheckSystem
};

enum : uint32_t { OWNPLAYER_NAME = 80, OWNPLAYER_WEB = 80 };
// OwnPlayer::Mark values.
enum : uint16_t { OWNPLAYER_CORONATION = 1, OWNPLAYER_UNCLEAN = 2 };

struct OwnPlayer {
  uint32_t PlayerId;                 // prefs field 9
  char LordName[OWNPLAYER_NAME];     // prefs field 10
  uint32_t ActiveTown;
  uint32_t Anarchy;                  // 0 none, 1 confidence lost, 2 capital lost
  uint16_t Mark;                     // 1 coronation due, 2 unclean shut-down
  uint16_t InfoFlags;
  uint16_t Fetches;                  // turn fetches in this run
  uint16_t ReceivedQuarter;
  uint32_t OldTurnTestDone;
  char WebPath[OWNPLAYER_WEB];       // path prefix of the web pages
  char WebHost[OWNPLAYER_WEB];       // host of the web pages
};

extern QoESystem* const QoESystemPtr;
extern OwnPlayer* const OwnPlayerPtr;
// The main window (the current platform backend while it is open; null
// before and after). The module player takes it as its window.
extern std::atomic<const void*> MainWindow;

// Fills the display record's mode fields from the chosen display mode and
// the display set-up.
void FillDisplayRecord();

// The screen's RastPort (DisplayRecord::ScreenRastPort) over the display's
// back surface, in game coordinates; in OpenGL mode over a 640 x 480 memory
// bitmap (RGBA at depth 32) that the window thread shows. 1 on success, 0
// without a display.
int OpenScreenRastPort();
void CloseScreenRastPort();

// Loads .\Data\Path and .\Data\SfxPath into memory (FreePaths first); 1 when
// both were read. A missing file leaves its image null (logged).
int LoadPaths();
// Frees the picture and sound index images before the data folders change,
// and has the picture manager forget its loaded indexes (its hook).
void FreePaths();
void SetGraphicsPathsFreeHook(void (*hook)());

// ---- Sound-sample cache -----------------------------------------------------
enum : uint32_t { SFX_CACHE_ENTRIES = 1024 };
// Keeps a copy of a sample: nothing (0) for ID 1, an ID beyond the cache, an
// ID already cached, or when 70 % of AvailMem is at most 5,000,000 bytes;
// otherwise copies it (0), or 1 when the copy cannot be allocated.
int Copy2SfxCache(uint32_t id, uint32_t size, const void* data);
// The cached copy of a sample (size through *size), null when none.
const void* SfxCacheEntry(uint32_t id, uint32_t* size);
// Frees the caches the bits select: 1 graphics (the picture manager's hook),
// 2 sound samples.
void FreeCaches(uint32_t bits);
// The picture manager registers the function that frees its graphics cache.
void SetGraphicsCacheFreeHook(void (*hook)());
// Tests: the free-memory probe the cache decides by (null: AvailMem).
void SetSfxCacheMemoryProbe(uint64_t (*probe)(uint32_t));
