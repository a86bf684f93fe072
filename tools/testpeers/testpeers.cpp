// Real servers and doubles for the network tests (docs/testpeers.md).
#include "testpeers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#ifndef QOE_TESTPEERS_DIR
#define QOE_TESTPEERS_DIR "."
#endif

namespace qoe_peers {

namespace fs = std::filesystem;

namespace {

const char* const kMailUser = "Debian-exim";

bool Owner(uid_t* uid, gid_t* gid) {
  struct passwd* pw = getpwnam(kMailUser);
  if (!pw) return false;
  *uid = pw->pw_uid;
  *gid = pw->pw_gid;
  return true;
}

bool MakeOwnedDir(const std::string& path, int mode = 0755) {
  uid_t uid;
  gid_t gid;
  if (!Owner(&uid, &gid)) return false;
  std::error_code ec;
  fs::create_directories(path, ec);
  return chmod(path.c_str(), (mode_t)mode) == 0 && chown(path.c_str(), uid, gid) == 0;
}

std::string Tail(const std::string& path, size_t n = 1500) {
  std::string t = ReadText(path);
  return t.size() > n ? t.substr(t.size() - n) : t;
}

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

}  // namespace

PeerDir::PeerDir() {
  char tmpl[] = "/tmp/qoe-peers-XXXXXX";
  char* d = mkdtemp(tmpl);
  if (d) {
    path = d;
    chmod(d, 0755);
  }
}

PeerDir::~PeerDir() {
  if (path.empty() || std::getenv("QOE_KEEP_TEST_DIRS")) return;
  std::error_code ec;
  fs::remove_all(path, ec);
}

uint16_t FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t al = sizeof a;
  uint16_t port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &al) == 0)
    port = ntohs(a.sin_port);
  close(fd);
  return port;
}

bool WaitPort(uint16_t port, int timeout_ms, const char* address) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  do {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, address, &a.sin_addr);
    bool ok = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (fd >= 0) close(fd);
    if (ok) return true;
    SleepMs(20);
  } while (std::chrono::steady_clock::now() < end);
  return false;
}

