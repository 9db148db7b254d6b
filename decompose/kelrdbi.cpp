/*
 * kelrdbi.cpp - row generation and the inserting of rows (see kelrdbi.h).
 *
 * The DAD's element_node tree becomes a tree of places (one per element path); each place
 * lists the tables whose rows start there (their lowest common ancestor) and the values taken
 * there.  One walk of the document along that tree fills the rows; the foreign keys are then
 * looked up in the parent rows; then each table's INSERT runs once per row.
 */
#include "kelrdbi.h"

#include <xercesc/dom/DOMAttr.hpp>
#include <xercesc/dom/DOMNamedNodeMap.hpp>
#include <xercesc/dom/DOMNode.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "kelcli.h"
#include "kelcodepage.h"
#include "keldom.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "keltab.h"
#include "keltrace.h"

using xercesc::DOMElement;
using xercesc::DOMNode;

namespace {

constexpr const char kUnit[] = "kelrdbi";

// Bytes of a value quoted in a message.
constexpr size_t kShownValueBytes = 40;

// ---- The places of the DAD ---------------------------------------------------------------------

struct ColRef {
  int tab;
  int col;
};

struct AttrRef {
  int tab;
  int col;
  std::u16string name;
};

struct Place {
  std::u16string name;
  int parent = -1;
  int depth = 1;  // the root element is at depth 1
  std::vector<int> children;
  std::vector<int> rowTables;  // tables whose lowest common ancestor this is
  std::vector<AttrRef> attributes;
  std::vector<ColRef> texts;
  std::vector<ColRef> elements;
  bool used = false;  // something is taken here or below
};

class Places {
 public:
  // Builds the places of the element_node tree below (and including) dadRoot.
  int build(KelCallContext *ctx, const DOMElement *dadRoot, char *sqlstate, char *msg) {
    places_.clear();
    return add(ctx, dadRoot, -1, sqlstate, msg);
  }
  // The place of a blank-separated path from the root element, or -1.
  int find(const std::u16string &path) const {
    if (places_.empty() || path.empty()) return -1;
    int at = -1;
    size_t start = 0;
    while (start <= path.size()) {
      size_t end = path.find(u' ', start);
      if (end == std::u16string::npos) end = path.size();
      std::u16string_view name(path.data() + start, end - start);
      if (at < 0) {
        if (name != places_[0].name) return -1;
        at = 0;
      } else {
        at = child(at, name);
        if (at < 0) return -1;
      }
      start = end + 1;
    }
    return at;
  }
  int child(int at, std::u16string_view name) const {
    for (int c : places_[static_cast<size_t>(at)].children)
      if (places_[static_cast<size_t>(c)].name == name) return c;
    return -1;
  }
  Place &operator[](int i) { return places_[static_cast<size_t>(i)]; }
  const Place &operator[](int i) const { return places_[static_cast<size_t>(i)]; }
  void markUsed(int at) {
    for (; at >= 0 && !places_[static_cast<size_t>(at)].used; at = places_[static_cast<size_t>(at)].parent)
      places_[static_cast<size_t>(at)].used = true;
  }
  // The deepest place that is an ancestor-or-self of both.
  int common(int a, int b) const {
    while (a >= 0 && b >= 0 && a != b) {
      if ((*this)[a].depth >= (*this)[b].depth)
        a = (*this)[a].parent;
      else
        b = (*this)[b].parent;
    }
    return a == b ? a : -1;
  }

 private:
  int add(KelCallContext *ctx, const DOMElement *e, int parent, char *sqlstate, char *msg) {
    const XMLCh *name = kelDadAttr(e, u"name");
    if (name == nullptr || name[0] == 0) return kelFail(ctx, msg, sqlstate, KELQ014E);
    int at = parent < 0 ? -1 : child(parent, name);
    if (at < 0) {
      Place p;
      p.name = name;
      p.parent = parent;
      p.depth = parent < 0 ? 1 : places_[static_cast<size_t>(parent)].depth + 1;
      places_.push_back(std::move(p));
      at = static_cast<int>(places_.size()) - 1;
      if (parent >= 0) places_[static_cast<size_t>(parent)].children.push_back(at);
    }
    for (const DOMNode *c = e->getFirstChild(); c != nullptr; c = c->getNextSibling()) {
      if (!kelDadIsElement(c, u"element_node")) continue;
      int rc = add(ctx, static_cast<const DOMElement *>(c), at, sqlstate, msg);
      if (rc < 0) return rc;
    }
    return 0;
  }

