/*
 * kelSgDoc.cpp - the parser layer's functions (see kelSgDoc.h).
 */
#include "kelSgDoc.h"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/validators/DTD/DTDElementDecl.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "kelSgDocHandler.h"
#include "kelcodepage.h"
#include "kelentity.h"
#include "kelctx.h"
#include "kelfile.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "keltrace.h"
#include "quarnxmlinit.h"

namespace {

constexpr const char kUnit[] = "kelSgDoc";
const XMLCh kDomBufferId[] = u"IdForDomDocBuffer";

// A DOM parser that announces the DOCTYPE's system id to its kelDocEntityResolver before the
// external subset is requested.
class kelNonValidateDOM : public xercesc::XercesDOMParser {
 public:
  kelNonValidateDOM(KelCallContext *ctx, kelDocEntityResolver *announceTo)
      : XercesDOMParser(nullptr, kelWatchedMemoryManager()), ctx_(ctx), announceTo_(announceTo) {}
  void doctypeDecl(const xercesc::DTDElementDecl &root, const XMLCh *publicId, const XMLCh *systemId,
                   const bool hasIntSubset, const bool hasExtSubset) override {
    if (announceTo_ != nullptr) {
      announceTo_->setSystemId(systemId);
      KEL_TRACE(ctx_, "er %p\n", static_cast<void *>(announceTo_));
    }
    XercesDOMParser::doctypeDecl(root, publicId, systemId, hasIntSubset, hasExtSubset);
    hasExtSubset_ = hasExtSubset;
  }
  // The external DTD reads as empty: a reference to an entity only it could declare would give
  // nothing, and the tree lose its text without a word.  Once the DTD is read (its last subset
  // ended), such a reference ends the parse instead, as in extraction.
  void endIntSubset() override {
    XercesDOMParser::endIntSubset();
    if (!hasExtSubset_) kelRefuseUndeclaredEntities(getScanner());
  }
  void endExtSubset() override {
    XercesDOMParser::endExtSubset();
    kelRefuseUndeclaredEntities(getScanner());
  }
  void startDocument() override {
    weigher_.reset();
    attributes_ = 0;
    attributeWork_ = 0;
    // The watch learns where the document is read: the place of its refusals, and the depth of
    // the entities open, bounded as in the readers.
    kelReadAsXml10(getScanner()->getLocator());
    XercesDOMParser::startDocument();
  }
  // The encoding a declaration names must agree with the input's byte-order mark.
  void XMLDecl(const XMLCh *const version, const XMLCh *const encoding,
               const XMLCh *const standalone, const XMLCh *const actualEncoding) override {
    kelCheckDeclaredEncoding(getScanner()->getReaderMgr(), encoding);
    XercesDOMParser::XMLDecl(version, encoding, standalone, actualEncoding);
  }
  void TextDecl(const XMLCh *const version, const XMLCh *const encoding) override {
    kelCheckDeclaredEncoding(getScanner()->getReaderMgr(), encoding);
    XercesDOMParser::TextDecl(version, encoding);
  }
  // The attributes the grammar declares and gives by default are weighed as the readers do.
  // The tree's element keeps its attributes in a list it searches for each one it is given, so
  // an element of n attributes costs n * n / 2 comparisons (100,000 attributes on one element
  // took 1.9 seconds, twice as many four times as long): a parse may make
  // KEL_DOM_ATTRIBUTE_WORK_FREE of them plus KEL_DOM_ATTRIBUTE_WORK_PER_ATTRIBUTE for each
  // attribute read.
  void startElement(const xercesc::XMLElementDecl &decl, const unsigned int uriId, const XMLCh *const prefix,
                    const xercesc::RefVectorOf<xercesc::XMLAttr> &attrs, const XMLSize_t count, const bool isEmpty,
                    const bool isRoot) override {
    weigher_.element(decl, attrs, count);
    attributes_ += count;
    attributeWork_ += static_cast<uint64_t>(count) * count / 2;
    if (attributeWork_ > KEL_DOM_ATTRIBUTE_WORK_FREE + attributes_ * KEL_DOM_ATTRIBUTE_WORK_PER_ATTRIBUTE)
      kelRefuseParse("the elements have too many attributes each to build the document tree: more than " +
                     std::to_string(KEL_DOM_ATTRIBUTE_WORK_PER_ATTRIBUTE) +
                     " comparisons for each attribute read on average");
    XercesDOMParser::startElement(decl, uriId, prefix, attrs, count, isEmpty, isRoot);
  }
  // A byte the input's encoding does not read is reported where it stands (kelPlaceBadByte).
  void error(const unsigned int code, const XMLCh *const domain, const xercesc::XMLErrorReporter::ErrTypes type,
             const XMLCh *const text, const XMLCh *const systemId, const XMLCh *const publicId,
             const XMLFileLoc line, const XMLFileLoc column) override {
    XMLFileLoc badLine = 0, badColumn = 0;
    std::u16string badByte;
    if (kelPlaceBadByte(getScanner()->getReaderMgr(), code, domain, &badLine, &badColumn, &badByte)) {
      XercesDOMParser::error(code, domain, type, badByte.c_str(), systemId, publicId, badLine, badColumn);
      return;
    }
    XercesDOMParser::error(code, domain, type, text, systemId, publicId, line, column);
  }

