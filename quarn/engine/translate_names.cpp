/*
 * translate_names.cpp - the translator's names and types: table references resolved through
 * aliases, data types with their lengths, distinct types.
 */
#include "translator.h"

namespace quarn {

// ======================================================================= names and types

Translator::TableRef Translator::resolveTable(const QualName &q) {
  // A declared temporary table of the session comes first in schema SESSION.
  if (q.schema == "SESSION")
    if (const TableInfo *t = s_.tempTable(q.name)) return TableRef{sqliteName("SESSION", q.name), q.name, *t};
  QualName cur = q;
  for (int hops = 0; hops < 16; ++hops) {
    std::optional<TableInfo> t = findTable(s_.db(), cur.schema, cur.name);
    if (!t) raise(kSqlUndefinedName, {q.text()});
    if (t->type != 'A') {
      if (t->type == 'V' && !viewOperative(s_.db(), t->schema, t->name)) raise(kSqlViewInoperative, {t->schema + "." + t->name});
      addDependency(t->type == 'V' ? 'V' : 'T', t->schema, t->name);
      return TableRef{sqliteName(t->schema, t->name), q.name, *t};
    }
    cur = QualName{t->baseSchema, t->baseName};
  }
  raise(kSqlUndefinedName, {q.text()});
}

int64_t Translator::intLiteral() {
  if (tk().kind != Tok::Integer) fail("<integer>");
  std::string t = tk().text;
  ++i_;
  if (t.size() > 12) raise(kSqlBadLength, {t});
  return std::stoll(t);
}

int64_t Translator::lobLength() {
  int64_t n = 1024 * 1024;
  if (acceptOp("(")) {
    n = intLiteral();
    if (acceptKw("K")) n *= 1024;
    else if (acceptKw("M")) n *= 1024 * 1024;
    else if (acceptKw("G")) n *= 1024LL * 1024 * 1024;
    expectOp(")");
  }
  if (n > 2147483647) n = 2147483647;
  return n;
}

QType Translator::resolveDistinct(const QualName &q, bool qualified) {
  if (qualified) {
    if (auto d = findDistinctType(s_.db(), q.schema, q.name)) {
      QType t = d->source;
      t.typeSchema = d->schema;
      t.typeName = d->name;
      return t;
    }
    raise(kSqlUndefinedName, {q.text()});
  }
  std::vector<std::string> schemas = s_.functionPath();
  schemas.push_back(s_.currentSchema());
  for (const std::string &schema : schemas) {
    if (auto d = findDistinctType(s_.db(), schema, q.name)) {
      QType t = d->source;
      t.typeSchema = d->schema;
      t.typeName = d->name;
      return t;
    }
  }
  raise(kSqlUndefinedName, {q.name});
}

QType Translator::dataType() {
  QType t;
  auto lengthArg = [&](int64_t dflt) {
    int64_t n = dflt;
    if (acceptOp("(")) {
      n = intLiteral();
      expectOp(")");
    }
    return n;
  };
  auto bitData = [&] {
    if (kw("FOR") && (kw("BIT", 1) || kw("SBCS", 1) || kw("MIXED", 1))) {
      ++i_;
      bool bit = acceptKw("BIT");
      if (!bit) ++i_;
      expectKw("DATA");
      t.forBitData = bit;
    }
  };
  if (tk().kind == Tok::Ident) {
    const std::string w = tk().text;
    if (w == "SMALLINT") { ++i_; t.base = Base::SmallInt; return t; }
    if (w == "INTEGER" || w == "INT") { ++i_; t.base = Base::Integer; return t; }
    if (w == "BIGINT") { ++i_; t.base = Base::BigInt; return t; }
    if (w == "REAL") { ++i_; t.base = Base::Real; return t; }
    if (w == "DATE") { ++i_; t.base = Base::Date; return t; }
    if (w == "TIME") { ++i_; t.base = Base::Time; return t; }
    if (w == "TIMESTAMP") { ++i_; t.base = Base::Timestamp; return t; }
    if (w == "DOUBLE") {
      ++i_;
      acceptKw("PRECISION");
      t.base = Base::Double;
      return t;
    }
    if (w == "FLOAT") {
      ++i_;
      int64_t n = lengthArg(53);
      if (n < 1 || n > 53) raise(kSqlBadLength, {"FLOAT"});
      t.base = n <= 24 ? Base::Real : Base::Double;
      return t;
    }
    if (w == "DECIMAL" || w == "DEC" || w == "NUMERIC" || w == "NUM") {
      ++i_;
      t.base = Base::Decimal;
      t.length = 5;
      if (acceptOp("(")) {
        t.length = intLiteral();
        if (acceptOp(",")) t.scale = static_cast<int>(intLiteral());
        expectOp(")");
      }
      if (t.length < 1 || t.length > 31 || t.scale > t.length) raise(kSqlBadLength, {"DECIMAL"});
      return t;
    }
    if (w == "CHARACTER" || w == "CHAR") {
      ++i_;
      if (acceptKw("VARYING")) {
        t.base = Base::Varchar;
        t.length = lengthArg(-1);
      } else if (acceptKw("LARGE")) {
        expectKw("OBJECT");
        t.base = Base::Clob;
        t.length = lobLength();
        return t;
      } else {
        t.base = Base::Char;
        t.length = lengthArg(1);
        if (t.length < 1 || t.length > 254) raise(kSqlBadLength, {"CHARACTER"});
      }
      if (t.base == Base::Varchar && (t.length < 1 || t.length > 32672)) raise(kSqlBadLength, {"VARCHAR"});
      bitData();
      return t;
    }
    if (w == "VARCHAR") {
      ++i_;
      t.base = Base::Varchar;
      t.length = lengthArg(-1);
      if (t.length < 1 || t.length > 32672) raise(kSqlBadLength, {"VARCHAR"});
      bitData();
      return t;
    }
    if (w == "LONG") {
      ++i_;
      if (acceptKw("VARCHAR")) {
        t.base = Base::LongVarchar;
        bitData();
      } else {
        expectKw("VARGRAPHIC");
        t.base = Base::LongVargraphic;
      }
      t.length = t.catalogLength();
    } else if (w == "CLOB") {
      ++i_;
      t.base = Base::Clob;
      t.length = lobLength();
    } else if (w == "BLOB" || (w == "BINARY" && kw("LARGE", 1))) {
      if (w == "BINARY") { i_ += 2; expectKw("OBJECT"); } else ++i_;
      t.base = Base::Blob;
      t.length = lobLength();
    } else if (w == "DBCLOB") {
      ++i_;
      t.base = Base::DbClob;
      t.length = lobLength();
      if (t.length > 1073741823) t.length = 1073741823;
    } else if (w == "GRAPHIC") {
      ++i_;
      t.base = Base::Graphic;
      t.length = lengthArg(1);
      if (t.length < 1 || t.length > 127) raise(kSqlBadLength, {"GRAPHIC"});
    } else if (w == "VARGRAPHIC") {
      ++i_;
      t.base = Base::Vargraphic;
      t.length = lengthArg(-1);
      if (t.length < 1 || t.length > 16336) raise(kSqlBadLength, {"VARGRAPHIC"});
    }
    if (t.base != Base::None) {
      if (t.isGraphic() && !s_.graphicSupported()) raise(kSqlGraphic);
      return t;
    }
  }
  if (!isName()) fail("<data type>");
  bool qualified = isOp(".", 1);
  QualName q = qualName();
  return resolveDistinct(q, qualified);
}

}  // namespace quarn
