// kelmigv_oldlevel.cpp - a test helper, not part of the product: makes a database look as if an
// earlier level of the system had enabled it, so that the migration command has work to do.
// Usage: kelmigv_oldlevel <dbname>.  Enables the database when it is not enabled yet, then sets
// it back to the previous level in one unit of work: the registrations added since are
// dropped, the changed ones replaced by their old forms (kelPreviousLevelStatements), and every
// XML_USAGE row gets VERSION 0 and a null ROOT_ID and SIDE_TAB_QUAL.  Prints what failed and
// ends with 1 on failure (nothing changed), 0 on success.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kelmiglist.h"
#include "quarnapp.h"

namespace {

int fail(const char *what, sqlca *ca) {
  char text[1024] = "";
  sqlaintp_api(text, sizeof text, 80, nullptr, ca);
  std::printf("%s failed: %s", what, text);
  sqlca rb{};
  quarn_rollback(&rb);
  return 1;
}

// Enables the current database through the enablement entry.
int enable(const char *dbName, sqlca *ca) {
  std::vector<char> bytes(static_cast<size_t>(SQLDASIZE(3)), 0);
  auto *da = reinterpret_cast<sqlda *>(bytes.data());
  std::memcpy(da->sqldaid, "SQLDA   ", 8);
  da->sqldabc = SQLDASIZE(3);
  da->sqln = da->sqld = 3;
  std::string name(dbName);
  std::vector<char> nameBuf(name.begin(), name.end());
  nameBuf.push_back('\0');
  sqlint32 rc = 0;
  char msg[1025] = "";
  short ind[3] = {0, 0, 0};
  char *data[3] = {nameBuf.data(), reinterpret_cast<char *>(&rc), msg};
  short types[3] = {SQL_TYP_NCSTR, SQL_TYP_NINTEGER, SQL_TYP_NCSTR};
  short lens[3] = {static_cast<short>(nameBuf.size()), sizeof rc, sizeof msg};
  for (int i = 0; i < 3; ++i) {
    da->sqlvar[i].sqltype = types[i];
    da->sqlvar[i].sqllen = lens[i];
    da->sqlvar[i].sqldata = data[i];
    da->sqlvar[i].sqlind = &ind[i];
  }
  if (quarn_call("quarnxml!kelEnableDB", da, ca) < 0) return -1;
  if (rc != 0) {
    std::printf("enablement answered %d: %s", static_cast<int>(rc), msg);
    return -1;
  }
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::printf("Usage: kelmigv_oldlevel <dbname>\n");
    return 1;
  }
  sqlca ca{};
  if (quarn_connect(argv[1], nullptr, nullptr, &ca) < 0) return fail("CONNECT", &ca);
  quarn_stmt *probe = nullptr;
  bool enabled = false;
  if (quarn_prepare(
          "SELECT 1 FROM SYSCAT.TABLES WHERE TABSCHEMA = 'QUARNXML' AND TABNAME = 'XML_USAGE'",
          &probe, &ca) < 0 ||
      quarn_open(probe, 0, nullptr, &ca) < 0)
    return fail("the enabled test", &ca);
  sqlint32 one = 0;
  quarn_hostvar out = {SQL_TYP_INTEGER, sizeof one, &one, nullptr};
  enabled = quarn_fetch(probe, 1, &out, &ca) == 0;
  quarn_close(probe, &ca);
  quarn_free_stmt(probe);
  if (!enabled && enable(argv[1], &ca) < 0) return fail("enablement", &ca);
  for (const std::string &stmt : kelPreviousLevelStatements())
    if (quarn_execute_immediate(stmt.c_str(), &ca) < 0) return fail(stmt.c_str(), &ca);
  if (quarn_execute_immediate(
          "UPDATE QUARNXML.XML_USAGE SET VERSION = 0, ROOT_ID = NULL, SIDE_TAB_QUAL = NULL", &ca) <
      0)
    return fail("UPDATE QUARNXML.XML_USAGE", &ca);
  if (quarn_commit(&ca) < 0) return fail("COMMIT", &ca);
  quarn_connect_reset(&ca);
  std::printf("The database %s is at the previous level.\n", argv[1]);
  return 0;
}
