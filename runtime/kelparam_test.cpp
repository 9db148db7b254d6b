// Reading procedure parameters out of descriptor areas, and descriptor-area allocation.
#include "kelparam.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kelmsg.h"

namespace {

// A descriptor area of n entries whose data lives in the test's own storage.
struct Area {
  explicit Area(int n, int used) : bytes(static_cast<size_t>(SQLDASIZE(n)), 0) {
    da()->sqln = static_cast<short>(n);
    da()->sqld = static_cast<short>(used);
  }
  sqlda *da() { return reinterpret_cast<sqlda *>(bytes.data()); }
  sqlvar &var(int i) { return da()->sqlvar[i]; }
  sqlvar2 &ext(int i) { return *reinterpret_cast<sqlvar2 *>(&da()->sqlvar[i]); }
  std::vector<char> bytes;
};

std::vector<char> withPrefix32(const std::string &s) {
  std::vector<char> v(4 + s.size());
  int32_t n = static_cast<int32_t>(s.size());
  std::memcpy(v.data(), &n, 4);
  std::memcpy(v.data() + 4, s.data(), s.size());
  return v;
}

std::vector<char> withPrefix16(const std::string &s) {
  std::vector<char> v(2 + s.size());
  uint16_t n = static_cast<uint16_t>(s.size());
  std::memcpy(v.data(), &n, 2);
  std::memcpy(v.data() + 2, s.data(), s.size());
  return v;
}

class Params : public ::testing::Test {
 protected:
  char *data = nullptr;
  int32_t len = -1;
  int32_t rc = 0;
  char msg[KEL_MSG_BUFFER + 1] = "";
};

TEST_F(Params, LargeObjectsUseTheExtendedLengthPointerOrTheirPrefix) {
  Area a(2, 1);
  std::string dad = "<DAD/>";
  a.var(0).sqltype = SQL_TYP_NCLOB;
  int32_t actual = static_cast<int32_t>(dad.size());
  a.var(0).sqldata = dad.data();
  a.ext(1).sqldatalen = reinterpret_cast<char *>(&actual);
  ASSERT_EQ(kelGetStProcParam(nullptr, a.da(), 0, &data, &len, &rc, msg), 0);
  EXPECT_EQ(len, 6);
  EXPECT_EQ(data, dad.data());

  // Without the extended length pointer the data area begins with a 32-bit length.
  std::vector<char> prefixed = withPrefix32("<DAD>x</DAD>");
  a.ext(1).sqldatalen = nullptr;
  a.var(0).sqldata = prefixed.data();
  ASSERT_EQ(kelGetStProcParam(nullptr, a.da(), 0, &data, &len, &rc, msg), 0);
  EXPECT_EQ(std::string(data, static_cast<size_t>(len)), "<DAD>x</DAD>");

  // An area without room for the extended entry is read the same way.
  Area small(1, 1);
  small.var(0) = a.var(0);
  ASSERT_EQ(kelGetStProcParam(nullptr, small.da(), 0, &data, &len, &rc, msg), 0);
  EXPECT_EQ(len, 12);

  // The single-entry reader always uses the prefix; double-byte large objects are refused.
  ASSERT_EQ(kelGetStringParameter(nullptr, &a.var(0), &data, &len, &rc, msg), 0);
  EXPECT_EQ(len, 12);
  a.var(0).sqltype = SQL_TYP_DBCLOB;
  EXPECT_EQ(kelGetStringParameter(nullptr, &a.var(0), &data, &len, &rc, msg), -1);
  EXPECT_EQ(rc, -107);
}

TEST_F(Params, CharacterTypesTakeTheirLengthFromTheirKind) {
  Area a(3, 3);
  std::vector<char> varying = withPrefix16("SAMPLE");
  std::string fixed = "ABC   ";
  char cstr[20] = "xml";
  a.var(0) = {SQL_TYP_VARCHAR, 18, varying.data(), nullptr, {}};
  a.var(1) = {SQL_TYP_NCHAR, 6, fixed.data(), nullptr, {}};
  a.var(2) = {SQL_TYP_CSTR, 20, cstr, nullptr, {}};
  ASSERT_EQ(kelGetStProcParam(nullptr, a.da(), 0, &data, &len, &rc, msg), 0);
  EXPECT_EQ(std::string(data, static_cast<size_t>(len)), "SAMPLE");
  ASSERT_EQ(kelGetStProcParam(nullptr, a.da(), 1, &data, &len, &rc, msg), 0);
  EXPECT_EQ(len, 6);
  ASSERT_EQ(kelGetStProcParam(nullptr, a.da(), 2, &data, &len, &rc, msg), 0);
  EXPECT_EQ(len, 20);  // the descriptor's length, not the string's
  ASSERT_EQ(kelGetStringParameter(nullptr, &a.var(2), &data, &len, &rc, msg), 0);
  EXPECT_EQ(len, 3);   // the single-entry reader measures the string
}

TEST_F(Params, NullAndWrongTypesFailWithTheirMessages) {
  Area a(1, 1);
  int32_t value = 5;
  short ind = -1;
  a.var(0) = {SQL_TYP_NINTEGER, 4, reinterpret_cast<char *>(&value), &ind, {}};
  EXPECT_EQ(kelGetStProcParam(nullptr, a.da(), 0, &data, &len, &rc, msg), -1);
  EXPECT_EQ(rc, -14);
  EXPECT_STREQ(msg, "KELA019E  A input parameter required to enable the column is null.\n");
  EXPECT_EQ(kelGetIntParameter(nullptr, &a.var(0), &rc, msg), -1);
  EXPECT_EQ(rc, -14);
  ind = 0;
  EXPECT_EQ(kelGetIntParameter(nullptr, &a.var(0), &rc, msg), 0);
  EXPECT_EQ(kelGetStProcParam(nullptr, a.da(), 0, &data, &len, &rc, msg), -1);
  EXPECT_EQ(rc, -107);
  EXPECT_STREQ(msg, "KELA074E  Wrong parameter type. The stored procedure expects a STRING parameter.\n");

  // An integer passed as a varying character string.
  std::vector<char> varying = withPrefix16("5");
  a.var(0) = {SQL_TYP_VARCHAR, 1, varying.data(), nullptr, {}};
  EXPECT_EQ(kelGetIntParameter(nullptr, &a.var(0), &rc, msg), -1);
  EXPECT_EQ(rc, -108);
  EXPECT_STREQ(msg, "KELA075E  Wrong parameter type. The input parameter should be a LONG type.\n");
  // Output parameters are checked for their type, not for null.
  short nullInd = -1;
  a.var(0) = {SQL_TYP_NSMALL, 2, reinterpret_cast<char *>(&value), &nullInd, {}};
  EXPECT_EQ(kelCheckOutputIntParameter(nullptr, &a.var(0), &rc, msg), 0);
}

TEST(DescriptorArea, InitAndFree) {
  sqlda *da = nullptr;
  ASSERT_EQ(kel_init_da(nullptr, &da, 3), 0);
  EXPECT_EQ(std::string(da->sqldaid, 8), "SQLDA   ");
  EXPECT_EQ(da->sqldabc, SQLDASIZE(3));
  EXPECT_EQ(da->sqln, 3);
  EXPECT_EQ(da->sqld, 0);
  EXPECT_EQ(da->sqlvar[2].sqldata, nullptr);
  // Entries hold malloc'd data; nullable ones also a malloc'd indicator.  The sanitizer build
  // reports anything left.
  da->sqld = 2;
  da->sqlvar[0] = {SQL_TYP_NVARCHAR, 10, static_cast<char *>(std::malloc(12)),
                   static_cast<short *>(std::malloc(sizeof(short))), {}};
  da->sqlvar[1] = {SQL_TYP_INTEGER, 4, static_cast<char *>(std::malloc(4)), nullptr, {}};
  kel_free_da(nullptr, da);
  EXPECT_EQ(kel_init_da(nullptr, nullptr, 1), -1);
  EXPECT_EQ(kel_init_da(nullptr, &da, -1), -1);
  EXPECT_EQ(sizeof(sqlvar2), sizeof(sqlvar));
}

TEST(DupParam, CopiesAndTerminates) {
  int32_t rc = 0;
  char msg[KEL_MSG_BUFFER + 1];
  char *copy = kelDupParam(nullptr, "abcdef", 3, &rc, msg);
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "abc");
  std::free(copy);
  copy = kelDupParam(nullptr, nullptr, 0, &rc, msg);
  ASSERT_NE(copy, nullptr);
  EXPECT_STREQ(copy, "");
  std::free(copy);
}

}  // namespace
