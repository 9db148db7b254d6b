/*
 * kelcol.cpp - enabling an XML column (see kelcol.h): the checks made before anything changes,
 * the side tables, the root id, the triggers, the default view, the XML_USAGE row and the DTD's
 * usage count inside one savepoint; the helpers the column routines share (names of the call,
 * the column DAD, the trigger suffix, triggers, filling side tables from stored documents); the
 * procedures of enablement in both conventions.
 */
#include "kelcol.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>

#include "kelbuf.h"
#include "kelcattab.h"
#include "kelcatalog.h"
#include "kelcodepage.h"
#include "kelcolimpl.h"
#include "kelctx.h"
#include "keldadcache.h"
#include "keldadread.h"
#include "kelenable.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "kelpath.h"
#include "kelSgDoc.h"
#include "kelrel.h"
#include "kelsavepoint.h"
#include "kelsql.h"
#include "keltab.h"
#include "keltrace.h"

namespace {

constexpr const char kUnit[] = "kelcol";

struct StmtFree {
  void operator()(quarn_stmt *stmt) const { quarn_free_stmt(stmt); }
};

quarn_hostvar inString(const char *value) {
  return quarn_hostvar{SQL_TYP_CSTR, static_cast<sqlint32>(std::strlen(value) + 1), const_cast<char *>(value), nullptr};
}

bool given(const char *s) { return s != nullptr && s[0] != '\0'; }

// Characters of UTF-8 text.
size_t charsOf(const char *s) { return kelUtf8Chars(s, std::strlen(s)); }

// ---- Trigger suffixes --------------------------------------------------------------------------

constexpr char kSuffixChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr int kSuffixCharCount = 36;
// Draws of a suffix before enablement gives up.
constexpr int kSuffixDraws = 26;

struct SuffixSource {
  std::mutex lock;
  std::mt19937 random;
  char order[kSuffixCharCount];
};

// The process-wide generator: seeded from the time and the process id, its character order
// shuffled once.
SuffixSource &suffixSource() {
  static SuffixSource *source = [] {
    auto *s = new SuffixSource;
    std::seed_seq seed{static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()),
                       static_cast<unsigned>(std::chrono::system_clock::now().time_since_epoch().count()),
                       static_cast<unsigned>(::getpid()), std::random_device{}()};
    s->random.seed(seed);
    std::memcpy(s->order, kSuffixChars, kSuffixCharCount);
    std::shuffle(s->order, s->order + kSuffixCharCount, s->random);
    return s;
  }();
  return *source;
}

// ---- The DAD of a call -------------------------------------------------------------------------

// The type of a side-table column: one built-in type as kelParseSqlType reads a collection's
// column types (a type name, one parenthesised length or precision and scale), optionally
// followed by FOR BIT DATA.  Nothing else may reach DDL: a further word would be a constraint
// or clause of the side table (NOT NULL UNIQUE made a user's ordinary insert fail).
bool isSideColumnType(KelCallContext *ctx, const std::string &type) {
  std::string base = type;
  auto lastWordIs = [&](const char *word) {
    size_t end = base.size();
    while (end > 0 && std::isspace(static_cast<unsigned char>(base[end - 1]))) --end;
    size_t start = end;
    while (start > 0 && !std::isspace(static_cast<unsigned char>(base[start - 1]))) --start;
    if (end - start != std::strlen(word) ||
        strncasecmp(base.c_str() + start, word, end - start) != 0)
      return false;
    if (start == 0 || !std::isspace(static_cast<unsigned char>(base[start - 1]))) return false;
    base.resize(start);
    return true;
  };
  if (!(lastWordIs("DATA") && lastWordIs("BIT") && lastWordIs("FOR"))) base = type;
  KelSqlType parsed;
  return kelParseSqlType(ctx, base, &parsed) && parsed.schema.empty();
}

// A one-part name of a DAD or an argument: the parsed identifier, or false.
bool parseIdentifier(KelCallContext *ctx, const std::string &text, size_t maxBytes, std::string *out) {
  std::u16string wide;
  if (!kelDadFromDb(ctx, text, &wide)) return false;
  char ident[KEL_SQL_TOKEN_TEXT];
  if (kelParseWCol(ctx, reinterpret_cast<const UChar *>(wide.c_str()), ident, sizeof ident) != 0) return false;
  if (std::strlen(ident) > maxBytes) return false;
  *out = ident;
  return true;
}

}  // namespace

// ---- Shared helpers ---------------------------------------------------------------------------

void kel_GetRandName(KelCallContext *ctx, char *buf, int len) {
  if (buf == nullptr || len <= 0) return;
  SuffixSource &s = suffixSource();
  std::lock_guard<std::mutex> guard(s.lock);
  std::memset(buf, 0, static_cast<size_t>(len) + 1);
  // Every position once, in random order, gets a random character of the process's order.
  std::uniform_int_distribution<int> pick(0, kSuffixCharCount - 1);
  for (int filled = 0; filled < len; ++filled) {
    std::uniform_int_distribution<int> place(0, len - filled - 1);
    int skip = place(s.random);
    for (int i = 0; i < len; ++i) {
      if (buf[i] != '\0') continue;
      if (skip-- == 0) {
        buf[i] = s.order[pick(s.random)];
        break;
      }
    }
  }
  KEL_TRACE(ctx, "trigger suffix %s\n", buf);
}

int kelColExec(KelCallContext *ctx, const std::string &sql, sqlca *ca) {
  KEL_TRACE(ctx, "%s\n", sql.c_str());
  int code = quarn_execute_immediate(sql.c_str(), ca);
  if (code < 0) KEL_TRACE(ctx, "SQLCODE = %d\n", code);
  return code;
}

