/*
 * kelcolstmt.cpp - the SQL texts of an XML column (see kelcolstmt.h).  The texts follow the
 * forms the column's catalogue has always shown, with every name delimited and qualified and
 * every literal quoted.
 */
#include "kelcolstmt.h"

#include <strings.h>

#include "kelrel.h"

namespace {

// True when type begins with prefix, compared without case.
bool typeIs(const std::string &type, const char *prefix) {
  return strncasecmp(type.c_str(), prefix, std::char_traits<char>::length(prefix)) == 0;
}

// A statement under construction: text and quoted names, and whether every name could be
// written.
class Text {
 public:
  explicit Text(KelCallContext *ctx) : ctx_(ctx) {}
  Text &operator<<(std::string_view s) {
    text_.append(s);
    return *this;
  }
  Text &operator<<(char c) {
    text_.push_back(c);
    return *this;
  }
  // A delimited identifier.
  Text &id(const std::string &name) {
    ok_ = kelAppendQuoted(ctx_, &text_, name) && ok_;
    return *this;
  }
  // schema.name, both delimited.
  Text &qualified(const std::string &schema, const std::string &name) {
    id(schema);
    text_.push_back('.');
    return id(name);
  }
  // A string literal.
  Text &literal(std::string_view value) {
    kelAppendLiteral(&text_, value);
    return *this;
  }
  bool done(std::string *out) {
    if (ok_) *out = std::move(text_);
    return ok_;
  }

