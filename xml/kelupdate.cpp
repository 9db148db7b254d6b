/*
 * kelupdate.cpp - the update handler, the adapter that brings it the XML declaration, and the
 * update engine around them (see kelupdate.h).
 *
 * Every event is written into one UTF-16 output as it arrives; at the end the output is
 * converted into the database code page.  Inside a subtree that cannot match nothing is
 * evaluated.  In text mode a selected element's start tag is followed by the new value and the
 * character data inside it is dropped (child elements keep their tags).  In attribute mode every
 * element is evaluated, so selected elements nested in selected ones are updated too.
 */
#include "kelupdate.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/framework/XMLDocumentHandler.hpp>
#include <xercesc/framework/XMLEntityDecl.hpp>
#include <xercesc/internal/VecAttributesImpl.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/validators/DTD/DocTypeHandler.hpp>

#include "kelSgDoc.h"
#include "kelSgDocHandler.h"
#include "kelcodepage.h"
#include "kelctx.h"
#include "kelarena.h"
#include "kelentity.h"
#include "kelfile.h"
#include "kelmsg.h"
#include "kelpath.h"
#include "keltrace.h"
#include "quarnmemberof.h"

using xercesc::XMLUni;

// The attributes behind the reader's list of an element's attributes, which say whether each
// was given in the start tag or by default (see kelUpdateHandler::attributesGiven).
struct UpdateAttributesVector {
  using Type = const xercesc::RefVectorOf<xercesc::XMLAttr> *xercesc::VecAttributesImpl::*;
  friend Type member(UpdateAttributesVector);
};
template struct QuarnMemberOf<UpdateAttributesVector, &xercesc::VecAttributesImpl::fVector>;

namespace {

const XMLCh kDocBufferId[] = u"IdForDocBuffer";

// The failures of this unit: the message's text and SQLSTATE, and -1.
template <class... Args>
int failed(KelCallContext *ctx, char *msg, char *sqlstate, int msgNo, Args... args) {
  kelFail(ctx, msg, sqlstate, msgNo, args...);
  return -1;
}

size_t length16(const XMLCh *s) {
  return s != nullptr ? std::char_traits<XMLCh>::length(s) : 0;
}

// True for the names of UTF-8 an XML declaration may carry.
bool isUtf8Name(const std::u16string &name) {
  std::u16string up;
  for (XMLCh c : name) up += (c >= u'a' && c <= u'z') ? static_cast<XMLCh>(c - 32) : c;
  return up == u"UTF-8" || up == u"UTF8";
}

enum Target { ATTRIBUTE = 0, TEXT_CONTENT = 1 };

/*
 * Writes every event of the parse into out.  Once the output passes limitUnits (more UTF-16
 * units than any result within the size limit can have) it is dropped and overLimit() is set,
 * so memory stays bounded while the parse runs on to report a later parse error first.
 */
class kelUpdateHandler : public xercesc::DefaultHandler {
 public:
  kelUpdateHandler(KelCallContext *ctx, xercesc::SAX2XMLReaderImpl &reader, KelQuery &query, KelCurrentPath &path,
                   kelDocEntityResolver &resolver, const XMLCh *value,
                   const std::u16string *declEncoding, std::u16string &out, int64_t limitUnits)
      : ctx_(ctx),
        reader_(reader),
        query_(query),
        path_(path),
        resolver_(resolver),
        value_(value),
        valueLen_(length16(value)),
        declEncoding_(declEncoding),
        out_(out),
        limitUnits_(limitUnits),
        attrs_(ctx) {
    path_.bind(&query_);  // the open elements are kept as the query's progress
    target_ = query_.targetKind() == KEL_TARGET_ATTRIBUTE ? ATTRIBUTE : TEXT_CONTENT;
    attrName_ = query_.targetAttribute();
    out_.clear();
  }
  ~kelUpdateHandler() override { path_.bind(nullptr); }

  bool overLimit() const { return overLimit_; }
  // The value was to be written but holds a character the document's XML version cannot hold.
  bool valueRefused() const { return valueRefused_; }
  // The internal subset declares an external parameter entity, whose declarations cannot be
  // written back as the reference they came from.
  bool subsetRefused() const { return externalParameterEntity_; }
  // The document references an external general entity, whose text cannot be written back as
  // the reference it came from.
  bool referenceRefused() const { return externalReference_; }

  // A reference to an external general entity in content (from the adapter): its text would be
  // written in place of the reference, copying the file's text into the document, cutting the
  // document off from the file and changing an element the path did not select.  The document
  // is refused (referenceRefused) at the reference, before the entity's text is read: a file
  // referenced over and over was read and written out in full each time (a 6 KB document
  // over a 1 MB file took 7 GB).  One the subset declares and the document never references
  // is written back with its declaration; the parser refuses one in an attribute value.
  void externalReference() {
    externalReference_ = true;
    kelRefuseParse("the document references an external general entity");
  }

  void setDocumentLocator(const xercesc::Locator *locator) override { kelReadAsXml10(locator); }

