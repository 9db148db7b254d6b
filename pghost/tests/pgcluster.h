/*
 * pgcluster.h - a throwaway PostgreSQL with the extension installed: a temporary installation
 * (the server's programs copied, the rest of PostgreSQL's library and share directories linked,
 * the component "pghost" of this build installed into it with DESTDIR, as PostgreSQL's own
 * temporary installations are made), a cluster made by initdb in the same temporary directory,
 * and a server that listens only on a Unix socket in that private directory (so no other user of
 * the machine can reach its trusted superuser), on a port number that is free.
 *
 * initdb and the server refuse to run as root: run as root, they run as the system user
 * "postgres" (or "nobody"), which then owns the temporary directory.  The server gets
 * SIGKILL-safe cleanup of its processes (it is told to quit when the process that started it
 * dies); the destructor stops it and removes the directory, also when a test failed.
 *
 * Used by the tests, the benchmark's PostgreSQL mode and the console tool quarnpg.  Not
 * thread-safe; one object per cluster.
 */
#ifndef QS_PGCLUSTER_H
#define QS_PGCLUSTER_H

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace qspg {

struct ClusterOptions {
  // postgresql.conf settings (name, value), written as name = 'value'; "@ROOT@" in a value
  // stands for the temporary directory (root()).
  std::vector<std::pair<std::string, std::string>> settings;
  // A directory whose files are copied to root()/files, owned by the server's user.
  std::string filesFrom;
  // Further routine libraries (files) copied into the routine directory ($libdir/quarnxml/lib).
  std::vector<std::string> routineLibraries;
};

class Cluster {
 public:
  // Builds the installation and the cluster and starts the server.  Throws std::runtime_error
  // naming the step that failed, with the end of its log.
  explicit Cluster(const ClusterOptions &options = ClusterOptions());
  ~Cluster();
  Cluster(const Cluster &) = delete;
  Cluster &operator=(const Cluster &) = delete;

  // A libpq connection string for database db, as the superuser "postgres".
  std::string conninfo(const std::string &db = "postgres") const;
  // The socket directory and the port (for PGHOST / PGPORT).
  const std::string &socketDir() const { return socketDir_; }
  int port() const { return port_; }
  // The temporary directory; files under it the server must read belong to the server's user.
  const std::string &root() const { return root_; }
  // Makes a directory under root() that the server's user owns, and returns its path.
  std::string serverDir(const std::string &name) const;
  // Gives path (recursively) to the server's user.
  void giveToServer(const std::string &path) const;
  // Creates a database (UTF8, template0).
  void createDatabase(const std::string &name) const;
  // The server's log so far.
  std::string serverLog() const;
  // The process id of the postmaster.
  pid_t postmaster() const { return postmaster_; }

 private:
  void stop();

  std::string root_, install_, data_, socketDir_;
  int port_ = 0;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  bool switchUser_ = false;
  pid_t postmaster_ = -1;
};

}  // namespace qspg

#endif /* QS_PGCLUSTER_H */
