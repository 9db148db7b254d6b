/*
 * kelscomp.cpp - SQL-mapping composition (see kelscomp.h).
 *
 * The DAD's element tree is compiled once per call into a plan: each element with the level
 * it is written at, whether it is a key element (its start tag waits for its first value),
 * the query column of each attribute and text, and for each child element whether it is
 * written on the same row or once per object of a deeper level.  Mapping errors are therefore
 * found before the first document.  The documents are then written from the plan: one per
 * distinct level-0 key of the top query, child queries prepared once per pair of levels and
 * re-executed per parent object.
 */
#include "kelscomp.h"

#include <algorithm>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kelcodepage.h"
#include "kelctx.h"
#include "keldom.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "kelrel.h"
#include "kelsql.h"
#include "keltrace.h"

using xercesc::DOMElement;
using xercesc::DOMNode;

namespace {

constexpr const char kUnit[] = "kelscomp";

// A character or graphic string type that is no large object: its values compare blank-padded.
bool comparesPadded(SQLSMALLINT type) {
  return type != SQL_CLOB && type != SQL_DBCLOB && (kelIsCharacterSqlType(type) || kelIsGraphicSqlType(type));
}

// The message of a statement the engine refused: KELQ001E and the interface's text after it.
int invalidStatement(KelCallContext *ctx, SQLHSTMT stmt, const std::string &sql, char *sqlstate, char *msg) {
  std::string cli = kelCliDiagnostics(SQL_HANDLE_STMT, stmt).text;
  KEL_TRACE(ctx, "SQLPrepare(%s) failed: %s\n", sql.c_str(), cli.c_str());
  int rc = kelFail(ctx, msg, sqlstate, KELQ001E);
  if (msg != nullptr && !cli.empty()) {
    std::string text = std::string(msg) + cli;
    if (text.empty() || text.back() != '\n') text += '\n';
    kelCopyText(text.substr(0, KEL_MSG_BUFFER).c_str(), msg, KEL_MSG_BUFFER + 1);
  }
  return rc;
}

std::u16string attrText(const DOMElement *e, const XMLCh *name) {
  const XMLCh *v = kelDadAttr(e, name);
  return v != nullptr ? std::u16string(v) : std::u16string();
}

std::string narrowName(KelCallContext *ctx, const DOMElement *e) {
  std::string out;
  kelDadToDb(ctx, attrText(e, u"name"), &out);
  return out;
}

// The first column element in the subtree of e, in document order (e itself excluded).
const DOMElement *firstColumnIn(const DOMElement *e) {
  for (const DOMNode *n = e->getFirstChild(); n != nullptr; n = n->getNextSibling()) {
    if (n->getNodeType() != DOMNode::ELEMENT_NODE) continue;
    auto *child = static_cast<const DOMElement *>(n);
    if (kelDadIsElement(child, u"column")) return child;
    if (const DOMElement *found = firstColumnIn(child)) return found;
  }
  return nullptr;
}

bool hasChild(const DOMElement *e, const XMLCh *name) { return kelDadFirstChild(e, name) != nullptr; }

// Appends a quoted column name; false for a name the code page cannot represent.
bool appendQuoted(KelCallContext *ctx, std::string *out, const std::string &name) {
  return kelAppendQuoted(ctx, out, name);
}

// Appends the ORDER BY items of the key of level, ordered as the statement orders it, so that
// documents and children come in the statement's order.  The database's ORDER BY takes no
// NULLS clause (nulls sort as the highest value), so NULLS FIRST or LAST becomes an item of its
// own before the key: CASE WHEN "k" IS NULL THEN 0 ELSE 1 END, "k" DESC.  False as
// appendQuoted.
bool appendOrderKey(KelCallContext *ctx, std::string *out, const KelLevelMap &lm, int level) {
  std::string key;
  if (!appendQuoted(ctx, &key, lm.objids[static_cast<size_t>(level)])) return false;
  const KelKeyOrder &order = lm.orders[static_cast<size_t>(level)];
  if (order.nulls != KelKeyOrder::kAsDirection)
    *out += "CASE WHEN " + key + (order.nulls == KelKeyOrder::kFirst ? " IS NULL THEN 0 ELSE 1 END, "
                                                                     : " IS NULL THEN 1 ELSE 0 END, ");
  *out += key;
  if (order.desc) *out += " DESC";
  return true;
}

int tooLong(KelCallContext *ctx, const char *what, char *sqlstate, char *msg) {
  std::string text = std::string(what) + " > MAX_STMT_LEN";
  return kelFail(ctx, msg, sqlstate, KELQ038E, text.c_str());
}

// ---- The plan --------------------------------------------------------------------------------

struct Plan;

struct Item {
  bool text = false;
  int column = -1;          // text: its column in the query of the element's level
  const Plan *element = nullptr;
  bool childQuery = false;  // element: written once per object of its own, deeper level
};

struct Plan {
  std::string name;
  int level = 0;
  bool key = false;  // the start tag waits for the first value
  std::vector<std::pair<std::string, int>> attributes;  // name and query column
  std::vector<Item> items;
};

class Compiler {
 public:
  Compiler(KelCallContext *ctx, const KelLevelMap &lm, char *sqlstate, char *msg)
      : ctx_(ctx), lm_(lm), sqlstate_(sqlstate), msg_(msg) {}

