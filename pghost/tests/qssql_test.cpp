// SQL scripts of the PostgreSQL host (pghost/tests/sql/NAME.sql) run through libpq on a fresh
// database of one throwaway cluster, compared with their transcripts (NAME.out;
// KEL_UPDATE_GOLDEN=1 rewrites them).  The cluster has the extension's package installed, the
// engine's test routine library and the host's own, a data directory the XML functions may read
// and write (@DATA@ in a script) and a directory for their temporary files, which must be empty
// again after every script.  A dump and restore through PostgreSQL's own programs runs on the
// same cluster.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "kel_golden.h"
#include "kel_test_env.h"
#include "pgcluster.h"
#include "pgtranscript.h"

namespace {

namespace fs = std::filesystem;

qspg::Cluster *cluster = nullptr;

// The files the scripts read: documents, DTDs, entities, and what a hostile caller names.
void writeData(const fs::path &dir) {
  fs::create_directories(dir);
  keltest::writeFile((dir / "v3999.xml").string(), "<a>" + std::string(3999, 'v') + "</a>");
  keltest::writeFile((dir / "v4000.xml").string(), "<a>" + std::string(4000, 'v') + "</a>");
  std::string big = "<big>";
  for (int i = 0; big.size() < 140000; ++i) big += "<item n=\"" + std::to_string(i) + "\">" + std::to_string(i * 7) + "</item>";
  big += "</big>";
  keltest::writeFile((dir / "big.xml").string(), big);
  keltest::writeFile((dir / "order.xml").string(),
                     "<order id=\"7\"><item><price>10</price></item><item><price>5</price></item></order>");
  keltest::writeFile((dir / "entity.dtd").string(), "<!ENTITY who \"the DTD\">");
  keltest::writeFile((dir / "other.dtd").string(), "<!ENTITY who \"another DTD\">");
  keltest::writeFile((dir / "inner.ent").string(), "inside");
  ::mkfifo((dir / "fifo").c_str(), 0600);
  keltest::writeFile((dir / "nul.xml").string(), std::string("<a>x\0y</a>", 10));
  std::ofstream((dir / "huge.xml").string()).close();
  fs::resize_file(dir / "huge.xml", 1200000000);  // sparse: no disk used
  keltest::writeFile((dir / "outer.xml").string(), "<!DOCTYPE a [<!ENTITY x SYSTEM \"/etc/hostname\">]><a>&x;</a>");
  fs::create_directories(dir / "d");  // so that a name going down into d and back up names a file here
}

class ClusterEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    qspg::ClusterOptions options;
    options.routineLibraries = {QS_TEST_ROUTINES, QS_HOST_ROUTINES};
    options.settings = {{"quarnsql.xml_read_dirs", "@ROOT@/data"},
                        {"quarnsql.xml_write_dirs", "@ROOT@/data"},
                        {"quarnsql.temp_dir", "@ROOT@/kelTemp"}};
    try {
      owned_ = std::make_unique<qspg::Cluster>(options);
    } catch (const std::exception &e) {
      FAIL() << e.what();
    }
    cluster = owned_.get();
    writeData(cluster->root() + "/data");
    cluster->serverDir("data");
    cluster->serverDir("kelTemp");
  }
  void TearDown() override {
    cluster = nullptr;
    owned_.reset();
  }

 private:
  std::unique_ptr<qspg::Cluster> owned_;
};

