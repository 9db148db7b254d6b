/*
 * qsembedded.h - the same documents on the embedded engine, for comparing it with the
 * PostgreSQL host: a database of the instance QUARNPATH (set by the caller) made and enabled for
 * XML with the console quarn, a table ORDERS (ID, V XMLVarchar, C XMLCLOB) filled through the
 * embedded runtime, and queries read row by row.  The calling thread is connected to the
 * database from loadEmbedded on.  Header-only; links quarnapp.  Not thread-safe.
 */
#ifndef QS_EMBEDDED_H
#define QS_EMBEDDED_H

#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "quarnapp.h"

namespace qspg {

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
  if (quarn_execute_immediate("CREATE TABLE orders (id INTEGER NOT NULL PRIMARY KEY, v quarnxml.XMLVarchar, "
                              "c quarnxml.XMLCLOB)",
                              &ca) < 0)
    throw std::runtime_error("create table: " + caText(ca));
  quarn_stmt *ins = nullptr;
  if (quarn_prepare("INSERT INTO orders VALUES (?, quarnxml.XMLVarchar(CAST(? AS VARCHAR(3000))), "
                    "quarnxml.XMLCLOB(CAST(? AS CLOB(1M))))",
                    &ins, &ca) < 0)
    throw std::runtime_error("prepare: " + caText(ca));
  for (size_t i = 0; i < docs.size(); ++i) {
    sqlint32 id = static_cast<sqlint32>(i + 1);
    char *doc = const_cast<char *>(docs[i].c_str());
    quarn_hostvar in[3] = {{SQL_TYP_INTEGER, 4, &id, nullptr},
                           {SQL_TYP_CSTR, static_cast<sqlint32>(docs[i].size() + 1), doc, nullptr},
                           {SQL_TYP_CSTR, static_cast<sqlint32>(docs[i].size() + 1), doc, nullptr}};
    if (quarn_execute(ins, 3, in, &ca) < 0) throw std::runtime_error("insert: " + caText(ca));
  }
  quarn_free_stmt(ins);
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

}  // namespace qspg

#endif /* QS_EMBEDDED_H */