 private:
  KelCallContext *ctx_;
  std::string text_;
  bool ok_ = true;
};

// Which extract function fills a column: by the first letters of its type.
enum class Extract { Varchar, Clob, Double, Real };

Extract extractOf(const std::string &type) {
  if (typeIs(type, "clob")) return Extract::Clob;
  if (typeIs(type, "double")) return Extract::Double;
  if (typeIs(type, "real")) return Extract::Real;
  return Extract::Varchar;
}

// ", CAST(QUARNXML.EXTRACT<type>[WDTD](": the opening of a single-value side column's extraction;
// the caller writes the document, the path and ") AS <type>".
Text &scalarExtract(Text &t, const KelSideCol &c, bool dtd) {
  switch (extractOf(c.type)) {
    case Extract::Clob: t << ", CAST(QUARNXML.EXTRACTCLOB"; break;
    case Extract::Double: t << ", CAST(QUARNXML.EXTRACTDOUBLE"; break;
    case Extract::Real: t << ", CAST(QUARNXML.EXTRACTREAL"; break;
    case Extract::Varchar: t << ", CAST(QUARNXML.EXTRACTVARCHAR"; break;
  }
  return t << (dtd ? "WDTD(" : "(");
}

Text &side(Text &t, const KelSideTab &s) { return t.qualified(s.schema, s.name); }
Text &userTable(Text &t, const KelColumnDef &def) { return t.qualified(def.schema, def.table); }

// "DELETE FROM side WHERE oldrow.R = side.R; "
void deleteStmt(Text &t, const KelColumnDef &def, const KelSideTab &s) {
  t << "DELETE FROM ";
  side(t, s) << " WHERE oldrow.";
  t.id(def.rootId) << " = ";
  side(t, s) << '.';
  t.id(def.rootId) << "; ";
}

// The insert of one document's values into a side table: the J form, or the U form (update
// spacing, and guarded so that a document set to NULL leaves no row behind).
void insertStmt(Text &t, const KelColumnDef &def, const KelSideTab &s, bool inUpdate) {
  const bool dtd = !def.dtdId.empty();
  auto guard = [&] {
    if (!inUpdate) return;
    t << " WHERE NEWROW.";
    t.id(def.column) << " IS NOT NULL";
  };
  if (!s.multi) {
    t << " INSERT INTO ";
    side(t, s) << " (";
    t.id(def.rootId);
    for (const KelSideCol &c : s.columns) {
      t << ',';
      t.id(c.name);
    }
    t << ") ";
    // VALUES cannot be guarded: in the U trigger the same row is a SELECT over one row.
    const bool select = dtd || inUpdate;
    t << (select ? " SELECT NEWROW." : " VALUES ( NEWROW.");
    t.id(def.rootId);
    for (const KelSideCol &c : s.columns) {
      scalarExtract(t, c, dtd) << "NEWROW.";
      t.id(def.column) << ", ";
      if (dtd) t << "content, ";
      t.literal(c.path) << ") AS " << c.type << ") ";
    }
    if (dtd) {
      t << " FROM (SELECT CONTENT FROM QUARNXML.DTD_REF WHERE DTDID=";
      t.literal(def.dtdId) << ") AS x";
      guard();
      t << (inUpdate ? "; " : " ;");
    } else if (inUpdate) {
      t << " FROM (VALUES (1)) AS x";
      guard();
      t << "; ";
    } else {
      t << ");";
    }
    return;
  }
  const KelSideCol &c = s.columns.front();
  const Extract kind = extractOf(c.type);
  t << " INSERT INTO ";
  side(t, s) << " SELECT NEWROW.";
  t.id(def.rootId) << ", quarnxml.seqno()";
  switch (kind) {
    case Extract::Clob: t << " ,returnedclob "; break;
    case Extract::Double: t << " ,returneddouble "; break;
    case Extract::Real: t << " ,returnedreal "; break;
    case Extract::Varchar: t << ", CAST(returnedVarchar as " << c.type << ")"; break;
  }
  if (dtd) {
    t << "  FROM (SELECT content FROM quarnxml.dtd_ref WHERE dtdid=";
    t.literal(def.dtdId) << ") Y ,";
    switch (kind) {
      case Extract::Clob: t << "  table(quarnxml.extractclobsWDTD"; break;
      case Extract::Double: t << "  table(quarnxml.extractdoublesWDTD"; break;
      case Extract::Real: t << "  table(quarnxml.extractrealsWDTD"; break;
      case Extract::Varchar: t << " table(quarnxml.extractvarcharsDTD"; break;
    }
    t << "(NEWROW.";
    t.id(def.column) << ",  Y.content, ";
  } else {
    t << "  FROM ";
    switch (kind) {
      case Extract::Clob: t << "  table(quarnxml.extractclobs"; break;
      case Extract::Double: t << "  table(quarnxml.extractdoubles"; break;
      case Extract::Real: t << "  table(quarnxml.extractreals"; break;
      case Extract::Varchar: t << " table(quarnxml.extractvarchars"; break;
    }
    t << "(NEWROW.";
    t.id(def.column) << ", ";
  }
  t.literal(c.path) << (inUpdate ? "))  x" : ")) x");
  guard();
  t << "; ";
}

// "CREATE TRIGGER schema.Xsuffix "
void createTrigger(Text &t, const KelColumnDef &def, char kind) {
  t << "CREATE TRIGGER ";
  t.qualified(def.schema, std::string(1, kind) + def.suffix) << ' ';
}

// "row.C IS NOT NULL AND 0 = <C validated as the column validates>": true for a document the
// column's validation refuses (the function itself fails on most of them).  A NULL document is
// no document to validate: it passes.  row: NEWROW in a trigger, KELDOC over the stored rows.
void refusedDocument(Text &t, const KelColumnDef &def, const char *row) {
  t << row << '.';
  t.id(def.column) << " IS NOT NULL AND ";
  switch (def.validation) {
    case KelColValidation::Dtd:
      t << "0 = (SELECT quarnxml.validate(" << row << '.';
      t.id(def.column) << ", QUARNXML.DTD_REF.CONTENT, ";
      t.literal(def.dtdId) << ") FROM quarnxml.dtd_ref WHERE dtdid=";
      t.literal(def.dtdId) << ')';
      break;
    case KelColValidation::Schema:
      t << "0 = (VALUES quarnxml.validateschema(" << row << '.';
      t.id(def.column) << ", ";
      t.literal(def.schemaLocation) << ") )";
      break;
    default:
      t << "0 = quarnxml.validate(" << row << '.';
      t.id(def.column) << ", '', '')";
      break;
  }
}

// The WHEN condition and SIGNAL of a validation trigger, from " WHEN" on.
void validation(Text &t, const KelColumnDef &def, bool update, const std::string &signalText) {
  t << " WHEN (";
  refusedDocument(t, def, "NEWROW");
  if (def.validation == KelColValidation::Dtd || def.validation == KelColValidation::Schema)
    t << (update ? ") " : ")");
  else
    t << " ) ";
  t << "SIGNAL SQLSTATE '38X14' (";
  t.literal(signalText) << ')';
}

}  // namespace

