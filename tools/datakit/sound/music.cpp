// The score format and its arranger: a score (music/<Name>.txt) names its
// instruments, its voices (one channel each, chord voices several), its
// sections (chords per bar, written melodies in a small ABC-like notation,
// arranged parts by style, drum patterns) and the form; the arranger turns
// every form entry into one XM pattern. Format: docs/music.md.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "sound_kit.h"
#include "xm.h"

namespace fs = std::filesystem;

namespace datakit {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kRowsPerBeat = 4;   // a row is a sixteenth note
constexpr int kMiddleC = 60;      // pitch numbers: 60 = middle C, 12 per octave
constexpr uint8_t kKeyOff = 97;

struct Where {
  std::string file;
  int line = 0;
  [[noreturn]] void Fail(const std::string& what) const {
    throw KitError{file + ":" + std::to_string(line) + ": " + what};
  }
};

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> out;
  std::string w;
  bool quoted = false;
  for (char c : line) {
    if (c == '"') { quoted = !quoted; if (!quoted) { out.push_back("\"" + w); w.clear(); } continue; }
    if (quoted) { w += c; continue; }
    if (c == '#') break;
    if (c == ' ' || c == '\t' || c == '\r') { if (!w.empty()) out.push_back(w), w.clear(); continue; }
    w += c;
  }
  if (!w.empty()) out.push_back(w);
  return out;
}

double Num(const std::string& s, const Where& at, double lo, double hi) {
  char* end = nullptr;
  double v = std::strtod(s.c_str(), &end);
  if (s.empty() || *end || v < lo || v > hi)
    at.Fail("'" + s + "' is not a number from " + std::to_string((int)lo) + " to " + std::to_string((int)hi));
  return v;
}

std::map<std::string, std::string> KeyValues(const std::vector<std::string>& w, size_t from, const Where& at) {
  std::map<std::string, std::string> kv;
  for (size_t i = from; i < w.size(); ++i) {
    size_t eq = w[i].find('=');
    if (eq == std::string::npos || eq == 0) at.Fail("'" + w[i] + "' is not key=value");
    kv[w[i].substr(0, eq)] = w[i].substr(eq + 1);
  }
  return kv;
}

// ---- Instruments -----------------------------------------------------------

// Relative note and finetune so that XM note C-4 sounds middle C for a
// sample whose pitch is f0 at sample rate sr.
void Tune(XmSample& s, double f0, double sr) {
  double semis = 12.0 * std::log2(261.6255653 * sr / (f0 * 8363.0));
  int rel = (int)std::lround(semis);
  int ft = (int)std::lround((semis - rel) * 128.0);
  ft = std::clamp(ft, -128, 127);
  s.relative_note = (int8_t)rel;
  s.finetune = (int8_t)ft;
}

std::vector<int16_t> ToPcm(const std::vector<double>& x, double peak_to) {
  double peak = 1e-9;
  for (double v : x) peak = std::max(peak, std::fabs(v));
  std::vector<int16_t> out(x.size());
  for (size_t i = 0; i < x.size(); ++i) out[i] = (int16_t)std::lround(x[i] / peak * peak_to * 32767.0);
  return out;
}

struct Formant { double f, bw, amp; };

// A sustained tone from harmonics: attack, then a loop of whole periods in
// which each harmonic's strength drifts once round, so the loop is seamless.
XmSample Sustained(const std::vector<double>& harm, int period, double attack_s, double breath, double drift,
                   int loop_periods, uint64_t seed) {
  const double sr = 44100.0;
  const int attack = ((int)(attack_s * sr) / period + 1) * period;
  const int loop = loop_periods * period;
  const int n = attack + loop;
  Rng rng(seed);
  std::vector<double> ph(harm.size()), mph(harm.size());
  for (size_t k = 0; k < harm.size(); ++k) { ph[k] = rng.Uniform(); mph[k] = rng.Uniform(); }
  std::vector<double> x((size_t)n, 0.0);
  Biquad bp;
  bp.Set(Biquad::kBand, 2500, 0.8, sr);
  for (int i = 0; i < n; ++i) {
    double t = (double)i;
    double y = 0;
    for (size_t k = 0; k < harm.size(); ++k) {
      if (harm[k] == 0) continue;
      double m = 1.0 + drift * std::sin(2 * kPi * ((double)(k % 3 + 1) * t / loop + mph[k]));
      y += harm[k] * m * std::sin(2 * kPi * ((double)(k + 1) * t / period + ph[k]));
    }
    if (i < attack) {
      double a = std::min(1.0, t / (attack_s * sr));
      y = y * a + breath * bp.Run(rng.Bipolar()) * std::exp(-t / (0.04 * sr));
    }
    x[(size_t)i] = y;
  }
  XmSample s;
  s.data = ToPcm(x, 0.9);
  s.loop_start = (uint32_t)attack;
  s.loop_length = (uint32_t)loop;
  Tune(s, sr / period, sr);
  return s;
}

