#include "iff.h"

int IffOpenForm(const void* data, size_t size, uint32_t* form_type, BoundedReader* body) {
  BoundedReader r = MakeReader(data, size);
  uint32_t id = ReadBE32(r);
  uint32_t len = ReadBE32(r);
  if (!r.ok || id != IffId("FORM") || len < 4 || len > ReaderLeft(r)) return 0;
  uint32_t type = ReadBE32(r);
  if (form_type) *form_type = type;
  if (body) *body = MakeReader(r.data + r.pos, len - 4);
  return 1;
}

int IffNextChunk(BoundedReader* body, IffChunk* out) {
  if (!body->ok) return -1;
  if (ReaderLeft(*body) == 0) return 0;
  // A lone pad byte at the very end is not a chunk.
  if (ReaderLeft(*body) == 1) { body->pos = body->size; return 0; }
  uint32_t id = ReadBE32(*body);
  uint32_t len = ReadBE32(*body);
  if (!body->ok) return -1;
  const uint8_t* p = ReadSpan(*body, len);
  if (!p && len) return -1;
  if ((len & 1) && ReaderLeft(*body) > 0) ReaderSkip(*body, 1);
  out->id = id;
  out->data = p ? p : body->data + body->pos;
  out->size = len;
  return 1;
}

int IffFindChunk(BoundedReader body, uint32_t id, IffChunk* out) {
  IffChunk c{};
  int rc;
  while ((rc = IffNextChunk(&body, &c)) == 1) {
    if (c.id == id) { *out = c; return 1; }
  }
  return rc;
}
