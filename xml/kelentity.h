/*
 * kelentity.h - what a parse may open.  Every reader and DOM parser of the extension is set up
 * here: the one entity resolver that answers every external entity, DTD and schema request,
 * the limit on entity expansion, and input sources over server files opened by descriptor.
 *
 * The resolver first asks the parse's own resolver (the DOCTYPE's DTD replaced by text, or a
 * DTD given by the caller for the document's external subset).  What that leaves open is read
 * only from a regular local file in a directory the instance allows reading
 * (QUARN_XML_READ_DIRS), checked on the opened descriptor; a URL, a missing or refused file ends
 * the parse with KELQ047E naming the entity and the reason, at the place that asked for it.
 * The parser library never resolves anything itself and has no net accessor (quarnxmlinit), so
 * no parse reaches the network.
 *
 * Objects belong to one parse or one reader on one thread.
 */
#ifndef KEL_ENTITY_H
#define KEL_ENTITY_H

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/XMLErrorReporter.hpp>
#include <xercesc/parsers/SAX2XMLReaderImpl.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/EntityResolver.hpp>
#include <xercesc/sax/InputSource.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/util/XMLEntityResolver.hpp>
#include <xercesc/validators/DTD/DocTypeHandler.hpp>

#include "quarnparseguard.h"

struct KelCallContext;
class KELException;
namespace xercesc_3_2 {
class ReaderMgr;
class XMLScanner;
}

// UTF-16 text in the database code page (file names are kept in it throughout); without a
// converter, ASCII as it is and anything else as '?'.
std::string kelToDb(KelCallContext *ctx, const XMLCh *text);

/*
 * text in the database code page in *out, cut (at a character) to at most maxBytes bytes.  A
 * text the database code page cannot hold is given with "?" for each character beyond ASCII;
 * false when even that cannot be converted.
 */
bool kelToDbCut(KelCallContext *ctx, std::u16string text, size_t maxBytes, std::string *out);

/*
 * The system id of a DTD given to validation as text (in memory, or in a temporary file of the
 * call).  The text has no place of its own: an entity it declares by a relative system id is
 * refused ("external entity "mod.dtd" refused: ..."), not taken against the current directory.
 */
inline constexpr XMLCh KEL_DTD_TEXT_ID[] = u"IdForDtdDocBuffer";

// The system id of the text that replaces the DOCTYPE's external DTD in extraction and update
// (or of the empty text without one): a relative name in it is refused the same way.
inline constexpr XMLCh KEL_REPLACEMENT_DTD_ID[] = u"IdForEmptyBuffer";

// Entity references one parse may expand; one more ends it with a parse error.
inline constexpr XMLSize_t KEL_ENTITY_EXPANSION_LIMIT = 10000;

/*
 * Entities one parse may have open at once, the external DTD and every general or parameter
 * entity counted, the document not: the parser keeps a reader with its buffers for each (about
 * 19 KB), so a chain of 9,990 internal entities each naming the next, within the expansion
 * limit, took 187 MB.  Checked where the parser asks for the reader of one more entity (see
 * kelNoteAllocation), in the parses whose handlers call kelReadAsXml10; one more is the parse
 * error "entities nest more than 256 deep".
 */
inline constexpr XMLSize_t KEL_ENTITY_NESTING_LIMIT = 256;

/*
 * The limit on what one parse reads through the parser's own entity readers: the document,
 * its DTD and schemas, and every expansion of an entity, general or parameter, in content, in
 * attribute values and defaults, and in entity values.  The expansion limit of the parser
 * library counts only general entities in content and attribute values; this one also stops
 * parameter entities and defaults declared in a DTD.
 */
inline constexpr uint64_t KEL_ENTITY_READER_LIMIT = KEL_ENTITY_EXPANSION_LIMIT + 16;

// A schema document is read whole and measured before the parser reads the same bytes
// (kelschemascan.h).  Schema documents are larger than this only by mistake.
inline constexpr size_t KEL_SCHEMA_DOCUMENT_BYTES_LIMIT = size_t{64} << 20;

