/*
 * kelrel.cpp - the relation model of an RDB_node-mapped collection: tables and keys
 * (kelSetRelTables), columns, levels and conditions (kelProcRel1, kelProcRDB), foreign keys
 * (kelProcRel2), top elements and lowest common ancestors (kelFindTopElement), and the queries
 * on the model.  See kelrel.h; the conditions are parsed in kelwhere.cpp.
 */
#include "kelrel.h"

#include <xercesc/dom/DOMNode.hpp>

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kelctx.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "kelpath.h"
#include "kelsql.h"
#include "keltrace.h"

using xercesc::DOMElement;
using xercesc::DOMNode;

namespace {

constexpr const char kUnit[] = "kelcllec";
constexpr XMLCh kNoName[] = u"KEL_NO_NAME";

int limitExceeded(KelCallContext *ctx, char *sqlstate, char *msg, const char *limit, int line) {
  return kelDadLimit(ctx, sqlstate, msg, limit, kUnit, line);
}

// The narrow name attribute of an element ("" when absent or not convertible).
std::string nameOf(KelCallContext *ctx, const DOMElement *e) {
  const XMLCh *n = kelDadAttr(e, u"name");
  std::string s;
  if (n != nullptr && !kelDadToDb(ctx, n, std::char_traits<XMLCh>::length(n), &s)) s.clear();
  return s;
}

// The name an element_node contributes to a path.
const XMLCh *pathName(const DOMElement *e) {
  const XMLCh *n = kelDadAttr(e, u"name");
  return n != nullptr && n[0] != 0 ? n : kNoName;
}

std::string narrow(KelCallContext *ctx, const std::u16string &text) {
  std::string s;
  return kelDadToDb(ctx, text, &s) ? s : std::string("?");
}

// Splits a table name into schema and table with the model's limits.
int parseTable(KelCallContext *ctx, const XMLCh *name, std::string *schema, std::string *table, char *sqlstate,
               char *msg) {
  schema->clear();
  table->clear();
  if (name == nullptr || name[0] == 0) return kelFail(ctx, msg, sqlstate, KELQ013E);
  char s[KEL_SQL_PART_SIZE], t[KEL_SQL_PART_SIZE];
  int rc = kelParseWQualTbl(ctx, name, s, sizeof s, t, sizeof t);
  if (rc == KEL_SQL_PART_TOO_LONG) return kelFail(ctx, msg, sqlstate, KELQ031E);
  if (rc < 0) return kelFail(ctx, msg, sqlstate, KELQ033E, narrow(ctx, name).c_str());
  if (std::strlen(s) > KEL_MAX_SCHEMA_NAME || std::strlen(t) > KEL_MAX_TABLE_NAME)
    return kelFail(ctx, msg, sqlstate, KELQ031E);
  *schema = s;
  *table = t;
  return 0;
}

// Parses one column name with the model's limits.
int parseColumn(KelCallContext *ctx, const XMLCh *name, std::string *col, char *sqlstate, char *msg) {
  col->clear();
  if (name == nullptr || name[0] == 0) return kelFail(ctx, msg, sqlstate, KELQ013E);
  char c[KEL_SQL_PART_SIZE];
  int rc = kelParseWCol(ctx, name, c, sizeof c);
  if (rc == KEL_SQL_PART_TOO_LONG) return kelFail(ctx, msg, sqlstate, KELQ032E);
  if (rc < 0) return kelFail(ctx, msg, sqlstate, KELQ033E, narrow(ctx, name).c_str());
  if (std::strlen(c) > KEL_MAX_COLUMN_NAME) return kelFail(ctx, msg, sqlstate, KELQ032E);
  *col = c;
  return 0;
}

/*
 * Reads the key attribute: column names separated by blanks.  Anything else in the list (a
 * comma, a semicolon, a quote inside a name) is KELQ033E quoting the list from there, never
 * the end of the list: `order_id, sku` cut there would be a key of ORDER_ID alone.
 */
int readKeys(KelCallContext *ctx, const XMLCh *key, std::vector<std::string> *keys, char *sqlstate, char *msg) {
  keys->clear();
  if (key == nullptr) return 0;
  const UChar *p = key;
  KelSqlToken tok;
  for (;;) {
    kelGetSqlToken(ctx, &p, &tok);
    if (tok.tokenClass == KEL_TOK_END) return 0;
    if (tok.tokenClass == KEL_TOK_TOO_LONG) return kelFail(ctx, msg, sqlstate, KELQ032E);
    if ((tok.tokenClass != KEL_TOK_ORDINARY_ID && tok.tokenClass != KEL_TOK_DELIMITED_ID) ||
        kelQuoteInWord(&tok) != nullptr) {
      KEL_TRACE(ctx, "key list is not column names separated by blanks: %s\n", narrow(ctx, key).c_str());
      return kelFail(ctx, msg, sqlstate, KELQ033E, narrow(ctx, tok.start).c_str());
    }
    if (std::strlen(tok.text) > KEL_MAX_COLUMN_NAME) return kelFail(ctx, msg, sqlstate, KELQ032E);
    if (static_cast<int>(keys->size()) == KEL_MAX_KEYS)
      return limitExceeded(ctx, sqlstate, msg, "KEL_MAX_KEYS", __LINE__);
    keys->push_back(tok.text);
  }
}

// The RDB_node that lists the tables: below the root, follow the element_node that is an
// element's only element child; the element where that stops holds it.
int findTopRdb(KelCallContext *ctx, DOMElement *rootElement, DOMElement **rdb, char *sqlstate, char *msg) {
  DOMElement *e = rootElement;
  for (;;) {
    DOMElement *only = nullptr;
    int n = 0;
    for (DOMNode *c = e->getFirstChild(); c != nullptr; c = c->getNextSibling())
      if (c->getNodeType() == DOMNode::ELEMENT_NODE) {
        ++n;
        only = static_cast<DOMElement *>(c);
      }
    if (n != 1 || !kelDadIsElement(only, u"element_node")) break;
    e = only;
  }
  int count = kelDadCountChildren(e, u"RDB_node");
  if (count == 0) return kelFail(ctx, msg, sqlstate, KELQ000E, "RDB_node");
  if (count > 1) return kelFail(ctx, msg, sqlstate, KELQ012E);
  *rdb = kelDadFirstChild(e, u"RDB_node");
  return 0;
}

// The first element called name below node, in document order.
DOMElement *firstDescendant(DOMNode *node, const XMLCh *name) {
  std::vector<DOMNode *> pending;
  for (DOMNode *c = node->getLastChild(); c != nullptr; c = c->getPreviousSibling()) pending.push_back(c);
  while (!pending.empty()) {
    DOMNode *n = pending.back();
    pending.pop_back();
    if (n->getNodeType() != DOMNode::ELEMENT_NODE) continue;
    if (kelDadIsElement(n, name)) return static_cast<DOMElement *>(n);
    for (DOMNode *c = n->getLastChild(); c != nullptr; c = c->getPreviousSibling()) pending.push_back(c);
  }
  return nullptr;
}

// A condition element's text, cleaned (leading blanks gone, blank runs outside quotes made one).
int cleanedText(KelCallContext *ctx, DOMElement *condition, std::u16string *out, char *sqlstate, char *msg) {
  *out = kelDadText(condition);
  if (kelCleanQuery(ctx, out->data(), msg) < 0) return kelMessageState(KELG001E, sqlstate);
  out->resize(std::char_traits<UChar>::length(out->c_str()));
  return 0;
}

// Replaces the first "&gt;", or else the first "&lt;", or else the first "&eq;", outside
// string literals and delimited names: a DAD writes a comparison's operator so (`QTY &amp;gt; 5`
// is read as `QTY &gt; 5`), while the same text inside a literal is the value compared
// (`'a &amp;gt; b'` selected the rows of 'a > b').
void replaceFirstOperatorEntity(std::string *text) {
  static const struct {
    const char *from;
    const char *to;
  } kPairs[] = {{"&gt;", ">"}, {"&lt;", "<"}, {"&eq;", "="}};
  for (const auto &pair : kPairs) {
    const size_t n = std::strlen(pair.from);
    char quote = 0;
    for (size_t at = 0; at < text->size(); ++at) {
      const char c = (*text)[at];
      if (quote != 0) {
        if (c == quote) quote = 0;  // a doubled quote closes and opens again
        continue;
      }
      if (c == '\'' || c == '"') {
        quote = c;
        continue;
      }
      if (text->compare(at, n, pair.from) == 0) {
        text->replace(at, n, pair.to);
        return;
      }
    }
  }
}

// True when q begins with the first n units of p, ending at a whole element name.
bool beginsWithNames(const std::u16string &q, const std::u16string &p, size_t n) {
  return q.size() >= n && q.compare(0, n, p, 0, n) == 0 && (q.size() == n || q[n] == u' ');
}

// Calls visit(mapped node, its RDB_node) for each mapped node below node, depth-first in
// document order, keeping rel->currentLevel and path (may be null) up to date.
template <typename Visit>
int walkMapped(KelCallContext *ctx, KEL_REL *rel, DOMElement *node, int mode, KelCurrentPath *path, int depth,
               Visit &visit, char *sqlstate, char *msg) {
  const bool isElement = kelDadIsElement(node, u"element_node");
  if (isElement) {
    if (depth > KEL_MAX_DAD_DEPTH) return limitExceeded(ctx, sqlstate, msg, "KEL_MAX_DAD_DEPTH", __LINE__);
    ++rel->currentLevel;
    if (path != nullptr) path->push(pathName(node), nullptr);
  }
  int rc = 0;
  bool hasChild = false;
  if (isElement) {
    for (DOMNode *c = node->getFirstChild(); c != nullptr && rc >= 0; c = c->getNextSibling()) {
      if (c->getNodeType() != DOMNode::ELEMENT_NODE) continue;
      auto *e = static_cast<DOMElement *>(c);
      if (kelDadIsElement(e, u"element_node") || kelDadIsElement(e, u"attribute_node") ||
          kelDadIsElement(e, u"text_node")) {
        hasChild = true;
        rc = walkMapped(ctx, rel, e, mode, path, depth + 1, visit, sqlstate, msg);
      } else if (mode == KEL_MODE_COMPOSE) {
        hasChild = true;  // composition maps only elements without any element child
      }
    }
  }
  if (rc >= 0 && (!isElement || !hasChild)) {
    DOMElement *rdb = kelDadFirstChild(node, u"RDB_node");
    if (rdb == nullptr) {
      rc = kelFail(ctx, msg, sqlstate, KELQ000E, "RDB_NODE");
    } else if (kelDadCountChildren(node, u"RDB_node") > 1) {
      // A value has one RDB_node: a second one would be dropped without a word.
      KEL_TRACE(ctx, "a mapped node has more than one RDB_node\n");
      rc = kelFail(ctx, msg, sqlstate, KELQ012E);
    } else {
      rc = visit(node, rdb);
    }
  }
  if (isElement) {
    --rel->currentLevel;
    if (path != nullptr) path->pop();
  }
  return rc;
}

// The element an attribute_node or text_node belongs to (the node itself for an element_node).
DOMElement *holderOf(DOMElement *node) {
  if (kelDadIsElement(node, u"element_node")) return node;
  DOMNode *p = node->getParentNode();
  return kelDadIsElement(p, u"element_node") ? static_cast<DOMElement *>(p) : nullptr;
}

// The path of the lowest common ancestor of a table's values (whole element names compared):
// the longest run of names, root first, that begins the path of every value; empty without
// any value.
std::u16string valuesAncestorPath(const KEL_TAB &tab) {
  if (tab.col2xml.empty()) return std::u16string();
  const KelCol2Xml *shallowest = &tab.col2xml.front();
  for (const KelCol2Xml &c : tab.col2xml)
    if (c.xmlLevel < shallowest->xmlLevel) shallowest = &c;
  const std::u16string &p = shallowest->path;
  size_t n = p.size();
  auto allBegin = [&](size_t len) {
    return std::all_of(tab.col2xml.begin(), tab.col2xml.end(),
                       [&](const KelCol2Xml &c) { return beginsWithNames(c.path, p, len); });
  };
  while (n > 0 && !allBegin(n)) {
    size_t blank = p.rfind(u' ', n - 1);
    n = blank == std::u16string::npos ? 0 : blank;
  }
  return p.substr(0, n);
}

/*
 * Decomposition: the condition of a column of schema.table without the qualifiers that name
 * that table (`table.column`, `schema.table.column`), since the row it filters is not read from
 * the table but from a one-row table of the values.  Composition reads the table itself and
 * takes the condition as it is.  A qualified name followed by "(" is a function and stays;
 * other qualifiers stay and are the database's to refuse.  False for a text the code page
 * cannot represent.
 */
bool dropOwnQualifiers(KelCallContext *ctx, const std::string &schema, const std::string &table,
                       std::string *condition) {
  std::u16string text;
  if (!kelDadFromDb(ctx, *condition, &text)) return false;
  struct Tok {
    bool id;      // an identifier (not a word holding a quote)
    bool dot;     // the point
    bool open;    // "("
    size_t begin; // in text
    std::string name;
  };
  std::vector<Tok> toks;
  const UChar *p = text.c_str();
  KelSqlToken tok;
  for (;;) {
    kelGetSqlToken(ctx, &p, &tok);
    if (tok.tokenClass == KEL_TOK_END) break;
    Tok t{false, false, false, static_cast<size_t>(tok.start - text.c_str()), std::string()};
    if (const UChar *quote = kelQuoteInWord(&tok)) {
      toks.push_back(t);
      p = quote;
      continue;
    }
    t.id = tok.tokenClass == KEL_TOK_ORDINARY_ID || tok.tokenClass == KEL_TOK_DELIMITED_ID;
    t.dot = tok.tokenClass == KEL_TOK_DELIMITER && *tok.start == u'.';
    t.open = tok.tokenClass == KEL_TOK_DELIMITER && *tok.start == u'(';
    if (t.id) t.name = tok.text;
    toks.push_back(std::move(t));
  }
  std::vector<std::pair<size_t, size_t>> cuts;  // [begin, end) of each qualifier to drop
  for (size_t i = 0; i < toks.size(); ++i) {
    if (!toks[i].id || (i > 0 && toks[i - 1].dot)) continue;
    size_t n = 1;  // parts of the name starting at i
    while (i + 2 * n < toks.size() && toks[i + 2 * n - 1].dot && toks[i + 2 * n].id) ++n;
    const size_t after = i + 2 * n - 1;  // the token after the name
    const bool function = after < toks.size() && toks[after].open;
    const bool own = (n == 2 && toks[i].name == table) ||
                     (n == 3 && !schema.empty() && toks[i].name == schema && toks[i + 2].name == table);
    if (own && !function) cuts.emplace_back(toks[i].begin, toks[after - 1].begin);
    i = after - 1;
  }
  if (cuts.empty()) return true;
  std::u16string out;
  size_t from = 0;
  for (const auto &[b, e] : cuts) {
    out.append(text, from, b - from);
    from = e;
  }
  out.append(text, from, std::u16string::npos);
  std::string narrowed;
  if (!kelDadToDb(ctx, out, &narrowed)) return false;
  *condition = std::move(narrowed);
  return true;
}

std::string qualifiedColumn(const KelForeign &f) {
  return (f.schema.empty() ? f.tab : f.schema + "." + f.tab) + "." + f.col;
}

/*
 * The path of the element whose occurrences are a table's rows: of the elements from the root
 * down to the lowest common ancestor of its values (values, names separated by blanks), the
 * deepest that may occur more than once (multi_occurrence="YES"), else the root.  A table whose
 * values all lie in one child that occurs once (an order's Date) has its rows at the element
 * above (the order).
 */
std::u16string rowElementPath(KelCallContext *ctx, const DOMElement *root, const std::u16string &values) {
  std::u16string path, rows;
  const DOMElement *at = nullptr;
  for (size_t start = 0; start < values.size();) {
    size_t end = values.find(u' ', start);
    if (end == std::u16string::npos) end = values.size();
    const std::u16string name = values.substr(start, end - start);
    const DOMElement *next = nullptr;
    if (at == nullptr) {
      if (root != nullptr && name == pathName(root)) next = root;
    } else {
      for (const DOMNode *c = at->getFirstChild(); c != nullptr && next == nullptr; c = c->getNextSibling())
        if (c->getNodeType() == DOMNode::ELEMENT_NODE &&
            kelDadIsElement(static_cast<const DOMElement *>(c), u"element_node") &&
            name == pathName(static_cast<const DOMElement *>(c)))
          next = static_cast<const DOMElement *>(c);
    }
    if (next == nullptr) break;
    at = next;
    path += (path.empty() ? u"" : u" ") + name;
    if (rows.empty() || kelGetMultiOccurrence(ctx, at) == 1) rows = path;
    start = end + 1;
  }
  return rows;
}

/*
 * Every join relates a table to one whose rows are above or below its own: the element whose
 * occurrences are one table's rows (rowElementPath) is the other's or one of its ancestors.  A
 * join of two tables whose rows are sibling elements that repeat joins rows that no element
 * nests: composition has no parent row to filter the lower table on, decomposition no parent
 * value to fill its join column with.  A table without any mapped value has no place and is not
 * judged.  KELQ035E quoting the first such join.
 */
int checkJoinsNest(KelCallContext *ctx, const KEL_REL &rel, const DOMElement *root, char *sqlstate, char *msg) {
  for (const KelJoin &j : rel.joins) {
    int l = kelFindTab(rel, j.left.schema, j.left.tab);
    int r = kelFindTab(rel, j.right.schema, j.right.tab);
    if (l < 0 || r < 0) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
    std::u16string lp = rowElementPath(ctx, root, valuesAncestorPath(rel.tab[static_cast<size_t>(l)]));
    std::u16string rp = rowElementPath(ctx, root, valuesAncestorPath(rel.tab[static_cast<size_t>(r)]));
    if (lp.empty() || rp.empty() || beginsWithNames(lp, rp, rp.size()) || beginsWithNames(rp, lp, lp.size()))
      continue;
    std::string join = qualifiedColumn(j.left) + " = " + qualifiedColumn(j.right);
    KEL_TRACE(ctx, "join %s relates tables under elements that do not nest: \"%s\" and \"%s\"\n", join.c_str(),
              narrow(ctx, lp).c_str(), narrow(ctx, rp).c_str());
    return kelFail(ctx, msg, sqlstate, KELQ035E, join.c_str());
  }
  return 0;
}

}  // namespace

