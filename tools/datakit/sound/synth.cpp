// The sound synthesiser: generators, filters, the layer mixer and loudness.
#include "synth.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace datakit {
namespace {

constexpr double kPi = 3.14159265358979323846;

[[noreturn]] void Fail(int line, const std::string& what) { throw SynthError{line, what}; }

double ParseNum(const std::string& s, int line, const std::string& key) {
  char* end = nullptr;
  double v = std::strtod(s.c_str(), &end);
  if (s.empty() || *end) Fail(line, key + "=" + s + ": not a number");
  return v;
}

std::vector<double> ParseList(const std::string& s, int line, const std::string& key) {
  std::vector<double> out;
  std::stringstream ss(s);
  std::string part;
  while (std::getline(ss, part, ',')) out.push_back(ParseNum(part, line, key));
  if (out.empty()) Fail(line, key + ": empty list");
  return out;
}

Curve ParseCurve(const std::string& s, int line, const std::string& key) {
  Curve c;
  size_t p;
  if ((p = s.find('~')) != std::string::npos) {
    c.wander = true;
    c.points = {ParseNum(s.substr(0, p), line, key), ParseNum(s.substr(p + 1), line, key)};
  } else if ((p = s.find('>')) != std::string::npos) {
    c.points = {ParseNum(s.substr(0, p), line, key), ParseNum(s.substr(p + 1), line, key)};
  } else {
    c.points = ParseList(s, line, key);
  }
  return c;
}

// Arguments of one layer with defaults; every word must be used.
struct Args {
  const Layer& layer;
  std::map<std::string, bool> used;
  explicit Args(const Layer& l) : layer(l) {}
  const std::string* Find(const std::string& k) {
    auto it = layer.args.find(k);
    if (it == layer.args.end()) return nullptr;
    used[k] = true;
    return &it->second;
  }
  double Num(const std::string& k, double def) {
    auto* s = Find(k);
    return s ? ParseNum(*s, layer.line, k) : def;
  }
  Curve Cur(const std::string& k, const std::string& def) {
    auto* s = Find(k);
    if (!s && def.empty()) return Curve{};
    return ParseCurve(s ? *s : def, layer.line, k);
  }
  std::vector<double> List(const std::string& k, const std::string& def) {
    auto* s = Find(k);
    if (!s && def.empty()) return {};
    return ParseList(s ? *s : def, layer.line, k);
  }
  std::string Str(const std::string& k, const std::string& def) {
    auto* s = Find(k);
    return s ? *s : def;
  }
  void CheckAllUsed() {
    for (const auto& [k, v] : layer.args)
      if (!used.count(k)) Fail(layer.line, "unknown word '" + k + "' for " + layer.gen);
  }
};

// Smooth random wander in -1..1 (value noise with cosine interpolation).
struct Wander {
  Rng rng;
  double a, b, t = 0, step;
  Wander(uint64_t seed, double rate_hz, double sample_rate) : rng(seed), step(rate_hz / sample_rate) {
    a = rng.Bipolar();
    b = rng.Bipolar();
  }
  double Next() {
    t += step;
    while (t >= 1.0) { t -= 1.0; a = b; b = rng.Bipolar(); }
    double w = (1 - std::cos(t * kPi)) * 0.5;
    return a + (b - a) * w;
  }
};

double PolyBlep(double t, double dt) {
  if (t < dt) { t /= dt; return t + t - t * t - 1.0; }
  if (t > 1.0 - dt) { t = (t - 1.0) / dt; return t * t + t + t + 1.0; }
  return 0.0;
}

struct Osc {
  double phase = 0;
  // wave: 0 sine, 1 triangle, 2 saw, 3 square, 4 pulse
  double Run(int wave, double f, double rate, double width = 0.5) {
    double dt = std::min(0.45, std::max(0.0, f / rate));
    double v;
    switch (wave) {
      case 0: v = std::sin(2 * kPi * phase); break;
      case 1: v = phase < 0.5 ? 4 * phase - 1 : 3 - 4 * phase; break;
      case 2: v = 2 * phase - 1 - PolyBlep(phase, dt); break;
      default: {
        double w = wave == 3 ? 0.5 : width;
        v = phase < w ? 1.0 : -1.0;
        v += PolyBlep(phase, dt);
        double t2 = phase - w + (phase < w ? 1.0 : 0.0);
        v -= PolyBlep(t2, dt);
        break;
      }
    }
    phase += dt;
    if (phase >= 1.0) phase -= 1.0;
    return v;
  }
};

int WaveOf(const std::string& s, int line) {
  if (s == "sine") return 0;
  if (s == "tri") return 1;
  if (s == "saw") return 2;
  if (s == "square") return 3;
  if (s == "pulse") return 4;
  Fail(line, "wave=" + s + ": sine, tri, saw, square or pulse");
}

struct Formant { double f1, f2, f3; };
Formant VowelOf(char v, int line) {
  switch (v) {
    case 'a': return {730, 1090, 2440};
    case 'e': return {530, 1840, 2480};
    case 'i': return {300, 2250, 3000};
    case 'o': return {570, 840, 2410};
    case 'u': return {320, 870, 2240};
    case 'y': return {420, 1500, 2300};  // a neutral, murmured vowel
    default: Fail(line, std::string("vowel '") + v + "': a, e, i, o, u or y");
  }
}

// Pitch and vowel contour of a voice-like sound.
struct VoiceShape {
  Curve f;
  std::string vowels = "a";
  double size = 1.0;    // formant scale: below 1 large body, above 1 small
  double rough = 0.0;   // noisy roughness of the voice
  double breath = 0.05; // breath noise through the formants
  double vib_rate = 5, vib_depth = 0.0;  // semitones
  int wave = 2;
  double voiced = 1.0;  // 0: a whisper (breath only)
};

void RenderVoice(const VoiceShape& v, std::vector<double>& out, double rate, double pitch, Rng& rng, int line) {
  const size_t n = out.size();
  if (!n) return;
  Osc osc, vib;
  Biquad f[3], fb[3];
  Wander wrough(rng.Next(), 60, rate), wpitch(rng.Next(), 4, rate);
  Biquad rough_lp;
  rough_lp.Set(Biquad::kLow, 900, 0.7, rate);
  std::vector<Formant> vw;
  for (char c : v.vowels) if (c != ',' && c != '>') vw.push_back(VowelOf(c, line));
  if (vw.empty()) vw.push_back(VowelOf('a', line));
  for (size_t i = 0; i < n; ++i) {
    double x = (double)i / (double)n;
    if (i % 16 == 0) {
      double p = x * (double)(vw.size() - 1);
      size_t k = std::min(vw.size() - 1, (size_t)p);
      size_t k2 = std::min(vw.size() - 1, k + 1);
      double w = p - (double)k;
      double fm[3] = {vw[k].f1 + (vw[k2].f1 - vw[k].f1) * w, vw[k].f2 + (vw[k2].f2 - vw[k].f2) * w,
                      vw[k].f3 + (vw[k2].f3 - vw[k].f3) * w};
      for (int j = 0; j < 3; ++j) {
        double fr = std::min(rate * 0.45, fm[j] * v.size);
        f[j].Set(Biquad::kBand, fr, fr / (70.0 + 30.0 * j), rate);
        fb[j].Set(Biquad::kBand, fr, fr / (120.0 + 40.0 * j), rate);
      }
    }
    double fq = v.f.At(x, wpitch.Next()) * pitch;
    if (v.vib_depth > 0) fq *= std::pow(2.0, v.vib_depth / 12.0 * vib.Run(0, v.vib_rate, rate));
    double src = osc.Run(v.wave, fq, rate, 0.3) * v.voiced;
    if (v.rough > 0) src *= 1.0 + v.rough * 3.0 * rough_lp.Run(wrough.Next() + rng.Bipolar() * 0.5);
    double br = rng.Bipolar() * v.breath;
    double y = 0;
    static const double amp[3] = {1.0, 0.6, 0.3};
    for (int j = 0; j < 3; ++j) y += amp[j] * (f[j].Run(src) + fb[j].Run(br) * 3.0);
    out[i] += y;
  }
}

// A syllable stream of gibberish speech: consonant burst, then a vowel with
// falling intonation. shout raises pitch and brightness.
void RenderSpeech(std::vector<double>& out, double rate, double base_f, double syl_rate, double shout, Rng& rng,
                  int line) {
  const char* vowels = "aeiouaoe";
  double t = rng.Range(0.0, 0.05);
  const double total = (double)out.size() / rate;
  while (t < total - 0.05) {
    double syl = (1.0 / syl_rate) * rng.Range(0.7, 1.3);
    double cons = rng.Range(0.015, 0.045);
    size_t c0 = (size_t)(t * rate), cn = (size_t)(cons * rate);
    Biquad bp;
    bp.Set(Biquad::kBand, rng.Range(1800, 5000), 2.0, rate);
    for (size_t i = 0; i < cn && c0 + i < out.size(); ++i) {
      double e = std::sin(kPi * (double)i / (double)cn);
      out[c0 + i] += bp.Run(rng.Bipolar()) * e * 0.15 * (0.5 + shout);  // well below the vowel
    }
    double vlen = std::min(syl - cons, total - t - cons);
    if (vlen > 0.03) {
      VoiceShape v;
      double f0 = base_f * (1.0 + 0.5 * shout) * rng.Range(0.92, 1.1);
      v.f.points = {f0 * rng.Range(1.0, 1.15), f0, f0 * rng.Range(0.8, 0.95)};
      v.vowels = std::string(1, vowels[rng.Next() % 8]);
      v.rough = 0.05 + 0.2 * shout;
      v.breath = 0.08;
      std::vector<double> buf((size_t)(vlen * rate));
      RenderVoice(v, buf, rate, 1.0, rng, line);
      size_t v0 = c0 + cn, m = buf.size();
      for (size_t i = 0; i < m && v0 + i < out.size(); ++i) {
        double e = std::min(1.0, std::min((double)i / (0.015 * rate), (double)(m - i) / (0.03 * rate)));
        out[v0 + i] += buf[i] * e * 0.5;
      }
    }
    t += syl;
    if (rng.Uniform() < 0.2) t += rng.Range(0.1, 0.4);  // pause between words
  }
}

void ApplyEnvelope(std::vector<double>& b, double rate, Args& a) {
  const size_t n = b.size();
  if (!n) return;
  auto perc = a.List("env", "");
  auto adsr = a.List("adsr", "");
  auto fade = a.List("fade", "0.005,0.01");
  if (!perc.empty()) {
    double att = perc[0], dec = perc.size() > 1 ? perc[1] : 0.2;
    for (size_t i = 0; i < n; ++i) {
      double t = (double)i / rate;
      b[i] *= t < att ? t / att : std::exp(-(t - att) / dec);
    }
  } else if (!adsr.empty()) {
    if (adsr.size() != 4) Fail(a.layer.line, "adsr=attack,decay,sustain,release");
    double at = adsr[0], de = adsr[1], su = adsr[2], re = adsr[3];
    double len = (double)n / rate;
    for (size_t i = 0; i < n; ++i) {
      double t = (double)i / rate, e;
      if (t < at) e = t / at;
      else if (t < at + de) e = 1.0 - (1.0 - su) * (t - at) / de;
      else e = su;
      if (t > len - re) e *= std::max(0.0, (len - t) / re);
      b[i] *= e;
    }
  }
  double fi = fade[0], fo = fade.size() > 1 ? fade[1] : fade[0];
  size_t ni = (size_t)(fi * rate), no = (size_t)(fo * rate);
  for (size_t i = 0; i < ni && i < n; ++i) b[i] *= (double)i / (double)ni;
  for (size_t i = 0; i < no && i < n; ++i) b[n - 1 - i] *= (double)i / (double)no;
}

void ApplyFilters(std::vector<double>& b, double rate, Args& a, Rng& rng) {
  struct F { Biquad::Kind kind; Curve c; double q; };
  std::vector<F> fs;
  double q = a.Num("q", 1.5);
  Curve lp = a.Cur("lp", ""), hp = a.Cur("hp", ""), bp = a.Cur("bp", ""), bp2 = a.Cur("bp2", "");
  if (!hp.empty()) fs.push_back({Biquad::kHigh, hp, 0.707});
  if (!lp.empty()) fs.push_back({Biquad::kLow, lp, 0.707});
  if (!bp.empty()) fs.push_back({Biquad::kBand, bp, q});
  if (!bp2.empty()) fs.push_back({Biquad::kBand, bp2, q});
  const size_t n = b.size();
  for (auto& f : fs) {
    Biquad bq;
    Wander w(rng.Next(), a.Num("wander", 0.7), rate);
    for (size_t i = 0; i < n; ++i) {
      double wv = w.Next();
      if (i % 16 == 0) {
        double fr = std::min(rate * 0.45, std::max(20.0, f.c.At((double)i / (double)n, wv)));
        bq.Set(f.kind, fr, f.q, rate);
      }
      b[i] = bq.Run(b[i]);
    }
  }
  auto trem = a.List("trem", "");
  if (!trem.empty()) {
    double r = trem[0], d = trem.size() > 1 ? trem[1] : 0.5;
    for (size_t i = 0; i < n; ++i) b[i] *= 1.0 - d * 0.5 * (1.0 + std::sin(2 * kPi * r * (double)i / rate));
  }
  auto wob = a.List("wobble", "");
  if (!wob.empty()) {
    Wander w(rng.Next(), wob[0], rate);
    double d = wob.size() > 1 ? wob[1] : 0.5;
    for (size_t i = 0; i < n; ++i) b[i] *= 1.0 - d * 0.5 * (1.0 + w.Next());
  }
}

// Bell: the partials of a cast bell (hum, prime, tierce, quint, nominal, ...).
void GenBell(std::vector<double>& b, double rate, double f, double decay, double bright, Rng& rng) {
  static const double ratio[] = {0.5, 1.0, 1.19, 1.5, 2.0, 2.51, 2.66, 3.01, 4.16, 5.43};
  static const double amp[] = {0.5, 0.8, 0.6, 0.3, 0.9, 0.35, 0.3, 0.25, 0.15, 0.1};
  for (int p = 0; p < 10; ++p) {
    double fr = f * ratio[p] * (1.0 + rng.Bipolar() * 0.002);
    if (fr > rate * 0.45) continue;
    double d = decay * (p == 0 ? 1.2 : 1.0 / (0.6 + 0.25 * p));
    double a = amp[p] * (p > 4 ? bright : 1.0);
    double ph = rng.Uniform();
    for (size_t i = 0; i < b.size(); ++i) {
      double t = (double)i / rate;
      b[i] += a * std::exp(-t / d) * std::sin(2 * kPi * (fr * t + ph)) * std::min(1.0, t / 0.002);
    }
  }
}

// Struck metal (blades, anvils, chains): free-bar partials plus a noise hit.
void GenMetal(std::vector<double>& b, double rate, double f, double decay, double hit, Rng& rng) {
  static const double ratio[] = {1.0, 2.76, 5.40, 8.93, 13.34, 1.51, 3.9};
  for (int p = 0; p < 7; ++p) {
    double fr = f * ratio[p] * (1.0 + rng.Bipolar() * 0.01);
    if (fr > rate * 0.45) continue;
    double d = decay / (1.0 + 0.4 * p);
    double a = 1.0 / (1.0 + 0.3 * p);
    double ph = rng.Uniform();
    for (size_t i = 0; i < b.size(); ++i) {
      double t = (double)i / rate;
      b[i] += a * std::exp(-t / d) * std::sin(2 * kPi * (fr * t + ph));
    }
  }
  Biquad hpf;
  hpf.Set(Biquad::kHigh, 2500, 0.7, rate);
  size_t nh = std::min(b.size(), (size_t)(0.03 * rate));
  for (size_t i = 0; i < nh; ++i) b[i] += hit * hpf.Run(rng.Bipolar()) * std::exp(-(double)i / (0.006 * rate)) * 3.0;
}

// A low body hit: drum, hoof, door thud, footstep (pitch falls to f).
void GenThump(std::vector<double>& b, double rate, double f, double drop, double decay, double click, Rng& rng) {
  Osc o;
  Biquad lp;
  lp.Set(Biquad::kLow, 3000, 0.7, rate);
  for (size_t i = 0; i < b.size(); ++i) {
    double t = (double)i / rate;
    double fr = f * (1.0 + (drop - 1.0) * std::exp(-t / 0.02));
    double body = o.Run(0, fr, rate) * std::exp(-t / decay);
    double n = lp.Run(rng.Bipolar()) * std::exp(-t / (0.008 + decay * 0.15)) * click;
    b[i] += body + n * 2.0;
  }
}

void GenNoise(std::vector<double>& b, const std::string& color, Rng& rng, int line) {
  double p0 = 0, p1 = 0, p2 = 0, br = 0;
  for (auto& x : b) {
    double w = rng.Bipolar();
    if (color == "white") x += w;
    else if (color == "pink") {
      p0 = 0.99765 * p0 + w * 0.0990460;
      p1 = 0.96300 * p1 + w * 0.2965164;
      p2 = 0.57000 * p2 + w * 1.0526913;
      x += (p0 + p1 + p2 + w * 0.1848) * 0.25;
    } else if (color == "brown") {
      br = br * 0.995 + w * 0.1;
      x += br * 2.0;
    } else Fail(line, "color=" + color + ": white, pink or brown");
  }
}

// Random events (drops, crackles) at a mean rate per second.
template <typename Fn>
void Scatter(std::vector<double>& b, double rate, double per_s, Rng& rng, Fn fn) {
  if (per_s <= 0) return;
  double t = rng.Uniform() / per_s;
  const double total = (double)b.size() / rate;
  while (t < total) {
    fn((size_t)(t * rate));
    t += -std::log(1.0 - rng.Uniform() * 0.999) / per_s;
  }
}

void GenDrops(std::vector<double>& b, double rate, double per_s, double flo, double fhi, Rng& rng) {
  Scatter(b, rate, per_s, rng, [&](size_t at) {
    double f0 = rng.Range(flo, fhi), len = rng.Range(0.015, 0.05), a = rng.Range(0.3, 1.0);
    size_t n = (size_t)(len * rate);
    double ph = 0;
    for (size_t i = 0; i < n && at + i < b.size(); ++i) {
      double t = (double)i / rate;
      double f = f0 * (1.0 + 1.5 * t / len);  // a bubble's rising pitch
      ph += f / rate;
      b[at + i] += a * std::sin(2 * kPi * ph) * std::exp(-t / (len * 0.35)) * std::min(1.0, t / 0.001);
    }
  });
}

void GenCrackle(std::vector<double>& b, double rate, double per_s, double tone, Rng& rng) {
  Biquad hp;
  hp.Set(Biquad::kHigh, tone, 0.7, rate);
  std::vector<double> imp(b.size(), 0.0);
  Scatter(imp, rate, per_s, rng, [&](size_t at) {
    double a = std::pow(rng.Uniform(), 2.0);
    size_t n = (size_t)(rng.Range(0.0005, 0.004) * rate);
    for (size_t i = 0; i < n && at + i < imp.size(); ++i) imp[at + i] += a * rng.Bipolar();
  });
  for (size_t i = 0; i < b.size(); ++i) b[i] += hp.Run(imp[i]) * 2.0;
}

// Wood under strain (doors, hulls, ropes): a stick-slip pulse train through
// wood resonances.
void GenCreak(std::vector<double>& b, double rate, const Curve& f, double jitter, Rng& rng) {
  Biquad r[3];
  const double res[3] = {420, 980, 2100};
  for (int j = 0; j < 3; ++j) r[j].Set(Biquad::kBand, res[j] * rng.Range(0.9, 1.1), 6.0, rate);
  Wander w(rng.Next(), 3, rate);
  double next = 0;
  const size_t n = b.size();
  for (size_t i = 0; i < n; ++i) {
    double x = (double)i / (double)n;
    double imp = 0;
    if ((double)i >= next) {
      imp = rng.Range(0.5, 1.0);
      double fr = std::max(5.0, f.At(x, w.Next()));
      next = (double)i + rate / fr * (1.0 + jitter * rng.Bipolar());
    }
    double y = 0;
    for (int j = 0; j < 3; ++j) y += r[j].Run(imp) / (1.0 + j);
    b[i] += y * 4.0;
  }
}

// Songbird phrases: runs of quick chirps and trills between lo and hi Hz.
void GenBirds(std::vector<double>& b, double rate, double per_s, double lo, double hi, Rng& rng) {
  Scatter(b, rate, per_s, rng, [&](size_t at) {
    int notes = 2 + (int)(rng.Next() % 7);
    double base = rng.Range(lo, hi), a = rng.Range(0.4, 1.0);
    double ph = 0;
    size_t pos = at;
    int kind = (int)(rng.Next() % 3);
    for (int k = 0; k < notes; ++k) {
      double len = kind == 2 ? 0.03 : rng.Range(0.04, 0.12);
      double f0 = base * rng.Range(0.85, 1.2), f1 = f0 * (kind == 0 ? 1.4 : kind == 1 ? 0.7 : 1.05);
      size_t n = (size_t)(len * rate);
      for (size_t i = 0; i < n && pos + i < b.size(); ++i) {
        double x = (double)i / (double)n;
        double f = f0 + (f1 - f0) * x + 0.06 * f0 * std::sin(2 * kPi * 60 * (double)i / rate);
        ph += f / rate;
        b[pos + i] += a * std::sin(2 * kPi * ph) * std::sin(kPi * x);
      }
      pos += n + (size_t)(rng.Range(0.01, 0.06) * rate);
    }
  });
}

// One instance of a layer's generator into b (length set by the caller).
void Generate(const std::string& gen, Args& a, std::vector<double>& b, double rate, double pitch, Rng& rng) {
  const int line = a.layer.line;
  if (gen == "tone") {
    int wave = WaveOf(a.Str("wave", "sine"), line);
    Curve f = a.Cur("f", "440");
    auto vib = a.List("vib", "5,0");
    double width = a.Num("width", 0.3);
    auto harm = a.List("harm", "1");  // amplitudes of harmonics 1..n (sine only)
    Osc o, v;
    std::vector<Osc> hs(harm.size());
    Wander w(rng.Next(), a.Num("wander", 0.7), rate);
    for (size_t i = 0; i < b.size(); ++i) {
      double fr = f.At((double)i / (double)b.size(), w.Next()) * pitch;
      if (vib.size() > 1 && vib[1] > 0) fr *= std::pow(2.0, vib[1] / 12.0 * v.Run(0, vib[0], rate));
      if (harm.size() > 1 && wave == 0) {
        double y = 0;
        for (size_t h = 0; h < harm.size(); ++h)
          if (fr * (double)(h + 1) < rate * 0.45) y += harm[h] * hs[h].Run(0, fr * (double)(h + 1), rate);
        b[i] += y;
      } else {
        b[i] += o.Run(wave, fr, rate, width);
      }
    }
  } else if (gen == "noise") {
    GenNoise(b, a.Str("color", "white"), rng, line);
  } else if (gen == "bell") {
    GenBell(b, rate, a.Num("f", 440) * pitch, a.Num("decay", 2.0), a.Num("bright", 0.7), rng);
  } else if (gen == "metal") {
    GenMetal(b, rate, a.Num("f", 1200) * pitch, a.Num("decay", 0.4), a.Num("hit", 0.5), rng);
  } else if (gen == "pluck") {
    auto s = PluckString(a.Num("f", 220) * pitch, rate, b.size(), a.Num("decay", 1.0), a.Num("bright", 0.5), rng);
    for (size_t i = 0; i < b.size(); ++i) b[i] += s[i];
  } else if (gen == "thump") {
    GenThump(b, rate, a.Num("f", 90) * pitch, a.Num("drop", 2.5), a.Num("decay", 0.12), a.Num("click", 0.3), rng);
  } else if (gen == "call") {
    VoiceShape v;
    v.f = a.Cur("f", "200");
    v.vowels = a.Str("vowel", "a");
    v.size = a.Num("size", 1.0);
    v.rough = a.Num("rough", 0.0);
    v.breath = a.Num("breath", 0.05);
    auto vib = a.List("vib", "5,0");
    v.vib_rate = vib[0];
    v.vib_depth = vib.size() > 1 ? vib[1] : 0.0;
    v.wave = WaveOf(a.Str("wave", "saw"), line);
    v.voiced = a.Num("voiced", 1.0);
    RenderVoice(v, b, rate, pitch, rng, line);
  } else if (gen == "speak") {
    RenderSpeech(b, rate, a.Num("f", 140) * pitch, a.Num("syl", 5), a.Num("shout", 0.0), rng, line);
  } else if (gen == "crowd") {
    int voices = (int)a.Num("n", 10);
    auto fr = a.List("f", "110,240");
    double syl = a.Num("syl", 4.5), shout = a.Num("shout", 0.0);
    for (int k = 0; k < voices; ++k) {
      std::vector<double> v(b.size(), 0.0);
      double f0 = fr[0] + (fr.size() > 1 ? (fr[1] - fr[0]) * rng.Uniform() : 0.0);
      RenderSpeech(v, rate, f0 * pitch, syl * rng.Range(0.8, 1.2), shout * rng.Range(0.5, 1.2), rng, line);
      double g = rng.Range(0.3, 1.0);
      for (size_t i = 0; i < b.size(); ++i) b[i] += v[i] * g;
    }
  } else if (gen == "drops") {
    auto fr = a.List("f", "500,1500");
    GenDrops(b, rate, a.Num("rate", 8), fr[0], fr.size() > 1 ? fr[1] : fr[0] * 2, rng);
  } else if (gen == "crackle") {
    GenCrackle(b, rate, a.Num("rate", 20), a.Num("tone", 1500), rng);
  } else if (gen == "creak") {
    GenCreak(b, rate, a.Cur("f", "30,60,20"), a.Num("jitter", 0.2), rng);
  } else if (gen == "birds") {
    auto fr = a.List("f", "2500,4500");
    GenBirds(b, rate, a.Num("rate", 1.0), fr[0], fr.size() > 1 ? fr[1] : fr[0], rng);
  } else {
    Fail(line, "unknown generator '" + gen + "'");
  }
}

// Schroeder reverb, wet only.
std::vector<double> Reverb(const std::vector<double>& x, double rate) {
  const double comb_ms[4] = {29.7, 37.1, 41.1, 43.7};
  const double fb[4] = {0.80, 0.79, 0.78, 0.77};
  std::vector<double> out(x.size(), 0.0);
  for (int c = 0; c < 4; ++c) {
    size_t d = (size_t)(comb_ms[c] * 1.6 * rate / 1000.0);
    std::vector<double> line(d, 0.0);
    size_t p = 0;
    double lp = 0;
    for (size_t i = 0; i < x.size(); ++i) {
      double y = line[p];
      lp = y * 0.7 + lp * 0.3;
      line[p] = x[i] + lp * fb[c];
      out[i] += y * 0.25;
      if (++p == d) p = 0;
    }
  }
  const double ap_ms[2] = {5.0, 1.7};
  for (double ms : ap_ms) {
    size_t d = (size_t)(ms * rate / 1000.0);
    std::vector<double> line(d, 0.0);
    size_t p = 0;
    for (size_t i = 0; i < out.size(); ++i) {
      double buf = line[p];
      double y = -out[i] * 0.5 + buf;
      line[p] = out[i] + buf * 0.5;
      out[i] = y;
      if (++p == d) p = 0;
    }
  }
  return out;
}

}  // namespace

