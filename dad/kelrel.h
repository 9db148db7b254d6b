/*
 * kelrel.h - the relation model of an RDB_node-mapped collection: which tables take part and
 * how they join (parsed from the top RDB_node's condition), which XML attribute, text or
 * element feeds each column, the level of every value, the foreign keys of child tables, the
 * element that starts each row of a table (its top element) and the lowest common ancestor of
 * a table's values.  Built by kelSetRel and then kelProcRel, for decomposition and collection
 * enablement (mode 1) or composition (mode 0); read by composition, decomposition and the
 * collection tables.
 *
 * The model is plain data in standard containers: it is copied freely (the parsed-DAD cache
 * hands every call a copy of its own) and released by its destructor; kelFreeRel empties it.
 * Tables refer to each other by index.  Names are as the SQL tokenizer parsed them (ordinary
 * identifiers upper-cased, delimited ones as written) in the database code page; element paths
 * are UTF-16 texts of blank-separated element names, root first.
 *
 * Every function is reentrant; a model belongs to one call.  Failures return the negative
 * return code of their catalogue message with sqlstate (6 bytes, may be null) and msg (a
 * message buffer of the context's mode, may be null) set; the model is then incomplete and is
 * only to be released.
 */
#ifndef KEL_REL_H
#define KEL_REL_H

#include <xercesc/dom/DOMElement.hpp>

#include <unicode/utypes.h>

#include <climits>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "keldadread.h"
#include "kelpath.h"
#include "sqlcli.h"

struct KelCallContext;

// Modes of the analysis.
inline constexpr int KEL_MODE_COMPOSE = 0;    // composition: overrides, catalogue join types
inline constexpr int KEL_MODE_DECOMPOSE = 1;  // decomposition and collection enablement

// The model's limits.  Anything beyond them is refused with a message naming the limit.
inline constexpr int KEL_NUMTAB_IN_REL = 30;       // tables of one collection
inline constexpr int KEL_MAX_KEYS = 16;            // primary-key columns of one table
inline constexpr int KEL_MAX_FOREIGN_KEYS = 16;    // foreign keys of one table
inline constexpr int KEL_MAX_COLS_IN_TAB = 500;    // mapped columns of one table
inline constexpr size_t KEL_MAX_SCHEMA_NAME = 30;  // bytes
inline constexpr size_t KEL_MAX_TABLE_NAME = 128;  // bytes
inline constexpr size_t KEL_MAX_COLUMN_NAME = 128; // bytes
inline constexpr size_t KEL_MAX_TYPE_TEXT = 26;    // bytes of a column's type attribute
inline constexpr size_t KEL_MAX_ORDER_BY = 2559;   // characters of an orderBy attribute
inline constexpr size_t KEL_MAX_STMT_LEN = 65534;  // bytes of any SQL text built from the model
inline constexpr size_t KEL_CONDITION_QUOTE = 300; // bytes of a condition quoted in a message

// A column of another table that a join column equals.
struct KelForeign {
  std::string schema, tab, col;
  bool operator==(const KelForeign &) const = default;
};

// One join of the top condition, as parsed: left = right.
struct KelJoin {
  KelForeign left, right;
};

// One column of a table named in a join.
struct KelJoinInfo {
  std::string col;
  std::string dataType;  // composition: the catalogue type of the first column it equals
  std::vector<KelForeign> foreign;
};

// One mapped column.
struct KelCol2Xml {
  std::string col;
  std::string dataType;  // the type attribute (decomposition)
  std::string xml;       // the attribute's name, or the element's
  int xmlType = -1;      // KEL_ATTRIBUTE, KEL_TEXT, KEL_ELEMENT (decomposition); -1 (composition)
  int xmlLevel = 0;
  std::u16string path;   // path of the element that holds the value
};

// A foreign key of a child table: its join column and the ancestor's column whose value fills it.
struct KelForeignKey {
  int join = -1;         // index into the table's joinInfo
  int ancestorTab = -1;  // index into KEL_REL::tab
  int ancestorCol = -1;  // index into that table's col2xml
};

