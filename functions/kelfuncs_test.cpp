// The function entries of the built quarnxmlfn library, called through the loader with the
// argument list, scratchpad and call types the engine uses: the frame (first, normal and
// final calls), the storage functions, the extract functions over files and XMLVarchar
// values, the update and validate functions over files and XMLVarchar values, and the
// validation report table function (its protocol, NULLs, refusals and column sizes).
// Large-object sources and results are exercised through the engine's SQL tests; the writers
// without an encoding argument get an XMLCLOB through a locator of a connected session.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdarg>

#include <csignal>
#include <filesystem>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "kel_test_env.h"
#include "quarnapp.h"
#include "sqlenv.h"
#include "sqludf.h"

// Allocations through operator new left before one fails (once); -1: none fails.  The
// replacement below serves the whole process, the dlopened library included.
std::atomic<long> gAllocsBeforeFailure{-1};

// A name that another file takes the place of once it has been opened, before it is opened
// again, as another process may do between two opens (gSwapName and gSwapReplacement: real
// paths; null: nothing armed), and the count of opens of the name.  Set by the tests on the
// main thread, read by the open below.
const char *gSwapName = nullptr;
const char *gSwapReplacement = nullptr;
std::atomic<int> gSwapOpens{0};

// open() of the whole process, the dlopened library included: the system's, and for the armed
// name the swap behind its first open.  Declared by its symbol name, beside the header's open.
extern "C" __attribute__((visibility("default"))) int kelTestOpen(const char *path, int flags, ...) __asm__("open");
extern "C" int kelTestOpen(const char *path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, unsigned int));
    va_end(args);
  }
  const char *armed = gSwapName;
  if (armed != nullptr && path != nullptr && std::strcmp(path, armed) == 0 && gSwapOpens++ == 1)
    std::rename(gSwapReplacement, armed);
  return static_cast<int>(::syscall(SYS_openat, AT_FDCWD, path, flags, mode));
}

namespace {

// Arms the switch for one step: the step's nth allocation fails.  True when it did fail.
template <class Step>
bool failingAllocation(long nth, Step &&step) {
  gAllocsBeforeFailure = nth;
  step();
  bool failed = gAllocsBeforeFailure.exchange(-1) < 0;
  return failed;
}

void *library() {
  static void *handle = [] {
    std::string lib = keltest::buildDir() + "/lib/libquarnxmlfn.so";
    void *h = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr) std::fprintf(stderr, "%s\n", dlerror());
    return h;
  }();
  return handle;
}

template <class F>
F entry(const char *name) {
  void *p = library() ? dlsym(library(), name) : nullptr;
  EXPECT_NE(p, nullptr) << name;
  return reinterpret_cast<F>(p);
}

using Scalar2 = void (*)(const char *, const char *, void *, short *, short *, short *, char *, char *, char *,
                         char *, sqludf_scratchpad *, sqlint32 *, sqludf_dbinfo *);
using Scalar3 = void (*)(const char *, const char *, const char *, void *, short *, short *, short *, short *, char *,
                         char *, char *, char *, sqludf_scratchpad *, sqlint32 *, sqludf_dbinfo *);
using Scalar1 = void (*)(const char *, void *, short *, short *, char *, char *, char *, char *, sqludf_scratchpad *,
                         sqlint32 *, sqludf_dbinfo *);
using Seqno = void (*)(sqlint32 *, short *, char *, char *, char *, char *, sqludf_scratchpad *);

// One reference of a function in one statement, as the engine keeps it.
class Statement {
 public:
  explicit Statement(const char *name, sqluint32 dbCodePage = 1208) : name_(name) {
    std::memset(&dbinfo_, 0, sizeof dbinfo_);
    dbinfo_.dbcodepage = dbCodePage;
    std::memset(&scratch_, 0, sizeof scratch_);
    scratch_.length = SQLUDF_SCRATCHPAD_LEN;
  }
  // Calls a two-argument function (document or file name, path) with call type ct.
  void call2(sqlint32 ct, const char *a, const char *b, void *out, short nullA = 0, short nullB = 0) {
    callType_ = ct;
    reset();
    short ia = nullA, ib = nullB;
    entry<Scalar2>(name_)(a, b, out, &ia, &ib, &ind, state, const_cast<char *>(name_), const_cast<char *>(name_), msg,
                          &scratch_, &callType_, &dbinfo_);
  }
  void call3(sqlint32 ct, const char *a, const char *b, const char *c, void *out, short nullC = 0) {
    callType_ = ct;
    reset();
    short ia = 0, ib = 0, ic = nullC;
    entry<Scalar3>(name_)(a, b, c, out, &ia, &ib, &ic, &ind, state, const_cast<char *>(name_),
                          const_cast<char *>(name_), msg, &scratch_, &callType_, &dbinfo_);
  }
  void call1(sqlint32 ct, const char *a, void *out, short nullA = 0) {
    callType_ = ct;
    reset();
    short ia = nullA;
    entry<Scalar1>(name_)(a, out, &ia, &ind, state, const_cast<char *>(name_), const_cast<char *>(name_), msg,
                          &scratch_, &callType_, &dbinfo_);
  }
  // The context pointer the frame keeps (third word of the state).
  bool holdsContext() const {
    void *p;
    std::memcpy(&p, scratch_.data + 8, sizeof p);
    return p != nullptr;
  }
  sqludf_scratchpad *scratch() { return &scratch_; }

  char state[6] = "00000";
  char msg[SQLUDF_MSGTEXT_LEN + 1] = "";
  short ind = 0;

 private:
  void reset() {
    std::memcpy(state, "00000", 6);
    msg[0] = '\0';
    ind = 5;
  }
  const char *name_;
  sqludf_scratchpad scratch_;
  sqludf_dbinfo dbinfo_;
  sqlint32 callType_ = 0;
};

class Functions : public ::testing::Test {
 protected:
  void SetUp() override {
    env.set("QUARNINSTANCE", "fninst");
    env.set("QUARNKELPATH", dir.str());
    env.set("QUARNPATH", dir.str());
    env.unset("QUARNKELTEMP");
    ASSERT_NE(library(), nullptr);
  }
  // Directories rw (read and write) and ro (read only) allowed for the files of the test.
  void allowReadWriteDirectories() {
    std::filesystem::create_directories(dir.path() / "rw");
    std::filesystem::create_directories(dir.path() / "ro");
    std::string rw = dir.file("rw"), ro = dir.file("ro");
    ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, (rw + ";" + ro).c_str()), 0);
    ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_WRITE_DIRS, rw.c_str()), 0);
  }
  // The test directory readable and writable, and a session connected to a new database db.
  void connectWithFilesAllowed(const char *db) {
    ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, dir.str().c_str()), 0);
    ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_WRITE_DIRS, dir.str().c_str()), 0);
    sqlca ca{};
    ASSERT_EQ(quarn_create_database(db, &ca), 0);
    ASSERT_EQ(quarn_connect(db, nullptr, nullptr, &ca), 0);
  }
  // extractVarchar reads "café" at /a of file.
  void expectReadsCafe(const std::string &file) {
    Statement extract("kelExtractVarchar");
    char out[4001] = "";
    extract.call2(SQLUDF_FIRST_CALL, file.c_str(), "/a", out);
    EXPECT_STREQ(extract.state, "00000") << file << " " << extract.msg;
    EXPECT_STREQ(out, "caf\xC3\xA9") << file;
    extract.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, out);
  }
  keltest::TempDir dir;
  keltest::ScopedEnv env;
};

TEST_F(Functions, ScalarIntegerKeepsItsContextAcrossRowsAndReportsEachRow) {
  Statement s("kelExtractIntegerFromVarchar");
  sqlint32 v = 0;
  s.call2(SQLUDF_FIRST_CALL, "<a><b>12</b></a>", "/a/b", &v);
  EXPECT_EQ(s.ind, 0);
  EXPECT_EQ(v, 12);
  EXPECT_STREQ(s.state, "00000");
  s.call2(SQLUDF_NORMAL_CALL, "<a/>", "/a/c", &v);
  EXPECT_EQ(s.ind, -1);
  EXPECT_STREQ(s.state, "01HX0");
  // The text is handed back without the catalogue text's newline: the engine shows it inside its own.
  EXPECT_STREQ(s.msg, "KELD003W  Path not found.  Null is returned.");
  s.call2(SQLUDF_NORMAL_CALL, "<a><b>12</b><b>13</b></a>", "/a/b", &v);
  EXPECT_STREQ(s.state, "38X08");
  EXPECT_LE(std::strlen(s.msg), 70u);
  EXPECT_TRUE(s.holdsContext());
  s.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, &v);
  EXPECT_FALSE(s.holdsContext());
}

