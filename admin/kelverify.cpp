/*
 * kelverify.cpp - verifying and repairing the side tables of an enabled XML column (see
 * kelverify.h).  The side tables are read once into memory by root id; then every document is
 * read once, extracted per side-table column with that column's own extraction engine, turned
 * into the rows the triggers would have stored and compared; what differs is reported, and
 * repaired in batches when asked.
 */
#include "kelverify.h"

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kelcatalog.h"
#include "kelcol.h"
#include "kelcolimpl.h"
#include "kelconvert.h"
#include "kelctx.h"
#include "kelextract.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "kelrel.h"
#include "kelsavepoint.h"
#include "kelSgDoc.h"
#include "kelsql.h"
#include "keltrace.h"
#include "quarnapp.h"

namespace {

constexpr const char kUnit[] = "kelverify";

// Bytes of the extract functions' results: an extracted character value holds at most this
// many bytes, and a CLOB value is extracted with its markup up to kClobLimit.
constexpr int32_t kVarcharLimit = 4000;
constexpr int32_t kNumberTableLimit = 254;
constexpr int32_t kClobLimit = 2000000000;
// Room of a value fetched as text whose type the engine formats (numbers, dates) or keeps as
// bytes (FOR BIT DATA): the cast of an extracted value (VARCHAR(4000)) is at most 4000 bytes, and
// the room beyond shows a longer stored value as longer instead of cutting both alike.
constexpr int kCastTextBytes = kVarcharLimit + 512;
// Casts whose answers a column keeps at most.
constexpr size_t kCastCacheEntries = 4096;
// A document is first fetched into this many bytes; a longer one is fetched again whole.
constexpr size_t kFirstDocBytes = 1 << 20;
// Bytes of a CLOB side value read back at most (a longer declared column is read cut, and
// compares as different).
constexpr size_t kMaxClobBytes = size_t{1} << 24;
// Root ids named in a message at most, in bytes.
constexpr size_t kNamedBytes = 400;

struct StmtFree {
  void operator()(quarn_stmt *s) const { quarn_free_stmt(s); }
};
using Stmt = std::unique_ptr<quarn_stmt, StmtFree>;

// The document column's type, which tells how the extract functions read its values.
enum class Source { Varchar, Clob, File };

// How a side column's value is made from the extracted text, compared and written back:
// Text: cut to the declared bytes (CHAR padded), compared without trailing blanks; Clob: the
// markup, exactly; Double/Real: kelatof, a text that is no number is NULL; Cast: the engine's
// CAST of the text to the column's type, compared as the engine writes it as text; Float: the
// engine's CAST to FLOAT, compared and written back by value (its text shows 15 or 7 digits,
// fewer than the number has).
enum class Kind { Text, Clob, Double, Real, Cast, Float };

struct Value {
  bool null = true;
  std::string text;
  double num = 0;
};

struct Row {
  int32_t seq = 0;
  std::vector<Value> values;
};
using Rows = std::vector<Row>;

// A growable buffer for a large-object host variable.
struct LobBuffer {
  std::vector<char> bytes;
  explicit LobBuffer(size_t room) : bytes(sizeof(sqluint32) + room + 1) {}
  quarn_lob *lob() { return reinterpret_cast<quarn_lob *>(bytes.data()); }
  size_t room() const { return bytes.size() - sizeof(sqluint32) - 1; }
  std::string value() { return std::string(lob()->data, lob()->length); }
};

struct ColPlan {
  const KelSideCol *col = nullptr;
  Kind kind = Kind::Text;
  size_t textBytes = 0;  // Text: the declared length in bytes
  int32_t limit = kVarcharLimit;
  bool tagged = false;
  std::unique_ptr<KelExtractor> extractor;
  Stmt cast;  // Kind::Cast: VALUES CAST(CAST(? AS VARCHAR(4000)) AS type)
  // Kind::Cast: the engine's answers by extracted text (values repeat: codes, quantities,
  // dates), up to kCastCacheEntries of them.
  std::unordered_map<std::string, Value> castCache;
};

struct SidePlan {
  const KelSideTab *side = nullptr;
  std::vector<ColPlan> cols;
  std::unordered_map<std::string, Rows> stored;  // by root id
  Stmt insert, remove;
};

// A root id as the engine hands it back: bytes of a FOR BIT DATA value, else its text.
struct Root {
  bool null = false;
  std::string bytes;
};

// ---- Small helpers ----------------------------------------------------------------------------

std::string lower(std::string s) {
  for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool begins(const std::string &s, const char *prefix) { return s.rfind(prefix, 0) == 0; }

std::string rtrimBlanks(const std::string &s) {
  size_t n = s.size();
  while (n > 0 && s[n - 1] == ' ') --n;
  return s.substr(0, n);
}

// s cut to at most n bytes, never inside a UTF-8 character (as a cast to a shorter string cuts).
std::string cutBytes(const std::string &s, size_t n) {
  if (s.size() <= n) return s;
  size_t cut = n;
  while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
  return s.substr(0, cut);
}

// The declared length of "name(n)" in bytes, or 0 when the type does not read that way.
size_t declaredLength(const std::string &type) {
  size_t open = type.find('(');
  if (open == std::string::npos) return 0;
  size_t close = type.find(')', open);
  if (close == std::string::npos) return 0;
  std::string inner = type.substr(open + 1, close - open - 1);
  while (!inner.empty() && inner.front() == ' ') inner.erase(0, 1);
  while (!inner.empty() && inner.back() == ' ') inner.pop_back();
  size_t mult = 1;
  if (!inner.empty() && std::strchr("kKmMgG", inner.back()) != nullptr) {
    char u = static_cast<char>(std::toupper(static_cast<unsigned char>(inner.back())));
    mult = u == 'K' ? 1024 : u == 'M' ? 1024 * 1024 : 1024 * 1024 * 1024;
    inner.pop_back();
  }
  if (inner.empty() || inner.size() > 10 || !std::all_of(inner.begin(), inner.end(), ::isdigit)) return 0;
  return static_cast<size_t>(std::strtoull(inner.c_str(), nullptr, 10)) * mult;
}

// How a side column of this type is filled (the trigger's choice of extract function, by the
// first letters of the type) and compared.
void planKind(ColPlan *p, bool multi, Source source) {
  const std::string t = lower(p->col->type);
  if (begins(t, "clob")) {
    p->kind = Kind::Clob;
    p->tagged = true;
    p->limit = kClobLimit;
    // A CLOB without a length holds 1M.
    p->textBytes = declaredLength(t) > 0 ? declaredLength(t) : 1024 * 1024;
    return;
  }
  if (begins(t, "double") || begins(t, "real")) {
    p->kind = begins(t, "double") ? Kind::Double : Kind::Real;
    p->limit = multi || source == Source::Clob ? kNumberTableLimit : kVarcharLimit;
    return;
  }
  p->limit = kVarcharLimit;
  p->kind = begins(t, "float") ? Kind::Float : Kind::Cast;
  if (p->kind == Kind::Float || t.find("for bit data") != std::string::npos) return;
  if (begins(t, "long varchar")) {
    p->kind = Kind::Text;
    p->textBytes = 32700;
  } else if (begins(t, "varchar") || begins(t, "char") || begins(t, "character")) {
    size_t n = declaredLength(t);
    if (n == 0 && t.find('(') == std::string::npos && (t == "char" || t == "character")) n = 1;
    if (n > 0) {
      p->kind = Kind::Text;
      p->textBytes = n;
    }
  }
}

bool sameValue(Kind kind, const Value &a, const Value &b) {
  if (a.null || b.null) return a.null == b.null;
  switch (kind) {
    case Kind::Text: return rtrimBlanks(a.text) == rtrimBlanks(b.text);
    case Kind::Double:
    case Kind::Real:
    case Kind::Float: return a.num == b.num;
    case Kind::Clob:
    case Kind::Cast: return a.text == b.text;
  }
  return false;
}

bool sameRows(const SidePlan &s, const Rows &expected, Rows stored) {
  if (expected.size() != stored.size()) return false;
  std::sort(stored.begin(), stored.end(), [](const Row &a, const Row &b) { return a.seq < b.seq; });
  for (size_t r = 0; r < expected.size(); ++r) {
    if (expected[r].seq != stored[r].seq) return false;
    for (size_t c = 0; c < s.cols.size(); ++c)
      if (!sameValue(s.cols[c].kind, expected[r].values[c], stored[r].values[c])) return false;
  }
  return true;
}

// A root id as a message names it: text as it is, bit data as x'..'.
std::string rootName(const Root &root, bool bitData) {
  if (root.null) return "NULL";
  if (!bitData) return rtrimBlanks(root.bytes);
  static const char hex[] = "0123456789ABCDEF";
  std::string out = "x'";
  for (unsigned char c : root.bytes) {
    out += hex[c >> 4];
    out += hex[c & 15];
  }
  return out + "'";
}

// Appends name to a list kept under kNamedBytes ("..." once when it is full).
void addName(std::string *list, bool *full, const std::string &name) {
  if (*full) return;
  if (list->size() + name.size() + 2 > kNamedBytes) {
    *list += list->empty() ? "..." : ", ...";
    *full = true;
    return;
  }
  if (!list->empty()) *list += ", ";
  *list += name;
}

// ---- The verification -------------------------------------------------------------------------

class Verifier {
 public:
  Verifier(KelCallContext *ctx, char *msg) : ctx_(ctx), msg_(msg) {}
  int32_t run(const char *tableName, const char *columnName, bool repair, KelVerifyCounts *counts,
              const KelVerifyProgress &progress);

 private:
  int32_t failSql(const sqlca &ca, const std::string &what) {
    sqlca copy = ca;
    kelSetDbMessage(ctx_, msg_, &copy, KELQ067E, what.c_str());
    return kelMessageState(KELQ067E, nullptr);
  }
  int prepare(const std::string &sql, Stmt *out, sqlca *ca) {
    KEL_TRACE(ctx_, "%s\n", sql.c_str());
    quarn_stmt *raw = nullptr;
    int code = quarn_prepare(sql.c_str(), &raw, ca);
    out->reset(raw);
    return code;
  }
  quarn_hostvar rootVar(const Root &root, std::vector<char> *storage, short *ind);
  int32_t setUp(bool repair);
  int32_t declareReport();
  int32_t loadSide(SidePlan &s);
  int32_t readDtd();
  // Extracts the rows of one side table from doc; false (with *why) when the triggers could
  // not have stored them.
  bool expectedRows(SidePlan &s, const char *doc, size_t docLen, Rows *out, std::string *why);
  bool convert(ColPlan &p, const char *text, Value *out, std::string *why);
  int32_t report(const Root &root, const char *kind);
  int32_t fetchWhole(const Root &root, LobBuffer *buf);
  int32_t repairBatch();
  int32_t removeExtra(const std::vector<Root> &roots);
  // Collects the system root ids that several rows of the user table share (a row copied with
  // its root id while its document was NULL, or a root id set by hand); a repair takes them
  // away from every such row.
  int32_t findShared(bool repair);

  KelCallContext *ctx_;
  char *msg_;
  KelColTarget target_;
  KelColumnDef def_;
  Source source_ = Source::Varchar;
  bool bitRoot_ = false;        // the root id is bit data (KELROOT_ID)
  std::string rootType_;        // its SQL type
  size_t rootRoom_ = 256;       // bytes of a root id fetched as text, with its zero byte
  std::string userTable_;       // "schema"."table"
  std::string dtd_;
  bool hasDtd_ = false;
  std::vector<SidePlan> sides_;
  std::set<std::string> shared_;  // root ids several rows share
  Stmt reportInsert_, docByRoot_;
  int reported_ = 0;
  // Documents waiting for repair: their root id and the rows of each side table.
  std::vector<std::pair<Root, std::vector<Rows>>> pending_;
  int64_t repairedDocs_ = 0;
  std::string repairedNames_;
  bool repairedFull_ = false;
};

quarn_hostvar Verifier::rootVar(const Root &root, std::vector<char> *storage, short *ind) {
  *ind = root.null ? -1 : 0;
  if (bitRoot_) {
    storage->assign(sizeof(sqluint32) + root.bytes.size() + 1, '\0');
    auto *lob = reinterpret_cast<quarn_lob *>(storage->data());
    lob->length = static_cast<sqluint32>(root.bytes.size());
    std::memcpy(lob->data, root.bytes.data(), root.bytes.size());
    return quarn_hostvar{SQL_TYP_BLOB, static_cast<sqlint32>(root.bytes.size()), storage->data(), ind};
  }
  storage->assign(root.bytes.begin(), root.bytes.end());
  storage->push_back('\0');
  return quarn_hostvar{SQL_TYP_CSTR, static_cast<sqlint32>(storage->size()), storage->data(), ind};
}

int32_t Verifier::setUp(bool repair) {
  // The document column's type: how the extract functions read it.
  char typeSchema[KEL_TABLE_SIZE], typeName[KEL_TABLE_SIZE];
  int32_t length = 0;
  int32_t rc = kelGetCatalogColumnType(ctx_, target_.schema.c_str(), target_.table.c_str(), target_.column.c_str(),
                                       typeSchema, sizeof typeSchema, typeName, sizeof typeName, &length, msg_);
  if (rc < 0) return rc;
  source_ = std::strcmp(typeName, "XMLCLOB") == 0 ? Source::Clob
            : std::strcmp(typeName, "XMLFILE") == 0 ? Source::File
                                                     : Source::Varchar;
  bitRoot_ = def_.systemRoot;
  if (bitRoot_) {
    rootType_ = KEL_ROOT_ID_DEF;
  } else {
    char rootTypeName[KEL_TABLE_SIZE] = "";
    sqlint32 len = 0, scale = 0;
    short inds[3] = {0, 0, 0};
    sqlca ca{};
    int code = kelColFetch(ctx_, "SELECT typename, length, scale FROM syscat.columns WHERE tabschema = ? AND "
                                 "tabname = ? AND colname = ?",
                           {def_.schema.c_str(), def_.table.c_str(), def_.rootId.c_str()},
                           {{SQL_TYP_CSTR, sizeof rootTypeName, rootTypeName, &inds[0]},
                            {SQL_TYP_INTEGER, 4, &len, &inds[1]},
                            {SQL_TYP_INTEGER, 4, &scale, &inds[2]}},
                           &ca);
    if (code < 0) return failSql(ca, "read the type of the root id " + def_.rootId);
    if (code == 100) return kelFail(ctx_, msg_, nullptr, KELQ066E, (def_.schema + "." + def_.table).c_str());
    rootType_ = kelColTypeDef(rtrimBlanks(rootTypeName), len, scale);
    // A character key is fetched whole (a cut one would name another document's rows).
    if (len > 0) rootRoom_ = std::max(rootRoom_, static_cast<size_t>(len) * 4 + 1);
  }
  kelAppendQuoted(ctx_, &userTable_, def_.schema);
  userTable_ += '.';
  kelAppendQuoted(ctx_, &userTable_, def_.table);
  if (!def_.dtdId.empty()) {
    rc = readDtd();
    if (rc < 0) return rc;
  }

  sqlca ca{};
  std::string root;
  kelAppendQuoted(ctx_, &root, def_.rootId);
  for (const KelSideTab &side : def_.sides) {
    SidePlan s;
    s.side = &side;
    std::string name;
    kelAppendQuoted(ctx_, &name, side.schema);
    name += '.';
    kelAppendQuoted(ctx_, &name, side.name);
    std::string columns = root + (side.multi ? ", KEL_SEQNO" : "");
    std::string values = "?" + std::string(side.multi ? ", ?" : "");
    for (const KelSideCol &col : side.columns) {
      ColPlan p;
      p.col = &col;
      planKind(&p, side.multi, source_);
      p.extractor = std::make_unique<KelExtractor>(ctx_);
      columns += ", ";
      kelAppendQuoted(ctx_, &columns, col.name);
      // Written back with the cast the trigger applies to the extract function's result.
      switch (p.kind) {
        case Kind::Double:
        case Kind::Float: values += ", CAST(CAST(? AS DOUBLE) AS " + col.type + ")"; break;
        case Kind::Real: values += ", CAST(CAST(? AS REAL) AS " + col.type + ")"; break;
        case Kind::Clob: values += ", CAST(? AS " + col.type + ")"; break;
        default: values += ", CAST(CAST(? AS VARCHAR(4000)) AS " + col.type + ")"; break;
      }
      if ((p.kind == Kind::Cast || p.kind == Kind::Float) &&
          prepare("VALUES CAST(CAST(? AS VARCHAR(4000)) AS " + col.type + ")", &p.cast, &ca) < 0)
        return failSql(ca, "prepare the cast to " + col.type);
      s.cols.push_back(std::move(p));
    }
    if (repair) {
      if (prepare("INSERT INTO " + name + " (" + columns + ") VALUES (" + values + ")", &s.insert, &ca) < 0 ||
          prepare("DELETE FROM " + name + " WHERE " + root + " = ?", &s.remove, &ca) < 0)
        return failSql(ca, "prepare the statements that repair " + side.schema + "." + side.name);
    }
    sides_.push_back(std::move(s));
  }
  std::string column;
  kelAppendQuoted(ctx_, &column, def_.column);
  if (prepare("SELECT " + column + " FROM " + userTable_ + " WHERE " + root + " = ?", &docByRoot_, &ca) < 0)
    return failSql(ca, "prepare the query of one document");
  return 0;
}

int32_t Verifier::readDtd() {
  sqlca ca{};
  Stmt stmt;
  if (prepare("SELECT CONTENT FROM QUARNXML.DTD_REF WHERE DTDID = ?", &stmt, &ca) < 0)
    return failSql(ca, "read the DTD " + def_.dtdId);
  quarn_hostvar in{SQL_TYP_CSTR, static_cast<sqlint32>(def_.dtdId.size() + 1), const_cast<char *>(def_.dtdId.c_str()),
                   nullptr};
  for (size_t room = kFirstDocBytes;; room *= 4) {
    LobBuffer buf(room);
    short ind = 0;
    quarn_hostvar out{SQL_TYP_CLOB, static_cast<sqlint32>(room), buf.lob(), &ind};
    int code = quarn_open(stmt.get(), 1, &in, &ca);
    if (code >= 0) code = quarn_fetch(stmt.get(), 1, &out, &ca);
    sqlca closeCa{};
    quarn_close(stmt.get(), &closeCa);
    if (code < 0) return failSql(ca, "read the DTD " + def_.dtdId);
    if (code == 100 || ind < 0) return kelFail(ctx_, msg_, nullptr, KELA010E, def_.dtdId.c_str());
    if (ind == 0) {
      dtd_ = buf.value();
      hasDtd_ = true;
      return 0;
    }
  }
}

int32_t Verifier::declareReport() {
  sqlca ca{};
  std::string sql = "DECLARE GLOBAL TEMPORARY TABLE SESSION.KEL_VERIFY (ROOT_ID " + rootType_ +
                    ", KIND VARCHAR(10) NOT NULL) WITH REPLACE ON COMMIT PRESERVE ROWS NOT LOGGED";
  if (kelColExec(ctx_, sql, &ca) < 0) return failSql(ca, "declare SESSION.KEL_VERIFY");
  if (prepare("INSERT INTO SESSION.KEL_VERIFY (ROOT_ID, KIND) VALUES (?, ?)", &reportInsert_, &ca) < 0)
    return failSql(ca, "prepare the insert into SESSION.KEL_VERIFY");
  return 0;
}

int32_t Verifier::report(const Root &root, const char *kind) {
  if (reported_ >= KEL_VERIFY_REPORT_ROWS) return 0;
  ++reported_;
  std::vector<char> storage;
  short ind = 0;
  quarn_hostvar in[2] = {rootVar(root, &storage, &ind),
                         {SQL_TYP_CSTR, static_cast<sqlint32>(std::strlen(kind) + 1), const_cast<char *>(kind), nullptr}};
  sqlca ca{};
  if (quarn_execute(reportInsert_.get(), 2, in, &ca) < 0) return failSql(ca, "insert into SESSION.KEL_VERIFY");
  return 0;
}

int32_t Verifier::loadSide(SidePlan &s) {
  std::string sql = "SELECT ";
  kelAppendQuoted(ctx_, &sql, def_.rootId);
  if (s.side->multi) sql += ", KEL_SEQNO";
  for (const ColPlan &p : s.cols) {
    sql += ", ";
    kelAppendQuoted(ctx_, &sql, p.col->name);
  }
  sql += " FROM ";
  kelAppendQuoted(ctx_, &sql, s.side->schema);
  sql += '.';
  kelAppendQuoted(ctx_, &sql, s.side->name);
  sqlca ca{};
  Stmt stmt;
  if (prepare(sql, &stmt, &ca) < 0 || quarn_open(stmt.get(), 0, nullptr, &ca) < 0)
    return failSql(ca, "read the side table " + s.side->schema + "." + s.side->name);
  // Host variables: the root id, KEL_SEQNO, then one per column by its kind.
  LobBuffer rootBuf(256);
  std::vector<char> rootText(rootRoom_);
  short rootInd = 0, seqInd = 0;
  sqlint32 seq = 0;
  std::vector<quarn_hostvar> out;
  out.push_back(bitRoot_ ? quarn_hostvar{SQL_TYP_BLOB, 255, rootBuf.lob(), &rootInd}
                         : quarn_hostvar{SQL_TYP_CSTR, static_cast<sqlint32>(rootRoom_), rootText.data(), &rootInd});
  if (s.side->multi) out.push_back({SQL_TYP_INTEGER, 4, &seq, &seqInd});
  std::vector<std::unique_ptr<LobBuffer>> lobs;
  std::vector<std::vector<char>> texts(s.cols.size());
  std::vector<double> nums(s.cols.size());
  std::vector<short> inds(s.cols.size());
  for (size_t c = 0; c < s.cols.size(); ++c) {
    const ColPlan &p = s.cols[c];
    switch (p.kind) {
      case Kind::Double:
      case Kind::Real:
      case Kind::Float: out.push_back({SQL_TYP_FLOAT, 8, &nums[c], &inds[c]}); break;
      case Kind::Clob: {
        size_t room = std::min(p.textBytes, kMaxClobBytes);
        lobs.push_back(std::make_unique<LobBuffer>(room));
        out.push_back({SQL_TYP_CLOB, static_cast<sqlint32>(room), lobs.back()->lob(), &inds[c]});
        texts[c].clear();
        break;
      }
      default: {
        size_t room = (p.kind == Kind::Text ? p.textBytes * 4 : 0) + kCastTextBytes;
        texts[c].assign(room, '\0');
        out.push_back({SQL_TYP_CSTR, static_cast<sqlint32>(room), texts[c].data(), &inds[c]});
        break;
      }
    }
  }
  for (;;) {
    int code = quarn_fetch(stmt.get(), static_cast<int>(out.size()), out.data(), &ca);
    if (code == 100) break;
    if (code < 0) return failSql(ca, "read the side table " + s.side->schema + "." + s.side->name);
    Row row;
    row.seq = s.side->multi && seqInd == 0 ? seq : 0;
    size_t lob = 0;
    for (size_t c = 0; c < s.cols.size(); ++c) {
      Value v;
      v.null = inds[c] < 0;
      const ColPlan &p = s.cols[c];
      if (p.kind == Kind::Clob) {
        if (!v.null) v.text = lobs[lob]->value();
        ++lob;
      } else if (p.kind == Kind::Double || p.kind == Kind::Real || p.kind == Kind::Float) {
        v.num = nums[c];
      } else if (!v.null) {
        v.text = texts[c].data();
      }
      row.values.push_back(std::move(v));
    }
    // The root-id column of a side table is NOT NULL.
    s.stored[bitRoot_ ? rootBuf.value() : std::string(rootText.data())].push_back(std::move(row));
  }
  KEL_TRACE(ctx_, "side table %s.%s: %zu root ids\n", s.side->schema.c_str(), s.side->name.c_str(), s.stored.size());
  return 0;
}

bool Verifier::convert(ColPlan &p, const char *text, Value *out, std::string *why) {
  out->null = true;
  if (text == nullptr || *text == '\0') return true;
  switch (p.kind) {
    case Kind::Text:
      out->null = false;
      out->text = cutBytes(cutBytes(text, kVarcharLimit), p.textBytes);
      return true;
    case Kind::Clob:
      out->null = false;
      out->text = p.textBytes > 0 ? cutBytes(text, p.textBytes) : std::string(text);
      return true;
    case Kind::Double:
    case Kind::Real: {
      int status = 0;
      double d = kelatof(text, &status);
      if (status != 0) return true;  // not a number: the extract function gives NULL
      float real = 0;
      if (p.kind == Kind::Real && !kelDoubleToReal(d, &real)) return true;  // beyond REAL: NULL
      out->null = false;
      out->num = p.kind == Kind::Real ? static_cast<double>(real) : d;
      return true;
    }
    case Kind::Cast:
    case Kind::Float: {
      std::string value = cutBytes(text, kVarcharLimit);
      if (auto hit = p.castCache.find(value); hit != p.castCache.end()) {
        *out = hit->second;
        return true;
      }
      quarn_hostvar in{SQL_TYP_CSTR, static_cast<sqlint32>(value.size() + 1), const_cast<char *>(value.c_str()), nullptr};
      char result[kCastTextBytes] = "";
      double number = 0;
      short ind = 0;
      quarn_hostvar res = p.kind == Kind::Float ? quarn_hostvar{SQL_TYP_FLOAT, 8, &number, &ind}
                                                : quarn_hostvar{SQL_TYP_CSTR, sizeof result, result, &ind};
      sqlca ca{};
      int code = quarn_open(p.cast.get(), 1, &in, &ca);
      if (code >= 0) code = quarn_fetch(p.cast.get(), 1, &res, &ca);
      sqlca closeCa{};
      quarn_close(p.cast.get(), &closeCa);
      if (code < 0 || code == 100) {
        *why = "the value of " + p.col->name + " does not convert to " + p.col->type;
        return false;
      }
      out->null = ind < 0;
      if (!out->null && p.kind == Kind::Float) out->num = number;
      else if (!out->null) out->text = result;
      if (p.castCache.size() < kCastCacheEntries) p.castCache.emplace(std::move(value), *out);
      return true;
    }
  }
  return true;
}

bool Verifier::expectedRows(SidePlan &s, const char *doc, size_t docLen, Rows *out, std::string *why) {
  out->clear();
  const char *dtd = hasDtd_ ? dtd_.c_str() : nullptr;
  const int cpFlag = source_ == Source::File ? 0 : 1;
  const int inMemory = source_ == Source::File ? KEL_DOC_SERVER_FILE : KEL_DOC_IN_MEMORY;
  char state[6] = "00000";
  char msg[KEL_MSG_BUFFER + 1] = "";
  if (!s.side->multi) {
    Row row;
    for (ColPlan &p : s.cols) {
      char *value = nullptr;
      std::memcpy(state, "00000", sizeof state);
      // The XMLCLOB functions read every byte of the value; the others read up to a zero byte.
      size_t length = source_ == Source::Clob ? docLen : KEL_DOC_TERMINATED;
      int rc = extractOne(p.extractor.get(), ctx_, doc, dtd, cpFlag, inMemory, p.tagged ? 1 : 0,
                          p.col->path.c_str(), &value, p.limit, state, msg, length);
      std::unique_ptr<char, decltype(&std::free)> owned(value, &std::free);
      // Nothing selected or an empty value: NULL, as the function returns; any other failure
      // fails the trigger's statement.
      if (rc < 0 && std::strncmp(state, "00", 2) != 0 && std::strncmp(state, "01", 2) != 0) {
        *why = msg;
        return false;
      }
      Value v;
      if (!convert(p, rc == 0 ? value : nullptr, &v, why)) return false;
      row.values.push_back(std::move(v));
    }
    out->push_back(std::move(row));
    return true;
  }
  ColPlan &p = s.cols.front();
  KelExtractResult result{nullptr, nullptr, "00000", msg};
  int rc = source_ == Source::Clob
               ? p.extractor->runBuffer(doc, docLen, dtd, cpFlag, p.tagged ? 1 : 0, p.col->path.c_str(), &result,
                                        p.limit, state, msg)
               : p.extractor->run(doc, dtd, cpFlag, inMemory, p.tagged ? 1 : 0, p.col->path.c_str(), &result,
                                  p.limit, state, msg);
  std::unique_ptr<KelExtractResult, void (*)(KelExtractResult *)> guard(&result, kelFreeExtractResult);
  if (rc < 0) {
    *why = msg;
    return false;
  }
  int32_t seq = 0;
  for (char **item = result.items; item != nullptr && *item != nullptr; ++item) {
    Row row;
    row.seq = ++seq;
    Value v;
    if (!convert(p, *item, &v, why)) return false;
    row.values.push_back(std::move(v));
    out->push_back(std::move(row));
  }
  return true;
}

int32_t Verifier::fetchWhole(const Root &root, LobBuffer *buf) {
  std::vector<char> storage;
  short rootInd = 0;
  quarn_hostvar in = rootVar(root, &storage, &rootInd);
  for (size_t room = kFirstDocBytes * 4;; room *= 4) {
    *buf = LobBuffer(room);
    short ind = 0;
    quarn_hostvar out{SQL_TYP_CLOB, static_cast<sqlint32>(std::min<size_t>(room, 0x7FFFFFF0)), buf->lob(), &ind};
    sqlca ca{};
    int code = quarn_open(docByRoot_.get(), 1, &in, &ca);
    if (code >= 0) code = quarn_fetch(docByRoot_.get(), 1, &out, &ca);
    sqlca closeCa{};
    quarn_close(docByRoot_.get(), &closeCa);
    if (code < 0) return failSql(ca, "read a document of " + def_.column);
    if (code == 100 || ind <= 0 || room >= 0x7FFFFFF0) return 0;
  }
}

int32_t Verifier::repairBatch() {
  if (pending_.empty()) return 0;
  sqlca ca{};
  for (auto &[root, rowsBySide] : pending_) {
    std::vector<char> rootStorage;
    short rootInd = 0;
    quarn_hostvar rootIn = rootVar(root, &rootStorage, &rootInd);
    for (size_t k = 0; k < sides_.size(); ++k) {
      SidePlan &s = sides_[k];
      int code = quarn_execute(s.remove.get(), 1, &rootIn, &ca);
      if (code < 0) return failSql(ca, "delete from " + s.side->name);
      for (const Row &row : rowsBySide[k]) {
        std::vector<quarn_hostvar> in{rootIn};
        sqlint32 seq = row.seq;
        if (s.side->multi) in.push_back({SQL_TYP_INTEGER, 4, &seq, nullptr});
        std::vector<short> inds(row.values.size());
        std::vector<std::unique_ptr<LobBuffer>> lobs;
        std::vector<double> nums(row.values.size());
        for (size_t c = 0; c < row.values.size(); ++c) {
          const Value &v = row.values[c];
          inds[c] = v.null ? -1 : 0;
          switch (s.cols[c].kind) {
            case Kind::Double:
            case Kind::Real:
            case Kind::Float:
              nums[c] = v.num;
              in.push_back({SQL_TYP_FLOAT, 8, &nums[c], &inds[c]});
              break;
            case Kind::Clob:
              lobs.push_back(std::make_unique<LobBuffer>(v.text.size()));
              lobs.back()->lob()->length = static_cast<sqluint32>(v.text.size());
              std::memcpy(lobs.back()->lob()->data, v.text.data(), v.text.size());
              in.push_back({SQL_TYP_CLOB, static_cast<sqlint32>(v.text.size()), lobs.back()->lob(), &inds[c]});
              break;
            default:
              in.push_back({SQL_TYP_CSTR, static_cast<sqlint32>(v.text.size() + 1), const_cast<char *>(v.text.c_str()),
                            &inds[c]});
              break;
          }
        }
        code = quarn_execute(s.insert.get(), static_cast<int>(in.size()), in.data(), &ca);
        if (code < 0) return failSql(ca, "insert into " + s.side->name);
      }
    }
    ++repairedDocs_;
    addName(&repairedNames_, &repairedFull_, rootName(root, bitRoot_));
  }
  pending_.clear();
  return 0;
}

int32_t Verifier::removeExtra(const std::vector<Root> &roots) {
  sqlca ca{};
  for (const Root &root : roots) {
    std::vector<char> storage;
    short ind = 0;
    quarn_hostvar in = rootVar(root, &storage, &ind);
    for (SidePlan &s : sides_) {
      if (s.stored.count(root.bytes) == 0) continue;
      if (quarn_execute(s.remove.get(), 1, &in, &ca) < 0) return failSql(ca, "delete from " + s.side->name);
    }
  }
  return 0;
}

int32_t Verifier::findShared(bool repair) {
  std::string sql;
  if (!kelSharedRootIdsStmt(ctx_, def_, &sql)) return KEL_INTERNAL_ERROR(ctx_, msg_, nullptr);
  sqlca ca{};
  Stmt find;
  if (prepare(sql, &find, &ca) < 0 || quarn_open(find.get(), 0, nullptr, &ca) < 0)
    return failSql(ca, "look for root ids that several rows share");
  LobBuffer rootBuf(256);
  short ind = 0;
  for (;;) {
    quarn_hostvar out{SQL_TYP_BLOB, 255, rootBuf.lob(), &ind};
    int code = quarn_fetch(find.get(), 1, &out, &ca);
    if (code == 100) break;
    if (code < 0) return failSql(ca, "look for root ids that several rows share");
    shared_.insert(rootBuf.value());
    Root root;
    root.bytes = rootBuf.value();
    KEL_TRACE(ctx_, "root id %s is shared by several rows\n", rootName(root, bitRoot_).c_str());
  }
  if (!repair || shared_.empty()) return 0;
  // Every row with a shared root id loses it; the documents among them then get new ones. With
  // the triggers in place, the T trigger gives them at once and the U trigger writes their rows.
  if (!kelSharedRootIdClearStmt(ctx_, def_, &sql)) return KEL_INTERNAL_ERROR(ctx_, msg_, nullptr);
  if (kelColExec(ctx_, sql, &ca) < 0) return failSql(ca, "take the shared root ids away");
  return 0;
}

int32_t Verifier::run(const char *tableName, const char *columnName, bool repair, KelVerifyCounts *counts,
                      const KelVerifyProgress &progress) {
  int32_t rc = kelColOpenEnabled(ctx_, tableName, columnName, &target_, &def_, msg_);
  if (rc < 0) return rc;
  KEL_TRACE(ctx_, "verify %s.%s column %s, root id %s, repair %d\n", def_.schema.c_str(), def_.table.c_str(),
            def_.column.c_str(), def_.rootId.c_str(), repair ? 1 : 0);
  if ((rc = setUp(repair)) < 0) return rc;
  if ((rc = declareReport()) < 0) return rc;
  sqlca ca{};
  // A repair is all or nothing: every change it makes runs inside one savepoint, undone by any
  // failure (the savepoint's destructor on every early return) and kept only at the end.
  KelCallSavepoint savepoint(ctx_);
  if (repair && savepoint.begin(&ca) < 0) return failSql(ca, "set the savepoint of the repair");
  // The side tables are read before the repair changes any root id, so that a repair counts
  // what a verification counts whether or not the column's triggers are there to act on it.
  for (SidePlan &s : sides_)
    if ((rc = loadSide(s)) < 0) return rc;
  if (def_.systemRoot) {
    if ((rc = findShared(repair)) < 0) return rc;
    if (repair) {
      // Documents stored while no trigger gave them a root id get theirs, as the triggers would;
      // so do the documents whose shared root id was just taken away.
      std::string sql;
      if (!kelRootIdFillStmt(ctx_, def_, &sql)) return KEL_INTERNAL_ERROR(ctx_, msg_, nullptr);
      if (kelColExec(ctx_, sql, &ca) < 0) return failSql(ca, "give documents their root ids");
    }
  }

  std::string column;
  kelAppendQuoted(ctx_, &column, def_.column);
  std::string rootCol;
  kelAppendQuoted(ctx_, &rootCol, def_.rootId);
  Stmt docs;
  if (prepare("SELECT " + rootCol + ", " + column + " FROM " + userTable_ + " WHERE " + column + " IS NOT NULL",
              &docs, &ca) < 0 ||
      quarn_open(docs.get(), 0, nullptr, &ca) < 0)
    return failSql(ca, "read the documents of " + def_.column);
  LobBuffer rootBuf(256);
  std::vector<char> rootText(rootRoom_);
  short rootInd = 0, docInd = 0;
  LobBuffer doc(kFirstDocBytes);
  std::string unreadableNames;
  bool unreadableFull = false;
  for (;;) {
    quarn_hostvar out[2] = {bitRoot_ ? quarn_hostvar{SQL_TYP_BLOB, 255, rootBuf.lob(), &rootInd}
                                     : quarn_hostvar{SQL_TYP_CSTR, static_cast<sqlint32>(rootRoom_), rootText.data(), &rootInd},
                            {SQL_TYP_CLOB, static_cast<sqlint32>(doc.room()), doc.lob(), &docInd}};
    int code = quarn_fetch(docs.get(), 2, out, &ca);
    if (code == 100) break;
    if (code < 0) return failSql(ca, "read the documents of " + def_.column);
    Root root;
    root.null = rootInd < 0;
    if (!root.null) root.bytes = bitRoot_ ? rootBuf.value() : std::string(rootText.data());
    ++counts->documents;
    if (progress && counts->documents % KEL_VERIFY_PROGRESS_EVERY == 0) progress(counts->documents);
    if (root.null || shared_.count(root.bytes) != 0) {
      // Stored while no trigger gave it a root id, or with a root id another row has too:
      // no side row is its own. The shared root id's rows are left to count as extra.
      ++counts->missing;
      if ((rc = report(root, "MISSING")) < 0) return rc;
      continue;
    }
    LobBuffer *text = &doc;
    LobBuffer whole(0);  // sized by fetchWhole
    if (docInd > 0) {
      // Longer than the buffer: read again whole.
      if ((rc = fetchWhole(root, &whole)) < 0) return rc;
      text = &whole;
    }
    size_t docLen = text->lob()->length;
    text->lob()->data[docLen] = '\0';
    std::vector<Rows> expected(sides_.size());
    bool readable = true, missing = false, different = false;
    std::string why;
    for (size_t k = 0; k < sides_.size() && readable; ++k)
      readable = expectedRows(sides_[k], text->lob()->data, docLen, &expected[k], &why);
    for (size_t k = 0; k < sides_.size(); ++k) {
      auto it = sides_[k].stored.find(root.bytes);
      Rows stored;
      if (it != sides_[k].stored.end()) {
        stored = std::move(it->second);
        sides_[k].stored.erase(it);
      }
      if (!readable) continue;
      if (stored.empty() && !expected[k].empty()) missing = true;
      else if (!sameRows(sides_[k], expected[k], std::move(stored))) different = true;
    }
    if (!readable) {
      KEL_TRACE(ctx_, "document %s cannot be read: %s\n", rootName(root, bitRoot_).c_str(), why.c_str());
      ++counts->unreadable;
      addName(&unreadableNames, &unreadableFull, rootName(root, bitRoot_));
      if ((rc = report(root, "UNREADABLE")) < 0) return rc;
      continue;
    }
    if (!missing && !different) continue;
    if (missing) ++counts->missing;
    else ++counts->different;
    if ((rc = report(root, missing ? "MISSING" : "DIFFERENT")) < 0) return rc;
    if (repair) {
      pending_.emplace_back(root, std::move(expected));
      if (pending_.size() >= static_cast<size_t>(KEL_VERIFY_BATCH) && (rc = repairBatch()) < 0) return rc;
    }
  }
  if (repair && (rc = repairBatch()) < 0) return rc;

  // Side rows whose root id has no document.
  std::vector<Root> extraRoots;
  std::unordered_map<std::string, bool> seen;
  for (SidePlan &s : sides_)
    for (auto &[key, rows] : s.stored) {
      counts->extra += static_cast<int32_t>(rows.size());
      if (seen.emplace(key, true).second) {
        Root root;
        root.bytes = key;
        extraRoots.push_back(root);
        if ((rc = report(root, "EXTRA")) < 0) return rc;
      }
    }
  if (repair && (rc = removeExtra(extraRoots)) < 0) return rc;

  const std::string documents = std::to_string(counts->documents);
  const std::string missing = std::to_string(counts->missing), extra = std::to_string(counts->extra),
                    different = std::to_string(counts->different);
  KEL_TRACE(ctx_, "documents %s, missing %s, extra %s, different %s, unreadable %d\n", documents.c_str(),
            missing.c_str(), extra.c_str(), different.c_str(), counts->unreadable);
  int answer = 0;
  if (counts->unreadable > 0) {
    std::string n = std::to_string(counts->unreadable);
    kelSetMessage(ctx_, msg_, answer = KELA081W, n.c_str(), def_.column.c_str(), unreadableNames.c_str());
  } else if (counts->missing == 0 && counts->extra == 0 && counts->different == 0) {
    kelSetMessage(ctx_, msg_, answer = KELA078I, def_.column.c_str(), documents.c_str());
  } else if (!repair) {
    kelSetMessage(ctx_, msg_, answer = KELA079W, def_.column.c_str(), missing.c_str(), extra.c_str(),
                  different.c_str());
  } else {
    std::string names = repairedNames_;
    for (const Root &r : extraRoots) addName(&names, &repairedFull_, rootName(r, bitRoot_));
    kelSetMessage(ctx_, msg_, answer = KELA080I, def_.column.c_str(), missing.c_str(), extra.c_str(),
                  different.c_str(), names.c_str());
  }
  return savepoint.finish(kelMessageState(answer, nullptr));
}

}  // namespace

int32_t kelVerifyColumnMain(KelCallContext *ctx, const char *tableName, const char *columnName,
                            const int32_t *repair, KelVerifyCounts *counts, const KelVerifyProgress &progress,
                            char *msg) {
  msg[0] = '\0';
  *counts = KelVerifyCounts{};
  if (tableName == nullptr || columnName == nullptr || repair == nullptr) return kelFail(ctx, msg, nullptr, KELG004E);
  if (*repair != 0 && *repair != 1) {
    std::string shown = std::to_string(*repair);
    return kelFail(ctx, msg, nullptr, KELA077E, shown.c_str());
  }
  KEL_TRACE(ctx, "entered. table:%s, column:%s, repair:%d\n", tableName, columnName, *repair);
  Verifier verifier(ctx, msg);
  return verifier.run(tableName, columnName, *repair == 1, counts, progress);
}

// ---- The procedures ----------------------------------------------------------------------------

namespace {

constexpr KelParamSpec kParams[] = {
    {"tableName", KelParamKind::String, KelParamMode::In, false, 0},
    {"columnName", KelParamKind::String, KelParamMode::In, false, 0},
    {"repair", KelParamKind::Integer, KelParamMode::In, false, 0},
    {"missingRoots", KelParamKind::Integer, KelParamMode::Out, false, 0},
    {"extraRows", KelParamKind::Integer, KelParamMode::Out, false, 0},
    {"differentRoots", KelParamKind::Integer, KelParamMode::Out, false, 0},
    {"returnCode", KelParamKind::ReturnCode, KelParamMode::Out, false, 0},
    {"returnMsg", KelParamKind::ReturnMsg, KelParamMode::Out, false, KEL_MSG_BUFFER},
};
constexpr KelProcLayout kLayout[] = {{kParams, 8}};

int32_t verifyWorker(KelProcCall &call) {
  const KelArg *a = call.args;
  KelVerifyCounts counts;
  const int32_t repair = a[2].num;
  int32_t rc = kelVerifyColumnMain(call.ctx, a[0].isNull ? nullptr : a[0].data, a[1].isNull ? nullptr : a[1].data,
                                   a[2].isNull ? nullptr : &repair, &counts, nullptr, call.msg);
  call.args[3].outNum = counts.missing;
  call.args[4].outNum = counts.extra;
  call.args[5].outNum = counts.different;
  return rc;
}

}  // namespace

const KelProcSpec kelVerifyColumnSpec = {"kelVerifyColumn", kLayout, 1, verifyWorker};
const KelProcSpec kelVerifyColumnStpSpec = {"kelVerifyColumn_STP", kLayout, 1, verifyWorker};

extern "C" SQL_API_EXPORT int kelVerifyColumn(void *, void *, struct sqlda *da, struct sqlca *ca) {
  return kelDariFrame(kelVerifyColumnSpec, da, ca);
}

extern "C" SQL_API_EXPORT int kelVerifyColumn_STP(char *tableName, char *columnName, sqlint32 *repair,
                                                  sqlint32 *missingRoots, sqlint32 *extraRows,
                                                  sqlint32 *differentRoots, sqlint32 *returnCode, char *returnMsg,
                                                  short *tableNameInd, short *columnNameInd, short *repairInd,
                                                  short *missingRootsInd, short *extraRowsInd,
                                                  short *differentRootsInd, short *returnCodeInd,
                                                  short *returnMsgInd, char *sqlstate, char *procName,
                                                  char *specName, char *diagMsg) {
  void *values[] = {tableName, columnName, repair, missingRoots, extraRows, differentRoots, returnCode, returnMsg};
  short *inds[] = {tableNameInd,      columnNameInd,     repairInd,     missingRootsInd,
                   extraRowsInd,      differentRootsInd, returnCodeInd, returnMsgInd};
  return kelSqlFrame(kelVerifyColumnStpSpec, values, inds, sqlstate, procName, specName, diagMsg);
}
