/*
 * kelresult.h - what becomes of a finished document: validation against the DTD or schema the
 * DAD names (kelValidateXML), insertion as one row of the caller's result table
 * (kelInsertResult), or a copy into a large-object output value (kelResultToLob).  Used by
 * both composition mappings and the composition driver for each document they make.
 *
 * The document buffer belongs to the caller, who releases it once (kelBufRelease); nothing
 * here releases it.  Statements run on the thread's current connection (inside a procedure the
 * caller's session); a row inserted stays when a later document fails.  One KelResultTable
 * belongs to one call.
 */
#ifndef KEL_RESULT_H
#define KEL_RESULT_H

#include <cstdint>
#include <string>

#include "keldadread.h"

struct KelCallContext;
struct KelDocBuffer;
struct quarn_stmt;

// Kinds of validation descriptor.
inline constexpr int KEL_VALIDATE_DTD = 0;
inline constexpr int KEL_VALIDATE_SCHEMA = 1;
// Longest DTD id DTD_REF holds, in bytes; a longer id is stored nowhere.
inline constexpr size_t KEL_MAX_DTD_ID = 128;

struct KelValidationDesc {
  int kind = KEL_VALIDATE_DTD;
  std::string dtdId;              // KEL_VALIDATE_DTD: the DAD's dtdid (may be empty)
  std::u16string schemaLocation;  // KEL_VALIDATE_SCHEMA
};

// The descriptor a DAD's header asks for.
KelValidationDesc kelValidationOf(const KelDadHeader &header);

/*
 * Validates the finished document in doc (read in the database code page's encoding).
 * Schema kind: against the schema at the descriptor's location.  DTD kind: against the DTD
 * stored in DTD_REF under the id; an id DTD_REF does not hold (or one longer than
 * KEL_MAX_DTD_ID, which it cannot hold) validates with the DTD the document names itself.
 * Returns 1 when valid; 0 when not, with the parser's message (KELQ047E, "38X13") in msg;
 * a negative code when no verdict could be reached: -57 with KELG001E when the stored DTD
 * cannot be loaded, or the validator's own failure (-58 out of memory, -80 missing file).
 */
int kelValidateXML(KelCallContext *ctx, KelDocBuffer *doc, const KelValidationDesc &desc, char *sqlstate, char *msg);

/*
 * The caller's result table: schema (may be empty), table, the column that takes the document
 * and the column that takes the validation result (empty: none).  The INSERT is built from
 * the names, each quoted as a delimited identifier, prepared on first use and reused for every
 * document of the call, whether in memory or in a file (bound as a file reference).
 */
class KelResultTable {
 public:
  KelResultTable(std::string schema, std::string table, std::string resultColumn, std::string validColumn);
  ~KelResultTable();
  KelResultTable(const KelResultTable &) = delete;
  KelResultTable &operator=(const KelResultTable &) = delete;

  const std::string &schema() const { return schema_; }
  const std::string &table() const { return table_; }
  const std::string &resultColumn() const { return resultColumn_; }
  const std::string &validColumn() const { return validColumn_; }
  // "schema.table" or the table, as messages name it.
  std::string shownName() const;

 private:
  friend int kelInsertResult(KelCallContext *, KelDocBuffer *, KelResultTable *, int, const KelValidationDesc *,
                             char *, char *);
  std::string schema_, table_, resultColumn_, validColumn_;
  std::string insertText_[2];           // without and with the valid column
  quarn_stmt *prepared_[2] = {nullptr, nullptr};
};

/*
 * Inserts the document as one row of the result table; with validate, validates it first
 * (kelValidateXML) and puts the result (1 or 0) into the valid column.  Returns 0, or:
 *   -63 KELQ002E   an empty document
 *   -134 KELQ054E  validation asked for without a valid column ("NULL")
 *   -77 KELQ017E   the document is longer than the result column (the table's name)
 *   -133 KELQ053E  the table refuses the row (a constraint, a column of another type): the
 *                  database's text, KELM001W, then KELQ053E with "INSERT INTO " and the
 *                  table's name
 *   -57 KELG001E   a name that cannot be quoted, or a statement that cannot be prepared
 *                  (after the database's text); or the failure of kelValidateXML, in which
 *                  case nothing is inserted.
 */
int kelInsertResult(KelCallContext *ctx, KelDocBuffer *doc, KelResultTable *target, int validate,
                    const KelValidationDesc *desc, char *sqlstate, char *msg);

/*
 * Copies the document into data (capacity bytes, the data area of a large-object output value)
 * and sets *length.  Returns 0; -52 with KELC006E and "38X06" when it is longer than capacity
 * (nothing is written past it); a file document's read failure (KELC001E, KELC000E, KELC002E).
 */
int kelResultToLob(KelCallContext *ctx, KelDocBuffer *doc, char *data, int64_t capacity, uint32_t *length,
                   char *sqlstate, char *msg);

#endif /* KEL_RESULT_H */
