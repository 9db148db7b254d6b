/*
 * kelrcomp.cpp - RDB_node composition (see kelrcomp.h).
 *
 * Per table the call keeps its working state next to the model (indexed like rel.tab): the
 * prepared query, its bound columns, where each mapped and join column stands in the select
 * list, and whether its cursor is open on a row.  A query is prepared the first time its table
 * is needed and re-executed afterwards; its parameters are bound to the parent table's column
 * buffers, so a re-execution reads the parent's current row.  A table's cursor is closed, and
 * the table counts as having no row, when its rows are used up, when a query finds no row for
 * the parent (the previous parent's values are never read again), and at the end of the element
 * whose attribute or text opened it (the next parent row queries it afresh).
 */
#include "kelrcomp.h"

#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/util/XMLChar.hpp>

#include <algorithm>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kelcodepage.h"
#include "kelctx.h"
#include "keldom.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "kelsql.h"
#include "keltrace.h"

using xercesc::DOMElement;
using xercesc::DOMNode;

namespace {

constexpr const char kUnit[] = "kelrcomp";

bool isSpace(char16_t c) { return c == u' ' || c == u'\n' || c == u'\t' || c == u'\r'; }
bool isWordChar(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' || c > 0x7f;
}

// The position of the next word AND (any case) outside single quotes at or after from, or npos.
size_t nextAnd(const std::u16string &s, size_t from) {
  bool quoted = false;
  for (size_t i = from; i < s.size(); ++i) {
    if (s[i] == u'\'') {
      quoted = !quoted;
      continue;
    }
    if (quoted || i + 3 > s.size()) continue;
    if ((s[i] | 0x20) == u'a' && (s[i + 1] | 0x20) == u'n' && (s[i + 2] | 0x20) == u'd' &&
        (i == 0 || !isWordChar(s[i - 1])) && (i + 3 == s.size() || !isWordChar(s[i + 3])))
      return i;
  }
  return std::u16string::npos;
}

/*
 * True when path is a plain location path: element names from the root, each after its own
 * "/", the last step optionally "@" and an attribute name, every name one a DAD may give (the
 * test the DAD reader applies).  The columns an override reaches are found by that path alone,
 * so a predicate, "//", "*", "." or a function, which would be matched as something else or
 * not at all, makes none.
 */
bool isPlainPath(const std::u16string &path) {
  if (path.empty() || path[0] != u'/') return false;
  for (size_t at = 1;;) {
    size_t end = path.find(u'/', at);
    if (end == std::u16string::npos) end = path.size();
    size_t from = at;
    if (from < end && path[from] == u'@') {
      if (end != path.size()) return false;  // an attribute ends the path
      ++from;
    }
    if (from == end || !xercesc::XMLChar1_0::isValidName(path.data() + from, end - from)) return false;
    if (end == path.size()) return true;
    at = end + 1;
  }
}

// True when a comparison is its operator alone ("=", "<>", ">="), with nothing to compare with.
bool operatorAlone(const std::u16string &comparison) {
  return comparison.find_first_not_of(u"<>=! \t\r\n") == std::u16string::npos;
}

// True when text names NO_CONDITION outside single quotes.
bool namesNoCondition(const std::u16string &text) {
  return text.find(u'\'') == std::u16string::npos && text.find(u"NO_CONDITION") != std::u16string::npos;
}

std::u16string attrText(const DOMElement *e, const XMLCh *name) {
  const XMLCh *v = kelDadAttr(e, name);
  return v != nullptr ? std::u16string(v) : std::u16string();
}

bool isSqlSpecialOrUtf8(KelCallContext *ctx) {
  return ctx == nullptr || ctx->codePages == nullptr || kelIsSpecialMbcsCodePage(ctx->codePages->dbCodePage) ||
         kelIsUtf8CodePage(ctx->codePages->dbCodePage);
}

// Kinds of the DAD nodes the walk handles.
enum NodeKind { kAttribute = 0, kText = 1, kElement = 2 };

// What the walk needs of one DAD node, worked out the first time it is reached.
struct NodeInfo {
  NodeKind kind = kElement;
  std::u16string path;         // element: its own path; attribute and text: their element's
  std::vector<std::pair<const DOMElement *, NodeKind>> children;  // element: the children that count
  std::string name;            // the attribute's name; the element's (for a text, its element's)
  std::u16string wideName;     // element: its name for the path
  bool trivial = false;        // element: intermediate and not multi-occurring
  bool intermediate = false;   // element
  std::vector<char> belongs;   // per table: the node belongs to it (by name and path)
  int firstBelong = -1;
  std::vector<int> tops;       // element: tables whose top element it is at this place
  // Attribute and text: the table its RDB_node names and the mapped column it reads.
  int valueTab = -1;
  int valueCol = -1;           // index into that table's col2xml; -1: none matches
  std::string tableName;       // for messages
};

class Composer {
 public:
  Composer(KelCallContext *ctx, SQLHDBC dbc, KEL_REL &rel, const std::string &docHeader, KelComposeOutput *out,
           char *sqlstate, char *msg)
      : ctx_(ctx), dbc_(dbc), rel_(rel), docHeader_(docHeader), out_(out), sqlstate_(sqlstate), msg_(msg),
        doc_(ctx), tabs_(rel.tab.size()) {}

