/*
 * keldadread.h - reading and checking DAD documents: the shared reader of a DAD's header (the
 * document element's children dtdid, schemabindings, validation, Xcolumn or Xcollection, and
 * the Xcollection's SQL_stmt, prolog, doctype, stylesheet and root_node), the side tables of an
 * Xcolumn DAD, the check of the mapping tree below root_node, a flat list of the mapped nodes,
 * and the small DOM helpers the relation model reads the DAD with.
 *
 * Composition, decomposition and the enablement of columns and collections all read a DAD
 * through kelReadDadHeader, so every one of them reports the same errors with the same
 * messages.  The DAD has been parsed into a DOM by kelDOM (xml/kelSgDoc.h) or comes from the
 * parsed-DAD cache (keldadcache.h); no DTD of our own is imposed on it.
 *
 * Every function reads the DOM only (nothing in it is changed or allocated from the document's
 * heap), works on the caller's objects and is safe from several calls at once on different
 * DOMs.  Names and texts kept as narrow strings are in the database code page of the call
 * context (UTF-8 without a context).  Failures return the negative return code of their
 * catalogue message, with sqlstate (6 bytes, may be null) and msg (a message buffer of the
 * context's mode, may be null) set.
 */
#ifndef KEL_DADREAD_H
#define KEL_DADREAD_H

#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNode.hpp>

#include <cstddef>
#include <string>
#include <vector>

struct KelCallContext;

// The two kinds of DAD.
inline constexpr int KEL_DAD_XCOLUMN = 0;
inline constexpr int KEL_DAD_XCOLLECTION = 1;

// What a DAD asks documents to be validated against.
inline constexpr int KEL_VALSRC_NONE = 0;    // neither dtdid nor schemabindings
inline constexpr int KEL_VALSRC_DTD = 1;     // the DTD stored under dtdId
inline constexpr int KEL_VALSRC_SCHEMA = 2;  // the schema at schemaLocation

// Longest element or attribute name used for matching, in bytes.
inline constexpr size_t KEL_MAX_XML_NAME = 63;
// Deepest nesting of element_node elements below root_node.
inline constexpr int KEL_MAX_DAD_DEPTH = 512;

/*
 * The header of a DAD.  The element pointers point into the DOM the header was read from and
 * are valid as long as that DOM lives.
 */
struct KelDadHeader {
  int kind = KEL_DAD_XCOLLECTION;
  bool hasValidation = false;  // a validation element was read
  bool validation = false;     // its value: YES
  int validationSource = KEL_VALSRC_NONE;
  std::string dtdId;              // dtdid text, trimmed, never cut (may exceed what DTD_REF holds)
  std::u16string schemaLocation;  // location attribute of schemabindings/nonamespacelocation
  xercesc::DOMElement *xcolumn = nullptr;
  xercesc::DOMElement *xcollection = nullptr;
  // Xcollection content (first occurrence of each).
  bool hasSqlStmt = false;  // SQL mapping: no relation model
  std::u16string sqlStmt;   // text of the first SQL_stmt
  bool hasProlog = false, hasDoctype = false, hasStylesheet = false;
  std::string prolog, doctype, stylesheet;  // texts as they stand, database code page
  xercesc::DOMElement *rootNode = nullptr;     // root_node
  xercesc::DOMElement *rootElement = nullptr;  // its one element_node
};

/*
 * Reads the header of a DAD whose document element is dadRoot, as a DAD of the given kind, and
 * checks the mapping tree of an Xcollection (kelCheckDadTree).  Children of the document
 * element are read in document order; comments, text and processing instructions are
 * ignored.  Failures (SQLSTATE "38X15" unless named):
 *   KELQ057E   dtdid and schemabindings together (whichever comes second)
 *   KELQ058E   schemabindings without nonamespacelocation
 *   KELA056E   a validation text other than YES or NO (the text); an empty one is KELQ000E
 *              ("validation")
 *   KELQ040E   any other element, Xcollection in an Xcolumn DAD or Xcolumn in a collection DAD
 *   KELA009E   ("38X11") an Xcolumn DAD without Xcolumn
 *   KELQ000E   ("38X15") a collection DAD without Xcollection ("Xcollection") or root_node
 *              ("root_node"), or root_node without an element_node ("element_node")
 *   KELQ012E   ("38X28") a second Xcollection, a second root_node, two element children of
 *              root_node
 * A missing validation element leaves hasValidation false (decomposition reads it as NO;
 * collection enablement requires it: kelRequireValidation).
 */
int kelReadDadHeader(KelCallContext *ctx, xercesc::DOMElement *dadRoot, int kind,
                     KelDadHeader *out, char *sqlstate, char *msg);

// KELQ000E "validation" (-61, 38X15) when the DAD has no validation element; else 0.
int kelRequireValidation(KelCallContext *ctx, const KelDadHeader &header, char *sqlstate, char *msg);

