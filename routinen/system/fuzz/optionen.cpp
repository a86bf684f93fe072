// The options block read from arbitrary bytes (a file of any length): every
// field comes out in its range, and the block written back reads again
// without a repair.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "routinen/system/options.h"

namespace {

bool TextOk(const char* t, bool ascii) {
  if (strnlen(t, 40) == 40) return false;
  for (const char* c = t; *c; ++c) {
    const uint8_t b = static_cast<uint8_t>(*c);
    if (b < 32 || b == 127 || (ascii && (b == ' ' || b > 126))) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  OptionenPrefs o;
  OptionenPrefsRead(data, (uint32_t)(size > OPTIONEN_PREFS_SIZE ? OPTIONEN_PREFS_SIZE : size), &o);
  const uint8_t b = o.net_option_bits;
  if (o.sound_optionen > 0xFF || o.tcpip_stack > 4 || (b & ~(NET_MAIL_ROUTE | NET_SERVER_ROUTE | NET_IRC_PANEL)) ||
      ((b & NET_MAIL_ROUTE) != 0) == ((b & NET_SERVER_ROUTE) != 0) || o.sfx_volume > 100 || o.cd_volume > 100 ||
      (o.mouse_cursor != 0 && o.mouse_cursor != 0xFFFFFFFFu))
    __builtin_trap();
  for (const char* t : {o.cd_device, o.pop3_user, o.pop3_password, o.smtp_user, o.smtp_password})
    if (!TextOk(t, false)) __builtin_trap();
  for (const char* t : {o.pop3_host, o.smtp_host, o.email})
    if (!TextOk(t, true)) __builtin_trap();
  if (o.email[0] && !std::strchr(o.email, '@')) __builtin_trap();
  uint8_t img[OPTIONEN_PREFS_SIZE];
  OptionenPrefsEncode(&o, img);
  OptionenPrefs again;
  uint8_t back[OPTIONEN_PREFS_SIZE];
  if (OptionenPrefsRead(img, OPTIONEN_PREFS_SIZE, &again) != 0) __builtin_trap();
  OptionenPrefsEncode(&again, back);
  if (std::memcmp(img, back, sizeof img) != 0) __builtin_trap();
  return 0;
}