struct KEL_TAB {
  std::string schema;  // empty without one
  std::string name;
  std::vector<std::string> priKey;          // decomposition: the key attribute's columns
  std::vector<KelForeignKey> foreignKey;    // decomposition
  int level = INT_MAX;                      // lowest level of its values
  std::string topElement;
  std::u16string topElementAncestorPath;    // empty: the top element is the root element
  std::u16string topElementPath;            // the top element's own path (ancestors and itself)
  std::string lowestCommonAncestor;
  std::u16string lcaAncestorPath;           // empty: the ancestor is the root element
  std::string stmt;                         // SQL text of the table, filled by its user
  bool hasOrderBy = false;
  std::string orderBy;
  std::vector<KelCol2Xml> col2xml;
  std::vector<KelJoinInfo> joinInfo;
  /*
   * The table's own predicate: the condition of each of its column RDB_node elements (and of
   * each composition override), every one in parentheses, joined with " AND ".  At most
   * KEL_MAX_STMT_LEN bytes.
   */
  std::string condition;
};

struct KEL_REL {
  int mode = KEL_MODE_DECOMPOSE;
  int currentLevel = -1;
  int numConditions = 0;         // joins parsed from the top condition (identical sides left out)
  std::vector<KelJoin> joins;    // those joins, in order
  std::vector<KEL_TAB> tab;      // in the order of the top RDB_node's table elements
  SQLHDBC connection = SQL_NULL_HDBC;  // decomposition's own connection; set by its user
  std::vector<std::string> topElements;  // each table's top element, in table order
};

/*
 * One condition of a composition override: a location path, the comparison that applies to
 * the column mapped at the place it selects (empty for NO_CONDITION), and whether the model
 * used it.  Composition builds the list from its override text.
 */
struct KelOverride {
  std::unique_ptr<KelQuery> path;
  std::string comparison;  // database code page
  bool used = false;
};
using KelOverrideList = std::vector<KelOverride>;

/*
 * Builds the tables and joins from the DAD whose document element is dadRoot: finds
 * Xcollection, root_node and the top RDB_node (the RDB_node of the first element_node, going
 * down from the root element, that does not have exactly one element child which is an
 * element_node), reads its table elements (name, key in mode 1, orderBy) and parses its
 * condition (whereparser).  In mode 0 the join types are then read from the catalogue
 * (kelSetJoinTypes).  Failures: those of the header reader; KELQ000E "RDB_node" (none),
 * KELQ012E (two), KELQ000E "table & column" (no table); KELQ013E (a table without name);
 * KELQ033E (a name that is no identifier), KELQ031E (too long); KELG017E "KEL_NUMTAB_IN_REL"
 * (a 31st table), "KEL_MAX_KEYS" (a 17th key column); KELQ032E (a key name too long); KELQ033E
 * (a key list that is not names separated by blanks);
 * KELG017E "KEL_MAX_ORDER_BY"; the failures of whereparser, kelCheckTablesJoined (a table no join
 * reaches) and kelSetJoinTypes.
 */
int kelSetRel(KelCallContext *ctx, KEL_REL *rel, xercesc::DOMElement *dadRoot, int mode, char *sqlstate,
              char *msg);

// kelSetRel without the catalogue: what does not depend on the database (the cache keeps it).
int kelSetRelTables(KelCallContext *ctx, KEL_REL *rel, xercesc::DOMElement *dadRoot, int mode, char *sqlstate,
                    char *msg);
// kelSetRelTables for a DAD whose header was read already (by kelReadDadHeader).
int kelSetRelFromHeader(KelCallContext *ctx, KEL_REL *rel, const KelDadHeader &header, int mode, char *sqlstate,
                        char *msg);

/*
 * Mode 0: replays the joins in order and gives each join column, when its entry is made, the
 * type of the column it equals: that column's own entry's type when it has one, else the type
 * the catalogue has for it (kelGetCatalogColumnType; its failure, such as KELQ021E for a
 * missing column, is the result).
 */
int kelSetJoinTypes(KelCallContext *ctx, KEL_REL *rel, char *sqlstate, char *msg);

/*
 * Parses the top condition (cleaned UTF-16 text): join ("AND" join)*, a join being
 * qualified-identifier "=" qualified-identifier ([[schema.]table.]column).  Each join between
 * two different columns adds a join_info entry to both tables; one whose sides are identical
 * is left out.  Failures: KELQ034E quoting the text from the offending token on (at most
 * KEL_CONDITION_QUOTE bytes) when a left side, the "=" or the AND is missing; KELQ015E when a
 * right side is missing or a table is not in the relation; KELQ035E quoting the join when its
 * two sides name the same table; KELQ036E, KELQ031E, KELQ032E for schema, table and column
 * parts that are too long.
 */
int whereparser(KelCallContext *ctx, KEL_REL *rel, int mode, const UChar *condition, char *sqlstate, char *msg);

