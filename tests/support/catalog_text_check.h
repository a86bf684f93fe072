// Whether a text the player reads came through the catalog: every text a
// screen draws is either a built-in catalog text (whole, or as a format
// whose conversions were filled in), a sum of such texts, or comes from the
// data (names of realms, towns, lords and figures, numbers). A text drawn in
// the English game that, once every catalog text in it is taken out, still
// holds a German letter (umlaut, sharp s) or a word only German has, was
// written into the code past the catalog. Header only: the test programs
// that use it link the system layer. The recorder watches the text layer
// (routinen/gui/text.h) for a test's run.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "routinen/gui/text.h"
#include "routinen/system/catalog.h"

namespace qoe_test {

// Words of German sentences that English texts never use (case counts:
// "die" and "den" are English words, "Die" at a sentence start is not).
inline const std::set<std::string>& GermanOnlyWords() {
  static const std::set<std::string> words = {
      "sie",       "Sie",        "der",        "Der",       "und",        "nicht",     "keine",     "Keine",
      "kein",      "ist",        "wird",       "werden",    "haben",      "Ihre",      "Ihrer",     "Ihren",
      "eine",      "einen",      "mit",        "auf",       "noch",       "kann",      "oder",      "Diese",
      "diese",     "dieses",     "diesen",     "Wollen",    "wollen",     "schicken",  "schreiben", "lesen",
      "Anzahl",    "Warentyp",   "Truhe",      "gefunden",  "vorhanden",  "Kategorien", "Botschaften",
      "Schiff",    "heissen",    "Zukunft",    "Bitte",     "bitte",      "leider",    "soviele",   "Rohstoffe",
      "wirklich",  "Vertrag",    "Reichsdaten", "eigentlich", "Optionen", "Karawanen", "Spielername",
      "Spielernamen", "Einheite", "Namen",     "zuweisen",  "gekapert",   "versenkt",  "angegriffen",
      "verteidigt", "Wir",       "wir",        "Mein",      "sind",       "zu",        "im",        "nach",
      "Legende",   "Kriegsschiffe", "Boten",   "ausschau",  "halten",     "Weg",       "direkt",    "Mail-Editor",
      "erledigt",   "gelassen",   "Korn",      "Steuern",    "Forschung", "Nachbarn",
      "keiner",    "Werter",     "dieser",     "Spezialist",
  };
  return words;
}

inline bool IsLatinLetter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c != 0xD7 && c != 0xF7);
}

// Umlauts and the sharp s in Latin-1.
inline bool IsGermanLetter(unsigned char c) {
  return c == 0xC4 || c == 0xD6 || c == 0xDC || c == 0xE4 || c == 0xF6 || c == 0xFC || c == 0xDF;
}

// The literal runs of a catalog text between its printf conversions.
inline std::vector<std::string> LiteralRuns(const char* text) {
  std::vector<std::string> runs(1);
  for (const char* p = text; *p; ++p) {
    if (*p == '%' && p[1] == '%') {
      runs.back() += '%';
      ++p;
    } else if (*p == '%' && p[1]) {
      ++p;
      while (*p && std::strchr("0123456789.-+ #lhz", *p)) ++p;
      if (!*p) break;
      runs.emplace_back();
    } else {
      runs.back() += *p;
    }
  }
  return runs;
}

