/*
 * triggers.h - Quarn triggers: CREATE TRIGGER parsed into a TriggerPlan, the catalog rows of
 * triggers and their dependencies, and the SQLite triggers generated from them.
 *
 * Every Quarn trigger becomes one SQLite row trigger "SCHEMA.TABLE::TRG:TSCHEMA.TNAME" whose
 * WHEN and body are the translated condition and statements; transition variables are SQLite's
 * NEW and OLD, so external functions (QUDF) and table functions (eponymous virtual tables) run
 * inside the body as in any statement.  SQLite fires the triggers of one table and event in the
 * reverse order of their creation, so the engine drops and recreates all triggers of a table,
 * newest first, whenever one of them is created or dropped.
 *
 * SQLite cannot change NEW in a BEFORE trigger.  When a BEFORE trigger of an event assigns
 * columns (SET NEWROW.col = expr), all triggers of that table and event run as AFTER triggers
 * in the order BEFORE ones first; the assignment updates the stored row by its rowid through
 * the SQL function QTRIGSET (with the table's UPDATE triggers held off during that update), and
 * reads of the assigned columns through the transition variable read the stored row, so later
 * triggers of the statement see the assigned value.  SIGNAL is RAISE(ABORT) with an encoded
 * -438, so SQLite undoes the whole statement.
 *
 * Functions here work on one session inside its unit of work and throw QError.
 */
#ifndef QUARN_ENGINE_TRIGGERS_H
#define QUARN_ENGINE_TRIGGERS_H

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ddl.h"

struct sqlite3;

namespace quarn {

class Session;

// A CREATE TRIGGER statement translated for one generation of the table's SQLite triggers.
struct TriggerPlan {
  QualName name, table;               // the trigger; the subject table (aliases resolved)
  char time = 'A';                    // 'B' before, 'A' after
  char event = 'I';                   // 'I' insert, 'U' update, 'D' delete
  std::vector<std::string> updateOf;  // UPDATE OF columns; empty: any
  std::vector<std::string> setCols;   // columns the body assigns (BEFORE triggers)
  std::string whenSql;                // SQLite condition over NEW and OLD; empty: always
  std::vector<std::string> body;      // SQLite statements, each ended by ";"
  std::vector<std::pair<char, QualName>>
      deps;          // BTYPE ('T' table, 'V' view, 'F' function) and object
  std::string text;  // the statement as written
};

// How the triggers of the same table and event are generated: emulated is set when a BEFORE
// trigger of the event assigns columns; storedCols are the columns such triggers assign.
struct TriggerContext {
  bool emulated = false;
  std::set<std::string> storedCols;
};

// Parses the CREATE TRIGGER statement sql (defined in translate.cpp).  Throws QError: -104
// syntax, -204 unknown table or column, -142 forms the engine does not support (INSTEAD OF,
// FOR EACH STATEMENT, transition tables), -797 a statement a BEFORE trigger may not run, -418
// parameter markers, and the codes of the statements in the body.
TriggerPlan translateTrigger(Session &s, const std::string &sql, const TriggerContext &ctx);

// Records the trigger (-601 when the name is taken, -607 in a system schema, -159 when the
// subject is not a table) and regenerates the SQLite triggers of its table.
void ddlCreateTrigger(Session &s, const TriggerPlan &plan);
// Drops the trigger (-204 when there is none) and regenerates its table's SQLite triggers.
void ddlDropTrigger(Session &s, const QualName &name);
// Throws -478 when a trigger of another table depends on the object (btype 'T', 'V' or 'F';
// for functions name is the specific name).
void checkTriggerDependents(sqlite3 *db, char btype, const std::string &schema,
                            const std::string &name, const char *kind);

// Registers QTRIGSET and QTRIGGUARD on a connection.
void registerTriggerFunctions(sqlite3 *db);

// Finalizes the statements QTRIGSET keeps for db; called before the connection closes.
void releaseTriggerStatements(sqlite3 *db);

}  // namespace quarn

#endif  // QUARN_ENGINE_TRIGGERS_H
