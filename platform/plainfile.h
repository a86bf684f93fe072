// Opening a file that must be a plain (regular) file. The open never waits:
// a FIFO, a socket or a device at the path is refused at once, never opened
// blocking (a FIFO's open would wait for its other end for ever).
#pragma once
#include <cstdio>

// open(2) of a disk path with O_NONBLOCK, O_CLOEXEC and O_NOCTTY added; the
// file is then refused unless it is a regular file (errno EISDIR for a
// folder, ENXIO for anything else), and a regular file has O_NONBLOCK taken
// off again. With O_NOFOLLOW in flags a link at the path's end is refused
// too (ELOOP). The descriptor, or -1.
int OpenPlainFile(const char* disk_path, int flags, unsigned mode = 0644);
// The same as a stdio stream: how is "r"/"rb" (read), "w"/"wb" (created or
// emptied) or "a"/"ab" (appended, created when missing); links at the
// path's end are followed only with follow_links. Null on failure.
FILE* OpenPlainStream(const char* disk_path, const char* how, bool follow_links);
