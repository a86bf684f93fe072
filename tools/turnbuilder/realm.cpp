// The realm description reader: one statement a line, every field named as
// in the codec tables (routinen/gamedata/codecs.h), every value checked.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/codecs.h"
#include "routinen/gamedata/entities.h"
#include "routinen/gamedata/towns.h"
#include "routinen/gamedata/turns.h"
#include "routinen/system/byteorder.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace {

const uint32_t kWorldX = 12800, kWorldY = 6400;
const uint32_t kNobody = 0xFFFFFFFFu;
const uint32_t kMaxCells = 1u << 20;   // hexes one description may give
const uint32_t kMaxText = 1u << 16;    // bytes of a letter's text

struct Value {
  bool is_text = false;
  std::string text;
  std::vector<int64_t> nums;
};
struct Token {
  std::string key;
  Value value;
};

// What a keyword makes: a fixed chunk's fields, a record of a record chunk,
// or a statement of its own.
enum StatementKind { ST_FIXED, ST_RECORD, ST_OWN };
struct Keyword {
  const char* word;
  StatementKind kind;
  const char* chunk;
  const RecordCodec* codec;
};
const Keyword kKeywords[] = {
    {"info", ST_FIXED, "INFO", &InfoCodec},     {"korn", ST_FIXED, "KORN", &KornCodec},
    {"land", ST_FIXED, "LAND", &LandCodec},     {"taxes", ST_FIXED, "TAXE", &TaxeCodec},
    {"research", ST_FIXED, "FORS", &ForsCodec}, {"buildings", ST_FIXED, "GEBA", &GebaHeadCodec},
    {"town", ST_RECORD, "TOWN", &TownRecordCodec},
    {"building", ST_RECORD, "GEBA", &BaustellenDataCodec},
    {"order", ST_RECORD, "BAUE", &BaustellenDataCodec},
    {"figure", ST_RECORD, "MOVE", &FigurRecordCodec},
    {"ship", ST_RECORD, "SHIP", &SchiffseintragCodec},
    {"goods", ST_RECORD, "WARE", &WarenListenEntryCodec},
    {"contract", ST_RECORD, "VERT", &VertragsEintragCodec},
    {"herb", ST_RECORD, "HERB", &KrautEintragCodec},
    {"specialist", ST_RECORD, "SPEZ", &SpezialistEintragCodec},
    {"battle", ST_RECORD, "KRIG", &KriegsEintragCodec},
    {"lord", ST_RECORD, "ANTW", &SpielerEintragCodec},
    {"army", ST_RECORD, "ARMY", &ArmyCodec},
    {"part", ST_RECORD, "AREN", &ArmeeTypCodec},
    {"saboteur", ST_RECORD, "SABO", &SaboteurCodec},
    {"player", ST_OWN, nullptr, nullptr},  {"turn", ST_OWN, nullptr, nullptr},
    {"map", ST_OWN, nullptr, nullptr},     {"row", ST_OWN, nullptr, nullptr},
    {"legend", ST_OWN, nullptr, nullptr},  {"owner", ST_OWN, nullptr, nullptr},
    {"field", ST_OWN, nullptr, nullptr},   {"dungeon", ST_OWN, nullptr, nullptr},
    {"start", ST_OWN, nullptr, nullptr},   {"letter", ST_OWN, nullptr, nullptr},
    {"reject", ST_OWN, nullptr, nullptr},  {"remove", ST_OWN, nullptr, nullptr},
};

const Keyword* FindKeyword(const std::string& w) {
  for (const Keyword& k : kKeywords)
    if (w == k.word) return &k;
  return nullptr;
}

// Value ranges beyond the field's width, by "codec.field".
struct Range {
  const char* field;
  int64_t lo, hi;
};
const Range kRanges[] = {
    {"KORN.quarter", 0, 3},           {"KORN.weather", 0, 6},
    {"KORN.harvest_problem", 0, 3},   {"LAND.god", 0, 10},
    {"FORS.research", 0, 7},          {"FORS.alchemy", 0, 7},
    {"FORS.astronomy", 0, 7},         {"FORS.art_of_battle", 0, 7},
    {"FORS.biology", 0, 7},           {"FORS.healing", 0, 7},
    {"FORS.technics", 0, 7},          {"FORS.theology", 0, 7},
    {"TAXE.base_tax_level", 0, 100},  {"TAXE.judicial_setting", 0, 3},
    {"TownRecord.level", 1, 4},       {"BaustellenData.building", 0, 234},
    {"BaustellenData.quarter", 0, 3}, {"FigurRecord.type", 0, 20},
    {"FigurRecord.state", 0, 20},     {"ArmeeTyp.Typ", 1, 3},
    {"KrautEintrag.herb", 56, 73},    {"WarenListenEntry.goods", 0, 115},
    {"VertragsEintrag.goods", 0, 115}, {"SpezialistEintrag.state", 0, 5},
};

// Terrain graphics by symbol; a description may add its own with legend.
struct Legend {
  char symbol;
  uint16_t graphic;
};
const Legend kLegend[] = {{'.', 4}, {'~', 23}, {'^', 5}, {'A', 9}, {'n', 10}, {'f', 17},
                          {'F', 6}, {'j', 8},  {'s', 14}, {'d', 24}, {'T', 1}};

// Terrain graphics of town hexes (terrain type 11).
bool IsTownGraphic(uint32_t g) {
  return g == 1 || g == 2 || g == 3 || g == 7 || (g >= 31 && g <= 34) || (g >= 87 && g <= 90);
}


class Parser {
 public:
  Parser(Realm* realm, const std::string& file, bool changes) : r_(realm), file_(file), changes_(changes) {}

