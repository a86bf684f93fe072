// Whether a text the player reads came through the catalog: every text a
// screen draws is either a built-in catalog text (whole, or as a format
// whose conversions were filled in), a sum of such texts, or comes from the
// data (names of realms, towns, lords and figures, numbers). A text drawn in
// the English game that, once every catalog text in it is taken out, still
// holds a German letter (umlaut, sharp s) or a word only German has, was
// written into the code past the catalog; so was a built-in English text
// that holds one. Header only: the test programs that use it link the
// system layer. The recorder listens to the drawn-text watch
// (platform/drawntext.h) for a test's run.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/drawntext.h"
#include "routinen/system/catalog.h"

namespace qoe_test {

// Words of German sentences that English texts never use, in lower case:
// a word matches in any case ("Sie", "SIE"). Words that are English too
// ("die", "den", "hat", "gut", "pass") are not listed.
inline const std::set<std::string>& GermanOnlyWords() {
  static const std::set<std::string> words = {
      "sie",        "der",         "und",        "nicht",      "keine",      "kein",       "ist",
      "wird",       "werden",      "haben",      "ihre",       "ihrer",      "ihren",      "eine",
      "einen",      "mit",         "auf",        "noch",       "kann",       "oder",       "diese",
      "dieses",     "diesen",      "dieser",     "wollen",     "schicken",   "schreiben",  "lesen",
      "anzahl",     "warentyp",    "truhe",      "gefunden",   "vorhanden",  "kategorien", "botschaften",
      "schiff",     "schiffe",     "heissen",    "zukunft",    "bitte",      "leider",     "soviele",
      "rohstoffe",  "wirklich",    "vertrag",    "reichsdaten", "eigentlich", "optionen",  "karawanen",
      "spielername", "spielernamen", "einheite", "namen",      "zuweisen",   "gekapert",   "versenkt",
      "angegriffen", "verteidigt", "wir",        "mein",       "meine",      "sind",       "zu",
      "im",         "nach",        "legende",    "kriegsschiff", "kriegsschiffe", "boten", "ausschau",
      "halten",     "weg",         "direkt",     "mail-editor", "erledigt",  "gelassen",   "korn",
      "steuern",    "forschung",   "nachbarn",   "keiner",     "werter",     "spezialist", "eure",
      "euer",       "eurer",       "euren",      "euch",       "edler",      "gruss",      "aus",
      "uns",        "lasst",       "frieden",    "naechstes",  "konnte",     "fenster",    "oeffnen",
      "fehlgeschlagen", "abwracken", "heer",     "grenze",     "schutz",     "biete",      "gegen",
      "fremde",     "fremder",     "volk",       "menschen",   "ihr",        "ihn",        "sein",
      "das",        "ein",         "einer",      "vom",        "sich",       "nur",        "wurde",
  };
  return words;
}

inline bool IsLatinLetter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c != 0xD7 && c != 0xF7);
}

// A word in lower case (Latin-1: the accented capitals too).
inline std::string Lowered(const std::string& word) {
  std::string out = word;
  for (char& ch : out) {
    const unsigned char c = (unsigned char)ch;
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) ch = (char)(c + 0x20);
  }
  return out;
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

// "" when the text reads as English; else what gives it away as German:
// an umlaut, a sharp s, or a word only German has, in any case. Joined
// words count by their parts as well ("Modem-Optionen").
inline std::string GermanIn(const std::string& text) {
  std::string word;
  auto check_word = [&]() -> std::string {
    std::string found;
    const std::string low = Lowered(word);
    if (GermanOnlyWords().count(low)) found = "the German word \"" + word + "\"";
    for (size_t from = 0, dash; found.empty() && (dash = low.find('-', from)) != std::string::npos; from = dash + 1) {
      const std::string left = low.substr(from, dash - from), right = low.substr(dash + 1);
      if (GermanOnlyWords().count(left)) found = "the German word \"" + word.substr(from, dash - from) + "\"";
      else if (right.find('-') == std::string::npos && GermanOnlyWords().count(right))
        found = "the German word \"" + word.substr(dash + 1) + "\"";
    }
    for (unsigned char c : word)
      if (found.empty() && IsGermanLetter(c)) found = "the German letter in \"" + word + "\"";
    word.clear();
    return found;
  };
  for (size_t i = 0; i <= text.size(); ++i) {
    const unsigned char c = i < text.size() ? (unsigned char)text[i] : 0;
    // A hyphen inside a word keeps it whole ("Mail-Editor"); digits do too:
    // letters run into digits ("s23zu7kh", a typed name) are no word.
    if (IsLatinLetter(c) || (c >= '0' && c <= '9') ||
        (c == '-' && !word.empty() && i + 1 < text.size() && IsLatinLetter(text[i + 1]))) {
      word += (char)c;
      continue;
    }
    if (std::string found = check_word(); !found.empty()) return found;
  }
  return "";
}

// "" when the text may stand in the English game; else what gives it away
// as German written past the catalog. Names of the data (realms, towns,
// lords, figures) count as the data's, wherever they stand in the text.
inline std::string GermanPastCatalog(const std::string& drawn, const std::vector<std::string>& data = {}) {
  std::string rest = WithoutCatalogTexts(drawn);
  for (const std::string& d : data) {
    if (d.empty()) continue;
    for (size_t at = rest.find(d); at != std::string::npos; at = rest.find(d, at + 1))
      for (size_t i = at; i < at + d.size(); ++i) rest[i] = '\x01';
  }
  return GermanIn(rest);
}