/*
 * The largest block one parse may ask for: 512 MiB, a text, attribute value or entity value of
 * a quarter of a billion characters, and KEL_PARSE_BLOCK_BYTES_PER_ELEMENT more for each
 * element the parse has read.  Entity values made of parameter entities grow tenfold per level
 * with a handful of expansions; this bounds what they can take (a DTD is read before any
 * element, so there the bound is the 512 MiB alone).  The parser keeps a list of the children
 * of each open element, 8 bytes a child, grown by a quarter at a time: a document of 62 million
 * empty elements in one (250 MB) asked for a block of 617 MB and was refused as "entity
 * expansion beyond the size a parse may hold" by the parses that read it with the parser's
 * default scanner (explainPath, extraction's second reading).
 */
inline constexpr uint64_t KEL_PARSE_BLOCK_LIMIT = uint64_t{512} << 20;
inline constexpr uint64_t KEL_PARSE_BLOCK_BYTES_PER_ELEMENT = 16;

/*
 * Told of every block a parse's memory manager hands out (the watched manager below and the
 * arena of kelarena.h): a block the size of the parser's entity reader is one more entity read.
 * While a KelExpansionWatch is armed on the thread, the read past KEL_ENTITY_READER_LIMIT throws
 * the parse error KELQ047E (SQLSTATE "38X13") before the reader is made; so does a block larger
 * than KEL_PARSE_BLOCK_LIMIT with the allowance of the elements read so far.
 */
void kelNoteAllocation(XMLSize_t size);
// Ends the running parse with KELQ047E at the parser's place, for reason.
[[noreturn]] void kelRefuseParse(const std::string &reason);

/*
 * What entity expansions may read, all together.  The expansion limit counts expansions, not
 * their size: an internal entity of 100,000 characters referenced 5,000 times in attribute
 * values (160 KB) took 7 seconds, and 10,000 references to an entity as large as the document
 * are allowed.  Called at the root element, when the internal subset has been read: from there
 * on the parse may make KEL_EXPANDED_TEXT_LIMIT / longestValue more expansions (never more than
 * the expansion limit), longestValue being the longest internal entity's length; past that, the
 * parse error "entity expansion beyond the size a parse may hold".
 */
inline constexpr uint64_t KEL_EXPANDED_TEXT_LIMIT = uint64_t{16} << 20;
void kelLimitExpansions(XMLSize_t longestValue);

/*
 * What external entities may read again, all together.  The parser reads an external entity's
 * file anew at every reference, so the expansion limit alone let a document of a few KB read a
 * file of an allowed directory ten thousand times (2,000 references to a 1 MB file took a
 * minute).  Told by the entity resolver of every file it opens for the running parse (its device,
 * inode and size): the first reading of each file is free, later ones may read
 * KEL_EXPANDED_TEXT_LIMIT bytes all together; past that, the parse error "entity expansion
 * beyond the size a parse may hold".
 */
void kelNoteEntityFile(uint64_t device, uint64_t inode, uint64_t bytes);

// The process's memory manager, watched as above; for readers and DOM parsers without an arena.
xercesc::MemoryManager *kelWatchedMemoryManager();

/*
 * The parser library's work that grows faster than the document, counted while the watch below
 * is armed (quarnparseguard.h).  The schema patterns' matcher may make 16 Mi steps, 64 more for
 * each character of every value matched and, for each value, as many as its pattern has
 * characters; past that, the parse error "matching the
 * document's values against the patterns of its schemas takes too much work: ..." at the place
 * being read (".+@.+\..+" against 20 KB took 3 seconds, "(a|aa)*b" grows exponentially).  The
 * namespace lookups and the start tags' duplicate checks may look at 64 Mi open elements,
 * declarations and attributes and 1,024 more for each name; past that, "resolving the
 * document's names takes too much work: ..." (one start tag of 40,000 attributes of one local
 * name in as many namespaces took 3.8 seconds).  kelParseWorkOverrun says whether this
 * thread's parse has been stopped so: the parser library reports the stop to the handlers as
 * an error of its own, which is not the document's.
 */