  int run(DOMElement *root);

 private:
  struct Tab {
    KelStmtHandle stmt;
    bool built = false;
    int active = 0;  // 0 no open cursor, 1 executed, 2 executed again
    bool hasRow = false;
    bool ranBefore = false;
    KelQueryColumns cols;
    std::vector<int> colPos;   // per col2xml entry: its select-list position
    std::vector<int> joinPos;  // per joinInfo entry: its select-list position, or -1
  };

  std::string qualified(const KEL_TAB &t, const std::string &column, bool *ok);
  int orderByText(const KEL_TAB &t, std::string *out);
  int build(int t);
  int execute(int t);
  int query(int t, bool *ran);
  void closeTab(int t);
  int fetchNext(int t, const char *what);
  int info(const DOMElement *node, NodeKind kind, const DOMElement *parent, const std::u16string &here,
           const NodeInfo **out);
  int element(const DOMElement *e, const NodeInfo &self, int current);
  int value(const DOMElement *node, const NodeInfo &ni, NodeKind kind);
  int oneDocument(const DOMElement *root, const NodeInfo &rootInfo, int top);

  KelCallContext *ctx_;
  SQLHDBC dbc_;
  KEL_REL &rel_;
  const std::string &docHeader_;
  KelComposeOutput *out_;
  char *sqlstate_;
  char *msg_;
  KelDocWriter doc_;
  std::vector<Tab> tabs_;
  std::unordered_map<const DOMElement *, NodeInfo> nodes_;
  int depth_ = 0;
  std::string tag_;
};

std::string Composer::qualified(const KEL_TAB &t, const std::string &column, bool *ok) {
  std::string out;
  if (!t.schema.empty()) {
    *ok = kelAppendQuoted(ctx_, &out, t.schema) && *ok;
    out += '.';
  }
  *ok = kelAppendQuoted(ctx_, &out, t.name) && *ok;
  if (!column.empty()) {
    out += '.';
    *ok = kelAppendQuoted(ctx_, &out, column) && *ok;
  }
  return out;
}

// The table's orderBy attribute as SQL: each column name quoted, ASC or DESC kept.
int Composer::orderByText(const KEL_TAB &t, std::string *out) {
  std::u16string wide;
  if (!kelDadFromDb(ctx_, t.orderBy, &wide)) return kelFail(ctx_, msg_, sqlstate_, KELQ033E, t.orderBy.c_str());
  const UChar *p = wide.c_str();
  KelSqlToken tok;
  kelGetSqlToken(ctx_, &p, &tok);
  for (bool first = true;; first = false) {
    char parts[3][KEL_SQL_PART_SIZE];
    int n = 0;
    if (kelParseSqlQualifiedId(ctx_, &p, &tok, 3, &n, parts) < 0)
      return kelFail(ctx_, msg_, sqlstate_, KELQ033E, t.orderBy.c_str());
    if (!first) *out += ", ";
    for (int i = 0; i < n; ++i) {
      if (i > 0) *out += '.';
      if (!kelAppendQuoted(ctx_, out, parts[i])) return kelFail(ctx_, msg_, sqlstate_, KELQ033E, t.orderBy.c_str());
    }
    if (tok.tokenClass == KEL_TOK_ORDINARY_ID && (std::string(tok.text) == "ASC" || std::string(tok.text) == "DESC")) {
      *out += ' ';
      *out += tok.text;
      kelGetSqlToken(ctx_, &p, &tok);
    }
    if (tok.tokenClass == KEL_TOK_DELIMITER && *tok.start == u',') {
      kelGetSqlToken(ctx_, &p, &tok);
      continue;
    }
    if (tok.tokenClass == KEL_TOK_END) return 0;
    return kelFail(ctx_, msg_, sqlstate_, KELQ033E, t.orderBy.c_str());
  }
}

/*
 * kelGenSQL: SELECT the mapped columns and the join columns that child tables need, FROM the
 * table, WHERE its own condition (in parentheses) AND each join column equals the parent's
 * value (a parameter), ORDER BY its orderBy.  Prepared once; the parameters are bound to the
 * parent's column buffers and the result columns to the table's own.
 */
int Composer::build(int t) {
  const KEL_TAB &T = rel_.tab[static_cast<size_t>(t)];
  Tab &S = tabs_[static_cast<size_t>(t)];
  const int level = T.level;
  bool ok = true;
  std::string sql = "SELECT ";
  S.colPos.assign(T.col2xml.size(), -1);
  for (size_t i = 0; i < T.col2xml.size(); ++i) {
    if (i > 0) sql += ", ";
    sql += qualified(T, T.col2xml[i].col, &ok);
    S.colPos[i] = static_cast<int>(i);
  }
  int next = static_cast<int>(T.col2xml.size());
  S.joinPos.assign(T.joinInfo.size(), -1);
  for (size_t j = 0; j < T.joinInfo.size(); ++j) {
    const KelJoinInfo &J = T.joinInfo[j];
    for (size_t i = 0; i < T.col2xml.size(); ++i)
      if (T.col2xml[i].col == J.col) {
        S.joinPos[j] = static_cast<int>(i);
        break;
      }
    if (S.joinPos[j] >= 0) continue;
    for (const KelForeign &F : J.foreign) {
      int r = kelFindTab(rel_, F.schema, F.tab);
      if (r >= 0 && rel_.tab[static_cast<size_t>(r)].level > level) {
        if (next > 0) sql += ", ";
        sql += qualified(T, J.col, &ok);
        S.joinPos[j] = next++;
        break;
      }
    }
  }
  sql += " FROM " + qualified(T, "", &ok);
  bool where = false;
  if (!T.condition.empty()) {
    sql += " WHERE (" + T.condition + ")";
    where = true;
  }
  // The parameters: per join with a parent, the parent's table and the position of its value.
  std::vector<std::pair<int, int>> params;
  for (const KelJoinInfo &J : T.joinInfo) {
    for (const KelForeign &F : J.foreign) {
      int r = kelFindTab(rel_, F.schema, F.tab);
      if (r < 0) return kelFail(ctx_, msg_, sqlstate_, KELQ016E);
      const KEL_TAB &P = rel_.tab[static_cast<size_t>(r)];
      if (P.level >= level) continue;
      // kelGetJoinValue: the parent's mapped column of that name, else its join column.
      const Tab &PS = tabs_[static_cast<size_t>(r)];
      int pos = -1;
      if (PS.built) {
        for (size_t i = 0; i < P.col2xml.size() && pos < 0; ++i)
          if (P.col2xml[i].col == F.col) pos = PS.colPos[i];
        for (size_t j = 0; j < P.joinInfo.size() && pos < 0; ++j)
          if (P.joinInfo[j].col == F.col) pos = PS.joinPos[j];
      }
      if (pos < 0) {
        KEL_TRACE(ctx_, "no value of %s.%s for the join of %s.%s\n", P.name.c_str(), F.col.c_str(), T.name.c_str(),
                  J.col.c_str());
        return kelFail(ctx_, msg_, sqlstate_, KELQ012E);
      }
      sql += where ? " AND " : " WHERE ";
      where = true;
      sql += qualified(T, J.col, &ok) + " = ?";
      params.emplace_back(r, pos);
    }
  }
  if (T.hasOrderBy && !T.orderBy.empty()) {
    std::string order;
    int rc = orderByText(T, &order);
    if (rc < 0) return rc;
    sql += " ORDER BY " + order;
  }
  if (!ok) return kelFail(ctx_, msg_, sqlstate_, KELQ033E, T.name.c_str());
  if (sql.size() > KEL_MAX_STMT_LEN) return kelFail(ctx_, msg_, sqlstate_, KELQ038E, "sql_stmt > MAX_STMT_LEN");
  KEL_TRACE(ctx_, "query of %s (level %d): %s\n", T.name.c_str(), level, sql.c_str());
  rel_.tab[static_cast<size_t>(t)].stmt = sql;

  SQLRETURN cli = SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &S.stmt.h);
  if (!SQL_SUCCEEDED(cli)) return KEL_CLI_ERROR(ctx_, msg_, sqlstate_, SQL_HANDLE_DBC, dbc_, cli, "SQLAllocHandle");
  cli = SQLPrepare(S.stmt.h, reinterpret_cast<SQLCHAR *>(sql.data()), SQL_NTS);
  if (!SQL_SUCCEEDED(cli)) {
    std::string text = kelCliDiagnostics(SQL_HANDLE_STMT, S.stmt.h).text;
    KEL_TRACE(ctx_, "SQLPrepare(%s) failed: %s\n", sql.c_str(), text.c_str());
    return kelFail(ctx_, msg_, sqlstate_, KELQ053E, text.c_str());
  }
  const bool plainChar = isSqlSpecialOrUtf8(ctx_);
  for (size_t n = 0; n < params.size(); ++n) {
    KelBoundColumn &v = tabs_[static_cast<size_t>(params[n].first)].cols.column(params[n].second);
    SQLSMALLINT type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    cli = SQLDescribeParam(S.stmt.h, static_cast<SQLUSMALLINT>(n + 1), &type, &size, &digits, &nullable);
    if (SQL_SUCCEEDED(cli)) {
      SQLSMALLINT cType = v.locator ? (v.sqlType == SQL_CLOB     ? SQL_C_CLOB_LOCATOR
                                       : v.sqlType == SQL_DBCLOB ? SQL_C_DBCLOB_LOCATOR
                                                                 : SQL_C_BLOB_LOCATOR)
                                    : (kelIsGraphicSqlType(type) && !plainChar ? SQL_C_DBCHAR : SQL_C_CHAR);
      cli = SQLBindParameter(S.stmt.h, static_cast<SQLUSMALLINT>(n + 1), SQL_PARAM_INPUT, cType, type, size, digits,
                             v.value.data(), static_cast<SQLLEN>(v.value.size()), &v.indicator);
    }
    if (!SQL_SUCCEEDED(cli)) {
      std::string text = kelCliDiagnostics(SQL_HANDLE_STMT, S.stmt.h).text;
      return kelFail(ctx_, msg_, sqlstate_, KELQ053E, text.c_str());
    }
  }
  int rc = S.cols.bind(ctx_, S.stmt.h, kUnit, sqlstate_, msg_);
  if (rc < 0) return rc;
  S.built = true;
  return 0;
}