// Harmonic strengths of a glottal source through vowel formants.
std::vector<double> Vowel(double f0, const std::vector<Formant>& fs, int count) {
  std::vector<double> h((size_t)count);
  for (int k = 1; k <= count; ++k) {
    double f = f0 * k, a = 0;
    for (const auto& q : fs) a += q.amp / (1.0 + std::pow((f - q.f) / q.bw, 2.0));
    h[(size_t)k - 1] = a / std::sqrt((double)k);
  }
  return h;
}

XmSample Plucked(int period, double seconds, double decay, double bright, uint64_t seed) {
  const double sr = 44100.0;
  Rng rng(seed);
  auto x = PluckString(sr / period, sr, (size_t)(seconds * sr), decay, bright, rng);
  for (size_t i = 0; i < x.size(); ++i)  // soften the very end
    if (i + 2000 > x.size()) x[i] *= (double)(x.size() - i) / 2000.0;
  XmSample s;
  s.data = ToPcm(x, 0.9);
  Tune(s, sr / period, sr);
  return s;
}

XmSample BellSample(int period, double seconds, uint64_t seed) {
  const double sr = 44100.0, f = sr / period;
  static const double ratio[] = {0.5, 1.0, 1.19, 1.5, 2.0, 2.51, 3.01, 4.16};
  static const double amp[] = {0.35, 1.0, 0.5, 0.25, 0.6, 0.25, 0.15, 0.1};
  Rng rng(seed);
  std::vector<double> x((size_t)(seconds * sr), 0.0);
  for (int p = 0; p < 8; ++p) {
    double ph = rng.Uniform(), d = seconds * 0.45 / (0.7 + 0.3 * p);
    for (size_t i = 0; i < x.size(); ++i) {
      double t = (double)i / sr;
      x[i] += amp[p] * std::exp(-t / d) * std::sin(2 * kPi * (f * ratio[p] * t + ph)) * std::min(1.0, t / 0.002);
    }
  }
  XmSample s;
  s.data = ToPcm(x, 0.9);
  Tune(s, f, sr);
  return s;
}

struct Instrument {
  XmInstrument xm;
  bool drum = false;
  bool sustained = false;  // a looping tone: notes end with a key-off
};

XmEnvelope HoldThenRelease() {
  XmEnvelope e;
  e.points = {{0, 64}, {8, 60}};
  e.sustain = 1;
  return e;
}

Instrument BuildTuned(const std::string& name, const std::string& kind, std::map<std::string, std::string> kv,
                      const Where& at, uint64_t seed) {
  Instrument in;
  in.xm.name = name;
  auto take = [&](const std::string& k, double def, double lo, double hi) {
    auto it = kv.find(k);
    if (it == kv.end()) return def;
    double v = Num(it->second, at, lo, hi);
    kv.erase(it);
    return v;
  };
  double release = take("release", 0.4, 0.02, 5);
  int pan = (int)take("pan", 128, 0, 255);
  int vib = (int)take("vibrato", 0, 0, 15);
  if (kind == "recorder") {
    in.xm.sample = Sustained({1, 0.22, 0.1, 0.05, 0.03, 0.015}, 100, 0.05, 0.25, 0.04, 60, seed);
    in.sustained = true;
  } else if (kind == "fiddle") {
    std::vector<double> h;
    for (int k = 1; k <= 28; ++k) {
      double f = 441.0 * k;
      double body = 1.0 + 1.2 / (1.0 + std::pow((f - 2800) / 700, 2)) + 0.6 / (1.0 + std::pow((f - 1000) / 300, 2));
      h.push_back(body / k);
    }
    in.xm.sample = Sustained(h, 100, 0.09, 0.15, 0.12, 60, seed);
    in.sustained = true;
  } else if (kind == "shawm") {
    std::vector<double> h;
    for (int k = 1; k <= 24; ++k) {
      double f = 441.0 * k;
      h.push_back((k % 2 ? 1.0 : 0.55) * (1.0 + 1.5 / (1.0 + std::pow((f - 1400) / 500, 2))) / std::sqrt((double)k));
    }
    in.xm.sample = Sustained(h, 100, 0.04, 0.2, 0.06, 60, seed);
    in.sustained = true;
  } else if (kind == "organ") {
    in.xm.sample = Sustained({1, 0.6, 0.35, 0.3, 0.12, 0.15, 0.05, 0.08}, 200, 0.06, 0.1, 0.03, 40, seed);
    in.sustained = true;
  } else if (kind == "choir") {
    auto h = Vowel(220.5, {{700, 110, 1.0}, {1150, 130, 0.55}, {2500, 200, 0.25}}, 40);
    in.xm.sample = Sustained(h, 200, 0.25, 0.05, 0.15, 40, seed);
    in.sustained = true;
  } else if (kind == "bassviol") {
    std::vector<double> h;
    for (int k = 1; k <= 30; ++k) h.push_back(1.0 / k * (k > 12 ? 0.4 : 1.0));
    in.xm.sample = Sustained(h, 400, 0.08, 0.1, 0.08, 20, seed);
    in.sustained = true;
  } else if (kind == "lute") {
    in.xm.sample = Plucked(100, 1.6, take("decay", 1.2, 0.1, 5), take("bright", 0.45, 0, 1), seed);
  } else if (kind == "harp") {
    in.xm.sample = Plucked(100, 2.4, take("decay", 2.0, 0.1, 5), take("bright", 0.7, 0, 1), seed);
  } else if (kind == "basslute") {
    in.xm.sample = Plucked(400, 2.0, take("decay", 1.4, 0.1, 5), take("bright", 0.35, 0, 1), seed);
  } else if (kind == "bell") {
    in.xm.sample = BellSample(100, take("seconds", 3.0, 0.2, 8), seed);
  } else {
    at.Fail("unknown instrument kind '" + kind + "'");
  }
  if (!kv.empty()) at.Fail("unknown word '" + kv.begin()->first + "' for " + kind);
  in.xm.sample.panning = (uint8_t)pan;
  if (in.sustained) {
    in.xm.volume = HoldThenRelease();
    // fade-out per tick (1/65536 of full volume), about `release` seconds at 50 ticks/s
    in.xm.fadeout = (uint16_t)std::clamp(65536.0 / (release * 50.0), 1.0, 4095.0);
  }
  if (vib) {
    in.xm.vib_type = 0;
    in.xm.vib_sweep = 40;
    in.xm.vib_depth = (uint8_t)vib;
    in.xm.vib_rate = 12;
  }
  return in;
}