 private:
  KelCallContext *ctx_;
  kelDocEntityResolver *announceTo_;
  bool hasExtSubset_ = false;  // the DOCTYPE names an external DTD
  KelAttributeWeigher weigher_;
  uint64_t attributes_ = 0;     // attributes read
  uint64_t attributeWork_ = 0;  // comparisons the tree makes to set them
};

std::string toDb(KelCallContext *ctx, const XMLCh *text) {
  if (text == nullptr) return std::string();
  size_t n = std::char_traits<XMLCh>::length(text);
  std::string out(n * 4 + 4, '\0');
  int32_t len = KEL_wcstombsFunction(ctx, out.data(), text, static_cast<int32_t>(out.size()));
  if (len < 0) return std::string();
  out.resize(static_cast<size_t>(len));
  return out;
}

}  // namespace

int kelInitializeParser(KelCallContext *ctx, char *sqlstate, char *msg) {
  if (isSharedLibInitSuccess()) {
    KEL_TRACE(ctx, "Shared library has been initilized successfully \n");
    return 0;
  }
  int code = getLastErrorCode();
  switch (code) {
    case -1:
      kelInternalError(ctx, msg, nullptr, kUnit, 1828);
      kelSetState(sqlstate, "38X13");
      break;
    case -2:
    case -3:
      kelFailWithState(ctx, msg, sqlstate, "38X13", KELQ047E, "0", "0", getLastErrorMessage());
      break;
    case -4:
      kelInternalError(ctx, msg, nullptr, kUnit, 1819);
      kelSetState(sqlstate, "38X13");
      break;
    default:
      return -1;
  }
  KEL_TRACE(ctx, "The static init of parser or icu or xalan has failed\n");
  return -1;
}

int32_t kelCheckParserForCall(KelCallContext *ctx, char *sqlstate, char *msg) {
  char parserState[6] = "00000";
  int parserRc = kelInitializeParser(ctx, parserState, msg);
  KEL_TRACE(ctx, "kelInitializeParser rc = %d, memthresh %d\n", parserRc,
            ctx != nullptr ? ctx->fileThreshold : 0);
  int32_t stateRc = 0;
  kelStateToCode(ctx, &stateRc, parserState);
  if (stateRc >= 0 && parserRc >= 0) return 0;
  kelSetState(sqlstate, parserState);
  return stateRc < 0 ? stateRc : -85;
}

int kelTerminateParser(KelCallContext *ctx) {
  KEL_TRACE(ctx, "Parser termination is left to the shared initialiser.\n");
  return 0;
}

std::unique_ptr<xercesc::InputSource> kelOpenInput(KelCallContext *ctx, const char *doc,
                                                   size_t docLength, int inMemory, int cpFlag,
                                                   const XMLCh *systemId, char *sqlstate, char *msg) {
  std::unique_ptr<xercesc::InputSource> src;
  if (inMemory == 1) {
    src = std::make_unique<KelMemBufSource>(reinterpret_cast<const XMLByte *>(doc), docLength,
                                            systemId, false);
  } else {
    int msgNo = KELC001E;
    if (doc != nullptr) src = kelOpenFileSource(ctx, doc, inMemory == KEL_DOC_SERVER_FILE, sqlstate, &msgNo);
    if (src == nullptr) {
      if (msg) kelSetMessage(ctx, msg, msgNo);
      kelMessageState(msgNo, sqlstate);
      return nullptr;
    }
    // A database value staged in a temporary file of the call is text as one in memory is: a
    // relative system id in it is taken against the current directory, not the temporary
    // directory (two copies of a document gave two values by their size).
    if (inMemory == KEL_DOC_OWN_FILE && systemId != nullptr) src->setSystemId(systemId);
  }
  if (cpFlag == 1) {
    UChar encoding[1025] = {0};
    int32_t dbCp = ctx != nullptr && ctx->codePages != nullptr ? ctx->codePages->dbCodePage : 0;
    if (KEL_getEncoding(ctx, dbCp, encoding, 1025, sqlstate, msg) < 0) return nullptr;
    KEL_TRACE(ctx, "overriding encoding\n");
    src->setEncoding(encoding);
  }
  return src;
}

