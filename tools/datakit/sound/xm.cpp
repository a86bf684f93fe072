// XM writer.
#include "xm.h"

#include <algorithm>
#include <stdexcept>

namespace datakit {
namespace {

using Bytes = std::vector<uint8_t>;

void P8(Bytes& b, uint32_t v) { b.push_back((uint8_t)v); }
void P16(Bytes& b, uint32_t v) { P8(b, v); P8(b, v >> 8); }
void P32(Bytes& b, uint32_t v) { P16(b, v); P16(b, v >> 16); }
void Text(Bytes& b, const std::string& s, size_t n, char pad) {
  for (size_t i = 0; i < n; ++i) b.push_back(i < s.size() ? (uint8_t)s[i] : (uint8_t)pad);
}

Bytes PackPattern(const XmPattern& p, int channels) {
  Bytes d;
  for (int r = 0; r < p.rows; ++r)
    for (int c = 0; c < channels; ++c) {
      const XmCell& x = p.cells[(size_t)r * channels + c];
      uint8_t mask = (x.note ? 1 : 0) | (x.instrument ? 2 : 0) | (x.volume ? 4 : 0) | (x.effect ? 8 : 0) |
                     (x.param ? 16 : 0);
      if (mask == 31) {
        P8(d, x.note); P8(d, x.instrument); P8(d, x.volume); P8(d, x.effect); P8(d, x.param);
        continue;
      }
      P8(d, 0x80 | mask);
      if (x.note) P8(d, x.note);
      if (x.instrument) P8(d, x.instrument);
      if (x.volume) P8(d, x.volume);
      if (x.effect) P8(d, x.effect);
      if (x.param) P8(d, x.param);
    }
  return d;
}

void Envelope(Bytes& pts, const XmEnvelope& e) {
  for (int i = 0; i < 12; ++i) {
    auto pt = i < (int)e.points.size() ? e.points[(size_t)i] : std::pair<uint16_t, uint16_t>{0, 0};
    P16(pts, pt.first);
    P16(pts, pt.second);
  }
}

}  // namespace

std::vector<uint8_t> WriteXm(const XmModule& m) {
  if (m.channels < 2 || m.channels > 32 || (m.channels & 1)) throw std::runtime_error("XM: channel count");
  if (m.order.empty() || m.order.size() > 256) throw std::runtime_error("XM: order length");
  Bytes b;
  Text(b, "Extended Module: ", 17, 0);
  Text(b, m.name, 20, ' ');
  P8(b, 0x1A);
  Text(b, "Quill of Elmor kit", 20, ' ');
  P16(b, 0x0104);
  P32(b, 276);  // header size from here
  P16(b, (uint32_t)m.order.size());
  P16(b, (uint32_t)m.restart);
  P16(b, (uint32_t)m.channels);
  P16(b, (uint32_t)m.patterns.size());
  P16(b, (uint32_t)m.instruments.size());
  P16(b, 1);  // linear frequency table
  P16(b, (uint32_t)m.speed);
  P16(b, (uint32_t)m.tempo);
  for (size_t i = 0; i < 256; ++i) P8(b, i < m.order.size() ? m.order[i] : 0);
  for (const XmPattern& p : m.patterns) {
    if (p.rows < 1 || p.rows > 256 || p.cells.size() != (size_t)p.rows * m.channels)
      throw std::runtime_error("XM: pattern size");
    Bytes d = PackPattern(p, m.channels);
    if (d.size() > 0xFFFF) throw std::runtime_error("XM: pattern too large");
    P32(b, 9);
    P8(b, 0);
    P16(b, (uint32_t)p.rows);
    P16(b, (uint32_t)d.size());
    b.insert(b.end(), d.begin(), d.end());
  }
  for (const XmInstrument& in : m.instruments) {
    const XmSample& s = in.sample;
    if (in.volume.points.size() > 12) throw std::runtime_error("XM: envelope points");
    P32(b, 263);  // instrument header size
    Text(b, in.name, 22, 0);
    P8(b, 0);
    P16(b, 1);  // one sample
    P32(b, 40);
    for (int i = 0; i < 96; ++i) P8(b, 0);  // every note plays sample 0
    Envelope(b, in.volume);
    Envelope(b, XmEnvelope{});
    P8(b, (uint32_t)in.volume.points.size());
    P8(b, 0);
    P8(b, in.volume.sustain < 0 ? 0 : (uint32_t)in.volume.sustain);
    P8(b, in.volume.loop_start < 0 ? 0 : (uint32_t)in.volume.loop_start);
    P8(b, in.volume.loop_end < 0 ? 0 : (uint32_t)in.volume.loop_end);
    P8(b, 0); P8(b, 0); P8(b, 0);
    uint8_t vt = in.volume.points.empty() ? 0 : 1;
    if (in.volume.sustain >= 0) vt |= 2;
    if (in.volume.loop_start >= 0) vt |= 4;
    P8(b, vt);
    P8(b, 0);
    P8(b, in.vib_type); P8(b, in.vib_sweep); P8(b, in.vib_depth); P8(b, in.vib_rate);
    P16(b, in.fadeout);
    P16(b, 0);
    for (int i = 0; i < 20; ++i) P8(b, 0);  // pad to the header size
    const uint32_t n = (uint32_t)s.data.size();
    P32(b, n * 2);
    P32(b, s.loop_length ? s.loop_start * 2 : 0);
    P32(b, s.loop_length * 2);
    P8(b, s.volume);
    P8(b, (uint8_t)s.finetune);
    P8(b, 0x10 | (s.loop_length ? 1 : 0));
    P8(b, s.panning);
    P8(b, (uint8_t)s.relative_note);
    P8(b, 0);
    Text(b, in.name, 22, 0);
    int16_t prev = 0;
    for (int16_t v : s.data) {
      P16(b, (uint16_t)(int16_t)(v - prev));
      prev = v;
    }
  }
  return b;
}

}  // namespace datakit
