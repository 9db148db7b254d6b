/*
 * kelvalidate.cpp - DTD and schema validation (one engine that keeps its readers and a DTD's
 * grammar between the documents of a statement), and the server-file access check (whose rule
 * lives in the runtime's kelaccess, shared with every function that opens server files).
 */
#include "kelvalidate.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/framework/XMLValidityCodes.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLMsgLoader.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/validators/DTD/DTDElementDecl.hpp>
#include <xercesc/validators/DTD/DTDEntityDecl.hpp>
#include <xercesc/validators/DTD/DTDGrammar.hpp>
#include <xercesc/validators/common/Grammar.hpp>

#include "kelSgDoc.h"
#include "kelSgDocHandler.h"
#include "kelaccess.h"
#include "kelarena.h"
#include "kelcodepage.h"
#include "kelcontentmodel.h"
#include "kelctx.h"
#include "kelentity.h"
#include "kelmsg.h"
#include "keltrace.h"
#include "kelvalreport.h"

using xercesc::XMLUni;

namespace {

// What loading the schemas of one document may add to the schema reader's memory.
constexpr size_t KEL_SCHEMA_LOAD_BYTES = size_t{256} << 20;

const XMLCh kDocBufferId[] = u"IdForDocBuffer";

std::string first299(const char *text) {
  return std::string(text, strnlen(text, 299));
}

// The encoding name of the database code page; false when it cannot be named.
bool dbEncoding(KelCallContext *ctx, std::u16string *name, char *sqlstate, char *msg) {
  UChar buf[101] = {0};
  int32_t dbCp = ctx != nullptr && ctx->codePages != nullptr ? ctx->codePages->dbCodePage : 0;
  if (KEL_getEncoding(ctx, dbCp, buf, 101, sqlstate, msg) < 0) return false;
  name->assign(buf);
  return true;
}

// A reader kept between documents, the arena it allocates from (declared first, so that it
// goes after the reader: everything the parser leaves behind goes with it), and the resolver
// every parse of it asks first.
struct Reader {
  std::unique_ptr<KelArena> arena;
  std::unique_ptr<xercesc::SAX2XMLReaderImpl> impl;
  std::unique_ptr<KelEntityResolver> guard;
  void make(KelCallContext *ctx) {
    arena = std::make_unique<KelArena>();
    impl = kelCreateReader(arena.get());
    guard = std::make_unique<KelEntityResolver>(ctx, nullptr);
  }
  void drop() {
    impl.reset();
    guard.reset();
    arena.reset();
  }
};

/*
 * True for the parser's text of an error in character data: text where the content model
 * allows none, white space a standalone document may not have there.  The parser reports it
 * when the text ends, just before the start tag that follows, and sends no text event for it:
 * the error belongs to the element around the text, not to the element that starts next.  The
 * texts are the parser's own, taken from its message set once.
 */
bool isTextError(const XMLCh *text) {
  static const std::vector<std::u16string> texts = [] {
    std::vector<std::u16string> out;
    std::unique_ptr<xercesc::XMLMsgLoader> loader(xercesc::XMLPlatformUtils::loadMsgSet(XMLUni::fgValidityDomain));
    XMLCh buf[512];
    for (xercesc::XMLValid::Codes code : {xercesc::XMLValid::NoCharDataInCM, xercesc::XMLValid::NoWSForStandalone})
      if (loader != nullptr && loader->loadMsg(code, buf, 511)) out.emplace_back(buf);
    return out;
  }();
  if (text == nullptr) return false;
  for (const std::u16string &t : texts)
    if (t == text) return true;
  return false;
}

// The last step of a system id, as a report row names a DTD file.
std::u16string lastStep(const XMLCh *systemId) {
  std::u16string id(systemId != nullptr ? systemId : u"");
  size_t slash = id.find_last_of(u'/');
  return slash == std::u16string::npos ? id : id.substr(slash + 1);
}

/*
 * A validation handler that records every error in a report instead of ending the parse at
 * the first: the parse goes on after a validity error and stops at a fatal one (or when the
 * report is full).  While collecting is false it behaves as its base (the DTD loaded alone).
 */
template <class Base>
class Reporting : public Base {
 public:
  template <class... Args>
  explicit Reporting(KelReportCollector *report, Args &&...args)
      : Base(std::forward<Args>(args)...), report_(report) {}
  void setDocumentLocator(const xercesc::Locator *locator) override {
    Base::setDocumentLocator(locator);
    locator_ = locator;
  }
  void startElement(const XMLCh *uri, const XMLCh *localname, const XMLCh *qname,
                    const xercesc::Attributes &attrs) override {
    afterDtd_ = false;
    report_->startElement(qname);
    Base::startElement(uri, localname, qname, attrs);
    stopIfCut();
  }
  void endElement(const XMLCh *uri, const XMLCh *localname, const XMLCh *qname) override {
    stopIfCut();
    Base::endElement(uri, localname, qname);
    report_->endElement();
  }
  void characters(const XMLCh *, const XMLSize_t) override { content(); }
  void ignorableWhitespace(const XMLCh *, const XMLSize_t) override { content(); }
  void processingInstruction(const XMLCh *, const XMLCh *) override { content(); }
  void endDocument() override { stopIfCut(); }
  void startDocument() override {
    inDtd_ = afterDtd_ = false;
    Base::startDocument();
  }
  void startDTD(const XMLCh *name, const XMLCh *publicId, const XMLCh *systemId) override {
    inDtd_ = true;
    dtdTexts_.clear();
    documentId_.assign(locator_ != nullptr && locator_->getSystemId() != nullptr ? locator_->getSystemId() : u"");
    Base::startDTD(name, publicId, systemId);
  }
  void endDTD() override {
    Base::endDTD();
    inDtd_ = false;
    afterDtd_ = true;
    if (locator_ != nullptr) {
      dtdEndLine_ = static_cast<long>(locator_->getLineNumber());
      dtdEndColumn_ = static_cast<long>(locator_->getColumnNumber());
    }
  }
  xercesc::InputSource *resolveEntity(const XMLCh *publicId, const XMLCh *systemId) override {
    // Where a refused entity ends the parse: the place that asked for it.
    if (locator_ != nullptr) {
      line_ = static_cast<long>(locator_->getLineNumber());
      column_ = static_cast<long>(locator_->getColumnNumber());
      // The document's place that asks for a DTD file: where the file's errors are reported.
      if (inDtd_ && inDocument(locator_->getSystemId())) {
        askedLine_ = line_;
        askedColumn_ = column_;
      }
    }
    return Base::resolveEntity(publicId, systemId);
  }
  void error(const xercesc::SAXParseException &e) override {
    if (!collecting) Base::error(e);
    // A document the DTD given is not applied to gets the one row that says so, not a row for
    // each of its elements.
    if constexpr (std::is_base_of_v<kelValidateHandler, Base>) Base::refuseWithoutDoctype();
    long line = static_cast<long>(e.getLineNumber()), column = static_cast<long>(e.getColumnNumber());
    std::u16string text;
    const bool aboutDtd = dtdRow(e, &line, &column, &text);
    if (aboutDtd && text.empty()) return;  // reported already
    // The row that says the report was cut gets its path from the next event, which ends the
    // parse.
    if (!report_->add(line, column, aboutDtd ? text.c_str() : e.getMessage(), false) && cut_ == nullptr)
      cut_ = std::make_unique<xercesc::SAXParseException>(e);
    if (aboutDtd || isTextError(e.getMessage())) report_->contentEvent();
  }
  void fatalError(const xercesc::SAXParseException &e) override {
    if (!collecting) Base::fatalError(e);
    long line = static_cast<long>(e.getLineNumber()), column = static_cast<long>(e.getColumnNumber());
    std::u16string text;
    const bool aboutDtd = dtdRow(e, &line, &column, &text) && !text.empty();
    report_->add(line, column, aboutDtd ? text.c_str() : e.getMessage(), true);
    throw e;
  }
  long line() const { return line_; }
  long column() const { return column_; }
  bool collecting = true;