  std::vector<Place> places_;
};

// One parameter of a table's INSERT.
struct Param {
  SQLSMALLINT type = SQL_VARCHAR;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
  bool described = false;  // type, size and digits are known from the type (else the database describes it)
  std::string column;      // the table's column
  std::string xml;         // the element or attribute whose value it gets
  std::string dataType;
};

std::u16string joinPath(const std::u16string &ancestors, const std::string &name8) {
  std::u16string name;
  kelDadFromDb(nullptr, name8, &name);
  return ancestors.empty() ? name : ancestors + u' ' + name;
}

// The places of every table and value; the order in which the tables' rows are inserted.
int planPlaces(KelCallContext *ctx, const KEL_REL &rel, const DOMElement *dadRoot, Places *places,
         std::vector<int> *rowPlace, std::vector<int> *order, char *sqlstate, char *msg) {
  int rc = places->build(ctx, dadRoot, sqlstate, msg);
  if (rc < 0) return rc;
  const int nTab = static_cast<int>(rel.tab.size());
  rowPlace->assign(static_cast<size_t>(nTab), -1);
  std::vector<int> topPlace(static_cast<size_t>(nTab), -1);
  for (int t = 0; t < nTab; ++t) {
    const KEL_TAB &tab = rel.tab[static_cast<size_t>(t)];
    if (tab.col2xml.empty()) continue;  // a table no value is mapped to gets no rows
    int lca = places->find(joinPath(tab.lcaAncestorPath, tab.lowestCommonAncestor));
    int top = places->find(tab.topElementPath);
    if (lca < 0 || top < 0) {
      KEL_TRACE(ctx, "no place for the rows of %s\n", tab.name.c_str());
      return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
    }
    (*rowPlace)[static_cast<size_t>(t)] = lca;
    topPlace[static_cast<size_t>(t)] = top;
    (*places)[lca].rowTables.push_back(t);
    for (size_t c = 0; c < tab.col2xml.size(); ++c) {
      const KelCol2Xml &col = tab.col2xml[c];
      int at = places->find(col.path);
      if (at < 0) {
        KEL_TRACE(ctx, "Failed to find '%s' in '%s'.\n", col.xml.c_str(), tab.name.c_str());
        return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
      }
      ColRef ref{t, static_cast<int>(c)};
      if (col.xmlType == KEL_ATTRIBUTE) {
        std::u16string attr;
        if (!kelDadFromDb(ctx, col.xml, &attr)) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
        (*places)[at].attributes.push_back({t, static_cast<int>(c), std::move(attr)});
      } else if (col.xmlType == KEL_TEXT) {
        (*places)[at].texts.push_back(ref);
      } else {
        (*places)[at].elements.push_back(ref);
      }
      places->markUsed(at);
    }
  }
  // The DAD's order of the top elements (places are numbered depth-first), parents first.
  std::vector<int> byTop;
  for (int t = 0; t < nTab; ++t)
    if (topPlace[static_cast<size_t>(t)] >= 0) byTop.push_back(t);
  std::stable_sort(byTop.begin(), byTop.end(), [&](int a, int b) {
    return topPlace[static_cast<size_t>(a)] < topPlace[static_cast<size_t>(b)];
  });
  order->clear();
  std::vector<char> placed(static_cast<size_t>(nTab), 0);
  while (order->size() < byTop.size()) {
    bool progress = false;
    for (int t : byTop) {
      if (placed[static_cast<size_t>(t)]) continue;
      bool ready = true;
      for (const KelForeignKey &fk : rel.tab[static_cast<size_t>(t)].foreignKey)
        if (fk.ancestorTab != t && fk.ancestorTab >= 0 && topPlace[static_cast<size_t>(fk.ancestorTab)] >= 0 &&
            !placed[static_cast<size_t>(fk.ancestorTab)])
          ready = false;
      if (!ready) continue;
      placed[static_cast<size_t>(t)] = 1;
      order->push_back(t);
      progress = true;
      break;
    }
    if (!progress) {  // parents of each other cannot be: the model orders them by level
      for (int t : byTop)
        if (!placed[static_cast<size_t>(t)]) {
          placed[static_cast<size_t>(t)] = 1;
          order->push_back(t);
        }
    }
  }
  return 0;
}

// ---- The walk of the document -----------------------------------------------------------------

// The element's own character content: its text and CDATA children and what its entity
// references expand to, in order.
void appendOwnText(const DOMNode *parent, std::u16string *out) {
  for (const DOMNode *c = parent->getFirstChild(); c != nullptr; c = c->getNextSibling()) {
    switch (c->getNodeType()) {
      case DOMNode::TEXT_NODE:
      case DOMNode::CDATA_SECTION_NODE:
        out->append(c->getNodeValue());
        break;
      case DOMNode::ENTITY_REFERENCE_NODE:
        appendOwnText(c, out);
        break;
      default:
        break;
    }
  }
}

struct OpenRow {
  bool open = false;
  bool touched = false;
  KelRow row;
  std::vector<char> filled;
};

class Walker {
 public:
  Walker(KelCallContext *ctx, const KEL_REL &rel, const Places &places, KelRowSet *out, char *sqlstate, char *msg)
      : ctx_(ctx), rel_(rel), places_(places), out_(out), sqlstate_(sqlstate), msg_(msg),
        open_(rel.tab.size()) {}