// ---- Pitches, keys, chords ---------------------------------------------------

int LetterPc(char c) {
  static const int pc[7] = {9, 11, 0, 2, 4, 5, 7};  // A..G
  return pc[std::toupper((unsigned char)c) - 'A'];
}

// Key signature: for each letter A..G its offset (-1, 0, +1).
struct Key {
  int tonic = 2;  // pitch class
  int shift[7] = {0, 0, 0, 0, 0, 0, 0};
};

Key ParseKey(const std::string& tonic, const std::string& mode, const Where& at) {
  static const std::map<std::string, int> modes = {{"major", 0}, {"ionian", 0},     {"dorian", 2},
                                                   {"phrygian", 4}, {"lydian", 5},  {"mixolydian", 7},
                                                   {"minor", 9},  {"aeolian", 9}};
  auto it = modes.find(mode);
  if (it == modes.end() || tonic.empty() || tonic[0] < 'A' || tonic[0] > 'G') at.Fail("key <A..G[#b]> <mode>");
  Key k;
  k.tonic = (LetterPc(tonic[0]) + (tonic.size() > 1 ? (tonic[1] == '#' ? 1 : tonic[1] == 'b' ? -1 : 0) : 0) + 12) % 12;
  int parent = (k.tonic - it->second + 12) % 12;
  std::set<int> scale;
  for (int s : {0, 2, 4, 5, 7, 9, 11}) scale.insert((parent + s) % 12);
  for (int l = 0; l < 7; ++l) {
    int n = LetterPc((char)('A' + l));
    k.shift[l] = scale.count(n) ? 0 : scale.count((n + 1) % 12) ? 1 : -1;
  }
  return k;
}

struct Chord {
  int root = 0;  // pitch class
  std::vector<int> tones;  // intervals
};

Chord ParseChord(const std::string& s, const Where& at) {
  if (s.empty() || s[0] < 'A' || s[0] > 'G') at.Fail("chord '" + s + "'");
  Chord c;
  size_t i = 1;
  int acc = 0;
  if (i < s.size() && (s[i] == '#' || s[i] == 'b')) acc = s[i++] == '#' ? 1 : -1;
  c.root = (LetterPc(s[0]) + acc + 12) % 12;
  std::string q = s.substr(i);
  static const std::map<std::string, std::vector<int>> qual = {
      {"", {0, 4, 7}},     {"m", {0, 3, 7}},        {"5", {0, 7, 12}},   {"7", {0, 4, 7, 10}},
      {"m7", {0, 3, 7, 10}}, {"sus4", {0, 5, 7}}, {"dim", {0, 3, 6}}};
  auto it = qual.find(q);
  if (it == qual.end()) at.Fail("chord '" + s + "': qualities '', m, 5, 7, m7, sus4, dim");
  c.tones = it->second;
  return c;
}

