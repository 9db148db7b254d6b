// Location paths: compilation (steps, predicates, targets, error positions) and matching
// against the open elements of a parse.
#include "kelpath.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kelSgDocHandler.h"

namespace {

std::string narrow(const XMLCh *s) {
  std::string out;
  for (; s && *s; ++s) out.push_back(static_cast<char>(*s));
  return out;
}

std::u16string wide(const std::string &s) { return std::u16string(s.begin(), s.end()); }

// "name" or "name[@k=v]" for each step.
std::vector<std::string> describe(const std::vector<KelQuery::StepTest> &chain) {
  std::vector<std::string> out;
  for (const auto &s : chain) {
    std::string d = narrow(s.name);
    if (s.predName) d += "[@" + narrow(s.predName) + "=" + narrow(s.predValue) + "]";
    out.push_back(d);
  }
  return out;
}

using Steps = std::vector<std::string>;

int errorOf(const std::string &path) {
  std::u16string p = wide(path);
  KelQuery q(nullptr, p.c_str());
  return q.errorPosition();
}

TEST(KelQueryCompile, ErrorPositionPointsAtBadStep) {
  EXPECT_EQ(errorOf("order/item"), 1);
  // An "@" with no "=" behind it makes an attribute target, which must follow a "/": the
  // predicate without "=" is refused at the "[" before its "@".
  EXPECT_EQ(errorOf("/a/b[@c]"), 4);
  EXPECT_EQ(errorOf("/a/b[@c]/d[@e=\"1\"]"), 5);  // no "=" in the first predicate: the "@"
  EXPECT_EQ(errorOf("/a/b[@c=x]"), 7);      // no end quote: the "="
  EXPECT_EQ(errorOf("/a/1b"), 3);
  EXPECT_EQ(errorOf("/a/b@c"), 3);          // the character before "@"
  EXPECT_EQ(errorOf("/a/text()"), 7);
  EXPECT_EQ(errorOf("/a/./b"), 3);
  EXPECT_EQ(errorOf("/a//"), 0);
  EXPECT_EQ(errorOf("/a/b[@c='x']"), 7);    // single quotes do not delimit
  EXPECT_EQ(errorOf("/a/b[@1c=\"x\"]"), 6); // predicate names follow the name rules
  EXPECT_EQ(errorOf("/a/b"), 0);
  EXPECT_EQ(errorOf(""), 1);
  // A quote later in the step closes a value that has no opening quote.
  EXPECT_EQ(errorOf("/a/b[@c=x\"]"), 0);
}

TEST(KelQueryCompile, StepsPredicatesAndTargets) {
  std::u16string p1 = u"/a/b[@c=\"x/y\"]/d";
  KelQuery q1(nullptr, p1.c_str());
  ASSERT_EQ(q1.errorPosition(), 0);
  EXPECT_EQ(describe(q1.head()), (Steps{"a", "b[@c=x/y]", "d"}));
  EXPECT_EQ(q1.targetKind(), KEL_TARGET_TEXT);

  std::u16string p2 = u"/a/b[2]";
  KelQuery q2(nullptr, p2.c_str());
  EXPECT_EQ(describe(q2.head()), (Steps{"a", "b"}));

  std::u16string p3 = u"/a/b/@*";
  KelQuery q3(nullptr, p3.c_str());
  EXPECT_EQ(q3.targetKind(), KEL_TARGET_ATTRIBUTE);
  EXPECT_EQ(narrow(q3.targetAttribute()), "*");
  EXPECT_EQ(describe(q3.head()), (Steps{"a", "b"}));

  std::u16string p4 = u"/a/b[@k=\"1\"]/@c";
  KelQuery q4(nullptr, p4.c_str());
  EXPECT_EQ(narrow(q4.targetAttribute()), "c");
  EXPECT_EQ(describe(q4.head()), (Steps{"a", "b[@k=1]"}));

  std::u16string p5 = u"/a/b[@k=\"1\"]";
  KelQuery q5(nullptr, p5.c_str());
  EXPECT_EQ(q5.targetAttribute(), nullptr);
  EXPECT_EQ(q5.targetKind(), KEL_TARGET_TEXT);

  std::u16string p6 = u"/a//b//c/d";
  KelQuery q6(nullptr, p6.c_str());
  EXPECT_EQ(describe(q6.head()), (Steps{"a"}));
  ASSERT_EQ(q6.middle().size(), 1u);
  EXPECT_EQ(describe(q6.middle()[0]), (Steps{"b"}));
  EXPECT_EQ(describe(q6.tail()), (Steps{"d", "c"}));  // last step first

  std::u16string p7 = u"//x//y/z//w";
  KelQuery q7(nullptr, p7.c_str());
  EXPECT_TRUE(q7.head().empty());
  ASSERT_EQ(q7.middle().size(), 2u);
  EXPECT_EQ(describe(q7.middle()[1]), (Steps{"y", "z"}));
  EXPECT_EQ(describe(q7.tail()), (Steps{"w"}));
}

// "/", "//", "@" and "=" inside a quoted predicate value belong to the value.  Once these paths
// failed: "/a/b[@u=\"http://x\"]" at the "=" (7, the "//" split the path), "/a/b[@k=\"x@y\"]"
// before the quoted "@" (9, taken for an attribute target).
TEST(KelQueryCompile, QuotedValuesKeepSlashesAndAts) {
  std::u16string p1 = u"/a/b[@u=\"http://x\"]";
  KelQuery q1(nullptr, p1.c_str());
  ASSERT_EQ(q1.errorPosition(), 0);
  EXPECT_EQ(describe(q1.head()), (Steps{"a", "b[@u=http://x]"}));
  EXPECT_TRUE(q1.tail().empty());
  EXPECT_EQ(q1.targetKind(), KEL_TARGET_TEXT);

  std::u16string p2 = u"/a/b[@k=\"x@y\"]";
  KelQuery q2(nullptr, p2.c_str());
  ASSERT_EQ(q2.errorPosition(), 0);
  EXPECT_EQ(describe(q2.head()), (Steps{"a", "b[@k=x@y]"}));
  EXPECT_EQ(q2.targetAttribute(), nullptr);

  // Quoted text in every part of a path, with an attribute target after it.
  std::u16string p3 = u"//b[@u=\"a//b\"]//c[@v=\"/@=]\"]/d/@e";
  KelQuery q3(nullptr, p3.c_str());
  ASSERT_EQ(q3.errorPosition(), 0);
  EXPECT_TRUE(q3.head().empty());
  ASSERT_EQ(q3.middle().size(), 1u);
  EXPECT_EQ(describe(q3.middle()[0]), (Steps{"b[@u=a//b]"}));
  EXPECT_EQ(describe(q3.tail()), (Steps{"d", "c[@v=/@=]]"}));
  EXPECT_EQ(narrow(q3.targetAttribute()), "e");

  std::u16string p4 = u"/a[@k=\"@\"]";
  KelQuery q4(nullptr, p4.c_str());
  ASSERT_EQ(q4.errorPosition(), 0);
  EXPECT_EQ(describe(q4.head()), (Steps{"a[@k=@]"}));

  // A path with quoted text that fails for another reason is placed where it fails.
  EXPECT_EQ(errorOf("/a/b[@u=\"http://x\"]/1c"), 20);
  EXPECT_EQ(errorOf("/a/b[@u=\"http://x"), 7);  // no end quote: the "="
  EXPECT_EQ(errorOf("/a[@k=\"v\"]/b@c"), 11);   // no "/" before the target's "@"
}

// A path that compiles as written keeps that reading, stray quotes and all.
TEST(KelQueryCompile, PathsThatCompileAsWrittenKeepTheirMeaning) {
  std::u16string p1 = u"/a[@k=\"v\"]\"//b";  // the quote after "]" is ignored text of the step
  KelQuery q1(nullptr, p1.c_str());
  ASSERT_EQ(q1.errorPosition(), 0);
  EXPECT_EQ(describe(q1.head()), (Steps{"a[@k=v]"}));
  EXPECT_EQ(describe(q1.tail()), (Steps{"b"}));

  std::u16string p2 = u"/a/b[@k=x\"v/@y\"]";  // no opening quote: the value is empty
  KelQuery q2(nullptr, p2.c_str());
  ASSERT_EQ(q2.errorPosition(), 0);
  EXPECT_EQ(describe(q2.head()), (Steps{"a", "b[@k=]"}));
  EXPECT_EQ(narrow(q2.targetAttribute()), "y\"]");

  // A bracket left open does not run the following steps into the predicate's step (the path
  // selected a, and explainPath alone showed "/b" as ignored): that reading fails, and the path
  // is read with quoted text kept whole.  Text after the bracket without a step stays ignored.
  std::u16string open = u"/r/a[@k=\"2\"/b/@k";
  KelQuery qOpen(nullptr, open.c_str());
  ASSERT_EQ(qOpen.errorPosition(), 0);
  EXPECT_EQ(describe(qOpen.head()), (Steps{"r", "a[@k=2]", "b"}));
  EXPECT_EQ(narrow(qOpen.targetAttribute()), "k");
  EXPECT_TRUE(qOpen.ignored().empty());
  std::u16string trailing = u"/r/a[@k=\"2\"]b";
  KelQuery qTrailing(nullptr, trailing.c_str());
  ASSERT_EQ(qTrailing.errorPosition(), 0);
  EXPECT_EQ(describe(qTrailing.head()), (Steps{"r", "a[@k=2]"}));
  EXPECT_EQ(qTrailing.ignored().size(), 1u);

  std::u16string p3 = u"/a/b[@k=\"x=y\"]/@c";
  KelQuery q3(nullptr, p3.c_str());
  ASSERT_EQ(q3.errorPosition(), 0);
  EXPECT_EQ(describe(q3.head()), (Steps{"a", "b[@k=x=y]"}));
  EXPECT_EQ(narrow(q3.targetAttribute()), "c");
}

// A path of open elements built from "a b[k=1] c".

class Match : public ::testing::Test {
 protected:
  KelMatch at(const std::string &path, const std::vector<std::string> &elements, int kind = -1) {
    std::u16string p = wide(path);
    KelQuery q(nullptr, p.c_str());
    EXPECT_EQ(q.errorPosition(), 0) << path;
    if (kind >= 0) q.setTargetKind(kind);
    KelCurrentPath cur(nullptr, false);
    for (const std::string &e : elements) cur.push(wide(e).c_str(), nullptr);
    return q.isMatched(cur);
  }
};

TEST_F(Match, ChildPathMovesFromPendingToMatchedToNoMatch) {
  EXPECT_EQ(at("/a/b", {"a"}), PENDING);
  EXPECT_EQ(at("/a/b", {"a", "b"}), MATCHED);
  EXPECT_EQ(at("/a/b", {"a", "b", "c"}), NO_MATCH);
  EXPECT_EQ(at("/a/b", {"a", "b", "c"}, KEL_TARGET_TAGGED), MATCHED);
  EXPECT_EQ(at("/a/b", {"x"}), NO_MATCH);
  EXPECT_EQ(at("/a/b", {"a", "c"}), NO_MATCH);
}

TEST_F(Match, WildcardsAndDescendants) {
  EXPECT_EQ(at("/a/*/c", {"a", "zz", "c"}), MATCHED);
  EXPECT_EQ(at("/a/*/c", {"a", "zz", "d"}), NO_MATCH);
  EXPECT_EQ(at("//c", {"x", "y", "c"}), MATCHED);
  EXPECT_EQ(at("//c", {"x", "y"}), PENDING);
  EXPECT_EQ(at("/a//c", {"b"}), NO_MATCH);
  EXPECT_EQ(at("/a//c", {"a", "b", "c"}), MATCHED);
  EXPECT_EQ(at("/a//b//c/d", {"a", "x", "b", "y", "c", "d"}), MATCHED);
  EXPECT_EQ(at("/a//b//c/d", {"a", "x", "c", "d"}), PENDING);  // no b on the way
  EXPECT_EQ(at("/a//b//c/d", {"a", "b", "c", "x", "d"}), PENDING);
}

// The single root "a" is not an "a" below the root "a": the tail is looked for strictly below
// what the head and middle used.
TEST_F(Match, DescendantNeverMatchesTheElementItDescendsFrom) {
  EXPECT_EQ(at("/a//a", {"a"}), PENDING);
  EXPECT_EQ(at("/a//a", {"a", "a"}), MATCHED);
  EXPECT_EQ(at("//a//a", {"a"}), PENDING);
  EXPECT_EQ(at("//a//a", {"a", "b", "a"}), MATCHED);
  EXPECT_EQ(at("//a", {"a"}), MATCHED);
}

TEST_F(Match, PredicatesCompareAttributeValuesExactly) {
  // Attributes come from a parse; see the extraction tests.  Here: a step with a predicate
  // never matches an element without attributes.
  EXPECT_EQ(at("/a/b[@k=\"1\"]", {"a", "b"}), NO_MATCH);
}

// Attributes as the parser reports them without namespace processing: a local name (which may
// be empty, then the qualified name counts) and a value.
class ParsedAttrs : public xercesc::Attributes {
 public:
  struct Attr {
    std::u16string local, qname, value;
  };
  explicit ParsedAttrs(std::vector<Attr> attrs = {}) : attrs_(std::move(attrs)) {}
  XMLSize_t getLength() const override { return attrs_.size(); }
  const XMLCh *getURI(const XMLSize_t) const override { return u""; }
  const XMLCh *getLocalName(const XMLSize_t i) const override { return attrs_.at(i).local.c_str(); }
  const XMLCh *getQName(const XMLSize_t i) const override { return attrs_.at(i).qname.c_str(); }
  const XMLCh *getType(const XMLSize_t) const override { return u"CDATA"; }
  const XMLCh *getValue(const XMLSize_t i) const override { return attrs_.at(i).value.c_str(); }
  // Lookups by name are not what matching uses: they find nothing.
  bool getIndex(const XMLCh *const, const XMLCh *const, XMLSize_t &) const override {
    return false;
  }
  int getIndex(const XMLCh *const, const XMLCh *const) const override { return -1; }
  bool getIndex(const XMLCh *const, XMLSize_t &) const override { return false; }
  int getIndex(const XMLCh *const) const override { return -1; }
  const XMLCh *getType(const XMLCh *const, const XMLCh *const) const override { return nullptr; }
  const XMLCh *getType(const XMLCh *const) const override { return nullptr; }
  const XMLCh *getValue(const XMLCh *const, const XMLCh *const) const override { return nullptr; }
  const XMLCh *getValue(const XMLCh *const) const override { return nullptr; }

