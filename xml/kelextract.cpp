/*
 * kelextract.cpp - the extraction handler, its result list and extractAll / extractOne.
 *
 * The handler keeps the match state of the path against the open elements.  Inside a subtree
 * that cannot match (NO_MATCH) nothing is evaluated and no attributes are copied; in tagged
 * mode the whole subtree of a selected element is copied without evaluating its descendants;
 * in text mode everything inside a selected element belongs to its item.
 *
 * A KelExtractor reads with the parser's DTD scanner from a per-statement arena, and reads a
 * document that scanner refuses again with the default scanner (see KelExtractor::State).
 */
#include "kelextract.h"

#include <xercesc/framework/LocalFileInputSource.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/sax2/DefaultHandler.hpp>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "kelSgDoc.h"
#include "kelarena.h"
#include "kelSgDocHandler.h"
#include "kelcodepage.h"
#include "kelctx.h"
#include "kelentity.h"
#include "kelfile.h"
#include "kelmsg.h"
#include "kelpath.h"
#include "keltrace.h"

using xercesc::XMLUni;

namespace {

const XMLCh kDocBufferId[] = u"IdForDocBuffer";

/*
 * Stands between the reader's scanner and the reader for one reading, keeping from the reader
 * the warning of a later declaration of an attribute already declared (<!ATTLIST a k CDATA "2">
 * <!ATTLIST a k CDATA "1">).  XML lets a DTD declare an attribute again: the first declaration
 * binds (k is "2") and later ones are ignored, as the parser does.  Its warning ended the
 * extraction (KELQ047E) of a document validation accepts.  Every other warning and error goes
 * to the reader and ends the reading as before.
 */
class DeclaredAgainWarning : public KelScannerTap {
 public:
  explicit DeclaredAgainWarning(xercesc::SAX2XMLReaderImpl &reader) : KelScannerTap(reader) {}
  bool withholds(unsigned int code, const XMLCh *domain, xercesc::XMLErrorReporter::ErrTypes type) override {
    return declaredAgain(code, domain, type);
  }
};

/*
 * Values appended one after another, for the items of an extraction: the room is checked
 * inline and grown out of line, so the handler's events call nothing while it lasts, and
 * clear() keeps the memory for the next document.  Trivially copyable values only; growth
 * throws std::bad_alloc (the parse's guard reports it).
 */
template <typename T>
class kelGrowable {
 public:
  kelGrowable() = default;
  kelGrowable(const kelGrowable &) = delete;
  kelGrowable &operator=(const kelGrowable &) = delete;
  ~kelGrowable() { std::free(data_); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const T *data() const { return data_; }
  T &operator[](size_t i) { return data_[i]; }
  void clear() { size_ = 0; }
  void push_back(T value) {
    if (size_ == capacity_) grow(1);
    data_[size_++] = value;
  }
  void append(const T *values, size_t n) {
    if (capacity_ - size_ < n) grow(n);
    appendInRoom(values, n);
  }
  // The same without growth, when hasRoom(n) (no call but the copy's, made last).
  bool hasRoom(size_t n) const { return capacity_ - size_ >= n; }
  void pushInRoom(T value) { data_[size_++] = value; }
  void appendInRoom(const T *values, size_t n) {
    T *at = data_ + size_;
    size_ += n;
    if (n != 0) std::memcpy(at, values, n * sizeof(T));
  }

 private:
  // Room for n more values, at least twice the room there was.
  __attribute__((noinline)) void grow(size_t n) {
    size_t capacity = capacity_ < 64 ? 64 : capacity_;
    while (capacity - size_ < n) {
      if (capacity > SIZE_MAX / 2 / sizeof(T)) throw std::bad_alloc();
      capacity *= 2;
    }
    if (capacity == capacity_) capacity *= 2;
    T *data = static_cast<T *>(std::realloc(data_, capacity * sizeof(T)));
    if (data == nullptr) throw std::bad_alloc();
    data_ = data;
    capacity_ = capacity;
  }
  T *data_ = nullptr;
  size_t size_ = 0, capacity_ = 0;
};

/*
 * The items of one extraction, in UTF-16 until retrieve() converts them: one after another in
 * one text, each ended by a terminator when the next begins (the last by retrieve()).  The
 * storage is kept from one document to the next.
 */
class kelResult {
 public:
  explicit kelResult(KelCallContext *ctx) : ctx_(ctx) {}
  // Empties the items for the next document.
  void restart() {
    text_.clear();
    starts_.clear();
  }
  void newItem() {
    if (!starts_.empty()) text_.push_back(u'\0');
    starts_.push_back(text_.size());
  }
  // newItem() without growth, when newItemFits().
  bool newItemFits() const { return text_.hasRoom(1) && starts_.hasRoom(1); }
  void newItemInRoom() {
    if (!starts_.empty()) text_.pushInRoom(u'\0');
    starts_.pushInRoom(text_.size());
  }
  void addToCurrentItem(bool escape, const XMLCh *text, size_t n) {
    if (starts_.empty()) return;
    if (escape) kelAppendEscapedTo(text_, text, n);
    else if (text_.hasRoom(n)) text_.appendInRoom(text, n);
    else text_.append(text, n);
  }
  // Text or an attribute value of copied markup, written so that it reads back as the same
  // text (kelAppendMarkupEscapedTo).
  void addMarkupToCurrentItem(const XMLCh *text, size_t n, bool attribute) {
    if (starts_.empty()) return;
    kelAppendMarkupEscapedTo(text_, text, n, attribute);
  }
  size_t count() const { return starts_.size(); }