std::string ReadText(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

bool WriteText(const std::string& path, const std::string& text, int mode) {
  {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    f << text;
    if (!f) return false;
  }
  return chmod(path.c_str(), (mode_t)mode) == 0;
}

bool Shell(const std::string& command) {
  int rc = std::system(command.c_str());
  return rc != -1 && WIFEXITED(rc) && WEXITSTATUS(rc) == 0;
}

bool MakeCertificate(const std::string& dir, std::string* error) {
  std::string cmd = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
                    "-subj /CN=localhost -keyout '" + dir + "/key.pem' -out '" + dir + "/cert.pem' >'" + dir +
                    "/openssl.log' 2>&1";
  uid_t uid;
  gid_t gid;
  if (!Shell(cmd)) {
    *error = "openssl could not make a certificate: " + Tail(dir + "/openssl.log");
    return false;
  }
  if (!Owner(&uid, &gid) || chown((dir + "/key.pem").c_str(), uid, gid) != 0 ||
      chmod((dir + "/key.pem").c_str(), 0600) != 0 || chmod((dir + "/cert.pem").c_str(), 0644) != 0) {
    *error = "cannot hand the key to Debian-exim (is exim4-daemon-light installed?)";
    return false;
  }
  return true;
}

// ---- Processes ------------------------------------------------------------------

Server::~Server() { Stop(); }

bool Server::Running() const {
  if (pid <= 0) return false;
  int status;
  return waitpid(pid, &status, WNOHANG) == 0;
}

void Server::Stop() {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  for (int i = 0; i < 200; i++) {
    int status;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || r < 0) {
      pid = -1;
      return;
    }
    SleepMs(20);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

bool StartServer(Server* s, const std::string& name, const std::vector<std::string>& argv, const std::string& log,
                 const std::vector<uint16_t>& ports, std::string* error) {
  s->Stop();
  s->name = name;
  s->log = log;
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid < 0) {
    *error = name + ": fork failed";
    return false;
  }
  if (pid == 0) {
    // This process stays root and watches: it dies with the test (a server
    // that drops privileges loses the parent-death signal) and takes the
    // server along, and it ends when the server ends.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGCHLD);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    setpgid(0, 0);
    pid_t server = fork();
    if (server == 0) {
      sigprocmask(SIG_UNBLOCK, &set, nullptr);
      int in = open("/dev/null", O_RDONLY);
      int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      if (in >= 0) dup2(in, 0);
      if (out >= 0) {
        dup2(out, 1);
        dup2(out, 2);
      }
      execvp(args[0], args.data());
      std::fprintf(stderr, "cannot run %s: %s\n", args[0], std::strerror(errno));
      _exit(127);
    }
    for (;;) {
      int sig = 0;
      sigwait(&set, &sig);
      if (sig == SIGCHLD) {
        if (waitpid(server, nullptr, WNOHANG) == server) _exit(0);
        continue;
      }
      kill(server, SIGTERM);
      for (int i = 0; i < 120; i++) {
        if (waitpid(server, nullptr, WNOHANG) == server) _exit(0);
        usleep(20000);
      }
      kill(server, SIGKILL);
      waitpid(server, nullptr, 0);
      _exit(0);
    }
  }
  s->pid = pid;
  for (uint16_t port : ports) {
    if (!WaitPort(port, 10000) || !s->Running()) {
      s->Stop();
      *error = name + " did not start (port " + std::to_string(port) + "); its log:\n" + Tail(log);
      return false;
    }
  }
  return true;
}

// ---- dovecot ----------------------------------------------------------------------

bool StartDovecot(const std::string& dir, const std::vector<MailUser>& users, Dovecot* out, std::string* error) {
  std::string d = dir + "/dovecot";
  out->mail_root = dir + "/mail";
  if (!MakeOwnedDir(out->mail_root) || !MakeOwnedDir(dir + "/home")) {
    *error = "dovecot: cannot make the mail folders (is Debian-exim there?)";
    return false;
  }
  fs::create_directories(d + "/run");
  fs::create_directories(d + "/state");
  chmod(d.c_str(), 0755);
  std::string passwd;
  for (const auto& u : users) {
    passwd += u.name + ":{PLAIN}" + u.password + "\n";
    if (!MakeOwnedDir(out->mail_root + "/" + u.name, 0700) || !MakeOwnedDir(dir + "/home/" + u.name, 0700)) {
      *error = "dovecot: cannot make the Maildir of " + u.name;
      return false;
    }
    for (const char* sub : {"/new", "/cur", "/tmp"}) MakeOwnedDir(out->mail_root + "/" + u.name + sub, 0700);
  }
  WriteText(d + "/passwd", passwd, 0644);
  out->pop3 = FreePort();
  out->pop3s = FreePort();
  std::string conf =
      "base_dir = " + d + "/run\n"
      "state_dir = " + d + "/state\n"
      "log_path = " + d + "/dovecot.log\n"
      "info_log_path = " + d + "/dovecot.log\n"
      "protocols = pop3\n"
      "listen = 127.0.0.1\n"
      "ssl = yes\n"
      "ssl_cert = <" + dir + "/cert.pem\n"
      "ssl_key = <" + dir + "/key.pem\n"
      "disable_plaintext_auth = no\n"
      "auth_mechanisms = plain\n"
      "first_valid_uid = 1\n"
      "mail_location = maildir:" + out->mail_root + "/%u\n"
      "pop3_uidl_format = %08Xu%08Xv\n"
      "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN username_format=%u " + d + "/passwd\n}\n"
      "userdb {\n  driver = static\n  args = uid=Debian-exim gid=Debian-exim home=" + dir + "/home/%u\n}\n"
      "service pop3-login {\n"
      "  inet_listener pop3 {\n    port = " + std::to_string(out->pop3) + "\n  }\n"
      "  inet_listener pop3s {\n    port = " + std::to_string(out->pop3s) + "\n    ssl = yes\n  }\n"
      "}\n"
      "service anvil {\n  unix_listener anvil-auth-penalty {\n    mode = 0\n  }\n}\n";
  WriteText(d + "/dovecot.conf", conf, 0644);
  return StartServer(&out->server, "dovecot", {"dovecot", "-F", "-c", d + "/dovecot.conf"}, d + "/stdout.log",
                     {out->pop3, out->pop3s}, error) ||
         (*error += "\n" + Tail(d + "/dovecot.log"), false);
}

// ---- exim ------------------------------------------------------------------------------

bool StartExim(const std::string& dir, const std::vector<MailUser>& users, Exim* out, std::string* error) {
  std::string d = dir + "/exim";
  std::string mail_root = dir + "/mail";
  if (!MakeOwnedDir(d) || !MakeOwnedDir(d + "/spool", 0750) || !MakeOwnedDir(d + "/log", 0750) ||
      !MakeOwnedDir(mail_root)) {
    *error = "exim: cannot make its folders (is Debian-exim there?)";
    return false;
  }
  out->smtp = FreePort();
  out->smtp_auth = FreePort();
  out->smtps = FreePort();
  out->smtp_login = FreePort();
  std::string names, plain, login;
  for (const auto& u : users) {
    names += (names.empty() ? "" : " : ") + u.name;
    plain += "{eq{$auth2:$auth3}{" + u.name + ":" + u.password + "}}";
    login += "{eq{$auth1:$auth2}{" + u.name + ":" + u.password + "}}";
  }
  std::string auth_port = std::to_string(out->smtp_auth), login_port = std::to_string(out->smtp_login);
  std::string conf =
      "primary_hostname = localhost\n"
      "exim_user = Debian-exim\n"
      "exim_group = Debian-exim\n"
      "never_users = root\n"
      "spool_directory = " + d + "/spool\n"
      "log_file_path = " + d + "/log/%slog\n"
      "pid_file_path = " + d + "/exim.pid\n"
      "tls_certificate = " + dir + "/cert.pem\n"
      "tls_privatekey = " + dir + "/key.pem\n"
      "tls_advertise_hosts = *\n"
      "tls_on_connect_ports = " + std::to_string(out->smtps) + "\n"
      "auth_advertise_hosts = *\n"
      "rfc1413_hosts =\n"
      "host_lookup =\n"
      "message_size_limit = 100M\n"
      "acl_smtp_rcpt = acl_rcpt\n"
      "begin acl\n"
      "acl_rcpt:\n"
      "  deny condition = ${if eq{$received_port}{" + auth_port + "}}\n"
      "       !authenticated = *\n"
      "       message = 5.7.1 Relaying denied, authentication required\n"
      "  accept\n"
      "begin routers\n"
      "users:\n"
      "  driver = accept\n"
      "  local_parts = " + names + "\n"
      "  transport = maildir\n"
      "begin transports\n"
      "maildir:\n"
      "  driver = appendfile\n"
      "  directory = " + mail_root + "/$local_part_data\n"
      "  maildir_format\n"
      "  create_directory\n"
      "  delivery_date_add\n"
      "  envelope_to_add\n"
      "  return_path_add\n"
      "  user = Debian-exim\n"
      "  group = Debian-exim\n"
      "  mode = 0600\n"
      "  directory_mode = 0700\n"
      "begin authenticators\n"
      "plain:\n"
      "  driver = plaintext\n"
      "  public_name = PLAIN\n"
      "  server_prompts = :\n"
      "  server_condition = ${if or{" + plain + "}}\n"
      "  server_set_id = $auth2\n"
      "  server_advertise_condition = ${if !eq{$received_port}{" + login_port + "}}\n"
      "login:\n"
      "  driver = plaintext\n"
      "  public_name = LOGIN\n"
      "  server_prompts = Username:: : Password::\n"
      "  server_condition = ${if or{" + login + "}}\n"
      "  server_set_id = $auth1\n";
  WriteText(d + "/exim.conf", conf, 0644);
  std::string ports = std::to_string(out->smtp) + ":" + auth_port + ":" + std::to_string(out->smtps) + ":" + login_port;
  return StartServer(&out->server, "exim", {"exim", "-bdf", "-oX", ports, "-C", d + "/exim.conf"}, d + "/stdout.log",
                     {out->smtp, out->smtp_auth, out->smtps, out->smtp_login}, error) ||
         (*error += "\n" + Tail(d + "/log/mainlog"), false);
}

std::vector<std::string> MaildirFiles(const std::string& mail_root, const std::string& user) {
  std::vector<std::string> v;
  for (const char* sub : {"/new", "/cur"}) {
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(mail_root + "/" + user + sub, ec))
      if (e.is_regular_file()) v.push_back(e.path().string());
  }
  return v;
}