double Curve::At(double x, double wander_value) const {
  if (points.empty()) return 0.0;
  if (wander) return points[0] + (points[1] - points[0]) * (wander_value + 1.0) * 0.5;
  if (points.size() == 1) return points[0];
  x = std::min(1.0, std::max(0.0, x));
  double p = x * (double)(points.size() - 1);
  size_t k = std::min(points.size() - 2, (size_t)p);
  double w = p - (double)k;
  double a = points[k], b = points[k + 1];
  if (a > 0 && b > 0) return a * std::pow(b / a, w);  // glides are exponential
  return a + (b - a) * w;
}

void Biquad::Set(Kind kind, double freq, double q, double rate) {
  double w0 = 2 * kPi * freq / rate, cw = std::cos(w0), sw = std::sin(w0);
  double alpha = sw / (2 * q);
  double a0 = 1 + alpha;
  double nb0, nb1, nb2;
  switch (kind) {
    case kLow: nb0 = (1 - cw) / 2; nb1 = 1 - cw; nb2 = (1 - cw) / 2; break;
    case kHigh: nb0 = (1 + cw) / 2; nb1 = -(1 + cw); nb2 = (1 + cw) / 2; break;
    default: nb0 = alpha; nb1 = 0; nb2 = -alpha; break;
  }
  b0 = nb0 / a0; b1 = nb1 / a0; b2 = nb2 / a0;
  a1 = -2 * cw / a0; a2 = (1 - alpha) / a0;
}