  // The plan of e written at level; null with the failure in rc.
  const Plan *compile(const DOMElement *e, int level, int *rc) {
    auto plan = std::make_unique<Plan>();
    Plan *p = plan.get();
    plans_.push_back(std::move(plan));
    p->level = level;
    p->name = narrowName(ctx_, e);
    if (p->name.empty()) return fail(rc, kelFail(ctx_, msg_, sqlstate_, KELQ014E));
    int key = isKeyNode(e, rc);
    if (key < 0) return nullptr;
    p->key = key == 1;
    for (const DOMNode *n = e->getFirstChild(); n != nullptr; n = n->getNextSibling()) {
      if (n->getNodeType() != DOMNode::ELEMENT_NODE) continue;
      auto *child = static_cast<const DOMElement *>(n);
      if (kelDadIsElement(child, u"attribute_node")) {
        std::string attr = narrowName(ctx_, child);
        if (attr.empty()) return fail(rc, kelFail(ctx_, msg_, sqlstate_, KELQ006E));
        // Two attributes of one name would make no XML.
        for (const auto &[name, col] : p->attributes)
          if (name == attr) return fail(rc, kelFail(ctx_, msg_, sqlstate_, KELQ045E, p->name.c_str(), attr.c_str()));
        if (!hasChild(child, u"column")) return fail(rc, kelFail(ctx_, msg_, sqlstate_, KELQ007E, attr.c_str()));
        int col = queryColumn(child, attr, level, rc);
        if (col < 0) return nullptr;
        p->attributes.emplace_back(attr, col);
      } else if (kelDadIsElement(child, u"text_node")) {
        if (!hasChild(child, u"column")) return fail(rc, kelFail(ctx_, msg_, sqlstate_, KELQ008E));
        Item item;
        item.text = true;
        item.column = queryColumn(child, p->name, level, rc);
        if (item.column < 0) return nullptr;
        p->items.push_back(item);
      } else if (kelDadIsElement(child, u"element_node")) {
        std::string column;
        int childLevel = levelOf(child, level, &column, rc);
        if (childLevel < 0) return nullptr;
        if (childLevel < level) {
          std::string childName = narrowName(ctx_, child);
          return fail(rc, kelFail(ctx_, msg_, sqlstate_, KELQ005E, childName.c_str(), column.c_str()));
        }
        Item item;
        item.element = compile(child, childLevel, rc);
        if (item.element == nullptr) return nullptr;
        item.childQuery = childLevel > level;
        p->items.push_back(item);
      }
    }
    return p;
  }

  // The columns of the query that level's elements read: the top query's for level 0, else
  // the keys of the levels above and the level's own columns.
  static std::vector<std::string> layout(const KelLevelMap &lm, int level) {
    std::vector<std::string> cols;
    if (level > 0) cols.assign(lm.objids.begin(), lm.objids.begin() + level);
    const std::vector<std::string> &own = lm.levels[static_cast<size_t>(level)];
    cols.insert(cols.end(), own.begin(), own.end());
    return cols;
  }

 private:
  const Plan *fail(int *rc, int code) {
    *rc = code;
    return nullptr;
  }

  // The column that the column element under node names: 0 and *column, or the failure.
  int columnName(const DOMElement *holder, const std::string &nameForMsg, std::string *column) {
    return kelGetColFromRDB(ctx_, nameForMsg.c_str(), const_cast<DOMElement *>(holder), column, sqlstate_, msg_);
  }