bool WaitMaildir(const std::string& mail_root, const std::string& user, size_t n, int timeout_ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (MaildirFiles(mail_root, user).size() < n) {
    if (std::chrono::steady_clock::now() > end) return false;
    SleepMs(20);
  }
  return true;
}

bool DropMail(const std::string& mail_root, const std::string& user, const std::string& text) {
  static std::atomic<int> seq{0};
  std::string dir = mail_root + "/" + user;
  for (const char* sub : {"", "/new", "/cur", "/tmp"}) MakeOwnedDir(dir + sub, 0700);
  std::string name = dir + "/new/" + std::to_string(time(nullptr)) + ".M" + std::to_string(seq++) + "P" +
                     std::to_string(getpid()) + ".qoe-test";
  uid_t uid;
  gid_t gid;
  return WriteText(name, text, 0600) && Owner(&uid, &gid) && chown(name.c_str(), uid, gid) == 0;
}

// ---- Proxy --------------------------------------------------------------------------------

CutProxy::~CutProxy() { Stop(); }

bool CutProxy::Start(uint16_t target, std::string* error) {
  target_ = target;
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t al = sizeof a;
  int one = 1;
  setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (listen_fd_ < 0 || bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      listen(listen_fd_, 8) != 0 || getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &al) != 0) {
    *error = "proxy: cannot listen";
    return false;
  }
  port_ = ntohs(a.sin_port);
  quit_ = false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void CutProxy::Stop() {
  quit_ = true;
  if (thread_.joinable()) thread_.join();
  if (listen_fd_ >= 0) close(listen_fd_);
  listen_fd_ = -1;
}

