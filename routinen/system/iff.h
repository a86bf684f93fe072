// IFF (EA 85) container reader over a BoundedReader: one reader for the
// pictures (FORM ILBM), the movies (FORM ANIM) and the catalog (FORM CTLG).
// Never reads outside the buffer; a chunk whose size passes the end of its
// FORM is an error.
#pragma once
#include <cstddef>
#include <cstdint>

#include "byteorder.h"

// Four-character IFF identifier as a big-endian u32: IffId("FORM").
constexpr uint32_t IffId(const char (&s)[5]) {
  return ((uint32_t)(uint8_t)s[0] << 24) | ((uint32_t)(uint8_t)s[1] << 16) |
         ((uint32_t)(uint8_t)s[2] << 8) | (uint32_t)(uint8_t)s[3];
}

struct IffChunk {
  uint32_t id;
  const uint8_t* data;  // inside the buffer given to IffOpenForm
  uint32_t size;        // without the pad byte
};

// Checks a FORM header at the start of data (size bytes): "FORM", a length
// that fits the buffer (a missing final pad byte is tolerated) and the form
// type. Sets *form_type and *body (reader over the chunks after the type).
// Returns 1, or 0 when the data is no complete FORM.
int IffOpenForm(const void* data, size_t size, uint32_t* form_type, BoundedReader* body);
// The next chunk of a FORM body: 1 with *out set, 0 at the clean end of the
// body, -1 when the chunk header or its data pass the end.
int IffNextChunk(BoundedReader* body, IffChunk* out);
// Finds the first chunk with that id; 1 found, 0 missing, -1 broken FORM.
int IffFindChunk(BoundedReader body, uint32_t id, IffChunk* out);
