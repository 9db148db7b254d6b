/*
 * qshandler.c - the PostgreSQL module quarnsql.so: the procedural language quarnsql (its call
 * handler and validator), its settings, and the instance environment the extension's routines
 * read.  Loading it loads the PostgreSQL builds of libquarnrds, libquarnsys and libquarnapp it
 * links (found through its run path), so a routine library opened later binds to them by their
 * SONAMEs and the embedded engine never enters the backend.
 *
 * Settings (all superuser-only, since they choose what the server reads, writes and loads):
 *   quarnsql.routine_path     directories of routine libraries ("$libdir/quarnxml/lib")
 *   quarnsql.xml_read_dirs    directories server-file functions read (the registry value)
 *   quarnsql.xml_write_dirs   directories they write
 *   quarnsql.instance         QUARNINSTANCE, the instance name in trace file names ("postgres")
 *   quarnsql.kel_path         QUARNKELPATH, the directory of the trace control file (empty:
 *                             the data directory)
 *   quarnsql.temp_dir         QUARNKELTEMP, the directory of temporary files (empty: the
 *                             system's)
 *   quarnsql.min_tmpfile_size QUARNKEL_MIN_TMPFILE_SIZE (0: the routines' own default)
 * Each environment variable is set when its setting changes, so it holds in every backend.
 */
#include "postgres.h"

#include <limits.h>
#include <stdlib.h>

#include "fmgr.h"
#include "miscadmin.h"
#include "qscall.h"
#include "qsdef.h"
#include "qsloader.h"
#include "qstypes.h"
#include "utils/guc.h"

#define QS_EXPORT __attribute__((visibility("default")))

PG_MODULE_MAGIC;

static char *xmlReadDirs, *xmlWriteDirs, *instanceName, *kelPath, *tempDir, *distinctLength;
static int minTmpfileSize;

/* Sets or clears an environment variable from a setting (empty: cleared, or fallback). */
static void setEnvironment(const char *name, const char *value, const char *fallback) {
  const char *v = value != NULL && value[0] != '\0' ? value : fallback;
  if (v != NULL && v[0] != '\0') setenv(name, v, 1);
  else unsetenv(name);
}

static void assignInstance(const char *value, void *extra) { setEnvironment("QUARNINSTANCE", value, "postgres"); }
static void assignKelPath(const char *value, void *extra) { setEnvironment("QUARNKELPATH", value, DataDir); }
static void assignTempDir(const char *value, void *extra) { setEnvironment("QUARNKELTEMP", value, NULL); }
static void assignMinTmpfileSize(int value, void *extra) {
  char text[32];
  snprintf(text, sizeof text, "%d", value);
  setEnvironment("QUARNKEL_MIN_TMPFILE_SIZE", value > 0 ? text : NULL, NULL);
}

QS_EXPORT void _PG_init(void);
void _PG_init(void) {
  DefineCustomStringVariable("quarnsql.routine_path", "Directories of the libraries of quarnsql routines.",
                             "Colon-separated; $libdir stands for PostgreSQL's library directory.", &qsRoutinePath,
                             "$libdir/quarnxml/lib", PGC_SUSET, 0, NULL, NULL, NULL);
  DefineCustomStringVariable("quarnsql.xml_read_dirs", "Directories whose files the XML functions may read.",
                             "\"ANY\", or directories separated by \";\"; empty: none.", &xmlReadDirs, "", PGC_SUSET, 0,
                             NULL, NULL, NULL);
  DefineCustomStringVariable("quarnsql.xml_write_dirs", "Directories whose files the XML functions may write.",
                             "\"ANY\", or directories separated by \";\"; empty: none.", &xmlWriteDirs, "", PGC_SUSET, 0,
                             NULL, NULL, NULL);
  DefineCustomStringVariable("quarnsql.instance", "Instance name the XML functions trace under (QUARNINSTANCE).", NULL,
                             &instanceName, "postgres", PGC_SUSET, 0, NULL, assignInstance, NULL);
  DefineCustomStringVariable("quarnsql.kel_path",
                             "Directory of the XML functions' trace control file (QUARNKELPATH); empty: the data directory.",
                             NULL, &kelPath, "", PGC_SUSET, 0, NULL, assignKelPath, NULL);
  DefineCustomStringVariable("quarnsql.temp_dir",
                             "Directory of the XML functions' temporary files (QUARNKELTEMP); empty: the system's.", NULL,
                             &tempDir, "", PGC_SUSET, 0, NULL, assignTempDir, NULL);
  DefineCustomIntVariable("quarnsql.min_tmpfile_size",
                          "Bytes from which the XML functions keep a large document in a temporary file; 0: their default.",
                          NULL, &minTmpfileSize, 0, 0, INT_MAX, PGC_SUSET, GUC_UNIT_BYTE, NULL, assignMinTmpfileSize,
                          NULL);
  /* Carried by the SET clause of a character distinct type's functions; they read it from their
   * own definition (qstypes.c), so a session's value of it means nothing. */
  DefineCustomStringVariable("quarnsql.distinct_length",
                             "Bytes a character distinct type holds, as its functions' SET clause records them.", NULL,
                             &distinctLength, "", PGC_USERSET, GUC_NOT_IN_SAMPLE, NULL, NULL, NULL);
  MarkGUCPrefixReserved("quarnsql");
  qsDefInit();
  qsTypesInit();
  qsCallInit();
}

PG_FUNCTION_INFO_V1(quarnsql_call_handler);
QS_EXPORT Datum quarnsql_call_handler(PG_FUNCTION_ARGS) { return qsCall(fcinfo); }

/* Checks a definition when it is created: the clauses fit the declaration, and (unless
 * check_function_bodies is off, as when a dump is restored) the library and entry exist. */
PG_FUNCTION_INFO_V1(quarnsql_validator);
QS_EXPORT Datum quarnsql_validator(PG_FUNCTION_ARGS) {
  Oid fn = PG_GETARG_OID(0);
  QsDef *def;
  if (!CheckFunctionValidatorAccess(fcinfo->flinfo->fn_oid, fn)) PG_RETURN_VOID();
  def = qsDefRead(fn);
  if (check_function_bodies) (void)qsLoadEntry(def);
  PG_RETURN_VOID();
}
