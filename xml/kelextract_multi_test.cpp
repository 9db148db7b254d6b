// Several paths over one document in one pass (KelMultiExtractor): each path's items are those
// of its own extraction, a path's size limit fails that path alone, and whatever the parse
// cannot answer (bad paths, bad documents, outside entities) is said so.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "kel_test_ctx.h"
#include "kelextract.h"

namespace {

using V = std::vector<std::string>;

class MultiExtract : public keltest::CallContextTest {
 protected:
  // The items of path alone, or {"ERROR <state>"}.
  V single(const std::string &doc, const KelPathRequest &r, const char *dtd = nullptr) {
    KelExtractResult result{};
    if (extractor.runBuffer(doc.data(), doc.size(), dtd, 0, r.tagged, r.path, &result, r.sizeLimit,
                            state, msg) < 0)
      return {std::string("ERROR ") + state};
    V out = items(result);
    kelFreeExtractResult(&result);
    return out;
  }

  // Every path's items in one pass ({"FAILED <state>"} for a path that failed alone), or
  // {{"ERROR <state>"}} when the run fails.
  std::vector<V> multi(const std::string &doc, const std::vector<KelPathRequest> &rs,
                       bool *selfContained = nullptr, const char *dtd = nullptr) {
    std::vector<KelExtractResult> results(rs.size());
    bool self = false;
    int rc = many.run(doc.data(), doc.size(), dtd, 0, rs.data(), rs.size(), results.data(), &self,
                      state, msg);
    if (selfContained != nullptr) *selfContained = self;
    if (rc < 0) {
      for (const KelExtractResult &r : results) EXPECT_EQ(r.items, nullptr);
      return {{std::string("ERROR ") + state}};
    }
    std::vector<V> out;
    for (KelExtractResult &r : results) {
      if (std::strcmp(r.sqlstate, "00000") != 0) {
        EXPECT_EQ(r.items, nullptr);
        out.push_back({std::string("FAILED ") + r.sqlstate});
        continue;
      }
      out.push_back(items(r));
      kelFreeExtractResult(&r);
    }
    return out;
  }

  static V items(const KelExtractResult &r) {
    V out;
    for (char **p = r.items; *p != nullptr; ++p) out.push_back(*p);
    return out;
  }

