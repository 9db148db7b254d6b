/*
 * statements.h - the console's one statement splitter: cuts SQL text into statements at the
 * terminator, for a statement argument, a script file and standard input alike.  Text may
 * arrive in pieces (a line at a time from a terminal); a statement is handed out as soon as its
 * terminator arrives.  A terminator does not split inside string literals, delimited names,
 * "--" and C-style comments, a compound body "BEGIN ATOMIC ... END" (any statement), or a
 * "BEGIN ... END" body of CREATE PROCEDURE / FUNCTION / TRIGGER / METHOD; CASE ... END and the
 * closing words of compound statements (END IF, END WHILE, END LOOP, END REPEAT, END FOR,
 * END CASE) inside a body do not end it.  Used by the console only; one object per input,
 * not thread-safe.
 */
#ifndef QUARN_SHELL_STATEMENTS_H
#define QUARN_SHELL_STATEMENTS_H

#include <string>
#include <string_view>
#include <vector>

namespace quarn {

class StatementSplitter {
 public:
  explicit StatementSplitter(char terminator = ';') : terminator_(terminator) {}

  // Adds text to the input and appends to *done every statement a terminator in it completes:
  // trimmed of blanks, without the terminator, comments kept; statements made only of blanks
  // and comments are dropped.
  void feed(std::string_view text, std::vector<std::string> *done);
  // Ends the input: the unterminated rest, when it holds more than blanks and comments, is
  // appended to *done as the last statement.  The splitter is then empty and may be reused.
  void finish(std::vector<std::string> *done);
  // True when an unfinished statement holds more than blanks and comments (a console shows its
  // continuation prompt then).
  bool pending() const { return significant_ || holdSignificant_; }
  // True when the input so far ends between statements: nothing of a statement is pending and
  // no comment is open (a console word such as QUIT on a line of its own counts only then).
  bool betweenStatements() const { return !pending() && state_ == State::Code; }

 private:
  enum class State { Code, Quote, LineComment, BlockComment };

  void endWord();
  void onWord(const std::string &word);
  void resolveEnd();
  void flush(std::vector<std::string> *done);

  char terminator_;
  State state_ = State::Code;
  char quote_ = 0;
  char prev_ = 0;                 // the previous character in the current state
  std::string cur_;               // the statement so far
  std::string word_;              // the word being read, upper-cased
  std::string lastWord_;
  std::vector<std::string> head_; // the statement's first words (to tell a routine definition)
  bool routineDef_ = false;
  bool significant_ = false;      // cur_ holds more than blanks and comments
  bool holdSignificant_ = false;  // a '-' or '/' that may open a comment
  bool pendingEnd_ = false;       // END seen in a body; the next word tells what it closes
  std::string open_;              // the open bodies and CASEs, innermost last: 'B' or 'C'
};

// Splits a whole script: feed then finish.
std::vector<std::string> splitStatements(std::string_view script, char terminator = ';');

}  // namespace quarn

#endif  // QUARN_SHELL_STATEMENTS_H
