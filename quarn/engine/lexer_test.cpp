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
  EXPECT_EQ(codeOf("select 12ab from t"), kSqlSyntax);
  EXPECT_EQ(codeOf("select X'4' from t"), kSqlSyntax);
  EXPECT_EQ(codeOf(std::string("select ") + std::string(129, 'a')), kSqlNameTooLong);
}

TEST(QuarnLexer, SplitsScriptsOutsideLiteralsAndComments) {
  std::vector<std::string> s = splitStatements("a ';' b; -- c; d\n e; ;  ");
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0], "a ';' b");
  EXPECT_EQ(s[1], "-- c; d\n e");
}

// A trigger body keeps its statements: the script splits after END, not at the body's ";",
// and CASE ... END inside the body does not end it.
TEST(SplitStatements, TriggerBodyStaysWhole) {
  std::vector<std::string> s = splitStatements(
      "create trigger t after insert on x begin atomic insert into y values (case when 1 = 1 then 1 end); "
      "delete from z; end; select 1 from begin_t; values 'begin atomic'; select 2");
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ(s[0],
            "create trigger t after insert on x begin atomic insert into y values (case when 1 = 1 then 1 end); "
            "delete from z; end");
  EXPECT_EQ(s[1], "select 1 from begin_t");
  EXPECT_EQ(s[2], "values 'begin atomic'");
  EXPECT_EQ(s[3], "select 2");
}

}  // namespace
}  // namespace quarn
