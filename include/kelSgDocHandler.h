/*
 * kelSgDocHandler.h - the classes the parser layer shares with its users: the internal exception
 * thrown inside parser callbacks (KELException), the owned attribute snapshot (KelAttrs), the
 * DOM node list (KEL_NodeList), and the entity resolvers and validation handlers.
 * Every object belongs to one parse on one thread.
 */
#ifndef KEL_SGDOCHANDLER_H
#define KEL_SGDOCHANDLER_H

#include <xercesc/dom/DOMElement.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/sax/EntityResolver.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax2/Attributes.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>

#include <cstdint>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

struct KelCallContext;

/*
 * The system's internal exception: one message, formatted where the failure was understood
 * (1028 bytes, full mode), thrown only inside parser callbacks and caught at the parser
 * layer's edge.
 */
class KELException {
 public:
  // Formats catalogue message msgNo with its (string) arguments.
  KELException(KelCallContext *ctx, int msgNo, ...);
  // The internal error KELG001E for a source unit and line.
  static KELException internal(KelCallContext *ctx, const char *unit, int line);
  /*
   * A parse that must end with KELQ047E "Parser error on line L column C: text" and SQLSTATE
   * "38X13", such as a refused external entity; the parser layer's edge reports it as it is.
   */
  static KELException parseError(KelCallContext *ctx, long line, long column, const char *text);
  // The same at the place the locator reads (line and column 0 without one).
  static KELException parseErrorAt(KelCallContext *ctx, const xercesc::Locator *where, const char *text);
  // Ends a parse the system refuses to go on with: traces text, then throws parseErrorAt.
  [[noreturn]] static void refuseAt(KelCallContext *ctx, const xercesc::Locator *where, const std::string &text);
  const char *message() const { return msg_; }
  KelCallContext *context() const { return ctx_; }
  // The SQLSTATE the failure is reported with, or "" when the edge decides (legacy failures).
  const char *sqlstate() const { return state_; }
  // A parse error's place (0 when unknown) and its whole text ("" for other failures).
  long line() const { return line_; }
  long column() const { return column_; }
  const char *text() const { return text_; }

 private:
  KELException() = default;
  KelCallContext *ctx_ = nullptr;
  char msg_[1028] = "";
  char state_[6] = "";
  long line_ = 0, column_ = 0;
  char text_[1028] = "";
};

/*
 * An owned snapshot of one element's attributes (names, qualified names, values in UTF-16).
 * Reading an index at or beyond the count traces "Index (%d) out of range." and throws
 * KELException with KELG001E.  assign() reuses the storage of earlier snapshots.
 */
class KelAttrs {
 public:
  explicit KelAttrs(KelCallContext *ctx = nullptr) : ctx_(ctx) {}
  KelAttrs(KelCallContext *ctx, const xercesc::Attributes &attrs) : ctx_(ctx) { assign(attrs); }
  void assign(const xercesc::Attributes &attrs);
  void clear() { count_ = 0; }
  void setContext(KelCallContext *ctx) { ctx_ = ctx; }
  size_t getLength() const { return count_; }
  const XMLCh *getName(size_t index) const;
  const XMLCh *getQName(size_t index) const;
  const XMLCh *getValue(size_t index) const;
  // The value of the first attribute called name, or null.
  const XMLCh *getValue(const XMLCh *name) const;
  // Gives every attribute called name the value; returns how many were changed.
  size_t setValue(const XMLCh *name, const XMLCh *value);

 private:
  struct Entry {
    std::u16string name, qname, value;
  };
  void check(size_t index) const;
  KelCallContext *ctx_;
  std::vector<Entry> entries_;
  size_t count_ = 0;
};

/*
 * A list of DOM elements in the order added.  add() returns 0, or -58 with KELG002E in msg
 * when memory is short.
 */
class KEL_NodeList {
 public:
  explicit KEL_NodeList(KelCallContext *ctx = nullptr) : ctx_(ctx) {}
  int add(xercesc::DOMElement *element, char *msg = nullptr);
  size_t count() const { return nodes_.size(); }
  bool empty() const { return nodes_.empty(); }
  xercesc::DOMElement *first() const { return nodes_.empty() ? nullptr : nodes_.front(); }
  xercesc::DOMElement *last() const { return nodes_.empty() ? nullptr : nodes_.back(); }
  xercesc::DOMElement *at(size_t i) const { return nodes_[i]; }
  std::vector<xercesc::DOMElement *>::const_iterator begin() const { return nodes_.begin(); }
  std::vector<xercesc::DOMElement *>::const_iterator end() const { return nodes_.end(); }