  // The position in the query of level of the column that node maps; -1 with the failure.
  int queryColumn(const DOMElement *node, const std::string &nameForMsg, int level, int *rc) {
    std::string column;
    *rc = columnName(node, nameForMsg, &column);
    if (*rc < 0) return -1;
    const std::vector<std::string> cols = layout(lm_, level);
    auto it = std::find(cols.begin(), cols.end(), column);
    if (it == cols.end()) {
      // KELQ004E for a column of the select list too when another level's query reads it: the
      // element's own query (level) does not have it.  The trace says which level reads it.
      const int readAt = kelLmGetLevel(lm_, column);
      if (readAt < 0)
        KEL_TRACE(ctx_, "column %s of %s is not in the select list\n", column.c_str(), nameForMsg.c_str());
      else
        KEL_TRACE(ctx_, "column %s of %s is read at level %d, not at level %d where it is written\n", column.c_str(),
                  nameForMsg.c_str(), readAt, level);
      *rc = kelFail(ctx_, msg_, sqlstate_, KELQ004E, column.c_str());
      return -1;
    }
    return static_cast<int>(it - cols.begin());
  }

  // 1 when e is a key element: not intermediate, and the first column of its subtree is the
  // key of that column's level.  0 otherwise; negative on failure.
  int isKeyNode(const DOMElement *e, int *rc) {
    if (kelIsNodeIntermediate(e)) return 0;
    const DOMElement *col = firstColumnIn(e);
    if (col == nullptr) {
      if (const DOMElement *a = kelDadFirstChild(e, u"attribute_node")) {
        std::string name = narrowName(ctx_, a);
        return *rc = kelFail(ctx_, msg_, sqlstate_, KELQ007E, name.c_str());
      }
      return *rc = kelFail(ctx_, msg_, sqlstate_, KELQ008E);
    }
    std::string column;
    *rc = columnName(static_cast<const DOMElement *>(col->getParentNode()), narrowName(ctx_, e), &column);
    if (*rc < 0) return *rc;
    int level = kelLmGetLevel(lm_, column);
    if (level < 0) return *rc = kelFail(ctx_, msg_, sqlstate_, KELQ004E, column.c_str());
    return lm_.objids[static_cast<size_t>(level)] == column ? 1 : 0;
  }

  // The level a child element is written at, seen from an element at level: that of the first
  // column of its subtree; an intermediate element without multi_occurrence YES, or one
  // without any column, stays at level.
  int levelOf(const DOMElement *child, int level, std::string *column, int *rc) {
    // A multi_occurrence value that is neither YES nor NO is a DAD error wherever it stands.
    int multi = kelGetMultiOccurrence(ctx_, child);
    if (multi < 0) {
      std::string name = narrowName(ctx_, child);
      return *rc = kelFail(ctx_, msg_, sqlstate_, KELQ063E, name.empty() ? "unknown" : name.c_str());
    }
    if (kelIsNodeIntermediate(child) && multi == 0) return level;
    const DOMElement *col = firstColumnIn(child);
    if (col == nullptr) return level;
    *rc = columnName(static_cast<const DOMElement *>(col->getParentNode()), narrowName(ctx_, child), column);
    if (*rc < 0) return *rc;
    int found = kelLmGetLevel(lm_, *column);
    if (found < 0) return *rc = kelFail(ctx_, msg_, sqlstate_, KELQ004E, column->c_str());
    return found;
  }

  KelCallContext *ctx_;
  const KelLevelMap &lm_;
  char *sqlstate_;
  char *msg_;
  std::vector<std::unique_ptr<Plan>> plans_;
};

// ---- Writing documents -----------------------------------------------------------------------

class Writer {
 public:
  Writer(KelCallContext *ctx, SQLHDBC dbc, const KelLevelMap &lm, const std::string &select, char *sqlstate,
         char *msg)
      : ctx_(ctx), dbc_(dbc), lm_(lm), select_(select), doc_(ctx), sqlstate_(sqlstate), msg_(msg) {}

  KelDocWriter &doc() { return doc_; }

  // True when write() would leave p out whole on the current row of cur: p is a key element
  // and the first value it would write (its first attribute, else its text) is null.
  static bool leftOut(const Plan &p, const KelQueryColumns &cur) {
    if (!p.key) return false;
    if (!p.attributes.empty()) return cur.isNull(p.attributes.front().second);
    return !p.items.empty() && p.items.front().text && cur.isNull(p.items.front().column);
  }

