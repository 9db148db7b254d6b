/*
 * kelrdbi.h - row generation: a parsed XML document cut into the rows of the tables of an
 * RDB_node collection, with the foreign-key values that attach each child row to its parent
 * row, and the rows inserted through prepared INSERT statements of a call-level-interface
 * connection.  Called once per document by the decomposition driver (keldecomp.h).
 *
 * How a document becomes rows.  Each table has one row per occurrence of its lowest common
 * ancestor (the deepest element holding all of its values) that holds any of its values: an
 * element whose text or markup is mapped, or the element of a mapped attribute (present or
 * not).  A text value is the element's own text and CDATA content (entity references
 * expanded); an empty text or attribute is NULL; an element mapped whole is its markup.  One
 * occurrence holding a second value for a column fails (KELQ037E for an element, KELQ045E for
 * an attribute).  A foreign-key value is the value of the supplying column in the parent row
 * the child row lies in: the parent row whose lowest common ancestor contains the child's (or,
 * when the parent's values lie beside the child's, the first parent row under their nearest
 * common element).  Values are never written into the document, so a document's own attributes
 * cannot collide with them.  The document element is taken as the root element whatever its
 * name.
 *
 * Rows are inserted table by table in the order the DAD names the tables' top elements
 * (depth-first), a table only after the tables its foreign keys point to, each table's rows in
 * document order; a row that does not satisfy its table's condition is not inserted.
 *
 * Everything belongs to one call; the document DOM is only read.  Failures return the negative
 * code of their message, with sqlstate (6 bytes, may be null) and msg (a message buffer of the
 * context's mode) set; the rows inserted before a failure are the caller's to undo (the
 * procedures do, with their call savepoint).
 */
#ifndef KEL_RDBI_H
#define KEL_RDBI_H

#include <xercesc/dom/DOMElement.hpp>

#include <memory>
#include <string>
#include <vector>

#include "kelrel.h"
#include "sqlcli.h"

struct KelCallContext;

// Rows of one table from one document, at most.
inline constexpr int KEL_MAX_ROWS = 10240;

// One value of a row: NULL, or a text in the database code page.
struct KelRowValue {
  bool null = true;
  std::string text;
};

struct KelRow {
  const xercesc::DOMElement *lca = nullptr;  // the occurrence of the table's lowest common ancestor
  std::vector<KelRowValue> values;           // one per mapped column, then one per foreign key
};

struct KelRowSet {
  std::vector<std::vector<KelRow>> tab;  // rows of each table of the relation, in document order
};

/*
 * What decomposition derives from a DAD once (the parsed-DAD cache keeps it with the DAD): the
 * model with its types in canonical form and each table's INSERT, the parameters of those
 * statements, the places of the values along the DAD's element paths and the order in which
 * the tables are inserted.  Read-only once built; shared by the calls that use the same DAD.
 */
struct KelDecompPlan;
using KelDecompPlanPtr = std::shared_ptr<const KelDecompPlan>;

/*
 * Builds the plan of rel (a decomposition model, taken over) whose DAD's root element_node is
 * dadRoot.  Returns 0 with *out set; KELA059E (the type, the column) for a type that is not type
 * syntax; KELQ014E for an element_node without a name; KELQ038E, KELQ033E from the statements;
 * KELG002E when memory runs out.
 */
int kelPlanDecomposition(KelCallContext *ctx, KEL_REL rel, const xercesc::DOMElement *dadRoot, KelDecompPlanPtr *out,
                         char *sqlstate, char *msg);

// The model of a plan (types canonical, each table's stmt its INSERT).
const KEL_REL &kelPlanRelation(const KelDecompPlan &plan);

/*
 * Cuts the document whose document element is docRoot into rows.  Returns 0 with *out set;
 * failures: KELQ037E (the element) and KELQ045E (the element of the row, the column) for a
 * second value of one column in one row; KELQ069E (the supplying element or attribute, the
 * parent table, the child table) when a child row finds no parent row or the parent's value is
 * missing; KELG017E "KEL_MAX_ROWS" for more than KEL_MAX_ROWS rows of one table; KELG002E when
 * memory runs out; the failures of kelDOMtoXML for an element mapped whole.
 */
int kelGenerateRows(KelCallContext *ctx, const KelDecompPlan &plan, const xercesc::DOMElement *docRoot,
                    KelRowSet *out, char *sqlstate, char *msg);

/*
 * Inserts the rows on connection dbc: each table's INSERT is prepared once and executed once
 * per row, every value bound as character data, NULL values as NULL.  Returns 0; failures:
 * KELQ026E (the element, the column) for a value longer than its character or large-object
 * column, found before the row is sent (the database would cut it); a refused row gives its
 * SQLCODE (-803 for a duplicate key, -530 for a missing parent, -420 or -180 for a value that
 * does not convert ...) with the database's text, KELM001W and KELQ053E naming the table and,
 * for a value that does not convert, its column and element; KELG006E for a failing call of the
 * call-level interface.
 */
int kelInsertRows(KelCallContext *ctx, const KelDecompPlan &plan, const KelRowSet &rows, SQLHDBC dbc, char *sqlstate,
                  char *msg);

#endif /* KEL_RDBI_H */