  void startElement(const XMLCh *, const XMLCh *, const XMLCh *qname,
                    const xercesc::Attributes &attrs) override {
    // Inside a subtree that cannot match, or inside a selected element in text mode, nothing
    // is evaluated: the element is copied.
    if (noMatchDepth_ != 0 || selectedDepth_ != 0) {
      path_.pushUnnamed();
      startTag(qname, attrs);
      return;
    }
    path_.push(qname, query_.hasPredicates() ? &attrs : nullptr);
    KelMatch state = query_.isMatched(path_);
    if (state == NO_MATCH) noMatchDepth_ = path_.size();
    if (state != MATCHED) {
      startTag(qname, attrs);
      return;
    }
    if (target_ == ATTRIBUTE) {
      // Every attribute of the target's name gets the value; an absent one is not added, and
      // "*" names only an attribute literally called so.
      attrs_.assign(attrs);
      if (attrName_ != nullptr && attrs_.setValue(attrName_, value_) != 0) checkValue();
      const xercesc::RefVectorOf<xercesc::XMLAttr> *given = attributesGiven(attrs);
      out_.push_back(u'<');
      out_.append(qname);
      for (size_t i = 0; i < attrs_.getLength(); ++i) {
        // An attribute given by default is written only when it takes the value.
        if (given != nullptr && !given->elementAt(i)->getSpecified() &&
            (attrName_ == nullptr || std::u16string_view(attrs_.getName(i)) != attrName_))
          continue;
        attribute(attrs_.getQName(i), attrs_.getValue(i));
      }
      out_.push_back(u'>');
    } else {
      startTag(qname, attrs);
      checkValue();
      kelAppendMarkupEscaped(out_, value_, valueLen_, false);
      selectedDepth_ = path_.size();
    }
    checkLimit();
  }

  void endElement(const XMLCh *, const XMLCh *, const XMLCh *qname) override {
    out_.append(u"</", 2);
    out_.append(qname);
    out_.push_back(u'>');
    const size_t depth = path_.size();
    path_.pop();
    if (depth == noMatchDepth_) noMatchDepth_ = 0;
    if (depth == selectedDepth_) selectedDepth_ = 0;
  }

  void characters(const XMLCh *text, const XMLSize_t n) override {
    if (selectedDepth_ != 0) return;  // the old text of a selected element is replaced
    kelAppendMarkupEscaped(out_, text, n, false);
    checkLimit();
  }

  void ignorableWhitespace(const XMLCh *text, const XMLSize_t n) override {
    if (selectedDepth_ != 0) return;
    out_.append(text, n);
  }

  void processingInstruction(const XMLCh *target, const XMLCh *data) override {
    out_.append(u"<?", 2);
    out_.append(target);
    out_.push_back(u' ');
    if (data != nullptr) out_.append(data);
    out_.append(u"?>", 2);
    checkLimit();
  }

  // A comment of the internal subset is written inside it; of the external DTD, not at all.
  void comment(const XMLCh *text, const XMLSize_t n) override {
    if (inDtd_ && !openDeclaration()) return;
    out_.append(u"<!--", 4);
    out_.append(text, n);
    out_.append(u"-->", 3);
    checkLimit();
  }

  /*
   * The internal subset is written back from the declarations the reader reports, in the order
   * read: elements, attribute lists, entities (general and parameter, internal, external and
   * unparsed), notations and comments.  Dropped, a document valid against its own DTD was
   * invalid after an update.  The reader reports no reference to a parameter entity and no
   * white space of the subset: a declaration a parameter entity brings in is written once, as
   * the expansion, beside the entity's own declaration.  Nothing of the external DTD is written
   * (it is read between startEntity and endEntity of "[dtd]"), nor the subset's processing
   * instructions, which the reader does not report.
   */
  void startEntity(const XMLCh *name) override {
    if (std::u16string_view(name) == u"[dtd]") inExternalSubset_ = true;
  }
  void endEntity(const XMLCh *name) override {
    if (std::u16string_view(name) == u"[dtd]") inExternalSubset_ = false;
  }

  void elementDecl(const XMLCh *name, const XMLCh *model) override {
    if (!openDeclaration()) return;
    out_.append(u"<!ELEMENT ", 10);
    out_.append(name);
    out_.push_back(u' ');
    out_.append(model);
    out_.push_back(u'>');
    checkLimit();
  }

  // Attributes of one element declared one after the other are written as one list.
  // A later declaration of an attribute already declared binds nothing, the first one decides;
  // it comes with its type and default all the same (DeclaredAgain) and is written back as
  // written, after the first.
  void attributeDecl(const XMLCh *element, const XMLCh *name, const XMLCh *type, const XMLCh *mode,
                     const XMLCh *value) override {
    if (type == nullptr || type[0] == 0) return;  // the reader's report of a later one, not whole
    if (value != nullptr) defaultsDeclared_ = true;
    if (inExternalSubset_) return;
    if (attList_.empty() || attList_ != element) {
      if (!openDeclaration()) return;
      out_.append(u"<!ATTLIST ", 10);
      out_.append(element);
      attList_ = element;
    }
    out_.push_back(u' ');
    out_.append(name);
    out_.push_back(u' ');
    out_.append(type);
    // #IMPLIED, #REQUIRED or #FIXED; a plain default comes as the mode "null".  An #IMPLIED or
    // #REQUIRED attribute has no default, but the parser gives a later declaration of one the
    // default of the later declaration read before it.
    const bool noDefault = mode != nullptr && (std::u16string_view(mode) == u"#IMPLIED" ||
                                               std::u16string_view(mode) == u"#REQUIRED");
    if (mode != nullptr && mode[0] == u'#') {
      out_.push_back(u' ');
      out_.append(mode);
    }
    if (value != nullptr && !noDefault) {
      out_.append(u" \"", 2);
      kelAppendMarkupEscaped(out_, value, length16(value), true);
      out_.push_back(u'"');
    }
    checkLimit();
  }