int kelColFetch(KelCallContext *ctx, const char *sql, std::initializer_list<const char *> in,
                std::vector<quarn_hostvar> out, sqlca *ca) {
  KEL_TRACE(ctx, "%s\n", sql);
  std::vector<quarn_hostvar> inputs;
  for (const char *v : in) inputs.push_back(inString(v != nullptr ? v : ""));
  quarn_stmt *raw = nullptr;
  int code = quarn_prepare(sql, &raw, ca);
  std::unique_ptr<quarn_stmt, StmtFree> stmt(raw);
  if (code >= 0) code = quarn_open(raw, static_cast<int>(inputs.size()), inputs.data(), ca);
  if (code >= 0) {
    code = quarn_fetch(raw, static_cast<int>(out.size()), out.data(), ca);
    sqlca closeCa{};
    quarn_close(raw, &closeCa);
  }
  if (code < 0) KEL_TRACE(ctx, "SQLCODE = %d\n", code);
  return code;
}

int32_t kelPickTriggerSuffix(KelCallContext *ctx, const std::function<std::string()> &next,
                             const std::string &column, const std::string &table, std::string *suffix,
                             char *msg) {
  for (int draw = 0; draw < kSuffixDraws; ++draw) {
    std::string candidate = next();
    sqlca ca{};
    sqlint32 count = 0;
    short ind = 0;
    int code = kelColFetch(ctx, "SELECT COUNT(*) FROM QUARNXML.XML_USAGE WHERE TRIGGER_SUFFIX = ?", {candidate.c_str()},
                           {{SQL_TYP_INTEGER, 4, &count, &ind}}, &ca);
    if (code < 0) {
      KEL_TRACE(ctx, "Error in getting trigger suffix count, sqlcode=%d.\n", code);
      kelSetDbMessage(ctx, msg, &ca, KELA062E, column.c_str(), table.c_str());
      return kelMessageState(KELA062E, nullptr);
    }
    if (count == 0) {
      *suffix = candidate;
      return 0;
    }
    KEL_TRACE(ctx, "trigger suffix %s is in use\n", candidate.c_str());
  }
  // Reusing a suffix would give two columns the same trigger names.
  KEL_TRACE(ctx, "no free trigger suffix after %d draws\n", kSuffixDraws);
  return kelFail(ctx, msg, nullptr, KELA062E, column.c_str(), table.c_str());
}

int32_t kelColumnDefFromDad(KelCallContext *ctx, KelDad &dad, const std::string &sideSchema, KelColumnDef *def,
                            char *msg) {
  const KelDadHeader &h = dad.header();
  def->dtdId.clear();
  def->schemaLocation.clear();
  if (h.validationSource == KEL_VALSRC_DTD) def->dtdId = h.dtdId;
  if (h.validationSource == KEL_VALSRC_SCHEMA && !kelDadToDb(ctx, h.schemaLocation, &def->schemaLocation))
    return kelFail(ctx, msg, nullptr, KELQ058E);
  def->validation = KelColValidation::None;
  if (h.hasValidation && h.validation) {
    def->validation = h.validationSource == KEL_VALSRC_DTD      ? KelColValidation::Dtd
                      : h.validationSource == KEL_VALSRC_SCHEMA ? KelColValidation::Schema
                                                                : KelColValidation::NoDtd;
  }
  std::vector<KelSideTable> tables;
  char state[6];
  int32_t rc = kelReadXcolumn(ctx, dad.root(), &tables, state, msg);
  if (rc < 0) return rc;
  def->sides.clear();
  for (const KelSideTable &t : tables) {
    KEL_TRACE(ctx, " Populating side table: '%s'\n", t.name.c_str());
    KelSideTab side;
    char schema[KEL_SCHEMA_SIZE];
    char name[KEL_TABLE_SIZE];
    if (kelParseQualTbl(ctx, t.name.c_str(), schema, sizeof schema, name, sizeof name) != 0)
      return kelFail(ctx, msg, nullptr, KELA057E, t.name.c_str());
    side.qualified = schema[0] != '\0';
    side.schema = side.qualified ? schema : sideSchema;
    side.name = name;
    if (t.columns.empty()) {
      std::string what = "column of table " + t.name;
      return kelFail(ctx, msg, nullptr, KELQ000E, what.c_str());
    }
    for (const KelSideColumn &c : t.columns) {
      KEL_TRACE(ctx, " Populating column: '%s'\n", c.name.c_str());
      KelSideCol col;
      // The database's limit, not the catalogue's 128: a longer name passed here and failed in
      // the side table's CREATE TABLE with the database's own message.
      if (!parseIdentifier(ctx, c.name, KEL_MAX_SIDE_COLUMN_BYTES, &col.name))
        return kelFail(ctx, msg, nullptr, KELA058E, c.name.c_str());
      if (!isSideColumnType(ctx, c.type))
        return kelFail(ctx, msg, nullptr, KELA059E, c.type.c_str(), c.name.c_str());
      if (strncasecmp(c.type.c_str(), "graphic", 7) == 0 || strncasecmp(c.type.c_str(), "vargraphic", 10) == 0 ||
          strncasecmp(c.type.c_str(), "varg", 4) == 0) {
        KEL_TRACE(ctx, "%s type is not supported as side table  column type\n", c.type.c_str());
        return kelFail(ctx, msg, nullptr, KELG005E);
      }
      col.type = c.type;
      // The path is compiled now: one that does not compile would fail every insert.
      std::u16string path16;
      if (c.path.size() > KEL_MAX_SIDE_PATH_BYTES || !kelDadFromDb(ctx, c.path, &path16))
        return kelFail(ctx, msg, nullptr, KELA060E, c.path.c_str(), c.name.c_str());
      KelQuery query(ctx, reinterpret_cast<const XMLCh *>(path16.c_str()));
      if (query.errorPosition() != 0) {
        KEL_TRACE(ctx, "path %s does not compile near position %d\n", c.path.c_str(), query.errorPosition());
        return kelFail(ctx, msg, nullptr, KELA060E, c.path.c_str(), c.name.c_str());
      }
      // A part the extraction accepts and does not apply ("[2]", "[text()=...]") would fill the
      // side column with values the path does not describe.
      if (!query.ignored().empty()) {
        KEL_TRACE(ctx, "path %s has a part at position %d that is accepted and not applied\n", c.path.c_str(),
                  query.ignored().front().position);
        return kelFail(ctx, msg, nullptr, KELA060E, c.path.c_str(), c.name.c_str());
      }
      col.path = c.path;
      if (c.multiOccurrence == "YES") side.multi = true;
      else if (c.multiOccurrence != "NO")
        return kelFail(ctx, msg, nullptr, KELA061E, c.multiOccurrence.c_str(), c.name.c_str());
      side.columns.push_back(std::move(col));
    }
    // Several values per document fill one column; a second one could not be filled.
    if (side.multi && side.columns.size() > 1) {
      std::string what = "side table " + t.name + " with more than one column";
      return kelFail(ctx, msg, nullptr, KELQ037E, what.c_str());
    }
    def->sides.push_back(std::move(side));
  }
  return 0;
}