// The lowest pitch of pitch class pc at or above lo.
int PlaceAbove(int pc, int lo) { return lo + ((pc - lo) % 12 + 12) % 12; }

// ---- Notes ---------------------------------------------------------------------

struct Note {
  int row = 0, len = 0;
  int pitch = -1;  // -1 rest
};

// ABC-like melody: pitch letters (C..B octave of middle C, c..b the one above,
// ' up and , down an octave), ^ _ = before a letter, a length after it in
// eighth notes (2, 3, /2, 3/2), z a rest, | a bar line (checked).
std::vector<Note> ParseMelody(const std::string& text, const Key& key, int rows_per_bar, int bars, int shift,
                              const Where& at) {
  std::vector<Note> out;
  int row = 0, bar_start = 0;
  size_t i = 0;
  auto length = [&]() {
    int num = 1, den = 1;
    if (i < text.size() && std::isdigit((unsigned char)text[i])) {
      num = 0;
      while (i < text.size() && std::isdigit((unsigned char)text[i])) num = num * 10 + (text[i++] - '0');
    }
    if (i < text.size() && text[i] == '/') {
      ++i;
      den = 2;
      if (i < text.size() && std::isdigit((unsigned char)text[i])) {
        den = 0;
        while (i < text.size() && std::isdigit((unsigned char)text[i])) den = den * 10 + (text[i++] - '0');
      }
    }
    int rows = 2 * num;  // an eighth note is two rows
    if (den == 0 || rows % den) at.Fail("note length " + std::to_string(num) + "/" + std::to_string(den) + " is not whole rows");
    return rows / den;
  };
  while (i < text.size()) {
    char c = text[i];
    if (c == ' ' || c == '\t') { ++i; continue; }
    if (c == '|') {
      ++i;
      if (row - bar_start != rows_per_bar)
        at.Fail("bar " + std::to_string(bar_start / rows_per_bar + 1) + " has " + std::to_string(row - bar_start) +
                " rows, not " + std::to_string(rows_per_bar));
      bar_start = row;
      continue;
    }
    if (c == 'z') {
      ++i;
      int len = length();
      out.push_back({row, len, -1});
      row += len;
      continue;
    }
    int acc = 0;
    bool explicit_acc = false;
    while (i < text.size() && (text[i] == '^' || text[i] == '_' || text[i] == '=')) {
      explicit_acc = true;
      acc += text[i] == '^' ? 1 : text[i] == '_' ? -1 : 0;
      ++i;
    }
    if (i >= text.size() || !std::isalpha((unsigned char)text[i]) || std::toupper((unsigned char)text[i]) > 'G')
      at.Fail(std::string("unexpected '") + (i < text.size() ? text[i] : ' ') + "' in the melody");
    char l = text[i++];
    int letter = std::toupper((unsigned char)l) - 'A';
    int pitch = kMiddleC + LetterPc(l) + (std::islower((unsigned char)l) ? 12 : 0);
    pitch += explicit_acc ? acc : key.shift[letter];
    while (i < text.size() && (text[i] == '\'' || text[i] == ',')) pitch += text[i++] == '\'' ? 12 : -12;
    int len = length();
    out.push_back({row, len, pitch + shift});
    row += len;
  }
  if (row != bars * rows_per_bar)
    at.Fail("the melody has " + std::to_string(row) + " rows, the section " + std::to_string(bars * rows_per_bar));
  return out;
}

// ---- Score -------------------------------------------------------------------

struct Voice {
  std::string name, instrument;
  int channel = 0, parts = 1;
  int volume = 48;
  int shift = 0;
};

struct Part {
  enum Kind { kMelody, kStyle, kDrums } kind = kMelody;
  std::string text;   // melody text, or the drum pattern
  std::string style;  // arranged style
  Where at;
};

struct Section {
  std::string name;
  int bars = 8;
  std::vector<std::vector<Chord>> chords;  // per bar
  std::map<std::string, Part> parts;       // by voice
  std::set<std::string> replaced;          // voices set in this section (for "like")
  Where at;
};

struct Score {
  std::string title;
  int tempo = 100, meter = 4;
  Key key;
  std::vector<std::string> also;
  std::map<std::string, Instrument> instruments;
  std::vector<std::string> instrument_order;
  std::vector<Voice> voices;
  std::map<std::string, Section> sections;
  std::vector<std::string> form;
  int channels = 0;
};

const std::set<std::string> kStyles = {"root", "walk", "pulse", "waltz", "hold", "pad", "arp", "arp16", "strum", "drone",
                                       "rest"};

