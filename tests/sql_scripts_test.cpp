// SQL scripts of the extension run in the console `quarn` against a fresh database of a fresh
// instance, compared with their expected transcripts (tests/sql/NAME.sql and NAME.out;
// KEL_UPDATE_GOLDEN=1 rewrites the .out files).  A script whose first line is "-- [register]"
// runs on a database enabled by the enablement procedure itself (types, functions, catalogue
// tables and procedures); one with the line "-- [manual commit]" runs without autocommit.
// Scripts name generated data files as @DATA@/... (readable and writable for the functions; the
// DADs of tests/data/decompose, and samples/orders.dad as sample_orders.dad, are there too) and
// may check that temporary files are removed.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "kel_golden.h"
#include "kel_test_env.h"

namespace {

namespace fs = std::filesystem;

std::string run(const std::string &command, int *status) {
  std::string out;
  FILE *p = popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  *status = pclose(p);
  return out;
}

using keltest::shellQuote;

// Data files the scripts use.
void writeData(const fs::path &dir) {
  fs::create_directories(dir);
  keltest::writeFile((dir / "v3999.xml").string(), "<a>" + std::string(3999, 'v') + "</a>");
  keltest::writeFile((dir / "v4000.xml").string(), "<a>" + std::string(4000, 'v') + "</a>");
  // Whole files of 3,000 (fits an XMLVarchar), 3,001, 5,000 and 32,672 bytes.
  for (size_t bytes : {3000, 3001, 5000, 32672})
    keltest::writeFile((dir / ("f" + std::to_string(bytes) + ".xml")).string(), "<a>" + std::string(bytes - 7, 'f') + "</a>");
  std::string big = "<big>";
  for (int i = 0; big.size() < 140000; ++i) big += "<item n=\"" + std::to_string(i) + "\">" + std::to_string(i * 7) + "</item>";
  big += "</big>";
  keltest::writeFile((dir / "big.xml").string(), big);
  // A DTD longer than the memory threshold (its declarations, then a long comment).
  keltest::writeFile((dir / "big.dtd").string(), "<!ELEMENT big (item*)><!ELEMENT item (#PCDATA)><!ATTLIST item n CDATA #REQUIRED><!--" +
                                                     std::string(140000, 'c') + "-->");
  keltest::writeFile((dir / "order.xml").string(),
                     "<order id=\"7\"><item><price>10</price></item><item><price>5</price></item></order>");
  // An order with more validity errors than a validation report holds: 1,200 items without
  // their required attributes, one a line.
  std::string many = "<!DOCTYPE order SYSTEM \"rorder.dtd\">\n<order id=\"1\" status=\"open\"><customer><name>n</name><city>c</city></customer><date>d</date>\n";
  for (int i = 0; i < 1200; ++i) many += "<item><title>t</title><qty>1</qty><price>2</price></item>\n";
  keltest::writeFile((dir / "manyerrors.xml").string(), many + "</order>\n");
  keltest::writeFile((dir / "entity.dtd").string(), "<!ENTITY who \"the DTD\">");
  keltest::writeFile((dir / "other.dtd").string(), "<!ENTITY who \"another DTD\">");
  // What hostile or careless users hand the functions: an entity file that may be read, a FIFO,
  // a document with a zero byte, a file too large for any large object (sparse: no disk used),
  // a document that refers to a file outside the readable directory.
  keltest::writeFile((dir / "inner.ent").string(), "inside");
  ::mkfifo((dir / "fifo").c_str(), 0600);
  keltest::writeFile((dir / "nul.xml").string(), std::string("<a>x\0y</a>", 10));
  std::ofstream((dir / "huge.xml").string()).close();
  fs::resize_file(dir / "huge.xml", 1200000000);
  keltest::writeFile((dir / "outer.xml").string(), "<!DOCTYPE a [<!ENTITY x SYSTEM \"/etc/hostname\">]><a>&x;</a>");
  // The DADs of the collection and decomposition scripts.
  for (const auto &e : fs::directory_iterator(keltest::sourceDir() + "/tests/data/decompose"))
    if (e.path().extension() == ".dad" || e.path().extension() == ".dtd" || e.path().extension() == ".xsd")
      fs::copy_file(e.path(), dir / e.path().filename());
  fs::copy_file(keltest::sourceDir() + "/samples/orders.dad", dir / "sample_orders.dad");
}

std::vector<std::string> scripts() {
  std::vector<std::string> names;
  for (const auto &e : fs::directory_iterator(keltest::sourceDir() + "/tests/sql"))
    if (e.path().extension() == ".sql") names.push_back(e.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

class ExtensionScript : public ::testing::TestWithParam<std::string> {};

TEST_P(ExtensionScript, TranscriptMatchesExpectedOutput) {
  keltest::TempDir inst;
  keltest::ScopedEnv env;
  env.set("QUARNPATH", inst.str());
  env.set("QUARN_USER", "tester");
  fs::path data = inst.path() / "data";
  fs::path temp = inst.path() / "tmp";
  writeData(data);
  fs::create_directories(temp);
  env.set("QUARNKELTEMP", temp.string());
  keltest::writeFile(inst.file("quarn.registry"),
                     "QUARN_XML_READ_DIRS=" + data.string() + "\nQUARN_XML_WRITE_DIRS=" + data.string() + "\n");

  fs::path source = fs::path(keltest::sourceDir()) / "tests/sql" / (GetParam() + ".sql");
  std::string text = keltest::readFile(source.string());
  ASSERT_FALSE(text.empty());
  std::string console = KEL_QUARN_CONSOLE;
  int status = 0;
  run(shellQuote(console) + " 'CREATE DATABASE TESTDB'", &status);
  ASSERT_EQ(status, 0);

  if (text.rfind("-- [register]", 0) == 0) {
    std::string out = run(shellQuote(console) + " -d TESTDB \"CALL 'quarnxml!kelEnableDB'('TESTDB', ?, ?)\"", &status);
    ASSERT_EQ(status, 0) << out;
    ASSERT_NE(out.find("KELA006I"), std::string::npos) << out;
  }
  const std::vector<std::pair<std::string, std::string>> placeholders = {{"DATA", data.string()}};
  keltest::writeFile(inst.file("script.sql"), keltest::fillPlaceholders(text, placeholders));
  // A script with the line "-- [manual commit]" commits and rolls back itself (console option +c).
  const bool manual = text.find("\n-- [manual commit]\n") != std::string::npos;
  std::string got = run(shellQuote(console) + (manual ? " +c" : "") + " -d TESTDB -v -f " + shellQuote(inst.file("script.sql")) +
                            " 2>&1",
                        &status);
  got = keltest::withPlaceholders(got, placeholders);
  got = std::regex_replace(got, std::regex("SQL[0-9]{15}"), "SQL<generated>");  // generated specific names

  fs::path expected = fs::path(keltest::sourceDir()) / "tests/sql" / (GetParam() + ".out");
  EXPECT_TRUE(keltest::matchesGolden(expected.string(), got)) << "transcript of " << source;
  // Every temporary file a function made is gone again.
  EXPECT_TRUE(fs::is_empty(temp));
}

INSTANTIATE_TEST_SUITE_P(Sql, ExtensionScript, ::testing::ValuesIn(scripts()));

}  // namespace