// ---- Helpers of the column routines (kelcolimpl.h) --------------------------------------------

int32_t kelColCurrentUser(KelCallContext *ctx, std::string *user, char *msg) {
  user->clear();
  for (int attempt = 0; attempt < 26 && user->empty(); ++attempt) {
    char value[KEL_TABLE_SIZE] = "";
    short ind = 0;
    sqlca ca{};
    int code = kelColFetch(ctx, "VALUES(USER)", {}, {{SQL_TYP_CSTR, sizeof value, value, &ind}}, &ca);
    if (code < 0 || code == 100 || ind > 0) return kelFail(ctx, msg, nullptr, KELQ067E, "EXEC SQL VALUES(USER)");
    *user = value;
    while (!user->empty() && user->back() == ' ') user->pop_back();
  }
  if (user->empty()) return kelFail(ctx, msg, nullptr, KELQ067E, "EXEC SQL VALUES(USER)");
  return 0;
}

int32_t kelColResolve(KelCallContext *ctx, const char *tableName, const char *columnName, KelColTarget *target,
                      char *msg) {
  char schema[KEL_SCHEMA_SIZE];
  char table[KEL_TABLE_SIZE];
  if (kelParseQualTbl(ctx, tableName, schema, sizeof schema, table, sizeof table) != 0) {
    KEL_TRACE(ctx, "table name %s is not a table name\n", tableName);
    return kelFail(ctx, msg, nullptr, KELA016E, tableName);
  }
  int32_t rc = kelColCurrentUser(ctx, &target->user, msg);
  if (rc < 0) return rc;
  target->schema = schema[0] != '\0' ? schema : target->user.substr(0, KEL_SCHEMA_SIZE - 1);
  target->table = table;
  if (!parseIdentifier(ctx, columnName, KEL_MAX_CATALOG_NAME, &target->column)) {
    std::string where = target->schema + "." + target->table;
    return kelFail(ctx, msg, nullptr, KELA017E, columnName, where.c_str());
  }
  if (charsOf(target->column.c_str()) > static_cast<size_t>(KEL_MAX_XML_COLUMN_CHARS))
    return kelFail(ctx, msg, nullptr, KELQ032E);
  KEL_TRACE(ctx, "schema %s, table %s, column %s, user %s\n", target->schema.c_str(), target->table.c_str(),
            target->column.c_str(), target->user.c_str());
  return 0;
}

int32_t kelColCheckColumn(KelCallContext *ctx, const KelColTarget &t, bool *isXml, char *msg) {
  std::string where = t.schema + "." + t.table;
  int exists = 0;
  int32_t rc = kelTableExists(ctx, t.schema.c_str(), t.table.c_str(), &exists, msg);
  if (rc < 0) return rc;
  if (!exists) return kelFail(ctx, msg, nullptr, KELA016E, where.c_str());
  char typeSchema[KEL_TABLE_SIZE];
  char typeName[KEL_TABLE_SIZE];
  int32_t length = 0;
  char lookupMsg[KEL_MSG_BUFFER + 1] = "";
  rc = kelGetCatalogColumnType(ctx, t.schema.c_str(), t.table.c_str(), t.column.c_str(), typeSchema,
                               sizeof typeSchema, typeName, sizeof typeName, &length, lookupMsg);
  if (rc == kelMessageState(KELQ021E, nullptr)) return kelFail(ctx, msg, nullptr, KELA017E, t.column.c_str(), where.c_str());
  if (rc < 0) {
    std::memcpy(msg, lookupMsg, sizeof lookupMsg);
    return rc;
  }
  if (isXml != nullptr)
    *isXml = std::strcmp(typeSchema, "QUARNXML") == 0 &&
             (std::strcmp(typeName, "XMLVARCHAR") == 0 || std::strcmp(typeName, "XMLCLOB") == 0 ||
              std::strcmp(typeName, "XMLFILE") == 0);
  return 0;
}

int32_t kelColOpenDad(KelCallContext *ctx, KelDocBuffer *buf, KelDad *dad, char *msg) {
  const char *text = kelBufGetContent(ctx, buf);
  if (text == nullptr) return KEL_INTERNAL_ERROR(ctx, msg, nullptr);
  const int cpFlag = ctx != nullptr && ctx->codePages != nullptr &&
                             ctx->codePages->appCodePage == ctx->codePages->dbCodePage
                         ? 1
                         : 0;
  char state[6] = "00000";
  int32_t rc = kelDadOpen(ctx, text, buf->location == KEL_BUF_MEMORY ? KEL_DOC_IN_MEMORY : KEL_DOC_OWN_FILE, cpFlag,
                          KEL_DAD_XCOLUMN, dad, state, msg);
  KEL_TRACE(ctx, "reading the DAD, rc = %d\n", rc);
  return rc;
}

