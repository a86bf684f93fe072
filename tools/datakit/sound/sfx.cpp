// The sound list (sounds.txt) and the sound index with its sample files.
//
// A sound starts with its head line and its layers follow, one a line:
//   sound <id> <Name> <seconds> [loop] [rate=N] [reverb=R] [echo=D,F] [level=dB] "what it is for"
//     <generator> key=value ...
// Sound index layout: docs/sounds.md.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include "sound_kit.h"

namespace fs = std::filesystem;

namespace datakit {
namespace {

// Words of a line; "quoted text" is one word (kept with a leading quote);
// # starts a comment.
std::vector<std::string> SplitWords(const std::string& line, const std::string& where) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i >= line.size() || line[i] == '#') break;
    if (line[i] == '"') {
      size_t e = line.find('"', i + 1);
      if (e == std::string::npos) throw KitError{where + ": unclosed quote"};
      out.push_back("\"" + line.substr(i + 1, e - i - 1));
      i = e + 1;
      continue;
    }
    std::string w;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') w += line[i++];
    out.push_back(w);
  }
  return out;
}

double Number(const std::string& s, const std::string& where, double lo, double hi) {
  char* end = nullptr;
  double v = std::strtod(s.c_str(), &end);
  if (s.empty() || *end || v < lo || v > hi)
    throw KitError{where + ": '" + s + "' is not a number from " + std::to_string(lo) + " to " + std::to_string(hi)};
  return v;
}

void Put32(Bytes& b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back((uint8_t)(v >> s));
}

std::string RawName(const SoundSpec& s) {
  char buf[128];
  std::snprintf(buf, sizeof buf, "%03u_%s.raw", s.id, s.name.c_str());
  return buf;
}

}  // namespace

void WriteBytes(const fs::path& p, const Bytes& b) {
  fs::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(b.data()), (std::streamsize)b.size());
  if (!f) throw KitError{p.string() + ": cannot write"};
}

std::vector<SoundSpec> ReadSoundList(const fs::path& file) {
  std::ifstream f(file);
  if (!f) throw KitError{file.string() + ": cannot read"};
  std::vector<SoundSpec> out;
  std::set<uint32_t> ids;
  std::set<std::string> names;
  std::string line;
  int n = 0;
  while (std::getline(f, line)) {
    ++n;
    const std::string where = file.string() + ":" + std::to_string(n);
    auto w = SplitWords(line, where);
    if (w.empty()) continue;
    if (w[0] == "sound") {
      if (w.size() < 5) throw KitError{where + ": sound <id> <Name> <seconds> [options] \"what it is for\""};
      SoundSpec s;
      s.id = (uint32_t)Number(w[1], where, 1, 65535);
      s.name = w[2];
      for (char c : s.name)
        if (!std::isalnum((unsigned char)c)) throw KitError{where + ": name '" + s.name + "' must be letters and digits"};
      s.seconds = Number(w[3], where, 0.01, 30);
      for (size_t i = 4; i < w.size(); ++i) {
        const std::string& x = w[i];
        if (x[0] == '"') { s.what = x.substr(1); continue; }
        size_t eq = x.find('=');
        std::string k = x.substr(0, eq), v = eq == std::string::npos ? "" : x.substr(eq + 1);
        if (x == "loop") s.loop = true;
        else if (k == "rate") s.rate = (uint32_t)Number(v, where, 8000, 44100);
        else if (k == "reverb") s.reverb = Number(v, where, 0, 1);
        else if (k == "level") s.level_db = Number(v, where, -12, 6);
        else if (k == "echo") {
          size_t c = v.find(',');
          if (c == std::string::npos) throw KitError{where + ": echo=<delay>,<feedback>"};
          s.echo_delay = Number(v.substr(0, c), where, 0.01, 2);
          s.echo_feedback = Number(v.substr(c + 1), where, 0, 0.9);
        } else throw KitError{where + ": unknown option '" + x + "'"};
      }
      if (s.what.empty()) throw KitError{where + ": every sound needs \"what it is for\""};
      if (!ids.insert(s.id).second) throw KitError{where + ": sound " + std::to_string(s.id) + " twice"};
      if (!names.insert(s.name).second) throw KitError{where + ": name " + s.name + " twice"};
      out.push_back(s);
      continue;
    }
    if (out.empty()) throw KitError{where + ": a layer before the first sound"};
    Layer l;
    l.gen = w[0];
    l.line = n;
    for (size_t i = 1; i < w.size(); ++i) {
      size_t eq = w[i].find('=');
      if (eq == std::string::npos || eq == 0) throw KitError{where + ": '" + w[i] + "' is not key=value"};
      std::string v = w[i].substr(eq + 1);
      if (!v.empty() && v[0] == '"') v = v.substr(1);
      l.args[w[i].substr(0, eq)] = v;
    }
    out.back().layers.push_back(l);
  }
  for (const auto& s : out)
    if (s.layers.empty()) throw KitError{file.string() + ": sound " + std::to_string(s.id) + " has no layers"};
  std::sort(out.begin(), out.end(), [](const SoundSpec& a, const SoundSpec& b) { return a.id < b.id; });
  return out;
}

