/*
 * keldecomp.cpp - the decomposition driver (see keldecomp.h).
 */
#include "keldecomp.h"

#include <cstring>
#include <string>

#include "kelbuf.h"
#include "kelcatalog.h"
#include "kelcli.h"
#include "kelcodepage.h"
#include "kelctx.h"
#include "keldadcache.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "kelrdbi.h"
#include "kelrel.h"
#include "kelSgDoc.h"
#include "keltab.h"
#include "keltrace.h"
#include "kelvalidate.h"

namespace {

constexpr const char kUnit[] = "keldecomp";

// Whether the application and the database code pages are the same.
int sameCodePages(KelCallContext *ctx) {
  if (ctx == nullptr || ctx->codePages == nullptr) return 1;
  return ctx->codePages->appCodePage == ctx->codePages->dbCodePage ? 1 : 0;
}

// What a parse is given for a buffer: the text in memory, or the name of the buffer's file.
struct Input {
  const char *text = nullptr;
  int inMemory = KEL_DOC_IN_MEMORY;
};

/*
 * The input of a buffer.  A text in memory must hold no zero byte: the parse would end there
 * and take the shorter text for the document; one that does is a parse error at that place.
 */
int inputOf(KelCallContext *ctx, KelDocBuffer *buf, Input *in, char *msg) {
  in->text = buf != nullptr ? kelBufGetContent(ctx, buf) : nullptr;
  if (in->text == nullptr) return KEL_INTERNAL_ERROR(ctx, msg, nullptr);
  in->inMemory = buf->location == KEL_BUF_MEMORY ? KEL_DOC_IN_MEMORY : KEL_DOC_OWN_FILE;
  if (in->inMemory != KEL_DOC_IN_MEMORY) return 0;
  const size_t length = std::strlen(in->text);
  if (static_cast<int64_t>(length) >= kelBufLength(ctx, buf)) return 0;
  long line = 1, column = 1;
  for (size_t i = 0; i < length; ++i) {
    if (in->text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  std::string lineText = std::to_string(line), columnText = std::to_string(column);
  char state[6];
  kelFailWithState(ctx, msg, state, "38X13", KELQ047E, lineText.c_str(), columnText.c_str(),
                   "A zero byte is not a character of a document.");
  int32_t code = 0;
  kelStateToCode(ctx, &code, state);
  return code;
}

/*
 * Validates the document as the DAD asks: against the schema at its location, against the DTD
 * stored under its dtdid (KELA010E, -5 when DTD_REF does not hold it), or against the DTD the
 * document names.  0 when valid; -90 with the validator's message when not; the validator's own
 * failure (-80 missing file, -58 no memory) when it reaches no verdict.
 */
int validateDocument(KelCallContext *ctx, const KelDadHeader &header, const Input &doc, int cpFlag, char *msg) {
  char state[6] = "00000";
  int valid = 0;
  if (header.validationSource == KEL_VALSRC_SCHEMA) {
    valid = kelValidateSchema(ctx, doc.text, doc.inMemory, cpFlag, header.schemaLocation.c_str(), state, msg);
  } else if (header.validationSource == KEL_VALSRC_DTD) {
    KelDocBuffer dtd{nullptr, nullptr, KEL_BUF_MEMORY, 0, KEL_BUF_NO_LIMIT, 0};
    int rc = kelgetDtdFileFromDtdId(ctx, &dtd, header.dtdId.c_str(), msg);
    if (rc < 0) {
      kelBufRelease(ctx, &dtd);
      return rc;
    }
    const char *dtdText = kelBufGetContent(ctx, &dtd);
    // A stored DTD above the memory threshold is in a temporary file of this call.
    valid = kelValidate(ctx, doc.text, doc.inMemory, cpFlag, dtdText, 1, header.dtdId.c_str(), state, msg,
                        dtd.location == KEL_BUF_MEMORY ? KEL_DTD_TEXT : KEL_DTD_OWN_FILE);
    kelBufRelease(ctx, &dtd);
  } else {
    valid = kelValidate(ctx, doc.text, doc.inMemory, cpFlag, nullptr, 1, "", state, msg, 0);
  }
  if (valid == 1) return 0;
  if (std::strncmp(state, "38X13", 5) == 0) {
    KEL_TRACE(ctx, "kelValidate returned KEL_INVALID.  msgtext='%s'\n", msg);
    return KEL_DOC_INVALID;
  }
  int32_t code = 0;
  kelStateToCode(ctx, &code, state);
  return code < 0 && code != KEL_STATE_NOT_FOUND ? code : KEL_INTERNAL_ERROR(ctx, msg, nullptr);
}

int32_t decompose(KelCallContext *ctx, KelCliConnection *cli, KelDocBuffer *dadBuf, int dadCpFlag,
                  KelDocBuffer *docBuf, int notEnabled, char *msg) {
  char state[6] = "00000";
  int rc = cli->open(ctx, kUnit, state, msg);
  if (rc < 0) return rc;

  Input dadIn;
  rc = inputOf(ctx, dadBuf, &dadIn, msg);
  if (rc < 0) return rc;
  KelDad dad;
  rc = kelDadOpen(ctx, dadIn.text, dadIn.inMemory, dadCpFlag, KEL_DAD_XCOLLECTION, &dad, state, msg);
  if (rc < 0) return rc;
  const KelDadHeader &header = dad.header();

  Input docIn;
  rc = inputOf(ctx, docBuf, &docIn, msg);
  if (rc < 0) return rc;
  // The document is checked before anything is stored.
  if (header.hasValidation && header.validation) {
    rc = validateDocument(ctx, header, docIn, sameCodePages(ctx), msg);
    if (rc < 0) return rc;
  }

  // The plan of the DAD is made once and kept with it in the parsed-DAD cache.
  auto plan = std::static_pointer_cast<const KelDecompPlan>(kelDadDerived(&dad, KEL_DAD_SLOT_DECOMPOSE));
  if (plan == nullptr) {
    KEL_REL rel;
    rc = kelDadRelation(ctx, &dad, KEL_MODE_DECOMPOSE, nullptr, &rel, state, msg);
    if (rc < 0) return rc;
    rc = kelPlanDecomposition(ctx, std::move(rel), header.rootElement, &plan, state, msg);
    if (rc < 0) return rc;
    kelDadSetDerived(&dad, KEL_DAD_SLOT_DECOMPOSE, plan);
  }
  const KEL_REL &rel = kelPlanRelation(*plan);
  printrelinfo1(ctx, rel);

  xercesc::DOMDocument *parsed = nullptr;
  if (kelDOM(ctx, docIn.text, sameCodePages(ctx), docIn.inMemory, &parsed, state, msg) < 0) {
    int32_t code = 0;
    kelStateToCode(ctx, &code, state);
    return code < 0 && code != KEL_STATE_NOT_FOUND ? code : KEL_INTERNAL_ERROR(ctx, msg, nullptr);
  }
  KelDomDocument document(parsed);

  if (notEnabled) {
    for (size_t t = 0; t < rel.tab.size(); ++t) {
      rc = check_table(ctx, rel, static_cast<int>(t), state, msg);
      if (rc < 0) return rc;
    }
  }

  KelRowSet rows;
  rc = kelGenerateRows(ctx, *plan, document->getDocumentElement(), &rows, state, msg);
  if (rc < 0) return rc;
  // The rows hold their values; the document is released before they are inserted, so that a
  // large document and the statements' work do not take memory at the same time.
  for (std::vector<KelRow> &mine : rows.tab)
    for (KelRow &row : mine) row.lca = nullptr;
  document.reset();
  return kelInsertRows(ctx, *plan, rows, cli->handle(), state, msg);
}

}  // namespace

int32_t kelDecomposeByDAD(KelCallContext *ctx, KelDocBuffer *dad, int dadCpFlag, KelDocBuffer *doc, int notEnabled,
                          char *msg, KelCliCloser close) {
  KEL_TRACE(ctx, "Entered, notEnabled=%d\n", notEnabled);
  KelCliConnection cli;
  int32_t rc = decompose(ctx, &cli, dad, dadCpFlag, doc, notEnabled, msg);
  // The first failure is the call's; a failed clean-up is reported only after a success.
  char state[6];
  char closeMsg[KEL_MSG_BUFFER + 1] = "";
  int closeRc = close != nullptr ? close(cli, ctx, kUnit, state, closeMsg) : cli.close(ctx, kUnit, state, closeMsg);
  if (rc >= 0 && closeRc < 0) {
    std::memcpy(msg, closeMsg, sizeof closeMsg);
    rc = closeRc;
  }
  KEL_TRACE(ctx, "Exits, errCode=%d, rc=%d\n", rc, rc);
  return rc;
}

int32_t kelDecomposeByName(KelCallContext *ctx, const char *name, KelDocBuffer *doc, char *msg) {
  KelDocBuffer dad{nullptr, nullptr, KEL_BUF_MEMORY, 0, KEL_BUF_NO_LIMIT, 0};
  int32_t rc = kelGetCollectionDad(ctx, name, &dad, msg);
  if (rc >= 0) rc = kelDecomposeByDAD(ctx, &dad, sameCodePages(ctx), doc, 0, msg);
  kelBufRelease(ctx, &dad);
  return rc;
}
