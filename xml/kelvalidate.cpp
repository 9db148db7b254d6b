/*
 * kelvalidate.cpp - DTD and schema validation, and the server-file access check (whose rule
 * lives in the runtime's kelaccess, shared with every function that opens server files).
 */
#include "kelvalidate.h"

#include <xercesc/sax2/SAX2XMLReader.hpp>
#include <xercesc/util/XMLUni.hpp>

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "kelSgDoc.h"
#include "kelSgDocHandler.h"
#include "kelaccess.h"
#include "kelcodepage.h"
#include "kelentity.h"
#include "kelctx.h"
#include "kelmsg.h"
#include "keltrace.h"

using xercesc::XMLUni;

namespace {

const XMLCh kDocBufferId[] = u"IdForDocBuffer";


std::string first299(const char *text) { return std::string(text, strnlen(text, 299)); }

// The encoding name of the database code page; false when it cannot be named.
bool dbEncoding(KelCallContext *ctx, std::u16string *name, char *sqlstate, char *msg) {
  UChar buf[101] = {0};
  int32_t dbCp = ctx != nullptr && ctx->codePages != nullptr ? ctx->codePages->dbCodePage : 0;
  if (KEL_getEncoding(ctx, dbCp, buf, 101, sqlstate, msg) < 0) return false;
  name->assign(buf);
  return true;
}

// Parses src with reader; 1 when the parse ends without an error, else 0.
int validateWith(KelCallContext *ctx, xercesc::SAX2XMLReader &reader, xercesc::InputSource &src,
                 char *sqlstate, char *msg) {
  if (kelGuardedParse(ctx, [&] { reader.parse(src); }, sqlstate, msg, KelOtherFailure::Silent) < 0) return 0;
  kelSetState(sqlstate, "00000");
  return 1;
}

// The steps both validations share: the null check, the document's input source, a SAX2
// reader, the handler that configure() registers on it, the parse, and the out-of-memory
// answer.  configure returns false when it already reported a failure.
template <class Configure>
int validateDocument(KelCallContext *ctx, const char *doc, int inMemory, int cpFlag, char *sqlstate, char *msg,
                     Configure configure) {
  if (msg) msg[0] = '\0';
  kelSetState(sqlstate, "00000");
  if (doc == nullptr) {
    kelFail(ctx, msg, sqlstate, KELG004E);
    return 0;
  }
  try {
    std::unique_ptr<xercesc::InputSource> src =
        kelOpenInput(ctx, doc, inMemory == 1 ? std::strlen(doc) : 0, inMemory, cpFlag, kDocBufferId, sqlstate, msg);
    if (src == nullptr) return 0;
    std::unique_ptr<xercesc::SAX2XMLReaderImpl> reader = kelCreateReader();
    std::unique_ptr<xercesc::DefaultHandler> handler;
    if (!configure(*reader, &handler)) return 0;
    KelEntityResolver resolver(ctx, handler.get());
    reader->setContentHandler(handler.get());
    reader->setErrorHandler(handler.get());
    kelSecureReader(*reader, &resolver);
    return validateWith(ctx, *reader, *src, sqlstate, msg);
  } catch (const std::bad_alloc &) {
    kelFail(ctx, msg, sqlstate, KELG002E);
    return 0;
  }
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
        kelSetState(sqlstate, "00000");
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
  return kelCheckAccess(ctx, writeFlag ? KEL_ACCESS_WRITE : KEL_ACCESS_READ, fileName, sqlstate, msg);
}
