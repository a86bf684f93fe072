// The registration desk. See signupdesk.h.
#include "signupdesk.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "routinen/gamedata/chunks.h"
#include "routinen/internetlowlevel/mail.h"
#include "routinen/system/byteorder.h"
#include "routinen/system/checksum.h"
#include "routinen/system/memory.h"
#include "tools/testpeers/testpeers.h"
#include "tools/turnbuilder/turnbuilder.h"

namespace signupdesk {

namespace {

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The Subject's name of a mail text.
std::string SubjectName(const std::string& mail) {
  size_t at = 0;
  for (;;) {
    at = mail.find("Subject:", at);
    if (at == std::string::npos) return "";
    if (at == 0 || mail[at - 1] == '\n') break;
    at += 8;
  }
  size_t end = mail.find('\n', at);
  if (end == std::string::npos) end = mail.size();
  const std::string value = mail.substr(at + 8, end - at - 8);
  char name[MAIL_NAME_SIZE] = {};
  if (!MailNameFromSubject(value.data(), value.size(), name)) return "";
  return name;
}

bool Deliver(const DeskOrder& o, const std::string& mail, std::string* error) {
  if (o.smtpHost.empty()) {
    if (qoe_peers::DropMail(o.mailRoot, o.playerUser, mail)) return true;
    *error = "DropMail into " + o.playerUser + " failed";
    return false;
  }
  const char* a = SendEMail(o.smtpHost.c_str(), o.deskAddress.c_str(), o.player.c_str(), mail.c_str(), nullptr);
  if (a && std::strncmp(a, "ok", 2) == 0) return true;
  *error = std::string("the answer was refused: ") + (a ? a : "");
  return false;
}

}  // namespace

std::vector<uint8_t> WithoutMaps(const std::vector<uint8_t>& pool) {
  std::vector<uint8_t> out;
  for (size_t pos = 0; pos + 12 <= pool.size();) {
    const uint32_t len = GetBE32(pool.data() + pos + 8);
    if (len > pool.size() - pos - 12) break;
    const bool map = !std::memcmp(&pool[pos], "BMAP", 4) || !std::memcmp(&pool[pos], "IMAP", 4) ||
                     !std::memcmp(&pool[pos], "PMAP", 4);
    if (!map) out.insert(out.end(), pool.begin() + (ptrdiff_t)pos, pool.begin() + (ptrdiff_t)(pos + 12 + len));
    pos += 12 + len;
  }
  if (out.size() >= INFO_CHUNK_SIZE && !std::memcmp(out.data(), "INFO", 4)) {
    const uint32_t mask = GetBE32(out.data() + INFO_CHUNK_MASK) &
                          ~(ChunkBit(CHUNK_BMAP) | ChunkBit(CHUNK_IMAP) | ChunkBit(CHUNK_PMAP));
    PutBE32(out.data() + INFO_CHUNK_MASK, mask);
    const size_t info = 12 + (size_t)GetBE32(out.data() + 8);
    if (info <= out.size())
      PutBE32(out.data() + INFO_CHECKSUM, Crc32(out.data() + info, (uint32_t)(out.size() - info)));
  }
  return out;
}

bool AnswerSignup(const DeskOrder& o, DeskResult* r) {
  *r = DeskResult{};
  if (!qoe_peers::WaitMaildir(o.mailRoot, o.deskUser, o.mailIndex + 1, o.timeoutMs)) {
    r->error = "no sign-up mail arrived for " + o.deskUser;
    return false;
  }
  std::vector<std::string> files = qoe_peers::MaildirFiles(o.mailRoot, o.deskUser);
  std::sort(files.begin(), files.end());
  if (files.size() <= o.mailIndex) {
    r->error = "the sign-up mail went away";
    return false;
  }
  const std::string mail = FileText(files[o.mailIndex]);
  uint8_t* data = nullptr;
  uint32_t length = 0;
  const VDecodeResult v = VDecode(mail.data(), mail.size(), &data, &length);
  if (v != VDECODE_OK) {
    r->error = std::string("the sign-up mail does not decode: ") + VDecodeResultText(v);
    return false;
  }
  r->init.assign(data, data + length);
  FreeVec(data);
  const std::vector<uint8_t>& c = r->init;
  if (c.size() != 784 || std::memcmp(c.data(), "INITV001", 8) != 0 || GetBE32(c.data() + 8) != 772 ||
      GetBE16(c.data() + 696) != 2) {
    r->error = "the sign-up mail holds no INIT chunk of 784 bytes with form version 2";
    return false;
  }
  const std::string name = SubjectName(mail);
  if (name.size() != 8 || name[0] != 'I' ||
      name.find_first_not_of("0123456789", 1) != std::string::npos) {
    r->error = "the sign-up mail's name is no sign-up number: '" + name + "'";
    return false;
  }
  r->number = (uint32_t)std::stoul(name.substr(1));
  r->nickname.assign(reinterpret_cast<const char*>(c.data() + 282), strnlen(reinterpret_cast<const char*>(c.data() + 282), 40));
  if (o.decision == DESK_NO_ANSWER) return true;

  Realm realm;
  if (!LoadRealmFile(o.realm, &realm, &r->error)) return false;
  realm.player_name = r->nickname;
  if (o.decision == DESK_REJECT) {
    realm.rejected = true;
    realm.rejection = o.rejection;
  }
  r->playerId = realm.player_id;
  Bytes answer = BuildSignupAnswer(realm);
  if (o.decision == DESK_NO_MAPS) answer = WithoutMaps(answer);
  char answer_name[MAIL_NAME_SIZE];
  SignupMailName(r->number, answer_name);
  if (!Deliver(o, BuildTurnMail(answer, answer_name, o.player, ""), &r->error)) return false;
  if (o.decision != DESK_ACCEPT) return true;
  char turn_name[MAIL_NAME_SIZE];
  TurnMailName(realm.player_id, turn_name);
  return Deliver(o, BuildTurnMail(BuildTurnPool(realm), turn_name, o.player, ""), &r->error);
}

}  // namespace signupdesk
