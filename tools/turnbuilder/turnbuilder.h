// The turn builder: a realm description (plain text, docs/turnbuilder.md)
// is checked and written as what the game server sends: the sign-up answer
// pool, a received turn pool, and both as turn mails. Records are written
// through the codec tables and the list writers of routinen/gamedata.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

using Bytes = std::vector<uint8_t>;
using MapCell = std::array<uint8_t, 22>;  // MapTile, little-endian

struct RealmRecord {
  Bytes raw;                   // one record in host order, its codec's size
  uint32_t line;               // where the description gave it
  std::set<std::string> keys;  // the keys its line gave (the others are 0 or the builder's)
};

struct RealmArmy {
  RealmRecord head;                  // Army (ARHD)
  struct Part {
    RealmRecord raw;                 // ArmeeTyp (AREN)
    std::vector<RealmRecord> saboteurs;
  };
  std::vector<Part> parts;
};

struct RealmLetter {
  uint32_t sender_id = 0;
  std::string sender_name, subject, text;
  uint32_t date = 0;  // seconds since 1970
  uint32_t line = 0;
};

struct Realm {
  std::string file;                  // the description's name, for errors
  uint32_t player_id = 0;
  std::string player_name;
  // Fixed chunks (host order, whole chunk with header), by chunk ID:
  // INFO, KORN, LAND, TAXE, FORS, IMAP, GEBA (its head, the records follow).
  std::map<std::string, Bytes> fixed;
  // The fixed chunks' fields the description set ("KORN.granaries"), with
  // their lines: a count that other chunks also tell must agree with them,
  // one not set is taken from them.
  std::map<std::string, uint32_t> given;
  // Records of the record chunks, by chunk ID (MOVE, WARE, BAUE, GEBA, TOWN,
  // ANTW, KRIG, VERT, SHIP, SPEZ, HERB).
  std::map<std::string, std::vector<RealmRecord>> records;
  std::vector<RealmArmy> armies;
  std::vector<RealmLetter> letters;
  // Map cells by (X, Y): 22-byte MapTile, little-endian.
  std::map<std::pair<uint32_t, uint32_t>, MapCell> cells;
  bool start_given = false;
  bool rejected = false;
  std::string rejection;
};

// Reads a description into realm (a fresh one, or with changes set the
// realm to change: records with the same key replace the old ones, letters
// and battles start anew). False with "file:line: message" in error; the
// realm is then not to be used.
bool ParseRealm(const std::string& text, const std::string& file, Realm* realm, std::string* error,
                bool changes = false);
bool LoadRealmFile(const std::string& path, Realm* realm, std::string* error, bool changes = false);

// Pool images in disk order (big-endian chunks, INFO first with its
// ChunkMask and checksum). The turn pool holds every chunk type the server
// sends; the sign-up answer is the first turn's pool, or INFO and EROR for
// a refused sign-up.
Bytes BuildTurnPool(const Realm& realm);
Bytes BuildSignupAnswer(const Realm& realm);

// A damaged copy of a chunk file image (disk order; a pool or a file of
// chunks without INFO): the first chunk with this ID loses the last cut bytes
// of its payload, and its length and (in a pool) the INFO checksum are made
// to match, so that only the chunk's own layout shows the damage. Empty when
// the file has no such chunk or its payload is shorter than cut.
Bytes CutChunk(const Bytes& file, const char* id, uint32_t cut);

// A turn mail (headers, VEncode body) of a pool named by name ("%8.8u" of
// the player ID for turns, "I%7.7u" of the sign-up number for answers);
// date is the Date header value, or empty for now.
std::string BuildTurnMail(const Bytes& pool, const std::string& name, const std::string& recipient,
                          const std::string& date);