  int visit(const DOMElement *e, int at) {
    const Place &place = places_[at];
    const size_t declaredBefore = declaredPrefixes_.size();
    enterScope(e);
    for (int t : place.rowTables) {
      OpenRow &o = open_[static_cast<size_t>(t)];
      const KEL_TAB &tab = rel_.tab[static_cast<size_t>(t)];
      o.open = true;
      o.touched = false;
      o.row.lca = e;
      o.row.values.assign(tab.col2xml.size() + tab.foreignKey.size(), KelRowValue{});
      o.filled.assign(tab.col2xml.size(), 0);
    }
    for (const AttrRef &a : place.attributes) {
      const xercesc::DOMAttr *attr = e->getAttributeNode(reinterpret_cast<const XMLCh *>(a.name.c_str()));
      int rc = take(a.tab, a.col, e, attr != nullptr, attr != nullptr ? attr->getValue() : nullptr);
      if (rc < 0) return rc;
    }
    for (const ColRef &c : place.texts) {
      text_.clear();
      appendOwnText(e, &text_);
      int rc = take(c.tab, c.col, e, true, text_.c_str());
      if (rc < 0) return rc;
    }
    for (const ColRef &c : place.elements) {
      int rc = takeMarkup(c.tab, c.col, e);
      if (rc < 0) return rc;
    }
    for (const DOMNode *c = e->getFirstChild(); c != nullptr; c = c->getNextSibling()) {
      if (c->getNodeType() != DOMNode::ELEMENT_NODE) continue;
      int next = places_.child(at, c->getNodeName());
      if (next < 0 || !places_[next].used) continue;
      int rc = visit(static_cast<const DOMElement *>(c), next);
      if (rc < 0) return rc;
    }
    for (int t : place.rowTables) {
      OpenRow &o = open_[static_cast<size_t>(t)];
      o.open = false;
      if (!o.touched) continue;
      std::vector<KelRow> &rows = out_->tab[static_cast<size_t>(t)];
      if (static_cast<int>(rows.size()) == KEL_MAX_ROWS) {
        KEL_TRACE(ctx_, "KEL_MAX_ROWS limit exceeded %s:%d\n", kUnit, __LINE__);
        return kelDadLimit(ctx_, sqlstate_, msg_, "KEL_MAX_ROWS", kUnit, __LINE__);
      }
      rows.push_back(std::move(o.row));
    }
    leaveScope(declaredBefore);
    return 0;
  }

 private:
  // The namespace declarations e makes come into scope for it and its descendants.
  void enterScope(const DOMElement *e) {
    const xercesc::DOMNamedNodeMap *attrs = e->getAttributes();
    const XMLSize_t n = attrs != nullptr ? attrs->getLength() : 0;
    for (XMLSize_t i = 0; i < n; ++i) {
      const DOMNode *a = attrs->item(i);
      const std::u16string_view name = a->getNodeName();
      if (name.compare(0, 5, u"xmlns") != 0 || (name.size() > 5 && name[5] != u':')) continue;
      const std::u16string_view prefix = name.size() > 5 ? name.substr(6) : std::u16string_view();
      const XMLCh *value = a->getNodeValue();
      scope_[prefix].push_back({name, value != nullptr ? value : u"", e});
      declaredPrefixes_.push_back(prefix);
    }
  }
  void leaveScope(size_t declaredBefore) {
    while (declaredPrefixes_.size() > declaredBefore) {
      scope_[declaredPrefixes_.back()].pop_back();
      declaredPrefixes_.pop_back();
    }
  }
  /*
   * The declarations made above e that its markup needs to keep its names in their namespaces:
   * the nearest of each prefix that e or a descendant uses (the default namespace for an
   * element name without one), in the order of first use.  None that e makes itself, and no
   * empty default declaration.  Only the prefixes used are looked at, so the cost follows the
   * markup written, not the declarations above it.
   */
  void inheritedFor(const DOMElement *e, KelNsDecls *out) {
    out->clear();
    looked_.clear();
    auto need = [&](std::u16string_view prefix) {
      if (prefix == u"xmlns") return;  // a declaration, not a use
      auto found = scope_.find(prefix);
      if (found == scope_.end() || found->second.empty() || !looked_.insert(found->first).second) return;
      const Declared &d = found->second.back();
      if (d.owner == e || d.value[0] == 0) return;
      out->push_back({d.name, d.value});
    };
    const DOMNode *n = e;
    while (n != nullptr) {
      const short type = n->getNodeType();
      if (type == DOMNode::ELEMENT_NODE) {
        const std::u16string_view name = n->getNodeName();
        const size_t colon = name.find(u':');
        need(colon == std::u16string_view::npos ? std::u16string_view() : name.substr(0, colon));
        const xercesc::DOMNamedNodeMap *attrs = n->getAttributes();
        const XMLSize_t count = attrs != nullptr ? attrs->getLength() : 0;
        for (XMLSize_t i = 0; i < count; ++i) {
          const std::u16string_view attr = attrs->item(i)->getNodeName();
          const size_t c = attr.find(u':');
          if (c != std::u16string_view::npos) need(attr.substr(0, c));
        }
      }
      const DOMNode *down =
          type == DOMNode::ELEMENT_NODE || type == DOMNode::ENTITY_REFERENCE_NODE ? n->getFirstChild() : nullptr;
      if (down != nullptr) {
        n = down;
        continue;
      }
      while (n != e && n->getNextSibling() == nullptr) n = n->getParentNode();
      n = n == e ? nullptr : n->getNextSibling();
    }
  }

