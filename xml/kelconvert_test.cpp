// Number conversions of the extract functions.
#include "kelconvert.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(KelAtof, AcceptsDecimalNumeralsWithinTheExponentRange) {
  int status = 1;
  EXPECT_DOUBLE_EQ(kelatof("1.5e3", &status), 1500.0);
  EXPECT_EQ(status, 0);
  EXPECT_DOUBLE_EQ(kelatof("-0.000123", &status), -0.000123);
  EXPECT_DOUBLE_EQ(kelatof("42\n  ", &status), 42.0);
  EXPECT_EQ(status, 0);
  EXPECT_DOUBLE_EQ(kelatof(".5", &status), 0.5);
  EXPECT_DOUBLE_EQ(kelatof("0e500", &status), 0.0);  // only zeros: no range check
  EXPECT_EQ(status, 0);
  EXPECT_DOUBLE_EQ(kelatof("1E+75", &status), 1e75);
  EXPECT_EQ(status, 0);
  EXPECT_DOUBLE_EQ(kelatof("0.001e-76", &status), 1e-79);  // magnitude -3 - 76 = -79
  EXPECT_EQ(status, 0);
}

TEST(KelAtof, RefusesWhatIsNoNumber) {
  int status = 0;
  kelatof("1.5e99", &status);
  EXPECT_EQ(status, -86);
  kelatof("10e75", &status);  // magnitude 1 + 75
  EXPECT_EQ(status, -86);
  kelatof(std::string(31, '1').c_str(), &status);
  EXPECT_EQ(status, -124);
  kelatof(std::string(30, '1').c_str(), &status);
  EXPECT_EQ(status, 0);
  for (const char *bad : {"12abc", "1.2.3", "1e", "1e+", "1e5x", "--1", "1 2"}) {
    kelatof(bad, &status);
    EXPECT_EQ(status, -141) << bad;
  }
  kelatof(" ", &status);
  EXPECT_EQ(status, -57);
  // An exponent of ten digits is out of range, not wrapped into it: 1e4294967297 was an infinity
  // and 1e-4294967296 a zero.
  for (const char *huge : {"1e4294967297", "1e4294967296", "1e-4294967296", "2e99999999999999999999"}) {
    kelatof(huge, &status);
    EXPECT_EQ(status, -86) << huge;
  }
}

// White space around the number is XML's: tabs and carriage returns too (an indented document's
// "\t\t12.50\n" gave NULL, while extractInteger read its neighbour).
TEST(KelAtof, XmlWhiteSpaceAroundTheNumberIsSkipped) {
  int status = 0;
  for (const char *spaced : {"\t1.5", "1.5\t", "\r\n\t\t1.5\n\t", " \t1.5e0 \r"}) {
    EXPECT_DOUBLE_EQ(kelatof(spaced, &status), 1.5) << spaced;
    EXPECT_EQ(status, 0) << spaced;
  }
  kelatof("1\t5", &status);
  EXPECT_EQ(status, -141);
  // The 30-byte numeral limit counts the number, not its indentation: a newline, 24 blanks,
  // "12.50", a newline and 20 blanks (52 bytes) gave NULL while extractInteger read 12.
  const std::string indented = "\n" + std::string(24, ' ') + "12.50\n" + std::string(20, ' ');
  EXPECT_DOUBLE_EQ(kelatof(indented.c_str(), &status), 12.5);
  EXPECT_EQ(status, 0);
  kelatof((" " + std::string(31, '1') + " ").c_str(), &status);
  EXPECT_EQ(status, -124);
}

// A mantissa without any digit followed by an exponent read as 0 ("e5", "-e5", ".e1", "E-3"
// gave 0.0 while "e", "." and "1.5e" gave NULL); zeros before the exponent are still 0.
TEST(KelAtof, AnExponentWithoutMantissaDigitsIsNoNumber) {
  int status = 0;
  for (const char *bad : {"e5", "-e5", ".e1", "E-3", "+.E0", " e5 "}) {
    kelatof(bad, &status);
    EXPECT_LT(status, 0) << bad;
  }
  for (const char *zero : {"0e5", "-0.e1", ".0E-3", "00e0"}) {
    EXPECT_DOUBLE_EQ(kelatof(zero, &status), 0.0) << zero;
    EXPECT_EQ(status, 0) << zero;
  }
}

// A number beyond single precision's range was narrowed to an infinity, which extractReal
// returned (and a side table stored) as the value of "1e39".
TEST(KelReal, NumbersBeyondTheRangeOfRealAreNoReal) {
  float f = 7;
  ASSERT_TRUE(kelDoubleToReal(1.5, &f));
  EXPECT_EQ(f, 1.5f);
  ASSERT_TRUE(kelDoubleToReal(-3.4e38, &f));
  EXPECT_EQ(f, -3.4e38f);
  // Below the smallest REAL a number rounds towards zero, as narrowing does.
  ASSERT_TRUE(kelDoubleToReal(1e-50, &f));
  EXPECT_EQ(f, 0.0f);
  EXPECT_FALSE(kelDoubleToReal(1e39, &f));
  EXPECT_FALSE(kelDoubleToReal(-1e39, &f));
  EXPECT_FALSE(kelDoubleToReal(3.4028236e38, &f));  // rounds up to an infinity
}

TEST(KelIntegers, DigitsUpToTheFirstOtherCharacter) {
  int32_t v = 7;
  ASSERT_TRUE(kelTextToInteger("  -42", &v));
  EXPECT_EQ(v, -42);
  ASSERT_TRUE(kelTextToInteger("12abc", &v));
  EXPECT_EQ(v, 12);
  ASSERT_TRUE(kelTextToInteger("abc", &v));
  EXPECT_EQ(v, 0);
  ASSERT_TRUE(kelTextToInteger("-2147483648", &v));
  EXPECT_EQ(v, INT32_MIN);
  EXPECT_FALSE(kelTextToInteger("2147483648", &v));
  EXPECT_FALSE(kelTextToInteger("99999999999999999999999", &v));
  EXPECT_EQ(kelTextToSmallint("70000"), 4464);
  EXPECT_EQ(kelTextToSmallint("-1"), -1);
  EXPECT_EQ(kelTextToSmallint("65536"), 0);
  EXPECT_EQ(kelTextToSmallint("99999999999999999999999"), -1);  // low 16 bits of the true value
}

}  // namespace