void CutProxy::Run() {
  while (!quit_) {
    pollfd lp = {listen_fd_, POLLIN, 0};
    if (poll(&lp, 1, 50) <= 0) continue;
    int client = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(target_);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      close(server);
      close(client);
      continue;
    }
    int64_t cut = cut_.load();
    int64_t down = 0;
    bool open = true;
    if (cut == 0) open = false;
    char buf[16384];
    while (open && !quit_) {
      pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      if (poll(p, 2, 50) <= 0) continue;
      if (p[0].revents) {
        long n = recv(client, buf, sizeof buf, 0);
        if (n <= 0 || send(server, buf, (size_t)n, MSG_NOSIGNAL) != n) open = false;
      }
      if (open && p[1].revents) {
        long want = sizeof buf;
        if (cut >= 0 && cut - down < want) want = cut - down;
        long n = recv(server, buf, (size_t)want, 0);
        if (n <= 0 || send(client, buf, (size_t)n, MSG_NOSIGNAL) != n) open = false;
        if (n > 0) down += n;
        if (cut >= 0 && down >= cut) open = false;
      }
    }
    last_ = down;
    close(server);
    close(client);
  }
}

// ---- Scripted peer -------------------------------------------------------------------------

bool StartScriptedPeer(const std::string& dir, const std::string& protocol, const std::vector<std::string>& options,
                       ScriptedPeer* out, std::string* error) {
  out->port = FreePort();
  std::vector<std::string> argv = {"/usr/bin/python3", std::string(QOE_TESTPEERS_DIR) + "/scripted_peer.py",
                                   "--proto", protocol, "--port", std::to_string(out->port)};
  argv.insert(argv.end(), options.begin(), options.end());
  static std::atomic<int> seq{0};
  return StartServer(&out->server, "scripted " + protocol + " peer", argv,
                     dir + "/scripted-" + protocol + "-" + std::to_string(seq++) + ".log", {out->port}, error);
}

bool StartGameServer(const std::string& dir, const std::vector<std::string>& options, GameServerDouble* out,
                     std::string* error) {
  out->port = FreePort();
  std::vector<std::string> argv = {"/usr/bin/python3", std::string(QOE_TESTPEERS_DIR) + "/../gameserver/gameserver.py",
                                   "--port", std::to_string(out->port)};
  argv.insert(argv.end(), options.begin(), options.end());
  static std::atomic<int> seq{0};
  return StartServer(&out->server, "game-server double", argv, dir + "/gameserver-" + std::to_string(seq++) + ".log",
                     {out->port}, error);
}

// ---- nginx ------------------------------------------------------------------------------

