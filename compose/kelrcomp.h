/*
 * kelrcomp.h - RDB_node composition: documents made from the tables of an RDB_node-mapped
 * collection.  The relation model (dad/kelrel.h) names the tables, their mapped columns and
 * joins; here every table gets one query (kelGenSQL), prepared once per call and re-executed
 * for each parent row with the parent's join values as parameters; the top table's rows make
 * one document each, and the DAD's element tree is walked per document, opening a child
 * table's query wherever its top element repeats.  An XML override (kelInitOverride) adds
 * comparisons to the columns its location paths select.
 *
 * Used by the composition driver (kelcomp).  Everything belongs to one call and its
 * connection; nothing is kept between calls.
 */
#ifndef KEL_RCOMP_H
#define KEL_RCOMP_H

#include <string>

#include "kelcompq.h"
#include "keldadcache.h"
#include "kelrel.h"
#include "sqlcli.h"

struct KelCallContext;

// Override types of the composition procedures.
inline constexpr int KEL_NO_OVERRIDE = 0;
inline constexpr int KEL_SQL_OVERRIDE = 1;
inline constexpr int KEL_XML_OVERRIDE = 2;
// Most conditions of one XML override.
inline constexpr size_t KEL_MAX_OVERRIDES = 128;

/*
 * Parses an override into *out.  Type 0: nothing.  Type 2: conditions joined by the word AND
 * (any case, outside single quotes, never inside another word), each a location path ending
 * at the first blank, '<', '=' or '>' and a comparison that runs to the next AND; a
 * comparison that names NO_CONDITION (outside quotes) stands for none.  The path is a plain
 * one: element names from the root, each after one "/", the last step optionally "@" and an
 * attribute name.  Returns 0, or -99 with KELQ030E for any other type (an SQL override has no
 * place in RDB_node mapping), a path that is not plain (a predicate, "//", "*", a function)
 * or does not compile, a condition without a comparison or with an operator alone, text that
 * cannot be converted, or a 129th condition.
 */
int kelInitOverride(KelCallContext *ctx, int overrideType, const std::string &overrideText, KelOverrideList *out,
                    char *sqlstate, char *msg);

/*
 * Composes the documents of an RDB_node DAD: builds the model (with the override applied),
 * runs the top table's query and writes one document per row (a root element that is
 * intermediate and not multi-occurring makes exactly one document), each starting with
 * docHeader and going to out (kelDeliverDoc).  Returns 0; 3 with KELQ003W when out->maxRows
 * documents were made and another row would make one more; 5 with KELQ041W when an override
 * path selected nothing (the documents stand); the failure of the model, of a query (-133
 * KELQ053E), a mapping error (KELQ007E, KELQ012E, KELQ014E, KELQ016E, KELQ062E, KELQ063E,
 * KELQ006E), -121 KELQ038E for a query over the statement limit, or an interface failure
 * (-57) otherwise.
 */
int kelGenXMLFromRDB(KelCallContext *ctx, SQLHDBC dbc, KelDad *dad, int overrideType, const std::string &overrideText,
                     const std::string &docHeader, KelComposeOutput *out, char *sqlstate, char *msg);

#endif /* KEL_RCOMP_H */