 private:
  void content() {
    stopIfCut();
    report_->contentEvent();
  }
  bool inDocument(const XMLCh *systemId) const {
    return documentId_ == std::u16string_view(systemId != nullptr ? systemId : u"");
  }
  /*
   * An error about the DTD: true when e was found while the DOCTYPE was read, or is the
   * parser's check of the declarations once the DOCTYPE is over.  Such a row has no element
   * path and is reported once: the parser checks some declarations twice (an element with two
   * ID attributes at its ATTLIST and again after the DOCTYPE), and the second time gives the
   * same text, so *text is left empty for it.  An error inside a DTD file (the external subset,
   * a module) is placed at the document's place that asked for the file, its text saying where
   * in which file: its own line and column are of another file than the rest of the report.
   * Else *text is the row's text.  False for any other error.
   */
  bool dtdRow(const xercesc::SAXParseException &e, long *line, long *column, std::u16string *text) {
    const XMLCh *message = e.getMessage() != nullptr ? e.getMessage() : u"";
    if (afterDtd_) {
      bool seen = false;
      for (const std::u16string &t : dtdTexts_) seen = seen || t == message;
      if (seen) {
        text->clear();
        return true;
      }
      // The parser's check after the DOCTYPE is reported just after its ">": where the
      // locator stood at the end of the DTD when an external subset was read, one column on
      // when the DOCTYPE had an internal subset only ("]>").  An error in the root's start tag
      // comes at least two columns after that ("<" and the root's name).
      if (*line != dtdEndLine_ || *column < dtdEndColumn_ || *column > dtdEndColumn_ + 1) return false;
      text->assign(message);
      return true;
    }
    if (!inDtd_) return false;
    dtdTexts_.emplace_back(message);
    text->clear();
    if (!inDocument(e.getSystemId())) {
      *text = u"in the DTD ";
      if (std::u16string_view(e.getSystemId() != nullptr ? e.getSystemId() : u"") == KEL_DTD_TEXT_ID) {
        *text += u"given";
      } else {
        *text += u'"';
        *text += lastStep(e.getSystemId());
        *text += u'"';
      }
      const std::string where = " at line " + std::to_string(*line) + ", column " + std::to_string(*column) + ": ";
      text->append(where.begin(), where.end());
      *line = askedLine_;
      *column = askedColumn_;
    }
    *text += message;
    return true;
  }
  void stopIfCut() {
    if (cut_ != nullptr) throw xercesc::SAXParseException(*cut_);
  }
  std::unique_ptr<xercesc::SAXParseException> cut_;
  KelReportCollector *report_;
  const xercesc::Locator *locator_ = nullptr;
  long line_ = 0, column_ = 0;
  bool inDtd_ = false;     // between the start and the end of the DOCTYPE
  bool afterDtd_ = false;  // after the DOCTYPE, before the root element
  std::u16string documentId_;  // the document's system id
  long askedLine_ = 0, askedColumn_ = 0;    // the document's place that asked for a DTD file
  long dtdEndLine_ = 0, dtdEndColumn_ = 0;  // where the end of the DOCTYPE left the locator
  std::vector<std::u16string> dtdTexts_;    // the parser's texts of the DTD's errors so far
};

/*
 * The parse of a report: a refused entity ends it with a row of its whole text, at its place
 * (or at the place that asked for it), before the failure goes on to the parser layer's edge.
 */
template <class Handler>
void reportParse(xercesc::SAX2XMLReader &reader, xercesc::InputSource &src, const Handler &handler,
                 KelReportCollector *report) {
  try {
    reader.parse(src);
  } catch (const KELException &e) {
    if (std::strcmp(e.sqlstate(), "38X13") == 0 && e.text()[0] != '\0') {
      if (e.line() > 0)
        report->addFailure(e.line(), e.column(), e.text());
      else
        report->addFailure(handler.line(), handler.column(), e.text());
    }
    throw;
  }
}

/*
 * The end of a report's parse: 0 when the parse ended by itself, at a fatal error or at the
 * cut, or by a parser failure without an error event (added as the last row, at the place of
 * the entity that asked for it); -1 with sqlstate and msg for anything else (no memory).
 */
template <class Handler>
int finishReport(int parseRc, const Handler &handler, KelReportCollector *report, char *sqlstate,
                 char *msg) {
  if (parseRc < 0 && !report->stopped()) {
    if (std::strcmp(sqlstate, "38X13") != 0) return -1;
    report->addFailure(handler.line(), handler.column(), msg);
  }
  if (msg) msg[0] = '\0';
  kelSetState(sqlstate, "00000");
  return 0;
}

// Parses src with reader; 1 when the parse ends without an error, else 0.
int validateWith(KelCallContext *ctx, xercesc::SAX2XMLReader &reader, xercesc::InputSource &src,
                 char *sqlstate, char *msg) {
  if (kelGuardedParse(
          ctx, [&] { reader.parse(src); }, sqlstate, msg, KelOtherFailure::Silent) < 0)
    return 0;
  kelSetState(sqlstate, "00000");
  return 1;
}

/*
 * Marks the element and attribute declarations of a DTD loaded on its own as external, as they
 * are when a document's parse reads the DTD as its external subset.  The parser reads a DTD
 * given alone as a document, so its declarations were not external, and a standalone="yes"
 * document checked against the kept grammar passed the checks that hang on them: an attribute
 * that takes its default value from the DTD, white space in element content.
 */
void markDeclarationsExternal(const xercesc::Grammar *grammar) {
  if (grammar == nullptr || grammar->getGrammarType() != xercesc::Grammar::DTDGrammarType) return;
  const auto *dtd = static_cast<const xercesc::DTDGrammar *>(grammar);
  xercesc::NameIdPoolEnumerator<xercesc::DTDElementDecl> elements = dtd->getElemEnumerator();
  while (elements.hasMoreElements()) {
    xercesc::DTDElementDecl &element = elements.nextElement();
    element.setExternalElemDeclaration(true);
    if (!element.hasAttDefs()) continue;
    xercesc::XMLAttDefList &attributes = element.getAttDefList();
    for (XMLSize_t i = 0; i < attributes.getAttDefCount(); ++i) attributes.getAttDef(i).setExternalAttDeclaration(true);
  }
}

}  // namespace

