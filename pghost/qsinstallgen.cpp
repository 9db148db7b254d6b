/*
 * qsinstallgen.cpp - build-time generator of the install script of the PostgreSQL extension
 * quarnxml: the fixed part (quarnxml_base.sql), then the distinct types and every function of
 * the function table (routine/kelfunctab.h), translated from the very registration statements
 * database enablement runs (admin/kelregister.cpp, generated from the same table), so names,
 * signatures, entries and clauses are written once for both engines.
 *
 * Translation of a registration:
 *   create function S.N(T [as locator], ...) returns R | table(C T, ...) [specific X]
 *     external name 'lib!entry' <clauses>
 * becomes CREATE FUNCTION s.n(pg types) RETURNS ... LANGUAGE quarnsql ... AS 'lib!entry options'
 * with: not variant IMMUTABLE, not deterministic VOLATILE, allow parallel PARALLEL SAFE, disallow
 * parallel PARALLEL RESTRICTED, returns null on null input STRICT (else the function is called on
 * null input, as null call asks); scratchpad, final call and DBINFO as clauses; declared lengths
 * and "as locator" as argK= and result= clauses; RETURNS t CAST FROM u as RETURNS t with u's
 * length as the result= clause (the handler checks that the value fits t).  Functions that read server files are STABLE at
 * most and those that write them VOLATILE, whatever the registration says: a file's content is
 * no constant a planner may fold or an index may keep.
 *   create distinct type S.N as B(L) [with comparisons]
 * becomes SELECT quarnsql.create_distinct_type('s', 'n', 'b', L, comparisons).
 *
 * Usage: qsinstallgen <quarnxml_base.sql> <output file>.  Exits non-zero when a statement of the
 * table cannot be translated, so the build fails instead of shipping a partial script.
 */
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "kelfunctab.h"
#include "kelregister.h"

