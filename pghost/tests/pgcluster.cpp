/*
 * pgcluster.cpp - the throwaway PostgreSQL with the extension installed (see pgcluster.h).
 */
#include "pgcluster.h"

#include <fcntl.h>
#include <grp.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace qspg {

namespace {

namespace fs = std::filesystem;

std::string readAll(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The last lines of a log, for an error message.
std::string tailOf(const std::string &path) {
  std::string text = readAll(path);
  if (text.size() > 4000) text = "..." + text.substr(text.size() - 4000);
  return text;
}

// A TCP port nobody listens on now (the server listens on a Unix socket of that number).
int freePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("no socket for finding a free port");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot find a free port");
  }
  ::close(fd);
  return ntohs(addr.sin_port);
}

struct Child {
  std::vector<std::string> argv;
  std::vector<std::string> env;  // NAME=value set in the child
  std::string log;               // stdout and stderr, appended
  std::string cwd;
  bool asServer = false;
  uid_t uid = 0;
  gid_t gid = 0;
  bool dieWithParent = false;
};

// Starts a child process; returns its pid.  Only async-signal-safe calls after fork.
pid_t spawn(const Child &c) {
  std::vector<char *> argv;
  for (const std::string &a : c.argv) argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);
  int logFd = ::open(c.log.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (logFd < 0) throw std::runtime_error("cannot open the log " + c.log);
  if (c.asServer) (void)::fchown(logFd, c.uid, c.gid);
  pid_t parent = ::getpid();
  pid_t pid = ::fork();
  if (pid < 0) {
    ::close(logFd);
    throw std::runtime_error("fork failed");
  }
  if (pid == 0) {
    ::dup2(logFd, 1);
    ::dup2(logFd, 2);
    int devnull = ::open("/dev/null", O_RDONLY);
    if (devnull >= 0) ::dup2(devnull, 0);
    if (!c.cwd.empty() && ::chdir(c.cwd.c_str()) != 0) ::_exit(126);
    if (c.asServer && (::setgroups(0, nullptr) != 0 || ::setgid(c.gid) != 0 || ::setuid(c.uid) != 0)) ::_exit(126);
    // After the change of user, which clears it: the server quits when its starter dies.
    if (c.dieWithParent) {
      ::prctl(PR_SET_PDEATHSIG, SIGQUIT);
      if (::getppid() != parent) ::_exit(125);
    }
    for (const std::string &e : c.env) ::putenv(const_cast<char *>(e.c_str()));
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(logFd);
  return pid;
}

int waitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int run(const Child &c) { return waitFor(spawn(c)); }

// Links every entry of from into to that to does not have (directories of to are entered).
void linkMissing(const fs::path &from, const fs::path &to) {
  fs::create_directories(to);
  for (const fs::directory_entry &e : fs::directory_iterator(from)) {
    fs::path target = to / e.path().filename();
    if (fs::is_directory(target) && !fs::is_symlink(target) && e.is_directory()) linkMissing(e.path(), target);
    else if (!fs::exists(fs::symlink_status(target))) fs::create_symlink(e.path(), target);
  }
}

}  // namespace

