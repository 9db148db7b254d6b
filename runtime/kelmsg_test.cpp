// Message catalogue invariants, message cuts in both modes, and SQLSTATE mapping.
#include "kelmsg.h"

#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>

#include "kelctx.h"

namespace {

// The fixed part of KELQ053E: "KELQ053E  An SQL statement failed : " is 36 characters.
constexpr size_t kQ053Prefix = 36;

std::string formatted(KelCallContext *ctx, int msgNo, const std::string &arg, int *len) {
  char buf[KEL_MSG_BUFFER + 1];
  std::memset(buf, 'x', sizeof buf);
  *len = kelSetMessage(ctx, buf, msgNo, arg.c_str());
  return std::string(buf);
}

TEST(KelCatalogue, EveryEntryKeepsItsInvariants) {
  const std::regex id("KEL[ACDGMQ][0-9]{3}[IWES]");
  for (int i = 0; i < KEL_MSG_COUNT; ++i) {
    const KelMessageEntry &e = kelSqlStateTable[i];
    SCOPED_TRACE(i);
    if (i == 0 || i == 71 || i == 181) {
      EXPECT_STREQ(e.text, "");
      EXPECT_STREQ(e.sqlstate, "");
      EXPECT_EQ(e.code, 0);
      continue;
    }
    std::string text = e.text;
    ASSERT_GE(text.size(), 10u);
    EXPECT_TRUE(std::regex_match(text.substr(0, 8), id)) << text;
    EXPECT_EQ(text.substr(8, 2), "  ");
    EXPECT_EQ(std::strlen(e.sqlstate), 5u);
    for (size_t p = text.find('%'); p != std::string::npos; p = text.find('%', p + 2))
      EXPECT_EQ(text[p + 1], 's') << text;
    if (i >= 98 && i <= 105) {
      EXPECT_EQ(text.substr(10), "Placeholder");
      EXPECT_STREQ(e.sqlstate, "00000");
      EXPECT_EQ(e.code, 0);
      continue;
    }
    switch (text[7]) {
      case 'I': EXPECT_EQ(e.code, 0) << text; break;
      case 'W': EXPECT_GT(e.code, 0) << text; break;
      default: EXPECT_LT(e.code, 0) << text; break;
    }
  }
  EXPECT_STREQ(kelSqlStateTable[KELG005E].sqlstate, "38x33");
  EXPECT_STREQ(kelSqlStateTable[KELG000E].sqlstate, "38x34");
  EXPECT_EQ(KELQ073E, 180);
  EXPECT_EQ(KELA009E, 10);
}

TEST(KelVsprintFull, FormatsWithNewlineAndTerminator) {
  int len;
  std::string s = formatted(nullptr, KELA016E, "T1", &len);
  EXPECT_EQ(s, "KELA016E  The input table T1 does not exist.\n");
  EXPECT_EQ(len, static_cast<int>(s.size()));
}

TEST(KelVsprintFull, CutsAt1023CharactersPlusNewline) {
  int len;
  // 1022 characters fit whole: length + newline.
  std::string s = formatted(nullptr, KELQ053E, std::string(1022 - kQ053Prefix, 'a'), &len);
  EXPECT_EQ(len, 1023);
  EXPECT_EQ(s.size(), 1023u);
  EXPECT_EQ(s.back(), '\n');
  // 1023 characters and more: the first 1023, a newline, 1024 returned.
  for (size_t total : {size_t{1023}, size_t{1024}, size_t{3000}}) {
    s = formatted(nullptr, KELQ053E, std::string(total - kQ053Prefix, 'b'), &len);
    EXPECT_EQ(len, 1024);
    ASSERT_EQ(s.size(), 1024u);
    EXPECT_EQ(s[1022], 'b');
    EXPECT_EQ(s[1023], '\n');
  }
}

// The cut text is the start of full, not ending inside a character: the byte of full behind it
// begins a character.
void expectWholeCharacters(const std::string &full, const std::string &cut) {
  ASSERT_LE(cut.size(), full.size());
  EXPECT_EQ(full.compare(0, cut.size(), cut), 0);
  if (cut.size() < full.size())
    EXPECT_NE(static_cast<unsigned char>(full[cut.size()]) & 0xC0, 0x80);
}

// KELQ053E with fill bytes of 'a' and then characters ch, so that a character of ch ends at
// or just behind each byte near the cut; the text keeps whole characters and loses at most one.
// The cut used to fall at the byte limit and leave the first bytes of a character behind, a
// text the caller could not convert.
void expectCutsOnCharacters(KelCallContext *ctx, size_t textRoom) {
  for (std::string ch : {"\xC3\xA9", "\xE6\x97\xA5", "\xF0\x9D\x84\x9E"}) {
    for (size_t fill = textRoom - 4; fill <= textRoom; ++fill) {
      SCOPED_TRACE(testing::Message() << ch.size() << "-byte characters behind " << fill);
      std::string arg = std::string(fill - kQ053Prefix, 'a');
      for (int i = 0; i < 3; ++i) arg += ch;
      std::string full = "KELQ053E  An SQL statement failed : " + arg;
      int len;
      std::string s = formatted(ctx, KELQ053E, arg, &len);
      ASSERT_EQ(len, static_cast<int>(s.size()));
      ASSERT_EQ(s.back(), '\n');
      s.pop_back();
      expectWholeCharacters(full, s);
      EXPECT_GT(s.size() + ch.size(), textRoom);
      EXPECT_LE(s.size(), textRoom);
    }
  }
}

TEST(KelVsprintFull, CutsBehindTheLastWholeCharacter) {
  expectCutsOnCharacters(nullptr, 1023);
}

TEST(KelVsprintFull, AppendsBehindUsedBytesWithinTheRoom) {
  char buf[KEL_MSG_BUFFER + 1] = "";
  std::memset(buf, 'u', 1000);
  auto append = [&](int used, ...) {
    va_list args;
    va_start(args, used);
    int n = kelVsprint(nullptr, buf, KELA016E, used, args);
    va_end(args);
    return n;
  };
  int n = append(1000, "TABLE1");
  EXPECT_EQ(n, 24);  // room 24: 23 characters and the newline
  EXPECT_EQ(buf[1023], '\n');
  EXPECT_EQ(buf[1024], '\0');
  EXPECT_EQ(std::string(buf + 1000, 10), "KELA016E  ");
  // Beyond the room nothing is written.
  buf[1024] = 'z';
  EXPECT_EQ(append(1025, "T"), 0);
  EXPECT_EQ(append(1024, "T"), 0);
  EXPECT_EQ(buf[1024], 'z');
}

TEST(KelVsprintShort, CutsAt70Characters) {
  KelCallContext ctx{};
  ctx.fullMessages = KEL_SHORT_MESSAGES;
  int len;
  std::string s = formatted(&ctx, KELQ053E, std::string(69 - kQ053Prefix, 'c'), &len);
  EXPECT_EQ(len, 70);
  EXPECT_EQ(s.size(), 70u);
  EXPECT_EQ(s[68], 'c');
  EXPECT_EQ(s[69], '\n');
  s = formatted(&ctx, KELQ053E, std::string(70 - kQ053Prefix, 'd'), &len);
  EXPECT_EQ(len, 70);
  EXPECT_EQ(s.size(), 70u);
  EXPECT_EQ(s[69], '\n');
  s = formatted(&ctx, KELQ053E, std::string(10, 'e'), &len);
  EXPECT_EQ(len, static_cast<int>(kQ053Prefix) + 11);
}

TEST(KelVsprintShort, CutsBehindTheLastWholeCharacter) {
  KelCallContext ctx{};
  ctx.fullMessages = KEL_SHORT_MESSAGES;
  expectCutsOnCharacters(&ctx, 69);
}

TEST(KelVsprint, RefusesNumbersOutsideTheCatalogue) {
  char buf[KEL_MSG_BUFFER + 1] = "keep";
  EXPECT_EQ(kelSetMessage(nullptr, buf, -1), -1);
  EXPECT_EQ(kelSetMessage(nullptr, buf, KEL_MSG_COUNT), -1);
  EXPECT_STREQ(buf, "keep");
}

TEST(KelDbVsprint, PutsTheDatabaseTextAndKelm001wBeforeTheMessage) {
  sqlca ca{};
  ca.sqlcode = -204;
  std::memcpy(ca.sqlstate, "42704", 5);
  const char token[] = "QUARNXML.XML_USAGE";
  ca.sqlerrml = sizeof token - 1;
  std::memcpy(ca.sqlerrmc, token, sizeof token - 1);
  char buf[KEL_MSG_BUFFER + 1];
  int len = kelSetDbMessage(nullptr, buf, &ca, KELQ052E);
  std::string s = buf;
  EXPECT_EQ(len, static_cast<int>(s.size()));
  EXPECT_EQ(s, "SQL0204N \"QUARNXML.XML_USAGE\" is an undefined name.  SQLSTATE=42704\n"
               "KELM001W  A Quarn error occurred.\n"
               "KELQ052E  An error occured while accessing the QUARNXML.XML_USAGE table.\n");
}

TEST(KelDbVsprint, WithoutDatabaseTextOnlyTheMessage) {
  sqlca ca{};
  char buf[KEL_MSG_BUFFER + 1];
  int len = kelSetDbMessage(nullptr, buf, &ca, KELA004E, "SAMPLE");
  EXPECT_STREQ(buf, "KELA004E  Cannot enable database SAMPLE.\n");
  EXPECT_EQ(len, 41);
}

// The database text put in front was cut at 70 bytes, through a character.
TEST(KelDbVsprint, ShortModeCutsTheDatabaseTextBehindAWholeCharacter) {
  KelCallContext ctx{};
  ctx.fullMessages = KEL_SHORT_MESSAGES;
  // 68 bytes and then three-byte characters: the one on bytes 68 to 70 does not fit in 70, and
  // KELM001W takes the two bytes left as far as they go.
  std::string dbText = std::string(68, 'q') + "\xE6\x97\xA5\xE6\x97\xA5";
  char buf[KEL_SHORT_MSG_LEN + 1];
  int len = kelSetDbTextMessage(&ctx, buf, dbText.c_str(), KELA004E, "SAMPLE");
  EXPECT_EQ(std::string(buf), std::string(68, 'q') + "K\n");
  EXPECT_EQ(len, 70);
  // A two-byte character on bytes 69 and 70 is left out; the byte before it stays.
  dbText = std::string(69, 'q') + "\xC3\xA9";
  len = kelSetDbTextMessage(&ctx, buf, dbText.c_str(), KELA004E, "SAMPLE");
  EXPECT_EQ(std::string(buf), std::string(69, 'q') + "\n");
  EXPECT_EQ(len, 70);
}

TEST(KelStateToCode, TakesTheFirstEntryOfAState) {
  int32_t rc = 7;
  EXPECT_EQ(kelStateToCode(nullptr, &rc, "38X15"), -40);
  EXPECT_EQ(rc, -40);
  EXPECT_EQ(kelStateToCode(nullptr, &rc, "38X13"), -85);
  EXPECT_EQ(kelStateToCode(nullptr, &rc, "01HX0"), 1);
  EXPECT_EQ(kelStateToCode(nullptr, &rc, "38x33"), -91);
  EXPECT_EQ(kelStateToCode(nullptr, &rc, "38X33"), KEL_STATE_NOT_FOUND);
  EXPECT_EQ(rc, INT32_MIN);
  EXPECT_EQ(kelStateToCode(nullptr, &rc, "00000"), 0);
  EXPECT_EQ(kelStateToCode(nullptr, &rc, ""), 0);
  EXPECT_EQ(kelStateToCode(nullptr, &rc, nullptr), 0);
  EXPECT_EQ(kelStateToCode(nullptr, &rc, "38X18"), -57);
}

TEST(KelMessageState, GivesStateAndCodeOfAnEntry) {
  char state[6] = "";
  EXPECT_EQ(kelMessageState(KELD001E, state), -55);
  EXPECT_STREQ(state, "38X08");
  EXPECT_EQ(kelMessageState(KELD003W, state), 1);
  EXPECT_STREQ(state, "01HX0");
}

}  // namespace