Score ReadScore(const fs::path& file) {
  std::ifstream f(file);
  if (!f) throw KitError{file.string() + ": cannot read"};
  Score sc;
  Where at{file.filename().string(), 0};
  std::string line;
  Section* cur = nullptr;
  Instrument* drum = nullptr;  // a drum whose layers follow
  SoundSpec drum_spec;
  std::string drum_name;
  auto finish_drum = [&]() {
    if (!drum) return;
    if (drum_spec.layers.empty()) at.Fail("drum " + drum_name + " has no layers");
    try {
      drum->xm.sample.data = RenderSound(drum_spec);
    } catch (SynthError& e) {
      throw KitError{at.file + ":" + std::to_string(e.line) + ": " + e.what};
    }
    Tune(drum->xm.sample, 261.6255653, drum_spec.rate);  // C-4 plays the sample at its own rate
    drum = nullptr;
  };
  while (std::getline(f, line)) {
    ++at.line;
    auto w = Split(line);
    if (w.empty()) continue;
    const bool indented = line[0] == ' ' || line[0] == '\t';
    if (drum && indented) {
      Layer l;
      l.gen = w[0];
      l.line = at.line;
      for (auto& [k, v] : KeyValues(w, 1, at)) l.args[k] = v;
      drum_spec.layers.push_back(l);
      continue;
    }
    finish_drum();
    const std::string& op = w[0];
    if (!indented) cur = nullptr;
    if (op == "title" && w.size() == 2 && w[1][0] == '"') {
      sc.title = w[1].substr(1);
    } else if (op == "tempo" && w.size() == 2) {
      sc.tempo = (int)Num(w[1], at, 32, 255);
    } else if (op == "meter" && w.size() == 2) {
      sc.meter = (int)Num(w[1], at, 2, 6);
    } else if (op == "key" && w.size() == 3) {
      sc.key = ParseKey(w[1], w[2], at);
    } else if (op == "also" && w.size() == 2) {
      sc.also.push_back(w[1]);
    } else if (op == "instrument" && w.size() >= 3) {
      if (sc.instruments.count(w[1])) at.Fail("instrument " + w[1] + " twice");
      uint64_t seed = 0;
      for (char c : file.stem().string() + w[1]) seed = seed * 131 + (uint8_t)c;
      if (w[2] == "drum") {
        if (w.size() < 4) at.Fail("instrument <name> drum <seconds> [pan=0..255], then its layers");
        Instrument in;
        in.drum = true;
        in.xm.name = w[1];
        for (auto& [k, v] : KeyValues(w, 4, at)) {
          if (k != "pan") at.Fail("a drum takes pan= only");
          in.xm.sample.panning = (uint8_t)Num(v, at, 0, 255);
        }
        sc.instruments[w[1]] = in;
        drum = &sc.instruments[w[1]];
        drum_spec = SoundSpec{};
        drum_spec.id = (uint32_t)(seed & 0xFFFF);
        drum_spec.seconds = Num(w[3], at, 0.05, 4);
        drum_spec.rate = 22050;
        drum_name = w[1];
      } else {
        sc.instruments[w[1]] = BuildTuned(w[1], w[2], KeyValues(w, 3, at), at, seed);
      }
      sc.instrument_order.push_back(w[1]);
    } else if (op == "voice" && w.size() >= 3) {
      if (!sc.instruments.count(w[2])) at.Fail("voice " + w[1] + ": no instrument " + w[2]);
      Voice v;
      v.name = w[1];
      v.instrument = w[2];
      for (auto& [k, val] : KeyValues(w, 3, at)) {
        if (k == "vol") v.volume = (int)Num(val, at, 1, 64);
        else if (k == "parts") v.parts = (int)Num(val, at, 1, 4);
        else if (k == "shift") v.shift = (int)Num(val, at, -36, 36);
        else at.Fail("voice: vol=, parts=, shift=");
      }
      for (const auto& o : sc.voices) if (o.name == v.name) at.Fail("voice " + v.name + " twice");
      v.channel = sc.channels;
      sc.channels += v.parts;
      sc.voices.push_back(v);
    } else if (op == "section" && (w.size() == 3 || w.size() == 5)) {
      if (sc.sections.count(w[1])) at.Fail("section " + w[1] + " twice");
      Section s;
      if (w.size() == 5) {
        if (w[3] != "like" || !sc.sections.count(w[4])) at.Fail("section <name> bars=<n> like <earlier section>");
        s = sc.sections[w[4]];
        s.replaced.clear();
      }
      s.name = w[1];
      s.at = at;
      auto kv = KeyValues({w[0], w[1], w[2]}, 2, at);
      if (!kv.count("bars")) at.Fail("section <name> bars=<n>");
      int bars = (int)Num(kv["bars"], at, 1, 16);
      if (w.size() == 5 && bars != s.bars) at.Fail("a section like another has its bar count");
      s.bars = bars;
      if (s.bars * sc.meter * kRowsPerBeat > 256) at.Fail("a section has at most 256 rows");
      sc.sections[w[1]] = s;
      cur = &sc.sections[w[1]];
    } else if (op == "form") {
      for (size_t i = 1; i < w.size(); ++i) {
        if (!sc.sections.count(w[i])) at.Fail("form: no section " + w[i]);
        sc.form.push_back(w[i]);
      }
    } else if (indented && cur && op == "chords") {
      std::vector<std::vector<Chord>> bars(1);
      for (size_t i = 1; i < w.size(); ++i) {
        if (w[i] == "|") { bars.emplace_back(); continue; }
        bars.back().push_back(ParseChord(w[i], at));
      }
      if ((int)bars.size() != cur->bars) at.Fail("chords: " + std::to_string(bars.size()) + " bars, the section has " + std::to_string(cur->bars));
      for (auto& b : bars) if (b.empty()) at.Fail("chords: an empty bar");
      cur->chords = bars;
    } else if (indented && cur) {
      const Voice* v = nullptr;
      for (const auto& o : sc.voices) if (o.name == op) v = &o;
      if (!v) at.Fail("no voice or line '" + op + "'");
      const Instrument& in = sc.instruments[v->instrument];
      std::string rest;
      for (size_t i = 1; i < w.size(); ++i) rest += (i > 1 ? " " : "") + w[i];
      Part p;
      p.at = at;
      if (in.drum) {
        p.kind = Part::kDrums;
        p.text = rest;
      } else if (w.size() == 2 && kStyles.count(w[1])) {
        p.kind = Part::kStyle;
        p.style = w[1];
      } else if (w.size() >= 3 && w[1] == "from") {
        if (w.size() != 4 || !sc.sections.count(w[2]) || !sc.sections[w[2]].parts.count(w[3]) ||
            sc.sections[w[2]].parts[w[3]].kind != Part::kMelody)
          at.Fail("<voice> from <section> <voice with a melody>");
        p = sc.sections[w[2]].parts[w[3]];
      } else {
        p.kind = Part::kMelody;
        if (cur->replaced.count(op) && cur->parts.count(op) && cur->parts[op].kind == Part::kMelody)
          p.text = cur->parts[op].text + " " + rest;  // a melody goes on over several lines
        else
          p.text = rest;
      }
      cur->parts[op] = p;
      cur->replaced.insert(op);
    } else {
      at.Fail("unknown line '" + op + "'");
    }
  }
  finish_drum();
  if (sc.form.empty()) at.Fail("no form");
  if (sc.channels < 4 || sc.channels > 32) at.Fail("a score needs 4 to 32 channels");
  if (sc.channels & 1) sc.channels++;  // XM wants an even channel count
  for (auto& [name, s] : sc.sections)
    if (s.chords.empty()) throw KitError{at.file + ":" + std::to_string(s.at.line) + ": section " + name + " has no chords"};
  return sc;
}