/*
 * Checks that the joins parsed from the top condition relate every table of the top RDB_node to
 * the first one, directly or through other tables.  A table left out would be read without any
 * predicate tying its rows to the others: composition put every one of its rows into every
 * document and decomposition made it without the parent's key.  Returns 0, or KELQ035E
 * quoting the first table (schema.table as parsed) that no join reaches.
 */
int kelCheckTablesJoined(KelCallContext *ctx, const KEL_REL &rel, char *sqlstate, char *msg);

/*
 * Records that column col of rel->tab[tab] equals the foreign column: adds the foreign column
 * to the column's entry (once), or makes the entry.  Returns 0.
 */
int kelSetJoinInfoForeign(KelCallContext *ctx, KEL_REL *rel, int mode, int tab, const std::string &col,
                          const KelForeign &foreign, char *sqlstate, char *msg);

/*
 * Checks the condition text of a column RDB_node as one predicate: its parentheses balance and
 * it holds no statement separator, no comment, no parameter marker and no unterminated literal
 * (KELQ015E otherwise),
 * read as the database reads it (a quote inside a word starts a literal or identifier there),
 * so that in parentheses it can be joined to other predicates without changing them.
 */
int kelCheckColumnCondition(KelCallContext *ctx, const std::string &condition, char *sqlstate, char *msg);

/*
 * Completes the model from the root element_node: columns and levels (kelProcRel1), the check
 * that each join relates tables whose elements nest (the lowest common ancestor of one table's
 * values is the other's or an ancestor of it; KELQ035E quoting the first join that does not), in
 * mode 1 the foreign keys (kelProcRel2), the top elements and lowest common ancestors
 * (kelFindTopElements), and the top-elements array.  overrides (mode 0, may be null) add their
 * comparisons to the conditions of the columns they select and are marked used.
 */
int kelProcRel(KelCallContext *ctx, KEL_REL *rel, xercesc::DOMElement *rootElement, int mode,
               KelOverrideList *overrides, char *sqlstate, char *msg);

/*
 * Walks the DAD below node depth-first, pushing element_node names on path, and processes each
 * mapped node with kelProcRDB: an attribute_node, a text_node, or an element_node without an
 * attribute_node, text_node or element_node child (in mode 0: without any element child).
 * A mapped node without an RDB_node: KELQ000E "RDB_NODE"; with two: KELQ012E.  Deeper than
 * KEL_MAX_DAD_DEPTH: KELG017E.
 */
int kelProcRel1(KelCallContext *ctx, KEL_REL *rel, xercesc::DOMElement *node, int mode, KelOverrideList *overrides,
                KelCurrentPath *path, char *sqlstate, char *msg);

/*
 * Adds the column of one mapped node to its table: KELQ010E / KELQ011E for a missing table or
 * column element, KELQ013E for an empty name (or, in mode 1, type), KELQ016E for a table that
 * is not in the top RDB_node, KELQ033E / KELQ032E for a column name that is no identifier or
 * too long, KELA059E for a type longer than KEL_MAX_TYPE_TEXT, KELQ039E for a 501st column,
 * KELQ012E for a second table, column or condition element, KELQ015E for a condition that is
 * not one predicate (kelCheckColumnCondition), KELQ038E when the table's condition would pass
 * KEL_MAX_STMT_LEN.  In mode 1 a column mapped a second time is KELQ012E, and the qualifiers
 * of the condition that name the column's own table are taken out (the row filtered is one of
 * values, not the table).
 */
int kelProcRDB(KelCallContext *ctx, KEL_REL *rel, xercesc::DOMElement *node, xercesc::DOMElement *rdb, int mode,
               KelOverrideList *overrides, KelCurrentPath *path, char *sqlstate, char *msg);

/*
 * Mode 1: the foreign keys.  For each join column J of a table T and each column F it equals
 * in a table nearer the root, the first such F gives T one foreign key (a further one is traced
 * and left out): the column of F, or of the table F joins upward to, that is mapped.
 * Failures: KELQ056E when J is itself mapped in T; KELA059E "UNKNOWN" when no mapped column
 * supplies J; KELG017E "KEL_MAX_FOREIGN_KEYS" for a 17th foreign key.
 */
int kelProcRel2(KelCallContext *ctx, KEL_REL *rel, char *sqlstate, char *msg);

// Walks the DAD as kelProcRel1 and calls kelFindTopElement for each mapped node.
int kelFindTopElements(KelCallContext *ctx, KEL_REL *rel, xercesc::DOMElement *node, int mode, char *sqlstate,
                       char *msg);

/*
 * Sets, once per table, the lowest common ancestor of its values (whole element names are
 * compared) and its top element: from the element of the mapped node, climb while the parent
 * is an element_node that is intermediate, multi-occurring and holds no value of another table.
 */