// Runs the table's query for the current parent row (its cursor must be closed).
int Composer::execute(int t) {
  Tab &S = tabs_[static_cast<size_t>(t)];
  SQLRETURN cli = SQLExecute(S.stmt.h);
  if (!SQL_SUCCEEDED(cli)) {
    std::string text = kelCliDiagnostics(SQL_HANDLE_STMT, S.stmt.h).text;
    KEL_TRACE(ctx_, "query of %s failed: %s\n", rel_.tab[static_cast<size_t>(t)].name.c_str(), text.c_str());
    return kelFail(ctx_, msg_, sqlstate_, KELQ053E, text.c_str());
  }
  S.active = S.ranBefore ? 2 : 1;
  S.ranBefore = true;
  return 0;
}

// Fetches the table's next row; none closes its cursor.  0 (see hasRow) or the failure.
int Composer::fetchNext(int t, const char *what) {
  Tab &S = tabs_[static_cast<size_t>(t)];
  int rc = S.cols.fetch(ctx_, what, kUnit, sqlstate_, msg_);
  if (rc == SQL_NO_DATA) {
    closeTab(t);
    return 0;
  }
  if (rc < 0) {
    KEL_TRACE(ctx_, "Cannot fetch data from sql_stmt '%s'\n", rel_.tab[static_cast<size_t>(t)].stmt.c_str());
    closeTab(t);
    return rc;
  }
  S.hasRow = true;
  return 0;
}