  // Writes element plan p from the current row of cur, indented by indent blanks.
  int write(const Plan &p, KelQueryColumns &cur, int indent) {
    bool deferred = p.key;
    if (!deferred) startTag(p, indent);
    for (const auto &[name, col] : p.attributes) {
      if (cur.isNull(col)) {
        if (deferred) return 0;  // a key element without its key is left out whole
        continue;
      }
      if (deferred) {
        startTag(p, indent);
        deferred = false;
      }
      doc_.append(' ');
      doc_.append(name);
      doc_.append("=\"", 2);
      int rc = kelAppendColumnValue(ctx_, &doc_, &cur, col, true, sqlstate_, msg_);
      if (rc < 0) return rc;
      doc_.append('"');
    }
    if (!p.attributes.empty() || !p.key) doc_.append('>');
    bool hadElement = false;
    for (const Item &item : p.items) {
      if (item.text) {
        if (cur.isNull(item.column)) {
          if (deferred) return 0;
          continue;
        }
        if (deferred) {
          startTag(p, indent);
          doc_.append('>');
          deferred = false;
        }
        int rc = kelAppendColumnValue(ctx_, &doc_, &cur, item.column, false, sqlstate_, msg_);
        if (rc < 0) return rc;
        continue;
      }
      if (deferred) {
        startTag(p, indent);
        doc_.append('>');
        deferred = false;
      }
      int rc = item.childQuery ? writeChildren(p.level, *item.element, cur, indent + 2)
                               : write(*item.element, cur, indent + 2);
      if (rc < 0) return rc;
      hadElement = true;
    }
    if (deferred) {
      startTag(p, indent);
      doc_.append('>');
    }
    writeXMLEndTag(&tag_, hadElement ? indent : 0, p.name.c_str(), hadElement, false);
    doc_.append(tag_);
    return doc_.flushIfFull(sqlstate_, msg_);
  }

  /*
   * Fetches rows of cur until the key in column keyCol differs from *last; the new key becomes
   * *last.  0, SQL_NO_DATA or the failure.  Keys are told apart as the child queries' filters
   * tell them: a null key is a key of its own (not the empty string), and a character key
   * without its trailing blanks ("a" and "a " are one key to "k" = ?).
   */
  int nextObject(KelQueryColumns &cur, int keyCol, std::optional<std::string> *last, const char *what) {
    for (;;) {
      int rc = cur.fetch(ctx_, what, kUnit, sqlstate_, msg_);
      if (rc != SQL_SUCCESS) return rc;
      std::string key;
      if (cur.isNull(keyCol)) {
        key = "N";
      } else {
        key = "V" + std::string(cur.text(keyCol), cur.length(keyCol));
        if (comparesPadded(cur.column(keyCol).sqlType)) key.erase(key.find_last_not_of(' ') + 1);
      }
      if (!last->has_value() || **last != key) {
        *last = std::move(key);
        return 0;
      }
    }
  }

 private:
  struct ChildQuery {
    KelStmtHandle stmt;
    KelQueryColumns cols;
  };

  void startTag(const Plan &p, int indent) {
    writeXMLStartTag(&tag_, indent, p.name.c_str(), true);
    doc_.append(tag_);
  }