// The text with every catalog text in it (a format's literal runs alone)
// blanked out; a run is taken only where it does not start or end inside a
// word, so that a short catalog word does not eat a piece of a longer one.
inline std::string WithoutCatalogTexts(const std::string& drawn) {
  static const std::vector<std::string> runs = [] {
    std::vector<std::string> all;
    for (uint32_t id = 0; id < CATALOG_STRING_COUNT; ++id) {
      const char* text = GetCatalogEntryStr(&CatalogStrings[id]);
      if (!text || !*text) continue;
      for (std::string& run : LiteralRuns(text)) {
        // Blanks round a run belong to the layout, not to the words.
        const size_t first = run.find_first_not_of(" \n\t"), last = run.find_last_not_of(" \n\t");
        if (first == std::string::npos) continue;
        run = run.substr(first, last - first + 1);
        if (run.size() >= 2) all.push_back(run);
      }
    }
    std::sort(all.begin(), all.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    all.erase(std::unique(all.begin(), all.end()), all.end());
    return all;
  }();
  std::string rest = drawn;
  for (const std::string& run : runs) {
    for (size_t at = rest.find(run); at != std::string::npos; at = rest.find(run, at + 1)) {
      const size_t end = at + run.size();
      const bool starts_in_word = at > 0 && IsLatinLetter((unsigned char)rest[at - 1]) &&
                                  IsLatinLetter((unsigned char)run.front());
      const bool ends_in_word = end < rest.size() && IsLatinLetter((unsigned char)rest[end]) &&
                                IsLatinLetter((unsigned char)run.back());
      if (starts_in_word || ends_in_word) continue;
      for (size_t i = at; i < end; ++i) rest[i] = '\x01';
    }
  }
  return rest;
}

// The quoted values of a text file ("..." on a line), e.g. the names, subjects
// and letters of a realm the turn builder installed: texts that come from
// the data.
inline std::vector<std::string> QuotedTexts(const std::string& file) {
  std::vector<std::string> out;
  for (size_t at = file.find('"'); at != std::string::npos; at = file.find('"', at + 1)) {
    const size_t end = file.find_first_of("\"\n", at + 1);
    if (end == std::string::npos || file[end] != '"') continue;
    if (end > at + 1) out.push_back(file.substr(at + 1, end - at - 1));
    at = end;
  }
  return out;
}

// "" when the text may stand in the English game; else what gives it away
// as German written past the catalog. Texts of the data (names, letters of
// other lords) count as the data's, wherever they stand in the text.
inline std::string GermanPastCatalog(const std::string& drawn, const std::vector<std::string>& data = {}) {
  std::string rest = WithoutCatalogTexts(drawn);
  for (const std::string& d : data) {
    if (d.empty()) continue;
    for (size_t at = rest.find(d); at != std::string::npos; at = rest.find(d, at + 1))
      for (size_t i = at; i < at + d.size(); ++i) rest[i] = '\x01';
  }
  std::string word;
  auto check_word = [&]() -> std::string {
    std::string found;
    if (GermanOnlyWords().count(word)) found = "the German word \"" + word + "\"";
    // The parts of a joined word count alone as well ("Modem-Optionen").
    for (size_t from = 0, dash; found.empty() && (dash = word.find('-', from)) != std::string::npos; from = dash + 1) {
      const std::string left = word.substr(from, dash - from), right = word.substr(dash + 1);
      if (GermanOnlyWords().count(left)) found = "the German word \"" + left + "\"";
      else if (right.find('-') == std::string::npos && GermanOnlyWords().count(right))
        found = "the German word \"" + right + "\"";
    }
    for (unsigned char c : word)
      if (found.empty() && IsGermanLetter(c)) found = "the German letter in \"" + word + "\"";
    word.clear();
    return found;
  };
  for (size_t i = 0; i <= rest.size(); ++i) {
    const unsigned char c = i < rest.size() ? (unsigned char)rest[i] : 0;
    // A hyphen inside a word keeps it whole ("Mail-Editor").
    if (IsLatinLetter(c) || (c == '-' && !word.empty() && i + 1 < rest.size() && IsLatinLetter(rest[i + 1]))) {
      word += (char)c;
      continue;
    }
    if (std::string found = check_word(); !found.empty()) return found;
  }
  return "";
}

// A catalog of one text (IFF FORM CTLG, one STRS entry), for the texts that
// must reach the player through the catalog.
inline std::vector<uint8_t> OneTextCatalog(uint32_t id, const std::string& text) {
  auto be32 = [](std::vector<uint8_t>& v, uint32_t x) {
    for (int k = 3; k >= 0; --k) v.push_back(static_cast<uint8_t>(x >> (8 * k)));
  };
  std::vector<uint8_t> strs;
  be32(strs, id);
  be32(strs, static_cast<uint32_t>(text.size() + 1));
  strs.insert(strs.end(), text.begin(), text.end());
  do strs.push_back(0); while (strs.size() % 4);
  std::vector<uint8_t> out = {'F', 'O', 'R', 'M'};
  be32(out, static_cast<uint32_t>(4 + 8 + strs.size()));
  for (char c : std::string("CTLGSTRS")) out.push_back(static_cast<uint8_t>(c));
  be32(out, static_cast<uint32_t>(strs.size()));
  out.insert(out.end(), strs.begin(), strs.end());
  return out;
}

// Records every text the text layer draws while it lives.
class DrawnTextRecorder {
 public:
  DrawnTextRecorder() { SetDrawnTextHook(&DrawnTextRecorder::Heard, this); }
  ~DrawnTextRecorder() { SetDrawnTextHook(nullptr, nullptr); }
  DrawnTextRecorder(const DrawnTextRecorder&) = delete;
  DrawnTextRecorder& operator=(const DrawnTextRecorder&) = delete;

  std::vector<std::string> Texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }
  // Every drawn text that bypassed the catalog, with the reason, one a line
  // (data: the texts of the data the run showed, see GermanPastCatalog).
  std::string PastCatalog(const std::vector<std::string>& data = {}) {
    std::string out;
    for (const std::string& t : Texts())
      if (std::string why = GermanPastCatalog(t, data); !why.empty()) out += "\"" + t + "\": " + why + "\n";
    return out;
  }
  // True when a drawn text holds needle.
  bool Drew(const std::string& needle) {
    for (const std::string& t : Texts())
      if (t.find(needle) != std::string::npos) return true;
    return false;
  }

 private:
  static void Heard(const char* text, void* self) {
    auto* r = static_cast<DrawnTextRecorder*>(self);
    std::lock_guard<std::mutex> lock(r->mutex_);
    if (r->seen_.insert(text).second) r->texts_.push_back(text);
  }
  std::mutex mutex_;
  std::set<std::string> seen_;
  std::vector<std::string> texts_;
};

}  // namespace qoe_test