// The query of table t for the current parent row: its current row when its cursor is open,
// else the query (prepared on first use) run again and its first row fetched (*ran).
int Composer::query(int t, bool *ran) {
  Tab &S = tabs_[static_cast<size_t>(t)];
  *ran = false;
  if (S.active != 0) return 0;
  *ran = true;
  if (!S.built) {
    rel_.tab[static_cast<size_t>(t)].level = depth_;
    int rc = build(t);
    if (rc < 0) return rc;
  }
  int rc = execute(t);
  if (rc < 0) return rc;
  return fetchNext(t, "sql_stmt");
}

void Composer::closeTab(int t) {
  Tab &S = tabs_[static_cast<size_t>(t)];
  if (S.active != 0 || S.hasRow) S.cols.close(ctx_);
  S.active = 0;
  S.hasRow = false;
}

// here: the path of the element that holds node (empty for the root element).
int Composer::info(const DOMElement *node, NodeKind kind, const DOMElement *parent, const std::u16string &here,
                   const NodeInfo **out) {
  auto found = nodes_.find(node);
  if (found != nodes_.end()) {
    *out = &found->second;
    return 0;
  }
  NodeInfo ni;
  ni.kind = kind;
  std::u16string own = here;
  if (kind == kText) {
    if (!kelDadToDb(ctx_, attrText(parent, u"name"), &ni.name) || ni.name.empty())
      return kelFail(ctx_, msg_, sqlstate_, KELQ014E);
  } else {
    ni.wideName = attrText(node, u"name");
    if (ni.wideName.empty() || !kelDadToDb(ctx_, ni.wideName, &ni.name))
      return kelFail(ctx_, msg_, sqlstate_, kind == kAttribute ? KELQ006E : KELQ014E);
  }
  if (kind == kElement) {
    int trivial = kelIsTrivial(ctx_, node);
    if (trivial < 0) return kelFail(ctx_, msg_, sqlstate_, KELQ063E, ni.name.c_str());
    ni.trivial = trivial == 1;
    ni.intermediate = kelIsNodeIntermediate(node) == 1;
    if (!own.empty()) own += u' ';
    own += ni.wideName;
    for (size_t t = 0; t < rel_.tab.size(); ++t)
      if (rel_.tab[t].topElement == ni.name && rel_.tab[t].topElementAncestorPath == here)
        ni.tops.push_back(static_cast<int>(t));
    // Only element_node, attribute_node and text_node children count.
    std::vector<std::u16string> attributes;
    for (const DOMNode *n = node->getFirstChild(); n != nullptr; n = n->getNextSibling()) {
      if (n->getNodeType() != DOMNode::ELEMENT_NODE) continue;
      auto *child = static_cast<const DOMElement *>(n);
      if (kelDadIsElement(child, u"element_node")) {
        ni.children.emplace_back(child, kElement);
      } else if (kelDadIsElement(child, u"attribute_node")) {
        // Two attributes of one name would make no XML.
        std::u16string attr = attrText(child, u"name");
        if (!attr.empty() && std::find(attributes.begin(), attributes.end(), attr) != attributes.end()) {
          std::string shown;
          kelDadToDb(ctx_, attr, &shown);
          return kelFail(ctx_, msg_, sqlstate_, KELQ045E, ni.name.c_str(), shown.c_str());
        }
        attributes.push_back(std::move(attr));
        ni.children.emplace_back(child, kAttribute);
      } else if (kelDadIsElement(child, u"text_node")) {
        ni.children.emplace_back(child, kText);
      }
    }
  }
  ni.path = kind == kElement ? own : here;
  ni.belongs.assign(rel_.tab.size(), 0);
  for (size_t t = 0; t < rel_.tab.size(); ++t) {
    ni.belongs[t] = isInTab4Decomp(rel_.tab[t], own, ni.name) ? 1 : 0;
    if (ni.belongs[t] && ni.firstBelong < 0) ni.firstBelong = static_cast<int>(t);
  }
  if (kind != kElement) {
    DOMElement *rdb = kelDadFirstChild(node, u"RDB_node");
    if (rdb == nullptr) return kelFail(ctx_, msg_, sqlstate_, KELQ007E, ni.name.c_str());
    std::string schema, table;
    int rc = kelGetTabFromRDB(ctx_, ni.name.c_str(), rdb, &schema, &table, sqlstate_, msg_);
    if (rc < 0) return rc;
    ni.valueTab = kelFindTab(rel_, schema, table);
    if (ni.valueTab < 0) return kelFail(ctx_, msg_, sqlstate_, KELQ016E);
    ni.tableName = schema.empty() ? table : schema + "." + table;
    // The node's own column too: the text_nodes of one element share its name and path, and
    // an attribute may have the element's name, so name and path alone gave each of them the
    // first column mapped there.
    std::string column;
    rc = kelGetColFromRDB(ctx_, ni.name.c_str(), rdb, &column, sqlstate_, msg_);
    if (rc < 0) return rc;
    const KEL_TAB &T = rel_.tab[static_cast<size_t>(ni.valueTab)];
    for (size_t i = 0; i < T.col2xml.size(); ++i)
      if (T.col2xml[i].col == column && T.col2xml[i].xml == ni.name && T.col2xml[i].path == here) {
        ni.valueCol = static_cast<int>(i);
        break;
      }
  }
  *out = &nodes_.emplace(node, std::move(ni)).first->second;
  return 0;
}

