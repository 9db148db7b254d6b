/*
 * lexer.cpp - the tokenizer of the SQL dialect and the two quoting helpers every generated
 * SQLite text uses.  (Scripts are split into statements by the console: shell/statements.cpp.)
 */
#include "lexer.h"

#include <cctype>
#include <cstring>

#include "errors.h"

namespace quarn {
namespace {

bool isIdentStart(unsigned char c) { return std::isalpha(c) || c == '_' || c == '$' || c == '#' || c == '@' || c >= 0x80; }
bool isIdentPart(unsigned char c) { return isIdentStart(c) || std::isdigit(c); }

// Reads a quoted run starting at s[i] == quote; returns the undoubled text and moves i past the
// closing quote.  An unterminated run throws -10.
// A character as a message shows it: a control character (a NUL ended the message text for a
// C caller) by its code, X'00'.
std::string shownChar(unsigned char c) {
  if (c >= 0x20 && c != 0x7F) return std::string(1, static_cast<char>(c));
  static const char kHex[] = "0123456789ABCDEF";
  return std::string("X'") + kHex[c >> 4] + kHex[c & 15] + "'";
}

std::string readQuoted(const std::string &s, size_t &i, char quote) {
  size_t start = i;
  std::string out;
  ++i;
  for (;;) {
    if (i >= s.size()) {
      std::string head = s.substr(start, 20);
      raise(kSqlUnterminated, {head});
    }
    // A NUL byte is no character of SQL text, inside a string or name as outside (-7): SQLite
    // ends the text there, and the statement failed with -901 "unrecognized token".
    if (s[i] == '\0') raise(kSqlBadChar, {shownChar(0), s.substr(start, std::min<size_t>(i - start, 20))});
    if (s[i] == quote) {
      if (i + 1 < s.size() && s[i + 1] == quote) {
        out.push_back(quote);
        i += 2;
        continue;
      }
      ++i;
      return out;
    }
    out.push_back(s[i++]);
  }
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::vector<Token> tokenize(const std::string &s) {
  std::vector<Token> out;
  size_t i = 0;
  const size_t n = s.size();
  while (true) {
    while (i < n) {
      unsigned char c = static_cast<unsigned char>(s[i]);
      if (std::isspace(c)) {
        ++i;
      } else if (c == '-' && i + 1 < n && s[i + 1] == '-') {
        while (i < n && s[i] != '\n') ++i;
      } else if (c == '/' && i + 1 < n && s[i + 1] == '*') {
        // A comment that never ends is refused: taken to the end, it hid the rest of the text.
        size_t close = s.find("*/", i + 2);
        if (close == std::string::npos) {
          std::string before = out.empty() ? std::string() : s.substr(out.back().pos, out.back().len);
          raise(kSqlSyntax, {"/*", before, "*/"});
        }
        i = close + 2;
      } else {
        break;
      }
    }
    Token t;
    t.pos = i;
    if (i >= n) {
      t.kind = Tok::End;
      out.push_back(t);
      return out;
    }
    unsigned char c = static_cast<unsigned char>(s[i]);
    char up = static_cast<char>(std::toupper(c));
    if ((up == 'X' || up == 'G' || up == 'N') && i + 1 < n && s[i + 1] == '\'') {
      ++i;
      std::string body = readQuoted(s, i, '\'');
      if (up == 'X') {
        if (body.size() % 2) raise(kSqlSyntax, {s.substr(t.pos, i - t.pos), "", "<hexadecimal literal>"});
        std::string bytes;
        for (size_t k = 0; k < body.size(); k += 2) {
          int hi = hexValue(body[k]), lo = hexValue(body[k + 1]);
          if (hi < 0 || lo < 0) raise(kSqlSyntax, {s.substr(t.pos, i - t.pos), "", "<hexadecimal literal>"});
          bytes.push_back(static_cast<char>(hi * 16 + lo));
        }
        t.kind = Tok::HexString;
        t.text = bytes;
      } else {
        t.kind = Tok::GString;
        t.text = body;
      }
    } else if (c == '\'') {
      t.kind = Tok::String;
      t.text = readQuoted(s, i, '\'');
    } else if (c == '"') {
      t.kind = Tok::DelimIdent;
      t.text = readQuoted(s, i, '"');
      if (t.text.empty()) raise(kSqlSyntax, {"\"\"", "", "<identifier>"});
      if (t.text.size() > kMaxIdentBytes) raise(kSqlNameTooLong, {t.text, std::to_string(kMaxIdentBytes)});
    } else if (std::isdigit(c) || (c == '.' && i + 1 < n && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      size_t start = i;
      t.kind = Tok::Integer;
      while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      if (i < n && s[i] == '.') {
        t.kind = Tok::Decimal;
        ++i;
        while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
      }
      if (i < n && (s[i] == 'E' || s[i] == 'e')) {
        size_t save = i;
        ++i;
        if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
        if (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) {
          t.kind = Tok::Float;
          while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
        } else {
          i = save;
        }
      }
      // A length with its unit, as in CLOB(100K), is a number followed by K, M or G.
      bool unit = t.kind == Tok::Integer && i < n && std::strchr("KMGkmg", s[i]) != nullptr &&
                  (i + 1 >= n || !isIdentPart(static_cast<unsigned char>(s[i + 1])));
      if (!unit && i < n && isIdentStart(static_cast<unsigned char>(s[i])))
        raise(kSqlSyntax, {s.substr(start, i - start + 1), s.substr(start, i - start), "<delimiter>"});
      t.text = s.substr(start, i - start);
    } else if (isIdentStart(c)) {
      size_t start = i;
      while (i < n && isIdentPart(static_cast<unsigned char>(s[i]))) ++i;
      t.kind = Tok::Ident;
      t.text = upperAscii(s.substr(start, i - start));
      if (t.text.size() > kMaxIdentBytes) raise(kSqlNameTooLong, {t.text, std::to_string(kMaxIdentBytes)});
    } else if (c == '?') {
      t.kind = Tok::Param;
      t.text = "?";
      ++i;
    } else {
      static const char *const kTwo[] = {"<=", ">=", "<>", "!=", "||", "^=", "!<", "!>", "^<", "^>"};
      t.kind = Tok::Op;
      bool two = false;
      for (const char *op : kTwo) {
        if (i + 1 < n && s[i] == op[0] && s[i + 1] == op[1]) {
          t.text = op;
          i += 2;
          two = true;
          break;
        }
      }
      if (!two && i + 2 < n + 1 && static_cast<unsigned char>(s[i]) == 0xC2 && i + 1 < n &&
          static_cast<unsigned char>(s[i + 1]) == 0xAC) {
        // The not sign (U+00AC) in "¬=", "¬<", "¬>".
        if (i + 2 < n && (s[i + 2] == '=' || s[i + 2] == '<' || s[i + 2] == '>')) {
          t.text = std::string("!") + s[i + 2];
          i += 3;
          two = true;
        }
      }
      if (!two) {
        static const std::string kOne = "()+-*/=<>,.;:|[]{}&%";
        if (kOne.find(static_cast<char>(c)) == std::string::npos) {
          std::string before = out.empty() ? std::string() : s.substr(out.back().pos, out.back().len);
          raise(kSqlBadChar, {shownChar(c), before});
        }
        t.text = std::string(1, static_cast<char>(c));
        ++i;
      }
    }
    t.len = i - t.pos;
    out.push_back(std::move(t));
  }
}

std::string upperAscii(std::string s) {
  for (char &c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string quoteIdent(const std::string &name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

std::string quoteString(const std::string &text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out.push_back('\'');
    out.push_back(c);
  }
  out.push_back('\'');
  return out;
}

std::string hexLiteral(const std::string &bytes) {
  static const char *const kHex = "0123456789ABCDEF";
  std::string out = "X'";
  for (unsigned char c : bytes) {
    out.push_back(kHex[c >> 4]);
    out.push_back(kHex[c & 15]);
  }
  out.push_back('\'');
  return out;
}

}  // namespace quarn
