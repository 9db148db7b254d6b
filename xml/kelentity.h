/*
 * kelentity.h - what a parse may open.  Every reader and DOM parser of the extension is set up
 * here: the one entity resolver that answers every external entity, DTD and schema request,
 * the limit on entity expansion, and input sources over server files opened by descriptor.
 *
 * The resolver first asks the parse's own resolver (the DOCTYPE's DTD replaced by text, or a
 * DTD given by the caller).  What that leaves open is read only from a regular local file in a
 * directory the instance allows reading (QUARN_XML_READ_DIRS), checked on the opened
 * descriptor; a URL, a missing or refused file ends the parse with KELQ047E naming the entity
 * and the reason, at the place that asked for it.  The parser library never resolves anything
 * itself and has no net accessor (quarnxmlinit), so no parse reaches the network.
 *
 * Objects belong to one parse or one reader on one thread.
 */
#ifndef KEL_ENTITY_H
#define KEL_ENTITY_H

#include <xercesc/parsers/SAX2XMLReaderImpl.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/EntityResolver.hpp>
#include <xercesc/sax/InputSource.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>

#include <memory>
#include <string>

struct KelCallContext;

// Entity references one parse may expand; one more ends it with a parse error.
inline constexpr XMLSize_t KEL_ENTITY_EXPANSION_LIMIT = 10000;

/*
 * Opens a server file named in the database code page and returns an input source over its
 * descriptor (system id: the name as given).  checkDirs: the file must lie in an allowed read
 * directory.  Null with *msgNo and sqlstate as KelReadFile::open reports them.
 */
std::unique_ptr<xercesc::InputSource> kelOpenFileSource(KelCallContext *ctx, const char *fileName,
                                                        bool checkDirs, char *sqlstate, int *msgNo);

/*
 * The resolver every parse installs.  first: the parse's own answer, asked first with the
 * public and system id as the document wrote them; may be null.
 */
class KelEntityResolver : public xercesc::XMLEntityResolver {
 public:
  KelEntityResolver(KelCallContext *ctx, xercesc::EntityResolver *first) : ctx_(ctx), first_(first) {}
  void setFirst(xercesc::EntityResolver *first) { first_ = first; }
  xercesc::InputSource *resolveEntity(xercesc::XMLResourceIdentifier *resource) override;

 private:
  KelCallContext *ctx_;
  xercesc::EntityResolver *first_;
};

/*
 * Called by a content handler's setDocumentLocator with the locator it is given: the document
 * about to be read is read by the XML 1.0 rules until its own declaration says otherwise.  A
 * reader kept between documents would otherwise read every document after an XML 1.1 one by
 * the 1.1 rules (an XML 1.0 document with "&#5;" would pass as well-formed).
 */
void kelReadAsXml10(const xercesc::Locator *locator);

/*
 * A SAX2 reader: the caller sets its features, handlers and the resolver (kelSecureReader).
 * manager: where the reader allocates (null: the process's manager); it must outlive the
 * reader.  scanner: the parser library's scanner by name (XMLUni::fgDGXMLScanner, ...), or
 * null for its default.
 */
std::unique_ptr<xercesc::SAX2XMLReaderImpl> kelCreateReader(xercesc::MemoryManager *manager = nullptr,
                                                            const XMLCh *scanner = nullptr);

// The settings every reader and DOM parser gets: the resolver, no resolution of its own, the
// expansion limit.
void kelSecureReader(xercesc::SAX2XMLReaderImpl &reader, KelEntityResolver *resolver);
void kelSecureParser(xercesc::XercesDOMParser &parser, KelEntityResolver *resolver);

/*
 * One run of a reader kept between runs: attaches the run's handlers (lexical may be null) and
 * the resolver the reader's guard asks first, and detaches them all when it goes, so a kept
 * reader never points to a finished run's objects.
 */
class KelReaderRun {
 public:
  KelReaderRun(xercesc::SAX2XMLReaderImpl &reader, KelEntityResolver &guard, xercesc::ContentHandler *content,
               xercesc::ErrorHandler *errors, xercesc::LexicalHandler *lexical, xercesc::EntityResolver *first)
      : reader_(reader), guard_(guard) {
    reader_.setContentHandler(content);
    reader_.setErrorHandler(errors);
    if (lexical != nullptr) reader_.setLexicalHandler(lexical);
    guard_.setFirst(first);
  }
  ~KelReaderRun() {
    reader_.setContentHandler(nullptr);
    reader_.setErrorHandler(nullptr);
    reader_.setLexicalHandler(nullptr);
    guard_.setFirst(nullptr);
  }
  KelReaderRun(const KelReaderRun &) = delete;
  KelReaderRun &operator=(const KelReaderRun &) = delete;

 private:
  xercesc::SAX2XMLReaderImpl &reader_;
  KelEntityResolver &guard_;
};

#endif /* KEL_ENTITY_H */
