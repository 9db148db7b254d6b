// The tokenizer: identifier folding, delimited identifiers, literals, lengths with units and
// the failures of malformed text.
#include <gtest/gtest.h>

#include "errors.h"
#include "lexer.h"

namespace quarn {
namespace {

int codeOf(const std::string &sql) {
  try {
    tokenize(sql);
  } catch (const QError &e) {
    return e.sqlcode;
  }
  return 0;
}

TEST(QuarnLexer, FoldsOrdinaryIdentifiersAndKeepsDelimitedOnes) {
  std::vector<Token> t = tokenize("select abc.\"Mixed\"\"Q\" from x -- comment\n");
  ASSERT_EQ(t.size(), 7u);
  EXPECT_EQ(t[0].text, "SELECT");
  EXPECT_EQ(t[1].text, "ABC");
  EXPECT_EQ(t[2].text, ".");
  EXPECT_EQ(t[3].kind, Tok::DelimIdent);
  EXPECT_EQ(t[3].text, "Mixed\"Q");
  EXPECT_EQ(t[6].kind, Tok::End);
}

TEST(QuarnLexer, LiteralsNumbersAndOperators) {
  std::vector<Token> t = tokenize("'it''s' X'4142' 12 1.5 2E3 100K <> ^= || ?");
  EXPECT_EQ(t[0].text, "it's");
  EXPECT_EQ(t[1].kind, Tok::HexString);
  EXPECT_EQ(t[1].text, "AB");
  EXPECT_EQ(t[2].kind, Tok::Integer);
  EXPECT_EQ(t[3].kind, Tok::Decimal);
  EXPECT_EQ(t[4].kind, Tok::Float);
  EXPECT_EQ(t[5].text, "100");
  EXPECT_EQ(t[6].text, "K");
  EXPECT_EQ(t[7].text, "<>");
  EXPECT_EQ(t[8].text, "^=");
  EXPECT_EQ(t[9].text, "||");
  EXPECT_EQ(t[10].kind, Tok::Param);
}

TEST(QuarnLexer, MalformedTextFailsWithQuarnCodes) {
  EXPECT_EQ(codeOf("select 'abc"), kSqlUnterminated);
  EXPECT_EQ(codeOf("select \"abc"), kSqlUnterminated);
  EXPECT_EQ(codeOf("select ` from t"), kSqlBadChar);
  // A NUL inside a string or a delimited name too (SQLite ended the text there: -901).
  static const char kInString[] = "values 'a\0b'";
  static const char kInName[] = "select \"a\0b\" from t";
  EXPECT_EQ(codeOf(std::string(kInString, sizeof kInString - 1)), kSqlBadChar);
  EXPECT_EQ(codeOf(std::string(kInName, sizeof kInName - 1)), kSqlBadChar);
  // A control character is shown by its code: a NUL in the message ended it for a C caller.
  try {
    tokenize(std::string("values 1\0 x", 11));
    ADD_FAILURE();
  } catch (const QError &e) {
    EXPECT_EQ(e.tokens.at(0), "X'00'");
  }
  try {
    tokenize("values 1 \x01");
    ADD_FAILURE();
  } catch (const QError &e) {
    EXPECT_EQ(e.tokens.at(0), "X'01'");
  }
  EXPECT_EQ(codeOf("select 12ab from t"), kSqlSyntax);
  EXPECT_EQ(codeOf("select X'4' from t"), kSqlSyntax);
  EXPECT_EQ(codeOf("values 1 /* never closed"), kSqlSyntax);  // it took the rest with it
  EXPECT_EQ(codeOf("/* the rest\nvalues 2"), kSqlSyntax);
  EXPECT_EQ(codeOf("values 1 /* closed */ -- a line"), 0);
  EXPECT_EQ(codeOf(std::string("select ") + std::string(129, 'a')), kSqlNameTooLong);
}

}  // namespace
}  // namespace quarn
