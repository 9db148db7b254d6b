/*
 * keltab.cpp - the tables of an RDB_node collection as SQL (see keltab.h).
 */
#include "keltab.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "kelcatalog.h"
#include "kelctx.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "kelsql.h"
#include "keltrace.h"
#include "quarnapp.h"
#include "sqlda.h"

namespace {

constexpr const char kUnit[] = "keltab";

// Multi-word names of built-in types: the first word and the word that may follow it.
constexpr struct {
  const char *first;
  const char *second;
} kTwoWordTypes[] = {{"DOUBLE", "PRECISION"}, {"CHARACTER", "VARYING"}, {"CHAR", "VARYING"},
                     {"LONG", "VARCHAR"},     {"LONG", "VARGRAPHIC"}};

constexpr int64_t kMaxTypeLength = 2147483647;

bool isIdentifier(const KelSqlToken &t) {
  return t.tokenClass == KEL_TOK_ORDINARY_ID || t.tokenClass == KEL_TOK_DELIMITED_ID;
}

bool isDelimiter(const KelSqlToken &t, char16_t c) {
  return t.tokenClass == KEL_TOK_DELIMITER && t.start != nullptr && *t.start == c;
}

// The digits of a number token, as a value; false beyond kMaxTypeLength.
bool numberOf(const KelSqlToken &t, int64_t *value) {
  *value = 0;
  for (const UChar *p = t.start; p <= t.end; ++p) {
    if (*p < u'0' || *p > u'9') return false;
    *value = *value * 10 + (*p - u'0');
    if (*value > kMaxTypeLength) return false;
  }
  return true;
}

// A built-in type's name goes into SQL text as it stands: a plain word only (letters, digits
// and underscores, beginning with a letter), never one with a quote or other character that
// the database would read as the start of something else.
bool isPlainWord(const std::string &word) {
  if (word.empty() || !((word[0] >= 'A' && word[0] <= 'Z') || (word[0] >= 'a' && word[0] <= 'z'))) return false;
  for (char c : word)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

// "schema.table" (or the table alone) as messages name a table.
std::string shownName(const KEL_TAB &t) { return t.schema.empty() ? t.name : t.schema + "." + t.name; }

// Appends ["schema".]"table".
bool appendTableName(KelCallContext *ctx, std::string *out, const KEL_TAB &t) {
  if (!t.schema.empty()) {
    if (!kelAppendQuoted(ctx, out, t.schema)) return false;
    *out += '.';
  }
  return kelAppendQuoted(ctx, out, t.name);
}

int tooLong(KelCallContext *ctx, const KEL_TAB &t, const char *what, char *sqlstate, char *msg) {
  std::string text = std::string(what) + " of " + shownName(t);
  return kelFail(ctx, msg, sqlstate, KELQ038E, text.c_str());
}

// The type a foreign-key column of t gets: that of the column that supplies its value.
const KelCol2Xml *supplierOf(const KEL_REL &rel, const KelForeignKey &fk) {
  if (fk.ancestorTab < 0 || fk.ancestorTab >= static_cast<int>(rel.tab.size())) return nullptr;
  const KEL_TAB &a = rel.tab[static_cast<size_t>(fk.ancestorTab)];
  if (fk.ancestorCol < 0 || fk.ancestorCol >= static_cast<int>(a.col2xml.size())) return nullptr;
  return &a.col2xml[static_cast<size_t>(fk.ancestorCol)];
}

const KelJoinInfo *joinOf(const KEL_TAB &t, const KelForeignKey &fk) {
  if (fk.join < 0 || fk.join >= static_cast<int>(t.joinInfo.size())) return nullptr;
  return &t.joinInfo[static_cast<size_t>(fk.join)];
}

// The index of the table a join partner names, or -1.
int tableOf(const KEL_REL &rel, const KelForeign &f) {
  for (size_t i = 0; i < rel.tab.size(); ++i)
    if (rel.tab[i].name == f.tab && rel.tab[i].schema == f.schema) return static_cast<int>(i);
  return -1;
}

// True when table child takes a foreign-key value from table parent, or lies deeper.
bool isChildOf(const KEL_REL &rel, int child, int parent) {
  const KEL_TAB &c = rel.tab[static_cast<size_t>(child)];
  if (c.level > rel.tab[static_cast<size_t>(parent)].level) return true;
  for (const KelForeignKey &fk : c.foreignKey)
    if (fk.ancestorTab == parent) return true;
  return false;
}

/*
 * The parent column a foreign key of table tab refers to: the join partner of its join column
 * in a table that is not a child of tab, preferring the table that most of tab's foreign keys
 * join (so that a parent's composite key is referred to as a whole), then the table that
 * supplies the value.  The value itself may come from further up (the parent's own foreign
 * key); the constraint names the parent the condition joins.  False when there is none.
 */
bool referenceOf(const KEL_REL &rel, int tab, const KelForeignKey &fk, int *parent, std::string *col) {
  const KEL_TAB &t = rel.tab[static_cast<size_t>(tab)];
  const KelJoinInfo *j = joinOf(t, fk);
  if (j == nullptr) return false;
  int best = -1, bestScore = -1;
  for (const KelForeign &f : j->foreign) {
    int p = tableOf(rel, f);
    if (p < 0 || p == tab || isChildOf(rel, p, tab)) continue;
    int score = p == fk.ancestorTab ? 1 : 0;
    for (const KelForeignKey &other : t.foreignKey)
      if (const KelJoinInfo *oj = joinOf(t, other))
        for (const KelForeign &of : oj->foreign)
          if (tableOf(rel, of) == p) score += 2;
    if (score > bestScore) {
      best = p;
      bestScore = score;
      *col = f.col;
    }
  }
  *parent = best;
  return best >= 0;
}

// Types whose catalogue length is a length (or a precision) the DAD's may not pass.
bool hasComparableLength(const std::string &name) {
  for (const char *n : {"CHARACTER", "VARCHAR", "LONG VARCHAR", "CLOB", "BLOB", "DBCLOB", "GRAPHIC", "VARGRAPHIC",
                        "LONG VARGRAPHIC", "DECIMAL"})
    if (name == n) return true;
  return false;
}

}  // namespace

bool kelParseSqlType(KelCallContext *ctx, const std::string &text, KelSqlType *out) {
  *out = KelSqlType{};
  std::u16string wide;
  if (text.empty() || !kelDadFromDb(ctx, text, &wide)) return false;
  const UChar *p = wide.c_str();
  KelSqlToken t;
  kelGetSqlToken(ctx, &p, &t);
  if (!isIdentifier(t)) return false;
  std::string first = t.text;
  const bool firstDelimited = t.tokenClass == KEL_TOK_DELIMITED_ID;
  kelGetSqlToken(ctx, &p, &t);
  if (isDelimiter(t, u'.')) {
    // schema.name of a distinct type
    kelGetSqlToken(ctx, &p, &t);
    if (!isIdentifier(t)) return false;
    out->schema = first;
    out->name = t.text;
    if (!kelAppendQuoted(ctx, &out->text, out->schema)) return false;
    out->text += '.';
    if (!kelAppendQuoted(ctx, &out->text, out->name)) return false;
    kelGetSqlToken(ctx, &p, &t);
  } else {
    if (firstDelimited || !isPlainWord(first)) return false;
    out->name = first;
    if (t.tokenClass == KEL_TOK_ORDINARY_ID) {
      bool known = false;
      for (const auto &w : kTwoWordTypes)
        if (first == w.first && std::strcmp(t.text, w.second) == 0) known = true;
      if (!known) return false;
      out->name += ' ';
      out->name += t.text;
      kelGetSqlToken(ctx, &p, &t);
    }
    out->text = out->name;
  }
  if (isDelimiter(t, u'(')) {
    kelGetSqlToken(ctx, &p, &t);
    // A length may carry a multiplier glued to it (100K): the tokenizer stops at the letter.
    if (t.tokenClass != KEL_TOK_INTEGER && t.tokenClass != KEL_TOK_BAD_NUMBER) return false;
    if (!numberOf(t, &out->length)) return false;
    std::string args = std::to_string(out->length);
    const bool glued = t.tokenClass == KEL_TOK_BAD_NUMBER;
    kelGetSqlToken(ctx, &p, &t);
    if (glued) {
      if (t.tokenClass != KEL_TOK_ORDINARY_ID) return false;
      const std::string unit = t.text;
      int64_t factor = unit == "K" ? 1024 : unit == "M" ? 1024 * 1024 : unit == "G" ? 1024 * 1024 * 1024 : 0;
      if (factor == 0 || out->length > kMaxTypeLength / factor) return false;
      out->length *= factor;
      args += unit;
      kelGetSqlToken(ctx, &p, &t);
    }
    if (isDelimiter(t, u',')) {
      kelGetSqlToken(ctx, &p, &t);
      int64_t scale = 0;
      if (t.tokenClass != KEL_TOK_INTEGER || !numberOf(t, &scale)) return false;
      out->scale = static_cast<int32_t>(scale);
      args += "," + std::to_string(scale);
      kelGetSqlToken(ctx, &p, &t);
    }
    if (!isDelimiter(t, u')')) return false;
    out->text += "(" + args + ")";
    kelGetSqlToken(ctx, &p, &t);
  }
  return t.tokenClass == KEL_TOK_END;
}

int kelNormalizeTypes(KelCallContext *ctx, KEL_REL *rel, char *sqlstate, char *msg) {
  for (KEL_TAB &t : rel->tab)
    for (KelCol2Xml &c : t.col2xml) {
      KelSqlType type;
      if (!kelParseSqlType(ctx, c.dataType, &type))
        return kelFail(ctx, msg, sqlstate, KELA059E, c.dataType.c_str(), c.col.c_str());
      c.dataType = type.text;
    }
  return 0;
}

bool isPriKey(KelCallContext *ctx, const std::string &column, const KEL_TAB &tab) {
  bool key = false;
  for (const std::string &k : tab.priKey)
    if (k == column) key = true;
  KEL_TRACE(ctx, "%s is%s a part of the primary key.\n", column.c_str(), key ? "" : " not");
  return key;
}

int kelTableSpaceClause(KelCallContext *ctx, const char *tableSpace, std::string *clause, char *sqlstate,
                        char *msg) {
  clause->clear();
  if (tableSpace == nullptr || tableSpace[0] == '\0') return 0;
  char schema[KEL_SCHEMA_SIZE] = "";
  char name[KEL_TABLE_SIZE] = "";
  int rc = kelParseQualTbl(ctx, tableSpace, schema, sizeof schema, name, sizeof name);
  if (rc == KEL_SQL_PART_TOO_LONG || (rc == 0 && std::strlen(name) > KEL_MAX_TABLESPACE_NAME))
    return kelFail(ctx, msg, sqlstate, KELA037E);
  if (rc < 0 || schema[0] != '\0') return kelFail(ctx, msg, sqlstate, KELQ033E, tableSpace);
  std::string quoted;
  if (!kelAppendQuoted(ctx, &quoted, name)) return kelFail(ctx, msg, sqlstate, KELQ033E, tableSpace);
  *clause = " IN " + quoted;
  return 0;
}

int kelCreateTableText(KelCallContext *ctx, const KEL_REL &rel, int tab, const std::string &spaceClause,
                       std::string *sql, char *sqlstate, char *msg) {
  sql->clear();
  if (tab < 0 || tab >= static_cast<int>(rel.tab.size())) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  const KEL_TAB &t = rel.tab[static_cast<size_t>(tab)];
  if (t.col2xml.empty() && t.foreignKey.empty()) {
    // A table the RDB_node lists and nothing maps: it would have no column at all.
    KEL_TRACE(ctx, "no column of '%s' is mapped\n", shownName(t).c_str());
    return kelFail(ctx, msg, sqlstate, KELQ024E, shownName(t).c_str());
  }
  std::string &s = *sql;
  bool ok = true;
  s = "CREATE TABLE ";
  ok = appendTableName(ctx, &s, t);
  s += '(';
  auto column = [&](const std::string &name, const std::string &type) {
    ok = ok && kelAppendQuoted(ctx, &s, name);
    s += ' ' + type + (isPriKey(ctx, name, t) ? " NOT NULL," : ",");
  };
  for (const KelCol2Xml &c : t.col2xml) column(c.col, c.dataType);
  // Foreign-key columns are filled from their parent and not mapped: each is defined once,
  // with the type of the column that supplies it, NOT NULL when it is also a key column.
  for (const KelForeignKey &fk : t.foreignKey) {
    const KelJoinInfo *j = joinOf(t, fk);
    const KelCol2Xml *supplier = supplierOf(rel, fk);
    if (j == nullptr || supplier == nullptr) {
      KEL_TRACE(ctx, "Can not find parent tab and col for a foreign key of '%s'.\nrel is inconsistent.\n",
                shownName(t).c_str());
      return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
    }
    column(j->col, supplier->dataType);
  }
  if (!t.priKey.empty()) {
    s += "PRIMARY KEY (";
    for (size_t i = 0; i < t.priKey.size(); ++i) {
      if (i > 0) s += ',';
      ok = ok && kelAppendQuoted(ctx, &s, t.priKey[i]);
    }
    s += "),";
  }
  // One FOREIGN KEY clause per parent table, its columns in foreign-key order.
  std::vector<int> parents, parentOf(t.foreignKey.size());
  std::vector<std::string> parentCol(t.foreignKey.size());
  for (size_t i = 0; i < t.foreignKey.size(); ++i) {
    if (!referenceOf(rel, tab, t.foreignKey[i], &parentOf[i], &parentCol[i])) {
      KEL_TRACE(ctx, "No parent table joins the foreign key of '%s'.\n", shownName(t).c_str());
      return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
    }
    bool seen = false;
    for (int p : parents) seen = seen || p == parentOf[i];
    if (!seen) parents.push_back(parentOf[i]);
  }
  for (int p : parents) {
    std::string childCols, parentCols;
    for (size_t i = 0; i < t.foreignKey.size(); ++i) {
      if (parentOf[i] != p) continue;
      if (!childCols.empty()) {
        childCols += ',';
        parentCols += ',';
      }
      ok = ok && kelAppendQuoted(ctx, &childCols, joinOf(t, t.foreignKey[i])->col) &&
           kelAppendQuoted(ctx, &parentCols, parentCol[i]);
    }
    s += "FOREIGN KEY (" + childCols + ") REFERENCES ";
    ok = ok && appendTableName(ctx, &s, rel.tab[static_cast<size_t>(p)]);
    s += "(" + parentCols + "),";
  }
  if (!ok) return kelFail(ctx, msg, sqlstate, KELQ033E, shownName(t).c_str());
  s.back() = ')';
  s += spaceClause;
  if (s.size() > KEL_MAX_SQL_TEXT) return tooLong(ctx, t, "CREATE TABLE", sqlstate, msg);
  return 0;
}

int create_table(KelCallContext *ctx, const KEL_REL &rel, int tab, const std::string &spaceClause, char *sqlstate,
                 char *msg) {
  std::string sql;
  int rc = kelCreateTableText(ctx, rel, tab, spaceClause, &sql, sqlstate, msg);
  if (rc < 0) return rc;
  KEL_TRACE(ctx, "sql_stmt = '%s'\n", sql.c_str());
  sqlca ca{};
  if (quarn_execute_immediate(sql.c_str(), &ca) < 0) {
    KEL_TRACE(ctx, "SQLCODE = %d\n", ca.sqlcode);
    kelSetDbMessage(ctx, msg, &ca, KELQ024E, shownName(rel.tab[static_cast<size_t>(tab)]).c_str());
    return kelMessageState(KELQ024E, sqlstate);
  }
  return 0;
}

int check_table(KelCallContext *ctx, const KEL_REL &rel, int tab, char *sqlstate, char *msg) {
  if (tab < 0 || tab >= static_cast<int>(rel.tab.size())) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  const KEL_TAB &t = rel.tab[static_cast<size_t>(tab)];
  // The statements find an unqualified table in the current schema: so must the check.
  std::string schema = t.schema;
  if (schema.empty()) {
    int rc = kelCurrentSchema(ctx, &schema, msg);
    if (rc < 0) return kelMessageState(KELG001E, sqlstate);
  }
  const std::string shown = shownName(t);
  char typeSchema[KEL_TABLE_SIZE];
  char typeName[KEL_TABLE_SIZE];
  int32_t length = 0;
  auto lookUp = [&](const std::string &column) {
    int rc = kelGetCatalogColumnType(ctx, schema.c_str(), t.name.c_str(), column.c_str(), typeSchema,
                                     sizeof typeSchema, typeName, sizeof typeName, &length, msg);
    if (rc < 0) {
      if (rc != kelMessageState(KELQ021E, nullptr)) return kelMessageState(KELG001E, sqlstate);
      // No catalogue row for the column: the whole table may be missing, which is what to say.
      rc = kelRefuseMissingTable(ctx, t, sqlstate, msg);
      if (rc < 0) return rc;
      // The lookup formats its message naming the schema it was given; name the table as the DAD does.
      return kelFail(ctx, msg, sqlstate, KELQ021E, shown.c_str(), column.c_str());
    }
    return 0;
  };
  for (const KelCol2Xml &c : t.col2xml) {
    int rc = lookUp(c.col);
    if (rc < 0) return rc;
    std::string catalogType = typeSchema[0] != '\0' ? std::string(typeSchema) + "." + typeName : typeName;
    KelSqlType dad;
    if (!kelParseSqlType(ctx, c.dataType, &dad))
      return kelFail(ctx, msg, sqlstate, KELA059E, c.dataType.c_str(), c.col.c_str());
    std::string dadType = dad.name;
    if (dad.schema.empty()) {
      // FLOAT without a precision is a double, as the database makes it.
      int32_t precision = dad.name == "FLOAT" && dad.length == 0 ? 53 : static_cast<int32_t>(dad.length);
      char converted[KEL_TABLE_SIZE];
      if (dadType.size() < KEL_TYPENAME_SIZE) {
        std::strcpy(converted, dadType.c_str());
        kelConvertTypename(ctx, converted, precision);
        dadType = converted;
      }
    } else {
      dadType = dad.schema + "." + dad.name;
    }
    KEL_TRACE(ctx, "column %s: DAD type %s, catalogue type %s length %d\n", c.col.c_str(), dadType.c_str(),
              catalogType.c_str(), length);
    if (dadType != catalogType) return kelFail(ctx, msg, sqlstate, KELQ022E, c.col.c_str(), shown.c_str(), catalogType.c_str());
    if (hasComparableLength(dadType) && length > 0 && length < dad.length) {
      std::string shownLength = std::to_string(length);
      return kelFail(ctx, msg, sqlstate, KELQ023E, c.col.c_str(), shown.c_str(), shownLength.c_str());
    }
  }
  for (const KelJoinInfo &j : t.joinInfo) {
    if (j.col.empty()) continue;
    int rc = lookUp(j.col);
    if (rc < 0) return rc;
  }
  return 0;
}

int kelRefuseMissingTable(KelCallContext *ctx, const KEL_TAB &t, char *sqlstate, char *msg) {
  std::string schema = t.schema;
  if (schema.empty() && kelCurrentSchema(ctx, &schema, msg) < 0) return kelMessageState(KELG001E, sqlstate);
  int exists = 0;
  int rc = kelTableExists(ctx, schema.c_str(), t.name.c_str(), &exists, msg);
  if (rc < 0) return rc == -104 ? kelMessageState(KELA073E, sqlstate) : kelMessageState(KELG001E, sqlstate);
  if (exists) return 0;
  KEL_TRACE(ctx, "table %s.%s does not exist\n", schema.c_str(), t.name.c_str());
  return kelFail(ctx, msg, sqlstate, KELA016E, shownName(t).c_str());
}

int prepare_tables(KelCallContext *ctx, KEL_REL *rel, const char *tableSpace, char *sqlstate, char *msg) {
  KEL_TRACE(ctx, "Entered w/ %d tables.\n", static_cast<int>(rel->tab.size()));
  std::string spaceClause;
  int rc = kelTableSpaceClause(ctx, tableSpace, &spaceClause, sqlstate, msg);
  if (rc < 0) return rc;
  std::string current;
  for (size_t i = 0; i < rel->tab.size(); ++i) {
    const KEL_TAB &t = rel->tab[i];
    std::string schema = t.schema;
    if (schema.empty()) {
      if (current.empty() && kelCurrentSchema(ctx, &current, msg) < 0) return kelMessageState(KELG001E, sqlstate);
      schema = current;
    }
    int exists = 0;
    rc = kelTableExists(ctx, schema.c_str(), t.name.c_str(), &exists, msg);
    if (rc < 0) return rc == -104 ? kelMessageState(KELA073E, sqlstate) : kelMessageState(KELG001E, sqlstate);
    printtabinfo(ctx, *rel, static_cast<int>(i));
    rc = exists ? check_table(ctx, *rel, static_cast<int>(i), sqlstate, msg)
                : create_table(ctx, *rel, static_cast<int>(i), spaceClause, sqlstate, msg);
    if (rc < 0) return rc;
  }
  return 0;
}

int generate_SQLi(KelCallContext *ctx, KEL_REL *rel, int tab, char *sqlstate, char *msg) {
  if (tab < 0 || tab >= static_cast<int>(rel->tab.size())) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  KEL_TAB &t = rel->tab[static_cast<size_t>(tab)];
  std::string columns = "(";
  std::string values;
  bool ok = true;
  for (const KelCol2Xml &c : t.col2xml) {
    ok = ok && kelAppendQuoted(ctx, &columns, c.col);
    columns += ',';
    values += "CAST(? AS " + c.dataType + "),";
  }
  for (const KelForeignKey &fk : t.foreignKey) {
    const KelJoinInfo *j = joinOf(t, fk);
    const KelCol2Xml *supplier = supplierOf(*rel, fk);
    if (j == nullptr || supplier == nullptr) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
    ok = ok && kelAppendQuoted(ctx, &columns, j->col);
    columns += ',';
    values += "CAST(? AS " + supplier->dataType + "),";
  }
  if (!ok) return kelFail(ctx, msg, sqlstate, KELQ033E, shownName(t).c_str());
  if (values.empty()) return KEL_INTERNAL_ERROR(ctx, msg, sqlstate);
  columns.back() = ')';
  values.back() = ' ';
  std::string s = "INSERT INTO ";
  appendTableName(ctx, &s, t);
  if (t.condition.empty()) {
    // Nothing to filter: the values go straight in.
    values.pop_back();
    s += columns + " VALUES (" + values + ")";
  } else {
    s += columns + " SELECT * FROM TABLE(VALUES(" + values + ")) AS T" + columns + " WHERE " + t.condition;
  }
  if (s.size() > KEL_MAX_SQL_TEXT) return tooLong(ctx, t, "INSERT", sqlstate, msg);
  t.stmt = std::move(s);
  KEL_TRACE(ctx, "Exits, sql_stmt='%s' errCode=%d.\n", t.stmt.c_str(), 0);
  return 0;
}