std::vector<std::string> scripts() {
  std::vector<std::string> names;
  for (const auto &e : fs::directory_iterator(QS_SCRIPT_DIR))
    if (e.path().extension() == ".sql") names.push_back(e.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

class HostScript : public ::testing::TestWithParam<std::string> {};

TEST_P(HostScript, TranscriptMatchesExpectedOutput) {
  ASSERT_NE(cluster, nullptr);
  // Every script runs in a fresh database of the same name, as DBINFO shows it.
  const std::string db = "testdb";
  qspg::Connection(cluster->conninfo()).exec("DROP DATABASE IF EXISTS testdb");
  cluster->createDatabase(db);
  const std::string data = cluster->root() + "/data";
  const std::vector<std::pair<std::string, std::string>> placeholders = {{"DATA", data}};
  std::string script = keltest::readFile(std::string(QS_SCRIPT_DIR) + "/" + GetParam() + ".sql");
  ASSERT_FALSE(script.empty());
  std::string got;
  {
    qspg::Connection conn(cluster->conninfo(db));
    got = qspg::runScript(conn.get(), keltest::fillPlaceholders(script, placeholders));
  }
  got = keltest::withPlaceholders(got, placeholders);
  // A routine's message is cut at 70 bytes and may end inside the data directory's name.
  for (size_t n = data.size() - 1; n >= 5; --n) {
    const std::string cut = data.substr(0, n) + "\"\n";
    for (size_t at; (at = got.find(cut)) != std::string::npos;) got.replace(at, cut.size(), "@DATA@\"\n");
  }
  got = std::regex_replace(got, std::regex("SQL[0-9]{15}"), "SQL<generated>");  // generated specific names
  std::string expected = std::string(QS_SCRIPT_DIR) + "/" + GetParam() + ".out";
  EXPECT_TRUE(keltest::matchesGolden(expected, got)) << "transcript of " << GetParam();
  // Every temporary file a function made is gone again.
  EXPECT_TRUE(fs::is_empty(cluster->root() + "/kelTemp"));
  // No backend crashed: the server never had to restart its connections.
  EXPECT_EQ(cluster->serverLog().find("terminated by signal"), std::string::npos) << cluster->serverLog();
}

INSTANTIATE_TEST_SUITE_P(Sql, HostScript, ::testing::ValuesIn(scripts()));

// Runs a PostgreSQL client program of the cluster's installation on the test cluster; its output
// goes to a log file beside the dump, which the failure message shows.
int runClient(const std::string &program, const std::string &arguments, const std::string &log) {
  const std::string command = std::string(QS_PG_BINDIR) + "/" + program + " -h " + cluster->socketDir() + " -p " +
                              std::to_string(cluster->port()) + " -U postgres " + arguments + " >" + log + " 2>&1";
  return std::system(command.c_str());
}

// A table with a column of a character distinct type made by quarnsql.create_distinct_type
// keeps its rows through pg_dump and pg_restore, though pg_restore loads it before the record
// quarnsql.distinct_types (the type's functions once found their length only in that record
// and refused every row); the restored type still checks its length.
TEST(HostDump, RestoreKeepsRowsOfCharacterDistinctTypes) {
  ASSERT_NE(cluster, nullptr);
  for (const char *db : {"dumpsrc", "dumpdst"}) qspg::Connection(cluster->conninfo()).exec(std::string("DROP DATABASE IF EXISTS ") + db);
  cluster->createDatabase("dumpsrc");
  cluster->createDatabase("dumpdst");
  {
    qspg::Connection src(cluster->conninfo("dumpsrc"));
    src.exec("CREATE EXTENSION quarnxml");
    src.exec("SELECT quarnsql.create_distinct_type('public', 'shortname', 'varchar', 10, true)");
    src.exec("CREATE TABLE public.people (id int, n public.shortname, d quarnxml.xmlvarchar)");
    src.exec("INSERT INTO public.people VALUES (1, 'ann', '<a>1</a>'), (2, 'bo', '<a>2</a>')");
  }
  const std::string dump = cluster->root() + "/people.dump", log = cluster->root() + "/dump.log";
  ASSERT_EQ(runClient("pg_dump", "-Fc -f " + dump + " dumpsrc", log), 0) << keltest::readFile(log);
  EXPECT_EQ(runClient("pg_restore", "--exit-on-error -d dumpdst " + dump, log), 0) << keltest::readFile(log);
  {
    qspg::Connection dst(cluster->conninfo("dumpdst"));
    EXPECT_EQ(dst.rows("SELECT id, n::text, d::text FROM public.people ORDER BY id"),
              (std::vector<std::vector<std::string>>{{"1", "ann", "<a>1</a>"}, {"2", "bo", "<a>2</a>"}}));
    EXPECT_EQ(dst.value("SELECT length FROM quarnsql.distinct_types WHERE type = 'public.shortname'::regtype"), "10");
    EXPECT_THROW(dst.exec("INSERT INTO public.people VALUES (3, 'elevenbytes', NULL)"), std::runtime_error);
    EXPECT_THROW(dst.exec("SELECT 'elevenbytes'::varchar::public.shortname"), std::runtime_error);
    dst.exec("INSERT INTO public.people VALUES (3, 'tenbytes10', NULL)");
  }
  std::filesystem::remove(dump);
  std::filesystem::remove(log);
  for (const char *db : {"dumpsrc", "dumpdst"}) qspg::Connection(cluster->conninfo()).exec(std::string("DROP DATABASE ") + db);
}

// The extension is refused in a database of another encoding than UTF8, where its routines
// would refuse every call (it was installed, and failed at each call).
TEST(HostInstall, TheExtensionNeedsAUtf8Database) {
  ASSERT_NE(cluster, nullptr);
  qspg::Connection admin(cluster->conninfo());
  for (const char *encoding : {"LATIN1", "SQL_ASCII"}) {
    admin.exec("DROP DATABASE IF EXISTS enc");
    admin.exec(std::string("CREATE DATABASE enc ENCODING '") + encoding +
               "' LC_COLLATE 'C' LC_CTYPE 'C' TEMPLATE template0");
    {
      qspg::Connection conn(cluster->conninfo("enc"));
      try {
        conn.exec("CREATE EXTENSION quarnxml");
        ADD_FAILURE() << "CREATE EXTENSION succeeded in a " << encoding << " database";
      } catch (const std::runtime_error &e) {
        EXPECT_NE(std::string(e.what()).find(std::string("needs a database of encoding UTF8, not ") + encoding),
                  std::string::npos)
            << e.what();
      }
      EXPECT_EQ(conn.value("SELECT count(*) FROM pg_catalog.pg_namespace WHERE nspname IN ('quarnsql', 'quarnxml')"), "0");
    }
    admin.exec("DROP DATABASE enc");
  }
}

::testing::Environment *const kCluster = ::testing::AddGlobalTestEnvironment(new ClusterEnvironment);

}  // namespace