  // The slot of column col of table t in its open row; KELQ037E / KELQ045E when it holds a value.
  int slot(int t, int col, const DOMElement *e, KelRowValue **value) {
    OpenRow &o = open_[static_cast<size_t>(t)];
    if (!o.open) return KEL_INTERNAL_ERROR(ctx_, msg_, sqlstate_);
    const KEL_TAB &tab = rel_.tab[static_cast<size_t>(t)];
    const KelCol2Xml &c = tab.col2xml[static_cast<size_t>(col)];
    if (o.filled[static_cast<size_t>(col)]) {
      if (c.xmlType == KEL_ATTRIBUTE)
        return kelFail(ctx_, msg_, sqlstate_, KELQ045E, tab.lowestCommonAncestor.c_str(), c.col.c_str());
      (void)e;
      return kelFail(ctx_, msg_, sqlstate_, KELQ037E, c.xml.c_str());
    }
    o.filled[static_cast<size_t>(col)] = 1;
    *value = &o.row.values[static_cast<size_t>(col)];
    return 0;
  }

  // A text or attribute value: present or not, NULL when absent or empty.
  int take(int t, int col, const DOMElement *e, bool present, const XMLCh *text) {
    OpenRow &o = open_[static_cast<size_t>(t)];
    o.touched = true;
    if (!present) return 0;
    KelRowValue *v = nullptr;
    int rc = slot(t, col, e, &v);
    if (rc < 0) return rc;
    if (text == nullptr || text[0] == 0) return 0;
    if (!kelDadToDb(ctx_, text, std::char_traits<XMLCh>::length(text), &v->text)) {
      KEL_TRACE(ctx_, "a value of %s cannot be converted\n", rel_.tab[static_cast<size_t>(t)].name.c_str());
      return kelFail(ctx_, msg_, sqlstate_, KELQ055E, "U_INVALID_CHAR_FOUND");
    }
    // The conversion makes room for the longest encoding; a long value keeps only what it uses.
    if (v->text.capacity() > 2 * v->text.size() + 64) v->text.shrink_to_fit();
    v->null = false;
    return 0;
  }

  int takeMarkup(int t, int col, const DOMElement *e) {
    open_[static_cast<size_t>(t)].touched = true;
    KelRowValue *v = nullptr;
    int rc = slot(t, col, e, &v);
    if (rc < 0) return rc;
    char *markup = nullptr;
    if (!declaredPrefixes_.empty()) inheritedFor(e, &inherited_);
    rc = kelDOMtoXML(ctx_, e, &markup, sqlstate_, msg_, declaredPrefixes_.empty() ? nullptr : &inherited_);
    if (rc < 0) return rc;
    v->text = markup;
    v->null = v->text.empty();
    std::free(markup);
    return 0;
  }

