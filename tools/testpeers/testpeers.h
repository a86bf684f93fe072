// Test peers: real servers (dovecot, exim) started by a test as plain
// processes on loopback high ports with their files in a folder of the test,
// a proxy that cuts a connection after N bytes, and the scripted Python peer
// (scripted_peer.py) for what a real server will not do. Every start reports
// why it failed: a test that needs a peer fails with that text, it never
// skips. See docs/testpeers.md.
#pragma once
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace qoe_peers {

// A fresh folder under /tmp, mode 755 (the servers run as other users),
// removed with everything in it by the destructor.
struct PeerDir {
  std::string path;
  PeerDir();
  ~PeerDir();
  PeerDir(const PeerDir&) = delete;
  PeerDir& operator=(const PeerDir&) = delete;
};

// A loopback TCP port that was free a moment ago.
uint16_t FreePort();
// 1 when the port accepts a connection within timeout_ms (20 ms polls).
bool WaitPort(uint16_t port, int timeout_ms, const char* address = "127.0.0.1");
std::string ReadText(const std::string& path);
bool WriteText(const std::string& path, const std::string& text, int mode = 0644);
// Runs a shell command; true when it exits with 0.
bool Shell(const std::string& command);

// A self-signed certificate for CN=localhost: <dir>/cert.pem and
// <dir>/key.pem, the key owned by Debian-exim (exim reads it after dropping
// root).
bool MakeCertificate(const std::string& dir, std::string* error);

// A started server process; the destructor stops it.
struct Server {
  pid_t pid = -1;
  std::string name;
  std::string log;
  ~Server();
  void Stop();
  bool Running() const;
};
// Starts argv with stdin from /dev/null and stdout/stderr into log, then
// waits until every port accepts. On failure: the error with the log's tail.
bool StartServer(Server* s, const std::string& name, const std::vector<std::string>& argv, const std::string& log,
                 const std::vector<uint16_t>& ports, std::string* error);

struct MailUser {
  std::string name;
  std::string password;
};

// dovecot as POP3 server: passwd-file users, mail of user u in the Maildir
// <dir>/mail/<u>; pop3 plain (STLS offered) and pop3s (TLS from the first
// byte) on 127.0.0.1.
struct Dovecot {
  Server server;
  uint16_t pop3 = 0;
  uint16_t pop3s = 0;
  std::string mail_root;  // <dir>/mail
};
bool StartDovecot(const std::string& dir, const std::vector<MailUser>& users, Dovecot* out, std::string* error);

// exim delivering every recipient whose local part is a user into the same
// Maildirs. Ports: smtp (anything goes, STARTTLS and AUTH offered),
// smtp_auth (recipients only after AUTH), smtps (TLS from the first byte),
// smtp_login (AUTH offers only LOGIN). Users log in with their passwords.
struct Exim {
  Server server;
  uint16_t smtp = 0;
  uint16_t smtp_auth = 0;
  uint16_t smtps = 0;
  uint16_t smtp_login = 0;
};
bool StartExim(const std::string& dir, const std::vector<MailUser>& users, Exim* out, std::string* error);

// Files in a user's Maildir (new and cur).
std::vector<std::string> MaildirFiles(const std::string& mail_root, const std::string& user);
// Waits until the Maildir holds at least n files.
bool WaitMaildir(const std::string& mail_root, const std::string& user, size_t n, int timeout_ms);
// Puts a mail straight into a Maildir (owned by Debian-exim like a delivery).
bool DropMail(const std::string& mail_root, const std::string& user, const std::string& text);

// Forwards one connection at a time from its own port to a target port and
// cuts both sides once cut_after bytes went from the target to the client
// (-1: never). Connections are served one after another.
class CutProxy {
 public:
  ~CutProxy();
  bool Start(uint16_t target, std::string* error);
  void SetCut(int64_t cut_after) { cut_.store(cut_after); }
  // Bytes the target sent in the last finished connection.
  int64_t LastBytes() const { return last_.load(); }
  uint16_t port() const { return port_; }
  void Stop();

 private:
  void Run();
  int listen_fd_ = -1;
  uint16_t port_ = 0, target_ = 0;
  std::atomic<int64_t> cut_{-1};
  std::atomic<int64_t> last_{0};
  std::atomic<bool> quit_{false};
  std::thread thread_;
};

// The scripted peer: `scripted_peer.py` speaking smtp or pop3 on a free port
// with the given options (see the script's help).
struct ScriptedPeer {
  Server server;
  uint16_t port = 0;
};
bool StartScriptedPeer(const std::string& dir, const std::string& protocol, const std::vector<std::string>& options,
                       ScriptedPeer* out, std::string* error);

// The game-server double (tools/gameserver/gameserver.py) on a free port
// with the given options (see the script's help).
struct GameServerDouble {
  Server server;
  uint16_t port = 0;
};
bool StartGameServer(const std::string& dir, const std::vector<std::string>& options, GameServerDouble* out,
                     std::string* error);

// nginx serving <dir>/nginx/www (files the test puts there) on a free
// loopback port; files under www/chunked/ go out chunked (ssi), the bytes
// unchanged.
struct Nginx {
  Server server;
  uint16_t port = 0;
  std::string root;  // <dir>/nginx/www
};
bool StartNginx(const std::string& dir, Nginx* out, std::string* error);

// pyftpdlib (Debian's /usr/bin/python3) serving <dir>/ftp/root read-only on
// a free loopback port to the user with the password (passive mode).
struct FtpServer {
  Server server;
  uint16_t port = 0;
  std::string root;  // <dir>/ftp/root
};
bool StartFtpServer(const std::string& dir, const std::string& user, const std::string& password, FtpServer* out,
                    std::string* error);

// ngircd on a free loopback port (nicknames up to 30 characters, no
// penalties, no DNS or ident look-ups); its log (stderr) in <dir>/ngircd/log.
struct Ngircd {
  Server server;
  uint16_t port = 0;
  // IRC clients that registered so far (from the server's log).
  int Connections() const;
};
bool StartNgircd(const std::string& dir, Ngircd* out, std::string* error);

// The scripted double of the internet clients (net_double.py: http, ftp or
// irc) on a free port with the given options (see the script's help).
struct NetDouble {
  Server server;
  uint16_t port = 0;
};
bool StartNetDouble(const std::string& dir, const std::string& protocol, const std::vector<std::string>& options,
                    NetDouble* out, std::string* error);

}  // namespace qoe_peers