bool kelParseWorkOverrun();
// The parse error that stopped it, at the place then read; null before.
const KELException *kelParseWorkRefusal();

// Arms the watch for one parse on this thread (kelGuardedParse); nests.  The handlers' call of
// kelReadAsXml10 tells it where the document is read, for the place of its error.
class KelExpansionWatch {
 public:
  explicit KelExpansionWatch(KelCallContext *ctx);
  ~KelExpansionWatch();
  KelExpansionWatch(const KelExpansionWatch &) = delete;
  KelExpansionWatch &operator=(const KelExpansionWatch &) = delete;

 private:
  friend void kelNoteAllocation(XMLSize_t size);
  friend void kelReadAsXml10(const xercesc::Locator *locator);
  friend void kelLimitParseMemory(uint64_t documentBytes);
  friend void kelRefuseParse(const std::string &reason);
  friend void kelLimitExpansions(XMLSize_t longestValue);
  friend void kelNoteEntityFile(uint64_t device, uint64_t inode, uint64_t bytes);
  friend void kelCheckDeclaredEncoding(const xercesc::ReaderMgr *readers, const XMLCh *declared);
  friend bool kelPlaceBadByte(const xercesc::ReaderMgr *readers, unsigned int code, const XMLCh *domain,
                              XMLFileLoc *line, XMLFileLoc *column, std::u16string *text);
  friend class KelAttributeWeigher;
  friend bool kelParseWorkOverrun();
  friend const KELException *kelParseWorkRefusal();
  static void refuseWork(QuarnParseWork *work);
  KelCallContext *ctx_;
  const xercesc::Locator *locator_ = nullptr;  // where the document is read, once known
  const xercesc::ReaderMgr *readerMgr_ = nullptr;  // the same, when it is the parser's reader stack
  uint64_t readers_ = 0;
  uint64_t readerLimit_ = KEL_ENTITY_READER_LIMIT;  // lowered by kelLimitExpansions
  uint64_t budget_ = 0;     // bytes the parse may ask of the watched manager; 0: no limit
  uint64_t allocated_ = 0;  // bytes asked so far (frees are not counted back)
  uint64_t elements_ = 0;   // elements read (KelAttributeWeigher), for KEL_PARSE_BLOCK_LIMIT
  std::vector<std::pair<uint64_t, uint64_t>> entityFiles_;  // device and inode of each file read
  uint64_t rereadBytes_ = 0;  // what later readings of those files read (kelNoteEntityFile)
  QuarnParseWork work_;  // the account of the library's patterns and names
  std::unique_ptr<KELException> workRefusal_;  // made when the account is overrun
  KelExpansionWatch *outer_;
};

/*
 * Called inside a guarded DOM parse before it starts: what the parse asks of the watched
 * manager (the tree and the parser's buffers) may not pass KEL_DOM_BYTES_PER_BYTE times the
 * document's bytes plus KEL_DOM_BYTES_FLOOR when the parse reads one more entity (so a tree
 * without entities is never refused, and one with them takes at most that and one entity's
 * text).  A tree takes at most about 64 bytes for a byte
 * of markup; an entity of a million characters referenced ten thousand times (the expansion
 * limit) would take gigabytes from a small document.
 */
inline constexpr uint64_t KEL_DOM_BYTES_PER_BYTE = 256;
inline constexpr uint64_t KEL_DOM_BYTES_FLOOR = uint64_t{64} << 20;
void kelLimitParseMemory(uint64_t documentBytes);

/*
 * Opens a server file named in the database code page and returns an input source over its
 * descriptor (system id: the name made absolute, or with byRealPath the real path of the file
 * opened).  checkDirs: the file must lie in an allowed read directory.  Null with *msgNo and sqlstate as KelReadFile::open reports them.  Its streams end
 * the parse when the file ends inside a character, as KelMemBufSource's do; what names the file
 * in that error ("" for the document itself).
 */