  void internalEntityDecl(const XMLCh *name, const XMLCh *value) override {
    if (!openEntity(name)) return;
    out_.push_back(u' ');
    entityLiteral(value);
    out_.push_back(u'>');
    checkLimit();
  }

  void externalEntityDecl(const XMLCh *name, const XMLCh *publicId, const XMLCh *systemId) override {
    // The declarations an external parameter entity brings in would be written in place of its
    // reference, copying the file's text (its comments too) into the document and cutting the
    // document off from the file: such a subset is refused (subsetRefused).
    if (!inExternalSubset_ && name != nullptr && name[0] == u'%') externalParameterEntity_ = true;
    if (!openEntity(name)) return;
    externalId(publicId, systemId);
    out_.push_back(u'>');
    checkLimit();
  }

  void unparsedEntityDecl(const XMLCh *name, const XMLCh *publicId, const XMLCh *systemId,
                          const XMLCh *notation) override {
    if (!openEntity(name)) return;
    externalId(publicId, systemId);
    out_.append(u" NDATA ", 7);
    out_.append(notation);
    out_.push_back(u'>');
    checkLimit();
  }

  void notationDecl(const XMLCh *name, const XMLCh *publicId, const XMLCh *systemId) override {
    if (!openDeclaration()) return;
    out_.append(u"<!NOTATION ", 11);
    out_.append(name);
    // The reader gives an empty public id as none: PUBLIC "" is all that is left of it.
    if ((publicId == nullptr || publicId[0] == 0) && systemId == nullptr)
      out_.append(u" PUBLIC \"\"", 10);
    else
      externalId(publicId, systemId);
    out_.push_back(u'>');
    checkLimit();
  }

  // The external DTD reads as empty: a reference to an entity only it could declare would vanish
  // from the document written back (the parser passes over it in silence when a DTD was not
  // read).  Once the DTD is read, it ends the update instead.
  void endDTD() override {
    closeAttList();
    if (subsetOpen_) out_.push_back(u']');
    out_.push_back(u'>');
    inDtd_ = false;
    kelRefuseUndeclaredEntities(reader_);
  }

  void startDTD(const XMLCh *name, const XMLCh *publicId, const XMLCh *systemId) override {
    KEL_TRACE(ctx_, "Entered\n");
    resolver_.setSystemId(systemId);
    out_.append(u"<!DOCTYPE ", 10);
    out_.append(name);
    // The ids the DOCTYPE has are written, an empty system id too (SYSTEM "", PUBLIC "p" ""):
    // dropped, the document no longer asked for a DTD and failed validation with the one it
    // was valid against. The parser gives no id at all as null.
    if (systemId != nullptr) externalId(publicId, systemId);
    // The subset, when it declares anything, and the closing '>' follow (endDTD).
    inDtd_ = true;
  }

  // The document's XML declaration (from the adapter); the declared encoding is replaced when
  // the output is to name the encoding of its bytes.
  void xmldecl(const XMLCh *version, const XMLCh *encoding, const XMLCh *standalone) {
    sawDeclaration_ = true;
    xml11_ = version != nullptr && std::u16string_view(version) == u"1.1";
    out_.append(u"<?xml", 5);
    if (version != nullptr) declared(u" version=", version);
    if (declEncoding_ != nullptr) encoding = declEncoding_->c_str();
    if (encoding != nullptr && encoding[0] != 0) declared(u" encoding=", encoding);
    if (standalone != nullptr && standalone[0] != 0) declared(u" standalone=", standalone);
    out_.append(u"?>", 2);
  }

  // One value of the declaration, in single quotes unless it holds one: the parser takes
  // version="1.'0" as it is, and the value must read back the same.
  void declared(std::u16string_view name, const XMLCh *value) {
    const char16_t quote = std::u16string_view(value).find(u'\'') == std::u16string_view::npos ? u'\'' : u'"';
    out_.append(name);
    out_.push_back(quote);
    out_.append(value);
    out_.push_back(quote);
  }

  void endDocument() override {
    // A document without a declaration is read as UTF-8 (or UTF-16): when its bytes are in
    // another encoding, a declaration must name it.
    if (declEncoding_ != nullptr && !sawDeclaration_ && !isUtf8Name(*declEncoding_) && !overLimit_)
      out_.insert(0, u"<?xml version='1.0' encoding='" + *declEncoding_ + u"'?>");
  }

