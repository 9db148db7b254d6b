/*
 * keldom.cpp - XML text of composed documents and of DOM nodes (see keldom.h).
 */
#include "keldom.h"

#include <xercesc/dom/DOMAttr.hpp>
#include <xercesc/dom/DOMNamedNodeMap.hpp>
#include <xercesc/dom/DOMProcessingInstruction.hpp>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "kelSgDoc.h"
#include "kelbuf.h"
#include "kelcodepage.h"
#include "kelctx.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "keltrace.h"

using xercesc::DOMNode;

namespace {

constexpr const char kUnit[] = "keldom";

// UTF-16 units gathered before they are converted and handed on.
constexpr size_t kFlushUnits = 8192;

/*
 * Escapes src[0..n) onto out with the parser layer's five entities; a carriage return (and in
 * an attribute value a tab or line feed) is written as a character reference, so that a parser
 * reads back the same character rather than its normalised form.
 */
void appendEscaped(std::u16string &out, const XMLCh *src, size_t n, bool attribute) {
  size_t start = 0;
  for (size_t i = 0; i < n; ++i) {
    const XMLCh c = src[i];
    const char16_t *ref = c == u'\r' ? u"&#13;" : !attribute ? nullptr : c == u'\t' ? u"&#9;" : c == u'\n' ? u"&#10;" : nullptr;
    if (ref == nullptr) continue;
    kelAppendEscaped(out, src + start, i - start);
    out += ref;
    start = i + 1;
  }
  kelAppendEscaped(out, src + start, n - start);
}

// Writes the XML text of a node into a sink, piece by piece.
class Writer {
 public:
  Writer(KelCallContext *ctx, std::function<bool(const std::string &)> sink, const KelNsDecls *inherited = nullptr)
      : ctx_(ctx), sink_(std::move(sink)), inherited_(inherited) {}

  // Returns 0, or the failure's code with sqlstate and msg set.
  int write(const DOMNode *node, char *sqlstate, char *msg) {
    // Each frame is a node whose children are being written; next is the child to write next.
    struct Frame {
      const DOMNode *node;
      const DOMNode *next;
    };
    std::vector<Frame> stack;
    auto enter = [&](const DOMNode *n) {
      switch (n->getNodeType()) {
        case DOMNode::ELEMENT_NODE:
          startTag(n);
          stack.push_back({n, n->getFirstChild()});
          break;
        case DOMNode::ENTITY_REFERENCE_NODE:
          if (n->getFirstChild() != nullptr) {
            stack.push_back({n, n->getFirstChild()});  // its replacement text
          } else {
            text_ += u'&';
            text_ += n->getNodeName();
            text_ += u';';
          }
          break;
        case DOMNode::TEXT_NODE:
          appendValue(n->getNodeValue(), false);
          break;
        case DOMNode::CDATA_SECTION_NODE: {
          // "]]>" cannot stand inside a section: it is split over two.
          std::u16string data = n->getNodeValue() != nullptr ? n->getNodeValue() : u"";
          for (size_t at = data.find(u"]]>"); at != std::u16string::npos; at = data.find(u"]]>", at + 15))
            data.replace(at, 3, u"]]]]><![CDATA[>");
          text_ += u"<![CDATA[" + data + u"]]>";
          break;
        }
        case DOMNode::COMMENT_NODE:
          text_ += u"<!--";
          if (n->getNodeValue() != nullptr) text_ += n->getNodeValue();
          text_ += u"-->";
          break;
        case DOMNode::PROCESSING_INSTRUCTION_NODE: {
          auto *pi = static_cast<const xercesc::DOMProcessingInstruction *>(n);
          text_ += u"<?";
          text_ += pi->getTarget();
          if (pi->getData() != nullptr && pi->getData()[0] != 0) {
            text_ += u' ';
            text_ += pi->getData();
          }
          text_ += u"?>";
          break;
        }
        case DOMNode::DOCUMENT_NODE:
          stack.push_back({n, n->getFirstChild()});
          break;
        default:
          break;  // document types, entities and notations have no place in content
      }
    };
    top_ = node;
    try {
      enter(node);
      while (!stack.empty()) {
        Frame &f = stack.back();
        if (f.next == nullptr) {
          if (f.node->getNodeType() == DOMNode::ELEMENT_NODE) {
            text_ += u"</";
            text_ += f.node->getNodeName();
            text_ += u'>';
          }
          stack.pop_back();
        } else {
          const DOMNode *child = f.next;
          f.next = child->getNextSibling();
          enter(child);  // may push: f is not used after this
        }
        if (text_.size() >= kFlushUnits && !flush()) return KEL_INTERNAL_ERROR(ctx_, msg, sqlstate);
      }
      if (!flush()) return KEL_INTERNAL_ERROR(ctx_, msg, sqlstate);
    } catch (const std::bad_alloc &) {
      return kelFail(ctx_, msg, sqlstate, KELG002E);
    }
    return 0;
  }

