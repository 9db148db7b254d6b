// The engine's list of errors: one row per code, each row's SQLSTATE and text well formed, and
// a raise carries its row's SQLSTATE.
#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

#include "errors.h"

namespace {

TEST(EngineErrorList, RowsAreUniqueAndWellFormed) {
  size_t n = 0;
  const quarn::ErrorRow *rows = quarn::errorRows(&n);
  ASSERT_GT(n, 50u);
  std::set<int> codes;
  for (size_t k = 0; k < n; ++k) {
    const quarn::ErrorRow &r = rows[k];
    EXPECT_TRUE(codes.insert(r.sqlcode).second) << r.sqlcode;
    std::string state = r.sqlstate, text = r.text;
    // Only the codes that carry a routine's or a SIGNAL's SQLSTATE leave it to the raise.
    if (state.empty()) {
      EXPECT_TRUE(r.sqlcode == -438 || r.sqlcode == -443 || r.sqlcode == 462) << r.sqlcode;
    } else {
      ASSERT_EQ(state.size(), 5u) << r.sqlcode;
      for (char c : state) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(c)) || std::isupper(static_cast<unsigned char>(c))) << state;
      // Class 00 is success, 01 a warning, 02 no data; everything else is an error.
      std::string cls = state.substr(0, 2);
      if (r.sqlcode < 0) {
        EXPECT_TRUE(cls != "00" && cls != "01" && cls != "02") << r.sqlcode;
      } else if (r.sqlcode > 0) {
        EXPECT_TRUE(cls == "01" || cls == "02") << r.sqlcode;
      }
    }
    if (r.sqlcode == 0) continue;
    EXPECT_FALSE(text.empty()) << r.sqlcode;
    // Placeholders are &1..&9, numbered from 1 without gaps.
    int highest = 0;
    std::set<int> seen;
    for (size_t i = 0; i + 1 < text.size(); ++i)
      if (text[i] == '&') {
        ASSERT_TRUE(text[i + 1] >= '1' && text[i + 1] <= '9') << text;
        seen.insert(text[i + 1] - '0');
        highest = std::max(highest, text[i + 1] - '0');
      }
    EXPECT_EQ(seen.size(), static_cast<size_t>(highest)) << text;
  }
  // The codes programs test for come from the platform header.
  EXPECT_EQ(quarn::kSqlObjectExists, SQL_RC_E601);
  EXPECT_EQ(quarn::kSqlGraphic, SQL_RC_E1216);
  EXPECT_EQ(quarn::kSqlNotFound, SQL_RC_W100);
}

TEST(EngineErrorList, RaiseCarriesTheRowsState) {
  try {
    quarn::raise(quarn::kSqlUndefinedName, {"S.T"});
    FAIL();
  } catch (const quarn::QError &e) {
    EXPECT_EQ(e.sqlcode, -204);
    EXPECT_EQ(e.sqlstate, "42704");
    ASSERT_EQ(e.tokens.size(), 1u);
  }
  try {
    quarn::raiseWithState(quarn::kSqlSignal, "70010", {"text"});
    FAIL();
  } catch (const quarn::QError &e) {
    EXPECT_EQ(e.sqlstate, "70010");
  }
}

// Bug: tokens cut to fit the 70-byte area were cut at a byte count, so a diagnostic of two-byte
// characters could end in a lone lead byte on the terminal.
TEST(CommunicationArea, TokensAreCutOnCharacterBoundaries) {
  std::string accents;
  for (int k = 0; k < 30; ++k) accents += "\xC3\xA9";
  for (const std::string &name : {std::string("S.F"), std::string("S.FN"), std::string("SCHEMA.FUNCTION1")}) {
    sqlca ca;
    quarn::setSqlca(&ca, quarn::QError{-443, "38T03", {name, "SPEC1", accents}});
    std::string area(ca.sqlerrmc, static_cast<size_t>(ca.sqlerrml));
    EXPECT_LE(area.size(), static_cast<size_t>(SQL_MAX_ERRMC));
    std::string text = area.substr(area.rfind('\xFF') + 1);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.size() % 2, 0u) << "a character was split";
    EXPECT_EQ(text, accents.substr(0, text.size()));
  }
  EXPECT_EQ(quarn::cutUtf8("a\xC3\xA9", 2), "a");
  EXPECT_EQ(quarn::cutUtf8("a\xC3\xA9", 3), "a\xC3\xA9");
}

}  // namespace
