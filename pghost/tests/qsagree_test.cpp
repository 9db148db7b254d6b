// The PostgreSQL host against PostgreSQL's own xpath() and against the embedded engine, row by
// row, over the order documents (qsorders.h; 20,000 unless QS_ORDERS says otherwise): scalar
// extraction of /order/@id, /order/ship/zip, /order/customer/name (from the XMLCLOB column) and
// /order/note (absent from some orders: NULL on every side), and the whole sequences of
// /order/item/part and /order/item/desc.  xpath() gives text() still escaped ("&amp;"), so its
// values are compared unescaped.  Then the backend's memory over 40 extraction statements.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "kel_test_env.h"
#include "pgcluster.h"
#include "pgtranscript.h"
#include "qsorderdb.h"
#include "qsorders.h"

namespace {

using Column = std::vector<std::optional<std::string>>;      // by id - 1
using Sequences = std::map<int, std::vector<std::string>>;  // by id

int orderCount() {
  const char *n = std::getenv("QS_ORDERS");
  return n != nullptr && std::atoi(n) > 0 ? std::atoi(n) : 20000;
}

std::string unescape(std::string s) {
  const std::pair<const char *, const char *> entities[] = {{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&amp;", "&"}};
  for (const auto &[from, to] : entities)
    for (size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += std::strlen(to)) s.replace(at, std::strlen(from), to);
  return s;
}

Column pgColumn(const qspg::Connection &c, const std::string &sql, size_t n, bool xml) {
  Column out(n);
  PGresult *r = PQexec(c.get(), sql.c_str());
  EXPECT_EQ(PQresultStatus(r), PGRES_TUPLES_OK) << sql << ": " << PQresultErrorMessage(r);
  for (int i = 0; i < PQntuples(r); ++i) {
    size_t id = static_cast<size_t>(std::atoi(PQgetvalue(r, i, 0)));
    if (id >= 1 && id <= n && !PQgetisnull(r, i, 1))
      out[id - 1] = xml ? unescape(PQgetvalue(r, i, 1)) : std::string(PQgetvalue(r, i, 1));
  }
  PQclear(r);
  return out;
}

Sequences pgSequences(const qspg::Connection &c, const std::string &sql, bool xml) {
  Sequences out;
  PGresult *r = PQexec(c.get(), sql.c_str());
  EXPECT_EQ(PQresultStatus(r), PGRES_TUPLES_OK) << sql << ": " << PQresultErrorMessage(r);
  for (int i = 0; i < PQntuples(r); ++i) {
    std::string v = PQgetvalue(r, i, 1);
    out[std::atoi(PQgetvalue(r, i, 0))].push_back(xml ? unescape(v) : v);
  }
  PQclear(r);
  return out;
}

size_t differences(const Column &a, const Column &b) {
  size_t n = 0;
  for (size_t i = 0; i < a.size(); ++i) n += a[i] != b[i] ? 1 : 0;
  return n;
}

TEST(HostAgreement, ExtractionAgreesWithXpathAndWithTheEmbeddedEngineRowByRow) {
  const qspg::Orders orders = qspg::makeOrders(orderCount());
  const size_t n = orders.docs.size();
  std::unique_ptr<qspg::Cluster> cluster;
  try {
    cluster = std::make_unique<qspg::Cluster>();
    qspg::loadPostgres(*cluster, "agree", orders.docs);
  } catch (const std::exception &e) {
    FAIL() << e.what();
  }
  keltest::TempDir instance;
  keltest::ScopedEnv env;
  env.set("QUARNPATH", instance.str());
  env.unset("QUARNINSTANCE");
  env.unset("QUARNKELPATH");
  try {
    qspg::loadEmbedded(keltest::buildDir() + "/bin/quarn", "AGREE", orders.docs);
  } catch (const std::exception &e) {
    FAIL() << e.what();
  }
  qspg::Connection pg(cluster->conninfo("agree"));

  struct Scalar {
    const char *path;
    const char *column;  // v: XMLVarchar, c: XMLCLOB
    const char *xpath;
  };
  const Scalar scalars[] = {{"/order/@id", "v", "/order/@id"},
                            {"/order/ship/zip", "v", "/order/ship/zip/text()"},
                            {"/order/customer/name", "c", "/order/customer/name/text()"},
                            {"/order/note", "v", "/order/note/text()"}};
  for (const Scalar &s : scalars) {
    SCOPED_TRACE(s.path);
    const std::string extract = std::string("quarnxml.extractVarchar(") + s.column + ", '" + s.path + "')";
    const std::string from = std::string(" FROM ") + s.column + "docs ORDER BY id";
    Column handler = pgColumn(pg, "SELECT id, " + extract + from, n, false);
    Column xpath =
        pgColumn(pg, std::string("SELECT id, (xpath('") + s.xpath + "', x))[1]::text FROM xdocs ORDER BY id", n, true);
    Column embedded(n);
    qspg::queryEmbedded("SELECT id, " + extract + from, [&](int id, const char *v, bool null) {
      if (id >= 1 && static_cast<size_t>(id) <= n && !null) embedded[static_cast<size_t>(id) - 1] = v;
    });
    EXPECT_EQ(differences(handler, xpath), 0u);
    EXPECT_EQ(differences(handler, embedded), 0u);
    size_t present = 0;
    for (const auto &v : handler) present += v.has_value() ? 1 : 0;
    EXPECT_EQ(present, std::string(s.path) == "/order/note" ? static_cast<size_t>(orders.notes) : n);
  }

  for (const char *path : {"/order/item/part", "/order/item/desc"}) {
    SCOPED_TRACE(path);
    Sequences handler = pgSequences(pg,
                                    std::string("SELECT o.id, x.val FROM vdocs o, LATERAL quarnxml.extractVarchars(o.v, '") +
                                        path + "') WITH ORDINALITY AS x(val, n) ORDER BY o.id, x.n",
                                    false);
    Sequences xpath = pgSequences(pg,
                                  std::string("SELECT o.id, u.val::text FROM xdocs o, LATERAL unnest(xpath('") + path +
                                      "/text()', o.x)) WITH ORDINALITY AS u(val, n) ORDER BY o.id, u.n",
                                  true);
    Sequences embedded;
    qspg::queryEmbedded(std::string("SELECT o.id, x.returnedVarchar FROM vdocs AS o, TABLE(quarnxml.extractVarchars(o.v, '") +
                            path + "')) AS x",
                        [&](int id, const char *v, bool) { embedded[id].push_back(v); });
    size_t rows = 0, differ = 0, differEmbedded = 0;
    for (const auto &[id, values] : handler) {
      rows += values.size();
      differ += xpath[id] != values ? 1 : 0;
      differEmbedded += embedded[id] != values ? 1 : 0;
    }
    EXPECT_EQ(handler.size(), n);
    EXPECT_EQ(rows, static_cast<size_t>(orders.items));
    EXPECT_EQ(differ, 0u);
    EXPECT_EQ(differEmbedded, 0u);
  }
  sqlca ca{};
  quarn_connect_reset(&ca);
}

// The engine's CAST of text to a datetime type: its stored form, or "SQLSTATE xxxxx".
std::string embeddedCast(const std::string &text, const char *type) {
  sqlca ca{};
  quarn_stmt *stmt = nullptr;
  const std::string sql = "VALUES CAST('" + text + "' AS " + type + ")";
  char value[64] = "";
  short ind = 0;
  quarn_hostvar out{SQL_TYP_CSTR, sizeof value, value, &ind};
  int rc = quarn_prepare(sql.c_str(), &stmt, &ca);
  if (rc >= 0) rc = quarn_open(stmt, 0, nullptr, &ca);
  if (rc >= 0) rc = quarn_fetch(stmt, 1, &out, &ca);
  if (stmt != nullptr) quarn_free_stmt(stmt);
  return rc < 0 ? "SQLSTATE " + std::string(ca.sqlstate, 5) : std::string(value);
}

// The host's reading of a routine's datetime result (the text handed back as it came), in the
// engine's stored form, or "SQLSTATE xxxxx".
std::string hostResult(const qspg::Connection &pg, const std::string &text, const char *function, const char *form) {
  const std::string sql = std::string("SELECT to_char(") + function + "('" + text + "'), '" + form + "')";
  PGresult *r = PQexec(pg.get(), sql.c_str());
  std::string out = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) == 1
                        ? std::string(PQgetvalue(r, 0, 0))
                        : "SQLSTATE " + std::string(PQresultErrorField(r, PG_DIAG_SQLSTATE) ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : "?");
  PQclear(r);
  return out;
}

// A routine's DATE, TIME or TIMESTAMP was read by PostgreSQL's input functions, which follow
// DateStyle ('05/06/2005' was June 5 under DMY) and take words ('today', 'epoch', 'infinity').
// The host now reads exactly the texts the embedded engine reads, as the same values, and
// refuses the rest with the engine's SQLSTATE 22007; DateStyle DMY changes nothing.
TEST(HostAgreement, DatetimeResultsAreReadAsTheEmbeddedEngineReadsThem) {
  std::unique_ptr<qspg::Cluster> cluster;
  try {
    qspg::ClusterOptions options;
    options.routineLibraries = {QS_HOST_ROUTINES};
    cluster = std::make_unique<qspg::Cluster>(options);
    cluster->createDatabase("dates");
  } catch (const std::exception &e) {
    FAIL() << e.what();
  }
  qspg::Connection pg(cluster->conninfo("dates"));
  pg.exec("CREATE EXTENSION quarnxml");
  pg.exec("CREATE FUNCTION asdate(VARCHAR) RETURNS DATE LANGUAGE quarnsql IMMUTABLE AS 'qstestroutines!qsasdate'");
  pg.exec("CREATE FUNCTION astime(VARCHAR) RETURNS TIME LANGUAGE quarnsql IMMUTABLE AS 'qstestroutines!qsastime'");
  pg.exec("CREATE FUNCTION astimestamp(VARCHAR) RETURNS TIMESTAMP LANGUAGE quarnsql IMMUTABLE AS 'qstestroutines!qsastimestamp'");
  pg.exec("SET DateStyle = 'SQL, DMY'");

  keltest::TempDir instance;
  keltest::ScopedEnv env;
  env.set("QUARNPATH", instance.str());
  env.unset("QUARNINSTANCE");
  env.unset("QUARNKELPATH");
  const std::string create = "'" + keltest::buildDir() + "/bin/quarn' 'CREATE DATABASE DATES' >/dev/null";
  ASSERT_EQ(std::system(create.c_str()), 0);
  sqlca ca{};
  ASSERT_GE(quarn_connect("DATES", nullptr, nullptr, &ca), 0) << qspg::caText(ca);

  struct Kind {
    const char *type, *function, *form;
    size_t room;  // the longest text the routine's result buffer holds
  };
  const Kind kinds[] = {{"DATE", "asdate", "YYYY-MM-DD", 10},
                        {"TIME", "astime", "HH24.MI.SS", 8},
                        {"TIMESTAMP", "astimestamp", "YYYY-MM-DD-HH24.MI.SS.US", 26}};
  const char *texts[] = {
      // dates: ISO, USA, EUR, leading zeros left out, blanks around, the date of a timestamp
      "2005-06-05", "2005-6-5", "05/06/2005", "5/6/2005", "05.06.2005", "5.6.2005", " 2005-06-05 ",
      // timestamps: '-', ' ', 'T' before the time, '.' or ':' in it, fractions, seconds left out
      "2005-06-05-10.30.00", "2005-06-05 10:30:00", "2005-06-05T10:30:00.123456", "2005-06-05-10.30.00.5",
      "2005-06-05 10:30", "2005-06-05-10.30.5", "2005-06-05-10.30.00.123456789", "05/06/2005 10:30:00",
      // times: ISO, JIS, USA with AM and PM, minutes and seconds left out
      "10.30.00", "10:30:00", "10.30", "10:30", "1:30 PM", "12:00 AM", "12 PM", "10:30AM", "00:00 am", "24.00.00",
      "9.05", " 7:05:09 ",
      // ranges
      "2005-02-29", "2004-02-29", "0000-01-01", "2005-13-01", "2005-06-31", "13:00 PM", "24.00.01", "23.60.00",
      "2005-06-05-25.00.00",
      // no form of the engine's
      "today", "now", "epoch", "infinity", "-infinity", "allballs", "yesterday", "05-06-2005", "2005/06/05",
      "20050605", "2005-06-05x", "10.30 PM", "", "   ", "June 5, 2005", "2005-06-05 1:30 PM", "10:30:00+02",
      "2005-06-05 10:30:00 BC", "1.2.3"};
  size_t compared = 0;
  for (const char *text : texts)
    for (const Kind &k : kinds) {
      if (std::strlen(text) > k.room) continue;
      SCOPED_TRACE(std::string(k.type) + " '" + text + "'");
      EXPECT_EQ(hostResult(pg, text, k.function, k.form), embeddedCast(text, k.type));
      ++compared;
    }
  EXPECT_GT(compared, 100u);
  quarn_connect_reset(&ca);
}

// Resident memory of a process in kB, from /proc.
long residentKb(const std::string &pid) {
  std::ifstream in("/proc/" + pid + "/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

TEST(HostMemory, BackendMemoryIsFlatOverFortyStatements) {
  const qspg::Orders orders = qspg::makeOrders(orderCount() / 4);
  std::unique_ptr<qspg::Cluster> cluster;
  try {
    cluster = std::make_unique<qspg::Cluster>();
    qspg::loadPostgres(*cluster, "agree", orders.docs);
  } catch (const std::exception &e) {
    FAIL() << e.what();
  }
  qspg::Connection pg(cluster->conninfo("agree"));
  const std::string pid = pg.value("SELECT pg_backend_pid()");
  const char *statements[] = {
      "SELECT count(quarnxml.extractVarchar(v, '/order/ship/zip')) FROM vdocs",
      "SELECT count(quarnxml.extractVarchar(c, '/order/customer/name')) FROM cdocs",
      "SELECT count(*) FROM vdocs o, LATERAL quarnxml.extractVarchars(o.v, '/order/item/part') x",
      "SELECT count(*) FROM cdocs o, LATERAL quarnxml.extractDoubles(o.c, '/order/item/price') x"};
  long afterTen = 0;
  for (int k = 0; k < 40; ++k) {
    pg.value(statements[k % 4]);
    if (k == 9) afterTen = residentKb(pid);
  }
  long afterForty = residentKb(pid);
  ASSERT_GT(afterTen, 0);
  // Every call site's final call frees what it kept: no growth per statement.
  EXPECT_LT(afterForty - afterTen, 2048) << "resident kB after 10 statements " << afterTen << ", after 40 " << afterForty;
}

}  // namespace