  // A warning ends the parse as an error does, but for the one of an attribute declared again,
  // which DeclaredAgain keeps from the handler.
  void warning(const xercesc::SAXParseException &e) override { throw e; }
  void error(const xercesc::SAXParseException &e) override { throw e; }
  void fatalError(const xercesc::SAXParseException &e) override { throw e; }

 private:
  void startTag(const XMLCh *qname, const xercesc::Attributes &attrs) {
    const xercesc::RefVectorOf<xercesc::XMLAttr> *given = attributesGiven(attrs);
    out_.push_back(u'<');
    out_.append(qname);
    for (XMLSize_t i = 0; i < attrs.getLength(); ++i) {
      if (given != nullptr && !given->elementAt(i)->getSpecified()) continue;
      attribute(attrs.getQName(i), attrs.getValue(i));
    }
    out_.push_back(u'>');
    checkLimit();
  }

  // An attribute in double quotes; TAB, LF and CR are written as character references, so
  // the next parse's normalisation does not turn them into blanks.
  void attribute(const XMLCh *name, const XMLCh *value) {
    out_.push_back(u' ');
    out_.append(name);
    out_.append(u"=\"", 2);
    kelAppendMarkupEscaped(out_, value, length16(value), true);
    out_.push_back(u'"');
  }

  // A system literal in double quotes, or in single quotes when it holds a double quote.
  void systemLiteral(const XMLCh *systemId) {
    const XMLCh quote =
        std::char_traits<XMLCh>::find(systemId, length16(systemId), u'"') != nullptr ? u'\'' : u'"';
    out_.push_back(quote);
    out_.append(systemId);
    out_.push_back(quote);
  }

  /*
   * Marks the value refused when it holds a character the document cannot hold, even as a
   * reference (U+0001 in XML 1.0, U+FFFE in any version, a lone surrogate): written, it would
   * leave a document that no longer parses.
   */
  void checkValue() {
    if (valueChecked_) return;
    valueChecked_ = true;
    valueRefused_ = kelXmlCannotHold(value_, valueLen_, xml11_);
  }

  /*
   * The reader's attributes of an element, which tell an attribute given in the start tag from
   * one a declared default gives; null when no declaration read has a default (every attribute
   * is given).  Attributes given by default are not written: the attribute list written back
   * gives them again, and the document keeps its text.
   */
  const xercesc::RefVectorOf<xercesc::XMLAttr> *attributesGiven(const xercesc::Attributes &attrs) const {
    if (!defaultsDeclared_ || attrs.getLength() == 0) return nullptr;
    const auto *list = dynamic_cast<const xercesc::VecAttributesImpl *>(&attrs);
    return list != nullptr ? list->*member(UpdateAttributesVector{}) : nullptr;
  }

  // Before a declaration or a comment of the DTD: false inside the external DTD, of which
  // nothing is written; otherwise the subset is opened and an attribute list still open closed.
  bool openDeclaration() {
    if (inExternalSubset_) return false;
    closeAttList();
    if (!subsetOpen_) {
      out_.append(u" [", 2);
      subsetOpen_ = true;
    }
    return true;
  }

  void closeAttList() {
    if (attList_.empty()) return;
    out_.push_back(u'>');
    attList_.clear();
  }

  // "<!ENTITY name" or "<!ENTITY % name" (the reader names a parameter entity "%name").
  bool openEntity(const XMLCh *name) {
    if (!openDeclaration()) return false;
    out_.append(u"<!ENTITY ", 9);
    if (name[0] == u'%') {
      out_.append(u"% ", 2);
      ++name;
    }
    out_.append(name);
    return true;
  }

  // " PUBLIC "p" 's'", " PUBLIC "p"" or " SYSTEM 's'" (a public id never holds '"').
  void externalId(const XMLCh *publicId, const XMLCh *systemId) {
    if (publicId != nullptr && publicId[0] != 0) {
      out_.append(u" PUBLIC \"", 9);
      out_.append(publicId);
      out_.push_back(u'"');
      if (systemId == nullptr) return;
      out_.push_back(u' ');
    } else if (systemId != nullptr) {
      out_.append(u" SYSTEM ", 8);
    } else {
      return;
    }
    systemLiteral(systemId);
  }

  /*
   * An internal entity's replacement text as a literal that gives the same text back: '&', '%'
   * and '"' as character references (else a reference or a parameter entity would be read
   * again, or the quote would end the literal), the control characters and line ends as
   * kelAppendMarkupEscaped writes them; '<', '>' and '\'' stand for themselves, so markup in the
   * text is markup where the entity is referenced, as before.
   */
  void entityLiteral(const XMLCh *value) {
    const size_t n = length16(value);
    out_.push_back(u'"');
    size_t start = 0;
    for (size_t i = 0; i < n; ++i) {
      const XMLCh c = value[i];
      if (c != u'&' && c != u'%' && c != u'"' && c != u'<' && c != u'>' && c != u'\'') continue;
      kelAppendMarkupEscaped(out_, value + start, i - start, false);
      start = i + 1;
      if (c == u'&')
        out_.append(u"&#38;", 5);
      else if (c == u'%')
        out_.append(u"&#37;", 5);
      else if (c == u'"')
        out_.append(u"&#34;", 5);
      else
        out_.push_back(c);
    }
    kelAppendMarkupEscaped(out_, value + start, n - start, false);
    out_.push_back(u'"');
  }

