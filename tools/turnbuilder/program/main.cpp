// turnbuilder: writes a realm description as the game server's sign-up
// answer or received turn (pool file and, on request, the turn mail).
//
//   turnbuilder check  REALM [--changes FILE]...
//   turnbuilder turn   REALM [--changes FILE]... -o POOL [--mail DIR] [--to ADDRESS] [--date DATE]
//   turnbuilder signup REALM --number N -o POOL [--mail DIR] [--to ADDRESS] [--date DATE]
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/log.h"
#include "routinen/internetlowlevel/mail.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: turnbuilder check  REALM [--changes FILE]...\n"
               "       turnbuilder turn   REALM [--changes FILE]... -o POOL [--mail DIR] [--to ADDRESS] [--date DATE]\n"
               "       turnbuilder signup REALM --number N -o POOL [--mail DIR] [--to ADDRESS] [--date DATE]\n");
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

}  // namespace

int main(int argc, char** argv) {
  DebugLogSetStderr(0);
  if (argc < 3) return Usage();
  std::string mode = argv[1], realm_path = argv[2], out, mail_dir, to = "player@quill-of-elmor.invalid", date;
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
    else return Usage();
  }
  if (mode != "check" && mode != "turn" && mode != "signup") return Usage();
  if (mode != "check" && out.empty()) return Usage();
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