 private:
  KelCallContext *ctx_;
  std::vector<xercesc::DOMElement *> nodes_;
};

/*
 * Entity resolver, DTD handler and error handler of extraction, update and the DOM parse: the
 * document's DOCTYPE announces its system id (setSystemId); a request for exactly that id is
 * answered with the replacement DTD text (system id "IdForEmptyBuffer", encoding of the
 * database code page), or an empty buffer without one; any other id is left to the parser.
 * Warnings are ignored when warningsFatal is false; errors and fatal errors are rethrown.
 */
class kelDocEntityResolver : public xercesc::EntityResolver, public xercesc::ErrorHandler {
 public:
  kelDocEntityResolver(KelCallContext *ctx, const char *dtdText, bool warningsFatal);
  // Serves the next document as a resolver made with dtdText would.
  void restart(const char *dtdText);
  void setSystemId(const XMLCh *systemId);
  xercesc::InputSource *resolveEntity(const XMLCh *publicId, const XMLCh *systemId) override;
  void warning(const xercesc::SAXParseException &e) override;
  void error(const xercesc::SAXParseException &e) override;
  void fatalError(const xercesc::SAXParseException &e) override;
  void resetErrors() override {}

 private:
  KelCallContext *ctx_;
  const char *dtdText_;
  bool warningsFatal_;
  bool announced_ = false;
  std::u16string systemId_;
};

/*
 * Measures the content models of a parse's DTD at the parse's first element, before the parser
 * builds an automaton from any of them (kelcontentmodel.h); a model past the limits ends the
 * parse with KELQ047E at that element.  watch() names the reader whose DTD grammar is measured
 * and a grammar already measured (the engine's kept grammar), which is passed over.
 */
XERCES_CPP_NAMESPACE_BEGIN
class IdentityConstraintHandler;
class XMLScanner;
XERCES_CPP_NAMESPACE_END

class KelEntityResolver;

class KelModelWatch {
 public:
  void watch(xercesc::SAX2XMLReader *reader, const xercesc::Grammar *measured) {
    reader_ = reader;
    measured_ = measured;
    done_ = false;
  }
  void atElement(KelCallContext *ctx, const xercesc::Locator *locator);

 private:
  xercesc::SAX2XMLReader *reader_ = nullptr;
  const xercesc::Grammar *measured_ = nullptr;
  bool done_ = false;
};

// Identity constraints (unique, key, keyref): the parser has the selector of every constraint in
// force look at each element below the element that declares it, and the fields of every node
// a selector picks look at each element below that node, keeping each value until the
// constraint's element ends.  Elements that nest and each declare one make the work grow with
// the square or the cube of the nesting: 100 such levels around 30,000 values took 10 seconds
// and 1.5 GB, 750 levels alone 36 seconds.  A parse may have its selectors and fields look at
// elements at most kelConstraintChecksFree times, plus kelConstraintChecksPerElement for each
// element read so far: as much as a schema with that many constraints on its root costs.
inline constexpr uint64_t kelConstraintChecksPerElement = 32;
inline constexpr uint64_t kelConstraintChecksFree = 262144;

// An element its schemas do not declare (inside a lax or skip wildcard, or in an invalid
// document) gets a declaration the parser makes up, kept for the rest of the parse in a table
// whose hash takes the local name alone and never grows: 40,000 elements, each named "e" in a
// namespace of its own, took 8 seconds for 750 KB.  A schema validation reads at most
// kelSchemaUndeclaredNames element names (local name and namespace) that its schemas do not
// declare; each may occur any number of times.
inline constexpr size_t kelSchemaUndeclaredNames = 10000;

