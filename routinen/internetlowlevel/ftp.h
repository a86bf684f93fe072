// FTP client of the update store: log-in, folder, the passive-mode listing
// paired into updates and their descriptions, binary downloads with
// progress. One connection at a time, on the game thread. Rules and limits:
// docs/internetclients.md.
#pragma once
#include <cstddef>
#include <cstdint>

enum : uint32_t {
  FTP_MAX_LISTING = 1u << 20,  // bytes of one LIST answer
  FTP_MAX_PAIRS = 10,          // update pairs kept from a listing
  FTP_NAME = 256,              // a file name with its 0 byte
};

// One update of the listing: the update file (its name contains ".zip" or
// ".exe") and its description (the same name with ".txt" in place of the
// last extension).
struct FtpListEntry {
  char FileName[FTP_NAME];
  uint64_t FileSize;
  char TextName[FTP_NAME];
  uint64_t TextSize;
};
struct FtpListing {
  uint32_t Count;  // 0 .. FTP_MAX_PAIRS, in listing order
  FtpListEntry Entries[FTP_MAX_PAIRS];
};

// Connects to host ("name" or "name:port"; port when the host has none),
// logs in, switches to binary, changes to folder and reads its listing into
// the pairs (GetFTPListing). Returns "FTP OK" or an error text (valid until
// the next OpenFTP); the connection stays open only after "FTP OK".
const char* OpenFTP(const char* host, uint16_t port, const char* user, const char* password, const char* folder);
// Progress of a download: the total (the size passed in) and the bytes so far.
using FtpProgress = void (*)(uint64_t total, uint64_t done);
// Downloads remote (a name of the listing; one checked by FtpSafeName) from
// folder (changed to first unless empty) into the program path local. The
// bytes go to a temporary file beside local that replaces it only when the
// whole file is in: exactly size bytes (0: whatever comes) and the server's
// 226. progress (may be null) is called after every block. Non-zero on
// success; else FtpError() says why and local is untouched.
int32_t GetFTPData(const char* remote, const char* folder, uint64_t size, const char* local, FtpProgress progress);
// Says goodbye (QUIT) and closes the connection; the listing stays.
void CloseFTP();
// The pairs of the last listing, null when there is none.
const FtpListing* GetFTPListing();
void FreeFTPListing();
// Why the last OpenFTP or GetFTPData failed ("" after a success).
const char* FtpError();

// ---- Readers of what the server sends ------------------------------------------------

// One line of a Unix LIST answer ("-rw-r--r-- 1 o g 1234 Dec  6 12:00 a.zip").
// 1 for a regular file whose name passes FtpSafeName (copied to name, the
// size to *size); 0 for folders, links, "total" lines, malformed lines and
// refused names.
int32_t FtpParseListLine(const char* line, size_t length, char* name, size_t name_size, uint64_t* size);
// A file name as the server gave it, reduced to its last '/' component;
// 1 when that is a plain name: not empty, shorter than FTP_NAME, no leading
// dot, no "..", no '\\' or ':', no control characters. out gets the reduced
// name.
int32_t FtpSafeName(const char* name, size_t length, char* out, size_t out_size);
// Parses a whole LIST answer and pairs it (first FTP_MAX_PAIRS pairs in
// listing order). Returns the number of pairs.
uint32_t FtpPairListing(const char* text, size_t size, FtpListing* out);
// The port of a "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)" reply; 1 when
// it was there and not 0.
int32_t FtpParsePasv(const char* reply, uint16_t* port);