TEST_F(Functions, TypedScalarsConvertTheirText) {
  Statement dbl("kelExtractDoubleFromVarchar");
  double d = 0;
  dbl.call2(SQLUDF_FIRST_CALL, "<a>1.5e3</a>", "/a", &d);
  EXPECT_EQ(dbl.ind, 0);
  EXPECT_DOUBLE_EQ(d, 1500.0);
  for (const char *bad : {"<a>1.5e99</a>", "<a>1234567890123456789012345678901</a>", "<a>12abc</a>"}) {
    dbl.call2(SQLUDF_NORMAL_CALL, bad, "/a", &d);
    EXPECT_EQ(dbl.ind, -1) << bad;
    EXPECT_STREQ(dbl.state, "00000") << bad;
  }
  dbl.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, &d);

  Statement small("kelExtractSmallintFromVarchar");
  short sv = 0;
  small.call2(SQLUDF_FIRST_CALL, "<a>70000</a>", "/a", &sv);
  EXPECT_EQ(sv, 4464);
  small.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, &sv);

  Statement date("kelExtractDateFromVarchar");
  char dv[11];
  date.call2(SQLUDF_FIRST_CALL, "<a>2005-06-05</a>", "/a", dv);
  EXPECT_STREQ(dv, "2005-06-05");
  date.call2(SQLUDF_NORMAL_CALL, "<a>2005-06-05T10:00</a>", "/a", dv);
  EXPECT_STREQ(date.state, "38X39");
  EXPECT_EQ(date.ind, -1);
  EXPECT_EQ(std::string(date.msg).substr(0, 8), "KELC013E");
  date.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, dv);

  Statement ts("kelExtractTimestampFromVarchar");
  char tv[27];
  ts.call2(SQLUDF_FIRST_CALL, "<a>2005-06-05-10.00.00</a>", "/a", tv);
  EXPECT_STREQ(tv, "2005-06-05-10.00.00.000000");
  ts.call2(SQLUDF_NORMAL_CALL, "<a>yesterday</a>", "/a", tv);
  EXPECT_STREQ(ts.state, "38X29");
  EXPECT_EQ(ts.ind, -1);
  ts.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, tv);

  Statement vc("kelExtractVarcharFromVarchar");
  std::vector<char> out(4001);
  std::string doc = "<a>" + std::string(3999, 'x') + "</a>";
  vc.call2(SQLUDF_FIRST_CALL, doc.c_str(), "/a", out.data());
  EXPECT_EQ(std::strlen(out.data()), 3999u);
  doc = "<a>" + std::string(4000, 'x') + "</a>";
  vc.call2(SQLUDF_NORMAL_CALL, doc.c_str(), "/a", out.data());
  EXPECT_STREQ(vc.state, "38X39");
  vc.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, out.data());
}

TEST_F(Functions, TableFunctionOpensFetchesAndClosesPerOuterRow) {
  Statement t("kelExtractIntegersFromVarchar");
  sqlint32 v = 0;
  t.call2(SQLUDF_TF_FIRST, "<a><b>12</b><b>13</b></a>", "/a/b", &v);
  EXPECT_STREQ(t.state, "00000");
  std::vector<int> rows;
  for (const char *doc : {"<a><b>12</b><b>13</b></a>", "<a/>", "<a><b>7</b></a>"}) {
    t.call2(SQLUDF_TF_OPEN, doc, "/a/b", &v);
    for (int guard = 0; guard < 10; ++guard) {
      t.call2(SQLUDF_TF_FETCH, doc, "/a/b", &v);
      if (std::strcmp(t.state, SQLUDF_STATE_EOT) == 0) break;
      ASSERT_STREQ(t.state, "00000");
      rows.push_back(t.ind == 0 ? v : -999);
    }
    t.call2(SQLUDF_TF_CLOSE, doc, "/a/b", &v);
  }
  EXPECT_EQ(rows, (std::vector<int>{12, 13, 7}));
  // A failed open reports its error and then an empty table.
  t.call2(SQLUDF_TF_OPEN, "<a>", "/a/b", &v);
  EXPECT_STREQ(t.state, "38X13");
  t.call2(SQLUDF_TF_FETCH, "<a>", "/a/b", &v);
  EXPECT_STREQ(t.state, SQLUDF_STATE_EOT);
  t.call2(SQLUDF_TF_FINAL, nullptr, nullptr, &v);
  EXPECT_FALSE(t.holdsContext());
}

TEST_F(Functions, FilesAreReadOnlyFromAllowedDirectories) {
  std::string file = dir.file("doc.xml");
  keltest::writeFile(file, "<a><b>v</b></a>");
  Statement refused("kelExtractVarchar");
  char out[4001];
  refused.call2(SQLUDF_FIRST_CALL, file.c_str(), "/a/b", out);
  EXPECT_STREQ(refused.state, "38X02");
  EXPECT_FALSE(refused.holdsContext());  // the failed first call dropped it
  refused.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, out);  // finds nothing to do

  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, dir.str().c_str()), 0);
  Statement allowed("kelExtractVarchar");
  allowed.call2(SQLUDF_FIRST_CALL, file.c_str(), "/a/b", out);
  EXPECT_STREQ(allowed.state, "00000");
  EXPECT_STREQ(out, "v");
  // Every row's file is checked, not only the first one's.
  allowed.call2(SQLUDF_NORMAL_CALL, "/etc/hostname", "/a/b", out);
  EXPECT_STREQ(allowed.state, "38X02");
  allowed.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, out);

  Statement fromFile("kelVarChar");
  std::vector<char> text(32673);
  fromFile.call1(SQLUDF_FIRST_CALL, file.c_str(), text.data());
  EXPECT_STREQ(fromFile.state, "00000");
  EXPECT_STREQ(text.data(), "<a><b>v</b></a>");
  // An empty name names no file: refused as a missing file where the current directory is not
  // allowed (it said KELC001E "not found", although that missing file says KELC002E).
  ASSERT_FALSE(std::filesystem::current_path().string().rfind(dir.str(), 0) == 0);
  for (const char *name : {"", "kel-missing-here.xml"}) {
    fromFile.call1(SQLUDF_NORMAL_CALL, name, text.data());
    EXPECT_STREQ(fromFile.state, "38X02") << "'" << name << "'";
    EXPECT_STREQ(fromFile.msg, "KELC002E  Unable to read file.") << "'" << name << "'";
  }
  fromFile.call1(SQLUDF_FINAL_CALL, nullptr, text.data());
  Statement extract("kelExtractVarchar");
  extract.call2(SQLUDF_FIRST_CALL, "", "/a/b", out);
  EXPECT_STREQ(extract.state, "38X02");
  extract.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, out);
}