std::string kelColTypeDef(const std::string &type, int32_t length, int32_t scale) {
  auto begins = [&](const char *p) { return strncasecmp(type.c_str(), p, std::strlen(p)) == 0; };
  if (begins("varchar") || begins("char") || begins("graphic") || begins("vargraphic"))
    return type + "(" + std::to_string(length) + ")";
  if (begins("decimal")) return type + "(" + std::to_string(length) + "," + std::to_string(scale) + ")";
  return type;
}

int32_t kelColCreateTriggers(KelCallContext *ctx, const KelColumnDef &def, char *msg) {
  char signal[KEL_MSG_BUFFER + 1];
  kelSetMessage(ctx, signal, KELD000E);
  std::string signalText = signal;
  while (!signalText.empty() && signalText.back() == '\n') signalText.pop_back();
  for (char kind : kelTriggerKinds(def)) {
    std::string sql;
    if (!kelTriggerStmt(ctx, def, kind, signalText, &sql)) return KEL_INTERNAL_ERROR(ctx, msg, nullptr);
    sqlca ca{};
    int code = kelColExec(ctx, sql, &ca);
    KEL_TRACE(ctx, "trigger %c%s, SQLCODE = %d\n", kind, def.suffix.c_str(), code);
    if (code >= 0) continue;
    int msgNo = KELA047E;
    switch (kind) {
      case 'J': msgNo = KELA048E; break;
      case 'D': msgNo = KELA049E; break;
      case 'U': msgNo = KELA050E; break;
      case 'V': msgNo = KELA053E; break;
      case 'W': msgNo = def.validation == KelColValidation::Schema ? KELA053E : KELA054E; break;
      default: break;
    }
    kelSetDbMessage(ctx, msg, &ca, msgNo);
    return kelMessageState(msgNo, nullptr);
  }
  return 0;
}

int32_t kelColFillSideTables(KelCallContext *ctx, const KelColumnDef &def, bool emptyFirst, char *msg) {
  sqlca ca{};
  auto fail = [&] {
    kelSetDbMessage(ctx, msg, &ca, KELA048E);
    return kelMessageState(KELA048E, nullptr);
  };
  if (def.validation != KelColValidation::None) {
    // A column that validates its documents holds none its validation refuses: the stored
    // ones are checked as the V trigger checks each new one.
    std::string sql;
    if (!kelRefusedStoredStmt(ctx, def, &sql)) return KEL_INTERNAL_ERROR(ctx, msg, nullptr);
    sqlint32 refused = 0;
    short ind = 0;
    if (kelColFetch(ctx, sql.c_str(), {}, {{SQL_TYP_INTEGER, 4, &refused, &ind}}, &ca) < 0) return fail();
    if (refused > 0) {
      KEL_TRACE(ctx, "%d stored documents are not valid\n", static_cast<int>(refused));
      kelSetMessage(ctx, msg, KELA048E);
      return kelMessageState(KELA048E, nullptr);
    }
  }
  if (def.systemRoot) {
    // A root id several rows share (a row copied with it while the triggers were absent) would
    // let the U and D triggers of one row delete the other's side rows: every such row loses
    // it, and documents without a root id get one, as the H and T triggers would have given.
    std::string clear, sql;
    if (!kelSharedRootIdClearStmt(ctx, def, &clear) || !kelRootIdFillStmt(ctx, def, &sql))
      return KEL_INTERNAL_ERROR(ctx, msg, nullptr);
    if (kelColExec(ctx, clear, &ca) < 0 || kelColExec(ctx, sql, &ca) < 0) return fail();
  } else {
    // The caller's own root id is the caller's key: it is never changed, and one that several
    // rows share cannot tell their side rows apart.
    std::string sql;
    if (!kelSharedRootIdsStmt(ctx, def, &sql)) return KEL_INTERNAL_ERROR(ctx, msg, nullptr);
    sql = "SELECT COUNT(*) FROM (" + sql + ") AS KELSHARED";
    sqlint32 shared = 0;
    short ind = 0;
    if (kelColFetch(ctx, sql.c_str(), {}, {{SQL_TYP_INTEGER, 4, &shared, &ind}}, &ca) < 0) return fail();
    if (shared > 0) {
      KEL_TRACE(ctx, "root id %s is shared by several rows\n", def.rootId.c_str());
      std::string where = def.schema + "." + def.table;
      return kelFail(ctx, msg, nullptr, KELA014E, def.rootId.c_str(), where.c_str());
    }
  }
  for (const KelSideTab &side : def.sides) {
    std::string target;
    if (!kelAppendQuoted(ctx, &target, side.schema) ) return KEL_INTERNAL_ERROR(ctx, msg, nullptr);
    target += '.';
    if (!kelAppendQuoted(ctx, &target, side.name)) return KEL_INTERNAL_ERROR(ctx, msg, nullptr);
    if (emptyFirst && kelColExec(ctx, "DELETE FROM " + target, &ca) < 0) return fail();
    std::vector<std::string> fill;
    if (!kelSideFillStmts(ctx, def, side, &fill)) return KEL_INTERNAL_ERROR(ctx, msg, nullptr);
    for (const std::string &sql : fill)
      if (kelColExec(ctx, sql, &ca) < 0) return fail();
  }
  return 0;
}

// ---- Enablement --------------------------------------------------------------------------------