void kelAppendLiteral(std::string *out, std::string_view text) {
  out->push_back('\'');
  for (char c : text) {
    out->push_back(c);
    if (c == '\'') out->push_back('\'');
  }
  out->push_back('\'');
}

bool kelSideTableStmt(KelCallContext *ctx, const KelColumnDef &def, const KelSideTab &s,
                      const std::string &tableSpace, std::string *out) {
  Text t(ctx);
  t << "CREATE TABLE ";
  side(t, s) << " (";
  t.id(def.rootId) << ' ' << def.rootDef << " NOT NULL, ";
  if (s.multi) t << "KEL_SEQNO integer, ";
  for (size_t i = 0; i < s.columns.size(); ++i) {
    if (i > 0) t << ',';
    t.id(s.columns[i].name) << ' ' << s.columns[i].type;
    if (typeIs(s.columns[i].type, "clob")) t << " not logged";
  }
  t << ')';
  if (!tableSpace.empty()) {
    t << " IN ";
    t.id(tableSpace);
  }
  return t.done(out);
}

bool kelTriggerName(KelCallContext *ctx, const KelColumnDef &def, char kind, std::string *out) {
  Text t(ctx);
  t.qualified(def.schema, std::string(1, kind) + def.suffix);
  return t.done(out);
}

std::string kelTriggerKinds(const KelColumnDef &def) {
  std::string kinds = def.systemRoot ? "HJDTU" : "JDU";
  if (def.validation != KelColValidation::None) kinds += "VW";
  return kinds;
}

bool kelTriggerStmt(KelCallContext *ctx, const KelColumnDef &def, char kind, const std::string &signalText,
                    std::string *out) {
  Text t(ctx);
  createTrigger(t, def, kind);
  switch (kind) {
    case 'H':
      // No WHEN: every inserted row gets a root id of its own, also one without a document. A
      // row copied with its root id would otherwise share it with the original, and the side
      // rows of one would be deleted when the other's document is set.
      t << "NO CASCADE BEFORE INSERT ON ";
      userTable(t, def) << " REFERENCING NEW AS NEWROW FOR EACH ROW MODE QUARNSQL BEGIN ATOMIC  SET NEWROW.";
      t.id(def.rootId) << "=generate_unique();  END";
      break;
    case 'J':
      t << "AFTER INSERT ON ";
      userTable(t, def) << " REFERENCING NEW AS NEWROW FOR EACH ROW MODE QUARNSQL WHEN (NEWROW.";
      t.id(def.column) << " IS NOT NULL) BEGIN ATOMIC ";
      for (const KelSideTab &s : def.sides) insertStmt(t, def, s, false);
      t << " END";
      break;
    case 'D':
      t << "AFTER DELETE ON ";
      userTable(t, def) << " REFERENCING OLD AS OLDROW FOR EACH ROW MODE QUARNSQL BEGIN ATOMIC ";
      for (const KelSideTab &s : def.sides) deleteStmt(t, def, s);
      t << " END";
      break;
    case 'T':
      t << "NO CASCADE BEFORE UPDATE ON ";
      userTable(t, def) << " REFERENCING NEW AS NEWROW FOR EACH ROW MODE QUARNSQL WHEN (NEWROW.";
      t.id(def.column) << " IS NOT NULL AND NEWROW.";
      t.id(def.rootId) << " IS NULL) BEGIN ATOMIC  SET NEWROW.";
      t.id(def.rootId) << " = generate_unique();  END";
      break;
    case 'U':
      // No WHEN: the old rows go whatever the new value is; only the inserts are guarded.
      t << "AFTER UPDATE OF ";
      t.id(def.rootId) << ", ";
      t.id(def.column) << " ON ";
      userTable(t, def) << " REFERENCING NEW AS NEWROW OLD AS OLDROW FOR EACH ROW MODE QUARNSQL BEGIN ATOMIC ";
      for (const KelSideTab &s : def.sides) {
        deleteStmt(t, def, s);
        insertStmt(t, def, s, true);
      }
      t << " END";
      break;
    case 'V':
      t << "NO CASCADE BEFORE INSERT ON ";
      userTable(t, def) << " REFERENCING NEW AS NEWROW FOR EACH ROW MODE QUARNSQL";
      validation(t, def, false, signalText);
      break;
    case 'W':
      t << "NO CASCADE BEFORE UPDATE OF ";
      t.id(def.column) << " ON ";
      userTable(t, def) << " REFERENCING NEW AS NEWROW FOR EACH ROW MODE QUARNSQL";
      validation(t, def, true, signalText);
      break;
    default:
      return false;
  }
  return t.done(out);
}

