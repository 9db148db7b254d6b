// Code-page set-up, encoding names and the conversions between application code page, database
// code page and UTF-16.  Documents and strings are looped over several encodings; expected bytes
// are produced with ICU converters opened independently by name.
#include "kelcodepage.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "kel_test_env.h"
#include "kelctx.h"
#include "kelmsg.h"
#include "sqlca.h"

namespace {

// Text in an encoding, made with ICU directly.
std::string encode(const char *converterName, const std::u16string &text) {
  UErrorCode err = U_ZERO_ERROR;
  UConverter *conv = ucnv_open(converterName, &err);
  EXPECT_TRUE(U_SUCCESS(err)) << converterName;
  std::string out(text.size() * 4 + 8, '\0');
  int32_t n = ucnv_fromUChars(conv, out.data(), static_cast<int32_t>(out.size()), text.data(),
                              static_cast<int32_t>(text.size()), &err);
  ucnv_close(conv);
  EXPECT_TRUE(U_SUCCESS(err)) << converterName;
  out.resize(static_cast<size_t>(n));
  return out;
}

std::string utf8(const std::u16string &text) {
  return encode("UTF-8", text);
}

std::u16string fromUtf8(const std::string &s) {
  std::u16string out(s.size() + 1, u'\0');
  int32_t n = 0;
  UErrorCode err = U_ZERO_ERROR;
  u_strFromUTF8(out.data(), static_cast<int32_t>(out.size()), &n, s.data(),
                static_cast<int32_t>(s.size()), &err);
  out.resize(static_cast<size_t>(n));
  return out;
}

// A call whose code pages are set up in function mode, with its trace captured in a file.
class CodePageCall {
 public:
  CodePageCall(const char *appName, int32_t dbCodePage) {
    ctx_.codePages = static_cast<KelCodePages *>(std::calloc(1, sizeof(KelCodePages)));
    traceName_ = dir_.file("call.trc");
    ctx_.traceFile = std::fopen(traceName_.c_str(), "w");
    ctx_.traceOn = 1;
    KelCodePageRequest request{KEL_CP_FUNCTION_MODE, dbCodePage, nullptr};
    rc = initICU(&ctx_, KEL_CP_FUNCTION_MODE, &request, appName);
  }
  ~CodePageCall() {
    char state[6];
    kelTerm(&ctx_, state);
  }
  KelCallContext *ctx() { return &ctx_; }
  KelCodePages *cp() { return ctx_.codePages; }
  std::string trace() {
    std::fflush(ctx_.traceFile);
    return keltest::readFile(traceName_);
  }
  int rc;

 private:
  keltest::TempDir dir_;
  std::string traceName_;
  KelCallContext ctx_{};
};

// Restores ICU's default converter name when it goes.
class ScopedDefaultConverter {
 public:
  explicit ScopedDefaultConverter(const char *name) : saved_(ucnv_getDefaultName()) {
    ucnv_setDefaultName(name);
  }
  ~ScopedDefaultConverter() { ucnv_setDefaultName(saved_.c_str()); }