bool StartNginx(const std::string& dir, Nginx* out, std::string* error) {
  std::string d = dir + "/nginx";
  out->root = d + "/www";
  std::error_code ec;
  fs::create_directories(out->root + "/chunked", ec);
  fs::create_directories(d + "/tmp", ec);
  for (const std::string& f : {d, out->root, out->root + "/chunked"}) chmod(f.c_str(), 0755);
  out->port = FreePort();
  std::string conf =
      "daemon off;\n"
      "worker_processes 1;\n"
      "pid " + d + "/nginx.pid;\n"
      "error_log " + d + "/error.log;\n"
      "events { worker_connections 64; }\n"
      "http {\n"
      "  access_log " + d + "/access.log;\n"
      "  client_body_temp_path " + d + "/tmp/body;\n"
      "  proxy_temp_path " + d + "/tmp/proxy;\n"
      "  fastcgi_temp_path " + d + "/tmp/fastcgi;\n"
      "  uwsgi_temp_path " + d + "/tmp/uwsgi;\n"
      "  scgi_temp_path " + d + "/tmp/scgi;\n"
      "  default_type text/plain;\n"
      "  server {\n"
      "    listen 127.0.0.1:" + std::to_string(out->port) + ";\n"
      "    root " + out->root + ";\n"
      "    location /chunked/ { ssi on; ssi_types *; }\n"
      "  }\n"
      "}\n";
  WriteText(d + "/nginx.conf", conf, 0644);
  return StartServer(&out->server, "nginx", {"nginx", "-p", d, "-c", d + "/nginx.conf", "-e", d + "/error.log"},
                     d + "/stdout.log", {out->port}, error) ||
         (*error += "\n" + Tail(d + "/error.log"), false);
}

bool StartFtpServer(const std::string& dir, const std::string& user, const std::string& password, FtpServer* out,
                    std::string* error) {
  std::string d = dir + "/ftp";
  out->root = d + "/root";
  std::error_code ec;
  fs::create_directories(out->root, ec);
  chmod(d.c_str(), 0755);
  chmod(out->root.c_str(), 0755);
  out->port = FreePort();
  return StartServer(&out->server, "pyftpdlib",
                     {"/usr/bin/python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p", std::to_string(out->port), "-d",
                      out->root, "-u", user, "-P", password},
                     d + "/ftp.log", {out->port}, error);
}

int Ngircd::Connections() const {
  std::string t = ReadText(server.log);
  int n = 0;
  const char* key = " registered (connection ";
  for (size_t p = t.find(key); p != std::string::npos; p = t.find(key, p + 1)) n++;
  return n;
}

bool StartNgircd(const std::string& dir, Ngircd* out, std::string* error) {
  std::string d = dir + "/ngircd";
  std::error_code ec;
  fs::create_directories(d, ec);
  chmod(d.c_str(), 0755);
  out->port = FreePort();
  std::string conf =
      "[Global]\n"
      "Name = irc.quill.test\n"
      "Info = Quill test server\n"
      "Listen = 127.0.0.1\n"
      "Ports = " + std::to_string(out->port) + "\n"
      "MotdPhrase = \"Quill\"\n"
      "[Limits]\n"
      "MaxNickLength = 30\n"
      "MaxPenaltyTime = 0\n"
      "MaxConnectionsIP = 0\n"
      "PingTimeout = 120\n"
      "[Options]\n"
      "DNS = no\n"
      "Ident = no\n"
      "PAM = no\n";
  WriteText(d + "/ngircd.conf", conf, 0644);
  return StartServer(&out->server, "ngircd", {"ngircd", "-n", "-f", d + "/ngircd.conf"}, d + "/log", {out->port},
                     error);
}

bool StartNetDouble(const std::string& dir, const std::string& protocol, const std::vector<std::string>& options,
                    NetDouble* out, std::string* error) {
  out->port = FreePort();
  std::vector<std::string> argv = {"/usr/bin/python3", std::string(QOE_TESTPEERS_DIR) + "/net_double.py", "--proto",
                                   protocol, "--port", std::to_string(out->port)};
  argv.insert(argv.end(), options.begin(), options.end());
  static std::atomic<int> seq{0};
  return StartServer(&out->server, protocol + " double", argv,
                     dir + "/double-" + protocol + "-" + std::to_string(seq++) + ".log", {out->port}, error);
}

}  // namespace qoe_peers