// ---- kelSetRel --------------------------------------------------------------------------------

int kelSetRelTables(KelCallContext *ctx, KEL_REL *rel, DOMElement *dadRoot, int mode, char *sqlstate, char *msg) {
  kelFreeRel(rel);
  KelDadHeader header;
  int rc = kelReadDadHeader(ctx, dadRoot, KEL_DAD_XCOLLECTION, &header, sqlstate, msg);
  if (rc < 0) return rc;
  return kelSetRelFromHeader(ctx, rel, header, mode, sqlstate, msg);
}

int kelSetRelFromHeader(KelCallContext *ctx, KEL_REL *rel, const KelDadHeader &header, int mode, char *sqlstate,
                        char *msg) {
  kelFreeRel(rel);
  rel->mode = mode;
  if (header.rootElement == nullptr) return kelFail(ctx, msg, sqlstate, KELQ000E, "element_node");
  DOMElement *top = nullptr;
  int rc = findTopRdb(ctx, header.rootElement, &top, sqlstate, msg);
  if (rc < 0) return rc;

  // The documents' rows are joined by one condition: a second one was dropped without a word.
  if (kelDadCountChildren(top, u"condition") > 1) {
    KEL_TRACE(ctx, "the top RDB_node has more than one condition\n");
    return kelFail(ctx, msg, sqlstate, KELQ012E);
  }
  std::u16string condition;
  if (DOMElement *c = firstDescendant(top, u"condition")) {
    rc = cleanedText(ctx, c, &condition, sqlstate, msg);
    if (rc < 0) return rc;
  }
  for (DOMNode *c = top->getFirstChild(); c != nullptr; c = c->getNextSibling()) {
    if (!kelDadIsElement(c, u"table")) continue;
    auto *t = static_cast<DOMElement *>(c);
    if (static_cast<int>(rel->tab.size()) == KEL_NUMTAB_IN_REL)
      return limitExceeded(ctx, sqlstate, msg, "KEL_NUMTAB_IN_REL", __LINE__);
    KEL_TAB tab;
    rc = parseTable(ctx, kelDadAttr(t, u"name"), &tab.schema, &tab.name, sqlstate, msg);
    if (rc < 0) return rc;
    if (kelFindTab(*rel, tab.schema, tab.name) >= 0) {
      KEL_TRACE(ctx, "table %s named twice in the top RDB_node\n", tab.name.c_str());
      return kelFail(ctx, msg, sqlstate, KELQ012E);
    }
    if (const XMLCh *orderBy = kelDadAttr(t, u"orderBy")) {
      size_t nChars = static_cast<size_t>(u_countChar32(orderBy, -1));
      if (nChars > KEL_MAX_ORDER_BY) return limitExceeded(ctx, sqlstate, msg, "KEL_MAX_ORDER_BY", __LINE__);
      if (!kelDadToDb(ctx, orderBy, std::char_traits<XMLCh>::length(orderBy), &tab.orderBy))
        return kelFail(ctx, msg, sqlstate, KELQ033E, "orderBy");
      tab.hasOrderBy = true;
    }
    if (mode == KEL_MODE_DECOMPOSE) {
      rc = readKeys(ctx, kelDadAttr(t, u"key"), &tab.priKey, sqlstate, msg);
      if (rc < 0) return rc;
    }
    rel->tab.push_back(std::move(tab));
  }
  if (rel->tab.empty()) return kelFail(ctx, msg, sqlstate, KELQ000E, "table & column");
  if (!condition.empty()) {
    rc = whereparser(ctx, rel, mode, condition.c_str(), sqlstate, msg);
    if (rc < 0) return rc;
  }
  rc = kelCheckTablesJoined(ctx, *rel, sqlstate, msg);
  if (rc < 0) return rc;
  KEL_TRACE(ctx, "%d tables, %d joins\n", static_cast<int>(rel->tab.size()), rel->numConditions);
  return 0;
}