  // The child query of level from level parent, prepared on first use.
  int childQuery(int parent, int level, ChildQuery **out) {
    std::unique_ptr<ChildQuery> &slot = children_[{parent, level}];
    if (slot) {
      *out = slot.get();
      return 0;
    }
    // SELECT "k0", .., "k<level-1>", <columns of level> FROM (SELECT * FROM (<select>)
    // kel_tab_exp WHERE "k0" IS NOT DISTINCT FROM ? AND .. ) kel_tab_exp ORDER BY "k<level>"
    // (with the key's ordering):
    // a parent whose key is null finds its children (with "=" they were lost), and the filter
    // stays one an index serves (an OR of "=" and IS NULL made every child query read the whole
    // select, so composition grew with the square of the documents).
    std::string inner = "SELECT * FROM (" + select_ + ") kel_tab_exp WHERE ";
    bool ok = true;
    for (int l = 0; l <= parent; ++l) {
      if (l > 0) inner += " AND ";
      std::string key;
      ok = ok && appendQuoted(ctx_, &key, lm_.objids[static_cast<size_t>(l)]);
      inner += key + " IS NOT DISTINCT FROM ?";
    }
    std::string sql = "SELECT ";
    const std::vector<std::string> cols = Compiler::layout(lm_, level);
    for (size_t i = 0; i < cols.size(); ++i) {
      if (i > 0) sql += ", ";
      ok = ok && appendQuoted(ctx_, &sql, cols[i]);
    }
    sql += " FROM (" + inner + ") kel_tab_exp ORDER BY ";
    ok = ok && appendOrderKey(ctx_, &sql, lm_, level);
    if (!ok) return KEL_INTERNAL_ERROR(ctx_, msg_, sqlstate_);
    if (sql.size() > KEL_MAX_STMT_LEN) return tooLong(ctx_, "childquery", sqlstate_, msg_);
    KEL_TRACE(ctx_, "child query of level %d under level %d: %s\n", level, parent, sql.c_str());
    auto q = std::make_unique<ChildQuery>();
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &q->stmt.h);
    if (!SQL_SUCCEEDED(rc)) return KEL_CLI_ERROR(ctx_, msg_, sqlstate_, SQL_HANDLE_DBC, dbc_, rc, "SQLAllocHandle");
    rc = SQLPrepare(q->stmt.h, reinterpret_cast<SQLCHAR *>(sql.data()), SQL_NTS);
    if (!SQL_SUCCEEDED(rc)) {
      KEL_TRACE(ctx_, "SQLPrepare(%s) failed: %s\n", sql.c_str(), kelCliDiagnostics(SQL_HANDLE_STMT, q->stmt.h).text.c_str());
      return KEL_CLI_ERROR(ctx_, msg_, sqlstate_, SQL_HANDLE_STMT, q->stmt.h, rc, "childquery");
    }
    int bound = q->cols.bind(ctx_, q->stmt.h, kUnit, sqlstate_, msg_);
    if (bound < 0) return bound;
    slot = std::move(q);
    *out = slot.get();
    return 0;
  }

  // Writes p once per object of its level under the current object of cur (level parent).
  int writeChildren(int parent, const Plan &p, KelQueryColumns &cur, int indent) {
    ChildQuery *q = nullptr;
    int rc = childQuery(parent, p.level, &q);
    if (rc < 0) return rc;
    // Every key the current query carries filters the child rows: keys 0..parent stand at
    // positions 0..parent of any query of level parent.
    const bool dbChar = ctx_ != nullptr && ctx_->codePages != nullptr &&
                        !kelIsSpecialMbcsCodePage(ctx_->codePages->dbCodePage) &&
                        !kelIsUtf8CodePage(ctx_->codePages->dbCodePage);
    for (int l = 0; l <= parent; ++l) {
      KelBoundColumn &key = cur.column(l);
      const bool graphic = kelIsGraphicSqlType(key.sqlType);
      SQLRETURN cli = SQLBindParameter(q->stmt.h, static_cast<SQLUSMALLINT>(l + 1), SQL_PARAM_INPUT,
                                       graphic && dbChar ? SQL_C_DBCHAR : SQL_C_CHAR, key.sqlType, key.size, 0,
                                       key.value.data(), static_cast<SQLLEN>(key.value.size()), &key.indicator);
      if (!SQL_SUCCEEDED(cli)) return KEL_CLI_ERROR(ctx_, msg_, sqlstate_, SQL_HANDLE_STMT, q->stmt.h, cli, "SQLBindParameter");
    }
    SQLRETURN cli = SQLExecute(q->stmt.h);
    if (!SQL_SUCCEEDED(cli)) return KEL_CLI_ERROR(ctx_, msg_, sqlstate_, SQL_HANDLE_STMT, q->stmt.h, cli, "childquery failed");
    std::optional<std::string> last;
    for (;;) {
      rc = nextObject(q->cols, p.level, &last, "childquery");
      if (rc == SQL_NO_DATA) break;
      if (rc < 0) {
        KEL_TRACE(ctx_, "Abnormal termination from SQLFetch(childhstmt). rc=%d\n", rc);
        q->cols.close(ctx_);
        return rc;
      }
      rc = write(p, q->cols, indent);
      if (rc < 0) {
        q->cols.close(ctx_);
        return rc;
      }
    }
    q->cols.close(ctx_);
    return 0;
  }

  KelCallContext *ctx_;
  SQLHDBC dbc_;
  const KelLevelMap &lm_;
  const std::string &select_;
  KelDocWriter doc_;
  char *sqlstate_;
  char *msg_;
  std::string tag_;
  std::map<std::pair<int, int>, std::unique_ptr<ChildQuery>> children_;
};

// The text of an ORDER BY item from start to end (inclusive), for messages.
std::string itemText(KelCallContext *ctx, const UChar *start, const UChar *end) {
  std::string out;
  if (start != nullptr && end >= start) kelDadToDb(ctx, start, static_cast<size_t>(end - start + 1), &out);
  return out;
}

