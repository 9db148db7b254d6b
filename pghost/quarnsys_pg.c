/*
 * quarnsys_pg.c - libquarnsys for PostgreSQL: the instance's registry values are the settings
 * quarnsql.xml_read_dirs and quarnsql.xml_write_dirs (postgresql.conf, ALTER SYSTEM, ALTER
 * DATABASE, or SET by a superuser), in the registry values' own format ("ANY" or directories
 * separated by ";").  They are changed through PostgreSQL, never by sqloSetEnv.  A caller
 * without the privilege to have server files read or written sees them unset (qssys.h).
 * Nothing here raises an error: settings are read with missing_ok.  Backend-local.
 */
#include "postgres.h"

#include "qssys.h"
#include "sqlenv.h"
#include "utils/guc.h"

static int readAllowed, writeAllowed;
static int refused; /* QS_SYS_REFUSED_* of the current call */

void qsSysSetAccess(int mayRead, int mayWrite) {
  readAllowed = mayRead;
  writeAllowed = mayWrite;
  refused = 0;
}

int qsSysRefused(void) { return refused; }

const char *sqloEnvName(int id) {
  switch (id) {
    case SQLE_REG_XML_READ_DIRS: return "QUARN_XML_READ_DIRS";
    case SQLE_REG_XML_WRITE_DIRS: return "QUARN_XML_WRITE_DIRS";
    default: return NULL;
  }
}

int sqloGetEnv(int id, char *value, int size) {
  const char *setting, *v;
  size_t n;
  int allowed;
  switch (id) {
    case SQLE_REG_XML_READ_DIRS: setting = "quarnsql.xml_read_dirs"; allowed = readAllowed; break;
    case SQLE_REG_XML_WRITE_DIRS: setting = "quarnsql.xml_write_dirs"; allowed = writeAllowed; break;
    default: return -1;
  }
  if (value == NULL || size < 1) return -1;
  value[0] = '\0';
  v = GetConfigOption(setting, true, false);
  if (v == NULL || v[0] == '\0') return SQLO_REG_UNSET;
  if (!allowed) {
    refused |= id == SQLE_REG_XML_READ_DIRS ? QS_SYS_REFUSED_READ : QS_SYS_REFUSED_WRITE;
    return SQLO_REG_UNSET;
  }
  n = strlen(v);
  if (n + 1 > (size_t)size) return -1;
  memcpy(value, v, n + 1);
  return 0;
}

int sqloSetEnv(int id, const char *value) {
  (void)id;
  (void)value;
  return -1; /* settings change through PostgreSQL (ALTER SYSTEM, ALTER DATABASE) */
}