namespace {

// A document buffer released when the call ends.
struct BufferGuard {
  KelCallContext *ctx;
  KelDocBuffer buf{nullptr, nullptr, KEL_BUF_MEMORY, 0, KEL_BUF_NO_LIMIT, 0};
  bool held = false;
  ~BufferGuard() {
    if (held) kelBufRelease(ctx, &buf);
  }
};

// The root id the caller names must be the table's single-column primary key; its definition
// for the side tables.
int32_t checkRootId(KelCallContext *ctx, const KelColTarget &t, const std::string &rootId, std::string *rootDef,
                    char *msg) {
  std::string where = t.schema + "." + t.table;
  auto refuse = [&](const char *why) {
    KEL_TRACE(ctx, "%s\n", why);
    return kelFail(ctx, msg, nullptr, KELA014E, rootId.c_str(), where.c_str());
  };
  char stmt[KEL_CATALOG_STMT_SIZE];
  kelBuildSQLstmt(ctx, stmt, KEL_SEL_KEYCOLUMNS, KEL_VIEW_TABLES, KEL_COND_TABLE);
  sqlint32 keys = 0;
  short keysInd = 0;
  sqlca ca{};
  int code = kelColFetch(ctx, stmt, {t.schema.c_str(), t.table.c_str()}, {{SQL_TYP_INTEGER, 4, &keys, &keysInd}}, &ca);
  if (code != 0 || keysInd < 0 || keys == 0) return refuse("Error: table has no primary key");
  if (keys != 1) return refuse("Error: primary key is composite");
  kelBuildSQLstmt(ctx, stmt, KEL_SEL_TYPE_KEY, KEL_VIEW_COLUMNS, KEL_COND_COLUMN);
  char typeName[KEL_TABLE_SIZE] = "";
  sqlint32 length = 0, scale = 0, keyseq = 0;
  short inds[4] = {0, 0, 0, 0};
  code = kelColFetch(ctx, stmt, {t.schema.c_str(), t.table.c_str(), rootId.c_str()},
                     {{SQL_TYP_CSTR, sizeof typeName, typeName, &inds[0]},
                      {SQL_TYP_INTEGER, 4, &length, &inds[1]},
                      {SQL_TYP_INTEGER, 4, &scale, &inds[2]},
                      {SQL_TYP_INTEGER, 4, &keyseq, &inds[3]}},
                     &ca);
  if (code != 0 || inds[3] < 0 || keyseq != 1) {
    KEL_TRACE(ctx, "Rootid %s is not a primary key, keyseq_ind=%d\n", rootId.c_str(), inds[3]);
    return kelFail(ctx, msg, nullptr, KELA014E, rootId.c_str(), where.c_str());
  }
  std::string type = typeName;
  while (!type.empty() && type.back() == ' ') type.pop_back();
  if (!isSideColumnType(ctx, type)) return refuse("root id type cannot be written");
  *rootDef = kelColTypeDef(type, length, scale);
  return 0;
}

// No root id named: KELROOT_ID, reused when the table has it with the right type (compared
// without regard to case), else added.  *add tells whether it must be added.
int32_t checkSystemRoot(KelCallContext *ctx, const KelColTarget &t, bool *add, char *msg) {
  *add = false;
  char typeSchema[KEL_TABLE_SIZE];
  char typeName[KEL_TABLE_SIZE];
  int32_t length = 0;
  char lookupMsg[KEL_MSG_BUFFER + 1] = "";
  int32_t rc = kelGetCatalogColumnType(ctx, t.schema.c_str(), t.table.c_str(), KEL_ROOT_ID_COLUMN, typeSchema,
                                       sizeof typeSchema, typeName, sizeof typeName, &length, lookupMsg);
  if (rc == kelMessageState(KELQ021E, nullptr)) {
    *add = true;
    return 0;
  }
  if (rc < 0) {
    std::memcpy(msg, lookupMsg, sizeof lookupMsg);
    return rc;
  }
  if (typeSchema[0] == '\0' && strncasecmp(typeName, "CHAR", 4) == 0 && length == 13) return 0;
  std::string where = t.schema + "." + t.table;
  return kelFail(ctx, msg, nullptr, KELA015E, where.c_str());
}

// The columns of the user table in order, for the default view.
int32_t userColumns(KelCallContext *ctx, const KelColTarget &t, std::vector<std::string> *out, char *msg) {
  out->clear();
  const char *sql = "SELECT colname FROM syscat.columns WHERE tabschema = ? AND tabname = ? ORDER BY colno";
  KEL_TRACE(ctx, "%s\n", sql);
  sqlca ca{};
  quarn_stmt *raw = nullptr;
  int code = quarn_prepare(sql, &raw, &ca);
  std::unique_ptr<quarn_stmt, StmtFree> stmt(raw);
  quarn_hostvar in[2] = {inString(t.schema.c_str()), inString(t.table.c_str())};
  if (code >= 0) code = quarn_open(raw, 2, in, &ca);
  if (code < 0) return kelFail(ctx, msg, nullptr, KELA024E);
  for (;;) {
    char name[KEL_TABLE_SIZE];
    short ind = 0;
    quarn_hostvar var{SQL_TYP_CSTR, sizeof name, name, &ind};
    code = quarn_fetch(raw, 1, &var, &ca);
    if (code == 100) break;
    if (code < 0 || ind != 0) {
      std::string where = t.schema + "." + t.table;
      return kelFail(ctx, msg, nullptr, KELA020E, where.c_str());
    }
    std::string col = name;
    while (!col.empty() && col.back() == ' ') col.pop_back();
    out->push_back(col);
  }
  return 0;
}

}  // namespace