  KelCallContext *ctx_;
  const KEL_REL &rel_;
  const Places &places_;
  KelRowSet *out_;
  char *sqlstate_;
  char *msg_;
  std::vector<OpenRow> open_;
  std::u16string text_;
  // The namespace declarations in scope at the element visited: by prefix (empty for the
  // default namespace), the nearest last, with the element that makes it; and the prefixes in
  // the order they came into scope.
  struct Declared {
    std::u16string_view name;  // "xmlns" or "xmlns:" prefix
    const XMLCh *value;
    const DOMElement *owner;
  };
  std::unordered_map<std::u16string_view, std::vector<Declared>> scope_;
  std::vector<std::u16string_view> declaredPrefixes_;
  std::unordered_set<std::u16string_view> looked_;
  KelNsDecls inherited_;
};

// The ancestor of e that lies depth - target levels up (e itself when equal).
const DOMElement *ancestorAt(const DOMElement *e, int depth, int target) {
  const DOMNode *n = e;
  for (int d = depth; d > target && n != nullptr; --d) n = n->getParentNode();
  return n != nullptr && n->getNodeType() == DOMNode::ELEMENT_NODE ? static_cast<const DOMElement *>(n) : nullptr;
}

// Fills the foreign-key values of every row from its parent rows.
int resolveForeignKeys(KelCallContext *ctx, const KEL_REL &rel, const Places &places, const std::vector<int> &rowPlace,
                       KelRowSet *rows, char *sqlstate, char *msg) {
  for (size_t t = 0; t < rel.tab.size(); ++t) {
    const KEL_TAB &tab = rel.tab[t];
    std::vector<KelRow> &mine = rows->tab[t];
    if (mine.empty()) continue;
    for (size_t k = 0; k < tab.foreignKey.size(); ++k) {
      const KelForeignKey &fk = tab.foreignKey[k];
      if (fk.ancestorTab < 0 || fk.ancestorTab >= static_cast<int>(rel.tab.size()))
        return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
      const KEL_TAB &parent = rel.tab[static_cast<size_t>(fk.ancestorTab)];
      const KelCol2Xml &supplier = parent.col2xml[static_cast<size_t>(fk.ancestorCol)];
      const int childAt = rowPlace[t];
      const int parentAt = rowPlace[static_cast<size_t>(fk.ancestorTab)];
      const int meet = parentAt < 0 ? -1 : places.common(childAt, parentAt);
      auto missing = [&]() {
        KEL_TRACE(ctx, "no value of %s in %s for a row of %s\n", supplier.xml.c_str(), parent.name.c_str(),
                  tab.name.c_str());
        return kelFail(ctx, msg, sqlstate, KELQ069E, supplier.xml.c_str(), parent.name.c_str(), tab.name.c_str());
      };
      if (meet < 0) return missing();
      // The parent rows by the element where parent and child meet: the first parent row there.
      const int meetDepth = places[meet].depth;
      const int parentDepth = places[parentAt].depth;
      std::unordered_map<const DOMElement *, size_t> byMeet;
      const std::vector<KelRow> &theirs = rows->tab[static_cast<size_t>(fk.ancestorTab)];
      for (size_t r = 0; r < theirs.size(); ++r)
        byMeet.emplace(ancestorAt(theirs[r].lca, parentDepth, meetDepth), r);
      const int childDepth = places[childAt].depth;
      for (KelRow &row : mine) {
        auto found = byMeet.find(ancestorAt(row.lca, childDepth, meetDepth));
        if (found == byMeet.end()) return missing();
        const KelRowValue &value = theirs[found->second].values[static_cast<size_t>(fk.ancestorCol)];
        if (value.null) return missing();
        row.values[tab.col2xml.size() + k] = value;
        KEL_TRACE(ctx, "%s='%s'\n", tab.joinInfo[static_cast<size_t>(fk.join)].col.c_str(), value.text.c_str());
      }
    }
  }
  return 0;
}

// ---- Inserting -------------------------------------------------------------------------------

// At most kShownValueBytes of a value, cut at a character.
std::string shownValue(const std::string &text) {
  if (text.size() <= kShownValueBytes) return text;
  size_t n = kShownValueBytes;
  while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  return text.substr(0, n) + "...";
}


// Characters of a UTF-8 text.
size_t charactersOf(const std::string &text) { return kelUtf8Chars(text.data(), text.size()); }

/*
 * Whether a value does not fit its parameter: the INSERT casts each value to its column type,
 * and a cast cuts a string that is too long; a value is refused instead, never stored cut.
 * Character and binary lengths are bytes, graphic lengths characters.
 */
bool exceeds(const Param &p, const std::string &text) {
  if (p.size == 0) return false;
  if (kelIsCharacterSqlType(p.type) || p.type == SQL_BLOB) return text.size() > p.size;
  if (kelIsGraphicSqlType(p.type)) return text.size() > p.size && charactersOf(text) > p.size;
  return false;
}

/*
 * The SQL type code, size and digits of a built-in type as the database describes a parameter
 * of it; false for a type it does not know (a distinct type), which is then described by the
 * database.  Knowing them saves describing every statement of every call.
 */
bool describeBuiltIn(KelCallContext *ctx, const std::string &dataType, Param *p) {
  KelSqlType t;
  if (!kelParseSqlType(ctx, dataType, &t) || !t.schema.empty()) return false;
  const std::string &n = t.name;
  const auto len = static_cast<SQLULEN>(t.length);
  p->digits = 0;
  if (n == "CHAR" || n == "CHARACTER") {
    p->type = SQL_CHAR;
    p->size = len > 0 ? len : 1;
  } else if (n == "VARCHAR" || n == "CHARACTER VARYING" || n == "CHAR VARYING") {
    if (len == 0) return false;
    p->type = SQL_VARCHAR;
    p->size = len;
  } else if (n == "LONG VARCHAR") {
    p->type = SQL_LONGVARCHAR;
    p->size = 32700;
  } else if (n == "CLOB") {
    p->type = SQL_CLOB;
    p->size = len > 0 ? len : 1048576;
  } else if (n == "SMALLINT") {
    p->type = SQL_SMALLINT;
    p->size = 5;
  } else if (n == "INTEGER" || n == "INT") {
    p->type = SQL_INTEGER;
    p->size = 10;
  } else if (n == "BIGINT") {
    p->type = SQL_BIGINT;
    p->size = 19;
  } else if (n == "DECIMAL" || n == "DEC" || n == "NUMERIC" || n == "NUM") {
    p->type = SQL_DECIMAL;
    p->size = len > 0 ? len : 5;
    p->digits = static_cast<SQLSMALLINT>(t.scale > 0 ? t.scale : 0);
  } else if (n == "REAL" || (n == "FLOAT" && t.length >= 1 && t.length <= 24)) {
    p->type = SQL_REAL;
    p->size = 7;
  } else if (n == "DOUBLE" || n == "DOUBLE PRECISION" || n == "FLOAT") {
    p->type = SQL_DOUBLE;
    p->size = 15;
  } else if (n == "DATE") {
    p->type = SQL_TYPE_DATE;
    p->size = 10;
  } else if (n == "TIME") {
    p->type = SQL_TYPE_TIME;
    p->size = 8;
  } else if (n == "TIMESTAMP") {
    p->type = SQL_TYPE_TIMESTAMP;
    p->size = 26;
    p->digits = 6;
  } else {
    return false;
  }
  return true;
}

// The value of a refused row that the database cannot convert to its column type, or -1.
int unconvertible(SQLHDBC dbc, const std::vector<Param> &params, const KelRow &row) {
  for (size_t i = 0; i < params.size(); ++i) {
    const KelRowValue &v = row.values[i];
    if (v.null) continue;
    KelCliStmt probe;
    if (!SQL_SUCCEEDED(probe.alloc(dbc))) return -1;
    std::string sql = "VALUES CAST(? AS " + params[i].dataType + ")";
    if (!SQL_SUCCEEDED(SQLPrepare(probe.get(), reinterpret_cast<SQLCHAR *>(sql.data()), SQL_NTS))) continue;
    SQLLEN ind = static_cast<SQLLEN>(v.text.size());
    SQLBindParameter(probe.get(), 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, v.text.size(), 0,
                     const_cast<char *>(v.text.data()), 0, &ind);
    // A query may compute its row only when it is fetched.
    SQLRETURN rc = SQLExecute(probe.get());
    if (SQL_SUCCEEDED(rc)) rc = SQLFetch(probe.get());
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) return static_cast<int>(i);
  }
  return -1;
}