  /*
   * Fills the record with the items in the database code page: the array and the strings in
   * one block.  An item whose text and terminator exceed sizeLimit bytes stops the conversion
   * with KELC013E and "38X39", leaving no items.  bytes is scratch storage.
   */
  void retrieve(int32_t sizeLimit, KelExtractResult *out, char *msg, std::string &bytes) {
    const size_t count = starts_.size();
    KEL_TRACE(ctx_, "entered count %d\n", static_cast<int>(count));
    kelSetState(out->sqlstate, "00000");
    if (count != 0) text_.push_back(u'\0');
    // In a UTF-8 database items of ASCII characters are their own database form, byte for byte.
    const KelCodePages *cp = ctx_ != nullptr ? ctx_->codePages : nullptr;
    const bool utf8 = cp != nullptr && cp->dbConverter != nullptr && cp->dbCodePage == KEL_CP_UTF8;
    if (utf8 && asciiBlock(sizeLimit, out)) return;
    bytes.clear();
    // Each item's start moves from its text to its bytes once it is converted (the next
    // item's start is read before it is overwritten).
    for (size_t i = 0; i < count; ++i) {
      const XMLCh *content = text_.data() + starts_[i];
      const size_t n = (i + 1 < count ? starts_[i + 1] : text_.size()) - 1 - starts_[i];
      const size_t at = bytes.size();
      starts_[i] = at;
      if (!(utf8 && asciiCopy(content, n, sizeLimit, &bytes)) && !converted(content, n, sizeLimit, &bytes)) {
        KEL_TRACE(ctx_, "extract result exceeds %d\n", sizeLimit);
        if (msg != nullptr) kelSetMessage(ctx_, msg, KELC013E);
        kelSetState(out->sqlstate, "38X39");
        return;
      }
      KEL_TRACE(ctx_, "extract result %s\n", bytes.c_str() + at);
    }
    const size_t arrayBytes = (count + 1) * sizeof(char *);
    out->items = static_cast<char **>(std::malloc(arrayBytes + bytes.size()));
    if (out->items == nullptr) {
      kelSetState(out->sqlstate, "38X10");
      return;
    }
    char *strings = reinterpret_cast<char *>(out->items) + arrayBytes;
    std::memcpy(strings, bytes.data(), bytes.size());
    for (size_t i = 0; i < count; ++i) out->items[i] = strings + starts_[i];
    out->items[count] = nullptr;
    out->cursor = out->items;
  }

 private:
  /*
   * The usual case of a UTF-8 database: the whole text, terminators included, narrowed into
   * the record's block in one pass, each item at its own offset.  False, with nothing kept,
   * when an item is not all ASCII or takes more than sizeLimit bytes with its terminator (the
   * item by item conversion then decides), or when the block cannot be had.
   */
  bool asciiBlock(int32_t sizeLimit, KelExtractResult *out) {
    const size_t count = starts_.size();
    const size_t textUnits = text_.size();
    const size_t arrayBytes = (count + 1) * sizeof(char *);
    auto **items = static_cast<char **>(std::malloc(arrayBytes + textUnits));
    if (items == nullptr) return false;
    char *strings = reinterpret_cast<char *>(items) + arrayBytes;
    size_t longest = 0;  // units of the longest item with its terminator
    for (size_t i = 0; i < count; ++i) {
      const size_t start = starts_[i];
      const size_t end = i + 1 < count ? starts_[i + 1] : textUnits;
      if (end - start > longest) longest = end - start;
      items[i] = strings + start;
    }
    items[count] = nullptr;
    if (static_cast<int64_t>(longest) > sizeLimit || !kelNarrowAscii(text_.data(), textUnits, strings)) {
      std::free(items);
      return false;
    }
    if (ctx_ != nullptr && ctx_->traceOn)
      for (size_t i = 0; i < count; ++i) KEL_TRACE(ctx_, "extract result %s\n", items[i]);
    out->items = items;
    out->cursor = items;
    return true;
  }

  // Appends the n units of src and a terminator to bytes when they are all ASCII and fit in
  // sizeLimit bytes with the terminator; false (nothing appended) otherwise.
  static bool asciiCopy(const XMLCh *src, size_t n, int32_t sizeLimit, std::string *bytes) {
    if (static_cast<int64_t>(n) + 1 > sizeLimit) return false;
    const size_t at = bytes->size();
    bytes->resize(at + n + 1);
    char *out = bytes->data() + at;
    if (!kelNarrowAscii(src, n, out)) {
      bytes->resize(at);
      return false;
    }
    out[n] = '\0';
    return true;
  }

  // Appends the terminated text of n units converted into the database code page to bytes;
  // false (nothing appended) when it does not fit in sizeLimit bytes with its terminator.
  bool converted(const XMLCh *content, size_t n, int32_t sizeLimit, std::string *bytes) {
    int64_t room = static_cast<int64_t>(n) * 4 + 4;
    if (room > sizeLimit) room = sizeLimit;
    if (room <= 0) return false;
    const size_t at = bytes->size();
    bytes->resize(at + static_cast<size_t>(room));
    int32_t len = KEL_wcstombsFunction(ctx_, bytes->data() + at, content, static_cast<int32_t>(room));
    if (len < 0) {
      bytes->resize(at);
      return false;
    }
    bytes->resize(at + static_cast<size_t>(len) + 1);
    return true;
  }