std::unique_ptr<xercesc::InputSource> kelOpenFileSource(KelCallContext *ctx, const char *fileName,
                                                        bool checkDirs, char *sqlstate, int *msgNo,
                                                        const std::string &what = std::string(),
                                                        bool byRealPath = false);

/*
 * A document or DTD text in memory.  Bytes at its end that make no whole character of its
 * encoding (a last byte FF, half of a UTF-8 sequence, one byte of a UTF-16 unit) end the parse
 * with KELQ047E "<what> ends inside a character: ..." at the place then read; the parser library
 * would drop them and let the input pass.  what: "" for the document itself.
 */
class KelMemBufSource : public xercesc::MemBufInputSource {
 public:
  KelMemBufSource(const XMLByte *bytes, XMLSize_t byteCount, const XMLCh *systemId,
                  bool adoptBuffer, std::string what = std::string())
      : MemBufInputSource(bytes, byteCount, systemId, adoptBuffer), what_(std::move(what)) {}
  xercesc::BinInputStream *makeStream() const override;

 private:
  std::string what_;
};

/*
 * The resolver every parse installs.  first: the parse's own answer, asked first with the
 * public and system id as the document wrote them; may be null.
 */
class KelArena;
class KelSchemaScan;

class KelEntityResolver : public xercesc::XMLEntityResolver {
 public:
  KelEntityResolver(KelCallContext *ctx, xercesc::EntityResolver *first);
  void setFirst(xercesc::EntityResolver *first) { first_ = first; }
  void setContext(KelCallContext *ctx) { ctx_ = ctx; }
  xercesc::InputSource *resolveEntity(xercesc::XMLResourceIdentifier *resource) override;
  ~KelEntityResolver() override;
  // Schema documents asked for so far (a schema, or one it includes, imports or redefines).
  uint64_t schemasAsked() const { return schemasAsked_; }
  /*
   * Loading schemas may take at most bytes more of arena (the reader's memory): the first
   * schema document asked for sets the arena's limit, schemasLoaded() lifts it once the parser
   * is past the element that loaded them.  A schema's group references and derivations are
   * copied as the parser reads them, so a few kilobytes of references nested ten deep and ten
   * wide take gigabytes and minutes; past the limit the parse ends (the arena says so).
   */
  void limitSchemaLoads(KelArena *arena, size_t bytes) {
    loadArena_ = arena;
    loadBytes_ = bytes;
  }
  void schemasLoaded();
  /*
   * On: a schema the document asks for by its own xsi:schemaLocation (a schema for a namespace
   * that the schema given does not bring in) is refused, so the schema given alone decides.
   * What the schema given includes, imports or redefines is read as before.
   */
  void onlyGivenSchema(bool on) { onlyGivenSchema_ = on; }
  // A parse begins: the schema documents of the last one are forgotten.
  void startParse();

 private:
  xercesc::InputSource *measuredSchema(xercesc::XMLResourceIdentifier *resource, const std::string &id,
                                       std::unique_ptr<xercesc::InputSource> file);

  KelCallContext *ctx_;
  xercesc::EntityResolver *first_;
  uint64_t schemasAsked_ = 0;
  KelArena *loadArena_ = nullptr;
  size_t loadBytes_ = 0;
  bool loading_ = false;
  bool onlyGivenSchema_ = false;
  std::unique_ptr<KelSchemaScan> schemaScan_;  // made when first needed
};

/*
 * Called by a content handler's setDocumentLocator with the locator it is given: the document
 * about to be read is read by the XML 1.0 rules until its own declaration says otherwise.  A
 * reader kept between documents would otherwise read every document after an XML 1.1 one by
 * the 1.1 rules (an XML 1.0 document with "&#5;" would pass as well-formed).
 */
void kelReadAsXml10(const xercesc::Locator *locator);