  void checkLimit() {
    if (static_cast<int64_t>(out_.size()) <= limitUnits_) return;
    overLimit_ = true;
    out_.clear();
  }

  KelCallContext *ctx_;
  xercesc::SAX2XMLReaderImpl &reader_;
  KelQuery &query_;
  KelCurrentPath &path_;
  kelDocEntityResolver &resolver_;
  const XMLCh *value_;
  size_t valueLen_;
  const std::u16string *declEncoding_;  // the encoding the output declares, or null
  std::u16string &out_;
  int64_t limitUnits_;
  KelAttrs attrs_;  // the snapshot of a selected element's attributes
  Target target_;
  const XMLCh *attrName_;
  size_t noMatchDepth_ = 0;   // depth of the element whose subtree cannot match, 0 when none
  size_t selectedDepth_ = 0;  // text mode: depth of the selected element being written, 0 when none
  bool sawDeclaration_ = false;
  bool xml11_ = false;         // the document declared XML 1.1
  bool valueChecked_ = false;  // checkValue() ran
  bool valueRefused_ = false;
  bool externalParameterEntity_ = false;
  bool externalReference_ = false;  // a reference to an external general entity was read
  bool overLimit_ = false;
  bool inDtd_ = false;             // between startDTD and endDTD
  bool inExternalSubset_ = false;  // reading the external DTD
  bool subsetOpen_ = false;        // " [" of the internal subset is written
  bool defaultsDeclared_ = false;  // a declaration read gives an attribute a default
  std::u16string attList_;         // the element of the attribute list being written, or empty
};

// Brings the parser's XML declaration and references to external entities to the update
// handler; its other events do nothing.
class kelUpdateDeclAdapter : public xercesc::XMLDocumentHandler {
 public:
  void setHandler(kelUpdateHandler *handler) { handler_ = handler; }
  void XMLDecl(const XMLCh *const version, const XMLCh *const encoding,
               const XMLCh *const standalone, const XMLCh *const) override {
    if (handler_ != nullptr) handler_->xmldecl(version, encoding, standalone);
  }
  void docCharacters(const XMLCh *const, const XMLSize_t, const bool) override {}
  void docComment(const XMLCh *const) override {}
  void docPI(const XMLCh *const, const XMLCh *const) override {}
  void endDocument() override {}
  void endElement(const xercesc::XMLElementDecl &, const unsigned int, const bool,
                  const XMLCh *const) override {}
  void endEntityReference(const xercesc::XMLEntityDecl &) override {}
  void ignorableWhitespace(const XMLCh *const, const XMLSize_t, const bool) override {}
  void resetDocument() override {}
  void startDocument() override {}
  void startElement(const xercesc::XMLElementDecl &, const unsigned int, const XMLCh *const,
                    const xercesc::RefVectorOf<xercesc::XMLAttr> &, const XMLSize_t, const bool,
                    const bool) override {}
  // The parser reports a reference in content here with the entity's declaration; the SAX
  // event gives its name alone.
  void startEntityReference(const xercesc::XMLEntityDecl &entity) override {
    if (handler_ != nullptr && entity.isExternal()) handler_->externalReference();
  }

 private:
  kelUpdateHandler *handler_ = nullptr;
};

/*
 * Stands between the reader's scanner and the reader for one run, for a later declaration of an
 * attribute already declared (<!ATTLIST a k CDATA "2"><!ATTLIST a k CDATA "1">).  XML lets a DTD
 * declare an attribute again: the first declaration binds, later ones are ignored.  The parser
 * warns of it, and the warning ended the update (KELQ047E) of a document validation accepts; the
 * reader reports such a declaration without its type and default, so it could not be written
 * back.  This passes the declaration on to the reader as one that binds, so the handler hears
 * it whole and writes it back as written, and keeps that warning from the reader; every other
 * event, warning and error goes to the reader as before (a warning still ends the update).  The
 * scanner gets its DTD handler back when this goes.
 */
class DeclaredAgain : public KelScannerTap {
 public:
  explicit DeclaredAgain(xercesc::SAX2XMLReaderImpl &reader) : KelScannerTap(reader) {}
  void attDef(const xercesc::DTDElementDecl &element, const xercesc::DTDAttDef &attribute,
              const bool) override {
    reader_.attDef(element, attribute, false);
  }
  bool withholds(unsigned int code, const XMLCh *domain, xercesc::XMLErrorReporter::ErrTypes type) override {
    return declaredAgain(code, domain, type);
  }
};

// Terminated database-code-page text in UTF-16; the converter's negative result on failure.
int32_t toUtf16(KelCallContext *ctx, const char *text, std::u16string *out) {
  size_t len = std::strlen(text);
  out->assign((len + 1) * 4, u'\0');
  int32_t n = KEL_mbstowcsFunction(ctx, out->data(), text, static_cast<int32_t>(out->size()));
  out->resize(n < 0 ? 0 : static_cast<size_t>(n));
  return n;
}

/*
 * The path or value of updateText in UTF-16 (*rc the converter's result) and, when its bytes
 * hold a zero byte, the UTF-16 units before it in *zeroAt (npos when there is none): the
 * converter reads up to the first zero, which would cut the text there silently.
 */
void convertArgument(KelCallContext *ctx, const std::string &text, std::u16string *out, int32_t *rc,
                     size_t *zeroAt) {
  *rc = toUtf16(ctx, text.c_str(), out);
  *zeroAt = text.find('\0') == std::string::npos ? std::u16string::npos : out->size();
}

}  // namespace

