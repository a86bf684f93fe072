// The German catalog of the kit. See catalog_kit.h.
#include "catalog_kit.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

#include "iffwrite.h"
#include "routinen/system/catalog.h"

namespace fs = std::filesystem;

namespace datakit {
namespace {

struct Text {
  std::string text, where;
};

// A multi-byte UTF-8 sequence: a lead byte and its continuation bytes. Two
// such Latin-1 letters in a row ("Ã¼") are no German text.
bool HasUtf8Sequence(const std::string& s) {
  for (size_t i = 0; i < s.size(); ++i) {
    const uint8_t c = static_cast<uint8_t>(s[i]);
    const size_t more = c < 0xC2 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : c < 0xF5 ? 3 : 0;
    if (!more || i + more >= s.size()) continue;
    bool all = true;
    for (size_t k = 1; k <= more; ++k) all = all && (static_cast<uint8_t>(s[i + k]) & 0xC0) == 0x80;
    if (all) return true;
  }
  return false;
}

// A backslash and n stand for a line break (the story texts hold them), two
// backslashes for one; any other backslash is kept.
std::string Unescaped(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size() && (s[i + 1] == 'n' || s[i + 1] == '\\')) {
      out += s[i + 1] == 'n' ? '\n' : '\\';
      ++i;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool ReadFolder(const fs::path& folder, uint32_t id_limit, std::map<uint32_t, Text>* texts, std::string* error) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->path().extension() == ".txt" && it->is_regular_file()) files.push_back(it->path());
  if (ec) {
    *error = folder.string() + ": cannot be read";
    return false;
  }
  std::sort(files.begin(), files.end(),
            [](const fs::path& a, const fs::path& b) { return a.filename().string() < b.filename().string(); });
  for (const fs::path& file : files) {
    std::ifstream f(file, std::ios::binary);
    if (!f) {
      *error = file.string() + ": cannot be read";
      return false;
    }
    const std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    size_t pos = 0;
    for (uint32_t line = 1; pos < all.size(); ++line) {
      size_t end = all.find('\n', pos);
      if (end == std::string::npos) end = all.size();
      std::string l = all.substr(pos, end - pos);
      pos = end + 1;
      if (!l.empty() && l.back() == '\r') l.pop_back();
      const std::string where = file.string() + ":" + std::to_string(line);
      if (l.empty() || l[0] == '#') continue;
      const size_t tab = l.find('\t');
      const std::string id_text = l.substr(0, tab);
      bool digits = !id_text.empty() && id_text.size() <= 9;
      for (char c : id_text) digits = digits && c >= '0' && c <= '9';
      const uint32_t id = digits ? static_cast<uint32_t>(std::stoul(id_text)) : 0;
      if (!digits || id >= id_limit) {
        *error = where + ": '" + id_text + "' is no text ID (a number from 0 to " + std::to_string(id_limit - 1) +
                 " followed by a TAB)";
        return false;
      }
      if (tab == std::string::npos || tab + 1 >= l.size()) {
        *error = where + ": ID " + id_text + " has no text after a TAB";
        return false;
      }
      const std::string text = Unescaped(l.substr(tab + 1));
      if (HasUtf8Sequence(text)) {
        *error = where + ": the text of ID " + id_text + " is UTF-8; the catalog's texts are Latin-1";
        return false;
      }
      auto [it, fresh] = texts->emplace(id, Text{text, where});
      if (!fresh) {
        *error = where + ": ID " + id_text + " is given twice (first at " + it->second.where + ")";
        return false;
      }
    }
  }
  return true;
}

}  // namespace

bool MakeCatalogImage(const fs::path& folder, uint32_t id_limit, std::vector<uint8_t>* image, std::string* error,
                      const std::string& name) {
  std::map<uint32_t, Text> texts;
  if (!ReadFolder(folder, id_limit, &texts, error)) return false;
  Bytes strs;
  for (const auto& [id, t] : texts) {
    Put32(strs, id);
    Put32(strs, static_cast<uint32_t>(t.text.size() + 1));
    strs.insert(strs.end(), t.text.begin(), t.text.end());
    strs.push_back(0);
    while (strs.size() % 4) strs.push_back(0);
  }
  auto text_chunk = [](const std::string& s) {
    Bytes b(s.begin(), s.end());
    b.push_back(0);
    return b;
  };
  Bytes chunks;
  PutChunk(chunks, "FVER", text_chunk("$VER: " + name + " 1.0 (08.12.2026)"));
  PutChunk(chunks, "LANG", text_chunk("deutsch"));
  PutChunk(chunks, "STRS", strs);
  *image = Form("CTLG", chunks);
  return true;
}

namespace {

// One catalog of the folder's texts written to target.
bool WriteCatalog(const fs::path& folder, uint32_t id_limit, const fs::path& target, std::string* error) {
  std::vector<uint8_t> image;
  if (!MakeCatalogImage(folder, id_limit, &image, error, target.filename().string())) return false;
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  std::ofstream f(target, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  f.close();
  if (!f) {
    *error = target.string() + ": cannot be written";
    return false;
  }
  return true;
}

}  // namespace

bool MakeGermanCatalog(const fs::path& src, const fs::path& out, std::string* error) {
  const fs::path folder = src / "catalog" / "deutsch";
  if (!fs::is_directory(folder)) return true;
  const fs::path target = out / "Catalogs" / "deutsch";
  if (!WriteCatalog(folder, CATALOG_STRING_COUNT, target / "QoEBrowser.catalog", error)) return false;
  if (!fs::is_directory(folder / "stories")) return true;
  return WriteCatalog(folder / "stories", STORY_STRING_COUNT, target / "RizizOzez.catalog", error);
}

}  // namespace datakit