// "INSERT INTO schema.table", as a message names a table's statement.
std::string insertInto(const KEL_TAB &tab) {
  return "INSERT INTO " + (tab.schema.empty() ? tab.name : tab.schema + "." + tab.name);
}

// The failure of a refused row: its SQLCODE, the database's text, KELM001W and KELQ053E.
int refused(KelCallContext *ctx, SQLHSTMT stmt, SQLHDBC dbc, const KEL_TAB &tab, const std::vector<Param> &params,
            const KelRow &row, char *sqlstate, char *msg) {
  KelCliDiag d = kelCliDiagnostics(SQL_HANDLE_STMT, stmt);
  KEL_TRACE(ctx, "SQLExecute failed for %s\n", tab.stmt.c_str());
  std::string what = insertInto(tab);
  if (std::strncmp(d.sqlstate, "22", 2) == 0) {
    int bad = unconvertible(dbc, params, row);
    if (bad >= 0) {
      const Param &p = params[static_cast<size_t>(bad)];
      what += ", column " + p.column + " (" + p.dataType + ") from " + p.xml + ", value '" +
              shownValue(row.values[static_cast<size_t>(bad)].text) + "'";
    }
  } else if (std::strncmp(d.sqlstate, "23", 2) == 0) {
    // A key or a parent that does not hold: name the row by its key and foreign-key values.
    std::string keys;
    for (size_t i = 0; i < params.size(); ++i) {
      bool key = i >= tab.col2xml.size();
      for (const std::string &k : tab.priKey) key = key || k == params[i].column;
      if (!key) continue;
      if (!keys.empty()) keys += ", ";
      keys += params[i].column + " from " + params[i].xml + " = " +
              (row.values[i].null ? std::string("NULL") : "'" + shownValue(row.values[i].text) + "'");
    }
    if (!keys.empty()) what += ", " + keys;
  } else if (std::strncmp(d.sqlstate, "42", 2) == 0 && !tab.condition.empty()) {
    // A statement the database read only when it ran: the DAD's condition is what it holds
    // beyond names and types (a column of another table).
    what += " WHERE " + tab.condition;
  }
  kelSetDbTextMessage(ctx, msg, d.text.c_str(), KELQ053E, what.c_str());
  kelSetState(sqlstate, d.sqlstate);
  return d.native < 0 ? d.native : kelMessageState(KELQ053E, nullptr);
}