/*
 * Attributes a DTD gives by default: the parser gives each element every attribute its type's
 * attribute list declares with a default value and the element leaves out, so a few kilobytes
 * of declarations multiply every element of the document, by their number and by the length
 * of their values: 20,000 empty elements of a type with 4,000 defaulted attributes (143 KB)
 * made 80 million attributes and took 4.8 seconds, 10,000 of a type with one default of 100,000
 * characters took 1.2 seconds, in every parse of the document (extraction, the side-table
 * triggers, update, validation).  A reader made by kelCreateReader weighs each attribute given
 * by default as KEL_DEFAULTED_ATTRIBUTE_WEIGHT plus the length of its value; a parse may be
 * given KEL_DEFAULTED_FREE, plus KEL_DEFAULTED_PER_ELEMENT for each element it has read; past
 * that it ends with KELQ047E at the element.
 */
inline constexpr uint64_t KEL_DEFAULTED_ATTRIBUTE_WEIGHT = 64;
inline constexpr uint64_t KEL_DEFAULTED_PER_ELEMENT = 4096;
inline constexpr uint64_t KEL_DEFAULTED_FREE = uint64_t{64} << 20;

/*
 * Attributes a grammar declares cost every start tag of their element, given or not: the
 * scanner looks at each declaration at each start tag, so 40,000 attributes declared #IMPLIED
 * for an element of which a document has 80,000 (1.2 MB) took 23 seconds in every parse.  A
 * parse may look at KEL_DECLARED_FREE declarations, plus KEL_DECLARED_PER_ELEMENT for each
 * element it has read; past that it ends with KELQ047E at the element.
 */
inline constexpr uint64_t KEL_DECLARED_PER_ELEMENT = 4096;
inline constexpr uint64_t KEL_DECLARED_FREE = uint64_t{16} << 20;

// The accounts above for one parse, kept by the readers of kelCreateReader and the DOM parser.
class KelAttributeWeigher {
 public:
  void reset() { *this = KelAttributeWeigher(); }
  // Weighs a start tag with its attributes (count of attrs); throws the refusal past either limit.
  void element(const xercesc::XMLElementDecl &decl, const xercesc::RefVectorOf<xercesc::XMLAttr> &attrs,
               XMLSize_t count);

 private:
  uint64_t elements_ = 0;
  uint64_t defaulted_ = 0;  // weight of the attributes given by default so far
  uint64_t declared_ = 0;   // declarations looked at so far
};

/*
 * A SAX2 reader: the caller sets its features, handlers and the resolver (kelSecureReader).
 * manager: where the reader allocates (null: the process's manager); it must outlive the
 * reader.  scanner: the parser library's scanner by name (XMLUni::fgDGXMLScanner, ...), or
 * null for its default.
 */
std::unique_ptr<xercesc::SAX2XMLReaderImpl> kelCreateReader(xercesc::MemoryManager *manager = nullptr,
                                                            const XMLCh *scanner = nullptr);

/*
 * Called with the encoding an XML or text declaration names (declared; null or empty without
 * one) while the parser's reader of that input is the current one of readers.  An input of
 * kelOpenFileSource or KelMemBufSource that begins with a byte-order mark of another encoding
 * ends the parse with KELQ047E "the byte-order mark of <what> (UTF-8) and the encoding its
 * declaration names ("ISO-8859-1") disagree": the parser would take the declaration's word and
 * read the bytes after the mark in that encoding.  "UTF-16" without a byte order agrees with
 * either UTF-16 mark.  An encoding the caller set on the input source decides alone, as in the
 * parser.  The readers of kelCreateReader and the DOM parser of kelDOM call it.
 */
void kelCheckDeclaredEncoding(const xercesc::ReaderMgr *readers, const XMLCh *declared);

/*
 * Called where a parse reports the fatal error an exception of the parser library ended it with
 * (XMLErrs::XMLException_Fatal), while the failing reader is the current one of readers.  The
 * parser decodes its input in blocks ahead of the scanner; a byte its encoding does not read
 * failed the whole block, and the error named the scanner's place (lines before the byte) and
 * a byte after the bad one.  When that input is a stream of kelOpenFileSource or
 * KelMemBufSource, the bytes the parser has read of it are decoded again by the reader's own
 * transcoder, from the first, in memory or through the same descriptor; this runs only after
 * such a failure.  True with the first byte that does not decode: *line and *column where it
 * stands, counted as the parser counts (lines and UTF-16 units from 1, a line end of CR LF
 * counted once), and *text "invalid byte 0xE9 in the document (UTF-8): no character begins with
 * the bytes 0xE9 0x20 0x78".  False, with nothing set, when the input cannot be read again or
 * decodes without such a byte (the exception was another one).
 */
