/*
 * kelentity.cpp - the entity resolver, the parse settings every reader shares, and input
 * sources over descriptors of checked server files (see kelentity.h).
 */
#include "kelentity.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <typeinfo>
#include <utility>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/MemoryManager.hpp>
#include <xercesc/framework/XMLAttr.hpp>
#include <xercesc/framework/XMLElementDecl.hpp>
#include <xercesc/framework/XMLErrorCodes.hpp>
#include <xercesc/framework/XMLRecognizer.hpp>
#include <xercesc/internal/ReaderMgr.hpp>
#include <xercesc/internal/XMLReader.hpp>
#include <xercesc/internal/XMLScanner.hpp>
#include <xercesc/sax/Locator.hpp>
#include <xercesc/sax2/DeclHandler.hpp>
#include <xercesc/util/BinInputStream.hpp>
#include <xercesc/util/BinMemInputStream.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/RuntimeException.hpp>
#include <xercesc/util/SecurityManager.hpp>
#include <xercesc/util/TransService.hpp>
#include <xercesc/util/XMLExceptMsgs.hpp>
#include <xercesc/util/XMLResourceIdentifier.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/validators/DTD/DTDAttDef.hpp>
#include <xercesc/validators/DTD/DTDElementDecl.hpp>
#include <xercesc/validators/DTD/DTDGrammar.hpp>

#include "kelSgDocHandler.h"
#include "kelaccess.h"
#include "kelarena.h"
#include "kelcheckwork.h"
#include "kelcodepage.h"
#include "kelctx.h"
#include "kelfile.h"
#include "kelmsg.h"
#include "kelschemascan.h"
#include "keltrace.h"
#include "quarnmemberof.h"

// The bytes a stream over memory reads, and their number (WholeCharStream::readAt).
struct MemStreamBytes {
  using Type = const XMLByte *xercesc::BinMemInputStream::*;
  friend Type member(MemStreamBytes);
};
template struct QuarnMemberOf<MemStreamBytes, &xercesc::BinMemInputStream::fBuffer>;
struct MemStreamSize {
  using Type = XMLSize_t xercesc::BinMemInputStream::*;
  friend Type member(MemStreamSize);
};
template struct QuarnMemberOf<MemStreamSize, &xercesc::BinMemInputStream::fCapacity>;

namespace {

// Reads a descriptor from its start by offset, so streams of one source never share a position.
class FdInputStream : public xercesc::BinInputStream {
 public:
  explicit FdInputStream(int fd) : fd_(fd) {}
  ~FdInputStream() override { ::close(fd_); }
  XMLFilePos curPos() const override { return pos_; }
  XMLSize_t readBytes(XMLByte *const toFill, const XMLSize_t maxToRead) override {
    for (;;) {
      ssize_t n = ::pread(fd_, toFill, maxToRead, static_cast<off_t>(pos_));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0)
        throw xercesc::RuntimeException(__FILE__, __LINE__, xercesc::XMLExcepts::File_CouldNotReadFromFile);
      pos_ += static_cast<XMLFilePos>(n);
      return static_cast<XMLSize_t>(n);
    }
  }
  const XMLCh *getContentType() const override { return nullptr; }
  int fd() const { return fd_; }

 private:
  int fd_;
  XMLFilePos pos_ = 0;
};

/*
 * A stream that ends the parse when its input ends inside a character.  The parser's reader
 * decodes the bytes it holds as far as they make whole characters and keeps the rest for the
 * next read; at the end of the input it drops what is left without a word, so "<a>x</a>" and a
 * last byte FF, half a UTF-8 sequence or one byte of a UTF-16 unit passed as well formed.  The
 * reader asks each time for the room left in its buffer of raw bytes, the whole buffer on its
 * first read, so the bytes it still holds are the first request less this one.  When it asks
 * again at the end of the input holding the same bytes as at its last read there, its decoder
 * took none of them in between: they make no whole character.
 */
