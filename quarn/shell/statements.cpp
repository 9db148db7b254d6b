/*
 * statements.cpp - the statement splitter: a character-at-a-time scanner whose state (inside a
 * literal or comment, body depth, the word being read) survives between pieces of input, so a
 * file, standard input and an argument are split alike however their text arrives.
 */
#include "statements.h"

namespace quarn {
namespace {

bool isWordChar(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '@' || c == '#' || c == '$' || c >= 0x80;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

void StatementSplitter::feed(std::string_view text, std::vector<std::string> *done) {
  for (char ch : text) {
    switch (state_) {
      case State::Quote:
        // A doubled quote closes and at once reopens the literal: the same for splitting.
        cur_.push_back(ch);
        if (ch == quote_) state_ = State::Code;
        continue;
      case State::LineComment:
        cur_.push_back(ch);
        if (ch == '\n') state_ = State::Code;
        continue;
      case State::BlockComment:
        cur_.push_back(ch);
        if (prev_ == '*' && ch == '/') {
          state_ = State::Code;
          prev_ = 0;
        } else {
          prev_ = ch;
        }
        continue;
      case State::Code:
        break;
    }
    if (isWordChar(static_cast<unsigned char>(ch))) {
      word_.push_back(upperAscii(ch));
      cur_.push_back(ch);
      significant_ = true;
      holdSignificant_ = false;  // a '-' or '/' before it was text
      prev_ = ch;
      continue;
    }
    endWord();
    if (holdSignificant_) {
      holdSignificant_ = false;
      if ((prev_ == '-' && ch == '-') || (prev_ == '/' && ch == '*')) {
        state_ = ch == '-' ? State::LineComment : State::BlockComment;
        cur_.push_back(ch);
        prev_ = 0;
        continue;
      }
      significant_ = true;
    }
    prev_ = ch;
    if (isBlank(ch)) {
      cur_.push_back(ch);
      continue;
    }
    if (pendingEnd_) resolveEnd();
    if (ch == terminator_ && open_.empty()) {
      flush(done);
      continue;
    }
    cur_.push_back(ch);
    lastWord_.clear();  // punctuation between BEGIN and ATOMIC breaks the pair
    if (ch == '\'' || ch == '"') {
      state_ = State::Quote;
      quote_ = ch;
      significant_ = true;
    } else if (ch == '-' || ch == '/') {
      holdSignificant_ = true;  // significant unless the next character opens a comment
    } else {
      significant_ = true;
    }
  }
}

void StatementSplitter::finish(std::vector<std::string> *done) {
  if (state_ == State::Code) endWord();
  if (holdSignificant_) significant_ = true;
  // A comment still open at the end is handed out for the engine to refuse: dropped as a
  // comment, it hid every statement after its start and the script ended with success.
  if (state_ == State::BlockComment) significant_ = true;
  flush(done);
}

void StatementSplitter::endWord() {
  if (word_.empty()) return;
  std::string word;
  word.swap(word_);
  onWord(word);
}

void StatementSplitter::onWord(const std::string &word) {
  if (head_.size() < 4) {
    // CREATE [OR REPLACE] PROCEDURE | FUNCTION | TRIGGER | METHOD: a body BEGIN ... END follows.
    head_.push_back(word);
    size_t kindAt = head_.size() > 1 && head_[1] == "OR" ? 3 : 1;
    if (head_.size() == kindAt + 1 && head_[0] == "CREATE") {
      const std::string &kind = head_[kindAt];
      routineDef_ = kind == "PROCEDURE" || kind == "FUNCTION" || kind == "TRIGGER" || kind == "METHOD";
    }
  }
  if (pendingEnd_) {
    // END IF, END WHILE, ...: the end of a compound statement, not of the body.
    if (word == "IF" || word == "WHILE" || word == "LOOP" || word == "REPEAT" || word == "FOR") {
      pendingEnd_ = false;
      lastWord_ = word;
      return;
    }
    if (word == "CASE") {
      pendingEnd_ = false;
      if (!open_.empty() && open_.back() == 'C') open_.pop_back();
      lastWord_ = word;
      return;
    }
    resolveEnd();
  }
  if (word == "BEGIN" && routineDef_) {
    open_.push_back('B');
  } else if (word == "ATOMIC" && lastWord_ == "BEGIN" && !routineDef_) {
    open_.push_back('B');
  } else if (word == "CASE" && !open_.empty()) {
    open_.push_back('C');
  } else if (word == "END" && !open_.empty()) {
    pendingEnd_ = true;
  }
  lastWord_ = word;
}

void StatementSplitter::resolveEnd() {
  pendingEnd_ = false;
  if (!open_.empty()) open_.pop_back();
}

void StatementSplitter::flush(std::vector<std::string> *done) {
  if (significant_) {
    size_t b = cur_.find_first_not_of(" \t\r\n\f\v");
    size_t e = cur_.find_last_not_of(" \t\r\n\f\v");
    done->push_back(cur_.substr(b, e - b + 1));
  }
  cur_.clear();
  word_.clear();
  lastWord_.clear();
  head_.clear();
  state_ = State::Code;
  prev_ = 0;
  open_.clear();
  routineDef_ = significant_ = holdSignificant_ = pendingEnd_ = false;
}

std::vector<std::string> splitStatements(std::string_view script, char terminator) {
  StatementSplitter splitter(terminator);
  std::vector<std::string> out;
  splitter.feed(script, &out);
  splitter.finish(&out);
  return out;
}

}  // namespace quarn