  KelCallContext *ctx_;
  kelGrowable<XMLCh> text_;
  kelGrowable<size_t> starts_;
};

enum Target { ATTRIBUTE = 0, TEXT_CONTENT = 1, TAGGED_ELEMENT = 2 };

/*
 * The handler of one path.  The content handler is its first base, so the parser's many
 * content events reach it without an adjustment of the object pointer.
 */
class kelExtractHandler : public xercesc::ContentHandler,
                          public xercesc::LexicalHandler,
                          public xercesc::ErrorHandler {
 public:
  kelExtractHandler(KelCallContext *ctx, KelQuery &query, KelCurrentPath &path, kelResult &result,
                    kelDocEntityResolver &resolver, bool tagged)
      : ctx_(ctx), query_(query), path_(path), result_(result), resolver_(resolver) {
    path_.bind(&query_);  // the open elements are kept as the query's progress
    // A path that ends in an attribute selects the attribute's values, with markup or without:
    // tagged, it returned the element before the attribute step (whether or not that element had
    // the attribute), data the path does not select.
    if (tagged && query_.targetKind() != KEL_TARGET_ATTRIBUTE) {
      target_ = TAGGED_ELEMENT;
      query_.setTargetKind(KEL_TARGET_TAGGED);
    } else {
      target_ = query_.targetKind() == KEL_TARGET_ATTRIBUTE ? ATTRIBUTE : TEXT_CONTENT;
    }
    attrName_ = query_.targetAttribute();
    escape_ = tagged;
  }
  ~kelExtractHandler() override { path_.bind(nullptr); }

  // Makes a handler that read a document (to its end or not) ready for the next one, which
  // reader reads.
  void restart(xercesc::SAX2XMLReaderImpl *reader) {
    reader_ = reader;
    path_.clear();
    state_ = PENDING;
    noMatchDepth_ = 0;
    copyDepth_ = 0;
    textDepth_ = 0;
  }

  void startElement(const XMLCh *, const XMLCh *, const XMLCh *qname,
                    const xercesc::Attributes &attrs) override {
    if (state_ == NO_MATCH) {  // nothing below a subtree that cannot match is evaluated
      path_.pushUnnamed();
      return;
    }
    // An element no step below the head can select leaves the state pending: only its depth
    // is kept (most elements under a "//" path).  A few loads and one table test.
    if (copyDepth_ == 0) {
      const KelQuery::SkipOutcome skip = query_.skipOrName(path_, qname);
      if (skip == KelQuery::SKIPPED) {
        state_ = PENDING;
        return;
      }
      if (skip == KelQuery::NAME_TO_TEST) {
        startNamed(qname, attrs);
        return;
      }
    }
    startEvaluated(qname, attrs);
  }

  void endElement(const XMLCh *, const XMLCh *, const XMLCh *qname) override {
    // Outside a selected element a pending state is kept as it is, and so is the state below
    // the element that failed.
    if ((state_ == PENDING && textDepth_ == 0) || (state_ == NO_MATCH && path_.size() > noMatchDepth_)) {
      path_.popDepth();
      return;
    }
    endEvaluated(qname);
  }

  void characters(const XMLCh *text, const XMLSize_t n) override {
    if (state_ != MATCHED || target_ == ATTRIBUTE) return;
    if (escape_)
      result_.addMarkupToCurrentItem(text, n, false);  // tagged elements
    else
      result_.addToCurrentItem(false, text, n);  // text content
  }

  void ignorableWhitespace(const XMLCh *text, const XMLSize_t n) override {
    if (state_ == MATCHED && target_ == TAGGED_ELEMENT) result_.addToCurrentItem(false, text, n);
  }

  void setDocumentLocator(const xercesc::Locator *locator) override { kelReadAsXml10(locator); }

  void startDTD(const XMLCh *, const XMLCh *, const XMLCh *systemId) override {
    KEL_TRACE(ctx_, "Entered\n");
    resolver_.setSystemId(systemId);
  }
  // The external DTD reads as empty: a reference to an entity only it could declare would give
  // nothing, and the value lose its text without a word.  Once the DTD is read, it ends the
  // extraction instead, as in the update.
  void endDTD() override {
    if (reader_ != nullptr) kelRefuseUndeclaredEntities(*reader_);
  }

  // A warning ends the parse as an error does, but for the one of an attribute declared again,
  // which DeclaredAgainWarning keeps from the handler.
  void warning(const xercesc::SAXParseException &e) override { throw e; }
  void error(const xercesc::SAXParseException &e) override { throw e; }
  void fatalError(const xercesc::SAXParseException &e) override { throw e; }
  void resetErrors() override {}

  // Events extraction does not use.
  void startDocument() override {}
  void endDocument() override {}
  void processingInstruction(const XMLCh *, const XMLCh *) override {}
  void startPrefixMapping(const XMLCh *, const XMLCh *) override {}
  void endPrefixMapping(const XMLCh *) override {}
  void skippedEntity(const XMLCh *) override {}
  void comment(const XMLCh *, const XMLSize_t) override {}
  void startCDATA() override {}
  void endCDATA() override {}
  void startEntity(const XMLCh *) override {}
  void endEntity(const XMLCh *) override {}

 private:
  // The start of an element whose name a step below the head may pass: most of those under a
  // "//" path meet one step of the tail and are decided by their name alone.
  __attribute__((noinline)) void startNamed(const XMLCh *qname, const xercesc::Attributes &attrs) {
    const int match = query_.pushNamed(path_, qname);
    if (match == PENDING) {
      state_ = PENDING;
      return;
    }
    if (match == MATCHED) {
      selected(qname, attrs);
      return;
    }
    startEvaluated(qname, attrs);
  }

  // selected() in text mode: the item opens unless a selected element around this one holds
  // it (its text goes to the outer item).
  void selectedText() {
    state_ = MATCHED;
    if (textDepth_ != 0) return;
    if (!result_.newItemFits()) {
      openTextItem();
      return;
    }
    result_.newItemInRoom();
    textDepth_ = path_.size();
  }
  __attribute__((noinline)) void openTextItem() {
    result_.newItem();
    textDepth_ = path_.size();
  }

  // The start of an element outside a subtree that cannot match, with its attributes.
  __attribute__((noinline)) void startEvaluated(const XMLCh *qname, const xercesc::Attributes &attrs) {
    if (copyDepth_ != 0) {  // inside a selected element in tagged mode: copy it all
      path_.pushUnnamed();
      appendStartTag(qname, attrs);
      return;
    }
    path_.push(qname, query_.hasPredicates() ? &attrs : nullptr);
    const KelMatch state = query_.isMatched(path_);
    if (state == MATCHED) {
      selected(qname, attrs);
      return;
    }
    state_ = state;
    if (state == NO_MATCH) noMatchDepth_ = path_.size();
  }

  // The start of an element the path selects, pushed; state_ is still the state above it.
  void selected(const XMLCh *qname, const xercesc::Attributes &attrs) {
    if (target_ == TEXT_CONTENT) selectedText();
    else selectedMarkup(qname, attrs);
  }
  // selected() for an attribute or a tagged element.
  __attribute__((noinline)) void selectedMarkup(const XMLCh *qname, const xercesc::Attributes &attrs) {
    const KelMatch before = state_;
    state_ = MATCHED;
    switch (target_) {
      case ATTRIBUTE:
        if (attrName_ != nullptr && attrName_[0] == u'*' && attrName_[1] == 0) {
          for (XMLSize_t i = 0; i < attrs.getLength(); ++i) addItem(attrs.getValue(i));
        } else if (attrName_ != nullptr) {
          addItem(attrs.getValue(attrName_));
        }
        break;
      case TEXT_CONTENT:
        selectedText();
        break;
      case TAGGED_ELEMENT:
        if (before == PENDING) {
          result_.newItem();
          copyDepth_ = path_.size();
        }
        appendStartTag(qname, attrs);
        break;
    }
  }

  // The end of an element in a MATCHED or NO_MATCH state, or inside a selected element.
  __attribute__((noinline)) void endEvaluated(const XMLCh *qname) {
    if (target_ == TAGGED_ELEMENT) {
      endTagged(qname);
      return;
    }
    const size_t depth = path_.size();
    path_.pop();
    endState(depth);
  }

  // endEvaluated() in tagged mode: the end tag of a copied element is copied too.
  __attribute__((noinline)) void endTagged(const XMLCh *qname) {
    const size_t depth = path_.size();
    path_.pop();
    if (state_ == MATCHED) {
      result_.addToCurrentItem(false, u"</", 2);
      result_.addToCurrentItem(false, qname, std::char_traits<XMLCh>::length(qname));
      result_.addToCurrentItem(false, u">", 1);
    }
    if (copyDepth_ != 0) {
      if (depth > copyDepth_) return;  // still inside the selected element
      copyDepth_ = 0;
    }
    endState(depth);
  }

  // The state once the element that was at depth has ended.
  void endState(size_t depth) {
    if (state_ == NO_MATCH && depth > noMatchDepth_) return;  // still below the element that failed
    // Inside a selected element the state is that of the element the text goes back to: the
    // selected one (its text after a child counts, as with a path without "//") or a child.
    if (depth == textDepth_) textDepth_ = 0;
    state_ = query_.isMatched(path_);
    if (state_ == NO_MATCH) noMatchDepth_ = path_.size();
  }

  void addItem(const XMLCh *value) {
    if (value == nullptr) return;
    result_.newItem();
    result_.addToCurrentItem(true, value, std::char_traits<XMLCh>::length(value));
  }

  void appendStartTag(const XMLCh *qname, const xercesc::Attributes &attrs) {
    result_.addToCurrentItem(false, u"<", 1);
    result_.addToCurrentItem(false, qname, std::char_traits<XMLCh>::length(qname));
    for (XMLSize_t i = 0; i < attrs.getLength(); ++i) {
      const XMLCh *name = attrs.getQName(i);
      const XMLCh *value = attrs.getValue(i);
      result_.addToCurrentItem(false, u" ", 1);
      result_.addToCurrentItem(false, name, std::char_traits<XMLCh>::length(name));
      result_.addToCurrentItem(false, u"=\"", 2);
      result_.addMarkupToCurrentItem(value, std::char_traits<XMLCh>::length(value), true);
      result_.addToCurrentItem(false, u"\"", 1);
    }
    result_.addToCurrentItem(false, u">", 1);
  }

  KelCallContext *ctx_;
  KelMatch state_ = PENDING;
  KelQuery &query_;
  KelCurrentPath &path_;
  Target target_;
  const XMLCh *attrName_;
  bool escape_;
  kelResult &result_;
  kelDocEntityResolver &resolver_;
  xercesc::SAX2XMLReaderImpl *reader_ = nullptr;  // what reads the document, from restart()
  size_t noMatchDepth_ = 0;  // depth of the element that made the state NO_MATCH
  size_t copyDepth_ = 0;     // tagged mode: depth of the element being copied, 0 when none
  size_t textDepth_ = 0;     // text mode: depth of the element whose item is open, 0 when none
};

std::u16string toUtf16(KelCallContext *ctx, const char *text, int32_t *rc) {
  size_t len = std::strlen(text);
  std::u16string out((len + 1) * 4, u'\0');
  int32_t n = KEL_mbstowcsFunction(ctx, out.data(), text, static_cast<int32_t>(out.size()));
  *rc = n;
  if (n < 0) return std::u16string();
  out.resize(static_cast<size_t>(n));
  return out;
}

// A reader with extraction's settings: no namespaces, no validation, no schema, the entity
// guard as resolver; scanner null for the default scanner.
std::unique_ptr<xercesc::SAX2XMLReaderImpl> extractionReader(KelArena *arena, const XMLCh *scanner,
                                                             KelEntityResolver *guard) {
  std::unique_ptr<xercesc::SAX2XMLReaderImpl> r = kelCreateReader(arena, scanner);
  r->setFeature(XMLUni::fgSAX2CoreNameSpaces, false);
  r->setFeature(XMLUni::fgSAX2CoreNameSpacePrefixes, false);
  r->setFeature(XMLUni::fgSAX2CoreValidation, false);
  r->setFeature(XMLUni::fgXercesSchema, false);
  kelSecureReader(*r, guard);
  return r;
}

}  // namespace

void kelFreeExtractResult(KelExtractResult *result) {
  if (result == nullptr || result->items == nullptr) return;
  std::free(result->items);
  result->items = nullptr;
  result->cursor = nullptr;
}

/*
 * The readers read through the parser's DTD scanner: it handles the internal and external
 * subsets, entities and defaulted attributes as the default scanner does, at less cost per
 * document, but reports a repeated attribute only at the end of its start tag.  So a document
 * it refuses is read again by the default scanner, whose outcome, error and place, stands:
 * both give the same events for every document the DTD scanner accepts.
 */
struct KelExtractor::State {
  std::unique_ptr<KelArena> arena;  // what the readers allocate; goes after them
  KelEntityResolver guard;          // the readers' resolver; asks each run's own resolver first
  std::unique_ptr<xercesc::SAX2XMLReaderImpl> reader;      // the DTD scanner
  std::unique_ptr<xercesc::SAX2XMLReaderImpl> fullReader;  // the default one, once needed
  std::unique_ptr<KelMemBufSource> memSource;              // serves every document in memory
  std::string path;                 // the path the cached query was compiled from
  int tagged = -1;
  std::unique_ptr<KelQuery> query;
  std::u16string path16;            // the query's source text
  KelCurrentPath open;              // the open elements; its storage serves every run
  std::string itemBytes;            // the items in the database code page, before the record
  std::u16string encoding;          // encoding name of the database code page, once looked up
  int32_t encodingCodePage = -1;
  // What reads every document of the statement: the items, the resolver the guard asks first,
  // and the handler, made again with the query (it is bound to it).
  kelResult items;
  kelDocEntityResolver resolver;
  std::unique_ptr<kelExtractHandler> handler;
  const kelExtractHandler *handlerOn[2] = {nullptr, nullptr};  // installed on reader, fullReader
  explicit State(KelCallContext *ctx)
      : guard(ctx, nullptr), open(ctx, false), items(ctx), resolver(ctx, nullptr, true) {
    guard.setFirst(&resolver);
  }
  ~State() { dropReaders(); }