std::vector<double> PluckString(double f, double rate, size_t n, double decay_s, double brightness, Rng& rng) {
  std::vector<double> out(n, 0.0);
  double period = rate / std::max(20.0, f);
  size_t d = std::max<size_t>(2, (size_t)period);
  double frac = period - (double)d;  // first-order allpass tuning
  double ap = (1 - frac) / (1 + frac), ap_x = 0, ap_y = 0;
  std::vector<double> line(d);
  Biquad shape;
  shape.Set(Biquad::kLow, 800 + 6000 * brightness, 0.7, rate);
  for (auto& v : line) v = shape.Run(rng.Bipolar());
  double mean = 0;
  for (double v : line) mean += v;
  mean /= (double)d;
  for (auto& v : line) v -= mean;
  // loss per period so that the tone falls by 60 dB in decay_s
  double g = std::pow(0.001, period / (rate * std::max(0.05, decay_s)));
  double s = 0.5 + 0.45 * brightness;  // averaging weight
  size_t p = 0;
  double prev = 0;
  for (size_t i = 0; i < n; ++i) {
    double y = line[p];
    double avg = (s * y + (1 - s) * prev) * g;
    prev = y;
    double t = ap * (avg - ap_y) + ap_x;  // fractional delay
    ap_x = avg;
    ap_y = t;
    line[p] = t;
    out[i] = y;
    if (++p == d) p = 0;
  }
  return out;
}