int32_t kelEnableColumnMain(KelCallContext *ctx, const KelEnableColumnArgs &a, char *msg) {
  msg[0] = '\0';
  if (a.tableName == nullptr || a.columnName == nullptr || a.dad == nullptr) return kelFail(ctx, msg, nullptr, KELG004E);
  if (charsOf(a.columnName) > static_cast<size_t>(KEL_MAX_XML_COLUMN_CHARS)) return kelFail(ctx, msg, nullptr, KELQ032E);
  KEL_TRACE(ctx, "entered. table:%s, column:%s, dadlen:%d, tbspace:%s, view:%s, rootid:%s\n", a.tableName,
            a.columnName, a.dadLen, given(a.tableSpace) ? a.tableSpace : "", given(a.defaultView) ? a.defaultView : "",
            given(a.rootId) ? a.rootId : "");
  int enabled = 0;
  int32_t rc = kelIsDatabaseEnabled(ctx, &enabled, msg);
  if (rc < 0) return rc;
  if (!enabled) {
    KEL_TRACE(ctx, "Table quarnxml.xml_usage does not exist.\n");
    return kelFail(ctx, msg, nullptr, KELQ052E);
  }

  // The names of the call, each parsed; nothing unparsed reaches SQL.
  KelColTarget target;
  rc = kelColResolve(ctx, a.tableName, a.columnName, &target, msg);
  if (rc < 0) return rc;
  const std::string where = target.schema + "." + target.table;
  KelColumnDef def;
  def.schema = target.schema;
  def.table = target.table;
  def.column = target.column;
  if (given(a.rootId)) {
    if (!parseIdentifier(ctx, a.rootId, KEL_MAX_CATALOG_NAME, &def.rootId) || def.rootId == def.column)
      return kelFail(ctx, msg, nullptr, KELA014E, a.rootId, where.c_str());
    // KELROOT_ID is the system's root id: disable, soft-disable and re-enable know it by its
    // name, and would fill a caller's key of that name by trigger and reset it to NULL.
    if (def.rootId == KEL_ROOT_ID_COLUMN) {
      KEL_TRACE(ctx, "root id %s is the system's column name\n", def.rootId.c_str());
      return kelFail(ctx, msg, nullptr, KELA015E, where.c_str());
    }
    def.systemRoot = false;
  } else {
    def.rootId = KEL_ROOT_ID_COLUMN;
    def.rootDef = KEL_ROOT_ID_DEF;
  }
  std::string tableSpace;
  if (given(a.tableSpace)) {
    // The table-space clause of the catalogue tables reads the name as one identifier.
    std::string clause;
    int32_t tsRc = 0;
    if (appendTableSpaceClause(ctx, &clause, "", KEL_TBSPACE_DTD_REF, a.tableSpace, 0, &tsRc, msg) < 0) return tsRc;
    char schema[KEL_SCHEMA_SIZE], name[KEL_TABLE_SIZE];
    kelParseQualTbl(ctx, a.tableSpace, schema, sizeof schema, name, sizeof name);
    tableSpace = name;
  }
  std::string viewSchema, viewName, storedView;
  if (given(a.defaultView)) {
    char schema[KEL_SCHEMA_SIZE], name[KEL_TABLE_SIZE];
    if (kelParseQualTbl(ctx, a.defaultView, schema, sizeof schema, name, sizeof name) != 0)
      return kelFail(ctx, msg, nullptr, KELA021E, a.defaultView);
    viewSchema = schema[0] != '\0' ? schema : target.user;
    viewName = name;
    // Kept in XML_USAGE as created, schema and name delimited, for disable to drop exactly it.
    kelAppendQuoted(ctx, &storedView, viewSchema);
    storedView += '.';
    kelAppendQuoted(ctx, &storedView, viewName);
    // XML_USAGE.DEFAULT_VIEW holds 128 bytes: a longer stored form is refused here, not by the
    // catalogue's insert after everything else was made.
    if (storedView.size() > KEL_MAX_CATALOG_NAME) return kelFail(ctx, msg, nullptr, KELA021E, a.defaultView);
  }

  // The DAD.
  BufferGuard dadBuf{ctx};
  int status = 0;
  const int64_t threshold = ctx != nullptr && ctx->fileThreshold > 0 ? ctx->fileThreshold : KEL_MIN_FILE_THRESHOLD;
  if (kelBufAcquire(ctx, &dadBuf.buf, a.dadLen, threshold, KEL_BUF_MEMORY, &status, msg, 1) < 0) return status;
  dadBuf.held = true;
  char state[6];
  if (kelFillBuffer(ctx, &dadBuf.buf, a.dad, &status, state) < 0) return kelFail(ctx, msg, nullptr, KELC003E);
  KelDad dad;
  rc = kelColOpenDad(ctx, &dadBuf.buf, &dad, msg);
  if (rc < 0) return rc;

  // The table and its column.
  bool isXml = false;
  rc = kelColCheckColumn(ctx, target, &isXml, msg);
  if (rc < 0) return rc;
  if (!isXml) return kelFail(ctx, msg, nullptr, KELQ022E, target.column.c_str(), where.c_str(), "XMLVarchar, XMLCLOB or XMLFile");
  {
    sqlint32 count = 0;
    short ind = 0;
    sqlca ca{};
    int code = kelColFetch(ctx,
                           "SELECT COUNT(*) FROM QUARNXML.XML_USAGE WHERE table_schema = ? AND table_name = ? AND "
                           "col_name = ?",
                           {target.schema.c_str(), target.table.c_str(), target.column.c_str()},
                           {{SQL_TYP_INTEGER, 4, &count, &ind}}, &ca);
    if (code < 0) {
      kelSetDbMessage(ctx, msg, &ca, KELQ052E);
      return kelMessageState(KELQ052E, nullptr);
    }
    if (count > 0) {
      std::string what = "enable column " + target.column + " of " + where + ", which is enabled already,";
      return kelFail(ctx, msg, nullptr, KELQ067E, what.c_str());
    }
  }
  bool addRoot = false;
  rc = def.systemRoot ? checkSystemRoot(ctx, target, &addRoot, msg) : checkRootId(ctx, target, def.rootId, &def.rootDef, msg);
  if (rc < 0) return rc;

  kelSetMessage(ctx, msg, KELA022I, target.column.c_str());
  rc = kelColumnDefFromDad(ctx, dad, target.user, &def, msg);
  if (rc < 0) return rc;
  // A side table is made and filled by the column's triggers: never in the extension's own
  // schema or a system schema, where it would be, or stand for, one of the system's tables.
  for (const KelSideTab &side : def.sides) {
    if (!kelIsReservedSchema(side.schema.c_str())) continue;
    std::string name = side.schema + "." + side.name;
    return kelFail(ctx, msg, nullptr, KELA057E, name.c_str());
  }
  // An empty or blank dtdid with validation YES names no stored DTD and is refused like any
  // unknown id: taken as no id, the column recorded validation while its triggers compared
  // against no DTD_REF row, so they never fired and every document was accepted.
  if (!def.dtdId.empty() || def.validation == KelColValidation::Dtd) {
    KEL_TRACE(ctx, "Check dtdid: %s against dtd_ref.\n", def.dtdId.c_str());
    sqlint32 count = 0;
    short ind = 0;
    sqlca ca{};
    int code = kelColFetch(ctx, "SELECT count(*) FROM quarnxml.dtd_ref WHERE dtdid = ?", {def.dtdId.c_str()},
                           {{SQL_TYP_INTEGER, 4, &count, &ind}}, &ca);
    if (code != 0 || count == 0) {
      kelSetDbMessage(ctx, msg, &ca, KELA010E, def.dtdId.c_str());
      return kelMessageState(KELA010E, nullptr);
    }
  }
  rc = kelPickTriggerSuffix(
      ctx,
      [ctx] {
        char buf[KEL_TRIGGER_SUFFIX_LEN + 1];
        kel_GetRandName(ctx, buf, KEL_TRIGGER_SUFFIX_LEN);
        return std::string(buf);
      },
      target.column, where, &def.suffix, msg);
  if (rc < 0) return rc;

  // Everything is checked; from here on the changes are one unit: all or nothing.
  KelCallSavepoint savepoint(ctx);
  sqlca ca{};
  if (int code = savepoint.begin(&ca); code < 0) {
    kelSetDbMessage(ctx, msg, &ca, KELQ067E, "set the savepoint of the call");
    return kelMessageState(KELQ067E, nullptr);
  }
  auto fail = [&](int32_t code) { return savepoint.finish(code < 0 ? code : -1); };
  std::string userTable;
  kelAppendQuoted(ctx, &userTable, target.schema);
  userTable += '.';
  kelAppendQuoted(ctx, &userTable, target.table);
  if (addRoot) {
    std::string sql = "ALTER TABLE " + userTable + " ADD KELROOT_ID CHAR(13) FOR BIT DATA";
    KEL_TRACE(ctx, "Alter table : %s to add column KELROOT_ID\n", userTable.c_str());
    if (kelColExec(ctx, sql, &ca) < 0) {
      KEL_TRACE(ctx, "Table %s.%s cannot be altered.\n", target.schema.c_str(), target.table.c_str());
      kelSetDbMessage(ctx, msg, &ca, KELA013E, where.c_str());
      return fail(kelMessageState(KELA013E, nullptr));
    }
  }
  KEL_TRACE(ctx, "calling createSidetables(), rootid:%s, rootid_def:%s\n", def.rootId.c_str(), def.rootDef.c_str());
  for (const KelSideTab &side : def.sides) {
    std::string sql;
    if (!kelSideTableStmt(ctx, def, side, tableSpace, &sql)) return fail(KEL_INTERNAL_ERROR(ctx, msg, nullptr));
    if (kelColExec(ctx, sql, &ca) < 0) {
      std::string name = side.schema + "." + side.name;
      kelSetDbMessage(ctx, msg, &ca, KELA046E, name.c_str());
      return fail(kelMessageState(KELA046E, nullptr));
    }
  }
  // Documents stored before enablement are searched like every later one.
  rc = kelColFillSideTables(ctx, def, false, msg);
  if (rc < 0) return fail(rc);
  rc = kelColCreateTriggers(ctx, def, msg);
  if (rc < 0) return fail(rc);
  if (!viewName.empty()) {
    std::vector<std::string> columns;
    rc = userColumns(ctx, target, &columns, msg);
    if (rc < 0) return fail(rc);
    std::string sql;
    if (!kelDefaultViewStmt(ctx, def, viewSchema, viewName, columns, &sql)) return fail(KEL_INTERNAL_ERROR(ctx, msg, nullptr));
    if (kelColExec(ctx, sql, &ca) < 0) {
      kelSetDbMessage(ctx, msg, &ca, KELA021E, a.defaultView);
      return fail(kelMessageState(KELA021E, nullptr));
    }
  }
  KEL_TRACE(ctx, "Insert a row into xml_usage.\n");
  int32_t usageRc = 0;
  if (kelInsertXMLUsage(ctx, target.schema.c_str(), target.table.c_str(), target.column.c_str(), def.dtdId.c_str(),
                        def.dtdId.empty() ? -1 : 0, &dadBuf.buf, 0,
                        def.validation != KelColValidation::None ? 1 : 0, storedView.c_str(),
                        viewName.empty() ? -1 : 0, def.suffix.c_str(), 5.0f, def.rootId.c_str(), 0,
                        target.user.c_str(), 0, &usageRc, msg) < 0)
    return fail(usageRc);
  if (!def.dtdId.empty()) {
    KEL_TRACE(ctx, "Increment usage_count of dtd:%s\n", def.dtdId.c_str());
    quarn_stmt *raw = nullptr;
    int code = quarn_prepare("UPDATE quarnxml.dtd_ref SET usage_count=usage_count+1 WHERE dtdid = ?", &raw, &ca);
    std::unique_ptr<quarn_stmt, StmtFree> stmt(raw);
    quarn_hostvar in = inString(def.dtdId.c_str());
    if (code >= 0) code = quarn_execute(raw, 1, &in, &ca);
    if (code < 0) {
      KEL_TRACE(ctx, "Lorvane cannot update dtd_ref table. sqlca.sqlcode:%d\n", code);
      kelSetDbMessage(ctx, msg, &ca, KELA012E);
      return fail(kelMessageState(KELA012E, nullptr));
    }
  }
  kelSetMessage(ctx, msg, KELA022I, target.column.c_str());
  KEL_TRACE(ctx, "exit, column %s enabled, suffix %s\n", target.column.c_str(), def.suffix.c_str());
  return savepoint.finish(0);
}