int kelSetRel(KelCallContext *ctx, KEL_REL *rel, DOMElement *dadRoot, int mode, char *sqlstate, char *msg) {
  int rc = kelSetRelTables(ctx, rel, dadRoot, mode, sqlstate, msg);
  if (rc < 0) return rc;
  if (mode == KEL_MODE_COMPOSE) return kelSetJoinTypes(ctx, rel, sqlstate, msg);
  return 0;
}

// ---- kelProcRel -------------------------------------------------------------------------------

int kelProcRel(KelCallContext *ctx, KEL_REL *rel, DOMElement *rootElement, int mode, KelOverrideList *overrides,
               char *sqlstate, char *msg) {
  if (rootElement == nullptr) return kelFail(ctx, msg, sqlstate, KELQ000E, "element_node");
  rel->mode = mode;
  rel->currentLevel = -1;
  KelCurrentPath path(ctx, true);
  int rc = kelProcRel1(ctx, rel, rootElement, mode, overrides, &path, sqlstate, msg);
  if (rc < 0) return rc;
  rc = checkJoinsNest(ctx, *rel, rootElement, sqlstate, msg);
  if (rc < 0) return rc;
  if (mode == KEL_MODE_DECOMPOSE) {
    rc = kelProcRel2(ctx, rel, sqlstate, msg);
    if (rc < 0) return rc;
  }
  rc = kelFindTopElements(ctx, rel, rootElement, mode, sqlstate, msg);
  if (rc < 0) return rc;
  rel->topElements.clear();
  for (const KEL_TAB &t : rel->tab) rel->topElements.push_back(t.topElement);
  printrelinfo(ctx, *rel);
  return 0;
}

