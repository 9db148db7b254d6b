/*
 * kelcattab.h - the system's catalogue tables QUARNXML.DTD_REF (stored DTDs and their usage
 * counts, kept honest by three triggers) and QUARNXML.XML_USAGE (one row per enabled XML
 * column or collection, with its DAD): their statement texts, kept here as data in the order
 * database enablement runs them, and the test that decides whether a database is enabled.
 *
 * The statement texts are constant and owned by this unit; everything here is safe to use from
 * several calls at once.
 */
#ifndef KEL_CATTAB_H
#define KEL_CATTAB_H

struct KelCallContext;

// What a catalogue-table statement does; a table space clause may be appended to the two
// KEL_CATTAB_CREATE_TABLE statements only.
enum KelCatTabKind {
  KEL_CATTAB_CREATE_TABLE,
  KEL_CATTAB_GRANT,
  KEL_CATTAB_CREATE_TRIGGER,
  KEL_CATTAB_DROP,
};

// Which table a statement belongs to.
inline constexpr int KEL_CATTAB_DTD_REF = 1;
inline constexpr int KEL_CATTAB_XML_USAGE = 2;

struct KelCatTabStmt {
  KelCatTabKind kind;
  int table;        // KEL_CATTAB_DTD_REF or KEL_CATTAB_XML_USAGE
  const char *sql;  // the statement text
};

/*
 * The statements that create the catalogue tables, in the order enablement runs them: DTD_REF,
 * its four grants, XML_USAGE, its four grants, the three DTD_REF triggers.  The distinct type
 * QUARNXML.XMLCLOB must exist before.  *count receives the number of statements.
 */
const KelCatTabStmt *kelCatTabCreateStatements(int *count);

// The statements that remove them again: the three triggers, DTD_REF, XML_USAGE.
const KelCatTabStmt *kelCatTabDropStatements(int *count);

// SQLSTATE and texts the DTD_REF triggers signal.
inline constexpr char KEL_DTDREF_SQLSTATE[] = "70010";
inline constexpr char KEL_DTDREF_IN_USE_TEXT[] = "This DTD is used by others.";
inline constexpr char KEL_DTDREF_BAD_UPDATE_TEXT[] = "Illegal update on DTD or its usage count.";
inline constexpr char KEL_DTDREF_BAD_INSERT_TEXT[] = "The usage_count must be 0 when inserted.";

/*
 * Sets *enabled to 1 when the current database is enabled for XML (QUARNXML.XML_USAGE exists),
 * else 0.  Returns 0, or the failure of kelTableExists (-104, -57) with its message in msg.
 */
int kelIsDatabaseEnabled(KelCallContext *ctx, int *enabled, char *msg);

/*
 * True for a schema no table the extension creates may be in: the extension's own QUARNXML
 * (its catalogue and the migration command's work table) and the system's schemas (names that
 * begin with SYS), compared without regard to case.  A side table or collection table there
 * would let a user's documents fill the system's tables.
 */
bool kelIsReservedSchema(const char *schema);

#endif /* KEL_CATTAB_H */
