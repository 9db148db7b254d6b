// The entry table of quarnxml against the built library: every row names a symbol the library
// exports, once, with a description whose layouts end in returnCode and returnMsg.
#include "kelprocs.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "kel_test_env.h"

namespace {

TEST(KelProcs, EveryEntryIsExportedOnceWithAReturnCodeAndMessage) {
  std::string lib = keltest::buildDir() + "/lib/libquarnxml.so";
  void *handle = dlopen(lib.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(handle, nullptr) << dlerror();
  std::set<std::string> seen;
  ASSERT_FALSE(kelProcedureEntries().empty());
  for (const KelProcEntry &e : kelProcedureEntries()) {
    EXPECT_TRUE(seen.insert(e.symbol).second) << e.symbol;
    EXPECT_NE(dlsym(handle, e.symbol), nullptr) << e.symbol;
    ASSERT_NE(e.procSpec, nullptr) << e.symbol;
    for (int i = 0; i < e.procSpec->nLayouts; ++i) {
      const KelProcLayout &l = e.procSpec->layouts[i];
      ASSERT_GE(l.count, 2) << e.symbol;
      EXPECT_EQ(l.params[l.count - 2].kind, KelParamKind::ReturnCode) << e.symbol;
      EXPECT_EQ(l.params[l.count - 1].kind, KelParamKind::ReturnMsg) << e.symbol;
    }
  }
  dlclose(handle);
}

}  // namespace