  KelExtractor extractor{&ctx};
  KelMultiExtractor many{&ctx};
};

const std::string kOrder =
    "<order id=\"7\" status=\"open\"><customer>Ann &amp; Bob</customer>"
    "<item sku=\"a\"><price>10.5</price><note>x<b>y</b>z</note></item>"
    "<item sku=\"b\"><price>5</price></item><x><item><price>1</price></item></x></order>";

TEST_F(MultiExtract, EveryPathGivesWhatItsOwnExtractionGives) {
  const std::vector<KelPathRequest> rs = {
      {"/order/customer", 0, 4000},   {"/order/@status", 0, 4000},
      {"/order/item/price", 0, 4000}, {"//price", 0, 4000},
      {"/order/item/@*", 0, 4000},    {"/order/item[@sku=\"b\"]/price", 0, 4000},
      {"/order/item/note", 1, 4000},  {"/order/item/note", 0, 4000},
      {"/order/nothing", 0, 4000},    {"/order/item", 0, 4000}};
  std::vector<V> got = multi(kOrder, rs);
  ASSERT_EQ(got.size(), rs.size());
  for (size_t i = 0; i < rs.size(); ++i) EXPECT_EQ(got[i], single(kOrder, rs[i])) << rs[i].path;
  EXPECT_EQ(got[2], (V{"10.5", "5"}));
  EXPECT_EQ(got[6], (V{"<note>x<b>y</b>z</note>"}));
  EXPECT_EQ(got[8], V{});
  // The same paths over the next document: the kept compiled paths start afresh.
  const std::string next = "<order status=\"shipped\"><item><price>2</price></item></order>";
  got = multi(next, rs);
  for (size_t i = 0; i < rs.size(); ++i) EXPECT_EQ(got[i], single(next, rs[i])) << rs[i].path;
  // Fewer and other paths, and one path twice.
  const std::vector<KelPathRequest> other = {{"/order/item/price", 0, 4000},
                                             {"/order/item/price", 0, 4000}};
  got = multi(kOrder, other);
  EXPECT_EQ(got, (std::vector<V>{{"10.5", "5"}, {"10.5", "5"}}));
}

// The kept reader reads each document by the XML version it declares, not the last one's.
TEST_F(MultiExtract, EachDocumentIsReadByItsOwnXmlVersion) {
  const std::vector<KelPathRequest> rs = {{"/a/b", 0, 4000}};
  EXPECT_EQ(multi("<?xml version=\"1.1\"?><a><b>&#1;</b></a>", rs), (std::vector<V>{{"\x01"}}));
  EXPECT_EQ(multi("<a><b>&#5;</b></a>", rs), (std::vector<V>{{"ERROR 38X13"}}));
}

TEST_F(MultiExtract, ASizeLimitFailsItsPathAlone) {
  const std::vector<KelPathRequest> rs = {{"/order/customer", 0, 5}, {"/order/@id", 0, 5}};
  EXPECT_EQ(single(kOrder, rs[0]), (V{"ERROR 38X39"}));
  EXPECT_EQ(multi(kOrder, rs), (std::vector<V>{{"FAILED 38X39"}, {"7"}}));
}

TEST_F(MultiExtract, FailuresOfTheRunAreReported) {
  // A path that does not compile fails alone.
  EXPECT_EQ(multi(kOrder, {{"/order/@id", 0, 4000}, {"order", 0, 4000}, {"/order/1b", 0, 4000}}),
            (std::vector<V>{{"7"}, {"FAILED 38X09"}, {"FAILED 38X09"}}));
  EXPECT_EQ(multi(kOrder, {{"order", 0, 4000}, {"/order/@id", 0, 4000}}),
            (std::vector<V>{{"FAILED 38X09"}, {"7"}}));
  // A document the parse refuses, then a good one again.
  EXPECT_EQ(multi("<a><b></a>", {{"/a", 0, 4000}}), (std::vector<V>{{"ERROR 38X13"}}));
  EXPECT_EQ(multi("", {{"/a", 0, 4000}}), (std::vector<V>{{"ERROR 38X13"}}));
  EXPECT_EQ(multi("<a>ok</a>", {{"/a", 0, 4000}}), (std::vector<V>{{"ok"}}));
  // No paths: the document is still read.
  EXPECT_EQ(multi("<a>", {}), (std::vector<V>{{"ERROR 38X13"}}));
  EXPECT_EQ(multi("<a/>", {}), std::vector<V>{});
}

TEST_F(MultiExtract, APathOutsideTheDocumentIsNoted) {
  bool self = false;
  EXPECT_EQ(multi("<a>t</a>", {{"/a", 0, 4000}}, &self), (std::vector<V>{{"t"}}));
  EXPECT_TRUE(self);
  // An external DTD is asked for (and read as empty, or replaced by the DTD text).
  EXPECT_EQ(multi("<!DOCTYPE a SYSTEM \"missing.dtd\"><a>t</a>", {{"/a", 0, 4000}}, &self),
            (std::vector<V>{{"t"}}));
  EXPECT_FALSE(self);
  // An entity only the DTD read as empty could declare is refused, as in a single extraction
  // (it gave nothing).
  const std::string doc = "<!DOCTYPE a SYSTEM \"missing.dtd\"><a>&e;</a>";
  EXPECT_EQ(multi(doc, {{"/a", 0, 4000}, {"/a", 1, 4000}}), (std::vector<V>{{"ERROR 38X13"}}));
  EXPECT_NE(std::string(msg).find("entity 'e' not found"), std::string::npos) << msg;
  EXPECT_EQ(multi(doc, {{"/a", 0, 4000}}, &self, "<!ENTITY e \"from dtd\">"),
            (std::vector<V>{{"from dtd"}}));
  EXPECT_FALSE(self);
  // The internal subset alone is the document's own.
  EXPECT_EQ(multi("<!DOCTYPE a [<!ENTITY e \"inner\">]><a>&e;</a>", {{"/a", 0, 4000}}, &self),
            (std::vector<V>{{"inner"}}));
  EXPECT_TRUE(self);
}

}  // namespace