namespace {

int guardedRun(KelCallContext *ctx, const std::function<void()> &parse, char *sqlstate, char *msg,
               KelOtherFailure other) {
  try {
    parse();
    return 0;
  } catch (const xercesc::SAXParseException &e) {
    std::string line = std::to_string(e.getLineNumber()), col = std::to_string(e.getColumnNumber());
    if (msg) kelSetMessage(ctx, msg, KELQ047E, line.c_str(), col.c_str(), toDb(ctx, e.getMessage()).c_str());
  } catch (const xercesc::OutOfMemoryException &) {
    kelFail(ctx, msg, sqlstate, KELG002E);
    return -1;
  } catch (const xercesc::XMLException &e) {
    // The exception knows the line of the parser's source, not a place in the document.
    std::string line = std::to_string(e.getSrcLine());
    if (msg) kelSetMessage(ctx, msg, KELQ047E, line.c_str(), "0", toDb(ctx, e.getMessage()).c_str());
  } catch (const xercesc::SAXException &e) {
    if (msg) kelSetMessage(ctx, msg, KELQ047E, "0", "0", toDb(ctx, e.getMessage()).c_str());
  } catch (const std::bad_alloc &) {
    kelFail(ctx, msg, sqlstate, KELG002E);
    return -1;
  } catch (const KELException &e) {
    // A failure that was understood where it happened (a refused entity) keeps its message.
    if (e.sqlstate()[0] != '\0') {
      if (msg) std::snprintf(msg, KEL_MSG_BUFFER + 1, "%.*s", KEL_MSG_BUFFER, e.message());
      kelSetState(sqlstate, e.sqlstate());
      return -1;
    }
    KEL_TRACE(ctx, "parser->parse crashed w/o an XMLException.\n");
    if (other == KelOtherFailure::InternalError) kelInternalError(ctx, msg, nullptr, kUnit, 1714);
  } catch (const QuarnParseWorkExceeded &) {
    // The library's work past an account: the mark is read below.
  } catch (...) {
    KEL_TRACE(ctx, "parser->parse crashed w/o an XMLException.\n");
    if (other == KelOtherFailure::InternalError) kelInternalError(ctx, msg, nullptr, kUnit, 1714);
  }
  kelSetState(sqlstate, "38X13");
  return -1;
}

}  // namespace

bool kelHandlingOutOfMemory() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc &) {
    return true;
  } catch (const xercesc::OutOfMemoryException &) {
    return true;
  } catch (...) {
    return false;
  }
}

int kelGuardedParse(KelCallContext *ctx, const std::function<void()> &parse, char *sqlstate,
                    char *msg, KelOtherFailure other) {
  KelExpansionWatch watch(ctx);
  int rc = guardedRun(ctx, parse, sqlstate, msg, other);
  const KELException *refusal = kelParseWorkRefusal();
  if (refusal == nullptr) return rc;
  // The stop's own error, whatever the parser library made of it on the way out (it may turn a
  // failure inside a validator into an error of its own, or carry on past it).
  if (msg) std::snprintf(msg, KEL_MSG_BUFFER + 1, "%.*s", KEL_MSG_BUFFER, refusal->message());
  kelSetState(sqlstate, refusal->sqlstate());
  return -1;
}

