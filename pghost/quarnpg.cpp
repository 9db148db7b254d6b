/*
 * quarnpg.cpp - the console tool quarnpg: runs one command against a throwaway PostgreSQL with
 * the extension installed (tests/pgcluster.h), then stops the server and removes everything.
 *
 * Usage: quarnpg [--set name=value]... [--files dir] -- command [args...]
 *   --set    a postgresql.conf setting of the cluster ("@ROOT@" stands for its directory)
 *   --files  copies the files of dir into a directory the server may read, allowed to the XML
 *            functions (quarnsql.xml_read_dirs) and named to the command as QUARNPG_FILES
 * The command finds the server through PGHOST, PGPORT, PGUSER and PGDATABASE; quarnpg exits
 * with its status (1 when the cluster cannot be made).
 */
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "pgcluster.h"

int main(int argc, char **argv) {
  qspg::ClusterOptions options;
  int k = 1;
  for (; k < argc && std::strcmp(argv[k], "--") != 0; ++k) {
    std::string a = argv[k];
    if (a == "--set" && k + 1 < argc && std::strchr(argv[k + 1], '=') != nullptr) {
      std::string s = argv[++k];
      options.settings.emplace_back(s.substr(0, s.find('=')), s.substr(s.find('=') + 1));
    } else if (a == "--files" && k + 1 < argc) {
      options.filesFrom = argv[++k];
      options.settings.emplace_back("quarnsql.xml_read_dirs", "@ROOT@/files");
    } else {
      k = argc;
    }
  }
  if (k + 1 >= argc) {
    std::fprintf(stderr, "usage: quarnpg [--set name=value]... [--files dir] -- command [args...]\n");
    return 2;
  }
  try {
    qspg::Cluster cluster(options);
    setenv("PGHOST", cluster.socketDir().c_str(), 1);
    setenv("PGPORT", std::to_string(cluster.port()).c_str(), 1);
    setenv("PGUSER", "postgres", 1);
    setenv("PGDATABASE", "postgres", 1);
    if (!options.filesFrom.empty()) setenv("QUARNPG_FILES", (cluster.root() + "/files").c_str(), 1);
    std::fprintf(stderr, "quarnpg: a throwaway PostgreSQL in %s (socket port %d)\n", cluster.root().c_str(),
                 cluster.port());
    pid_t pid = fork();
    if (pid == 0) {
      execvp(argv[k + 1], argv + k + 1);
      std::perror(argv[k + 1]);
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
  } catch (const std::exception &e) {
    std::fprintf(stderr, "quarnpg: %s\n", e.what());
    return 1;
  }
}
