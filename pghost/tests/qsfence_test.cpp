/*
 * qsfence_test.cpp - the call fence on its own, outside PostgreSQL: exceptions become text, and
 * the process locale a routine changes is put back after its call or, when the change hides
 * behind the old name's address, when the handler call ends.
 */
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "qsfence.h"

namespace {

std::string ctype() {
  const char *now = std::setlocale(LC_CTYPE, nullptr);
  return now != nullptr ? now : "";
}

void setsCtype() { std::setlocale(LC_CTYPE, "C.UTF-8"); }
// Away and back to a name as long as the saved one, so that the C library may well keep the new
// name where the old one was.
void setsCtypeTwice() {
  std::setlocale(LC_CTYPE, "C");
  std::setlocale(LC_CTYPE, "C.utf8");
}
void leavesLocale() {}
void throwsRuntimeError() { throw std::runtime_error("boom"); }
void throwsBadAlloc() { throw std::bad_alloc(); }
void throwsInt() { throw 7; }
void addsArguments(int *a, int *b, int *sum) { *sum = *a + *b; }

class HostFence : public ::testing::Test {
 protected:
  void SetUp() override { std::setlocale(LC_CTYPE, "C"); }
  void TearDown() override { std::setlocale(LC_CTYPE, "C"); }
  char fault[128] = "";
};

TEST_F(HostFence, CallsWithItsArgumentsAndCatchesEveryException) {
  QsLocaleMark mark;
  qsFenceSaveLocale(&mark);
  int a = 2, b = 40, sum = 0;
  void *args[] = {&a, &b, &sum};
  EXPECT_EQ(qsFencedCall(&mark, reinterpret_cast<void *>(&addsArguments), args, 3, fault, sizeof fault), 0);
  EXPECT_EQ(sum, 42);

  EXPECT_EQ(qsFencedCall(&mark, reinterpret_cast<void *>(&throwsRuntimeError), nullptr, 0, fault, sizeof fault), 1);
  EXPECT_STREQ(fault, "std::runtime_error: boom");
  EXPECT_EQ(qsFencedCall(&mark, reinterpret_cast<void *>(&throwsBadAlloc), nullptr, 0, fault, sizeof fault), 1);
  EXPECT_STREQ(fault, "out of memory (std::bad_alloc)");
  EXPECT_EQ(qsFencedCall(&mark, reinterpret_cast<void *>(&throwsInt), nullptr, 0, fault, sizeof fault), 1);
  EXPECT_STREQ(fault, "an exception of type int");
  EXPECT_EQ(qsFencedCall(&mark, reinterpret_cast<void *>(&addsArguments), args, QS_FENCE_MAX_ARGS + 1, fault,
                         sizeof fault),
            -1);
}

TEST_F(HostFence, LocaleSetByARoutineIsPutBackAfterEachCall) {
  QsLocaleMark mark;
  qsFenceSaveLocale(&mark);
  for (int k = 0; k < 3; ++k) {
    ASSERT_EQ(qsFencedCall(&mark, reinterpret_cast<void *>(&setsCtype), nullptr, 0, fault, sizeof fault), 0);
    EXPECT_EQ(ctype(), "C") << "after call " << k;
  }
  // A call that leaves the locale alone costs no comparison and changes nothing.
  ASSERT_EQ(qsFencedCall(&mark, reinterpret_cast<void *>(&leavesLocale), nullptr, 0, fault, sizeof fault), 0);
  qsFenceRestoreLocale(&mark);
  EXPECT_EQ(ctype(), "C");
}

TEST_F(HostFence, AChangeBehindTheOldNamesAddressIsPutBackWhenTheHandlerCallEnds) {
  std::setlocale(LC_CTYPE, "C.UTF-8");  // a name the C library allocated
  QsLocaleMark mark;
  qsFenceSaveLocale(&mark);
  ASSERT_EQ(qsFencedCall(&mark, reinterpret_cast<void *>(&setsCtypeTwice), nullptr, 0, fault, sizeof fault), 0);
  // Whether the quick check saw it depends on where the new name landed; the full comparison
  // at the end of the handler call always does.
  qsFenceRestoreLocale(&mark);
  EXPECT_EQ(ctype(), "C.UTF-8");
}

TEST_F(HostFence, ANameTooLongToKeepIsNeverSetBack) {
  QsLocaleMark mark;
  qsFenceSaveLocale(&mark);
  mark.ctype.name[0] = '\0';  // as saved when the name did not fit
  ASSERT_EQ(qsFencedCall(&mark, reinterpret_cast<void *>(&setsCtype), nullptr, 0, fault, sizeof fault), 0);
  qsFenceRestoreLocale(&mark);
  EXPECT_EQ(ctype(), "C.UTF-8");
}

}  // namespace