// ---- The procedures of enablement --------------------------------------------------------------

namespace {

constexpr KelParamSpec in(const char *name) { return {name, KelParamKind::String, KelParamMode::In, false, 0}; }
constexpr KelParamSpec kDad = {"dadBuf", KelParamKind::Lob, KelParamMode::In, false, 0};
constexpr KelParamSpec kRc = {"returnCode", KelParamKind::ReturnCode, KelParamMode::Out, false, 0};
constexpr KelParamSpec kMsg = {"returnMsg", KelParamKind::ReturnMsg, KelParamMode::Out, false, KEL_MSG_BUFFER};

constexpr KelParamSpec kEnableDari[] = {in("dbName"),      in("tableName"),   in("columnName"),
                                        kDad,              in("tableSpace"),  in("defaultView"),
                                        in("rootID"),      kRc,               kMsg};
constexpr KelParamSpec kEnableStp[] = {in("tableName"),  in("columnName"), kDad, in("tableSpace"),
                                       in("defaultView"), in("rootID"),    kRc,  kMsg};
constexpr KelProcLayout kEnableDariLayout[] = {{kEnableDari, 9}};
constexpr KelProcLayout kEnableStpLayout[] = {{kEnableStp, 8}};

const char *value(const KelArg &arg) { return arg.isNull ? nullptr : arg.data; }

int32_t enableWorker(KelProcCall &call, int first) {
  if (first == 1) {
    // The column is enabled in the database of the connection: a null name is refused as the
    // other nulls are, and a name of another database too (the call enabled the column here and
    // said so).
    if (call.args[0].isNull) return kelFail(call.ctx, call.msg, nullptr, KELG004E);
    if (!kelNamesThisDatabase(call.ctx, call.args[0].data))
      return kelFail(call.ctx, call.msg, nullptr, KELA003E, call.args[0].data);
    std::string db = call.args[0].isNull ? std::string() : std::string(call.args[0].data).substr(0, 8);
    std::transform(db.begin(), db.end(), db.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    KEL_TRACE(call.ctx, "dbname:%s\n", db.c_str());
  }
  const KelArg *a = call.args + first;
  KelEnableColumnArgs args;
  args.tableName = value(a[0]);
  args.columnName = value(a[1]);
  args.dad = value(a[2]);
  args.dadLen = a[2].len;
  args.tableSpace = value(a[3]);
  args.defaultView = value(a[4]);
  args.rootId = value(a[5]);
  return kelEnableColumnMain(call.ctx, args, call.msg);
}

int32_t enableWithDb(KelProcCall &call) { return enableWorker(call, 1); }
int32_t enableWithoutDb(KelProcCall &call) { return enableWorker(call, 0); }

}  // namespace

const KelProcSpec kelEnableColumnSpec = {"kelEnableColumn", kEnableDariLayout, 1, enableWithDb};
const KelProcSpec kelEnableColumnStpSpec = {"kelEnableColumn_STP", kEnableStpLayout, 1, enableWithoutDb};
const KelProcSpec kelEnableColumn0StpSpec = {"kelEnableColumn0_STP", kEnableDariLayout, 1, enableWithDb};

extern "C" SQL_API_EXPORT int kelEnableColumn(void *reserved1, void *reserved2, struct sqlda *da, struct sqlca *ca) {
  (void)reserved1;
  (void)reserved2;
  return kelDariFrame(kelEnableColumnSpec, da, ca);
}

extern "C" SQL_API_EXPORT int kelEnableColumn_STP(char *tableName, char *columnName, char *dadBuf, char *tableSpace,
                                                  char *defaultView, char *rootID, sqlint32 *returnCode,
                                                  char *returnMsg, short *tableNameInd, short *columnNameInd,
                                                  short *dadBufInd, short *tableSpaceInd, short *defaultViewInd,
                                                  short *rootIDInd, short *returnCodeInd, short *returnMsgInd,
                                                  char *sqlstate, char *procName, char *specName, char *diagMsg) {
  void *values[] = {tableName, columnName, dadBuf, tableSpace, defaultView, rootID, returnCode, returnMsg};
  short *inds[] = {tableNameInd, columnNameInd, dadBufInd,     tableSpaceInd,
                   defaultViewInd, rootIDInd,   returnCodeInd, returnMsgInd};
  return kelSqlFrame(kelEnableColumnStpSpec, values, inds, sqlstate, procName, specName, diagMsg);
}

extern "C" SQL_API_EXPORT int kelEnableColumn0_STP(char *dbName, char *tableName, char *columnName, char *dadBuf,
                                                   char *tableSpace, char *defaultView, char *rootID,
                                                   sqlint32 *returnCode, char *returnMsg, short *dbNameInd,
                                                   short *tableNameInd, short *columnNameInd, short *dadBufInd,
                                                   short *tableSpaceInd, short *defaultViewInd, short *rootIDInd,
                                                   short *returnCodeInd, short *returnMsgInd, char *sqlstate,
                                                   char *procName, char *specName, char *diagMsg) {
  // The database name is taken and ignored; the call is the SQL-convention entry's.
  void *values[] = {dbName, tableName, columnName, dadBuf, tableSpace, defaultView, rootID, returnCode, returnMsg};
  short *inds[] = {dbNameInd,      tableNameInd, columnNameInd, dadBufInd,   tableSpaceInd,
                   defaultViewInd, rootIDInd,    returnCodeInd, returnMsgInd};
  return kelSqlFrame(kelEnableColumn0StpSpec, values, inds, sqlstate, procName, specName, diagMsg);
}
