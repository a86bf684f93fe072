// The endpoint file's parser on arbitrary text: fields stay terminated.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "routinen/system/sysrecords.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  EndpointConfig e;
  EndpointDefaults(&e);
  ParseEndpoints(&e, reinterpret_cast<const char*>(data), (uint32_t)size);
  if (strnlen(e.WebHost, sizeof e.WebHost) == sizeof e.WebHost ||
      strnlen(e.TlsAcceptCert, sizeof e.TlsAcceptCert) == sizeof e.TlsAcceptCert || e.MailTls > TLS_REQUIRED)
    __builtin_trap();
  return 0;
}
