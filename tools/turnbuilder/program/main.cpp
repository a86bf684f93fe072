// turnbuilder: writes a realm description as the game server's sign-up
// answer or received turn (pool file and, on request, the turn mail).
//
//   turnbuilder check  REALM [--changes FILE]...
//   turnbuilder turn   REALM [--changes FILE]... -o POOL [--mail DIR] [--to ADDRESS] [--date DATE]
//   turnbuilder signup REALM --number N -o POOL [--mail DIR] [--to ADDRESS] [--date DATE]
//   turnbuilder install REALM --dir FOLDER [--demo-turns DIR]
//   turnbuilder account --dir FOLDER --pop3 HOST --smtp HOST --user NAME --password PW [--address ADDRESS]
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/files.h"
#include "routinen/system/memory.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: turnbuilder check  REALM [--changes FILE]...\n"
               "       turnbuilder turn   REALM [--changes FILE]... -o POOL [--mail DIR] [--to ADDRESS] [--date DATE]\n"
               "       turnbuilder signup REALM --number N -o POOL [--mail DIR] [--to ADDRESS] [--date DATE]\n"
               "       turnbuilder install REALM --dir FOLDER [--demo-turns DIR]\n"
               "       turnbuilder account --dir FOLDER --pop3 HOST --smtp HOST --user NAME --password PW"
               " [--address ADDRESS]\n");
  return 2;
}

bool WriteFile(const std::string& path, const void* data, size_t size) {
  std::string tmp = path + ".tmp";
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data, 1, size, f) == size;
  ok = std::fclose(f) == 0 && ok;
  if (ok) ok = std::rename(tmp.c_str(), path.c_str()) == 0;
  if (!ok) std::remove(tmp.c_str());
  return ok;
}

// The first free "<dir>/<name>.email", then "<name>_2.email", ...
std::string MailPath(const std::string& dir, const std::string& name) {
  std::string p = dir + "/" + name + ".email";
  for (int n = 2; access(p.c_str(), F_OK) == 0 && n < 1000; n++) p = dir + "/" + name + "_" + std::to_string(n) + ".email";
  return p;
}