TEST_F(Functions, StorageFunctionsAndTheirNullRules) {
  Statement varcharNull("kelVarChar");
  std::vector<char> text(32673);
  varcharNull.call1(SQLUDF_FIRST_CALL, nullptr, text.data(), -1);
  EXPECT_STREQ(varcharNull.state, "38X16");
  EXPECT_EQ(varcharNull.ind, -1);

  Statement clobNull("kelCLOB");
  udf_locator loc = 0;
  clobNull.call1(SQLUDF_FIRST_CALL, nullptr, &loc, -1);
  EXPECT_STREQ(clobNull.state, "00000");
  EXPECT_EQ(clobNull.ind, -1);
  clobNull.call1(SQLUDF_FINAL_CALL, nullptr, &loc);

  Statement noEncoding("kelXMLFileFromVarchar2");
  char name[513];
  noEncoding.call3(SQLUDF_FIRST_CALL, "<a/>", dir.file("out.xml").c_str(), nullptr, name, -1);
  EXPECT_STREQ(noEncoding.state, "38X16");
  EXPECT_FALSE(noEncoding.holdsContext());

  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_WRITE_DIRS, dir.str().c_str()), 0);
  Statement write("kelContent_varchar2file");
  std::string target = dir.file("out.xml");
  write.call2(SQLUDF_FIRST_CALL, "<a>\xC3\xA9</a>", target.c_str(), name);
  EXPECT_STREQ(write.state, "00000");
  EXPECT_EQ(std::string(name), target);
  EXPECT_EQ(keltest::readFile(target), "<a>\xC3\xA9</a>");
  write.call2(SQLUDF_NORMAL_CALL, "<a/>", "/tmp/../etc/kel-not-allowed.xml", name);
  EXPECT_STREQ(write.state, "38X03");
  write.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, name);

  Statement latin("kelXMLFileFromVarchar2");
  std::string latinFile = dir.file("latin.xml");
  latin.call3(SQLUDF_FIRST_CALL, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>\xC3\xA9</a>", latinFile.c_str(),
              "ISO-8859-1", name);
  EXPECT_STREQ(latin.state, "00000") << latin.msg;
  EXPECT_EQ(keltest::readFile(latinFile), "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>");
  latin.call3(SQLUDF_FINAL_CALL, nullptr, nullptr, nullptr, name);

  // Encodings of four bytes a character, and of two for a short document with its byte-order
  // mark: the output's room was three bytes for each input byte, and both failed with
  // "KELQ055E ICU error: 15" (a buffer overflow).  The converters write this machine's byte
  // order (little-endian), behind the mark that says so.
  auto wide = [](const std::u32string &text, int unitBytes) {
    std::string out;
    for (char32_t c : text)
      for (int shift = 0; shift < unitBytes * 8; shift += 8) out.push_back(static_cast<char>((c >> shift) & 0xFF));
    return out;
  };
  for (const char *encoding : {"UTF-32", "UTF-16"}) {
    Statement wideFile("kelXMLFileFromVarchar2");
    std::string wideName = dir.file(std::string(encoding) + ".xml");
    wideFile.call3(SQLUDF_FIRST_CALL, "<?xml version=\"1.0\"?><a>\xC3\xA9</a>", wideName.c_str(), encoding, name);
    EXPECT_STREQ(wideFile.state, "00000") << encoding << " " << wideFile.msg;
    const std::u32string declared = U"\uFEFF<?xml version=\"1.0\" encoding=\"" +
                                    std::u32string(encoding, encoding + 6) + U"\"?><a>\u00E9</a>";
    EXPECT_EQ(keltest::readFile(wideName), wide(declared, encoding[4] == '3' ? 4 : 2)) << encoding;
    wideFile.call3(SQLUDF_FINAL_CALL, nullptr, nullptr, nullptr, name);
  }
}

// A document read with an encoding argument is stored in the database code page but keeps the
// declaration of the file's encoding.  The writers without an encoding argument wrote those
// bytes unchanged: a file saying ISO-8859-1 over UTF-8 bytes read back as "cafÃ©", and one
// saying UTF-16 did not parse (KELQ047E).  They now declare the encoding of what they write;
// a document without a declaration, or with the matching one, is written byte for byte.
TEST_F(Functions, WritersWithoutAnEncodingDeclareTheEncodingOfTheirBytes) {
  connectWithFilesAllowed("FNWRITE");
  if (HasFatalFailure()) return;
  sqlca ca{};
  const std::string latin = dir.file("latin.xml"), wide = dir.file("wide.xml");
  keltest::writeFile(latin, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\xE9</a>");
  std::string wideBytes = "\xFF\xFE";
  for (char16_t c : std::u16string(u"<?xml version='1.0' encoding='UTF-16'?><a>caf\u00E9</a>")) {
    wideBytes.push_back(static_cast<char>(c & 0xFF));
    wideBytes.push_back(static_cast<char>(c >> 8));
  }
  keltest::writeFile(wide, wideBytes);
  struct {
    std::string file;
    const char *encoding;
    std::string stored;
    std::string written;
  } reads[] = {
      {latin, "ISO-8859-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\xC3\xA9</a>",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>caf\xC3\xA9</a>"},
      {wide, "UTF-16", "<?xml version='1.0' encoding='UTF-16'?><a>caf\xC3\xA9</a>",
       "<?xml version='1.0' encoding=\"UTF-8\"?><a>caf\xC3\xA9</a>"},
  };
  char name[513];
  for (const auto &r : reads) {
    // What the read function stores is unchanged.
    Statement read("kelXMLVarcharFromFile2");
    std::vector<char> text(32673);
    read.call2(SQLUDF_FIRST_CALL, r.file.c_str(), r.encoding, text.data());
    ASSERT_STREQ(read.state, "00000") << r.encoding << " " << read.msg;
    EXPECT_EQ(std::string(text.data()), r.stored) << r.encoding;
    read.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, text.data());

    // XMLFileFromVarchar(doc, file) and Content(doc, file) with an XMLVarchar.
    const std::string fromVarchar = dir.file(std::string("v-") + r.encoding + ".xml");
    Statement write("kelContent_varchar2file");
    write.call2(SQLUDF_FIRST_CALL, text.data(), fromVarchar.c_str(), name);
    ASSERT_STREQ(write.state, "00000") << write.msg;
    write.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, name);

    // Content(doc, file) with an XMLCLOB.
    const std::string fromClob = dir.file(std::string("c-") + r.encoding + ".xml");
    udf_locator *loc = nullptr;
    ASSERT_EQ(sqludf_create_locator(SQL_TYP_CLOB_LOC, &loc), 0);
    sqlint32 appended = 0;
    ASSERT_EQ(sqludf_append(loc, reinterpret_cast<unsigned char *>(text.data()),
                            static_cast<sqlint32>(r.stored.size()), &appended),
              0);
    Statement content("kelFile");
    content.call2(SQLUDF_FIRST_CALL, reinterpret_cast<const char *>(loc), fromClob.c_str(), name);
    ASSERT_STREQ(content.state, "00000") << content.msg;
    content.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, name);

    for (const std::string &file : {fromVarchar, fromClob}) {
      EXPECT_EQ(keltest::readFile(file), r.written) << file;
      expectReadsCafe(file);
    }
  }

  // Without a declaration, or with one that names the bytes' encoding: byte for byte.
  for (const char *doc : {"<a>caf\xC3\xA9</a>", "<?xml version='1.0' encoding='utf-8' ?><a>caf\xC3\xA9</a>",
                          "<!ELEMENT a (#PCDATA)>"}) {
    Statement write("kelContent_varchar2file");
    const std::string file = dir.file("same.xml");
    write.call2(SQLUDF_FIRST_CALL, doc, file.c_str(), name);
    EXPECT_STREQ(write.state, "00000") << write.msg;
    EXPECT_EQ(keltest::readFile(file), doc);
    write.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, name);
  }
  quarn_connect_reset(&ca);
}