bool isWord(const KelSqlToken &t, const char *word) {
  return t.tokenClass == KEL_TOK_ORDINARY_ID && std::string(t.text) == word;
}

bool isLob(SQLSMALLINT type) { return type == SQL_CLOB || type == SQL_DBCLOB || type == SQL_BLOB; }

}  // namespace

int kelSplitSqlStmt(KelCallContext *ctx, const std::u16string &sql, std::string *select, std::string *keys,
                    char *sqlstate, char *msg) {
  const UChar *text = sql.c_str();
  const UChar *p = text;
  int depth = 0;
  const UChar *orderAt = nullptr, *keysAt = nullptr, *pendingOrder = nullptr;
  KelSqlToken t;
  for (;;) {
    kelGetSqlToken(ctx, &p, &t);
    if (t.tokenClass == KEL_TOK_END || t.tokenClass == KEL_TOK_UNTERMINATED) break;
    if (const UChar *quote = kelQuoteInWord(&t)) {
      // LIKE'x': the database starts a literal at the quote, and so does this reading.
      p = quote;
      pendingOrder = nullptr;
      continue;
    }
    if (t.tokenClass == KEL_TOK_DELIMITER && *t.start == u'(') ++depth;
    if (t.tokenClass == KEL_TOK_DELIMITER && *t.start == u')' && depth > 0) --depth;
    if (depth == 0 && pendingOrder != nullptr && isWord(t, "BY")) {
      orderAt = pendingOrder;
      keysAt = t.end + 1;
    }
    pendingOrder = depth == 0 && isWord(t, "ORDER") ? t.start : nullptr;
  }
  if (orderAt == nullptr) {
    KEL_TRACE(ctx, "no ORDER BY outside quotes and parentheses\n");
    return kelFail(ctx, msg, sqlstate, KELQ018E);
  }
  std::u16string head(text, static_cast<size_t>(orderAt - text));
  std::u16string tail(keysAt);
  while (!head.empty() && (head.back() == u' ' || head.back() == u'\t' || head.back() == u'\n' || head.back() == u'\r'))
    head.pop_back();
  if (!kelDadToDb(ctx, head, select) || !kelDadToDb(ctx, tail, keys)) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  return 0;
}

