// A console process killed (SIGKILL) while it enables or disables a database, at many moments:
// afterwards the database is fully enabled or not enabled at all, and enablement and
// disablement work again.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "kel_test_env.h"

extern char **environ;

namespace {

std::string run(const std::string &command) {
  std::string out;
  FILE *p = popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

// Starts the console with one statement and kills it after delay.
void killDuring(const std::string &sql, std::chrono::microseconds delay) {
  std::string console = KEL_QUARN_CONSOLE;
  const char *argv[] = {console.c_str(), "-d", "KILLDB", sql.c_str(), nullptr};
  pid_t pid = 0;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  ASSERT_EQ(posix_spawn(&pid, console.c_str(), &actions, nullptr, const_cast<char **>(argv), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  std::this_thread::sleep_for(delay);
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
}

// "enabled" or "absent" when the database is in one of the two whole states, else what is left.
std::string state() {
  std::string console = KEL_QUARN_CONSOLE;
  // CHAR of an INTEGER is CHAR(11), padded with blanks: RTRIM leaves the digits.
  std::string out = run(console + " -d KILLDB \"SELECT 'N=' || RTRIM(CHAR((SELECT COUNT(*) FROM SYSCAT.ROUTINES WHERE "
                                   "ROUTINESCHEMA = 'QUARNXML'))) || ',' || RTRIM(CHAR((SELECT COUNT(*) FROM SYSCAT.TABLES "
                                   "WHERE TABSCHEMA = 'QUARNXML'))) FROM SYSCAT.TABLES FETCH FIRST 1 ROWS ONLY\"");
  size_t at = out.find("N=");
  if (at == std::string::npos) return "unreadable: " + out;
  std::string counts = out.substr(at + 2, out.find_first_of(" \n", at) - at - 2);
  if (counts == "0,0") return "absent";
  if (counts == "145,2") return "enabled";  // every routine and both catalogue tables
  return counts;
}

TEST(KilledEnablement, LeavesTheDatabaseWholeEitherWay) {
  keltest::TempDir inst;
  keltest::ScopedEnv env;
  env.set("QUARNPATH", inst.str());
  std::string console = KEL_QUARN_CONSOLE;
  run(console + " 'CREATE DATABASE KILLDB'");
  const std::string enable = "CALL 'quarnxml!kelEnableDB'('KILLDB', ?, ?)";
  const std::string disable = "CALL QUARNXML.kelDisableDB('KILLDB', ?, ?)";
  int seen[2] = {0, 0};
  for (int i = 0; i < 12; ++i) {
    std::string before = state();
    killDuring(before == "enabled" ? disable : enable, std::chrono::microseconds(20000 + 25000 * i));
    std::string after = state();
    ASSERT_TRUE(after == "enabled" || after == "absent") << "after a kill at step " << i << ": " << after;
    ++seen[after == "enabled" ? 1 : 0];
  }
  std::printf("kills left the database enabled %d times and not enabled %d times\n", seen[1], seen[0]);
  // Whatever the kills left, both procedures still work.
  if (state() == "absent") run(console + " -d KILLDB \"" + enable + "\"");
  EXPECT_EQ(state(), "enabled");
  run(console + " -d KILLDB \"" + disable + "\"");
  EXPECT_EQ(state(), "absent");
  run(console + " -d KILLDB \"" + enable + "\"");
  EXPECT_EQ(state(), "enabled");
}

}  // namespace
