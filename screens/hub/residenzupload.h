// The upload half of the turn cycle: the outgoing turn gathered from the
// player's orders, the letters and the figures, checked, and sent over the
// game server or by mail (docs/upload.md).
#pragma once
#include <cstdint>

// Gathers the letters of .\Data\MailOut into the MAIL chunk of the pool at
// path, after the letters that chunk already carries (those of an earlier
// upload of the turn); removed when there are none at all. The number of
// letters in the chunk, or -1 (also for a damaged MAIL chunk).
int32_t CreateMailChunk(const char* pool);

// Builds and sends the outgoing turn. 1 when the server took it: the turn
// then replaces .\Data\POP3Out\GameChunk.qoe, the letters it carried leave
// .\Data\MailOut and prefs field 15 counts it, all three in one file set
// (the status is "ok", or catalog text 1676 when the set failed and all
// three stay as they were). 0 otherwise, with nothing local changed;
// ResidenzUploadStatus() says why.
int32_t ResidenzUpload();
const char* ResidenzUploadStatus();
