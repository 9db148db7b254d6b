/*
 * kelscomp.h - SQL-mapping composition: documents made from the result of one SELECT
 * statement whose ORDER BY columns (the objids, outermost first) divide its columns into
 * levels.  The statement is cut at its last ORDER BY outside quotes and parentheses
 * (kelSplitSqlStmt); the level map groups the select list (kelLmAcquire); the top query yields
 * one document per distinct level-0 key, and for each element of a deeper level a child query
 * reads that level's rows under the current object, filtered on every ancestor key the
 * current query carries (kelComposeBySql).  Each query orders by its level's key as the
 * statement does (ASC or DESC, NULLS FIRST or LAST).
 *
 * Used by the composition driver (kelcomp).  Everything belongs to one call and its
 * connection; nothing is kept between calls.
 */
#ifndef KEL_SCOMP_H
#define KEL_SCOMP_H

#include <xercesc/dom/DOMElement.hpp>

#include <string>
#include <utility>
#include <vector>

#include "kelcompq.h"
#include "keldadread.h"
#include "sqlcli.h"

struct KelCallContext;

// How the statement orders by one key.
struct KelKeyOrder {
  bool desc = false;  // DESC
  enum Nulls { kAsDirection, kFirst, kLast } nulls = kAsDirection;  // NULLS FIRST, NULLS LAST or neither
};

// The columns of the select statement grouped into levels.
struct KelLevelMap {
  std::vector<std::pair<std::string, int>> byName;  // every select-list column and its level, by name
  std::vector<std::string> objids;                   // the ORDER BY keys, outermost first
  std::vector<KelKeyOrder> orders;                   // per key: its direction and nulls ordering
  std::vector<std::vector<std::string>> levels;      // per level: its key, then its other columns
};

/*
 * Cuts the SQL text (UTF-16) at its last ORDER BY that stands outside quotes, delimited
 * identifiers and parentheses (the keywords in any case): *select is the statement before it,
 * *keys the text after it, both in the database code page.  Returns 0; -78 with KELQ018E when
 * there is no such ORDER BY; -57 with KELG001E for text the code page cannot represent.
 */
int kelSplitSqlStmt(KelCallContext *ctx, const std::u16string &sql, std::string *select, std::string *keys,
                    char *sqlstate, char *msg);

/*
 * Builds the level map: prepares select on dbc and describes its columns, reads the keys (a
 * list of column names, each optionally qualified and followed by ASC or DESC and NULLS FIRST
 * or NULLS LAST, kept in lm->orders for every query that orders by the key), and puts each
 * select-list column on a level: level 0 up to the column named
 * by the second key, level 1 up to the third, and so on.  Failures:
 *   -62 KELQ001E  the statement does not prepare (with the interface's text), text follows the
 *                 last key, or the select list does not name the keys in their order
 *   -78 KELQ018E  no key at all
 *   -64 KELQ004E  a key that is not a column of the select list (the key)
 */
int kelLmAcquire(KelCallContext *ctx, SQLHDBC dbc, const std::string &select, const std::string &keys,
                 KelLevelMap *lm, char *sqlstate, char *msg);

// The level of column, or -1 when the select list has no such column.
int kelLmGetLevel(const KelLevelMap &lm, const std::string &column);

/*
 * Sets *columns to the column list of level (its key first).  Returns 0; -57 with KELG001E for
 * a level at or beyond the number of levels.
 */
int KelEqvClass(KelCallContext *ctx, const KelLevelMap &lm, int level, const std::vector<std::string> **columns,
                char *sqlstate, char *msg);

// Empties the level map.
void kelLmRelease(KelLevelMap *lm);

/*
 * Composes the documents of an SQL-mapping DAD: sql is the statement (the DAD's SQL_stmt or
 * the override, UTF-16, blanks normalised), docHeader the text every document starts with,
 * rootElement the DAD's root element_node.  Each finished document goes to out
 * (kelDeliverDoc); out->count counts them.  Returns 0; 3 with KELQ003W when out->maxRows
 * documents were made and another object would make one more; the failure of a step
 * otherwise (the DAD's mapping errors are found before the first document: KELQ014E,
 * KELQ004E, KELQ005E, KELQ007E, KELQ008E, KELQ013E, KELQ033E, KELQ063E; the statement's:
 * those of kelSplitSqlStmt and kelLmAcquire, -121 KELQ038E for a generated query over the
 * statement limit, -133 KELQ053E when one fails).
 */
int kelComposeBySql(KelCallContext *ctx, SQLHDBC dbc, const std::u16string &sql, const std::string &docHeader,
                    xercesc::DOMElement *rootElement, KelComposeOutput *out, char *sqlstate, char *msg);

#endif /* KEL_SCOMP_H */