/*
 * The general entities and notations of a document's internal subset that the DTD given
 * declares too.  The internal subset is read first and its declarations win: one of an entity
 * the DTD given uses in an attribute's default or #FIXED value (<!ATTLIST a k CDATA #FIXED
 * "&v;">) changed that value, so a document could pass the DTD given with a value it forbids.
 * The parser ignores the DTD given's declaration without a word to the reader's handlers; this
 * sees it (first: the first such name, empty while there is none).  One is made per document.
 */
class ShadowedEntities : public KelScannerTap {
 public:
  explicit ShadowedEntities(xercesc::SAX2XMLReaderImpl &reader) : KelScannerTap(reader) {}
  void resetDocType() override {
    first.clear();
    internal_.clear();
    inExternal_ = false;
    KelScannerTap::resetDocType();
  }
  void startExtSubset() override {
    inExternal_ = true;
    KelScannerTap::startExtSubset();
  }
  void endExtSubset() override {
    inExternal_ = false;
    KelScannerTap::endExtSubset();
  }
  void entityDecl(const xercesc::DTDEntityDecl &entity, const bool isPEDecl, const bool isIgnored) override {
    if (!isPEDecl && !entity.getIsSpecialChar())
      note(u"entity \"" + std::u16string(entity.getName()) + u"\"", isIgnored);
    KelScannerTap::entityDecl(entity, isPEDecl, isIgnored);
  }
  // So does a notation the internal subset declares again: its system id replaced the DTD
  // given's.
  void notationDecl(const xercesc::XMLNotationDecl &notation, const bool isIgnored) override {
    note(u"notation \"" + std::u16string(notation.getName()) + u"\"", isIgnored);
    KelScannerTap::notationDecl(notation, isIgnored);
  }
  std::u16string first;  // as the refusal names it: entity "v", notation "png"

