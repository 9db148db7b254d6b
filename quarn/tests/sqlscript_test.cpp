// SQL scripts with expected output: each script under quarn/tests/sql runs in the console
// against a fresh database of a fresh instance directory, and its transcript must equal the
// script's .out file.  KEL_UPDATE_GOLDEN=1 rewrites the .out files.  Generated names are
// normalised.  The scripts call only the engine's own test routines (quarntestroutines).
// Also: two processes writing one database at once.
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "console.h"
#include "engine.h"

extern char **environ;

namespace {

namespace fs = std::filesystem;

class Instance {
 public:
  Instance() {
    char tmpl[] = "/tmp/quarnsqlXXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    dir_ = tmpl;
    setenv("QUARNPATH", dir_.c_str(), 1);
    setenv("QUARN_USER", "tester", 1);
  }
  ~Instance() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
    unsetenv("QUARN_USER");
  }
  const std::string &dir() const { return dir_; }

 private:
  std::string dir_;
};

std::string readFile(const fs::path &p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string normalise(const std::string &text) {
  return std::regex_replace(text, std::regex("SQL[0-9]{15}"), "SQL<generated>");
}

fs::path scriptDir() { return QUARN_SCRIPT_DIR; }

class SqlScript : public ::testing::TestWithParam<std::string> {};

TEST_P(SqlScript, TranscriptMatchesExpectedOutput) {
  Instance inst;
  fs::path script = scriptDir() / (GetParam() + ".sql");
  std::string text = readFile(script);
  ASSERT_FALSE(text.empty()) << script;
  sqlca ca;
  ASSERT_EQ(quarn::createDatabase("TESTDB", true, &ca), 0);
  std::vector<std::string> args = {"-d", "TESTDB", "-v", "-f", script.string()};
  if (text.rfind("-- [+c]", 0) == 0) args.insert(args.begin(), "+c");
  std::ostringstream out;
  std::istringstream none;
  quarn::runConsole(args, none, out, false);
  std::string got = normalise(out.str());
  fs::path expected = scriptDir() / (GetParam() + ".out");
  if (std::getenv("KEL_UPDATE_GOLDEN")) {
    std::ofstream(expected, std::ios::binary) << got;
    GTEST_SKIP() << "rewrote " << expected;
  }
  EXPECT_EQ(got, readFile(expected)) << "transcript of " << script;
  // Nothing is left behind but the database itself and its instance folders.
  for (const auto &e : fs::directory_iterator(inst.dir())) {
    std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "TESTDB.db" || name == "TESTDB.db-wal" || name == "TESTDB.db-shm" || name == "kel" ||
                name == "function")
        << name;
  }
}

INSTANTIATE_TEST_SUITE_P(Scripts, SqlScript, ::testing::Values("dialect", "errors", "units", "extension", "routines", "procedures",
                                                           "triggers", "savepoints", "assignment", "strings", "numbers", "datetime", "definitions", "queries", "temptables"));

// Two console processes insert into one table at once, each statement its own unit of work;
// every row arrives and the database stays sound.
TEST(TwoProcesses, ConcurrentWritersNeitherCorruptNorLoseRows) {
  Instance inst;
  sqlca ca;
  ASSERT_EQ(quarn::createDatabase("SHARED", true, &ca), 0);
  {
    std::unique_ptr<quarn::Session> s;
    ASSERT_EQ(quarn::Session::open("SHARED", "", "", &s, &ca), 0);
    ASSERT_EQ(s->execImmediate("CREATE TABLE w (proc INT NOT NULL, n INT NOT NULL, PRIMARY KEY (proc, n))", &ca), 0);
    ASSERT_EQ(s->commit(&ca), 0);
  }
  const int rows = 150;
  std::vector<std::string> scripts;
  for (int p = 1; p <= 2; ++p) {
    std::string file = inst.dir() + "/writer" + std::to_string(p) + ".sql";
    std::ofstream f(file);
    for (int n = 0; n < rows; ++n) f << "INSERT INTO w VALUES (" << p << ", " << n << ");\n";
    scripts.push_back(file);
  }
  std::string quarn = QUARN_CONSOLE;
  std::vector<pid_t> pids;
  for (const std::string &file : scripts) {
    std::string out = file + ".log";
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<std::string> argv = {quarn, "-d", "SHARED", "-f", file};
    std::vector<char *> cargv;
    for (std::string &a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    pid_t pid;
    ASSERT_EQ(posix_spawn(&pid, quarn.c_str(), &fa, nullptr, cargv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&fa);
    pids.push_back(pid);
  }
  for (pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << readFile(scripts[0] + ".log") << readFile(scripts[1] + ".log");
  }
  std::unique_ptr<quarn::Session> s;
  ASSERT_EQ(quarn::Session::open("SHARED", "", "", &s, &ca), 0);
  std::unique_ptr<quarn::Statement> st;
  ASSERT_EQ(s->prepare("SELECT proc, COUNT(*) FROM w GROUP BY proc ORDER BY proc", &st, &ca), 0);
  ASSERT_EQ(st->execute({}, &ca), 0);
  std::vector<quarn::Value> row;
  for (int p = 1; p <= 2; ++p) {
    ASSERT_EQ(st->fetch(&row, &ca), 0);
    EXPECT_EQ(row[0].i, p);
    EXPECT_EQ(row[1].i, rows);
  }
  EXPECT_EQ(st->fetch(&row, &ca), 100);
  st.reset();
  sqlite3_stmt *check = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(s->db(), "PRAGMA integrity_check", -1, &check, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char *>(sqlite3_column_text(check, 0)), "ok");
  sqlite3_finalize(check);
}

}  // namespace
