/*
 * kelsql.cpp - SQL text helpers: tokenizer, name parsers, identifier quoting, query clean-up,
 * catalogue query texts, type-name and timestamp normalisation, bind-list locations.
 * Conversions to and from the database code page use a private strict copy of the call's
 * database converter, so a name that the code page cannot represent is refused rather than
 * silently substituted.
 */
#include "kelsql.h"

#include <sys/stat.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kelcodepage.h"
#include "kelctx.h"
#include "kelfile.h"
#include "kelinterr.h"
#include "kelmsg.h"
#include "keltrace.h"

namespace {

constexpr const char kUnit[] = "kelutil";

constexpr UChar kNotSign = 0x00AC;
constexpr UChar kDelimiters[] = u"+-/*().,=<>^!|;?:{}[]&\u00AC";

bool isSqlSpace(UChar c) { return c == u' ' || c == u'\n' || c == u'\t' || c == u'\r'; }
bool isDelimiter(UChar c) { return c != 0 && u_strchr(kDelimiters, c) != nullptr; }
bool isDigit(UChar c) { return c >= u'0' && c <= u'9'; }

// The database folds the letters of an ordinary identifier to upper case, ASCII letters only
// (grün is GRüN in its catalogue); so must every name the extension passes to it, or the two
// name different objects.
UChar foldOrdinaryIdChar(UChar c) { return c >= u'a' && c <= u'z' ? static_cast<UChar>(c - u'a' + u'A') : c; }

struct ConverterCloser {
  void operator()(UConverter *c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// A private converter of the call's database code page (UTF-8 without one) that stops at the
// first unmappable or invalid character instead of substituting it.
ConverterPtr strictDbConverter(KelCallContext *ctx) {
  UErrorCode err = U_ZERO_ERROR;
  UConverter *db = ctx != nullptr && ctx->codePages != nullptr ? ctx->codePages->dbConverter
                                                                : nullptr;
  ConverterPtr conv(db != nullptr ? ucnv_clone(db, &err) : ucnv_open("UTF-8", &err));
  if (U_FAILURE(err) || conv == nullptr) return nullptr;
  ucnv_setToUCallBack(conv.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
  ucnv_setFromUCallBack(conv.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &err);
  if (U_FAILURE(err)) return nullptr;
  return conv;
}

// Database-code-page bytes to UTF-16.  False for invalid input.
bool toUtf16(KelCallContext *ctx, const char *src, int32_t srcLen, std::u16string *out) {
  ConverterPtr conv = strictDbConverter(ctx);
  if (conv == nullptr) return false;
  out->assign(static_cast<size_t>(srcLen) * 2 + 2, u'\0');
  UErrorCode err = U_ZERO_ERROR;
  int32_t n = ucnv_toUChars(conv.get(), out->data(), static_cast<int32_t>(out->size()), src,
                            srcLen, &err);
  if (U_FAILURE(err)) return false;
  out->resize(static_cast<size_t>(n));
  return true;
}

// UTF-16 to database-code-page bytes.  False for text the code page cannot represent.
bool fromUtf16(KelCallContext *ctx, const UChar *src, int32_t srcLen, std::string *out) {
  ConverterPtr conv = strictDbConverter(ctx);
  if (conv == nullptr) return false;
  out->assign(static_cast<size_t>(srcLen) * 4 + 4, '\0');
  UErrorCode err = U_ZERO_ERROR;
  int32_t n = ucnv_fromUChars(conv.get(), out->data(), static_cast<int32_t>(out->size()), src,
                              srcLen, &err);
  if (U_FAILURE(err)) return false;
  out->resize(static_cast<size_t>(n));
  return true;
}

// UTF-8 form of a UTF-16 text for trace lines (invalid units substituted).
std::string traceText(const UChar *text) {
  if (text == nullptr) return std::string();
  int32_t units = u_strlen(text);
  std::string out(static_cast<size_t>(units) * 3 + 1, '\0');
  int32_t n = 0;
  UErrorCode err = U_ZERO_ERROR;
  u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &n, text, units, 0xFFFD,
                     nullptr, &err);
  if (U_FAILURE(err)) return std::string();
  out.resize(static_cast<size_t>(n));
  return out;
}

void setToken(KelSqlToken *token, int tokenClass, const UChar *start, const UChar *end) {
  token->tokenClass = tokenClass;
  token->start = start;
  token->end = end;
}

// Stores an identifier's text (UTF-16) in the token, converted to the database code page.
void setIdentifier(KelCallContext *ctx, KelSqlToken *token, int tokenClass,
                   const std::u16string &ident) {
  if (ident.size() > static_cast<size_t>(KEL_MAX_SQL_ID_CHARS)) {
    token->tokenClass = KEL_TOK_TOO_LONG;
    return;
  }
  std::string bytes;
  if (!fromUtf16(ctx, ident.data(), static_cast<int32_t>(ident.size()), &bytes) ||
      bytes.size() >= sizeof(token->text)) {
    KEL_TRACE(ctx, "identifier cannot be converted '%s'\n", traceText(ident.c_str()).c_str());
    token->tokenClass = KEL_TOK_NOT_CONVERTIBLE;
    return;
  }
  std::memcpy(token->text, bytes.c_str(), bytes.size() + 1);
  token->tokenClass = tokenClass;
}

// A quoted run starting at the quote q: returns the closing quote, or null when there is none.
// Two quotes in a row stand for one; each character of the content goes to content (if any).
const UChar *scanQuoted(const UChar *q, std::u16string *content) {
  const UChar quote = *q;
  for (const UChar *p = q + 1; *p != 0; ++p) {
    if (*p == quote) {
      if (p[1] != quote) return p;
      ++p;
    }
    if (content != nullptr) content->push_back(*p);
  }
  return nullptr;
}

bool isIdentifierToken(const KelSqlToken &token) {
  return (token.tokenClass == KEL_TOK_DELIMITED_ID || token.tokenClass == KEL_TOK_ORDINARY_ID) &&
         token.text[0] != '\0';
}

bool isPointToken(const KelSqlToken &token) {
  return token.tokenClass == KEL_TOK_DELIMITER && *token.start == u'.';
}

void clearOut(char *buf, int capacity) { kelClearText(buf, capacity); }
bool copyPart(const char *part, char *buf, int capacity) { return kelCopyText(part, buf, capacity); }

// "@<dir>/bnd/<list>" for the directory named by envName.
int bindListPath(KelCallContext *ctx, const char *envName, const char *listName, char *path) {
  if (path == nullptr) return KEL_BIND_NO_BUFFER;
  path[0] = '\0';
  const char *dir = std::getenv(envName);
  if (dir == nullptr || dir[0] == '\0') {
    KEL_TRACE(ctx, "%s not set\n", envName);
    return KEL_BIND_NO_ENV;
  }
  std::string result = "@";
  result += dir;
  if (result.back() != '/') result += '/';
  result += "bnd/";
  result += listName;
  if (result.size() > static_cast<size_t>(KEL_MAX_PATH)) {
    KEL_TRACE(ctx, "%s too long\n", envName);
    return KEL_BIND_NO_ENV;
  }
  std::memcpy(path, result.c_str(), result.size() + 1);
  KEL_TRACE(ctx, "bind list '%s'\n", path);
  return 0;
}

}  // namespace

void kelClearText(char *buf, int capacity) {
  if (buf != nullptr && capacity > 0) buf[0] = '\0';
}

bool kelCopyText(const char *text, char *buf, int capacity) {
  size_t len = std::strlen(text);
  if (buf == nullptr || capacity <= 0 || len >= static_cast<size_t>(capacity)) return false;
  std::memcpy(buf, text, len + 1);
  return true;
}

void kelGetSqlToken(KelCallContext *ctx, const UChar **text, KelSqlToken *token) {
  token->text[0] = '\0';
  const UChar *p = *text;
  while (isSqlSpace(*p)) ++p;
  if (*p == 0) {
    setToken(token, KEL_TOK_END, p, p);
    *text = p;
    return;
  }
  const UChar c = *p;

  // Delimited identifier.
  if (c == u'"') {
    std::u16string ident;
    const UChar *close = scanQuoted(p, &ident);
    if (close == nullptr) {
      const UChar *end = p + u_strlen(p);
      setToken(token, KEL_TOK_UNTERMINATED, p, end - 1);
      *text = end;
      return;
    }
    setToken(token, KEL_TOK_DELIMITED_ID, p, close);
    setIdentifier(ctx, token, KEL_TOK_DELIMITED_ID, ident);
    *text = close + 1;
    return;
  }

  // String literal, also hexadecimal (X), graphic (G) and national (N).
  const bool prefixed = (c == u'X' || c == u'x' || c == u'G' || c == u'g' || c == u'N' ||
                         c == u'n') && p[1] == u'\'';
  if (c == u'\'' || prefixed) {
    const UChar *close = scanQuoted(prefixed ? p + 1 : p, nullptr);
    if (close == nullptr) {
      const UChar *end = p + u_strlen(p);
      setToken(token, KEL_TOK_UNTERMINATED, p, end - 1);
      *text = end;
      return;
    }
    setToken(token, KEL_TOK_STRING, p, close);
    *text = close + 1;
    return;
  }

  // Number.
  if (isDigit(c) || (c == u'.' && isDigit(p[1]))) {
    const UChar *q = p;
    int tokenClass = KEL_TOK_INTEGER;
    while (isDigit(*q)) ++q;
    if (*q == u'.') {
      tokenClass = KEL_TOK_DECIMAL;
      ++q;
      while (isDigit(*q)) ++q;
    }
    if (*q == u'E' || *q == u'e') {
      const UChar *e = q + 1;
      if (*e == u'+' || *e == u'-') ++e;
      if (isDigit(*e)) {
        tokenClass = KEL_TOK_FLOAT;
        while (isDigit(*e)) ++e;
        q = e;
      }
    }
    if (*q != 0 && !isSqlSpace(*q) && !isDelimiter(*q)) tokenClass = KEL_TOK_BAD_NUMBER;
    setToken(token, tokenClass, p, q - 1);
    *text = q;
    return;
  }

  // Two-character operators.
  const UChar next = p[1];
  const bool comparisonFollows = next == u'<' || next == u'=' || next == u'>';
  if ((c == u'<' && (next == u'=' || next == u'>')) || (c == u'>' && next == u'=') ||
      (c == u'|' && next == u'|') ||
      ((c == u'^' || c == kNotSign || c == u'!') && comparisonFollows)) {
    setToken(token, KEL_TOK_OPERATOR, p, p + 1);
    *text = p + 2;
    return;
  }

  if (isDelimiter(c)) {
    setToken(token, KEL_TOK_DELIMITER, p, p);
    *text = p + 1;
    return;
  }

  // Ordinary identifier: up to white space or a delimiter, its ASCII letters upper-cased.
  const UChar *q = p;
  while (*q != 0 && !isSqlSpace(*q) && !isDelimiter(*q)) ++q;
  const int32_t units = static_cast<int32_t>(q - p);
  setToken(token, KEL_TOK_ORDINARY_ID, p, q - 1);
  *text = q;
  if (units > KEL_MAX_SQL_ID_CHARS) {
    token->tokenClass = KEL_TOK_TOO_LONG;
    return;
  }
  std::u16string upper(p, static_cast<size_t>(units));
  for (char16_t &c : upper) c = foldOrdinaryIdChar(c);
  setIdentifier(ctx, token, KEL_TOK_ORDINARY_ID, upper);
}

const UChar *kelQuoteInWord(const KelSqlToken *token) {
  const int c = token->tokenClass;
  const bool word = c == KEL_TOK_ORDINARY_ID || c == KEL_TOK_TOO_LONG || c == KEL_TOK_NOT_CONVERTIBLE;
  if (!word || token->start == nullptr || token->end == nullptr || *token->start == u'\'' ||
      *token->start == u'"')
    return nullptr;
  for (const UChar *p = token->start + 1; p <= token->end && *p != 0; ++p)
    if (*p == u'\'' || *p == u'"') return p;
  return nullptr;
}

int kelParseSqlQualifiedId(KelCallContext *ctx, const UChar **text, KelSqlToken *token,
                           int maxParts, int *nParts, char (*parts)[KEL_SQL_PART_SIZE]) {
  *nParts = 0;
  // An empty delimited identifier ("") names nothing and is not accepted as a part.
  if (maxParts < 1 || !isIdentifierToken(*token)) return KEL_SQL_NOT_AN_ID;
  for (;;) {
    if (!copyPart(token->text, parts[*nParts], KEL_SQL_PART_SIZE)) return KEL_SQL_PART_TOO_LONG;
    ++*nParts;
    kelGetSqlToken(ctx, text, token);
    if (*nParts >= maxParts || !isPointToken(*token)) return 0;
    // A point must be followed by the next part: "a." is not a name.
    kelGetSqlToken(ctx, text, token);
    if (!isIdentifierToken(*token)) return KEL_SQL_NOT_AN_ID;
  }
}

int kelParseWQualTbl(KelCallContext *ctx, const UChar *name, char *schema, int schemaCap,
                     char *table, int tableCap) {
  clearOut(schema, schemaCap);
  clearOut(table, tableCap);
  if (name == nullptr) return KEL_SQL_NOT_AN_ID;
  const UChar *p = name;
  KelSqlToken token;
  kelGetSqlToken(ctx, &p, &token);
  char parts[2][KEL_SQL_PART_SIZE];
  int nParts = 0;
  int rc = kelParseSqlQualifiedId(ctx, &p, &token, 2, &nParts, parts);
  if (rc < 0) {
    KEL_TRACE(ctx, "qualified name '%s' rc=%d\n", traceText(name).c_str(), rc);
    return rc;
  }
  if (token.tokenClass != KEL_TOK_END) {
    KEL_TRACE(ctx, "text after the name '%s'\n", traceText(name).c_str());
    return KEL_SQL_TRAILING_TEXT;
  }
  const char *schemaPart = nParts == 2 ? parts[0] : "";
  if (!copyPart(schemaPart, schema, schemaCap) || !copyPart(parts[nParts - 1], table, tableCap)) {
    clearOut(schema, schemaCap);
    clearOut(table, tableCap);
    KEL_TRACE(ctx, "name part too long '%s'\n", traceText(name).c_str());
    return KEL_SQL_PART_TOO_LONG;
  }
  return 0;
}

int kelParseQualTbl(KelCallContext *ctx, const char *name, char *schema, int schemaCap,
                    char *table, int tableCap) {
  clearOut(schema, schemaCap);
  clearOut(table, tableCap);
  std::u16string wname;
  if (name == nullptr || !toUtf16(ctx, name, static_cast<int32_t>(std::strlen(name)), &wname))
    return KEL_SQL_NOT_AN_ID;
  if (wname.size() > static_cast<size_t>(KEL_MAX_QUALIFIED_NAME)) return KEL_SQL_PART_TOO_LONG;
  unsigned shown[5] = {0, 0, 0, 0, 0};
  for (size_t i = 0; i < 5 && i < wname.size(); ++i) shown[i] = wname[i];
  KEL_TRACE(ctx, "wqualId %x %x %x %x %x\n", shown[0], shown[1], shown[2], shown[3], shown[4]);
  return kelParseWQualTbl(ctx, wname.c_str(), schema, schemaCap, table, tableCap);
}

int kelParseWCol(KelCallContext *ctx, const UChar *name, char *ident, int capacity) {
  clearOut(ident, capacity);
  if (name == nullptr) return KEL_SQL_NOT_AN_ID;
  const UChar *p = name;
  KelSqlToken token;
  kelGetSqlToken(ctx, &p, &token);
  if (!isIdentifierToken(token)) return KEL_SQL_NOT_AN_ID;
  if (!copyPart(token.text, ident, capacity)) return KEL_SQL_PART_TOO_LONG;
  kelGetSqlToken(ctx, &p, &token);
  if (token.tokenClass != KEL_TOK_END) {
    clearOut(ident, capacity);
    return KEL_SQL_TRAILING_TEXT;
  }
  return 0;
}

int kelQuoteIdentifier(KelCallContext *ctx, char **pos, char *end, const char *name) {
  if (pos == nullptr || *pos == nullptr || end == nullptr || *pos > end) return KEL_QUOTE_NO_ROOM;
  std::u16string wname;
  if (name == nullptr || !toUtf16(ctx, name, static_cast<int32_t>(std::strlen(name)), &wname)) {
    KEL_TRACE(ctx, "identifier cannot be converted\n");
    return KEL_QUOTE_NOT_CONVERTIBLE;
  }
  std::u16string quoted = u"\"";
  for (UChar c : wname) {
    quoted.push_back(c);
    if (c == u'"') quoted.push_back(c);
  }
  quoted.push_back(u'"');
  std::string bytes;
  if (!fromUtf16(ctx, quoted.data(), static_cast<int32_t>(quoted.size()), &bytes)) {
    KEL_TRACE(ctx, "identifier cannot be converted\n");
    return KEL_QUOTE_NOT_CONVERTIBLE;
  }
  if (static_cast<ptrdiff_t>(bytes.size()) + 1 > end - *pos) {
    KEL_TRACE(ctx, "no room for identifier '%s'\n", name);
    *pos = end;
    return KEL_QUOTE_NO_ROOM;
  }
  std::memcpy(*pos, bytes.c_str(), bytes.size() + 1);
  *pos += bytes.size();
  return KEL_QUOTE_OK;
}

int kelCleanQuery(KelCallContext *ctx, UChar *query, char *msg, bool dropComments) {
  if (query == nullptr) return kelInternalError(ctx, msg, nullptr, kUnit, 386);
  if (ctx != nullptr && ctx->traceOn) KEL_TRACE(ctx, " in query '%s'\n", traceText(query).c_str());
  const UChar *r = query;
  UChar *w = query;
  while (isSqlSpace(*r)) ++r;
  while (*r != 0) {
    const UChar c = *r;
    if (c == u'\'' || c == u'"') {
      // Quoted text is copied as it is, up to and including its closing quote.  A doubled
      // quote closes and reopens, which copies the same characters.
      *w++ = *r++;
      while (*r != 0 && *r != c) *w++ = *r++;
      if (*r == c) *w++ = *r++;
    } else if (dropComments && ((c == u'-' && r[1] == u'-') || (c == u'/' && r[1] == u'*'))) {
      // A "--" comment runs to the end of its line: folding the line end into a blank would let
      // it run over the rest of the query, so it goes.  A block comment goes to its "*/"; one
      // without an end is left for the database to refuse.  Either counts as white space.
      if (c == u'-') {
        while (*r != 0 && *r != u'\n' && *r != u'\r') ++r;
      } else {
        const UChar *end = r + 2;
        while (*end != 0 && !(end[0] == u'*' && end[1] == u'/')) ++end;
        if (*end == 0) {
          while (*r != 0) *w++ = *r++;
          break;
        }
        r = end + 2;
      }
      while (isSqlSpace(*r)) ++r;
      if (w != query && w[-1] != u' ' && *r != 0) *w++ = u' ';
    } else if (isSqlSpace(c)) {
      while (isSqlSpace(*r)) ++r;
      // The comment writes the blank.
      if (dropComments && ((r[0] == u'-' && r[1] == u'-') || (r[0] == u'/' && r[1] == u'*'))) continue;
      *w++ = u' ';
    } else {
      *w++ = *r++;
    }
  }
  *w = 0;
  if (ctx != nullptr && ctx->traceOn) KEL_TRACE(ctx, " outquery '%s'\n", traceText(query).c_str());
  return 0;
}

namespace {

struct KindText {
  int kind;
  const char *text;
};

// The catalogue queries as data: what is selected, from which view, under which condition.
// Every value of a condition is a parameter marker.
constexpr KindText kSelectTexts[] = {
    {KEL_SEL_COUNT, "SELECT COUNT(*) FROM "},
    {KEL_SEL_COLNAME, "SELECT colname FROM "},
    {KEL_SEL_COLNO, "SELECT colno FROM "},
    {KEL_SEL_KEYCOLUMNS, "SELECT KEYCOLUMNS FROM "},
    {KEL_SEL_TYPE, "SELECT typename, length FROM "},
    {KEL_SEL_TYPE_KEY, "SELECT typename, length, scale,keyseq FROM "},
    {KEL_SEL_BSCHEMA, "SELECT bschema FROM "},
};
constexpr KindText kViewTexts[] = {
    {KEL_VIEW_COLUMNS, "syscat.columns WHERE "},
    {KEL_VIEW_TABLES, "syscat.tables WHERE "},
    {KEL_VIEW_TRIGGERS, "syscat.triggers WHERE "},
    {KEL_VIEW_TRIGDEP, "syscat.trigdep WHERE "},
};
constexpr KindText kConditionTexts[] = {
    {KEL_COND_TABLE, "tabschema = ? AND tabname = ?"},
    {KEL_COND_TABLE2, "tabschema = ? AND tabname = ?"},
    {KEL_COND_COLUMN, "tabschema = ? AND tabname = ? AND colname = ?"},
    {KEL_COND_TRIGGER, "TRIGNAME = ?"},
    {KEL_COND_KEYSEQ, "tabschema = ? AND tabname = ? AND keyseq = ?"},
    {KEL_COND_TRIGDEP, "trigschema = ? AND trigname like ? AND bname = ? AND btype='T'"},
};

template <size_t N>
constexpr size_t longest(const KindText (&table)[N]) {
  size_t most = 0;
  for (const KindText &entry : table) {
    size_t len = std::char_traits<char>::length(entry.text);
    if (len > most) most = len;
  }
  return most;
}
static_assert(longest(kSelectTexts) + longest(kViewTexts) + longest(kConditionTexts) <
                  static_cast<size_t>(KEL_CATALOG_STMT_SIZE),
              "a catalogue query must fit KEL_CATALOG_STMT_SIZE");

template <size_t N>
std::string_view textOf(const KindText (&table)[N], int kind) {
  for (const KindText &entry : table)
    if (entry.kind == kind) return entry.text;
  return {};
}

}  // namespace

int kelBuildSQLstmt(KelCallContext *ctx, char *stmt, int selectKind, int viewKind, int condKind) {
  std::string text;
  text += textOf(kSelectTexts, selectKind);
  text += textOf(kViewTexts, viewKind);
  text += textOf(kConditionTexts, condKind);
  std::memcpy(stmt, text.c_str(), text.size() + 1);
  KEL_TRACE(ctx, "stmt = %s\n", stmt);
  return static_cast<int>(text.size());
}

void kelConvertTypename(KelCallContext *ctx, char *typeName, int length) {
  if (typeName == nullptr) return;
  const std::string_view name(typeName);
  const char *normal = nullptr;
  if (name == "INT") normal = "INTEGER";
  else if (name == "DEC" || name == "NUMERIC" || name == "NUM") normal = "DECIMAL";
  else if (name == "FLOAT" && length >= 1 && length <= 24) normal = "REAL";
  else if (name == "DOUBLE PRECISION" || (name == "FLOAT" && length >= 25 && length <= 53))
    normal = "DOUBLE";
  else if (name == "CHAR") normal = "CHARACTER";
  else if (name == "CHARACTER VARYING" || name == "CHAR VARYING") normal = "VARCHAR";
  if (normal == nullptr) return;
  KEL_TRACE(ctx, "type '%s' length %d is '%s'\n", typeName, length, normal);
  std::strcpy(typeName, normal);
}

bool kelIsGraphicType(const char *typeName) {
  if (typeName == nullptr) return false;
  std::string_view name(typeName);
  return name.starts_with("GRAPHIC") || name.starts_with("VARGRAPHIC");
}

bool kelIsQuotedType(const char *typeName) {
  if (typeName == nullptr) return false;
  std::string_view name(typeName);
  for (std::string_view prefix : {"CHAR", "VARCHAR", "DATE", "TIME", "TIMESTAMP", "GRAPHIC",
                                  "VARGRAPHIC"})
    if (name.starts_with(prefix)) return true;
  return false;
}

int normal_tstamp(KelCallContext *ctx, const char *text, int length, char *tsBuf) {
  if (tsBuf == nullptr) return -1;
  tsBuf[0] = '\0';
  if (text == nullptr || length <= 0 || length >= KEL_TIMESTAMP_SIZE) return -1;
  const std::string_view in(text, static_cast<size_t>(length));
  size_t at = 0;
  char out[KEL_TIMESTAMP_SIZE] = {};

  // Reads minDigits..maxDigits digits and writes them right-aligned in width places at outPos.
  auto field = [&](size_t minDigits, size_t maxDigits, size_t outPos, size_t width) {
    size_t n = 0;
    while (at + n < in.size() && n < maxDigits && in[at + n] >= '0' && in[at + n] <= '9') ++n;
    if (n < minDigits) return false;
    for (size_t i = 0; i < width - n; ++i) out[outPos + i] = '0';
    std::memcpy(out + outPos + (width - n), in.data() + at, n);
    at += n;
    return true;
  };
  auto separator = [&](std::string_view allowed, size_t outPos) {
    if (at >= in.size() || allowed.find(in[at]) == std::string_view::npos) return false;
    out[outPos] = in[at++];
    return true;
  };

  bool ok = field(4, 4, 0, 4) && separator("-", 4) && field(1, 2, 5, 2) && separator("-", 7) &&
            field(1, 2, 8, 2) && separator("- ", 10) && field(1, 2, 11, 2) &&
            separator(".:", 13) && field(1, 2, 14, 2) && separator(".:", 16) &&
            field(1, 2, 17, 2);
  if (ok && at < in.size()) {
    // Fraction: a point and one to six digits, written as given.
    ok = separator(".", 19);
    size_t digits = 0;
    while (ok && at < in.size() && in[at] >= '0' && in[at] <= '9' && digits < 6)
      out[20 + digits++] = in[at++];
    KEL_TRACE(ctx, " microsecond num_digits='%d'\n", static_cast<int>(digits));
    if (digits == 0) ok = false;
  }
  if (!ok || at != in.size()) return -1;
  std::memcpy(tsBuf, out, sizeof(out));
  KEL_TRACE(ctx, "Exit. ts_buf= '%s'\n", tsBuf);
  return 0;
}

int kelGetBindDir(KelCallContext *ctx, char *path) {
  return bindListPath(ctx, "QUARNKELPATH", "kelbind.lst", path);
}

int kelGetBindCliDir(KelCallContext *ctx, char *path) {
  return bindListPath(ctx, "QUARNPATH", "quarncli.lst", path);
}