 private:
  void startTag(const DOMNode *element) {
    text_ += u'<';
    text_ += element->getNodeName();
    const xercesc::DOMNamedNodeMap *attrs = element->getAttributes();
    const XMLSize_t n = attrs != nullptr ? attrs->getLength() : 0;
    for (XMLSize_t i = 0; i < n; ++i) {
      const DOMNode *a = attrs->item(i);
      text_ += u' ';
      text_ += a->getNodeName();
      text_ += u"=\"";
      appendValue(a->getNodeValue(), true);
      text_ += u'"';
    }
    if (element == top_ && inherited_ != nullptr) {
      for (const KelNsDecl &d : *inherited_) {
        text_ += u' ';
        text_ += d.name;
        text_ += u"=\"";
        appendEscaped(text_, d.value.data(), d.value.size(), true);
        text_ += u'"';
      }
    }
    text_ += u'>';
  }
  void appendValue(const XMLCh *value, bool attribute) {
    if (value != nullptr) appendEscaped(text_, value, std::char_traits<XMLCh>::length(value), attribute);
  }
  // Converts what was gathered and hands it to the sink.
  bool flush() {
    if (text_.empty()) return true;
    if (!kelDadToDb(ctx_, text_, &narrow_)) {
      KEL_TRACE(ctx_, "text cannot be converted to the database code page\n");
      return false;
    }
    text_.clear();
    return sink_(narrow_);
  }

  KelCallContext *ctx_;
  std::function<bool(const std::string &)> sink_;
  const KelNsDecls *inherited_;
  const DOMNode *top_ = nullptr;  // the node written first
  std::u16string text_;
  std::string narrow_;
};

// Where the encoding name of a declaration stands: [at, at + n); n is 0 without one.
struct EncodingPlace {
  size_t at = 0;
  size_t n = 0;
};

// Reads text as an XML declaration without its angle brackets: "?xml", a version of 1.0 or
// 1.1, optionally an encoding and a standalone of yes or no, in that order, "?".  False for
// anything else: the prolog is written as the document's first markup, so any other text
// would begin the document with whatever it holds.
bool readDeclaration(const std::u16string &text, EncodingPlace *encoding) {
  size_t i = 0;
  const size_t n = text.size();
  auto space = [](char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; };
  auto blanks = [&] {
    size_t start = i;
    while (i < n && space(text[i])) ++i;
    return i > start;
  };
  auto word = [&](std::u16string_view w) {
    if (text.compare(i, w.size(), w) != 0) return false;
    i += w.size();
    return true;
  };
  // Eq and a quoted value; *at and *len give the value.
  auto value = [&](size_t *at, size_t *len) {
    blanks();
    if (!word(u"=")) return false;
    blanks();
    if (i >= n || (text[i] != u'"' && text[i] != u'\'')) return false;
    const char16_t quote = text[i++];
    *at = i;
    while (i < n && text[i] != quote) ++i;
    if (i >= n) return false;
    *len = i++ - *at;
    return true;
  };
  auto isEncName = [&](size_t at, size_t len) {
    auto alpha = [](char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); };
    if (len == 0 || !alpha(text[at])) return false;
    for (size_t k = at + 1; k < at + len; ++k)
      if (!alpha(text[k]) && !(text[k] >= u'0' && text[k] <= u'9') && text[k] != u'.' &&
          text[k] != u'_' && text[k] != u'-')
        return false;
    return true;
  };
  size_t at = 0, len = 0;
  if (!word(u"?xml") || !blanks() || !word(u"version") || !value(&at, &len)) return false;
  const std::u16string_view version(text.data() + at, len);
  if (version != u"1.0" && version != u"1.1") return false;
  bool spaced = blanks();
  if (spaced && word(u"encoding")) {
    if (!value(&at, &len) || !isEncName(at, len)) return false;
    encoding->at = at;
    encoding->n = len;
    spaced = blanks();
  }
  if (spaced && word(u"standalone")) {
    if (!value(&at, &len)) return false;
    const std::u16string_view standalone(text.data() + at, len);
    if (standalone != u"yes" && standalone != u"no") return false;
    blanks();
  }
  return word(u"?") && i == n;
}