// The functions without an encoding argument read and wrote every file in the application code
// page, whatever the file said: a UTF-16 file with a byte-order mark was stored as substitution
// characters and zero bytes by XMLCLOBFromFile and refused with "Unable to read file." by
// XMLVarcharFromFile, and under a Latin-1 locale a UTF-8 file declaring UTF-8 was stored as
// mojibake, while the writers wrote Latin-1 bytes without a declaration, which no parser reads.
// Reading UTF-16LE kept the byte-order mark as the value's first character; UTF-16BE dropped it.
TEST_F(Functions, FunctionsWithoutAnEncodingFollowTheFileAndDeclareWhatTheyWrite) {
  connectWithFilesAllowed("FNFOLLOW");
  if (HasFatalFailure()) return;
  const std::u32string text = U"<a>caf\u00E9\U0001F600</a>";
  const std::string utf8 = "<a>caf\xC3\xA9\xF0\x9F\x98\x80</a>";
  auto encode = [](const std::u32string &chars, int width, bool little) {
    std::string out;
    for (char32_t c : chars) {
      std::u32string units;
      if (width == 2 && c > 0xFFFF)
        units = {static_cast<char32_t>(0xD800 + ((c - 0x10000) >> 10)), static_cast<char32_t>(0xDC00 + ((c - 0x10000) & 0x3FF))};
      else
        units = {c};
      for (char32_t u : units)
        for (int i = 0; i < width; ++i)
          out += static_cast<char>(u >> (little ? 8 * i : 8 * (width - 1 - i)));
    }
    return out;
  };
  // What the read functions store: the file's characters, without its byte-order mark.
  auto readBoth = [&](const char *encoding, const std::string &file) {
    std::vector<char> value(32673);
    Statement varchar(encoding != nullptr ? "kelXMLVarcharFromFile2" : "kelVarChar");
    if (encoding != nullptr)
      varchar.call2(SQLUDF_FIRST_CALL, file.c_str(), encoding, value.data());
    else
      varchar.call1(SQLUDF_FIRST_CALL, file.c_str(), value.data());
    EXPECT_STREQ(varchar.state, "00000") << file << " " << varchar.msg;
    std::string stored = varchar.ind == 0 ? value.data() : "NULL";
    if (encoding != nullptr)
      varchar.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, value.data());
    else
      varchar.call1(SQLUDF_FINAL_CALL, nullptr, value.data());
    udf_locator loc{};
    Statement clob(encoding != nullptr ? "kelXMLCLOBFromFile2" : "kelCLOB");
    if (encoding != nullptr)
      clob.call2(SQLUDF_FIRST_CALL, file.c_str(), encoding, &loc);
    else
      clob.call1(SQLUDF_FIRST_CALL, file.c_str(), &loc);
    EXPECT_STREQ(clob.state, "00000") << file << " " << clob.msg;
    sqlint32 length = 0, got = 0;
    std::string large = "NULL";
    if (clob.ind == 0 && sqludf_length(&loc, &length) == 0) {
      large.assign(static_cast<size_t>(length), '\0');
      if (length > 0) sqludf_substr(&loc, 1, length, reinterpret_cast<unsigned char *>(large.data()), &got);
    }
    if (encoding != nullptr)
      clob.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, &loc);
    else
      clob.call1(SQLUDF_FINAL_CALL, nullptr, &loc);
    return stored + "|" + large;
  };
  const std::string both = utf8 + "|" + utf8;
  const struct {
    const char *name, *mark, *encoding;
    int width;
    bool little;
  } marked[] = {
      {"le16.xml", "\xFF\xFE", "UTF-16LE", 2, true},     {"be16.xml", "\xFE\xFF", "UTF-16BE", 2, false},
      {"le32.xml", "\xFF\xFE\0\0", "UTF-32LE", 4, true}, {"be32.xml", "\0\0\xFE\xFF", "UTF-32BE", 4, false},
      {"bom8.xml", "\xEF\xBB\xBF", "UTF-8", 1, false},
  };
  for (const auto &m : marked) {
    const std::string file = dir.file(m.name);
    keltest::writeFile(file, std::string(m.mark, m.width == 1 ? 3 : m.width) +
                                 (m.width == 1 ? utf8 : encode(text, m.width, m.little)));
    EXPECT_EQ(readBoth(nullptr, file), both) << m.name;
    EXPECT_EQ(readBoth(m.encoding, file), both) << m.name << " read as " << m.encoding;
  }
  // Without a mark, a declaration in UTF-16 or UTF-32 names the form by its first bytes, as a
  // parser reads it (XMLFile read these; XMLVarcharFromFile refused them, XMLCLOBFromFile stored
  // their bytes as they were).
  for (const auto &m : marked) {
    if (m.width == 1) continue;
    const std::string file = dir.file(std::string("nomark-") + m.name);
    const std::string bytes = encode(U"<?xml version=\"1.0\"?>" + text, m.width, m.little);
    keltest::writeFile(file, bytes);
    const std::string expected = "<?xml version=\"1.0\"?>" + utf8;
    EXPECT_EQ(readBoth(nullptr, file), expected + "|" + expected) << file;
  }
  // A declaration that names another encoding contradicts the bytes (XMLFile refuses the file):
  // such a file is not read as UTF-16, and XMLVarcharFromFile refuses it as before.
  const std::string contradicting = dir.file("nomark-says-utf8.xml");
  keltest::writeFile(contradicting, encode(U"<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + text, 2, true));
  std::vector<char> refused(32673);
  Statement contra("kelVarChar");
  contra.call1(SQLUDF_FIRST_CALL, contradicting.c_str(), refused.data());
  EXPECT_STREQ(contra.state, "38X02") << contra.msg;
  contra.call1(SQLUDF_FINAL_CALL, nullptr, refused.data());
  // "<?xm" in EBCDIC, as XMLFile's parse tells it: read in the code page the declaration names
  // (it was read as UTF-8 and stored as substitution characters, with success).
  const std::string ebcdic = dir.file("ebcdic.xml");
  keltest::writeFile(ebcdic,
                     "\x4C\x6F\xA7\x94\x93\x40\xA5\x85\x99\xA2\x89\x96\x95\x7E\x7F\xF1\x4B\xF0\x7F\x40\x85\x95"
                     "\x83\x96\x84\x89\x95\x87\x7E\x7F\xC9\xC2\xD4\xF0\xF3\xF7\x7F\x6F\x6E\x4C\x81\x6E\x83\x81"
                     "\x86\x51\x4C\x61\x81\x6E");
  const std::string fromEbcdic = "<?xml version=\"1.0\" encoding=\"IBM037\"?><a>caf\xC3\xA9</a>";
  EXPECT_EQ(readBoth(nullptr, ebcdic), fromEbcdic + "|" + fromEbcdic);
  // One that names no EBCDIC code page is not read as one (the parse refuses it).
  keltest::writeFile(ebcdic, "\x4C\x6F\xA7\x94\x93\x40\xA5\x85\x99\xA2\x89\x96\x95\x7E\x7F\xF1\x4B\xF0\x7F\x40"
                             "\x85\x95\x83\x96\x84\x89\x95\x87\x7E\x7F\xE4\xE3\xC6\x60\xF8\x7F\x6F\x6E\x4C\x81"
                             "\x61\x6E");
  EXPECT_EQ(readBoth(nullptr, ebcdic).find("<?xml"), std::string::npos);

  const std::string made = dir.file("en_US.ISO-8859-1");
  const std::string command = "localedef -i en_US -f ISO-8859-1 '" + made + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "localedef cannot make a Latin-1 locale here";
  env.set("LOCPATH", dir.str());
  env.set("LC_ALL", "en_US.ISO-8859-1");
  // A UTF-8 file that declares so is read as UTF-8; one without a declaration in the locale's.
  const std::string declared = dir.file("declared.xml"), plain = dir.file("plain.xml");
  keltest::writeFile(declared, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>caf\xC3\xA9</a>");
  keltest::writeFile(plain, "<a>caf\xE9</a>");
  EXPECT_EQ(readBoth(nullptr, declared), "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>caf\xC3\xA9</a>|"
                                         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>caf\xC3\xA9</a>");
  EXPECT_EQ(readBoth(nullptr, plain), "<a>caf\xC3\xA9</a>|<a>caf\xC3\xA9</a>");
  // The writers declare the locale's encoding of the bytes they write, or complete a declaration.
  char name[513];
  for (const std::string &doc : {std::string("<a>caf\xC3\xA9</a>"), std::string("<?xml version='1.0'?><a>caf\xC3\xA9</a>")}) {
    const std::string fromVarchar = dir.file("v-latin.xml"), fromClob = dir.file("c-latin.xml");
    Statement write("kelContent_varchar2file");
    write.call2(SQLUDF_FIRST_CALL, doc.c_str(), fromVarchar.c_str(), name);
    ASSERT_STREQ(write.state, "00000") << write.msg;
    write.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, name);
    udf_locator *loc = nullptr;
    ASSERT_EQ(sqludf_create_locator(SQL_TYP_CLOB_LOC, &loc), 0);
    sqlint32 appended = 0;
    ASSERT_EQ(sqludf_append(loc, reinterpret_cast<unsigned char *>(const_cast<char *>(doc.data())),
                            static_cast<sqlint32>(doc.size()), &appended),
              0);
    Statement content("kelFile");
    content.call2(SQLUDF_FIRST_CALL, reinterpret_cast<const char *>(loc), fromClob.c_str(), name);
    ASSERT_STREQ(content.state, "00000") << content.msg;
    content.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, name);
    const std::string version = doc[5] == ' ' ? "'1.0'" : "\"1.0\"";
    for (const std::string &file : {fromVarchar, fromClob}) {
      EXPECT_EQ(keltest::readFile(file), "<?xml version=" + version + " encoding=\"ISO-8859-1\"?><a>caf\xE9</a>") << file;
      expectReadsCafe(file);
    }
  }
}

// XMLVarcharFromFile and XMLCLOBFromFile without an encoding argument opened the file once to
// look at its first bytes and again to read it: a file put in the name's place in between was
// read in the encoding the first one named (UTF-8 bytes as UTF-16LE, UTF-16 bytes as UTF-8).
// Each read now opens the file once, and the bytes it reads name their encoding.
TEST_F(Functions, ReadsWithoutAnEncodingOpenTheFileOnceAndFollowTheBytesRead) {
  connectWithFilesAllowed("FNONCE");
  if (HasFatalFailure()) return;
  const std::string cafe = "<a>caf\xC3\xA9</a>";
  const std::string cafe16("\xFF\xFE<\0a\0>\0c\0a\0f\0\xE9\0<\0/\0a\0>\0", 24);
  const struct {
    std::string opened, replacement;
  } swaps[] = {{cafe16, "<?xml version=\"1.0\" encoding=\"UTF-8\"?><b>xy</b>"},
               {cafe, std::string("\xFF\xFE<\0b\0/\0>\0", 10)}};
  const std::string file = std::filesystem::weakly_canonical(dir.path() / "swapped.xml").string();
  const std::string next = file + ".next";
  // Reads file through entry; a second open of the name finds the replacement there.
  auto readSwapped = [&](const char *entry, const std::string &opened, const std::string &replacement) {
    keltest::writeFile(file, opened);
    keltest::writeFile(next, replacement);
    gSwapOpens = 0;
    gSwapReplacement = next.c_str();
    gSwapName = file.c_str();
    std::string value = "NULL", state;
    Statement read(entry);
    if (std::strcmp(entry, "kelVarChar") == 0) {
      std::vector<char> text(32673);
      read.call1(SQLUDF_FIRST_CALL, file.c_str(), text.data());
      state = read.state;
      if (read.ind == 0) value = text.data();
      read.call1(SQLUDF_FINAL_CALL, nullptr, text.data());
    } else {
      udf_locator loc{};
      read.call1(SQLUDF_FIRST_CALL, file.c_str(), &loc);
      state = read.state;
      sqlint32 length = 0, got = 0;
      if (read.ind == 0 && sqludf_length(&loc, &length) == 0) {
        value.assign(static_cast<size_t>(length), '\0');
        if (length > 0) sqludf_substr(&loc, 1, length, reinterpret_cast<unsigned char *>(value.data()), &got);
      }
      read.call1(SQLUDF_FINAL_CALL, nullptr, &loc);
    }
    gSwapName = nullptr;
    EXPECT_EQ(gSwapOpens.load(), 1) << entry;
    return state + " " + value;
  };
  for (const auto &swap : swaps)
    for (const char *entry : {"kelVarChar", "kelCLOB"})
      EXPECT_EQ(readSwapped(entry, swap.opened, swap.replacement), "00000 " + cafe) << entry;
  std::filesystem::remove(next);
  // An encoding the bytes name that no converter reads is refused with its name.
  keltest::writeFile(file, "<?xml version=\"1.0\" encoding=\"no-such-charset\"?><a/>");
  for (const char *entry : {"kelVarChar", "kelCLOB"}) {
    Statement read(entry);
    std::vector<char> out(32673);
    read.call1(SQLUDF_FIRST_CALL, file.c_str(), out.data());
    EXPECT_STREQ(read.state, "38X38") << entry;
    EXPECT_STREQ(read.msg, "KELG008E  Locale no-such-charset is not supported.") << entry;
    read.call1(SQLUDF_FINAL_CALL, nullptr, out.data());
  }
}

// A Latin-1 file read without an encoding argument (the application side is UTF-8) stored the
// byte E9 as it was, and every later use of the value failed with KELQ047E.  It becomes a
// substitution character, as a conversion between two code pages makes it.
TEST_F(Functions, BytesInvalidInTheApplicationCodePageAreNotStoredRaw) {
  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, dir.str().c_str()), 0);
  const std::string latin = dir.file("latin.xml");
  keltest::writeFile(latin, "<a>caf\xE9</a>");
  Statement read("kelVarChar");
  std::vector<char> text(32673);
  read.call1(SQLUDF_FIRST_CALL, latin.c_str(), text.data());
  ASSERT_STREQ(read.state, "00000") << read.msg;
  EXPECT_EQ(std::string(text.data()), "<a>caf\xEF\xBF\xBD</a>");
  read.call1(SQLUDF_FINAL_CALL, nullptr, text.data());

  Statement extract("kelExtractVarcharFromVarchar");
  char out[4001] = "";
  extract.call2(SQLUDF_FIRST_CALL, text.data(), "/a", out);
  EXPECT_STREQ(extract.state, "00000") << extract.msg;
  EXPECT_STREQ(out, "caf\xEF\xBF\xBD");
  extract.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, out);
}

