// The parsed-DAD cache: a DAD is parsed once and lent to one call at a time, models handed out
// are copies equal to freshly built ones, overrides and catalogue types never stick to the kept
// model, DADs that must not be kept are parsed every time, the least recently used go first,
// and composition's join types follow a changed catalogue.
#include "keldadcache.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "keldad_testutil.h"
#include "kel_test_db.h"
#include "kelmsg.h"
#include "kelpath.h"

namespace {

class DadCache : public keltest::DadTest {
 protected:
  void SetUp() override {
    keltest::DadTest::SetUp();
    kelDadCacheConfigure(KEL_DAD_CACHE_DEFAULT);
    kelDadCacheClear();
    po = keltest::dadData("po_rdb.dad");
  }
  void TearDown() override {
    kelDadCacheConfigure(KEL_DAD_CACHE_DEFAULT);
    kelDadCacheClear();
    keltest::DadTest::TearDown();
  }
  int open(KelDad *dad, const std::string &text, int kind = KEL_DAD_XCOLLECTION, int cpFlag = 0) {
    return kelDadOpen(&ctx, text.c_str(), KEL_DOC_IN_MEMORY, cpFlag, kind, dad, state, msg);
  }
  // The model of text built without the cache.
  std::string fresh(const std::string &text, int mode) {
    xercesc::DOMElement *root = parse(text);
    KEL_REL rel;
    EXPECT_EQ(kelSetRelTables(&ctx, &rel, root, mode, state, msg), 0) << msg;
    KelDadHeader header;
    EXPECT_EQ(kelReadDadHeader(&ctx, root, KEL_DAD_XCOLLECTION, &header, state, msg), 0);
    EXPECT_EQ(kelProcRel(&ctx, &rel, header.rootElement, mode, nullptr, state, msg), 0) << msg;
    return kelRelToText(rel);
  }
  std::string po;
};

TEST_F(DadCache, ParsedOnceAndReusedWithEqualModels) {
  for (int call = 0; call < 3; ++call) {
    KelDad dad;
    ASSERT_EQ(open(&dad, po), 0) << msg;
    EXPECT_EQ(dad.fromCache(), call > 0);
    EXPECT_EQ(dad.header().dtdId, "po.dtd");
    KEL_REL rel;
    ASSERT_EQ(kelDadRelation(&ctx, &dad, KEL_MODE_DECOMPOSE, nullptr, &rel, state, msg), 0) << msg;
    EXPECT_EQ(kelRelToText(rel), fresh(po, KEL_MODE_DECOMPOSE));
    rel.tab[0].condition = "changed by the call";  // a call's own copy
    rel.tab.pop_back();
  }
  KelDadCacheStats stats = kelDadCacheStats();
  EXPECT_EQ(stats.hits, 2u);
  EXPECT_EQ(stats.misses, 1u);
  EXPECT_EQ(stats.kept, 1u);
}

TEST_F(DadCache, ADadIsLentToOneCallAtATime) {
  KelDad first, second;
  ASSERT_EQ(open(&first, po), 0);
  ASSERT_EQ(open(&second, po), 0);
  EXPECT_FALSE(second.fromCache());  // the kept DOM is never read by two calls at once
  EXPECT_NE(first.document(), second.document());
  {
    KelDad moved;
    ASSERT_EQ(open(&moved, keltest::dadData("po_sql.dad")), 0);
  }
  EXPECT_EQ(kelDadCacheStats().kept, 1u);
}

TEST_F(DadCache, ThreadsShareTheCacheSafely) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  const std::string expected = fresh(po, KEL_MODE_DECOMPOSE);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        KelDad dad;
        char st[6], m[KEL_MSG_BUFFER + 1];
        KEL_REL rel;
        if (kelDadOpen(nullptr, po.c_str(), KEL_DOC_IN_MEMORY, 0, KEL_DAD_XCOLLECTION, &dad, st, m) < 0 ||
            kelDadRelation(nullptr, &dad, KEL_MODE_DECOMPOSE, nullptr, &rel, st, m) < 0 || kelRelToText(rel) != expected)
          ++failures[t];
      }
    });
  for (std::thread &t : threads) t.join();
  EXPECT_EQ(failures, std::vector<int>(4, 0));
  EXPECT_EQ(kelDadCacheStats().kept, 1u);
}

TEST_F(DadCache, WhatIsNeverKept) {
  // A DAD that declares an entity, one read from a file, one that fails.
  std::string entity = "<!DOCTYPE DAD [<!ENTITY t \"ORDER_TAB\">]>" + po.substr(po.find("<DAD>"));
  std::string file = dir.file("po.dad");
  keltest::writeFile(file, po);
  for (int call = 0; call < 2; ++call) {
    KelDad a, b, c;
    ASSERT_EQ(open(&a, entity), 0) << msg;
    EXPECT_FALSE(a.fromCache());
    ASSERT_EQ(kelDadOpen(&ctx, file.c_str(), KEL_DOC_OWN_FILE, 0, KEL_DAD_XCOLLECTION, &b, state, msg), 0) << msg;
    EXPECT_FALSE(b.fromCache());
    EXPECT_EQ(open(&c, "<DAD><validation>maybe</validation></DAD>"), -40);
    EXPECT_EQ(msgId(), "KELA056E");
    EXPECT_FALSE(c.ok());
    EXPECT_EQ(open(&c, "<DAD>"), -85);
    EXPECT_EQ(msgId(), "KELQ047E");
    EXPECT_STREQ(state, "38X13");
  }
  EXPECT_EQ(kelDadCacheStats().kept, 0u);
  // Switched off.
  kelDadCacheConfigure(0);
  for (int call = 0; call < 2; ++call) {
    KelDad dad;
    ASSERT_EQ(open(&dad, po), 0);
    EXPECT_FALSE(dad.fromCache());
  }
  EXPECT_EQ(kelDadCacheStats().kept, 0u);
}