int insertTable(KelCallContext *ctx, const KEL_TAB &tab, const std::vector<Param> &planned,
                const std::vector<KelRow> &rows, SQLHDBC dbc, char *sqlstate, char *msg) {
  KelCliStmt stmt;
  SQLRETURN cli = stmt.alloc(dbc);
  if (!SQL_SUCCEEDED(cli))
    return KEL_CLI_ERROR(ctx, msg, sqlstate, SQL_HANDLE_DBC, dbc, cli, "SQLAllocHandle for insert stmt");
  cli = SQLPrepare(stmt.get(), reinterpret_cast<SQLCHAR *>(const_cast<char *>(tab.stmt.data())),
                   static_cast<SQLINTEGER>(tab.stmt.size()));
  if (!SQL_SUCCEEDED(cli)) {
    KEL_TRACE(ctx, "SQLPrepare failed for %s.\n", tab.stmt.c_str());
    // A collection's table dropped after enablement: name it rather than report an internal error.
    int missing = kelRefuseMissingTable(ctx, tab, sqlstate, msg);
    if (missing < 0) return missing;
    // The INSERT is made of the DAD's names, types and conditions only: one that does not
    // prepare is the DAD's mistake (a condition that is no SQL, a column of another table), as
    // composition reports it, after the database's text, naming the table and its condition.
    KelCliDiag d = kelCliDiagnostics(SQL_HANDLE_STMT, stmt.get());
    std::string what = insertInto(tab);
    if (!tab.condition.empty()) what += " WHERE " + tab.condition;
    KEL_TRACE(ctx, "the DAD's INSERT does not prepare: %s\n", d.text.c_str());
    kelSetDbTextMessage(ctx, msg, d.text.c_str(), KELQ053E, what.c_str());
    return kelMessageState(KELQ053E, sqlstate);
  }
  // A parameter whose type is not built in (a distinct type) is described by the database.
  std::vector<Param> described;
  for (const Param &p : planned)
    if (!p.described) described = planned;
  const std::vector<Param> &params = described.empty() ? planned : described;
  for (size_t i = 0; i < described.size(); ++i) {
    Param &p = described[i];
    if (p.described) continue;
    SQLSMALLINT nullable = 0;
    cli = SQLDescribeParam(stmt.get(), static_cast<SQLUSMALLINT>(i + 1), &p.type, &p.size, &p.digits, &nullable);
    if (!SQL_SUCCEEDED(cli)) {
      KEL_TRACE(ctx, "SQLDescribeParam failed for (%s, i=%d, %s, %s)\n", tab.name.c_str(), static_cast<int>(i + 1),
                p.column.c_str(), p.xml.c_str());
      return KEL_CLI_ERROR(ctx, msg, sqlstate, SQL_HANDLE_STMT, stmt.get(), cli, "SQLDescribeParam");
    }
  }
  std::vector<SQLLEN> ind(params.size());
  for (const KelRow &row : rows) {
    for (size_t i = 0; i < params.size(); ++i) {
      const KelRowValue &v = row.values[i];
      const Param &p = params[i];
      if (!v.null && exceeds(p, v.text))
        return kelFail(ctx, msg, sqlstate, KELQ026E, p.xml.c_str(), p.column.c_str());
      ind[i] = v.null ? SQL_NULL_DATA : static_cast<SQLLEN>(v.text.size());
      cli = SQLBindParameter(stmt.get(), static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT, SQL_C_CHAR, p.type,
                             p.size, p.digits, const_cast<char *>(v.text.data()), 0, &ind[i]);
      if (!SQL_SUCCEEDED(cli)) {
        KEL_TRACE(ctx, "SQLBindParameter failed for (%s, i=%d, %s, %s)\n", tab.name.c_str(), static_cast<int>(i + 1),
                  p.column.c_str(), p.xml.c_str());
        return KEL_CLI_ERROR(ctx, msg, sqlstate, SQL_HANDLE_STMT, stmt.get(), cli, "SQLBindParameter");
      }
    }
    SQLRETURN rc = SQLExecute(stmt.get());
    if (rc == SQL_NO_DATA) continue;  // the table's condition left the row out
    if (!SQL_SUCCEEDED(rc)) return refused(ctx, stmt.get(), dbc, tab, params, row, sqlstate, msg);
  }
  cli = stmt.reset();
  if (!SQL_SUCCEEDED(cli)) return KEL_CLI_ERROR(ctx, msg, sqlstate, SQL_HANDLE_DBC, dbc, cli, "SQLFreeHandle for insert");
  return 0;
}

}  // namespace

