// Reads the terrain models' description line by line.
#include "terrain_desc.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace datakit {
namespace {

struct FeatureSyntax {
  const char* word;
  TerrainFeature kind;
  int numbers;        // numbers after the word (trees: after its kind)
  int optional;       // further numbers that may follow
  bool position;      // the first two numbers are a point inside the hex
  bool materials;     // a material list follows the numbers
  bool has_word;      // a word comes before the numbers (trees, water)
  double lo, hi;      // range of the numbers after a position
};

const FeatureSyntax kSyntax[] = {
    {"peak", TerrainFeature::kPeak, 4, 0, true, false, false, 0, 60},
    {"pit", TerrainFeature::kPit, 4, 0, true, false, false, 0, 20},
    {"cap", TerrainFeature::kCap, 1, 0, false, true, false, 0, 60},
    {"steep", TerrainFeature::kSteep, 0, 0, false, true, false, 0, 0},
    {"water", TerrainFeature::kWater, 0, 0, false, false, true, 0, 0},
    {"pool", TerrainFeature::kPool, 3, 0, true, false, false, 1, 30},
    {"patch", TerrainFeature::kPatch, 3, 0, true, true, false, 1, 30},
    {"field", TerrainFeature::kField, 4, 0, true, true, false, -32, 32},
    {"path", TerrainFeature::kPath, 3, 0, false, true, false, 0, 10},
    {"river", TerrainFeature::kRiver, 3, 0, false, false, false, 0, 10},
    {"trees", TerrainFeature::kTrees, 2, 3, false, false, true, 0, 40},
    {"rocks", TerrainFeature::kRocks, 3, 0, false, false, false, 0, 40},
    {"houses", TerrainFeature::kHouses, 3, 0, false, false, false, 0, 40},
    {"townwall", TerrainFeature::kTownWall, 0, 0, false, false, false, 0, 0},
    {"towers", TerrainFeature::kTowers, 1, 0, false, false, false, 0, 6},
    {"keep", TerrainFeature::kKeep, 0, 0, false, false, false, 0, 0},
    {"hearth", TerrainFeature::kHearth, 0, 0, false, false, false, 0, 0},
    {"mill", TerrainFeature::kMill, 0, 0, false, false, false, 0, 0},
    {"stones", TerrainFeature::kStones, 1, 0, false, false, false, 3, 12},
    {"pier", TerrainFeature::kPier, 0, 0, false, false, false, 0, 0},
    {"reeds", TerrainFeature::kReeds, 2, 0, false, false, false, 0, 40},
    {"flowers", TerrainFeature::kFlowers, 2, 0, false, false, false, 0, 40},
    {"well", TerrainFeature::kWell, 0, 0, false, false, false, 0, 0},
    {"ruin", TerrainFeature::kRuin, 0, 0, false, false, false, 0, 0},
    {"hay", TerrainFeature::kHay, 2, 0, false, false, false, 0, 40},
};

const char* const kMaterials[] = {
    // Ground (drawn on the lattice; also usable as shared textures).
    "grass", "grass_lush", "grass_dry", "meadow", "snow", "soil", "ploughed", "crop_green", "crop_gold", "stubble",
    "rock", "sand", "swamp", "swamp_frozen", "moor", "forest_floor", "leaf_litter", "dirt", "cobbles", "ice",
    "lava", "water", "vines", "vines_bare", "missing", "black",
    // Parts of things.
    "needles", "needles_snow", "leaves", "leaves_young", "leaves_autumn", "twigs", "palm", "bark", "roof_red",
    "roof_slate", "roof_thatch", "roof_snow", "wall_plaster", "wall_stone", "wood", "reeds", "reeds_dry",
    "reeds_frozen", "flowers", "hay", "stone",
};

const char* const kSeasonNames[kTerrainSeasons] = {"spring", "summer", "autumn", "winter", "old"};

bool Number(const std::string& s, double* v) {
  if (s.empty()) return false;
  char* end = nullptr;
  const double d = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size() || !std::isfinite(d)) return false;
  *v = d;
  return true;
}

// Inside the hex (64 x 55.424, centred) by margin units.
bool InsideHex(double x, double z, double margin) {
  const double d = 27.712, s = 0.8660254;
  if (std::fabs(z) > d - margin) return false;
  // The slanted sides: distance from the centre along their normals.
  return std::fabs(x) * s + std::fabs(z) * 0.5 <= d - margin;
}

