/*
 * keldadread.cpp - reading and checking DAD documents (see keldadread.h).
 */
#include "keldadread.h"

#include <xercesc/dom/DOMAttr.hpp>
#include <xercesc/util/XMLChar.hpp>

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <cstring>
#include <string>
#include <vector>

#include "kelcodepage.h"
#include "kelctx.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "keltrace.h"

using xercesc::DOMElement;
using xercesc::DOMNode;

namespace {

constexpr const char kUnit[] = "collect";

bool isBlank(XMLCh c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// The narrow form of a text for a message; text that cannot be converted is shown as "?".
std::string shown(KelCallContext *ctx, const std::u16string &text) {
  std::string out;
  return kelDadToDb(ctx, text, &out) ? out : std::string("?");
}

std::string shown(KelCallContext *ctx, const XMLCh *text) {
  return text == nullptr ? std::string("(NULL)") : shown(ctx, std::u16string(text));
}

int limitExceeded(KelCallContext *ctx, char *sqlstate, char *msg, const char *limit, int line) {
  return kelDadLimit(ctx, sqlstate, msg, limit, kUnit, line);
}

// "YES" when the first three characters say so, "NO" when the first two do; else neither.
int yesNo(const std::u16string &text) {
  auto sameFold = [&](const char16_t *word, size_t n) {
    if (text.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
      if (u_toupper(text[i]) != static_cast<UChar32>(word[i])) return false;
    return true;
  };
  if (sameFold(u"YES", 3)) return 1;
  if (sameFold(u"NO", 2)) return 0;
  return -1;
}

// Reads the children of an Xcollection element into the header.
int readXcollection(KelCallContext *ctx, DOMElement *xcoll, KelDadHeader *out, char *sqlstate, char *msg) {
  int rootNodes = 0;
  for (DOMNode *c = xcoll->getFirstChild(); c != nullptr; c = c->getNextSibling()) {
    if (c->getNodeType() != DOMNode::ELEMENT_NODE) continue;
    auto *e = static_cast<DOMElement *>(c);
    const XMLCh *name = e->getNodeName();
    std::u16string_view n(name);
    if (n == u"SQL_stmt") {
      if (!out->hasSqlStmt) out->sqlStmt = kelDadText(e);
      out->hasSqlStmt = true;
    } else if (n == u"prolog" || n == u"doctype" || n == u"stylesheet") {
      bool *has = n == u"prolog" ? &out->hasProlog : n == u"doctype" ? &out->hasDoctype : &out->hasStylesheet;
      std::string *text = n == u"prolog" ? &out->prolog : n == u"doctype" ? &out->doctype : &out->stylesheet;
      if (*has) continue;  // the first occurrence counts
      if (!kelDadToDb(ctx, kelDadText(e), text))
        return kelFail(ctx, msg, sqlstate, KELQ040E, shown(ctx, name).c_str());
      *has = true;
    } else if (n == u"root_node") {
      if (++rootNodes > 1) return kelFail(ctx, msg, sqlstate, KELQ012E);
      out->rootNode = e;
    } else {
      return kelFail(ctx, msg, sqlstate, KELQ040E, shown(ctx, name).c_str());
    }
  }
  if (out->rootNode == nullptr) return kelFail(ctx, msg, sqlstate, KELQ000E, "root_node");
  DOMElement *only = nullptr;
  for (DOMNode *c = out->rootNode->getFirstChild(); c != nullptr; c = c->getNextSibling()) {
    if (c->getNodeType() != DOMNode::ELEMENT_NODE) continue;
    if (only != nullptr) return kelFail(ctx, msg, sqlstate, KELQ012E);
    only = static_cast<DOMElement *>(c);
  }
  if (only == nullptr || !kelDadIsElement(only, u"element_node"))
    return kelFail(ctx, msg, sqlstate, KELQ000E, "element_node");
  out->rootElement = only;
  return kelCheckDadTree(ctx, only, sqlstate, msg);
}

// The element children a mapping element may have.
bool allowedChild(std::u16string_view parent, std::u16string_view child) {
  if (parent == u"element_node")
    return child == u"element_node" || child == u"attribute_node" || child == u"text_node" ||
           child == u"RDB_node" || child == u"column";
  if (parent == u"attribute_node" || parent == u"text_node") return child == u"column" || child == u"RDB_node";
  if (parent == u"RDB_node") return child == u"table" || child == u"column" || child == u"condition";
  return false;  // table, column and condition hold no elements
}

// Checks the name attribute of an element_node or attribute_node, when it has one.
int checkMappedName(KelCallContext *ctx, const DOMElement *e, char *sqlstate, char *msg) {
  const XMLCh *name = kelDadAttr(e, u"name");
  if (name == nullptr || name[0] == 0) return 0;
  std::string narrow;
  if (!kelDadToDb(ctx, name, std::char_traits<XMLCh>::length(name), &narrow))
    return kelFail(ctx, msg, sqlstate, KELQ040E, "?");
  if (narrow.size() > KEL_MAX_XML_NAME) return limitExceeded(ctx, sqlstate, msg, "KEL_MAX_XML_NAME", __LINE__);
  if (!xercesc::XMLChar1_0::isValidName(name, std::char_traits<XMLCh>::length(name)))
    return kelFail(ctx, msg, sqlstate, KELQ040E, narrow.c_str());
  return 0;
}

}  // namespace

// ---- DOM helpers ------------------------------------------------------------------------------

bool kelDadIsElement(const DOMNode *node, const XMLCh *name) {
  return node != nullptr && node->getNodeType() == DOMNode::ELEMENT_NODE &&
         std::u16string_view(node->getNodeName()) == std::u16string_view(name);
}

DOMElement *kelDadFirstChild(const DOMNode *node, const XMLCh *name) {
  if (node == nullptr) return nullptr;
  for (DOMNode *c = node->getFirstChild(); c != nullptr; c = c->getNextSibling())
    if (kelDadIsElement(c, name)) return static_cast<DOMElement *>(c);
  return nullptr;
}

int kelDadCountChildren(const DOMNode *node, const XMLCh *name) {
  int n = 0;
  if (node == nullptr) return 0;
  for (DOMNode *c = node->getFirstChild(); c != nullptr; c = c->getNextSibling())
    if (kelDadIsElement(c, name)) ++n;
  return n;
}

const XMLCh *kelDadAttr(const DOMElement *element, const XMLCh *name) {
  if (element == nullptr) return nullptr;
  const xercesc::DOMAttr *attr = element->getAttributeNode(name);
  return attr != nullptr ? attr->getValue() : nullptr;
}

std::u16string kelDadText(const DOMNode *element) {
  std::u16string text;
  if (element == nullptr) return text;
  // An explicit stack: entity references may nest.
  std::vector<const DOMNode *> pending;
  for (const DOMNode *c = element->getLastChild(); c != nullptr; c = c->getPreviousSibling()) pending.push_back(c);
  while (!pending.empty()) {
    const DOMNode *n = pending.back();
    pending.pop_back();
    switch (n->getNodeType()) {
      case DOMNode::TEXT_NODE:
      case DOMNode::CDATA_SECTION_NODE:
        if (n->getNodeValue() != nullptr) text += n->getNodeValue();
        break;
      case DOMNode::ENTITY_REFERENCE_NODE:
        for (const DOMNode *c = n->getLastChild(); c != nullptr; c = c->getPreviousSibling()) pending.push_back(c);
        break;
      default:
        break;
    }
  }
  return text;
}

std::u16string kelDadTrim(const std::u16string &text) {
  size_t b = 0, e = text.size();
  while (b < e && isBlank(text[b])) ++b;
  while (e > b && isBlank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

bool kelDadToDb(KelCallContext *ctx, const XMLCh *text, size_t nUnits, std::string *out) {
  out->clear();
  if (nUnits == 0) return true;
  const bool utf8 = ctx == nullptr || ctx->codePages == nullptr || ctx->codePages->dbCodePage == KEL_CP_UTF8;
  if (utf8) {
    UErrorCode err = U_ZERO_ERROR;
    int32_t n = 0;
    out->resize(nUnits * 3);
    u_strToUTF8(out->data(), static_cast<int32_t>(out->size()), &n, text, static_cast<int32_t>(nUnits), &err);
    if (U_FAILURE(err)) {
      out->clear();
      return false;
    }
    out->resize(static_cast<size_t>(n));
    return true;
  }
  std::u16string terminated(text, nUnits);
  if (terminated.find(u'\0') != std::u16string::npos) return false;
  out->resize(nUnits * 4 + 4);
  int32_t n = KEL_wcstombsFunction(ctx, out->data(), terminated.c_str(), static_cast<int32_t>(out->size()));
  if (n < 0) {
    out->clear();
    return false;
  }
  out->resize(static_cast<size_t>(n));
  return true;
}

bool kelDadFromDb(KelCallContext *ctx, const std::string &text, std::u16string *out) {
  out->clear();
  if (text.empty()) return true;
  if (text.find('\0') != std::string::npos) return false;
  const bool utf8 = ctx == nullptr || ctx->codePages == nullptr || ctx->codePages->dbCodePage == KEL_CP_UTF8;
  out->resize(text.size() + 1);
  int32_t n = 0;
  if (utf8) {
    UErrorCode err = U_ZERO_ERROR;
    u_strFromUTF8(out->data(), static_cast<int32_t>(out->size()), &n, text.data(), static_cast<int32_t>(text.size()),
                  &err);
    if (U_FAILURE(err)) n = -1;
  } else {
    n = KEL_mbstowcsFunction(ctx, out->data(), text.c_str(), static_cast<int32_t>(out->size()));
  }
  if (n < 0 || static_cast<size_t>(n) >= out->size()) {
    out->clear();
    return false;
  }
  out->resize(static_cast<size_t>(n));
  return true;
}

int kelDadLimit(KelCallContext *ctx, char *sqlstate, char *msg, const char *limit, const char *unit, int line) {
  std::string lineText = std::to_string(line);
  KEL_TRACE(ctx, "limit %s exceeded\n", limit);
  return kelFail(ctx, msg, sqlstate, KELG017E, limit, kelBuildStamp(), unit, lineText.c_str());
}

// ---- The header ------------------------------------------------------------------------------

int kelReadDadHeader(KelCallContext *ctx, DOMElement *dadRoot, int kind, KelDadHeader *out, char *sqlstate,
                     char *msg) {
  *out = KelDadHeader{};
  out->kind = kind;
  if (dadRoot == nullptr) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  bool sawDtdId = false, sawSchema = false;
  for (DOMNode *c = dadRoot->getFirstChild(); c != nullptr; c = c->getNextSibling()) {
    if (c->getNodeType() != DOMNode::ELEMENT_NODE) continue;
    auto *e = static_cast<DOMElement *>(c);
    std::u16string_view n(e->getNodeName());
    if (n == u"dtdid") {
      if (sawSchema) return kelFail(ctx, msg, sqlstate, KELQ057E);
      if (!sawDtdId && !kelDadToDb(ctx, kelDadTrim(kelDadText(e)), &out->dtdId))
        return kelFail(ctx, msg, sqlstate, KELQ040E, "dtdid");
      sawDtdId = true;
      out->validationSource = KEL_VALSRC_DTD;
    } else if (n == u"schemabindings") {
      if (sawDtdId) return kelFail(ctx, msg, sqlstate, KELQ057E);
      DOMElement *loc = kelDadFirstChild(e, u"nonamespacelocation");
      if (loc == nullptr) return kelFail(ctx, msg, sqlstate, KELQ058E);
      if (!sawSchema) {
        const XMLCh *location = kelDadAttr(loc, u"location");
        out->schemaLocation = location != nullptr ? location : u"";
      }
      sawSchema = true;
      out->validationSource = KEL_VALSRC_SCHEMA;
    } else if (n == u"validation") {
      std::u16string text = kelDadTrim(kelDadText(e));
      // An empty validation is a missing one: the message has no value to show.
      if (text.empty()) return kelFail(ctx, msg, sqlstate, KELQ000E, "validation");
      int v = yesNo(text);
      if (v < 0) return kelFail(ctx, msg, sqlstate, KELA056E, shown(ctx, text).c_str());
      out->hasValidation = true;
      out->validation = v == 1;
    } else if (n == u"Xcolumn" && kind == KEL_DAD_XCOLUMN) {
      if (out->xcolumn == nullptr) out->xcolumn = e;
    } else if (n == u"Xcollection" && kind == KEL_DAD_XCOLLECTION) {
      if (out->xcollection != nullptr) return kelFail(ctx, msg, sqlstate, KELQ012E);
      out->xcollection = e;
    } else {
      return kelFail(ctx, msg, sqlstate, KELQ040E, shown(ctx, e->getNodeName()).c_str());
    }
  }
  if (kind == KEL_DAD_XCOLUMN) {
    if (out->xcolumn == nullptr) return kelFail(ctx, msg, sqlstate, KELA009E);
    return 0;
  }
  if (out->xcollection == nullptr) return kelFail(ctx, msg, sqlstate, KELQ000E, "Xcollection");
  KEL_TRACE(ctx, "validation %d, source %d, dtdid '%s'\n", out->validation ? 1 : 0, out->validationSource,
            out->dtdId.c_str());
  return readXcollection(ctx, out->xcollection, out, sqlstate, msg);
}

int kelRequireValidation(KelCallContext *ctx, const KelDadHeader &header, char *sqlstate, char *msg) {
  if (header.hasValidation) return 0;
  return kelFail(ctx, msg, sqlstate, KELQ000E, "validation");
}

int kelCheckDadTree(KelCallContext *ctx, DOMElement *rootElement, char *sqlstate, char *msg) {
  if (rootElement == nullptr) return kelFail(ctx, msg, sqlstate, KELQ000E, "element_node");
  int rc = checkMappedName(ctx, rootElement, sqlstate, msg);
  if (rc < 0) return rc;
  // Depth-first with an explicit stack, so a deeply nested DAD cannot exhaust the call stack.
  struct Item {
    DOMElement *element;
    int depth;  // element_node nesting
  };
  std::vector<Item> pending{{rootElement, 1}};
  while (!pending.empty()) {
    Item item = pending.back();
    pending.pop_back();
    std::u16string_view parent(item.element->getNodeName());
    for (DOMNode *c = item.element->getLastChild(); c != nullptr; c = c->getPreviousSibling()) {
      if (c->getNodeType() != DOMNode::ELEMENT_NODE) continue;
      auto *e = static_cast<DOMElement *>(c);
      std::u16string_view n(e->getNodeName());
      if (!allowedChild(parent, n)) return kelFail(ctx, msg, sqlstate, KELQ040E, shown(ctx, e->getNodeName()).c_str());
      int depth = item.depth;
      if (n == u"element_node" && ++depth > KEL_MAX_DAD_DEPTH)
        return limitExceeded(ctx, sqlstate, msg, "KEL_MAX_DAD_DEPTH", __LINE__);
      if (n == u"element_node" || n == u"attribute_node") {
        rc = checkMappedName(ctx, e, sqlstate, msg);
        if (rc < 0) return rc;
      }
      pending.push_back({e, depth});
    }
  }
  return 0;
}

// ---- Xcolumn ----------------------------------------------------------------------------------

int kelReadXcolumn(KelCallContext *ctx, DOMElement *dadRoot, std::vector<KelSideTable> *out, char *sqlstate,
                   char *msg) {
  out->clear();
  if (dadRoot == nullptr) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  // An attribute that is absent, empty or blank is a missing part (KELQ000E naming it): a
  // message showing its value would show "(NULL)" or nothing.
  auto absent = [&](const DOMElement *e, const XMLCh *attr) {
    const XMLCh *v = kelDadAttr(e, attr);
    return v == nullptr || kelDadTrim(v).empty();
  };
  // A present attribute's narrow value; false when it cannot be converted or is too long.
  auto read = [&](const DOMElement *e, const XMLCh *attr, size_t limit, std::string *value) {
    const XMLCh *v = kelDadAttr(e, attr);
    if (!kelDadToDb(ctx, v, std::char_traits<XMLCh>::length(v), value)) {
      *value = "?";
      return false;
    }
    return value->size() <= limit;
  };
  std::vector<DOMNode *> pending;
  for (DOMNode *c = dadRoot->getLastChild(); c != nullptr; c = c->getPreviousSibling()) pending.push_back(c);
  while (!pending.empty()) {
    DOMNode *node = pending.back();
    pending.pop_back();
    if (node->getNodeType() != DOMNode::ELEMENT_NODE) continue;
    for (DOMNode *c = node->getLastChild(); c != nullptr; c = c->getPreviousSibling()) pending.push_back(c);
    if (!kelDadIsElement(node, u"table")) continue;
    auto *table = static_cast<DOMElement *>(node);
    KelSideTable side;
    if (absent(table, u"name")) return kelFail(ctx, msg, sqlstate, KELQ000E, "name of table");
    if (!read(table, u"name", KEL_MAX_SIDE_TABLE_NAME, &side.name))
      return kelFail(ctx, msg, sqlstate, KELA057E, side.name.c_str());
    for (DOMNode *c = table->getFirstChild(); c != nullptr; c = c->getNextSibling()) {
      if (!kelDadIsElement(c, u"column")) continue;
      auto *col = static_cast<DOMElement *>(c);
      KelSideColumn sc;
      if (absent(col, u"name"))
        return kelFail(ctx, msg, sqlstate, KELQ000E, ("name of column in table " + side.name).c_str());
      if (!read(col, u"name", KEL_MAX_SIDE_COLUMN_NAME, &sc.name))
        return kelFail(ctx, msg, sqlstate, KELA058E, sc.name.c_str());
      auto missing = [&](const char *attr) {
        std::string what = std::string(attr) + " of column " + sc.name;
        return kelFail(ctx, msg, sqlstate, KELQ000E, what.c_str());
      };
      if (absent(col, u"type")) return missing("type");
      if (!read(col, u"type", KEL_MAX_SIDE_COLUMN_TYPE, &sc.type))
        return kelFail(ctx, msg, sqlstate, KELA059E, sc.type.c_str(), sc.name.c_str());
      if (absent(col, u"path")) return missing("path");
      if (!read(col, u"path", KEL_MAX_SIDE_COLUMN_PATH, &sc.path))
        return kelFail(ctx, msg, sqlstate, KELA060E, sc.path.c_str(), sc.name.c_str());
      if (absent(col, u"multi_occurrence")) return missing("multi_occurrence");
      const XMLCh *multi = kelDadAttr(col, u"multi_occurrence");
      std::string upper(std::char_traits<XMLCh>::length(multi) * 4 + 4, '\0');
      int32_t n = kel_utoupper(ctx, multi, upper.data(), static_cast<int32_t>(upper.size()));
      upper.resize(n < 0 ? 0 : static_cast<size_t>(n));
      if (n < 0 && !kelDadToDb(ctx, multi, std::char_traits<XMLCh>::length(multi), &upper)) upper = "?";
      if (upper.size() > KEL_MAX_SIDE_MULTI_OCCURRENCE)
        return kelFail(ctx, msg, sqlstate, KELA061E, upper.c_str(), sc.name.c_str());
      sc.multiOccurrence = upper;
      side.columns.push_back(std::move(sc));
    }
    out->push_back(std::move(side));
  }
  return 0;
}

// ---- Mapped nodes -----------------------------------------------------------------------------

int kelListMappedNodes(KelCallContext *ctx, DOMElement *rootElement, std::vector<KelDadMappedNode> *out) {
  out->clear();
  if (rootElement == nullptr) return 0;
  auto nameOf = [&](const DOMElement *e) {
    const XMLCh *n = kelDadAttr(e, u"name");
    std::string s;
    if (n != nullptr) kelDadToDb(ctx, n, std::char_traits<XMLCh>::length(n), &s);
    return s;
  };
  // An element_node without a name stands in a path as KEL_NO_NAME.
  auto pathName = [&](const DOMElement *e) {
    std::string s = nameOf(e);
    return s.empty() ? std::string("KEL_NO_NAME") : s;
  };
  auto mapping = [&](const DOMElement *node, KelDadMappedNode *m) {
    if (const DOMElement *rdb = kelDadFirstChild(node, u"RDB_node")) {
      if (const DOMElement *t = kelDadFirstChild(rdb, u"table")) m->table = nameOf(t);
      if (const DOMElement *c = kelDadFirstChild(rdb, u"column")) m->column = nameOf(c);
    } else if (const DOMElement *c = kelDadFirstChild(node, u"column")) {
      m->column = nameOf(c);
    }
  };
  struct Item {
    DOMElement *node;  // element_node, attribute_node or text_node
    DOMElement *holder;  // the element_node holding an attribute_node or text_node
    std::string path;    // of the element_node (holder)
    int level;
  };
  std::vector<Item> pending{{rootElement, nullptr, pathName(rootElement), 0}};
  while (!pending.empty()) {
    Item item = pending.back();
    pending.pop_back();
    if (item.holder != nullptr) {
      const bool attr = kelDadIsElement(item.node, u"attribute_node");
      KelDadMappedNode m{attr ? KEL_ATTRIBUTE : KEL_TEXT, nameOf(attr ? item.node : item.holder), item.path,
                         item.level, "", ""};
      mapping(item.node, &m);
      out->push_back(std::move(m));
      continue;
    }
    // Children in reverse onto the stack, so they come off in document order.
    bool hasValueChild = false;
    for (DOMNode *c = item.node->getLastChild(); c != nullptr; c = c->getPreviousSibling()) {
      if (c->getNodeType() != DOMNode::ELEMENT_NODE) continue;
      auto *e = static_cast<DOMElement *>(c);
      if (kelDadIsElement(e, u"element_node")) {
        hasValueChild = true;
        pending.push_back({e, nullptr, item.path + " " + pathName(e), item.level + 1});
      } else if (kelDadIsElement(e, u"attribute_node") || kelDadIsElement(e, u"text_node")) {
        hasValueChild = true;
        pending.push_back({e, item.node, item.path, item.level});
      }
    }
    if (!hasValueChild && (kelDadFirstChild(item.node, u"RDB_node") || kelDadFirstChild(item.node, u"column"))) {
      KelDadMappedNode m{KEL_ELEMENT, nameOf(item.node), item.path, item.level, "", ""};
      mapping(item.node, &m);
      out->push_back(std::move(m));
    }
  }
  return 0;
}