 private:
  void note(const std::u16string &what, bool isIgnored) {
    if (!inExternal_ && !isIgnored) internal_.push_back(what);
    if (inExternal_ && isIgnored && first.empty() &&
        std::find(internal_.begin(), internal_.end(), what) != internal_.end())
      first = what;
  }
  bool inExternal_ = false;
  std::vector<std::u16string> internal_;
};

struct KelValidator::State {
  Reader dtdReader, schemaReader;
  // The DTD of the last documents: known, where it is, its encoding flag, its text or name.
  bool dtdKnown = false;
  int dtdWhere = 0, dtdEncFlag = 0;
  std::string dtd;
  int dtdUses = 0;  // documents validated against it in a row
  const xercesc::Grammar *grammar = nullptr;  // the kept grammar, measured when loaded; else null
  bool grammarLoaded = false;
  bool grammarFailed = false;  // the DTD did not load on its own: every document reads it anew
};

KelValidator::KelValidator(KelCallContext *ctx) : ctx_(ctx), state_(new State) {}

KelValidator::~KelValidator() {
  delete state_;
}

int KelValidator::validate(const char *doc, size_t docLength, int inMemory, int cpFlag,
                           const char *dtd, int dtdEncFlag, const char *dtdId, char *sqlstate,
                           char *msg, int dtdInMemory) {
  return checkDtd(doc, docLength, inMemory, cpFlag, dtd, dtdEncFlag, dtdId, sqlstate, msg, dtdInMemory,
                  nullptr);
}