TEST_F(Functions, UpdateOfXMLVarcharRowsNullsAndLimit) {
  Statement u("kelUpdateXMLVarchar");
  // The result buffer as registered (varchar(32672)), with a guard behind it.
  std::vector<char> out(32673 + 16, '#');
  u.call3(SQLUDF_FIRST_CALL, "<a><b>1</b><b>2</b></a>", "/a/b", "x<y", out.data());
  EXPECT_EQ(u.ind, 0);
  EXPECT_STREQ(u.state, "00000");
  EXPECT_STREQ(out.data(), "<a><b>x&lt;y</b><b>x&lt;y</b></a>");
  // A NULL value, path or document: NULL without an error.
  u.call3(SQLUDF_NORMAL_CALL, "<a/>", "/a", nullptr, out.data(), -1);
  EXPECT_EQ(u.ind, -1);
  EXPECT_STREQ(u.state, "00000");
  // 32671 bytes fit; one more is KELC013E, and nothing is written behind the buffer.
  std::string doc = "<a><b/>" + std::string(32652, 'x') + "</a>";  // 32662 bytes, 32666 written
  u.call3(SQLUDF_NORMAL_CALL, doc.c_str(), "/a/b", "ttttt", out.data());
  EXPECT_EQ(u.ind, 0);
  EXPECT_EQ(std::strlen(out.data()), 32671u);
  u.call3(SQLUDF_NORMAL_CALL, doc.c_str(), "/a/b", "tttttt", out.data());
  EXPECT_EQ(u.ind, -1);
  EXPECT_STREQ(u.state, "38X39");
  EXPECT_EQ(std::string(u.msg).substr(0, 8), "KELC013E");
  EXPECT_EQ(std::string(out.data() + 32673, 16), std::string(16, '#'));
  u.call3(SQLUDF_NORMAL_CALL, "<a/>", "a", "v", out.data());
  EXPECT_STREQ(u.state, "38X09");
  u.call3(SQLUDF_NORMAL_CALL, "<a>", "/a", "v", out.data());
  EXPECT_STREQ(u.state, "38X13");
  EXPECT_TRUE(u.holdsContext());
  u.call3(SQLUDF_FINAL_CALL, nullptr, nullptr, nullptr, out.data());
  EXPECT_FALSE(u.holdsContext());
}