int kelProcRel1(KelCallContext *ctx, KEL_REL *rel, DOMElement *node, int mode, KelOverrideList *overrides,
                KelCurrentPath *path, char *sqlstate, char *msg) {
  auto visit = [&](DOMElement *mapped, DOMElement *rdb) {
    return kelProcRDB(ctx, rel, mapped, rdb, mode, overrides, path, sqlstate, msg);
  };
  return walkMapped(ctx, rel, node, mode, path, static_cast<int>(path->size()) + 1, visit, sqlstate, msg);
}

int kelProcRDB(KelCallContext *ctx, KEL_REL *rel, DOMElement *node, DOMElement *rdb, int mode,
               KelOverrideList *overrides, KelCurrentPath *path, char *sqlstate, char *msg) {
  const bool isAttr = kelDadIsElement(node, u"attribute_node");
  const bool isText = kelDadIsElement(node, u"text_node");
  KelCol2Xml entry;
  entry.xmlType = mode == KEL_MODE_DECOMPOSE ? (isAttr ? KEL_ATTRIBUTE : isText ? KEL_TEXT : KEL_ELEMENT) : -1;
  int rc = 0;
  if (isText) {
    rc = kelGetEleNameOfTxt(ctx, node, &entry.xml, sqlstate, msg);
    if (rc < 0) return rc;
  } else {
    entry.xml = nameOf(ctx, node);
    if (entry.xml.empty()) return kelFail(ctx, msg, sqlstate, isAttr ? KELQ006E : KELQ014E);
  }
  if (entry.xml.size() > KEL_MAX_XML_NAME) return limitExceeded(ctx, sqlstate, msg, "KEL_MAX_XML_NAME", __LINE__);

  std::string schema, table;
  rc = kelGetTabFromRDB(ctx, entry.xml.c_str(), rdb, &schema, &table, sqlstate, msg);
  if (rc < 0) return rc;
  rc = kelGetColFromRDB(ctx, entry.xml.c_str(), rdb, &entry.col, sqlstate, msg);
  if (rc < 0) return rc;
  if (mode == KEL_MODE_DECOMPOSE) {
    const XMLCh *type = kelDadAttr(kelDadFirstChild(rdb, u"column"), u"type");
    if (type == nullptr || type[0] == 0) return kelFail(ctx, msg, sqlstate, KELQ013E);
    if (!kelDadToDb(ctx, type, std::char_traits<XMLCh>::length(type), &entry.dataType) ||
        entry.dataType.size() > KEL_MAX_TYPE_TEXT)
      return kelFail(ctx, msg, sqlstate, KELA059E, narrow(ctx, type).c_str(), entry.col.c_str());
  }
  // A value's rows are chosen by one condition: a second one would be dropped without a word.
  if (kelDadCountChildren(rdb, u"condition") > 1) {
    KEL_TRACE(ctx, "the RDB_node of %s has more than one condition\n", entry.xml.c_str());
    return kelFail(ctx, msg, sqlstate, KELQ012E);
  }
  std::string condition;
  if (DOMElement *c = kelDadFirstChild(rdb, u"condition")) {
    std::u16string text;
    rc = cleanedText(ctx, c, &text, sqlstate, msg);
    if (rc < 0) return rc;
    if (!kelDadToDb(ctx, text, &condition)) return kelFail(ctx, msg, sqlstate, KELQ015E);
  }
  int t = kelFindTab(*rel, schema, table);
  if (t < 0) return kelFail(ctx, msg, sqlstate, KELQ016E);
  KEL_TAB &tab = rel->tab[static_cast<size_t>(t)];
  if (mode == KEL_MODE_DECOMPOSE) {
    // A row has one value of a column: a second mapping made an INSERT naming it twice.
    for (const KelCol2Xml &c : tab.col2xml)
      if (c.col == entry.col) {
        KEL_TRACE(ctx, "column %s of %s is mapped twice: by %s and by %s\n", entry.col.c_str(), tab.name.c_str(),
                  c.xml.c_str(), entry.xml.c_str());
        return kelFail(ctx, msg, sqlstate, KELQ012E);
      }
    if (!condition.empty() && !dropOwnQualifiers(ctx, schema, table, &condition))
      return kelFail(ctx, msg, sqlstate, KELQ015E);
  }
  if (static_cast<int>(tab.col2xml.size()) >= KEL_MAX_COLS_IN_TAB) {
    KEL_TRACE(ctx, "too many column text nodes\n");
    return kelFail(ctx, msg, sqlstate, KELQ039E);
  }
  entry.xmlLevel = rel->currentLevel;
  entry.path = path->text();

  // Composition overrides that select this attribute or text add their comparisons.
  if (mode == KEL_MODE_COMPOSE && overrides != nullptr && (isAttr || isText)) {
    bool first = true;
    for (KelOverride &o : *overrides) {
      if (o.used || o.path == nullptr || o.path->isMatched(*path) != MATCHED) continue;
      if (isText && o.path->targetKind() != KEL_TARGET_TEXT) continue;
      if (isAttr) {
        const XMLCh *target = o.path->targetAttribute();
        if (o.path->targetKind() != KEL_TARGET_ATTRIBUTE || target == nullptr ||
            std::u16string_view(target) != std::u16string_view(kelDadAttr(node, u"name")))
          continue;
      }
      o.used = true;
      if (o.comparison.empty()) {
        condition.clear();  // NO_CONDITION
        continue;
      }
      // "schema"."table"."column" comparison, every name through the one quoting helper.
      std::string piece;
      bool quotedOk = true;
      if (!schema.empty()) {
        quotedOk = kelAppendQuoted(ctx, &piece, schema);
        piece += ".";
      }
      quotedOk = quotedOk && kelAppendQuoted(ctx, &piece, table);
      piece += ".";
      quotedOk = quotedOk && kelAppendQuoted(ctx, &piece, entry.col);
      if (!quotedOk) return kelFail(ctx, msg, sqlstate, KELQ033E, entry.col.c_str());
      piece += " " + o.comparison;
      condition = first ? piece : condition + " AND " + piece;
      first = false;
    }
  }
  if (!condition.empty()) {
    replaceFirstOperatorEntity(&condition);
    rc = kelCheckColumnCondition(ctx, condition, sqlstate, msg);
    if (rc < 0) return rc;
    // In parentheses, so that an OR in one condition cannot reach past it.
    size_t grown = tab.condition.size() + (tab.condition.empty() ? 0 : 5) + condition.size() + 2;
    if (grown > KEL_MAX_STMT_LEN) {
      std::string what = "condition of " + tab.name + " > MAX_STMT_LEN";
      return kelFail(ctx, msg, sqlstate, KELQ038E, what.c_str());
    }
    if (!tab.condition.empty()) tab.condition += " AND ";
    tab.condition += "(" + condition + ")";
  }
  tab.level = std::min(tab.level, rel->currentLevel);
  tab.col2xml.push_back(std::move(entry));
  return 0;
}