// kelProcAttTextNode: the attribute (kind kAttribute) or text of the current element.
int Composer::value(const DOMElement *node, const NodeInfo &ni, NodeKind kind) {
  (void)node;
  const Tab &S = tabs_[static_cast<size_t>(ni.valueTab)];
  if (S.active == 0 || !S.hasRow) return kelFail(ctx_, msg_, sqlstate_, KELQ062E, ni.tableName.c_str(), ni.name.c_str());
  if (ni.valueCol < 0) return kelFail(ctx_, msg_, sqlstate_, KELQ012E);
  Tab &T = tabs_[static_cast<size_t>(ni.valueTab)];
  const int pos = T.colPos[static_cast<size_t>(ni.valueCol)];
  if (T.cols.isNull(pos)) return 0;
  if (kind == kText) return kelAppendColumnValue(ctx_, &doc_, &T.cols, pos, false, sqlstate_, msg_);
  if (!T.cols.column(pos).locator && T.cols.length(pos) == 0) return 0;  // an empty attribute is left out
  doc_.append(' ');
  doc_.append(ni.name);
  doc_.append("=\"", 2);
  int rc = kelAppendColumnValue(ctx_, &doc_, &T.cols, pos, true, sqlstate_, msg_);
  if (rc < 0) return rc;
  doc_.append('"');
  return 0;
}