TEST_F(Functions, UpdateOfXMLFileRewritesTheFileInPlace) {
  namespace fs = std::filesystem;
  allowReadWriteDirectories();
  std::string file = dir.file("rw/latin.xml");
  keltest::writeFile(file, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a k=\"1\">caf\xE9</a>");
  Statement u("kelUpdateXMLFile");
  char name[513];
  u.call3(SQLUDF_FIRST_CALL, file.c_str(), "/a/@k", "\xC3\xBC", name);
  ASSERT_STREQ(u.state, "00000") << u.msg;
  EXPECT_EQ(u.ind, 0);
  EXPECT_EQ(std::string(name), file);
  // Read in its own encoding, written back in the database's with a declaration that says so.
  EXPECT_EQ(keltest::readFile(file), "<?xml version='1.0' encoding='UTF-8'?><a k=\"\xC3\xBC\">caf\xC3\xA9</a>");

  // Readable but not writable: refused before anything is written.
  std::string roFile = dir.file("ro/doc.xml");
  keltest::writeFile(roFile, "<a k=\"1\"/>");
  u.call3(SQLUDF_NORMAL_CALL, roFile.c_str(), "/a/@k", "2", name);
  EXPECT_STREQ(u.state, "38X03");
  EXPECT_EQ(u.ind, -1);
  EXPECT_EQ(keltest::readFile(roFile), "<a k=\"1\"/>");
  u.call3(SQLUDF_NORMAL_CALL, "/etc/hostname", "/a/@k", "2", name);
  EXPECT_STREQ(u.state, "38X02");
  u.call3(SQLUDF_NORMAL_CALL, dir.file("rw/none.xml").c_str(), "/a/@k", "2", name);
  EXPECT_STREQ(u.state, "38X01");

  // A write that fails half-way (the file-size limit) keeps the old document, leaves no new
  // file behind, and gives NULL with the write's SQLSTATE.
  std::string big = dir.file("rw/big.xml");
  keltest::writeFile(big, "<a><b>1</b></a>");
  auto previous = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 64;
  setrlimit(RLIMIT_FSIZE, &small);
  u.call3(SQLUDF_NORMAL_CALL, big.c_str(), "/a/b", std::string(100, 'v').c_str(), name);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_STREQ(u.state, "38X03");
  EXPECT_EQ(u.ind, -1);
  EXPECT_EQ(keltest::readFile(big), "<a><b>1</b></a>");
  std::vector<std::string> left;
  for (const auto &e : fs::directory_iterator(dir.file("rw"))) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"big.xml", "latin.xml"}));
  u.call3(SQLUDF_FINAL_CALL, nullptr, nullptr, nullptr, name);
}

// Through a symbolic link the file read was the link's target, while the writer replaced the
// link by a new regular file: the target kept its old document.  A second hard link kept the
// old document under its other name.  The file read is now the file written, and a file with
// more than one name is refused.
TEST_F(Functions, UpdateOfXMLFileRewritesTheFileItRead) {
  namespace fs = std::filesystem;
  allowReadWriteDirectories();
  Statement u("kelUpdateXMLFile");
  char name[513];
  std::string target = dir.file("rw/t2.xml"), link = dir.file("rw/l2.xml");
  keltest::writeFile(target, "<a><b>1</b></a>");
  fs::create_symlink(target, link);
  u.call3(SQLUDF_FIRST_CALL, link.c_str(), "/a/b", "2", name);
  ASSERT_STREQ(u.state, "00000") << u.msg;
  EXPECT_EQ(std::string(name), link);  // the name given is returned
  EXPECT_EQ(keltest::readFile(target), "<a><b>2</b></a>");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::read_symlink(link), fs::path(target));

  // A link from a writable directory to a file the instance may read but not write: the file
  // read may not be written, so nothing is.
  std::string roTarget = dir.file("ro/t3.xml"), roLink = dir.file("rw/l3.xml");
  keltest::writeFile(roTarget, "<a><b>1</b></a>");
  fs::create_symlink(roTarget, roLink);
  u.call3(SQLUDF_NORMAL_CALL, roLink.c_str(), "/a/b", "2", name);
  EXPECT_STREQ(u.state, "38X03");
  EXPECT_EQ(u.ind, -1);
  EXPECT_EQ(keltest::readFile(roTarget), "<a><b>1</b></a>");
  EXPECT_TRUE(fs::is_symlink(roLink));

  // A file with two names is refused by either name and keeps its document under both.
  std::string h1 = dir.file("rw/h1.xml"), h2 = dir.file("rw/h2.xml");
  keltest::writeFile(h1, "<a><b>1</b></a>");
  fs::create_hard_link(h1, h2);
  for (const std::string &n : {h1, h2}) {
    u.call3(SQLUDF_NORMAL_CALL, n.c_str(), "/a/b", "2", name);
    EXPECT_STREQ(u.state, "38X03") << n;
    EXPECT_STREQ(u.msg, "KELC003E  Unable to write to the specified file.") << n;
    EXPECT_EQ(u.ind, -1);
  }
  EXPECT_EQ(keltest::readFile(h1), "<a><b>1</b></a>");
  EXPECT_EQ(fs::hard_link_count(h1), 2u);
  // With one name left it is rewritten again.
  fs::remove(h2);
  u.call3(SQLUDF_NORMAL_CALL, h1.c_str(), "/a/b", "3", name);
  EXPECT_STREQ(u.state, "00000") << u.msg;
  EXPECT_EQ(keltest::readFile(h1), "<a><b>3</b></a>");
  u.call3(SQLUDF_FINAL_CALL, nullptr, nullptr, nullptr, name);
}

TEST_F(Functions, ValidateWithDtdFilesChecksEveryFile) {
  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, dir.str().c_str()), 0);
  std::string dtd = dir.file("o.dtd");
  keltest::writeFile(dtd, "<!ELEMENT o (i+)><!ELEMENT i (#PCDATA)>");
  Statement v("kelValidateVarchar");
  sqlint32 result = -5;
  v.call3(SQLUDF_FIRST_CALL, "<!DOCTYPE o SYSTEM \"x.dtd\"><o><i>1</i></o>", dtd.c_str(), "o", &result);
  EXPECT_STREQ(v.state, "00000") << v.msg;
  EXPECT_EQ(result, 1);
  EXPECT_EQ(v.ind, 0);
  v.call3(SQLUDF_NORMAL_CALL, "<!DOCTYPE o SYSTEM \"x.dtd\"><o><j/></o>", dtd.c_str(), "o", &result);
  EXPECT_STREQ(v.state, "38X13");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(v.ind, 0);
  // The place in the document: line and column of the element the DTD does not allow.
  EXPECT_TRUE(std::regex_search(std::string(v.msg), std::regex("^KELQ047E  Parser error on line 1 column [1-9][0-9]*: ")))
      << v.msg;
  // An empty DTD name: the DTD the DOCTYPE names.
  std::string own = "<!DOCTYPE o SYSTEM \"" + dtd + "\"><o><i/></o>";
  v.call3(SQLUDF_NORMAL_CALL, own.c_str(), "", "o", &result);
  EXPECT_EQ(result, 1);
  // A DTD file that is missing, or outside the readable directories.
  v.call3(SQLUDF_NORMAL_CALL, own.c_str(), dir.file("none.dtd").c_str(), "o", &result);
  EXPECT_STREQ(v.state, "38X00");
  EXPECT_STREQ(v.msg, "KELC000E  Unable to open the specified file.");
  EXPECT_EQ(v.ind, -1);
  v.call3(SQLUDF_NORMAL_CALL, own.c_str(), "/etc/hostname", "o", &result);
  EXPECT_STREQ(v.state, "38X02");
  v.call3(SQLUDF_FINAL_CALL, nullptr, nullptr, nullptr, &result);

  Statement f("kelValidateFile");
  f.call3(SQLUDF_FIRST_CALL, "/etc/hostname", dtd.c_str(), "o", &result);
  EXPECT_STREQ(f.state, "38X02");
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(f.holdsContext());

}