int kelProcRel2(KelCallContext *ctx, KEL_REL *rel, char *sqlstate, char *msg) {
  for (size_t ti = 0; ti < rel->tab.size(); ++ti) {
    KEL_TAB &t = rel->tab[ti];
    for (size_t ji = 0; ji < t.joinInfo.size(); ++ji) {
      const KelJoinInfo &j = t.joinInfo[ji];
      bool found = false;
      for (const KelForeign &f : j.foreign) {
        int fi = kelFindTab(*rel, f.schema, f.tab);
        if (fi < 0 || !(rel->tab[static_cast<size_t>(fi)].level < t.level)) continue;
        if (found) {
          // One foreign key per join column: the first parent supplies it.
          KEL_TRACE(ctx, "warning: multiple join conditions on %s.%s, foreign tab:%s\n", t.name.c_str(),
                    j.col.c_str(), f.tab.c_str());
          continue;
        }
        found = true;
        if (static_cast<int>(t.foreignKey.size()) == KEL_MAX_FOREIGN_KEYS)
          return limitExceeded(ctx, sqlstate, msg, "KEL_MAX_FOREIGN_KEYS", __LINE__);
        for (const KelCol2Xml &c : t.col2xml)
          if (c.col == j.col) return kelFail(ctx, msg, sqlstate, KELQ056E, c.xml.c_str(), c.col.c_str(), t.name.c_str());
        // The mapped column that supplies the key: in F, or up the joins from F.
        int u = fi;
        std::string sought = f.col;
        KelForeignKey fk;
        fk.join = static_cast<int>(ji);
        for (;;) {
          const KEL_TAB &ut = rel->tab[static_cast<size_t>(u)];
          auto mapped = std::find_if(ut.col2xml.begin(), ut.col2xml.end(),
                                     [&](const KelCol2Xml &c) { return c.col == sought; });
          if (mapped != ut.col2xml.end()) {
            fk.ancestorTab = u;
            fk.ancestorCol = static_cast<int>(mapped - ut.col2xml.begin());
            if (u != fi)
              KEL_TRACE(ctx, "found matching col2xml for %s.%s in indirect foreign tab %s, col %s\n", t.name.c_str(),
                        j.col.c_str(), ut.name.c_str(), sought.c_str());
            break;
          }
          auto uj = std::find_if(ut.joinInfo.begin(), ut.joinInfo.end(),
                                 [&](const KelJoinInfo &x) { return x.col == sought; });
          if (uj == ut.joinInfo.end()) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
          int next = -1;
          std::string nextCol;
          for (const KelForeign &g : uj->foreign) {
            int gi = kelFindTab(*rel, g.schema, g.tab);
            if (gi >= 0 && gi != static_cast<int>(ti) && rel->tab[static_cast<size_t>(gi)].level < ut.level) {
              next = gi;
              nextCol = g.col;
              break;
            }
          }
          if (next < 0) {
            KEL_TRACE(ctx, "type of join column %s not specified\n", j.col.c_str());
            return kelFail(ctx, msg, sqlstate, KELA059E, "UNKNOWN", j.col.c_str());
          }
          u = next;
          sought = nextCol;
        }
        t.foreignKey.push_back(fk);
      }
    }
  }
  return 0;
}

