/*
 * kelvalidate.cpp - DTD and schema validation, and the server-file access check.
 *
 * The access check resolves the real path of the file (for a file to be written that does not
 * exist yet, of its directory) before comparing it with the allowed directories, and compares
 * whole path components case-sensitively: "/data/../etc/passwd", a symbolic link out of an
 * allowed directory and "/database" for an entry "/data" are all refused.
 */
#include "kelvalidate.h"

#include <limits.h>
#include <stdlib.h>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/sax2/XMLReaderFactory.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "kelSgDoc.h"
#include "kelSgDocHandler.h"
#include "kelcodepage.h"
#include "kelctx.h"
#include "kelmsg.h"
#include "keltrace.h"
#include "sqlenv.h"

using xercesc::XMLUni;

namespace {

const XMLCh kDocBufferId[] = u"IdForDocBuffer";

void setState(char *sqlstate, const char *state) {
  if (sqlstate != nullptr) std::memcpy(sqlstate, state, 6);
}

std::string first299(const char *text) { return std::string(text, strnlen(text, 299)); }

// The encoding name of the database code page; false when it cannot be named.
bool dbEncoding(KelCallContext *ctx, std::u16string *name, char *sqlstate, char *msg) {
  UChar buf[101] = {0};
  int32_t dbCp = ctx != nullptr && ctx->codePages != nullptr ? ctx->codePages->dbCodePage : 0;
  if (KEL_getEncoding(ctx, dbCp, buf, 101, sqlstate, msg) < 0) return false;
  name->assign(buf);
  return true;
}

struct ReaderDeleter {
  void operator()(xercesc::SAX2XMLReader *r) const { delete r; }
};
using Reader = std::unique_ptr<xercesc::SAX2XMLReader, ReaderDeleter>;

// Parses src with reader; 1 when the parse ends without an error, else 0.
int validateWith(KelCallContext *ctx, xercesc::SAX2XMLReader &reader, xercesc::InputSource &src,
                 char *sqlstate, char *msg) {
  if (kelGuardedParse(ctx, [&] { reader.parse(src); }, sqlstate, msg, KelOtherFailure::Silent) < 0) return 0;
  setState(sqlstate, "00000");
  return 1;
}

// The steps both validations share: the null check, the document's input source, a SAX2
// reader, the handler that configure() registers on it, the parse, and the out-of-memory
// answer.  configure returns false when it already reported a failure.
template <class Configure>
int validateDocument(KelCallContext *ctx, const char *doc, int inMemory, int cpFlag, char *sqlstate, char *msg,
                     Configure configure) {
  if (msg) msg[0] = '\0';
  setState(sqlstate, "00000");
  if (doc == nullptr) {
    if (msg) kelSetMessage(ctx, msg, KELG004E);
    setState(sqlstate, "38X16");
    return 0;
  }
  try {
    std::unique_ptr<xercesc::InputSource> src =
        kelOpenInput(ctx, doc, inMemory == 1 ? std::strlen(doc) : 0, inMemory, cpFlag, kDocBufferId, sqlstate, msg);
    if (src == nullptr) return 0;
    Reader reader(xercesc::XMLReaderFactory::createXMLReader());
    std::unique_ptr<xercesc::DefaultHandler> handler;
    if (!configure(*reader, &handler)) return 0;
    reader->setContentHandler(handler.get());
    reader->setErrorHandler(handler.get());
    reader->setEntityResolver(handler.get());
    return validateWith(ctx, *reader, *src, sqlstate, msg);
  } catch (const std::bad_alloc &) {
    if (msg) kelSetMessage(ctx, msg, KELG002E);
    setState(sqlstate, "38X10");
    return 0;
  }
}

// Removes a trailing "/" (but not the root's).
std::string withoutTrailingSlash(std::string p) {
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return p;
}

/*
 * The real path of a file: resolved whole when it exists; for a file to be written that does
 * not exist yet, its directory resolved and the name appended.  Empty when it cannot be
 * resolved.
 */
std::string realPathOf(const std::string &file, bool forWrite) {
  char resolved[PATH_MAX];
  if (realpath(file.c_str(), resolved) != nullptr) return resolved;
  if (!forWrite) return std::string();
  std::string name = withoutTrailingSlash(file);
  size_t slash = name.rfind('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : name.substr(0, slash));
  std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  if (base.empty() || base == "." || base == "..") return std::string();
  if (realpath(dir.c_str(), resolved) == nullptr) return std::string();
  std::string out = resolved;
  if (out.back() != '/') out += '/';
  return out + base;
}

// True when path lies inside dir, compared by whole components.
bool inside(const std::string &path, const std::string &dir) {
  if (dir == "/") return path.size() > 1 && path[0] == '/';
  return path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 && path[dir.size()] == '/';
}

std::string trim(const std::string &s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

}  // namespace

int kelValidate(KelCallContext *ctx, const char *doc, int inMemory, int cpFlag, const char *dtd,
                int dtdEncFlag, const char *dtdId, char *sqlstate, char *msg, int dtdInMemory) {
  if (doc != nullptr)
    KEL_TRACE(ctx, "Entered, inMemory %d, cpFlag %d, dtdId %s, doc %s, dtd %s\n", inMemory, cpFlag,
              dtdId != nullptr ? dtdId : "(NULL)", first299(doc).c_str(), dtd != nullptr ? first299(dtd).c_str() : "(NULL)");
  std::u16string id16, encoding;
  return validateDocument(ctx, doc, inMemory, cpFlag, sqlstate, msg,
                          [&](xercesc::SAX2XMLReader &reader, std::unique_ptr<xercesc::DefaultHandler> *handler) {
    reader.setFeature(XMLUni::fgSAX2CoreValidation, true);
    reader.setFeature(XMLUni::fgSAX2CoreNameSpaces, false);
    reader.setFeature(XMLUni::fgSAX2CoreNameSpacePrefixes, false);
    if (dtdId != nullptr) {
      id16.assign(std::strlen(dtdId) * 4 + 4, u'\0');
      int32_t n = KEL_mbstowcsFunction(ctx, id16.data(), dtdId, static_cast<int32_t>(id16.size()));
      if (n < 0) {
        if (msg) kelSetMessage(ctx, msg, KELD000E);
        setState(sqlstate, "00000");
        return false;
      }
      id16.resize(static_cast<size_t>(n));
    }
    if (!dbEncoding(ctx, &encoding, sqlstate, msg)) return false;
    *handler = std::make_unique<kelValidateHandler>(ctx, dtd, id16.c_str(),
                                                    dtdEncFlag == 1 ? encoding.c_str() : nullptr, dtdInMemory);
    return true;
  });
}

int kelValidateSchema(KelCallContext *ctx, const char *doc, int inMemory, int cpFlag,
                      const XMLCh *schemaLocation, char *sqlstate, char *msg) {
  if (doc != nullptr) KEL_TRACE(ctx, "Entered, doc = %s \n", first299(doc).c_str());
  std::u16string encoding;
  return validateDocument(ctx, doc, inMemory, cpFlag, sqlstate, msg,
                          [&](xercesc::SAX2XMLReader &reader, std::unique_ptr<xercesc::DefaultHandler> *handler) {
    reader.setFeature(XMLUni::fgSAX2CoreNameSpaces, true);
    reader.setFeature(XMLUni::fgXercesSchema, true);
    reader.setFeature(XMLUni::fgXercesSchemaFullChecking, true);
    reader.setFeature(XMLUni::fgXercesDynamic, true);
    reader.setFeature(XMLUni::fgSAX2CoreValidation, true);
    reader.setProperty(XMLUni::fgXercesSchemaExternalNoNameSpaceSchemaLocation,
                       const_cast<XMLCh *>(schemaLocation != nullptr ? schemaLocation : u""));
    if (!dbEncoding(ctx, &encoding, sqlstate, msg)) return false;
    *handler = std::make_unique<kelSchemaHandler>(ctx, encoding.c_str());
    return true;
  });
}

int kelChkRegistry(KelCallContext *ctx, int writeFlag, const char *fileName, char *sqlstate, char *msg) {
  int deniedMsg = writeFlag ? KELC003E : KELC002E;
  auto deny = [&]() {
    if (msg) kelSetMessage(ctx, msg, deniedMsg);
    kelMessageState(deniedMsg, sqlstate);
    return -1;
  };
  try {
    std::vector<char> setting(65536);
    int rc = sqloGetEnv(writeFlag ? SQLE_REG_XML_WRITE_DIRS : SQLE_REG_XML_READ_DIRS, setting.data(),
                        static_cast<int>(setting.size()));
    if (rc != 0) {
      KEL_TRACE(ctx, "registry is null, no access allowed\n");
      return deny();
    }
    std::string dirs = trim(setting.data());
    if (dirs == "ANY") {
      KEL_TRACE(ctx, "registry set to ANY, access permitted\n");
      return 0;
    }
    if (fileName == nullptr || *fileName == '\0') return deny();
    std::string real = realPathOf(fileName, writeFlag != 0);
    bool found = false;
    if (!real.empty()) {
      size_t start = 0;
      while (!found && start <= dirs.size()) {
        size_t semi = dirs.find(';', start);
        std::string entry = trim(dirs.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
        start = semi == std::string::npos ? dirs.size() + 1 : semi + 1;
        if (entry.empty()) continue;
        // An allowed directory is itself taken by its real path when it exists.
        char resolved[PATH_MAX];
        std::string dir = realpath(entry.c_str(), resolved) != nullptr ? resolved : withoutTrailingSlash(entry);
        found = inside(real, withoutTrailingSlash(dir));
      }
    }
    KEL_TRACE(ctx, "filename = %s, found = %d\n", real.empty() ? fileName : real.c_str(), found ? 1 : 0);
    return found ? 0 : deny();
  } catch (const std::bad_alloc &) {
    if (msg) kelSetMessage(ctx, msg, KELG002E);
    setState(sqlstate, "38X10");
    return -1;
  }
}