// ---- Arranger ----------------------------------------------------------------

struct Grid {
  XmPattern pat;
  int channels;
  XmCell& At(int row, int ch) { return pat.cells[(size_t)row * channels + ch]; }
};

uint8_t XmNote(int pitch) { return (uint8_t)std::clamp(pitch - 11, 1, 96); }

struct Arranger {
  const Score& sc;
  Rng rng{7};
  int rows_per_bar;
  explicit Arranger(const Score& s) : sc(s), rows_per_bar(s.meter * kRowsPerBeat) {}

  int InstrumentNumber(const std::string& name) const {
    for (size_t i = 0; i < sc.instrument_order.size(); ++i)
      if (sc.instrument_order[i] == name) return (int)i + 1;
    return 0;
  }

  // One note: accents on the bar's first beat, a little life in the rest.
  void Put(Grid& g, int row, int ch, const Voice& v, int pitch, int accent) {
    if (row >= g.pat.rows) return;
    XmCell& c = g.At(row, ch);
    c.note = XmNote(pitch);
    c.instrument = (uint8_t)InstrumentNumber(v.instrument);
    int vol = v.volume + accent + (int)(rng.Next() % 5) - 2;
    c.volume = (uint8_t)(0x10 + std::clamp(vol, 1, 64));
  }
  void Off(Grid& g, int row, int ch) {
    if (row < g.pat.rows && !g.At(row, ch).note) g.At(row, ch).note = kKeyOff;
  }
  int Accent(int row) const { return row % rows_per_bar == 0 ? 5 : row % kRowsPerBeat == 0 ? 1 : -2; }