int kelFindTopElements(KelCallContext *ctx, KEL_REL *rel, DOMElement *node, int mode, char *sqlstate, char *msg) {
  auto visit = [&](DOMElement *mapped, DOMElement *rdb) { return kelFindTopElement(ctx, rel, mapped, rdb, sqlstate, msg); };
  const int saved = rel->currentLevel;
  rel->currentLevel = -1;
  int rc = walkMapped(ctx, rel, node, mode, nullptr, 1, visit, sqlstate, msg);
  rel->currentLevel = saved;
  return rc;
}

int kelFindTopElement(KelCallContext *ctx, KEL_REL *rel, DOMElement *node, DOMElement *rdb, char *sqlstate,
                      char *msg) {
  DOMElement *e = holderOf(node);
  if (e == nullptr) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  std::string eName = nameOf(ctx, e);
  std::string schema, table;
  int rc = kelGetTabFromRDB(ctx, eName.c_str(), rdb, &schema, &table, sqlstate, msg);
  if (rc < 0) return rc;
  int t = kelFindTab(*rel, schema, table);
  if (t < 0) return kelFail(ctx, msg, sqlstate, KELQ016E);
  KEL_TAB &tab = rel->tab[static_cast<size_t>(t)];

  if (tab.lowestCommonAncestor.empty() && !tab.col2xml.empty()) {
    const std::u16string p = valuesAncestorPath(tab);
    const size_t n = p.size();
    size_t blank = n == 0 ? std::u16string::npos : p.rfind(u' ', n - 1);
    std::u16string lca = blank == std::u16string::npos ? p.substr(0, n) : p.substr(blank + 1, n - blank - 1);
    tab.lcaAncestorPath = blank == std::u16string::npos ? std::u16string() : p.substr(0, blank);
    tab.lowestCommonAncestor = narrow(ctx, lca);
    KEL_TRACE(ctx, "lca=%s\n", tab.lowestCommonAncestor.c_str());
  }

  if (tab.topElement.empty()) {
    DOMElement *top = e;
    for (;;) {
      DOMNode *parent = top->getParentNode();
      if (!kelDadIsElement(parent, u"element_node")) break;
      auto *p = static_cast<DOMElement *>(parent);
      if (!kelIsNodeIntermediate(p) || kelGetMultiOccurrence(ctx, p) != 1 || kelHasChildFromOtherTab(ctx, *rel, p, t, 0))
        break;
      KEL_TRACE(ctx, "Climb.\n");
      top = p;
    }
    tab.topElement = narrow(ctx, pathName(top));
    std::vector<const XMLCh *> ancestors;
    for (DOMNode *a = top->getParentNode(); kelDadIsElement(a, u"element_node"); a = a->getParentNode())
      ancestors.push_back(pathName(static_cast<DOMElement *>(a)));
    tab.topElementAncestorPath.clear();
    for (auto it = ancestors.rbegin(); it != ancestors.rend(); ++it) {
      if (!tab.topElementAncestorPath.empty()) tab.topElementAncestorPath += u' ';
      tab.topElementAncestorPath += *it;
    }
    tab.topElementPath = tab.topElementAncestorPath;
    if (!tab.topElementPath.empty()) tab.topElementPath += u' ';
    tab.topElementPath += pathName(top);
  }
  return 0;
}

