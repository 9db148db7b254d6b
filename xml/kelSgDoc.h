/*
 * kelSgDoc.h - the parser layer: the check of the process-wide parser initialisation, DOM
 * parses with the external DTD read as empty, entity escaping, UTF-16 to database code page
 * conversion and child-element lookup.  Every function is reentrant; DOM documents handed out
 * belong to the caller.
 */
#ifndef KEL_SGDOC_H
#define KEL_SGDOC_H

#include <xercesc/dom/DOMDocument.hpp>
#include <xercesc/dom/DOMNode.hpp>
#include <xercesc/util/XercesDefs.hpp>

#include <xercesc/sax/InputSource.hpp>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

struct KelCallContext;

/*
 * 0 when the process-wide initialisation of the parser library (done by quarnxmlinit when it
 * was loaded) succeeded; otherwise -1 with SQLSTATE "38X13" and a message for the
 * initialiser's error codes -1 to -4 (KELG001E or KELQ047E), -1 alone for any other code.
 */
int kelInitializeParser(KelCallContext *ctx, char *sqlstate, char *msg);

// Nothing to release: the initialiser owns the parser library's termination.  Returns 0.
int kelTerminateParser(KelCallContext *ctx);

/*
 * The parser check of one call, made by the routine frames right after kelInit: traces
 * "kelInitializeParser rc = %d, memthresh %d".  Returns 0; when the shared initialisation
 * failed, the return code of the check's SQLSTATE ("38X13": -85 when the state has none) with
 * sqlstate and msg set; the caller then tears the context down (kelTerm).
 */
int32_t kelCheckParserForCall(KelCallContext *ctx, char *sqlstate, char *msg);

/*
 * Parses a document into a DOM without validation; a DOCTYPE's external DTD reads as empty,
 * other external entities are read as the entity resolver allows (kelentity.h).
 * inMemory 1: doc is the document text (terminated, database code page), else a file name
 * (KEL_DOC_OWN_FILE or KEL_DOC_SERVER_FILE).
 * cpFlag 1: the document is read in the encoding of the database code page.
 * Returns 0 with *out set (the caller calls (*out)->release(), or keeps it in a KelDomDocument);
 * -1 with SQLSTATE and message: KELC001E/"38X01" missing file, KELG002E/"38X10" out of memory,
 * KELQ047E/"38X13" parse errors with line and column, KELG001E/"38X13" other failures.  The
 * parse keeps the attribute accounts of kelentity.h, and one of its own: the tree compares
 * each attribute it sets with those its element already has, so a parse may make
 * KEL_DOM_ATTRIBUTE_WORK_FREE comparisons plus KEL_DOM_ATTRIBUTE_WORK_PER_ATTRIBUTE for each
 * attribute read (an element of up to 2,048 attributes never passes it); past that, KELQ047E.
 */
int kelDOM(KelCallContext *ctx, const char *doc, int cpFlag, int inMemory,
           xercesc::DOMDocument **out, char *sqlstate, char *msg);

struct KelDomRelease {
  void operator()(xercesc::DOMDocument *doc) const {
    if (doc != nullptr) doc->release();
  }
};
using KelDomDocument = std::unique_ptr<xercesc::DOMDocument, KelDomRelease>;

/*
 * Values of the in-memory flag of the parses.  A document is text in memory, a file of the
 * call's own (a temporary file), or a server file a user named, which is read only when it is a
 * regular file in a directory the instance allows reading (checked on the opened file).
 */
// The comparisons a DOM parse may make to set the attributes of its elements (kelDOM).
inline constexpr uint64_t KEL_DOM_ATTRIBUTE_WORK_FREE = uint64_t{64} << 20;
inline constexpr uint64_t KEL_DOM_ATTRIBUTE_WORK_PER_ATTRIBUTE = 1024;

inline constexpr int KEL_DOC_OWN_FILE = 0;
inline constexpr int KEL_DOC_IN_MEMORY = 1;
inline constexpr int KEL_DOC_SERVER_FILE = 2;

/*
 * The input source of a document: docLength bytes of text in memory (inMemory 1) with the
 * given system id, or the file doc names, read through its descriptor (inMemory
 * KEL_DOC_OWN_FILE or KEL_DOC_SERVER_FILE).  Returns null when the file cannot be read, with the
 * message and SQLSTATE of KelReadFile (KELC001E/"38X01" missing, KELC002E/"38X02" refused,
 * KELC000E/"38X00").  cpFlag 1 sets the encoding of the database code page (failure: null with
 * the message of the encoding lookup).
 */
std::unique_ptr<xercesc::InputSource> kelOpenInput(KelCallContext *ctx, const char *doc,
                                                   size_t docLength, int inMemory, int cpFlag,
                                                   const XMLCh *systemId, char *sqlstate, char *msg);

