// The data kit's model writer: ".qoe" model files ("OPGL" or "FORM") with
// every chunk type, from records in memory. Format: docs/gl3d-models.md.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace datakit {

// A texture definition and, optionally, its picture.
struct QoeTexture {
  std::string name;   // up to 39 characters kept by the loader
  std::string file;   // up to 255 characters kept by the loader
  uint16_t width = 0, height = 0, bits = 24;
  enum Picture { kNone, kRaw, kJpeg } picture = kNone;
  // kRaw: width x height x bits / 8 bytes, rows top-down, R G B (A); the
  // writer stores B G R (A) in an "OPGL" file.
  std::vector<uint8_t> pixels;
  // kJpeg: the colour JPEG, and for 32 bits the grey alpha JPEG.
  std::vector<uint8_t> jpeg, jpeg_alpha;
};

struct QoePoint {
  float u = 0, v = 0;
  uint8_t rgba[4] = {255, 255, 255, 255};
  float x = 0, y = 0, z = 0;
};

struct QoeFace {
  uint32_t first = 0;    // index number within its object's indices
  uint16_t points = 0;
  uint16_t texture = 0;  // texture number in the file
};

struct QoeVertexChange {
  uint16_t point = 0, x = 0, y = 0, z = 0;
};

// Ranges are item numbers within the file's own arrays.
struct QoeObject {
  std::string name;
  uint32_t first_change = 0, change_count = 0;
  uint32_t first_index = 0, index_count = 0;
  uint32_t first_point = 0, point_count = 0;
  uint32_t first_face = 0, face_count = 0;
  float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  float min[3] = {0, 0, 0}, max[3] = {0, 0, 0};
  uint16_t level = 0;
};

struct QoeAnimation {
  std::string name;
  uint32_t last_frame = 0;  // the loader's value; the file holds it plus 1
  uint32_t first_frame = 0, frame_count = 0;
};

// The transform blocks of frames and elements.
struct QoePose {
  float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  float rotation[3] = {0, 0, 0}, scale[3] = {1, 1, 1}, translation[3] = {0, 0, 0};
};

struct QoeFrame {
  int32_t number = 0;
  uint32_t target = 0;
  uint16_t target_kind = 0;  // 0 or 30008 object, 30011 animation, 30012 frame
  QoePose pose;
};

struct QoeElement {
  int32_t number = 0;
  uint32_t animation = 0;
  QoePose pose;
};

struct QoeModel {
  std::vector<QoeTexture> textures;
  std::vector<QoePoint> points;
  std::vector<uint32_t> indices;
  std::vector<QoeVertexChange> changes;
  std::vector<QoeFace> faces;
  std::vector<QoeObject> objects;
  std::vector<QoeAnimation> animations;
  std::vector<QoeFrame> frames;
  std::vector<QoeElement> elements;
};

// The whole file: TXGL, POGL, PIGL, VCGL, FAGL, OBGL, ANGL, FRGL, ELGL (each
// only when it has items), then one BMGL or JPGL chunk (two for a 32-bit
// JPEG: alpha, then colour) per texture with a picture. form: magic "FORM"
// (pixels stored R G B), else "OPGL".
std::vector<uint8_t> WriteQoe(const QoeModel& model, bool form);

// A chunk header: type, texture number, item count, data bytes.
void PutQoeChunkHeader(std::vector<uint8_t>& out, const char type[4], uint16_t texture, uint32_t count,
                       uint32_t bytes);

}  // namespace datakit