int kelDOM(KelCallContext *ctx, const char *doc, int cpFlag, int inMemory,
           xercesc::DOMDocument **out, char *sqlstate, char *msg) {
  kelSetState(sqlstate, "00000");
  *out = nullptr;
  if (doc == nullptr) {
    kelFail(ctx, msg, sqlstate, KELC001E);
    return -1;
  }
  std::unique_ptr<xercesc::InputSource> src;
  std::unique_ptr<kelNonValidateDOM> parser;
  std::unique_ptr<kelDocEntityResolver> resolver;
  std::unique_ptr<KelEntityResolver> guard;
  try {
    src = kelOpenInput(ctx, doc, inMemory == 1 ? std::strlen(doc) : 0, inMemory, cpFlag, kDomBufferId,
                       sqlstate, msg);
    if (src == nullptr) return -1;
    KEL_TRACE(ctx, "new kelNonValidateDOM\n");
    resolver = std::make_unique<kelDocEntityResolver>(ctx, nullptr, false);
    guard = std::make_unique<KelEntityResolver>(ctx, resolver.get());
    parser = std::make_unique<kelNonValidateDOM>(ctx, resolver.get());
    parser->setValidationScheme(xercesc::XercesDOMParser::Val_Never);
    parser->setErrorHandler(resolver.get());
    kelSecureParser(*parser, guard.get());
  } catch (...) {
    kelFail(ctx, msg, sqlstate, KELG002E);
    return -1;
  }
  // The tree may take a bounded multiple of the document: entity references cannot make a
  // small document take the memory of a huge one.
  int64_t docBytes = 0;
  if (inMemory == 1) docBytes = static_cast<int64_t>(std::strlen(doc));
  else if (kel_getFileSize(ctx, doc, &docBytes) != 0) docBytes = 0;
  if (kelGuardedParse(
          ctx,
          [&] {
            kelLimitParseMemory(static_cast<uint64_t>(docBytes));
            parser->parse(*src);
          },
          sqlstate, msg, KelOtherFailure::InternalError) < 0)
    return -1;
  *out = parser->adoptDocument();
  kelSetState(sqlstate, "00000");
  return 0;
}

char *kelConvXMLCh(KelCallContext *ctx, const XMLCh *text, char *out) {
  if (text == nullptr || out == nullptr) {
    KEL_TRACE(ctx, "text %p, out %p\n", static_cast<const void *>(text), static_cast<void *>(out));
    return out;
  }
  size_t n = std::char_traits<XMLCh>::length(text);
  if (KEL_wcstombsFunction(ctx, out, text, static_cast<int32_t>(n * 4 + 4)) < 0) out[0] = '\0';
  return out;
}

const XMLCh *kelEntityOf(XMLCh c, size_t *n) {
  switch (c) {
    case u'"': *n = 6; return u"&quot;";
    case u'&': *n = 5; return u"&amp;";
    case u'\'': *n = 6; return u"&apos;";
    case u'<': *n = 4; return u"&lt;";
    case u'>': *n = 4; return u"&gt;";
    default: *n = 1; return nullptr;
  }
}

void kelAppendEscaped(std::u16string &out, const XMLCh *src, size_t n) {
  kelAppendEscapedTo(out, src, n);
}

void kelAppendMarkupEscaped(std::u16string &out, const XMLCh *src, size_t n, bool attribute) {
  kelAppendMarkupEscapedTo(out, src, n, attribute);
}

bool kelXmlCannotHold(const XMLCh *src, size_t n, bool xml11) {
  for (size_t i = 0; i < n; ++i) {
    const XMLCh c = src[i];
    if (c >= 0x20 && c < 0xD800) continue;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && src[i + 1] >= 0xDC00 && src[i + 1] <= 0xDFFF) {
      ++i;  // a surrogate pair: a character beyond the basic plane
      continue;
    }
    const bool control = c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r';
    if (c == 0 || (control && !xml11) || (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF) return true;
  }
  return false;
}

bool kelXmlCannotHoldBytes(const char *src, size_t n, bool xml11, bool utf8) {
  const auto *b = reinterpret_cast<const unsigned char *>(src);
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = b[i];
    if (c < 0x20) {
      if (c == 0 || (!xml11 && c != '\t' && c != '\n' && c != '\r')) return true;
    } else if (utf8 && i + 2 < n) {
      if (c == 0xED && b[i + 1] >= 0xA0 && b[i + 1] <= 0xBF) return true;  // U+D800..U+DFFF
      if (c == 0xEF && b[i + 1] == 0xBF && (b[i + 2] == 0xBE || b[i + 2] == 0xBF)) return true;
    }
  }
  return false;
}

bool kelDeclaresXml11(const std::string &header) {
  if (header.compare(0, 5, "<?xml") != 0) return false;
  const size_t end = header.find("?>");
  size_t at = header.find("version", 5);
  if (at == std::string::npos || at > end) return false;
  at = header.find_first_not_of(" \t\r\n", at + 7);
  if (at == std::string::npos || header[at] != '=') return false;
  at = header.find_first_not_of(" \t\r\n", at + 1);
  if (at == std::string::npos || (header[at] != '"' && header[at] != '\'')) return false;
  return header.compare(at + 1, 4, "1.1" + std::string(1, header[at])) == 0;
}

