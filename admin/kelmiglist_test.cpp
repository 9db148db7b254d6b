// The migration command's lists against the registration table: every current registration
// is created by some list with the very text enablement runs, the appended ones (explainPath,
// the validation reports) by the last step, and the old forms differ only where a level changed.
#include "kelmiglist.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "kelregister.h"

namespace {

std::set<std::string> allMigrationTexts() {
  std::set<std::string> texts;
  for (int id = KEL_MIG_FP3; id <= KEL_MIG_LARGE_INSERT; ++id)
    for (const std::string &s : kelMigrationList(static_cast<KelMigListId>(id)).statements)
      texts.insert(s);
  for (const KelMigAppended &g : kelMigrationAppended())
    for (const std::string &s : g.statements) texts.insert(s);
  return texts;
}

TEST(KelMigList, EveryRegistrationMigrationChangesIsCreatedWithEnablementsText) {
  std::set<std::string> texts = allMigrationTexts();
  // What the previous level already had unchanged is not created again by later steps: the
  // types, and the procedures no list names.
  const std::set<std::string> untouched = {"kelEnableColumn", "kelDisableColumn", "kelShredXML",
                                           "kelInsertXML"};
  for (const auto *rows : {&kelFunctionRegistrations(), &kelProcedureRegistrations()})
    for (const KelNumberedStatement &s : *rows) {
      if (s.group == KEL_REG_SETUP || s.group == KEL_REG_TYPE || untouched.count(s.name)) continue;
      EXPECT_TRUE(texts.count(s.text)) << s.number << ": " << s.text;
    }
}

TEST(KelMigList, AppendedRegistrationsFollowIntoTheLastStep) {
  std::set<std::string> names, texts;
  for (const KelMigAppended &g : kelMigrationAppended()) {
    names.insert(g.name);
    texts.insert(g.statements.begin(), g.statements.end());
  }
  // Those of today, and whatever is appended later (a function after 154, a procedure after 139).
  for (const char *name : {"validateschema", "explainPath", "validateReport", "validateReportSchema"})
    EXPECT_TRUE(names.count(name)) << name;
  size_t appended = 0;
  for (const auto *rows : {&kelFunctionRegistrations(), &kelProcedureRegistrations()})
    for (const KelNumberedStatement &s : *rows) {
      bool isAppended = rows == &kelFunctionRegistrations() ? s.number >= 140 : s.number > 139;
      EXPECT_EQ(s.group == KEL_REG_APPENDED, isAppended) << s.number << ": " << s.text;
      if (!isAppended) continue;
      ++appended;
      EXPECT_TRUE(texts.count(s.text)) << s.number;
    }
  EXPECT_GE(appended, 15u);  // 140 to 154
  EXPECT_EQ(texts.size(), appended);
}

TEST(KelMigList, ListsHaveTheirShapes) {
  const KelMigList &fp3 = kelMigrationList(KEL_MIG_FP3);
  ASSERT_EQ(fp3.statements.size(), 24u);
  EXPECT_EQ(fp3.statements[0], "create distinct type quarnxml.XMLCLOB as clob(10k)");
  EXPECT_EQ(fp3.doubleByteFrom, 7u);
  EXPECT_EQ(fp3.statements[7], "create distinct type quarnxml.XMLDBCLOB as dbclob(10k)");
  for (size_t i = 3; i < 7; ++i) {
    EXPECT_NE(fp3.statements[i].find("in override varchar(1024)"), std::string::npos)
        << fp3.statements[i];
    EXPECT_NE(fp3.statements[i].find(" specific quarnxml.KEL"), std::string::npos)
        << fp3.statements[i];
  }
  const KelMigList &fp4 = kelMigrationList(KEL_MIG_FP4_PROCEDURES);
  ASSERT_EQ(fp4.statements.size(), 10u);
  EXPECT_NE(fp4.statements[0].find("out resultDoc clob(2G)"), std::string::npos);
  EXPECT_EQ(fp4.statements[2], "drop specific procedure quarnxml.KELGENXML1");
  EXPECT_NE(fp4.statements[6].find("in override varchar(32672)"), std::string::npos);
  EXPECT_EQ(kelMigrationList(KEL_MIG_FP5).statements.size(), 4u);
  EXPECT_EQ(kelMigrationList(KEL_MIG_FP7).statements.size(), 8u);
  EXPECT_EQ(kelMigrationList(KEL_MIG_UDF_WITH_DTD).statements.size(), 24u);
  EXPECT_EQ(kelMigrationList(KEL_MIG_VALIDATE).statements.size(), 3u);
  EXPECT_NE(kelMigrationList(KEL_MIG_FP8).statements[0].find("specific quarnxmlcontentcf2"),
            std::string::npos);
  const KelMigList &functions = kelMigrationList(KEL_MIG_FP4_FUNCTIONS);
  EXPECT_EQ(functions.statements[functions.doubleByteFrom],
            "create distinct type quarnxml.XMLDBCLOB as dbclob(10k)");
  // A list the command runs whole never ends in its double-byte part by accident.
  for (KelMigListId id : {KEL_MIG_FP5, KEL_MIG_FP7, KEL_MIG_FP8, KEL_MIG_XMLVARCHAR})
    EXPECT_EQ(kelMigrationList(id).doubleByteFrom, kelMigrationList(id).statements.size()) << id;
}

TEST(KelMigList, OldFormsDifferOnlyInTheChangedParameter) {
  const auto &old = kelOldRegistrations(KEL_OLD_RESULT_DOC_2G);
  ASSERT_EQ(old.size(), 2u);
  for (const KelNumberedStatement &o : old) {
    std::string now;
    for (const KelNumberedStatement &p : kelProcedureRegistrations())
      if (p.number == o.number) now = p.text;
    std::string expected = now;
    expected.replace(expected.find("resultDoc clob(1M)"), 18, "resultDoc clob(2G)");
    EXPECT_EQ(o.text, expected);
  }
  const auto &varchars = kelOldRegistrations(KEL_OLD_XMLVARCHAR);
  ASSERT_EQ(varchars.size(), 3u);  // XMLVarcharFromFile, update over XMLVarchar, VARCHARTOVARCHAR
  for (const KelNumberedStatement &o : varchars)
    EXPECT_EQ(o.text.find("32672"), std::string::npos) << o.text;
}

TEST(KelMigList, PreviousLevelDropsOnlyWhatMigrationCreatesAgain) {
  std::set<std::string> texts = allMigrationTexts();
  std::set<std::string> drops;
  for (const auto *rows : {&kelFunctionRegistrations(), &kelProcedureRegistrations()})
    for (const KelNumberedStatement &s : *rows)
      if (texts.count(s.text)) drops.insert(s.drop);
  for (const std::string &s : kelPreviousLevelStatements()) {
    if (s.rfind("drop ", 0) != 0) continue;
    EXPECT_TRUE(drops.count(s)) << s;
  }
  // explainPath and the validation reports are gone at the previous level.
  std::string all;
  for (const std::string &s : kelPreviousLevelStatements()) all += s + "\n";
  EXPECT_NE(all.find("drop specific function quarnxml.ExplainFile"), std::string::npos) << all;
  EXPECT_NE(all.find("drop specific function quarnxml.VReportSchClob"), std::string::npos) << all;
}

}  // namespace
