// The description list of the kit's movies. See list.h.
#include "list.h"

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace datakit::movies {
namespace {
// UTF-8 (Latin-1 range only) to Latin-1.
bool ToLatin1(const std::string& s, std::string* out) {
  out->clear();
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = (unsigned char)s[i];
    if (c < 0x80) { out->push_back((char)c); continue; }
    if ((c == 0xC2 || c == 0xC3) && i + 1 < s.size()) {
      out->push_back((char)(((c & 3) << 6) | ((unsigned char)s[++i] & 0x3F)));
      continue;
    }
    return false;
  }
  return true;
}

const Kind* FindKind(const std::string& family, const std::string& kind) {
  const Kind* table = family == "screens" ? kSceneKinds : family == "buildings" ? kBuildingKinds : kGoodsKinds;
  for (const Kind* k = table; k->name; ++k)
    if (kind == k->name) return k;
  if (family != "screens")  // a building or good may use a screen's kind (the mill)
    for (const Kind* k = kSceneKinds; k->name; ++k)
      if (kind == k->name) return k;
  return nullptr;
}

}  // namespace

std::vector<MovieLine> ReadMovieList(const std::string& file_name) {
  const fs::path file = file_name;
  std::ifstream in(file);
  if (!in) throw ListError{file.string() + ": cannot read"};
  std::vector<MovieLine> list;
  std::set<std::string> names;
  std::string family, text;
  int n = 0;
  while (std::getline(in, text)) {
    ++n;
    const std::string where = file.string() + ":" + std::to_string(n) + ": ";
    const size_t hash = text.find('#');
    if (hash != std::string::npos && text.find('"') > hash) text.resize(hash);
    std::istringstream ws(text);
    std::string first;
    if (!(ws >> first)) continue;
    if (first == "[screens]" || first == "[buildings]" || first == "[goods]") {
      family = first.substr(1, first.size() - 2);
      continue;
    }
    if (family.empty()) throw ListError{where + "a movie before its family ([screens], [buildings], [goods])"};
    MovieLine m;
    m.line = n;
    m.family = family;
    if (!ToLatin1(first, &m.name)) throw ListError{where + "the name is not Latin-1"};
    std::string size;
    if (!(ws >> m.kind >> size >> m.frames >> m.fps)) throw ListError{where + "expected: name kind WxH frames fps"};
    if (std::sscanf(size.c_str(), "%dx%d", &m.width, &m.height) != 2) throw ListError{where + "bad size " + size};
    if (m.width < 8 || m.width % 8 || m.width > 640 || m.height < 8 || m.height > 480)
      throw ListError{where + "the width must be a multiple of 8 up to 640, the height 8 to 480"};
    if (m.frames < 4 || m.frames > 64) throw ListError{where + "4 to 64 frames"};
    if (m.fps < 1 || m.fps > 10) throw ListError{where + "1 to 10 frames a second"};
    const Kind* k = FindKind(family, m.kind);
    if (!k) throw ListError{where + "unknown " + family + " kind " + m.kind};
    m.draw = k->draw;
    std::string word;
    while (ws >> word) {
      if (word[0] == '"') {
        std::string rest;
        std::getline(ws, rest);
        word += rest;
        if (word.size() < 2 || word.back() != '"') throw ListError{where + "the description needs its closing quote"};
        m.what = word.substr(1, word.size() - 2);
        break;
      }
      const size_t eq = word.find('=');
      if (eq == std::string::npos || eq == 0) throw ListError{where + "expected key=value, got " + word};
      m.params.Set(word.substr(0, eq), word.substr(eq + 1));
    }
    if (m.what.empty()) throw ListError{where + "the description (\"...\") is missing"};
    std::string lower = m.name;
    for (char& c : lower) c = (char)std::tolower((unsigned char)c);
    if (!names.insert(lower).second) throw ListError{where + "the name " + first + " is there twice"};
    list.push_back(std::move(m));
  }
  if (list.empty()) throw ListError{file.string() + ": no movies"};
  return list;
}


}  // namespace datakit::movies