struct KelDecompPlan {
  KEL_REL rel;
  Places places;
  std::vector<int> rowPlace;             // each table's place of rows, or -1
  std::vector<int> order;                // the tables in the order their rows are inserted
  std::vector<std::vector<Param>> params;  // each table's INSERT parameters
};

int kelPlanDecomposition(KelCallContext *ctx, KEL_REL rel, const DOMElement *dadRoot, KelDecompPlanPtr *out,
                         char *sqlstate, char *msg) {
  out->reset();
  if (dadRoot == nullptr) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  try {
    auto plan = std::make_shared<KelDecompPlan>();
    plan->rel = std::move(rel);
    KEL_REL &r = plan->rel;
    int rc = kelNormalizeTypes(ctx, &r, sqlstate, msg);
    if (rc < 0) return rc;
    rc = planPlaces(ctx, r, dadRoot, &plan->places, &plan->rowPlace, &plan->order, sqlstate, msg);
    if (rc < 0) return rc;
    plan->params.resize(r.tab.size());
    for (size_t t = 0; t < r.tab.size(); ++t) {
      KEL_TAB &tab = r.tab[t];
      if (tab.col2xml.empty()) continue;
      rc = generate_SQLi(ctx, &r, static_cast<int>(t), sqlstate, msg);
      if (rc < 0) return rc;
      std::vector<Param> &params = plan->params[t];
      params.resize(tab.col2xml.size() + tab.foreignKey.size());
      for (size_t i = 0; i < params.size(); ++i) {
        Param &p = params[i];
        if (i < tab.col2xml.size()) {
          p.column = tab.col2xml[i].col;
          p.xml = tab.col2xml[i].xml;
          p.dataType = tab.col2xml[i].dataType;
        } else {
          const KelForeignKey &fk = tab.foreignKey[i - tab.col2xml.size()];
          const KelCol2Xml &s = r.tab[static_cast<size_t>(fk.ancestorTab)].col2xml[static_cast<size_t>(fk.ancestorCol)];
          p.column = tab.joinInfo[static_cast<size_t>(fk.join)].col;
          p.xml = s.xml;
          p.dataType = s.dataType;
        }
        p.described = describeBuiltIn(ctx, p.dataType, &p);
      }
    }
    *out = std::move(plan);
    return 0;
  } catch (const std::bad_alloc &) {
    return kelFail(ctx, msg, sqlstate, KELG002E);
  }
}

const KEL_REL &kelPlanRelation(const KelDecompPlan &plan) { return plan.rel; }

int kelGenerateRows(KelCallContext *ctx, const KelDecompPlan &plan, const DOMElement *docRoot, KelRowSet *out,
                    char *sqlstate, char *msg) {
  out->tab.clear();
  if (docRoot == nullptr) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  try {
    out->tab.resize(plan.rel.tab.size());
    Walker walker(ctx, plan.rel, plan.places, out, sqlstate, msg);
    int rc = walker.visit(docRoot, 0);
    if (rc < 0) return rc;
    for (size_t t = 0; t < out->tab.size(); ++t)
      KEL_TRACE(ctx, "num of rows = %d in %s\n", static_cast<int>(out->tab[t].size()), plan.rel.tab[t].name.c_str());
    return resolveForeignKeys(ctx, plan.rel, plan.places, plan.rowPlace, out, sqlstate, msg);
  } catch (const std::bad_alloc &) {
    return kelFail(ctx, msg, sqlstate, KELG002E);
  }
}

int kelInsertRows(KelCallContext *ctx, const KelDecompPlan &plan, const KelRowSet &rows, SQLHDBC dbc, char *sqlstate,
                  char *msg) {
  try {
    for (int t : plan.order) {
      const std::vector<KelRow> &mine = rows.tab[static_cast<size_t>(t)];
      if (mine.empty()) continue;
      int rc = insertTable(ctx, plan.rel.tab[static_cast<size_t>(t)], plan.params[static_cast<size_t>(t)], mine, dbc,
                           sqlstate, msg);
      if (rc < 0) return rc;
    }
    return 0;
  } catch (const std::bad_alloc &) {
    return kelFail(ctx, msg, sqlstate, KELG002E);
  }
}