// The prolog as the document's declaration: trimmed, an XML declaration (KELQ040E "prolog"
// otherwise), its encoding, when it names one, replaced by the encoding of the database code
// page: composition writes the document's text in that code page, whatever the DAD says.
int declarationOf(KelCallContext *ctx, const std::string &prolog, std::string *out, char *sqlstate,
                  char *msg) {
  std::u16string text;
  if (!kelDadFromDb(ctx, prolog, &text)) return kelFail(ctx, msg, sqlstate, KELQ040E, "prolog");
  text = kelDadTrim(text);
  EncodingPlace encoding;
  if (!readDeclaration(text, &encoding)) {
    KEL_TRACE(ctx, "prolog %s is not an XML declaration\n", prolog.c_str());
    return kelFail(ctx, msg, sqlstate, KELQ040E, "prolog");
  }
  if (encoding.n > 0) {
    std::u16string name = u"UTF-8";
    if (ctx != nullptr && ctx->codePages != nullptr) {
      UChar buf[64] = {0};
      int rc = KEL_getEncoding(ctx, ctx->codePages->dbCodePage, buf, 63, sqlstate, msg);
      if (rc < 0) return rc;
      name = reinterpret_cast<const char16_t *>(buf);
    }
    text.replace(encoding.at, encoding.n, name);
  }
  if (!kelDadToDb(ctx, text, out)) return kelFail(ctx, msg, sqlstate, KELQ040E, "prolog");
  return 0;
}

}  // namespace

int kelGenDocHeader(KelCallContext *ctx, const KelDadHeader &dad, std::string *header, char *sqlstate, char *msg) {
  header->clear();
  // A text of blanks only is as empty as none: "< >" would make no document.
  auto blank = [](const std::string &s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; };
  if (!dad.hasProlog || blank(dad.prolog)) return kelFail(ctx, msg, sqlstate, KELQ000E, "prolog");
  if (dad.hasDoctype && blank(dad.doctype)) return kelFail(ctx, msg, sqlstate, KELQ000E, "doctype");
  if (dad.hasStylesheet && blank(dad.stylesheet)) return kelFail(ctx, msg, sqlstate, KELQ000E, "stylesheet");
  std::string declaration;
  int rc = declarationOf(ctx, dad.prolog, &declaration, sqlstate, msg);
  if (rc < 0) return rc;
  *header = "<" + declaration + ">";
  if (dad.hasDoctype) *header += "\n<" + dad.doctype + ">";
  if (dad.hasStylesheet) *header += "\n<" + dad.stylesheet + ">";
  KEL_TRACE(ctx, "header %s\n", header->c_str());
  return 0;
}

int writeXMLStartTag(std::string *tag, int blanks, const char *name, bool lineFeed) {
  tag->clear();
  if (lineFeed) *tag += '\n';
  tag->append(static_cast<size_t>(blanks > 0 ? blanks : 0), ' ');
  *tag += '<';
  *tag += name != nullptr ? name : "";
  return static_cast<int>(tag->size());
}

int writeXMLEndTag(std::string *tag, int blanks, const char *name, bool lineFeed, bool open) {
  tag->clear();
  if (lineFeed) *tag += '\n';
  if (open) *tag += '>';
  tag->append(static_cast<size_t>(blanks > 0 ? blanks : 0), ' ');
  *tag += "</";
  *tag += name != nullptr ? name : "";
  *tag += '>';
  return static_cast<int>(tag->size());
}

int kelDOMtoXML1(KelCallContext *ctx, const DOMNode *node, KelDocBuffer *buf, char *sqlstate, char *msg) {
  if (node == nullptr || buf == nullptr) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  Writer w(ctx, [&](const std::string &text) { return kelBufAppend(ctx, buf, text.c_str()) >= 0; });
  return w.write(node, sqlstate, msg);
}

int kelDOMtoXML(KelCallContext *ctx, const DOMNode *node, char **out, char *sqlstate, char *msg,
                const KelNsDecls *inherited) {
  *out = nullptr;
  if (node == nullptr) return kelFail(ctx, msg, sqlstate, KELA019E);
  std::string text;
  Writer w(
      ctx,
      [&](const std::string &piece) {
        text += piece;
        return true;
      },
      inherited);
  int rc = w.write(node, sqlstate, msg);
  if (rc < 0) return rc;
  *out = static_cast<char *>(std::malloc(text.size() + 1));
  if (*out == nullptr) return kelFail(ctx, msg, sqlstate, KELG002E);
  std::memcpy(*out, text.c_str(), text.size() + 1);
  return 0;
}
