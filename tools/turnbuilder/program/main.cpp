// turnbuilder: writes a realm description as the game server's sign-up
// answer or received turn (pool file and, on request, the turn mail).
//
//   turnbuilder check  REALM [--changes FILE]...
//   turnbuilder turn   REALM [--changes FILE]... -o POOL [--mail DIR] [--to ADDRESS] [--date DATE]
//   turnbuilder signup REALM --number N -o POOL [--mail DIR] [--to ADDRESS] [--date DATE]
//   turnbuilder install REALM --dir FOLDER
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/files.h"
#include "routinen/system/prefs.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: turnbuilder check  REALM [--changes FILE]...\n"
               "       turnbuilder turn   REALM [--changes FILE]... -o POOL [--mail DIR] [--to ADDRESS] [--date DATE]\n"
               "       turnbuilder signup REALM --number N -o POOL [--mail DIR] [--to ADDRESS] [--date DATE]\n"
               "       turnbuilder install REALM --dir FOLDER\n");
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

// Sets the realm up as an installed game in folder (a working folder of the
// program): its sign-up answer through GameInit, account state 2, the
// answer's date as the last evaluated mail. A folder that already holds an
// installed game of the same player is left as it is.
int Install(const Realm& realm, const std::string& folder) {
  if (chdir(folder.c_str()) != 0) {
    std::fprintf(stderr, "turnbuilder: no folder %s\n", folder.c_str());
    return 1;
  }
  if (access("Data/Prefs.qoe", F_OK) == 0 && CheckPrefs(PREFS_ACCOUNT_STATE, 0, 0) == 2 &&
      CheckPrefs(PREFS_PLAYER_ID, 0, 0) == realm.player_id) {
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
  if (!GameInit(ReceivedPoolPath)) {
    std::fprintf(stderr, "turnbuilder: GameInit failed (see Quill.dbg in %s)\n", folder.c_str());
    return 1;
  }
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
  CheckPrefs(PREFS_LAST_MAIL_DATE, 1, (uint32_t)MailDateNow());
  std::printf("turnbuilder: realm of player %u installed in %s\n", realm.player_id, folder.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  DebugLogSetStderr(0);
  if (argc < 3) return Usage();
  std::string mode = argv[1], realm_path = argv[2], out, mail_dir, to = "player@quill-of-elmor.invalid", date, dir;
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
  if (mode == "install") return Install(realm, dir);

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