// Inside a handler: whether the exception being handled is running out of memory
// (std::bad_alloc, or the parser library's OutOfMemoryException).
bool kelHandlingOutOfMemory() noexcept;

// What a parse reports for a failure that is no exception of the parser library.
enum class KelOtherFailure { Silent, InternalError };

/*
 * Runs parse and maps what it throws, all with SQLSTATE "38X13": a parse error to KELQ047E
 * with line, column and text; another parser exception to KELQ047E with line (or "0") and
 * column "0"; out of memory to KELG002E with "38X10"; anything else (KELException of a
 * handler included) to the trace line "parser->parse crashed w/o an XMLException." and, for
 * InternalError, KELG001E of the unit kelSgDoc.  Returns 0, or -1 after a failure.
 */
int kelGuardedParse(KelCallContext *ctx, const std::function<void()> &parse, char *sqlstate,
                    char *msg, KelOtherFailure other);

/*
 * Converts text into the database code page in out, which must hold 4 bytes per character
 * plus 4; returns out.  A missing text or buffer converts nothing (trace only).
 */
char *kelConvXMLCh(KelCallContext *ctx, const XMLCh *text, char *out);

/*
 * Copies src into dest (capacity in characters) with ", &, ', <, > replaced by their entities.
 * Returns the written length + 1; -1 with *status -58 and KELG002E when the text and its
 * terminator do not fit.
 */
int kelEntityReplaceUCS(KelCallContext *ctx, XMLCh *dest, const XMLCh *src, int capacity,
                        int *status, char *msg);

/*
 * The same into a malloc'd buffer *buf of *capacity characters that grows as needed (to
 * exactly what is written plus a terminator); *capacity is the final capacity.  Returns 0, or
 * -58 with *status -58 and KELG002E when the buffer cannot be grown.
 */
int kelEntityReplaceUCSRealloc(KelCallContext *ctx, XMLCh **buf, const XMLCh *src, int *capacity,
                               int *status, char *msg);

// Escapes a UTF-16 source into a database-code-page buffer that is reallocated as needed.
struct KelEntityReplaceRec {
  KelCallContext *ctx;
  char **out;         // in/out: malloc'd buffer of *capacity bytes
  const XMLCh *src;
  int *capacity;      // in/out: bytes of *out
  int *status;
  char *msg;
};
// Returns 0, or -1 with *status -58 and KELG002E when memory is short or the text cannot be
// converted.
int kelEntityReplace(KelEntityReplaceRec *rec);

// The entity that replaces c in text ("&lt;" for '<', ...) with its length in *n; null (and
// *n 1) when c stands for itself.
const XMLCh *kelEntityOf(XMLCh c, size_t *n);

// Appends src[0..n) to out with the five special characters replaced by their entities.
void kelAppendEscaped(std::u16string &out, const XMLCh *src, size_t n);

// The same for any out with append(const XMLCh *, size_t).
template <typename Out>
void kelAppendEscapedTo(Out &out, const XMLCh *src, size_t n) {
  size_t start = 0;
  for (size_t i = 0; i < n; ++i) {
    size_t len;
    const XMLCh *entity = kelEntityOf(src[i], &len);
    if (entity == nullptr) continue;
    out.append(src + start, i - start);
    out.append(entity, len);
    start = i + 1;
  }
  out.append(src + start, n - start);
}

/*
 * Appends src[0..n) to out as markup that reads back as the same text: the five special
 * characters as their entities, and as decimal character references CR (a literal CR would be
 * read as a line end), the other control characters but TAB and LF, the C1 controls and
 * U+2028 (which XML 1.1 documents may hold only as references, or read as line ends); in an
 * attribute value (attribute true) also TAB and LF ("&#9;", "&#10;"), which the next parse
 * would otherwise normalise to blanks.
 */
void kelAppendMarkupEscaped(std::u16string &out, const XMLCh *src, size_t n, bool attribute);

// The same for any out with append(const XMLCh *, size_t).
template <typename Out>
void kelAppendMarkupEscapedTo(Out &out, const XMLCh *src, size_t n, bool attribute) {
  size_t start = 0;
  for (size_t i = 0; i < n; ++i) {
    const XMLCh c = src[i];
    // Most characters stand for themselves: all above '>' but the C1 controls and U+2028.
    if (c > u'>' && (c < 0x7F || (c > 0x9F && c != 0x2028))) continue;
    size_t len;
    const XMLCh *entity = kelEntityOf(c, &len);
    XMLCh ref[8];
    if (entity == nullptr) {
      if (c > u'>' || (c < 0x20 && (attribute || (c != u'\t' && c != u'\n')))) {
        // A character reference: what a parse reads back as this character, whatever the
        // line-end and attribute normalisation of the document's XML version.
        int k = 0;
        ref[k++] = u'&';
        ref[k++] = u'#';
        unsigned v = c, div = 10000;
        while (div > 1 && v / div == 0) div /= 10;
        for (; div > 0; div /= 10) ref[k++] = static_cast<XMLCh>(u'0' + (v / div) % 10);
        ref[k++] = u';';
        entity = ref;
        len = static_cast<size_t>(k);
      } else {
        continue;
      }
    }
    out.append(src + start, i - start);
    out.append(entity, len);
    start = i + 1;
  }
  out.append(src + start, n - start);
}

