// SQL text helpers: the tokenizer's classes and positions, the name parsers and their codes,
// quoting of hostile names, query clean-up, catalogue query texts, type names, timestamps and
// bind-list locations.  Calls run with a UTF-8 database code page (the engine's), with a
// single-byte one where conversion failures matter, and without a context.
#include "kelsql.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "kel_test_db.h"
#include "kel_test_env.h"
#include "kelcodepage.h"
#include "kelctx.h"
#include "kelfile.h"
#include "kelbuf.h"
#include "kelmsg.h"
#include "quarnapp.h"

namespace {

// A call whose database code page is dbCodePage, traced into a file of its own.
class SqlCall {
 public:
  explicit SqlCall(int32_t dbCodePage = KEL_CP_UTF8) {
    ctx_.codePages = static_cast<KelCodePages *>(std::calloc(1, sizeof(KelCodePages)));
    traceName_ = dir_.file("call.trc");
    ctx_.traceFile = std::fopen(traceName_.c_str(), "w");
    ctx_.traceOn = 1;
    ctx_.fullMessages = KEL_FULL_MESSAGES;
    KelCodePageRequest request{KEL_CP_FUNCTION_MODE, dbCodePage, nullptr};
    EXPECT_EQ(initICU(&ctx_, KEL_CP_FUNCTION_MODE, &request, "UTF-8"), 0);
  }
  ~SqlCall() {
    char state[6];
    kelTerm(&ctx_, state);
  }
  KelCallContext *ctx() { return &ctx_; }
  std::string trace() {
    std::fflush(ctx_.traceFile);
    return keltest::readFile(traceName_);
  }

 private:
  keltest::TempDir dir_;
  std::string traceName_;
  KelCallContext ctx_{};
};

struct Tok {
  int cls;
  std::string text;
  std::u16string span;  // the characters from start to end
};

// All tokens of text up to and including the end (or the first error class).
std::vector<Tok> tokens(KelCallContext *ctx, const std::u16string &text) {
  std::vector<Tok> out;
  const UChar *p = text.c_str();
  for (int guard = 0; guard < 100; ++guard) {
    KelSqlToken t;
    kelGetSqlToken(ctx, &p, &t);
    Tok tok{t.tokenClass, t.text, {}};
    if (t.tokenClass != KEL_TOK_END) tok.span.assign(t.start, t.end + 1);
    out.push_back(tok);
    if (t.tokenClass == KEL_TOK_END || t.tokenClass < 0) break;
  }
  return out;
}

int firstClass(const std::u16string &text) { return tokens(nullptr, text).front().cls; }

TEST(KelSqlToken, QualifiedNameSplitsIntoUpperCasedPartsAndPoint) {
  SqlCall call;
  auto t = tokens(call.ctx(), u"abc.def");
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[0].cls, KEL_TOK_ORDINARY_ID);
  EXPECT_EQ(t[0].text, "ABC");
  EXPECT_EQ(t[0].span, u"abc");
  EXPECT_EQ(t[1].cls, KEL_TOK_DELIMITER);
  EXPECT_EQ(t[1].span, u".");
  EXPECT_EQ(t[1].text, "");
  EXPECT_EQ(t[2].text, "DEF");
  EXPECT_EQ(t[3].cls, KEL_TOK_END);
}

TEST(KelSqlToken, DelimitedIdentifierKeepsCaseAndUndoublesQuotes) {
  SqlCall call;
  auto t = tokens(call.ctx(), u" \t\r\n\"a\"\"b\" x");
  ASSERT_GE(t.size(), 2u);
  EXPECT_EQ(t[0].cls, KEL_TOK_DELIMITED_ID);
  EXPECT_EQ(t[0].text, "a\"b");
  EXPECT_EQ(t[0].span, u"\"a\"\"b\"");
  EXPECT_EQ(t[1].text, "X");
  // Delimiters and blanks stay inside; without a context the text is UTF-8.
  auto u = tokens(nullptr, u"\"My Tab.le (\u00e9)\"");
  EXPECT_EQ(u[0].cls, KEL_TOK_DELIMITED_ID);
  EXPECT_EQ(u[0].text, "My Tab.le (\xc3\xa9)");
}