TEST_F(DadCache, KeyAndLeastRecentlyUsedFirst) {
  kelDadCacheConfigure(2);
  const std::string sql = keltest::dadData("po_sql.dad");
  const std::string other = po + "<!-- another text -->";
  auto use = [&](const std::string &text, int kind = KEL_DAD_XCOLLECTION, int cpFlag = 0) {
    KelDad dad;
    EXPECT_EQ(open(&dad, text, kind, cpFlag), 0) << msg;
    return dad.fromCache();
  };
  EXPECT_FALSE(use(po));
  EXPECT_FALSE(use(sql));
  EXPECT_TRUE(use(po));
  EXPECT_FALSE(use(other));  // one character more is another DAD; sql goes
  EXPECT_TRUE(use(po));
  EXPECT_FALSE(use(sql));
  EXPECT_EQ(kelDadCacheStats().kept, 2u);
  EXPECT_FALSE(use(po, KEL_DAD_XCOLLECTION, 1));  // another code-page flag
  std::string xcolumn = "<DAD><Xcolumn/></DAD>";
  EXPECT_FALSE(use(xcolumn, KEL_DAD_XCOLUMN));
  EXPECT_TRUE(use(xcolumn, KEL_DAD_XCOLUMN));
}

// ---- Composition's join types against a database ----------------------------------------------

class DadCacheDb : public keltest::DatabaseTest {
 protected:
  void SetUp() override {
    openDatabase("KELDAD");
    kelDadCacheClear();
  }
  void TearDown() override {
    kelDadCacheClear();
    keltest::DatabaseTest::TearDown();
  }
  int relation(KEL_REL *rel, KelOverrideList *overrides = nullptr) {
    KelDad dad;
    int rc = kelDadOpen(nullptr, dadText.c_str(), KEL_DOC_IN_MEMORY, 0, KEL_DAD_XCOLLECTION, &dad, state, msg);
    if (rc < 0) return rc;
    return kelDadRelation(nullptr, &dad, KEL_MODE_COMPOSE, overrides, rel, state, msg);
  }
  std::string dadText =
      "<DAD><Xcollection><root_node><element_node name=\"r\"><RDB_node><table name=\"a\"/><table name=\"b\"/>"
      "<condition>a.id = b.aid</condition></RDB_node>"
      "<attribute_node name=\"id\"><RDB_node><table name=\"a\"/><column name=\"id\"/></RDB_node></attribute_node>"
      "<element_node name=\"b\"><text_node><RDB_node><table name=\"b\"/><column name=\"v\"/></RDB_node></text_node>"
      "</element_node></element_node></root_node></Xcollection></DAD>";
  char state[6] = "";
  char msg[KEL_MSG_BUFFER + 1] = "";
};

TEST_F(DadCacheDb, JoinTypesFollowTheCatalogue) {
  ASSERT_EQ(exec("create table a (id integer)"), 0) << error();
  ASSERT_EQ(exec("create table b (aid varchar(10), v integer)"), 0) << error();
  KEL_REL rel;
  ASSERT_EQ(relation(&rel), 0) << msg;
  // Each join column gets the type of the column it is first equated with.
  EXPECT_EQ(rel.tab[0].joinInfo[0].dataType, "VARCHAR");
  EXPECT_EQ(rel.tab[1].joinInfo[0].dataType, "VARCHAR");

  ASSERT_EQ(exec("drop table b"), 0) << error();
  ASSERT_EQ(exec("create table b (aid bigint, v integer)"), 0) << error();
  ASSERT_EQ(relation(&rel), 0) << msg;
  EXPECT_EQ(kelDadCacheStats().hits, 1u);
  EXPECT_EQ(rel.tab[0].joinInfo[0].dataType, "BIGINT");

  ASSERT_EQ(exec("drop table b"), 0) << error();
  EXPECT_EQ(relation(&rel), -81);
  EXPECT_EQ(std::string(msg, 8), "KELQ021E");
  EXPECT_TRUE(rel.tab.empty());
}

TEST_F(DadCacheDb, OverridesApplyToTheCallsCopyOnly) {
  ASSERT_EQ(exec("create table a (id integer)"), 0) << error();
  ASSERT_EQ(exec("create table b (aid integer, v integer)"), 0) << error();
  KelOverrideList ov;
  ov.push_back(KelOverride{std::make_unique<KelQuery>(nullptr, u"/r/b"), "> 10", false});
  KEL_REL rel;
  ASSERT_EQ(relation(&rel, &ov), 0) << msg;
  EXPECT_TRUE(ov[0].used);
  EXPECT_EQ(rel.tab[1].condition, "(\"B\".\"V\" > 10)");
  ASSERT_EQ(relation(&rel), 0) << msg;
  EXPECT_EQ(kelDadCacheStats().hits, 1u);
  EXPECT_EQ(rel.tab[1].condition, "");
  ASSERT_EQ(relation(&rel, &ov), 0) << msg;  // a used override applies no more
  EXPECT_EQ(rel.tab[1].condition, "");
}

}  // namespace
