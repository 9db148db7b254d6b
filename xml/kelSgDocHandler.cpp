/*
 * kelSgDocHandler.cpp - the internal exception, attribute snapshots, node lists, and the
 * entity resolvers and error policies of the parses.
 */
#include "kelSgDocHandler.h"

#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/framework/XMLValidator.hpp>
#include <xercesc/internal/IGXMLScanner.hpp>
#include <xercesc/internal/SGXMLScanner.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/validators/common/Grammar.hpp>
#include <xercesc/validators/common/GrammarResolver.hpp>
#include <xercesc/validators/schema/SchemaGrammar.hpp>
#include <xercesc/validators/schema/identity/IdentityConstraintHandler.hpp>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "kelcodepage.h"
#include "kelcontentmodel.h"
#include "kelentity.h"
#include "kelctx.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "keltrace.h"
#include "kelvalidate.h"
#include "quarnmemberof.h"

namespace {

constexpr const char kUnit[] = "kelSgDocHandler";

// The encoding name of the database code page, or empty when it has none.
std::u16string dbEncoding(KelCallContext *ctx) {
  if (ctx == nullptr || ctx->codePages == nullptr) return std::u16string();
  UChar name[101] = {0};
  char state[6], msg[KEL_MSG_BUFFER + 1];
  if (KEL_getEncoding(ctx, ctx->codePages->dbCodePage, name, 101, state, msg) < 0) return std::u16string();
  return std::u16string(name);
}

// DTD text in memory; what names it in the parse's errors.
xercesc::InputSource *memorySource(const char *text, const XMLCh *systemId,
                                   const std::u16string &encoding, const char *what) {
  auto *src = new KelMemBufSource(reinterpret_cast<const XMLByte *>(text),
                                  text != nullptr ? std::strlen(text) : 0, systemId, false, what);
  if (!encoding.empty()) src->setEncoding(encoding.c_str());
  return src;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

KELException::KELException(KelCallContext *ctx, int msgNo, ...) : ctx_(ctx) {
  va_list args;
  va_start(args, msgNo);
  kelVsprint(ctx, msg_, msgNo, 0, args);
  va_end(args);
}

KELException KELException::internal(KelCallContext *ctx, const char *unit, int line) {
  KELException e;
  e.ctx_ = ctx;
  kelInternalError(ctx, e.msg_, nullptr, unit, line);
  return e;
}

KELException KELException::parseError(KelCallContext *ctx, long line, long column, const char *text) {
  KELException e;
  e.ctx_ = ctx;
  std::string l = std::to_string(line), c = std::to_string(column);
  kelSetMessage(ctx, e.msg_, KELQ047E, l.c_str(), c.c_str(), text != nullptr ? text : "");
  std::memcpy(e.state_, "38X13", 6);
  e.line_ = line;
  e.column_ = column;
  std::snprintf(e.text_, sizeof e.text_, "%s", text != nullptr ? text : "");
  return e;
}

KELException KELException::parseErrorAt(KelCallContext *ctx, const xercesc::Locator *where, const char *text) {
  return parseError(ctx, where != nullptr ? static_cast<long>(where->getLineNumber()) : 0,
                    where != nullptr ? static_cast<long>(where->getColumnNumber()) : 0, text);
}

void KELException::refuseAt(KelCallContext *ctx, const xercesc::Locator *where, const std::string &text) {
  KEL_TRACE(ctx, "%s\n", text.c_str());
  throw parseErrorAt(ctx, where, text.c_str());
}

// ---------------------------------------------------------------------------------------------

void KelAttrs::assign(const xercesc::Attributes &attrs) {
  count_ = attrs.getLength();
  if (entries_.size() < count_) entries_.resize(count_);
  for (size_t i = 0; i < count_; ++i) {
    Entry &e = entries_[i];
    const XMLCh *local = attrs.getLocalName(i);
    const XMLCh *qname = attrs.getQName(i);
    const XMLCh *value = attrs.getValue(i);
    e.qname.assign(qname != nullptr ? qname : u"");
    // Without namespace processing the local name is empty: the name is the qualified name.
    e.name.assign(local != nullptr && *local ? local : e.qname.c_str());
    e.value.assign(value != nullptr ? value : u"");
  }
}

void KelAttrs::check(size_t index) const {
  if (index >= count_) {
    KEL_TRACE(ctx_, "Index (%d) out of range.\n", static_cast<int>(index));
    throw KELException::internal(ctx_, kUnit, __LINE__);
  }
}

const XMLCh *KelAttrs::getName(size_t index) const {
  check(index);
  return entries_[index].name.c_str();
}

const XMLCh *KelAttrs::getQName(size_t index) const {
  check(index);
  return entries_[index].qname.c_str();
}

const XMLCh *KelAttrs::getValue(size_t index) const {
  check(index);
  return entries_[index].value.c_str();
}

const XMLCh *KelAttrs::getValue(const XMLCh *name) const {
  for (size_t i = 0; i < count_; ++i)
    if (entries_[i].name == name) return entries_[i].value.c_str();
  return nullptr;
}

size_t KelAttrs::setValue(const XMLCh *name, const XMLCh *value) {
  size_t changed = 0;
  for (size_t i = 0; i < count_; ++i) {
    if (entries_[i].name == name) {
      entries_[i].value.assign(value);
      ++changed;
    }
  }
  return changed;
}

// ---------------------------------------------------------------------------------------------

int KEL_NodeList::add(xercesc::DOMElement *element, char *msg) {
  try {
    nodes_.push_back(element);
  } catch (const std::bad_alloc &) {
    KEL_TRACE(ctx_, "Run out of memory to allocate %d number of nodes.\n", static_cast<int>(nodes_.size()));
    if (msg != nullptr) return kelFail(ctx_, msg, nullptr, KELG002E);
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------

kelDocEntityResolver::kelDocEntityResolver(KelCallContext *ctx, const char *dtdText, bool warningsFatal)
    : ctx_(ctx), dtdText_(dtdText), warningsFatal_(warningsFatal) {}

void kelDocEntityResolver::restart(const char *dtdText) {
  dtdText_ = dtdText;
  announced_ = false;
  systemId_.clear();
}

void kelDocEntityResolver::setSystemId(const XMLCh *systemId) {
  announced_ = systemId != nullptr;
  systemId_.assign(systemId != nullptr ? systemId : u"");
}

xercesc::InputSource *kelDocEntityResolver::resolveEntity(const XMLCh *publicId, const XMLCh *systemId) {
  if (!announced_) {
    KEL_TRACE(ctx_, "dtdId == NULL\n");
    return nullptr;
  }
  if (systemId == nullptr || systemId_ != systemId) {
    KEL_TRACE(ctx_, "dtdId and systemId do not match.\n");
    return nullptr;
  }
  KEL_TRACE(ctx_, "dtdId and systemId match.\n");
  return memorySource(dtdText_ != nullptr ? dtdText_ : "", KEL_REPLACEMENT_DTD_ID,
                      dtdText_ != nullptr ? dbEncoding(ctx_) : std::u16string(), "the DTD text");
}

void kelDocEntityResolver::warning(const xercesc::SAXParseException &e) {
  if (warningsFatal_) throw e;
}
void kelDocEntityResolver::error(const xercesc::SAXParseException &e) { throw e; }
void kelDocEntityResolver::fatalError(const xercesc::SAXParseException &e) { throw e; }

// ---------------------------------------------------------------------------------------------

kelValidateHandler::kelValidateHandler(KelCallContext *ctx, const char *dtd, const XMLCh *dtdId,
                                       const XMLCh *encoding, int dtdIsText)
    : ctx_(ctx), dtd_(dtd), dtdId_(dtdId != nullptr ? dtdId : u""), dtdIsText_(dtdIsText) {
  if (encoding != nullptr) encoding_.assign(encoding, std::min<size_t>(std::char_traits<XMLCh>::length(encoding), 100));
}

void kelValidateHandler::setDocumentLocator(const xercesc::Locator *locator) {
  kelReadAsXml10(locator);
  locator_ = locator;
  // A document begins: it has read no DOCTYPE yet (one the DTD loaded alone reported is not its).
  doctype_ = subsetAnswered_ = false;
  doctypeId_.clear();
}

void kelValidateHandler::startDTD(const XMLCh *, const XMLCh *, const XMLCh *systemId) {
  // The document's DOCTYPE: what a DTD loaded alone before it reported is not the document's.
  doctype_ = true;
  doctypeId_.assign(systemId != nullptr ? systemId : u"");
  subsetAnswered_ = false;
  inDtdGiven_ = false;
  subsetAttributes_.clear();
  givenElements_.clear();
  subsetParameterEntity_.clear();
  subsetElements_.clear();
  // Without the DOCTYPE's request for an external DTD the DTD given would never be read.  An
  // empty system id still asks for it (the parser passes none only when there is no id).
  if (dtd_ == nullptr || systemId != nullptr) return;
  KEL_TRACE(ctx_, "DOCTYPE without system id refused\n");
  throw KELException::parseErrorAt(ctx_, locator_,
                                   "the DOCTYPE names no external DTD, so the DTD given is not applied");
}

void KelModelWatch::atElement(KelCallContext *ctx, const xercesc::Locator *locator) {
  if (done_ || reader_ == nullptr) return;
  done_ = true;
  const xercesc::Grammar *grammar = reader_->getGrammar(xercesc::XMLUni::fgDTDEntityString);
  if (grammar == nullptr || grammar == measured_) return;
  const XMLCh *element = nullptr;
  std::string reason;
  if (kelMeasureContentModels(grammar, &element, &reason)) return;
  std::string text = "the content model of element \"" + kelToDb(ctx, element) + "\" is too complex to check: " + reason;
  KELException::refuseAt(ctx, locator, text);
}

namespace {

// The scanner behind a validator, and the grammars it has loaded: the parser library keeps both
// from its users, so they are reached through members its own classes may name.
struct ValidatorAccess : xercesc::XMLValidator {
  static xercesc::XMLScanner *scannerOf(xercesc::XMLValidator *validator) {
    xercesc::XMLScanner *(xercesc::XMLValidator::*get)() = &ValidatorAccess::getScanner;
    return (validator->*get)();
  }
};
struct ScannerAccess : xercesc::XMLScanner {
  static xercesc::GrammarResolver *grammarsOf(xercesc::XMLScanner *scanner) {
    xercesc::GrammarResolver *const xercesc::XMLScanner::*grammars = &ScannerAccess::fGrammarResolver;
    return scanner->*grammars;
  }
  // The declaration of the element the scanner has just read, whose start the handler is told.
  static const xercesc::XMLElementDecl *currentOf(const xercesc::XMLScanner *scanner) {
    const xercesc::ElemStack xercesc::XMLScanner::*elements = &ScannerAccess::fElemStack;
    const xercesc::ElemStack::StackElem *top = (scanner->*elements).topElement();
    return top != nullptr ? top->fThisElement : nullptr;
  }
};

}  // namespace

// The identity-constraint handler of a scanner: a private member of the scanner's class.  The
// explicit instantiations belong to the global namespace, and so do their tags.
struct IgConstraints {
  using Type = xercesc::IdentityConstraintHandler *xercesc::IGXMLScanner::*;
  friend Type member(IgConstraints);
};
struct SgConstraints {
  using Type = xercesc::IdentityConstraintHandler *xercesc::SGXMLScanner::*;
  friend Type member(SgConstraints);
};
template struct QuarnMemberOf<IgConstraints, &xercesc::IGXMLScanner::fICHandler>;
template struct QuarnMemberOf<SgConstraints, &xercesc::SGXMLScanner::fICHandler>;

namespace {

const xercesc::IdentityConstraintHandler *constraintsOf(xercesc::XMLScanner *scanner) {
  const XMLCh *name = scanner->getName();
  if (xercesc::XMLString::equals(name, xercesc::XMLUni::fgIGXMLScanner))
    return static_cast<xercesc::IGXMLScanner *>(scanner)->*member(IgConstraints{});
  if (xercesc::XMLString::equals(name, xercesc::XMLUni::fgSGXMLScanner))
    return static_cast<xercesc::SGXMLScanner *>(scanner)->*member(SgConstraints{});
  return nullptr;
}

// Turns the scanner's full schema checking on for one scope.
class FullChecking {
 public:
  explicit FullChecking(xercesc::XMLScanner *scanner) : scanner_(scanner) {
    scanner_->setValidationSchemaFullChecking(true);
  }
  ~FullChecking() { scanner_->setValidationSchemaFullChecking(false); }
  FullChecking(const FullChecking &) = delete;
  FullChecking &operator=(const FullChecking &) = delete;

 private:
  xercesc::XMLScanner *scanner_;
};

}  // namespace

void KelSchemaWatch::watch(xercesc::SAX2XMLReader *reader, KelEntityResolver *resolver) {
  reader_ = reader;
  resolver_ = resolver;
  asked_ = UINT64_MAX;
  checked_.clear();
  work_ = 0;
  scanner_ = nullptr;
  constraints_ = nullptr;
  elements_ = checks_ = 0;
  undeclared_.clear();
  if (resolver_ != nullptr) resolver_->startParse();
}

void KelSchemaWatch::countWork(KelCallContext *ctx, const xercesc::Locator *locator) {
  if (elements_ == 0) {
    xercesc::XMLValidator *validator = reader_ != nullptr ? reader_->getValidator() : nullptr;
    scanner_ = validator != nullptr ? ValidatorAccess::scannerOf(validator) : nullptr;
    constraints_ = scanner_ != nullptr ? constraintsOf(scanner_) : nullptr;
  }
  ++elements_;
  const xercesc::XMLElementDecl *decl = scanner_ != nullptr ? ScannerAccess::currentOf(scanner_) : nullptr;
  if (decl != nullptr && !decl->isDeclared() && undeclared_.insert(decl).second &&
      undeclared_.size() > kelSchemaUndeclaredNames)
    KELException::refuseAt(ctx, locator,
             "the document has more than " + std::to_string(kelSchemaUndeclaredNames) +
                 " element names that its schemas do not declare");
  // The parser has read the element's start before the handler hears of it: the selector of
  // every constraint in force, and the fields of every node they picked that is still open,
  // have each looked at it.
  checks_ += constraints_ != nullptr ? constraints_->getMatcherCount() : 0;
  if (checks_ <= kelConstraintChecksFree + kelConstraintChecksPerElement * elements_) return;
  KELException::refuseAt(ctx, locator,
           "the identity constraints of the document take too much work to check: more than " +
               std::to_string(kelConstraintChecksPerElement) +
               " of their selectors and fields look at each of its elements on average");
}

void KelSchemaWatch::atElement(KelCallContext *ctx, const xercesc::Locator *locator) {
  countWork(ctx, locator);
  if (resolver_ != nullptr) resolver_->schemasLoaded();
  const uint64_t asked = resolver_ != nullptr ? resolver_->schemasAsked() : 0;
  if (asked == asked_) return;  // no schema document asked for since the last look: most elements
  xercesc::XMLValidator *validator = reader_ != nullptr ? reader_->getValidator() : nullptr;
  // Schema grammars are used only while the schema validator is the scanner's; an element of
  // a DTD leaves them for the next element that is not.
  if (validator == nullptr || !validator->handlesSchema()) return;
  xercesc::XMLScanner *scanner = ValidatorAccess::scannerOf(validator);
  xercesc::GrammarResolver *grammars = scanner != nullptr ? ScannerAccess::grammarsOf(scanner) : nullptr;
  if (grammars == nullptr) return;
  bool loaded = false;
  // A model's elements may be declared in any grammar of the parse: each comparison of the
  // ambiguity check is weighted by the costliest lookup among them.
  uint64_t lookupWalk = 0;
  xercesc::RefHashTableOfEnumerator<xercesc::Grammar> all = grammars->getGrammarEnumerator();
  while (all.hasMoreElements()) {
    xercesc::Grammar &grammar = all.nextElement();
    if (grammar.getGrammarType() == xercesc::Grammar::SchemaGrammarType)
      lookupWalk = std::max(lookupWalk, kelSchemaLookupWalk(&static_cast<xercesc::SchemaGrammar &>(grammar)));
  }
  xercesc::RefHashTableOfEnumerator<xercesc::Grammar> each = grammars->getGrammarEnumerator();
  while (each.hasMoreElements()) {
    xercesc::Grammar &grammar = each.nextElement();
    if (grammar.getGrammarType() != xercesc::Grammar::SchemaGrammarType) continue;
    if (std::find(checked_.begin(), checked_.end(), &grammar) != checked_.end()) continue;
    checked_.push_back(&grammar);
    auto &schema = static_cast<xercesc::SchemaGrammar &>(grammar);
    KelModelBudget budget;
    budget.work = work_;
    budget.lookupWalk = lookupWalk;
    const XMLCh *type = nullptr;
    std::string reason;
    if (!kelMeasureSchemaModels(&schema, &budget, &type, &reason)) {
      std::string text = "the content model of type \"" + kelToDb(ctx, type) + "\" is too complex to check: " + reason;
      KELException::refuseAt(ctx, locator, text);
    }
    work_ = budget.work;
    schema.setValidated(false);  // checked again below, this time in full
    loaded = true;
  }
  asked_ = asked;
  if (!loaded) return;
  FullChecking full(scanner);
  validator->preContentValidation(false, false);
}

void kelValidateHandler::startEntity(const XMLCh *name) {
  if (std::char_traits<XMLCh>::compare(name, u"[dtd]", 6) == 0) inDtdGiven_ = true;
}

void kelValidateHandler::endEntity(const XMLCh *name) {
  if (std::char_traits<XMLCh>::compare(name, u"[dtd]", 6) == 0) inDtdGiven_ = false;
}

void kelValidateHandler::elementDecl(const XMLCh *name, const XMLCh *) {
  if (inDtdGiven_)
    givenElements_.emplace(name);
  else
    subsetElements_.emplace(name);
}

void kelValidateHandler::attributeDecl(const XMLCh *eName, const XMLCh *aName, const XMLCh *, const XMLCh *,
                                       const XMLCh *) {
  // The first declaration of an attribute binds, and the internal subset is read before the DTD
  // given: an element whose attributes the DTD given lists is its to decide, as is one it declares.
  if (inDtdGiven_)
    givenElements_.emplace(eName);
  else
    subsetAttributes_.emplace_back(eName, aName);
}

void kelValidateHandler::internalEntityDecl(const XMLCh *name, const XMLCh *) {
  if (!inDtdGiven_ && name[0] == u'%' && subsetParameterEntity_.empty()) subsetParameterEntity_ = name;
}

void kelValidateHandler::externalEntityDecl(const XMLCh *name, const XMLCh *, const XMLCh *) {
  if (!inDtdGiven_ && name[0] == u'%' && subsetParameterEntity_.empty()) subsetParameterEntity_ = name;
}

void kelValidateHandler::refuseWithoutDoctype() {
  if (dtd_ == nullptr || doctype_) return;
  KELException::refuseAt(ctx_, locator_,
                         "the document has no DOCTYPE, so the DTD given is not applied");
}

void kelValidateHandler::startElement(const XMLCh *, const XMLCh *, const XMLCh *qname, const xercesc::Attributes &) {
  refuseWithoutDoctype();
  models.atElement(ctx_, locator_);
  if (subsetChecked_ || dtd_ == nullptr) return;
  subsetChecked_ = true;
  // A root element of the internal subset's own would take its content from the subset alone:
  // the DTD given would decide nothing of the document.
  if (subsetElements_.count(qname) != 0) {
    std::string text = "the internal subset declares the root element \"" + kelToDb(ctx_, qname) +
                       "\", so the DTD given is not applied";
    KELException::refuseAt(ctx_, locator_, text);
  }
  if (!subsetParameterEntity_.empty()) {
    std::string text = "the internal subset declares parameter entity \"" +
                       kelToDb(ctx_, subsetParameterEntity_.c_str()) + "\", which could change the DTD given";
    KELException::refuseAt(ctx_, locator_, text);
  }
  if (shadowedEntity != nullptr && !shadowedEntity->empty()) {
    std::string text = "the internal subset declares " + kelToDb(ctx_, shadowedEntity->c_str()) +
                       ", which the DTD given declares";
    KELException::refuseAt(ctx_, locator_, text);
  }
  for (const auto &[element, attribute] : subsetAttributes_) {
    if (givenElements_.count(element) == 0) continue;
    std::string text = "the internal subset declares attribute \"" + kelToDb(ctx_, attribute.c_str()) +
                       "\" of element \"" + kelToDb(ctx_, element.c_str()) + "\", which the DTD given decides";
    KELException::refuseAt(ctx_, locator_, text);
  }
}

xercesc::InputSource *kelValidateHandler::resolveEntity(const XMLCh *publicId, const XMLCh *systemId) {
  if (dtd_ == nullptr) return nullptr;
  unsigned d0 = dtdId_.size() > 0 ? dtdId_[0] : 0, d1 = dtdId_.size() > 1 ? dtdId_[1] : 0;
  unsigned s0 = systemId && systemId[0] ? systemId[0] : 0, s1 = s0 ? systemId[1] : 0;
  KEL_TRACE(ctx_, "enter dtd:%x %x systemid:%x %x\n", d0, d1, s0, s1);
  // The DTD given is the document's external subset, asked for once by the DOCTYPE's system id.
  // Anything else (a module of the DTD given, an entity of the document, even one naming the
  // same id) goes to the parse's resolver: were it answered with the DTD given, a module would
  // read the main DTD again and an entity would read DTD text as its own.
  if (!doctype_ || subsetAnswered_ || systemId == nullptr || doctypeId_ != systemId) {
    KEL_TRACE(ctx_, "not the external subset: left to the resolver\n");
    return nullptr;
  }
  subsetAnswered_ = true;
  return openDtdGiven();
}

xercesc::InputSource *kelValidateHandler::openDtdGiven() {
  if (dtd_ == nullptr) return nullptr;
  xercesc::InputSource *src;
  if (dtdIsText_ == 1) {
    src = memorySource(dtd_, KEL_DTD_TEXT_ID, encoding_, "the DTD given");
  } else {
    // A DTD file a user named is a server file like any other: read only from an allowed
    // directory.  The call's own temporary file is read as it is.
    char state[6];
    int msgNo = 0;
    std::unique_ptr<xercesc::InputSource> file = kelOpenFileSource(
        ctx_, dtd_, dtdIsText_ != KEL_DTD_OWN_FILE, state, &msgNo, "the DTD given");
    if (file == nullptr) {
      std::string text = std::string("DTD file \"") + dtd_ + "\" refused: " +
                         (msgNo == KELC001E ? "not found" : msgNo == KELC002E ? "not a regular file in an allowed directory"
                                                                              : "cannot be opened");
      throw KELException::parseError(ctx_, 0, 0, text.c_str());
    }
    src = file.release();
    // The call's temporary file holds DTD text: a relative name in it has no directory either.
    if (dtdIsText_ == KEL_DTD_OWN_FILE) src->setSystemId(KEL_DTD_TEXT_ID);
    if (!encoding_.empty()) src->setEncoding(encoding_.c_str());
  }
  return src;
}

void kelValidateHandler::warning(const xercesc::SAXParseException &) {}
void kelValidateHandler::error(const xercesc::SAXParseException &e) {
  // Without a DOCTYPE the first error is the undeclared root element: the refusal says why.
  refuseWithoutDoctype();
  throw e;
}
void kelValidateHandler::fatalError(const xercesc::SAXParseException &e) { throw e; }

kelSchemaHandler::kelSchemaHandler(KelCallContext *ctx, const XMLCh *encoding) : ctx_(ctx) {
  if (encoding != nullptr) encoding_.assign(encoding, std::min<size_t>(std::char_traits<XMLCh>::length(encoding), 100));
}

void kelSchemaHandler::setDocumentLocator(const xercesc::Locator *locator) {
  kelReadAsXml10(locator);
  locator_ = locator;
  depth_ = 0;
}

void kelSchemaHandler::startElement(const XMLCh *, const XMLCh *, const XMLCh *, const xercesc::Attributes &) {
  models.atElement(ctx_, locator_);
  schemas.atElement(ctx_, locator_);
  if (++depth_ <= kelSchemaMaxDepth) return;
  std::string text = "the elements nest more than " + std::to_string(kelSchemaMaxDepth) + " levels deep";
  KELException::refuseAt(ctx_, locator_, text);
}

void kelSchemaHandler::endElement(const XMLCh *, const XMLCh *, const XMLCh *) {
  if (depth_ > 0) --depth_;
}

xercesc::InputSource *kelSchemaHandler::resolveEntity(const XMLCh *, const XMLCh *) {
  KEL_TRACE(ctx_, "Entered\n");
  return nullptr;
}

void kelSchemaHandler::warning(const xercesc::SAXParseException &) {}
void kelSchemaHandler::error(const xercesc::SAXParseException &e) { throw e; }
void kelSchemaHandler::fatalError(const xercesc::SAXParseException &e) { throw e; }
