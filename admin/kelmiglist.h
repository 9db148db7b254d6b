/*
 * kelmiglist.h - the statement lists of the migration command, made from the registration
 * table of database enablement (kelregister.h) and the earlier levels' forms kept beside it,
 * so that migration and enablement register the same objects with the same texts.  Also the
 * statements that set a database enabled at the current level back to the previous level, for
 * the test helper that makes old-level databases.  Lists are constant after their first use;
 * safe from any thread.
 */
#ifndef KEL_MIGLIST_H
#define KEL_MIGLIST_H

#include <cstddef>
#include <string>
#include <vector>

// The fixed lists, in the order the command runs them (FP7 before the key replacement, the
// others after it).
enum KelMigListId {
  KEL_MIG_FP3,             // 0 type probe; 1, 2 drops by name; 3 to 6 the four composition
                           // procedures with override varchar(1024); then the double-byte part
  KEL_MIG_FP4_PROCEDURES,  // 0, 1 the large-object composition procedures with clob(2G);
                           // 2 to 5 drops by specific name; 6 to 9 the current four
  KEL_MIG_FP4_FUNCTIONS,   // drops of the functions of the base level, their creates, then the
                           // double-byte part
  KEL_MIG_FP5,             // drop and create kelGenXMLClob and kelRetrieveXMLClob
  KEL_MIG_FP7,             // drops of the collection and disable-database procedures, creates
  KEL_MIG_FP8,             // 0 the probe (Content with an encoding); drops and creates of the
                           // storage and Content functions
  KEL_MIG_XMLVARCHAR,      // drop and create of the functions returning XMLVarchar, the cast
  KEL_MIG_UDF_WITH_DTD,    // the extraction functions with a DTD argument (0 is the probe)
  KEL_MIG_VALIDATE,        // validate with the DTD as XMLCLOB (0 is the probe)
  KEL_MIG_LARGE_SHRED,     // kelShredXML50MB
  KEL_MIG_LARGE_INSERT,    // kelInsertXML50MB
};

struct KelMigList {
  std::vector<std::string> statements;
  // Index of the first statement of the double-byte part (statements.size() when none).
  size_t doubleByteFrom = 0;
};

const KelMigList &kelMigrationList(KelMigListId id);

// The registrations appended to enablement after the base level (validateschema, explainPath,
// validateReport, validateReportSchema and whatever is appended later), one group per routine
// name in registration order: the command creates each, taking "already there" (-454, -456)
// as done.
struct KelMigAppended {
  std::string name;
  bool procedure = false;
  std::vector<std::string> statements;
};
const std::vector<KelMigAppended> &kelMigrationAppended();

// The statements that turn a database enabled at the current level into one enabled by the
// previous level: the registrations the steps FP5 to the appended ones add are dropped, and the
// changed ones replaced by their old forms.  For the test helper only; run in order.
const std::vector<std::string> &kelPreviousLevelStatements();

#endif /* KEL_MIGLIST_H */