namespace {

std::string lower(std::string s) {
  for (char &c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string trim(const std::string &s) {
  size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
  return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

[[noreturn]] void fail(const std::string &why, const std::string &statement) {
  throw std::runtime_error(why + ": " + statement);
}

// Every entry the function table names: the functions the install script registers.
std::set<std::string> tableEntries() {
  std::set<std::string> entries;
#define KEL_SOURCE_NAMES(Src, Suffix, SqlParam, Name, Two)             \
  entries.insert(std::string("kelExtract") + #Name + #Suffix + Two);     \
  entries.insert(std::string("kelExtract") + #Name + "s" + #Suffix + Two);
#define KEL_TYPE_NAMES(Name, ...) KEL_EXTRACT_SOURCES(KEL_SOURCE_NAMES, Name, "")
#define KEL_DTD_TYPE_NAMES(Name, ...) KEL_EXTRACT_SOURCES(KEL_SOURCE_NAMES, Name, "2")
  KEL_EXTRACT_TYPES(KEL_TYPE_NAMES)
  KEL_EXTRACT_DTD_TYPES(KEL_DTD_TYPE_NAMES)
#define KEL_STORAGE_NAME(sqlName, params, returns, specific, entry) entries.insert(entry);
  KEL_STORAGE_FUNCTIONS(KEL_STORAGE_NAME)
#define KEL_OTHER_NAME(entry) entries.insert(entry);
  KEL_OTHER_FUNCTION_ENTRIES(KEL_OTHER_NAME)
  return entries;
}

// A length with an optional K, M or G.
long long lengthOf(const std::string &text) {
  size_t used = 0;
  long long n = std::stoll(text, &used);
  std::string unit = lower(text.substr(used));
  if (unit == "k") n *= 1024;
  else if (unit == "m") n *= 1024 * 1024;
  else if (unit == "g") n *= 1024LL * 1024 * 1024;
  else if (!unit.empty()) throw std::runtime_error("bad length " + text);
  return n;
}

// A platform type ("varchar(512)", "clob(2G) as locator", "quarnxml.XMLCLOB as locator") as a
// PostgreSQL type and the clause text that carries what PostgreSQL's signature cannot.
struct PgType {
  std::string type;
  std::string clause;
  bool file = false;  // the distinct type XMLFile: a server file's name
};

PgType translateType(std::string text, const std::string &statement) {
  PgType out;
  text = trim(text);
  bool locator = false;
  const std::string asLocator = " as locator";
  if (lower(text).size() > asLocator.size() && lower(text).compare(text.size() - asLocator.size(), asLocator.size(), asLocator) == 0) {
    locator = true;
    text = trim(text.substr(0, text.size() - asLocator.size()));
  }
  std::string name = lower(text), length;
  if (size_t open = name.find('('); open != std::string::npos) {
    length = name.substr(open + 1, name.find(')') - open - 1);
    name = trim(name.substr(0, open));
  }
  if (name.find('.') != std::string::npos) {  // a distinct type: its length is in its record
    out.type = name;
    out.clause = locator ? "locator" : "";
    out.file = name == "quarnxml.xmlfile";
    return out;
  }
  static const std::vector<std::pair<std::string, std::string>> kTypes = {
      {"varchar", "varchar"}, {"char", "character"},   {"clob", "text"},     {"dbclob", "text"},
      {"blob", "bytea"},      {"date", "date"},        {"time", "time"},     {"timestamp", "timestamp"},
      {"double", "double precision"}, {"real", "real"}, {"integer", "integer"}, {"smallint", "smallint"},
      {"bigint", "bigint"},   {"decimal", "numeric"}};
  auto it = std::find_if(kTypes.begin(), kTypes.end(), [&](const auto &p) { return p.first == name; });
  if (it == kTypes.end()) fail("a type the install script cannot translate (" + name + ")", statement);
  out.type = it->second;
  bool lob = name == "clob" || name == "dbclob" || name == "blob";
  if (locator) out.clause = length.empty() ? "locator" : "locator:" + length;
  else if (lob) out.clause = length.empty() ? "lob" : "lob:" + length;
  else out.clause = length;
  return out;
}

// Splits a parenthesised list at its top-level commas.
std::vector<std::string> splitList(const std::string &list) {
  std::vector<std::string> items;
  int depth = 0;
  std::string cur;
  for (char c : list) {
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ',' && depth == 0) {
      items.push_back(trim(cur));
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!trim(cur).empty()) items.push_back(trim(cur));
  return items;
}

// The text between the parenthesis at open and its match.
std::string parenthesised(const std::string &s, size_t open, size_t *close) {
  int depth = 0;
  for (size_t i = open; i < s.size(); ++i) {
    if (s[i] == '(') ++depth;
    if (s[i] == ')' && --depth == 0) {
      *close = i;
      return s.substr(open + 1, i - open - 1);
    }
  }
  throw std::runtime_error("unbalanced parentheses: " + s);
}

bool hasClause(const std::string &clauses, const std::string &words) {
  return (" " + lower(clauses) + " ").find(" " + words + " ") != std::string::npos;
}

std::string translateFunction(const std::string &statement) {
  const std::string head = "create function ";
  if (lower(statement).rfind(head, 0) != 0) fail("not a function registration", statement);
  size_t open = statement.find('(', head.size());
  std::string name = trim(statement.substr(head.size(), open - head.size()));
  size_t close = 0;
  std::vector<std::string> params = splitList(parenthesised(statement, open, &close));
  std::string rest = statement.substr(close + 1);
  std::string lrest = lower(rest);

  size_t ext = lrest.find(" external name '");
  if (lrest.find(" returns ") != 0 || ext == std::string::npos) fail("no result or external name", statement);
  size_t extEnd = rest.find('\'', ext + 16);
  std::string external = rest.substr(ext + 16, extEnd - ext - 16);
  std::string clauses = rest.substr(extEnd + 1);
  std::string returns = trim(rest.substr(9, ext - 9));
  std::string specific;
  if (size_t sp = lower(returns).find(" specific "); sp != std::string::npos) {
    specific = lower(trim(returns.substr(sp + 10)));
    returns = trim(returns.substr(0, sp));
  }

  std::ostringstream sql, options;
  std::vector<std::string> pgParams;
  const std::string lname = lower(name);
  bool readsFile = lname.size() > 8 && lname.compare(lname.size() - 8, 8, "fromfile") == 0;
  bool writesFile = false;
  options << external;
  for (size_t k = 0; k < params.size(); ++k) {
    PgType t = translateType(params[k], statement);
    pgParams.push_back(t.type);
    readsFile = readsFile || t.file;
    if (!t.clause.empty()) options << " arg" << k + 1 << "=" << t.clause;
  }
  sql << "CREATE FUNCTION " << name << "(";
  for (size_t k = 0; k < pgParams.size(); ++k) sql << (k ? ", " : "") << pgParams[k];
  sql << ") RETURNS ";
  bool table = lower(returns).rfind("table(", 0) == 0;
  std::vector<std::string> results;
  if (table) {
    size_t tclose = 0;
    std::vector<std::string> columns = splitList(parenthesised(returns, 5, &tclose));
    sql << "TABLE(";
    for (size_t k = 0; k < columns.size(); ++k) {
      size_t blank = columns[k].find(' ');
      PgType t = translateType(columns[k].substr(blank + 1), statement);
      sql << (k ? ", " : "") << columns[k].substr(0, blank) << " " << t.type;
      results.push_back(t.clause);
    }
    sql << ")";
  } else {
    // RETURNS t CAST FROM u: the routine writes a value of u; the handler checks that it fits t.
    std::string castFrom;
    if (size_t cf = lower(returns).find(" cast from "); cf != std::string::npos) {
      castFrom = trim(returns.substr(cf + 11));
      returns = trim(returns.substr(0, cf));
    }
    PgType t = translateType(returns, statement);
    if (!castFrom.empty()) {
      PgType from = translateType(castFrom, statement);
      if (from.clause.empty() || from.clause.find(':') != std::string::npos || !t.clause.empty())
        fail("a CAST FROM type the install script cannot translate", statement);
      t.clause = from.clause;
    }
    sql << t.type;
    results.push_back(t.clause);
    writesFile = t.file || (lname == "quarnxml.content" && params.size() > 1);
  }
  if (std::any_of(results.begin(), results.end(), [](const std::string &s) { return !s.empty(); })) {
    options << " result=";
    for (size_t k = 0; k < results.size(); ++k) options << (k ? "," : "") << results[k];
  }
  if (hasClause(clauses, "scratchpad")) options << " scratchpad";
  if (hasClause(clauses, "final call")) options << " final_call";
  if (hasClause(clauses, "dbinfo")) options << " dbinfo";
  if (!specific.empty()) options << " specific=" << specific;

  std::string volatility = "VOLATILE";
  if (hasClause(clauses, "not variant") || (hasClause(clauses, "deterministic") && !hasClause(clauses, "not deterministic")))
    volatility = "IMMUTABLE";
  if (writesFile) volatility = "VOLATILE";
  else if (readsFile && volatility == "IMMUTABLE") volatility = "STABLE";
  std::string parallel = hasClause(clauses, "allow parallel") && !hasClause(clauses, "disallow parallel") && !writesFile &&
                                 volatility != "VOLATILE"
                             ? "SAFE"
                             : "RESTRICTED";
  std::string nulls = hasClause(clauses, "returns null on null input") ? "STRICT" : "CALLED ON NULL INPUT";
  sql << "\n  LANGUAGE quarnsql " << volatility << " PARALLEL " << parallel << " " << nulls << "\n  AS '" << options.str()
      << "';\n";
  return sql.str();
}

std::string translateDistinctType(const std::string &statement) {
  const std::string head = "create distinct type ";
  std::string s = lower(statement);
  size_t as = s.find(" as ");
  if (s.rfind(head, 0) != 0 || as == std::string::npos) fail("not a distinct type", statement);
  std::string qualified = trim(s.substr(head.size(), as - head.size()));
  size_t dot = qualified.find('.');
  std::string source = trim(s.substr(as + 4));
  bool comparisons = false;
  if (size_t w = source.find(" with comparisons"); w != std::string::npos) {
    comparisons = true;
    source = trim(source.substr(0, w));
  }
  std::string base = source, length = "0";
  if (size_t open = source.find('('); open != std::string::npos) {
    base = source.substr(0, open);
    length = std::to_string(lengthOf(source.substr(open + 1, source.find(')') - open - 1)));
  }
  return "SELECT quarnsql.create_distinct_type('" + qualified.substr(0, dot) + "', '" + qualified.substr(dot + 1) +
         "', '" + base + "', " + length + ", " + (comparisons ? "true" : "false") + ");\n";
}

// The entry of a registration's external name 'lib!entry', or "".
std::string entryOf(const std::string &statement) {
  size_t at = statement.find("external name '");
  if (at == std::string::npos) return "";
  size_t bang = statement.find('!', at);
  size_t end = statement.find('\'', at + 15);
  return bang == std::string::npos || bang > end ? "" : statement.substr(bang + 1, end - bang - 1);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: qsinstallgen <quarnxml_base.sql> <output file>\n");
    return 2;
  }
  try {
    std::ifstream base(argv[1]);
    if (!base) throw std::runtime_error(std::string("cannot read ") + argv[1]);
    std::ostringstream out;
    out << std::string(std::istreambuf_iterator<char>(base), std::istreambuf_iterator<char>());
    out << "\n-- Generated by qsinstallgen from the registrations of database enablement; do not edit.\n\n";

    std::vector<KelNumberedStatement> statements = kelFunctionRegistrations();
    const std::vector<KelNumberedStatement> &dbcs = kelDoubleByteRegistrations();
    statements.insert(statements.end(), dbcs.begin(), dbcs.end());
    const std::set<std::string> entries = tableEntries();
    std::set<std::string> registered;
    out << "-- The distinct types.\n";
    for (const KelNumberedStatement &s : statements)
      if (lower(s.text).rfind("create distinct type ", 0) == 0) out << translateDistinctType(s.text);
    out << "UPDATE quarnsql.distinct_types SET by_extension = true;\n\n-- The functions of the function table.\n";
    for (const KelNumberedStatement &s : statements) {
      std::string entry = entryOf(s.text);
      if (lower(s.text).rfind("create function ", 0) != 0 || entries.count(entry) == 0) continue;
      out << translateFunction(s.text);
      registered.insert(entry);
    }
    for (const std::string &e : entries)
      if (registered.count(e) == 0) throw std::runtime_error("no registration names the entry " + e);

    std::ofstream file(argv[2], std::ios::trunc);
    file << out.str();
    if (!file.flush()) throw std::runtime_error(std::string("cannot write ") + argv[2]);
  } catch (const std::exception &e) {
    std::fprintf(stderr, "qsinstallgen: %s\n", e.what());
    return 1;
  }
  return 0;
}
