/*
 * qsorderdb.h - the same documents in both engines, for comparing them: on PostgreSQL a database
 * with the extension and the tables XDOCS (ID, X xml), TDOCS (ID, T text), VDOCS (ID, V
 * XMLVarchar) and CDOCS (ID, C XMLCLOB), loaded by COPY; on the embedded engine a database of the
 * instance QUARNPATH (set by the caller) made and enabled for
 * XML with the console quarn, the tables VDOCS (ID, V XMLVarchar) and CDOCS (ID, C XMLCLOB) filled
 * through the embedded runtime (one table per column type, so a query reads only its own
 * documents), and queries read row by row.  The calling thread is connected to the
 * database from loadEmbedded on.  Header-only; links quarnapp.  Not thread-safe.
 */
#ifndef QS_ORDERDB_H
#define QS_ORDERDB_H

#include <cstdlib>
#include <string>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "pgcluster.h"
#include "pgtranscript.h"
#include "quarnapp.h"

namespace qspg {

// Makes database db of cluster with the extension and the four tables of the documents (ids
// 1..N), vacuumed and analysed: every page is marked all-visible, as autovacuum leaves a loaded
// table, so that no autovacuum run in the middle of a measurement changes what a scan does.
inline void loadPostgres(const Cluster &cluster, const std::string &db, const std::vector<std::string> &docs) {
  cluster.createDatabase(db);
  Connection c(cluster.conninfo(db));
  c.exec("CREATE EXTENSION quarnxml");
  // The throwaway cluster commits asynchronously; a row's commit must be on disk before vacuum
  // may mark its page all-visible.
  c.exec("SET synchronous_commit = on");
  std::vector<std::vector<std::string>> rows;
  for (size_t i = 0; i < docs.size(); ++i) rows.push_back({std::to_string(i + 1), docs[i]});
  const char *tables[][2] = {{"xdocs", "x xml"}, {"tdocs", "t text"}, {"vdocs", "v quarnxml.xmlvarchar"},
                             {"cdocs", "c quarnxml.xmlclob"}};
  for (const auto &t : tables) {
    c.exec(std::string("CREATE TABLE ") + t[0] + " (id integer PRIMARY KEY, " + t[1] + ")");
    c.copyIn(std::string("COPY ") + t[0] + " FROM STDIN", rows);
    c.exec(std::string("VACUUM (ANALYZE) ") + t[0]);
  }
  if (c.value("SELECT sum(relpages - relallvisible) FROM pg_class WHERE relname IN ('xdocs', 'tdocs', 'vdocs', 'cdocs')") !=
      "0")
    throw std::runtime_error("the documents' pages are not all marked all-visible after vacuum");
}

inline std::string caText(const sqlca &ca) {
  char text[512];
  return sqlaintp_api(text, sizeof text, 500, nullptr, const_cast<sqlca *>(&ca)) > 0 ? std::string(text) : "no text";
}

// Creates and enables database name with the console, loads docs (ids 1..N), connects.
inline void loadEmbedded(const std::string &console, const std::string &name, const std::vector<std::string> &docs) {
  std::string create = "'" + console + "' 'CREATE DATABASE " + name + "' >/dev/null";
  std::string enable = "'" + console + "' -d " + name + " \"CALL 'quarnxml!kelEnableDB'('" + name + "', ?, ?)\" >/dev/null";
  if (std::system(create.c_str()) != 0 || std::system(enable.c_str()) != 0)
    throw std::runtime_error("cannot make the embedded database " + name);
  sqlca ca{};
  if (quarn_connect(name.c_str(), nullptr, nullptr, &ca) < 0) throw std::runtime_error("connect: " + caText(ca));
  const char *tables[][2] = {
      {"CREATE TABLE vdocs (id INTEGER NOT NULL PRIMARY KEY, v quarnxml.XMLVarchar)",
       "INSERT INTO vdocs VALUES (?, quarnxml.XMLVarchar(CAST(? AS VARCHAR(3000))))"},
      {"CREATE TABLE cdocs (id INTEGER NOT NULL PRIMARY KEY, c quarnxml.XMLCLOB)",
       "INSERT INTO cdocs VALUES (?, quarnxml.XMLCLOB(CAST(? AS CLOB(1M))))"}};
  for (const auto &t : tables) {
    quarn_stmt *ins = nullptr;
    if (quarn_execute_immediate(t[0], &ca) < 0) throw std::runtime_error("create table: " + caText(ca));
    if (quarn_prepare(t[1], &ins, &ca) < 0) throw std::runtime_error("prepare: " + caText(ca));
    for (size_t i = 0; i < docs.size(); ++i) {
      sqlint32 id = static_cast<sqlint32>(i + 1);
      quarn_hostvar in[2] = {{SQL_TYP_INTEGER, 4, &id, nullptr},
                             {SQL_TYP_CSTR, static_cast<sqlint32>(docs[i].size() + 1), const_cast<char *>(docs[i].c_str()),
                              nullptr}};
      if (quarn_execute(ins, 2, in, &ca) < 0) throw std::runtime_error("insert: " + caText(ca));
    }
    quarn_free_stmt(ins);
  }
  if (quarn_commit(&ca) < 0) throw std::runtime_error("commit: " + caText(ca));
}

// Runs a query of two columns (an integer, a character value) and calls row(id, value, isNull)
// for every row; returns the rows read.
inline long queryEmbedded(const std::string &sql, const std::function<void(int, const char *, bool)> &row) {
  sqlca ca{};
  quarn_stmt *stmt = nullptr;
  if (quarn_prepare(sql.c_str(), &stmt, &ca) < 0) throw std::runtime_error(sql + ": " + caText(ca));
  if (quarn_open(stmt, 0, nullptr, &ca) < 0) {
    quarn_free_stmt(stmt);
    throw std::runtime_error(sql + ": " + caText(ca));
  }
  sqlint32 id = 0;
  static char value[32768];
  short idInd = 0, valueInd = 0;
  quarn_hostvar out[2] = {{SQL_TYP_INTEGER, 4, &id, &idInd}, {SQL_TYP_CSTR, sizeof value, value, &valueInd}};
  long rows = 0;
  int rc;
  while ((rc = quarn_fetch(stmt, 2, out, &ca)) >= 0 && rc != 100) {
    row(id, value, valueInd < 0);
    ++rows;
  }
  quarn_free_stmt(stmt);
  if (rc < 0) throw std::runtime_error(sql + ": " + caText(ca));
  return rows;
}

// The first column of the first row of a query, as text ("" for NULL or no row).
inline std::string valueEmbedded(const std::string &sql) {
  sqlca ca{};
  quarn_stmt *stmt = nullptr;
  if (quarn_prepare(sql.c_str(), &stmt, &ca) < 0) throw std::runtime_error(sql + ": " + caText(ca));
  char value[256] = "";
  short ind = 0;
  quarn_hostvar out{SQL_TYP_CSTR, sizeof value, value, &ind};
  int rc = quarn_open(stmt, 0, nullptr, &ca);
  if (rc >= 0) rc = quarn_fetch(stmt, 1, &out, &ca);
  quarn_free_stmt(stmt);
  if (rc < 0) throw std::runtime_error(sql + ": " + caText(ca));
  return rc == 100 || ind < 0 ? std::string() : std::string(value);
}

}  // namespace qspg

#endif /* QS_ORDERDB_H */
