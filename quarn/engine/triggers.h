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
 * SQLite cannot change NEW in a BEFORE trigger.  An INSERT statement applies the assignments of
 * the table's BEFORE INSERT triggers to each row before it stores it (insertAssignments below).
 * Otherwise, when a BEFORE trigger of an event assigns
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
  // Each SET statement of the body: its columns with their SQLite values, in order.
  std::vector<std::vector<std::pair<std::string, std::string>>> sets;
  bool otherStatements = false;  // the body has statements other than SET
  std::string whenSql;                // SQLite condition over NEW and OLD; empty: always
  std::vector<std::string> body;      // SQLite statements, each ended by ";"
  // The data changes of the body: the table, the event ('I', 'U', 'D') and the columns an
  // UPDATE sets.
  struct Change {
    QualName table;
    char event = 'I';
    std::vector<std::string> cols;
  };
  std::vector<Change> changes;
  std::vector<std::pair<char, QualName>>
      deps;          // BTYPE ('T' table, 'V' view, 'F' function) and object
  std::string text;  // the statement as written
};

// How the triggers of the same table and event are generated: emulated is set when a BEFORE
// trigger of the event assigns columns; storedCols are the columns such triggers assign.
// applied: the trigger is read for an INSERT statement that applies its assignments itself, and
// its transition variable's columns are those of the row being built, "quarn_new"."COL".
struct TriggerContext {
  bool emulated = false;
  bool applied = false;
  std::set<std::string> storedCols;
};

// One SET statement of a BEFORE INSERT trigger as an INSERT statement applies it to each row:
// under the trigger's condition (empty: always), the columns take the values, both SQLite
// expressions over "quarn_new", the row as the statement has built it so far.
struct InsertAssignment {
  std::string whenSql;
  std::vector<std::pair<std::string, std::string>> sets;
};

// The assignments an INSERT into the table applies to each row before storing it: those of its
// BEFORE INSERT triggers, in firing order.  The INSERT statement applies them itself, so that
// the row is stored once, with the values its constraints and later triggers see, when every
// such trigger's body is one SET statement and none fires after a BEFORE INSERT trigger that
// assigns nothing; otherwise returns false and the table's triggers assign through QTRIGSET as
// described above.  True with none when no BEFORE INSERT trigger assigns.
bool insertAssignments(Session &s, const std::string &schema, const std::string &table,
                       std::vector<InsertAssignment> *out);

// Parses the CREATE TRIGGER statement sql (defined in translate.cpp).  Throws QError: -104
// syntax, -204 unknown table or column, -142 forms the engine does not support (INSTEAD OF,
// FOR EACH STATEMENT, transition tables), -797 a statement a BEFORE trigger may not run, -418
// parameter markers, and the codes of the statements in the body.
TriggerPlan translateTrigger(Session &s, const std::string &sql, const TriggerContext &ctx);

// Records the trigger (-601 when the name is taken, -607 in a system schema, -159 when the
// subject is not a table) and regenerates the SQLite triggers of its table.  A trigger that
// would fire itself again, through its own body or the triggers and cascading deletes its body's
// changes set off, is -142: SQLite does not fire a trigger inside itself (recursive triggers
// are off, which the engine's own triggers need), so the cascade would end without a word.
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