// ---- Queries ---------------------------------------------------------------------------------

int kelFindTab(const KEL_REL &rel, const std::string &schema, const std::string &name) {
  for (size_t i = 0; i < rel.tab.size(); ++i)
    if (rel.tab[i].schema == schema && rel.tab[i].name == name) return static_cast<int>(i);
  return -1;
}

KEL_TAB *kelFindTabByName(KelCallContext *ctx, KEL_REL *rel, const std::string &schema, const std::string &name,
                          char *sqlstate, char *msg) {
  int t = kelFindTab(*rel, schema, name);
  if (t >= 0) return &rel->tab[static_cast<size_t>(t)];
  kelFail(ctx, msg, sqlstate, KELQ012E);
  return nullptr;
}

bool isInTab(const KEL_TAB &tab, const std::string &xmlName) {
  if (tab.topElement == xmlName) return true;
  return std::any_of(tab.col2xml.begin(), tab.col2xml.end(), [&](const KelCol2Xml &c) { return c.xml == xmlName; });
}

bool isInTab4Decomp(const KEL_TAB &tab, const std::u16string &path, const std::string &xmlName) {
  if (tab.topElement == xmlName && !tab.topElementPath.empty() && path == tab.topElementPath) return true;
  return std::any_of(tab.col2xml.begin(), tab.col2xml.end(),
                     [&](const KelCol2Xml &c) { return c.xml == xmlName && c.path == path; });
}

int getTabofTopElement(const KEL_REL &rel, const std::u16string &parentPath, const std::string &name) {
  for (size_t i = 0; i < rel.tab.size(); ++i)
    if (rel.tab[i].topElement == name && rel.tab[i].topElementAncestorPath == parentPath) return static_cast<int>(i);
  return -1;
}

int kelGetTabFromRDB(KelCallContext *ctx, const char *nameForMsg, DOMElement *rdb, std::string *schema,
                     std::string *table, char *sqlstate, char *msg) {
  DOMElement *t = kelDadFirstChild(rdb, u"table");
  if (t == nullptr) return kelFail(ctx, msg, sqlstate, KELQ010E, nameForMsg != nullptr ? nameForMsg : "");
  // A value comes from one table: a second one would be dropped without a word.
  if (kelDadCountChildren(rdb, u"table") > 1) {
    KEL_TRACE(ctx, "the RDB_node of %s names more than one table\n",
              nameForMsg != nullptr ? nameForMsg : "");
    return kelFail(ctx, msg, sqlstate, KELQ012E);
  }
  return parseTable(ctx, kelDadAttr(t, u"name"), schema, table, sqlstate, msg);
}

int kelGetColFromRDB(KelCallContext *ctx, const char *nameForMsg, DOMElement *rdb, std::string *column,
                     char *sqlstate, char *msg) {
  DOMElement *c = kelDadFirstChild(rdb, u"column");
  if (c == nullptr) return kelFail(ctx, msg, sqlstate, KELQ011E, nameForMsg != nullptr ? nameForMsg : "");
  // A value is one column: a second one would be dropped without a word.
  if (kelDadCountChildren(rdb, u"column") > 1) {
    KEL_TRACE(ctx, "%s maps more than one column\n", nameForMsg != nullptr ? nameForMsg : "");
    return kelFail(ctx, msg, sqlstate, KELQ012E);
  }
  return parseColumn(ctx, kelDadAttr(c, u"name"), column, sqlstate, msg);
}

int kelGetEleNameOfTxt(KelCallContext *ctx, DOMElement *textNode, std::string *name, char *sqlstate, char *msg) {
  DOMNode *parent = textNode != nullptr ? textNode->getParentNode() : nullptr;
  if (!kelDadIsElement(parent, u"element_node")) return kelFail(ctx, msg, sqlstate, KELQ012E);
  *name = nameOf(ctx, static_cast<DOMElement *>(parent));
  if (name->empty()) return kelFail(ctx, msg, sqlstate, KELQ014E);
  return 0;
}

int kelGetMultiOccurrence(KelCallContext *ctx, const DOMElement *elementNode) {
  const XMLCh *value = kelDadAttr(elementNode, u"multi_occurrence");
  if (value == nullptr) return 0;
  std::u16string v = kelDadTrim(value);
  for (char16_t &c : v) c = static_cast<char16_t>(u_toupper(c));
  if (v.empty() || v == u"NO") return 0;
  if (v == u"YES") return 1;
  return -1;
}

int kelIsNodeIntermediate(const DOMNode *node) {
  if (!kelDadIsElement(node, u"element_node")) return 0;
  return kelDadFirstChild(node, u"attribute_node") == nullptr && kelDadFirstChild(node, u"text_node") == nullptr ? 1
                                                                                                                  : 0;
}

int kelIsTrivial(KelCallContext *ctx, const DOMElement *elementNode) {
  int multi = kelGetMultiOccurrence(ctx, elementNode);
  if (multi < 0) return -1;
  return kelIsNodeIntermediate(elementNode) == 1 && multi == 0 ? 1 : 0;
}

int kelHasChildFromOtherTab(KelCallContext *ctx, const KEL_REL &rel, const DOMElement *elementNode, int tab,
                            int depth) {
  if (elementNode == nullptr) return 0;
  for (DOMNode *c = elementNode->getFirstChild(); c != nullptr; c = c->getNextSibling()) {
    if (kelDadIsElement(c, u"attribute_node") || kelDadIsElement(c, u"text_node")) {
      DOMElement *rdb = kelDadFirstChild(c, u"RDB_node");
      if (rdb == nullptr) continue;
      std::string schema, table;
      if (kelGetTabFromRDB(ctx, "", rdb, &schema, &table, nullptr, nullptr) < 0) continue;
      if (kelFindTab(rel, schema, table) != tab) return 1;
    } else if (depth == 0 && kelDadIsElement(c, u"element_node")) {
      if (kelHasChildFromOtherTab(ctx, rel, static_cast<DOMElement *>(c), tab, depth + 1)) return 1;
    }
  }
  return 0;
}