int kelLmAcquire(KelCallContext *ctx, SQLHDBC dbc, const std::string &select, const std::string &keys,
                 KelLevelMap *lm, char *sqlstate, char *msg) {
  kelLmRelease(lm);
  // The keys: name [ASC|DESC] [NULLS FIRST|LAST], separated by commas.
  std::u16string wideKeys;
  if (!kelDadFromDb(ctx, keys, &wideKeys)) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  const UChar *p = wideKeys.c_str();
  KelSqlToken t;
  kelGetSqlToken(ctx, &p, &t);
  if (t.tokenClass == KEL_TOK_END) {
    KEL_TRACE(ctx, "ORDER BY names no column\n");
    return kelFail(ctx, msg, sqlstate, KELQ018E);
  }
  for (;;) {
    const UChar *itemStart = t.start;
    char parts[3][KEL_SQL_PART_SIZE];
    int nParts = 0;
    const UChar *before = p;
    int rc = kelParseSqlQualifiedId(ctx, &p, &t, 3, &nParts, parts);
    if (rc < 0) {
      // Not a column name (a number, an expression): no level can be made of it.
      const UChar *end = itemStart;
      while (*end != 0 && *end != u',') ++end;
      std::string item = itemText(ctx, itemStart, end - 1);
      (void)before;
      return kelFail(ctx, msg, sqlstate, KELQ004E, item.c_str());
    }
    lm->objids.emplace_back(parts[nParts - 1]);
    // The key's direction and nulls ordering: the top and child queries order by it so.
    KelKeyOrder &order = lm->orders.emplace_back();
    if (isWord(t, "ASC") || isWord(t, "DESC")) {
      order.desc = isWord(t, "DESC");
      kelGetSqlToken(ctx, &p, &t);
    }
    if (isWord(t, "NULLS")) {
      kelGetSqlToken(ctx, &p, &t);
      if (!isWord(t, "FIRST") && !isWord(t, "LAST")) break;
      order.nulls = isWord(t, "FIRST") ? KelKeyOrder::kFirst : KelKeyOrder::kLast;
      kelGetSqlToken(ctx, &p, &t);
    }
    if (t.tokenClass == KEL_TOK_DELIMITER && *t.start == u',') {
      kelGetSqlToken(ctx, &p, &t);
      continue;
    }
    break;
  }
  if (t.tokenClass != KEL_TOK_END) {
    std::string rest = itemText(ctx, t.start, wideKeys.c_str() + wideKeys.size() - 1);
    KEL_TRACE(ctx, "text after the last ORDER BY key: %s\n", rest.c_str());
    return kelFail(ctx, msg, sqlstate, KELQ001E);
  }

  KelStmtHandle stmt;
  SQLRETURN cli = SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt.h);
  if (!SQL_SUCCEEDED(cli)) return KEL_CLI_ERROR(ctx, msg, sqlstate, SQL_HANDLE_DBC, dbc, cli, "SQLAllocHandle");
  std::string text = select;
  cli = SQLPrepare(stmt.h, reinterpret_cast<SQLCHAR *>(text.data()), SQL_NTS);
  if (!SQL_SUCCEEDED(cli)) return invalidStatement(ctx, stmt.h, select, sqlstate, msg);
  SQLSMALLINT n = 0;
  cli = SQLNumResultCols(stmt.h, &n);
  if (!SQL_SUCCEEDED(cli)) return KEL_CLI_ERROR(ctx, msg, sqlstate, SQL_HANDLE_STMT, stmt.h, cli, "SQLNumResultCols");
  std::vector<std::string> names;
  std::vector<SQLSMALLINT> types;
  for (SQLSMALLINT i = 1; i <= n; ++i) {
    SQLCHAR name[KEL_MAX_COLUMN_NAME + 1] = "";
    SQLSMALLINT len = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    cli = SQLDescribeCol(stmt.h, static_cast<SQLUSMALLINT>(i), name, sizeof name, &len, &type, &size, &digits, &nullable);
    if (!SQL_SUCCEEDED(cli)) return KEL_CLI_ERROR(ctx, msg, sqlstate, SQL_HANDLE_STMT, stmt.h, cli, "SQLDescribeCol");
    names.emplace_back(reinterpret_cast<char *>(name));
    types.push_back(type);
  }
  for (const std::string &key : lm->objids) {
    auto it = std::find(names.begin(), names.end(), key);
    if (it == names.end()) return kelFail(ctx, msg, sqlstate, KELQ004E, key.c_str());
    if (isLob(types[static_cast<size_t>(it - names.begin())])) {
      KEL_TRACE(ctx, "key %s is a large object\n", key.c_str());
      return kelFail(ctx, msg, sqlstate, KELQ001E);
    }
  }

  // Levels: each key after the first opens the next level where the select list names it.
  const size_t k = lm->objids.size();
  lm->levels.assign(k, {});
  size_t level = 0;
  for (const std::string &name : names) {
    if (level + 1 < k && name == lm->objids[level + 1]) ++level;
    lm->byName.emplace_back(name, static_cast<int>(level));
    std::vector<std::string> &cols = lm->levels[level];
    if (name == lm->objids[level] && std::find(cols.begin(), cols.end(), name) == cols.end())
      cols.insert(cols.begin(), name);  // the level's key leads its list
    else
      cols.push_back(name);
  }
  std::stable_sort(lm->byName.begin(), lm->byName.end(),
                   [](const auto &a, const auto &b) { return a.first < b.first; });
  for (size_t l = 0; l < k; ++l) {
    if (kelLmGetLevel(*lm, lm->objids[l]) != static_cast<int>(l)) {
      KEL_TRACE(ctx, "the select list does not name ORDER BY key %s on level %d\n", lm->objids[l].c_str(),
                static_cast<int>(l));
      return kelFail(ctx, msg, sqlstate, KELQ001E);
    }
  }
  for (size_t l = 0; l < k; ++l) {
    std::string line;
    for (const std::string &c : lm->levels[l]) line += " " + c;
    KEL_TRACE(ctx, "level %d:%s\n", static_cast<int>(l), line.c_str());
  }
  return 0;
}

int kelLmGetLevel(const KelLevelMap &lm, const std::string &column) {
  auto it = std::lower_bound(lm.byName.begin(), lm.byName.end(), column,
                             [](const auto &entry, const std::string &name) { return entry.first < name; });
  return it != lm.byName.end() && it->first == column ? it->second : -1;
}