int KelValidator::report(const char *doc, size_t docLength, int inMemory, int cpFlag, const char *dtd,
                         int dtdEncFlag, const char *dtdId, int dtdInMemory, KelReportCollector *report,
                         char *sqlstate, char *msg) {
  return checkDtd(doc, docLength, inMemory, cpFlag, dtd, dtdEncFlag, dtdId, sqlstate, msg, dtdInMemory,
                  report) == 1
             ? 0
             : -1;
}

int KelValidator::checkDtd(const char *doc, size_t docLength, int inMemory, int cpFlag, const char *dtd,
                           int dtdEncFlag, const char *dtdId, char *sqlstate, char *msg, int dtdInMemory,
                           KelReportCollector *report) {
  KelCallContext *ctx = ctx_;
  State &s = *state_;
  if (msg) msg[0] = '\0';
  kelSetState(sqlstate, "00000");
  if (doc == nullptr) {
    kelFail(ctx, msg, sqlstate, KELG004E);
    return 0;
  }
  KEL_TRACE(
      ctx, "Entered, inMemory %d, cpFlag %d, dtdId %s, doc %s, dtd %s\n", inMemory, cpFlag,
      dtdId != nullptr ? dtdId : "(NULL)",
      inMemory == 1 ? std::string(doc, std::min<size_t>(docLength, 299)).c_str()
                    : first299(doc).c_str(),
      dtd != nullptr ? (dtdInMemory == KEL_DTD_TEXT ? first299(dtd).c_str() : dtd) : "(NULL)");
  try {
    std::unique_ptr<xercesc::InputSource> src =
        kelOpenInput(ctx, doc, docLength, inMemory, cpFlag, kDocBufferId, sqlstate, msg);
    if (src == nullptr) return 0;
    std::u16string id16, encoding;
    if (dtdId != nullptr) {
      id16.assign(std::strlen(dtdId) * 4 + 4, u'\0');
      int32_t n = KEL_mbstowcsFunction(ctx, id16.data(), dtdId, static_cast<int32_t>(id16.size()));
      if (n < 0) {
        if (msg) kelSetMessage(ctx, msg, KELD000E);
        kelSetState(sqlstate, "00000");
        return 0;
      }
      id16.resize(static_cast<size_t>(n));
    }
    if (!dbEncoding(ctx, &encoding, sqlstate, msg)) return 0;
    // The handler: the first error ends the parse, or a report collects every error.
    const XMLCh *dtdEncoding = dtdEncFlag == 1 ? encoding.c_str() : nullptr;
    std::optional<kelValidateHandler> plain;
    std::optional<Reporting<kelValidateHandler>> reporting;
    if (report != nullptr) {
      reporting.emplace(report, ctx, dtd, id16.c_str(), dtdEncoding, dtdInMemory);
      report->begin();
    } else {
      plain.emplace(ctx, dtd, id16.c_str(), dtdEncoding, dtdInMemory);
    }
    kelValidateHandler &handler = report != nullptr ? static_cast<kelValidateHandler &>(*reporting) : *plain;

    Reader &r = s.dtdReader;
    if (r.impl != nullptr && r.arena->pastKeep()) {
      // The kept grammar goes with the reader; the next documents load it again.
      r.drop();
      s.dtdKnown = s.grammarLoaded = s.grammarFailed = false;
      s.grammar = nullptr;
    }
    if (r.impl == nullptr) {
      r.make(ctx);
      r.impl->setFeature(XMLUni::fgSAX2CoreValidation, true);
      r.impl->setFeature(XMLUni::fgSAX2CoreNameSpaces, false);
      r.impl->setFeature(XMLUni::fgSAX2CoreNameSpacePrefixes, false);
      // A grammar this engine loads is never replaced by what a document declares.
      r.impl->setFeature(XMLUni::fgXercesCacheGrammarFromParse, false);
      r.impl->setFeature(XMLUni::fgXercesIgnoreCachedDTD, true);
      kelSecureReader(*r.impl, r.guard.get());
    }
    // Lexical handler too: with a DTD given it refuses a DOCTYPE that would never read it.
    KelReaderRun attach(*r.impl, *r.guard, &handler, &handler, &handler, &handler);

    // The same DTD as for the last document?  From the second document on its grammar is used.
    const bool same = dtd != nullptr && s.dtdKnown && s.dtdWhere == dtdInMemory &&
                      s.dtdEncFlag == dtdEncFlag && s.dtd == dtd;
    if (!same) {
      if (s.grammarLoaded) {
        r.impl->resetCachedGrammarPool();
        r.impl->setFeature(XMLUni::fgXercesUseCachedGrammarInParse, false);
      }
      s.grammarLoaded = s.grammarFailed = false;
      s.grammar = nullptr;
      s.dtdKnown = dtd != nullptr;
      s.dtdWhere = dtdInMemory;
      s.dtdEncFlag = dtdEncFlag;
      s.dtd.assign(dtd != nullptr ? dtd : "");
      s.dtdUses = 0;
    }
    if (s.dtdKnown && ++s.dtdUses == 2 && !s.grammarLoaded && !s.grammarFailed) {
      // The DTD alone, as the handler answers the document's request for it (what it reads
      // itself goes through the reader's resolver, as in a document's parse).  A DTD that does
      // not load on its own is left to every parse, which reports its failure in place.
      char loadState[6];
      char loadMsg[KEL_MSG_BUFFER + 1];
      std::unique_ptr<xercesc::InputSource> dtdSrc;
      const xercesc::Grammar *loaded = nullptr;
      if (reporting) reporting->collecting = false;
      s.grammarFailed =
          kelGuardedParse(
              ctx,
              [&] {
                dtdSrc.reset(handler.openDtdGiven());
                if (dtdSrc != nullptr)
                  loaded = r.impl->loadGrammar(*dtdSrc, xercesc::Grammar::DTDGrammarType, true);
              },
              loadState, loadMsg, KelOtherFailure::Silent) < 0 ||
          dtdSrc == nullptr;
      // A grammar whose content models are too complex is not kept: each document then reads
      // the DTD and is refused at its first element, in place.
      const XMLCh *element = nullptr;
      std::string reason;
      if (!s.grammarFailed && !kelMeasureContentModels(loaded, &element, &reason)) {
        s.grammarFailed = true;
        std::snprintf(loadMsg, sizeof loadMsg, "a content model is too complex to check: %s", reason.c_str());
      }
      if (!s.grammarFailed) markDeclarationsExternal(loaded);
      s.grammar = s.grammarFailed ? nullptr : loaded;
      if (reporting) reporting->collecting = true;
      if (s.grammarFailed) {
        r.impl->resetCachedGrammarPool();
        KEL_TRACE(ctx, "DTD %s not kept: %s\n", dtdId != nullptr ? dtdId : "", loadMsg);
      } else {
        r.impl->setFeature(XMLUni::fgXercesUseCachedGrammarInParse, true);
        s.grammarLoaded = true;
      }
    }
    handler.models.watch(r.impl.get(), s.grammar);
    // The declarations of the document's DTD, for the handler to keep its internal subset from
    // changing the DTD given (not while the DTD was loaded alone above).
    struct Declarations {
      xercesc::SAX2XMLReaderImpl &reader;
      ~Declarations() { reader.setDeclarationHandler(nullptr); }
    } declarations{*r.impl};
    if (dtd != nullptr) r.impl->setDeclarationHandler(&handler);
    std::optional<ShadowedEntities> shadowed;
    if (dtd != nullptr) {
      shadowed.emplace(*r.impl);
      handler.shadowedEntity = &shadowed->first;
    }
    struct Unwatch {
      kelValidateHandler &h;
      ~Unwatch() { h.shadowedEntity = nullptr; }
    } unwatch{handler};
    if (report == nullptr) return validateWith(ctx, *r.impl, *src, sqlstate, msg);
    int rc = kelGuardedParse(
        ctx, [&] { reportParse(*r.impl, *src, *reporting, report); }, sqlstate, msg, KelOtherFailure::Silent);
    return finishReport(rc, *reporting, report, sqlstate, msg) == 0 ? 1 : 0;
  } catch (const std::bad_alloc &) {
    kelFail(ctx, msg, sqlstate, KELG002E);
    return 0;
  }
}