// The built-in English texts that read as German, one a line ("id: text:
// why"), in the program's table and the story table; `allowed` lists the
// program texts that keep a German word as the game has always shown them.
inline std::string GermanBuiltInTexts(const std::set<uint32_t>& allowed = {}) {
  std::string out;
  for (uint32_t id = 0; id < CATALOG_STRING_COUNT; ++id) {
    const char* text = CatalogStrings[id].text;
    if (!text || allowed.count(id)) continue;
    if (std::string why = GermanIn(text); !why.empty())
      out += std::to_string(id) + ": \"" + text + "\": " + why + "\n";
  }
  for (uint32_t id = 0; id < STORY_STRING_COUNT; ++id) {
    const char* text = StoryStrings[id].text;
    if (!text) continue;
    if (std::string why = GermanIn(text); !why.empty())
      out += "story " + std::to_string(id) + ": " + why + "\n";
  }
  return out;
}

// The keys of a realm file whose quoted values are names (of the own lord,
// the other lords, towns, armies, specialists, the god, map symbols): the
// data's own words. Every other quoted value (a letter's subject and text)
// is a text the player reads.
inline bool IsRealmNameKey(const std::string& key) {
  return key == "name" || key == "sender" || key == "ArmyName" || key == "god_name" || key == "symbol";
}

// The quoted values of a realm file (key="value"), names (IsRealmNameKey)
// or the other texts.
inline std::vector<std::string> RealmQuotedValues(const std::string& file, bool names) {
  std::vector<std::string> out;
  for (size_t at = file.find("=\""); at != std::string::npos; at = file.find("=\"", at + 1)) {
    size_t key_start = at;
    while (key_start > 0 && file[key_start - 1] != ' ' && file[key_start - 1] != '\n') --key_start;
    const std::string key = file.substr(key_start, at - key_start);
    const size_t end = file.find_first_of("\"\n", at + 2);
    if (end == std::string::npos || file[end] != '"') continue;
    if (IsRealmNameKey(key) == names && end > at + 2) {
      // A realm writes a line break as a backslash and n.
      std::string value = file.substr(at + 2, end - at - 2);
      for (size_t nl = value.find("\\n"); nl != std::string::npos; nl = value.find("\\n", nl + 1))
        value.replace(nl, 2, "\n");
      out.push_back(value);
    }
    at = end;
  }
  return out;
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

// "" when the content of an input field may stand in the English game: the
// player's typing is the player's own (a walk of random letters spells "im"
// or "mit"), so only an umlaut or a sharp s, which no one types into the
// English game's fields, gives away a German text the field held.
inline std::string GermanInTyped(const std::string& typed) {
  for (unsigned char c : typed)
    if (IsGermanLetter(c)) return "the German letter in the typed text";
  return "";
}

// The texts of a file that QOE_DRAWN_TEXTS names: NUL-ended, a typed one
// (an input field's content) starting with the byte 1.
struct DrawnTexts {
  std::vector<std::string> shown, typed;
};
inline DrawnTexts SplitDrawnTexts(const std::string& file) {
  DrawnTexts out;
  for (size_t from = 0, end; (end = file.find('\0', from)) != std::string::npos; from = end + 1) {
    const std::string text = file.substr(from, end - from);
    if (!text.empty() && text[0] == '\x01') out.typed.push_back(text.substr(1));
    else out.shown.push_back(text);
  }
  return out;
}

// Records every text shown while it lives (the typed ones apart as well).
class DrawnTextRecorder {
 public:
  DrawnTextRecorder() { SetDrawnTextHook(&DrawnTextRecorder::Heard, this); }
  ~DrawnTextRecorder() { SetDrawnTextHook(nullptr, nullptr); }
  DrawnTextRecorder(const DrawnTextRecorder&) = delete;
  DrawnTextRecorder& operator=(const DrawnTextRecorder&) = delete;

  // Every text, shown or typed, in the order first heard.
  std::vector<std::string> Texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }
  // The contents of input fields the player typed in.
  std::vector<std::string> Typed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return typed_;
  }
  // Every text that bypassed the catalog, with the reason, one a line
  // (data: the names of the data the run showed, see GermanPastCatalog).
  std::string PastCatalog(const std::vector<std::string>& data = {}) {
    std::string out;
    std::vector<std::string> shown, typed;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      shown = shown_;
      typed = typed_;
    }
    for (const std::string& t : shown)
      if (std::string why = GermanPastCatalog(t, data); !why.empty()) out += "\"" + t + "\": " + why + "\n";
    for (const std::string& t : typed)
      if (std::string why = GermanInTyped(t); !why.empty()) out += "typed \"" + t + "\": " + why + "\n";
    return out;
  }
  // True when a text shown or typed holds needle.
  bool Drew(const std::string& needle) {
    for (const std::string& t : Texts())
      if (t.find(needle) != std::string::npos) return true;
    return false;
  }

 private:
  static void Heard(const char* text, uint32_t kind, void* self) {
    auto* r = static_cast<DrawnTextRecorder*>(self);
    std::lock_guard<std::mutex> lock(r->mutex_);
    const bool typed = kind == DRAWN_TYPED;
    if (!(typed ? r->seenTyped_ : r->seen_).insert(text).second) return;
    (typed ? r->typed_ : r->shown_).push_back(text);
    if (std::find(r->texts_.begin(), r->texts_.end(), text) == r->texts_.end()) r->texts_.push_back(text);
  }
  std::mutex mutex_;
  std::set<std::string> seen_, seenTyped_;
  std::vector<std::string> texts_, shown_, typed_;
};

}  // namespace qoe_test
