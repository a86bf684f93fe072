// The registration desk: the game server's side of the sign-up for tests
// and for trying the sign-up by hand. It waits for a sign-up mail in the
// registration mailbox's Maildir, decodes and checks its INIT chunk, and
// answers by a scripted decision into the player's mailbox (README.md).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace signupdesk {

enum Decision { DESK_ACCEPT, DESK_REJECT, DESK_NO_MAPS, DESK_NO_ANSWER };

struct DeskOrder {
  Decision decision = DESK_ACCEPT;
  std::string rejection;       // the text of a refusal
  std::string realm;           // the first-turn realm (a realm description)
  std::string mailRoot;        // the Maildirs' root (<dir>/mail of the peers)
  std::string deskUser;        // the registration mailbox's user
  std::string deskAddress = "anmeldung@localhost";  // the answers' sender
  size_t mailIndex = 0;        // which mail of its Maildir (0: the first)
  std::string player;          // the player's address (the answers' recipient)
  std::string playerUser;      // the player's mailbox user (for DropMail)
  std::string smtpHost;        // "127.0.0.1:port" of the mail server, empty: DropMail
  int timeoutMs = 30000;
};

struct DeskResult {
  std::vector<uint8_t> init;   // the INIT chunk as the mail carried it (disk order)
  uint32_t number = 0;         // the sign-up number of the mail's name
  std::string nickname;        // the form's player name (the realm's lord)
  uint32_t playerId = 0;       // the realm's player (the first turn mail's name)
  std::string error;
};

// Waits for the mail, checks it and answers; false with result->error.
bool AnswerSignup(const DeskOrder& order, DeskResult* result);

// A pool image (disk order) without its BMAP, IMAP and PMAP chunks: the
// INFO mask and checksum made to match.
std::vector<uint8_t> WithoutMaps(const std::vector<uint8_t>& pool);

}  // namespace signupdesk
