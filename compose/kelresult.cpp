/*
 * kelresult.cpp - validation, insertion and large-object copies of finished documents (see
 * kelresult.h).
 */
#include "kelresult.h"

#include <cstring>
#include <string>
#include <utility>

#include "kelbuf.h"
#include "kelcatalog.h"
#include "kelfile.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "kelrel.h"
#include "keltrace.h"
#include "kelvalidate.h"
#include "quarnapp.h"
#include "sqlda.h"

namespace {

constexpr const char kUnit[] = "kelresult";

bool sameState(const char *a, const char *b) { return a != nullptr && std::strncmp(a, b, 5) == 0; }

// A validation that reached no verdict: the validator's own failures (a missing document file,
// no memory) keep their message and code; anything else is an internal error.
int noVerdict(KelCallContext *ctx, char *sqlstate, char *msg) {
  if (sameState(sqlstate, kelSqlStateTable[KELC001E].sqlstate)) return kelMessageState(KELC001E, nullptr);
  if (sameState(sqlstate, kelSqlStateTable[KELG002E].sqlstate)) return kelMessageState(KELG002E, nullptr);
  KEL_TRACE(ctx, "validation ended without a verdict, SQLSTATE %.5s\n", sqlstate != nullptr ? sqlstate : "");
  return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
}

}  // namespace

KelValidationDesc kelValidationOf(const KelDadHeader &header) {
  KelValidationDesc d;
  if (header.validationSource == KEL_VALSRC_SCHEMA) {
    d.kind = KEL_VALIDATE_SCHEMA;
    d.schemaLocation = header.schemaLocation;
  } else {
    d.dtdId = header.dtdId;
  }
  return d;
}

int kelValidateXML(KelCallContext *ctx, KelDocBuffer *doc, const KelValidationDesc &desc, char *sqlstate, char *msg) {
  const char *content = doc != nullptr ? kelBufGetContent(ctx, doc) : nullptr;
  if (content == nullptr) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  const int inMemory = doc->location == KEL_BUF_MEMORY ? 1 : 0;
  int valid;
  if (desc.kind == KEL_VALIDATE_SCHEMA) {
    valid = kelValidateSchema(ctx, content, inMemory, 1, desc.schemaLocation.c_str(), sqlstate, msg);
  } else {
    KelDocBuffer dtd{nullptr, nullptr, KEL_BUF_MEMORY, 0, KEL_BUF_NO_LIMIT, 0};
    bool stored = false;
    if (!desc.dtdId.empty() && desc.dtdId.size() <= KEL_MAX_DTD_ID) {
      int rc = kelgetDtdFileFromDtdId(ctx, &dtd, desc.dtdId.c_str(), msg);
      if (rc == kelMessageState(KELA010E, nullptr)) {
        KEL_TRACE(ctx, "DTD %s is not stored: the document's own DTD is used\n", desc.dtdId.c_str());
        if (msg != nullptr) msg[0] = '\0';
      } else if (rc < 0) {
        kelBufRelease(ctx, &dtd);
        return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
      } else {
        stored = true;
      }
    } else if (!desc.dtdId.empty()) {
      KEL_TRACE(ctx, "DTD id of %d bytes is stored nowhere\n", static_cast<int>(desc.dtdId.size()));
    }
    const char *dtdText = stored ? kelBufGetContent(ctx, &dtd) : nullptr;
    // A stored DTD above the memory threshold is in a temporary file of this call.
    valid = kelValidate(ctx, content, inMemory, 1, dtdText, 1, desc.dtdId.c_str(), sqlstate, msg,
                        stored && dtd.location == KEL_BUF_MEMORY ? KEL_DTD_TEXT : KEL_DTD_OWN_FILE);
    kelBufRelease(ctx, &dtd);
  }
  if (valid == 1) return 1;
  // Only a parser or validity error is a verdict; anything else means nothing was decided.
  if (sameState(sqlstate, "38X13")) {
    KEL_TRACE(ctx, "document not valid: %s", msg != nullptr ? msg : "");
    return 0;
  }
  return noVerdict(ctx, sqlstate, msg);
}

KelResultTable::KelResultTable(std::string schema, std::string table, std::string resultColumn,
                               std::string validColumn)
    : schema_(std::move(schema)), table_(std::move(table)), resultColumn_(std::move(resultColumn)),
      validColumn_(std::move(validColumn)) {}

KelResultTable::~KelResultTable() {
  for (quarn_stmt *s : prepared_)
    if (s != nullptr) quarn_free_stmt(s);
}

std::string KelResultTable::shownName() const { return schema_.empty() ? table_ : schema_ + "." + table_; }

