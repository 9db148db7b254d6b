// The initialiser reports success and leaves the parser library usable, its pattern matcher
// counted.
#include "quarnxmlinit.h"

#include <gtest/gtest.h>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/regx/RegularExpression.hpp>

#include <string>
#include <vector>

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

namespace {

// The messages of a validating parse of doc, in order.
std::vector<std::string> validationMessages(const std::string &doc) {
  struct Collect : xercesc::ErrorHandler {
    std::vector<std::string> messages;
    void add(const xercesc::SAXParseException &e) {
      char *text = xercesc::XMLString::transcode(e.getMessage());
      messages.emplace_back(text);
      xercesc::XMLString::release(&text);
    }
    void warning(const xercesc::SAXParseException &e) override { add(e); }
    void error(const xercesc::SAXParseException &e) override { add(e); }
    void fatalError(const xercesc::SAXParseException &e) override { add(e); }
    void resetErrors() override {}
  } collect;
  xercesc::XercesDOMParser parser;
  parser.setValidationScheme(xercesc::XercesDOMParser::Val_Always);
  parser.setErrorHandler(&collect);
  xercesc::MemBufInputSource src(reinterpret_cast<const XMLByte *>(doc.data()), doc.size(), "t");
  parser.parse(src);
  return collect.messages;
}

std::string numbered(const char *prefix, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += (i == 0 ? "" : "|") + std::string(prefix) + std::to_string(i);
  return out;
}

}  // namespace

// The check of an attribute's value list for repeats reports what the library reports, in the
// same order, whether the list is short (the library's own search) or long (counted tokens):
// each token that appears again later in the list.  A list of 200,000 values took the library
// about 80 seconds to check (3.2 for 40,000).
TEST(QuarnTokenListGuard, RepeatsAreFoundAsTheLibraryFindsThem) {
  ASSERT_EQ(quarnParseGuardInstalled(), 1);
  auto check = [](const std::string &list) {
    return validationMessages("<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r a (" + list + ") #IMPLIED>]><r/>");
  };
  const std::vector<std::string> repeats = check("v0|v500|v999|v0|v500|v500|v999");
  ASSERT_EQ(repeats.size(), 4u);
  EXPECT_EQ(repeats[0], "attribute 'a' has non-distinct token 'v0'");
  EXPECT_EQ(check(numbered("v", 1000) + "|v0|v500|v500|v999"), repeats);
  EXPECT_EQ(check("v999|" + numbered("v", 1000) + "|v0|v500|v500"), check("v999|v0|v500|v999|v0|v500|v500"));
  EXPECT_TRUE(check(numbered("v", 200000)).empty());
  // A NOTATION list is checked the same way, and its names against the declared notations.
  std::string notations;
  for (int i = 0; i < 100; ++i) notations += "<!NOTATION n" + std::to_string(i) + " SYSTEM 'n'>";
  auto notation = [&](const std::string &list) {
    return validationMessages("<!DOCTYPE r [" + notations + "<!ELEMENT r (#PCDATA)><!ATTLIST r a NOTATION (" + list +
                              ") #IMPLIED>]><r/>");
  };
  const std::vector<std::string> shortNotations = notation("n7|zz|n7");
  ASSERT_EQ(shortNotations.size(), 2u);
  const std::vector<std::string> longNotations = notation(numbered("n", 100) + "|zz|n7");
  ASSERT_EQ(longNotations.size(), 2u);
  EXPECT_EQ(longNotations[0], shortNotations[0]);
  EXPECT_EQ(longNotations[1], shortNotations[1]);
}