struct KelUpdater::State {
  KelEntityResolver guard;  // the reader's resolver; asks each run's own resolver first
  // What the reader allocates, freed with it: the parser leaves a little behind after some
  // malformed documents (a content model broken off), which must not pile up in the process.
  std::unique_ptr<KelArena> arena;
  std::unique_ptr<xercesc::SAX2XMLReaderImpl> reader;
  kelUpdateDeclAdapter adapter;
  std::u16string path16;  // the path the cached query was compiled from
  std::unique_ptr<KelQuery> query;
  std::string pathText;  // updateText: the path last converted, and its UTF-16 form
  std::u16string pathText16;
  int32_t pathTextRc = 0;
  size_t pathZeroAt = std::u16string::npos;  // UTF-16 units before a zero byte of the path
  std::string valueText;  // updateText: the value last converted, and its UTF-16 form
  std::u16string valueText16;
  int32_t valueTextRc = 0;
  size_t valueZeroAt = std::u16string::npos;  // a zero byte of the value, when it holds one
  bool textCached = false;
  KelCurrentPath open;      // the open elements; its storage serves every run
  std::u16string out16;     // the output before conversion; its storage serves every run
  std::u16string encoding;  // encoding name of the database code page, once looked up
  int32_t encodingCodePage = -1;
  explicit State(KelCallContext *ctx) : guard(ctx, nullptr), open(ctx, false) {}
};

KelUpdater::KelUpdater(KelCallContext *ctx) : ctx_(ctx), state_(new State(ctx)) {}

KelUpdater::~KelUpdater() {
  delete state_;
}

namespace {

/*
 * Converts the output into the database code page: byte for byte when the database is UTF-8
 * and the text is ASCII, else through the database converter.  Returns 0; -1 with KELC013E /
 * "38X39" when the text and a terminator take more than sizeLimit bytes, KELQ055E / "38X45"
 * when it cannot be converted.
 */
int convertOutput(KelCallContext *ctx, const std::u16string &text, std::string *out,
                  int32_t sizeLimit, char *sqlstate, char *msg) {
  const size_t n = text.size();
  const KelCodePages *cp = ctx != nullptr ? ctx->codePages : nullptr;
  if (cp != nullptr && cp->dbConverter != nullptr && cp->dbCodePage == KEL_CP_UTF8 &&
      static_cast<int64_t>(n) < sizeLimit) {
    // Narrowed in one pass; kept when no unit was above ASCII.
    out->resize(n);
    if (kelNarrowAscii(text.data(), n, out->data())) return 0;
  }
  int64_t room = static_cast<int64_t>(n) * 4 + 4;
  const bool capped = room > sizeLimit;
  if (capped) room = sizeLimit;
  out->resize(room > 0 ? static_cast<size_t>(room) : 0);
  int32_t len =
      room > 0 ? KEL_wcstombsFunction(ctx, out->data(), text.c_str(), static_cast<int32_t>(room))
               : -1;
  if (len < 0) {
    out->clear();
    if (capped) return failed(ctx, msg, sqlstate, KELC013E);
    return failed(ctx, msg, sqlstate, KELQ055E,
                  "the document cannot be converted to the database code page");
  }
  out->resize(static_cast<size_t>(len));
  return 0;
}

}  // namespace

