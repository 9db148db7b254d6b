// The console's statement splitter: where a terminator splits and where it does not, and the
// same statements however the text is cut into pieces.
#include "statements.h"

#include <gtest/gtest.h>

namespace quarn {
namespace {

using Statements = std::vector<std::string>;

// Feeds text one character at a time, as slow as input can arrive.
Statements splitByCharacters(const std::string &text) {
  StatementSplitter splitter;
  Statements out;
  for (char c : text) splitter.feed(std::string_view(&c, 1), &out);
  splitter.finish(&out);
  return out;
}

TEST(StatementSplitter, SplitsOutsideLiteralsNamesAndComments) {
  std::string script =
      "a ';' b; -- c; d\n e; ;  select \"x;y\" from t /* not ; here */ where c = 'it''s;'; "
      "/* only a comment; */ ; -- only a comment\n; values x'3B'";
  Statements want = {"a ';' b", "-- c; d\n e", "select \"x;y\" from t /* not ; here */ where c = 'it''s;'",
                     "values x'3B'"};
  EXPECT_EQ(splitStatements(script), want);
  EXPECT_EQ(splitByCharacters(script), want);
}

// A trigger body keeps its statements: the script splits after END, not at the body's ";",
// and CASE ... END inside the body does not end it.
TEST(StatementSplitter, TriggerBodyStaysWhole) {
  std::string script =
      "create trigger t after insert on x begin atomic insert into y values (case when 1 = 1 then 1 end); "
      "delete from z; end; select 1 from begin_t; values 'begin atomic'; select 2";
  Statements want = {
      "create trigger t after insert on x begin atomic insert into y values (case when 1 = 1 then 1 end); "
      "delete from z; end",
      "select 1 from begin_t", "values 'begin atomic'", "select 2"};
  EXPECT_EQ(splitStatements(script), want);
  EXPECT_EQ(splitByCharacters(script), want);
}

// A procedure body: BEGIN without ATOMIC, nested blocks, END IF / END WHILE / END CASE and a
// label after END; BEGIN outside a routine definition is an ordinary word.
TEST(StatementSplitter, ProcedureBodyStaysWhole) {
  std::string body =
      "CREATE OR REPLACE PROCEDURE p (IN n INT)\nLANGUAGE SQL\nl1: BEGIN\n"
      "  DECLARE c INT DEFAULT 0;\n"
      "  IF n > 0 THEN SET c = 1; ELSE SET c = 2; END IF;\n"
      "  WHILE c < n DO SET c = c + 1; END WHILE;\n"
      "  CASE c WHEN 1 THEN SET c = 3; ELSE BEGIN SET c = 4; END; END CASE;\n"
      "  SET c = CASE WHEN c = 4 THEN 5 ELSE 6 END;\n"
      "END l1";
  std::string script = body + ";\nSELECT begin FROM t; SELECT 2;";
  Statements want = {body, "SELECT begin FROM t", "SELECT 2"};
  EXPECT_EQ(splitStatements(script), want);
  EXPECT_EQ(splitByCharacters(script), want);
}

// Text arriving a line at a time: a statement is handed out when its terminator arrives, a
// literal and a block comment may span lines, and pending() tells whether a statement is
// unfinished (comments and blanks alone do not count).
TEST(StatementSplitter, LinesArriveOneAtATime) {
  StatementSplitter s;
  Statements out;
  s.feed("-- a comment line\n", &out);
  EXPECT_FALSE(s.pending());
  s.feed("/* a comment\n", &out);
  EXPECT_FALSE(s.pending());
  s.feed(" that goes on; */\n", &out);
  EXPECT_FALSE(s.pending());
  EXPECT_TRUE(out.empty());
  s.feed("VALUES 'two\n", &out);
  EXPECT_TRUE(s.pending());
  s.feed("lines;'; VALUES -\n", &out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0], "-- a comment line\n/* a comment\n that goes on; */\nVALUES 'two\nlines;'");
  EXPECT_TRUE(s.pending());  // "VALUES -" is unfinished
  s.feed("1\n", &out);
  s.finish(&out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[1], "VALUES -\n1");
  EXPECT_FALSE(s.pending());
  // A lone '-' or '/' is text, not the start of a comment.
  out.clear();
  s.feed("-", &out);
  EXPECT_TRUE(s.pending());
  s.finish(&out);
  EXPECT_EQ(out, Statements{"-"});
}

// Unterminated literals and comments end with the input: the rest is one statement (the
// tokenizer then reports it), and the splitter starts afresh.
TEST(StatementSplitter, UnterminatedTextEndsWithTheInput) {
  EXPECT_EQ(splitStatements("VALUES 'a; b"), Statements{"VALUES 'a; b"});
  EXPECT_EQ(splitStatements("VALUES 1 /* ; "), Statements{"VALUES 1 /* ;"});
  // A comment left open hides the statements after its start: the rest is handed out for the
  // engine to refuse, never dropped as a comment (the script ended with success before).
  EXPECT_EQ(splitStatements("VALUES 1;\n/* the rest\nVALUES 2;\n"),
            (Statements{"VALUES 1", "/* the rest\nVALUES 2;"}));
  EXPECT_EQ(splitStatements("VALUES 1; /* closed */ -- and a line\n"), Statements{"VALUES 1"});
  EXPECT_EQ(splitStatements("CREATE TRIGGER t AFTER INSERT ON x BEGIN ATOMIC DELETE FROM y;"),
            Statements{"CREATE TRIGGER t AFTER INSERT ON x BEGIN ATOMIC DELETE FROM y;"});
  StatementSplitter s;
  Statements out;
  s.feed("VALUES 'open", &out);
  s.finish(&out);
  s.feed("VALUES 1; VALUES 2;", &out);
  EXPECT_EQ(out, (Statements{"VALUES 'open", "VALUES 1", "VALUES 2"}));
}

}  // namespace
}  // namespace quarn
