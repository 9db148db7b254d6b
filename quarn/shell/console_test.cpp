// The console `quarn` run as a process, as people and scripts run it: several statements in one
// argument, the three output modes on one query, timing, exit statuses, help and version, and
// standard input that is not a terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <pty.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "kel_golden.h"
#include "kel_test_env.h"

extern char **environ;

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Reads fd until text appears at or after *at in *seen (then moves *at past it), the output
// ends, or 20 s pass: a console that never answers fails the test rather than hanging it.
bool waitForOutput(int fd, const std::string &text, std::string *seen, size_t *at) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (seen->find(text, *at) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buf[512];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    seen->append(buf, static_cast<size_t>(n));
  }
  size_t found = seen->find(text, *at);
  if (found == std::string::npos) return false;
  *at = found + text.size();
  return true;
}

// Starts the console with args and the file actions fa; posix_spawn's result.
int spawnConsole(pid_t *pid, const posix_spawn_file_actions_t *fa, const std::vector<std::string> &args) {
  std::vector<std::string> argv = {QUARN_CONSOLE};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char *> cargv;
  for (std::string &a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  return posix_spawn(pid, QUARN_CONSOLE, fa, nullptr, cargv.data(), environ);
}

// A console running in the background on the environment of the test, as a second user's at
// another terminal: its standard input is a pipe the test writes lines to, its standard output
// and error a pipe the test reads.  The destructor ends its input and waits for it to end.
class BackgroundConsole {
 public:
  explicit BackgroundConsole(const std::vector<std::string> &args) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) return;
    if (pipe2(out, O_CLOEXEC) != 0) {
      close(in[0]);
      close(in[1]);
      return;
    }
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, out[1], 2);
    if (spawnConsole(&pid_, &fa, args) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(in[0]);
    close(out[1]);
    in_ = in[1];
    out_ = out[0];
  }
  ~BackgroundConsole() { finish(); }
  BackgroundConsole(const BackgroundConsole &) = delete;
  BackgroundConsole &operator=(const BackgroundConsole &) = delete;

  bool running() const { return pid_ > 0; }
  void send(const std::string &text) {
    EXPECT_EQ(write(in_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  // Reads the output until text appears after what an earlier call found, the output ends or
  // 20 s pass (a console that never answers fails the test rather than hanging it).
  bool waitFor(const std::string &text) { return waitForOutput(out_, text, &seen_, &at_); }
  const std::string &seen() const { return seen_; }
  // Ends the input and returns the exit status (-1 when the console was killed after 20 s).
  int finish() {
    if (in_ >= 0) close(in_);
    in_ = -1;
    int result = -1;
    if (pid_ > 0) {
      int status = 0;
      pid_t done = 0;
      for (int k = 0; k < 200 && (done = waitpid(pid_, &status, WNOHANG)) == 0; ++k) usleep(100000);
      if (done != pid_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
      } else if (WIFEXITED(status)) {
        result = WEXITSTATUS(status);
      }
      pid_ = -1;
    }
    if (out_ >= 0) close(out_);
    out_ = -1;
    return result;
  }

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  std::string seen_;
  size_t at_ = 0;
};

class ConsoleProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(instance());
    env_.set("QUARNPATH", instance());
    env_.set("QUARN_USER", "tester");
    env_.unset("QUARNKELPATH");
    env_.unset("QUARNINSTANCE");
    ASSERT_EQ(quarn({"CREATE DATABASE db"}).status, 0);
  }

  std::string instance() const { return dir_.file("instance"); }

  // Runs the console with args and input on its standard input (a file, not a terminal).
  // stdinPath, when given, is opened as standard input instead of a file holding input.
  Outcome quarn(const std::vector<std::string> &args, const std::string &input = "", const std::string &stdinPath = "") {
    std::string in = dir_.file("stdin"), out = dir_.file("stdout"), err = dir_.file("stderr");
    keltest::writeFile(in, input);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, stdinPath.empty() ? in.c_str() : stdinPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    Outcome r;
    pid_t pid;
    int rc = spawnConsole(&pid, &fa, args);
    posix_spawn_file_actions_destroy(&fa);
    if (rc == 0) {
      int status = 0;
      if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) r.status = WEXITSTATUS(status);
    }
    r.out = keltest::readFile(out);
    r.err = keltest::readFile(err);
    fs::remove(in);
    fs::remove(out);
    fs::remove(err);
    return r;
  }

  // The rows of a query as CSV without the header line.
  std::string rows(const std::string &query) {
    Outcome r = quarn({"-d", "db", "--csv", "--no-header", query});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  }

  static int count(const std::string &text, const std::string &what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
  }

  keltest::TempDir dir_;
  keltest::ScopedEnv env_;
};