// kelProcElementNode: element e (described by self) with table current, and its subtree.
int Composer::element(const DOMElement *e, const NodeInfo &self, int current) {
  ++depth_;
  writeXMLStartTag(&tag_, 2 * (depth_ - 1), self.name.c_str(), true);
  doc_.append(tag_);
  bool open = true;
  bool lastWasElement = false;
  std::vector<int> opened;  // tables an attribute or text of e queried: closed when e ends
  int rc = 0;
  int T = current;
  for (size_t c = 0; c < self.children.size() && rc >= 0; ++c) {
    const DOMElement *child = self.children[c].first;
    const NodeKind kind = self.children[c].second;
    const NodeInfo *ni = nullptr;
    rc = info(child, kind, e, self.path, &ni);
    if (rc < 0) break;

    // Which table: the current one when the child belongs to it; a table whose top element
    // the child is at this place (and that has no open cursor) becomes the current one.
    const bool belongs = T >= 0 && ni->belongs[static_cast<size_t>(T)];
    int Q = -1;
    bool newTop = false;
    if (!belongs && kind != kText) {
      for (int t : ni->tops)
        if (tabs_[static_cast<size_t>(t)].active == 0) {
          Q = t;
          newTop = true;
          break;
        }
    }
    if (newTop) T = Q;
    const bool need = newTop || (T < 0 && !(kind == kElement && ni->trivial)) || (kind == kAttribute && !belongs);
    if (need && !newTop) {
      Q = ni->firstBelong >= 0 ? ni->firstBelong : T;
      if (Q < 0 && kind == kElement && ni->intermediate) {
        rc = kelFindTabForIntermediate(ctx_, child, ni->name.c_str(), rel_, &Q, sqlstate_, msg_);
        if (rc < 0) break;
      }
      if (Q < 0) {
        KEL_TRACE(ctx_, "no table for %s\n", ni->name.c_str());
        rc = KEL_INTERNAL_ERROR(ctx_, msg_, sqlstate_);
        break;
      }
    }
    bool ran = false;
    if (need) {
      rc = query(Q, &ran);
      if (rc < 0) break;
    }

    if (kind == kAttribute) {
      rc = value(child, *ni, kAttribute);
      if (ran) opened.push_back(Q);
      continue;
    }
    if (open) {
      doc_.append('>');
      open = false;
    }
    if (kind == kText) {
      rc = value(child, *ni, kText);
      if (ran) opened.push_back(Q);
      lastWasElement = false;
      continue;
    }
    lastWasElement = true;
    if (need) {
      // One child element per row of the table's query.
      while (rc >= 0 && tabs_[static_cast<size_t>(Q)].hasRow) {
        rc = element(child, *ni, Q);
        if (rc >= 0) rc = fetchNext(Q, "sql_stmt");
      }
      closeTab(Q);
    } else {
      rc = element(child, *ni, T);
    }
    if (rc >= 0) rc = doc_.flushIfFull(sqlstate_, msg_);
  }
  for (int t : opened) closeTab(t);
  if (rc < 0) {
    if (T >= 0) closeTab(T);
    --depth_;
    return rc;
  }
  writeXMLEndTag(&tag_, lastWasElement ? 2 * (depth_ - 1) : 0, self.name.c_str(), lastWasElement, open);
  doc_.append(tag_);
  --depth_;
  return 0;
}

