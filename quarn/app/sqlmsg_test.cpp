// Error texts of a communication area: token substitution, SQLSTATE suffix, line cutting.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "quarnapp.h"

namespace {

sqlca makeCa(int code, const char *state, const std::string &tokens) {
  sqlca ca{};
  std::memcpy(ca.sqlcaid, "SQLCA   ", 8);
  ca.sqlcabc = sizeof(sqlca);
  ca.sqlcode = code;
  std::memcpy(ca.sqlstate, state, 5);
  ca.sqlerrml = static_cast<short>(tokens.size());
  std::memcpy(ca.sqlerrmc, tokens.data(), tokens.size());
  return ca;
}

TEST(SqlaintpApi, SubstitutesTokensAndAppendsSqlstate) {
  sqlca ca = makeCa(-204, "42704", "QUARNXML.XML_USAGE");
  char buf[1024];
  int n = sqlaintp_api(buf, sizeof buf, 1024, "quarnsql.mo", &ca);
  EXPECT_STREQ(buf, "SQL0204N \"QUARNXML.XML_USAGE\" is an undefined name.  SQLSTATE=42704\n");
  EXPECT_EQ(n, static_cast<int>(std::strlen(buf)));
}

TEST(SqlaintpApi, SeveralTokensAndWarnings) {
  sqlca ca = makeCa(462, "01HX0", std::string("QUARNXML.EXTRACTINTEGER\xFF" "SQL0001\xFF" "Path not found."));
  char buf[1024];
  sqlaintp_api(buf, sizeof buf, 1024, nullptr, &ca);
  EXPECT_EQ(std::string(buf).substr(0, 9), "SQL0462W ");
  EXPECT_NE(std::string(buf).find("\"SQL0001\""), std::string::npos);
  EXPECT_NE(std::string(buf).find("SQLSTATE=01HX0"), std::string::npos);
}

TEST(SqlaintpApi, SuccessHasNoTextAndBadArgumentsAreRefused) {
  sqlca ca = makeCa(0, "00000", "");
  char buf[64] = "x";
  EXPECT_EQ(sqlaintp_api(buf, sizeof buf, 64, nullptr, &ca), 0);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(sqlaintp_api(nullptr, 64, 64, nullptr, &ca), -1);
  EXPECT_EQ(sqlaintp_api(buf, 64, 64, nullptr, nullptr), -1);
}

TEST(SqlaintpApi, CutsIntoLinesAndNeverOverrunsTheBuffer) {
  sqlca ca = makeCa(-803, "23505", std::string("1\xFF" "QUARNXML.XML_USAGE"));
  char buf[1024];
  int n = sqlaintp_api(buf, sizeof buf, 40, nullptr, &ca);
  std::string text(buf, static_cast<size_t>(n));
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    ASSERT_NE(nl, std::string::npos);
    EXPECT_LE(nl - start + 1, 40u);
    start = nl + 1;
  }
  char small[20];
  n = sqlaintp_api(small, sizeof small, 1024, nullptr, &ca);
  EXPECT_EQ(n, 19);
  EXPECT_EQ(std::strlen(small), 19u);
}

// Names in tokens may be in any script: lines and the buffer's end fall between characters.
TEST(SqlaintpApi, CutsNeverSplitACharacter) {
  std::string name;
  for (int i = 0; i < 14; ++i) name += "\xC3\xA9\xE6\x97\xA5";  // e-acute, a CJK character: 70 bytes
  sqlca ca = makeCa(-204, "42704", name);
  auto whole = [](const std::string &text) {
    for (size_t i = 0; i < text.size();) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
      if (c >= 0x80 && c < 0xC0) return false;
      for (size_t k = 1; k < len; ++k)
        if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
      i += len;
    }
    return true;
  };
  for (short width : {10, 11, 12, 13, 40}) {
    char buf[1024];
    int n = sqlaintp_api(buf, sizeof buf, width, nullptr, &ca);
    std::string text(buf, static_cast<size_t>(n));
    size_t start = 0;
    while (start < text.size()) {
      size_t nl = text.find('\n', start);
      ASSERT_NE(nl, std::string::npos);
      EXPECT_LE(nl - start + 1, static_cast<size_t>(width));
      EXPECT_TRUE(whole(text.substr(start, nl - start))) << width << " " << text.substr(start, nl - start);
      start = nl + 1;
    }
  }
  for (short size : {20, 21, 22, 23}) {
    char small[32];
    int n = sqlaintp_api(small, size, 1024, nullptr, &ca);
    EXPECT_LE(n, size - 1);
    EXPECT_GE(n, size - 3);
    EXPECT_TRUE(whole(std::string(small, static_cast<size_t>(n)))) << size;
  }
}

TEST(SqlaintpApi, UnknownCodeStillNamesCodeAndState) {
  sqlca ca = makeCa(-99999, "58004", "");
  char buf[256];
  sqlaintp_api(buf, sizeof buf, 256, nullptr, &ca);
  EXPECT_NE(std::string(buf).find("SQLSTATE=58004"), std::string::npos);
  EXPECT_EQ(std::string(buf).substr(0, 3), "SQL");
}

}  // namespace