// The Date value of now + seconds.
std::string DateIn(long seconds) {
  const time_t t = time(nullptr) + seconds;
  struct tm tm;
  gmtime_r(&t, &tm);
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char out[64];
  std::snprintf(out, sizeof out, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[tm.tm_wday], tm.tm_mday,
                kMonths[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return out;
}

// The demo's turns after the installed one: each a quarter on, the treasury
// changed by the quarter's income and expenses and the inhabitants by the
// quarter's people (the builder counts both). The first waits in .\Data\POP3In as if fetched; the others
// go into server_dir for the game-server double, in name order; the options
// choose the game-server route.
constexpr int kDemoTurns = 5;
constexpr int kDemoRealmPoints = 7;  // the demo realm has 5: Viscount, then Earl
bool WriteDemoTurns(Realm realm, const std::string& server_dir) {
  uint32_t year = ChunkGet32(realm.fixed.at("KORN").data(), 12);
  uint32_t quarter = ChunkGet16(realm.fixed.at("KORN").data(), 16);
  char name[MAIL_NAME_SIZE];
  TurnMailName(realm.player_id, name);
  std::error_code ec;
  std::filesystem::create_directories(server_dir, ec);
  if (ec) {
    std::fprintf(stderr, "turnbuilder: cannot make %s\n", server_dir.c_str());
    return false;
  }
  for (int k = 1; k <= kDemoTurns; k++) {
    if (++quarter == 4) quarter = 0, year++;
    std::string err;
    // From the second turn on the realm has 7 points: the first turn
    // records its rank, the second crowns the next title (the coronation).
    const std::string changes = "turn year=" + std::to_string(year) + " quarter=" + std::to_string(quarter) + "\n" +
                                (k >= 2 ? "land realm_points=" + std::to_string(kDemoRealmPoints) + "\n" : std::string());
    if (!ParseRealm(changes, "demo.changes", &realm, &err, true)) {
      std::fprintf(stderr, "turnbuilder: %s\n", err.c_str());
      return false;
    }
    const std::string mail = BuildTurnMail(BuildTurnPool(realm), name, "player@quill-of-elmor.invalid", DateIn(60L * k));
    char num[8];
    std::snprintf(num, sizeof num, "%02d", k);
    const std::string path = k == 1 ? "Data/POP3In/" + std::string(name) + ".email"
                                    : server_dir + "/turn_" + num + ".email";
    if (mail.empty() || !WriteFile(path, mail.data(), mail.size())) {
      std::fprintf(stderr, "turnbuilder: cannot write %s\n", path.c_str());
      return false;
    }
  }
  OptionenPrefs o;
  OptionenPrefsLoad(&o);
  o.net_option_bits = NET_SERVER_ROUTE;
  return OptionenPrefsSave(&o) != 0;
}

// The player of the game installed in the working folder, 0 when none. The
// prefs are read as they are on disk, never repaired here: a file that is
// damaged is the game's to repair and tell at its start. The account state
// must be held whole (2); a player ID cut off the file's end is the received
// turn's, as the game takes it back.
uint32_t InstalledPlayer() {
  uint32_t size = 0;
  uint8_t* raw = static_cast<uint8_t*>(LoadFile2MemSize(".\\Data\\Prefs.qoe", MEMF_PUBLIC, &size));
  const PrefsFieldInfo& account = PrefsLayout()[PREFS_ACCOUNT_STATE];
  const PrefsFieldInfo& id = PrefsLayout()[PREFS_PLAYER_ID];
  uint32_t player = 0;
  const bool installed = raw && size >= (uint32_t)account.offset + account.size && !std::memcmp(raw, "PREFV001", 8) &&
                         GetBE16(raw + account.offset) == ACCOUNT_INSTALLED;
  if (installed && size >= (uint32_t)id.offset + id.size) {
    player = GetBE32(raw + id.offset);
  } else if (installed) {
    if (uint8_t* info = LoadChunk2Mem("INFO", ReceivedPoolPath)) {
      player = ChunkGet32(info, INFO_PLAYER_ID);
      FreeChunk(info);
    }
  }
  FreeVec(raw);
  return player;
}

// Sets the realm up as an installed game in folder (a working folder of the
// program): its sign-up answer through GameInit, account state 2, the
// answer's date as the last evaluated mail; with server_dir also the demo's
// later turns. A folder that already holds an installed game of the same
// player is left as it is.
int Install(const Realm& realm, const std::string& folder, const std::string& server_dir) {
  std::string server = server_dir;
  if (!server.empty() && server[0] != '/') {
    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd)) return 1;
    server = std::string(cwd) + "/" + server;
  }
  if (chdir(folder.c_str()) != 0) {
    std::fprintf(stderr, "turnbuilder: no folder %s\n", folder.c_str());
    return 1;
  }
  if (InstalledPlayer() == realm.player_id) {
    std::printf("turnbuilder: %s already holds the realm of player %u\n", folder.c_str(), realm.player_id);
    return 0;
  }
  const Bytes answer = BuildSignupAnswer(realm);
  CreateDirPath(".\\Data\\POP3In");
  if (answer.empty() || realm.rejected ||
      !SaveMem2File(ReceivedPoolPath, answer.data(), (uint32_t)answer.size())) {
    std::fprintf(stderr, "turnbuilder: the sign-up answer could not be made\n");
    return 1;
  }
  // The demo's turns first: the game counts as installed only once its
  // set is committed, so an install cut short is simply run again.
  if (!server.empty() && !WriteDemoTurns(realm, server)) {
    std::fprintf(stderr, "turnbuilder: the demo's turns could not be written\n");
    return 1;
  }
  // The game's files, the account state and the mail date in one set.
  if (!InstallGame(ReceivedPoolPath, (uint32_t)MailDateNow())) {
    std::fprintf(stderr, "turnbuilder: GameInit failed (see Quill.dbg in %s)\n", folder.c_str());
    return 1;
  }
  std::printf("turnbuilder: realm of player %u installed in %s\n", realm.player_id, folder.c_str());
  return 0;
}