Cluster::Cluster(const ClusterOptions &options) {
  std::string pattern = (fs::temp_directory_path() / "quarnpgXXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary directory");
  root_ = pattern;
  try {
    install_ = root_ + "/inst";
    data_ = root_ + "/data";
    socketDir_ = root_ + "/sock";
    fs::create_directories(socketDir_);

    // The extension, as its package installs it, then the server's programs and the rest.
    Child cmake;
    cmake.argv = {QS_CMAKE, "--install", QS_BUILD_DIR, "--component", "pghost"};
    cmake.env = {"DESTDIR=" + install_};
    cmake.log = root_ + "/install.log";
    if (run(cmake) != 0) throw std::runtime_error("installing the extension failed:\n" + tailOf(cmake.log));
    const fs::path bindir = install_ + QS_PG_BINDIR;
    fs::create_directories(bindir);
    for (const char *program : {"postgres", "initdb"})
      fs::copy_file(fs::path(QS_PG_BINDIR) / program, bindir / program, fs::copy_options::overwrite_existing);
    linkMissing(QS_PG_PKGLIBDIR, install_ + QS_PG_PKGLIBDIR);
    linkMissing(QS_PG_SHAREDIR, install_ + QS_PG_SHAREDIR);
    const fs::path routines = install_ + QS_PG_PKGLIBDIR + "/quarnxml/lib";
    for (const std::string &lib : options.routineLibraries)
      fs::copy_file(lib, routines / fs::path(lib).filename(), fs::copy_options::overwrite_existing);
    if (!options.filesFrom.empty()) fs::copy(options.filesFrom, root_ + "/files", fs::copy_options::recursive);

    // initdb and the server refuse root.
    if (::geteuid() == 0) {
      const passwd *pw = ::getpwnam("postgres");
      if (pw == nullptr) pw = ::getpwnam("nobody");
      if (pw == nullptr) throw std::runtime_error("running as root, and neither the user postgres nor nobody exists");
      uid_ = pw->pw_uid;
      gid_ = pw->pw_gid;
      switchUser_ = true;
      giveToServer(root_);
    }

    Child initdb;
    initdb.argv = {(bindir / "initdb").string(), "-D", data_, "-U", "postgres", "-A", "trust", "-E", "UTF8",
                   "--locale=C", "--no-sync", "--no-instructions"};
    initdb.log = root_ + "/initdb.log";
    initdb.cwd = root_;
    initdb.asServer = switchUser_;
    initdb.uid = uid_;
    initdb.gid = gid_;
    if (run(initdb) != 0) throw std::runtime_error("initdb failed:\n" + tailOf(initdb.log));

    port_ = freePort();
    {
      std::ofstream conf(data_ + "/postgresql.conf", std::ios::app);
      conf << "\n# The throwaway cluster of the tests\n"
           << "listen_addresses = ''\nport = " << port_ << "\nunix_socket_directories = '" << socketDir_ << "'\n"
           << "fsync = off\nsynchronous_commit = off\nfull_page_writes = off\nshared_buffers = '32MB'\n"
           << "max_connections = 20\njit = off\nlog_min_messages = warning\nlog_line_prefix = '%m [%p] '\n";
      for (const auto &[name, setting] : options.settings) {
        std::string value = setting, quoted;
        for (size_t at; (at = value.find("@ROOT@")) != std::string::npos;) value.replace(at, 6, root_);
        for (char c : value) quoted += c == '\'' ? std::string("''") : std::string(1, c);
        conf << name << " = '" << quoted << "'\n";
      }
      if (!conf) throw std::runtime_error("cannot write postgresql.conf");
    }

    Child server;
    server.argv = {(bindir / "postgres").string(), "-D", data_};
    server.log = root_ + "/server.log";
    server.cwd = root_;
    server.asServer = switchUser_;
    server.uid = uid_;
    server.gid = gid_;
    server.dieWithParent = true;
    postmaster_ = spawn(server);

    const std::string info = conninfo();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (PQping(info.c_str()) != PQPING_OK) {
      int status = 0;
      if (::waitpid(postmaster_, &status, WNOHANG) == postmaster_) {
        postmaster_ = -1;
        throw std::runtime_error("the server did not start:\n" + tailOf(server.log));
      }
      if (std::chrono::steady_clock::now() > deadline)
        throw std::runtime_error("the server did not accept connections in time:\n" + tailOf(server.log));
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  } catch (...) {
    stop();
    throw;
  }
}

Cluster::~Cluster() { stop(); }

void Cluster::stop() {
  if (postmaster_ > 0) {
    // A fast shutdown; an immediate one, then a kill, if the server does not go in time.
    const int signals[] = {SIGINT, SIGQUIT, SIGKILL};
    for (int sig : signals) {
      ::kill(postmaster_, sig);
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(sig == SIGKILL ? 60 : 30);
      int status = 0;
      pid_t done = 0;
      while ((done = ::waitpid(postmaster_, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (done != 0) break;
    }
    postmaster_ = -1;
  }
  if (!root_.empty() && std::getenv("QS_KEEP_CLUSTER") == nullptr) {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
}

std::string Cluster::conninfo(const std::string &db) const {
  return "host=" + socketDir_ + " port=" + std::to_string(port_) + " user=postgres dbname=" + db;
}

std::string Cluster::serverDir(const std::string &name) const {
  std::string dir = root_ + "/" + name;
  fs::create_directories(dir);
  giveToServer(dir);
  return dir;
}

void Cluster::giveToServer(const std::string &path) const {
  if (!switchUser_) return;
  (void)::lchown(path.c_str(), uid_, gid_);
  if (!fs::is_directory(fs::symlink_status(path))) return;
  for (const fs::directory_entry &e : fs::recursive_directory_iterator(path))
    (void)::lchown(e.path().c_str(), uid_, gid_);
}

void Cluster::createDatabase(const std::string &name) const {
  PGconn *c = PQconnectdb(conninfo().c_str());
  std::string sql = "CREATE DATABASE \"" + name + "\" TEMPLATE template0 ENCODING 'UTF8' LOCALE 'C'";
  PGresult *r = PQstatus(c) == CONNECTION_OK ? PQexec(c, sql.c_str()) : nullptr;
  bool ok = r != nullptr && PQresultStatus(r) == PGRES_COMMAND_OK;
  std::string error = r != nullptr ? PQresultErrorMessage(r) : PQerrorMessage(c);
  PQclear(r);
  PQfinish(c);
  if (!ok) throw std::runtime_error("CREATE DATABASE " + name + " failed: " + error);
}

std::string Cluster::serverLog() const { return readAll(root_ + "/server.log"); }

}  // namespace qspg