bool kelDefaultViewStmt(KelCallContext *ctx, const KelColumnDef &def, const std::string &viewSchema,
                        const std::string &viewName, const std::vector<std::string> &userColumns,
                        std::string *out) {
  Text t(ctx);
  t << "CREATE VIEW ";
  t.qualified(viewSchema, viewName) << " AS SELECT ";
  for (const std::string &c : userColumns) {
    userTable(t, def) << '.';
    t.id(c) << ',';
  }
  t << ' ';
  bool first = true;
  for (const KelSideTab &s : def.sides)
    for (const KelSideCol &c : s.columns) {
      if (!first) t << ',';
      first = false;
      side(t, s) << '.';
      t.id(c.name);
    }
  t << "  FROM ";
  for (const KelSideTab &s : def.sides) side(t, s) << ',';
  userTable(t, def) << " WHERE ";
  for (size_t i = 0; i < def.sides.size(); ++i) {
    if (i > 0) t << " AND ";
    userTable(t, def) << '.';
    t.id(def.rootId) << '=';
    side(t, def.sides[i]) << '.';
    t.id(def.rootId);
  }
  t << ' ';
  return t.done(out);
}

bool kelRefusedStoredStmt(KelCallContext *ctx, const KelColumnDef &def, std::string *out) {
  Text t(ctx);
  t << "SELECT COUNT(*) FROM ";
  userTable(t, def) << " AS KELDOC WHERE ";
  refusedDocument(t, def, "KELDOC");
  return t.done(out);
}

bool kelRootIdFillStmt(KelCallContext *ctx, const KelColumnDef &def, std::string *out) {
  Text t(ctx);
  t << "UPDATE ";
  userTable(t, def) << " SET ";
  t.id(def.rootId) << " = generate_unique() WHERE ";
  t.id(def.column) << " IS NOT NULL AND ";
  t.id(def.rootId) << " IS NULL";
  return t.done(out);
}

namespace {

Text &sharedRootIds(Text &t, const KelColumnDef &def) {
  t << "SELECT ";
  t.id(def.rootId) << " FROM ";
  userTable(t, def) << " WHERE ";
  t.id(def.rootId) << " IS NOT NULL GROUP BY ";
  t.id(def.rootId) << " HAVING COUNT(*) > 1";
  return t;
}

}  // namespace

bool kelSharedRootIdsStmt(KelCallContext *ctx, const KelColumnDef &def, std::string *out) {
  Text t(ctx);
  sharedRootIds(t, def);
  return t.done(out);
}

bool kelSharedRootIdClearStmt(KelCallContext *ctx, const KelColumnDef &def, std::string *out) {
  Text t(ctx);
  t << "UPDATE ";
  userTable(t, def) << " SET ";
  t.id(def.rootId) << " = NULL WHERE ";
  t.id(def.rootId) << " IN (";
  sharedRootIds(t, def) << ")";
  return t.done(out);
}