/*
 * kelAppendMarkupEscapedTo over bytes, for any out with append(const char *, size_t): the same
 * references for the same characters, so composed text reads back as the table holds it.  With
 * utf8 set the bytes are UTF-8 and the C1 controls (C2 80..C2 9F) and U+2028 (E2 80 A8) are
 * recognised whole; without it (another ASCII-based code page) only single bytes below 0x80 are
 * replaced.  A sequence cut at the end of src is copied as it stands: a caller that feeds a
 * value in pieces holds such a tail back for the next piece (kelMarkupEscapedTail).
 */
template <typename Out>
void kelAppendMarkupEscapedBytesTo(Out &out, const char *src, size_t n, bool attribute, bool utf8) {
  const auto *b = reinterpret_cast<const unsigned char *>(src);
  size_t start = 0;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = b[i];
    if (c > '>' && c < 0x7F) continue;
    unsigned code = c;
    size_t len = 1;
    if (c >= 0x80) {
      if (!utf8) continue;
      if (c == 0xC2 && i + 1 < n && b[i + 1] >= 0x80 && b[i + 1] <= 0x9F) {
        code = b[i + 1];
        len = 2;
      } else if (c == 0xE2 && i + 2 < n && b[i + 1] == 0x80 && b[i + 2] == 0xA8) {
        code = 0x2028;
        len = 3;
      } else {
        continue;
      }
    } else if (c >= 0x20 && c != 0x7F) {
      if (c != '"' && c != '&' && c != '\'' && c != '<' && c != '>') continue;
    } else if (!attribute && (c == '\t' || c == '\n')) {
      continue;
    }
    out.append(src + start, i - start);
    switch (code) {
      case '"': out.append("&quot;", 6); break;
      case '&': out.append("&amp;", 5); break;
      case '\'': out.append("&apos;", 6); break;
      case '<': out.append("&lt;", 4); break;
      case '>': out.append("&gt;", 4); break;
      default: {
        char ref[12];
        int k = std::snprintf(ref, sizeof ref, "&#%u;", code);
        out.append(ref, static_cast<size_t>(k));
      }
    }
    i += len - 1;
    start = i + 1;
  }
  out.append(src + start, n - start);
}

// The bytes at the end of src[0..n) that may begin a UTF-8 sequence that
// kelAppendMarkupEscapedBytesTo replaces (C2, E2, E2 80) or kelXmlCannotHoldBytes refuses (ED,
// EF, EF BF): 0, 1 or 2.
inline size_t kelMarkupEscapedTail(const char *src, size_t n) {
  const auto *b = reinterpret_cast<const unsigned char *>(src);
  if (n >= 1 && (b[n - 1] == 0xC2 || b[n - 1] == 0xE2 || b[n - 1] == 0xED || b[n - 1] == 0xEF)) return 1;
  if (n >= 2 && ((b[n - 2] == 0xE2 && b[n - 1] == 0x80) || (b[n - 2] == 0xEF && b[n - 1] == 0xBF))) return 2;
  return 0;
}

/*
 * Whether src[0..n) holds a character that a document of its XML version cannot hold, not even
 * as a character reference: NUL, U+FFFE, U+FFFF, a lone surrogate, and in XML 1.0 (xml11 false)
 * the control characters below U+0020 but TAB, LF and CR (XML 1.1 takes them as references).
 * Written into a document, such a character leaves text that no parser reads.
 */
bool kelXmlCannotHold(const XMLCh *src, size_t n, bool xml11);

// The same over bytes: UTF-8 (utf8 set: U+FFFE, U+FFFF and encoded surrogates are recognised
// whole; a sequence cut at the end of src is not, see kelMarkupEscapedTail) or another
// ASCII-based code page, whose single bytes below 0x20 are the control characters.
bool kelXmlCannotHoldBytes(const char *src, size_t n, bool xml11, bool utf8);

// Whether a document header ("<?xml version='1.1' ...?>..." as a DAD's prolog makes it) declares
// XML 1.1; any other header, or none, makes an XML 1.0 document.
bool kelDeclaresXml11(const std::string &header);

/*
 * The first child of node whose name, in the database code page, equals name byte for byte;
 * null when there is none.
 */
xercesc::DOMNode *kelGetFirstTaggedChildElement(KelCallContext *ctx, const char *name,
                                                xercesc::DOMNode *node);

#endif /* KEL_SGDOC_H */