TEST(KelSqlToken, NumbersAndNumbersGluedToLetters) {
  EXPECT_EQ(firstClass(u"12.5E+3x"), KEL_TOK_BAD_NUMBER);
  EXPECT_EQ(firstClass(u"12.5E+3"), KEL_TOK_FLOAT);
  EXPECT_EQ(firstClass(u"1e-7)"), KEL_TOK_FLOAT);
  EXPECT_EQ(firstClass(u"12.5 "), KEL_TOK_DECIMAL);
  EXPECT_EQ(firstClass(u".5,"), KEL_TOK_DECIMAL);
  EXPECT_EQ(firstClass(u"42"), KEL_TOK_INTEGER);
  EXPECT_EQ(firstClass(u"12E"), KEL_TOK_BAD_NUMBER);  // an exponent needs digits
  EXPECT_EQ(firstClass(u"7abc"), KEL_TOK_BAD_NUMBER);
  auto t = tokens(nullptr, u"3+4.25");
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[0].span, u"3");
  EXPECT_EQ(t[1].cls, KEL_TOK_DELIMITER);
  EXPECT_EQ(t[2].cls, KEL_TOK_DECIMAL);
  EXPECT_EQ(t[2].span, u"4.25");
}

TEST(KelSqlToken, StringLiteralsWithPrefixesAndUnterminatedText) {
  auto t = tokens(nullptr, u"'it''s' X'0A' g'x' N'y' n");
  ASSERT_EQ(t.size(), 6u);
  EXPECT_EQ(t[0].cls, KEL_TOK_STRING);
  EXPECT_EQ(t[0].span, u"'it''s'");
  EXPECT_EQ(t[0].text, "");
  EXPECT_EQ(t[1].span, u"X'0A'");
  EXPECT_EQ(t[2].span, u"g'x'");
  EXPECT_EQ(t[3].span, u"N'y'");
  EXPECT_EQ(t[4].cls, KEL_TOK_ORDINARY_ID);  // a prefix letter without a quote is a name
  EXPECT_EQ(t[4].text, "N");

  for (const std::u16string text : {u"'abc", u"x'ab''", u"\"abc", u"\"ab\"\""}) {
    const UChar *p = text.c_str();
    KelSqlToken tok;
    kelGetSqlToken(nullptr, &p, &tok);
    EXPECT_EQ(tok.tokenClass, KEL_TOK_UNTERMINATED);
    EXPECT_EQ(p, text.c_str() + text.size()) << "the text is consumed to its end";
  }
}

TEST(KelSqlToken, QuotesInsideWordsAreFound) {
  // The tokenizer keeps a quote after a word's first character in the word; where the database
  // would start a literal or identifier is what kelQuoteInWord tells.
  const std::u16string text = u"LIKE'x' a\"b X'41' 'c' \"d\" plain";
  const UChar *p = text.c_str();
  std::vector<std::u16string> found;
  for (int guard = 0; guard < 20; ++guard) {
    KelSqlToken t;
    kelGetSqlToken(nullptr, &p, &t);
    if (t.tokenClass == KEL_TOK_END) break;
    if (const UChar *q = kelQuoteInWord(&t)) found.emplace_back(t.start, q);
  }
  EXPECT_EQ(found, (std::vector<std::u16string>{u"LIKE", u"a"}));
}

