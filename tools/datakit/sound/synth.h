// The data kit's sound synthesiser: a sound is a list of layers, each a
// generator (oscillator, noise, bell, pluck, voice, ...) with its own time,
// envelope, filters and repeats, mixed into one mono signal and brought to a
// common loudness. Everything is deterministic: the same description gives
// the same samples on every build.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace datakit {

// A value that may change over a layer's time: "440", "440>220" (glide from
// the first to the last), "400,900,600" (points spread evenly over the
// time), "300~900" (a slow random wander between two bounds).
struct Curve {
  std::vector<double> points;
  bool wander = false;
  double At(double x, double wander_value) const;  // x in 0..1
  bool empty() const { return points.empty(); }
};

// One line of a sound description: a generator and its key=value words.
struct Layer {
  std::string gen;
  std::map<std::string, std::string> args;
  int line = 0;
};

struct SoundSpec {
  uint32_t id = 0;
  std::string name, what;
  uint32_t rate = 22050;
  double seconds = 1.0;
  bool loop = false;
  double reverb = 0.0;        // 0..1 wet share
  double echo_delay = 0.0, echo_feedback = 0.0;
  double level_db = 0.0;      // offset against the common loudness
  std::vector<Layer> layers;
};

// Renders a sound as 16-bit samples at its rate. Throws SynthError on a bad
// argument; the message names the word.
struct SynthError {
  int line;
  std::string what;
};
std::vector<int16_t> RenderSound(const SoundSpec& sound);

// Loudness helpers shared with the music instruments and the tests.
double RmsDb(const std::vector<int16_t>& s);
// RMS over the 50-ms windows that lie within 30 dB of the loudest one.
double ActiveRmsDb(const std::vector<int16_t>& s, uint32_t rate);

// Deterministic random numbers (the same on every build and platform).
struct Rng {
  uint64_t state;
  explicit Rng(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Uniform() { return (double)(Next() >> 11) * (1.0 / 9007199254740992.0); }  // 0..1
  double Range(double a, double b) { return a + (b - a) * Uniform(); }
  double Bipolar() { return Uniform() * 2.0 - 1.0; }
};

// Biquad filter (low pass, high pass, band pass).
struct Biquad {
  enum Kind { kLow, kHigh, kBand };
  double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0, z1 = 0, z2 = 0;
  void Set(Kind kind, double freq, double q, double rate);
  double Run(double x) {
    double y = b0 * x + z1;
    z1 = b1 * x - a1 * y + z2;
    z2 = b2 * x - a2 * y;
    return y;
  }
};

// Karplus-Strong string: a plucked tone of frequency f for n samples.
std::vector<double> PluckString(double f, double rate, size_t n, double decay_s, double brightness, Rng& rng);

}  // namespace datakit