 private:
  std::string saved_;
};

std::string nameOf(KelCallContext *ctx, int32_t codePage) {
  UChar name[64];
  char state[6] = "00000";
  char msg[KEL_MSG_BUFFER + 1] = "";
  if (KEL_getEncoding(ctx, codePage, name, 64, state, msg) != 0)
    return "<" + std::string(msg) + ">";
  return utf8(name);
}

// An application encoding for the matrices: ICU name, CCSID and a text it can carry.
struct AppEncoding {
  const char *icuName;
  int32_t codePage;
  std::u16string text;
};

const std::vector<AppEncoding> &appEncodings() {
  static const std::vector<AppEncoding> list = {
      {"UTF-8", 1208, u"Gr\u00FC\u00DFe \u65E5\u672C \U0001F600"},
      {"ISO-8859-1", 819, u"Gr\u00FC\u00DFe caf\u00E9"},
      {"UTF-16BE", 1200, u"Gr\u00FC\u00DFe \u65E5\u672C"},
      {"ibm-943_P15A-2003", 943, u"\u65E5\u672C\u8A9E \u30AB\u30CA abc"},
      {"ibm-33722_P120-1999", 33722, u"\u65E5\u672C\u8A9E \u3072\u3089\u304C\u306A"},
      {"ibm-5348_P100-1997", 5348, u"na\u00EFve \u20AC 5"},
  };
  return list;
}

// ---------------------------------------------------------------------------------------------
// Encoding names

TEST(KelEncodingName, OldAndNewJapaneseEucBothGiveEucJp) {
  CodePageCall call("UTF-8", 1208);
  EXPECT_EQ(nameOf(call.ctx(), 954), "EUC-JP");
  EXPECT_EQ(nameOf(call.ctx(), 33722), "EUC-JP");
}

TEST(KelEncodingName, TableWinsInItsOrder) {
  CodePageCall call("UTF-8", 1208);
  struct {
    int32_t cp;
    const char *name;
  } cases[] = {{1208, "UTF-8"},        {-1, "UTF-16"},     {367, "us-ascii"},
               {819, "iso-8859-1"},    {850, "IBM850"},    {1252, "windows-1252"},
               {1257, "windows-1257"}, {37, "IBM037"},     {1383, "GB2312"},
               {943, "Shift_JIS"},     {932, "Shift_JIS"}, {950, "Big5"},
               {970, "EUC-KR"},        {964, "EUC-TW"},    {912, "iso-8859-2"},
               {920, "iso-8859-9"},    {1046, "cp1046"}};
  for (const auto &c : cases) EXPECT_EQ(nameOf(call.ctx(), c.cp), c.name) << c.cp;
}

TEST(KelEncodingName, PrefixedAliasNamesAreTheOnesIcuRegisters) {
  // 850, 37 and the 125x pages name the charset ICU registers for "ibm-<cp>"'s code page.
  for (int32_t cp : {850, 37, 1250, 1251, 1252, 1254, 1255, 1256, 1257}) {
    CodePageCall call("UTF-8", 1208);
    std::string name = nameOf(call.ctx(), cp);
    UErrorCode err = U_ZERO_ERROR;
    const char *iana = ucnv_getStandardName(name.c_str(), "IANA", &err);
    ASSERT_NE(iana, nullptr) << name;
    EXPECT_EQ(std::string(iana), name);
    // And the named charset is the code page: both convert a test text alike.
    std::string viaName = encode(name.c_str(), u"ab");
    EXPECT_EQ(viaName, encode(("ibm-" + std::to_string(cp)).c_str(), u"ab")) << cp;
  }
}

TEST(KelEncodingName, OtherPagesAskIcuAndRestoreTheDefault) {
  std::string before = ucnv_getDefaultName();
  CodePageCall call("ISO-8859-1", 943);
  EXPECT_EQ(nameOf(call.ctx(), 1200), "UTF-16BE");      // MIME name
  EXPECT_EQ(nameOf(call.ctx(), 5348), "windows-1252");  // IANA name only
  EXPECT_EQ(nameOf(call.ctx(), 9999), "ibm-9999");      // unknown: the alias itself
  EXPECT_EQ(before, ucnv_getDefaultName());
  EXPECT_NE(call.trace().find("KEL_getEncoding:\t\ticu name UTF-16BE\n"), std::string::npos);
}

TEST(KelEncodingName, NoDatabaseConverterIsUnsupported) {
  UChar name[16];
  char state[6] = "00000";
  char msg[KEL_MSG_BUFFER + 1] = "";
  EXPECT_EQ(KEL_getEncoding(nullptr, 9999, name, 16, state, msg), -119);
  EXPECT_STREQ(state, "38X38");
  EXPECT_STREQ(msg, "KELG008E  Locale 9999 is not supported.\n");
}

TEST(KelEncodingName, IsCutToTheCapacity) {
  UChar name[4];
  char state[6] = "00000";
  ASSERT_EQ(KEL_getEncoding(nullptr, 1208, name, 4, state, nullptr), 0);
  EXPECT_EQ(std::u16string(name), u"UTF");
}

// ---------------------------------------------------------------------------------------------
// Converters and set-up

TEST(KelOpenConverter, FixedTablesAndCcsidsRoundTrip) {
  struct {
    int32_t cp;
    const char *name;
    std::u16string text;
  } cases[] = {{942, "ibm-942_P12A-1999", u"\u65E5\u672C abc"},
               {943, "ibm-943_P15A-2003", u"\u65E5\u672C abc"},
               {949, "ibm-949_P11A-1999", u"\uD55C\uAD6D abc"},
               {1363, "ibm-1363_P11B-1998", u"\uD55C\uAD6D abc"},
               {954, "ibm-33722_P120-1999", u"\u65E5\u672C abc"},  // 954 is opened as 33722
               {1208, "UTF-8", u"\u00E9\u65E5"},
               {819, "ISO-8859-1", u"\u00E9"},
               {1200, "UTF-16BE", u"\u00E9\u65E5"}};
  for (const auto &c : cases) {
    UErrorCode err = U_ZERO_ERROR;
    UConverter *conv = kelOpenConverter(c.cp, &err);
    ASSERT_NE(conv, nullptr) << c.cp;
    EXPECT_TRUE(U_SUCCESS(err));
    EXPECT_STREQ(ucnv_getName(conv, &err), c.name);
    char bytes[64];
    UChar back[32];
    int32_t n = ucnv_fromUChars(conv, bytes, sizeof bytes, c.text.data(),
                                static_cast<int32_t>(c.text.size()), &err);
    int32_t m = ucnv_toUChars(conv, back, 32, bytes, n, &err);
    EXPECT_EQ(std::u16string(back, static_cast<size_t>(m)), c.text) << c.cp;
    ucnv_close(conv);
  }
  UErrorCode err = U_ZERO_ERROR;
  EXPECT_EQ(kelOpenConverter(1046, &err), nullptr);
  EXPECT_TRUE(U_FAILURE(err));
}

TEST(KelInitIcu, FunctionModeTakesLocaleAndDbinfo) {
  struct {
    const char *locale;
    int32_t db;
    int32_t app, dbRecorded;
    bool shared;
  } cases[] = {
      {"ISO-8859-1", 1208, 819, 1208, false},
      {"UTF-8", 1208, 1208, 1208, true},
      {"de_DE.ISO-8859-1", 1208, 819, 1208, false},  // the code set of a POSIX locale
      {"C", 1208, 1208, 1208, true},                 // plain ASCII locale: UTF-8
      {"UTF-8", 954, 1208, 33722, false},
      {"ibm-943_P15A-2003", 0, 943, 943, true},  // no DBINFO page: the application's
  };
  for (const auto &c : cases) {
    CodePageCall call(c.locale, c.db);
    ASSERT_EQ(call.rc, 0) << c.locale;
    EXPECT_EQ(call.cp()->appCodePage, c.app) << c.locale;
    EXPECT_EQ(call.cp()->dbCodePage, c.dbRecorded) << c.locale;
    EXPECT_EQ(call.cp()->appConverter == call.cp()->dbConverter, c.shared) << c.locale;
    std::string trace = call.trace();
    EXPECT_NE(trace.find("initICU:\t\tapp code page " + std::to_string(c.app) + ", db code page " +
                         std::to_string(c.dbRecorded) + "\n"),
              std::string::npos)
        << trace;
    EXPECT_NE(trace.find("initICU:\t\tgot icu converters db conv = "), std::string::npos);
  }
}

TEST(KelInitIcu, PlainAsciiDefaultMeansUtf8) {
  ScopedDefaultConverter ascii("US-ASCII");
  CodePageCall call(nullptr, 1208);
  ASSERT_EQ(call.rc, 0);
  EXPECT_EQ(call.cp()->appCodePage, 1208);
  EXPECT_EQ(call.cp()->appConverter, call.cp()->dbConverter);
  UChar out[8];
  EXPECT_EQ(KEL_mbstowcsSys(nullptr, out, "\xC3\xA9", 8), 1);  // é read as UTF-8
  EXPECT_EQ(out[0], 0x00E9);
}

// The application side of a call without a locale name is the code set of the locale the
// environment names, whether or not the process called setlocale: a Latin-1 locale reads files as
// Latin-1 (the byte E9 was stored as it was in the UTF-8 database), and the C locale stays UTF-8.
// The Latin-1 locale is made for the test with localedef (package locales).
TEST(KelInitIcu, ApplicationCodePageIsTheEnvironmentLocales) {
  keltest::TempDir dir;
  keltest::ScopedEnv env;
  const std::string made = dir.file("en_US.ISO-8859-1");
  const std::string command = "localedef -i en_US -f ISO-8859-1 '" + made + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "localedef cannot make a Latin-1 locale here";
  env.set("LOCPATH", dir.str());
  env.set("LC_ALL", "en_US.ISO-8859-1");
  {
    CodePageCall latin(nullptr, 1208);
    ASSERT_EQ(latin.rc, 0);
    EXPECT_EQ(latin.cp()->appCodePage, 819);
    char out[16] = "";
    char msg[KEL_MSG_BUFFER + 1] = "";
    char state[6] = "";
    int32_t n = convertBufferAppToQuarn(latin.ctx(), "caf\xE9", 4, out, sizeof out, msg, state, nullptr);
    EXPECT_EQ(std::string(out, n > 0 ? static_cast<size_t>(n) : 0), "caf\xC3\xA9") << msg;
  }
  env.set("LC_ALL", "C");
  CodePageCall plain(nullptr, 1208);
  ASSERT_EQ(plain.rc, 0);
  EXPECT_EQ(plain.cp()->appCodePage, 1208);
}

TEST(KelInitIcu, FunctionModeFailuresReturnTheIcuError) {
  CodePageCall badLocale("no-such-charset", 1208);
  EXPECT_GT(badLocale.rc, 0);
  EXPECT_NE(badLocale.trace().find(
                "initICU:\t\tunable to open app icu converter no-such-charset for UDF case\n"),
            std::string::npos);
  CodePageCall badDb("UTF-8", 1046);
  EXPECT_GT(badDb.rc, 0);
  EXPECT_NE(badDb.trace().find("unable to open icu converter for db codepage 1046\n"),
            std::string::npos);
}

// Connection answers for procedure mode.
sqlca answerWith(const std::string &tokens, int32_t sqlcode = 0) {
  sqlca ca{};
  std::memcpy(ca.sqlcaid, SQLCA_EYECATCHER, 8);
  ca.sqlcode = sqlcode;
  ca.sqlerrml = static_cast<short>(tokens.size());
  std::memcpy(ca.sqlerrmc, tokens.data(), tokens.size());
  return ca;
}
std::string tokens(std::initializer_list<const char *> list) {
  std::string s;
  for (const char *t : list) {
    if (t != *list.begin()) s += '\xFF';
    s += t;
  }
  return s;
}
const std::string kFullAnswer = tokens({"1", "1208", "QUARN", "TESTDB", "x", "y", "z", "w", "819"});
const std::string kNoAppPage = tokens({"1", "1208", "QUARN", "TESTDB"});
const std::string kEucJp = tokens({"1", "954", "QUARN", "TESTDB", "x", "y", "z", "w", "954"});

int answerFull(sqlca *ca) {
  *ca = answerWith(kFullAnswer);
  return 0;
}
int answerNoAppPage(sqlca *ca) {
  *ca = answerWith(kNoAppPage);
  return 0;
}
int answerEucJp(sqlca *ca) {
  *ca = answerWith(kEucJp);
  return 0;
}
int answerFailure(sqlca *ca) {
  *ca = answerWith("", -1024);
  return 0;
}

TEST(KelInitIcu, ProcedureModeTakesTheConnectionTokens) {
  struct {
    KelConnectionInfoFn fn;
    int32_t expected;
  } cases[] = {{answerFull, 819}, {answerNoAppPage, 1208}, {answerEucJp, 33722}};
  for (const auto &c : cases) {
    KelCallContext ctx{};
    ctx.codePages = static_cast<KelCodePages *>(std::calloc(1, sizeof(KelCodePages)));
    KelCodePageRequest request{KEL_CP_PROCEDURE_MODE, 0, c.fn};
    EXPECT_EQ(initICU(&ctx, KEL_CP_PROCEDURE_MODE, &request, nullptr), 0);
    EXPECT_EQ(ctx.codePages->appCodePage, c.expected);
    EXPECT_EQ(ctx.codePages->dbCodePage, c.expected);
    EXPECT_EQ(ctx.codePages->appConverter, ctx.codePages->dbConverter);
    char state[6];
    kelTerm(&ctx, state);
  }
  for (KelConnectionInfoFn fn : {static_cast<KelConnectionInfoFn>(nullptr), answerFailure}) {
    KelCallContext ctx{};
    ctx.codePages = static_cast<KelCodePages *>(std::calloc(1, sizeof(KelCodePages)));
    KelCodePageRequest request{KEL_CP_PROCEDURE_MODE, 0, fn};
    EXPECT_EQ(initICU(&ctx, KEL_CP_PROCEDURE_MODE, &request, nullptr), -1);
    char state[6];
    kelTerm(&ctx, state);
  }
}

TEST(KelSqlerrmcToken, CountsFromOneAndStopsAtTheUsedLength) {
  sqlca ca = answerWith(kFullAnswer);
  EXPECT_EQ(get_sqlerrmc_token(nullptr, &ca, 1), 1);
  EXPECT_EQ(get_sqlerrmc_token(nullptr, &ca, 2), 1208);
  EXPECT_EQ(get_sqlerrmc_token(nullptr, &ca, 9), 819);
  EXPECT_EQ(get_sqlerrmc_token(nullptr, &ca, 10), -1);
  EXPECT_EQ(get_sqlerrmc_token(nullptr, &ca, 3), -1);  // not a number
  EXPECT_EQ(get_sqlerrmc_token(nullptr, &ca, 0), -1);
  // Bytes behind the used length are not tokens.
  ca.sqlerrml = static_cast<short>(kNoAppPage.size());
  EXPECT_EQ(get_sqlerrmc_token(nullptr, &ca, 9), -1);

  CodePageCall call("UTF-8", 1208);
  EXPECT_EQ(get_sqlerrmc_token(call.ctx(), &ca, 9), -1);
  EXPECT_NE(
      call.trace().find("get_sqlerrmc_token:\t\tcant find token 9, cur_tok_num 4, sqlerrmc start "),
      std::string::npos);
}

class KelInitCodePages : public ::testing::Test {
 protected:
  void SetUp() override {
    env.set("QUARNINSTANCE", "cpinst");
    env.set("QUARNKELPATH", dir.str());
  }
  void TearDown() override { kelTerm(&ctx, state); }
  keltest::TempDir dir;
  keltest::ScopedEnv env;
  KelCallContext ctx{};
  char state[6] = "00000";
  char msg[KEL_MSG_BUFFER + 1] = "";
};

TEST_F(KelInitCodePages, SetsUpBothModes) {
  KelCodePageRequest function{KEL_CP_FUNCTION_MODE, 954, nullptr};
  ASSERT_EQ(kelInit(&ctx, KEL_SHORT_MESSAGES, &function, state, msg, "ISO-8859-1"), 0);
  EXPECT_EQ(ctx.codePages->appCodePage, 819);
  EXPECT_EQ(ctx.codePages->dbCodePage, 33722);
  kelTerm(&ctx, state);

  KelCodePageRequest procedure{KEL_CP_PROCEDURE_MODE, 0, answerFull};
  ASSERT_EQ(kelInit(&ctx, KEL_FULL_MESSAGES, &procedure, state, msg, nullptr), 0);
  EXPECT_EQ(ctx.codePages->dbCodePage, 819);

  // Without a request both sides are the process's own code page.
  KelCallContext plain{};
  ASSERT_EQ(kelInit(&plain, KEL_FULL_MESSAGES, nullptr, state, msg, nullptr), 0);
  EXPECT_EQ(plain.codePages->appCodePage, plain.codePages->dbCodePage);
  EXPECT_NE(plain.codePages->appConverter, nullptr);
  kelTerm(&plain, state);
}

TEST_F(KelInitCodePages, FailureIsUnsupportedLocaleAndTearsDown) {
  KelCodePageRequest function{KEL_CP_FUNCTION_MODE, 1208, nullptr};
  EXPECT_EQ(kelInit(&ctx, KEL_FULL_MESSAGES, &function, state, msg, "no-such-charset"), -119);
  EXPECT_STREQ(state, "38X38");
  EXPECT_STREQ(msg, "KELG008E  Locale no-such-charset is not supported.\n");
  EXPECT_EQ(ctx.codePages, nullptr);

  KelCodePageRequest procedure{KEL_CP_PROCEDURE_MODE, 0, answerFailure};
  std::strcpy(state, "00000");
  EXPECT_EQ(kelInit(&ctx, KEL_FULL_MESSAGES, &procedure, state, msg, nullptr), -119);
  EXPECT_STREQ(state, "38X38");
  EXPECT_EQ(ctx.codePages, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Buffer conversions

TEST(KelConvertBuffer, EveryApplicationEncodingReachesTheDatabaseAndBack) {
  for (const AppEncoding &e : appEncodings()) {
    CodePageCall call(e.icuName, 1208);
    ASSERT_EQ(call.rc, 0) << e.icuName;
    ASSERT_EQ(call.cp()->appCodePage, e.codePage) << e.icuName;
    std::string app = encode(e.icuName, e.text);
    std::string expected = utf8(e.text);
    char msg[KEL_MSG_BUFFER + 1] = "";
    char state[6] = "00000";
    std::vector<char> db(expected.size() + 1, 'x');
    int32_t err = 0;
    int32_t n =
        convertBufferAppToQuarn(call.ctx(), app.data(), static_cast<int32_t>(app.size()), db.data(),
                                static_cast<int32_t>(db.size()), msg, state, &err);
    ASSERT_EQ(n, static_cast<int32_t>(expected.size())) << e.icuName << " " << msg;
    EXPECT_EQ(std::string(db.data(), static_cast<size_t>(n)), expected) << e.icuName;
    // A conversion terminates its result; equal code pages copy the bytes only.
    EXPECT_EQ(db[static_cast<size_t>(n)], e.codePage == 1208 ? 'x' : '\0') << e.icuName;

    std::vector<char> back(app.size() + 1);
    int32_t m = convertBufferQuarnToApp(call.ctx(), db.data(), n, back.data(),
                                        static_cast<int32_t>(back.size()), msg, state);
    ASSERT_EQ(m, static_cast<int32_t>(app.size())) << e.icuName;
    EXPECT_EQ(std::string(back.data(), static_cast<size_t>(m)), app) << e.icuName;
    // One byte less than result and terminator is too small.
    EXPECT_EQ(convertBufferQuarnToApp(call.ctx(), db.data(), n, back.data(),
                                      static_cast<int32_t>(app.size()), msg, state),
              e.codePage == 1208 ? static_cast<int32_t>(app.size()) : -1)
        << e.icuName;
  }
}

TEST(KelConvertBuffer, Utf16ByteOrderMarkIsDroppedInEitherOrder) {
  const std::u16string text = u"a\u00E9\u65E5";
  struct {
    const char *order;
    const char *bom;
  } cases[] = {{"UTF-16BE", "\xFE\xFF"}, {"UTF-16LE", "\xFF\xFE"}};
  for (int32_t db : {1208, 1200}) {
    CodePageCall call("UTF-16BE", db);
    ASSERT_EQ(call.cp()->appCodePage, 1200);
    for (const auto &c : cases) {
      std::string app = std::string(c.bom) + encode(c.order, text);
      std::string expected = db == 1208 ? utf8(text) : encode("UTF-16BE", text);
      char buf[64];
      char msg[KEL_MSG_BUFFER + 1] = "";
      char state[6] = "00000";
      int32_t n = convertBufferAppToQuarn(call.ctx(), app.data(), static_cast<int32_t>(app.size()),
                                          buf, sizeof buf, msg, state, nullptr);
      ASSERT_GE(n, 0) << c.order << " " << msg;
      EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), expected) << c.order << " into " << db;
    }
  }
}

TEST(KelConvertBuffer, DestinationOneByteShortFails) {
  // Equal code pages copy: exactly the source length fits and nothing is written behind it.
  CodePageCall same("UTF-8", 1208);
  const std::string src = "<doc>caf\xC3\xA9</doc>";
  const int32_t len = static_cast<int32_t>(src.size());
  std::vector<char> dest(src.size() + 1, '#');
  char msg[KEL_MSG_BUFFER + 1] = "";
  char state[6] = "00000";
  int32_t err = 0;
  EXPECT_EQ(
      convertBufferAppToQuarn(same.ctx(), src.data(), len, dest.data(), len, msg, state, &err),
      len);
  EXPECT_EQ(dest[src.size()], '#');
  EXPECT_EQ(
      convertBufferAppToQuarn(same.ctx(), src.data(), len, dest.data(), len - 1, msg, state, &err),
      -1);
  EXPECT_EQ(err, KEL_CONV_TOO_SMALL);
  EXPECT_STREQ(state, "38X45");
  EXPECT_EQ(std::strncmp(msg, "KELQ055E  ICU error: ", 21), 0) << msg;

  // Converting: the result needs room for its terminator too.
  CodePageCall other("ISO-8859-1", 1208);
  const std::string latin = "caf\xE9";  // 5 bytes in UTF-8
  err = 0;
  std::strcpy(state, "00000");
  EXPECT_EQ(convertBufferAppToQuarn(other.ctx(), latin.data(), 4, dest.data(), 5, msg, state, &err),
            -1);
  EXPECT_EQ(err, KEL_CONV_TOO_SMALL);
  EXPECT_STREQ(state, "38X45");
  EXPECT_NE(other.trace().find("destbuf 5 too small to hold converted buffer 5\n"),
            std::string::npos);
  EXPECT_EQ(convertBufferAppToQuarn(other.ctx(), latin.data(), 4, dest.data(), 6, msg, state, &err),
            5);
  EXPECT_STREQ(dest.data(), "caf\xC3\xA9");
}

TEST(KelConvertBuffer, ConvertsInPlace) {
  CodePageCall call("ISO-8859-1", 1208);
  char buf[16] = "\xE9t\xE9";
  int32_t n =
      convertBufferAppToQuarn(call.ctx(), buf, 3, buf, sizeof buf, nullptr, nullptr, nullptr);
  ASSERT_EQ(n, 5);
  EXPECT_STREQ(buf, "\xC3\xA9t\xC3\xA9");
}

// With equal code pages the bytes were copied unchecked: a Latin-1 file read with the UTF-8
// default stored the byte E9 in the UTF-8 database, and every later parse failed (KELQ047E).
// Invalid bytes become substitution characters, as in a conversion between two code pages.
TEST(KelConvertBuffer, InvalidBytesBecomeSubstitutionCharactersAlsoBetweenEqualCodePages) {
  const std::string latin = "<a>caf\xE9 \xFF\xC3</a>";
  const std::u16string substituted = u"<a>caf\uFFFD \uFFFD\uFFFD</a>";
  char msg[KEL_MSG_BUFFER + 1] = "";
  char state[6] = "00000";
  // A real conversion (UTF-8 to UTF-16).
  CodePageCall other("UTF-8", 1200);
  std::vector<char> db(64, 'x');
  int32_t n =
      convertBufferAppToQuarn(other.ctx(), latin.data(), static_cast<int32_t>(latin.size()),
                              db.data(), static_cast<int32_t>(db.size()), msg, state, nullptr);
  EXPECT_EQ(std::string(db.data(), static_cast<size_t>(std::max(n, 0))),
            encode("UTF-16BE", substituted));
  // Equal code pages do the same.
  CodePageCall same("UTF-8", 1208);
  n = convertBufferAppToQuarn(same.ctx(), latin.data(), static_cast<int32_t>(latin.size()),
                              db.data(), static_cast<int32_t>(db.size()), msg, state, nullptr);
  EXPECT_EQ(std::string(db.data(), static_cast<size_t>(std::max(n, 0))), utf8(substituted)) << msg;
  EXPECT_STREQ(state, "00000");
  // Valid bytes are still copied as they are, without a terminator.
  const std::string valid = "<a>caf\xC3\xA9 \xF0\x9F\x98\x80</a>";
  std::fill(db.begin(), db.end(), 'x');
  n = convertBufferAppToQuarn(same.ctx(), valid.data(), static_cast<int32_t>(valid.size()),
                              db.data(), static_cast<int32_t>(db.size()), msg, state, nullptr);
  ASSERT_EQ(n, static_cast<int32_t>(valid.size()));
  EXPECT_EQ(std::string(db.data(), valid.size() + 1), valid + "x");
  // The substitution character must fit: one byte short is "too small".
  int32_t err = 0;
  EXPECT_EQ(convertBufferAppToQuarn(same.ctx(), latin.data(), static_cast<int32_t>(latin.size()),
                                    db.data(), static_cast<int32_t>(utf8(substituted).size()), msg,
                                    state, &err),
            -1);
  EXPECT_EQ(err, KEL_CONV_TOO_SMALL);
}

// A writer without an encoding argument writes the application code page's bytes; the
// declaration of a document read with an encoding argument still names the file's encoding.
TEST(KelDeclaresOtherEncoding, ComparesTheDeclaredEncodingWithTheApplicationCodePage) {
  CodePageCall utf8App("UTF-8", 1208);
  for (const char *doc : {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>",
                          "\xEF\xBB\xBF<?xml version='1.0' encoding='UTF-16'?><a/>",
                          "<?xml version=\"1.0\" encoding=\"US-ASCII\" standalone=\"yes\"?><a/>",
                          "<?xml version=\"1.0\" encoding=\"no-such-encoding\"?><a/>"})
    EXPECT_TRUE(
        kelDeclaresOtherEncoding(utf8App.ctx(), doc, static_cast<int32_t>(std::strlen(doc))))
        << doc;
  for (const char *doc :
       {"<a/>", "<?xml version=\"1.0\"?><a/>", "<?xml version=\"1.0\" encoding=\"utf-8\"?><a/>",
        "<?xml version=\"1.0\" encoding=\"UTF8\"?><a/>",
        "<?xmlversion=\"1.0\" encoding=\"x\"?><a/>", ""})
    EXPECT_FALSE(
        kelDeclaresOtherEncoding(utf8App.ctx(), doc, static_cast<int32_t>(std::strlen(doc))))
        << doc;
  // Any name of the application's encoding matches it.
  CodePageCall latinApp("ISO-8859-1", 1208);
  for (const char *doc : {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>",
                          "<?xml version=\"1.0\" encoding=\"latin1\"?><a/>"})
    EXPECT_FALSE(
        kelDeclaresOtherEncoding(latinApp.ctx(), doc, static_cast<int32_t>(std::strlen(doc))))
        << doc;
  const char *utf8Declared = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a/>";
  EXPECT_TRUE(kelDeclaresOtherEncoding(latinApp.ctx(), utf8Declared,
                                       static_cast<int32_t>(std::strlen(utf8Declared))));
  // Only the start is read: a declaration cut by the length given is not one.
  const std::string doc =
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>" + std::string(4000, 'x') + "</a>";
  EXPECT_TRUE(
      kelDeclaresOtherEncoding(utf8App.ctx(), doc.data(), static_cast<int32_t>(doc.size())));
  EXPECT_FALSE(kelDeclaresOtherEncoding(utf8App.ctx(), doc.data(), 30));
}

TEST(KelConvertBuffer, WithoutCodePagesIsAnInternalError) {
  char buf[8];
  char msg[KEL_MSG_BUFFER + 1] = "";
  char state[6] = "00000";
  int32_t err = 0;
  EXPECT_EQ(convertBufferAppToQuarn(nullptr, "a", 1, buf, 8, msg, state, &err), -1);
  EXPECT_STREQ(state, "38X18");
  EXPECT_EQ(std::strncmp(msg, "KELG001E", 8), 0);
  EXPECT_EQ(convertBufferQuarnToApp(nullptr, "a", 1, buf, 8, msg, state), -1);
  CodePageCall call("UTF-8", 1208);
  EXPECT_EQ(convertBufferQuarnToApp(call.ctx(), "", 0, buf, 8, msg, state), 0);
}

// ---------------------------------------------------------------------------------------------
// String helpers and upper-casing

TEST(KelStringConversion, DatabaseStringsToUtf16AndBack) {
  for (const AppEncoding &e : appEncodings()) {
    if (e.codePage == 1200) continue;  // terminated strings need a byte-oriented code page
    CodePageCall call("UTF-8", e.codePage);
    ASSERT_EQ(call.rc, 0) << e.icuName;
    std::string db = encode(e.icuName, e.text);
    UChar wide[64];
    int32_t units = KEL_mbstowcsFunction(call.ctx(), wide, db.c_str(), 64);
    ASSERT_EQ(units, static_cast<int32_t>(e.text.size())) << e.icuName;
    EXPECT_EQ(std::u16string(wide), e.text);
    // Back: the result and its terminator must fit.
    std::vector<char> out(db.size() + 1);
    EXPECT_EQ(KEL_wcstombsFunction(call.ctx(), out.data(), wide, static_cast<int32_t>(out.size())),
              static_cast<int32_t>(db.size()));
    EXPECT_EQ(std::string(out.data()), db);
    EXPECT_EQ(KEL_wcstombsFunction(call.ctx(), out.data(), wide, static_cast<int32_t>(db.size())),
              -1);
  }
}

TEST(KelStringConversion, FailuresAreTracedWithTheInput) {
  CodePageCall call("UTF-8", 1208);
  UChar wide[4];
  EXPECT_EQ(KEL_mbstowcsFunction(call.ctx(), wide, "too long", 4), -1);
  char out[4];
  EXPECT_EQ(KEL_wcstombsFunction(call.ctx(), out, u"abcd", 4), -1);
  std::string trace = call.trace();
  EXPECT_NE(trace.find(
                "KEL_mbstowcsFunction:\t\tConversion error. err=15, mbstr='too long...' count=4\n"),
            std::string::npos)
      << trace;
  EXPECT_NE(
      trace.find("KEL_wcstombsFunction:\t\tConversion error. err=15,  wcstr='abcd...' count=4\n"),
      std::string::npos)
      << trace;
  EXPECT_EQ(KEL_mbstowcsFunction(nullptr, wide, "a", 4), -1);  // no converter
}

TEST(KelUpperCase, FullWidthFormsStayAsTheyAre) {
  EXPECT_EQ(kelToUpper(u'a'), u'A');
  EXPECT_EQ(kelToUpper(0xE9), 0xC9);
  EXPECT_EQ(kelToUpper(0xFF41), 0xFF41);  // full-width a
  EXPECT_EQ(kelToUpper(0xFF5E), 0xFF5E);
  EXPECT_EQ(kelToUpper(0x10428), 0x10400);  // Deseret, outside the basic plane

  for (int32_t db : {1208, 943, 33722}) {
    CodePageCall call("UTF-8", db);
    char out[32];
    ASSERT_GT(kel_utoupper(call.ctx(), u"abc\uFF41", out, sizeof out), 0) << db;
    UChar back[16];
    ASSERT_EQ(KEL_mbstowcsFunction(call.ctx(), back, out, 16), 4);
    EXPECT_EQ(std::u16string(back), u"ABC\uFF41") << db;
  }
}

TEST(KelUpperCase, DatabaseStringsInPlaceAndWithinTheWorkingCopy) {
  CodePageCall call("UTF-8", 819);
  char name[16] = "t\xE9st_col";  // ISO-8859-1
  EXPECT_EQ(kelUpperCase(call.ctx(), name, name, sizeof name), 8);
  EXPECT_STREQ(name, "T\xC9ST_COL");

  std::string fits(KEL_UPPER_WORK_CHARS, 'a');
  std::vector<char> out(fits.size() + 1);
  EXPECT_EQ(kelUpperCase(call.ctx(), fits.c_str(), out.data(), static_cast<int32_t>(out.size())),
            KEL_UPPER_WORK_CHARS);
  EXPECT_EQ(std::string(out.data()), std::string(KEL_UPPER_WORK_CHARS, 'A'));
  std::string tooLong(KEL_UPPER_WORK_CHARS + 1, 'a');
  out.resize(tooLong.size() + 1);
  EXPECT_EQ(kelUpperCase(call.ctx(), tooLong.c_str(), out.data(), static_cast<int32_t>(out.size())),
            -1);
}

// ---------------------------------------------------------------------------------------------
// Re-encoding a document with its declaration

std::string reencode(CodePageCall &call, const std::string &doc, char *msg, char *state,
                     int32_t outCap = 512) {
  std::vector<char> out(static_cast<size_t>(outCap));
  int32_t n = kelConvBufferQuarnToAppEncoding(
      call.ctx(), doc.data(), static_cast<int32_t>(doc.size()), out.data(), outCap, msg, state);
  return n < 0 ? "<failed>" : std::string(out.data(), static_cast<size_t>(n));
}

TEST(KelReencodeDocument, DeclarationNamesTheNewEncoding) {
  CodePageCall call("UTF-8", 1208);
  char msg[KEL_MSG_BUFFER + 1] = "";
  char state[6] = "00000";
  EXPECT_EQ(reencode(call, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>", msg, state),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a/>");
  EXPECT_EQ(reencode(call, "<?xml version='1.0'?><a/>", msg, state),
            "<?xml version='1.0' encoding=\"UTF-8\"?><a/>");
  EXPECT_EQ(reencode(call, "<?xml  version = \"1.0\"\n encoding = 'x' ?><a/>", msg, state),
            "<?xml  version = \"1.0\" encoding=\"UTF-8\"?><a/>");
  // A standalone declaration keeps its blank.
  EXPECT_EQ(
      reencode(call, "<?xml version=\"1.0\" encoding=\"x\" standalone=\"yes\"?><a/>", msg, state),
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><a/>");
  // A byte-order mark of the database text is not carried over.
  EXPECT_EQ(reencode(call, "\xEF\xBB\xBF<?xml version=\"1.0\"?><a/>", msg, state),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a/>");
}

TEST(KelReencodeDocument, MalformedDeclarationsAreRejected) {
  CodePageCall call("UTF-8", 1208);
  for (const char *doc :
       {"<?xml?><a/>", "<?xml encoding=\"UTF-8\"?><a/>", "<?xml version=\"1.0 \"?><a/>",
        "<?xml version=\"1.0'?><a/>", "<?xml version=\"1.0\" encoding=\"UTF-8?><a/>",
        "<?xml version=\"1.0\" encoding \"UTF-8\"?><a/>", "", "<?xml version"}) {
    char msg[KEL_MSG_BUFFER + 1] = "";
    char state[6] = "00000";
    EXPECT_EQ(reencode(call, doc, msg, state), "<failed>") << doc;
    EXPECT_STREQ(state, "38X14") << doc;
    EXPECT_STREQ(msg, "KELD000E  An invalid XML document is rejected.\n") << doc;
  }
}

TEST(KelReencodeDocument, EveryApplicationEncoding) {
  struct {
    const char *icuName;
    const char *declared;
    bool bom;
  } expect[] = {{"UTF-8", "UTF-8", false},
                {"ISO-8859-1", "ISO-8859-1", false},
                {"UTF-16BE", "UTF-16BE", true},
                {"ibm-943_P15A-2003", "Shift_JIS", false},
                {"ibm-33722_P120-1999", "EUC-JP", false},
                {"ibm-5348_P100-1997", "windows-1252", false}};
  size_t i = 0;
  for (const AppEncoding &e : appEncodings()) {
    ASSERT_STREQ(expect[i].icuName, e.icuName);
    CodePageCall call(e.icuName, 1208);
    std::u16string body = u"<a>" + e.text + u"</a>";
    std::string doc = utf8(u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + body);
    char msg[KEL_MSG_BUFFER + 1] = "";
    char state[6] = "00000";
    std::string out = reencode(call, doc, msg, state);
    std::u16string decl =
        u"<?xml version=\"1.0\" encoding=\"" + fromUtf8(expect[i].declared) + u"\"?>";
    std::string expected =
        (expect[i].bom ? std::string("\xFE\xFF") : std::string()) + encode(e.icuName, decl + body);
    EXPECT_EQ(out, expected) << e.icuName << " " << msg;
    ++i;
  }
}

// A character the target encoding cannot represent was written as the converter's
// substitution byte (0x1A, a control character no XML document may hold): the file was
// written, reported as success, and no longer parsed.
TEST(KelReencodeDocument, CharacterTheEncodingLacksFailsTheConversion) {
  CodePageCall call("ISO-8859-1", 1208);
  char msg[KEL_MSG_BUFFER + 1] = "";
  char state[6] = "00000";
  EXPECT_EQ(reencode(call, "<?xml version=\"1.0\"?><a>\xE2\x98\xBA</a>", msg, state), "<failed>");
  EXPECT_STREQ(state, "38X45");
  EXPECT_EQ(std::strncmp(msg, "KELQ055E", 8), 0) << msg;
  // The same for the plain conversion to the application code page.
  std::strcpy(state, "00000");
  msg[0] = '\0';
  char dest[64];
  const std::string doc = "<a>caf\xC3\xA9 \xE2\x98\xBA</a>";
  EXPECT_EQ(convertBufferQuarnToApp(call.ctx(), doc.data(), static_cast<int32_t>(doc.size()), dest,
                                    sizeof dest, msg, state),
            -1);
  EXPECT_STREQ(state, "38X45");
  EXPECT_EQ(std::strncmp(msg, "KELQ055E", 8), 0) << msg;
  // What the encoding holds still converts.
  EXPECT_EQ(reencode(call, "<?xml version=\"1.0\"?><a>caf\xC3\xA9</a>", msg, state),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\xE9</a>");
}

// "<?xmlversion=...?>" was taken for a declaration and written as
// `<?xmlversion="1.0" encoding="ISO-8859-1"?>`; a document without a declaration was refused
// with KELD000E although update gives it one.  "<?xml" begins a declaration only with white
// space behind it; otherwise the document has none and is given one naming the encoding.
TEST(KelReencodeDocument, DeclarationNeedsWhiteSpaceAndIsAddedWhenMissing) {
  CodePageCall latin("ISO-8859-1", 1208);
  char msg[KEL_MSG_BUFFER + 1] = "";
  char state[6] = "00000";
  EXPECT_EQ(reencode(latin, "<?xmlversion=\"1.0\"?><a>\xC3\xA9</a>", msg, state),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><?xmlversion=\"1.0\"?><a>\xE9</a>")
      << msg;
  EXPECT_EQ(reencode(latin, "<?xml-stylesheet href=\"s.css\"?><a/>", msg, state),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><?xml-stylesheet href=\"s.css\"?><a/>");
  EXPECT_EQ(reencode(latin, "\xEF\xBB\xBF<a>\xC3\xA9</a>", msg, state),
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>");
  EXPECT_EQ(reencode(latin, "<?xml\tversion='1.0'?><a/>", msg, state),
            "<?xml\tversion='1.0' encoding=\"ISO-8859-1\"?><a/>");

  // '<a>日本</a>' to EUC-JP, by the encoding's name and by a locale name.
  const std::u16string body = u"<a>\u65E5\u672C</a>";
  for (const char *name : {"EUC-JP", "ja_JP.eucJP"}) {
    CodePageCall euc(name, 1208);
    ASSERT_EQ(euc.rc, 0) << name;
    EXPECT_EQ(reencode(euc, utf8(body), msg, state),
              encode("EUC-JP", u"<?xml version=\"1.0\" encoding=\"EUC-JP\"?>" + body))
        << name << " " << msg;
  }
}

// The declared name was ICU's IANA name: "Extended_UNIX_Code_Packed_Format_for_Japanese" for
// EUC-JP, "ANSI_X3.4-1968" for US-ASCII.  The MIME name comes first.
TEST(KelReencodeDocument, DeclaredNameIsTheMimeName) {
  struct {
    const char *asked;
    const char *declared;
  } names[] = {{"EUC-JP", "EUC-JP"},         {"US-ASCII", "US-ASCII"},
               {"ISO-8859-1", "ISO-8859-1"}, {"Shift_JIS", "Shift_JIS"},
               {"ibm-1047", "IBM1047"},      {"windows-1252", "windows-1252"},
               {"UTF-16LE", "UTF-16LE"}};
  for (const auto &n : names) {
    CodePageCall call(n.asked, 1208);
    ASSERT_EQ(call.rc, 0) << n.asked;
    char msg[KEL_MSG_BUFFER + 1] = "";
    char state[6] = "00000";
    std::u16string expected =
        u"<?xml version=\"1.0\" encoding=\"" + fromUtf8(n.declared) + u"\"?><a/>";
    EXPECT_EQ(reencode(call, "<?xml version=\"1.0\"?><a/>", msg, state), encode(n.asked, expected))
        << n.asked << " " << msg;
  }
}

// Any ICU converter name was taken: BOCU-1 wrote a file whose declaration no parser can find,
// and x11-compound-text dropped the characters it cannot hold (as ICU drops unmappable
// default-ignorable characters such as the soft hyphen in every table) and reported success.
TEST(KelReencodeDocument, EncodingsAParserCannotReadOrThatLoseCharactersFail) {
  char msg[KEL_MSG_BUFFER + 1] = "";
  char state[6] = "00000";
  CodePageCall bocu("BOCU-1", 1208);
  ASSERT_EQ(bocu.rc, 0);
  EXPECT_EQ(reencode(bocu, "<?xml version=\"1.0\"?><a/>", msg, state), "<failed>");
  EXPECT_STREQ(state, "38X38");
  EXPECT_STREQ(msg, "KELG008E  Locale BOCU-1 is not supported.\n");

  struct {
    const char *name;
    std::u16string lost;
  } lossy[] = {{"x11-compound-text", u"\u2603"},
               {"x11-compound-text", u"\U0001F600"},
               {"ibm-943_P15A-2003", u"\u00AD"},  // dropped
               {"ibm-943_P15A-2003", u"\uF86F"},  // a fallback to U+2116
               {"ISO-8859-1", u"\u00AD\u034F"}};  // U+034F dropped
  for (const auto &l : lossy) {
    CodePageCall call(l.name, 1208);
    ASSERT_EQ(call.rc, 0) << l.name;
    std::strcpy(state, "00000");
    EXPECT_EQ(reencode(call, utf8(u"<?xml version=\"1.0\"?><a>" + l.lost + u"</a>"), msg, state),
              "<failed>")
        << l.name;
    EXPECT_STREQ(state, "38X45") << l.name;
    EXPECT_STREQ(msg, "KELQ055E  ICU error: 10\n") << l.name;
    // The plain conversion out of the database code page fails alike.
    char dest[64];
    std::string doc = utf8(u"<a>" + l.lost + u"</a>");
    EXPECT_EQ(convertBufferQuarnToApp(call.ctx(), doc.data(), static_cast<int32_t>(doc.size()),
                                      dest, sizeof dest, msg, state),
              -1)
        << l.name;
  }

  // The encodings parsers read keep working, and the file reads back as the document.
  struct {
    const char *name;
    std::u16string text;
  } kept[] = {{"ibm-1047", u"caf\u00E9 [x]"},
              {"ibm-37", u"caf\u00E9"},
              {"ibm-500", u"caf\u00E9 [x]"},
              {"UTF-7", u"\u2603 \U0001F600"},
              {"SCSU", u"\u65E5\u672C \U0001F600"},
              {"gb18030", u"\u65E5\u672C \U0001F600"},
              {"Shift_JIS", u"\u65E5\u672C\u8A9E \uFF76\uFF85"},
              {"EUC-JP", u"\u65E5\u672C\u8A9E"},
              {"ISO-2022-JP", u"\u65E5\u672C\u8A9E abc"},
              {"UTF-16", u"\U0001F600"},
              {"UTF-32", u"\U0001F600"},
              {"UTF-16BE", u"\U0001F600"}};
  for (const auto &k : kept) {
    CodePageCall call(k.name, 1208);
    ASSERT_EQ(call.rc, 0) << k.name;
    std::strcpy(state, "00000");
    msg[0] = '\0';
    std::string out =
        reencode(call, utf8(u"<?xml version=\"1.0\"?><a>" + k.text + u"</a>"), msg, state);
    ASSERT_NE(out, "<failed>") << k.name << " " << msg;
    UErrorCode err = U_ZERO_ERROR;
    UConverter *back = ucnv_open(k.name, &err);
    std::u16string read(out.size() + 1, u'\0');
    int32_t n = ucnv_toUChars(back, read.data(), static_cast<int32_t>(read.size()), out.data(),
                              static_cast<int32_t>(out.size()), &err);
    ucnv_close(back);
    ASSERT_TRUE(U_SUCCESS(err)) << k.name;
    read.resize(static_cast<size_t>(n));
    if (!read.empty() && read[0] == u'\uFEFF') read.erase(0, 1);
    EXPECT_EQ(read.find(u"<a>" + k.text + u"</a>"), read.size() - k.text.size() - 7) << k.name;
    EXPECT_EQ(read.compare(0, 30, u"<?xml version=\"1.0\" encoding=\""), 0) << k.name;
  }
}

TEST(KelReencodeDocument, OutputTooSmallIsAnIcuFailure) {
  CodePageCall call("UTF-8", 1208);
  char msg[KEL_MSG_BUFFER + 1] = "";
  char state[6] = "00000";
  EXPECT_EQ(reencode(call, "<?xml version=\"1.0\"?><a/>", msg, state, 20), "<failed>");
  EXPECT_STREQ(state, "38X45");
  EXPECT_EQ(std::strncmp(msg, "KELQ055E", 8), 0);
}

}  // namespace

namespace {

// Every length around the eight-unit steps, with one unit that is not ASCII at each place:
// the copy is exact when all are ASCII, and any unit from 0x80 on (in the low or the high
// byte) is found wherever it stands.
TEST(KelNarrowAscii, CopiesAsciiAndFindsAnyOtherUnitAnywhere) {
  for (size_t n = 0; n <= 35; ++n) {
    std::u16string text;
    for (size_t k = 0; k < n; ++k) text.push_back(static_cast<char16_t>(u' ' + (k * 7) % 95));
    std::string out(n + 1, 'x');
    ASSERT_TRUE(kelNarrowAscii(reinterpret_cast<const UChar *>(text.data()), n, out.data())) << n;
    for (size_t k = 0; k < n; ++k)
      ASSERT_EQ(out[k], static_cast<char>(text[k])) << n << " at " << k;
    EXPECT_EQ(out[n], 'x') << "wrote past " << n;
    for (size_t at = 0; at < n; ++at) {
      for (char16_t other : {u'\u0080', u'\u00ff', u'\u0100', u'\u7f00', u'\uffff'}) {
        std::u16string bad = text;
        bad[at] = other;
        EXPECT_FALSE(kelNarrowAscii(reinterpret_cast<const UChar *>(bad.data()), n, out.data()))
            << n << " at " << at;
      }
    }
  }
  // 0x7f and terminators are ASCII.
  const char16_t edge[] = {u'\u007f', 0, u'a', u'\u007f', 0, 0, 0, 0, u'b'};
  std::string out(9, 'x');
  ASSERT_TRUE(kelNarrowAscii(reinterpret_cast<const UChar *>(edge), 9, out.data()));
  EXPECT_EQ(out, std::string("\x7f\0a\x7f\0\0\0\0b", 9));
}

}  // namespace