std::vector<int16_t> RenderSound(const SoundSpec& sound) {
  const double rate = sound.rate;
  const double xfade = sound.loop ? std::min(0.6, sound.seconds / 4) : 0.0;
  const double total = sound.seconds + xfade;
  const size_t n = (size_t)(total * rate);
  std::vector<double> mix(n, 0.0);
  int index = 0;
  for (const Layer& layer : sound.layers) {
    Rng rng((uint64_t)sound.id * 1000 + (uint64_t)index++);
    Args a(layer);
    double at = a.Num("at", 0.0);
    double dur = a.Num("dur", total - at);
    double gain = a.Num("gain", 1.0);
    int repeat = (int)a.Num("repeat", 1);
    double every = a.Num("every", dur);
    double jitter = a.Num("jitter", 0.0);
    double vary = a.Num("vary", 0.0);
    double gainvary = a.Num("gainvary", 0.0);
    std::string pattern = a.Str("pattern", "");
    double step = a.Num("step", 0.125);
    std::vector<std::pair<double, double>> hits;  // time, accent
    if (!pattern.empty()) {
      for (int r = 0; r < repeat; ++r)
        for (size_t k = 0; k < pattern.size(); ++k) {
          char c = pattern[k];
          if (c == '.') continue;
          if (c != 'x' && c != 'X') Fail(layer.line, "pattern: x, X or .");
          hits.push_back({at + ((double)r * (double)pattern.size() + (double)k) * step, c == 'X' ? 1.0 : 0.7});
        }
    } else {
      for (int r = 0; r < repeat; ++r) hits.push_back({at + (double)r * every, 1.0});
    }
    // The words of the generator are taken on the first instance; the rest
    // of the instances use the same values.
    bool first = true;
    for (auto [t0, accent] : hits) {
      double t = t0 + (first ? 0.0 : jitter * rng.Bipolar());
      if (t < 0) t = 0;
      size_t start = (size_t)(t * rate);
      if (start >= n) continue;
      size_t len = std::min(n - start, (size_t)(dur * rate));
      std::vector<double> b(len, 0.0);
      double pitch = std::pow(2.0, vary * rng.Bipolar() / 12.0);
      Args inst(layer);
      Generate(layer.gen, inst, b, rate, pitch, rng);
      ApplyFilters(b, rate, inst, rng);
      ApplyEnvelope(b, rate, inst);
      if (first) {
        inst.used.insert(a.used.begin(), a.used.end());
        inst.CheckAllUsed();
      }
      double g = gain * accent * (1.0 - gainvary * rng.Uniform());
      for (size_t i = 0; i < len; ++i) mix[start + i] += b[i] * g;
      first = false;
    }
  }
  if (sound.echo_delay > 0) {
    size_t d = (size_t)(sound.echo_delay * rate);
    for (size_t i = d; i < n; ++i) mix[i] += mix[i - d] * sound.echo_feedback;
  }
  if (sound.reverb > 0) {
    auto wet = Reverb(mix, rate);
    for (size_t i = 0; i < n; ++i) mix[i] = mix[i] * (1.0 - sound.reverb * 0.5) + wet[i] * sound.reverb * 1.5;
  }
  // DC and rumble below 25 Hz out.
  Biquad dc;
  dc.Set(Biquad::kHigh, 25, 0.707, rate);
  for (auto& v : mix) v = dc.Run(v);
  size_t out_n = (size_t)(sound.seconds * rate);
  std::vector<double> out(mix.begin(), mix.begin() + (long)std::min(out_n, n));
  if (sound.loop) {
    size_t xf = (size_t)(xfade * rate);
    for (size_t i = 0; i < xf && out_n + i < n; ++i) {
      double w = (double)i / (double)xf;
      out[i] = out[i] * std::sqrt(w) + mix[out_n + i] * std::sqrt(1.0 - w);
    }
  } else {
    size_t fo = std::min(out.size(), (size_t)(0.01 * rate));
    for (size_t i = 0; i < fo; ++i) out[out.size() - 1 - i] *= (double)i / (double)fo;
  }
  // Loudness: the active part's RMS to the common level, peaks below -1 dBFS.
  double peak = 0;
  for (double v : out) peak = std::max(peak, std::fabs(v));
  if (peak <= 0) throw SynthError{0, "sound " + std::to_string(sound.id) + " is silent"};
  std::vector<int16_t> probe(out.size());
  for (size_t i = 0; i < out.size(); ++i) probe[i] = (int16_t)std::lround(out[i] / peak * 16384.0);
  double active = ActiveRmsDb(probe, sound.rate) - 20.0 * std::log10(16384.0 / 32768.0);  // dB re peak
  double target_db = -18.0 + sound.level_db;                                          // dBFS
  double gain_db = target_db - active;                                                // peak lands at gain_db
  double g = std::pow(10.0, std::min(gain_db, -1.0) / 20.0) / peak;
  std::vector<int16_t> s(out.size());
  for (size_t i = 0; i < out.size(); ++i) {
    double v = std::max(-1.0, std::min(1.0, out[i] * g));
    s[i] = (int16_t)std::lround(v * 32767.0);
  }
  return s;
}

double RmsDb(const std::vector<int16_t>& s) {
  if (s.empty()) return -200.0;
  double sum = 0;
  for (int16_t v : s) sum += (double)v * (double)v;
  double rms = std::sqrt(sum / (double)s.size()) / 32768.0;
  return rms > 0 ? 20.0 * std::log10(rms) : -200.0;
}

double ActiveRmsDb(const std::vector<int16_t>& s, uint32_t rate) {
  size_t w = std::max<size_t>(1, rate / 20);
  std::vector<double> win;
  for (size_t i = 0; i < s.size(); i += w) {
    double sum = 0;
    size_t m = std::min(w, s.size() - i);
    for (size_t k = 0; k < m; ++k) sum += (double)s[i + k] * (double)s[i + k];
    win.push_back(sum / (double)m);
  }
  double top = 0;
  for (double v : win) top = std::max(top, v);
  if (top <= 0) return -200.0;
  double sum = 0;
  size_t cnt = 0;
  for (double v : win)
    if (v >= top * 0.001) { sum += v; ++cnt; }
  double rms = std::sqrt(sum / (double)cnt) / 32768.0;
  return 20.0 * std::log10(rms);
}

}  // namespace datakit