// Sets the mail account of the options in a working folder: POP3 and SMTP
// host (host:port), one user and password for both, and the address when
// given; the player's other options stay.
int Account(int argc, char** argv) {
  std::string dir, pop3, smtp, user, password, address;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string a = argv[i], v = argv[i + 1];
    if (a == "--dir") dir = v;
    else if (a == "--pop3") pop3 = v;
    else if (a == "--smtp") smtp = v;
    else if (a == "--user") user = v;
    else if (a == "--password") password = v;
    else if (a == "--address") address = v;
    else return Usage();
  }
  if (argc % 2 != 0 || dir.empty() || pop3.empty() || smtp.empty() || user.empty() || password.empty()) return Usage();
  for (const std::string* v : {&pop3, &smtp, &user, &password, &address})
    if (v->size() > 39) {
      std::fprintf(stderr, "turnbuilder: %s is longer than 39 characters\n", v->c_str());
      return 1;
    }
  if (chdir(dir.c_str()) != 0) {
    std::fprintf(stderr, "turnbuilder: no folder %s\n", dir.c_str());
    return 1;
  }
  auto set = [](char* field, const std::string& v) {
    std::memset(field, 0, 40);
    std::memcpy(field, v.data(), v.size());
  };
  // A whole file gets the account's bytes and keeps every other byte as it
  // is: a setting out of its range is the game's to find and tell at its
  // start. A missing or short one is made whole first (defaults).
  uint32_t size = 0;
  uint8_t* raw = static_cast<uint8_t*>(LoadFile2MemSize(".\\Data\\Optionen.prefs", MEMF_PUBLIC, &size));
  std::vector<uint8_t> img;
  OptionenPrefs o;
  if (raw && size >= OPTIONEN_PREFS_SIZE) {
    img.assign(raw, raw + size);
    OptionenPrefsDecode(img.data(), &o);
  } else if (!OptionenPrefsLoad(&o)) {
    FreeVec(raw);
    std::fprintf(stderr, "turnbuilder: the options of %s cannot be read\n", dir.c_str());
    return 1;
  }
  FreeVec(raw);
  set(o.pop3_host, pop3);
  set(o.smtp_host, smtp);
  set(o.pop3_user, user);
  set(o.pop3_password, password);
  set(o.smtp_user, user);
  set(o.smtp_password, password);
  if (!address.empty()) set(o.email, address);
  uint8_t account[OPTIONEN_PREFS_SIZE];
  OptionenPrefsEncode(&o, account);
  if (img.empty()) img.assign(account, account + OPTIONEN_PREFS_SIZE);
  std::memcpy(img.data() + OPTIONEN_ACCOUNT_BEGIN, account + OPTIONEN_ACCOUNT_BEGIN,
              OPTIONEN_ACCOUNT_END - OPTIONEN_ACCOUNT_BEGIN);
  if (!SaveMem2File(".\\Data\\Optionen.prefs", img.data(), (uint32_t)img.size())) {
    std::fprintf(stderr, "turnbuilder: the options of %s cannot be written\n", dir.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  DebugLogSetStderr(0);
  if (argc >= 2 && std::strcmp(argv[1], "account") == 0) return Account(argc, argv);
  if (argc < 3) return Usage();
  std::string mode = argv[1], realm_path = argv[2], out, mail_dir, to = "player@quill-of-elmor.invalid", date, dir,
              demo_turns;
  std::vector<std::string> changes;
  long number = -1;
  for (int i = 3; i < argc; i++) {
    std::string a = argv[i];
    if (i + 1 >= argc) return Usage();
    std::string v = argv[++i];
    if (a == "--changes") changes.push_back(v);
    else if (a == "-o") out = v;
    else if (a == "--mail") mail_dir = v;
    else if (a == "--to") to = v;
    else if (a == "--date") date = v;
    else if (a == "--number") number = std::strtol(v.c_str(), nullptr, 10);
    else if (a == "--dir") dir = v;
    else if (a == "--demo-turns") demo_turns = v;
    else return Usage();
  }
  if (mode != "check" && mode != "turn" && mode != "signup" && mode != "install") return Usage();
  if (mode == "install" && dir.empty()) return Usage();
  if (mode != "check" && mode != "install" && out.empty()) return Usage();
  if (mode == "signup" && (number < 1 || number > 9999998 || !changes.empty())) return Usage();

  Realm realm;
  std::string error;
  bool ok = LoadRealmFile(realm_path, &realm, &error);
  for (size_t i = 0; ok && i < changes.size(); i++) ok = LoadRealmFile(changes[i], &realm, &error, true);
  if (!ok) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  if (mode == "check") return 0;
  if (mode == "install") return Install(realm, dir, demo_turns);

  Bytes pool = mode == "turn" ? BuildTurnPool(realm) : BuildSignupAnswer(realm);
  if (pool.empty()) {
    std::fprintf(stderr, "turnbuilder: the pool could not be made\n");
    return 1;
  }
  if (!WriteFile(out, pool.data(), pool.size())) {
    std::fprintf(stderr, "turnbuilder: cannot write %s\n", out.c_str());
    return 1;
  }
  if (!mail_dir.empty()) {
    char name[MAIL_NAME_SIZE];
    if (mode == "turn") TurnMailName(realm.player_id, name);
    else SignupMailName((uint32_t)number, name);
    std::string mail = BuildTurnMail(pool, name, to, date);
    std::string path = MailPath(mail_dir, name);
    if (mail.empty() || !WriteFile(path, mail.data(), mail.size())) {
      std::fprintf(stderr, "turnbuilder: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