 private:
  std::vector<Attr> attrs_;
};

struct Element {
  std::u16string name;
  std::shared_ptr<ParsedAttrs> attrs;
};

Element element(std::u16string name, std::vector<ParsedAttrs::Attr> attrs = {}) {
  return Element{std::move(name), std::make_shared<ParsedAttrs>(std::move(attrs))};
}

/*
 * Walks every sequence of open elements up to maxDepth drawn from kinds, pushing and popping as
 * a parse does, and compares at each step the bound path's answer with the answer read from a
 * path that keeps names and attributes.  A third bound path takes the shortcuts of a handler:
 * skipOrName() first, pushNamed() when it gives NAME_TO_TEST (whose answer must be the state),
 * push() when they decline.
 */
void expectBoundAgreesWithNames(const std::string &path, int kind,
                                const std::vector<Element> &kinds, size_t maxDepth) {
  std::u16string p = wide(path);
  KelQuery q(nullptr, p.c_str());
  ASSERT_EQ(q.errorPosition(), 0) << path;
  q.setTargetKind(kind);
  KelCurrentPath named(nullptr, false), bound(nullptr, false), skipping(nullptr, false);
  ASSERT_TRUE(bound.bind(&q)) << path;
  ASSERT_TRUE(skipping.bind(&q)) << path;
  std::string trail;  // the open elements, for the failure message
  std::vector<size_t> stack;
  auto compare = [&] {
    ASSERT_EQ(q.isMatched(bound), q.isMatched(named)) << path << " kind " << kind << " at" << trail;
    ASSERT_EQ(q.isMatched(skipping), q.isMatched(named))
        << path << " kind " << kind << " skipping at" << trail;
  };
  compare();
  // Depth-first over the sequences: stack holds the kind index of each open element.
  while (true) {
    if (stack.size() < maxDepth) {
      stack.push_back(0);
    } else {
      while (!stack.empty() && stack.back() + 1 == kinds.size()) {
        stack.pop_back();
        named.pop();
        bound.pop();
        skipping.pop();
        trail.resize(trail.rfind(' '));
        compare();
      }
      if (stack.empty()) return;
      named.pop();
      bound.pop();
      skipping.pop();
      trail.resize(trail.rfind(' '));
      ++stack.back();
    }
    const Element &e = kinds[stack.back()];
    named.push(e.name.c_str(), e.attrs.get());
    bound.push(e.name.c_str(), e.attrs.get());
    int byName = -1;
    const KelQuery::SkipOutcome skip = q.skipOrName(skipping, e.name.c_str());
    if (skip == KelQuery::NAME_TO_TEST) byName = q.pushNamed(skipping, e.name.c_str());
    if (skip == KelQuery::NOT_SKIPPED || (skip == KelQuery::NAME_TO_TEST && byName < 0))
      skipping.push(e.name.c_str(), e.attrs.get());
    trail += " " + narrow(e.name.c_str());
    if (byName >= 0) {
      ASSERT_EQ(byName, q.isMatched(named)) << path << " kind " << kind << " by name at" << trail;
    }
    for (XMLSize_t i = 0; i < e.attrs->getLength(); ++i)
      trail += "[" + narrow(e.attrs->getQName(i)) + "=" + narrow(e.attrs->getValue(i)) + "]";
    compare();
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(KelCurrentPathBound, MatchesAsNamesAndAttributesDo) {
  const std::vector<Element> kinds = {
      element(u"a"),
      element(u"b"),
      element(u"b", {{u"k", u"k", u"1"}}),
      element(u"b", {{u"", u"k", u"2"}, {u"k", u"k", u"1"}}),  // the first "k" (by qname) counts
      element(u"ab"),      // a longer name that begins as a step's name
      element(u"c"),       // in no step: skipped below the head
      element(u"\u00e1"),  // its first unit is "a"'s modulo 64: tested by name, fails
  };
  const std::string paths[] = {
      "/a", "/a/b", "/a/b/a", "/a/*/b", "/*", "/a/b[@k=\"1\"]", "/a/b[@k=\"2\"]/a", "/a/@k",
      "//a", "//b", "//a/b", "//b/b/a", "//*/a", "//b[@k=\"1\"]", "//ab",
      "/a//b", "/a//a", "/b//a/b", "/a/b//a",
      "//a//b", "//a//a", "//b//a/b", "/a//b//a", "/a//b/b//a/a", "//a//b//a//b",
      "//b[@k=\"1\"]//a",
      "/a////b", "//a////", "/a//b//", "/a//", "//", "/a/b//*",
  };
  for (const std::string &path : paths) {
    expectBoundAgreesWithNames(path, KEL_TARGET_TEXT, kinds, 5);
    expectBoundAgreesWithNames(path, KEL_TARGET_TAGGED, kinds, 5);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(KelCurrentPathBound, SkipsOnlyNamesNoStepBelowTheHeadCanPass) {
  auto query = [](const char *path) {
    return std::make_unique<KelQuery>(nullptr, wide(path).c_str());
  };
  std::unique_ptr<KelQuery> tail = query("//item/price");
  EXPECT_TRUE(tail->skips(1, u"order"));
  EXPECT_TRUE(tail->skips(3, u"qty"));
  EXPECT_FALSE(tail->skips(2, u"item"));
  EXPECT_FALSE(tail->skips(2, u"price"));
  EXPECT_FALSE(tail->skips(2, u"pricey"));  // decided by its first unit: tested by name
  std::unique_ptr<KelQuery> headed = query("/order//price");
  EXPECT_FALSE(headed->skips(1, u"customer"));  // a head step decides depth 1
  EXPECT_TRUE(headed->skips(2, u"customer"));
  std::unique_ptr<KelQuery> middle = query("/a//b/c//d");
  EXPECT_TRUE(middle->skips(2, u"x"));
  EXPECT_FALSE(middle->skips(2, u"c"));
  // Queries where an element outside every step may still change the state.
  for (const char *path : {"/a/b", "//a//", "/a////b", "//*/a", "/a//*"})
    EXPECT_FALSE(query(path)->skips(3, u"x")) << path;

  // A skipped element is pushed as the depth alone: the run starts again below it.
  KelCurrentPath cur(nullptr, false);
  ASSERT_TRUE(cur.bind(tail.get()));
  EXPECT_EQ(tail->skipOrName(cur, u"order"), KelQuery::SKIPPED);
  EXPECT_EQ(tail->skipOrName(cur, u"item"), KelQuery::NAME_TO_TEST);
  EXPECT_EQ(cur.size(), 1u);
  cur.push(u"item", nullptr);
  EXPECT_EQ(tail->skipOrName(cur, u"name"), KelQuery::SKIPPED);
  EXPECT_EQ(cur.size(), 3u);
  EXPECT_EQ(tail->isMatched(cur), PENDING);
  cur.pop();
  cur.push(u"price", nullptr);
  EXPECT_EQ(tail->isMatched(cur), MATCHED);
  // Not bound to this query: nothing is pushed.
  KelCurrentPath named(nullptr, false);
  EXPECT_EQ(tail->skipOrName(named, u"order"), KelQuery::NOT_SKIPPED);
  EXPECT_EQ(tail->skipOrName(named, u"item"), KelQuery::NOT_SKIPPED);
  EXPECT_EQ(named.size(), 0u);
}

TEST(KelCurrentPathBound, DecidesByNameOnlyWhatTheNameDecides) {
  auto query = [](const char *path) {
    return std::make_unique<KelQuery>(nullptr, wide(path).c_str());
  };
  // The handler's way: skipOrName(), then pushNamed() for a name a step may pass.
  auto byName = [](const KelQuery &q, KelCurrentPath &cur, const XMLCh *name) {
    KelQuery::SkipOutcome skip = q.skipOrName(cur, name);
    if (skip == KelQuery::SKIPPED) return static_cast<int>(PENDING);
    return skip == KelQuery::NAME_TO_TEST ? q.pushNamed(cur, name) : -1;
  };
  std::unique_ptr<KelQuery> tail = query("//item/price");
  KelCurrentPath cur(nullptr, false);
  ASSERT_TRUE(cur.bind(tail.get()));
  EXPECT_EQ(byName(*tail, cur, u"order"), PENDING);   // skipped
  EXPECT_EQ(byName(*tail, cur, u"item"), PENDING);    // the tail's first step
  EXPECT_EQ(byName(*tail, cur, u"pricey"), PENDING);  // begins as a step's name
  cur.pop();
  EXPECT_EQ(byName(*tail, cur, u"price"), MATCHED);
  EXPECT_EQ(cur.size(), 3u);
  EXPECT_EQ(tail->isMatched(cur), MATCHED);
  cur.pop();
  cur.pop();
  EXPECT_EQ(byName(*tail, cur, u"price"), PENDING);  // not below an item
  // The attributes decide a step with a predicate; the head decides its own depths; an
  // element under one whose head step failed stays NO_MATCH.
  std::unique_ptr<KelQuery> pred = query("//item[@kind=\"cd\"]/price");
  KelCurrentPath p(nullptr, false);
  ASSERT_TRUE(p.bind(pred.get()));
  EXPECT_EQ(byName(*pred, p, u"item"), -1);
  EXPECT_EQ(p.size(), 0u);
  std::unique_ptr<KelQuery> headed = query("/order//price");
  KelCurrentPath h(nullptr, false);
  ASSERT_TRUE(h.bind(headed.get()));
  EXPECT_EQ(byName(*headed, h, u"order"), -1);
  h.push(u"list", nullptr);
  EXPECT_EQ(headed->isMatched(h), NO_MATCH);
  EXPECT_EQ(byName(*headed, h, u"price"), -1);
  // A path with only a head, or a middle segment still to find, is not decided by name.
  std::unique_ptr<KelQuery> head = query("/order/item");
  KelCurrentPath o(nullptr, false);
  ASSERT_TRUE(o.bind(head.get()));
  o.push(u"order", nullptr);
  EXPECT_EQ(byName(*head, o, u"item"), -1);
  std::unique_ptr<KelQuery> middle = query("//a/b//c");
  KelCurrentPath m(nullptr, false);
  ASSERT_TRUE(m.bind(middle.get()));
  EXPECT_EQ(byName(*middle, m, u"a"), -1);
  EXPECT_EQ(m.size(), 0u);
  EXPECT_EQ(byName(*middle, m, u"x"), PENDING);  // skipped in any chain
}

TEST(KelCurrentPathBound, PathsThatCannotBeBoundKeepNames) {
  // "//a/a/...": a tail of n steps.
  auto tailOf = [](int n) {
    std::string path = "/";
    for (int i = 0; i < n; ++i) path += "/a";
    return wide(path);
  };
  // A tail of 65 steps is longer than a progress can follow: the path keeps names instead.
  std::u16string p = tailOf(65);
  KelQuery longTail(nullptr, p.c_str());
  ASSERT_EQ(longTail.errorPosition(), 0);
  EXPECT_FALSE(longTail.bindable());
  KelCurrentPath cur(nullptr, false);
  EXPECT_FALSE(cur.bind(&longTail));
  for (int i = 0; i < 65; ++i) cur.push(u"a", nullptr);
  EXPECT_EQ(longTail.isMatched(cur), MATCHED);
  ASSERT_NE(cur.last(), nullptr);
  EXPECT_EQ(cur.last()->name(), u"a");

  // 64 steps still fit.
  std::u16string p64 = tailOf(64);
  KelQuery fits(nullptr, p64.c_str());
  KelCurrentPath bound(nullptr, false);
  ASSERT_TRUE(bound.bind(&fits));
  for (int i = 0; i < 63; ++i) bound.push(u"a", nullptr);
  EXPECT_EQ(fits.isMatched(bound), PENDING);
  bound.push(u"a", nullptr);
  EXPECT_EQ(fits.isMatched(bound), MATCHED);
  EXPECT_EQ(bound.last(), nullptr);  // a bound path keeps no names

  // The text form needs the names.
  KelCurrentPath withText(nullptr, true);
  EXPECT_FALSE(withText.bind(&fits));
  withText.push(u"a", nullptr);
  EXPECT_EQ(withText.text(), u"a");
}

TEST(KelCurrentPathBound, AnotherQueryCannotReadIt) {
  std::u16string p1 = u"/a", p2 = u"/a";
  KelQuery q1(nullptr, p1.c_str()), q2(nullptr, p2.c_str());
  KelCurrentPath cur(nullptr, false);
  ASSERT_TRUE(cur.bind(&q1));
  cur.push(u"a", nullptr);
  EXPECT_EQ(q1.isMatched(cur), MATCHED);
  EXPECT_THROW(q2.isMatched(cur), KELException);
  // Unbinding empties the path; it then keeps names and serves any query.
  EXPECT_FALSE(cur.bind(nullptr));
  EXPECT_TRUE(cur.empty());
  cur.push(u"a", nullptr);
  EXPECT_EQ(q2.isMatched(cur), MATCHED);
}

TEST(KelCurrentPathText, KeepsBlankSeparatedNamesAndGrows) {
  KelCurrentPath cur(nullptr, true);
  EXPECT_EQ(cur.textCapacity(), 2049u);
  cur.push(u"order", nullptr);
  cur.push(u"item", nullptr);
  cur.push(u"price", nullptr);
  EXPECT_EQ(cur.text(), u"order item price");
  cur.pop();
  EXPECT_EQ(cur.text(), u"order item");
  cur.prepend_to_path(u"root");
  EXPECT_EQ(cur.text(), u"root order item");
  size_t n = 0;
  XMLCh *copy = cur.copy_path(&n);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::u16string(copy), u"root order item");
  EXPECT_EQ(n, 15u);
  free(copy);
  // A long name grows the capacity to at least length + 2 x name length.
  std::u16string longName(3000, u'n');
  cur.push(longName.c_str(), nullptr);
  EXPECT_GE(cur.textCapacity(), 15u + 1 + 2 * 3000u - 1);
  EXPECT_EQ(cur.text().size(), 15u + 1 + 3000u);
  cur.pop();
  cur.pop();
  cur.pop();
  EXPECT_EQ(cur.text(), u"root");
  KelCurrentPath empty(nullptr, true);
  EXPECT_EQ(empty.copy_path(&n), nullptr);
  EXPECT_EQ(n, 0u);
}

}  // namespace