int KelEqvClass(KelCallContext *ctx, const KelLevelMap &lm, int level, const std::vector<std::string> **columns,
                char *sqlstate, char *msg) {
  if (level < 0 || static_cast<size_t>(level) >= lm.levels.size()) {
    KEL_TRACE(ctx, "kelLmGetColumns returned error for Level %d.\n", level);
    return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  }
  *columns = &lm.levels[static_cast<size_t>(level)];
  return 0;
}

void kelLmRelease(KelLevelMap *lm) {
  lm->byName.clear();
  lm->objids.clear();
  lm->orders.clear();
  lm->levels.clear();
}

int kelComposeBySql(KelCallContext *ctx, SQLHDBC dbc, const std::u16string &sql, const std::string &docHeader,
                    DOMElement *rootElement, KelComposeOutput *out, char *sqlstate, char *msg) {
  std::string select, keys;
  int rc = kelSplitSqlStmt(ctx, sql, &select, &keys, sqlstate, msg);
  if (rc < 0) return rc;
  KelLevelMap lm;
  rc = kelLmAcquire(ctx, dbc, select, keys, &lm, sqlstate, msg);
  if (rc < 0) return rc;
  const std::vector<std::string> *top = nullptr;
  rc = KelEqvClass(ctx, lm, 0, &top, sqlstate, msg);
  if (rc < 0) return rc;

  Compiler compiler(ctx, lm, sqlstate, msg);
  const Plan *root = compiler.compile(rootElement, 0, &rc);
  if (root == nullptr) return rc;

  // SELECT <level-0 columns> FROM (<select>) kel_tab_exp ORDER BY "<key 0>" <its ordering>
  std::string topQuery = "SELECT ";
  bool ok = true;
  for (size_t i = 0; i < top->size(); ++i) {
    if (i > 0) topQuery += ", ";
    ok = ok && kelAppendQuoted(ctx, &topQuery, (*top)[i]);
  }
  topQuery += " FROM (" + select + ") kel_tab_exp ORDER BY ";
  ok = ok && appendOrderKey(ctx, &topQuery, lm, 0);
  if (!ok) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  if (topQuery.size() > KEL_MAX_STMT_LEN) return tooLong(ctx, "top_query", sqlstate, msg);
  KEL_TRACE(ctx, "top_query: %s\n", topQuery.c_str());

  KelStmtHandle stmt;
  SQLRETURN cli = SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt.h);
  if (!SQL_SUCCEEDED(cli)) return KEL_CLI_ERROR(ctx, msg, sqlstate, SQL_HANDLE_DBC, dbc, cli, "SQLAllocHandle");
  cli = SQLExecDirect(stmt.h, reinterpret_cast<SQLCHAR *>(topQuery.data()), SQL_NTS);
  if (!SQL_SUCCEEDED(cli)) {
    std::string text = kelCliDiagnostics(SQL_HANDLE_STMT, stmt.h).text;
    KEL_TRACE(ctx, "top_query failed. rc=%d, top_query='%s'\n", static_cast<int>(cli), topQuery.c_str());
    return kelFail(ctx, msg, sqlstate, KELQ053E, text.c_str());
  }
  KelQueryColumns cols;
  rc = cols.bind(ctx, stmt.h, kUnit, sqlstate, msg);
  if (rc < 0) return rc;

  Writer writer(ctx, dbc, lm, select, sqlstate, msg);
  std::optional<std::string> last;
  int result = 0;
  for (;;) {
    rc = writer.nextObject(cols, 0, &last, "top_query");
    if (rc == SQL_NO_DATA) break;
    if (rc < 0) {
      KEL_TRACE(ctx, "Cannot fetch data from '%s', i=%lld.\n", topQuery.c_str(), static_cast<long long>(out->count));
      return rc;
    }
    // A root left out (its key is null) would leave a header alone: no document.
    if (Writer::leftOut(*root, cols)) continue;
    // Only an object that would make one more document exceeds maxRows.
    if (out->full()) {
      result = kelFail(ctx, msg, sqlstate, KELQ003W);
      break;
    }
    if (out->countOnly()) {
      ++out->count;
      continue;
    }
    KelDocWriter &doc = writer.doc();
    rc = doc.start(sqlstate, msg);
    if (rc < 0) return rc;
    doc.appendHeader(docHeader);
    rc = writer.write(*root, cols, 0);
    if (rc < 0) return rc;
    rc = kelDeliverDoc(ctx, out, &doc, sqlstate, msg);
    if (rc < 0) return rc;
    doc.release();
    ++out->count;
  }
  cols.close(ctx);
  return result;
}