int kelInsertResult(KelCallContext *ctx, KelDocBuffer *doc, KelResultTable *target, int validate,
                    const KelValidationDesc *desc, char *sqlstate, char *msg) {
  if (doc == nullptr || kelBufLength(ctx, doc) == 0) return kelFail(ctx, msg, sqlstate, KELQ002E);
  if (target == nullptr) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  const int withValid = validate ? 1 : 0;
  if (withValid && target->validColumn_.empty()) return kelFail(ctx, msg, sqlstate, KELQ054E, "NULL");

  int32_t valid = 0;
  if (withValid) {
    KelValidationDesc none;
    valid = kelValidateXML(ctx, doc, desc != nullptr ? *desc : none, sqlstate, msg);
    if (valid < 0) return valid;
    if (msg != nullptr) msg[0] = '\0';  // an invalid document is stored as such
    kelSetState(sqlstate, "00000");
  }

  // INSERT INTO "schema"."table" ("result"[, "valid"]) VALUES (?[, ?])
  std::string &sql = target->insertText_[withValid];
  if (sql.empty()) {
    std::string text = "INSERT INTO ";
    bool ok = true;
    if (!target->schema_.empty()) {
      ok = kelAppendQuoted(ctx, &text, target->schema_);
      text += ".";
    }
    ok = ok && kelAppendQuoted(ctx, &text, target->table_);
    text += " (";
    ok = ok && kelAppendQuoted(ctx, &text, target->resultColumn_);
    if (withValid) {
      text += ", ";
      ok = ok && kelAppendQuoted(ctx, &text, target->validColumn_);
    }
    text += withValid ? ") VALUES (?, ?)" : ") VALUES (?)";
    if (!ok) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
    sql = text;
  }
  KEL_TRACE(ctx, "%s\n", sql.c_str());

  const char *content = kelBufGetContent(ctx, doc);
  if (content == nullptr) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  const int64_t length = kelBufLength(ctx, doc);
  quarn_hostvar docValue{SQL_TYP_CSTR, static_cast<sqlint32>(length + 1), const_cast<char *>(content), nullptr};
  // A document in a file (content is its name) is read by the database as a file reference.
  sqlfile ref{};
  if (doc->location == KEL_BUF_FILE) {
    const size_t nameBytes = std::strlen(content);
    if (nameBytes > sizeof ref.name) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
    ref.name_length = static_cast<sqluint32>(nameBytes);
    std::memcpy(ref.name, content, nameBytes);
    ref.file_options = SQL_FILE_READ;
    docValue = quarn_hostvar{SQL_TYP_CLOB_FILE, static_cast<sqlint32>(sizeof ref), &ref, nullptr};
  }

  sqlca ca{};
  quarn_stmt *&stmt = target->prepared_[withValid];
  if (stmt == nullptr && quarn_prepare(sql.c_str(), &stmt, &ca) < 0) {
    stmt = nullptr;
    KEL_TRACE(ctx, "prepare failed, SQLCODE %d\n", static_cast<int>(ca.sqlcode));
    std::string line = std::to_string(__LINE__);
    if (msg != nullptr) kelSetDbMessage(ctx, msg, &ca, KELG001E, kelBuildStamp(), kUnit, line.c_str());
    return kelMessageState(KELG001E, sqlstate);
  }
  sqlint32 validValue = valid;
  quarn_hostvar in[2] = {docValue, {SQL_TYP_INTEGER, 4, &validValue, nullptr}};
  if (quarn_execute(stmt, 1 + withValid, in, &ca) >= 0) return 0;
  KEL_TRACE(ctx, "insert failed, SQLCODE %d, SQLSTATE %.5s\n", static_cast<int>(ca.sqlcode), ca.sqlstate);
  if (std::strncmp(ca.sqlstate, "22001", 5) == 0)
    return kelFail(ctx, msg, sqlstate, KELQ017E, target->shownName().c_str());
  // The table refuses the row (a NOT NULL or CHECK constraint, a column of another type, a
  // trigger): the caller's error, told by the database's own text and the table's name.
  const std::string what = "INSERT INTO " + target->shownName();
  if (msg != nullptr) kelSetDbMessage(ctx, msg, &ca, KELQ053E, what.c_str());
  return kelMessageState(KELQ053E, sqlstate);
}

int kelResultToLob(KelCallContext *ctx, KelDocBuffer *doc, char *data, int64_t capacity, uint32_t *length,
                   char *sqlstate, char *msg) {
  *length = 0;
  const char *content = doc != nullptr ? kelBufGetContent(ctx, doc) : nullptr;
  if (content == nullptr || data == nullptr) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  if (doc->location == KEL_BUF_FILE) {
    int msgNo = 0;
    if (kel_file2lob(ctx, content, data, capacity, length, sqlstate, &msgNo, false) < 0) {
      if (msg != nullptr) kelSetMessage(ctx, msg, msgNo);
      return kelMessageState(msgNo, sqlstate);
    }
    return 0;
  }
  const int64_t bytes = kelBufLength(ctx, doc);
  if (bytes > capacity || bytes > KEL_MAX_LOB_FILE) {
    KEL_TRACE(ctx, "document of %lld bytes, room for %lld\n", static_cast<long long>(bytes),
              static_cast<long long>(capacity));
    return kelFail(ctx, msg, sqlstate, KELC006E);
  }
  std::memcpy(data, content, static_cast<size_t>(bytes));
  *length = static_cast<uint32_t>(bytes);
  return 0;
}
