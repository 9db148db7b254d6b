// Path diagnostics: which findings a path gives on a document, their places and explanations,
// the row limit, and the failures it shares with extraction.
#include "kelexplain.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kel_test_ctx.h"
#include "kelctx.h"
#include "kelextract.h"
#include "kelpath.h"

namespace {

class Explain : public keltest::CallContextTest {
 protected:
  // The rows as "KIND line:col FOUND_PATH | DETAIL" (line "-" when NULL), or {"ERROR <state>"}.
  std::vector<std::string> rows(const std::string &doc, const std::string &path) {
    std::vector<KelExplainRow> out;
    msg[0] = '\0';
    if (kelExplainPath(&ctx, doc.c_str(), KEL_DOC_TERMINATED, 0, 1, path.c_str(), &out, state, msg) < 0) {
      EXPECT_TRUE(out.empty());
      return {std::string("ERROR ") + state};
    }
    std::vector<std::string> text;
    for (const KelExplainRow &r : out)
      text.push_back(r.kind + " " + (r.hasLine ? std::to_string(r.line) : std::string("-")) + ":" +
                     std::to_string(r.col) + " " + r.foundPath + " | " + r.detail);
    return text;
  }
  // The kinds of the rows only.
  std::vector<std::string> kinds(const std::string &doc, const std::string &path) {
    std::vector<std::string> out;
    for (const std::string &r : rows(doc, path)) out.push_back(r.substr(0, r.find(' ')));
    return out;
  }
};

using V = std::vector<std::string>;

TEST_F(Explain, MatchesAreWhatExtractionSelects) {
  EXPECT_EQ(rows("<a><b>1</b><b>2</b></a>", "/a/b"),
            (V{"MATCH 1:7 /a/b | selected", "MATCH 1:15 /a/b | selected"}));
  // An element selected inside a selected one is part of its value, as in extraction.
  EXPECT_EQ(kinds("<a><b><b/></b></a>", "//b"), (V{"MATCH"}));
  // Attributes: each value the path selects, nested elements included.
  EXPECT_EQ(rows("<a><b k=\"1\"><b k=\"2\"/></b></a>", "//b/@k"),
            (V{"MATCH 1:13 /a/b/@k | 1", "MATCH 1:23 /a/b/b/@k | 2"}));
  EXPECT_EQ(kinds("<a x=\"1\" y=\"2\"/>", "/a/@*"), (V{"MATCH", "MATCH"}));
  // With a match, near misses of the document are not given.
  EXPECT_EQ(kinds("<a><b/><B/><x><b/></x></a>", "/a/b"), (V{"MATCH"}));
}

TEST_F(Explain, PrefixCaseAndPredicateNearMisses) {
  V prefix = rows("<o:order xmlns:o=\"u\"><o:item/></o:order>", "/order/item");
  ASSERT_EQ(prefix.size(), 1u);
  EXPECT_EQ(prefix[0].substr(0, prefix[0].find(" | ")), "PREFIX 1:31 /o:order/o:item");
  EXPECT_NE(prefix[0].find("\"o:order\" has the local name of step \"order\""), std::string::npos) << prefix[0];
  EXPECT_NE(prefix[0].find("\"o:item\""), std::string::npos) << prefix[0];
  // A prefix in the path and none in the document is a prefix difference too.
  EXPECT_EQ(kinds("<order/>", "/o:order"), (V{"PREFIX"}));

  EXPECT_EQ(rows("<order><item/></order>", "/Order/item"),
            (V{"CASE 1:15 /order/item | \"order\" differs from step \"Order\" in letter case"}));
  EXPECT_EQ(rows("<a><b k=\"y\"/></a>", "/a/b[@k=\"x\"]"),
            (V{"PREDICATE 1:14 /a/b | \"b\" has k=\"y\" where the path asks for k=\"x\""}));
  EXPECT_EQ(rows("<a><b/></a>", "/a/b[@k=\"x\"]"),
            (V{"PREDICATE 1:8 /a/b | \"b\" has no attribute k where the path asks for k=\"x\""}));
  // A predicate on an enclosing step is explained at that step's element.
  V outer = rows("<a k=\"2\"><b/></a>", "/a[@k=\"1\"]/b");
  ASSERT_EQ(outer.size(), 1u);
  EXPECT_NE(outer[0].find("\"a\" has k=\"2\""), std::string::npos) << outer[0];
  // Two differences: the name's kind wins, both are explained.
  V both = rows("<o:A xmlns:o=\"u\"><o:b/></o:A>", "/a/b");
  ASSERT_EQ(both.size(), 1u);
  EXPECT_EQ(both[0].substr(0, 6), "PREFIX");
  EXPECT_NE(both[0].find("\"o:A\" has the local name of step \"a\" in other letter case and with another namespace "
                        "prefix"),
            std::string::npos)
      << both[0];
  // An attribute target: the attribute's name in another case.
  EXPECT_EQ(rows("<a K=\"1\"/>", "/a/@k"), (V{"CASE 1:11 /a/@K | attribute \"K\" differs from \"k\" in letter case"}));
}

TEST_F(Explain, DepthNearMisses) {
  EXPECT_EQ(rows("<a><b><c/></b></a>", "/a/c"),
            (V{"DEPTH 1:11 /a/b/c | \"c\" lies at depth 3, the path puts step \"c\" at depth 2; \"//\" before it "
               "would select it"}));
  // The first step below the root, and paths with "//" of their own.
  EXPECT_EQ(kinds("<r><a><b/></a></r>", "/a/b"), (V{"DEPTH"}));
  EXPECT_EQ(kinds("<r><a><x><b/></x></a></r>", "//a/b"), (V{"DEPTH"}));
  // Nothing is reported for elements the steps do not reach at all.
  EXPECT_EQ(kinds("<a><x/><y><z/></y></a>", "/a/b"), V{});
  EXPECT_EQ(kinds("<a><c/></a>", "/a/b/c"), V{});
}

TEST_F(Explain, IgnoredBracketsOfThePath) {
  // The position is the "[", counted as a syntax error's position is; a column is where the
  // parser reports the start tag, just after its ">".
  EXPECT_EQ(rows("<a><b/><b/></a>", "/a/b[2]"),
            (V{"IGNORED -:4 [2] | \"[2]\" at position 4 is accepted and not applied: the step selects as if it "
               "were not written",
               "MATCH 1:8 /a/b | selected", "MATCH 1:12 /a/b | selected"}));
  EXPECT_EQ(kinds("<a/>", "/a/b[@k=\"1\"][2]/c[text()=\"x\"]"), (V{"IGNORED", "IGNORED"}));
  V second = rows("<a/>", "/a/b[@k=\"1\"][2]");
  ASSERT_FALSE(second.empty());
  EXPECT_EQ(second[0].substr(0, 18), "IGNORED -:12 [2] |");
  EXPECT_EQ(kinds("<a/>", "/a/b[@k=\"1\"]"), V{});
}

TEST_F(Explain, AtMostOneHundredRows) {
  std::string doc = "<a>";
  for (int i = 0; i < 150; ++i) doc += "<x><b/></x>";
  doc += "</a>";
  EXPECT_EQ(kinds(doc, "/a/b").size(), KEL_EXPLAIN_MAX_ROWS);
  EXPECT_EQ(kinds(doc, "/a/x[1]").size(), KEL_EXPLAIN_MAX_ROWS);  // the IGNORED row counts
  EXPECT_EQ(kinds(doc, "/a/x[1]").front(), "IGNORED");
  // Deep matches past the limit are not written out: the first hundred, in document order.
  std::string deep;
  for (int i = 1; i <= 20000; ++i) deep += "<a k=\"" + std::to_string(i) + "\">";
  for (int i = 0; i < 20000; ++i) deep += "</a>";
  V found = rows(deep, "//a/@k");
  ASSERT_EQ(found.size(), KEL_EXPLAIN_MAX_ROWS);
  std::string path100;
  for (int i = 0; i < 100; ++i) path100 += "/a";
  EXPECT_EQ(found.back().substr(found.back().find(' ', 6) + 1), path100 + "/@k | 100");
}

// FOUND_PATH and DETAIL are cut at a character to at most 1024 bytes: a path of two-byte
// characters was cut to 373 bytes (the excess in bytes was dropped in UTF-16 units).
TEST_F(Explain, LongTextsAreCutAtACharacterToTheRoom) {
  for (const std::string name : {"ab", "\xC3\xA9\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
    std::string doc, full;
    for (int i = 0; i < 400; ++i) {
      doc += "<" + name + ">";
      full += "/" + name;
    }
    doc += "<x/>";
    full += "/x";
    for (int i = 0; i < 400; ++i) doc += "</" + name + ">";
    std::vector<KelExplainRow> out;
    ASSERT_EQ(kelExplainPath(&ctx, doc.c_str(), KEL_DOC_TERMINATED, 0, 1, "//x", &out, state, msg), 0) << msg;
    ASSERT_EQ(out.size(), 1u);
    const std::string &found = out[0].foundPath;
    // The longest prefix of whole characters within the room: no next character would fit.
    size_t room = KEL_EXPLAIN_TEXT_BYTES;
    while ((static_cast<unsigned char>(full[room]) & 0xC0) == 0x80) --room;
    EXPECT_EQ(found.size(), room) << name;
    EXPECT_TRUE(found == full.substr(0, room)) << name;
  }
}

TEST_F(Explain, FailuresAreTheExtractionsOwn) {
  EXPECT_EQ(rows("<a/>", "a/b"), (V{"ERROR 38X09"}));
  EXPECT_STREQ(msg, "KELD002E  A syntax error occurred near position 1 in the search path.\n");
  EXPECT_EQ(rows("<a><b></a>", "/a/b"), (V{"ERROR 38X13"}));
  EXPECT_EQ(std::string(msg).substr(0, 8), "KELQ047E");
  // An entity only the DTD read as empty could declare is refused as extraction refuses it.
  EXPECT_EQ(rows("<!DOCTYPE a SYSTEM \"x.dtd\"><a>Smith &co; Sons</a>", "/a"), (V{"ERROR 38X13"}));
  EXPECT_NE(std::string(msg).find("entity 'co' not found"), std::string::npos) << msg;
  // External entities are resolved as extraction resolves them: a URL is refused.
  EXPECT_EQ(rows("<!DOCTYPE a [<!ENTITY e SYSTEM \"http://example.invalid/e\">]><a>&e;</a>", "/a"),
            (V{"ERROR 38X13"}));
  // Entity expansion stops at the limit.
  std::string bomb = "<!DOCTYPE a [<!ENTITY e0 \"xxxxxxxxxx\">";
  for (int i = 1; i < 8; ++i)
    bomb += "<!ENTITY e" + std::to_string(i) + " \"" + std::string() + "&e" + std::to_string(i - 1) + ";&e" +
            std::to_string(i - 1) + ";&e" + std::to_string(i - 1) + ";&e" + std::to_string(i - 1) + ";\">";
  bomb += "]><a>&e7;</a>";
  EXPECT_EQ(rows(bomb, "/a"), (V{"ERROR 38X13"}));
}

TEST(KelQueryIgnored, PositionsWithoutChangingWhatCompiles) {
  struct Case {
    const char16_t *path;
    int error;
    std::vector<std::pair<int, int>> ignored;
  } cases[] = {
      {u"/a/b[2]", 0, {{4, 3}}},
      {u"/a/b[2]/c", 0, {{4, 3}}},
      {u"/a/b[ @k=\"1\"]", 0, {{5, 1}}},
      {u"/a/b[@k=\"1\"][2]", 0, {{12, 3}}},
      {u"/a/b[@k=\"1\"]", 0, {}},
      {u"/a/b[@k=\"1\"]/@c", 0, {}},
      {u"//a[1]//b[2]", 0, {{3, 3}, {9, 3}}},
      {u"/a/b[2]/1c", 8, {}},  // a failing path keeps its error position and reports nothing
      {u"/a/b[@c]", 4, {}},
  };
  for (const Case &c : cases) {
    KelQuery q(nullptr, c.path);
    EXPECT_EQ(q.errorPosition(), c.error) << std::string(c.path, c.path + std::char_traits<char16_t>::length(c.path));
    std::vector<std::pair<int, int>> got;
    for (const KelQuery::Ignored &i : q.ignored()) got.emplace_back(i.position, i.length);
    EXPECT_EQ(got, c.ignored);
  }
}

}  // namespace