// One argument holds several statements, run in order: a ';' inside a literal and the
// statements of a trigger body do not split them.
TEST_F(ConsoleProcess, ArgumentRunsEachOfItsStatementsInOrder) {
  Outcome r = quarn({"-d", "db",
                 "CREATE TABLE t (a VARCHAR(10)); CREATE TABLE log (m VARCHAR(20));\n"
                 "CREATE TRIGGER tr AFTER INSERT ON t REFERENCING NEW AS n FOR EACH ROW MODE QUARNSQL\n"
                 "  BEGIN ATOMIC INSERT INTO log VALUES ('saw ' || n.a); INSERT INTO log VALUES ('then;'); END;\n"
                 "INSERT INTO t VALUES ('x;y'); -- a comment; not a statement\n"
                 "INSERT INTO t VALUES ('z');"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(count(r.out, "The SQL command completed successfully."), 5) << r.out;
  EXPECT_EQ(rows("SELECT a FROM t ORDER BY a"), "x;y\nz\n");
  EXPECT_EQ(rows("SELECT m FROM log ORDER BY m"), "saw x;y\nsaw z\nthen;\nthen;\n");
  // Without autocommit, a ROLLBACK in the same argument undoes what came before it.
  r = quarn({"+c", "-d", "db", "INSERT INTO t VALUES ('r1'); INSERT INTO t VALUES ('r2'); ROLLBACK"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(rows("SELECT COUNT(*) FROM t"), "2\n");
  // A UTF-8 byte-order mark before the argument's first statement is dropped, as from a file
  // (it was SQL0104N at a word the user could not see).
  EXPECT_EQ(rows("\xEF\xBB\xBFVALUES 1"), "1\n");
}

// The first failing statement of an argument ends the run with its status; later statements
// do not run.  A script file goes on after a failure and still exits with the failure's status.
TEST_F(ConsoleProcess, ExitStatusIsThatOfTheFirstFailingStatement) {
  ASSERT_EQ(quarn({"-d", "db", "CREATE TABLE t (a VARCHAR(3) NOT NULL PRIMARY KEY)"}).status, 0);
  Outcome r = quarn({"-d", "db", "INSERT INTO t VALUES ('1'); INSERT INTO t VALUES ('1'); INSERT INTO t VALUES ('3')"});
  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(count(r.out, "SQLSTATE=23505"), 1) << r.out;
  EXPECT_EQ(rows("SELECT a FROM t ORDER BY a"), "1\n");
  keltest::writeFile(dir_.file("script.sql"), "INSERT INTO t VALUES ('4');\nINSERT INTO t VALUES ('toolong');\n"
                                              "INSERT INTO t VALUES ('5');\n");
  r = quarn({"-d", "db", "-f", dir_.file("script.sql")});
  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(count(r.out, "SQLSTATE=22001"), 1) << r.out;
  EXPECT_EQ(rows("SELECT a FROM t ORDER BY a"), "1\n4\n5\n");
  // A statement that cannot even be read fails alike; a missing database is a failure too.
  EXPECT_EQ(quarn({"-d", "db", "VALUES 1; VALUES 'open"}).status, 4);
  EXPECT_EQ(quarn({"-d", "nosuch", "VALUES 1"}).status, 4);
  EXPECT_EQ(quarn({"-d", "db", "-f", dir_.file("missing.sql")}).status, 8);
  // No row found is success, as the help says.
  r = quarn({"-d", "db", "DELETE FROM t WHERE a = 'x'"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(count(r.out, "SQL0100W"), 1) << r.out;
  EXPECT_NE(quarn({"--help"}).out.find("0 success (also no row found, SQL0100W)"), std::string::npos);
}

// The same query in the three modes: NULLs, non-ASCII text, a CLOB with a line break, a
// decimal and a double.  A value's text is the same in each; only the quoting differs (the table
// shows a line break as a blank and counts a wide character as two columns).  In CSV
// and JSON standard output holds the data alone: messages go to standard error.
TEST_F(ConsoleProcess, ThreeOutputModesOfOneQuery) {
  Outcome r = quarn({"-d", "db",
                 "CREATE TABLE m (id INTEGER NOT NULL, name VARCHAR(20), price DECIMAL(7,2), ratio DOUBLE, note CLOB(1M));"
                 "INSERT INTO m VALUES (1, 'Björn \"B\", Malmö', 12.5, 0.25, 'line one\nline two');"
                 "INSERT INTO m VALUES (2, NULL, NULL, NULL, NULL);"
                 "INSERT INTO m VALUES (3, '日本', -3, 1e20, '')"});
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string query = "SELECT id, name, price, ratio, note FROM m ORDER BY id";

  // The golden files: tests/data/console/modes.{txt,csv,json}.
  for (const std::string mode : {"table", "csv", "json"}) {
    std::vector<std::string> args = {"-d", "db", query};
    if (mode != "table") args.insert(args.begin(), "--" + mode);
    r = quarn(args);
    EXPECT_EQ(r.status, 0) << mode;
    std::string golden = "modes." + (mode == "table" ? std::string("txt") : mode);
    EXPECT_TRUE(keltest::matchesGolden(keltest::goldenFile("console", golden), r.out));
    if (mode != "table") {
      EXPECT_EQ(r.err, "") << mode;
    }
  }

  // --no-header: the table's rows without its heading, CSV without its header line.
  r = quarn({"-d", "db", "--no-header", "SELECT id FROM m WHERE id > 1 ORDER BY id"});
  EXPECT_EQ(r.out, "2\n3\n\n  2 record(s) selected.\n\n");
  EXPECT_EQ(rows("SELECT id, name FROM m WHERE id = 1"), "1,\"Björn \"\"B\"\", Malmö\"\n");

  // A failure in a data mode: nothing on standard output, the message on standard error.
  r = quarn({"-d", "db", "--json", "SELECT * FROM nosuch"});
  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("SQL0204N"), std::string::npos) << r.err;
}

// --timing adds one line after each statement's result, and only when asked; in the data modes
// the line goes to standard error.
TEST_F(ConsoleProcess, TimingLinesOnlyWhenAsked) {
  const std::regex timeLine("Time: [0-9]+\\.[0-9]{3} ms\n");
  auto timeLines = [&](const std::string &text) {
    return std::distance(std::sregex_iterator(text.begin(), text.end(), timeLine), std::sregex_iterator());
  };
  const std::string statements = "VALUES 1; CREATE TABLE q (a INT); VALUES 'x' || 'y'";
  Outcome plain = quarn({"-d", "db", "VALUES 1"});
  EXPECT_EQ(plain.out.find("Time:"), std::string::npos);
  Outcome timed = quarn({"-d", "db", "--timing", "DROP TABLE q; " + statements});
  EXPECT_NE(timed.status, 0);  // DROP TABLE q fails first: one statement, one time line
  EXPECT_EQ(timeLines(timed.out), 1) << timed.out;
  timed = quarn({"-d", "db", "--timing", statements});
  EXPECT_EQ(timed.status, 0) << timed.out;
  EXPECT_EQ(timeLines(timed.out), 3) << timed.out;
  // Each time follows its own result.
  EXPECT_TRUE(std::regex_search(timed.out, std::regex("record\\(s\\) selected\\.\n\nTime: [0-9.]+ ms\n\n"
                                                      "The SQL command completed successfully\\.\n\nTime: ")))
      << timed.out;
  Outcome csv = quarn({"-d", "db", "--csv", "--timing", "VALUES 1"});
  EXPECT_EQ(csv.out, "1\n1\n");
  EXPECT_EQ(timeLines(csv.err), 1) << csv.err;
}

// Standard input that is not a terminal: no prompt and no editing, statements split as in a
// file (-f - reads it too), and no history is kept.
TEST_F(ConsoleProcess, StandardInputWithoutTerminal) {
  const std::string input = "VALUES 'a;b';\nVALUES\n  2\n";
  Outcome r = quarn({"-d", "db", "--csv", "--no-header"}, input);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "a;b\n2\n");
  EXPECT_EQ(r.err, "");
  r = quarn({"-d", "db", "--csv", "--no-header", "-f", "-"}, input);
  EXPECT_EQ(r.out, "a;b\n2\n");
  EXPECT_FALSE(fs::exists(fs::path(instance()) / "quarn_history"));
  // EXIT alone on a line between statements ends the input, as QUIT; inside a statement it is
  // a word of it.
  r = quarn({"-d", "db", "--csv", "--no-header"}, "VALUES 1;\n exit \nVALUES 2;\n");
  EXPECT_EQ(r.out, "1\n");
  r = quarn({"-d", "db", "--csv", "--no-header"}, "VALUES\nexit;\nVALUES 2;\n");
  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(r.out, "2\n");
  // Inside a comment it is comment text.  A QUIT line in an open /* */ comment ended the
  // script there with status 0.
  r = quarn({"-d", "db", "--csv", "--no-header"}, "VALUES 1;\n/* the end:\nquit\n*/\nVALUES 2;\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1\n2\n");
  // A UTF-8 byte-order mark before the first statement is not read as part of it (it was
  // SQL0104N at VALUES).
  r = quarn({"-d", "db", "--csv", "--no-header"}, "\xEF\xBB\xBFVALUES 3;\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "3\n");
}

// An input that cannot be read is a file error (8) with its reason, as a missing file is:
// a directory given with -f or as standard input, a file whose reading fails.  They ran
// nothing and ended with status 0.  An empty -f is a usage error: it read standard input.
TEST_F(ConsoleProcess, InputThatCannotBeReadIsAFileError) {
  Outcome r = quarn({"-d", "db", "-f", dir_.str()});
  EXPECT_EQ(r.status, 8);
  EXPECT_EQ(r.err, "quarn: cannot read " + dir_.str() + ": Is a directory\n");
  r = quarn({"-d", "db"}, "", dir_.str());
  EXPECT_EQ(r.status, 8);
  EXPECT_EQ(r.err, "quarn: cannot read standard input: Is a directory\n");
  r = quarn({"-d", "db", "-f", "/proc/self/mem"});
  EXPECT_EQ(r.status, 8);
  EXPECT_EQ(r.err.rfind("quarn: cannot read /proc/self/mem: ", 0), 0u) << r.err;
  r = quarn({"-d", "db", "-f", dir_.file("missing.sql")});
  EXPECT_EQ(r.err, "quarn: cannot read " + dir_.file("missing.sql") + ": No such file or directory\n");
  r = quarn({"-d", "db", "-f", ""}, "VALUES 1;\n");
  EXPECT_EQ(r.status, 8);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("quarn: option -f needs a file name", 0), 0u) << r.err;
}

// A CONNECT that fails leaves the connection and its open unit of work as they were: the
// ROLLBACK after it undoes the INSERT before it.  It committed the INSERT and dropped the
// connection before it knew the new one could be made.  A CONNECT that succeeds still ends the
// old connection's work with a COMMIT.
TEST_F(ConsoleProcess, FailedConnectKeepsTheConnectionAndItsWork) {
  ASSERT_EQ(quarn({"-d", "db", "CREATE TABLE cx (i INT)"}).status, 0);
  Outcome r = quarn({"-d", "db", "+c"}, "INSERT INTO cx VALUES (1);\nCONNECT TO nosuch;\nROLLBACK;\n"
                                         "SELECT COUNT(*) FROM cx;\n");
  EXPECT_EQ(r.status, 4);
  EXPECT_EQ(count(r.out, "SQL1013N"), 1) << r.out;
  EXPECT_EQ(count(r.out, "SQL1024N"), 0) << r.out;
  EXPECT_EQ(rows("SELECT COUNT(*) FROM cx"), "0\n");
  r = quarn({"-d", "db", "+c"}, "INSERT INTO cx VALUES (1);\nCONNECT TO db;\nROLLBACK;\n");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(rows("SELECT COUNT(*) FROM cx"), "1\n");
}

// A session at a terminal (a pseudo-terminal here): prompts, line editing (a typed character
// erased), history kept in the instance directory for the owner only, QUIT without a
// terminator, and a later session that recalls a line of the history (Ctrl-P twice, past the
// QUIT) and runs it again.
TEST_F(ConsoleProcess, TerminalHasPromptsEditingAndHistory) {
  env_.set("TERM", "dumb");
  env_.set("HOME", dir_.str());  // no personal editrc
  // Types each step's input once the text expected before it has appeared.  (The session ends
  // with QUIT rather than Ctrl-D: the prompt may show before the terminal leaves line mode, and
  // an end-of-file character typed then is taken by the line discipline.)  A console that does
  // not end in time is killed, so the test cannot hang.
  struct Step {
    std::string before, input;
  };
  auto session = [&](const std::vector<Step> &steps) {
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
      execl(QUARN_CONSOLE, QUARN_CONSOLE, "-d", "db", static_cast<char *>(nullptr));
      _exit(127);
    }
    std::string seen;
    size_t at = 0;
    auto waitFor = [&](const std::string &text) { return waitForOutput(master, text, &seen, &at); };
    for (const Step &step : steps) {
      EXPECT_TRUE(waitFor(step.before)) << step.before << " in " << seen;
      EXPECT_EQ(write(master, step.input.data(), step.input.size()), static_cast<ssize_t>(step.input.size()));
    }
    int status = -1;
    for (int k = 0; k < 200 && waitpid(pid, &status, WNOHANG) == 0; ++k) usleep(100000);
    if (status == -1) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << "the console did not end: " << seen;
    }
    close(master);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen;
    return seen;
  };
  const std::string ready = "selected.\r\n\r\nquarn => ";
  std::string first = session({{"quarn => ", "VALUES 'abX\x7f" "c' ||\n"},
                               {"quarn (cont.) => ", "'d';\n"},
                               {ready, "VALUES 'e';\n"},
                               {ready, "QUIT\n"}});
  EXPECT_NE(first.find("\r\nabcd\r\n"), std::string::npos) << first;
  fs::path history = fs::path(instance()) / "quarn_history";
  ASSERT_TRUE(fs::exists(history));
  struct stat st;
  ASSERT_EQ(stat(history.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::string saved = keltest::readFile(history.string());
  EXPECT_NE(saved.find("'abc'"), std::string::npos) << saved;
  EXPECT_EQ(saved.find("abX"), std::string::npos) << saved;
  std::string second = session({{"quarn => ", "\x10\x10\n"}, {ready, "quit\n"}});
  EXPECT_NE(second.find("\r\ne\r\n"), std::string::npos) << second;
}

// A malformed console command is refused at the token that does not fit, naming what may
// stand there, and a name that is no name is shown as given.  The messages contradicted
// themselves ("unexpected token USER ... Expected tokens may include: USER", "" as the name of
// 9 or 't1'), and DROP DATABASE ignored words after the name and dropped the database.
TEST_F(ConsoleProcess, CommandErrorsNameTheTokenThatDoesNotFit) {
  Outcome r = quarn({}, "CONNECT TO db USER bob;\nCONNECT TO db bob;\nCREATE DATABASE 9;\nCONNECT TO 'db';\n"
                        "DROP DATABASE db now;\nCREATE DATABASE db2 WITHOUT;\n");
  EXPECT_EQ(r.status, 4);
  for (const char *message :
       {"SQL0104N An unexpected token \"END OF STATEMENT\" was found following \"bob\".  Expected tokens may include: "
        "\"USING\".",
        "SQL0104N An unexpected token \"bob\" was found following \"db\".  Expected tokens may include: \"USER\".",
        "SQL1001N \"9\" is not a valid database name.",
        "SQL1013N The database alias name or database name \"'DB'\" could not be found.",
        "SQL0104N An unexpected token \"now\" was found following \"db\".  Expected tokens may include: "
        "\"END OF STATEMENT\".",
        "SQL0104N An unexpected token \"END OF STATEMENT\" was found following \"WITHOUT\".  Expected tokens may "
        "include: \"GRAPHIC\"."})
    EXPECT_EQ(count(r.out, message), 1) << message << "\n" << r.out;
  // The password is not shown.
  r = quarn({"CONNECT TO db USER bob USING secret now"});
  EXPECT_EQ(r.out.find("secret"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"now\" was found following \"<password>\""), std::string::npos) << r.out;
  EXPECT_TRUE(fs::exists(fs::path(instance()) / "DB.db"));
  EXPECT_FALSE(fs::exists(fs::path(instance()) / "DB2.db"));
  r = quarn({"-d", "db", "LIST TABLES FOR SCHEMA"});
  EXPECT_NE(r.out.find("following \"SCHEMA\".  Expected tokens may include: \"<schema name>\"."), std::string::npos)
      << r.out;
}

// --help names every option with one line and gives examples; --version the product version;
// a usage error exits 8 with its reason on standard error.  An empty -d is one: it ran the
// statements without a connection (SQL1024N).
TEST_F(ConsoleProcess, HelpVersionAndUsageErrors) {
  Outcome help = quarn({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char *option : {"-d database", "-f file", "+c", "-c ", "-v ", "--csv", "--json", "--no-header",
                             "--timing", "-h, --help", "--version", "-- "})
    EXPECT_NE(help.out.find(std::string("\n  ") + option), std::string::npos) << option;
  EXPECT_NE(help.out.find("Examples:\n  quarn "), std::string::npos);
  Outcome version = quarn({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_match(version.out, std::regex("quarn \\(quarnxml\\) [0-9]+\\.[0-9]+\\.[0-9]+\n")))
      << version.out;
  for (std::vector<std::string> bad : {std::vector<std::string>{"--bogus"}, {"--csv", "--json", "VALUES 1"}, {"-d"},
                                       {"-f", "x.sql", "VALUES 1"}, {"-f", ""}, {"-d", "", "VALUES 1"}}) {
    Outcome r = quarn(bad);
    EXPECT_EQ(r.status, 8) << bad[0];
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("quarn: ", 0), 0u) << r.err;
  }
  // After "--", words that begin with '-' belong to the statement.
  Outcome words = quarn({"-d", "db", "--csv", "--no-header", "--", "VALUES", "-1"});
  EXPECT_EQ(words.out, "-1\n");
}

// A console command cut short is -104 at the missing token, naming what may stand there, with
// a connection or without.  They were SQL1024N without a connection, and with one the engine's
// -104 at the command's first word with TABLE or SELECT expected.  DISCONNECT points to CONNECT
// RESET.
TEST_F(ConsoleProcess, IncompleteCommandsNameTheMissingToken) {
  const std::string commands = "CREATE DATABASE;\nDROP DATABASE;\nCONNECT TO;\nLIST;\nDESCRIBE OUTPUT;\n"
                               "DESCRIBE TABLE;\nDISCONNECT;\n";
  auto missing = [](const std::string &after, const std::string &expected) {
    return "SQL0104N An unexpected token \"END OF STATEMENT\" was found following \"" + after +
           "\".  Expected tokens may include: \"" + expected + "\".";
  };
  for (const std::vector<std::string> &args : {std::vector<std::string>{}, {"-d", "db"}}) {
    Outcome r = quarn(args, commands);
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(count(r.out, "SQL0104N"), 7) << r.out;
    EXPECT_EQ(count(r.out, missing("DATABASE", "<database name>")), 2) << r.out;
    for (const std::string &message :
         {missing("TO", "<database name>"), missing("LIST", "TABLES"), missing("OUTPUT", "<query>"),
          missing("TABLE", "<table name>"),
          std::string("SQL0104N An unexpected token \"DISCONNECT\" was found following \"\".  Expected tokens may "
                      "include: \"CONNECT RESET\".")})
      EXPECT_EQ(count(r.out, message), 1) << message << "\n" << r.out;
  }
}

// In autocommit mode a statement that fails ends its unit of work as one that succeeds (what it
// changed itself is undone by the engine).  The unit of work of a failed INSERT (a value too
// long, a duplicate key) or CREATE TABLE stayed open with SQLite's write lock until the
// console's next statement, and another process's INSERT meanwhile waited and failed with
// SQL0911N.
TEST_F(ConsoleProcess, FailedStatementEndsItsUnitOfWork) {
  ASSERT_EQ(quarn({"-d", "db", "CREATE TABLE w (id INT NOT NULL PRIMARY KEY, v VARCHAR(3)); INSERT INTO w VALUES (1, 'a')"})
                .status,
            0);
  env_.set("QUARN_LOCKTIMEOUT", "2000");
  BackgroundConsole console({"-d", "db"});
  ASSERT_TRUE(console.running());
  struct Failing {
    std::string statement, sqlstate;
  };
  int id = 10;
  for (const Failing &f : {Failing{"INSERT INTO w VALUES (2, 'toolong')", "SQLSTATE=22001"},
                           Failing{"INSERT INTO w VALUES (1, 'dup')", "SQLSTATE=23505"},
                           Failing{"CREATE TABLE w (a INT)", "SQLSTATE=42710"}}) {
    console.send(f.statement + ";\n");
    ASSERT_TRUE(console.waitFor(f.sqlstate)) << f.statement << "\n" << console.seen();
    Outcome other = quarn({"-d", "db", "INSERT INTO w VALUES (" + std::to_string(++id) + ", 'ok')"});
    EXPECT_EQ(other.status, 0) << f.statement << "\n" << other.out;
    EXPECT_EQ(count(other.out, "SQL0911N"), 0) << f.statement << "\n" << other.out;
  }
  console.send("SELECT COUNT(*) FROM w;\n");
  EXPECT_TRUE(console.waitFor("\n4\n")) << console.seen();
  EXPECT_EQ(console.finish(), 4);
}

// DROP DATABASE of the database the console is connected to, while another process uses it:
// the drop fails with SQL1035N and the console is still connected, with its schema and path;
// with work of an open unit of work (+c) it is refused with SQL0752N before anything ends, so
// the ROLLBACK after it undoes the INSERT.  It committed the work and left no connection
// (SQL1024N for what followed).  A delimited name is folded as CREATE and CONNECT fold it: the
// console's own connection to DB did not let it drop "db" (SQL1035N).
TEST_F(ConsoleProcess, FailedDropKeepsTheConnectionAndItsWork) {
  ASSERT_EQ(quarn({"-d", "db", "CREATE TABLE dx (i INT)"}).status, 0);
  {
    BackgroundConsole holder({"-d", "db"});
    ASSERT_TRUE(holder.running());
    holder.send("VALUES 'connected';\n");
    ASSERT_TRUE(holder.waitFor("connected")) << holder.seen();
    Outcome r = quarn({"-d", "db", "--csv", "--no-header"},
                      "SET SCHEMA other;\nSET PATH = SYSTEM PATH, 'AB';\nDROP DATABASE db;\nVALUES CURRENT SCHEMA;\n"
                      "VALUES CURRENT PATH;\n");
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(count(r.err, "SQL1035N"), 1) << r.err;
    EXPECT_EQ(count(r.err, "SQL1024N"), 0) << r.err;
    EXPECT_EQ(r.out.rfind("OTHER\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("\"\"SYSFUN\"\",\"\"AB\"\""), std::string::npos) << r.out;
    r = quarn({"-d", "db", "+c"}, "INSERT INTO dx VALUES (1);\nDROP DATABASE db;\nROLLBACK;\n");
    EXPECT_EQ(r.status, 4);
    EXPECT_EQ(count(r.out, "SQL0752N"), 1) << r.out;
    EXPECT_EQ(count(r.out, "SQL1035N"), 0) << r.out;
    EXPECT_EQ(count(r.out, "SQL1024N"), 0) << r.out;
    EXPECT_EQ(rows("SELECT COUNT(*) FROM dx"), "0\n");
    EXPECT_EQ(holder.finish(), 0) << holder.seen();
  }
  Outcome r = quarn({"-d", "db", "DROP DATABASE \"db\""});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_FALSE(fs::exists(fs::path(instance()) / "DB.db"));
}

// A message may carry stored data (a warning names the value a CAST cut): its control
// characters show as U+FFFD, as in a table cell, on standard output and, with --csv, on
// standard error.  An ESC sequence and a BEL of the value reached the terminal raw.
TEST_F(ConsoleProcess, MessagesShowNoControlCharacterOfData) {
  ASSERT_EQ(quarn({"-d", "db", "CREATE TABLE k (id INT, v VARCHAR(20)); "
                               "INSERT INTO k VALUES (30, 'x' || X'1B' || '[31mRED' || X'07')"})
                .status,
            0);
  const std::string shown = "SQL0445W Value \"x\xEF\xBF\xBD[31mRED\xEF\xBF\xBD\" has been truncated.";
  const std::string query = "SELECT CAST(v AS CHAR(2)) FROM k WHERE id = 30";
  Outcome r = quarn({"-d", "db", query});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(count(r.out, shown), 1) << r.out;
  EXPECT_EQ(r.out.find_first_of("\x1b\x07"), std::string::npos) << r.out;
  r = quarn({"-d", "db", "--csv", query});
  EXPECT_EQ(count(r.err, shown), 1) << r.err;
  EXPECT_EQ(r.err.find_first_of("\x1b\x07"), std::string::npos) << r.err;
}

}  // namespace
