// The registration desk by hand: starts dovecot and exim on loopback ports
// with the registration mailbox and one player's mailbox, prints the
// settings for the game, and answers every sign-up mail that arrives with
// the chosen decision until it is stopped (README.md).
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "routinen/system/sysrecords.h"
#include "tools/signupdesk/signupdesk.h"
#include "tools/testpeers/testpeers.h"

namespace {

volatile sig_atomic_t g_stop = 0;

int Usage() {
  std::fprintf(stderr,
               "usage: signupdesk [--accept | --reject TEXT | --no-maps | --no-answer] [--realm FILE]\n"
               "  starts dovecot and exim on loopback ports (users 'anmeldung' and 'player',\n"
               "  password 'secret'), prints the game's settings and answers each sign-up.\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  signupdesk::DeskOrder order;
  order.realm = std::string(QOE_SOURCE_DIR) + "/tools/turnbuilder/realms/first_turn.realm";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--accept") order.decision = signupdesk::DESK_ACCEPT;
    else if (a == "--no-maps") order.decision = signupdesk::DESK_NO_MAPS;
    else if (a == "--no-answer") order.decision = signupdesk::DESK_NO_ANSWER;
    else if (a == "--reject" && i + 1 < argc) {
      order.decision = signupdesk::DESK_REJECT;
      order.rejection = argv[++i];
    } else if (a == "--realm" && i + 1 < argc) order.realm = argv[++i];
    else return Usage();
  }
  signal(SIGINT, [](int) { g_stop = 1; });
  signal(SIGTERM, [](int) { g_stop = 1; });
  qoe_peers::PeerDir dir;
  const std::vector<qoe_peers::MailUser> users = {{"anmeldung", "secret"}, {"player", "secret"}};
  qoe_peers::Dovecot dovecot;
  qoe_peers::Exim exim;
  std::string error;
  if (!qoe_peers::MakeCertificate(dir.path, &error) || !qoe_peers::StartDovecot(dir.path, users, &dovecot, &error) ||
      !qoe_peers::StartExim(dir.path, users, &exim, &error)) {
    std::fprintf(stderr, "signupdesk: %s\n", error.c_str());
    return 1;
  }
  std::printf("Endpoints.cfg:  registration_mailbox = anmeldung@localhost\n"
              "Options:        SMTP host 127.0.0.1:%u, POP3 host 127.0.0.1:%u,\n"
              "                POP3 user 'player', password 'secret', address player@localhost\n"
              "Waiting for sign-up mails (Ctrl-C ends).\n",
              exim.smtp, dovecot.pop3);
  std::fflush(stdout);
  order.mailRoot = dovecot.mail_root;
  order.deskUser = "anmeldung";
  order.player = "player@localhost";
  order.playerUser = "player";
  order.smtpHost = "127.0.0.1:" + std::to_string(exim.smtp);
  order.timeoutMs = 1000;
  EndpointConfig& e = QoESystemPtr->Endpoints;
  EndpointDefaults(&e);
  e.MailTls = TLS_OFF;  // loopback: the desk answers in clear
  while (!g_stop) {
    signupdesk::DeskResult r;
    if (signupdesk::AnswerSignup(order, &r)) {
      std::printf("answered sign-up I%07u of '%s'\n", r.number, r.nickname.c_str());
      std::fflush(stdout);
      order.mailIndex++;
    } else if (r.error.find("no sign-up mail arrived") == std::string::npos) {
      std::printf("sign-up %zu not answered: %s\n", order.mailIndex + 1, r.error.c_str());
      order.mailIndex++;
    }
  }
  return 0;
}
