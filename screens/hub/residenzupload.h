// The upload half of the turn cycle: the outgoing turn gathered from the
// player's orders, the letters and the figures, checked, and sent over the
// game server or by mail (docs/upload.md).
#pragma once
#include <cstdint>

// Gathers the letters of .\Data\MailOut into a MAIL chunk of the pool at
// path (removed from it when there are none). The number of letters, or -1.
int32_t CreateMailChunk(const char* pool);

// Builds and sends the outgoing turn. 1 when the server took it: the turn
// then replaces .\Data\POP3Out\GameChunk.qoe, the letters it carried leave
// .\Data\MailOut and prefs field 15 counts it. 0 otherwise, with nothing
// local changed; ResidenzUploadStatus() says why.
int32_t ResidenzUpload();
const char* ResidenzUploadStatus();