// A NULL argument of a validate function was KELD000E "An invalid XML document is rejected"
// (38X14), a valid document with a NULL DTD id too; a NULL argument gives NULL, as for every
// other function, and the statement goes on with its context.
TEST_F(Functions, ValidateOfANullArgumentIsNull) {
  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, dir.str().c_str()), 0);
  std::string dtd = dir.file("o.dtd");
  keltest::writeFile(dtd, "<!ELEMENT o (#PCDATA)>");
  const char *doc = "<!DOCTYPE o SYSTEM \"x.dtd\"><o>1</o>";
  sqlint32 result = -5;
  for (const char *name : {"kelValidateVarchar", "kelValidateFile"}) {
    for (int which = 0; which < 3; ++which) {
      Statement n(name);
      if (which == 0) n.call3(SQLUDF_FIRST_CALL, nullptr, dtd.c_str(), "o", &result);
      else if (which == 1) n.call3(SQLUDF_FIRST_CALL, doc, nullptr, "o", &result);
      else n.call3(SQLUDF_FIRST_CALL, doc, dtd.c_str(), nullptr, &result, -1);
      EXPECT_STREQ(n.state, "00000") << name << " " << which << " " << n.msg;
      EXPECT_EQ(n.ind, -1) << name << " " << which;
      EXPECT_TRUE(n.holdsContext()) << name << " " << which;
      n.call3(SQLUDF_FINAL_CALL, nullptr, nullptr, nullptr, &result);
    }
  }
  // The next row of the same statement is validated as ever.
  Statement v("kelValidateVarchar");
  v.call3(SQLUDF_FIRST_CALL, doc, dtd.c_str(), nullptr, &result, -1);
  EXPECT_EQ(v.ind, -1);
  v.call3(SQLUDF_NORMAL_CALL, doc, dtd.c_str(), "o", &result);
  EXPECT_STREQ(v.state, "00000") << v.msg;
  EXPECT_EQ(v.ind, 0);
  EXPECT_EQ(result, 1);
  v.call3(SQLUDF_FINAL_CALL, nullptr, nullptr, nullptr, &result);
  Statement s("kelValidateschemaVarchar");
  s.call2(SQLUDF_FIRST_CALL, nullptr, "/none.xsd", &result, -1);
  EXPECT_STREQ(s.state, "00000");
  EXPECT_EQ(s.ind, -1);
  s.call2(SQLUDF_NORMAL_CALL, "<o/>", nullptr, &result);
  EXPECT_STREQ(s.state, "00000");
  EXPECT_EQ(s.ind, -1);
  s.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, &result);
}

// The schema location was converted into a buffer of 1000 bytes counted as characters: a
// location of 1000 characters overflowed it.
TEST_F(Functions, ValidateschemaTakesALocationOfAThousandCharacters) {
  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, dir.str().c_str()), 0);
  std::string xsd = dir.file("o.xsd");
  keltest::writeFile(xsd, "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"o\" "
                          "type=\"xs:int\"/></xs:schema>");
  Statement s("kelValidateschemaVarchar");
  sqlint32 result = -5;
  s.call2(SQLUDF_FIRST_CALL, "<o>3</o>", xsd.c_str(), &result);
  EXPECT_STREQ(s.state, "00000") << s.msg;
  EXPECT_EQ(result, 1);
  s.call2(SQLUDF_NORMAL_CALL, "<o>x</o>", xsd.c_str(), &result);
  EXPECT_STREQ(s.state, "38X13");
  EXPECT_EQ(result, 0);
  std::string longName = dir.str() + "/" + std::string(1000 - dir.str().size() - 1, 'x');
  ASSERT_EQ(longName.size(), 1000u);
  s.call2(SQLUDF_NORMAL_CALL, "<o>3</o>", longName.c_str(), &result);
  EXPECT_STREQ(s.state, "38X13");
  EXPECT_EQ(result, 0);
  s.call2(SQLUDF_NORMAL_CALL, nullptr, xsd.c_str(), &result, -1);
  EXPECT_STREQ(s.state, "00000");
  EXPECT_EQ(s.ind, -1);
  s.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, &result);
}

TEST_F(Functions, SeqnoCountsWithinOneStatement) {
  sqludf_scratchpad sp{};
  sp.length = SQLUDF_SCRATCHPAD_LEN;
  Seqno seqno = entry<Seqno>("kelSeqno");
  std::vector<int> got;
  for (int i = 0; i < 3; ++i) {
    sqlint32 v = 0;
    short ind = -1;
    char state[6] = "00000", msg[71] = "";
    seqno(&v, &ind, state, nullptr, nullptr, msg, &sp);
    EXPECT_EQ(ind, 0);
    got.push_back(v);
  }
  EXPECT_EQ(got, (std::vector<int>{1, 2, 3}));
}

TEST_F(Functions, EveryListedEntryIsExported) {
  std::ifstream list(keltest::buildDir() + "/functions/entries.txt");
  std::string name;
  int n = 0;
  while (std::getline(list, name)) {
    EXPECT_NE(dlsym(library(), name.c_str()), nullptr) << name;
    ++n;
  }
  EXPECT_EQ(n, 60 + 24 + 9 + 12 + 3 + 9);
}

}  // namespace