  // Chord of a row.
  const Chord& ChordAt(const Section& s, int row) const {
    int bar = row / rows_per_bar;
    const auto& cs = s.chords[(size_t)bar];
    int per = rows_per_bar / (int)cs.size();
    return cs[(size_t)std::min((int)cs.size() - 1, (row % rows_per_bar) / per)];
  }
  // Rows where the chord changes.
  std::vector<int> ChordRows(const Section& s) const {
    std::vector<int> r;
    for (int b = 0; b < s.bars; ++b) {
      int n = (int)s.chords[(size_t)b].size();
      for (int k = 0; k < n; ++k) r.push_back(b * rows_per_bar + k * (rows_per_bar / n));
    }
    return r;
  }

  void Melody(Grid& g, const Voice& v, const Part& p, const Section& s) {
    auto notes = ParseMelody(p.text, sc.key, rows_per_bar, s.bars, v.shift, p.at);
    const bool sus = sc.instruments.at(v.instrument).sustained;
    for (size_t i = 0; i < notes.size(); ++i) {
      const Note& n = notes[i];
      if (n.pitch < 0) { Off(g, n.row, v.channel); continue; }
      Put(g, n.row, v.channel, v, n.pitch, Accent(n.row));
      // sustained tones breathe between notes
      if (sus && n.len >= 3) Off(g, n.row + n.len - 1, v.channel);
    }
  }

  void Styled(Grid& g, const Voice& v, const Part& p, const Section& s) {
    const std::string& st = p.style;
    const int rows = g.pat.rows;
    auto changes = ChordRows(s);
    const bool sus = sc.instruments.at(v.instrument).sustained;
    if (st == "rest") {
      for (int k = 0; k < v.parts; ++k) Off(g, 0, v.channel + k);
      return;
    }
    if (st == "root" || st == "walk" || st == "pulse" || st == "waltz" || st == "hold") {
      int step = st == "root" ? 2 * kRowsPerBeat : st == "walk" ? kRowsPerBeat : st == "pulse" ? 2 : kRowsPerBeat;
      if (st == "hold") {
        for (int r : changes) {
          const Chord& c = ChordAt(s, r);
          Put(g, r, v.channel, v, PlaceAbove(c.root, 38) + v.shift, Accent(r));
        }
        return;
      }
      for (int r = 0; r < rows; r += step) {
        const Chord& c = ChordAt(s, r);
        int root = PlaceAbove(c.root, 38) + v.shift;
        int beat = (r % rows_per_bar) / kRowsPerBeat;
        int pitch = root;
        if (st == "walk") pitch = beat % 4 == 1 || beat % 4 == 3 ? root + 7 : beat % 4 == 2 ? root + 12 : root;
        if (st == "root" && beat >= 2) pitch = root + 7;
        if (st == "waltz") {
          if (beat == 1) continue;
          pitch = beat == 0 ? root : root + 7;
        }
        if (st == "pulse" && (r % kRowsPerBeat) != 0) pitch = root + 12;
        Put(g, r, v.channel, v, pitch, Accent(r));
        if (sus && step >= 4) Off(g, r + step - 1, v.channel);
      }
      return;
    }
    if (st == "drone") {
      int tonic = PlaceAbove(sc.key.tonic, 50) + v.shift;
      for (int k = 0; k < v.parts; ++k) Put(g, 0, v.channel + k, v, tonic + (k == 1 ? 7 : k == 2 ? 12 : 0), 0);
      if (sus)
        for (int k = 0; k < v.parts; ++k) Off(g, rows - 1, v.channel + k);
      return;
    }
    // chord styles: tones of the chord placed from G3 upwards
    auto tones = [&](const Chord& c) {
      std::vector<int> t;
      for (int iv : c.tones) t.push_back(PlaceAbove((c.root + iv) % 12, 55) + v.shift);
      std::sort(t.begin(), t.end());
      t.erase(std::unique(t.begin(), t.end()), t.end());
      return t;
    };
    if (st == "pad" || st == "strum") {
      std::vector<int> hits = changes;
      if (st == "strum") {
        hits.clear();
        for (int r = 0; r < rows; r += kRowsPerBeat) hits.push_back(r);
      }
      for (size_t h = 0; h < hits.size(); ++h) {
        int r = hits[h];
        auto t = tones(ChordAt(s, r));
        for (int k = 0; k < v.parts; ++k) {
          int pitch = t[(size_t)k % t.size()] + 12 * (k / (int)t.size());
          // a strum rolls its notes one row apart only on long enough beats
          Put(g, r, v.channel + k, v, pitch, Accent(r) - 3 * k);
          int end = h + 1 < hits.size() ? hits[h + 1] : rows;
          if (sus) Off(g, end - 1, v.channel + k);
        }
      }
      return;
    }
    if (st == "arp" || st == "arp16") {
      int step = st == "arp" ? 2 : 1;
      int idx = 0;
      int last_change = -1;
      for (int r = 0; r < rows; r += step) {
        int ch_row = 0;
        for (int c : changes) if (c <= r) ch_row = c;
        if (ch_row != last_change) { idx = 0; last_change = ch_row; }
        auto t = tones(ChordAt(s, r));
        std::vector<int> seq = t;
        seq.push_back(t[0] + 12);
        for (int k = (int)t.size() - 1; k >= 1; --k) seq.push_back(t[(size_t)k]);
        int pitch = seq[(size_t)idx % seq.size()];
        ++idx;
        Put(g, r, v.channel + (v.parts > 1 ? idx % v.parts : 0), v, pitch, Accent(r) - (r % kRowsPerBeat ? 4 : 0));
      }
      return;
    }
    p.at.Fail("unknown style " + st);
  }