class WholeCharStream : public xercesc::BinInputStream {
 public:
  // what: the input as the error names it ("the document", "external entity \"x.ent\"").
  WholeCharStream(xercesc::BinInputStream *in, std::string what)
      : in_(in), what_(std::move(what)) {}
  XMLFilePos curPos() const override { return in_->curPos(); }
  XMLSize_t readBytes(XMLByte *const toFill, const XMLSize_t maxToRead) override {
    const bool first = room_ == 0;
    if (first) room_ = maxToRead;
    XMLSize_t n = in_->readBytes(toFill, maxToRead);
    if (first) noteMark(toFill, n);
    if (n != 0 || maxToRead >= room_) {
      heldAtEnd_ = 0;
      return n;
    }
    const XMLSize_t held = room_ - maxToRead;
    if (held == heldAtEnd_) {
      kelRefuseParse(what_ + " ends inside a character: " +
                     (held == 1 ? std::string("its last byte is")
                                : "its last " + std::to_string(held) + " bytes are") +
                     " not a whole character of its encoding");
    }
    heldAtEnd_ = held;
    return 0;
  }
  const XMLCh *getContentType() const override { return in_->getContentType(); }
  // The encoding the byte-order mark at the start names (as the parser tells the marks apart),
  // or OtherEncoding without one.
  xercesc::XMLRecognizer::Encodings mark() const { return mark_; }
  const char *markName() const {
    switch (mark_) {
      case xercesc::XMLRecognizer::UTF_8:
        return "UTF-8";
      case xercesc::XMLRecognizer::UTF_16L:
        return "UTF-16LE";
      case xercesc::XMLRecognizer::UTF_16B:
        return "UTF-16BE";
      case xercesc::XMLRecognizer::UCS_4L:
        return "UTF-32LE";
      case xercesc::XMLRecognizer::UCS_4B:
        return "UTF-32BE";
      default:
        return "";
    }
  }
  const std::string &what() const { return what_; }
  /*
   * Reads the input again, up to count bytes from byte offset, without moving the parser's
   * place in it: from memory, or from the same descriptor.  0 at the end; -1 when the input
   * cannot be read again (neither in memory nor a descriptor) or the read fails.
   */
  long readAt(XMLFilePos offset, XMLByte *to, XMLSize_t count) const {
    if (const auto *mem = dynamic_cast<const xercesc::BinMemInputStream *>(in_.get())) {
      const XMLSize_t size = mem->*member(MemStreamSize{});
      if (offset >= size) return 0;
      const XMLSize_t n = std::min<XMLSize_t>(count, size - static_cast<XMLSize_t>(offset));
      std::memcpy(to, mem->*member(MemStreamBytes{}) + offset, n);
      return static_cast<long>(n);
    }
    const auto *fdIn = dynamic_cast<const FdInputStream *>(in_.get());
    if (fdIn == nullptr) return -1;
    for (;;) {
      ssize_t n = ::pread(fdIn->fd(), to, count, static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      return n < 0 ? -1 : static_cast<long>(n);
    }
  }

 private:
  // FF FE 00 00 is the UTF-32LE mark, not the UTF-16LE one before a U+0000 (no XML character),
  // so the four-byte marks are looked for first.
  void noteMark(const XMLByte *bytes, XMLSize_t n) {
    if (n >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
      mark_ = xercesc::XMLRecognizer::UTF_8;
    else if (n >= 4 && bytes[0] == 0xFF && bytes[1] == 0xFE && bytes[2] == 0 && bytes[3] == 0)
      mark_ = xercesc::XMLRecognizer::UCS_4L;
    else if (n >= 4 && bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 0xFE && bytes[3] == 0xFF)
      mark_ = xercesc::XMLRecognizer::UCS_4B;
    else if (n >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
      mark_ = xercesc::XMLRecognizer::UTF_16L;
    else if (n >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF)
      mark_ = xercesc::XMLRecognizer::UTF_16B;
  }

  std::unique_ptr<xercesc::BinInputStream> in_;
  std::string what_;
  xercesc::XMLRecognizer::Encodings mark_ = xercesc::XMLRecognizer::OtherEncoding;
  XMLSize_t room_ = 0;       // the reader's buffer, from its first request
  XMLSize_t heldAtEnd_ = 0;  // the bytes it held at its last read at the end, or 0
};

xercesc::BinInputStream *wholeChars(xercesc::BinInputStream *in, const std::string &what) {
  if (in == nullptr) return nullptr;
  std::unique_ptr<xercesc::BinInputStream> owned(in);
  auto *checked = new WholeCharStream(owned.get(), what.empty() ? "the document" : what);
  owned.release();
  return checked;
}

// An input source over an open descriptor it owns; each stream reads its own copy of it.
class FdInputSource : public xercesc::InputSource {
 public:
  FdInputSource(int fd, const XMLCh *systemId, std::string what) : fd_(fd), what_(std::move(what)) {
    setSystemId(systemId);
  }
  ~FdInputSource() override { ::close(fd_); }
  xercesc::BinInputStream *makeStream() const override {
    int copy = ::dup(fd_);
    return copy < 0 ? nullptr : wholeChars(new FdInputStream(copy), what_);
  }
  // Tells the running parse's watch that the file is read as an entity (kelNoteEntityFile).
  void noteRead() const {
    struct stat st {};
    if (::fstat(fd_, &st) == 0)
      kelNoteEntityFile(static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                        static_cast<uint64_t>(st.st_size));
  }

 private:
  int fd_;
  std::string what_;
};

std::u16string toUtf16(KelCallContext *ctx, const char *name) {
  size_t len = std::strlen(name);
  std::u16string out(len * 4 + 4, u'\0');
  int32_t n = KEL_mbstowcsFunction(ctx, out.data(), name, static_cast<int32_t>(out.size()));
  if (n < 0) {
    out.assign(name, name + len);  // without a converter the name is taken byte for byte
    return out;
  }
  out.resize(static_cast<size_t>(n));
  return out;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The length of a URI scheme at the start of id ("http" of "http://..."), or 0.  One letter
// before ":" is no scheme.
size_t schemeLength(const std::string &id) {
  size_t i = 0;
  if (id.empty() || !std::isalpha(static_cast<unsigned char>(id[0]))) return 0;
  while (i < id.size() && (std::isalnum(static_cast<unsigned char>(id[i])) || id[i] == '+' || id[i] == '-' || id[i] == '.'))
    ++i;
  return i >= 2 && i < id.size() && id[i] == ':' ? i : 0;
}

/*
 * path without its "." segments and with one slash between segments ("/d/./s.xsd", "/d//s.xsd":
 * "/d/s.xsd"); a path that ends in a slash or a "." segment keeps one slash at its end.  ".."
 * segments are kept as they are: a link before them leads elsewhere than the name says, and the
 * opened file is what the directory check looks at.  The parser tells documents it has read by
 * their system ids, which are these paths: a schema including itself as "./s.xsd" was read
 * again under a longer name each time, some 500 times, until the name passed the length limit.
 */
std::string withoutDotSegments(const std::string &path) {
  std::string out;
  if (!path.empty() && path[0] == '/') out = "/";
  bool endsInDirectory = false;
  for (size_t at = 0; at <= path.size();) {
    size_t end = path.find('/', at);
    if (end == std::string::npos) end = path.size();
    const std::string_view segment(path.data() + at, end - at);
    endsInDirectory = segment.empty() || segment == ".";
    if (!endsInDirectory) {
      if (!out.empty() && out.back() != '/') out += '/';
      out += segment;
    }
    at = end + 1;
  }
  if (endsInDirectory && !out.empty() && out.back() != '/') out += '/';
  return out.empty() && !path.empty() ? std::string(".") : out;
}

/*
 * The local path a system id names, or an empty string with *why set: a file: URL on this
 * host (percent escapes decoded) or a path; a relative path is taken against the directory of
 * base when base is a local file, else against the current directory.  baseless: the id was
 * written in DTD text (KEL_DTD_TEXT_ID), where a relative path names nothing.  The path has no
 * "." segments (withoutDotSegments).
 */
std::string localPath(KelCallContext *ctx, const std::string &id, const std::string &base,
                      bool baseless, std::string *why) {
  std::string path = id;
  size_t scheme = schemeLength(id);
  if (scheme > 0) {
    std::string name = id.substr(0, scheme);
    for (char &c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name != "file") {
      *why = "only local files are read";
      return std::string();
    }
    std::string rest = id.substr(scheme + 1);
    if (rest.rfind("//", 0) == 0) {
      size_t slash = rest.find('/', 2);
      std::string host = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
      if (!host.empty() && host != "localhost") {
        *why = "only local files are read";
        return std::string();
      }
      rest = slash == std::string::npos ? std::string() : rest.substr(slash);
    }
    path.clear();
    for (size_t i = 0; i < rest.size(); ++i) {
      int hi, lo;
      if (rest[i] == '%' && i + 2 < rest.size() && (hi = hexValue(rest[i + 1])) >= 0 && (lo = hexValue(rest[i + 2])) >= 0) {
        path += static_cast<char>(hi * 16 + lo);
        i += 2;
      } else {
        path += rest[i];
      }
    }
  }
  if (path.empty() || path.find('\0') != std::string::npos) {
    *why = "it names no file";
    return std::string();
  }
  if (path[0] != '/') {
    if (baseless) {
      *why = "a DTD given as text has no directory to find a relative name in";
      return std::string();
    }
    std::string from;
    if (!base.empty()) {
      std::string b = base;
      if (schemeLength(b) > 0) b = localPath(ctx, b, std::string(), false, why);
      if (!b.empty() && b[0] == '/') from = b.substr(0, b.rfind('/') + 1);
    }
    if (!from.empty()) path = from + path;
  }
  path = withoutDotSegments(path);
  char abs[KEL_MAX_PATH + 1];
  if (kelGetAbsPath(ctx, path.c_str(), abs) != 0) {
    *why = "it names no file";
    return std::string();
  }
  return abs;
}

[[noreturn]] void refuse(KelCallContext *ctx, const xercesc::XMLResourceIdentifier *resource, const std::string &id,
                         const std::string &why) {
  KEL_TRACE(ctx, "external entity %s refused: %s\n", id.c_str(), why.c_str());
  std::string text = "external entity \"" + id + "\" refused: " + why;
  throw KELException::parseErrorAt(ctx, resource != nullptr ? resource->getLocator() : nullptr, text.c_str());
}

const char *reasonOf(int msgNo) {
  switch (msgNo) {
    case KELC001E: return "not found";
    case KELC002E: return "not a regular file in an allowed directory";
    default: return "cannot be opened";
  }
}

// The expansion limit every parse shares; the parser library only reads it.
xercesc::SecurityManager *securityManager() {
  static xercesc::SecurityManager *manager = [] {
    auto *m = new xercesc::SecurityManager();
    m->setEntityExpansionLimit(KEL_ENTITY_EXPANSION_LIMIT);
    return m;
  }();
  return manager;
}

// The parse this thread runs under a watch, or none.
thread_local KelExpansionWatch *tWatch = nullptr;

// Requests the parser makes for one entity reader: the reader and the block header that the
// parser's placement new puts before it.
constexpr XMLSize_t kReaderBytes = sizeof(xercesc::XMLReader);
constexpr XMLSize_t kReaderHeaderRoom = 64;

// The process's manager, with every request told to kelNoteAllocation.
class WatchedManager final : public xercesc::MemoryManager {
 public:
  void *allocate(XMLSize_t size) override {
    kelNoteAllocation(size);
    return xercesc::XMLPlatformUtils::fgMemoryManager->allocate(size);
  }
  void deallocate(void *p) override { xercesc::XMLPlatformUtils::fgMemoryManager->deallocate(p); }
  xercesc::MemoryManager *getExceptionMemoryManager() override {
    return xercesc::XMLPlatformUtils::fgMemoryManager->getExceptionMemoryManager();
  }
};


// A schema, or a document it includes, imports or redefines.
bool isSchemaDocument(const xercesc::XMLResourceIdentifier *resource) {
  switch (resource->getResourceIdentifierType()) {
    case xercesc::XMLResourceIdentifier::SchemaGrammar:
    case xercesc::XMLResourceIdentifier::SchemaImport:
    case xercesc::XMLResourceIdentifier::SchemaInclude:
    case xercesc::XMLResourceIdentifier::SchemaRedefine:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::string kelToDb(KelCallContext *ctx, const XMLCh *text) {
  if (text == nullptr) return std::string();
  size_t n = std::char_traits<XMLCh>::length(text);
  std::string out(n * 4 + 4, '\0');
  int32_t len = KEL_wcstombsFunction(ctx, out.data(), text, static_cast<int32_t>(out.size()));
  if (len < 0) {
    // Without a converter: ASCII as it is, anything else as '?', which names no file.
    out.clear();
    for (size_t i = 0; i < n; ++i) out += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
    return out;
  }
  out.resize(static_cast<size_t>(len));
  return out;
}

bool kelToDbCut(KelCallContext *ctx, std::u16string text, size_t maxBytes, std::string *out) {
  // Every unit gives at least one byte: more than maxBytes units never fit.
  if (text.size() > maxBytes) {
    size_t keep = maxBytes;
    if (keep > 0 && text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;
    text.resize(keep);
  }
  bool substituted = false;
  for (;;) {
    std::string bytes(text.size() * 4 + 4, '\0');
    int32_t len = KEL_wcstombsFunction(ctx, bytes.data(), text.c_str(), static_cast<int32_t>(bytes.size()));
    if (len < 0) {
      if (substituted) return false;
      for (char16_t &c : text)
        if (c >= 0x80) c = u'?';
      substituted = true;
      continue;
    }
    if (static_cast<size_t>(len) <= maxBytes) {
      bytes.resize(static_cast<size_t>(len));
      *out = std::move(bytes);
      return true;
    }
    // Drop the units that surely hold the excess: a unit gives at most four bytes, so dropping
    // a quarter of the excess in units (at least one) never cuts below the room; whole pairs only.
    size_t excess = static_cast<size_t>(len) - maxBytes;
    size_t keep = text.size() - std::min(text.size(), std::max<size_t>(1, excess / 4));
    if (keep > 0 && text[keep - 1] >= 0xD800 && text[keep - 1] <= 0xDBFF) --keep;
    text.resize(keep);
  }
}

// Called by the count, inside the parser library, when this watch's account is spent: the
// parse error at the place being read, kept for kelParseWorkRefusal.
void KelExpansionWatch::refuseWork(QuarnParseWork *work) {
  KelExpansionWatch *watch = tWatch;
  if (watch == nullptr || &watch->work_ != work) throw QuarnParseWorkExceeded();
  if (watch->workRefusal_ == nullptr) {
    std::string text;
    switch (work->overrunBy) {
      case QuarnWork::Patterns:
        text = "matching the document's values against the patterns of its schemas takes too much work: more than " +
               std::to_string(QUARN_PATTERN_WORK_PER_CHAR) + " steps for each character matched on average";
        break;
      case QuarnWork::PatternDepth:
        text = "matching a value of the document against the patterns of its schemas needs more stack than the "
               "parse has";
        break;
      case QuarnWork::Names:
        text = "resolving the document's names takes too much work: more than " +
               std::to_string(QUARN_NAME_WORK_PER_NAME) +
               " open elements, namespace declarations and attributes of the same slot are looked at for each name "
               "on average";
        break;
    }
    KEL_TRACE(watch->ctx_, "%s\n", text.c_str());
    watch->workRefusal_ =
        std::make_unique<KELException>(KELException::parseErrorAt(watch->ctx_, watch->locator_, text.c_str()));
  }
  throw *watch->workRefusal_;
}

KelExpansionWatch::KelExpansionWatch(KelCallContext *ctx) : ctx_(ctx), outer_(tWatch) {
  tWatch = this;
  work_.refuse = refuseWork;
  quarnParseWorkOpen(&work_);
}

KelExpansionWatch::~KelExpansionWatch() {
  quarnParseWorkClose(&work_);
  tWatch = outer_;
}

bool kelParseWorkOverrun() { return tWatch != nullptr && tWatch->work_.overrun; }

const KELException *kelParseWorkRefusal() { return tWatch != nullptr ? tWatch->workRefusal_.get() : nullptr; }

void kelLimitParseMemory(uint64_t documentBytes) {
  if (tWatch == nullptr) return;
  tWatch->budget_ = documentBytes > (UINT64_MAX - KEL_DOM_BYTES_FLOOR) / KEL_DOM_BYTES_PER_BYTE
                        ? UINT64_MAX
                        : documentBytes * KEL_DOM_BYTES_PER_BYTE + KEL_DOM_BYTES_FLOOR;
  tWatch->allocated_ = 0;
}

// What every bound on the size of entity expansions says when it ends a parse.
constexpr char kExpansionTooLarge[] = "entity expansion beyond the size a parse may hold";

void kelNoteAllocation(XMLSize_t size) {
  KelExpansionWatch *watch = tWatch;
  if (watch == nullptr) return;
  watch->allocated_ += size;
  if (size < kReaderBytes) return;
  if (size > KEL_PARSE_BLOCK_LIMIT &&
      size - KEL_PARSE_BLOCK_LIMIT > watch->elements_ * KEL_PARSE_BLOCK_BYTES_PER_ELEMENT) {
    // Entity values built of parameter entities grow tenfold per level without many readers.
    // A list of children grows with the elements read, not with what expansions make.
    KEL_TRACE(watch->ctx_, "a parse asked for a block of %llu bytes, the parse ends\n",
              static_cast<unsigned long long>(size));
    throw KELException::parseErrorAt(watch->ctx_, watch->locator_, kExpansionTooLarge);
  }
  if (size > kReaderBytes + kReaderHeaderRoom) return;
  // An entity reader: the parser is refused here only, where it has made nothing but the
  // reader's input stream (which it then leaves behind, 56 bytes).  Refusing some other block
  // would leave whatever the parser was building half made.  Every expansion makes a reader,
  // so a budget checked here bounds what expansions take to the budget and one entity's text.
  if (watch->budget_ != 0 && watch->allocated_ > watch->budget_) {
    KEL_TRACE(watch->ctx_, "a parse asked for more than %llu bytes, the parse ends\n",
              static_cast<unsigned long long>(watch->budget_));
    watch->budget_ = 0;  // once: what unwinding the parse allocates is not refused again
    throw KELException::parseErrorAt(watch->ctx_, watch->locator_, kExpansionTooLarge);
  }
  // The reader stack holds the document and every entity open now; the new reader would be
  // one more entity inside them.
  if (watch->readerMgr_ != nullptr && watch->readerMgr_->getReaderDepth() > KEL_ENTITY_NESTING_LIMIT) {
    KEL_TRACE(watch->ctx_, "more than %llu entities open at once, the parse ends\n",
              static_cast<unsigned long long>(KEL_ENTITY_NESTING_LIMIT));
    std::string text = "entities nest more than " + std::to_string(KEL_ENTITY_NESTING_LIMIT) + " deep";
    throw KELException::parseErrorAt(watch->ctx_, watch->locator_, text.c_str());
  }
  if (++watch->readers_ <= watch->readerLimit_) return;
  if (watch->readers_ <= KEL_ENTITY_READER_LIMIT) {
    KEL_TRACE(watch->ctx_, "more than %llu entity readers of the longest entity, the parse ends\n",
              static_cast<unsigned long long>(watch->readerLimit_));
    throw KELException::parseErrorAt(watch->ctx_, watch->locator_, kExpansionTooLarge);
  }
  KEL_TRACE(watch->ctx_, "more than %llu entity readers, the parse ends\n",
            static_cast<unsigned long long>(KEL_ENTITY_READER_LIMIT));
  std::string text = "more than " + std::to_string(KEL_ENTITY_EXPANSION_LIMIT) + " entity expansions";
  throw KELException::parseErrorAt(watch->ctx_, watch->locator_, text.c_str());
}

xercesc::MemoryManager *kelWatchedMemoryManager() {
  static WatchedManager *manager = new WatchedManager();  // lives as long as any DOM document
  return manager;
}

std::unique_ptr<xercesc::InputSource> kelOpenFileSource(KelCallContext *ctx, const char *fileName,
                                                        bool checkDirs, char *sqlstate, int *msgNo,
                                                        const std::string &what, bool byRealPath) {
  KelReadFile file;
  if (file.open(ctx, fileName, checkDirs, sqlstate, msgNo) < 0) return nullptr;
  // The system id is the absolute name: relative entities of the file are taken against its
  // own directory, whatever the current directory is when they are read.
  char abs[KEL_MAX_PATH + 1];
  std::u16string id = byRealPath && !file.realPath().empty()
                          ? toUtf16(ctx, file.realPath().c_str())
                          : toUtf16(ctx, kelGetAbsPath(ctx, fileName, abs) == 0 ? abs : fileName);
  int fd = file.release();
  return std::make_unique<FdInputSource>(fd, id.c_str(), what);
}

xercesc::BinInputStream *KelMemBufSource::makeStream() const {
  return wholeChars(MemBufInputSource::makeStream(), what_);
}

xercesc::InputSource *KelEntityResolver::resolveEntity(xercesc::XMLResourceIdentifier *resource) {
  if (resource == nullptr) return nullptr;
  const bool schema = isSchemaDocument(resource);
  if (schema) {
    ++schemasAsked_;
    if (loadArena_ != nullptr && !loading_) {
      loading_ = true;
      loadArena_->setLimit(loadArena_->bytesHeld() + loadBytes_);
    }
  }
  if (onlyGivenSchema_ && resource->getResourceIdentifierType() == xercesc::XMLResourceIdentifier::SchemaGrammar &&
      resource->getNameSpace() != nullptr && resource->getNameSpace()[0] != 0)
    refuse(ctx_, resource, kelToDb(ctx_, resource->getSystemId()),
           "a document validated against the schema given cannot name a schema of its own");
  if (first_ != nullptr) {
    if (xercesc::InputSource *src = first_->resolveEntity(resource->getPublicId(), resource->getSystemId()))
      return src;
  }
  std::string id = kelToDb(ctx_, resource->getSystemId());
  std::string why;
  const XMLCh *base = resource->getBaseURI();
  const bool textWithoutPlace =
      xercesc::XMLString::equals(base, KEL_DTD_TEXT_ID) || xercesc::XMLString::equals(base, KEL_REPLACEMENT_DTD_ID);
  std::string path = localPath(ctx_, id, kelToDb(ctx_, base), textWithoutPlace, &why);
  if (path.empty()) refuse(ctx_, resource, id, why);
  char state[6];
  int msgNo = 0;
  // A schema is known to the parser by its system id, which tells the schemas it has read from
  // one more to read: the real path, so a schema that includes one including it back through
  // "../" or a linked directory is the one being read, not a new one under a longer name each
  // time (it was read again until the name passed 1,024 bytes).
  std::unique_ptr<xercesc::InputSource> src =
      kelOpenFileSource(ctx_, path.c_str(), true, state, &msgNo, "external entity \"" + id + "\"", schema);
  if (src == nullptr) refuse(ctx_, resource, id, reasonOf(msgNo));
  KEL_TRACE(ctx_, "external entity %s read from %s\n", id.c_str(), path.c_str());
  static_cast<const FdInputSource *>(src.get())->noteRead();
  return schema ? measuredSchema(resource, id, std::move(src)) : src.release();
}

KelEntityResolver::KelEntityResolver(KelCallContext *ctx, xercesc::EntityResolver *first) : ctx_(ctx), first_(first) {}

KelEntityResolver::~KelEntityResolver() = default;

void KelEntityResolver::startParse() {
  if (schemaScan_ != nullptr) schemaScan_->startParse();
}

void KelEntityResolver::schemasLoaded() {
  if (!loading_) return;
  loading_ = false;
  loadArena_->setLimit(0);
}

// A schema document read whole, measured (kelschemascan.h), and the same bytes given to the
// parser: what is measured is what is parsed.
xercesc::InputSource *KelEntityResolver::measuredSchema(xercesc::XMLResourceIdentifier *resource, const std::string &id,
                                                        std::unique_ptr<xercesc::InputSource> file) {
  std::unique_ptr<xercesc::BinInputStream> in(file->makeStream());
  if (in == nullptr) refuse(ctx_, resource, id, "cannot be opened");
  std::unique_ptr<XMLByte[]> bytes;
  size_t size = 0, room = 0;
  for (;;) {
    if (size == room) {
      if (room == KEL_SCHEMA_DOCUMENT_BYTES_LIMIT + 1) {
        refuse(ctx_, resource, id, "larger than " + std::to_string(KEL_SCHEMA_DOCUMENT_BYTES_LIMIT >> 20) + " MiB");
      }
      size_t grown = std::min(std::max<size_t>(room * 2, 64 * 1024), KEL_SCHEMA_DOCUMENT_BYTES_LIMIT + 1);
      std::unique_ptr<XMLByte[]> more(new XMLByte[grown]);
      if (size > 0) std::memcpy(more.get(), bytes.get(), size);
      bytes = std::move(more);
      room = grown;
    }
    XMLSize_t n = in->readBytes(bytes.get() + size, room - size);
    if (n == 0) break;
    size += n;
  }
  in.reset();

  if (schemaScan_ == nullptr) schemaScan_ = std::make_unique<KelSchemaScan>();
  std::string why = schemaScan_->measure(ctx_, bytes.get(), size, file->getSystemId());
  if (!why.empty()) refuse(ctx_, resource, id, why);
  auto *measured = new KelMemBufSource(bytes.release(), size, file->getSystemId(), true,
                                       "schema document \"" + id + "\"");
  measured->setCopyBufToStream(false);
  return measured;
}

// The reader's scanner (kelRefuseUndeclaredEntities).
struct ReaderScanner {
  using Type = xercesc::XMLScanner *xercesc::SAX2XMLReaderImpl::*;
  friend Type member(ReaderScanner);
};
template struct QuarnMemberOf<ReaderScanner, &xercesc::SAX2XMLReaderImpl::fScanner>;

// The reader's mark that a parse is under way (see KelCountingReader::parse).
struct ReaderInProgress {
  using Type = bool xercesc::SAX2XMLReaderImpl::*;
  friend Type member(ReaderInProgress);
};
template struct QuarnMemberOf<ReaderInProgress, &xercesc::SAX2XMLReaderImpl::fParseInProgress>;

namespace {

// The library's SAX2 reader, counting the attributes the parser gives elements by default
// and what they weigh (KEL_DEFAULTED_PER_ELEMENT) before it passes each element on.
class KelCountingReader : public xercesc::SAX2XMLReaderImpl {
 public:
  explicit KelCountingReader(xercesc::MemoryManager *manager) : SAX2XMLReaderImpl(manager) {}

  using SAX2XMLReaderImpl::parse;
  // Out of memory, the library leaves the reader marked as parsing, and it would refuse every
  // later document of its owner ("parsing in progress"): a transient failure would fail every
  // following row of a statement.  The mark is taken off; the next parse resets the scanner,
  // as after any other failure.
  void parse(const xercesc::InputSource &source) override {
    try {
      SAX2XMLReaderImpl::parse(source);
    } catch (const xercesc::OutOfMemoryException &) {
      this->*member(ReaderInProgress{}) = false;
      throw;
    }
  }

  void startDocument() override {
    weigher_.reset();
    checks_.reset(getFeature(xercesc::XMLUni::fgSAX2CoreValidation));
    SAX2XMLReaderImpl::startDocument();
  }

  void startElement(const xercesc::XMLElementDecl &decl, const unsigned int uriId, const XMLCh *const prefix,
                    const xercesc::RefVectorOf<xercesc::XMLAttr> &attrs, const XMLSize_t count, const bool isEmpty,
                    const bool isRoot) override {
    if (isRoot) limitExpansions();
    weigher_.element(decl, attrs, count);
    checks_.element(decl, attrs, count, isEmpty);
    SAX2XMLReaderImpl::startElement(decl, uriId, prefix, attrs, count, isEmpty, isRoot);
  }

  void endElement(const xercesc::XMLElementDecl &decl, const unsigned int uriId, const bool isRoot,
                  const XMLCh *const prefix) override {
    checks_.end();
    SAX2XMLReaderImpl::endElement(decl, uriId, isRoot, prefix);
  }

  // The encoding a declaration names must agree with the input's byte-order mark.
  void XMLDecl(const XMLCh *const version, const XMLCh *const encoding,
               const XMLCh *const standalone, const XMLCh *const actualEncoding) override {
    kelCheckDeclaredEncoding(readers(), encoding);
    SAX2XMLReaderImpl::XMLDecl(version, encoding, standalone, actualEncoding);
  }
  void TextDecl(const XMLCh *const version, const XMLCh *const encoding) override {
    kelCheckDeclaredEncoding(readers(), encoding);
    SAX2XMLReaderImpl::TextDecl(version, encoding);
  }

  // The library tells the declaration handler of an attribute's declaration only when it binds;
  // a later declaration of the same attribute (in the DTD given, read after an internal subset
  // that declared it first) it passes over in silence.  The handler hears of those too, with an
  // empty type and mode: validation against a DTD given must know every attribute it lists.
  void attDef(const xercesc::DTDElementDecl &elemDecl, const xercesc::DTDAttDef &attDef, const bool ignoring) override {
    SAX2XMLReaderImpl::attDef(elemDecl, attDef, ignoring);
    xercesc::DeclHandler *decls = getDeclarationHandler();
    if (ignoring && decls != nullptr)
      decls->attributeDecl(elemDecl.getFullName(), attDef.getFullName(), u"", u"", nullptr);
  }

  // A parse stopped for the library's work is reported by the library as a validation
  // error of its own on the way out; the document's handlers never hear of it.
  void error(const unsigned int code, const XMLCh *const domain, const xercesc::XMLErrorReporter::ErrTypes type,
             const XMLCh *const text, const XMLCh *const systemId, const XMLCh *const publicId,
             const XMLFileLoc line, const XMLFileLoc column) override {
    if (tap_ != nullptr && tap_->withholds(code, domain, type)) return;
    if (kelParseWorkOverrun()) return;
    XMLFileLoc badLine = 0, badColumn = 0;
    std::u16string badByte;
    if (kelPlaceBadByte(readers(), code, domain, &badLine, &badColumn, &badByte)) {
      SAX2XMLReaderImpl::error(code, domain, type, badByte.c_str(), systemId, publicId, badLine, badColumn);
      return;
    }
    SAX2XMLReaderImpl::error(code, domain, type, text, systemId, publicId, line, column);
  }

  // The tap of the reading under way (KelScannerTap); the one before is returned.
  KelScannerTap *tap(KelScannerTap *tap) { return std::exchange(tap_, tap); }

 private:
  KelScannerTap *tap_ = nullptr;

  // The internal subset has been read by the root element: what expansions may still read
  // follows from its longest internal entity.
  void limitExpansions() {
    xercesc::Grammar *grammar = getGrammar(xercesc::XMLUni::fgDTDEntityString);
    if (grammar == nullptr || grammar->getGrammarType() != xercesc::Grammar::DTDGrammarType) return;
    XMLSize_t longest = 0;
    xercesc::NameIdPoolEnumerator<xercesc::DTDEntityDecl> each =
        static_cast<xercesc::DTDGrammar *>(grammar)->getEntityEnumerator();
    while (each.hasMoreElements()) {
      const xercesc::DTDEntityDecl &entity = each.nextElement();
      if (!entity.isExternal()) longest = std::max(longest, entity.getValueLen());
    }
    kelLimitExpansions(longest);
  }

  const xercesc::ReaderMgr *readers() {
    xercesc::XMLScanner *scanner = this->*member(ReaderScanner{});
    return scanner != nullptr ? scanner->getReaderMgr() : nullptr;
  }

  KelAttributeWeigher weigher_;
  KelCheckWork checks_;
};

}  // namespace

void kelNoteEntityFile(uint64_t device, uint64_t inode, uint64_t bytes) {
  KelExpansionWatch *watch = tWatch;
  if (watch == nullptr) return;
  const std::pair<uint64_t, uint64_t> file{device, inode};
  if (std::find(watch->entityFiles_.begin(), watch->entityFiles_.end(), file) == watch->entityFiles_.end()) {
    watch->entityFiles_.push_back(file);
    return;
  }
  watch->rereadBytes_ += bytes;
  if (watch->rereadBytes_ <= KEL_EXPANDED_TEXT_LIMIT) return;
  KEL_TRACE(watch->ctx_, "external entities read again past %llu bytes, the parse ends\n",
            static_cast<unsigned long long>(KEL_EXPANDED_TEXT_LIMIT));
  throw KELException::parseErrorAt(watch->ctx_, watch->locator_, kExpansionTooLarge);
}

void kelLimitExpansions(XMLSize_t longestValue) {
  if (tWatch == nullptr || longestValue == 0) return;
  const uint64_t more = KEL_EXPANDED_TEXT_LIMIT / longestValue;
  tWatch->readerLimit_ = std::min<uint64_t>(KEL_ENTITY_READER_LIMIT, tWatch->readers_ + more);
}

void KelAttributeWeigher::element(const xercesc::XMLElementDecl &decl,
                                  const xercesc::RefVectorOf<xercesc::XMLAttr> &attrs, XMLSize_t count) {
  ++elements_;
  if (tWatch != nullptr) ++tWatch->elements_;
  // Only a declared attribute list gives attributes by default or costs a look at each start
  // tag: without a grammar (most documents) no element's declaration has one.
  if (!decl.hasAttDefs()) return;
  declared_ += decl.getAttDefList().getAttDefCount();
  if (declared_ > KEL_DECLARED_FREE + elements_ * KEL_DECLARED_PER_ELEMENT) {
    kelRefuseParse("the grammar declares too many attributes for the elements read: more than " +
                   std::to_string(KEL_DECLARED_PER_ELEMENT) + " for each element on average");
  }
  if (count == 0) return;
  for (XMLSize_t i = 0; i < count; ++i) {
    const xercesc::XMLAttr *attr = attrs.elementAt(i);
    if (!attr->getSpecified())
      defaulted_ += KEL_DEFAULTED_ATTRIBUTE_WEIGHT + xercesc::XMLString::stringLen(attr->getValue());
  }
  if (defaulted_ > KEL_DEFAULTED_FREE + elements_ * KEL_DEFAULTED_PER_ELEMENT)
    kelRefuseParse("the DTD gives the elements too many attributes by default: more than " +
                   std::to_string(KEL_DEFAULTED_PER_ELEMENT) + " characters' worth (" +
                   std::to_string(KEL_DEFAULTED_ATTRIBUTE_WEIGHT) +
                   " for each attribute and one for each character of its value) for each element on average");
}

void kelRefuseParse(const std::string &reason) {
  KELException::refuseAt(tWatch != nullptr ? tWatch->ctx_ : nullptr, tWatch != nullptr ? tWatch->locator_ : nullptr,
                         reason);
}

std::unique_ptr<xercesc::SAX2XMLReaderImpl> kelCreateReader(xercesc::MemoryManager *manager, const XMLCh *scanner) {
  auto reader = std::make_unique<KelCountingReader>(manager != nullptr ? manager : kelWatchedMemoryManager());
  // The scanner is chosen first: every setting made afterwards is made on it.
  if (scanner != nullptr) reader->setProperty(xercesc::XMLUni::fgXercesScannerName, const_cast<XMLCh *>(scanner));
  return reader;
}

void kelReadAsXml10(const xercesc::Locator *locator) {
  if (tWatch != nullptr) {
    tWatch->locator_ = locator;
    tWatch->readerMgr_ = nullptr;
  }
  // The parser's locator is its reader manager, which keeps the XML version of the last
  // declaration it read; the document's own declaration comes after this call.  (A type test
  // rather than a dynamic_cast: this runs once per document of a statement.)
  if (locator == nullptr || typeid(*locator) != typeid(xercesc::ReaderMgr)) return;
  auto *readers = const_cast<xercesc::ReaderMgr *>(static_cast<const xercesc::ReaderMgr *>(locator));
  if (tWatch != nullptr) tWatch->readerMgr_ = readers;  // its depth bounds the entities open
  if (readers->getCurrentReader() != nullptr) readers->setXMLVersion(xercesc::XMLReader::XMLV1_0);
}

// The input of a reader of the parser, and whether its encoding was set by the caller.
struct ReaderStream {
  using Type = xercesc::BinInputStream *xercesc::XMLReader::*;
  friend Type member(ReaderStream);
};
template struct QuarnMemberOf<ReaderStream, &xercesc::XMLReader::fStream>;
struct ReaderForcedEncoding {
  using Type = bool xercesc::XMLReader::*;
  friend Type member(ReaderForcedEncoding);
};
template struct QuarnMemberOf<ReaderForcedEncoding, &xercesc::XMLReader::fForcedEncoding>;

void kelCheckDeclaredEncoding(const xercesc::ReaderMgr *readers, const XMLCh *declared) {
  if (readers == nullptr || declared == nullptr || declared[0] == 0) return;
  const xercesc::XMLReader *reader = readers->getCurrentReader();
  // An encoding the caller set (the database's, for text in the database) is read whatever
  // the declaration says.
  if (reader == nullptr || reader->*member(ReaderForcedEncoding{})) return;
  const auto *stream = dynamic_cast<const WholeCharStream *>(reader->*member(ReaderStream{}));
  if (stream == nullptr || stream->mark() == xercesc::XMLRecognizer::OtherEncoding) return;
  // The names as the parser reads them: upper case, and "UTF-16" or "UTF-32" without a byte
  // order agrees with either mark of its width.
  std::u16string name(declared);
  for (char16_t &c : name)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  const XMLCh *const anyOrder16[] = {
      xercesc::XMLUni::fgUTF16EncodingString,  xercesc::XMLUni::fgUTF16EncodingString2,
      xercesc::XMLUni::fgUTF16EncodingString3, xercesc::XMLUni::fgUTF16EncodingString4,
      xercesc::XMLUni::fgUTF16EncodingString5, xercesc::XMLUni::fgUTF16EncodingString6,
      xercesc::XMLUni::fgUTF16EncodingString7};
  const XMLCh *const anyOrder32[] = {
      xercesc::XMLUni::fgUCS4EncodingString,  xercesc::XMLUni::fgUCS4EncodingString2,
      xercesc::XMLUni::fgUCS4EncodingString3, xercesc::XMLUni::fgUCS4EncodingString4,
      xercesc::XMLUni::fgUCS4EncodingString5};
  const xercesc::XMLRecognizer::Encodings mark = stream->mark();
  const bool wide = mark == xercesc::XMLRecognizer::UCS_4L || mark == xercesc::XMLRecognizer::UCS_4B;
  auto among = [&name](const auto &names) {
    for (const XMLCh *any : names)
      if (xercesc::XMLString::equals(name.c_str(), any)) return true;
    return false;
  };
  if (mark != xercesc::XMLRecognizer::UTF_8 && (wide ? among(anyOrder32) : among(anyOrder16))) return;
  // The parser's own names of the UTF-32 byte orders are "UCS-4LE" and "UCS-4BE"; ICU reads
  // "UTF-32LE" and "UTF-32BE" as they are.
  if (wide && name == (mark == xercesc::XMLRecognizer::UCS_4L ? u"UTF-32LE" : u"UTF-32BE")) return;
  if (xercesc::XMLRecognizer::encodingForName(name.c_str()) == mark) return;
  kelRefuseParse("the byte-order mark of " + stream->what() + " (" + stream->markName() +
                 ") and the encoding its declaration names (\"" +
                 kelToDb(tWatch != nullptr ? tWatch->ctx_ : nullptr, declared) + "\") disagree");
}

// The reader's transcoder, and whether it ends lines at NEL and LSEP too (XML 1.1).
struct ReaderTranscoder {
  using Type = xercesc::XMLTranscoder *xercesc::XMLReader::*;
  friend Type member(ReaderTranscoder);
};
template struct QuarnMemberOf<ReaderTranscoder, &xercesc::XMLReader::fTranscoder>;
struct ReaderNel {
  using Type = bool xercesc::XMLReader::*;
  friend Type member(ReaderNel);
};
template struct QuarnMemberOf<ReaderNel, &xercesc::XMLReader::fNEL>;

namespace {

// Lines and columns of decoded text, counted as the parser's reader counts them.
class PlaceCounter {
 public:
  explicit PlaceCounter(bool nel) : nel_(nel) {}
  void add(const XMLCh *chars, XMLSize_t n) {
    for (XMLSize_t i = 0; i < n; ++i) {
      const XMLCh c = chars[i];
      const bool first = first_;
      first_ = false;
      if (first && c == 0xFEFF) continue;  // a byte-order mark is no character of the text
      if (afterCr_ && (c == 0x0A || (nel_ && c == 0x85))) {
        afterCr_ = false;  // CR LF ends one line
        continue;
      }
      afterCr_ = c == 0x0D;
      if (c == 0x0D || c == 0x0A || (nel_ && (c == 0x85 || c == 0x2028))) {
        ++line_;
        column_ = 1;
      } else {
        ++column_;
      }
    }
  }
  XMLFileLoc line() const { return line_; }
  XMLFileLoc column() const { return column_; }

 private:
  bool nel_;
  bool first_ = true;
  bool afterCr_ = false;
  XMLFileLoc line_ = 1;
  XMLFileLoc column_ = 1;
};

// Bytes one character of any encoding the parser reads may take.
constexpr XMLSize_t kLongestCharBytes = 8;

/*
 * Decodes the bytes of in up to limit with xcoder, counting places; true with *offset at the
 * first byte that does not decode.  Blocks are decoded as the parser decodes them; the block
 * that fails is decoded again a character at a time, each from the fewest bytes that make it.
 */
bool findBadByte(const WholeCharStream &in, xercesc::XMLTranscoder *xcoder, XMLFilePos limit,
                 PlaceCounter *places, XMLFilePos *offset) {
  constexpr XMLSize_t kRawBytes = 64 * 1024, kChars = 16 * 1024;
  std::unique_ptr<XMLByte[]> raw(new XMLByte[kRawBytes]);
  std::unique_ptr<XMLCh[]> chars(new XMLCh[kChars]);
  std::unique_ptr<unsigned char[]> sizes(new unsigned char[kChars]);
  XMLFilePos base = 0;     // the input's offset of raw[0]
  XMLSize_t avail = 0, at = 0;
  bool ended = false;
  for (;;) {
    if (base + at >= limit) return false;
    if (!ended && avail - at < kLongestCharBytes) {
      std::memmove(raw.get(), raw.get() + at, avail - at);
      base += at;
      avail -= at;
      at = 0;
      const long n = in.readAt(base + avail, raw.get() + avail, kRawBytes - avail);
      if (n < 0) return false;
      if (n == 0) ended = true;
      avail += static_cast<XMLSize_t>(n);
    }
    if (at == avail) return false;
    XMLSize_t eaten = 0, made = 0;
    try {
      made = xcoder->transcodeFrom(raw.get() + at, avail - at, chars.get(), kChars, eaten, sizes.get());
    } catch (const xercesc::XMLException &) {
      // One character at a time: the first call that fails starts at the bad byte.
      for (XMLSize_t bytes = 1;; ++bytes) {
        if (bytes > kLongestCharBytes || at + bytes > avail) return false;
        try {
          made = xcoder->transcodeFrom(raw.get() + at, bytes, chars.get(), 2, eaten, sizes.get());
        } catch (const xercesc::XMLException &) {
          *offset = base + at;
          return true;
        }
        if (eaten != 0) break;
      }
    }
    if (eaten == 0) {
      if (ended) return false;  // the rest is no whole character: WholeCharStream's to report
      if (avail - at >= kLongestCharBytes) return false;
      continue;
    }
    places->add(chars.get(), made);
    at += eaten;
  }
}

std::string hexByte(XMLByte b) {
  static const char digits[] = "0123456789ABCDEF";
  return std::string("0x") + digits[b >> 4] + digits[b & 15];
}

}  // namespace

bool kelPlaceBadByte(const xercesc::ReaderMgr *readers, unsigned int code, const XMLCh *domain,
                     XMLFileLoc *line, XMLFileLoc *column, std::u16string *text) {
  // The errors the parser library's transcoders throw.
  const bool transcoder = (code >= xercesc::XMLExcepts::Trans_Unrepresentable &&
                           code <= xercesc::XMLExcepts::Trans_BadTrailingSurrogate) ||
                          (code >= xercesc::XMLExcepts::UTF8_FormatError &&
                           code <= xercesc::XMLExcepts::UTF8_Exceeds_BytesLimit);
  if (!transcoder || !xercesc::XMLString::equals(domain, xercesc::XMLUni::fgExceptDomain)) return false;
  const xercesc::XMLReader *reader = readers != nullptr ? readers->getCurrentReader() : nullptr;
  if (reader == nullptr) return false;
  const auto *stream = dynamic_cast<const WholeCharStream *>(reader->*member(ReaderStream{}));
  xercesc::XMLTranscoder *xcoder = reader->*member(ReaderTranscoder{});
  if (stream == nullptr || xcoder == nullptr) return false;
  PlaceCounter places(reader->*member(ReaderNel{}));
  XMLFilePos offset = 0;
  try {
    if (!findBadByte(*stream, xcoder, stream->curPos(), &places, &offset)) return false;
  } catch (const xercesc::XMLException &) {
    return false;
  }
  XMLByte bytes[4];
  const long n = stream->readAt(offset, bytes, sizeof bytes);
  if (n <= 0) return false;
  std::string shown;
  for (long i = 0; i < n; ++i) shown += " " + hexByte(bytes[i]);
  const std::string encoding = kelToDb(tWatch != nullptr ? tWatch->ctx_ : nullptr, reader->getEncodingStr());
  const std::string message = "invalid byte " + hexByte(bytes[0]) + " in " + stream->what() + " (" + encoding +
                              "): no character begins with the bytes" + shown;
  // The parser reports a character it cannot take at the column after it, having read it.
  *line = places.line();
  *column = places.column() + 1;
  text->assign(message.begin(), message.end());
  return true;
}

void kelRefuseUndeclaredEntities(xercesc::XMLScanner *scanner) {
  // The scanner treats an undeclared entity as an error when the document has no DTD; the mark
  // is set anew by the next document's DOCTYPE.
  if (scanner != nullptr) scanner->setHasNoDTD(true);
}

void kelRefuseUndeclaredEntities(xercesc::SAX2XMLReaderImpl &reader) {
  kelRefuseUndeclaredEntities(reader.*member(ReaderScanner{}));
}

void kelSecureReader(xercesc::SAX2XMLReaderImpl &reader, KelEntityResolver *resolver) {
  reader.setFeature(xercesc::XMLUni::fgXercesDisableDefaultEntityResolution, true);
  reader.setProperty(xercesc::XMLUni::fgXercesSecurityManager, securityManager());
  reader.setXMLEntityResolver(resolver);
}

void kelSecureParser(xercesc::XercesDOMParser &parser, KelEntityResolver *resolver) {
  parser.setDisableDefaultEntityResolution(true);
  parser.setSecurityManager(securityManager());
  parser.setXMLEntityResolver(resolver);
}

// ---------------------------------------------------------------------------------------------

KelScannerTap::KelScannerTap(xercesc::SAX2XMLReaderImpl &reader)
    : reader_(reader),
      scanner_(reader.*member(ReaderScanner{})),
      declarations_(scanner_->getDocTypeHandler()),
      outer_(nullptr) {
  scanner_->setDocTypeHandler(this);
  // Every reader is made by kelCreateReader; any other reader reports every warning.
  if (auto *counting = dynamic_cast<KelCountingReader *>(&reader)) outer_ = counting->tap(this);
}

KelScannerTap::~KelScannerTap() {
  scanner_->setDocTypeHandler(declarations_);
  if (auto *counting = dynamic_cast<KelCountingReader *>(&reader_)) counting->tap(outer_);
}

bool KelScannerTap::declaredAgain(unsigned int code, const XMLCh *domain, xercesc::XMLErrorReporter::ErrTypes type) {
  return type == xercesc::XMLErrorReporter::ErrType_Warning && code == xercesc::XMLErrs::AttListAlreadyExists &&
         xercesc::XMLString::equals(domain, xercesc::XMLUni::fgXMLErrDomain);
}

bool KelScannerTap::withholds(unsigned int, const XMLCh *, xercesc::XMLErrorReporter::ErrTypes) { return false; }
void KelScannerTap::attDef(const xercesc::DTDElementDecl &element, const xercesc::DTDAttDef &attribute,
                           const bool ignoring) {
  reader_.attDef(element, attribute, ignoring);
}
void KelScannerTap::doctypeComment(const XMLCh *const comment) { reader_.doctypeComment(comment); }
void KelScannerTap::doctypeDecl(const xercesc::DTDElementDecl &root, const XMLCh *const publicId,
                                const XMLCh *const systemId, const bool hasIntSubset, const bool hasExtSubset) {
  reader_.doctypeDecl(root, publicId, systemId, hasIntSubset, hasExtSubset);
}
void KelScannerTap::doctypePI(const XMLCh *const target, const XMLCh *const data) { reader_.doctypePI(target, data); }
void KelScannerTap::doctypeWhitespace(const XMLCh *const chars, const XMLSize_t length) {
  reader_.doctypeWhitespace(chars, length);
}
void KelScannerTap::elementDecl(const xercesc::DTDElementDecl &decl, const bool isIgnored) {
  reader_.elementDecl(decl, isIgnored);
}
void KelScannerTap::endAttList(const xercesc::DTDElementDecl &element) { reader_.endAttList(element); }
void KelScannerTap::endIntSubset() { reader_.endIntSubset(); }
void KelScannerTap::endExtSubset() { reader_.endExtSubset(); }
void KelScannerTap::entityDecl(const xercesc::DTDEntityDecl &entity, const bool isPEDecl, const bool isIgnored) {
  reader_.entityDecl(entity, isPEDecl, isIgnored);
}
void KelScannerTap::resetDocType() { reader_.resetDocType(); }
void KelScannerTap::notationDecl(const xercesc::XMLNotationDecl &notation, const bool isIgnored) {
  reader_.notationDecl(notation, isIgnored);
}
void KelScannerTap::startAttList(const xercesc::DTDElementDecl &element) { reader_.startAttList(element); }
void KelScannerTap::startIntSubset() { reader_.startIntSubset(); }
void KelScannerTap::startExtSubset() { reader_.startExtSubset(); }
void KelScannerTap::TextDecl(const XMLCh *const version, const XMLCh *const encoding) {
  reader_.TextDecl(version, encoding);
}
