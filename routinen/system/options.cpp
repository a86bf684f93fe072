// Options block: defaults, big-endian disk image, load and save.
#include "options.h"

#include <cstring>

#include "byteorder.h"
#include "files.h"
#include "memory.h"
#include "platform/log.h"

const char* const kOptionHostPlaceholder = "servername";
const char* const kOptionUserPlaceholder = "username";
const char* const kOptionPasswordPlaceholder = "zezavuri";
const char* const kOptionEmailPlaceholder = "username@servername";

namespace {

const char kPath[] = ".\\Data\\Optionen.prefs";

void SetText(char* dst, const char* src) {
  std::memset(dst, 0, 40);
  std::strncpy(dst, src, 39);
}

void PutText(uint8_t* out, const char* text) {
  std::memset(out, 0, 40);
  for (int i = 0; i < 39 && text[i]; ++i) out[i] = (uint8_t)text[i];
}

void GetText(const uint8_t* in, char* text) {
  std::memcpy(text, in, 39);
  text[39] = 0;
}

}  // namespace

void OptionenPrefsDefault(OptionenPrefs* o) {
  std::memset(o, 0, sizeof *o);
  o->sound_optionen = 1 | 8 | 16 | 32;  // 16-bit sound, module music, effects, music
  o->tcpip_stack = kTcpIpStackLan;
  o->net_option_bits = NET_MAIL_ROUTE;
  o->audio3 = 0xFFFFFFFFu;
  o->audio4 = 22100;
  o->sfx_volume = 50;
  o->cd_volume = 50;
  SetText(o->pop3_host, kOptionHostPlaceholder);
  SetText(o->smtp_host, kOptionHostPlaceholder);
  SetText(o->pop3_user, kOptionUserPlaceholder);
  SetText(o->pop3_password, kOptionPasswordPlaceholder);
  SetText(o->email, kOptionEmailPlaceholder);
  SetText(o->smtp_user, kOptionUserPlaceholder);
  SetText(o->smtp_password, kOptionPasswordPlaceholder);
}

void OptionenPrefsEncode(const OptionenPrefs* o, uint8_t* out) {
  std::memset(out, 0, OPTIONEN_PREFS_SIZE);
  PutBE32(out + 0, o->sound_optionen);
  out[4] = o->tcpip_stack;
  out[5] = o->net_option_bits;
  PutText(out + 6, o->cd_device);
  PutBE16(out + 46, o->cd_unit);
  PutBE16(out + 48, o->audio2);
  PutBE32(out + 50, o->audio3);
  PutBE32(out + 54, o->audio4);
  out[58] = o->sfx_volume;
  out[59] = o->cd_volume;
  PutText(out + 60, o->pop3_host);
  PutText(out + 100, o->smtp_host);
  PutText(out + 140, o->pop3_user);
  PutText(out + 180, o->pop3_password);
  PutText(out + 220, o->email);
  PutText(out + 260, o->smtp_user);
  PutText(out + 300, o->smtp_password);
  std::memcpy(out + 340, o->reserved, sizeof o->reserved);
  PutBE32(out + 566, o->mouse_cursor);
}

void OptionenPrefsDecode(const uint8_t* in, OptionenPrefs* o) {
  o->sound_optionen = GetBE32(in + 0);
  o->tcpip_stack = in[4];
  o->net_option_bits = in[5];
  GetText(in + 6, o->cd_device);
  o->cd_unit = GetBE16(in + 46);
  o->audio2 = GetBE16(in + 48);
  o->audio3 = GetBE32(in + 50);
  o->audio4 = GetBE32(in + 54);
  o->sfx_volume = in[58];
  o->cd_volume = in[59];
  GetText(in + 60, o->pop3_host);
  GetText(in + 100, o->smtp_host);
  GetText(in + 140, o->pop3_user);
  GetText(in + 180, o->pop3_password);
  GetText(in + 220, o->email);
  GetText(in + 260, o->smtp_user);
  GetText(in + 300, o->smtp_password);
  std::memcpy(o->reserved, in + 340, sizeof o->reserved);
  o->mouse_cursor = GetBE32(in + 566);
}

int32_t OptionenPrefsLoad(OptionenPrefs* o) {
  if (!o) return 0;
  uint8_t img[OPTIONEN_PREFS_SIZE];
  OptionenPrefsDefault(o);
  OptionenPrefsEncode(o, img);
  FileHandle probe = Open(kPath, MODE_READONLY);
  if (!probe && PathKind(kPath) != PATH_ABSENT) {
    NoteNotPlainFile(kPath);  // a FIFO, a link, a folder: neither read nor replaced
    return 0;
  }
  if (!probe) {
    if (!SaveMem2File(kPath, img, OPTIONEN_PREFS_SIZE)) {
      DebugLog("OptionenPrefsLoad: Konnte Standard-Optionen nicht speichern!\n");
      return 0;
    }
    return 1;
  }
  Close(probe);
  uint32_t got = 0;
  uint8_t* data = static_cast<uint8_t*>(LoadFile2MemSize(kPath, MEMF_PUBLIC, &got));
  if (!data && GeFileSize(kPath) != 0) {
    DebugLog("OptionenPrefsLoad: Konnte %s nicht lesen!\n", kPath);
    return 0;
  }
  if (data) std::memcpy(img, data, got < OPTIONEN_PREFS_SIZE ? got : OPTIONEN_PREFS_SIZE);
  else got = 0;
  FreeVec(data);
  OptionenPrefsDecode(img, o);
  if (got < OPTIONEN_PREFS_SIZE) {
    DebugLog("OptionenPrefsLoad: %s ist zu kurz (%u Bytes), ergaenze Standardwerte\n", kPath, got);
    if (!SaveMem2File(kPath, img, OPTIONEN_PREFS_SIZE))
      DebugLog("OptionenPrefsLoad: Konnte Optionen nicht ergaenzen!\n");
  }
  return 1;
}

int32_t OptionenPrefsSave(const OptionenPrefs* o) {
  if (!o) return 0;
  uint8_t img[OPTIONEN_PREFS_SIZE];
  OptionenPrefsEncode(o, img);
  if (!SaveMem2File(kPath, img, OPTIONEN_PREFS_SIZE)) {
    DebugLog("OptionenPrefsSave: Konnte %s nicht speichern!\n", kPath);
    return 0;
  }
  return 1;
}

int32_t OptionConfigured(const char* field) {
  if (!field || !field[0]) return 0;
  const char* const ph[] = {kOptionHostPlaceholder, kOptionUserPlaceholder, kOptionPasswordPlaceholder,
                            kOptionEmailPlaceholder};
  for (const char* p : ph)
    if (std::strcmp(field, p) == 0) return 0;
  return 1;
}
