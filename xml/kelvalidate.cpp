/*
 * kelvalidate.cpp - DTD and schema validation (one engine that keeps its readers and a DTD's
 * grammar between the documents of a statement), and the server-file access check (whose rule
 * lives in the runtime's kelaccess, shared with every function that opens server files).
 */
#include "kelvalidate.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>
#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/util/XMLUni.hpp>
#include <xercesc/validators/common/Grammar.hpp>

#include "kelSgDoc.h"
#include "kelSgDocHandler.h"
#include "kelaccess.h"
#include "kelcodepage.h"
#include "kelctx.h"
#include "kelentity.h"
#include "kelmsg.h"
#include "keltrace.h"

using xercesc::XMLUni;

namespace {

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

// A reader kept between documents, and the resolver every parse of it asks first.
struct Reader {
  std::unique_ptr<xercesc::SAX2XMLReaderImpl> impl;
  std::unique_ptr<KelEntityResolver> guard;
};

// Registers handler on reader for one parse and removes it again when the parse is over, so a
// kept reader never points to a parse's objects.
class Attach {
 public:
  Attach(Reader &r, xercesc::DefaultHandler &handler) : r_(r) {
    r_.impl->setContentHandler(&handler);
    r_.impl->setErrorHandler(&handler);
    r_.guard->setFirst(&handler);
  }
  ~Attach() {
    r_.impl->setContentHandler(nullptr);
    r_.impl->setErrorHandler(nullptr);
    r_.guard->setFirst(nullptr);
  }
  Attach(const Attach &) = delete;
  Attach &operator=(const Attach &) = delete;

 private:
  Reader &r_;
};

// Parses src with reader; 1 when the parse ends without an error, else 0.
int validateWith(KelCallContext *ctx, xercesc::SAX2XMLReader &reader, xercesc::InputSource &src,
                 char *sqlstate, char *msg) {
  if (kelGuardedParse(
          ctx, [&] { reader.parse(src); }, sqlstate, msg, KelOtherFailure::Silent) < 0)
    return 0;
  kelSetState(sqlstate, "00000");
  return 1;
}

}  // namespace

struct KelValidator::State {
  Reader dtdReader, schemaReader;
  // The DTD of the last documents: known, where it is, its encoding flag, its text or name.
  bool dtdKnown = false;
  int dtdWhere = 0, dtdEncFlag = 0;
  std::string dtd;
  int dtdUses = 0;  // documents validated against it in a row
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
    kelValidateHandler handler(ctx, dtd, id16.c_str(), dtdEncFlag == 1 ? encoding.c_str() : nullptr,
                               dtdInMemory);

    Reader &r = s.dtdReader;
    if (r.impl == nullptr) {
      r.impl = kelCreateReader();
      r.guard = std::make_unique<KelEntityResolver>(ctx, nullptr);
      r.impl->setFeature(XMLUni::fgSAX2CoreValidation, true);
      r.impl->setFeature(XMLUni::fgSAX2CoreNameSpaces, false);
      r.impl->setFeature(XMLUni::fgSAX2CoreNameSpacePrefixes, false);
      // A grammar this engine loads is never replaced by what a document declares.
      r.impl->setFeature(XMLUni::fgXercesCacheGrammarFromParse, false);
      r.impl->setFeature(XMLUni::fgXercesIgnoreCachedDTD, true);
      kelSecureReader(*r.impl, r.guard.get());
    }
    Attach attach(r, handler);

    // The same DTD as for the last document?  From the second document on its grammar is used.
    const bool same = dtd != nullptr && s.dtdKnown && s.dtdWhere == dtdInMemory &&
                      s.dtdEncFlag == dtdEncFlag && s.dtd == dtd;
    if (!same) {
      if (s.grammarLoaded) {
        r.impl->resetCachedGrammarPool();
        r.impl->setFeature(XMLUni::fgXercesUseCachedGrammarInParse, false);
      }
      s.grammarLoaded = s.grammarFailed = false;
      s.dtdKnown = dtd != nullptr;
      s.dtdWhere = dtdInMemory;
      s.dtdEncFlag = dtdEncFlag;
      s.dtd.assign(dtd != nullptr ? dtd : "");
      s.dtdUses = 0;
    }
    if (s.dtdKnown && ++s.dtdUses == 2 && !s.grammarLoaded && !s.grammarFailed) {
      // The DTD alone, as the handler answers the document's request for it.  A DTD that does
      // not load on its own is left to every parse, which reports its failure in place.
      char loadState[6];
      char loadMsg[KEL_MSG_BUFFER + 1];
      std::unique_ptr<xercesc::InputSource> dtdSrc;
      s.grammarFailed =
          kelGuardedParse(
              ctx,
              [&] {
                dtdSrc.reset(handler.resolveEntity(nullptr, u""));
                if (dtdSrc != nullptr)
                  r.impl->loadGrammar(*dtdSrc, xercesc::Grammar::DTDGrammarType, true);
              },
              loadState, loadMsg, KelOtherFailure::Silent) < 0 ||
          dtdSrc == nullptr;
      if (s.grammarFailed) {
        r.impl->resetCachedGrammarPool();
        KEL_TRACE(ctx, "DTD %s not kept: %s\n", dtdId != nullptr ? dtdId : "", loadMsg);
      } else {
        r.impl->setFeature(XMLUni::fgXercesUseCachedGrammarInParse, true);
        s.grammarLoaded = true;
      }
    }
    return validateWith(ctx, *r.impl, *src, sqlstate, msg);
  } catch (const std::bad_alloc &) {
    kelFail(ctx, msg, sqlstate, KELG002E);
    return 0;
  }
}

int KelValidator::validateSchema(const char *doc, size_t docLength, int inMemory, int cpFlag,
                                 const XMLCh *schemaLocation, char *sqlstate, char *msg) {
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
    kelSchemaHandler handler(ctx, encoding.c_str());
    Reader &r = state_->schemaReader;
    if (r.impl == nullptr) {
      r.impl = kelCreateReader();
      r.guard = std::make_unique<KelEntityResolver>(ctx, nullptr);
      r.impl->setFeature(XMLUni::fgSAX2CoreNameSpaces, true);
      r.impl->setFeature(XMLUni::fgXercesSchema, true);
      r.impl->setFeature(XMLUni::fgXercesSchemaFullChecking, true);
      r.impl->setFeature(XMLUni::fgXercesDynamic, true);
      r.impl->setFeature(XMLUni::fgSAX2CoreValidation, true);
      kelSecureReader(*r.impl, r.guard.get());
    }
    r.impl->setProperty(XMLUni::fgXercesSchemaExternalNoNameSpaceSchemaLocation,
                        const_cast<XMLCh *>(schemaLocation != nullptr ? schemaLocation : u""));
    Attach attach(r, handler);
    return validateWith(ctx, *r.impl, *src, sqlstate, msg);
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