  bool Run(const std::string& text) {
    if (!changes_) {
      *r_ = Realm();
      r_->file = file_;
      for (const Keyword& k : kKeywords)
        if (k.kind == ST_FIXED) r_->fixed[k.chunk] = NewFixed(*k.codec, k.chunk);
      // IMAP is a byte chunk read field by field (docs/turns.md).
      Bytes im(IMAP_SIZE, 0);
      std::memcpy(im.data(), "IMAPV001", 8);
      uint32_t len = IMAP_SIZE - 12;
      std::memcpy(im.data() + 8, &len, 4);
      PutBE32(&im[IMAP_DUNGEON_X], kNobody);
      PutBE32(&im[IMAP_DUNGEON_Y], kNobody);
      r_->fixed["IMAP"] = im;
    } else {
      // The turn this change list follows: its inhabitants grow by the new
      // quarter's people.
      prev_turn_ = TurnKey();
      prev_inhabitants_ = Get(LandCodec, r_->fixed["LAND"], "inhabitants");
      prev_treasury_ = Get(LandCodec, r_->fixed["LAND"], "treasury");
      r_->letters.clear();
      r_->records["KRIG"].clear();
      // The dead of the battles belong to their turn as the battles do.
      r_->given.erase("LAND.killed");
    }
    for (const Legend& l : kLegend) legend_[l.symbol] = l.graphic;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
      line_++;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!Statement(line)) return false;
    }
    if (!EndMap()) return false;
    return Finish();
  }

  std::string error;

 private:
  bool Fail(const std::string& msg, uint32_t at = 0) {
    error = file_ + ":" + std::to_string(at ? at : line_) + ": " + msg;
    return false;
  }

  static Bytes NewFixed(const RecordCodec& c, const char* id) {
    Bytes b(c.size, 0);
    std::memcpy(b.data(), id, 4);
    std::memcpy(b.data() + 4, "V001", 4);
    uint32_t len = c.size - 12;
    std::memcpy(b.data() + 8, &len, 4);
    return b;
  }

  // ---- tokens ----
  bool Tokenize(const std::string& s, size_t pos, std::vector<Token>* out) {
    while (true) {
      while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) pos++;
      if (pos >= s.size()) return true;
      size_t eq = pos;
      while (eq < s.size() && s[eq] != '=' && s[eq] != ' ' && s[eq] != '\t') eq++;
      if (eq >= s.size() || s[eq] != '=' || eq == pos) return Fail("expected key=value at \"" + s.substr(pos, 20) + "\"");
      Token t;
      t.key = s.substr(pos, eq - pos);
      pos = eq + 1;
      if (pos < s.size() && s[pos] == '"') {
        t.value.is_text = true;
        pos++;
        while (true) {
          if (pos >= s.size()) return Fail("text of " + t.key + " has no closing quote");
          char c = s[pos++];
          if (c == '"') break;
          if (c == '\\') {
            if (pos >= s.size()) return Fail("text of " + t.key + " ends in a backslash");
            char e = s[pos++];
            if (e == 'n') c = '\n';
            else if (e == '"' || e == '\\') c = e;
            else return Fail(std::string("unknown escape \\") + e + " in " + t.key);
          }
          t.value.text.push_back(c);
        }
        if (pos < s.size() && s[pos] != ' ' && s[pos] != '\t') return Fail("blank expected after the text of " + t.key);
      } else {
        size_t end = pos;
        while (end < s.size() && s[end] != ' ' && s[end] != '\t') end++;
        std::string v = s.substr(pos, end - pos);
        pos = end;
        if (v.empty()) return Fail("no value for " + t.key);
        size_t a = 0;
        while (a <= v.size()) {
          size_t b = v.find(',', a);
          if (b == std::string::npos) b = v.size();
          int64_t n;
          if (!Number(v.substr(a, b - a), &n)) return Fail("bad number \"" + v.substr(a, b - a) + "\" for " + t.key);
          t.value.nums.push_back(n);
          a = b + 1;
        }
      }
      for (const Token& o : *out)
        if (o.key == t.key) return Fail("key " + t.key + " given twice");
      out->push_back(std::move(t));
    }
  }

  static bool Number(const std::string& s, int64_t* out) {
    if (s.empty() || s.size() > 20) return false;
    size_t i = 0;
    bool neg = s[0] == '-';
    if (neg) i++;
    int base = 10;
    if (s.size() > i + 2 && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
      base = 16;
      i += 2;
    }
    if (i >= s.size()) return false;
    int64_t v = 0;
    for (; i < s.size(); i++) {
      int d;
      char c = s[i];
      if (c >= '0' && c <= '9') d = c - '0';
      else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
      else return false;
      v = v * base + d;
      if (v > 0xFFFFFFFFLL) return false;
    }
    *out = neg ? -v : v;
    return true;
  }

  // ---- codec fields ----
  bool InRange(const RecordCodec& c, const CodecField& f, int64_t v, const std::string& key) {
    int64_t lo = 0, hi = 0;
    switch (f.type) {
      case CT_U8: case CT_BYTES: hi = 255; break;
      case CT_I8: lo = -128; hi = 127; break;
      case CT_U16: hi = 0xFFFF; break;
      case CT_I16: lo = -32768; hi = 32767; break;
      case CT_U32: hi = 0xFFFFFFFFLL; break;
      case CT_I32: lo = -2147483648LL; hi = 2147483647; break;
    }
    std::string name = f.name;
    if (name == "x" || name == "X" || name == "start_x") hi = kWorldX - 1;
    if (name == "y" || name == "Y" || name == "start_y") hi = kWorldY - 1;
    std::string full = std::string(c.name) + "." + f.name;
    for (const Range& r : kRanges)
      if (full == r.field) { lo = r.lo; hi = r.hi; }
    if (v < lo || v > hi)
      return Fail(key + "=" + std::to_string(v) + " is out of range (" + std::to_string(lo) + ".." +
                  std::to_string(hi) + ")");
    return true;
  }

  // Sets one key ("name", "name[2]", "cargo[1].type") of a record at rec.
  bool SetField(const RecordCodec& c, uint8_t* rec, const std::string& key, const std::string& path,
                const Value& v) {
    std::string name = path, rest;
    int64_t index = -1;
    size_t dot = path.find('.');
    if (dot != std::string::npos) {
      name = path.substr(0, dot);
      rest = path.substr(dot + 1);
    }
    size_t br = name.find('[');
    if (br != std::string::npos) {
      if (name.back() != ']' || !Number(name.substr(br + 1, name.size() - br - 2), &index) || index < 0)
        return Fail("bad index in key " + key);
      name = name.substr(0, br);
    }
    const CodecField* f = FindCodecField(c, name.c_str());
    if (!f) return Fail("unknown key " + key + " for " + c.name);
    if (index >= f->count) return Fail("index of " + key + " passes the field's " + std::to_string(f->count) + " elements");
    if (f->type == CT_RECORD) {
      if (rest.empty()) return Fail("key " + key + " needs a field of " + f->sub->name + " after a dot");
      if (index < 0 && f->count > 1) return Fail("key " + key + " needs an index");
      return SetField(*f->sub, rec + f->off + (index < 0 ? 0 : index) * f->sub->size, key, rest, v);
    }
    if (!rest.empty()) return Fail("unknown key " + key + " for " + c.name);
    if (f->type == CT_TEXT) {
      if (!v.is_text || index >= 0) return Fail(key + " takes a text in quotes");
      if (v.text.size() > (size_t)f->count - 1)
        return Fail(key + " is longer than its field (" + std::to_string(f->count - 1) + " characters at most)");
      std::memset(rec + f->off, 0, f->count);
      std::memcpy(rec + f->off, v.text.data(), v.text.size());
      return true;
    }
    if (v.is_text) return Fail(key + " takes a number");
    if (index >= 0 && v.nums.size() != 1) return Fail(key + " takes one number");
    if (index < 0 && v.nums.size() > f->count)
      return Fail(key + " has " + std::to_string(v.nums.size()) + " values, the field " + std::to_string(f->count));
    for (size_t k = 0; k < v.nums.size(); k++) {
      if (!InRange(c, *f, v.nums[k], key)) return false;
      PutCodecNumber(*f, rec, (uint32_t)(index >= 0 ? index : k), (uint32_t)v.nums[k], ORDER_HOST);
    }
    return true;
  }

  uint32_t Get(const RecordCodec& c, const Bytes& rec, const char* name) {
    return GetCodecNumber(*FindCodecField(c, name), rec.data(), 0, ORDER_HOST);
  }
  void Put(const RecordCodec& c, Bytes& rec, const char* name, uint32_t v) {
    PutCodecNumber(*FindCodecField(c, name), rec.data(), 0, v, ORDER_HOST);
  }
  std::string Text(const RecordCodec& c, const Bytes& rec, const char* name) {
    const CodecField* f = FindCodecField(c, name);
    return std::string(reinterpret_cast<const char*>(rec.data() + f->off), strnlen(reinterpret_cast<const char*>(rec.data() + f->off), f->count));
  }

  // ---- statements ----
  bool Statement(const std::string& s) {
    size_t p = 0;
    while (p < s.size() && (s[p] == ' ' || s[p] == '\t')) p++;
    if (p >= s.size() || s[p] == '#') return true;
    size_t e = p;
    while (e < s.size() && s[e] != ' ' && s[e] != '\t') e++;
    std::string word = s.substr(p, e - p);
    const Keyword* k = FindKeyword(word);
    if (!k) return Fail("unknown statement \"" + word + "\"");
    if (word == "row") return Row(s, e);
    if (!EndMap()) return false;
    std::vector<Token> toks;
    if (!Tokenize(s, e, &toks)) return false;
    if (!have_player_ && word != "player" && !changes_) return Fail("the description must begin with a player line");
    if (word == "player") return Player(toks);
    if (word == "remove") return Remove(toks);
    if (k->kind == ST_FIXED) return Fixed(*k, toks);
    if (k->kind == ST_RECORD) return Record(*k, toks);
    if (word == "turn") return Turn(toks);
    if (word == "map") return Map(toks);
    if (word == "legend") return LegendLine(toks);
    if (word == "owner") return Owner(toks);
    if (word == "field") return Field(toks);
    if (word == "dungeon") return Dungeon(toks);
    if (word == "start") return Start(toks);
    if (word == "letter") return Letter(toks);
    return Reject(toks);
  }

  // Reads key=value pairs of an own statement into numbers / texts.
  bool Args(const std::vector<Token>& toks, const std::vector<std::string>& allowed,
            const std::vector<std::string>& needed, std::map<std::string, Value>* out) {
    for (const Token& t : toks) {
      bool ok = false;
      for (const std::string& a : allowed) ok |= a == t.key;
      if (!ok) return Fail("unknown key " + t.key);
      (*out)[t.key] = t.value;
    }
    for (const std::string& n : needed)
      if (!out->count(n)) return Fail("key " + n + " is missing");
    return true;
  }
  bool Num(std::map<std::string, Value>& a, const std::string& key, int64_t lo, int64_t hi, int64_t* out) {
    const Value& v = a[key];
    if (v.is_text || v.nums.size() != 1) return Fail(key + " takes one number");
    if (v.nums[0] < lo || v.nums[0] > hi)
      return Fail(key + "=" + std::to_string(v.nums[0]) + " is out of range (" + std::to_string(lo) + ".." +
                  std::to_string(hi) + ")");
    *out = v.nums[0];
    return true;
  }
  bool Str(std::map<std::string, Value>& a, const std::string& key, size_t max, std::string* out) {
    const Value& v = a[key];
    if (!v.is_text) return Fail(key + " takes a text in quotes");
    if (v.text.size() > max) return Fail(key + " is longer than its field (" + std::to_string(max) + " characters at most)");
    *out = v.text;
    return true;
  }

  bool Player(const std::vector<Token>& toks) {
    if (have_player_ || changes_) return Fail("a second player line");
    std::map<std::string, Value> a;
    int64_t id;
    if (!Args(toks, {"id", "name"}, {"id", "name"}, &a) || !Num(a, "id", 1, 0xFFFFFFFE, &id) ||
        !Str(a, "name", 39, &r_->player_name))
      return false;
    r_->player_id = (uint32_t)id;
    Put(InfoCodec, r_->fixed["INFO"], "player_id", r_->player_id);
    have_player_ = true;
    return true;
  }

  bool Turn(const std::vector<Token>& toks) {
    std::map<std::string, Value> a;
    int64_t year, quarter;
    if (!Args(toks, {"year", "quarter"}, {"year", "quarter"}, &a) || !Num(a, "year", 0, 0xFFFFFFFF, &year) ||
        !Num(a, "quarter", 0, 3, &quarter))
      return false;
    Put(KornCodec, r_->fixed["KORN"], "year", (uint32_t)year);
    Put(KornCodec, r_->fixed["KORN"], "quarter", (uint32_t)quarter);
    have_turn_ = true;
    return true;
  }

  bool Fixed(const Keyword& k, const std::vector<Token>& toks) {
    Bytes& b = r_->fixed[k.chunk];
    for (const Token& t : toks) {
      if (!std::strcmp(k.chunk, "INFO") && (t.key == "player_id" || t.key == "chunk_mask" || t.key == "checksum"))
        return Fail(t.key + " is set by the builder");
      if (!SetField(*k.codec, b.data(), t.key, t.key, t.value)) return false;
      r_->given[std::string(k.chunk) + "." + t.key] = line_;
      given_now_.insert(std::string(k.chunk) + "." + t.key);
    }
    if (!std::strcmp(k.chunk, "KORN")) have_turn_ = true;
    return true;
  }

  // The record's key among its kind (empty: any number of equal records).
  std::string Key(const std::string& chunk, const Bytes& raw) {
    if (chunk == "TOWN") return std::to_string(Get(TownRecordCodec, raw, "town_id"));
    if (chunk == "MOVE")
      return std::to_string(Get(FigurRecordCodec, raw, "owner")) + "/" + std::to_string(Get(FigurRecordCodec, raw, "number"));
    if (chunk == "SHIP") return std::to_string(Get(SchiffseintragCodec, raw, "ship_id"));
    if (chunk == "ANTW") return std::to_string(Get(SpielerEintragCodec, raw, "id"));
    if (chunk == "GEBA")
      return std::to_string(Get(BaustellenDataCodec, raw, "building")) + "@" +
             std::to_string(Get(BaustellenDataCodec, raw, "town"));
    if (chunk == "ARMY") return Text(ArmyCodec, raw, "ArmyName");
    return "";
  }

  bool Record(const Keyword& k, const std::vector<Token>& toks) {
    RealmRecord rec{Bytes(k.codec->size, 0), line_, {}};
    std::string chunk = k.chunk;
    // The own player owns what the description does not give an owner.
    if (chunk == "MOVE") Put(FigurRecordCodec, rec.raw, "owner", r_->player_id);
    if (chunk == "ARMY") Put(ArmyCodec, rec.raw, "Besitzer", r_->player_id);
    if (chunk == "WARE") Put(WarenListenEntryCodec, rec.raw, "owner", r_->player_id);
    for (const Token& t : toks) {
      if (t.key == "ArmeeTypAnzahl" || t.key == "SaboteurAnzahl") return Fail(t.key + " is counted by the builder");
      if (!SetField(*k.codec, rec.raw.data(), t.key, t.key, t.value)) return false;
      rec.keys.insert(t.key);
    }
    if (chunk == "AREN" || chunk == "SABO") {
      if (r_->armies.empty()) return Fail(std::string(k.word) + " before any army");
      RealmArmy& a = r_->armies.back();
      if (chunk == "AREN") {
        a.parts.push_back({rec, {}});
      } else {
        if (a.parts.empty()) return Fail("saboteur before any part of the army");
        a.parts.back().saboteurs.push_back(rec);
      }
      return true;
    }
    if (chunk == "TOWN" && Get(TownRecordCodec, rec.raw, "level") == 0) Put(TownRecordCodec, rec.raw, "level", 1);
    if (chunk == "TOWN") towns_now_.insert(Get(TownRecordCodec, rec.raw, "town_id"));
    std::string key = Key(chunk, rec.raw);
    if (chunk == "ARMY") {
      if (key.empty()) return Fail("an army needs its ArmyName");
      for (size_t i = 0; i < r_->armies.size(); i++) {
        if (Key("ARMY", r_->armies[i].head.raw) == key ||
            (Get(ArmyCodec, rec.raw, "ArmeeID") && Get(ArmyCodec, rec.raw, "ArmeeID") == Get(ArmyCodec, r_->armies[i].head.raw, "ArmeeID"))) {
          if (!changes_) return Fail("army \"" + key + "\" or its ArmeeID given twice (line " + std::to_string(r_->armies[i].head.line) + ")");
          r_->armies.erase(r_->armies.begin() + i);
          break;
        }
      }
      RealmArmy a;
      a.head = rec;
      r_->armies.push_back(a);
      return true;
    }
    if (chunk == "ANTW" && Get(SpielerEintragCodec, rec.raw, "id") == r_->player_id)
      return Fail("a lord with the own player's ID");
    std::vector<RealmRecord>& list = r_->records[chunk];
    if (!key.empty()) {
      for (size_t i = 0; i < list.size(); i++) {
        if (Key(chunk, list[i].raw) != key) continue;
        if (!changes_) return Fail(std::string(k.word) + " " + key + " given twice (line " + std::to_string(list[i].line) + ")");
        list[i] = rec;
        return true;
      }
    }
    list.push_back(rec);
    return true;
  }

  bool Remove(const std::vector<Token>& toks) {
    if (toks.empty() || toks[0].key != "what" || !toks[0].value.is_text) return Fail("remove needs what=\"<statement>\" first");
    const Keyword* k = FindKeyword(toks[0].value.text);
    if (!k || k->kind != ST_RECORD || !std::strcmp(k->chunk, "AREN") || !std::strcmp(k->chunk, "SABO"))
      return Fail("remove works on records, not on \"" + toks[0].value.text + "\"");
    Bytes probe(k->codec->size, 0);
    std::vector<Token> rest(toks.begin() + 1, toks.end());
    if (rest.empty()) return Fail("remove needs the fields to match");
    for (const Token& t : rest)
      if (!SetField(*k->codec, probe.data(), t.key, t.key, t.value)) return false;
    // A record matches when every given field holds the given value.
    auto matches = [&](const Bytes& raw) {
      for (const Token& t : rest) {
        const CodecField* f = FindCodecField(*k->codec, t.key.c_str());
        if (!f || std::memcmp(raw.data() + f->off, probe.data() + f->off, CodecFieldSize(*f)) != 0) return false;
      }
      return true;
    };
    size_t removed = 0;
    if (!std::strcmp(k->chunk, "ARMY")) {
      for (size_t i = r_->armies.size(); i-- > 0;)
        if (matches(r_->armies[i].head.raw)) { r_->armies.erase(r_->armies.begin() + i); removed++; }
    } else {
      std::vector<RealmRecord>& list = r_->records[k->chunk];
      for (size_t i = list.size(); i-- > 0;)
        if (matches(list[i].raw)) { list.erase(list.begin() + i); removed++; }
    }
    if (!removed) return Fail("remove matches no " + toks[0].value.text);
    return true;
  }

  // ---- the map ----
  bool Map(const std::vector<Token>& toks) {
    std::map<std::string, Value> a;
    int64_t x, y, w, h, owner = kNobody;
    if (!Args(toks, {"x", "y", "width", "height", "owner", "values"}, {"x", "y", "width", "height"}, &a) ||
        !Num(a, "x", 0, kWorldX - 1, &x) || !Num(a, "y", 0, kWorldY - 1, &y) || !Num(a, "width", 1, kWorldX, &w) ||
        !Num(a, "height", 1, kWorldY, &h))
      return false;
    if (a.count("owner") && !Num(a, "owner", 0, 0xFFFFFFFF, &owner)) return false;
    if (w * h > kMaxCells) return Fail("the map passes " + std::to_string(kMaxCells) + " hexes");
    int8_t values[3] = {0, 0, 0};
    if (a.count("values")) {
      const Value& v = a["values"];
      if (v.is_text || v.nums.size() != 3) return Fail("values takes three numbers: animal,plant,mineral");
      for (int i = 0; i < 3; i++) {
        if (v.nums[i] < -128 || v.nums[i] > 127) return Fail("values are -128..127");
        values[i] = (int8_t)v.nums[i];
      }
    }
    map_ = {true, (uint32_t)x, (uint32_t)y, (uint32_t)w, (uint32_t)h, (uint32_t)owner, 0, line_};
    std::memcpy(map_values_, values, 3);
    return true;
  }

  bool Row(const std::string& s, size_t pos) {
    if (!map_.open) return Fail("row without a map line");
    while (pos < s.size() && (s[pos] == ' ' || s[pos] == '\t')) pos++;
    std::string cells = s.substr(pos);
    while (!cells.empty() && (cells.back() == ' ' || cells.back() == '\t')) cells.pop_back();
    if (map_.rows >= map_.h) return Fail("more rows than the map's height " + std::to_string(map_.h));
    if (cells.size() != map_.w)
      return Fail("row of " + std::to_string(cells.size()) + " hexes, the map's width is " + std::to_string(map_.w));
    if (r_->cells.size() + map_.w > kMaxCells) return Fail("the description passes " + std::to_string(kMaxCells) + " hexes");
    for (uint32_t i = 0; i < map_.w; i++) {
      auto g = legend_.find(cells[i]);
      if (g == legend_.end()) return Fail(std::string("unknown terrain symbol '") + cells[i] + "'");
      uint32_t x = (map_.x + i) % kWorldX, y = (map_.y + map_.rows) % kWorldY;
      MapCell& t = r_->cells[{x, y}];
      t.fill(0);
      PutLE32(&t[0], x);
      PutLE32(&t[4], y);
      PutLE16(&t[8], g->second);
      std::memcpy(&t[10], map_values_, 3);
      PutLE32(&t[14], map_.owner);
    }
    map_.rows++;
    return true;
  }

  bool EndMap() {
    if (!map_.open) return true;
    map_.open = false;
    if (map_.rows != map_.h)
      return Fail("map has " + std::to_string(map_.rows) + " rows, its height is " + std::to_string(map_.h), map_.line);
    return true;
  }

  bool LegendLine(const std::vector<Token>& toks) {
    std::map<std::string, Value> a;
    int64_t g;
    std::string sym;
    if (!Args(toks, {"symbol", "graphic"}, {"symbol", "graphic"}, &a) || !Str(a, "symbol", 1, &sym) ||
        !Num(a, "graphic", 1, 91, &g))
      return false;
    if (sym.size() != 1 || sym[0] == ' ' || sym[0] == '\t') return Fail("a symbol is one visible character");
    legend_[sym[0]] = (uint16_t)g;
    return true;
  }

  MapCell* Cell(int64_t x, int64_t y) {
    auto it = r_->cells.find({(uint32_t)x, (uint32_t)y});
    if (it == r_->cells.end()) {
      Fail("hex (" + std::to_string(x) + ", " + std::to_string(y) + ") is not on the map");
      return nullptr;
    }
    return &it->second;
  }

  bool Owner(const std::vector<Token>& toks) {
    std::map<std::string, Value> a;
    int64_t x, y, w = 1, h = 1, player;
    if (!Args(toks, {"x", "y", "width", "height", "player"}, {"x", "y", "player"}, &a) ||
        !Num(a, "x", 0, kWorldX - 1, &x) || !Num(a, "y", 0, kWorldY - 1, &y) ||
        (a.count("width") && !Num(a, "width", 1, kWorldX, &w)) ||
        (a.count("height") && !Num(a, "height", 1, kWorldY, &h)) || !Num(a, "player", 0, 0xFFFFFFFF, &player))
      return false;
    if (w * h > kMaxCells) return Fail("the area passes " + std::to_string(kMaxCells) + " hexes");
    for (int64_t j = 0; j < h; j++)
      for (int64_t i = 0; i < w; i++) {
        MapCell* c = Cell((x + i) % kWorldX, (y + j) % kWorldY);
        if (!c) return false;
        PutLE32(&(*c)[14], (uint32_t)player);
      }
    return true;
  }

  bool Field(const std::vector<Token>& toks) {
    std::map<std::string, Value> a;
    int64_t x, y, v;
    if (!Args(toks, {"x", "y", "graphic", "animal", "plant", "mineral", "owner", "flags"}, {"x", "y"}, &a) ||
        !Num(a, "x", 0, kWorldX - 1, &x) || !Num(a, "y", 0, kWorldY - 1, &y))
      return false;
    auto it = r_->cells.find({(uint32_t)x, (uint32_t)y});
    if (it == r_->cells.end()) {
      if (!a.count("graphic")) return Fail("a new hex needs its graphic");
      if (r_->cells.size() >= kMaxCells) return Fail("the description passes " + std::to_string(kMaxCells) + " hexes");
      MapCell t{};
      PutLE32(&t[0], (uint32_t)x);
      PutLE32(&t[4], (uint32_t)y);
      PutLE32(&t[14], kNobody);
      it = r_->cells.emplace(std::make_pair((uint32_t)x, (uint32_t)y), t).first;
    }
    MapCell& t = it->second;
    if (a.count("graphic")) {
      if (!Num(a, "graphic", 1, 91, &v)) return false;
      PutLE16(&t[8], (uint16_t)v);
    }
    const char* names[3] = {"animal", "plant", "mineral"};
    for (int i = 0; i < 3; i++)
      if (a.count(names[i])) {
        if (!Num(a, names[i], -128, 127, &v)) return false;
        t[10 + i] = (uint8_t)(int8_t)v;
      }
    if (a.count("owner")) {
      if (!Num(a, "owner", 0, 0xFFFFFFFF, &v)) return false;
      PutLE32(&t[14], (uint32_t)v);
    }
    if (a.count("flags")) {
      if (!Num(a, "flags", 0, 0xFFFFFFFF, &v)) return false;
      PutLE32(&t[18], (uint32_t)v);
    }
    return true;
  }

  bool Dungeon(const std::vector<Token>& toks) {
    std::map<std::string, Value> a;
    int64_t x, y;
    if (!Args(toks, {"x", "y"}, {"x", "y"}, &a) || !Num(a, "x", 0, kWorldX - 1, &x) || !Num(a, "y", 0, kWorldY - 1, &y))
      return false;
    MapCell* c = Cell(x, y);
    if (!c) return false;
    for (auto& kv : r_->cells) PutLE32(&kv.second[18], GetLE32(&kv.second[18]) & ~2u);  // one entrance
    PutLE32(&(*c)[18], GetLE32(&(*c)[18]) | 2u);
    PutBE32(&r_->fixed["IMAP"][IMAP_DUNGEON_X], (uint32_t)x);
    PutBE32(&r_->fixed["IMAP"][IMAP_DUNGEON_Y], (uint32_t)y);
    return true;
  }

  bool Start(const std::vector<Token>& toks) {
    std::map<std::string, Value> a;
    int64_t x, y;
    if (!Args(toks, {"x", "y"}, {"x", "y"}, &a) || !Num(a, "x", 0, kWorldX - 1, &x) || !Num(a, "y", 0, kWorldY - 1, &y))
      return false;
    PutBE32(&r_->fixed["IMAP"][IMAP_CAPITAL_X], (uint32_t)x);
    PutBE32(&r_->fixed["IMAP"][IMAP_CAPITAL_Y], (uint32_t)y);
    r_->start_given = true;
    return true;
  }

  bool Letter(const std::vector<Token>& toks) {
    std::map<std::string, Value> a;
    RealmLetter l;
    int64_t from, date = 0;
    if (!Args(toks, {"from", "sender", "subject", "text", "date"}, {"from", "sender", "subject", "text"}, &a) ||
        !Num(a, "from", 0, 0xFFFFFFFF, &from) || !Str(a, "sender", 39, &l.sender_name) ||
        !Str(a, "subject", 159, &l.subject) || !Str(a, "text", kMaxText, &l.text) ||
        (a.count("date") && !Num(a, "date", 0, 0xFFFFFFFF, &date)))
      return false;
    l.sender_id = (uint32_t)from;
    l.date = (uint32_t)date;
    l.line = line_;
    r_->letters.push_back(l);
    return true;
  }

  bool Reject(const std::vector<Token>& toks) {
    std::map<std::string, Value> a;
    if (!Args(toks, {"text"}, {"text"}, &a) || !Str(a, "text", kMaxText, &r_->rejection)) return false;
    r_->rejected = true;
    return true;
  }

  // ---- checks across statements ----
  const RealmRecord* FindFigure(uint32_t owner, uint32_t number) {
    for (const RealmRecord& f : r_->records["MOVE"])
      if (Get(FigurRecordCodec, f.raw, "owner") == owner && Get(FigurRecordCodec, f.raw, "number") == number) return &f;
    return nullptr;
  }

  // The figure type the army's parts make by the game's rule; 0 for none,
  // -1 when memory runs out.
  static int64_t PartsFigureType(const RealmArmy& a) {
    RegisterGameDataListTypes();
    Army army{};
    army.parts = CreateList(LIST_ARMY_PARTS);
    if (!army.parts) return -1;
    int64_t type = 0;
    for (const RealmArmy::Part& p : a.parts) {
      ArmeeTyp* part = reinterpret_cast<ArmeeTyp*>(AllocListNode(army.parts));
      if (!part) {
        type = -1;
        break;
      }
      DecodeRecord(ArmeeTypCodec, p.raw.raw.data(), ORDER_HOST, part);
      part->SaboteurListHeader = nullptr;
      AddNode(army.parts, &part->head, LN_TAIL, 0);
    }
    if (type == 0) type = GetArmyTyp(&army);
    DeleteList(army.parts, 0);
    return type;
  }

  // Every building and order of a kind the construction catalogue offers
  // costs the upkeep the construction screen tells for it at the realm's
  // public confidence (without the turn's random part): its base upkeep
  // from the game data's table, kept to the record's 16 bits. A higher
  // level has no row there and keeps the description's upkeep.
  bool Upkeep() {
    const uint32_t confidence = Get(LandCodec, r_->fixed["LAND"], "faith");
    for (const char* chunk : {"GEBA", "BAUE"})
      for (RealmRecord& b : r_->records[chunk]) {
        const uint32_t kind = Get(BaustellenDataCodec, b.raw, "building");
        const BuildingBaseCost* base = FindBuildingBaseCost(kind);
        if (!base) continue;
        uint32_t upkeep = CostAtConfidence(base->upkeep, confidence);
        if (upkeep > 0xFFFF) upkeep = 0xFFFF;
        if (!b.keys.count("upkeep")) Put(BaustellenDataCodec, b.raw, "upkeep", upkeep);
        else if (Get(BaustellenDataCodec, b.raw, "upkeep") != upkeep)
          return Fail("upkeep=" + std::to_string(Get(BaustellenDataCodec, b.raw, "upkeep")) +
                          " disagrees with the upkeep of building " + std::to_string(kind) +
                          " at public confidence " + std::to_string(confidence) + " (" + std::to_string(upkeep) + ")",
                      b.line);
      }
    return true;
  }

  uint64_t TurnKey() {
    return uint64_t{Get(KornCodec, r_->fixed["KORN"], "year")} * 4 + Get(KornCodec, r_->fixed["KORN"], "quarter");
  }

  // A change list of a later turn: the inhabitants are the last turn's and
  // this quarter's people (immigrants and born in, emigrants and died out;
  // the battles' dead and the deserters are the armies' men). Given, they
  // must agree.
  bool People() {
    if (!changes_ || TurnKey() <= prev_turn_) return true;
    const Bytes& land = r_->fixed["LAND"];
    const int64_t in = Get(LandCodec, land, "immigrants"), born = Get(LandCodec, land, "born");
    const int64_t out = Get(LandCodec, land, "emigrants"), died = Get(LandCodec, land, "died");
    const int64_t want = int64_t{prev_inhabitants_} + in + born - out - died;
    const std::string sum = std::to_string(prev_inhabitants_) + " + " + std::to_string(in) + " immigrants + " +
                            std::to_string(born) + " born - " + std::to_string(out) + " emigrants - " +
                            std::to_string(died) + " died = " + std::to_string(want);
    const bool given = given_now_.count("LAND.inhabitants") != 0;
    const uint32_t at = given ? r_->given["LAND.inhabitants"] : line_;
    if (want < 0 || want > 0xFFFFFFFFLL)
      return Fail("the last turn's inhabitants and this quarter's people (" + sum + ") are out of the inhabitants' range",
                  at);
    if (!given) {
      Put(LandCodec, r_->fixed["LAND"], "inhabitants", static_cast<uint32_t>(want));
    } else if (Get(LandCodec, land, "inhabitants") != want) {
      return Fail("inhabitants=" + std::to_string(Get(LandCodec, land, "inhabitants")) +
                      " disagrees with the last turn's inhabitants and this quarter's people (" + sum + ")",
                  at);
    }
    return true;
  }

  bool LaterTurn() { return changes_ && TurnKey() > prev_turn_; }
  static std::string N(uint64_t v) { return std::to_string(v); }
  // The line of a fixed field this text gave, else the last line.
  uint32_t LineOf(const std::string& field) {
    return given_now_.count(field) ? r_->given[field] : line_;
  }

  // The towns' inhabitants make the realm's (LAND inhabitants), as the
  // country report and the town list show them. Not given (nor counted from
  // the people of a later turn), LAND's are the towns' sum; given, they must
  // agree. A later turn's (or a change list's given) inhabitants are spread
  // over the towns this change list does not give, in proportion to their
  // inhabitants (the units left over one each, in the towns' order).
  bool Towns() {
    std::vector<RealmRecord>& towns = r_->records["TOWN"];
    if (towns.empty()) return true;
    Bytes& land = r_->fixed["LAND"];
    uint64_t kept = 0, free = 0, free_towns = 0;
    for (const RealmRecord& t : towns) {
      const uint64_t v = Get(TownRecordCodec, t.raw, "inhabitants");
      if (towns_now_.count(Get(TownRecordCodec, t.raw, "town_id"))) {
        kept += v;
      } else {
        free += v;
        free_towns++;
      }
    }
    if (!given_now_.count("LAND.inhabitants") && !LaterTurn()) {
      if (kept + free > 0xFFFFFFFFu) return Fail("the towns' inhabitants (" + N(kept + free) + ") pass 32 bits", towns.back().line);
      Put(LandCodec, land, "inhabitants", static_cast<uint32_t>(kept + free));
      return true;
    }
    const uint64_t want = Get(LandCodec, land, "inhabitants");
    if (!free_towns || want < kept) {
      if (kept + free == want) return true;
      return Fail("inhabitants=" + N(want) + " disagrees with the towns' inhabitants (" + N(kept + free) + ")",
                  LineOf("LAND.inhabitants"));
    }
    const uint64_t rest = want - kept;
    uint64_t placed = 0;
    for (RealmRecord& t : towns) {
      if (towns_now_.count(Get(TownRecordCodec, t.raw, "town_id"))) continue;
      const uint64_t share = free ? rest * Get(TownRecordCodec, t.raw, "inhabitants") / free : 0;
      Put(TownRecordCodec, t.raw, "inhabitants", static_cast<uint32_t>(share));
      placed += share;
    }
    for (RealmRecord& t : towns) {
      if (placed == rest) break;
      if (towns_now_.count(Get(TownRecordCodec, t.raw, "town_id"))) continue;
      const uint64_t add = free ? 1 : rest;  // no inhabitants to go by: all to the first
      Put(TownRecordCodec, t.raw, "inhabitants", static_cast<uint32_t>(Get(TownRecordCodec, t.raw, "inhabitants") + add));
      placed += add;
    }
    return true;
  }

  // The turn's taxes (TAXE) are what the taxes screen tells the settings
  // bring on the realm's inhabitants and resources: the base tax I x 2 x
  // level / 100, the judicial tax I x 7/8, 5/8, 3/8 or 1/8 by the setting,
  // the custom dues rate x I / 100, the resource tax the three rates times
  // the resources (their low 16 bits); at most 0xFFFFFFFF. Counted for a
  // description with towns (again at every change list); given, they must
  // agree. A description without towns may give them alone.
  bool Taxes() {
    if (r_->records["TOWN"].empty()) return true;
    const Bytes& land = r_->fixed["LAND"];
    Bytes& taxe = r_->fixed["TAXE"];
    const uint64_t people = Get(LandCodec, land, "inhabitants");
    const uint64_t level = Get(TaxeCodec, taxe, "base_tax_level"), setting = Get(TaxeCodec, taxe, "judicial_setting");
    const uint64_t rate = Get(TaxeCodec, taxe, "customs_rate");
    static const uint64_t kJudicialEighths[4] = {7, 5, 3, 1};
    uint64_t resources = 0;
    std::string rates;
    for (const char* kind : {"plant", "animal", "mineral"}) {
      const uint64_t r = Get(TaxeCodec, taxe, (std::string(kind) + "_tax_rate").c_str());
      const uint64_t has = Get(LandCodec, land, (std::string(kind) + "_resources").c_str()) & 0xFFFFu;
      resources += r * has;
      rates += (rates.empty() ? "" : " + ") + N(r) + " x " + N(has);
    }
    struct Tax {
      const char* field;
      uint64_t value;
      std::string what;
    };
    const std::string of = " of " + N(people) + " inhabitants";
    const Tax taxes[] = {
        {"base_tax", people * 2 * level / 100, "the base tax" + of + " at level " + N(level)},
        {"judicial_tax", people * kJudicialEighths[setting > 3 ? 3 : setting] / 8,
         "the judicial tax" + of + " at setting " + N(setting)},
        {"customs_tax", rate * people / 100, "the custom dues" + of + " at rate " + N(rate)},
        {"resource_tax", resources, "the resource tax of the rates on the resources (" + rates + ")"},
    };
    for (const Tax& t : taxes) {
      const uint32_t v = static_cast<uint32_t>(t.value > 0xFFFFFFFFu ? 0xFFFFFFFFu : t.value);
      const std::string field = std::string("TAXE.") + t.field;
      if (!given_now_.count(field)) {
        Put(TaxeCodec, taxe, t.field, v);
      } else if (Get(TaxeCodec, taxe, t.field) != v) {
        return Fail(std::string(t.field) + "=" + N(Get(TaxeCodec, taxe, t.field)) + " disagrees with " + t.what + " (" +
                        N(v) + ")",
                    r_->given[field]);
      }
    }
    return true;
  }

  // A later turn's treasury is the last turn's and this quarter's income
  // less its expenses, as the reports list them: income the taxes (base,
  // judicial, customs, resource tax, church rate), the market halls, the
  // seamen, the first tenth and the pirates' gold (negative: taken from the
  // realm); expenses the buildings' upkeep total, the wages of the scouts
  // (100 each) and settlers (5,000 each), the second tenth and, while a
  // field is researched, the research's cost. For a description with towns;
  // not given, it is counted; given, it must agree; a sum below 0 or past
  // 32 bits is refused. The first turn and a correction take it as given.
  bool Treasury() {
    if (!LaterTurn() || r_->records["TOWN"].empty()) return true;
    const Bytes& land = r_->fixed["LAND"];
    const Bytes& taxe = r_->fixed["TAXE"];
    const Bytes& fors = r_->fixed["FORS"];
    int64_t income = 0;
    for (const char* f : {"base_tax", "judicial_tax", "customs_tax", "resource_tax", "church_rate", "market_halls",
                          "seamen", "tenth_base"})
      income += Get(TaxeCodec, taxe, f);
    income += static_cast<int32_t>(Get(LandCodec, land, "pirate_gold"));
    const int64_t research = static_cast<int8_t>(Get(ForsCodec, fors, "research"));
    int64_t expenses = int64_t{Get(GebaHeadCodec, r_->fixed["GEBA"], "upkeep_total")} +
                       int64_t{Get(LandCodec, land, "scouts")} * 100 + int64_t{Get(LandCodec, land, "settlers")} * 5000 +
                       Get(TaxeCodec, taxe, "tenth_amount");
    if (research >= 1 && research <= 7 && !Get(ForsCodec, fors, "no_research")) expenses += Get(ForsCodec, fors, "cost");
    const int64_t want = int64_t{prev_treasury_} + income - expenses;
    const std::string sum = N(prev_treasury_) + (income < 0 ? " - " : " + ") + N(static_cast<uint64_t>(income < 0 ? -income : income)) +
                            " income - " + N(static_cast<uint64_t>(expenses)) + " expenses = " + std::to_string(want);
    if (want < 0 || want > 0xFFFFFFFFLL)
      return Fail("the last turn's treasury and this quarter's income and expenses (" + sum +
                      ") are out of the treasury's range",
                  LineOf("LAND.treasury"));
    if (!given_now_.count("LAND.treasury")) {
      Put(LandCodec, r_->fixed["LAND"], "treasury", static_cast<uint32_t>(want));
    } else if (Get(LandCodec, land, "treasury") != want) {
      return Fail("treasury=" + N(Get(LandCodec, land, "treasury")) +
                      " disagrees with the last turn's treasury and this quarter's income and expenses (" + sum + ")",
                  r_->given["LAND.treasury"]);
    }
    return true;
  }

  // The numbers that several chunks tell: the granaries, mills and trade
  // offices of KORN are the buildings of those kinds, GEBA's upkeep total
  // is the upkeep of the buildings that count (not marked -1, not replaced
  // by their next level in their town), LAND's killed are the own dead of
  // the battles. A field the description set must agree with the records;
  // one it did not set is taken from them.
  bool Agree() {
    if (!Upkeep() || !People() || !Towns() || !Taxes()) return false;
    const std::vector<RealmRecord>& geba = r_->records["GEBA"];
    auto has = [&](uint32_t building, uint32_t town) {
      for (const RealmRecord& b : geba)
        if (Get(BaustellenDataCodec, b.raw, "building") == building && Get(BaustellenDataCodec, b.raw, "town") == town)
          return true;
      return false;
    };
    auto count = [&](uint32_t building) {
      uint64_t n = 0;
      for (const RealmRecord& b : geba) n += Get(BaustellenDataCodec, b.raw, "building") == building;
      return n;
    };
    uint64_t upkeep = 0;
    for (const RealmRecord& b : geba) {
      if ((int16_t)Get(BaustellenDataCodec, b.raw, "build_time") == -1) continue;
      const int32_t next = NextBuildingLevel(Get(BaustellenDataCodec, b.raw, "building"));
      if (next >= 0 && has((uint32_t)next, Get(BaustellenDataCodec, b.raw, "town"))) continue;
      upkeep += Get(BaustellenDataCodec, b.raw, "upkeep");
    }
    uint64_t killed = 0;
    for (const RealmRecord& k : r_->records["KRIG"])
      for (const char* side : {"attacker", "target"}) {
        const uint8_t* fig = k.raw.data() + FindCodecField(KriegsEintragCodec, side)->off;
        if (GetCodecNumber(*FindCodecField(FigurRecordCodec, "owner"), fig, 0, ORDER_HOST) == r_->player_id)
          killed += Get(KriegsEintragCodec, k.raw, std::string(side) == "attacker" ? "attacker_dead" : "target_dead");
      }
    struct Told {
      const char* chunk;
      const RecordCodec& codec;
      const char* field;
      uint64_t value;
      bool described;  // the description has records of that kind
      const char* what;
    };
    const bool buildings = !geba.empty(), battles = !r_->records["KRIG"].empty();
    const Told told[] = {
        {"KORN", KornCodec, "granaries", count(0), buildings, "granary buildings"},
        {"KORN", KornCodec, "mills", count(1), buildings, "mill buildings"},
        {"KORN", KornCodec, "trade_offices", count(98), buildings, "trade office buildings"},
        {"GEBA", GebaHeadCodec, "upkeep_total", upkeep, buildings, "the upkeep of the buildings that count"},
        {"LAND", LandCodec, "killed", killed, battles, "the own dead of the battles"},
    };
    // A description without buildings (or battles) may give the numbers
    // alone, as a test of one screen does.
    for (const Told& t : told) {
      auto g = r_->given.find(std::string(t.chunk) + "." + t.field);
      Bytes& b = r_->fixed[t.chunk];
      if (g == r_->given.end()) {
        const CodecField& f = *FindCodecField(t.codec, t.field);
        const uint64_t most = f.type == CT_U16 ? 0xFFFFu : 0xFFFFFFFFu;
        Put(t.codec, b, t.field, (uint32_t)(t.value > most ? most : t.value));
      } else if (t.described && Get(t.codec, b, t.field) != t.value) {
        return Fail(std::string(t.field) + "=" + std::to_string(Get(t.codec, b, t.field)) + " disagrees with " + t.what +
                        " (" + std::to_string(t.value) + ")",
                    g->second);
      }
    }
    return Treasury();
  }

  bool Finish() {
    if (!have_player_) return Fail("the description has no player line", line_ ? line_ : 1);
    if (!have_turn_ && !changes_) return Fail("the description has no turn line", line_ ? line_ : 1);
    std::set<uint32_t> towns;
    for (const RealmRecord& t : r_->records["TOWN"]) {
      towns.insert(Get(TownRecordCodec, t.raw, "town_id"));
      uint32_t x = Get(TownRecordCodec, t.raw, "x"), y = Get(TownRecordCodec, t.raw, "y");
      if (r_->cells.empty()) continue;
      auto c = r_->cells.find({x, y});
      if (c == r_->cells.end() || !IsTownGraphic(GetLE16(&c->second[8])))
        return Fail("town " + Text(TownRecordCodec, t.raw, "name") + " does not stand on a town hex of the map", t.line);
      if (GetLE32(&c->second[14]) != r_->player_id)
        return Fail("the hex of town " + Text(TownRecordCodec, t.raw, "name") + " is not the player's", t.line);
    }
    for (const char* chunk : {"GEBA", "BAUE"})
      for (const RealmRecord& b : r_->records[chunk])
        if (!towns.count(Get(BaustellenDataCodec, b.raw, "town")))
          return Fail("building in town " + std::to_string(Get(BaustellenDataCodec, b.raw, "town")) + ", which the description does not have", b.line);
    // The realm's corn lies in its granaries (KORN); the store holds the
    // other goods, and every list of goods shows the corn once from KORN.
    for (const RealmRecord& g : r_->records["WARE"])
      if (Get(WarenListenEntryCodec, g.raw, "kind") == 5 && Get(WarenListenEntryCodec, g.raw, "goods") == 0)
        return Fail("corn in the store: the corn lies in the granaries (korn granary_corn)", g.line);
    for (const RealmArmy& a : r_->armies) {
      uint32_t id = Get(ArmyCodec, a.head.raw, "ArmeeID");
      if (!id) continue;
      const RealmRecord* f = FindFigure(Get(ArmyCodec, a.head.raw, "Besitzer"), id);
      if (!f || Get(FigurRecordCodec, f->raw, "type") < 1 || Get(FigurRecordCodec, f->raw, "type") > 9)
        return Fail("army " + Text(ArmyCodec, a.head.raw, "ArmyName") + " has no army figure " + std::to_string(id), a.head.line);
      if (Get(FigurRecordCodec, f->raw, "x") != Get(ArmyCodec, a.head.raw, "X") ||
          Get(FigurRecordCodec, f->raw, "y") != Get(ArmyCodec, a.head.raw, "Y"))
        return Fail("army " + Text(ArmyCodec, a.head.raw, "ArmyName") + " stands elsewhere than its figure (line " + std::to_string(f->line) + ")", a.head.line);
      const int64_t made = PartsFigureType(a);
      if (made < 0) return Fail("out of memory", a.head.line);
      if (Get(FigurRecordCodec, f->raw, "type") != (uint64_t)made)
        return Fail("army " + Text(ArmyCodec, a.head.raw, "ArmyName") + " has figure type " +
                        std::to_string(Get(FigurRecordCodec, f->raw, "type")) + " (line " + std::to_string(f->line) +
                        "), its parts make " + std::to_string(made),
                    a.head.line);
    }
    for (const RealmRecord& s : r_->records["SHIP"]) {
      uint32_t id = Get(SchiffseintragCodec, s.raw, "ship_id");
      const RealmRecord* f = FindFigure(r_->player_id, id);
      if (!f || Get(FigurRecordCodec, f->raw, "type") < 14 || Get(FigurRecordCodec, f->raw, "type") > 19)
        return Fail("ship " + std::to_string(id) + " has no ship figure of the player", s.line);
      if (Get(FigurRecordCodec, f->raw, "x") != Get(SchiffseintragCodec, s.raw, "x") ||
          Get(FigurRecordCodec, f->raw, "y") != Get(SchiffseintragCodec, s.raw, "y"))
        return Fail("ship " + std::to_string(id) + " lies elsewhere than its figure (line " + std::to_string(f->line) + ")", s.line);
      // A carried figure's copy in the cargo slot has the figure's type.
      const CodecField& cargo = *FindCodecField(SchiffseintragCodec, "cargo");
      for (uint32_t k = 0; k < cargo.count; ++k) {
        const Bytes slot(s.raw.begin() + cargo.off + k * cargo.sub->size,
                         s.raw.begin() + cargo.off + (k + 1) * cargo.sub->size);
        const RealmRecord* carried = FindFigure(Get(FigurRecordCodec, slot, "owner"), Get(FigurRecordCodec, slot, "number"));
        if (!Get(FigurRecordCodec, slot, "owner") || !carried) continue;
        if (Get(FigurRecordCodec, carried->raw, "type") != Get(FigurRecordCodec, slot, "type"))
          return Fail("ship " + std::to_string(id) + " carries figure " + std::to_string(Get(FigurRecordCodec, slot, "number")) +
                          " as another type than the figure's (line " + std::to_string(carried->line) + ")",
                      s.line);
      }
    }
    if (!Agree()) return false;
    // The capital: the start line, else the first town; its name is that of
    // the town there. The lord's name is the player's.
    Bytes& im = r_->fixed["IMAP"];
    if (!r_->start_given && !r_->records["TOWN"].empty()) {
      const Bytes& t = r_->records["TOWN"].front().raw;
      PutBE32(&im[IMAP_CAPITAL_X], Get(TownRecordCodec, t, "x"));
      PutBE32(&im[IMAP_CAPITAL_Y], Get(TownRecordCodec, t, "y"));
    }
    std::memset(&im[IMAP_CAPITAL_NAME], 0, IMAP_LORD_NAME - IMAP_CAPITAL_NAME);
    for (const RealmRecord& t : r_->records["TOWN"])
      if (Get(TownRecordCodec, t.raw, "x") == GetBE32(&im[IMAP_CAPITAL_X]) &&
          Get(TownRecordCodec, t.raw, "y") == GetBE32(&im[IMAP_CAPITAL_Y])) {
        std::string name = Text(TownRecordCodec, t.raw, "name");
        std::memcpy(&im[IMAP_CAPITAL_NAME], name.data(), name.size());
        break;
      }
    std::memset(&im[IMAP_LORD_NAME], 0, 40);
    std::memcpy(&im[IMAP_LORD_NAME], r_->player_name.data(), r_->player_name.size());
    return true;
  }

  struct MapBlock {
    bool open;
    uint32_t x, y, w, h, owner, rows, line;
  };

  Realm* r_;
  std::string file_;
  bool changes_;
  uint32_t line_ = 0;
  bool have_player_ = false, have_turn_ = false;
  std::set<std::string> given_now_;  // the fixed fields this description (or change list) sets
  uint64_t prev_turn_ = 0;           // a change list: the turn it follows (year x 4 + quarter)
  uint32_t prev_inhabitants_ = 0;    // and that turn's inhabitants
  uint32_t prev_treasury_ = 0;       // and treasury
  std::set<uint32_t> towns_now_;     // the towns (town_id) this description (or change list) gives
  std::map<char, uint16_t> legend_;
  MapBlock map_{false, 0, 0, 0, 0, 0, 0, 0};
  int8_t map_values_[3] = {0, 0, 0};

 public:
  void SetHavePlayer() { have_player_ = true; }
};

}  // namespace

bool ParseRealm(const std::string& text, const std::string& file, Realm* realm, std::string* error, bool changes) {
  Parser p(realm, file, changes);
  if (changes) p.SetHavePlayer();
  bool ok = p.Run(text);
  if (!ok && error) *error = p.error;
  return ok;
}

bool LoadRealmFile(const std::string& path, Realm* realm, std::string* error, bool changes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = path + ": cannot be read";
    return false;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  return ParseRealm(ss.str(), path, realm, error, changes);
}
