// The turn download of a realistic 1 MB turn (the first-turn realm with a
// 240 x 184 hex window of map cells): fetched from a real dovecot on
// loopback and evaluated with every pass, the towns, the culture maps and
// the statistics, without the progress box. Baseline in the same run:
// reading the same mail file with fread and copying it with memcpy.
// Counters: fetch_ms and eval_ms per download (goals 200 ms in all, 100 ms
// for the evaluation).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/log.h"
#include "routinen/gamedata/chunks.h"
#include "routinen/gamedata/turns.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/lists.h"
#include "routinen/system/options.h"
#include "routinen/system/prefs.h"
#include "routinen/system/sysrecords.h"
#include "screens/hub/residenzdownload.h"
#include "screens/hub/residenzdownload_internal.h"
#include "tools/testpeers/testpeers.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace {

struct BenchState {
  // The peers' folder goes at exit, after the server in it has stopped.
  std::unique_ptr<qoe_peers::PeerDir> dir;
  qoe_peers::Dovecot dovecot;
  Realm realm;
  uint32_t year = 0;
  char name[MAIL_NAME_SIZE] = {};
  std::string sample;  // one turn mail, for the baseline
  bool ok = false;
};

BenchState& Bench() {
  static BenchState b;
  static bool done = false;
  if (done) return b;
  done = true;
  DebugLogSetStderr(0);
  b.dir = std::make_unique<qoe_peers::PeerDir>();
  const std::string work = b.dir->path + "/work";
  std::string err;
  if (!qoe_peers::MakeCertificate(b.dir->path, &err) ||
      !qoe_peers::StartDovecot(b.dir->path, {{"player", "secret"}}, &b.dovecot, &err)) {
    std::fprintf(stderr, "download bench: %s\n", err.c_str());
    return b;
  }
  if (!qoe_peers::Shell("mkdir -p '" + work + "/Data/POP3In' '" + work + "/Data/POP3Out'") || chdir(work.c_str()) != 0)
    return b;
  std::string text = qoe_peers::ReadText(std::string(QOE_SOURCE_DIR) + "/tools/turnbuilder/realms/first_turn.realm");
  text += "map x=7000 y=3000 width=240 height=184 values=2,3,1\n";
  for (int r = 0; r < 184; r++) {
    std::string row = "row ";
    for (int c = 0; c < 240; c++) row += ".fn^sdj~"[(r * 7 + c * 3) % 8];
    text += row + "\n";
  }
  if (!ParseRealm(text, "bench.realm", &b.realm, &err)) {
    std::fprintf(stderr, "download bench: %s\n", err.c_str());
    return b;
  }
  const Bytes answer = BuildSignupAnswer(b.realm);
  if (answer.empty()) return b;
  FILE* f = std::fopen("Data/POP3In/GameChunk.qoe", "wb");
  if (!f) return b;
  std::fwrite(answer.data(), 1, answer.size(), f);
  std::fclose(f);
  if (!GameInit(ReceivedPoolPath)) return b;
  CheckPrefs(PREFS_ACCOUNT_STATE, 1, 2);
  b.year = CheckPrefs(PREFS_YEAR, 0, 0);
  TurnMailName(b.realm.player_id, b.name);
  EndpointDefaults(&QoESystemPtr->Endpoints);
  QoESystemPtr->Endpoints.MailTls = TLS_OFF;
  OptionenPrefs& o = QoESystemPtr->Optionen;
  OptionenPrefsDefault(&o);
  o.net_option_bits = NET_MAIL_ROUTE;
  std::snprintf(o.pop3_host, sizeof o.pop3_host, "127.0.0.1:%u", b.dovecot.pop3);
  std::snprintf(o.pop3_user, sizeof o.pop3_user, "player");
  std::snprintf(o.pop3_password, sizeof o.pop3_password, "secret");
  b.ok = true;
  return b;
}

// The turn of the year after the last one, as the server mails it.
std::string NextTurn(BenchState& b) {
  Realm r = b.realm;
  std::string err;
  const std::string year = std::to_string(++b.year);
  ParseRealm("turn year=" + year + " quarter=0\nkorn granary_corn=" + year + "\n",
             "next.changes", &r, &err, true);
  return BuildTurnMail(BuildTurnPool(r), b.name, "player@localhost", "");
}

void BM_DownloadFromDovecotAndEvaluate(benchmark::State& state) {
  BenchState& b = Bench();
  if (!b.ok) {
    state.SkipWithError("no realm or no dovecot");
    return;
  }
  double fetch_ms = 0, eval_ms = 0;
  size_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const std::string mail = NextTurn(b);
    if (b.sample.empty()) b.sample = mail;
    bytes += mail.size();
    qoe_peers::DropMail(b.dovecot.mail_root, "player", mail);
    ListHeader* list = CreateList(LIST_TURN_MAILS);
    state.ResumeTiming();
    const auto t0 = std::chrono::steady_clock::now();
    char status[400];
    const char* got = HoleSpielzugMail(b.name, status, sizeof status);
    const auto t1 = std::chrono::steady_clock::now();
    const TurnEvaluation r = EvaluateTurnMails(list, b.name, nullptr);
    const auto t2 = std::chrono::steady_clock::now();
    state.PauseTiming();
    DeleteList(list, 1);
    if (!got || std::strcmp(got, "ok") != 0 || r.passedInfo != 1) {
      state.SkipWithError("the turn was not fetched and applied");
      break;
    }
    fetch_ms += std::chrono::duration<double, std::milli>(t1 - t0).count();
    eval_ms += std::chrono::duration<double, std::milli>(t2 - t1).count();
    state.ResumeTiming();
  }
  state.counters["fetch_ms"] = benchmark::Counter(fetch_ms, benchmark::Counter::kAvgIterations);
  state.counters["eval_ms"] = benchmark::Counter(eval_ms, benchmark::Counter::kAvgIterations);
  state.counters["mail_bytes"] = benchmark::Counter((double)bytes, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_DownloadFromDovecotAndEvaluate)->Iterations(12)->Unit(benchmark::kMillisecond);

// Baseline: the same mail read from disk with fread and copied once.
void BM_BaselineReadAndCopyTheMail(benchmark::State& state) {
  BenchState& b = Bench();
  if (!b.ok || b.sample.empty()) {
    state.SkipWithError("run after the download benchmark");
    return;
  }
  qoe_peers::WriteText("sample.email", b.sample);
  std::vector<char> buf(b.sample.size()), copy(b.sample.size());
  for (auto _ : state) {
    FILE* f = std::fopen("sample.email", "rb");
    const size_t n = f ? std::fread(buf.data(), 1, buf.size(), f) : 0;
    if (f) std::fclose(f);
    std::memcpy(copy.data(), buf.data(), n);
    benchmark::DoNotOptimize(copy.data());
  }
}
BENCHMARK(BM_BaselineReadAndCopyTheMail)->Unit(benchmark::kMillisecond);

}  // namespace