  xercesc::SAX2XMLReaderImpl &readerFor(bool full) {
    if (!full && reader != nullptr) return *reader;  // there from the first document on
    return makeReader(full);
  }
  __attribute__((noinline)) xercesc::SAX2XMLReaderImpl &makeReader(bool full) {
    std::unique_ptr<xercesc::SAX2XMLReaderImpl> &r = full ? fullReader : reader;
    if (r == nullptr) {
      if (arena == nullptr) arena = std::make_unique<KelArena>();
      r = extractionReader(arena.get(), full ? nullptr : xercesc::XMLUni::fgDGXMLScanner, &guard);
    }
    return *r;
  }
  // The readers go, and the memory of their arena with them.
  void dropReaders() {
    reader.reset();
    fullReader.reset();
    arena.reset();
    handlerOn[0] = handlerOn[1] = nullptr;
  }
};


KelExtractor::KelExtractor(KelCallContext *ctx) : ctx_(ctx), state_(new State(ctx)) {}

KelExtractor::~KelExtractor() { delete state_; }

size_t KelExtractor::arenaBytes() const { return state_->arena != nullptr ? state_->arena->bytesHeld() : 0; }

int KelExtractor::run(const char *doc, const char *dtd, int cpFlag, int inMemory, int tagged,
                      const char *path, KelExtractResult *result, int32_t sizeLimit, char *sqlstate,
                      char *msg) {
  size_t length = doc != nullptr && inMemory == 1 ? std::strlen(doc) : 0;
  return parse(doc, length, dtd, cpFlag, inMemory, tagged, path, result, sizeLimit, sqlstate, msg);
}

int KelExtractor::runBuffer(const char *doc, size_t docLength, const char *dtd, int cpFlag,
                            int tagged, const char *path, KelExtractResult *result,
                            int32_t sizeLimit, char *sqlstate, char *msg) {
  return parse(doc, docLength, dtd, cpFlag, 1, tagged, path, result, sizeLimit, sqlstate, msg);
}

int KelExtractor::parse(const char *doc, size_t docLength, const char *dtd, int cpFlag,
                        int inMemory, int tagged, const char *path, KelExtractResult *result,
                        int32_t sizeLimit, char *sqlstate, char *msg) {
  KelCallContext *ctx = ctx_;
  kelSetState(sqlstate, "00000");
  result->items = nullptr;
  result->cursor = nullptr;
  kelSetState(result->sqlstate, "00000");
  if (doc == nullptr || path == nullptr) {
    kelFail(ctx, msg, sqlstate, KELG004E);
    return -1;
  }
  if (inMemory == 1)
    KEL_TRACE(ctx, "Entered, input uri=buffer and query='%s'\n", path);
  else
    KEL_TRACE(ctx, "Entered, input uri='%s' and query='%s'\n", doc, path);

  try {
    // A document in memory is read through one input source per extractor; a file is opened
    // and checked for each run.
    std::unique_ptr<xercesc::InputSource> fileSrc;
    xercesc::InputSource *src = nullptr;
    if (inMemory == 1) {
      const auto *bytes = reinterpret_cast<const XMLByte *>(doc);
      if (state_->memSource == nullptr)
        state_->memSource =
            std::make_unique<KelMemBufSource>(bytes, docLength, kDocBufferId, false);
      else
        state_->memSource->resetMemBufInputSource(bytes, docLength);
      src = state_->memSource.get();
      if (cpFlag != 1 && src->getEncoding() != nullptr) src->setEncoding(nullptr);
    } else {
      fileSrc = kelOpenInput(ctx, doc, docLength, inMemory, 0, kDocBufferId, sqlstate, msg);
      if (fileSrc == nullptr) return -1;
      src = fileSrc.get();
    }
    if (cpFlag == 1) {
      // The encoding name of the database code page is looked up once per extractor.
      int32_t dbCp = ctx != nullptr && ctx->codePages != nullptr ? ctx->codePages->dbCodePage : 0;
      if (state_->encodingCodePage != dbCp || state_->encoding.empty()) {
        UChar name[1025] = {0};
        if (KEL_getEncoding(ctx, dbCp, name, 1025, sqlstate, msg) < 0) return -1;
        state_->encoding = name;
        state_->encodingCodePage = dbCp;
      }
      if (src->getEncoding() == nullptr || state_->encoding != src->getEncoding())
        src->setEncoding(state_->encoding.c_str());
    }

    // The compiled path is kept while the same path comes again.
    if (state_->query == nullptr || state_->tagged != tagged || std::strcmp(state_->path.c_str(), path) != 0) {
      state_->handler.reset();  // bound to the query
      state_->query.reset();
      int32_t convRc = 0;
      state_->path16 = toUtf16(ctx, path, &convRc);
      if (convRc < 0) {
        std::string pos = std::to_string(convRc);
        kelFail(ctx, msg, sqlstate, KELD002E, pos.c_str());
        return -1;
      }
      auto query = std::make_unique<KelQuery>(ctx, state_->path16.c_str());
      if (query->errorPosition() != 0) {
        std::string pos = std::to_string(query->errorPosition());
        kelFail(ctx, msg, sqlstate, KELD002E, pos.c_str());
        KEL_TRACE(ctx, "Error in XPATH: %s\n", path);
        return -1;
      }
      state_->query = std::move(query);
      state_->path = path;
      state_->tagged = tagged;
    }

    if (state_->handler == nullptr)
      state_->handler = std::make_unique<kelExtractHandler>(ctx, *state_->query, state_->open, state_->items,
                                                            state_->resolver, tagged == 1);
    state_->resolver.restart(dtd);

    // One reading of the document by one reader; its items stay in the state's storage.  The
    // handler stays installed on the readers between runs (the state owns all of them).
    auto read = [&](bool full) {
      xercesc::SAX2XMLReaderImpl &reader = state_->readerFor(full);
      kelExtractHandler *handler = state_->handler.get();
      if (state_->handlerOn[full] != handler) {
        reader.setContentHandler(handler);
        reader.setErrorHandler(handler);
        reader.setLexicalHandler(handler);
        state_->handlerOn[full] = handler;
      }
      state_->items.restart();
      handler->restart(&reader);
      DeclaredAgainWarning declaredAgain(reader);
      if (kelGuardedParse(ctx, [&] { reader.parse(*src); }, sqlstate, msg, KelOtherFailure::Silent) < 0) return -1;
      result->msg = msg;
      state_->items.retrieve(sizeLimit, result, msg, state_->itemBytes);
      return 0;
    };
    int rc = read(false);
    if (rc < 0 && std::strcmp(sqlstate, "38X10") != 0) {
      KEL_TRACE(ctx, "document read again by the default scanner for its outcome\n");
      kelSetState(sqlstate, "00000");
      if (msg) msg[0] = '\0';
      rc = read(true);
    }
    if (state_->arena != nullptr && state_->arena->pastKeep()) state_->dropReaders();
    if (rc < 0) {
      if (std::strcmp(sqlstate, "38X10") == 0) throw std::bad_alloc();
      return -1;
    }
    kelSetState(sqlstate, result->sqlstate);
    if (std::memcmp(result->sqlstate, "00000", 6) != 0) {
      kelFreeExtractResult(result);
      return -1;
    }
    return 0;
  } catch (const std::bad_alloc &) {
    kelFreeExtractResult(result);
    kelFail(ctx, msg, sqlstate, KELG002E);
    return -1;
  }
}

int extractAll(KelCallContext *ctx, const char *doc, const char *dtd, int cpFlag, int inMemory,
               int tagged, const char *path, KelExtractResult *result, int32_t sizeLimit,
               char *sqlstate, char *msg) {
  KelExtractor extractor(ctx);
  return extractor.run(doc, dtd, cpFlag, inMemory, tagged, path, result, sizeLimit, sqlstate, msg);
}

int extractOne(KelCallContext *ctx, const char *doc, const char *dtd, int cpFlag, int inMemory,
               int tagged, const char *path, char **value, int32_t sizeLimit, char *sqlstate,
               char *msg) {
  return extractOne(nullptr, ctx, doc, dtd, cpFlag, inMemory, tagged, path, value, sizeLimit, sqlstate, msg);
}

int extractOne(KelExtractor *extractor, KelCallContext *ctx, const char *doc, const char *dtd,
               int cpFlag, int inMemory, int tagged, const char *path, char **value,
               int32_t sizeLimit, char *sqlstate, char *msg, size_t docLength) {
  kelSetState(sqlstate, "00000");
  *value = nullptr;
  KelExtractResult result{};
  std::unique_ptr<KelExtractor> fresh;
  if (extractor == nullptr) {
    fresh = std::make_unique<KelExtractor>(ctx);
    extractor = fresh.get();
  }
  int rc = inMemory == 1 && docLength != KEL_DOC_TERMINATED
               ? extractor->runBuffer(doc, docLength, dtd, cpFlag, tagged, path, &result, sizeLimit, sqlstate, msg)
               : extractor->run(doc, dtd, cpFlag, inMemory, tagged, path, &result, sizeLimit, sqlstate, msg);
  if (rc < 0) return -1;
  rc = kelSingleValue(ctx, result.items, path, value, sqlstate, msg);
  kelFreeExtractResult(&result);
  return rc;
}

int kelSingleValue(KelCallContext *ctx, const char *const *items, const char *path, char **value,
                   char *sqlstate, char *msg) {
  *value = nullptr;
  size_t count = 0;
  while (items[count] != nullptr) ++count;
  if (count == 0) {
    kelFail(ctx, msg, sqlstate, KELD003W);
    return -1;
  }
  if (count > 1) {
    kelFail(ctx, msg, sqlstate, KELD001E, path);
    return -1;
  }
  // An empty value is NULL without a warning.
  if (items[0][0] == '\0') return -1;
  *value = strdup(items[0]);
  if (*value == nullptr) {
    if (msg) kelSetMessage(ctx, msg, KELG002E);
    kelSetState(sqlstate, "38X10");
    return -1;
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Several paths in one pass.

namespace {

// Hands every event of one reading to the extraction handler of each path.
class kelFanOutHandler : public xercesc::DefaultHandler {
 public:
  kelFanOutHandler(std::vector<kelExtractHandler *> &handlers, kelDocEntityResolver &resolver,
                   xercesc::SAX2XMLReaderImpl &reader)
      : handlers_(handlers), resolver_(resolver), reader_(reader) {}

  void startElement(const XMLCh *uri, const XMLCh *local, const XMLCh *qname,
                    const xercesc::Attributes &attrs) override {
    for (kelExtractHandler *h : handlers_) h->startElement(uri, local, qname, attrs);
  }
  void endElement(const XMLCh *uri, const XMLCh *local, const XMLCh *qname) override {
    for (kelExtractHandler *h : handlers_) h->endElement(uri, local, qname);
  }
  void characters(const XMLCh *text, const XMLSize_t n) override {
    for (kelExtractHandler *h : handlers_) h->characters(text, n);
  }
  void ignorableWhitespace(const XMLCh *text, const XMLSize_t n) override {
    for (kelExtractHandler *h : handlers_) h->ignorableWhitespace(text, n);
  }
  void setDocumentLocator(const xercesc::Locator *locator) override { kelReadAsXml10(locator); }
  void startDTD(const XMLCh *, const XMLCh *, const XMLCh *systemId) override {
    resolver_.setSystemId(systemId);
  }
  // As in a single extraction: a reference to an entity no declaration read declares ends it.
  void endDTD() override { kelRefuseUndeclaredEntities(reader_); }

  // As in a single extraction: a warning ends the parse, but for the one DeclaredAgainWarning
  // keeps from the handler.
  void warning(const xercesc::SAXParseException &e) override { throw e; }
  void error(const xercesc::SAXParseException &e) override { throw e; }
  void fatalError(const xercesc::SAXParseException &e) override { throw e; }

 private:
  std::vector<kelExtractHandler *> &handlers_;
  kelDocEntityResolver &resolver_;
  xercesc::SAX2XMLReaderImpl &reader_;
};

// The parse's own resolver, noting that the parse asked for something outside the document.
class kelAskNoter : public xercesc::EntityResolver {
 public:
  explicit kelAskNoter(kelDocEntityResolver &inner) : inner_(inner) {}
  xercesc::InputSource *resolveEntity(const XMLCh *publicId, const XMLCh *systemId) override {
    asked = true;
    return inner_.resolveEntity(publicId, systemId);
  }
  bool asked = false;

 private:
  kelDocEntityResolver &inner_;
};

}  // namespace

struct KelMultiExtractor::State {
  // One compiled path with the storage of its open elements and items.
  struct Path {
    std::string text;
    int tagged = 0;
    std::u16string text16;
    std::unique_ptr<KelQuery> query;  // null when the path does not compile
    bool refused = false;
    std::unique_ptr<KelCurrentPath> open;
    std::unique_ptr<kelResult> items;  // their storage serves every run
  };
  std::unique_ptr<KelArena> arena;  // what the reader allocates; goes after it
  KelEntityResolver guard;
  std::unique_ptr<xercesc::SAX2XMLReaderImpl> reader;
  std::unique_ptr<KelMemBufSource> memSource;
  std::vector<Path> paths;
  std::string itemBytes;
  std::u16string encoding;
  int32_t encodingCodePage = -1;
  explicit State(KelCallContext *ctx) : guard(ctx, nullptr) {}
  ~State() { dropReader(); }

  xercesc::SAX2XMLReaderImpl &readerFor() {
    if (reader == nullptr) {
      if (arena == nullptr) arena = std::make_unique<KelArena>();
      reader = extractionReader(arena.get(), xercesc::XMLUni::fgDGXMLScanner, &guard);
    }
    return *reader;
  }
  void dropReader() {
    reader.reset();
    arena.reset();
  }
};

KelMultiExtractor::KelMultiExtractor(KelCallContext *ctx) : ctx_(ctx), state_(new State(ctx)) {}

KelMultiExtractor::~KelMultiExtractor() {
  delete state_;
}

int KelMultiExtractor::run(const char *doc, size_t docLength, const char *dtd, int cpFlag,
                           const KelPathRequest *requests, size_t nRequests,
                           KelExtractResult *results, bool *selfContained, char *sqlstate,
                           char *msg) {
  KelCallContext *ctx = ctx_;
  kelSetState(sqlstate, "00000");
  *selfContained = false;
  for (size_t i = 0; i < nRequests; ++i) {
    results[i].items = nullptr;
    results[i].cursor = nullptr;
    results[i].msg = nullptr;
    kelSetState(results[i].sqlstate, "00000");
  }
  auto freeAll = [&] {
    for (size_t i = 0; i < nRequests; ++i) kelFreeExtractResult(&results[i]);
  };
  if (doc == nullptr || (nRequests != 0 && requests == nullptr)) {
    kelFail(ctx, msg, sqlstate, KELG004E);
    return -1;
  }
  KEL_TRACE(ctx, "Entered, input uri=buffer and %d queries\n", static_cast<int>(nRequests));
  try {
    // The compiled paths are kept while the same paths come again in the same order.
    std::vector<State::Path> &paths = state_->paths;
    if (paths.size() != nRequests) paths.resize(nRequests);
    for (size_t i = 0; i < nRequests; ++i) {
      State::Path &p = paths[i];
      const KelPathRequest &r = requests[i];
      if (r.path == nullptr) {
        kelFail(ctx, msg, sqlstate, KELG004E);
        return -1;
      }
      if (p.text != r.path || p.tagged != r.tagged || (p.query == nullptr && !p.refused)) {
        p.query.reset();
        p.text = r.path;
        p.tagged = r.tagged;
        int32_t convRc = 0;
        p.text16 = toUtf16(ctx, r.path, &convRc);
        auto query = convRc < 0 ? nullptr : std::make_unique<KelQuery>(ctx, p.text16.c_str());
        p.refused = query == nullptr || query->errorPosition() != 0;
        if (!p.refused) {
          if (p.open == nullptr) p.open = std::make_unique<KelCurrentPath>(ctx, false);
          p.query = std::move(query);
        }
      }
      // A path that does not compile fails alone.
      if (p.refused) kelSetState(results[i].sqlstate, "38X09");
    }

    const auto *bytes = reinterpret_cast<const XMLByte *>(doc);
    if (state_->memSource == nullptr)
      state_->memSource = std::make_unique<KelMemBufSource>(bytes, docLength, kDocBufferId, false);
    else
      state_->memSource->resetMemBufInputSource(bytes, docLength);
    xercesc::InputSource *src = state_->memSource.get();
    if (cpFlag == 1) {
      int32_t dbCp = ctx != nullptr && ctx->codePages != nullptr ? ctx->codePages->dbCodePage : 0;
      if (state_->encodingCodePage != dbCp || state_->encoding.empty()) {
        UChar name[1025] = {0};
        if (KEL_getEncoding(ctx, dbCp, name, 1025, sqlstate, msg) < 0) return -1;
        state_->encoding = name;
        state_->encodingCodePage = dbCp;
      }
      if (src->getEncoding() == nullptr || state_->encoding != src->getEncoding())
        src->setEncoding(state_->encoding.c_str());
    } else if (src->getEncoding() != nullptr) {
      src->setEncoding(nullptr);
    }

    int rc = 0;
    bool asked = false;
    {
      xercesc::SAX2XMLReaderImpl &reader = state_->readerFor();
      kelDocEntityResolver resolver(ctx, dtd, true);
      kelAskNoter noter(resolver);
      std::vector<kelResult *> items;
      std::vector<std::unique_ptr<kelExtractHandler>> handlers;
      std::vector<kelExtractHandler *> fanned;
      items.reserve(nRequests);
      handlers.reserve(nRequests);
      fanned.reserve(nRequests);
      for (State::Path &p : paths) {
        if (p.refused) {
          items.push_back(nullptr);
          continue;
        }
        if (p.items == nullptr) p.items = std::make_unique<kelResult>(ctx);
        p.items->restart();
        items.push_back(p.items.get());
        handlers.push_back(std::make_unique<kelExtractHandler>(
            ctx, *p.query, *p.open, *items.back(), resolver, p.tagged == 1));
        fanned.push_back(handlers.back().get());
      }
      kelFanOutHandler fanOut(fanned, resolver, reader);
      KelReaderRun run(reader, state_->guard, &fanOut, &fanOut, &fanOut, &noter);
      DeclaredAgainWarning declaredAgain(reader);
      rc = kelGuardedParse(
          ctx, [&] { reader.parse(*src); }, sqlstate, msg, KelOtherFailure::Silent);
      if (rc >= 0) {
        for (size_t i = 0; i < nRequests; ++i)
          if (items[i] != nullptr)
            items[i]->retrieve(requests[i].sizeLimit, &results[i], nullptr, state_->itemBytes);
        asked = noter.asked;
      }
    }
    if (state_->arena != nullptr && state_->arena->pastKeep()) state_->dropReader();
    if (rc < 0) {
      if (std::strcmp(sqlstate, "38X10") == 0) throw std::bad_alloc();
      return -1;
    }
    for (size_t i = 0; i < nRequests; ++i) {
      // Out of memory while the items were converted fails the whole run.
      if (std::strcmp(results[i].sqlstate, "38X10") == 0) throw std::bad_alloc();
    }
    *selfContained = !asked;
    return 0;
  } catch (const std::bad_alloc &) {
    freeAll();
    kelFail(ctx, msg, sqlstate, KELG002E);
    return -1;
  }
}