bool kelSideFillStmts(KelCallContext *ctx, const KelColumnDef &def, const KelSideTab &s,
                      std::vector<std::string> *out) {
  out->clear();
  const bool dtd = !def.dtdId.empty();
  Text t(ctx);
  t << "INSERT INTO ";
  side(t, s);
  auto docRef = [&] {
    t << "KELDOC.";
    t.id(def.column);
  };
  auto from = [&] {
    t << " FROM ";
    userTable(t, def) << " AS KELDOC";
    if (dtd) {
      t << ", (SELECT CONTENT FROM QUARNXML.DTD_REF WHERE DTDID=";
      t.literal(def.dtdId) << ") AS KELDTD";
    }
  };
  if (!s.multi) {
    t << " (";
    t.id(def.rootId);
    for (const KelSideCol &c : s.columns) {
      t << ',';
      t.id(c.name);
    }
    t << ") SELECT KELDOC.";
    t.id(def.rootId);
    for (const KelSideCol &c : s.columns) {
      scalarExtract(t, c, dtd);
      docRef();
      t << ", ";
      if (dtd) t << "KELDTD.CONTENT, ";
      t.literal(c.path) << ") AS " << c.type << ')';
    }
    from();
  } else {
    const KelSideCol &c = s.columns.front();
    const Extract kind = extractOf(c.type);
    t << " SELECT KELDOC.";
    t.id(def.rootId) << ", quarnxml.seqno(), ";
    switch (kind) {
      case Extract::Clob: t << "KELVAL.returnedClob"; break;
      case Extract::Double: t << "KELVAL.returnedDouble"; break;
      case Extract::Real: t << "KELVAL.returnedReal"; break;
      case Extract::Varchar: t << "CAST(KELVAL.returnedVarchar AS " << c.type << ')'; break;
    }
    from();
    t << ", TABLE(quarnxml.";
    switch (kind) {
      case Extract::Clob: t << (dtd ? "extractClobsWDTD(" : "extractClobs("); break;
      case Extract::Double: t << (dtd ? "extractDoublesWDTD(" : "extractDoubles("); break;
      case Extract::Real: t << (dtd ? "extractRealsWDTD(" : "extractReals("); break;
      case Extract::Varchar: t << (dtd ? "extractVarcharsDTD(" : "extractVarchars("); break;
    }
    docRef();
    t << ", ";
    if (dtd) t << "KELDTD.CONTENT, ";
    t.literal(c.path) << ")) AS KELVAL";
  }
  t << " WHERE ";
  docRef();
  t << " IS NOT NULL";
  std::string insert;
  if (!t.done(&insert)) return false;
  out->push_back(std::move(insert));
  if (s.multi) {
    // seqno() counts through the whole statement, each document's values one after the other;
    // they are numbered from 1 within each document again.  An UPDATE reading the table it
    // changes would see its own changes, so the renumbered rows are inserted as negative
    // numbers, the originals deleted and the signs turned.
    const KelSideCol &c = s.columns.front();
    Text u(ctx);
    u << "INSERT INTO ";
    side(u, s) << " (";
    u.id(def.rootId) << ", KEL_SEQNO, ";
    u.id(c.name) << ") SELECT KELSIDE.";
    u.id(def.rootId) << ", KELFIRST.FIRSTSEQ - KELSIDE.KEL_SEQNO - 1, KELSIDE.";
    u.id(c.name) << " FROM ";
    side(u, s) << " AS KELSIDE, (SELECT ";
    u.id(def.rootId) << " AS FIRSTROOT, MIN(KEL_SEQNO) AS FIRSTSEQ FROM ";
    side(u, s) << " WHERE KEL_SEQNO > 0 GROUP BY ";
    u.id(def.rootId) << ") AS KELFIRST WHERE KELSIDE.";
    u.id(def.rootId) << " = KELFIRST.FIRSTROOT AND KELSIDE.KEL_SEQNO > 0";
    Text d(ctx);
    d << "DELETE FROM ";
    side(d, s) << " WHERE KEL_SEQNO > 0";
    Text n(ctx);
    n << "UPDATE ";
    side(n, s) << " SET KEL_SEQNO = -KEL_SEQNO";
    for (Text *t2 : {&u, &d, &n}) {
      std::string stmt;
      if (!t2->done(&stmt)) return false;
      out->push_back(std::move(stmt));
    }
  }
  return true;
}
