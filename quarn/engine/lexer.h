/*
 * lexer.h - the one tokenizer of the engine's SQL dialect.  Turns a statement text into tokens:
 * ordinary identifiers (folded to upper case), delimited identifiers (case kept), string,
 * hexadecimal and graphic literals, numbers, parameter markers and operators.  Comments
 * ("--" to end of line, and C-style) are skipped.  Used by the translator and the console.
 * Stateless apart from the token vector it returns; thread-safe.
 */
#ifndef QUARN_ENGINE_LEXER_H
#define QUARN_ENGINE_LEXER_H

#include <string>
#include <vector>

namespace quarn {

enum class Tok {
  End,
  Ident,       // ordinary identifier, text upper-cased
  DelimIdent,  // "..." identifier, text as written with "" undoubled
  String,      // '...' literal, text undoubled
  HexString,   // X'..' literal, text holds the bytes
  GString,     // G'..' or N'..' literal, text undoubled
  Integer,
  Decimal,
  Float,
  Param,       // ?
  Op,          // punctuation and operators: ( ) , . ; + - * / = < > <= >= <> != || : and the like
};

struct Token {
  Tok kind = Tok::End;
  std::string text;
  size_t pos = 0;  // byte offset in the statement
  size_t len = 0;  // bytes the token spans in the statement
};

// Longest identifier the tokenizer accepts; the parser applies the per-object limits.
constexpr size_t kMaxIdentBytes = 128;

// Splits sql into tokens ending with one Tok::End token.  Throws QError: -7 (42601) for a
// character that starts no token, -10 (42603) for an unterminated literal or delimited
// identifier, -107 (42622) for an identifier longer than kMaxIdentBytes, -104 for a hexadecimal
// literal with an odd number of digits or a non-hexadecimal digit.
std::vector<Token> tokenize(const std::string &sql);

// s with the ASCII letters a-z upper-cased (how ordinary identifiers and names fold).
std::string upperAscii(std::string s);

// The text as a delimited identifier: enclosed in double quotes, inner double quotes doubled.
std::string quoteIdent(const std::string &name);

// The text as an SQL string literal: enclosed in single quotes, inner quotes doubled.
std::string quoteString(const std::string &text);

// The bytes as an SQL binary literal: X'...' with two upper-case hexadecimal digits a byte.
std::string hexLiteral(const std::string &bytes);

}  // namespace quarn

#endif  // QUARN_ENGINE_LEXER_H