int kelFindTopElement(KelCallContext *ctx, KEL_REL *rel, xercesc::DOMElement *node, xercesc::DOMElement *rdb,
                      char *sqlstate, char *msg);

// ---- Queries ---------------------------------------------------------------------------------

// The index of the table with this schema and name, or -1.
int kelFindTab(const KEL_REL &rel, const std::string &schema, const std::string &name);
// The table with this schema and name, or null with KELQ012E in msg.
KEL_TAB *kelFindTabByName(KelCallContext *ctx, KEL_REL *rel, const std::string &schema, const std::string &name,
                          char *sqlstate, char *msg);
// True when xmlName is the table's top element or the xml of any of its columns.
bool isInTab(const KEL_TAB &tab, const std::string &xmlName);
/*
 * True when xmlName is the table's top element and path is its ancestor path, a blank and the
 * top element (the top element alone without ancestors); or when a column has that xml and
 * exactly that path.
 */
bool isInTab4Decomp(const KEL_TAB &tab, const std::u16string &path, const std::string &xmlName);
// The index of the table whose top element is name under parentPath, or -1.
int getTabofTopElement(const KEL_REL &rel, const std::u16string &parentPath, const std::string &name);

/*
 * The table of a value's RDB_node (its one table element), split into schema and table.
 * KELQ010E with nameForMsg when there is no RDB_node or no table; KELQ012E for a second table;
 * KELQ013E for an empty name; KELQ033E, KELQ031E as kelSetRel.
 */
int kelGetTabFromRDB(KelCallContext *ctx, const char *nameForMsg, xercesc::DOMElement *rdb, std::string *schema,
                     std::string *table, char *sqlstate, char *msg);
// The column of an RDB_node (or of the column element under a node of the SQL mapping): KELQ011E
// with nameForMsg, KELQ012E for a second column element, KELQ013E, KELQ033E, KELQ032E.
int kelGetColFromRDB(KelCallContext *ctx, const char *nameForMsg, xercesc::DOMElement *rdb, std::string *column,
                     char *sqlstate, char *msg);
// The name of a text_node's element: KELQ012E without one, KELQ014E for an empty name.
int kelGetEleNameOfTxt(KelCallContext *ctx, xercesc::DOMElement *textNode, std::string *name, char *sqlstate,
                       char *msg);
// 0 when multi_occurrence is absent, empty or NO; 1 for YES; -1 otherwise (trimmed, upper-cased).
int kelGetMultiOccurrence(KelCallContext *ctx, const xercesc::DOMElement *elementNode);
// 1 for an element_node without attribute_node and text_node children; else 0.
int kelIsNodeIntermediate(const xercesc::DOMNode *node);
// -1 for an invalid multi_occurrence; 1 when intermediate and not multi-occurring; else 0.
int kelIsTrivial(KelCallContext *ctx, const xercesc::DOMElement *elementNode);
/*
 * 1 when an attribute_node or text_node child of elementNode, or at depth 0 of one of its
 * element_node children, has an RDB_node whose table is not rel.tab[tab]; else 0.
 */
int kelHasChildFromOtherTab(KelCallContext *ctx, const KEL_REL &rel, const xercesc::DOMElement *elementNode, int tab,
                            int depth);
/*
 * The first table whose top element is the name of a descendant element_node of elementNode
 * (document order) in *tab.  None: KELQ037E with nameForMsg (-117).
 */
int kelFindTabForIntermediate(KelCallContext *ctx, const xercesc::DOMElement *elementNode, const char *nameForMsg,
                              const KEL_REL &rel, int *tab, char *sqlstate, char *msg);

/*
 * Appends name (database code page) to *out as a delimited identifier made by
 * kelQuoteIdentifier (in double quotes, an inner double quote doubled).  False, and nothing
 * appended, for a name the code page cannot represent.
 */
bool kelAppendQuoted(KelCallContext *ctx, std::string *out, const std::string &name);

// Empties the model.
void kelFreeRel(KEL_REL *rel);
// Write the model (or one table of it) to the call's trace, one field per line; printrelinfo1
// is the same as printrelinfo, under the name decomposition traces it with.
void printrelinfo(KelCallContext *ctx, const KEL_REL &rel);
void printrelinfo1(KelCallContext *ctx, const KEL_REL &rel);
void printtabinfo(KelCallContext *ctx, const KEL_REL &rel, int tab);
// The model as text, one table after the other, for traces and tests.
std::string kelRelToText(const KEL_REL &rel);

#endif /* KEL_REL_H */
