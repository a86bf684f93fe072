#include "module_writer.h"

#include <cstring>

namespace modwriter {

namespace {

const uint16_t kPeriods[72] = {
    1712, 1616, 1524, 1440, 1356, 1280, 1208, 1140, 1076, 1016, 960, 907, 856, 808, 762, 720, 678, 640,
    604,  570,  538,  508,  480,  453,  428,  404,  381,  360,  339, 320, 302, 285, 269, 254, 240, 226,
    214,  202,  190,  180,  170,  160,  151,  143,  135,  127,  120, 113, 107, 101, 95,  90,  85,  80,
    75,   71,   67,   63,   60,   56,   53,   50,   47,   45,   42,  40,  37,  35,  33,  31,  30,  28};

struct Out {
  std::vector<uint8_t> b;
  void u8(int v) { b.push_back((uint8_t)v); }
  void le16(uint32_t v) { u8(v & 255); u8((v >> 8) & 255); }
  void le32(uint32_t v) { le16(v & 0xFFFF); le16(v >> 16); }
  void be16(uint32_t v) { u8((v >> 8) & 255); u8(v & 255); }
  void text(const std::string& s, size_t n) {
    for (size_t i = 0; i < n; i++) u8(i < s.size() ? s[i] : 0);
  }
  void pad16() { while (b.size() % 16) u8(0); }
  void putLe16(size_t at, uint32_t v) { b[at] = (uint8_t)v; b[at + 1] = (uint8_t)(v >> 8); }
  void putLe32(size_t at, uint32_t v) { putLe16(at, v & 0xFFFF); putLe16(at + 2, v >> 16); }
  size_t size() const { return b.size(); }
};

void SampleBytes(Out& o, const Sample& s, bool unsignedData, bool delta) {
  int prev = 0;
  for (int v : s.data) {
    if (s.bits16) {
      int w = delta ? v - prev : v;
      o.le16((uint16_t)(int16_t)w);
    } else {
      int w = delta ? v - prev : v;
      o.u8(unsignedData ? (v + 128) & 255 : w & 255);
    }
    prev = v;
  }
}

}  // namespace

Sample Dc(int n, int value, bool bits16) {
  Sample s;
  s.data.assign(n, value);
  s.bits16 = bits16;
  return s;
}

Sample DcLoop(int n, int value) {
  Sample s = Dc(n, value);
  s.loopType = 1;
  s.loopLength = (uint32_t)n;
  return s;
}

std::vector<uint8_t> WriteMod(const Song& song) {
  Out o;
  o.text(song.name, 20);
  for (int i = 0; i < 31; i++) {
    const Sample* s = i < (int)song.samples.size() ? &song.samples[i] : nullptr;
    o.text(s ? s->name : "", 22);
    o.be16(s ? (uint32_t)s->data.size() / 2 : 0);
    o.u8(s ? s->finetune & 15 : 0);
    o.u8(s ? s->volume : 0);
    o.be16(s && s->loopType ? s->loopStart / 2 : 0);
    o.be16(s && s->loopType ? s->loopLength / 2 : 1);
  }
  o.u8(song.modSongLengthOverride >= 0 ? song.modSongLengthOverride : (int)song.orders.size());
  o.u8(song.restart ? song.restart : 127);
  for (int i = 0; i < 128; i++) o.u8(i < (int)song.orders.size() ? song.orders[i] : 0);
  o.text(song.modSignature, 4);
  for (const Pattern& p : song.patterns)
    for (int r = 0; r < 64; r++)
      for (int c = 0; c < song.channels; c++) {
        auto it = p.cells.find({r, c});
        Cell cell = it == p.cells.end() ? Cell{} : it->second;
        uint32_t period = cell.note >= 0 && cell.note < 72 ? kPeriods[cell.note] : 0;
        o.u8((cell.ins & 0xF0) | ((period >> 8) & 15));
        o.u8(period & 255);
        o.u8(((cell.ins & 15) << 4) | (cell.effect & 15));
        o.u8(cell.info);
      }
  for (const Sample& s : song.samples) {
    std::vector<int> d = s.data;
    if (d.size() % 2) d.push_back(0);
    for (int v : d) o.u8(v & 255);
  }
  return o.b;
}

std::vector<uint8_t> WriteS3m(const Song& song) {
  Out o;
  const int ins = (int)song.samples.size(), pats = (int)song.patterns.size();
  const int ords = (int)song.orders.size();
  o.text(song.name, 28);
  o.u8(0x1A); o.u8(16); o.le16(0);
  o.le16(ords); o.le16(ins); o.le16(pats);
  o.le16(song.s3mFlags); o.le16(song.s3mVersion); o.le16(2);
  o.text("SCRM", 4);
  o.u8(song.globalVolume); o.u8(song.speed); o.u8(song.tempo); o.u8(0xB0); o.u8(16);
  o.u8(song.s3mPanning ? 0xFC : 0);
  o.text("", 10);
  for (int c = 0; c < 32; c++) o.u8(c < song.channels ? ((c & 1) ? 8 : 0) + ((c >> 1) & 7) : 255);
  for (int v : song.orders) o.u8(v);
  const size_t insTable = o.size();
  for (int i = 0; i < ins + pats; i++) o.le16(0);
  if (song.s3mPanning)
    for (int c = 0; c < 32; c++) o.u8(c < (int)song.channelPanning.size() ? 0x20 | (song.channelPanning[c] & 15) : 0);
  std::vector<size_t> heads;
  for (int i = 0; i < ins; i++) {
    o.pad16();
    o.putLe16(insTable + 2 * i, (uint32_t)(o.size() / 16));
    heads.push_back(o.size());
    const Sample& s = song.samples[i];
    o.u8(1); o.text("", 12); o.u8(0); o.le16(0);
    o.le32((uint32_t)s.data.size() * (s.bits16 ? 2 : 1));
    o.le32(s.loopStart); o.le32(s.loopStart + s.loopLength);
    o.u8(s.volume); o.u8(0); o.u8(0); o.u8((s.loopType ? 1 : 0) | (s.bits16 ? 4 : 0));
    o.le32(s.c2); o.text("", 12); o.text(s.name, 28); o.text("SCRS", 4);
  }
  for (int p = 0; p < pats; p++) {
    o.pad16();
    o.putLe16(insTable + 2 * ins + 2 * p, (uint32_t)(o.size() / 16));
    const size_t lenAt = o.size();
    o.le16(0);
    const Pattern& pat = song.patterns[p];
    for (int r = 0; r < 64; r++) {
      for (const auto& [key, cell] : pat.cells) {
        if (key.first != r) continue;
        uint8_t flag = (uint8_t)(key.second & 31);
        if (cell.note != kNoNote || cell.ins) flag |= 0x20;
        if (cell.vol >= 0) flag |= 0x40;
        if (cell.effect) flag |= 0x80;
        o.u8(flag);
        if (flag & 0x20) {
          int n = cell.note == kNoteCut ? 254 : cell.note < 0 ? 255 : ((cell.note / 12) << 4 | (cell.note % 12));
          o.u8(n);
          o.u8(cell.ins);
        }
        if (flag & 0x40) o.u8(cell.vol);
        if (flag & 0x80) { o.u8(cell.effect - 'A' + 1); o.u8(cell.info); }
      }
      o.u8(0);
    }
    o.putLe16(lenAt, (uint32_t)(o.size() - lenAt - 2));
  }
  for (int i = 0; i < ins; i++) {
    o.pad16();
    const uint32_t para = (uint32_t)(o.size() / 16);
    o.b[heads[i] + 13] = (uint8_t)(para >> 16);
    o.putLe16(heads[i] + 14, para & 0xFFFF);
    SampleBytes(o, song.samples[i], true, false);
  }
  return o.b;
}

}  // namespace modwriter