void MakeSounds(const std::vector<SoundSpec>& sounds, const fs::path& out) {
  if (sounds.empty()) throw KitError{"no sounds"};
  const uint32_t count = sounds.back().id;
  fs::remove_all(out / "Sfx");  // no samples of renamed sounds stay behind
  std::vector<const SoundSpec*> by_id(count + 1, nullptr);
  for (const auto& s : sounds) by_id[s.id] = &s;
  Bytes head(32, 0), records, strings;
  const char tag[] = "QSFX";
  std::copy(tag, tag + 4, head.begin());
  head[5] = 1;  // version
  strings.push_back(0);  // offset of an empty path: the IDs without a sound
  const uint32_t strings_at = 4 + count * 20;  // counted from byte 32
  for (uint32_t id = 1; id <= count; ++id) {
    const SoundSpec* s = by_id[id];
    Put32(records, id);
    if (!s) {
      Put32(records, 0);
      Put32(records, 0);
      Put32(records, strings_at);
      Put32(records, 0);
      continue;
    }
    std::vector<int16_t> pcm;
    try {
      pcm = RenderSound(*s);
    } catch (SynthError& e) {
      throw KitError{"sounds.txt:" + std::to_string(e.line) + ": sound " + std::to_string(id) + ": " + e.what};
    }
    Bytes raw;
    raw.reserve(pcm.size() * 2);
    for (int16_t v : pcm) {
      raw.push_back((uint8_t)((uint16_t)v >> 8));
      raw.push_back((uint8_t)v);
    }
    WriteBytes(out / "Sfx" / RawName(*s), raw);
    Put32(records, (uint32_t)raw.size());
    Put32(records, s->rate);
    Put32(records, strings_at + (uint32_t)strings.size());
    Put32(records, s->loop ? 1 : 0);
    // Amiga form: the program turns "QoE:Sfx/x.raw" into "Sfx\x.raw".
    std::string path = "QoE:Sfx/" + RawName(*s);
    strings.insert(strings.end(), path.begin(), path.end());
    strings.push_back(0);
  }
  Bytes file = head;
  Put32(file, count);
  file.insert(file.end(), records.begin(), records.end());
  file.insert(file.end(), strings.begin(), strings.end());
  WriteBytes(out / "Data" / "SfxPath", file);
}

std::string SoundTable(const std::vector<SoundSpec>& sounds) {
  std::string t = "| ID | name | seconds | loop | what it is for |\n|---|---|---|---|---|\n";
  for (const auto& s : sounds) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", s.seconds);
    t += "| " + std::to_string(s.id) + " | " + s.name + " | " + buf + " | " + (s.loop ? "yes" : "") + " | " + s.what +
         " |\n";
  }
  return t;
}

}  // namespace datakit