bool kelPlaceBadByte(const xercesc::ReaderMgr *readers, unsigned int code, const XMLCh *domain,
                     XMLFileLoc *line, XMLFileLoc *column, std::u16string *text);

/*
 * From here on in the running parse, a reference to an entity that no declaration read so far
 * declares is a fatal error ("entity ... not found"), as in a document without a DTD.  For a
 * parse that reads the document's external DTD as empty: the parser would otherwise drop such
 * a reference without a word, since the DTD it did not read might have declared it.
 */
void kelRefuseUndeclaredEntities(xercesc::SAX2XMLReaderImpl &reader);
// The same for the scanner of a DOM parser.
void kelRefuseUndeclaredEntities(xercesc::XMLScanner *scanner);

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

/*
 * Stands between a reader's scanner and the reader for one reading, as the scanner's DTD event
 * handler: every event goes on to the reader unchanged, unless a subclass takes it first (a later
 * declaration of an attribute, an entity declaration the parser ignores).  A subclass may also
 * withhold some of the parser's warnings from the reader: the reader asks the tap it is given
 * before it reports one.  The scanner's error reporter is never replaced (its validators keep a
 * copy of it that a replacement would leave pointing at a gone tap).  The scanner gets its DTD
 * handler back, and the reader loses the tap, when this goes.
 */
class KelScannerTap : public xercesc::DocTypeHandler {
 public:
  explicit KelScannerTap(xercesc::SAX2XMLReaderImpl &reader);
  ~KelScannerTap() override;
  KelScannerTap(const KelScannerTap &) = delete;
  KelScannerTap &operator=(const KelScannerTap &) = delete;

  // The warning of an attribute declared again (XML lets a DTD do so: the first declaration
  // binds, later ones are ignored).
  static bool declaredAgain(unsigned int code, const XMLCh *domain, xercesc::XMLErrorReporter::ErrTypes type);

  // Whether the reader keeps this warning or error to itself (it reports the others).
  virtual bool withholds(unsigned int code, const XMLCh *domain, xercesc::XMLErrorReporter::ErrTypes type);

  void attDef(const xercesc::DTDElementDecl &element, const xercesc::DTDAttDef &attribute,
              const bool ignoring) override;
  void doctypeComment(const XMLCh *const comment) override;
  void doctypeDecl(const xercesc::DTDElementDecl &root, const XMLCh *const publicId,
                   const XMLCh *const systemId, const bool hasIntSubset, const bool hasExtSubset) override;
  void doctypePI(const XMLCh *const target, const XMLCh *const data) override;
  void doctypeWhitespace(const XMLCh *const chars, const XMLSize_t length) override;
  void elementDecl(const xercesc::DTDElementDecl &decl, const bool isIgnored) override;
  void endAttList(const xercesc::DTDElementDecl &element) override;
  void endIntSubset() override;
  void endExtSubset() override;
  void entityDecl(const xercesc::DTDEntityDecl &entity, const bool isPEDecl, const bool isIgnored) override;
  void resetDocType() override;
  void notationDecl(const xercesc::XMLNotationDecl &notation, const bool isIgnored) override;
  void startAttList(const xercesc::DTDElementDecl &element) override;
  void startIntSubset() override;
  void startExtSubset() override;
  void TextDecl(const XMLCh *const version, const XMLCh *const encoding) override;

 protected:
  xercesc::SAX2XMLReaderImpl &reader_;

 private:
  xercesc::XMLScanner *scanner_;
  xercesc::DocTypeHandler *declarations_;  // the scanner's handler before, given back
  KelScannerTap *outer_;                   // the reader's tap before, given back
};

#endif /* KEL_ENTITY_H */
