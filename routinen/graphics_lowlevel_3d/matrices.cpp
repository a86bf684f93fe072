// The engine's 4 x 4 matrices (16 floats, row i holding the image of axis i,
// row 3 the translation) and the four hierarchy slots.
#include <cmath>
#include <cstring>

#include "gl3d_internal.h"
#include "platform/log.h"

void SetMi(float m[16]) {
  if (!m) return;
  for (int i = 0; i < 16; i++) m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

void SetMr(float m[16], float degrees, uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  if (!m || a > 15 || b > 15 || c > 15 || d > 15) {
    DebugLog("SetMr:Fehlerhafte Paramteruebergabe.\n");
    return;
  }
  const double t = double(degrees) / 180.0 * M_PI;
  SetMi(m);
  m[a] = float(std::cos(t));
  m[b] = float(std::cos(t));
  m[c] = float(std::sin(t));
  m[d] = float(-std::sin(t));
}

void SetMrx(float m[16], float degrees) { SetMr(m, degrees, 5, 10, 6, 9); }
void SetMry(float m[16], float degrees) { SetMr(m, degrees, 10, 0, 8, 2); }
void SetMrz(float m[16], float degrees) { SetMr(m, degrees, 0, 5, 1, 4); }

void SetMt(float m[16], float x, float y, float z) {
  if (!m) {
    DebugLog("SetMt: Fehlerhafte Paramteruebergabe.\n");
    return;
  }
  SetMi(m);
  m[12] = x;
  m[13] = y;
  m[14] = z;
}

void SetMs(float m[16], float x, float y, float z) {
  if (!m) {
    DebugLog("SetMs: Fehlerhafet Parameteruebergabe.\n");
    return;
  }
  SetMi(m);
  m[0] = x;
  m[5] = y;
  m[10] = z;
}

void MatrixMul(const float a[16], const float b[16], float c[16]) {
  if (!a || !b || !c) return;
  float r[16];
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) {
      float sum = 0.0f;
      for (int k = 0; k < 4; k++) sum += a[4 * i + k] * b[4 * k + j];
      r[4 * i + j] = sum;
    }
  std::memcpy(c, r, sizeof r);
}

void MatrixRST(float m[16], const float rotation[3], const float scale[3], const float translation[3]) {
  if (!m || !rotation || !scale || !translation) {
    DebugLog("MatrixRST: Fehlerhafte Paramteruebergabe.\n");
    return;
  }
  float r[16];
  SetMrx(m, rotation[0]);
  SetMry(r, rotation[1]);
  MatrixMul(m, r, m);
  SetMrz(r, rotation[2]);
  MatrixMul(m, r, m);
  SetMs(r, scale[0], scale[1], scale[2]);
  MatrixMul(m, r, m);
  SetMt(r, translation[0], translation[1], translation[2]);
  MatrixMul(m, r, m);
}

void TransformV(const float m[16], void* vectors, uint32_t count, uint32_t stride) {
  if (!m) {
    DebugLog("TransformV: Fehlerhafte Paramter\xfc" "bergabe 001.\n");
    return;
  }
  if (!vectors) {
    DebugLog("TransformV: Fehlerhafte Paramter\xfc" "bergabe 002.\n");
    return;
  }
  auto* p = static_cast<uint8_t*>(vectors);
  for (uint32_t i = 0; i < count; i++, p += stride) {
    float v[3];
    std::memcpy(v, p, sizeof v);
    const float out[3] = {v[0] * m[0] + v[1] * m[4] + v[2] * m[8] + m[12],
                          v[0] * m[1] + v[1] * m[5] + v[2] * m[9] + m[13],
                          v[0] * m[2] + v[1] * m[6] + v[2] * m[10] + m[14]};
    std::memcpy(p, out, sizeof out);
  }
}

void UpdateHierachy(const float m[16], uint32_t level) {
  if (!m || level > 3) {
    DebugLog("UpdateHierachy: Fehlerhafte Paramter\xfc" "bergabe.\n");
    return;
  }
  std::memcpy(E3D().hierarchy[level], m, sizeof(float) * 16);
}

void TransformHierarchyV(void* vectors, uint32_t count, uint32_t level, uint32_t stride) {
  Engine3DState& s = E3D();
  for (uint32_t l = 3; l >= 1; l--)
    if (level >= l) TransformV(s.hierarchy[l], vectors, count, stride);
  TransformV(s.hierarchy[0], vectors, count, stride);
}

void ResetHierarchy() {
  for (float* m : E3D().hierarchy) SetMi(m);
}