// kelGenOneDoc: the document of the top table's current row (or of no table).
int Composer::oneDocument(const DOMElement *root, const NodeInfo &rootInfo, int top) {
  int rc = doc_.start(sqlstate_, msg_);
  if (rc < 0) return rc;
  doc_.appendHeader(docHeader_);
  rc = element(root, rootInfo, top);
  // No table but the top one keeps a row from one document to the next.
  for (size_t t = 0; t < tabs_.size(); ++t)
    if (static_cast<int>(t) != top) closeTab(static_cast<int>(t));
  if (rc < 0) return rc;
  rc = kelDeliverDoc(ctx_, out_, &doc_, sqlstate_, msg_);
  doc_.release();
  return rc;
}

// kelProcRootElement: one document per row of the top table.
int Composer::run(DOMElement *root) {
  depth_ = 0;
  const NodeInfo *rootInfo = nullptr;
  int rc = info(root, kElement, nullptr, std::u16string(), &rootInfo);
  if (rc < 0) return rc;
  if (rootInfo->trivial) {
    // A wrapper root: exactly one document, its children find their own tables.
    if (out_->full()) return kelFail(ctx_, msg_, sqlstate_, KELQ003W);
    rc = out_->countOnly() ? 0 : oneDocument(root, *rootInfo, -1);
    if (rc < 0) return rc;
    ++out_->count;
    return 0;
  }
  int top = -1;
  for (size_t t = 0; t < rel_.tab.size() && top < 0; ++t)
    if (rel_.tab[t].topElement == rootInfo->name && rel_.tab[t].topElementAncestorPath.empty())
      top = static_cast<int>(t);
  if (top < 0 && kelFindTabForIntermediate(ctx_, root, rootInfo->name.c_str(), rel_, &top, nullptr, nullptr) < 0) {
    KEL_TRACE(ctx_, "rel is wrong. %s is not in table.top_element.\n", rootInfo->name.c_str());
    return KEL_INTERNAL_ERROR(ctx_, msg_, sqlstate_);
  }
  rel_.tab[static_cast<size_t>(top)].level = 0;
  rc = build(top);
  if (rc < 0) return rc;
  rc = execute(top);
  if (rc < 0) return rc;
  Tab &S = tabs_[static_cast<size_t>(top)];
  int result = 0;
  for (;;) {
    rc = S.cols.fetch(ctx_, "top_sql_stmt", kUnit, sqlstate_, msg_);
    if (rc == SQL_NO_DATA) break;
    if (rc < 0) {
      KEL_TRACE(ctx_, "Cannot fetch data from top_sql_stmt '%s', i=%lld.\n",
                rel_.tab[static_cast<size_t>(top)].stmt.c_str(), static_cast<long long>(out_->count));
      return rc;
    }
    // Only a row that would make one more document exceeds maxRows.
    if (out_->full()) {
      result = kelFail(ctx_, msg_, sqlstate_, KELQ003W);
      break;
    }
    S.hasRow = true;
    if (!out_->countOnly()) {
      rc = oneDocument(root, *rootInfo, top);
      if (rc < 0) return rc;
    }
    ++out_->count;
  }
  closeTab(top);
  return result;
}

}  // namespace