int KelValidator::validateSchema(const char *doc, size_t docLength, int inMemory, int cpFlag,
                                 const XMLCh *schemaLocation, char *sqlstate, char *msg) {
  return checkSchema(doc, docLength, inMemory, cpFlag, schemaLocation, sqlstate, msg, nullptr);
}

int KelValidator::reportSchema(const char *doc, size_t docLength, int inMemory, int cpFlag,
                               const XMLCh *schemaLocation, KelReportCollector *report, char *sqlstate,
                               char *msg) {
  return checkSchema(doc, docLength, inMemory, cpFlag, schemaLocation, sqlstate, msg, report) == 1 ? 0 : -1;
}

int KelValidator::checkSchema(const char *doc, size_t docLength, int inMemory, int cpFlag,
                              const XMLCh *schemaLocation, char *sqlstate, char *msg,
                              KelReportCollector *report) {
  KelCallContext *ctx = ctx_;
  if (msg) msg[0] = '\0';
  kelSetState(sqlstate, "00000");
  if (doc == nullptr) {
    kelFail(ctx, msg, sqlstate, KELG004E);
    return 0;
  }
  KEL_TRACE(ctx, "Entered, doc = %s \n",
            inMemory == 1 ? std::string(doc, std::min<size_t>(docLength, 299)).c_str()
                          : first299(doc).c_str());
  try {
    std::unique_ptr<xercesc::InputSource> src =
        kelOpenInput(ctx, doc, docLength, inMemory, cpFlag, kDocBufferId, sqlstate, msg);
    if (src == nullptr) return 0;
    std::u16string encoding;
    if (!dbEncoding(ctx, &encoding, sqlstate, msg)) return 0;
    std::optional<kelSchemaHandler> plain;
    std::optional<Reporting<kelSchemaHandler>> reporting;
    if (report != nullptr) {
      reporting.emplace(report, ctx, encoding.c_str());
      report->begin();
    } else {
      plain.emplace(ctx, encoding.c_str());
    }
    kelSchemaHandler &handler = report != nullptr ? static_cast<kelSchemaHandler &>(*reporting) : *plain;
    Reader &r = state_->schemaReader;
    if (r.impl == nullptr) {
      r.make(ctx);
      r.guard->limitSchemaLoads(r.arena.get(), KEL_SCHEMA_LOAD_BYTES);
      r.impl->setFeature(XMLUni::fgSAX2CoreNameSpaces, true);
      r.impl->setFeature(XMLUni::fgXercesSchema, true);
      // Full checking builds every model's automaton while the schema loads; it is run by the
      // handler's schema watch once the models are measured.
      r.impl->setFeature(XMLUni::fgXercesSchemaFullChecking, false);
      r.impl->setFeature(XMLUni::fgXercesDynamic, true);
      r.impl->setFeature(XMLUni::fgSAX2CoreValidation, true);
      kelSecureReader(*r.impl, r.guard.get());
    }
    r.impl->setProperty(XMLUni::fgXercesSchemaExternalNoNameSpaceSchemaLocation,
                        const_cast<XMLCh *>(schemaLocation != nullptr ? schemaLocation : u""));
    // A schema given decides alone: a document naming its own schema for its namespace could
    // otherwise pick one that takes anything.
    r.guard->onlyGivenSchema(schemaLocation != nullptr && schemaLocation[0] != 0);
    std::optional<KelReaderRun> attach(std::in_place, *r.impl, *r.guard, &handler, &handler, nullptr, &handler);
    handler.models.watch(r.impl.get(), nullptr);
    handler.schemas.watch(r.impl.get(), r.guard.get());
    int rc = report == nullptr ? validateWith(ctx, *r.impl, *src, sqlstate, msg)
                               : kelGuardedParse(
                                     ctx, [&] { reportParse(*r.impl, *src, *reporting, report); }, sqlstate, msg,
                                     KelOtherFailure::Silent);
    r.guard->schemasLoaded();
    attach.reset();
    const bool limitReached = r.arena->limitReached();
    if (limitReached) {
      // The schemas, not the machine, ran out of room: a parse error, and a reader not used again.
      std::string text = "the schemas of the document need more than " +
                         std::to_string(KEL_SCHEMA_LOAD_BYTES >> 20) + " MiB to load";
      KEL_TRACE(ctx, "%s\n", text.c_str());
      if (msg) kelSetMessage(ctx, msg, KELQ047E, "0", "0", text.c_str());
      kelSetState(sqlstate, "38X13");
      rc = report == nullptr ? 0 : -1;
    }
    if (limitReached || r.arena->pastKeep()) r.drop();
    if (report == nullptr) return rc;
    return finishReport(rc, *reporting, report, sqlstate, msg) == 0 ? 1 : 0;
  } catch (const std::bad_alloc &) {
    kelFail(ctx, msg, sqlstate, KELG002E);
    return 0;
  }
}