int KelUpdater::update(const char *doc, size_t docLength, int inMemory, int cpFlag,
                       const XMLCh *path16, const XMLCh *value16, bool rewriteDeclaration,
                       std::string *out, int32_t sizeLimit, char *sqlstate, char *msg) {
  KelCallContext *ctx = ctx_;
  State &s = *state_;
  kelSetState(sqlstate, "00000");
  out->clear();
  if (doc == nullptr || path16 == nullptr || value16 == nullptr)
    return failed(ctx, msg, sqlstate, KELG004E);
  KEL_TRACE(ctx, "path %x %x value %x %x\n", static_cast<unsigned>(path16[0]),
            static_cast<unsigned>(path16[0] ? path16[1] : 0), static_cast<unsigned>(value16[0]),
            static_cast<unsigned>(value16[0] ? value16[1] : 0));
  KEL_TRACE(ctx, "Entered with docLoc = %s\n", inMemory == 1 ? "KEL_MEM" : "KEL_FILE");
  try {
    // The compiled path is kept while the same path comes again.
    if (s.query == nullptr || s.path16 != path16) {
      s.query.reset();
      auto query = std::make_unique<KelQuery>(ctx, path16);
      if (query->errorPosition() != 0) {
        std::string pos = std::to_string(query->errorPosition());
        return failed(ctx, msg, sqlstate, KELD002E, pos.c_str());
      }
      s.query = std::move(query);
      s.path16 = path16;
    }
    // The encoding name of the database code page, looked up once per engine.
    if (cpFlag == 1 || rewriteDeclaration) {
      int32_t dbCp = ctx != nullptr && ctx->codePages != nullptr ? ctx->codePages->dbCodePage : 0;
      if (s.encodingCodePage != dbCp || s.encoding.empty()) {
        UChar name[1025] = {0};
        if (KEL_getEncoding(ctx, dbCp, name, 1025, sqlstate, msg) < 0) return -1;
        s.encoding = name;
        s.encodingCodePage = dbCp;
      }
    }
    std::unique_ptr<xercesc::InputSource> src =
        kelOpenInput(ctx, doc, docLength, inMemory, 0, kDocBufferId, sqlstate, msg);
    if (src == nullptr) return -1;
    if (cpFlag == 1) src->setEncoding(s.encoding.c_str());

    if (s.arena != nullptr && s.arena->pastKeep()) {
      s.reader.reset();
      s.arena.reset();
    }
    if (s.reader == nullptr) {
      s.arena = std::make_unique<KelArena>();
      s.reader = kelCreateReader(s.arena.get());
      xercesc::SAX2XMLReaderImpl &r = *s.reader;
      r.setFeature(XMLUni::fgSAX2CoreNameSpaces, false);
      r.setFeature(XMLUni::fgSAX2CoreNameSpacePrefixes, false);
      r.setFeature(XMLUni::fgSAX2CoreValidation, false);
      r.setFeature(XMLUni::fgXercesSchema, false);
      kelSecureReader(r, &s.guard);
      r.installAdvDocHandler(&s.adapter);
    }
    xercesc::SAX2XMLReaderImpl &reader = *s.reader;
    kelDocEntityResolver resolver(ctx, nullptr, true);
    kelUpdateHandler handler(ctx, reader, *s.query, s.open, resolver, value16,
                             rewriteDeclaration ? &s.encoding : nullptr, s.out16,
                             static_cast<int64_t>(sizeLimit) * 2);
    KelReaderRun run(reader, s.guard, &handler, &handler, &handler, &resolver);
    // The adapter outlives this run as well.
    s.adapter.setHandler(&handler);
    reader.setDeclarationHandler(&handler);
    reader.setDTDHandler(&handler);
    struct Detach {
      State &s;
      ~Detach() {
        s.adapter.setHandler(nullptr);
        s.reader->setDeclarationHandler(nullptr);
        s.reader->setDTDHandler(nullptr);
      }
    } detach{s};
    DeclaredAgain declaredAgain(reader);
    KEL_TRACE(ctx, "%s\n", inMemory == 1 ? "Parsing from buffer....." : "Doing file.....");
    if (kelGuardedParse(
            ctx, [&] { reader.parse(*src); }, sqlstate, msg, KelOtherFailure::Silent) < 0) {
      if (std::strcmp(sqlstate, "38X10") == 0) throw std::bad_alloc();
      if (handler.referenceRefused()) {
        KEL_TRACE(ctx, "the document references an external general entity\n");
        return failed(ctx, msg, sqlstate, KELD000E);
      }
      return -1;
    }
    if (handler.valueRefused()) {
      KEL_TRACE(ctx, "the value holds a character the document cannot hold\n");
      return failed(ctx, msg, sqlstate, KELD000E);
    }
    if (handler.subsetRefused()) {
      KEL_TRACE(ctx, "the internal subset declares an external parameter entity\n");
      return failed(ctx, msg, sqlstate, KELD000E);
    }
    if (handler.overLimit()) {
      KEL_TRACE(ctx, "update result exceeds %d\n", sizeLimit);
      return failed(ctx, msg, sqlstate, KELC013E);
    }
    if (convertOutput(ctx, s.out16, out, sizeLimit, sqlstate, msg) < 0) return -1;
    // A long document's output storage is not kept for the next row.
    if (s.out16.capacity() > (size_t{1} << 20)) std::u16string().swap(s.out16);
    return 0;
  } catch (const std::bad_alloc &) {
    out->clear();
    std::u16string().swap(s.out16);
    return failed(ctx, msg, sqlstate, KELG002E);
  }
}