int kelInitOverride(KelCallContext *ctx, int overrideType, const std::string &overrideText, KelOverrideList *out,
                    char *sqlstate, char *msg) {
  out->clear();
  if (overrideType == KEL_NO_OVERRIDE) return 0;
  if (overrideType != KEL_XML_OVERRIDE) {
    KEL_TRACE(ctx, "override type %d has no place in RDB_node mapping\n", overrideType);
    return kelFail(ctx, msg, sqlstate, KELQ030E);
  }
  std::u16string text;
  if (!kelDadFromDb(ctx, overrideText, &text)) return kelFail(ctx, msg, sqlstate, KELQ030E);
  size_t i = 0;
  auto skipSpace = [&]() {
    while (i < text.size() && isSpace(text[i])) ++i;
  };
  skipSpace();
  if (i == text.size()) {
    KEL_TRACE(ctx, "empty XML override\n");
    return kelFail(ctx, msg, sqlstate, KELQ030E);
  }
  while (i < text.size()) {
    if (out->size() == KEL_MAX_OVERRIDES) {
      KEL_TRACE(ctx, "more than %d override conditions\n", static_cast<int>(KEL_MAX_OVERRIDES));
      return kelFail(ctx, msg, sqlstate, KELQ030E);
    }
    size_t end = i;
    while (end < text.size() && !isSpace(text[end]) && text[end] != u'<' && text[end] != u'=' && text[end] != u'>')
      ++end;
    std::u16string path = text.substr(i, end - i);
    if (!isPlainPath(path)) {
      std::string shown;
      kelDadToDb(ctx, path, &shown);
      KEL_TRACE(ctx, "override path '%s' is no plain location path\n", shown.c_str());
      return kelFail(ctx, msg, sqlstate, KELQ030E);
    }
    KelOverride o;
    try {
      o.path = std::make_unique<KelQuery>(ctx, path.c_str());
    } catch (const std::bad_alloc &) {
      return kelFail(ctx, msg, sqlstate, KELG002E);
    }
    if (o.path->errorPosition() != 0) {
      std::string shown;
      kelDadToDb(ctx, path, &shown);
      KEL_TRACE(ctx, "override path '%s' does not compile\n", shown.c_str());
      return kelFail(ctx, msg, sqlstate, KELQ030E);
    }
    i = end;
    skipSpace();
    size_t cut = nextAnd(text, i);
    std::u16string comparison = text.substr(i, cut == std::u16string::npos ? std::u16string::npos : cut - i);
    while (!comparison.empty() && isSpace(comparison.back())) comparison.pop_back();
    if (comparison.empty() || operatorAlone(comparison)) {
      KEL_TRACE(ctx, "override condition without a comparison\n");
      return kelFail(ctx, msg, sqlstate, KELQ030E);
    }
    if (!namesNoCondition(comparison) && !kelDadToDb(ctx, comparison, &o.comparison))
      return kelFail(ctx, msg, sqlstate, KELQ030E);
    out->push_back(std::move(o));
    if (cut == std::u16string::npos) break;
    i = cut + 3;
    skipSpace();
    if (i == text.size()) {
      KEL_TRACE(ctx, "override ends with AND\n");
      return kelFail(ctx, msg, sqlstate, KELQ030E);
    }
  }
  return 0;
}

int kelGenXMLFromRDB(KelCallContext *ctx, SQLHDBC dbc, KelDad *dad, int overrideType, const std::string &overrideText,
                     const std::string &docHeader, KelComposeOutput *out, char *sqlstate, char *msg) {
  KelOverrideList overrides;
  int rc = kelInitOverride(ctx, overrideType, overrideText, &overrides, sqlstate, msg);
  if (rc < 0) return rc;
  KEL_REL rel;
  rc = kelDadRelation(ctx, dad, KEL_MODE_COMPOSE, &overrides, &rel, sqlstate, msg);
  if (rc < 0) return rc;
  printrelinfo(ctx, rel);
  DOMElement *root = dad->header().rootElement;
  if (root == nullptr) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  Composer composer(ctx, dbc, rel, docHeader, out, sqlstate, msg);
  rc = composer.run(root);
  if (rc < 0) return rc;
  const bool unused = std::any_of(overrides.begin(), overrides.end(), [](const KelOverride &o) { return !o.used; });
  if (unused && rc == 0) return kelFail(ctx, msg, sqlstate, KELQ041W);
  return rc;
}