int kelEntityReplaceUCS(KelCallContext *ctx, XMLCh *dest, const XMLCh *src, int capacity,
                        int *status, char *msg) {
  int written = 0;
  for (const XMLCh *p = src; *p; ++p) {
    size_t len;
    const XMLCh *entity = kelEntityOf(*p, &len);
    if (written + static_cast<int>(len) + 1 > capacity) {
      if (status) *status = kelSqlStateTable[KELG002E].code;
      if (msg) kelSetMessage(ctx, msg, KELG002E);
      return -1;
    }
    if (entity != nullptr) std::memcpy(dest + written, entity, len * sizeof(XMLCh));
    else dest[written] = *p;
    written += static_cast<int>(len);
  }
  if (capacity < 1) {
    if (status) *status = kelSqlStateTable[KELG002E].code;
    if (msg) kelSetMessage(ctx, msg, KELG002E);
    return -1;
  }
  dest[written] = 0;
  return written + 1;
}

int kelEntityReplaceUCSRealloc(KelCallContext *ctx, XMLCh **buf, const XMLCh *src, int *capacity,
                               int *status, char *msg) {
  int written = 0;
  for (const XMLCh *p = src; *p; ++p) {
    size_t len;
    const XMLCh *entity = kelEntityOf(*p, &len);
    if (*buf == nullptr || written + static_cast<int>(len) + 1 > *capacity) {
      int want = written + static_cast<int>(len) + 1;
      auto *grown = static_cast<XMLCh *>(std::realloc(*buf, static_cast<size_t>(want) * sizeof(XMLCh)));
      if (grown == nullptr) {
        if (status) *status = kelSqlStateTable[KELG002E].code;
        if (msg) return kelFail(ctx, msg, nullptr, KELG002E);
      }
      *buf = grown;
      *capacity = want;
    }
    if (entity != nullptr) std::memcpy(*buf + written, entity, len * sizeof(XMLCh));
    else (*buf)[written] = *p;
    written += static_cast<int>(len);
  }
  if (*buf == nullptr || *capacity < written + 1) {
    auto *grown = static_cast<XMLCh *>(std::realloc(*buf, static_cast<size_t>(written + 1) * sizeof(XMLCh)));
    if (grown == nullptr) {
      if (status) *status = kelSqlStateTable[KELG002E].code;
      if (msg) return kelFail(ctx, msg, nullptr, KELG002E);
    }
    *buf = grown;
    *capacity = written + 1;
  }
  (*buf)[written] = 0;
  return 0;
}

int kelEntityReplace(KelEntityReplaceRec *rec) {
  std::u16string escaped;
  try {
    kelAppendEscaped(escaped, rec->src, std::char_traits<XMLCh>::length(rec->src));
  } catch (const std::bad_alloc &) {
    if (rec->status) *rec->status = kelSqlStateTable[KELG002E].code;
    if (rec->msg) kelSetMessage(rec->ctx, rec->msg, KELG002E);
    return -1;
  }
  int need = static_cast<int>(escaped.size() * 4 + 4);
  if (*rec->out == nullptr || *rec->capacity < need) {
    auto *grown = static_cast<char *>(std::realloc(*rec->out, static_cast<size_t>(need)));
    if (grown == nullptr) {
      if (rec->status) *rec->status = kelSqlStateTable[KELG002E].code;
      if (rec->msg) kelSetMessage(rec->ctx, rec->msg, KELG002E);
      return -1;
    }
    *rec->out = grown;
    *rec->capacity = need;
  }
  if (KEL_wcstombsFunction(rec->ctx, *rec->out, escaped.c_str(), *rec->capacity) < 0) {
    if (rec->status) *rec->status = kelSqlStateTable[KELG002E].code;
    if (rec->msg) kelSetMessage(rec->ctx, rec->msg, KELG002E);
    return -1;
  }
  return 0;
}

xercesc::DOMNode *kelGetFirstTaggedChildElement(KelCallContext *ctx, const char *name,
                                                xercesc::DOMNode *node) {
  KEL_TRACE(ctx, "Entered, tagged child name = %s\n", name != nullptr ? name : "");
  if (node == nullptr || name == nullptr) return nullptr;
  char converted[2049];
  for (xercesc::DOMNode *child = node->getFirstChild(); child != nullptr; child = child->getNextSibling()) {
    const XMLCh *childName = child->getNodeName();
    size_t n = std::char_traits<XMLCh>::length(childName);
    if (n * 4 + 4 > sizeof converted) continue;  // longer than any name compared here
    if (KEL_wcstombsFunction(ctx, converted, childName, sizeof converted) < 0) continue;
    if (std::strcmp(converted, name) == 0) return child;
  }
  return nullptr;
}
