// The initialiser reports success and leaves the parser library usable, its pattern matcher
// counted.
#include "quarnxmlinit.h"

#include <gtest/gtest.h>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/regx/RegularExpression.hpp>

#include <string>

#include "quarnparseguard.h"

TEST(QuarnXmlInit, ParserLibraryIsReadyOnLoad) {
  EXPECT_EQ(isSharedLibInitSuccess(), 1);
  EXPECT_EQ(getLastErrorCode(), 0);
  EXPECT_STREQ(getLastErrorMessage(), "");
  // No Initialize call of our own: the loaded initialiser made the library usable.
  xercesc::XercesDOMParser parser;
  static const char doc[] = "<a><b/></a>";
  xercesc::MemBufInputSource src(reinterpret_cast<const XMLByte *>(doc), sizeof doc - 1, "t");
  parser.parse(src);
  EXPECT_EQ(parser.getErrorCount(), 0u);
  ASSERT_NE(parser.getDocument(), nullptr);
}

namespace {

// Whether value matches pattern as a schema pattern, with the library's matcher.
bool matches(const char16_t *pattern, const std::u16string &value) {
  xercesc::RegularExpression re(pattern, u"X");
  return re.matches(value.c_str());
}

}  // namespace

// The counting matcher gives the library's answers; its own string step is the one rewritten.
TEST(QuarnPatternGuard, MatcherAnswersAsTheLibrary) {
  ASSERT_EQ(quarnParseGuardInstalled(), 1);
  const struct {
    const char16_t *pattern, *value;
    bool match;
  } cases[] = {
      {u"abc", u"abc", true},        {u"abc", u"ab", false},          {u"abc", u"abcd", false},
      {u"(ab)*", u"", true},         {u"(ab)*", u"abab", true},       {u"(ab)*", u"aba", false},
      {u"x(abc|abd)y", u"xabdy", true}, {u"x(abc|abd)y", u"xabey", false}, {u"(ab){2,3}", u"ababab", true},
      {u"(ab){2,3}", u"ab", false},  {u"ab.*cd", u"ab--cd", true},    {u"ab.*cd", u"ab--c", false},
      {u".+@.+\\..+", u"john.smith@example.com", true}, {u".+@.+\\..+", u"a@b", false},
      {u"[A-Z]{2}\\d{4}", u"AB1234", true}, {u"[A-Z]{2}\\d{4}", u"AB123", false},
  };
  for (const auto &c : cases) EXPECT_EQ(matches(c.pattern, c.value), c.match);
  // A repeated string matched in one pass: the library's own step made this quadratic.
  std::u16string pairs;
  for (int i = 0; i < 500000; ++i) pairs += u"ab";
  EXPECT_TRUE(matches(u"(ab)*", pairs));
}

TEST(QuarnPatternGuard, AccountsStopTheMatcher) {
  ASSERT_EQ(quarnParseGuardInstalled(), 1);
  // Without an opened account a check has one of its own: an exponential pattern stops.
  const std::u16string as = std::u16string(60, u'a') + u"c";
  EXPECT_THROW(matches(u"(a|aa)*b", as), QuarnParseWorkExceeded);
  EXPECT_TRUE(matches(u"(a|aa)*b", u"aab"));
  // An opened account adds up over checks, and once spent stays spent: even a check that
  // costs nothing stops, through the account's refuse function.
  struct Refused {};
  QuarnParseWork work;
  work.refuse = [](QuarnParseWork *) { throw Refused(); };
  quarnParseWorkOpen(&work);
  std::u16string value;
  for (int i = 0; i < 700; ++i) value += u"a@";  // about a million steps to reject
  int rejected = 0;
  try {
    for (; rejected < 100; ++rejected) EXPECT_FALSE(matches(u".+@.+\\..+", value));
  } catch (const Refused &) {
  }
  EXPECT_GT(rejected, 5);
  EXPECT_LT(rejected, 30);
  EXPECT_TRUE(work.overrun);
  EXPECT_THROW(matches(u"a", u"a"), Refused);
  quarnParseWorkClose(&work);
  EXPECT_TRUE(matches(u"a", u"a"));
}