namespace {

using ReportEntry = void (*)(const char *, const char *, sqlint32 *, sqlint32 *, sqlint32 *, char *, char *, short *,
                             short *, short *, short *, short *, short *, short *, char *, char *, char *, char *,
                             sqludf_scratchpad *, sqlint32 *, sqludf_dbinfo *);

// The rows one open of validateReport over an XMLVarchar document with a DTD file gives, each
// as "seq line:col path | message"; the text columns are checked to stay inside their 1025
// bytes.
struct Report {
  Report() {
    std::memset(&scratch, 0, sizeof scratch);
    scratch.length = SQLUDF_SCRATCHPAD_LEN;
    std::memset(&dbinfo, 0, sizeof dbinfo);
    dbinfo.dbcodepage = 1208;
  }
  void call(sqlint32 ct, const char *doc, const char *dtd) {
    callType = ct;
    std::memcpy(state, "00000", 6);
    msg[0] = '\0';
    path.assign(1100, '#');
    message.assign(1100, '#');
    short docInd = doc ? 0 : -1, dtdInd = dtd ? 0 : -1;
    entry<ReportEntry>("kelValidateReportVarchar")(doc, dtd, &seq, &line, &col, path.data(), message.data(), &docInd,
                                                   &dtdInd, &inds[0], &inds[1], &inds[2], &inds[3], &inds[4], state,
                                                   name, name, msg, &scratch, &callType, &dbinfo);
    EXPECT_EQ(path.find_first_not_of('#', 1025), std::string::npos) << "path written beyond its column";
    EXPECT_EQ(message.find_first_not_of('#', 1025), std::string::npos) << "message written beyond its column";
  }
  std::vector<std::string> rows(const char *doc, const char *dtd) {
    std::vector<std::string> out;
    call(SQLUDF_TF_OPEN, doc, dtd);
    if (std::strcmp(state, "00000") != 0) return {std::string("open ") + state};
    for (int guard = 0; guard < 2000; ++guard) {
      call(SQLUDF_TF_FETCH, doc, dtd);
      if (std::strcmp(state, SQLUDF_STATE_EOT) == 0) break;
      longestPath = std::max(longestPath, std::strlen(path.c_str()));
      out.push_back(std::to_string(seq) + " " + std::to_string(line) + ":" + std::to_string(col) + " " +
                    path.c_str() + " | " + message.c_str());
    }
    call(SQLUDF_TF_CLOSE, doc, dtd);
    return out;
  }
  sqlint32 seq = 0, line = 0, col = 0, callType = 0;
  size_t longestPath = 0;
  short inds[5] = {0, 0, 0, 0, 0};
  std::string path, message;
  char state[6] = "", msg[SQLUDF_MSGTEXT_LEN + 1] = "", name[20] = "VREPORTVARCHAR";
  sqludf_scratchpad scratch;
  sqludf_dbinfo dbinfo;
};

TEST_F(Functions, ValidateReportGivesEveryErrorAndKeepsToItsColumns) {
  ASSERT_EQ(sqloSetEnv(SQLE_REG_XML_READ_DIRS, dir.str().c_str()), 0);
  std::string dtd = dir.file("o.dtd");
  // Element names of 300 characters nested four deep: a path of more than 1024 bytes.
  const std::string longName(300, 'n');
  keltest::writeFile(dtd, "<!ELEMENT o (i+)><!ELEMENT i (#PCDATA)><!ATTLIST i k CDATA #REQUIRED>");
  Report r;
  r.call(SQLUDF_TF_FIRST, nullptr, nullptr);
  EXPECT_STREQ(r.state, "00000");
  EXPECT_EQ(r.rows("<!DOCTYPE o SYSTEM \"x.dtd\"><o><i k=\"1\"/><i/>\n<j/></o>", dtd.c_str()),
            (std::vector<std::string>{"1 1:45 /o/i[2] | missing required attribute 'k'",
                                      "2 2:3 /o/j | no declaration found for element 'j'",
                                      "3 2:9 /o | element 'j' is not allowed for content model '(i)+'"}));
  EXPECT_TRUE(r.rows("<!DOCTYPE o SYSTEM \"x.dtd\"><o><i k=\"1\"/></o>", dtd.c_str()).empty());
  // NULL arguments: an empty table.
  EXPECT_TRUE(r.rows(nullptr, dtd.c_str()).empty());
  EXPECT_TRUE(r.rows("<o/>", nullptr).empty());
  // A path longer than its column (/o and four names of 300 characters) is cut to 1024 bytes.
  std::string deep = "<!DOCTYPE o SYSTEM \"x.dtd\"><o>";
  for (int i = 0; i < 4; ++i) deep += "<" + longName + ">";
  for (int i = 0; i < 4; ++i) deep += "</" + longName + ">";
  r.longestPath = 0;
  std::vector<std::string> rows = r.rows((deep + "</o>").c_str(), dtd.c_str());
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(r.longestPath, 1024u);
  EXPECT_EQ(rows[0].substr(0, 12), "1 1:332 /o/n") << rows[0].substr(0, 40);
  // A DTD file outside the readable directories fails the open as validate does.
  EXPECT_EQ(r.rows("<o/>", "/etc/hostname"), (std::vector<std::string>{"open 38X02"}));
  r.call(SQLUDF_TF_FINAL, nullptr, nullptr);
  void *context;
  std::memcpy(&context, r.scratch.data + 8, sizeof context);
  EXPECT_EQ(context, nullptr);
}

TEST_F(Functions, AFailedAllocationEndsTheCallAndNothingIsThrownToTheEngine) {
  // Each allocation of a call fails in turn, once.  The call must end as the engine expects,
  // with a right answer or an error state (never an exception), and the next call of the same
  // reference must answer right: nothing half-made is kept.
  const char *doc = "<a><b>12</b><b>13</b></a>";
  long failures = 0;
  long documents = 0;  // each call reads a document of its own: the thread's memo reads it
  auto newDocument = [&] { return "<a><b>12</b><!--" + std::to_string(++documents) + "--></a>"; };
  for (long nth = 0;; ++nth) {  // the first call: its context and engines are made here
    ASSERT_LT(nth, 100000);
    // In another database code page than the calls around it: the memo makes its engine anew.
    Statement s("kelExtractIntegerFromVarchar", 819);
    std::string d = newDocument();
    sqlint32 v = 0;
    if (!failingAllocation(nth, [&] { s.call2(SQLUDF_FIRST_CALL, d.c_str(), "/a/b", &v); })) {
      s.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, &v);  // every allocation was served
      break;
    }
    ++failures;
    if (std::strcmp(s.state, "00000") == 0) {
      EXPECT_EQ(v, 12) << nth;
      s.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, &v);
    } else {
      EXPECT_STREQ(s.state, "38X10") << nth << " " << s.msg;
    }
    EXPECT_FALSE(s.holdsContext()) << nth;  // a failed first call keeps nothing
    Statement next("kelExtractIntegerFromVarchar");
    d = newDocument();
    v = 0;
    next.call2(SQLUDF_FIRST_CALL, d.c_str(), "/a/b", &v);
    EXPECT_STREQ(next.state, "00000") << nth << " " << next.msg;
    EXPECT_EQ(v, 12) << nth;
    next.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, &v);
  }
  EXPECT_GT(failures, 10);

  Statement scalar("kelExtractIntegerFromVarchar");
  Statement table("kelExtractIntegersFromVarchar");
  Statement update("kelUpdateXMLVarchar");
  sqlint32 v = 0;
  std::vector<char> out(32673);
  scalar.call2(SQLUDF_FIRST_CALL, "<a><b>12</b></a>", "/a/b", &v);
  table.call2(SQLUDF_TF_FIRST, doc, "/a/b", &v);
  update.call3(SQLUDF_FIRST_CALL, "<a/>", "/a", "v", out.data());
  ASSERT_STREQ(update.state, "00000");
  auto rows = [&] {
    std::vector<int> r;
    for (int guard = 0; guard < 5 && std::strcmp(table.state, "00000") == 0; ++guard) {
      table.call2(SQLUDF_TF_FETCH, doc, "/a/b", &v);
      if (std::strcmp(table.state, "00000") == 0) r.push_back(v);
    }
    table.call2(SQLUDF_TF_CLOSE, doc, "/a/b", &v);
    return r;
  };
  bool done[3] = {false, false, false};
  for (long nth = 0; !(done[0] && done[1] && done[2]); ++nth) {  // later calls, each reference's own
    ASSERT_LT(nth, 100000);
    std::string d = "<a><b>" + std::to_string(nth) + "</b></a>";  // a new document: no memo answers
    if (!done[0]) {
      done[0] = !failingAllocation(nth, [&] { scalar.call2(SQLUDF_NORMAL_CALL, d.c_str(), "/a/b", &v); });
      if (std::strcmp(scalar.state, "00000") == 0) EXPECT_EQ(v, nth);
      else EXPECT_STREQ(scalar.state, "38X10") << nth << " " << scalar.msg;
      scalar.call2(SQLUDF_NORMAL_CALL, d.c_str(), "/a/b", &v);
      EXPECT_STREQ(scalar.state, "00000") << nth << " " << scalar.msg;
      EXPECT_EQ(v, nth);
    }
    if (!done[1]) {
      done[1] = !failingAllocation(nth, [&] { table.call2(SQLUDF_TF_OPEN, doc, "/a/b", &v); });
      std::vector<int> r = rows();
      if (!r.empty()) EXPECT_EQ(r, (std::vector<int>{12, 13})) << nth;
      table.call2(SQLUDF_TF_OPEN, doc, "/a/b", &v);
      EXPECT_EQ(rows(), (std::vector<int>{12, 13})) << nth;
    }
    if (!done[2]) {
      done[2] = !failingAllocation(nth, [&] { update.call3(SQLUDF_NORMAL_CALL, d.c_str(), "/a/b", "x", out.data()); });
      if (std::strcmp(update.state, "00000") == 0) EXPECT_STREQ(out.data(), "<a><b>x</b></a>") << nth;
      else EXPECT_STREQ(update.state, "38X10") << nth << " " << update.msg;
      update.call3(SQLUDF_NORMAL_CALL, d.c_str(), "/a/b", "x", out.data());
      EXPECT_STREQ(out.data(), "<a><b>x</b></a>") << nth;
    }
  }
  scalar.call2(SQLUDF_FINAL_CALL, nullptr, nullptr, &v);
  table.call2(SQLUDF_TF_FINAL, nullptr, nullptr, &v);
  update.call3(SQLUDF_FINAL_CALL, nullptr, nullptr, nullptr, out.data());
}

}  // namespace

// The process's operator new, with the switch above (the forms without exceptions too, which a
// sanitizer's run-time would serve otherwise); operator delete to match.
void *operator new(std::size_t n) {
  long left = gAllocsBeforeFailure.load();
  while (left >= 0 && !gAllocsBeforeFailure.compare_exchange_weak(left, left - 1)) {
  }
  if (left == 0) throw std::bad_alloc();
  if (void *p = std::malloc(n != 0 ? n : 1)) return p;
  throw std::bad_alloc();
}
void *operator new[](std::size_t n) { return operator new(n); }
void *operator new(std::size_t n, const std::nothrow_t &) noexcept {
  try {
    return operator new(n);
  } catch (const std::bad_alloc &) {
    return nullptr;
  }
}
void *operator new[](std::size_t n, const std::nothrow_t &t) noexcept { return operator new(n, t); }
void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