int kelValidate(KelCallContext *ctx, const char *doc, int inMemory, int cpFlag, const char *dtd,
                int dtdEncFlag, const char *dtdId, char *sqlstate, char *msg, int dtdInMemory) {
  try {
    KelValidator validator(ctx);
    return validator.validate(doc, doc != nullptr && inMemory == 1 ? std::strlen(doc) : 0, inMemory,
                              cpFlag, dtd, dtdEncFlag, dtdId, sqlstate, msg, dtdInMemory);
  } catch (const std::bad_alloc &) {
    kelFail(ctx, msg, sqlstate, KELG002E);
    return 0;
  }
}

int kelValidateSchema(KelCallContext *ctx, const char *doc, int inMemory, int cpFlag,
                      const XMLCh *schemaLocation, char *sqlstate, char *msg) {
  try {
    KelValidator validator(ctx);
    return validator.validateSchema(doc, doc != nullptr && inMemory == 1 ? std::strlen(doc) : 0,
                                    inMemory, cpFlag, schemaLocation, sqlstate, msg);
  } catch (const std::bad_alloc &) {
    kelFail(ctx, msg, sqlstate, KELG002E);
    return 0;
  }
}

int kelChkRegistry(KelCallContext *ctx, int writeFlag, const char *fileName, char *sqlstate,
                   char *msg) {
  return kelCheckAccess(ctx, writeFlag ? KEL_ACCESS_WRITE : KEL_ACCESS_READ, fileName, sqlstate,
                        msg);
}