/*
 * Measures the content models of every schema a parse loads (kelcontentmodel.h) before the
 * parser builds an automaton from any of them, then has the parser run the schema's full checks
 * (ambiguity and derivation), which build them.  The reader loads schemas without those checks
 * (a schema is loaded inside the scan of an element, where nothing can look at it before the
 * checks run); each element's handler calls atElement() first, which finds the grammars loaded
 * since the last element.  A model past the limits ends the parse with KELQ047E at that element.
 * It also counts the looks of identity constraints' selectors and fields at each element, and the
 * element names the schemas do not declare, and ends the parse with KELQ047E at the element
 * where either passes its limit.
 */
class KelSchemaWatch {
 public:
  // resolver: the reader's, which counts the schema documents it is asked for, so that an
  // element after which none was asked for costs one comparison.
  void watch(xercesc::SAX2XMLReader *reader, KelEntityResolver *resolver);
  void atElement(KelCallContext *ctx, const xercesc::Locator *locator);

 private:
  void countWork(KelCallContext *ctx, const xercesc::Locator *locator);

  xercesc::SAX2XMLReader *reader_ = nullptr;
  KelEntityResolver *resolver_ = nullptr;
  uint64_t asked_ = UINT64_MAX;  // the resolver's count when the grammars were last looked at
  std::vector<const void *> checked_;  // the grammars of this parse already measured and checked
  uint64_t work_ = 0;                  // what the measured models cost to build, all together
  // The reader's scanner and its identity-constraint handler, found at the parse's first
  // element; no handler when the scanner is not one that checks constraints.
  xercesc::XMLScanner *scanner_ = nullptr;
  const xercesc::IdentityConstraintHandler *constraints_ = nullptr;
  uint64_t elements_ = 0;  // elements read
  uint64_t checks_ = 0;    // selectors and fields that looked at them, all together
  std::unordered_set<const void *> undeclared_;  // made-up declarations of elements read
};

/*
 * SAX handler of DTD validation: the DTD given stands for the document's external subset, so
 * the parser's one request for the DOCTYPE's system id is answered with it (openDtdGiven).
 * Every other external entity (a module the DTD given names, an entity of the document) is left
 * to the parse's resolver (kelentity.h), as without a DTD given: a relative system id is taken
 * against the directory of the DTD file that declares it; DTD text has none, and there it is
 * refused.  Attached as lexical handler too: with a DTD given, a DOCTYPE that names no external
 * DTD (no system id at all) ends the parse with KELQ047E at the DOCTYPE, and a document without
 * a DOCTYPE with KELQ047E at its first error or element, whichever comes first (before either is
 * reported), since such a document never asks for the DTD and would be checked against its own
 * internal subset, or nothing, alone.  Warnings are ignored, errors and fatal errors rethrown.
 */
class kelValidateHandler : public xercesc::DefaultHandler {
 public:
  // dtdIsText: 1 when dtd is the DTD text; KEL_DTD_OWN_FILE (kelvalidate.h) when it names a
  // temporary file of the call; anything else when it names a server file.
  kelValidateHandler(KelCallContext *ctx, const char *dtd, const XMLCh *dtdId,
                     const XMLCh *encoding, int dtdIsText);
  // Each document starts by the XML 1.0 rules (kelReadAsXml10): the readers are kept.
  void setDocumentLocator(const xercesc::Locator *locator) override;
  void startDTD(const XMLCh *name, const XMLCh *publicId, const XMLCh *systemId) override;
  // Attached as declaration handler too while a document is read against a DTD given: the
  // internal subset is read before the DTD given and its declarations win, so an attribute it
  // declares for an element of the DTD given (a required one made optional, an enumeration made
  // free text, one the DTD given does not have) would loosen the DTD given, and so would a
  // parameter entity, which the DTD given may use to write its declarations ("<!ENTITY % model
  // 'ANY'>"), and so would a general entity the DTD given declares too (shadowedEntity).  Such a
  // document ends with KELQ047E at its first element.  Elements of its own, their attributes
  // and general entities of its own the internal subset may declare.
  void startEntity(const XMLCh *name) override;
  void endEntity(const XMLCh *name) override;
  void elementDecl(const XMLCh *name, const XMLCh *model) override;
  void attributeDecl(const XMLCh *eName, const XMLCh *aName, const XMLCh *type, const XMLCh *mode,
                     const XMLCh *value) override;
  void internalEntityDecl(const XMLCh *name, const XMLCh *value) override;
  void externalEntityDecl(const XMLCh *name, const XMLCh *publicId, const XMLCh *systemId) override;
  void startElement(const XMLCh *uri, const XMLCh *localname, const XMLCh *qname,
                    const xercesc::Attributes &attrs) override;
  xercesc::InputSource *resolveEntity(const XMLCh *publicId, const XMLCh *systemId) override;
  /*
   * The DTD given, for the caller to own: the text as an in-memory source (system id
   * KEL_DTD_TEXT_ID), a file as a source over its descriptor (system id its absolute name; a
   * temporary file of the call, which holds DTD text, KEL_DTD_TEXT_ID), with the given
   * encoding when one is set.  Null without a DTD given.  A file that cannot be opened (outside
   * the allowed read directories, missing) throws KELException with KELQ047E "DTD file "..."
   * refused: ...": call it inside a guarded parse.
   */
  xercesc::InputSource *openDtdGiven();
  // With a DTD given and no DOCTYPE read in this document: throws KELException with KELQ047E
  // "the document has no DOCTYPE, so the DTD given is not applied" at the locator's place.
  void refuseWithoutDoctype();
  void warning(const xercesc::SAXParseException &e) override;
  void error(const xercesc::SAXParseException &e) override;
  void fatalError(const xercesc::SAXParseException &e) override;
  KelModelWatch models;
  // Set by the validator while a document is read against a DTD given: the first general entity
  // of the internal subset that the DTD given declares too (empty: none).  Such a document ends
  // with KELQ047E at its first element: the subset's declaration wins and could change a value
  // the DTD given fixes or defaults with the entity.
  const std::u16string *shadowedEntity = nullptr;