int KelUpdater::updateText(const char *doc, size_t docLength, int inMemory, int cpFlag,
                           std::string_view path, std::string_view value, bool rewriteDeclaration,
                           std::string *out, int32_t sizeLimit, char *sqlstate, char *msg) {
  State &s = *state_;
  out->clear();
  if (path.data() == nullptr || value.data() == nullptr) {
    kelSetState(sqlstate, "00000");
    return failed(ctx_, msg, sqlstate, KELG004E);
  }
  try {
    // The value first, then the path; each is converted again only when it changed.
    if (!s.textCached || s.valueText != value) {
      s.valueText = value;
      convertArgument(ctx_, s.valueText, &s.valueText16, &s.valueTextRc, &s.valueZeroAt);
    }
    if (!s.textCached || s.pathText != path) {
      s.pathText = path;
      convertArgument(ctx_, s.pathText, &s.pathText16, &s.pathTextRc, &s.pathZeroAt);
    }
    s.textCached = true;
  } catch (const std::bad_alloc &) {
    s.textCached = false;
    kelSetState(sqlstate, "00000");
    return failed(ctx_, msg, sqlstate, KELG002E);
  }
  for (int32_t rc : {s.valueTextRc, s.pathTextRc}) {
    if (rc < 0) {
      std::string pos = std::to_string(rc);
      kelSetState(sqlstate, "00000");
      return failed(ctx_, msg, sqlstate, KELD002E, pos.c_str());
    }
  }
  // A zero byte is no character of a document, nor of a path: a value holding one is refused
  // as a value with any other character the document cannot hold, a path as a syntax error at
  // the zero byte's place.  Read up to the zero, they selected and wrote something else.
  if (s.valueZeroAt != std::u16string::npos) {
    KEL_TRACE(ctx_, "the value holds a zero byte\n");
    kelSetState(sqlstate, "00000");
    return failed(ctx_, msg, sqlstate, KELD000E);
  }
  if (s.pathZeroAt != std::u16string::npos) {
    std::string pos = std::to_string(s.pathZeroAt);
    kelSetState(sqlstate, "00000");
    return failed(ctx_, msg, sqlstate, KELD002E, pos.c_str());
  }
  return update(doc, docLength, inMemory, cpFlag, s.pathText16.c_str(), s.valueText16.c_str(),
                rewriteDeclaration, out, sizeLimit, sqlstate, msg);
}

int KelUpdater::updateBuffer(const char *doc, size_t docLength, std::string_view path,
                             std::string_view value, std::string *out, int32_t sizeLimit,
                             char *sqlstate, char *msg) {
  KEL_TRACE(ctx_, "Entered,with query='%.*s' and value='%.*s'\n", static_cast<int>(path.size()),
            path.data() != nullptr ? path.data() : "", static_cast<int>(value.size()),
            value.data() != nullptr ? value.data() : "");
  out->clear();
  kelSetState(sqlstate, "00000");
  if (doc == nullptr) return failed(ctx_, msg, sqlstate, KELG004E);
  const int64_t threshold =
      ctx_ != nullptr && ctx_->fileThreshold > 0 ? ctx_->fileThreshold : KEL_MIN_FILE_THRESHOLD;
  if (static_cast<int64_t>(docLength) <= threshold)
    return updateText(doc, docLength, 1, 1, path, value, false, out, sizeLimit, sqlstate, msg);
  // A long text is parsed from a temporary file of the call, removed on every path.
  KelTempFile temp(ctx_);
  if (!temp.ok()) {
    kelFailWithState(ctx_, msg, sqlstate, "38X03", KELC012E);
    return -1;
  }
  if (kel_buf2file(ctx_, doc, static_cast<int64_t>(docLength), temp.name(), sqlstate, msg, false) !=
      0)
    return -1;
  return updateText(temp.name(), 0, KEL_DOC_OWN_FILE, 1, path, value, false, out, sizeLimit,
                    sqlstate, msg);
}

namespace {

// A malloc'd terminated copy of text, or null with KELG002E.
int handOut(KelCallContext *ctx, const std::string &text, char **result, char *sqlstate,
            char *msg) {
  *result = static_cast<char *>(std::malloc(text.size() + 1));
  if (*result == nullptr) return failed(ctx, msg, sqlstate, KELG002E);
  std::memcpy(*result, text.data(), text.size());
  (*result)[text.size()] = '\0';
  return 0;
}

}  // namespace

int kelUpdate(KelCallContext *ctx, const char *doc, int inMemory, int cpFlag, const XMLCh *path,
              const XMLCh *value, char **result, int32_t sizeLimit, char *sqlstate, char *msg) {
  *result = nullptr;
  try {
    KelUpdater updater(ctx);
    std::string out;
    size_t length = doc != nullptr && inMemory == 1 ? std::strlen(doc) : 0;
    if (updater.update(doc, length, inMemory, cpFlag, path, value, false, &out, sizeLimit, sqlstate,
                       msg) < 0)
      return -1;
    return handOut(ctx, out, result, sqlstate, msg);
  } catch (const std::bad_alloc &) {
    return failed(ctx, msg, sqlstate, KELG002E);
  }
}

int kelUpdateFromBuf(KelCallContext *ctx, const char *doc, const char *path, const char *value,
                     char **result, int32_t sizeLimit, char *sqlstate, char *msg) {
  *result = nullptr;
  try {
    KelUpdater updater(ctx);
    std::string out;
    size_t length = doc != nullptr ? std::strlen(doc) : 0;
    if (updater.updateBuffer(doc, length, path != nullptr ? std::string_view(path) : std::string_view(),
                             value != nullptr ? std::string_view(value) : std::string_view(), &out,
                             sizeLimit, sqlstate, msg) < 0)
      return -1;
    return handOut(ctx, out, result, sqlstate, msg);
  } catch (const std::bad_alloc &) {
    return failed(ctx, msg, sqlstate, KELG002E);
  }
}