namespace modwriter {

namespace {

std::vector<Instrument> InstrumentsOf(const Song& song) {
  if (!song.instruments.empty()) return song.instruments;
  std::vector<Instrument> out;
  for (size_t i = 0; i < song.samples.size(); i++) {
    Instrument in;
    in.name = song.samples[i].name;
    in.samples = {(int)i + 1};
    out.push_back(in);
  }
  return out;
}

}  // namespace

std::vector<uint8_t> WriteXm(const Song& song) {
  Out o;
  const std::vector<Instrument> ins = InstrumentsOf(song);
  o.text("Extended Module: ", 17);
  o.text(song.name, 20);
  o.u8(0x1A);
  o.text("module writer", 20);
  o.le16(song.xmVersion);
  o.le32(276);
  o.le16((uint32_t)song.orders.size());
  o.le16(song.restart);
  o.le16(song.channels);
  o.le16((uint32_t)song.patterns.size());
  o.le16((uint32_t)ins.size());
  o.le16(song.xmLinear ? 1 : 0);
  o.le16(song.speed);
  o.le16(song.tempo);
  for (int i = 0; i < 256; i++) o.u8(i < (int)song.orders.size() ? song.orders[i] : 0);
  for (const Pattern& p : song.patterns) {
    o.le32(9);
    o.u8(0);
    o.le16(p.rows);
    const size_t sizeAt = o.size();
    o.le16(0);
    const size_t start = o.size();
    for (int r = 0; r < p.rows; r++)
      for (int c = 0; c < song.channels; c++) {
        auto it = p.cells.find({r, c});
        if (it == p.cells.end()) { o.u8(0x80); continue; }
        const Cell& cell = it->second;
        uint8_t mask = 0x80;
        if (cell.note != kNoNote) mask |= 1;
        if (cell.ins) mask |= 2;
        if (cell.vol >= 0) mask |= 4;
        if (cell.effect) mask |= 8;
        if (cell.info) mask |= 16;
        o.u8(mask);
        if (mask & 1) o.u8(cell.note == kKeyOff ? 97 : cell.note + 1);
        if (mask & 2) o.u8(cell.ins);
        if (mask & 4) o.u8(cell.vol);
        if (mask & 8) o.u8(cell.effect);
        if (mask & 16) o.u8(cell.info);
      }
    o.putLe16(sizeAt, (uint32_t)(o.size() - start));
  }
  for (const Instrument& in : ins) {
    const size_t at = o.size();
    o.le32(263);
    o.text(in.name, 22);
    o.u8(0);
    o.le16((uint32_t)in.samples.size());
    if (in.samples.empty()) {
      o.b.resize(at + 29);
      o.putLe32(at, 29);
      continue;
    }
    o.le32(40);
    for (int k = 0; k < 96; k++) o.u8(k < (int)in.keymap.size() ? in.keymap[k] : 0);
    for (const Envelope* e : {&in.volEnv, &in.panEnv})
      for (int k = 0; k < 12; k++) {
        o.le16(k < (int)e->points.size() ? e->points[k].first : 0);
        o.le16(k < (int)e->points.size() ? e->points[k].second : 0);
      }
    o.u8((int)in.volEnv.points.size());
    o.u8((int)in.panEnv.points.size());
    for (const Envelope* e : {&in.volEnv, &in.panEnv}) {
      o.u8(e->sustain < 0 ? 0 : e->sustain);
      o.u8(e->loopStart < 0 ? 0 : e->loopStart);
      o.u8(e->loopEnd < 0 ? 0 : e->loopEnd);
    }
    for (const Envelope* e : {&in.volEnv, &in.panEnv})
      o.u8((e->on ? 1 : 0) | (e->sustain >= 0 ? 2 : 0) | (e->loopStart >= 0 ? 4 : 0));
    o.u8(in.vibType); o.u8(in.vibSweep); o.u8(in.vibDepth); o.u8(in.vibRate);
    o.le16(in.fadeout);
    while (o.size() < at + 263) o.u8(0);
    for (int n : in.samples) {
      const Sample& s = song.samples[n - 1];
      const uint32_t unit = s.bits16 ? 2 : 1;
      o.le32((uint32_t)s.data.size() * unit);
      o.le32(s.loopStart * unit);
      o.le32(s.loopLength * unit);
      o.u8(s.volume);
      o.u8(s.finetune & 255);
      o.u8((s.loopType & 3) | (s.bits16 ? 16 : 0));
      o.u8(s.panning);
      o.u8(s.relNote & 255);
      o.u8(0);
      o.text(s.name, 22);
    }
    for (int n : in.samples) SampleBytes(o, song.samples[n - 1], false, true);
  }
  return o.b;
}

std::vector<uint8_t> WriteIt(const Song& song) {
  Out o;
  const std::vector<Instrument> ins = song.itInstrumentMode ? InstrumentsOf(song) : std::vector<Instrument>{};
  const int ords = (int)song.orders.size(), nIns = (int)ins.size();
  const int nSmp = (int)song.samples.size(), nPat = (int)song.patterns.size();
  o.text("IMPM", 4);
  o.text(song.name, 26);
  o.le16(0x1004);
  o.le16(ords); o.le16(nIns); o.le16(nSmp); o.le16(nPat);
  o.le16(0x0214);
  o.le16(song.itOldInstruments ? 0x0100 : 0x0214);
  o.le16(1 | (song.itInstrumentMode ? 4 : 0) | (song.itLinear ? 8 : 0));
  o.le16(0);
  o.u8(song.globalVolume * 2); o.u8(48); o.u8(song.speed); o.u8(song.tempo); o.u8(128); o.u8(0);
  o.le16(0); o.le32(0); o.le32(0);
  for (int c = 0; c < 64; c++)
    o.u8(c < song.channels ? (c < (int)song.channelPanning.size() ? song.channelPanning[c] : 32) : 128 | 32);
  for (int c = 0; c < 64; c++) o.u8(64);
  for (int v : song.orders) o.u8(v);
  const size_t table = o.size();
  for (int i = 0; i < nIns + nSmp + nPat; i++) o.le32(0);
  for (int i = 0; i < nIns; i++) {
    o.putLe32(table + 4 * i, (uint32_t)o.size());
    const Instrument& in = ins[i];
    const size_t at = o.size();
    o.text("IMPI", 4);
    o.text("", 12);
    o.u8(0);
    auto keyboard = [&]() {
      for (int k = 0; k < 120; k++) {
        o.u8(k < (int)in.keyNotes.size() ? in.keyNotes[k] : k);
        o.u8(k < (int)in.keymap.size() ? in.keymap[k] : (in.samples.empty() ? 0 : in.samples[0]));
      }
    };
    if (song.itOldInstruments) {
      const Envelope& e = in.volEnv;
      o.u8((e.on ? 1 : 0) | (e.loopStart >= 0 ? 2 : 0) | (e.sustainStart >= 0 ? 4 : 0));
      o.u8(e.loopStart < 0 ? 0 : e.loopStart); o.u8(e.loopEnd < 0 ? 0 : e.loopEnd);
      o.u8(e.sustainStart < 0 ? 0 : e.sustainStart); o.u8(e.sustainEnd < 0 ? 0 : e.sustainEnd);
      o.le16(0);
      o.le16(in.fadeout);
      o.u8(0); o.u8(0); o.le16(0x0100); o.u8((int)in.samples.size()); o.u8(0);
      o.text(in.name, 26);
      o.text("", 6);
      keyboard();
      while (o.size() < at + 504) o.u8(0);
      for (int k = 0; k < 25; k++) {
        if (k < (int)e.points.size()) { o.u8(e.points[k].first); o.u8(e.points[k].second); }
        else { o.u8(0xFF); o.u8(0); }
      }
    } else {
      o.u8(0); o.u8(0); o.u8(0);
      o.le16(in.fadeout);
      o.u8(0); o.u8(60); o.u8(128);
      o.u8(in.defaultPan < 0 ? 32 | 128 : in.defaultPan);
      o.u8(0); o.u8(0);
      o.le16(0x0214); o.u8((int)in.samples.size()); o.u8(0);
      o.text(in.name, 26);
      o.u8(0); o.u8(0); o.u8(0); o.u8(0); o.le16(0);
      keyboard();
      for (const Envelope* e : {&in.volEnv, &in.panEnv, &in.panEnv}) {
        const bool pitch = e == &in.panEnv && o.size() >= at + 0x1D4;
        o.u8(pitch ? 0 : (e->on ? 1 : 0) | (e->loopStart >= 0 ? 2 : 0) | (e->sustainStart >= 0 ? 4 : 0));
        o.u8((int)e->points.size());
        o.u8(e->loopStart < 0 ? 0 : e->loopStart); o.u8(e->loopEnd < 0 ? 0 : e->loopEnd);
        o.u8(e->sustainStart < 0 ? 0 : e->sustainStart); o.u8(e->sustainEnd < 0 ? 0 : e->sustainEnd);
        for (int k = 0; k < 25; k++) {
          o.u8(k < (int)e->points.size() ? e->points[k].second & 255 : 0);
          o.le16(k < (int)e->points.size() ? e->points[k].first : 0);
        }
        o.u8(0);
      }
      while (o.size() < at + 554) o.u8(0);
    }
  }
  std::vector<size_t> heads;
  for (int i = 0; i < nSmp; i++) {
    o.putLe32(table + 4 * nIns + 4 * i, (uint32_t)o.size());
    heads.push_back(o.size());
    const Sample& s = song.samples[i];
    o.text("IMPS", 4); o.text("", 12); o.u8(0);
    o.u8(64);
    o.u8(1 | (s.bits16 ? 2 : 0) | (s.loopType ? 16 : 0) | (s.sustainType ? 32 : 0) |
         (s.loopType == 2 ? 64 : 0) | (s.sustainType == 2 ? 128 : 0));
    o.u8(s.volume);
    o.text(s.name, 26);
    o.u8(1); o.u8(32);
    o.le32((uint32_t)s.data.size());
    o.le32(s.loopStart); o.le32(s.loopStart + s.loopLength);
    o.le32(s.c2);
    o.le32(s.sustainStart); o.le32(s.sustainStart + s.sustainLength);
    o.le32(0);
    o.u8(0); o.u8(0); o.u8(0); o.u8(0);
  }
  for (int p = 0; p < nPat; p++) {
    o.putLe32(table + 4 * (nIns + nSmp) + 4 * p, (uint32_t)o.size());
    const Pattern& pat = song.patterns[p];
    const size_t lenAt = o.size();
    o.le16(0); o.le16(pat.rows); o.le32(0);
    const size_t start = o.size();
    for (int r = 0; r < pat.rows; r++) {
      for (const auto& [key, cell] : pat.cells) {
        if (key.first != r) continue;
        uint8_t mask = 0;
        if (cell.note != kNoNote) mask |= 1;
        if (cell.ins) mask |= 2;
        if (cell.vol >= 0) mask |= 4;
        if (cell.effect) mask |= 8;
        o.u8((key.second + 1) | 0x80);
        o.u8(mask);
        if (mask & 1) o.u8(cell.note == kKeyOff ? 255 : cell.note == kNoteCut ? 254 : cell.note);
        if (mask & 2) o.u8(cell.ins);
        if (mask & 4) o.u8(cell.vol);
        if (mask & 8) { o.u8(cell.effect - 'A' + 1); o.u8(cell.info); }
      }
      o.u8(0);
    }
    o.putLe16(lenAt, (uint32_t)(o.size() - start));
  }
  for (int i = 0; i < nSmp; i++) {
    o.putLe32(heads[i] + 72, (uint32_t)o.size());
    SampleBytes(o, song.samples[i], false, false);
  }
  return o.b;
}

}  // namespace modwriter