 private:
  KelCallContext *ctx_;
  const xercesc::Locator *locator_ = nullptr;
  const char *dtd_;
  std::u16string dtdId_;
  std::u16string encoding_;
  int dtdIsText_;
  bool doctype_ = false;         // the document has a DOCTYPE
  std::u16string doctypeId_;     // its system id, asked for as the external subset
  bool subsetAnswered_ = false;  // the external subset has been answered with the DTD given
  bool inDtdGiven_ = false;  // between the start and the end of the external subset
  bool subsetChecked_ = false;
  std::vector<std::pair<std::u16string, std::u16string>> subsetAttributes_;  // element, attribute
  // Elements the DTD given declares, or lists attributes of: it alone decides their attributes.
  std::unordered_set<std::u16string> givenElements_;
  std::u16string subsetParameterEntity_;  // the first the internal subset declares, if any
  std::unordered_set<std::u16string> subsetElements_;  // elements the internal subset declares
};

// Deepest element nesting a schema validation reads.  With namespaces on, the parser looks up
// each element's namespace through every open element above it, so a parse costs the square of
// the nesting: 10,000 levels take about a tenth of a second, 100,000 about twenty seconds.
inline constexpr size_t kelSchemaMaxDepth = 10000;

// SAX handler of schema validation: the parser resolves schemas itself; warnings are ignored,
// errors and fatal errors rethrown; an element nested deeper than kelSchemaMaxDepth ends the
// parse with a parse error at its place.
class kelSchemaHandler : public xercesc::DefaultHandler {
 public:
  kelSchemaHandler(KelCallContext *ctx, const XMLCh *encoding);
  void setDocumentLocator(const xercesc::Locator *locator) override;
  void startElement(const XMLCh *uri, const XMLCh *localname, const XMLCh *qname,
                    const xercesc::Attributes &attrs) override;
  void endElement(const XMLCh *uri, const XMLCh *localname, const XMLCh *qname) override;
  xercesc::InputSource *resolveEntity(const XMLCh *publicId, const XMLCh *systemId) override;
  void warning(const xercesc::SAXParseException &e) override;
  void error(const xercesc::SAXParseException &e) override;
  void fatalError(const xercesc::SAXParseException &e) override;
  KelModelWatch models;  // a document's own DTD is checked too when it has one
  KelSchemaWatch schemas;

 private:
  KelCallContext *ctx_;
  const xercesc::Locator *locator_ = nullptr;
  size_t depth_ = 0;
  std::u16string encoding_;
};

#endif /* KEL_SGDOCHANDLER_H */