TEST(KelSqlToken, OperatorsAndDelimiters) {
  for (const std::u16string op : {u"<=", u">=", u"<>", u"||", u"^=", u"^<", u"!>", u"!=",
                                   u"\u00ac=", u"\u00ac>"}) {
    auto t = tokens(nullptr, op + u"a");
    EXPECT_EQ(t[0].cls, KEL_TOK_OPERATOR);
    EXPECT_EQ(t[0].span, op);
    EXPECT_EQ(t[1].text, "A");
  }
  auto t = tokens(nullptr, u"=>|\u00ac?");
  ASSERT_EQ(t.size(), 6u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(t[i].cls, KEL_TOK_DELIMITER) << i;
  EXPECT_EQ(t[3].span, u"\u00ac");
}

TEST(KelSqlToken, IdentifierLengthLimitAndCodePage) {
  std::u16string longest(KEL_MAX_SQL_ID_CHARS, u'a');
  EXPECT_EQ(firstClass(longest), KEL_TOK_ORDINARY_ID);
  EXPECT_EQ(firstClass(longest + u"a"), KEL_TOK_TOO_LONG);
  EXPECT_EQ(firstClass(u"\"" + longest + u"\""), KEL_TOK_DELIMITED_ID);
  EXPECT_EQ(firstClass(u"\"" + longest + u"a\""), KEL_TOK_TOO_LONG);
  // A name the database code page cannot hold is refused, not substituted.
  SqlCall latin1(819);
  EXPECT_EQ(tokens(latin1.ctx(), u"\u4e2d")[0].cls, KEL_TOK_NOT_CONVERTIBLE);
  EXPECT_EQ(tokens(latin1.ctx(), u"gr\u00fcn")[0].text, "GR\xfcN");
}

// The database folds only the ASCII letters of an ordinary identifier (grün is GRüN in its
// catalogue); the tokenizer folds the same, or the extension would name another object.  It
// used to upper-case every letter (GRÜN), so a table app.grün was not found and a side table
// app.sïde was created as "SÏDE", out of reach of the name as written.
TEST(KelSqlToken, OnlyAsciiLettersOfOrdinaryIdentifiersAreUpperCased) {
  SqlCall call;
  const struct {
    std::u16string name;
    std::string folded;
  } cases[] = {
      {u"gr\u00fcn", "GR\xc3\xbcN"},                             // ü stays
      {u"s\u00efde_9", "S\xc3\xaf" "DE_9"},                          // ï stays, digits and _ too
      {u"\u00e9t\u00e9", "\xc3\xa9T\xc3\xa9"},                    // é at both ends
      {u"\u03b1b\u0444", "\xce\xb1" "B\xd1\x84"},                 // Greek and Cyrillic
      {u"\uff41b", "\xef\xbd\x81" "B"},                            // full-width a
      {u"x\U00010428", "X\xf0\x90\x90\xa8"},                      // outside the basic plane
      {u"\u0131i", "\xc4\xb1I"},                                   // dotless i stays, i is I
      {u"MiXeD", "MIXED"},
  };
  for (const auto &c : cases) {
    auto t = tokens(call.ctx(), c.name);
    EXPECT_EQ(t[0].cls, KEL_TOK_ORDINARY_ID);
    EXPECT_EQ(t[0].text, c.folded);
    EXPECT_EQ(t[1].cls, KEL_TOK_END);
  }
  // Delimited identifiers keep their case; the parsers fold each ordinary part the same way.
  char schema[KEL_SCHEMA_SIZE];
  char table[KEL_TABLE_SIZE];
  EXPECT_EQ(kelParseQualTbl(call.ctx(), "app.gr\xc3\xbcn", schema, sizeof schema, table, sizeof table), 0);
  EXPECT_STREQ(schema, "APP");
  EXPECT_STREQ(table, "GR\xc3\xbcN");
  EXPECT_EQ(kelParseWQualTbl(call.ctx(), u"\u00e4pp.\"s\u00efde\"", schema, sizeof schema, table, sizeof table), 0);
  EXPECT_STREQ(schema, "\xc3\xa4PP");
  EXPECT_STREQ(table, "s\xc3\xaf" "de");
  char col[KEL_TABLE_SIZE];
  EXPECT_EQ(kelParseWCol(nullptr, u"pr\u00e9is", col, sizeof col), 0);
  EXPECT_STREQ(col, "PR\xc3\xa9IS");
}

TEST(KelSqlParse, QualifiedTableNames) {
  SqlCall call;
  char schema[KEL_SCHEMA_SIZE];
  char table[KEL_TABLE_SIZE];
  EXPECT_EQ(kelParseWQualTbl(call.ctx(), u"sales.orders", schema, sizeof schema, table,
                             sizeof table), 0);
  EXPECT_STREQ(schema, "SALES");
  EXPECT_STREQ(table, "ORDERS");
  EXPECT_EQ(kelParseWQualTbl(call.ctx(), u" orders ", schema, sizeof schema, table, sizeof table),
            0);
  EXPECT_STREQ(schema, "");
  EXPECT_STREQ(table, "ORDERS");
  EXPECT_EQ(kelParseWQualTbl(call.ctx(), u"\"My s\" . \"t\"\"x\"", schema, sizeof schema, table,
                             sizeof table), 0);
  EXPECT_STREQ(schema, "My s");
  EXPECT_STREQ(table, "t\"x");
}

TEST(KelSqlParse, QualifiedTableNameFailures) {
  SqlCall call;
  char schema[KEL_SCHEMA_SIZE];
  char table[KEL_TABLE_SIZE];
  auto parse = [&](const std::u16string &name) {
    std::strcpy(table, "junk");
    int rc = kelParseWQualTbl(call.ctx(), name.c_str(), schema, sizeof schema, table,
                              sizeof table);
    if (rc != 0) {
      EXPECT_STREQ(table, "") << "no half result";
    }
    return rc;
  };
  EXPECT_EQ(parse(u"a.b.c"), KEL_SQL_TRAILING_TEXT);
  EXPECT_EQ(parse(u"a b"), KEL_SQL_TRAILING_TEXT);
  EXPECT_EQ(parse(u"a;drop table t"), KEL_SQL_TRAILING_TEXT);
  EXPECT_EQ(parse(std::u16string(31, u's') + u".t"), KEL_SQL_PART_TOO_LONG);
  EXPECT_EQ(parse(std::u16string(30, u's') + u".t"), 0);
  EXPECT_EQ(parse(u"s." + std::u16string(129, u't')), KEL_SQL_PART_TOO_LONG);
  EXPECT_EQ(parse(u"s." + std::u16string(128, u't')), 0);
  // A part longer than the parser's own 256-byte part buffers (but within 512 characters).
  EXPECT_EQ(parse(std::u16string(300, u't')), KEL_SQL_PART_TOO_LONG);
  EXPECT_EQ(parse(u""), KEL_SQL_NOT_AN_ID);
  EXPECT_EQ(parse(u"1abc"), KEL_SQL_NOT_AN_ID);
  EXPECT_EQ(parse(u"'t'"), KEL_SQL_NOT_AN_ID);
  EXPECT_EQ(parse(u"a."), KEL_SQL_NOT_AN_ID);
  EXPECT_EQ(parse(u"\"\""), KEL_SQL_NOT_AN_ID);
  EXPECT_EQ(kelParseWQualTbl(call.ctx(), nullptr, schema, sizeof schema, table, sizeof table),
            KEL_SQL_NOT_AN_ID);
}

TEST(KelSqlParse, CodePageNameIsConvertedAndTraced) {
  SqlCall call;
  char schema[KEL_SCHEMA_SIZE];
  char table[KEL_TABLE_SIZE];
  EXPECT_EQ(kelParseQualTbl(call.ctx(), "s.t\xc3\xa9", schema, sizeof schema, table,
                            sizeof table), 0);
  EXPECT_STREQ(schema, "S");
  EXPECT_STREQ(table, "T\xc3\xa9");
  EXPECT_NE(call.trace().find("kelParseQualTbl:\t\twqualId 73 2e 74 e9 0\n"), std::string::npos)
      << call.trace();
  std::string tooLong(KEL_MAX_QUALIFIED_NAME + 1, 'x');
  EXPECT_EQ(kelParseQualTbl(call.ctx(), tooLong.c_str(), schema, sizeof schema, table,
                            sizeof table), KEL_SQL_PART_TOO_LONG);
  EXPECT_EQ(kelParseQualTbl(call.ctx(), "t\xff", schema, sizeof schema, table, sizeof table),
            KEL_SQL_NOT_AN_ID);
}

TEST(KelSqlParse, SingleColumnName) {
  char col[KEL_TABLE_SIZE];
  EXPECT_EQ(kelParseWCol(nullptr, u" price ", col, sizeof col), 0);
  EXPECT_STREQ(col, "PRICE");
  EXPECT_EQ(kelParseWCol(nullptr, u"t.price", col, sizeof col), KEL_SQL_TRAILING_TEXT);
  EXPECT_EQ(kelParseWCol(nullptr, u"(price)", col, sizeof col), KEL_SQL_NOT_AN_ID);
  char small[4];
  EXPECT_EQ(kelParseWCol(nullptr, u"abcd", small, sizeof small), KEL_SQL_PART_TOO_LONG);
  EXPECT_EQ(kelParseWCol(nullptr, u"abc", small, sizeof small), 0);
}

TEST(KelSqlQuote, HostileNamesBecomeOneDelimitedIdentifier) {
  SqlCall call;
  char buf[64];
  char *pos = buf;
  char *end = buf + sizeof buf;
  ASSERT_EQ(kelQuoteIdentifier(call.ctx(), &pos, end, "MY\"TAB"), KEL_QUOTE_OK);
  *pos++ = '.';
  ASSERT_EQ(kelQuoteIdentifier(call.ctx(), &pos, end, "x\" ; drop table t; --"), KEL_QUOTE_OK);
  EXPECT_STREQ(buf, "\"MY\"\"TAB\".\"x\"\" ; drop table t; --\"");
  EXPECT_EQ(pos, buf + std::strlen(buf));

  // Round trip: the quoted text tokenizes back to exactly the name.
  UChar wide[64];
  ASSERT_GT(KEL_mbstowcsFunction(call.ctx(), wide, buf, 64), 0);
  const UChar *p = wide;
  KelSqlToken tok;
  kelGetSqlToken(call.ctx(), &p, &tok);
  EXPECT_STREQ(tok.text, "MY\"TAB");
}

TEST(KelSqlQuote, NoRoomAndUnconvertibleNames) {
  char buf[8];
  std::memset(buf, '#', sizeof buf);
  char *pos = buf;
  // "abcde" quoted is 7 bytes and needs a terminator: 8 bytes fit exactly.
  EXPECT_EQ(kelQuoteIdentifier(nullptr, &pos, buf + 8, "abcde"), KEL_QUOTE_OK);
  EXPECT_EQ(pos, buf + 7);
  pos = buf;
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(kelQuoteIdentifier(nullptr, &pos, buf + 8, "ab\"de"), KEL_QUOTE_NO_ROOM);
  EXPECT_EQ(pos, buf + 8);
  EXPECT_EQ(buf[0], '#') << "nothing is written when the name does not fit";
  pos = buf;
  EXPECT_EQ(kelQuoteIdentifier(nullptr, &pos, buf + 8, "a\xff"), KEL_QUOTE_NOT_CONVERTIBLE);
  EXPECT_EQ(pos, buf);
  EXPECT_EQ(kelQuoteIdentifier(nullptr, &pos, buf + 8, nullptr), KEL_QUOTE_NOT_CONVERTIBLE);
}

TEST(KelSqlCleanQuery, WhiteSpaceRunsOutsideQuotesBecomeOneBlank) {
  SqlCall call;
  std::u16string q =
      u" \t SELECT  a,\n\t b FROM t WHERE x = '  two\n spaces ' AND \"A  B\" = 'it''s  x'  ";
  char msg[KEL_MSG_BUFFER + 1] = "";
  EXPECT_EQ(kelCleanQuery(call.ctx(), q.data(), msg), 0);
  EXPECT_EQ(std::u16string(q.c_str()),
            u"SELECT a, b FROM t WHERE x = '  two\n spaces ' AND \"A  B\" = 'it''s  x' ");
  std::string trace = call.trace();
  EXPECT_NE(trace.find("kelCleanQuery:\t\t outquery 'SELECT a, b"), std::string::npos) << trace;

  // In a whole statement a comment goes with its line end: folded into one line it would take
  // the rest with it.  A condition keeps its comments for the checks that refuse them.
  std::u16string commented = u"SELECT a -- the key\n  , b--x\r\nFROM t WHERE c = '--' -- last";
  std::u16string condition = commented;
  EXPECT_EQ(kelCleanQuery(nullptr, commented.data(), msg, true), 0);
  EXPECT_EQ(std::u16string(commented.c_str()), u"SELECT a , b FROM t WHERE c = '--'");
  EXPECT_EQ(kelCleanQuery(nullptr, condition.data(), msg), 0);
  EXPECT_EQ(std::u16string(condition.c_str()), u"SELECT a -- the key , b--x FROM t WHERE c = '--' -- last");
  // So does a block comment, outside quotes; one without an end is left as it is.
  std::u16string blocks = u"/* a */ SELECT a /* x\n y */, b/**/FROM t WHERE c = '/* k */' -- /* no\n/* open";
  EXPECT_EQ(kelCleanQuery(nullptr, blocks.data(), msg, true), 0);
  EXPECT_EQ(std::u16string(blocks.c_str()), u"SELECT a , b FROM t WHERE c = '/* k */' /* open");
  std::u16string leading = u"-- first\n SELECT 1";
  EXPECT_EQ(kelCleanQuery(nullptr, leading.data(), msg, true), 0);
  EXPECT_EQ(std::u16string(leading.c_str()), u"SELECT 1");

  std::u16string open = u"a   'b   c";
  EXPECT_EQ(kelCleanQuery(nullptr, open.data(), msg), 0);
  EXPECT_EQ(std::u16string(open.c_str()), u"a 'b   c");

  EXPECT_EQ(kelCleanQuery(call.ctx(), nullptr, msg), -57);
  EXPECT_EQ(std::strncmp(msg, "KELG001E", 8), 0) << msg;
  EXPECT_NE(std::strstr(msg, "file kelutil, and line 386."), nullptr) << msg;
}

TEST(KelSqlCatalogQuery, KindsMakeParameterisedCatalogueQueries) {
  SqlCall call;
  char stmt[KEL_CATALOG_STMT_SIZE];
  kelBuildSQLstmt(call.ctx(), stmt, KEL_SEL_COUNT, KEL_VIEW_TABLES, KEL_COND_TABLE);
  EXPECT_STREQ(stmt, "SELECT COUNT(*) FROM syscat.tables WHERE tabschema = ? AND tabname = ?");
  kelBuildSQLstmt(call.ctx(), stmt, KEL_SEL_TYPE_KEY, KEL_VIEW_COLUMNS, KEL_COND_KEYSEQ);
  EXPECT_STREQ(stmt, "SELECT typename, length, scale,keyseq FROM syscat.columns WHERE "
                     "tabschema = ? AND tabname = ? AND keyseq = ?");
  int len = kelBuildSQLstmt(call.ctx(), stmt, KEL_SEL_BSCHEMA, KEL_VIEW_TRIGDEP, KEL_COND_TRIGDEP);
  EXPECT_EQ(len, static_cast<int>(std::strlen(stmt)));
  EXPECT_STREQ(stmt, "SELECT bschema FROM syscat.trigdep WHERE trigschema = ? AND trigname like "
                     "? AND bname = ? AND btype='T'");
  kelBuildSQLstmt(call.ctx(), stmt, KEL_SEL_COLNAME, 99, KEL_COND_TRIGGER);
  EXPECT_STREQ(stmt, "SELECT colname FROM TRIGNAME = ?");
  EXPECT_NE(call.trace().find("kelBuildSQLstmt:\t\tstmt = SELECT colname FROM TRIGNAME = ?\n"),
            std::string::npos);
}

TEST(KelSqlTypename, NormalisedNamesAndFloatPrecision) {
  auto convert = [](const char *name, int length) {
    char buf[KEL_TYPENAME_SIZE];
    std::strcpy(buf, name);
    kelConvertTypename(nullptr, buf, length);
    return std::string(buf);
  };
  EXPECT_EQ(convert("FLOAT", 53), "DOUBLE");
  EXPECT_EQ(convert("FLOAT", 54), "FLOAT");
  EXPECT_EQ(convert("FLOAT", 25), "DOUBLE");
  EXPECT_EQ(convert("FLOAT", 24), "REAL");
  EXPECT_EQ(convert("FLOAT", 1), "REAL");
  EXPECT_EQ(convert("FLOAT", 0), "FLOAT");
  EXPECT_EQ(convert("INT", 4), "INTEGER");
  EXPECT_EQ(convert("int", 4), "int");
  EXPECT_EQ(convert("NUM", 5), "DECIMAL");
  EXPECT_EQ(convert("DOUBLE PRECISION", 8), "DOUBLE");
  EXPECT_EQ(convert("CHAR", 10), "CHARACTER");
  EXPECT_EQ(convert("CHAR VARYING", 10), "VARCHAR");
  EXPECT_EQ(convert("CHARACTER VARYING", 10), "VARCHAR");
  EXPECT_EQ(convert("VARCHAR", 10), "VARCHAR");

  EXPECT_TRUE(kelIsGraphicType("VARGRAPHIC"));
  EXPECT_FALSE(kelIsGraphicType("VARCHAR"));
  EXPECT_TRUE(kelIsQuotedType("TIMESTAMP"));
  EXPECT_TRUE(kelIsQuotedType("CHARACTER"));
  EXPECT_FALSE(kelIsQuotedType("INTEGER"));
  EXPECT_FALSE(kelIsQuotedType("CLOB"));
  EXPECT_FALSE(kelIsQuotedType(nullptr));
}

TEST(KelSqlTimestamp, OneDigitFieldsArePadded) {
  SqlCall call;
  auto normal = [&](const std::string &text, std::string *out) {
    char ts[KEL_TIMESTAMP_SIZE];
    std::memset(ts, 'Z', sizeof ts);
    int rc = normal_tstamp(call.ctx(), text.data(), static_cast<int>(text.size()), ts);
    *out = ts;
    return rc;
  };
  std::string out;
  EXPECT_EQ(normal("2001-2-3-4.5.6", &out), 0);
  EXPECT_EQ(out, "2001-02-03-04.05.06");
  EXPECT_EQ(normal("2001-2-3 4:5:6.5", &out), 0);
  EXPECT_EQ(out, "2001-02-03 04:05:06.5");
  EXPECT_EQ(normal("1999-12-31-23.59.59.123456", &out), 0);
  EXPECT_EQ(out, "1999-12-31-23.59.59.123456");
  EXPECT_NE(call.trace().find("normal_tstamp:\t\tExit. ts_buf= '1999-12-31-23.59.59.123456'"),
            std::string::npos);

  for (const char *bad : {"01-2-3-4.5.6", "2001-2-3-4.5", "2001-2-3-4.5.6.", "2001/2/3-4.5.6",
                          "2001-123-3-4.5.6", "2001-2-3-4.5.6.1234567", "2001-2-3-4.5.6x",
                          "2001-2-3T4.5.6", " 2001-2-3-4.5.6", ""}) {
    EXPECT_EQ(normal(bad, &out), -1) << bad;
    EXPECT_EQ(out, "") << bad;
  }
  // Only length bytes are read.
  char ts[KEL_TIMESTAMP_SIZE];
  EXPECT_EQ(normal_tstamp(nullptr, "2001-2-3-4.5.6 trailing", 14, ts), 0);
  EXPECT_STREQ(ts, "2001-02-03-04.05.06");
}

TEST(KelSqlBindList, ListsUnderTheConfiguredDirectories) {
  keltest::ScopedEnv env;
  char path[KEL_MAX_PATH + 1];
  env.set("QUARNKELPATH", "/opt/kel");
  EXPECT_EQ(kelGetBindDir(nullptr, path), 0);
  EXPECT_STREQ(path, "@/opt/kel/bnd/kelbind.lst");
  env.set("QUARNPATH", "/var/quarn/");
  EXPECT_EQ(kelGetBindCliDir(nullptr, path), 0);
  EXPECT_STREQ(path, "@/var/quarn/bnd/quarncli.lst");
  EXPECT_EQ(kelGetBindCliDir(nullptr, nullptr), KEL_BIND_NO_BUFFER);
  env.unset("QUARNKELPATH");
  EXPECT_EQ(kelGetBindDir(nullptr, path), KEL_BIND_NO_ENV);
  env.set("QUARNPATH", std::string(KEL_MAX_PATH, 'p'));
  EXPECT_EQ(kelGetBindCliDir(nullptr, path), KEL_BIND_NO_ENV);
  EXPECT_STREQ(path, "");
}

}  // namespace
