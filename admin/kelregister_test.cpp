// The type and function registrations of database enablement: numbering and entries that
// exist.  Their exact texts are pinned with the whole enablement list (kelenable_test).
#include "kelregister.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "kel_test_env.h"

namespace {

TEST(KelRegister, NumberedAsTheEnablementList) {
  const auto &list = kelFunctionRegistrations();
  ASSERT_EQ(list.size(), 77u + 35u + 6u + 9u);
  // 0 to 76, 90 to 124, and validateschema, explainPath and the validation reports as 140 to
  // 154 after the procedures.
  for (size_t i = 0; i < list.size(); ++i)
    EXPECT_EQ(list[i].number, static_cast<int>(i < 77 ? i : i < 112 ? i + 13 : i + 28)) << i;
}

TEST(KelRegister, EveryExternalEntryIsOneTheFunctionLibraryExportsOrWillExport) {
  std::set<std::string> exported;
  std::ifstream entries(keltest::buildDir() + "/functions/entries.txt");
  for (std::string name; std::getline(entries, name);) exported.insert(name);
  const std::regex external("external name 'quarnxmlfn!([A-Za-z0-9_]+)'");
  std::set<std::string> registered;
  for (const KelNumberedStatement &s : kelFunctionRegistrations()) {
    std::smatch m;
    if (!std::regex_search(s.text, m, external)) continue;
    EXPECT_TRUE(exported.count(m[1])) << s.number << ": " << m[1];
    registered.insert(m[1]);
  }
  // Every extraction and storage entry is registered at least once.
  for (const std::string &e : exported) EXPECT_TRUE(registered.count(e)) << e;
}

}  // namespace