  void Drums(Grid& g, const Voice& v, const Part& p) {
    std::vector<std::string> bars;
    std::string cur;
    for (char c : p.text) {
      if (c == '|') { bars.push_back(cur); cur.clear(); continue; }
      if (c == ' ') continue;
      if (c != 'x' && c != 'X' && c != 'o' && c != '.') p.at.Fail("drum pattern: x, X, o, . and |");
      cur += c;
    }
    if (!cur.empty()) bars.push_back(cur);
    for (auto& b : bars)
      if ((int)b.size() != rows_per_bar) p.at.Fail("a drum bar has " + std::to_string(rows_per_bar) + " steps");
    for (int r = 0; r < g.pat.rows; ++r) {
      const std::string& b = bars[(size_t)(r / rows_per_bar) % bars.size()];
      char c = b[(size_t)(r % rows_per_bar)];
      if (c == '.') continue;
      Put(g, r, v.channel, v, kMiddleC, c == 'X' ? 8 : c == 'o' ? -14 : 0);
    }
  }

  XmPattern Pattern(const Section& s, bool first) {
    Grid g{XmPattern{}, sc.channels};
    g.pat.rows = s.bars * rows_per_bar;
    g.pat.cells.assign((size_t)g.pat.rows * sc.channels, XmCell{});
    for (const Voice& v : sc.voices) {
      auto it = s.parts.find(v.name);
      if (it == s.parts.end()) {
        for (int k = 0; k < v.parts; ++k) Off(g, 0, v.channel + k);
        continue;
      }
      const Part& p = it->second;
      if (p.kind == Part::kMelody) Melody(g, v, p, s);
      else if (p.kind == Part::kStyle) Styled(g, v, p, s);
      else Drums(g, v, p);
    }
    // Speed and tempo on the first row of the song, so every loop starts alike.
    if (first) {
      g.At(0, 0).effect = 15;
      g.At(0, 0).param = 6;
      g.At(0, 1).effect = 15;
      g.At(0, 1).param = (uint8_t)sc.tempo;
    }
    return g.pat;
  }
};

}  // namespace

namespace {

Bytes Compose(Score& sc, const std::string& fallback_name) {
  XmModule m;
  m.name = sc.title.empty() ? fallback_name : sc.title;
  m.channels = sc.channels;
  m.speed = 6;
  m.tempo = sc.tempo;
  for (const auto& name : sc.instrument_order) m.instruments.push_back(sc.instruments[name].xm);
  Arranger arr(sc);
  std::map<std::string, int> pattern_of;
  for (size_t i = 0; i < sc.form.size(); ++i) {
    const std::string& name = sc.form[i];
    bool first = i == 0;
    std::string key = name + (first ? "#first" : "");
    if (!pattern_of.count(key)) {
      pattern_of[key] = (int)m.patterns.size();
      m.patterns.push_back(arr.Pattern(sc.sections[name], first));
    }
    m.order.push_back((uint8_t)pattern_of[key]);
  }
  return WriteXm(m);
}

}  // namespace

Bytes ComposeModule(const fs::path& score) {
  Score sc = ReadScore(score);
  return Compose(sc, score.stem().string());
}

void MakeMusic(const fs::path& music_dir, const fs::path& out) {
  if (!fs::is_directory(music_dir)) throw KitError{music_dir.string() + ": no music folder"};
  std::vector<fs::path> scores;
  for (const auto& de : fs::directory_iterator(music_dir))
    if (de.path().extension() == ".txt") scores.push_back(de.path());
  std::sort(scores.begin(), scores.end());
  fs::remove_all(out / "Mods");
  for (const auto& p : scores) {
    Score sc = ReadScore(p);
    Bytes xm = Compose(sc, p.stem().string());
    WriteBytes(out / "Mods" / (p.stem().string() + ".XM"), xm);
    for (const auto& other : sc.also) WriteBytes(out / "Mods" / other, xm);
  }
}

}  // namespace datakit