int kelFindTabForIntermediate(KelCallContext *ctx, const DOMElement *elementNode, const char *nameForMsg,
                              const KEL_REL &rel, int *tab, char *sqlstate, char *msg) {
  *tab = -1;
  std::vector<DOMNode *> pending;
  if (elementNode != nullptr)
    for (DOMNode *c = elementNode->getLastChild(); c != nullptr; c = c->getPreviousSibling()) pending.push_back(c);
  while (!pending.empty()) {
    DOMNode *n = pending.back();
    pending.pop_back();
    if (!kelDadIsElement(n, u"element_node")) continue;
    std::string name = nameOf(ctx, static_cast<DOMElement *>(n));
    for (size_t i = 0; i < rel.tab.size(); ++i)
      if (!name.empty() && rel.tab[i].topElement == name) {
        *tab = static_cast<int>(i);
        return 0;
      }
    for (DOMNode *c = n->getLastChild(); c != nullptr; c = c->getPreviousSibling()) pending.push_back(c);
  }
  return kelFail(ctx, msg, sqlstate, KELQ037E, nameForMsg != nullptr ? nameForMsg : "");
}

bool kelAppendQuoted(KelCallContext *ctx, std::string *out, const std::string &name) {
  std::string buf(name.size() * 2 + 3, '\0');
  char *pos = buf.data();
  if (kelQuoteIdentifier(ctx, &pos, buf.data() + buf.size(), name.c_str()) != KEL_QUOTE_OK) return false;
  out->append(buf.data(), static_cast<size_t>(pos - buf.data()));
  return true;
}

void kelFreeRel(KEL_REL *rel) {
  if (rel != nullptr) *rel = KEL_REL{};
}

// ---- The model as text -------------------------------------------------------------------------

std::string kelRelToText(const KEL_REL &rel) {
  auto u8 = [](const std::u16string &s) {
    std::string out;
    kelDadToDb(nullptr, s, &out);
    return out;
  };
  auto qualified = [](const std::string &schema, const std::string &name) {
    return schema.empty() ? name : schema + "." + name;
  };
  auto level = [](int l) { return l == INT_MAX ? std::string("-") : std::to_string(l); };
  static const char *const kKinds[] = {"attribute", "text", "element"};
  std::string s = "mode " + std::to_string(rel.mode) + ", " + std::to_string(rel.tab.size()) + " tables, " +
                  std::to_string(rel.numConditions) + " joins\n";
  for (const KelJoin &j : rel.joins)
    s += "join " + qualified(j.left.schema, j.left.tab) + "." + j.left.col + " = " +
         qualified(j.right.schema, j.right.tab) + "." + j.right.col + "\n";
  for (const KEL_TAB &t : rel.tab) {
    s += "table " + qualified(t.schema, t.name) + "\n";
    s += "  level " + level(t.level) + "\n";
    s += "  top_element " + t.topElement + " under \"" + u8(t.topElementAncestorPath) + "\"\n";
    s += "  lowest_common_ancestor " + t.lowestCommonAncestor + " under \"" + u8(t.lcaAncestorPath) + "\"\n";
    if (!t.priKey.empty()) {
      s += "  key";
      for (const std::string &k : t.priKey) s += " " + k;
      s += "\n";
    }
    if (t.hasOrderBy) s += "  orderBy " + t.orderBy + "\n";
    if (!t.condition.empty()) s += "  condition " + t.condition + "\n";
    for (const KelCol2Xml &c : t.col2xml) {
      s += "  column " + c.col + " <- " + (c.xmlType >= 0 && c.xmlType <= 2 ? kKinds[c.xmlType] : "value") + " " +
           c.xml + " at level " + std::to_string(c.xmlLevel) + " path \"" + u8(c.path) + "\"";
      if (!c.dataType.empty()) s += " type " + c.dataType;
      s += "\n";
    }
    for (const KelJoinInfo &j : t.joinInfo) {
      s += "  join column " + j.col;
      if (!j.dataType.empty()) s += " (" + j.dataType + ")";
      s += " =";
      for (const KelForeign &f : j.foreign) s += " " + qualified(f.schema, f.tab) + "." + f.col;
      s += "\n";
    }
    for (const KelForeignKey &fk : t.foreignKey) {
      const KEL_TAB &a = rel.tab[static_cast<size_t>(fk.ancestorTab)];
      s += "  foreign key " + t.joinInfo[static_cast<size_t>(fk.join)].col + " from " + qualified(a.schema, a.name) +
           "." + a.col2xml[static_cast<size_t>(fk.ancestorCol)].col + " (" +
           a.col2xml[static_cast<size_t>(fk.ancestorCol)].xml + ")\n";
    }
  }
  return s;
}

namespace {

// Writes text to the trace line by line, each under the name of the function that traces it.
void traceLines(KelCallContext *ctx, const char *function, const std::string &text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    kelTraceWrite(ctx, "%s:\t\t%.*s\n", function, static_cast<int>(end - start), text.data() + start);
    start = end + 1;
  }
}

}  // namespace

void printrelinfo(KelCallContext *ctx, const KEL_REL &rel) {
  if (ctx == nullptr || !ctx->traceOn) return;
  traceLines(ctx, __func__, kelRelToText(rel));
}

void printrelinfo1(KelCallContext *ctx, const KEL_REL &rel) { printrelinfo(ctx, rel); }

void printtabinfo(KelCallContext *ctx, const KEL_REL &rel, int tab) {
  if (ctx == nullptr || !ctx->traceOn || tab < 0 || tab >= static_cast<int>(rel.tab.size())) return;
  // The model's text holds the tables one after the other, each from its "table " line.
  std::string text = kelRelToText(rel);
  size_t at = 0;
  for (int t = 0; t <= tab; ++t) at = text.find("\ntable ", at) + 1;
  size_t end = text.find("\ntable ", at);
  traceLines(ctx, __func__, text.substr(at, end == std::string::npos ? std::string::npos : end + 1 - at));
}
