/*
 * kelconvert.cpp - number conversions of the extract functions.
 */
#include "kelconvert.h"

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr size_t kMaxNumeral = 30;  // a numeral of 31 bytes or more is no number

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

const char *skipSpaceAndSign(const char *p, bool *negative) {
  while (std::isspace(static_cast<unsigned char>(*p))) ++p;
  *negative = *p == '-';
  if (*p == '+' || *p == '-') ++p;
  return p;
}

}  // namespace

const char *kelXmlSpaceTrimmed(const char *text, size_t *length) {
  const char *end = text + std::strlen(text);
  while (text < end && isXmlSpace(*text)) ++text;
  while (end > text && isXmlSpace(end[-1])) --end;
  *length = static_cast<size_t>(end - text);
  return text;
}

double kelatof(const char *text, int *status) {
  *status = 0;
  const char point = std::localeconv()->decimal_point[0];
  // XML white space around the number (an indented document puts newlines and tabs there) is
  // no part of it: the numeral limit counts the bytes between.
  size_t len = 0;
  const char *begin = kelXmlSpaceTrimmed(text, &len);
  if (len > kMaxNumeral) {
    *status = -124;
    return 0;
  }
  std::string s(begin, len);

  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  bool digit = false;  // a digit was seen, zero or not
  while (i < s.size() && s[i] == '0') {
    ++i;
    digit = true;
  }
  int magnitude = -1;
  bool significant = false;  // a non-zero digit was seen
  bool inFraction = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c == '.') {
      if (inFraction) {
        *status = -141;
        return 0;
      }
      inFraction = true;
    } else if (c >= '0' && c <= '9') {
      digit = true;
      if (!inFraction) {
        ++magnitude;
        significant = true;
      } else if (!significant) {
        if (c == '0') --magnitude;
        else significant = true;
      }
    } else if (c == 'e' || c == 'E') {
      break;
    } else {
      *status = -141;
      return 0;
    }
  }
  if (i < s.size()) {  // an exponent
    if (i + 1 == s.size()) {
      *status = -141;
      return 0;
    }
    size_t j = i + 1;
    if (s[j] == '+' || s[j] == '-') ++j;
    size_t digits = j;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j;
    if (j != s.size() || j == digits) {
      *status = -141;
      return 0;
    }
    // A mantissa without a digit ("e5", "-.e1") is no number; one of zeros is 0.
    if (!digit) {
      *status = -57;
      return 0;
    }
    if (!significant) return 0;
    // Read with a ceiling: a 10-digit exponent overflowed an int and wrapped into the range
    // allowed (1e4294967297 gave an infinity).
    long exponent = 0;
    for (size_t k = digits; k < s.size() && s[k] >= '0' && s[k] <= '9'; ++k)
      exponent = std::min(exponent * 10 + (s[k] - '0'), 1000000L);
    if (s[i + 1] == '-') exponent = -exponent;
    long total = static_cast<long>(magnitude) + exponent;
    if (total < -79 || total > 75) {
      *status = -86;
      return 0;
    }
  }
  for (char &c : s)
    if (c == '.') c = point;
  char *end = nullptr;
  double value = std::strtod(s.c_str(), &end);
  if (end == s.c_str() || *end != '\0') {
    *status = -57;
    return 0;
  }
  return value;
}

bool kelTextToInteger(const char *text, int32_t *value) {
  bool negative;
  const char *p = skipSpaceAndSign(text, &negative);
  int64_t v = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    v = v * 10 + (*p - '0');
    if (v > static_cast<int64_t>(INT32_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return false;
  *value = static_cast<int32_t>(v);
  return true;
}

int16_t kelTextToSmallint(const char *text) {
  bool negative;
  const char *p = skipSpaceAndSign(text, &negative);
  uint64_t v = 0;  // arithmetic modulo 2^64 keeps the low 16 bits exact
  for (; *p >= '0' && *p <= '9'; ++p) v = v * 10 + static_cast<uint64_t>(*p - '0');
  if (negative) v = 0 - v;
  return static_cast<int16_t>(static_cast<uint16_t>(v & 0xFFFF));
}

bool kelDoubleToReal(double value, float *real) {
  const float f = static_cast<float>(value);
  if (std::isinf(f) && !std::isinf(value)) return false;
  *real = f;
  return true;
}