bool Name(const std::string& s) {
  if (s.empty() || s.size() > 32) return false;
  for (char c : s)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

struct Reader {
  std::string file;
  int line = 0;
  std::string* err;
  bool Fail(const std::string& why) {
    *err = file + ":" + std::to_string(line) + ": " + why;
    return false;
  }
  // words[from ..] as a list of 1 or 4 materials.
  bool Materials(const std::vector<std::string>& w, size_t from, SeasonMaterials* out) {
    const size_t n = w.size() - std::min(from, w.size());
    if (n != 1 && n != 4) return Fail("expected one material or four (spring summer autumn winter)");
    for (size_t i = from; i < w.size(); i++)
      if (!KnownTerrainMaterial(w[i])) return Fail("unknown material \"" + w[i] + "\"");
    for (int s = 0; s < 4; s++) (*out)[s] = w[from + (n == 1 ? 0 : s)];
    (*out)[4] = (*out)[1];
    return true;
  }
};

}  // namespace

bool KnownTerrainMaterial(const std::string& name) {
  for (const char* m : kMaterials)
    if (name == m) return true;
  return false;
}

bool ParseTerrainModels(const std::string& text, const std::string& file, std::vector<TerrainModelDesc>* out,
                        std::string* err) {
  Reader r{file, 0, err};
  out->clear();
  std::istringstream in(text);
  std::string raw;
  auto finish = [&]() {
    if (out->empty()) return true;
    const TerrainModelDesc& m = out->back();
    if (m.ground[0].empty()) {
      r.line = m.line;
      return r.Fail("model " + m.name + " has no ground");
    }
    return true;
  };
  while (std::getline(in, raw)) {
    r.line++;
    if (raw.find('\0') != std::string::npos) return r.Fail("a NUL byte");
    const size_t hash = raw.find('#');
    if (hash != std::string::npos) raw.resize(hash);
    std::istringstream ws(raw);
    std::vector<std::string> w;
    for (std::string t; ws >> t;) w.push_back(t);
    if (w.empty()) continue;
    if (w[0] == "model") {
      if (!finish()) return false;
      if (w.size() != 2 || !Name(w[1])) return r.Fail("model takes one name of letters, digits and _");
      for (const TerrainModelDesc& m : *out)
        if (m.name == w[1]) return r.Fail("model " + w[1] + " is described twice");
      TerrainModelDesc m;
      m.name = w[1];
      m.line = r.line;
      for (char c : m.name) m.seed = m.seed * 131 + uint8_t(c);
      out->push_back(m);
      continue;
    }
    if (out->empty()) return r.Fail("\"" + w[0] + "\" before the first model");
    TerrainModelDesc& m = out->back();
    double v = 0;
    if (w[0] == "file") {
      if (w.size() != 4) return r.Fail("file takes a path, low or high, and a season");
      TerrainFileDesc f;
      f.path = w[1];
      if (f.path.empty() || f.path[0] == '/' || f.path.find("..") != std::string::npos ||
          f.path.size() < 5 || f.path.substr(f.path.size() - 4) != ".qoe")
        return r.Fail("file needs a relative path ending in .qoe");
      if (w[2] != "low" && w[2] != "high") return r.Fail("file detail must be low or high");
      f.high = w[2] == "high";
      f.season = -1;
      for (int s = 0; s < kTerrainSeasons; s++)
        if (w[3] == kSeasonNames[s]) f.season = s;
      if (f.season < 0) return r.Fail("unknown season \"" + w[3] + "\"");
      m.files.push_back(f);
      m.season_files = false;
      continue;
    }
    if (w[0] == "grid" || w[0] == "relief" || w[0] == "seed") {
      if (w.size() != 2 || !Number(w[1], &v)) return r.Fail(w[0] + " takes one number");
      if (w[0] == "grid") {
        if (v != std::floor(v) || v < 2 || v > 5) return r.Fail("grid must be a whole number 2 to 5");
        m.grid = int(v);
      } else if (w[0] == "relief") {
        if (v < 0 || v > 10) return r.Fail("relief must be 0 to 10");
        m.relief = v;
      } else {
        if (v != std::floor(v) || v < 0 || v > 1e9) return r.Fail("seed must be a whole number");
        m.seed = uint32_t(v);
      }
      continue;
    }
    if (w[0] == "ground" || w[0] == "roof" || w[0] == "foliage") {
      SeasonMaterials* target = w[0] == "ground" ? &m.ground : w[0] == "roof" ? &m.roof : &m.foliage;
      if (!r.Materials(w, 1, target)) return false;
      continue;
    }
    const FeatureSyntax* syn = nullptr;
    for (const FeatureSyntax& s : kSyntax)
      if (w[0] == s.word) syn = &s;
    if (!syn) return r.Fail("unknown word \"" + w[0] + "\"");
    TerrainFeatureDesc f;
    f.kind = syn->kind;
    f.line = r.line;
    size_t at = 1;
    if (syn->has_word) {
      if (w.size() < 2) return r.Fail(w[0] + " needs a word");
      f.word = w[1];
      at = 2;
      if (f.kind == TerrainFeature::kWater) {
        if (f.word.size() > 5) return r.Fail("water takes up to five sides");
        for (size_t i = 0; i < f.word.size(); i++)
          if (f.word[i] < '0' || f.word[i] > '5' || f.word.find(f.word[i], i + 1) != std::string::npos)
            return r.Fail("water sides are distinct digits 0 to 5");
      }
      if (f.kind == TerrainFeature::kTrees && f.word != "conifer" && f.word != "broadleaf" && f.word != "palm" &&
          f.word != "dead" && f.word != "bush")
        return r.Fail("unknown kind of tree \"" + f.word + "\"");
    }
    // Numbers up to the materials.
    size_t n = 0;
    while (at + n < w.size() && Number(w[at + n], &v)) n++;
    if (n < size_t(syn->numbers) || n > size_t(syn->numbers + syn->optional) ||
        (syn->optional && n != size_t(syn->numbers) && n != size_t(syn->numbers + syn->optional)))
      return r.Fail(w[0] + " takes " + std::to_string(syn->numbers) + " numbers");
    for (size_t i = 0; i < n; i++) {
      Number(w[at + i], &v);
      f.num.push_back(v);
    }
    const bool positioned = syn->position || (f.kind == TerrainFeature::kTrees && n == 5);
    const size_t pos = f.kind == TerrainFeature::kTrees ? 2 : 0;
    for (size_t i = 0; i < n; i++) {
      const double x = f.num[i];
      if (positioned && (i == pos || i == pos + 1)) continue;
      if (f.kind == TerrainFeature::kField) continue;
      if (f.kind == TerrainFeature::kPath || f.kind == TerrainFeature::kRiver) {
        if (i < 2 && (x != std::floor(x) || x < 0 || x > 5)) return r.Fail("sides are whole numbers 0 to 5");
        if (i == 2 && (x < 0.5 || x > 10)) return r.Fail("a width must be 0.5 to 10");
        continue;
      }
      if (x < syn->lo || x > syn->hi) return r.Fail(w[0] + ": a number out of range");
      // Counts are whole.
      if ((f.kind == TerrainFeature::kTrees || f.kind == TerrainFeature::kRocks || f.kind == TerrainFeature::kHouses ||
           f.kind == TerrainFeature::kReeds || f.kind == TerrainFeature::kFlowers || f.kind == TerrainFeature::kHay) &&
          i < 2 && x != std::floor(x))
        return r.Fail(w[0] + ": counts are whole numbers");
    }
    if (positioned) {
      const double margin = f.kind == TerrainFeature::kTrees ? 0 : 0.5;
      if (!InsideHex(f.num[pos], f.num[pos + 1], margin)) return r.Fail(w[0] + ": a position off the hex");
    }
    if (f.kind == TerrainFeature::kField)
      for (int k = 0; k < 4; k += 2)
        if (!InsideHex(f.num[k], f.num[k + 1], 0)) return r.Fail("field: a corner off the hex");
    if (syn->materials) {
      if (!r.Materials(w, at + n, &f.materials)) return false;
    } else if (at + n != w.size()) {
      return r.Fail(w[0] + ": unexpected \"" + w[at + n] + "\"");
    }
    m.features.push_back(f);
  }
  return finish();
}

}  // namespace datakit
