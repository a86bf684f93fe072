// The update store (screen code 61, entered from the tavern): a storehouse
// in which each cask stands for a program update on the game's FTP server.
// A click on a cask fetches the update's description and shows it with the
// update's version beside the client's own; OK downloads the update file into
// the program folder. Nothing ever runs a downloaded file. Rules and the
// description file: docs/tavern.md.
#pragma once
#include <cstdint>

#include "routinen/internetlowlevel/ftp.h"

struct ScreenRegion;
struct ScreenBase;
struct TextFont;

constexpr uint32_t kLagerMaxCasks = FTP_MAX_PAIRS;
constexpr uint32_t kLagerDescriptionMax = 2024;  // bytes of a description read
constexpr int32_t kLagerReqX = 144, kLagerReqY = 64, kLagerReqSize = 352;
constexpr int32_t kLagerBarX = 175, kLagerBarY1 = 328, kLagerBarY2 = 336, kLagerBarWidth = 290;
constexpr uint32_t kLagerCaskGfx = 109, kLagerPieceGfx = 111, kLagerRequesterGfx = 69;
constexpr int32_t kLagerPieceX = 448, kLagerPieceY = 284;

// One visit of the store (allocated cleared, game thread).
struct LagerScreenData {
  uint32_t ftpReady;          // InitUpdateData's result
  uint16_t count;             // update pairs, 0..kLagerMaxCasks
  int16_t chosen;             // the cask clicked last, -1 none
  uint32_t serverVersion;     // of the description shown last (0 none)
  uint32_t ownVersion;
  ScreenBase* base;           // the screen's picture, movies and Lager.dat
  ScreenRegion* region;       // Lager.dat: titles, CH00, EXIT, the cask points
  ScreenRegion* reqRegion;    // LagerReq.dat: EXIT and OKOK of the requester
  char serverText[5];         // "X.YZ" or "----"
  char ownText[5];
  char ftpStatus[80];         // OpenFTP's answer
  char localPath[FTP_NAME + 4];
  char fileNames[kLagerMaxCasks][FTP_NAME];
  char textNames[kLagerMaxCasks][FTP_NAME];
  uint64_t fileSizes[kLagerMaxCasks];
  uint64_t textSizes[kLagerMaxCasks];
  TextFont* font;
  uint8_t caskOpen, pieceOpen;  // graphics 109 and 111 held by the visit
};

// What a description file says: the version from bytes 5 to 7 (three digits)
// and the text from byte 9 on, both within the first kLagerDescriptionMax
// bytes.
struct UpdateDescription {
  uint32_t version;       // X x 100 + Y x 10 + Z, 0 when found is 0
  uint32_t found;         // 1 when bytes 5 to 7 are three digits
  char versionText[5];    // "X.YZ", or "----"
  const char* text;       // inside the data, null when empty
  uint32_t textLength;
};
void ReadUpdateDescription(const char* data, uint32_t size, UpdateDescription* out);
// The next line of a description text (ended by a line feed or the end):
// its start and length; 0 when the text is used up. *at advances.
int32_t NextDescriptionLine(const UpdateDescription* d, uint32_t* at, const char** line, uint32_t* length);

// The screen: returns 59 (the tavern), -1 when it cannot start.
int32_t LagerScreen(int32_t entry_code);
// Online: OpenFTP to the endpoint file's update server, the pairs collected
// and their casks drawn at the points of casks. 1 when at least one pair is
// offered; 0 offline, after an FTP failure or without pairs (logged).
int32_t InitUpdateData(LagerScreenData* d, const ScreenRegion* casks);
// Copies the pairs of the FTP listing into d (in listing order, at most
// kLagerMaxCasks); their count.
uint32_t CollectUpdateFiles(LagerScreenData* d);
// Graphic 109 at each of the first count points of casks, and the piece 111
// in front of the fourth.
void DrawUpdateCasks(const ScreenRegion* casks, uint32_t count);
// The client's own version from kClientVersionString: sets d->ownText.
uint32_t GetClientVersion(LagerScreenData* d);
// Downloads pair i's update file into local (a program path); 1 on success.
// An existing file of that name is replaced only by a whole download.
int32_t Download2Ram(LagerScreenData* d, const char* local, uint32_t i);
// Fetches pair i's description into .\ftptemp.txt; 1 on success.
int32_t Load_Txt2Ram(LagerScreenData* d, uint32_t i);
// Prints the requester's text from .\ftptemp.txt; 1 when it could be read.
int32_t PrintInfotext(LagerScreenData* d, uint64_t size);
// The requester saying the server cannot be reached; closes on EXIT or OKOK.
void ShowUpdateServerMessage(LagerScreenData* d);
// The requester of pair i. Its outcome: 1 downloaded, 0 closed without a
// download, -1 the download failed.
int32_t ShowUpdateRequester(LagerScreenData* d, uint32_t i);
// The index of the first of count casks whose area (x + 2 .. x + 70,
// y + 26 .. y + 94 of its point, bounds included) holds the mouse, else -1;
// always -1 while offline.
int32_t FindUpdateCask(const ScreenRegion* casks, int32_t x, int32_t y, uint32_t count);
// The FTP client's progress callback: the bar under the requester's text.
void DrawFtpProgressBar(uint64_t total, uint64_t done);
// The bar's width for a total and the bytes so far: -1 (no bar) for totals
// below 1024, else (done / 10) x 290 / (total / 10) in 64 bits, at most 290.
int32_t FtpProgressBarWidth(uint64_t total, uint64_t done);

// Test seams: every line the requesters print (with its y), and the width
// the progress bar was last drawn with (-1 none since the seam was set).
void SetLagerPrintHook(void (*hook)(int32_t y, const char* text, void* arg), void* arg);
int32_t LagerLastBarWidth();
