/*
 * kelentrygen.cpp - build-time generator of the export list of quarnxmlfn: every entry name
 * the function table (routine/kelfunctab.h) names, one per line, sorted and without
 * repetitions.  The export check and the loader tests read the list it writes.
 * Usage: kelentrygen <output file>
 */
#include <cstdio>
#include <set>
#include <string>

#include "kelfunctab.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kelentrygen <output file>\n");
    return 2;
  }
  std::set<std::string> entries;
#define KEL_SOURCE_NAMES(Src, Suffix, SqlParam, Name, Two)             \
  entries.insert(std::string("kelExtract") + #Name + #Suffix + Two);     \
  entries.insert(std::string("kelExtract") + #Name + "s" + #Suffix + Two);
#define KEL_TYPE_NAMES(Name, ...) KEL_EXTRACT_SOURCES(KEL_SOURCE_NAMES, Name, "")
#define KEL_DTD_TYPE_NAMES(Name, ...) KEL_EXTRACT_SOURCES(KEL_SOURCE_NAMES, Name, "2")
  KEL_EXTRACT_TYPES(KEL_TYPE_NAMES)
  KEL_EXTRACT_DTD_TYPES(KEL_DTD_TYPE_NAMES)
#define KEL_STORAGE_NAME(sqlName, params, returns, specific, entry) entries.insert(entry);
  KEL_STORAGE_FUNCTIONS(KEL_STORAGE_NAME)
#define KEL_ENTRY_NAME4(src, param, specific, entry) entries.insert(#entry);
#define KEL_ENTRY_NAME5(src, param, returns, specific, entry) entries.insert(#entry);
  KEL_UPDATE_FUNCTIONS(KEL_ENTRY_NAME5)
  KEL_VALIDATE_FUNCTIONS(KEL_ENTRY_NAME4)
  KEL_VALIDATE_DTD_FUNCTIONS(KEL_ENTRY_NAME4)
  KEL_VALIDATESCHEMA_FUNCTIONS(KEL_ENTRY_NAME4)
  KEL_EXPLAIN_FUNCTIONS(KEL_ENTRY_NAME4)
  KEL_VALIDATE_REPORT_FUNCTIONS(KEL_ENTRY_NAME4)
  KEL_VALIDATE_REPORT_DTD_FUNCTIONS(KEL_ENTRY_NAME4)
  KEL_VALIDATE_REPORT_SCHEMA_FUNCTIONS(KEL_ENTRY_NAME4)
#define KEL_OTHER_NAME(entry) entries.insert(entry);
  KEL_OTHER_FUNCTION_ENTRIES(KEL_OTHER_NAME)

  FILE *out = std::fopen(argv[1], "w");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  for (const std::string &e : entries) std::fprintf(out, "%s\n", e.c_str());
  return std::fclose(out) == 0 ? 0 : 1;
}