/*
 * Checks the mapping tree below root_node: element_node holds element_node, attribute_node,
 * text_node, RDB_node and column; attribute_node and text_node hold column and RDB_node;
 * RDB_node holds table, column and condition.  Another element: KELQ040E with its name.  A
 * name given to an element_node or attribute_node must be an XML name (KELQ040E with the name)
 * of at most KEL_MAX_XML_NAME bytes (KELG017E "KEL_MAX_XML_NAME"); element_node elements nest
 * at most KEL_MAX_DAD_DEPTH deep (KELG017E "KEL_MAX_DAD_DEPTH").  Missing names are reported
 * where the mapping reads them (KELQ014E, KELQ006E).
 */
int kelCheckDadTree(KelCallContext *ctx, xercesc::DOMElement *rootElement, char *sqlstate, char *msg);

// One column of a side table of an Xcolumn DAD.
struct KelSideColumn {
  std::string name, type, path, multiOccurrence;  // multiOccurrence upper-cased
};
struct KelSideTable {
  std::string name;
  std::vector<KelSideColumn> columns;
};

// Byte limits of the side-table attributes (longer values are refused, never cut).
inline constexpr size_t KEL_MAX_SIDE_TABLE_NAME = 159;
inline constexpr size_t KEL_MAX_SIDE_COLUMN_NAME = 128;
inline constexpr size_t KEL_MAX_SIDE_COLUMN_TYPE = 129;
inline constexpr size_t KEL_MAX_SIDE_COLUMN_PATH = 383;
inline constexpr size_t KEL_MAX_SIDE_MULTI_OCCURRENCE = 3;

/*
 * Reads every table element below the document element of an Xcolumn DAD, in document order,
 * with its column children.  Failures have SQLSTATE "38X15".  A missing (absent, empty or
 * blank) attribute is KELQ000E
 * naming it ("name of table", "name of column in table T", "type of column C", "path of column
 * C", "multi_occurrence of column C").  One longer than its limit (or not convertible): table
 * name KELA057E (the name); column name KELA058E; type KELA059E (the type, the column); path
 * KELA060E (the path, the column); multi_occurrence KELA061E (the value, the column).  The
 * values themselves are checked where the side tables are made.
 */
int kelReadXcolumn(KelCallContext *ctx, xercesc::DOMElement *dadRoot, std::vector<KelSideTable> *out,
                   char *sqlstate, char *msg);

// Kinds of mapped nodes.
inline constexpr int KEL_ATTRIBUTE = 0;
inline constexpr int KEL_TEXT = 1;
inline constexpr int KEL_ELEMENT = 2;

// One node of the mapping tree that carries a value: what kelListMappedNodes reports.
struct KelDadMappedNode {
  int kind;            // KEL_ATTRIBUTE, KEL_TEXT or KEL_ELEMENT
  std::string xml;     // the attribute's name, or the element's
  std::string path;    // names of the element_node elements from the root, blank-separated
  int level;           // level of the element holding the value (root element: 0)
  std::string table;   // RDB_node mapping: the table as written; SQL mapping: empty
  std::string column;  // the column as written
};

/*
 * Lists the attribute_node and text_node elements below rootElement, and the element_node
 * elements without element_node, attribute_node and text_node children that carry a column
 * (SQL mapping) or an RDB_node, in document order, with the column each maps (first column or
 * RDB_node).  A node mapping nothing is listed with an empty column.  Returns 0 (the list is
 * for reading a DAD as data, in tests and traces; the mappings report their own errors).
 */
int kelListMappedNodes(KelCallContext *ctx, xercesc::DOMElement *rootElement,
                       std::vector<KelDadMappedNode> *out);

// ---- DOM helpers shared by the DAD layer ------------------------------------------------------

// True when node is an element called name (compared exactly).
bool kelDadIsElement(const xercesc::DOMNode *node, const XMLCh *name);
// The first element child of node called name, or null.
xercesc::DOMElement *kelDadFirstChild(const xercesc::DOMNode *node, const XMLCh *name);
// The number of element children of node called name.
int kelDadCountChildren(const xercesc::DOMNode *node, const XMLCh *name);
// The value of attribute name, or null when element has no such attribute.
const XMLCh *kelDadAttr(const xercesc::DOMElement *element, const XMLCh *name);
/*
 * The character content of element: its text and CDATA children and the replacement text of
 * its entity references, concatenated (comments and processing instructions left out).
 */
std::u16string kelDadText(const xercesc::DOMNode *element);
// text without leading and trailing blanks, tabs, carriage returns and line feeds.
std::u16string kelDadTrim(const std::u16string &text);
/*
 * Converts UTF-16 text into the database code page of the call (UTF-8 without a context or
 * before its code pages are set up).  False for text the code page cannot represent.
 */
bool kelDadToDb(KelCallContext *ctx, const XMLCh *text, size_t nUnits, std::string *out);
inline bool kelDadToDb(KelCallContext *ctx, const std::u16string &text, std::string *out) {
  return kelDadToDb(ctx, text.data(), text.size(), out);
}

// The reverse of kelDadToDb.  False for bytes that are not valid in the code page.
bool kelDadFromDb(KelCallContext *ctx, const std::string &text, std::u16string *out);

/*
 * The failure of a limit of the DAD layer's fixed room: KELG017E naming the limit, the build,
 * the unit and the line.  Returns its code (-124).
 */
int kelDadLimit(KelCallContext *ctx, char *sqlstate, char *msg, const char *limit, const char *unit, int line);

#endif /* KEL_DADREAD_H */
